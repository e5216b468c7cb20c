#include "audio/Decoder.h"

#include "audio/OggDecoder.h"
#include "audio/WavDecoder.h"

namespace Audio {

Decoder* OpenDecoder(std::istream& stream) {
    if (!stream.good()) {
        return nullptr;
    }
    const std::streampos start = stream.tellg();
    Decoder* decoder = new WavDecoder(stream);
    if (decoder->status == Decoder::Open) {
        return decoder;
    }
    delete decoder;
    stream.clear();
    stream.seekg(start);
    decoder = new OggDecoder(stream);
    if (decoder->status == Decoder::Open) {
        return decoder;
    }
    delete decoder;
    stream.clear();
    stream.seekg(start);
    return nullptr;
}

} // namespace Audio
