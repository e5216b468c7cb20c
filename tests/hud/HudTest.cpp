// The HUD's symbology built for a frame: the tapes, the flight path marker, the threat warnings, the target
// designation and the weapon modes, checked in HUD coordinates and texts.
#include "HudFixture.h"

#include <cmath>

namespace {

// The tape marks of a line buffer: the lines that start on the tape's line at x, by their value.
struct Mark {
    float value;
    bool major;
};
// Marks run outwards from the tape's line (towards the glass edge), the pointer inwards.
std::vector<Mark> TapeMarks(const Hud::LineBuffer& buffer, float x, float lo, float window, float minor,
                            float major) {
    std::vector<Mark> marks;
    for (std::size_t i = 0; i + 1 < buffer.vertices.size(); i += 2) {
        const Gui::Vertex3d &a = buffer.vertices[i], &b = buffer.vertices[i + 1];
        if (std::fabs(a.x - x) > 1e-6f || std::fabs(a.y - b.y) > 1e-6f || (b.x - a.x) * x < 0)
            continue;
        const float length = std::fabs(b.x - a.x);
        const bool isMajor = std::fabs(length - major) < 1e-4f;
        EXPECT_TRUE(isMajor || std::fabs(length - minor) < 1e-4f) << length;
        marks.push_back({std::round((a.y + 0.4f) / 0.8f * window + lo), isMajor});
    }
    return marks;
}

std::vector<float> Values(const std::vector<Mark>& marks, bool majorOnly = false) {
    std::vector<float> out;
    for (const Mark& m : marks)
        if (!majorOnly || m.major)
            out.push_back(m.value);
    return out;
}

std::vector<float> Range(float from, float to, float step) {
    std::vector<float> out;
    for (float v = from; v <= to; v += step)
        out.push_back(v);
    return out;
}

} // namespace

TEST_F(HudRig, DrawsOnlyForItsAirplanesCockpitCamera) {
    EXPECT_TRUE(Update());
    auto* other = Add(std::make_unique<Cameras::Outside>());
    other->target = airplane;
    EXPECT_FALSE(hud->Update(other));
    EXPECT_TRUE(hud->texts.empty());
    camera->target = nullptr;
    EXPECT_FALSE(Update());
    // A HUD without glass stays inert.
    auto* inert = new Hud::Hud(airplane, airplane, nullptr);
    camera->target = airplane;
    EXPECT_FALSE(inert->Update(camera));
}

TEST_F(HudRig, AirspeedTapeAtRestAndAt305Kmh) {
    const struct {
        float kmh;
        std::vector<float> marks, majors;
        std::set<std::string> labels;
    } cases[] = {{0, Range(0, 140, 20), {0, 100}, {"0", "10"}},
                 {305, Range(160, 440, 20), {200, 300, 400}, {"20", "30", "40"}}};
    for (const auto& c : cases) {
        Fly(1500, {0, 0, c.kmh / 3.6f});
        ASSERT_TRUE(Update());
        const auto marks = TapeMarks(hud->common.airspeed, 0.7f, c.kmh - 150, 300, 0.05f, 0.1f);
        EXPECT_EQ(Values(marks), c.marks) << c.kmh;
        EXPECT_EQ(Values(marks, true), c.majors) << c.kmh;
        std::set<std::string> labels;
        for (const Hud::Text& t : hud->texts)
            if (std::fabs(t.position.x - 0.81f) < 1e-6f)
                labels.insert(t.text);
        EXPECT_EQ(labels, c.labels) << c.kmh;
        EXPECT_TRUE(HasText(c.kmh == 0 ? "0" : "305"));
    }
}

