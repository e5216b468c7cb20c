#include "platform/d3d9/ShaderTranslator.h"

#include "platform/d3d9/FixedFunction.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace D3D9 {
namespace {

constexpr DWORD ParamBit = 0x80000000u;

struct Instruction {
    DWORD opcode = 0;
    bool coissue = false;
    DWORD dst = 0;
    DWORD src[3]{};
    int sources = 0;
    DWORD usage = 0;   // dcl
    float values[4]{}; // def
};

struct Program {
    bool vertex = false;
    int minor = 0;
    std::vector<Instruction> code;
};

// Sources per opcode, -1 for an opcode the translator does not take; the second value is the kinds
// (1 vertex, 2 pixel).
struct OpShape {
    int sources;
    int kinds;
};
OpShape Shape(DWORD opcode) {
    switch (opcode) {
    case D3DSIO_NOP:
        return {0, 3};
    case D3DSIO_MOV:
        return {1, 3};
    case D3DSIO_ADD:
    case D3DSIO_SUB:
    case D3DSIO_MUL:
    case D3DSIO_DP3:
    case D3DSIO_DP4:
        return {2, 3};
    case D3DSIO_MAD:
        return {3, 3};
    case D3DSIO_RCP:
    case D3DSIO_RSQ:
    case D3DSIO_EXP:
    case D3DSIO_LOG:
    case D3DSIO_LIT:
    case D3DSIO_FRC:
    case D3DSIO_EXPP:
    case D3DSIO_LOGP:
        return {1, 1};
    case D3DSIO_MIN:
    case D3DSIO_MAX:
    case D3DSIO_SLT:
    case D3DSIO_SGE:
    case D3DSIO_DST:
    case D3DSIO_M4x4:
    case D3DSIO_M4x3:
    case D3DSIO_M3x4:
    case D3DSIO_M3x3:
    case D3DSIO_M3x2:
        return {2, 1};
    case D3DSIO_LRP:
    case D3DSIO_CND:
    case D3DSIO_CMP:
        return {3, 2};
    case D3DSIO_TEXCOORD:
    case D3DSIO_TEXKILL:
    case D3DSIO_TEX:
        return {0, 2};
    case D3DSIO_TEXBEM:
        return {1, 2};
    default:
        return {-1, 0};
    }
}

DWORD Type(DWORD token) {
    return ((token & D3DSP_REGTYPE_MASK) >> D3DSP_REGTYPE_SHIFT) |
           ((token & D3DSP_REGTYPE_MASK2) >> D3DSP_REGTYPE_SHIFT2);
}
DWORD Number(DWORD token) {
    return token & D3DSP_REGNUM_MASK;
}

// Registers each kind may read (source) or write (destination), with their counts.
bool RegisterFits(DWORD token, bool vertex, bool destination, bool texture) {
    DWORD n = Number(token);
    if (!(token & ParamBit))
        return false;
    if ((token & D3DVS_ADDRMODE_RELATIVE) && (!vertex || destination || Type(token) != D3DSPR_CONST))
        return false;
    if (vertex) {
        switch (Type(token)) {
        case D3DSPR_TEMP:
            return n < 12;
        case D3DSPR_INPUT:
            return n < 16 && !destination;
        case D3DSPR_CONST:
            return n < VertexShaderConstants && !destination;
        case D3DSPR_ADDR:
            return n == 0 && destination;
        case D3DSPR_RASTOUT:
            return n < 3 && destination;
        case D3DSPR_ATTROUT:
            return n < 2 && destination;
        case D3DSPR_TEXCRDOUT:
            return n < 8 && destination;
        default:
            return false;
        }
    }
    switch (Type(token)) {
    case D3DSPR_TEMP:
        return n < 2;
    case D3DSPR_INPUT:
        return n < 2 && !destination;
    case D3DSPR_CONST:
        return n < PixelShaderConstants && !destination;
    case D3DSPR_TEXTURE:
        return n < 4;
    default:
        return false;
    }
    (void)texture;
}

std::string Parse(const DWORD* tokens, size_t count, Program& program) {
    if (!tokens || count < 2)
        return "the token stream is empty";
    DWORD version = tokens[0];
    if (version == D3DVS_VERSION(1, 1)) {
        program.vertex = true;
        program.minor = 1;
    } else if (version >= D3DPS_VERSION(1, 1) && version <= D3DPS_VERSION(1, 3)) {
        program.minor = int(version & 0xFF);
    } else {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "shader version 0x%08X is not supported", unsigned(version));
        return buffer;
    }
    const bool vs = program.vertex;
    size_t i = 1;
    auto param = [&](DWORD& out) {
        if (i >= count || !(tokens[i] & ParamBit))
            return false;
        out = tokens[i++];
        return true;
    };
    while (i < count) {
        DWORD token = tokens[i++];
        if (token & ParamBit)
            return "a parameter token stands where an instruction belongs";
        Instruction in;
        in.opcode = token & D3DSI_OPCODE_MASK;
        in.coissue = (token & D3DSI_COISSUE) != 0;
        if (in.opcode == D3DSIO_END)
            return i == count ? "" : "tokens follow the end token";
        if (in.opcode == D3DSIO_COMMENT) {
            i += (token & D3DSI_COMMENTSIZE_MASK) >> D3DSI_COMMENTSIZE_SHIFT;
            continue;
        }
        if (in.opcode == D3DSIO_DCL) {
            if (!vs || !param(in.usage) || !param(in.dst) || Type(in.dst) != D3DSPR_INPUT ||
                Number(in.dst) >= 16)
                return "a declaration is malformed";
            program.code.push_back(in);
            continue;
        }
        if (in.opcode == D3DSIO_DEF) {
            if (!param(in.dst) || Type(in.dst) != D3DSPR_CONST || (in.dst & D3DVS_ADDRMODE_RELATIVE) ||
                Number(in.dst) >= (vs ? VertexShaderConstants : PixelShaderConstants) || i + 4 > count)
                return "a constant definition is malformed";
            std::memcpy(in.values, &tokens[i], 16);
            i += 4;
            program.code.push_back(in);
            continue;
        }
        OpShape shape = Shape(in.opcode);
        if (shape.sources < 0 || !(shape.kinds & (vs ? 1 : 2)))
            return "opcode " + std::to_string(in.opcode) + " is not supported";
        const bool texture = in.opcode >= D3DSIO_TEXCOORD && in.opcode <= D3DSIO_TEXBEM;
        if (in.opcode != D3DSIO_NOP) {
            if (!param(in.dst) || !RegisterFits(in.dst, vs, true, texture))
                return "a destination register is not supported";
            if (texture && Type(in.dst) != D3DSPR_TEXTURE)
                return "a texture instruction writes a texture register";
            if ((in.dst & D3DSP_DSTMOD_MASK) & ~DWORD(D3DSPDM_SATURATE))
                return "a destination modifier is not supported";
            DWORD shift = (in.dst & D3DSP_DSTSHIFT_MASK) >> D3DSP_DSTSHIFT_SHIFT;
            if (shift != 0 && (vs || (shift != 1 && shift != 2 && shift != 0xF)))
                return "a result shift is not supported";
            if (vs && (in.dst & D3DSPDM_SATURATE))
                return "saturation is not supported in vertex shaders";
        }
        in.sources = shape.sources;
        for (int k = 0; k < shape.sources; ++k) {
            if (!param(in.src[k]) || !RegisterFits(in.src[k], vs, false, texture))
                return "a source register is not supported";
            DWORD modifier = in.src[k] & D3DSP_SRCMOD_MASK;
            if (modifier > D3DSPSM_COMP || (vs && modifier > D3DSPSM_NEG))
                return "a source modifier is not supported";
        }
        if (in.opcode == D3DSIO_TEXBEM &&
            (Type(in.src[0]) != D3DSPR_TEXTURE || Number(in.src[0]) >= Number(in.dst)))
            return "texbem reads a texture register below the one it writes";
        program.code.push_back(in);
    }
    return "the token stream has no end token";
}

