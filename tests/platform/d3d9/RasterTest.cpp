// Which pixels a draw touches, and how they combine with what is there.
#include "DeviceFixture.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

struct Point {
    float x, y;
};

// Direct3D 9 covers a pixel when its centre, at integer coordinates, lies inside the triangle or on a top or
// a left edge.
bool Covers(const Point v[3], float px, float py) {
    double area = (double(v[1].x) - v[0].x) * (double(v[2].y) - v[0].y) -
                  (double(v[1].y) - v[0].y) * (double(v[2].x) - v[0].x);
    if (area == 0)
        return false;
    double s = area > 0 ? 1 : -1;
    for (int i = 0; i < 3; ++i) {
        const Point& a = v[i];
        const Point& b = v[(i + 1) % 3];
        double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
        double e = s * (dx * (double(py) - a.y) - dy * (double(px) - a.x));
        if (e > 0)
            continue;
        if (e < 0)
            return false;
        double nx = -s * dy, ny = s * dx; // inward normal
        bool top = dy == 0 && ny > 0;
        bool left = nx > 0;
        if (!top && !left)
            return false;
    }
    return true;
}

} // namespace

TEST_F(DeviceTest, PretransformedTrianglesCoverThePixelsOfTheTopLeftRule) {
    const Point triangles[][3] = {
        {{2, 2}, {20, 2}, {2, 20}},   // edges through pixel centres, both axes and a diagonal
        {{20, 2}, {2, 20}, {20, 20}}, // the other half of that square: no pixel twice, none missed
        {{30.5f, 3.5f}, {50.5f, 9.5f}, {36.5f, 30.5f}},
        {{40, 40}, {60, 44}, {44, 60}}, // slopes 1/5 and 4
        {{5.25f, 40.75f}, {25.5f, 33.0f}, {18.0f, 62.5f}},
        {{10, 30}, {10, 38}, {26, 34}}, // vertical left edge, counter-clockwise
        {{56, 10}, {63, 12}, {56, 28}},
    };
    Unlit();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    // Additive blending shows pixels drawn twice.
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device->SetFVF(ScreenFvf);
    for (const auto& t : triangles) {
        ScreenVertex v[3];
        for (int i = 0; i < 3; ++i)
            v[i] = {t[i].x, t[i].y, 0.5f, 1.0f, 0xFF404040};
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(ScreenVertex)), D3D_OK);
    }
    Pixels p = ReadTarget();
    for (unsigned y = 0; y < Height; ++y)
        for (unsigned x = 0; x < Width; ++x) {
            int hits = 0;
            for (const auto& t : triangles)
                hits += Covers(t, float(x), float(y));
            EXPECT_EQ(Red(p.At(x, y)), std::min(255, hits * 0x40)) << "pixel " << x << "," << y;
        }
}

TEST_F(DeviceTest, TransformedGeometryUsesDirect3DClipSpaceAndCulling) {
    Unlit();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    struct Vertex {
        float x, y, z;
        D3DCOLOR color;
    };
    // Clip space straight through (identity matrices): x right, y up, z in [0, 1].
    // Left half: clockwise on screen; right half: counter-clockwise.
    Vertex cw[3] = {{-1, 1, 0.5f, 0xFFFF0000}, {0, 1, 0.5f, 0xFFFF0000}, {-1, 0, 0.5f, 0xFFFF0000}};
    Vertex ccw[3] = {{0, 1, 0.5f, 0xFF00FF00}, {0, 0, 0.5f, 0xFF00FF00}, {1, 1, 0.5f, 0xFF00FF00}};
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW); // the default: counter-clockwise faces go
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, cw, sizeof(Vertex));
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccw, sizeof(Vertex));
    Pixels p = ReadTarget();
    EXPECT_EQ(p.At(4, 4), 0xFFFF0000u);  // top left: y up in clip space is the top row
    EXPECT_EQ(p.At(36, 4), 0xFF000000u); // culled
    EXPECT_EQ(p.At(4, 40), 0xFF000000u); // nothing below
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, cw, sizeof(Vertex));
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccw, sizeof(Vertex));
    p = ReadTarget();
    EXPECT_EQ(p.At(4, 4), 0xFF000000u);
    EXPECT_EQ(p.At(40, 4), 0xFF00FF00u);
    // A point on a pixel centre in clip space lands on that pixel: x = -1 + (2 * 10 + 1) / 64 is pixel 10's
    // centre in GL terms but Direct3D puts it half a pixel further right.
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    Vertex point = {-1.0f + 2.0f * 10.0f / 64.0f, 1.0f - 2.0f * 20.0f / 64.0f, 0.5f, 0xFFFFFFFF};
    device->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &point, sizeof(Vertex));
    p = ReadTarget();
    EXPECT_EQ(p.At(10, 20), 0xFFFFFFFFu);
    EXPECT_EQ(p.At(9, 20) | p.At(11, 20) | p.At(10, 19) | p.At(10, 21), 0xFF000000u);
}

