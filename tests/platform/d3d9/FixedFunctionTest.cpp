// The fixed-function pipeline against its formulas computed here in double precision.
#include "DeviceFixture.h"
#include "platform/d3d9/FixedFunction.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <bit>
#include <cstring>
#include <string>

namespace {

using Vec3 = std::array<double, 3>;
using Vec4 = std::array<double, 4>;

double Dot(const Vec3& a, const Vec3& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
Vec3 Normalized(const Vec3& v) {
    double l = std::sqrt(Dot(v, v));
    return {v[0] / l, v[1] / l, v[2] / l};
}
Vec4 Unpack(D3DCOLOR c) {
    return {Red(c) / 255.0, Green(c) / 255.0, Blue(c) / 255.0, Alpha(c) / 255.0};
}
Vec4 Of(const D3DCOLORVALUE& c) {
    return {c.r, c.g, c.b, c.a};
}

D3DMATRIX Perspective() {
    // Left-handed, 90 degrees, square, near 1, far 100: view-space z maps to [0, 1].
    D3DMATRIX m{};
    m._11 = m._22 = 1.0f;
    m._33 = 100.0f / 99.0f;
    m._34 = 1.0f;
    m._43 = -100.0f / 99.0f;
    return m;
}

void ExpectColour(uint32_t got, const Vec4& want, const char* what) {
    int w[4];
    for (int i = 0; i < 4; ++i)
        w[i] = int(std::lround(std::clamp(want[i], 0.0, 1.0) * 255.0));
    EXPECT_NEAR(Red(got), w[0], 1) << what;
    EXPECT_NEAR(Green(got), w[1], 1) << what;
    EXPECT_NEAR(Blue(got), w[2], 1) << what;
    EXPECT_NEAR(Alpha(got), w[3], 1) << what;
}

class FixedFunctionTest : public DeviceTest {
protected:
    void Camera() {
        D3DMATRIX identity{};
        identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
        D3DMATRIX projection = Perspective();
        device->SetTransform(D3DTS_WORLD, &identity);
        device->SetTransform(D3DTS_VIEW, &identity);
        device->SetTransform(D3DTS_PROJECTION, &projection);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_ZENABLE, FALSE);
    }
};

// The cap of a unit sphere centred at (0, 0, 5) around its pole (0, 0, 4), which faces the camera and lands
// on the centre pixel (32, 32).
struct SphereVertex {
    float x, y, z;
    float nx, ny, nz;
    D3DCOLOR color;
};

void DrawSphereCap(IDirect3DDevice9* device, D3DCOLOR color) {
    SphereVertex v[10];
    v[0] = {0, 0, 4, 0, 0, -1, color};
    const double pi = std::acos(-1.0), a = pi / 6;
    for (int i = 0; i <= 8; ++i) {
        double phi = 2 * pi * i / 8;
        float nx = float(std::sin(a) * std::cos(phi)), ny = float(std::sin(a) * std::sin(phi)),
              nz = float(-std::cos(a));
        v[i + 1] = {nx, ny, 5 + nz, nx, ny, nz, color};
    }
    device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 8, v, sizeof v[0]), D3D_OK);
}

struct LightingCase {
    const char* name;
    std::vector<D3DLIGHT9> lights;
    bool specular = false;
    bool localViewer = true;
    bool vertexColour = false;
};

D3DLIGHT9 Directional(Vec3 direction) {
    D3DLIGHT9 l{};
    l.Type = D3DLIGHT_DIRECTIONAL;
    l.Diffuse = {0.8f, 0.6f, 0.9f, 1.0f};
    l.Specular = {1.0f, 0.9f, 0.8f, 1.0f};
    l.Ambient = {0.1f, 0.2f, 0.3f, 1.0f};
    l.Direction = {float(direction[0]), float(direction[1]), float(direction[2])};
    return l;
}

D3DLIGHT9 Positional(D3DLIGHTTYPE type, Vec3 position, Vec3 direction, float range) {
    D3DLIGHT9 l = Directional(direction);
    l.Type = type;
    l.Position = {float(position[0]), float(position[1]), float(position[2])};
    l.Range = range;
    l.Attenuation0 = 0.5f;
    l.Attenuation1 = 0.2f;
    l.Attenuation2 = 0.05f;
    l.Theta = 0.2f;
    l.Phi = 0.8f;
    l.Falloff = 1.5f;
    return l;
}

