// Vertex and index buffers: a GL buffer and a CPU copy that locks hand out.
#pragma once

#include "platform/d3d9/Object.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace D3D9 {

// The storage both buffer kinds share. DISCARD gives the GL buffer fresh storage before the locked range is
// sent, so draws already queued keep the old contents; NOOVERWRITE sends the range without waiting, since the
// caller promises that queued draws do not read it. A new store's contents are undefined, as Direct3D 9
// leaves them, unless zeroed is asked for: the device reads an index buffer's copy itself to find each
// draw's vertex range, and a draw from indices never written must still find a range inside the buffer.
class BufferStore {
public:
    BufferStore(size_t size, bool zeroed);
    ~BufferStore();
    BufferStore(const BufferStore&) = delete;
    BufferStore& operator=(const BufferStore&) = delete;

    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags);
    HRESULT Unlock();
    GLuint Name() const { return name_; }
    size_t Size() const { return size_; }
    const unsigned char* Bytes() const { return bytes_.get(); }
    // Changes each time written bytes are unlocked.
    uint64_t Version() const { return version_; }

private:
    size_t size_;
    std::unique_ptr<unsigned char[]> bytes_;
    uint64_t version_ = 0;
    GLuint name_ = 0;
    int locks_ = 0;
    size_t dirtyBegin_ = 0, dirtyEnd_ = 0;
    bool discard_ = false, noOverwrite_ = false, readOnly_ = true;
};

class VertexBuffer final : public Resource<IDirect3DVertexBuffer9> {
public:
    VertexBuffer(IDirect3DDevice9* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool);
    ~VertexBuffer() override;
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) override;
    BufferStore& Store() { return store_; }

private:
    BufferStore store_;
    DWORD usage_, fvf_;
    D3DPOOL pool_;
};

// The smallest and largest of count (at least one) indices.
template <class Index> void IndexBounds(const Index* indices, size_t count, UINT& low, UINT& high) {
    auto [least, most] = std::minmax_element(indices, indices + count);
    low = *least;
    high = *most;
}

class IndexBuffer final : public Resource<IDirect3DIndexBuffer9> {
public:
    IndexBuffer(IDirect3DDevice9* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    ~IndexBuffer() override;
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DINDEXBUFFER_DESC* desc) override;
    BufferStore& Store() { return store_; }
    D3DFORMAT Format() const { return format_; }
    // The smallest and largest of `count` indices from index `first`; false where they run past the end.
    // The last few answers are kept: a static buffer's draws ask the same each frame.
    bool Range(UINT first, UINT count, UINT& low, UINT& high);

private:
    struct KnownRange {
        uint64_t version = ~uint64_t(0);
        UINT first = 0, count = 0, low = 0, high = 0;
    };
    std::array<KnownRange, 4> known_;
    unsigned nextKnown_ = 0;
    BufferStore store_;
    DWORD usage_;
    D3DFORMAT format_;
    D3DPOOL pool_;
};

} // namespace D3D9
