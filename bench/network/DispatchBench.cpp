// The network game's incoming side and its traffic. DispatchSixteenPeers: one frame (1/60 s) of the dispatch
// with the traffic of 15 other peers, each flying an airplane (a state every 0.1 s) and dropping flares (a
// state every 0.2 s, two at a time): the registry routes the frame's messages and drives every copy; the
// reference copies the same bytes once with memcpy, the least any reader of them does. Printed: both times
// per frame, their ratio and the heap allocations our own code makes in a warm frame (target 0).
// FourPeerDogfight: four peers' airplanes circling one another with flares, each peer's local proxies sending
// through a counting wire; printed: the bytes per second each peer sends. Runs in the built data tree
// (CORVANE_DATA_DIR, else ../data beside the executable).
#include "bench/AllocationCounter.h"

#include "aircraft/Airplane.h"
#include "network/Dispatch.h"
#include "network/ObjectProxies.h"
#include "scene/AnimationFile.h"
#include "scene/AtomicData.h"
#include "scene/ClumpFile.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"
#include "weapons/Countermeasure.h"

#include "base/AnimationCache.h"
#include "base/ClumpCache.h"
#include "base/FrameClock.h"
#include "base/InfoCache.h"
#include "base/Random.h"
#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/plugin/hanim/rphanim.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/world/rpworld.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double FrameSeconds = 1.0 / 60.0;

struct Engine {
    bool ok = false;
    Engine() {
        ok = RwEngineInit(nullptr, 0, 0) && RpWorldPluginAttach() && RpUserDataPluginAttach() &&
             RpCollisionPluginAttach() && RpHAnimPluginAttach() && Rw::Frame::RegisterPlugins() &&
             Rw::RegisterWrapperPlugins() && Rw::AtomicLodData::RegisterPlugin();
        RwEngineOpenParams params = {nullptr};
        ok = ok && RwEngineOpen(&params) && RwEngineStart();
    }
    ~Engine() {
        Base::InfoCache::Clear();
        Base::ClumpCache::Clear();
        Base::AnimationCache::Clear();
        RwEngineStop();
        RwEngineClose();
        RwEngineTerm();
    }
};

bool EnterDataTree() {
    std::filesystem::path data;
    if (const char* dir = std::getenv("CORVANE_DATA_DIR"))
        data = dir;
    else
        data = std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "data";
    std::error_code error;
    std::filesystem::current_path(data, error);
    if (error || !std::filesystem::exists("Data/Airfoil.dat"))
        return false;
    Base::ClumpCache::Directory = "Data/Models/";
    Base::AnimationCache::Directory = "Data/Anims/";
    Rw::InstallClumpCache();
    Rw::InstallAnimationCache();
    Comm::TypeCatalogue::Clear();
    return true;
}

class Host : public MPlr::NetworkHost {
public:
    explicit Host(Grp::World* world) : world(world) {}
    void Announce(const Base::String&) override {}
    void AddChatLine(DPNID, const Base::String&) override {}
    uint32_t GameType() const override { return 1; }
    bool HasLocalPilot() const override { return true; }
    Grp::World* GetWorld() override { return world; }
    std::unique_ptr<Comm::RemoteObj> MakeRemote(MPlr::NetworkObjects* registry, uint8_t kind,
                                                const GUID& guid, DPNID owner, float clock) override {
        return Comm::MakeRemoteProxy(registry, kind, guid, owner, clock);
    }
    Grp::World* world;
};

void AddPlayer(MPlr::Session& session, DPNID id, bool local) {
    MPlr::PlayerEntry p;
    p.id = id;
    p.name = "Pilot" + std::to_string(id);
    p.local = local;
    session.players.push_back(p);
}

