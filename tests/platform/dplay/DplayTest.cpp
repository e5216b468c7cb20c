// The DirectPlay 8 layer's own promises, below the session: enumeration, limits, identity of a session.
#include "Recorder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>

using namespace DplayTest;

namespace {

class DplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dp8::Control::SetEnumPort(FreeUdpPort());
        Dp8::Control::SetBroadcastTargets({"127.255.255.255"});
        Dp8::Control::SetConnectTimeoutMs(3000);
        Dp8::Control::SetLinkTimeoutMs(1500);
    }
    void TearDown() override {
        Dp8::Control::SetNameLookUp(nullptr);
        for (IDirectPlay8Peer* p : {host, joiner})
            if (p)
                p->Release();
    }
    HRESULT Enumerate(IDirectPlay8Peer* p, IDirectPlay8Address* target, DWORD flags, DPNHANDLE* handle) {
        DPN_APPLICATION_DESC app{};
        app.dwSize = sizeof app;
        app.guidApplication = TestApplication;
        return p->EnumHosts(&app, target, nullptr, nullptr, 0, INFINITE, 100, 0, nullptr, handle, flags);
    }

    Recorder hostEvents, joinerEvents;
    IDirectPlay8Peer* host = NewPeer(hostEvents);
    IDirectPlay8Peer* joiner = NewPeer(joinerEvents);
};

TEST_F(DplayTest, HostNamesAreLookedUpOffTheCallersThread) {
    uint16_t port = FreeUdpPort();
    ASSERT_EQ(HostOn(host, port), DPN_OK);
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    std::atomic<bool> askedElsewhere{false};
    auto caller = std::this_thread::get_id();
    Dp8::Control::SetNameLookUp([&](const std::string& name) -> std::optional<std::string> {
        askedElsewhere = std::this_thread::get_id() != caller && name == "tower.example";
        std::unique_lock<std::mutex> lk(m);
        cv.wait(lk, [&] { return release; }); // a name server that takes its time
        return std::string("127.0.0.1");
    });
    IDirectPlay8Address* target = NewAddress("tower.example");
    DPNHANDLE handle = 0;
    EXPECT_EQ(Enumerate(joiner, target, DPNENUMHOSTS_NOBROADCASTFALLBACK, &handle), DPNSUCCESS_PENDING);
    target->Release();
    EXPECT_NE(handle, 0u); // returned while the lookup still waits
    EXPECT_EQ(joinerEvents.ResponseCount(), 0u);
    {
        std::lock_guard<std::mutex> lk(m);
        release = true;
    }
    cv.notify_all();
    ASSERT_TRUE(WaitFor([&] { return joinerEvents.ResponseCount() > 0; }));
    EXPECT_TRUE(askedElsewhere);
    EXPECT_EQ(joiner->CancelAsyncOperation(handle, 0), DPN_OK);
}

TEST_F(DplayTest, ANamedHostIsAskedAloneWithoutBroadcastFallback) {
    ASSERT_EQ(HostOn(host, FreeUdpPort()), DPN_OK);
    // Nobody answers on this port of the named host, though a broadcast would find the session.
    IDirectPlay8Address* target = NewAddress("127.0.0.1", FreeUdpPort());
    DPNHANDLE handle = 0;
    EXPECT_EQ(Enumerate(joiner, target, DPNENUMHOSTS_NOBROADCASTFALLBACK, &handle), DPNSUCCESS_PENDING);
    target->Release();
    // A second enumeration by broadcast finds it meanwhile, so the first has had its time.
    Recorder other;
    IDirectPlay8Peer* p = NewPeer(other);
    IDirectPlay8Address* everyone = NewAddress();
    DPNHANDLE h2;
    EXPECT_EQ(Enumerate(p, everyone, 0, &h2), DPNSUCCESS_PENDING);
    everyone->Release();
    ASSERT_TRUE(WaitFor([&] { return other.ResponseCount() >= 3; }));
    EXPECT_EQ(joinerEvents.ResponseCount(), 0u);
    p->Release();
}

