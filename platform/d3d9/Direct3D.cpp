// The Direct3D object: one adapter (the GL driver behind SDL), its display modes and capabilities.
#include "platform/d3d9/Device.h"
#include "platform/d3d9/Formats.h"
#include "platform/d3d9/ShaderTranslator.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/d3d9/Control.h"
#include "platform/win32/Counted.h"

namespace D3D9 {
namespace {

FormatProfile formatProfile;
bool shaderSupport = true;

bool Listed(const std::vector<D3DFORMAT>& formats, D3DFORMAT format) {
    return std::find(formats.begin(), formats.end(), format) != formats.end();
}

class Direct3D final : public Win32::Counted<IDirect3D9> {
public:
    Direct3D() {
        SDL_InitSubSystem(SDL_INIT_VIDEO);
        findModes();
    }
    ~Direct3D() { SDL_QuitSubSystem(SDL_INIT_VIDEO); }

    HRESULT QueryInterface(REFIID, void** object) override {
        if (object)
            *object = nullptr;
        return E_NOINTERFACE;
    }

    UINT GetAdapterCount() override { return 1; }

    HRESULT GetAdapterIdentifier(UINT adapter, DWORD, D3DADAPTER_IDENTIFIER9* identifier) override {
        if (adapter != 0 || !identifier)
            return D3DERR_INVALIDCALL;
        std::memset(identifier, 0, sizeof *identifier);
        std::snprintf(identifier->Driver, sizeof identifier->Driver, "corvane-gl");
        std::snprintf(identifier->Description, sizeof identifier->Description, "OpenGL 3.3 (%s)",
                      SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "no video");
        std::snprintf(identifier->DeviceName, sizeof identifier->DeviceName, "DISPLAY1");
        return D3D_OK;
    }

    UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) override {
        if (adapter != 0)
            return 0;
        return UINT(std::count_if(modes_.begin(), modes_.end(),
                                  [&](const D3DDISPLAYMODE& m) { return m.Format == format; }));
    }

    HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT index, D3DDISPLAYMODE* out) override {
        if (adapter != 0 || !out)
            return D3DERR_INVALIDCALL;
        for (const D3DDISPLAYMODE& m : modes_)
            if (m.Format == format && index-- == 0) {
                *out = m;
                return D3D_OK;
            }
        return D3DERR_INVALIDCALL;
    }

    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override {
        if (adapter != 0 || !mode)
            return D3DERR_INVALIDCALL;
        *mode = desktop_;
        return D3D_OK;
    }

    HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT display, D3DFORMAT backBuffer,
                            BOOL windowed) override {
        if (adapter != 0 || type != D3DDEVTYPE_HAL)
            return D3DERR_INVALIDCALL;
        if (backBuffer == D3DFMT_UNKNOWN && windowed)
            backBuffer = display;
        bool ok = false;
        switch (display) {
        case D3DFMT_X8R8G8B8:
            ok = backBuffer == D3DFMT_X8R8G8B8 || backBuffer == D3DFMT_A8R8G8B8;
            break;
        case D3DFMT_R5G6B5:
            ok = backBuffer == D3DFMT_R5G6B5;
            break;
        default:
            break;
        }
        return ok ? D3D_OK : D3DERR_NOTAVAILABLE;
    }

    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT, DWORD usage, D3DRESOURCETYPE resource,
                              D3DFORMAT format) override {
        if (adapter != 0 || type != D3DDEVTYPE_HAL)
            return D3DERR_INVALIDCALL;
        if (Listed(formatProfile.refused, format))
            return D3DERR_NOTAVAILABLE;
        if (Listed(formatProfile.accepted, format))
            return D3D_OK;
        const FormatInfo* info = FindFormat(format);
        if (!info)
            return D3DERR_NOTAVAILABLE;
        if (resource != D3DRTYPE_SURFACE && resource != D3DRTYPE_TEXTURE && resource != D3DRTYPE_CUBETEXTURE)
            return D3DERR_NOTAVAILABLE;
        if (info->depth && (resource == D3DRTYPE_CUBETEXTURE || !(usage & D3DUSAGE_DEPTHSTENCIL)))
            return D3DERR_NOTAVAILABLE;
        if ((usage & D3DUSAGE_DEPTHSTENCIL) && !info->depth)
            return D3DERR_NOTAVAILABLE;
        if ((usage & D3DUSAGE_RENDERTARGET) && !info->renderTarget)
            return D3DERR_NOTAVAILABLE;
        if ((usage & D3DUSAGE_AUTOGENMIPMAP) && (info->compressed || info->depth))
            return D3DOK_NOAUTOGEN;
        return D3D_OK;
    }

    HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE, D3DFORMAT, BOOL, D3DMULTISAMPLE_TYPE samples,
                                       DWORD* quality) override {
        if (quality)
            *quality = 1;
        return adapter == 0 && samples == D3DMULTISAMPLE_NONE ? D3D_OK : D3DERR_NOTAVAILABLE;
    }

    HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT, D3DFORMAT renderTarget,
                                   D3DFORMAT depthStencil) override {
        if (adapter != 0 || type != D3DDEVTYPE_HAL)
            return D3DERR_INVALIDCALL;
        const FormatInfo* color = FindFormat(renderTarget);
        const FormatInfo* depth = FindFormat(depthStencil);
        return color && color->renderTarget && depth && depth->depth ? D3D_OK : D3DERR_NOTAVAILABLE;
    }

    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override;

    HMONITOR GetAdapterMonitor(UINT) override { return nullptr; }

    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD flags,
                         D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) override {
        if (adapter != 0 || type != D3DDEVTYPE_HAL)
            return D3DERR_INVALIDCALL;
        return Device::Create(this, focusWindow, flags, parameters, device);
    }

private:
    void findModes();

    D3DDISPLAYMODE desktop_{};
    std::vector<D3DDISPLAYMODE> modes_;
};

// The display's modes as 32-bit and 16-bit modes. Where the display offers few (headless, one desktop mode),
// the usual 4:3 sizes up to the desktop's are added, since full screen is drawn into a window of that size.
void Direct3D::findModes() {
    SDL_DisplayMode desk{};
    if (SDL_GetDesktopDisplayMode(0, &desk) != 0) {
        desk.w = 1024;
        desk.h = 768;
    }
    UINT rate = desk.refresh_rate > 0 ? UINT(desk.refresh_rate) : 60;
    desktop_ = {UINT(desk.w), UINT(desk.h), rate, D3DFMT_X8R8G8B8};
    std::vector<D3DDISPLAYMODE> sizes;
    int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode m{};
        if (SDL_GetDisplayMode(0, i, &m) == 0)
            sizes.push_back(
                {UINT(m.w), UINT(m.h), m.refresh_rate > 0 ? UINT(m.refresh_rate) : 60, D3DFMT_UNKNOWN});
    }
    static const UINT standard[][2] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 960}, {1600, 1200}};
    for (const auto& s : standard)
        if (s[0] <= desktop_.Width && s[1] <= desktop_.Height)
            sizes.push_back({s[0], s[1], 60, D3DFMT_UNKNOWN});
    sizes.push_back({desktop_.Width, desktop_.Height, rate, D3DFMT_UNKNOWN});
    std::sort(sizes.begin(), sizes.end(), [](const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) {
        return a.Width != b.Width     ? a.Width < b.Width
               : a.Height != b.Height ? a.Height < b.Height
                                      : a.RefreshRate < b.RefreshRate;
    });
    sizes.erase(std::unique(sizes.begin(), sizes.end(),
                            [](const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) {
                                return a.Width == b.Width && a.Height == b.Height &&
                                       a.RefreshRate == b.RefreshRate;
                            }),
                sizes.end());
    for (D3DFORMAT format : {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8})
        for (D3DDISPLAYMODE m : sizes) {
            m.Format = format;
            modes_.push_back(m);
        }
}

} // namespace

void SetShaderSupport(bool on) {
    shaderSupport = on;
}

void SetFormatProfile(const FormatProfile& profile) {
    formatProfile = profile;
}

