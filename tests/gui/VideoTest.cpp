// Films through the video texture renderer and the video widget, on a started engine: the texture's size
// and the drawn region, the test pattern's colours in the texture and on screen, the scheduler that pauses
// a film that is not drawn, looping, replay after the end, odd and oversize pictures, and broken files.
#include "DrawFixture.h"

#include "base/FrameClock.h"
#include "base/Info.h"
#include "gui/Desktop.h"
#include "gui/TextureRenderer.h"
#include "gui/Video.h"
#include "tests/support/Films.h"
#include "tools/video/VideoWriter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using GuiTest::Draw;
using GuiTest::Picture;
using Clock = std::chrono::steady_clock;
using Stream = TextureRenderer::Stream;

const std::string PatternFile = "Data\\Movies\\TestPattern.avi";

struct Rgb {
    int r, g, b;
};

Rgb From565(uint16_t p) {
    return {(p >> 11 & 31) * 255 / 31, (p >> 5 & 63) * 255 / 63, (p & 31) * 255 / 31};
}

bool Near(Rgb c, const uint8_t* expected, int tolerance) {
    return std::abs(c.r - expected[0]) <= tolerance && std::abs(c.g - expected[1]) <= tolerance &&
           std::abs(c.b - expected[2]) <= tolerance;
}

