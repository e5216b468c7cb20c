// Helpers of the network tests: a private enumeration port per test process, broadcasts kept on loopback,
// and waiting on a condition with a deadline (never a fixed sleep).
#pragma once

#include "tests/support/Loopback.h"

#include "network/Session.h"
#include "platform/dplay/Control.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace NetTest {

using TestSupport::FreeUdpPort;
using TestSupport::WaitFor;

inline void UseLoopbackOnly(uint32_t linkTimeoutMs = 3000) {
    Dp8::Control::SetEnumPort(FreeUdpPort());
    Dp8::Control::SetBroadcastTargets({"127.255.255.255"});
    Dp8::Control::SetLinkTimeoutMs(linkTimeoutMs);
    Dp8::Control::SetConnectTimeoutMs(4000);
}

// What a session has queued so far, taken out as the game's dispatch would take it.
struct Drained {
    std::vector<MPlr::IncomingMessage> all;
    void Take(MPlr::Session& s) {
        std::lock_guard<std::mutex> hold(s.incomingLock);
        for (auto& m : s.incoming)
            all.push_back(std::move(m));
        s.incoming.clear();
    }
    // Session events as (kind, id) in arrival order.
    std::vector<std::pair<int, DPNID>> Events() const {
        std::vector<std::pair<int, DPNID>> out;
        for (auto& m : all)
            if (m.sender == 0)
                out.emplace_back(int(m.event.kind), m.event.player.id);
        return out;
    }
    std::vector<const MPlr::IncomingMessage*> From(DPNID sender) const {
        std::vector<const MPlr::IncomingMessage*> out;
        for (auto& m : all)
            if (m.sender == sender)
                out.push_back(&m);
        return out;
    }
    size_t Messages() const {
        size_t n = 0;
        for (auto& m : all)
            n += m.sender != 0;
        return n;
    }
};

inline std::vector<DPNID> PlayerIds(MPlr::Session& s) {
    std::lock_guard<std::mutex> hold(s.playersLock);
    std::vector<DPNID> ids;
    for (auto& p : s.players)
        ids.push_back(p.id);
    std::sort(ids.begin(), ids.end());
    return ids;
}

// Searches by broadcast and joins the first session that answers; false when none answers in time or the
// join fails.
inline bool JoinFirstHost(MPlr::Session& s, const std::string& name, const std::string& team = "",
                          double seconds = 20) {
    s.EnumerateHosts(true, "", false);
    std::vector<MPlr::HostEntry> hosts;
    const bool found = WaitFor(
        [&] {
            s.GetRecentHosts(hosts);
            return !hosts.empty();
        },
        seconds);
    s.EnumerateHosts(false, "", true);
    return found && s.Connect(hosts[0], name, team);
}

inline HRESULT Send(MPlr::Session& s, DPNID to, const std::string& text, DWORD flags, DWORD timeout = 0) {
    DPN_BUFFER_DESC b{DWORD(text.size() + 1), reinterpret_cast<BYTE*>(const_cast<char*>(text.c_str()))};
    DPNHANDLE h;
    return s.peer->SendTo(to, &b, 1, timeout, nullptr, &h, flags);
}

constexpr DWORD StateFlags = DPNSEND_NONSEQUENTIAL | DPNSEND_NOLOOPBACK; // 0x30
constexpr DWORD RemovedFlags =
    DPNSEND_GUARANTEED | DPNSEND_NONSEQUENTIAL | DPNSEND_NOLOOPBACK | 0x80u;                    // 0xB8
constexpr DWORD ChatFlags = DPNSEND_GUARANTEED | DPNSEND_NONSEQUENTIAL | DPNSEND_PRIORITY_HIGH; // 0x98

} // namespace NetTest
