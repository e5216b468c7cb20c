// Shader assembly: the tokens of known instructions, text to tokens and back for every shader the system
// uses, and errors reported with their line.
#include "ShaderTexts.h"
#include "platform/d3dx9/Assembler.h"
#include "platform/win32/Files.h"
#include "tests/support/TempDir.h"

#include <d3dx9.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<DWORD> Assemble(const std::string& text, std::string* errors = nullptr) {
    LPD3DXBUFFER code = nullptr, messages = nullptr;
    HRESULT hr = D3DXAssembleShader(text.data(), UINT(text.size()), nullptr, nullptr, 0, &code, &messages);
    std::vector<DWORD> tokens;
    if (hr == D3D_OK) {
        EXPECT_EQ(messages, nullptr);
        const auto* p = static_cast<const DWORD*>(code->GetBufferPointer());
        tokens.assign(p, p + code->GetBufferSize() / 4);
        code->Release();
    } else {
        EXPECT_EQ(hr, D3DXERR_INVALIDDATA);
        EXPECT_EQ(code, nullptr);
        if (errors && messages)
            *errors = static_cast<const char*>(messages->GetBufferPointer());
    }
    if (messages)
        messages->Release();
    return tokens;
}

std::string ReadSource(const char* relative) {
    std::ifstream in(std::string(CORVANE_SOURCE_DIR) + "/" + relative);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::pair<std::string, std::string>> EveryShader() {
    auto all = ShaderTexts::MaterialEffects();
    all.emplace_back("water vertex shader", ReadSource("data/Shaders/WaterPS11.vsh"));
    all.emplace_back("water pixel shader", ReadSource("data/Shaders/WaterPS11.psh"));
    return all;
}

} // namespace

TEST(ShaderAssembly, KnownInstructionsGiveTheirTokens) {
    // Opcode, then destination and sources with bit 31 set: type in bits 28-30, mask in 16-19, swizzle
    // in 16-23, modifiers in 20-27.
    EXPECT_EQ(Assemble("ps_1_1\ntex t0\nmul_x2_sat r0.rgb, t0, 1-v0.a\n+mov r0.a, -c1_bx2\n"),
              (std::vector<DWORD>{0xFFFF0101, 0x00000042, 0xB00F0000, 0x00000005, 0x81170000, 0xB0E40000,
                                  0x96FF0000, 0x40000001, 0x80080000, 0xA5E40001, 0x0000FFFF}));
    EXPECT_EQ(Assemble("vs.1.1\ndcl_texcoord2 v3\nm4x4 oPos, v0, c[a0.x + 4]\nmov a0.x, r1.y\n"
                       "def c5, 1, -0.5, 0, 2\nmov oT1.xy, v3.yx\n"),
              (std::vector<DWORD>{0xFFFE0101, 0x0000001F, 0x80020005, 0x900F0003, 0x00000014, 0xC00F0000,
                                  0x90E40000, 0xA0E42004, 0x00000001, 0xB0010000, 0x80550001, 0x00000051,
                                  0xA00F0005, 0x3F800000, 0xBF000000, 0x00000000, 0x40000000, 0x00000001,
                                  0xE0030001, 0x90010003, 0x0000FFFF}));
    // ps_1_1 texture coordinates are not swizzled nor changed: texbem reads its source as it stands.
    EXPECT_EQ(Assemble("ps_1_1 ; comment\ntex t2 // another\n/* block */ texbem t3, t2\n"),
              (std::vector<DWORD>{0xFFFF0101, 0x00000042, 0xB00F0002, 0x00000043, 0xB00F0003, 0xB0E40002,
                                  0x0000FFFF}));
}

