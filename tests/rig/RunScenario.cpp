// scenario_runner: plays a registered scenario headless on the fixed clock and prints its event trace
// ("trace <frame> <event>") and state digests ("digest <frames> <hex>").
//
//   scenario_runner --scenario NAME --frames N [--script FILE] [--data DIR] [--seed N] [--step SECONDS]
//                   [--digest-at F,F,...] [--no-joystick]
//                   [--no-drawing]
//   scenario_runner --list
//
// A fault in the script or a name the UI driver cannot find fails the run (exit status 1).
#include "tests/rig/ScenarioRunner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

Rig::RunSettings settings;
std::string scenarioName;

bool Unsigned(const char* text, uint32_t& out) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    out = uint32_t(value);
    return *text && *end == 0 && value <= 0xFFFFFFFFul;
}

int Usage(const char* why) {
    std::fprintf(
        stderr,
        "scenario_runner: %s\nusage: scenario_runner --scenario NAME --frames N [--script FILE] "
        "[--data DIR] [--seed N] [--step SECONDS] [--digest-at F,F,...] [--no-joystick] [--no-drawing]\n"
        "       scenario_runner --list\n",
        why);
    return 2;
}

} // namespace

TEST(ScenarioRunner, Plays) {
    std::unique_ptr<Rig::Scenario> scenario = Rig::MakeScenario(scenarioName);
    ASSERT_NE(scenario, nullptr) << "no scenario named \"" << scenarioName << "\"";
    const Rig::RunResult result = Rig::ScenarioRunner::Run(*scenario, settings);
    std::fputs(result.Text().c_str(), stdout);
    std::fflush(stdout);
    EXPECT_TRUE(result.ok) << result.error;
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--list") {
            for (const auto& [name, description] : Rig::ScenarioList())
                std::printf("%s: %s\n", name.c_str(), description.c_str());
            return 0;
        }
        if (option == "--no-joystick") {
            settings.joystick = false;
            continue;
        }
        if (option == "--no-drawing") {
            settings.drawing = false;
            continue;
        }
        if (i + 1 >= argc)
            return Usage(("no value for " + option).c_str());
        const char* value = argv[++i];
        if (option == "--scenario") {
            scenarioName = value;
        } else if (option == "--frames") {
            if (!Unsigned(value, settings.frames))
                return Usage("--frames takes a whole number");
        } else if (option == "--seed") {
            if (!Unsigned(value, settings.seed))
                return Usage("--seed takes a whole number");
        } else if (option == "--step") {
            char* end = nullptr;
            settings.step = std::strtod(value, &end);
            if (*end || !(settings.step > 0))
                return Usage("--step takes a positive number of seconds");
        } else if (option == "--data") {
            settings.data = value;
        } else if (option == "--script") {
            std::ifstream in(value, std::ios::binary);
            if (!in)
                return Usage((std::string(value) + " cannot be read").c_str());
            std::ostringstream text;
            text << in.rdbuf();
            settings.script = text.str();
        } else if (option == "--digest-at") {
            std::istringstream list(value);
            std::string item;
            while (std::getline(list, item, ',')) {
                uint32_t frame = 0;
                if (!Unsigned(item.c_str(), frame))
                    return Usage("--digest-at takes frame counts separated by commas");
                settings.digestFrames.push_back(frame);
            }
        } else {
            return Usage(("unknown option " + option).c_str());
        }
    }
    if (scenarioName.empty())
        return Usage("no scenario given");
    return RUN_ALL_TESTS();
}
