// The five camera kinds on the fixed clock with scripted keys: frame steps, key rates and their modifier
// factors, the limits of each kind's motion, the fly-by camera's placement and the crash camera's circle.
#include "CameraRig.h"

#include <dinput.h>

#include "cockpit/Cockpit.h"
#include "objects/LensFlare.h"
#include "pilots/Pilot.h"

#include <cstring>
#include <vector>

namespace {

constexpr float Degrees = float(Base::Pi / 180.0);

class Cameras_ : public CameraRig {
protected:
    void SetUp() override {
        CameraRig::SetUp();
        if (HasFatalFailure())
            return;
        airplane = Loaded(Sample("F16"), 2).release();
        ASSERT_TRUE(airplane);
        airplane->Place(1000, 2000, 1500, 30, 200);
        world->AddObject(airplane);
        target = new Marker;
        target->MoveTo({100, 1000, 200});
        world->AddObject(target);
    }

    Obj::Airplane* airplane = nullptr;
    Marker* target = nullptr;
};

// Each kind, ready to move: targets given and the camera active.
struct Kinds {
    Cameras::Cockpit* cockpit;
    Cameras::Outside* outside;
    Cameras::Free* free;
    Cameras::FlyBy* flyBy;
    Cameras::Crash* crash;
};

} // namespace

TEST_F(Cameras_, AZeroStepLeavesEveryKindWhereItIsAndHalfASecondMovesAsATenth) {
    Kinds k{Add(std::make_unique<Cameras::Cockpit>()), Add(std::make_unique<Cameras::Outside>()),
            Add(std::make_unique<Cameras::Free>()), Add(std::make_unique<Cameras::FlyBy>()),
            Add(std::make_unique<Cameras::Crash>())};
    k.cockpit->target = airplane;
    k.outside->target = target;
    k.flyBy->target = target;
    k.crash->point = {0, 500, 0};
    Cameras::Basic* all[] = {k.cockpit, k.outside, k.free, k.flyBy, k.crash};
    for (Cameras::Basic* camera : all)
        camera->SetActive(true);
    Frame(Step);
    // Keys that move every kind: turns, zoom, flight.
    Hold("NUMPAD4 NUMPAD8 A UP DELETE");
    Frame(0); // the keys are down from this frame on; no time passes
    RwMatrix before[5];
    for (int i = 0; i < 5; ++i)
        before[i] = MatrixOf(*all[i]);
    const float yaw = k.cockpit->yawAngle;
    Frame(0);
    Frame(-1);
    for (int i = 0; i < 5; ++i) {
        const RwMatrix now = MatrixOf(*all[i]);
        EXPECT_EQ(std::memcmp(&now.pos, &before[i].pos, sizeof(RwV3d)), 0) << i;
        EXPECT_EQ(std::memcmp(&now.at, &before[i].at, sizeof(RwV3d)), 0) << i;
    }
    EXPECT_EQ(k.cockpit->yawAngle, yaw);

    // A long frame counts as 0.1 s: the free camera and the cockpit's turn after 0.5 s equal those after 0.1.
    const RwMatrix start = MatrixOf(*k.free);
    const float startYaw = k.cockpit->yawAngle, startRate = k.cockpit->yawRate;
    const RwV3d startVelocity = k.free->velocity;
    const float startPitchRate = k.free->pitchRate;
    Frame(0.1);
    const RwMatrix tenth = MatrixOf(*k.free);
    const float tenthYaw = k.cockpit->yawAngle;
    k.free->Transform(&start, rwCOMBINEREPLACE);
    k.free->velocity = startVelocity;
    k.free->pitchRate = startPitchRate;
    k.cockpit->yawAngle = startYaw;
    k.cockpit->yawRate = startRate;
    Frame(0.5);
    const RwMatrix half = MatrixOf(*k.free);
    EXPECT_EQ(std::memcmp(&half.pos, &tenth.pos, sizeof(RwV3d)), 0);
    EXPECT_EQ(std::memcmp(&half.at, &tenth.at, sizeof(RwV3d)), 0);
    EXPECT_EQ(k.cockpit->yawAngle, tenthYaw);
}