// Direct3D's vertex lighting at one vertex (camera space = world space here: the view is the identity).
Vec4 Light(const LightingCase& c, const D3DMATERIAL9& m, D3DCOLOR globalAmbient, D3DCOLOR vertexColour,
           const Vec3& p, const Vec3& n) {
    Vec4 cd = c.vertexColour ? Unpack(vertexColour) : Of(m.Diffuse);
    Vec4 ca = c.vertexColour ? Unpack(vertexColour) : Of(m.Ambient);
    Vec4 cs = Of(m.Specular), ce = Of(m.Emissive);
    Vec4 ga = Unpack(globalAmbient);
    Vec3 ambient{}, diffuse{}, specular{};
    for (const D3DLIGHT9& l : c.lights) {
        Vec3 toLight;
        double att = 1;
        Vec3 dir = Normalized({l.Direction.x, l.Direction.y, l.Direction.z});
        if (l.Type == D3DLIGHT_DIRECTIONAL) {
            toLight = {-dir[0], -dir[1], -dir[2]};
        } else {
            Vec3 d = {l.Position.x - p[0], l.Position.y - p[1], l.Position.z - p[2]};
            double dist = std::sqrt(Dot(d, d));
            toLight = Normalized(d);
            att = dist > l.Range
                      ? 0
                      : 1 / (l.Attenuation0 + l.Attenuation1 * dist + l.Attenuation2 * dist * dist);
            if (l.Type == D3DLIGHT_SPOT) {
                double rho = -Dot(toLight, dir);
                double cosTheta = std::cos(l.Theta / 2), cosPhi = std::cos(l.Phi / 2);
                att *= rho > cosTheta  ? 1
                       : rho <= cosPhi ? 0
                                       : std::pow((rho - cosPhi) / (cosTheta - cosPhi), l.Falloff);
            }
        }
        double nl = std::max(0.0, Dot(n, toLight));
        Vec3 view = c.localViewer ? Normalized({-p[0], -p[1], -p[2]}) : Vec3{0, 0, -1};
        Vec3 h = Normalized({toLight[0] + view[0], toLight[1] + view[1], toLight[2] + view[2]});
        double highlight = nl > 0 ? std::pow(std::max(0.0, Dot(n, h)), m.Power) : 0;
        Vec4 la = Of(l.Ambient), ld = Of(l.Diffuse), ls = Of(l.Specular);
        for (int i = 0; i < 3; ++i) {
            ambient[i] += att * la[i];
            diffuse[i] += att * nl * ld[i];
            specular[i] += att * highlight * ls[i];
        }
    }
    Vec4 out;
    for (int i = 0; i < 3; ++i) {
        double colour = std::clamp(ce[i] + ca[i] * (ga[i] + ambient[i]) + cd[i] * diffuse[i], 0.0, 1.0);
        if (c.specular)
            colour += std::clamp(cs[i] * specular[i], 0.0, 1.0);
        out[i] = std::min(colour, 1.0);
    }
    out[3] = cd[3];
    return out;
}

} // namespace

TEST_F(FixedFunctionTest, LitSphereCentreMatchesTheLightingFormula) {
    const double r = 1 / std::sqrt(2.0);
    const LightingCase cases[] = {
        {"directional, head on", {Directional({0, 0, 1})}},
        {"directional, oblique", {Directional({r, 0, r})}},
        {"point, attenuated", {Positional(D3DLIGHT_POINT, {1, 1, 0}, {0, 0, 1}, 50)}},
        {"point, out of range", {Positional(D3DLIGHT_POINT, {1, 1, 0}, {0, 0, 1}, 4)}},
        {"spot, in the falloff", {Positional(D3DLIGHT_SPOT, {0, 0, 0}, {0.2, 0, 1}, 50)}},
        {"spot, outside the cone", {Positional(D3DLIGHT_SPOT, {0, 0, 0}, {1, 0, 1}, 50)}},
        {"specular, local viewer", {Directional({0.6, 0, 0.8})}, true, true},
        {"specular, distant viewer", {Directional({0.6, 0.3, 0.8})}, true, false},
        {"vertex colour for diffuse and ambient", {Directional({r, 0, r})}, false, true, true},
        {"two lights", {Directional({0, r, r}), Positional(D3DLIGHT_POINT, {-2, 0, 1}, {0, 0, 1}, 50)}},
    };
    D3DMATERIAL9 material{};
    material.Diffuse = {0.9f, 0.7f, 0.5f, 0.75f};
    material.Ambient = {0.5f, 0.5f, 0.5f, 1.0f};
    material.Specular = {0.5f, 0.6f, 0.7f, 1.0f};
    material.Emissive = {0.05f, 0.02f, 0.0f, 0.0f};
    material.Power = 10.0f;
    const D3DCOLOR globalAmbient = 0x00302010, vertexColour = 0xC04080C0;
    Camera();
    device->SetMaterial(&material);
    device->SetRenderState(D3DRS_AMBIENT, globalAmbient);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    for (const LightingCase& c : cases) {
        for (DWORD i = 0; i < 4; ++i)
            device->LightEnable(i, FALSE);
        for (size_t i = 0; i < c.lights.size(); ++i) {
            // Far-apart indices: lights are taken in index order, however sparse.
            DWORD index = DWORD(i * 3);
            device->SetLight(index, &c.lights[i]);
            device->LightEnable(index, TRUE);
        }
        device->SetRenderState(D3DRS_LIGHTING, TRUE);
        device->SetRenderState(D3DRS_SPECULARENABLE, c.specular);
        device->SetRenderState(D3DRS_LOCALVIEWER, c.localViewer);
        device->SetRenderState(D3DRS_COLORVERTEX, c.vertexColour);
        device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, c.vertexColour ? D3DMCS_COLOR1 : D3DMCS_MATERIAL);
        device->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, c.vertexColour ? D3DMCS_COLOR1 : D3DMCS_MATERIAL);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        DrawSphereCap(device, vertexColour);
        Pixels p = ReadTarget();
        ExpectColour(p.At(32, 32), Light(c, material, globalAmbient, vertexColour, {0, 0, 4}, {0, 0, -1}),
                     c.name);
    }
}

