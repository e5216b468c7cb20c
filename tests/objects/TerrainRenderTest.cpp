// The sample terrain drawn offscreen on the Direct3D 9 driver from a fixed camera, with its slice textures
// streamed in the background; the image is checked tolerantly and written for a look (TerrainView.png).
#include "objects/Terrain.h"
#include "tests/support/GlDriver.h"

#include "base/AsyncLoader.h"
#include "base/StreamedTextureCache.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/driver/d3d9/d3d9rwrendst.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/nulldevice.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/tool/png/rtpng.h"
#include "scene/StreamedTexture.h"

#include <SDL.h>
#include <dlfcn.h>
#include <d3d9.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <filesystem>
#include <thread>

namespace {

class TerrainRender : public ::testing::Test {
protected:
    static constexpr int Width = 320, Height = 240;

    void SetUp() override {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        window = SDL_CreateWindow("terrain", 0, 0, Width, Height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
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
        const RwV2d window{0.5f, 0.375f};
        RwCameraSetViewWindow(camera, &window);

        previous = std::filesystem::current_path();
        std::filesystem::current_path(std::string(CORVANE_BINARY_DIR) + "/data");
        RwImageRegisterImageFormat("png", RtPNGImageRead, RtPNGImageWrite);
        RwImageSetPath("Data/Textures/");
        Rw::InstallStreamedTextures();
        Base::AsyncLoader::Start();
        Base::Info info;
        ASSERT_EQ(info.LoadFile("Data/Terrain1.info"), 0);
        terrain = std::make_unique<Obj::Terrain>();
        ASSERT_TRUE(terrain->Load(info)) << terrain->Error();
    }

    void TearDown() override {
        terrain.reset();
        Base::AsyncLoader::Stop();
        Base::StreamedTextureCache::Update();
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

    void Place(RwV3d position, RwV3d target) {
        RwV3d at{target.x - position.x, target.y - position.y, target.z - position.z};
        const float l = std::sqrt(at.x * at.x + at.y * at.y + at.z * at.z);
        at = {at.x / l, at.y / l, at.z / l};
        RwV3d right{at.z, 0, -at.x}; // up x at with up = (0, 1, 0)
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

    std::vector<uint32_t> Draw() {
        RwCameraBeginUpdate(camera);
        RwRGBA sky = {150, 185, 225, 255};
        RwCameraClear(camera, &sky, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        RwRenderStateSet(rwRENDERSTATEZTESTENABLE, reinterpret_cast<void*>(uintptr_t(1)));
        RwRenderStateSet(rwRENDERSTATEZWRITEENABLE, reinterpret_cast<void*>(uintptr_t(1)));
        terrain->Render(camera);
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

    bool AllTextured() const {
        for (const auto& entry : terrain->Grid().loaded) {
            const auto* e = static_cast<const Base::StreamedTextureCache::Entry*>(entry.slice->texture);
            if (entry.slice->land && (!e || !e->texture))
                return false;
        }
        return true;
    }

    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    RwFrame* frame = nullptr;
    RwCamera* camera = nullptr;
    RwRaster *colour = nullptr, *depth = nullptr;
    std::filesystem::path previous;
    std::unique_ptr<Obj::Terrain> terrain;
};

struct Rgb {
    int r, g, b;
};
Rgb Split(uint32_t p) {
    return {int((p >> 16) & 0xFF), int((p >> 8) & 0xFF), int(p & 0xFF)};
}

TEST_F(TerrainRender, SampleTerrainFromAFixedCamera) {
    // Over the land east of the coast, looking west-north-west over the first plateau towards the sea.
    Place({1500, 1800, 2500}, {-6000, 200, 5200});
    std::vector<uint32_t> pixels = Draw();
    EXPECT_GT(terrain->SlicesDrawn(), 0u);
    // The first frame draws before any texture has arrived: untextured, lit land.
    // Then the textures stream in; the frames go on until they are all there (bounded).
    const auto start = std::chrono::steady_clock::now();
    while (!AllTextured() && std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
        std::this_thread::yield();
        pixels = Draw();
    }
    ASSERT_TRUE(AllTextured());
    pixels = Draw();

    // A look: the frame as a PNG beside the test.
    RwImage* image = RwImageCreate(Width, Height, 32);
    RwImageAllocatePixels(image);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const Rgb c = Split(pixels[size_t(y) * Width + size_t(x)]);
            RwUInt8* p = image->pixels + y * image->stride + x * 4;
            p[0] = RwUInt8(c.r), p[1] = RwUInt8(c.g), p[2] = RwUInt8(c.b), p[3] = 255;
        }
    RtPNGImageWrite(image, (previous / "TerrainView.png").c_str());
    RwImageDestroy(image);

    // Tolerant: the top rows are sky, most of the lower half is ground coloured by the slices (green or
    // brown land, blue sea), not the clear colour and not untextured grey.
    int sky = 0, ground = 0, greenish = 0;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < Width; ++x) {
            const Rgb c = Split(pixels[size_t(y) * Width + size_t(x)]);
            sky += c.r == 150 && c.g == 185 && c.b == 225;
        }
    for (int y = Height / 2; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const Rgb c = Split(pixels[size_t(y) * Width + size_t(x)]);
            const bool clear = c.r == 150 && c.g == 185 && c.b == 225;
            ground += !clear;
            greenish += c.g > c.b && c.g >= c.r - 10;
        }
    EXPECT_GT(sky, Width * 8);
    EXPECT_GT(ground, Width * Height / 2 * 9 / 10);
    EXPECT_GT(greenish, Width * Height / 2 / 3);
}

// A loader that holds every read until let go.
std::atomic<bool> held{false};
bool HeldRead(const Base::String& name, uint32_t offset, uint32_t size, void* buffer) {
    while (held.load())
        std::this_thread::yield();
    return Base::AsyncLoader::ReadFileRange(name, offset, size, buffer);
}

TEST_F(TerrainRender, ASlowLoaderShowsTheFallbackTexture) {
    Place({1500, 300, 2500}, {-6000, 200, 5200});
    const auto start = std::chrono::steady_clock::now();
    do
        Draw();
    while (!AllTextured() && std::chrono::steady_clock::now() - start < std::chrono::seconds(20));
    ASSERT_TRUE(AllTextured());
    std::map<const Obj::Terrain::Slice*, uint8_t> levels;
    for (const auto& entry : terrain->Grid().loaded)
        levels[entry.slice.get()] = entry.slice->textureLevel;

    // Reads stall; the camera climbs, so nearby slices want coarser levels that cannot arrive.
    held = true;
    Base::AsyncLoader::ReadRange = HeldRead;
    Place({1500, 5000, 2500}, {-6000, 200, 5200});
    Draw();
    int waiting = 0;
    for (const auto& entry : terrain->Grid().loaded) {
        const auto found = levels.find(entry.slice.get());
        if (found == levels.end() || found->second == entry.slice->textureLevel || !entry.slice->land)
            continue;
        const auto* e = static_cast<const Base::StreamedTextureCache::Entry*>(entry.slice->texture);
        ASSERT_NE(e, nullptr);
        if (e->texture)
            continue; // this level was already loaded for another slice
        ++waiting;
        // Drawn meanwhile with the level it had.
        EXPECT_NE(Obj::Terrain::SliceTexture(*entry.slice), nullptr);
        EXPECT_EQ(Obj::Terrain::SliceTexture(*entry.slice), e->fallback ? e->fallback->texture : nullptr);
    }
    EXPECT_GT(waiting, 0);
    held = false;
    Base::AsyncLoader::ReadRange = Base::AsyncLoader::ReadFileRange;
}

} // namespace
