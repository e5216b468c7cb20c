// A camera drawn into a second window needs an additional swap chain; without one it stays as it was.
#include "DriverFixture.h"

#include "rwsdk/driver/d3d9/d3d9camera.h"

TEST_F(DriverTest, CameraWindowIsRefusedCleanlyWithoutASwapChain) {
    EXPECT_FALSE(RwD3D9CameraSetWindow(camera, hwnd)) << "the device's own window";
    EXPECT_FALSE(RwD3D9CameraSetWindow(camera, nullptr));
    SDL_Window* other = SDL_CreateWindow("other", 0, 0, 32, 32, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    ASSERT_NE(other, nullptr) << SDL_GetError();
    HWND otherWindow = Win32::AttachSdlWindow(other);
    EXPECT_FALSE(RwD3D9CameraSetWindow(camera, otherWindow));
    EXPECT_EQ(camera->frameBuffer, colour);
    EXPECT_EQ(camera->zBuffer, depth);
    // The camera still draws into the device's window.
    ASSERT_TRUE(RwCameraBeginUpdate(camera));
    RwCameraEndUpdate(camera);
    Win32::DetachSdlWindow(otherWindow);
    SDL_DestroyWindow(other);
}
