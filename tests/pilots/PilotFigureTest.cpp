// The pilot figure: seated in the sample fighter and building up blackout and redout from the g-load; the
// ejection and its timeline (seated look, free fall, parachute, removal on the ground) over a flat terrain,
// with the airplane crashing seven seconds after it lost its pilot.
#include "PilotFixture.h"

#include "scene/AtomicData.h"

#include <cmath>
#include <strings.h>

namespace {

// Which of the figure's three parts are drawn, as "Sitting", "Flying", "OnParachute" flags.
std::string DrawnParts(Obj::Clump& figure) {
    std::string drawn;
    for (const char* name : {"Sitting", "Flying", "OnParachute"}) {
        struct Search {
            const char* name;
            bool drawn = false;
        } search{name};
        RpClumpForAllAtomics(
            figure.clump,
            [](RpAtomic* atomic, void* data) -> RpAtomic* {
                auto* s = static_cast<Search*>(data);
                if (strcasecmp(Rw::GetAtomicName(atomic), s->name) == 0)
                    s->drawn = (RpAtomicGetFlags(atomic) & rpATOMICRENDER) != 0;
                return atomic;
            },
            &search);
        drawn += search.drawn ? '1' : '0';
    }
    return drawn;
}

bool CanopyDrawn(Obj::Airplane& airplane) {
    bool drawn = false;
    RpClumpForAllAtomics(
        airplane.clump,
        [](RpAtomic* atomic, void* data) -> RpAtomic* {
            if (strcasecmp(Rw::GetAtomicName(atomic), "_CabinGlass") == 0)
                *static_cast<bool*>(data) = (RpAtomicGetFlags(atomic) & rpATOMICRENDER) != 0;
            return atomic;
        },
        &drawn);
    return drawn;
}

class PilotFigure : public PilotRig {
protected:
    // A world frame on the world's clock: simulation, then the run pass.
    void Step(float dt) { AirplaneWorld::Frame(dt); }
};

TEST_F(PilotFigure, SeatedLevelsFollowTheGLoadAndFallBackToZero) {
    Obj::Airplane* airplane = Fighter();
    ASSERT_TRUE(airplane);
    Obj::Pilot* pilot = Seat<Obj::Pilot>(airplane);
    const RwV3d up = Base::Normalize3d(RwV3d{0.6f, 0.8f, 0});
    const struct {
        float along; // acceleration along the airplane's up axis
        float dt, blackout0, redout0, blackout, redout;
    } cases[] = {
        {100, 0.5f, 0, 0, 0.0225f, 0},    // sqrt(100) x 0.5 x 0.0125 - 0.5 x 0.08
        {-64, 0.5f, 0, 0, 0, 0.03f},      // sqrt(64) x 0.5 x 0.0125 - 0.5 x 0.04
        {0, 1.0f, 0.5f, 0.02f, 0.42f, 0}, // back at 0.08 and 0.04 per second, never below 0
        {400, 0.25f, 0.3f, 0.1f, 0.3425f, 0.09f},
        {9.81f, 2.0f, 0, 0, 0, 0}, // one g: nothing builds up
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.along);
        Physics::AirplaneState s = airplane->GetState();
        s.up = up;
        s.acceleration = {up.x * k.along + 3 * up.y, up.y * k.along - 3 * up.x, 0}; // plus a sideways part
        airplane->SetState(s);
        pilot->blackout = k.blackout0;
        pilot->redout = k.redout0;
        world->time->step = k.dt;
        pilot->Run();
        EXPECT_NEAR(pilot->blackout, k.blackout, 1e-5f);
        EXPECT_NEAR(pilot->redout, k.redout, 1e-5f);
    }
    EXPECT_EQ(pilot->GetAirplane(), airplane);
    EXPECT_EQ(Obj::Pilot::Of(airplane), pilot);
}

