// The multiplayer game with its peers as separate processes on loopback, as players on three machines
// would have it. Each peer is this test program run again for the one disabled test below, which plays a
// game without the menus (hosting or joining, then flying from a start position) in real time, 30 frames a
// second, and answers one line for each command it reads; a "wait" answers once its condition holds or
// after 120 s of frames.
#include "GameFixture.h"
#include "RecordingGame.h"

#include "tests/network/ChildProcess.h"
#include "tests/network/NetTestSupport.h"

#include "aircraft/Airplane.h"
#include "network/ObjectProxies.h"
#include "objects/Terrain.h"

#include <poll.h>

#include <chrono>
#include <functional>
#include <iostream>
#include <sstream>
#include <thread>

namespace GameTest {
namespace {

class MPlrPeerProcess : public GameRig {
protected:
    // The copies in this peer's world, by their owner.
    std::map<DPNID, Obj::Airplane*> Copies() const {
        return game ? game->Copies() : std::map<DPNID, Obj::Airplane*>{};
    }
    // The kills and deaths this peer's session has for a player.
    std::string Scores(DPNID id) {
        std::lock_guard<std::mutex> hold(session.playersLock);
        for (const MPlr::PlayerEntry& e : session.players)
            if (e.id == id)
                return std::to_string(MPlr::PlayerKills(e)) + " " + std::to_string(MPlr::PlayerDeaths(e));
        return "none";
    }
    // The local airplane is over the map, clear of the ground.
    bool WellPlaced() const {
        Obj::Airplane* own = game->LocalAirplane();
        if (!own)
            return false;
        const RwV3d at = own->GetState().position;
        const Grp::World::Extent& e = game->world->terrainExtent;
        if (at.x < e.minX || at.x > e.minX + e.sizeX || at.z < e.minZ || at.z > e.minZ + e.sizeZ)
            return false;
        const RwLine down{{at.x, 100000, at.z}, {at.x, -100000, at.z}};
        RwV3d ground{0, 0, 0};
        return !game->world->terrain || !game->world->terrain->IntersectSegment(&down, &ground, nullptr) ||
               at.y > ground.y + 200.0f;
    }

    std::string Local() { return "ok " + std::to_string(session.FindLocalPlayer()->id); }

    // One command; an empty answer leaves it to a wait.
    std::string Do(const std::string& line) {
        std::istringstream in(line);
        std::string command, what;
        in >> command;
        const auto tail = [&in] {
            std::string t;
            std::getline(in >> std::ws, t);
            return t;
        };
        if (command == "host")
            return session.Host("Rig", tail(), 16, 0, nullptr, "") ? Local() : "fail";
        if (command == "join")
            return NetTest::JoinFirstHost(session, tail()) ? Local() : "fail";
        if (command == "start") {
            int i = 0;
            in >> i;
            Fe::MultiplayerRequest& r = frontend->multiplayerRequest;
            r.hosting = 1;
            r.timeOfDay = 1;
            r.startX = -3000.0f + 3000.0f * float(i);
            r.startY = 2000.0f;
            r.altitude = 1500.0f;
            r.heading = 90.0f * float(i);
            r.airplane = "F16";
            r.gameType = 1;
            game = std::make_unique<RecordingGame>(frontend.get(), nullptr, nullptr, nullptr);
            return "ok";
        }
        if (command == "down") {
            // This peer's gun brings another player's copy down (a real hit credits its own airplane too).
            DPNID owner = 0;
            in >> owner;
            auto copies = Copies();
            Obj::Airplane* own = game ? game->LocalAirplane() : nullptr;
            if (!copies.count(owner) || !own)
                return "none";
            copies[owner]->SetLastAttacker(tail());
            copies[owner]->SetHitPoints(0);
            ++own->airplaneKills;
            return "ok";
        }
        if (command == "chat") {
            game->network->SendChat(tail());
            return "ok";
        }
        if (command == "leave") {
            game.reset();
            return "ok";
        }
        if (command == "score")
            return std::to_string(game->score.kills) + " " + std::to_string(game->score.deaths);
        if (command == "scores") {
            DPNID id = 0;
            in >> id;
            return Scores(id);
        }
        if (command == "count") {
            in >> what;
            const std::string text = tail();
            if (what == "announced")
                return std::to_string(Count(game->announced, text));
            if (what == "shot-down")
                return std::to_string(game->ShotDownNaming(text));
            if (what == "chat")
                return std::to_string(Count(game->chat, text));
            if (what == "lost")
                return std::to_string(Count(game->announced, Base::GetText("MPlr.ConnectionLost")));
            return "unknown";
        }
        if (command == "announcements") {
            std::string all;
            for (const auto& t : game->announced)
                all += t + " | ";
            return all;
        }
        if (command == "phase")
            return std::to_string(int(game->network->phase));
        if (command == "wait") {
            in >> what;
            int n = 0;
            if (what == "players") {
                in >> n;
                waiting = [this, n] { return NetTest::PlayerIds(session).size() == size_t(n); };
            } else if (what == "copies") {
                in >> n;
                waiting = [this, n] { return Copies().size() == size_t(n); };
            } else if (what == "announced" || what == "chat") {
                in >> n;
                const std::string text = tail();
                const bool chat = what == "chat";
                waiting = [this, n, text, chat] {
                    return Count(chat ? game->chat : game->announced, text) == n;
                };
            } else if (what == "shot-down") {
                in >> n;
                const std::string name = tail();
                waiting = [this, n, name] { return game->ShotDownNaming(name) == n; };
            } else if (what == "spawned") {
                in >> n;
                waiting = [this, n] { return game->spawned == uint32_t(n); };
            } else if (what == "scores") {
                DPNID id = 0;
                in >> id;
                const std::string want = tail();
                waiting = [this, id, want] { return Scores(id) == want; };
            } else {
                return "unknown";
            }
            waitFrames = 0;
            return {};
        }
        if (command == "placed")
            return WellPlaced() ? "yes" : "no";
        return "unknown";
    }

