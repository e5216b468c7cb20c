// A handler for raw DirectPlay 8 peers that records what arrives and checks the order every player's
// messages keep: created once, nothing from it before its create or after its destroy.
#pragma once

#include "tests/support/Loopback.h"

#include "platform/dplay/Control.h"

#include <dplay8.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace DplayTest {

using TestSupport::FreeUdpPort;
using TestSupport::WaitFor;

struct Received {
    DPNID sender;
    std::vector<uint8_t> bytes;
};

class Recorder {
public:
    static HRESULT Handler(PVOID context, DWORD type, PVOID message) {
        static_cast<Recorder*>(context)->On(type, message);
        return DPN_OK;
    }

    std::mutex lock;
    std::map<DPNID, int> state; // 1 created, 2 destroyed
    std::vector<std::pair<DWORD, DPNID>> events;
    std::vector<Received> received;
    std::vector<std::string> violations;
    std::vector<DPNMSG_ENUM_HOSTS_RESPONSE> responses; // addresses AddRef'd
    std::vector<std::string> sessionNames;
    DPNID newHost = 0;
    std::vector<HRESULT> terminations;
    IDirectPlay8Peer* peer = nullptr; // to read player information inside the callback

    ~Recorder() {
        for (auto& r : responses) {
            r.pAddressSender->Release();
            r.pAddressDevice->Release();
        }
    }

    void On(DWORD type, PVOID message) {
        std::lock_guard<std::mutex> hold(lock);
        switch (type) {
        case DPN_MSGID_CREATE_PLAYER: {
            DPNID id = static_cast<DPNMSG_CREATE_PLAYER*>(message)->dpnidPlayer;
            if (state.count(id))
                violations.push_back("created twice");
            if (id == 0 || id == 0xFFFFFFFFu || id == 0xFFFFFFFEu)
                violations.push_back("sentinel id");
            state[id] = 1;
            events.emplace_back(type, id);
            CheckInfo(id);
            break;
        }
        case DPN_MSGID_DESTROY_PLAYER: {
            DPNID id = static_cast<DPNMSG_DESTROY_PLAYER*>(message)->dpnidPlayer;
            if (state[id] != 1)
                violations.push_back("destroy without create");
            state[id] = 2;
            events.emplace_back(type, id);
            break;
        }
        case DPN_MSGID_RECEIVE: {
            auto m = static_cast<DPNMSG_RECEIVE*>(message);
            if (state[m->dpnidSender] != 1)
                violations.push_back("receive outside the sender's life");
            if (m->dwReceiveDataSize == 0 || m->dwReceiveDataSize > DPN_MAX_MESSAGE_SIZE)
                violations.push_back("receive size");
            received.push_back({m->dpnidSender, {m->pReceiveData, m->pReceiveData + m->dwReceiveDataSize}});
            break;
        }
        case DPN_MSGID_PEER_INFO: {
            DPNID id = static_cast<DPNMSG_PEER_INFO*>(message)->dpnidPlayer;
            if (state[id] != 1)
                violations.push_back("information outside the player's life");
            events.emplace_back(type, id);
            CheckInfo(id);
            break;
        }
        case DPN_MSGID_ENUM_HOSTS_RESPONSE: {
            auto m = *static_cast<DPNMSG_ENUM_HOSTS_RESPONSE*>(message);
            m.pAddressSender->AddRef();
            m.pAddressDevice->AddRef();
            m.pApplicationDescription = nullptr; // only valid during the call
            responses.push_back(m);
            break;
        }
        case DPN_MSGID_HOST_MIGRATE:
            newHost = static_cast<DPNMSG_HOST_MIGRATE*>(message)->dpnidNewHost;
            break;
        case DPN_MSGID_TERMINATE_SESSION:
            terminations.push_back(static_cast<DPNMSG_TERMINATE_SESSION*>(message)->hResultCode);
            break;
        default:
            break;
        }
    }

    void CheckInfo(DPNID id) {
        if (!peer)
            return;
        std::vector<uint64_t> buffer(256);
        auto info = reinterpret_cast<DPN_PLAYER_INFO*>(buffer.data());
        info->dwSize = sizeof *info;
        DWORD size = DWORD(buffer.size() * 8);
        if (peer->GetPeerInfo(id, info, &size, 0) != DPN_OK) {
            violations.push_back("no information for a live player");
            return;
        }
        size_t n = 0;
        while (info->pwszName[n])
            ++n;
        if (n > DPN_MAX_NAME_CHARS || info->dwDataSize > DPN_MAX_PLAYER_DATA)
            violations.push_back("oversized player information");
    }

