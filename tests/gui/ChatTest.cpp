// The chat log without a device: wrapping with the prefix indent, cuts with '-', lifetime and fades, the
// line limit, and a prefix too wide for a line (a remote player's name) that must not hang the game.
#include "FontSupport.h"

#include "base/FrameClock.h"
#include "gui/PassiveChat.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class Chat : public ::testing::Test {
protected:
    void SetUp() override {
        chat.font = font.get();
        Base::FrameClock::GameTime = 10.0;
    }
    // Oldest first, as they read on screen from the top.
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (auto it = chat.lines.rbegin(); it != chat.lines.rend(); ++it)
            out.push_back((*it)->prefix + "|" + (*it)->text);
        return out;
    }

    GuiTest::FontPtr font = GuiTest::SimpleFont(); // 'a' 8 wide, blank 4: 112 letters fit in 900
    Gui::PassiveChat chat;
};

TEST_F(Chat, WrapsAtBlanksWithThePrefixIndent) {
    // Words of 50 letters: two fit with the 16-wide prefix (16 + 101 x 8 = 824), a third does not.
    const std::string word(50, 'a');
    chat.AddLine(word + " " + word + " " + word + " " + word + " " + word, "ab", true);
    ASSERT_EQ(chat.lines.size(), 3u);
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{"ab|" + word + " " + word, "|" + word + " " + word, "|" + word}));
    EXPECT_EQ(chat.lines.back()->indent, 0.0f);
    EXPECT_EQ(chat.lines.front()->indent, 16.0f);
    EXPECT_EQ(chat.lines.front()->color.green, 255);
    chat.AddLine("c", "", false);
    EXPECT_EQ(chat.lines.front()->color.red, 255);
    EXPECT_EQ(chat.lines.front()->color.green, 128);
}

TEST_F(Chat, CutsALongWordWithAHyphen) {
    chat.AddLine(std::string(300, 'b'), "", true);
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{"|" + std::string(112, 'b') + "-", "|" + std::string(112, 'b') + "-",
                                        "|" + std::string(76, 'b')}));
}

TEST_F(Chat, EmptyTextIsTheBarePrefix) {
    chat.AddLine("", "abc", true);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"abc|"}));
}

TEST_F(Chat, OverlongPrefixAndTextEndWithBoundedLines) {
    // 1600 units of prefix: cut to 600 (75 letters), so the text still has room on every line.
    chat.AddLine("c", std::string(200, 'a'), true);
    ASSERT_EQ(chat.lines.size(), 1u);
    EXPECT_EQ(chat.lines.front()->prefix, std::string(75, 'a'));
    chat.lines.clear();
    // A flood of text: at most ten lines, each with at least one character.
    chat.AddLine(std::string(100000, 'a'), std::string(75, 'b'), true);
    ASSERT_EQ(chat.lines.size(), Gui::PassiveChat::MaxLinesPerMessage);
    for (const auto& line : chat.lines)
        EXPECT_GT(line->text.size(), 1u);
}

TEST_F(Chat, LinesLiveTheirTimeAndFade) {
    chat.AddLine("a", "", true);
    Base::FrameClock::GameTime = 11.0;
    chat.AddLine("b", "", true);
    struct Step {
        double time;
        size_t left;
    } steps[] = {{25.0, 2}, {25.01, 1}, {26.0, 1}, {26.01, 0}};
    for (const Step& step : steps) {
        Base::FrameClock::GameTime = step.time;
        chat.Update();
        EXPECT_EQ(chat.lines.size(), step.left) << step.time;
    }
    // Fade in over 0.5 s, out over the last 0.5 s; only the newest maxLines lines are drawn (and faded).
    chat.maxLines = 2;
    Base::FrameClock::GameTime = 30.0;
    for (const char* text : {"a", "b", "c"})
        chat.AddLine(text, "", true);
    Base::FrameClock::GameTime = 30.25;
    chat.Draw();
    EXPECT_EQ(chat.lines[0]->color.alpha, 127);
    EXPECT_EQ(chat.lines[1]->color.alpha, 127);
    EXPECT_EQ(chat.lines[2]->color.alpha, 255); // not drawn
    Base::FrameClock::GameTime = 44.75;
    chat.Draw();
    EXPECT_EQ(chat.lines[0]->color.alpha, 127);
}

// Drawn every frame, a line fades in, stays fully opaque for its life and fades out, at any frame rate.
TEST_F(Chat, ALineIsOpaqueBetweenItsFadesEveryFrame) {
    for (double fps : {10.0, 60.0}) {
        SCOPED_TRACE(fps);
        chat.lines.clear();
        Base::FrameClock::GameTime = 30.0;
        chat.AddLine("a", "", true);
        int previous = -1;
        for (int frame = 0; frame * (1 / fps) < 15.0; ++frame) {
            const double age = frame / fps;
            Base::FrameClock::GameTime = 30.0 + age;
            chat.Update();
            chat.Draw();
            ASSERT_EQ(chat.lines.size(), 1u);
            const int alpha = chat.lines[0]->color.alpha;
            if (age < 0.5) {
                EXPECT_NEAR(alpha, age / 0.5 * 255, 1.5) << age;
                EXPECT_GT(alpha, previous) << age;
            } else if (age <= 14.5) {
                EXPECT_EQ(alpha, 255) << age;
            } else {
                EXPECT_LT(alpha, 255) << age;
                EXPECT_NEAR(alpha, (15.0 - age) / 0.5 * 255, 1.5) << age;
            }
            previous = alpha;
        }
    }
}

} // namespace
