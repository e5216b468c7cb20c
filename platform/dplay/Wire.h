// The layer's own messages between members (over ENet) and for host enumeration (plain UDP datagrams).
// Little-endian. Every reader checks each field against the bytes left and the layer's limits, so a
// message from a hostile peer is either read whole and valid or refused whole.
#pragma once

#include <dplay8.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Dp8 {

using Bytes = std::vector<uint8_t>;

// ENet's connect data of a peer of this layer; anything else (an older build among them) is turned away.
constexpr uint32_t ConnectMagic = 0x43565032;

// First byte of every packet on a member link.
enum class Kind : uint8_t {
    Data = 1,        // game bytes follow
    JoinRequest = 2, // joiner -> host
    JoinAccept = 3,  // host -> joiner
    JoinReject = 4,  // host -> joiner
    MemberAdded = 5, // host -> members
    MemberLeft = 6,  // host -> members
    Hello = 7,       // joiner -> every other member: who I am, proved by the token the host gave me
    HelloAck = 8,    // member -> joiner, with the member's current information
    PeerInfo = 9,    // a member's new name and/or data, from that member
    Leave = 10,      // the sender closes
    LinkLost = 11,   // member -> host: my link to this member died
    Evict = 12,      // host -> member: you are no longer in the session
};

struct MemberRecord {
    DPNID id = 0;
    uint32_t ip = 0; // as ENet keeps it (network order)
    uint16_t port = 0;
    std::u16string name;
    Bytes data;
};

struct JoinRequest {
    GUID application{};
    GUID instance{};
    std::u16string name;
    Bytes data;
};

struct JoinAccept {
    GUID instance{};
    DPNID yourId = 0;
    uint64_t yourToken = 0; // the joiner's secret, which its Hello to each member carries
    DPNID hostId = 0;
    DPNID nextId = 0;
    DWORD flags = 0;
    DWORD maxPlayers = 0;
    std::u16string sessionName;
    Bytes reserved;
    std::vector<MemberRecord> members; // everyone already in, the host included
};

struct PeerInfoUpdate {
    DWORD infoFlags = 0; // DPNINFO_NAME and/or DPNINFO_DATA
    std::u16string name;
    Bytes data;
};

struct EnumQuery {
    GUID application{};
    uint32_t nonce = 0;
    uint32_t sentMs = 0;
};

struct EnumResponse {
    uint32_t nonce = 0;
    uint32_t sentMs = 0;
    GUID application{};
    GUID instance{};
    uint16_t sessionPort = 0;
    DWORD currentPlayers = 0;
    DWORD maxPlayers = 0;
    std::u16string sessionName;
    Bytes reserved;
};

// A valid id: never 0 (session events), 0xFFFFFFFF or 0xFFFFFFFE (the game's sentinels).
bool ValidId(DPNID id);
DPNID NextValidId(DPNID id);
bool ValidName(const std::u16string& name);

Bytes EncodeData(const void* bytes, size_t size);
Bytes EncodeJoinRequest(const JoinRequest& m);
Bytes EncodeJoinAccept(const JoinAccept& m);
Bytes EncodeJoinReject(HRESULT result);
// The token is the new member's secret: only its Hello carrying it binds a link to the new member.
Bytes EncodeMemberAdded(DPNID nextId, const MemberRecord& m, uint64_t token);
Bytes EncodeId(Kind kind, DPNID id); // MemberLeft, LinkLost
Bytes EncodeHello(const GUID& instance, DPNID id, uint64_t token);
Bytes EncodeHelloAck(const std::u16string& name, const Bytes& data);
Bytes EncodePeerInfo(const PeerInfoUpdate& m);
Bytes EncodeEmpty(Kind kind); // Leave, Evict
Bytes EncodeEnumQuery(const EnumQuery& m);
Bytes EncodeEnumResponse(const EnumResponse& m);

// Readers take the whole packet, kind byte included, and refuse trailing bytes.
std::optional<JoinRequest> DecodeJoinRequest(const uint8_t* p, size_t size);
std::optional<JoinAccept> DecodeJoinAccept(const uint8_t* p, size_t size);
std::optional<HRESULT> DecodeJoinReject(const uint8_t* p, size_t size);
struct MemberAdded {
    DPNID nextId = 0;
    MemberRecord member;
    uint64_t token = 0;
};
struct Hello {
    GUID instance{};
    DPNID id = 0;
    uint64_t token = 0;
};
std::optional<MemberAdded> DecodeMemberAdded(const uint8_t* p, size_t size);
std::optional<DPNID> DecodeId(const uint8_t* p, size_t size);
std::optional<Hello> DecodeHello(const uint8_t* p, size_t size);
std::optional<std::pair<std::u16string, Bytes>> DecodeHelloAck(const uint8_t* p, size_t size);
std::optional<PeerInfoUpdate> DecodePeerInfo(const uint8_t* p, size_t size);
bool DecodeEmpty(const uint8_t* p, size_t size);
std::optional<EnumQuery> DecodeEnumQuery(const uint8_t* p, size_t size);
std::optional<EnumResponse> DecodeEnumResponse(const uint8_t* p, size_t size);

} // namespace Dp8
