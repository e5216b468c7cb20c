#include "tools/models/Structures.h"

#include "tools/models/Parts.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace Tools {
namespace {

constexpr float Pi = 3.14159265358979f;

const ModelMaterial Paint = Colour(232, 232, 228);

ModelGeometry HangarShell(glm::vec3 at, float halfWidth, float height, float halfLength) {
    ModelGeometry g;
    MeshBuilder b(g);
    std::vector<glm::vec2> arch;
    for (int k = 0; k <= 12; k++) {
        const float a = Pi * float(k) / 12;
        arch.push_back({at.x + halfWidth * std::cos(a), at.y + height * std::sin(a)});
    }
    b.Prism(arch, at.z - halfLength, at.z + halfLength, Textured("metal", 3.0f, 165, 170, 160));
    b.Block(at + glm::vec3(-halfWidth * 0.8f, 0, halfLength),
            at + glm::vec3(halfWidth * 0.8f, height * 0.72f, halfLength + 0.15f),
            Textured("metal", 2.0f, 90, 95, 90));
    return g;
}

ModelGeometry TowerShell(glm::vec3 at) {
    ModelGeometry g;
    MeshBuilder b(g);
    const ModelMaterial concrete = Textured("metal", 4.0f, 200, 195, 185);
    b.Block(at + glm::vec3(-4, 0, -4), at + glm::vec3(4, 16, 4), concrete);
    b.Block(at + glm::vec3(4, 0, -6), at + glm::vec3(16, 5, 6), concrete); // operations building
    b.Tube({CircleRing(at + glm::vec3(0, 16, 0), {0, 1, 0}, 4.2f, 8),
            CircleRing(at + glm::vec3(0, 19.5f, 0), {0, 1, 0}, 4.8f, 8)},
           Colour(50, 75, 90), false);
    b.Cylinder(at + glm::vec3(0, 19.5f, 0), at + glm::vec3(0, 20.3f, 0), 5.2f, 5.2f, 8, concrete, false);
    b.Cylinder(at + glm::vec3(0, 20.3f, 0), at + glm::vec3(0, 27, 0), 0.15f, 0.06f, 6, Colour(200, 60, 50));
    return g;
}

// Seven-segment runway numbers painted on the ground: corner at the digit's lower left seen by the pilot,
// right and forward the pilot's directions, 6 m wide and 18 m long.
void Digit(MeshBuilder& b, int digit, glm::vec3 corner, glm::vec3 right, glm::vec3 forward) {
    static const char* segments[10] = {"abcdef", "bc",     "abged", "abgcd",   "fgbc",
                                       "afgcd",  "afgedc", "abc",   "abcdefg", "abcdfg"};
    const float w = 6, h = 18, t = 1.5f;
    const auto quad = [&](float u0, float v0, float u1, float v1) {
        const glm::vec3 a = corner + right * u0 + forward * v0, c = corner + right * u1 + forward * v1;
        b.Block(glm::min(a, c), glm::max(a, c) + glm::vec3(0, 0.03f, 0), Paint);
    };
    for (const char* s = segments[digit]; *s; s++) {
        switch (*s) {
        case 'a':
            quad(0, h - t, w, h);
            break;
        case 'b':
            quad(w - t, h / 2, w, h);
            break;
        case 'c':
            quad(w - t, 0, w, h / 2);
            break;
        case 'd':
            quad(0, 0, w, t);
            break;
        case 'e':
            quad(0, 0, t, h / 2);
            break;
        case 'f':
            quad(0, h / 2, t, h);
            break;
        case 'g':
            quad(0, h / 2 - t / 2, w, h / 2 + t / 2);
            break;
        }
    }
}

// The runway texture across a strip along x: its width once across (u), its length along (v), so that the
// texture's centre line and edge lines lie on the strip's.
void AlongX(ModelGeometry& strip, glm::vec3 centre, float width) {
    for (size_t i = 0; i < strip.positions.size(); i++)
        strip.uvs[i] = {(strip.positions[i].z - centre.z) / width + 0.5f,
                        (strip.positions[i].x - centre.x) / width};
}

// A runway along x centred on at: the paved slab, and its markings a little above it.
void RunwayShells(glm::vec3 at, float length, float width, ModelGeometry& slab, ModelGeometry& marks) {
    MeshBuilder(slab).Block(at + glm::vec3(-length / 2, 0, -width / 2),
                            at + glm::vec3(length / 2, 0.3f, width / 2), Textured("runway", width));
    AlongX(slab, at, width);
    MeshBuilder b(marks);
    const float top = at.y + 0.3f;
    const auto mark = [&](float x0, float x1, float z0, float z1) {
        b.Block({at.x + x0, top, at.z + z0}, {at.x + x1, top + 0.03f, at.z + z1}, Paint);
    };
    const float half = length / 2;
    for (float end : {1.0f, -1.0f}) {
        // Threshold stripes, landing aim points.
        for (int k = 0; k < 8; k++) {
            const float z = -width / 2 + 3 + float(k) * (width - 6) / 7.5f + (k >= 4 ? (width - 6) / 15 : 0);
            mark(end > 0 ? half - 36 : -half + 6, end > 0 ? half - 6 : -half + 36, z, z + 1.8f);
        }
        for (float z : {-7.0f, 7.0f})
            mark(end > 0 ? half - 345 : -half + 300, end > 0 ? half - 300 : -half + 345, z - 4.5f, z + 4.5f);
    }
    // "09" read landing towards -x at the +x end, "27" landing towards +x at the -x end.
    const glm::vec3 west(-1, 0, 0), east(1, 0, 0);
    glm::vec3 corner(at.x + half - 45, top, at.z + 7.5f);
    Digit(b, 0, corner, {0, 0, -1}, west);
    Digit(b, 9, corner + glm::vec3(0, 0, -9), {0, 0, -1}, west);
    corner = {at.x - half + 45, top, at.z - 7.5f};
    Digit(b, 2, corner, {0, 0, 1}, east);
    Digit(b, 7, corner + glm::vec3(0, 0, 9), {0, 0, 1}, east);
}

// Texture coordinates of a piece squeezed into one cell of the scenery atlas (u0, v0, u1, v1).
void FitAtlas(ModelGeometry& piece, glm::vec4 cell) {
    glm::vec2 lo(1e9f), hi(-1e9f);
    for (const glm::vec2& uv : piece.uvs) {
        lo = glm::min(lo, uv);
        hi = glm::max(hi, uv);
    }
    const glm::vec2 inset(1.0f / 128);
    const glm::vec2 from(cell.x, cell.y), to(cell.z, cell.w);
    for (glm::vec2& uv : piece.uvs)
        uv = from + inset + (to - from - 2.0f * inset) * (uv - lo) / glm::max(hi - lo, glm::vec2(1e-6f));
    for (ModelMaterial& m : piece.materials)
        m = Textured("Autogen", 1.0f);
}

const glm::vec4 Foliage(0, 0, 0.5f, 0.5f), Bark(0.5f, 0, 1, 0.5f), Wall(0, 0.5f, 0.5f, 1),
    Roof(0.5f, 0.5f, 1, 1);

// A scenery object: the atlas-textured "Object" and its flat "Shadow".
Model SceneryObject(const std::string& name, std::vector<std::pair<ModelGeometry, glm::vec4>> pieces,
                    const std::vector<glm::vec3>& shadowOutline) {
    Model model;
    const int root = model.AddFrame(name, -1, {0, 0, 0});
    ModelGeometry object;
    for (auto& [piece, cell] : pieces) {
        FitAtlas(piece, cell);
        Merge(object, piece);
    }
    model.AddPart("Object", root, {0, 0, 0}, std::move(object));
    ModelGeometry shadow;
    MeshBuilder(shadow).Sheet(shadowOutline, Textured("AutogenShadow", 1.0f));
    glm::vec2 lo(1e9f), hi(-1e9f);
    for (const glm::vec3& p : shadow.positions) {
        lo = glm::min(lo, glm::vec2(p.x, p.z));
        hi = glm::max(hi, glm::vec2(p.x, p.z));
    }
    for (size_t i = 0; i < shadow.positions.size(); i++)
        shadow.uvs[i] = (glm::vec2(shadow.positions[i].x, shadow.positions[i].z) - lo) / (hi - lo);
    model.AddPart("Shadow", root, {0, 0, 0}, std::move(shadow));
    return model;
}

std::vector<glm::vec3> Octagon(float radius, glm::vec3 centre) {
    std::vector<glm::vec3> outline;
    for (int k = 0; k < 8; k++) {
        const float a = -float(k) * Pi / 4; // counter-clockwise seen from above
        outline.push_back(centre + glm::vec3(radius * std::cos(a), 0, radius * std::sin(a)));
    }
    return outline;
}

ModelGeometry Piece(const std::function<void(MeshBuilder&)>& build) {
    ModelGeometry g;
    MeshBuilder b(g);
    build(b);
    return g;
}

} // namespace

