#include "tests/rig/ScenarioRunner.h"

#include "tests/rig/ScriptedInput.h"
#include "tests/rig/UiDriver.h"

#include "base/FrameClock.h"
#include "base/Random.h"
#include "base/RandomTimeStamp.h"
#include "input/Joystick.h"
#include "input/Keyboard.h"
#include "input/Mouse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>

namespace Rig {
namespace {

struct Entry {
    ScenarioFactory factory;
    const char* description;
};

std::map<std::string, Entry>& Registry() {
    static std::map<std::string, Entry> registry;
    return registry;
}

// The run's stand-in for the time-stamp counter.
uint32_t stamps = 0;

// Back to the working directory, the counter clock and the time-stamp counter however the run ends.
struct RunScope {
    std::filesystem::path previous = std::filesystem::current_path();
    ~RunScope() {
        Base::RandomTimeStamp = nullptr;
        Base::FrameClock::SetFixedStep(0);
        std::error_code ignored;
        std::filesystem::current_path(previous, ignored);
    }
};

} // namespace

void RunContext::Trace(const std::string& event) const {
    if (trace)
        trace->push_back(std::to_string(frame) + " " + event);
}

std::string RunResult::Text() const {
    std::string text;
    for (const std::string& line : trace)
        text += "trace " + line + "\n";
    for (const auto& [frames, hex] : digests)
        text += "digest " + std::to_string(frames) + " " + hex + "\n";
    if (!ok)
        text += "error " + error + "\n";
    return text;
}

RunResult ScenarioRunner::Run(Scenario& scenario, const RunSettings& settings) {
    RunResult result;
    RunScope scope;
    std::filesystem::path data = settings.data;
    if (data.empty()) {
        const char* build = std::getenv("CORVANE_BINARY_DIR");
        data = std::filesystem::path(build ? build : ".") / "data";
    }
    std::error_code failed;
    std::filesystem::current_path(data, failed);
    if (failed) {
        result.error = data.string() + ": " + failed.message();
        return result;
    }

    ScriptedInput input(settings.joystick);
    if (!input.script.Parse(settings.script)) {
        result.error = "script " + input.script.error;
        return result;
    }
    // The process-wide state that a run reads: the random numbers, the clock and its frame count.
    Base::Random::Seed(settings.seed);
    // Objects that seed the generator from the time-stamp counter get a count of their calls instead.
    stamps = settings.seed;
    Base::RandomTimeStamp = [] { return stamps = stamps * 1664525u + 1013904223u; };
    Base::FrameClock::SetFixedStep(settings.step, 0);
    Base::FrameClock::FrameCounter = 0;

    {
        Input::Keyboard keyboard;
        Input::Mouse mouse;
        Input::Joystick joystick;
        RunContext run;
        run.data = std::filesystem::current_path();
        run.seed = settings.seed;
        run.drawing = settings.drawing;
        run.keyboard = &keyboard;
        run.mouse = &mouse;
        run.joystick = &joystick;
        run.trace = &result.trace;
        if (!scenario.Start(run, result.error)) {
            scenario.Stop();
            return result;
        }
        std::vector<uint32_t> digestFrames = settings.digestFrames;
        digestFrames.push_back(settings.frames);
        for (uint32_t f = 0; f < settings.frames; ++f) {
            run.frame = f;
            for (const ScriptEvent& e : input.script.events)
                if (e.frame == f)
                    result.trace.push_back(e.ToString());
            if (Gui::Desktop* desktop = scenario.GetDesktop()) {
                UiDriver ui(*desktop, &input);
                ui.BeginFrame(input.script, f);
            } else if (!input.script.At(f, "ui").empty()) {
                ADD_FAILURE() << "frame " << f << ": ui events, but the scenario has no widget tree";
            }
            input.BeginFrame(f);
            if (!scenario.TicksClock())
                Base::FrameClock::Tick();
            scenario.Frame(run);
            if (std::find(digestFrames.begin(), digestFrames.end(), f + 1) != digestFrames.end()) {
                StateDigest digest;
                scenario.Digest(digest);
                result.digests.emplace_back(f + 1, digest.Hex());
            }
        }
        scenario.Stop();
    }
    result.ok = true;
    return result;
}

bool RegisterScenario(const char* name, ScenarioFactory factory, const char* description) {
    Registry()[name] = {factory, description};
    return true;
}

std::unique_ptr<Scenario> MakeScenario(const std::string& name) {
    auto found = Registry().find(name);
    return found == Registry().end() ? nullptr : found->second.factory();
}

std::vector<std::pair<std::string, std::string>> ScenarioList() {
    std::vector<std::pair<std::string, std::string>> list;
    for (const auto& [name, entry] : Registry())
        list.emplace_back(name, entry.description);
    return list;
}

} // namespace Rig
