#include "rwsdk/driver/d3d9/d3d9camera.h"

#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/driver/d3d9/d3d9vertexbuffer.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/vector.h"

namespace {

bool pendingCopy = false;
RwUInt32 resetCount = 0;

HRESULT Reset() {
    ++resetCount;
    return RwD3D9Device->Reset(&rwD3D9State.present);
}

// Release, reset, restore; true when all of it worked.
bool ResetAndRestore() {
    RwD3D9ReleaseDeviceResources();
    if (FAILED(Reset()))
        return false;
    return RwD3D9RestoreDeviceResources();
}

// Follows a change of the window's client size; false when the frame must be skipped.
bool CheckWindowSize() {
    RwD3D9DriverState& s = rwD3D9State;
    RECT rect{};
    GetClientRect(s.window, &rect);
    if (rect.right == 0 || rect.bottom == 0 || IsIconic(s.window))
        return false;
    const RwUInt32 width = RwUInt32(rect.right), height = RwUInt32(rect.bottom);
    if (width == s.currentMode.width && height == s.currentMode.height)
        return true;
    RwD3D9ReleaseDeviceResources();
    const RwBool windowed = s.present.Windowed;
    if (SUCCEEDED(RwD3D9Device->TestCooperativeLevel()) && windowed) {
        s.present.BackBufferWidth = width;
        s.present.BackBufferHeight = height;
    }
    if (SUCCEEDED(Reset()) && RwD3D9RestoreDeviceResources()) {
        s.currentMode.width = width;
        s.currentMode.height = height;
        return true;
    }
    RwD3D9ReleaseDeviceResources();
    if (!windowed)
        return false;
    s.present.BackBufferWidth = s.currentMode.width;
    s.present.BackBufferHeight = s.currentMode.height;
    if (FAILED(Reset()))
        return false;
    LONG style = GetWindowLongA(s.window, GWL_STYLE);
    if (style & WS_MAXIMIZE) {
        style &= ~LONG(WS_MAXIMIZE);
        SetWindowLongA(s.window, GWL_STYLE, style);
    }
    RECT outer = {0, 0, LONG(s.currentMode.width), LONG(s.currentMode.height)};
    AdjustWindowRectEx(&outer, DWORD(style), GetMenu(s.window) != nullptr,
                       DWORD(GetWindowLongA(s.window, GWL_EXSTYLE)));
    SetWindowPos(s.window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    RwD3D9RestoreDeviceResources();
    return true;
}

void SetViewMatrix(RwCamera* camera) {
    RwMatrix inverse;
    RwMatrixInvert(&inverse, &RwCameraGetFrame(camera)->ltm);
    D3DMATRIX view = {{{inverse.right.x, inverse.right.y, inverse.right.z, 0.0f, inverse.up.x, inverse.up.y,
                        inverse.up.z, 0.0f, inverse.at.x, inverse.at.y, inverse.at.z, 0.0f, inverse.pos.x,
                        inverse.pos.y, inverse.pos.z, 1.0f}}};
    // The engine's camera looks down +z with x to the left; mirror x for Direct3D.
    for (auto& row : view.m)
        row[0] = -row[0];
    RwD3D9SetTransform(D3DTS_VIEW, &view);
}

void SetProjection(const RwCamera* camera) {
    D3DMATRIX p = {};
    const RwReal rx = camera->recipViewWindow.x, ry = camera->recipViewWindow.y;
    const RwReal ox = camera->viewOffset.x, oy = camera->viewOffset.y;
    const RwReal n = camera->nearPlane, f = camera->farPlane;
    p.m[0][0] = rx;
    p.m[1][1] = ry;
    p.m[2][0] = ox * rx;
    p.m[2][1] = oy * ry;
    p.m[3][0] = -ox * rx;
    p.m[3][1] = -oy * ry;
    if (camera->projectionType == rwPARALLEL) {
        p.m[2][2] = 1.0f / (f - n);
        p.m[2][3] = 0.0f;
        p.m[3][3] = 1.0f;
    } else {
        p.m[2][2] = f / (f - n);
        p.m[2][3] = 1.0f;
        p.m[3][3] = 0.0f;
    }
    p.m[3][2] = -p.m[2][2] * n;
    RwD3D9SetTransform(D3DTS_PROJECTION, &p);
}

bool HasRenderTargetUsage(RwRaster* raster) {
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster->parentRaster);
    if (!ext->texture)
        return false;
    D3DSURFACE_DESC desc{};
    static_cast<IDirect3DTexture9*>(ext->texture)->GetLevelDesc(0, &desc);
    return desc.Usage & D3DUSAGE_RENDERTARGET;
}

// A camera on another window: follows that window's client size, then draws into its swap chain's back
// buffer with the camera's z raster.
bool BindWindowTargets(RwCamera* camera) {
    RwRaster* raster = camera->frameBuffer;
    const HWND window = RwD3D9RasterExtension(raster->parentRaster)->window;
    RECT rect{};
    GetClientRect(window, &rect);
    if (rect.right == 0 || rect.bottom == 0)
        return false;
    const RwInt32 width = rect.right, height = rect.bottom;
    if (width == raster->width && height == raster->height) {
        RwRaster* z = camera->zBuffer;
        if (z && z->parentRaster == z && (z->width != width || z->height != height)) {
            RwRasterDestroy(z);
            camera->zBuffer = RwRasterCreate(width, height, 0, rwRASTERTYPEZBUFFER);
        }
    } else if (!RwD3D9CameraSetWindow(camera, window)) {
        return false;
    }
    raster = camera->frameBuffer;
    IDirect3DSwapChain9* chain = RwD3D9RasterExtension(raster->parentRaster)->swapChain;
    IDirect3DSurface9* backBuffer = nullptr;
    if (!chain || FAILED(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &backBuffer)) || !backBuffer)
        return false;
    RwD3D9SetRenderTarget(0, backBuffer);
    backBuffer->Release();
    IDirect3DSurface9* depth = camera->zBuffer ? RwD3D9RasterGetSurface(camera->zBuffer) : nullptr;
    RwD3D9SetDepthStencilSurface(depth);
    if (depth)
        depth->Release();
    return true;
}

