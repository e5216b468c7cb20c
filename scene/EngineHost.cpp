#include "scene/EngineHost.h"

#include "rwsdk/driver/d3d9/d3d9ddstex.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/driver/d3d9/d3d9rendst.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/src/texture.h"
#include "rwsdk/tool/bmp/rtbmp.h"
#include "rwsdk/tool/png/rtpng.h"
#include "rwsdk/tool/tiff/rttiff.h"

#include <initializer_list>

namespace Rw {

HWND MainWindow = nullptr;
IDirect3DDevice9* Direct3DDevice = nullptr;
RwRaster* ColourRaster = nullptr;
RwRaster* DepthRaster = nullptr;
bool EngineStarted = false;
bool ImageFormatsRegistered = false;
RwTexture* (*DefaultTextureRead)(const char* name, const char* maskName) = nullptr;

namespace {

bool InitAndOpen(HWND window, uint32_t arenaBytes) {
    RwEngineSetDriver(RwD3D9DeviceRecordGet, RwD3D9RasterPluginAttach);
    if (!RwEngineInit(nullptr, 0, arenaBytes))
        return false;
    RwEngineOpenParams params = {window};
    if (!RwEngineOpen(&params)) {
        RwEngineTerm();
        return false;
    }
    return true;
}

void CloseAndTerm() {
    RwEngineClose();
    RwEngineTerm();
}

bool Exclusive(const RwVideoMode& mode) {
    return mode.flags & rwVIDEOMODEEXCLUSIVE;
}

} // namespace

int FindVideoMode(HWND window, int subsystem, int width, int height, int depth) {
    const bool opened = !EngineStarted;
    if (opened) {
        if (!InitAndOpen(window, 0))
            return 0;
        if (!RwEngineSetSubSystem(subsystem)) {
            CloseAndTerm();
            return 0;
        }
    }
    int found = -1;
    const RwInt32 count = RwEngineGetNumVideoModes();
    for (RwInt32 i = 0; i < count && found < 0; ++i) {
        RwVideoMode mode{};
        if (!RwEngineGetVideoModeInfo(&mode, i))
            continue;
        if (mode.flags == 0) {
            if (width < 1 || height < 1)
                found = i;
        } else if (mode.width == width && mode.height == height && mode.depth == depth) {
            found = i;
        }
    }
    if (opened)
        CloseAndTerm();
    return found;
}

bool StartEngine(uint32_t resourceArenaKB, int subsystem, HWND window, int videoMode, uint32_t refreshRate) {
    MainWindow = window;
    ColourRaster = nullptr;
    DepthRaster = nullptr;
    // The world, toolkit and game plugins attach here as they are built.
    if (!InitAndOpen(window, resourceArenaKB * 1024))
        return false;
    RwSubSystemInfo info{};
    RwEngineGetSubSystemInfo(&info, subsystem);
    RwEngineSetSubSystem(subsystem);
    RwVideoMode mode{};
    RwEngineGetVideoModeInfo(&mode, videoMode);

    int width, height;
    if (Exclusive(mode)) {
        RECT rect = {0, 0, mode.width, mode.height};
        AdjustWindowRectEx(&rect, DWORD(GetWindowLongA(window, GWL_STYLE)), GetMenu(window) != nullptr,
                           DWORD(GetWindowLongA(window, GWL_EXSTYLE)));
        MoveWindow(window, 0, 0, rect.right - rect.left, rect.bottom - rect.top, FALSE);
        ShowCursor(FALSE);
        width = mode.width;
        height = mode.height;
    } else {
        RECT client{};
        GetClientRect(window, &client);
        width = client.right;
        height = client.bottom;
    }

    if (!RwEngineSetVideoMode(videoMode))
        return false;
    if (refreshRate != 0)
        RwD3D9EngineSetRefreshRate(refreshRate);
    if (!RwEngineStart())
        return false;

    Direct3DDevice = RwD3D9Device;
    const RwMatrixTolerance tolerance = {0.0001f, 0.0001f, 0.0001f};
    RwMatrixSetTolerances(&tolerance);
    ColourRaster = RwRasterCreate(width, height, 0, rwRASTERTYPECAMERA);
    DepthRaster = RwRasterCreate(width, height, 0, rwRASTERTYPEZBUFFER);
    ResetRenderStates();
    EngineStarted = true;
    return true;
}

void StopEngine() {
    if (!EngineStarted)
        return;
    ShowCursor(TRUE);
    if (ColourRaster)
        RwRasterDestroy(ColourRaster);
    if (DepthRaster)
        RwRasterDestroy(DepthRaster);
    ColourRaster = DepthRaster = nullptr;
    RwEngineStop();
    RwEngineClose();
    RwEngineTerm();
    Direct3DDevice = nullptr;
    EngineStarted = false;
}

void ResizeDisplay(int width, int height) {
    if (!EngineStarted)
        return;
    RwVideoMode mode{};
    RwEngineGetVideoModeInfo(&mode, RwEngineGetCurrentVideoMode());
    if (Exclusive(mode)) {
        ShowWindow(MainWindow, SW_MAXIMIZE);
        return;
    }
    for (RwRaster* raster : {ColourRaster, DepthRaster}) {
        if (raster) {
            raster->width = width;
            raster->height = height;
        }
    }
    // A camera update on the resized rasters lets the driver make its buffers again at the new size.
    RwCamera* camera = RwCameraCreate();
    RwFrame* frame = RwFrameCreate();
    if (camera && frame) {
        RwCameraSetFrame(camera, frame);
        RwCameraSetRaster(camera, ColourRaster);
        RwCameraSetZRaster(camera, DepthRaster);
        if (RwCameraBeginUpdate(camera))
            RwCameraEndUpdate(camera);
        RwCameraSetRaster(camera, nullptr);
        RwCameraSetZRaster(camera, nullptr);
        RwCameraSetFrame(camera, nullptr);
    }
    if (camera)
        RwCameraDestroy(camera);
    if (frame)
        RwFrameDestroy(frame);
    ResetRenderStates();
}

void ResetRenderStates() {
    RwD3D9SetRenderState(D3DRS_CLIPPING, 1);
    RwD3D9SetRenderState(D3DRS_AMBIENT, 0);
    RwD3D9SetRenderState(D3DRS_COLORVERTEX, 1);
    RwD3D9SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
    RwD3D9SetRenderState(D3DRS_DEPTHBIAS, 0);
    RwD3D9SetRenderState(D3DRS_SCISSORTESTENABLE, 0);
    RwD3D9SetRenderState(D3DRS_SLOPESCALEDEPTHBIAS, 0);
    for (RwUInt32 stage = 0; stage < 4; ++stage) {
        RwD3D9SetTextureStageState(stage, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        RwD3D9SetTextureStageState(stage, D3DTSS_COLORARG2, D3DTA_CURRENT);
        RwD3D9SetTextureStageState(stage, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        RwD3D9SetTextureStageState(stage, D3DTSS_ALPHAARG2, D3DTA_CURRENT);
        RwD3D9SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, stage);
        RwD3D9SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
        for (RwUInt32 state = D3DTSS_BUMPENVMAT00; state <= D3DTSS_BUMPENVMAT11; ++state)
            RwD3D9SetTextureStageState(stage, state, 0);
    }
    for (RwUInt32 sampler = 0; sampler < 4; ++sampler)
        RwD3D9SetSamplerState(sampler, D3DSAMP_MIPMAPLODBIAS, 0);
}

void RegisterImageFormats() {
    RwImageRegisterImageFormat("bmp", RtBMPImageRead, RtBMPImageWrite);
    RwImageRegisterImageFormat("tif", RtTIFFImageRead, nullptr);
    RwImageRegisterImageFormat("png", RtPNGImageRead, RtPNGImageWrite);
    RwTextureSetMipmapping(TRUE);
    RwTextureSetAutoMipmapping(TRUE);
    DefaultTextureRead = RwTextureGetReadCallback();
    RwTextureSetReadCallback(TextureReadCallback);
    ImageFormatsRegistered = true;
}

RwTexture* TextureReadCallback(const char* name, const char* maskName) {
    // A DDS file of the name wins; it carries no mask.
    if (RwTexture* texture = RwD3D9DDSTextureRead(name, nullptr))
        return texture;
    return DefaultTextureRead ? DefaultTextureRead(name, maskName) : nullptr;
}

RwTextureDictionary* DestroyTextureDictionary(RwTextureDictionary* dictionary, void*) {
    // Textures still held elsewhere would outlive the engine: only the dictionary's reference is left.
    RwTextureDictionaryForAllTextures(
        dictionary,
        [](RwTexture* texture, void*) {
            while (texture->refCount > 1)
                RwTextureDestroy(texture);
            return texture;
        },
        nullptr);
    RwTextureDictionaryDestroy(dictionary);
    return dictionary;
}

} // namespace Rw
