// Arbitrary bytes read as a BMP file; what reads is written back and read again.
#include "fuzz/support/ImageFileFuzz.h"

#include "rwsdk/tool/bmp/rtbmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = ImageFileFuzz::Start();
    static const std::string input = ImageFileFuzz::ScratchName(".bmp");
    static const std::string output = ImageFileFuzz::ScratchName("_out.bmp");
    if (!started || !ImageFileFuzz::WriteScratch(input, data, size)) {
        return 0;
    }
    if (RwImage* image = RtBMPImageRead(input.c_str())) {
        volatile unsigned sum = ImageFileFuzz::Checksum(image);
        (void)sum;
        if (RtBMPImageWrite(image, output.c_str())) {
            if (RwImage* back = RtBMPImageRead(output.c_str())) {
                RwImageDestroy(back);
            }
        }
        RwImageDestroy(image);
    }
    ImageFileFuzz::ClearError();
    return 0;
}
