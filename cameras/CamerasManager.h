// SPlr::CamerasManager: a game's camera set (free, cockpit, outside, fly-by and crash), the current camera
// that renders the frame, what the cameras look at and the player. The games derive from it and call
// HandleKeys once a frame; mission actions and the multiplayer spawns call SetTarget, SetCurrentCamera and
// SetPlayer. The cameras are world objects: the world owns and deletes them.
#pragma once

#include "cameras/Cameras.h"

#include "base/SmartPtr.h"

namespace Grp {
class World;
}
namespace Input {
class Keyboard;
}
namespace Obj {
class Airplane;
class Object;
} // namespace Obj

namespace SPlr {

class CamerasManager {
public:
    // The function keys (DirectInput scan codes).
    static constexpr uint8_t KeyCockpit = 0x3B, KeyOutside = 0x3C, KeyFlyBy = 0x3D, KeyNextAirplane = 0x3F,
                             KeyNextOrdnance = 0x40;

    CamerasManager() = default;
    ~CamerasManager();
    CamerasManager(const CamerasManager&) = delete;
    CamerasManager& operator=(const CamerasManager&) = delete;

    // Makes the five cameras on the main frame buffer and adds them to the world; the free camera becomes
    // current.
    void CreateCameras(Grp::World* world);
    // Camera keys, then the automatic crash and ejection views. Nothing without a keyboard.
    void HandleKeys(Input::Keyboard* keyboard);
    // The old current camera stops, the new one (when not null) starts.
    void SetCurrentCamera(Cameras::Basic* camera);
    // What the cameras look at: any world object with a frame (an airplane, a ship, a missile in flight, a
    // pilot), or null. The cockpit camera takes it only when it is an airplane.
    void SetTarget(Obj::Object* object);
    // The player's pilot, whose airplane is the one it is attached to; null forgets the player.
    void SetPlayer(Obj::Object* pilot);

    // The airplane a pilot sits in: its attachment parent, when that is an airplane. Replaced by the pilot
    // layer when its pilots keep the link otherwise.
    static inline Obj::Airplane* (*PilotAirplane)(Obj::Object* pilot) = nullptr;
    static Obj::Airplane* AttachedAirplane(Obj::Object* pilot);

    Grp::World* world = nullptr;
    Cameras::Basic* current = nullptr;
    Cameras::Free* free = nullptr;
    Cameras::Cockpit* cockpit = nullptr;
    Cameras::Outside* outside = nullptr;
    Cameras::FlyBy* flyBy = nullptr;
    Cameras::Crash* crash = nullptr;
    bool targetSeen = false;
    RwV3d lastTargetPosition{0, 0, 0};
    Base::SmartPtr<Obj::Object> target;
    bool playerSeen = false;
    RwV3d lastPlayerPosition{0, 0, 0};
    Base::SmartPtr<Obj::Airplane> playerAirplane;
    bool ejectionHandled = false;
    Base::SmartPtr<Obj::Object> playerPilot;

private:
    // The candidate after the current target in the world's object list (wrapping), or the first.
    template <class Accept> Obj::Object* Next(Accept accept) const;
};

} // namespace SPlr