TEST_F(HudRig, AltitudeTapeSwitchesModesWithHysteresis) {
    // Climbing from 450 m it stays above ground until over 500; descending it returns below 400.
    const struct {
        float height;
        bool seaLevel;
    } steps[] = {{450, false}, {499, false}, {501, true}, {450, true},
                 {401, true},  {399, false}, {450, false}};
    for (const auto& s : steps) {
        Fly(s.height, {0, 0, 100});
        ASSERT_TRUE(Update());
        EXPECT_EQ(hud->common.aboveSeaLevel, s.seaLevel) << s.height;
        EXPECT_TRUE(HasText(s.seaLevel ? "MSL" : "AGL")) << s.height;
    }
    // Above ground: 10 m marks over a 100 m window, labels in metres every 50.
    Fly(450, {0, 0, 100});
    Update();
    const auto marks = TapeMarks(hud->common.altitude, -0.7f, 400, 100, 0.05f, 0.1f);
    EXPECT_EQ(Values(marks), Range(400, 490, 10));
    EXPECT_EQ(Values(marks, true), (std::vector<float>{400, 450}));
    EXPECT_TRUE(HasText("400") && HasText("450"));
}

TEST_F(HudRig, HeadingTapeAt359) {
    Fly(1500, 359, {0, 0, 100});
    ASSERT_TRUE(Update());
    ASSERT_NEAR(Base::HeadingDegrees2d({airplane->GetState().at.x, airplane->GetState().at.z}), 359, 0.01);
    std::vector<float> marks;
    std::set<std::string> labels;
    const float h = Base::HeadingDegrees2d({airplane->GetState().at.x, airplane->GetState().at.z});
    for (std::size_t i = 0; i + 1 < hud->common.heading.vertices.size(); i += 2) {
        const Gui::Vertex3d& a = hud->common.heading.vertices[i];
        if (std::fabs(a.y - 0.7f) < 1e-6f && a.x != 0)
            marks.push_back(std::round((0.3f - a.x) / 0.6f * 60 + h - 30));
    }
    EXPECT_EQ(marks, Range(330, 385, 5));
    for (const Hud::Text& t : hud->texts)
        if (std::fabs(t.position.y - 0.57f) < 1e-6f)
            labels.insert(t.text);
    EXPECT_EQ(labels, (std::set<std::string>{"33", "34", "35", "0", "1", "2"}));
    const Hud::Text* zero = FindText("0");
    ASSERT_TRUE(zero);
    EXPECT_NEAR(zero->position.x, 0.3f - (360 - (h - 30)) / 60 * 0.6f, 1e-4f);
}

TEST_F(HudRig, FlightPathMarkerFollowsTheVelocity) {
    // Straight ahead the marker sits where the nose points (5 degrees below the raised view).
    Fly(1500, {0, 0, 200});
    ASSERT_TRUE(Update());
    const Base::Vector2 ahead = hud->flightPathMarker;
    EXPECT_NEAR(ahead.x, 0, 1e-3f);
    EXPECT_EQ(hud->common.fpm.LineCount(), 8u + 3u);
    // Sliding left (+x) moves it left on the glass; a steep sink takes it off the glass and draws nothing.
    Fly(1500, {20, 0, 200});
    Update();
    EXPECT_GT(hud->flightPathMarker.x, ahead.x + 0.05f);
    Fly(1500, {0, -200, 100});
    Update();
    EXPECT_LT(hud->flightPathMarker.y, -1);
    EXPECT_EQ(hud->common.fpm.LineCount(), 0u);
}

TEST_F(HudRig, BombImpactFromLevelFlight) {
    // 100 m/s level, 1000 m above flat ground: about 14.28 s and 1158 m ahead.
    const Hud::BombImpact impact = Hud::ComputeBombImpact({0, 1000, 0}, {0, 0, 100}, 0);
    const double t = std::sqrt(2000.0 / 9.81);
    EXPECT_NEAR(impact.time, 14.28, 0.01);
    EXPECT_NEAR(impact.time, t, 1e-4);
    EXPECT_NEAR(impact.point.z, 100 * (std::pow(0.97, t) - 1) / std::log(0.97), 0.05);
    EXPECT_NEAR(impact.point.z, 1158, 1);
    EXPECT_EQ(impact.point.x, 0);
    EXPECT_EQ(impact.point.y, 0);
    // Over ground 400 m up the fall is shorter and lands at that height.
    const Hud::BombImpact high = Hud::ComputeBombImpact({0, 1000, 0}, {0, 0, 100}, 400);
    EXPECT_NEAR(high.time, std::sqrt(1200.0 / 9.81), 1e-4);
    EXPECT_EQ(high.point.y, 400);
}

