// The proxies of the shared objects between two registries in one process: what the owner's proxies send
// is queued to the other peer as from the owner, on the fixed clock, and the copies are checked against the
// owner's objects 2 s earlier.
#include "tests/aircraft/AirplaneFixture.h"

#include "network/Dispatch.h"
#include "network/ObjectProxies.h"

#include "base/FrameClock.h"
#include "base/Random.h"
#include "base/TextTable.h"
#include "objects/Explosion.h"
#include "weapons/Countermeasure.h"
#include "weapons/HomingRocket.h"

#include <cmath>
#include <map>

namespace {

constexpr DPNID PeerA = 0x11, PeerB = 0x22;
constexpr double Step = 0.05;

class Host : public MPlr::NetworkHost {
public:
    explicit Host(Grp::World* world) : world(world) {}
    void Announce(const Base::String& text) override { announced.push_back(text); }
    void AddChatLine(DPNID, const Base::String&) override {}
    void AddSystemChatLine(const Base::String& text) override { chatted.push_back(text); }
    uint32_t GameType() const override { return 1; }
    bool HasLocalPilot() const override { return true; }
    Grp::World* GetWorld() override { return world; }
    std::unique_ptr<Comm::RemoteObj> MakeRemote(MPlr::NetworkObjects* registry, uint8_t kind,
                                                const GUID& guid, DPNID owner, float clock) override {
        return Comm::MakeRemoteProxy(registry, kind, guid, owner, clock);
    }

    Grp::World* world;
    std::vector<Base::String> announced, chatted;
};

// One peer: a world, a session that knows both players, the registry, and what it sent.
struct Peer {
    Peer(DPNID self, DPNID other, const char* name, const char* otherName)
        : world(std::make_unique<Grp::World>()), host(world.get()) {
        Add(self, name, true);
        Add(other, otherName, false);
        registry.divert = [this](const Comm::Bytes& bytes, uint32_t flags, DPNID to) {
            sent.push_back({bytes, flags, to});
        };
        registry.ProcessIncoming(); // the first frame drops its batch
    }
    ~Peer() {
        registry.proxies.clear();
        world.reset();
    }
    void Add(DPNID id, const char* name, bool local) {
        MPlr::PlayerEntry p;
        p.id = id;
        p.name = name;
        p.local = local;
        session.players.push_back(p);
    }
    // Everything sent since the last call, delivered to the other peer as from this one.
    void DeliverTo(Peer& other, DPNID from, bool (*keep)(const Comm::Bytes&) = nullptr) {
        for (auto& s : sent) {
            if (keep && !keep(s.bytes))
                continue;
            MPlr::IncomingMessage m;
            m.sender = from;
            m.size = uint32_t(s.bytes.size());
            m.buffer = s.bytes;
            other.session.incoming.push_back(std::move(m));
        }
        sent.clear();
    }
    template <class T> std::vector<T*> Objects() {
        std::vector<T*> out;
        world->ForEach([&out](Obj::Object* o) {
            if (auto* t = dynamic_cast<T*>(o))
                out.push_back(t);
        });
        return out;
    }

    struct Sent {
        Comm::Bytes bytes;
        uint32_t flags;
        DPNID to;
    };
    std::unique_ptr<Grp::World> world;
    Host host;
    MPlr::Session session;
    MPlr::NetworkObjects registry{&host, &session};
    std::vector<Sent> sent;
};

class ProxiesTest : public AirplaneWorld {
protected:
    void SetUp() override {
        AirplaneWorld::SetUp();
        Base::Info strings;
        ASSERT_EQ(strings.LoadFile("Data\\Strings.info"), 0);
        Base::TextTable = strings;
        Base::Random::Seed(5);
        Base::FrameClock::SetFixedStep(Step, 100.0);
        Base::FrameClock::Tick();
        Comm::TypeCatalogue::Clear();
        a = std::make_unique<Peer>(PeerA, PeerB, "Ann", "Bob");
        b = std::make_unique<Peer>(PeerB, PeerA, "Bob", "Ann");
    }
    void TearDown() override {
        a.reset();
        b.reset();
        Comm::TypeCatalogue::Clear();
        Base::FrameClock::SetFixedStep(0);
        AirplaneWorld::TearDown();
    }