    // Answers stand out from whatever else the program prints.
    static void Answer(const std::string& text) { std::cout << "> " << text << std::endl; }

    MPlr::Session session;
    std::unique_ptr<Fe::Frontend> frontend;
    std::unique_ptr<RecordingGame> game;
    std::function<bool()> waiting;
    int waitFrames = 0;
};

TEST_F(MPlrPeerProcess, DISABLED_Serve) {
    // The enumeration port and the broadcast address come from the environment, the same in every peer.
    Dp8::Control::SetLinkTimeoutMs(3000);
    Dp8::Control::SetConnectTimeoutMs(4000);
    frontend = std::make_unique<Fe::Frontend>(nullptr, nullptr, nullptr, &session);
    frontend->config.SetDefaults();
    std::string buffer;
    const auto start = std::chrono::steady_clock::now();
    for (long frame = 0;; ++frame) {
        if (game) {
            Base::FrameClock::Tick();
            game->Update(true);
        }
        if (waiting && waiting()) {
            waiting = nullptr;
            Answer("ok");
        } else if (waiting && ++waitFrames > 120 * 30) {
            waiting = nullptr;
            Answer("timeout");
        }
        // Commands are read between frames, and only while no wait is pending.
        pollfd p{0, POLLIN, 0};
        while (!waiting && buffer.find('\n') == std::string::npos && poll(&p, 1, 0) > 0) {
            char chunk[1024];
            const ssize_t n = read(0, chunk, sizeof chunk);
            if (n <= 0)
                return;
            buffer.append(chunk, size_t(n));
        }
        if (!waiting && buffer.find('\n') != std::string::npos) {
            const std::string line = buffer.substr(0, buffer.find('\n'));
            buffer.erase(0, buffer.find('\n') + 1);
            if (line == "exit")
                return;
            const std::string answer = Do(line);
            if (!answer.empty())
                Answer(answer);
        }
        // Paced to the wall clock, so that a state's time on the way is what it would be in play.
        std::this_thread::sleep_until(start + std::chrono::duration<double>(double(frame + 1) * Step));
    }
}

std::string PlayerIdOf(const std::string& reply) {
    return reply.substr(reply.find(' ') + 1);
}

// A peer process and its answers.
class PeerProcess : public NetTest::Child {
public:
    PeerProcess(const std::vector<std::string>& args, const std::vector<std::string>& env)
        : Child(args, env, false, "> ") {
        answerWithinMs = 150000;
    }
};

TEST(MPlrProcesses, ThreePeersPlayInThreeProcesses) {
    // The peers make their scratch folders in ours, so that a killed peer's goes with it.
    const TestSupport::TempDir scratch{"corvane-peers"};
    const std::vector<std::string> env = {"CORVANE_DPLAY_ENUM_PORT=" + std::to_string(NetTest::FreeUdpPort()),
                                          "CORVANE_DPLAY_BROADCAST=127.255.255.255",
                                          "TMPDIR=" + scratch.path.string()};
    const std::vector<std::string> args = {"/proc/self/exe", "--gtest_filter=MPlrPeerProcess.DISABLED_Serve",
                                           "--gtest_also_run_disabled_tests", "--gtest_brief=1"};
    PeerProcess a(args, env), b(args, env), c(args, env);
    ASSERT_TRUE(a.started && b.started && c.started);
    const std::string ra = a.Ask("host Anna");
    ASSERT_EQ(ra.rfind("ok ", 0), 0u) << ra;
    const std::string rb = b.Ask("join Boris");
    ASSERT_EQ(rb.rfind("ok ", 0), 0u) << rb;
    const std::string rc = c.Ask("join Chen");
    ASSERT_EQ(rc.rfind("ok ", 0), 0u) << rc;
    const std::string ia = PlayerIdOf(ra), ib = PlayerIdOf(rb), ic = PlayerIdOf(rc);
    PeerProcess* peers[3] = {&a, &b, &c};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(peers[i]->Ask("wait players 3"), "ok") << i;
        ASSERT_EQ(peers[i]->Ask("start " + std::to_string(i)), "ok") << i;
    }
    for (PeerProcess* p : peers)
        ASSERT_EQ(p->Ask("wait copies 2"), "ok");

