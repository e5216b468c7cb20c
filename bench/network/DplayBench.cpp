// Two peers on loopback: round-trip time of a guaranteed 64-byte message and messages per second of
// guaranteed 100-byte messages, through the DirectPlay layer and through raw ENet between two hosts that
// do the same work (each serviced by its own thread, waiting on its socket as the layer does). Each run
// prints both figures and the ratio. The two take turns in short blocks and report medians (of single
// round trips, of block rates), so that load on a shared machine falls on both alike and a stall of one
// block does not decide the ratio; the round trips' fastest tenth is printed too. On a loaded machine
// either side can come out two or three times slower for a whole run, so compare several runs. Every
// wait is bounded: a message that never arrives ends the run with an error rather than a hang.
#include "platform/dplay/Control.h"
#include "tests/support/Loopback.h"

#include <dplay8.h>
#include <enet/enet.h>

#include <arpa/inet.h>
#include <poll.h>
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int RoundTrips = 2000;
constexpr int Messages = 20000;
constexpr int Blocks = 10;
// A burst stays within the layer's share for one sender's undelivered messages (1024), beyond which it
// drops even guaranteed ones by design when the receiver falls behind.
constexpr int MessageBlocks = 40;

// The value below which that fraction of the samples lies (0.5: the median).
double Percentile(std::vector<double> v, double fraction) {
    if (v.empty())
        return 0;
    const auto at = v.begin() + ptrdiff_t(double(v.size() - 1) * fraction);
    std::nth_element(v.begin(), at, v.end());
    return *at;
}

double Median(std::vector<double> v) {
    return Percentile(std::move(v), 0.5);
}

double MicrosecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

using TestSupport::FreeUdpPort;

// ---- the layer ----

struct Side {
    IDirectPlay8Peer* peer = nullptr;
    DPNID self = 0, other = 0;
    bool echo = false;
    std::mutex lock;
    std::condition_variable arrived;
    uint64_t received = 0;
};

HRESULT Handler(PVOID context, DWORD type, PVOID message) {
    auto side = static_cast<Side*>(context);
    if (type == DPN_MSGID_CREATE_PLAYER) {
        std::lock_guard<std::mutex> hold(side->lock);
        DPNID id = static_cast<DPNMSG_CREATE_PLAYER*>(message)->dpnidPlayer;
        (side->self ? side->other : side->self) = id; // its own create comes first
    } else if (type == DPN_MSGID_RECEIVE) {
        auto m = static_cast<DPNMSG_RECEIVE*>(message);
        if (side->echo) {
            DPN_BUFFER_DESC b{m->dwReceiveDataSize, m->pReceiveData};
            DPNHANDLE h;
            side->peer->SendTo(m->dpnidSender, &b, 1, 0, nullptr, &h, DPNSEND_GUARANTEED);
        }
        std::lock_guard<std::mutex> hold(side->lock);
        ++side->received;
        side->arrived.notify_all();
    }
    return DPN_OK;
}

IDirectPlay8Address* Address(const char16_t* host, DWORD port) {
    IDirectPlay8Address* a = nullptr;
    CoCreateInstance(CLSID_DirectPlay8Address, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectPlay8Address,
                     reinterpret_cast<void**>(&a));
    a->SetSP(&CLSID_DP8SP_TCPIP);
    if (host)
        a->AddComponent(DPNA_KEY_HOSTNAME, host, DWORD((std::char_traits<char16_t>::length(host) + 1) * 2),
                        DPNA_DATATYPE_STRING);
    a->AddComponent(DPNA_KEY_PORT, &port, 4, DPNA_DATATYPE_DWORD);
    return a;
}

struct LayerPair {
    Side a, b;
    LayerPair() {
        Dp8::Control::SetAnswerEnumerations(false);
        for (Side* s : {&a, &b}) {
            CoCreateInstance(CLSID_DirectPlay8Peer, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectPlay8Peer,
                             reinterpret_cast<void**>(&s->peer));
            s->peer->Initialize(s, Handler, 0);
        }
        DWORD port = FreeUdpPort();
        DPN_APPLICATION_DESC app{};
        app.dwSize = sizeof app;
        app.dwMaxPlayers = 2;
        IDirectPlay8Address* device = Address(nullptr, port);
        a.peer->Host(&app, &device, 1, nullptr, nullptr, nullptr, 0);
        device->Release();
        IDirectPlay8Address* host = Address(u"127.0.0.1", port);
        b.peer->Connect(&app, host, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr,
                        DPNCONNECT_SYNC);
        host->Release();
        std::unique_lock<std::mutex> lk(a.lock);
        a.arrived.wait_for(lk, std::chrono::seconds(5), [&] { return a.other != 0; });
    }
    ~LayerPair() {
        b.peer->Release();
        a.peer->Release();
    }
    bool Ok() { return a.other && b.other; }
};

