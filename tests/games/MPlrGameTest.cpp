// The multiplayer game on the test rig: three games in one process, each with its own front end and its own
// session, joined over loopback. One fixed clock ticks once a round and every game runs its frame in the
// background (no drawing, no input), so that the three worlds keep one time while their messages travel
// through real sockets.
#include "GameFixture.h"
#include "ListRows.h"
#include "RecordingGame.h"

#include "tests/network/NetTestSupport.h"

#include "aircraft/Airplane.h"
#include "games/MPlrGame.h"
#include "gui/Desktop.h"
#include "gui/Lists.h"
#include "gui/WorldMap.h"
#include "network/ObjectProxies.h"
#include "objects/Sky.h"
#include "objects/Terrain.h"

#include <cmath>
#include <functional>
#include <limits>
#include <map>

namespace GameTest {
namespace {

struct Peer {
    MPlr::Session session;
    std::unique_ptr<Fe::Frontend> frontend;
    std::unique_ptr<RecordingGame> game;
    DPNID id = 0;
    std::string name;

    Obj::Airplane* Own() const { return game->LocalAirplane(); }
    std::map<DPNID, Obj::Airplane*> Copies() const { return game->Copies(); }
};

class MPlrRig : public GameRig {
protected:
    void SetUp() override {
        GameRig::SetUp();
        if (HasFatalFailure())
            return;
        NetTest::UseLoopbackOnly();
        const char* names[3] = {"Anna", "Boris", "Chen"};
        for (int i = 0; i < 3; ++i) {
            peers[i].name = names[i];
            peers[i].frontend = std::make_unique<Fe::Frontend>(nullptr, nullptr, nullptr, &peers[i].session);
            peers[i].frontend->config.SetDefaults();
        }
        ASSERT_TRUE(peers[0].session.Host("Rig", "Anna", 16, 0, nullptr, ""));
        for (int i = 1; i < 3; ++i)
            ASSERT_TRUE(NetTest::JoinFirstHost(peers[i].session, peers[i].name));
        for (Peer& p : peers) {
            ASSERT_TRUE(NetTest::WaitFor([&] { return NetTest::PlayerIds(p.session).size() == 3; }, 20));
            p.id = p.session.FindLocalPlayer()->id;
        }
    }
    void TearDown() override {
        for (Peer& p : peers) {
            p.game.reset();
            p.frontend.reset();
        }
        GameRig::TearDown();
    }

    // Every game at its own start position over the first scenery, flying. With `annaAtKeys` Anna's game
    // reads the rig's scripted devices (play it with KeyRound), and `annaWaits` makes her enter the game
    // only at her first respawn.
    void StartGames(uint8_t gameType = 1, bool annaAtKeys = false, bool annaWaits = false) {
        for (int i = 0; i < 3; ++i) {
            Fe::MultiplayerRequest& r = peers[i].frontend->multiplayerRequest;
            r.hosting = i == 0 && annaWaits ? 0 : 1;
            r.timeOfDay = 1;
            r.startX = -3000.0f + 3000.0f * float(i);
            r.startY = 2000.0f;
            r.altitude = 1500.0f;
            r.heading = 90.0f * float(i);
            r.airplane = "F16";
            r.gameType = gameType;
            const bool keys = i == 0 && annaAtKeys;
            peers[i].game = std::make_unique<RecordingGame>(
                peers[i].frontend.get(), keys ? keyboard.get() : nullptr, keys ? mouse.get() : nullptr,
                keys ? joystick.get() : nullptr);
        }
    }

