// Shaders drawn through the translator: instructions and modifiers against their formulas computed here,
// each shader of the system on constant inputs, and a device without shader support.
#include "../d3dx9/ShaderTexts.h"
#include "DeviceFixture.h"
#include "platform/d3d9/ShaderTranslator.h"

#include <d3dx9.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <bit>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

namespace {

using Vec4 = std::array<double, 4>;

std::vector<DWORD> Assemble(const std::string& text) {
    LPD3DXBUFFER code = nullptr, errors = nullptr;
    HRESULT hr = D3DXAssembleShader(text.data(), UINT(text.size()), nullptr, nullptr, 0, &code, &errors);
    std::vector<DWORD> tokens;
    if (hr == D3D_OK) {
        const auto* p = static_cast<const DWORD*>(code->GetBufferPointer());
        tokens.assign(p, p + code->GetBufferSize() / 4);
        code->Release();
    } else {
        ADD_FAILURE() << text << static_cast<const char*>(errors->GetBufferPointer());
    }
    if (errors)
        errors->Release();
    return tokens;
}

std::string ReadSource(const char* relative) {
    std::ifstream in(std::string(CORVANE_SOURCE_DIR) + "/" + relative);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

Vec4 Unpack(D3DCOLOR c) {
    return {((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0, (c >> 24) / 255.0};
}

void ExpectColour(uint32_t got, const Vec4& want, const std::string& what, int tolerance = 1) {
    int w[4];
    for (int i = 0; i < 4; ++i)
        w[i] = int(std::lround(std::clamp(want[i], 0.0, 1.0) * 255.0));
    EXPECT_NEAR(Red(got), w[0], tolerance) << what;
    EXPECT_NEAR(Green(got), w[1], tolerance) << what;
    EXPECT_NEAR(Blue(got), w[2], tolerance) << what;
    EXPECT_NEAR(Alpha(got), w[3], tolerance) << what;
}

// Per-component helpers of the CPU reference.
Vec4 Map(const Vec4& a, const std::function<double(double)>& f) {
    return {f(a[0]), f(a[1]), f(a[2]), f(a[3])};
}
Vec4 Map2(const Vec4& a, const Vec4& b, const std::function<double(double, double)>& f) {
    return {f(a[0], b[0]), f(a[1], b[1]), f(a[2], b[2]), f(a[3], b[3])};
}
Vec4 Range(const Vec4& a) { // ps_1_x registers hold [-1, 1]
    return Map(a, [](double x) { return std::clamp(x, -1.0, 1.0); });
}
Vec4 Splat(double x) {
    return {x, x, x, x};
}

const Vec4 C0 = {0.2, 0.4, 0.6, 0.8}, C1 = {0.5, 0.25, 0.9, 0.1}, C2 = {0.3, 0.7, 0.1, 0.5};
const Vec4 C3 = {-0.5, 0.5, 0.0, -0.1};
const char* const Defs =
    "def c0, 0.2, 0.4, 0.6, 0.8\ndef c1, 0.5, 0.25, 0.9, 0.1\ndef c2, 0.3, 0.7, 0.1, 0.5\n"
    "def c3, -0.5, 0.5, 0, -0.1\n";

class ShaderTest : public DeviceTest {
protected:
    IDirect3DPixelShader9* PixelShader(const std::string& text) {
        std::vector<DWORD> tokens = Assemble(text);
        IDirect3DPixelShader9* shader = nullptr;
        if (!tokens.empty()) {
            EXPECT_EQ(device->CreatePixelShader(tokens.data(), &shader), D3D_OK) << text;
        }
        return shader;
    }
    IDirect3DVertexShader9* VertexShader(const std::string& text) {
        std::vector<DWORD> tokens = Assemble(text);
        IDirect3DVertexShader9* shader = nullptr;
        if (!tokens.empty()) {
            EXPECT_EQ(device->CreateVertexShader(tokens.data(), &shader), D3D_OK) << text;
        }
        return shader;
    }
    IDirect3DTexture9* Texture(std::initializer_list<uint32_t> texels, D3DFORMAT format = D3DFMT_A8R8G8B8) {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(
            device->CreateTexture(UINT(texels.size()), 1, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr),
            D3D_OK);
        D3DLOCKED_RECT locked{};
        texture->LockRect(0, &locked, nullptr, 0);
        if (format == D3DFMT_V8U8) {
            std::vector<uint16_t> words;
            for (uint32_t t : texels)
                words.push_back(uint16_t(t));
            std::memcpy(locked.pBits, words.data(), words.size() * 2);
        } else {
            std::memcpy(locked.pBits, texels.begin(), texels.size() * 4);
        }
        texture->UnlockRect(0);
        return texture;
    }
    // A cell of an 8 x 8 grid, pre-transformed, with texture coordinates (u, v) in all four sets.
    void Cell(int cell, D3DCOLOR diffuse, float u = 0.5f, float v = 0.5f) {
        struct Vertex {
            float x, y, z, rhw;
            D3DCOLOR color;
            float t[4][2];
        };
        float l = float(cell % 8 * 8), t = float(cell / 8 * 8);
        Vertex q[4] = {{l, t, 0.5f, 1, diffuse, {}},
                       {l + 8, t, 0.5f, 1, diffuse, {}},
                       {l, t + 8, 0.5f, 1, diffuse, {}},
                       {l + 8, t + 8, 0.5f, 1, diffuse, {}}};
        for (Vertex& x : q)
            for (auto& set : x.t)
                set[0] = u, set[1] = v;
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX4);
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof q[0]), D3D_OK) << "cell " << cell;
    }
    static uint32_t CellPixel(const Pixels& p, int cell) {
        return p.At(unsigned(cell % 8 * 8 + 4), unsigned(cell / 8 * 8 + 4));
    }
};

} // namespace

