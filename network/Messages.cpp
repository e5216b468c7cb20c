#include "network/Messages.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace Comm {

namespace {

// Little-endian writes and reads at fixed offsets; the buffer's size is checked once by the caller.
class Writer {
public:
    explicit Writer(std::size_t size) : bytes(size, 0) {}

    void U8(std::size_t at, uint8_t v) { bytes[at] = v; }
    void U16(std::size_t at, uint16_t v) {
        bytes[at] = uint8_t(v);
        bytes[at + 1] = uint8_t(v >> 8);
    }
    void U32(std::size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = uint8_t(v >> (8 * i));
    }
    void F32(std::size_t at, float v) { U32(at, std::bit_cast<uint32_t>(v)); }
    void V3(std::size_t at, const RwV3d& v) {
        F32(at, v.x);
        F32(at + 4, v.y);
        F32(at + 8, v.z);
    }
    void Guid(std::size_t at, const GUID& g) {
        U32(at, g.Data1);
        U16(at + 4, g.Data2);
        U16(at + 6, g.Data3);
        std::memcpy(&bytes[at + 8], g.Data4, 8);
    }
    // At most field - 1 characters; the rest of the field stays zero, so the text always ends in it.
    void Text(std::size_t at, std::size_t field, const std::string& text) {
        std::memcpy(&bytes[at], text.data(), std::min(text.size(), field - 1));
    }
    void Header(const MessageHeader& h) {
        U8(0, h.messageKind);
        U8(1, h.objectKind);
        Guid(2, h.object);
        F32(20, h.sendTime);
    }

    Bytes bytes;
};

class Reader {
public:
    explicit Reader(const uint8_t* data) : data(data) {}

    uint8_t U8(std::size_t at) const { return data[at]; }
    uint16_t U16(std::size_t at) const { return uint16_t(data[at] | (data[at + 1] << 8)); }
    uint32_t U32(std::size_t at) const {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t(data[at + i]) << (8 * i);
        return v;
    }
    // A non-finite value marks the whole message bad.
    float F32(std::size_t at) {
        const float v = std::bit_cast<float>(U32(at));
        if (!std::isfinite(v))
            ok = false;
        return v;
    }
    RwV3d V3(std::size_t at) {
        RwV3d v;
        v.x = F32(at);
        v.y = F32(at + 4);
        v.z = F32(at + 8);
        return v;
    }
    GUID Guid(std::size_t at) const {
        GUID g;
        g.Data1 = U32(at);
        g.Data2 = U16(at + 4);
        g.Data3 = U16(at + 6);
        std::memcpy(g.Data4, data + at + 8, 8);
        return g;
    }
    // The text up to its NUL, which must lie inside the field.
    std::string Text(std::size_t at, std::size_t field) {
        const void* end = std::memchr(data + at, 0, field);
        if (!end) {
            ok = false;
            return {};
        }
        return std::string(reinterpret_cast<const char*>(data + at),
                           static_cast<const uint8_t*>(end) - (data + at));
    }
    MessageHeader Header() {
        MessageHeader h;
        h.messageKind = U8(0);
        h.objectKind = U8(1);
        h.object = Guid(2);
        h.sendTime = F32(20);
        return h;
    }

    const uint8_t* data;
    bool ok = true;
};

std::size_t StateSize(uint8_t objectKind) {
    switch (objectKind) {
    case AirplaneObject:
        return AirplaneStateSize;
    case ExplosionObject:
        return ExplosionStateSize;
    case HomingRocketObject:
        return HomingRocketStateSize;
    case FlareObject:
    case ChaffObject:
        return CountermeasureStateSize;
    default:
        return 0;
    }
}

// The header of a buffer of the expected kind and size, or false.
bool Expect(const uint8_t* data, std::size_t size, Received kind, uint8_t objectKind, MessageHeader& header) {
    if (Classify(data, size, &header) != kind)
        return false;
    return kind != Received::ObjectState || header.objectKind == objectKind;
}

} // namespace

void AirplaneStateMessage::CopyFrom(const Physics::AirplaneState& s) {
    position = s.position;
    at = s.at;
    up = s.up;
    velocity = s.velocity;
    angularVelocity = s.angularVelocity;
    groundHeight = s.groundHeight;
    engineRunning = s.engineRunning;
    outOfControl = s.outOfControl;
    engineDestroyed = s.engineDestroyed;
    engineSpool = s.engineSpool;
    afterburnerLevel = s.afterburnerLevel;
    thrustFactor = s.thrustFactor;
    gearExtension = s.gearExtension;
    weaponDoorOpening = s.weaponDoorOpening;
    for (int i = 0; i < 3; ++i) {
        wheelCompression[i] = s.wheelCompression[i];
        wheelSteering[i] = s.wheelSteering[i];
        wheelRotation[i] = s.wheelRotation[i];
    }
}