std::string Format(const char* pattern, auto... values) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, pattern, values...);
    return buffer;
}

std::string FloatText(float f) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.9g", double(f));
    std::string s = buffer;
    if (s.find_first_of(".eEn") == std::string::npos)
        s += ".0";
    if (s == "inf" || s == "-inf" || s == "nan" || s == "-nan")
        return s[0] == '-' ? "-3.4e38" : s == "inf" ? "3.4e38" : "0.0";
    return s;
}

std::string RegisterText(DWORD token, bool vs, int offset = 0) {
    DWORD n = Number(token) + DWORD(offset);
    switch (Type(token)) {
    case D3DSPR_TEMP:
        return Format("r%u", unsigned(n));
    case D3DSPR_INPUT:
        return Format("v%u", unsigned(n));
    case D3DSPR_CONST:
        if (token & D3DVS_ADDRMODE_RELATIVE)
            return Format("K[clamp(a0 + %u, 0, %u)]", unsigned(n), VertexShaderConstants - 1);
        return Format(vs ? "K[%u]" : "c[%u]", unsigned(n));
    case D3DSPR_TEXTURE:
        return vs ? "a0v" : Format("t%u", unsigned(n));
    case D3DSPR_RASTOUT:
        return n == 0 ? "oPos" : n == 1 ? "oFog" : "oPts";
    case D3DSPR_ATTROUT:
        return Format("oD%u", unsigned(n));
    default:
        return Format("oT%u", unsigned(n));
    }
}