TEST_F(DplayTest, OnlySessionsOfTheSameApplicationAnswer) {
    ASSERT_EQ(HostOn(host, 0), DPN_OK);
    IDirectPlay8Address* everyone = NewAddress();
    DPN_APPLICATION_DESC other{};
    other.dwSize = sizeof other;
    other.guidApplication = GUID{0xABCD, 1, 2, {3}};
    DPNHANDLE foreign = 0, ours = 0;
    ASSERT_EQ(
        joiner->EnumHosts(&other, everyone, nullptr, nullptr, 0, INFINITE, 100, 0, nullptr, &foreign, 0),
        DPNSUCCESS_PENDING);
    Recorder mine;
    IDirectPlay8Peer* p = NewPeer(mine);
    ASSERT_EQ(Enumerate(p, everyone, 0, &ours), DPNSUCCESS_PENDING);
    everyone->Release();
    ASSERT_TRUE(WaitFor([&] { return mine.ResponseCount() >= 3; }));
    EXPECT_EQ(joinerEvents.ResponseCount(), 0u);
    p->Release();
}

TEST_F(DplayTest, CancelStopsResponsesAtOnce) {
    ASSERT_EQ(HostOn(host, FreeUdpPort()), DPN_OK);
    IDirectPlay8Address* everyone = NewAddress();
    DPNHANDLE handle = 0;
    ASSERT_EQ(Enumerate(joiner, everyone, 0, &handle), DPNSUCCESS_PENDING);
    everyone->Release();
    ASSERT_TRUE(WaitFor([&] { return joinerEvents.ResponseCount() >= 2; }));
    ASSERT_EQ(joiner->CancelAsyncOperation(handle, 0), DPN_OK);
    size_t after = joinerEvents.ResponseCount();
    // Another enumeration's answers mark the time in which the cancelled one would have been heard.
    Recorder other;
    IDirectPlay8Peer* p = NewPeer(other);
    IDirectPlay8Address* again = NewAddress();
    DPNHANDLE h2;
    Enumerate(p, again, 0, &h2);
    again->Release();
    ASSERT_TRUE(WaitFor([&] { return other.ResponseCount() >= 3; }));
    EXPECT_EQ(joinerEvents.ResponseCount(), after);
    EXPECT_EQ(joiner->CancelAsyncOperation(handle, 0), DPNERR_INVALIDHANDLE);
    p->Release();
}

TEST_F(DplayTest, ResponsesCarryAnAddressThatConnects) {
    ASSERT_EQ(HostOn(host, 0), DPN_OK);
    IDirectPlay8Address* everyone = NewAddress();
    DPNHANDLE handle = 0;
    ASSERT_EQ(Enumerate(joiner, everyone, 0, &handle), DPNSUCCESS_PENDING);
    everyone->Release();
    ASSERT_TRUE(WaitFor([&] { return joinerEvents.ResponseCount() > 0; }));
    joiner->CancelAsyncOperation(handle, 0);
    IDirectPlay8Address* address = joinerEvents.responses[0].pAddressSender;
    SetInfo(joiner, u"Joiner", {});
    DPN_APPLICATION_DESC app{};
    app.dwSize = sizeof app;
    app.guidApplication = TestApplication;
    EXPECT_EQ(joiner->Connect(&app, address, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr,
                              DPNCONNECT_SYNC),
              DPN_OK);
    // The host hears of the newcomer on its own thread, not before the joiner's Connect returns.
    EXPECT_TRUE(WaitFor([&] { return hostEvents.Count(DPN_MSGID_CREATE_PLAYER) == 2u; }));
}

TEST_F(DplayTest, ConnectRefusesAnotherApplicationOrInstance) {
    uint16_t port = FreeUdpPort();
    ASSERT_EQ(HostOn(host, port), DPN_OK);
    SetInfo(joiner, u"Joiner", {});
    DPN_APPLICATION_DESC app{};
    app.dwSize = sizeof app;
    app.guidApplication = GUID{1, 2, 3, {4}};
    IDirectPlay8Address* address = NewAddress("127.0.0.1", port);
    EXPECT_EQ(joiner->Connect(&app, address, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr,
                              DPNCONNECT_SYNC),
              DPNERR_INVALIDAPPLICATION);
    app.guidApplication = TestApplication;
    GUID stale{9, 9, 9, {9}};
    address->AddComponent(u"corvane-instance", &stale, sizeof stale, DPNA_DATATYPE_GUID);
    EXPECT_EQ(joiner->Connect(&app, address, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr,
                              DPNCONNECT_SYNC),
              DPNERR_INVALIDINSTANCE);
    address->Release();
    EXPECT_EQ(joinerEvents.Count(DPN_MSGID_CREATE_PLAYER), 0u);
    EXPECT_EQ(hostEvents.Count(DPN_MSGID_CREATE_PLAYER), 1u);
    EXPECT_EQ(ConnectTo(joiner, port), DPN_OK); // and the session takes the right one
}

