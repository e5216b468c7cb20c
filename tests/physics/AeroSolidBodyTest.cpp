// Airfoils, springs and wheels of the aerodynamic body: table lookups, lift and drag against q S C, span-wise
// flow, a body settling on its wheels, grip and slide, and springs that let go of the ground.
#include "PhysicsFixture.h"

#include "physics/AeroSolidBody.h"

#include "base/Maths.h"
#include "tools/airfoil/AirfoilTable.h"

#include <filesystem>

using Physics::AeroSolidBody;
using Physics::GroundRecord;

namespace {

constexpr float Degree = float(Base::Pi / 180.0);

GroundRecord Level(float height, float roughness = 0) {
    GroundRecord ground;
    ground.valid = true;
    ground.normal = {0, 1, 0};
    ground.distance = height;
    ground.roughness = roughness;
    return ground;
}

void Place(Rw::Frame& frame, const RwV3d& position) {
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    m.pos = position;
    RwMatrixUpdate(&m);
    frame.Transform(&m, rwCOMBINEREPLACE);
}

// A 1000 kg body with one airfoil of 2 m^2 at its centre.
struct WingRig {
    AeroSolidBody body;
    AeroSolidBody::Airfoil* wing;
    WingRig() {
        body.mass = 1000;
        wing = new AeroSolidBody::Airfoil(2.0f, 1, 1, 1);
        body.AddAirfoil(wing);
    }
};

} // namespace

