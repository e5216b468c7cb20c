// The player pilot's control axes and throttle on the scripted devices and the fixed clock: the keyboard's
// integration, the mouse rule, the joystick's shaping per control type, the frame-time clamp, the lever
// that takes over only when it moves; and which bindings count as active.
#include "PilotFixture.h"

#include <cmath>

namespace {

using Axis = Obj::PilotPlayer::ControlAxis;
using Throttle = Obj::PilotPlayer::ThrottleControl;

constexpr float Dt = float(PilotRig::Step);

class PlayerControls : public PilotRig {
protected:
    void SetUp() override {
        PilotRig::SetUp();
        if (HasFatalFailure())
            return;
        pilot = new Obj::PilotPlayer;
        world->AddObject(pilot);
    }
    // One frame: the devices, then the axis.
    void Frame(Axis& axis) {
        Poll();
        axis.Update();
    }
    Obj::PilotPlayer* pilot = nullptr;
};

TEST_F(PlayerControls, KeysMoveFastFromTheFarSideSlowlyTowardsTheEndsAndReturnToTheCentre) {
    const struct {
        uint32_t source;
        const char *lower, *raise;
    } cases[] = {
        {Axis::LeftRightKeys, "LEFT", "RIGHT"}, {Axis::UpDownKeys, "UP", "DOWN"}, {Axis::XCKeys, "X", "C"}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.raise);
        Axis axis;
        axis.source = k.source;
        axis.keyboard = keyboard.get();
        axis.scale = 1;
        axis.exponent = 2.0f;
        const uint32_t f0 = frame;
        input->script = {};
        Script(std::to_string(f0 + 2) + " keyboard down " + k.raise + "\n" + std::to_string(f0 + 60) +
               " keyboard up " + k.raise + "\n" + std::to_string(f0 + 100) + " keyboard down " + k.raise +
               "\n" + std::to_string(f0 + 140) + " keyboard up " + k.raise + "\n" + std::to_string(f0 + 141) +
               " keyboard down " + k.lower + "\n" + std::to_string(f0 + 146) + " keyboard up " + k.lower +
               "\n");
        Frame(axis);
        Frame(axis);
        EXPECT_EQ(axis.raw, 0);
        // From the centre at 6 per second, then ever more slowly, never past 1.
        Frame(axis);
        EXPECT_FLOAT_EQ(axis.raw, 6 * Dt);
        EXPECT_FLOAT_EQ(axis.value, axis.raw * axis.raw);
        float last = axis.raw, lastGain = axis.raw;
        while (frame < f0 + 60) {
            Frame(axis);
            if (last < 1) {
                EXPECT_GT(axis.raw, last);
                if (axis.raw < 1) {
                    EXPECT_LT(axis.raw - last, lastGain);
                }
            }
            EXPECT_LE(axis.raw, 1.0f);
            lastGain = axis.raw - last;
            last = axis.raw;
        }
        EXPECT_EQ(axis.raw, 1.0f); // about 0.83 s from the centre
        // Released: back at 2.5 per second, stopping at the centre.
        Frame(axis);
        EXPECT_FLOAT_EQ(axis.raw, last - 2.5f * Dt);
        while (frame < f0 + 100)
            Frame(axis);
        EXPECT_EQ(axis.raw, 0);
        EXPECT_EQ(axis.value, 0);
        // The other key while the axis is over: back at 8 per second.
        while (frame < f0 + 141)
            Frame(axis);
        const float over = axis.raw;
        ASSERT_GT(over, 0.5f);
        Frame(axis);
        EXPECT_FLOAT_EQ(axis.raw, over - 8 * Dt);
        Frame(axis);
        EXPECT_FLOAT_EQ(axis.raw, over - 16 * Dt);
    }
}

TEST_F(PlayerControls, ALongFrameIntegratesAsATenthOfASecond) {
    Base::FrameClock::SetFixedStep(0.25);
    Axis axis;
    axis.source = Axis::LeftRightKeys;
    axis.keyboard = keyboard.get();
    axis.scale = 1;
    axis.exponent = 2.0f;
    Script("2 keyboard down RIGHT\n");
    Frame(axis);
    Frame(axis);
    Frame(axis);
    EXPECT_FLOAT_EQ(axis.raw, 0.6f); // 6 per second for 0.1 s, not 1.5 clamped to 1
    EXPECT_FLOAT_EQ(axis.value, 0.36f);
}

