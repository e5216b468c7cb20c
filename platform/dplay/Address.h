// A DirectPlay address: a service provider and named components, as a value with a reference count.
#pragma once

#include <dplay8.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Dp8 {

// A layer-private component: the session instance that answered an enumeration, so that Connect finds out
// when the host at that address now runs another session.
#define DPNA_KEY_INSTANCE u"corvane-instance"

class Address final : public IDirectPlay8Address {
public:
    static Address* Create(); // one reference

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT SetSP(const GUID* sp) override;
    HRESULT GetSP(GUID* sp) override;
    HRESULT AddComponent(const WCHAR* name, const void* data, DWORD size, DWORD dataType) override;
    HRESULT GetComponentByName(const WCHAR* name, void* buffer, DWORD* size, DWORD* dataType) override;
    HRESULT Duplicate(IDirectPlay8Address** copy) override;

    bool HasTcpIp() const;
    std::optional<std::string> HostName() const; // UTF-8
    std::optional<uint16_t> Port() const;
    std::optional<GUID> Instance() const;

    // Components the layer reads are only ever set from the thread that owns the address; readers copy.
    static Address* From(IDirectPlay8Address* address); // null for an address of another kind

private:
    Address() = default;
    struct Component {
        std::u16string name;
        DWORD type;
        std::vector<uint8_t> data;
    };
    const Component* Find(const std::u16string& name) const;

    std::atomic<ULONG> refs{1};
    GUID sp{};
    bool spSet = false;
    std::vector<Component> components;
};

} // namespace Dp8
