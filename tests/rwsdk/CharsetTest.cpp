// The debug character set drawn into a raster and read back.
#include "DriverFixture.h"
#include "rwsdk/driver/d3d9/d3d9convrt.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/tool/charse/rtcharse.h"

namespace {

using CharsetTest = DriverTest;

TEST_F(CharsetTest, DrawsEveryGlyphIntoItsCell) {
    ASSERT_TRUE(RtCharsetOpen());
    const RwRGBA foreground = {255, 255, 0, 255}, background = {0, 0, 64, 255};
    RtCharset* charset = RtCharsetCreate(&foreground, &background);
    ASSERT_NE(charset, nullptr);
    EXPECT_EQ(charset->width, 128);
    EXPECT_EQ(charset->height, 128);
    const RtCharsetDesc* desc = RtCharsetGetDesc();
    EXPECT_EQ(desc->tilewidth, 14);
    EXPECT_EQ(desc->tileheight, 7);
    EXPECT_EQ(desc->count, 91);

    RwImage* image = RwImageCreate(128, 128, 32);
    ASSERT_TRUE(RwImageAllocatePixels(image));
    ASSERT_TRUE(RwD3D9ImageFromRaster(image, charset, 0));
    const auto isForeground = [&](int x, int y) {
        const RwUInt8* p = image->pixels + y * image->stride + 4 * x;
        if (p[0] == 255 && p[1] == 255 && p[2] == 0)
            return 1;
        EXPECT_EQ(p[2], 64) << "background at " << x << ", " << y;
        return 0;
    };
    // 'A' sits in cell column 5 of cell row 2.
    const RwInt32 a = 'A' - rtCHARSETFIRST;
    EXPECT_EQ(a % 14, 5);
    EXPECT_EQ(a / 14, 2);
    for (RwInt32 k = 0; k < rtCHARSETCOUNT; ++k) {
        const int left = (k % 14) * 9, top = (k / 14) * 15;
        for (int row = 0; row < 15; ++row)
            for (int x = 0; x < 9; ++x) {
                const int bit = x < 8 ? (rtCharsetGlyphs[k][row] >> x) & 1 : 0;
                ASSERT_EQ(isForeground(left + x, top + row), bit)
                    << "character " << char(k + rtCHARSETFIRST) << " row " << row << " x " << x;
            }
    }
    // Outside the cells is background.
    for (int y = 0; y < 128; ++y)
        for (int x = 126; x < 128; ++x)
            EXPECT_EQ(isForeground(x, y), 0);
    for (int y = 105; y < 128; ++y)
        EXPECT_EQ(isForeground(0, y), 0);
    // The font is not blank: every printable character but the space has pixels.
    for (RwInt32 k = 1; k < rtCHARSETCOUNT; ++k) {
        int set = 0;
        for (RwUInt8 b : rtCharsetGlyphs[k])
            set += b != 0;
        EXPECT_GT(set, 0) << char(k + rtCHARSETFIRST);
    }
    RwImageDestroy(image);
    EXPECT_TRUE(RtCharsetDestroy(charset));
    RtCharsetClose();
}

TEST_F(CharsetTest, NullArgumentsAreRefused) {
    const RwRGBA colour = {1, 2, 3, 4};
    EXPECT_EQ(RtCharsetCreate(&colour, nullptr), nullptr);
    RwError error{};
    RwErrorGet(&error);
    EXPECT_EQ(error.errorCode, RwInt32(E_RW_NULLP));
    EXPECT_FALSE(RtCharsetDestroy(nullptr));
}

} // namespace