TEST_F(Cameras_, CockpitViewTurnsToTheYawLimitAndStops) {
    auto* camera = Add(std::make_unique<Cameras::Cockpit>());
    camera->target = airplane;
    camera->SetActive(true);
    Hold("NUMPAD4");
    float previous = 0;
    for (int i = 0; i < 400; ++i) {
        Frame(Step);
        ASSERT_GE(camera->yawAngle, previous) << i;
        ASSERT_LE(camera->yawAngle, 135 * Degrees) << i;
        previous = camera->yawAngle;
    }
    EXPECT_FLOAT_EQ(camera->yawAngle, 135 * Degrees);
    // The view itself looks 135 degrees off the nose, measured in the airplane's level plane.
    const RwMatrix plane = MatrixOf(*airplane), view = MatrixOf(*camera);
    const float across = Base::DotProduct(view.at, plane.right), ahead = Base::DotProduct(view.at, plane.at);
    EXPECT_NEAR(std::atan2(std::fabs(across), ahead) / Degrees, 135.0f, 0.5f);
    EXPECT_NEAR(FieldOfView(*camera), 80.0f, 0.01f);
    // The centre key brings everything back.
    ReleaseAll();
    Hold("NUMPAD5");
    Frame(Step);
    EXPECT_EQ(camera->yawAngle, 0);
    EXPECT_EQ(camera->yawRate, 0);
}

TEST(CockpitHead, ResponsesStayWithinTheirBounds) {
    // g(x) = -0.1 sign(x) (1 - e^(-0.02 |x|)): the pitch and yaw response below 0.1 rad, the head shift
    // (0.6 g) below 0.06.
    const struct {
        float x, expected;
    } cases[] = {{0, 0},
                 {50, -0.1f * (1 - std::exp(-1.0f))},
                 {-50, 0.1f * (1 - std::exp(-1.0f))},
                 {9.81f * 9, -0.1f * (1 - std::exp(-0.02f * 88.29f))},
                 {1e6f, -0.1f},
                 {-1e30f, 0.1f}};
    for (const auto& c : cases) {
        const float g = Cameras::Cockpit::HeadResponse(c.x);
        EXPECT_NEAR(g, c.expected, 1e-6f) << c.x;
        EXPECT_LE(std::fabs(g), 0.1f * (1 + 1e-6f)) << c.x;
        EXPECT_LE(0.6f * std::fabs(g), 0.06f * (1 + 1e-6f)) << c.x;
    }
}

TEST_F(Cameras_, ModifiersScaleTheCockpitAndFreeCameraRates) {
    auto* cockpit = Add(std::make_unique<Cameras::Cockpit>());
    auto* free = Add(std::make_unique<Cameras::Free>());
    cockpit->target = airplane;
    // Rate factors relative to no modifier: Ctrl wins over Shift in the cockpit, Shift over Ctrl in the
    // free camera, and Alt squares the free camera's factor.
    const struct {
        const char* keys;
        float cockpit, free;
    } cases[] = {{"", 1, 1},
                 {"LSHIFT", 10, 20},
                 {"LCONTROL", 0.1f, 0.05f},
                 {"LSHIFT LCONTROL", 0.1f, 20},
                 {"LCONTROL LMENU", 0.1f, 0.0025f},
                 {"RSHIFT RMENU", 1, 400},
                 {"RCONTROL", 1, 0.05f}};
    float plainYaw = 0, plainSpeed = 0;
    for (const auto& c : cases) {
        cockpit->SetActive(true);
        free->SetActive(true);
        Hold(c.keys);
        Frame(Step); // the modifiers are down
        cockpit->SetActive(true);
        free->SetActive(true);
        Hold("NUMPAD4 A");
        Frame(Step);
        const float yaw = cockpit->yawRate, speed = Length(free->velocity);
        if (!*c.keys) {
            plainYaw = yaw;
            plainSpeed = speed;
        }
        EXPECT_NEAR(yaw / plainYaw, c.cockpit, 1e-4f * c.cockpit) << c.keys;
        EXPECT_NEAR(speed / plainSpeed, c.free, 1e-4f * c.free) << c.keys;
        ReleaseAll();
        Frame(Step);
        cockpit->SetActive(false);
        free->SetActive(false);
    }
}

