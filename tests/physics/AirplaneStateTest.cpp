// The state record's initialiser and the parameter record's keys with their defaults.
#include "physics/AirplaneState.h"
#include "physics/PhysicsParams.h"

#include "base/Info.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(AirplaneState, InitGivesAxesAFullTankAndNothingElse) {
    Physics::AirplaneState s;
    std::memset(static_cast<void*>(&s), 0x5A, sizeof s);
    Physics::AirplaneState& same = Physics::AirplaneState::Init(s);
    EXPECT_EQ(&same, &s);
    // Field by field (padding aside): every command, flag and value 0.
    EXPECT_EQ(s.fuel, 1.0f);
    EXPECT_EQ(s.up.y, 1);
    EXPECT_EQ(s.at.z, 1);
    EXPECT_EQ(s.right.x, 1);
    const float* commands[] = {&s.rollInput,         &s.auxInput,        &s.pitchInput,
                               &s.yawInput,          &s.throttle,        &s.afterburnerCommand,
                               &s.wheelBrakeCommand, &s.gearDownCommand, &s.weaponDoorCommand,
                               &s.gearExtension,     &s.thrustFactor,    &s.throttleLevel,
                               &s.engineSpool,       &s.groundDistance};
    for (const float* c : commands)
        EXPECT_EQ(*c, 0);
    for (uint8_t flag : {s.fireRequest, s.engineRunning, s.engineDestroyed, s.outOfControl, s.crashed, s.held,
                         s.groundValid, s.jammerOn})
        EXPECT_EQ(flag, 0);
    EXPECT_EQ(s.precisePosition[0], 0);
    EXPECT_EQ(s.position.x, 0);
    EXPECT_EQ(s.wheelCompression[2], 0);
}

TEST(PhysicsParams, KeysAndTheirSentinels) {
    Base::Info info;
    ASSERT_EQ(info.LoadText("SimplePhysicsParams\n{\n\tMaxSpeed 300\n\tAgility fast\n}\n"
                            "ComplexPhysicsParams\n{\n\tMass 9000\n\tAMass 1 2 3\n\twingOffset 1 2\n"
                            "\thStabilizerOffset 4 5 6\n\tsideSpringOffset 7 8 9\n}\n"),
              0);
    Physics::PhysicsParams p;
    std::memset(static_cast<void*>(&p), 0x5A, sizeof p);
    Physics::ReadPhysicsParams(info, p);
    EXPECT_EQ(p.simple.maxSpeed, 300);
    EXPECT_EQ(p.simple.agility, -1); // unparsable: the default
    const Physics::ComplexPhysicsParams& c = p.complex;
    EXPECT_EQ(c.mass, 9000);
    EXPECT_EQ(c.aMass.z, 3);
    EXPECT_EQ(c.thrust, -1);
    EXPECT_EQ(c.rudderSurface, -1);
    EXPECT_EQ(c.wingOffset.x, 1.0e9f); // two numbers are no vector
    EXPECT_EQ(c.wingOffset.y, 0);
    EXPECT_EQ(c.hStabilizerOffset.y, 5);
    EXPECT_EQ(c.vStabilizerOffset.z, 1.0e9f);
    EXPECT_EQ(c.frontBottomSpringOffset.x, 1.0e9f);
    EXPECT_EQ(c.sideSpringOffset.z, 9);
    EXPECT_EQ(c.centerWheelRadius, 0);
    EXPECT_EQ(c.tailIncidence, 0);
    EXPECT_EQ(c.sideWheelPosition.x, 0);
}
