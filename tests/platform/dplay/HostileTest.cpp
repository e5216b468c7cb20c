// A hostile peer speaking ENet straight to the layer: strange, truncated, oversized and forged messages
// and floods. The session keeps running for the others and nothing reaches them that breaks the contract.
#include "Recorder.h"

#include "platform/dplay/Wire.h"

#include <enet/enet.h>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <optional>

using namespace DplayTest;
using Dp8::Bytes;
using Dp8::Kind;

namespace {

class RawClient {
public:
    RawClient() {
        enet_initialize();
        host = enet_host_create(nullptr, 4, 2, 0, 0);
    }
    ~RawClient() {
        if (host)
            enet_host_destroy(host);
    }

    bool Connect(uint16_t port) {
        ENetAddress a{htonl(INADDR_LOOPBACK), port};
        peer = enet_host_connect(host, &a, 2, Dp8::ConnectMagic);
        return Pump(5000, [&] { return peer->state == ENET_PEER_STATE_CONNECTED; });
    }
    void Send(const Bytes& b, uint8_t channel = 0, uint32_t flags = ENET_PACKET_FLAG_RELIABLE) {
        enet_peer_send(peer, channel, enet_packet_create(b.data(), b.size(), flags));
        enet_host_flush(host);
    }
    // Services the host until done() or the time is up; every packet received is kept.
    bool Pump(int ms, const std::function<bool()>& done) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            ENetEvent ev;
            while (enet_host_service(host, &ev, 2) > 0)
                if (ev.type == ENET_EVENT_TYPE_RECEIVE) {
                    packets.emplace_back(ev.packet->data, ev.packet->data + ev.packet->dataLength);
                    enet_packet_destroy(ev.packet);
                }
        }
        return true;
    }
    std::optional<Bytes> Find(Kind kind) {
        for (const Bytes& p : packets)
            if (!p.empty() && p[0] == uint8_t(kind))
                return p;
        return std::nullopt;
    }

    ENetHost* host = nullptr;
    ENetPeer* peer = nullptr;
    std::vector<Bytes> packets;
};

Dp8::JoinRequest Request(std::u16string name, Bytes data) {
    return Dp8::JoinRequest{TestApplication, GUID{}, std::move(name), std::move(data)};
}

class HostileTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dp8::Control::SetEnumPort(FreeUdpPort());
        Dp8::Control::SetBroadcastTargets({"127.255.255.255"});
        Dp8::Control::SetConnectTimeoutMs(3000);
        Dp8::Control::SetLinkTimeoutMs(1500);
        ASSERT_EQ(HostOn(host, port), DPN_OK);
        ASSERT_EQ(ConnectTo(member, port, u"Member"), DPN_OK);
    }
    void TearDown() override {
        host->Release();
        member->Release();
        EXPECT_TRUE(hostEvents.Violations().empty());
        EXPECT_TRUE(memberEvents.Violations().empty());
    }
    // The session still works: a guaranteed message goes both ways.
    void ExpectSessionAlive() {
        size_t atHost = hostEvents.ReceivedCount(), atMember = memberEvents.ReceivedCount();
        uint8_t byte = 42;
        DPN_BUFFER_DESC b{1, &byte};
        DPNHANDLE h;
        ASSERT_EQ(member->SendTo(hostId(), &b, 1, 0, nullptr, &h, DPNSEND_GUARANTEED), DPN_OK);
        ASSERT_EQ(host->SendTo(0, &b, 1, 0, nullptr, &h, DPNSEND_GUARANTEED | DPNSEND_NOLOOPBACK), DPN_OK);
        EXPECT_TRUE(WaitFor([&] { return hostEvents.ReceivedCount() > atHost; }));
        EXPECT_TRUE(WaitFor([&] { return memberEvents.ReceivedCount() > atMember; }));
    }
    DPNID hostId() {
        std::lock_guard<std::mutex> hold(hostEvents.lock);
        return hostEvents.events[0].second;
    }

    uint16_t port = FreeUdpPort();
    Recorder hostEvents, memberEvents;
    IDirectPlay8Peer* host = NewPeer(hostEvents);
    IDirectPlay8Peer* member = NewPeer(memberEvents);
};

