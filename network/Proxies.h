// The proxies that stand beside every shared object of a network game: a local proxy sends its object's
// state and, once the object is gone, one removed notice; a remote proxy keeps the owner's states in a
// history ordered by send time and plays them back 2 s behind the owner's clock. The object kinds
// (airplane, explosion, rocket, flare, chaff) derive from these and say what they send and apply.
#pragma once

#include "network/Messages.h"

#include <dplay8.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace MPlr {
class NetworkObjects;
}
namespace Obj {
class Object;
}

namespace Comm {

// One received message kept by a proxy.
struct HistoryEntry {
    float time = 0.0f; // the sender's send time
    DPNID sender = 0;
    std::vector<uint8_t> buffer;

    uint8_t ValidFlag() const { return buffer.size() > 24 ? buffer[24] : 0; }
};

// How far a remote copy runs behind its owner's clock.
constexpr float RemoteDelay = 2.0f;
// A history never grows past this: a peer that sends states from the future cannot fill memory.
constexpr std::size_t MaxHistory = 64;

class NetworkObj {
public:
    NetworkObj(MPlr::NetworkObjects* registry, const GUID& guid);
    virtual ~NetworkObj() = default;
    NetworkObj(const NetworkObj&) = delete;
    NetworkObj& operator=(const NetworkObj&) = delete;

    virtual void Update() = 0;
    // The object kind of the messages this proxy takes (0 for a local airplane's damage reports).
    virtual uint8_t AcceptedKind() const = 0;
    virtual bool IsRemote() const { return false; }
    // The game object this proxy stands beside or made (null when there is none, or it died).
    virtual Obj::Object* GetObject() const { return nullptr; }
    // Nothing more will come of this proxy: it may be unregistered.
    virtual bool Finished() const { return false; }

    // Inserts in send-time order (after entries of the same time); the oldest entry goes when full.
    void AddToHistory(HistoryEntry entry);
    // The last entry sent before t (0 when t is the first entry's time); false when empty or t is before
    // the first entry.
    bool NewestBefore(float t, std::size_t& index) const;
    // The two entries around t; both the last one when t is past it; false when t is before the first.
    bool Pair(float t, std::size_t& older, std::size_t& newer) const;
    // As Pair, among the entries whose valid byte equals the flag.
    bool Pair(float t, uint8_t flag, std::size_t& older, std::size_t& newer) const;
    // Removes the entries before index.
    void DropBefore(std::size_t index);
    // (clock - t0) / (t1 - t0), 0 when t0 = t1.
    static float Factor(float clock, float t0, float t1);

    MPlr::NetworkObjects* registry;
    // Kept in a vector: it stays short, and its capacity, once grown, serves every later frame.
    std::vector<HistoryEntry> history;
    GUID guid;
};

class LocalObj : public NetworkObj {
public:
    // A new network id.
    explicit LocalObj(MPlr::NetworkObjects* registry);
    // Sends the removed notice once, when the object is gone.
    void Update() override;
    // The object still lives.
    virtual bool HasObject() const = 0;
    // The object is gone and its removed notice sent.
    bool Finished() const override { return removedSent; }

    bool removedSent = false;
};

class RemoteObj : public NetworkObj {
public:
    RemoteObj(MPlr::NetworkObjects* registry, const GUID& guid, DPNID owner, float clock);
    // Runs the clock on by the last frame's duration and deletes the copy once the clock reaches the
    // removal time.
    void Update() override;
    bool IsRemote() const override { return true; }
    virtual bool HasObject() const = 0;
    virtual void DeleteObject() = 0;

    float clock;
    float removalTime = -1.0f;
    DPNID owner;
};

// When a periodic state is due: at now >= stamp + period, then stamp = now + (2u - 1) x jitter.
struct SendTimer {
    // True when a state goes out now (and moves the stamp on).
    bool Due(float now, float period, float jitter);

    float stamp = 0.0f; // 0 sends on the first update
};

} // namespace Comm