TEST(ShaderAssembly, EveryShaderOfTheSystemGoesToTokensAndBack) {
    for (const auto& [name, text] : EveryShader()) {
        SCOPED_TRACE(name);
        std::string errors;
        std::vector<DWORD> tokens = Assemble(text, &errors);
        ASSERT_FALSE(tokens.empty()) << errors;
        LPD3DXBUFFER listing = nullptr;
        ASSERT_EQ(D3DXDisassembleShader(tokens.data(), FALSE, nullptr, &listing), D3D_OK);
        std::string back = static_cast<const char*>(listing->GetBufferPointer());
        listing->Release();
        EXPECT_EQ(Assemble(back), tokens) << back;
    }
}

TEST(ShaderAssembly, FromAFileByGamePath) {
    TestSupport::TempDir scratch("corvane-assembly");
    const auto& dir = scratch.path;
    std::filesystem::create_directories(dir / "Shaders");
    std::ofstream(dir / "Shaders" / "water.psh") << "ps_1_1\r\ntex t0\r\nmov r0, t0\r\n";
    std::string path = (dir / "shaders").string() + "\\WATER.psh";
    LPD3DXBUFFER code = nullptr, errors = nullptr;
    ASSERT_EQ(D3DXAssembleShaderFromFileA(path.c_str(), nullptr, nullptr, 0, &code, &errors), D3D_OK);
    EXPECT_EQ(code->GetBufferSize(), 7u * 4u);
    code->Release();
    EXPECT_EQ(D3DXAssembleShaderFromFileA((dir / "missing.psh").c_str(), nullptr, nullptr, 0, &code, &errors),
              D3DXERR_INVALIDDATA);
    ASSERT_NE(errors, nullptr);
    EXPECT_NE(std::string(static_cast<const char*>(errors->GetBufferPointer())).find("cannot read"),
              std::string::npos);
    errors->Release();
}

TEST(ShaderAssembly, ErrorsNameTheirLine) {
    struct Case {
        const char* text;
        const char* error;
    };
    std::string tooLong = "vs_1_1\n";
    for (int i = 0; i < 129; ++i)
        tooLong += "mov r0, v0\n";
    const Case cases[] = {
        {"ps_1_1\ntex t0\nfoo r0, t0\n", "(3): error: unknown instruction 'foo'"},
        {"ps_1_1\nmov r2, v0\n", "(2): error: bad register 'r2'"},
        {"vs_1_1\nmov r0, q1\n", "(2): error: bad register 'q1'"},
        {"vs_1_1\nmov v0, r0\n", "(2): error: bad register 'v0'"},
        {"ps_1_1\nmov r0, c8\n", "(2): error: bad register 'c8'"},
        {"ps_1_1\nmov r0, v0\nmov r0, v0\nmov r0, v0\nmov r0, v0\nmov r0, v0\nmov r0, v0\nmov r0, v0\n"
         "mov r0, v0\nmov r0, v0\n",
         "(10): error: too many arithmetic instructions (8 at most)"},
        {tooLong.c_str(), "(130): error: too many instructions (128 at most)"},
        {"ps_1_1\ntex t0\ntex t1\ntex t2\ntex t3\ntexcoord t0\n",
         "(6): error: too many texture instructions"},
        {"ps_1_1\nmov r0, v0\ntex t0\n", "(3): error: texture instructions come before arithmetic ones"},
        {"ps_1_1\ntexbem t1, t2\n", "(2): error: texbem reads a texture register below the one it writes"},
        {"\n\nps_2_0\n", "(3): error: unknown or unsupported shader version 'ps_2_0'"},
        {"mov r0, v0\n", "(1): error: unknown or unsupported shader version 'mov'"},
        {"; nothing\n", "(1): error: no shader version"},
        {"ps_1_1\nmov r0, v0, v1\n", "(2): error: 'mov' takes 2 operands"},
        {"ps_1_1\nmov r0.ar, v0\n", "(2): error: bad write mask '.ar'"},
        {"ps_1_1\nmov r0, v0.q\n", "(2): error: bad swizzle '.q'"},
        {"vs_1_1\nmov_sat r0, v0\n", "(2): error: unknown instruction modifier '_sat'"},
        {"ps_1_1\n+mov r0, v0\n", "(2): error: '+' must pair"},
        {"ps_1_1\ndef c0, 1, 2, x, 4\n", "(2): error: bad number 'x'"},
        {"vs_1_1\ndcl_colour v0\n", "(2): error: unknown declaration 'dcl_colour'"},
        {"ps_1_1\n  #include \"x\"\n", "(2): error: preprocessor directives are not supported"},
        {"ps_1_1\nlrp r0, v0\nmul r0, c[a0.x], v0\n", "(2): error: 'lrp' takes 4 operands\n(3): error:"},
    };
    for (const Case& c : cases) {
        std::string errors;
        EXPECT_TRUE(Assemble(c.text, &errors).empty()) << c.text;
        EXPECT_EQ(errors.find(c.error), 0u) << c.text << "\ngave: " << errors;
    }
}

