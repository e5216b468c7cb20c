// Frame hierarchies under random edits against GLM products; the dirty-list and synchronisation rules;
// clones; frame list chunks written here and read back.
#include "MathsFixture.h"

#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/stream.h"

#include <glm/gtc/matrix_transform.hpp>

#include <algorithm>
#include <cstring>

namespace {

constexpr RwUInt32 probePluginID = 0x7F01;
RwInt32 probeOffset = -1;
int copiesSeenWithLink = 0;

// Frame plugin data: one word, read from its extension sub-chunk.
void* ConstructWord(void* object, RwInt32 offset, RwInt32) {
    *RWPLUGINOFFSET(RwInt32, object, offset) = -1;
    return object;
}
void* CopyWord(void* dst, const void* src, RwInt32 offset, RwInt32) {
    *RWPLUGINOFFSET(RwInt32, dst, offset) = *RWPLUGINOFFSETCONST(RwInt32, src, offset);
    // While clones copy plugin data, every source frame leads to its copy.
    if (static_cast<const RwFrame*>(src)->root == dst)
        ++copiesSeenWithLink;
    return dst;
}
RwStream* ReadWord(RwStream* stream, RwInt32 length, void* object, RwInt32 offset, RwInt32) {
    if (length != 4)
        return nullptr;
    return RwStreamReadInt32(stream, RWPLUGINOFFSET(RwInt32, object, offset), 4);
}

// An object placed on a frame that records its synchronisations.
struct Probe {
    RwObjectHasFrame object;
    int syncs;
    RwMatrix seen;
};

RwObjectHasFrame* ProbeSync(RwObjectHasFrame* object) {
    Probe* probe = reinterpret_cast<Probe*>(object);
    ++probe->syncs;
    probe->seen = RwObjectGetFrame(object)->ltm;
    return object;
}

void InitProbe(Probe* probe) {
    std::memset(static_cast<void*>(probe), 0, sizeof(Probe));
    probe->object.object.type = rwLIGHT;
    probe->object.sync = ProbeSync;
}

class Frames : public MathsEngine {
protected:
    void RegisterPlugins() override {
        probeOffset = RwFrameRegisterPlugin(sizeof(RwInt32), probePluginID, ConstructWord, nullptr, CopyWord);
        RwFrameRegisterPluginStream(probePluginID, ReadWord, nullptr, nullptr);
    }

    static RwFrameModuleData* Module() {
        return RWPLUGINOFFSET(RwFrameModuleData, RwEngineInstance, RwEngineGetPluginOffset(rwID_FRAMEMODULE));
    }
    static std::vector<RwFrame*> DirtyRoots() {
        std::vector<RwFrame*> roots;
        RwLinkList* list = &Module()->dirtyFrameList;
        for (RwLLLink* l = rwLinkListGetFirstLLLink(list); l != rwLinkListGetTerminator(list); l = l->next)
            roots.push_back(rwLLLinkGetData(l, RwFrame, inDirtyListLink));
        return roots;
    }
    static RwInt32& Word(RwFrame* frame) { return *RWPLUGINOFFSET(RwInt32, frame, probeOffset); }
};

// The test's own record of the hierarchy: parents and local matrices, world matrices by GLM products.
struct Model {
    std::vector<RwFrame*> frames;
    std::vector<int> parent;
    std::vector<glm::mat4> local;
    std::vector<bool> alive;

