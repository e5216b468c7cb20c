// The one peer-to-peer network session of the game, on the DirectPlay 8 layer. The front end hosts,
// enumerates and joins with it; the multiplayer game sends through its peer and drains its incoming list.
// DirectPlay calls back on its own thread: the callback only appends to the three locked lists below.
#pragma once

#include "base/String.h"

#include <dplay8.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace MPlr {

// The application GUID, the same in every peer: {FD593755-196F-4D5E-B237-9C20BA2E98A7}.
extern const GUID ApplicationGuid;

constexpr uint32_t PlayerDataSize = 32;
constexpr uint32_t PlayerTextOffset = 8;
constexpr uint32_t MaxPlayerText = 23;
constexpr uint32_t MaxNameChars = 64;

// An address that holds its reference for as long as any copy of the entry lives.
using AddressRef = std::shared_ptr<IDirectPlay8Address>;

struct HostEntry {
    GUID instance{};
    double lastSeen = 0;
    Base::String sessionName;
    uint32_t latency = 0;
    uint32_t currentPlayers = 0;
    uint32_t maxPlayers = 0;
    AddressRef deviceAddress;
    AddressRef hostAddress;
    uint32_t reservedSize = 0;
    std::shared_ptr<const std::vector<uint8_t>> reserved;
};

struct PlayerEntry {
    DPNID id = 0;
    Base::String name;
    uint8_t local = 0;
    uint32_t dataSize = 0;
    std::array<uint8_t, PlayerDataSize> data{}; // zero past dataSize

    // The player's second text (the team): the NUL-terminated text at byte 8, within the 32 bytes.
    Base::String Text() const;
};

enum class SessionEventKind : uint8_t { PlayerCreated = 1, PlayerDestroyed = 2 };

struct SessionEvent {
    SessionEventKind kind{};
    PlayerEntry player;
};

// A received message (sender != 0) or a session event (sender 0).
struct IncomingMessage {
    uint32_t size = 0;
    DPNID sender = 0;
    std::vector<uint8_t> buffer;
    SessionEvent event; // sender 0 only
};

class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool Host(const Base::String& sessionName, const Base::String& playerName, uint32_t maxPlayers,
              uint32_t reservedSize, const void* reservedData, const Base::String& playerText);
    bool Connect(const HostEntry& host, const Base::String& playerName, const Base::String& playerText);
    void EnumerateHosts(bool start, const Base::String& hostName, bool cancel);
    void GetRecentHosts(std::vector<HostEntry>& out);
    void ClearHosts();
    // A copy taken under the players lock: the list changes on DirectPlay's thread.
    std::optional<PlayerEntry> FindLocalPlayer();
    void SetLocalPlayerData(const void* bytes, uint32_t size);
    PlayerEntry GetPeerInfo(DPNID id);
    void GetPlayerNames(DPNID id, Base::String& name, Base::String& text);
    void GetLocalPlayerName(Base::String& name, Base::String& text);
    // Leaves the session (every destroy event is queued when it returns) and makes the peer ready again.
    void Reinitialize();

    static HRESULT MessageCallback(PVOID context, DWORD messageType, PVOID message);
    void HandleMessage(DWORD messageType, PVOID message);

    // The incoming list stops growing here when nobody drains it; session events are always kept. Each
    // sender has its own share, so that one member flooding a game slow to drain cannot push out the
    // others' messages.
    static constexpr size_t SenderShares = 16;
    static constexpr size_t MaxIncomingPerSender = 1024;
    static constexpr size_t MaxIncomingBytesPerSender = 1024u * 1024;
    static constexpr size_t MaxIncoming = MaxIncomingPerSender * SenderShares;
    static constexpr size_t MaxIncomingBytes = MaxIncomingBytesPerSender * SenderShares;
    static constexpr size_t MaxHosts = 64;

    double hostTimeout = 3.0;
    IDirectPlay8Peer* peer = nullptr;
    std::vector<HostEntry> hosts;
    std::vector<PlayerEntry> players;
    std::vector<IncomingMessage> incoming;
    std::mutex hostsLock;
    std::mutex playersLock; // taken before incomingLock, never after
    std::mutex incomingLock;
    DPNHANDLE enumerationHandle = 0;

private:
    struct Share {
        size_t count = 0;
        size_t bytes = 0;
    };
    void Queue(IncomingMessage message);
    void RecountIncoming();
    // What the incoming list holds, counted as messages arrive; the game may take them out in part, so the
    // counts are made again from the list before anything is refused.
    size_t incomingBytes = 0;
    std::map<DPNID, Share> incomingFrom;
    size_t countedSize = 0; // the list's length when last counted: another length means it was taken from
};

} // namespace MPlr
