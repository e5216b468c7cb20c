#include "ImageFilesSupport.h"

#include "rwsdk/tool/imagefail/rtimagefail.h"
#include "rwsdk/tool/tiff/rttiff.h"
#include "rwsdk/tool/tiff/tif_rw.h"

using namespace ImageFiles;
using ImageTestSupport::Engine;
using ImageTestSupport::TakeError;

namespace {

struct TiffCase {
    const char* file;
    RwInt32 depth;
    RwInt32 width;
    int tolerance; // colour maps hold 16 bits: the reader keeps the high byte, ImageMagick rounds
};

class TiffReadTest : public ::testing::TestWithParam<TiffCase> {};

TEST_P(TiffReadTest, MatchesImageMagick) {
    Engine engine;
    const TiffCase& c = GetParam();
    ImagePtr image(RtTIFFImageRead(Fixture(c.file).c_str()));
    ASSERT_TRUE(image) << c.file;
    EXPECT_EQ(image->depth, c.depth);
    EXPECT_EQ(image->width, c.width);
    EXPECT_EQ(image->height, 23);
    Match match;
    for (int& t : match.tolerance) {
        t = c.tolerance;
    }
    ExpectPixels(ToRGBA(image.get()), Reference(c.file), image->width, match);
}

// tiff2rgba decodes through libtiff's RGBA interface; its output, an RGBA file in strips, reads the same,
// except that the RGBA interface premultiplies colours by an unassociated alpha.
TEST_P(TiffReadTest, MatchesTiff2rgba) {
    Engine engine;
    TempDir dir;
    const TiffCase& c = GetParam();
    const std::string out = dir / "rgba.tif";
    const std::string command =
        std::string(IMAGEFILES_TIFF2RGBA) + " -c none '" + Fixture(c.file) + "' '" + out + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    ImagePtr image(RtTIFFImageRead(Fixture(c.file).c_str()));
    ImagePtr reference(RtTIFFImageRead(out.c_str()));
    ASSERT_TRUE(image && reference);
    Bytes pixels = ToRGBA(image.get());
    for (size_t i = 0; i < pixels.size(); i += 4) {
        for (size_t ch = 0; ch < 3; ++ch) {
            pixels[i + ch] = RwUInt8((pixels[i + ch] * pixels[i + 3] + 127) / 255);
        }
    }
    ExpectPixels(pixels, ToRGBA(reference.get()), image->width);
}

INSTANTIATE_TEST_SUITE_P(
    Files, TiffReadTest,
    ::testing::Values(TiffCase{"tif_rgb.tif", 32, 37, 0}, TiffCase{"tif_rgba.tif", 32, 37, 0},
                      TiffCase{"tif_grey.tif", 8, 37, 0}, TiffCase{"tif_white.tif", 8, 37, 0},
                      TiffCase{"tif_pal.tif", 8, 37, 1}, TiffCase{"tif_greytile.tif", 8, 37, 0},
                      TiffCase{"tif_greytile32.tif", 8, 32, 0}, TiffCase{"tif_rgbtile.tif", 32, 37, 0}),
    [](const auto& info) {
        std::string name = info.param.file;
        return name.substr(4, name.find('.') - 4);
    });

TEST(TiffRead, MinIsWhiteHasInvertedPalette) {
    Engine engine;
    ImagePtr image(RtTIFFImageRead(Fixture("tif_white.tif").c_str()));
    ASSERT_TRUE(image);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(image->palette[4 * i], 255 - i);
        EXPECT_EQ(image->palette[4 * i + 3], 255);
    }
}

// Refused files print nothing themselves: what libtiff said is kept, without the file's name, for the one
// message of whoever tells the failure; a missing file is that message's own news.
TEST(TiffRead, RefusedFilesYieldNullWithoutError) {
    Engine engine;
    TempDir dir;
    TakeError();
    ::testing::internal::CaptureStderr();
    RtImageReadFailureClear();
    EXPECT_EQ(RtTIFFImageRead(Fixture("tif_16.tif").c_str()), nullptr);
    EXPECT_EQ(RtTIFFImageRead((dir / "missing.tif").c_str()), nullptr);
    EXPECT_STREQ(RtImageReadFailure(), "");
    const Bytes bytes = ReadBytes(Fixture("tif_rgba.tif"));
    for (size_t length : {size_t(4), size_t(16), bytes.size() / 2}) {
        WriteBytes(dir / "short.tif", Bytes(bytes.begin(), bytes.begin() + long(length)));
        RtImageReadFailureClear();
        EXPECT_EQ(RtTIFFImageRead((dir / "short.tif").c_str()), nullptr) << length;
        const std::string said = RtImageReadFailure();
        EXPECT_EQ(said.rfind("libtiff: ", 0), 0u) << said;
        EXPECT_GT(said.size(), std::string("libtiff: ").size()) << said;
        EXPECT_EQ(said.find("short.tif"), std::string::npos) << said;
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ExpectNoReaderError();
    EXPECT_EQ(RtTIFFImageRead(nullptr), nullptr);
    EXPECT_EQ(TakeError(), RwUInt32(E_RW_NULLP));
}

TEST(TiffFileLayer, OpensThroughTheEngine) {
    Engine engine;
    EXPECT_EQ(_rtTIFFOpen(Fixture("tif_rgb.tif").c_str(), "x"), nullptr);
    TIFF* tif = _rtTIFFOpen(Fixture("tif_rgb.tif").c_str(), "rb");
    ASSERT_TRUE(tif);
    uint32_t width = 0;
    EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width));
    EXPECT_EQ(width, 37u);
    // The size procedure gives the real size: the seek to the end lands there.
    EXPECT_EQ(TIFFGetSizeProc(tif)(TIFFClientdata(tif)), ReadBytes(Fixture("tif_rgb.tif")).size());
    EXPECT_EQ(TIFFGetSeekProc(tif)(TIFFClientdata(tif), toff_t(-1), SEEK_SET), toff_t(-1));
    TIFFClose(tif);
}

// The first error wins over warnings and later errors; the text is one line, without its closing stop, cut
// short on a whole UTF-8 character.
TEST(ImageReadFailure, KeepsTheFirstErrorOnOneLineCutShort) {
    RtImageReadFailureClear();
    _rtImageReadFailureNote("libpng", "tIME: CRC error", FALSE);
    EXPECT_STREQ(RtImageReadFailure(), "libpng: tIME: CRC error");
    _rtImageReadFailureNote("libpng", "a later warning", FALSE);
    EXPECT_STREQ(RtImageReadFailure(), "libpng: tIME: CRC error");
    _rtImageReadFailureNote("libtiff", "Cannot read TIFF header.\n", TRUE);
    EXPECT_STREQ(RtImageReadFailure(), "libtiff: Cannot read TIFF header");
    _rtImageReadFailureNote("libtiff", "Failed to read directory", TRUE);
    EXPECT_STREQ(RtImageReadFailure(), "libtiff: Cannot read TIFF header");

    RtImageReadFailureClear();
    EXPECT_STREQ(RtImageReadFailure(), "");
    std::string longText(159, 'x');
    longText += "\xc3\xa9 and a great deal more";
    _rtImageReadFailureNote("libtiff", longText.c_str(), TRUE);
    EXPECT_EQ(std::string(RtImageReadFailure()), "libtiff: " + std::string(159, 'x') + "...");
    RtImageReadFailureClear();
}

} // namespace