TEST_F(PilotFigure, SeatedAtThePilotSeatAndCarriedByTheAirplane) {
    Obj::Airplane* airplane = Fighter();
    ASSERT_TRUE(airplane);
    Obj::Pilot* pilot = Seat<Obj::Pilot>(airplane);
    EXPECT_EQ(DrawnParts(*pilot), "100");
    for (int i = 0; i < 10; ++i)
        Step(0.05f);
    const RwMatrix* plane = RwFrameGetWorldMatrix(airplane->frame);
    const RwMatrix* seat = RwFrameGetWorldMatrix(pilot->frame);
    const RwV3d o = airplane->pilotSeat;
    EXPECT_NEAR(seat->pos.x, plane->pos.x + plane->right.x * o.x + plane->up.x * o.y + plane->at.x * o.z,
                1e-3f);
    EXPECT_NEAR(seat->pos.y, plane->pos.y + plane->right.y * o.x + plane->up.y * o.y + plane->at.y * o.z,
                1e-3f);
    EXPECT_NEAR(seat->pos.z, plane->pos.z + plane->right.z * o.x + plane->up.z * o.y + plane->at.z * o.z,
                1e-3f);
    EXPECT_EQ(pilot->figureState, Obj::Pilot::Seated);
    // The bounding sphere follows the seat.
    const RwSphere* sphere = pilot->GetBoundingSphere();
    ASSERT_TRUE(sphere);
    const RwV3d d = {sphere->center.x - seat->pos.x, sphere->center.y - seat->pos.y,
                     sphere->center.z - seat->pos.z};
    EXPECT_LT(std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z), sphere->radius);
    // A shot down through the seat meets the figure near its head; one beside the airplane misses.
    const RwLine down = {{seat->pos.x, seat->pos.y + 5, seat->pos.z},
                         {seat->pos.x, seat->pos.y - 5, seat->pos.z}};
    RwV3d point = {0, 0, 0}, normal = {0, 0, 0};
    ASSERT_TRUE(pilot->IntersectSegment(&down, &point, &normal));
    EXPECT_GT(point.y, seat->pos.y);
    EXPECT_LT(point.y, seat->pos.y + 1.5f);
    EXPECT_NEAR(normal.x * normal.x + normal.y * normal.y + normal.z * normal.z, 1, 1e-4f);
    EXPECT_GT(normal.y, 0);
    const RwLine beside = {{seat->pos.x + 30, seat->pos.y + 5, seat->pos.z},
                           {seat->pos.x + 30, seat->pos.y - 5, seat->pos.z}};
    EXPECT_FALSE(pilot->IntersectSegment(&beside, &point, &normal));
    // The folded canopy of the seated figure takes no shots; once shown it does.
    const RwMatrix* m = RwFrameGetWorldMatrix(pilot->frame);
    const RwV3d canopy = {seat->pos.x + 6.5f * m->at.x, seat->pos.y + 6.5f * m->at.y,
                          seat->pos.z + 6.5f * m->at.z};
    const RwLine across = {{canopy.x + 10 * m->up.x, canopy.y + 10 * m->up.y, canopy.z + 10 * m->up.z},
                           {canopy.x - 10 * m->up.x, canopy.y - 10 * m->up.y, canopy.z - 10 * m->up.z}};
    EXPECT_FALSE(pilot->IntersectSegment(&across, &point, &normal));
    pilot->SetFigure(Obj::Pilot::UnderParachute);
    EXPECT_TRUE(pilot->IntersectSegment(&across, &point, &normal));
}

TEST_F(PilotFigure, EjectionThrowsTheFigureOutAlongTheAirplanesUpAxis) {
    Obj::Airplane* airplane = Fighter(0);
    ASSERT_TRUE(airplane);
    Obj::Pilot* pilot = Seat<Obj::Pilot>(airplane);
    // Standing still in the air, rolled and pitched.
    Physics::AirplaneState s = airplane->GetState();
    s.up = Base::Normalize3d(RwV3d{0.28f, 0.96f, 0});
    s.right = Base::Normalize3d(RwV3d{0.96f, -0.28f, 0});
    s.at = Base::CrossProduct(s.right, s.up);
    s.velocity = {0, 0, 0};
    airplane->SetState(s);
    Step(0); // the run places the frame from the state
    world->time->time = 12.5f;
    const RwV3d seat = RwFrameGetWorldMatrix(pilot->frame)->pos;
    ASSERT_TRUE(CanopyDrawn(*airplane));

    pilot->Eject();
    EXPECT_EQ(pilot->GetAirplane(), nullptr);
    EXPECT_EQ(Obj::Pilot::Of(airplane), nullptr);
    EXPECT_EQ(pilot->velocity.x, 25 * s.up.x);
    EXPECT_EQ(pilot->velocity.y, 25 * s.up.y);
    EXPECT_EQ(pilot->velocity.z, 25 * s.up.z);
    EXPECT_EQ(pilot->ejectTime, 12.5f);
    EXPECT_EQ(pilot->figureState, Obj::Pilot::Ejected);
    EXPECT_EQ(DrawnParts(*pilot), "100");
    EXPECT_EQ(airplane->crashCountdown, 7.0f);
    EXPECT_EQ(airplane->GetState().outOfControl, 1);
    EXPECT_FALSE(CanopyDrawn(*airplane));
    // It leaves from where it sat.
    const RwV3d free = RwFrameGetWorldMatrix(pilot->frame)->pos;
    EXPECT_NEAR(free.x, seat.x, 1e-3f);
    EXPECT_NEAR(free.y, seat.y, 1e-3f);
    EXPECT_NEAR(free.z, seat.z, 1e-3f);
    // A second ejection without an airplane does nothing.
    pilot->Eject();
    EXPECT_EQ(pilot->velocity.y, 25 * s.up.y);
}