// The pole moved off the view axis (world translation 1.5 along x, so it lands on pixel (44, 32)): there a
// local viewer looks at it obliquely and a distant one straight along z, which moves the highlight; spots
// see it off their axis, in the falloff between Theta and Phi.
TEST_F(FixedFunctionTest, OffAxisSpecularAndSpotFalloffMatchTheFormula) {
    const LightingCase cases[] = {
        {"specular, local viewer", {Directional({-0.3, 0, 1})}, true, true},
        {"specular, distant viewer", {Directional({-0.3, 0, 1})}, true, false},
        {"specular from a point, local viewer",
         {Positional(D3DLIGHT_POINT, {0, 0, 0}, {0, 0, 1}, 50)},
         true,
         true},
        {"specular from a point, distant viewer",
         {Positional(D3DLIGHT_POINT, {0, 0, 0}, {0, 0, 1}, 50)},
         true,
         false},
        {"spot, between Theta and Phi", {Positional(D3DLIGHT_SPOT, {0, 0, 0}, {0.1, 0, 1}, 50)}},
        {"spot, inside Theta", {Positional(D3DLIGHT_SPOT, {0, 0, 0}, {0.37, 0, 1}, 50)}},
        {"spot, beyond Phi", {Positional(D3DLIGHT_SPOT, {0, 0, 0}, {-0.4, 0, 1}, 50)}},
    };
    D3DMATERIAL9 material{};
    material.Diffuse = {0.6f, 0.5f, 0.4f, 1.0f};
    material.Ambient = {0.3f, 0.3f, 0.3f, 1.0f};
    material.Specular = {0.8f, 0.7f, 0.9f, 1.0f};
    material.Power = 40.0f;
    const D3DCOLOR globalAmbient = 0x00101010;
    Camera();
    D3DMATRIX world{};
    world._11 = world._22 = world._33 = world._44 = 1.0f;
    world._41 = 1.5f;
    device->SetTransform(D3DTS_WORLD, &world);
    device->SetMaterial(&material);
    device->SetRenderState(D3DRS_AMBIENT, globalAmbient);
    device->SetRenderState(D3DRS_COLORVERTEX, FALSE);
    device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    device->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    std::vector<uint32_t> seen;
    for (const LightingCase& c : cases) {
        device->SetLight(0, &c.lights[0]);
        device->LightEnable(0, TRUE);
        device->SetRenderState(D3DRS_SPECULARENABLE, c.specular);
        device->SetRenderState(D3DRS_LOCALVIEWER, c.localViewer);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        DrawSphereCap(device, 0xFFFFFFFF);
        Pixels p = ReadTarget();
        seen.push_back(p.At(44, 32));
        ExpectColour(p.At(44, 32), Light(c, material, globalAmbient, 0, {1.5, 0, 4}, {0, 0, -1}), c.name);
    }
    device->LightEnable(0, FALSE);
    EXPECT_NE(seen[0], seen[1]) << "the viewer moves the highlight";
    EXPECT_NE(seen[2], seen[3]);
}

// Linear table fog on a floor that runs from in front of the fog's start to far behind its end: every
// pixel takes the factor of its own depth, clamped there, not one blended between its vertices' factors.
TEST_F(FixedFunctionTest, LinearTableFogFollowsEachPixelsDepth) {
    Camera();
    Unlit();
    const D3DCOLOR fog = 0xFF2040C0, colour = 0xFFF0E0D0;
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device->SetRenderState(D3DRS_FOGCOLOR, fog);
    device->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR);
    device->SetRenderState(D3DRS_FOGSTART, std::bit_cast<DWORD>(2.0f));
    device->SetRenderState(D3DRS_FOGEND, std::bit_cast<DWORD>(8.0f));
    struct Vertex {
        float x, y, z;
        D3DCOLOR color;
    } floor[4] = {
        {-50, -1, 1.25f, colour}, {50, -1, 1.25f, colour}, {-50, -1, 40, colour}, {50, -1, 40, colour}};
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, floor, sizeof floor[0]);
    device->SetRenderState(D3DRS_FOGENABLE, FALSE);
    Pixels p = ReadTarget();
    const Vec4 f = Unpack(fog), c = Unpack(colour);
    // Row r shows the floor at depth 32 / (r - 32): pixel centres on whole numbers, 90 degrees over 64 rows.
    for (int row : {34, 38, 40, 44, 56}) {
        const double depth = 32.0 / (row - 32), factor = std::clamp((8.0 - depth) / 6.0, 0.0, 1.0);
        Vec4 want;
        for (int i = 0; i < 3; ++i)
            want[i] = factor * c[i] + (1 - factor) * f[i];
        want[3] = c[3];
        ExpectColour(p.At(32, row), want, ("row " + std::to_string(row)).c_str());
    }
}

