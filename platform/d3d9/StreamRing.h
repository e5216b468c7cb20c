// A GL buffer that the CPU fills front to back for the draws it feeds, wrapping round: each draw's data
// (vertices from user memory, the uniform block) is written once where nothing queued reads it, and the draw
// reads it at its offset, so bindings and vertex pointers stay as they are.
//
// Where GL has ARB_buffer_storage the buffer is mapped once for good and a write is a copy: GL allocates
// nothing per draw. A fence at the end of each quarter keeps writes out of the quarters that queued draws
// may still read. Without it, running out gives the buffer fresh storage and each write is a
// glBufferSubData.
#pragma once

#include <epoxy/gl.h>

#include <cstddef>

namespace D3D9 {

class StreamRing {
public:
    // mapped false: glBufferSubData writes even where the buffer could be mapped (tests take both ways).
    explicit StreamRing(size_t size, bool mapped = true);
    ~StreamRing();
    StreamRing(const StreamRing&) = delete;
    StreamRing& operator=(const StreamRing&) = delete;

    // Copies bytes into the ring at a multiple of alignment and returns that offset. When bytes are more
    // than the ring holds the ring grows, which changes its Name.
    size_t Write(const void* data, size_t bytes, size_t alignment);
    GLuint Name() const { return name_; }
    bool Persistent() const { return mapped_ != nullptr; }

private:
    void Make(size_t size);
    void Free();
    // Moves the write position into quarter next, fencing the one it leaves.
    void Enter(size_t next);

    static constexpr size_t Quarters = 4;
    GLuint name_ = 0;
    size_t size_ = 0;
    size_t used_ = 0;
    size_t quarter_ = 0; // the quarter being written
    unsigned char* mapped_ = nullptr;
    GLsync fences_[Quarters]{};
    bool mapping_ = true; // map where GL can
};

} // namespace D3D9
