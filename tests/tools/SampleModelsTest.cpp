// The generated model files as the engine reads them: every sample model in the data tree is the clump the
// generator builds, and reads back equal to the model it came from (frames with their names and matrices,
// atomics, geometry, materials, textures by name); the textures it names and its side files are there.
#include "rwsdk/plugin/matfx/rpmatfx.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/src/texture.h"
#include "rwsdk/world/rpworld.h"
#include "tools/models/ModelWriter.h"
#include "tools/models/Samples.h"
#include "tests/support/Clumps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

namespace {

using namespace Tools;

const std::filesystem::path DataRoot = std::filesystem::path(CORVANE_BINARY_DIR) / "data" / "Data";

std::filesystem::path Under(const std::filesystem::path& root, std::string path) {
    for (char& c : path) {
        if (c == '\\')
            c = '/';
    }
    return root / path;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Textures come back by name only: the pixels are not what is checked here.
RwTexture* NameOnly(const RwChar* name, const RwChar*) {
    RwTexture* texture = RwTextureCreate(nullptr);
    return texture ? RwTextureSetName(texture, name) : nullptr;
}

class SampleModels : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(StartModelEngine());
        savedRead = RwTextureGetReadCallBack();
        RwTextureSetReadCallBack(NameOnly);
    }
    void TearDown() override {
        RwTextureSetReadCallBack(savedRead);
        StopModelEngine();
    }
    RwTextureCallBackRead savedRead = nullptr;
};

RpClump* Read(std::string bytes) {
    RwMemory memory = {reinterpret_cast<RwUInt8*>(bytes.data()), RwUInt32(bytes.size())};
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
    RpClump* clump =
        RwStreamFindChunk(stream, rwID_CLUMP, nullptr, nullptr) ? RpClumpStreamRead(stream) : nullptr;
    RwStreamClose(stream, nullptr);
    return clump;
}

std::string FrameName(RwFrame* frame) {
    for (RwInt32 i = 0; RpUserDataArray* a = RpUserDataFrameGetArray(frame, i); i++) {
        if (std::strcmp(RpUserDataArrayGetName(a), FrameNameArray) == 0 &&
            RpUserDataArrayGetFormat(a) == rpSTRINGUSERDATA && RpUserDataArrayGetElementCount(a) == 1)
            return RpUserDataArrayGetString(a, 0);
    }
    return "";
}

void CollectFrames(RwFrame* frame, std::map<std::string, RwFrame*>& out) {
    EXPECT_TRUE(out.emplace(FrameName(frame), frame).second) << FrameName(frame);
    for (RwFrame* child = frame->child; child; child = child->next)
        CollectFrames(child, out);
}

