// The single-player game's time keys, their key-assignment test and the time-flow text, without a game.
#include "games/SPlrGame.h"

#include "base/TextTable.h"
#include "input/Joystick.h"
#include "input/Keyboard.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(TimeKeys, RatesStepAsTheKeysSay) {
    struct Case {
        float (*key)(float);
        const char* name;
        float from, to;
    } cases[] = {
        {SPlr::TimeCmpRate, "TimeCmp", 1, 2},
        {SPlr::TimeCmpRate, "TimeCmp", 2, 4},
        {SPlr::TimeCmpRate, "TimeCmp", 4, 8},
        {SPlr::TimeCmpRate, "TimeCmp", 8, 1}, // the cycle closes
        {SPlr::TimeCmpRate, "TimeCmp", 0, 0},
        {SPlr::TimeCmpRate, "TimeCmp", 0.5f, 1},
        {SPlr::TimeCmpRate, "TimeCmp", 16, 1},
        {SPlr::TimeCmpPlusRate, "TimeCmpPlus", 0, 1.0f / 1024},
        {SPlr::TimeCmpPlusRate, "TimeCmpPlus", 1.0f / 1024, 1.0f / 512},
        {SPlr::TimeCmpPlusRate, "TimeCmpPlus", 1, 2},
        {SPlr::TimeCmpPlusRate, "TimeCmpPlus", 8, 16},
        {SPlr::TimeCmpPlusRate, "TimeCmpPlus", 16, 16}, // the cap
        {SPlr::TimeCmpPlusRate, "TimeCmpPlus", 10, 16},
        {SPlr::TimeCmpMinusRate, "TimeCmpMinus", 1, 0.5f},
        {SPlr::TimeCmpMinusRate, "TimeCmpMinus", 1.0f / 512, 1.0f / 1024},
        {SPlr::TimeCmpMinusRate, "TimeCmpMinus", 1.0f / 1024, 0},
        {SPlr::TimeCmpMinusRate, "TimeCmpMinus", 0.001f, 0},
        {SPlr::TimeCmpMinusRate, "TimeCmpMinus", 0, 0},
        {SPlr::TimeCmpMinusRate, "TimeCmpMinus", 16, 8},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.key(c.from), c.to) << c.name << " from " << c.from;

    // Minus from 16 reaches 0 after 15 presses, Plus climbs back from 0 to 1 in 11.
    float rate = 16;
    int presses = 0;
    for (; rate > 0 && presses < 100; ++presses)
        rate = SPlr::TimeCmpMinusRate(rate);
    EXPECT_EQ(presses, 15);
    for (presses = 0; rate < 1 && presses < 100; ++presses)
        rate = SPlr::TimeCmpPlusRate(rate);
    EXPECT_EQ(presses, 11);
    EXPECT_EQ(rate, 1.0f);
}

TEST(TimeKeys, PauseResumesOnlyWhenTimeStoodStill) {
    EXPECT_EQ(SPlr::PauseRate(0), 1.0f);
    EXPECT_EQ(SPlr::PauseRate(-0.0f), 1.0f);
    EXPECT_EQ(SPlr::PauseRate(0.016f), 0.0f);
    EXPECT_EQ(SPlr::PauseRate(1e-6f), 0.0f);
}

TEST(TimeKeys, AssignmentFiresOnItsKeyWithItsModifiersOrItsButton) {
    constexpr uint8_t Any = Base::KeyAssignment::AnyModifiers, None = Base::KeyAssignment::NoButton;
    struct Case {
        Base::KeyAssignment entry;
        uint8_t pressedKey, modifiers;
        int8_t pressedButton;
        bool keyboard, joystick, fires;
    } cases[] = {
        {{0x14, None, 0}, 0x14, 0, -1, true, true, true},
        {{0x14, None, 0}, 0x14, 1, -1, true, true, false},  // Shift held
        {{0x1A, None, 1}, 0x1A, 1, -1, true, true, true},   // Shift asked and held
        {{0x1A, None, 1}, 0x1A, 3, -1, true, true, false},  // Shift and Control held
        {{0x1A, None, Any}, 0x1A, 6, -1, true, true, true}, // any modifiers
        {{0x14, None, 0}, 0x15, 0, -1, true, true, false},
        {{0x14, None, 0}, 0x14, 0, -1, false, true, false}, // no keyboard
        {{0x00, None, 0}, 0x00, 0, -1, true, true, false},  // an empty entry never fires on no key
        {{0x00, 5, 0}, 0, 0, 5, true, true, true},          // the button alone
        {{0x14, 5, 0}, 0, 0, 5, false, true, true},
        {{0x14, 5, 0}, 0, 0, 5, true, false, false}, // no joystick
        {{0x14, 5, 0}, 0, 0, 4, true, true, false},
        {{0x14, 0, 0}, 0, 0, 0, true, true, true}, // button 0 is a button
        {{0x14, None, 0}, 0, 0, -1, true, true, false},
        {{0x14, 31, 0}, 0, 0, 31, true, true, true},
        {{0x14, 32, 0}, 0, 0, 32, true, true, false}, // past the last button
    };
    for (const Case& c : cases) {
        Input::Keyboard keyboard;
        keyboard.pressedKey = c.pressedKey;
        keyboard.modifiers = c.modifiers;
        Input::Joystick joystick;
        joystick.pressedButton = c.pressedButton;
        EXPECT_EQ(SPlr::AssignmentFires(c.entry, c.keyboard ? &keyboard : nullptr,
                                        c.joystick ? &joystick : nullptr),
                  c.fires)
            << int(c.entry.key) << "/" << int(c.entry.button) << "/" << int(c.entry.modifiers) << " key "
            << int(c.pressedKey) << " modifiers " << int(c.modifiers) << " button " << int(c.pressedButton);
    }
}

TEST(TimeKeys, TimeFlowTextFromTheStringsFile) {
    const std::filesystem::path strings =
        std::filesystem::path(CORVANE_SOURCE_DIR) / "data/Data/Strings.info";
    ASSERT_EQ(Base::TextTable.LoadFile(strings.string()), 0);
    struct Case {
        float rate;
        const char* text;
    } cases[] = {{0, "Paused"},       {2, "Time x 2"}, {16, "Time x 16"},           {0.5f, "Time / 2"},
                 {0.25f, "Time / 4"}, {1, ""},         {1.0f / 1024, "Time / 1024"}};
    for (const Case& c : cases)
        EXPECT_EQ(SPlr::TimeFlowText(c.rate), c.text) << c.rate;
    Base::TextTable = Base::Info();
}

} // namespace
