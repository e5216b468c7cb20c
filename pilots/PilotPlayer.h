// Obj::PilotPlayer: the pilot that the local player flies with. Once a frame it turns the keyboard, mouse
// and joystick into the airplane's commands: three shaped control axes, the throttle, and the key
// assignments of the settings (gear, brakes, engine, afterburner, weapon door, fire, weapon selection,
// radar, navigation points, countermeasures, jammer, ejection).
#pragma once

#include "aircraft/Airplane.h"
#include "pilots/Pilot.h"
#include "pilots/PilotStoresLink.h"

#include "base/Config.h"
#include "base/SmartPtr.h"

#include <cstdint>
#include <memory>

namespace Input {
class Keyboard;
class Mouse;
class Joystick;
} // namespace Input

namespace Obj {

class PilotPlayer : public Pilot {
public:
    // Key assignments this pilot reads (the settings hold more).
    enum Binding {
        GearBinding = 0,
        WheelBrakeBinding = 1,
        EngineBinding = 2,
        AfterburnerBinding = 3,
        WeaponDoorBinding = 4,
        FireBinding = 5,
        NextAirWeaponBinding = 6,
        NextGroundWeaponBinding = 7,
        FlareBinding = 8,
        ChaffBinding = 9,
        RadarTargetBinding = 10,
        RadarTargetSecondBinding = 11,
        NextNavpointBinding = 12,
        RadarRangeDownBinding = 13,
        RadarRangeUpBinding = 14,
        JammerBinding = 16,
        EjectBinding = 17,
    };

    // One shaped control axis: a raw input read or integrated from its source, then value =
    // clamp(sign(raw) |raw|^exponent x scale, -1, 1).
    class ControlAxis {
    public:
        enum Source : uint32_t {
            None = 0,
            JoystickX = 1,
            JoystickY = 2,
            JoystickTwist = 3,
            MouseX = 4,
            MouseY = 5,
            LeftRightKeys = 6, // Left lowers, Right raises
            UpDownKeys = 7,    // Up lowers, Down raises
            XCKeys = 8,        // X lowers, C raises
        };
        // Once a frame, on the frame clock's frame time (at most 0.1 s).
        void Update();

        uint32_t source = None;
        Input::Keyboard* keyboard = nullptr;
        Input::Mouse* mouse = nullptr;
        Input::Joystick* joystick = nullptr;
        float value = 0; // [-1, 1]
        float raw = 0;
        float scale = 0;
        float exponent = 0;
    };

    class ThrottleControl {
    public:
        enum Source : uint32_t { None = 0, JoystickLever = 1, Mouse = 2, Keyboard = 3 };
        // Once a frame, on the frame clock's frame time (at most 0.1 s).
        void Update();

        uint32_t source = None;
        Input::Keyboard* keyboard = nullptr;
        Input::Mouse* mouse = nullptr;
        Input::Joystick* joystick = nullptr;
        float value = 0;      // [0, 1]
        float lastLever = -1; // the lever's last reading; negative before the first
    };

    PilotPlayer();
    ~PilotPlayer() override;

    // Keeps the settings (their key assignments are read every frame) and sets up the axes and the throttle
    // for their control type on the game's devices (any may be null), the pitch reversed when they say so.
    // The first form takes the devices of the world that the pilot, or else its airplane, is in.
    void ApplySettings(const Base::Config* settings);
    void ApplySettings(const Base::Config* settings, Input::Keyboard* keyboard, Input::Mouse* mouse,
                       Input::Joystick* joystick);

    void Run() override;

    // The binding's key (with exactly its modifiers, unless it takes any) or joystick button, pressed in
    // this frame's poll (pressedNow) or held.
    static bool IsCommandActive(const Input::Keyboard* keyboard, const Input::Joystick* joystick,
                                const Base::KeyAssignment& binding, bool pressedNow);

    // The next weapon of the current weapon mode in order, wrapping to the gun; gunOnly selects the gun.
    void SelectNextWeapon(bool gunOnly);

    // The stores of the seated airplane (made on first use), or null without an airplane or a maker.
    PilotStoresLink* GetStores();
    bool IsGunSelected();
    // The cockpit's weapon mode (0 air, 1 ground); the pilot keeps its own when the airplane has no cockpit.
    uint32_t GetWeaponMode() const;
    void SetWeaponMode(uint32_t mode);

    uint8_t unconscious = 0;
    uint8_t inputSuspended = 0; // while the player types a chat message
    ControlAxis rollAxis, pitchAxis, yawAxis;
    ThrottleControl throttleControl;
    const Base::Config* settings = nullptr; // not owned

    // The gun fires only after the fire binding was released once since the gun became selected. One
    // latch per pilot: a pilot made while the binding is held must see a release first.
    bool gunTriggerLatch = false;

private:
    void Commands(Airplane* airplane, Physics::AirplaneState& s);
    CockpitLink* Cockpit() const;

    std::unique_ptr<PilotStoresLink> stores;
    Base::SmartPtr<Airplane> storesOf; // the airplane the stores link was made for
    uint32_t ownWeaponMode = 0;
};

} // namespace Obj
