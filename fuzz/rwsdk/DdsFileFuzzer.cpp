// Arbitrary bytes read as a DDS file: the header, the level sizes of its mip chain and the software decode
// of level 0, with a device that takes every format and one that takes none.
#include "fuzz/support/ImageFileFuzz.h"

#include "rwsdk/driver/d3d9/d3d9dxttex.h"
#include "rwsdk/src/plcore/stream.h"

namespace {

RwBool TakesNone(RwUInt32) {
    return FALSE;
}

void Decode(const uint8_t* data, size_t size, RwDDSFormatCheck check) {
    RwMemory memory = {const_cast<RwUInt8*>(data), RwUInt32(size)};
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
    if (!stream) {
        return;
    }
    RwDDSHeader header;
    if (_rwDDSHeaderRead(stream, &header)) {
        volatile RwUInt32 total = 0;
        for (RwUInt32 level = 0; level < 16 && level < header.mipMapCount; ++level) {
            total = total + _rwDDSLevelSize(&header, header.width >> level, header.height >> level);
        }
        (void)_rwDDSIsCubeMap(&header);
        RwInt32 format = 0;
        if (RwImage* image = _rwDDSImageRead(stream, &header, &format, check)) {
            volatile unsigned sum = ImageFileFuzz::Checksum(image);
            (void)sum;
            RwImageDestroy(image);
        }
    }
    RwStreamClose(stream, nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = ImageFileFuzz::Start();
    if (!started || size > 0xFFFFFFFFu) {
        return 0;
    }
    Decode(data, size, nullptr);
    Decode(data, size, TakesNone);
    ImageFileFuzz::ClearError();
    return 0;
}
