// The network game's registry of proxies and its link to the session. Once a frame it takes what
// DirectPlay's threads queued, turns session events into announcements, hands chat to the game, routes
// object messages to their proxies by network id (making remote proxies for objects seen the first time)
// and runs every proxy. Peers are untrusted: a message reaches a proxy only when it is well formed, of the
// proxy's own kind, and, for a remote proxy, from the proxy's owner; messages from players who left, and
// states of objects already removed, are dropped.
#pragma once

#include "network/Messages.h"
#include "network/Proxies.h"
#include "network/Session.h"

#include "base/String.h"

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace Grp {
class World;
}

namespace MPlr {

// What the registry needs of the game it serves.
class NetworkHost {
public:
    virtual ~NetworkHost() = default;
    // Shows a text on the game's announcer from "SenderSystem".
    virtual void Announce(const Base::String& text) = 0;
    virtual void AddChatLine(DPNID sender, const Base::String& text) = 0;
    // 1 free for all, 2 team game.
    virtual uint32_t GameType() const = 0;
    // The local player has spawned.
    virtual bool HasLocalPilot() const = 0;
    // The same text as a chat line from "SenderSystem".
    virtual void AddSystemChatLine(const Base::String& /*text*/) {}
    // The world that copies of other peers' objects join (null: no copies are made).
    virtual Grp::World* GetWorld() { return nullptr; }
    // The remote proxy of an object kind (1 airplane ... 5 chaff), or null for a kind this game cannot copy.
    virtual std::unique_ptr<Comm::RemoteObj> MakeRemote(NetworkObjects* registry, uint8_t objectKind,
                                                        const GUID& guid, DPNID owner, float clock) = 0;
};

struct GuidLess {
    bool operator()(const GUID& a, const GUID& b) const {
        // Unsigned byte order of the 16 bytes as they are sent.
        uint8_t x[16], y[16];
        Pack(a, x);
        Pack(b, y);
        return std::memcmp(x, y, 16) < 0;
    }
    static void Pack(const GUID& g, uint8_t out[16]);
};

class NetworkObjects {
public:
    enum Phase { New = 1, Running = 2, ConnectionLost = 3 };
    // A removed object's id is remembered this long (seconds of game time): its late states create nothing.
    static constexpr double TombstoneSeconds = 30.0;
    static constexpr std::size_t MaxTombstones = 4096;

    NetworkObjects(NetworkHost* game, Session* session);
    ~NetworkObjects();
    NetworkObjects(const NetworkObjects&) = delete;
    NetworkObjects& operator=(const NetworkObjects&) = delete;

    // Adds a local proxy under its id; an id already there keeps its first proxy (and the new one is
    // deleted). Returns the registered proxy.
    Comm::NetworkObj* Register(std::unique_ptr<Comm::NetworkObj> proxy);
    Comm::NetworkObj* Find(const GUID& guid) const;
    // The proxy that stands beside or made that object; null when none does.
    Comm::NetworkObj* FindByObject(const Obj::Object* object) const;
    // Announced and written as a chat line from "SenderSystem".
    void AnnounceSystem(const Base::String& text);
    void ProcessIncoming();
    // Deletes every remote proxy (and its copy) owned by that player.
    void RemovePlayerObjects(DPNID player);
    // To every player, the sender included.
    void SendChat(const Base::String& text);
    // One message through the session's peer; false when there is no peer or it refuses.
    bool Send(const Comm::Bytes& bytes, uint32_t flags, uint32_t timeoutMs, DPNID to);

    // When set, every message goes here instead of out through the session's peer (a test's or a
    // benchmark's own wire).
    std::function<void(const Comm::Bytes& bytes, uint32_t flags, DPNID to)> divert;
    NetworkHost* game;
    Session* session;
    std::map<GUID, std::unique_ptr<Comm::NetworkObj>, GuidLess> proxies;
    Phase phase = New;

private:
    void HandleEvent(const IncomingMessage& message);
    void HandleObjectMessage(IncomingMessage& message, const Comm::MessageHeader& header,
                             Comm::Received kind);
    bool IsTombstoned(const GUID& guid);
    bool HasPlayer(DPNID id) const;

    std::vector<DPNID> players;         // in the session, sorted: messages from anyone else are dropped
    std::vector<IncomingMessage> batch; // this frame's messages, taken from the session's list
    std::map<GUID, double, GuidLess> tombstones;
};

} // namespace MPlr
