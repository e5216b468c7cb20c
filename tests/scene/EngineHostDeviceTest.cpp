// The engine host's own device policies: debug character set, gamma ramp, vertical blank, saved states.
#include "scene/EngineHost.h"
#include "tests/support/DeviceCalls.h"
#include "tests/support/GlDriver.h"
#include "tests/support/HiddenWindow.h"

#include "platform/d3d9/Control.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9rendst.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/tool/charse/rtcharse.h"

#include <SDL.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

class EngineHostDevice : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TestSupport::OpenHiddenWindow("host", 160, 120, window, hwnd));
        ASSERT_TRUE(Rw::StartEngine(4096, 0, hwnd, 0, 0));
    }
    void TearDown() override {
        Rw::StopEngine();
        TestSupport::PinGlDriver();
        Win32::DetachSdlWindow(hwnd);
        SDL_DestroyWindow(window);
    }
    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
};

DWORD DeviceState(D3DRENDERSTATETYPE state) {
    DWORD value = 0xDEAD;
    Rw::Direct3DDevice->GetRenderState(state, &value);
    return value;
}

} // namespace

TEST_F(EngineHostDevice, DebugCharsetLivesFromStartToStop) {
    ASSERT_NE(Rw::DebugCharset, nullptr);
    EXPECT_EQ(RwRasterGetType(Rw::DebugCharset), rwRASTERTYPETEXTURE);
    Rw::StopEngine();
    EXPECT_EQ(Rw::DebugCharset, nullptr);
}

TEST_F(EngineHostDevice, GammaRampScalesEachChannelAndSaturates) {
    const uint8_t rgb[3] = {128, 255, 0};
    D3D9::SetCallLogging(RwD3D9Device, true);
    D3D9::TakeCallLog(RwD3D9Device);
    Rw::SetGammaRamp(rgb, 1.0f);
    EXPECT_EQ(D3D9::TakeCallLog(RwD3D9Device), std::vector<std::string>{"SetGammaRamp"});
    D3DGAMMARAMP ramp{};
    Rw::Direct3DDevice->GetGammaRamp(0, &ramp);
    EXPECT_EQ(ramp.red[255], 32640);
    EXPECT_EQ(ramp.green[255], 65025);
    EXPECT_EQ(ramp.red[1], 128);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(ramp.blue[i], 0) << i;
    Rw::SetGammaRamp(rgb, 2.0f);
    Rw::Direct3DDevice->GetGammaRamp(0, &ramp);
    EXPECT_EQ(ramp.green[128], 65280);
    for (int i = 129; i < 256; ++i)
        ASSERT_EQ(ramp.green[i], 65535) << i;
    const uint8_t white[3] = {255, 255, 255};
    Rw::SetGammaRamp(white, 1.0f);
    Rw::Direct3DDevice->GetGammaRamp(0, &ramp);
    EXPECT_EQ(ramp.blue[255], 65025);
}

TEST_F(EngineHostDevice, VerticalBlankWaitEndsAtTheStartOfABlank) {
    D3DRASTER_STATUS status{};
    for (int phase = 0; phase < 2; ++phase) {
        Rw::WaitForVerticalBlank();
        // The last poll saw the blank begin, so the device's next report is the time after it.
        ASSERT_EQ(Rw::Direct3DDevice->GetRasterStatus(0, &status), D3D_OK);
        EXPECT_FALSE(status.InVBlank) << phase;
    }
}

