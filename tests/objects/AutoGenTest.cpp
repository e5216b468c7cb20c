// Generated scenery without a device: variants, density maps, placements, the sectors' buffer layout, the
// level of detail, the fade, the sector window and the guards on sizes and missing files.
#include "objects/AutoGen.h"

#include "base/Random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace {

using Obj::AutoGen;

std::unique_ptr<AutoGen::Mesh> Quad(float size) {
    auto mesh = std::make_unique<AutoGen::Mesh>();
    for (auto [x, y] : {std::pair{-1.0f, 0.0f}, {1.0f, 0.0f}, {1.0f, 2.0f}, {-1.0f, 2.0f}})
        mesh->vertices.push_back({x * size, y * size, 0, 0, 0, 1, (x + 1) / 2, y / 2});
    mesh->indices = {0, 1, 2, 0, 2, 3};
    return mesh;
}

std::unique_ptr<AutoGen::Mesh> Triangle() {
    auto mesh = std::make_unique<AutoGen::Mesh>();
    mesh->vertices = {{-1, 0, -1, 0, 1, 0, 0, 0}, {1, 0, -1, 0, 1, 0, 1, 0}, {0, 0, 1, 0, 1, 0, 0.5f, 1}};
    mesh->indices = {0, 1, 2};
    return mesh;
}

// A 10 x 10 grid of 100-unit sectors from the origin, 4 x 4 candidates each, on a sloping plane.
class Sectors : public ::testing::Test {
protected:
    void SetUp() override {
        autogen.sectorsX = autogen.sectorsZ = 10;
        autogen.sectorSize = 100;
        autogen.objectsSpan = 4;
        autogen.visibilityRange = 250;
        autogen.globalDensity = 1;
        autogen.windowSize = int32_t(std::ceil(2 * 250 / 100.0f)) + 1;
        autogen.windowFlags.assign(size_t(autogen.windowSize * autogen.windowSize), 0);
        autogen.SetGroundProbe([](float x, float z) {
            return std::optional<AutoGen::Ground>(AutoGen::Ground{0.1f * x + 0.05f * z, {0, 1, 0}});
        });
    }
    // A set over the whole grid with a map of one value everywhere.
    AutoGen::ObjectSet& AddSet(uint8_t value, float density, bool lodForShadow, int variants = 2) {
        AutoGen::ObjectSet set;
        set.mapIndex = autogen.AddDensityMap(
            std::make_unique<AutoGen::DensityMap>(2, 2, std::vector<uint8_t>(4, value)));
        set.right = set.bottom = 1000;
        set.density = density;
        set.displacement = 0.5f;
        set.lodForShadow = lodForShadow;
        for (int k = 0; k < variants; ++k)
            set.variants.emplace_back(Quad(1.0f + float(k)), Triangle());
        EXPECT_TRUE(autogen.AddObjectSet(std::move(set)));
        return autogen.objectSets.back();
    }
    AutoGen autogen;
};

TEST(AutoGen, DrawnInItsOwnPassWithoutSphere) {
    AutoGen autogen;
    ASSERT_EQ(autogen.renderOrders.size(), 1u);
    EXPECT_EQ(autogen.renderOrders[0], 192);
    EXPECT_EQ(autogen.GetBoundingSphere(), nullptr);
}

TEST(AutoGen, VariantCountByRotateStep) {
    struct Case {
        float degrees;
        size_t count;
        float first; // degrees
    };
    const Case cases[] = {
        {0, 1, 0},                  // one unrotated variant
        {90, 3, 90},                // 90, 180, 270: the first is turned by one step
        {120, 2, 120},              // 120, 240
        {359, 1, 359}, {360, 0, 0}, // none
        {720, 0, 0},   {-1, 1, 0},  // the default: counted as 0, not an endless loop
        {-45, 1, 0},   {0.001f, AutoGen::MaxVariantsPerModel, 0.001f},
    };
    for (const Case& c : cases) {
        const std::vector<float> angles = AutoGen::VariantAngles(c.degrees);
        ASSERT_EQ(angles.size(), c.count) << c.degrees;
        if (!angles.empty()) {
            EXPECT_NEAR(angles[0], c.first * std::numbers::pi_v<float> / 180, 1e-6f) << c.degrees;
        }
    }
}

