#include "ImageFilesSupport.h"

#include "rwsdk/tool/imagefail/rtimagefail.h"
#include "rwsdk/tool/png/rtpng.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>

using namespace ImageFiles;
using ImageTestSupport::Engine;
using ImageTestSupport::TakeError;

namespace {

struct PngCase {
    const char* file;
    RwInt32 depth;
    int tolerance; // 16-bit files: libpng keeps the high byte, ImageMagick rounds
};

class PngReadTest : public ::testing::TestWithParam<PngCase> {};

TEST_P(PngReadTest, MatchesImageMagick) {
    Engine engine;
    const PngCase& c = GetParam();
    ImagePtr image(RtPNGImageRead(Fixture(c.file).c_str()));
    ASSERT_TRUE(image) << c.file;
    EXPECT_EQ(image->depth, c.depth);
    EXPECT_EQ(image->width, 37);
    EXPECT_EQ(image->height, 23);
    Match match;
    for (int& t : match.tolerance) {
        t = c.tolerance;
    }
    ExpectPixels(ToRGBA(image.get()), Reference(c.file), image->width, match);
}

INSTANTIATE_TEST_SUITE_P(Files, PngReadTest,
                         ::testing::Values(PngCase{"png_g1.png", 8, 0}, PngCase{"png_g2.png", 8, 0},
                                           PngCase{"png_g4.png", 8, 0}, PngCase{"png_g8.png", 8, 0},
                                           PngCase{"png_g16.png", 8, 1}, PngCase{"png_gt2.png", 8, 0},
                                           PngCase{"png_gt8.png", 8, 0}, PngCase{"png_rgb8.png", 32, 0},
                                           PngCase{"png_rgb16.png", 32, 1}, PngCase{"png_ga8.png", 32, 0},
                                           PngCase{"png_ga16.png", 32, 1}, PngCase{"png_rgba8.png", 32, 0},
                                           PngCase{"png_rgba16.png", 32, 1}, PngCase{"png_p1.png", 4, 0},
                                           PngCase{"png_p2.png", 4, 0}, PngCase{"png_p4.png", 4, 0},
                                           PngCase{"png_p8.png", 8, 0}, PngCase{"png_pt2.png", 4, 0},
                                           PngCase{"png_pt8.png", 8, 0}, PngCase{"png_rgbai.png", 32, 0}),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             return name.substr(4, name.find('.') - 4);
                         });

// A grey file's palette is the opaque ramp; with tRNS only the named grey level is transparent.
TEST(PngRead, GreyPalettes) {
    Engine engine;
    ImagePtr plain(RtPNGImageRead(Fixture("png_g8.png").c_str()));
    ImagePtr keyed(RtPNGImageRead(Fixture("png_gt2.png").c_str()));
    ASSERT_TRUE(plain && keyed);
    for (int i = 0; i < 256; ++i) {
        const RwUInt8 ramp[4] = {RwUInt8(i), RwUInt8(i), RwUInt8(i), 255};
        EXPECT_EQ(std::memcmp(plain->palette + 4 * i, ramp, 4), 0) << i;
        EXPECT_EQ(keyed->palette[4 * i + 3], i == 0 ? 0 : 255) << i;
    }
}

