#include "pilots/PilotPlayer.h"

#include "scene/World.h"

#include "base/FrameClock.h"
#include "base/Maths.h"
#include "input/Joystick.h"
#include "input/Keyboard.h"
#include "input/Mouse.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace Obj {

namespace {

constexpr uint8_t KeyLeft = 0xCB, KeyRight = 0xCD, KeyUp = 0xC8, KeyDown = 0xD0, KeyX = 0x2D, KeyC = 0x2E;
constexpr uint8_t KeyA = 0x1E, KeyZ = 0x2C;

// The frame clock's frame time, as the controls integrate it.
float ControlStep() {
    return std::clamp(float(Base::FrameClock::FrameTime), 0.0f, 0.1f);
}

float Clamp1(float x) {
    return std::clamp(x, -1.0f, 1.0f);
}

// Towards 0 by step, without passing it.
float Settle(float raw, float step) {
    return raw > 0 ? std::max(0.0f, raw - step) : std::min(0.0f, raw + step);
}

// Held keys integrate: quickly back through the centre, slowly towards the ends.
float KeyRule(float raw, bool downHeld, bool upHeld, float dt) {
    if (downHeld) {
        const float rate = raw > 0 ? 8.0f : 0.6f / (std::pow(std::fabs(raw), 1.5f) + 0.1f);
        return Clamp1(raw - rate * dt);
    }
    if (upHeld) {
        const float rate = raw < 0 ? 8.0f : 0.6f / (std::pow(std::fabs(raw), 1.5f) + 0.1f);
        return Clamp1(raw + rate * dt);
    }
    return Settle(raw, 2.5f * dt);
}

float MouseRule(float raw, int32_t d, float dt) {
    if (d == 0)
        return Settle(raw, 0.6666667f * dt);
    const bool back = d < 0 ? raw >= 0 : raw <= 0;
    const float rate = back ? 10.0f : 0.1f / std::sqrt(std::fabs(raw) + 0.1f);
    return Clamp1(raw + float(d) * rate * dt);
}

bool Held(const Input::Keyboard* keyboard, uint8_t key) {
    return keyboard && keyboard->keys[key] != 0;
}

float Toggle(float value, float on) {
    return value != 0 ? 0.0f : on;
}

} // namespace

// ---- axes and throttle

void PilotPlayer::ControlAxis::Update() {
    const float dt = ControlStep();
    switch (source) {
    case JoystickX:
        raw = joystick ? joystick->x : 0.0f;
        break;
    case JoystickY:
        raw = joystick ? joystick->y : 0.0f;
        break;
    case JoystickTwist:
        raw = joystick ? joystick->rudder : 0.0f;
        break;
    case MouseX:
    case MouseY:
        raw = mouse ? MouseRule(raw, source == MouseX ? mouse->dx : mouse->dy, dt) : 0.0f;
        break;
    case LeftRightKeys:
    case UpDownKeys:
    case XCKeys: {
        if (!keyboard) {
            raw = 0;
            break;
        }
        const uint8_t down = source == LeftRightKeys ? KeyLeft : source == UpDownKeys ? KeyUp : KeyX;
        const uint8_t up = source == LeftRightKeys ? KeyRight : source == UpDownKeys ? KeyDown : KeyC;
        raw = KeyRule(raw, Held(keyboard, down), Held(keyboard, up), dt);
        break;
    }
    default:
        raw = 0;
        break;
    }
    value = Clamp1(Base::SignedPow(raw, exponent) * scale);
}

void PilotPlayer::ThrottleControl::Update() {
    const float dt = ControlStep();
    switch (source) {
    case JoystickLever:
        if (!joystick) {
            value = 0;
            break;
        }
        // The lever takes over only when it moves, so that a lever left alone does not fight the keys.
        if (lastLever >= 0 && joystick->throttle != lastLever)
            value = joystick->throttle;
        lastLever = joystick->throttle;
        break;
    case Mouse:
        if (!mouse)
            value = 0;
        break;
    case Keyboard:
        if (Held(keyboard, KeyZ))
            value = std::clamp(value - dt, 0.0f, 1.0f);
        else if (Held(keyboard, KeyA))
            value = std::clamp(value + dt, 0.0f, 1.0f);
        break;
    default:
        value = 0;
        break;
    }
}

// ---- settings

PilotPlayer::PilotPlayer() = default;
PilotPlayer::~PilotPlayer() = default;

void PilotPlayer::ApplySettings(const Base::Config* config) {
    Grp::World* w = Obj::Object::world;
    if (!w)
        if (Airplane* airplane = GetAirplane())
            w = airplane->world;
    ApplySettings(config, w ? w->keyboard : nullptr, w ? w->mouse : nullptr, w ? w->joystick : nullptr);
}

