#include "platform/d3dx9/Assembler.h"

#include "platform/win32/Text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <optional>
#include <span>

namespace D3DX9 {
namespace {

constexpr DWORD ParamBit = 0x80000000u;

enum Kind : uint8_t { Vertex = 1, Pixel = 2, Both = 3 };

struct OpInfo {
    const char* name;
    DWORD opcode;
    uint8_t kinds;
    uint8_t sources;
    bool texture; // a ps_1_x texture-address instruction
    uint8_t slots;
    uint8_t minMinor; // lowest ps_1_x minor version that has it
};

constexpr OpInfo ops[] = {
    {"nop", D3DSIO_NOP, Both, 0, false, 1, 0},         {"mov", D3DSIO_MOV, Both, 1, false, 1, 0},
    {"add", D3DSIO_ADD, Both, 2, false, 1, 0},         {"sub", D3DSIO_SUB, Both, 2, false, 1, 0},
    {"mad", D3DSIO_MAD, Both, 3, false, 1, 0},         {"mul", D3DSIO_MUL, Both, 2, false, 1, 0},
    {"rcp", D3DSIO_RCP, Vertex, 1, false, 1, 0},       {"rsq", D3DSIO_RSQ, Vertex, 1, false, 1, 0},
    {"dp3", D3DSIO_DP3, Both, 2, false, 1, 0},         {"dp4", D3DSIO_DP4, Both, 2, false, 1, 2},
    {"min", D3DSIO_MIN, Vertex, 2, false, 1, 0},       {"max", D3DSIO_MAX, Vertex, 2, false, 1, 0},
    {"slt", D3DSIO_SLT, Vertex, 2, false, 1, 0},       {"sge", D3DSIO_SGE, Vertex, 2, false, 1, 0},
    {"exp", D3DSIO_EXP, Vertex, 1, false, 1, 0},       {"log", D3DSIO_LOG, Vertex, 1, false, 1, 0},
    {"lit", D3DSIO_LIT, Vertex, 1, false, 1, 0},       {"dst", D3DSIO_DST, Vertex, 2, false, 1, 0},
    {"lrp", D3DSIO_LRP, Pixel, 3, false, 1, 0},        {"frc", D3DSIO_FRC, Vertex, 1, false, 1, 0},
    {"m4x4", D3DSIO_M4x4, Vertex, 2, false, 4, 0},     {"m4x3", D3DSIO_M4x3, Vertex, 2, false, 3, 0},
    {"m3x4", D3DSIO_M3x4, Vertex, 2, false, 4, 0},     {"m3x3", D3DSIO_M3x3, Vertex, 2, false, 3, 0},
    {"m3x2", D3DSIO_M3x2, Vertex, 2, false, 2, 0},     {"texcoord", D3DSIO_TEXCOORD, Pixel, 0, true, 1, 0},
    {"texkill", D3DSIO_TEXKILL, Pixel, 0, true, 1, 0}, {"tex", D3DSIO_TEX, Pixel, 0, true, 1, 0},
    {"texbem", D3DSIO_TEXBEM, Pixel, 1, true, 1, 0},   {"expp", D3DSIO_EXPP, Vertex, 1, false, 1, 0},
    {"logp", D3DSIO_LOGP, Vertex, 1, false, 1, 0},     {"cnd", D3DSIO_CND, Pixel, 3, false, 1, 0},
    {"cmp", D3DSIO_CMP, Pixel, 3, false, 1, 2},
};

const OpInfo* FindOp(std::string_view name) {
    for (const OpInfo& op : ops)
        if (name == op.name)
            return &op;
    return nullptr;
}
const OpInfo* FindOp(DWORD opcode) {
    for (const OpInfo& op : ops)
        if (opcode == op.opcode)
            return &op;
    return nullptr;
}

struct Usage {
    const char* name;
    BYTE usage;
};
constexpr Usage usages[] = {
    {"position", D3DDECLUSAGE_POSITION},
    {"blendweight", D3DDECLUSAGE_BLENDWEIGHT},
    {"blendindices", D3DDECLUSAGE_BLENDINDICES},
    {"normal", D3DDECLUSAGE_NORMAL},
    {"psize", D3DDECLUSAGE_PSIZE},
    {"texcoord", D3DDECLUSAGE_TEXCOORD},
    {"tangent", D3DDECLUSAGE_TANGENT},
    {"binormal", D3DDECLUSAGE_BINORMAL},
    {"color", D3DDECLUSAGE_COLOR},
    {"fog", D3DDECLUSAGE_FOG},
};

DWORD RegisterToken(DWORD type, DWORD number) {
    return ParamBit | (number & D3DSP_REGNUM_MASK) | ((type & 7) << D3DSP_REGTYPE_SHIFT) |
           ((type & 0x18) << D3DSP_REGTYPE_SHIFT2);
}
DWORD RegisterType(DWORD token) {
    return ((token & D3DSP_REGTYPE_MASK) >> D3DSP_REGTYPE_SHIFT) |
           ((token & D3DSP_REGTYPE_MASK2) >> D3DSP_REGTYPE_SHIFT2);
}

std::optional<unsigned> Number(std::string_view s) {
    unsigned value = 0;
    if (s.empty() || s.size() > 4)
        return std::nullopt;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size())
        return std::nullopt;
    return value;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

int ComponentIndex(char c) {
    switch (c) {
    case 'x':
    case 'r':
        return 0;
    case 'y':
    case 'g':
        return 1;
    case 'z':
    case 'b':
        return 2;
    case 'w':
    case 'a':
        return 3;
    default:
        return -1;
    }
}

class Assembler {
public:
    Assembler(std::vector<DWORD>& tokens, std::string& errors) : tokens_(tokens), errors_(errors) {}