TEST_F(Cameras_, OutsideAddKeyChangesDistanceOrZoomByModifier) {
    auto* camera = Add(std::make_unique<Cameras::Outside>());
    camera->target = target;
    camera->SetActive(true);
    Frame(Step);
    const struct {
        const char* modifier;
        bool distance, zoom;
    } cases[] = {{"", true, false}, {"LSHIFT", false, true}, {"LCONTROL", false, false}};
    for (const auto& c : cases) {
        camera->SetActive(true);
        camera->zoom = 0.5f; // room to zoom either way
        if (*c.modifier)
            Hold(c.modifier);
        Frame(Step);
        const float distance = Length(camera->offset), zoom = camera->zoom;
        Hold("ADD");
        Frames(10);
        EXPECT_EQ(Length(camera->offset) < distance - 1e-3f, c.distance) << c.modifier;
        EXPECT_EQ(camera->zoom < zoom, c.zoom) << c.modifier;
        EXPECT_GE(camera->zoom, 0.1f);
        ReleaseAll();
        Frame(Step);
    }
}

TEST_F(Cameras_, OutsideCameraKeepsOffThePolesAndWithinItsRange) {
    auto* camera = Add(std::make_unique<Cameras::Outside>());
    camera->target = target;
    camera->SetActive(true);
    const RwV3d centre = MatrixOf(*target).pos;
    float lowest = 180, highest = 0, farthest = 0;
    const auto track = [&] {
        const RwV3d w = Between(centre, MatrixOf(*camera).pos);
        const float angle = AngleDegrees(w, {0, 1, 0});
        lowest = std::min(lowest, angle);
        highest = std::max(highest, angle);
        farthest = std::max(farthest, Length(w));
    };
    for (const char* keys : {"NUMPAD8 LSHIFT", "NUMPAD2 LSHIFT", "SUBTRACT"}) {
        Hold(keys);
        for (int i = 0; i < 600; ++i) {
            Frame(Step);
            track();
        }
        ReleaseAll();
        Frame(Step);
    }
    EXPECT_GE(lowest, 10.0f - 0.01f);
    EXPECT_LE(highest, 170.0f + 0.01f);
    EXPECT_LT(lowest, 10.5f); // the limits are reached
    EXPECT_GT(highest, 169.5f);
    EXPECT_LE(farthest, 5000.0f * 1.0001f);
    EXPECT_GT(farthest, 4990.0f);
    // The camera looks at the target.
    const RwMatrix view = MatrixOf(*camera);
    EXPECT_NEAR(AngleDegrees(view.at, Between(view.pos, centre)), 0.0f, 0.05f);
    EXPECT_NEAR(FieldOfView(*camera), 75.0f, 0.01f);
}

TEST_F(Cameras_, OutsideCameraStartsBehindTheAirplaneAtItsSize) {
    auto* camera = Add(std::make_unique<Cameras::Outside>());
    camera->target = airplane;
    camera->SetActive(true);
    Frame(Step);
    const RwMatrix plane = MatrixOf(*airplane), view = MatrixOf(*camera);
    const RwV3d w = Between(plane.pos, view.pos);
    const float r = airplane->GetBoundingSphere()->radius, d = r + 5;
    // At the reset offset, or pushed out to clear the airplane's own surface.
    EXPECT_GE(Length(w), 0.99f * d * std::sqrt(1 + 0.09f));
    EXPECT_LE(Length(w), 1.01f * std::max(d * std::sqrt(1 + 0.09f), 1.125f * r + 8));
    EXPECT_LT(Base::DotProduct(w, plane.at), 0); // behind
    EXPECT_GT(w.y, 0);                           // above
    const RwV3d v = camera->GetVelocity(), u = airplane->GetState().velocity;
    EXPECT_EQ(std::memcmp(&v, &u, sizeof v), 0);
    camera->target = target;
    EXPECT_EQ(Length(camera->GetVelocity()), 0.0f);
}

