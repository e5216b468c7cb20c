#include "tools/models/Parts.h"

namespace Tools {

ModelMaterial Colour(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    ModelMaterial m;
    m.colour = {r, g, b, a};
    return m;
}

ModelMaterial Textured(const std::string& texture, float metresPerRepeat, uint8_t r, uint8_t g, uint8_t b) {
    ModelMaterial m = Colour(r, g, b);
    m.texture = texture;
    m.metresPerRepeat = metresPerRepeat;
    return m;
}

std::vector<Ring> Loft(const std::vector<Station>& stations, int sides) {
    std::vector<Ring> rings;
    for (const Station& s : stations)
        rings.push_back(EllipseRing(s.z, 0, s.cy, s.halfWidth, s.halfHeight, sides, s.exponent));
    return rings;
}

glm::vec3 Panel::Point(float s, float x) const {
    return rootLe + (tipLe - rootLe) * s + glm::vec3(0, 0, -1) * (x * Chord(s));
}

Ring Panel::Section(float s, float x0, float x1) const {
    return AirfoilRing(rootLe + (tipLe - rootLe) * s, Chord(s), thickness, x0, x1, {0, 0, -1}, thick, points);
}

ModelGeometry Panel::Shell(float s0, float s1, float x0, float x1, const ModelMaterial& material) const {
    ModelGeometry g;
    MeshBuilder(g).Tube({Section(s0, x0, x1), Section(s1, x0, x1)}, material, true);
    return g;
}

glm::mat4 Panel::Hinge(float s0, float s1, float x, glm::vec3 rightSense, glm::vec3 upSense) const {
    const glm::vec3 a = Point(s0, x), b = Point(s1, x);
    glm::vec3 right = glm::normalize(b - a);
    if (glm::dot(right, rightSense) < 0)
        right = -right;
    glm::vec3 up = thick;
    if (glm::dot(up, upSense) < 0)
        up = -up;
    return FrameMatrix((a + b) * 0.5f, right, up);
}

Panel Panel::Mirrored() const {
    Panel p = *this;
    p.rootLe.x = -p.rootLe.x;
    p.tipLe.x = -p.tipLe.x;
    p.thick.x = -p.thick.x;
    return p;
}

ModelGeometry Wheel(glm::vec3 centre, float radius, float width, const ModelMaterial& tyre,
                    const ModelMaterial& hub) {
    ModelGeometry g;
    MeshBuilder b(g);
    const glm::vec3 half(width * 0.5f, 0, 0);
    b.Tube({CircleRing(centre - half, {1, 0, 0}, radius * 0.8f, 16),
            CircleRing(centre - half * 0.8f, {1, 0, 0}, radius, 16),
            CircleRing(centre + half * 0.8f, {1, 0, 0}, radius, 16),
            CircleRing(centre + half, {1, 0, 0}, radius * 0.8f, 16)},
           tyre, true);
    b.Cylinder(centre - half * 1.05f, centre + half * 1.05f, radius * 0.5f, radius * 0.5f, 12, hub);
    return g;
}

} // namespace Tools
