// The action kinds other than spawning, each through the action factory as a mission file names it.
#include "tests/mission/MissionFixture.h"

#include "gui/Announcer.h"

#include <cmath>

using namespace MissionTest;

namespace {

// A player in a jet with a cockpit, as the spawn would leave them.
struct Player {
    Obj::Airplane* jet = nullptr;
    TestCockpit* cockpit = nullptr;
    Pilot* pilot = nullptr;
};

} // namespace

class MissionActions : public MissionWorld {
protected:
    Player Seat(Mission::Mission& m) {
        Player p;
        Physics::AirplaneState s;
        Physics::AirplaneState::Init(s);
        p.jet = Airplane(s);
        auto cockpit = std::make_unique<TestCockpit>();
        p.cockpit = cockpit.get();
        p.jet->cockpit = std::move(cockpit);
        p.pilot = crew.Seat(p.jet, "", true, Obj::Friendly, 0);
        m.AddObject(p.pilot, "Player");
        m.AddObject(p.jet, "PlayerAirplane");
        return p;
    }
    void Run(const std::string& text) {
        auto action = Action(text);
        ASSERT_TRUE(action) << text;
        action->Execute();
    }
};

TEST_F(MissionActions, Navpoints) {
    Mission::Mission& m = Load("");
    m.AddObject(Add(new Thing({1000, 0, 2000})), "Depot");
    // Without a player nothing happens.
    Run("AddNavpoint\n{\nIndex 0\nName Home\nPos 5 5\n}");
    Player p = Seat(m);
    Run("AddNavpoint\n{\nIndex 3\nName Depot\nPos 10 -10\n{\nObjectId Depot\n}\n}");
    ASSERT_EQ(p.cockpit->navpoints.size(), 4u);
    EXPECT_EQ(p.cockpit->navpoints[3].name, "Depot");
    EXPECT_EQ(p.cockpit->navpoints[3].x, 1010);
    EXPECT_EQ(p.cockpit->navpoints[3].z, 1990);
    EXPECT_EQ(p.cockpit->current, 3);
    Run("ActivateNavpoint\n{\nIndex 1\n}");
    EXPECT_EQ(p.cockpit->current, 1);
    Run("ActivateNavpoint\n{\nIndex 4\n}"); // past the end: none
    EXPECT_EQ(p.cockpit->current, -1);
    Run("RemoveNavpoint\n{\nIndex 3\n}");
    EXPECT_FALSE(p.cockpit->navpoints[3].used);
    EXPECT_FALSE(Action("AddNavpoint\n{\nIndex 0\nName Home\n}"));
    EXPECT_FALSE(Action("ActivateNavpoint\n{\nIndex -1\n}"));
}

TEST_F(MissionActions, CameraTargetPointsTheCameras) {
    Mission::Mission& m = Load("");
    Player p = Seat(m);
    Run("CameraTarget\n{\nTargetId PlayerAirplane\nMode 2\n}");
    EXPECT_EQ(host.cameraTarget, static_cast<Obj::Frame*>(p.jet));
    EXPECT_EQ(host.cameras, std::vector<int>{Mission::Host::FlyByCamera});
    Thing* tower = Add(new Thing());
    m.AddObject(tower, "Tower");
    Run("CameraTarget\n{\nTargetId Tower\nMode 7\n}"); // another mode keeps the current camera
    EXPECT_EQ(host.cameraTarget, static_cast<Obj::Frame*>(tower));
    EXPECT_EQ(host.cameras.size(), 1u);
    Run("CameraTarget\n{\nTargetId Nobody\nMode 0\n}");
    EXPECT_EQ(host.cameraTarget, static_cast<Obj::Frame*>(tower));
}

TEST_F(MissionActions, EjectByPilotOrByAirplane) {
    Mission::Mission& m = Load("");
    Player p = Seat(m);
    Run("Eject\n{\nObjectId PlayerAirplane\n}");
    EXPECT_EQ(p.pilot->ejected, 1);
    Run("Eject\n{\nObjectId Player\n}"); // no longer in an airplane
    Run("Eject\n{\nObjectId PlayerAirplane\n}");
    EXPECT_EQ(p.pilot->ejected, 1);
    Player q = Seat(m);
    m.AddObject(q.pilot, "Wingman");
    Run("Eject\n{\nObjectId Wingman\n}");
    EXPECT_EQ(q.pilot->ejected, 1);
}

TEST_F(MissionActions, LaunchRocketStartsLevelAtTheTargetsHeight) {
    Mission::Mission& m = Load("");
    m.AddObject(Add(new Thing({3000, 800, 4000})), "Bandit");
    m.AddObject(Add(new Thing({-500, 50, 0})), "Site");
    // From the site's point offset by (500, 0) to the bandit: 3000 across, 4000 along, level.
    Run("LaunchRocket\n{\nType R73\nTargetId Bandit\nPos 500 0\n{\nObjectId Site\n}\n}");
    ASSERT_EQ(armoury.launches.size(), 1u);
    const RecordingArmoury::Launch& l = armoury.launches[0];
    EXPECT_EQ(l.description, Base::ClumpCache::Directory.substr(0, Base::ClumpCache::Directory.size() - 1) +
                                 "\\Weapons\\R73");
    EXPECT_EQ(l.target, static_cast<Obj::Target*>(dynamic_cast<Thing*>(m.FindObject("Bandit"))));
    EXPECT_FLOAT_EQ(l.placement.pos.x, 0);
    EXPECT_FLOAT_EQ(l.placement.pos.y, 800);
    EXPECT_FLOAT_EQ(l.placement.pos.z, 0);
    EXPECT_FLOAT_EQ(l.placement.at.x, 0.6f);
    EXPECT_FLOAT_EQ(l.placement.at.y, 0);
    EXPECT_FLOAT_EQ(l.placement.at.z, 0.8f);
    // up = (1, 0, 0) x forward.
    EXPECT_FLOAT_EQ(l.placement.up.x, 0);
    EXPECT_FLOAT_EQ(l.placement.up.y, -1);
    EXPECT_FLOAT_EQ(l.placement.up.z, 0);
    EXPECT_FLOAT_EQ(l.velocity.x, 150);
    EXPECT_FLOAT_EQ(l.velocity.y, 0);
    EXPECT_FLOAT_EQ(l.velocity.z, 200);
    // No valid target: nothing is made at all.
    m.AddObject(Add(new Obj::Airbase()), "Field");
    Run("LaunchRocket\n{\nType R73\nTargetId Nobody\nPos 0 0\n}");
    Run("LaunchRocket\n{\nType R73\nTargetId Field\nPos 0 0\n}");
    EXPECT_EQ(armoury.launches.size(), 1u);
    EXPECT_FALSE(Action("LaunchRocket\n{\nType R73\nTargetId Bandit\n}"));
}

