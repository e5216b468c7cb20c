#include "tools/models/Ordnance.h"

#include "tools/models/Parts.h"

#include <cmath>

namespace Tools {
namespace {

constexpr float Pi = 3.14159265358979f;

// A round body along z: (z, radius) stations from the nose back; a radius of 0 closes to a point. Far away
// it has six sides.
void Body(MeshBuilder& b, const std::vector<std::pair<float, float>>& stations, const ModelMaterial& m,
          bool far) {
    std::vector<Ring> rings;
    for (const auto& [z, r] : stations)
        rings.push_back(CircleRing({0, 0, z}, {0, 0, 1}, r, far ? 6 : 14));
    b.Tube(rings, m, true);
}

// Four thin fins round the body, at 45 degrees (x-shaped) or on the axes (plus-shaped).
void Fins(MeshBuilder& b, float radius, float span, float zFront, float zBack, float tipChord, bool cross,
          const ModelMaterial& m, bool far) {
    // Far away they are under a pixel.
    if (far)
        return;
    for (int k = 0; k < 4; k++) {
        const float a = (cross ? Pi / 4 : 0) + float(k) * Pi / 2;
        const glm::vec3 out(std::cos(a), std::sin(a), 0);
        const glm::vec3 across(-std::sin(a), std::cos(a), 0);
        const float t = 0.008f + span * 0.02f;
        const glm::vec3 root = out * (radius * 0.9f), tip = out * (radius + span);
        const float chord = zFront - zBack;
        b.Tube({{root + glm::vec3(0, 0, zFront) + across * t, root + glm::vec3(0, 0, zFront) - across * t,
                 root + glm::vec3(0, 0, zBack) - across * t, root + glm::vec3(0, 0, zBack) + across * t},
                {tip + glm::vec3(0, 0, zBack + tipChord) + across * t,
                 tip + glm::vec3(0, 0, zBack + tipChord) - across * t,
                 tip + glm::vec3(0, 0, zBack) - across * t, tip + glm::vec3(0, 0, zBack) + across * t}},
               m, false);
        (void)chord;
    }
}

Model Single(const std::string& name, ModelGeometry geometry) {
    Model model;
    const int root = model.AddFrame(name, -1, {0, 0, 0});
    model.AddPart(name + "Body", root, {0, 0, 0}, std::move(geometry));
    return model;
}

const ModelMaterial White = Colour(232, 232, 226);
const ModelMaterial Grey = Colour(150, 152, 155);
const ModelMaterial Seeker = Colour(40, 45, 55);
const ModelMaterial Olive = Textured("metal", 1.0f, 105, 115, 85);

} // namespace

Model ShortRangeMissile(bool far) {
    ModelGeometry g;
    MeshBuilder b(g);
    Body(b, {{1.45f, 0}, {1.36f, 0.04f}, {1.25f, 0.062f}, {-1.42f, 0.064f}, {-1.45f, 0.05f}}, White, far);
    Body(b, {{1.47f, 0}, {1.42f, 0.03f}, {1.37f, 0.038f}, {1.33f, 0.03f}}, Seeker, far);
    Fins(b, 0.064f, 0.2f, -1.05f, -1.43f, 0.16f, true, Grey, far);
    Fins(b, 0.064f, 0.11f, 1.05f, 0.85f, 0.08f, true, Grey, far);
    return Single("ShortAAM", std::move(g));
}

Model MediumRangeMissile(bool far) {
    ModelGeometry g;
    MeshBuilder b(g);
    Body(b, {{1.85f, 0}, {1.65f, 0.07f}, {1.35f, 0.095f}, {-1.8f, 0.095f}, {-1.85f, 0.08f}}, White, far);
    Fins(b, 0.095f, 0.22f, 0.3f, -0.35f, 0.1f, true, Grey, far);
    Fins(b, 0.095f, 0.2f, -1.45f, -1.84f, 0.18f, true, Grey, far);
    return Single("MediumAAM", std::move(g));
}

Model SurfaceToAirMissile(bool far) {
    ModelGeometry g;
    MeshBuilder b(g);
    Body(b, {{2.75f, 0}, {2.45f, 0.12f}, {2.0f, 0.2f}, {-2.7f, 0.2f}, {-2.75f, 0.17f}}, White, far);
    Fins(b, 0.2f, 0.45f, 0.9f, -0.6f, 0.15f, false, Grey, far);
    Fins(b, 0.2f, 0.4f, -2.1f, -2.74f, 0.3f, false, Grey, far);
    return Single("Sam", std::move(g));
}

Model Bomb(bool far) {
    ModelGeometry g;
    MeshBuilder b(g);
    Body(b,
         {{1.15f, 0},
          {1.05f, 0.07f},
          {0.8f, 0.15f},
          {0.45f, 0.18f},
          {-0.45f, 0.18f},
          {-0.9f, 0.12f},
          {-1.1f, 0.07f}},
         Olive, far);
    Fins(b, 0.09f, 0.2f, -0.75f, -1.15f, 0.3f, true, Olive, far);
    return Single("Bomb", std::move(g));
}

Model Rocket(bool far) {
    ModelGeometry g;
    MeshBuilder b(g);
    Body(b, {{0.65f, 0}, {0.55f, 0.03f}, {0.45f, 0.04f}, {-0.65f, 0.04f}}, Olive, far);
    Fins(b, 0.04f, 0.06f, -0.5f, -0.65f, 0.1f, false, Grey, far);
    return Single("Rocket", std::move(g));
}

Model RocketPod(bool far) {
    ModelGeometry g;
    MeshBuilder b(g);
    Body(b, {{0.9f, 0.2f}, {0.85f, 0.23f}, {-0.7f, 0.23f}, {-0.9f, 0.14f}}, Olive, far);
    // The tube mouths: a dark disc with the rocket tips inside it.
    Body(b, {{0.915f, 0.19f}, {0.895f, 0.19f}}, Seeker, far);
    for (int k = 0; k < (far ? 0 : 6); k++) {
        const float a = float(k) * Pi / 3;
        const glm::vec3 at(0.12f * std::cos(a), 0.12f * std::sin(a), 0.9f);
        b.Cylinder(at, at + glm::vec3(0, 0, 0.05f), 0.03f, 0, 6, Grey);
    }
    return Single("RocketPod", std::move(g));
}

Model FuelTank(bool far) {
    ModelGeometry g;
    MeshBuilder b(g);
    Body(b,
         {{2.1f, 0},
          {1.9f, 0.12f},
          {1.4f, 0.27f},
          {0.9f, 0.3f},
          {-0.9f, 0.3f},
          {-1.6f, 0.24f},
          {-2.05f, 0.08f},
          {-2.1f, 0}},
         Colour(200, 204, 206), far);
    Fins(b, 0.2f, 0.12f, -1.5f, -1.95f, 0.2f, false, Grey, far);
    return Single("FuelTank", std::move(g));
}

} // namespace Tools
