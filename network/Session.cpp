#include "network/Session.h"

#include "base/FrameClock.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace MPlr {

const GUID ApplicationGuid = {0xFD593755, 0x196F, 0x4D5E, {0xB2, 0x37, 0x9C, 0x20, 0xBA, 0x2E, 0x98, 0xA7}};

namespace {

// The first 64 characters, converted, in a buffer that keeps its NUL.
std::u16string Wide(const Base::String& text) {
    std::u16string wide(MaxNameChars + 1, u'\0');
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    if (n <= 0)
        return std::u16string(1, u'\0');
    std::u16string all(size_t(n), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), all.data(), n);
    all = all.substr(0, all.find(u'\0'));
    size_t keep = std::min<size_t>(all.size(), MaxNameChars);
    if (keep > 0 && keep < all.size() && all[keep - 1] >= 0xD800 && all[keep - 1] <= 0xDBFF)
        --keep; // never half a character
    std::copy(all.begin(), all.begin() + ptrdiff_t(keep), wide.begin());
    return wide;
}

Base::String Narrow(const WCHAR* wide) {
    if (!wide)
        return {};
    size_t n = 0;
    while (n < MaxNameChars && wide[n])
        ++n;
    int size = WideCharToMultiByte(CP_ACP, 0, wide, int(n), nullptr, 0, nullptr, nullptr);
    Base::String s(size_t(std::max(size, 0)), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_ACP, 0, wide, int(n), s.data(), size, nullptr, nullptr);
    return s;
}

std::array<uint8_t, PlayerDataSize> MakePlayerData(const Base::String& text) {
    std::array<uint8_t, PlayerDataSize> data{};
    size_t n = std::min<size_t>(text.size(), MaxPlayerText);
    std::memcpy(data.data() + PlayerTextOffset, text.data(), n);
    return data;
}

IDirectPlay8Address* NewAddress() {
    IDirectPlay8Address* address = nullptr;
    if (FAILED(CoCreateInstance(CLSID_DirectPlay8Address, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IDirectPlay8Address, reinterpret_cast<void**>(&address))))
        return nullptr;
    address->SetSP(&CLSID_DP8SP_TCPIP);
    return address;
}

AddressRef Hold(IDirectPlay8Address* address) {
    if (!address)
        return nullptr;
    address->AddRef();
    return AddressRef(address, [](IDirectPlay8Address* a) { a->Release(); });
}

void SetPlayerInfo(IDirectPlay8Peer* peer, const Base::String& playerName, const Base::String& playerText) {
    std::u16string name = Wide(playerName);
    std::array<uint8_t, PlayerDataSize> data = MakePlayerData(playerText);
    DPN_PLAYER_INFO info{};
    info.dwSize = sizeof info;
    info.dwInfoFlags = DPNINFO_NAME | DPNINFO_DATA;
    info.pwszName = name.data();
    info.pvData = data.data();
    info.dwDataSize = PlayerDataSize;
    peer->SetPeerInfo(&info, nullptr, nullptr, DPNSETPEERINFO_SYNC);
}

} // namespace

Base::String PlayerEntry::Text() const {
    const char* text = reinterpret_cast<const char*>(data.data() + PlayerTextOffset);
    return Base::String(text, strnlen(text, PlayerDataSize - PlayerTextOffset));
}

Session::Session() {
    CoCreateInstance(CLSID_DirectPlay8Peer, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectPlay8Peer,
                     reinterpret_cast<void**>(&peer));
    if (peer)
        peer->Initialize(this, MessageCallback, 0);
}

Session::~Session() {
    if (peer) {
        peer->Close(0);
        peer->Release();
        peer = nullptr;
    }
    ClearHosts();
}

void Session::Reinitialize() {
    if (!peer)
        return;
    peer->Close(0);
    peer->Initialize(this, MessageCallback, 0);
}

bool Session::Host(const Base::String& sessionName, const Base::String& playerName, uint32_t maxPlayers,
                   uint32_t reservedSize, const void* reservedData, const Base::String& playerText) {
    if (!peer)
        return false;
    std::u16string wideSession = Wide(sessionName);
    SetPlayerInfo(peer, playerName, playerText);
    IDirectPlay8Address* device = NewAddress();
    if (!device)
        return false;
    DPN_APPLICATION_DESC app{};
    app.dwSize = sizeof app;
    app.dwFlags = DPNSESSION_MIGRATE_HOST;
    app.guidApplication = ApplicationGuid;
    app.dwMaxPlayers = maxPlayers;
    app.pwszSessionName = wideSession.data();
    app.pvApplicationReservedData = const_cast<void*>(reservedData);
    app.dwApplicationReservedDataSize = reservedSize;
    HRESULT hr = peer->Host(&app, &device, 1, nullptr, nullptr, nullptr, 0);
    device->Release();
    return SUCCEEDED(hr);
}

