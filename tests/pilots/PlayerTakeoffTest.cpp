// The player pilot's take-off on the scenario runner: the script's stick, throttle lever and keys fly the
// sample fighter off the runway, raise its gear, climb and turn; two runs, each a process of its own, give
// the same trace and digests bit for bit.
#include "tests/rig/RunnerProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

using TakeoffRun = Rig::RunnerOutcome;

TakeoffRun Takeoff() {
    return Rig::RunRunnerProcess(
        "--scenario player-takeoff --frames 4800 --digest-at 600,2000,3600 --script " +
        std::string(CORVANE_SOURCE_DIR) + "/tests/rig/scripts/player-takeoff.script");
}

TEST(PlayerTakeoff, FliesOffTheRunwayClimbsAndTurnsTheSameWayTwice) {
    const TakeoffRun first = Takeoff();
    const TakeoffRun second = Takeoff();
    ASSERT_EQ(first.status, 0);
    ASSERT_EQ(second.status, 0);
    ASSERT_EQ(first.digests.size(), 4u);
    EXPECT_EQ(first.digests, second.digests);
    EXPECT_EQ(first.trace, second.trace);

    // Airborne after the stick came back at take-off speed (frame 1900), with runway to spare.
    const int liftoff = first.FrameOf("wheels leave the runway");
    EXPECT_GT(liftoff, 1900);
    EXPECT_LT(liftoff, 2100);
    EXPECT_EQ(first.FrameOf("wheels on the ground"), -1);
    // The gear goes up after the key, in its animation's time, and the fighter climbs and turns right.
    EXPECT_GT(first.FrameOf("gear up"), 2100);
    EXPECT_GT(first.FrameOf("climbing through 500"), first.FrameOf("gear up"));
    EXPECT_GT(first.FrameOf("climbing through 2000"), 0);
    EXPECT_GT(first.FrameOf("turned right 45"), 3000);
    EXPECT_GT(first.FrameOf("turned right 90"), first.FrameOf("turned right 45"));
    EXPECT_EQ(first.FrameOf("turned left"), -1);
    EXPECT_EQ(first.FrameOf("lost"), -1);
}

} // namespace
