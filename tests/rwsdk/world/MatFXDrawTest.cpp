// Material effects drawn through their pipelines, read back from the frame buffer: constant textures
// against the effect's formula evaluated here, the shader paths against the multi-pass paths of a device
// without pixel shaders, the dual pass's blend pairs, and the forms each edge case picks.
#include "../DriverFixture.h"
#include "tests/support/CameraRasters.h"
#include "tests/support/Clumps.h"
#include "tests/support/DeviceCalls.h"
#include "tests/support/HiddenWindow.h"

#include "rwsdk/driver/d3d9/d3d9rendst.h"
#include "rwsdk/plugin/matfx/d3d9/effectpipesd3d9.h"
#include "rwsdk/plugin/matfx/rpmatfx.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/src/texture.h"
#include "rwsdk/world/rpworld.h"

#include <array>
#include <cstring>
#include <cmath>
#include <functional>

namespace {

using Rgb = std::array<double, 3>;

// Colours as 0..1 per channel; textures hold one colour (or a pattern) with alpha.
struct Colour {
    double r, g, b, a;
    RwUInt32 Argb() const {
        auto byte = [](double v) { return RwUInt32(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); };
        return byte(a) << 24 | byte(r) << 16 | byte(g) << 8 | byte(b);
    }
};

Rgb Of(const Colour& c) {
    return {c.r, c.g, c.b};
}

// What a quad of the effect looks like: the material's texture, the effect's textures and coefficients.
struct Effect {
    RwUInt32 kind = rpMATFXEFFECTNULL;
    std::function<RwUInt32(int, int)> base; // null: untextured
    bool baseAlpha = true;
    std::function<RwUInt32(int, int)> bump; // bump kinds
    RwReal bumpCoefficient = 0.0f;
    std::function<RwUInt32(int, int)> env; // environment kinds
    bool envAlpha = true;
    RwReal envCoefficient = 0.0f;
    std::function<RwUInt32(int, int)> second; // dual kinds
    RwUInt32 src = 5, dst = 6;
    RwMatrix* uv = nullptr; // kind 5
};

std::function<RwUInt32(int, int)> Flat(const Colour& c) {
    return [c](int, int) { return c.Argb(); };
}

class MatFXDraw : public ::testing::Test {
protected:
    static constexpr int Width = 64, Height = 48;

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TestSupport::OpenHiddenWindow("matfx", Width, Height, window, hwnd));
    }
    void TearDown() override {
        Stop();
        D3D9::SetShaderSupport(true);
        Win32::DetachSdlWindow(hwnd);
        SDL_DestroyWindow(window);
    }

    // An engine on a device with or without pixel shaders, a camera looking down +z and an empty world.
    void Start(bool shaders) {
        Stop();
        D3D9::SetShaderSupport(shaders);
        ASSERT_TRUE(RwEngineSetDriver(RwD3D9DeviceRecordGet, RwD3D9RasterPluginAttach));
        ASSERT_TRUE(RwEngineInit(nullptr, 0, 1u << 22));
        ASSERT_TRUE(RpWorldPluginAttach());
        ASSERT_TRUE(RpMatFXPluginAttach());
        RwEngineOpenParams params = {hwnd};
        ASSERT_TRUE(RwEngineOpen(&params));
        ASSERT_TRUE(RwEngineSetVideoMode(0));
        ASSERT_TRUE(RwEngineStart());
        TestSupport::PinGlDriver();
        started = true;
        camera = TestSupport::CreateCamera(Width, Height, frame, colour, depth);
        RwCameraSetFarClipPlane(camera, 100.0f);
        RwBBox box = {{100, 100, 100}, {-100, -100, -100}};
        world = RpWorldCreate(&box);
        RpWorldAddCamera(world, camera);
    }

    void Stop() {
        if (!started)
            return;
        DropQuad();
        RpWorldRemoveCamera(world, camera);
        RpWorldDestroy(world);
        TestSupport::DestroyCamera(camera, frame, colour, depth);
        RwEngineStop();
        RwEngineClose();
        RwEngineTerm();
        RwEngineSetDriver(RwNullDeviceRecordGet, RwNullDeviceAttach);
        started = false;
    }

    void DropQuad() {
        if (clump) {
            RpWorldRemoveClump(world, clump);
            RpClumpDestroy(clump);
        }
        clump = nullptr;
        atomic = nullptr;
    }

    static RwTexture* MakeTexture(int size, const std::function<RwUInt32(int, int)>& texel, bool alpha) {
        RwRaster* raster = RwRasterCreate(
            size, size, 0, RwInt32(rwRASTERTYPETEXTURE) | (alpha ? rwRASTERFORMAT8888 : rwRASTERFORMAT888));
        RwUInt8* pixels = RwRasterLock(raster, 0, rwRASTERLOCKWRITE);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const RwUInt32 v = texel(x, y) | (alpha ? 0 : 0xFF000000u);
                std::memcpy(pixels + y * raster->stride + 4 * x, &v, 4);
            }
        RwRasterUnlock(raster);
        RwTexture* texture = RwTextureCreate(raster);
        RwTextureSetFilterMode(texture, rwFILTERLINEAR);
        RwTextureSetAddressing(texture, rwTEXTUREADDRESSCLAMP);
        return texture;
    }

    // A prelit square of side 2 at z = 5 facing the camera, with texture coordinates 0..1 across it.
    RpAtomic* Quad(const Effect& e, Colour prelit, bool twoSets = false) {
        DropQuad();
        RwUInt32 flags = rpGEOMETRYPOSITIONS | rpGEOMETRYNORMALS | rpGEOMETRYPRELIT;
        if (e.base || e.bump)
            flags |= twoSets ? rpGEOMETRYTEXTURED2 : rpGEOMETRYTEXTURED;
        RpGeometry* g = RpGeometryCreate(4, 2, flags);
        RpMorphTarget* t = RpGeometryGetMorphTarget(g, 0);
        const RwV3d corners[4] = {{-1, -1, 5}, {1, -1, 5}, {1, 1, 5}, {-1, 1, 5}};
        const RwTexCoords uv[4] = {{1, 1}, {0, 1}, {0, 0}, {1, 0}};
        for (int i = 0; i < 4; ++i) {
            t->verts[i] = corners[i];
            t->normals[i] = {0, 0, -1};
            g->preLitLum[i] = {RwUInt8(std::lround(prelit.r * 255)), RwUInt8(std::lround(prelit.g * 255)),
                               RwUInt8(std::lround(prelit.b * 255)), 255};
            for (int s = 0; s < RpGeometryGetNumTexCoordSets(g); ++s)
                g->texCoords[s][i] = uv[i];
        }
        RpMaterial* m = RpMaterialCreate();
        if (e.base) {
            RwTexture* base = MakeTexture(8, e.base, e.baseAlpha);
            RpMaterialSetTexture(m, base);
            RwTextureDestroy(base);
        }
        RpMatFXMaterialSetEffects(m, e.kind);
        if (e.bump) {
            RwTexture* bump = MakeTexture(8, e.bump, false);
            EXPECT_EQ(RpMatFXMaterialSetBumpMapTexture(m, bump), m);
            RwTextureDestroy(bump);
            RpMatFXMaterialSetBumpMapCoefficient(m, e.bumpCoefficient);
        }
        if (e.env) {
            RwTexture* env = MakeTexture(4, e.env, e.envAlpha);
            RpMatFXMaterialSetEnvMapTexture(m, env);
            RwTextureDestroy(env);
            RpMatFXMaterialSetEnvMapCoefficient(m, e.envCoefficient);
        }
        if (e.second) {
            RwTexture* second = MakeTexture(8, e.second, true);
            RpMatFXMaterialSetDualTexture(m, second);
            RwTextureDestroy(second);
            RpMatFXMaterialSetDualBlendModes(m, e.src, e.dst);
        }
        if (e.uv)
            RpMatFXMaterialSetUVTransformMatrices(m, e.uv, nullptr);
        RpTriangle* tri = RpGeometryGetTriangles(g);
        RpGeometryTriangleSetVertexIndices(g, &tri[0], 0, 1, 2);
        RpGeometryTriangleSetVertexIndices(g, &tri[1], 0, 2, 3);
        RpGeometryTriangleSetMaterial(g, &tri[0], m);
        RpGeometryTriangleSetMaterial(g, &tri[1], m);
        RpMaterialDestroy(m);
        clump = TestSupport::SingleAtomicClump(g);
        atomic = TestSupport::OnlyAtomic(clump);
        RpWorldAddClump(world, clump);
        RpMatFXAtomicEnableEffects(atomic);
        return atomic;
    }

    std::vector<uint32_t> Draw() {
        RwFrameSyncDirty();
        EXPECT_TRUE(RwCameraBeginUpdate(camera));
        RwRGBA black = {0, 0, 0, 255};
        RwCameraClear(camera, &black, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        RwRenderStateSet(rwRENDERSTATEZTESTENABLE, reinterpret_cast<void*>(uintptr_t(TRUE)));
        RwRenderStateSet(rwRENDERSTATEZWRITEENABLE, reinterpret_cast<void*>(uintptr_t(TRUE)));
        RwRenderStateSet(rwRENDERSTATECULLMODE, reinterpret_cast<void*>(uintptr_t(rwCULLMODECULLNONE)));
        EXPECT_EQ(RpAtomicRender(atomic), atomic);
        RwCameraEndUpdate(camera);
        return ReadBack();
    }

    // Draws twice (the second frame reuses the instance and the validations) and returns the second's
    // pixels; the log holds the device calls of both (states only reach the device when they change) and
    // the draws of the second.
    std::vector<uint32_t> DrawLogged(std::vector<std::string>& log) {
        D3D9::SetCallLogging(RwD3D9Device, true);
        D3D9::TakeCallLog(RwD3D9Device);
        Draw();
        log = D3D9::TakeCallLog(RwD3D9Device);
        std::erase_if(log, [](const std::string& l) { return l.rfind("Draw", 0) == 0; });
        auto pixels = Draw();
        const auto second = D3D9::TakeCallLog(RwD3D9Device);
        log.insert(log.end(), second.begin(), second.end());
        D3D9::SetCallLogging(RwD3D9Device, false);
        return pixels;
    }

    static std::vector<uint32_t> ReadBack() { return TestSupport::ReadRenderTarget(); }

    static Rgb At(const std::vector<uint32_t>& p, int x, int y) {
        const uint32_t c = p[size_t(y) * Width + size_t(x)];
        return {((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0};
    }
    static Rgb Centre(const std::vector<uint32_t>& p) { return At(p, Width / 2, Height / 2); }

    static size_t Draws(const std::vector<std::string>& log) {
        return size_t(std::count_if(log.begin(), log.end(),
                                    [](const std::string& l) { return l.rfind("Draw", 0) == 0; }));
    }
    static bool Has(const std::vector<std::string>& log, const std::string& line) {
        return std::find(log.begin(), log.end(), line) != log.end();
    }

    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    bool started = false;
    RwFrame* frame = nullptr;
    RwCamera* camera = nullptr;
    RwRaster* colour = nullptr;
    RwRaster* depth = nullptr;
    RpWorld* world = nullptr;
    RpClump* clump = nullptr;
    RpAtomic* atomic = nullptr;
};

// One channel in 1/255 steps.
constexpr double Tolerance = 2.5 / 255.0;

void ExpectRgb(Rgb got, Rgb want, const std::string& what, double tolerance = Tolerance) {
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(got[i], std::clamp(want[i], 0.0, 1.0), tolerance) << what << " channel " << i;
}

Rgb operator*(Rgb a, Rgb b) {
    return {a[0] * b[0], a[1] * b[1], a[2] * b[2]};
}
Rgb operator*(Rgb a, double s) {
    return {a[0] * s, a[1] * s, a[2] * s};
}
Rgb operator+(Rgb a, Rgb b) {
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}

TEST_F(MatFXDraw, ConstantTexturesMatchEachEffectsFormulaWithAndWithoutShaders) {
    const Colour prelit = {0.8, 0.7, 0.9, 1};
    const Colour base = {0.6, 0.5, 0.3, 1};
    const Colour bump = {0.2, 0.4, 0.3, 1}; // the bumped texture's alpha becomes 0.4
    const Colour env = {0.5, 0.9, 0.2, 0.6};
    const Rgb v0 = Of(prelit);
    struct Case {
        const char* name;
        Effect effect;
        Rgb want;
    };
    // With constant textures a bump shifts nothing: base x (1 - h) + base x h, times the diffuse colour.
    const Rgb bumped = Of(base) * v0;
    const Rgb envTerm = Of(env) * env.a * 0.5;
    std::vector<Case> cases;
    {
        Effect e;
        e.kind = rpMATFXEFFECTBUMPMAP;
        e.base = Flat(base);
        e.baseAlpha = false;
        e.bump = Flat(bump);
        e.bumpCoefficient = 1.5f;
        cases.push_back({"bump", e, bumped});
    }
    {
        Effect e;
        e.kind = rpMATFXEFFECTENVMAP;
        e.base = Flat(base);
        e.baseAlpha = false;
        e.env = Flat(env);
        e.envCoefficient = 0.5f;
        cases.push_back({"environment over base", e, Of(base) * v0 + envTerm});
    }
    {
        Effect e;
        e.kind = rpMATFXEFFECTENVMAP;
        e.env = Flat(env);
        e.envCoefficient = 0.5f;
        cases.push_back({"environment alone", e, v0 + envTerm});
    }
    {
        Effect e;
        e.kind = rpMATFXEFFECTBUMPENVMAP;
        e.base = Flat(base);
        e.baseAlpha = false;
        e.bump = Flat(bump);
        e.bumpCoefficient = 1.5f;
        e.env = Flat(env);
        e.envCoefficient = 0.5f;
        cases.push_back({"bump and environment", e, bumped + envTerm});
    }
    for (bool shaders : {true, false}) {
        Start(shaders);
        EXPECT_EQ(RpMatFXGetD3D9Caps().pixelShaders, shaders ? TRUE : FALSE);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (shaders ? ", shaders" : ", no shaders"));
            Quad(c.effect, prelit);
            std::vector<std::string> log;
            const auto pixels = DrawLogged(log);
            ExpectRgb(Centre(pixels), c.want, c.name);
            const bool bumps =
                c.effect.kind == rpMATFXEFFECTBUMPMAP || c.effect.kind == rpMATFXEFFECTBUMPENVMAP;
            if (!shaders && c.effect.kind == rpMATFXEFFECTBUMPENVMAP) {
                EXPECT_EQ(Draws(log), 3u) << "two blended bump passes and an additive environment pass";
            } else if (!shaders && bumps) {
                EXPECT_EQ(Draws(log), 2u) << "two blended bump passes";
            } else if (shaders) {
                EXPECT_EQ(Draws(log), 1u) << "one pass through a pixel shader";
            }
        }
    }
}

