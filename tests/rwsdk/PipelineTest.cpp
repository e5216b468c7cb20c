#include "rwsdk/src/pipe/p2/pipeline.h"

#include "ImageTestSupport.h"

#include <memory>
#include <string>

using namespace ImageTestSupport;

namespace {

// What the node callbacks saw.
struct Trace {
    std::vector<std::string> calls;
    int nodeInits = 0, nodeTerms = 0, pipelineNodeInits = 0, pipelineNodeTerms = 0;
    void* heapBlock = nullptr;
    bool fail = false;
};
Trace trace;

RwBool Body(RwPipelineNode* self, const RwPipelineNodeParam* params) {
    trace.calls.push_back(self->nodeDef->name);
    if (trace.fail) {
        return FALSE;
    }
    trace.heapBlock = RwPipelineHeapAlloc(params->heap, 100);
    for (RwUInt32 o = 0; o < self->numOutputs; o++) {
        if (!RwPipelineNodeDispatch(self, o, params)) {
            return FALSE;
        }
    }
    return TRUE;
}
RwBool NodeInit(RwNodeDefinition*) {
    return ++trace.nodeInits > 0;
}
void NodeTerm(RwNodeDefinition*) {
    ++trace.nodeTerms;
}
RwBool PipelineNodeInit(RwPipelineNode* node) {
    ++trace.pipelineNodeInits;
    if (node->privateData) {
        *static_cast<RwUInt32*>(node->privateData) = 0xC0FFEE;
    }
    return TRUE;
}
void PipelineNodeTerm(RwPipelineNode*) {
    ++trace.pipelineNodeTerms;
}

RwClusterDefinition clusterA = {"clusterA", 12};
RwClusterDefinition clusterB = {"clusterB", 4};

RwNodeDefinition Definition(const char* name, RwUInt32 outputs = 1) {
    static const RwNodeOutput specs[rwPIPELINEMAXOUTPUTS + 1] = {};
    RwNodeDefinition def = {};
    def.name = name;
    def.nodeMethods = {Body, NodeInit, NodeTerm, PipelineNodeInit, PipelineNodeTerm, nullptr};
    def.io.numOutputs = outputs;
    def.io.outputs = specs;
    return def;
}

class Pipeline : public ::testing::Test {
protected:
    void SetUp() override {
        trace = Trace{};
        pipeline = RwPipelineCreate();
        ASSERT_NE(pipeline, nullptr);
        TakeError();
    }
    void TearDown() override { RwPipelineDestroy(pipeline); }
    // Definitions that outlive the fixture's pipeline.
    RwNodeDefinition& Def(const char* name, RwUInt32 outputs = 1) {
        definitions.push_back(std::make_unique<RwNodeDefinition>(Definition(name, outputs)));
        return *definitions.back();
    }
    Engine engine;
    std::vector<std::unique_ptr<RwNodeDefinition>> definitions;
    RwPipeline* pipeline = nullptr;
};

TEST_F(Pipeline, LockAndUnlockReportMisuse) {
    EXPECT_EQ(RwPipelineLock(nullptr), nullptr);
    EXPECT_EQ(TakeError(), 0x80000016u);
    EXPECT_EQ(RwPipelineUnlock(nullptr), nullptr);
    EXPECT_EQ(TakeError(), 0x80000016u);
    RwNodeDefinition& a = Def("a");
    EXPECT_EQ(RwPipelineLockedAddFragment(nullptr, nullptr, &a, nullptr), nullptr);
    EXPECT_EQ(TakeError(), 0x80000016u);

    EXPECT_EQ(RwPipelineUnlock(pipeline), nullptr); // made unlocked
    EXPECT_EQ(TakeError(), 52u);
    EXPECT_EQ(RwPipelineLockedAddFragment(pipeline, nullptr, &a, nullptr), nullptr);
    EXPECT_EQ(TakeError(), 52u);

    ASSERT_EQ(RwPipelineLock(pipeline), pipeline);
    EXPECT_EQ(RwPipelineLock(pipeline), pipeline); // locked already: as it is
    EXPECT_EQ(RwPipelineExecute(pipeline, nullptr, TRUE), nullptr);
    EXPECT_EQ(TakeError(), 52u);
    EXPECT_EQ(RwPipelineUnlock(pipeline), pipeline); // empty: simply unlocked
    EXPECT_FALSE(pipeline->locked);
}

TEST_F(Pipeline, FragmentsChainTheirNodes) {
    RwNodeDefinition& a = Def("a");
    RwNodeDefinition& b = Def("b");
    RwNodeDefinition& c = Def("c", 2);
    ASSERT_TRUE(RwPipelineLock(pipeline));
    RwUInt32 first = 99;
    ASSERT_EQ(RwPipelineLockedAddFragment(pipeline, &first, &a, &b, &c, nullptr), pipeline);
    EXPECT_EQ(first, 0u);
    ASSERT_EQ(pipeline->numNodes, 3u);
    EXPECT_EQ(pipeline->nodes[0].outputs[0], 1);
    EXPECT_EQ(pipeline->nodes[1].outputs[0], 2);
    EXPECT_EQ(pipeline->nodes[2].outputs[0], rwPIPELINEOUTPUTUNUSED);
    EXPECT_EQ(pipeline->nodes[2].numOutputs, 2u);

    RwNodeDefinition& d = Def("d");
    RwNodeDefinition& e = Def("e");
    ASSERT_TRUE(RwPipelineLockedAddFragment(pipeline, &first, &d, &e, nullptr));
    EXPECT_EQ(first, 3u);
    EXPECT_EQ(pipeline->nodes[3].outputs[0], 4);
    EXPECT_EQ(pipeline->nodes[2].outputs[1], rwPIPELINEOUTPUTUNUSED); // fragments are not joined
}

TEST_F(Pipeline, FragmentLimits) {
    ASSERT_TRUE(RwPipelineLock(pipeline));
    RwNodeDefinition& wide = Def("wide", rwPIPELINEMAXOUTPUTS + 1);
    EXPECT_EQ(RwPipelineLockedAddFragment(pipeline, nullptr, &wide, nullptr), nullptr);
    EXPECT_EQ(TakeError(), 41u);

    RwClusterDefinition* many[rwPIPELINEMAXCLUSTERS + 1];
    for (RwClusterDefinition*& cluster : many) {
        cluster = &clusterA;
    }
    RwNodeDefinition& greedy = Def("greedy");
    greedy.io.numClustersOfInterest = rwPIPELINEMAXCLUSTERS + 1;
    greedy.io.clustersOfInterest = many;
    EXPECT_EQ(RwPipelineLockedAddFragment(pipeline, nullptr, &greedy, nullptr), nullptr);
    EXPECT_EQ(TakeError(), 40u);

    RwNodeDefinition& a = Def("a");
    std::vector<RwNodeDefinition*> defs(65, &a);
    EXPECT_EQ(RwPipelineLockedAddFragmentArray(pipeline, nullptr, defs.data(), 65), nullptr);
    EXPECT_EQ(TakeError(), 42u);
    EXPECT_EQ(pipeline->numNodes, 0u);
    EXPECT_TRUE(RwPipelineLockedAddFragmentArray(pipeline, nullptr, defs.data(), 64));
    EXPECT_EQ(RwPipelineLockedAddFragment(pipeline, nullptr, &a, nullptr), nullptr);
    EXPECT_EQ(TakeError(), 42u);
}

TEST_F(Pipeline, FindNamedNodeWalksOnFromTheStart) {
    RwNodeDefinition& a = Def("nodeA.csl");
    RwNodeDefinition& b = Def("nodeB.csl");
    ASSERT_TRUE(RwPipelineLock(pipeline));
    ASSERT_TRUE(RwPipelineLockedAddFragment(pipeline, nullptr, &a, &b, &a, nullptr));
    RwInt32 index = 99;
    RwPipelineNode* found = RwPipelineFindNamedNode(pipeline, "nodeA.csl", nullptr, &index);
    EXPECT_EQ(found, &pipeline->nodes[0]);
    EXPECT_EQ(index, 0);
    found = RwPipelineFindNamedNode(pipeline, "nodeA.csl", found, &index);
    EXPECT_EQ(found, &pipeline->nodes[2]);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(RwPipelineFindNamedNode(pipeline, "nodeA.csl", found, &index), nullptr);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(RwPipelineFindNamedNode(pipeline, "NODEB.csl", nullptr, &index), nullptr); // exact compare
    EXPECT_EQ(RwPipelineFindNamedNode(pipeline, "nodeB.csl", nullptr, nullptr), &pipeline->nodes[1]);
}

TEST_F(Pipeline, UnlockRefusesBrokenGraphs) {
    RwNodeDefinition& da = Def("a");
    RwNodeDefinition& db = Def("b");
    RwNodeDefinition& dc = Def("c");
    RwNodeDefinition& dd = Def("d");
    struct Case {
        const char* what;
        void (*build)(RwPipeline*, RwNodeDefinition*, RwNodeDefinition*, RwNodeDefinition*,
                      RwNodeDefinition*);
        RwUInt32 error;
    };
    const Case cases[] = {
        {"entry has an input",
         [](RwPipeline* p, RwNodeDefinition* a, RwNodeDefinition* b, RwNodeDefinition*, RwNodeDefinition*) {
             RwPipelineLockedAddFragment(p, nullptr, a, b, nullptr);
             p->nodes[1].outputs[0] = 0;
         },
         36},
        {"entry out of range",
         [](RwPipeline* p, RwNodeDefinition* a, RwNodeDefinition*, RwNodeDefinition*, RwNodeDefinition*) {
             RwPipelineLockedAddFragment(p, nullptr, a, nullptr);
             p->entryPoint = 5;
         },
         36},
        {"a node without input",
         [](RwPipeline* p, RwNodeDefinition* a, RwNodeDefinition* b, RwNodeDefinition* c, RwNodeDefinition*) {
             RwPipelineLockedAddFragment(p, nullptr, a, b, nullptr);
             RwPipelineLockedAddFragment(p, nullptr, c, nullptr);
         },
         34},
        {"a cycle away from the entry",
         [](RwPipeline* p, RwNodeDefinition* a, RwNodeDefinition* b, RwNodeDefinition* c,
            RwNodeDefinition* d) {
             RwPipelineLockedAddFragment(p, nullptr, a, b, nullptr);
             RwPipelineLockedAddFragment(p, nullptr, c, d, nullptr);
             p->nodes[3].outputs[0] = 2;
         },
         28},
    };
    for (const Case& c : cases) {
        RwPipeline* p = RwPipelineCreate();
        ASSERT_TRUE(RwPipelineLock(p));
        c.build(p, &da, &db, &dc, &dd);
        EXPECT_EQ(RwPipelineUnlock(p), nullptr) << c.what;
        EXPECT_EQ(TakeError(), c.error) << c.what;
        EXPECT_TRUE(p->locked) << c.what;
        RwPipelineDestroy(p);
    }
}

TEST_F(Pipeline, UnlockOrdersNodesAfterTheirInputs) {
    // x <- e, and e -> l, e -> r, l -> j, r -> j: the entry is node 1 before the unlock.
    RwNodeDefinition& x = Def("x");
    RwNodeDefinition& e = Def("e", 3);
    RwNodeDefinition& l = Def("l");
    RwNodeDefinition& r = Def("r");
    RwNodeDefinition& j = Def("j");
    ASSERT_TRUE(RwPipelineLock(pipeline));
    RwUInt32 first;
    ASSERT_TRUE(RwPipelineLockedAddFragment(pipeline, &first, &j, nullptr));     // 0
    ASSERT_TRUE(RwPipelineLockedAddFragment(pipeline, &first, &e, &l, nullptr)); // 1, 2
    ASSERT_TRUE(RwPipelineLockedAddFragment(pipeline, &first, &r, nullptr));     // 3
    ASSERT_TRUE(RwPipelineLockedAddFragment(pipeline, &first, &x, nullptr));     // 4
    pipeline->nodes[1].outputs[1] = 3;                                           // e -> r
    pipeline->nodes[1].outputs[2] = 4;                                           // e -> x
    pipeline->nodes[2].outputs[0] = 0;                                           // l -> j
    pipeline->nodes[3].outputs[0] = 0;                                           // r -> j
    pipeline->entryPoint = 1;
    ASSERT_EQ(RwPipelineUnlock(pipeline), pipeline);
    EXPECT_EQ(pipeline->entryPoint, 0u);
    std::vector<std::string> order;
    for (RwUInt32 n = 0; n < pipeline->numNodes; n++) {
        order.push_back(pipeline->nodes[n].nodeDef->name);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"e", "l", "r", "j", "x"}));
    EXPECT_EQ(pipeline->nodes[0].outputs[0], 1);
    EXPECT_EQ(pipeline->nodes[0].outputs[1], 2);
    EXPECT_EQ(pipeline->nodes[0].outputs[2], 4);
    EXPECT_EQ(pipeline->nodes[1].outputs[0], 3);
    EXPECT_EQ(pipeline->nodes[2].outputs[0], 3);
}

