#include "base/Parse.h"

#include <gtest/gtest.h>

TEST(Parse, NumbersIgnoreTrailingTextAndFailOnLetters) {
    int32_t i = 99;
    EXPECT_TRUE(Base::ParseInt("  42abc", i));
    EXPECT_EQ(i, 42);
    EXPECT_FALSE(Base::ParseInt("abc", i));
    EXPECT_EQ(i, 42);
    uint32_t u = 5;
    EXPECT_TRUE(Base::ParseUInt("7x", u));
    EXPECT_EQ(u, 7u);
    EXPECT_FALSE(Base::ParseUInt("x7", u));
    EXPECT_EQ(u, 7u);
    float f = 0;
    EXPECT_TRUE(Base::ParseFloat("2.5 m", f));
    EXPECT_EQ(f, 2.5f);
}

TEST(Parse, UnsignedRejectsASign) {
    uint32_t u = 5;
    EXPECT_FALSE(Base::ParseUInt("-1", u));
    EXPECT_FALSE(Base::ParseUInt("  -0", u));
    EXPECT_EQ(u, 5u);
    EXPECT_TRUE(Base::ParseUInt(" +3", u));
    EXPECT_EQ(u, 3u);
}

TEST(Parse, IntegersWrittenAsRealsReadOnlyWhenWholeAndInRange) {
    struct Case {
        const char* text;
        bool ok;
        int64_t value;
    };
    const Case cases[] = {{"1e38", false, 0},       {"2.5", false, 0},           {"4294967296", false, 0},
                          {"1e3", true, 1000},      {" 2.0 m", true, 2},         {"-3e0", true, -3},
                          {"2147483648", false, 0}, {"2.147483648e9", false, 0}, {"nan", false, 0},
                          {"12abc", true, 12}};
    for (const Case& c : cases) {
        int32_t i = 77;
        EXPECT_EQ(Base::ParseInt(c.text, i), c.ok) << c.text;
        EXPECT_EQ(i, c.ok ? c.value : 77) << c.text;
    }
    uint32_t u = 5;
    EXPECT_FALSE(Base::ParseUInt("1e38", u));
    EXPECT_FALSE(Base::ParseUInt("4.3e9", u));
    EXPECT_EQ(u, 5u);
    EXPECT_TRUE(Base::ParseUInt("4.294967295e9", u));
    EXPECT_EQ(u, 4294967295u);
    int32_t x = 1, y = 1;
    EXPECT_FALSE(Base::ParseIntPair("3 1e38", x, y));
    EXPECT_EQ(x, 1);
    EXPECT_TRUE(Base::ParseIntPair("3e1 -4", x, y));
    EXPECT_EQ(x, 30);
    EXPECT_EQ(y, -4);
}

TEST(Parse, BoolIsNumeric) {
    bool b = false;
    EXPECT_TRUE(Base::ParseBool("1", b));
    EXPECT_TRUE(b);
    EXPECT_TRUE(Base::ParseBool("0", b));
    EXPECT_FALSE(b);
    b = true;
    EXPECT_FALSE(Base::ParseBool("true", b));
    EXPECT_FALSE(Base::ParseBool("2", b));
    EXPECT_TRUE(b);
}

TEST(Parse, ColourAlphaDefaultsToOne) {
    Base::Color c;
    EXPECT_TRUE(Base::ParseColor("1 0.5 0", c));
    EXPECT_EQ(c, (Base::Color{1, 0.5f, 0, 1}));
    EXPECT_TRUE(Base::ParseColor("1 0.5 0 0.25", c));
    EXPECT_EQ(c, (Base::Color{1, 0.5f, 0, 0.25f}));
    EXPECT_FALSE(Base::ParseColor("1 0.5", c));
}

TEST(Parse, RectanglesTakeAbsoluteOrRelativeEdges) {
    struct Case {
        const char* text;
        Base::Rect rect;
    } cases[] = {
        {"10 20 30 40", {10, 20, 30, 40}},
        {"10 20 r30 r40", {10, 20, 40, 60}},
        {"10 20 r 30 40", {10, 20, 40, 40}},
        {"10 20 30 r  40", {10, 20, 30, 60}},
    };
    for (const auto& c : cases) {
        Base::Rect r;
        EXPECT_TRUE(Base::ParseRect(c.text, r)) << c.text;
        EXPECT_EQ(r, c.rect) << c.text;
    }
    Base::Rect r{1, 2, 3, 4};
    EXPECT_FALSE(Base::ParseRect("10 20 30", r));
    EXPECT_FALSE(Base::ParseRect("10 20 x30 40", r));
    EXPECT_EQ(r, (Base::Rect{1, 2, 3, 4}));
}

TEST(Parse, PairsAndVectors) {
    int32_t x = 0, y = 0;
    EXPECT_TRUE(Base::ParseIntPair("3 -4", x, y));
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, -4);
    Base::Vector3 v;
    EXPECT_TRUE(Base::ParseVector3("1 2 3", v));
    EXPECT_EQ(v, (Base::Vector3{1, 2, 3}));
    EXPECT_FALSE(Base::ParseVector3("1 2", v));
    Base::Vector2 p;
    EXPECT_TRUE(Base::ParsePoint("0.5 7", p));
    EXPECT_EQ(p, (Base::Vector2{0.5f, 7}));
}
