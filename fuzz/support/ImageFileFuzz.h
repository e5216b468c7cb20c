// Shared set-up of the image-file fuzzers: a started engine and a scratch file per process, since the
// readers take file names.
#pragma once

#include "fuzz/support/EngineFuzz.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/error.h"
#include "fuzz/support/Scratch.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace ImageFileFuzz {

inline bool Start() {
    return EngineFuzz::Start();
}

inline std::string ScratchName(const char* extension) {
    return FuzzSupport::ScratchDirectory() + "image" + extension;
}

inline bool WriteScratch(const std::string& name, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(name.c_str(), "wb");
    if (!file) {
        return false;
    }
    bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

// Touches every pixel and palette entry, so that the sanitizers see any that lie outside the block.
inline unsigned Checksum(const RwImage* image) {
    unsigned sum = 0;
    const int rowBytes = image->width * (image->depth == 32 ? 4 : 1);
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < rowBytes; ++x) {
            sum += image->pixels[y * image->stride + x];
        }
    }
    if (image->depth <= 8) {
        for (int i = 0; i < (4 << image->depth); ++i) {
            sum += image->palette[i];
        }
    }
    return sum;
}

inline void ClearError() {
    RwError error;
    RwErrorGet(&error);
}

} // namespace ImageFileFuzz