TEST_F(PlayerControls, MouseCountsMoveTheAxisBackQuicklyAndOnwardsSlowly) {
    Axis axis;
    axis.source = Axis::MouseX;
    axis.mouse = mouse.get();
    axis.scale = 0.5f;
    axis.exponent = 2.0f;
    Script("2 mouse move 3 7\n"  // from the centre: 10 per count per second
           "4 mouse move 2 0\n"  // onwards: 0.1 / sqrt(|raw| + 0.1) per count per second
           "5 mouse move -4 0\n" // back: 10 per count per second
           "6 mouse move -1 0\n");
    Frame(axis);
    Frame(axis);
    Frame(axis);
    float raw = 30 * Dt;
    EXPECT_FLOAT_EQ(axis.raw, raw);
    EXPECT_FLOAT_EQ(axis.value, raw * raw * 0.5f);
    Frame(axis); // still: back by 2/3 per second
    raw -= 0.6666667f * Dt;
    EXPECT_FLOAT_EQ(axis.raw, raw);
    Frame(axis);
    raw += 2 * 0.1f / std::sqrt(raw + 0.1f) * Dt;
    EXPECT_FLOAT_EQ(axis.raw, raw);
    Frame(axis);
    raw -= 40 * Dt;
    EXPECT_FLOAT_EQ(axis.raw, raw);
    ASSERT_LT(raw, 0);
    Frame(axis); // further out on the negative side: slowly
    raw -= 0.1f / std::sqrt(-raw + 0.1f) * Dt;
    EXPECT_FLOAT_EQ(axis.raw, raw);
    EXPECT_FLOAT_EQ(axis.value, -raw * raw * 0.5f);
    for (int i = 0; i < 60; ++i)
        Frame(axis);
    EXPECT_EQ(axis.raw, 0); // settled on the centre, not past it
}

TEST_F(PlayerControls, ControlTypesPickTheSourcesScaleAndExponent) {
    Script("2 joystick axis x 0.5\n"
           "2 joystick axis y -0.75\n"
           "2 joystick axis rudder 0.625\n"
           "2 keyboard down C\n");
    config.joyDeadZone = 0.2f;
    config.joySensitivity = 0.3f; // scale 0.8
    const struct {
        uint32_t type, roll, pitch, yaw, throttle;
    } cases[] = {
        {0, Axis::LeftRightKeys, Axis::UpDownKeys, Axis::XCKeys, Throttle::Keyboard},
        {1, Axis::JoystickX, Axis::JoystickY, Axis::XCKeys, Throttle::Keyboard},
        {2, Axis::JoystickX, Axis::JoystickY, Axis::XCKeys, Throttle::JoystickLever},
        {3, Axis::JoystickX, Axis::JoystickY, Axis::JoystickTwist, Throttle::JoystickLever},
        {7, Axis::LeftRightKeys, Axis::UpDownKeys, Axis::XCKeys, Throttle::Keyboard}, // unknown: the keys
    };
    Poll();
    Poll();
    Poll();
    ASSERT_NEAR(joystick->x, 0.5f, 1e-4f);
    ASSERT_NEAR(joystick->y, -0.75f, 1e-4f);
    for (const auto& k : cases) {
        SCOPED_TRACE(k.type);
        config.controlsType = k.type;
        pilot->rollAxis = pilot->pitchAxis = pilot->yawAxis = {};
        pilot->ApplySettings(&config, keyboard.get(), mouse.get(), joystick.get());
        EXPECT_FLOAT_EQ(joystick->deadZone, 0.2f * 0.33f);
        EXPECT_EQ(pilot->rollAxis.source, k.roll);
        EXPECT_EQ(pilot->pitchAxis.source, k.pitch);
        EXPECT_EQ(pilot->yawAxis.source, k.yaw);
        EXPECT_EQ(pilot->throttleControl.source, k.throttle);
        const bool stick = k.roll == Axis::JoystickX;
        EXPECT_FLOAT_EQ(pilot->rollAxis.scale, stick ? 0.8f : 1.0f);
        EXPECT_FLOAT_EQ(pilot->pitchAxis.scale, stick ? 0.8f : 1.0f);
        EXPECT_EQ(pilot->yawAxis.scale, 1.0f);
        EXPECT_EQ(pilot->rollAxis.exponent, 2.0f);
        EXPECT_EQ(pilot->pitchAxis.exponent, 1.5f);
        EXPECT_EQ(pilot->yawAxis.exponent, 2.0f);
        pilot->rollAxis.Update();
        pilot->pitchAxis.Update();
        pilot->yawAxis.Update();
        if (stick) {
            // sign(x) |x|^p x scale: 0.5 squared is 0.25, -0.75 to the 1.5 is -0.6495.
            EXPECT_NEAR(pilot->rollAxis.value, 0.25f * 0.8f, 1e-4f);
            EXPECT_NEAR(pilot->pitchAxis.value, -std::pow(0.75f, 1.5f) * 0.8f, 1e-4f);
        } else {
            EXPECT_EQ(pilot->rollAxis.value, 0);
            EXPECT_EQ(pilot->pitchAxis.value, 0);
        }
        if (k.yaw == Axis::JoystickTwist)
            EXPECT_NEAR(pilot->yawAxis.value, 0.625f * 0.625f, 1e-4f);
        else
            EXPECT_FLOAT_EQ(pilot->yawAxis.value, 36 * Dt * Dt); // C held: 6 per second, squared
    }
    // A value past the ends is cut to them.
    config.joySensitivity = 4.0f;
    config.controlsType = 1;
    pilot->ApplySettings(&config, keyboard.get(), mouse.get(), joystick.get());
    pilot->pitchAxis.Update();
    EXPECT_EQ(pilot->pitchAxis.value, -1.0f);
    // A missing device reads nothing.
    pilot->ApplySettings(&config, keyboard.get(), mouse.get(), nullptr);
    pilot->rollAxis.Update();
    EXPECT_EQ(pilot->rollAxis.value, 0);
}

