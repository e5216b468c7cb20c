// Turns an open binary input stream into PCM on demand: Ogg Vorbis (16-bit) or RIFF WAVE PCM (its own
// width), recognised by content.
#pragma once

#include <cstdint>
#include <istream>

namespace Audio {

class Decoder {
public:
    enum Status : uint32_t { NotOpened = 0, Open = 1, AtEnd = 2 };

    virtual ~Decoder() = default;
    // Delivers whole blocks only; returns the bytes delivered.
    virtual uint32_t Read(void* buffer, uint32_t bytes) = 0;
    virtual void Rewind() = 0;

    uint32_t status = NotOpened;
    uint32_t dataSize = 0; // bytes of PCM
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    uint32_t bitsPerSample = 0;
    uint32_t blockAlign = 0; // bytes per sample frame
};

// A decoder for the stream, tried as WAVE and then as Ogg Vorbis; null when neither accepts it (the stream
// is then back at its position with its error state cleared). The stream must outlive the decoder.
Decoder* OpenDecoder(std::istream& stream);

} // namespace Audio
