#include "platform/d3d9/FixedFunction.h"

#include <d3d9.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace D3D9 {
namespace {

// The blocks' GLSL, in the order and layout of Uniforms.
const char* const blockNames[BlockCount] = {"Transforms", "TextureMatrices", "Lighting", "Pixels", "Stages"};
const char* const blockSources[BlockCount] = {
    R"(layout(std140) uniform Transforms {
    mat4 worldViewProj;
    mat4 worldView;
    mat4 normalMatrix;
    vec4 screen;
    vec4 pixelOffset;
};
)",
    R"(layout(std140) uniform TextureMatrices {
    mat4 textureMatrix[8];
};
)",
    R"(layout(std140) uniform Lighting {
    vec4 lightDiffuse[8];
    vec4 lightSpecular[8];
    vec4 lightAmbient[8];
    vec4 lightPosition[8];
    vec4 lightDirection[8];
    vec4 lightAttenuation[8];
    vec4 lightSpot[8];
    vec4 materialDiffuse;
    vec4 materialAmbient;
    vec4 materialSpecular;
    vec4 materialEmissive;
    vec4 materialPower;
    vec4 globalAmbient;
};
)",
    R"(layout(std140) uniform Pixels {
    vec4 textureFactor;
    vec4 fogColor;
    vec4 fogParameters;
    vec4 alphaRef;
};
)",
    R"(layout(std140) uniform Stages {
    vec4 stageConstant[8];
    vec4 bumpEnv[8];
};
)"};

// Whether a fragment stage reads the stages' block: a stage constant as an argument, or a bump matrix.
bool ReadsStageBlock(const ProgramKey& k) {
    auto constant = [](uint8_t arg) { return (arg & D3DTA_SELECTMASK) == D3DTA_CONSTANT; };
    for (int i = 0; i < k.stageCount; ++i) {
        const StageKey& st = k.stage[i];
        if (st.colorOp == D3DTOP_BUMPENVMAP || st.colorOp == D3DTOP_BUMPENVMAPLUMINANCE ||
            constant(st.colorArg0) || constant(st.colorArg1) || constant(st.colorArg2) ||
            constant(st.alphaArg0) || constant(st.alphaArg1) || constant(st.alphaArg2))
            return true;
    }
    return false;
}

std::string Format(const char* pattern, auto... values) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, pattern, values...);
    return buffer;
}

bool UsesTexture(const StageKey& s) {
    auto isTexture = [](uint8_t arg) { return (arg & D3DTA_SELECTMASK) == D3DTA_TEXTURE; };
    bool colorUses =
        isTexture(s.colorArg1) || isTexture(s.colorArg2) ||
        ((s.colorOp == D3DTOP_MULTIPLYADD || s.colorOp == D3DTOP_LERP) && isTexture(s.colorArg0)) ||
        s.colorOp == D3DTOP_BLENDTEXTUREALPHA || s.colorOp == D3DTOP_BLENDTEXTUREALPHAPM ||
        s.colorOp == D3DTOP_BUMPENVMAP;
    bool alphaUses =
        s.alphaOp != D3DTOP_DISABLE &&
        (isTexture(s.alphaArg1) || isTexture(s.alphaArg2) ||
         ((s.alphaOp == D3DTOP_MULTIPLYADD || s.alphaOp == D3DTOP_LERP) && isTexture(s.alphaArg0)) ||
         s.alphaOp == D3DTOP_BLENDTEXTUREALPHA || s.alphaOp == D3DTOP_BLENDTEXTUREALPHAPM);
    return colorUses || alphaUses;
}

} // namespace

unsigned SampledStages(const ProgramKey& k) {
    unsigned mask = 0;
    for (int i = 0; i < k.stageCount; ++i)
        if (k.stage[i].texture && UsesTexture(k.stage[i]))
            mask |= 1u << i;
    return mask;
}