TEST(HudModes, ChosenFromTheSelectedWeapon) {
    const auto with = [](bool gun, bool ordnance, bool airToAir, int kind) {
        Hud::Selection s;
        s.gun = gun;
        s.ordnance = ordnance;
        s.airToAir = airToAir;
        s.kind = kind;
        return s;
    };
    const struct {
        Hud::Selection selection;
        Hud::Mode mode;
    } cases[] = {{with(true, true, true, 0), Hud::Mode::GunSight},
                 {with(false, false, false, 1), Hud::Mode::None},
                 {with(false, true, true, 0), Hud::Mode::AirToAir},
                 {with(false, true, true, 1), Hud::Mode::AirToAir},
                 {with(false, true, false, 1), Hud::Mode::Bomb},
                 {with(false, true, false, 0), Hud::Mode::AirToGround},
                 {with(false, true, false, 3), Hud::Mode::AirToGround}};
    for (const auto& c : cases)
        EXPECT_EQ(Hud::ChooseMode(c.selection), c.mode);
}

TEST_F(HudRig, WeaponModesDrawTheirSymbolsAndRoundsLeft) {
    Fly(1000, {0, 0, 200}); // the bomb's impact within 37 degrees of the nose
    Hud::Selection gun;
    gun.gun = true;
    gun.gunPosition = airplane->GetState().position;
    gun.gunAxis = airplane->GetState().at;
    gun.muzzleSpeed = 1000;
    gun.count = 250;
    Hud::Selection rockets;
    rockets.ordnance = true;
    rockets.kind = 3;
    rockets.name = "S-8";
    rockets.count = 40;
    Hud::Selection bombs = rockets;
    bombs.kind = 1;
    bombs.name = "Mk-82";
    bombs.count = 4;
    Hud::Selection missile = rockets;
    missile.airToAir = true;
    missile.kind = 0;
    missile.name = "AIM-9";
    missile.count = 2;
    missile.seeker = true;
    const struct {
        Hud::Selection selection;
        Hud::Mode mode;
        std::string rounds;
        std::size_t lines;
    } cases[] = {{gun, Hud::Mode::GunSight, "GUN 250", 15 + 1},        // the fixed sight and its dot
                 {rockets, Hud::Mode::AirToGround, "S-8 : 40", 4 + 1}, // four ticks and the dot
                 {bombs, Hud::Mode::Bomb, "Mk-82 : 4", 1 + 9},         // the fall line and the pipper
                 {missile, Hud::Mode::AirToAir, "AIM-9 : 2", 9}};      // the seeker circle
    for (const auto& c : cases) {
        hud->readSelection = [&c](Obj::Airplane*) { return c.selection; };
        ASSERT_TRUE(Update());
        EXPECT_EQ(hud->modes.mode, c.mode);
        const Hud::Text* text = FindText(c.rounds);
        ASSERT_TRUE(text) << c.rounds;
        EXPECT_FLOAT_EQ(text->position.x, 0.7f);
        EXPECT_FLOAT_EQ(text->position.y, -0.7f);
        EXPECT_EQ(hud->modes.lines.LineCount(), c.lines) << c.rounds;
    }
    // The bomb's pipper lies below the flight path marker, the fall line between them.
    hud->readSelection = [&bombs](Obj::Airplane*) { return bombs; };
    Update();
    const Gui::Vertex3d& from = hud->modes.lines.vertices[0];
    EXPECT_NEAR(from.x, hud->flightPathMarker.x, 1e-4f);
    EXPECT_LT(from.y, hud->flightPathMarker.y);
    // Nose far from the computed points: no symbol, the rounds still shown.
    Hud::Selection sideways = gun;
    sideways.gunAxis = {1, 0, 0}; // the bullets' one-second point 84 degrees off the nose
    const struct {
        Hud::Selection selection;
        RwV3d velocity;
    } away[] = {{sideways, {0, 0, 100}},
                {rockets, {0, 0, -3000}}, // flying backwards faster than the rockets leave
                {bombs, {0, 0, 0}}};      // hovering: the bomb falls straight down
    for (const auto& c : away) {
        hud->readSelection = [&c](Obj::Airplane*) { return c.selection; };
        Fly(1000, c.velocity);
        ASSERT_TRUE(Update());
        EXPECT_EQ(hud->modes.lines.LineCount(), 0u) << c.selection.name;
        EXPECT_TRUE(FindText(c.selection.gun ? "GUN 250"
                                             : c.selection.name + " : " + std::to_string(c.selection.count)));
    }
}