TEST_F(PilotFigure, EjectionTimelineFromSeatToParachuteToTheGround) {
    FlatGround();
    Obj::Airplane* airplane = Fighter(150, 0);
    ASSERT_TRUE(airplane);
    Base::SmartPtr<Obj::Airplane> plane(airplane);
    Base::SmartPtr<Obj::Pilot> pilot(Seat<Obj::Pilot>(airplane));
    Step(0);
    pilot->Eject();
    const float t0 = world->time->time;
    const float dt = 1.0f / 32;

    // One step of the free figure by hand: gravity, then the air's drag of 0.7 per second.
    const RwV3d v0 = pilot->velocity;
    double p0[3];
    pilot->GetWorldPositionDouble(p0);
    Step(dt);
    double p1[3];
    pilot->GetWorldPositionDouble(p1);
    EXPECT_NEAR(p1[1] - p0[1], double(v0.y) * dt, 1e-3);
    EXPECT_NEAR(p1[0] - p0[0], double(v0.x) * dt, 1e-3);
    EXPECT_FLOAT_EQ(pilot->velocity.y, (v0.y - 9.81f * dt) * std::pow(0.7f, dt));
    EXPECT_FLOAT_EQ(pilot->velocity.z, v0.z * std::pow(0.7f, dt));

    const RwV3d start = Base::Normalize3d(pilot->velocity);
    const RwMatrix* m0 = RwFrameGetWorldMatrix(pilot->frame);
    const float frontAlongFlight = m0->at.x * start.x + m0->at.y * start.y + m0->at.z * start.z;
    float changedToFalling = -1, changedToParachute = -1, airplaneGone = -1, sinkRate = 0;
    float frontAgainstFlight = 0, frontUp = 0;
    while (pilot && world->time->time - t0 < 200) {
        const uint32_t before = pilot->figureState;
        Step(dt);
        if (!pilot)
            break;
        const float since = world->time->time - t0;
        if (before == Obj::Pilot::Ejected && pilot->figureState == Obj::Pilot::FallingFree) {
            changedToFalling = since;
            EXPECT_EQ(DrawnParts(*pilot), "010");
        }
        if (before == Obj::Pilot::FallingFree && pilot->figureState == Obj::Pilot::UnderParachute) {
            changedToParachute = since;
            EXPECT_EQ(DrawnParts(*pilot), "001");
            const RwMatrix* m = RwFrameGetWorldMatrix(pilot->frame);
            const RwV3d v = Base::Normalize3d(pilot->velocity);
            frontAgainstFlight = m->at.x * v.x + m->at.y * v.y + m->at.z * v.z;
        }
        if (!plane && airplaneGone < 0)
            airplaneGone = since;
        if (pilot->figureState == Obj::Pilot::UnderParachute && since > changedToParachute + 8 &&
            sinkRate == 0) {
            sinkRate = -pilot->velocity.y;
            frontUp = RwFrameGetWorldMatrix(pilot->frame)->at.y;
        }
    }
    // Seated look for 2.5 s, falling free until 7 s, then under the parachute (both from the ejection).
    EXPECT_GT(changedToFalling, 2.5f);
    EXPECT_LE(changedToFalling, 2.5f + dt);
    EXPECT_GT(changedToParachute, 7.0f);
    EXPECT_LE(changedToParachute, 7.0f + dt);
    // The airplane flew on without its pilot and crashed 7 s after the ejection.
    EXPECT_GT(airplaneGone, 7.0f - dt);
    EXPECT_LE(airplaneGone, 7.0f + dt);
    // Free fall turned the figure's front away from its flight; the canopy turned it to the sky, and the
    // sink rate settled where a step's gravity and its decay of 0.15 per second balance.
    EXPECT_GT(frontAlongFlight, 0.9f);
    EXPECT_LT(frontAgainstFlight, frontAlongFlight - 0.6f);
    EXPECT_GT(frontUp, 0.99f);
    const float k = std::pow(0.15f, dt);
    EXPECT_NEAR(sinkRate, 9.81f * dt * k / (1 - k), 0.02f);
    // Reached the ground, and gone from the world.
    EXPECT_FALSE(pilot);
    EXPECT_LT(world->time->time - t0, 200);
}

TEST_F(PilotFigure, PilotWithoutAirplaneAndFigureWithoutParts) {
    // No airplane: the ejection and the seated step do nothing.
    auto* lone = Seat<Obj::Pilot>(nullptr);
    lone->blackout = 0.5f;
    world->time->step = 1;
    lone->Run();
    EXPECT_EQ(lone->blackout, 0.5f);
    lone->Eject();
    EXPECT_EQ(lone->figureState, Obj::Pilot::Seated);
    // A state whose part the model lacks is still stored; the drawn parts stay as they were.
    lone->SetFigure(7);
    EXPECT_EQ(lone->figureState, 7u);
    EXPECT_EQ(DrawnParts(*lone), "100");
}

} // namespace
