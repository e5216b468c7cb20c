#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9texdic.h"

#include "rwsdk/driver/common/cpuext.h"
#include "rwsdk/driver/d3d9/d3d92drend.h"
#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/driver/d3d9/d3d9camera.h"
#include "rwsdk/driver/d3d9/d3d9convrt.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/driver/d3d9/d3d9rasterlock.h"
#include "rwsdk/driver/d3d9/d3d9rendst.h"
#include "rwsdk/driver/d3d9/d3d9rwrendst.h"
#include "rwsdk/driver/d3d9/d3d9vertexbuffer.h"
#include "rwsdk/driver/d3d9/nodeD3D9SubmitNoLight.h"
#include "rwsdk/src/plcore/freelist.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/vector.h"

#include <cstring>

namespace {

const D3DFORMAT listedFormats[] = {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8, D3DFMT_A2R10G10B10};

RwDevice deviceTemplate = {1.0f,
                           RwD3D9System,
                           0.0f,
                           1.0f,
                           _rwD3D9RenderStateSet,
                           _rwD3D9RenderStateGet,
                           _rwD3D9Im2DRenderLine,
                           _rwD3D9Im2DRenderTriangle,
                           _rwD3D9Im2DRenderPrimitive,
                           _rwD3D9Im2DRenderIndexedPrimitive,
                           {nullptr, nullptr, nullptr, nullptr}};

RwBool PassThrough(void* out, void* in, RwInt32) {
    *static_cast<void**>(out) = in;
    return TRUE;
}

RwInt32 RasterFormatOf(RwUInt32 format) {
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_A2R10G10B10:
        return 0x500;
    case D3DFMT_X8R8G8B8:
        return 0x600;
    case D3DFMT_R5G6B5:
        return 0x200;
    case D3DFMT_X1R5G5B5:
        return 0xA00;
    case D3DFMT_A1R5G5B5:
        return 0x100;
    default:
        return 0;
    }
}

bool KnownDesktopFormat(D3DFORMAT f) {
    return f == D3DFMT_A8R8G8B8 || f == D3DFMT_X8R8G8B8 || f == D3DFMT_R5G6B5 || f == D3DFMT_X1R5G5B5 ||
           f == D3DFMT_A1R5G5B5 || f == D3DFMT_A2R10G10B10;
}

void CountModes() {
    RwD3D9DriverState& s = rwD3D9State;
    s.displayModeCount = 0;
    for (D3DFORMAT f : listedFormats)
        s.displayModeCount += s.d3d->GetAdapterModeCount(s.adapter, f);
}

void ReadDesktopMode() {
    RwD3D9DriverState& s = rwD3D9State;
    D3DDISPLAYMODE mode{};
    s.d3d->GetAdapterDisplayMode(s.adapter, &mode);
    s.desktopMode = {mode.Width,  mode.Height, mode.RefreshRate,
                     mode.Format, 0,           RwD3D9FormatDepth(mode.Format)};
}

void FreeModeList() {
    RwD3D9DriverState& s = rwD3D9State;
    if (s.videoModes)
        RwFree(s.videoModes);
    s.videoModes = nullptr;
    s.videoModeCount = 0;
}