TEST_F(FixedFunctionTest, FogModesBlendTowardsTheFogColour) {
    struct Case {
        const char* name;
        DWORD table, vertex;
        double factor; // at view depth 5
    } cases[] = {
        {"vertex linear", D3DFOG_NONE, D3DFOG_LINEAR, (8.0 - 5.0) / (8.0 - 2.0)},
        {"vertex exp", D3DFOG_NONE, D3DFOG_EXP, std::exp(-5 * 0.1)},
        {"vertex exp2", D3DFOG_NONE, D3DFOG_EXP2, std::exp(-(5 * 0.1) * (5 * 0.1))},
        {"table linear", D3DFOG_LINEAR, D3DFOG_NONE, (8.0 - 5.0) / (8.0 - 2.0)},
        {"table exp", D3DFOG_EXP, D3DFOG_NONE, std::exp(-5 * 0.1)},
        {"table exp2 over vertex linear", D3DFOG_EXP2, D3DFOG_LINEAR, std::exp(-(5 * 0.1) * (5 * 0.1))},
    };
    Camera();
    Unlit();
    const D3DCOLOR fog = 0xFF2040C0, colour = 0xFFF0E0D0;
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    device->SetRenderState(D3DRS_FOGCOLOR, fog);
    device->SetRenderState(D3DRS_FOGSTART, std::bit_cast<DWORD>(2.0f));
    device->SetRenderState(D3DRS_FOGEND, std::bit_cast<DWORD>(8.0f));
    device->SetRenderState(D3DRS_FOGDENSITY, std::bit_cast<DWORD>(0.1f));
    struct Vertex {
        float x, y, z;
        D3DCOLOR color;
    } quad[4] = {{-10, -10, 5, colour}, {10, -10, 5, colour}, {-10, 10, 5, colour}, {10, 10, 5, colour}};
    Vec4 f = Unpack(fog), c = Unpack(colour);
    for (const Case& k : cases) {
        device->SetRenderState(D3DRS_FOGTABLEMODE, k.table);
        device->SetRenderState(D3DRS_FOGVERTEXMODE, k.vertex);
        device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]);
        Pixels p = ReadTarget();
        Vec4 want;
        for (int i = 0; i < 3; ++i)
            want[i] = k.factor * c[i] + (1 - k.factor) * f[i];
        want[3] = c[3];
        ExpectColour(p.At(32, 32), want, k.name);
    }
    // Pre-transformed vertices without a fog mode carry the fog factor in their specular alpha.
    device->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_NONE);
    device->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_NONE);
    struct Screen {
        float x, y, z, rhw;
        D3DCOLOR diffuse, specular;
    } s[4] = {{0, 0, 0.5f, 1, colour, 0x40000000},
              {64, 0, 0.5f, 1, colour, 0x40000000},
              {0, 64, 0.5f, 1, colour, 0x40000000},
              {64, 64, 0.5f, 1, colour, 0x40000000}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, s, sizeof s[0]);
    Pixels p = ReadTarget();
    double a = 0x40 / 255.0;
    ExpectColour(p.At(32, 32),
                 {a * c[0] + (1 - a) * f[0], a * c[1] + (1 - a) * f[1], a * c[2] + (1 - a) * f[2], 1},
                 "specular alpha");
}

namespace {

struct StageCase {
    DWORD colorOp, colorArg1, colorArg2, colorArg0;
    DWORD alphaOp, alphaArg1, alphaArg2, alphaArg0;
};

// One stage on the CPU: texture t, diffuse d, texture factor f; current is the diffuse colour at stage 0.
Vec4 Stage(const StageCase& s, const Vec4& t, const Vec4& d, const Vec4& f) {
    auto arg = [&](DWORD a) {
        Vec4 v;
        switch (a & D3DTA_SELECTMASK) {
        case D3DTA_TEXTURE:
            v = t;
            break;
        case D3DTA_TFACTOR:
            v = f;
            break;
        default:
            v = d;
        }
        if (a & D3DTA_COMPLEMENT)
            for (double& x : v)
                x = 1 - x;
        if (a & D3DTA_ALPHAREPLICATE)
            v = {v[3], v[3], v[3], v[3]};
        return v;
    };
    auto op = [&](DWORD o, const Vec4& a0, const Vec4& a1, const Vec4& a2, int i) -> double {
        double x0 = a0[i], x1 = a1[i], x2 = a2[i];
        switch (o) {
        case D3DTOP_SELECTARG1:
            return x1;
        case D3DTOP_SELECTARG2:
            return x2;
        case D3DTOP_MODULATE:
            return x1 * x2;
        case D3DTOP_MODULATE2X:
            return 2 * x1 * x2;
        case D3DTOP_MODULATE4X:
            return 4 * x1 * x2;
        case D3DTOP_ADD:
            return x1 + x2;
        case D3DTOP_ADDSIGNED:
            return x1 + x2 - 0.5;
        case D3DTOP_ADDSIGNED2X:
            return 2 * (x1 + x2 - 0.5);
        case D3DTOP_SUBTRACT:
            return x1 - x2;
        case D3DTOP_ADDSMOOTH:
            return x1 + x2 - x1 * x2;
        case D3DTOP_BLENDDIFFUSEALPHA:
            return x1 * d[3] + x2 * (1 - d[3]);
        case D3DTOP_BLENDTEXTUREALPHA:
            return x1 * t[3] + x2 * (1 - t[3]);
        case D3DTOP_BLENDFACTORALPHA:
            return x1 * f[3] + x2 * (1 - f[3]);
        case D3DTOP_BLENDCURRENTALPHA:
            return x1 * d[3] + x2 * (1 - d[3]);
        case D3DTOP_BLENDTEXTUREALPHAPM:
            return x1 + x2 * (1 - t[3]);
        case D3DTOP_MODULATEALPHA_ADDCOLOR:
            return x1 + a1[3] * x2;
        case D3DTOP_MODULATEINVCOLOR_ADDALPHA:
            return (1 - x1) * x2 + a1[3];
        case D3DTOP_DOTPRODUCT3:
            return 4 * ((a1[0] - 0.5) * (a2[0] - 0.5) + (a1[1] - 0.5) * (a2[1] - 0.5) +
                        (a1[2] - 0.5) * (a2[2] - 0.5));
        case D3DTOP_MULTIPLYADD:
            return x0 + x1 * x2;
        case D3DTOP_LERP:
            return x0 * x1 + (1 - x0) * x2;
        default:
            return 0;
        }
    };
    Vec4 out;
    for (int i = 0; i < 3; ++i)
        out[i] = std::clamp(op(s.colorOp, arg(s.colorArg0), arg(s.colorArg1), arg(s.colorArg2), i), 0.0, 1.0);
    DWORD alphaOp = s.colorOp == D3DTOP_DOTPRODUCT3 ? D3DTOP_DOTPRODUCT3 : s.alphaOp;
    Vec4 a1 = arg(s.colorOp == D3DTOP_DOTPRODUCT3 ? s.colorArg1 : s.alphaArg1);
    Vec4 a2 = arg(s.colorOp == D3DTOP_DOTPRODUCT3 ? s.colorArg2 : s.alphaArg2);
    out[3] = std::clamp(op(alphaOp, arg(s.alphaArg0), a1, a2, 3), 0.0, 1.0);
    return out;
}

} // namespace