TEST_F(DeviceTest, DepthTestComparesWithTheClearedDepth) {
    Unlit();
    const D3DCMPFUNC funcs[] = {D3DCMP_NEVER,   D3DCMP_LESS,     D3DCMP_EQUAL,        D3DCMP_LESSEQUAL,
                                D3DCMP_GREATER, D3DCMP_NOTEQUAL, D3DCMP_GREATEREQUAL, D3DCMP_ALWAYS};
    const float depths[] = {0.25f, 0.5f, 0.75f};
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 0.5f, 0);
    device->SetRenderState(D3DRS_ZENABLE, TRUE);
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    for (int f = 0; f < 8; ++f) {
        device->SetRenderState(D3DRS_ZFUNC, funcs[f]);
        for (int d = 0; d < 3; ++d)
            ScreenRect(float(f * 8), float(d * 8), float(f * 8 + 8), float(d * 8 + 8), 0xFFFFFFFF, depths[d]);
    }
    Pixels p = ReadTarget();
    for (int f = 0; f < 8; ++f)
        for (int d = 0; d < 3; ++d) {
            float z = depths[d];
            bool pass[] = {false, z<0.5f, z == 0.5f, z <= 0.5f, z> 0.5f, z != 0.5f, z >= 0.5f, true};
            EXPECT_EQ(p.At(f * 8 + 4, d * 8 + 4), pass[f] ? 0xFFFFFFFFu : 0xFF000000u)
                << "function " << funcs[f] << " depth " << z;
        }
    // Depth writes: a nearer quad hides a farther one drawn after it.
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    ScreenRect(0, 0, 32, 32, 0xFFFF0000, 0.2f);
    ScreenRect(16, 16, 48, 48, 0xFF00FF00, 0.4f);
    p = ReadTarget();
    EXPECT_EQ(p.At(20, 20), 0xFFFF0000u);
    EXPECT_EQ(p.At(40, 40), 0xFF00FF00u);
}

namespace {

double Factor(int blend, int channel, const double s[4], const double d[4], bool source) {
    // channel 3 is alpha
    switch (blend) {
    case D3DBLEND_ZERO:
        return 0;
    case D3DBLEND_ONE:
        return 1;
    case D3DBLEND_SRCCOLOR:
        return s[channel];
    case D3DBLEND_INVSRCCOLOR:
        return 1 - s[channel];
    case D3DBLEND_SRCALPHA:
        return s[3];
    case D3DBLEND_INVSRCALPHA:
        return 1 - s[3];
    case D3DBLEND_DESTALPHA:
        return d[3];
    case D3DBLEND_INVDESTALPHA:
        return 1 - d[3];
    case D3DBLEND_DESTCOLOR:
        return d[channel];
    case D3DBLEND_INVDESTCOLOR:
        return 1 - d[channel];
    case D3DBLEND_SRCALPHASAT:
        return channel == 3 ? 1 : std::min(s[3], 1 - d[3]);
    case D3DBLEND_BOTHSRCALPHA:
        return source ? s[3] : 1 - s[3];
    case D3DBLEND_BOTHINVSRCALPHA:
        return source ? 1 - s[3] : s[3];
    default:
        return 0;
    }
}

} // namespace

