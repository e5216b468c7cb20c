// The sample aircraft's part animations played on their models' hierarchies, and the collision trees of
// the large models, as the engine reads them from the data tree.
#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/plugin/hanim/rphanim.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/tool/anim/rtanim.h"
#include "rwsdk/tool/intsec/rtintsec.h"
#include "rwsdk/world/rpworld.h"
#include "tools/models/ModelWriter.h"
#include "tools/models/Samples.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>

namespace {

using namespace Tools;

const std::filesystem::path DataRoot = std::filesystem::path(CORVANE_BINARY_DIR) / "data" / "Data";

class SampleAnimations : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(StartModelEngine()); }
    void TearDown() override { StopModelEngine(); }
};

RpClump* ReadModel(const std::string& path) {
    std::string p = path;
    for (char& c : p)
        if (c == '\\')
            c = '/';
    RwStream* stream =
        RwStreamOpen(rwSTREAMFILENAME, rwSTREAMREAD, (DataRoot / "Models" / p).string().c_str());
    if (!stream)
        return nullptr;
    RpClump* clump =
        RwStreamFindChunk(stream, rwID_CLUMP, nullptr, nullptr) ? RpClumpStreamRead(stream) : nullptr;
    RwStreamClose(stream, nullptr);
    return clump;
}

std::string FrameName(RwFrame* frame) {
    for (RwInt32 i = 0; RpUserDataArray* a = RpUserDataFrameGetArray(frame, i); i++)
        if (std::strcmp(RpUserDataArrayGetName(a), FrameNameArray) == 0)
            return RpUserDataArrayGetString(a, 0);
    return "";
}

void CollectFrames(RwFrame* frame, std::map<std::string, RwFrame*>& out) {
    out[FrameName(frame)] = frame;
    for (RwFrame* child = frame->child; child; child = child->next)
        CollectFrames(child, out);
}

void ExpectPose(RwFrame* frame, const ModelFrame& f) {
    const RwMatrix* m = RwFrameGetMatrix(frame);
    for (const auto& [a, b] :
         {std::pair{m->right, f.right}, {m->up, f.up}, {m->at, f.at}, {m->pos, f.position}}) {
        EXPECT_NEAR(a.x, b.x, 1e-5f) << f.name;
        EXPECT_NEAR(a.y, b.y, 1e-5f) << f.name;
        EXPECT_NEAR(a.z, b.z, 1e-5f) << f.name;
    }
}

TEST_F(SampleAnimations, AircraftPartsPlayTheirAnimationsOnSubHierarchies) {
    int played = 0;
    for (const SampleModel& sample : SampleModels()) {
        if (!sample.model.animated)
            continue;
        const std::string title =
            std::filesystem::path(sample.path.substr(sample.path.rfind('\\') + 1)).stem();
        RpClump* clump = ReadModel(sample.path);
        ASSERT_NE(clump, nullptr) << sample.path << ": build the sample_data target first";
        RpHAnimHierarchy* hierarchy = RpHAnimFrameGetHierarchy(RpClumpGetFrame(clump));
        ASSERT_NE(hierarchy, nullptr) << sample.path;
        EXPECT_EQ(hierarchy->numNodes, RwInt32(sample.model.frames.size()));
        RpHAnimHierarchyAttach(hierarchy);
        std::map<std::string, RwFrame*> frames;
        CollectFrames(RpClumpGetFrame(clump), frames);
        for (const char* part : {"Gears", "WeaponDoor"}) {
            SCOPED_TRACE(sample.path + ": " + part);
            const std::string file = (DataRoot / "Anims" / (title + "_" + part + ".anm")).string();
            RtAnimAnimation* animation = RtAnimAnimationRead(file.c_str());
            ASSERT_NE(animation, nullptr) << file;
            const RwInt32 node = RpHAnimIdGetIndex(hierarchy, RpHAnimFrameGetId(frames.at(part)));
            ASSERT_GE(node, 0);
            RpHAnimHierarchy* sub = RpHAnimHierarchyCreateSubHierarchy(hierarchy, node, 0, -1);
            ASSERT_NE(sub, nullptr);
            ASSERT_TRUE(RtAnimInterpolatorSetCurrentAnimation(sub->currentAnim, animation));
            sub->flags = rpHANIMHIERARCHYUPDATEMODELLINGMATRICES;
            // Time 0 is the model's own pose (gear down, door closed).
            RtAnimInterpolatorSetCurrentTime(sub->currentAnim, 0.0f);
            ASSERT_TRUE(RpHAnimHierarchyUpdateMatrices(sub));
            for (RwInt32 i = 0; i < sub->numNodes; ++i) {
                const int f = RpHAnimFrameGetId(sub->pNodeInfo[i].pFrame) - 1;
                ExpectPose(sub->pNodeInfo[i].pFrame, sample.model.frames[size_t(f)]);
            }
            // At the end the wheels are up inside the body and the door panels hang down.
            const std::string moved = std::string(part) == "Gears" ? "WheelC" : "WeaponDoorL";
            const RwV3d before = RwFrameGetWorldMatrix(frames.at(moved))->pos;
            const RwV3d beforeAt = RwFrameGetWorldMatrix(frames.at(moved))->at;
            RtAnimInterpolatorSetCurrentTime(sub->currentAnim, animation->duration);
            RpHAnimHierarchyUpdateMatrices(sub);
            RwFrameSyncDirty();
            const RwMatrix* after = RwFrameGetWorldMatrix(frames.at(moved));
            if (moved == "WheelC")
                EXPECT_GT(after->pos.y, before.y + 0.3f);
            else
                EXPECT_LT(after->at.y, beforeAt.y - 0.9f);
            EXPECT_GT(animation->duration, 0.0f);
            RpHAnimHierarchyDestroy(sub);
            RtAnimAnimationDestroy(animation);
            ++played;
        }
        RpClumpDestroy(clump);
    }
    EXPECT_GE(played, 10);
}