TEST_F(FixedFunctionTest, TextureStageOperationsMatchTheirFormulas) {
    const DWORD T = D3DTA_TEXTURE, D = D3DTA_DIFFUSE, F = D3DTA_TFACTOR;
    const StageCase cases[] = {
        {D3DTOP_SELECTARG1, T, D, 0, D3DTOP_SELECTARG1, T, D, 0},
        {D3DTOP_SELECTARG2, T, D, 0, D3DTOP_SELECTARG2, T, D, 0},
        {D3DTOP_MODULATE, T, D, 0, D3DTOP_MODULATE, T, D, 0},
        {D3DTOP_MODULATE2X, T, D, 0, D3DTOP_MODULATE2X, T, F, 0},
        {D3DTOP_MODULATE4X, T, D, 0, D3DTOP_MODULATE4X, T, D, 0},
        {D3DTOP_ADD, T, D, 0, D3DTOP_ADD, T, D, 0},
        {D3DTOP_ADDSIGNED, T, D, 0, D3DTOP_ADDSIGNED, T, D, 0},
        {D3DTOP_ADDSIGNED2X, T, F, 0, D3DTOP_ADDSIGNED2X, T, D, 0},
        {D3DTOP_SUBTRACT, D, T, 0, D3DTOP_SUBTRACT, T, D, 0},
        {D3DTOP_ADDSMOOTH, T, D, 0, D3DTOP_ADDSMOOTH, T, D, 0},
        {D3DTOP_BLENDDIFFUSEALPHA, T, F, 0, D3DTOP_BLENDDIFFUSEALPHA, T, F, 0},
        {D3DTOP_BLENDTEXTUREALPHA, T, D, 0, D3DTOP_BLENDTEXTUREALPHA, T, D, 0},
        {D3DTOP_BLENDFACTORALPHA, T, D, 0, D3DTOP_BLENDFACTORALPHA, T, D, 0},
        {D3DTOP_BLENDCURRENTALPHA, T, F, 0, D3DTOP_SELECTARG1, F, D, 0},
        {D3DTOP_BLENDTEXTUREALPHAPM, F, D, 0, D3DTOP_SELECTARG2, T, D, 0},
        {D3DTOP_MODULATEALPHA_ADDCOLOR, T, D, 0, D3DTOP_SELECTARG1, T, D, 0},
        {D3DTOP_MODULATEINVCOLOR_ADDALPHA, T, D, 0, D3DTOP_SELECTARG1, D, D, 0},
        {D3DTOP_DOTPRODUCT3, T, F, 0, D3DTOP_SELECTARG1, T, D, 0},
        {D3DTOP_MULTIPLYADD, T, D, F, D3DTOP_MULTIPLYADD, T, D, F},
        {D3DTOP_LERP, T, D, F, D3DTOP_LERP, T, D, F},
        {D3DTOP_MODULATE, T | D3DTA_COMPLEMENT, D, 0, D3DTOP_MODULATE, T | D3DTA_COMPLEMENT, D, 0},
        {D3DTOP_MODULATE, T | D3DTA_ALPHAREPLICATE, D, 0, D3DTOP_SELECTARG1, F | D3DTA_COMPLEMENT, D, 0},
        {D3DTOP_SELECTARG1, F | D3DTA_ALPHAREPLICATE | D3DTA_COMPLEMENT, D, 0, D3DTOP_SELECTARG1, F, D, 0},
    };
    const D3DCOLOR texel = 0xC0804020, diffuse = 0x40FF8040, factor = 0x80306090;
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    texture->LockRect(0, &locked, nullptr, 0);
    std::memcpy(locked.pBits, &texel, 4);
    texture->UnlockRect(0);
    Unlit();
    device->SetTexture(0, texture);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, factor);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    struct Vertex {
        float x, y, z, rhw;
        D3DCOLOR color;
        float u, v;
    };
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    int cell = 0;
    for (const StageCase& c : cases) {
        device->SetTextureStageState(0, D3DTSS_COLOROP, c.colorOp);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, c.colorArg1);
        device->SetTextureStageState(0, D3DTSS_COLORARG2, c.colorArg2);
        device->SetTextureStageState(0, D3DTSS_COLORARG0, c.colorArg0);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, c.alphaOp);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, c.alphaArg1);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG2, c.alphaArg2);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG0, c.alphaArg0);
        float l = float(cell % 8 * 8), t = float(cell / 8 * 8);
        Vertex v[4] = {{l, t, 0.5f, 1, diffuse, 0.5f, 0.5f},
                       {l + 8, t, 0.5f, 1, diffuse, 0.5f, 0.5f},
                       {l, t + 8, 0.5f, 1, diffuse, 0.5f, 0.5f},
                       {l + 8, t + 8, 0.5f, 1, diffuse, 0.5f, 0.5f}};
        device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]);
        ++cell;
    }
    // Two stages: the second adds the texture factor to what the first made.
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, T);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
    device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
    device->SetTextureStageState(1, D3DTSS_COLORARG2, F);
    device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_CURRENT);
    {
        float l = float(cell % 8 * 8), t = float(cell / 8 * 8);
        Vertex v[4] = {{l, t, 0.5f, 1, diffuse, 0.5f, 0.5f},
                       {l + 8, t, 0.5f, 1, diffuse, 0.5f, 0.5f},
                       {l, t + 8, 0.5f, 1, diffuse, 0.5f, 0.5f},
                       {l + 8, t + 8, 0.5f, 1, diffuse, 0.5f, 0.5f}};
        device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]);
    }
    Pixels p = ReadTarget();
    Vec4 t = Unpack(texel), d = Unpack(diffuse), f = Unpack(factor);
    for (int i = 0; i < cell; ++i) {
        std::string what = "case " + std::to_string(i);
        ExpectColour(p.At(unsigned(i % 8 * 8 + 4), unsigned(i / 8 * 8 + 4)), Stage(cases[i], t, d, f),
                     what.c_str());
    }
    Vec4 first = Stage({D3DTOP_MODULATE, T, D, 0, D3DTOP_SELECTARG1, F, D, 0}, t, d, f);
    Vec4 both = {std::min(1.0, first[0] + f[0]), std::min(1.0, first[1] + f[1]),
                 std::min(1.0, first[2] + f[2]), first[3]};
    ExpectColour(p.At(unsigned(cell % 8 * 8 + 4), unsigned(cell / 8 * 8 + 4)), both, "two stages");
    device->SetTexture(0, nullptr);
    texture->Release();
}

