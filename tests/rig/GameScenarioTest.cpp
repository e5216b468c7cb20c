// The single-player game on the scenario runner, each run a process of its own: the camera keys give the
// same views, trace and digests on every run, computer-flown fighters fight at rate 8 (for two minutes
// undrawn, which the sanitizer build runs too), and an airplane is kept inside the map's area.
#include "tests/rig/RunnerProcess.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Script(const char* name) {
    return std::string(CORVANE_SOURCE_DIR) + "/tests/rig/scripts/" + name;
}

// The trace's events (frame and text) whose text holds the word.
std::vector<std::string> Events(const Rig::RunnerOutcome& run, const std::string& word) {
    std::vector<std::string> events;
    for (const std::string& line : run.trace)
        if (line.find(word) != std::string::npos)
            events.push_back(line.substr(6)); // past "trace "
    return events;
}

TEST(GameScenario, CameraKeysGiveTheSameViewsTwice) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the game's frames under the sanitizers are tested by the game's own tests";
#endif
    const std::string arguments =
        "--scenario game-flight --frames 120 --digest-at 60 --script " + Script("game-cameras.script");
    const Rig::RunnerOutcome first = Rig::RunRunnerProcess(arguments);
    const Rig::RunnerOutcome second = Rig::RunRunnerProcess(arguments);
    ASSERT_EQ(first.status, 0);
    ASSERT_EQ(second.status, 0);
    ASSERT_EQ(first.digests.size(), 2u);
    EXPECT_EQ(first.digests, second.digests);
    EXPECT_EQ(first.trace, second.trace);
    EXPECT_NE(first.digests[0].substr(first.digests[0].rfind(' ')),
              first.digests[1].substr(first.digests[1].rfind(' ')));
    // The player in his cockpit; outside; fly-by; the two other fighters one after the other (F5); back in
    // the cockpit; the free camera where the cockpit view was.
    EXPECT_EQ(Events(first, "camera"),
              (std::vector<std::string>{"0 camera cockpit on Su27", "15 camera outside on Su27",
                                        "30 camera fly-by on Su27", "45 camera outside on F16",
                                        "60 camera outside on F16", "75 camera cockpit on Su27",
                                        "90 camera free on Su27"}));
}

TEST(GameScenario, ComputerPilotsFightAtRateEight) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP()
        << "drawn on the software rasteriser, two minutes outlast the test's time under the sanitizers";
#endif
    const int frames = 150;
    const Rig::RunnerOutcome run =
        Rig::RunRunnerProcess("--scenario game-combat --frames " + std::to_string(frames) + " --script " +
                              Script("game-combat.script"));
    ASSERT_EQ(run.status, 0) << "the runner failed (under the sanitizers: a leak or a memory error)";
    ASSERT_EQ(run.digests.size(), 1u);
    // Five airplanes at the start: the player's and the four fighters.
    EXPECT_EQ(run.FrameOf("airplanes 5"), 0);
    // Watched from outside the first fighter after the player's airplane.
    EXPECT_EQ(run.FrameOf("camera outside"), 8);
}

// Undrawn, the game's frames run the same: the same hits, losses and camera switches. (The digests differ:
// the cockpit camera's eye follows the cockpit as drawn.)
TEST(GameScenario, UndrawnTheGameRunsTheSame) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the drawn run outlasts the test's time under the sanitizers";
#endif
    const std::string arguments =
        "--scenario game-combat --frames 300 --script " + Script("game-combat.script");
    const Rig::RunnerOutcome drawn = Rig::RunRunnerProcess(arguments);
    const Rig::RunnerOutcome undrawn = Rig::RunRunnerProcess(arguments + " --no-drawing");
    ASSERT_EQ(drawn.status, 0);
    ASSERT_EQ(undrawn.status, 0);
    EXPECT_GT(drawn.FrameOf(" hit"), 0);
    EXPECT_EQ(drawn.trace, undrawn.trace);
}

// Two minutes of game time at rate 8 (900 frames of 1/60 s after the three presses of T), undrawn: under
// the sanitizers, no memory error and no leak.
TEST(GameScenario, ComputerPilotsFightTwoMinutesAtRateEight) {
    const int frames = 6 + 900;
    const Rig::RunnerOutcome run =
        Rig::RunRunnerProcess("--scenario game-combat --no-drawing --frames " + std::to_string(frames) +
                              " --script " + Script("game-combat.script"));
    ASSERT_EQ(run.status, 0) << "the runner failed (under the sanitizers: a leak or a memory error)";
    ASSERT_EQ(run.digests.size(), 1u);
    EXPECT_EQ(run.FrameOf("airplanes 5"), 0);
    // They fought: someone was hit.
    EXPECT_GT(run.FrameOf(" hit"), 0);
    // Nobody left the area the airplanes are kept in.
    EXPECT_EQ(run.FrameOf("past the area"), -1);
}

// The player flies straight out of the area at rate 8: at the northern bound the airplane turns back and
// never goes past it.
TEST(GameScenario, AnAirplaneFlyingOutOfTheAreaIsTurnedBack) {
    const Rig::RunnerOutcome run = Rig::RunRunnerProcess(
        "--scenario game-area --no-drawing --frames 200 --script " + Script("game-area.script"));
    ASSERT_EQ(run.status, 0);
    // 2 km at 150-200 m/s: 10-13 s, 75-100 frames at rate 8 after the first 6.
    const int turned = run.FrameOf("Su27 1 turned back in z");
    EXPECT_GT(turned, 60);
    EXPECT_LT(turned, 140);
    EXPECT_EQ(run.FrameOf("past the area"), -1);
    EXPECT_EQ(run.FrameOf("game action"), -1);
}

} // namespace