TEST_F(ShaderTest, CapsReportShaderVersionsTheTranslatorTakes) {
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_EQ(caps.VertexShaderVersion, DWORD(D3DVS_VERSION(1, 1)));
    EXPECT_EQ(caps.PixelShaderVersion, DWORD(D3DPS_VERSION(1, 3)));
    EXPECT_EQ(caps.MaxVertexShaderConst, 96u);
    EXPECT_EQ(caps.PixelShader1xMaxValue, 1.0f);
    // What the translator does not take is refused at creation, not drawn wrong.
    const DWORD ps20[] = {0xFFFF0200, 0x0000FFFF};
    const DWORD unknownOpcode[] = {0xFFFF0101, 0x00000059, 0x800F0000, 0x0000FFFF};
    const DWORD badRegister[] = {0xFFFF0101, 0x00000001, 0x800F0005, 0x90E40000, 0x0000FFFF};
    IDirect3DPixelShader9* shader = nullptr;
    EXPECT_EQ(device->CreatePixelShader(ps20, &shader), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreatePixelShader(unknownOpcode, &shader), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreatePixelShader(badRegister, &shader), D3DERR_INVALIDCALL);
    EXPECT_EQ(shader, nullptr);
    IDirect3DVertexShader9* vs = nullptr;
    const DWORD psAsVs[] = {0xFFFF0101, 0x0000FFFF};
    EXPECT_EQ(device->CreateVertexShader(psAsVs, &vs), D3DERR_INVALIDCALL);
}