    bool Run(std::string_view text) {
        tokens_.clear();
        errors_.clear();
        errorCount_ = 0;
        int line = 0;
        bool inBlockComment = false;
        while (!text.empty()) {
            ++line;
            size_t end = text.find('\n');
            std::string lower(text.substr(0, end));
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
            Win32::LowerInPlace(lower);
            line_ = line;
            StripComments(lower, inBlockComment);
            std::string_view statement = Trim(lower);
            if (!statement.empty())
                Statement(statement);
        }
        line_ = line;
        if (!kind_)
            Error("no shader version");
        if (!errors_.empty()) {
            tokens_.clear();
            return false;
        }
        tokens_.push_back(0x0000FFFF);
        return true;
    }

private:
    // The text quoted in a reason comes from a file: it is cut and made printable, and a file of garbage
    // gives a few errors rather than one for every line.
    void Error(const std::string& reason) {
        constexpr size_t MaxErrors = 20, MaxReason = 120;
        if (++errorCount_ > MaxErrors) {
            if (errorCount_ == MaxErrors + 1)
                errors_.append("(")
                    .append(std::to_string(line_))
                    .append("): error: too many errors; the rest are not listed\n");
            return;
        }
        std::string shown = reason.substr(0, MaxReason);
        for (char& c : shown)
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
                c = '?';
        if (reason.size() > MaxReason)
            shown += "...";
        errors_.append("(").append(std::to_string(line_)).append("): error: ").append(shown).append("\n");
    }

    static void StripComments(std::string& s, bool& inBlock) {
        std::string out;
        for (size_t i = 0; i < s.size(); ++i) {
            if (inBlock) {
                if (s.compare(i, 2, "*/") == 0) {
                    inBlock = false;
                    ++i;
                }
                continue;
            }
            if (s[i] == ';' || s.compare(i, 2, "//") == 0)
                break;
            if (s.compare(i, 2, "/*") == 0) {
                inBlock = true;
                ++i;
                continue;
            }
            out += s[i];
        }
        s = out;
    }

