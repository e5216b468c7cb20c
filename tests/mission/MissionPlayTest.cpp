// The sample missions played headless on the scenario runner's fixed clock: one script wins each, another
// loses it; the events, the result and the end page come in the expected order, and a second run repeats
// the first bit for bit. Each run is a process of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Outcome {
    int status = -1;
    std::vector<std::string> trace, digests;
};

std::string ScriptPath(const std::string& script) {
    return std::string(CORVANE_SOURCE_DIR) + "/tests/rig/scripts/" + script;
}

// The runner's trace of a scenario played by a script (a path).
Outcome Play(const std::string& scenario, const std::string& script, int frames) {
    const std::string command = std::string(CORVANE_BINARY_DIR) + "/tests/rig/scenario_runner --scenario " +
                                scenario + " --frames " + std::to_string(frames) +
                                " --digest-at 600 --script " + script + " 2>/dev/null";
    Outcome run;
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
        // The mission's own lines (events, result, end page); the input and the fight are traced too.
        if (line.rfind("trace ", 0) == 0) {
            const std::string event = line.substr(line.find(' ', 6) + 1);
            for (const char* kind : {"event ", "mission ", "end page", "campaign "})
                if (event.rfind(kind, 0) == 0)
                    run.trace.push_back(event);
        } else if (line.rfind("digest ", 0) == 0)
            run.digests.push_back(line);
    }
    return run;
}

struct Case {
    const char* scenario;
    std::string script;
    int frames;
    std::vector<std::string> trace;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.script;
}

class MissionPlay : public ::testing::TestWithParam<Case> {};

TEST_P(MissionPlay, EndsAsScriptedTheSameEveryTime) {
    const Case& c = GetParam();
    const Outcome first = Play(c.scenario, ScriptPath(c.script), c.frames);
    ASSERT_EQ(first.status, 0) << c.script;
    EXPECT_EQ(first.trace, c.trace) << c.script;
    ASSERT_EQ(first.digests.size(), 2u);
    const Outcome second = Play(c.scenario, ScriptPath(c.script), c.frames);
    EXPECT_EQ(second.trace, first.trace);
    EXPECT_EQ(second.digests, first.digests);
}

INSTANTIATE_TEST_SUITE_P(
    SampleMissions, MissionPlay,
    ::testing::Values(
        Case{"mission-two-bandits",
             "mission-two-bandits-win.script",
             7700,
             {"event 0Init", "event 1Success", "mission succeeded", "event 3End", "end page, result 1"}},
        Case{"mission-two-bandits",
             "mission-dive-fail.script",
             2000,
             {"event 0Init", "event 2Failure", "mission failed", "event 3End", "end page, result 2"}},
        Case{"mission-gunnery",
             "mission-gunnery-win.script",
             5400,
             {"event 0Init", "event 1Success", "mission succeeded", "event 3End", "end page, result 1"}},
        Case{"mission-gunnery",
             "mission-dive-fail.script",
             2000,
             {"event 0Init", "event 2Failure", "mission failed", "event 3End", "end page, result 2"}},
        Case{"mission-intercept",
             "mission-intercept-win.script",
             10700,
             {"event 0Init", "event 1Success", "mission succeeded", "event 3End", "end page, result 1"}},
        Case{"mission-intercept",
             "mission-dive-fail.script",
             2000,
             {"event 0Init", "event 2Failure", "mission failed", "event 3End", "end page, result 2"}},
        Case{"mission-convoy",
             "mission-convoy-win.script",
             13300,
             {"event 0Init", "event 1Success", "mission succeeded", "event 3End", "end page, result 1"}},
        Case{"mission-convoy",
             "mission-convoy-away-fail.script",
             19600,
             {"event 0Init", "event 2Failure", "mission failed", "event 3End", "end page, result 2"}},
        Case{"mission-convoy",
             "mission-dive-fail.script",
             2000,
             {"event 0Init", "event 2Failure", "mission failed", "event 3End", "end page, result 2"}},
        Case{"mission-carrier-defence",
             "mission-carrier-defence-win.script",
             6100,
             {"event 0Init", "event 1Success", "mission succeeded", "event 3End", "end page, result 1"}},
        Case{"mission-carrier-defence",
             "mission-dive-fail.script",
             2000,
             {"event 0Init", "event 2Failure", "mission failed", "event 3End", "end page, result 2"}},
        Case{"mission-take-off-and-landing",
             "mission-take-off-and-landing-win.script",
             19500,
             {"event 0Init", "event 1Airborne", "event 2Success", "mission succeeded", "event 4End",
              "end page, result 1"}},
        Case{"mission-take-off-and-landing",
             "mission-take-off-fail.script",
             3700,
             {"event 0Init", "event 3Failure", "mission failed", "event 4End", "end page, result 2"}}),
    [](const ::testing::TestParamInfo<Case>& info) {
        std::string name = std::string(info.param.scenario).substr(8) + "_" + info.param.script.substr(8);
        name = name.substr(0, name.find('.'));
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

// The campaign as one run: each mission's own winning script, moved to the slot its mission starts in, with
// the stick, twist grip, lever and trigger let go just before each slot (a new game's devices start so).
TEST(CampaignPlay, EachMissionWonByItsOwnScriptTakesThePilotThroughTheCampaign) {
    constexpr int Slot = 14000;
    const char* const wins[] = {"mission-intercept-win.script", "mission-convoy-win.script",
                                "mission-carrier-defence-win.script"};
    const std::string path = ::testing::TempDir() + "campaign-win.script";
    {
        std::ofstream out(path);
        for (int k = 0; k < 3; ++k) {
            if (k > 0)
                for (const char* release : {"axis x 0", "axis y 0", "axis rudder 0", "throttle 0", "up 0"})
                    out << k * Slot - 1 << " joystick " << release << "\n";
            std::ifstream in(ScriptPath(wins[k]));
            ASSERT_TRUE(in) << wins[k];
            std::string line;
            while (std::getline(in, line)) {
                std::istringstream fields(line);
                int frame = 0;
                if (line.empty() || line[0] == '#' || !(fields >> frame))
                    continue;
                std::string rest;
                std::getline(fields, rest);
                out << frame + k * Slot << rest << "\n";
            }
        }
    }
    const std::vector<std::string> expected = {
        "campaign mission Scripts\\Missions\\Campaign\\1Intercept.msn",
        "event 0Init",
        "event 1Success",
        "mission succeeded",
        "event 3End",
        "end page, result 1",
        "campaign progress 1",
        "campaign mission Scripts\\Missions\\Campaign\\2Convoy.msn",
        "event 0Init",
        "event 1Success",
        "mission succeeded",
        "event 3End",
        "end page, result 1",
        "campaign progress 2",
        "campaign mission Scripts\\Missions\\Campaign\\3CarrierDefence.msn",
        "event 0Init",
        "event 1Success",
        "mission succeeded",
        "event 3End",
        "end page, result 1",
        "campaign progress 3",
        "campaign complete"};
    const Outcome first = Play("campaign", path, 3 * Slot);
    ASSERT_EQ(first.status, 0);
    EXPECT_EQ(first.trace, expected);
    const Outcome second = Play("campaign", path, 3 * Slot);
    EXPECT_EQ(second.trace, first.trace);
    EXPECT_EQ(second.digests, first.digests);
    std::remove(path.c_str());
}

} // namespace