    size_t Count(DWORD type) {
        std::lock_guard<std::mutex> hold(lock);
        size_t n = 0;
        for (auto& e : events)
            n += e.first == type;
        return n;
    }
    size_t ReceivedCount() {
        std::lock_guard<std::mutex> hold(lock);
        return received.size();
    }
    size_t ResponseCount() {
        std::lock_guard<std::mutex> hold(lock);
        return responses.size();
    }
    std::vector<std::string> Violations() {
        std::lock_guard<std::mutex> hold(lock);
        return violations;
    }
};

const GUID TestApplication = {0x5EA7C0DE, 0x1234, 0x4321, {0x80, 1, 2, 3, 4, 5, 6, 7}};

inline IDirectPlay8Peer* NewPeer(Recorder& r) {
    IDirectPlay8Peer* p = nullptr;
    CoCreateInstance(CLSID_DirectPlay8Peer, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectPlay8Peer,
                     reinterpret_cast<void**>(&p));
    if (p) {
        r.peer = p;
        p->Initialize(&r, Recorder::Handler, 0);
    }
    return p;
}

inline IDirectPlay8Address* NewAddress(const char* host = nullptr, DWORD port = 0) {
    IDirectPlay8Address* a = nullptr;
    CoCreateInstance(CLSID_DirectPlay8Address, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectPlay8Address,
                     reinterpret_cast<void**>(&a));
    a->SetSP(&CLSID_DP8SP_TCPIP);
    if (host) {
        std::u16string wide(host, host + std::strlen(host));
        wide.push_back(0);
        a->AddComponent(DPNA_KEY_HOSTNAME, wide.data(), DWORD(wide.size() * 2), DPNA_DATATYPE_STRING);
    }
    if (port)
        a->AddComponent(DPNA_KEY_PORT, &port, 4, DPNA_DATATYPE_DWORD);
    return a;
}

inline void SetInfo(IDirectPlay8Peer* p, const std::u16string& name, const std::vector<uint8_t>& data,
                    DWORD flags = DPNSETPEERINFO_SYNC) {
    std::u16string n = name;
    n.push_back(0);
    DPN_PLAYER_INFO info{};
    info.dwSize = sizeof info;
    info.dwInfoFlags = DPNINFO_NAME | DPNINFO_DATA;
    info.pwszName = n.data();
    info.pvData = const_cast<uint8_t*>(data.data());
    info.dwDataSize = DWORD(data.size());
    p->SetPeerInfo(&info, nullptr, nullptr, flags);
}

// Hosts a session of TestApplication on a known session port.
inline HRESULT HostOn(IDirectPlay8Peer* p, uint16_t port, DWORD maxPlayers = 16,
                      DWORD sessionFlags = DPNSESSION_MIGRATE_HOST) {
    SetInfo(p, u"Host", std::vector<uint8_t>(32, 1));
    DPN_APPLICATION_DESC app{};
    app.dwSize = sizeof app;
    app.dwFlags = sessionFlags;
    app.guidApplication = TestApplication;
    app.dwMaxPlayers = maxPlayers;
    std::u16string name = u"Test session";
    app.pwszSessionName = name.data();
    IDirectPlay8Address* device = NewAddress(nullptr, port);
    HRESULT hr = p->Host(&app, &device, 1, nullptr, nullptr, nullptr, 0);
    device->Release();
    return hr;
}

inline HRESULT ConnectTo(IDirectPlay8Peer* p, uint16_t port, const std::u16string& name = u"Joiner") {
    SetInfo(p, name, std::vector<uint8_t>(32, 2));
    DPN_APPLICATION_DESC app{};
    app.dwSize = sizeof app;
    app.guidApplication = TestApplication;
    IDirectPlay8Address* host = NewAddress("127.0.0.1", port);
    HRESULT hr = p->Connect(&app, host, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr,
                            DPNCONNECT_SYNC);
    host->Release();
    return hr;
}

} // namespace DplayTest
