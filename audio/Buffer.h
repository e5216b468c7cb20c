// Whole PCM in one DirectSound buffer. The sound cache keeps one per file; each sound plays a copy, which
// duplicates the DirectSound buffer and so shares its data.
#pragma once

#include <dsound.h>

#include <cstdint>

namespace Audio {

class Decoder;

class Buffer {
public:
    Buffer() = default;
    // Duplicates the interface (null when that fails: the copy never plays).
    Buffer(const Buffer& other);
    Buffer& operator=(const Buffer&) = delete;
    virtual ~Buffer();

    // A static buffer of size rounded up to whole blocks. True without creating anything when there is no
    // sound device.
    bool Create(uint32_t size, uint32_t rate, uint32_t channels, uint32_t bits);
    // Creates the buffer in the decoder's format and decodes all of it into the buffer.
    bool Load(Decoder& decoder);

    uint32_t BlockSize() const { return channels * bits / 8; }

    IDirectSoundBuffer* buffer = nullptr; // owned
    uint32_t size = 0;                    // bytes
    uint32_t rate = 0;
    uint32_t channels = 0;
    uint32_t bits = 0;
};

} // namespace Audio
