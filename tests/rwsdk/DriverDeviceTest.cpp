// Video modes, presentation parameters, device resets after a lost device and after a window resize.
#include "DriverFixture.h"
#include "tests/support/DeviceCalls.h"

#include "rwsdk/driver/d3d9/d3d9camera.h"
#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/driver/d3d9/d3d9rendst.h"

namespace {

int restoreCalls = 0;
void CountRestore() {
    ++restoreCalls;
}

} // namespace

TEST_F(DriverTest, WindowedPresentationParameters) {
    const D3DPRESENT_PARAMETERS& p = rwD3D9State.present;
    EXPECT_TRUE(p.Windowed);
    EXPECT_EQ(p.BackBufferCount, 1u);
    EXPECT_EQ(p.FullScreen_RefreshRateInHz, 0u);
    EXPECT_EQ(p.PresentationInterval, UINT(D3DPRESENT_INTERVAL_IMMEDIATE));
    EXPECT_EQ(p.SwapEffect, D3DSWAPEFFECT_COPY);
    // Asked for as 0 (the client area), and filled in by the device.
    EXPECT_EQ(p.BackBufferWidth, RwUInt32(Width));
    EXPECT_EQ(p.BackBufferHeight, RwUInt32(Height));
    // The desktop is X8R8G8B8, and the device takes A8R8G8B8 for it.
    EXPECT_EQ(p.BackBufferFormat, D3DFMT_A8R8G8B8);
    EXPECT_TRUE(p.EnableAutoDepthStencil);
    EXPECT_EQ(p.AutoDepthStencilFormat, D3DFMT_D24S8);
    EXPECT_TRUE(rwD3D9State.stencil);
    EXPECT_EQ(p.MultiSampleType, D3DMULTISAMPLE_NONE);
    EXPECT_EQ(p.hDeviceWindow, hwnd);
    EXPECT_EQ(p.Flags, 0u);
    EXPECT_EQ(rwD3D9State.currentMode.width, RwUInt32(Width));
    EXPECT_EQ(rwD3D9State.currentMode.height, RwUInt32(Height));
}

TEST_F(DriverTest, VideoModesListTheDesktopFirstAndEachSizeOnce) {
    const RwInt32 count = RwEngineGetNumVideoModes();
    ASSERT_GT(count, 1);
    RwVideoMode mode{};
    ASSERT_NE(RwEngineGetVideoModeInfo(&mode, 0), nullptr);
    EXPECT_EQ(mode.flags, 0u);
    EXPECT_EQ(mode.depth, 32);
    EXPECT_EQ(mode.format, 0x600);
    std::vector<std::tuple<int, int, int>> seen;
    for (RwInt32 i = 1; i < count; ++i) {
        ASSERT_NE(RwEngineGetVideoModeInfo(&mode, i), nullptr);
        EXPECT_EQ(mode.flags, 1u);
        EXPECT_TRUE(mode.depth == 16 || mode.depth == 32);
        EXPECT_EQ(mode.format, mode.depth == 16 ? 0x200 : 0x600);
        auto key = std::make_tuple(mode.width, mode.height, mode.depth);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), key), 0);
        seen.push_back(key);
    }
    EXPECT_EQ(RwEngineGetVideoModeInfo(&mode, count), nullptr);
    EXPECT_FALSE(RwEngineSetVideoMode(1)) << "refused while started";
    EXPECT_EQ(RwEngineGetCurrentVideoMode(), 0);
}

class FullScreenDriverTest : public DriverTest {
protected:
    RwInt32 VideoMode() const override {
        RwVideoMode mode{};
        for (RwInt32 i = 0; i < RwEngineGetNumVideoModes(); ++i) {
            if (RwEngineGetVideoModeInfo(&mode, i) && mode.flags == 1 && mode.width == 640 &&
                mode.height == 480 && mode.depth == 32)
                return i;
        }
        return -1;
    }
};

