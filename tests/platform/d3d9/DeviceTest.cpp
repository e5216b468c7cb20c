#include "DeviceFixture.h"
#include "tests/support/DeviceCalls.h"
#include "platform/d3d9/StreamRing.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

namespace {} // namespace

TEST_F(DeviceTest, ClearFillsTheViewportWithTheColour) {
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_ARGB(0xFF, 0x12, 0x34, 0x56), 1.0f, 0),
              D3D_OK);
    D3DVIEWPORT9 inner{8, 16, 20, 10, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(&inner), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_ARGB(0x80, 0xFF, 0x00, 0x7F), 1.0f, 0),
              D3D_OK);
    Pixels p = ReadTarget();
    for (unsigned y = 0; y < Height; ++y)
        for (unsigned x = 0; x < Width; ++x) {
            bool inside = x >= 8 && x < 28 && y >= 16 && y < 26;
            ASSERT_EQ(p.At(x, y), inside ? 0x80FF007Fu : 0xFF123456u) << x << "," << y;
        }
}

TEST_F(DeviceTest, ClearRectanglesStayInsideTheViewport) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    D3DRECT rects[2] = {{0, 0, 4, 4}, {60, 60, 80, 80}};
    ASSERT_EQ(device->Clear(2, rects, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0), D3D_OK);
    Pixels p = ReadTarget();
    EXPECT_EQ(p.At(3, 3), 0xFFFFFFFFu);
    EXPECT_EQ(p.At(4, 4), 0xFF000000u);
    EXPECT_EQ(p.At(63, 63), 0xFFFFFFFFu);
    EXPECT_EQ(p.At(59, 59), 0xFF000000u);
}

TEST_F(DeviceTest, PresentShowsTheBackBuffer) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
}

TEST_F(DeviceTest, CapsAreThoseOfAModestFixedFunctionCard) {
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_TRUE(caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT);
    EXPECT_TRUE(caps.DevCaps2 & D3DDEVCAPS2_STREAMOFFSET);
    EXPECT_TRUE(caps.Caps2 & D3DCAPS2_CANAUTOGENMIPMAP);
    EXPECT_EQ(caps.RasterCaps & 0x100180u, 0x100180u);
    EXPECT_EQ(caps.MaxActiveLights, 8u);
    EXPECT_EQ(caps.MaxTextureBlendStages, 8u);
    EXPECT_TRUE(caps.TextureOpCaps & D3DTEXOPCAPS_MULTIPLYADD);
    EXPECT_TRUE(caps.TextureOpCaps & D3DTEXOPCAPS_MODULATE2X);
    EXPECT_EQ(caps.PixelShaderVersion & 0xFFFF, 0x0103u);
    EXPECT_EQ(caps.VertexShaderVersion & 0xFFFF, 0x0101u);
    EXPECT_FALSE(caps.DeclTypes & D3DDTCAPS_DEC3N);
}

TEST_F(DeviceTest, FormatChecksAnswerWhatTheEngineAsks) {
    const D3DFORMAT desk = D3DFMT_X8R8G8B8;
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, desk, D3DFMT_A8R8G8B8, TRUE), D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, desk, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT1), D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, desk, 0, D3DRTYPE_TEXTURE, D3DFMT_P8),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, desk, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                     D3DFMT_D24S8),
              D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, desk, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                     D3DFMT_D15S1),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, desk, D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE,
                                     D3DFMT_A8R8G8B8),
              D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, desk, 0x401, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8),
              D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, desk, D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE,
                                     D3DFMT_DXT1),
              D3DOK_NOAUTOGEN);
    EXPECT_EQ(d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, desk, D3DFMT_A8R8G8B8, D3DFMT_D24S8), D3D_OK);
    EXPECT_NE(d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, desk, D3DFMT_A8R8G8B8, D3DFMT_D24X4S4), D3D_OK);
}

TEST_F(DeviceTest, DisplayModesIncludeTheDesktopAndTheUsualSizes) {
    D3DDISPLAYMODE desk{};
    ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &desk), D3D_OK);
    EXPECT_EQ(desk.Format, D3DFMT_X8R8G8B8);
    UINT count = d3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8);
    ASSERT_GT(count, 0u);
    bool found640 = false, foundDesk = false;
    for (UINT i = 0; i < count; ++i) {
        D3DDISPLAYMODE m{};
        ASSERT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, i, &m), D3D_OK);
        found640 |= m.Width == 640 && m.Height == 480;
        foundDesk |= m.Width == desk.Width && m.Height == desk.Height;
    }
    EXPECT_TRUE(found640);
    EXPECT_TRUE(foundDesk);
    EXPECT_EQ(d3d->GetAdapterModeCount(0, D3DFMT_A2R10G10B10), 0u);
}