TEST_F(HudRig, GunSightLeadsARadarTargetOrFallsBackToTheFixedPoint) {
    Fly(1000, {0, 0, 100});
    auto* enemy = Loaded(Sample("Mig29"), 1).release();
    ASSERT_TRUE(enemy);
    enemy->Place(0, 600, 1001, 0, 0);
    world->AddObject(enemy);
    Frame(Step);
    link->radarTarget = enemy;
    Hud::Selection gun;
    gun.gun = true;
    gun.gunPosition = airplane->GetState().position;
    gun.gunAxis = airplane->GetState().at;
    gun.muzzleSpeed = 1000;
    gun.count = 10;
    hud->readSelection = [&gun](Obj::Airplane*) { return gun; };
    const auto sightCentre = [this] {
        // The dot: the last line of the shape.
        const auto& v = hud->modes.lines.vertices;
        return Base::Vector2{(v[v.size() - 2].x + v.back().x) / 2, v.back().y};
    };
    // A target standing ahead: the lead sight (12 ticks), close to the target and on the gun line.
    Physics::AirplaneState s = enemy->GetState();
    s.velocity = {0, 0, 0};
    enemy->SetState(s);
    ASSERT_TRUE(Update());
    EXPECT_EQ(hud->modes.lines.LineCount(), 12u + 1u);
    const Base::Vector2 still = sightCentre();
    // Crossing to the left (+x) at 100 m/s: the sight moves back against the crossing (the target flies
    // into it), to the right of the standing solution.
    s.velocity = {100, 0, 0};
    enemy->SetState(s);
    Update();
    EXPECT_LT(sightCentre().x, still.x - 0.01f);
    // As fast as the bullets, running away: no solution, the lead sight at the fixed one-second point.
    s.velocity = {0, 0, 1100};
    enemy->SetState(s);
    Update();
    EXPECT_EQ(hud->modes.lines.LineCount(), 12u + 1u);
    link->radarTarget = nullptr;
    Update();
    const Base::Vector2 fixed = sightCentre();
    link->radarTarget = enemy;
    Update();
    EXPECT_NEAR(sightCentre().x, fixed.x, 1e-5f);
    EXPECT_NEAR(sightCentre().y, fixed.y, 1e-5f);
}