// Binds the camera's rasters as render target and depth surface, and sets the viewport.
bool BindTargets(RwCamera* camera) {
    RwRaster* raster = camera->frameBuffer;
    if (!raster)
        return false;
    const RwInt32 type = raster->cType & rwRASTERTYPEMASK;
    if (type == rwRASTERTYPECAMERA && RwD3D9RasterExtension(raster->parentRaster)->window) {
        if (!BindWindowTargets(camera))
            return false;
        raster = camera->frameBuffer;
    } else if (!CheckWindowSize()) {
        return false;
    } else if (type == rwRASTERTYPECAMERATEXTURE) {
        if (!HasRenderTargetUsage(raster)) {
            RwD3D9SetRenderTarget(0, rwD3D9State.defaultRenderTarget);
            pendingCopy = true;
        } else {
            RwD3D9SetRenderTargetRaster(0, raster);
        }
        RwRaster* z = camera->zBuffer;
        if (!z) {
            RwD3D9SetDepthStencilSurface(nullptr);
        } else if ((z->cType & rwRASTERTYPEMASK) == rwRASTERTYPEZBUFFER) {
            RwD3D9SetDepthStencilSurface(
                static_cast<IDirect3DSurface9*>(RwD3D9RasterExtension(z->parentRaster)->texture));
        } else if (IDirect3DSurface9* surface = RwD3D9RasterGetSurface(z)) {
            RwD3D9SetDepthStencilSurface(surface);
            surface->Release();
        }
    } else {
        RwD3D9SetRenderTarget(0, rwD3D9State.defaultRenderTarget);
        RwD3D9SetDepthStencilSurface(rwD3D9State.defaultDepthStencil);
    }
    D3DVIEWPORT9 viewport = {DWORD(RwInt32(raster->nOffsetX)),
                             DWORD(RwInt32(raster->nOffsetY)),
                             DWORD(raster->width),
                             DWORD(raster->height),
                             0.0f,
                             1.0f};
    RwD3D9Device->SetViewport(&viewport);
    return true;
}

D3DTEXTUREFILTERTYPE StretchFilter() {
    return (rwD3D9State.caps.StretchRectFilterCaps & 0x1000100) ? D3DTEXF_POINT : D3DTEXF_NONE;
}

