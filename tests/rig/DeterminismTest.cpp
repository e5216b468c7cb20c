// The runner's promise: the same data, seed and script give the same trace and digests, bit for bit, on
// every run. Each run is a process of its own, as a run on another day would be.
#include "tests/rig/RunnerProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Outcome = Rig::RunnerOutcome;

Outcome RunScenario(const std::string& arguments) {
    return Rig::RunRunnerProcess(arguments);
}

} // namespace

TEST(Determinism, SampleAirplanesFlyTheSameTenThousandFramesTwice) {
    const std::string arguments =
        "--scenario sample-airplanes --frames 10000 --digest-at 1,100,1000,5000 --script " +
        std::string(CORVANE_SOURCE_DIR) + "/tests/rig/scripts/sample-airplanes.script";
    const Outcome first = RunScenario(arguments);
    const Outcome second = RunScenario(arguments);
    ASSERT_EQ(first.status, 0);
    ASSERT_EQ(second.status, 0);
    ASSERT_EQ(first.digests.size(), 5u);
    EXPECT_EQ(first.digests, second.digests);
    EXPECT_EQ(first.trace, second.trace);
    // The state moved between the digests, and the trace has the script's events and the scenario's.
    std::set<std::string> values;
    for (const std::string& d : first.digests)
        values.insert(d.substr(d.rfind(' ')));
    EXPECT_EQ(values.size(), first.digests.size());
    const auto has = [&](const std::string& text) {
        for (const std::string& line : first.trace)
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    };
    EXPECT_TRUE(has("trace 120 joystick axis x 0.4"));
    EXPECT_TRUE(has("trace 1201 joystick up 0")); // the release that the script's press implies
}

TEST(Determinism, AnotherScriptIsAnotherRun) {
    const std::string base = "--scenario sample-airplanes --frames 600 --script " +
                             std::string(CORVANE_SOURCE_DIR) + "/tests/rig/scripts/sample-airplanes.script";
    const Outcome scripted = RunScenario(base);
    const Outcome unscripted = RunScenario("--scenario sample-airplanes --frames 600");
    ASSERT_EQ(scripted.status, 0);
    ASSERT_EQ(unscripted.status, 0);
    ASSERT_EQ(scripted.digests.size(), 1u);
    ASSERT_EQ(unscripted.digests.size(), 1u);
    EXPECT_NE(scripted.digests, unscripted.digests);
}

// The sample Su27 on the sample airbase under the circuit script: it takes off, raises its gear, flies the
// circuit, lowers its gear, lands and stops, without crashing; the same on every run, bit for bit.
TEST(Determinism, TheAirplaneFliesItsCircuitTheSameWayTwice) {
    const std::string arguments =
        "--scenario airplane-circuit --frames 14000 --digest-at 600,3000,6000,9000 --script " +
        std::string(CORVANE_SOURCE_DIR) + "/tests/rig/scripts/airplane-circuit.script";
    const Outcome first = RunScenario(arguments);
    const Outcome second = RunScenario(arguments);
    ASSERT_EQ(first.status, 0);
    ASSERT_EQ(second.status, 0);
    ASSERT_EQ(first.digests.size(), 5u);
    EXPECT_EQ(first.digests, second.digests);
    EXPECT_EQ(first.trace, second.trace);
    // The flight's events, in this order, and no crash.
    std::vector<std::string> events;
    for (const std::string& line : first.trace)
        if (line.find("the airplane") != std::string::npos || line.find("the gear") != std::string::npos)
            events.push_back(line.substr(line.find(' ', line.find(' ') + 1) + 1));
    EXPECT_EQ(events,
              (std::vector<std::string>{"the airplane takes off", "the gear is up", "the gear is down",
                                        "the airplane touches down", "the airplane stands"}));
}

// The weapons in play: missiles, decoys, the armed car's gun and missile site; the same run twice, and the
// script's trigger fires a missile.
TEST(Determinism, AirDefenceTwice) {
    const std::string arguments = "--scenario air-defence --frames 2400 --digest-at 1,600,1200 --script " +
                                  std::string(CORVANE_SOURCE_DIR) + "/tests/rig/scripts/air-defence.script";
    const Outcome first = RunScenario(arguments);
    const Outcome second = RunScenario(arguments);
    ASSERT_EQ(first.status, 0);
    ASSERT_EQ(second.status, 0);
    ASSERT_EQ(first.digests.size(), 4u);
    EXPECT_EQ(first.digests, second.digests);
    EXPECT_EQ(first.trace, second.trace);
    const auto has = [&](const std::string& text) {
        for (const std::string& line : first.trace)
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    };
    EXPECT_TRUE(has("F16 trigger"));
    EXPECT_TRUE(has("Mig29 flare"));
    EXPECT_TRUE(has("301 missiles in flight 2")) << "the trigger's missile leaves";
}

// The camera keys over a scripted flight: each key's camera in turn, the crash view once when the bandit is
// lost, the free camera at that view, and the fly-by view of the ejected pilot, which the airplane's crash
// after it leaves in place; the cameras' frames and states the same on every run, bit for bit.
TEST(Determinism, TheCameraKeysGiveTheSameViewsTwice) {
    const std::string arguments = "--scenario cameras --frames 2100 --digest-at 100,500,1000,1500 --script " +
                                  std::string(CORVANE_SOURCE_DIR) + "/tests/rig/scripts/cameras.script";
    const Outcome first = RunScenario(arguments);
    const Outcome second = RunScenario(arguments);
    ASSERT_EQ(first.status, 0);
    ASSERT_EQ(second.status, 0);
    ASSERT_EQ(first.digests.size(), 5u);
    EXPECT_EQ(first.digests, second.digests);
    EXPECT_EQ(first.trace, second.trace);
    std::set<std::string> values;
    for (const std::string& d : first.digests)
        values.insert(d.substr(d.rfind(' ')));
    EXPECT_EQ(values.size(), first.digests.size());
    // The scenario's events (not the script's), frame by frame: each key's camera in its frame; the
    // ejection in the pilot's run of frame 1401 shows from the next frame's camera keys on.
    std::vector<std::string> events;
    for (const std::string& line : first.trace)
        if (line.find("keyboard") == std::string::npos)
            events.push_back(line.substr(6));
    ASSERT_EQ(events.size(), 11u);
    EXPECT_EQ(std::vector<std::string>(events.begin(), events.end() - 1),
              (std::vector<std::string>{"0 camera free", "30 camera cockpit", "200 camera outside",
                                        "400 camera fly-by", "700 camera outside", "900 the bandit is lost",
                                        "900 camera crash", "1101 camera free", "1300 camera cockpit",
                                        "1402 camera fly-by"}));
    // The airplane crashes 7 s after the ejection; the view stays with the pilot.
    const int lost = first.FrameOf("the player's airplane is lost");
    EXPECT_NEAR(lost, 1401 + 7 * 60, 2);
    EXPECT_EQ(events.back(), std::to_string(lost) + " the player's airplane is lost");
}
