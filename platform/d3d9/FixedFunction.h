// The fixed-function pipeline as GLSL: programs generated from the state that shapes them, kept by that
// state's compact key, and one uniform block for the values that do not change the program.
#pragma once

#include <epoxy/gl.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>

namespace D3D9 {

struct StageKey {
    uint8_t colorOp, colorArg0, colorArg1, colorArg2;
    uint8_t alphaOp, alphaArg0, alphaArg1, alphaArg2;
    uint8_t resultTemp; // the stage writes the temporary register
    uint8_t texture;    // what is bound: 0 nothing, 1 a 2D texture, 2 a cube
    uint8_t coordIndex; // the vertex's texture coordinate set
    uint8_t coordGen;   // TEXCOORDINDEX >> 16: camera-space normal, position or reflection vector
    uint8_t transform;  // components out of the texture matrix (0: no transform)
    uint8_t projected;
};

enum FogKind : uint8_t { FogNone, FogVertex, FogTable, FogSpecularAlpha };

struct ProgramKey {
    // vertex input
    uint8_t pretransformed, normal, color0, color1;
    uint8_t texcoordSize[8]; // components per coordinate set, 0 when absent
    // vertex processing
    uint8_t lighting, localViewer, normalize, colorVertex, specular;
    uint8_t diffuseSource, ambientSource, specularSource, emissiveSource;
    uint8_t lightCount;
    uint8_t lightType[8];
    uint8_t fog, fogMode, fogRange, fogFromZ;
    uint8_t flat;
    // pixel processing
    uint8_t alphaFunc; // 0: no alpha test
    uint8_t stageCount;
    StageKey stage[8];

    bool operator==(const ProgramKey& other) const { return std::memcmp(this, &other, sizeof *this) == 0; }
};

struct ProgramKeyHash {
    size_t operator()(const ProgramKey& key) const;
};

// The uniform blocks, laid out by std140 rules (vec4 and mat4 only), one after another in one structure.
// Each block goes to GL in its own range, and only when it changed: a draw that moves the world matrix
// sends the transforms, not the whole state. A fragment stage declares only the small blocks it reads,
// since the software rasteriser copies a fragment stage's constants for every draw that changes them.
enum UniformBlock : unsigned {
    BlockTransforms,      // matrices and the viewport's mapping
    BlockTextureMatrices, // the stages' texture transforms
    BlockLighting,        // lights, material, ambient
    BlockPixels,          // texture factor, fog, alpha reference
    BlockStages,          // the stages' constants and bump matrices
    BlockCount
};

struct Uniforms {
    // Transforms
    float worldViewProj[16];
    float worldView[16];
    float normalMatrix[16];
    float screen[4];      // pre-transformed vertices: 2 / width, 2 / height, left and top of the mapping
    float pixelOffset[4]; // half-pixel shift in clip units (x, y); depth scale and offset for rhw vertices
    // TextureMatrices
    float textureMatrix[8][16];
    // Lighting
    float lightDiffuse[8][4];
    float lightSpecular[8][4];
    float lightAmbient[8][4];
    float lightPosition[8][4];    // camera space; w = range
    float lightDirection[8][4];   // camera space, unit; w = falloff
    float lightAttenuation[8][4]; // constant, linear, quadratic
    float lightSpot[8][4];        // cos(theta / 2), cos(phi / 2)
    float materialDiffuse[4];
    float materialAmbient[4];
    float materialSpecular[4];
    float materialEmissive[4];
    float materialPower[4];
    float globalAmbient[4];
    // Pixels
    float textureFactor[4];
    float fogColor[4];
    float fog[4];      // start, end, density
    float alphaRef[4]; // reference in 0..255
    // Stages
    float stageConstant[8][4];
    float bumpEnv[8][4]; // each stage's bump-environment matrix: 00, 01, 10, 11
};

// Where each block lies in Uniforms, in bytes: [begin, end).
struct UniformRange {
    size_t begin, end;
};
extern const UniformRange uniformRanges[BlockCount];

// Compiles and links a program from its two stages' sources; 0, with GL's reasons on stderr, when a stage
// does not compile or the program does not link.
GLuint LinkProgram(const char* vertexSource, const char* fragmentSource);
// Points sampler uniforms, by name, at texture units, leaving the program in use as it was.
void SetSamplerUnits(GLuint program, std::initializer_list<std::pair<const char*, GLint>> units);

// Points a program's uniform blocks at their bindings (the UniformBlock numbers) and its samplers "texture0"
// to "texture7" at units 0-7.
void BindProgramResources(GLuint program);
// The GLSL of the uniform blocks in a mask (bits 1 << UniformBlock), and of a fog factor from a distance
// for a fog mode (D3DFOG_*).
std::string UniformBlockSource(unsigned blocks);
// What a vertex stage declares: every block but the stages' constants. A fragment stage declares the pixel
// block, and the stages' block where it reads a constant or a bump matrix.
constexpr unsigned VertexBlocks =
    (1u << BlockTransforms) | (1u << BlockTextureMatrices) | (1u << BlockLighting) | (1u << BlockPixels);
std::string FogFactorSource(uint8_t mode, const char* distance);
// The stages of a key that sample a bound texture (bit i for stage i): only they get a sampler and
// texture coordinates.
unsigned SampledStages(const ProgramKey& key);

class ProgramCache {
public:
    ProgramCache() = default;
    ~ProgramCache();
    ProgramCache(const ProgramCache&) = delete;
    ProgramCache& operator=(const ProgramCache&) = delete;

    // The program for a key, built on first use; 0 when GL refuses it. The program in use is not changed.
    GLuint Get(const ProgramKey& key);
    size_t Size() const { return programs_.size(); }
    void Clear();

    // everyStage: coordinates for every stage, for a pixel shader, rather than for the stages that sample.
    static std::string VertexSource(const ProgramKey& key, bool everyStage = false);
    static std::string FragmentSource(const ProgramKey& key);

private:
    std::unordered_map<ProgramKey, GLuint, ProgramKeyHash> programs_;
};

} // namespace D3D9