    // One round: the clock ticks once and every game that is still there runs its frame. A short pause lets
    // the sockets deliver what was sent; paced, the rounds keep up with the wall clock, so that a message's
    // time on the way is what it would be in play.
    void Round(bool paced = false) {
        Base::FrameClock::Tick();
        for (Peer& p : peers)
            if (p.game)
                p.game->Update(true);
        if (paced) {
            if (pacedFrom < 0) {
                pacedFrom = Base::FrameClock::GameTime;
                start = std::chrono::steady_clock::now();
            }
            std::this_thread::sleep_until(
                start + std::chrono::duration<double>(Base::FrameClock::GameTime - pacedFrom));
        } else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void Rounds(int n) {
        for (int i = 0; i < n; ++i)
            Round();
    }
    // Rounds until the condition holds; false when it still does not after a long while. What travels
    // through the sockets takes its time on a loaded machine: a test waits for it rather than for a count of
    // rounds.
    bool RoundsUntil(const std::function<bool()>& done) {
        return NetTest::WaitFor(
            [&] {
                Round();
                return done();
            },
            60);
    }
    bool EveryoneHasBothCopies() const {
        for (const Peer& p : peers)
            if (p.Copies().size() != 2)
                return false;
        return true;
    }
    // One round with Anna at the keys: her game plays the script's frame, ticks the clock, polls the devices
    // and draws; the others run in the background.
    App::GameAction KeyRound() {
        input->BeginFrame(frame++);
        const App::GameAction action = peers[0].game->Update(false);
        for (int i = 1; i < 3; ++i)
            if (peers[i].game)
                peers[i].game->Update(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return action;
    }

    // Rounds until every peer has shown the chat line, then some more for a repeat to show.
    void AwaitChat(const std::string& text) {
        for (int i = 0; i < 200; ++i) {
            Round();
            bool all = true;
            for (Peer& p : peers)
                all = all && Count(p.game->chat, text) == 1;
            if (all)
                break;
        }
        Rounds(20);
    }

    Peer peers[3];
    std::chrono::steady_clock::time_point start;
    double pacedFrom = -1;
};

// The time of day picks the scenery by its number, "Morning" (0) as well as "Afternoon" (1): the world's sky
// is lit as that scenery's sky file says.
TEST_F(MPlrRig, TheTimeOfDayIsTheSceneryNumber) {
    for (uint32_t timeOfDay : {0u, 1u}) {
        Base::Info description;
        ASSERT_EQ(description.LoadFile(
                      Base::MakePath(Base::GetText("DataDir"), "Sky" + std::to_string(timeOfDay), "info")),
                  0);
        Base::Color ambient;
        ASSERT_TRUE(description.TryGetColor("LightAmbientColor", ambient));
        Fe::MultiplayerRequest& r = peers[0].frontend->multiplayerRequest;
        r.timeOfDay = timeOfDay;
        r.hosting = 0;
        peers[0].game = std::make_unique<RecordingGame>(peers[0].frontend.get(), nullptr, nullptr, nullptr);
        const Obj::Sky* sky = peers[0].game->world->sky;
        ASSERT_NE(sky, nullptr);
        EXPECT_EQ(sky->AmbientColor(), ambient) << timeOfDay;
        peers[0].game.reset();
    }
}

TEST_F(MPlrRig, EveryPeerFliesCopiesOfTheOthersThatFollowThemTwoSecondsBehind) {
    StartGames();
    // Each owner's airplane by game time.
    std::map<DPNID, std::map<double, RwV3d>> track;
    for (int round = 0; round < 100; ++round) {
        Round(true);
        for (Peer& p : peers)
            if (Obj::Airplane* own = p.Own())
                track[p.id][Base::FrameClock::GameTime] = own->GetState().position;
    }
    const double now = Base::FrameClock::GameTime;
    for (Peer& p : peers) {
        ASSERT_NE(p.Own(), nullptr) << p.name;
        ASSERT_EQ(p.Copies().size(), 2u) << p.name;
        for (const auto& [guid, proxy] : p.game->network->proxies) {
            auto* remote = dynamic_cast<Comm::RemoteAirplane*>(proxy.get());
            if (!remote)
                continue;
            Obj::Airplane* copy = remote->GetAirplane();
            ASSERT_NE(copy, nullptr);
            EXPECT_TRUE(copy->remoteCopy);
            // The copy's clock runs 2 s behind the owner's (one round less when the first state arrived in
            // the round it was sent, a little more for its way through a loaded machine) ...
            EXPECT_LE(remote->clock, now - 2.0 + Step + 1e-3) << p.name;
            EXPECT_GE(remote->clock, now - 2.5) << p.name;
            // ... and it shows where the owner was at that clock: within two rounds' flight, one for the
            // state sent before the owner's step and one for the interpolation between states.
            const auto& t = track[remote->owner];
            auto at = t.upper_bound(remote->clock);
            ASSERT_NE(at, t.begin());
            const RwV3d want = std::prev(at)->second, got = copy->GetState().position;
            EXPECT_LT(std::hypot(got.x - want.x, got.y - want.y, got.z - want.z),
                      2 * 200.0f * float(Step) + 1)
                << p.name << " sees " << remote->owner;
        }
    }
}

TEST_F(MPlrRig, AKillIsAnnouncedOnceEverywhereAndTheVictimRespawns) {
    StartGames();
    Rounds(90);
    Peer &killer = peers[0], &bystander = peers[1], &victim = peers[2];
    Obj::Airplane* copy = killer.Copies()[victim.id];
    ASSERT_NE(copy, nullptr);
    // Anna's gun brings Chen's copy down (a real hit also credits her airplane with the kill).
    copy->SetLastAttacker("Cannon");
    copy->SetHitPoints(0);
    ++killer.Own()->airplaneKills;
    // Chen's airplane is lost; he waits 12 s, then flies again above the ground and over the map.
    ASSERT_TRUE(NetTest::WaitFor(
        [&] {
            Round();
            return victim.Own() == nullptr || victim.Own()->hitPoints == 0;
        },
        20));
    Rounds(150);
    // Once on each peer: the victim hears who shot him down, the others who went down.
    EXPECT_EQ(killer.game->ShotDownNaming("Chen"), 1);
    EXPECT_EQ(bystander.game->ShotDownNaming("Chen"), 1);
    EXPECT_EQ(victim.game->ShotDownNaming("Anna"), 1);
    // The wreck falls; 12 s after it is gone the new airplane comes.
    int lost = -1, round = 0;
    for (; round < 3000 && victim.game->spawned < 2; ++round) {
        if (lost < 0 && !victim.Own())
            lost = round;
        Round();
    }
    ASSERT_EQ(victim.game->spawned, 2u);
    ASSERT_NE(victim.Own(), nullptr);
    EXPECT_NEAR(round - lost, MPlr::Game::RespawnDelay / Step, 2);
    EXPECT_EQ(Count(victim.game->announced, "Taking position"), 1);
    const RwV3d at = victim.Own()->GetState().position;
    const Grp::World::Extent& e = victim.game->world->terrainExtent;
    EXPECT_GE(at.x, e.minX);
    EXPECT_LE(at.x, e.minX + e.sizeX);
    EXPECT_GE(at.z, e.minZ);
    EXPECT_LE(at.z, e.minZ + e.sizeZ);
    const RwLine down{{at.x, 100000, at.z}, {at.x, -100000, at.z}};
    RwV3d ground{0, 0, 0};
    if (victim.game->world->terrain &&
        victim.game->world->terrain->IntersectSegment(&down, &ground, nullptr)) {
        EXPECT_GT(at.y, ground.y + 200.0f);
    }
    // The scores as every peer's session has them are the owners' own counts: Anna's one kill, Chen's
    // death (the others, flying hands off all this while, may have hit the ground too).
    EXPECT_EQ(killer.game->score.kills, 1u);
    EXPECT_GE(victim.game->score.deaths, 1u);
    // The counts travel in the player data: every peer's copy of them settles on the owners' own.
    const auto agreed = [&] {
        for (Peer& p : peers) {
            std::lock_guard<std::mutex> hold(p.session.playersLock);
            if (p.session.players.size() != 3)
                return false;
            for (const MPlr::PlayerEntry& e : p.session.players)
                for (const Peer& owner : peers)
                    if (owner.id == e.id && (MPlr::PlayerKills(e) != owner.game->score.kills ||
                                             MPlr::PlayerDeaths(e) != owner.game->score.deaths))
                        return false;
        }
        return true;
    };
    bool settled = false;
    for (int i = 0; i < 300 && !settled; ++i) {
        Round();
        settled = agreed();
    }
    EXPECT_TRUE(settled);
}

TEST_F(MPlrRig, ChatShowsOnceOnEveryPeer) {
    StartGames();
    Rounds(5);
    peers[1].game->network->SendChat("hello there");
    AwaitChat("hello there");
    for (Peer& p : peers)
        EXPECT_EQ(Count(p.game->chat, "hello there"), 1) << p.name;
}

TEST_F(MPlrRig, APeerLeavingTakesItsCopiesAndTheGameGoesOnWithoutTheHost) {
    StartGames();
    ASSERT_TRUE(RoundsUntil([&] { return EveryoneHasBothCopies(); }));
    // The host leaves: the others keep playing, and still see each other. Its copies may go by its removed
    // notices before its session's goodbye arrives: both are waited for.
    const DPNID host = peers[0].id;
    peers[0].game.reset();
    ASSERT_TRUE(RoundsUntil([&] {
        for (int i = 1; i < 3; ++i)
            if (peers[i].Copies().count(host) || !Count(peers[i].game->announced, "Anna leaves the game"))
                return false;
        return true;
    }));
    // Two seconds in step with the wall clock, as in play: the copy follows states that had their time on
    // the way.
    const RwV3d before = peers[1].Copies()[peers[2].id]->GetState().position;
    pacedFrom = -1;
    for (int i = 0; i < 60; ++i)
        Round(true);
    ASSERT_TRUE(peers[1].Copies().count(peers[2].id));
    const RwV3d after = peers[1].Copies()[peers[2].id]->GetState().position;
    EXPECT_GT(std::hypot(after.x - before.x, after.z - before.z), 100.0f);
    for (int i = 1; i < 3; ++i) {
        EXPECT_EQ(peers[i].game->network->phase, MPlr::NetworkObjects::Running);
        EXPECT_EQ(Count(peers[i].game->announced, "Anna leaves the game"), 1) << peers[i].name;
    }
}

} // namespace
} // namespace GameTest

namespace GameTest {
namespace {

// Sends raw bytes from a session to one player or all (0).
void SendRaw(MPlr::Session& s, DPNID to, Comm::Bytes bytes, DWORD flags = 0x98) {
    DPN_BUFFER_DESC b{DWORD(bytes.size()), bytes.data()};
    DPNHANDLE h;
    s.peer->SendTo(to, &b, 1, 0, nullptr, &h, flags);
}

TEST_F(MPlrRig, AHostilePeerMovesAndHurtsNothingAndCrashesNoOne) {
    StartGames();
    ASSERT_TRUE(RoundsUntil([&] { return EveryoneHasBothCopies(); }));
    // A fourth member speaking the wire format by hand, known to every game before it speaks.
    MPlr::Session mallory;
    ASSERT_TRUE(NetTest::JoinFirstHost(mallory, "Mallory"));
    ASSERT_TRUE(NetTest::WaitFor([&] { return NetTest::PlayerIds(mallory).size() == 4; }, 20));
    ASSERT_TRUE(RoundsUntil([&] {
        for (Peer& p : peers)
            if (NetTest::PlayerIds(p.session).size() != 4)
                return false;
        return true;
    }));
    Round();
    Peer& anna = peers[0];
    const GUID annas = anna.game->network->FindByObject(anna.Own())->guid;
    const float annaHp = anna.Own()->hitPoints;
    Obj::Airplane* copyOfAnna = peers[1].Copies()[anna.id];
    ASSERT_NE(copyOfAnna, nullptr);
    const float nan = std::numeric_limits<float>::quiet_NaN();

    for (int burst = 0; burst < 20; ++burst) {
        const float now = float(Base::FrameClock::GameTime);
        // States for Anna's airplane: to Anna, whose own it is, and to Boris, whose copy follows only Anna.
        Comm::AirplaneStateMessage state;
        state.header.object = annas;
        state.header.sendTime = now;
        state.position = {0, 10, 0};
        state.typeName = "F16";
        SendRaw(mallory, 0, Comm::Encode(state));
        // A removal of Anna's airplane, and damage for it sent to a peer that only has a copy.
        Comm::RemovedMessage removed;
        removed.header.object = annas;
        removed.header.sendTime = now;
        SendRaw(mallory, 0, Comm::Encode(removed));
        Comm::DamageMessage damage;
        damage.header.object = annas;
        damage.hitPointChange = -1000;
        damage.attacker = "Mallory";
        SendRaw(mallory, peers[1].id, Comm::Encode(damage));
        // Damage to Anna herself that heals, is not a number or exceeds everything.
        for (float change : {50.0f, nan, -1.0e30f}) {
            damage.hitPointChange = change;
            SendRaw(mallory, anna.id, Comm::Encode(damage));
        }
        // Truncated and oversized messages, NaN positions and a path for a type name of its own object.
        Comm::Bytes truncated = Comm::Encode(state);
        truncated.resize(100);
        SendRaw(mallory, 0, truncated);
        SendRaw(mallory, 0, Comm::Bytes(60000, 0x01));
        Comm::AirplaneStateMessage own;
        own.header.object = GUID{0xBAD, 1, 1, {1, 2, 3, 4, 5, 6, 7, uint8_t(burst)}};
        own.header.sendTime = now;
        own.position = {nan, nan, nan};
        own.typeName = "F16";
        SendRaw(mallory, 0, Comm::Encode(own));
        own.position = {0, 0, 0};
        own.typeName = "..\\..\\Startup";
        SendRaw(mallory, 0, Comm::Encode(own));
        Rounds(5);
    }
    // Every game has taken all of it once a chat line sent last has come (the links deliver what is
    // guaranteed in order); then the made-up objects' two seconds run out.
    Comm::ChatMessage last;
    last.sendTime = float(Base::FrameClock::GameTime);
    last.text = "that was all";
    SendRaw(mallory, 0, Comm::Encode(last));
    ASSERT_TRUE(RoundsUntil([&] {
        for (Peer& p : peers)
            if (!Count(p.game->chat, "that was all"))
                return false;
        return true;
    }));
    Rounds(90);
    EXPECT_EQ(anna.Own()->hitPoints, annaHp);
    // Boris's copy of Anna is where Anna was two seconds ago, not at Mallory's point.
    ASSERT_EQ(peers[1].Copies()[anna.id], copyOfAnna);
    const RwV3d at = copyOfAnna->GetState().position;
    EXPECT_GT(std::hypot(at.x, at.y - 10, at.z), 100.0f);
    for (Peer& p : peers) {
        // Mallory made no airplane anywhere, and nobody's registry grew with the traffic.
        for (const auto& [owner, copy] : p.Copies())
            EXPECT_NE(owner, mallory.FindLocalPlayer()->id) << p.name;
        EXPECT_LE(p.game->network->proxies.size(), 8u) << p.name;
        for (const auto& [guid, proxy] : p.game->network->proxies)
            EXPECT_LE(proxy->history.size(), Comm::MaxHistory);
    }
}

} // namespace
} // namespace GameTest

namespace GameTest {
namespace {

bool Lists(const Gui::StringList* list, const std::string& text) {
    return list && std::find(list->strings.begin(), list->strings.end(), text) != list->strings.end();
}

TEST_F(MPlrRig, TheScoreTableShowsWhileWaitingToFlyAndWhileF10IsHeld) {
    // Anna enters the game at her first respawn, 12 s in; then she holds F10 for 20 frames.
    const int spawnFrame = int(MPlr::Game::RespawnDelay / Step);
    StartGames(1, true, true);
    Script(std::to_string(spawnFrame + 30) + " keyboard down F10\n" + std::to_string(spawnFrame + 50) +
           " keyboard up F10\n");
    Peer& anna = peers[0];
    auto* table = anna.game->gui->Find<Gui::Widget>("MultiplayerStats", true);
    ASSERT_NE(table, nullptr);
    std::vector<bool> shown;
    for (int f = 0; f < spawnFrame + 80; ++f) {
        ASSERT_EQ(KeyRound(), App::GameGoOn) << f;
        shown.push_back(table->visible);
    }
    EXPECT_EQ(Count(anna.game->announced, "Taking position"), 1);
    EXPECT_EQ(anna.game->spawned, 1u);
    // Waiting: shown from the first frame until she flies.
    for (int f = 0; f < spawnFrame - 2; ++f)
        ASSERT_TRUE(shown[f]) << f;
    for (int f = spawnFrame + 2; f < spawnFrame + 30; ++f)
        ASSERT_FALSE(shown[f]) << f;
    // Held: shown for exactly the frames it is down.
    for (int f = spawnFrame + 30; f < spawnFrame + 50; ++f)
        ASSERT_TRUE(shown[f]) << f;
    for (int f = spawnFrame + 50; f < spawnFrame + 80; ++f)
        ASSERT_FALSE(shown[f]) << f;
    // It lists the three players.
    const auto* names = table->Find<Gui::StringList>("NamesList", true);
    for (const char* name : {"Anna", "Boris", "Chen"})
        EXPECT_TRUE(Lists(names, name)) << name;
    for (const char* column : {"PlacesList", "NamesList", "AirplaneKillsList", "DeathsList", "ScoreList"}) {
        const auto* list = table->Find<Gui::StringList>(column, true);
        ASSERT_NE(list, nullptr) << column;
        ASSERT_EQ(list->strings.size(), 3u) << column;
        GameTest::ExpectRowsCentredInside(list, column);
    }
}

TEST_F(MPlrRig, EnterOpensAndSendsTheChatAndEscapeWaitsUntilItIsClosed) {
    StartGames(1, true);
    Script("5 keyboard press RETURN\n"
           "8 keyboard type \"hi all\"\n"
           "30 keyboard press ESCAPE\n"
           "35 keyboard press RETURN\n"
           "60 keyboard press RETURN\n"
           "65 keyboard press RETURN\n"
           "80 keyboard press ESCAPE\n");
    Peer& anna = peers[0];
    auto* entry = anna.game->gui->Find<Gui::Widget>("ActiveChat", true);
    ASSERT_NE(entry, nullptr);
    std::vector<App::GameAction> actions;
    std::vector<bool> open;
    for (int f = 0; f < 81; ++f) {
        actions.push_back(KeyRound());
        open.push_back(entry->visible);
    }
    EXPECT_FALSE(open[4]);
    for (int f = 5; f < 35; ++f)
        ASSERT_TRUE(open[f]) << f;
    EXPECT_FALSE(open[36]);
    // Escape while typing leaves the game running; with the entry closed it opens the menu, with the map of
    // the world as the game left it.
    for (int f = 0; f < 80; ++f)
        ASSERT_EQ(actions[f], App::GameGoOn) << f;
    EXPECT_EQ(actions[80], App::GamePause);
    auto* map = anna.frontend->desktop->Find<Gui::WorldMap>("PageGameMap.GameMap", true);
    ASSERT_NE(map, nullptr);
    int players = 0, airplanes = 0;
    for (const Gui::MapObjectRecord& record : map->objects) {
        players += record.canBeFocused;
        airplanes += record.textureName == anna.Own()->mapIcon;
    }
    EXPECT_EQ(players, 1);
    EXPECT_EQ(airplanes, 3);

    // The line went out once to every peer; the empty entry (frames 60 to 65) sent nothing.
    AwaitChat("hi all");
    for (Peer& p : peers) {
        EXPECT_EQ(Count(p.game->chat, "hi all"), 1) << p.name;
        EXPECT_EQ(p.game->chat.size(), 1u) << p.name;
    }
}

} // namespace
} // namespace GameTest