TEST_F(ShaderTest, PixelInstructionsAndModifiersMatchTheirFormulas) {
    struct Case {
        const char* code;
        Vec4 want;
    };
    auto add = [](const Vec4& a, const Vec4& b) { return Map2(a, b, std::plus<double>()); };
    auto mul = [](const Vec4& a, const Vec4& b) { return Map2(a, b, std::multiplies<double>()); };
    auto scale = [](const Vec4& a, double s) { return Map(a, [s](double x) { return x * s; }); };
    auto dot3 = [](const Vec4& a, const Vec4& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
    const Vec4 diffuse = Unpack(0x40FF8040), texel = Unpack(0xC0804020);
    const Vec4 r1x4 = Range(scale(Map2(C0, C1, std::minus<double>()), 4));
    const Case cases[] = {
        {"mov r0, c0", C0},
        {"add r0, c0, c1", add(C0, C1)},
        {"sub r0, c1, c0", Map2(C1, C0, std::minus<double>())},
        {"mul r0, c0, c1", mul(C0, C1)},
        {"mad r0, c0, c1, c2", add(mul(C0, C1), C2)},
        {"lrp r0, c0, c1, c2", add(mul(C0, C1), mul(Map(C0, [](double x) { return 1 - x; }), C2))},
        {"dp3 r0, c0, c1", Splat(dot3(C0, C1))},
        {"dp4 r0, c0, c1", Splat(dot3(C0, C1) + C0[3] * C1[3])},
        {"cnd r0, c0.a, c1, c2", C1},
        {"cnd r0, c1.a, c1, c2", C2},
        {"cmp r0, c3, c1, c2", {C2[0], C1[1], C1[2], C2[3]}},
        {"mul_x2 r0, c0, c1", scale(mul(C0, C1), 2)},
        {"mul_x4 r0, c0, c1", scale(mul(C0, C1), 4)},
        {"add_d2 r0, c0, c1", scale(add(C0, C1), 0.5)},
        {"add_sat r0, c0, c1", add(C0, C1)},
        {"add r0, c1, -c0_bias", add(C1, Map(C0, [](double x) { return 0.5 - x; }))},
        {"add r0, c1, c0_bias", add(C1, Map(C0, [](double x) { return x - 0.5; }))},
        {"mad r0, c0_bx2, c1, c2", add(mul(Map(C0, [](double x) { return 2 * x - 1; }), C1), C2)},
        {"mad r0, -c0_bx2, c1, c2", add(mul(Map(C0, [](double x) { return 1 - 2 * x; }), C1), C2)},
        {"mov r0, 1-c0", Map(C0, [](double x) { return 1 - x; })},
        {"mov r0, c0.a", Splat(C0[3])},
        {"mov r0, -c3", Map(C3, [](double x) { return -x; })},
        {"mov r0, v0", diffuse},
        {"tex t0\nmul r0, t0, v0", mul(texel, diffuse)},
        {"texcoord t1\nmov r0, c2\nmov r0.rg, t1", {0.25, 0.75, C2[2], C2[3]}},
        {"mov r0.rgb, c0\n+mov r0.a, c1.a", {C0[0], C0[1], C0[2], C1[3]}},
        // A co-issued pair reads its registers as they were before the pair.
        {"mov r0, c0\nmov r0.rgb, c1\n+mov r0.a, r0.b", {C1[0], C1[1], C1[2], C0[2]}},
        // Results are held to [-1, 1] between instructions.
        {"add_x4 r1, c0, c1\nmul r0, r1, c2", mul(Range(scale(add(C0, C1), 4)), C2)},
        {"sub_x4 r1, c0, c1\nmul r0, r1, -c2", mul(r1x4, Map(C2, [](double x) { return -x; }))},
        {"def c4, 2, -2, 0.5, 1\nmov r0, c4", {1, 0, 0.5, 1}},
        {"mov r0, c5", {1, 0.5, 0, 1}},
        {"mov r0.a, c1\nmov r0.rgb, c0", {C0[0], C0[1], C0[2], C1[3]}},
    };
    IDirect3DTexture9* texture = Texture({0xC0804020});
    device->SetTexture(0, texture);
    const float c5[4] = {3.0f, 0.5f, -4.0f, 1.0f}; // read clamped to [-1, 1]
    device->SetPixelShaderConstantF(5, c5, 1);
    Unlit();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00000000, 1.0f, 0);
    std::vector<IDirect3DPixelShader9*> shaders;
    int cell = 0;
    for (const Case& c : cases) {
        std::string code = c.code;
        // Texture instructions come first, so the definitions go after them.
        std::string text = "ps_1_3\n" + std::string(Defs) + code + "\n";
        if (code.starts_with("tex"))
            text = "ps_1_3\n" + code.substr(0, code.find('\n') + 1) + Defs +
                   code.substr(code.find('\n') + 1) + "\n";
        IDirect3DPixelShader9* shader = PixelShader(text);
        ASSERT_NE(shader, nullptr);
        shaders.push_back(shader);
        device->SetPixelShader(shader);
        Cell(cell++, 0x40FF8040, 0.25f, 0.75f);
    }
    device->SetPixelShader(nullptr);
    Pixels p = ReadTarget();
    for (int i = 0; i < cell; ++i)
        ExpectColour(CellPixel(p, i), cases[i].want, cases[i].code);
    for (auto* s : shaders)
        s->Release();
    device->SetTexture(0, nullptr);
    texture->Release();
}