TEST_F(MatFXDraw, ShaderAndMultiPassPathsAgreeOnPatternedBumps) {
    // A checked base with a bump ramp and a patterned environment: the shifted coordinates differ across the
    // quad, and both paths must sample and combine them alike.
    Effect e;
    e.kind = rpMATFXEFFECTBUMPENVMAP;
    e.base = [](int x, int y) { return ((x + y) & 1) ? 0xFF9060C0u : 0xFF40A050u; };
    e.baseAlpha = false;
    e.bump = [](int x, int y) { return 0xFF000000u | RwUInt32(x * 30 + y * 4) * 0x010101u; };
    e.bumpCoefficient = 4.0f;
    e.env = [](int x, int y) { return RwUInt32(0x40 + 0x30 * y) << 24 | RwUInt32(0x30 * x) << 16 | 0x8020u; };
    e.envCoefficient = 0.7f;
    std::vector<uint32_t> images[2];
    for (bool shaders : {true, false}) {
        Start(shaders);
        Quad(e, {0.9, 0.8, 0.7, 1});
        images[shaders ? 1 : 0] = Draw();
        // The bumped texture's alpha is the brightest channel of the bump texture.
        RwTexture* bumped = RpMatFXMaterialFindEffect(RpGeometryGetMaterial(RpAtomicGetGeometry(atomic), 0),
                                                      rpMATFXTYPEBUMPMAP)
                                ->data.bumpMap.bumpedTexture;
        ASSERT_NE(bumped, nullptr);
        const RwUInt8* texels = RwRasterLock(bumped->raster, 0, rwRASTERLOCKREAD);
        EXPECT_EQ(texels[3 * bumped->raster->stride + 4 * 5 + 3], 5 * 30 + 3 * 4);
        RwRasterUnlock(bumped->raster);
    }
    // Inside the quad (it spans about 13 pixels each way around the centre), away from its edges.
    double worst = 0.0, lowest = 1.0, highest = 0.0;
    size_t differing = 0, compared = 0;
    for (int y = Height / 2 - 5; y <= Height / 2 + 5; ++y)
        for (int x = Width / 2 - 5; x <= Width / 2 + 5; ++x) {
            const Rgb a = At(images[0], x, y), b = At(images[1], x, y);
            lowest = std::min(lowest, a[1]);
            highest = std::max(highest, a[1]);
            for (int i = 0; i < 3; ++i) {
                worst = std::max(worst, std::fabs(a[i] - b[i]));
                differing += std::fabs(a[i] - b[i]) > Tolerance ? 1 : 0;
                ++compared;
            }
        }
    EXPECT_LE(worst, 3.5 / 255.0) << "largest difference between the paths";
    EXPECT_GT(highest - lowest, 16 / 255.0) << "the pattern and the shifts show across the quad";
    EXPECT_LE(differing, compared / 50) << "channels beyond 2.5 / 255";
}

