#include "network/Proxies.h"

#include "network/Dispatch.h"

#include "base/FrameClock.h"
#include "base/Random.h"

#include <algorithm>

namespace Comm {

NetworkObj::NetworkObj(MPlr::NetworkObjects* registry, const GUID& guid) : registry(registry), guid(guid) {}

void NetworkObj::AddToHistory(HistoryEntry entry) {
    // Binary insertion: the times are finite (the dispatch refuses others), so the order is strict.
    auto at = std::upper_bound(history.begin(), history.end(), entry.time,
                               [](float t, const HistoryEntry& e) { return t < e.time; });
    history.insert(at, std::move(entry));
    if (history.size() > MaxHistory)
        history.erase(history.begin(), history.end() - std::ptrdiff_t(MaxHistory));
}

bool NetworkObj::NewestBefore(float t, std::size_t& index) const {
    if (history.empty() || t < history.front().time)
        return false;
    // The last entry whose time is not after t.
    auto after = std::upper_bound(history.begin(), history.end(), t,
                                  [](float time, const HistoryEntry& e) { return time < e.time; });
    index = std::size_t(after - history.begin()) - 1;
    return true;
}

bool NetworkObj::Pair(float t, std::size_t& older, std::size_t& newer) const {
    if (!NewestBefore(t, older))
        return false;
    newer = older + 1 < history.size() ? older + 1 : older;
    return true;
}

bool NetworkObj::Pair(float t, uint8_t flag, std::size_t& older, std::size_t& newer) const {
    bool found = false;
    for (std::size_t i = 0; i < history.size(); ++i) {
        if (history[i].ValidFlag() != flag)
            continue;
        if (history[i].time <= t) {
            older = newer = i;
            found = true;
        } else {
            if (found)
                newer = i;
            break;
        }
    }
    return found;
}

void NetworkObj::DropBefore(std::size_t index) {
    index = std::min(index, history.size());
    history.erase(history.begin(), history.begin() + std::ptrdiff_t(index));
}

float NetworkObj::Factor(float clock, float t0, float t1) {
    if (t0 == t1)
        return 0.0f;
    return (clock - t0) / (t1 - t0);
}

namespace {
GUID NewGuid() {
    GUID guid{};
    UuidCreate(&guid);
    return guid;
}
} // namespace

LocalObj::LocalObj(MPlr::NetworkObjects* registry) : NetworkObj(registry, NewGuid()) {}

void LocalObj::Update() {
    if (removedSent || HasObject())
        return;
    RemovedMessage m;
    m.header.object = guid;
    m.header.sendTime = float(Base::FrameClock::GameTime);
    registry->Send(Encode(m), RemovedSendFlags, 0, DPNID_ALL_PLAYERS_GROUP);
    removedSent = true;
}

RemoteObj::RemoteObj(MPlr::NetworkObjects* registry, const GUID& guid, DPNID owner, float clock)
    : NetworkObj(registry, guid), clock(clock), owner(owner) {}

void RemoteObj::Update() {
    clock += float(Base::FrameClock::FrameTime);
    if (removalTime >= 0.0f && clock >= removalTime && HasObject())
        DeleteObject();
}

bool SendTimer::Due(float now, float period, float jitter) {
    if (now < stamp + period)
        return false;
    const float u = float(Base::Random::NextUInt32()) * (1.0f / 4294967296.0f);
    stamp = now + (2.0f * u - 1.0f) * jitter;
    return true;
}

} // namespace Comm