RpCollisionTriangle* Count(RpIntersection*, RpCollisionTriangle* triangle, RwReal, void* data) {
    ++*static_cast<int*>(data);
    return triangle;
}

TEST_F(SampleAnimations, LargeModelsCarryCollisionTrees) {
    for (const char* path : {"Carrier.dff", "Hangar.dff", "Tower.dff"}) {
        RpClump* clump = ReadModel(path);
        ASSERT_NE(clump, nullptr) << path;
        struct Check {
            int atomics = 0, hits = 0;
        } check;
        RpClumpForAllAtomics(
            clump,
            [](RpAtomic* atomic, void* data) {
                auto* c = static_cast<Check*>(data);
                RpGeometry* g = RpAtomicGetGeometry(atomic);
                const RpCollisionData* tree = RpCollisionGeometryGetData(g);
                EXPECT_NE(tree, nullptr);
                if (!tree)
                    return atomic;
                EXPECT_TRUE(RpCollisionDataIsValid(tree, g->numTriangles));
                // A line down through the middle of the part, in its own space (frames sit at their
                // modelling matrices): the tree finds what every triangle tested alone finds.
                const RwSphere& s = g->morphTarget[0].boundingSphere;
                const RwV3d start = {s.center.x + 0.1f, s.center.y + s.radius, s.center.z + 0.1f};
                const RwV3d delta = {0, -2 * s.radius, 0};
                int expected = 0;
                for (RwInt32 t = 0; t < g->numTriangles; ++t) {
                    const RwV3d* v = g->morphTarget[0].verts;
                    const RpTriangle& tri = g->triangles[t];
                    RwReal d;
                    expected += RtIntersectionLineTriangle(&start, &delta, &v[tri.vertIndex[0]],
                                                           &v[tri.vertIndex[1]], &v[tri.vertIndex[2]], &d);
                }
                RwMatrix* ltm = RwFrameGetWorldMatrix(RpAtomicGetFrame(atomic));
                RpIntersection is{};
                is.type = rpINTERSECTLINE;
                RwV3d end = {start.x + delta.x, start.y + delta.y, start.z + delta.z};
                RwVector3TransformPoint(&is.t.line.start, &start, ltm);
                RwVector3TransformPoint(&is.t.line.end, &end, ltm);
                int found = 0;
                RpCollisionAtomicForAllIntersections(atomic, &is, Count, &found);
                EXPECT_EQ(found, expected);
                c->hits += found;
                ++c->atomics;
                return atomic;
            },
            &check);
        EXPECT_GT(check.atomics, 0) << path;
        EXPECT_GT(check.hits, 0) << path;
        RpClumpDestroy(clump);
    }
}

} // namespace
