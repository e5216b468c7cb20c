#include "platform/d3d9/Buffer.h"

#include "platform/d3d9/Device.h"

namespace D3D9 {

IndexBuffer::IndexBuffer(IDirect3DDevice9* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : Resource(device, true, D3DRTYPE_INDEXBUFFER), store_(length, true), usage_(usage), format_(format),
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

bool IndexBuffer::Range(UINT first, UINT count, UINT& low, UINT& high) {
    const uint64_t version = store_.Version();
    for (const KnownRange& k : known_)
        if (k.version == version && k.first == first && k.count == count) {
            low = k.low;
            high = k.high;
            return true;
        }
    const size_t size = format_ == D3DFMT_INDEX32 ? 4 : 2;
    if (count == 0 || (size_t(first) + count) * size > store_.Size())
        return false;
    const unsigned char* bytes = store_.Bytes() + size_t(first) * size;
    if (size == 4)
        IndexBounds(reinterpret_cast<const uint32_t*>(bytes), count, low, high);
    else
        IndexBounds(reinterpret_cast<const uint16_t*>(bytes), count, low, high);
    known_[nextKnown_] = {version, first, count, low, high};
    nextKnown_ = (nextKnown_ + 1) % known_.size();
    return true;
}

HRESULT IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* desc) {
    if (!desc)
        return D3DERR_INVALIDCALL;
    *desc = {format_, D3DRTYPE_INDEXBUFFER, usage_, pool_, UINT(store_.Size())};
    return D3D_OK;
}

} // namespace D3D9