TEST_F(Cameras_, FlyByCameraHoldsStillForFiveSecondsThenWaitsAhead) {
    auto* camera = Add(std::make_unique<Cameras::FlyBy>());
    camera->target = target;
    target->MoveTo({0, 800, 0});
    camera->SetActive(true);
    const double activated = Base::FrameClock::GameTime;
    const RwV3d placed = MatrixOf(*camera).pos;
    // Put near the target: 50 either way across, 25 to 50 up.
    const RwV3d near = Between({0, 800, 0}, placed);
    EXPECT_LE(std::fabs(near.x), 50.0f);
    EXPECT_LE(std::fabs(near.z), 50.0f);
    EXPECT_GE(near.y, 25.0f);
    EXPECT_LE(near.y, 50.0f);
    // The target flies off fast: far beyond 9.6 |v| + 20 at once.
    const float speed = 100;
    RwV3d position{0, 800, 20000};
    bool moved = false;
    while (!moved) {
        position.z += speed * float(Step);
        target->MoveTo(position);
        Frame(Step);
        const RwV3d now = MatrixOf(*camera).pos;
        moved = std::memcmp(&now, &placed, sizeof now) != 0;
        ASSERT_LT(Base::FrameClock::GameTime - activated, 6.0);
    }
    EXPECT_GT(Base::FrameClock::GameTime - activated, 5.0);
    // Now 8 s ahead of the target along its path, give or take the offsets (0.8 |v| + 40 at most).
    const RwV3d ahead = Between(position, MatrixOf(*camera).pos);
    EXPECT_NEAR(ahead.z, 8 * speed, 0.8f * speed + 40 + 1);
    EXPECT_LE(std::fabs(ahead.x), 0.8f * speed + 40);
    EXPECT_GE(ahead.y, 0.5f * (0.8f * speed + 40) - 1);
    // And it looks at the target, with the field of view that the distance gives (measured before the
    // frame's placement, so one frame on).
    position.z += speed * float(Step);
    target->MoveTo(position);
    Frame(Step);
    const RwMatrix view = MatrixOf(*camera);
    EXPECT_NEAR(AngleDegrees(view.at, Between(view.pos, position)), 0.0f, 0.05f);
    EXPECT_NEAR(FieldOfView(*camera), Cameras::FlyBy::FieldOfViewDegrees(Length(Between(view.pos, position))),
                0.05f);
}

TEST(FlyByLens, NarrowsWithDistance) {
    EXPECT_FLOAT_EQ(Cameras::FlyBy::FieldOfViewDegrees(0), 75.0f);
    EXPECT_NEAR(Cameras::FlyBy::FieldOfViewDegrees(1000),
                75 - 72 * (1 - std::exp(-0.01 * std::pow(1000.0, 0.85))), 1e-3);
    EXPECT_NEAR(Cameras::FlyBy::FieldOfViewDegrees(1e7f), 3.0f, 1e-3f);
}

TEST_F(Cameras_, CrashCameraCirclesThePointAndLooksAtIt) {
    auto* camera = Add(std::make_unique<Cameras::Crash>());
    const RwV3d point{300, 40, -700};
    camera->point = point;
    camera->SetActive(true);
    const RwV3d start = MatrixOf(*camera).pos;
    EXPECT_FLOAT_EQ(start.x, point.x + 200);
    EXPECT_FLOAT_EQ(start.y, point.y + 70);
    EXPECT_FLOAT_EQ(start.z, point.z);
    Frames(640); // 10 s: a turn of 1 radian
    const RwMatrix view = MatrixOf(*camera);
    const RwV3d w = Between(point, view.pos);
    EXPECT_NEAR(std::hypot(w.x, w.z), 200.0f, 0.1f);
    EXPECT_NEAR(w.y, 70.0f, 0.01f);
    EXPECT_NEAR(AngleDegrees(RwV3d{w.x, 0, w.z}, RwV3d{200, 0, 0}), 1.0f / Degrees, 0.2f);
    EXPECT_NEAR(AngleDegrees(view.at, Between(view.pos, point)), 0.0f, 0.05f);
}

