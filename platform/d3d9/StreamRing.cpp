#include "platform/d3d9/StreamRing.h"

#include <algorithm>
#include <cstring>

namespace D3D9 {

StreamRing::StreamRing(size_t size, bool mapped) : mapping_(mapped) {
    Make(size);
}

StreamRing::~StreamRing() {
    Free();
}

void StreamRing::Make(size_t size) {
    size_ = (size + Quarters * 256 - 1) / (Quarters * 256) * (Quarters * 256);
    used_ = 0;
    quarter_ = 0;
    glGenBuffers(1, &name_);
    // Bound where no draw looks: the caller's bindings stay as they are.
    glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
    if (mapping_ && epoxy_has_gl_extension("GL_ARB_buffer_storage")) {
        const GLbitfield flags = GL_MAP_WRITE_BIT | GL_MAP_PERSISTENT_BIT | GL_MAP_COHERENT_BIT;
        glBufferStorage(GL_COPY_WRITE_BUFFER, GLsizeiptr(size_), nullptr, flags);
        mapped_ =
            static_cast<unsigned char*>(glMapBufferRange(GL_COPY_WRITE_BUFFER, 0, GLsizeiptr(size_), flags));
    }
    if (!mapped_)
        glBufferData(GL_COPY_WRITE_BUFFER, GLsizeiptr(size_), nullptr, GL_STREAM_DRAW);
}

void StreamRing::Free() {
    for (GLsync& fence : fences_)
        if (fence) {
            glDeleteSync(fence);
            fence = nullptr;
        }
    if (mapped_) {
        glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
        glUnmapBuffer(GL_COPY_WRITE_BUFFER);
        mapped_ = nullptr;
    }
    glDeleteBuffers(1, &name_);
    name_ = 0;
}

void StreamRing::Enter(size_t next) {
    fences_[quarter_] = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    quarter_ = next;
    if (GLsync& fence = fences_[quarter_]) {
        glClientWaitSync(fence, GL_SYNC_FLUSH_COMMANDS_BIT, ~GLuint64(0));
        glDeleteSync(fence);
        fence = nullptr;
    }
}

size_t StreamRing::Write(const void* data, size_t bytes, size_t alignment) {
    if (bytes > size_ / 2) {
        // Too big to wrap round in: a bigger ring (GL keeps the old one while queued draws read it).
        Free();
        Make(bytes * 4);
    }
    size_t offset = (used_ + alignment - 1) / alignment * alignment;
    if (!mapped_) {
        glBindBuffer(GL_COPY_WRITE_BUFFER, name_);
        if (offset + bytes > size_) {
            // Fresh storage: draws already queued keep reading the old.
            glBufferData(GL_COPY_WRITE_BUFFER, GLsizeiptr(size_), nullptr, GL_STREAM_DRAW);
            offset = 0;
        }
        glBufferSubData(GL_COPY_WRITE_BUFFER, GLintptr(offset), GLsizeiptr(bytes), data);
        used_ = offset + bytes;
        return offset;
    }
    const size_t quarter = size_ / Quarters;
    if (offset + bytes > size_) {
        // Round to the start, through the quarters left.
        while (quarter_ != 0)
            Enter((quarter_ + 1) % Quarters);
        offset = 0;
    }
    // Every quarter the data reaches must be free of queued draws.
    while ((offset + bytes - 1) / quarter != quarter_)
        Enter(quarter_ + 1);
    std::memcpy(mapped_ + offset, data, bytes);
    used_ = offset + bytes;
    return offset;
}

} // namespace D3D9
