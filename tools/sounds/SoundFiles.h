// Writing the generated sounds: RIFF WAVE PCM (16-bit) and Ogg Vorbis through libvorbisenc.
#pragma once

#include "tools/sounds/Synth.h"

#include <string>

namespace Tools {

// channels: 1, or 2 with the samples interleaved. False when the file cannot be written.
bool WriteWave(const std::string& path, const Samples& samples, int rate, int channels);
// Quality from -0.1 to 1 (libvorbisenc's VBR scale); the stream serial number is fixed, so the same
// samples give the same file.
bool WriteOgg(const std::string& path, const Samples& samples, int rate, int channels, float quality);

} // namespace Tools