TEST_F(ShaderTest, VertexInstructionsMatchTheirFormulas) {
    struct Case {
        const char* code;
        Vec4 want;
    };
    // c4 = (4, 16, -1, 1.5), c5 = (1.25, -0.25, 2.75, 0.5), c6 = (0.5, 0.5, 0.5, 2), c9 = (2.7, ...)
    const Vec4 C4 = {4, 16, -1, 1.5};
    auto dot4 = [](const Vec4& a, const Vec4& b) {
        return a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
    };
    const Case cases[] = {
        {"mov r0, c0", C0},
        {"add r0, c0, c1", Map2(C0, C1, std::plus<double>())},
        {"sub r0, c1, c2", Map2(C1, C2, std::minus<double>())},
        {"mad r0, c0, c1, c2",
         {C0[0] * C1[0] + C2[0], C0[1] * C1[1] + C2[1], C0[2] * C1[2] + C2[2], C0[3] * C1[3] + C2[3]}},
        {"dp3 r0, c0, c1", Splat(C0[0] * C1[0] + C0[1] * C1[1] + C0[2] * C1[2])},
        {"dp4 r0, c0, c1", Splat(dot4(C0, C1))},
        {"min r0, c0, c1", Map2(C0, C1, [](double a, double b) { return std::min(a, b); })},
        {"max r0, c0, c1", Map2(C0, C1, [](double a, double b) { return std::max(a, b); })},
        {"slt r0, c0, c1", {1, 0, 1, 0}},
        {"sge r0, c0, c1", {0, 1, 0, 1}},
        {"rcp r0, c4.x", Splat(0.25)},
        {"rsq r0, c4.y", Splat(0.25)},
        {"exp r0, c4.z", Splat(0.5)},
        {"log r0, c4.w", Splat(std::log2(1.5))},
        {"frc r0, c5", {0.25, 0.75, 0.75, 0.5}},
        {"expp r0, c4.w", {1, 0.5, std::exp2(1.5) - 2, 1}}, // z over 1 is shown as z - 2 below
        {"lit r0, c6", {1, 0.5, 0.25, 1}},
        {"dst r0, c0, c1", {1, C0[1] * C1[1], C0[2], C1[3]}},
        {"m4x4 r0, c0, c0", {dot4(C0, C0), dot4(C0, C1), dot4(C0, C2), dot4(C0, C3)}},
        {"mov r0, c2\nm3x2 r0, c0, c0",
         {C0[0] * C0[0] + C0[1] * C0[1] + C0[2] * C0[2], C0[0] * C1[0] + C0[1] * C1[1] + C0[2] * C1[2], C2[2],
          C2[3]}},
        {"mov a0.x, c9.x\nmov r0, c[a0.x + 0]", C2},
        {"mov a0.x, c9.y\nmov r0, c[a0.x + 2]", C1}, // -0.5 rounds down to -1
        {"mov r0, -c3.wzyx", {0.1, 0, -0.5, 0.5}},
        {"mov r0.xz, c0\nmov r0.yw, c1", {C0[0], C1[1], C0[2], C1[3]}},
    };
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00000000, 1.0f, 0);
    Unlit();
    const float consts[][4] = {{0.2f, 0.4f, 0.6f, 0.8f},
                               {0.5f, 0.25f, 0.9f, 0.1f},
                               {0.3f, 0.7f, 0.1f, 0.5f},
                               {-0.5f, 0.5f, 0.0f, -0.1f},
                               {4, 16, -1, 1.5f},
                               {1.25f, -0.25f, 2.75f, 0.5f},
                               {0.5f, 0.5f, 0.5f, 2},
                               {0, 0, 0, 0},
                               {0, 0, 0, 0},
                               {2.7f, -0.5f, 0, 0}};
    ASSERT_EQ(device->SetVertexShaderConstantF(0, &consts[0][0], 10), D3D_OK);
    std::vector<IDirect3DVertexShader9*> shaders;
    int cell = 0;
    for (const Case& c : cases) {
        std::string text = "vs_1_1\ndcl_position v0\nmov oPos, v0\n" + std::string(c.code) +
                           (std::string(c.code).starts_with("expp") ? "\nadd r0.z, r0.z, -c6.w" : "") +
                           "\nmov oD0, r0\n";
        IDirect3DVertexShader9* shader = VertexShader(text);
        ASSERT_NE(shader, nullptr);
        shaders.push_back(shader);
        device->SetVertexShader(shader);
        // The cell in clip space: x right, y up.
        float l = -1 + float(cell % 8) * 0.25f, t = 1 - float(cell / 8) * 0.25f;
        float q[4][3] = {
            {l, t, 0.5f}, {l + 0.25f, t, 0.5f}, {l, t - 0.25f, 0.5f}, {l + 0.25f, t - 0.25f, 0.5f}};
        device->SetFVF(D3DFVF_XYZ);
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof q[0]), D3D_OK);
        ++cell;
    }
    device->SetVertexShader(nullptr);
    Pixels p = ReadTarget();
    for (int i = 0; i < cell; ++i)
        ExpectColour(CellPixel(p, i), cases[i].want, cases[i].code);
    (void)C4;
    for (auto* s : shaders)
        s->Release();
}

