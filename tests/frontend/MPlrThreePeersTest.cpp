// Three players, each in a process of its own with its own network namespace, on one network that the test
// makes (a bridge in a user and network namespace of its own, each player's namespace linked to it), play
// through the menus with the UI driver: Anna hosts a team game; Boris and Chen search by broadcast, find it,
// join, pick teams (each sees the other's choice at once), choose their airplanes and fly; every world then
// holds the three airplanes. Where the machine allows no namespaces, the three processes share loopback and
// the test says so.
#include <gtest/gtest.h>

#include "tests/network/ChildProcess.h"
#include "tests/support/Loopback.h"

#include <algorithm>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using NetTest::Child;

// The test's own network settings are for loopback; the players in namespaces broadcast on their network.
const std::vector<std::string> OwnNetwork = {"CORVANE_DPLAY_ENUM_PORT", "CORVANE_DPLAY_BROADCAST"};

// A player's process, whose "reply " lines answer its commands; the rest of its output (the test
// framework's own lines) is passed over.
std::unique_ptr<Child> Player(std::vector<std::string> args, const std::vector<std::string>& env) {
    auto player = std::make_unique<Child>(std::move(args), env, false, "reply ");
    player->answerWithinMs = 120000;
    return player;
}

// Runs a command line to its end; true when it exits with 0.
bool RunCommand(std::vector<std::string> args) {
    Child command(std::move(args), {});
    return command.Wait() == 0;
}

// The network of the test: a bridge in a namespace of its own, and each player's namespace linked to it with
// an address of 10.77.0.0/24.
class Network {
public:
    bool Start() {
        hub = Player({"unshare", "--user", "--map-root-user", "--net", "sh", "-c",
                      "ip link set lo up && ip link add br0 type bridge && ip link set br0 up && "
                      "echo reply ready && exec cat"},
                     {});
        return hub->Pid() > 0 && hub->ReadLine(20000) == "ready";
    }
    // A player's process in a new network namespace under the network's user namespace.
    std::unique_ptr<Child> Spawn(const std::string& program) {
        return Player({"nsenter", "--target", std::to_string(hub->Pid()), "--user", "--net", "unshare",
                       "--net", program},
                      OwnNetwork);
    }
    // Links a player's namespace to the bridge as 10.77.0.<n>.
    bool Link(pid_t player, int n) {
        const std::string host = "h" + std::to_string(n), pid = std::to_string(player);
        const std::string script =
            "ip link add " + host + " type veth peer name eth0 netns " + pid + " && ip link set " + host +
            " master br0 && ip link set " + host + " up && nsenter --target " + pid +
            " --net sh -c 'ip link set lo up && ip addr add 10.77.0." + std::to_string(n) +
            "/24 broadcast 10.77.0.255 dev eth0 && ip link set eth0 up'";
        return RunCommand(
            {"nsenter", "--target", std::to_string(hub->Pid()), "--user", "--net", "sh", "-c", script});
    }

private:
    std::unique_ptr<Child> hub;
};

std::set<std::string> Split(const std::string& lines) {
    std::set<std::string> out;
    std::istringstream in(lines.substr(lines.find(' ') + 1));
    std::string line;
    while (std::getline(in, line, '|'))
        if (!line.empty())
            out.insert(line);
    return out;
}

// Every command must be answered "ok".
void Do(Child& peer, const char* who, const std::vector<std::string>& commands) {
    for (const std::string& c : commands)
        ASSERT_EQ(peer.Ask(c), "ok") << who << ": " << c;
}

