// Three players, each in a process of its own with its own network namespace, on one network that the test
// makes (a bridge in a user and network namespace of its own, each player's namespace linked to it), play
// through the menus with the UI driver: Anna hosts a team game; Boris and Chen search by broadcast, find it,
// join, pick teams (each sees the other's choice at once), choose their airplanes and fly; every world then
// holds the three airplanes. Where the machine allows no namespaces, the three processes share loopback and
// the test says so.
#include <gtest/gtest.h>

#include "tests/support/Loopback.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

// A process whose stdin the test writes commands to and whose "reply " lines it reads; the rest of its output
// (the test framework's own lines) is passed over.
class Process {
public:
    Process(std::vector<std::string> args, const std::vector<std::string>& env) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        // The environment without the test's network settings, with the ones given.
        std::vector<std::string> vars;
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "CORVANE_DPLAY_", 14) != 0)
                vars.emplace_back(*e);
        vars.insert(vars.end(), env.begin(), env.end());
        std::vector<char*> envp;
        for (std::string& v : vars)
            envp.push_back(v.data());
        envp.push_back(nullptr);
        if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        to = in[1];
        from = out[0];
    }
    ~Process() {
        if (to >= 0)
            close(to);
        if (from >= 0)
            close(from);
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    void Send(const std::string& command) {
        const std::string line = command + "\n";
        EXPECT_EQ(write(to, line.data(), line.size()), ssize_t(line.size())) << command;
    }
    // The next reply, without its "reply " prefix.
    std::string Reply(int timeoutMs = 120000) {
        for (;;) {
            const size_t eol = buffer.find('\n');
            if (eol != std::string::npos) {
                const std::string line = buffer.substr(0, eol);
                buffer.erase(0, eol + 1);
                if (line.rfind("reply ", 0) == 0)
                    return line.substr(6);
                continue;
            }
            pollfd p{from, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0)
                return "no answer";
            char chunk[4096];
            const ssize_t n = read(from, chunk, sizeof chunk);
            if (n <= 0)
                return "closed";
            buffer.append(chunk, size_t(n));
        }
    }
    std::string Ask(const std::string& command) {
        Send(command);
        return Reply();
    }

    pid_t pid = -1;

private:
    int to = -1, from = -1;
    std::string buffer;
};

// Runs a command line to its end; true when it exits with 0.
bool RunCommand(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The network of the test: a bridge in a namespace of its own, and each player's namespace linked to it with
// an address of 10.77.0.0/24.
class Network {
public:
    bool Start() {
        hub = std::make_unique<Process>(
            std::vector<std::string>{
                "unshare", "--user", "--map-root-user", "--net", "sh", "-c",
                "ip link set lo up && ip link add br0 type bridge && ip link set br0 up && "
                "echo reply ready && exec cat"},
            std::vector<std::string>{});
        return hub->pid > 0 && hub->Reply(20000) == "ready";
    }
    // A player's process in a new network namespace under the network's user namespace.
    std::unique_ptr<Process> Spawn(const std::string& program) {
        return std::make_unique<Process>(std::vector<std::string>{"nsenter", "--target",
                                                                  std::to_string(hub->pid), "--user", "--net",
                                                                  "unshare", "--net", program},
                                         std::vector<std::string>{});
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
            {"nsenter", "--target", std::to_string(hub->pid), "--user", "--net", "sh", "-c", script});
    }

private:
    std::unique_ptr<Process> hub;
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
void Do(Process& peer, const char* who, const std::vector<std::string>& commands) {
    for (const std::string& c : commands)
        ASSERT_EQ(peer.Ask(c), "ok") << who << ": " << c;
}

TEST(MPlrThreePeers, HostJoinPickTeamsAndPlayThroughTheMenus) {
    Network network;
    const bool namespaces = network.Start();
    std::vector<std::unique_ptr<Process>> peers;
    const std::vector<std::string> loopback = {"CORVANE_DPLAY_ENUM_PORT=" +
                                                   std::to_string(TestSupport::FreeUdpPort()),
                                               "CORVANE_DPLAY_BROADCAST=127.255.255.255"};
    if (!namespaces)
        std::printf("This machine allows no network namespace of the test's own: the three players run on "
                    "loopback, searching by broadcast to 127.255.255.255.\n");
    for (int i = 0; i < 3; ++i)
        peers.push_back(namespaces
                            ? network.Spawn(MENU_PEER)
                            : std::make_unique<Process>(std::vector<std::string>{MENU_PEER}, loopback));
    for (int i = 0; i < 3; ++i) {
        ASSERT_GT(peers[size_t(i)]->pid, 0);
        ASSERT_EQ(peers[size_t(i)]->Reply(), "ready");
        if (namespaces) {
            ASSERT_TRUE(network.Link(peers[size_t(i)]->pid, i + 1));
        }
    }
    Process &anna = *peers[0], &boris = *peers[1], &chen = *peers[2];

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
    for (Process* p : {&anna, &boris, &chen})
        p->Send("airplanes 3");
    for (Process* p : {&anna, &boris, &chen})
        EXPECT_EQ(p->Reply(), "airplanes 3");

    // Boris leaves from the in-game menu: back on the main page; the others see his airplane go.
    ASSERT_NO_FATAL_FAILURE(
        Do(boris, "Boris",
           {"key ESCAPE", "page PageInMPlr", "click PageInMPlr.BtnDisconnect", "page PageMain"}));
    for (Process* p : {&anna, &chen})
        p->Send("airplanes 2");
    for (Process* p : {&anna, &chen})
        EXPECT_EQ(p->Reply(), "airplanes 2");
    for (Process* p : {&anna, &boris, &chen})
        p->Send("exit");
}

} // namespace