namespace {

HRESULT Direct3D::GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) {
    if (adapter != 0 || type != D3DDEVTYPE_HAL || !caps)
        return D3DERR_INVALIDCALL;
    D3DCAPS9 c{};
    c.DeviceType = D3DDEVTYPE_HAL;
    c.AdapterOrdinal = 0;
    c.Caps2 = D3DCAPS2_CANAUTOGENMIPMAP | D3DCAPS2_FULLSCREENGAMMA;
    c.Caps3 = D3DCAPS3_ALPHA_FULLSCREEN_FLIP_OR_DISCARD;
    c.PresentationIntervals = D3DPRESENT_INTERVAL_CAPS;
    c.DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY |
                D3DDEVCAPS_TEXTUREVIDEOMEMORY | D3DDEVCAPS_DRAWPRIMTLVERTEX | D3DDEVCAPS_CANRENDERAFTERFLIP |
                D3DDEVCAPS_DRAWPRIMITIVES2 | D3DDEVCAPS_DRAWPRIMITIVES2EX | D3DDEVCAPS_HWTRANSFORMANDLIGHT |
                D3DDEVCAPS_HWRASTERIZATION | D3DDEVCAPS_PUREDEVICE;
    c.PrimitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW |
                          D3DPMISCCAPS_CULLCCW | D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_BLENDOP |
                          D3DPMISCCAPS_SEPARATEALPHABLEND;
    c.RasterCaps = D3DPRASTERCAPS_DITHER | D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_FOGVERTEX |
                   D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_MIPMAPLODBIAS | D3DPRASTERCAPS_FOGRANGE |
                   D3DPRASTERCAPS_ANISOTROPY | D3DPRASTERCAPS_WFOG | D3DPRASTERCAPS_SCISSORTEST |
                   D3DPRASTERCAPS_SLOPESCALEDEPTHBIAS | D3DPRASTERCAPS_DEPTHBIAS;
    c.ZCmpCaps = c.AlphaCmpCaps = D3DPCMPCAPS_ALL;
    c.SrcBlendCaps = c.DestBlendCaps = D3DPBLENDCAPS_ALL;
    c.ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_SPECULARGOURAUDRGB |
                  D3DPSHADECAPS_ALPHAGOURAUDBLEND | D3DPSHADECAPS_FOGGOURAUD;
    // GL 3.3 samples textures of any size, so neither POW2 nor NONPOW2CONDITIONAL is reported.
    c.TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_PROJECTED |
                    D3DPTEXTURECAPS_CUBEMAP | D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_MIPCUBEMAP;
    c.TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                          D3DPTFILTERCAPS_MINFANISOTROPIC | D3DPTFILTERCAPS_MIPFPOINT |
                          D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT |
                          D3DPTFILTERCAPS_MAGFLINEAR | D3DPTFILTERCAPS_MAGFANISOTROPIC;
    c.CubeTextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                              D3DPTFILTERCAPS_MIPFPOINT | D3DPTFILTERCAPS_MIPFLINEAR |
                              D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    c.TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP |
                           D3DPTADDRESSCAPS_BORDER | D3DPTADDRESSCAPS_INDEPENDENTUV;
    c.MaxTextureWidth = c.MaxTextureHeight = 4096;
    c.MaxTextureRepeat = 8192;
    c.MaxTextureAspectRatio = 4096;
    c.MaxAnisotropy = 16;
    c.MaxVertexW = 1e10f;
    c.GuardBandLeft = c.GuardBandTop = -8192.0f;
    c.GuardBandRight = c.GuardBandBottom = 8192.0f;
    c.StencilCaps = D3DSTENCILCAPS_KEEP | D3DSTENCILCAPS_ZERO | D3DSTENCILCAPS_REPLACE |
                    D3DSTENCILCAPS_INCRSAT | D3DSTENCILCAPS_DECRSAT | D3DSTENCILCAPS_INVERT |
                    D3DSTENCILCAPS_INCR | D3DSTENCILCAPS_DECR;
    c.FVFCaps = 8;
    c.TextureOpCaps =
        D3DTEXOPCAPS_DISABLE | D3DTEXOPCAPS_SELECTARG1 | D3DTEXOPCAPS_SELECTARG2 | D3DTEXOPCAPS_MODULATE |
        D3DTEXOPCAPS_MODULATE2X | D3DTEXOPCAPS_MODULATE4X | D3DTEXOPCAPS_ADD | D3DTEXOPCAPS_ADDSIGNED |
        D3DTEXOPCAPS_ADDSIGNED2X | D3DTEXOPCAPS_SUBTRACT | D3DTEXOPCAPS_ADDSMOOTH |
        D3DTEXOPCAPS_BLENDDIFFUSEALPHA | D3DTEXOPCAPS_BLENDTEXTUREALPHA | D3DTEXOPCAPS_BLENDFACTORALPHA |
        D3DTEXOPCAPS_BLENDTEXTUREALPHAPM | D3DTEXOPCAPS_BLENDCURRENTALPHA |
        D3DTEXOPCAPS_MODULATEALPHA_ADDCOLOR | D3DTEXOPCAPS_MODULATECOLOR_ADDALPHA |
        D3DTEXOPCAPS_MODULATEINVALPHA_ADDCOLOR | D3DTEXOPCAPS_MODULATEINVCOLOR_ADDALPHA |
        D3DTEXOPCAPS_DOTPRODUCT3 | D3DTEXOPCAPS_MULTIPLYADD | D3DTEXOPCAPS_LERP | D3DTEXOPCAPS_BUMPENVMAP;
    c.MaxTextureBlendStages = 8;
    c.MaxSimultaneousTextures = 8;
    c.VertexProcessingCaps = D3DVTXPCAPS_TEXGEN | D3DVTXPCAPS_MATERIALSOURCE7 |
                             D3DVTXPCAPS_DIRECTIONALLIGHTS | D3DVTXPCAPS_POSITIONALLIGHTS |
                             D3DVTXPCAPS_LOCALVIEWER;
    c.MaxActiveLights = 8;
    c.MaxUserClipPlanes = 0;
    c.MaxVertexBlendMatrices = 0;
    c.MaxPointSize = 64.0f;
    c.MaxPrimitiveCount = 0xFFFFF;
    c.MaxVertexIndex = 0xFFFFFF;
    c.MaxStreams = 8;
    c.MaxStreamStride = 255;
    // Shaders are translated to GLSL (ShaderTranslator.h); tests can take them away to reach the paths of
    // a device without them.
    if (shaderSupport) {
        c.VertexShaderVersion = D3DVS_VERSION(1, 1);
        c.MaxVertexShaderConst = VertexShaderConstants;
        c.PixelShaderVersion = D3DPS_VERSION(1, 3);
        c.PixelShader1xMaxValue = 1.0f;
    } else {
        c.VertexShaderVersion = 0;
        c.MaxVertexShaderConst = 0;
        c.PixelShaderVersion = 0;
        c.PixelShader1xMaxValue = 0.0f;
    }
    c.DevCaps2 = D3DDEVCAPS2_STREAMOFFSET;
    c.MasterAdapterOrdinal = 0;
    c.AdapterOrdinalInGroup = 0;
    c.NumberOfAdaptersInGroup = 1;
    c.DeclTypes = D3DDTCAPS_UBYTE4 | D3DDTCAPS_UBYTE4N | D3DDTCAPS_SHORT2N | D3DDTCAPS_SHORT4N |
                  D3DDTCAPS_USHORT2N | D3DDTCAPS_USHORT4N | D3DDTCAPS_UDEC3 | D3DDTCAPS_FLOAT16_2 |
                  D3DDTCAPS_FLOAT16_4;
    c.NumSimultaneousRTs = 1;
    c.StretchRectFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MAGFPOINT |
                              D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MAGFLINEAR;
    *caps = c;
    return D3D_OK;
}

} // namespace
} // namespace D3D9

IDirect3D9* Direct3DCreate9(UINT sdkVersion) {
    // The debug runtime's version has the top bit set.
    if ((sdkVersion & 0x7FFFFFFF) != D3D_SDK_VERSION)
        return nullptr;
    return new D3D9::Direct3D();
}