    void Statement(std::string_view s) {
        size_t split = s.find_first_of(" \t");
        std::string_view head = s.substr(0, split);
        std::string_view rest = split == std::string_view::npos ? std::string_view() : Trim(s.substr(split));
        if (!kind_) {
            Version(head, rest);
            return;
        }
        bool coissue = false;
        if (!head.empty() && head.front() == '+') {
            coissue = true;
            head.remove_prefix(1);
            if (head.empty()) {
                size_t next = rest.find_first_of(" \t");
                head = rest.substr(0, next);
                rest = next == std::string_view::npos ? std::string_view() : Trim(rest.substr(next));
            }
        }
        std::vector<std::string_view> operands;
        while (!rest.empty()) {
            size_t comma = rest.find(',');
            operands.push_back(Trim(rest.substr(0, comma)));
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
            if (comma != std::string_view::npos && Trim(rest).empty())
                operands.push_back(std::string_view());
        }
        if (head.starts_with("dcl_")) {
            Declaration(head.substr(4), operands);
            return;
        }
        if (head == "def") {
            Definition(operands);
            return;
        }
        // The mnemonic and its instruction modifiers: mul_x2_sat.
        std::string_view name = head.substr(0, head.find('_'));
        const OpInfo* op = FindOp(name);
        if (!op || !(op->kinds & kind_) || (kind_ == Pixel && minor_ < op->minMinor)) {
            Error("unknown instruction '" + std::string(head) + "'");
            return;
        }
        DWORD shift = 0, saturate = 0;
        for (std::string_view mods = head.substr(name.size()); !mods.empty();) {
            mods.remove_prefix(1);
            std::string_view mod = mods.substr(0, mods.find('_'));
            mods.remove_prefix(mod.size());
            if (kind_ == Pixel && !op->texture && mod == "x2" && !shift)
                shift = 1;
            else if (kind_ == Pixel && !op->texture && mod == "x4" && !shift)
                shift = 2;
            else if (kind_ == Pixel && !op->texture && mod == "d2" && !shift)
                shift = 0xF;
            else if (kind_ == Pixel && !op->texture && mod == "sat" && !saturate)
                saturate = D3DSPDM_SATURATE;
            else {
                Error("unknown instruction modifier '_" + std::string(mod) + "'");
                return;
            }
        }
        if (coissue && (kind_ != Pixel || op->texture || tokens_.size() <= 1 || lastWasCoissue_ ||
                        !lastWasArithmetic_)) {
            Error("'+' must pair an arithmetic instruction with the one before it");
            return;
        }
        size_t expected = op->opcode == D3DSIO_NOP ? 0 : 1 + op->sources;
        if (operands.size() != expected) {
            Error("'" + std::string(name) + "' takes " + std::to_string(expected) + " operands");
            return;
        }
        std::vector<DWORD> params;
        if (expected) {
            std::optional<DWORD> dst = Destination(operands[0], op->texture);
            if (!dst)
                return;
            params.push_back(*dst | saturate | (shift << D3DSP_DSTSHIFT_SHIFT));
            for (size_t i = 1; i < operands.size(); ++i) {
                std::optional<DWORD> src = Source(operands[i], op->texture);
                if (!src)
                    return;
                params.push_back(*src);
            }
        }
        if (kind_ == Pixel && op->texture) {
            if (RegisterType(params[0]) != D3DSPR_TEXTURE) {
                Error("a texture instruction writes a texture register");
                return;
            }
            if (op->opcode == D3DSIO_TEXBEM &&
                (RegisterType(params[1]) != D3DSPR_TEXTURE ||
                 (params[1] & D3DSP_REGNUM_MASK) >= (params[0] & D3DSP_REGNUM_MASK))) {
                Error("texbem reads a texture register below the one it writes");
                return;
            }
            if (arithmetic_) {
                Error("texture instructions come before arithmetic ones");
                return;
            }
            if (++textureCount_ > 4) {
                Error("too many texture instructions (4 at most)");
                return;
            }
        } else if (op->opcode != D3DSIO_NOP) {
            if (kind_ == Pixel && !coissue)
                ++arithmetic_;
            if (kind_ == Vertex)
                arithmetic_ += op->slots;
            if (arithmetic_ > (kind_ == Pixel ? 8u : 128u)) {
                Error(kind_ == Pixel ? "too many arithmetic instructions (8 at most)"
                                     : "too many instructions (128 at most)");
                return;
            }
        }
        lastWasCoissue_ = coissue;
        lastWasArithmetic_ = !op->texture && op->opcode != D3DSIO_NOP;
        tokens_.push_back(op->opcode | (coissue ? D3DSI_COISSUE : 0));
        tokens_.insert(tokens_.end(), params.begin(), params.end());
    }

