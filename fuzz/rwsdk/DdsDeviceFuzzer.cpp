// Arbitrary bytes read as a DDS file straight onto a started Direct3D 9 device (cube maps included): never a
// crash, a shift past the width of a word or a read outside a locked level; a raster that reads is destroyed.
#include "fuzz/support/EngineFuzz.h"
#include "fuzz/support/DeviceFuzz.h"

#include "rwsdk/driver/d3d9/d3d9ddstex.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/plcore/stream.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = DeviceFuzz::Start();
    if (!started)
        return 0;
    RwMemory memory;
    RwStream* stream = EngineFuzz::Open(memory, data, size);
    if (!stream)
        return 0;
    if (RwRaster* raster = RwD3D9DDSRasterRead(stream))
        RwRasterDestroy(raster);
    RwStreamClose(stream, nullptr);
    DeviceFuzz::ClearError();
    return 0;
}