bool BuildModeList() {
    RwD3D9DriverState& s = rwD3D9State;
    const size_t capacity = s.displayModeCount + 1;
    auto* modes = static_cast<RwD3D9VideoModeEntry*>(
        s.videoModes ? RwRealloc(s.videoModes, capacity * sizeof(RwD3D9VideoModeEntry), 0x1040411)
                     : RwMalloc(capacity * sizeof(RwD3D9VideoModeEntry), 0x1040411));
    if (!modes)
        return false;
    s.videoModes = modes;
    RwInt32 count = 0;
    if (KnownDesktopFormat(s.desktopMode.format))
        modes[count++] = {s.desktopMode.width, s.desktopMode.height, s.desktopMode.refreshRate,
                          s.desktopMode.format, 0};
    for (D3DFORMAT f : listedFormats) {
        const UINT n = s.d3d->GetAdapterModeCount(s.adapter, f);
        for (UINT i = 0; i < n; ++i) {
            D3DDISPLAYMODE mode{};
            if (FAILED(s.d3d->EnumAdapterModes(s.adapter, f, i, &mode)))
                continue;
            bool merged = false;
            for (RwInt32 j = 1; j < count; ++j) {
                RwD3D9VideoModeEntry& e = modes[j];
                if (e.width == mode.Width && e.height == mode.Height && e.format == RwUInt32(mode.Format)) {
                    if (mode.RefreshRate > e.refreshRate)
                        e.refreshRate = mode.RefreshRate;
                    merged = true;
                    break;
                }
            }
            if (!merged && size_t(count) < capacity)
                modes[count++] = {mode.Width, mode.Height, mode.RefreshRate, RwUInt32(mode.Format), 1};
        }
    }
    if (size_t(count) < capacity && count > 0) {
        if (auto* shrunk = static_cast<RwD3D9VideoModeEntry*>(
                RwRealloc(modes, size_t(count) * sizeof(RwD3D9VideoModeEntry), 0x1040411)))
            s.videoModes = shrunk;
    }
    s.videoModeCount = count;
    return true;
}

bool EnsureModeList() {
    return rwD3D9State.videoModes || BuildModeList();
}

bool CheckDepthFormat(D3DFORMAT display, D3DFORMAT backBuffer, D3DFORMAT depth) {
    RwD3D9DriverState& s = rwD3D9State;
    return s.d3d->CheckDeviceFormat(s.adapter, s.deviceType, display, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                    depth) == D3D_OK &&
           s.d3d->CheckDepthStencilMatch(s.adapter, s.deviceType, display, backBuffer, depth) == D3D_OK;
}

void BuildPresentParameters() {
    RwD3D9DriverState& s = rwD3D9State;
    D3DPRESENT_PARAMETERS& p = s.present;
    std::memset(&p, 0, sizeof p);
    const bool fullScreen = s.currentMode.flags & 1;
    D3DFORMAT display;
    if (!fullScreen) {
        p.Windowed = TRUE;
        p.BackBufferCount = 1;
        p.FullScreen_RefreshRateInHz = 0;
        p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        p.SwapEffect = D3DSWAPEFFECT_COPY;
        RECT rect{};
        GetWindowRect(s.window, &rect);
        p.BackBufferWidth = rect.right - rect.left == 0 ? 1 : 0;
        p.BackBufferHeight = rect.bottom - rect.top == 0 ? 1 : 0;
        p.BackBufferFormat = s.desktopMode.format;
        display = s.desktopMode.format;
    } else {
        p.Windowed = FALSE;
        p.BackBufferCount = 1;
        RwUInt32 rate = s.currentMode.refreshRate;
        if (s.refreshRateLimit < rate)
            rate = s.refreshRateLimit;
        p.FullScreen_RefreshRateInHz = rate;
        p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        p.BackBufferWidth = s.currentMode.width;
        p.BackBufferHeight = s.currentMode.height;
        p.SwapEffect = D3DSWAPEFFECT_FLIP;
        p.BackBufferFormat = s.currentMode.format;
        display = s.currentMode.format;
    }
    if (p.BackBufferFormat == D3DFMT_X8R8G8B8 &&
        s.d3d->CheckDeviceType(s.adapter, s.deviceType, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, p.Windowed) ==
            D3D_OK)
        p.BackBufferFormat = D3DFMT_A8R8G8B8;
    p.EnableAutoDepthStencil = TRUE;
    D3DFORMAT depth = D3DFMT_UNKNOWN;
    bool stencil = false;
    if (RwD3D9FormatDepth(p.BackBufferFormat) == 32) {
        const struct {
            D3DFORMAT format;
            bool stencil;
        } candidates[] = {
            {D3DFMT_D24S8, true}, {D3DFMT_D24X4S4, true}, {D3DFMT_D32, false}, {D3DFMT_D24X8, false}};
        for (const auto& c : candidates) {
            if (CheckDepthFormat(display, p.BackBufferFormat, c.format)) {
                depth = c.format;
                stencil = c.stencil;
                break;
            }
        }
    }
    if (depth == D3DFMT_UNKNOWN) {
        if (CheckDepthFormat(display, p.BackBufferFormat, D3DFMT_D15S1)) {
            depth = D3DFMT_D15S1;
            stencil = true;
        } else {
            depth = D3DFMT_D16;
        }
    }
    p.AutoDepthStencilFormat = depth;
    s.stencil = stencil ? TRUE : FALSE;
    p.MultiSampleType = D3DMULTISAMPLE_NONE;
    p.MultiSampleQuality = 0;
    p.hDeviceWindow = s.window;
    p.Flags = 0;
}

