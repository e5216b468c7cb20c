// The messages that the peers of a network game exchange: each owned object's periodic state, the notice
// that an object is gone, the damage report sent to an airplane's owner, and chat. The wire format is
// little-endian with fixed sizes per kind. Peers are untrusted: a message is read only when its size is
// exactly its kind's, every float in it is finite and every text ends inside its field.
#pragma once

#include "physics/AirplaneState.h"
#include "rwsdk/src/plcore/vector.h"

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Comm {

enum MessageKind : uint8_t { StateKind = 0, RemovedKind = 1 };

enum ObjectKind : uint8_t {
    NoObject = 0, // removed notices and damage reports
    AirplaneObject = 1,
    ExplosionObject = 2,
    HomingRocketObject = 3,
    FlareObject = 4,
    ChaffObject = 5,
    ChatObject = 6,
};

// DirectPlay send flags of each message.
constexpr uint32_t StateSendFlags = 0x30; // non-sequential, no loopback; may be lost
constexpr uint32_t StateSendTimeout = 500;
constexpr uint32_t RemovedSendFlags = 0xB8; // guaranteed, non-sequential, no loopback, high priority
constexpr uint32_t DamageSendFlags = 0xB8;
constexpr uint32_t ChatSendFlags = 0x98; // guaranteed, non-sequential, high priority: the sender hears it too

constexpr std::size_t HeaderSize = 24;
constexpr std::size_t AirplaneStateSize = 228;
constexpr std::size_t ExplosionStateSize = 40;
constexpr std::size_t HomingRocketStateSize = 128;
constexpr std::size_t CountermeasureStateSize = 36;
constexpr std::size_t RemovedSize = 24;
constexpr std::size_t DamageSize = 48;
constexpr std::size_t ChatHeaderSize = 24; // then the text and its NUL
constexpr std::size_t MaxChatChars = 256;  // longer texts are cut, as sent and as read

constexpr std::size_t TypeNameField = 32; // at most 31 characters
constexpr std::size_t AttackerField = 20; // at most 19 characters

struct MessageHeader {
    uint8_t messageKind = StateKind;
    uint8_t objectKind = NoObject;
    GUID object{};
    float sendTime = 0.0f;
};

// What an airplane's state message carries: the parts of its flight state that a copy needs to be drawn,
// heard and targeted, and who shot it down.
struct AirplaneStateMessage {
    MessageHeader header{StateKind, AirplaneObject, {}, 0.0f};
    RwV3d position{0, 0, 0};
    RwV3d at{0, 0, 1};
    RwV3d up{0, 1, 0};
    RwV3d velocity{0, 0, 0};
    RwV3d angularVelocity{0, 0, 0};
    float groundHeight = 0.0f;
    uint8_t engineRunning = 0;
    uint8_t outOfControl = 0;
    uint8_t engineDestroyed = 0;
    float engineSpool = 0.0f;
    float afterburnerLevel = 0.0f;
    float thrustFactor = 0.0f;
    float gearExtension = 0.0f;
    float weaponDoorOpening = 0.0f;
    float wheelCompression[3] = {0, 0, 0};
    float wheelSteering[3] = {0, 0, 0};
    float wheelRotation[3] = {0, 0, 0};
    std::string typeName;     // cut to 31 characters when sent
    GUID target{};            // the radar target's network id; nil for none
    int32_t killer = -1;      // the player whose damage report brought the hit points to 0; -1 none
    std::string lastAttacker; // cut to 19 characters when sent
    uint32_t sequence = 0;    // counts this proxy's state messages, from 1

    // The fields the message carries, from and back into a flight state; the rest of the state is left.
    void CopyFrom(const Physics::AirplaneState& state);
    void ApplyTo(Physics::AirplaneState& state) const;
};

struct ExplosionStateMessage {
    MessageHeader header{StateKind, ExplosionObject, {}, 0.0f};
    RwV3d centre{0, 0, 0};
    float size = 0.0f;
};

struct HomingRocketStateMessage {
    MessageHeader header{StateKind, HomingRocketObject, {}, 0.0f};
    GUID carrier{}; // nil once it flies free
    GUID target{};
    RwV3d position{0, 0, 0}; // in the carrier's frame while it hangs on one
    RwV3d forward{0, 0, 1};
    RwV3d up{0, 1, 0};
    std::string typeName; // cut to 31 characters when sent
};

// Flares (object kind 4) and chaff (5).
struct CountermeasureStateMessage {
    MessageHeader header{StateKind, FlareObject, {}, 0.0f};
    RwV3d position{0, 0, 0};
};

// Sent once to every peer when an owned object is gone.
struct RemovedMessage {
    MessageHeader header{RemovedKind, NoObject, {}, 0.0f};
};

// Sent to an airplane's owner by a peer that saw it hit.
struct DamageMessage {
    MessageHeader header{StateKind, NoObject, {}, 0.0f};
    float hitPointChange = 0.0f; // negative
    std::string attacker;        // cut to 19 characters when sent
};

struct ChatMessage {
    float sendTime = 0.0f;
    std::string text; // cut to MaxChatChars
};

using Bytes = std::vector<uint8_t>;

Bytes Encode(const AirplaneStateMessage& m);
Bytes Encode(const ExplosionStateMessage& m);
Bytes Encode(const HomingRocketStateMessage& m);
Bytes Encode(const CountermeasureStateMessage& m);
Bytes Encode(const RemovedMessage& m);
Bytes Encode(const DamageMessage& m);
Bytes Encode(const ChatMessage& m);

// What a received buffer is, from its header and size alone.
enum class Received {
    Invalid, // too short, a size that is not its kind's, an unknown kind or a non-finite time
    Chat,
    ObjectState, // of header.objectKind 1 to 5
    Removed,
    Damage,
};
Received Classify(const uint8_t* data, std::size_t size, MessageHeader* header = nullptr);

// Each reads a buffer of exactly its kind's size and kind; false (and the output untouched) for anything
// else, for a non-finite float, or for a text field without its NUL. Texts stop at their first NUL.
bool Decode(const uint8_t* data, std::size_t size, AirplaneStateMessage& out);
bool Decode(const uint8_t* data, std::size_t size, ExplosionStateMessage& out);
bool Decode(const uint8_t* data, std::size_t size, HomingRocketStateMessage& out);
bool Decode(const uint8_t* data, std::size_t size, CountermeasureStateMessage& out);
bool Decode(const uint8_t* data, std::size_t size, RemovedMessage& out);
bool Decode(const uint8_t* data, std::size_t size, DamageMessage& out);
// A chat's text ends at its first NUL or at the end of the buffer, and is cut to MaxChatChars.
bool Decode(const uint8_t* data, std::size_t size, ChatMessage& out);

// The message decodes whole as the kind its header says (every float finite, every text ended in its field).
bool IsWellFormed(const uint8_t* data, std::size_t size);

// A type name that may name a file to load: 1 to 31 characters of [A-Za-z0-9_-]. Anything else (a path,
// "..", spaces, an empty name) is refused.
bool IsValidTypeName(const std::string& name);

bool IsNilGuid(const GUID& guid);

} // namespace Comm
