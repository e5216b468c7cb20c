// The airplane on the sample carrier's catapult: placed ready to launch, held with its brakes on, launched
// when they come off, and let go flying at the end of the catapult.
#include "AirplaneFixture.h"

#include "objects/Ship.h"

#include <cmath>

TEST_F(AirplaneWorld, TheCatapultLaunchesTheAirplaneOnceItsBrakesAreReleased) {
    auto* carrier = new Obj::Carrier;
    ASSERT_TRUE(carrier->Setup(&Base::InfoCache::Get(models + "/Carrier.model"), {1000, 2000}, {1, 0}, 8, 10,
                               0.02f, 0.02f, false, false));
    world->AddObject(carrier);
    carrier->speed = 8;
    auto* airplane = Loaded(Sample("Su27"), Obj::Airplane::ComplexModel).release();
    ASSERT_TRUE(airplane);
    world->AddObject(airplane);
    Base::SmartPtr<Obj::Airplane> alive = airplane;
    ASSERT_TRUE(carrier->PlaceOnCatapult(airplane, "C1"));
    EXPECT_FALSE(carrier->PlaceOnCatapult(airplane, "C2")) << "already on one";

    // Ready: on the deck in the carrier's coordinates, engine at full power, gear down, brakes on.
    const Obj::Carrier::Catapult& c1 = carrier->catapults.at("C1");
    const Physics::ComplexPhysicsParams& c = airplane->flightModel->params.complex;
    Physics::AirplaneState s = airplane->GetState();
    EXPECT_TRUE(s.held);
    EXPECT_TRUE(s.engineRunning);
    EXPECT_EQ(s.engineSpool, 1.0f);
    EXPECT_EQ(s.throttle, 1.0f);
    EXPECT_EQ(s.gearExtension, 1.0f);
    EXPECT_GT(s.wheelBrakeCommand, 0);
    const float below = c.sideWheelPosition.y - c.sideWheelRadius + 0.2f;
    EXPECT_NEAR(s.position.y, c1.position.y - below, 1e-4f);
    EXPECT_NEAR(RwFrameGetMatrix(airplane->frame)->pos.z, c1.position.z, 1e-4f);
    const Obj::Airplane::WheelGeometry wheels = airplane->GetWheelGeometry();
    EXPECT_EQ(wheels.b, c.sideWheelRadius);
    EXPECT_EQ(wheels.firstWheelRadius, c.centerWheelRadius);

    // Held while the brakes are on, sailing with the carrier, the gear locked down.
    s.gearDownCommand = 0;
    airplane->SetState(s);
    for (int i = 0; i < 50; ++i)
        Frame(0.02f);
    s = airplane->GetState();
    ASSERT_TRUE(airplane->attachedToFrame);
    EXPECT_EQ(c1.launchSpeed, 0);
    EXPECT_NEAR(RwFrameGetMatrix(airplane->frame)->pos.z, c1.position.z, 1e-4f);
    EXPECT_EQ(s.gearExtension, 1.0f);
    EXPECT_EQ(s.gearDownCommand, 1.0f);
    const RwMatrix* deck = RwFrameGetWorldMatrix(carrier->frame);
    EXPECT_NEAR(s.velocity.x, carrier->speed * deck->at.x, 1e-3f);

    // Brakes off: the carrier runs it along the deck and lets it go at the catapult's end.
    s.wheelBrakeCommand = 0;
    airplane->SetState(s);
    int frames = 0;
    while (airplane->attachedToFrame && frames < 500) {
        Frame(0.02f);
        ++frames;
    }
    ASSERT_FALSE(airplane->attachedToFrame);
    EXPECT_NEAR(frames * 0.02f, std::sqrt(2 * c1.length / 20.0f), 0.1f);
    s = airplane->GetState();
    EXPECT_FALSE(s.held);
    const RwMatrix* world = RwFrameGetWorldMatrix(airplane->frame);
    EXPECT_NEAR(s.position.x, world->pos.x, 1e-2f) << "the state is the world's again";
    EXPECT_NEAR(s.at.x, deck->at.x, 1e-4f);
    const float speed = float(Base::VectorLength(s.velocity));
    EXPECT_NEAR(speed, carrier->speed + std::sqrt(2 * 20.0f * c1.length), 3.0f);

    // Off the bow it flies on under its own power.
    for (int i = 0; i < 500 && alive; ++i)
        Frame(0.02f);
    ASSERT_TRUE(alive);
    s = airplane->GetState();
    EXPECT_FALSE(s.crashed);
    EXPECT_GT(Base::VectorLength(s.velocity), speed);
}
