// The world pipelines' vertex-shader module: a device of vertex shaders 1.x loses the normalised vertex
// declaration types from the caps the engine reads; a device without shaders keeps them.
#include "../DriverFixture.h"

#include "rwsdk/world/rpworld.h"

namespace {

constexpr DWORD Normalised =
    D3DDTCAPS_UBYTE4N | D3DDTCAPS_SHORT2N | D3DDTCAPS_SHORT4N | D3DDTCAPS_USHORT2N | D3DDTCAPS_USHORT4N;
constexpr DWORD Others = D3DDTCAPS_UBYTE4 | D3DDTCAPS_UDEC3 | D3DDTCAPS_FLOAT16_2 | D3DDTCAPS_FLOAT16_4;

TEST(VertexShaders, OneXDevicesLoseTheNormalisedDeclarationTypes) {
    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    ASSERT_NO_FATAL_FAILURE(TestSupport::OpenHiddenWindow("shaders", 64, 48, window, hwnd));
    for (bool shaders : {true, false, true}) {
        SCOPED_TRACE(shaders ? "vertex shaders 1.1" : "no vertex shaders");
        D3D9::SetShaderSupport(shaders);
        ASSERT_TRUE(RwEngineSetDriver(RwD3D9DeviceRecordGet, RwD3D9RasterPluginAttach));
        ASSERT_TRUE(RwEngineInit(nullptr, 0, 1u << 22));
        ASSERT_TRUE(RpWorldPluginAttach());
        RwEngineOpenParams params = {hwnd};
        ASSERT_TRUE(RwEngineOpen(&params));
        ASSERT_TRUE(RwEngineSetVideoMode(0));
        ASSERT_TRUE(RwEngineStart()); // opens the world pipelines
        TestSupport::PinGlDriver();
        const D3DCAPS9* caps = RwD3D9GetCaps();
        EXPECT_EQ(D3DSHADER_VERSION_MAJOR(caps->VertexShaderVersion), shaders ? 1u : 0u);
        EXPECT_EQ(caps->DeclTypes & Normalised, shaders ? 0u : Normalised);
        EXPECT_EQ(caps->DeclTypes & Others, Others);
        RwEngineStop();
        RwEngineClose();
        RwEngineTerm();
        RwEngineSetDriver(RwNullDeviceRecordGet, RwNullDeviceAttach);
    }
    D3D9::SetShaderSupport(true);
    Win32::DetachSdlWindow(hwnd);
    SDL_DestroyWindow(window);
}

} // namespace
