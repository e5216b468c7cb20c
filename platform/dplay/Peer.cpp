#include "platform/dplay/Peer.h"

#include "platform/dplay/Control.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>

namespace Dp8 {
namespace {

constexpr uint8_t ReliableChannel = 0;
constexpr uint8_t UnreliableChannel = 1;
constexpr uint32_t LeaveMagic = 0x4C454156; // ENet disconnect data: a member that said goodbye
constexpr DPNID FirstId = 0x00010001;
constexpr size_t MaxWaiting = 1024;                    // guaranteed messages held for a link not yet up
constexpr size_t MaxDeliveries = 16384;                // queued handler calls
constexpr size_t MaxDeliveryBytes = 64u * 1024 * 1024; // and their bytes
// Each sender's share of those: one member flooding a slow handler cannot push out the others' messages.
constexpr size_t SenderShares = 16;
constexpr size_t MaxSenderDeliveries = MaxDeliveries / SenderShares;
constexpr size_t MaxSenderBytes = MaxDeliveryBytes / SenderShares;
constexpr double ResponsesPerSecond = 64; // enumeration answers (no reflection amplifier)
constexpr DWORD CloseLingerMs = 300;

uint64_t NowMs() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool EnetStarted() {
    static bool ok = enet_initialize() == 0;
    return ok;
}

// Hosts whose incoming datagrams are dropped, wholly (Control::CutOff) or in part (Control::SetIncomingLoss).
// ENet's intercept has no user pointer.
std::mutex cutLock;
std::map<ENetHost*, double> dropRates;

int ENET_CALLBACK Intercept(ENetHost* host, ENetEvent*) {
    std::lock_guard<std::mutex> hold(cutLock);
    auto it = dropRates.find(host);
    if (it == dropRates.end())
        return 0;
    static std::mt19937 random(4357);
    return std::uniform_real_distribution<double>(0, 1)(random) < it->second ? 1 : 0;
}

uint32_t RandomWord() {
    static std::mutex m;
    static std::random_device device;
    std::lock_guard<std::mutex> hold(m);
    return device();
}

// A joiner's secret: never 0, which no Hello may carry.
uint64_t RandomToken() {
    uint64_t token = 0;
    while (token == 0)
        token = uint64_t(RandomWord()) << 32 | RandomWord();
    return token;
}

std::vector<sockaddr_in> LookUp(const std::string& name, uint16_t port) {
    std::vector<sockaddr_in> out;
    std::optional<std::string> ip = Control::LookUpName(name);
    sockaddr_in s{};
    s.sin_family = AF_INET;
    s.sin_port = htons(port);
    if (ip && inet_pton(AF_INET, ip->c_str(), &s.sin_addr) == 1)
        out.push_back(s);
    return out;
}

std::vector<sockaddr_in> BroadcastAddresses(uint16_t port) {
    std::vector<std::string> names = Control::BroadcastTargets();
    std::vector<sockaddr_in> out;
    auto add = [&](in_addr a) {
        for (const sockaddr_in& s : out)
            if (s.sin_addr.s_addr == a.s_addr)
                return;
        sockaddr_in s{};
        s.sin_family = AF_INET;
        s.sin_addr = a;
        s.sin_port = htons(port);
        out.push_back(s);
    };
    if (!names.empty()) {
        for (const std::string& n : names) {
            in_addr a;
            if (inet_pton(AF_INET, n.c_str(), &a) == 1)
                add(a);
        }
        return out;
    }
    add(in_addr{htonl(INADDR_BROADCAST)});
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (ifaddrs* i = list; i; i = i->ifa_next)
            if (i->ifa_addr && i->ifa_addr->sa_family == AF_INET && (i->ifa_flags & IFF_BROADCAST) &&
                i->ifa_broadaddr)
                add(reinterpret_cast<sockaddr_in*>(i->ifa_broadaddr)->sin_addr);
        freeifaddrs(list);
    }
    return out;
}

std::u16string WideText(const WCHAR* text) {
    std::u16string s;
    if (text)
        for (; *text && s.size() <= DPN_MAX_NAME_CHARS; ++text)
            s.push_back(*text);
    return s;
}

int UdpSocket(uint16_t port, bool shared) {
    int s = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0)
        return -1;
    int on = 1;
    setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    if (shared) {
        setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        setsockopt(s, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(port);
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(s);
        return -1;
    }
    return s;
}

} // namespace

Peer* Peer::Create() {
    return new Peer;
}

Peer::~Peer() {
    Close(0);
}

HRESULT Peer::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    if (iid == IID_IDirectPlay8Peer) {
        AddRef();
        *object = static_cast<IDirectPlay8Peer*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG Peer::AddRef() {
    return ++refs;
}

ULONG Peer::Release() {
    ULONG left = --refs;
    if (left == 0)
        delete this;
    return left;
}

// ---- API ----

HRESULT Peer::Initialize(PVOID ctx, PFNDPNMESSAGEHANDLER fn, DWORD flags) {
    if (!fn)
        return DPNERR_INVALIDPARAM;
    if (flags)
        return DPNERR_UNSUPPORTED;
    if (!EnetStarted())
        return DPNERR_GENERIC;
    std::lock_guard<std::mutex> hold(lock);
    if (phase != Phase::Off)
        return DPNERR_ALREADYINITIALIZED;
    wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0)
        return DPNERR_OUTOFMEMORY;
    context = ctx;
    handler = fn;
    stopping = false;
    localName.clear();
    localData.clear();
    phase = Phase::Idle;
    worker = std::thread([this] { Run(); });
    workerId = worker.get_id();
    return DPN_OK;
}

HRESULT Peer::EnumHosts(PDPN_APPLICATION_DESC app, IDirectPlay8Address* hostAddress,
                        IDirectPlay8Address* device, PVOID userData, DWORD userDataSize, DWORD count,
                        DWORD retryMs, DWORD timeoutMs, PVOID userContext, DPNHANDLE* handle, DWORD flags) {
    if (!app || app->dwSize != sizeof(DPN_APPLICATION_DESC) || !handle)
        return DPNERR_INVALIDPARAM;
    if (userData || userDataSize)
        return DPNERR_UNSUPPORTED; // enumeration payloads are not carried
    if (flags & ~DWORD(DPNENUMHOSTS_NOBROADCASTFALLBACK))
        return DPNERR_UNSUPPORTED; // only asynchronous enumeration
    Address* target = Address::From(hostAddress);
    Address* dev = device ? Address::From(device) : nullptr;
    if (!target || !target->HasTcpIp() || (device && (!dev || !dev->HasTcpIp())))
        return DPNERR_ADDRESSING;

    Enumeration e;
    e.application = app->guidApplication;
    e.nonce = RandomWord();
    e.left = count == 0 ? 5 : count;
    e.retryMs = retryMs == 0 ? 1000 : retryMs;
    e.timeoutMs = timeoutMs == 0 ? e.retryMs : timeoutMs;
    e.userContext = userContext;
    e.socket = UdpSocket(dev && dev->Port() ? *dev->Port() : 0, false);
    if (e.socket < 0)
        return DPNERR_ADDRESSING;
    uint16_t port = target->Port() ? *target->Port() : Control::EnumPort();
    std::string name = target->HostName().value_or("");
    if (name.empty()) {
        e.targets = BroadcastAddresses(port);
    } else {
        // Looked up off every caller's thread: a slow name server must not freeze the menu.
        e.broadcastFallback = !(flags & DPNENUMHOSTS_NOBROADCASTFALLBACK);
        e.resolve = std::make_shared<Resolve>();
        std::thread([r = e.resolve, name, port] {
            std::vector<sockaddr_in> found = LookUp(name, port);
            std::lock_guard<std::mutex> hold(r->lock);
            r->targets = std::move(found);
            r->done = true;
        }).detach();
    }

    std::lock_guard<std::mutex> hold(lock);
    if (phase == Phase::Off) {
        close(e.socket);
        return DPNERR_NOTINITIALIZED;
    }
    e.handle = nextHandle++;
    if (nextHandle == 0)
        nextHandle = 1;
    e.nextSendMs = NowMs();
    *handle = e.handle;
    enumerations.push_back(std::move(e));
    Wake();
    return DPNSUCCESS_PENDING;
}