Model Hangar() {
    Model model;
    const int root = model.AddFrame("Hangar", -1, {0, 0, 0});
    model.AddPart("Shed", root, {0, 0, 0}, HangarShell({0, 0, 0}, 20, 13, 25));
    return model;
}

Model ControlTower() {
    Model model;
    const int root = model.AddFrame("ControlTower", -1, {0, 0, 0});
    model.AddPart("Tower", root, {0, 0, 0}, TowerShell({0, 0, 0}));
    return model;
}

Model Runway() {
    Model model;
    const int root = model.AddFrame("Airstrip", -1, {0, 0, 0});
    ModelGeometry slab, marks;
    RunwayShells({0, 0, 0}, 3000, 45, slab, marks);
    model.AddPart("Runway", root, {0, 0, 0}, std::move(slab));
    model.AddPart("RunwayMarkings", root, {0, 0, 0}, std::move(marks));
    return model;
}

Model Airbase() {
    Model model;
    const int root = model.AddFrame("Base", -1, {0, 0, 0});
    ModelGeometry slab, marks;
    RunwayShells({0, 0, 0}, 3000, 45, slab, marks);
    model.AddPart("Runway", root, {0, 0, 0}, std::move(slab));
    model.AddPart("RunwayMarkings", root, {0, 0, 0}, std::move(marks));
    ModelGeometry taxi;
    {
        MeshBuilder b(taxi);
        const ModelMaterial asphalt = Textured("runway", 20.0f, 200, 200, 200);
        b.Block({-1400, 0, 110}, {1400, 0.25f, 130}, asphalt);
        AlongX(taxi, {0, 0, 120}, 20);
        for (float x : {-1380.0f, -200.0f, 1380.0f})
            b.Block({x - 10, 0, 22.4f}, {x + 10, 0.25f, 110.1f}, asphalt);
        b.Block({-350, 0, 129.9f}, {150, 0.25f, 260},
                Textured("metal", 24.0f, 150, 150, 145)); // concrete apron
    }
    model.AddPart("Taxiway", root, {0, 0, 0}, std::move(taxi));
    for (int k = 0; k < 3; k++)
        model.AddPart("Hangar" + std::to_string(k + 1), root, {-300.0f + 60.0f * float(k), 0.25f, 292},
                      HangarShell({0, 0, 0}, 20, 13, 25), {-1, 0, 0}, {0, 1, 0}, {0, 0, -1});
    model.AddPart("Tower", root, {120, 0.25f, 290}, TowerShell({0, 0, 0}));
    return model;
}

