// Linked programs for draws with a vertex or pixel shader bound, the other half from the fixed function.
#pragma once

#include "platform/d3d9/FixedFunction.h"

#include <d3d9.h>

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace D3D9 {

struct ShaderProgramKey {
    uint64_t vertexShader = 0, pixelShader = 0; // shader ids, 0 for the fixed function
    ProgramKey fixed{};                         // the fixed-function half's state, zero without one
    uint8_t flat = 0, cubeMask = 0, alphaFunc = 0, fog = 0, fogMode = 0;
    uint8_t fogFromZ = 0; // table fog by depth rather than by w
    uint8_t unused[2]{};

    bool operator==(const ShaderProgramKey& other) const {
        return std::memcmp(this, &other, sizeof *this) == 0;
    }
};

struct ShaderProgramKeyHash {
    size_t operator()(const ShaderProgramKey& key) const;
};

struct ShaderProgram {
    GLuint program = 0;
    GLint vertexConstants = -1, pixelConstants = -1;
};

class ShaderProgramCache {
public:
    ShaderProgramCache() = default;
    ~ShaderProgramCache();
    ShaderProgramCache(const ShaderProgramCache&) = delete;
    ShaderProgramCache& operator=(const ShaderProgramCache&) = delete;

    // The program for a key and the shaders' tokens (null for the fixed-function half), linked on first
    // use; its program is 0 when GL refuses it.
    const ShaderProgram& Get(const ShaderProgramKey& key, const std::vector<DWORD>* vertexTokens,
                             const std::vector<DWORD>* pixelTokens);
    size_t Size() const { return programs_.size(); }
    void Clear();

private:
    std::unordered_map<ShaderProgramKey, ShaderProgram, ShaderProgramKeyHash> programs_;
};

} // namespace D3D9