TEST_F(HostileTest, StrangersWithBadRequestsAreTurnedAway) {
    Bytes request = Dp8::EncodeJoinRequest(Request(u"x", {}));
    const Bytes cases[] = {
        {},
        {0xEE, 1, 2, 3},
        {uint8_t(Kind::Data), 'x'},
        {uint8_t(Kind::MemberLeft), 1, 0, 1, 0},
        Bytes(request.begin(), request.begin() + 10),
        Dp8::EncodeJoinRequest(Request(std::u16string(65, u'n'), {})),   // name too long
        Dp8::EncodeJoinRequest(Request(u"n", Bytes(33, 1))),             // data too large
        Dp8::EncodeJoinRequest(Request(std::u16string(u"a\0b", 3), {})), // a NUL inside the name
    };
    for (const Bytes& bad : cases) {
        RawClient x;
        ASSERT_TRUE(x.Connect(port));
        x.Send(bad);
        x.Pump(150, [&] { return x.Find(Kind::JoinReject).has_value(); });
    }
    EXPECT_EQ(hostEvents.Count(DPN_MSGID_CREATE_PLAYER), 2u);
    EXPECT_EQ(memberEvents.Count(DPN_MSGID_CREATE_PLAYER), 2u);
    EXPECT_EQ(hostEvents.ReceivedCount(), 0u);
    ExpectSessionAlive();
}

