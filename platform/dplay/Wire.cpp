#include "platform/dplay/Wire.h"

#include <cstring>

namespace Dp8 {
namespace {

constexpr uint8_t QueryMagic[4] = {'C', 'V', 'E', 'Q'};
constexpr uint8_t ResponseMagic[4] = {'C', 'V', 'E', 'R'};
constexpr uint8_t Version = 1;

class Writer {
public:
    explicit Writer(Kind kind) { U8(uint8_t(kind)); }
    Writer() = default;
    void U8(uint8_t v) { out.push_back(v); }
    void U16(uint16_t v) {
        U8(uint8_t(v));
        U8(uint8_t(v >> 8));
    }
    void U32(uint32_t v) {
        U16(uint16_t(v));
        U16(uint16_t(v >> 16));
    }
    void U64(uint64_t v) {
        U32(uint32_t(v));
        U32(uint32_t(v >> 32));
    }
    void Raw(const void* p, size_t n) {
        auto b = static_cast<const uint8_t*>(p);
        out.insert(out.end(), b, b + n);
    }
    void Guid(const GUID& g) {
        U32(g.Data1);
        U16(g.Data2);
        U16(g.Data3);
        Raw(g.Data4, 8);
    }
    void Text(const std::u16string& s) {
        U16(uint16_t(s.size()));
        for (char16_t c : s)
            U16(uint16_t(c));
    }
    void Blob(const Bytes& b) {
        U16(uint16_t(b.size()));
        Raw(b.data(), b.size());
    }
    void Member(const MemberRecord& m) {
        U32(m.id);
        Raw(&m.ip, 4);
        U16(m.port);
        Text(m.name);
        Blob(m.data);
    }
    Bytes out;
};

class Reader {
public:
    Reader(const uint8_t* p, size_t size) : p(p), left(size) {}
    bool ok = true;
    bool Done() const { return ok && left == 0; }
    uint8_t U8() {
        if (!Need(1))
            return 0;
        uint8_t v = *p++;
        --left;
        return v;
    }
    uint16_t U16() {
        uint16_t lo = U8();
        return uint16_t(lo | U8() << 8);
    }
    uint32_t U32() {
        uint32_t lo = U16();
        return lo | uint32_t(U16()) << 16;
    }
    uint64_t U64() {
        uint64_t lo = U32();
        return lo | uint64_t(U32()) << 32;
    }
    void Raw(void* out, size_t n) {
        if (!Need(n))
            return;
        std::memcpy(out, p, n);
        p += n;
        left -= n;
    }
    GUID Guid() {
        GUID g{};
        g.Data1 = U32();
        g.Data2 = U16();
        g.Data3 = U16();
        Raw(g.Data4, 8);
        return g;
    }
    std::u16string Text(size_t maxUnits) {
        size_t n = U16();
        if (n > maxUnits || !Need(n * 2)) {
            ok = false;
            return {};
        }
        std::u16string s(n, u'\0');
        for (size_t i = 0; i < n; ++i)
            s[i] = char16_t(U16());
        if (s.find(u'\0') != std::u16string::npos)
            ok = false; // a NUL inside a name would cut it differently on each side
        return s;
    }
    Bytes Blob(size_t maxBytes) {
        size_t n = U16();
        if (n > maxBytes || !Need(n)) {
            ok = false;
            return {};
        }
        Bytes b(p, p + n);
        p += n;
        left -= n;
        return b;
    }
    MemberRecord Member() {
        MemberRecord m;
        m.id = U32();
        Raw(&m.ip, 4);
        m.port = U16();
        m.name = Text(DPN_MAX_NAME_CHARS);
        m.data = Blob(DPN_MAX_PLAYER_DATA);
        if (!ValidId(m.id))
            ok = false;
        return m;
    }

private:
    bool Need(size_t n) {
        if (!ok || n > left) {
            ok = false;
            return false;
        }
        return true;
    }
    const uint8_t* p;
    size_t left;
};

// Opens a member-link packet of the expected kind.
Reader Open(const uint8_t* p, size_t size, Kind kind) {
    Reader r(p, size);
    if (r.U8() != uint8_t(kind))
        r.ok = false;
    return r;
}

} // namespace

bool ValidId(DPNID id) {
    return id != 0 && id != 0xFFFFFFFFu && id != 0xFFFFFFFEu;
}

DPNID NextValidId(DPNID id) {
    do
        ++id;
    while (!ValidId(id));
    return id;
}

bool ValidName(const std::u16string& name) {
    return name.size() <= DPN_MAX_NAME_CHARS && name.find(u'\0') == std::u16string::npos;
}

Bytes EncodeData(const void* bytes, size_t size) {
    Writer w(Kind::Data);
    w.Raw(bytes, size);
    return std::move(w.out);
}

Bytes EncodeJoinRequest(const JoinRequest& m) {
    Writer w(Kind::JoinRequest);
    w.Guid(m.application);
    w.Guid(m.instance);
    w.Text(m.name);
    w.Blob(m.data);
    return std::move(w.out);
}

Bytes EncodeJoinAccept(const JoinAccept& m) {
    Writer w(Kind::JoinAccept);
    w.Guid(m.instance);
    w.U32(m.yourId);
    w.U64(m.yourToken);
    w.U32(m.hostId);
    w.U32(m.nextId);
    w.U32(m.flags);
    w.U32(m.maxPlayers);
    w.Text(m.sessionName);
    w.Blob(m.reserved);
    w.U16(uint16_t(m.members.size()));
    for (const MemberRecord& r : m.members)
        w.Member(r);
    return std::move(w.out);
}

Bytes EncodeJoinReject(HRESULT result) {
    Writer w(Kind::JoinReject);
    w.U32(uint32_t(result));
    return std::move(w.out);
}

Bytes EncodeMemberAdded(DPNID nextId, const MemberRecord& m, uint64_t token) {
    Writer w(Kind::MemberAdded);
    w.U32(nextId);
    w.Member(m);
    w.U64(token);
    return std::move(w.out);
}

Bytes EncodeId(Kind kind, DPNID id) {
    Writer w(kind);
    w.U32(id);
    return std::move(w.out);
}

Bytes EncodeHello(const GUID& instance, DPNID id, uint64_t token) {
    Writer w(Kind::Hello);
    w.Guid(instance);
    w.U32(id);
    w.U64(token);
    return std::move(w.out);
}

Bytes EncodeHelloAck(const std::u16string& name, const Bytes& data) {
    Writer w(Kind::HelloAck);
    w.Text(name);
    w.Blob(data);
    return std::move(w.out);
}

Bytes EncodePeerInfo(const PeerInfoUpdate& m) {
    Writer w(Kind::PeerInfo);
    w.U32(m.infoFlags);
    w.Text(m.name);
    w.Blob(m.data);
    return std::move(w.out);
}

Bytes EncodeEmpty(Kind kind) {
    return Writer(kind).out;
}

Bytes EncodeEnumQuery(const EnumQuery& m) {
    Writer w;
    w.Raw(QueryMagic, 4);
    w.U8(Version);
    w.Guid(m.application);
    w.U32(m.nonce);
    w.U32(m.sentMs);
    return std::move(w.out);
}

Bytes EncodeEnumResponse(const EnumResponse& m) {
    Writer w;
    w.Raw(ResponseMagic, 4);
    w.U8(Version);
    w.U32(m.nonce);
    w.U32(m.sentMs);
    w.Guid(m.application);
    w.Guid(m.instance);
    w.U16(m.sessionPort);
    w.U32(m.currentPlayers);
    w.U32(m.maxPlayers);
    w.Text(m.sessionName);
    w.Blob(m.reserved);
    return std::move(w.out);
}

std::optional<JoinRequest> DecodeJoinRequest(const uint8_t* p, size_t size) {
    Reader r = Open(p, size, Kind::JoinRequest);
    JoinRequest m;
    m.application = r.Guid();
    m.instance = r.Guid();
    m.name = r.Text(DPN_MAX_NAME_CHARS);
    m.data = r.Blob(DPN_MAX_PLAYER_DATA);
    return r.Done() ? std::optional(std::move(m)) : std::nullopt;
}

std::optional<JoinAccept> DecodeJoinAccept(const uint8_t* p, size_t size) {
    Reader r = Open(p, size, Kind::JoinAccept);
    JoinAccept m;
    m.instance = r.Guid();
    m.yourId = r.U32();
    m.yourToken = r.U64();
    m.hostId = r.U32();
    m.nextId = r.U32();
    m.flags = r.U32();
    m.maxPlayers = r.U32();
    m.sessionName = r.Text(DPN_MAX_NAME_CHARS);
    m.reserved = r.Blob(DPN_MAX_RESERVED_DATA);
    size_t count = r.U16();
    if (count == 0 || count >= DPN_MAX_PLAYERS)
        return std::nullopt;
    for (size_t i = 0; i < count && r.ok; ++i)
        m.members.push_back(r.Member());
    if (!r.Done() || !ValidId(m.yourId) || !ValidId(m.hostId) || !ValidId(m.nextId))
        return std::nullopt;
    // Ids are unique, the host is among the members and the joiner is not.
    bool hostListed = false;
    for (size_t i = 0; i < m.members.size(); ++i) {
        if (m.members[i].id == m.yourId)
            return std::nullopt;
        hostListed |= m.members[i].id == m.hostId;
        for (size_t j = i + 1; j < m.members.size(); ++j)
            if (m.members[i].id == m.members[j].id)
                return std::nullopt;
    }
    if (!hostListed)
        return std::nullopt;
    return m;
}

std::optional<HRESULT> DecodeJoinReject(const uint8_t* p, size_t size) {
    Reader r = Open(p, size, Kind::JoinReject);
    auto hr = HRESULT(r.U32());
    if (!r.Done() || hr >= 0)
        return std::nullopt;
    return hr;
}

std::optional<MemberAdded> DecodeMemberAdded(const uint8_t* p, size_t size) {
    Reader r = Open(p, size, Kind::MemberAdded);
    MemberAdded m;
    m.nextId = r.U32();
    m.member = r.Member();
    m.token = r.U64();
    if (!r.Done() || !ValidId(m.nextId))
        return std::nullopt;
    return m;
}

std::optional<DPNID> DecodeId(const uint8_t* p, size_t size) {
    if (size < 1 || (p[0] != uint8_t(Kind::MemberLeft) && p[0] != uint8_t(Kind::LinkLost)))
        return std::nullopt;
    Reader r(p + 1, size - 1);
    DPNID id = r.U32();
    return r.Done() && ValidId(id) ? std::optional(id) : std::nullopt;
}

std::optional<Hello> DecodeHello(const uint8_t* p, size_t size) {
    Reader r = Open(p, size, Kind::Hello);
    Hello m;
    m.instance = r.Guid();
    m.id = r.U32();
    m.token = r.U64();
    return r.Done() && ValidId(m.id) ? std::optional(m) : std::nullopt;
}

std::optional<std::pair<std::u16string, Bytes>> DecodeHelloAck(const uint8_t* p, size_t size) {
    Reader r = Open(p, size, Kind::HelloAck);
    std::u16string name = r.Text(DPN_MAX_NAME_CHARS);
    Bytes data = r.Blob(DPN_MAX_PLAYER_DATA);
    return r.Done() ? std::optional(std::pair(std::move(name), std::move(data))) : std::nullopt;
}

std::optional<PeerInfoUpdate> DecodePeerInfo(const uint8_t* p, size_t size) {
    Reader r = Open(p, size, Kind::PeerInfo);
    PeerInfoUpdate m;
    m.infoFlags = r.U32();
    m.name = r.Text(DPN_MAX_NAME_CHARS);
    m.data = r.Blob(DPN_MAX_PLAYER_DATA);
    if (!r.Done() || (m.infoFlags & ~DWORD(DPNINFO_NAME | DPNINFO_DATA)) || !m.infoFlags)
        return std::nullopt;
    return m;
}

bool DecodeEmpty(const uint8_t*, size_t size) {
    return size == 1;
}

std::optional<EnumQuery> DecodeEnumQuery(const uint8_t* p, size_t size) {
    if (size < 5 || std::memcmp(p, QueryMagic, 4) != 0 || p[4] != Version)
        return std::nullopt;
    Reader r(p + 5, size - 5);
    EnumQuery m;
    m.application = r.Guid();
    m.nonce = r.U32();
    m.sentMs = r.U32();
    return r.Done() ? std::optional(m) : std::nullopt;
}

std::optional<EnumResponse> DecodeEnumResponse(const uint8_t* p, size_t size) {
    if (size < 5 || std::memcmp(p, ResponseMagic, 4) != 0 || p[4] != Version)
        return std::nullopt;
    Reader r(p + 5, size - 5);
    EnumResponse m;
    m.nonce = r.U32();
    m.sentMs = r.U32();
    m.application = r.Guid();
    m.instance = r.Guid();
    m.sessionPort = r.U16();
    m.currentPlayers = r.U32();
    m.maxPlayers = r.U32();
    m.sessionName = r.Text(DPN_MAX_NAME_CHARS);
    m.reserved = r.Blob(DPN_MAX_RESERVED_DATA);
    if (!r.Done() || m.sessionPort == 0 || m.currentPlayers > DPN_MAX_PLAYERS ||
        m.maxPlayers > DPN_MAX_PLAYERS)
        return std::nullopt;
    return m;
}

} // namespace Dp8