TEST_F(Pipeline, ClustersAreCheckedAndShareSlots) {
    RwClusterDefinition* both[] = {&clusterA, &clusterB};
    RwClusterDefinition* onlyB[] = {&clusterB};
    RwClusterDefinition* twice[] = {&clusterA, &clusterA};
    RwClusterDefinition* none[] = {nullptr};
    const RwClusterValidity dropsB[] = {rwCLUSTERVALID, rwCLUSTERINVALID};
    const RwNodeOutput passesAll[] = {{"out", nullptr, rwCLUSTERVALID}};
    const RwNodeOutput dropping[] = {{"out", dropsB, rwCLUSTERVALID}};
    const RwNodeOutput passesNothingElse[] = {{"out", nullptr, rwCLUSTERINVALID}};

    struct Case {
        RwClusterDefinition* const* upstreamClusters;
        RwUInt32 upstreamCount;
        const RwNodeOutput* upstreamOutput;
        RwClusterDefinition* const* downstreamClusters;
        RwUInt32 downstreamCount;
        RwUInt32 error; // 0: unlocks
    };
    const Case cases[] = {
        {both, 2, passesAll, onlyB, 1, 0},
        {both, 2, dropping, onlyB, 1, 29},
        {nullptr, 0, passesNothingElse, onlyB, 1, 29},
        {nullptr, 0, passesAll, onlyB, 1, 0},
        {both, 2, passesAll, twice, 2, 30},
        {both, 2, passesAll, none, 1, 31},
    };
    for (const Case& c : cases) {
        RwNodeDefinition up = Definition("up"), down = Definition("down");
        up.io.clustersOfInterest = c.upstreamClusters;
        up.io.numClustersOfInterest = c.upstreamCount;
        up.io.outputs = c.upstreamOutput;
        down.io.clustersOfInterest = c.downstreamClusters;
        down.io.numClustersOfInterest = c.downstreamCount;
        RwPipeline* p = RwPipelineCreate();
        ASSERT_TRUE(RwPipelineLock(p));
        ASSERT_TRUE(RwPipelineLockedAddFragment(p, nullptr, &up, &down, nullptr));
        TakeError();
        RwPipeline* result = RwPipelineUnlock(p);
        if (c.error == 0) {
            EXPECT_EQ(result, p);
        } else {
            EXPECT_EQ(result, nullptr);
            EXPECT_EQ(TakeError(), c.error);
        }
        if (c.error == 0 && c.upstreamCount == 2) {
            EXPECT_EQ(p->packetNumClusterSlots, 2u);
            EXPECT_EQ(p->nodes[1].slotClusterRefs[0], p->nodes[0].slotClusterRefs[1]);
            EXPECT_EQ(p->embeddedPacket.clusters[p->nodes[1].slotClusterRefs[0]].clusterDef, &clusterB);
        }
        RwPipelineDestroy(p);
    }
}