TEST_F(PlayerControls, LeverTakesOverOnlyWhenItMoves) {
    Throttle throttle;
    throttle.source = Throttle::JoystickLever;
    throttle.joystick = joystick.get();
    Script("3 joystick throttle 0.5\n"
           "6 joystick throttle 0.25\n");
    auto step = [&](float put) {
        Poll();
        throttle.value = put; // where the keys or the airplane put it
        throttle.Update();
        return throttle.value;
    };
    EXPECT_EQ(step(0.7f), 0.7f); // the first reading is only remembered
    EXPECT_EQ(step(0.7f), 0.7f);
    EXPECT_EQ(step(0.7f), 0.7f);
    EXPECT_NEAR(step(0.7f), 0.5f, 1e-3f);
    EXPECT_EQ(step(0.9f), 0.9f); // left alone: the lever does not fight
    EXPECT_EQ(step(0.9f), 0.9f);
    EXPECT_NEAR(step(0.9f), 0.25f, 1e-3f);

    // Keys A and Z at one unit per second; no lever without a joystick.
    Throttle keys;
    keys.source = Throttle::Keyboard;
    keys.keyboard = keyboard.get();
    input->script = {};
    Script(std::to_string(frame + 0) + " keyboard down A\n" + std::to_string(frame + 3) + " keyboard up A\n" +
           std::to_string(frame + 3) + " keyboard down Z\n");
    keys.value = 0.5f;
    Poll();
    keys.Update();
    EXPECT_FLOAT_EQ(keys.value, 0.5f + Dt);
    Poll();
    Poll();
    Poll();
    keys.Update();
    EXPECT_FLOAT_EQ(keys.value, 0.5f);
    throttle.joystick = nullptr;
    throttle.Update();
    EXPECT_EQ(throttle.value, 0);
}

TEST(PlayerCommands, ActiveBindingsByKeyModifiersAndButton) {
    // Devices without a device behind them: only their snapshots are read here.
    Input::Keyboard keyboard;
    Input::Joystick joystick;
    constexpr uint8_t E = 0x12, Q = 0x10, Any = 0xFF, None = 0xFF;
    const struct {
        const char* what;
        uint8_t held, pressed, modifiers;
        int8_t buttonHeld, buttonPressed;
        Base::KeyAssignment binding;
        bool pressedNow, active;
    } cases[] = {
        {"key pressed", E, E, 0, -1, -1, {E, None, 0}, true, true},
        {"key held, not pressed now", E, 0, 0, -1, -1, {E, None, 0}, true, false},
        {"key held", E, 0, 0, -1, -1, {E, None, 0}, false, true},
        {"other key", Q, Q, 0, -1, -1, {E, None, 0}, true, false},
        {"modifier 0 with Ctrl held", E, E, 2, -1, -1, {E, None, 0}, true, false},
        {"modifier Ctrl with Ctrl held", E, E, 2, -1, -1, {E, None, 2}, true, true},
        {"modifier Ctrl with Ctrl and Shift", E, E, 3, -1, -1, {E, None, 2}, true, false},
        {"any modifier, Alt held", E, E, 4, -1, -1, {E, None, Any}, true, true},
        {"any modifier, none held", E, 0, 0, -1, -1, {E, None, Any}, false, true},
        {"no key", 0, 0, 0, -1, -1, {0, None, Any}, true, false},
        {"button pressed", 0, 0, 0, 3, 3, {0, 3, 0}, true, true},
        {"button held", 0, 0, 0, 3, -1, {0, 3, 0}, false, true},
        {"button held, not pressed now", 0, 0, 0, 3, -1, {0, 3, 0}, true, false},
        {"button pressed, key's modifier wrong", 0, 0, 2, 5, 5, {E, 5, 0}, true, true},
        {"no button", 0, 0, 0, 31, 31, {0, None, 0}, true, false},
        {"key or button: the key", E, E, 0, -1, -1, {E, 5, 0}, true, true},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        std::fill(std::begin(keyboard.keys), std::end(keyboard.keys), uint8_t(0));
        std::fill(std::begin(joystick.buttons), std::end(joystick.buttons), uint8_t(0));
        if (k.held)
            keyboard.keys[k.held] = 1;
        keyboard.pressedKey = k.pressed;
        keyboard.modifiers = k.modifiers;
        if (k.buttonHeld >= 0)
            joystick.buttons[k.buttonHeld] = 1;
        joystick.pressedButton = k.buttonPressed;
        EXPECT_EQ(Obj::PilotPlayer::IsCommandActive(&keyboard, &joystick, k.binding, k.pressedNow), k.active);
        // Without devices nothing is active.
        EXPECT_FALSE(Obj::PilotPlayer::IsCommandActive(nullptr, nullptr, k.binding, k.pressedNow));
    }
}

} // namespace
