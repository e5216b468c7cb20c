#include "cameras/CamerasManager.h"

#include "aircraft/Airplane.h"
#include "scene/EngineHost.h"
#include "scene/World.h"
#include "weapons/Ordnance.h"

#include "input/Keyboard.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"

namespace SPlr {

namespace {

// The world translation of an object's frame; false when it has none.
bool FramePosition(Obj::Object* object, RwV3d* out) {
    auto* frame = dynamic_cast<Rw::Frame*>(object);
    if (!frame || !frame->frame)
        return false;
    *out = RwFrameGetWorldMatrix(frame->frame)->pos;
    return true;
}

} // namespace

CamerasManager::~CamerasManager() = default;

Obj::Airplane* CamerasManager::AttachedAirplane(Obj::Object* pilot) {
    if (PilotAirplane)
        return PilotAirplane(pilot);
    auto* attachable = dynamic_cast<Obj::Attachable*>(pilot);
    return attachable ? dynamic_cast<Obj::Airplane*>(attachable->GetParent()) : nullptr;
}

void CamerasManager::CreateCameras(Grp::World* newWorld) {
    world = newWorld;
    Cameras::InstallHooks();
    free = new Cameras::Free;
    cockpit = new Cameras::Cockpit(1);
    outside = new Cameras::Outside(1);
    flyBy = new Cameras::FlyBy;
    crash = new Cameras::Crash;
    for (Cameras::Basic* camera : {static_cast<Cameras::Basic*>(free), static_cast<Cameras::Basic*>(cockpit),
                                   static_cast<Cameras::Basic*>(outside), static_cast<Cameras::Basic*>(flyBy),
                                   static_cast<Cameras::Basic*>(crash)}) {
        RwCamera* engineCamera = camera->camera;
        if (engineCamera) {
            RwCameraSetRaster(engineCamera, Rw::ColourRaster);
            RwCameraSetZRaster(engineCamera, Rw::DepthRaster);
            RwCameraSetNearClipPlane(engineCamera, 1.0f);
            RwCameraSetFarClipPlane(engineCamera, 110000.0f);
            // The vertical extent follows the frame buffer's shape.
            const float x = engineCamera->viewWindow.x;
            const RwRaster* raster = Rw::ColourRaster;
            const float shape =
                raster && raster->width > 0 ? float(raster->height) / float(raster->width) : 1.0f;
            const RwV2d window{x, x * shape};
            RwCameraSetViewWindow(engineCamera, &window);
        }
        if (world)
            world->AddObject(camera);
    }
    SetCurrentCamera(free);
}

void CamerasManager::SetCurrentCamera(Cameras::Basic* camera) {
    if (current)
        current->SetActive(false);
    current = camera;
    if (current)
        current->SetActive(true);
}

void CamerasManager::SetTarget(Obj::Object* object) {
    auto* frame = dynamic_cast<Obj::Frame*>(object);
    if (cockpit)
        cockpit->target = dynamic_cast<Obj::Airplane*>(object);
    if (outside) {
        outside->target = frame;
        outside->ResetView();
    }
    if (flyBy)
        flyBy->target = frame;
    target = object;
    targetSeen = object != nullptr;
}

void CamerasManager::SetPlayer(Obj::Object* pilot) {
    if (!pilot) {
        playerPilot = nullptr;
        playerAirplane = nullptr;
        playerSeen = false;
        ejectionHandled = false;
        return;
    }
    playerPilot = pilot;
    playerAirplane = AttachedAirplane(pilot);
    ejectionHandled = false;
    playerSeen = true;
}

template <class Accept> Obj::Object* CamerasManager::Next(Accept accept) const {
    if (!world)
        return nullptr;
    Obj::Object *first = nullptr, *after = nullptr;
    bool currentSeen = false;
    Obj::Object* currentTarget = target.Get();
    world->ForEach([&](Obj::Object* object) {
        if (after || !accept(object))
            return;
        if (!first)
            first = object;
        if (currentSeen)
            after = object;
        else if (object == currentTarget)
            currentSeen = true;
    });
    return after ? after : first;
}

void CamerasManager::HandleKeys(Input::Keyboard* keyboard) {
    if (!keyboard)
        return;
    const auto fired = [keyboard](uint8_t key) {
        return keyboard->pressedKey == key || keyboard->repeatKey == key;
    };

    if (fired(KeyCockpit) && playerAirplane.Get()) {
        SetTarget(playerAirplane.Get());
        SetCurrentCamera(cockpit);
    }
    if (fired(KeyOutside)) {
        if (keyboard->modifiers == (Input::Keyboard::Shift | Input::Keyboard::Control)) {
            // The free camera takes over the current view.
            if (current && current->frame && free && free->frame) {
                const RwMatrix view = *RwFrameGetMatrix(current->frame);
                free->Transform(&view, rwCOMBINEREPLACE);
                for (int i = 0; i < 3; ++i)
                    free->localPosition[i] = current->localPosition[i];
            }
            SetCurrentCamera(free);
        } else if (playerAirplane.Get()) {
            SetTarget(playerAirplane.Get());
            SetCurrentCamera(outside);
        }
    }
    if (fired(KeyFlyBy) && playerAirplane.Get()) {
        SetTarget(playerAirplane.Get());
        SetCurrentCamera(flyBy);
    }
    if (fired(KeyNextAirplane)) {
        if (Obj::Object* next =
                Next([](Obj::Object* o) { return dynamic_cast<Obj::Airplane*>(o) != nullptr; })) {
            SetTarget(next);
            SetCurrentCamera(outside);
        }
    }
    if (fired(KeyNextOrdnance)) {
        const auto inFlight = [](Obj::Object* o) {
            auto* ordnance = dynamic_cast<Weapons::Ordnance*>(o);
            return ordnance && !ordnance->rack;
        };
        if (Obj::Object* next = Next(inFlight)) {
            SetTarget(next);
            SetCurrentCamera(outside);
        }
    }

    // Lost target: the crash camera looks at where it was, once.
    if (Obj::Object* object = target.Get()) {
        FramePosition(object, &lastTargetPosition);
    } else if (targetSeen) {
        if (crash)
            crash->point = lastTargetPosition;
        SetCurrentCamera(crash);
        targetSeen = false;
    }
    // Lost player airplane: the same for it.
    if (Obj::Airplane* airplane = playerAirplane.Get()) {
        FramePosition(airplane, &lastPlayerPosition);
    } else if (playerSeen) {
        if (crash)
            crash->point = lastPlayerPosition;
        SetCurrentCamera(crash);
        playerSeen = false;
    }
    // Ejection: the fly-by camera follows the pilot, and the airplane's loss no longer shows its crash.
    if (Obj::Object* pilot = playerPilot.Get(); pilot && !ejectionHandled && !AttachedAirplane(pilot)) {
        if (flyBy)
            flyBy->target = dynamic_cast<Obj::Frame*>(pilot);
        SetCurrentCamera(flyBy);
        ejectionHandled = true;
        playerSeen = false;
        // Nor does it when the cameras were looking at it (the player's own views target it).
        if (Obj::Airplane* airplane = playerAirplane.Get(); airplane && target.Get() == airplane)
            targetSeen = false;
    }
}

} // namespace SPlr