void CopyBackBufferInto(RwRaster* raster) {
    IDirect3DSurface9* surface = RwD3D9RasterGetSurface(raster);
    if (!surface)
        return;
    const RECT rect = {raster->nOffsetX, raster->nOffsetY, raster->nOffsetX + raster->width,
                       raster->nOffsetY + raster->height};
    RwD3D9Device->StretchRect(rwD3D9State.defaultRenderTarget, &rect, surface, &rect, StretchFilter());
    surface->Release();
}

} // namespace

RwUInt32 RwD3D9GetResetCount() {
    return resetCount;
}

RwBool RwD3D9BeginScene() {
    RwD3D9DriverState& s = rwD3D9State;
    const HRESULT level = RwD3D9Device->TestCooperativeLevel();
    if (level == D3DERR_DEVICENOTRESET) {
        RwD3D9ReleaseDeviceResources();
        HRESULT hr = Reset();
        if (hr == D3DERR_INVALIDCALL && s.present.Windowed) {
            D3DDISPLAYMODE mode{};
            s.d3d->GetAdapterDisplayMode(s.adapter, &mode);
            s.present.BackBufferFormat = mode.Format;
            s.desktopMode.format = mode.Format;
            s.desktopMode.depth = RwD3D9FormatDepth(mode.Format);
            hr = Reset();
        }
        if (FAILED(hr)) {
            s.sceneOpen = FALSE;
            return FALSE;
        }
        RwD3D9RestoreDeviceResources();
    } else if (FAILED(level)) {
        s.sceneOpen = FALSE;
        return FALSE;
    }
    if (!s.sceneOpen && SUCCEEDED(RwD3D9Device->BeginScene()))
        s.sceneOpen = TRUE;
    return s.sceneOpen;
}

RwBool RwD3D9CameraBeginUpdate(RwCamera* camera) {
    RwProcessorSetSinglePrecision();
    RWSRCGLOBAL(curCamera) = camera;
    SetViewMatrix(camera);
    SetProjection(camera);
    RwD3D9ClearWorldIdentityFlag();
    if (!BindTargets(camera))
        return FALSE;
    return RwD3D9BeginScene();
}

