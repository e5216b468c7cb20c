#include "frontend/Frontend.h"

#include "frontend/MissionLists.h"
#include "frontend/Page.h"

#include "audio/MusicPlayer.h"
#include "audio/SoundGroup.h"
#include "base/FrameClock.h"
#include "base/Info.h"
#include "base/TextTable.h"
#include "gui/Cursor.h"
#include "gui/Desktop.h"
#include "gui/draw/ScreenDraw.h"
#include "input/Joystick.h"
#include "input/Keyboard.h"
#include "input/Mouse.h"
#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "scene/EngineHost.h"
#include "scene/Frame.h"
#include "scene/Wrappers.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace Fe {

namespace {

void FitViewWindow(Rw::Camera* camera) {
    if (!camera || !camera->camera || !Rw::ColourRaster)
        return;
    const RwRaster* raster = Rw::ColourRaster;
    const int32_t width = RwRasterGetWidth(raster), height = RwRasterGetHeight(raster);
    if (width <= 0)
        return;
    RwV2d window = camera->camera->viewWindow;
    window.y = window.x * float(height) / float(width);
    RwCameraSetViewWindow(camera->camera, &window);
}

// The desktop covers the screen, and so does its cursor's travel.
void FitDesktop(Gui::Desktop* desktop) {
    desktop->screenRect = Gui::ScreenRect();
    if (desktop->cursor) {
        desktop->cursor->bounds = desktop->screenRect;
        desktop->cursor->SetPosition(desktop->cursor->position);
    }
}

// Loads a *.gui file into the desktop; a file that cannot be read or parsed is said on stderr.
bool LoadTree(Gui::Desktop* desktop, const Base::String& path) {
    Base::Info tree;
    const int failed = tree.LoadFile(path);
    if (failed != 0) {
        if (failed > 0)
            std::fprintf(stderr, "Error in the menu file '%s' at line %d.\n", Base::Clip(path).c_str(),
                         failed);
        else
            std::fprintf(stderr, "Cannot read the menu file '%s'.\n", Base::Clip(path).c_str());
        return false;
    }
    if (!desktop->Load(tree)) {
        std::fprintf(stderr, "'%s' describes a widget that cannot be made: part of the menu is missing.\n",
                     Base::Clip(path).c_str());
        return false;
    }
    return true;
}

// The whole screen black with the alpha of 1 - brightness.
void DrawFade(float brightness) {
    if (brightness >= 1.0f || !Rw::ColourRaster)
        return;
    const Gui::Rect screen = Gui::ScreenRect();
    Gui::ScreenPoint corners[2];
    const auto alpha = uint8_t(std::lround(std::clamp(1.0f - brightness, 0.0f, 1.0f) * 255.0f));
    corners[0].colour = corners[1].colour = {0, 0, 0, alpha};
    corners[0].x = screen.left;
    corners[0].y = screen.top;
    corners[1].x = screen.right;
    corners[1].y = screen.bottom;
    Gui::DrawQuads(corners, 2, nullptr, 0);
}

} // namespace

Frontend::Frontend(Input::Keyboard* keyboard, Input::Mouse* mouse, Input::Joystick* joystick,
                   MPlr::Session* session)
    : session(session), music(nullptr), joystick(joystick), keyboard(keyboard), mouse(mouse) {
    RegisterClasses();
    config.SetDefaults();
    config.Load(Base::ConfigFileName);

    cameraFrame = new Rw::Frame;
    camera = new Rw::Camera;
    if (camera->camera) {
        RwCameraSetFrame(camera->camera, cameraFrame->frame);
        RwCameraSetRaster(camera->camera, Rw::ColourRaster);
        RwCameraSetZRaster(camera->camera, Rw::DepthRaster);
        FitViewWindow(camera);
    }

    desktop = new Gui::Desktop;
    FitDesktop(desktop);
    menuSounds = new Audio::SoundGroup(0.0f);
    desktop->sounds = menuSounds;
    desktop->keyboard = keyboard;
    desktop->mouse = mouse;

    // The loading screen: one frame of Init.gui, drawn over whatever the display holds.
    const Base::String dataDir = Base::GetText("DataDir");
    if (LoadTree(desktop, dataDir + "\\Scripts\\Gui\\Init.gui") && camera->camera) {
        FitDesktop(desktop);
        RwFrameOrthonormalize(cameraFrame->frame);
        if (RwCameraBeginUpdate(camera->camera)) {
            desktop->Draw();
            RwCameraEndUpdate(camera->camera);
            Rw::WaitForVerticalBlank();
            RwCameraShowRaster(camera->camera, Rw::MainWindow, 0);
        }
    }
    desktop->DeleteAllWidgets();

    LoadTree(desktop, Base::GetText("FrontendGuiFileName"));
    FitDesktop(desktop);
    const Gui::WidgetsContainer& top = *desktop;
    if (PgSingleMission* missions = top.Find<PgSingleMission>("PageSingleMission", true))
        missions->FillMissionsList(dataDir + "\\Scripts\\Missions");

    Base::Info playlist;
    std::vector<Base::String> tracks;
    if (playlist.LoadFile(dataDir + "\\Music\\Frontend.playlist") == 0)
        playlist.CollectValues(tracks);
    musicSounds = new Audio::SoundGroup(0.0f);
    music = new Audio::MusicPlayer(musicSounds, tracks);
    music->shuffle = 1;
    music->playsRemaining = tracks.empty() ? 0 : -1;

    // Pages start hidden; the first one is shown by the transition.
    for (auto& [name, child] : *desktop)
        if (Page* page = dynamic_cast<Page*>(child)) {
            page->frontend = this;
            if (page->visible)
                page->SetVisible(false);
        }

    targetPage = top.Find<Page>(Base::GetText("FirstPage"), false);
    if (!targetPage)
        targetPage = top.Find<Page>("PageMain", true);
    transitionDuration = 0.4f;
}