void TakeDefaultSurfaces() {
    RwD3D9DriverState& s = rwD3D9State;
    s.defaultRenderTarget = nullptr;
    s.defaultDepthStencil = nullptr;
    if (SUCCEEDED(RwD3D9Device->GetRenderTarget(0, &s.defaultRenderTarget)) && s.defaultRenderTarget)
        s.defaultRenderTarget->Release();
    if (SUCCEEDED(RwD3D9Device->GetDepthStencilSurface(&s.defaultDepthStencil)) && s.defaultDepthStencil)
        s.defaultDepthStencil->Release();
}

RwBool SystemOpen(void* in) {
    RwD3D9DriverState& s = rwD3D9State;
    const auto* params = static_cast<const RwEngineOpenParams*>(in);
    s.window = params ? static_cast<HWND>(params->displayID) : nullptr;
    s.d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!s.d3d)
        return FALSE;
    s.deviceType = D3DDEVTYPE_HAL;
    const UINT adapters = s.d3d->GetAdapterCount();
    for (UINT a = 0; a < adapters; ++a) {
        D3DCAPS9 caps{};
        if (SUCCEEDED(s.d3d->GetDeviceCaps(a, D3DDEVTYPE_HAL, &caps))) {
            s.adapter = a;
            CountModes();
            ReadDesktopMode();
            s.currentMode = s.desktopMode;
            s.currentModeIndex = 0;
            const RwCpuFeatures cpu = RwCpuGetFeatures();
            s.mmx = cpu.mmx;
            s.sse = cpu.sse;
            s.sse2 = cpu.sse2;
            s.threeDNow = cpu.threeDNow;
            return TRUE;
        }
    }
    s.d3d->Release();
    s.d3d = nullptr;
    return FALSE;
}

RwBool SystemClose() {
    RwD3D9DriverState& s = rwD3D9State;
    FreeModeList();
    if (s.d3d)
        s.d3d->Release();
    s.d3d = nullptr;
    return TRUE;
}

RwBool SystemStart() {
    RwD3D9DriverState& s = rwD3D9State;
    ReadDesktopMode();
    BuildPresentParameters();
    s.d3d->GetDeviceCaps(s.adapter, s.deviceType, &s.caps);
    DWORD flags = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    if (s.caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) {
        flags = D3DCREATE_HARDWARE_VERTEXPROCESSING;
        if (s.caps.DevCaps & D3DDEVCAPS_PUREDEVICE)
            flags |= D3DCREATE_PUREDEVICE;
    }
    if (FAILED(s.d3d->CreateDevice(s.adapter, s.deviceType, s.window, flags, &s.present, &RwD3D9Device))) {
        RwD3D9Device = nullptr;
        s.started = FALSE;
        return FALSE;
    }
    if (s.window) {
        RECT rect{};
        GetClientRect(s.window, &rect);
        s.currentMode.width = RwUInt32(rect.right);
        s.currentMode.height = RwUInt32(rect.bottom);
    }
    TakeDefaultSurfaces();
    RwD3D9ClearTargetCaches();
    RwD3D9ResetStreamAndShaderCaches();
    RwD3D9ResetTransformCache();
    RwD3D9LightCacheClear();
    RwD3D9VideoMemoryRasterListOpen();
    RwIm2DOpen();
    RwD3D9RenderStateOpen();
    RwD3D9VertexBufferManagerOpen();
    s.sceneOpen = FALSE;
    s.started = TRUE;
    return TRUE;
}

