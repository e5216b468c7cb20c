// The announcer's timing without a device: durations from the text, the queue's limit, the clock that
// starts at the first draw, the fades and the scroll (none when there is no time to scroll in).
#include "base/FrameClock.h"
#include "gui/Announcer.h"
#include "gui/Text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class Announce : public ::testing::Test {
protected:
    void SetUp() override { Base::FrameClock::GameTime = 100.0; }
    Gui::Announcer announcer;
};

TEST_F(Announce, DurationsAndTheQueueLimit) {
    struct Case {
        size_t characters;
        float given, expected;
    } cases[] = {{40, 0, 5.0f}, {0, 0, 3.0f}, {10, -1, 3.5f}, {40, 7.25f, 7.25f}};
    for (const Case& c : cases)
        announcer.Announce("Tower", "", std::string(c.characters, 'x'), c.given, nullptr);
    ASSERT_EQ(announcer.queue.size(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_FLOAT_EQ(announcer.queue[i]->duration, cases[i].expected) << i;
    EXPECT_TRUE(announcer.visible);
    for (int i = 0; i < 10; ++i)
        announcer.Announce("Tower", "", "more", 0, nullptr);
    EXPECT_EQ(announcer.queue.size(), Gui::Announcer::MaxQueued); // the eleventh and later are dropped
}

TEST_F(Announce, ClockStartsAtTheFirstDrawAndTheQueueDrains) {
    announcer.Announce("Nobody", "", std::string(40, 'x'), 0, nullptr); // 5 s
    announcer.Announce("Nobody", "", "second", 2.0f, nullptr);
    announcer.Update();
    ASSERT_NE(announcer.current, nullptr);
    EXPECT_EQ(announcer.startTime, -1.0f);
    // Paused and not drawn: a long time passes without the announcement starting.
    Base::FrameClock::GameTime = 200.0;
    announcer.Update();
    EXPECT_EQ(announcer.current, announcer.queue.front());
    announcer.Draw();
    EXPECT_EQ(announcer.startTime, 200.0f);
    Base::FrameClock::GameTime = 204.75;
    announcer.Update();
    EXPECT_EQ(announcer.queue.size(), 2u);
    Base::FrameClock::GameTime = 205.25;
    announcer.Update(); // the first is over, the second becomes current
    ASSERT_EQ(announcer.queue.size(), 1u);
    EXPECT_EQ(announcer.current->text, "second");
    announcer.Draw();
    Base::FrameClock::GameTime = 207.5;
    announcer.Update();
    EXPECT_EQ(announcer.current, nullptr);
    EXPECT_TRUE(announcer.queue.empty());
    EXPECT_FALSE(announcer.visible);
}

TEST_F(Announce, FadesAndScroll) {
    Gui::Text box;
    box.bounds = {0, 0, 0, 100};
    announcer.textBox = &box;
    announcer.Announce("Nobody", "", "text", 5.0f, nullptr);
    announcer.Update();
    struct Fade {
        float t;
        int alpha;
    } fades[] = {{0.0f, 0}, {0.04f, 102}, {0.1f, 255}, {4.5f, 255}, {4.75f, 159}, {5.0f, 0}, {5.5f, 0}};
    for (const Fade& f : fades)
        EXPECT_EQ(announcer.FadeAlpha(f.t), f.alpha) << f.t;
    struct Scroll {
        float t, position;
    } scrolls[] = {{0.0f, 0}, {1.5f, 0}, {2.5f, 50}, {3.5f, 100}, {5.0f, 100}};
    for (const Scroll& s : scrolls)
        EXPECT_FLOAT_EQ(announcer.ScrollFor(s.t), s.position) << s.t;
    // Three seconds or less leave no time to scroll: the text stays at the top.
    announcer.current->duration = 3.0f;
    EXPECT_EQ(announcer.ScrollFor(2.0f), 0.0f);
    announcer.textBox = nullptr;
}

} // namespace