TEST_F(FixedFunctionTest, AlphaTestFlatShadingAndTextureTranslation) {
    Unlit();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    device->SetRenderState(D3DRS_ALPHAREF, 0x80);
    ScreenRect(0, 0, 8, 8, 0x80FF0000);
    ScreenRect(8, 0, 16, 8, 0x81FF0000);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);

    // Flat shading takes the first vertex's colour.
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    ScreenVertex tri[3] = {
        {16, 16, 0.5f, 1, 0xFF00FF00}, {48, 16, 0.5f, 1, 0xFFFF0000}, {16, 48, 0.5f, 1, 0xFF0000FF}};
    device->SetFVF(ScreenFvf);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof tri[0]);
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);

    // A 2D coordinate's translation sits in the third row of the texture matrix.
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(2, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    texture->LockRect(0, &locked, nullptr, 0);
    const uint32_t texels[2] = {0xFFFF0000, 0xFF00FF00};
    std::memcpy(locked.pBits, texels, 8);
    texture->UnlockRect(0);
    device->SetTexture(0, texture);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    m._31 = 0.5f;
    device->SetTransform(D3DTS_TEXTURE0, &m);
    D3DMATRIX identity{};
    identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
    device->SetTransform(D3DTS_WORLD, &identity);
    device->SetTransform(D3DTS_VIEW, &identity);
    device->SetTransform(D3DTS_PROJECTION, &identity);
    struct Vertex {
        float x, y, z;
        float u, v;
    } quad[4] = {{0.5f, 0, 0.5f, 0.25f, 0.5f},
                 {1, 0, 0.5f, 0.25f, 0.5f},
                 {0.5f, -1, 0.5f, 0.25f, 0.5f},
                 {1, -1, 0.5f, 0.25f, 0.5f}};
    device->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    for (auto& v : quad)
        v.x -= 0.5f;
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]);

    Pixels p = ReadTarget();
    EXPECT_EQ(p.At(4, 4), 0xFF000000u);
    EXPECT_EQ(p.At(12, 4), 0x81FF0000u);
    EXPECT_EQ(p.At(17, 17), 0xFF00FF00u);
    EXPECT_EQ(p.At(30, 30), 0xFF00FF00u);
    EXPECT_EQ(p.At(56, 56), 0xFF00FF00u); // u 0.25 + 0.5: the second texel
    EXPECT_EQ(p.At(40, 56), 0xFFFF0000u); // untransformed: the first
    device->SetTexture(0, nullptr);
    texture->Release();
}

TEST_F(FixedFunctionTest, ProgramsAreCachedByState) {
    Unlit();
    ScreenRect(0, 0, 8, 8, 0xFFFFFFFF);
    size_t programs = D3D9::ProgramCount(device);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    ScreenRect(0, 0, 8, 8, 0xFFFFFFFF);
    EXPECT_EQ(D3D9::ProgramCount(device), programs + 1);
    for (int i = 0; i < 10; ++i) {
        device->SetRenderState(D3DRS_ALPHATESTENABLE, i % 2);
        device->SetRenderState(D3DRS_TEXTUREFACTOR, DWORD(i));
        ScreenRect(0, 0, 8, 8, 0xFFFFFFFF);
    }
    EXPECT_EQ(D3D9::ProgramCount(device), programs + 1);
}

