// The session's handling of the layer's callbacks, against a stand-in peer that answers as told.
#include "network/Session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Answers GetPeerInfo with a scripted sequence of results; everything else succeeds and does nothing.
class ScriptedPeer : public IDirectPlay8Peer {
public:
    std::vector<HRESULT> script; // the last one repeats
    DWORD needed = 0;            // the size asked for with DPNERR_BUFFERTOOSMALL
    std::u16string name = u"Scripted";
    int calls = 0;

    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT Initialize(PVOID, PFNDPNMESSAGEHANDLER, DWORD) override { return DPN_OK; }
    HRESULT EnumHosts(PDPN_APPLICATION_DESC, IDirectPlay8Address*, IDirectPlay8Address*, PVOID, DWORD, DWORD,
                      DWORD, DWORD, PVOID, DPNHANDLE*, DWORD) override {
        return DPN_OK;
    }
    HRESULT CancelAsyncOperation(DPNHANDLE, DWORD) override { return DPN_OK; }
    HRESULT Connect(const DPN_APPLICATION_DESC*, IDirectPlay8Address*, IDirectPlay8Address*,
                    const DPN_SECURITY_DESC*, const DPN_SECURITY_CREDENTIALS*, const void*, DWORD, PVOID,
                    PVOID, DPNHANDLE*, DWORD) override {
        return DPN_OK;
    }
    HRESULT SendTo(DPNID, const DPN_BUFFER_DESC*, DWORD, DWORD, PVOID, DPNHANDLE*, DWORD) override {
        return DPN_OK;
    }
    HRESULT Host(const DPN_APPLICATION_DESC*, IDirectPlay8Address**, DWORD, const DPN_SECURITY_DESC*,
                 const DPN_SECURITY_CREDENTIALS*, PVOID, DWORD) override {
        return DPN_OK;
    }
    HRESULT SetPeerInfo(const DPN_PLAYER_INFO*, PVOID, DPNHANDLE*, DWORD) override { return DPN_OK; }
    HRESULT Close(DWORD) override { return DPN_OK; }
    HRESULT GetPeerInfo(DPNID, DPN_PLAYER_INFO* info, DWORD* size, DWORD) override {
        HRESULT hr = script[std::min<size_t>(size_t(calls), script.size() - 1)];
        ++calls;
        if (hr == DPNERR_BUFFERTOOSMALL && *size < needed) {
            *size = needed;
            return hr;
        }
        if (hr != DPN_OK)
            return hr;
        auto name16 = reinterpret_cast<WCHAR*>(info + 1);
        std::memcpy(name16, name.c_str(), (name.size() + 1) * 2);
        info->pwszName = name16;
        info->dwDataSize = 0;
        info->pvData = nullptr;
        info->dwPlayerFlags = DPNPLAYER_LOCAL;
        return DPN_OK;
    }
};

class SessionCallbackTest : public ::testing::Test {
protected:
    void SetUp() override { std::swap(session.peer, real); }
    void TearDown() override { std::swap(session.peer, real); }
    MPlr::Session session;
    IDirectPlay8Peer* real = nullptr;
    ScriptedPeer scripted;
};

TEST_F(SessionCallbackTest, PendingInformationIsGivenUpAfterABoundedWait) {
    session.peer = &scripted;
    scripted.script = {DPNERR_PLAYERINFOPENDING};
    MPlr::PlayerEntry entry = session.GetPeerInfo(7);
    EXPECT_EQ(scripted.calls, 50);
    EXPECT_EQ(entry.id, 7u);
    EXPECT_TRUE(entry.name.empty()); // nothing made up from a buffer that was never filled
    EXPECT_EQ(entry.dataSize, 0u);
    session.peer = nullptr;
}

TEST_F(SessionCallbackTest, TheBufferGrowsToWhatTheLayerNeeds) {
    session.peer = &scripted;
    scripted.script = {DPNERR_PLAYERINFOPENDING, DPNERR_BUFFERTOOSMALL, DPN_OK};
    scripted.needed = 4000;
    scripted.name = std::u16string(u"P\u00E9ter");
    MPlr::PlayerEntry entry = session.GetPeerInfo(9);
    EXPECT_EQ(entry.name, "P\xC3\xA9ter");
    EXPECT_EQ(entry.local, 1);
    EXPECT_EQ(scripted.calls, 3);
    session.peer = nullptr;
}

TEST_F(SessionCallbackTest, ADestroyForAnUnknownPlayerQueuesNothing) {
    DPNMSG_DESTROY_PLAYER m{sizeof m, 1234, nullptr, DPNDESTROYPLAYERREASON_NORMAL};
    MPlr::Session::MessageCallback(&session, DPN_MSGID_DESTROY_PLAYER, &m);
    EXPECT_TRUE(session.incoming.empty());
}

