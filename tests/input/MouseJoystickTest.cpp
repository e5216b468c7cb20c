#include "DevicesFixture.h"

#include "input/Joystick.h"
#include "input/Mouse.h"

#include <cmath>
#include <limits>
#include <memory>

namespace {

class MouseTest : public DevicesFixture {
protected:
    SDL_Event Motion(int dx, int dy) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = SDL_GetWindowID(sdl);
        e.motion.xrel = dx;
        e.motion.yrel = dy;
        return e;
    }
    SDL_Event Button(Uint8 button, bool down) {
        SDL_Event e{};
        e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.windowID = SDL_GetWindowID(sdl);
        e.button.button = button;
        e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        return e;
    }
};

TEST_F(MouseTest, MovementAndOneClickPerPoll) {
    Input::Mouse mouse;
    ASSERT_EQ(mouse.state, Input::Device::NotAcquired);
    EXPECT_EQ(mouse.PollAndAcquire(), Input::Device::Acquired);
    Push(Motion(5, -3));
    SDL_Event wheel{};
    wheel.type = SDL_MOUSEWHEEL;
    wheel.wheel.y = 2;
    Push(wheel);
    Push(Button(SDL_BUTTON_RIGHT, true));
    Push(Motion(1, 1));
    Push(Button(SDL_BUTTON_LEFT, true));
    ASSERT_EQ(mouse.Poll(), Input::Device::Acquired);
    EXPECT_EQ(mouse.dx, 5);
    EXPECT_EQ(mouse.dy, -3);
    EXPECT_EQ(mouse.dz, 240);
    EXPECT_EQ(mouse.clickedButton, 1);
    EXPECT_EQ(mouse.buttons[0], 1);
    EXPECT_EQ(mouse.buttons[1], 1);
    ASSERT_EQ(mouse.Poll(), Input::Device::Acquired);
    EXPECT_EQ(mouse.dx, 1); // read on after the first click
    EXPECT_EQ(mouse.dy, 1);
    EXPECT_EQ(mouse.dz, 0);
    EXPECT_EQ(mouse.clickedButton, 0);
    Push(Button(SDL_BUTTON_RIGHT, false));
    ASSERT_EQ(mouse.Poll(), Input::Device::Acquired);
    EXPECT_EQ(mouse.clickedButton, -1); // releases are no clicks
    EXPECT_EQ(mouse.buttons[1], 0);
}

TEST_F(MouseTest, ALostMouseIsClearedAndReacquired) {
    Input::Mouse mouse;
    mouse.PollAndAcquire();
    Push(Button(SDL_BUTTON_LEFT, true));
    Focus(false);
    EXPECT_EQ(mouse.Poll(), Input::Device::NotAcquired);
    EXPECT_EQ(mouse.buttons[0], 0);
    EXPECT_EQ(mouse.clickedButton, -1);
    Focus(true);
    EXPECT_EQ(mouse.PollAndAcquire(), Input::Device::Acquired);
    Push(Motion(2, 0));
    EXPECT_EQ(mouse.Poll(), Input::Device::Acquired);
    EXPECT_EQ(mouse.dx, 2);
}

class JoystickTest : public DevicesFixture {
protected:
    void SetUp() override {
        DevicesFixture::SetUp();
        if (SDL_NumJoysticks() > 0)
            GTEST_SKIP() << "a game controller is attached to this machine";
    }
    void TearDown() override {
        stick.reset();
        if (virt) {
            SDL_JoystickClose(virt);
            SDL_JoystickDetachVirtual(0);
        }
        DevicesFixture::TearDown();
    }
    // A flight stick with the given axes and one hat, opened by the game's joystick.
    void Attach(int axes) {
        int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_FLIGHT_STICK, axes, 32, 1);
        ASSERT_EQ(index, 0) << SDL_GetError();
        virt = SDL_JoystickOpen(index);
        ASSERT_NE(virt, nullptr);
        stick = std::make_unique<Input::Joystick>();
        ASSERT_EQ(stick->state, Input::Device::NotAcquired);
        ASSERT_EQ(stick->PollAndAcquire(), Input::Device::Acquired);
    }
    void Poll() { ASSERT_EQ(stick->Poll(), Input::Device::Acquired); }

    SDL_Joystick* virt = nullptr;
    std::unique_ptr<Input::Joystick> stick;
};

TEST_F(JoystickTest, NoControllerNoDevice) {
    Input::Joystick none;
    EXPECT_EQ(none.state, Input::Device::NoDevice);
    EXPECT_EQ(none.device, nullptr);
    EXPECT_EQ(none.PollAndAcquire(), Input::Device::NoDevice);
    EXPECT_EQ(none.pointOfView, -1.0f);
    EXPECT_EQ(none.pressedButton, -1);
}

