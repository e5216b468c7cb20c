// RIFF WAVE PCM whose format chunk comes first; later chunks are skipped until "data".
#pragma once

#include "audio/Decoder.h"

namespace Audio {

class WavDecoder : public Decoder {
public:
    explicit WavDecoder(std::istream& stream);
    uint32_t Read(void* buffer, uint32_t bytes) override;
    void Rewind() override;

private:
    std::istream& stream;
    std::streampos firstSample;
    uint32_t remaining = 0;
};

} // namespace Audio
