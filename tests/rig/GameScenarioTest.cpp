// The single-player game on the scenario runner, each run a process of its own: the camera keys give the
// same views, trace and digests on every run, and computer-flown fighters fight at rate 8.
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

} // namespace
