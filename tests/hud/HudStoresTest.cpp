// The HUD on the sample fighter's real weapon stores (the sample's "AirToGround" set-up: two short-range
// missiles, two bombs, two rocket pods, and its gun), on the fixed clock: the selected weapon chooses the
// mode and its rounds left, the bomb pipper sits on the computed impact point, and a missile's seeker circle
// follows the seeker until it locks, when the lock diamond and the blinking "SHOOT" take over.
#include "HudFixture.h"

#include "weapons/AirplaneGun.h"
#include "weapons/HomingRocket.h"
#include "weapons/Stores.h"

#include <cmath>

namespace {

class HudStores : public HudRig {
protected:
    void SetUp() override {
        ASSERT_TRUE(Weapons::InstallStores());
        ASSERT_TRUE(Weapons::InstallAirplaneGun());
        HudRig::SetUp();
        if (HasFatalFailure())
            return;
        stores = Weapons::Stores::Of(airplane);
        ASSERT_NE(stores, nullptr);
        ASSERT_TRUE(stores->LoadSetup("AirToGround"));
        ASSERT_TRUE(stores->IsGunSelected()) << "a set-up selects the gun";
    }
    void TearDown() override {
        HudRig::TearDown();
        Obj::Airplane::CreateStores = nullptr;
        Obj::Airplane::CreateGun = nullptr;
        Obj::Airplane::RefillGun = nullptr;
    }

    // The rounds-left text, or empty when none is shown.
    std::string RoundsLeft() const {
        for (const Hud::Text& t : hud->texts)
            if (t.position.x == 0.7f && t.position.y == -0.7f)
                return t.text;
        return {};
    }
    // The centre of the first circle of radius 0.05 drawn from angle 0 (its first point is centre + 0.05 x).
    static Base::Vector2 CircleCentre(const std::vector<Gui::Vertex3d>& v, std::size_t first) {
        return {v[first].x - 0.05f, v[first].y};
    }

    Weapons::Stores* stores = nullptr;
};

} // namespace

TEST_F(HudStores, TheSelectedWeaponChoosesTheModeAndItsRoundsLeft) {
    Fly(1000, {0, 0, 200});
    const int32_t gunRounds = stores->GetSelectedCount();
    ASSERT_GT(gunRounds, 0);
    const struct {
        int rack; // -1 the gun, -2 nothing
        Hud::Mode mode;
        std::string rounds;
    } cases[] = {{-1, Hud::Mode::GunSight, "GUN " + std::to_string(gunRounds)},
                 {0, Hud::Mode::AirToAir, "ShortAAM : 2"},
                 {2, Hud::Mode::Bomb, "Bomb : 2"},
                 {4, Hud::Mode::AirToGround, "RocketPod : 38"}, // two pods of 19
                 {-2, Hud::Mode::None, ""}};
    for (const auto& c : cases) {
        if (c.rack == -1) {
            stores->SelectGun();
        } else if (c.rack == -2) {
            stores->SelectRack(Weapons::Stores::NoRack);
        } else {
            stores->SelectRack(uint8_t(c.rack));
        }
        ASSERT_TRUE(Update());
        EXPECT_EQ(hud->modes.mode, c.mode) << c.rounds;
        EXPECT_EQ(RoundsLeft(), c.rounds);
        EXPECT_EQ(hud->modes.lines.LineCount() > 0, c.mode != Hud::Mode::None) << c.rounds;
    }
    // The gun shows twice its rounds, as the stores count them.
    EXPECT_EQ(gunRounds, 2 * int32_t(airplane->gunSetup.rounds));
    // A bomb dropped: one left on the other rack, still the bomb mode.
    Physics::AirplaneState s = airplane->GetState();
    s.weaponDoorCommand = 1;
    s.weaponDoorOpening = 1;
    airplane->SetState(s);
    airplane->weaponDoor.SetProgress(1);
    stores->SelectRack(2);
    ASSERT_TRUE(stores->FireSelected());
    Frame(Step);
    ASSERT_TRUE(Update());
    EXPECT_EQ(hud->modes.mode, Hud::Mode::Bomb);
    EXPECT_EQ(RoundsLeft(), "Bomb : 1");
}

TEST_F(HudStores, BombPipperOnTheComputedImpactPoint) {
    // Level at 200 m/s, 1000 m above the sea: the fall takes sqrt(2000 / 9.81) s and carries the bomb
    // 200 (0.97^t - 1) / ln 0.97 m ahead, worked out here in double precision.
    Fly(1000, {0, 0, 200});
    stores->SelectRack(2);
    ASSERT_TRUE(Update());
    ASSERT_EQ(hud->modes.mode, Hud::Mode::Bomb);
    const RwV3d P = airplane->GetState().position;
    const double t = std::sqrt(2.0 * P.y / 9.81);
    const double d = 200 * (std::pow(0.97, t) - 1) / std::log(0.97);
    const RwV3d impact{P.x, 0, float(P.z + d)};
    const Base::Vector2 expected = hud->Project(impact);
    ASSERT_EQ(hud->modes.lines.LineCount(), 1u + 9u); // the fall line and the pipper
    const Base::Vector2 pipper = CircleCentre(hud->modes.lines.vertices, 2);
    EXPECT_NEAR(pipper.x, expected.x, 1e-3f);
    EXPECT_NEAR(pipper.y, expected.y, 1e-3f);
    EXPECT_LT(pipper.y, hud->flightPathMarker.y) << "below the flight path marker";
}

