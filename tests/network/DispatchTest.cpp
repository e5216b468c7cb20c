#include "network/Dispatch.h"

#include "base/FrameClock.h"
#include "base/Random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

GUID Guid(uint8_t n) {
    return GUID{n, 0, 0, {0, 0, 0, 0, 0, 0, 0, n}};
}

// A copy that only says whether it exists.
class FakeRemote : public Comm::RemoteObj {
public:
    FakeRemote(MPlr::NetworkObjects* registry, uint8_t kind, const GUID& guid, DPNID owner, float clock)
        : RemoteObj(registry, guid, owner, clock), kind(kind) {}
    uint8_t AcceptedKind() const override { return kind; }
    bool HasObject() const override { return exists; }
    void DeleteObject() override { exists = false; }

    uint8_t kind;
    bool exists = true;
};

class FakeLocalAirplane : public Comm::LocalObj {
public:
    using LocalObj::LocalObj;
    uint8_t AcceptedKind() const override { return Comm::NoObject; }
    bool HasObject() const override { return exists; }
    bool exists = true;
};

class FakeGame : public MPlr::NetworkHost {
public:
    void Announce(const Base::String& text) override { announcements.push_back(text); }
    void AddChatLine(DPNID sender, const Base::String& text) override { chats.push_back({sender, text}); }
    uint32_t GameType() const override { return 1; }
    bool HasLocalPilot() const override { return true; }
    std::unique_ptr<Comm::RemoteObj> MakeRemote(MPlr::NetworkObjects* registry, uint8_t kind,
                                                const GUID& guid, DPNID owner, float clock) override {
        ++made;
        return std::make_unique<FakeRemote>(registry, kind, guid, owner, clock);
    }

    std::vector<Base::String> announcements;
    std::vector<std::pair<DPNID, Base::String>> chats;
    int made = 0;
};

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        Base::FrameClock::SetFixedStep(0.1, 0.0);
        Base::FrameClock::Tick();
        AddPlayer(1, true);
        AddPlayer(2, false);
        AddPlayer(3, false);
        registry.ProcessIncoming(); // the first frame drops its batch
    }
    void TearDown() override { Base::FrameClock::SetFixedStep(0); }

    void AddPlayer(DPNID id, bool local) {
        MPlr::PlayerEntry p;
        p.id = id;
        p.name = "P" + std::to_string(id);
        p.local = local;
        session.players.push_back(p);
    }
    void Queue(DPNID sender, const Comm::Bytes& bytes) {
        MPlr::IncomingMessage m;
        m.sender = sender;
        m.size = uint32_t(bytes.size());
        m.buffer = bytes;
        session.incoming.push_back(std::move(m));
    }
    void QueueEvent(MPlr::SessionEventKind kind, DPNID id, bool local) {
        MPlr::IncomingMessage m;
        m.event.kind = kind;
        m.event.player.id = id;
        m.event.player.local = local;
        session.incoming.push_back(std::move(m));
    }
    static Comm::Bytes Flare(uint8_t n, float time, float x = 0) {
        Comm::CountermeasureStateMessage m;
        m.header.object = Guid(n);
        m.header.sendTime = time;
        m.position = {x, 0, 0};
        return Comm::Encode(m);
    }
    static Comm::Bytes Removed(uint8_t n, float time) {
        Comm::RemovedMessage m;
        m.header.object = Guid(n);
        m.header.sendTime = time;
        return Comm::Encode(m);
    }
    FakeRemote* Remote(uint8_t n) { return dynamic_cast<FakeRemote*>(registry.Find(Guid(n))); }

    MPlr::Session session;
    FakeGame game;
    MPlr::NetworkObjects registry{&game, &session};
};