Frontend::~Frontend() {
    config.Save(Base::ConfigFileName);
    delete music;
    delete musicSounds;
    delete desktop;
    delete menuSounds;
    delete camera;
    delete cameraFrame;
}

App::FrontendAction Frontend::Update() {
    action = App::FrontendNothing;

    Input::PollDevices({keyboard, mouse, joystick});

    // The volumes follow the settings every frame, so that the audio panel is heard at once.
    menuSounds->Update();
    menuSounds->SetVolume(config.sfxVolume);
    musicSounds->Update();
    musicSounds->SetVolume(config.musicVolume);

    if (Rw::EngineStarted)
        Rw::ResetRenderStates();
    FitDesktop(desktop);

    if (music)
        music->Update();
    Base::FrameClock::Tick();

    if (!targetPage) {
        desktop->Update();
        brightness = 1.0f;
    } else {
        // No page is updated during a transition: nothing can be pressed in a fade.
        if (transitionDuration > 0.0f && transitionStart == 0.0)
            transitionStart = Base::FrameClock::GameTime;
        const double elapsed = Base::FrameClock::GameTime - transitionStart;
        brightness = transitionDuration <= 0.0f
                         ? 1.0f
                         : std::min(1.0f, float(std::fabs(1.0 - 2.0 * elapsed / transitionDuration)));
        if (elapsed >= transitionDuration / 2.0 && !targetPage->visible) {
            for (auto& [name, child] : *desktop)
                if (Page* page = dynamic_cast<Page*>(child); page && page->visible)
                    page->SetVisible(false);
            targetPage->SetVisible(true);
        }
        if (elapsed >= transitionDuration) {
            targetPage = nullptr;
            transitionStart = 0.0;
        }
    }

    Draw();

    // The menu falls silent while a game runs; the volumes come back with the next front-end frame.
    if (action != App::FrontendNothing) {
        menuSounds->SetVolume(0.0f);
        musicSounds->SetVolume(0.0f);
    }
    return App::FrontendAction(action);
}

void Frontend::Draw() {
    if (!camera->camera || !Rw::ColourRaster)
        return;
    RwD3D9SetRenderState(D3DRS_COLORWRITEENABLE, 15);
    RwRGBA black = {0, 0, 0, 255};
    if (!RwCameraClear(camera->camera, &black, rwCAMERACLEARIMAGE | rwCAMERACLEARZ | rwCAMERACLEARSTENCIL)) {
        // The device is lost or not ready: this frame is skipped.
        Sleep(100);
        return;
    }
    RwFrameOrthonormalize(cameraFrame->frame);
    if (RwCameraBeginUpdate(camera->camera)) {
        desktop->Draw();
        DrawFade(brightness);
        RwCameraEndUpdate(camera->camera);
    }
    Rw::WaitForVerticalBlank();
    RwCameraShowRaster(camera->camera, Rw::MainWindow, 0);
}

void Frontend::OnResize() {
    FitViewWindow(camera);
}

void Frontend::SwitchPage(const Base::String& name, float duration) {
    const Gui::WidgetsContainer& top = *desktop;
    targetPage = top.Find<Page>(name, true);
    transitionDuration = duration;
    transitionStart = 0.0;
}

} // namespace Fe