TEST_F(HudStores, TheSeekerCircleFollowsTheSeekerUntilItLocks) {
    Fly(1000, {0, 0, 200});
    auto* enemy = Loaded(Sample("Mig29"), 1).release();
    ASSERT_TRUE(enemy);
    // 3 km ahead, 5 degrees to the left: inside the seeker's cone, within its range.
    enemy->Place(3000 * std::sin(0.0873f), 3000 * std::cos(0.0873f), 1000, 0, 0);
    world->AddObject(enemy);
    link->radarTarget = enemy;
    stores->SelectRack(0); // the radar's target goes to the missile
    auto* missile = dynamic_cast<Weapons::HomingRocket*>(stores->GetSelectedOrdnance());
    ASSERT_NE(missile, nullptr);
    ASSERT_EQ(missile->GetTarget(), enemy);

    ASSERT_TRUE(Update());
    ASSERT_EQ(hud->modes.mode, Hud::Mode::AirToAir);
    ASSERT_EQ(hud->modes.lines.LineCount(), 9u);
    // Not yet slewed: the circle where the nose points.
    const RwV3d P = airplane->GetState().position, at = airplane->GetState().at;
    const Base::Vector2 nose = hud->Project({P.x + 10000 * at.x, P.y + 10000 * at.y, P.z + 10000 * at.z});
    Base::Vector2 circle = CircleCentre(hud->modes.lines.vertices, 0);
    EXPECT_NEAR(circle.x, nose.x, 0.02f);
    EXPECT_NEAR(circle.y, nose.y, 0.02f);
    const Base::Vector2 target = hud->Project(enemy->GetState().position);
    ASSERT_GT(target.x, nose.x + 0.1f) << "the target lies to the left, +x on the glass";
    float gap = std::hypot(target.x - circle.x, target.y - circle.y);
    int frames = 0, shoot = 0;
    for (; frames < 200 && !missile->IsLocked(); ++frames) {
        Frame(Step);
        ASSERT_TRUE(Update());
        if (missile->IsLocked())
            break;
        ASSERT_EQ(hud->modes.lines.LineCount(), 9u);
        circle = CircleCentre(hud->modes.lines.vertices, 0);
        const float now = std::hypot(target.x - circle.x, target.y - circle.y);
        EXPECT_LT(now, gap + 0.02f) << "the circle closes on the target";
        gap = now;
        EXPECT_EQ(hud->designation.LineCount(), 4u) << "the box alone";
    }
    ASSERT_TRUE(missile->IsLocked()) << "locked within " << frames << " frames";
    // Locked and in range: no circle, the diamond in the box, "SHOOT" blinking.
    for (int i = 0; i < 40; ++i) {
        Frame(Step);
        ASSERT_TRUE(Update());
        ASSERT_TRUE(missile->IsLocked());
        EXPECT_EQ(hud->modes.lines.LineCount(), 0u);
        EXPECT_EQ(hud->designation.LineCount(), 8u);
        shoot += HasText("SHOOT");
    }
    EXPECT_GT(shoot, 0);
    EXPECT_LT(shoot, 40);
    EXPECT_EQ(RoundsLeft(), "ShortAAM : 2");
}

TEST_F(HudStores, AMissileThreatIsLabelledWithItsSeeker) {
    Fly(1500, {0, 0, 100});
    // A short-range missile of another airplane, listed as incoming: its infrared seeker gives "I".
    auto* enemy = Loaded(Sample("Mig29"), 1).release();
    ASSERT_TRUE(enemy);
    enemy->Place(0, 5000, 1500, 180, 0);
    world->AddObject(enemy);
    Weapons::Stores* theirs = Weapons::Stores::Of(enemy);
    ASSERT_NE(theirs, nullptr);
    ASSERT_TRUE(theirs->LoadSetup("AirToAir"));
    auto* missile = dynamic_cast<Weapons::HomingRocket*>(theirs->GetOrdnance(0));
    ASSERT_NE(missile, nullptr);
    ASSERT_EQ(missile->guidance, Weapons::GuidanceInfrared);
    link->threats = {{2, missile, 0}};
    int labelled = 0;
    for (int i = 0; i < 20; ++i) { // the blink shows the line and its label together
        Frame(Step);
        ASSERT_TRUE(Update());
        const bool visible = hud->warnings.vertices.at(0).colour.alpha == 255;
        EXPECT_EQ(HasText("I"), visible);
        labelled += visible;
    }
    EXPECT_GT(labelled, 0);
}