std::string SourceText(DWORD token, bool vs, int offset = 0) {
    std::string s = RegisterText(token, vs, offset);
    DWORD swizzle = (token & D3DVS_SWIZZLE_MASK) >> D3DVS_SWIZZLE_SHIFT;
    if (swizzle != 0xE4) {
        s += '.';
        for (int i = 0; i < 4; ++i)
            s += "xyzw"[(swizzle >> (2 * i)) & 3];
    }
    switch (token & D3DSP_SRCMOD_MASK) {
    case D3DSPSM_NEG:
        return "(-" + s + ")";
    case D3DSPSM_BIAS:
        return "(" + s + " - 0.5)";
    case D3DSPSM_BIASNEG:
        return "(0.5 - " + s + ")";
    case D3DSPSM_SIGN:
        return "(2.0 * " + s + " - 1.0)";
    case D3DSPSM_SIGNNEG:
        return "(1.0 - 2.0 * " + s + ")";
    case D3DSPSM_COMP:
        return "(1.0 - " + s + ")";
    default:
        return s;
    }
}

std::string MaskText(DWORD mask) {
    std::string s;
    for (int i = 0; i < 4; ++i)
        if (mask & (1u << i))
            s += "xyzw"[i];
    return s;
}

// The value an arithmetic instruction computes, as a vec4.
std::string Expression(const Instruction& in, bool vs) {
    std::string a = in.sources > 0 ? SourceText(in.src[0], vs) : "";
    std::string b = in.sources > 1 ? SourceText(in.src[1], vs) : "";
    std::string c = in.sources > 2 ? SourceText(in.src[2], vs) : "";
    auto rows = [&](int count, const char* part) {
        std::string s = "vec4(";
        for (int k = 0; k < 4; ++k) {
            if (k)
                s += ", ";
            s += k < count
                     ? Format("dot(%s%s, %s%s)", a.c_str(), part, SourceText(in.src[1], vs, k).c_str(), part)
                     : std::string("0.0");
        }
        return s + ")";
    };
    switch (in.opcode) {
    case D3DSIO_MOV:
        return a;
    case D3DSIO_ADD:
        return a + " + " + b;
    case D3DSIO_SUB:
        return a + " - " + b;
    case D3DSIO_MAD:
        return a + " * " + b + " + " + c;
    case D3DSIO_MUL:
        return a + " * " + b;
    case D3DSIO_RCP:
        return "vec4(1.0 / " + a + ".x)";
    case D3DSIO_RSQ:
        return "vec4(inversesqrt(abs(" + a + ".x)))";
    case D3DSIO_DP3:
        return "vec4(dot(" + a + ".xyz, " + b + ".xyz))";
    case D3DSIO_DP4:
        return "vec4(dot(" + a + ", " + b + "))";
    case D3DSIO_MIN:
        return "min(" + a + ", " + b + ")";
    case D3DSIO_MAX:
        return "max(" + a + ", " + b + ")";
    case D3DSIO_SLT:
        return "vec4(lessThan(" + a + ", " + b + "))";
    case D3DSIO_SGE:
        return "vec4(greaterThanEqual(" + a + ", " + b + "))";
    case D3DSIO_EXP:
        return "vec4(exp2(" + a + ".x))";
    case D3DSIO_EXPP:
        return "ExpP(" + a + ".x)";
    case D3DSIO_LOG:
    case D3DSIO_LOGP:
        return "vec4(log2(abs(" + a + ".x)))";
    case D3DSIO_LIT:
        return "Lit(" + a + ")";
    case D3DSIO_DST:
        return "vec4(1.0, " + a + ".y * " + b + ".y, " + a + ".z, " + b + ".w)";
    case D3DSIO_FRC:
        return "fract(" + a + ")";
    case D3DSIO_M4x4:
        return rows(4, "");
    case D3DSIO_M4x3:
        return rows(3, "");
    case D3DSIO_M3x4:
        return rows(4, ".xyz");
    case D3DSIO_M3x3:
        return rows(3, ".xyz");
    case D3DSIO_M3x2:
        return rows(2, ".xyz");
    case D3DSIO_LRP:
        return "mix(" + c + ", " + b + ", " + a + ")";
    case D3DSIO_CND:
        return "mix(" + c + ", " + b + ", vec4(greaterThan(" + a + ", vec4(0.5))))";
    case D3DSIO_CMP:
        return "mix(" + c + ", " + b + ", vec4(greaterThanEqual(" + a + ", vec4(0.0))))";
    default:
        return "vec4(0.0)";
    }
}