TEST_F(HudRig, TargetDesignationBoxArrowAndLockedShoot) {
    Fly(1000, {0, 0, 100});
    auto* enemy = Loaded(Sample("Mig29"), 1).release();
    ASSERT_TRUE(enemy);
    enemy->Place(0, 3000, 1000, 0, 0);
    enemy->name = "Bandit";
    world->AddObject(enemy);
    Frame(Step);
    link->radarTarget = enemy;
    link->range = 3000;
    link->rangeRate = -100; // closing at 360 km/h
    Hud::Selection missile;
    missile.ordnance = true;
    missile.airToAir = true;
    missile.kind = 0;
    missile.name = "AIM-9";
    missile.count = 2;
    missile.seeker = true;
    missile.locked = true;
    missile.inRange = true;
    hud->readSelection = [&missile](Obj::Airplane*) { return missile; };
    // In view: the box and the diamond (4 lines each) and both "SHOOT" texts, blinking together.
    bool seenShoot = false;
    for (int i = 0; i < 40; ++i) {
        Frame(Step);
        ASSERT_TRUE(Update());
        EXPECT_EQ(hud->designation.LineCount(), 8u);
        int shoot = 0;
        for (const Hud::Text& t : hud->texts)
            shoot += t.text == "SHOOT";
        EXPECT_TRUE(shoot == 0 || shoot == 2) << shoot;
        EXPECT_EQ(shoot == 2, std::fmod(Base::FrameClock::GameTime, 0.5) < 0.3);
        seenShoot = seenShoot || shoot == 2;
    }
    EXPECT_TRUE(seenShoot);
    EXPECT_TRUE(HasText("Bandit"));
    EXPECT_TRUE(HasText("rV: 360 km/h"));
    EXPECT_TRUE(HasText("D: 3.0 km"));
    // A locked seeker draws no seeker circle.
    EXPECT_EQ(hud->modes.lines.LineCount(), 0u);
    // Behind the airplane: the edge arrow (3 lines), even straight behind where the projection falls
    // inside the glass.
    enemy->Place(0, -3000, 1000, 0, 0);
    Frame(Step);
    Update();
    EXPECT_EQ(hud->designation.LineCount(), 3u);
    const Gui::Vertex3d& tip = hud->designation.vertices[0];
    EXPECT_NEAR(std::max(std::fabs(tip.x), std::fabs(tip.y)), 0.9f, 1e-4f);
}

TEST_F(HudRig, ThreatLinesAndTheWarningOfTheLastListedThreat) {
    Fly(1500, {0, 0, 100});
    auto* ahead = new Marker;
    ahead->MoveTo({0, 1500, 5000});
    auto* right = new Marker; // heading 90 is -x: the pilot's right
    right->MoveTo({-5000, 1500, 0});
    world->AddObject(ahead);
    world->AddObject(right);
    const struct {
        std::vector<Obj::CockpitLink::Threat> threats;
        int warning;
        std::size_t lines;
        bool missileText;
    } cases[] = {{{{0, ahead, 0}}, 0, 0, false},
                 {{{1, ahead, 0}}, 1, 1, false},
                 {{{2, ahead, 0}, {1, right, 0}}, 1, 2, true},
                 {{{1, right, 0}, {2, ahead, 0}, {0, right, 0}}, 2, 2, true},
                 {{{2, nullptr, 0}}, 0, 0, false}};
    for (const auto& c : cases) {
        link->threats = c.threats;
        bool missileText = false;
        for (int i = 0; i < 32; ++i) { // half a second: every blink phase
            Frame(Step);
            ASSERT_TRUE(Update());
            EXPECT_EQ(hud->warningPlaying, c.warning);
            EXPECT_EQ(hud->warnings.LineCount(), c.lines);
            missileText = missileText || HasText("MISSILE");
        }
        EXPECT_EQ(missileText, c.missileText);
    }
    // Straight ahead is at the top, the right side on the glass's -x.
    link->threats = {{1, ahead, 0}, {1, right, 0}};
    Update();
    const auto& v = hud->warnings.vertices;
    EXPECT_NEAR(v[0].x, 0, 1e-3f);
    EXPECT_NEAR(v[0].y, 0.5f, 1e-3f);
    EXPECT_NEAR(v[1].y, 0.85f, 1e-3f);
    EXPECT_NEAR(v[2].x, -0.5f, 1e-3f);
    EXPECT_NEAR(v[2].y, 0, 1e-3f);
}