TEST_F(MissionActions, SetPathNeedsThreePointsAndStopsAtAGap) {
    Mission::Mission& m = Load("");
    Physics::AirplaneState s;
    Physics::AirplaneState::Init(s);
    Obj::Airplane* jet = Airplane(s);
    Pilot* ai = crew.Seat(jet, "", false, Obj::Enemy, 0.5f);
    m.AddObject(jet, "Bandit1");
    m.AddObject(Add(new Thing({100, 0, 100})), "Mark");
    EXPECT_FALSE(Action("SetPath\n{\nObjectId Bandit1\nP0 0 0\nP1 1 1\n}"));
    EXPECT_FALSE(Action("SetPath\n{\nObjectId Bandit1\nP0 0 0\nP1 1 1\nP2 x\n}"));
    Run("SetPath\n{\nObjectId Bandit1\nP0 0 0\nP1 1 1\nP2 2 2\n{\nObjectId Mark\n}\nP4 4 4\n}");
    ASSERT_EQ(ai->route.size(), 3u);
    EXPECT_EQ(ai->route[1].x, 1);
    EXPECT_EQ(ai->route[1].y, 0);
    EXPECT_EQ(ai->route[2].x, 102);
    EXPECT_EQ(ai->route[2].z, 102);
    // The player's pilot is no computer pilot: left alone.
    Player p = Seat(m);
    Run("SetPath\n{\nObjectId PlayerAirplane\nP0 0 0\nP1 1 1\nP2 2 2\n}");
    EXPECT_TRUE(p.pilot->route.empty());
}

TEST_F(MissionActions, SetTargetLinksAndNull) {
    Mission::Mission& m = Load("");
    Physics::AirplaneState s;
    Physics::AirplaneState::Init(s);
    Obj::Airplane* jet = Airplane(s);
    Pilot* ai = crew.Seat(jet, "", false, Obj::Friendly, 0.5f);
    m.AddObject(jet, "Friend1");
    Player p = Seat(m);
    Thing* tank = Add(new Thing());
    m.AddObject(tank, "Tank");
    EXPECT_FALSE(Action("SetTarget\n{\nObjectId Friend1\n}"));
    Run("SetTarget\n{\nObjectId Friend1\nTarget Tank\nDefend PlayerAirplane\nWingLeader Player\n}");
    EXPECT_EQ(ai->attack, tank);
    EXPECT_EQ(ai->defended, static_cast<Obj::Damageable*>(p.jet));
    EXPECT_EQ(ai->leader, p.jet); // the named pilot's airplane
    // "null" in any case clears the link and ends the action: the leader stays.
    Run("SetTarget\n{\nObjectId Friend1\nTarget NULL\nWingLeader null\n}");
    EXPECT_EQ(ai->attack, nullptr);
    EXPECT_EQ(ai->leader, p.jet);
    // An absent name leaves a link unchanged.
    Run("SetTarget\n{\nObjectId Friend1\nDefend Nobody\nWingLeader Null\n}");
    EXPECT_EQ(ai->defended, static_cast<Obj::Damageable*>(p.jet));
    EXPECT_EQ(ai->leader, nullptr);
}

TEST_F(MissionActions, HitPointsNamesAndVoiceMessages) {
    Mission::Mission& m = Load("");
    Thing* tank = Add(new Thing());
    m.AddObject(tank, "Tank");
    Run("SetMaxHitPoints\n{\nObjectId Tank\nValue 400\n}");
    EXPECT_EQ(tank->maxHitPoints, 400);
    EXPECT_EQ(tank->hitPoints, 400);
    Run("SetHitPoints\n{\nObjectId Tank\nValue 500\n}");
    EXPECT_EQ(tank->hitPoints, 400); // clamped to the maximum
    Run("SetObjectName\n{\nObjectId Tank\nName Target Alpha\n}");
    EXPECT_EQ(tank->name, "Target Alpha");
    EXPECT_EQ(m.FindObject("Tank"), tank);
    EXPECT_FALSE(Action("SetHitPoints\n{\nObjectId Tank\n}"));

    Run("VoiceMessage\n{\nSender SenderSystem\nText Nobody listens\n}"); // no announcer: nothing
    Gui::Announcer announcer;
    host.announcer = &announcer;
    Run("VoiceMessage\n{\nSender SenderSystem\nText \"Bandits north.\"\n}");
    ASSERT_EQ(announcer.queue.size(), 1u);
    EXPECT_EQ(announcer.queue[0]->sender, "SenderSystem");
    EXPECT_EQ(announcer.queue[0]->text, "Bandits north.");
    EXPECT_FALSE(Action("VoiceMessage\n{\nSender SenderSystem\n}"));
    host.announcer = nullptr;
}