TEST_F(FullScreenDriverTest, FullScreenPresentationParameters) {
    const D3DPRESENT_PARAMETERS& p = rwD3D9State.present;
    EXPECT_FALSE(p.Windowed);
    EXPECT_EQ(p.BackBufferWidth, 640u);
    EXPECT_EQ(p.BackBufferHeight, 480u);
    EXPECT_EQ(p.SwapEffect, D3DSWAPEFFECT_FLIP);
    EXPECT_EQ(p.FullScreen_RefreshRateInHz, 60u);
    EXPECT_EQ(p.BackBufferFormat, D3DFMT_A8R8G8B8);
    EXPECT_EQ(p.PresentationInterval, UINT(D3DPRESENT_INTERVAL_IMMEDIATE));
    // One size in force: the current mode, the back buffer and the client area, before and after a frame
    // (which follows the client area).
    for (int frameDone = 0; frameDone < 2; ++frameDone) {
        EXPECT_EQ(rwD3D9State.currentMode.width, 640u) << frameDone;
        EXPECT_EQ(rwD3D9State.currentMode.height, 480u) << frameDone;
        EXPECT_EQ(rwD3D9State.present.BackBufferWidth, 640u) << frameDone;
        RECT client{};
        ASSERT_TRUE(GetClientRect(hwnd, &client));
        EXPECT_EQ(client.right, 640) << frameDone;
        EXPECT_EQ(client.bottom, 480) << frameDone;
        ASSERT_NE(RwCameraBeginUpdate(camera), nullptr);
        RwCameraEndUpdate(camera);
        RwCameraShowRaster(camera, hwnd, 0);
    }
}

TEST_F(DriverTest, RefreshRateLimitFallsToARateTheAdapterHas) {
    RwD3D9EngineSetRefreshRate(60);
    EXPECT_EQ(rwD3D9State.refreshRateLimit, 60u);
    RwD3D9EngineSetRefreshRate(50);
    EXPECT_EQ(rwD3D9State.refreshRateLimit, 0u) << "no mode at or below 50 Hz: the adapter's default";
    RwD3D9EngineSetRefreshRate(85);
    EXPECT_EQ(rwD3D9State.refreshRateLimit, 60u);
    RwD3D9EngineSetRefreshRate(0xFFFFFFFF);
}

TEST_F(DriverTest, LostDeviceIsResetWithStatesSentAgainAndTheCallbackCalled) {
    restoreCalls = 0;
    RwD3D9SetDeviceRestoreCallback(CountRestore);
    RwD3D9SetRenderState(D3DRS_TEXTUREFACTOR, 0x11223344);
    RwD3D9RenderStateFlushCache();
    ASSERT_TRUE(RwCameraBeginUpdate(camera));
    RwCameraEndUpdate(camera);
    RwCameraShowRaster(camera, hwnd, 0);

    D3D9::LoseDevice(RwD3D9Device);
    StartLog();
    const RwUInt32 resets = RwD3D9GetResetCount();
    ASSERT_TRUE(RwCameraBeginUpdate(camera)) << "the reset succeeds once every default-pool object is gone";
    auto log = Log();
    EXPECT_EQ(Count(log, "Reset"), 1u);
    EXPECT_EQ(RwD3D9GetResetCount(), resets + 1);
    EXPECT_EQ(restoreCalls, 1);
    EXPECT_GE(Find(log, DeviceCalls::RenderState(D3DRS_ZENABLE, TRUE)), 0) << "z enable sent again";
    EXPECT_GE(Find(log, DeviceCalls::RenderState(D3DRS_AMBIENT, 0xFFFFFFFF)), 0) << "ambient sent again";
    EXPECT_GE(Find(log, DeviceCalls::SamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP)), 0)
        << "stage records sent again";
    EXPECT_LT(Find(log, "Reset"), Find(log, DeviceCalls::RenderState(D3DRS_ZENABLE, TRUE)));
    EXPECT_EQ(Find(log, DeviceCalls::RenderState(D3DRS_TEXTUREFACTOR, 0x11223344)), -1)
        << "a game state is not sent again";
    RwUInt32 factor = 0;
    RwD3D9GetRenderState(D3DRS_TEXTUREFACTOR, &factor);
    EXPECT_EQ(factor, rwD3D9UnknownValue);
    RwCameraEndUpdate(camera);
    RwD3D9SetDeviceRestoreCallback(nullptr);

    // Drawing goes on after the reset.
    RwRGBA blue = {0, 0, 255, 255};
    EXPECT_TRUE(RwCameraClear(camera, &blue, rwCAMERACLEARIMAGE | rwCAMERACLEARZ));
}

