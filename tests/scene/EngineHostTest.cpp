// The engine host on a hidden window: finding video modes, starting and stopping, following a resize.
#include "scene/EngineHost.h"
#include "tests/support/GlDriver.h"

#include "platform/win32/SdlWindow.h"
#include "rwsdk/driver/d3d9/d3d9camera.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9rendst.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/texture.h"
#include "tests/support/TempDir.h"
#include "tests/support/HiddenWindow.h"

#include <SDL.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

class EngineHost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TestSupport::OpenHiddenWindow("host", 200, 150, window, hwnd));
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

RwUInt32 Requested(RwUInt32 state) {
    RwUInt32 value = 0;
    RwD3D9GetRenderState(state, &value);
    return value;
}

} // namespace

TEST_F(EngineHost, FindVideoModeOpensAndClosesTheEngineAroundItsSearch) {
    EXPECT_EQ(Rw::FindVideoMode(hwnd, 0, 0, 0, 32), 0) << "the windowed mode";
    EXPECT_EQ(Rw::FindVideoMode(hwnd, 0, 333, 222, 32), -1) << "a size the adapter lacks";
    const int mode = Rw::FindVideoMode(hwnd, 0, 640, 480, 16);
    EXPECT_GT(mode, 0);
    EXPECT_EQ(RwEngineGetStatus(), rwENGINESTATUSIDLE);
}

TEST_F(EngineHost, FindVideoModeWithoutAnEngineToOpenIsMinusOne) {
    // An engine initialised by someone else cannot be initialised again for the search.
    ASSERT_TRUE(RwEngineInit(nullptr, 0, 0));
    EXPECT_EQ(Rw::FindVideoMode(hwnd, 0, 0, 0, 32), -1);
    EXPECT_TRUE(RwEngineTerm());
}

TEST_F(EngineHost, StartsInAWindowAndStops) {
    ASSERT_TRUE(Rw::StartEngine(4096, 0, hwnd, 0, 0));
    EXPECT_TRUE(Rw::EngineStarted);
    EXPECT_EQ(Rw::MainWindow, hwnd);
    EXPECT_EQ(Rw::Direct3DDevice, RwD3D9Device);
    ASSERT_NE(Rw::ColourRaster, nullptr);
    ASSERT_NE(Rw::DepthRaster, nullptr);
    EXPECT_EQ(RwRasterGetType(Rw::ColourRaster), rwRASTERTYPECAMERA);
    EXPECT_EQ(RwRasterGetType(Rw::DepthRaster), rwRASTERTYPEZBUFFER);
    EXPECT_EQ(Rw::ColourRaster->width, 200);
    EXPECT_EQ(Rw::ColourRaster->height, 150);
    // The default states are in the caches.
    EXPECT_EQ(Requested(D3DRS_CLIPPING), 1u);
    EXPECT_EQ(Requested(D3DRS_AMBIENT), 0u);
    EXPECT_EQ(Requested(D3DRS_COLORVERTEX), 1u);
    for (RwUInt32 stage = 0; stage < 4; ++stage) {
        RwUInt32 index = 99;
        RwD3D9GetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, &index);
        EXPECT_EQ(index, stage);
    }
    Rw::StopEngine();
    EXPECT_FALSE(Rw::EngineStarted);
    EXPECT_EQ(Rw::ColourRaster, nullptr);
    EXPECT_EQ(RwEngineGetStatus(), rwENGINESTATUSIDLE);
    Rw::StopEngine(); // a second stop does nothing
}

TEST_F(EngineHost, ResizeGivesTheRastersTheNewSizeAndResetsTheDeviceOnce) {
    Rw::ResizeDisplay(300, 300); // before the start: nothing
    ASSERT_TRUE(Rw::StartEngine(4096, 0, hwnd, 0, 0));
    const RwUInt32 resets = RwD3D9GetResetCount();
    SDL_SetWindowSize(window, 240, 180);
    Rw::ResizeDisplay(240, 180);
    EXPECT_EQ(Rw::ColourRaster->width, 240);
    EXPECT_EQ(Rw::DepthRaster->height, 180);
    EXPECT_EQ(RwD3D9GetResetCount(), resets + 1);
    EXPECT_EQ(rwD3D9State.present.BackBufferWidth, 240u);
    EXPECT_EQ(rwD3D9State.present.BackBufferHeight, 180u);
    Rw::ResizeDisplay(240, 180);
    EXPECT_EQ(RwD3D9GetResetCount(), resets + 1);
}

namespace {

std::string readName, readMask;
RwTexture* readResult = nullptr;
RwTexture* RecordRead(const RwChar* name, const RwChar* maskName) {
    readName = name;
    readMask = maskName ? maskName : "(none)";
    return readResult;
}

RwTextureDictionary* Count(RwTextureDictionary* dictionary, void* data) {
    ++*static_cast<int*>(data);
    return dictionary;
}

} // namespace

