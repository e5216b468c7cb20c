// Pack and unpack of every pixel format against values worked out by hand from the format layouts.
#include "rwsdk/driver/d3d9/d3d9convrt.h"
#include "rwsdk/src/plcore/color.h"

#include <gtest/gtest.h>

#include <array>

namespace {

struct PackCase {
    D3DFORMAT format;
    RwUInt32 pixel; // of red 0x9C, green 0x5A, blue 0x3F, alpha 0x80
};

const PackCase packCases[] = {
    {D3DFMT_A8R8G8B8, 0x809C5A3F},
    {D3DFMT_X8R8G8B8, 0xFF9C5A3F},
    {D3DFMT_R5G6B5, 0x9AC7},
    {D3DFMT_X1R5G5B5, 0x4D67},
    {D3DFMT_A1R5G5B5, 0xCD67},
    {D3DFMT_A4R4G4B4, 0x8953},
    {D3DFMT_A8R3G3B2, 0x8088},
    {D3DFMT_X4R4G4B4, 0xF953},
    {D3DFMT_A8B8G8R8, 0x803F5A9C},
    {D3DFMT_Q8W8V8U8, 0x803F5A9C},
    {D3DFMT_X8B8G8R8, 0xFF3F5A9C},
    {D3DFMT_X8L8V8U8, 0xFF3F5A9C},
    {D3DFMT_L8, 0x35},
    {D3DFMT_A8L8, 0x806A},
    {D3DFMT_V8U8, 0x5A9C},
    {D3DFMT_CxV8U8, 0x5A9C},
    {D3DFMT_L6V5U5, 0x3D73},
    {D3DFMT_L16, 0x34CB},
};

struct UnpackCase {
    D3DFORMAT format;
    RwUInt32 pixel;
    std::array<RwUInt8, 4> rgba;
};

const UnpackCase unpackCases[] = {
    {D3DFMT_A8R8G8B8, 0x80C0E010, {0xC0, 0xE0, 0x10, 0x80}},
    {D3DFMT_X8R8G8B8, 0x00C0E010, {0xC0, 0xE0, 0x10, 0xFF}},
    {D3DFMT_R5G6B5, 0xFFFF, {0xF8, 0xFC, 0xF8, 0xFF}},
    {D3DFMT_R5G6B5, 0x9AC7, {0x98, 0x58, 0x38, 0xFF}},
    {D3DFMT_X1R5G5B5, 0x4D67, {0x98, 0x58, 0x38, 0xFF}},
    {D3DFMT_A1R5G5B5, 0xCD67, {0x98, 0x58, 0x38, 0xFF}},
    {D3DFMT_A1R5G5B5, 0x4D67, {0x98, 0x58, 0x38, 0x00}},
    {D3DFMT_A4R4G4B4, 0xF953, {0x90, 0x50, 0x30, 0xFF}},
    {D3DFMT_A4R4G4B4, 0x8953, {0x90, 0x50, 0x30, 0x80}},
    {D3DFMT_R3G3B2, 0xB6, {0xA0, 0xA0, 0x80, 0xFF}},
    {D3DFMT_A8, 0x7F, {0xFF, 0xFF, 0xFF, 0x7F}},
    {D3DFMT_A8R3G3B2, 0x80B6, {0xA0, 0xA0, 0x80, 0x80}},
    {D3DFMT_X4R4G4B4, 0x0953, {0x90, 0x50, 0x30, 0xFF}},
    {D3DFMT_A8B8G8R8, 0x803F5A9C, {0x9C, 0x5A, 0x3F, 0x80}},
    {D3DFMT_Q8W8V8U8, 0x803F5A9C, {0x9C, 0x5A, 0x3F, 0x80}},
    {D3DFMT_X8B8G8R8, 0x003F5A9C, {0x9C, 0x5A, 0x3F, 0xFF}},
    {D3DFMT_X8L8V8U8, 0x003F5A9C, {0x9C, 0x5A, 0x3F, 0xFF}},
    {D3DFMT_L8, 0x6A, {0x6A, 0x6A, 0x6A, 0xFF}},
    {D3DFMT_A8L8, 0x806A, {0x6A, 0x6A, 0x6A, 0x80}},
    {D3DFMT_A4L4, 0xF6, {0x60, 0x60, 0x60, 0xFF}},
    {D3DFMT_A4L4, 0x96, {0x60, 0x60, 0x60, 0x90}},
    {D3DFMT_V8U8, 0x5A9C, {0x9C, 0x5A, 0x00, 0xFF}},
    {D3DFMT_CxV8U8, 0x5A9C, {0x9C, 0x5A, 0x00, 0xFF}},
    {D3DFMT_L6V5U5, 0x3D73, {0x98, 0x58, 0x3C, 0xFF}},
    {D3DFMT_L16, 0x34CB, {0x34, 0x34, 0x34, 0xFF}},
};

TEST(PixelFormat, PacksEveryFormat) {
    for (const PackCase& c : packCases) {
        RwD3D9PixelPackFunction pack = RwD3D9GetPixelPackRoutine(c.format);
        ASSERT_NE(pack, nullptr) << c.format;
        EXPECT_EQ(pack(0x9C, 0x5A, 0x3F, 0x80), c.pixel) << "format " << c.format;
    }
}

TEST(PixelFormat, UnpacksEveryFormat) {
    for (const UnpackCase& c : unpackCases) {
        RwD3D9PixelUnpackFunction unpack = RwD3D9GetPixelUnpackRoutine(c.format);
        ASSERT_NE(unpack, nullptr) << c.format;
        std::array<RwUInt8, 4> rgba{};
        unpack(rgba.data(), c.pixel);
        EXPECT_EQ(rgba, c.rgba) << "format " << c.format << " pixel " << std::hex << c.pixel;
    }
}

TEST(PixelFormat, FormatsWithoutRoutinesHaveNone) {
    for (D3DFORMAT format : {D3DFMT_UNKNOWN, D3DFMT_R8G8B8, D3DFMT_A2B10G10R10, D3DFMT_P8, D3DFMT_D16,
                             D3DFMT_A16B16G16R16F, D3DFMT_DXT1}) {
        EXPECT_EQ(RwD3D9GetPixelPackRoutine(format), nullptr) << format;
        EXPECT_EQ(RwD3D9GetPixelUnpackRoutine(format), nullptr) << format;
    }
    // No pack for these 8-bit formats: they go through the palette-less table of raster conversion.
    EXPECT_EQ(RwD3D9GetPixelPackRoutine(D3DFMT_A4L4), nullptr);
    EXPECT_EQ(RwD3D9GetPixelPackRoutine(D3DFMT_R3G3B2), nullptr);
}

struct RasterFormatCase {
    RwInt32 format;
    RwUInt32 pixel; // of red 0x9C, green 0x5A, blue 0x3F, alpha 0x80
    RwRGBA back;
};

TEST(PixelFormat, RasterFormatsToPixelAndBack) {
    const RasterFormatCase cases[] = {
        {rwRASTERFORMATDEFAULT, 0x809C5A3F, {0x9C, 0x5A, 0x3F, 0x80}},
        {rwRASTERFORMAT8888, 0x809C5A3F, {0x9C, 0x5A, 0x3F, 0x80}},
        {rwRASTERFORMAT888, 0xFF9C5A3F, {0x9C, 0x5A, 0x3F, 0xFF}},
        {rwRASTERFORMAT1555, 0xCD67, {0x98, 0x58, 0x38, 0xFF}},
        {rwRASTERFORMAT555, 0x4D67, {0x98, 0x58, 0x38, 0xFF}},
        {rwRASTERFORMAT565, 0x9AC7, {0x98, 0x58, 0x38, 0xFF}},
        {rwRASTERFORMAT4444, 0x8953, {0x90, 0x50, 0x30, 0x80}},
        {rwRASTERFORMATLUM8, 0x35, {0x35, 0x35, 0x35, 0xFF}},
    };
    for (const RasterFormatCase& c : cases) {
        RwRGBA colour = {0x9C, 0x5A, 0x3F, 0x80};
        RwUInt32 pixel = 0;
        ASSERT_TRUE(RwRGBAToPixel(&pixel, &colour, c.format)) << c.format;
        EXPECT_EQ(pixel, c.pixel) << "format " << std::hex << c.format;
        if (c.format == rwRASTERFORMATDEFAULT)
            continue;
        RwRGBA back{};
        ASSERT_TRUE(RwRGBAFromPixel(&back, &pixel, c.format));
        EXPECT_EQ((std::array<RwUInt8, 4>{back.red, back.green, back.blue, back.alpha}),
                  (std::array<RwUInt8, 4>{c.back.red, c.back.green, c.back.blue, c.back.alpha}))
            << "format " << std::hex << c.format;
    }
}

TEST(PixelFormat, RedSurvives565RoundTripAtItsPrecision) {
    for (const auto& [in, out] : {std::pair<RwUInt8, RwUInt8>{0xF8, 0xF8}, {0xFF, 0xF8}}) {
        RwRGBA colour = {in, 0, 0, 255};
        RwUInt32 pixel = 0;
        RwRGBA back{};
        RwRGBAToPixel(&pixel, &colour, rwRASTERFORMAT565);
        RwRGBAFromPixel(&back, &pixel, rwRASTERFORMAT565);
        EXPECT_EQ(back.red, out);
    }
}

TEST(PixelFormat, PaletteEntriesPassUnchanged) {
    RwUInt32 entry = 0x11223344;
    RwRGBA colour{};
    ASSERT_TRUE(RwRGBAFromPixel(&colour, &entry, rwRASTERFORMATPAL8 | rwRASTERFORMAT8888));
    EXPECT_EQ(colour.red, 0x44);
    EXPECT_EQ(colour.alpha, 0x11);
}

} // namespace