Model Bunker() {
    Model model;
    const int root = model.AddFrame("Bunker", -1, {0, 0, 0});
    ModelGeometry g;
    MeshBuilder b(g);
    const auto ring = [](float y, float hx, float hz) {
        return Ring{{-hx, y, -hz}, {hx, y, -hz}, {hx, y, hz}, {-hx, y, hz}};
    };
    b.Tube({ring(0, 7, 5), ring(2.2f, 5, 3.2f), ring(2.8f, 4, 2.5f)}, Textured("metal", 4.0f, 175, 170, 158),
           false);
    const ModelMaterial dark = Colour(25, 25, 25);
    b.Block({-3, 1.2f, 3.7f}, {3, 1.5f, 4.15f}, dark); // firing slit through the sloped front
    b.Block({-1, 0, 4.3f}, {1, 1.1f, 5.05f}, dark);    // entrance
    model.AddPart("Shelter", root, {0, 0, 0}, std::move(g));
    return model;
}

Model Conifer() {
    std::vector<std::pair<ModelGeometry, glm::vec4>> pieces;
    pieces.push_back({Piece([](MeshBuilder& b) {
                          b.Cylinder({0, 0, 0}, {0, 3, 0}, 0.3f, 0.2f, 6, Paint);
                      }),
                      Bark});
    pieces.push_back({Piece([](MeshBuilder& b) {
                          b.Cylinder({0, 2, 0}, {0, 7, 0}, 2.6f, 0, 8, Paint);
                          b.Cylinder({0, 5, 0}, {0, 10, 0}, 2.0f, 0, 8, Paint);
                          b.Cylinder({0, 8, 0}, {0, 12, 0}, 1.3f, 0, 8, Paint);
                      }),
                      Foliage});
    return SceneryObject("Tree1", std::move(pieces), Octagon(2.8f, {0.6f, 0.05f, 0.4f}));
}