bool Session::Connect(const HostEntry& host, const Base::String& playerName, const Base::String& playerText) {
    if (!peer)
        return false;
    SetPlayerInfo(peer, playerName, playerText);
    DPN_APPLICATION_DESC app{};
    app.dwSize = sizeof app;
    app.guidApplication = ApplicationGuid;
    HRESULT hr = peer->Connect(&app, host.hostAddress.get(), host.deviceAddress.get(), nullptr, nullptr,
                               nullptr, 0, nullptr, nullptr, nullptr, DPNCONNECT_SYNC);
    return SUCCEEDED(hr);
}

void Session::EnumerateHosts(bool start, const Base::String& hostName, bool cancel) {
    if (!peer)
        return;
    if (!start) {
        if (cancel && enumerationHandle)
            peer->CancelAsyncOperation(enumerationHandle, 0);
        enumerationHandle = 0;
        return;
    }
    if (enumerationHandle) {
        peer->CancelAsyncOperation(enumerationHandle, 0);
        enumerationHandle = 0;
    }
    ClearHosts();
    IDirectPlay8Address* hostAddress = NewAddress();
    IDirectPlay8Address* device = NewAddress();
    if (!hostAddress || !device) {
        if (hostAddress)
            hostAddress->Release();
        if (device)
            device->Release();
        return;
    }
    DWORD flags = 0;
    if (!hostName.empty()) {
        std::u16string wide = Wide(hostName);
        size_t length = wide.find(u'\0');
        hostAddress->AddComponent(DPNA_KEY_HOSTNAME, wide.data(), DWORD((length + 1) * 2),
                                  DPNA_DATATYPE_STRING);
        flags = DPNENUMHOSTS_NOBROADCASTFALLBACK;
    }
    DPN_APPLICATION_DESC app{};
    app.dwSize = sizeof app;
    app.guidApplication = ApplicationGuid;
    // The name is looked up on the layer's thread, so this returns at once (the menu keeps drawing).
    peer->EnumHosts(&app, hostAddress, device, nullptr, 0, INFINITE, DWORD(hostTimeout * 1000 / 3), 0,
                    nullptr, &enumerationHandle, flags);
    hostAddress->Release();
    device->Release();
}

void Session::GetRecentHosts(std::vector<HostEntry>& out) {
    out.clear();
    double now = Base::FrameClock::GetSeconds();
    std::lock_guard<std::mutex> hold(hostsLock);
    for (const HostEntry& h : hosts)
        if (now - h.lastSeen < hostTimeout)
            out.push_back(h);
}

void Session::ClearHosts() {
    std::lock_guard<std::mutex> hold(hostsLock);
    hosts.clear(); // copies handed out keep their addresses alive
}

std::optional<PlayerEntry> Session::FindLocalPlayer() {
    std::lock_guard<std::mutex> hold(playersLock);
    for (const PlayerEntry& p : players)
        if (p.local)
            return p;
    return std::nullopt;
}

void Session::SetLocalPlayerData(const void* bytes, uint32_t size) {
    if (!peer || !FindLocalPlayer())
        return;
    DPN_PLAYER_INFO info{};
    info.dwSize = sizeof info;
    info.dwInfoFlags = DPNINFO_DATA;
    info.pvData = const_cast<void*>(bytes);
    info.dwDataSize = size;
    DPNHANDLE handle = 0;
    peer->SetPeerInfo(&info, nullptr, &handle, 0);
}