TEST(ProxyHistoryTest, OrderedQueriesPairsAndFactors) {
    FakeRemote proxy(nullptr, Comm::FlareObject, Guid(1), 2, 0.0f);
    for (float t : {3.0f, 1.0f, 2.0f})
        proxy.AddToHistory({t, 2, Comm::Encode(Comm::CountermeasureStateMessage{})});
    ASSERT_EQ(proxy.history.size(), 3u);
    EXPECT_EQ(proxy.history[0].time, 1.0f);
    EXPECT_EQ(proxy.history[2].time, 3.0f);

    const struct {
        float t;
        bool found;
        std::size_t older, newer;
    } cases[] = {
        {0.5f, false, 0, 0}, {1.0f, true, 0, 1}, {2.5f, true, 1, 2}, {3.0f, true, 2, 2}, {9.0f, true, 2, 2}};
    for (const auto& c : cases) {
        std::size_t older = 99, newer = 99;
        ASSERT_EQ(proxy.Pair(c.t, older, newer), c.found) << c.t;
        if (c.found) {
            EXPECT_EQ(older, c.older) << c.t;
            EXPECT_EQ(newer, c.newer) << c.t;
        }
    }
    EXPECT_FLOAT_EQ(Comm::NetworkObj::Factor(2.5f, 2.0f, 3.0f), 0.5f);
    EXPECT_EQ(Comm::NetworkObj::Factor(7.0f, 3.0f, 3.0f), 0.0f); // a single state: both ends the same

    // Pairs among the real states only (valid byte 1): the flare states have none.
    std::size_t older, newer;
    EXPECT_FALSE(proxy.Pair(2.5f, 1, older, newer));
    Comm::AirplaneStateMessage a;
    proxy.AddToHistory({2.2f, 2, Comm::Encode(a)});
    ASSERT_TRUE(proxy.Pair(2.5f, 1, older, newer));
    EXPECT_EQ(proxy.history[older].time, 2.2f);
    EXPECT_EQ(older, newer);

    proxy.DropBefore(2);
    EXPECT_EQ(proxy.history.front().time, 2.2f);

    // A peer sending states from the future cannot grow the history without bound.
    for (int i = 0; i < 500; ++i)
        proxy.AddToHistory({1000.0f + i, 2, {}});
    EXPECT_EQ(proxy.history.size(), Comm::MaxHistory);
    EXPECT_EQ(proxy.history.back().time, 1499.0f);
}

TEST(ProxyHistoryTest, SendTimerPeriodAndJitter) {
    Base::Random::Seed(7);
    Comm::SendTimer timer;
    EXPECT_TRUE(timer.Due(5.0f, 0.1f, 0.025f)); // a stamp of 0 sends on the first update of a game
    EXPECT_GE(timer.stamp, 5.0f - 0.025f);
    EXPECT_LE(timer.stamp, 5.0f + 0.025f);
    EXPECT_FALSE(timer.Due(5.05f, 0.1f, 0.025f));
    int sent = 1;
    for (int frame = 1; frame <= 1000; ++frame)
        sent += timer.Due(5.0f + frame * 0.01f, 0.1f, 0.025f);
    // Ten seconds at one state every 0.1 s on average (frames of 10 ms round each period up).
    EXPECT_GT(sent, 85);
    EXPECT_LE(sent, 101);
}

TEST_F(DispatchTest, StatesBeforeTheFirstFrameNeverArrive) {
    Queue(2, Flare(5, 1.0f));
    MPlr::NetworkObjects fresh(&game, &session);
    fresh.ProcessIncoming();
    EXPECT_EQ(fresh.Find(Guid(5)), nullptr);
    EXPECT_EQ(fresh.phase, MPlr::NetworkObjects::Running);
}

TEST_F(DispatchTest, ANewObjectMakesOneProxyRunningBehindItsOwner) {
    Queue(2, Flare(5, 10.0f));
    Queue(2, Flare(5, 10.2f));
    registry.ProcessIncoming();
    EXPECT_EQ(game.made, 1);
    FakeRemote* proxy = Remote(5);
    ASSERT_NE(proxy, nullptr);
    EXPECT_EQ(proxy->history.size(), 2u);
    EXPECT_EQ(proxy->owner, 2u);
    // Two seconds behind the first state's time, then one frame run on.
    EXPECT_NEAR(proxy->clock, 8.1f, 1e-5f);
}

