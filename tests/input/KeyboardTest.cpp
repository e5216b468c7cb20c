#include "DevicesFixture.h"

#include "base/FrameClock.h"
#include "input/Keyboard.h"

#include <cstring>
#include <memory>

namespace {

float fakeNow = 0;
float FakeClock() {
    return fakeNow;
}

class KeyboardTest : public DevicesFixture {
protected:
    void SetUp() override {
        DevicesFixture::SetUp();
        fakeNow = 0;
        kb = std::make_unique<Input::Keyboard>();
        kb->clock = &FakeClock;
        ASSERT_EQ(kb->state, Input::Device::NotAcquired);
        // A new device is read from its second frame on.
        ASSERT_EQ(kb->PollAndAcquire(), Input::Device::Acquired);
    }
    void TearDown() override {
        kb.reset();
        DevicesFixture::TearDown();
    }
    void PollAt(float t) {
        fakeNow = t;
        EXPECT_EQ(kb->Poll(), Input::Device::Acquired);
    }
    std::unique_ptr<Input::Keyboard> kb;
};

TEST_F(KeyboardTest, HeldKeysAndModifiers) {
    Key(SDL_SCANCODE_RSHIFT, true);
    Key(SDL_SCANCODE_LCTRL, true);
    Key(SDL_SCANCODE_RALT, true);
    Key(SDL_SCANCODE_Q, true);
    PollAt(0);
    EXPECT_EQ(kb->keys[0x36], 1);
    EXPECT_EQ(kb->keys[0x1D], 1);
    EXPECT_EQ(kb->keys[0xB8], 1);
    EXPECT_EQ(kb->keys[0x10], 1);
    EXPECT_EQ(kb->keys[0x2A], 0);
    EXPECT_EQ(kb->modifiers, Input::Keyboard::Shift | Input::Keyboard::Control | Input::Keyboard::Alt);
    Key(SDL_SCANCODE_LCTRL, false);
    Key(SDL_SCANCODE_RALT, false);
    PollAt(0);
    PollAt(0);
    PollAt(0);
    EXPECT_EQ(kb->modifiers, Input::Keyboard::Shift);
}

TEST_F(KeyboardTest, AutoRepeatFollowsTheClock) {
    Key(SDL_SCANCODE_UP, true);
    struct Step {
        float t;
        int pressed, repeat;
    } const steps[] = {
        {0.0f, 0xC8, 0},    // pressed on the first poll
        {0.1f, 0, 0},       //
        {0.199f, 0, 0},     //
        {0.2f, 0, 0xC8},    // first repeat 0.2 s after the press; the repeat time becomes 0.2
        {0.22f, 0, 0},      //
        {0.2301f, 0, 0xC8}, // then every 0.03 s: the repeat time becomes 0.23
        {0.25f, 0, 0},      //
        {1.0f, 0, 0xC8},    // a stall gives one repeat only (repeat time 0.26)
        {1.0f, 0, 0xC8},    // and the repeat time lags behind (0.29)
    };
    for (const Step& s : steps) {
        PollAt(s.t);
        EXPECT_EQ(kb->pressedKey, s.pressed) << s.t;
        EXPECT_EQ(kb->repeatKey, s.repeat) << s.t;
        EXPECT_EQ(kb->keys[0xC8], 1);
    }
    EXPECT_NEAR(kb->repeatTime, 0.29f, 1e-5f);
}

TEST_F(KeyboardTest, ReleasingAnyKeyStopsTheRepeat) {
    Key(SDL_SCANCODE_A, true);
    Key(SDL_SCANCODE_LSHIFT, true);
    Key(SDL_SCANCODE_LSHIFT, false);
    PollAt(0); // A goes down; the shift events wait
    EXPECT_EQ(kb->pressedKey, 0x1E);
    PollAt(0.05f); // Shift goes down
    EXPECT_EQ(kb->pressedKey, 0x2A);
    PollAt(0.1f); // Shift goes up: nothing is held any more
    EXPECT_EQ(kb->pressedKey, 0);
    EXPECT_EQ(kb->heldKey, 0);
    PollAt(5.0f);
    EXPECT_EQ(kb->repeatKey, 0);
    EXPECT_EQ(kb->keys[0x1E], 1);
}

TEST_F(KeyboardTest, TwoKeysOfOneFrameAreReportedOnTwoPolls) {
    Key(SDL_SCANCODE_F1, true);
    Key(SDL_SCANCODE_F2, true);
    PollAt(0);
    EXPECT_EQ(kb->pressedKey, 0x3B);
    EXPECT_EQ(kb->keys[0x3B], 1);
    EXPECT_EQ(kb->keys[0x3C], 1);
    PollAt(0.01f);
    EXPECT_EQ(kb->pressedKey, 0x3C);
    PollAt(0.02f);
    EXPECT_EQ(kb->pressedKey, 0);
}

TEST_F(KeyboardTest, ALostKeyboardIsClearedAndReacquiredByTheNextTick) {
    Key(SDL_SCANCODE_P, true);
    PollAt(0);
    EXPECT_EQ(kb->keys[0x19], 1);
    Focus(false);
    fakeNow = 0.5f;
    EXPECT_EQ(kb->PollAndAcquire(), Input::Device::NotAcquired); // focus still away: stays lost
    EXPECT_EQ(kb->keys[0x19], 0);
    EXPECT_EQ(kb->pressedKey, 0);
    EXPECT_EQ(kb->repeatKey, 0);
    Key(SDL_SCANCODE_P, false); // let go while another window has the keyboard
    Focus(true);
    EXPECT_EQ(kb->PollAndAcquire(), Input::Device::Acquired);
    PollAt(1.0f);
    PollAt(2.0f);
    EXPECT_EQ(kb->keys[0x19], 0);
    EXPECT_EQ(kb->repeatKey, 0); // no phantom repeat of the key released while lost
    Key(SDL_SCANCODE_N, true);
    PollAt(2.1f);
    EXPECT_EQ(kb->pressedKey, 0x31);
}

TEST_F(KeyboardTest, EventsTakenByTheMessageLoopStillReachTheKeyboard) {
    Key(SDL_SCANCODE_X, true);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) // the window layer empties SDL's queue
        ;
    EXPECT_EQ(SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT), 0);
    PollAt(0);
    EXPECT_EQ(kb->pressedKey, 0x2D);
    EXPECT_EQ(kb->keys[0x2D], 1);
}