DWORD MaskOf(const Instruction& in) {
    DWORD mask = (in.dst & D3DSP_WRITEMASK_ALL) >> 16;
    switch (in.opcode) {
    case D3DSIO_M4x3:
    case D3DSIO_M3x3:
        return mask & 7;
    case D3DSIO_M3x2:
        return mask & 3;
    default:
        return mask;
    }
}

const char* const helpers = "vec4 ExpP(float x) { return vec4(exp2(floor(x)), fract(x), exp2(x), 1.0); }\n"
                            "vec4 Lit(vec4 s) {\n"
                            "    float p = clamp(s.w, -128.0, 128.0);\n"
                            "    return vec4(1.0, max(s.x, 0.0),\n"
                            "                s.x > 0.0 ? (s.y > 0.0 ? pow(s.y, p) : 0.0) : 0.0, 1.0);\n"
                            "}\n";

// Inputs by declaration usage, at the locations the device binds vertex elements to.
int InputLocation(DWORD usage) {
    DWORD kind = usage & D3DSP_DCL_USAGE_MASK;
    DWORD index = (usage & D3DSP_DCL_USAGEINDEX_MASK) >> D3DSP_DCL_USAGEINDEX_SHIFT;
    switch (kind) {
    case D3DDECLUSAGE_POSITION:
        return index == 0 ? 0 : -1;
    case D3DDECLUSAGE_NORMAL:
        return index == 0 ? 1 : -1;
    case D3DDECLUSAGE_COLOR:
        return index < 2 ? int(2 + index) : -1;
    case D3DDECLUSAGE_TEXCOORD:
        return index < 8 ? int(4 + index) : -1;
    case D3DDECLUSAGE_BLENDWEIGHT:
        return index == 0 ? 12 : -1;
    case D3DDECLUSAGE_BLENDINDICES:
        return index == 0 ? 13 : -1;
    case D3DDECLUSAGE_TANGENT:
        return index == 0 ? 14 : -1;
    case D3DDECLUSAGE_BINORMAL:
        return index == 0 ? 15 : -1;
    default:
        return -1;
    }
}

} // namespace