void PilotPlayer::ApplySettings(const Base::Config* config, Input::Keyboard* keyboard, Input::Mouse* mouse,
                                Input::Joystick* joystick) {
    settings = config;
    for (ControlAxis* axis : {&rollAxis, &pitchAxis, &yawAxis}) {
        axis->keyboard = keyboard;
        axis->mouse = mouse;
        axis->joystick = joystick;
    }
    throttleControl.keyboard = keyboard;
    throttleControl.mouse = mouse;
    throttleControl.joystick = joystick;
    if (!config)
        return;
    if (joystick)
        joystick->SetDeadZone(config->joyDeadZone * 0.33f);
    const float s = config->joySensitivity + 0.5f;
    // A control type the table does not know (an edited or damaged settings file) plays as the keyboard.
    const uint32_t type = config->controlsType <= 3 ? config->controlsType : 0;
    auto set = [](ControlAxis& axis, uint32_t source, float scale, float exponent) {
        axis.source = source;
        axis.scale = scale;
        axis.exponent = exponent;
    };
    if (type == 0) {
        set(rollAxis, ControlAxis::LeftRightKeys, 1, 2.0f);
        set(pitchAxis, ControlAxis::UpDownKeys, 1, 1.5f);
    } else {
        set(rollAxis, ControlAxis::JoystickX, s, 2.0f);
        set(pitchAxis, ControlAxis::JoystickY, s, 1.5f);
    }
    set(yawAxis, type == 3 ? ControlAxis::JoystickTwist : ControlAxis::XCKeys, 1, 2.0f);
    // Inverted, the same shaping gives the opposite command.
    if (config->invertPitch)
        pitchAxis.scale = -pitchAxis.scale;
    throttleControl.source = type >= 2 ? ThrottleControl::JoystickLever : ThrottleControl::Keyboard;
}

// ---- commands

bool PilotPlayer::IsCommandActive(const Input::Keyboard* keyboard, const Input::Joystick* joystick,
                                  const Base::KeyAssignment& binding, bool pressedNow) {
    bool active = false;
    if (keyboard && binding.key != 0 &&
        (binding.modifiers == Base::KeyAssignment::AnyModifiers || keyboard->modifiers == binding.modifiers))
        active = pressedNow ? keyboard->pressedKey == binding.key : keyboard->keys[binding.key] != 0;
    if (joystick && binding.button <= 31)
        active = active || (pressedNow ? joystick->pressedButton == int8_t(binding.button)
                                       : joystick->buttons[binding.button] != 0);
    return active;
}

CockpitLink* PilotPlayer::Cockpit() const {
    const Airplane* airplane = GetAirplane();
    return airplane ? airplane->cockpit.get() : nullptr;
}

uint32_t PilotPlayer::GetWeaponMode() const {
    const CockpitLink* cockpit = Cockpit();
    return cockpit ? cockpit->weaponMode : ownWeaponMode;
}

void PilotPlayer::SetWeaponMode(uint32_t mode) {
    ownWeaponMode = mode;
    if (CockpitLink* cockpit = Cockpit())
        cockpit->weaponMode = mode;
}

PilotStoresLink* PilotPlayer::GetStores() {
    Airplane* airplane = GetAirplane();
    if (!airplane || airplane != storesOf.Get()) {
        stores.reset();
        storesOf = airplane;
        if (airplane && PilotStoresLink::Make)
            stores = PilotStoresLink::Make(airplane);
    }
    return stores.get();
}

bool PilotPlayer::IsGunSelected() {
    if (PilotStoresLink* link = GetStores())
        return link->IsGunSelected();
    // Without stores there is nothing else to select.
    const Airplane* airplane = GetAirplane();
    return airplane && airplane->hasGun;
}

void PilotPlayer::SelectNextWeapon(bool gunOnly) {
    Airplane* airplane = GetAirplane();
    PilotStoresLink* link = GetStores();
    if (!airplane || !link)
        return;
    if (gunOnly) {
        if (airplane->hasGun)
            link->SelectGun();
        return;
    }
    PilotStoresLink::Ordnance item;
    int current = -1;
    const uint8_t selected = link->GetSelectedRack();
    if (selected != PilotStoresLink::NoRack && link->GetOrdnance(selected, item))
        current = item.order;
    const bool airMode = GetWeaponMode() == 0;
    int best = INT_MAX;
    Base::String name;
    for (std::size_t i = 0; i < link->GetRackCount(); ++i) {
        if (!link->GetOrdnance(i, item) || item.spentLauncher || item.airToAir != airMode)
            continue;
        if (item.order > current && item.order < 127 && item.order < best) {
            best = item.order;
            name = item.name;
        }
    }
    if (best == INT_MAX) {
        SelectNextWeapon(true);
        return;
    }
    const uint8_t index = link->FindNextRack(name);
    link->SetSelectedTarget(nullptr);
    link->SelectRack(index);
    const CockpitLink* cockpit = Cockpit();
    link->SetSelectedTarget(cockpit ? cockpit->GetRadarTarget() : nullptr);
}