    void Version(std::string_view head, std::string_view rest) {
        std::string v(head);
        std::replace(v.begin(), v.end(), '.', '_');
        if (v == "vs_1_1" && !rest.empty()) {
            Error("unexpected text after the version");
            kind_ = 0xFF;
        } else if (v == "vs_1_1") {
            kind_ = Vertex;
            tokens_.push_back(D3DVS_VERSION(1, 1));
        } else if ((v == "ps_1_1" || v == "ps_1_2" || v == "ps_1_3") && rest.empty()) {
            kind_ = Pixel;
            minor_ = uint8_t(v.back() - '0');
            tokens_.push_back(D3DPS_VERSION(1, minor_));
        } else {
            Error("unknown or unsupported shader version '" + std::string(head) + "'");
            kind_ = 0xFF; // no cascade of errors: the rest is checked as neither kind
        }
    }

    void Declaration(std::string_view what, const std::vector<std::string_view>& operands) {
        if (kind_ != Vertex) {
            Error("'dcl_" + std::string(what) + "' is a vertex shader declaration");
            return;
        }
        size_t digits = what.find_first_of("0123456789");
        std::string_view name = what.substr(0, digits);
        unsigned index = 0;
        if (digits != std::string_view::npos) {
            std::optional<unsigned> n = Number(what.substr(digits));
            if (!n || *n > 15) {
                Error("bad usage index in 'dcl_" + std::string(what) + "'");
                return;
            }
            index = *n;
        }
        const Usage* usage = nullptr;
        for (const Usage& u : usages)
            if (name == u.name)
                usage = &u;
        if (!usage) {
            Error("unknown declaration 'dcl_" + std::string(what) + "'");
            return;
        }
        if (operands.size() != 1) {
            Error("a declaration names one input register");
            return;
        }
        std::optional<DWORD> reg = Destination(operands[0], false, true);
        if (!reg)
            return;
        if (RegisterType(*reg) != D3DSPR_INPUT) {
            Error("a declaration names an input register");
            return;
        }
        tokens_.push_back(D3DSIO_DCL);
        tokens_.push_back(ParamBit | usage->usage | (index << D3DSP_DCL_USAGEINDEX_SHIFT));
        tokens_.push_back(*reg);
    }

    void Definition(const std::vector<std::string_view>& operands) {
        if (operands.size() != 5) {
            Error("'def' takes a constant register and four numbers");
            return;
        }
        std::optional<DWORD> reg = Destination(operands[0], false, true);
        if (!reg)
            return;
        if (RegisterType(*reg) != D3DSPR_CONST || (*reg & D3DVS_ADDRMODE_RELATIVE) ||
            (*reg & D3DSP_WRITEMASK_ALL) != D3DSP_WRITEMASK_ALL) {
            Error("'def' defines a whole constant register");
            return;
        }
        DWORD values[4];
        for (int i = 0; i < 4; ++i) {
            std::string_view s = operands[1 + i];
            if (!s.empty() && s.front() == '+')
                s.remove_prefix(1);
            float f = 0;
            auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), f);
            if (s.empty() || ec != std::errc() || end != s.data() + s.size()) {
                Error("bad number '" + std::string(operands[1 + i]) + "'");
                return;
            }
            std::memcpy(&values[i], &f, 4);
        }
        tokens_.push_back(D3DSIO_DEF);
        tokens_.push_back(*reg);
        tokens_.insert(tokens_.end(), values, values + 4);
    }