TEST_F(JoystickTest, AxesAndTheDeadZone) {
    Attach(4);
    EXPECT_EQ(stick->noSlider, 0);
    EXPECT_FLOAT_EQ(stick->deadZone, 0.1f);
    struct {
        float deadZone;
        Sint16 sdl; // raw = sdl + 32768
        float expected;
    } const cases[] = {
        {0.1f, 0, 0.0f},                           // raw 32768 is exactly 0
        {0.1f, -32768, -1.0f},                     // raw 0
        {0.1f, 32767, 65535.0f / 32768.0f - 1.0f}, // raw 65535: just under 1
        {0.1f, 3276, 0.0f},                        // 0.09998: inside the dead zone
        {0.1f, -3276, 0.0f},
        {0.1f, 3277, 3277.0f / 32768.0f}, // 0.10001: kept as it is, not rescaled
        {0.0f, 1, 1.0f / 32768.0f},
        {0.5f, -16383, 0.0f},
        {0.5f, -16384, -0.5f},
    };
    for (const auto& c : cases) {
        stick->SetDeadZone(c.deadZone);
        SDL_JoystickSetVirtualAxis(virt, 0, c.sdl);
        SDL_JoystickSetVirtualAxis(virt, 1, c.sdl);
        SDL_JoystickSetVirtualAxis(virt, 2, c.sdl);
        Poll();
        EXPECT_FLOAT_EQ(stick->x, c.expected) << c.sdl;
        EXPECT_FLOAT_EQ(stick->y, c.expected) << c.sdl;
        EXPECT_FLOAT_EQ(stick->rudder, c.expected) << c.sdl;
    }
}

TEST_F(JoystickTest, ThrottleFromTheSliderOrFromZ) {
    Attach(4); // the fourth axis is slider 0
    struct {
        Sint16 sdl;
        float throttle;
    } const cases[] = {{-32768, 1.0f}, {32767, 0.0f}, {0, 1.0f - 32768.0f / 65535.0f}};
    for (const auto& c : cases) {
        SDL_JoystickSetVirtualAxis(virt, 3, c.sdl);
        Poll();
        EXPECT_FLOAT_EQ(stick->throttle, c.throttle) << c.sdl;
    }
}

TEST_F(JoystickTest, WithoutASliderTheThrottleIsZ) {
    Attach(3);
    EXPECT_EQ(stick->noSlider, 1);
    SDL_JoystickSetVirtualAxis(virt, 2, 32767);
    Poll();
    EXPECT_FLOAT_EQ(stick->throttle, 0.0f);
    EXPECT_FLOAT_EQ(stick->rudder, 0.0f); // no twist axis: centred
}

TEST_F(JoystickTest, PointOfViewInDegrees) {
    Attach(2);
    struct {
        Uint8 hat;
        float degrees;
    } const cases[] = {{SDL_HAT_RIGHT, 90.0f},
                       {SDL_HAT_UP, 0.0f},
                       {SDL_HAT_LEFTDOWN, 225.0f},
                       {SDL_HAT_LEFTUP, 315.0f},
                       {SDL_HAT_CENTERED, -1.0f}};
    for (const auto& c : cases) {
        SDL_JoystickSetVirtualHat(virt, 0, c.hat);
        Poll();
        EXPECT_FLOAT_EQ(stick->pointOfView, c.degrees) << int(c.hat);
    }
}

TEST_F(JoystickTest, OnePressedButtonPerPoll) {
    Attach(2);
    SDL_JoystickSetVirtualAxis(virt, 0, 20000); // axis movement is passed over
    SDL_JoystickSetVirtualButton(virt, 6, SDL_PRESSED);
    Poll();
    EXPECT_EQ(stick->pressedButton, 6);
    EXPECT_EQ(stick->buttons[6], 1);
    SDL_JoystickSetVirtualButton(virt, 2, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(virt, 31, SDL_PRESSED);
    Poll();
    EXPECT_EQ(stick->pressedButton, 2);
    EXPECT_EQ(stick->buttons[31], 1);
    Poll();
    EXPECT_EQ(stick->pressedButton, 31);
    SDL_JoystickSetVirtualButton(virt, 6, SDL_RELEASED);
    Poll();
    EXPECT_EQ(stick->pressedButton, -1);
    EXPECT_EQ(stick->buttons[6], 0);
}

TEST_F(JoystickTest, ALostJoystickIsClearedAndReacquired) {
    Attach(2);
    SDL_JoystickSetVirtualButton(virt, 1, SDL_PRESSED);
    SDL_JoystickSetVirtualHat(virt, 0, SDL_HAT_DOWN);
    Poll();
    EXPECT_EQ(stick->pointOfView, 180.0f);
    Focus(false);
    EXPECT_EQ(stick->Poll(), Input::Device::NotAcquired);
    EXPECT_EQ(stick->buttons[1], 0);
    EXPECT_EQ(stick->pointOfView, -1.0f);
    EXPECT_EQ(stick->pressedButton, -1);
    Focus(true);
    EXPECT_EQ(stick->PollAndAcquire(), Input::Device::Acquired);
    Poll();
    EXPECT_EQ(stick->buttons[1], 1);
    EXPECT_EQ(stick->pointOfView, 180.0f);
}

TEST(JoystickDeadZone, SetDeadZoneClamps) {
    Input::Joystick j; // without DirectInput: no device, the setting still works
    struct {
        float in, out;
    } const cases[] = {{-1.0f, 0.0f},
                       {0.0f, 0.0f},
                       {0.25f, 0.25f},
                       {1.0f, 1.0f},
                       {7.0f, 1.0f},
                       {std::numeric_limits<float>::quiet_NaN(), 0.0f},
                       {std::numeric_limits<float>::infinity(), 1.0f}};
    for (const auto& c : cases) {
        j.SetDeadZone(c.in);
        EXPECT_EQ(j.deadZone, c.out) << c.in;
    }
}

} // namespace