RwBool RwD3D9CameraClear(RwCamera* camera, const RwRGBA* colour, RwInt32 clearMode) {
    D3DCOLOR color = 0;
    if ((clearMode & rwCAMERACLEARIMAGE) && colour)
        color = D3DCOLOR_ARGB(colour->alpha, colour->red, colour->green, colour->blue);
    if (!BindTargets(camera))
        return FALSE;
    RwRaster* raster = camera->frameBuffer;
    const bool cameraTexture = (raster->cType & rwRASTERTYPEMASK) == rwRASTERTYPECAMERATEXTURE;
    DWORD flags = 0;
    if (!cameraTexture) {
        if (clearMode & rwCAMERACLEARIMAGE)
            flags |= D3DCLEAR_TARGET;
        if (clearMode & rwCAMERACLEARZ)
            flags |= D3DCLEAR_ZBUFFER;
        if ((clearMode & (rwCAMERACLEARZ | rwCAMERACLEARSTENCIL)) && rwD3D9State.stencil)
            flags |= D3DCLEAR_STENCIL;
    } else {
        flags = DWORD(clearMode & 7);
        if (!camera->zBuffer)
            flags &= ~DWORD(D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
    }
    if (FAILED(RwD3D9Device->Clear(0, nullptr, flags, color, 1.0f, 0)))
        return FALSE;
    if (cameraTexture && pendingCopy)
        CopyBackBufferInto(raster);
    return TRUE;
}

RwBool RwD3D9CameraEndUpdate(RwCamera* camera) {
    RwCamera* current = RWSRCGLOBAL(curCamera);
    if (current && current == camera && pendingCopy && current->frameBuffer &&
        (current->frameBuffer->cType & rwRASTERTYPEMASK) == rwRASTERTYPECAMERATEXTURE) {
        CopyBackBufferInto(current->frameBuffer);
        pendingCopy = false;
    }
    RWSRCGLOBAL(curCamera) = nullptr;
    return TRUE;
}

RwBool RwD3D9RasterShowRaster(RwRaster* raster, void*, RwUInt32 flags) {
    RwD3D9DriverState& s = rwD3D9State;
    if (s.sceneOpen) {
        RwD3D9Device->EndScene();
        s.sceneOpen = FALSE;
    }
    const UINT interval = (flags & 1) ? D3DPRESENT_INTERVAL_ONE : D3DPRESENT_INTERVAL_IMMEDIATE;
    if (interval != s.present.PresentationInterval) {
        s.present.PresentationInterval = interval;
        ResetAndRestore();
    }
    IDirect3DSwapChain9* chain = raster ? RwD3D9RasterExtension(raster->parentRaster)->swapChain : nullptr;
    const HRESULT hr = chain ? chain->Present(nullptr, nullptr, nullptr, nullptr, 0)
                             : RwD3D9Device->Present(nullptr, nullptr, nullptr, nullptr);
    if (hr == D3DERR_DEVICELOST && RwD3D9Device->TestCooperativeLevel() == D3DERR_DEVICENOTRESET)
        ResetAndRestore();
    RwD3D9DynamicVertexBuffersNextFrame();
    return SUCCEEDED(hr) ? TRUE : FALSE;
}

RwBool RwD3D9CameraBeginUpdateStd(void*, void* camera, RwInt32) {
    return RwD3D9CameraBeginUpdate(static_cast<RwCamera*>(camera));
}

RwBool RwD3D9CameraEndUpdateStd(void*, void* camera, RwInt32) {
    return RwD3D9CameraEndUpdate(static_cast<RwCamera*>(camera));
}

RwBool RwD3D9CameraClearStd(void* camera, void* colour, RwInt32 clearMode) {
    return RwD3D9CameraClear(static_cast<RwCamera*>(camera), static_cast<const RwRGBA*>(colour), clearMode);
}

RwBool RwD3D9RasterShowRasterStd(void* raster, void* window, RwInt32 flags) {
    return RwD3D9RasterShowRaster(static_cast<RwRaster*>(raster), window, RwUInt32(flags));
}

RwBool RwD3D9CameraSetWindow(RwCamera* camera, HWND window) {
    RwD3D9DriverState& s = rwD3D9State;
    if (!camera || !window || !s.present.Windowed || window == s.window)
        return FALSE;
    D3DPRESENT_PARAMETERS present = s.present;
    present.hDeviceWindow = window;
    RECT rect{};
    GetWindowRect(window, &rect);
    present.BackBufferWidth = rect.right == rect.left ? 1 : 0;
    present.BackBufferHeight = rect.bottom == rect.top ? 1 : 0;
    // The swap chain comes first: when it cannot be made, the camera keeps the rasters it has.
    IDirect3DSwapChain9* chain = nullptr;
    if (FAILED(RwD3D9Device->CreateAdditionalSwapChain(&present, &chain)) || !chain)
        return FALSE;
    IDirect3DSurface9* backBuffer = nullptr;
    D3DSURFACE_DESC desc{};
    if (FAILED(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &backBuffer)) || !backBuffer) {
        chain->Release();
        return FALSE;
    }
    backBuffer->GetDesc(&desc);
    backBuffer->Release();
    const RwInt32 width = RwInt32(desc.Width), height = RwInt32(desc.Height);
    RwRaster* colour = RwRasterCreate(width, height, 0, rwRASTERTYPECAMERA | rwRASTERDONTALLOCATE);
    RwRaster* depth = colour ? RwRasterCreate(width, height, 0, rwRASTERTYPEZBUFFER) : nullptr;
    if (!colour || !depth) {
        if (colour)
            RwRasterDestroy(colour);
        chain->Release();
        return FALSE;
    }
    static constexpr RwD3D9FormatInfo unknown{};
    const RwD3D9FormatInfo* known = RwD3D9FindFormatInfo(desc.Format);
    const RwD3D9FormatInfo& info = known ? *known : unknown;
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(colour);
    ext->swapChain = chain;
    ext->window = window;
    ext->d3dFormat = desc.Format;
    ext->alpha = info.alpha;
    colour->depth = info.depth;
    colour->cFormat = RwUInt8(info.rwFormat >> 8);
    if (camera->frameBuffer)
        RwRasterDestroy(camera->frameBuffer);
    if (camera->zBuffer)
        RwRasterDestroy(camera->zBuffer);
    camera->frameBuffer = colour;
    camera->zBuffer = depth;
    return TRUE;
}
