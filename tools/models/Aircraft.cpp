#include "tools/models/Aircraft.h"

#include "tools/models/Parts.h"

#include <algorithm>
#include <cmath>

namespace Tools {
namespace {

constexpr float Pi = 3.14159265358979f;

struct Materials {
    ModelMaterial skin, metal, glass, dark, strut, tyre, hot;
};

Materials AircraftMaterials(const Paint& paint) {
    Materials m;
    m.skin = Textured(paint.skinTexture, 6.0f, paint.skin[0], paint.skin[1], paint.skin[2]);
    m.metal = Textured("metal", 1.5f, 190, 190, 195);
    m.glass = Colour(70, 100, 125, 120);
    m.glass.specular = 1.0f;
    // The canopy mirrors the sky as it turns.
    m.glass.effect = {ModelEffect::Kind::Reflection, "WaterEnv", 0.6f};
    m.dark = Colour(38, 40, 42);
    m.strut = Colour(215, 215, 220);
    m.tyre = Colour(28, 28, 28);
    m.hot = Colour(90, 60, 45);
    return m;
}

const char* Side(int side) {
    return side == 0 ? "L" : "R";
}

// The bubble canopy: a half-round section over a flat base, closing to a point at both ends.
ModelGeometry Canopy(float zFront, float zBack, float baseY, float halfWidth, float height,
                     const ModelMaterial& glass, const Fineness& fineness) {
    std::vector<Ring> rings;
    const int steps = fineness.canopySteps, around = fineness.canopyAround;
    for (int k = 0; k <= steps; k++) {
        const float f = float(k) / float(steps);
        const float z = zBack + (zFront - zBack) * f;
        const float s = std::pow(std::max(0.0f, std::sin(Pi * std::pow(f, 0.8f))), 0.6f);
        Ring ring;
        for (int i = 0; i <= around; i++) {
            const float a = Pi * float(i) / float(around);
            ring.push_back({halfWidth * s * std::cos(a), baseY + height * s * std::sin(a), z});
        }
        rings.push_back(ring);
    }
    ModelGeometry g;
    MeshBuilder(g).Tube(rings, glass, true);
    return g;
}

ModelGeometry Nozzle(glm::vec3 front, float length, float r0, float r1, const Materials& m, int sides) {
    ModelGeometry g;
    MeshBuilder b(g);
    const glm::vec3 back = front - glm::vec3(0, 0, length);
    b.Cylinder(front, back, r0, r1, sides, m.metal);
    b.Cylinder(back + glm::vec3(0, 0, 0.05f), back - glm::vec3(0, 0, 0.02f), r1 * 0.82f, r1 * 0.82f, sides,
               m.hot);
    return g;
}

// Wings with flaps and ailerons behind the hinge line; the trailing strips not covered by either stay on
// the wing.
int AddWings(Model& model, int root, const Panel& left, float hinge, float flap0, float flap1, float aileron0,
             float aileron1, const ModelMaterial& skin) {
    int leftFrame = -1;
    for (int side = 0; side < 2; side++) {
        const Panel p = side == 0 ? left : left.Mirrored();
        ModelGeometry wing = p.Shell(0, 1, 0, hinge, skin);
        const float strips[][2] = {{0, flap0}, {flap1, aileron0}, {aileron1, 1}};
        for (const auto& strip : strips) {
            if (strip[1] - strip[0] > 1e-3f)
                Merge(wing, p.Shell(strip[0], strip[1], hinge, 1, skin));
        }
        const glm::vec3 sense(side == 0 ? 1 : -1, 0, 0);
        const int wingFrame = model.AddPlacedPart(std::string("Wing") + Side(side), root,
                                                  FrameMatrix(p.Point(0, 0)), std::move(wing));
        model.AddPlacedPart(std::string("Flap") + Side(side), wingFrame,
                            p.Hinge(flap0, flap1, hinge, {1, 0, 0}, {0, 1, 0}),
                            p.Shell(flap0, flap1, hinge, 1, skin));
        model.AddPlacedPart(std::string("Aileron") + Side(side), wingFrame,
                            p.Hinge(aileron0, aileron1, hinge, {1, 0, 0}, {0, 1, 0}),
                            p.Shell(aileron0, aileron1, hinge, 1, skin));
        (void)sense;
        if (side == 0)
            leftFrame = wingFrame;
    }
    return leftFrame;
}

// Fins with rudders behind the hinge line; every rudder's right axis runs up its hinge, so that both turn
// the same way for one rudder angle.
void AddFins(Model& model, int root, const Panel& left, float hinge, float rudder0, float rudder1,
             const ModelMaterial& skin) {
    for (int side = 0; side < 2; side++) {
        const Panel p = side == 0 ? left : left.Mirrored();
        ModelGeometry fin = p.Shell(0, 1, 0, hinge, skin);
        Merge(fin, p.Shell(0, rudder0, hinge, 1, skin));
        Merge(fin, p.Shell(rudder1, 1, hinge, 1, skin));
        const int finFrame = model.AddPlacedPart(std::string("Fin") + Side(side), root,
                                                 FrameMatrix(p.Point(0, 0)), std::move(fin));
        model.AddPlacedPart(std::string("Rudder") + Side(side), finFrame,
                            p.Hinge(rudder0, rudder1, hinge, {0, 1, 0}, {-1, 0, 0}),
                            p.Shell(rudder0, rudder1, hinge, 1, skin));
    }
}

// One landing-gear leg under the "Gears" frame: the leg turns at its pivot, the suspension slides along
// its up axis and the wheel rolls about its right axis (the axle).
void AddGearLeg(Model& model, int gears, const std::string& id, glm::vec3 pivot, glm::vec3 knee,
                glm::vec3 wheel, float radius, float width, const Materials& m) {
    ModelGeometry leg;
    MeshBuilder(leg).Cylinder(pivot + glm::vec3(0, 0.05f, 0), knee, 0.08f, 0.07f, 10, m.strut);
    const int legFrame = model.AddPlacedPart("Gear" + id, gears, FrameMatrix(pivot), std::move(leg));

    ModelGeometry susp;
    MeshBuilder b(susp);
    const glm::vec3 foot(knee.x, wheel.y, wheel.z);
    b.Cylinder(knee + glm::vec3(0, 0.05f, 0), foot, 0.05f, 0.05f, 10, m.metal);
    if (std::abs(wheel.x - knee.x) > 0.01f) {
        const float dir = wheel.x > knee.x ? 1.0f : -1.0f;
        b.Cylinder(foot - glm::vec3(dir * 0.05f, 0, 0), wheel, 0.05f, 0.05f, 8, m.metal);
    } else {
        // A fork either side of a centred wheel.
        b.Block(foot + glm::vec3(-width * 0.5f - 0.04f, -0.05f, -0.05f),
                foot + glm::vec3(width * 0.5f + 0.04f, 0.12f, 0.05f), m.strut);
    }
    const int suspFrame = model.AddPlacedPart("Susp" + id, legFrame, FrameMatrix(knee), std::move(susp));
    model.AddPlacedPart("Wheel" + id, suspFrame, FrameMatrix(wheel),
                        Wheel(wheel, radius, width, m.tyre, m.strut));
}

// A pylon under a surface and the rack frame below it, where the ordnance's centre hangs.
void AddRack(Model& model, int root, int index, glm::vec3 top, float length, float depth,
             const Materials& m) {
    ModelGeometry pylon;
    MeshBuilder(pylon).Tube(
        {AirfoilRing(top + glm::vec3(0, 0, length * 0.5f), length, 0.12f, 0, 1, {0, 0, -1}, {1, 0, 0}, 6),
         AirfoilRing(top + glm::vec3(0, -depth, length * 0.45f), length * 0.9f, 0.12f, 0, 1, {0, 0, -1},
                     {1, 0, 0}, 6)},
        m.skin, true);
    model.AddPlacedPart("Pylon" + std::to_string(index), root, FrameMatrix(top), std::move(pylon));
    model.AddPlacedFrame("Rack" + std::to_string(index), root,
                         FrameMatrix(top - glm::vec3(0, depth + 0.2f, 0)));
}

// The weapon bay: its interior on the "WeaponDoor" frame and two door panels hinged at its sides.
void AddWeaponDoor(Model& model, int root, glm::vec3 centre, float halfWidth, float halfLength, float depth,
                   const Materials& m) {
    ModelGeometry bay;
    MeshBuilder(bay).Block(centre + glm::vec3(-halfWidth, 0.01f, -halfLength),
                           centre + glm::vec3(halfWidth, depth, halfLength), m.dark);
    const int door = model.AddPlacedPart("WeaponDoor", root, FrameMatrix(centre), std::move(bay));
    for (int side = 0; side < 2; side++) {
        const float s = side == 0 ? 1.0f : -1.0f;
        const glm::vec3 hinge = centre + glm::vec3(s * halfWidth, 0, 0);
        ModelGeometry panel;
        MeshBuilder(panel).Block(glm::vec3(std::min(0.0f, s * halfWidth), -0.03f, -halfLength) + centre,
                                 glm::vec3(std::max(0.0f, s * halfWidth), 0.0f, halfLength) + centre, m.skin);
        model.AddPlacedPart(std::string("WeaponDoor") + Side(side), door,
                            FrameMatrix(hinge, {0, 0, 1}, {0, 1, 0}), std::move(panel));
    }
}

// Gear doors under the body: the atomic of the "Gears" frame, the root of the gear legs.
int AddGears(Model& model, int root, const std::vector<std::pair<glm::vec3, glm::vec3>>& doors,
             const Materials& m) {
    ModelGeometry g;
    MeshBuilder b(g);
    for (const auto& [min, max] : doors)
        b.Block(min, max, m.dark);
    return model.AddPlacedPart("Gears", root, FrameMatrix({0, 0, 0}), std::move(g));
}

glm::vec3 QuarterChord(const Panel& p, float s) {
    return p.Point(s, 0.25f);
}

} // namespace

Model Fighter(const Paint& paint, AircraftLayout& layout, const Fineness& fineness) {
    const Materials m = AircraftMaterials(paint);
    Model model;
    const int root = model.AddFrame("Fighter", -1, {0, 0, 0});

    // Fuselage: a pointed nose, the cockpit, the widening body over two engines.
    ModelGeometry body;
    {
        MeshBuilder b(body);
        b.Tube(Loft({{8.2f, -0.05f, 0, 0, 2},
                     {7.6f, -0.05f, 0.22f, 0.22f, 2},
                     {6.6f, -0.02f, 0.42f, 0.42f, 2},
                     {5.4f, 0, 0.55f, 0.58f, 2.2f},
                     {4.0f, 0, 0.62f, 0.66f, 2.4f},
                     {2.6f, 0, 0.75f, 0.66f, 2.6f},
                     {1.2f, -0.05f, 1.05f, 0.62f, 3.0f},
                     {-0.5f, -0.05f, 1.35f, 0.58f, 3.2f},
                     {-3.0f, -0.05f, 1.4f, 0.55f, 3.4f},
                     {-5.5f, -0.05f, 1.25f, 0.5f, 3.2f},
                     {-7.0f, -0.05f, 1.1f, 0.46f, 3.0f}},
                    fineness.body),
               m.skin, true);
        // Pitot probe, intakes with dark mouths, leading-edge root extensions.
        b.Cylinder({0, -0.05f, 8.1f}, {0, -0.05f, 9.0f}, 0.035f, 0.015f, std::min(6, fineness.round),
                   m.metal);
        for (float s : {1.0f, -1.0f}) {
            b.Box({s * 0.85f, -0.55f, 0.7f}, {0.38f, 0.36f, 1.7f}, m.skin);
            b.Box({s * 0.85f, -0.55f, 2.41f}, {0.31f, 0.29f, 0.03f}, m.dark);
        }
        Panel lerx;
        lerx.rootLe = {0.5f, -0.05f, 5.0f};
        lerx.tipLe = {1.55f, -0.05f, 1.6f};
        lerx.rootChord = 4.2f;
        lerx.tipChord = 0.6f;
        lerx.thickness = 0.04f;
        lerx.points = fineness.airfoil;
        Merge(body, lerx.Shell(0, 1, 0, 1, m.skin));
        Merge(body, lerx.Mirrored().Shell(0, 1, 0, 1, m.skin));
    }
    model.AddPlacedPart("Fuselage", root, FrameMatrix({0, 0, 0}), std::move(body));
    model.AddPlacedPart("_CabinGlass", root, FrameMatrix({0, 0.42f, 4.4f}),
                        Canopy(5.9f, 2.8f, 0.42f, 0.42f, 0.55f, m.glass, fineness));

    Panel wing;
    wing.rootLe = {1.0f, -0.05f, 2.0f};
    wing.tipLe = {7.2f, -0.25f, -2.4f};
    wing.rootChord = 5.0f;
    wing.tipChord = 1.5f;
    wing.thickness = 0.05f;
    wing.points = fineness.airfoil;
    AddWings(model, root, wing, 0.72f, 0.06f, 0.5f, 0.5f, 0.94f, m.skin);

    // All-moving tailplanes: each turns about a spanwise axis through its pivot.
    Panel tail;
    tail.rootLe = {1.25f, -0.15f, -5.0f};
    tail.tipLe = {4.1f, -0.25f, -6.9f};
    tail.rootChord = 2.6f;
    tail.tipChord = 1.0f;
    tail.thickness = 0.045f;
    tail.points = fineness.airfoil;
    for (int side = 0; side < 2; side++) {
        const Panel p = side == 0 ? tail : tail.Mirrored();
        const glm::vec3 pivot = p.Point(0.3f, 0.35f);
        model.AddPlacedPart(std::string("Elevator") + Side(side), root, FrameMatrix(pivot),
                            p.Shell(0, 1, 0, 1, m.skin));
    }

    const float cant = 18.0f * Pi / 180.0f;
    const glm::vec3 span(std::sin(cant), std::cos(cant), 0);
    Panel fin;
    fin.rootLe = {1.05f, 0.35f, -3.9f};
    fin.tipLe = fin.rootLe + span * 3.0f + glm::vec3(0, 0, -2.6f);
    fin.rootChord = 3.3f;
    fin.tipChord = 1.3f;
    fin.thickness = 0.05f;
    fin.points = fineness.airfoil;
    fin.thick = {std::cos(cant), -std::sin(cant), 0};
    AddFins(model, root, fin, 0.7f, 0.12f, 0.92f, m.skin);

    for (int side = 0; side < 2; side++) {
        const float s = side == 0 ? 1.0f : -1.0f;
        model.AddPlacedPart(std::string("Nozzle") + Side(side), root, FrameMatrix({s * 0.62f, -0.05f, -6.8f}),
                            Nozzle({s * 0.62f, -0.05f, -6.8f}, 1.3f, 0.47f, 0.41f, m, fineness.round));
    }

    const int gears = AddGears(model, root,
                               {{{-0.15f, -0.62f, 4.6f}, {0.15f, -0.55f, 5.8f}},
                                {{0.85f, -0.58f, -2.2f}, {1.35f, -0.5f, -0.6f}},
                                {{-1.35f, -0.58f, -2.2f}, {-0.85f, -0.5f, -0.6f}}},
                               m);
    AddGearLeg(model, gears, "C", {0, -0.25f, 5.2f}, {0, -1.35f, 5.2f}, {0, -1.85f, 5.2f}, 0.3f, 0.2f, m);
    AddGearLeg(model, gears, "L", {1.05f, 0.0f, -1.4f}, {1.3f, -1.3f, -1.4f}, {1.48f, -1.75f, -1.4f}, 0.4f,
               0.25f, m);
    AddGearLeg(model, gears, "R", {-1.05f, 0.0f, -1.4f}, {-1.3f, -1.3f, -1.4f}, {-1.48f, -1.75f, -1.4f}, 0.4f,
               0.25f, m);

    AddWeaponDoor(model, root, {0, -0.6f, -3.2f}, 0.32f, 1.0f, 0.3f, m);

    // Racks: outer and inner wing stations, then under the intakes.
    int rack = 0;
    for (float s : {0.78f, 0.45f}) {
        for (int side = 0; side < 2; side++) {
            const Panel p = side == 0 ? wing : wing.Mirrored();
            AddRack(model, root, rack++, p.Point(s, 0.45f), 0.8f * p.Chord(s) * 0.6f, 0.32f, m);
        }
    }
    for (float s : {1.0f, -1.0f})
        AddRack(model, root, rack++, {s * 0.85f, -0.9f, 0.4f}, 1.4f, 0.12f, m);

    layout.pilotSeat = {0, 0.55f, 4.2f};
    layout.gun = {0.75f, 0.25f, 3.0f};
    layout.condensationTrail = wing.Point(1, 0.5f);
    layout.damageTrail = {0, 0, -7.5f};
    layout.nozzles = {{0.62f, -0.05f, -8.1f}, {-0.62f, -0.05f, -8.1f}};
    layout.nozzleDiameters = {0.8f, 0.8f};
    layout.wingOffset = QuarterChord(wing, 0.45f);
    layout.hStabilizerOffset = QuarterChord(tail, 0.45f);
    layout.vStabilizerOffset = QuarterChord(fin, 0.45f) * glm::vec3(0, 1, 1);
    layout.centerWheelRadius = 0.3f;
    layout.sideWheelRadius = 0.4f;
    layout.frontBottomSpring = {0, -0.6f, 7.0f};
    layout.rearBottomSpring = {0, -0.5f, -7.0f};
    layout.frontTopSpring = {0, -0.05f, 8.2f};
    layout.rearTopSpring = {0, fin.tipLe.y, -6.8f};
    layout.sideSpring = wing.Point(1, 0.5f);
    layout.racks = rack;
    return model;
}

Model Attacker(const Paint& paint, AircraftLayout& layout, const Fineness& fineness) {
    const Materials m = AircraftMaterials(paint);
    Model model;
    const int root = model.AddFrame("Attacker", -1, {0, 0, 0});

    // A deep armoured nose and cockpit, a tapering tail boom; engine nacelles under the wing roots.
    ModelGeometry body;
    {
        MeshBuilder b(body);
        b.Tube(Loft({{7.8f, -0.1f, 0, 0, 2},
                     {7.2f, -0.1f, 0.3f, 0.35f, 2},
                     {6.0f, 0, 0.55f, 0.65f, 2.2f},
                     {4.5f, 0, 0.7f, 0.8f, 2.6f},
                     {3.0f, 0, 0.75f, 0.8f, 2.6f},
                     {1.0f, 0, 0.75f, 0.75f, 2.8f},
                     {-2.0f, 0.05f, 0.7f, 0.7f, 2.6f},
                     {-5.0f, 0.15f, 0.55f, 0.6f, 2.4f},
                     {-7.0f, 0.2f, 0.35f, 0.45f, 2.2f},
                     {-7.6f, 0.2f, 0.2f, 0.3f, 2}},
                    fineness.body),
               m.skin, true);
        for (float s : {1.0f, -1.0f}) {
            std::vector<Ring> nacelle;
            for (const auto& [z, r] : std::vector<std::pair<float, float>>{
                     {2.6f, 0.5f}, {2.3f, 0.58f}, {0.0f, 0.6f}, {-3.0f, 0.56f}, {-4.4f, 0.48f}})
                nacelle.push_back(CircleRing({s * 1.15f, -0.2f, z}, {0, 0, 1}, r, fineness.round));
            b.Tube(nacelle, m.skin, true);
            b.Cylinder({s * 1.15f, -0.2f, 2.62f}, {s * 1.15f, -0.2f, 2.55f}, 0.42f, 0.42f, fineness.round,
                       m.dark);
        }
        b.Cylinder({0.35f, -0.55f, 5.6f}, {0.35f, -0.55f, 6.6f}, 0.05f, 0.04f, std::min(8, fineness.round),
                   m.dark); // gun barrel
    }
    model.AddPlacedPart("Fuselage", root, FrameMatrix({0, 0, 0}), std::move(body));
    model.AddPlacedPart("_CabinGlass", root, FrameMatrix({0, 0.62f, 4.7f}),
                        Canopy(5.9f, 3.4f, 0.62f, 0.48f, 0.5f, m.glass, fineness));

    Panel wing;
    wing.rootLe = {0.7f, 0.35f, 1.6f};
    wing.tipLe = {7.2f, 0.25f, 0.4f};
    wing.rootChord = 3.6f;
    wing.tipChord = 1.6f;
    wing.thickness = 0.09f;
    wing.points = fineness.airfoil;
    AddWings(model, root, wing, 0.7f, 0.08f, 0.55f, 0.58f, 0.95f, m.skin);

    // Tailplanes with elevators, twin fins at their tips.
    Panel tail;
    tail.rootLe = {0.3f, 0.55f, -4.6f};
    tail.tipLe = {3.0f, 0.55f, -5.3f};
    tail.rootChord = 2.2f;
    tail.tipChord = 1.3f;
    tail.thickness = 0.07f;
    tail.points = fineness.airfoil;
    for (int side = 0; side < 2; side++) {
        const Panel p = side == 0 ? tail : tail.Mirrored();
        ModelGeometry stabilizer = p.Shell(0, 1, 0, 0.7f, m.skin);
        Merge(stabilizer, p.Shell(0, 0.12f, 0.7f, 1, m.skin));
        const int frame = model.AddPlacedPart(std::string("Stabilizer") + Side(side), root,
                                              FrameMatrix(p.Point(0, 0)), std::move(stabilizer));
        model.AddPlacedPart(std::string("Elevator") + Side(side), frame,
                            p.Hinge(0.12f, 1, 0.7f, {1, 0, 0}, {0, 1, 0}),
                            p.Shell(0.12f, 1, 0.7f, 1, m.skin));
    }
    Panel fin;
    fin.rootLe = {3.0f, -0.6f, -4.8f};
    fin.tipLe = {3.0f, 1.9f, -5.3f};
    fin.rootChord = 1.8f;
    fin.tipChord = 1.2f;
    fin.thickness = 0.08f;
    fin.points = fineness.airfoil;
    fin.thick = {1, 0, 0};
    AddFins(model, root, fin, 0.68f, 0.1f, 0.9f, m.skin);

    for (int side = 0; side < 2; side++) {
        const float s = side == 0 ? 1.0f : -1.0f;
        model.AddPlacedPart(std::string("Nozzle") + Side(side), root, FrameMatrix({s * 1.15f, -0.2f, -4.3f}),
                            Nozzle({s * 1.15f, -0.2f, -4.3f}, 0.9f, 0.47f, 0.42f, m, fineness.round));
    }

    const int gears = AddGears(model, root,
                               {{{-0.16f, -0.82f, 4.4f}, {0.16f, -0.76f, 5.6f}},
                                {{0.95f, -0.82f, -0.8f}, {1.35f, -0.76f, 0.8f}},
                                {{-1.35f, -0.82f, -0.8f}, {-0.95f, -0.76f, 0.8f}}},
                               m);
    AddGearLeg(model, gears, "C", {0, -0.35f, 5.0f}, {0, -1.2f, 5.0f}, {0, -1.6f, 5.0f}, 0.33f, 0.22f, m);
    AddGearLeg(model, gears, "L", {1.15f, -0.2f, 0.0f}, {1.2f, -1.1f, 0.0f}, {1.42f, -1.5f, 0.0f}, 0.43f,
               0.28f, m);
    AddGearLeg(model, gears, "R", {-1.15f, -0.2f, 0.0f}, {-1.2f, -1.1f, 0.0f}, {-1.42f, -1.5f, 0.0f}, 0.43f,
               0.28f, m);

    // The gun bay under the nose.
    AddWeaponDoor(model, root, {0, -0.78f, 3.4f}, 0.3f, 0.7f, 0.3f, m);

    int rack = 0;
    for (float s : {0.85f, 0.65f, 0.45f, 0.28f}) {
        for (int side = 0; side < 2; side++) {
            const Panel p = side == 0 ? wing : wing.Mirrored();
            AddRack(model, root, rack++, p.Point(s, 0.4f), 0.6f * p.Chord(s), 0.3f, m);
        }
    }

    layout.pilotSeat = {0, 0.75f, 4.6f};
    layout.gun = {0.35f, -0.55f, 6.6f};
    layout.condensationTrail = wing.Point(1, 0.5f);
    layout.damageTrail = {0, 0.2f, -7.0f};
    layout.nozzles = {{1.15f, -0.2f, -5.2f}, {-1.15f, -0.2f, -5.2f}};
    layout.nozzleDiameters = {0.8f, 0.8f};
    layout.wingOffset = QuarterChord(wing, 0.45f);
    layout.hStabilizerOffset = QuarterChord(tail, 0.45f);
    layout.vStabilizerOffset = QuarterChord(fin, 0.5f) * glm::vec3(0, 1, 1);
    layout.centerWheelRadius = 0.33f;
    layout.sideWheelRadius = 0.43f;
    layout.frontBottomSpring = {0, -0.75f, 6.5f};
    layout.rearBottomSpring = {0, -0.3f, -7.0f};
    layout.frontTopSpring = {0, -0.1f, 7.8f};
    layout.rearTopSpring = {0, fin.tipLe.y, -5.8f};
    layout.sideSpring = wing.Point(1, 0.5f);
    layout.racks = rack;
    return model;
}

Model FarAirplane(const Model& model) {
    // Under a pixel or hidden in flight that far away; the glass stays apart, drawn in its blended pass.
    const auto leftOut = [](const std::string& name) {
        for (const char* prefix : {"Gear", "Susp", "Wheel", "Pylon", "WeaponDoor"})
            if (name.rfind(prefix, 0) == 0)
                return true;
        return false;
    };
    ModelGeometry body, glass;
    for (const ModelAtomic& a : model.atomics) {
        const std::string& name = model.frames[size_t(a.frame)].name;
        if (leftOut(name))
            continue;
        ModelGeometry g = model.geometries[size_t(a.geometry)];
        TransformGeometry(g, model.RootMatrix(a.frame));
        Merge(name.rfind('_', 0) == 0 ? glass : body, g);
    }
    Model far;
    const int root = far.AddFrame(model.frames[0].name, -1, {0, 0, 0});
    far.AddPlacedPart("Fuselage", root, model.RootMatrix(model.FindFrame("Fuselage")), std::move(body));
    far.AddPlacedPart("_CabinGlass", root, model.RootMatrix(model.FindFrame("_CabinGlass")),
                      std::move(glass));
    return far;
}

namespace {

// A body part: a rounded limb between two points.
void Limb(MeshBuilder& b, glm::vec3 from, glm::vec3 to, float r0, float r1, const ModelMaterial& m) {
    b.Cylinder(from, to, r0, r1, 8, m);
}

// Torso, head and helmet with the hips at the origin; arms and legs from the given ends.
ModelGeometry Figure(glm::vec3 hands[2], glm::vec3 knees[2], glm::vec3 feet[2]) {
    const ModelMaterial suit = Colour(88, 98, 70), helmet = Colour(225, 225, 218), visor = Colour(30, 35, 45),
                        boots = Colour(35, 30, 28);
    ModelGeometry g;
    MeshBuilder b(g);
    b.Tube(Loft({{0.13f, 0.32f, 0, 0, 2},
                 {0.12f, 0.45f, 0.2f, 0.14f, 2.5f},
                 {-0.12f, 0.45f, 0.2f, 0.14f, 2.5f},
                 {-0.13f, 0.32f, 0, 0, 2}},
                8),
           suit, true); // chest
    Limb(b, {0, -0.02f, 0}, {0, 0.6f, 0}, 0.16f, 0.19f, suit);
    std::vector<Ring> head;
    for (const auto& [y, r] : std::vector<std::pair<float, float>>{
             {0.66f, 0}, {0.7f, 0.1f}, {0.8f, 0.14f}, {0.9f, 0.12f}, {0.96f, 0}})
        head.push_back(CircleRing({0, y, 0}, {0, 1, 0}, r, 10));
    b.Tube(head, helmet, true);
    b.Block({-0.09f, 0.76f, 0.1f}, {0.09f, 0.84f, 0.15f}, visor);
    for (int side = 0; side < 2; side++) {
        const float s = side == 0 ? 1.0f : -1.0f;
        const glm::vec3 shoulder(s * 0.2f, 0.55f, 0);
        Limb(b, shoulder, hands[side], 0.055f, 0.045f, suit);
        const glm::vec3 hip(s * 0.1f, 0, 0);
        Limb(b, hip, knees[side], 0.08f, 0.065f, suit);
        Limb(b, knees[side], feet[side], 0.065f, 0.055f, boots);
    }
    return g;
}

} // namespace

Model PilotFigure() {
    Model model;
    const int root = model.AddFrame("Pilot", -1, {0, 0, 0});
    {
        glm::vec3 hands[2] = {{0.15f, 0.15f, 0.35f}, {-0.15f, 0.15f, 0.35f}};
        glm::vec3 knees[2] = {{0.12f, 0.1f, 0.45f}, {-0.12f, 0.1f, 0.45f}};
        glm::vec3 feet[2] = {{0.12f, -0.35f, 0.6f}, {-0.12f, -0.35f, 0.6f}};
        model.AddPart("Sitting", root, {0, 0, 0}, Figure(hands, knees, feet));
    }
    {
        glm::vec3 hands[2] = {{0.75f, 0.75f, 0}, {-0.75f, 0.75f, 0}};
        glm::vec3 knees[2] = {{0.25f, -0.4f, 0}, {-0.25f, -0.4f, 0}};
        glm::vec3 feet[2] = {{0.35f, -0.85f, 0}, {-0.35f, -0.85f, 0}};
        // Falling free the figure's forward axis points against its flight, up while it falls: turned to
        // face along -z it falls belly down, arms and legs spread.
        model.AddPart("Flying", root, {0, 0, 0}, Figure(hands, knees, feet), {-1, 0, 0}, {0, 1, 0},
                      {0, 0, -1});
    }
    {
        glm::vec3 hands[2] = {{0.22f, 1.05f, 0.05f}, {-0.22f, 1.05f, 0.05f}};
        glm::vec3 knees[2] = {{0.1f, -0.45f, 0.02f}, {-0.1f, -0.45f, 0.02f}};
        glm::vec3 feet[2] = {{0.1f, -0.9f, 0}, {-0.1f, -0.9f, 0}};
        ModelGeometry hanging = Figure(hands, knees, feet);
        // The canopy: a shallow dome 6 m above, its rim tied to the shoulders by risers.
        std::vector<Ring> dome;
        for (const auto& [y, r] : std::vector<std::pair<float, float>>{
                 {5.6f, 0}, {5.55f, 1.6f}, {6.2f, 3.2f}, {7.2f, 2.2f}, {7.6f, 0}})
            dome.push_back(CircleRing({0, y, 0}, {0, 1, 0}, r, 16));
        MeshBuilder b(hanging);
        b.Tube(dome, Colour(230, 120, 40), true);
        for (int k = 0; k < 8; k++) {
            const float a = float(k) * Pi / 4;
            const glm::vec3 rim(3.0f * std::cos(a), 6.0f, 3.0f * std::sin(a));
            b.Cylinder({std::cos(a) > 0 ? 0.2f : -0.2f, 0.6f, 0}, rim, 0.012f, 0.012f, 4,
                       Colour(210, 210, 200));
        }
        // Under the canopy the figure's forward axis turns to the sky: the canopy stands along +z.
        model.AddPart("OnParachute", root, {0, 0, 0}, std::move(hanging), {1, 0, 0}, {0, 0, 1}, {0, -1, 0});
    }
    return model;
}

} // namespace Tools
