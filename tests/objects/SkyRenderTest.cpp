// The sample sky drawn offscreen on the Direct3D 9 driver from fixed cameras: the dome's gradient and the
// sun's glow and sprite read back from the frame, the stars only high up, and the fog left for the rest of
// the frame. The ground view is written for a look (SkyView.png).
#include "objects/Clouds.h"
#include "tests/support/GlDriver.h"
#include "objects/Sky.h"

#include "platform/win32/SdlWindow.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/driver/d3d9/d3d9rendst.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/nulldevice.h"
#include "rwsdk/tool/png/rtpng.h"

#include <SDL.h>
#include <d3d9.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

namespace {

class SkyRender : public ::testing::Test {
protected:
    static constexpr int Width = 320, Height = 240;

    void SetUp() override {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        window = SDL_CreateWindow("sky", 0, 0, Width, Height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        ASSERT_NE(window, nullptr);
        hwnd = Win32::AttachSdlWindow(window);
        ASSERT_TRUE(RwEngineSetDriver(RwD3D9DeviceRecordGet, RwD3D9RasterPluginAttach));
        ASSERT_TRUE(RwEngineInit(nullptr, 0, 0));
        RwEngineOpenParams params = {hwnd};
        ASSERT_TRUE(RwEngineOpen(&params));
        ASSERT_TRUE(RwEngineSetVideoMode(0));
        ASSERT_TRUE(RwEngineStart());
        TestSupport::PinGlDriver();
        frame = RwFrameCreate();
        camera = RwCameraCreate();
        RwCameraSetFrame(camera, frame);
        colour = RwRasterCreate(Width, Height, 0, rwRASTERTYPECAMERA);
        depth = RwRasterCreate(Width, Height, 0, rwRASTERTYPEZBUFFER);
        RwCameraSetRaster(camera, colour);
        RwCameraSetZRaster(camera, depth);
        RwCameraSetNearClipPlane(camera, 5);
        RwCameraSetFarClipPlane(camera, 30000);
        const RwV2d window{0.6f, 0.45f};
        RwCameraSetViewWindow(camera, &window);

        previous = std::filesystem::current_path();
        std::filesystem::current_path(std::string(CORVANE_BINARY_DIR) + "/data");
        RwImageRegisterImageFormat("png", RtPNGImageRead, RtPNGImageWrite);
        RwImageSetPath("Data/Textures/");
        Base::Info info;
        ASSERT_EQ(info.LoadFile("Data/Sky1.info"), 0);
        sky = std::make_unique<Obj::Sky>();
        ASSERT_TRUE(sky->Load(info)) << sky->Error();
    }

    void TearDown() override {
        sky.reset();
        std::filesystem::current_path(previous);
        RwCameraSetRaster(camera, nullptr);
        RwCameraSetZRaster(camera, nullptr);
        RwCameraSetFrame(camera, nullptr);
        RwCameraDestroy(camera);
        RwFrameDestroy(frame);
        RwRasterDestroy(colour);
        RwRasterDestroy(depth);
        RwEngineStop();
        RwEngineClose();
        RwEngineTerm();
        RwEngineSetDriver(RwNullDeviceRecordGet, RwNullDeviceAttach);
        Win32::DetachSdlWindow(hwnd);
        SDL_DestroyWindow(window);
    }

    // The camera at position, looking along at (made unit), level right vector.
    void Place(RwV3d position, RwV3d at) {
        const float l = std::sqrt(at.x * at.x + at.y * at.y + at.z * at.z);
        at = {at.x / l, at.y / l, at.z / l};
        RwV3d right{at.z, 0, -at.x};
        const float r = std::sqrt(right.x * right.x + right.z * right.z);
        right = {right.x / r, 0, right.z / r};
        const RwV3d up{at.y * right.z - at.z * right.y, at.z * right.x - at.x * right.z,
                       at.x * right.y - at.y * right.x};
        RwMatrix* m = RwFrameGetMatrix(frame);
        m->right = right;
        m->up = up;
        m->at = at;
        m->pos = position;
        RwMatrixUpdate(m);
        RwFrameUpdateObjects(frame);
    }

    std::vector<uint32_t> Draw(Obj::Clouds* clouds = nullptr) {
        RwCameraBeginUpdate(camera);
        RwRGBA clear = {255, 0, 255, 255};
        RwCameraClear(camera, &clear, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        EXPECT_TRUE(sky->Render(camera));
        if (clouds) {
            particlesDrawn = clouds->Render(camera);
            RwD3D9GetRenderState(D3DRS_ALPHATESTENABLE, &alphaTest);
        }
        RwD3D9GetRenderState(D3DRS_ZENABLE, &zEnable);
        RwD3D9GetRenderState(D3DRS_FOGENABLE, &fogEnable);
        RwD3D9GetRenderState(D3DRS_FOGCOLOR, &fogColour);
        RwD3D9GetRenderState(D3DRS_FOGDENSITY, &fogDensity);
        RwCameraEndUpdate(camera);
        IDirect3DSurface9* source = nullptr;
        RwD3D9Device->GetRenderTarget(0, &source);
        D3DSURFACE_DESC desc{};
        source->GetDesc(&desc);
        IDirect3DSurface9* copy = nullptr;
        RwD3D9Device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM,
                                                  &copy, nullptr);
        RwD3D9Device->GetRenderTargetData(source, copy);
        D3DLOCKED_RECT locked{};
        copy->LockRect(&locked, nullptr, D3DLOCK_READONLY);
        std::vector<uint32_t> pixels;
        for (unsigned y = 0; y < desc.Height; ++y) {
            auto* row =
                reinterpret_cast<const uint32_t*>(static_cast<const char*>(locked.pBits) + y * locked.Pitch);
            pixels.insert(pixels.end(), row, row + desc.Width);
        }
        copy->UnlockRect();
        copy->Release();
        source->Release();
        return pixels;
    }

    void Save(const std::vector<uint32_t>& pixels, const char* name) {
        RwImage* image = RwImageCreate(Width, Height, 32);
        RwImageAllocatePixels(image);
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x) {
                const uint32_t c = pixels[size_t(y) * Width + size_t(x)];
                RwUInt8* p = image->pixels + y * image->stride + x * 4;
                p[0] = RwUInt8(c >> 16), p[1] = RwUInt8(c >> 8), p[2] = RwUInt8(c), p[3] = 255;
            }
        RtPNGImageWrite(image, (previous / name).c_str());
        RwImageDestroy(image);
    }

    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    RwFrame* frame = nullptr;
    RwCamera* camera = nullptr;
    RwRaster *colour = nullptr, *depth = nullptr;
    std::filesystem::path previous;
    std::unique_ptr<Obj::Sky> sky;
    uint32_t particlesDrawn = 0;
    RwUInt32 alphaTest = 0;
    RwUInt32 zEnable = 0, fogEnable = 0, fogColour = 0, fogDensity = 0;
};

int Blue(uint32_t p) {
    return int(p & 0xff);
}
int Red(uint32_t p) {
    return int((p >> 16) & 0xff);
}

TEST_F(SkyRender, DomeGradientSunAndFogFromTheGround) {
    // At 100 units, looking up at 20 degrees towards the sun's azimuth.
    const Base::Vector3 sun = sky->Elements()[0].GetDirection();
    Place({0, 100, 0}, {sun.x, 0.36f, sun.z});
    const std::vector<uint32_t> pixels = Draw();
    Save(pixels, "SkyView.png");

    // Every pixel is sky: the dome covers the whole view, nothing of the clear colour is left.
    for (uint32_t p : pixels)
        ASSERT_FALSE(Red(p) == 255 && ((p >> 8) & 0xff) == 0 && Blue(p) == 255);
    // Away from the sun the top of the view is deeper blue than the bottom, which nears the horizon.
    const uint32_t top = pixels[10 * Width + 5], bottom = pixels[(Height - 5) * Width + 5];
    EXPECT_LT(Red(top), Red(bottom));
    // The sun is drawn near the centre (its elevation is 35, the view looks up at 20 degrees): bright.
    int bright = 0;
    for (int y = 0; y < Height / 2; ++y)
        for (int x = Width / 3; x < 2 * Width / 3; ++x)
            bright += Red(pixels[size_t(y) * Width + size_t(x)]) > 250 &&
                      Blue(pixels[size_t(y) * Width + size_t(x)]) > 200;
    EXPECT_GT(bright, 20);
    // The dome's states are put back; the fog stays on for the rest of the frame.
    EXPECT_EQ(zEnable, RwUInt32(D3DZB_TRUE));
    EXPECT_EQ(fogEnable, RwUInt32(TRUE));
    EXPECT_EQ(fogColour, sky->FogColor({sun.x, 0.36f, sun.z}, 100));
    float density;
    std::memcpy(&density, &fogDensity, sizeof density);
    EXPECT_FLOAT_EQ(density, 2.0f / 12000);
    EXPECT_FALSE(sky->LastDrewStars());
    EXPECT_EQ(sky->LastVisibleBands(), 9u); // ceil(asin(100 / 11880) + pi / 2) / (pi / 16))
}

TEST_F(SkyRender, StarsAndAllBandsHighUp) {
    Place({0, 30000, 0}, {0, 1, 0.2f});
    const std::vector<uint32_t> pixels = Draw();
    EXPECT_TRUE(sky->LastDrewStars());
    EXPECT_EQ(sky->LastVisibleBands(), 16u);
    // Some stars stand out as lighter points on the dark zenith.
    int points = 0;
    for (uint32_t p : pixels)
        points += Red(p) > 150 && Blue(p) > 150;
    EXPECT_GT(points, 0);
}

TEST_F(SkyRender, CloudsUnderTheSky) {
    Base::Info info;
    ASSERT_EQ(info.LoadFile("Data/Clouds1.info"), 0);
    Obj::Clouds clouds;
    ASSERT_TRUE(clouds.Load(info, 4)) << clouds.Error();
    // Below the layer, looking up and ahead: particles drawn in one call, the states put back.
    Place({0, 1200, 0}, {0.3f, 0.25f, 1});
    std::vector<uint32_t> pixels = Draw(&clouds);
    Save(pixels, "SkyCloudsView.png");
    EXPECT_GT(particlesDrawn, 0u);
    EXPECT_NE(clouds.VertexBuffer(), nullptr);
    EXPECT_EQ(alphaTest, RwUInt32(FALSE));
    // Whitish cloud pixels stand out from the blue dome.
    int white = 0;
    for (uint32_t p : pixels)
        white += Red(p) > 190 && Blue(p) > 190 && std::abs(Red(p) - Blue(p)) < 40;
    EXPECT_GT(white, 100);
}

TEST_F(SkyRender, NoParticlesNoBuffer) {
    Base::Info info;
    ASSERT_EQ(info.LoadFile("Data/Clouds1.info"), 0);
    info.GetChildForWrite("Density")->SetValue("0");
    Obj::Clouds clouds;
    ASSERT_TRUE(clouds.Load(info, 4));
    Place({0, 1200, 0}, {0.3f, 0.25f, 1});
    Draw(&clouds);
    EXPECT_EQ(particlesDrawn, 0u);
    EXPECT_EQ(clouds.VertexBuffer(), nullptr);
}

} // namespace