TEST_F(HostileTest, AMemberSendingGarbageAndFloodsChangesNothingForTheOthers) {
    RawClient x;
    ASSERT_TRUE(x.Connect(port));
    x.Send(Dp8::EncodeJoinRequest(Request(std::u16string(64, u'n'), Bytes(32, 7))));
    ASSERT_TRUE(x.Pump(3000, [&] { return x.Find(Kind::JoinAccept).has_value(); }));
    auto accept = Dp8::DecodeJoinAccept(x.Find(Kind::JoinAccept)->data(), x.Find(Kind::JoinAccept)->size());
    ASSERT_TRUE(accept);
    DPNID me = accept->yourId;
    DPNID memberId = 0;
    for (auto& r : accept->members)
        if (r.id != accept->hostId)
            memberId = r.id;
    ASSERT_TRUE(WaitFor([&] { return memberEvents.Count(DPN_MSGID_CREATE_PLAYER) == 3; }));

    Bytes longInfo = Dp8::EncodePeerInfo({DPNINFO_NAME, std::u16string(65, u'z'), {}});
    Bytes bigInfo = Dp8::EncodePeerInfo({DPNINFO_DATA, u"", Bytes(33, 9)});
    Bytes info = Dp8::EncodePeerInfo({DPNINFO_DATA, u"", Bytes(32, 5)});
    const Bytes garbage[] = {
        longInfo,
        bigInfo,
        Bytes(info.begin(), info.end() - 1),  // truncated
        Dp8::EncodePeerInfo({0x80, u"", {}}), // unknown flags
        {0},
        {13, 1, 2},
        {255},
        {uint8_t(Kind::Data)},                     // empty game message
        Dp8::EncodeId(Kind::MemberLeft, memberId), // only the host says who left
        Dp8::EncodeMemberAdded(0x7FFFFFF0, {0x7FFFFFF0, 0, 1, u"ghost", {}}, 1),
        Dp8::EncodeEmpty(Kind::Evict),
        Dp8::EncodeJoinAccept(*accept),
        Dp8::EncodeHello(GUID{}, memberId, 1),
    };
    for (const Bytes& g : garbage)
        x.Send(g);
    // A flood of game messages, guaranteed and not, of every size up to the limit.
    Bytes payload(1200, 0xAB);
    for (int i = 0; i < 3000; ++i) {
        payload.resize(2 + size_t(i) % 1199);
        payload[0] = uint8_t(Kind::Data);
        x.Send(payload, uint8_t(i % 2), i % 2 ? ENET_PACKET_FLAG_UNSEQUENCED : ENET_PACKET_FLAG_RELIABLE);
        if (i % 100 == 0)
            x.Pump(1, [] { return false; });
    }
    Bytes huge(Dp8::EncodeData(Bytes(DPN_MAX_MESSAGE_SIZE + 1).data(), DPN_MAX_MESSAGE_SIZE + 1));
    x.Send(huge);
    x.Pump(500, [&] { return hostEvents.ReceivedCount() >= 1500; });

    ExpectSessionAlive();
    // Nothing forged took effect: the member is still in, no ghost appeared, the hostile name stands as sent.
    EXPECT_EQ(hostEvents.Count(DPN_MSGID_DESTROY_PLAYER), 0u);
    EXPECT_EQ(memberEvents.Count(DPN_MSGID_DESTROY_PLAYER), 0u);
    EXPECT_EQ(memberEvents.Count(DPN_MSGID_CREATE_PLAYER), 3u);
    {
        std::lock_guard<std::mutex> hold(hostEvents.lock);
        for (const Received& r : hostEvents.received) {
            if (r.sender == me) {
                EXPECT_TRUE(r.bytes.size() >= 1 && r.bytes.size() <= 1199);
            }
        }
    }
    std::vector<uint64_t> buffer(64);
    auto p = reinterpret_cast<DPN_PLAYER_INFO*>(buffer.data());
    p->dwSize = sizeof *p;
    DWORD size = DWORD(buffer.size() * 8);
    ASSERT_EQ(host->GetPeerInfo(me, p, &size, 0), DPN_OK);
    EXPECT_EQ(std::u16string(p->pwszName), std::u16string(64, u'n'));
    EXPECT_EQ(p->dwDataSize, 32u);
    // Once the hostile member is gone (silently: it times out), a newcomer gets in. While it stays, a
    // newcomer waits for its greeting like anyone's: every member must link with every other.
    enet_host_destroy(x.host);
    x.host = nullptr;
    ASSERT_TRUE(WaitFor([&] { return hostEvents.Count(DPN_MSGID_DESTROY_PLAYER) == 1; }));
    Recorder lateEvents;
    IDirectPlay8Peer* late = NewPeer(lateEvents);
    EXPECT_EQ(ConnectTo(late, port, u"Late"), DPN_OK);
    late->Release();
}