// The second texture blended over the first pass by the frame buffer's equation.
Rgb BlendFormula(RwUInt32 src, RwUInt32 dst, Rgb first, Rgb second, double alpha) {
    auto factor = [&](RwUInt32 f) -> Rgb {
        switch (f) {
        case 1:
            return {0, 0, 0};
        case 3:
            return second;
        case 5:
            return {alpha, alpha, alpha};
        case 6:
            return {1 - alpha, 1 - alpha, 1 - alpha};
        case 9:
            return first;
        default:
            return {1, 1, 1};
        }
    };
    return second * factor(src) + first * factor(dst);
}

TEST_F(MatFXDraw, DualPassBlendPairsMatchTheirBlendFormula) {
    const Colour base = {0.6, 0.4, 0.2, 1};
    const Colour second = {0.3, 0.8, 0.5, 0.25};
    // The pairs with a single-pass form, and one that takes two passes.
    const std::vector<std::pair<RwUInt32, RwUInt32>> pairs = {{9, 1}, {1, 3}, {5, 6}, {9, 3},
                                                              {2, 2}, {1, 5}, {2, 6}};
    Start(true);
    for (bool textured : {true, false}) {
        for (const auto& [src, dst] : pairs) {
            SCOPED_TRACE(testing::Message()
                         << "blend " << src << ", " << dst << (textured ? "" : ", untextured"));
            Effect e;
            e.kind = rpMATFXEFFECTDUAL;
            if (textured) {
                e.base = Flat(base);
                e.baseAlpha = false;
            }
            e.second = Flat(second);
            e.src = src;
            e.dst = dst;
            Quad(e, {1, 1, 1, 1});
            std::vector<std::string> log;
            const auto pixels = DrawLogged(log);
            // White vertices stand for the base of an untextured mesh. There the second texture is on stage
            // 0, and like any texture with alpha there it is blended with the frame (black) by the alpha that
            // the modulating form leaves: its own.
            const Rgb first = textured ? Of(base) : Rgb{1, 1, 1};
            const bool modulates = (src == 9 && dst == 1) || (src == 1 && dst == 3);
            const double coverage = !textured && modulates ? second.a : 1.0;
            ExpectRgb(Centre(pixels), BlendFormula(src, dst, first, Of(second), second.a) * coverage,
                      "dual pass");
            EXPECT_EQ(Draws(log), src == 2 && dst == 6 ? 2u : 1u);
        }
    }
}