    // A register name to its token bits (type and number), checked against the shader kind.
    std::optional<DWORD> Register(std::string_view s, bool destination, bool forTexture) {
        auto bad = [&](const char* why) -> std::optional<DWORD> {
            Error(std::string(why) + " '" + std::string(s) + "'");
            return std::nullopt;
        };
        if (s.empty())
            return bad("missing register");
        const bool vs = kind_ == Vertex;
        if (s == "opos" || s == "ofog" || s == "opts") {
            if (!vs || !destination)
                return bad("bad register");
            return RegisterToken(D3DSPR_RASTOUT, s == "opos" ? 0 : s == "ofog" ? 1 : 2);
        }
        if (s == "a0") {
            if (!vs || !destination)
                return bad("bad register");
            return RegisterToken(D3DSPR_ADDR, 0);
        }
        if (s.front() == 'c' && s.size() > 1 && s[1] == '[') {
            if (s.back() != ']')
                return bad("bad register");
            std::string inner;
            for (char c : s.substr(2, s.size() - 3))
                if (!std::isspace(static_cast<unsigned char>(c)))
                    inner += c;
            bool relative = false;
            unsigned offset = 0;
            std::string_view rest = inner;
            if (rest.starts_with("a0.x")) {
                relative = true;
                rest.remove_prefix(4);
                if (rest.starts_with("+"))
                    rest.remove_prefix(1);
                else if (!rest.empty())
                    return bad("bad register");
            } else if (size_t plus = rest.find("+a0.x");
                       plus != std::string_view::npos && plus + 5 == rest.size()) {
                relative = true;
                rest = rest.substr(0, plus);
            }
            if (!rest.empty()) {
                std::optional<unsigned> n = Number(rest);
                if (!n)
                    return bad("bad register");
                offset = *n;
            }
            if (relative && (!vs || destination))
                return bad("relative addressing is for vertex shader sources only in");
            if (offset >= (vs ? 96u : 8u))
                return bad("bad register");
            return RegisterToken(D3DSPR_CONST, offset) | (relative ? D3DVS_ADDRMODE_RELATIVE : 0);
        }
        size_t digits = s.find_first_of("0123456789");
        if (digits == 0 || digits == std::string_view::npos)
            return bad("bad register");
        std::string_view prefix = s.substr(0, digits);
        std::optional<unsigned> n = Number(s.substr(digits));
        if (!n)
            return bad("bad register");
        struct Kind {
            const char* prefix;
            DWORD type;
            unsigned count;
            bool readable, writable;
        };
        static constexpr Kind vertexRegs[] = {{"r", D3DSPR_TEMP, 12, true, true},
                                              {"v", D3DSPR_INPUT, 16, true, false},
                                              {"c", D3DSPR_CONST, 96, true, false},
                                              {"od", D3DSPR_ATTROUT, 2, false, true},
                                              {"ot", D3DSPR_TEXCRDOUT, 8, false, true}};
        static constexpr Kind pixelRegs[] = {{"r", D3DSPR_TEMP, 2, true, true},
                                             {"v", D3DSPR_INPUT, 2, true, false},
                                             {"c", D3DSPR_CONST, 8, true, false},
                                             {"t", D3DSPR_TEXTURE, 4, true, true}};
        for (const Kind& k : vs ? std::span<const Kind>(vertexRegs) : std::span<const Kind>(pixelRegs)) {
            if (prefix != k.prefix)
                continue;
            if (*n >= k.count || (destination && !k.writable && !forTexture) || (!destination && !k.readable))
                return bad("bad register");
            return RegisterToken(k.type, *n);
        }
        return bad("bad register");
    }

    std::optional<DWORD> Destination(std::string_view s, bool texture, bool declaration = false) {
        std::string_view name = s.substr(0, s.find('.'));
        std::optional<DWORD> reg = Register(name, true, declaration);
        if (!reg)
            return std::nullopt;
        DWORD mask = D3DSP_WRITEMASK_ALL;
        if (name.size() < s.size()) {
            std::string_view letters = s.substr(name.size() + 1);
            mask = 0;
            int last = -1;
            for (char c : letters) {
                int i = ComponentIndex(c);
                if (i <= last) {
                    Error("bad write mask '." + std::string(letters) + "'");
                    return std::nullopt;
                }
                last = i;
                mask |= D3DSP_WRITEMASK_0 << i;
            }
            if (!mask || (texture && mask != D3DSP_WRITEMASK_ALL)) {
                Error("bad write mask '." + std::string(letters) + "'");
                return std::nullopt;
            }
        }
        return *reg | mask;
    }

