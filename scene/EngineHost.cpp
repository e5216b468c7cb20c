#include "scene/EngineHost.h"
#include "scene/StreamedTexture.h"

#include "scene/AtomicData.h"
#include "scene/Frame.h"
#include "scene/Wrappers.h"

#include "base/String.h"

#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/plugin/hanim/rphanim.h"
#include "rwsdk/plugin/matfx/rpmatfx.h"
#include "rwsdk/plugin/random/rprandom.h"
#include "rwsdk/plugin/spline/rpspline.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/texture.h"
#include "rwsdk/tool/anim/rtanim.h"
#include "rwsdk/tool/bmp/rtbmp.h"
#include "rwsdk/tool/charse/rtcharse.h"
#include "rwsdk/tool/imagefail/rtimagefail.h"
#include "rwsdk/tool/png/rtpng.h"
#include "rwsdk/tool/tiff/rttiff.h"
#include "rwsdk/world/baclump.h"
#include "rwsdk/world/bamateri.h"
#include "rwsdk/world/baworld.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <mutex>
#include <set>
#include <string>

namespace Rw {

HWND MainWindow = nullptr;
IDirect3DDevice9* Direct3DDevice = nullptr;
RwRaster* ColourRaster = nullptr;
RwRaster* DepthRaster = nullptr;
RtCharset* DebugCharset = nullptr;
bool EngineStarted = false;
std::string StartFailure;
bool ImageFormatsRegistered = false;
RpAtomic* DummyAtomic = nullptr;
RwTexture* (*DefaultTextureRead)(const char* name, const char* maskName) = nullptr;

namespace {

// Engine plugins must be registered between the engine's initialisation and its opening, in this order (the
// results are not looked at): world, material effects, user data, random numbers, collision, hierarchical
// animation, splines; the wrapper back-pointer plugins of frame, atomic, clump, light, camera and world; the
// atomic level-of-detail data; the animation toolkit. Each attaches here once it exists.
void AttachPlugins() {
    RpWorldPluginAttach();
    RpMatFXPluginAttach();
    RpUserDataPluginAttach();
    RpRandomPluginAttach();
    RpCollisionPluginAttach();
    RpHAnimPluginAttach();
    RpSplinePluginAttach();
    Frame::RegisterPlugins();
    RegisterWrapperPlugins();
    AtomicLodData::RegisterPlugin();
    RtAnimToolkitAttach();
}

bool InitAndOpen(HWND window, uint32_t arenaBytes, bool withPlugins) {
    RwEngineSetDriver(RwD3D9DeviceRecordGet, RwD3D9RasterPluginAttach);
    if (!RwEngineInit(nullptr, 0, arenaBytes))
        return false;
    if (withPlugins)
        AttachPlugins();
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

// What the engine's pending error code means, for the start-up's message.
const char* ErrorMeaning(RwInt32 code) {
    switch (RwUInt32(code)) {
    case E_RW_BADENGINESTATE:
        return "the engine was in the wrong state";
    case E_RW_BADOPEN:
        return "a file could not be opened";
    case E_RW_INVRASTERFORMAT:
        return "a raster format is not valid for its type";
    case E_RW_NOMEM:
        return "out of memory";
    case E_RW_NULLP:
        return "a required argument was missing";
    case E_RW_PLUGININIT:
        return "a plugin could not be registered";
    case E_RW_RESOURCEARENA:
        return "the resource arena could not be made";
    case E_RW_DEVICEREQUEST:
        return "the device did not handle a request";
    default:
        return nullptr;
    }
}

// The failed step, with the engine's pending error when there is one.
bool Failed(std::string what) {
    RwError error{};
    RwErrorGet(&error);
    if (error.errorCode != RwInt32(E_RW_NOERROR)) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%X", RwUInt32(error.errorCode));
        what += std::string(" (engine error ") + code;
        if (const char* meaning =
                error.pluginID == 0 || error.errorCode >= 0 ? ErrorMeaning(error.errorCode) : nullptr)
            what += std::string(": ") + meaning;
        what += ")";
    }
    StartFailure = what + ".";
    return false;
}

// One black triangle with all three corners at the origin, on its own frame: the clouds and the terrain draw
// through it.
RpAtomic* CreateDummyAtomic() {
    RpAtomic* atomic = RpAtomicCreate();
    if (!atomic)
        return nullptr;
    RpAtomicSetFrame(atomic, RwFrameCreate());
    RpGeometry* geometry = RpGeometryCreate(3, 1, rpGEOMETRYPOSITIONS | rpGEOMETRYLIGHT);
    RpMaterial* material = RpMaterialCreate();
    if (geometry && material) {
        const RwRGBA black = {0, 0, 0, 255};
        RpMaterialSetColor(material, &black);
        RwV3d* verts = geometry->morphTarget[0].verts;
        for (int i = 0; i < 3; ++i)
            verts[i] = {0, 0, 0};
        RpGeometryTriangleSetVertexIndices(geometry, &geometry->triangles[0], 0, 1, 2);
        RpGeometryTriangleSetMaterial(geometry, &geometry->triangles[0], material);
        RpGeometryUnlock(geometry);
        RpAtomicSetGeometry(atomic, geometry, 0);
    }
    if (material)
        RpMaterialDestroy(material);
    if (geometry)
        RpGeometryDestroy(geometry);
    return atomic;
}

bool Exclusive(const RwVideoMode& mode) {
    return mode.flags & rwVIDEOMODEEXCLUSIVE;
}

} // namespace

int NearestVideoMode(HWND window, int subsystem, int width, int height, int depth, int& foundWidth,
                     int& foundHeight) {
    foundWidth = foundHeight = 0;
    const bool opened = !EngineStarted;
    if (opened && !InitAndOpen(window, 0, false))
        return 0;
    int found = 0;
    if (!opened || RwEngineSetSubSystem(subsystem)) {
        long best = -1;
        const RwInt32 count = RwEngineGetNumVideoModes();
        for (RwInt32 i = 0; i < count; ++i) {
            RwVideoMode mode{};
            if (!RwEngineGetVideoModeInfo(&mode, i) || !Exclusive(mode) || mode.depth != depth)
                continue;
            const long distance = std::labs(long(mode.width) - width) + std::labs(long(mode.height) - height);
            if (best < 0 || distance < best) {
                best = distance;
                found = i;
                foundWidth = mode.width;
                foundHeight = mode.height;
            }
        }
    }
    if (opened)
        CloseAndTerm();
    return found;
}

int FindVideoMode(HWND window, int subsystem, int width, int height, int depth) {
    const bool opened = !EngineStarted;
    // An engine that cannot even be opened has no mode to offer: -1, never a mode index.
    if (opened) {
        if (!InitAndOpen(window, 0, false))
            return -1;
        if (!RwEngineSetSubSystem(subsystem)) {
            CloseAndTerm();
            return -1;
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
    DebugCharset = nullptr;
    StartFailure.clear();
    if (!InitAndOpen(window, resourceArenaKB * 1024, true))
        return Failed("The rendering engine could not be opened on the window (no Direct3D 9 adapter)");
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
        return Failed("The rendering engine has no video mode " + std::to_string(videoMode));
    if (refreshRate != 0)
        RwD3D9EngineSetRefreshRate(refreshRate);
    RwError earlier{};
    RwErrorGet(&earlier); // what the mode and sub-system queries left is not the start's reason
    if (!RwEngineStart()) {
        // A module that fails leaves its reason; a device that cannot be made leaves its start request
        // unanswered.
        RwError pending{};
        RwErrorGet(&pending);
        if (pending.errorCode != RwInt32(E_RW_NOERROR) && pending.errorCode != RwInt32(E_RW_DEVICEREQUEST)) {
            RwErrorSet(&pending);
            return Failed("An engine module failed to start");
        }
        return Failed("The Direct3D 9 device could not be created (it needs OpenGL 3.3)");
    }

    Direct3DDevice = RwD3D9Device;
    const RwMatrixTolerance tolerance = {0.0001f, 0.0001f, 0.0001f};
    RwMatrixSetTolerances(&tolerance);
    RtCharsetOpen();
    const RwRGBA foreground = {0, 0, 0, 255};
    const RwRGBA background = {0, 0, 0, 0};
    DebugCharset = RtCharsetCreate(&foreground, &background);
    ColourRaster = RwRasterCreate(width, height, 0, rwRASTERTYPECAMERA);
    DepthRaster = RwRasterCreate(width, height, 0, rwRASTERTYPEZBUFFER);
    ResetRenderStates();
    DummyAtomic = CreateDummyAtomic();
    EngineStarted = true;
    return true;
}

void StopEngine() {
    if (!EngineStarted)
        return;
    DestroyStreamedTextureSpares();
    if (DummyAtomic) {
        RwFrame* frame = RpAtomicGetFrame(DummyAtomic);
        RpAtomicSetFrame(DummyAtomic, nullptr);
        if (frame)
            RwFrameDestroy(frame);
        RpAtomicDestroy(DummyAtomic);
        DummyAtomic = nullptr;
    }
    ShowCursor(TRUE);
    if (DebugCharset)
        RtCharsetDestroy(DebugCharset);
    DebugCharset = nullptr;
    RtCharsetClose();
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

void SetGammaRamp(const uint8_t rgb[3], float factor) {
    D3DGAMMARAMP ramp{};
    WORD* channels[3] = {ramp.red, ramp.green, ramp.blue};
    for (int c = 0; c < 3; ++c) {
        for (int i = 0; i < 256; ++i) {
            const int value = int(float(i) * float(rgb[c]) * factor);
            channels[c][i] = WORD(value <= 0 ? 0 : value >= 65535 ? 65535 : value);
        }
    }
    if (Direct3DDevice)
        Direct3DDevice->SetGammaRamp(0, 0, &ramp);
}

void WaitForVerticalBlank() {
    if (!Direct3DDevice)
        return;
    // A device that cannot report its raster, or whose report never changes (windowed modes often), would
    // keep the loops spinning: a failed poll ends the wait, and so does a whole refresh period at 20 Hz.
    // The time is looked at only when a poll has not seen the change waited for: a late poll that sees it
    // still ends the wait at the change.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
    for (const bool wanted : {false, true}) {
        D3DRASTER_STATUS status{};
        while (true) {
            if (FAILED(Direct3DDevice->GetRasterStatus(0, &status)))
                return;
            if (bool(status.InVBlank) == wanted)
                break;
            if (std::chrono::steady_clock::now() > limit)
                return;
            Sleep(0);
        }
    }
}

uint32_t RenderStateInForce(uint32_t state) {
    uint32_t value = rwD3D9UnknownValue;
    RwD3D9GetRenderState(state, &value);
    if (value == rwD3D9UnknownValue && RwD3D9Device) {
        // A queued value (a real 0xFFFFFFFF) reaches the device first, so the device's answer is the value.
        RwD3D9RenderStateFlushCache();
        DWORD current = value;
        if (SUCCEEDED(RwD3D9Device->GetRenderState(D3DRENDERSTATETYPE(state), &current)))
            value = current;
    }
    return value;
}

uint32_t TextureStageStateInForce(uint32_t stage, uint32_t type) {
    uint32_t value = rwD3D9UnknownValue;
    RwD3D9GetTextureStageState(stage, type, &value);
    if (value == rwD3D9UnknownValue && RwD3D9Device) {
        RwD3D9RenderStateFlushCache();
        DWORD current = value;
        if (SUCCEEDED(RwD3D9Device->GetTextureStageState(stage, D3DTEXTURESTAGESTATETYPE(type), &current)))
            value = current;
    }
    return value;
}

uint32_t SamplerStateInForce(uint32_t sampler, uint32_t type) {
    uint32_t value = rwD3D9UnknownValue;
    RwD3D9GetSamplerState(sampler, type, &value);
    // Sampler states go to the device at once: nothing is queued.
    if (value == rwD3D9UnknownValue && RwD3D9Device) {
        DWORD current = value;
        if (SUCCEEDED(RwD3D9Device->GetSamplerState(sampler, D3DSAMPLERSTATETYPE(type), &current)))
            value = current;
    }
    return value;
}

void SavedRenderStates::SetRenderState(uint32_t state, uint32_t value) {
    if (state >= RenderStates)
        return;
    if (!renderStateChanged[state]) {
        renderStateValue[state] = RenderStateInForce(state);
        renderStateChanged[state] = 1;
    }
    RwD3D9SetRenderState(state, value);
}

void SavedRenderStates::SetSamplerState(uint32_t sampler, uint32_t state, uint32_t value) {
    if (sampler >= Stages || state >= SamplerStates)
        return;
    if (!samplerStateChanged[sampler][state]) {
        samplerStateValue[sampler][state] = SamplerStateInForce(sampler, state);
        samplerStateChanged[sampler][state] = 1;
    }
    RwD3D9SetSamplerState(sampler, state, value);
}

void SavedRenderStates::SetTextureStageState(uint32_t stage, uint32_t state, uint32_t value) {
    if (stage >= Stages || state >= StageStates)
        return;
    if (!textureStageStateChanged[stage][state]) {
        textureStageStateValue[stage][state] = TextureStageStateInForce(stage, state);
        textureStageStateChanged[stage][state] = 1;
    }
    RwD3D9SetTextureStageState(stage, state, value);
}

void SavedRenderStates::Restore() const {
    // The scissor test goes off on the device at once. The cache must learn it too (and send what it has
    // queued), or a later request to turn it on again would look unchanged and never reach the device.
    if (Direct3DDevice)
        Direct3DDevice->SetRenderState(D3DRS_SCISSORTESTENABLE, 0);
    RwD3D9SetRenderState(D3DRS_SCISSORTESTENABLE, 0);
    RwD3D9RenderStateFlushCache();
    for (uint32_t state = 0; state < RenderStates; ++state)
        if (renderStateChanged[state])
            RwD3D9SetRenderState(state, renderStateValue[state]);
    for (uint32_t sampler = 0; sampler < Stages; ++sampler)
        for (uint32_t state = 0; state < SamplerStates; ++state)
            if (samplerStateChanged[sampler][state])
                RwD3D9SetSamplerState(sampler, state, samplerStateValue[sampler][state]);
    for (uint32_t stage = 0; stage < Stages; ++stage)
        for (uint32_t state = 0; state < StageStates; ++state)
            if (textureStageStateChanged[stage][state])
                RwD3D9SetTextureStageState(stage, state, textureStageStateValue[stage][state]);
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

namespace {

void ReportUnreadTexture(const char* name) {
    // Once a name: whatever uses the texture is drawn without it, and may ask again every time it loads.
    // What the image library said of a file it refused comes along.
    static std::mutex lock;
    static std::set<std::string, std::less<>> told;
    std::lock_guard hold(lock);
    if (!told.emplace(name).second)
        return;
    const char* path = RwImageGetPath();
    const std::string why = RtImageReadFailure();
    std::fprintf(stderr, "Cannot read the texture '%s' (looked in '%s')%s%s.\n", Base::Clip(name).c_str(),
                 Base::Clip(path ? path : "").c_str(), why.empty() ? "" : ": ", why.c_str());
}

} // namespace

RwTexture* TextureReadCallback(const char* name, const char* maskName) {
    RtImageReadFailureClear();
    // A DDS file of the name wins; it carries no mask.
    if (RwTexture* texture = RwD3D9DDSTextureRead(name, nullptr))
        return texture;
    RwTexture* texture = DefaultTextureRead ? DefaultTextureRead(name, maskName) : nullptr;
    if (!texture && name)
        ReportUnreadTexture(name);
    return texture;
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
