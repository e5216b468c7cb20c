// Helpers for the image tests: an engine with the image module open, images from bytes, and ImageMagick as
// an independent reference through raw RGBA files.
#pragma once

#include "rwsdk/src/baimage.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/error.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace ImageTestSupport {

// The engine on the null device, started for the length of one test.
struct Engine {
    explicit Engine(RwUInt32 arenaSize = 0, RwUInt32 initFlags = rwENGINEINITFREELISTS) {
        EXPECT_TRUE(RwEngineInit(nullptr, initFlags, arenaSize));
        RwEngineOpenParams params = {nullptr};
        EXPECT_TRUE(RwEngineOpen(&params));
        EXPECT_TRUE(RwEngineStart());
    }
    ~Engine() {
        EXPECT_TRUE(RwEngineStop());
        EXPECT_TRUE(RwEngineClose());
        EXPECT_TRUE(RwEngineTerm());
    }
};

inline RwUInt32 TakeError() {
    RwError error;
    RwErrorGet(&error);
    return static_cast<RwUInt32>(error.errorCode);
}

// A 32-bit image with the given pixels (row after row, 4 bytes each).
inline RwImage* MakeImage32(RwInt32 width, RwInt32 height, const std::vector<RwUInt8>& rgba) {
    RwImage* image = RwImageCreate(width, height, 32);
    RwImageAllocatePixels(image);
    for (RwInt32 y = 0; y < height; y++) {
        std::memcpy(image->pixels + y * image->stride, rgba.data() + 4 * y * width, 4 * width);
    }
    return image;
}

inline std::vector<RwUInt8> Pixels32(const RwImage* image) {
    std::vector<RwUInt8> out(4 * image->width * image->height);
    for (RwInt32 y = 0; y < image->height; y++) {
        std::memcpy(out.data() + 4 * y * image->width, image->pixels + y * image->stride, 4 * image->width);
    }
    return out;
}

// A directory of its own for this process and test.
inline std::filesystem::path TempDir() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    auto dir = std::filesystem::temp_directory_path() / ("corvane_images_" + std::to_string(getpid()) + "_" +
                                                         info->test_suite_name() + "_" + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline bool HaveImageMagick() {
    return std::system("convert -version >/dev/null 2>&1") == 0;
}

// Runs "convert -size WxH -depth 8 rgba:in <operations> -depth 8 rgba:out" and returns the output bytes.
inline std::vector<RwUInt8> Convert(const std::filesystem::path& dir, RwInt32 width, RwInt32 height,
                                    const std::vector<RwUInt8>& rgba, const std::string& operations) {
    const auto in = dir / "in.rgba";
    const auto out = dir / "out.rgba";
    {
        std::ofstream file(in, std::ios::binary);
        file.write(reinterpret_cast<const char*>(rgba.data()), static_cast<std::streamsize>(rgba.size()));
    }
    const std::string command = "convert -size " + std::to_string(width) + "x" + std::to_string(height) +
                                " -depth 8 rgba:" + in.string() + " " + operations +
                                " -depth 8 rgba:" + out.string();
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream file(out, std::ios::binary);
    return std::vector<RwUInt8>(std::istreambuf_iterator<char>(file), {});
}

} // namespace ImageTestSupport