    // Anna's gun brings Chen's copy down: each peer hears of it once (the victim who shot him, the others
    // who went down), Anna's kill reaches every session, and Chen flies again 12 s later above the ground.
    ASSERT_EQ(a.Ask("down " + ic + " Cannon"), "ok");
    EXPECT_EQ(c.Ask("wait shot-down 1 Anna"), "ok");
    EXPECT_EQ(a.Ask("wait shot-down 1 Chen"), "ok");
    EXPECT_EQ(b.Ask("wait shot-down 1 Chen"), "ok");
    // Anna's session counts the kill her airplane made; unchanged scores would reach the others trivially.
    EXPECT_EQ(a.Ask("score").substr(0, 2), "1 ");
    for (PeerProcess* p : peers)
        EXPECT_EQ(p->Ask("wait scores " + ia + " " + a.Ask("score")), "ok");
    EXPECT_EQ(c.Ask("wait spawned 2"), "ok");
    EXPECT_EQ(c.Ask("placed"), "yes");
    EXPECT_EQ(c.Ask("count shot-down Anna"), "1") << c.Ask("announcements");
    EXPECT_EQ(a.Ask("count shot-down Chen"), "1");
    EXPECT_EQ(b.Ask("count shot-down Chen"), "1");

    // Chat shows once on every peer, the sender's own included.
    ASSERT_EQ(b.Ask("chat hello there"), "ok");
    for (PeerProcess* p : peers)
        EXPECT_EQ(p->Ask("wait chat 1 hello there"), "ok");

    // Chen leaves: his copies vanish and his leaving is announced once.
    ASSERT_EQ(c.Ask("leave"), "ok");
    for (PeerProcess* p : {&a, &b}) {
        EXPECT_EQ(p->Ask("wait copies 1"), "ok");
        EXPECT_EQ(p->Ask("wait announced 1 Chen leaves the game"), "ok");
    }

    // The host's process is killed: Boris sees Anna go and plays on as the host of what is left; only a
    // peer cut off from every other would hear that its connection is lost.
    a.Kill();
    EXPECT_EQ(b.Ask("wait copies 0"), "ok");
    EXPECT_EQ(b.Ask("wait announced 1 Anna leaves the game"), "ok");
    EXPECT_EQ(b.Ask("phase"), std::to_string(int(MPlr::NetworkObjects::Running)));
    EXPECT_EQ(b.Ask("count lost"), "0");
    EXPECT_EQ(b.Ask("count chat hello there"), "1");
    b.Ask("exit");
    c.Ask("exit");
}

} // namespace
} // namespace GameTest
