// Three sessions in one process on loopback: host, enumerate, join, players, messages, leaving.
#include "network/Session.h"
#include "NetTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>

using namespace NetTest;

namespace {

// The 24 reserved bytes the host page writes: five settings words and the game type.
std::array<uint8_t, 24> Reserved() {
    std::array<uint8_t, 24> r{};
    uint32_t time = 2;
    float x = 100.5f, y = -20.25f, altitude = 1500, heading = 90;
    std::memcpy(&r[0], &time, 4);
    std::memcpy(&r[4], &x, 4);
    std::memcpy(&r[8], &y, 4);
    std::memcpy(&r[12], &altitude, 4);
    std::memcpy(&r[16], &heading, 4);
    r[20] = 2;
    return r;
}

std::vector<MPlr::HostEntry> Found(MPlr::Session& s, size_t atLeast = 1) {
    std::vector<MPlr::HostEntry> hosts;
    WaitFor([&] {
        s.GetRecentHosts(hosts);
        return hosts.size() >= atLeast;
    });
    return hosts;
}

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override { UseLoopbackOnly(); }

    bool Join(MPlr::Session& s, const std::string& name, const std::string& team,
              const std::string& hostName = "") {
        s.EnumerateHosts(true, hostName, false);
        std::vector<MPlr::HostEntry> hosts = Found(s);
        s.EnumerateHosts(false, "", true);
        return !hosts.empty() && s.Connect(hosts[0], name, team);
    }

    void StartThree() {
        auto r = Reserved();
        ASSERT_TRUE(a->Host("Evening sortie", "Anna", 16, 24, r.data(), "Red"));
        ASSERT_TRUE(Join(*b, "Boris", "Blue"));
        ASSERT_TRUE(Join(*c, "Chen", "Red", "127.0.0.1")); // by host name
        for (MPlr::Session* s : {a.get(), b.get(), c.get()})
            ASSERT_TRUE(WaitFor([&] { return PlayerIds(*s).size() == 3; }));
    }

    DPNID LocalId(MPlr::Session& s) { return s.FindLocalPlayer().value().id; }

    std::unique_ptr<MPlr::Session> a = std::make_unique<MPlr::Session>();
    std::unique_ptr<MPlr::Session> b = std::make_unique<MPlr::Session>();
    std::unique_ptr<MPlr::Session> c = std::make_unique<MPlr::Session>();
};

TEST_F(SessionTest, EnumerationFindsTheHostWithItsDescription) {
    auto r = Reserved();
    ASSERT_TRUE(a->Host("Evening sortie", "Anna", 16, 24, r.data(), "Red"));
    b->EnumerateHosts(true, "", false); // broadcast (kept on loopback)
    std::vector<MPlr::HostEntry> hosts = Found(*b);
    ASSERT_EQ(hosts.size(), 1u);
    EXPECT_EQ(hosts[0].sessionName, "Evening sortie");
    EXPECT_EQ(hosts[0].currentPlayers, 1u);
    EXPECT_EQ(hosts[0].maxPlayers, 16u);
    ASSERT_EQ(hosts[0].reservedSize, 24u);
    EXPECT_EQ(std::memcmp(hosts[0].reserved->data(), r.data(), 24), 0);
    EXPECT_LT(hosts[0].latency, 1000u);
    // Each retry answers afresh: the one entry keeps being seen.
    double first = hosts[0].lastSeen;
    ASSERT_TRUE(WaitFor([&] {
        b->GetRecentHosts(hosts);
        return hosts.size() == 1 && hosts[0].lastSeen > first;
    }));
    std::lock_guard<std::mutex> hold(b->hostsLock);
    EXPECT_EQ(b->hosts.size(), 1u);
}

