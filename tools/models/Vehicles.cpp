#include "tools/models/Vehicles.h"

#include "tools/models/Parts.h"

#include <cmath>

namespace Tools {
namespace {

constexpr float Pi = 3.14159265358979f;

// A rectangular ring across z: x from -halfWidth to halfWidth, y from bottom to top.
Ring Rect(float z, float halfWidth, float bottom, float top) {
    return {{-halfWidth, bottom, z}, {halfWidth, bottom, z}, {halfWidth, top, z}, {-halfWidth, top, z}};
}

ModelGeometry Wheels(const std::vector<float>& axles, float track, float radius, float width) {
    ModelGeometry g;
    const ModelMaterial tyre = Colour(30, 30, 30), hub = Colour(90, 95, 80);
    for (float z : axles) {
        for (float s : {1.0f, -1.0f})
            Merge(g, Wheel({s * track, radius, z}, radius, width, tyre, hub));
    }
    return g;
}

// A ship's hull: deck edge, waterline, bilge and keel per station, pointed at the bow.
struct HullStation {
    float z, halfBeam, deck, keel;
};
Ring HullRing(const HullStation& s) {
    const float w = s.halfBeam;
    return {{w, s.deck, s.z},         {w * 0.97f, 0.1f, s.z},
            {w * 0.97f, -0.3f, s.z},  {w * 0.6f, s.keel * 0.65f, s.z},
            {0, s.keel, s.z},         {-w * 0.6f, s.keel * 0.65f, s.z},
            {-w * 0.97f, -0.3f, s.z}, {-w * 0.97f, 0.1f, s.z},
            {-w, s.deck, s.z}};
}

} // namespace

Model Truck() {
    Model model;
    const int root = model.AddFrame("Truck", -1, {0, 0, 0});
    const ModelMaterial paint = Textured("camo", 5.0f, 150, 160, 120),
                        canvas = Textured("camo", 3.0f, 170, 165, 130);
    const ModelMaterial dark = Colour(35, 35, 35), glass = Colour(60, 80, 95);
    ModelGeometry body;
    MeshBuilder b(body);
    b.Block({-0.9f, 0.55f, -3.4f}, {0.9f, 0.9f, 3.3f}, dark);
    // Cab with a sloped windscreen.
    b.Tube({Rect(3.45f, 1.2f, 0.9f, 1.9f), Rect(3.25f, 1.2f, 0.9f, 2.6f), Rect(1.9f, 1.2f, 0.9f, 2.75f)},
           paint, false);
    b.Box({0, 2.2f, 3.37f}, {1.05f, 0.28f, 0.05f}, glass, {1, 0, 0}, {0, 0.94f, 0.34f}, {0, -0.34f, 0.94f});
    b.Block({-1.22f, 0.9f, -3.5f}, {1.22f, 1.25f, 1.75f}, paint); // cargo bed
    b.Tube({Rect(1.7f, 1.18f, 1.25f, 2.7f), Rect(-3.45f, 1.18f, 1.25f, 2.7f)}, canvas, false);
    model.AddPart("Body", root, {0, 0, 0}, std::move(body));
    model.AddPart("Wheels", root, {0, 0, 0}, Wheels({2.5f, -1.4f, -2.6f}, 1.05f, 0.5f, 0.35f));
    return model;
}

Model ArmedCar() {
    Model model;
    const int root = model.AddFrame("ArmedCar", -1, {0, 0, 0});
    const ModelMaterial armour = Textured("camo", 4.0f, 140, 150, 110), dark = Colour(40, 42, 40);
    ModelGeometry hull;
    MeshBuilder(hull).Tube({Rect(3.1f, 1.0f, 0.75f, 1.3f), Rect(2.5f, 1.3f, 0.55f, 1.75f),
                            Rect(-2.7f, 1.3f, 0.55f, 1.85f), Rect(-3.0f, 1.15f, 0.7f, 1.75f)},
                           armour, false);
    model.AddPart("Body", root, {0, 0, 0}, std::move(hull));
    model.AddPart("Wheels", root, {0, 0, 0}, Wheels({1.9f, -1.9f}, 1.15f, 0.55f, 0.4f));

    // A turret turning about its up axis and twin guns pitching about their right axis.
    ModelGeometry turret;
    {
        MeshBuilder b(turret);
        std::vector<Ring> rings;
        for (const auto& [y, r] :
             std::vector<std::pair<float, float>>{{0, 0.95f}, {0.45f, 0.85f}, {0.6f, 0.6f}}) {
            Ring ring;
            for (int k = 0; k < 8; k++) {
                const float a = (float(k) + 0.5f) * Pi / 4;
                ring.push_back({r * std::cos(a), y, r * std::sin(a)});
            }
            rings.push_back(ring);
        }
        b.Tube(rings, armour, false);
    }
    const int turretFrame = model.AddPart("Turret", root, {0, 1.8f, -0.4f}, std::move(turret));
    ModelGeometry guns;
    {
        MeshBuilder b(guns);
        b.Block({-0.35f, -0.18f, -0.3f}, {0.35f, 0.18f, 0.35f}, armour);
        for (float s : {0.22f, -0.22f})
            b.Cylinder({s, 0, 0.3f}, {s, 0, 2.4f}, 0.06f, 0.045f, 8, dark);
    }
    model.AddPart("Gun", turretFrame, {0, 0.3f, 0.5f}, std::move(guns));
    return model;
}

Model PatrolShip() {
    Model model;
    const int root = model.AddFrame("PatrolShip", -1, {0, 0, 0});
    const ModelMaterial hullPaint = Textured("metal", 6.0f, 125, 132, 140),
                        deck = Textured("metal", 3.0f, 95, 98, 100);
    const ModelMaterial light = Textured("metal", 4.0f, 175, 180, 185), dark = Colour(35, 38, 42),
                        glass = Colour(40, 55, 70);
    std::vector<Ring> rings;
    for (const HullStation& s : std::vector<HullStation>{{25.0f, 0.08f, 3.8f, -0.5f},
                                                         {21.0f, 2.3f, 3.5f, -2.0f},
                                                         {14.0f, 3.5f, 3.2f, -2.5f},
                                                         {4.0f, 3.8f, 3.0f, -2.6f},
                                                         {-12.0f, 3.75f, 3.0f, -2.4f},
                                                         {-22.0f, 3.4f, 3.0f, -1.8f},
                                                         {-25.0f, 3.2f, 3.0f, -1.2f}})
        rings.push_back(HullRing(s));
    ModelGeometry hull;
    MeshBuilder(hull).Tube(rings, hullPaint, true);
    hull.strips = true;
    model.AddPart("Hull", root, {0, 0, 0}, std::move(hull));

    ModelGeometry top;
    {
        MeshBuilder b(top);
        b.Block({-2.6f, 2.9f, -6.0f}, {2.6f, 5.6f, 9.0f}, light);   // deckhouse
        b.Block({-2.0f, 5.6f, 4.0f}, {2.0f, 8.0f, 8.5f}, light);    // bridge
        b.Block({-2.05f, 6.6f, 6.0f}, {2.05f, 7.4f, 8.56f}, glass); // bridge windows
        b.Block({-1.0f, 5.6f, -4.0f}, {1.0f, 9.0f, -1.0f}, light);  // funnel
        b.Block({-1.05f, 8.6f, -4.05f}, {1.05f, 9.1f, -0.95f}, dark);
        b.Cylinder({0, 8.0f, 5.5f}, {0, 16.0f, 5.5f}, 0.25f, 0.12f, 8, light); // mast
        b.Block({-2.0f, 12.5f, 5.4f}, {2.0f, 12.7f, 5.6f}, light);             // yard
        b.Block({-2.0f, 3.0f, -23.0f}, {2.0f, 3.2f, -14.0f}, deck);            // helicopter deck edge
    }
    model.AddPart("Superstructure", root, {0, 0, 0}, std::move(top));

    ModelGeometry turret;
    MeshBuilder(turret).Tube({CircleRing({0, 0, 0}, {0, 1, 0}, 1.3f, 12),
                              CircleRing({0, 1.0f, 0}, {0, 1, 0}, 1.1f, 12),
                              CircleRing({0, 1.3f, 0}, {0, 1, 0}, 0.6f, 12)},
                             light, true);
    const int turretFrame = model.AddPart("Turret", root, {0, 3.3f, 15.0f}, std::move(turret));
    ModelGeometry gun;
    MeshBuilder(gun).Cylinder({0, 0, 0.6f}, {0, 0, 4.2f}, 0.12f, 0.09f, 8, light);
    model.AddPart("Gun", turretFrame, {0, 0.7f, 0.4f}, std::move(gun));
    return model;
}

Model Carrier() {
    Model model;
    const int root = model.AddFrame("Carrier", -1, {0, 0, 0});
    const ModelMaterial hullPaint = Textured("metal", 12.0f, 120, 126, 134),
                        island = Textured("metal", 6.0f, 150, 156, 162);
    const ModelMaterial white = Colour(225, 225, 220), yellow = Colour(220, 190, 50),
                        dark = Colour(30, 32, 35);
    // The deck's paint wears under a second, darkening pass of grime; the bridge windows mirror the sky.
    ModelMaterial deckPaint = Textured("metal", 10.0f, 72, 74, 78), glass = Colour(40, 55, 70);
    deckPaint.effect = {ModelEffect::Kind::SecondPass, "Detail", 0.0f};
    glass.effect = {ModelEffect::Kind::Reflection, "WaterEnv", 0.5f};
    std::vector<Ring> rings;
    for (const HullStation& s : std::vector<HullStation>{{128.0f, 0.3f, 17.0f, -2.0f},
                                                         {118.0f, 11.0f, 17.0f, -8.0f},
                                                         {90.0f, 16.0f, 17.0f, -9.5f},
                                                         {0.0f, 17.0f, 17.0f, -10.0f},
                                                         {-100.0f, 16.5f, 17.0f, -9.5f},
                                                         {-122.0f, 15.0f, 17.0f, -6.0f}})
        rings.push_back(HullRing(s));
    ModelGeometry hull;
    MeshBuilder(hull).Tube(rings, hullPaint, true);
    hull.strips = true;
    model.AddPart("Hull", root, {0, 0, 0}, std::move(hull));

    // The flight deck overhangs the hull, widest on the angled landing area (port, +x).
    ModelGeometry deck;
    {
        MeshBuilder b(deck);
        b.Prism({{-19, 16.5f}, {22, 16.5f}, {22, 18}, {-19, 18}}, -125, 80, deckPaint);
        b.Tube({Rect(80, 18, 16.5f, 18), Rect(128, 2, 16.5f, 18)}, deckPaint, false);
        b.Block({20, 16.5f, -60}, {34, 18, 30}, deckPaint);
        // Markings a hand's breadth above the deck: centre line, angled deck edges and lines, catapults.
        b.Block({-0.5f, 18.0f, -120}, {0.5f, 18.05f, 120}, white);
        const glm::vec3 angled = glm::normalize(glm::vec3(0.16f, 0, 1));
        const glm::vec3 across(angled.z, 0, -angled.x);
        for (float off : {-11.0f, 11.0f, 0.0f}) {
            const glm::vec3 c = glm::vec3(16, 18.025f, -45) + across * off;
            b.Box(c, {off == 0.0f ? 0.4f : 0.5f, 0.025f, 80}, off == 0.0f ? yellow : white, across, {0, 1, 0},
                  angled);
        }
        for (float x : {9.0f, -9.0f})
            b.Block({x - 0.4f, 18.0f, 58}, {x + 0.4f, 18.06f, 120}, dark);
    }
    deck.userData = {{"Surface", "FlightDeck"}};
    model.AddPart("Deck", root, {0, 0, 0}, std::move(deck));

    // The island on the starboard side (-x).
    ModelGeometry top;
    {
        MeshBuilder b(top);
        b.Block({-19, 18, -25}, {-12, 32, 10}, island);
        b.Block({-18, 32, -15}, {-13, 38, 5}, island);
        b.Block({-18.05f, 34, 0}, {-12.95f, 36, 5.05f}, glass);
        b.Block({-17.5f, 38, -12}, {-13.5f, 41, -6}, dark);
        b.Cylinder({-15.5f, 38, -2}, {-15.5f, 52, -2}, 0.6f, 0.25f, 8, island);
        b.Block({-19, 46, -2.3f}, {-12, 46.4f, -1.7f}, island);
    }
    top.strips = true;
    const int islandFrame = model.AddPart("Island", root, {0, 0, 0}, std::move(top));
    // A floodlight on the island's mast shining down over the deck, and a warm lamp over the bridge.
    const int flood =
        model.AddFrame("DeckLight", islandFrame, {-15.5f, 47, -2}, {1, 0, 0}, {0, 0, 1}, {0, -1, 0});
    model.lights.push_back({flood, true, {0.9f, 0.9f, 0.8f}, 80.0f, 60.0f});
    const int lamp = model.AddFrame("BridgeLamp", islandFrame, {-15.5f, 37, 2.5f});
    model.lights.push_back({lamp, false, {1.0f, 0.8f, 0.5f}, 12.0f, 0.0f});
    return model;
}

} // namespace Tools