// The material effects' pixel shaders on constant textures, diffuse colour and coefficient, against the
// formula of each.
TEST_F(ShaderTest, MaterialEffectShadersMatchTheirFormulas) {
    const D3DCOLOR t0c = 0x60C08040, t1c = 0xA0406080, t2c = 0x80FF2010, diffuse = 0xC0A0E060;
    const Vec4 t0 = Unpack(t0c), t1 = Unpack(t1c), t2 = Unpack(t2c), v0 = Unpack(diffuse);
    const Vec4 c0 = {0.6, 0.6, 0.6, 0.6};
    auto mul = [](const Vec4& a, const Vec4& b) { return Range(Map2(a, b, std::multiplies<double>())); };
    auto mad = [](const Vec4& a, const Vec4& b, const Vec4& c) {
        return Range({a[0] * b[0] + c[0], a[1] * b[1] + c[1], a[2] * b[2] + c[2], a[3] * b[3] + c[3]});
    };
    auto rgbA = [](const Vec4& rgb, double a) { return Vec4{rgb[0], rgb[1], rgb[2], a}; };
    // Shaders 1 to 6, step by step as written.
    Vec4 bump = mad(mul(t1, Splat(t1[3])), v0, mul(mul(t0, Splat(1 - t0[3])), v0));
    Vec4 s2r0 = mul(t0, v0);
    Vec4 s2 = rgbA(mad(mul(t1, Splat(t1[3])), c0, s2r0), s2r0[3]);
    Vec4 s3 = rgbA(mad(mul(t0, Splat(t0[3])), c0, v0), v0[3]);
    Vec4 s4 = mad(mul(t2, Splat(t2[3])), c0, bump);
    Vec4 s5r0 = mul(rgbA(mul(t0, Splat(1 - t0[3])), t0[3]), v0);
    s5r0 = mad(rgbA(mul(t1, Splat(t1[3])), t1[3]), v0, s5r0);
    Vec4 s5 = mad(mul(mul(t2, Splat(t2[3])), Splat(s5r0[3])), c0, s5r0);
    Vec4 s6 = mad(mul(t2, Splat(s5r0[3])), c0, s5r0);
    const Vec4 want[] = {bump, s2, s3, s4, s5, s6};

    IDirect3DTexture9* textures[3] = {Texture({t0c}), Texture({t1c}), Texture({t2c})};
    for (DWORD i = 0; i < 3; ++i)
        device->SetTexture(i, textures[i]);
    const float coefficient[4] = {0.6f, 0.6f, 0.6f, 0.6f};
    device->SetPixelShaderConstantF(0, coefficient, 1);
    Unlit();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00000000, 1.0f, 0);
    const auto& texts = ShaderTexts::MaterialEffects();
    std::vector<IDirect3DPixelShader9*> shaders;
    for (size_t i = 0; i < texts.size(); ++i) {
        shaders.push_back(PixelShader(texts[i].second));
        ASSERT_NE(shaders.back(), nullptr);
        device->SetPixelShader(shaders.back());
        Cell(int(i), diffuse);
    }
    device->SetPixelShader(nullptr);
    Pixels p = ReadTarget();
    for (size_t i = 0; i < texts.size(); ++i)
        ExpectColour(CellPixel(p, int(i)), want[i], texts[i].first, 2);
    for (auto* s : shaders)
        s->Release();
    for (DWORD i = 0; i < 3; ++i) {
        device->SetTexture(i, nullptr);
        textures[i]->Release();
    }
}