    glm::mat4 World(int i) const { return parent[i] < 0 ? local[i] : World(parent[i]) * local[i]; }
    int Root(int i) const { return parent[i] < 0 ? i : Root(parent[i]); }
    bool InSubtree(int node, int top) const {
        for (int i = node; i >= 0; i = parent[i])
            if (i == top)
                return true;
        return false;
    }
    bool HasChildren(int i) const {
        for (std::size_t j = 0; j < parent.size(); ++j)
            if (alive[j] && parent[j] == i)
                return true;
        return false;
    }
};

glm::mat4 RandomOperation(std::mt19937& random, RwMatrix* engine, RwOpCombineType combine) {
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::uniform_int_distribution<int> kind(0, 3);
    const glm::vec3 v(value(random), value(random), value(random));
    switch (kind(random)) {
    case 0: {
        const glm::vec3 axis = RandomUnit(random);
        const float radians = value(random) * 3.0f;
        const RwV3d unit{axis.x, axis.y, axis.z};
        RwMatrixRotateByCosineSine(engine, &unit, 1.0f - std::cos(radians), std::sin(radians), combine);
        return glm::rotate(glm::mat4(1.0f), radians, axis);
    }
    case 1: {
        const glm::vec3 s = glm::vec3(1.0f) + v * 0.2f;
        const RwV3d rs{s.x, s.y, s.z};
        RwMatrixScale(engine, &rs, combine);
        return glm::scale(glm::mat4(1.0f), s);
    }
    case 2: {
        const RwV3d t{v.x, v.y, v.z};
        RwMatrixTranslate(engine, &t, combine);
        return glm::translate(glm::mat4(1.0f), v);
    }
    default: {
        glm::mat4 g = glm::rotate(glm::mat4(1.0f), value(random) * 3.0f, RandomUnit(random));
        g[3] = glm::vec4(v, 1.0f);
        const RwMatrix t = FromGlm(g, 0);
        RwMatrixTransform(engine, &t, combine);
        return g;
    }
    }
}

TEST_F(Frames, RandomHierarchiesKeepGlmWorldMatrices) {
    std::mt19937 random(2024);
    Model model;
    std::vector<Probe> probes(400);
    auto create = [&]() {
        RwFrame* frame = RwFrameCreate();
        ASSERT_NE(frame, nullptr);
        const int i = static_cast<int>(model.frames.size());
        model.frames.push_back(frame);
        model.parent.push_back(-1);
        model.local.push_back(glm::mat4(1.0f));
        model.alive.push_back(true);
        InitProbe(&probes[i]);
        RwObjectSetFrame(&probes[i].object, frame);
        if (i > 0 && random() % 4 != 0) {
            int p;
            do
                p = static_cast<int>(random() % i);
            while (!model.alive[p]);
            RwFrameAddChild(model.frames[p], frame);
            model.parent[i] = p;
        }
    };
    for (int i = 0; i < 40; ++i)
        create();

    for (int step = 0; step < 300; ++step) {
        std::vector<int> living;
        for (std::size_t i = 0; i < model.frames.size(); ++i)
            if (model.alive[i])
                living.push_back(static_cast<int>(i));
        const int a = living[random() % living.size()];
        const int b = living[random() % living.size()];
        switch (random() % 8) {
        case 0:
        case 1:
        case 2: { // edit a modelling matrix with a random combine operation
            const auto combine = static_cast<RwOpCombineType>(random() % 3);
            const glm::mat4 op = RandomOperation(random, RwFrameGetMatrix(model.frames[a]), combine);
            glm::mat4& local = model.local[a];
            local = combine == rwCOMBINEREPLACE     ? op
                    : combine == rwCOMBINEPRECONCAT ? local * op
                                                    : op * local;
            RwFrameUpdateObjects(model.frames[a]);
            break;
        }
        case 3: // reparent, never under its own subtree
            if (!model.InSubtree(b, a)) {
                ASSERT_EQ(RwFrameAddChild(model.frames[b], model.frames[a]), model.frames[b]);
                model.parent[a] = b;
            }
            break;
        case 4:
            ASSERT_EQ(RwFrameRemoveChild(model.frames[a]), model.frames[a]);
            model.parent[a] = -1;
            break;
        case 5: // destroy a leaf
            if (!model.HasChildren(a) && model.frames.size() < probes.size() - 1) {
                RwObjectReleaseFrame(&probes[a].object);
                RwFrameDestroy(model.frames[a]);
                model.alive[a] = false;
                create();
            }
            break;
        case 6:
            if (model.frames.size() < probes.size())
                create();
            break;
        default:
            RwFrameSetIdentity(model.frames[a]);
            model.local[a] = glm::mat4(1.0f);
            break;
        }
        if (step % 10 != 9)
            continue;

        // Half the time through the synchronisation, which must call every object of a changed hierarchy
        // once and leave the others alone; else through the on-demand world matrix.
        const bool sync = step % 20 == 9;
        std::vector<int> before(model.frames.size());
        std::vector<bool> dirty(model.frames.size());
        for (std::size_t i = 0; i < model.frames.size(); ++i)
            if (model.alive[i]) {
                before[i] = probes[i].syncs;
                dirty[i] = RwFrameIsDirty(model.frames[i]) != 0;
            }
        if (sync) {
            ASSERT_TRUE(RwFrameSyncDirty());
            EXPECT_TRUE(DirtyRoots().empty());
        }
        for (std::size_t i = 0; i < model.frames.size(); ++i) {
            if (!model.alive[i])
                continue;
            SCOPED_TRACE(::testing::Message() << "step " << step << " frame " << i);
            RwFrame* frame = model.frames[i];
            const glm::mat4 world = model.World(static_cast<int>(i));
            EXPECT_EQ(RwFrameGetRoot(frame), model.frames[model.Root(static_cast<int>(i))]);
            EXPECT_EQ(RwFrameGetParent(frame), model.parent[i] < 0 ? nullptr : model.frames[model.parent[i]]);
            if (sync) {
                EXPECT_TRUE(MatrixNear(frame->ltm, world, 2e-3f));
                EXPECT_EQ(frame->object.privateFlags & 0xF, 0);
                {
                    EXPECT_EQ(probes[i].syncs, before[i] + (dirty[i] ? 1 : 0));
                    if (dirty[i]) {
                        EXPECT_TRUE(MatrixNear(probes[i].seen, world, 2e-3f));
                    }
                }
            } else {
                EXPECT_TRUE(MatrixNear(*RwFrameGetWorldMatrix(frame), world, 2e-3f));
            }
        }
    }
    for (std::size_t i = 0; i < model.frames.size(); ++i)
        if (model.alive[i] && model.parent[i] < 0)
            RwFrameDestroyHierarchy(model.frames[i]);
}

TEST_F(Frames, ChangingTwiceListsTheRootOnce) {
    RwFrame* root = RwFrameCreate();
    RwFrame* child = RwFrameCreate();
    RwFrameAddChild(root, child);
    RwFrameSyncDirty();
    EXPECT_EQ(RwFrameIsDirty(child), 0u);
    RwFrameUpdateObjects(child);
    RwFrameUpdateObjects(child);
    RwFrameUpdateObjects(root);
    EXPECT_EQ(DirtyRoots(), std::vector<RwFrame*>{root});
    EXPECT_EQ(RwFrameIsDirty(child), 3u);
    RwFrameSyncDirty();
    EXPECT_TRUE(DirtyRoots().empty());
    RwFrameDestroyHierarchy(root);
}

TEST_F(Frames, AddingADirtyRootMovesTheListEntryToTheNewRoot) {
    RwFrame* a = RwFrameCreate();
    RwFrame* b = RwFrameCreate();
    RwFrameSyncDirty();
    RwFrameUpdateObjects(b);
    EXPECT_EQ(DirtyRoots(), std::vector<RwFrame*>{b});
    RwFrameAddChild(a, b);
    EXPECT_EQ(DirtyRoots(), std::vector<RwFrame*>{a});
    EXPECT_EQ(b->object.privateFlags & 3, 0);
    EXPECT_EQ(b->object.privateFlags & 12, 12);
    RwFrameDestroyHierarchy(a);
    EXPECT_TRUE(DirtyRoots().empty());
}

TEST_F(Frames, WorldMatrixOnDemandLeavesObjectsForTheNextSync) {
    RwFrame* root = RwFrameCreate();
    RwFrame* child = RwFrameCreate();
    RwFrameAddChild(root, child);
    Probe probe;
    InitProbe(&probe);
    RwObjectSetFrame(&probe.object, child);
    RwFrameSyncDirty();
    ASSERT_EQ(probe.syncs, 1);

    const RwV3d t{1, 2, 3};
    RwMatrixTranslate(RwFrameGetMatrix(root), &t, rwCOMBINEREPLACE);
    RwFrameUpdateObjects(root);
    const RwV3d u{10, 0, 0};
    RwMatrixTranslate(RwFrameGetMatrix(child), &u, rwCOMBINEREPLACE);
    RwFrameUpdateObjects(child);
    EXPECT_TRUE(
        MatrixNear(*RwFrameGetWorldMatrix(child), glm::translate(glm::mat4(1.0f), glm::vec3(11, 2, 3)), 0));
    EXPECT_EQ(probe.syncs, 1);
    EXPECT_EQ(DirtyRoots(), std::vector<RwFrame*>{root});
    EXPECT_EQ(root->object.privateFlags & 3, 2); // objects still pending

    // With only objects pending, the synchronisation calls them and computes no matrix: a modelling
    // matrix changed behind its back stays out of the world matrix.
    RwMatrixTranslate(RwFrameGetMatrix(child), &t, rwCOMBINEREPLACE);
    RwFrameSyncDirty();
    EXPECT_EQ(probe.syncs, 2);
    EXPECT_EQ(child->ltm.pos.x, 11.0f);
    EXPECT_EQ(child->object.privateFlags & 0xF, 0);
    RwObjectReleaseFrame(&probe.object);
    RwFrameDestroyHierarchy(root);
}

TEST_F(Frames, DestroyFreesChildrenAndObjects) {
    RwFrame* root = RwFrameCreate();
    RwFrame* middle = RwFrameCreate();
    RwFrame* leaf = RwFrameCreate();
    RwFrameAddChild(root, middle);
    RwFrameAddChild(middle, leaf);
    Probe probe;
    InitProbe(&probe);
    RwObjectSetFrame(&probe.object, middle);
    RwFrameSyncDirty();
    RwFrameDestroy(middle);
    EXPECT_EQ(root->child, nullptr);
    EXPECT_EQ(RwFrameGetParent(leaf), nullptr);
    EXPECT_EQ(RwFrameGetRoot(leaf), leaf);
    EXPECT_EQ(DirtyRoots(), std::vector<RwFrame*>{leaf});
    EXPECT_EQ(RwObjectGetFrame(&probe.object), nullptr);
    RwFrameSyncDirty();
    EXPECT_EQ(probe.syncs, 1);
    RwFrameDestroy(root);
    RwFrameDestroy(leaf);
    EXPECT_TRUE(DirtyRoots().empty());
}

TEST_F(Frames, OrthonormalizeRecordsAChange) {
    RwFrame* frame = RwFrameCreate();
    RwFrameSyncDirty();
    RwMatrix* m = RwFrameGetMatrix(frame);
    m->right = {2.0f, 0.1f, 0.0f};
    m->up = {0.0f, 3.0f, 0.2f};
    m->at = {0.1f, 0.0f, 0.5f};
    m->pos = {1.0f, 2.0f, 3.0f};
    RwMatrixUpdate(m);
    ASSERT_EQ(RwFrameOrthonormalize(frame), frame);
    EXPECT_EQ(m->flags, 3u);
    EXPECT_NE(RwFrameIsDirty(frame), 0u);
    const RwMatrix* world = RwFrameGetWorldMatrix(frame);
    EXPECT_NEAR(RwMatrixNormalError(world), 0.0f, 1e-6f);
    EXPECT_NEAR(RwMatrixOrthogonalError(world), 0.0f, 1e-6f);
    EXPECT_EQ(world->pos.z, 3.0f);
    ASSERT_EQ(RwFrameSetIdentity(frame), frame);
    EXPECT_EQ(RwFrameGetWorldMatrix(frame)->pos.z, 0.0f);
    RwFrameDestroy(frame);
}

TEST_F(Frames, ForAllObjectsRunsNewestFirst) {
    RwFrame* frame = RwFrameCreate();
    Probe probes[3];
    for (Probe& probe : probes) {
        InitProbe(&probe);
        RwObjectSetFrame(&probe.object, frame);
    }
    static std::vector<RwObjectHasFrame*> seen;
    seen.clear();
    RwFrameForAllObjects(frame, [](RwObjectHasFrame* object) {
        seen.push_back(object);
        return object;
    });
    EXPECT_EQ(seen,
              (std::vector<RwObjectHasFrame*>{&probes[2].object, &probes[1].object, &probes[0].object}));
    // Moving an object to another frame takes it off the first.
    RwFrame* other = RwFrameCreate();
    RwObjectSetFrame(&probes[1].object, other);
    seen.clear();
    RwFrameForAllObjects(frame, [](RwObjectHasFrame* object) {
        seen.push_back(object);
        return object;
    });
    EXPECT_EQ(seen.size(), 2u);
    for (Probe& probe : probes)
        RwObjectReleaseFrame(&probe.object);
    RwFrameDestroy(other);
    RwFrameDestroy(frame);
}

TEST_F(Frames, ForAllChildrenStopsAtNull) {
    RwFrame* root = RwFrameCreate();
    for (int i = 0; i < 4; ++i)
        RwFrameAddChild(root, RwFrameCreate());
    int calls = 0;
    RwFrameForAllChildren(
        root,
        [](RwFrame* child, void* data) -> RwFrame* {
            return ++*static_cast<int*>(data) == 2 ? nullptr : child;
        },
        &calls);
    EXPECT_EQ(calls, 2);
    RwFrameDestroyHierarchy(root);
}

TEST_F(Frames, CloneCopiesTheHierarchy) {
    std::mt19937 random(77);
    std::vector<RwFrame*> frames{RwFrameCreate()};
    for (int i = 1; i < 20; ++i) {
        RwFrame* frame = RwFrameCreate();
        *RwFrameGetMatrix(frame) = RandomMatrix(random);
        Word(frame) = i;
        RwFrameAddChild(frames[random() % frames.size()], frame);
        frames.push_back(frame);
    }
    copiesSeenWithLink = 0;
    RwFrame* copy = RwFrameCloneHierarchy(frames[0]);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copiesSeenWithLink, 20);
    for (RwFrame* frame : frames)
        EXPECT_EQ(frame->root, frames[0]); // restored
    // Walk both trees in step: same shape, matrices, plugin data and world matrices.
    std::vector<std::pair<RwFrame*, RwFrame*>> pending{{frames[0], copy}};
    int visited = 0;
    while (!pending.empty()) {
        auto [source, clone] = pending.back();
        pending.pop_back();
        ++visited;
        EXPECT_NE(source, clone);
        EXPECT_EQ(clone->root, copy);
        EXPECT_EQ(std::memcmp(&source->modelling, &clone->modelling, sizeof(RwMatrix)), 0);
        EXPECT_EQ(Word(source), Word(clone));
        EXPECT_TRUE(MatrixNear(*RwFrameGetWorldMatrix(clone), ToGlm(*RwFrameGetWorldMatrix(source)), 0));
        RwFrame* s = source->child;
        RwFrame* c = clone->child;
        for (; s && c; s = s->next, c = c->next)
            pending.push_back({s, c});
        EXPECT_EQ(s, nullptr);
        EXPECT_EQ(c, nullptr);
    }
    EXPECT_EQ(visited, 20);
    RwFrameDestroyHierarchy(copy);
    RwFrameDestroyHierarchy(frames[0]);
}

