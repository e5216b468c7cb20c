// The rig's fixed clock and scripted devices, read through the game's own input classes.
#include "tests/rig/ScriptedInput.h"

#include "base/FrameClock.h"
#include "input/Joystick.h"
#include "input/Keyboard.h"
#include "input/Mouse.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <memory>

using Base::FrameClock;

TEST(FixedClock, TicksAdvanceTheTimeByExactlyTheStep) {
    const double step = 1.0 / 60.0;
    FrameClock::SetFixedStep(step, 5.0);
    EXPECT_EQ(FrameClock::GetFixedStep(), step);
    EXPECT_EQ(FrameClock::GetSeconds(), 5.0);
    for (int n = 1; n <= 10000; ++n) {
        FrameClock::Tick();
        ASSERT_EQ(FrameClock::GameTime, 5.0 + n * step) << n;
        ASSERT_EQ(FrameClock::FrameTime, step) << n;
        // Between ticks the time stands still, on every thread.
        ASSERT_EQ(FrameClock::GetSeconds(), FrameClock::GameTime) << n;
    }
    FrameClock::SetFixedStep(0);
    EXPECT_EQ(FrameClock::GetFixedStep(), 0.0);
    FrameClock::SetFixedStep(-1);
    EXPECT_EQ(FrameClock::GetFixedStep(), 0.0);
}

namespace {

class ScriptedDevices : public ::testing::Test {
protected:
    void SetUp() override {
        FrameClock::SetFixedStep(1.0 / 64.0); // a step that float time keeps exactly
        keyboard = std::make_unique<Input::Keyboard>();
        mouse = std::make_unique<Input::Mouse>();
        joystick = std::make_unique<Input::Joystick>();
        ASSERT_EQ(keyboard->state, Input::Device::NotAcquired);
        ASSERT_EQ(mouse->state, Input::Device::NotAcquired);
        ASSERT_EQ(joystick->state, Input::Device::NotAcquired);
    }
    void TearDown() override {
        keyboard.reset();
        mouse.reset();
        joystick.reset();
        FrameClock::SetFixedStep(0);
    }
    void Script(const char* text) { ASSERT_TRUE(input.script.Parse(text)) << input.script.error; }
    // One frame as the game runs it: the script's events, the clock's tick, then each device's poll.
    void Frame() {
        input.BeginFrame(frame++);
        FrameClock::Tick();
        keyboard->PollAndAcquire();
        mouse->PollAndAcquire();
        joystick->PollAndAcquire();
    }

    Rig::ScriptedInput input;
    std::unique_ptr<Input::Keyboard> keyboard;
    std::unique_ptr<Input::Mouse> mouse;
    std::unique_ptr<Input::Joystick> joystick;
    uint32_t frame = 0;
};

} // namespace

TEST_F(ScriptedDevices, KeyReachesTheKeyboardOnItsFrameAndNotBefore) {
    Script("5 keyboard down Q   # the player presses Q\n"
           "5 keyboard down RSHIFT\n"
           "7 keyboard up Q\n");
    for (uint32_t f = 0; f < 5; ++f) {
        Frame();
        EXPECT_EQ(keyboard->keys[DIK_Q], 0) << f;
        EXPECT_EQ(keyboard->pressedKey, 0) << f;
    }
    Frame(); // 5
    EXPECT_EQ(keyboard->keys[DIK_Q], 1);
    EXPECT_EQ(keyboard->modifiers, Input::Keyboard::Shift);
    // One key per poll: Q went down first in the script, so Shift's press comes a frame later.
    EXPECT_EQ(keyboard->pressedKey, DIK_Q);
    Frame(); // 6
    EXPECT_EQ(keyboard->keys[DIK_Q], 1);
    EXPECT_EQ(keyboard->pressedKey, DIK_RSHIFT);
    Frame(); // 7
    EXPECT_EQ(keyboard->keys[DIK_Q], 0);
    EXPECT_EQ(keyboard->pressedKey, 0);
}

TEST_F(ScriptedDevices, HeldKeyRepeatsOnTheFixedClock) {
    Script("1 keyboard down UP\n");
    for (uint32_t f = 0; f <= 18; ++f) {
        Frame();
        // Pressed at 1/64 s; first repeat once 0.2 s have passed (13 frames), then every 0.03 s.
        const bool repeat = f == 14 || f == 16 || f == 18;
        EXPECT_EQ(keyboard->pressedKey, f == 1 ? DIK_UP : 0) << f;
        EXPECT_EQ(keyboard->repeatKey, repeat ? DIK_UP : 0) << f;
    }
}

