// The layer's identifiers, and its classes made known to CoCreateInstance. Whoever names a CLSID links this
// file, and with it the registration below.
#include "platform/dplay/Address.h"
#include "platform/dplay/Peer.h"

#include <dplay8.h>

const GUID CLSID_DirectPlay8Peer = {
    0x3a3c8b5e, 0x6f1d, 0x4c41, {0x9a, 0x27, 0x51, 0x0e, 0x8c, 0x4d, 0x2b, 0x61}};
const GUID CLSID_DirectPlay8Address = {
    0x3a3c8b5f, 0x6f1d, 0x4c41, {0x9a, 0x27, 0x51, 0x0e, 0x8c, 0x4d, 0x2b, 0x61}};
const GUID IID_IDirectPlay8Peer = {
    0x3a3c8b60, 0x6f1d, 0x4c41, {0x9a, 0x27, 0x51, 0x0e, 0x8c, 0x4d, 0x2b, 0x61}};
const GUID IID_IDirectPlay8Address = {
    0x3a3c8b61, 0x6f1d, 0x4c41, {0x9a, 0x27, 0x51, 0x0e, 0x8c, 0x4d, 0x2b, 0x61}};
const GUID CLSID_DP8SP_TCPIP = {0x3a3c8b62, 0x6f1d, 0x4c41, {0x9a, 0x27, 0x51, 0x0e, 0x8c, 0x4d, 0x2b, 0x61}};

namespace {

HRESULT CreatePeer(REFIID iid, void** object) {
    Dp8::Peer* peer = Dp8::Peer::Create();
    HRESULT hr = peer->QueryInterface(iid, object);
    peer->Release();
    return hr;
}

HRESULT CreateAddress(REFIID iid, void** object) {
    Dp8::Address* address = Dp8::Address::Create();
    HRESULT hr = address->QueryInterface(iid, object);
    address->Release();
    return hr;
}

const bool registered = CoRegisterClassCreator(CLSID_DirectPlay8Peer, CreatePeer) &&
                        CoRegisterClassCreator(CLSID_DirectPlay8Address, CreateAddress);

} // namespace
