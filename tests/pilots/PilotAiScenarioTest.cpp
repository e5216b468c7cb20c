// The computer pilots' scenarios on the rig, each played twice as separate runs: the same trace and digests
// bit for bit, and what the scenario is about.
#include "tests/rig/RunnerProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Outcome = Rig::RunnerOutcome;

Outcome RunScenario(const std::string& arguments) {
    return Rig::RunRunnerProcess(arguments);
}

// The number after the text in the first trace line that has it; -1 when none does.
double Number(const std::vector<std::string>& trace, const std::string& text, bool last = false) {
    double value = -1;
    for (const std::string& line : trace) {
        const size_t at = line.find(text);
        if (at == std::string::npos)
            continue;
        value = std::stod(line.substr(at + text.size()));
        if (!last)
            break;
    }
    return value;
}

} // namespace

// Every seed: the skill factors of the pair and the sides they start on differ.
TEST(ComputerPilotScenarios, WingmanTakesItsSlotWithinAMinuteAndHoldsIt) {
    for (int seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        const std::string arguments =
            "--scenario ai-formation --seed " + std::to_string(seed) + " --frames 10800 --digest-at 1,3600";
        const Outcome first = RunScenario(arguments);
        ASSERT_EQ(first.status, 0);
        ASSERT_EQ(first.digests.size(), 3u);
        if (seed == 2) {
            const Outcome second = RunScenario(arguments);
            ASSERT_EQ(second.status, 0);
            EXPECT_EQ(first.digests, second.digests);
            EXPECT_EQ(first.trace, second.trace);
        }
        const double joined = Number(first.trace, "wingman in its slot at ");
        EXPECT_GT(joined, 0) << "never in its slot";
        EXPECT_LT(joined, 60);
        const double worst = Number(first.trace, "at worst ", true);
        EXPECT_GE(worst, 0);
        EXPECT_LE(worst, 50.05) << "held within 50 m to the end (3 minutes)";
    }
}

TEST(ComputerPilotScenarios, TwoAgainstTwoWithMissilesForFiveMinutes) {
    const std::string arguments = "--scenario ai-dogfight --seed 1 --frames 18000 --digest-at 1,6000,12000";
    const Outcome first = RunScenario(arguments);
    const Outcome second = RunScenario(arguments);
    ASSERT_EQ(first.status, 0);
    ASSERT_EQ(second.status, 0);
    ASSERT_EQ(first.digests.size(), 4u);
    EXPECT_EQ(first.digests, second.digests);
    EXPECT_EQ(first.trace, second.trace);

    int destroyed = 0, missed = 0, unhit = 0, notFinite = 0;
    for (const std::string& line : first.trace) {
        destroyed += line.find(" destroyed") != std::string::npos && line.find("tally") == std::string::npos;
        missed += line.find("missile evaded") != std::string::npos;
        unhit += line.find("never hit") != std::string::npos;
        notFinite += line.find("not finite") != std::string::npos;
    }
    EXPECT_GE(destroyed, 1) << "at least one kill";
    EXPECT_GE(missed, 1) << "missiles evaded sometimes";
    EXPECT_EQ(unhit, 0) << "no airplane flew into the ground unhit";
    EXPECT_EQ(notFinite, 0);
}

// The bomb run: the pilot finds the truck, runs in and lets its four bombs go; each bursts within 50 m of
// the truck, which is destroyed.
TEST(ComputerPilotScenarios, BombRunPutsEveryBombWithinFiftyMetresOfTheTarget) {
    for (int seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE(seed);
        const std::string arguments =
            "--scenario ai-bomb-run --seed " + std::to_string(seed) + " --frames 9000 --digest-at 1,4500";
        const Outcome first = RunScenario(arguments);
        ASSERT_EQ(first.status, 0);
        ASSERT_EQ(first.digests.size(), 3u);
        if (seed == 1) {
            const Outcome second = RunScenario(arguments);
            ASSERT_EQ(second.status, 0);
            EXPECT_EQ(first.digests, second.digests);
            EXPECT_EQ(first.trace, second.trace);
        }
        int released = 0, destroyed = 0;
        std::vector<double> impacts;
        for (const std::string& line : first.trace) {
            released += line.find("bomb released") != std::string::npos;
            destroyed += line.find("truck destroyed") != std::string::npos;
            const std::string impact = "bomb impact ";
            if (const size_t at = line.find(impact); at != std::string::npos)
                impacts.push_back(std::stod(line.substr(at + impact.size())));
        }
        EXPECT_EQ(released, 4);
        ASSERT_EQ(impacts.size(), 4u) << "every bomb bursts on the ground";
        for (double d : impacts)
            EXPECT_LT(d, 50);
        EXPECT_EQ(destroyed, 1);
    }
}