bool Same(const RwV3d& a, glm::vec3 b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

void ExpectEqual(const ModelGeometry& g, RpGeometry* read, const std::string& what) {
    ASSERT_EQ(RpGeometryGetNumVertices(read), RwInt32(g.positions.size())) << what;
    ASSERT_EQ(RpGeometryGetNumTriangles(read), RwInt32(g.triangles.size())) << what;
    ASSERT_EQ(RpGeometryGetNumMaterials(read), RwInt32(g.materials.size())) << what;
    EXPECT_EQ(RpGeometryGetNumTexCoordSets(read), 1) << what;
    EXPECT_TRUE(RpGeometryGetFlags(read) & rpGEOMETRYNORMALS) << what;
    RpMorphTarget* target = RpGeometryGetMorphTarget(read, 0);
    const RwV3d* positions = RpMorphTargetGetVertices(target);
    const RwV3d* normals = RpMorphTargetGetVertexNormals(target);
    const RwTexCoords* uvs = RpGeometryGetVertexTexCoords(read, 1);
    int mismatches = 0;
    for (size_t i = 0; i < g.positions.size(); i++) {
        if (!Same(positions[i], g.positions[i]) || !Same(normals[i], g.normals[i]) ||
            uvs[i].u != g.uvs[i].x || uvs[i].v != g.uvs[i].y)
            mismatches++;
    }
    EXPECT_EQ(mismatches, 0) << what;
    const RpTriangle* triangles = RpGeometryGetTriangles(read);
    for (size_t i = 0; i < g.triangles.size(); i++) {
        const ModelTriangle& t = g.triangles[i];
        if (triangles[i].vertIndex[0] != t.vertices[0] || triangles[i].vertIndex[1] != t.vertices[1] ||
            triangles[i].vertIndex[2] != t.vertices[2] || triangles[i].matIndex != t.material)
            mismatches++;
    }
    EXPECT_EQ(mismatches, 0) << what << ": triangles";
    // Every vertex within the stored bounding sphere.
    const RwSphere sphere = target->boundingSphere;
    for (const glm::vec3& p : g.positions) {
        const glm::vec3 d = p - glm::vec3(sphere.center.x, sphere.center.y, sphere.center.z);
        if (glm::length(d) > sphere.radius * 1.0001f)
            mismatches++;
    }
    EXPECT_EQ(mismatches, 0) << what << ": bounding sphere";
    ASSERT_NE(RpGeometryGetMesh(read), nullptr);
    EXPECT_EQ((RpGeometryGetMesh(read)->flags & rpMESHHEADERTRISTRIP) != 0, g.strips) << what;
    if (!g.strips) {
        EXPECT_EQ(RpGeometryGetMesh(read)->totalIndicesInMesh, 3 * g.triangles.size()) << what;
    }
    ASSERT_EQ(RpUserDataGeometryGetArrayCount(read), RwInt32(g.userData.size())) << what;
    for (size_t k = 0; k < g.userData.size(); k++) {
        RpUserDataArray* a = RpUserDataGeometryGetArray(read, RwInt32(k));
        EXPECT_STREQ(RpUserDataArrayGetName(a), g.userData[k].first.c_str()) << what;
        ASSERT_EQ(RpUserDataArrayGetFormat(a), rpSTRINGUSERDATA) << what;
        EXPECT_STREQ(RpUserDataArrayGetString(a, 0), g.userData[k].second.c_str()) << what;
    }
    for (size_t k = 0; k < g.materials.size(); k++) {
        const ModelMaterial& m = g.materials[k];
        const RpMaterial* material = RpGeometryGetMaterial(read, RwInt32(k));
        const RwRGBA* colour = RpMaterialGetColor(material);
        EXPECT_EQ((std::array<uint8_t, 4>{colour->red, colour->green, colour->blue, colour->alpha}), m.colour)
            << what;
        const RwSurfaceProperties* surface = RpMaterialGetSurfaceProperties(material);
        EXPECT_EQ(surface->ambient, m.ambient);
        EXPECT_EQ(surface->specular, m.specular);
        EXPECT_EQ(surface->diffuse, m.diffuse);
        const RwTexture* texture = RpMaterialGetTexture(material);
        if (m.texture.empty()) {
            EXPECT_EQ(texture, nullptr) << what;
        } else {
            ASSERT_NE(texture, nullptr) << what << ": " << m.texture;
            EXPECT_STREQ(texture->name, m.texture.c_str());
            EXPECT_EQ(RwTextureGetFilterMode(texture), rwFILTERLINEARMIPLINEAR);
            EXPECT_EQ(RwTextureGetAddressingU(texture), rwTEXTUREADDRESSWRAP);
        }
        const RwUInt32 effects = RpMatFXMaterialGetEffects(material);
        switch (m.effect.kind) {
        case ModelEffect::Kind::None:
            EXPECT_EQ(effects, RwUInt32(rpMATFXEFFECTNULL)) << what;
            break;
        case ModelEffect::Kind::Reflection: {
            ASSERT_EQ(effects, RwUInt32(rpMATFXEFFECTENVMAP)) << what;
            const RpMatFXEffect* e = RpMatFXMaterialFindEffect(material, rpMATFXTYPEENVMAP);
            ASSERT_NE(e, nullptr);
            ASSERT_NE(e->data.envMap.texture, nullptr);
            EXPECT_STREQ(e->data.envMap.texture->name, m.effect.texture.c_str()) << what;
            EXPECT_EQ(e->data.envMap.coefficient, m.effect.coefficient) << what;
            break;
        }
        case ModelEffect::Kind::SecondPass: {
            ASSERT_EQ(effects, RwUInt32(rpMATFXEFFECTDUAL)) << what;
            const RpMatFXEffect* e = RpMatFXMaterialFindEffect(material, rpMATFXTYPEDUAL);
            ASSERT_NE(e, nullptr);
            ASSERT_NE(e->data.dual.texture, nullptr);
            EXPECT_STREQ(e->data.dual.texture->name, m.effect.texture.c_str()) << what;
            break;
        }
        }
    }
}

bool HasEffects(const ModelGeometry& g) {
    for (const ModelMaterial& m : g.materials)
        if (m.effect.kind != ModelEffect::Kind::None)
            return true;
    return false;
}

std::vector<RpLight*> Lights(RpClump* clump) {
    std::vector<RpLight*> lights;
    RpClumpForAllLights(
        clump,
        [](RpLight* light, void* data) {
            static_cast<std::vector<RpLight*>*>(data)->push_back(light);
            return light;
        },
        &lights);
    return lights;
}

TEST_F(SampleModels, EveryModelFileReadsBackAsTheModel) {
    for (const SampleModel& sample : Tools::SampleModels()) {
        const Model& model = sample.model;
        // The file is what the generator builds now, byte for byte (deterministic, and up to date).
        const std::string file = ReadFile(Under(DataRoot / "Models", sample.path));
        ASSERT_FALSE(file.empty()) << sample.path << ": build the sample_data target first";
        const std::vector<uint8_t> built = ClumpBytes(model);
        EXPECT_TRUE(file.size() == built.size() && std::memcmp(file.data(), built.data(), built.size()) == 0)
            << sample.path;

        RpClump* clump = Read(file);
        ASSERT_NE(clump, nullptr) << sample.path;
        std::map<std::string, RwFrame*> frames;
        CollectFrames(RpClumpGetFrame(clump), frames);
        EXPECT_EQ(frames.size(), model.frames.size()) << sample.path;
        EXPECT_EQ(FrameName(RpClumpGetFrame(clump)), model.frames[0].name);
        for (const ModelFrame& f : model.frames) {
            ASSERT_TRUE(frames.count(f.name)) << sample.path << ": " << f.name;
            RwFrame* frame = frames[f.name];
            RwFrame* parent = RwFrameGetParent(frame);
            EXPECT_EQ(parent ? FrameName(parent) : "",
                      f.parent < 0 ? "" : model.frames[size_t(f.parent)].name);
            const RwMatrix* m = RwFrameGetMatrix(frame);
            EXPECT_TRUE(Same(m->right, f.right) && Same(m->up, f.up) && Same(m->at, f.at) &&
                        Same(m->pos, f.position))
                << sample.path << ": " << f.name;
        }
        const std::vector<RpAtomic*> atomics = TestSupport::Atomics(clump);
        ASSERT_EQ(atomics.size(), model.atomics.size()) << sample.path;
        for (size_t i = 0; i < atomics.size(); i++) {
            const ModelAtomic& a = model.atomics[i];
            const std::string name = model.frames[size_t(a.frame)].name;
            EXPECT_EQ(FrameName(RpAtomicGetFrame(atomics[i])), name) << sample.path;
            EXPECT_EQ(RpAtomicGetFlags(atomics[i]), a.flags);
            ExpectEqual(model.geometries[size_t(a.geometry)], RpAtomicGetGeometry(atomics[i]),
                        sample.path + ": " + name);
            EXPECT_EQ(RpMatFXAtomicQueryEffects(atomics[i]) != 0,
                      HasEffects(model.geometries[size_t(a.geometry)]))
                << sample.path << ": " << name;
        }
        const std::vector<RpLight*> lights = Lights(clump);
        ASSERT_EQ(lights.size(), model.lights.size()) << sample.path;
        for (const ModelLight& l : model.lights) {
            const std::string name = model.frames[size_t(l.frame)].name;
            const auto found = std::find_if(lights.begin(), lights.end(), [&](RpLight* light) {
                return FrameName(RpLightGetFrame(light)) == name;
            });
            ASSERT_NE(found, lights.end()) << sample.path << ": " << name;
            EXPECT_EQ(RpLightGetType(*found), l.spot ? rpLIGHTSPOTSOFT : rpLIGHTPOINT) << name;
            EXPECT_EQ(RpLightGetRadius(*found), l.radius) << name;
            EXPECT_EQ(RpLightGetColor(*found)->red, l.colour.r) << name;
        }
        RpClumpDestroy(clump);
    }
}

// The stream's less common parts are carried by real models, so that the game reads them on real data.
TEST(SampleModelFiles, SomeModelsCarryStripsEffectsLightsAndUserData) {
    bool strips = false, reflection = false, secondPass = false, lights = false, userData = false;
    for (const SampleModel& sample : Tools::SampleModels()) {
        lights = lights || !sample.model.lights.empty();
        for (const ModelGeometry& g : sample.model.geometries) {
            strips = strips || g.strips;
            userData = userData || !g.userData.empty();
            for (const ModelMaterial& m : g.materials) {
                reflection = reflection || m.effect.kind == ModelEffect::Kind::Reflection;
                secondPass = secondPass || m.effect.kind == ModelEffect::Kind::SecondPass;
            }
        }
    }
    EXPECT_TRUE(strips);
    EXPECT_TRUE(reflection);
    EXPECT_TRUE(secondPass);
    EXPECT_TRUE(lights);
    EXPECT_TRUE(userData);
}

TEST(SampleModelFiles, MaterialsNameTexturesOfTheDataTree) {
    std::set<std::string> names;
    for (const SampleModel& sample : Tools::SampleModels()) {
        for (const ModelGeometry& g : sample.model.geometries) {
            for (const ModelMaterial& m : g.materials) {
                if (!m.texture.empty())
                    names.insert(m.texture);
                if (!m.effect.texture.empty())
                    names.insert(m.effect.texture);
            }
        }
    }
    EXPECT_GE(names.size(), 4u);
    for (const std::string& name : names) {
        bool found = false;
        for (const char* dir : {"Textures", "Textures2"}) {
            for (const char* extension : {".dds", ".png", ".bmp", ".tif"})
                found = found || std::filesystem::is_regular_file(DataRoot / dir / (name + extension));
        }
        EXPECT_TRUE(found) << name;
    }
}

TEST(SampleModelFiles, SideFilesAreInTheDataTree) {
    for (const SampleModel& sample : Tools::SampleModels()) {
        for (const SideFile& side : sample.sideFiles)
            EXPECT_EQ(ReadFile(Under(DataRoot / "Models", side.path)), side.text) << side.path;
    }
}

} // namespace
