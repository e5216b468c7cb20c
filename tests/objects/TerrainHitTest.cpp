// Segment and sphere queries against brute force over every triangle of the grid.
#include "TerrainFixture.h"

#include <glm/glm.hpp>
#include <glm/gtx/intersect.hpp>

#include <algorithm>
#include <cmath>

using namespace TerrainFixture;

namespace {

glm::dvec3 G(const Base::Vector3& v) {
    return {v.x, v.y, v.z};
}

struct Reference {
    bool hit = false;
    double t = 2;
    glm::dvec3 normal{0};
};

// Every cell triangle (unshifted), crossed from its upper side, by GLM's ray-triangle test; the smallest t.
Reference BruteForceSegment(const Obj::Terrain& terrain, const Obj::Terrain::Segment& s) {
    Reference best;
    const glm::dvec3 a = G(s.start), d = G(s.end) - G(s.start);
    for (int32_t z = 0; z < terrain.GridDepth() - 1; ++z)
        for (int32_t x = 0; x < terrain.GridWidth() - 1; ++x) {
            Obj::Terrain::Triangle tris[2];
            terrain.CellTriangles(x, z, tris[0], tris[1]);
            for (const auto& tri : tris) {
                const glm::dvec3 v0 = G(tri.v[0]), v1 = G(tri.v[1]), v2 = G(tri.v[2]);
                const glm::dvec3 n = glm::normalize(glm::cross(v1 - v0, v2 - v0));
                if (glm::dot(n, d) >= 0)
                    continue; // from below or along: one-sided
                glm::dvec2 bary;
                double t;
                if (!glm::intersectRayTriangle(a, d, v0, v1, v2, bary, t) || t < 0 || t > 1)
                    continue;
                if (t < best.t) {
                    best = {true, t, n};
                }
            }
        }
    return best;
}

class TerrainHit : public ::testing::Test {
protected:
    void SetUp() override {
        Keys keys;
        keys.offset = "3 2";
        keys.size = "60 62";
        Image map = RandomImage(64, 64, 31);
        // Some flat sea at 0 and a flat plateau, where ties between triangles are common.
        for (int32_t r = 40; r < 50; ++r)
            for (int32_t c = 10; c < 30; ++c)
                map.At(c, r) = 100;
        ASSERT_TRUE(Build(terrain, keys, map, Mask(4, 4, 255), Mask(4, 4, 0))) << terrain.Error();
    }
    // Compares the walk with brute force: the same answer, and the same point where both hit (the walk's
    // triangles are widened by hundredths of a unit).
    void Check(const Obj::Terrain::Segment& s, const char* what, int k) {
        Base::Vector3 point, normal;
        const bool hit = terrain.IntersectSegment(s, &point, &normal);
        const Reference ref = BruteForceSegment(terrain, s);
        ASSERT_EQ(hit, ref.hit) << what << " " << k;
        if (!hit)
            return;
        const glm::dvec3 expected = G(s.start) + (G(s.end) - G(s.start)) * ref.t;
        // The widening moves a hit by up to 0.05 units sideways on the slope, more along a grazing segment.
        const glm::dvec3 direction = glm::normalize(G(s.end) - G(s.start));
        const double slope = std::sqrt(1 - ref.normal.y * ref.normal.y) / ref.normal.y;
        const double tolerance = 0.06 * (1 + slope) / std::max(0.02, -glm::dot(direction, ref.normal)) + 0.01;
        ASSERT_LT(glm::length(G(point) - expected), tolerance) << what << " " << k;
        EXPECT_NEAR(glm::length(G(normal)), 1, 1e-5);
        hits++;
    }
    Obj::Terrain terrain;
    int hits = 0;
};

TEST_F(TerrainHit, RandomSegmentsAgreeWithBruteForce) {
    std::mt19937 random(5);
    std::uniform_real_distribution<float> xz(-2300, 2300), y(-50, 1800), len(1, 3000), dir(-1, 1);
    for (int k = 0; k < 400; ++k) {
        Base::Vector3 a{xz(random), y(random), xz(random) + 1024};
        Base::Vector3 d{dir(random), dir(random) - 0.3f, dir(random)};
        float l = len(random) / float(Base::VectorLength(d));
        Check({a, {a.x + d.x * l, a.y + d.y * l, a.z + d.z * l}}, "random", k);
    }
    EXPECT_GT(hits, 60);
}

TEST_F(TerrainHit, VerticalSegmentsHitTheCellBelow) {
    std::mt19937 random(6);
    std::uniform_real_distribution<float> x(-2048, 2048), z(-1024, 3072);
    for (int k = 0; k < 300; ++k) {
        float px = x(random), pz = z(random);
        Check({{px, 2000, pz}, {px, -10, pz}}, "vertical", k);
    }
    EXPECT_EQ(hits, 300);
    // Vertical probes exactly through vertices and along cell edges: no gap between triangles. (A probe
    // on the grid's lowest x or z line walks the cell outside, below that line, and misses.)
    hits = 0;
    for (int32_t gz = 1; gz < 64; gz += 7)
        for (int32_t gx = 1; gx < 64; gx += 5) {
            Base::Vector2 p = terrain.GridToWorld(gx, gz);
            Base::Vector3 point;
            ASSERT_TRUE(terrain.IntersectSegment({{p.x, 2000, p.y}, {p.x, -10, p.y}}, &point, nullptr))
                << gx << " " << gz;
            // Within the widening (hundredths of a unit) times this rough grid's slopes (up to 24).
            EXPECT_NEAR(point.y, terrain.GetHeight(gx, gz), 1.0);
            ASSERT_TRUE(
                terrain.IntersectSegment({{p.x + 32, 2000, p.y}, {p.x + 32, -10, p.y}}, &point, nullptr));
            EXPECT_NEAR(point.y, (terrain.GetHeight(gx, gz) + terrain.GetHeight(gx + 1, gz)) / 2, 1.0);
        }
}

TEST_F(TerrainHit, SegmentsAlongEdgesAndThroughCornersStillHit) {
    // Oblique segments in the planes of grid lines and along cell diagonals, from high above to below sea.
    for (int32_t k = 1; k < 63; k += 3) {
        Base::Vector2 a = terrain.GridToWorld(k, 0), b = terrain.GridToWorld(k, 64);
        Check({{a.x, 1600, a.y}, {b.x, -20, b.y}}, "along z line", k);
        a = terrain.GridToWorld(0, k);
        b = terrain.GridToWorld(64, k);
        Check({{b.x, 1600, b.y}, {a.x, -20, a.y}}, "along x line", k);
        a = terrain.GridToWorld(k, 0);
        b = terrain.GridToWorld(k + 60, 60);
        Check({{a.x, 1600, a.y}, {b.x, -20, b.y}}, "diagonal", k);
        Check({{b.x, 1600, b.y}, {a.x, -20, a.y}}, "diagonal back", k);
    }
    EXPECT_GT(hits, 40);
}

TEST_F(TerrainHit, SegmentsStartingBelowGroundDoNotHitOnTheWayOut) {
    std::mt19937 random(8);
    std::uniform_real_distribution<float> x(-2000, 2000), z(-1000, 3000);
    int checked = 0;
    for (int k = 0; k < 200; ++k) {
        float px = x(random), pz = z(random);
        // From 1 unit under the ground straight up.
        Base::Vector3 below;
        ASSERT_TRUE(terrain.IntersectSegment({{px, 2000, pz}, {px, -10, pz}}, &below, nullptr));
        Base::Vector3 point;
        EXPECT_FALSE(terrain.IntersectSegment({{px, below.y - 1, pz}, {px, 3000, pz}}, &point, nullptr));
        // And obliquely: brute force decides (it may come down again into a hill).
        Check({{px, below.y - 1, pz}, {px + 900, below.y + 40, pz + 300}}, "below", k);
        ++checked;
    }
    EXPECT_EQ(checked, 200);
}

TEST_F(TerrainHit, SegmentsOutsideTheGridOrAboveItMiss) {
    Base::Vector3 point;
    EXPECT_FALSE(terrain.IntersectSegment({{-5000, 10, 0}, {-3000, -10, 0}}, &point, nullptr));
    EXPECT_FALSE(terrain.IntersectSegment({{0, 1600, 0}, {1000, 1540, 1000}}, &point, nullptr));
    // Far outside and long: only the part over the grid counts.
    Check({{-1e6f, 2000, 1024}, {1e6f, -2000, 1024}}, "long", 0);
    EXPECT_FALSE(terrain.IntersectSegment({{NAN, 0, 0}, {0, -10, 0}}, &point, nullptr));
    // A start over the grid's far side, going away: nothing.
    EXPECT_FALSE(terrain.IntersectSegment({{2047, 5000, 3071}, {9000, -100, 9000}}, &point, nullptr) &&
                 point.x > 2048);
}

// Past the grid's edge the open sea is hit at sea level, from above only; the ground before it along the
// segment wins. Reference: brute force over the grid's triangles, and the plane y = 0 where it is crossed
// outside the grid (or on its border).
TEST_F(TerrainHit, TheOpenSeaPastTheEdgeIsHitAtSeaLevel) {
    const auto reference = [&](const Obj::Terrain::Segment& s, glm::dvec3& point) {
        const Reference ground = BruteForceSegment(terrain, s);
        double t = ground.hit ? ground.t : 2;
        const double y0 = s.start.y, y1 = s.end.y;
        if (y1 < y0 && y0 >= 0 && y1 <= 0) {
            const double u = y0 / (y0 - y1);
            const glm::dvec3 sea = G(s.start) + (G(s.end) - G(s.start)) * u;
            const bool outside = !(sea.x > -2048 && sea.x < 2048 && sea.z > -1024 && sea.z < 3072);
            if (outside && u < t)
                t = u;
        }
        point = G(s.start) + (G(s.end) - G(s.start)) * t;
        return t <= 1;
    };
    // Cases that matter, then random segments that reach outside.
    const struct {
        const char* what;
        Obj::Terrain::Segment segment;
        bool sea; // the hit is the open sea's
    } cases[] = {
        {"vertical, outside", {{-9000, 3000, 500}, {-9000, -3000, 500}}, true},
        {"vertical, far outside", {{1e6f, 10000, -1e6f}, {1e6f, -10000, -1e6f}}, true},
        {"oblique, outside", {{5000, 10, 0}, {3000, -10, 0}}, true},
        {"ending on the water", {{0, 100, -5000}, {0, 0, -5000}}, true},
        {"from below the water, upwards", {{-9000, -100, 500}, {-9000, 3000, 500}}, false},
        {"above the water, outside", {{-9000, 10, 500}, {-5000, 1, 500}}, false},
        {"from the grid out to the water", {{2040, 2, 0}, {2200, -2, 0}}, true},
        {"from outside into a hill", {{-3000, 1500, 1000}, {0, -1500, 1000}}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Base::Vector3 point, normal;
        glm::dvec3 expected;
        const bool hit = terrain.IntersectGroundOrSea(c.segment, &point, &normal);
        ASSERT_EQ(hit, reference(c.segment, expected));
        if (!hit)
            continue;
        EXPECT_LT(glm::length(G(point) - expected), 0.5);
        if (c.sea) {
            EXPECT_EQ(point.y, 0);
            EXPECT_EQ(normal, (Base::Vector3{0, 1, 0}));
        } else {
            EXPECT_GT(point.y, 0);
        }
    }
    std::mt19937 random(12);
    std::uniform_real_distribution<float> xz(-6000, 6000), y(-200, 2000), dir(-1, 1), len(100, 8000);
    int sea = 0, ground = 0;
    for (int k = 0; k < 400; ++k) {
        const Base::Vector3 a{xz(random), y(random), xz(random) + 1024};
        const Base::Vector3 d{dir(random), dir(random) - 0.5f, dir(random)};
        const float l = len(random) / float(Base::VectorLength(d));
        const Obj::Terrain::Segment s{a, {a.x + d.x * l, a.y + d.y * l, a.z + d.z * l}};
        Base::Vector3 point, normal;
        glm::dvec3 expected;
        const bool hit = terrain.IntersectGroundOrSea(s, &point, &normal);
        ASSERT_EQ(hit, reference(s, expected)) << k;
        if (!hit)
            continue;
        // The ground's hits move by the widening on steep slopes (see Check).
        ASSERT_LT(glm::length(G(point) - expected), 2.0) << k;
        (point.y == 0 && normal == Base::Vector3{0, 1, 0} ? sea : ground)++;
    }
    EXPECT_GT(sea, 40);
    EXPECT_GT(ground, 20);
    // Nothing on an unloaded terrain or for a segment that is not finite.
    Base::Vector3 point;
    EXPECT_FALSE(Obj::Terrain().IntersectGroundOrSea({{-9000, 100, 0}, {-9000, -100, 0}}, &point, nullptr));
    EXPECT_FALSE(terrain.IntersectGroundOrSea({{NAN, 100, 0}, {-9000, -100, 0}}, &point, nullptr));
    // The grid's own query still ends at its edge.
    EXPECT_FALSE(terrain.IntersectSegment({{-9000, 100, 0}, {-9000, -100, 0}}, &point, nullptr));
}

// Brute-force distance from a point to a triangle in double precision (closest point by regions).
double Distance(const glm::dvec3& p, const Obj::Terrain::Triangle& tri) {
    const glm::dvec3 a = G(tri.v[0]), b = G(tri.v[1]), c = G(tri.v[2]);
    const glm::dvec3 n = glm::cross(b - a, c - a);
    const glm::dvec3 q = p - n * (glm::dot(p - a, n) / glm::dot(n, n));
    const auto inside = [&](glm::dvec3 u, glm::dvec3 v) {
        return glm::dot(glm::cross(v - u, q - u), n) >= 0;
    };
    if (inside(a, b) && inside(b, c) && inside(c, a))
        return glm::length(p - q);
    const auto segment = [&](glm::dvec3 u, glm::dvec3 v) {
        double t = std::clamp(glm::dot(p - u, v - u) / glm::dot(v - u, v - u), 0.0, 1.0);
        return glm::length(p - (u + (v - u) * t));
    };
    return std::min({segment(a, b), segment(b, c), segment(c, a)});
}

TEST_F(TerrainHit, CollectTrianglesAgreesWithBruteForce) {
    std::mt19937 random(9);
    std::uniform_real_distribution<float> xz(-2300, 2300), y(-100, 1700), radius(1, 400);
    int touched = 0;
    for (int k = 0; k < 120; ++k) {
        Obj::Terrain::Sphere sphere{{xz(random), y(random), xz(random) + 1024}, radius(random)};
        std::vector<Obj::Terrain::Triangle> got(3); // earlier contents stay and count
        const size_t count = terrain.CollectTriangles(sphere, got);
        const glm::dvec3 c = G(sphere.center);
        size_t expected = 0, uncertain = 0;
        for (int32_t z = 0; z < 64; ++z)
            for (int32_t x = 0; x < 64; ++x) {
                Obj::Terrain::Triangle tris[2];
                terrain.CellTriangles(x, z, tris[0], tris[1]);
                for (const auto& tri : tris) {
                    const double d = Distance(c, tri);
                    if (std::fabs(d - sphere.radius) < 1e-2)
                        ++uncertain;
                    else if (d < sphere.radius)
                        ++expected;
                }
            }
        if (count == 0) {
            EXPECT_EQ(expected, 0u) << k;
            EXPECT_EQ(got.size(), 3u);
            continue;
        }
        ASSERT_EQ(count, got.size());
        ASSERT_GE(count - 3, expected) << k;
        ASSERT_LE(count - 3, expected + uncertain) << k;
        for (size_t i = 3; i < got.size(); ++i)
            ASSERT_LE(Distance(c, got[i]), sphere.radius + 1e-2);
        touched += count > 3;
    }
    EXPECT_GT(touched, 20);
    // Wholly outside: nothing added, 0 returned even with triangles already held.
    std::vector<Obj::Terrain::Triangle> held(5);
    EXPECT_EQ(terrain.CollectTriangles({{-9000, 0, 0}, 100}, held), 0u);
    EXPECT_EQ(held.size(), 5u);
}

TEST_F(TerrainHit, TriangleSplitFollowsTheRowParity) {
    Obj::Terrain::Triangle first, second;
    terrain.CellTriangles(4, 1, first, second); // odd row: diagonal (x, z)-(x + 1, z + 1)
    EXPECT_EQ(first.v[0], (Base::Vector3{-2048 + 4 * 64, terrain.GetHeight(4, 1), -1024 + 64}));
    EXPECT_EQ(first.v[1].x, -2048 + 5 * 64);
    EXPECT_EQ(first.v[1].z, -1024 + 2 * 64);
    terrain.CellTriangles(4, 2, first, second); // even row: diagonal (x, z + 1)-(x + 1, z)
    EXPECT_EQ(second.v[0].x, -2048 + 5 * 64);
    EXPECT_EQ(second.v[1].z, -1024 + 3 * 64);
    // Every triangle faces up.
    for (int32_t z = 0; z < 4; ++z) {
        terrain.CellTriangles(7, z, first, second);
        for (const auto* t : {&first, &second}) {
            glm::dvec3 n = glm::cross(G(t->v[1]) - G(t->v[0]), G(t->v[2]) - G(t->v[0]));
            EXPECT_GT(n.y, 0);
        }
    }
}

} // namespace