TEST_F(PhysicsTest, AirfoilTableLookupWrapsAndInterpolates) {
    float table[AeroSolidBody::TableSize];
    for (int i = 0; i < AeroSolidBody::TableSize; ++i)
        table[i] = float(i);
    struct Case {
        float degrees;
        float expected;
    } cases[] = {
        // -0.5 degrees lies halfway between index 359 and index 0.
        {0, 0},    {10, 10},        {10.25f, 10.25f}, {179, 179}, {180, 180},  {-180, 180}, {-179.5f, 180.5f},
        {-1, 359}, {-0.5f, 179.5f}, {-90, 270},       {400, 180}, {-400, 180},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(AeroSolidBody::Airfoil::Lookup(table, c.degrees * Degree), c.expected, 2e-3f)
            << c.degrees;
}

TEST_F(PhysicsTest, AirfoilReadsTheGeneratedTablesInIndexOrder) {
    AeroSolidBody::Airfoil airfoil(1, 1, 2, 1);
    for (int i = 0; i < AeroSolidBody::TableSize; i += 7) {
        const double degrees = Airfoil::IndexDegrees(i);
        EXPECT_NEAR(airfoil.liftTable[i], Airfoil::Lift(degrees), 1e-6) << i;
        EXPECT_NEAR(airfoil.dragTable[i], 2 * Airfoil::Drag(degrees), 2e-6) << i;
        EXPECT_NEAR(airfoil.momentTable[i], Airfoil::Moment(degrees), 1e-6) << i;
    }
    // The sample table: linear to the stall, its largest lift there, symmetric.
    EXPECT_NEAR(airfoil.liftTable[5], 0.45f, 1e-6f);
    EXPECT_NEAR(airfoil.liftTable[14], 1.26f, 1e-6f);
    for (int i = 0; i < AeroSolidBody::TableSize; ++i) {
        EXPECT_LE(airfoil.liftTable[i], airfoil.liftTable[14]);
        EXPECT_FLOAT_EQ(airfoil.liftTable[i], -airfoil.liftTable[(360 - i) % 360]);
        EXPECT_FLOAT_EQ(airfoil.dragTable[i], airfoil.dragTable[(360 - i) % 360]);
    }
}

TEST_F(PhysicsTest, MissingOrShortAirfoilFileGivesZeros) {
    const auto dir = std::filesystem::temp_directory_path() / ("airfoil-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "Data");
    std::filesystem::current_path(dir);
    {
        AeroSolidBody::Airfoil none(1, 1, 1, 1);
        EXPECT_EQ(none.liftTable[10], 0);
        EXPECT_EQ(none.momentTable[359], 0);
    }
    {
        std::FILE* f = std::fopen("Data/Airfoil.dat", "w");
        std::fputs("0.5 0.25 x 7", f);
        std::fclose(f);
        AeroSolidBody::Airfoil shortFile(1, 2, 1, 1);
        EXPECT_EQ(shortFile.liftTable[0], 1.0f);
        EXPECT_EQ(shortFile.liftTable[1], 0.5f);
        EXPECT_EQ(shortFile.liftTable[2], 0);
        EXPECT_EQ(shortFile.liftTable[3], 0);
        EXPECT_EQ(shortFile.dragTable[0], 0);
    }
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(dir);
}

// Air meeting the wing at alpha from below: lift q S CL across the air, drag q S CD along it, the moment
// about the span.
TEST_F(PhysicsTest, AirfoilLiftIsQSClAtEveryAngle) {
    const float speed = 100, rho = 1.0f;
    for (float degrees : {0.0f, 3.0f, 8.5f, 14.0f, 20.0f, -6.0f, 45.0f, 170.0f}) {
        WingRig rig;
        const float alpha = degrees * Degree;
        rig.body.velocity = {0, -speed * std::sin(alpha), speed * std::cos(alpha)};
        RwV3d force, torque;
        ASSERT_TRUE(rig.wing->ComputeForce({0, 0, 0}, rho, &force, &torque));
        const float q = 0.5f * rho * speed * speed * 2.0f;
        const RwV3d n = {0, std::sin(alpha), -std::cos(alpha)}; // the air's direction
        const RwV3d across = {0, std::cos(alpha), std::sin(alpha)};
        const double d = double(degrees);
        EXPECT_NEAR(Base::DotProduct(force, across), q * Airfoil::Lift(d), 2e-3 * q) << degrees;
        EXPECT_NEAR(Base::DotProduct(force, n), q * Airfoil::Drag(d), 2e-3 * q) << degrees;
        EXPECT_NEAR(torque.x, -q * Airfoil::Moment(d), 2e-3 * q) << degrees;
    }
}

TEST_F(PhysicsTest, AirAlongTheChordLiftsAlongUp) {
    WingRig rig;
    std::fill(std::begin(rig.wing->liftTable), std::end(rig.wing->liftTable), 1.0f);
    std::fill(std::begin(rig.wing->dragTable), std::end(rig.wing->dragTable), 0.0f);
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    const RwV3d axis = {0, 0, 1};
    RwMatrixRotate(&m, &axis, 30, rwCOMBINEREPLACE); // a banked body
    rig.body.Transform(&m, rwCOMBINEREPLACE);
    rig.body.velocity = {0, 0, 50};
    RwV3d force;
    ASSERT_TRUE(rig.wing->ComputeForce({0, 0, 0}, 1, &force, nullptr));
    const RwMatrix& w = *RwFrameGetWorldMatrix(rig.wing->frame);
    const float q = 0.5f * 50 * 50 * 2;
    EXPECT_NEAR(force.x, q * w.up.x, 1e-2f);
    EXPECT_NEAR(force.y, q * w.up.y, 1e-2f);
    EXPECT_NEAR(force.z, 0, 1e-2f);
}

// A sideslip beta: the span-wise part is not in V, and the lift direction shrinks to cos beta.
TEST_F(PhysicsTest, SpanwiseFlowReducesTheLift) {
    const float speed = 100, alpha = 6 * Degree;
    for (float beta : {0.0f, 20.0f, 45.0f, 70.0f}) {
        WingRig rig;
        const float b = beta * Degree;
        const RwV3d chordwise = {0, -std::sin(alpha), std::cos(alpha)};
        rig.body.velocity = {speed * std::sin(b), chordwise.y * speed * std::cos(b),
                             chordwise.z * speed * std::cos(b)};
        RwV3d force;
        ASSERT_TRUE(rig.wing->ComputeForce({0, 0, 0}, 1, &force, nullptr));
        const float v = speed * std::cos(b);
        const float lift = 0.5f * v * v * 2.0f * float(Airfoil::Lift(6.0)) * std::cos(b);
        const float drag = 0.5f * v * v * 2.0f * float(Airfoil::Drag(6.0));
        EXPECT_NEAR(float(Base::VectorLength(force)), std::sqrt(lift * lift + drag * drag), 2e-3f * lift)
            << beta;
    }
}

TEST_F(PhysicsTest, AnAirfoilWithoutSurfaceOrInactiveGivesNothing) {
    WingRig rig;
    rig.body.velocity = {0, -5, 100};
    rig.wing->surface = 0;
    EXPECT_FALSE(rig.wing->ComputeForce({0, 0, 0}, 1, nullptr, nullptr));
    rig.wing->surface = 1;
    rig.wing->active = 0;
    EXPECT_FALSE(rig.wing->ComputeForce({0, 0, 0}, 1, nullptr, nullptr));
}

TEST_F(PhysicsTest, SegmentPlaneTest) {
    struct Case {
        RwV3d p0, p1;
        bool hit;
        RwV3d at;
    } cases[] = {
        {{0, 10, 0}, {0, -10, 0}, true, {0, 5, 0}},
        {{0, 10, 0}, {0, 5, 0}, true, {0, 5, 0}}, // the end counts
        {{0, 10, 0}, {0, 6, 0}, false, {}},
        {{0, 4, 0}, {0, -10, 0}, false, {}},
        {{0, 10, 0}, {4, 10, 0}, false, {}}, // parallel
        {{2, 7, 0}, {2, 3, 8}, true, {2, 5, 4}},
    };
    for (const Case& c : cases) {
        RwV3d hit = {-1, -1, -1};
        EXPECT_EQ(Physics::IntersectSegmentPlane(c.p0, c.p1, {0, 1, 0}, 5, &hit), c.hit);
        if (c.hit) {
            EXPECT_FLOAT_EQ(hit.x, c.at.x);
            EXPECT_FLOAT_EQ(hit.y, c.at.y);
            EXPECT_FLOAT_EQ(hit.z, c.at.z);
        }
    }
}

TEST_F(PhysicsTest, SurfaceBumpAtTheOriginLowersTerrainBySevenCentimetres) {
    EXPECT_FLOAT_EQ(AeroSolidBody::Wheel::Bump(0, 0), -3.5f);
    EXPECT_NEAR(AeroSolidBody::Wheel::Bump(0, 0) * 0.2f * 0.1f, -0.07f, 1e-6f);
    for (double x : {0.3, 7.0, 123.4, 999.9})
        EXPECT_LE(std::fabs(AeroSolidBody::Wheel::Bump(x, 2 * x)), 3.5f);
}

namespace {

// A 1000 kg body on three wheels at 1.0 m below its centre, like the complex model's gear.
struct GearRig {
    AeroSolidBody body;
    AeroSolidBody::Wheel* wheels[3];
    GearRig(float height) {
        body.mass = 1000;
        body.inertia = {2000, 2500, 1000};
        const RwV3d at[3] = {{0, -1, 3}, {1.5f, -1, -1}, {-1.5f, -1, -1}};
        for (int i = 0; i < 3; ++i) {
            auto* w = new AeroSolidBody::Wheel;
            w->stiffness = (i == 0 ? 35 : 30) * body.mass;
            w->damping = body.mass;
            w->travel = 1;
            w->radius = 0.4f;
            Place(*w, at[i]);
            body.AddWheel(w);
            wheels[i] = w;
        }
        Place(body, {0, height, 0});
    }
    float Load() const {
        float sum = 0;
        for (auto* w : wheels)
            sum += std::min(1.0f, -w->compression / w->travel) * w->stiffness;
        return sum;
    }
};

} // namespace

TEST_F(PhysicsTest, ABodyOnThreeWheelsSettlesWhereTheSpringsCarryItsWeight) {
    GearRig rig(101.5f);
    for (int i = 0; i < 1000; ++i)
        rig.body.Step(0.01f, -9.81f, {0, 0, 0}, Level(100));
    EXPECT_NEAR(rig.Load(), 9810, 0.01 * 9810);
    EXPECT_LT(Base::VectorLength(rig.body.velocity), 1e-3);
    EXPECT_LT(Base::VectorLength(rig.body.angularVelocity), 1e-3);
    // Moment balance about the main wheels: the nose carries 1/4 of the weight.
    const float nose = std::min(1.0f, -rig.wheels[0]->compression) * rig.wheels[0]->stiffness;
    EXPECT_NEAR(nose, 9810 / 4.0f, 0.03f * 9810);
    for (auto* w : rig.wheels)
        EXPECT_LT(w->compression, 0);
}

TEST_F(PhysicsTest, AWheelGripsThenSlidesAndASlidingWheelStopsRolling) {
    GearRig rig(101.5f);
    for (int i = 0; i < 1000; ++i)
        rig.body.Step(0.01f, -9.81f, {0, 0, 0}, Level(100));
    AeroSolidBody::Wheel& w = *rig.wheels[1];
    const float fs = std::min(1.0f, -w.compression / w.travel) * w.stiffness;

    // Rolling forwards at 10 m/s with a slight drift: grips, rolls at v / r.
    rig.body.velocity = {0.1f, 0, 10};
    RwV3d force;
    ASSERT_TRUE(w.ComputeForce(0.01f, Level(100), &force, nullptr));
    EXPECT_NEAR(w.rollRate, 10 / 0.4f, 0.01f);
    EXPECT_LT(force.x, 0); // the side force holds against the drift
    EXPECT_LT(force.z, 0); // rolling resistance

    // Sideways at 5 m/s: sqrt(P^2 + Q^2) exceeds half the load: it slides.
    rig.body.velocity = {5, 0, 10};
    ASSERT_TRUE(w.ComputeForce(0.01f, Level(100), &force, nullptr));
    EXPECT_EQ(w.rollRate, 0);
    EXPECT_NEAR(force.x, -0.25f * fs * 5, 0.01f * fs);
    EXPECT_NEAR(force.z, -0.25f * fs * 10, 0.01f * fs);
    const float angle = w.rollAngle;
    ASSERT_TRUE(w.ComputeForce(0.01f, Level(100), &force, nullptr));
    EXPECT_EQ(w.rollAngle, angle);

    // Full brake at walking pace: the brake's grip exceeds half the load: slides too.
    rig.body.velocity = {0, 0, 1};
    w.brake = 1;
    ASSERT_TRUE(w.ComputeForce(0.01f, Level(100), &force, nullptr));
    EXPECT_EQ(w.rollRate, 0);
}

TEST_F(PhysicsTest, AWheelWhoseTopIsUnderTheSurfaceGivesNoForce) {
    GearRig rig(101.5f);
    // Wheel centre at y 100.5 - 1 = 99.5; its top at 99.5 + 0.6 = 100.1 (just above) and then below.
    Place(rig.body, {0, 100.4f, 0});
    EXPECT_TRUE(rig.wheels[0]->ComputeForce(0.01f, Level(100), nullptr, nullptr));
    Place(rig.body, {0, 100.3f, 0});
    EXPECT_FALSE(rig.wheels[0]->ComputeForce(0.01f, Level(100), nullptr, nullptr));
    EXPECT_EQ(rig.wheels[0]->compression, 0);
    // Without a valid ground record a wheel never touches, whatever the height.
    Place(rig.body, {0, 100.9f, 0});
    GroundRecord none = Level(100);
    none.valid = false;
    EXPECT_FALSE(rig.wheels[0]->ComputeForce(0.01f, none, nullptr, nullptr));
    EXPECT_EQ(rig.wheels[0]->compression, 0);
}

TEST_F(PhysicsTest, ASpringThatLeavesTheGroundReportsNoCompression) {
    AeroSolidBody body;
    body.mass = 1000;
    auto* spring = new AeroSolidBody::Spring;
    spring->stiffness = 50 * body.mass;
    spring->damping = 2 * body.mass;
    spring->travel = 0.5f;
    Place(*spring, {0, -1, 0});
    body.AddSpring(spring);

    Place(body, {0, 100.8f, 0}); // the spring point 0.2 m into the ground
    RwV3d force;
    ASSERT_TRUE(spring->ComputeForce(0.01f, Level(100), &force, nullptr));
    EXPECT_NEAR(spring->compression, -0.2f, 1e-4f);
    EXPECT_NEAR(force.y, 0.4f * spring->stiffness, 1.0f);

    Place(body, {0, 105, 0}); // lifted off
    EXPECT_FALSE(spring->ComputeForce(0.01f, Level(100), &force, nullptr));
    EXPECT_EQ(spring->compression, 0);

    Place(body, {0, 100.8f, 0});
    ASSERT_TRUE(spring->ComputeForce(0.01f, Level(100), &force, nullptr));
    GroundRecord none = Level(100);
    none.valid = false;
    EXPECT_FALSE(spring->ComputeForce(0.01f, none, &force, nullptr));
    EXPECT_EQ(spring->compression, 0);
}
