// Procedural mesh building: closed shells lofted through rings of points (fuselages, wings, hulls,
// wheels, boxes, prisms), with normals, texture coordinates in metres of the material's repeat and one
// material per shell. Every shell is closed and comes out wound with its normals outward.
#pragma once

#include "tools/models/Model.h"

#include <vector>

namespace Tools {

using Ring = std::vector<glm::vec3>;

// A ring of n points around the z axis at z: a superellipse of the given half width (x) and half height
// (y) around (cx, cy); exponent 2 is an ellipse, larger values are boxier. Counter-clockwise about +z.
Ring EllipseRing(float z, float cx, float cy, float halfWidth, float halfHeight, int n,
                 float exponent = 2.0f);
// Half thickness of a symmetric four-digit airfoil of relative thickness t at chord fraction x in [0, 1].
float AirfoilThickness(float t, float x);
// A closed airfoil section between chord fractions x0 and x1 (x1 = 1 ends at a sharp trailing edge, a
// smaller value at a flat cut), placed with its leading edge at le, the chord along chordDir (unit, front
// to back) and thickness along thickDir (unit).
Ring AirfoilRing(glm::vec3 le, float chord, float t, float x0, float x1, glm::vec3 chordDir,
                 glm::vec3 thickDir, int n = 10);
// A ring of n points around an axis through centre (unit axis), radius r.
Ring CircleRing(glm::vec3 centre, glm::vec3 axis, float r, int n);

class MeshBuilder {
public:
    explicit MeshBuilder(ModelGeometry& geometry) : g(geometry) {}

    // The material's index in the geometry, appended when new.
    uint16_t Use(const ModelMaterial& material);

    // A closed shell through the rings (equal point counts; a ring whose points coincide is an apex). Open
    // ends get flat caps. Smooth shells share normals around each ring; flat ones have a normal per face.
    void Tube(const std::vector<Ring>& rings, const ModelMaterial& material, bool smooth);
    // A box around centre with half sizes along the given axes (unit, default the model's axes).
    void Box(glm::vec3 centre, glm::vec3 half, const ModelMaterial& material, glm::vec3 ax = {1, 0, 0},
             glm::vec3 ay = {0, 1, 0}, glm::vec3 az = {0, 0, 1});
    // A box from min to max along the model's axes.
    void Block(glm::vec3 min, glm::vec3 max, const ModelMaterial& material);
    // A cylinder or cone frustum from a (radius ra) to b (radius rb); a radius of 0 makes a point.
    void Cylinder(glm::vec3 a, glm::vec3 b, float ra, float rb, int sides, const ModelMaterial& material,
                  bool smooth = true);
    // A convex outline in the xy plane (counter-clockwise or not) extruded from z0 to z1, flat faced.
    void Prism(const std::vector<glm::vec2>& outline, float z0, float z1, const ModelMaterial& material);
    // A flat, one-sided convex polygon facing +y (shadows, markings); leaves the geometry open.
    void Sheet(const std::vector<glm::vec3>& outline, const ModelMaterial& material);

private:
    uint16_t Vertex(glm::vec3 p, glm::vec3 n, glm::vec2 uv);
    void Triangle(uint16_t a, uint16_t b, uint16_t c, uint16_t material);

    ModelGeometry& g;
};

// Geometry changes, in place.
void TransformGeometry(ModelGeometry& geometry, const glm::mat4& matrix);
// Mirror image in x (a left part made into the right one): positions and normals mirrored, winding kept
// outward.
void MirrorX(ModelGeometry& geometry);
// Appends b's vertices, triangles and materials to a (materials merged by value).
void Merge(ModelGeometry& a, const ModelGeometry& b);

// Shape checks used by the tests and by the generator before it writes.
struct ShapeReport {
    bool closed = false;         // in every shell each edge (welded by position) meets two triangles
    bool consistent = false;     // no edge runs twice the same way (winding agrees across edges)
    bool shellsPositive = false; // every closed shell encloses a positive volume (faces point out)
    bool normalsOutward = false; // every vertex normal agrees with its triangles' winding
    float volume = 0;            // signed volume (positive when the winding faces out)
    glm::vec3 min{0}, max{0};    // bounds
    int degenerate = 0;          // triangles of (near) zero area
};
ShapeReport CheckShape(const ModelGeometry& geometry);

} // namespace Tools