TEST_F(SessionCallbackTest, TwoResponsesOfOneSessionMakeOneEntryThatFollowsTheLatest) {
    std::u16string name = u"Night raid";
    std::vector<uint8_t> reserved(24, 3);
    DPN_APPLICATION_DESC app{};
    app.dwSize = sizeof app;
    app.guidInstance = GUID{1, 2, 3, {4, 5}};
    app.pwszSessionName = name.data();
    app.dwCurrentPlayers = 1;
    app.dwMaxPlayers = 16;
    app.pvApplicationReservedData = reserved.data();
    app.dwApplicationReservedDataSize = 24;
    DPNMSG_ENUM_HOSTS_RESPONSE m{sizeof m, nullptr, nullptr, &app, nullptr, 0, nullptr, 40};
    MPlr::Session::MessageCallback(&session, DPN_MSGID_ENUM_HOSTS_RESPONSE, &m);
    app.dwCurrentPlayers = 3;
    m.dwRoundTripLatencyMS = 12;
    MPlr::Session::MessageCallback(&session, DPN_MSGID_ENUM_HOSTS_RESPONSE, &m);
    std::vector<MPlr::HostEntry> hosts;
    session.GetRecentHosts(hosts);
    ASSERT_EQ(hosts.size(), 1u);
    EXPECT_EQ(hosts[0].sessionName, "Night raid");
    EXPECT_EQ(hosts[0].currentPlayers, 3u);
    EXPECT_EQ(hosts[0].latency, 12u);
    EXPECT_EQ(*hosts[0].reserved, reserved);
    // Made-up sessions beyond the cap are not listed.
    for (uint32_t i = 0; i < 100; ++i) {
        app.guidInstance = GUID{100 + i, 0, 0, {0}};
        MPlr::Session::MessageCallback(&session, DPN_MSGID_ENUM_HOSTS_RESPONSE, &m);
    }
    session.GetRecentHosts(hosts);
    EXPECT_EQ(hosts.size(), MPlr::Session::MaxHosts);
}

TEST_F(SessionCallbackTest, AnUndrainedIncomingListStopsGrowingButKeepsSessionEvents) {
    using S = MPlr::Session;
    auto receive = [&](DPNID from, size_t count, size_t size = 1) {
        std::vector<uint8_t> bytes(size, 1);
        DPNMSG_RECEIVE r{sizeof r, from, nullptr, bytes.data(), DWORD(size), 0, 0};
        for (size_t i = 0; i < count; ++i)
            S::MessageCallback(&session, DPN_MSGID_RECEIVE, &r);
    };
    auto from = [&](DPNID sender) {
        return size_t(std::count_if(session.incoming.begin(), session.incoming.end(),
                                    [&](const MPlr::IncomingMessage& m) { return m.sender == sender; }));
    };
    // One member floods a game that does not drain: it fills its own share and no more, and another
    // member's messages still get in, before and after.
    receive(78, 3);
    receive(77, S::MaxIncomingPerSender + 10);
    receive(78, 3);
    EXPECT_EQ(from(77), S::MaxIncomingPerSender);
    EXPECT_EQ(from(78), 6u);
    // A share counts bytes too: a few large messages fill it.
    receive(79, 10, S::MaxIncomingBytesPerSender / 4);
    EXPECT_EQ(from(79), 4u);
    // Enough floods fill the whole list: it stops at its cap.
    for (DPNID flooder = 100; flooder < 100 + S::SenderShares + 2; ++flooder)
        receive(flooder, S::MaxIncomingPerSender);
    EXPECT_EQ(session.incoming.size(), S::MaxIncoming);
    // Session events are always kept.
    session.peer = &scripted;
    scripted.script = {DPN_OK};
    DPNMSG_CREATE_PLAYER c{sizeof c, 5, nullptr};
    S::MessageCallback(&session, DPN_MSGID_CREATE_PLAYER, &c);
    session.peer = nullptr;
    ASSERT_EQ(session.incoming.size(), S::MaxIncoming + 1);
    EXPECT_EQ(session.incoming.back().sender, 0u);
    EXPECT_EQ(session.incoming.back().event.player.name, "Scripted");
    // Whatever the game takes out, whole or in part, makes room again for the senders it came from.
    session.incoming.erase(session.incoming.begin(), session.incoming.begin() + 10); // 78's and 77's first
    receive(78, 5);
    EXPECT_EQ(from(78), 3u + 5);
    session.incoming.clear();
    receive(77, 3);
    EXPECT_EQ(from(77), 3u);
}

} // namespace