TEST_F(HudRig, NavpointBearingAndText) {
    Fly(1500, {0, 0, 100});
    Update();
    const std::size_t without = hud->common.heading.LineCount();
    const struct {
        RwV3d navpoint;
        float tipX, tipY;
    } cases[] = {{{0, 0, 8000}, 0, 0.7f},       // dead ahead: on the tape
                 {{-8000, 0, 0}, -0.37f, 0.7f}, // to the right (bearing 90): the end of the tape on -x
                 {{8000, 0, 0}, 0.37f, 0.7f}};  // to the left
    for (const auto& c : cases) {
        link->navpointName = "Home";
        link->navpoint = c.navpoint;
        Update();
        ASSERT_EQ(hud->common.heading.LineCount(), without + 3);
        const Gui::Vertex3d& tip = hud->common.heading.vertices[2 * without];
        EXPECT_NEAR(tip.x, c.tipX, 1e-3f);
        EXPECT_NEAR(tip.y, c.tipY, 1e-3f);
        EXPECT_TRUE(HasText("Home (8.0 km)"));
    }
}

TEST_F(HudRig, PitchLadderClimbsAboveTheHorizon) {
    Fly(1500, {0, 0, 200});
    ASSERT_TRUE(Update());
    // Level: the rung of +5 lies 5 degrees up (glass 0.24 at 0.6 from the eye: y = 5 tan 5), -5 as far down.
    const Hud::Text* up = FindText("5");
    const Hud::Text* down = FindText("-5");
    ASSERT_TRUE(up && down);
    const float y = 0.6f / 0.12f * std::tan(5 * float(Base::Pi) / 180);
    EXPECT_NEAR(up->position.y, y, 0.01f);
    EXPECT_NEAR(down->position.y, -y, 0.01f);
    // Climbing rungs are solid with ticks towards the horizon; diving ones dashed with ticks away from it.
    float upTick = 0, downTick = 0;
    const auto& v = hud->common.ladder.vertices;
    for (std::size_t i = 0; i + 1 < v.size(); i += 2)
        if (std::fabs(v[i].x - v[i + 1].x) < 1e-6f) { // a tick
            if (std::fabs(v[i].y - y) < 0.01f)
                upTick = v[i + 1].y - v[i].y;
            if (std::fabs(v[i].y + y) < 0.01f)
                downTick = v[i + 1].y - v[i].y;
        }
    EXPECT_NEAR(upTick, -0.05f, 1e-4f);
    EXPECT_NEAR(downTick, 0.05f, 1e-4f);
}

TEST_F(HudRig, BrakesGearAndTheEjectPrompt) {
    ASSERT_TRUE(airplane->gears.loaded);
    const struct {
        float brake, gear;
        bool brakes, gearAlways, gearBlinks;
    } cases[] = {{0, 0, false, false, false}, {0.6f, 1, true, true, false}, {0, 0.5f, false, false, true}};
    for (const auto& c : cases) {
        int shown = 0, frames = 0;
        for (int i = 0; i < 32; ++i) { // half a second: both blink phases
            Physics::AirplaneState s = airplane->GetState();
            s.wheelBrakeCommand = c.brake;
            s.gearExtension = c.gear;
            airplane->flightModel->SetState(s);
            ASSERT_TRUE(Update());
            EXPECT_EQ(HasText("BRAKES"), c.brakes);
            shown += HasText("GEAR");
            ++frames;
            Frame(Step);
        }
        EXPECT_EQ(shown == frames, c.gearAlways) << c.gear;
        EXPECT_EQ(shown > 0 && shown < frames, c.gearBlinks) << c.gear;
    }
    // Ejected (no pilot in the seat, the airplane out of control): only the blinking prompt, no symbology.
    Physics::AirplaneState s = airplane->GetState();
    s.outOfControl = 1;
    airplane->flightModel->SetState(s);
    int prompts = 0;
    for (int i = 0; i < 32; ++i) {
        Frame(Step);
        ASSERT_TRUE(Update());
        EXPECT_LE(hud->texts.size(), 1u);
        prompts += HasText("EJECT");
        EXPECT_EQ(hud->common.airspeed.LineCount() + hud->common.ladder.LineCount(), 0u);
    }
    EXPECT_GT(prompts, 0);
    EXPECT_LT(prompts, 32);
}
