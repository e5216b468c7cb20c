#include "games/GameFrame.h"

#include "audio/MusicPlayer.h"
#include "audio/SoundGroup.h"
#include "base/Config.h"
#include "base/Info.h"
#include "base/TextTable.h"
#include "cameras/Cameras.h"
#include "frontend/Frontend.h"
#include "frontend/InGamePages.h"
#include "gui/Desktop.h"
#include "input/Joystick.h"
#include "input/Keyboard.h"
#include "input/Mouse.h"
#include "objects/Terrain.h"
#include "scene/EngineHost.h"
#include "scene/RenderProbe.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"

#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/renderstate.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace SPlr {

const Base::Config& DefaultSettings() {
    static const Base::Config settings;
    return settings;
}

Gui::Desktop* LoadOverlay(Input::Keyboard* keyboard, Input::Mouse* mouse) {
    auto* gui = new Gui::Desktop;
    gui->sounds = new Audio::SoundGroup(10.0f);
    gui->keyboard = keyboard;
    gui->mouse = mouse;
    Base::Info tree;
    const Base::String path = Base::GetText("DataDir") + "\\Scripts\\Gui\\Game.gui";
    if (const int failed = tree.LoadFile(path); failed > 0)
        std::fprintf(stderr, "Error in the game overlay file '%s' at line %d.\n", Base::Clip(path).c_str(),
                     failed);
    gui->Load(tree);
    gui->screenRect = Gui::ScreenRect();
    return gui;
}

void AttachDevices(Grp::World& world, Audio::SoundGroup* sounds, Input::Keyboard* keyboard,
                   Input::Mouse* mouse, Input::Joystick* joystick) {
    world.soundGroup = sounds;
    world.keyboard = keyboard;
    world.mouse = mouse;
    world.joystick = joystick;
}

void KeepInsideTerrain(Grp::World& world) {
    if (!world.terrain)
        return;
    const Base::Vector2 origin = world.terrain->GridToWorld(0, 0), size = world.terrain->Extent();
    world.terrainExtent = {origin.x, origin.y, size.x, size.y};
}

Audio::MusicPlayer* CreateGameMusic(Audio::SoundGroup*& musicSounds) {
    Base::Info playlist;
    std::vector<Base::String> tracks;
    if (playlist.LoadFile(Base::MakePath(Base::GetText("DataDir"), "Music\\Game.playlist")) == 0)
        playlist.CollectValues(tracks);
    musicSounds = new Audio::SoundGroup(0.0f);
    auto* music = new Audio::MusicPlayer(musicSounds, tracks);
    // The first update starts the first track; the list plays on in a loop.
    music->Stop();
    music->currentTrack = 0;
    music->playsRemaining = tracks.empty() ? 0 : -1;
    return music;
}

void UpdateMusic(Audio::MusicPlayer& music, float volume) {
    music.SetVolume(volume);
    music.Update();
    if (music.group)
        music.group->Update();
}

void UpdateWorldSound(Grp::World& world, const Cameras::Basic* camera, float volume) {
    if (!world.soundGroup)
        return;
    world.soundGroup->SetVolume(volume);
    if (camera && camera->camera && RwCameraGetFrame(camera->camera)) {
        const RwMatrix* m = RwFrameGetWorldMatrix(RwCameraGetFrame(camera->camera));
        const RwV3d v = camera->GetVelocity();
        Audio::Listener& listener = world.soundGroup->listener;
        listener.position = {m->pos.x, m->pos.y, m->pos.z};
        listener.velocity = {v.x, v.y, v.z};
        listener.forward = {m->at.x, m->at.y, m->at.z};
        listener.up = {m->up.x, m->up.y, m->up.z};
    }
    world.soundGroup->Update();
}

bool ClearFrame(Cameras::Basic& camera) {
    RwRGBA black{0, 0, 0, 255};
    if (RwCameraClear(camera.camera, &black, rwCAMERACLEARZ | rwCAMERACLEARSTENCIL))
        return true;
    Sleep(100);
    return false;
}

void DrawFrame(Cameras::Basic& camera, Grp::World& world, Gui::Desktop* gui,
               const std::function<void()>& texts, bool present) {
    RwCamera* engineCamera = camera.camera;
    RwFrameOrthonormalize(RwCameraGetFrame(engineCamera));
    if (RwCameraBeginUpdate(engineCamera)) {
        RwRenderStateSet(rwRENDERSTATEZTESTENABLE, reinterpret_cast<void*>(uintptr_t(TRUE)));
        RwRenderStateSet(rwRENDERSTATEZWRITEENABLE, reinterpret_cast<void*>(uintptr_t(TRUE)));
        if (const Rw::CameraView* view = camera.GetViewParameters()) {
            // The objects' own sections nest inside: what is left is culling and sorting.
            Grp::ProbeSection section("render");
            const auto range = Grp::VisibleRange(*view, *world.renderables);
            Grp::RenderVisible(range.begin(), range.end(), &camera);
        }
        {
            Grp::ProbeSection section("GUI");
            if (gui)
                gui->Draw();
            if (texts)
                texts();
        }
        RwCameraEndUpdate(engineCamera);
    }
    if (present) {
        Grp::ProbeSection section("present");
        RwCameraShowRaster(engineCamera, Rw::MainWindow, 0);
    }
}

void LeaveForFrontend(Fe::Frontend* frontend, Grp::World& world, bool force) {
    if (frontend && frontend->desktop)
        Fe::PgGameMap::ShowWorld(frontend->desktop->Find<Fe::PgGameMap>("PageGameMap", true), &world);
    if (world.soundGroup) {
        world.soundGroup->SetVolume(0);
        world.soundGroup->Update(force);
    }
}

} // namespace SPlr