TEST_F(ScriptedDevices, LostDeviceIsReacquiredOnceItIsFound) {
    Script("3 keyboard down A\n"
           "5 keyboard lost\n"
           "8 keyboard found\n");
    for (uint32_t f = 0; f <= 9; ++f) {
        Frame();
        const bool away = f >= 5 && f <= 8; // lost, and the frame of the new acquisition reads nothing
        EXPECT_EQ(keyboard->state, f >= 5 && f <= 7 ? Input::Device::NotAcquired : Input::Device::Acquired)
            << f;
        EXPECT_EQ(keyboard->keys[DIK_A], f >= 3 && !away ? 1 : 0) << f;
        EXPECT_EQ(keyboard->pressedKey, f == 3 ? DIK_A : 0) << f;
    }
}

TEST_F(ScriptedDevices, TypedTextPressesOneKeyEveryTwoFramesShiftFirst) {
    Script("2 keyboard type \"aB\"\n");
    uint8_t pressed[8] = {}, modifiers[8] = {};
    for (uint32_t f = 0; f < 8; ++f) {
        Frame();
        pressed[f] = keyboard->pressedKey;
        modifiers[f] = keyboard->modifiers;
    }
    const uint8_t expectPressed[8] = {0, 0, DIK_A, 0, DIK_LSHIFT, DIK_B, 0, 0};
    const uint8_t shift = Input::Keyboard::Shift;
    const uint8_t expectModifiers[8] = {0, 0, 0, 0, shift, shift, 0, 0};
    for (int f = 0; f < 8; ++f) {
        EXPECT_EQ(pressed[f], expectPressed[f]) << f;
        EXPECT_EQ(modifiers[f], expectModifiers[f]) << f;
    }
}

TEST_F(ScriptedDevices, MouseAndJoystickPlayTheirEvents) {
    Script("2 mouse move 15 -3\n"
           "2 mouse move 5 0\n"
           "3 mouse press left\n"
           "3 mouse wheel -120\n"
           "4 joystick axis x 0.5\n"
           "4 joystick axis rudder -1\n"
           "4 joystick throttle 1\n"
           "4 joystick pov 90\n"
           "4 joystick press 7\n"
           "5 joystick pov centre\n");
    for (uint32_t f = 0; f < 2; ++f)
        Frame();
    Frame(); // 2
    EXPECT_EQ(mouse->dx, 20);
    EXPECT_EQ(mouse->dy, -3);
    EXPECT_EQ(mouse->clickedButton, -1);
    Frame(); // 3
    EXPECT_EQ(mouse->dx, 0);
    EXPECT_EQ(mouse->buttons[0], 1);
    EXPECT_EQ(mouse->clickedButton, 0);
    Frame(); // 4: the wheel stayed buffered behind the click
    EXPECT_EQ(mouse->dz, -120);
    EXPECT_EQ(mouse->buttons[0], 0);
    EXPECT_FLOAT_EQ(joystick->x, 0.5f);
    EXPECT_FLOAT_EQ(joystick->y, 0.0f);
    EXPECT_FLOAT_EQ(joystick->rudder, -1.0f);
    EXPECT_FLOAT_EQ(joystick->throttle, 1.0f);
    EXPECT_FLOAT_EQ(joystick->pointOfView, 90.0f);
    EXPECT_EQ(joystick->buttons[7], 1);
    EXPECT_EQ(joystick->pressedButton, 7);
    Frame(); // 5
    EXPECT_EQ(joystick->buttons[7], 0);
    EXPECT_EQ(joystick->pressedButton, -1);
    EXPECT_FLOAT_EQ(joystick->pointOfView, -1.0f);
}

TEST_F(ScriptedDevices, MalformedLinesAreNamed) {
    Rig::Script bad;
    EXPECT_FALSE(bad.Parse("1 keyboard down Q\nx keyboard down Q\n"));
    EXPECT_EQ(bad.error, "line 2: \"x\" is not a frame number");
    EXPECT_FALSE(bad.Parse("3 trackball move 1 1\n"));
    EXPECT_EQ(bad.error, "line 1: unknown device \"trackball\"");
    Script("\n1 keyboard down NOSUCHKEY\n2 joystick axis w 0\n");
    EXPECT_NONFATAL_FAILURE(input.BeginFrame(1), "script line 2: 1 keyboard down NOSUCHKEY: unknown key");
    EXPECT_NONFATAL_FAILURE(input.BeginFrame(2), "script line 3: 2 joystick axis w 0: unknown axis \"w\"");
}

TEST(ScriptedInputWithoutJoystick, JoystickHasNoDevice) {
    Rig::ScriptedInput input(false);
    Input::Joystick joystick;
    EXPECT_EQ(joystick.state, Input::Device::NoDevice);
    EXPECT_EQ(joystick.PollAndAcquire(), Input::Device::NoDevice);
}
