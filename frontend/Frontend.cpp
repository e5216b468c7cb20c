#include "frontend/Frontend.h"

#include "frontend/Flyover.h"

#include "audio/MusicPlayer.h"
#include "base/ClumpCache.h"
#include "base/FontCache.h"
#include "base/FrameClock.h"
#include "base/TextTable.h"
#include "gui/draw/Font.h"
#include "gui/draw/ScreenDraw.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/world/rpworld.h"
#include "scene/EngineHost.h"

#include <windows.h>

#include <algorithm>
#include <cmath>

namespace Fe {

namespace {

// Until the pages exist, each update clears the main camera and draws a still picture in 2D.
RwCamera* placeholderCamera = nullptr;

// The sample aircraft turning in front of the camera, lit by the sun and the sky, in a world of its own.
struct Showcase {
    RpWorld* world = nullptr;
    RpClump* clump = nullptr;
    RpLight* sun = nullptr;
    RpLight* sky = nullptr;
    RwFrame* sunFrame = nullptr;
    RwReal distance = 20.0f;
};
Showcase showcase;
bool showcaseTried = false;

RpAtomic* GrowRadius(RpAtomic* atomic, void* data) {
    auto* radius = static_cast<RwReal*>(data);
    const RwSphere* s = RpAtomicGetBoundingSphere(atomic);
    const RwMatrix* m = RwFrameGetWorldMatrix(RpAtomicGetFrame(atomic));
    const RwReal reach =
        std::sqrt(m->pos.x * m->pos.x + m->pos.y * m->pos.y + m->pos.z * m->pos.z) +
        std::sqrt(s->center.x * s->center.x + s->center.y * s->center.y + s->center.z * s->center.z) +
        s->radius;
    *radius = std::max(*radius, reach);
    return atomic;
}

RpAtomic* RenderAtomic(RpAtomic* atomic, void*) {
    if (RpAtomicGetFlags(atomic) & rpATOMICRENDER)
        RpAtomicRender(atomic);
    return atomic;
}

void CreateShowcase(RwCamera* camera) {
    showcaseTried = true;
    RpClump* clump = Base::ClumpCache::Get("Airplanes/F16.dff");
    if (!clump)
        return;
    RwBBox box = {{1000, 1000, 1000}, {-1000, -1000, -1000}};
    showcase.world = RpWorldCreate(&box);
    if (!showcase.world) {
        RpClumpDestroy(clump);
        return;
    }
    RpWorldSetFlags(showcase.world, rpWORLDLIGHT | rpWORLDNORMALS);
    showcase.clump = clump;
    RwReal radius = 1.0f;
    RpClumpForAllAtomics(clump, GrowRadius, &radius);
    showcase.distance = radius * 2.4f;
    RpWorldAddClump(showcase.world, clump);
    showcase.sky = RpLightCreate(rpLIGHTAMBIENT);
    const RwRGBAReal skyColour = {0.35f, 0.38f, 0.45f, 1.0f};
    RpLightSetColor(showcase.sky, &skyColour);
    RpWorldAddLight(showcase.world, showcase.sky);
    showcase.sun = RpLightCreate(rpLIGHTDIRECTIONAL);
    const RwRGBAReal sunColour = {0.85f, 0.82f, 0.75f, 1.0f};
    RpLightSetColor(showcase.sun, &sunColour);
    showcase.sunFrame = RwFrameCreate();
    // The light travels along the frame's at axis: from above, behind the camera and to the left.
    RwMatrix* m = RwFrameGetMatrix(showcase.sunFrame);
    const RwV3d at = {0.42f, -0.6f, 0.68f};
    const RwReal len = std::sqrt(at.x * at.x + at.y * at.y + at.z * at.z);
    m->at = {at.x / len, at.y / len, at.z / len};
    m->right = {m->at.z, 0.0f, -m->at.x};
    const RwReal rl = std::sqrt(m->right.x * m->right.x + m->right.z * m->right.z);
    m->right = {m->right.x / rl, 0.0f, m->right.z / rl};
    m->up = {m->at.y * m->right.z - m->at.z * m->right.y, m->at.z * m->right.x - m->at.x * m->right.z,
             m->at.x * m->right.y - m->at.y * m->right.x};
    m->pos = {0, 0, 0};
    m->flags = 0;
    RwFrameUpdateObjects(showcase.sunFrame);
    RpLightSetFrame(showcase.sun, showcase.sunFrame);
    RpWorldAddLight(showcase.world, showcase.sun);
    RpWorldAddCamera(showcase.world, camera);
}

void DestroyShowcase(RwCamera* camera) {
    if (showcase.world) {
        if (camera)
            RpWorldRemoveCamera(showcase.world, camera);
        RpWorldRemoveClump(showcase.world, showcase.clump);
        RpWorldRemoveLight(showcase.world, showcase.sun);
        RpWorldRemoveLight(showcase.world, showcase.sky);
        RpClumpDestroy(showcase.clump);
        RpLightSetFrame(showcase.sun, nullptr);
        RpLightDestroy(showcase.sun);
        RpLightDestroy(showcase.sky);
        RwFrameDestroy(showcase.sunFrame);
        RpWorldDestroy(showcase.world);
    }
    showcase = {};
    showcaseTried = false;
}

// Turns the aircraft about the vertical, nose a little down, in front of the camera.
void DrawShowcase() {
    if (!showcase.clump)
        return;
    RwFrame* frame = RpClumpGetFrame(showcase.clump);
    const RwReal angle = RwReal(std::fmod(Base::FrameClock::GameTime * 30.0, 360.0));
    const RwV3d yAxis = {0, 1, 0}, xAxis = {1, 0, 0};
    const RwV3d place = {0, 0, showcase.distance};
    RwMatrixRotate(RwFrameGetMatrix(frame), &yAxis, angle, rwCOMBINEREPLACE);
    RwMatrixRotate(RwFrameGetMatrix(frame), &xAxis, 15.0f, rwCOMBINEPOSTCONCAT);
    RwMatrixTranslate(RwFrameGetMatrix(frame), &place, rwCOMBINEPOSTCONCAT);
    RwFrameUpdateObjects(frame);
    Rw::ResetRenderStates();
    RwRenderStateSet(rwRENDERSTATEZTESTENABLE, reinterpret_cast<void*>(uintptr_t(TRUE)));
    RwRenderStateSet(rwRENDERSTATEZWRITEENABLE, reinterpret_cast<void*>(uintptr_t(TRUE)));
    RwRenderStateSet(rwRENDERSTATECULLMODE, reinterpret_cast<void*>(uintptr_t(rwCULLMODECULLNONE)));
    RpClumpForAllAtomics(showcase.clump, RenderAtomic, nullptr);
}

RwIm2DVertex Vertex(float x, float y, RwUInt32 colour) {
    return {x, y, 0.0f, 1.0f, colour, 0.0f, 0.0f};
}

void DrawPlaceholder() {
    if (!Rw::EngineStarted || !Rw::ColourRaster)
        return;
    if (!placeholderCamera) {
        placeholderCamera = RwCameraCreate();
        if (!placeholderCamera)
            return;
        RwCameraSetFrame(placeholderCamera, RwFrameCreate());
        const RwV2d window = {0.5f, 0.375f};
        RwCameraSetViewWindow(placeholderCamera, &window);
        RwCameraSetNearClipPlane(placeholderCamera, 0.5f);
        RwCameraSetFarClipPlane(placeholderCamera, 2000.0f);
    }
    if (!showcaseTried)
        CreateShowcase(placeholderCamera);
    RwCameraSetRaster(placeholderCamera, Rw::ColourRaster);
    RwCameraSetZRaster(placeholderCamera, Rw::DepthRaster);
    if (RwCameraBeginUpdate(placeholderCamera)) {
        RwRGBA clear = {24, 40, 72, 255};
        RwCameraClear(placeholderCamera, &clear, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        Rw::ResetRenderStates();
        RwRenderStateSet(rwRENDERSTATEZTESTENABLE, nullptr);
        RwRenderStateSet(rwRENDERSTATECULLMODE, reinterpret_cast<void*>(uintptr_t(rwCULLMODECULLNONE)));
        const float w = float(Rw::ColourRaster->width), h = float(Rw::ColourRaster->height);
        // Sky fading to the horizon, then the ground.
        RwIm2DVertex sky[4] = {Vertex(0, 0, 0xFF182848), Vertex(w, 0, 0xFF182848),
                               Vertex(0, h * 0.6f, 0xFF8CB4DC), Vertex(w, h * 0.6f, 0xFF8CB4DC)};
        RwIm2DRenderPrimitive(rwPRIMTYPETRISTRIP, sky, 4);
        RwIm2DVertex ground[4] = {Vertex(0, h * 0.6f, 0xFF46643C), Vertex(w, h * 0.6f, 0xFF46643C),
                                  Vertex(0, h, 0xFF1E2A18), Vertex(w, h, 0xFF1E2A18)};
        RwIm2DRenderPrimitive(rwPRIMTYPETRISTRIP, ground, 4);
        const float cx = w * 0.5f;
        // The horizon line.
        RwIm2DVertex horizon[2] = {Vertex(0, h * 0.6f, 0xFFE0E8F0), Vertex(w, h * 0.6f, 0xFFE0E8F0)};
        RwIm2DRenderLine(horizon, 2, 0, 1);
        RwCameraClear(placeholderCamera, &clear, rwCAMERACLEARZ);
        DrawShowcase();
        Rw::ResetRenderStates();
        RwRenderStateSet(rwRENDERSTATEZTESTENABLE, nullptr);
        RwRenderStateSet(rwRENDERSTATECULLMODE, reinterpret_cast<void*>(uintptr_t(rwCULLMODECULLNONE)));
        // The title in the game's own bitmap font.
        if (const Gui::Font* font = Base::FontCache::Get("Verdana24ib.font")) {
            Gui::QueueText({cx, h * 0.15f}, Base::GetText("AppTitle"), {236, 240, 248, 255}, {1, 1}, 0,
                           size_t(-1), {0, 0}, 0, 0);
            Gui::FlushTextQueue(font, rwFILTERLINEAR);
        }
        RwCameraEndUpdate(placeholderCamera);
    }
    RwCameraShowRaster(placeholderCamera, Rw::MainWindow, 0);
}

// The sample world, flown over while there are no pages; the still picture stands in when it cannot start.
Flyover flyover;
bool flyoverTried = false;

bool DrawFlyover(const Base::Config& config) {
    if (!Rw::EngineStarted || !Rw::ColourRaster)
        return false;
    if (!flyoverTried) {
        flyoverTried = true;
        flyover.Start(config, 1);
    }
    if (!flyover.Started())
        return false;
    flyover.Frame(Base::FrameClock::GameTime, Base::FrameClock::FrameTime, Rw::ColourRaster, Rw::DepthRaster,
                  Rw::MainWindow);
    return true;
}

void DestroyPlaceholder() {
    flyover.Stop();
    flyoverTried = false;
    DestroyShowcase(placeholderCamera);
    if (!placeholderCamera)
        return;
    RwFrame* frame = RwCameraGetFrame(placeholderCamera);
    RwCameraSetRaster(placeholderCamera, nullptr);
    RwCameraSetZRaster(placeholderCamera, nullptr);
    RwCameraSetFrame(placeholderCamera, nullptr);
    RwCameraDestroy(placeholderCamera);
    if (frame)
        RwFrameDestroy(frame);
    placeholderCamera = nullptr;
}

} // namespace

Frontend::Frontend(Input::Keyboard*, Input::Mouse*, Input::Joystick* joystick, MPlr::Session* session)
    : session(session), music(nullptr), joystick(joystick) {
    config.SetDefaults();
    config.Load(Base::ConfigFileName);
}

Frontend::~Frontend() {
    config.Save(Base::ConfigFileName);
    delete music;
    DestroyPlaceholder();
}

App::FrontendAction Frontend::Update() {
    action = App::FrontendNothing;
    if (music)
        music->Update();
    Base::FrameClock::Tick();
    if (!DrawFlyover(config))
        DrawPlaceholder();
    // Stands in for the time that drawing a frame takes, so that the idle loop does not spin a core.
    Sleep(10);
    return App::FrontendAction(action);
}

void Frontend::OnResize() {}

void Frontend::SwitchPage(const Base::String& name, float duration) {
    targetPageName = name;
    transitionDuration = duration;
}

} // namespace Fe