TEST_F(FixedFunctionTest, SpecularColourIsAddedAfterTheStages) {
    Unlit();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    struct Vertex {
        float x, y, z, rhw;
        D3DCOLOR diffuse, specular;
    } v[4] = {{0, 0, 0.5f, 1, 0xFF402010, 0x00306090},
              {8, 0, 0.5f, 1, 0xFF402010, 0x00306090},
              {0, 8, 0.5f, 1, 0xFF402010, 0x00306090},
              {8, 8, 0.5f, 1, 0xFF402010, 0x00306090}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]);
    device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    for (auto& vertex : v)
        vertex.x += 8;
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]);
    Pixels p = ReadTarget();
    EXPECT_EQ(p.At(4, 4), 0xFF402010u);
    EXPECT_EQ(p.At(12, 4), 0xFF7080A0u);
}

TEST_F(FixedFunctionTest, LightingWithoutNormalsLeavesAmbientAndEmissive) {
    Camera();
    D3DMATERIAL9 material{};
    material.Diffuse = {1, 1, 1, 1};
    material.Ambient = {0.5f, 0.5f, 0.5f, 1};
    material.Emissive = {0.1f, 0.2f, 0.3f, 0};
    device->SetMaterial(&material);
    D3DLIGHT9 light = Directional({0, 0, 1});
    device->SetLight(0, &light);
    device->LightEnable(0, TRUE);
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->SetRenderState(D3DRS_COLORVERTEX, FALSE);
    device->SetRenderState(D3DRS_AMBIENT, 0x00404040);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    struct Vertex {
        float x, y, z;
    } quad[4] = {{-10, -10, 5}, {10, -10, 5}, {-10, 10, 5}, {10, 10, 5}};
    device->SetFVF(D3DFVF_XYZ);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]);
    double g = 0x40 / 255.0;
    ExpectColour(ReadTarget().At(32, 32),
                 {0.1 + 0.5 * (g + 0.1), 0.2 + 0.5 * (g + 0.2), 0.3 + 0.5 * (g + 0.3), 1.0}, "no normal");
}

TEST_F(FixedFunctionTest, BuildingAProgramLeavesTheOneInUse) {
    Unlit();
    ScreenRect(0, 0, 8, 8, 0xFFFFFFFF);
    GLint before = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &before);
    ASSERT_NE(before, 0);
    D3D9::ProgramCache cache;
    D3D9::ProgramKey key{};
    key.stageCount = 1;
    key.stage[0].colorOp = D3DTOP_SELECTARG1;
    key.stage[0].colorArg1 = D3DTA_TFACTOR;
    key.stage[0].alphaOp = D3DTOP_SELECTARG1;
    key.stage[0].alphaArg1 = D3DTA_TFACTOR;
    EXPECT_NE(cache.Get(key), 0u);
    GLint after = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &after);
    EXPECT_EQ(after, before);
    // A stage that does not compile is refused, not linked.
    EXPECT_EQ(D3D9::LinkProgram("#version 330 core\nvoid main() { no such thing; }\n",
                                "#version 330 core\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n"),
              0u);
}

// A bump-map stage offsets the next stage's coordinates by its (du, dv) through its bump matrix, and passes
// the colour that came in on.
TEST_F(FixedFunctionTest, BumpEnvironmentMapOffsetsTheNextStage) {
    D3DCAPS9 caps{};
    device->GetDeviceCaps(&caps);
    EXPECT_TRUE(caps.TextureOpCaps & D3DTEXOPCAPS_BUMPENVMAP);
    IDirect3DTexture9* bump = nullptr;
    ASSERT_EQ(device->CreateTexture(1, 1, 1, 0, D3DFMT_V8U8, D3DPOOL_MANAGED, &bump, nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    bump->LockRect(0, &locked, nullptr, 0);
    const uint16_t duDv = 0x0040; // du = 64 / 127, dv = 0
    std::memcpy(locked.pBits, &duDv, 2);
    bump->UnlockRect(0);
    IDirect3DTexture9* environment = nullptr;
    ASSERT_EQ(device->CreateTexture(2, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &environment, nullptr),
              D3D_OK);
    environment->LockRect(0, &locked, nullptr, 0);
    const uint32_t texels[2] = {0xFFFF0000, 0xFF00FF00};
    std::memcpy(locked.pBits, texels, 8);
    environment->UnlockRect(0);
    Unlit();
    device->SetTexture(0, bump);
    device->SetTexture(1, environment);
    device->SetSamplerState(1, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(1, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_BUMPENVMAP);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_CURRENT);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    struct Vertex {
        float x, y, z, rhw;
        D3DCOLOR color;
        float t[2][2];
    };
    auto quad = [&](float left) {
        Vertex v[4] = {{left, 0, 0.5f, 1, 0xFF808080, {{0.5f, 0.5f}, {0.4f, 0.5f}}},
                       {left + 32, 0, 0.5f, 1, 0xFF808080, {{0.5f, 0.5f}, {0.4f, 0.5f}}},
                       {left, 64, 0.5f, 1, 0xFF808080, {{0.5f, 0.5f}, {0.4f, 0.5f}}},
                       {left + 32, 64, 0.5f, 1, 0xFF808080, {{0.5f, 0.5f}, {0.4f, 0.5f}}}};
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX2);
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]), D3D_OK);
    };
    quad(0); // no matrix: u 0.4, the red texel
    device->SetTextureStageState(0, D3DTSS_BUMPENVMAT00, std::bit_cast<DWORD>(0.5f));
    quad(32); // u 0.4 + 0.5 x 0.504: the green texel
    Pixels p = ReadTarget();
    ExpectColour(p.At(16, 32), {128 / 255.0, 0, 0, 1}, "no offset");
    ExpectColour(p.At(48, 32), {0, 128 / 255.0, 0, 1}, "offset by the bump matrix");
    device->SetTextureStageState(0, D3DTSS_BUMPENVMAT00, 0);
    device->SetTexture(0, nullptr);
    device->SetTexture(1, nullptr);
    bump->Release();
    environment->Release();
}