TEST_F(Pipeline, InitialisersRunAtUnlockAndTerminatorsAtLock) {
    RwNodeDefinition& a = Def("a");
    a.pipelineNodePrivateDataSize = 16;
    ASSERT_TRUE(RwPipelineLock(pipeline));
    ASSERT_TRUE(RwPipelineLockedAddFragment(pipeline, nullptr, &a, &a, nullptr));
    ASSERT_TRUE(RwPipelineUnlock(pipeline));
    EXPECT_EQ(trace.nodeInits, 1);
    EXPECT_EQ(trace.pipelineNodeInits, 2);
    EXPECT_EQ(a.inPipes, 2);
    EXPECT_EQ(pipeline->nodes[1].privateDataSize, 16u);
    EXPECT_EQ(*static_cast<RwUInt32*>(pipeline->nodes[1].privateData), 0xC0FFEEu);

    ASSERT_TRUE(RwPipelineLock(pipeline));
    EXPECT_EQ(trace.pipelineNodeTerms, 2);
    EXPECT_EQ(trace.nodeTerms, 1);
    EXPECT_EQ(a.inPipes, 0);

    // A node destroyed in a locked pipeline takes its place with it.
    RwNodeDefinition& b = Def("b");
    ASSERT_TRUE(RwPipelineLockedAddFragment(pipeline, nullptr, &b, nullptr));
    pipeline->nodes[1].outputs[0] = 2;
    RwPipelineNodeDestroy(&pipeline->nodes[0], pipeline);
    ASSERT_EQ(pipeline->numNodes, 2u);
    EXPECT_STREQ(pipeline->nodes[1].nodeDef->name, "b");
    EXPECT_EQ(pipeline->nodes[0].outputs[0], 1);
    ASSERT_TRUE(RwPipelineUnlock(pipeline));
    EXPECT_EQ(trace.nodeInits, 3); // a again, and b
}