TEST(KeyboardClock, CountsFromTheFrameClocksStart) {
    double before = Base::FrameClock::GetSeconds();
    float seconds = Input::Keyboard::FrameClockSeconds();
    double after = Base::FrameClock::GetSeconds();
    EXPECT_GE(seconds, float(before) - 1e-3f);
    EXPECT_LE(seconds, float(after) + 1e-3f);
}

TEST(KeyboardChars, CharToScanCode) {
    struct {
        char c;
        uint8_t code, shifted;
    } const cases[] = {
        // The keypad's + comes first: the main row has + only shifted.
        {'1', 0x02, 0},  {'=', 0x0D, 0}, {'!', 0x02, 1}, {'@', 0x03, 1}, {'+', 0x4E, 0}, {'q', 0x10, 0},
        {'P', 0x19, 1},  {'{', 0x1A, 1}, {'a', 0x1E, 0}, {'`', 0x29, 0}, {'~', 0x29, 1}, {'"', 0x28, 1},
        {'\\', 0x2B, 0}, {'|', 0x2B, 1}, {'z', 0x2C, 0}, {'?', 0x35, 1}, {'/', 0x35, 0}, {'*', 0x37, 0},
        {' ', 0x39, 0},  {'7', 0x08, 0}, {'.', 0x34, 0}, {'-', 0x0C, 0}, {'_', 0x0C, 1},
    };
    for (const auto& c : cases) {
        uint8_t shifted = 9;
        EXPECT_EQ(Input::Keyboard::CharToScanCode(c.c, &shifted), c.code) << c.c;
        EXPECT_EQ(shifted, c.shifted) << c.c;
    }
    uint8_t untouched = 9;
    EXPECT_EQ(Input::Keyboard::CharToScanCode('\t', &untouched), 0);
    EXPECT_EQ(Input::Keyboard::CharToScanCode(char(0xE9), &untouched), 0);
    EXPECT_EQ(untouched, 9);
    EXPECT_EQ(Input::Keyboard::CharToScanCode('x', nullptr), 0x2D);
}

TEST(KeyboardWithoutDirectInput, StaysWithoutADevice) {
    Input::ReleaseDirectInput();
    Input::Keyboard kb;
    EXPECT_EQ(kb.state, Input::Device::NoDevice);
    EXPECT_EQ(kb.PollAndAcquire(), Input::Device::NoDevice);
}

} // namespace
