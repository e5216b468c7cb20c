#include "base/FrameClock.h"

#include <gtest/gtest.h>

using Base::FrameClock;

TEST(FrameClock, FirstTickCountsFromTheStart) {
    EXPECT_EQ(FrameClock::GameTime, 0.0);
    EXPECT_GT(FrameClock::Frequency, 0);
    uint32_t before = FrameClock::FrameCounter;
    FrameClock::Tick();
    EXPECT_EQ(FrameClock::FrameCounter, before + 1);
    EXPECT_GT(FrameClock::GameTime, 0.0);
    EXPECT_EQ(FrameClock::FrameTime, FrameClock::GameTime);
}

TEST(FrameClock, TicksNeverGoBackwards) {
    for (int i = 0; i < 1000; ++i) {
        double previous = FrameClock::GameTime;
        FrameClock::Tick();
        ASSERT_GE(FrameClock::FrameTime, 0.0);
        ASSERT_GE(FrameClock::GameTime, previous);
        ASSERT_GE(FrameClock::GetSeconds(), FrameClock::GameTime);
    }
}
