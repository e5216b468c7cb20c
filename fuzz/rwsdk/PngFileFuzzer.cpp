// Arbitrary bytes read as a PNG file; what reads is written back and read again.
#include "fuzz/support/ImageFileFuzz.h"

#include "rwsdk/tool/png/rtpng.h"

#include <png.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = ImageFileFuzz::Start();
    static const std::string input = ImageFileFuzz::ScratchName(".png");
    static const std::string output = ImageFileFuzz::ScratchName("_out.png");
    if (!started || !ImageFileFuzz::WriteScratch(input, data, size)) {
        return 0;
    }
    if (RwImage* image = RtPNGImageRead(input.c_str())) {
        volatile unsigned sum = ImageFileFuzz::Checksum(image);
        (void)sum;
        if (RtPNGImageWrite(image, output.c_str())) {
            if (RwImage* back = RtPNGImageRead(output.c_str())) {
                RwImageDestroy(back);
            }
        }
        RwImageDestroy(image);
    }
    ImageFileFuzz::ClearError();
    return 0;
}