PlayerEntry Session::GetPeerInfo(DPNID id) {
    // Sized from what the layer says it needs; a player whose information stays pending is given up after
    // a bounded wait instead of spinning this thread for ever.
    std::vector<uint64_t> buffer((sizeof(DPN_PLAYER_INFO) + 2 * (MaxNameChars + 1) + PlayerDataSize + 7) / 8);
    HRESULT hr = DPNERR_GENERIC;
    for (int attempt = 0; peer && attempt < 50; ++attempt) {
        auto info = reinterpret_cast<DPN_PLAYER_INFO*>(buffer.data());
        std::memset(info, 0, sizeof *info);
        info->dwSize = sizeof *info;
        DWORD size = DWORD(buffer.size() * 8);
        hr = peer->GetPeerInfo(id, info, &size, 0);
        if (hr == DPNERR_BUFFERTOOSMALL && size > buffer.size() * 8 && size < 65536) {
            buffer.assign((size + 7) / 8, 0);
            continue;
        }
        if (hr != DPNERR_PLAYERINFOPENDING)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const auto* info = reinterpret_cast<const DPN_PLAYER_INFO*>(buffer.data());

    std::lock_guard<std::mutex> hold(playersLock);
    auto it = std::find_if(players.begin(), players.end(), [&](const PlayerEntry& p) { return p.id == id; });
    if (it == players.end()) {
        players.push_back(PlayerEntry{});
        it = players.end() - 1;
    }
    it->id = id;
    if (SUCCEEDED(hr)) {
        it->name = Narrow(info->pwszName);
        it->dataSize = std::min<uint32_t>(info->dwDataSize, PlayerDataSize);
        it->data.fill(0);
        if (info->pvData && it->dataSize)
            std::memcpy(it->data.data(), info->pvData, it->dataSize);
        it->local = (info->dwPlayerFlags & DPNPLAYER_LOCAL) ? 1 : 0;
    }
    return *it;
}

void Session::GetPlayerNames(DPNID id, Base::String& name, Base::String& text) {
    std::vector<PlayerEntry> copy;
    {
        std::lock_guard<std::mutex> hold(playersLock);
        copy = players;
    }
    for (const PlayerEntry& p : copy)
        if (p.id == id) {
            name = p.name;
            text = p.Text();
            return;
        }
}

void Session::GetLocalPlayerName(Base::String& name, Base::String& text) {
    if (std::optional<PlayerEntry> local = FindLocalPlayer()) {
        name = local->name;
        text = local->Text();
    }
}

HRESULT Session::MessageCallback(PVOID context, DWORD messageType, PVOID message) {
    static_cast<Session*>(context)->HandleMessage(messageType, message);
    return DPN_OK;
}

void Session::RecountIncoming() {
    incomingBytes = 0;
    incomingFrom.clear();
    for (const IncomingMessage& m : incoming) {
        incomingBytes += m.size;
        if (m.sender != 0) {
            Share& share = incomingFrom[m.sender];
            ++share.count;
            share.bytes += m.size;
        }
    }
    countedSize = incoming.size();
}

void Session::Queue(IncomingMessage message) {
    std::lock_guard<std::mutex> hold(incomingLock);
    if (incoming.size() != countedSize) // the game took messages out since
        RecountIncoming();
    if (message.sender != 0) {
        if (incoming.size() >= MaxIncoming || incomingBytes + message.size > MaxIncomingBytes)
            return;
        Share& share = incomingFrom[message.sender];
        if (share.count >= MaxIncomingPerSender || share.bytes + message.size > MaxIncomingBytesPerSender)
            return;
        ++share.count;
        share.bytes += message.size;
    }
    incomingBytes += message.size;
    incoming.push_back(std::move(message));
    countedSize = incoming.size();
}

void Session::HandleMessage(DWORD messageType, PVOID message) {
    switch (messageType) {
    case DPN_MSGID_CREATE_PLAYER: {
        auto m = static_cast<const DPNMSG_CREATE_PLAYER*>(message);
        IncomingMessage event;
        event.event = {SessionEventKind::PlayerCreated, GetPeerInfo(m->dpnidPlayer)};
        Queue(std::move(event));
        break;
    }
    case DPN_MSGID_DESTROY_PLAYER: {
        auto m = static_cast<const DPNMSG_DESTROY_PLAYER*>(message);
        std::lock_guard<std::mutex> hold(playersLock);
        auto it = std::find_if(players.begin(), players.end(),
                               [&](const PlayerEntry& p) { return p.id == m->dpnidPlayer; });
        if (it == players.end())
            break;
        IncomingMessage event;
        event.event = {SessionEventKind::PlayerDestroyed, *it};
        Queue(std::move(event));
        players.erase(it);
        break;
    }
    case DPN_MSGID_ENUM_HOSTS_RESPONSE: {
        auto m = static_cast<const DPNMSG_ENUM_HOSTS_RESPONSE*>(message);
        const DPN_APPLICATION_DESC* app = m->pApplicationDescription;
        double now = Base::FrameClock::GetSeconds();
        std::lock_guard<std::mutex> hold(hostsLock);
        for (HostEntry& h : hosts)
            if (h.instance == app->guidInstance) {
                h.latency = m->dwRoundTripLatencyMS;
                h.currentPlayers = app->dwCurrentPlayers;
                h.maxPlayers = app->dwMaxPlayers;
                h.lastSeen = now;
                return;
            }
        if (hosts.size() >= MaxHosts)
            return; // a flood of made-up sessions does not fill the list
        HostEntry h;
        h.instance = app->guidInstance;
        h.sessionName = Narrow(app->pwszSessionName);
        h.latency = m->dwRoundTripLatencyMS;
        h.currentPlayers = app->dwCurrentPlayers;
        h.maxPlayers = app->dwMaxPlayers;
        h.deviceAddress = Hold(m->pAddressDevice);
        h.hostAddress = Hold(m->pAddressSender);
        auto bytes = static_cast<const uint8_t*>(app->pvApplicationReservedData);
        h.reservedSize = bytes ? app->dwApplicationReservedDataSize : 0;
        h.reserved = std::make_shared<const std::vector<uint8_t>>(bytes, bytes + h.reservedSize);
        h.lastSeen = now;
        hosts.push_back(std::move(h));
        break;
    }
    case DPN_MSGID_PEER_INFO:
        GetPeerInfo(static_cast<const DPNMSG_PEER_INFO*>(message)->dpnidPlayer);
        break;
    case DPN_MSGID_RECEIVE: {
        auto m = static_cast<const DPNMSG_RECEIVE*>(message);
        IncomingMessage received;
        received.size = m->dwReceiveDataSize;
        received.sender = m->dpnidSender;
        received.buffer.assign(m->pReceiveData, m->pReceiveData + m->dwReceiveDataSize);
        Queue(std::move(received));
        break;
    }
    default:
        break;
    }
}

} // namespace MPlr