// A definition made at run time lives while a node holds it: locking keeps it for the next unlock, and
// only destroying the last node frees it (AddressSanitizer sees a read after a free).
TEST_F(Pipeline, LockKeepsARunTimeDefinitionThatUnlockReadsAgain) {
    auto* def = static_cast<RwNodeDefinition*>(RwMalloc(sizeof(RwNodeDefinition), 0));
    ASSERT_NE(def, nullptr);
    *def = Definition("runtime");
    def->editable = TRUE;
    ASSERT_TRUE(RwPipelineLock(pipeline));
    ASSERT_TRUE(RwPipelineLockedAddFragment(pipeline, nullptr, def, nullptr));
    ASSERT_TRUE(RwPipelineUnlock(pipeline));
    EXPECT_EQ(def->inPipes, 1);
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(RwPipelineLock(pipeline));
        EXPECT_EQ(def->inPipes, 0);
        ASSERT_EQ(pipeline->nodes[0].nodeDef, def);
        EXPECT_STREQ(pipeline->nodes[0].nodeDef->name, "runtime");
        ASSERT_TRUE(RwPipelineUnlock(pipeline));
        EXPECT_EQ(def->inPipes, 1);
    }
    EXPECT_EQ(trace.nodeInits, 3);
    EXPECT_EQ(trace.nodeTerms, 2);
    ASSERT_TRUE(RwPipelineExecute(pipeline, nullptr, TRUE));
    EXPECT_EQ(trace.calls, std::vector<std::string>{"runtime"});
    // The unlocked node's destroy is the definition's last user: it is freed with the node.
    RwPipelineNodeDestroy(&pipeline->nodes[0], pipeline);
    EXPECT_EQ(trace.nodeTerms, 3);
    EXPECT_EQ(pipeline->numNodes, 0u);
}