// A process on the joiner's own address greets a member first, claiming the id the host will hand out next
// (ids go in order), with every token but the joiner's. The member waits for the joiner's own greeting,
// which carries the secret that the host gave it, and the join succeeds.
TEST_F(HostileTest, AnotherProcessCannotClaimTheNextJoinersPlace) {
    // A first raw member learns the session: its instance, the next id and where the member listens.
    RawClient spy;
    ASSERT_TRUE(spy.Connect(port));
    spy.Send(Dp8::EncodeJoinRequest(Request(u"spy", {})));
    ASSERT_TRUE(spy.Pump(3000, [&] { return spy.Find(Kind::JoinAccept).has_value(); }));
    Bytes acceptBytes = *spy.Find(Kind::JoinAccept);
    auto accept = Dp8::DecodeJoinAccept(acceptBytes.data(), acceptBytes.size());
    ASSERT_TRUE(accept);
    EXPECT_NE(accept->yourToken, 0u);
    const Dp8::MemberRecord* target = nullptr;
    for (const Dp8::MemberRecord& r : accept->members)
        if (r.id != accept->hostId)
            target = &r;
    ASSERT_NE(target, nullptr);
    const Dp8::MemberRecord memberAt = *target;
    const DPNID next = accept->nextId;
    // It leaves at once (every member must greet every other, and it would not): ids are never reused.
    spy.Send(Dp8::EncodeEmpty(Kind::Leave));
    ASSERT_TRUE(WaitFor([&] { return memberEvents.Count(DPN_MSGID_DESTROY_PLAYER) == 1; }));
    // Impostors at the member, before the real joiner: no token, a guess, the spy's own token.
    std::vector<std::unique_ptr<RawClient>> impostors;
    for (uint64_t token : {uint64_t(0), uint64_t(1), accept->yourToken}) {
        impostors.push_back(std::make_unique<RawClient>());
        RawClient& x = *impostors.back();
        ENetAddress to{memberAt.ip, memberAt.port};
        x.peer = enet_host_connect(x.host, &to, 2, Dp8::ConnectMagic);
        ASSERT_TRUE(x.Pump(3000, [&] { return x.peer->state == ENET_PEER_STATE_CONNECTED; }));
        x.Send(Dp8::EncodeHello(accept->instance, next, token));
        x.Pump(50, [] { return false; });
    }
    Recorder joinerEvents;
    IDirectPlay8Peer* joiner = NewPeer(joinerEvents);
    ASSERT_EQ(ConnectTo(joiner, port, u"Real"), DPN_OK);
    DPNID joinerId;
    {
        std::lock_guard<std::mutex> hold(joinerEvents.lock);
        joinerId = joinerEvents.events[0].second;
    }
    EXPECT_EQ(joinerId, next);
    // The member talks with the real joiner; none of the impostors ever heard a greeting back.
    uint8_t byte = 9;
    DPN_BUFFER_DESC b{1, &byte};
    DPNHANDLE h;
    ASSERT_EQ(member->SendTo(joinerId, &b, 1, 0, nullptr, &h, DPNSEND_GUARANTEED), DPN_OK);
    EXPECT_TRUE(WaitFor([&] { return joinerEvents.ReceivedCount() == 1; }));
    for (auto& x : impostors) {
        x->Pump(50, [] { return false; });
        EXPECT_FALSE(x->Find(Kind::HelloAck).has_value());
        EXPECT_FALSE(x->Find(Kind::Data).has_value());
    }
    EXPECT_TRUE(joinerEvents.Violations().empty());
    joiner->Release();
}

TEST_F(HostileTest, AFalseReportOfALostLinkCostsOnlyTheReporter) {
    Dp8::Control::SetLinkTimeoutMs(1000);
    RawClient x;
    ASSERT_TRUE(x.Connect(port));
    x.Send(Dp8::EncodeJoinRequest(Request(u"liar", {})));
    ASSERT_TRUE(x.Pump(3000, [&] { return x.Find(Kind::JoinAccept).has_value(); }));
    DPNID memberId = 0;
    {
        std::lock_guard<std::mutex> hold(memberEvents.lock);
        memberId = memberEvents.events[0].second;
    }
    x.Send(Dp8::EncodeId(Kind::LinkLost, memberId));
    ASSERT_TRUE(x.Pump(5000, [&] { return x.Find(Kind::Evict).has_value(); }));
    EXPECT_TRUE(WaitFor([&] { return hostEvents.Count(DPN_MSGID_DESTROY_PLAYER) == 1; }));
    ExpectSessionAlive();
}