namespace {

// The colour source of a material component: a vertex colour when COLORVERTEX asks and the vertex has it.
std::string MaterialSource(const ProgramKey& k, uint8_t source, const char* material) {
    if (k.colorVertex && source == D3DMCS_COLOR1 && k.color0)
        return "inColor0";
    if (k.colorVertex && source == D3DMCS_COLOR2 && k.color1)
        return "inColor1";
    return material;
}

std::string FogFactor(uint8_t mode, const char* distance) {
    switch (mode) {
    case D3DFOG_LINEAR:
        return Format("clamp((fogParameters.y - %s) / (fogParameters.y - fogParameters.x), 0.0, 1.0)",
                      distance);
    case D3DFOG_EXP:
        return Format("clamp(exp(-(%s) * fogParameters.z), 0.0, 1.0)", distance);
    case D3DFOG_EXP2:
        return Format("clamp(exp(-((%s) * fogParameters.z) * ((%s) * fogParameters.z)), 0.0, 1.0)", distance,
                      distance);
    default:
        return "1.0";
    }
}

// An argument of a stage as a vec4 expression.
std::string Argument(uint8_t arg, int stage) {
    std::string base;
    switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE:
        base = "diffuse";
        break;
    case D3DTA_CURRENT:
        base = "current";
        break;
    case D3DTA_TEXTURE:
        base = Format("texel%d", stage);
        break;
    case D3DTA_TFACTOR:
        base = "textureFactor";
        break;
    case D3DTA_SPECULAR:
        base = "specular";
        break;
    case D3DTA_TEMP:
        base = "temp";
        break;
    case D3DTA_CONSTANT:
        base = Format("stageConstant[%d]", stage);
        break;
    default:
        base = "vec4(1.0)";
        break;
    }
    if (arg & D3DTA_COMPLEMENT)
        base = "(vec4(1.0) - " + base + ")";
    if (arg & D3DTA_ALPHAREPLICATE)
        base = "vec4(" + base + ".a)";
    return base;
}

// One operation on the colour (".rgb") or the alpha (".a") part.
std::string Operation(uint8_t op, const std::string& a0, const std::string& a1, const std::string& a2,
                      std::string_view part, int stage) {
    std::string p(part);
    std::string x0 = a0 + p, x1 = a1 + p, x2 = a2 + p;
    bool rgb = part == ".rgb";
    auto blend = [&](const std::string& f) { return x1 + " * " + f + " + " + x2 + " * (1.0 - " + f + ")"; };
    switch (op) {
    case D3DTOP_SELECTARG1:
        return x1;
    case D3DTOP_SELECTARG2:
        return x2;
    case D3DTOP_MODULATE:
        return x1 + " * " + x2;
    case D3DTOP_MODULATE2X:
        return "2.0 * " + x1 + " * " + x2;
    case D3DTOP_MODULATE4X:
        return "4.0 * " + x1 + " * " + x2;
    case D3DTOP_ADD:
        return x1 + " + " + x2;
    case D3DTOP_ADDSIGNED:
        return x1 + " + " + x2 + " - 0.5";
    case D3DTOP_ADDSIGNED2X:
        return "2.0 * (" + x1 + " + " + x2 + " - 0.5)";
    case D3DTOP_SUBTRACT:
        return x1 + " - " + x2;
    case D3DTOP_ADDSMOOTH:
        return x1 + " + " + x2 + " - " + x1 + " * " + x2;
    case D3DTOP_BLENDDIFFUSEALPHA:
        return blend("diffuse.a");
    case D3DTOP_BLENDTEXTUREALPHA:
        return blend(Format("texel%d.a", stage));
    case D3DTOP_BLENDFACTORALPHA:
        return blend("textureFactor.a");
    case D3DTOP_BLENDCURRENTALPHA:
        return blend("current.a");
    case D3DTOP_BLENDTEXTUREALPHAPM:
        return x1 + " + " + x2 + Format(" * (1.0 - texel%d.a)", stage);
    case D3DTOP_MODULATEALPHA_ADDCOLOR:
        return rgb ? x1 + " + " + a1 + ".a * " + x2 : x1;
    case D3DTOP_MODULATECOLOR_ADDALPHA:
        return rgb ? x1 + " * " + x2 + " + " + a1 + ".a" : x1;
    case D3DTOP_MODULATEINVALPHA_ADDCOLOR:
        return rgb ? "(1.0 - " + a1 + ".a) * " + x2 + " + " + x1 : x1;
    case D3DTOP_MODULATEINVCOLOR_ADDALPHA:
        return rgb ? "(vec3(1.0) - " + x1 + ") * " + x2 + " + " + a1 + ".a" : x1;
    case D3DTOP_DOTPRODUCT3: {
        std::string d = "4.0 * dot(" + a1 + ".rgb - 0.5, " + a2 + ".rgb - 0.5)";
        return rgb ? "vec3(" + d + ")" : d;
    }
    case D3DTOP_MULTIPLYADD:
        return x0 + " + " + x1 + " * " + x2;
    case D3DTOP_LERP:
        return x0 + " * " + x1 + " + (1.0 - " + x0 + ") * " + x2;
    default: // PREMODULATE and the bump-map operations pass their first argument on
        return x1;
    }
}

} // namespace

