// Arbitrary packets and datagrams fed to the DirectPlay layer's receive path: a host in session hears them
// from a few strangers' links and on its enumeration port. Whatever arrives, the handler must only see
// players created once, messages between a player's create and destroy, and information within the limits.
// Every reader of the wire format also reads the raw bytes.
//
// Input: records of [selector u8][length u16 little-endian][bytes]. Selector bit 7: a datagram; otherwise
// bits 0-2 pick the link and bit 3 the channel.
#include "platform/dplay/Control.h"
#include "platform/dplay/Wire.h"

#include <dplay8.h>

#include <algorithm>
#include <map>
#include <mutex>

namespace {

std::mutex lock;
std::map<DPNID, int> life; // 1 created, 2 destroyed
IDirectPlay8Peer* peer = nullptr;

void Check(bool ok) {
    if (!ok)
        __builtin_trap();
}

void CheckInfo(DPNID id) {
    uint64_t buffer[64] = {};
    auto info = reinterpret_cast<DPN_PLAYER_INFO*>(buffer);
    info->dwSize = sizeof *info;
    DWORD size = sizeof buffer;
    Check(peer->GetPeerInfo(id, info, &size, 0) == DPN_OK);
    size_t n = 0;
    while (info->pwszName[n])
        ++n;
    Check(n <= DPN_MAX_NAME_CHARS && info->dwDataSize <= DPN_MAX_PLAYER_DATA);
}

HRESULT Handler(PVOID, DWORD type, PVOID message) {
    std::lock_guard<std::mutex> hold(lock);
    switch (type) {
    case DPN_MSGID_CREATE_PLAYER: {
        DPNID id = static_cast<DPNMSG_CREATE_PLAYER*>(message)->dpnidPlayer;
        Check(Dp8::ValidId(id) && !life.count(id));
        life[id] = 1;
        CheckInfo(id);
        break;
    }
    case DPN_MSGID_DESTROY_PLAYER: {
        DPNID id = static_cast<DPNMSG_DESTROY_PLAYER*>(message)->dpnidPlayer;
        Check(life[id] == 1);
        life[id] = 2;
        break;
    }
    case DPN_MSGID_RECEIVE: {
        auto m = static_cast<DPNMSG_RECEIVE*>(message);
        Check(life[m->dpnidSender] == 1 && m->dwReceiveDataSize > 0 &&
              m->dwReceiveDataSize <= DPN_MAX_MESSAGE_SIZE);
        break;
    }
    case DPN_MSGID_PEER_INFO: {
        DPNID id = static_cast<DPNMSG_PEER_INFO*>(message)->dpnidPlayer;
        Check(life[id] == 1);
        CheckInfo(id);
        break;
    }
    default:
        break;
    }
    return DPN_OK;
}

void StartSession() {
    {
        std::lock_guard<std::mutex> hold(lock);
        life.clear();
    }
    peer->Initialize(nullptr, Handler, 0);
    DPN_APPLICATION_DESC app{};
    app.dwSize = sizeof app;
    app.dwFlags = DPNSESSION_MIGRATE_HOST;
    app.dwMaxPlayers = 4; // the application GUID stays nil: easy to find
    IDirectPlay8Address* device = nullptr;
    CoCreateInstance(CLSID_DirectPlay8Address, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectPlay8Address,
                     reinterpret_cast<void**>(&device));
    device->SetSP(&CLSID_DP8SP_TCPIP);
    Check(peer->Host(&app, &device, 1, nullptr, nullptr, nullptr, 0) == DPN_OK);
    device->Release();
}

void Decoders(const uint8_t* p, size_t n) {
    (void)Dp8::DecodeJoinRequest(p, n);
    (void)Dp8::DecodeJoinAccept(p, n);
    (void)Dp8::DecodeJoinReject(p, n);
    (void)Dp8::DecodeMemberAdded(p, n);
    (void)Dp8::DecodeId(p, n);
    (void)Dp8::DecodeHello(p, n);
    (void)Dp8::DecodeHelloAck(p, n);
    (void)Dp8::DecodePeerInfo(p, n);
    (void)Dp8::DecodeEnumQuery(p, n);
    (void)Dp8::DecodeEnumResponse(p, n);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!peer) {
        Dp8::Control::SetAnswerEnumerations(false); // nothing outside the process takes part
        CoCreateInstance(CLSID_DirectPlay8Peer, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectPlay8Peer,
                         reinterpret_cast<void**>(&peer));
        Check(peer != nullptr);
    }
    Decoders(data, size);
    StartSession();
    while (size >= 3) {
        uint8_t selector = data[0];
        size_t length = std::min<size_t>(size - 3, size_t(data[1] | data[2] << 8));
        const uint8_t* bytes = data + 3;
        if (selector & 0x80)
            Dp8::Control::InjectDatagram(peer, bytes, length);
        else
            Dp8::Control::InjectPacket(peer, selector & 7, (selector >> 3) & 1, bytes, length);
        data += 3 + length;
        size -= 3 + length;
    }
    peer->Close(0); // hands over everything queued, so the checks above have seen it all
    return 0;
}