TEST_F(DriverTest, WindowResizeResetsTheDeviceOnce) {
    ASSERT_TRUE(RwCameraBeginUpdate(camera));
    RwCameraEndUpdate(camera);
    RwCameraShowRaster(camera, hwnd, 0);
    const RwUInt32 resets = RwD3D9GetResetCount();
    SDL_SetWindowSize(window, 80, 60);
    StartLog();
    ASSERT_TRUE(RwCameraBeginUpdate(camera));
    RwCameraEndUpdate(camera);
    RwCameraShowRaster(camera, hwnd, 0);
    ASSERT_TRUE(RwCameraBeginUpdate(camera));
    RwCameraEndUpdate(camera);
    RwCameraShowRaster(camera, hwnd, 0);
    EXPECT_EQ(RwD3D9GetResetCount(), resets + 1);
    EXPECT_EQ(Count(Log(), "Reset"), 1u);
    EXPECT_EQ(rwD3D9State.present.BackBufferWidth, 80u);
    EXPECT_EQ(rwD3D9State.present.BackBufferHeight, 60u);
    EXPECT_EQ(rwD3D9State.currentMode.width, 80u);
    unsigned w = 0, h = 0;
    ReadBackBuffer(w, h);
    EXPECT_EQ(w, 80u);
    EXPECT_EQ(h, 60u);
}

TEST_F(DriverTest, ClearFlagsFollowTheDepthFormat) {
    StartLog();
    RwRGBA red = {255, 0, 0, 128};
    ASSERT_TRUE(RwCameraClear(camera, &red, rwCAMERACLEARIMAGE | rwCAMERACLEARZ));
    // D24S8 has stencil, so clearing z clears the stencil too.
    EXPECT_GE(Find(Log(), "Clear(0, 0x7, 0x80FF0000)"), 0);
    rwD3D9State.stencil = FALSE;
    ASSERT_TRUE(RwCameraClear(camera, &red, 7));
    EXPECT_GE(Find(Log(), "Clear(0, 0x3, 0x80FF0000)"), 0);
    rwD3D9State.stencil = TRUE;
}

TEST_F(DriverTest, CameraRasterMustFitTheClientArea) {
    RwRaster* fits = RwRasterCreate(Width, Height, 0, rwRASTERTYPECAMERA);
    ASSERT_NE(fits, nullptr);
    EXPECT_EQ(fits->cFlags, rwRASTERDONTALLOCATE);
    EXPECT_EQ(fits->depth, 32);
    RwRasterDestroy(fits);
    EXPECT_EQ(RwRasterCreate(Width + 1, Height, 0, rwRASTERTYPECAMERA), nullptr);
    RwError error{};
    RwErrorGet(&error);
    EXPECT_EQ(error.errorCode, 2);

    // The z buffer of the client's size is the device's own depth surface.
    EXPECT_EQ(RwD3D9RasterExtension(depth)->texture, rwD3D9State.defaultDepthStencil);
    RwRaster* small = RwRasterCreate(16, 16, 0, rwRASTERTYPEZBUFFER);
    ASSERT_NE(small, nullptr);
    EXPECT_NE(RwD3D9RasterExtension(small)->texture, nullptr);
    EXPECT_NE(RwD3D9RasterExtension(small)->texture, rwD3D9State.defaultDepthStencil);
    RwRasterDestroy(small);

    RwRaster* empty = RwRasterCreate(0, 16, 0, rwRASTERTYPETEXTURE);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->cFlags, rwRASTERDONTALLOCATE);
    RwRasterDestroy(empty);
    EXPECT_EQ(
        RwRasterCreate(16, 16, 0, RwInt32(rwRASTERTYPETEXTURE) | rwRASTERFORMAT565 | rwRASTERFORMATPAL8),
        nullptr)
        << "a palettised 565 texture";
}