TEST_F(EngineHostDevice, SavedStatesKeepTheFirstValueAndRestoreOnlyWhatChanged) {
    RwD3D9SetSamplerState(1, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
    RwD3D9SetTextureStageState(2, D3DTSS_TEXCOORDINDEX, 2);
    RwD3D9SetRenderState(D3DRS_TEXTUREFACTOR, 0x11223344);
    RwD3D9SetRenderState(D3DRS_FOGSTART, 7);
    Rw::SavedRenderStates saved;
    saved.SetSamplerState(1, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    saved.SetSamplerState(1, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR);
    saved.SetTextureStageState(2, D3DTSS_TEXCOORDINDEX, 0);
    saved.SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF);
    RwD3D9SetRenderState(D3DRS_FOGSTART, 9); // not saved: stays
    saved.Restore();
    RwUInt32 value = 0;
    RwD3D9GetSamplerState(1, D3DSAMP_ADDRESSU, &value);
    EXPECT_EQ(value, RwUInt32(D3DTADDRESS_WRAP));
    RwD3D9GetTextureStageState(2, D3DTSS_TEXCOORDINDEX, &value);
    EXPECT_EQ(value, 2u);
    RwD3D9GetRenderState(D3DRS_TEXTUREFACTOR, &value);
    EXPECT_EQ(value, 0x11223344u);
    RwD3D9GetRenderState(D3DRS_FOGSTART, &value);
    EXPECT_EQ(value, 9u);
    saved.SetSamplerState(1, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR);
    saved.Restore();
    RwD3D9GetSamplerState(1, D3DSAMP_ADDRESSU, &value);
    EXPECT_EQ(value, RwUInt32(D3DTADDRESS_WRAP)) << "the first saved value is kept across uses";
}

TEST_F(EngineHostDevice, RestoreTurnsTheScissorTestOffAndTheCacheKnowsIt) {
    RwD3D9SetRenderState(D3DRS_SCISSORTESTENABLE, 1);
    RwD3D9RenderStateFlushCache();
    ASSERT_EQ(DeviceState(D3DRS_SCISSORTESTENABLE), 1u);
    Rw::SavedRenderStates saved;
    saved.Restore();
    EXPECT_EQ(DeviceState(D3DRS_SCISSORTESTENABLE), 0u) << "at once, before any draw";
    RwD3D9SetRenderState(D3DRS_SCISSORTESTENABLE, 1);
    RwD3D9RenderStateFlushCache();
    EXPECT_EQ(DeviceState(D3DRS_SCISSORTESTENABLE), 1u) << "a later set reaches the device again";
}

TEST_F(EngineHostDevice, RestoreSendsOnlyTheFlaggedStates) {
    RwD3D9SetRenderState(D3DRS_FOGSTART, 3);
    RwD3D9SetSamplerState(2, D3DSAMP_MAXANISOTROPY, 1);
    RwD3D9RenderStateFlushCache();
    Rw::SavedRenderStates saved;
    saved.SetRenderState(D3DRS_FOGSTART, 4);
    saved.SetSamplerState(2, D3DSAMP_MAXANISOTROPY, 8);
    RwD3D9RenderStateFlushCache();
    D3D9::SetCallLogging(RwD3D9Device, true);
    D3D9::TakeCallLog(RwD3D9Device);
    saved.Restore();
    RwD3D9RenderStateFlushCache();
    std::vector<std::string> log = D3D9::TakeCallLog(RwD3D9Device);
    D3D9::SetCallLogging(RwD3D9Device, false);
    // The scissor test goes straight to the device first; the cache sends queued render states at its flush.
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), DeviceCalls::RenderState(D3DRS_SCISSORTESTENABLE, FALSE));
    std::sort(log.begin() + 1, log.end());
    const std::vector<std::string> expected = {DeviceCalls::RenderState(D3DRS_SCISSORTESTENABLE, FALSE),
                                               DeviceCalls::RenderState(D3DRS_FOGSTART, 3),
                                               DeviceCalls::SamplerState(2, D3DSAMP_MAXANISOTROPY, 1)};
    EXPECT_EQ(log, expected);
}

// States nobody has set since the start are unknown to the engine's cache; a saved record puts back the
// device's own value for them, never the cache's 0xFFFFFFFF marker.
TEST_F(EngineHostDevice, RestoringAStateTheCacheNeverKnewPutsBackTheDevicesValue) {
    RwUInt32 cached = 0;
    RwD3D9GetRenderState(D3DRS_POINTSIZE_MAX, &cached);
    ASSERT_EQ(cached, rwD3D9UnknownValue) << "pick a render state the engine leaves alone";
    RwD3D9GetTextureStageState(2, D3DTSS_BUMPENVLOFFSET, &cached);
    ASSERT_EQ(cached, rwD3D9UnknownValue);
    RwD3D9GetSamplerState(3, D3DSAMP_MAXMIPLEVEL, &cached);
    ASSERT_EQ(cached, rwD3D9UnknownValue);
    DWORD render = 0, stage = 0, sampler = 0;
    Rw::Direct3DDevice->GetRenderState(D3DRS_POINTSIZE_MAX, &render);
    Rw::Direct3DDevice->GetTextureStageState(2, D3DTSS_BUMPENVLOFFSET, &stage);
    Rw::Direct3DDevice->GetSamplerState(3, D3DSAMP_MAXMIPLEVEL, &sampler);

    Rw::SavedRenderStates saved;
    saved.SetRenderState(D3DRS_POINTSIZE_MAX, 0x3F800000);
    saved.SetTextureStageState(2, D3DTSS_BUMPENVLOFFSET, 0x3F000000);
    saved.SetSamplerState(3, D3DSAMP_MAXMIPLEVEL, 2);
    RwD3D9RenderStateFlushCache();
    saved.Restore();
    RwD3D9RenderStateFlushCache();

    DWORD value = 0;
    Rw::Direct3DDevice->GetRenderState(D3DRS_POINTSIZE_MAX, &value);
    EXPECT_EQ(value, render);
    Rw::Direct3DDevice->GetTextureStageState(2, D3DTSS_BUMPENVLOFFSET, &value);
    EXPECT_EQ(value, stage);
    Rw::Direct3DDevice->GetSamplerState(3, D3DSAMP_MAXMIPLEVEL, &value);
    EXPECT_EQ(value, sampler);
}

// A real 0xFFFFFFFF still queued in the cache is the value in force, not an unknown one.
TEST_F(EngineHostDevice, AQueuedAllOnesValueIsTheValueInForce) {
    RwD3D9SetRenderState(D3DRS_TEXTUREFACTOR, 0x01020304);
    RwD3D9RenderStateFlushCache();
    RwD3D9SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
    EXPECT_EQ(Rw::RenderStateInForce(D3DRS_TEXTUREFACTOR), 0xFFFFFFFFu);
}
