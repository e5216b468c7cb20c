// Bitmap font descriptions and the three measures.
#include "FontSupport.h"

#include <gtest/gtest.h>

namespace {

using Gui::Font;
using GuiTest::BuildFont;

TEST(Font, LoadTable) {
    auto font = BuildFont("Texture T\nSpacing 1 2\nChars\n{\n"
                          "65 10 20 r8 r12\n" // present
                          "300 0 0 r5 r5\n"   // beyond 255
                          "-1 0 0 r5 r5\n"    // negative
                          "66 1 2 x\n"        // unreadable rectangle
                          "67 0 0 r3 r30\n"   // the tallest glyph
                          "68x 0 0 r2 r2\n"   // text after the digits is ignored
                          "}\n");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->texture, nullptr);
    EXPECT_EQ(font->spacingX, 1.0f);
    EXPECT_EQ(font->spacingY, 2.0f);
    const Font::Glyph& a = font->glyphs['A'];
    EXPECT_EQ(a.present, 1);
    EXPECT_EQ(a.width, 8.0f);
    EXPECT_EQ(a.height, 12.0f);
    // Half a texel beyond the rectangle on every side.
    EXPECT_FLOAT_EQ(a.umin, 9.5f / 128);
    EXPECT_FLOAT_EQ(a.vmin, 19.5f / 64);
    EXPECT_FLOAT_EQ(a.umax, 18.5f / 128);
    EXPECT_FLOAT_EQ(a.vmax, 32.5f / 64);
    EXPECT_EQ(font->glyphs['B'].present, 0);
    EXPECT_EQ(font->glyphs['B'].width, 1.0f);
    EXPECT_EQ(font->glyphs['D'].present, 1);
    EXPECT_EQ(font->glyphs[255].present, 0);
    EXPECT_EQ(font->lineHeight, 30.0f);
    int present = 0;
    for (const Font::Glyph& g : font->glyphs)
        present += g.present;
    EXPECT_EQ(present, 3);
}

TEST(Font, EmptyCharsAndBadSpacing) {
    auto font = BuildFont("Texture T\nSpacing wide\nChars\n{\n}\n");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->lineHeight, 0.0f);
    EXPECT_EQ(font->spacingX, 0.0f);
    // Every character measures (1.0 + spacing x) x scale.
    EXPECT_FLOAT_EQ(Font::GetTextWidth(font.get(), "hello", 0, 5, 2.0f, 0.5f), 5 * 1.5f * 2.0f);
    EXPECT_EQ(Font::GetLineHeight(font.get(), 1.0f, 0.0f), 0.0f);
}

TEST(Font, WithoutTextureThereIsNoFont) {
    Base::Info info;
    ASSERT_EQ(info.LoadText("Spacing 1 1\nChars\n{\n65 0 0 r1 r1\n}\n"), 0);
    EXPECT_EQ(Font::Load(info), nullptr);
}

TEST(Font, Measures) {
    auto font = GuiTest::SimpleFont("1 2");
    const Font* f = font.get();
    // Advances: a 9, space 5, 'z' (absent) 2.
    EXPECT_FLOAT_EQ(Font::GetTextWidth(f, "ab c", 0, 100, 1.0f, 0.0f), 9 + 9 + 5 + 9);
    EXPECT_FLOAT_EQ(Font::GetTextWidth(f, "abz", 1, 2, 2.0f, 1.0f), (10 + 3) * 2.0f);
    EXPECT_EQ(Font::GetTextWidth(f, "abc", 3, 2, 1.0f, 0.0f), 0.0f);
    EXPECT_EQ(Font::GetTextWidth(f, "abc", 7, 2, 1.0f, 0.0f), 0.0f);
    // Each advance is clamped at 0 on its own.
    EXPECT_EQ(Font::GetTextWidth(f, "a a", 0, 3, 1.0f, -6.0f), 3.0f + 0.0f + 3.0f);
    EXPECT_EQ(Font::FindCharAtWidth(f, "abc", 0, 3, 0.0f, 1.0f, 0.0f), 0);
    EXPECT_EQ(Font::FindCharAtWidth(f, "abc", 0, 3, 9.0f, 1.0f, 0.0f), 0);
    EXPECT_EQ(Font::FindCharAtWidth(f, "abc", 0, 3, 9.5f, 1.0f, 0.0f), 1);
    EXPECT_EQ(Font::FindCharAtWidth(f, "abc", 1, 3, 18.0f, 1.0f, 0.0f), 2);
    EXPECT_EQ(Font::FindCharAtWidth(f, "abc", 0, 3, 27.5f, 1.0f, 0.0f), -1);
    EXPECT_EQ(Font::FindCharAtWidth(f, "", 0, 3, 0.0f, 1.0f, 0.0f), -1);
    EXPECT_FLOAT_EQ(Font::GetLineHeight(f, 2.0f, 1.0f), (12 + 2 + 1) * 2.0f);
    EXPECT_EQ(Font::GetLineHeight(f, 1.0f, -20.0f), 0.0f);
}

TEST(Font, NullFontMeasuresNothing) {
    EXPECT_EQ(Font::GetTextWidth(nullptr, "abc", 0, 3, 1.0f, 0.0f), 0.0f);
    EXPECT_EQ(Font::FindCharAtWidth(nullptr, "abc", 0, 3, 0.0f, 1.0f, 0.0f), -1);
    EXPECT_EQ(Font::GetLineHeight(nullptr, 1.0f, 0.0f), 0.0f);
}

} // namespace