TEST_F(Cameras_, FreeCameraFliesAlongItsAxesAndStopsWhenReleased) {
    auto* camera = Add(std::make_unique<Cameras::Free>());
    camera->SetActive(true);
    Frame(Step);
    const RwV3d start = MatrixOf(*camera).pos;
    Hold("A");
    Frames(64);
    ReleaseAll();
    Frames(320);
    const RwV3d moved = Between(start, MatrixOf(*camera).pos);
    EXPECT_GT(moved.z, 100.0f); // along at
    EXPECT_NEAR(moved.x, 0.0f, 1e-3f);
    EXPECT_NEAR(moved.y, 0.0f, 1e-3f);
    EXPECT_LT(Length(camera->velocity), 1e-3f);
    EXPECT_NEAR(FieldOfView(*camera), 90.0f, 0.01f);
    // Shift alone zooms in, down to 0.01.
    Hold("LSHIFT ADD");
    Frames(640);
    EXPECT_FLOAT_EQ(camera->zoom, 0.01f);
}

TEST_F(Cameras_, OnlyTheActiveCameraRunsAndAWorldlessOneLeavesTheRunGroup) {
    auto* camera = Add(std::make_unique<Cameras::Free>());
    EXPECT_FALSE(camera->IsActive());
    EXPECT_EQ(RwCameraGetWorld(camera->camera), world->world);
    camera->SetActive(true);
    EXPECT_TRUE(camera->IsActive());
    world->RemoveObject(camera);
    EXPECT_FALSE(camera->IsActive());
    EXPECT_EQ(RwCameraGetWorld(camera->camera), nullptr);
    delete camera;
}