    // A's airplane flying level, registered with its local proxy.
    Obj::Airplane* Fly() {
        auto* airplane = new Obj::Airplane;
        airplane->seed = 3;
        if (!airplane->Load(Sample("F16").c_str(), Obj::Airplane::SimpleModel)) {
            ADD_FAILURE() << "F16 does not load";
            delete airplane;
            return nullptr;
        }
        a->world->AddObject(airplane);
        airplane->Place(1000, 2000, 1500, 90, 200);
        a->registry.Register(Comm::MakeLocalProxy(&a->registry, airplane));
        return airplane;
    }

    // One frame on both peers: the worlds asked for move (A's alone unless told otherwise), A's messages
    // reach B, both registries run.
    void Frame(bool moveA = true, bool moveB = false) {
        Base::FrameClock::Tick();
        if (moveA)
            Move(*a);
        a->registry.ProcessIncoming();
        a->DeliverTo(*b, PeerA);
        if (moveB)
            Move(*b);
        b->registry.ProcessIncoming();
        b->DeliverTo(*a, PeerB);
    }
    static void Move(Peer& peer) {
        const float t0 = peer.world->time->time;
        peer.world->time->Advance();
        Grp::SimulateGroup(*peer.world->simulateables, t0, peer.world->time->time);
        Grp::RunGroup(*peer.world->runnables);
    }