size_t ProgramKeyHash::operator()(const ProgramKey& key) const {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&key);
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < sizeof key; ++i)
        h = (h ^ bytes[i]) * 1099511628211ull;
    return size_t(h);
}

const UniformRange uniformRanges[BlockCount] = {
    {offsetof(Uniforms, worldViewProj), offsetof(Uniforms, textureMatrix)},
    {offsetof(Uniforms, textureMatrix), offsetof(Uniforms, lightDiffuse)},
    {offsetof(Uniforms, lightDiffuse), offsetof(Uniforms, textureFactor)},
    {offsetof(Uniforms, textureFactor), offsetof(Uniforms, stageConstant)},
    {offsetof(Uniforms, stageConstant), sizeof(Uniforms)}};

std::string ProgramCache::VertexSource(const ProgramKey& k, bool everyStage) {
    // Coordinates only for the stages that sample, unless a pixel shader reads them all.
    const unsigned coordinates = everyStage ? 0xFFu : SampledStages(k);
    std::string s = "#version 330 core\n";
    s += UniformBlockSource(VertexBlocks);
    s += "layout(location = 0) in vec4 inPosition;\n";
    if (k.normal)
        s += "layout(location = 1) in vec3 inNormal;\n";
    if (k.color0)
        s += "layout(location = 2) in vec4 inColor0;\n";
    if (k.color1)
        s += "layout(location = 3) in vec4 inColor1;\n";
    for (int i = 0; i < 8; ++i)
        if (k.texcoordSize[i])
            s += Format("layout(location = %d) in vec4 inTexcoord%d;\n", 4 + i, i);
    const char* interp = k.flat ? "flat " : "";
    s += Format("%sout vec4 vDiffuse;\n%sout vec4 vSpecular;\nout float vFog;\n", interp, interp);
    for (int i = 0; i < k.stageCount; ++i)
        if (coordinates & (1u << i))
            s += Format("out vec4 vTexcoord%d;\n", i);
    s += "void main() {\n";
    // Without a normal in the vertex, lighting sees a zero normal: ambient and emissive only.
    s += "    vec3 n = vec3(0.0);\n";
    if (k.pretransformed) {
        // Screen positions with rhw: undo GL's viewport mapping, keep w = 1 / rhw for perspective texturing.
        s += "    float w = inPosition.w != 0.0 ? 1.0 / inPosition.w : 1.0;\n"
             "    vec2 ndc = (inPosition.xy - screen.zw) * screen.xy - 1.0;\n"
             "    gl_Position = vec4(ndc * w, (inPosition.z * pixelOffset.z + pixelOffset.w) * w, w);\n"
             "    vec4 eye = vec4(inPosition.xyz, w);\n";
    } else {
        // Row vectors: the matrices arrive as Direct3D lays them out, which GLSL reads transposed. Clip z
        // runs over [0, w] and y up; the frame buffer is stored top row first, so y is not flipped back.
        s += "    vec4 eye = worldView * inPosition;\n"
             "    vec4 clip = worldViewProj * inPosition;\n"
             "    gl_Position = vec4(clip.x + pixelOffset.x * clip.w, -clip.y + pixelOffset.y * clip.w,\n"
             "                       2.0 * clip.z - clip.w, clip.w);\n";
        if (k.normal) {
            s += "    n = mat3(normalMatrix) * inNormal;\n";
            if (k.normalize)
                s += "    n = normalize(n);\n";
        }
    }
    if (k.lighting && !k.pretransformed) {
        std::string diffuse = MaterialSource(k, k.diffuseSource, "materialDiffuse");
        std::string ambient = MaterialSource(k, k.ambientSource, "materialAmbient");
        std::string specular = MaterialSource(k, k.specularSource, "materialSpecular");
        std::string emissive = MaterialSource(k, k.emissiveSource, "materialEmissive");
        s += "    vec3 ambientSum = vec3(0.0), diffuseSum = vec3(0.0), specularSum = vec3(0.0);\n";
        s += k.localViewer ? "    vec3 toViewer = normalize(-eye.xyz);\n"
                           : "    vec3 toViewer = vec3(0.0, 0.0, -1.0);\n";
        for (int i = 0; i < k.lightCount; ++i) {
            s += "    {\n        vec3 l;\n        float att = 1.0;\n";
            if (k.lightType[i] == D3DLIGHT_DIRECTIONAL) {
                s += Format("        l = -lightDirection[%d].xyz;\n", i);
            } else {
                s += Format(
                    "        vec3 d = lightPosition[%d].xyz - eye.xyz;\n"
                    "        float dist = length(d);\n"
                    "        l = dist > 0.0 ? d / dist : vec3(0.0, 0.0, 1.0);\n"
                    "        vec3 a = lightAttenuation[%d].xyz;\n"
                    "        att = dist <= lightPosition[%d].w ? 1.0 / (a.x + a.y * dist + a.z * dist * "
                    "dist) : 0.0;\n",
                    i, i, i);
                if (k.lightType[i] == D3DLIGHT_SPOT)
                    s += Format(
                        "        float rho = dot(-l, lightDirection[%d].xyz);\n"
                        "        vec2 cone = lightSpot[%d].xy;\n"
                        "        att *= rho > cone.x ? 1.0 : rho <= cone.y ? 0.0 :\n"
                        "               pow((rho - cone.y) / (cone.x - cone.y), lightDirection[%d].w);\n",
                        i, i, i);
            }
            s += Format("        float nl = max(dot(n, l), 0.0);\n"
                        "        ambientSum += att * lightAmbient[%d].rgb;\n"
                        "        diffuseSum += att * nl * lightDiffuse[%d].rgb;\n",
                        i, i);
            if (k.specular)
                s += Format("        if (nl > 0.0) {\n"
                            "            float nh = max(dot(n, normalize(l + toViewer)), 0.0);\n"
                            "            float p = materialPower.x > 0.0 ? pow(nh, materialPower.x) : 1.0;\n"
                            "            specularSum += att * p * lightSpecular[%d].rgb;\n"
                            "        }\n",
                            i);
            s += "    }\n";
        }
        s += "    vec4 cd = " + diffuse + ";\n";
        s += "    vDiffuse = vec4(clamp(" + emissive + ".rgb + " + ambient +
             ".rgb * (globalAmbient.rgb + ambientSum) + cd.rgb * diffuseSum, 0.0, 1.0), cd.a);\n";
        s += "    vec4 cs = " + specular + ";\n";
        s += "    vSpecular = vec4(clamp(cs.rgb * specularSum, 0.0, 1.0), cs.a);\n";
    } else {
        s += k.color0 ? "    vDiffuse = inColor0;\n" : "    vDiffuse = vec4(1.0);\n";
        s += k.color1 ? "    vSpecular = inColor1;\n" : "    vSpecular = vec4(0.0);\n";
    }
    switch (k.fog) {
    case FogVertex:
        s += k.fogRange ? "    float fogDistance = length(eye.xyz);\n" : "    float fogDistance = eye.z;\n";
        s += "    vFog = " + FogFactor(k.fogMode, "fogDistance") + ";\n";
        break;
    case FogTable:
        if (k.pretransformed)
            s += k.fogFromZ ? "    vFog = inPosition.z;\n" : "    vFog = w;\n";
        else
            s += k.fogFromZ ? "    vFog = clip.z / clip.w;\n" : "    vFog = clip.w;\n";
        // Linear fog is linear in what is interpolated: the factor is made here, and clamped per pixel.
        if (k.fogMode == D3DFOG_LINEAR)
            s += "    vFog = (fogParameters.y - vFog) / (fogParameters.y - fogParameters.x);\n";
        break;
    case FogSpecularAlpha:
        s += k.color1 && !k.lighting ? "    vFog = inColor1.a;\n" : "    vFog = 1.0;\n";
        break;
    default:
        s += "    vFog = 1.0;\n";
    }
    for (int i = 0; i < k.stageCount; ++i) {
        if (!(coordinates & (1u << i)))
            continue;
        const StageKey& st = k.stage[i];
        std::string tc;
        switch (st.coordGen << 16) {
        case D3DTSS_TCI_CAMERASPACENORMAL:
            tc = "vec4(n, 1.0)";
            break;
        case D3DTSS_TCI_CAMERASPACEPOSITION:
            tc = "vec4(eye.xyz, 1.0)";
            break;
        case D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR:
            tc = k.localViewer ? "vec4(reflect(normalize(eye.xyz), normalize(n)), 1.0)"
                               : "vec4(reflect(vec3(0.0, 0.0, 1.0), normalize(n)), 1.0)";
            break;
        default: {
            // Missing components: the first becomes 1 and the rest 0, so a 2D coordinate takes the
            // translation from the third row of the texture matrix.
            int set = st.coordIndex & 7;
            switch (k.texcoordSize[set]) {
            case 1:
                tc = Format("vec4(inTexcoord%d.x, 1.0, 0.0, 0.0)", set);
                break;
            case 2:
                tc = Format("vec4(inTexcoord%d.xy, 1.0, 0.0)", set);
                break;
            case 3:
                tc = Format("vec4(inTexcoord%d.xyz, 1.0)", set);
                break;
            case 4:
                tc = Format("inTexcoord%d", set);
                break;
            default:
                tc = "vec4(0.0)";
            }
        }
        }
        if (st.transform && !k.pretransformed)
            tc = Format("(textureMatrix[%d] * %s)", i, tc.c_str());
        s += Format("    vTexcoord%d = %s;\n", i, tc.c_str());
    }
    s += "}\n";
    return s;
}