TEST_F(MatFXDraw, EdgeCasesPickTheirForms) {
    Start(true);
    // Kind 5 (first, while stage 0 has never had a texture transform): a UV matrix flagged identity sets
    // none; any other moves the texture.
    RwMatrix* shift = RwMatrixCreate();
    Effect moved;
    moved.kind = rpMATFXEFFECTUVTRANSFORM;
    moved.base = [](int x, int) { return x < 4 ? 0xFF000000u : 0xFFFFFFFFu; };
    moved.uv = shift;
    std::vector<std::string> log;
    Quad(moved, {1, 1, 1, 1});
    const auto still = DrawLogged(log);
    EXPECT_FALSE(Has(log, DeviceCalls::StageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2)))
        << "an identity matrix sets no transform";
    EXPECT_FALSE(Has(log, DeviceCalls::Transform(D3DTS_TEXTURE0)));
    const RwV3d half = {0.5f, 0.0f, 0.0f};
    RwMatrixTranslate(shift, &half, rwCOMBINEREPLACE);
    Quad(moved, {1, 1, 1, 1});
    const auto shifted = DrawLogged(log);
    EXPECT_TRUE(Has(log, DeviceCalls::StageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2)))
        << "D3DTTFF_COUNT2";
    EXPECT_TRUE(Has(log, DeviceCalls::Transform(D3DTS_TEXTURE0)));
    // The texture's dark half moves by half the quad: a point left of the centre turns from dark to light.
    EXPECT_EQ(At(still, Width / 2 - 3, Height / 2), (Rgb{0, 0, 0}));
    EXPECT_EQ(At(shifted, Width / 2 - 3, Height / 2), (Rgb{1, 1, 1}));
    RwMatrixDestroy(shift);

    // An environment coefficient that rounds to 0 draws the mesh without the effect.
    Effect faint;
    faint.kind = rpMATFXEFFECTENVMAP;
    faint.base = Flat({0.5, 0.5, 0.5, 1});
    faint.baseAlpha = false;
    faint.env = Flat({1, 1, 1, 1});
    faint.envCoefficient = 0.001f;
    Quad(faint, {1, 1, 1, 1});
    ExpectRgb(Centre(DrawLogged(log)), {0.5, 0.5, 0.5}, "coefficient rounding to 0");
    EXPECT_EQ(Draws(log), 1u);

    // Coefficient 1 on an opaque, untextured mesh with an environment without alpha: one stage adding.
    Effect full;
    full.kind = rpMATFXEFFECTENVMAP;
    full.env = Flat({0.25, 0.5, 0.125, 1});
    full.envAlpha = false;
    full.envCoefficient = 1.0f;
    Quad(full, {0.5, 0.25, 0.5, 1});
    ExpectRgb(Centre(DrawLogged(log)), {0.75, 0.75, 0.625}, "one stage adding");
    EXPECT_EQ(Draws(log), 1u);
    EXPECT_TRUE(Has(log, DeviceCalls::StageState(0, D3DTSS_COLOROP, D3DTOP_ADD))) << "stage 0 COLOROP ADD";
    // A coefficient above 1 counts as 1 (its byte is clamped, not wrapped).
    full.envCoefficient = 3.0f;
    Quad(full, {0.5, 0.25, 0.5, 1});
    ExpectRgb(Centre(DrawLogged(log)), {0.75, 0.75, 0.625}, "coefficient above 1");
}

} // namespace