void PilotPlayer::Run() {
    // The figure's step removes a figure that reached the ground.
    const Base::SmartPtr<PilotPlayer> self(this);
    Pilot::Run();
    if (!self)
        return;
    Airplane* airplane = GetAirplane();
    if (!airplane || !airplane->flightModel)
        return;
    Physics::AirplaneState s = airplane->GetState();
    throttleControl.value = std::clamp(s.throttle, 0.0f, 1.0f);
    rollAxis.Update();
    pitchAxis.Update();
    yawAxis.Update();
    throttleControl.Update();

    if (blackout > 1.0f || redout > 1.0f)
        unconscious = 1;
    else if (blackout < 0.7f && redout < 0.7f)
        unconscious = 0;
    if (unconscious || inputSuspended) {
        s.rollInput = s.pitchInput = s.yawInput = 0;
    } else {
        s.rollInput = rollAxis.value;
        s.pitchInput = pitchAxis.value;
        s.yawInput = yawAxis.value;
        s.throttle = throttleControl.value;
        Commands(airplane, s);
        // The ejection handed the airplane its last state: it flies on out of control.
        if (GetAirplane() != airplane)
            return;
    }
    airplane->SetState(s);
}

void PilotPlayer::Commands(Airplane* airplane, Physics::AirplaneState& s) {
    const Input::Keyboard* keyboard = throttleControl.keyboard;
    const Input::Joystick* joystick = throttleControl.joystick;
    if (!settings)
        return;
    auto pressed = [&](int binding) {
        return IsCommandActive(keyboard, joystick, settings->keyAssignments[binding], true);
    };

    if (pressed(EngineBinding))
        s.engineRunning = !s.engineRunning;
    if (keyboard && keyboard->modifiers == 0) {
        if (keyboard->pressedKey == KeyA && !s.engineRunning)
            s.engineRunning = 1;
        else if (keyboard->pressedKey == KeyZ && s.engineSpool <= 0.601f)
            s.engineRunning = 0;
    }

    if (pressed(AfterburnerBinding))
        s.afterburnerCommand = std::min(s.afterburnerCommand + 0.25f, 1.0f);
    if (s.throttle <= 0.98f)
        s.afterburnerCommand = 0;

    if (pressed(WheelBrakeBinding))
        s.wheelBrakeCommand = Toggle(s.wheelBrakeCommand, 0.6f);
    if (pressed(WeaponDoorBinding))
        s.weaponDoorCommand = Toggle(s.weaponDoorCommand, 1.0f);
    if (pressed(GearBinding))
        s.gearDownCommand = Toggle(s.gearDownCommand, 1.0f);
    if (pressed(EjectBinding)) {
        Eject();
        return;
    }

    if (!IsGunSelected()) {
        if (pressed(FireBinding))
            s.fireRequest = 1;
        gunTriggerLatch = false;
    } else if (!IsCommandActive(keyboard, joystick, settings->keyAssignments[FireBinding], false)) {
        gunTriggerLatch = true;
    } else if (gunTriggerLatch) {
        s.fireRequest = 1;
    }

    CockpitLink* cockpit = airplane->cockpit.get();
    for (const int binding : {NextAirWeaponBinding, NextGroundWeaponBinding}) {
        if (!pressed(binding))
            continue;
        const bool air = binding == NextAirWeaponBinding;
        SetWeaponMode(air ? 0 : 1);
        SelectNextWeapon(false);
        if (!IsGunSelected() && cockpit)
            cockpit->SetRadarTargetKind(air ? CockpitLink::AirKind : CockpitLink::GroundKind);
    }
    if (PilotStoresLink* link = GetStores()) {
        if (pressed(FlareBinding))
            link->DropCountermeasure(0);
        if (pressed(ChaffBinding))
            link->DropCountermeasure(1);
    }
    if (pressed(JammerBinding))
        s.jammerOn = !s.jammerOn;
    if (cockpit) {
        const int kind = IsGunSelected()        ? CockpitLink::AnyKind
                         : GetWeaponMode() == 0 ? CockpitLink::AirKind
                                                : CockpitLink::GroundKind;
        if (pressed(RadarTargetBinding))
            cockpit->SelectRadarTarget(0, kind);
        if (pressed(RadarTargetSecondBinding))
            cockpit->SelectRadarTarget(1, kind);
        if (pressed(NextNavpointBinding))
            cockpit->SelectNextNavpoint();
        if (pressed(RadarRangeDownBinding))
            cockpit->SetRadarRangeNext(-1);
        if (pressed(RadarRangeUpBinding))
            cockpit->SetRadarRangeNext(1);
    }
}

} // namespace Obj