TEST_F(DplayTest, ConnectWithNobodyThereTimesOut) {
    Dp8::Control::SetConnectTimeoutMs(300);
    EXPECT_EQ(ConnectTo(joiner, FreeUdpPort()), DPNERR_TIMEDOUT);
    EXPECT_EQ(joinerEvents.Count(DPN_MSGID_CREATE_PLAYER), 0u);
}

TEST_F(DplayTest, OversizedNamesDataAndMessagesAreRefusedAtTheSender) {
    std::u16string longName(65, u'x');
    longName.push_back(0);
    DPN_PLAYER_INFO info{};
    info.dwSize = sizeof info;
    info.dwInfoFlags = DPNINFO_NAME;
    info.pwszName = longName.data();
    EXPECT_EQ(joiner->SetPeerInfo(&info, nullptr, nullptr, DPNSETPEERINFO_SYNC), DPNERR_INVALIDPARAM);
    std::vector<uint8_t> data(33);
    info.dwInfoFlags = DPNINFO_DATA;
    info.pvData = data.data();
    info.dwDataSize = 33;
    EXPECT_EQ(joiner->SetPeerInfo(&info, nullptr, nullptr, DPNSETPEERINFO_SYNC), DPNERR_INVALIDPARAM);

    uint16_t port = FreeUdpPort();
    ASSERT_EQ(HostOn(host, port), DPN_OK);
    std::vector<uint8_t> big(DPN_MAX_MESSAGE_SIZE + 1);
    DPN_BUFFER_DESC b{DWORD(big.size()), big.data()};
    DPNHANDLE h;
    EXPECT_EQ(host->SendTo(0, &b, 1, 0, nullptr, &h, DPNSEND_GUARANTEED), DPNERR_INVALIDPARAM);
    b.dwBufferSize = 0;
    EXPECT_EQ(host->SendTo(0, &b, 1, 0, nullptr, &h, DPNSEND_GUARANTEED), DPNERR_INVALIDPARAM);
    EXPECT_EQ(host->SendTo(12345, &b, 1, 0, nullptr, &h, 0), DPNERR_INVALIDPARAM);
}

TEST_F(DplayTest, PlayerInformationTellsTheSizeItNeeds) {
    ASSERT_EQ(HostOn(host, FreeUdpPort()), DPN_OK);
    ASSERT_EQ(hostEvents.Count(DPN_MSGID_CREATE_PLAYER), 1u); // before Host returned
    DPNID id = hostEvents.events[0].second;
    DWORD size = 0;
    EXPECT_EQ(host->GetPeerInfo(id, nullptr, &size, 0), DPNERR_BUFFERTOOSMALL);
    EXPECT_EQ(size, sizeof(DPN_PLAYER_INFO) + 5 * 2 + 32);
    std::vector<uint64_t> buffer((size + 7) / 8);
    auto info = reinterpret_cast<DPN_PLAYER_INFO*>(buffer.data());
    info->dwSize = sizeof *info;
    ASSERT_EQ(host->GetPeerInfo(id, info, &size, 0), DPN_OK);
    EXPECT_EQ(std::u16string(info->pwszName), u"Host");
    EXPECT_EQ(info->dwDataSize, 32u);
    EXPECT_EQ(info->dwPlayerFlags & DPNPLAYER_LOCAL, DPNPLAYER_LOCAL);
    EXPECT_EQ(host->GetPeerInfo(id + 100, info, &size, 0), DPNERR_INVALIDPLAYER);
}