TEST_F(SessionTest, CopiesOfHostEntriesOutliveANewSearch) {
    ASSERT_TRUE(a->Host("S", "Anna", 16, 0, nullptr, ""));
    b->EnumerateHosts(true, "", false);
    std::vector<MPlr::HostEntry> hosts = Found(*b);
    ASSERT_FALSE(hosts.empty());
    b->EnumerateHosts(true, "", false); // clears the session's list
    b->EnumerateHosts(false, "", true);
    ASSERT_TRUE(b->Connect(hosts[0], "Boris", "")); // the copy's addresses are still alive
}

TEST_F(SessionTest, SilentHostDropsOutOfRecentHosts) {
    b->hostTimeout = 0.6; // retries every 200 ms
    ASSERT_TRUE(a->Host("S", "Anna", 16, 0, nullptr, ""));
    b->EnumerateHosts(true, "", false);
    ASSERT_FALSE(Found(*b).empty());
    a->Reinitialize(); // stops answering
    std::vector<MPlr::HostEntry> hosts;
    ASSERT_TRUE(WaitFor([&] {
        b->GetRecentHosts(hosts);
        return hosts.empty();
    }));
    std::lock_guard<std::mutex> hold(b->hostsLock);
    EXPECT_EQ(b->hosts.size(), 1u); // kept until the next search
}

TEST_F(SessionTest, LocalNameDefaultsBeforeAnyPlayer) {
    std::string name = "default", text = "team";
    a->GetLocalPlayerName(name, text);
    EXPECT_EQ(name, "default");
    EXPECT_EQ(text, "team");
    EXPECT_FALSE(a->FindLocalPlayer());
}

TEST_F(SessionTest, EveryPeerSeesTheSamePlayersCreatedInOrder) {
    StartThree();
    DPNID ia = LocalId(*a), ib = LocalId(*b), ic = LocalId(*c);
    EXPECT_TRUE(ia && ib && ic);
    std::vector<DPNID> ids = PlayerIds(*a);
    EXPECT_EQ(PlayerIds(*b), ids);
    EXPECT_EQ(PlayerIds(*c), ids);
    for (DPNID id : ids)
        EXPECT_TRUE(id != 0xFFFFFFFFu && id != 0xFFFFFFFEu);

    Drained da, db, dc;
    da.Take(*a);
    db.Take(*b);
    dc.Take(*c);
    using E = std::vector<std::pair<int, DPNID>>;
    EXPECT_EQ(da.Events(), (E{{1, ia}, {1, ib}, {1, ic}}));
    EXPECT_EQ(db.Events(), (E{{1, ib}, {1, ia}, {1, ic}})); // itself, those present, then the newcomer
    EXPECT_EQ(dc.Events(), (E{{1, ic}, {1, ia}, {1, ib}}));
    // Names, texts and the local flag travel with the events.
    for (auto& m : dc.all) {
        const MPlr::PlayerEntry& p = m.event.player;
        if (p.id == ia) {
            EXPECT_TRUE(p.name == "Anna" && p.Text() == "Red" && !p.local);
        }
        if (p.id == ic) {
            EXPECT_TRUE(p.name == "Chen" && p.Text() == "Red" && p.local);
        }
    }
    std::string name, team;
    a->GetPlayerNames(ib, name, team);
    EXPECT_EQ(name, "Boris");
    EXPECT_EQ(team, "Blue");
}