// Three coordinates through the texture matrix, then divided by the last one when projected.
TEST_F(FixedFunctionTest, ProjectedTextureCoordinatesAreDividedByTheirLastComponent) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    texture->LockRect(0, &locked, nullptr, 0);
    const uint32_t texels[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    std::memcpy(locked.pBits, texels, 16);
    texture->UnlockRect(0);
    Unlit();
    device->SetTexture(0, texture);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    D3DMATRIX identity{};
    identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
    device->SetTransform(D3DTS_WORLD, &identity);
    device->SetTransform(D3DTS_VIEW, &identity);
    device->SetTransform(D3DTS_PROJECTION, &identity);
    // The matrix doubles the third component: (0.6, 0.5, 1) becomes (0.6, 0.5, 2), which COUNT3 samples
    // at u 0.6 and, projected, at u 0.6 / 2.
    D3DMATRIX m = identity;
    m._33 = 2.0f;
    device->SetTransform(D3DTS_TEXTURE0, &m);
    struct Vertex {
        float x, y, z;
        float u, v, w;
    };
    auto quad = [&](float left, DWORD flags) {
        device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, flags);
        Vertex q[4] = {{left, 1, 0.5f, 0.6f, 0.5f, 1.0f},
                       {left + 0.5f, 1, 0.5f, 0.6f, 0.5f, 1.0f},
                       {left, -1, 0.5f, 0.6f, 0.5f, 1.0f},
                       {left + 0.5f, -1, 0.5f, 0.6f, 0.5f, 1.0f}};
        device->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0));
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof q[0]), D3D_OK);
    };
    quad(-1.0f, D3DTTFF_COUNT3);                     // u 0.6: the third texel
    quad(-0.5f, D3DTTFF_COUNT3 | D3DTTFF_PROJECTED); // u 0.3: the second
    quad(0.0f, D3DTTFF_DISABLE);                     // untransformed: the third
    Pixels p = ReadTarget();
    EXPECT_EQ(p.At(8, 32), 0xFF0000FFu);
    EXPECT_EQ(p.At(24, 32), 0xFF00FF00u);
    EXPECT_EQ(p.At(40, 32), 0xFF0000FFu);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    device->SetTexture(0, nullptr);
    texture->Release();
}

TEST_F(FixedFunctionTest, OnlyStagesThatSampleGetSamplersAndCoordinates) {
    // Stage 0 has a texture bound but passes the diffuse colour on; stage 1 samples through set 1; stage 2
    // would sample with nothing bound and reads white.
    D3D9::ProgramKey key{};
    key.color0 = 1;
    key.texcoordSize[0] = key.texcoordSize[1] = 2;
    key.stageCount = 3;
    D3D9::StageKey& unused = key.stage[0];
    unused.colorOp = unused.alphaOp = D3DTOP_SELECTARG1;
    unused.colorArg1 = unused.alphaArg1 = D3DTA_DIFFUSE;
    unused.texture = 1;
    D3D9::StageKey& sampled = key.stage[1];
    sampled.colorOp = D3DTOP_MODULATE;
    sampled.colorArg1 = D3DTA_TEXTURE;
    sampled.colorArg2 = D3DTA_CURRENT;
    sampled.alphaOp = D3DTOP_SELECTARG1;
    sampled.alphaArg1 = D3DTA_CURRENT;
    sampled.texture = 1;
    sampled.coordIndex = 1;
    key.stage[2] = sampled;
    key.stage[2].texture = 0;
    EXPECT_EQ(D3D9::SampledStages(key), 2u);

    const std::string vertex = D3D9::ProgramCache::VertexSource(key);
    const std::string fragment = D3D9::ProgramCache::FragmentSource(key);
    for (const char* absent : {"vTexcoord0", "vTexcoord2"}) {
        EXPECT_EQ(vertex.find(absent), std::string::npos) << absent;
        EXPECT_EQ(fragment.find(absent), std::string::npos) << absent;
    }
    EXPECT_EQ(fragment.find("texture0"), std::string::npos);
    EXPECT_EQ(fragment.find("texture2"), std::string::npos);
    EXPECT_NE(vertex.find("vTexcoord1 = vec4(inTexcoord1.xy"), std::string::npos);
    EXPECT_NE(fragment.find("texture(texture1, vTexcoord1.xy)"), std::string::npos);
    EXPECT_NE(fragment.find("vec4 texel2 = vec4(1.0)"), std::string::npos);
    // Paired with a pixel shader, every stage's coordinates go on.
    const std::string forShader = D3D9::ProgramCache::VertexSource(key, true);
    for (const char* present : {"vTexcoord0 =", "vTexcoord1 =", "vTexcoord2 ="})
        EXPECT_NE(forShader.find(present), std::string::npos) << present;
    D3D9::ProgramCache cache;
    EXPECT_NE(cache.Get(key), 0u);
}
