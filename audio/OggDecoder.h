// Ogg Vorbis through libvorbisfile, delivered as 16-bit signed little-endian PCM.
#pragma once

#include "audio/Decoder.h"

#include <vorbis/vorbisfile.h>

namespace Audio {

class OggDecoder : public Decoder {
public:
    explicit OggDecoder(std::istream& stream);
    ~OggDecoder() override;
    OggDecoder(const OggDecoder&) = delete;
    OggDecoder& operator=(const OggDecoder&) = delete;

    uint32_t Read(void* buffer, uint32_t bytes) override;
    void Rewind() override;

private:
    OggVorbis_File* file = nullptr;
    bool opened = false;
};

} // namespace Audio