TEST_F(DeviceTest, EveryBlendFactorPairMatchesTheFormula) {
    Unlit();
    const D3DCOLOR destination = D3DCOLOR_ARGB(0x60, 0x20, 0x90, 0xE0);
    const D3DCOLOR source = D3DCOLOR_ARGB(0xB0, 0xC0, 0x50, 0x30);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, destination, 1.0f, 0);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    // BOTHSRCALPHA and BOTHINVSRCALPHA are source factors only.
    for (int src = 1; src <= 13; ++src)
        for (int dst = 1; dst <= 11; ++dst) {
            int cell = (src - 1) * 13 + (dst - 1);
            device->SetRenderState(D3DRS_SRCBLEND, DWORD(src));
            device->SetRenderState(D3DRS_DESTBLEND, DWORD(dst));
            float x = float(cell % 16 * 4), y = float(cell / 16 * 4);
            ScreenRect(x, y, x + 4, y + 4, source);
        }
    Pixels p = ReadTarget();
    auto unpack = [](D3DCOLOR c, double out[4]) {
        out[0] = Red(c) / 255.0;
        out[1] = Green(c) / 255.0;
        out[2] = Blue(c) / 255.0;
        out[3] = Alpha(c) / 255.0;
    };
    double s[4], d[4];
    unpack(source, s);
    unpack(destination, d);
    for (int src = 1; src <= 13; ++src)
        for (int dst = 1; dst <= 11; ++dst) {
            int cell = (src - 1) * 13 + (dst - 1);
            uint32_t got = p.At(unsigned(cell % 16 * 4 + 1), unsigned(cell / 16 * 4 + 1));
            int values[4] = {Red(got), Green(got), Blue(got), Alpha(got)};
            for (int c = 0; c < 4; ++c) {
                // BOTH* source factors replace the destination factor too.
                int dstFactor = src >= int(D3DBLEND_BOTHSRCALPHA) ? src : dst;
                double want = s[c] * Factor(src, c, s, d, true) + d[c] * Factor(dstFactor, c, s, d, false);
                want = std::clamp(want, 0.0, 1.0) * 255.0;
                EXPECT_NEAR(values[c], want, 1.01) << "src " << src << " dst " << dst << " channel " << c;
            }
        }
}

TEST_F(DeviceTest, BlendOperationsAndColourWriteMask) {
    Unlit();
    const D3DCOLOR destination = D3DCOLOR_ARGB(0xFF, 0x80, 0x40, 0xC0);
    const D3DCOLOR source = D3DCOLOR_ARGB(0xFF, 0x30, 0x60, 0x30);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, destination, 1.0f, 0);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    for (DWORD op = D3DBLENDOP_ADD; op <= D3DBLENDOP_MAX; ++op) {
        device->SetRenderState(D3DRS_BLENDOP, op);
        ScreenRect(float(op * 8), 0, float(op * 8 + 8), 8, source);
    }
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_COLORWRITEENABLE, D3DCOLORWRITEENABLE_GREEN);
    ScreenRect(0, 16, 8, 24, 0x00000000);
    Pixels p = ReadTarget();
    // d = (80, 40, C0, FF), s = (30, 60, 30, FF), both factors one
    EXPECT_EQ(p.At(12, 4), 0xFFB0A0F0u); // add
    EXPECT_EQ(p.At(20, 4), 0x00002000u); // s - d
    EXPECT_EQ(p.At(28, 4), 0x00500090u); // d - s
    EXPECT_EQ(p.At(36, 4), 0xFF304030u); // min
    EXPECT_EQ(p.At(44, 4), 0xFF8060C0u); // max
    EXPECT_EQ(p.At(4, 20), 0xFF8000C0u); // only green written
}

TEST_F(DeviceTest, ScissorTestClipsDrawsAndClears) {
    Unlit();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    RECT scissor{10, 20, 30, 25};
    device->SetScissorRect(&scissor);
    device->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
    ScreenRect(0, 0, 64, 64, 0xFFFFFFFF);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    Pixels p = ReadTarget();
    EXPECT_EQ(p.At(10, 20), 0xFF0000FFu);
    EXPECT_EQ(p.At(29, 24), 0xFF0000FFu);
    EXPECT_EQ(p.At(9, 20), 0xFF000000u);
    EXPECT_EQ(p.At(30, 24), 0xFF000000u);
    EXPECT_EQ(p.At(10, 25), 0xFF000000u);
}

TEST_F(DeviceTest, StencilMarksAndMasks) {
    Unlit();
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF000000, 1.0f, 0);
    device->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_REPLACE);
    device->SetRenderState(D3DRS_STENCILREF, 1);
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
    ScreenRect(0, 0, 32, 64, 0xFFFFFFFF);
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    ScreenRect(0, 0, 64, 64, 0xFF00FF00);
    Pixels p = ReadTarget();
    EXPECT_EQ(p.At(31, 10), 0xFF00FF00u);
    EXPECT_EQ(p.At(32, 10), 0xFF000000u);
}