TEST(AutoGen, DensityMapSampleIsBilinearAndClamped) {
    // P(0,0) = 0, P(1,0) = 3, P(0,1) = 1, P(1,1) = 2, pixel (x, z) at index 2 z + x.
    const AutoGen::DensityMap map(2, 2, {0, 3, 1, 2});
    struct Case {
        float fx, fz, value;
    };
    const Case cases[] = {
        {0, 0, 0},          {1, 0, 3},
        {0, 1, 1},          {1, 1, 2},
        {0.5f, 0, 1.5f},    {0, 0.5f, 0.5f},
        {0.5f, 0.5f, 1.5f}, {0.25f, 0.75f, 0.25f * 0.75f * 2 + 0.75f * 0.75f * 1 + 0.25f * 0.25f * 3},
        {5, 5, 2},          {-3, -3, 0},
        {1, -2, 3}, // clamped to the map
        {7, 0, 3},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(map.Sample(c.fx, c.fz), c.value, 1e-5f) << c.fx << ", " << c.fz;
    // The values live in two bits a pixel, four to a byte.
    EXPECT_EQ(map.pixels.size(), 1u);
    EXPECT_EQ(map.pixels[0], 0 | 3 << 2 | 1 << 4 | 2 << 6);
}

TEST(AutoGen, RectEdgesAreInside) {
    AutoGen autogen;
    AutoGen::ObjectSet set;
    set.mapIndex =
        autogen.AddDensityMap(std::make_unique<AutoGen::DensityMap>(4, 4, std::vector<uint8_t>(16, 3)));
    set.left = 100;
    set.top = 200;
    set.right = 500;
    set.bottom = 600;
    for (auto [x, z] :
         {std::pair{100.0f, 200.0f}, {500.0f, 600.0f}, {500.0f, 200.0f}, {100.0f, 600.0f}, {300.0f, 400.0f}})
        EXPECT_FLOAT_EQ(set.DensityAt(autogen, x, z), 1.0f) << x << ", " << z;
    for (auto [x, z] : {std::pair{99.9f, 300.0f}, {500.1f, 300.0f}, {300.0f, 199.9f}, {300.0f, 600.1f}})
        EXPECT_EQ(set.DensityAt(autogen, x, z), 0.0f) << x << ", " << z;
}

TEST(AutoGen, CellOfFloorsFromTheCorner) {
    AutoGen autogen;
    autogen.sectorSize = 1000;
    autogen.cornerX = -5000;
    autogen.cornerZ = 2000;
    EXPECT_EQ(autogen.CellOf(-5000, 2000), std::make_pair(0, 0));
    EXPECT_EQ(autogen.CellOf(-4000.5f, 2999), std::make_pair(0, 0));
    EXPECT_EQ(autogen.CellOf(-4000, 3000), std::make_pair(1, 1));
    EXPECT_EQ(autogen.CellOf(-5001, 1999), std::make_pair(-1, -1));
    const Base::Vector3 centre = autogen.SectorCentre(2, 3);
    EXPECT_FLOAT_EQ(centre.x, -2500);
    EXPECT_FLOAT_EQ(centre.z, 5500);
}

TEST(AutoGen, FadeAndAlphaReference) {
    struct Case {
        float distance;
        uint32_t alpha, reference;
    };
    const float range = 6000;
    const Case cases[] = {
        {6000, 0, 0},    // at the range: gone
        {7000, 0, 0},    // beyond it: clamped
        {5990, 1, 0},    // just inside: (10 / 6000) x 1.2 x 255 = 0.51, rounds to 1
        {5000, 51, 50},  // 1/6 x 1.2 = 0.2
        {3000, 153, 64}, // the reference stops at 64
        {1000, 255, 64}, // at R / 6: opaque
        {0, 255, 64},
    };
    for (const Case& c : cases) {
        const AutoGen::Fade fade = AutoGen::FadeAt(c.distance, range);
        EXPECT_EQ(fade.alpha, c.alpha) << c.distance;
        EXPECT_EQ(fade.alphaReference, c.reference) << c.distance;
        EXPECT_EQ(fade.textureFactor, (c.alpha << 24) | 0xFFFFFFu) << c.distance;
    }
}

TEST(AutoGen, ShadowDepthFactorStaysBelowOneAtAndUnderTheGround) {
    EXPECT_FLOAT_EQ(AutoGen::ShadowDepthFactor(1000), 1 - 0.001f / 1000);
    for (float height : {1.0f, 0.5f, 0.0f, -20.0f}) {
        const float factor = AutoGen::ShadowDepthFactor(height);
        EXPECT_TRUE(std::isfinite(factor)) << height;
        EXPECT_FLOAT_EQ(factor, 0.999f) << height;
    }
}

TEST_F(Sectors, SameSectorTwiceGivesTheSamePlacements) {
    AddSet(2, 1.2f, false, 3);
    AutoGen::Sector first, second;
    first.i = second.i = 3;
    first.j = second.j = 7;
    const auto a = autogen.PlaceObjects(first);
    // Other draws of the shared generator in between change nothing: the sector reseeds it.
    autogen.PlaceObjects(*std::make_unique<AutoGen::Sector>());
    const auto b = autogen.PlaceObjects(second);
    ASSERT_FALSE(a.empty());
    EXPECT_LT(a.size(), 16u); // density 2/3 x 1.2 leaves some candidates empty
    EXPECT_EQ(a, b);
    // Another sector differs.
    AutoGen::Sector other;
    other.i = 4;
    other.j = 7;
    EXPECT_NE(autogen.PlaceObjects(other), a);
    // Placing leaves the program's stream as it was: the next number is the one it would have drawn.
    Base::Random::Seed(77);
    const uint32_t next = Base::Random::NextUInt32();
    Base::Random::Seed(77);
    autogen.PlaceObjects(other);
    EXPECT_EQ(Base::Random::NextUInt32(), next);

    // Whole builds: the same geometry, up to the order of the shuffle.
    const auto sorted = [](std::vector<AutoGen::Vertex> v) {
        std::sort(v.begin(), v.end(), [](const auto& p, const auto& q) {
            return std::tie(p.x, p.y, p.z, p.u, p.v) < std::tie(q.x, q.y, q.z, q.u, q.v);
        });
        return v;
    };
    std::srand(1);
    const auto built = autogen.BuildSector(3, 7);
    const auto vertices = sorted(autogen.LastVertices());
    std::srand(99);
    const auto again = autogen.BuildSector(3, 7);
    const auto vertices2 = sorted(autogen.LastVertices());
    ASSERT_EQ(vertices.size(), vertices2.size());
    for (size_t k = 0; k < vertices.size(); ++k) {
        EXPECT_EQ(vertices[k].x, vertices2[k].x);
        EXPECT_EQ(vertices[k].y, vertices2[k].y);
        EXPECT_EQ(vertices[k].z, vertices2[k].z);
    }
    EXPECT_EQ(built->totalIndices, again->totalIndices);
    EXPECT_EQ(built->vertexBuffer, nullptr); // no device
}

TEST_F(Sectors, PlacementsStayOnTheirCandidateAndTheGround) {
    AddSet(3, 1, false, 1);
    autogen.objectSets[0].displacement = 1;
    const auto sector = autogen.BuildSector(2, 5);
    ASSERT_EQ(sector->objectEnd.size(), 16u); // density 1: every candidate
    EXPECT_FLOAT_EQ(sector->centre.x, 250);
    EXPECT_FLOAT_EQ(sector->centre.z, 550);
    EXPECT_FLOAT_EQ(sector->centre.y, 0.1f * 250 + 0.05f * 550);
    // Each quad's first vertex sits on the ground within half a candidate spacing (12.5) of a candidate.
    const auto& v = autogen.LastVertices();
    for (size_t p = 0; p < 16; ++p) {
        const AutoGen::Vertex& corner = v[p * 4]; // (-1, 0, 0) of the quad
        const float x = corner.x + 1, z = corner.z;
        const float cu = std::round((x + 50 - 12.5f) / 25) * 25 - 50 + 12.5f;
        const float cv = std::round((z + 50 - 12.5f) / 25) * 25 - 50 + 12.5f;
        EXPECT_LE(std::fabs(x - cu), 12.5f);
        EXPECT_LE(std::fabs(z - cv), 12.5f);
        const float ground = 0.1f * (250 + x) + 0.05f * (550 + z) - sector->centre.y;
        EXPECT_NEAR(corner.y, ground, 1e-3f);
    }
    EXPECT_LE(sector->boxMin.y, sector->centre.y);
    EXPECT_GE(sector->boxMax.y, sector->centre.y + 300);
}

TEST_F(Sectors, BufferLayoutPutsThinnedShadowsLast) {
    AddSet(3, 0.5f, true, 1); // half the candidates, shadows thinned: quads of size 1
    autogen.objectSets.back().variants[0].first = Quad(1);
    AddSet(3, 0.5f, false, 1); // the other half, shadows always drawn: quads of size 2
    autogen.objectSets.back().variants[0].first = Quad(2);
    const auto sector = autogen.BuildSector(1, 1);
    const size_t count = sector->objectEnd.size();
    ASSERT_EQ(count, 16u);
    EXPECT_EQ(sector->objectVertices, 16u * 4);
    EXPECT_EQ(sector->totalVertices, 16u * 7);
    EXPECT_EQ(sector->objectIndices, 16u * 6);
    EXPECT_EQ(sector->totalIndices, 16u * 9);
    // Which set each shuffled placement came from, by the width of its quad.
    const auto& v = autogen.LastVertices();
    std::vector<bool> thinned(count);
    uint32_t middle = 0;
    for (size_t k = 0; k < count; ++k) {
        thinned[k] = std::fabs(v[4 * k + 1].x - v[4 * k].x) < 3;
        middle += thinned[k] ? 0 : 3;
    }
    ASSERT_GT(middle, 0u);
    ASSERT_LT(middle, 48u);
    uint32_t last = 0;
    for (size_t k = 0; k < count; ++k) {
        EXPECT_EQ(sector->objectEnd[k], 6 * (k + 1));
        last += thinned[k] ? 3 : 0;
        EXPECT_EQ(sector->shadowEnd[k], middle + last) << k;
    }
    // Shadow indices point past the objects' vertices; every index within the buffer.
    const auto& indices = autogen.LastIndices();
    for (uint32_t k = 0; k < sector->totalIndices; ++k) {
        EXPECT_LT(indices[k], sector->totalVertices);
        if (k >= sector->objectIndices)
            EXPECT_GE(indices[k], sector->objectVertices);
        else
            EXPECT_LT(indices[k], sector->objectVertices);
    }
}

TEST_F(Sectors, LevelOfDetailIsAPrefix) {
    AddSet(3, 0.5f, true, 1);
    AddSet(3, 0.5f, false, 1);
    const auto sector = autogen.BuildSector(1, 1);
    ASSERT_EQ(sector->objectEnd.size(), 16u);
    autogen.visibilityRange = 1000; // k = 1.4142 S below R / 2
    const float range = autogen.visibilityRange, k = autogen.sectorSize * 1.4142f;
    // Nearer than k: everything.
    const AutoGen::LodCounts all = autogen.LodAt(*sector, k * 0.5f);
    EXPECT_EQ(all.objectIndices, sector->objectIndices);
    EXPECT_EQ(all.shadowIndices, sector->shadowEnd.back());
    // From 0.5 R on: of the thinned shadows only the first placement's, the others all.
    for (float d : {0.5f * range, 0.8f * range}) {
        const AutoGen::LodCounts far = autogen.LodAt(*sector, d);
        EXPECT_EQ(far.shadowIndices, sector->shadowEnd[0]) << d;
        EXPECT_GT(far.objectIndices, 0u);
    }
    // At 1.3 R: only the first placement's object.
    EXPECT_EQ(autogen.LodAt(*sector, 1.3f * range).objectIndices, sector->objectEnd[0]);
    // Between: ceil((count - 1) x lod) picks the prefix.
    const float d = 0.7f * range;
    const float objLod = std::clamp(1 - (d - k) / (1.3f * range - k), 0.0f, 1.0f);
    EXPECT_EQ(autogen.LodAt(*sector, d).objectIndices, sector->objectEnd[size_t(std::ceil(15 * objLod))]);
}

TEST_F(Sectors, NoDensityNoPlacementsNoBuffers) {
    AddSet(0, 1, false);
    const auto sector = autogen.BuildSector(4, 4);
    EXPECT_EQ(sector->totalVertices, 0u);
    EXPECT_EQ(sector->totalIndices, 0u);
    EXPECT_TRUE(sector->objectEnd.empty());
    EXPECT_EQ(sector->vertexBuffer, nullptr);
    EXPECT_EQ(autogen.LodAt(*sector, 0).objectIndices, 0u);
}

TEST_F(Sectors, AProbeThatMissesStandsOnSeaLevel) {
    AddSet(3, 1, false, 1);
    autogen.SetGroundProbe([](float, float) { return std::optional<AutoGen::Ground>(); });
    const auto sector = autogen.BuildSector(9, 9);
    EXPECT_EQ(sector->centre.y, 0);
    EXPECT_EQ(sector->boxMin.y, 0);
    ASSERT_EQ(sector->objectEnd.size(), 16u);
    for (const AutoGen::Vertex& v : autogen.LastVertices())
        EXPECT_TRUE(v.y == 0 || v.y == 2) << v.y; // quad corners on the sea, triangles flat at 0
}

TEST_F(Sectors, VertexCapHolds) {
    AutoGen::ObjectSet set;
    set.mapIndex =
        autogen.AddDensityMap(std::make_unique<AutoGen::DensityMap>(1, 1, std::vector<uint8_t>{3}));
    set.right = set.bottom = 1000;
    set.density = 1;
    auto big = std::make_unique<AutoGen::Mesh>();
    big->vertices.resize(1000);
    for (uint16_t k = 0; k + 2 < 1000; ++k)
        big->indices.insert(big->indices.end(), {k, uint16_t(k + 1), uint16_t(k + 2)});
    set.variants.emplace_back(std::move(big), Triangle());
    ASSERT_TRUE(autogen.AddObjectSet(std::move(set)));
    autogen.objectsSpan = 20; // 400 candidates x 1003 vertices
    const auto sector = autogen.BuildSector(0, 0);
    EXPECT_LE(sector->totalVertices, AutoGen::MaxSectorVertices);
    EXPECT_EQ(sector->objectEnd.size(), 65u); // 65 x 1003 = 65195
    EXPECT_EQ(autogen.placementsDropped, 400u - 65u);
    for (uint16_t index : autogen.LastIndices())
        ASSERT_LT(index, sector->totalVertices);
}

TEST_F(Sectors, HoveringAtTheRimKeepsTheSectors) {
    AddSet(3, 1, false, 1);
    // The ground under the camera is much lower than the sectors' own ground: a rule that mixed the two
    // heights would free and rebuild the rim sectors every frame.
    autogen.SetGroundProbe([](float x, float) {
        return std::optional<AutoGen::Ground>(AutoGen::Ground{x < 520 ? 0.0f : 180.0f, {0, 1, 0}});
    });
    const Base::Vector3 camera{500, 60, 500};
    autogen.UpdateSectors(camera, 0);
    const uint32_t built = autogen.sectorsBuilt;
    const size_t kept = autogen.sectors.size();
    EXPECT_GT(built, 0u);
    EXPECT_EQ(autogen.sectorsFreed, 0u);
    for (int frame = 0; frame < 20; ++frame) {
        const float wobble = 0.01f * float(frame % 3);
        autogen.UpdateSectors({camera.x + wobble, camera.y, camera.z - wobble}, 0);
    }
    EXPECT_EQ(autogen.sectorsBuilt, built);
    EXPECT_EQ(autogen.sectorsFreed, 0u);
    EXPECT_EQ(autogen.sectors.size(), kept);
    // Every kept sector is within range and inside the grid.
    for (const auto& s : autogen.sectors) {
        EXPECT_GE(s->i, 0);
        EXPECT_LT(s->i, 10);
        const float dx = s->centre.x - camera.x, dy = 0 - camera.y, dz = s->centre.z - camera.z;
        EXPECT_LT(dx * dx + dy * dy + dz * dz, 250.0f * 250.0f);
    }
    // Moving away frees them all and builds none outside the grid.
    autogen.UpdateSectors({-5000, 60, -5000}, 0);
    EXPECT_TRUE(autogen.sectors.empty());
    EXPECT_EQ(autogen.sectorsFreed, uint32_t(kept));
}

// The window reuses the records of the sectors it frees: built again from another sector's record, a sector
// is the same as when it was first built from a new one. (The order of its placements comes from the runtime
// library's generator, not from the sector, so only their count and index totals are compared.)
TEST_F(Sectors, SectorsBuiltFromFreedRecordsAreAsNew) {
    AddSet(3, 0.6f, false, 2);
    AddSet(2, 0.5f, true, 1);
    struct Built {
        int32_t i, j;
        uint32_t totalVertices, totalIndices, objectVertices, objectIndices;
        size_t placed;
        uint32_t objectEnd, shadowEnd;
        uint8_t doubleSided;
        float centre[3], boxMin[3], boxMax[3];
        bool operator==(const Built&) const = default;
    };
    const auto snapshot = [&] {
        std::vector<Built> all;
        for (const auto& s : autogen.sectors)
            all.push_back({s->i,
                           s->j,
                           s->totalVertices,
                           s->totalIndices,
                           s->objectVertices,
                           s->objectIndices,
                           s->objectEnd.size(),
                           s->objectEnd.empty() ? 0 : s->objectEnd.back(),
                           s->shadowEnd.empty() ? 0 : s->shadowEnd.back(),
                           s->doubleSided,
                           {s->centre.x, s->centre.y, s->centre.z},
                           {s->boxMin.x, s->boxMin.y, s->boxMin.z},
                           {s->boxMax.x, s->boxMax.y, s->boxMax.z}});
        std::sort(all.begin(), all.end(),
                  [](const Built& a, const Built& b) { return std::pair(a.i, a.j) < std::pair(b.i, b.j); });
        return all;
    };
    const Base::Vector3 here{750, 60, 750}, there{250, 60, 250};
    autogen.UpdateSectors(here, 0);
    const std::vector<Built> first = snapshot();
    ASSERT_FALSE(first.empty());
    ASSERT_GT(first.front().totalVertices, 0u);
    // Away and back: each window is built from the other's freed records.
    autogen.UpdateSectors(there, 0);
    EXPECT_EQ(autogen.sectorsFreed, uint32_t(first.size()));
    EXPECT_NE(snapshot(), first);
    autogen.UpdateSectors(here, 0);
    EXPECT_EQ(snapshot(), first);
}

TEST(AutoGenLoad, ReadsKeysAndRefusesSetsItCannotPlace) {
    Base::Info info;
    ASSERT_EQ(info.LoadText("VisibilityRange 6000\nSectorsSpan 32 16\nSectorSize 1000\nObjectsSpan 24\n"
                            "BottomRightPos -16000 -8000\nLightAmbientColor 0.3 0.3 0.3\n"
                            "LightDiffuseColor 1 1 0.9\nLightDirection 0 -2 0\nGlobalDensityFactor 0.3\n"
                            "ObjectSets\n{\n"
                            "\tA\n\t{\n\t\tRotateEvery 90\n\t\tModels\n\t\t{\n\t\t\t1 Missing.dff\n\t\t}\n"
                            "\t\tMap Missing.png\n\t\tRect 0 0 r10 r10\n\t\tDensityFactor 1\n\t}\n"
                            "\tB\n\t{\n\t\tMap Missing.png\n\t}\n}\n"),
              0);
    AutoGen autogen;
    // Nothing to place: refused, with the sets' faults named.
    EXPECT_FALSE(autogen.Load(info));
    EXPECT_NE(autogen.Error().find("no object set is usable (object set \"A\" has no model that loads)"),
              std::string::npos)
        << autogen.Error();
    ASSERT_EQ(autogen.SetFaults().size(), 2u);
    EXPECT_NE(autogen.SetFaults()[1].find("object set \"B\""), std::string::npos);
    EXPECT_FLOAT_EQ(autogen.visibilityRange, 6000);
    EXPECT_EQ(autogen.sectorsX, 32);
    EXPECT_EQ(autogen.sectorsZ, 16);
    EXPECT_FLOAT_EQ(autogen.sectorSize, 1000);
    EXPECT_EQ(autogen.objectsSpan, 24u);
    EXPECT_FLOAT_EQ(autogen.cornerX, -16000);
    EXPECT_FLOAT_EQ(autogen.cornerZ, -8000);
    EXPECT_FLOAT_EQ(autogen.globalDensity, 0.3f);
    EXPECT_FLOAT_EQ(autogen.light.ambient.a, 1);
    EXPECT_FLOAT_EQ(autogen.light.diffuse.b, 0.9f);
    EXPECT_FLOAT_EQ(autogen.light.direction.y, -1);
    EXPECT_EQ(autogen.light.type, 3u);
    EXPECT_EQ(autogen.windowSize, 13); // ceil(12000 / 1000) + 1
    EXPECT_EQ(autogen.windowFlags.size(), 169u);
    // A model that does not load leaves no variants, a set without models none either: both are skipped.
    EXPECT_TRUE(autogen.objectSets.empty());
    EXPECT_EQ(autogen.setsRefused, 2u);
    EXPECT_TRUE(autogen.densityMaps.empty());
}

TEST(AutoGenLoad, NoRangeOrSectorSizeBuildsNothing) {
    for (const char* text :
         {"SectorSize 1000\n", "VisibilityRange 5000\nSectorSize 0\nObjectsSpan 4000000000\n",
          "VisibilityRange 5000\nSectorSize -3\n", "VisibilityRange 1e30\nSectorSize 1e-30\n"}) {
        Base::Info info;
        ASSERT_EQ(info.LoadText(text), 0);
        AutoGen autogen;
        EXPECT_FALSE(autogen.Load(info)) << text;
        EXPECT_FALSE(autogen.Error().empty()) << text;
        EXPECT_LE(autogen.windowSize, 255) << text;
        EXPECT_LE(autogen.objectsSpan, AutoGen::MaxObjectsSpan) << text;
        autogen.UpdateSectors({0, 100, 0}, 0);
        EXPECT_TRUE(autogen.sectors.empty()) << text;
    }
}

} // namespace
