// Texture transforms on stages 0 and 1 against Direct3D 9's rule evaluated here: the coordinate as a row
// vector times the stage's matrix, a 2D coordinate as (u, v, 1, 0) and a 3D one as (u, v, w, 1), then the
// first components (divided by the last kept one when projected) address the texture.
#include "DeviceFixture.h"

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Vec4 = std::array<double, 4>;

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

struct MatrixCase {
    const char* name;
    D3DMATRIX m;
};

std::array<MatrixCase, 4> Matrices() {
    D3DMATRIX scale = Identity();
    scale._11 = scale._22 = 2.0f;
    // A 2D coordinate takes its translation from the third row, a 3D one from the fourth.
    D3DMATRIX translate = Identity();
    translate._31 = translate._32 = 0.5f;
    translate._41 = translate._42 = 0.25f;
    return {{{"identity", Identity()}, {"scale 2", scale}, {"translate", translate}, {"zeros", D3DMATRIX{}}}};
}

constexpr unsigned TexSize = 4;

// A 4x4 checker whose texels also differ from one another.
uint32_t Texel(unsigned x, unsigned y) {
    return 0xFF000000u | (x * 80u) << 16 | (y * 80u) << 8 | ((x + y) % 2 ? 0xFFu : 0u);
}

class TextureTransformTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(device->CreateTexture(TexSize, TexSize, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture,
                                        nullptr),
                  D3D_OK);
        D3DLOCKED_RECT locked{};
        texture->LockRect(0, &locked, nullptr, 0);
        for (unsigned y = 0; y < TexSize; ++y)
            for (unsigned x = 0; x < TexSize; ++x)
                reinterpret_cast<uint32_t*>(static_cast<char*>(locked.pBits) + y * locked.Pitch)[x] =
                    Texel(x, y);
        texture->UnlockRect(0);
        D3DMATRIX identity = Identity();
        device->SetTransform(D3DTS_WORLD, &identity);
        device->SetTransform(D3DTS_VIEW, &identity);
        device->SetTransform(D3DTS_PROJECTION, &identity);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_ZENABLE, FALSE);
    }
    void TearDown() override {
        if (device) {
            device->SetTexture(0, nullptr);
            device->SetTexture(1, nullptr);
        }
        if (texture)
            texture->Release();
        DeviceTest::TearDown();
    }

    // The coordinate set a stage reads at a pixel centre (on integers, as Direct3D 9 puts them): u across a
    // 16-pixel column, v down, w = 1 + u. The other set is swapped so that reading the wrong one shows.
    static Vec4 Coordinate(unsigned x, unsigned y) {
        double u = (x % 16) / 16.0, v = y / double(Height);
        return {u, v, 1.0 + u, 0.0};
    }

    void Run(DWORD stage, const struct FlagsCase& fc, bool declared);

    IDirect3DTexture9* texture = nullptr;
};

struct FlagsCase {
    DWORD flags;
    unsigned size; // components per vertex coordinate
};

const FlagsCase flagCases[] = {{D3DTTFF_COUNT2, 2},
                               {D3DTTFF_COUNT2 | D3DTTFF_PROJECTED, 2},
                               {D3DTTFF_COUNT3, 3},
                               {D3DTTFF_COUNT3 | D3DTTFF_PROJECTED, 3}};

