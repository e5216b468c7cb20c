// Any bytes as a sound file: WAVE or Ogg Vorbis, decoded whole, in odd-sized reads and after a rewind.
#include "audio/Decoder.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream stream(std::string(reinterpret_cast<const char*>(data), size));
    std::unique_ptr<Audio::Decoder> decoder(Audio::OpenDecoder(stream));
    if (!decoder) {
        return 0;
    }
    std::vector<char> chunk(1001);
    for (int pass = 0; pass < 2; ++pass) {
        // Bounded: a lying data size must not keep the fuzzer here.
        for (int reads = 0; reads < 256 && decoder->status == Audio::Decoder::Open; ++reads) {
            if (decoder->Read(chunk.data(), static_cast<uint32_t>(chunk.size())) > chunk.size()) {
                __builtin_trap();
            }
        }
        decoder->Rewind();
    }
    return 0;
}
