// The record of the pixels an opaque shape paints: triangles sharing an edge leave no gap, outer edges are
// drawn in by the margin, hidden windings and clipped points count for nothing, and boxes are checked by
// their projected outline.
#include "scene/ScreenCover.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using Grp::ScreenCover;
using Cull = ScreenCover::Cull;

// A rectangle of two triangles, clockwise on the screen (y down), over a 64 x 48 viewport.
const std::vector<ScreenCover::Point> Corners = {{10, 10}, {50, 10}, {50, 40}, {10, 40}};
const std::vector<uint16_t> Halves = {0, 1, 2, 0, 2, 3};

ScreenCover Made(const std::vector<ScreenCover::Point>& points, const std::vector<uint16_t>& indices,
                 Cull cull) {
    ScreenCover cover;
    cover.Begin(0, 0, 64, 48);
    cover.AddMesh(points.data(), points.size(), indices.data(), indices.size(), cull);
    cover.End();
    return cover;
}

TEST(ScreenCover, SharedEdgesLeaveNoGapAndOuterEdgesAreDrawnIn) {
    for (const Cull cull : {Cull::None, Cull::CounterClockwise}) {
        const ScreenCover cover = Made(Corners, Halves, cull);
        // Pixel centres on integers: 10.75 to 49.25 across, 10.75 to 39.25 down.
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                EXPECT_EQ(cover.Covered(x, y), x >= 11 && x <= 49 && y >= 11 && y <= 39) << x << " " << y;
        EXPECT_EQ(cover.CoveredPixels(), 39u * 29u);
    }
    // The same halves with points of their own: the diagonal is an outer edge of each, a gap along it.
    const std::vector<ScreenCover::Point> apart = {{10, 10}, {50, 10}, {50, 40},
                                                   {10, 10}, {50, 40}, {10, 40}};
    const ScreenCover split = Made(apart, {0, 1, 2, 3, 4, 5}, Cull::None);
    EXPECT_LT(split.CoveredPixels(), 39u * 29u - 30u);
    EXPECT_FALSE(split.Covers(11, 11, 49, 39));
}

TEST(ScreenCover, HiddenWindingsAndClippedPointsCountForNothing) {
    EXPECT_TRUE(Made(Corners, Halves, Cull::Clockwise).Empty());
    // Reversed, the rectangle turns counter-clockwise.
    EXPECT_TRUE(Made(Corners, {2, 1, 0, 3, 2, 0}, Cull::CounterClockwise).Empty());
    EXPECT_EQ(Made(Corners, {2, 1, 0, 3, 2, 0}, Cull::Clockwise).CoveredPixels(), 39u * 29u);
    // A point the near plane clips takes its triangle out; the other one stays, its diagonal now outer.
    std::vector<ScreenCover::Point> clipped = Corners;
    clipped[1].x = std::numeric_limits<float>::quiet_NaN();
    const ScreenCover one = Made(clipped, Halves, Cull::None);
    EXPECT_TRUE(one.Covered(12, 38));
    EXPECT_FALSE(one.Covered(48, 12));
    // Far past the viewport (where a rasteriser clips) likewise.
    clipped[1] = {1.0e6f, 10};
    EXPECT_FALSE(Made(clipped, Halves, Cull::None).Covered(48, 12));
}

TEST(ScreenCover, RectanglesAndBoxes) {
    const ScreenCover cover = Made(Corners, Halves, Cull::None);
    struct Case {
        float left, top, right, bottom;
        bool covered;
    } const cases[] = {
        {11, 11, 49, 39, true}, // the whole inside
        {20.5f, 20.5f, 30.5f, 30.5f, true},
        {10.5f, 20, 30, 30, true},          // its left edge between pixel centres 10 and 11
        {10, 20, 30, 30, false},            // pixel 10 is in the margin
        {20, 20, 30, 40, false},            // past the bottom
        {60, 20, 70, 30, false},            // partly off the viewport, the part on it not covered
        {70, 20, 80, 30, true},             // wholly off the viewport: nothing of it is drawn
        {30.2f, 30.2f, 30.8f, 30.8f, true}, // no pixel centre inside
        {30, 30, 20, 40, false},            // inverted
    };
    for (const Case& c : cases)
        EXPECT_EQ(cover.Covers(c.left, c.top, c.right, c.bottom), c.covered)
            << c.left << " " << c.top << " " << c.right << " " << c.bottom;
    EXPECT_FALSE(cover.Covers(std::nanf(""), 20, 30, 30));

    // Clip x = x, y = y, w = z: a box at depth 2 spans half its size on the viewport's scale.
    const float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 0, 1}, {0, 0, 0, 0}};
    ScreenCover full;
    full.Begin(0, 0, 64, 48);
    const std::vector<ScreenCover::Point> screen = {{-1, -1}, {65, -1}, {65, 49}, {-1, 49}};
    full.AddMesh(screen.data(), screen.size(), Halves.data(), Halves.size(), Cull::None);
    full.End();
    EXPECT_TRUE(full.CoversBox(m, {-0.5f, -0.5f, 2}, {0.5f, 0.5f, 3}));
    // A corner at or behind the eye: its outline bounds nothing.
    EXPECT_FALSE(full.CoversBox(m, {-0.5f, -0.5f, 0}, {0.5f, 0.5f, 3}));
    // Within the rectangle (x 10 to 50 of 64 is -0.69 to 0.56 in clip space at w 1), and past it.
    EXPECT_TRUE(cover.CoversBox(m, {-0.3f, -0.3f, 1}, {0.3f, 0.3f, 1}));
    EXPECT_FALSE(cover.CoversBox(m, {-0.3f, -0.3f, 1}, {0.7f, 0.3f, 1}));
}

} // namespace