HRESULT Peer::CancelAsyncOperation(DPNHANDLE handle, DWORD) {
    std::unique_lock<std::mutex> lk(lock);
    auto it = std::find_if(enumerations.begin(), enumerations.end(),
                           [&](const Enumeration& e) { return e.handle == handle; });
    if (it == enumerations.end())
        return DPNERR_INVALIDHANDLE;
    StopEnumeration(*it);
    enumerations.erase(it);
    // No response of this enumeration reaches the handler once Cancel has returned.
    for (auto d = deliveries.begin(); d != deliveries.end();) {
        if (d->enumHandle == handle) {
            if (d->sender)
                d->sender->Release();
            if (d->device)
                d->device->Release();
            d = deliveries.erase(d);
            ++delivered; // it counts as done for anyone waiting
        } else {
            ++d;
        }
    }
    if (!OnNetworkThread())
        changed.wait(lk, [&] { return !(delivering && deliveringHandle == handle); });
    changed.notify_all();
    return DPN_OK;
}

HRESULT Peer::Connect(const DPN_APPLICATION_DESC* app, IDirectPlay8Address* hostAddress,
                      IDirectPlay8Address* device, const DPN_SECURITY_DESC* security,
                      const DPN_SECURITY_CREDENTIALS* credentials, const void* connectData,
                      DWORD connectDataSize, PVOID, PVOID, DPNHANDLE*, DWORD flags) {
    if (!app || app->dwSize != sizeof(DPN_APPLICATION_DESC))
        return DPNERR_INVALIDPARAM;
    if (!(flags & DPNCONNECT_SYNC) || security || credentials || connectData || connectDataSize)
        return DPNERR_UNSUPPORTED;
    Address* target = Address::From(hostAddress);
    if (!target || !target->HasTcpIp() || !target->HostName() || !target->Port())
        return DPNERR_ADDRESSING; // sessions have no fixed port: the address comes from an enumeration
    if (OnNetworkThread())
        return DPNERR_GENERIC; // would wait on itself
    // The caller blocks until the session is joined anyway, so the name is looked up here.
    std::vector<sockaddr_in> found = LookUp(*target->HostName(), *target->Port());
    if (found.empty())
        return DPNERR_ADDRESSING;

    std::unique_lock<std::mutex> lk(lock);
    if (phase == Phase::Off)
        return DPNERR_NOTINITIALIZED;
    if (phase != Phase::Idle)
        return DPNERR_ALREADYCONNECTED;
    HRESULT hr = OpenHost(device);
    if (FAILED(hr))
        return hr;
    ENetAddress to;
    to.host = found[0].sin_addr.s_addr;
    to.port = ntohs(found[0].sin_port);
    ENetPeer* link = enet_host_connect(host, &to, 2, ConnectMagic);
    if (!link) {
        DestroyHost();
        return DPNERR_OUTOFMEMORY;
    }
    enet_peer_timeout(link, 0, Control::LinkTimeoutMs(), Control::LinkTimeoutMs());
    links[link] = Link{0, 0, true, true, NowMs()};
    application = app->guidApplication;
    joinInstance = target->Instance();
    joinRequest = JoinRequest{app->guidApplication, joinInstance.value_or(GUID{}), localName, localData};
    joinResult.reset();
    joinWaiting.clear();
    joinDeadlineMs = NowMs() + Control::ConnectTimeoutMs();
    phase = Phase::Joining;
    Wake();
    changed.wait(lk, [&] { return joinResult.has_value(); });
    hr = *joinResult;
    WaitDelivered(lk, queued);
    return hr;
}

HRESULT Peer::SendTo(DPNID to, const DPN_BUFFER_DESC* buffers, DWORD count, DWORD, PVOID, DPNHANDLE* handle,
                     DWORD flags) {
    if (!buffers || count == 0)
        return DPNERR_INVALIDPARAM;
    size_t total = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (!buffers[i].pBufferData && buffers[i].dwBufferSize)
            return DPNERR_INVALIDPARAM;
        total += buffers[i].dwBufferSize;
    }
    if (total == 0 || total > DPN_MAX_MESSAGE_SIZE)
        return DPNERR_INVALIDPARAM;
    // The bytes are copied before SendTo returns, whatever DPNSEND_NOCOPY asks.
    Bytes payload;
    payload.reserve(total + 1);
    payload.push_back(uint8_t(Kind::Data));
    for (DWORD i = 0; i < count; ++i)
        payload.insert(payload.end(), buffers[i].pBufferData,
                       buffers[i].pBufferData + buffers[i].dwBufferSize);
    bool guaranteed = flags & DPNSEND_GUARANTEED;
    bool unsequenced = flags & DPNSEND_NONSEQUENTIAL;

    std::lock_guard<std::mutex> hold(lock);
    if (phase == Phase::Off)
        return DPNERR_NOTINITIALIZED;
    if (phase != Phase::InSession)
        return DPNERR_NOCONNECTION;
    bool loopback = false;
    if (to == DPNID_ALL_PLAYERS_GROUP) {
        for (auto& [id, m] : members)
            if (!m.local && !m.gone)
                SendToMember(m, payload, guaranteed, unsequenced);
        loopback = !(flags & DPNSEND_NOLOOPBACK);
    } else if (to == localId) {
        loopback = true;
    } else {
        Member* m = Live(to);
        if (!m)
            return DPNERR_INVALIDPLAYER;
        SendToMember(*m, payload, guaranteed, unsequenced);
    }
    Flush();
    if (loopback) {
        Delivery d;
        d.type = DPN_MSGID_RECEIVE;
        d.id = localId;
        d.bytes.assign(payload.begin() + 1, payload.end());
        Queue(std::move(d));
        Wake();
    }
    if (handle)
        *handle = 0; // completed here: no completion message follows
    return DPN_OK;
}

