// The cameras the player looks through: the pilot's eye in the cockpit, a chase camera orbiting a target, a
// camera flown freely with the keyboard, one that waits beside the target's path and watches it pass, and one
// that circles the place of a crash. Each is a world object on an engine camera; only the active one is in
// the world's run group, and its Run moves it once a frame on the frame clock.
#pragma once

#include "cameras/SampleHistory.h"
#include "scene/Attachable.h"
#include "scene/ObjectModel.h"

#include "base/SmartPtr.h"
#include "rwsdk/plugin/collis/rpcollis.h"

#include <cstdint>

namespace Input {
class Keyboard;
}
namespace Obj {
class Airplane;
}

namespace Cameras {

class Basic : public Obj::Object, public Obj::Camera, public Obj::Runnable {
public:
    // Cameras run last: what they follow has moved its frame for this frame by then.
    Basic() { runOrder = 255; }
    // Out of the engine world it is in, if any.
    ~Basic() override;

    // Into the engine world with the world (out with null, leaving the run group too).
    void SetWorld(Grp::World* world) override;
    // The 3D sound listener's velocity; zero unless the kind follows an airplane.
    virtual RwV3d GetVelocity() const { return {0, 0, 0}; }
    // True joins the run group and starts the kind afresh; false only leaves the run group.
    virtual void SetActive(bool active);
    bool IsActive() const { return Obj::Runnable::group != nullptr; }
    // Whether something in the camera itself blocks the segment (the cockpit's frame does).
    virtual bool IntersectSegment(const RwLine* /*segment*/) { return false; }

    // The frame time as the cameras take it: clamped to [0, 0.1] s, 0 when not positive.
    static float FrameStep();

    float zoom = 1.0f;

protected:
    // The kind's own start on activation.
    virtual void Activate() {}

    // The world's keyboard state: 1 while held (nothing held without a keyboard).
    bool Held(uint8_t key) const;
    // The keyboard's modifier byte (1 Shift, 2 Ctrl, 4 Alt); 0 without a keyboard.
    uint8_t Modifiers() const;
    // The world's joystick hat angle in degrees; -1 centred or without a joystick.
    float HatAngle() const;
    // The terrain's height under (x, z), tested from 10000 down to -10000; false when it misses or there is
    // no terrain.
    bool GroundHeight(float x, float z, float* height) const;
    // Zoom keys: DIK_ADD zooms in, DIK_SUBTRACT out (by base^dt), DIK_MULTIPLY resets; then clamped.
    void ZoomKeys(float dt, float base, float lo, float hi);
    // Replaces the frame's matrix and sets its double-precision position.
    void Place(const RwMatrix& view, const double position[3]);
    void SetFieldOfViewDegrees(float degrees);
    // Turns the view about its own up axis through its position by minus the joystick's hat angle.
    void ApplyHat(RwMatrix& view) const;
};

// The pilot's eye in the target airplane, with the head pushed about by the acceleration.
class Cockpit : public Basic {
public:
    explicit Cockpit(uint8_t showCockpit = 1);

    void Run() override;
    RwV3d GetVelocity() const override;
    // The segment test of the target airplane's cockpit model.
    bool IntersectSegment(const RwLine* segment) override;

    // The head response to an acceleration component: -0.1 sign(x) (1 - e^(-0.02 |x|)).
    static float HeadResponse(float x);

    Base::SmartPtr<Obj::Airplane> target;
    ::Cockpit::SampleHistory<RwV3d> history;
    float pitchRate = 0, yawRate = 0;
    float pitchAngle = 0, yawAngle = 0;
    uint8_t showCockpit = 1; // the cockpit model is drawn for this camera

protected:
    void Activate() override;
};

// A chase camera that orbits its target at an offset in the target's heading frame.
class Outside : public Basic {
public:
    explicit Outside(int = 1) {}

    void Run() override;
    RwV3d GetVelocity() const override;
    // Behind the target, a little above, at its size; rates still, zoom 1.
    void ResetView();

    static constexpr float MaxDistance = 5000.0f;
    static constexpr float MinElevationDegrees = 10.0f;

    Base::SmartPtr<Obj::Frame> target;
    RwV3d heading{0, 0, 1};
    RwV3d offset{0, 0, -1};
    float pitchRate = 0, yawRate = 0, distanceRate = 0;

protected:
    void Activate() override;
};

// A camera flown freely with the keyboard.
class Free : public Basic {
public:
    void Run() override;

    RwV3d velocity{0, 0, 0};
    float pitchRate = 0, yawRate = 0;

protected:
    void Activate() override;
};

// A camera that waits ahead of the target's path and watches it pass, placed anew at most every 5 s.
class FlyBy : public Basic {
public:
    void Run() override;
    // The field of view in degrees at that distance, before the zoom.
    static float FieldOfViewDegrees(float distance);

    Base::SmartPtr<Obj::Frame> target;
    double lastPlacement = 0;
    RwV3d previousPosition{0, 0, 0};

protected:
    void Activate() override;
};

// A camera that circles the crash point.
class Crash : public Basic {
public:
    void Run() override;

    RwV3d point{0, 0, 0};

protected:
    void Activate() override;
};

// What the layers below ask of the cameras, installed once the cameras exist: the lens flare asks the camera
// it is seen through (the cockpit's frame hides it), and a pilot is not drawn in its own cockpit view.
void InstallHooks();

} // namespace Cameras