TEST_F(DispatchTest, OnlyTheOwnerMovesOrRemovesItsObject) {
    Queue(2, Flare(5, 10.0f));
    registry.ProcessIncoming();
    FakeRemote* proxy = Remote(5);
    ASSERT_NE(proxy, nullptr);

    Queue(3, Flare(5, 10.1f, 99)); // another peer's state for it
    Queue(3, Removed(5, 10.1f));   // and its removal
    Comm::ExplosionStateMessage e; // the owner, but another kind under the same id
    e.header.object = Guid(5);
    e.header.sendTime = 10.1f;
    Queue(2, Comm::Encode(e));
    Comm::Bytes nan = Flare(5, 10.1f);
    const float bad = std::numeric_limits<float>::quiet_NaN();
    std::memcpy(&nan[24], &bad, 4);
    Queue(2, nan);
    Comm::Bytes truncated = Flare(5, 10.1f);
    truncated.pop_back();
    Queue(2, truncated);
    Queue(9, Flare(5, 10.1f)); // no such player
    registry.ProcessIncoming();
    EXPECT_EQ(proxy->history.size(), 1u);
    EXPECT_EQ(proxy->removalTime, -1.0f);
    EXPECT_EQ(game.made, 1);

    // The owner's removal takes effect when the delayed clock reaches its time, not on arrival.
    Queue(2, Removed(5, 10.5f));
    registry.ProcessIncoming();
    EXPECT_EQ(proxy->removalTime, 10.5f);
    EXPECT_TRUE(proxy->exists);
    for (int i = 0; i < 30 && proxy->clock < 10.35f; ++i) {
        Base::FrameClock::Tick();
        registry.ProcessIncoming();
    }
    EXPECT_TRUE(proxy->exists);
    for (int i = 0; i < 3; ++i) {
        Base::FrameClock::Tick();
        registry.ProcessIncoming();
    }
    EXPECT_FALSE(proxy->exists);
    EXPECT_NE(registry.Find(Guid(5)), nullptr); // the proxy stays registered
}

TEST_F(DispatchTest, ARemovedNoticeThatOvertakesTheFirstStateLeavesNoGhost) {
    Queue(2, Removed(6, 11.0f));
    Queue(2, Flare(6, 10.0f));
    registry.ProcessIncoming();
    EXPECT_EQ(registry.Find(Guid(6)), nullptr);
    EXPECT_EQ(game.made, 0);
}

TEST_F(DispatchTest, DamageReportsReachOnlyALocalAirplane) {
    auto local = std::make_unique<FakeLocalAirplane>(&registry);
    const GUID id = local->guid;
    Comm::NetworkObj* proxy = registry.Register(std::move(local));
    Comm::DamageMessage d;
    d.header.object = id;
    d.hitPointChange = -10;
    d.attacker = "gun";
    Queue(3, Comm::Encode(d));
    Comm::CountermeasureStateMessage spoof; // a state for our own object
    spoof.header.object = id;
    Queue(3, Comm::Encode(spoof));
    registry.ProcessIncoming();
    ASSERT_EQ(proxy->history.size(), 1u);
    EXPECT_EQ(proxy->history[0].sender, 3u);
    EXPECT_EQ(proxy->history[0].buffer.size(), Comm::DamageSize);

    // A damage report for a copy is not read as its state.
    Queue(2, Flare(5, 10.0f));
    registry.ProcessIncoming();
    d.header.object = Guid(5);
    Queue(2, Comm::Encode(d));
    registry.ProcessIncoming();
    EXPECT_EQ(Remote(5)->history.size(), 1u);

    // Damage for an object this peer never had creates nothing.
    d.header.object = Guid(77);
    Queue(2, Comm::Encode(d));
    registry.ProcessIncoming();
    EXPECT_EQ(registry.Find(Guid(77)), nullptr);
}