TEST_F(SessionTest, GuaranteedUnguaranteedDirectAndChatSends) {
    StartThree();
    DPNID ia = LocalId(*a), ib = LocalId(*b), ic = LocalId(*c);
    Drained da, db, dc;
    ASSERT_EQ(Send(*a, 0, "removed", RemovedFlags), DPN_OK);
    ASSERT_EQ(Send(*b, ic, "damage", RemovedFlags), DPN_OK); // to one player only
    ASSERT_EQ(Send(*c, 0, "chat", ChatFlags), DPN_OK);       // comes back to its sender too
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(Send(*b, 0, "state", StateFlags, 500), DPN_OK);
    ASSERT_TRUE(WaitFor([&] {
        da.Take(*a);
        db.Take(*b);
        dc.Take(*c);
        return da.From(ic).size() >= 1 && db.From(ia).size() == 1 && db.From(ic).size() == 1 &&
               dc.From(ib).size() >= 2 && dc.From(ia).size() == 1 && dc.From(ic).size() == 1 &&
               da.From(ib).size() >= 1;
    }));
    auto text = [](const MPlr::IncomingMessage* m) {
        return std::string(m->buffer.begin(), m->buffer.end() - 1);
    };
    EXPECT_EQ(text(db.From(ia)[0]), "removed");
    EXPECT_EQ(text(dc.From(ia)[0]), "removed");
    EXPECT_TRUE(da.From(ia).empty()); // no loopback
    EXPECT_EQ(text(dc.From(ic)[0]), "chat");
    EXPECT_EQ(text(db.From(ic)[0]), "chat");
    for (const MPlr::IncomingMessage* m : da.From(ib))
        EXPECT_EQ(text(m), "state"); // "damage" went to Chen alone
    size_t damage = 0;
    for (const MPlr::IncomingMessage* m : dc.From(ib))
        damage += text(m) == "damage";
    EXPECT_EQ(damage, 1u);
    EXPECT_LE(da.From(ib).size(), 50u); // may be lost, never doubled
}

TEST_F(SessionTest, GuaranteedMessagesAndInformationSurviveLoss) {
    StartThree();
    DPNID ia = LocalId(*a), ib = LocalId(*b);
    for (MPlr::Session* s : {a.get(), b.get(), c.get()})
        Dp8::Control::SetIncomingLoss(s->peer, 0.2);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(Send(*a, 0, "m" + std::to_string(i), RemovedFlags), DPN_OK);
    std::array<uint8_t, 32> data{};
    std::memcpy(&data[8], "Lossy", 6);
    b->SetLocalPlayerData(data.data(), 32);
    Drained db, dc;
    ASSERT_TRUE(WaitFor([&] {
        db.Take(*b);
        dc.Take(*c);
        return db.From(ia).size() >= 100 && dc.From(ia).size() >= 100;
    }));
    for (Drained* d : {&db, &dc}) {
        std::set<std::string> seen;
        for (auto* m : d->From(ia))
            seen.insert(std::string(m->buffer.begin(), m->buffer.end() - 1));
        EXPECT_EQ(seen.size(), 100u); // each once
        EXPECT_EQ(d->From(ia).size(), 100u);
    }
    for (MPlr::Session* s : {a.get(), c.get()}) {
        ASSERT_TRUE(WaitFor([&] {
            std::string name, team;
            s->GetPlayerNames(ib, name, team);
            return team == "Lossy";
        }));
    }
    EXPECT_EQ(PlayerIds(*a).size(), 3u);
}

TEST_F(SessionTest, PeerInfoUpdatesReachEveryPeer) {
    StartThree();
    DPNID ib = LocalId(*b);
    std::array<uint8_t, 32> data{};
    data[0] = 3; // deaths
    data[4] = 7; // kills
    std::memcpy(&data[8], "Green", 6);
    b->SetLocalPlayerData(data.data(), 32);
    for (MPlr::Session* s : {a.get(), b.get(), c.get()}) {
        ASSERT_TRUE(WaitFor([&] {
            std::string name, team;
            s->GetPlayerNames(ib, name, team);
            return team == "Green";
        }));
        std::lock_guard<std::mutex> hold(s->playersLock);
        for (auto& p : s->players)
            if (p.id == ib) {
                EXPECT_EQ(p.data, data);
            }
    }
}

TEST_F(SessionTest, CloseHandsOverEveryDestroyBeforeReturning) {
    StartThree();
    DPNID ia = LocalId(*a), ib = LocalId(*b), ic = LocalId(*c);
    Drained dc;
    dc.Take(*c);
    c->Reinitialize();
    dc.Take(*c); // right after Close returned: nothing arrives later
    using E = std::vector<std::pair<int, DPNID>>;
    EXPECT_EQ(dc.Events(), (E{{1, ic}, {1, ia}, {1, ib}, {2, ia}, {2, ib}, {2, ic}}));
    EXPECT_TRUE(PlayerIds(*c).empty());
    for (MPlr::Session* s : {a.get(), b.get()})
        ASSERT_TRUE(WaitFor([&] { return PlayerIds(*s) == std::vector<DPNID>({ia, ib}); }));
    // The same session object hosts again at once.
    ASSERT_TRUE(c->Host("Again", "Chen", 16, 0, nullptr, ""));
    ASSERT_TRUE(c->FindLocalPlayer());
}

