#include "platform/d3d9/Buffer.h"

#include "platform/d3d9/Device.h"

namespace D3D9 {

VertexBuffer::VertexBuffer(IDirect3DDevice9* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool)
    : Resource(device, true, D3DRTYPE_VERTEXBUFFER), store_(length, false), usage_(usage), fvf_(fvf),
      pool_(pool) {
    static_cast<Device*>(device_)->ResourceMade(pool_);
}

VertexBuffer::~VertexBuffer() {
    static_cast<Device*>(device_)->ResourceGone(pool_);
}

HRESULT VertexBuffer::Lock(UINT offset, UINT size, void** data, DWORD flags) {
    Device* device = static_cast<Device*>(device_);
    device->Log("VertexBuffer::Lock(", offset, ", ", size, ", 0x", LogHex{flags}, ")");
    return store_.Lock(offset, size, data, flags);
}

HRESULT VertexBuffer::Unlock() {
    return store_.Unlock();
}

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
    if (!desc)
        return D3DERR_INVALIDCALL;
    *desc = {D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, usage_, pool_, UINT(store_.Size()), fvf_};
    return D3D_OK;
}

} // namespace D3D9