TEST_F(EngineHost, ImageFormatsPutTheTextureReaderInFrontOfTheEngines) {
    ASSERT_TRUE(Rw::StartEngine(4096, 0, hwnd, 0, 0));
    RwTextureSetReadCallback(RecordRead);
    RwTextureSetMipmapping(FALSE);
    Rw::RegisterImageFormats();
    EXPECT_TRUE(Rw::ImageFormatsRegistered);
    for (const char* extension : {".bmp", ".tif", ".png"})
        EXPECT_NE(RwImageFindFormat(extension), nullptr) << extension;
    EXPECT_NE(RwImageFindFormat(".bmp")->imageWrite, nullptr);
    EXPECT_EQ(RwImageFindFormat(".tif")->imageWrite, nullptr);
    EXPECT_TRUE(RwTextureGetMipmapping());
    EXPECT_TRUE(RwTextureGetAutoMipmapping());
    EXPECT_EQ(RwTextureGetReadCallback(), &Rw::TextureReadCallback);
    EXPECT_EQ(Rw::DefaultTextureRead, &RecordRead);

    // Without a file of its own, the engine's reader is asked, with the mask name.
    RwTexture* texture = RwTextureCreate(nullptr);
    readResult = texture;
    EXPECT_EQ(Rw::TextureReadCallback("sky", "skymask"), texture);
    EXPECT_EQ(readName, "sky");
    EXPECT_EQ(readMask, "skymask");
    readResult = nullptr;
    EXPECT_EQ(Rw::TextureReadCallback("none", nullptr), nullptr);
    RwTextureDestroy(texture);

    // A DDS file along the image path comes first: a plain 1 x 1 A8R8G8B8 file.
    const TestSupport::TempDir scratch("corvane-host");
    const std::string dir = scratch.path.string() + "/";
    uint32_t file[32 + 1] = {0x20534444, 124, 0x1007, 1, 1};
    file[19] = 32;   // pixel format size
    file[20] = 0x41; // RGB with alpha
    file[22] = 32;   // bits
    file[23] = 0xFF0000, file[24] = 0xFF00, file[25] = 0xFF, file[26] = 0xFF000000;
    file[27] = 0x1000; // a texture
    file[32] = 0xFF102030;
    std::ofstream(dir + "both.dds", std::ios::binary).write(reinterpret_cast<const char*>(file), sizeof file);
    RwImageSetPath(dir.c_str());
    readName.clear();
    RwTexture* dds = Rw::TextureReadCallback("both", "mask");
    ASSERT_NE(dds, nullptr);
    EXPECT_EQ(RwTextureGetRaster(dds)->width, 1);
    EXPECT_TRUE(readName.empty()); // the engine's reader was not asked
    RwTextureDestroy(dds);
}

// A texture that no reader finds leaves whatever uses it drawn without it: that is said once a name, with
// where it was looked for.
TEST_F(EngineHost, ATextureThatCannotBeReadIsSaidOnceAName) {
    ASSERT_TRUE(Rw::StartEngine(4096, 0, hwnd, 0, 0));
    RwTextureSetReadCallback(RecordRead);
    Rw::RegisterImageFormats();
    RwImageSetPath("Data\\Textures\\;Data\\More\\");
    readResult = nullptr;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Rw::TextureReadCallback("camo", nullptr), nullptr);
    EXPECT_EQ(Rw::TextureReadCallback("camo", "camomask"), nullptr);
    EXPECT_EQ(Rw::TextureReadCallback("cloud", nullptr), nullptr);
    RwTexture* texture = RwTextureCreate(nullptr);
    readResult = texture;
    EXPECT_EQ(Rw::TextureReadCallback("sky", nullptr), texture);
    readResult = nullptr;
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Cannot read the texture 'camo' (looked in 'Data\\Textures\\;Data\\More\\').\n"
              "Cannot read the texture 'cloud' (looked in 'Data\\Textures\\;Data\\More\\').\n");
    RwTextureDestroy(texture);
    RwImageSetPath("");
}

// A texture file that its library refuses: the one message says what the library said, and the library
// prints nothing of its own however often the texture is asked for.
TEST_F(EngineHost, ARefusedTextureFileIsSaidOnceWithWhatItsLibrarySaid) {
    ASSERT_TRUE(Rw::StartEngine(4096, 0, hwnd, 0, 0));
    Rw::RegisterImageFormats();
    const TestSupport::TempDir scratch("corvane-host");
    const std::string dir = scratch.path.string() + "/";
    std::ofstream(dir + "wreck.png", std::ios::binary) << "\x89PNG\r\n\x1a\n"; // the signature alone
    RwImageSetPath(dir.c_str());
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Rw::TextureReadCallback("wreck", nullptr), nullptr);
    EXPECT_EQ(Rw::TextureReadCallback("wreck", nullptr), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Cannot read the texture 'wreck' (looked in '" + dir + "'): libpng: file is cut short.\n");
    RwImageSetPath("");
}

TEST_F(EngineHost, DestroyingDictionariesDropsTheTexturesExtraReferences) {
    ASSERT_TRUE(Rw::StartEngine(4096, 0, hwnd, 0, 0));
    int before = 0;
    RwTextureDictionaryForAllDictionaries(Count, &before);
    for (int d = 0; d < 2; ++d) {
        RwTextureDictionary* dictionary = RwTextureDictionaryCreate();
        ASSERT_NE(dictionary, nullptr);
        for (int references = 1; references <= 3; ++references) {
            RwTexture* texture = RwTextureCreate(RwRasterCreate(8, 8, 0, rwRASTERTYPETEXTURE));
            ASSERT_NE(texture, nullptr);
            RwTextureDictionaryAddTexture(dictionary, texture);
            for (int extra = 1; extra < references; ++extra)
                RwTextureAddRef(texture);
        }
    }
    int walked = 0;
    RwTextureDictionaryForAllDictionaries(
        [](RwTextureDictionary* dictionary, void* data) {
            ++*static_cast<int*>(data);
            return Rw::DestroyTextureDictionary(dictionary, nullptr);
        },
        &walked);
    EXPECT_EQ(walked, before + 2); // the walk went on after each
    int after = 0;
    RwTextureDictionaryForAllDictionaries(Count, &after);
    EXPECT_EQ(after, 0);
    // The leak check of the sanitizer build finds any texture or raster left behind.
}
