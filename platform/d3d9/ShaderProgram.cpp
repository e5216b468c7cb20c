#include "platform/d3d9/ShaderProgram.h"

#include "platform/d3d9/ShaderTranslator.h"

#include <string>

namespace D3D9 {

size_t ShaderProgramKeyHash::operator()(const ShaderProgramKey& key) const {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&key);
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < sizeof key; ++i)
        h = (h ^ bytes[i]) * 1099511628211ull;
    return size_t(h);
}

const ShaderProgram& ShaderProgramCache::Get(const ShaderProgramKey& key,
                                             const std::vector<DWORD>* vertexTokens,
                                             const std::vector<DWORD>* pixelTokens) {
    auto found = programs_.find(key);
    if (found != programs_.end())
        return found->second;
    // Each half passes on only the texture coordinates the pixel half reads.
    const unsigned coordinates =
        pixelTokens ? (1u << PixelShaderStages(pixelTokens->data(), pixelTokens->size())) - 1u
                    : SampledStages(key.fixed);
    std::string vertex =
        vertexTokens ? TranslateVertexShader(vertexTokens->data(), vertexTokens->size(), key.flat,
                                             key.fog == FogTable, key.fogFromZ != 0, key.fogMode, coordinates)
                     : ProgramCache::VertexSource(key.fixed, true);
    PixelShaderOptions options;
    options.flat = key.flat;
    options.cubeMask = key.cubeMask;
    options.alphaFunc = key.alphaFunc;
    options.fog = key.fog;
    options.fogMode = key.fogMode;
    std::string pixel = pixelTokens ? TranslatePixelShader(pixelTokens->data(), pixelTokens->size(), options)
                                    : ProgramCache::FragmentSource(key.fixed);
    ShaderProgram p;
    if (!vertex.empty() && !pixel.empty())
        p.program = LinkProgram(vertex.c_str(), pixel.c_str());
    if (p.program) {
        BindProgramResources(p.program);
        p.vertexConstants = glGetUniformLocation(p.program, "vc");
        p.pixelConstants = glGetUniformLocation(p.program, "pc");
    }
    return programs_.emplace(key, p).first->second;
}

void ShaderProgramCache::Clear() {
    for (auto& [key, p] : programs_)
        if (p.program)
            glDeleteProgram(p.program);
    programs_.clear();
}

ShaderProgramCache::~ShaderProgramCache() {
    Clear();
}

} // namespace D3D9