RwBool SystemStop() {
    RwD3D9DriverState& s = rwD3D9State;
    s.started = FALSE;
    FreeModeList();
    const RwCpuFeatures cpu = {s.mmx, s.sse, s.sse2, s.threeDNow};
    _rwCpuDeviceInitiateStop(&cpu);
    RwD3D9FreeTransformCache();
    RwD3D9LightCacheFree();
    if (RwD3D9Device) {
        RwD3D9UnbindEverything();
        // The 2D declaration is a cached one: give it back before the cache goes.
        RwIm2DClose();
        RwD3D9FreeVertexDeclarations();
        RwD3D9VideoMemoryRasterListClose();
        RwD3D9VertexBufferManagerClose();
        RwD3D9Device->Release();
    }
    RwD3D9Device = nullptr;
    s.sceneOpen = FALSE;
    return TRUE;
}

RwBool SystemFinalizeStart() {
    const RwD3D9DriverState& s = rwD3D9State;
    const RwCpuFeatures cpu = {s.mmx, s.sse, s.sse2, s.threeDNow};
    _rwCpuDeviceFinalizeStart(&cpu);
    return TRUE;
}

} // namespace

RwD3D9DriverState rwD3D9State;
IDirect3DDevice9* RwD3D9Device = nullptr;

RwUInt32 RwD3D9FormatDepth(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A2R10G10B10:
        return 32;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
        return 16;
    default:
        return 0;
    }
}

RwBool RwD3D9HasHardwareTnL() {
    return (rwD3D9State.caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) ? TRUE : FALSE;
}

RwDevice* RwD3D9DeviceRecordGet() {
    return &deviceTemplate;
}

const D3DCAPS9* RwD3D9GetCaps() {
    return &rwD3D9State.caps;
}

RwBool RwD3D9GetStandardFunctions(void* tableObject, void*, RwInt32 count) {
    auto* table = static_cast<RwStandardFunc*>(tableObject);
    for (RwInt32 i = 0; i < count; ++i)
        table[i] = RwStubReturnZero;
    if (count <= 1)
        return TRUE;
    const struct {
        RwInt32 slot;
        RwStandardFunc routine;
    } routines[] = {
        {rwSTANDARDCAMERABEGINUPDATE, RwD3D9CameraBeginUpdateStd},
        {rwSTANDARDCAMERAENDUPDATE, RwD3D9CameraEndUpdateStd},
        {rwSTANDARDRASTERSHOWRASTER, RwD3D9RasterShowRasterStd},
        {rwSTANDARDCAMERACLEAR, RwD3D9CameraClearStd},
        {rwSTANDARDRASTERCREATE, RwD3D9RasterCreateStd},
        {rwSTANDARDRASTERDESTROY, RwD3D9RasterDestroyStd},
        {rwSTANDARDTEXTURESETRASTER, PassThrough},
        {rwSTANDARDRASTERSUBRASTER, RwD3D9RasterSubRasterStd},
        {rwSTANDARDRASTERGETMIPLEVELS, RwD3D9RasterGetMipLevelsStd},
        {rwSTANDARDRGBTOPIXEL, RwRGBAToPixel},
        {rwSTANDARDPIXELTORGB, RwRGBAFromPixel},
        {rwSTANDARDIMAGEGETRASTER, RwD3D9ImageFromRaster},
        {rwSTANDARDRASTERSETIMAGE, RwD3D9RasterFromImage},
        {rwSTANDARDIMAGEFINDRASTERFORMAT, RwD3D9ImageFindRasterFormat},
        {rwSTANDARDSETRASTERCONTEXT, RwD3D9SetRasterContextStd},
        {rwSTANDARDRASTERCLEARRECT, RwD3D9RasterClearRectStd},
        {rwSTANDARDRASTERCLEAR, RwD3D9RasterClearStd},
        {rwSTANDARDRASTERLOCK, RwD3D9RasterLockStd},
        {rwSTANDARDRASTERUNLOCK, RwD3D9RasterUnlockStd},
        {rwSTANDARDRASTERRENDER, RwD3D9RasterRenderStd},
        {rwSTANDARDRASTERRENDERSCALED, RwD3D9RasterRenderScaledStd},
        {rwSTANDARDRASTERRENDERFAST, RwD3D9RasterRenderFastStd},
        {rwSTANDARDRASTERLOCKPALETTE, RwD3D9RasterLockPaletteStd},
        {rwSTANDARDRASTERUNLOCKPALETTE, RwD3D9RasterUnlockPaletteStd},
        {rwSTANDARDNATIVETEXTUREGETSIZE, RwD3D9NativeTextureGetSize},
        {rwSTANDARDNATIVETEXTUREREAD, RwD3D9NativeTextureRead},
        {rwSTANDARDNATIVETEXTUREWRITE, RwD3D9NativeTextureWrite},
    };
    for (const auto& r : routines) {
        if (r.slot < count)
            table[r.slot] = r.routine;
    }
    return TRUE;
}