HRESULT Peer::Host(const DPN_APPLICATION_DESC* app, IDirectPlay8Address** devices, DWORD deviceCount,
                   const DPN_SECURITY_DESC* security, const DPN_SECURITY_CREDENTIALS* credentials, PVOID,
                   DWORD) {
    if (!app || app->dwSize != sizeof(DPN_APPLICATION_DESC) || !devices || deviceCount == 0)
        return DPNERR_INVALIDPARAM;
    if (security || credentials || app->pwszPassword)
        return DPNERR_UNSUPPORTED;
    Address* dev = Address::From(devices[0]);
    if (!dev || !dev->HasTcpIp())
        return DPNERR_ADDRESSING;
    std::u16string name = WideText(app->pwszSessionName);
    if (name.size() > DPN_MAX_NAME_CHARS || app->dwApplicationReservedDataSize > DPN_MAX_RESERVED_DATA ||
        (app->dwApplicationReservedDataSize && !app->pvApplicationReservedData))
        return DPNERR_INVALIDPARAM;

    std::unique_lock<std::mutex> lk(lock);
    if (phase == Phase::Off)
        return DPNERR_NOTINITIALIZED;
    if (phase != Phase::Idle)
        return DPNERR_ALREADYCONNECTED;
    HRESULT hr = OpenHost(devices[0]);
    if (FAILED(hr))
        return hr;
    application = app->guidApplication;
    UuidCreate(&instance);
    sessionFlags = app->dwFlags;
    maxPlayers =
        app->dwMaxPlayers == 0 || app->dwMaxPlayers > DPN_MAX_PLAYERS ? DPN_MAX_PLAYERS : app->dwMaxPlayers;
    sessionName = name;
    auto r = static_cast<const uint8_t*>(app->pvApplicationReservedData);
    reserved.assign(r, r + app->dwApplicationReservedDataSize);
    localId = FirstId;
    hostId = localId;
    nextId = NextValidId(localId);
    Member self;
    self.id = localId;
    self.name = localName;
    self.data = localData;
    self.local = true;
    self.ready = true;
    members[localId] = std::move(self);
    OpenResponder();
    phase = Phase::InSession;
    Delivery d;
    d.type = DPN_MSGID_CREATE_PLAYER;
    d.id = localId;
    Queue(std::move(d));
    Wake();
    if (!OnNetworkThread())
        WaitDelivered(lk, queued);
    return DPN_OK;
}

HRESULT Peer::SetPeerInfo(const DPN_PLAYER_INFO* info, PVOID, DPNHANDLE* handle, DWORD flags) {
    if (!info || info->dwSize != sizeof(DPN_PLAYER_INFO))
        return DPNERR_INVALIDPARAM;
    if (info->dwInfoFlags & ~DWORD(DPNINFO_NAME | DPNINFO_DATA))
        return DPNERR_INVALIDPARAM;
    std::u16string name = WideText(info->pwszName);
    // Larger names and data are refused here, so that every member holds what the sender meant.
    if ((info->dwInfoFlags & DPNINFO_NAME) && name.size() > DPN_MAX_NAME_CHARS)
        return DPNERR_INVALIDPARAM;
    if ((info->dwInfoFlags & DPNINFO_DATA) &&
        (info->dwDataSize > DPN_MAX_PLAYER_DATA || (info->dwDataSize && !info->pvData)))
        return DPNERR_INVALIDPARAM;
    auto p = static_cast<const uint8_t*>(info->pvData);

    std::unique_lock<std::mutex> lk(lock);
    if (phase == Phase::Off)
        return DPNERR_NOTINITIALIZED;
    if (info->dwInfoFlags & DPNINFO_NAME)
        localName = name;
    if (info->dwInfoFlags & DPNINFO_DATA)
        localData.assign(p, p + info->dwDataSize);
    if (handle)
        *handle = 0;
    if (phase != Phase::InSession || !info->dwInfoFlags)
        return DPN_OK;
    Member& self = members[localId];
    self.name = localName;
    self.data = localData;
    Bytes message = EncodePeerInfo(PeerInfoUpdate{info->dwInfoFlags, localName, localData});
    for (auto& [id, m] : members)
        if (!m.local && !m.gone)
            SendToMember(m, message, true, false);
    Flush();
    Delivery d;
    d.type = DPN_MSGID_PEER_INFO;
    d.id = localId;
    Queue(std::move(d));
    Wake();
    if ((flags & DPNSETPEERINFO_SYNC) && !OnNetworkThread())
        WaitDelivered(lk, queued);
    return DPN_OK;
}

HRESULT Peer::GetPeerInfo(DPNID id, DPN_PLAYER_INFO* info, DWORD* size, DWORD flags) {
    if (!size || flags)
        return DPNERR_INVALIDPARAM;
    std::lock_guard<std::mutex> hold(lock);
    if (phase == Phase::Off)
        return DPNERR_NOTINITIALIZED;
    auto it = members.find(id);
    if (it == members.end())
        return DPNERR_INVALIDPLAYER;
    const Member& m = it->second;
    size_t nameAt = sizeof(DPN_PLAYER_INFO);
    size_t dataAt = nameAt + (m.name.size() + 1) * sizeof(WCHAR);
    size_t needed = dataAt + m.data.size();
    if (!info || *size < needed) {
        *size = DWORD(needed);
        return DPNERR_BUFFERTOOSMALL;
    }
    if (info->dwSize != sizeof(DPN_PLAYER_INFO))
        return DPNERR_INVALIDPARAM;
    auto base = reinterpret_cast<uint8_t*>(info);
    auto name = reinterpret_cast<WCHAR*>(base + nameAt);
    std::memcpy(name, m.name.data(), m.name.size() * sizeof(WCHAR));
    name[m.name.size()] = 0;
    if (!m.data.empty())
        std::memcpy(base + dataAt, m.data.data(), m.data.size());
    info->dwInfoFlags = DPNINFO_NAME | DPNINFO_DATA;
    info->pwszName = name;
    info->pvData = m.data.empty() ? nullptr : base + dataAt;
    info->dwDataSize = DWORD(m.data.size());
    info->dwPlayerFlags = (m.local ? DPNPLAYER_LOCAL : 0) | (m.id == hostId ? DPNPLAYER_HOST : 0);
    *size = DWORD(needed);
    return DPN_OK;
}