// A frame list chunk as a file holds it, written here independently of the reader.
struct FrameRecord {
    RwMatrix matrix;
    RwInt32 parent;
};

void Put(std::vector<RwUInt8>& bytes, const void* data, std::size_t size) {
    const auto* p = static_cast<const RwUInt8*>(data);
    bytes.insert(bytes.end(), p, p + size);
}
void Put32(std::vector<RwUInt8>& bytes, RwUInt32 value) {
    Put(bytes, &value, 4);
}
void PutHeader(std::vector<RwUInt8>& bytes, RwUInt32 type, RwUInt32 size, RwUInt32 stamp = 0x1803FFFF) {
    Put32(bytes, type);
    Put32(bytes, size);
    Put32(bytes, stamp);
}

std::vector<RwUInt8> FrameListChunk(const std::vector<FrameRecord>& records,
                                    const std::vector<RwInt32>& words, RwUInt32 structStamp = 0x1803FFFF) {
    std::vector<RwUInt8> payload;
    PutHeader(payload, rwID_STRUCT, 4 + 56 * static_cast<RwUInt32>(records.size()), structStamp);
    Put32(payload, static_cast<RwUInt32>(records.size()));
    for (std::size_t k = 0; k < records.size(); ++k) {
        for (const RwV3d* row :
             {&records[k].matrix.right, &records[k].matrix.up, &records[k].matrix.at, &records[k].matrix.pos})
            Put(payload, row, 12);
        Put32(payload, static_cast<RwUInt32>(records[k].parent));
        Put32(payload, 0xDEADBEEF);
    }
    for (std::size_t k = 0; k < records.size(); ++k) {
        const bool withWord = k < words.size() && words[k] >= 0;
        PutHeader(payload, rwID_EXTENSION, withWord ? 12 + 4 + 12 + 8 : 0);
        if (withWord) {
            PutHeader(payload, 0x7F02, 8); // a plugin nobody registered: skipped
            Put32(payload, 1);
            Put32(payload, 2);
            PutHeader(payload, probePluginID, 4);
            Put32(payload, static_cast<RwUInt32>(words[k]));
        }
    }
    std::vector<RwUInt8> chunk;
    PutHeader(chunk, rwID_FRAMELIST, static_cast<RwUInt32>(payload.size()));
    chunk.insert(chunk.end(), payload.begin(), payload.end());
    return chunk;
}

