// Helpers for the image-file tests: the ImageMagick-written test set and its reference pixels, images as
// RGBA bytes, and per-test scratch directories.
#pragma once

#include "ImageTestSupport.h"

#include "rwsdk/src/baimage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace ImageFiles {

using Bytes = std::vector<RwUInt8>;

inline std::string Fixture(const std::string& name) {
    return std::string(IMAGEFILES_FIXTURES) + "/" + name;
}

inline Bytes ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// ImageMagick's pixels of a fixture ("bmp8.bmp" -> "bmp8.rgba").
inline Bytes Reference(const std::string& name) {
    return ReadBytes(Fixture(name.substr(0, name.rfind('.')) + ".rgba"));
}

// ImageMagick's pixels of any file.
inline Bytes Decode(const std::string& path) {
    const std::string out = path + ".rgba";
    const std::string command =
        std::string(IMAGEFILES_CONVERT) + " '" + path + "[0]' -depth 8 'rgba:" + out + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return ReadBytes(out);
}

// Red, green, blue, alpha of every pixel, palette images through their palette.
inline Bytes ToRGBA(const RwImage* image) {
    Bytes out(size_t(image->width) * size_t(image->height) * 4);
    for (RwInt32 y = 0; y < image->height; ++y) {
        const RwUInt8* row = image->pixels + size_t(y) * size_t(image->stride);
        for (RwInt32 x = 0; x < image->width; ++x) {
            const RwUInt8* p = image->depth == 32 ? row + 4 * x : image->palette + 4 * size_t(row[x]);
            std::memcpy(&out[(size_t(y) * size_t(image->width) + size_t(x)) * 4], p, 4);
        }
    }
    return out;
}

// Compares channel by channel: each channel within its tolerance after its mask; the first few
// differences are reported with their place.
struct Match {
    RwUInt8 mask[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    int tolerance[4] = {0, 0, 0, 0};
    bool opaque = false; // the actual alpha must be 255, whatever the reference says
};

inline void ExpectPixels(const Bytes& actual, const Bytes& expected, RwInt32 width, const Match& match = {}) {
    ASSERT_EQ(actual.size(), expected.size());
    int reported = 0;
    for (size_t i = 0; i < actual.size() && reported < 5; ++i) {
        const int channel = int(i % 4);
        int a = actual[i] & match.mask[channel];
        int e = expected[i] & match.mask[channel];
        if (channel == 3 && match.opaque) {
            e = 255;
        }
        if (std::abs(a - e) > match.tolerance[channel]) {
            const size_t pixel = i / 4;
            ADD_FAILURE() << "pixel (" << pixel % size_t(width) << ", " << pixel / size_t(width)
                          << ") channel " << channel << ": " << a << " instead of " << e;
            ++reported;
        }
    }
}

// No error of an image-file reader is pending (the stream module may report the end of a file).
inline void ExpectNoReaderError() {
    const RwUInt32 error = ImageTestSupport::TakeError();
    EXPECT_NE(error, RwUInt32(E_RW_INVIMAGEFORMAT));
    EXPECT_NE(error, RwUInt32(E_RW_INVIMAGEDEPTH));
    EXPECT_NE(error, RwUInt32(E_RW_NOMEM));
    EXPECT_NE(error, RwUInt32(E_RW_NULLP));
}

// A scratch directory for one test in one process, removed afterwards.
struct TempDir {
    std::filesystem::path path;
    TempDir() {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        // Parameterised tests have '/' in their names: the directory stays one level deep.
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        std::replace(name.begin(), name.end(), '/', '_');
        path = std::filesystem::temp_directory_path() /
               ("corvane_imagefiles_" + std::to_string(getpid()) + "_" + name);
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

struct Deleter {
    void operator()(RwImage* image) const {
        if (image) {
            RwImageDestroy(image);
        }
    }
};
using ImagePtr = std::unique_ptr<RwImage, Deleter>;

inline void Put32(Bytes& bytes, size_t at, RwUInt32 v) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + size_t(i)] = RwUInt8(v >> (8 * i));
    }
}

} // namespace ImageFiles