    std::unique_ptr<Peer> a, b;
};

TEST_F(ProxiesTest, ACopyFollowsItsOwnerTwoSecondsBehind) {
    Obj::Airplane* airplane = Fly();
    ASSERT_NE(airplane, nullptr);
    std::map<int, RwV3d> track; // A's position by frame
    uint32_t lastSequence = 0;
    int frame = 0;
    for (; frame < 120; ++frame) {
        Frame();
        track[frame] = airplane->GetState().position;
    }
    // The copy: a remote copy on the null flight model, hostile in a free-for-all game, announced once.
    auto copies = b->Objects<Obj::Airplane>();
    ASSERT_EQ(copies.size(), 1u);
    Obj::Airplane* copy = copies[0];
    EXPECT_TRUE(copy->remoteCopy);
    EXPECT_EQ(copy->allegiance, Obj::Enemy);
    EXPECT_EQ(b->host.announced.size(), 1u); // "Ann takes off"
    // 2 s behind at 20 frames a second: where A was 40 frames ago (within one frame's flight).
    for (int i = 0; i < 20; ++i, ++frame) {
        Frame();
        track[frame] = airplane->GetState().position;
        const RwV3d want = track[frame - 40];
        const RwV3d got = copy->GetState().position;
        const float d = std::hypot(got.x - want.x, got.y - want.y, got.z - want.z);
        EXPECT_LT(d, 200.0f * float(Step) + 1.0f) << "frame " << frame;
    }
    // Each state message counts up from 1, about ten a second.
    Comm::AirplaneStateMessage m;
    int states = 0;
    for (int i = 0; i < 10; ++i) {
        Base::FrameClock::Tick();
        a->registry.ProcessIncoming();
        for (auto& s : a->sent)
            if (Comm::Decode(s.bytes.data(), s.bytes.size(), m)) {
                EXPECT_GT(m.sequence, lastSequence);
                EXPECT_EQ(s.flags, Comm::StateSendFlags);
                EXPECT_EQ(s.to, DPNID(DPNID_ALL_PLAYERS_GROUP));
                EXPECT_EQ(m.typeName, "F16");
                lastSequence = m.sequence;
                ++states;
            }
        a->sent.clear();
    }
    EXPECT_GE(states, 3);
    EXPECT_LE(states, 6);
    EXPECT_GT(lastSequence, 140u / 2 - 20);
}

TEST_F(ProxiesTest, DamageOnACopyReachesTheOwnerAndAKillIsAnnouncedOnceEverywhere) {
    Obj::Airplane* airplane = Fly();
    ASSERT_NE(airplane, nullptr);
    for (int i = 0; i < 50; ++i)
        Frame();
    auto copies = b->Objects<Obj::Airplane>();
    ASSERT_EQ(copies.size(), 1u);
    Obj::Airplane* copy = copies[0];
    const float full = airplane->maxHitPoints;
    ASSERT_GT(full, 0.0f);

    // B's gun takes a third off the copy: A's airplane loses the same.
    copy->SetLastAttacker("Cannon");
    copy->SetHitPoints(copy->hitPoints - full / 3);
    Frame();
    Frame();
    EXPECT_FLOAT_EQ(airplane->hitPoints, full - full / 3);
    EXPECT_TRUE(a->host.announced.empty());

    // Then the rest: A is shot down by B, once, whatever further reports say.
    copy->SetHitPoints(0);
    Frame();
    Frame();
    ASSERT_EQ(a->host.announced.size(), 1u);
    EXPECT_NE(a->host.announced[0].find("Bob"), std::string::npos) << a->host.announced[0];
    EXPECT_NE(a->host.announced[0].find("Cannon"), std::string::npos) << a->host.announced[0];
    EXPECT_EQ(a->host.chatted, a->host.announced);
    auto* proxy = dynamic_cast<Comm::LocalAirplane*>(a->registry.FindByObject(airplane));
    ASSERT_NE(proxy, nullptr);
    EXPECT_EQ(proxy->killer, int32_t(PeerB));

    // A second report (a missile arriving late) neither repeats it nor changes the killer.
    Comm::DamageMessage late;
    late.header.object = proxy->guid;
    late.hitPointChange = -10;
    late.attacker = "Missile";
    MPlr::IncomingMessage m;
    m.sender = PeerB;
    m.buffer = Comm::Encode(late);
    m.size = uint32_t(m.buffer.size());
    a->session.incoming.push_back(m);
    Frame();
    EXPECT_EQ(a->host.announced.size(), 1u);
    EXPECT_EQ(proxy->killer, int32_t(PeerB));

    // B announces the kill once (its copy went to 0 here, and every later state carries the killer), and
    // no crash after it.
    for (int i = 0; i < 60; ++i)
        Frame();
    ASSERT_EQ(b->host.announced.size(), 2u);
    EXPECT_NE(b->host.announced[1].find("Ann"), std::string::npos) << b->host.announced[1];
    EXPECT_NE(b->host.announced[1].find("Bob"), std::string::npos) << b->host.announced[1];
}

TEST_F(ProxiesTest, HostileDamageReportsChangeNothing) {
    Obj::Airplane* airplane = Fly();
    ASSERT_NE(airplane, nullptr);
    Frame();
    const GUID id = a->registry.FindByObject(airplane)->guid;
    const float full = airplane->hitPoints;
    for (float change : {10.0f, -1.0e9f, 0.0f}) { // healing, more than the whole, nothing
        Comm::DamageMessage d;
        d.header.object = id;
        d.hitPointChange = change;
        d.attacker = "x";
        MPlr::IncomingMessage m;
        m.sender = PeerB;
        m.buffer = Comm::Encode(d);
        m.size = uint32_t(m.buffer.size());
        a->session.incoming.push_back(m);
    }
    Frame();
    EXPECT_EQ(airplane->hitPoints, full);
    EXPECT_TRUE(a->host.announced.empty());
}

TEST_F(ProxiesTest, ACopyVanishesAtTheDelayedClockAndNeverReturns) {
    Obj::Airplane* airplane = Fly();
    ASSERT_NE(airplane, nullptr);
    for (int i = 0; i < 50; ++i)
        Frame();
    ASSERT_EQ(b->Objects<Obj::Airplane>().size(), 1u);
    // A's airplane leaves its world (a crash): one removed notice, guaranteed.
    std::vector<Comm::Bytes> states;
    a->world->RemoveObject(airplane);
    delete airplane;
    Base::FrameClock::Tick();
    a->registry.ProcessIncoming();
    ASSERT_EQ(a->sent.size(), 1u);
    EXPECT_EQ(a->sent[0].bytes.size(), Comm::RemovedSize);
    EXPECT_EQ(a->sent[0].flags, Comm::RemovedSendFlags);
    a->DeliverTo(*b, PeerA);
    b->registry.ProcessIncoming();
    // On arrival the copy is still flying: it goes when B's clock, 2 s behind, reaches the notice.
    int frames = 0;
    while (!b->Objects<Obj::Airplane>().empty() && frames < 100) {
        Frame();
        ++frames;
    }
    EXPECT_GE(frames, 36);
    EXPECT_LE(frames, 42);
    EXPECT_EQ(b->host.announced.size(), 2u); // takes off, then crashes
    // Then the proxy is unregistered, and a late state makes no new copy.
    Frame();
    EXPECT_TRUE(b->registry.proxies.empty());
}

TEST_F(ProxiesTest, TypeNamesOnlyChooseAmongTheFilesOnDisk) {
    EXPECT_NE(Comm::TypeCatalogue::Airplane("F16"), nullptr);
    EXPECT_NE(Comm::TypeCatalogue::Airplane("su27"), nullptr);
    EXPECT_NE(Comm::TypeCatalogue::Weapon("ShortAAM"), nullptr);
    for (const char* bad :
         {"..\\..\\Startup", "../Weapons/ShortAAM", "Airplanes\\F16", "", "Nope", "F16.info", "ShortAAM"})
        EXPECT_EQ(Comm::TypeCatalogue::Airplane(bad), nullptr) << bad;

    // A state under a name that is not an airplane on disk makes no copy, once and for all.
    Comm::AirplaneStateMessage m;
    m.header.object = GUID{7, 0, 0, {0, 0, 0, 0, 0, 0, 0, 7}};
    m.typeName = "..\\Weapons\\Bomb";
    for (int i = 0; i < 60; ++i) {
        m.header.sendTime = 100.0f + 0.05f * float(i);
        m.sequence = uint32_t(i + 1);
        a->sent.push_back({Comm::Encode(m), Comm::StateSendFlags, 0});
        Base::FrameClock::Tick();
        a->DeliverTo(*b, PeerA);
        b->registry.ProcessIncoming();
    }
    EXPECT_TRUE(b->Objects<Obj::Airplane>().empty());
    EXPECT_EQ(b->host.announced.size(), 1u); // it was announced as taking off, but nothing crashes
}

TEST_F(ProxiesTest, ARocketHangsOnTheCopyOfItsCarrierThenFliesFree) {
    Obj::Airplane* airplane = Fly();
    ASSERT_NE(airplane, nullptr);
    auto* rocket = new Weapons::HomingRocket;
    ASSERT_TRUE(rocket->LoadParams(&Base::InfoCache::Get(models + "\\Weapons\\ShortAAM.info")));
    rocket->AttachTo(airplane, airplane->frame, false);
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    const RwV3d offset{3, -1, 0.5f};
    RwMatrixTranslate(&m, &offset, rwCOMBINEREPLACE);
    rocket->Transform(&m, rwCOMBINEREPLACE);
    a->world->AddObject(rocket);
    a->registry.Register(Comm::MakeLocalProxy(&a->registry, rocket));
    for (int i = 0; i < 50; ++i)
        Frame();
    auto rockets = b->Objects<Weapons::HomingRocket>();
    auto copies = b->Objects<Obj::Airplane>();
    ASSERT_EQ(rockets.size(), 1u);
    ASSERT_EQ(copies.size(), 1u);
    Weapons::HomingRocket* copy = rockets[0];
    EXPECT_TRUE(copy->remoteCopy);
    EXPECT_EQ(copy->GetParent(), static_cast<Obj::Attachable*>(copies[0]));
    EXPECT_NEAR(float(copy->localPosition[0]), offset.x, 1e-3f);
    EXPECT_NEAR(float(copy->localPosition[1]), offset.y, 1e-3f);
    EXPECT_NEAR(float(copy->localPosition[2]), offset.z, 1e-3f);

    // Free on the owner's side: free on ours, 2 s later, where it was left.
    rocket->Detach(true);
    const RwV3d left = RwFrameGetWorldMatrix(rocket->frame)->pos;
    for (int i = 0; i < 50; ++i)
        Frame();
    EXPECT_EQ(copy->GetParent(), nullptr);
    const RwV3d at = RwFrameGetWorldMatrix(copy->frame)->pos;
    EXPECT_NEAR(at.x, left.x, 0.05f);
    EXPECT_NEAR(at.y, left.y, 0.05f);
    EXPECT_NEAR(at.z, left.z, 0.05f);
}

TEST_F(ProxiesTest, FlaresAndExplosionsAreCopiedOnTheDelayedClock) {
    auto* flare = new Weapons::Flare;
    flare->Setup({0, 0, 0});
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    RwV3d p{10, 500, 20};
    RwMatrixTranslate(&m, &p, rwCOMBINEREPLACE);
    flare->Transform(&m, rwCOMBINEREPLACE);
    a->world->AddObject(flare);
    a->registry.Register(Comm::MakeLocalProxy(&a->registry, flare));
    auto* explosion = new Obj::Explosion;
    const float centre[3] = {5, 6, 7};
    explosion->Setup(centre, 40.0f, "");
    a->world->AddObject(explosion);
    a->registry.Register(Comm::MakeLocalProxy(&a->registry, explosion));

    std::map<int, RwV3d> track;
    int frame = 0;
    for (; frame < 39; ++frame) {
        track[frame] = RwFrameGetWorldMatrix(flare->frame)->pos;
        Frame();
    }
    EXPECT_TRUE(b->Objects<Weapons::Flare>().empty());
    EXPECT_TRUE(b->Objects<Obj::Explosion>().empty());
    float copiedStrength = 0, copiedZ = 0;
    for (; frame < 60; ++frame) {
        track[frame] = RwFrameGetWorldMatrix(flare->frame)->pos;
        Frame();
        for (Obj::Explosion* e : b->Objects<Obj::Explosion>()) {
            EXPECT_TRUE(e->remoteCopy);
            copiedStrength = e->strength;
            copiedZ = e->position[2];
        }
    }
    EXPECT_EQ(copiedStrength, 40.0f);
    EXPECT_EQ(copiedZ, 7.0f);
    auto flares = b->Objects<Weapons::Flare>();
    ASSERT_EQ(flares.size(), 1u);
    EXPECT_TRUE(flares[0]->remoteCopy);
    const RwV3d want = track[frame - 41], got = RwFrameGetWorldMatrix(flares[0]->frame)->pos;
    // The copy between the owner's states of 0.2 s: within the flare's fall over that time.
    EXPECT_NEAR(got.x, want.x, 1.0f);
    EXPECT_NEAR(got.y, want.y, 3.0f);
    // The owner's proxies send nothing once the explosion's one state is out.
    for (auto& s : a->sent)
        EXPECT_NE(s.bytes.size(), Comm::ExplosionStateSize);
}

} // namespace