TEST_F(DeviceTest, LostDeviceResetsOnlyWithoutDefaultPoolResources) {
    IDirect3DTexture9* managed = nullptr;
    IDirect3DVertexBuffer9* dynamic = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed, nullptr), D3D_OK);
    ASSERT_EQ(device->CreateVertexBuffer(64, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT,
                                         &dynamic, nullptr),
              D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(managed->LockRect(0, &locked, nullptr, 0), D3D_OK);
    static_cast<uint32_t*>(locked.pBits)[0] = 0xCAFEBABE;
    managed->UnlockRect(0);

    D3D9::LoseDevice(device);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Reset(&parameters), D3DERR_INVALIDCALL);
    dynamic->Release();
    parameters.BackBufferWidth = 32;
    parameters.BackBufferHeight = 16;
    ASSERT_EQ(device->Reset(&parameters), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);

    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DSURFACE_DESC desc{};
    back->GetDesc(&desc);
    back->Release();
    EXPECT_EQ(desc.Width, 32u);
    EXPECT_EQ(desc.Height, 16u);
    D3DVIEWPORT9 vp{};
    device->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 32u);
    DWORD lighting = 0;
    device->GetRenderState(D3DRS_LIGHTING, &lighting);
    EXPECT_EQ(lighting, DWORD(TRUE)); // state is back at its defaults

    ASSERT_EQ(managed->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<uint32_t*>(locked.pBits)[0], 0xCAFEBABEu); // managed contents survive
    managed->UnlockRect(0);
    managed->Release();

    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 1.0f, 0);
    Pixels p = ReadTarget();
    EXPECT_EQ(p.width, 32u);
    EXPECT_EQ(p.At(31, 15), 0xFF0000FFu);
}

TEST_F(DeviceTest, CallLogRecordsWhatReachesTheDevice) {
    D3D9::SetCallLogging(device, true);
    device->SetRenderState(D3DRS_ZENABLE, TRUE);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetRenderState(D3DRS_ZENABLE, TRUE); // redundant calls are recorded too
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(64, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    device->SetStreamSource(0, vb, 0, 16);
    device->SetTexture(0, nullptr);
    std::vector<std::string> log = D3D9::TakeCallLog(device);
    // The log's own form, which the tests' helpers build from the names.
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "SetRenderState(7, 1)");
    std::vector<std::string> expected = {DeviceCalls::RenderState(D3DRS_ZENABLE, TRUE),
                                         DeviceCalls::StageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE),
                                         DeviceCalls::SamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR),
                                         DeviceCalls::RenderState(D3DRS_ZENABLE, TRUE),
                                         "SetFVF(0x42)",
                                         "CreateVertexBuffer(64, 0x8, 0x0, 1)",
                                         "SetStreamSource(0, buffer, 0, 16)",
                                         "SetTexture(0, null)"};
    EXPECT_EQ(log, expected);
    D3D9::SetCallLogging(device, false);
    device->SetStreamSource(0, nullptr, 0, 0);
    vb->Release();
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    EXPECT_TRUE(D3D9::TakeCallLog(device).empty());
}

TEST_F(DeviceTest, FvfCodesBecomeDeclarations) {
    ASSERT_EQ(device->SetFVF(0x252), D3D_OK);
    IDirect3DVertexDeclaration9* decl = nullptr;
    ASSERT_EQ(device->GetVertexDeclaration(&decl), D3D_OK);
    D3DVERTEXELEMENT9 e[8];
    UINT count = 8;
    ASSERT_EQ(decl->GetDeclaration(e, &count), D3D_OK);
    decl->Release();
    ASSERT_EQ(count, 6u);
    struct Want {
        WORD offset;
        BYTE type, usage, index;
    } want[] = {{0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0},
                {12, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0},
                {24, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0},
                {28, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0},
                {36, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 1}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(e[i].Offset, want[i].offset) << i;
        EXPECT_EQ(e[i].Type, want[i].type) << i;
        EXPECT_EQ(e[i].Usage, want[i].usage) << i;
        EXPECT_EQ(e[i].UsageIndex, want[i].index) << i;
    }
    EXPECT_EQ(e[5].Stream, 0xFF);
    EXPECT_EQ(e[5].Type, D3DDECLTYPE_UNUSED);
}

