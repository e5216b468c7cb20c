#include "EngineFixture.h"

namespace {

void Set(RwInt32 plugin, RwUInt32 code) {
    RwError e = {plugin, RwInt32(code)};
    RwErrorSet(&e);
}

// The rule holds before the engine starts (failures of Init and Open) and while it runs.
class ErrorTest : public EngineTest {};

TEST_F(ErrorTest, TheFirstErrorSinceTheLastGetWins) {
    Set(1, 0x80000013);
    Set(1, 0x8000001A);
    RwError e;
    RwErrorGet(&e);
    EXPECT_EQ(e.errorCode, RwInt32(0x80000013));
    EXPECT_EQ(e.pluginID, 0) << "core codes are stored with plugin id 0";
    RwErrorGet(&e);
    EXPECT_EQ(e.errorCode, RwInt32(0x80000000));
    EXPECT_EQ(e.pluginID, 0);

    Set(0x11F, 5);
    Set(1, 14);
    RwErrorGet(&e);
    EXPECT_EQ(e.pluginID, 0x11F);
    EXPECT_EQ(e.errorCode, 5);
    RwErrorSetCode(24);
    RwErrorGet(&e);
    EXPECT_EQ(e.pluginID, 1);
    EXPECT_EQ(e.errorCode, 24);
}

// A plugin error keeps the text of what failed while it is the pending error, and only then.
TEST_F(ErrorTest, APluginErrorKeepsItsText) {
    RwError e;
    RwErrorGet(&e);
    RwErrorSetPluginMessage("Failed to create raster.");
    RwErrorSetPluginMessage("Not kept.");
    EXPECT_STREQ(RwErrorPluginMessage(), "Failed to create raster.");
    RwErrorGet(&e);
    EXPECT_EQ(e.pluginID, 1);
    EXPECT_EQ(e.errorCode, RwInt32(E_RW_PLUGINERROR));
    EXPECT_EQ(RwErrorPluginMessage(), nullptr);
    RwErrorSetPlugin(0x10D, 7);
    RwErrorSetPluginMessage("Behind another error.");
    EXPECT_EQ(RwErrorPluginMessage(), nullptr);
    RwErrorGet(&e);
    EXPECT_EQ(e.pluginID, 0x10D);
    EXPECT_EQ(e.errorCode, 7);
}

TEST(Errors, ArePendingBeforeTheEngineStarts) {
    RwError e;
    RwErrorGet(&e);
    EXPECT_FALSE(RwEngineStart());
    EXPECT_FALSE(RwEngineClose());
    RwErrorGet(&e);
    EXPECT_EQ(e.errorCode, RwInt32(E_RW_BADENGINESTATE));
}

} // namespace
