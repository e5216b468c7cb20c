// Arbitrary bytes as the raw DXT1 mip chain of a streamed texture: the first byte chooses the side (512 down
// to 1), the rest is the chain. Never a read past the data; short data gives no texture.
#include "fuzz/support/DeviceFuzz.h"

#include "scene/StreamedTexture.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = DeviceFuzz::Start();
    if (!started || size < 1 || size > 0xFFFFFFFFu)
        return 0;
    const uint32_t side = 512u >> (data[0] % 10);
    if (RwTexture* texture = Rw::CreateStreamedTexture(side, data + 1, uint32_t(size - 1)))
        Rw::DestroyStreamedTexture(texture);
    DeviceFuzz::ClearError();
    return 0;
}