// Every wait is bounded: a message lost for good ends the run with an error instead of a hang.
constexpr auto Patience = std::chrono::seconds(10);

bool LayerRoundTrips(LayerPair& p, int trips, std::vector<double>& samples) {
    p.b.echo = true;
    std::vector<uint8_t> payload(64, 1);
    DPN_BUFFER_DESC b{64, payload.data()};
    DPNHANDLE h;
    for (int i = 0; i < trips; ++i) {
        const auto start = Clock::now();
        uint64_t before;
        {
            std::lock_guard<std::mutex> hold(p.a.lock);
            before = p.a.received;
        }
        p.a.peer->SendTo(p.a.other, &b, 1, 0, nullptr, &h, DPNSEND_GUARANTEED);
        std::unique_lock<std::mutex> lk(p.a.lock);
        if (!p.a.arrived.wait_for(lk, Patience, [&] { return p.a.received > before; })) {
            p.b.echo = false;
            return false;
        }
        samples.push_back(MicrosecondsSince(start));
    }
    p.b.echo = false;
    return true;
}

double LayerMessagesPerSecond(LayerPair& p, int messages) {
    std::vector<uint8_t> payload(100, 2);
    DPN_BUFFER_DESC b{100, payload.data()};
    DPNHANDLE h;
    uint64_t before;
    {
        std::lock_guard<std::mutex> hold(p.b.lock);
        before = p.b.received;
    }
    auto start = Clock::now();
    for (int i = 0; i < messages; ++i)
        p.a.peer->SendTo(p.a.other, &b, 1, 0, nullptr, &h, DPNSEND_GUARANTEED | DPNSEND_NOLOOPBACK);
    std::unique_lock<std::mutex> lk(p.b.lock);
    if (!p.b.arrived.wait_for(lk, Patience, [&] { return p.b.received >= before + uint64_t(messages); }))
        return 0;
    return messages / std::chrono::duration<double>(Clock::now() - start).count();
}

// ---- raw ENet, the same work ----

// Waits for the socket (at most 10 ms, as the layer's thread does), then takes every event without waiting
// inside ENet, as the layer does.
template <typename F> void Service(ENetHost* host, F&& onEvent) {
    pollfd p{host->socket, POLLIN, 0};
    poll(&p, 1, 10);
    ENetEvent ev;
    while (enet_host_service(host, &ev, 0) > 0)
        onEvent(ev);
}

struct EnetPair {
    ENetHost* a = nullptr;
    ENetHost* b = nullptr;
    ENetPeer* toB = nullptr;
    std::atomic<bool> stop{false};
    std::atomic<bool> echo{false};
    std::atomic<uint64_t> bReceived{0};
    std::thread bThread;

    EnetPair() {
        enet_initialize();
        ENetAddress address{htonl(INADDR_LOOPBACK), FreeUdpPort()};
        b = enet_host_create(&address, 4, 2, 0, 0);
        a = enet_host_create(nullptr, 4, 2, 0, 0);
        toB = enet_host_connect(a, &address, 2, 0);
        bThread = std::thread([this] {
            while (!stop)
                Service(b, [&](ENetEvent& ev) {
                    if (ev.type == ENET_EVENT_TYPE_RECEIVE) {
                        if (echo) {
                            ENetPacket* back = enet_packet_create(ev.packet->data, ev.packet->dataLength,
                                                                  ENET_PACKET_FLAG_RELIABLE);
                            enet_peer_send(ev.peer, 0, back);
                            enet_host_flush(b);
                        }
                        enet_packet_destroy(ev.packet);
                        ++bReceived;
                    }
                });
        });
        ENetEvent ev;
        auto until = Clock::now() + std::chrono::seconds(5);
        while (toB->state != ENET_PEER_STATE_CONNECTED && Clock::now() < until)
            enet_host_service(a, &ev, 1);
    }
    ~EnetPair() {
        stop = true;
        bThread.join();
        enet_host_destroy(a);
        enet_host_destroy(b);
    }
    bool Ok() { return toB->state == ENET_PEER_STATE_CONNECTED; }
};

