// Arbitrary bytes read as a native texture record on a started Direct3D 9 device: never a crash, never a
// read or write outside the locked levels; a record that reads is written again.
#include "fuzz/support/EngineFuzz.h"
#include "fuzz/support/DeviceFuzz.h"

#include "rwsdk/driver/d3d9/d3d9texdic.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/src/texture.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = DeviceFuzz::Start();
    if (!started)
        return 0;
    RwMemory memory;
    RwStream* stream = EngineFuzz::Open(memory, data, size);
    if (!stream)
        return 0;
    RwTexture* texture = nullptr;
    const bool read = RwD3D9NativeTextureRead(stream, &texture, 0);
    RwStreamClose(stream, nullptr);
    if (read && texture) {
        RwStream* out = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMWRITE, nullptr);
        RwD3D9NativeTextureWrite(out, texture, 0);
        RwMemory written{};
        RwStreamClose(out, &written);
        RwFree(written.start);
        RwTextureDestroy(texture);
    }
    return 0;
}