TEST(MPlrThreePeers, HostJoinPickTeamsAndPlayThroughTheMenus) {
    Network network;
    const bool namespaces = network.Start();
    std::vector<std::unique_ptr<Child>> peers;
    const std::vector<std::string> loopback = {"CORVANE_DPLAY_ENUM_PORT=" +
                                                   std::to_string(TestSupport::FreeUdpPort()),
                                               "CORVANE_DPLAY_BROADCAST=127.255.255.255"};
    if (!namespaces)
        std::printf("This machine allows no network namespace of the test's own: the three players run on "
                    "loopback, searching by broadcast to 127.255.255.255.\n");
    for (int i = 0; i < 3; ++i)
        peers.push_back(namespaces ? network.Spawn(MENU_PEER) : Player({MENU_PEER}, loopback));
    for (int i = 0; i < 3; ++i) {
        ASSERT_GT(peers[size_t(i)]->Pid(), 0);
        ASSERT_EQ(peers[size_t(i)]->ReadLine(), "ready");
        if (namespaces) {
            ASSERT_TRUE(network.Link(peers[size_t(i)]->Pid(), i + 1));
        }
    }
    Child &anna = *peers[0], &boris = *peers[1], &chen = *peers[2];

    // Anna hosts a team game in the red team and flies.
    ASSERT_NO_FATAL_FAILURE(Do(anna, "Anna",
                               {"page PageMain",
                                "click PageMain.BtnMultiplayer",
                                "page PageMultiplayer",
                                "click PageMultiplayer.BtnHostGame",
                                "page PageHostGame",
                                "erase PageHostGame.EditGameName",
                                "type PageHostGame.EditGameName Trio",
                                "erase PageHostGame.EditPlayerName",
                                "type PageHostGame.EditPlayerName Anna",
                                "pick PageHostGame.GameTypesList 1",
                                "pick PageHostGame.TeamsList 0",
                                "click PageHostGame.BtnCreate",
                                "page PageStartPosition",
                                "pick PageStartPosition.AltitudeList 2",
                                "click PageStartPosition.BtnFly",
                                "page PageSelectAirplane",
                                "pick PageSelectAirplane.AirplanesList 2",
                                "click PageSelectAirplane.BtnFly",
                                "page PageSelectWeapons",
                                "click PageSelectWeapons.BtnFly",
                                "game"}));

    // Boris and Chen search, find Trio and join it.
    for (auto [peer, name] : {std::pair{&boris, "Boris"}, std::pair{&chen, "Chen"}}) {
        ASSERT_NO_FATAL_FAILURE(
            Do(*peer, name,
               {"page PageMain", "click PageMain.BtnMultiplayer", "page PageMultiplayer",
                "click PageMultiplayer.BtnJoinGame", "page PageJoinGame", "erase PageJoinGame.EditPlayerName",
                std::string("type PageJoinGame.EditPlayerName ") + name, "click PageJoinGame.BtnFill"}));
        const std::string found = peer->Ask("lines PageJoinGame.HostsList 1");
        ASSERT_EQ(found.rfind("lines Trio (Teams) (", 0), 0u) << name << ": " << found;
        ASSERT_NO_FATAL_FAILURE(
            Do(*peer, name,
               {"pick PageJoinGame.HostsList 0", "click PageJoinGame.BtnJoin", "page PageJoinGameTeams"}));
    }

    // The teams: Anna in red; each joiner sees the other's choice.
    EXPECT_EQ(boris.Ask("lines PageJoinGameTeams.Team1.PlrsList 1"), "lines Anna");
    ASSERT_NO_FATAL_FAILURE(Do(boris, "Boris", {"click PageJoinGameTeams.Team2.TeamName"}));
    EXPECT_EQ(chen.Ask("lines PageJoinGameTeams.Team2.PlrsList 1"), "lines Boris");
    ASSERT_NO_FATAL_FAILURE(Do(chen, "Chen", {"click PageJoinGameTeams.Team1.TeamName"}));
    EXPECT_EQ(Split(boris.Ask("lines PageJoinGameTeams.Team1.PlrsList 2")),
              (std::set<std::string>{"Anna", "Chen"}));
    EXPECT_EQ(Split(chen.Ask("lines PageJoinGameTeams.Team1.PlrsList 2")),
              (std::set<std::string>{"Anna", "Chen"}));

    // Into the game, and everyone sees everyone's airplane.
    for (auto [peer, name] : {std::pair{&boris, "Boris"}, std::pair{&chen, "Chen"}})
        ASSERT_NO_FATAL_FAILURE(Do(*peer, name,
                                   {"click PageJoinGameTeams.BtnSelectAirplane", "page PageSelectAirplane",
                                    "click PageSelectAirplane.BtnFly", "page PageSelectWeapons",
                                    "click PageSelectWeapons.BtnFly", "game"}));
    for (Child* p : {&anna, &boris, &chen})
        p->Send("airplanes 3");
    for (Child* p : {&anna, &boris, &chen})
        EXPECT_EQ(p->ReadLine(), "airplanes 3");

    // Boris leaves from the in-game menu: back on the main page; the others see his airplane go.
    ASSERT_NO_FATAL_FAILURE(
        Do(boris, "Boris",
           {"key ESCAPE", "page PageInMPlr", "click PageInMPlr.BtnDisconnect", "page PageMain"}));
    for (Child* p : {&anna, &chen})
        p->Send("airplanes 2");
    for (Child* p : {&anna, &chen})
        EXPECT_EQ(p->ReadLine(), "airplanes 2");
    for (Child* p : {&anna, &boris, &chen})
        p->Send("exit");
}

} // namespace