TEST_F(DeviceTest, VerticalBlankWaitsEndAndGammaRampsRoundTrip) {
    // A wait for the start of a blank polls while in one, then until the next: both end at once.
    D3DRASTER_STATUS status{};
    int polls = 0;
    do {
        device->GetRasterStatus(0, &status);
    } while (status.InVBlank && ++polls < 4);
    do {
        device->GetRasterStatus(0, &status);
    } while (!status.InVBlank && ++polls < 4);
    EXPECT_LT(polls, 4);
    D3DGAMMARAMP ramp{};
    for (int i = 0; i < 256; ++i)
        ramp.red[i] = ramp.green[i] = ramp.blue[i] = WORD(i * 128);
    device->SetGammaRamp(0, 0, &ramp);
    D3DGAMMARAMP back{};
    device->GetGammaRamp(0, &back);
    EXPECT_EQ(std::memcmp(&ramp, &back, sizeof ramp), 0);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    // The ramp darkens what reaches the window, not the back buffer.
    EXPECT_EQ(ReadTarget().At(0, 0), 0xFFFFFFFFu);
}

TEST_F(DeviceTest, FullScreenResetsCoverTheDesktopAndWindowedOnesLeaveIt) {
    parameters.Windowed = FALSE;
    parameters.SwapEffect = D3DSWAPEFFECT_FLIP;
    parameters.BackBufferWidth = 640;
    parameters.BackBufferHeight = 480;
    SDL_SetWindowPosition(window, 5, 7);
    ASSERT_EQ(device->Reset(&parameters), D3D_OK);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_TRUE(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN);
    // The window itself covers the whole display, even where no window manager acts on the request.
    SDL_Rect bounds{};
    ASSERT_EQ(SDL_GetDisplayBounds(0, &bounds), 0) << SDL_GetError();
    int x = -1, y = -1, w = 0, h = 0;
    SDL_GetWindowPosition(window, &x, &y);
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(x, bounds.x);
    EXPECT_EQ(y, bounds.y);
    EXPECT_EQ(w, bounds.w);
    EXPECT_EQ(h, bounds.h);
    // The back buffer keeps the mode's size; Present scales it into the window.
    D3DSURFACE_DESC desc{};
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    back->GetDesc(&desc);
    back->Release();
    EXPECT_EQ(desc.Width, 640u);
    EXPECT_EQ(desc.Height, 480u);
    // The client area is the mode's, as on a display switched to it: one size for both.
    RECT client{};
    ASSERT_TRUE(GetClientRect(hwnd, &client));
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    // A full-screen reset to another mode follows it.
    parameters.BackBufferWidth = 800;
    parameters.BackBufferHeight = 600;
    ASSERT_EQ(device->Reset(&parameters), D3D_OK);
    ASSERT_TRUE(GetClientRect(hwnd, &client));
    EXPECT_EQ(client.right, 800);
    EXPECT_EQ(client.bottom, 600);
    parameters.BackBufferWidth = 640;
    parameters.BackBufferHeight = 480;

    parameters.Windowed = TRUE;
    parameters.SwapEffect = D3DSWAPEFFECT_COPY;
    ASSERT_EQ(device->Reset(&parameters), D3D_OK);
    EXPECT_FALSE(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN);
    // A window again, of its own size and place.
    SDL_GetWindowPosition(window, &x, &y);
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 7);
    EXPECT_EQ(w, int(Width));
    EXPECT_EQ(h, int(Height));
    ASSERT_TRUE(GetClientRect(hwnd, &client));
    EXPECT_EQ(client.right, int(Width));
    EXPECT_EQ(client.bottom, int(Height));
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST_F(DeviceTest, ShaderConstantsKeepTheirRegistersAndRefuseRangesPastTheEnd) {
    const float in[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    float out[8] = {};
    ASSERT_EQ(device->SetVertexShaderConstantF(254, in, 2), D3D_OK);
    ASSERT_EQ(device->GetVertexShaderConstantF(254, out, 2), D3D_OK);
    EXPECT_TRUE(std::equal(in, in + 8, out));
    ASSERT_EQ(device->SetPixelShaderConstantF(30, in, 2), D3D_OK);
    ASSERT_EQ(device->GetPixelShaderConstantF(31, out, 1), D3D_OK);
    EXPECT_EQ(out[0], 5.0f);

    // One register too many, and a range whose end wraps around 32 bits.
    EXPECT_EQ(device->SetVertexShaderConstantF(255, in, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetVertexShaderConstantF(0xFFFFFFFFu, in, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetPixelShaderConstantF(0x40000000u, out, 0xC0000001u), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetPixelShaderConstantF(0, nullptr, 1), D3DERR_INVALIDCALL);
}

// Direct3D 9 refuses a reset while a default-pool resource lives, lost device or not.
TEST_F(DeviceTest, ResetIsRefusedWhileADefaultPoolResourceLives) {
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target,
                                    nullptr),
              D3D_OK);
    IDirect3DTexture9* managed = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed, nullptr), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(device->Reset(&parameters), D3DERR_INVALIDCALL);
    target->Release();
    EXPECT_EQ(device->Reset(&parameters), D3D_OK);
    managed->Release();
}