// The water's shader files: the vertex shader places the slice and the pixel shader displaces the
// environment lookup by the bump map through stage 3's bump matrix.
TEST_F(ShaderTest, WaterShadersDrawWithTheBumpMatrix) {
    IDirect3DVertexShader9* vs = VertexShader(ReadSource("data/Shaders/WaterPS11.vsh"));
    IDirect3DPixelShader9* ps = PixelShader(ReadSource("data/Shaders/WaterPS11.psh"));
    ASSERT_NE(vs, nullptr);
    ASSERT_NE(ps, nullptr);
    IDirect3DTexture9* white = Texture({0xFFFFFFFF});
    // Bump (du, dv) = (0.5, 0) as V8U8 (U in the low byte); environment: red left half, green right half.
    IDirect3DTexture9* bumpV8U8 = nullptr;
    ASSERT_EQ(device->CreateTexture(1, 1, 1, 0, D3DFMT_V8U8, D3DPOOL_MANAGED, &bumpV8U8, nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    bumpV8U8->LockRect(0, &locked, nullptr, 0);
    const uint16_t du = 0x0040; // 64 / 127
    std::memcpy(locked.pBits, &du, 2);
    bumpV8U8->UnlockRect(0);
    IDirect3DTexture9* environment = Texture({0xFFFF0000, 0xFF00FF00});
    device->SetTexture(0, white);
    device->SetTexture(1, white);
    device->SetTexture(2, bumpV8U8);
    device->SetTexture(3, environment);
    for (DWORD s = 0; s < 4; ++s) {
        device->SetSamplerState(s, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        device->SetSamplerState(s, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        device->SetSamplerState(s, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    }
    Unlit();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00000000, 1.0f, 0);
    // c0-c3 identity (clip = position), c4-c7 identity (world = position), c8: no scroll, the environment
    // coordinate u = 0.4 + position x * 0.1; c9: water colour, alpha = weight of the reflection.
    float c[10][4] = {
        {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1},       {1, 0, 0, 0},
        {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}, {0.4f, 0.1f, 0, 0}, {0.25f, 0.25f, 0.25f, 1.0f}};
    device->SetVertexShaderConstantF(0, &c[0][0], 10);
    device->SetVertexShader(vs);
    device->SetPixelShader(ps);
    D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
        {0, 20, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 1},
        {0, 28, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 2},
        D3DDECL_END()};
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    device->SetVertexDeclaration(declaration);
    struct Vertex {
        float x, y, z, t[3][2];
    };
    auto quad = [&](float left) {
        // A vertical band of clip space; texture coordinate sets all 0.5.
        Vertex q[4] = {{left, 1, 0.5f, {{0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}}},
                       {left + 0.5f, 1, 0.5f, {{0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}}},
                       {left, -1, 0.5f, {{0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}}},
                       {left + 0.5f, -1, 0.5f, {{0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}}}};
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof q[0]), D3D_OK);
    };
    // Left band: matrix 0, u about 0.4 -> red. Right band: M00 = 0.5 shifts u by 0.5 x 0.504 -> green.
    quad(-1.0f);
    device->SetTextureStageState(3, D3DTSS_BUMPENVMAT00, std::bit_cast<DWORD>(0.5f));
    quad(0.0f);
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
    Pixels p = ReadTarget();
    // colour = white x white x 2 x water (0.5) + environment x water alpha (1), alpha = water alpha.
    ExpectColour(p.At(4, 32), {1.0, 0.5, 0.5, 1.0}, "no bump offset");
    ExpectColour(p.At(36, 32), {0.5, 1.0, 0.5, 1.0}, "offset by the bump matrix");
    vs->Release();
    ps->Release();
    declaration->Release();
    for (DWORD s = 0; s < 4; ++s)
        device->SetTexture(s, nullptr);
    white->Release();
    bumpV8U8->Release();
    environment->Release();
}

TEST_F(ShaderTest, ADeviceWithoutShaderSupportReportsAndTakesNone) {
    ASSERT_EQ(device->Release(), 0u);
    D3D9::SetShaderSupport(false);
    device = nullptr;
    HRESULT created =
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, hwnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters, &device);
    D3D9::SetShaderSupport(true);
    ASSERT_EQ(created, D3D_OK);
    D3DCAPS9 caps{};
    device->GetDeviceCaps(&caps);
    EXPECT_EQ(caps.VertexShaderVersion & 0xFFFF, 0u);
    EXPECT_EQ(caps.PixelShaderVersion & 0xFFFF, 0u);
    std::vector<DWORD> tokens = Assemble("ps_1_1\nmov r0, v0\n");
    IDirect3DPixelShader9* shader = nullptr;
    EXPECT_EQ(device->CreatePixelShader(tokens.data(), &shader), D3DERR_INVALIDCALL);
    EXPECT_EQ(shader, nullptr);
}

// Tangents, blend weights and blend indices reach a vs_1_1 shader from their declaration elements; each cell
// shows tangent x weight.x + indices / 255 against that formula.
TEST_F(ShaderTest, TangentAndBlendInputsReachTheVertexShader) {
    struct Vertex {
        float position[3];
        float tangent[3];
        float weights[4];
        uint8_t indices[4];
    };
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                          {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_TANGENT, 0},
                                          {0, 24, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_BLENDWEIGHT, 0},
                                          {0, 40, D3DDECLTYPE_UBYTE4, 0, D3DDECLUSAGE_BLENDINDICES, 0},
                                          D3DDECL_END()};
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    IDirect3DVertexShader9* shader =
        VertexShader("vs_1_1\ndcl_position v0\ndcl_tangent v1\ndcl_blendweight v2\ndcl_blendindices v3\n"
                     "mov oPos, v0\nmul r0, v3, c0.x\nmad oD0, v1, v2.x, r0\n");
    ASSERT_NE(shader, nullptr);
    const float scale[4] = {1.0f / 255.0f, 0, 0, 0};
    device->SetVertexShaderConstantF(0, scale, 1);
    Unlit();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00000000, 1.0f, 0);
    device->SetVertexDeclaration(declaration);
    device->SetVertexShader(shader);
    struct Case {
        std::array<float, 3> tangent;
        std::array<float, 4> weights;
        std::array<uint8_t, 4> indices;
    };
    const Case cases[] = {{{0.2f, 0.4f, 0.6f}, {0.5f, 0.9f, 0.9f, 0.9f}, {51, 102, 153, 0}},
                          {{1.0f, 0.0f, 0.5f}, {0.25f, 0, 0, 0}, {0, 200, 10, 128}},
                          {{-0.5f, 0.8f, 0.1f}, {1.0f, 0, 0, 0}, {255, 0, 100, 255}}};
    int cell = 0;
    for (const Case& c : cases) {
        const float l = -1 + float(cell % 8) * 0.25f, t = 1 - float(cell / 8) * 0.25f;
        const float corners[4][2] = {{l, t}, {l + 0.25f, t}, {l, t - 0.25f}, {l + 0.25f, t - 0.25f}};
        Vertex q[4];
        for (int i = 0; i < 4; ++i) {
            q[i] = {{corners[i][0], corners[i][1], 0.5f}, {}, {}, {}};
            std::copy(c.tangent.begin(), c.tangent.end(), q[i].tangent);
            std::copy(c.weights.begin(), c.weights.end(), q[i].weights);
            std::copy(c.indices.begin(), c.indices.end(), q[i].indices);
        }
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof q[0]), D3D_OK);
        ++cell;
    }
    device->SetVertexShader(nullptr);
    Pixels p = ReadTarget();
    for (int i = 0; i < cell; ++i) {
        const Case& c = cases[i];
        // A three-component input reads 1 for w.
        const Vec4 tangent = {c.tangent[0], c.tangent[1], c.tangent[2], 1.0};
        Vec4 want;
        for (int k = 0; k < 4; ++k)
            want[size_t(k)] = tangent[size_t(k)] * c.weights[0] + c.indices[size_t(k)] / 255.0;
        ExpectColour(CellPixel(p, i), want, "cell " + std::to_string(i));
    }
    shader->Release();
    declaration->Release();
}