HRESULT Peer::Close(DWORD) {
    std::unique_lock<std::mutex> lk(lock);
    if (phase == Phase::Off)
        return DPNERR_NOTINITIALIZED;
    if (OnNetworkThread())
        return DPNERR_GENERIC; // would wait on itself
    for (Enumeration& e : enumerations)
        StopEnumeration(e);
    enumerations.clear();
    for (auto d = deliveries.begin(); d != deliveries.end();)
        if (d->type == DPN_MSGID_ENUM_HOSTS_RESPONSE) {
            d->sender->Release();
            d->device->Release();
            d = deliveries.erase(d);
            ++delivered;
        } else {
            ++d;
        }
    if (phase == Phase::Joining)
        FinishJoin(DPNERR_USERCANCEL);
    if (phase == Phase::InSession) {
        // Everyone else first, this player last: every destroy is handed over before Close returns.
        Bytes leave = EncodeEmpty(Kind::Leave);
        for (auto& [id, m] : members) {
            if (m.local || m.gone)
                continue;
            if (m.link && m.ready)
                Send(m.link, ReliableChannel, leave, ENET_PACKET_FLAG_RELIABLE);
            if (m.link)
                Drop(m.link, true);
            m.gone = true;
            QueueDestroy(id, DPNDESTROYPLAYERREASON_NORMAL);
        }
        members[localId].gone = true;
        QueueDestroy(localId, DPNDESTROYPLAYERREASON_NORMAL);
        Flush();
        CloseResponder();
        phase = Phase::Lost; // nothing more is sent or received while the destroys are handed over
    }
    Wake();
    WaitDelivered(lk, queued);
    stopping = true;
    Wake();
    lk.unlock();
    worker.join();
    lk.lock();

    // Let the goodbyes go out before the socket closes; nothing reaches the handler any more.
    if (host) {
        uint64_t until = NowMs() + CloseLingerMs;
        for (;;) {
            bool open = false;
            for (auto& [peer, link] : links)
                open |= !IsFake(peer) && peer->state != ENET_PEER_STATE_DISCONNECTED;
            if (!open || NowMs() >= until)
                break;
            ENetEvent ev;
            if (enet_host_service(host, &ev, 10) > 0 && ev.type == ENET_EVENT_TYPE_RECEIVE)
                enet_packet_destroy(ev.packet);
        }
    }
    DestroyHost();
    for (Delivery& d : deliveries) {
        if (d.sender)
            d.sender->Release();
        if (d.device)
            d.device->Release();
    }
    deliveries.clear();
    infoPending.clear();
    pendingFrom.clear();
    deliveryBytes = 0;
    delivered = queued;
    close(wakeFd);
    wakeFd = -1;
    phase = Phase::Off;
    handler = nullptr;
    context = nullptr;
    changed.notify_all();
    return DPN_OK;
}

// ---- helpers ----

bool Peer::OnNetworkThread() const {
    return std::this_thread::get_id() == workerId;
}

void Peer::Wake() {
    if (wakeFd >= 0) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(wakeFd, &one, sizeof one);
    }
}

void Peer::Queue(Delivery d) {
    // A flood that the game does not drain stops here: received game messages beyond the sender's share, or
    // beyond the cap of all, are dropped; session events never.
    if (d.type == DPN_MSGID_RECEIVE) {
        if (deliveries.size() >= MaxDeliveries || deliveryBytes + d.bytes.size() > MaxDeliveryBytes)
            return;
        Pending& from = pendingFrom[d.id];
        if (from.count >= MaxSenderDeliveries || from.bytes + d.bytes.size() > MaxSenderBytes)
            return;
        ++from.count;
        from.bytes += d.bytes.size();
    }
    // Information updates fold into one pending call per player: a member that floods them costs nothing.
    if (d.type == DPN_MSGID_PEER_INFO && !infoPending.insert(d.id).second)
        return;
    if (d.type == DPN_MSGID_ENUM_HOSTS_RESPONSE && deliveries.size() >= MaxDeliveries) {
        d.sender->Release();
        d.device->Release();
        return;
    }
    deliveryBytes += d.bytes.size();
    deliveries.push_back(std::move(d));
    ++queued;
}

void Peer::WaitDelivered(std::unique_lock<std::mutex>& lk, uint64_t target) {
    changed.wait(lk, [&] { return delivered >= target || phase == Phase::Off; });
}

bool Peer::IsFake(ENetPeer* peer) const {
    return uintptr_t(peer) < 0x10000;
}

uint32_t Peer::LinkIp(ENetPeer* peer) const {
    return IsFake(peer) ? htonl(INADDR_LOOPBACK) : peer->address.host;
}

uint16_t Peer::LinkPort(ENetPeer* peer) const {
    return IsFake(peer) ? uint16_t(40000 + uintptr_t(peer) / 16) : peer->address.port;
}