TEST_F(Pipeline, ExecuteRunsTheBodiesAndResetsTheHeapWhenAsked) {
    RwNodeDefinition& a = Def("a");
    RwNodeDefinition& b = Def("b", 0);
    ASSERT_TRUE(RwPipelineLock(pipeline));
    ASSERT_TRUE(RwPipelineLockedAddFragment(pipeline, nullptr, &a, &b, nullptr));
    ASSERT_TRUE(RwPipelineUnlock(pipeline));

    ASSERT_EQ(RwPipelineExecute(pipeline, nullptr, TRUE), pipeline);
    EXPECT_EQ(trace.calls, (std::vector<std::string>{"a", "b"}));
    void* firstBlock = trace.heapBlock;
    ASSERT_EQ(RwPipelineExecute(pipeline, nullptr, FALSE), pipeline);
    EXPECT_NE(trace.heapBlock, firstBlock); // the blocks of the first run are still in use
    ASSERT_EQ(RwPipelineExecute(pipeline, nullptr, TRUE), pipeline);
    EXPECT_EQ(trace.heapBlock, firstBlock) << "reset empties the heap";
    EXPECT_EQ(RwPipelineGetCurrent(), nullptr);

    trace.fail = true;
    EXPECT_EQ(RwPipelineExecute(pipeline, nullptr, TRUE), nullptr);
}

TEST_F(Pipeline, RenderStateDefaults) {
    RwPipelineRenderStateDefaults defaults;
    ASSERT_EQ(RwPipelineGetRenderStateDefaults(&defaults), &defaults);
    const RwUInt32 expected[11] = {7, 2, 5, 6, 0, 1, 1, 2, 0xFFFFFFFF, 0, 0xFFFFFFFF};
    EXPECT_EQ(0, std::memcmp(defaults.words, expected, sizeof(expected)));
}

TEST(PipelineHeap, BlocksMergeAndGrowBeyondTheFirstBlock) {
    Engine engine;
    RwPipelineHeap* heap = RwPipelineHeapCreate(4096);
    ASSERT_NE(heap, nullptr);
    void* a = RwPipelineHeapAlloc(heap, 1000);
    void* b = RwPipelineHeapAlloc(heap, 1000);
    void* c = RwPipelineHeapAlloc(heap, 1000);
    RwPipelineHeapFree(heap, b);
    RwPipelineHeapFree(heap, a);
    EXPECT_EQ(RwPipelineHeapAlloc(heap, 2000), a); // a and b merged
    void* big = RwPipelineHeapAlloc(heap, 10000);  // more than the first block holds
    ASSERT_NE(big, nullptr);
    std::memset(big, 0xAB, 10000);
    RwPipelineHeapFree(heap, c);
    EXPECT_TRUE(RwPipelineHeapReset(heap));
    EXPECT_EQ(RwPipelineHeapAlloc(heap, 4000), a);
    RwPipelineHeapDestroy(heap);
}

} // namespace
