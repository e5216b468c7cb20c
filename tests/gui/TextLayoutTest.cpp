// Text layout: line breaking, alignment, glyph quads and cells, and the caret lookups.
#include "FontSupport.h"

#include "gui/draw/TextLayout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Gui::TextLayout;
using Gui::TextStyle;

class Layout : public ::testing::Test {
protected:
    // Letters 8 pixels wide (9 drawn), the space 4, lines 12 high.
    GuiTest::FontPtr font = GuiTest::SimpleFont();

    TextStyle Style(float width, int32_t h = -1, int32_t v = -1, bool wrap = false) const {
        TextStyle s;
        s.font = font.get();
        s.horizontalAlignment = h;
        s.verticalAlignment = v;
        s.left = 0, s.top = 0, s.right = width, s.bottom = 100;
        s.wrap = wrap;
        return s;
    }

    // The text of each line, from its first character over as many characters as it has records.
    static std::vector<std::string> Lines(const TextLayout& layout) {
        std::vector<std::string> out;
        for (const TextLayout::Line& line : layout.lines) {
            std::string text;
            for (const TextLayout::Glyph& g : line.glyphs)
                text += char(g.character);
            out.push_back(text);
        }
        return out;
    }
};

TEST_F(Layout, BreakingTable) {
    struct Case {
        const char* text;
        float width;
        bool wrap, singleParagraph;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", 100, true, false, {""}},
        {"abc\n", 100, true, false, {"abc\n", ""}},
        {"ab\nc", 100, false, false, {"ab\n", "c"}},
        {"ab\nc", 100, false, true, {"ab\nc"}},
        {"abcabcabc", 10, false, true, {"abcabcabc"}},
        // A word wider than the box is cut one character before the break point.
        {"aaaaa", 30, true, false, {"aa", "aaa"}},
        {"aaaaa", 20, true, false, {"a", "a", "a", "aa"}},
        // A blank before the break point takes the line end and stays on the first line.
        {"ab abc", 40, true, false, {"ab ", "abc"}},
        {"ab abcabc", 40, true, false, {"ab ", "abc", "abc"}},
        // The newline wins when it comes no later than the break point.
        {"a\nbcabc", 40, true, false, {"a\n", "bca", "bc"}},
        // A line that ends at a wrap leaves an empty line after the last character.
        {"aa", 5, true, false, {"a", "a", ""}},
    };
    for (const Case& c : cases) {
        TextStyle style = Style(c.width, -1, -1, c.wrap);
        style.singleParagraph = c.singleParagraph;
        TextLayout layout(c.text, style);
        EXPECT_EQ(Lines(layout), c.lines) << '"' << c.text << "\" in " << c.width;
    }
}

TEST_F(Layout, EmptyTextIsOneLinePlacedAsABlock) {
    TextLayout top("", Style(100));
    ASSERT_EQ(top.lines.size(), 1u);
    EXPECT_TRUE(top.lines[0].glyphs.empty());
    EXPECT_EQ(top.lines[0].rect.top, 0.0f);
    EXPECT_EQ(top.lines[0].rect.bottom, 12.0f);
    TextLayout middle("", Style(100, 0, 0));
    EXPECT_EQ(middle.lines[0].rect.top, 44.0f);
    EXPECT_EQ(middle.lines[0].rect.left, 50.0f);
    TextLayout bottom("", Style(100, 1, 1));
    EXPECT_EQ(bottom.lines[0].rect.top, 88.0f);
}

TEST_F(Layout, NewlineRecordHasNoWidth) {
    TextLayout layout("abc\n", Style(100));
    ASSERT_EQ(layout.lines.size(), 2u);
    const auto& first = layout.lines[0];
    ASSERT_EQ(first.glyphs.size(), 4u);
    const TextLayout::Glyph& nl = first.glyphs[3];
    EXPECT_EQ(nl.quad.left, 24.0f);
    EXPECT_EQ(nl.quad.right, 24.0f);
    EXPECT_EQ(nl.quad.bottom, 12.0f);
    EXPECT_EQ(nl.cell.right, 24.0f);
    EXPECT_EQ(nl.umax, 0.0f);
    EXPECT_EQ(layout.lines[1].firstChar, 4u);
    EXPECT_EQ(layout.lines[1].rect.top, 12.0f);
}

TEST_F(Layout, QuadsAreOnePixelLargerThanTheGlyph) {
    TextLayout layout("ab", Style(100));
    const auto& b = layout.lines[0].glyphs[1];
    EXPECT_EQ(b.quad.left, 8.0f);
    EXPECT_EQ(b.quad.right, 17.0f);
    EXPECT_EQ(b.quad.bottom, 13.0f);
    EXPECT_EQ(b.cell.right, 16.0f);
    EXPECT_EQ(b.cell.bottom, 12.0f);
    EXPECT_EQ(b.umin, font->glyphs['b'].umin);
    EXPECT_EQ(layout.lines[0].rect.right, 16.0f);
    EXPECT_EQ(layout.bounds.left, 0.0f);
    EXPECT_EQ(layout.bounds.right, 16.0f);
}

TEST_F(Layout, AlignmentTable) {
    struct Case {
        const char* text;
        int32_t h;
        float x;
    };
    const Case cases[] = {
        {"ab", -1, 0},
        {"ab", 0, 42},
        {"ab", 1, 84},
        // Centring measures the trailing space, so the letters sit left of centre.
        {"ab ", 0, 40},
        // A character the font lacks takes no room but is measured as 1.0: (100 - 17) / 2 rounded.
        {"azb", 0, 42},
    };
    for (const Case& c : cases) {
        TextLayout layout(c.text, Style(100, c.h));
        EXPECT_EQ(layout.lines[0].rect.left, c.x) << c.text << ' ' << c.h;
    }
    TextLayout missing("azb", Style(100));
    ASSERT_EQ(missing.lines[0].glyphs.size(), 2u);
    EXPECT_EQ(missing.lines[0].glyphs[1].quad.left, 8.0f);
}

TEST_F(Layout, FindLineOfCharAndBack) {
    TextLayout layout("abc\nab", Style(100));
    uint32_t line = 9, column = 9;
    ASSERT_TRUE(layout.FindLineOfChar(5, line, column));
    EXPECT_EQ(line, 1u);
    EXPECT_EQ(column, 1u);
    ASSERT_TRUE(layout.FindLineOfChar(100, line, column)); // past the end: the last line
    EXPECT_EQ(line, 1u);
    EXPECT_EQ(column, 96u);
    ASSERT_TRUE(layout.FindLineOfChar(3, line, column));
    EXPECT_EQ(line, 0u);
    EXPECT_EQ(column, 3u);
    uint32_t index = 0;
    EXPECT_TRUE(layout.CharOfLineColumn(1, 1, index));
    EXPECT_EQ(index, 5u);
    EXPECT_FALSE(layout.CharOfLineColumn(1, 2, index));
    EXPECT_FALSE(layout.CharOfLineColumn(2, 0, index));
    EXPECT_FALSE(layout.CharOfLineColumn(-1, 0, index));
    EXPECT_FALSE(layout.CharOfLineColumn(0, -1, index));
}

TEST_F(Layout, NullFontLaysOutNothing) {
    TextStyle style = Style(100);
    style.font = nullptr;
    TextLayout layout("abc", style);
    EXPECT_TRUE(layout.lines.empty());
    uint32_t line, column;
    EXPECT_FALSE(layout.FindLineOfChar(0, line, column));
}

} // namespace
