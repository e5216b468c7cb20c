// Arbitrary bytes read as a texture chunk (its sampling word, name and mask name) on a started Direct3D 9
// device: never a crash; a texture that reads is written again.
#include "fuzz/support/EngineFuzz.h"
#include "fuzz/support/DeviceFuzz.h"

#include "rwsdk/src/babintex.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/src/texture.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = DeviceFuzz::Start();
    if (!started)
        return 0;
    RwMemory memory;
    RwStream* stream = EngineFuzz::Open(memory, data, size);
    if (!stream)
        return 0;
    RwTexture* texture = RwTextureStreamRead(stream);
    RwStreamClose(stream, nullptr);
    if (texture)
        RwTextureDestroy(texture);
    DeviceFuzz::ClearError();
    return 0;
}