RwFrameList* ReadFrameList(std::vector<RwUInt8>& bytes, RwFrameList* list) {
    RwMemory memory{bytes.data(), static_cast<RwUInt32>(bytes.size())};
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
    RwFrameList* result = nullptr;
    if (RwStreamFindChunk(stream, rwID_FRAMELIST, nullptr, nullptr))
        result = RwFrameListStreamRead(stream, list);
    RwStreamClose(stream, nullptr);
    return result;
}

TEST_F(Frames, FrameListReadsBackWhatWasWritten) {
    std::mt19937 random(5);
    std::vector<FrameRecord> records;
    std::vector<RwInt32> words;
    for (int k = 0; k < 12; ++k) {
        glm::mat4 g = glm::rotate(glm::mat4(1.0f), 0.3f * k, RandomUnit(random));
        if (k % 4 == 1)
            g = glm::scale(g, glm::vec3(1.5f, 1.0f, 1.0f)); // not normal
        if (k % 4 == 2)
            g = glm::scale(g, glm::vec3(-1.0f, 1.0f, 1.0f)); // a reflection
        g[3] = glm::vec4(k, -k, 2.0f * k, 1.0f);
        records.push_back({FromGlm(g), k == 0 || k == 5 ? -1 : static_cast<RwInt32>(random() % k)});
        words.push_back(k % 3 == 0 ? -1 : 100 + k);
    }
    std::vector<RwUInt8> bytes = FrameListChunk(records, words);
    RwFrameList list;
    ASSERT_EQ(ReadFrameList(bytes, &list), &list);
    ASSERT_EQ(list.numFrames, 12);
    for (int k = 0; k < 12; ++k) {
        RwFrame* frame = list.frames[k];
        EXPECT_TRUE(MatrixNear(frame->modelling, ToGlm(records[k].matrix), 0));
        EXPECT_EQ(frame->modelling.flags, k % 4 == 1 || k % 4 == 2 ? 0u : 3u) << k;
        EXPECT_EQ(RwFrameGetParent(frame), records[k].parent < 0 ? nullptr : list.frames[records[k].parent]);
        EXPECT_EQ(Word(frame), words[k]);
        EXPECT_NE(RwFrameIsDirty(frame), 0u);
    }
    EXPECT_EQ(DirtyRoots().size(), 2u);
    RwFrameDestroyHierarchy(list.frames[5]);
    RwFrameDestroyHierarchy(list.frames[0]);
    RwFrameListDeinitialize(&list);
}

