// Reference counting shared by every object the device hands out.
#pragma once

#include <d3d9.h>

namespace D3D9 {

// Tells a device that one of its objects is going away, so that nothing stays bound to it.
void ForgetObject(IDirect3DDevice9* device, const void* object);

// Objects made by a device keep it alive; the device's own back buffer and depth surface do not (they would
// keep it alive for ever), and live exactly as long as it.
template <class Interface> class Object : public Interface {
public:
    Object(IDirect3DDevice9* device, bool holdsDevice) : device_(device), holdsDevice_(holdsDevice) {
        if (holdsDevice_ && device_)
            device_->AddRef();
    }
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    virtual ~Object() {
        if (device_)
            ForgetObject(device_, static_cast<Interface*>(this));
        if (holdsDevice_ && device_)
            device_->Release();
    }

    HRESULT QueryInterface(REFIID, void** object) override {
        if (object)
            *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0 && holdsDevice_)
            delete this;
        return left;
    }
    ULONG References() const { return refs_; }

protected:
    IDirect3DDevice9* device_;
    bool holdsDevice_;
    ULONG refs_ = 1;
};

template <class Interface> class Resource : public Object<Interface> {
public:
    Resource(IDirect3DDevice9* device, bool holdsDevice, D3DRESOURCETYPE type)
        : Object<Interface>(device, holdsDevice), type_(type) {}

    HRESULT GetDevice(IDirect3DDevice9** device) override {
        if (!device)
            return D3DERR_INVALIDCALL;
        *device = this->device_;
        this->device_->AddRef();
        return D3D_OK;
    }
    DWORD SetPriority(DWORD priority) override {
        DWORD old = priority_;
        priority_ = priority;
        return old;
    }
    DWORD GetPriority() override { return priority_; }
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override { return type_; }

private:
    D3DRESOURCETYPE type_;
    DWORD priority_ = 0;
};

} // namespace D3D9