GUID Guid(uint32_t n) {
    return GUID{n, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
}

// The messages of one frame from 15 peers: each airplane's state at its period, two flares' states at theirs.
void QueueFrame(MPlr::Session& session, long frame, double now) {
    constexpr int Peers = 15;
    for (int p = 0; p < Peers; ++p) {
        const DPNID sender = DPNID(2 + p);
        // Spread the peers over the frames, as their jittered clocks would.
        if ((frame + p) % 6 == 0) {
            Comm::AirplaneStateMessage m;
            m.header.object = Guid(100 + uint32_t(p));
            m.header.sendTime = float(now);
            const float a = float(now) * 0.2f + float(p);
            m.position = {std::cos(a) * 3000.0f, 1500.0f + 50.0f * float(p), std::sin(a) * 3000.0f};
            m.at = {-std::sin(a), 0, std::cos(a)};
            m.up = {0, 1, 0};
            m.velocity = {m.at.x * 600.0f, 0, m.at.z * 600.0f};
            m.engineRunning = 1;
            m.engineSpool = 1;
            m.gearExtension = 0;
            m.typeName = "F16";
            m.sequence = uint32_t(frame / 6 + 1);
            MPlr::IncomingMessage in;
            in.sender = sender;
            in.buffer = Comm::Encode(m);
            in.size = uint32_t(in.buffer.size());
            session.incoming.push_back(std::move(in));
        }
        if ((frame + p) % 12 == 0)
            for (uint32_t f = 0; f < 2; ++f) {
                Comm::CountermeasureStateMessage m;
                m.header.object = Guid(1000 + 2 * uint32_t(p) + f);
                m.header.sendTime = float(now);
                m.position = {float(p) * 100.0f + float(f), 1000.0f - float(now) * 5.0f, 0};
                MPlr::IncomingMessage in;
                in.sender = sender;
                in.buffer = Comm::Encode(m);
                in.size = uint32_t(in.buffer.size());
                session.incoming.push_back(std::move(in));
            }
    }
}

void DispatchSixteenPeers(benchmark::State& state) {
    Engine engine;
    if (!engine.ok || !EnterDataTree()) {
        state.SkipWithError("no engine or no built data tree");
        return;
    }
    {
        Grp::World world;
        Host host(&world);
        MPlr::Session session;
        AddPlayer(session, 1, true);
        for (DPNID id = 2; id <= 16; ++id)
            AddPlayer(session, id, false);
        MPlr::NetworkObjects registry(&host, &session);
        Base::FrameClock::SetFixedStep(FrameSeconds, 100.0);
        registry.ProcessIncoming();
        long frame = 0;
        // Warm: every copy made and flying, every history at its working length.
        for (; frame < 600; ++frame) {
            Base::FrameClock::Tick();
            QueueFrame(session, frame, Base::FrameClock::GameTime);
            registry.ProcessIncoming();
        }
        double ours = 0, reference = 0, bytes = 0;
        uint64_t allocations = 0, frames = 0;
        std::vector<uint8_t> sink(64 * 1024);
        for (auto _ : state) {
            Base::FrameClock::Tick();
            QueueFrame(session, frame++, Base::FrameClock::GameTime);
            // The reference: the frame's bytes copied once.
            const auto r0 = Clock::now();
            std::size_t at = 0;
            for (const MPlr::IncomingMessage& m : session.incoming) {
                std::memcpy(sink.data() + at, m.buffer.data(), m.buffer.size());
                at += m.buffer.size();
            }
            benchmark::DoNotOptimize(sink.data());
            const auto r1 = Clock::now();
            bytes += double(at);
            AllocationCounter::Attribute(true);
            const AllocationCounter::Counts before = AllocationCounter::Now();
            const auto t0 = Clock::now();
            registry.ProcessIncoming();
            const auto t1 = Clock::now();
            allocations += AllocationCounter::Since(before).ours;
            AllocationCounter::Attribute(false);
            ours += std::chrono::duration<double>(t1 - t0).count();
            reference += std::chrono::duration<double>(r1 - r0).count();
            ++frames;
        }
        Base::FrameClock::SetFixedStep(0);
        state.counters["dispatch_us_per_frame"] = ours / double(frames) * 1e6;
        state.counters["memcpy_us_per_frame"] = reference / double(frames) * 1e6;
        state.counters["ratio"] = reference > 0 ? ours / reference : 0;
        state.counters["bytes_per_frame"] = bytes / double(frames);
        state.counters["our_allocations_per_frame"] = double(allocations) / double(frames);
        state.counters["copies"] = double(registry.proxies.size());
    }
}
BENCHMARK(DispatchSixteenPeers)->Unit(benchmark::kMicrosecond)->Iterations(3000);

void FourPeerDogfight(benchmark::State& state) {
    Engine engine;
    if (!engine.ok || !EnterDataTree()) {
        state.SkipWithError("no engine or no built data tree");
        return;
    }
    constexpr int Peers = 4;
    constexpr double Seconds = 30.0;
    double bytesPerSecond = 0, messagesPerSecond = 0;
    for (auto _ : state) {
        Base::Random::Seed(11);
        Base::FrameClock::SetFixedStep(FrameSeconds, 100.0);
        struct Peer {
            std::unique_ptr<Grp::World> world = std::make_unique<Grp::World>();
            std::unique_ptr<Host> host;
            MPlr::Session session;
            std::unique_ptr<MPlr::NetworkObjects> registry;
            uint64_t bytes = 0, messages = 0;
        };
        std::vector<std::unique_ptr<Peer>> peers;
        for (int i = 0; i < Peers; ++i) {
            auto p = std::make_unique<Peer>();
            p->host = std::make_unique<Host>(p->world.get());
            for (int j = 0; j < Peers; ++j)
                AddPlayer(p->session, DPNID(1 + j), j == i);
            p->registry = std::make_unique<MPlr::NetworkObjects>(p->host.get(), &p->session);
            Peer* self = p.get();
            const DPNID from = DPNID(1 + i);
            p->registry->divert = [self, from, &peers](const Comm::Bytes& bytes, uint32_t, DPNID to) {
                self->bytes += bytes.size();
                ++self->messages;
                for (auto& other : peers)
                    if (other.get() != self && (to == 0 || to == DPNID(1 + (&other - &peers[0])))) {
                        MPlr::IncomingMessage m;
                        m.sender = from;
                        m.buffer = bytes;
                        m.size = uint32_t(bytes.size());
                        other->session.incoming.push_back(std::move(m));
                    }
            };
            p->registry->ProcessIncoming();
            auto* airplane = new Obj::Airplane;
            airplane->seed = uint32_t(7 + i);
            if (!airplane->Load("Data/Models/Airplanes/F16", Obj::Airplane::SimpleModel)) {
                delete airplane;
                state.SkipWithError("the sample airplane does not load");
                return;
            }
            p->world->AddObject(airplane);
            airplane->Place(400.0f * float(i), 300.0f * float(i), 1500, 90.0f * float(i), 200);
            p->registry->Register(Comm::MakeLocalProxy(p->registry.get(), airplane));
            peers.push_back(std::move(p));
        }
        const long frames = long(Seconds / FrameSeconds);
        for (long f = 0; f < frames; ++f) {
            Base::FrameClock::Tick();
            for (auto& p : peers) {
                const float t0 = p->world->time->time;
                p->world->time->Advance();
                Grp::SimulateGroup(*p->world->simulateables, t0, p->world->time->time);
                Grp::RunGroup(*p->world->runnables);
                // Two flares a second from each airplane.
                if (f % 30 == 0) {
                    auto* flare = new Weapons::Flare;
                    flare->Setup({0, -5, 0});
                    p->world->AddObject(flare);
                    p->registry->Register(Comm::MakeLocalProxy(p->registry.get(), flare));
                }
                p->registry->ProcessIncoming();
            }
        }
        bytesPerSecond = messagesPerSecond = 0;
        for (auto& p : peers) {
            bytesPerSecond += double(p->bytes) / Seconds / Peers;
            messagesPerSecond += double(p->messages) / Seconds / Peers;
        }
        for (auto& p : peers) {
            p->registry->proxies.clear();
            p->world.reset();
        }
        Base::FrameClock::SetFixedStep(0);
    }
    state.counters["bytes_per_second_per_peer"] = bytesPerSecond;
    state.counters["messages_per_second_per_peer"] = messagesPerSecond;
}
BENCHMARK(FourPeerDogfight)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