// A vs_1_1 shader's oFog is the vertex fog factor: the colour is mixed towards the fog colour by 1 - oFog
// (clamped to 0..1), whichever vertex fog mode is set, while table fog is off.
TEST_F(ShaderTest, VertexShaderFogOutputMixesTheFogColour) {
    IDirect3DVertexShader9* shader =
        VertexShader("vs_1_1\ndcl_position v0\nmov oPos, v0\nmov oD0, c0\nmov oFog, c1.x\n");
    ASSERT_NE(shader, nullptr);
    const Vec4 colour = {0.8, 0.6, 0.2, 1.0};
    const Vec4 fog = Unpack(0xFF2040FF);
    Unlit();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00000000, 1.0f, 0);
    device->SetVertexShader(shader);
    device->SetFVF(D3DFVF_XYZ);
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device->SetRenderState(D3DRS_FOGCOLOR, 0xFF2040FF);
    device->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_NONE);
    const float c0[4] = {float(colour[0]), float(colour[1]), float(colour[2]), float(colour[3])};
    device->SetVertexShaderConstantF(0, c0, 1);
    struct Case {
        float factor;
        DWORD vertexMode;
    };
    const Case cases[] = {{0.25f, D3DFOG_NONE}, {0.25f, D3DFOG_LINEAR}, {0.7f, D3DFOG_EXP},
                          {1.5f, D3DFOG_NONE},  {-0.5f, D3DFOG_NONE},   {0.0f, D3DFOG_EXP2}};
    int cell = 0;
    for (const Case& c : cases) {
        const float c1[4] = {c.factor, 0, 0, 0};
        device->SetVertexShaderConstantF(1, c1, 1);
        device->SetRenderState(D3DRS_FOGVERTEXMODE, c.vertexMode);
        const float l = -1 + float(cell % 8) * 0.25f, t = 1 - float(cell / 8) * 0.25f;
        const float q[4][3] = {
            {l, t, 0.5f}, {l + 0.25f, t, 0.5f}, {l, t - 0.25f, 0.5f}, {l + 0.25f, t - 0.25f, 0.5f}};
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof q[0]), D3D_OK);
        ++cell;
    }
    device->SetRenderState(D3DRS_FOGENABLE, FALSE);
    device->SetVertexShader(nullptr);
    Pixels p = ReadTarget();
    for (int i = 0; i < cell; ++i) {
        const double f = std::clamp(double(cases[i].factor), 0.0, 1.0);
        Vec4 want = Map2(colour, fog, [f](double c, double g) { return c * f + g * (1 - f); });
        want[3] = colour[3]; // fog leaves alpha alone
        ExpectColour(CellPixel(p, i), want, "oFog " + std::to_string(cases[i].factor));
    }
    shader->Release();
}