// A draw with a vertex shader bound draws what the shader makes; unbound, the fixed function draws again.
TEST_F(DeviceTest, DrawsWithAShaderBoundUseTheShader) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    Unlit();
    // vs_1_1: dcl_position v0; mov oPos, v0; mov oD0, c0
    const DWORD tokens[] = {0xFFFE0101, 0x0000001F, 0x80000000, 0x900F0000, 0x00000001, 0xC00F0000,
                            0x90E40000, 0x00000001, 0xD00F0000, 0xA0E40000, 0x0000FFFF};
    IDirect3DVertexShader9* shader = nullptr;
    ASSERT_EQ(device->CreateVertexShader(tokens, &shader), D3D_OK);
    ASSERT_EQ(device->SetVertexShader(shader), D3D_OK);
    const float colour[4] = {0.0f, 1.0f, 0.0f, 1.0f};
    device->SetVertexShaderConstantF(0, colour, 1);
    const float clip[4][3] = {{-1, 1, 0.5f}, {1, 1, 0.5f}, {-1, -1, 0.5f}, {1, -1, 0.5f}};
    device->SetFVF(D3DFVF_XYZ);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, clip, sizeof clip[0]), D3D_OK);
    EXPECT_EQ(ReadTarget().At(32, 32), 0xFF00FF00u);
    device->SetVertexShader(nullptr);
    shader->Release();
    ScreenVertex v[4] = {{0, 0, 0.5f, 1, 0xFFFFFFFF},
                         {64, 0, 0.5f, 1, 0xFFFFFFFF},
                         {0, 64, 0.5f, 1, 0xFFFFFFFF},
                         {64, 64, 0.5f, 1, 0xFFFFFFFF}};
    device->SetFVF(ScreenFvf);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(ScreenVertex)), D3D_OK);
    EXPECT_EQ(ReadTarget().At(32, 32), 0xFFFFFFFFu);
}

// Direct3D 9 draws the last pixel of a line while D3DRS_LASTPIXEL is TRUE (the default), and leaves it
// out when it is FALSE: lists (each line), strips (the strip's end), indexed and from buffers alike.
TEST_F(DeviceTest, LinesDrawTheirLastPixelAsTheRenderStateSays) {
    Unlit();
    device->SetRenderState(D3DRS_POINTSIZE, std::bit_cast<DWORD>(5.0f)); // the end pixel stays one pixel
    device->SetFVF(ScreenFvf);
    const D3DCOLOR white = 0xFFFFFFFF;
    for (DWORD lastPixel : {DWORD(TRUE), DWORD(FALSE)}) {
        device->SetRenderState(D3DRS_LASTPIXEL, lastPixel);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        // A list of two lines, a strip, and an indexed list (pixel centres are at whole coordinates).
        ScreenVertex list[4] = {
            {4, 4, 0.5f, 1, white}, {14, 4, 0.5f, 1, white}, {4, 8, 0.5f, 1, white}, {14, 8, 0.5f, 1, white}};
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_LINELIST, 2, list, sizeof(ScreenVertex)), D3D_OK);
        ScreenVertex strip[3] = {{4, 20, 0.5f, 1, white}, {14, 20, 0.5f, 1, white}, {14, 30, 0.5f, 1, white}};
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_LINESTRIP, 2, strip, sizeof(ScreenVertex)), D3D_OK);
        ScreenVertex indexed[2] = {{40, 4, 0.5f, 1, white}, {40, 14, 0.5f, 1, white}};
        const WORD indices[2] = {0, 1};
        ASSERT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_LINELIST, 0, 2, 1, indices, D3DFMT_INDEX16, indexed,
                                                 sizeof(ScreenVertex)),
                  D3D_OK);
        IDirect3DVertexBuffer9* buffer = nullptr;
        ASSERT_EQ(
            device->CreateVertexBuffer(sizeof list, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &buffer, nullptr),
            D3D_OK);
        void* data = nullptr;
        ASSERT_EQ(buffer->Lock(0, 0, &data, 0), D3D_OK);
        ScreenVertex moved[4] = {{50, 40, 0.5f, 1, white},
                                 {60, 40, 0.5f, 1, white},
                                 {50, 50, 0.5f, 1, white},
                                 {60, 50, 0.5f, 1, white}};
        std::memcpy(data, moved, sizeof moved);
        buffer->Unlock();
        device->SetStreamSource(0, buffer, 0, sizeof(ScreenVertex));
        ASSERT_EQ(device->DrawPrimitive(D3DPT_LINELIST, 0, 2), D3D_OK);
        device->SetStreamSource(0, nullptr, 0, 0);
        buffer->Release();

        Pixels p = ReadTarget();
        const uint32_t end = lastPixel ? white : 0xFF000000u;
        const char* what = lastPixel ? "drawn" : "left out";
        EXPECT_EQ(p.At(13, 4), white);
        EXPECT_EQ(p.At(14, 4), end) << what;
        EXPECT_EQ(p.At(14, 8), end) << what;
        EXPECT_EQ(p.At(15, 8), 0xFF000000u);
        EXPECT_EQ(p.At(14, 20), white) << "the corner of a strip belongs to its second line";
        EXPECT_EQ(p.At(14, 29), white);
        EXPECT_EQ(p.At(14, 30), end) << what;
        EXPECT_EQ(p.At(14, 31), 0xFF000000u);
        EXPECT_EQ(p.At(40, 14), end) << what;
        EXPECT_EQ(p.At(40, 15), 0xFF000000u);
        EXPECT_EQ(p.At(60, 40), end) << what;
        EXPECT_EQ(p.At(60, 50), end) << what;
        EXPECT_EQ(p.At(61, 50), 0xFF000000u);
        EXPECT_EQ(p.At(50, 50), white);
    }
}