    std::optional<DWORD> Source(std::string_view s, bool texture) {
        DWORD modifier = D3DSPSM_NONE;
        bool negate = false, complement = false;
        if (s.starts_with("-")) {
            negate = true;
            s = Trim(s.substr(1));
        } else if (s.starts_with("1-")) {
            complement = true;
            s = Trim(s.substr(2));
        }
        if ((complement && kind_ != Pixel) || texture) {
            if (complement || negate) {
                Error("bad source modifier on '" + std::string(s) + "'");
                return std::nullopt;
            }
        }
        // Register, then a suffix modifier and a swizzle in either order.
        size_t end = s.find_first_of("._");
        if (s.starts_with("c["))
            end = s.find_first_of("._", s.find(']'));
        std::string_view name = s.substr(0, end);
        std::string_view rest = end == std::string_view::npos ? std::string_view() : s.substr(end);
        std::string_view suffix, swizzle;
        while (!rest.empty()) {
            size_t next = rest.find_first_of("._", 1);
            std::string_view part = rest.substr(0, next);
            rest.remove_prefix(part.size());
            if (part.front() == '_' && suffix.empty())
                suffix = part.substr(1);
            else if (part.front() == '.' && swizzle.empty())
                swizzle = part.substr(1);
            else {
                Error("bad source '" + std::string(s) + "'");
                return std::nullopt;
            }
        }
        if (!suffix.empty()) {
            if (kind_ != Pixel || complement || texture || (suffix != "bias" && suffix != "bx2")) {
                Error("bad source modifier '_" + std::string(suffix) + "'");
                return std::nullopt;
            }
            modifier = suffix == "bias" ? (negate ? D3DSPSM_BIASNEG : D3DSPSM_BIAS)
                                        : (negate ? D3DSPSM_SIGNNEG : D3DSPSM_SIGN);
        } else if (negate) {
            modifier = D3DSPSM_NEG;
        } else if (complement) {
            modifier = D3DSPSM_COMP;
        }
        std::optional<DWORD> reg = Register(name, false, texture);
        if (!reg)
            return std::nullopt;
        DWORD swizzleBits = D3DVS_NOSWIZZLE;
        if (!swizzle.empty()) {
            if (swizzle.size() > 4) {
                Error("bad swizzle '." + std::string(swizzle) + "'");
                return std::nullopt;
            }
            swizzleBits = 0;
            int component = 0;
            for (int i = 0; i < 4; ++i) {
                if (i < int(swizzle.size()))
                    component = ComponentIndex(swizzle[size_t(i)]);
                if (component < 0) {
                    Error("bad swizzle '." + std::string(swizzle) + "'");
                    return std::nullopt;
                }
                swizzleBits |= DWORD(component) << (D3DVS_SWIZZLE_SHIFT + 2 * i);
            }
        }
        return *reg | swizzleBits | modifier;
    }

    std::vector<DWORD>& tokens_;
    std::string& errors_;
    size_t errorCount_ = 0;
    int line_ = 0;
    uint8_t kind_ = 0;
    uint8_t minor_ = 0;
    unsigned arithmetic_ = 0, textureCount_ = 0;
    bool lastWasCoissue_ = false, lastWasArithmetic_ = false;
};

// Disassembly.

std::string RegisterName(DWORD token, bool vs) {
    DWORD n = token & D3DSP_REGNUM_MASK;
    std::string num = std::to_string(n);
    switch (RegisterType(token)) {
    case D3DSPR_TEMP:
        return "r" + num;
    case D3DSPR_INPUT:
        return "v" + num;
    case D3DSPR_CONST:
        if (token & D3DVS_ADDRMODE_RELATIVE)
            return "c[a0.x + " + num + "]";
        return "c" + num;
    case D3DSPR_TEXTURE:
        return vs ? "a0" : "t" + num;
    case D3DSPR_RASTOUT:
        return n == 0 ? "oPos" : n == 1 ? "oFog" : "oPts";
    case D3DSPR_ATTROUT:
        return "oD" + num;
    case D3DSPR_TEXCRDOUT:
        return "oT" + num;
    default:
        return "?";
    }
}

std::string DestinationText(DWORD token, bool vs) {
    std::string s = RegisterName(token, vs);
    DWORD mask = (token & D3DSP_WRITEMASK_ALL) >> 16;
    if (mask != 0xF) {
        s += '.';
        for (int i = 0; i < 4; ++i)
            if (mask & (1u << i))
                s += "xyzw"[i];
    }
    return s;
}

