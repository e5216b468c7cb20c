// The player pilot's take-off on the scenario runner: the script's stick, throttle lever and keys fly the
// sample fighter off the runway, raise its gear, climb and turn; two runs, each a process of its own, give
// the same trace and digests bit for bit.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct TakeoffRun {
    int status = -1;
    std::vector<std::string> trace, digests;

    // The frame of the first trace line holding the text, or -1.
    int FrameOf(const std::string& text) const {
        for (const std::string& line : trace)
            if (line.find(text) != std::string::npos)
                return std::stoi(line.substr(6));
        return -1;
    }
};

TakeoffRun Takeoff() {
    const std::string command = std::string(CORVANE_BINARY_DIR) +
                                "/tests/rig/scenario_runner --scenario player-takeoff --frames 4800 "
                                "--digest-at 600,2000,3600 --script " +
                                std::string(CORVANE_SOURCE_DIR) + "/tests/rig/scripts/player-takeoff.script";
    TakeoffRun run;
    FILE* out = popen(command.c_str(), "r");
    if (!out)
        return run;
    std::string text;
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof(buffer), out))
        text.append(buffer, n);
    run.status = pclose(out);
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("trace ", 0) == 0)
            run.trace.push_back(line);
        else if (line.rfind("digest ", 0) == 0)
            run.digests.push_back(line);
    }
    return run;
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