void AirplaneStateMessage::ApplyTo(Physics::AirplaneState& s) const {
    s.position = position;
    s.at = at;
    s.up = up;
    s.velocity = velocity;
    s.angularVelocity = angularVelocity;
    s.groundHeight = groundHeight;
    s.engineRunning = engineRunning;
    s.outOfControl = outOfControl;
    s.engineDestroyed = engineDestroyed;
    s.engineSpool = engineSpool;
    s.afterburnerLevel = afterburnerLevel;
    s.thrustFactor = thrustFactor;
    s.gearExtension = gearExtension;
    s.weaponDoorOpening = weaponDoorOpening;
    for (int i = 0; i < 3; ++i) {
        s.wheelCompression[i] = wheelCompression[i];
        s.wheelSteering[i] = wheelSteering[i];
        s.wheelRotation[i] = wheelRotation[i];
    }
}

Bytes Encode(const AirplaneStateMessage& m) {
    Writer w(AirplaneStateSize);
    w.Header(m.header);
    w.U8(24, 1); // valid
    w.V3(28, m.position);
    w.V3(40, m.at);
    w.V3(52, m.up);
    w.V3(64, m.velocity);
    w.V3(76, m.angularVelocity);
    w.F32(88, m.groundHeight);
    w.U8(92, m.engineRunning);
    w.U8(93, m.outOfControl);
    w.U8(94, m.engineDestroyed);
    w.F32(96, m.engineSpool);
    w.F32(100, m.afterburnerLevel);
    w.F32(104, m.thrustFactor);
    w.F32(108, m.gearExtension);
    w.F32(112, m.weaponDoorOpening);
    for (int i = 0; i < 3; ++i) {
        w.F32(116 + 4 * i, m.wheelCompression[i]);
        w.F32(128 + 4 * i, m.wheelSteering[i]);
        w.F32(140 + 4 * i, m.wheelRotation[i]);
    }
    w.Text(152, TypeNameField, m.typeName);
    w.Guid(184, m.target);
    w.U32(200, uint32_t(m.killer));
    w.Text(204, AttackerField, m.lastAttacker);
    w.U32(224, m.sequence);
    return std::move(w.bytes);
}

Bytes Encode(const ExplosionStateMessage& m) {
    Writer w(ExplosionStateSize);
    w.Header(m.header);
    w.V3(24, m.centre);
    w.F32(36, m.size);
    return std::move(w.bytes);
}

Bytes Encode(const HomingRocketStateMessage& m) {
    Writer w(HomingRocketStateSize);
    w.Header(m.header);
    w.U8(24, 1); // valid
    w.Guid(28, m.carrier);
    w.Guid(44, m.target);
    w.V3(60, m.position);
    w.V3(72, m.forward);
    w.V3(84, m.up);
    w.Text(96, TypeNameField, m.typeName);
    return std::move(w.bytes);
}

Bytes Encode(const CountermeasureStateMessage& m) {
    Writer w(CountermeasureStateSize);
    w.Header(m.header);
    w.V3(24, m.position);
    return std::move(w.bytes);
}

Bytes Encode(const RemovedMessage& m) {
    Writer w(RemovedSize);
    w.Header(m.header);
    return std::move(w.bytes);
}

Bytes Encode(const DamageMessage& m) {
    Writer w(DamageSize);
    w.Header(m.header);
    w.F32(24, m.hitPointChange);
    w.Text(28, AttackerField, m.attacker);
    return std::move(w.bytes);
}

Bytes Encode(const ChatMessage& m) {
    const std::size_t n = std::min(m.text.size(), MaxChatChars);
    Writer w(ChatHeaderSize + n + 1);
    w.U8(1, ChatObject);
    w.F32(20, m.sendTime);
    std::memcpy(&w.bytes[ChatHeaderSize], m.text.data(), n);
    return std::move(w.bytes);
}

Received Classify(const uint8_t* data, std::size_t size, MessageHeader* header) {
    if (!data || size < HeaderSize)
        return Received::Invalid;
    Reader r(data);
    const MessageHeader h = r.Header();
    if (!r.ok)
        return Received::Invalid;
    Received kind = Received::Invalid;
    if (h.objectKind == ChatObject) {
        if (size >= ChatHeaderSize + 1)
            kind = Received::Chat;
    } else if (h.messageKind == RemovedKind) {
        if (h.objectKind == NoObject && size == RemovedSize)
            kind = Received::Removed;
    } else if (h.messageKind == StateKind) {
        if (h.objectKind == NoObject) {
            if (size == DamageSize)
                kind = Received::Damage;
        } else if (size == StateSize(h.objectKind)) {
            kind = Received::ObjectState;
        }
    }
    if (kind != Received::Invalid && header)
        *header = h;
    return kind;
}