bool EnetRoundTrips(EnetPair& p, int trips, std::vector<double>& samples) {
    p.echo = true;
    std::vector<uint8_t> payload(64, 1);
    for (int i = 0; i < trips; ++i) {
        const auto start = Clock::now();
        enet_peer_send(p.toB, 0,
                       enet_packet_create(payload.data(), payload.size(), ENET_PACKET_FLAG_RELIABLE));
        enet_host_flush(p.a);
        bool back = false;
        while (!back && Clock::now() - start < Patience)
            Service(p.a, [&](ENetEvent& ev) {
                if (ev.type == ENET_EVENT_TYPE_RECEIVE) {
                    enet_packet_destroy(ev.packet);
                    back = true;
                }
            });
        if (!back) {
            p.echo = false;
            return false;
        }
        samples.push_back(MicrosecondsSince(start));
    }
    p.echo = false;
    return true;
}

double EnetMessagesPerSecond(EnetPair& p, int messages) {
    std::vector<uint8_t> payload(100, 2);
    uint64_t before = p.bReceived;
    auto start = Clock::now();
    ENetEvent ev;
    for (int i = 0; i < messages; ++i) {
        enet_peer_send(p.toB, 0,
                       enet_packet_create(payload.data(), payload.size(), ENET_PACKET_FLAG_RELIABLE));
        enet_host_flush(p.a);
        while (enet_host_service(p.a, &ev, 0) > 0)
            if (ev.type == ENET_EVENT_TYPE_RECEIVE)
                enet_packet_destroy(ev.packet);
    }
    while (p.bReceived < before + uint64_t(messages)) {
        if (Clock::now() - start > Patience)
            return 0;
        Service(p.a, [&](ENetEvent& e) {
            if (e.type == ENET_EVENT_TYPE_RECEIVE)
                enet_packet_destroy(e.packet);
        });
    }
    return messages / std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_LoopbackRoundTrip(benchmark::State& state) {
    LayerPair layer;
    EnetPair enet;
    if (!layer.Ok() || !enet.Ok()) {
        state.SkipWithError("the two peers did not connect");
        return;
    }
    std::vector<double> layerSamples, enetSamples;
    for (auto _ : state)
        for (int block = 0; block < Blocks; ++block)
            if (!LayerRoundTrips(layer, RoundTrips / Blocks, layerSamples) ||
                !EnetRoundTrips(enet, RoundTrips / Blocks, enetSamples)) {
                state.SkipWithError("a reply did not come back within 10 s");
                return;
            }
    const double layerUs = Median(layerSamples), enetUs = Median(enetSamples);
    state.counters["dplay_rtt_us"] = layerUs;
    state.counters["enet_rtt_us"] = enetUs;
    state.counters["ratio"] = layerUs / enetUs;
    // The fastest tenth: what the code costs with the least waiting for a busy machine's scheduler.
    const double layerFast = Percentile(layerSamples, 0.1), enetFast = Percentile(enetSamples, 0.1);
    state.counters["dplay_rtt_p10_us"] = layerFast;
    state.counters["enet_rtt_p10_us"] = enetFast;
    state.counters["ratio_p10"] = layerFast / enetFast;
}
BENCHMARK(BM_LoopbackRoundTrip)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_LoopbackMessagesPerSecond(benchmark::State& state) {
    LayerPair layer;
    EnetPair enet;
    if (!layer.Ok() || !enet.Ok()) {
        state.SkipWithError("the two peers did not connect");
        return;
    }
    std::vector<double> layerRates, enetRates;
    for (auto _ : state)
        for (int block = 0; block < MessageBlocks; ++block) {
            layerRates.push_back(LayerMessagesPerSecond(layer, Messages / MessageBlocks));
            enetRates.push_back(EnetMessagesPerSecond(enet, Messages / MessageBlocks));
            if (layerRates.back() == 0 || enetRates.back() == 0) {
                state.SkipWithError(layerRates.back() == 0
                                        ? "the layer's messages did not all arrive within 10 s"
                                        : "ENet's messages did not all arrive within 10 s");
                return;
            }
        }
    const double layerRate = Median(layerRates), enetRate = Median(enetRates);
    state.counters["dplay_msgs_per_s"] = layerRate;
    state.counters["enet_msgs_per_s"] = enetRate;
    state.counters["ratio"] = enetRate / layerRate; // time per message, layer against raw ENet
}
BENCHMARK(BM_LoopbackMessagesPerSecond)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
