// The sample models as the model writer builds them: one record per engine object of a clump (frames,
// geometries with their materials and triangles, atomics), so that writing is a one-to-one copy.
// Axes are the engine's: right-handed, y up, a model's nose or front along +z, so +x is its left side.
// Triangles wind counter-clockwise seen from outside: (b - a) x (c - a) points out of the shape.
#pragma once

#include <glm/glm.hpp>

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace Tools {

// A material's rendering effect, written through the material-effects plugin: a reflection of the sky over
// the surface (glass, wet paint) or a second texture pass multiplied over it (grime, wear).
struct ModelEffect {
    enum class Kind : uint8_t { None, Reflection, SecondPass } kind = Kind::None;
    std::string texture;      // the reflected picture or the second pass's texture
    float coefficient = 0.0f; // how strongly the reflection shows

    bool operator==(const ModelEffect&) const = default;
};

struct ModelMaterial {
    std::array<uint8_t, 4> colour{255, 255, 255, 255};
    std::string texture; // texture name without extension, empty for none
    float ambient = 1.0f, specular = 1.0f, diffuse = 1.0f;
    float metresPerRepeat = 4.0f; // texture scale of the generated coordinates (not written)
    ModelEffect effect;

    bool operator==(const ModelMaterial&) const = default;
};

struct ModelTriangle {
    std::array<uint16_t, 3> vertices{};
    uint16_t material = 0;
};

// One engine geometry with one morph target: positions, normals, one texture coordinate set.
struct ModelGeometry {
    std::vector<glm::vec3> positions;
    std::vector<glm::vec3> normals;
    std::vector<glm::vec2> uvs;
    std::vector<ModelTriangle> triangles;
    std::vector<ModelMaterial> materials;
    std::vector<uint32_t> shells; // first triangle of each shell (closed piece) the geometry is made of
    bool open = false;            // holds flat sheets (shadows), not only closed shells
    bool strips = false;          // its meshes are written as triangle strips rather than lists
    // One-string user-data arrays of the geometry: name and text.
    std::vector<std::pair<std::string, std::string>> userData;
};

// A frame of the hierarchy: parents come before their children; frame 0 is the root. The matrix is the
// frame's modelling matrix relative to its parent, as right, up and at axes and a position.
struct ModelFrame {
    std::string name; // written as the frame's one-string user-data array "1.blindName"
    int parent = -1;
    glm::vec3 right{1, 0, 0}, up{0, 1, 0}, at{0, 0, 1}, position{0, 0, 0};
};

struct ModelAtomic {
    int frame = 0;
    int geometry = 0;
    uint8_t flags = 0x05; // collision test and render
};

// A light of the clump, on a frame (it shines along the frame's at axis): a point light or a spot light.
struct ModelLight {
    int frame = 0;
    bool spot = false;
    glm::vec3 colour{1, 1, 1};
    float radius = 10.0f;
    float coneDegrees = 45.0f; // spots: the half angle of the cone
};

struct Model {
    std::vector<ModelFrame> frames;
    std::vector<ModelGeometry> geometries;
    std::vector<ModelAtomic> atomics;
    std::vector<ModelLight> lights;
    bool collisionTrees = false; // every geometry gets a collision tree (large models that are hit)
    bool animated = false;       // an animation hierarchy over all frames, on the root frame

    // A new frame under a parent at a position (axes as given); returns its index.
    int AddFrame(const std::string& name, int parent, glm::vec3 position, glm::vec3 right = {1, 0, 0},
                 glm::vec3 up = {0, 1, 0}, glm::vec3 at = {0, 0, 1});
    // A named part: a frame with one atomic drawing the geometry, which is given in the frame's space.
    int AddPart(const std::string& name, int parent, glm::vec3 position, ModelGeometry geometry,
                glm::vec3 right = {1, 0, 0}, glm::vec3 up = {0, 1, 0}, glm::vec3 at = {0, 0, 1});

    // The same with the frame placed by its matrix relative to the root, and the geometry given in the
    // root's space (both are brought into the parent's and the frame's own space).
    int AddPlacedFrame(const std::string& name, int parent, const glm::mat4& rootMatrix);
    int AddPlacedPart(const std::string& name, int parent, const glm::mat4& rootMatrix,
                      ModelGeometry geometry);

    // Index of the frame with that name (case-sensitive), or -1.
    int FindFrame(const std::string& name) const;
    // The frame's matrix relative to the root, as a 4 x 4 with right, up, at and position columns.
    glm::mat4 RootMatrix(int frame) const;
};

// A frame matrix from a position and its right and up axes (at = right x up).
glm::mat4 FrameMatrix(glm::vec3 position, glm::vec3 right = {1, 0, 0}, glm::vec3 up = {0, 1, 0});

} // namespace Tools
