#include "platform/d3d9/Buffer.h"

#include "platform/d3d9/Device.h"

namespace D3D9 {

IndexBuffer::IndexBuffer(IDirect3DDevice9* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : Resource(device, true, D3DRTYPE_INDEXBUFFER), store_(length), usage_(usage), format_(format),
      pool_(pool) {
    static_cast<Device*>(device_)->ResourceMade(pool_);
}

IndexBuffer::~IndexBuffer() {
    static_cast<Device*>(device_)->ResourceGone(pool_);
}

HRESULT IndexBuffer::Lock(UINT offset, UINT size, void** data, DWORD flags) {
    Device* device = static_cast<Device*>(device_);
    device->Log("IndexBuffer::Lock(", offset, ", ", size, ", 0x", LogHex{flags}, ")");
    return store_.Lock(offset, size, data, flags);
}

HRESULT IndexBuffer::Unlock() {
    return store_.Unlock();
}

HRESULT IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* desc) {
    if (!desc)
        return D3DERR_INVALIDCALL;
    *desc = {format_, D3DRTYPE_INDEXBUFFER, usage_, pool_, UINT(store_.Size())};
    return D3D_OK;
}

} // namespace D3D9
