// Sound without a clock, to record what would be heard however busy the machine is: while chosen, the
// next device opened is OpenAL's loopback device (44.1 kHz 16-bit stereo), which mixes only when asked.
#pragma once

#include <cstddef>
#include <cstdint>

namespace DSound {

void UseLoopbackDevice(bool use);

// Mixes the next frames of the open loopback device into out (left and right interleaved), topping up
// the playing buffers every few milliseconds of sound, as the feeding thread does in time. False, with
// nothing written, when no loopback device is open.
bool RenderLoopback(int16_t* out, size_t frames);

} // namespace DSound
