#include "platform/dplay/Control.h"

#include "platform/dplay/Peer.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <sstream>

namespace Dp8::Control {
namespace {

std::atomic<uint16_t> enumPort{0};
std::atomic<uint32_t> linkTimeout{0};
std::atomic<bool> answerEnumerations{true};
std::atomic<uint32_t> connectTimeout{0};
std::mutex targetsLock;
std::vector<std::string> targets;

std::mutex lookUpLock;
std::function<std::optional<std::string>(const std::string&)> lookUpFunction;

Peer* AsPeer(IDirectPlay8Peer* peer) {
    return dynamic_cast<Peer*>(peer);
}

} // namespace

void SetEnumPort(uint16_t port) {
    enumPort = port;
}

uint16_t EnumPort() {
    if (uint16_t p = enumPort)
        return p;
    if (const char* env = std::getenv("CORVANE_DPLAY_ENUM_PORT")) {
        long v = std::strtol(env, nullptr, 10);
        if (v > 0 && v < 65536)
            return uint16_t(v);
    }
    return 24760;
}

void SetAnswerEnumerations(bool answer) {
    answerEnumerations = answer;
}

bool AnswerEnumerations() {
    return answerEnumerations;
}

void SetBroadcastTargets(std::vector<std::string> ipv4) {
    std::lock_guard<std::mutex> hold(targetsLock);
    targets = std::move(ipv4);
}

std::vector<std::string> BroadcastTargets() {
    {
        std::lock_guard<std::mutex> hold(targetsLock);
        if (!targets.empty())
            return targets;
    }
    std::vector<std::string> out;
    if (const char* env = std::getenv("CORVANE_DPLAY_BROADCAST")) {
        std::stringstream list(env);
        std::string item;
        while (std::getline(list, item, ','))
            if (!item.empty())
                out.push_back(item);
    }
    return out;
}

void SetLinkTimeoutMs(uint32_t ms) {
    linkTimeout = ms;
}

uint32_t LinkTimeoutMs() {
    uint32_t v = linkTimeout;
    return v ? v : 8000;
}

void SetConnectTimeoutMs(uint32_t ms) {
    connectTimeout = ms;
}

uint32_t ConnectTimeoutMs() {
    uint32_t v = connectTimeout;
    return v ? v : 10000;
}

void SetNameLookUp(std::function<std::optional<std::string>(const std::string& name)> lookUp) {
    std::lock_guard<std::mutex> hold(lookUpLock);
    lookUpFunction = std::move(lookUp);
}

std::optional<std::string> LookUpName(const std::string& name) {
    std::function<std::optional<std::string>(const std::string&)> f;
    {
        std::lock_guard<std::mutex> hold(lookUpLock);
        f = lookUpFunction;
    }
    if (f)
        return f(name);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0 || !list)
        return std::nullopt;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr, text, sizeof text);
    freeaddrinfo(list);
    return std::string(text);
}

bool CutOff(IDirectPlay8Peer* peer, bool cut) {
    Peer* p = AsPeer(peer);
    if (p)
        p->SetIncomingLoss(cut ? 1.0 : 0.0);
    return p != nullptr;
}

bool SetIncomingLoss(IDirectPlay8Peer* peer, double fraction) {
    Peer* p = AsPeer(peer);
    if (p)
        p->SetIncomingLoss(fraction);
    return p != nullptr;
}

bool InjectPacket(IDirectPlay8Peer* peer, unsigned link, uint8_t channel, const uint8_t* bytes, size_t size) {
    Peer* p = AsPeer(peer);
    if (p)
        p->InjectPacket(link, channel, bytes, size);
    return p != nullptr;
}

bool InjectDatagram(IDirectPlay8Peer* peer, const uint8_t* bytes, size_t size) {
    Peer* p = AsPeer(peer);
    if (p)
        p->InjectDatagram(bytes, size);
    return p != nullptr;
}

} // namespace Dp8::Control