TEST_F(DriverTest, SubRasterOfASubRasterPointsAtTheTop) {
    RwRaster* a = RwRasterCreate(0, 0, 0, rwRASTERTYPECAMERA | rwRASTERDONTALLOCATE);
    RwRaster* b = RwRasterCreate(0, 0, 0, rwRASTERTYPECAMERA | rwRASTERDONTALLOCATE);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    RwRect ra = {10, 5, 40, 30};
    RwRect rb = {3, 4, 20, 10};
    ASSERT_NE(RwRasterSubRaster(a, colour, &ra), nullptr);
    ASSERT_NE(RwRasterSubRaster(b, a, &rb), nullptr);
    EXPECT_EQ(b->parentRaster, colour);
    EXPECT_EQ(b->nOffsetX, 13);
    EXPECT_EQ(b->nOffsetY, 9);
    RwRaster* texture = RwRasterCreate(16, 16, 0, rwRASTERTYPETEXTURE);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(RwRasterSubRaster(texture, a, &rb), nullptr) << "a raster that owns its pixels";
    RwRasterDestroy(texture);
    EXPECT_EQ(RwRasterGetNumLevels(colour), 1);
    RwRasterDestroy(b);
    RwRasterDestroy(a);
}

TEST_F(DriverTest, ChangingVerticalSyncResetsTheDeviceOnce) {
    const RwUInt32 resets = RwD3D9GetResetCount();
    for (int frame = 0; frame < 3; ++frame) {
        ASSERT_TRUE(RwCameraBeginUpdate(camera));
        RwCameraEndUpdate(camera);
        EXPECT_TRUE(RwCameraShowRaster(camera, hwnd, 1));
    }
    EXPECT_EQ(RwD3D9GetResetCount(), resets + 1);
    EXPECT_EQ(rwD3D9State.present.PresentationInterval, UINT(D3DPRESENT_INTERVAL_ONE));
}

TEST_F(DriverTest, TwoCamerasInOneFrameOpenOneScene) {
    RwCamera* second = RwCameraCreate();
    RwFrame* secondFrame = RwFrameCreate();
    RwCameraSetFrame(second, secondFrame);
    RwCameraSetRaster(second, colour);
    RwCameraSetZRaster(second, depth);
    StartLog();
    ASSERT_TRUE(RwCameraBeginUpdate(camera));
    RwCameraEndUpdate(camera);
    ASSERT_TRUE(RwCameraBeginUpdate(second));
    RwCameraEndUpdate(second);
    RwCameraShowRaster(camera, hwnd, 0);
    auto log = Log();
    EXPECT_EQ(Count(log, "BeginScene"), 1u);
    EXPECT_EQ(Count(log, "EndScene"), 1u);
    EXPECT_LT(Find(log, "EndScene"), Find(log, "Present"));
    RwCameraSetRaster(second, nullptr);
    RwCameraSetZRaster(second, nullptr);
    RwCameraSetFrame(second, nullptr);
    RwCameraDestroy(second);
    RwFrameDestroy(secondFrame);
}

class LimitedFullScreenDriverTest : public FullScreenDriverTest {
protected:
    void SetUp() override {
        // The limit is set before the start, as the engine host does.
        rwD3D9State.refreshRateLimit = 50;
        FullScreenDriverTest::SetUp();
    }
    void TearDown() override {
        FullScreenDriverTest::TearDown();
        rwD3D9State.refreshRateLimit = 0xFFFFFFFF;
    }
};

TEST_F(LimitedFullScreenDriverTest, AModeAboveTheLimitIsCreatedAtTheLimit) {
    EXPECT_EQ(rwD3D9State.present.FullScreen_RefreshRateInHz, 50u);
}
