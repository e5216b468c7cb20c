// The procedural model builder: shells are closed, wound outwards with matching normals and enclose the
// volume they should; every sample model has the parts the game looks up, in sizes that fit what it is,
// and side files that the game's parser reads.
#include "base/Info.h"
#include "tools/models/Parts.h"
#include "tools/models/Samples.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <map>
#include <set>

namespace {

using namespace Tools;

constexpr float Pi = 3.14159265358979f;

void ExpectSound(const ModelGeometry& g, const std::string& what) {
    const ShapeReport r = CheckShape(g);
    if (!g.open) {
        EXPECT_TRUE(r.closed) << what;
        EXPECT_TRUE(r.shellsPositive) << what;
    }
    EXPECT_TRUE(r.consistent) << what;
    EXPECT_TRUE(r.normalsOutward) << what;
    EXPECT_EQ(r.degenerate, 0) << what;
    EXPECT_EQ(g.normals.size(), g.positions.size()) << what;
    EXPECT_EQ(g.uvs.size(), g.positions.size()) << what;
    for (const ModelTriangle& t : g.triangles) {
        for (uint16_t v : t.vertices)
            ASSERT_LT(v, g.positions.size()) << what;
        ASSERT_LT(t.material, g.materials.size()) << what;
    }
}

TEST(ModelShapes, PrimitivesAreClosedOutwardAndHoldTheirVolume) {
    const ModelMaterial m;
    struct Case {
        const char* name;
        std::function<void(MeshBuilder&)> build;
        float volume, tolerance;
    };
    // An n-gon prism of radius r holds n/2 r^2 sin(2 pi / n) per unit of length.
    const auto ngon = [](int n, float r) { return float(n) / 2 * r * r * std::sin(2 * Pi / float(n)); };
    const Case cases[] = {
        {"box",
         [&](MeshBuilder& b) {
             b.Block({-1, 0, 2}, {1, 3, 5}, m);
         },
         18, 1e-4f},
        {"turned box",
         [&](MeshBuilder& b) {
             b.Box({1, 2, 3}, {0.5f, 1, 2}, m, glm::normalize(glm::vec3(1, 1, 0)),
                   glm::normalize(glm::vec3(-1, 1, 0)), {0, 0, 1});
         },
         8, 1e-4f},
        {"cylinder",
         [&](MeshBuilder& b) {
             b.Cylinder({0, 0, 0}, {0, 0, 4}, 1, 1, 16, m);
         },
         4 * ngon(16, 1), 1e-3f},
        {"cylinder the other way",
         [&](MeshBuilder& b) {
             b.Cylinder({0, 4, 0}, {0, 0, 0}, 1, 1, 16, m, false);
         },
         4 * ngon(16, 1), 1e-3f},
        {"cone",
         [&](MeshBuilder& b) {
             b.Cylinder({0, 0, 0}, {3, 0, 0}, 1, 0, 12, m);
         },
         ngon(12, 1), 1e-3f},
        {"prism",
         [&](MeshBuilder& b) {
             b.Prism({{0, 0}, {2, 0}, {0, 2}}, 0, 5, m);
         },
         10, 1e-4f},
        {"prism wound clockwise",
         [&](MeshBuilder& b) {
             b.Prism({{0, 0}, {0, 2}, {2, 0}}, 5, 0, m);
         },
         10, 1e-4f},
    };
    for (const Case& c : cases) {
        ModelGeometry g;
        MeshBuilder b(g);
        c.build(b);
        ExpectSound(g, c.name);
        EXPECT_NEAR(CheckShape(g).volume, c.volume, c.volume * c.tolerance) << c.name;
    }
}

TEST(ModelShapes, WingPiecesMeetAtTheHingeAndStayClosed) {
    Panel p;
    p.rootLe = {1, 0, 2};
    p.tipLe = {6, -0.2f, -1};
    p.rootChord = 4;
    p.tipChord = 1.5f;
    p.thickness = 0.06f;
    const ModelMaterial m;
    const ModelGeometry whole = p.Shell(0, 1, 0, 1, m), front = p.Shell(0, 1, 0, 0.7f, m),
                        back = p.Shell(0, 1, 0.7f, 1, m);
    for (const ModelGeometry* g : {&whole, &front, &back})
        ExpectSound(*g, "wing piece");
    // Cut at the hinge, the two pieces add up to the whole wing (to the faceting of the section).
    EXPECT_NEAR(CheckShape(front).volume + CheckShape(back).volume, CheckShape(whole).volume,
                CheckShape(whole).volume * 0.02f);
    // A symmetric section of 6 % holds about 0.685 t c^2 per unit span.
    const float mean = (0.685f * 0.06f * (16 + 6 + 2.25f)) / 3 * 5;
    EXPECT_NEAR(CheckShape(whole).volume, mean, mean * 0.05f);
    // The mirror image is sound too, and the hinge frames are proper rotations with right along +x.
    ExpectSound(p.Mirrored().Shell(0.2f, 0.6f, 0.7f, 1, m), "mirrored piece");
    for (const Panel& q : {p, p.Mirrored()}) {
        const glm::mat4 h = q.Hinge(0.2f, 0.6f, 0.7f, {1, 0, 0}, {0, 1, 0});
        EXPECT_NEAR(glm::determinant(glm::mat3(h)), 1.0f, 1e-5f);
        EXPECT_GT(h[0].x, 0.9f);
        EXPECT_GT(h[1].y, 0.9f);
    }
}

TEST(ModelShapes, MirroringAndMovingKeepShellsOutward) {
    ModelGeometry g;
    MeshBuilder(g).Cylinder({1, 0, 0}, {2, 1, 3}, 0.5f, 0.2f, 10, ModelMaterial{});
    const float volume = CheckShape(g).volume;
    MirrorX(g);
    ExpectSound(g, "mirrored");
    EXPECT_NEAR(CheckShape(g).volume, volume, 1e-4f);
    TransformGeometry(g, glm::mat4(glm::vec4(0, 0, 2, 0), glm::vec4(0, 2, 0, 0), glm::vec4(-2, 0, 0, 0),
                                   glm::vec4(5, 6, 7, 1)));
    ExpectSound(g, "turned and scaled");
    EXPECT_NEAR(CheckShape(g).volume, volume * 8, volume * 1e-3f);
}

TEST(ModelShapes, ChecksFindHolesAndInwardFaces) {
    ModelGeometry g;
    MeshBuilder(g).Block({0, 0, 0}, {1, 1, 1}, ModelMaterial{});
    ModelGeometry holed = g;
    holed.triangles.pop_back();
    EXPECT_FALSE(CheckShape(holed).closed);
    ModelGeometry inward = g;
    for (ModelTriangle& t : inward.triangles)
        std::swap(t.vertices[1], t.vertices[2]);
    EXPECT_FALSE(CheckShape(inward).shellsPositive);
    EXPECT_FALSE(CheckShape(inward).normalsOutward);
}

// Sizes in metres that each kind of model should have: smallest and largest extents along x, y, z.
struct Size {
    const char* path;
    glm::vec3 min, max;
};
const Size Sizes[] = {
    {"Airplanes\\Su27.dff", {12, 4, 15}, {16, 6, 20}},
    {"Airplanes\\Su25.dff", {12, 3, 14}, {16, 5, 18}},
    {"Weapons\\ShortAAM.dff", {0.2f, 0.2f, 2.5f}, {0.6f, 0.6f, 3.2f}},
    {"Weapons\\MediumAAM.dff", {0.3f, 0.3f, 3.2f}, {1, 1, 4.2f}},
    {"Weapons\\Bomb.dff", {0.3f, 0.3f, 1.8f}, {0.8f, 0.8f, 3}},
    {"Weapons\\RocketPod.dff", {0.3f, 0.3f, 1.2f}, {0.7f, 0.7f, 2.5f}},
    {"Weapons\\FuelTank.dff", {0.5f, 0.5f, 3}, {1.2f, 1.2f, 5}},
    {"Truck.dff", {2, 2.3f, 6}, {2.7f, 3.5f, 9}},
    {"ArmedCar.dff", {2, 2, 5}, {3, 3.2f, 7}},
    {"PatrolShip.dff", {6, 10, 40}, {10, 25, 70}},
    {"Carrier.dff", {40, 40, 220}, {80, 80, 340}},
    {"Hangar.dff", {25, 8, 30}, {60, 20, 70}},
    {"Tower.dff", {8, 15, 8}, {30, 40, 30}},
    {"Runway.dff", {2000, 0.1f, 30}, {4000, 1, 60}},
    {"Tree1.dff", {3, 6, 3}, {8, 20, 8}},
    {"Bunker.dff", {8, 2, 6}, {20, 5, 15}},
    {"House1.dff", {6, 4, 5}, {15, 12, 15}},
};

struct Bounds {
    glm::vec3 min{1e9f}, max{-1e9f};
};

Bounds ModelBounds(const Model& m) {
    Bounds b;
    for (const ModelAtomic& a : m.atomics) {
        const glm::mat4 root = m.RootMatrix(a.frame);
        for (const glm::vec3& p : m.geometries[size_t(a.geometry)].positions) {
            const glm::vec3 w(root * glm::vec4(p, 1));
            b.min = glm::min(b.min, w);
            b.max = glm::max(b.max, w);
        }
    }
    return b;
}

const std::vector<SampleModel>& Samples() {
    static const std::vector<SampleModel> samples = SampleModels();
    return samples;
}

const SampleModel& Sample(const std::string& path) {
    for (const SampleModel& s : Samples()) {
        if (s.path == path)
            return s;
    }
    throw std::runtime_error("no sample model " + path);
}

TEST(SampleModelShapes, EveryModelIsSoundWithNamedUniqueFramesInOrder) {
    // The textures the texture generator writes (by name, as materials give them).
    const std::set<std::string> textures{"camo", "metal", "runway", "Autogen", "AutogenShadow"};
    ASSERT_GE(Samples().size(), 26u);
    for (const SampleModel& s : Samples()) {
        const Model& m = s.model;
        ASSERT_FALSE(m.frames.empty()) << s.path;
        EXPECT_EQ(m.frames[0].parent, -1) << s.path;
        std::set<std::string> names;
        for (size_t f = 0; f < m.frames.size(); f++) {
            EXPECT_FALSE(m.frames[f].name.empty()) << s.path;
            EXPECT_TRUE(names.insert(m.frames[f].name).second) << s.path << ": " << m.frames[f].name;
            if (f > 0) {
                EXPECT_GE(m.frames[f].parent, 0) << s.path;
                EXPECT_LT(m.frames[f].parent, int(f)) << s.path;
            }
            // Frames are rigid: orthonormal and right-handed.
            const glm::mat3 axes(m.frames[f].right, m.frames[f].up, m.frames[f].at);
            EXPECT_NEAR(glm::determinant(axes), 1.0f, 1e-4f) << s.path << ": " << m.frames[f].name;
        }
        for (size_t g = 0; g < m.geometries.size(); g++) {
            ExpectSound(m.geometries[g], s.path + " geometry " + std::to_string(g));
            EXPECT_LT(m.geometries[g].positions.size(), 65536u);
            for (const ModelMaterial& mat : m.geometries[g].materials) {
                if (!mat.texture.empty()) {
                    EXPECT_TRUE(textures.count(mat.texture)) << s.path << ": " << mat.texture;
                }
            }
        }
        for (const ModelAtomic& a : m.atomics) {
            EXPECT_GE(a.frame, 0);
            EXPECT_LT(a.frame, int(m.frames.size()));
            EXPECT_LT(a.geometry, int(m.geometries.size()));
        }
    }
}

TEST(SampleModelShapes, SizesFitWhatTheModelsAre) {
    for (const Size& size : Sizes) {
        const Bounds b = ModelBounds(Sample(size.path).model);
        const glm::vec3 extent = b.max - b.min;
        for (int k = 0; k < 3; k++) {
            EXPECT_GE(extent[k], size.min[k]) << size.path << " axis " << k;
            EXPECT_LE(extent[k], size.max[k]) << size.path << " axis " << k;
        }
    }
    // Nose or bow forward: models are longer along z than across x, except runways and scenery.
    for (const char* path :
         {"Airplanes\\Su27.dff", "Truck.dff", "PatrolShip.dff", "Carrier.dff", "Weapons\\Bomb.dff"}) {
        const Bounds b = ModelBounds(Sample(path).model);
        EXPECT_GT(b.max.z - b.min.z, b.max.x - b.min.x) << path;
    }
}

bool HasAtomicNamed(const Model& m, const std::string& name) {
    for (const ModelAtomic& a : m.atomics) {
        if (m.frames[size_t(a.frame)].name == name)
            return true;
    }
    return false;
}

TEST(SampleModelShapes, AirplanesHaveThePartsTheGameLooksUp) {
    for (const char* title : {"Su27", "Mig29", "F16", "Yak141", "Su25"}) {
        const Model& m = Sample(std::string("Airplanes\\") + title + ".dff").model;
        for (const char* part :
             {"WheelC", "SuspC", "WheelL", "SuspL", "WheelR", "SuspR", "AileronL", "AileronR", "FlapL",
              "FlapR", "ElevatorL", "ElevatorR", "RudderL", "RudderR", "_CabinGlass", "Gears", "WeaponDoor"})
            EXPECT_TRUE(HasAtomicNamed(m, part)) << title << ": " << part;
        // Each wheel hangs on its suspension leg, and every leg under the gear part.
        for (const char* id : {"C", "L", "R"}) {
            const int wheel = m.FindFrame(std::string("Wheel") + id),
                      susp = m.FindFrame(std::string("Susp") + id);
            ASSERT_GE(wheel, 0);
            EXPECT_EQ(m.frames[size_t(wheel)].parent, susp) << title;
            int f = susp;
            while (f >= 0 && m.frames[size_t(f)].name != "Gears")
                f = m.frames[size_t(f)].parent;
            EXPECT_GE(f, 0) << title << ": Susp" << id << " is not under Gears";
            // Suspension slides along its up axis: vertical.
            EXPECT_GT(m.RootMatrix(susp)[1].y, 0.99f) << title;
        }
        // The left side is +x (the model's right axis), the right side its mirror image.
        EXPECT_GT(m.RootMatrix(m.FindFrame("WheelL"))[3].x, 0.5f);
        EXPECT_LT(m.RootMatrix(m.FindFrame("AileronR"))[3].x, -0.5f);
        // Control surfaces turn about their right axes: spanwise for ailerons, flaps and elevators, up the
        // hinge for rudders.
        for (const char* surface : {"AileronL", "AileronR", "FlapL", "FlapR", "ElevatorL", "ElevatorR"})
            EXPECT_GT(m.RootMatrix(m.FindFrame(surface))[0].x, 0.9f) << title << ": " << surface;
        for (const char* surface : {"RudderL", "RudderR"})
            EXPECT_GT(m.RootMatrix(m.FindFrame(surface))[0].y, 0.85f) << title << ": " << surface;
        // Racks are numbered without a gap and carry no atomic of their own.
        int racks = 0;
        while (m.FindFrame("Rack" + std::to_string(racks)) >= 0)
            racks++;
        EXPECT_GE(racks, 6) << title;
        EXPECT_FALSE(HasAtomicNamed(m, "Rack0"));
        // The three wheels touch the ground together, below everything else.
        const Bounds all = ModelBounds(m);
        for (const char* wheel : {"WheelC", "WheelL", "WheelR"}) {
            Model only = m;
            only.atomics.clear();
            for (const ModelAtomic& a : m.atomics) {
                if (m.frames[size_t(a.frame)].name == wheel)
                    only.atomics.push_back(a);
            }
            EXPECT_NEAR(ModelBounds(only).min.y, all.min.y, 0.02f) << title << ": " << wheel;
        }
    }
}

size_t Triangles(const Model& m) {
    size_t count = 0;
    for (const ModelAtomic& a : m.atomics)
        count += m.geometries[size_t(a.geometry)].triangles.size();
    return count;
}

// A level's model replaces the geometries of the full model's atomics of the same names, on their frames:
// each of its atomics must name one of the full model's, placed alike, and cover the same shape with far
// fewer triangles. Levels widen in order.
TEST(SampleModelShapes, FarLevelsReplaceTheFullModelsPartsCoarsely) {
    int levelModels = 0;
    for (const SampleModel& s : Samples()) {
        for (const SideFile& side : s.sideFiles) {
            Base::Info info;
            ASSERT_EQ(info.LoadText(side.text), 0) << side.path;
            const Base::Info::Entry* orders = info.FindChild("RenderOrders");
            ASSERT_TRUE(orders) << side.path;
            for (const auto& [key, order] : orders->second->GetChildren()) {
                const Base::Info* lods = order->GetChild("Lods");
                ASSERT_TRUE(lods) << side.path;
                float previous = 0;
                for (const auto& [index, level] : lods->GetChildren()) {
                    float threshold = 0;
                    ASSERT_TRUE(level->TryGetFloat("Threshold", threshold)) << side.path;
                    EXPECT_GT(threshold, previous) << side.path << " order " << key << " level " << index;
                    previous = threshold;
                    Base::String dff;
                    if (!level->TryGetString("Dff", dff))
                        continue;
                    levelModels++;
                    const Model& full = s.model;
                    const Model& far = Sample(dff).model;
                    for (const ModelAtomic& a : far.atomics) {
                        const std::string& name = far.frames[size_t(a.frame)].name;
                        const int frame = full.FindFrame(name);
                        ASSERT_GE(frame, 0) << dff << ": " << name;
                        EXPECT_TRUE(HasAtomicNamed(full, name)) << dff << ": " << name;
                        const glm::mat4 a0 = full.RootMatrix(frame), a1 = far.RootMatrix(a.frame);
                        for (int c = 0; c < 4; c++)
                            for (int r = 0; r < 3; r++)
                                EXPECT_NEAR(a0[c][r], a1[c][r], 1e-4f) << dff << ": " << name;
                    }
                    EXPECT_LE(Triangles(far) * 3, Triangles(full)) << dff;
                    // The same length; an airplane's the same span and height too (only the gear, under
                    // the body, may hang lower), a weapon's fins are left out.
                    const Bounds b0 = ModelBounds(full), b1 = ModelBounds(far);
                    const bool airplane = dff.rfind("Airplanes", 0) == 0;
                    for (int k : {0, 1, 2}) {
                        if (k != 2 && !airplane)
                            continue;
                        const float tolerance = 0.05f * (b0.max[k] - b0.min[k]);
                        if (k != 1) {
                            EXPECT_NEAR(b1.min[k], b0.min[k], tolerance) << dff << " axis " << k;
                        }
                        EXPECT_NEAR(b1.max[k], b0.max[k], tolerance) << dff << " axis " << k;
                    }
                }
            }
        }
    }
    // Five airplanes in both passes, seven weapons.
    EXPECT_EQ(levelModels, 17);
}

TEST(SampleModelShapes, ThePilotFigureHasItsThreePoses) {
    const Model& pilot = Sample("Airplanes\\Pilot.dff").model;
    for (const char* part : {"Sitting", "Flying", "OnParachute"})
        EXPECT_TRUE(HasAtomicNamed(pilot, part)) << part;
    // A seated figure fits a cockpit.
    Model sitting = pilot;
    sitting.atomics.resize(1);
    const Bounds b = ModelBounds(sitting);
    EXPECT_LT(b.max.y - b.min.y, 1.5f);
    EXPECT_LT(b.max.x - b.min.x, 0.8f);
}

TEST(SampleModelShapes, SceneryObjectsFitTheSceneryBuffers) {
    for (const char* path : {"Tree1.dff", "Tree2.dff", "House1.dff", "House2.dff"}) {
        const Model& m = Sample(path).model;
        ASSERT_TRUE(HasAtomicNamed(m, "Object")) << path;
        ASSERT_TRUE(HasAtomicNamed(m, "Shadow")) << path;
        size_t vertices = 0;
        for (const ModelAtomic& a : m.atomics) {
            const ModelGeometry& g = m.geometries[size_t(a.geometry)];
            vertices += g.positions.size();
            // One atlas texture for all objects, one for all shadows; coordinates inside it.
            ASSERT_EQ(g.materials.size(), 1u) << path;
            EXPECT_EQ(g.materials[0].texture,
                      m.frames[size_t(a.frame)].name == "Object" ? "Autogen" : "AutogenShadow");
            for (const glm::vec2& uv : g.uvs) {
                EXPECT_GE(std::min(uv.x, uv.y), 0.0f) << path;
                EXPECT_LE(std::max(uv.x, uv.y), 1.0f) << path;
            }
        }
        // 16 x 16 placements of object and shadow share one 16-bit index range.
        EXPECT_LE(vertices * 256, 65535u) << path;
    }
}

TEST(SampleModelShapes, SideFilesParseAndNameTheirModels) {
    std::set<std::string> dffs;
    for (const SampleModel& s : Samples())
        dffs.insert(s.path);
    int count = 0;
    for (const SampleModel& s : Samples()) {
        for (const SideFile& side : s.sideFiles) {
            Base::Info info;
            ASSERT_EQ(info.LoadText(side.text), 0) << side.path;
            Base::String dff;
            ASSERT_TRUE(info.TryGetString("Dff", dff)) << side.path;
            EXPECT_TRUE(dffs.count(dff)) << side.path << " names " << dff;
            EXPECT_TRUE(info.FindChild("RenderOrders.128.Lods.0.Commands")) << side.path;
            count++;
        }
    }
    EXPECT_GE(count, 20);
    // The airplane descriptions' set-ups name weapons that exist, on racks that exist.
    for (const char* title : {"Su27", "Su25"}) {
        const SampleModel& s = Sample(std::string("Airplanes\\") + title + ".dff");
        Base::Info info;
        ASSERT_EQ(info.LoadText(s.sideFiles.at(0).text), 0);
        const Base::Info::Entry* setups = info.FindChild("Setups");
        ASSERT_TRUE(setups);
        for (const auto& [name, setup] : setups->second->GetChildren()) {
            for (const auto& [rack, weapon] : setup->GetChildren()) {
                EXPECT_GE(s.model.FindFrame("Rack" + rack.substr(4)), 0)
                    << title << " " << name << " " << rack;
                EXPECT_TRUE(dffs.count(weapon->GetValue() + ".dff")) << weapon->GetValue();
            }
        }
        float mass = 0;
        EXPECT_TRUE(info.TryGetFloat("ComplexPhysicsParams.Mass", mass));
        EXPECT_GT(mass, 0);
    }
    // The carrier's catapults start on its deck.
    Base::Info carrier;
    ASSERT_EQ(carrier.LoadText(Sample("Carrier.dff").sideFiles.at(0).text), 0);
    for (const char* catapult : {"Catapults.C1.Position", "Catapults.C2.Position"}) {
        Base::Vector2 at{};
        ASSERT_TRUE(carrier.TryGetPoint(catapult, at));
        EXPECT_LT(std::abs(at.x), 15.0f);
        EXPECT_GT(at.y, 0.0f);
    }
}

} // namespace