// The host of a two-player session goes silent (its process killed, or its cable cut: nobody can tell).
// With migration the joiner takes the session over, as DirectPlay 8 does: told that the host migrated to it,
// not that the session was lost. Without migration it is cut off: the host's destroy, its own, and the end.
TEST_F(DplayTest, TheSurvivorOfASilentHostTakesOverOnlyWhenTheSessionMigrates) {
    for (DWORD flags : {DWORD(DPNSESSION_MIGRATE_HOST), DWORD(0)}) {
        SCOPED_TRACE(flags ? "migrating" : "not migrating");
        Recorder hostSide, joinerSide;
        IDirectPlay8Peer* h = NewPeer(hostSide);
        IDirectPlay8Peer* j = NewPeer(joinerSide);
        uint16_t port = FreeUdpPort();
        ASSERT_EQ(HostOn(h, port, 16, flags), DPN_OK);
        ASSERT_EQ(ConnectTo(j, port), DPN_OK);
        DPNID hostId, joinerId;
        {
            std::lock_guard<std::mutex> hold(joinerSide.lock);
            joinerId = joinerSide.events[0].second;
            hostId = joinerSide.events[1].second;
        }
        Dp8::Control::CutOff(h, true);
        ASSERT_TRUE(WaitFor([&] { return joinerSide.Count(DPN_MSGID_DESTROY_PLAYER) >= 1; }));
        if (flags) {
            ASSERT_TRUE(WaitFor([&] {
                std::lock_guard<std::mutex> hold(joinerSide.lock);
                return joinerSide.newHost == joinerId;
            }));
            std::vector<uint64_t> buffer(32);
            auto info = reinterpret_cast<DPN_PLAYER_INFO*>(buffer.data());
            info->dwSize = sizeof *info;
            DWORD size = DWORD(buffer.size() * 8);
            ASSERT_EQ(j->GetPeerInfo(joinerId, info, &size, 0), DPN_OK);
            EXPECT_EQ(info->dwPlayerFlags, DWORD(DPNPLAYER_LOCAL | DPNPLAYER_HOST));
            // Still in session: a message to itself comes back.
            uint8_t byte = 7;
            DPN_BUFFER_DESC b{1, &byte};
            DPNHANDLE handle;
            EXPECT_EQ(j->SendTo(joinerId, &b, 1, 0, nullptr, &handle, DPNSEND_GUARANTEED), DPN_OK);
            EXPECT_TRUE(WaitFor([&] { return joinerSide.ReceivedCount() == 1; }));
            EXPECT_EQ(joinerSide.Count(DPN_MSGID_DESTROY_PLAYER), 1u);
            std::lock_guard<std::mutex> hold(joinerSide.lock);
            EXPECT_TRUE(joinerSide.terminations.empty());
            EXPECT_EQ(joinerSide.events.back(), std::make_pair(DWORD(DPN_MSGID_DESTROY_PLAYER), hostId));
        } else {
            ASSERT_TRUE(WaitFor([&] { return joinerSide.Count(DPN_MSGID_DESTROY_PLAYER) == 2; }));
            ASSERT_TRUE(WaitFor([&] {
                std::lock_guard<std::mutex> hold(joinerSide.lock);
                return !joinerSide.terminations.empty();
            }));
            std::lock_guard<std::mutex> hold(joinerSide.lock);
            EXPECT_EQ(joinerSide.newHost, 0u);
            EXPECT_EQ(joinerSide.terminations, std::vector<HRESULT>{DPNERR_CONNECTIONLOST});
            EXPECT_EQ(joinerSide.events.back(), std::make_pair(DWORD(DPN_MSGID_DESTROY_PLAYER), joinerId));
        }
        EXPECT_TRUE(joinerSide.Violations().empty());
        j->Release();
        h->Release();
    }
}

TEST_F(DplayTest, InitializeCloseCycles) {
    EXPECT_EQ(host->Initialize(&hostEvents, Recorder::Handler, 0), DPNERR_ALREADYINITIALIZED);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(HostOn(host, 0), DPN_OK);
        EXPECT_EQ(host->Close(0), DPN_OK);
        EXPECT_EQ(host->Close(0), DPNERR_NOTINITIALIZED);
        hostEvents.state.clear(); // ids start afresh in the next session
        ASSERT_EQ(host->Initialize(&hostEvents, Recorder::Handler, 0), DPN_OK);
    }
    EXPECT_EQ(hostEvents.Count(DPN_MSGID_CREATE_PLAYER), 3u);
    EXPECT_EQ(hostEvents.Count(DPN_MSGID_DESTROY_PLAYER), 3u);
    EXPECT_TRUE(hostEvents.Violations().empty());
}

} // namespace