std::string ProgramCache::FragmentSource(const ProgramKey& k) {
    std::string s = "#version 330 core\n";
    s += UniformBlockSource((1u << BlockPixels) | (ReadsStageBlock(k) ? 1u << BlockStages : 0u));
    const char* interp = k.flat ? "flat " : "";
    s += Format("%sin vec4 vDiffuse;\n%sin vec4 vSpecular;\nin float vFog;\n", interp, interp);
    // A stage that does not sample has no sampler and no coordinates.
    const unsigned sampled = SampledStages(k);
    for (int i = 0; i < k.stageCount; ++i) {
        if (!(sampled & (1u << i)))
            continue;
        s += Format("in vec4 vTexcoord%d;\n", i);
        s += Format(k.stage[i].texture == 2 ? "uniform samplerCube texture%d;\n"
                                            : "uniform sampler2D texture%d;\n",
                    i);
    }
    s += "out vec4 fragColor;\n";
    s += "void main() {\n"
         "    vec4 diffuse = vDiffuse;\n"
         "    vec4 specular = vSpecular;\n"
         "    vec4 current = diffuse;\n"
         "    vec4 temp = vec4(0.0);\n";
    for (int i = 0; i < k.stageCount; ++i) {
        const StageKey& st = k.stage[i];
        // A bump-map stage offsets the next stage's coordinates by its texel (du, dv) through its matrix;
        // what it passes on as colour is what came in.
        const bool bumped = i > 0 && k.stage[i - 1].colorOp == D3DTOP_BUMPENVMAP;
        if (UsesTexture(st)) {
            std::string coord = Format("vTexcoord%d", i);
            if (st.projected && st.transform >= 2)
                coord = Format("(vTexcoord%d / vTexcoord%d[%d])", i, i, st.transform - 1);
            if (bumped)
                coord = Format("vec4(%s.xy + mat2(bumpEnv[%d]) * texel%d.xy, %s.zw)", coord.c_str(), i - 1,
                               i - 1, coord.c_str());
            if (st.texture == 1)
                s += Format("    vec4 texel%d = texture(texture%d, %s.xy);\n", i, i, coord.c_str());
            else if (st.texture == 2)
                s += Format("    vec4 texel%d = texture(texture%d, %s.xyz);\n", i, i, coord.c_str());
            else
                s += Format("    vec4 texel%d = vec4(1.0);\n", i);
        }
        if (st.colorOp == D3DTOP_BUMPENVMAP)
            continue;
        std::string c = Operation(st.colorOp, Argument(st.colorArg0, i), Argument(st.colorArg1, i),
                                  Argument(st.colorArg2, i), ".rgb", i);
        std::string a;
        if (st.colorOp == D3DTOP_DOTPRODUCT3)
            a = Operation(D3DTOP_DOTPRODUCT3, "", Argument(st.colorArg1, i), Argument(st.colorArg2, i), ".a",
                          i);
        else if (st.alphaOp == D3DTOP_DISABLE)
            a = "current.a";
        else
            a = Operation(st.alphaOp, Argument(st.alphaArg0, i), Argument(st.alphaArg1, i),
                          Argument(st.alphaArg2, i), ".a", i);
        s += Format("    %s = clamp(vec4(%s, %s), 0.0, 1.0);\n", st.resultTemp ? "temp" : "current",
                    c.c_str(), a.c_str());
    }
    s += "    vec4 color = current;\n";
    if (k.specular)
        s += "    color.rgb = clamp(color.rgb + specular.rgb, 0.0, 1.0);\n";
    if (k.fog == FogTable && k.fogMode != D3DFOG_LINEAR)
        s += "    float fogFactor = " + FogFactor(k.fogMode, "vFog") + ";\n";
    else if (k.fog != FogNone)
        s += "    float fogFactor = clamp(vFog, 0.0, 1.0);\n";
    if (k.fog != FogNone)
        s += "    color.rgb = mix(fogColor.rgb, color.rgb, fogFactor);\n";
    if (k.alphaFunc) {
        static const char* const compare[] = {"", "false", "<", "==", "<=", ">", "!=", ">=", "true"};
        if (k.alphaFunc == D3DCMP_NEVER)
            s += "    discard;\n";
        else if (k.alphaFunc != D3DCMP_ALWAYS)
            s += Format("    if (!(floor(color.a * 255.0 + 0.5) %s alphaRef.x)) discard;\n",
                        compare[k.alphaFunc]);
    }
    s += "    fragColor = color;\n}\n";
    return s;
}

