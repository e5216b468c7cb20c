// Pieces shared by the sample models: the common materials, lofted bodies, lifting surfaces with their
// hinge frames, wheels.
#pragma once

#include "tools/models/Shapes.h"

namespace Tools {

ModelMaterial Colour(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255);
ModelMaterial Textured(const std::string& texture, float metresPerRepeat, uint8_t r = 255, uint8_t g = 255,
                       uint8_t b = 255);

// One station of a lofted body: a superellipse across z (apex when both half sizes are 0).
struct Station {
    float z, cy, halfWidth, halfHeight, exponent;
};
std::vector<Ring> Loft(const std::vector<Station>& stations, int sides);

// A straight tapered lifting surface between a root and a tip section; chord fractions and span fractions
// choose pieces of it (the fixed surface, a control surface behind its hinge line).
struct Panel {
    glm::vec3 rootLe{0}, tipLe{0};
    float rootChord = 1, tipChord = 1, thickness = 0.06f;
    glm::vec3 thick{0, 1, 0}; // across the chord plane
    int points = 10;          // chord stations of a section's upper and lower sides

    float Chord(float s) const { return rootChord + (tipChord - rootChord) * s; }
    glm::vec3 Point(float s, float x) const; // on the chord plane at span fraction s, chord fraction x
    Ring Section(float s, float x0, float x1) const;
    ModelGeometry Shell(float s0, float s1, float x0, float x1, const ModelMaterial& material) const;
    // The hinge frame of the piece behind chord fraction x between s0 and s1: at the hinge line's middle,
    // right along the hinge (towards rightSense), up across the surface (towards upSense).
    glm::mat4 Hinge(float s0, float s1, float x, glm::vec3 rightSense, glm::vec3 upSense) const;
    Panel Mirrored() const; // the same surface on the other side (x negated)
};

// A wheel (tyre and hub) around centre with its axle along x.
ModelGeometry Wheel(glm::vec3 centre, float radius, float width, const ModelMaterial& tyre,
                    const ModelMaterial& hub);

} // namespace Tools
