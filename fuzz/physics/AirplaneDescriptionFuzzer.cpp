// Any airplane description flown on the three flight models: whatever the physics keys say (missing,
// negative, zero, huge), the state stays finite in every step, and one description flown twice with one
// seed is one flight. The "Fuzz" keys set the start: Position and Velocity (vectors), Input (roll, pitch,
// yaw), OutOfControl (bool); the ground is the level plane y = 0.
#include "physics/AirplanePhysicsComplex.h"
#include "physics/AirplanePhysicsNull.h"
#include "physics/AirplanePhysicsSimple.h"

#include "base/Info.h"
#include "fuzz/support/Scratch.h"
#include "rwsdk/src/engine.h"
#include "scene/Frame.h"
#include "tools/airfoil/AirfoilTable.h"

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

// The sample airfoil tables in the scratch directory, where the models are made (libFuzzer's own paths
// stay relative to the directory it was started in).
bool WriteAirfoilTables() {
    const std::filesystem::path data = std::filesystem::path(FuzzSupport::ScratchDirectory()) / "Data";
    std::filesystem::create_directories(data);
    std::FILE* file = std::fopen((data / "Airfoil.dat").c_str(), "w");
    if (!file)
        return false;
    for (auto table : {Airfoil::Lift, Airfoil::Drag, Airfoil::Moment})
        for (int i = 0; i < Physics::AeroSolidBody::TableSize; ++i)
            std::fprintf(file, "%.6f\n", table(Airfoil::IndexDegrees(i)));
    return std::fclose(file) == 0;
}

void Check(bool condition) {
    if (!condition)
        std::abort();
}

// The airfoils read their tables from the working directory as they are made.
template <class Model>
std::unique_ptr<Model> Make(const Physics::PhysicsParams& params, const Physics::AirplaneState& start) {
    char here[4096];
    Check(getcwd(here, sizeof here) && chdir(FuzzSupport::ScratchDirectory().c_str()) == 0);
    auto model = std::make_unique<Model>(params, start, 11);
    Check(chdir(here) == 0);
    return model;
}

template <class Model>
Physics::AirplaneState Fly(const Physics::PhysicsParams& params, const Physics::AirplaneState& start,
                           const Base::Vector3& input) {
    const std::unique_ptr<Model> made = Make<Model>(params, start);
    Model& model = *made;
    for (int i = 0; i < 150; ++i) {
        Physics::AirplaneState s = model.state;
        s.rollInput = input.x;
        s.pitchInput = input.y;
        s.yawInput = input.z;
        s.gearExtension = i < 75 ? 1.0f : 0.5f;
        model.SetState(s);
        model.Step(0.01f);
        Check(Physics::IsFinite(model.state));
    }
    return model.state;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Check(RwEngineInit(nullptr, 0, 0) && Rw::Frame::RegisterPlugins());
    RwEngineOpenParams open = {nullptr};
    Check(RwEngineOpen(&open) && RwEngineStart());
    Check(WriteAirfoilTables());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Base::Info info;
    if (info.LoadText(std::string_view(reinterpret_cast<const char*>(data), size)) != 0)
        return 0;
    Physics::PhysicsParams params;
    Physics::ReadPhysicsParams(info, params);
    // The loader takes these from the model's frames.
    Base::Vector3 wheelC{0, -1.3f, 4}, wheelL{1.4f, -1.2f, -0.6f};
    info.TryGetVector3("Fuzz.WheelC", wheelC);
    info.TryGetVector3("Fuzz.WheelL", wheelL);
    params.complex.centerWheelPosition = {wheelC.x, wheelC.y, wheelC.z};
    params.complex.sideWheelPosition = {wheelL.x, wheelL.y, wheelL.z};
    // Whether the loader would accept it or not, the models hold.
    (void)Physics::ComplexParamsFault(params);
    (void)Physics::SimpleParamsFault(params);

    Base::Vector3 position{0, 100, 0}, velocity{0, 0, 60}, input{0, 0, 0};
    info.TryGetVector3("Fuzz.Position", position);
    info.TryGetVector3("Fuzz.Velocity", velocity);
    info.TryGetVector3("Fuzz.Input", input);
    bool outOfControl = false;
    info.TryGetBool("Fuzz.OutOfControl", outOfControl);
    Physics::AirplaneState start;
    Physics::AirplaneState::Init(start);
    start.position = {position.x, position.y, position.z};
    start.precisePosition[0] = position.x;
    start.precisePosition[1] = position.y;
    start.precisePosition[2] = position.z;
    start.velocity = {velocity.x, velocity.y, velocity.z};
    start.engineRunning = 1;
    start.throttle = start.throttleLevel = 0.8f;
    start.thrustFactor = 0.7f;
    start.gearDownCommand = start.gearExtension = 1;
    start.outOfControl = outOfControl;
    start.groundValid = 1;
    start.groundNormal = {0, 1, 0};
    start.groundRoughness = 0.2f;

    const Physics::AirplaneState first = Fly<Physics::AirplanePhysicsComplex>(params, start, input);
    const Physics::AirplaneState again = Fly<Physics::AirplanePhysicsComplex>(params, start, input);
    auto same = [](const RwV3d& a, const RwV3d& b) { return a.x == b.x && a.y == b.y && a.z == b.z; };
    Check(same(first.position, again.position) && same(first.velocity, again.velocity) &&
          same(first.at, again.at) && same(first.angularVelocity, again.angularVelocity) &&
          first.precisePosition[1] == again.precisePosition[1] && first.aileronAngle == again.aileronAngle);
    Fly<Physics::AirplanePhysicsSimple>(params, start, input);
    Fly<Physics::AirplanePhysicsNull>(params, start, input);
    return 0;
}
