// A camera drawn into a second window: an additional swap chain behind new camera and z rasters, which
// follow the window's size and survive a device reset.
#include "DriverFixture.h"

#include "rwsdk/driver/d3d9/d3d9camera.h"

namespace {

class CameraWindowTest : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        other = SDL_CreateWindow("other", 0, 0, 40, 24, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        ASSERT_NE(other, nullptr) << SDL_GetError();
        otherWindow = Win32::AttachSdlWindow(other);
    }
    void TearDown() override {
        // The fixture destroys the camera's rasters, whichever they are now.
        if (camera) {
            colour = camera->frameBuffer;
            depth = camera->zBuffer;
        }
        DriverTest::TearDown();
        Win32::DetachSdlWindow(otherWindow);
        SDL_DestroyWindow(other);
    }
    // Clears the camera in a colour and reads back what it drew into.
    std::vector<uint32_t> ClearAndRead(RwRGBA colourOfClear, unsigned& width, unsigned& height) {
        EXPECT_TRUE(RwCameraBeginUpdate(camera));
        EXPECT_TRUE(RwCameraClear(camera, &colourOfClear, rwCAMERACLEARIMAGE | rwCAMERACLEARZ));
        auto pixels = ReadBackBuffer(width, height);
        RwCameraEndUpdate(camera);
        return pixels;
    }
    IDirect3DSwapChain9* Chain() const { return RwD3D9RasterExtension(camera->frameBuffer)->swapChain; }

    SDL_Window* other = nullptr;
    HWND otherWindow = nullptr;
};

} // namespace

TEST_F(CameraWindowTest, CameraDrawsIntoItsOwnWindowsSwapChain) {
    EXPECT_FALSE(RwD3D9CameraSetWindow(camera, hwnd)) << "the device's own window";
    EXPECT_FALSE(RwD3D9CameraSetWindow(camera, nullptr));
    ASSERT_TRUE(RwD3D9CameraSetWindow(camera, otherWindow));
    colour = depth = nullptr; // destroyed by the switch
    ASSERT_NE(Chain(), nullptr);
    EXPECT_EQ(camera->frameBuffer->width, 40);
    EXPECT_EQ(camera->frameBuffer->height, 24);
    ASSERT_NE(camera->zBuffer, nullptr);
    EXPECT_EQ(camera->zBuffer->width, 40);

    unsigned w = 0, h = 0;
    auto pixels = ClearAndRead({255, 0, 0, 255}, w, h);
    EXPECT_EQ(w, 40u);
    EXPECT_EQ(h, 24u);
    EXPECT_EQ(pixels[size_t(23) * 40 + 39] | 0xFF000000u, 0xFFFF0000u);
    StartLog();
    EXPECT_TRUE(RwRasterShowRaster(camera->frameBuffer, nullptr, 0));
    EXPECT_GE(Find(Log(), "Present(swap chain)"), 0);
}

TEST_F(CameraWindowTest, ADeviceResetReleasesAndRemakesTheSwapChain) {
    ASSERT_TRUE(RwD3D9CameraSetWindow(camera, otherWindow));
    colour = depth = nullptr;
    unsigned w = 0, h = 0;
    ClearAndRead({255, 0, 0, 255}, w, h);
    const RwUInt32 resets = RwD3D9GetResetCount();
    // Asking for vertical sync resets the device: the chain must go first (a reset is refused while one
    // lives), and a new one is made for the window afterwards.
    ASSERT_TRUE(RwRasterShowRaster(camera->frameBuffer, nullptr, 1));
    EXPECT_EQ(RwD3D9GetResetCount(), resets + 1);
    EXPECT_EQ(RwD3D9Device->TestCooperativeLevel(), D3D_OK);
    ASSERT_NE(Chain(), nullptr);
    auto pixels = ClearAndRead({0, 255, 0, 255}, w, h);
    EXPECT_EQ(w, 40u);
    EXPECT_EQ(pixels[0] | 0xFF000000u, 0xFF00FF00u);
    EXPECT_TRUE(RwRasterShowRaster(camera->frameBuffer, nullptr, 1));
}

TEST_F(CameraWindowTest, TheCameraFollowsItsWindowsSize) {
    ASSERT_TRUE(RwD3D9CameraSetWindow(camera, otherWindow));
    colour = depth = nullptr;
    SDL_SetWindowSize(other, 50, 30);
    unsigned w = 0, h = 0;
    auto pixels = ClearAndRead({0, 0, 255, 255}, w, h);
    EXPECT_EQ(w, 50u);
    EXPECT_EQ(h, 30u);
    EXPECT_EQ(camera->frameBuffer->width, 50);
    EXPECT_EQ(camera->zBuffer->height, 30);
    EXPECT_EQ(pixels.back() | 0xFF000000u, 0xFF0000FFu);
}