namespace {

TEST_F(ProxiesTest, AnExplosionDamagesAnAirplaneOnceThroughItsOwnersReport) {
    // A's airplane holds still (A's world takes one step, to put it where the world's groups see it, and
    // no more), so that the explosion's copy, made on A's side 2 s later, finds it where B's explosion found
    // B's copy of it. B's world runs, placing its copy.
    Obj::Airplane* airplane = Fly();
    ASSERT_NE(airplane, nullptr);
    Frame();
    for (int i = 0; i < 50; ++i)
        Frame(false, true);
    auto copies = b->Objects<Obj::Airplane>();
    ASSERT_EQ(copies.size(), 1u);
    Obj::Airplane* copy = copies[0];
    const float full = airplane->hitPoints;
    ASSERT_EQ(copy->hitPoints, full);

    // B's rocket bursts 8 m from the copy.
    const RwV3d at = copy->GetState().position;
    auto* explosion = new Obj::Explosion;
    const float centre[3] = {at.x + 8.0f, at.y, at.z};
    explosion->Setup(centre, 100.0f, "Rocket");
    b->world->AddObject(explosion);
    b->registry.Register(Comm::MakeLocalProxy(&b->registry, explosion));
    const float lost = full - copy->hitPoints;
    ASSERT_GT(lost, 0.0f);
    ASSERT_GT(copy->hitPoints, 0.0f);

    bool copied = false;
    for (int i = 0; i < 80; ++i) {
        Frame(false, true);
        for (Obj::Explosion* e : a->Objects<Obj::Explosion>())
            copied = copied || e->remoteCopy;
    }
    // The explosion was seen on A's side, and A's airplane lost what B's copy lost, once.
    EXPECT_TRUE(copied);
    EXPECT_FLOAT_EQ(airplane->hitPoints, full - lost);
    EXPECT_FLOAT_EQ(copy->hitPoints, full - lost);
}

} // namespace