// A second window gets a swap chain of its own: its back buffer is drawn into like the device's and shown
// in that window by the chain's Present; while it lives, a reset is refused.
TEST_F(DeviceTest, AdditionalSwapChainsDrawIntoAnotherWindow) {
    SDL_Window* other = SDL_CreateWindow("other", 0, 0, 40, 24, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    ASSERT_NE(other, nullptr) << SDL_GetError();
    HWND otherWindow = Win32::AttachSdlWindow(other);
    D3DPRESENT_PARAMETERS chainParameters = parameters;
    chainParameters.hDeviceWindow = otherWindow;
    chainParameters.BackBufferWidth = 0;
    chainParameters.BackBufferHeight = 0;
    chainParameters.EnableAutoDepthStencil = FALSE;
    IDirect3DSwapChain9* chain = nullptr;
    ASSERT_EQ(device->CreateAdditionalSwapChain(&chainParameters, &chain), D3D_OK);
    ASSERT_NE(chain, nullptr);
    IDirect3DSurface9* chainBuffer = nullptr;
    ASSERT_EQ(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &chainBuffer), D3D_OK);
    D3DSURFACE_DESC desc{};
    chainBuffer->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 40u) << "the window's client size";
    EXPECT_EQ(desc.Height, 24u);
    EXPECT_TRUE(desc.Usage & D3DUSAGE_RENDERTARGET);

    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    IDirect3DSurface9* own = nullptr;
    device->GetRenderTarget(0, &own);
    ASSERT_EQ(device->SetRenderTarget(0, chainBuffer), D3D_OK);
    device->SetDepthStencilSurface(nullptr);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), D3D_OK);
    D3D9::SetCallLogging(device, true);
    D3D9::TakeCallLog(device);
    EXPECT_EQ(chain->Present(nullptr, nullptr, nullptr, nullptr, 0), D3D_OK);
    EXPECT_EQ(D3D9::TakeCallLog(device), std::vector<std::string>{"Present(swap chain)"});
    EXPECT_EQ(ReadTarget(chainBuffer).At(39, 23), 0xFFFF0000u);
    EXPECT_EQ(ReadTarget(own).At(10, 10), 0xFF0000FFu) << "the device's own back buffer is its own";
    ASSERT_EQ(device->SetRenderTarget(0, own), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK) << "the device's window again";
    own->Release();
    chainBuffer->Release();

    EXPECT_EQ(device->Reset(&parameters), D3DERR_INVALIDCALL) << "a swap chain is alive";
    EXPECT_EQ(chain->Release(), 0u);
    EXPECT_EQ(device->Reset(&parameters), D3D_OK);

    // The device's own window, and a window GL cannot draw into, get none.
    chainParameters.hDeviceWindow = hwnd;
    EXPECT_EQ(device->CreateAdditionalSwapChain(&chainParameters, &chain), D3DERR_INVALIDCALL);
    SDL_Window* plain = SDL_CreateWindow("plain", 0, 0, 8, 8, SDL_WINDOW_HIDDEN);
    HWND plainWindow = Win32::AttachSdlWindow(plain);
    chainParameters.hDeviceWindow = plainWindow;
    EXPECT_NE(device->CreateAdditionalSwapChain(&chainParameters, &chain), D3D_OK);
    EXPECT_EQ(chain, nullptr);
    Win32::DetachSdlWindow(plainWindow);
    SDL_DestroyWindow(plain);
    Win32::DetachSdlWindow(otherWindow);
    SDL_DestroyWindow(other);
}