namespace {

// Bumps are lit from the camera's frame: from its position as a point light, or, when a directional light
// sits on that frame, from the light's direction (the same for every vertex, so a light straight along the
// view shifts nothing on a quad facing it).
TEST_F(MatFXDraw, BumpsFollowTheLightOnTheCamerasFrame) {
    Effect e;
    e.kind = rpMATFXEFFECTBUMPMAP;
    e.base = [](int x, int y) { return ((x + y) & 1) ? 0xFFE0A060u : 0xFF206090u; };
    e.baseAlpha = false;
    e.bump = [](int x, int) { return 0xFF000000u | RwUInt32(x * 36) * 0x010101u; };
    for (bool shaders : {true, false}) {
        SCOPED_TRACE(shaders ? "shaders" : "no shaders");
        Start(shaders);
        e.bumpCoefficient = 0.0f;
        Quad(e, {1, 1, 1, 1});
        const auto flat = Draw();
        e.bumpCoefficient = 6.0f;
        Quad(e, {1, 1, 1, 1});
        const auto fromPoint = Draw();
        RpLight* light = RpLightCreate(rpLIGHTDIRECTIONAL);
        RpLightSetFrame(light, frame); // the camera's frame: its at axis is the view direction
        const auto fromDirection = Draw();
        RpLightSetFrame(light, nullptr);
        RpLightDestroy(light);
        size_t moved = 0;
        for (int y = Height / 2 - 5; y <= Height / 2 + 5; ++y)
            for (int x = Width / 2 - 5; x <= Width / 2 + 5; ++x) {
                ExpectRgb(At(fromDirection, x, y), At(flat, x, y), "a light along the view shifts nothing");
                moved += At(fromPoint, x, y) != At(flat, x, y) ? 1 : 0;
            }
        EXPECT_GT(moved, 10u) << "a point light at the camera shifts the bumps off the centre";
    }
}

} // namespace