// A shader file of garbage: the errors quote it cut short and printable, and stop after a few.
TEST(ShaderAssembly, ErrorsOnGarbageAreShortAndPrintable) {
    std::string garbage = "\xDE\xA2\x01\x7F\xF0" + std::string(500, 'x') + "\n";
    for (int i = 0; i < 10000; ++i)
        garbage += "\x1B[2J\xFF bogus\n";
    std::string errors;
    EXPECT_TRUE(Assemble(garbage, &errors).empty());
    EXPECT_EQ(errors.find("(1): error: unknown or unsupported shader version '?????xxx"), 0u)
        << errors.substr(0, 200);
    EXPECT_NE(errors.find("xxx...\n(2): error: "), std::string::npos) << errors.substr(0, 400);
    EXPECT_NE(errors.find("): error: too many errors; the rest are not listed\n"), std::string::npos)
        << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 21) << errors;
    EXPECT_LT(errors.size(), 4000u);
    for (char c : errors)
        ASSERT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << int(static_cast<unsigned char>(c));
}

TEST(ShaderAssembly, AHashInACommentIsNoDirective) {
    EXPECT_EQ(Assemble("ps_1_1 ; pass #1\n  mov r0, v0 // #2\n").size(), 5u);
}

TEST(ShaderAssembly, MacrosAndBadArgumentsAreRefused) {
    LPD3DXBUFFER code = nullptr, errors = nullptr;
    const D3DXMACRO macros[] = {{"X", "1"}, {nullptr, nullptr}};
    const char text[] = "ps_1_1\nmov r0, v0\n";
    EXPECT_EQ(D3DXAssembleShader(text, sizeof text - 1, macros, nullptr, 0, &code, &errors),
              D3DXERR_INVALIDDATA);
    ASSERT_NE(errors, nullptr);
    errors->Release();
    EXPECT_EQ(D3DXAssembleShader(nullptr, 0, nullptr, nullptr, 0, &code, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXAssembleShader(text, sizeof text - 1, nullptr, nullptr, 0, nullptr, nullptr),
              D3DERR_INVALIDCALL);
    // Without an errors buffer the failure still says so by its result.
    EXPECT_EQ(D3DXAssembleShader("ps_1_1\nfoo\n", 12, nullptr, nullptr, 0, &code, nullptr),
              D3DXERR_INVALIDDATA);
    EXPECT_EQ(code, nullptr);
}

TEST(ShaderAssembly, AnEmptyBufferOfAnySizeIsZeroed) {
    for (DWORD size : {0u, 1u, 64u}) {
        LPD3DXBUFFER buffer = nullptr;
        ASSERT_EQ(D3DXCreateBuffer(size, &buffer), D3D_OK) << size;
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(buffer->GetBufferSize(), size);
        const auto* bytes = static_cast<const unsigned char*>(buffer->GetBufferPointer());
        EXPECT_TRUE(std::all_of(bytes, bytes + size, [](unsigned char b) { return b == 0; })) << size;
        buffer->Release();
    }
    EXPECT_EQ(D3DXCreateBuffer(4, nullptr), D3DERR_INVALIDCALL);
}
