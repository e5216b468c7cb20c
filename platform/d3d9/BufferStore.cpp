#include "platform/d3d9/Buffer.h"

#include <algorithm>

namespace D3D9 {

BufferStore::BufferStore(size_t size, bool zeroed)
    : size_(size), bytes_(zeroed ? std::make_unique<unsigned char[]>(size)
                                 : std::make_unique_for_overwrite<unsigned char[]>(size)) {
    glGenBuffers(1, &name_);
    glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
    glBufferData(GL_COPY_WRITE_BUFFER, GLsizeiptr(size), nullptr, GL_DYNAMIC_DRAW);
}

BufferStore::~BufferStore() {
    glDeleteBuffers(1, &name_);
}

HRESULT BufferStore::Lock(UINT offset, UINT size, void** data, DWORD flags) {
    if (!data || offset > size_)
        return D3DERR_INVALIDCALL;
    // Size 0 locks the rest of the buffer.
    size_t end = size == 0 ? size_ : std::min(size_, size_t(offset) + size);
    bool readOnly = (flags & D3DLOCK_READONLY) != 0;
    if (locks_ == 0) {
        dirtyBegin_ = offset;
        dirtyEnd_ = end;
        discard_ = (flags & D3DLOCK_DISCARD) != 0;
        noOverwrite_ = (flags & D3DLOCK_NOOVERWRITE) != 0;
        readOnly_ = readOnly;
    } else {
        dirtyBegin_ = std::min(dirtyBegin_, size_t(offset));
        dirtyEnd_ = std::max(dirtyEnd_, end);
        discard_ = discard_ || (flags & D3DLOCK_DISCARD);
        readOnly_ = readOnly_ && readOnly;
    }
    ++locks_;
    *data = bytes_.get() + offset;
    return D3D_OK;
}

HRESULT BufferStore::Unlock() {
    if (locks_ == 0)
        return D3DERR_INVALIDCALL;
    if (--locks_ > 0 || readOnly_ || dirtyEnd_ <= dirtyBegin_)
        return D3D_OK;
    ++version_;
    glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
    GLsizeiptr length = GLsizeiptr(dirtyEnd_ - dirtyBegin_);
    if (discard_) {
        // Fresh storage; outside the locked range a discarded buffer holds nothing defined.
        glBufferData(GL_COPY_WRITE_BUFFER, GLsizeiptr(size_), nullptr, GL_DYNAMIC_DRAW);
        glBufferSubData(GL_COPY_WRITE_BUFFER, GLintptr(dirtyBegin_), length, bytes_.get() + dirtyBegin_);
        return D3D_OK;
    }
    if (noOverwrite_) {
        void* target =
            glMapBufferRange(GL_COPY_WRITE_BUFFER, GLintptr(dirtyBegin_), length,
                             GL_MAP_WRITE_BIT | GL_MAP_UNSYNCHRONIZED_BIT | GL_MAP_INVALIDATE_RANGE_BIT);
        if (target) {
            std::copy_n(bytes_.get() + dirtyBegin_, length, static_cast<unsigned char*>(target));
            glUnmapBuffer(GL_COPY_WRITE_BUFFER);
            return D3D_OK;
        }
    }
    glBufferSubData(GL_COPY_WRITE_BUFFER, GLintptr(dirtyBegin_), length, bytes_.get() + dirtyBegin_);
    return D3D_OK;
}

} // namespace D3D9