bool Decode(const uint8_t* data, std::size_t size, AirplaneStateMessage& out) {
    AirplaneStateMessage m;
    if (!Expect(data, size, Received::ObjectState, AirplaneObject, m.header))
        return false;
    Reader r(data);
    m.position = r.V3(28);
    m.at = r.V3(40);
    m.up = r.V3(52);
    m.velocity = r.V3(64);
    m.angularVelocity = r.V3(76);
    m.groundHeight = r.F32(88);
    m.engineRunning = r.U8(92);
    m.outOfControl = r.U8(93);
    m.engineDestroyed = r.U8(94);
    m.engineSpool = r.F32(96);
    m.afterburnerLevel = r.F32(100);
    m.thrustFactor = r.F32(104);
    m.gearExtension = r.F32(108);
    m.weaponDoorOpening = r.F32(112);
    for (int i = 0; i < 3; ++i) {
        m.wheelCompression[i] = r.F32(116 + 4 * i);
        m.wheelSteering[i] = r.F32(128 + 4 * i);
        m.wheelRotation[i] = r.F32(140 + 4 * i);
    }
    m.typeName = r.Text(152, TypeNameField);
    m.target = r.Guid(184);
    m.killer = int32_t(r.U32(200));
    m.lastAttacker = r.Text(204, AttackerField);
    m.sequence = r.U32(224);
    if (!r.ok)
        return false;
    out = std::move(m);
    return true;
}

bool Decode(const uint8_t* data, std::size_t size, ExplosionStateMessage& out) {
    ExplosionStateMessage m;
    if (!Expect(data, size, Received::ObjectState, ExplosionObject, m.header))
        return false;
    Reader r(data);
    m.centre = r.V3(24);
    m.size = r.F32(36);
    if (!r.ok)
        return false;
    out = m;
    return true;
}

bool Decode(const uint8_t* data, std::size_t size, HomingRocketStateMessage& out) {
    HomingRocketStateMessage m;
    if (!Expect(data, size, Received::ObjectState, HomingRocketObject, m.header))
        return false;
    Reader r(data);
    m.carrier = r.Guid(28);
    m.target = r.Guid(44);
    m.position = r.V3(60);
    m.forward = r.V3(72);
    m.up = r.V3(84);
    m.typeName = r.Text(96, TypeNameField);
    if (!r.ok)
        return false;
    out = std::move(m);
    return true;
}

bool Decode(const uint8_t* data, std::size_t size, CountermeasureStateMessage& out) {
    CountermeasureStateMessage m;
    if (Classify(data, size, &m.header) != Received::ObjectState ||
        (m.header.objectKind != FlareObject && m.header.objectKind != ChaffObject))
        return false;
    Reader r(data);
    m.position = r.V3(24);
    if (!r.ok)
        return false;
    out = m;
    return true;
}

bool Decode(const uint8_t* data, std::size_t size, RemovedMessage& out) {
    RemovedMessage m;
    if (!Expect(data, size, Received::Removed, NoObject, m.header))
        return false;
    out = m;
    return true;
}

bool Decode(const uint8_t* data, std::size_t size, DamageMessage& out) {
    DamageMessage m;
    if (!Expect(data, size, Received::Damage, NoObject, m.header))
        return false;
    Reader r(data);
    m.hitPointChange = r.F32(24);
    m.attacker = r.Text(28, AttackerField);
    if (!r.ok)
        return false;
    out = std::move(m);
    return true;
}

bool Decode(const uint8_t* data, std::size_t size, ChatMessage& out) {
    MessageHeader h;
    if (Classify(data, size, &h) != Received::Chat)
        return false;
    const char* text = reinterpret_cast<const char*>(data + ChatHeaderSize);
    const std::size_t room = size - ChatHeaderSize;
    const void* nul = std::memchr(text, 0, room);
    const std::size_t n = nul ? static_cast<const char*>(nul) - text : room;
    out.sendTime = h.sendTime;
    out.text.assign(text, std::min(n, MaxChatChars));
    return true;
}

bool IsWellFormed(const uint8_t* data, std::size_t size) {
    MessageHeader h;
    switch (Classify(data, size, &h)) {
    case Received::Chat: {
        ChatMessage m;
        return Decode(data, size, m);
    }
    case Received::Removed:
        return true;
    case Received::Damage: {
        DamageMessage m;
        return Decode(data, size, m);
    }
    case Received::ObjectState:
        switch (h.objectKind) {
        case AirplaneObject: {
            AirplaneStateMessage m;
            return Decode(data, size, m);
        }
        case ExplosionObject: {
            ExplosionStateMessage m;
            return Decode(data, size, m);
        }
        case HomingRocketObject: {
            HomingRocketStateMessage m;
            return Decode(data, size, m);
        }
        default: {
            CountermeasureStateMessage m;
            return Decode(data, size, m);
        }
        }
    case Received::Invalid:
        break;
    }
    return false;
}

bool IsValidTypeName(const std::string& name) {
    if (name.empty() || name.size() >= TypeNameField)
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '-';
    });
}

bool IsNilGuid(const GUID& guid) {
    static const GUID nil{};
    return std::memcmp(&guid, &nil, sizeof(GUID)) == 0;
}

} // namespace Comm