TEST(PngRead, NullNameAndBadFiles) {
    Engine engine;
    TempDir dir;
    TakeError();
    EXPECT_EQ(RtPNGImageRead(nullptr), nullptr);
    EXPECT_EQ(TakeError(), RwUInt32(E_RW_NULLP));
    // libpng prints nothing of its own: what it said is kept for the one message of whoever tells it.
    ::testing::internal::CaptureStderr();
    RtImageReadFailureClear();
    EXPECT_EQ(RtPNGImageRead((dir / "missing.png").c_str()), nullptr);
    EXPECT_STREQ(RtImageReadFailure(), "");
    const Bytes bytes = ReadBytes(Fixture("png_rgba8.png"));
    for (size_t length : {size_t(0), size_t(8), size_t(40), bytes.size() / 2, bytes.size() - 13}) {
        WriteBytes(dir / "short.png", Bytes(bytes.begin(), bytes.begin() + long(length)));
        RtImageReadFailureClear();
        EXPECT_EQ(RtPNGImageRead((dir / "short.png").c_str()), nullptr) << length;
        EXPECT_STREQ(RtImageReadFailure(), "libpng: file is cut short") << length;
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ExpectNoReaderError();
}

// The largest single allocation the engine is asked for while a hostile file is read.
size_t largestRequest = 0;
void* CountingMalloc(size_t size, RwUInt32 hint) {
    largestRequest = std::max(largestRequest, size);
    return _rwStdMalloc(size, hint);
}
void* CountingRealloc(void* block, size_t size, RwUInt32 hint) {
    largestRequest = std::max(largestRequest, size);
    return _rwStdRealloc(block, size, hint);
}
void* CountingCalloc(size_t count, size_t size, RwUInt32 hint) {
    largestRequest = std::max(largestRequest, count * size);
    return _rwStdCalloc(count, size, hint);
}

Bytes Chunk(const char* type, const Bytes& data) {
    Bytes out;
    for (int shift : {24, 16, 8, 0})
        out.push_back(RwUInt8(data.size() >> shift));
    for (int i = 0; i < 4; i++)
        out.push_back(RwUInt8(type[i]));
    for (RwUInt8 b : data)
        out.push_back(b);
    const uLong crc = crc32(crc32(0, nullptr, 0), out.data() + 4, uInt(out.size() - 4));
    for (int shift : {24, 16, 8, 0})
        out.push_back(RwUInt8(crc >> shift));
    return out;
}

// Text chunks declaring 0.3 to 2 GB, and a 16384 x 16384 image in a hundred bytes: each is refused without
// an allocation anywhere near the declared size.
TEST(PngRead, DeclaredSizesAreWeighedBeforeAllocating) {
    const RwMemoryFunctions counting = {CountingMalloc, _rwStdFree, CountingRealloc, CountingCalloc};
    ASSERT_TRUE(RwEngineInit(&counting, rwENGINEINITFREELISTS, 0));
    RwEngineOpenParams params = {nullptr};
    ASSERT_TRUE(RwEngineOpen(&params) && RwEngineStart());
    TempDir dir;
    std::vector<std::string> files;
    for (const char* name : {"png-oom-text-353MB.png", "png-oom-text-1.9GB.png", "png-text-2GB.png"})
        files.push_back(std::string(CORVANE_SOURCE_DIR) + "/fuzz/seeds/fuzz_png/" + name);
    Bytes huge = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (const Bytes& chunk : {Chunk("IHDR", {0, 0, 0x40, 0, 0, 0, 0x40, 0, 8, 6, 0, 0, 0}),
                               Chunk("IDAT", {0x78, 0x9C, 0x03, 0, 0, 0, 0, 1}), Chunk("IEND", {})})
        huge.insert(huge.end(), chunk.begin(), chunk.end());
    files.push_back(dir / "huge.png");
    WriteBytes(files.back(), huge);
    for (const std::string& file : files) {
        largestRequest = 0;
        EXPECT_EQ(RtPNGImageRead(file.c_str()), nullptr) << file;
        EXPECT_LT(largestRequest, size_t(rtPNGMAXCHUNK) + 65536) << file;
    }
    EXPECT_TRUE(RwEngineStop() && RwEngineClose() && RwEngineTerm());
}

// The number of palette entries in a written file, read with libpng itself.
int PaletteEntries(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    int entries = -1;
    if (!setjmp(png_jmpbuf(png))) {
        png_init_io(png, file);
        png_read_info(png, info);
        png_colorp colours;
        png_bytep alphas;
        int numAlphas = 0;
        png_get_PLTE(png, info, &colours, &entries);
        png_get_tRNS(png, info, &alphas, &numAlphas, nullptr);
        EXPECT_EQ(numAlphas, entries);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return entries;
}

TEST(PngWrite, RoundTripsAndImageMagickAgrees) {
    Engine engine;
    TempDir dir;
    const struct {
        const char* file;
        int entries;
    } cases[] = {{"png_p4.png", 16}, {"png_pt8.png", 256}, {"png_pt2.png", 16}, {"png_rgba8.png", 0}};
    for (const auto& c : cases) {
        ImagePtr image(RtPNGImageRead(Fixture(c.file).c_str()));
        ASSERT_TRUE(image);
        const std::string written = dir / "written.png";
        ASSERT_EQ(RtPNGImageWrite(image.get(), written.c_str()), image.get());
        ImagePtr back(RtPNGImageRead(written.c_str()));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->depth, image->depth) << c.file;
        EXPECT_EQ(ToRGBA(back.get()), ToRGBA(image.get())) << c.file;
        ExpectPixels(Decode(written), Reference(c.file), image->width);
        if (c.entries) {
            EXPECT_EQ(PaletteEntries(written), c.entries) << c.file;
        }
    }
}

TEST(PngWrite, FailuresYieldNull) {
    Engine engine;
    ImagePtr image(RwImageCreate(2, 2, 32));
    RwImageAllocatePixels(image.get());
    TakeError();
    EXPECT_EQ(RtPNGImageWrite(image.get(), nullptr), nullptr);
    EXPECT_EQ(TakeError(), RwUInt32(E_RW_NULLP));
    EXPECT_EQ(RtPNGImageWrite(image.get(), "/nonexistent-dir/x.png"), nullptr);
}

} // namespace
