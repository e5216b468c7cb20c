#include "frontend/Frontend.h"

#include "audio/MusicPlayer.h"
#include "base/FontCache.h"
#include "base/FrameClock.h"
#include "base/TextTable.h"
#include "gui/draw/Font.h"
#include "gui/draw/ScreenDraw.h"
#include "rwsdk/driver/d3d9/d3d92drend.h"
#include "rwsdk/driver/d3d9/d3d9rwrendst.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "scene/EngineHost.h"

#include <windows.h>

namespace Fe {

namespace {

// Until the pages exist, each update clears the main camera and draws a still picture in 2D.
RwCamera* placeholderCamera = nullptr;

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
    }
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
        // A jet seen from behind: wings, fin and body.
        const float cx = w * 0.5f, cy = h * 0.45f, s = h * 0.12f;
        RwIm2DVertex jet[7] = {
            Vertex(cx - 3 * s, cy + 0.3f * s, 0xFF505860), Vertex(cx + 3 * s, cy + 0.3f * s, 0xFF505860),
            Vertex(cx, cy - 0.2f * s, 0xFF8890A0),         Vertex(cx - 0.15f * s, cy, 0xFF30343C),
            Vertex(cx + 0.15f * s, cy, 0xFF30343C),        Vertex(cx, cy - 1.4f * s, 0xFF606870),
            Vertex(cx, cy + 0.5f * s, 0xFF202428)};
        RwIm2DRenderTriangle(jet, 7, 0, 1, 2);
        RwIm2DRenderTriangle(jet, 7, 3, 4, 5);
        RwIm2DRenderTriangle(jet, 7, 3, 4, 6);
        // The horizon line.
        RwIm2DVertex horizon[2] = {Vertex(0, h * 0.6f, 0xFFE0E8F0), Vertex(w, h * 0.6f, 0xFFE0E8F0)};
        RwIm2DRenderLine(horizon, 2, 0, 1);
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

void DestroyPlaceholder() {
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