// What the last Present put in the window, as A8R8G8B8, read from the front buffer.
static uint32_t WindowPixel(int x, int y) {
    GLint framebuffer = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &framebuffer);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_FRONT);
    unsigned char rgba[4] = {};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glReadBuffer(GL_BACK);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(framebuffer));
    return uint32_t(rgba[3]) << 24 | uint32_t(rgba[0]) << 16 | uint32_t(rgba[1]) << 8 | rgba[2];
}

TEST_F(DeviceTest, PresentAppliesTheRampOfTheMomentAndDrawingGoesOn) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF804020, 1.0f, 0);
    D3DGAMMARAMP ramp{};
    for (int i = 0; i < 256; ++i) {
        ramp.red[i] = WORD((255 - i) * 257);
        ramp.green[i] = WORD(i * 257);
        ramp.blue[i] = 0;
    }
    device->SetGammaRamp(0, 0, &ramp);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(WindowPixel(5, 5) & 0xFFFFFF, 0x7F4000u);
    // A new ramp reaches the next frame.
    for (int i = 0; i < 256; ++i)
        ramp.blue[i] = WORD(65535);
    device->SetGammaRamp(0, 0, &ramp);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(WindowPixel(5, 5) & 0xFFFFFF, 0x7F40FFu);
    // The gamma pass leaves nothing of its own behind for the next draws.
    Unlit();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    ScreenRect(0, 0, 8, 8, 0xFF00FF00);
    EXPECT_EQ(ReadTarget().At(4, 4), 0xFF00FF00u);
}

// Every draw from user memory, and every change of the uniform values, goes through a ring of GL memory that
// wraps round and grows: each draw must still see its own data.
TEST_F(DeviceTest, DrawsFromUserMemoryKeepTheirOwnDataAsTheRingsWrapAndGrow) {
    Unlit();
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    auto colour = [](unsigned i) { return 0xFF000000u | ((i * 2654435761u) >> 8); };
    // More uniform blocks than the ring holds: one pixel each, each with its own factor.
    const unsigned pixels = 3000;
    for (unsigned i = 0; i < pixels; ++i) {
        device->SetRenderState(D3DRS_TEXTUREFACTOR, colour(i));
        float x = float(i % Width), y = float(i / Width);
        ScreenRect(x, y, x + 1, y + 1, 0xFFFFFFFF);
    }
    Pixels p = ReadTarget();
    for (unsigned i = 0; i < pixels; ++i)
        ASSERT_EQ(p.At(i % Width, i / Width), colour(i)) << i;

    // One draw larger than half the vertex ring: the ring grows, and later draws point into the new one.
    std::vector<ScreenVertex> many(150000, ScreenVertex{0, 0, 0.5f, 1.0f, 0xFFFFFFFF});
    const ScreenVertex last[3] = {
        {60, 60, 0.5f, 1, 0xFF000000}, {64, 60, 0.5f, 1, 0xFF000000}, {60, 64, 0.5f, 1, 0xFF000000}};
    std::copy(last, last + 3, many.end() - 3);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF00FF00);
    ASSERT_EQ(
        device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, UINT(many.size() / 3), many.data(), sizeof(ScreenVertex)),
        D3D_OK);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF0000FF);
    ScreenRect(50, 50, 52, 52, 0xFFFFFFFF);
    // Indexed, from the fifth vertex on: the first four are never read.
    const ScreenVertex indexed[8] = {{0, 0, 0.5f, 1, 0xFF000000},   {1, 0, 0.5f, 1, 0xFF000000},
                                     {0, 1, 0.5f, 1, 0xFF000000},   {1, 1, 0.5f, 1, 0xFF000000},
                                     {40, 40, 0.5f, 1, 0xFF000000}, {44, 40, 0.5f, 1, 0xFF000000},
                                     {40, 44, 0.5f, 1, 0xFF000000}, {44, 44, 0.5f, 1, 0xFF000000}};
    const uint16_t indices[6] = {4, 5, 6, 6, 5, 7};
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFF0000);
    ASSERT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 4, 4, 2, indices, D3DFMT_INDEX16, indexed,
                                             sizeof(ScreenVertex)),
              D3D_OK);
    p = ReadTarget();
    EXPECT_EQ(p.At(61, 61), 0xFF00FF00u);
    EXPECT_EQ(p.At(51, 51), 0xFF0000FFu);
    EXPECT_EQ(p.At(42, 42), 0xFFFF0000u);
    EXPECT_EQ(p.At(0, 0), colour(0));
}