TEST_F(HostileTest, AHostileHostCannotFeedAJoinerBrokenMembers) {
    // A "host" that answers every join with a member list holding a duplicate and a sentinel id.
    enet_initialize();
    uint16_t fakePort = FreeUdpPort();
    ENetAddress a{htonl(INADDR_LOOPBACK), fakePort};
    ENetHost* fake = enet_host_create(&a, 4, 2, 0, 0);
    ASSERT_NE(fake, nullptr);
    std::atomic<bool> stop{false};
    std::thread server([&] {
        while (!stop) {
            ENetEvent ev;
            while (enet_host_service(fake, &ev, 5) > 0)
                if (ev.type == ENET_EVENT_TYPE_RECEIVE) {
                    Dp8::JoinAccept bad;
                    bad.yourId = 5;
                    bad.hostId = 6;
                    bad.nextId = 7;
                    bad.maxPlayers = 16;
                    bad.members = {{6, 0, 1, u"h", {}}, {6, 0, 1, u"h2", {}}, {0xFFFFFFFF, 0, 1, u"s", {}}};
                    Bytes b = Dp8::EncodeJoinAccept(bad);
                    enet_peer_send(ev.peer, 0,
                                   enet_packet_create(b.data(), b.size(), ENET_PACKET_FLAG_RELIABLE));
                    enet_packet_destroy(ev.packet);
                }
        }
    });
    Recorder joinerEvents;
    IDirectPlay8Peer* joiner = NewPeer(joinerEvents);
    EXPECT_EQ(ConnectTo(joiner, fakePort), DPNERR_HOSTREJECTEDCONNECTION);
    EXPECT_EQ(joinerEvents.Count(DPN_MSGID_CREATE_PLAYER), 0u);
    joiner->Release();
    stop = true;
    server.join();
    enet_host_destroy(fake);
}

// A member floods a handler that has stopped (a game slow to take its messages): it fills its own share of
// the queue and no more, and another member's messages all get through.
TEST(HostileQueue, EachSenderHasItsOwnShareOfTheQueue) {
    Dp8::Control::SetAnswerEnumerations(false);
    struct Gate {
        std::mutex lock;
        std::condition_variable opened;
        bool open = false, holding = false;
        std::map<DPNID, size_t> received;
    } gate;
    auto handler = [](PVOID context, DWORD type, PVOID message) -> HRESULT {
        auto& g = *static_cast<Gate*>(context);
        if (type != DPN_MSGID_RECEIVE)
            return DPN_OK;
        std::unique_lock<std::mutex> lk(g.lock);
        ++g.received[static_cast<DPNMSG_RECEIVE*>(message)->dpnidSender];
        g.holding = true;
        g.opened.notify_all();
        g.opened.wait(lk, [&] { return g.open; });
        return DPN_OK;
    };
    IDirectPlay8Peer* peer = nullptr;
    CoCreateInstance(CLSID_DirectPlay8Peer, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectPlay8Peer,
                     reinterpret_cast<void**>(&peer));
    ASSERT_EQ(peer->Initialize(&gate, handler, 0), DPN_OK);
    ASSERT_EQ(HostOn(peer, 0), DPN_OK);
    // Two members on injected links; their ids follow the host's.
    for (unsigned link : {0u, 1u}) {
        Bytes join = Dp8::EncodeJoinRequest(Request(link ? u"calm" : u"flood", {}));
        Dp8::Control::InjectPacket(peer, link, 0, join.data(), join.size());
    }
    Bytes data = Dp8::EncodeData("x", 1);
    Dp8::Control::InjectPacket(peer, 0, 0, data.data(), data.size());
    {
        std::unique_lock<std::mutex> lk(gate.lock);
        ASSERT_TRUE(gate.opened.wait_for(lk, std::chrono::seconds(10), [&] { return gate.holding; }));
    }
    for (int i = 0; i < 20000; ++i)
        Dp8::Control::InjectPacket(peer, 0, 0, data.data(), data.size());
    for (int i = 0; i < 10; ++i)
        Dp8::Control::InjectPacket(peer, 1, 0, data.data(), data.size());
    {
        std::lock_guard<std::mutex> hold(gate.lock);
        gate.open = true;
        gate.opened.notify_all();
    }
    DPNID flooder = 0, calm = 0;
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard<std::mutex> hold(gate.lock);
        if (gate.received.size() < 2)
            return false;
        flooder = gate.received.begin()->first;
        calm = std::next(gate.received.begin())->first;
        return gate.received[calm] == 10;
    }));
    peer->Release();
    Dp8::Control::SetAnswerEnumerations(true);
    std::lock_guard<std::mutex> hold(gate.lock);
    EXPECT_GT(gate.received[flooder], 500u);  // its share
    EXPECT_LT(gate.received[flooder], 2000u); // and not the whole queue
}

} // namespace