Model BroadleafTree() {
    std::vector<std::pair<ModelGeometry, glm::vec4>> pieces;
    pieces.push_back({Piece([](MeshBuilder& b) {
                          b.Cylinder({0, 0, 0}, {0, 4, 0}, 0.35f, 0.25f, 6, Paint);
                      }),
                      Bark});
    pieces.push_back(
        {Piece([](MeshBuilder& b) {
             std::vector<Ring> rings;
             for (const auto& [y, r] : std::vector<std::pair<float, float>>{
                      {3.0f, 0}, {3.6f, 2.2f}, {5.0f, 3.2f}, {7.0f, 3.0f}, {8.6f, 2.0f}, {9.6f, 0}})
                 rings.push_back(CircleRing({0, y, 0}, {0, 1, 0}, r, 9));
             b.Tube(rings, Paint, true);
         }),
         Foliage});
    return SceneryObject("Tree2", std::move(pieces), Octagon(3.4f, {0.8f, 0.05f, 0.5f}));
}

// A tall narrow tree: a slim trunk under a column of foliage.
Model Poplar() {
    std::vector<std::pair<ModelGeometry, glm::vec4>> pieces;
    pieces.push_back({Piece([](MeshBuilder& b) {
                          b.Cylinder({0, 0, 0}, {0, 3, 0}, 0.25f, 0.18f, 6, Paint);
                      }),
                      Bark});
    pieces.push_back(
        {Piece([](MeshBuilder& b) {
             std::vector<Ring> rings;
             for (const auto& [y, r] : std::vector<std::pair<float, float>>{
                      {2.0f, 0}, {2.6f, 1.2f}, {5.0f, 1.7f}, {9.0f, 1.6f}, {12.5f, 1.0f}, {14.5f, 0}})
                 rings.push_back(CircleRing({0, y, 0}, {0, 1, 0}, r, 7));
             b.Tube(rings, Paint, true);
         }),
         Foliage});
    return SceneryObject("Tree3", std::move(pieces), Octagon(1.9f, {0.9f, 0.05f, 0.6f}));
}

Model Cottage() {
    std::vector<std::pair<ModelGeometry, glm::vec4>> pieces;
    pieces.push_back({Piece([](MeshBuilder& b) { b.Block({-4, 0, -3}, {4, 5, 3}, Paint); }), Wall});
    ModelGeometry roof = Piece([](MeshBuilder& b) {
        b.Prism({{-4.6f, 4.9f}, {4.6f, 4.9f}, {0, 7.8f}}, -3.6f, 3.6f, Paint);
        b.Block({2.0f, 6.0f, 0.8f}, {2.8f, 8.4f, 1.6f}, Paint);
    });
    // Rows of tiles run along the ridge, which the prism's coordinates run across.
    for (glm::vec2& uv : roof.uvs)
        uv = {uv.y, uv.x};
    pieces.push_back({std::move(roof), Roof});
    return SceneryObject(
        "House1", std::move(pieces),
        {{-4.4f, 0.05f, -3.4f}, {-4.4f, 0.05f, 4.4f}, {5.4f, 0.05f, 4.4f}, {5.4f, 0.05f, -3.4f}});
}

Model TownHouse() {
    std::vector<std::pair<ModelGeometry, glm::vec4>> pieces;
    pieces.push_back({Piece([](MeshBuilder& b) { b.Block({-5, 0, -4}, {5, 7, 4}, Paint); }), Wall});
    pieces.push_back({Piece([](MeshBuilder& b) {
                          const auto ring = [](float y, float hx, float hz) {
                              return Ring{{-hx, y, -hz}, {hx, y, -hz}, {hx, y, hz}, {-hx, y, hz}};
                          };
                          b.Tube({ring(6.9f, 5.5f, 4.5f), ring(9.6f, 2.5f, 0.4f)}, Paint, false);
                      }),
                      Roof});
    return SceneryObject(
        "House2", std::move(pieces),
        {{-5.4f, 0.05f, -4.4f}, {-5.4f, 0.05f, 5.4f}, {6.4f, 0.05f, 5.4f}, {6.4f, 0.05f, -4.4f}});
}

} // namespace Tools