TEST_F(Cameras_, CockpitCameraSitsAtTheEyeAndHidesTheFlareAndThePilot) {
    auto* standIn = new CockpitStandIn;
    standIn->eye = {0.25f, 1.5f, 4.0f};
    airplane->cockpit.reset(standIn);
    auto* camera = Add(std::make_unique<Cameras::Cockpit>());
    camera->target = airplane;
    camera->SetActive(true);
    Frame(Step);
    const RwMatrix plane = MatrixOf(*airplane);
    double origin[3];
    airplane->GetWorldPositionDouble(origin);
    const RwV3d eye = standIn->eye;
    const double expected[3] = {origin[0] + eye.x * plane.right.x + eye.y * plane.up.x + eye.z * plane.at.x,
                                origin[1] + eye.x * plane.right.y + eye.y * plane.up.y + eye.z * plane.at.y,
                                origin[2] + eye.x * plane.right.z + eye.y * plane.up.z + eye.z * plane.at.z};
    double position[3];
    camera->GetWorldPositionDouble(position);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(position[i], expected[i], 0.06 * std::sqrt(3.0) + 1e-3) << i; // the head shift at most
    // The view is raised 5 degrees, give or take the pitch response (at most 0.1 rad).
    const RwMatrix view = MatrixOf(*camera);
    EXPECT_NEAR(AngleDegrees(view.at, plane.at), 5.0f, 0.1f / Degrees);
    const RwV3d v = camera->GetVelocity(), u = airplane->GetState().velocity;
    EXPECT_EQ(std::memcmp(&v, &u, sizeof v), 0);

    // The lens flare asks the cockpit's model along its line of sight, through the camera only.
    Cameras::InstallHooks();
    const Base::Vector3 p{1, 2, 3}, d{0, 0, 1}, at{0, 0, 1};
    EXPECT_FALSE(Obj::LensFlare::WorldOcclusion(*world, camera)(p, d, at));
    ASSERT_EQ(standIn->segments.size(), 1u);
    EXPECT_FLOAT_EQ(standIn->segments[0].end.z, 3 + 10000.0f);
    standIn->blocks = true;
    EXPECT_TRUE(Obj::LensFlare::WorldOcclusion(*world, camera)(p, d, at));
    EXPECT_FALSE(Obj::LensFlare::WorldOcclusion(*world)(p, d, at));
    auto* outside = Add(std::make_unique<Cameras::Outside>());
    EXPECT_FALSE(Obj::LensFlare::WorldOcclusion(*world, outside)(p, d, at));
    EXPECT_EQ(standIn->segments.size(), 2u);
    camera->target = nullptr;
    EXPECT_FALSE(Obj::LensFlare::WorldOcclusion(*world, camera)(p, d, at));
    Obj::LensFlare::CameraBlocks = nullptr;

    // The pilot is not drawn in his own cockpit view, and is in any other.
    camera->target = airplane;
    EXPECT_TRUE(Obj::Pilot::IsInsideViewOf(camera, airplane));
    EXPECT_FALSE(Obj::Pilot::IsInsideViewOf(outside, airplane));
    auto* other = Loaded(Sample("Su25"), 1).release();
    ASSERT_TRUE(other);
    EXPECT_FALSE(Obj::Pilot::IsInsideViewOf(camera, other));
    delete other;
    // And the cockpit shows itself through its own camera only.
    EXPECT_EQ(Cockpit::Cockpit::ShownAirplane(camera), airplane);
    EXPECT_EQ(Cockpit::Cockpit::ShownAirplane(outside), nullptr);
    camera->showCockpit = 0;
    EXPECT_FALSE(Obj::Pilot::IsInsideViewOf(camera, airplane));
    EXPECT_EQ(Cockpit::Cockpit::ShownAirplane(camera), nullptr);
    Cockpit::Cockpit::ShownAirplane = nullptr;
    Obj::Pilot::IsInsideViewOf = nullptr;
}

TEST(SampleHistory, ChainedRunningAveragesReachAConstantAfterTheirSpan) {
    // Fed a constant after zeros, windows 20, 10, 5 give it back from the 33rd sample on (20 + 10 + 5 - 2).
    Cockpit::SampleHistory<float> history;
    for (int n = 1; n <= 40; ++n) {
        const float out = history.AddAndFilter(2.0f, 20, 10, 5);
        if (n < 33)
            EXPECT_LT(out, 2.0f - 1e-4f) << n;
        else
            EXPECT_NEAR(out, 2.0f, 1e-5f) << n;
    }
    // A direct reference: three running sums over the buffer.
    Cockpit::SampleHistory<RwV3d> vectors;
    std::vector<double> x(Cockpit::SampleHistory<RwV3d>::Size, 0.0);
    for (int n = 0; n < 60; ++n) {
        const float sample = float((n * 37) % 11) - 5.0f;
        const RwV3d out = vectors.AddAndFilter({sample, -sample, 2 * sample}, 20, 15, 10);
        x.erase(x.begin());
        x.push_back(sample);
        std::vector<double> in = x;
        for (int w : {20, 15, 10}) {
            std::vector<double> o(in.size());
            double sum = 0;
            for (size_t i = 0; i < in.size(); ++i) {
                sum += in[i] / w - (i >= size_t(w) ? in[i - w] / w : 0);
                o[i] = sum;
            }
            in = o;
        }
        EXPECT_NEAR(out.x, in.back(), 1e-4) << n;
        EXPECT_NEAR(out.y, -in.back(), 1e-4) << n;
        EXPECT_NEAR(out.z, 2 * in.back(), 2e-4) << n;
    }
    // No first window: the sample as it is.
    EXPECT_EQ(history.AddAndFilter(7.5f, 0, 10), 7.5f);
}