TEST_F(SessionTest, HostLeavingHandsTheSessionOn) {
    StartThree();
    DPNID ia = LocalId(*a), ib = LocalId(*b), ic = LocalId(*c);
    a.reset(); // the host goes
    for (MPlr::Session* s : {b.get(), c.get()})
        ASSERT_TRUE(WaitFor([&] { return PlayerIds(*s) == std::vector<DPNID>({ib, ic}); }));
    // Boris (lowest id) now answers enumerations and admits a newcomer.
    MPlr::Session d;
    d.EnumerateHosts(true, "", false);
    std::vector<MPlr::HostEntry> hosts = Found(d);
    ASSERT_EQ(hosts.size(), 1u);
    EXPECT_EQ(hosts[0].currentPlayers, 2u);
    ASSERT_TRUE(d.Connect(hosts[0], "Dana", "Blue"));
    DPNID id = LocalId(d);
    for (MPlr::Session* s : {b.get(), c.get(), &d})
        ASSERT_TRUE(WaitFor([&] { return PlayerIds(*s) == std::vector<DPNID>({ib, ic, id}); }));
    EXPECT_GT(id, ic);
    EXPECT_NE(id, ia); // ids are never handed out twice
    // Messages still flow through the new mesh.
    Drained dd;
    ASSERT_EQ(Send(*c, 0, "hi", ChatFlags), DPN_OK);
    ASSERT_TRUE(WaitFor([&] {
        dd.Take(d);
        return dd.From(ic).size() == 1;
    }));
}

// A peer cut off sees every other player go silent, which it cannot tell from their processes dying: the
// session migrates, so it carries on as the host of what is left (itself), and the others see it go.
TEST_F(SessionTest, APeerCutOffCarriesOnAsTheHostOfWhatIsLeft) {
    StartThree();
    DPNID ia = LocalId(*a), ib = LocalId(*b), ic = LocalId(*c);
    Drained before, dc;
    before.Take(*c);
    Dp8::Control::CutOff(c->peer, true);
    ASSERT_TRUE(WaitFor([&] {
        dc.Take(*c);
        return PlayerIds(*c) == std::vector<DPNID>({ic});
    }));
    auto events = dc.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(std::count(events.begin(), events.end(), std::make_pair(2, ia)) == 1);
    EXPECT_TRUE(std::count(events.begin(), events.end(), std::make_pair(2, ib)) == 1);
    ASSERT_TRUE(c->FindLocalPlayer());
    for (MPlr::Session* s : {a.get(), b.get()})
        ASSERT_TRUE(WaitFor([&] { return PlayerIds(*s) == std::vector<DPNID>({ia, ib}); }));
}

TEST_F(SessionTest, ConnectFailsWhenFullOrGone) {
    ASSERT_TRUE(a->Host("Pair", "Anna", 2, 0, nullptr, ""));
    ASSERT_TRUE(Join(*b, "Boris", ""));
    c->EnumerateHosts(true, "", false);
    std::vector<MPlr::HostEntry> hosts = Found(*c);
    ASSERT_FALSE(hosts.empty());
    EXPECT_FALSE(c->Connect(hosts[0], "Chen", "")); // full
    EXPECT_FALSE(c->FindLocalPlayer());
    a.reset();
    b.reset();
    EXPECT_FALSE(c->Connect(hosts[0], "Chen", "")); // the session is gone
    Drained dc;
    dc.Take(*c);
    EXPECT_TRUE(dc.Events().empty());
}

} // namespace
