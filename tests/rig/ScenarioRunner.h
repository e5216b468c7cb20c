// The headless scenario runner: plays a world, a game or the front end on the fixed clock with scripted
// input for a number of frames, and keeps an event trace and state digests at chosen frames. Same data,
// seed and script give the same trace and digests, bit for bit, on every run.
//
// A scenario plugs in by deriving from Rig::Scenario (or Rig::WorldScenario for a world run through its
// passes) and registering a factory under a name (Rig::RegisterScenario), which the scenario_runner
// executable and in-process tests (Rig::ScenarioRunner::Run) then play.
#pragma once

#include "tests/rig/StateDigest.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Gui {
class Desktop;
}
namespace Input {
class Keyboard;
class Mouse;
class Joystick;
} // namespace Input

namespace Rig {

// What a scenario gets from the runner: the devices on the scripted input (the scenario polls them, as the
// games do once a frame), the frame being played and the trace.
struct RunContext {
    std::filesystem::path data; // the data folder, also the working directory during the run
    uint32_t seed = 0;
    uint32_t frame = 0;  // the frame being played, from 0
    bool drawing = true; // false: the scenario draws nothing (a game runs all its frame but the drawing)
    Input::Keyboard* keyboard = nullptr;
    Input::Mouse* mouse = nullptr;
    Input::Joystick* joystick = nullptr;
    std::vector<std::string>* trace = nullptr;

    // Adds an event to the trace, stamped with the frame.
    void Trace(const std::string& event) const;
};

class Scenario {
public:
    virtual ~Scenario() = default;
    // Builds the world, game or front end; false with a message in `error` when it cannot be built.
    virtual bool Start(RunContext& run, std::string& error) = 0;
    // One frame, after the clock's tick (unless it ticks the clock itself) and the script's events.
    virtual void Frame(RunContext& run) = 0;
    // Every object's position, orientation and hit points (and whatever else the scenario's state is).
    virtual void Digest(StateDigest& digest) = 0;
    // Takes everything down, while the devices still exist.
    virtual void Stop() {}
    // The widget tree the script's "ui" events work on; null when there is none.
    virtual Gui::Desktop* GetDesktop() { return nullptr; }
    // True for a scenario whose frame ticks the clock itself (a game's update does); the runner then does
    // not.
    virtual bool TicksClock() const { return false; }
};

struct RunSettings {
    std::filesystem::path data; // empty: the built sample data ($CORVANE_BINARY_DIR/data)
    uint32_t frames = 0;
    double step = 1.0 / 60.0;           // seconds per frame on the fixed clock
    uint32_t seed = 4357;               // for the program's random numbers
    std::string script;                 // the script's text
    std::vector<uint32_t> digestFrames; // digests after these many frames; after the last one always
    bool joystick = true;               // a joystick is attached
    bool drawing = true;                // scenarios that draw do (false: they run undrawn)
};

struct RunResult {
    bool ok = false;
    std::string error;
    std::vector<std::string> trace;                        // "frame event", in order
    std::vector<std::pair<uint32_t, std::string>> digests; // frames played, hexadecimal digest
    // The trace and digests as the runner prints them: "trace <frame> <event>", "digest <frames> <hex>".
    std::string Text() const;
};

class ScenarioRunner {
public:
    // Plays the scenario. Script faults and UI driver faults fail the running test (in the runner
    // executable: they are printed, and it exits with failure).
    static RunResult Run(Scenario& scenario, const RunSettings& settings);
};

using ScenarioFactory = std::unique_ptr<Scenario> (*)();
// Registers a scenario under a name, from a static initialiser of its source file (which must be linked in
// whole: the runner executable lists its scenarios' sources). Returns true for that initialiser.
bool RegisterScenario(const char* name, ScenarioFactory factory, const char* description);
std::unique_ptr<Scenario> MakeScenario(const std::string& name);
// Name and description of each, in name order.
std::vector<std::pair<std::string, std::string>> ScenarioList();

} // namespace Rig