// The ring under those draws, mapped and written by glBufferSubData: every write lands whole at a multiple of
// its alignment, inside the buffer, and reads back; a write of more than half the ring grows it.
TEST_F(DeviceTest, StreamRingsHoldEachWriteWhereTheySay) {
    for (bool mapped : {true, false}) {
        SCOPED_TRACE(mapped ? "mapped" : "written");
        D3D9::StreamRing ring(4096, mapped);
        EXPECT_EQ(ring.Persistent(), mapped && epoxy_has_gl_extension("GL_ARB_buffer_storage"));
        auto readBack = [&](size_t offset, size_t bytes) {
            std::vector<unsigned char> out(bytes);
            glBindBuffer(GL_COPY_READ_BUFFER, ring.Name());
            glGetBufferSubData(GL_COPY_READ_BUFFER, GLintptr(offset), GLsizeiptr(bytes), out.data());
            return out;
        };
        std::vector<unsigned char> bytes(300);
        size_t previous = 0;
        bool wrapped = false;
        for (int i = 0; i < 40; ++i) {
            std::fill(bytes.begin(), bytes.end(), static_cast<unsigned char>(i + 1));
            size_t offset = ring.Write(bytes.data(), bytes.size(), 28);
            EXPECT_EQ(offset % 28, 0u) << i;
            EXPECT_LE(offset + bytes.size(), 4096u) << i;
            wrapped = wrapped || offset < previous;
            previous = offset;
            ASSERT_EQ(readBack(offset, bytes.size()), bytes) << i;
        }
        EXPECT_TRUE(wrapped);
        const GLuint before = ring.Name();
        std::vector<unsigned char> big(3000, 7);
        size_t offset = ring.Write(big.data(), big.size(), 4);
        EXPECT_NE(ring.Name(), before);
        EXPECT_EQ(readBack(offset, big.size()), big);
    }
}

namespace {
int flushes = 0;
decltype(epoxy_glFlush) realFlush = nullptr;
void GLAPIENTRY CountFlush() {
    ++flushes;
    realFlush();
}
} // namespace

// On a software rasteriser a frame's draws are handed over every 10,000 primitives, so that its threads
// draw them while the rest of the frame is binned; a few draws are left to Present. What is drawn stays.
TEST_F(DeviceTest, ManyPrimitivesAreHandedToTheSoftwareRasteriserBeforePresent) {
    const std::string renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    if (renderer.find("llvmpipe") == std::string::npos)
        GTEST_SKIP() << "not the software rasteriser: " << renderer;
    Unlit();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    // The driver's own entry point: epoxy's resolving stub may call back through the pointer.
    const auto saved = epoxy_glFlush;
    realFlush = reinterpret_cast<decltype(realFlush)>(SDL_GL_GetProcAddress("glFlush"));
    ASSERT_NE(realFlush, nullptr);
    epoxy_glFlush = CountFlush;
    struct Case {
        unsigned draws, triangles; // each draw's triangles, one pixel each along a row
        int flushes;
    };
    const Case cases[] = {{1, 100, 0}, {3, 3000, 0}, {1, 12000, 1}, {2, 6000, 1}, {5, 5000, 2}};
    for (const Case& c : cases) {
        flushes = 0;
        std::vector<ScreenVertex> v;
        for (unsigned t = 0; t < c.triangles; ++t) {
            const float x = float(t % Width), y = float(c.draws);
            v.push_back({x, y, 0.5f, 1, 0xFF00FF00});
            v.push_back({x + 1, y, 0.5f, 1, 0xFF00FF00});
            v.push_back({x, y + 1, 0.5f, 1, 0xFF00FF00});
        }
        device->SetFVF(ScreenFvf);
        for (unsigned d = 0; d < c.draws; ++d)
            ASSERT_EQ(
                device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, c.triangles, v.data(), sizeof(ScreenVertex)),
                D3D_OK);
        EXPECT_EQ(flushes, c.flushes) << c.draws << " x " << c.triangles;
        EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
    epoxy_glFlush = saved;
    const Pixels p = ReadTarget();
    EXPECT_EQ(p.At(0, 5), 0xFF00FF00u);
    EXPECT_EQ(p.At(63, 5), 0xFF00FF00u);
}

