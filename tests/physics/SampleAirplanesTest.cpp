// The sample airplanes' descriptions in the built data tree give every key that the flight models read,
// with values that fly: each holds trimmed level flight and takes off.
#include "FlightScenarios.h"

#include <string>

namespace {

const char* const Airplanes[] = {"F16", "Mig29", "Su25", "Su27", "Yak141"};

} // namespace

TEST_F(PhysicsTest, SampleAirplanesGiveEveryFlightKey) {
    for (const char* title : Airplanes) {
        SCOPED_TRACE(title);
        const Physics::PhysicsParams p = SampleParams(title);
        EXPECT_GT(p.simple.maxSpeed, 150); // the simple model's lowest target speed
        EXPECT_GT(p.simple.agility, 0);
        const Physics::ComplexPhysicsParams& c = p.complex;
        EXPECT_GT(c.mass, 0);
        EXPECT_GT(c.aMass.x, 0);
        EXPECT_GT(c.aMass.y, 0);
        EXPECT_GT(c.aMass.z, 0);
        EXPECT_GT(c.thrust * 0.7f, 0.4f * c.mass); // dry thrust to weight
        for (float v : {c.linearDampingFactor, c.quadraticDampingFactor, c.wingSurface, c.hStabilizerSurface,
                        c.vStabilizerSurface, c.aileronSurface, c.elevatorSurface, c.rudderSurface,
                        c.centerWheelRadius, c.sideWheelRadius})
            EXPECT_GT(v, 0);
        for (const RwV3d& v :
             {c.wingOffset, c.hStabilizerOffset, c.vStabilizerOffset, c.frontBottomSpringOffset,
              c.rearBottomSpringOffset, c.frontTopSpringOffset, c.rearTopSpringOffset, c.sideSpringOffset})
            EXPECT_LT(v.x, 1e8f);
        // Stable in pitch: the lift of all horizontal surfaces together acts behind the centre of mass.
        const float wings = 2 * c.wingSurface + 2 * c.aileronSurface;
        const float tail = 2 * c.hStabilizerSurface + 2 * c.elevatorSurface;
        const float neutral = (2 * c.wingSurface * c.wingOffset.z +
                               2 * c.aileronSurface * 1.5f * c.wingOffset.z + tail * c.hStabilizerOffset.z) /
                              (wings + tail);
        EXPECT_LT(neutral, -0.2f);
    }
}

TEST_F(PhysicsTest, SampleAirplanesHoldLevelFlightAndTakeOff) {
    for (const char* title : Airplanes) {
        SCOPED_TRACE(title);
        Scenarios::ExpectTrimmedLevelFlight(SampleParams(title));
        Scenarios::ExpectTakeOff(SampleParams(title));
    }
}