// Draws one column per matrix on the given stage, changing only the matrix in between, through
// DrawPrimitiveUP with an FVF or, as the terrain's water does, through a declaration over two vertex
// buffers with normals and lighting; then compares every pixel with the rule.
void TextureTransformTest::Run(DWORD stage, const FlagsCase& fc, bool declared) {
    const auto matrices = Matrices();
    const DWORD other = 1 - stage;
    device->SetTexture(stage, texture);
    device->SetTexture(other, nullptr);
    for (DWORD s = 0; s < 2; ++s) {
        device->SetSamplerState(s, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        device->SetSamplerState(s, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        device->SetTextureStageState(s, D3DTSS_TEXCOORDINDEX, s);
        device->SetTextureStageState(s, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(s, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    }
    device->SetTextureStageState(0, D3DTSS_COLORARG1, stage == 0 ? D3DTA_TEXTURE : D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, stage == 0 ? D3DTA_TEXTURE : D3DTA_DIFFUSE);
    device->SetTextureStageState(1, D3DTSS_COLORARG1, stage == 1 ? D3DTA_TEXTURE : D3DTA_CURRENT);
    device->SetTextureStageState(1, D3DTSS_ALPHAARG1, stage == 1 ? D3DTA_TEXTURE : D3DTA_CURRENT);
    device->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_DISABLE);
    device->SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, fc.flags);
    device->SetTextureStageState(other, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    // A matrix on the other stage that no case uses, to show a stage reading the wrong one.
    D3DMATRIX decoy = Identity();
    decoy._11 = 3.0f;
    decoy._31 = 0.125f;
    device->SetTransform(D3DTRANSFORMSTATETYPE(D3DTS_TEXTURE0 + other), &decoy);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF808080, 1.0f, 0);

    IDirect3DVertexDeclaration9* declaration = nullptr;
    if (declared) {
        const BYTE type = fc.size == 3 ? D3DDECLTYPE_FLOAT3 : D3DDECLTYPE_FLOAT2;
        const WORD second = WORD(12 + 4 * fc.size);
        const D3DVERTEXELEMENT9 elements[] = {
            {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
            {1, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
            {1, 12, type, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
            {1, second, type, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 1},
            D3DDECL_END()};
        ASSERT_EQ(device->CreateVertexDeclaration(elements, &declaration), D3D_OK);
        ASSERT_EQ(device->SetVertexDeclaration(declaration), D3D_OK);
        device->SetRenderState(D3DRS_LIGHTING, TRUE);
        D3DMATERIAL9 material{};
        material.Emissive = {1, 1, 1, 1};
        device->SetMaterial(&material);
    } else {
        ASSERT_EQ(device->SetFVF(D3DFVF_XYZ | D3DFVF_TEX2 |
                                 (fc.size == 3 ? D3DFVF_TEXCOORDSIZE3(0) | D3DFVF_TEXCOORDSIZE3(1)
                                               : D3DFVF_TEXCOORDSIZE2(0) | D3DFVF_TEXCOORDSIZE2(1))),
                  D3D_OK);
    }
    // Corners in (u, v): the stage's set, and the other set swapped.
    const float corner[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    for (size_t c = 0; c < matrices.size(); ++c) {
        ASSERT_EQ(device->SetTransform(D3DTRANSFORMSTATETYPE(D3DTS_TEXTURE0 + stage), &matrices[c].m),
                  D3D_OK);
        const float left = -1.0f + 0.5f * float(c);
        std::vector<float> positions, attributes, interleaved;
        for (const auto& [u, v] : corner) {
            const float mine[3] = {u, v, 1.0f + u}, swapped[3] = {v, u, 1.0f + v};
            const float position[3] = {left + 0.5f * u, 1.0f - 2.0f * v, 0.5f};
            positions.insert(positions.end(), position, position + 3);
            interleaved.insert(interleaved.end(), position, position + 3);
            attributes.insert(attributes.end(), {0.0f, 0.0f, -1.0f});
            const float* sets[2] = {stage == 0 ? mine : swapped, stage == 0 ? swapped : mine};
            for (const float* set : sets) {
                attributes.insert(attributes.end(), set, set + fc.size);
                interleaved.insert(interleaved.end(), set, set + fc.size);
            }
        }
        if (!declared) {
            const UINT stride = UINT(sizeof(float) * (3 + 2 * fc.size));
            ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, interleaved.data(), stride), D3D_OK);
            continue;
        }
        IDirect3DVertexBuffer9* buffers[2] = {};
        const std::vector<float>* data[2] = {&positions, &attributes};
        for (int b = 0; b < 2; ++b) {
            const UINT bytes = UINT(data[b]->size() * sizeof(float));
            ASSERT_EQ(device->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &buffers[b],
                                                 nullptr),
                      D3D_OK);
            void* locked = nullptr;
            buffers[b]->Lock(0, bytes, &locked, 0);
            std::memcpy(locked, data[b]->data(), bytes);
            buffers[b]->Unlock();
            device->SetStreamSource(UINT(b), buffers[b], 0, bytes / 4);
        }
        IDirect3DIndexBuffer9* indices = nullptr;
        ASSERT_EQ(device->CreateIndexBuffer(8, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &indices,
                                            nullptr),
                  D3D_OK);
        void* locked = nullptr;
        indices->Lock(0, 8, &locked, 0);
        const uint16_t strip[4] = {0, 1, 2, 3};
        std::memcpy(locked, strip, sizeof strip);
        indices->Unlock();
        device->SetIndices(indices);
        EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, 0, 0, 4, 0, 2), D3D_OK);
        device->SetIndices(nullptr);
        indices->Release();
        for (int b = 0; b < 2; ++b) {
            device->SetStreamSource(UINT(b), nullptr, 0, 0);
            buffers[b]->Release();
        }
    }
    if (declaration) {
        device->SetVertexDeclaration(nullptr);
        declaration->Release();
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
    }

    Pixels p = ReadTarget();
    int checked = 0, wrong = 0;
    std::string first;
    for (unsigned y = 0; y < Height; ++y)
        for (unsigned x = 0; x < Width; ++x) {
            const D3DMATRIX& m = matrices[x / 16].m;
            Vec4 in = Coordinate(x, y);
            if (fc.size == 2)
                in = {in[0], in[1], 1.0, 0.0};
            else
                in[3] = 1.0;
            // Flags outside COUNT1 to COUNT4 (with or without PROJECTED) leave the coordinate as it is.
            const DWORD count = fc.flags & ~DWORD(D3DTTFF_PROJECTED);
            const bool transformed = count >= D3DTTFF_COUNT1 && count <= D3DTTFF_COUNT4;
            Vec4 out = in;
            if (transformed) {
                out = {};
                for (int j = 0; j < 4; ++j)
                    for (int i = 0; i < 4; ++i)
                        out[j] += in[i] * m.m[i][j];
            }
            if (transformed && (fc.flags & D3DTTFF_PROJECTED)) {
                const double d = out[count - 1];
                if (std::fabs(d) < 0.05)
                    continue;
                out[0] /= d, out[1] /= d;
            }
            // Point sampling with wrapping; texel edges are left out. Projected COUNT2 divides v by itself:
            // 1 within rounding, so either the first or the last row.
            const bool rowOpen = transformed && (fc.flags & D3DTTFF_PROJECTED) && count == 2;
            double tu = out[0] * TexSize, tv = out[1] * TexSize;
            auto nearEdge = [](double t) { return std::fabs(t - std::round(t)) < 0.02; };
            if (nearEdge(tu) || (!rowOpen && nearEdge(tv)))
                continue;
            auto wrap = [](double t) { return unsigned((std::llround(std::floor(t)) % 4 + 4) % 4); };
            const unsigned column = wrap(tu);
            ++checked;
            const uint32_t got = p.At(x, y);
            const uint32_t want = rowOpen ? Texel(column, 0) : Texel(column, wrap(tv));
            if (got != want && !(rowOpen && got == Texel(column, TexSize - 1)) && wrong++ == 0) {
                char text[160];
                std::snprintf(text, sizeof text, "%s at (%u, %u): %08X, want %08X", matrices[x / 16].name, x,
                              y, got, want);
                first = text;
            }
        }
    EXPECT_GT(checked, int(Width * Height / 4));
    EXPECT_EQ(wrong, 0) << "first: " << first;
}

TEST_F(TextureTransformTest, StagesFollowTheirMatricesAsRowVectors) {
    for (DWORD stage = 0; stage < 2; ++stage)
        for (const FlagsCase& fc : flagCases) {
            SCOPED_TRACE("stage " + std::to_string(stage) + " flags " + std::to_string(fc.flags));
            Run(stage, fc, false);
        }
}

TEST_F(TextureTransformTest, DeclaredStreamsWithLightingFollowTheMatrices) {
    for (DWORD stage = 0; stage < 2; ++stage)
        for (const FlagsCase& fc : flagCases) {
            SCOPED_TRACE("stage " + std::to_string(stage) + " flags " + std::to_string(fc.flags));
            Run(stage, fc, true);
        }
}

// An unset state read back from the engine's cache as 0xFFFFFFFF, or a count past four, is no transform:
// not COUNT4 | PROJECTED dividing 2D coordinates by their zero fourth component.
TEST_F(TextureTransformTest, UndefinedFlagsDrawUntransformed) {
    const FlagsCase cases[] = {{D3DTTFF_DISABLE, 2}, {0xFFFFFFFF, 2}, {5, 2}, {D3DTTFF_PROJECTED | 7, 3}};
    for (DWORD stage = 0; stage < 2; ++stage)
        for (const FlagsCase& fc : cases) {
            SCOPED_TRACE("stage " + std::to_string(stage) + " flags " + std::to_string(fc.flags));
            Run(stage, fc, false);
        }
}

} // namespace