void RwD3D9EngineSetRefreshRate(RwUInt32 rate) {
    RwD3D9DriverState& s = rwD3D9State;
    s.refreshRateLimit = rate;
    if (rate == 0 || !s.d3d)
        return;
    RwUInt32 below = 0;
    for (D3DFORMAT f : listedFormats) {
        const UINT n = s.d3d->GetAdapterModeCount(s.adapter, f);
        for (UINT i = n; i-- > 0;) {
            D3DDISPLAYMODE mode{};
            if (FAILED(s.d3d->EnumAdapterModes(s.adapter, f, i, &mode)))
                continue;
            if (mode.RefreshRate == rate)
                return;
            if (mode.RefreshRate < rate && mode.RefreshRate > below)
                below = mode.RefreshRate;
        }
    }
    s.refreshRateLimit = below;
}

RwBool RwD3D9System(RwInt32 request, void* pOut, void* pInOut, RwInt32 nIn) {
    RwD3D9DriverState& s = rwD3D9State;
    switch (request) {
    case rwDEVICESYSTEMOPEN:
        return SystemOpen(pInOut);
    case rwDEVICESYSTEMCLOSE:
        return SystemClose();
    case rwDEVICESYSTEMSTART:
        return SystemStart();
    case rwDEVICESYSTEMSTOP:
        return SystemStop();
    case rwDEVICESYSTEMREGISTER:
        *static_cast<RwDevice*>(pOut) = deviceTemplate;
        return TRUE;
    case rwDEVICESYSTEMGETNUMMODES:
        if (!EnsureModeList())
            return FALSE;
        *static_cast<RwInt32*>(pOut) = s.videoModeCount;
        return TRUE;
    case rwDEVICESYSTEMGETMODEINFO: {
        if (!EnsureModeList() || nIn < 0 || nIn >= s.videoModeCount)
            return FALSE;
        const RwD3D9VideoModeEntry& e = s.videoModes[nIn];
        auto* mode = static_cast<RwVideoMode*>(pOut);
        mode->width = RwInt32(e.width);
        mode->height = RwInt32(e.height);
        mode->depth = RwInt32(RwD3D9FormatDepth(D3DFORMAT(e.format)));
        mode->flags = e.flags;
        mode->refRate = RwInt32(e.refreshRate);
        mode->format = RasterFormatOf(e.format);
        return TRUE;
    }
    case rwDEVICESYSTEMUSEMODE: {
        if (s.started || !EnsureModeList() || nIn < 0 || nIn >= s.videoModeCount)
            return FALSE;
        const RwD3D9VideoModeEntry& e = s.videoModes[nIn];
        s.currentMode = {e.width,       e.height,
                         e.refreshRate, D3DFORMAT(e.format),
                         e.flags,       RwD3D9FormatDepth(D3DFORMAT(e.format))};
        s.currentModeIndex = nIn;
        return TRUE;
    }
    case rwDEVICESYSTEMFOCUS:
        if (!RwD3D9Device)
            return FALSE;
        if (s.currentMode.flags & 1)
            ShowWindow(s.window, nIn ? SW_RESTORE : SW_HIDE);
        return TRUE;
    case rwDEVICESYSTEMGETMODE:
        *static_cast<RwInt32*>(pOut) = s.currentModeIndex;
        return TRUE;
    case rwDEVICESYSTEMSTANDARDS:
        return RwD3D9GetStandardFunctions(pOut, pInOut, nIn);
    case rwDEVICESYSTEMGETTEXMEMSIZE:
        *static_cast<RwInt32*>(pOut) = RwD3D9Device ? RwInt32(RwD3D9Device->GetAvailableTextureMem()) : 0;
        return TRUE;
    case rwDEVICESYSTEMGETNUMSUBSYSTEMS:
        *static_cast<RwInt32*>(pOut) = RwInt32(s.d3d->GetAdapterCount());
        return TRUE;
    case rwDEVICESYSTEMGETSUBSYSTEMINFO: {
        D3DADAPTER_IDENTIFIER9 identifier{};
        if (FAILED(s.d3d->GetAdapterIdentifier(UINT(nIn), 0, &identifier)))
            return FALSE;
        RWSRCGLOBAL(stringFuncs)
            .vecStrncpy(static_cast<RwSubSystemInfo*>(pOut)->name, identifier.Description,
                        sizeof(RwSubSystemInfo::name) - 1);
        static_cast<RwSubSystemInfo*>(pOut)->name[sizeof(RwSubSystemInfo::name) - 1] = 0;
        return TRUE;
    }
    case rwDEVICESYSTEMGETCURRENTSUBSYSTEM:
        *static_cast<RwInt32*>(pOut) = RwInt32(s.adapter);
        return TRUE;
    case rwDEVICESYSTEMSETSUBSYSTEM:
        if (nIn < 0 || UINT(nIn) >= s.d3d->GetAdapterCount())
            return FALSE;
        s.adapter = RwUInt32(nIn);
        CountModes();
        ReadDesktopMode();
        BuildModeList();
        return TRUE;
    case rwDEVICESYSTEMFINALIZESTART:
        return SystemFinalizeStart();
    case rwDEVICESYSTEMGETMAXTEXTURESIZE:
        *static_cast<RwInt32*>(pOut) =
            RwInt32(s.caps.MaxTextureWidth > s.caps.MaxTextureHeight ? s.caps.MaxTextureWidth
                                                                     : s.caps.MaxTextureHeight);
        return TRUE;
    case 22:
        *static_cast<RwUInt16*>(pOut) = 2;
        return TRUE;
    default:
        return FALSE;
    }
}

