// Arbitrary traffic from a few peers through the network game's dispatch: sizes, kinds, non-finite
// values, reused ids, spoofed senders, removals before states, players leaving. Whatever arrives, no
// proxy's history outgrows its bound, every copy belongs to a player still in the game (while connected) and
// every history entry of a copy came from its owner.
//
// Input: records of [sender u8][length u8][bytes]. Sender 0 is a session event: the first byte of the
// record says which player (1-4) leaves; senders 1-4 are players (1 is this peer), others strangers. The
// records are processed in batches of four. The proxies are the game's own, in a game without a world (so
// no copy is made, but every history is kept, paired and pruned as in a game); this peer's airplane proxy,
// under the id 01 01 ... 01, takes the damage reports.
#include "network/Dispatch.h"
#include "network/ObjectProxies.h"

#include "base/FrameClock.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

void Check(bool ok) {
    if (!ok)
        __builtin_trap();
}

class Game : public MPlr::NetworkHost {
public:
    void Announce(const Base::String&) override {}
    void AddChatLine(DPNID, const Base::String& text) override { Check(text.size() <= Comm::MaxChatChars); }
    uint32_t GameType() const override { return 2; }
    bool HasLocalPilot() const override { return true; }
    std::unique_ptr<Comm::RemoteObj> MakeRemote(MPlr::NetworkObjects* registry, uint8_t kind,
                                                const GUID& guid, DPNID owner, float clock) override {
        Check(kind >= 1 && kind <= 5);
        return Comm::MakeRemoteProxy(registry, kind, guid, owner, clock);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static MPlr::Session session;
    Base::FrameClock::SetFixedStep(0.05, 100.0);
    session.incoming.clear();
    session.players.clear();
    for (DPNID id = 1; id <= 4; ++id) {
        MPlr::PlayerEntry p;
        p.id = id;
        p.local = id == 1;
        session.players.push_back(p);
    }
    Game game;
    MPlr::NetworkObjects registry(&game, &session);
    registry.ProcessIncoming();
    auto own = std::make_unique<Comm::LocalAirplane>(&registry, nullptr);
    std::memset(&own->guid, 1, sizeof own->guid);
    registry.Register(std::move(own));
    std::size_t at = 0;
    int records = 0;
    while (at + 2 <= size) {
        const uint8_t sender = data[at];
        const std::size_t length = std::min<std::size_t>(data[at + 1], size - at - 2);
        MPlr::IncomingMessage m;
        m.sender = sender;
        if (sender == 0) {
            const DPNID leaving = length ? 1 + data[at + 2] % 4 : 2;
            m.event.kind = MPlr::SessionEventKind::PlayerDestroyed;
            m.event.player.id = leaving;
            m.event.player.local = leaving == 1;
            std::erase_if(session.players, [&](const MPlr::PlayerEntry& p) { return p.id == leaving; });
        } else {
            m.buffer.assign(data + at + 2, data + at + 2 + length);
            m.size = uint32_t(length);
        }
        session.incoming.push_back(std::move(m));
        at += 2 + length;
        if (++records % 4 == 0) {
            Base::FrameClock::Tick();
            registry.ProcessIncoming();
        }
    }
    Base::FrameClock::Tick();
    registry.ProcessIncoming();

    for (const auto& [guid, proxy] : registry.proxies) {
        Check(proxy->history.size() <= Comm::MaxHistory);
        auto* copy = dynamic_cast<Comm::RemoteProxy*>(proxy.get());
        if (!copy)
            continue;
        // Once the connection is lost nothing more is read, leaves included.
        bool present = registry.phase != MPlr::NetworkObjects::Running;
        for (const MPlr::PlayerEntry& p : session.players)
            present |= p.id == copy->owner;
        Check(present);
        for (const Comm::HistoryEntry& e : copy->history) {
            Check(e.sender == copy->owner);
            Check(e.buffer.size() > 1 && e.buffer[1] == copy->kind);
        }
    }
    Base::FrameClock::SetFixedStep(0);
    return 0;
}
