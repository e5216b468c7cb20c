// Immediate-mode 3D reaches the device only through what the driver installs.
#include "rwsdk/src/pipe/p2/im3d.h"
#include "rwsdk/src/pipe/p2/pipeline.h"

#include "EngineFixture.h"

#include <string>

namespace {

std::string seen; // o open, c close, t transform node, r render node

RwBool Transform(RwPipelineNode*, const RwPipelineNodeParam*) {
    seen += 't';
    return TRUE;
}
RwBool Render(RwPipelineNode*, const RwPipelineNodeParam*) {
    seen += 'r';
    return TRUE;
}
RwNodeDefinition transformNode = _rwNodeDefinitionBody("Transform.csl", Transform);
RwNodeDefinition renderNode = _rwNodeDefinitionBody("Render.csl", Render);

// On the null device nothing is installed: batches are taken and draw nothing.
class Im3DWithoutADevice : public EngineTest {};

TEST_F(Im3DWithoutADevice, TakesBatchesAndDrawsNothing) {
    RwIm3DVertex v[3] = {};
    ASSERT_NE(RwIm3DTransform(v, 3, nullptr, rwIM3D_ALLOPAQUE), nullptr);
    EXPECT_TRUE(RwIm3DRenderPrimitive(rwPRIMTYPETRILIST));
    EXPECT_TRUE(RwIm3DEnd());
}

// A driver's part, installed between the engine's initialisation and its start: the module opens and closes
// it, and its nodes make the default pipelines.
class Im3DWithADevice : public EngineTest {
protected:
    void RegisterPlugins() override {
        seen.clear();
        _rwIm3DSetDeviceFunctions({[] {
                                       seen += 'o';
                                       return RwBool(TRUE);
                                   },
                                   [] { seen += 'c'; }, [] { return &transformNode; },
                                   [] { return &renderNode; }});
    }
};

TEST_F(Im3DWithADevice, DrawsThroughTheNodesTheDriverInstalled) {
    EXPECT_EQ(seen, "o");
    EXPECT_NE(
        RwPipelineFindNamedNode(RwIm3DGetRenderPipeline(rwPRIMTYPETRILIST), "Render.csl", nullptr, nullptr),
        nullptr);
    RwIm3DVertex v[3] = {};
    ASSERT_NE(RwIm3DTransform(v, 3, nullptr, rwIM3D_ALLOPAQUE), nullptr);
    EXPECT_TRUE(RwIm3DRenderPrimitive(rwPRIMTYPETRILIST));
    EXPECT_TRUE(RwIm3DEnd());
    EXPECT_EQ(seen, "otr");
    EXPECT_TRUE(RwEngineStop());
    EXPECT_EQ(seen, "otrc");
    ASSERT_TRUE(RwEngineStart());
}

// The next initialisation starts without it again, for the driver chosen then to install its own.
TEST_F(Im3DWithoutADevice, ANewInitialisationForgetsTheLastDriversPart) {
    _rwIm3DSetDeviceFunctions({[] {
                                   seen += 'o';
                                   return RwBool(TRUE);
                               },
                               [] { seen += 'c'; }, [] { return &transformNode; },
                               [] { return &renderNode; }});
    seen.clear();
    ASSERT_TRUE(RwEngineStop());
    ASSERT_TRUE(RwEngineClose());
    ASSERT_TRUE(RwEngineTerm());
    ASSERT_TRUE(RwEngineInit(&AllocationCounter::functions, 0, 0));
    RwEngineOpenParams params = {nullptr};
    ASSERT_TRUE(RwEngineOpen(&params));
    ASSERT_TRUE(RwEngineStart());
    EXPECT_EQ(
        RwPipelineFindNamedNode(RwIm3DGetRenderPipeline(rwPRIMTYPETRILIST), "Render.csl", nullptr, nullptr),
        nullptr);
    EXPECT_EQ(seen, "");
}

} // namespace