namespace {

GLuint Compile(GLenum type, const char* text) {
    GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048];
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        std::fprintf(stderr, "d3d9: shader does not compile: %s\n%s\n", log, text);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

} // namespace

GLuint LinkProgram(const char* vertexSource, const char* fragmentSource) {
    // CORVANE_D3D9_SHADERS set (to anything) prints each program's two stages to stderr as it is linked,
    // to read what the rasteriser compiles.
    static const bool dump = std::getenv("CORVANE_D3D9_SHADERS") != nullptr;
    if (dump)
        std::fprintf(stderr, "d3d9: program\n--- vertex\n%s--- fragment\n%s---\n", vertexSource,
                     fragmentSource);
    GLuint vs = Compile(GL_VERTEX_SHADER, vertexSource);
    GLuint fs = Compile(GL_FRAGMENT_SHADER, fragmentSource);
    GLuint program = 0;
    if (vs && fs) {
        program = glCreateProgram();
        glAttachShader(program, vs);
        glAttachShader(program, fs);
        glLinkProgram(program);
        GLint ok = 0;
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
        if (!ok) {
            char log[2048];
            glGetProgramInfoLog(program, sizeof log, nullptr, log);
            std::fprintf(stderr, "d3d9: program does not link: %s\n", log);
            glDeleteProgram(program);
            program = 0;
        }
    }
    if (vs)
        glDeleteShader(vs);
    if (fs)
        glDeleteShader(fs);
    return program;
}

