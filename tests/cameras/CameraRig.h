// Cameras in a world of their own on the sample airplanes, driven frame by frame on the fixed clock with a
// scripted keyboard and joystick: a frame plays the script's events, ticks the clock by the frame's step
// (a step of 0 or less becomes the frame time as it is), advances the world's clock, polls the devices and
// runs the world's run group.
#pragma once

#include "tests/aircraft/AirplaneFixture.h"
#include "tests/rig/ScriptedInput.h"

#include "aircraft/CockpitLink.h"
#include "cameras/Cameras.h"

#include "base/FrameClock.h"
#include "base/Maths.h"
#include "input/Joystick.h"
#include "input/Keyboard.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>
#include <memory>

// A world object with only a frame: something for the cameras to follow.
class Marker : public Obj::Object, public Obj::Frame {
public:
    void MoveTo(RwV3d position, RwV3d at = {0, 0, 1}) {
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        m.at = Base::Normalize3d(at);
        m.right = Base::Normalize3d(Base::CrossProduct(RwV3d{0, 1, 0}, m.at));
        m.up = Base::CrossProduct(m.at, m.right);
        m.pos = position;
        RwMatrixUpdate(&m);
        Transform(&m, rwCOMBINEREPLACE);
    }
};

// The cockpit as the cameras and the HUD see it: the eye, the model's segment test (recorded), the radar
// target with its range, the threat list and the current navigation point, all set by the test.
class CockpitStandIn : public Obj::CockpitLink {
public:
    void ReportThreat(Obj::Frame* source, int level) override { threats.push_back({level, source, 0}); }
    std::size_t GetThreatCount() const override { return threats.size(); }
    bool GetThreat(std::size_t i, Threat& out) const override {
        if (i >= threats.size())
            return false;
        out = threats[i];
        return true;
    }
    Obj::Target* GetRadarTarget() const override { return radarTarget; }
    void SetRadarTarget(int, Obj::Target* target) override { radarTarget = target; }
    int SetRadarTargetKind(int kind) override { return kind; }
    void SelectRadarTarget(int, int) override {}
    void SetRadarRangeNext(int) override {}
    bool GetTargetRange(float* range, float* rate) const override {
        if (!radarTarget || this->range < 0)
            return false;
        *range = this->range;
        *rate = rangeRate;
        return true;
    }
    void SelectNextNavpoint() override {}
    bool GetCurrentNavpoint(Base::String* name, RwV3d* position) const override {
        if (navpointName.empty())
            return false;
        *name = navpointName;
        *position = navpoint;
        return true;
    }
    RwV3d GetEyePosition() const override { return {0, 0, 0}; }
    RwV3d GetEyeOffset() const override { return eye; }
    bool IntersectSegment(const RwLine* segment) override {
        segments.push_back(*segment);
        return blocks;
    }

    RwV3d eye{0, 0, 0};
    bool blocks = false;
    std::vector<RwLine> segments;
    Obj::Target* radarTarget = nullptr;
    float range = -1, rangeRate = 0;
    std::vector<Threat> threats;
    Base::String navpointName;
    RwV3d navpoint{0, 0, 0};
};

class CameraRig : public AirplaneWorld {
protected:
    static constexpr double Step = 1.0 / 64.0; // exact in floats

    void SetUp() override {
        AirplaneWorld::SetUp();
        if (HasFatalFailure())
            return;
        Base::FrameClock::SetFixedStep(Step, 100.0);
        keyboard = std::make_unique<Input::Keyboard>();
        joystick = std::make_unique<Input::Joystick>();
        world->keyboard = keyboard.get();
        world->joystick = joystick.get();
        Frame(Step); // devices are read from their second frame on
    }
    void TearDown() override {
        world->Clear();
        world->keyboard = nullptr;
        world->joystick = nullptr;
        keyboard.reset();
        joystick.reset();
        Base::FrameClock::SetFixedStep(0);
        AirplaneWorld::TearDown();
    }

    void Script(const char* text) { ASSERT_TRUE(input.script.Parse(text)) << input.script.error; }
    // Key events for this frame on: held from now.
    void Hold(const char* keys) {
        std::string text;
        for (const char* k = keys; *k;) {
            const char* end = std::strchr(k, ' ');
            const std::string key = end ? std::string(k, end) : std::string(k);
            text += std::to_string(frame) + " keyboard down " + key + "\n";
            k = end ? end + 1 : k + key.size();
        }
        Script(text.c_str());
    }
    void ReleaseAll() {
        std::string text;
        for (int k = 1; k < 256; ++k)
            if (keyboard->keys[k]) {
                char code[8];
                std::snprintf(code, sizeof code, "0x%02X", k);
                text += std::to_string(frame) + " keyboard up " + code + "\n";
            }
        if (!text.empty())
            Script(text.c_str());
    }

    void Frame(double dt) {
        input.BeginFrame(frame++);
        if (dt > 0) {
            Base::FrameClock::SetFixedStep(dt, Base::FrameClock::GameTime);
            Base::FrameClock::Tick();
            world->time->Advance(dt);
        } else {
            Base::FrameClock::FrameTime = dt; // zero or negative: the cameras must stand still
        }
        keyboard->PollAndAcquire();
        joystick->PollAndAcquire();
        if (beforeRun)
            beforeRun();
        Grp::RunGroup(*world->runnables);
    }
    void Frames(int n, double dt = Step) {
        for (int i = 0; i < n; ++i)
            Frame(dt);
    }

    // A camera of that kind in the world, made current.
    template <class Kind> Kind* Add(std::unique_ptr<Kind> camera) {
        Kind* raw = camera.release();
        world->AddObject(raw);
        return raw;
    }

    static RwMatrix MatrixOf(const Rw::Frame& frame) { return *RwFrameGetWorldMatrix(frame.frame); }
    static RwV3d Between(const RwV3d& from, const RwV3d& to) {
        return {to.x - from.x, to.y - from.y, to.z - from.z};
    }
    static float Length(const RwV3d& v) { return float(Base::VectorLength(v)); }
    static float AngleDegrees(const RwV3d& a, const RwV3d& b) {
        const float c = Base::DotProduct(Base::Normalize3d(a), Base::Normalize3d(b));
        return float(std::acos(std::clamp(double(c), -1.0, 1.0)) * 180.0 / Base::Pi);
    }
    // The horizontal field of view in degrees that the camera's view window gives.
    static float FieldOfView(const Cameras::Basic& camera) {
        return float(2.0 * std::atan(double(camera.camera->viewWindow.x)) * 180.0 / Base::Pi);
    }

    Rig::ScriptedInput input;
    std::unique_ptr<Input::Keyboard> keyboard;
    std::unique_ptr<Input::Joystick> joystick;
    uint32_t frame = 0;
    std::function<void()> beforeRun; // a game's camera keys, between the polls and the run pass
};