class Video : public Draw {
protected:
    void SetUp() override {
        Draw::SetUp();
        dir = fs::temp_directory_path() / ("corvane-video-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override {
        for (Stream* s : streams) {
            TextureRenderer::Close(s);
            delete s;
        }
        streams.clear();
        fs::remove_all(dir);
        Draw::TearDown();
    }

    Stream* Open(const std::string& name, bool audio = false) {
        auto* s = new Stream;
        streams.push_back(s);
        TextureRenderer::Open(s, RwD3D9Device, name.c_str(), audio);
        return s;
    }
    void Close(Stream* s) {
        TextureRenderer::Close(s);
        std::erase(streams, s);
        delete s;
    }

    // One game frame: the widgets that are drawn take their step, then the scheduler runs.
    static void Frame(std::initializer_list<Stream*> drawn) {
        ++Base::FrameClock::FrameCounter;
        for (Stream* s : drawn)
            TextureRenderer::Update(s);
        TextureRenderer::TimerProc();
    }

    // Frames until the condition holds, at most limit seconds; each frame waits 2 ms like a game loop.
    template <class F>
    static bool RunUntil(std::initializer_list<Stream*> drawn, F condition, double limit = 10) {
        const auto end = Clock::now() + std::chrono::duration<double>(limit);
        while (Clock::now() < end) {
            Frame(drawn);
            if (condition())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }

    static double Position(Stream* s) {
        REFTIME t = -1;
        s->interfaces->position->get_CurrentPosition(&t);
        return t;
    }

    // The texture's texel at (x, y).
    static Rgb Texel(TextureRenderer* r, uint32_t x, uint32_t y) {
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(r->texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        const auto* row = reinterpret_cast<const uint16_t*>(static_cast<const char*>(locked.pBits) +
                                                            size_t(y) * size_t(locked.Pitch));
        const Rgb c = From565(row[x]);
        r->texture->UnlockRect(0);
        return c;
    }

    // A desktop over the screen holding one video widget, "Film", that plays the test pattern film.
    static void LoadFilmDesktop(Gui::Desktop& desktop) {
        desktop.screenRect = {0, 0, float(GuiTest::Width), float(GuiTest::Height)};
        Base::Info info;
        ASSERT_EQ(info.LoadText("DesktopRect 0 0 256 192\nWidgets\n{\n Film Video\n {\n  Rect 0 0 256 192\n"
                                "  Movie Data\\Movies\\TestPattern.avi\n  Play 2\n }\n}\n"),
                  0);
        ASSERT_TRUE(desktop.Load(info));
    }
    // Two frames of the test pattern at that size.
    static Tools::FilmSettings SilentLossless(int width, int height) {
        return TestSupport::SilentLosslessFilm(width, height, 2);
    }
    std::string Write(const char* name, Tools::FilmSettings film) {
        const std::string path = (dir / name).string();
        EXPECT_TRUE(Tools::WriteVideo(path, film));
        return path;
    }

    fs::path dir;
    std::vector<Stream*> streams;
};

TEST_F(Video, TextureSizeAndDrawnRegion) {
    Stream* s = Open(PatternFile);
    ASSERT_EQ(*TextureRenderer::GetState(s), TextureRenderer::Ready);
    TextureRenderer* r = s->renderer;
    EXPECT_EQ(r->videoWidth, 320u);
    EXPECT_EQ(r->videoHeight, 240u);
    EXPECT_EQ(r->textureWidth, 512u);
    EXPECT_EQ(r->textureHeight, 256u);
    EXPECT_EQ(r->frameCount, 75);
    EXPECT_NEAR(r->frameRate, 25.0, 0.5);
    ASSERT_NE(r->engineTexture, nullptr);
    const RwRaster* raster = RwTextureGetRaster(r->engineTexture);
    EXPECT_EQ(RwRasterGetWidth(raster), 512);
    EXPECT_EQ(RwRasterGetHeight(raster), 256);
    // The picture fills u 0 .. 0.625 and v 0 .. 0.9375 of its texture.
    EXPECT_FLOAT_EQ(float(r->videoWidth) / float(r->textureWidth), 0.625f);
    EXPECT_FLOAT_EQ(float(r->videoHeight) / float(r->textureHeight), 0.9375f);
}

TEST_F(Video, FramesMatchThePatternInTheTextureAndOnScreen) {
    Gui::Desktop desktop;
    ASSERT_NO_FATAL_FAILURE(LoadFilmDesktop(desktop));
    auto* video = desktop.Find<Gui::Video>("Film", false);
    ASSERT_NE(video, nullptr);
    ASSERT_NE(video->stream, nullptr);
    TextureRenderer* r = video->stream->renderer;
    EXPECT_EQ(r->state, TextureRenderer::Playing);
    Picture picture;
    ASSERT_TRUE(RunUntil({}, [&] {
        Begin({0, 0, 0, 255});
        desktop.Draw();
        picture = End("video_pattern");
        return r->framesUploaded > 0;
    }));
    for (int bar = 0; bar < 8; ++bar) {
        const uint32_t x = uint32_t(bar * 40 + 20);
        EXPECT_TRUE(Near(Texel(r, x, 90), Tools::TestPatternColours[bar], 24)) << "bar " << bar;
        // The whole film covers the screen: bar i is the i-th eighth of it.
        const uint32_t c = picture.At(bar * 32 + 16, 70);
        EXPECT_TRUE(
            Near({int(c >> 16 & 255), int(c >> 8 & 255), int(c & 255)}, Tools::TestPatternColours[bar], 32))
            << "bar " << bar << " on screen";
    }
}

TEST_F(Video, PausesWithinAFrameWhenNotDrawnAndResumes) {
    Stream* s = Open(PatternFile);
    TextureRenderer::Play(s, true);
    ASSERT_EQ(*TextureRenderer::GetState(s), TextureRenderer::Playing);
    ASSERT_TRUE(RunUntil({s}, [&] { return s->renderer->framesDelivered >= 3; }));
    // Not drawn for two frames: the next scheduler step pauses it, and its clock stands still.
    Frame({});
    Frame({});
    const double held = Position(s);
    const uint64_t delivered = s->renderer->framesDelivered;
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // a film at 25 fps would show 5 frames
    EXPECT_DOUBLE_EQ(Position(s), held);
    EXPECT_LE(s->renderer->framesDelivered, delivered + 1); // at most the one already due
    EXPECT_EQ(*TextureRenderer::GetState(s), TextureRenderer::Playing);
    // Drawn again: it runs on.
    EXPECT_TRUE(RunUntil({s}, [&] { return s->renderer->framesDelivered >= delivered + 3; }));
    EXPECT_GT(Position(s), held);
}

TEST_F(Video, DesktopUpdateRunsTheScheduler) {
    Gui::Desktop desktop;
    ASSERT_NO_FATAL_FAILURE(LoadFilmDesktop(desktop));
    Stream* s = desktop.Find<Gui::Video>("Film", false)->stream;
    ASSERT_NE(s, nullptr);
    auto frame = [&](bool drawn) {
        ++Base::FrameClock::FrameCounter;
        desktop.Update();
        if (drawn) {
            Begin();
            desktop.Draw();
            End("video_desktop");
        }
    };
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (s->renderer->framesDelivered < 3 && Clock::now() < end)
        frame(true);
    ASSERT_GE(s->renderer->framesDelivered, 3u);
    // The page is no longer drawn (another page shows): the desktop's update pauses the film.
    frame(false);
    frame(false);
    const double held = Position(s);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    frame(false);
    EXPECT_DOUBLE_EQ(Position(s), held);
}

TEST_F(Video, LoopingGoesOnAndAFilmPlayedOnceEndsAndReplaysFromTheStart) {
    Tools::FilmSettings film;
    film.frames = 5; // 0.2 s
    film.sampleRate = 0;
    const std::string file = Write("short.avi", film);
    Stream* looping = Open(file);
    TextureRenderer::Play(looping, true);
    ASSERT_TRUE(RunUntil({looping}, [&] { return looping->renderer->framesDelivered >= 12; }));
    EXPECT_EQ(*TextureRenderer::GetState(looping), TextureRenderer::Playing);
    EXPECT_TRUE(looping->loop);
    Close(looping);

    Stream* once = Open(file);
    TextureRenderer::Play(once, false);
    ASSERT_TRUE(RunUntil({once}, [&] { return *TextureRenderer::GetState(once) == TextureRenderer::Ready; }));
    EXPECT_EQ(once->renderer->framesDelivered, 5u);
    EXPECT_EQ(once->renderer->lastFrame, 4);
    // Played again it starts from its first frame and shows all five again.
    TextureRenderer::Play(once, false);
    EXPECT_EQ(*TextureRenderer::GetState(once), TextureRenderer::Playing);
    ASSERT_TRUE(RunUntil({once}, [&] { return once->renderer->framesDelivered >= 6; }));
    EXPECT_EQ(once->renderer->lastFrame, 0);
    ASSERT_TRUE(RunUntil({once}, [&] { return *TextureRenderer::GetState(once) == TextureRenderer::Ready; }));
    EXPECT_EQ(once->renderer->framesDelivered, 10u);
}

TEST_F(Video, OddWidthIsNotSkewed) {
    Stream* s = Open(Write("odd.avi", SilentLossless(321, 243)));
    ASSERT_EQ(*TextureRenderer::GetState(s), TextureRenderer::Ready);
    EXPECT_EQ(s->renderer->textureWidth, 512u);
    EXPECT_EQ(s->renderer->textureHeight, 256u);
    TextureRenderer::Play(s, false);
    ASSERT_TRUE(RunUntil({s}, [&] { return s->renderer->framesUploaded > 0; }));
    // Every row has the same bars: near the first and last column of each bar (the converter blends the
    // boundary texels and dithers) the colour is the bar's on every row; a wrong row stride would shift them
    // row by row.
    for (uint32_t y : {0u, 60u, 121u, 181u})
        for (int bar = 0; bar < 8; ++bar) {
            const uint32_t first = uint32_t((bar * 321 + 7) / 8 + 2),
                           last = uint32_t(((bar + 1) * 321 + 7) / 8 - 3);
            EXPECT_TRUE(Near(Texel(s->renderer, first, y), Tools::TestPatternColours[bar], 32))
                << "bar " << bar << " row " << y;
            EXPECT_TRUE(Near(Texel(s->renderer, last, y), Tools::TestPatternColours[bar], 32))
                << "bar " << bar << " row " << y;
        }
}

TEST_F(Video, OversizePicturesAreCutOrRefused) {
    const Tools::FilmSettings wide = SilentLossless(2100, 16);
    Stream* s = Open(Write("wide.avi", wide));
    ASSERT_EQ(*TextureRenderer::GetState(s), TextureRenderer::Ready);
    EXPECT_EQ(s->renderer->textureWidth, 2048u);
    EXPECT_EQ(s->renderer->textureHeight, 16u);
    TextureRenderer::Play(s, false);
    ASSERT_TRUE(RunUntil({s}, [&] { return s->renderer->framesUploaded > 0; }));
    EXPECT_TRUE(Near(Texel(s->renderer, 2047, 4), Tools::TestPatternColours[7], 12));

    Tools::FilmSettings huge = wide;
    huge.width = 8200;
    huge.height = 4;
    Stream* refused = Open(Write("huge.avi", huge));
    EXPECT_EQ(*TextureRenderer::GetState(refused), TextureRenderer::Stopped);
}

TEST_F(Video, RendererChecksTypesAndSamples) {
    auto* renderer = new TextureRenderer(RwD3D9Device);
    VIDEOINFOHEADER info{};
    info.bmiHeader.biWidth = 64;
    info.bmiHeader.biHeight = -32; // top-down
    AM_MEDIA_TYPE type{};
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_RGB565;
    type.formattype = FORMAT_VideoInfo;
    type.cbFormat = sizeof info;
    type.pbFormat = reinterpret_cast<BYTE*>(&info);
    struct Case {
        GUID format, major, sub;
        HRESULT expected;
    } cases[] = {
        {FORMAT_VideoInfo, MEDIATYPE_Video, MEDIASUBTYPE_RGB565, S_OK},
        {FORMAT_WaveFormatEx, MEDIATYPE_Video, MEDIASUBTYPE_RGB565, E_INVALIDARG},
        {FORMAT_VideoInfo, MEDIATYPE_Audio, MEDIASUBTYPE_RGB565, E_FAIL},
        {FORMAT_VideoInfo, MEDIATYPE_Video, MEDIASUBTYPE_PCM, E_FAIL},
    };
    for (const Case& c : cases) {
        AM_MEDIA_TYPE t = type;
        t.formattype = c.format;
        t.majortype = c.major;
        t.subtype = c.sub;
        EXPECT_EQ(renderer->CheckMediaType(&t), c.expected);
    }
    ASSERT_EQ(renderer->SetMediaType(&type), S_OK);
    EXPECT_EQ(renderer->videoHeight, 32u);
    EXPECT_EQ(renderer->textureWidth, 64u);
    info.bmiHeader.biWidth = 0;
    EXPECT_EQ(renderer->SetMediaType(&type), E_INVALIDARG);
    info.bmiHeader.biWidth = 64;
    ASSERT_EQ(renderer->SetMediaType(&type), S_OK);

    // A sample shorter than the picture is refused rather than read past its end.
    struct ShortSample : IMediaSample {
        HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
        ULONG AddRef() override { return 1; }
        ULONG Release() override { return 1; }
        HRESULT GetPointer(BYTE** p) override {
            *p = bytes.data();
            return S_OK;
        }
        LONG GetSize() override { return LONG(bytes.size()); }
        LONG GetActualDataLength() override { return LONG(bytes.size()); }
        HRESULT GetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return S_OK; }
        std::vector<BYTE> bytes = std::vector<BYTE>(64 * 2 * 31);
    } sample;
    EXPECT_EQ(renderer->DoRenderSample(&sample), E_FAIL);
    sample.bytes.resize(64 * 2 * 32);
    EXPECT_EQ(renderer->DoRenderSample(&sample), S_OK);
    renderer->Release();
}

TEST_F(Video, TwoFilmsShareTheScheduler) {
    Stream* a = Open(PatternFile);
    Stream* b = Open(PatternFile);
    EXPECT_EQ(TextureRenderer::StreamList.size(), 2u);
    EXPECT_TRUE(TextureRenderer::TimerRunning);
    TextureRenderer::Play(a, true);
    TextureRenderer::Play(b, true);
    // Only a is drawn: b pauses at the first step and stays where it is.
    ASSERT_TRUE(RunUntil({a}, [&] { return a->renderer->framesDelivered >= 5; }));
    const double bHeld = Position(b);
    ASSERT_TRUE(RunUntil({a}, [&] { return a->renderer->framesDelivered >= 8; }));
    EXPECT_DOUBLE_EQ(Position(b), bHeld);
    EXPECT_GT(Position(a), bHeld);
    Close(a);
    EXPECT_TRUE(TextureRenderer::TimerRunning);
    ASSERT_TRUE(RunUntil({b}, [&] { return b->renderer->framesDelivered >= 3; }));
    Close(b);
    EXPECT_TRUE(TextureRenderer::StreamList.empty());
    EXPECT_FALSE(TextureRenderer::TimerRunning);
}

TEST_F(Video, WidgetWithoutAFilmOrWithAnEmptyName) {
    Gui::Video video;
    video.Open("Data\\Movies\\Missing.avi", false);
    EXPECT_EQ(video.stream, nullptr);
    video.Open(PatternFile, false);
    ASSERT_NE(video.stream, nullptr);
    video.Open("", false);
    EXPECT_EQ(video.stream, nullptr);
    EXPECT_TRUE(TextureRenderer::StreamList.empty());
    // A name too long for the platform is refused, not cut to a shorter one.
    Stream* s = Open(std::string(300, 'a') + ".avi");
    EXPECT_EQ(*TextureRenderer::GetState(s), TextureRenderer::Stopped);
}

// Broken films: the open fails, or the film plays to an end; never a crash or a hang.
TEST_F(Video, BrokenFilesFailCleanly) {
    std::ifstream in(fs::path(CORVANE_BINARY_DIR) / "data/Data/Movies/TestPattern.avi", std::ios::binary);
    const std::string good((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(good.size(), 10000u);
    std::mt19937 random(7);
    struct Case {
        const char* name;
        std::string bytes;
    };
    std::vector<Case> cases = {
        {"empty", ""},
        {"header only", good.substr(0, 300)},
        {"cut at 10 %", good.substr(0, good.size() / 10)},
        {"cut at half", good.substr(0, good.size() / 2)},
        {"garbage", std::string(4096, '\0')},
    };
    std::string noise(20000, '\0');
    for (char& c : noise)
        c = char(random());
    cases.push_back({"noise", noise});
    for (int flips : {20, 2000}) {
        std::string damaged = good;
        for (int i = 0; i < flips; ++i)
            damaged[1000 + random() % (damaged.size() - 1000)] = char(random());
        cases.push_back({flips == 20 ? "few flipped bytes" : "many flipped bytes", damaged});
    }
    std::string zeroed = good;
    std::fill(zeroed.begin() + 200, zeroed.begin() + 4000, '\0');
    cases.push_back({"zeroed headers", zeroed});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = dir / "broken.avi";
        std::ofstream(path, std::ios::binary).write(c.bytes.data(), std::streamsize(c.bytes.size()));
        Stream* s = Open(path.string());
        if (*TextureRenderer::GetState(s) == TextureRenderer::Ready) {
            TextureRenderer::Play(s, false);
            EXPECT_TRUE(
                RunUntil({s}, [&] { return *TextureRenderer::GetState(s) != TextureRenderer::Playing; }));
        }
        Close(s);
    }
}

} // namespace