std::string CheckShader(const DWORD* tokens, size_t count) {
    Program program;
    std::string error = Parse(tokens, count, program);
    if (!error.empty() || !program.vertex)
        return error;
    for (const Instruction& in : program.code)
        if (in.opcode == D3DSIO_DCL && InputLocation(in.usage) < 0)
            return "a declared input usage is not supported";
    return "";
}

std::string TranslateVertexShader(const DWORD* tokens, size_t count, bool flat, bool tableFog,
                                  bool tableFogFromZ, uint8_t tableFogMode, unsigned coordinateMask) {
    Program p;
    if (!CheckShader(tokens, count).empty() || !Parse(tokens, count, p).empty() || !p.vertex)
        return "";
    std::string s = "#version 330 core\n";
    s += UniformBlockSource(VertexBlocks);
    s += Format("uniform vec4 vc[%u];\n", VertexShaderConstants);
    bool declared[16]{};
    for (const Instruction& in : p.code)
        if (in.opcode == D3DSIO_DCL && !declared[Number(in.dst)]) {
            declared[Number(in.dst)] = true;
            s += Format("layout(location = %d) in vec4 inV%u;\n", InputLocation(in.usage),
                        unsigned(Number(in.dst)));
        }
    const char* interp = flat ? "flat " : "";
    s += Format("%sout vec4 vDiffuse;\n%sout vec4 vSpecular;\nout float vFog;\n", interp, interp);
    for (int i = 0; i < 8; ++i)
        if (coordinateMask & (1u << i))
            s += Format("out vec4 vTexcoord%d;\n", i);
    s += helpers;
    s += "void main() {\n";
    for (int i = 0; i < 16; ++i)
        s += declared[i] ? Format("    vec4 v%d = inV%d;\n", i, i) : Format("    vec4 v%d = vec4(0.0);\n", i);
    s += "    vec4 r0 = vec4(0.0)";
    for (int i = 1; i < 12; ++i)
        s += Format(", r%d = vec4(0.0)", i);
    s += ";\n    int a0 = 0;\n    vec4 a0v = vec4(0.0);\n"
         "    vec4 oPos = vec4(0.0, 0.0, 0.0, 1.0), oFog = vec4(1.0), oPts = vec4(0.0);\n"
         "    vec4 oD0 = vec4(1.0), oD1 = vec4(0.0);\n";
    for (int i = 0; i < 8; ++i)
        s += Format("    vec4 oT%d = vec4(0.0, 0.0, 0.0, 1.0);\n", i);
    // Constants defined in the shader replace the device's values, for relative reads too.
    bool defines = false;
    for (const Instruction& in : p.code)
        if (in.opcode == D3DSIO_DEF) {
            if (!defines)
                s += "    vec4 K[" + std::to_string(VertexShaderConstants) + "] = vc;\n";
            defines = true;
            s += Format("    K[%u] = vec4(%s, %s, %s, %s);\n", unsigned(Number(in.dst)),
                        FloatText(in.values[0]).c_str(), FloatText(in.values[1]).c_str(),
                        FloatText(in.values[2]).c_str(), FloatText(in.values[3]).c_str());
        }
    if (!defines)
        s += "#define K vc\n";
    std::string body;
    for (const Instruction& in : p.code) {
        if (in.opcode == D3DSIO_DCL || in.opcode == D3DSIO_DEF || in.opcode == D3DSIO_NOP)
            continue;
        DWORD mask = MaskOf(in);
        std::string value = Expression(in, true);
        if (Type(in.dst) == D3DSPR_ADDR) {
            // vs_1_1 loads the address register rounding down.
            body += "    a0 = int(floor((" + value + ").x));\n";
            continue;
        }
        std::string m = MaskText(mask);
        body +=
            "    { vec4 t = " + value + "; " + RegisterText(in.dst, true) + "." + m + " = t." + m + "; }\n";
    }
    s += body;
    // Direct3D's clip space (z over [0, w], y up) to GL's, with the half-pixel shift of the fixed function.
    s += "    gl_Position = vec4(oPos.x + pixelOffset.x * oPos.w, -oPos.y + pixelOffset.y * oPos.w,\n"
         "                       2.0 * oPos.z - oPos.w, oPos.w);\n"
         "    vDiffuse = clamp(oD0, 0.0, 1.0);\n"
         "    vSpecular = clamp(oD1, 0.0, 1.0);\n"
         "";
    s += !tableFog       ? "    vFog = oFog.x;\n"
         : tableFogFromZ ? "    vFog = oPos.z / oPos.w;\n"
                         : "    vFog = oPos.w;\n";
    // Linear table fog: the factor here, clamped per pixel, as the fixed function makes it.
    if (tableFog && tableFogMode == D3DFOG_LINEAR)
        s += "    vFog = (fogParameters.y - vFog) / (fogParameters.y - fogParameters.x);\n";
    for (int i = 0; i < 8; ++i)
        if (coordinateMask & (1u << i))
            s += Format("    vTexcoord%d = oT%d;\n", i, i);
    s += "}\n";
    return s;
}

