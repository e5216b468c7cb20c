// Where a streamed DXT1 chain lets what is under it show: checked against libsquish's decode of every
// level, texel by texel.
#include "base/StreamedTextureCache.h"

#include <gtest/gtest.h>
#include <squish.h>

#include <random>
#include <vector>

namespace {

using Cache = Base::StreamedTextureCache;
using Map = Cache::SeeThroughMap;
constexpr uint32_t G = Map::Grid;

uint32_t ChainBytes(uint32_t side) {
    uint32_t bytes = 0;
    for (uint32_t level = 0; level < Cache::LevelCount(side); ++level)
        bytes += Cache::LevelBytes(side, level);
    return bytes;
}

// Blocks in four-colour mode (c0 > c1: no transparent index) of a grey of the given shade.
void PutOpaque(uint8_t* block, uint8_t shade) {
    block[0] = 0xFF, block[1] = 0xFF, block[2] = shade, block[3] = 0;
    block[4] = block[5] = block[6] = block[7] = uint8_t(shade * 37);
}

std::vector<uint8_t> OpaqueChain(uint32_t side) {
    std::vector<uint8_t> data(ChainBytes(side));
    for (size_t k = 0; k + 8 <= data.size(); k += 8)
        PutOpaque(&data[k], uint8_t(k / 8));
    return data;
}

TEST(SeeThroughMap, OpaqueChainsShowNothing) {
    for (uint32_t side : {512u, 64u, 16u}) {
        std::vector<uint8_t> data = OpaqueChain(side);
        // Three-colour blocks that use no transparent index are opaque too.
        for (size_t k = 0; k + 8 <= data.size(); k += 16)
            data[k] = 0, data[k + 1] = 0, data[k + 2] = 0xFF, data[k + 3] = 0xFF;
        for (size_t k = 0; k + 8 <= data.size(); k += 16)
            data[k + 4] = 0x92, data[k + 5] = data[k + 6] = data[k + 7] = 0;
        Map map;
        map.level.fill(0);
        ASSERT_TRUE(Cache::MapSeeThrough(side, data.data(), uint32_t(data.size()), map)) << side;
        EXPECT_EQ(map.level, Map{}.level) << side;
        // And they cover every area from their largest level on.
        for (uint8_t level : map.cover)
            ASSERT_EQ(level, map.largest) << side;
    }
}

// A chain all in three-colour blocks of the transparent index covers nothing; one opaque texel covers the
// areas that its filtering reaches, from its level on.
TEST(SeeThroughMap, TransparentChainsCoverNothing) {
    for (uint32_t side : {512u, 64u}) {
        std::vector<uint8_t> data(ChainBytes(side));
        for (size_t k = 0; k + 8 <= data.size(); k += 8)
            data[k + 2] = data[k + 3] = 0xFF, data[k + 4] = data[k + 5] = data[k + 6] = data[k + 7] = 0xFF;
        Map map;
        ASSERT_TRUE(Cache::MapSeeThrough(side, data.data(), uint32_t(data.size()), map)) << side;
        Map expected;
        expected.largest = map.largest;
        expected.level.fill(map.largest);
        expected.cover.fill(Map::Never);
        EXPECT_EQ(map, expected) << side;
        // Texel (t, t) of the level of side s = side / 4, opaque: it reaches texels t - 0.5 to t + 1.5.
        const uint32_t s = side / 4, t = s / 2, blocks = s / 4;
        const size_t offset =
            Cache::LevelBytes(side, 0) + Cache::LevelBytes(side, 1) + (size_t(t / 4) * blocks + t / 4) * 8;
        data[offset + 4] = 0xFC; // index 0 for texel (0, 0) of its block
        ASSERT_TRUE(Cache::MapSeeThrough(side, data.data(), uint32_t(data.size()), map)) << side;
        const auto reached = [s, t](uint32_t a) {
            return 2 * a * s < (2 * t + 3) * G && 2 * (a + 1) * s > (2 * t - 1) * G;
        };
        for (uint32_t y = 0; y < G; ++y)
            for (uint32_t x = 0; x < G; ++x) {
                EXPECT_EQ(map.Covers(x, y, Map::Never - 1), reached(x) && reached(y))
                    << side << " " << x << "," << y;
                EXPECT_EQ(map.Covers(x, y, map.largest + 1u), false);
            }
    }
}

TEST(SeeThroughMap, ShortChainLeavesTheMap) {
    std::vector<uint8_t> data = OpaqueChain(512);
    Map map;
    map.level[3] = 5;
    EXPECT_FALSE(Cache::MapSeeThrough(512, data.data(), uint32_t(data.size() - 1), map));
    EXPECT_EQ(map.level[3], 5u);
    EXPECT_FALSE(Cache::MapSeeThrough(0, data.data(), uint32_t(data.size()), map));
    // Not a level of the cache's chains.
    EXPECT_FALSE(Cache::MapSeeThrough(384, data.data(), uint32_t(data.size()), map));
}

// One transparent texel in the corner of the largest level: the filtering reaches across the edge, which
// wraps, so the four corner areas show from that level on, and nothing else. A chain of a smaller side
// numbers its levels from the cache's largest.
TEST(SeeThroughMap, CornerTexelWrapsRound) {
    for (uint32_t side : {512u, 128u}) {
        std::vector<uint8_t> data = OpaqueChain(side);
        data[0] = 0, data[1] = 0, data[2] = 0xFF, data[3] = 0xFF; // three-colour mode
        data[4] = 0x03, data[5] = data[6] = data[7] = 0;          // texel (0, 0) takes index 3
        Map map;
        ASSERT_TRUE(Cache::MapSeeThrough(side, data.data(), uint32_t(data.size()), map));
        const uint8_t first = side == 512 ? 0 : 2;
        EXPECT_EQ(map.largest, first);
        Map expected;
        expected.largest = first;
        expected.cover.fill(first);
        // Texels -0.5 to 1.5 of the level: areas 31 and 0.
        for (uint32_t y : {G - 1, 0u})
            for (uint32_t x : {G - 1, 0u})
                expected.level[y * G + x] = first;
        EXPECT_EQ(map, expected) << side;
    }
}

// Random chains: every texel that libsquish decodes as not fully opaque, at every level, marks the areas
// under it and under the half texel around it from its level on, and so does every texel not fully
// transparent in the cover; the largest level leaves most of the map clear.
TEST(SeeThroughMap, CoversEveryTexelLibsquishSeesThrough) {
    std::mt19937 random(53);
    for (uint32_t side : {512u, 256u, 64u}) {
        std::vector<uint8_t> data(ChainBytes(side));
        std::uniform_int_distribution<int> byte(0, 255);
        for (size_t k = 0; k + 8 <= data.size(); k += 8) {
            for (size_t b = 0; b < 8; ++b)
                data[k + b] = uint8_t(byte(random));
            // Most blocks opaque, as on land; the rest in either mode with random indices.
            if (random() % 64 != 0)
                PutOpaque(&data[k], uint8_t(byte(random)));
        }
        Map map;
        ASSERT_TRUE(Cache::MapSeeThrough(side, data.data(), uint32_t(data.size()), map));
        const uint8_t* level = data.data();
        uint32_t number = map.largest;
        int seen = 0;
        for (uint32_t s = side; s > 0; s >>= 1) {
            const uint32_t blocks = std::max(1u, s / 4), padded = blocks * 4;
            std::vector<uint8_t> rgba(size_t(padded) * padded * 4);
            squish::DecompressImage(rgba.data(), int(padded), int(padded), level, squish::kDxt1);
            for (uint32_t y = 0; y < s; ++y)
                for (uint32_t x = 0; x < s; ++x) {
                    const uint8_t alpha = rgba[(size_t(y) * padded + x) * 4 + 3];
                    // The texel and the half texel around it.
                    const auto areas = [s](uint32_t t, uint32_t& first, uint32_t& count) {
                        const int64_t lo = (int64_t(2 * t) - 1) * G, hi = (int64_t(2 * t) + 3) * G;
                        const int64_t a = lo >= 0 ? lo / (2 * s) : -1;
                        first = uint32_t((a + G) % G);
                        count = uint32_t((hi + 2 * s - 1) / (2 * s) - a);
                    };
                    uint32_t fx, cx, fy, cy;
                    areas(x, fx, cx);
                    areas(y, fy, cy);
                    seen += alpha != 255;
                    for (uint32_t j = 0; j < cy; ++j)
                        for (uint32_t i = 0; i < cx; ++i) {
                            if (alpha != 255) {
                                ASSERT_TRUE(map.Shows((fx + i) % G, (fy + j) % G, number))
                                    << side << " level side " << s << " texel " << x << "," << y;
                            }
                            if (alpha != 0) {
                                ASSERT_TRUE(map.Covers((fx + i) % G, (fy + j) % G, number))
                                    << side << " level side " << s << " texel " << x << "," << y;
                            }
                        }
                }
            level += Cache::LevelBytes(side, Cache::LevelCount(side) - Cache::LevelCount(s));
            ++number;
        }
        EXPECT_GT(seen, 0) << side;
        // The largest level leaves most areas clear.
        int marked = 0;
        for (uint32_t y = 0; y < G; ++y)
            for (uint32_t x = 0; x < G; ++x)
                marked += map.Shows(x, y, map.largest);
        EXPECT_LT(marked, int(G * G)) << side;
    }
}

} // namespace
