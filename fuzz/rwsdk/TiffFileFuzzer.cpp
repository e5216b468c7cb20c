// Arbitrary bytes read as a TIFF file.
#include "fuzz/support/ImageFileFuzz.h"

#include "rwsdk/tool/tiff/rttiff.h"

#include <tiffio.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = [] {
        // libtiff's messages would flood the run; what matters is that nothing crashes.
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
        return ImageFileFuzz::Start();
    }();
    static const std::string input = ImageFileFuzz::ScratchName(".tif");
    if (!started || !ImageFileFuzz::WriteScratch(input, data, size)) {
        return 0;
    }
    if (RwImage* image = RtTIFFImageRead(input.c_str())) {
        volatile unsigned sum = ImageFileFuzz::Checksum(image);
        (void)sum;
        RwImageDestroy(image);
    }
    ImageFileFuzz::ClearError();
    return 0;
}