int PixelShaderStages(const DWORD* tokens, size_t count) {
    Program p;
    if (!Parse(tokens, count, p).empty() || p.vertex)
        return 0;
    int stages = 0;
    for (const Instruction& in : p.code)
        if (in.opcode >= D3DSIO_TEXCOORD && in.opcode <= D3DSIO_TEXBEM)
            stages = std::max(stages, int(Number(in.dst)) + 1);
    return stages;
}

std::string TranslatePixelShader(const DWORD* tokens, size_t count, const PixelShaderOptions& o) {
    Program p;
    if (!Parse(tokens, count, p).empty() || p.vertex)
        return "";
    std::string s = "#version 330 core\n";
    s += UniformBlockSource((1u << BlockPixels) | (1u << BlockStages));
    s += Format("uniform vec4 pc[%u];\n", PixelShaderConstants);
    const char* interp = o.flat ? "flat " : "";
    s += Format("%sin vec4 vDiffuse;\n%sin vec4 vSpecular;\nin float vFog;\n", interp, interp);
    const int stages = PixelShaderStages(tokens, count);
    for (int i = 0; i < stages; ++i)
        s += Format("in vec4 vTexcoord%d;\nuniform %s texture%d;\n", i,
                    (o.cubeMask >> i) & 1 ? "samplerCube" : "sampler2D", i);
    s += "out vec4 fragColor;\nvoid main() {\n"
         "    vec4 v0 = vDiffuse, v1 = vSpecular;\n"
         "    vec4 r0 = vec4(0.0), r1 = vec4(0.0);\n"
         "    vec4 t0 = vec4(0.0), t1 = vec4(0.0), t2 = vec4(0.0), t3 = vec4(0.0);\n";
    // ps_1_x reads its constants clamped to its range [-1, 1].
    s += Format("    vec4 c[%u];\n", PixelShaderConstants);
    s += Format("    for (int i = 0; i < %u; ++i) c[i] = clamp(pc[i], -1.0, 1.0);\n", PixelShaderConstants);
    for (const Instruction& in : p.code)
        if (in.opcode == D3DSIO_DEF)
            s += Format("    c[%u] = clamp(vec4(%s, %s, %s, %s), -1.0, 1.0);\n", unsigned(Number(in.dst)),
                        FloatText(in.values[0]).c_str(), FloatText(in.values[1]).c_str(),
                        FloatText(in.values[2]).c_str(), FloatText(in.values[3]).c_str());
    auto sample = [&](DWORD n, const std::string& coord) {
        return Format("texture(texture%u, %s%s)", unsigned(n), coord.c_str(),
                      (o.cubeMask >> n) & 1 ? ".xyz" : ".xy");
    };
    std::string pending; // the write of an instruction whose co-issued partner has yet to read
    int temporaries = 0;
    for (const Instruction& in : p.code) {
        const DWORD n = Number(in.dst);
        switch (in.opcode) {
        case D3DSIO_DEF:
        case D3DSIO_NOP:
            continue;
        case D3DSIO_TEX:
            s += Format("    t%u = %s;\n", unsigned(n), sample(n, "vTexcoord" + std::to_string(n)).c_str());
            continue;
        case D3DSIO_TEXCOORD:
            s += Format("    t%u = vec4(clamp(vTexcoord%u.xyz, 0.0, 1.0), 1.0);\n", unsigned(n), unsigned(n));
            continue;
        case D3DSIO_TEXKILL:
            s += Format("    if (any(lessThan(vTexcoord%u.xyz, vec3(0.0)))) discard;\n", unsigned(n));
            continue;
        case D3DSIO_TEXBEM: {
            // The stage's bump matrix turns the signed (du, dv) of the register read into an offset.
            std::string m = Format("bumpEnv[%u]", unsigned(n));
            std::string d = RegisterText(in.src[0], false);
            std::string coord =
                Format("(vTexcoord%u.xy + vec2(%s.x * %s.x + %s.z * %s.y, %s.y * %s.x + %s.w * "
                       "%s.y))",
                       unsigned(n), m.c_str(), d.c_str(), m.c_str(), d.c_str(), m.c_str(), d.c_str(),
                       m.c_str(), d.c_str());
            s += Format("    t%u = texture(texture%u, %s);\n", unsigned(n), unsigned(n),
                        (o.cubeMask >> n) & 1 ? ("vec3(" + coord + ", 1.0)").c_str() : coord.c_str());
            continue;
        }
        default:
            break;
        }
        std::string value = std::string(1, '(').append(Expression(in, false)).append(")");
        switch ((in.dst & D3DSP_DSTSHIFT_MASK) >> D3DSP_DSTSHIFT_SHIFT) {
        case 1:
            value += " * 2.0";
            break;
        case 2:
            value += " * 4.0";
            break;
        case 0xF:
            value += " * 0.5";
            break;
        default:
            break;
        }
        // Every result is held to the ps_1_x range, or to [0, 1] when saturated.
        value = (in.dst & D3DSPDM_SATURATE) ? "clamp(" + value + ", 0.0, 1.0)"
                                            : "clamp(" + value + ", -1.0, 1.0)";
        std::string t = Format("p%d", temporaries++);
        std::string m = MaskText(MaskOf(in));
        if (!in.coissue) {
            s += pending;
            pending.clear();
        }
        s += "    vec4 " + t + " = " + value + ";\n";
        std::string write = "    " + RegisterText(in.dst, false) + "." + m + " = " + t + "." + m + ";\n";
        if (in.coissue) {
            s += pending + write;
            pending.clear();
        } else {
            pending = write;
        }
    }
    s += pending;
    s += "    vec4 color = clamp(r0, 0.0, 1.0);\n";
    if (o.fog == FogTable && o.fogMode != D3DFOG_LINEAR)
        s += "    color.rgb = mix(fogColor.rgb, color.rgb, " + FogFactorSource(o.fogMode, "vFog") + ");\n";
    else if (o.fog != FogNone)
        s += "    color.rgb = mix(fogColor.rgb, color.rgb, clamp(vFog, 0.0, 1.0));\n";
    if (o.alphaFunc == D3DCMP_NEVER)
        s += "    discard;\n";
    else if (o.alphaFunc && o.alphaFunc < D3DCMP_ALWAYS) {
        static const char* const compare[] = {"", "false", "<", "==", "<=", ">", "!=", ">="};
        s +=
            Format("    if (!(floor(color.a * 255.0 + 0.5) %s alphaRef.x)) discard;\n", compare[o.alphaFunc]);
    }
    s += "    fragColor = color;\n}\n";
    return s;
}

} // namespace D3D9