void RwD3D9ReleaseDeviceResources() {
    RwD3D9ResetStreamAndShaderCaches();
    RwD3D9ResetTransformCache();
    RwD3D9UnbindEverything();
    RwD3D9Device->SetRenderTarget(0, rwD3D9State.defaultRenderTarget);
    for (DWORD i = 1; i < 4; ++i)
        RwD3D9Device->SetRenderTarget(i, nullptr);
    RwD3D9Device->SetDepthStencilSurface(rwD3D9State.defaultDepthStencil);
    RwD3D9ClearTargetCaches();
    RwIm2DClose();
    RwD3D9Im3DBuffersRelease();
    RwD3D9DynamicVertexBuffersRelease();
    RwD3D9VideoMemoryRastersRelease();
    RwFreeListPurgeAllFreeLists();
}

RwBool RwD3D9RestoreDeviceResources() {
    TakeDefaultSurfaces();
    bool ok = RwD3D9VideoMemoryRastersRestore();
    ok = RwD3D9DynamicVertexBuffersRestore() && ok;
    RwD3D9RestoreRenderStates();
    RwD3D9LightCacheRestore();
    ok = RwIm2DOpen() && ok;
    ok = RwD3D9Im3DBuffersRestore() && ok;
    if (rwD3D9State.restoreCallback)
        rwD3D9State.restoreCallback();
    return ok ? TRUE : FALSE;
}