// An indexed draw hands the rasteriser the range its indices span, which is what it shades: a range that
// misses some indices, or one kept from indices since rewritten, draws the wrong vertices. The declared
// range is the caller's promise; one that does not hold is counted and the indices are drawn as they are.
TEST_F(DeviceTest, IndexedDrawsShadeTheVerticesTheirIndicesSpan) {
    Unlit();
    device->SetFVF(ScreenFvf);
    // Two quads, 8 pixels wide: vertices 0-3 at x 0-8 (red), 4-7 at x 16-24 (green).
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(8 * sizeof(ScreenVertex), D3DUSAGE_WRITEONLY, ScreenFvf,
                                         D3DPOOL_MANAGED, &vb, nullptr),
              D3D_OK);
    void* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
    auto* v = static_cast<ScreenVertex*>(data);
    for (int q = 0; q < 2; ++q) {
        const float left = float(16 * q);
        const D3DCOLOR color = q ? 0xFF00FF00 : 0xFFFF0000;
        v[4 * q + 0] = {left, 0, 0.5f, 1, color};
        v[4 * q + 1] = {left + 8, 0, 0.5f, 1, color};
        v[4 * q + 2] = {left, 8, 0.5f, 1, color};
        v[4 * q + 3] = {left + 8, 8, 0.5f, 1, color};
    }
    vb->Unlock();
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(device->CreateIndexBuffer(12 * sizeof(uint16_t), D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                        D3DPOOL_MANAGED, &ib, nullptr),
              D3D_OK);
    auto writeIndices = [&](uint16_t first) {
        ASSERT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
        const uint16_t quad[6] = {0, 1, 2, 2, 1, 3};
        for (int i = 0; i < 6; ++i)
            static_cast<uint16_t*>(data)[i] = uint16_t(first + quad[i]);
        ib->Unlock();
    };
    device->SetStreamSource(0, vb, 0, sizeof(ScreenVertex));
    device->SetIndices(ib);
    const D3DCOLOR black = 0xFF000000, red = 0xFFFF0000, green = 0xFF00FF00;

    struct Case {
        const char* name;
        uint16_t firstIndex;                    // the quad the indices name
        UINT minIndex, numVertices, startIndex; // what the draw declares
        HRESULT result;
        size_t faults; // counted by this draw
        D3DCOLOR left, right;
    };
    const Case cases[] = {
        {"declared range holds the indices", 0, 0, 4, 0, D3D_OK, 0, red, black},
        {"rewritten indices of the same draw", 4, 4, 4, 0, D3D_OK, 0, black, green},
        {"declared range misses the indices", 4, 0, 4, 0, D3D_OK, 1, black, green},
        {"declared range wider than the indices", 0, 0, 8, 0, D3D_OK, 0, red, black},
        {"indices past the buffer's end", 0, 0, 8, 8, D3DERR_INVALIDCALL, 0, black, black},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeIndices(c.firstIndex);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, black, 1.0f, 0);
        const size_t faults = D3D9::IndexRangeFaults(device);
        EXPECT_EQ(
            device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, c.minIndex, c.numVertices, c.startIndex, 2),
            c.result);
        EXPECT_EQ(D3D9::IndexRangeFaults(device) - faults, c.faults);
        const Pixels p = ReadTarget();
        EXPECT_EQ(p.At(4, 4), c.left);
        EXPECT_EQ(p.At(20, 4), c.right);
    }
    device->SetIndices(nullptr);
    device->SetStreamSource(0, nullptr, 0, 0);
    ib->Release();
    vb->Release();

    // From user memory only the declared vertices are copied: indices outside them are refused.
    const ScreenVertex quad[4] = {
        {0, 0, 0.5f, 1, red}, {8, 0, 0.5f, 1, red}, {0, 8, 0.5f, 1, red}, {8, 8, 0.5f, 1, red}};
    const uint16_t indices[6] = {0, 1, 2, 2, 1, 3};
    device->Clear(0, nullptr, D3DCLEAR_TARGET, black, 1.0f, 0);
    const size_t faults = D3D9::IndexRangeFaults(device);
    EXPECT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 2, indices, D3DFMT_INDEX16, quad,
                                             sizeof(ScreenVertex)),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3D9::IndexRangeFaults(device) - faults, 1u);
    EXPECT_EQ(ReadTarget().At(4, 4), black);
    EXPECT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, indices, D3DFMT_INDEX16, quad,
                                             sizeof(ScreenVertex)),
              D3D_OK);
    EXPECT_EQ(ReadTarget().At(4, 4), red);
}