std::string SourceText(DWORD token, bool vs) {
    std::string reg = RegisterName(token, vs);
    DWORD swizzle = (token & D3DVS_SWIZZLE_MASK) >> D3DVS_SWIZZLE_SHIFT;
    std::string sw;
    if (swizzle != 0xE4) {
        sw = ".";
        for (int i = 0; i < 4; ++i)
            sw += "xyzw"[(swizzle >> (2 * i)) & 3];
    }
    switch (token & D3DSP_SRCMOD_MASK) {
    case D3DSPSM_NEG:
        return "-" + reg + sw;
    case D3DSPSM_BIAS:
        return reg + "_bias" + sw;
    case D3DSPSM_BIASNEG:
        return "-" + reg + "_bias" + sw;
    case D3DSPSM_SIGN:
        return reg + "_bx2" + sw;
    case D3DSPSM_SIGNNEG:
        return "-" + reg + "_bx2" + sw;
    case D3DSPSM_COMP:
        return "1-" + reg + sw;
    default:
        return reg + sw;
    }
}

} // namespace

bool AssembleShader(std::string_view text, std::vector<DWORD>& tokens, std::string& errors) {
    return Assembler(tokens, errors).Run(text);
}

bool DisassembleShader(const DWORD* tokens, size_t count, std::string& text) {
    text.clear();
    if (!tokens || count < 2)
        return false;
    const DWORD version = tokens[0];
    const bool vs = (version & 0xFFFF0000) == 0xFFFE0000;
    if (version == D3DVS_VERSION(1, 1))
        text = "vs_1_1\n";
    else if (version >= D3DPS_VERSION(1, 1) && version <= D3DPS_VERSION(1, 3))
        text = "ps_1_" + std::to_string(version & 0xFF) + "\n";
    else
        return false;
    size_t i = 1;
    auto param = [&](DWORD& out) {
        if (i >= count || !(tokens[i] & ParamBit))
            return false;
        out = tokens[i++];
        return true;
    };
    while (i < count) {
        DWORD instruction = tokens[i++];
        DWORD opcode = instruction & D3DSI_OPCODE_MASK;
        if (opcode == D3DSIO_END)
            return i == count;
        if (opcode == D3DSIO_COMMENT) {
            i += (instruction & D3DSI_COMMENTSIZE_MASK) >> D3DSI_COMMENTSIZE_SHIFT;
            continue;
        }
        if (instruction & ParamBit)
            return false;
        if (opcode == D3DSIO_DCL) {
            DWORD usage, reg;
            if (!param(usage) || !param(reg))
                return false;
            const char* name = nullptr;
            for (const Usage& u : usages)
                if (u.usage == (usage & D3DSP_DCL_USAGE_MASK))
                    name = u.name;
            if (!name)
                return false;
            DWORD index = (usage & D3DSP_DCL_USAGEINDEX_MASK) >> D3DSP_DCL_USAGEINDEX_SHIFT;
            text += std::string("dcl_") + name + (index ? std::to_string(index) : "") + " " +
                    DestinationText(reg, vs) + "\n";
            continue;
        }
        if (opcode == D3DSIO_DEF) {
            DWORD reg;
            if (!param(reg) || i + 4 > count)
                return false;
            text += "def " + DestinationText(reg, vs);
            for (int k = 0; k < 4; ++k) {
                float f;
                std::memcpy(&f, &tokens[i++], 4);
                char buffer[32];
                auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, f);
                if (ec != std::errc())
                    return false;
                text += ", " + std::string(buffer, end);
            }
            text += "\n";
            continue;
        }
        const OpInfo* op = FindOp(opcode);
        if (!op)
            return false;
        std::string line = (instruction & D3DSI_COISSUE) ? "+" : "";
        line += op->name;
        if (opcode != D3DSIO_NOP) {
            DWORD dst;
            if (!param(dst))
                return false;
            switch ((dst & D3DSP_DSTSHIFT_MASK) >> D3DSP_DSTSHIFT_SHIFT) {
            case 1:
                line += "_x2";
                break;
            case 2:
                line += "_x4";
                break;
            case 0xF:
                line += "_d2";
                break;
            default:
                break;
            }
            if (dst & D3DSPDM_SATURATE)
                line += "_sat";
            line.append(" ").append(DestinationText(dst, vs));
            for (int k = 0; k < op->sources; ++k) {
                DWORD src;
                if (!param(src))
                    return false;
                line += ", " + SourceText(src, vs);
            }
        }
        text += line + "\n";
    }
    return false;
}

} // namespace D3DX9