namespace {

// A bump record that holds only the bump texture builds the bumped texture from the material's texture,
// named by interleaving both names and kept in the current dictionary, where a second read finds it.
TEST_F(MatFXDraw, ABumpRecordWithOnlyTheBumpTextureBuildsOrFindsTheBumpedTexture) {
    Start(true);
    RwTextureDictionary* dict = RwTexDictionaryCreate();
    RwTexDictionarySetCurrent(dict);
    RwTexture* base = MakeTexture(
        8, [](int x, int) { return 0xFF000000u | RwUInt32(x * 20) << 16 | 0x3070u; }, false);
    RwTextureSetName(base, "rock");
    RwTexture* bump = MakeTexture(
        4, [](int x, int y) { return 0xFF000000u | RwUInt32(x * 60) << 8 | RwUInt32(y * 20); }, false);
    RwTextureSetName(bump, "dents");
    RwTexDictionaryAddTexture(dict, base);
    RwTexDictionaryAddTexture(dict, bump);
    RpMaterial* m = RpMaterialCreate();
    RpMaterialSetTexture(m, base);
    RpMatFXMaterialSetEffects(m, rpMATFXEFFECTBUMPMAP);
    RpMatFXMaterialFindEffect(m, rpMATFXTYPEBUMPMAP)->data.bumpMap.bumpTexture = RwTextureAddRef(bump);
    RpMatFXMaterialSetBumpMapCoefficient(m, 0.5f);
    RwStream* out = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMWRITE, nullptr);
    ASSERT_NE(RpMaterialStreamWrite(m, out), nullptr);
    RwMemory memory = {nullptr, 0};
    RwStreamClose(out, &memory);
    std::vector<RwUInt8> bytes(memory.start, memory.start + memory.length);
    RwFree(memory.start);
    RpMaterialDestroy(m);
    auto read = [&] {
        std::vector<RwUInt8> copy = bytes;
        RwMemory in = {copy.data(), RwUInt32(copy.size())};
        RwStream* s = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &in);
        RpMaterial* material =
            RwStreamFindChunk(s, rwID_MATERIAL, nullptr, nullptr) ? RpMaterialStreamRead(s) : nullptr;
        RwStreamClose(s, nullptr);
        return material;
    };
    RpMaterial* first = read();
    ASSERT_NE(first, nullptr);
    const RpMatFXBumpMapData& b = RpMatFXMaterialFindEffect(first, rpMATFXTYPEBUMPMAP)->data.bumpMap;
    ASSERT_NE(b.bumpedTexture, nullptr);
    EXPECT_STREQ(b.bumpedTexture->name, "rdoecnkts");
    EXPECT_EQ(b.bumpTexture, bump);
    EXPECT_FLOAT_EQ(b.coefficient, -0.5f);
    EXPECT_FLOAT_EQ(b.invBumpWidth, 1.0f / 8.0f);
    EXPECT_EQ(RwTexDictionaryFindNamedTexture(dict, "rdoecnkts"), b.bumpedTexture);
    // Its colour is the material texture's, its alpha the brightest channel of the (resampled) bump.
    RwRaster* raster = b.bumpedTexture->raster;
    ASSERT_EQ(RwRasterGetWidth(raster), 8);
    const RwUInt8* texels = RwRasterLock(raster, 0, rwRASTERLOCKREAD);
    RwUInt32 texel;
    std::memcpy(&texel, texels + 2 * raster->stride + 4 * 6, 4);
    RwRasterUnlock(raster);
    EXPECT_EQ(texel & 0xFFFFFF, RwUInt32(6 * 20) << 16 | 0x3070u);
    EXPECT_GT(texel >> 24, 0x80u) << "the bump's green grows along x";
    RpMaterial* second = read();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(RpMatFXMaterialFindEffect(second, rpMATFXTYPEBUMPMAP)->data.bumpMap.bumpedTexture,
              b.bumpedTexture)
        << "found by its name";
    RpMaterialDestroy(first);
    RpMaterialDestroy(second);
    RwTexDictionarySetCurrent(nullptr);
    RwTexDictionaryDestroy(dict);
}

} // namespace
