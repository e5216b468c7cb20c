// One session peer driven line by line on stdin, answering one line on stdout per command; the
// multi-process tests run three of these. "SessionPeer trio" runs a whole three-peer game in this one
// process and prints PASS or FAIL (for network namespaces with injected loss and delay).
#include "network/Session.h"
#include "NetTestSupport.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>

using namespace NetTest;

namespace {

std::string Ids(const std::vector<DPNID>& ids) {
    std::string s;
    for (DPNID id : ids)
        s += " " + std::to_string(id);
    return s;
}

std::string Events(const Drained& d) {
    std::string s = "events";
    for (auto& [kind, id] : d.Events())
        s += " " + std::to_string(kind) + ":" + std::to_string(id);
    return s;
}

bool HasMessage(MPlr::Session& s, Drained& d, DPNID sender, const std::string& text, double seconds) {
    return WaitFor(
        [&] {
            d.Take(s);
            for (auto* m : d.From(sender))
                if (std::string(m->buffer.begin(), m->buffer.end() - 1) == text)
                    return true;
            return false;
        },
        seconds);
}

bool TeamIs(MPlr::Session& s, DPNID id, const std::string& team, double seconds) {
    return WaitFor(
        [&] {
            std::string name, text;
            s.GetPlayerNames(id, name, text);
            return text == team;
        },
        seconds);
}

// The whole game in one process, generous with time: the links may lose, delay and reorder.
int Trio() {
    const double wait = 30;
    MPlr::Session a, b, c;
    if (!a.Host("Trio", "Anna", 16, 0, nullptr, "Red") || !JoinFirstHost(b, "Boris", "Blue", wait) ||
        !JoinFirstHost(c, "Chen", "Red", wait)) {
        std::cout << "FAIL join" << std::endl;
        return 1;
    }
    for (MPlr::Session* s : {&a, &b, &c})
        if (!WaitFor([&] { return PlayerIds(*s).size() == 3; }, wait) || PlayerIds(*s) != PlayerIds(a)) {
            std::cout << "FAIL players" << std::endl;
            return 1;
        }
    DPNID ia = a.FindLocalPlayer()->id, ib = b.FindLocalPlayer()->id, ic = c.FindLocalPlayer()->id;
    Drained da, db, dc;
    Send(a, 0, "removed", RemovedFlags);
    Send(c, 0, "chat", ChatFlags);
    for (int i = 0; i < 200; ++i)
        Send(b, 0, "state", StateFlags, 500);
    if (!HasMessage(b, db, ia, "removed", wait) || !HasMessage(c, dc, ia, "removed", wait) ||
        !HasMessage(c, dc, ic, "chat", wait) || !HasMessage(a, da, ic, "chat", wait) ||
        !HasMessage(b, db, ic, "chat", wait)) {
        std::cout << "FAIL guaranteed" << std::endl;
        return 1;
    }
    std::array<uint8_t, 32> data{};
    std::memcpy(&data[8], "Green", 6);
    b.SetLocalPlayerData(data.data(), 32);
    for (MPlr::Session* s : {&a, &b, &c})
        if (!TeamIs(*s, ib, "Green", wait)) {
            std::cout << "FAIL info" << std::endl;
            return 1;
        }
    c.Reinitialize();
    dc.Take(c);
    auto ev = dc.Events();
    if (ev.size() < 3 || ev.back() != std::make_pair(2, ic) || !PlayerIds(c).empty()) {
        std::cout << "FAIL close" << std::endl;
        return 1;
    }
    for (MPlr::Session* s : {&a, &b})
        if (!WaitFor([&] { return PlayerIds(*s) == std::vector<DPNID>({ia, ib}); }, wait)) {
            std::cout << "FAIL leave" << std::endl;
            return 1;
        }
    std::cout << "PASS" << std::endl;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "trio")
        return Trio();
    Dp8::Control::SetLinkTimeoutMs(3000);
    auto session = std::make_unique<MPlr::Session>();
    Drained drained;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string command, a1, a2;
        in >> command >> a1 >> a2;
        std::string reply = "ok";
        if (command == "host") {
            reply = session->Host("Lan game", a1, 16, 0, nullptr, a2)
                        ? "ok " + std::to_string(session->FindLocalPlayer()->id)
                        : "fail";
        } else if (command == "join") {
            reply = JoinFirstHost(*session, a1, a2, 10)
                        ? "ok " + std::to_string(session->FindLocalPlayer()->id)
                        : "fail";
        } else if (command == "players") {
            size_t n = std::stoul(a1);
            reply = WaitFor([&] { return PlayerIds(*session).size() == n; })
                        ? "players" + Ids(PlayerIds(*session))
                        : "timeout";
        } else if (command == "events") {
            drained.Take(*session);
            reply = Events(drained);
        } else if (command == "send") {
            Send(*session, 0, a1, RemovedFlags);
        } else if (command == "chat") {
            Send(*session, 0, a1, ChatFlags);
        } else if (command == "to") {
            Send(*session, DPNID(std::stoul(a1)), a2, RemovedFlags);
        } else if (command == "wait-msg") {
            reply = HasMessage(*session, drained, DPNID(std::stoul(a1)), a2, 10) ? "ok" : "timeout";
        } else if (command == "count-msg") {
            drained.Take(*session);
            size_t n = 0;
            for (auto* m : drained.From(DPNID(std::stoul(a1))))
                n += std::string(m->buffer.begin(), m->buffer.end() - 1) == a2;
            reply = std::to_string(n);
        } else if (command == "team") {
            std::array<uint8_t, 32> data{};
            std::memcpy(&data[8], a1.data(), std::min<size_t>(a1.size(), 23));
            session->SetLocalPlayerData(data.data(), 32);
        } else if (command == "wait-team") {
            reply = TeamIs(*session, DPNID(std::stoul(a1)), a2, 10) ? "ok" : "timeout";
        } else if (command == "close") {
            session->Reinitialize();
            drained.Take(*session); // everything Close handed over, read at once
            reply = Events(drained);
        } else if (command == "role") {
            std::vector<uint64_t> buffer(256);
            auto info = reinterpret_cast<DPN_PLAYER_INFO*>(buffer.data());
            info->dwSize = sizeof *info;
            DWORD size = DWORD(buffer.size() * 8);
            std::optional<MPlr::PlayerEntry> local = session->FindLocalPlayer();
            if (!local || session->peer->GetPeerInfo(local->id, info, &size, 0) != DPN_OK)
                reply = "none";
            else
                reply = info->dwPlayerFlags & DPNPLAYER_HOST ? "host" : "member";
        } else if (command == "cut") {
            Dp8::Control::CutOff(session->peer, true);
        } else if (command == "exit") {
            session.reset();
            std::cout << "bye" << std::endl;
            return 0;
        } else {
            reply = "unknown";
        }
        std::cout << reply << std::endl;
    }
    return 0;
}
