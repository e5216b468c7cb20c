// The screen-text queue: its character limit and the quads a flush lays out.
#include "FontSupport.h"

#include "gui/draw/Draw3d.h"
#include "gui/draw/ScreenDraw.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Gui::ScreenPoint;

const RwRGBA White = {255, 255, 255, 255};

void Queue(std::string_view text, float x, float y, int32_t h = -1, int32_t v = -1, size_t first = 0,
           size_t count = 100000) {
    Gui::QueueText({x, y}, text, White, {1, 1}, first, count, {0, 0}, h, v);
}

uint32_t Build(const Gui::Font* font, const ScreenPoint** points) {
    return Gui::BuildTextQuads(font, points);
}

TEST(TextQueue, LimitAtItsBoundary) {
    const ScreenPoint* points = nullptr;
    Build(nullptr, &points); // start empty
    const std::string big(Gui::TextQueueLimit - 10, 'a');
    Queue(big, 0, 0);
    EXPECT_EQ(Gui::QueuedTextCharacters(), Gui::TextQueueLimit - 10);
    Queue(std::string(11, 'a'), 0, 0); // one too many: dropped whole
    EXPECT_EQ(Gui::QueuedTextCharacters(), Gui::TextQueueLimit - 10);
    Queue(std::string(4, 'a'), 0, 0);      // a later, shorter one still fits
    Queue("cccccccc", 0, 0, -1, -1, 2, 6); // exactly to the limit
    EXPECT_EQ(Gui::QueuedTextCharacters(), Gui::TextQueueLimit);
    Queue("a", 0, 0);
    EXPECT_EQ(Gui::QueuedTextCharacters(), Gui::TextQueueLimit);
    auto font = GuiTest::SimpleFont();
    EXPECT_EQ(Build(font.get(), &points), 2 * Gui::TextQueueLimit);
    EXPECT_EQ(Gui::QueuedTextCharacters(), 0u);
}

TEST(TextQueue, CountIsCutToTheString) {
    auto font = GuiTest::SimpleFont();
    const ScreenPoint* points = nullptr;
    Queue("abc", 0, 0, -1, -1, 1, 50);
    EXPECT_EQ(Gui::QueuedTextCharacters(), 2u);
    Queue("abc", 0, 0, -1, -1, 7, 50);
    EXPECT_EQ(Gui::QueuedTextCharacters(), 2u);
    ASSERT_EQ(Build(font.get(), &points), 4u);
    EXPECT_EQ(points[0].u, font->glyphs['b'].umin);
}

TEST(TextQueue, CentredAndAlignedOffsets) {
    auto font = GuiTest::BuildFont("Texture T\nChars\n{\n119 0 0 r11 r12\n120 20 0 r10 r12\n}\n");
    const ScreenPoint* points = nullptr;
    Queue("w", 100, 50, 0, -1); // width 11 -> x - 6
    Queue("x", 100, 50, 0, -1); // width 10 -> x - 5
    Queue("x", 100, 50, 1, 0);  // right: x - 10; line 12 centred: y - 6
    Queue("x", 100, 50, -1, 1); // bottom: y - 12
    Queue("xw\nx", 100, 50, 1, -1);
    ASSERT_EQ(Build(font.get(), &points), 14u);
    EXPECT_EQ(points[0].x, 94.0f);
    EXPECT_EQ(points[1].x, 94.0f + 12);
    EXPECT_EQ(points[1].y, 50.0f + 13);
    EXPECT_EQ(points[2].x, 95.0f);
    EXPECT_EQ(points[4].x, 90.0f);
    EXPECT_EQ(points[4].y, 44.0f);
    EXPECT_EQ(points[6].y, 38.0f);
    // A right-aligned request is measured whole (both lines, the newline as 1.0), and its second line starts
    // at its x, not at the aligned start.
    EXPECT_EQ(points[8].x, 100.0f - 32);
    EXPECT_EQ(points[10].x, 100.0f - 32 + 10);
    EXPECT_EQ(points[12].x, 100.0f);
    EXPECT_EQ(points[12].y, 62.0f);
}

TEST(TextQueue, NullFontEmptiesTheQueue) {
    const ScreenPoint* points = nullptr;
    Queue("abc", 0, 0);
    Gui::FlushTextQueue(nullptr, 1);
    EXPECT_EQ(Gui::QueuedTextCharacters(), 0u);
    Gui::QueueText3d({0, 0, 0}, "abc", White, {1, 1}, 0, 3, {0, 0}, 0, 0);
    EXPECT_EQ(Gui::QueuedText3dCharacters(), 3u);
    Gui::FlushTextQueue3d(nullptr, nullptr, 1);
    EXPECT_EQ(Gui::QueuedText3dCharacters(), 0u);
    EXPECT_EQ(Build(nullptr, &points), 0u);
}

TEST(TextQueue, ThreeDLimitMatchesTheScreenQueue) {
    const std::string big(Gui::TextQueueLimit, 'a');
    Gui::QueueText3d({0, 0, 0}, big, White, {1, 1}, 0, big.size(), {0, 0}, 0, 0);
    EXPECT_EQ(Gui::QueuedText3dCharacters(), Gui::TextQueueLimit);
    Gui::QueueText3d({0, 0, 0}, "a", White, {1, 1}, 0, 1, {0, 0}, 0, 0);
    EXPECT_EQ(Gui::QueuedText3dCharacters(), Gui::TextQueueLimit);
    Gui::FlushTextQueue3d(nullptr, nullptr, 1);
}

TEST(Arc, PointsTable) {
    Gui::Vertex3d out[5];
    out[0].colour = {1, 2, 3, 4};
    Gui::MakeArcPoints({1, 2, 3}, {2, 1}, 0.5f, 0.5f, 1, 1, out);
    EXPECT_FLOAT_EQ(out[0].x, 1 + 2 * std::cos(0.5f));
    EXPECT_FLOAT_EQ(out[0].y, 2 + std::sin(0.5f));
    EXPECT_EQ(out[0].z, 3.0f);
    EXPECT_EQ(out[0].colour.red, 1);
    Gui::MakeArcPoints({0, 0, 0}, {1, 1}, 0.0f, float(Base::Pi), 3, 2, out); // every second record
    EXPECT_NEAR(out[0].x, 1.0f, 1e-6);
    EXPECT_NEAR(out[2].y, 1.0f, 1e-6);
    EXPECT_NEAR(out[4].x, -1.0f, 1e-6);
}

} // namespace