TEST_F(DeviceTest, TwoSidedStencilTakesCounterClockwiseStatesForThoseFaces) {
    Unlit();
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF000000, 1.0f, 0);
    device->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    device->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, TRUE);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    device->SetRenderState(D3DRS_CCW_STENCILFUNC, D3DCMP_ALWAYS);
    device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_REPLACE);
    device->SetRenderState(D3DRS_CCW_STENCILPASS, D3DSTENCILOP_INVERT);
    device->SetRenderState(D3DRS_STENCILREF, 1);
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
    ScreenVertex cw[3] = {{0, 0, 0.5f, 1, 0}, {32, 0, 0.5f, 1, 0}, {0, 32, 0.5f, 1, 0}};
    ScreenVertex ccw[3] = {{32, 0, 0.5f, 1, 0}, {32, 32, 0.5f, 1, 0}, {64, 0, 0.5f, 1, 0}};
    ScreenVertex ccwBelow[3] = {{0, 32, 0.5f, 1, 0}, {0, 64, 0.5f, 1, 0}, {32, 32, 0.5f, 1, 0}};
    device->SetFVF(ScreenFvf);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, cw, sizeof(ScreenVertex));
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccw, sizeof(ScreenVertex));
    // Culling the clockwise faces must not swap which states the others get.
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, cw, sizeof(ScreenVertex));
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccwBelow, sizeof(ScreenVertex));
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, FALSE);
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
    device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    ScreenRect(0, 0, 64, 64, 0xFF00FF00);
    device->SetRenderState(D3DRS_STENCILREF, 0xFF);
    ScreenRect(0, 0, 64, 64, 0xFFFF0000);
    Pixels p = ReadTarget();
    EXPECT_EQ(p.At(4, 4), 0xFF00FF00u);   // clockwise: replaced with 1
    EXPECT_EQ(p.At(40, 4), 0xFFFF0000u);  // counter-clockwise: inverted to 255
    EXPECT_EQ(p.At(4, 40), 0xFFFF0000u);  // counter-clockwise with clockwise culling
    EXPECT_EQ(p.At(60, 60), 0xFF000000u); // untouched
}

TEST_F(DeviceTest, DeclarationsReadSeveralStreamsAndPackedTypes) {
    Unlit();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    // Stream 0: positions. Stream 1: a skipped word, then the colour as normalised bytes (R, G, B, A in
    // memory order for UBYTE4N, unlike D3DCOLOR's B, G, R, A).
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITIONT, 0},
                                          {1, 4, D3DDECLTYPE_UBYTE4N, 0, D3DDECLUSAGE_COLOR, 0},
                                          D3DDECL_END()};
    IDirect3DVertexDeclaration9* decl = nullptr;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, &decl), D3D_OK);
    const float positions[] = {0, 0, 0.5f, 1, 16, 0, 0.5f, 1, 0, 16, 0.5f, 1, 16, 16, 0.5f, 1};
    struct Attributes {
        uint32_t unused;
        uint8_t rgba[4];
    } attributes[5] = {}; // the first one is skipped by the stream offset
    for (int i = 1; i < 5; ++i)
        attributes[i] = {0xDEADBEEF, {0x20, 0x40, 0x80, 0xFF}};
    IDirect3DVertexBuffer9 *a = nullptr, *b = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(sizeof positions, 0, 0, D3DPOOL_MANAGED, &a, nullptr), D3D_OK);
    ASSERT_EQ(device->CreateVertexBuffer(sizeof attributes, 0, 0, D3DPOOL_MANAGED, &b, nullptr), D3D_OK);
    void* data = nullptr;
    a->Lock(0, 0, &data, 0);
    std::memcpy(data, positions, sizeof positions);
    a->Unlock();
    b->Lock(0, 0, &data, 0);
    std::memcpy(data, attributes, sizeof attributes);
    b->Unlock();
    device->SetVertexDeclaration(decl);
    device->SetStreamSource(0, a, 0, 16);
    device->SetStreamSource(1, b, sizeof(Attributes), sizeof(Attributes));
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    EXPECT_EQ(ReadTarget().At(8, 8), 0xFF204080u);
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetStreamSource(1, nullptr, 0, 0);
    device->SetVertexDeclaration(nullptr);
    decl->Release();
    a->Release();
    b->Release();
}