// Table fog under a vertex shader takes its distance from the position the shader writes (here depth, the
// projection being orthographic), not from oFog: linear fog from 0.2 to 0.8 over cells at three depths.
TEST_F(ShaderTest, TableFogUnderAVertexShaderFollowsDepth) {
    IDirect3DVertexShader9* shader =
        VertexShader("vs_1_1\ndcl_position v0\nmov oPos, v0\nmov oD0, c0\nmov oFog, c1.x\n");
    ASSERT_NE(shader, nullptr);
    const Vec4 colour = {0.8, 0.6, 0.2, 1.0};
    const Vec4 fog = Unpack(0xFF2040FF);
    const float c0[4] = {0.8f, 0.6f, 0.2f, 1.0f}, c1[4] = {0.9f, 0, 0, 0};
    device->SetVertexShaderConstantF(0, c0, 1);
    device->SetVertexShaderConstantF(1, c1, 1);
    Unlit();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00000000, 1.0f, 0);
    device->SetVertexShader(shader);
    device->SetFVF(D3DFVF_XYZ);
    const float start = 0.2f, end = 0.8f;
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device->SetRenderState(D3DRS_FOGCOLOR, 0xFF2040FF);
    device->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR);
    device->SetRenderState(D3DRS_FOGSTART, std::bit_cast<DWORD>(start));
    device->SetRenderState(D3DRS_FOGEND, std::bit_cast<DWORD>(end));
    const float depths[] = {0.3f, 0.5f, 0.7f};
    int cell = 0;
    for (float z : depths) {
        const float l = -1 + float(cell % 8) * 0.25f, t = 1 - float(cell / 8) * 0.25f;
        const float q[4][3] = {{l, t, z}, {l + 0.25f, t, z}, {l, t - 0.25f, z}, {l + 0.25f, t - 0.25f, z}};
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof q[0]), D3D_OK);
        ++cell;
    }
    device->SetRenderState(D3DRS_FOGENABLE, FALSE);
    device->SetVertexShader(nullptr);
    Pixels p = ReadTarget();
    for (int i = 0; i < cell; ++i) {
        const double f = std::clamp((end - depths[i]) / double(end - start), 0.0, 1.0);
        Vec4 want = Map2(colour, fog, [f](double c, double g) { return c * f + g * (1 - f); });
        want[3] = colour[3];
        ExpectColour(CellPixel(p, i), want, "depth " + std::to_string(depths[i]));
    }
    shader->Release();
}

TEST_F(ShaderTest, AVertexShaderPassesOnOnlyTheCoordinatesThePixelHalfReads) {
    const std::vector<DWORD> tokens = Assemble(ReadSource("data/Shaders/WaterPS11.vsh"));
    ASSERT_FALSE(tokens.empty());
    const std::string all = D3D9::TranslateVertexShader(tokens.data(), tokens.size(), false);
    EXPECT_NE(all.find("out vec4 vTexcoord7;"), std::string::npos);
    const std::string two =
        D3D9::TranslateVertexShader(tokens.data(), tokens.size(), false, false, false, 0, 0x3);
    EXPECT_NE(two.find("vTexcoord1 = oT1;"), std::string::npos);
    for (const char* absent : {"vTexcoord2", "vTexcoord3", "vTexcoord7"})
        EXPECT_EQ(two.find(absent), std::string::npos) << absent;

    // The water's vertex shader with the fixed function's pixel half, which samples stage 0 only: the
    // main texture through the shader's first coordinates.
    IDirect3DVertexShader9* vs = VertexShader(ReadSource("data/Shaders/WaterPS11.vsh"));
    ASSERT_NE(vs, nullptr);
    IDirect3DTexture9* main = Texture({0xFF8040C0});
    device->SetTexture(0, main);
    Unlit();
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00000000, 1.0f, 0);
    float c[10][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}, {1, 0, 0, 0},
                      {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}, {0, 0, 0, 0}, {1, 1, 1, 1}};
    device->SetVertexShaderConstantF(0, &c[0][0], 10);
    device->SetVertexShader(vs);
    D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
        {0, 20, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 1},
        {0, 28, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 2},
        D3DDECL_END()};
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    device->SetVertexDeclaration(declaration);
    struct Vertex {
        float x, y, z, t[3][2];
    };
    Vertex q[4] = {{-1, 1, 0.5f, {{0.5f, 0.5f}, {0, 0}, {0, 0}}},
                   {1, 1, 0.5f, {{0.5f, 0.5f}, {0, 0}, {0, 0}}},
                   {-1, -1, 0.5f, {{0.5f, 0.5f}, {0, 0}, {0, 0}}},
                   {1, -1, 0.5f, {{0.5f, 0.5f}, {0, 0}, {0, 0}}}};
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof q[0]), D3D_OK);
    device->SetVertexShader(nullptr);
    Pixels p = ReadTarget();
    EXPECT_EQ(p.At(32, 32), 0xFF8040C0u);
    vs->Release();
    declaration->Release();
    device->SetTexture(0, nullptr);
    main->Release();
}