TEST_F(DispatchTest, ALeavingPlayerTakesAllHisCopiesWithHim) {
    Queue(2, Flare(5, 10.0f));
    Queue(2, Flare(6, 10.0f));
    Queue(3, Flare(7, 10.0f));
    registry.ProcessIncoming();
    ASSERT_EQ(game.made, 3);
    session.players.erase(session.players.begin() + 1);
    QueueEvent(MPlr::SessionEventKind::PlayerDestroyed, 2, false);
    Queue(2, Flare(8, 10.5f)); // a straggler after the leave
    const size_t before = game.announcements.size();
    registry.ProcessIncoming();
    EXPECT_EQ(registry.Find(Guid(5)), nullptr);
    EXPECT_EQ(registry.Find(Guid(6)), nullptr);
    EXPECT_EQ(registry.Find(Guid(8)), nullptr);
    EXPECT_NE(registry.Find(Guid(7)), nullptr);
    EXPECT_EQ(game.announcements.size(), before + 1);
    EXPECT_EQ(registry.phase, MPlr::NetworkObjects::Running);
}

TEST_F(DispatchTest, LosingTheConnectionStopsReading) {
    QueueEvent(MPlr::SessionEventKind::PlayerDestroyed, 1, true);
    Queue(2, Flare(5, 10.0f));
    registry.ProcessIncoming();
    EXPECT_EQ(registry.phase, MPlr::NetworkObjects::ConnectionLost);
    EXPECT_EQ(registry.Find(Guid(5)), nullptr);
    Queue(2, Flare(5, 10.0f));
    registry.ProcessIncoming();
    EXPECT_EQ(registry.Find(Guid(5)), nullptr);
    EXPECT_TRUE(session.incoming.empty());
}

TEST_F(DispatchTest, ChatReachesTheGameOnce) {
    Queue(1, Comm::Encode(Comm::ChatMessage{1.0f, "hello"}));
    Comm::Bytes unterminated(30, 'x');
    unterminated[1] = 6;
    std::memset(&unterminated[20], 0, 4);
    Queue(2, unterminated);
    registry.ProcessIncoming();
    ASSERT_EQ(game.chats.size(), 2u);
    EXPECT_EQ(game.chats[0].first, 1u);
    EXPECT_EQ(game.chats[0].second, "hello");
    EXPECT_EQ(game.chats[1].second, "xxxxxx");
}

TEST_F(DispatchTest, ALocalObjectSaysOnceThatItIsGoneAndLeavesTheRegistry) {
    std::vector<Comm::Bytes> sent;
    registry.divert = [&sent](const Comm::Bytes& bytes, uint32_t, DPNID) { sent.push_back(bytes); };
    auto local = std::make_unique<FakeLocalAirplane>(&registry);
    FakeLocalAirplane* proxy = local.get();
    const GUID id = proxy->guid;
    registry.Register(std::move(local));
    registry.ProcessIncoming();
    EXPECT_FALSE(proxy->removedSent);
    EXPECT_EQ(registry.Find(id), proxy);
    proxy->exists = false;
    registry.ProcessIncoming();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].size(), Comm::RemovedSize);
    // Gone from the registry, and its id is remembered: a state sent under it (a hostile peer's) makes no
    // copy.
    EXPECT_EQ(registry.Find(id), nullptr);
    Comm::CountermeasureStateMessage m;
    m.header.object = id;
    m.header.sendTime = 10.0f;
    Queue(2, Comm::Encode(m));
    registry.ProcessIncoming();
    EXPECT_EQ(registry.Find(id), nullptr);
    EXPECT_EQ(game.made, 0);
    EXPECT_EQ(sent.size(), 1u);
}

} // namespace
