#include "platform/dplay/Address.h"

#include <cstring>

namespace Dp8 {

Address* Address::Create() {
    return new Address;
}

Address* Address::From(IDirectPlay8Address* address) {
    return dynamic_cast<Address*>(address);
}

HRESULT Address::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    if (iid == IID_IDirectPlay8Address) {
        AddRef();
        *object = static_cast<IDirectPlay8Address*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG Address::AddRef() {
    return ++refs;
}

ULONG Address::Release() {
    ULONG left = --refs;
    if (left == 0)
        delete this;
    return left;
}

HRESULT Address::SetSP(const GUID* provider) {
    if (!provider)
        return DPNERR_INVALIDPOINTER;
    if (*provider != CLSID_DP8SP_TCPIP)
        return DPNERR_UNSUPPORTED; // only TCP/IP is offered
    sp = *provider;
    spSet = true;
    return DPN_OK;
}

HRESULT Address::GetSP(GUID* provider) {
    if (!provider)
        return DPNERR_INVALIDPOINTER;
    if (!spSet)
        return DPNERR_GENERIC;
    *provider = sp;
    return DPN_OK;
}

HRESULT Address::AddComponent(const WCHAR* name, const void* data, DWORD size, DWORD dataType) {
    if (!name || (!data && size) || size > 4096)
        return DPNERR_INVALIDPARAM;
    if (dataType == DPNA_DATATYPE_DWORD && size != 4)
        return DPNERR_INVALIDPARAM;
    if (dataType == DPNA_DATATYPE_GUID && size != sizeof(GUID))
        return DPNERR_INVALIDPARAM;
    if (dataType == DPNA_DATATYPE_STRING && (size % 2 != 0 || size == 0))
        return DPNERR_INVALIDPARAM;
    if (dataType < DPNA_DATATYPE_STRING || dataType > DPNA_DATATYPE_STRING_ANSI)
        return DPNERR_INVALIDPARAM;
    Component c{name, dataType, {}};
    auto bytes = static_cast<const uint8_t*>(data);
    c.data.assign(bytes, bytes + size);
    for (Component& old : components)
        if (old.name == c.name) {
            old = std::move(c);
            return DPN_OK;
        }
    components.push_back(std::move(c));
    return DPN_OK;
}

HRESULT Address::GetComponentByName(const WCHAR* name, void* buffer, DWORD* size, DWORD* dataType) {
    if (!name || !size || !dataType)
        return DPNERR_INVALIDPOINTER;
    const Component* c = Find(name);
    if (!c)
        return DPNERR_GENERIC;
    *dataType = c->type;
    if (!buffer || *size < c->data.size()) {
        *size = DWORD(c->data.size());
        return DPNERR_BUFFERTOOSMALL;
    }
    *size = DWORD(c->data.size());
    if (!c->data.empty())
        std::memcpy(buffer, c->data.data(), c->data.size());
    return DPN_OK;
}

HRESULT Address::Duplicate(IDirectPlay8Address** copy) {
    if (!copy)
        return DPNERR_INVALIDPOINTER;
    Address* a = Create();
    a->sp = sp;
    a->spSet = spSet;
    a->components = components;
    *copy = a;
    return DPN_OK;
}

const Address::Component* Address::Find(const std::u16string& name) const {
    for (const Component& c : components)
        if (c.name == name)
            return &c;
    return nullptr;
}

bool Address::HasTcpIp() const {
    return spSet && sp == CLSID_DP8SP_TCPIP;
}

std::optional<std::string> Address::HostName() const {
    const Component* c = Find(DPNA_KEY_HOSTNAME);
    if (!c)
        return std::nullopt;
    if (c->type == DPNA_DATATYPE_STRING_ANSI) {
        std::string s(c->data.begin(), c->data.end());
        return s.substr(0, s.find('\0'));
    }
    if (c->type != DPNA_DATATYPE_STRING)
        return std::nullopt;
    std::u16string wide(c->data.size() / 2, u'\0');
    std::memcpy(wide.data(), c->data.data(), wide.size() * 2);
    wide = wide.substr(0, wide.find(u'\0'));
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string s(size_t(n), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::optional<uint16_t> Address::Port() const {
    const Component* c = Find(DPNA_KEY_PORT);
    if (!c || c->type != DPNA_DATATYPE_DWORD)
        return std::nullopt;
    DWORD v;
    std::memcpy(&v, c->data.data(), 4);
    if (v == 0 || v > 0xFFFF)
        return std::nullopt;
    return uint16_t(v);
}

std::optional<GUID> Address::Instance() const {
    const Component* c = Find(DPNA_KEY_INSTANCE);
    if (!c || c->type != DPNA_DATATYPE_GUID)
        return std::nullopt;
    GUID g;
    std::memcpy(&g, c->data.data(), sizeof g);
    return g;
}

} // namespace Dp8