uint16_t Peer::HostPort() const {
    if (!host)
        return 0;
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (getsockname(host->socket, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return 0;
    return ntohs(a.sin_port);
}

void Peer::Send(ENetPeer* peer, uint8_t channel, const Bytes& bytes, uint32_t flags) {
    if (IsFake(peer) || peer->state != ENET_PEER_STATE_CONNECTED)
        return;
    ENetPacket* packet = enet_packet_create(bytes.data(), bytes.size(), flags);
    if (packet && enet_peer_send(peer, channel, packet) != 0)
        enet_packet_destroy(packet);
}

void Peer::SendToMember(Member& m, const Bytes& bytes, bool guaranteed, bool unsequenced) {
    if (m.link && m.ready) {
        if (guaranteed)
            Send(m.link, ReliableChannel, bytes, ENET_PACKET_FLAG_RELIABLE);
        else
            Send(m.link, UnreliableChannel, bytes, unsequenced ? ENET_PACKET_FLAG_UNSEQUENCED : 0);
    } else if (guaranteed && m.waiting.size() < MaxWaiting) {
        m.waiting.push_back(bytes); // the joiner's link comes up in a moment
    }
    // A non-guaranteed message for a link that is not up is dropped, never held.
}

void Peer::Drop(ENetPeer* peer, bool graceful) {
    auto it = links.find(peer);
    if (it != links.end())
        it->second.member = 0;
    if (IsFake(peer))
        return;
    if (graceful)
        enet_peer_disconnect_later(peer, LeaveMagic);
    else
        enet_peer_disconnect(peer, 0);
}

void Peer::Flush() {
    if (host)
        enet_host_flush(host);
}

Peer::Member* Peer::Live(DPNID id) {
    auto it = members.find(id);
    return it == members.end() || it->second.gone ? nullptr : &it->second;
}

DWORD Peer::LiveCount() const {
    DWORD n = 0;
    for (auto& [id, m] : members)
        n += !m.gone;
    return n;
}

HRESULT Peer::OpenHost(IDirectPlay8Address* device) {
    Address* dev = device ? Address::From(device) : nullptr;
    if (device && (!dev || !dev->HasTcpIp()))
        return DPNERR_ADDRESSING;
    ENetAddress bind;
    bind.host = ENET_HOST_ANY;
    if (dev && dev->HostName()) {
        std::vector<sockaddr_in> found = LookUp(*dev->HostName(), 0);
        if (found.empty())
            return DPNERR_ADDRESSING;
        bind.host = found[0].sin_addr.s_addr;
    }
    // Without a port of the caller's, the system picks a fresh one: a fixed port would meet the old links
    // of its previous owner, whose last packets may still be on their way.
    std::optional<uint16_t> port = dev ? dev->Port() : std::nullopt;
    bind.port = port.value_or(0);
    host = enet_host_create(&bind, DPN_MAX_PLAYERS + 8, 2, 0, 0);
    if (!host)
        return DPNERR_ADDRESSING;
    host->intercept = Intercept;
    if (dropRate > 0) {
        std::lock_guard<std::mutex> hold(cutLock);
        dropRates[host] = dropRate;
    }
    return DPN_OK;
}

void Peer::DestroyHost() {
    CloseResponder();
    if (host) {
        {
            std::lock_guard<std::mutex> hold(cutLock);
            dropRates.erase(host);
        }
        enet_host_destroy(host);
        host = nullptr;
    }
    links.clear();
    members.clear();
    joinWaiting.clear();
    linkReports.clear();
    localId = hostId = nextId = 0;
    localToken = 0;
    instance = GUID{};
    sessionName.clear();
    reserved.clear();
}

void Peer::OpenResponder() {
    if (responder < 0 && Control::AnswerEnumerations())
        responder = UdpSocket(Control::EnumPort(), true); // without it the session runs but nobody finds it
    responseBudget = ResponsesPerSecond;
    budgetMs = NowMs();
}

void Peer::CloseResponder() {
    if (responder >= 0)
        close(responder);
    responder = -1;
}

void Peer::StopEnumeration(Enumeration& e) {
    if (e.socket >= 0)
        close(e.socket);
    e.socket = -1;
}

// ---- network thread ----

void Peer::Run() {
    // Kept across rounds: the thread wakes every 10 ms, and a fresh vector each time was a heap allocation
    // per round for the life of the game.
    std::vector<pollfd> fds;
    for (;;) {
        fds.clear();
        {
            std::lock_guard<std::mutex> hold(lock);
            if (stopping)
                return;
            fds.push_back({wakeFd, POLLIN, 0});
            if (host)
                fds.push_back({host->socket, POLLIN, 0});
            if (responder >= 0)
                fds.push_back({responder, POLLIN, 0});
            for (Enumeration& e : enumerations)
                if (e.socket >= 0)
                    fds.push_back({e.socket, POLLIN, 0});
        }
        poll(fds.data(), fds.size(), 10);
        {
            std::lock_guard<std::mutex> hold(lock);
            uint64_t count;
            while (read(wakeFd, &count, sizeof count) > 0) {
            }
            if (stopping)
                return;
            Service();
            ReadResponder();
            for (Enumeration& e : enumerations)
                ReadEnumeration(e);
            Tick();
        }
        Deliver();
    }
}

void Peer::Service() {
    if (!host)
        return;
    ENetEvent ev;
    while (host && enet_host_service(host, &ev, 0) > 0) {
        switch (ev.type) {
        case ENET_EVENT_TYPE_CONNECT:
            OnConnect(ev.peer, ev.data);
            break;
        case ENET_EVENT_TYPE_DISCONNECT:
            OnDisconnect(ev.peer, ev.data);
            break;
        case ENET_EVENT_TYPE_RECEIVE:
            OnPacket(ev.peer, ev.channelID, ev.packet->data, ev.packet->dataLength);
            enet_packet_destroy(ev.packet);
            break;
        default:
            break;
        }
    }
}

void Peer::OnConnect(ENetPeer* peer, uint32_t data) {
    auto it = links.find(peer);
    if (it == links.end()) {
        // A stranger: admitted only into a running session, and it must say who it is.
        if (phase != Phase::InSession || data != ConnectMagic) {
            enet_peer_disconnect(peer, 0);
            return;
        }
        enet_peer_timeout(peer, 0, Control::LinkTimeoutMs(), Control::LinkTimeoutMs());
        links[peer] = Link{0, 0, false, false, NowMs()};
        return;
    }
    Link& link = it->second;
    if (link.toHost && phase == Phase::Joining)
        Send(peer, ReliableChannel, EncodeJoinRequest(joinRequest), ENET_PACKET_FLAG_RELIABLE);
    else if (link.outgoing && link.member)
        Send(peer, ReliableChannel, EncodeHello(instance, localId, localToken), ENET_PACKET_FLAG_RELIABLE);
    Flush();
}

void Peer::OnDisconnect(ENetPeer* peer, uint32_t data) {
    auto it = links.find(peer);
    if (it == links.end())
        return;
    Link link = it->second;
    links.erase(it);
    if (phase == Phase::Joining && (link.toHost || joinWaiting.count(link.member))) {
        FinishJoin(link.toHost ? DPNERR_NOCONNECTION : DPNERR_CONNECTIONLOST);
        return;
    }
    if (!link.member || phase != Phase::InSession)
        return;
    Member* m = Live(link.member);
    if (!m || m->link != peer)
        return;
    bool timedOut = data != LeaveMagic;
    DPNID lost = m->id;
    bool wasHost = lost == hostId;
    m->link = nullptr;
    RemoveMember(lost, timedOut ? DPNDESTROYPLAYERREASON_CONNECTIONLOST : DPNDESTROYPLAYERREASON_NORMAL);
    if (phase != Phase::InSession)
        return;
    if (timedOut) {
        bool anyLink = false;
        for (auto& [id, other] : members)
            anyLink |= !other.local && !other.gone && other.link != nullptr;
        if (!anyLink && hostId != localId) {
            // Every link went silent and the session does not migrate: this peer is the one cut off. With
            // migration the host has already passed to this peer, which carries on as every host does when
            // its links go silent: nobody can tell a host killed from a cut cable, and the session of the
            // one left can still take joiners.
            LoseSession(DPNERR_CONNECTIONLOST);
            return;
        }
        if (!wasHost && hostId != localId) {
            if (Member* h = Live(hostId); h && h->link && h->ready)
                Send(h->link, ReliableChannel, EncodeId(Kind::LinkLost, lost), ENET_PACKET_FLAG_RELIABLE);
        }
    }
}

void Peer::OnPacket(ENetPeer* peer, uint8_t channel, const uint8_t* p, size_t n) {
    auto it = links.find(peer);
    if (it == links.end() || n == 0 || channel > UnreliableChannel)
        return;
    Link& link = it->second;
    auto kind = Kind(p[0]);
    // Everything but game data travels on the reliable channel.
    if (kind != Kind::Data && channel != ReliableChannel)
        return;

    if (phase == Phase::Joining && link.toHost && !link.member) {
        // The host's answer to the join request.
        if (kind == Kind::JoinAccept) {
            if (auto m = DecodeJoinAccept(p, n))
                OnJoinAccept(peer, std::move(*m));
            else
                FinishJoin(DPNERR_HOSTREJECTEDCONNECTION);
        } else if (kind == Kind::JoinReject) {
            FinishJoin(DecodeJoinReject(p, n).value_or(DPNERR_HOSTREJECTEDCONNECTION));
        }
        return;
    }
    if (phase != Phase::InSession && phase != Phase::Joining)
        return;

    if (!link.member) {
        if (phase != Phase::InSession)
            return;
        if (kind == Kind::JoinRequest && hostId == localId && !link.claimed) {
            if (auto m = DecodeJoinRequest(p, n))
                OnJoinRequest(peer, *m);
            else {
                Send(peer, ReliableChannel, EncodeJoinReject(DPNERR_INVALIDPARAM), ENET_PACKET_FLAG_RELIABLE);
                Drop(peer, true);
            }
        } else if (kind == Kind::Hello && !link.claimed) {
            if (auto m = DecodeHello(p, n))
                OnHello(peer, *m);
        }
        return;
    }

    Member* m = Live(link.member);
    if (!m || m->link != peer)
        return;
    bool fromHost = m->id == hostId;
    switch (kind) {
    case Kind::Data: {
        if (!m->ready || n < 2 || n - 1 > DPN_MAX_MESSAGE_SIZE)
            return;
        Delivery d;
        d.type = DPN_MSGID_RECEIVE;
        d.id = m->id;
        d.bytes.assign(p + 1, p + n);
        Queue(std::move(d));
        break;
    }
    case Kind::PeerInfo:
        if (auto u = DecodePeerInfo(p, n)) {
            if (u->infoFlags & DPNINFO_NAME)
                m->name = u->name;
            if (u->infoFlags & DPNINFO_DATA)
                m->data = u->data;
            Delivery d;
            d.type = DPN_MSGID_PEER_INFO;
            d.id = m->id;
            Queue(std::move(d));
        }
        break;
    case Kind::HelloAck:
        if (auto a = DecodeHelloAck(p, n); a && !m->ready) {
            bool changedInfo = m->name != a->first || m->data != a->second;
            m->name = a->first;
            m->data = a->second;
            m->ready = true;
            for (Bytes& b : m->waiting)
                Send(peer, ReliableChannel, b, ENET_PACKET_FLAG_RELIABLE);
            m->waiting.clear();
            if (changedInfo && phase == Phase::InSession) {
                Delivery d;
                d.type = DPN_MSGID_PEER_INFO;
                d.id = m->id;
                Queue(std::move(d));
            }
            joinWaiting.erase(m->id);
            if (phase == Phase::Joining && joinWaiting.empty())
                FinishJoin(DPN_OK);
        }
        break;
    case Kind::MemberAdded:
        if (fromHost)
            if (auto a = DecodeMemberAdded(p, n))
                OnMemberAdded(*a);
        break;
    case Kind::MemberLeft:
        if (fromHost)
            if (auto id = DecodeId(p, n)) {
                if (*id == localId)
                    LoseSession(DPNERR_CONNECTIONLOST);
                else if (*id != hostId)
                    RemoveMember(*id, DPNDESTROYPLAYERREASON_NORMAL);
            }
        break;
    case Kind::Leave:
        if (DecodeEmpty(p, n)) {
            DPNID id = m->id;
            m->link = nullptr;
            Drop(peer, true);
            RemoveMember(id, DPNDESTROYPLAYERREASON_NORMAL);
        }
        break;
    case Kind::LinkLost:
        if (hostId == localId)
            if (auto id = DecodeId(p, n); id && Live(*id) && *id != localId)
                // Judged later: a member that really died times out here too; one that still talks to the
                // host while the reporter cannot reach it costs the reporter its place, so a false report
                // can only ever hurt the one who makes it.
                linkReports[m->id] = {*id, NowMs() + Control::LinkTimeoutMs() + 1000};
        break;
    case Kind::Evict:
        if (fromHost && DecodeEmpty(p, n))
            LoseSession(DPNERR_CONNECTIONLOST);
        break;
    default:
        break; // unknown or out of place: ignored
    }
}

void Peer::OnJoinRequest(ENetPeer* peer, const JoinRequest& request) {
    HRESULT refuse = DPN_OK;
    GUID none{};
    if (request.application != application)
        refuse = DPNERR_INVALIDAPPLICATION;
    else if (request.instance != none && request.instance != instance)
        refuse = DPNERR_INVALIDINSTANCE;
    else if (LiveCount() >= maxPlayers)
        refuse = DPNERR_SESSIONFULL;
    if (refuse != DPN_OK) {
        Send(peer, ReliableChannel, EncodeJoinReject(refuse), ENET_PACKET_FLAG_RELIABLE);
        Drop(peer, true);
        Flush();
        return;
    }
    Member j;
    j.id = nextId;
    j.token = RandomToken();
    nextId = NextValidId(nextId);
    j.name = request.name;
    j.data = request.data;
    j.ip = LinkIp(peer);
    j.port = LinkPort(peer);
    j.link = peer;
    j.ready = true;
    links[peer].member = j.id;

    JoinAccept accept;
    accept.instance = instance;
    accept.yourId = j.id;
    accept.yourToken = j.token;
    accept.hostId = hostId;
    accept.nextId = nextId;
    accept.flags = sessionFlags;
    accept.maxPlayers = maxPlayers;
    accept.sessionName = sessionName;
    accept.reserved = reserved;
    MemberRecord added{j.id, j.ip, j.port, j.name, j.data};
    Bytes announce = EncodeMemberAdded(nextId, added, j.token);
    for (auto& [id, m] : members) {
        if (m.gone)
            continue;
        accept.members.push_back(MemberRecord{id, m.ip, m.port, m.name, m.data});
        if (!m.local)
            SendToMember(m, announce, true, false);
    }
    Send(peer, ReliableChannel, EncodeJoinAccept(accept), ENET_PACKET_FLAG_RELIABLE);
    members[j.id] = std::move(j);
    Flush();
    Delivery d;
    d.type = DPN_MSGID_CREATE_PLAYER;
    d.id = accept.yourId;
    Queue(std::move(d));
}

void Peer::OnJoinAccept(ENetPeer* peer, JoinAccept accept) {
    if ((joinInstance && accept.instance != *joinInstance)) {
        FinishJoin(DPNERR_INVALIDINSTANCE);
        return;
    }
    instance = accept.instance;
    localId = accept.yourId;
    localToken = accept.yourToken;
    hostId = accept.hostId;
    nextId = accept.nextId;
    sessionFlags = accept.flags;
    maxPlayers = accept.maxPlayers;
    sessionName = accept.sessionName;
    reserved = accept.reserved;
    Member self;
    self.id = localId;
    self.name = localName;
    self.data = localData;
    self.local = true;
    self.ready = true;
    members[localId] = std::move(self);
    std::vector<DPNID> created{localId};
    for (MemberRecord& r : accept.members) {
        Member m;
        m.id = r.id;
        m.name = std::move(r.name);
        m.data = std::move(r.data);
        m.ip = r.ip;
        m.port = r.port;
        if (r.id == hostId) {
            m.link = peer;
            m.ready = true;
            links[peer].member = r.id;
        } else {
            ENetAddress to{r.ip, r.port};
            ENetPeer* link = host ? enet_host_connect(host, &to, 2, ConnectMagic) : nullptr;
            if (!link) {
                members[r.id] = std::move(m);
                FinishJoin(DPNERR_NOCONNECTION);
                return;
            }
            enet_peer_timeout(link, 0, Control::LinkTimeoutMs(), Control::LinkTimeoutMs());
            links[link] = Link{r.id, 0, false, true, NowMs()};
            m.link = link;
            joinWaiting.insert(r.id);
        }
        nextId = std::max(nextId, NextValidId(r.id));
        created.push_back(r.id);
        members[r.id] = std::move(m);
    }
    for (DPNID id : created) {
        Delivery d;
        d.type = DPN_MSGID_CREATE_PLAYER;
        d.id = id;
        Queue(std::move(d));
    }
    Flush();
    if (joinWaiting.empty())
        FinishJoin(DPN_OK);
}

void Peer::FinishJoin(HRESULT result) {
    if (phase != Phase::Joining)
        return;
    if (SUCCEEDED(result)) {
        phase = Phase::InSession;
        joinResult = result;
        changed.notify_all();
        return;
    }
    // Undo a half join: whoever was announced to the game leaves again, this player last.
    LoseAllMembers(false);
    for (auto& [peer, link] : links)
        if (!IsFake(peer))
            enet_peer_disconnect_now(peer, LeaveMagic);
    // The members stay until their destroys are handed over; the host goes now.
    std::map<DPNID, Member> keep = std::move(members);
    DestroyHost();
    for (auto& [id, m] : keep)
        m.link = nullptr;
    members = std::move(keep);
    phase = Phase::Idle;
    joinResult = result;
    changed.notify_all();
}

// A joiner proves who it is with the token that the host gave it and announced to the members; a Hello
// without it is dropped, so that nobody (on the same address, or behind the same NAT) can take the next id
// before the real joiner arrives.
void Peer::OnHello(ENetPeer* peer, const Hello& hello) {
    if (hello.instance != instance || hello.id == localId || hello.token == 0)
        return;
    Member* m = Live(hello.id);
    if (!m) {
        // The host's announcement may still be on its way: hold the link until it comes, then judge.
        if (!members.count(hello.id)) {
            Link& link = links[peer];
            link.claimed = hello.id;
            link.claimedToken = hello.token;
        }
        return;
    }
    if (m->link || m->token != hello.token || m->ip != LinkIp(peer))
        return;
    BindHello(*m, peer);
}

void Peer::BindHello(Member& m, ENetPeer* peer) {
    m.link = peer;
    m.port = LinkPort(peer);
    m.ready = true;
    Link& link = links[peer];
    link.member = m.id;
    link.claimed = 0;
    link.claimedToken = 0;
    Member& self = members[localId];
    Send(peer, ReliableChannel, EncodeHelloAck(self.name, self.data), ENET_PACKET_FLAG_RELIABLE);
    for (Bytes& b : m.waiting)
        Send(peer, ReliableChannel, b, ENET_PACKET_FLAG_RELIABLE);
    m.waiting.clear();
    Flush();
}

void Peer::OnMemberAdded(const MemberAdded& added) {
    const MemberRecord& r = added.member;
    if (members.count(r.id))
        return; // ids are never reused
    nextId = std::max(nextId, added.nextId);
    Member m;
    m.id = r.id;
    m.token = added.token;
    m.name = r.name;
    m.data = r.data;
    m.ip = r.ip;
    m.port = r.port;
    members[r.id] = std::move(m);
    Delivery d;
    d.type = DPN_MSGID_CREATE_PLAYER;
    d.id = r.id;
    Queue(std::move(d));
    for (auto& [peer, link] : links)
        if (link.claimed == r.id && !link.member && link.claimedToken == added.token && added.token != 0 &&
            LinkIp(peer) == r.ip) {
            BindHello(members[r.id], peer);
            break;
        }
}

void Peer::RemoveMember(DPNID id, DWORD reason) {
    Member* m = Live(id);
    if (!m || m->local)
        return;
    m->gone = true;
    m->waiting.clear();
    if (m->link) {
        Drop(m->link, true); // after what is queued for it (an eviction notice)
        m->link = nullptr;
    }
    joinWaiting.erase(id);
    QueueDestroy(id, reason);
    if (hostId == localId) {
        Bytes left = EncodeId(Kind::MemberLeft, id);
        for (auto& [other, o] : members)
            if (!o.local && !o.gone)
                SendToMember(o, left, true, false);
        Flush();
    }
    if (id == hostId && phase == Phase::InSession) {
        if (!(sessionFlags & DPNSESSION_MIGRATE_HOST)) {
            LoseSession(DPNERR_CONNECTIONLOST);
            return;
        }
        // Every survivor picks the same successor: the lowest id still in the session.
        for (auto& [other, o] : members)
            if (!o.gone) {
                hostId = other;
                break;
            }
        if (hostId == localId)
            OpenResponder();
        Delivery h;
        h.type = DPN_MSGID_HOST_MIGRATE;
        h.id = hostId;
        Queue(std::move(h));
    }
}

void Peer::QueueDestroy(DPNID id, DWORD reason) {
    Delivery d;
    d.type = DPN_MSGID_DESTROY_PLAYER;
    d.id = id;
    d.reason = reason;
    Queue(std::move(d));
}

// Everyone else, then this player, destroyed as lost; dropLinks: each member's link goes at once.
void Peer::LoseAllMembers(bool dropLinks) {
    for (auto& [id, m] : members)
        if (!m.local && !m.gone) {
            m.gone = true;
            if (dropLinks) {
                if (m.link)
                    Drop(m.link, false);
                m.link = nullptr;
            }
            QueueDestroy(id, DPNDESTROYPLAYERREASON_CONNECTIONLOST);
        }
    if (Member* self = Live(localId)) {
        self->gone = true;
        QueueDestroy(localId, DPNDESTROYPLAYERREASON_CONNECTIONLOST);
    }
}

void Peer::LoseSession(HRESULT why) {
    if (phase != Phase::InSession)
        return;
    LoseAllMembers(true);
    Delivery t;
    t.type = DPN_MSGID_TERMINATE_SESSION;
    t.reason = DWORD(why);
    Queue(std::move(t));
    Flush();
    CloseResponder();
    phase = Phase::Lost;
}

void Peer::Tick() {
    uint64_t now = NowMs();
    if (phase == Phase::Joining && now >= joinDeadlineMs)
        FinishJoin(DPNERR_TIMEDOUT);
    for (auto it = linkReports.begin(); it != linkReports.end();) {
        auto [reporter, report] = *it;
        if (now < report.second) {
            ++it;
            continue;
        }
        it = linkReports.erase(it);
        Member* r = Live(reporter);
        if (phase == Phase::InSession && hostId == localId && r && Live(report.first)) {
            if (r->link && r->ready)
                Send(r->link, ReliableChannel, EncodeEmpty(Kind::Evict), ENET_PACKET_FLAG_RELIABLE);
            RemoveMember(reporter, DPNDESTROYPLAYERREASON_CONNECTIONLOST);
        }
    }
    // Strangers that never say who they are go.
    for (auto& [peer, link] : links)
        if (!link.member && !link.toHost && now - link.openedMs > Control::ConnectTimeoutMs() &&
            !IsFake(peer) && peer->state == ENET_PEER_STATE_CONNECTED)
            enet_peer_disconnect(peer, 0);
    EnumTick(now);
}

void Peer::EnumTick(uint64_t now) {
    for (auto it = enumerations.begin(); it != enumerations.end();) {
        Enumeration& e = *it;
        if (e.resolve) {
            std::lock_guard<std::mutex> hold(e.resolve->lock);
            if (e.resolve->done) {
                e.targets = e.resolve->targets;
                if (e.targets.empty() && e.broadcastFallback)
                    e.targets = BroadcastAddresses(Control::EnumPort());
                e.resolve.reset();
            }
        }
        if (!e.resolve && e.left > 0 && now >= e.nextSendMs) {
            Bytes q = EncodeEnumQuery(EnumQuery{e.application, e.nonce, uint32_t(now)});
            for (const sockaddr_in& to : e.targets)
                sendto(e.socket, q.data(), q.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
            e.nextSendMs = now + e.retryMs;
            if (e.left != INFINITE && --e.left == 0)
                e.endMs = now + e.timeoutMs;
        }
        if (e.left == 0 && now >= e.endMs) {
            StopEnumeration(e);
            it = enumerations.erase(it);
        } else {
            ++it;
        }
    }
}

void Peer::ReadResponder() {
    if (responder < 0)
        return;
    uint8_t buffer[2048];
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = recvfrom(responder, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0)
            return;
        OnQuery(buffer, size_t(n), from);
    }
}

void Peer::OnQuery(const uint8_t* p, size_t n, const sockaddr_in& from) {
    auto q = DecodeEnumQuery(p, n);
    if (!q || q->application != application || phase != Phase::InSession || hostId != localId)
        return;
    uint64_t now = NowMs();
    responseBudget =
        std::min(ResponsesPerSecond, responseBudget + double(now - budgetMs) * ResponsesPerSecond / 1000);
    budgetMs = now;
    if (responseBudget < 1)
        return;
    responseBudget -= 1;
    EnumResponse r;
    r.nonce = q->nonce;
    r.sentMs = q->sentMs;
    r.application = application;
    r.instance = instance;
    r.sessionPort = HostPort();
    r.currentPlayers = LiveCount();
    r.maxPlayers = maxPlayers;
    r.sessionName = sessionName;
    r.reserved = reserved;
    Bytes b = EncodeEnumResponse(r);
    if (responder >= 0)
        sendto(responder, b.data(), b.size(), 0, reinterpret_cast<const sockaddr*>(&from), sizeof from);
}

void Peer::ReadEnumeration(Enumeration& e) {
    if (e.socket < 0)
        return;
    uint8_t buffer[2048];
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = recvfrom(e.socket, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0)
            return;
        OnResponse(e, buffer, size_t(n), from);
    }
}

void Peer::OnResponse(Enumeration& e, const uint8_t* p, size_t n, const sockaddr_in& from) {
    auto r = DecodeEnumResponse(p, n);
    // Only answers to our own query count (a forged flood of sessions is not listed).
    if (!r || r->nonce != e.nonce || r->application != e.application)
        return;
    char ip[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, ip, sizeof ip);
    std::u16string wideIp(ip, ip + std::strlen(ip));
    wideIp.push_back(0);
    Address* sender = Address::Create();
    sender->SetSP(&CLSID_DP8SP_TCPIP);
    sender->AddComponent(DPNA_KEY_HOSTNAME, wideIp.data(), DWORD(wideIp.size() * 2), DPNA_DATATYPE_STRING);
    DWORD port = r->sessionPort;
    sender->AddComponent(DPNA_KEY_PORT, &port, 4, DPNA_DATATYPE_DWORD);
    sender->AddComponent(DPNA_KEY_INSTANCE, &r->instance, sizeof(GUID), DPNA_DATATYPE_GUID);
    Address* device = Address::Create();
    device->SetSP(&CLSID_DP8SP_TCPIP);
    Delivery d;
    d.type = DPN_MSGID_ENUM_HOSTS_RESPONSE;
    d.enumHandle = e.handle;
    d.userContext = e.userContext;
    d.latencyMs = uint32_t(NowMs()) - r->sentMs;
    d.response = std::move(*r);
    d.sender = sender;
    d.device = device;
    Queue(std::move(d));
}

void Peer::Deliver() {
    std::unique_lock<std::mutex> lk(lock);
    while (!deliveries.empty() && !stopping) {
        Delivery d = std::move(deliveries.front());
        deliveries.pop_front();
        deliveryBytes -= d.bytes.size();
        if (d.type == DPN_MSGID_RECEIVE) {
            auto from = pendingFrom.find(d.id);
            if (from != pendingFrom.end()) {
                from->second.bytes -= d.bytes.size();
                if (--from->second.count == 0)
                    pendingFrom.erase(from);
            }
        }
        if (d.type == DPN_MSGID_PEER_INFO)
            infoPending.erase(d.id);
        delivering = true;
        deliveringHandle = d.enumHandle;
        PFNDPNMESSAGEHANDLER fn = handler;
        PVOID ctx = context;
        lk.unlock();

        switch (d.type) {
        case DPN_MSGID_CREATE_PLAYER: {
            DPNMSG_CREATE_PLAYER m{sizeof m, d.id, nullptr};
            fn(ctx, d.type, &m);
            break;
        }
        case DPN_MSGID_DESTROY_PLAYER: {
            DPNMSG_DESTROY_PLAYER m{sizeof m, d.id, nullptr, d.reason};
            fn(ctx, d.type, &m);
            break;
        }
        case DPN_MSGID_PEER_INFO: {
            DPNMSG_PEER_INFO m{sizeof m, d.id, nullptr};
            fn(ctx, d.type, &m);
            break;
        }
        case DPN_MSGID_RECEIVE: {
            DPNMSG_RECEIVE m{sizeof m, d.id, nullptr, d.bytes.data(), DWORD(d.bytes.size()), 0, 0};
            fn(ctx, d.type, &m);
            break;
        }
        case DPN_MSGID_HOST_MIGRATE: {
            DPNMSG_HOST_MIGRATE m{sizeof m, d.id, nullptr};
            fn(ctx, d.type, &m);
            break;
        }
        case DPN_MSGID_TERMINATE_SESSION: {
            DPNMSG_TERMINATE_SESSION m{sizeof m, HRESULT(d.reason), nullptr, 0};
            fn(ctx, d.type, &m);
            break;
        }
        case DPN_MSGID_ENUM_HOSTS_RESPONSE: {
            std::u16string name = d.response.sessionName;
            name.push_back(0);
            DPN_APPLICATION_DESC app{};
            app.dwSize = sizeof app;
            app.guidInstance = d.response.instance;
            app.guidApplication = d.response.application;
            app.dwMaxPlayers = d.response.maxPlayers;
            app.dwCurrentPlayers = d.response.currentPlayers;
            app.pwszSessionName = name.data();
            app.pvApplicationReservedData =
                d.response.reserved.empty() ? nullptr : d.response.reserved.data();
            app.dwApplicationReservedDataSize = DWORD(d.response.reserved.size());
            DPNMSG_ENUM_HOSTS_RESPONSE m{sizeof m, d.sender, d.device,      &app,
                                         nullptr,  0,        d.userContext, d.latencyMs};
            fn(ctx, d.type, &m);
            d.sender->Release();
            d.device->Release();
            break;
        }
        default:
            break;
        }

        lk.lock();
        delivering = false;
        deliveringHandle = 0;
        ++delivered;
        if (d.type == DPN_MSGID_DESTROY_PLAYER) {
            auto it = members.find(d.id);
            if (it != members.end() && it->second.gone)
                members.erase(it);
        }
        changed.notify_all();
    }
}

// ---- test hooks ----

void Peer::SetIncomingLoss(double fraction) {
    std::lock_guard<std::mutex> hold(lock);
    dropRate = fraction;
    if (host) {
        std::lock_guard<std::mutex> holdCut(cutLock);
        if (fraction > 0)
            dropRates[host] = fraction;
        else
            dropRates.erase(host);
    }
}

void Peer::InjectPacket(unsigned index, uint8_t channel, const uint8_t* bytes, size_t size) {
    {
        std::lock_guard<std::mutex> hold(lock);
        auto fake = reinterpret_cast<ENetPeer*>(uintptr_t(0x100 + 16 * (index % 8)));
        if (!links.count(fake)) {
            if (phase != Phase::InSession)
                return;
            links[fake] = Link{0, 0, false, false, NowMs()};
        }
        OnPacket(fake, channel, bytes, size);
    }
    Wake();
}

void Peer::InjectDatagram(const uint8_t* bytes, size_t size) {
    {
        std::lock_guard<std::mutex> hold(lock);
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        from.sin_port = htons(9); // discard: answers go nowhere
        OnQuery(bytes, size, from);
        for (Enumeration& e : enumerations)
            OnResponse(e, bytes, size, from);
    }
    Wake();
}

} // namespace Dp8