void SetSamplerUnits(GLuint program, std::initializer_list<std::pair<const char*, GLint>> units) {
    // GL 3.3 sets uniforms only on the program in use: borrow it and give the caller's back.
    GLint previous = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &previous);
    glUseProgram(program);
    for (const auto& [name, unit] : units) {
        GLint location = glGetUniformLocation(program, name);
        if (location >= 0)
            glUniform1i(location, unit);
    }
    glUseProgram(GLuint(previous));
}

GLuint ProgramCache::Get(const ProgramKey& key) {
    auto found = programs_.find(key);
    if (found != programs_.end())
        return found->second;
    GLuint program = LinkProgram(VertexSource(key).c_str(), FragmentSource(key).c_str());
    BindProgramResources(program);
    programs_.emplace(key, program);
    return program;
}

void BindProgramResources(GLuint program) {
    if (!program)
        return;
    for (unsigned b = 0; b < BlockCount; ++b) {
        GLuint block = glGetUniformBlockIndex(program, blockNames[b]);
        if (block != GL_INVALID_INDEX)
            glUniformBlockBinding(program, block, b);
    }
    SetSamplerUnits(program, {{"texture0", 0},
                              {"texture1", 1},
                              {"texture2", 2},
                              {"texture3", 3},
                              {"texture4", 4},
                              {"texture5", 5},
                              {"texture6", 6},
                              {"texture7", 7}});
}

std::string UniformBlockSource(unsigned blocks) {
    std::string s;
    for (unsigned b = 0; b < BlockCount; ++b)
        if (blocks & (1u << b))
            s += blockSources[b];
    return s;
}

std::string FogFactorSource(uint8_t mode, const char* distance) {
    return FogFactor(mode, distance);
}

void ProgramCache::Clear() {
    for (auto& [key, program] : programs_)
        if (program)
            glDeleteProgram(program);
    programs_.clear();
}

ProgramCache::~ProgramCache() {
    Clear();
}

} // namespace D3D9