TEST_F(Frames, FrameListEdgeCases) {
    std::vector<RwUInt8> empty = FrameListChunk({}, {});
    RwFrameList list;
    ASSERT_EQ(ReadFrameList(empty, &list), &list);
    EXPECT_EQ(list.numFrames, 0);
    EXPECT_TRUE(DirtyRoots().empty());
    RwFrameListDeinitialize(&list);

    const FrameRecord root{FromGlm(glm::mat4(1.0f)), -1};
    struct Case {
        const char* name;
        std::vector<RwUInt8> bytes;
        RwInt32 error;
    };
    std::vector<Case> cases;
    cases.push_back(
        {"old version", FrameListChunk({root}, {}, 0x0310), static_cast<RwInt32>(E_RW_BADVERSION)});
    cases.push_back({"later parent", FrameListChunk({root, {root.matrix, 2}, root}, {}),
                     static_cast<RwInt32>(E_RW_BADPARAM)});
    std::vector<RwUInt8> shortRecord = FrameListChunk({root, root}, {});
    shortRecord.resize(12 + 12 + 4 + 56 + 20);
    cases.push_back({"short record", shortRecord, 0});
    std::vector<RwUInt8> countTooBig = FrameListChunk({root}, {});
    countTooBig[24] = 200;
    cases.push_back({"count beyond the chunk", countTooBig, static_cast<RwInt32>(E_RW_READ)});
    // A chunk that claims 4 GB and a count to fill it, with one record behind them.
    std::vector<RwUInt8> countBeyondBytes = FrameListChunk({root}, {});
    for (int k = 0; k < 4; ++k) {
        countBeyondBytes[16 + k] = k == 0 ? 0x00 : 0xFF;
        countBeyondBytes[24 + k] = k == 3 ? 0x01 : 0x00;
    }
    cases.push_back({"count beyond the bytes", countBeyondBytes, static_cast<RwInt32>(E_RW_READ)});
    std::vector<RwUInt8> noExtension = FrameListChunk({root, {root.matrix, 0}}, {});
    noExtension.resize(noExtension.size() - 12);
    cases.push_back({"missing extension", noExtension, 0});
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadFrameList(c.bytes, &list), nullptr);
        const RwInt32 error = TakeError();
        if (c.error) {
            EXPECT_EQ(error, c.error);
        }
        EXPECT_TRUE(DirtyRoots().empty()); // every frame made was destroyed again
    }
}

} // namespace
