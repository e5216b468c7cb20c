// vs_1_1 and ps_1_1 to ps_1_3 token streams as GLSL 3.30. The programs meet the fixed-function pipeline's
// (FixedFunction.h) at its varyings (vDiffuse, vSpecular, vFog, vTexcoordN), so a shader of one kind draws
// with the fixed function of the other. Vertex constants are "uniform vec4 vc[96]", pixel constants
// "uniform vec4 pc[8]"; the bump-environment matrices of the stages are the uniform block's bumpEnv.
#pragma once

#include <d3d9.h>

#include <cstdint>
#include <string>

namespace D3D9 {

constexpr unsigned VertexShaderConstants = 96;
constexpr unsigned PixelShaderConstants = 8;

// What the pixel program depends on beyond its tokens.
struct PixelShaderOptions {
    bool flat = false;     // the varyings it meets are flat (D3DSHADE_FLAT)
    uint8_t cubeMask = 0;  // stages whose texture is a cube
    uint8_t alphaFunc = 0; // D3DCMPFUNC of the alpha test, 0 when off
    uint8_t fog = 0;       // FogKind of the fixed function
    uint8_t fogMode = 0;   // D3DFOG_* of table fog
};

// Empty when the stream is one the translator takes, else why not.
std::string CheckShader(const DWORD* tokens, size_t count);

// GLSL sources; empty when CheckShader refuses the stream.
// Table fog takes its distance from the position the shader writes (z / w when tableFogFromZ, else w) rather
// than from oFog, as Direct3D does; linear table fog (tableFogMode D3DFOG_LINEAR) passes the factor on, which
// the pixel program clamps. Only the texture coordinate sets in coordinateMask (bit i for vTexcoordi), those
// the pixel program reads, are passed on.
std::string TranslateVertexShader(const DWORD* tokens, size_t count, bool flat, bool tableFog = false,
                                  bool tableFogFromZ = false, uint8_t tableFogMode = 0,
                                  unsigned coordinateMask = 0xFFu);
std::string TranslatePixelShader(const DWORD* tokens, size_t count, const PixelShaderOptions& options);

// How many texture stages a pixel shader samples or reads coordinates of (highest stage + 1).
int PixelShaderStages(const DWORD* tokens, size_t count);

} // namespace D3D9
