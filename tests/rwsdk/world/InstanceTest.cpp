// Instancing tables: strips to lists.
#include "rwsdk/world/pipe/p2/d3d9/d3d9instance.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Indices = std::vector<RwUInt16>;

TEST(Instance, StripsBecomeListsWithOddTrianglesReversed) {
    struct Case {
        Indices strip;
        RwUInt16 bias;
        Indices list;
    };
    const std::vector<Case> cases = {
        {{}, 0, {}},
        {{4, 5}, 0, {}},
        {{4, 5, 6}, 4, {0, 1, 2}},
        {{10, 11, 12, 13, 14}, 10, {0, 1, 2, 3, 2, 1, 2, 3, 4}},
        // A join: the repeated index makes two degenerate triangles that are left out.
        {{0, 1, 2, 2, 5, 5, 6, 7}, 0, {0, 1, 2, 7, 6, 5}},
        {{3, 3, 3, 4}, 0, {}},
    };
    for (const Case& c : cases) {
        Indices out(c.strip.size() * 3 + 3, 0xFFFF);
        const RwUInt32 n =
            RpD3D9ConvertTriStripToTriList(out.data(), c.strip.data(), RwUInt32(c.strip.size()), c.bias);
        EXPECT_EQ(Indices(out.begin(), out.begin() + n), c.list);
        EXPECT_EQ(n % 3, 0u);
    }
}

} // namespace
