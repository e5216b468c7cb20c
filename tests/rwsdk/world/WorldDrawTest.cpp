// Atomics drawn through the Direct3D 9 world pipelines, read back from the frame buffer and checked
// against Direct3D 9's vertex lighting equations evaluated here.
#include "../DriverFixture.h"
#include "tests/support/Clumps.h"

#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/driver/d3d9/d3d9rendst.h"
#include "rwsdk/driver/d3d9/d3d9rwrendst.h"
#include "rwsdk/src/plcore/resources.h"
#include "rwsdk/world/pipe/p2/d3d9/d3d9instance.h"
#include "rwsdk/world/pipe/p2/d3d9/d3d9lights.h"
#include "rwsdk/world/pipe/p2/d3d9/d3d9native.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/world/rpworld.h"

#include <array>
#include <cmath>
#include <bit>
#include <cstring>
#include <functional>

namespace {

using Vec3 = std::array<double, 3>;

Vec3 Add(Vec3 a, Vec3 b) {
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}
Vec3 Scale(Vec3 a, double s) {
    return {a[0] * s, a[1] * s, a[2] * s};
}
Vec3 Mul(Vec3 a, Vec3 b) {
    return {a[0] * b[0], a[1] * b[1], a[2] * b[2]};
}
double Dot(Vec3 a, Vec3 b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Lights as the engine describes them, in world space.
struct TestLight {
    RwInt32 type;
    Vec3 colour;
    Vec3 position;  // point lights
    Vec3 direction; // directional and spot: the direction the light travels
    RwReal radius;
    RwReal cone = 0.0f; // spots: the cone angle in radians
};

// One vertex lit as Direct3D 9 does, with the material that the driver builds from the surface properties:
// emissive + ambient x (global ambient + light ambients) + diffuse x sum(light diffuse x N.L x attenuation),
// clamped. Returns 0..255 per channel.
Vec3 LitVertex(const RwSurfaceProperties& props, RwRGBA c, bool modulate, bool prelit, RwRGBA vertexColour,
               const std::vector<TestLight>& lights, Vec3 position, Vec3 normal, bool normals) {
    Vec3 ambientLight = {0, 0, 0};
    for (const TestLight& l : lights)
        if (l.type == rpLIGHTAMBIENT)
            ambientLight = Add(ambientLight, l.colour);
    const bool white = c.red == 255 && c.green == 255 && c.blue == 255 && c.alpha == 255;
    const Vec3 colour = {c.red / 255.0, c.green / 255.0, c.blue / 255.0};
    const Vec3 vertex = {vertexColour.red / 255.0, vertexColour.green / 255.0, vertexColour.blue / 255.0};
    Vec3 emissive = {0, 0, 0}, ambient, diffuse, globalAmbient = {1, 1, 1};
    if (!modulate || white) {
        diffuse = {props.diffuse, props.diffuse, props.diffuse};
        ambient = Scale(ambientLight, props.ambient);
        if (prelit)
            emissive = vertex;
    } else {
        diffuse = Scale(colour, props.diffuse);
        const Vec3 product = Scale(Mul(colour, ambientLight), props.ambient);
        if (!prelit) {
            ambient = product;
        } else {
            emissive = product;
            ambient = vertex;
            globalAmbient = colour;
        }
    }
    Vec3 diffuseSum = {0, 0, 0};
    for (const TestLight& l : lights) {
        if (l.type == rpLIGHTDIRECTIONAL && normals) {
            diffuseSum = Add(diffuseSum, Scale(l.colour, std::max(0.0, -Dot(normal, l.direction))));
        } else if ((l.type == rpLIGHTPOINT || l.type == rpLIGHTSPOT || l.type == rpLIGHTSPOTSOFT) &&
                   normals) {
            const Vec3 d = Add(l.position, Scale(position, -1));
            const double dist = std::sqrt(Dot(d, d));
            if (dist > l.radius)
                continue;
            // The engine's attenuation: 1, 0 / range, 5 / range^2.
            double att = 1.0 / (1.0 + 0.0 * dist / l.radius + 5.0 * dist * dist / (l.radius * l.radius));
            if (l.type != rpLIGHTPOINT) {
                // Direct3D's spot factor with the engine's cone: Phi = 2 x cone, Theta = Phi for a hard
                // spot and 0 for a soft one, falloff 1.
                const double phi = 2.0 * l.cone, theta = l.type == rpLIGHTSPOT ? phi : 0.0;
                const double rho = Dot(Scale(d, -1 / dist), l.direction);
                const double cosTheta = std::cos(theta / 2), cosPhi = std::cos(phi / 2);
                att *= rho > cosTheta ? 1.0 : rho <= cosPhi ? 0.0 : (rho - cosPhi) / (cosTheta - cosPhi);
            }
            diffuseSum =
                Add(diffuseSum, Scale(l.colour, att * std::max(0.0, Dot(normal, Scale(d, 1 / dist)))));
        }
    }
    Vec3 out = Add(Add(emissive, Mul(ambient, globalAmbient)), Mul(diffuse, diffuseSum));
    for (double& v : out)
        v = std::clamp(v, 0.0, 1.0) * 255.0;
    return out;
}

class WorldDraw : public DriverTest {
protected:
    RwUInt32 ResourceArena() const override { return 1u << 22; } // room for instance data
    void AttachPlugins() override { ASSERT_TRUE(RpWorldPluginAttach()); }
    void SetUp() override {
        DriverTest::SetUp();
        if (HasFatalFailure())
            return;
        RwCameraSetFarClipPlane(camera, 100.0f);
        RwBBox box = {{100, 100, 100}, {-100, -100, -100}};
        world = RpWorldCreate(&box);
        RpWorldAddCamera(world, camera);
    }
    void TearDown() override {
        TearDownScene();
        RpWorldRemoveCamera(world, camera);
        RpWorldDestroy(world);
        DriverTest::TearDown();
    }
    // Removes and destroys the lights and the clump.
    void TearDownScene() {
        for (RpLight* light : lights) {
            RpWorldRemoveLight(world, light);
            RwFrame* f = RpLightGetFrame(light);
            RpLightSetFrame(light, nullptr);
            RpLightDestroy(light);
            if (f)
                RwFrameDestroy(f);
        }
        lights.clear();
        if (clump) {
            RpWorldRemoveClump(world, clump);
            RpClumpDestroy(clump);
        }
        clump = nullptr;
    }

    // A square of side 2 at z = 5 facing the camera, its normals towards it; optionally prelit.
    RpAtomic* Square(RwUInt32 flags, RwRGBA materialColour, RwRGBA prelitColour = {0, 0, 0, 255}) {
        RpGeometry* g = RpGeometryCreate(4, 2, rpGEOMETRYPOSITIONS | flags);
        RpMorphTarget* t = RpGeometryGetMorphTarget(g, 0);
        const RwV3d corners[4] = {{-1, -1, 5}, {1, -1, 5}, {1, 1, 5}, {-1, 1, 5}};
        RpMaterial* m = RpMaterialCreate();
        RpMaterialSetColor(m, &materialColour);
        RwSurfaceProperties props = {0.6f, 0.0f, 0.8f};
        RpMaterialSetSurfaceProperties(m, &props);
        for (int i = 0; i < 4; ++i) {
            t->verts[i] = corners[i];
            if (t->normals)
                t->normals[i] = {0, 0, -1};
            if (g->preLitLum)
                g->preLitLum[i] = prelitColour;
        }
        RpTriangle* tri = RpGeometryGetTriangles(g);
        RpGeometryTriangleSetVertexIndices(g, &tri[0], 0, 1, 2);
        RpGeometryTriangleSetVertexIndices(g, &tri[1], 0, 2, 3);
        RpGeometryTriangleSetMaterial(g, &tri[0], m);
        RpGeometryTriangleSetMaterial(g, &tri[1], m);
        RpMaterialDestroy(m);
        clump = TestSupport::SingleAtomicClump(g);
        RpAtomic* atomic = TestSupport::OnlyAtomic(clump);
        RpWorldAddClump(world, clump);
        return atomic;
    }

    RpLight* AddLight(const TestLight& l) {
        RpLight* light = RpLightCreate(l.type);
        const RwRGBAReal c = {RwReal(l.colour[0]), RwReal(l.colour[1]), RwReal(l.colour[2]), 1.0f};
        RpLightSetColor(light, &c);
        RwFrame* f = RwFrameCreate();
        RwMatrix* m = RwFrameGetMatrix(f);
        if (l.type == rpLIGHTDIRECTIONAL || l.type == rpLIGHTSPOT || l.type == rpLIGHTSPOTSOFT) {
            // The at axis is the direction the light travels; right and up complete the frame.
            const double length = std::sqrt(Dot(l.direction, l.direction));
            const RwV3d at = {RwReal(l.direction[0] / length), RwReal(l.direction[1] / length),
                              RwReal(l.direction[2] / length)};
            RwV3d up = std::fabs(at.y) < 0.9f ? RwV3d{0, 1, 0} : RwV3d{1, 0, 0};
            RwV3d right = {up.y * at.z - up.z * at.y, up.z * at.x - up.x * at.z, up.x * at.y - up.y * at.x};
            const RwReal rl = std::sqrt(right.x * right.x + right.y * right.y + right.z * right.z);
            right = {right.x / rl, right.y / rl, right.z / rl};
            up = {at.y * right.z - at.z * right.y, at.z * right.x - at.x * right.z,
                  at.x * right.y - at.y * right.x};
            m->right = right;
            m->up = up;
            m->at = at;
            m->pos = {RwReal(l.position[0]), RwReal(l.position[1]), RwReal(l.position[2])};
            m->flags = 0;
            RpLightSetConeAngle(light, l.cone);
        } else {
            const RwV3d pos = {RwReal(l.position[0]), RwReal(l.position[1]), RwReal(l.position[2])};
            RwMatrixTranslate(m, &pos, rwCOMBINEREPLACE);
        }
        RwFrameUpdateObjects(f);
        RpLightSetFrame(light, f);
        RpLightSetRadius(light, l.radius);
        RpWorldAddLight(world, light);
        lights.push_back(light);
        return light;
    }

    std::vector<uint32_t> Draw(RpAtomic* atomic) {
        RwFrameSyncDirty();
        EXPECT_TRUE(RwCameraBeginUpdate(camera));
        RwRGBA black = {0, 0, 0, 255};
        RwCameraClear(camera, &black, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        RwRenderStateSet(rwRENDERSTATEZTESTENABLE, reinterpret_cast<void*>(uintptr_t(TRUE)));
        RwRenderStateSet(rwRENDERSTATECULLMODE, reinterpret_cast<void*>(uintptr_t(rwCULLMODECULLNONE)));
        EXPECT_EQ(RpAtomicRender(atomic), atomic);
        RwCameraEndUpdate(camera);
        unsigned w = 0, h = 0;
        return ReadBackBuffer(w, h);
    }

    static Vec3 Centre(const std::vector<uint32_t>& p) {
        const uint32_t c = p[size_t(Height / 2) * Width + Width / 2];
        return {double((c >> 16) & 0xFF), double((c >> 8) & 0xFF), double(c & 0xFF)};
    }

    RpWorld* world = nullptr;
    RpClump* clump = nullptr;
    std::vector<RpLight*> lights;
};

void ExpectColour(Vec3 got, Vec3 want, const char* what) {
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(got[i], want[i], 2.5) << what << " channel " << i;
}

struct LightingCase {
    const char* name;
    RwUInt32 flags;
    RwRGBA material;
    RwRGBA prelit;
    std::vector<TestLight> lights;
};

TEST_F(WorldDraw, FlatFacesMatchTheLightingEquations) {
    const TestLight sky = {rpLIGHTAMBIENT, {0.2, 0.25, 0.3}, {}, {}, 0};
    const TestLight sun = {rpLIGHTDIRECTIONAL, {0.7, 0.6, 0.5}, {}, {0.0, -0.6, 0.8}, 0};
    const TestLight lamp = {rpLIGHTPOINT, {0.9, 0.8, 0.3}, {0.3, 0.2, 3.0}, {}, 6.0f};
    const RwUInt32 lit = rpGEOMETRYNORMALS | rpGEOMETRYLIGHT;
    const std::vector<LightingCase> cases = {
        {"ambient", lit, {255, 255, 255, 255}, {}, {sky}},
        {"directional", lit, {255, 255, 255, 255}, {}, {sky, sun}},
        {"point", lit, {255, 255, 255, 255}, {}, {lamp}},
        {"modulated material colour",
         lit | rpGEOMETRYMODULATEMATERIALCOLOR,
         {200, 120, 60, 255},
         {},
         {sky, sun}},
        {"prelit", lit | rpGEOMETRYPRELIT, {255, 255, 255, 255}, {40, 60, 20, 255}, {sky, sun}},
        {"prelit and modulated",
         lit | rpGEOMETRYPRELIT | rpGEOMETRYMODULATEMATERIALCOLOR,
         {200, 120, 60, 255},
         {90, 60, 30, 255},
         {sky, sun, lamp}},
        {"no normals: directional ignored", rpGEOMETRYLIGHT, {255, 255, 255, 255}, {}, {sky, sun}},
    };
    for (const LightingCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (const TestLight& l : c.lights)
            AddLight(l);
        RpAtomic* atomic = Square(c.flags, c.material, c.prelit);
        const auto first = Draw(atomic);
        // Again: the second frame reuses the instance and the cached states and must look the same.
        const auto pixels = Draw(atomic);
        const RwSurfaceProperties props = {0.6f, 0.0f, 0.8f};
        const bool modulate = c.flags & rpGEOMETRYMODULATEMATERIALCOLOR;
        const bool prelit = c.flags & rpGEOMETRYPRELIT;
        const bool normals = c.flags & rpGEOMETRYNORMALS;
        // The centre lies on the shared diagonal from (-1, -1) to (1, 1): the mean of its two vertices.
        const Vec3 a = LitVertex(props, c.material, modulate, prelit, c.prelit, c.lights, {-1, -1, 5},
                                 {0, 0, -1}, normals);
        const Vec3 b = LitVertex(props, c.material, modulate, prelit, c.prelit, c.lights, {1, 1, 5},
                                 {0, 0, -1}, normals);
        ExpectColour(Centre(first), Scale(Add(a, b), 0.5), c.name);
        ExpectColour(Centre(pixels), Scale(Add(a, b), 0.5), c.name);
        TearDownScene();
    }
}

} // namespace

namespace {

TEST_F(WorldDraw, SpotLightsMatchTheirConeAndFalloff) {
    const RwUInt32 lit = rpGEOMETRYNORMALS | rpGEOMETRYLIGHT;
    const TestLight sky = {rpLIGHTAMBIENT, {0.1, 0.1, 0.1}, {}, {}, 0};
    // From the origin along +z the square's corners lie 0.276 rad off the axis.
    const std::vector<LightingCase> cases = {
        {"hard spot, corners inside",
         lit,
         {255, 255, 255, 255},
         {},
         {sky, {rpLIGHTSPOT, {0.9, 0.8, 0.6}, {0, 0, 0}, {0, 0, 1}, 20.0f, 0.3f}}},
        {"hard spot, corners outside",
         lit,
         {255, 255, 255, 255},
         {},
         {sky, {rpLIGHTSPOT, {0.9, 0.8, 0.6}, {0, 0, 0}, {0, 0, 1}, 20.0f, 0.25f}}},
        {"soft spot, in its falloff",
         lit,
         {255, 255, 255, 255},
         {},
         {sky, {rpLIGHTSPOTSOFT, {0.9, 0.8, 0.6}, {0, 0, 0}, {0, 0, 1}, 20.0f, 0.5f}}},
        {"soft spot, tilted",
         lit,
         {255, 255, 255, 255},
         {},
         {sky, {rpLIGHTSPOTSOFT, {1.0, 1.0, 1.0}, {0.5, 0, 1}, {-0.1, 0.05, 0.99}, 20.0f, 0.6f}}},
    };
    for (const LightingCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (const TestLight& l : c.lights)
            AddLight(l);
        RpAtomic* atomic = Square(c.flags, c.material, c.prelit);
        const auto pixels = Draw(atomic);
        const RwSurfaceProperties props = {0.6f, 0.0f, 0.8f};
        // Direction vectors as the light's frame holds them: unit length.
        std::vector<TestLight> lights = c.lights;
        for (TestLight& l : lights)
            if (l.type != rpLIGHTAMBIENT)
                l.direction = Scale(l.direction, 1 / std::sqrt(Dot(l.direction, l.direction)));
        const Vec3 a =
            LitVertex(props, c.material, false, false, c.prelit, lights, {-1, -1, 5}, {0, 0, -1}, true);
        const Vec3 b =
            LitVertex(props, c.material, false, false, c.prelit, lights, {1, 1, 5}, {0, 0, -1}, true);
        ExpectColour(Centre(pixels), Scale(Add(a, b), 0.5), c.name);
        TearDownScene();
    }
}

TEST_F(WorldDraw, UnlitWithoutColoursIsABlackSilhouetteAndAWorldWithoutLightsTurnsLightingOff) {
    AddLight({rpLIGHTAMBIENT, {0.5, 0.5, 0.5}, {}, {}, 0});
    RpAtomic* atomic = Square(rpGEOMETRYNORMALS, {200, 200, 200, 255});
    const auto pixels = Draw(atomic);
    EXPECT_EQ(Centre(pixels), (Vec3{0, 0, 0}));
    EXPECT_EQ(RwD3D9GetSentRenderState(D3DRS_LIGHTING), 0u);
    // Drawn against a grey clear colour, the square still shows as black.
    TearDownScene();
    atomic = Square(rpGEOMETRYNORMALS | rpGEOMETRYLIGHT, {200, 200, 200, 255});
    RwFrameSyncDirty();
    ASSERT_TRUE(RwCameraBeginUpdate(camera));
    RwRGBA grey = {128, 128, 128, 255};
    RwCameraClear(camera, &grey, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
    RpAtomicRender(atomic);
    RwCameraEndUpdate(camera);
    EXPECT_EQ(RwD3D9GetSentRenderState(D3DRS_LIGHTING), 0u) << "lit geometry, but no light in the world";
    EXPECT_EQ(RwD3D9GetSentRenderState(D3DRS_AMBIENT), 0u);
    unsigned w, h;
    EXPECT_EQ(Centre(ReadBackBuffer(w, h)), (Vec3{0, 0, 0}));
}

TEST_F(WorldDraw, RepeatedFramesCompileNoNewPrograms) {
    AddLight({rpLIGHTAMBIENT, {0.2, 0.2, 0.2}, {}, {}, 0});
    AddLight({rpLIGHTDIRECTIONAL, {0.7, 0.6, 0.5}, {}, {0.0, -0.6, 0.8}, 0});
    AddLight({rpLIGHTPOINT, {0.9, 0.8, 0.3}, {0.3, 0.2, 3.0}, {}, 6.0f});
    RpAtomic* atomic =
        Square(rpGEOMETRYNORMALS | rpGEOMETRYLIGHT | rpGEOMETRYMODULATEMATERIALCOLOR, {200, 120, 60, 255});
    Draw(atomic);
    const size_t programs = D3D9::ProgramCount(RwD3D9Device);
    RwResourceEntry* entry = RpAtomicGetGeometry(atomic)->repEntry;
    ASSERT_NE(entry, nullptr);
    for (int i = 0; i < 3; ++i)
        Draw(atomic);
    EXPECT_EQ(D3D9::ProgramCount(RwD3D9Device), programs);
    EXPECT_EQ(RpAtomicGetGeometry(atomic)->repEntry, entry) << "the instance data is reused";
}

RpLight* LocalLight(RwInt32 type, RwReal cone, RwReal radius) {
    RpLight* light = RpLightCreate(type);
    RwFrame* f = RwFrameCreate();
    const RwV3d yAxis = {0, 1, 0}, pos = {1, 2, 3};
    RwMatrixRotate(RwFrameGetMatrix(f), &yAxis, 90.0f, rwCOMBINEREPLACE);
    RwMatrixTranslate(RwFrameGetMatrix(f), &pos, rwCOMBINEPOSTCONCAT);
    RwFrameUpdateObjects(f);
    RpLightSetFrame(light, f);
    RpLightSetRadius(light, radius);
    RpLightSetConeAngle(light, cone);
    return light;
}

void DestroyLocalLight(RpLight* light) {
    RwFrame* f = RpLightGetFrame(light);
    RpLightSetFrame(light, nullptr);
    RpLightDestroy(light);
    RwFrameDestroy(f);
}

TEST_F(WorldDraw, LightRecordsForPointSpotAndSoftSpot) {
    const float pi = 3.1415927f;
    struct Case {
        RwInt32 type;
        RwReal cone;
        D3DLIGHTTYPE d3dType;
    };
    for (const Case& c :
         {Case{rpLIGHTPOINT, 0.0f, D3DLIGHT_POINT}, Case{rpLIGHTSPOT, 0.5f, D3DLIGHT_SPOT},
          Case{rpLIGHTSPOT, pi / 2, D3DLIGHT_SPOT}, Case{rpLIGHTSPOTSOFT, 0.5f, D3DLIGHT_SPOT}}) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " cone " << c.cone);
        RpLight* light = LocalLight(c.type, c.cone, 4.0f);
        ASSERT_TRUE(RpD3D9LightsSetLocal(light));
        const RwInt32 index = RpD3D9LightGetData(light)->index;
        ASSERT_GE(index, 0);
        D3DLIGHT9 r{};
        RwD3D9GetLight(index, &r);
        const RwMatrix* m = RwFrameGetWorldMatrix(RpLightGetFrame(light));
        EXPECT_EQ(r.Type, c.d3dType);
        EXPECT_FLOAT_EQ(r.Position.x, 1.0f);
        EXPECT_FLOAT_EQ(r.Position.y, 2.0f);
        EXPECT_FLOAT_EQ(r.Position.z, 3.0f);
        EXPECT_FLOAT_EQ(r.Range, 4.0f);
        EXPECT_FLOAT_EQ(r.Attenuation0, 1.0f);
        EXPECT_FLOAT_EQ(r.Attenuation1, 0.0f);
        EXPECT_FLOAT_EQ(r.Attenuation2, 5.0f / 16.0f);
        EXPECT_FLOAT_EQ(r.Falloff, 1.0f);
        const float phi = 2.0f * RpLightGetConeAngle(light);
        if (c.type == rpLIGHTPOINT) {
            EXPECT_EQ(r.Phi, 0.0f);
            EXPECT_EQ(r.Theta, 0.0f);
            EXPECT_EQ(r.Direction.x, 0.0f);
        } else {
            EXPECT_FLOAT_EQ(r.Direction.x, m->at.x);
            EXPECT_FLOAT_EQ(r.Direction.z, m->at.z);
            EXPECT_FLOAT_EQ(r.Phi, phi);
            if (c.type == rpLIGHTSPOTSOFT)
                EXPECT_EQ(r.Theta, 0.0f);
            else if (c.cone == pi / 2) {
                EXPECT_FLOAT_EQ(r.Phi, pi) << "a 90 degree cone";
                EXPECT_FLOAT_EQ(r.Theta, r.Phi - 0.001f);
            } else
                EXPECT_EQ(r.Theta, r.Phi);
        }
        DestroyLocalLight(light);
    }
    // Radius 0 or a light that is not local: nothing is set.
    RpLight* dark = LocalLight(rpLIGHTPOINT, 0.0f, 0.0f);
    EXPECT_FALSE(RpD3D9LightsSetLocal(dark));
    DestroyLocalLight(dark);
    RpLight* sun = LocalLight(rpLIGHTDIRECTIONAL, 0.0f, 1.0f);
    EXPECT_FALSE(RpD3D9LightsSetLocal(sun));
    DestroyLocalLight(sun);
}

TEST_F(WorldDraw, LightIndexPoolReusesAndResets) {
    RpD3D9LightsEnable(FALSE);
    RpLight* a = LocalLight(rpLIGHTPOINT, 0, 1);
    RpLight* b = LocalLight(rpLIGHTPOINT, 0, 1);
    RpLight* c = LocalLight(rpLIGHTPOINT, 0, 1);
    for (RpLight* l : {a, b, c})
        ASSERT_TRUE(RpD3D9LightsSetLocal(l));
    EXPECT_EQ(RpD3D9LightGetData(a)->index, 0);
    EXPECT_EQ(RpD3D9LightGetData(b)->index, 1);
    EXPECT_EQ(RpD3D9LightGetData(c)->index, 2);
    // A light that never got an index gives none back (it would otherwise hand out -1).
    DestroyLocalLight(LocalLight(rpLIGHTPOINT, 0, 1));
    EXPECT_EQ(_rpD3D9LightsGetNumFree(), 0);
    DestroyLocalLight(b);
    EXPECT_EQ(_rpD3D9LightsGetNumFree(), 1);
    RpLight* d = LocalLight(rpLIGHTPOINT, 0, 1);
    RpD3D9LightsSetLocal(d);
    EXPECT_EQ(RpD3D9LightGetData(d)->index, 1) << "the freed index comes back";
    // A copy starts without an index, so that the two never share a slot.
    RpLight* copy = LocalLight(rpLIGHTPOINT, 0, 1);
    RwPluginRegistryCopyObject(RpLightGetRegistry(), copy, d);
    EXPECT_EQ(RpD3D9LightGetData(copy)->index, -1);
    RpD3D9LightsSetLocal(copy);
    EXPECT_EQ(RpD3D9LightGetData(copy)->index, 3);
    DestroyLocalLight(copy);
    DestroyLocalLight(d);
    DestroyLocalLight(c);
    EXPECT_EQ(_rpD3D9LightsGetNumFree(), 3);
    // The last holder of an index empties the pool: the next light starts at 0 again.
    DestroyLocalLight(a);
    EXPECT_EQ(_rpD3D9LightsGetNumFree(), 0);
    EXPECT_EQ(_rpD3D9LightsGetNextIndex(), 0);
    RpLight* e = LocalLight(rpLIGHTPOINT, 0, 1);
    RpD3D9LightsSetLocal(e);
    EXPECT_EQ(RpD3D9LightGetData(e)->index, 0);
    DestroyLocalLight(e);
    RpD3D9LightsEnable(FALSE);
}

} // namespace

namespace {

std::vector<RwUInt8> WriteNative(const RpGeometry* geometry) {
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMWRITE, nullptr);
    EXPECT_NE(_rpD3D9NativeDataGeometryWrite(stream, geometry), nullptr);
    RwMemory memory = {nullptr, 0};
    RwStreamClose(stream, &memory);
    std::vector<RwUInt8> bytes(memory.start, memory.start + memory.length);
    RwFree(memory.start);
    return bytes;
}

bool ReadNative(std::vector<RwUInt8> bytes, RpGeometry* geometry) {
    RwMemory memory = {bytes.data(), RwUInt32(bytes.size())};
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
    const bool ok = _rpD3D9NativeDataGeometryRead(stream, RwInt32(bytes.size()), geometry) != nullptr;
    RwStreamClose(stream, nullptr);
    return ok;
}

void PutWord(std::vector<RwUInt8>& b, size_t at, RwUInt32 v) {
    for (int i = 0; i < 4; ++i)
        b[at + size_t(i)] = RwUInt8(v >> (8 * i));
}

TEST_F(WorldDraw, NativeDataIsWrittenAndReadBackAndBadSizesAreRefused) {
    AddLight({rpLIGHTAMBIENT, {0.3, 0.3, 0.3}, {}, {}, 0});
    AddLight({rpLIGHTDIRECTIONAL, {0.7, 0.6, 0.5}, {}, {0.0, -0.6, 0.8}, 0});
    RpAtomic* atomic =
        Square(rpGEOMETRYNORMALS | rpGEOMETRYLIGHT | rpGEOMETRYMODULATEMATERIALCOLOR, {200, 120, 60, 255});
    const Vec3 before = Centre(Draw(atomic));
    RpGeometry* geometry = RpAtomicGetGeometry(atomic);
    geometry->flags |= rpGEOMETRYNATIVE;
    const std::vector<RwUInt8> bytes = WriteNative(geometry);
    ASSERT_EQ(RwInt32(bytes.size()), _rpD3D9NativeDataGeometryGetSize(geometry));
    const RpD3D9InstanceData original = *RpD3D9ResourceEntryGetInstanceData(geometry->repEntry);
    ASSERT_TRUE(ReadNative(bytes, geometry));
    const RpD3D9InstanceData* read = RpD3D9ResourceEntryGetInstanceData(geometry->repEntry);
    EXPECT_EQ(read->numMeshes, original.numMeshes);
    EXPECT_EQ(read->totalNumIndex, original.totalNumIndex);
    EXPECT_EQ(read->totalNumVertex, original.totalNumVertex);
    EXPECT_EQ(read->primType, original.primType);
    EXPECT_EQ(RpD3D9InstanceDataGetMeshes(const_cast<RpD3D9InstanceData*>(read))[0].material,
              RpGeometryGetMaterial(geometry, 0));
    EXPECT_EQ(WriteNative(geometry), bytes) << "written again, the same bytes";
    EXPECT_EQ(Centre(Draw(atomic)), before) << "drawn from the data read back";

    // Each size is checked before anything is made; a refused read leaves no instance data.
    const size_t platform = 12, headerSize = 16, numMeshes = 24;
    const size_t elementCount = 12 + 8 + rpNATIVEHEADERBYTES + rpNATIVEMESHBYTES * read->numMeshes;
    const size_t totalIndex = 40, totalVertex = 44, meshRecords = 12 + 8 + rpNATIVEHEADERBYTES;
    const RwUInt32 numElements = RwUInt32(bytes[elementCount]) | RwUInt32(bytes[elementCount + 1]) << 8;
    // The first stream record's stride, behind the elements and the indices.
    const size_t stride = elementCount + 4 + 8 * numElements + 2 * read->totalNumIndex + 8;
    struct Bad {
        const char* what;
        std::function<void(std::vector<RwUInt8>&)> spoil;
    };
    const std::vector<Bad> bad = {
        {"platform 8", [&](auto& b) { PutWord(b, platform, 8); }},
        {"header size off by 4",
         [&](auto& b) {
             PutWord(b, headerSize, rpNATIVEHEADERBYTES + rpNATIVEMESHBYTES * read->numMeshes + 4);
         }},
        {"mesh count beyond the header", [&](auto& b) { PutWord(b, numMeshes, 1000); }},
        {"66 elements", [&](auto& b) { PutWord(b, elementCount, 66); }},
        {"no end element", [&](auto& b) { PutWord(b, elementCount, 1); }},
        {"one byte short",
         [&](auto& b) {
             b.pop_back();
             PutWord(b, 4, RwUInt32(b.size() - 12));
         }},
        {"chunk shorter than its vertices", [&](auto& b) { PutWord(b, 4, RwUInt32(b.size() - 12 - 40)); }},
        {"material beyond the list", [&](auto& b) { PutWord(b, meshRecords + 8, 1); }},
        {"mesh past the indices", [&](auto& b) { PutWord(b, meshRecords + 24, read->totalNumIndex); }},
        {"mesh past the vertices", [&](auto& b) { PutWord(b, meshRecords + 20, read->totalNumVertex + 1); }},
        {"more vertices than 16-bit indices reach", [&](auto& b) { PutWord(b, totalVertex, 65537); }},
        {"more indices than the chunk holds", [&](auto& b) { PutWord(b, totalIndex, 0x40000000); }},
        {"stride 0", [&](auto& b) { PutWord(b, stride, 0); }},
        {"stride 300", [&](auto& b) { PutWord(b, stride, 300); }},
    };
    for (const Bad& c : bad) {
        SCOPED_TRACE(c.what);
        std::vector<RwUInt8> spoilt = bytes;
        c.spoil(spoilt);
        EXPECT_FALSE(ReadNative(spoilt, geometry));
        EXPECT_EQ(geometry->repEntry, nullptr);
    }
    ASSERT_TRUE(ReadNative(bytes, geometry));
}

} // namespace

namespace {

std::vector<RwUInt16> IndicesOf(RpD3D9InstanceData* h) {
    std::vector<RwUInt16> out(h->totalNumIndex);
    void* data = nullptr;
    auto* ib = static_cast<IDirect3DIndexBuffer9*>(h->indexBuffer);
    if (ib && SUCCEEDED(ib->Lock(0, 0, &data, D3DLOCK_READONLY))) {
        std::memcpy(out.data(), data, 2 * out.size());
        ib->Unlock();
    }
    return out;
}

std::vector<D3DVERTEXELEMENT9> DeclarationOf(RpD3D9InstanceData* h) {
    std::vector<D3DVERTEXELEMENT9> e(rpNATIVEMAXELEMENTS);
    UINT n = UINT(e.size());
    static_cast<IDirect3DVertexDeclaration9*>(h->vertexDeclaration)->GetDeclaration(e.data(), &n);
    e.resize(n);
    return e;
}

TEST_F(WorldDraw, InstancingRebasesIndicesAndSplitsStreamsByUsage) {
    // Two materials: the opaque one on the square's first triangle, a translucent one on the second.
    RpAtomic* atomic = Square(rpGEOMETRYNORMALS | rpGEOMETRYLIGHT | rpGEOMETRYPRELIT, {255, 255, 255, 255});
    RpGeometry* g = RpAtomicGetGeometry(atomic);
    RpMaterial* glass = RpMaterialCreate();
    const RwRGBA clear = {100, 150, 200, 128};
    RpMaterialSetColor(glass, &clear);
    RpGeometryLock(g, rpGEOMETRYLOCKPOLYGONS);
    RpGeometryTriangleSetMaterial(g, &RpGeometryGetTriangles(g)[0], glass);
    RpGeometryTriangleSetVertexIndices(g, &RpGeometryGetTriangles(g)[1], 3, 2, 1);
    RpGeometryUnlock(g);
    RpMaterialDestroy(glass);
    AddLight({rpLIGHTAMBIENT, {0.5, 0.5, 0.5}, {}, {}, 0});
    Draw(atomic);
    RpD3D9InstanceData* h = RpD3D9ResourceEntryGetInstanceData(g->repEntry);
    ASSERT_EQ(h->numMeshes, 2u);
    RpD3D9MeshInstance* meshes = RpD3D9InstanceDataGetMeshes(h);
    EXPECT_EQ(meshes[0].material->color.alpha, 255) << "opaque first";
    EXPECT_EQ(meshes[1].material->color.alpha, 128) << "translucent after";
    // One stream, managed; each mesh's indices re-based on its smallest and its base vertex index taking
    // the stream offset.
    EXPECT_TRUE(h->vertexStream[0].managed);
    EXPECT_EQ(h->vertexStream[1].vertexBuffer, nullptr);
    const RwUInt32 first = h->vertexStream[0].offset / h->vertexStream[0].stride;
    EXPECT_EQ(meshes[0].minVert, 1u); // triangle (3, 2, 1)
    EXPECT_EQ(meshes[0].numVertices, 3u);
    EXPECT_EQ(meshes[0].baseIndex, RwInt32(first + 1));
    EXPECT_EQ(meshes[1].minVert, 0u); // triangle (0, 1, 2)
    EXPECT_EQ(meshes[1].baseIndex, RwInt32(first));
    const std::vector<RwUInt16> indices = IndicesOf(h);
    ASSERT_EQ(indices.size(), 6u);
    EXPECT_EQ(std::vector<RwUInt16>(indices.begin() + meshes[0].startIndex,
                                    indices.begin() + meshes[0].startIndex + 3),
              (std::vector<RwUInt16>{2, 1, 0}));
    EXPECT_EQ(h->primType, RwUInt32(D3DPT_TRIANGLELIST));
    EXPECT_EQ(meshes[0].numPrimitives, 1u);
    // Position, normal (packed where the device takes DEC3N) and colour in one stream.
    const bool dec3n = RwD3D9GetCaps()->DeclTypes & D3DDTCAPS_DEC3N;
    const RwUInt32 normalBytes = dec3n ? 4 : 12;
    auto elements = DeclarationOf(h);
    ASSERT_EQ(elements.size(), 4u);
    EXPECT_EQ(elements[1].Type, dec3n ? D3DDECLTYPE_DEC3N : D3DDECLTYPE_FLOAT3);
    EXPECT_EQ(elements[2].Usage, D3DDECLUSAGE_COLOR);
    EXPECT_EQ(h->vertexStream[0].stride, 12 + normalBytes + 4);
    EXPECT_FALSE(meshes[0].vertexAlpha) << "prelit alpha all 255";

    // Positions and normals asked for per frame: a dynamic stream 0 of those two, the rest in stream 1.
    RpD3D9GeometrySetUsageFlags(g, 0x006);
    RwResourcesFreeResourceEntry(g->repEntry);
    Draw(atomic);
    h = RpD3D9ResourceEntryGetInstanceData(g->repEntry);
    EXPECT_FALSE(h->vertexStream[0].managed);
    EXPECT_EQ(h->vertexStream[0].stride, 12 + normalBytes);
    EXPECT_EQ(h->vertexStream[1].stride, 4u);
    EXPECT_TRUE(h->useOffsets);
    elements = DeclarationOf(h);
    ASSERT_EQ(elements.size(), 4u);
    EXPECT_EQ(elements[0].Stream, 0);
    EXPECT_EQ(elements[1].Stream, 0);
    EXPECT_EQ(elements[2].Stream, 1);
    EXPECT_EQ(RpD3D9InstanceDataGetMeshes(h)[0].baseIndex, 1) << "two streams: the smallest index alone";
    // Still drawn the same.
    const Vec3 twoStreams = Centre(Draw(atomic));
    RpD3D9GeometrySetUsageFlags(g, 0);
    RwResourcesFreeResourceEntry(g->repEntry);
    EXPECT_EQ(Centre(Draw(atomic)), twoStreams);
}

} // namespace

namespace {

TEST_F(WorldDraw, SectorsAreDrawnInWorldSpaceWithTheWorldsLayout) {
    // The world's one leaf gets the square as its own static geometry, prelit, with two texture sets.
    auto* leaf = reinterpret_cast<RpWorldSector*>(world->rootSector);
    RpMaterial* material = RpMaterialCreate();
    RpMaterialListAppendMaterial(&world->matList, material);
    RpMaterialDestroy(material);
    RpWorldSetFlags(world, rpWORLDPRELIT | rpWORLDNORMALS | rpWORLDTEXTURED2);
    leaf->numVertices = 4;
    leaf->numTriangles = 2;
    leaf->vertices = static_cast<RwV3d*>(RwMalloc(sizeof(RwV3d) * 4, 0));
    leaf->normals = static_cast<RpVertexNormal*>(RwMalloc(sizeof(RpVertexNormal) * 4, 0));
    leaf->preLitLum = static_cast<RwRGBA*>(RwMalloc(sizeof(RwRGBA) * 4, 0));
    leaf->triangles = static_cast<RpTriangle*>(RwMalloc(sizeof(RpTriangle) * 2, 0));
    for (int set = 0; set < 2; ++set)
        leaf->texCoords[set] = static_cast<RwTexCoords*>(RwCalloc(4, sizeof(RwTexCoords), 0));
    const RwV3d corners[4] = {{-1, -1, 5}, {1, -1, 5}, {1, 1, 5}, {-1, 1, 5}};
    for (int i = 0; i < 4; ++i) {
        leaf->vertices[i] = corners[i];
        leaf->normals[i] = {0, 0, -127, 0};
        leaf->preLitLum[i] = {60, 120, 180, 255};
    }
    leaf->triangles[0] = {{0, 1, 2}, 0};
    leaf->triangles[1] = {{0, 2, 3}, 0};
    RpMeshHeaderDestroy(leaf->mesh);
    leaf->mesh = nullptr;
    ASSERT_EQ(RpWorldBuildSectorMeshes(world), world);
    ASSERT_EQ(leaf->mesh->numMeshes, 1);

    RwFrameSyncDirty();
    ASSERT_TRUE(RwCameraBeginUpdate(camera));
    RwRGBA black = {0, 0, 0, 255};
    RwCameraClear(camera, &black, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
    RwRenderStateSet(rwRENDERSTATECULLMODE, reinterpret_cast<void*>(uintptr_t(rwCULLMODECULLNONE)));
    EXPECT_EQ(RpWorldSectorRender(leaf), leaf);
    RwCameraEndUpdate(camera);
    unsigned w, h;
    // Unlit: the prelit colours themselves.
    ExpectColour(Centre(ReadBackBuffer(w, h)), {60, 120, 180}, "prelit sector");
    EXPECT_EQ(RwD3D9GetSentRenderState(D3DRS_LIGHTING), 0u);
    EXPECT_EQ(RwD3D9GetSentRenderState(D3DRS_NORMALIZENORMALS), 0u);
    ASSERT_NE(leaf->repEntry, nullptr);
    RpD3D9InstanceData* data = RpD3D9ResourceEntryGetInstanceData(leaf->repEntry);
    const auto elements = DeclarationOf(data);
    int texcoords = 0;
    for (const D3DVERTEXELEMENT9& e : elements)
        if (e.Usage == D3DDECLUSAGE_TEXCOORD && e.Stream == 0)
            texcoords |= 1 << e.UsageIndex;
    EXPECT_EQ(texcoords, 3) << "TEXCOORD 0 and 1 for a world with two sets";
    D3DMATRIX world{};
    RwD3D9GetTransform(D3DTS_WORLD, &world);
    EXPECT_EQ(world._11, 1.0f);
    EXPECT_EQ(world._41, 0.0f);
    EXPECT_EQ(world._22, 1.0f);
}

} // namespace

namespace {

TEST_F(WorldDraw, FogFollowsItsFormula) {
    // A prelit square drawn unlit at eye depth 5 (corners 5.196 away), fogged towards grey.
    RpAtomic* atomic = Square(rpGEOMETRYPRELIT, {255, 255, 255, 255}, {200, 40, 100, 255});
    const Vec3 colour = {200, 40, 100}, fog = {128, 128, 128};
    const double start = 2.0, end = 9.0, density = 0.15;
    struct Case {
        const char* name;
        DWORD vertexMode, tableMode;
        bool range;
        double distance;
    };
    const double corner = std::sqrt(27.0);
    for (const Case& c : {Case{"vertex linear", D3DFOG_LINEAR, D3DFOG_NONE, false, 5.0},
                          Case{"vertex exp", D3DFOG_EXP, D3DFOG_NONE, false, 5.0},
                          Case{"vertex exp2", D3DFOG_EXP2, D3DFOG_NONE, false, 5.0},
                          Case{"vertex linear, range", D3DFOG_LINEAR, D3DFOG_NONE, true, corner},
                          Case{"table linear", D3DFOG_NONE, D3DFOG_LINEAR, false, 5.0},
                          Case{"table exp", D3DFOG_NONE, D3DFOG_EXP, false, 5.0},
                          Case{"table exp2", D3DFOG_NONE, D3DFOG_EXP2, false, 5.0}}) {
        SCOPED_TRACE(c.name);
        RwFrameSyncDirty();
        ASSERT_TRUE(RwCameraBeginUpdate(camera));
        RwRGBA black = {0, 0, 0, 255};
        RwCameraClear(camera, &black, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        RwRenderStateSet(rwRENDERSTATECULLMODE, reinterpret_cast<void*>(uintptr_t(rwCULLMODECULLNONE)));
        RwD3D9SetRenderState(D3DRS_FOGENABLE, TRUE);
        RwD3D9SetRenderState(D3DRS_FOGCOLOR, 0xFF808080);
        RwD3D9SetRenderState(D3DRS_FOGVERTEXMODE, c.vertexMode);
        RwD3D9SetRenderState(D3DRS_FOGTABLEMODE, c.tableMode);
        RwD3D9SetRenderState(D3DRS_RANGEFOGENABLE, c.range);
        RwD3D9SetRenderState(D3DRS_FOGSTART, std::bit_cast<RwUInt32>(float(start)));
        RwD3D9SetRenderState(D3DRS_FOGEND, std::bit_cast<RwUInt32>(float(end)));
        RwD3D9SetRenderState(D3DRS_FOGDENSITY, std::bit_cast<RwUInt32>(float(density)));
        EXPECT_EQ(RpAtomicRender(atomic), atomic);
        RwD3D9SetRenderState(D3DRS_FOGENABLE, FALSE);
        RwD3D9RenderStateFlushCache();
        RwCameraEndUpdate(camera);
        const DWORD mode = c.tableMode != D3DFOG_NONE ? c.tableMode : c.vertexMode;
        const double d = c.distance;
        const double f = mode == D3DFOG_LINEAR ? (end - d) / (end - start)
                         : mode == D3DFOG_EXP  ? std::exp(-density * d)
                                               : std::exp(-(density * d) * (density * d));
        unsigned w, h;
        ExpectColour(Centre(ReadBackBuffer(w, h)), Add(Scale(colour, f), Scale(fog, 1 - f)), c.name);
    }
}

} // namespace

namespace {

// Replaces a geometry's meshes by strips (or lists) of the given indices, all of its first material, as a
// stream may bring them; the instance data made from the old ones is dropped.
void SetMeshes(RpGeometry* g, RwUInt32 flags, const std::vector<std::vector<RwUInt16>>& meshes) {
    RwUInt32 total = 0;
    for (const auto& m : meshes)
        total += RwUInt32(m.size());
    RpMeshHeader* header = _rpMeshHeaderCreate(RwUInt32(meshes.size()), total);
    ASSERT_NE(header, nullptr);
    header->flags = flags;
    header->totalIndicesInMesh = total;
    RpMesh* mesh = RpMeshHeaderGetMeshes(header);
    auto* next = reinterpret_cast<RxVertexIndex*>(mesh + meshes.size());
    for (const auto& m : meshes) {
        mesh->indices = next;
        mesh->numIndices = RwUInt32(m.size());
        mesh->material = RpGeometryGetMaterial(g, 0);
        std::copy(m.begin(), m.end(), next);
        next += m.size();
        ++mesh;
    }
    RpMeshHeaderDestroy(g->mesh);
    g->mesh = header;
    if (g->repEntry)
        RwResourcesFreeResourceEntry(g->repEntry);
}

TEST_F(WorldDraw, StripsDrawAsStripsAndConvertWithinTheirObjectsTriangles) {
    AddLight({rpLIGHTAMBIENT, {1, 1, 1}, {}, {}, 0});
    RpAtomic* atomic = Square(rpGEOMETRYLIGHT, {200, 120, 60, 255});
    RpGeometry* g = RpAtomicGetGeometry(atomic);
    const std::vector<uint32_t> list = Draw(atomic);
    ASSERT_EQ(RpD3D9ResourceEntryGetInstanceData(g->repEntry)->primType, RwUInt32(D3DPT_TRIANGLELIST));

    // The square as one strip 1 0 2 3: two triangles, drawn as a strip, the same pixels as the list.
    SetMeshes(g, rpMESHHEADERTRISTRIP, {{1, 0, 2, 3}});
    EXPECT_EQ(Draw(atomic), list);
    RpD3D9InstanceData* h = RpD3D9ResourceEntryGetInstanceData(g->repEntry);
    EXPECT_EQ(h->primType, RwUInt32(D3DPT_TRIANGLESTRIP));
    EXPECT_EQ(h->totalNumIndex, 4u);
    EXPECT_EQ(RpD3D9InstanceDataGetMeshes(h)[0].numPrimitives, 2u);
    EXPECT_EQ(IndicesOf(h), (std::vector<RwUInt16>{1, 0, 2, 3}));

    // Strips longer than three indices a triangle: converted to a list, degenerate joins left out, odd
    // triangles turned, and the list sorted. Two meshes re-based on their own smallest index.
    SetMeshes(g, rpMESHHEADERTRISTRIP, {{1, 0, 2, 2, 2, 2, 2}, {2, 3, 3, 0}});
    Draw(atomic);
    h = RpD3D9ResourceEntryGetInstanceData(g->repEntry);
    EXPECT_EQ(h->primType, RwUInt32(D3DPT_TRIANGLELIST));
    EXPECT_EQ(h->totalNumIndex, 6u) << "3 x the geometry's two triangles";
    RpD3D9MeshInstance* meshes = RpD3D9InstanceDataGetMeshes(h);
    EXPECT_EQ(meshes[0].numIndex, 3u);
    EXPECT_EQ(meshes[0].numPrimitives, 1u);
    EXPECT_EQ(meshes[1].minVert, 0u);
    EXPECT_EQ(meshes[1].numPrimitives, 0u) << "(2 3 3) and (3 3 0) are degenerate";
    const std::vector<RwUInt16> indices = IndicesOf(h);
    ASSERT_EQ(indices.size(), 6u);
    EXPECT_EQ(std::vector<RwUInt16>(indices.begin(), indices.begin() + 3), (std::vector<RwUInt16>{1, 0, 2}));

    // Damaged strips that make more triangles than the geometry has stop at the end of the list made for
    // it, rather than writing past it; the triangles that fit are drawn.
    SetMeshes(g, rpMESHHEADERTRISTRIP, {{0, 1, 2, 3, 0, 1, 2, 3}, {0, 1, 2, 3, 0, 1}});
    Draw(atomic);
    h = RpD3D9ResourceEntryGetInstanceData(g->repEntry);
    EXPECT_EQ(h->totalNumIndex, 6u);
    meshes = RpD3D9InstanceDataGetMeshes(h);
    EXPECT_EQ(meshes[0].numIndex + meshes[1].numIndex, 6u);
    EXPECT_EQ(meshes[1].numIndex, 0u);
    EXPECT_EQ(meshes[0].numPrimitives, 2u);
}

TEST_F(WorldDraw, StripsOverAGeometryWithoutTrianglesDrawNothing) {
    AddLight({rpLIGHTAMBIENT, {1, 1, 1}, {}, {}, 0});
    RpAtomic* atomic = Square(rpGEOMETRYLIGHT, {200, 120, 60, 255});
    RpGeometry* g = RpAtomicGetGeometry(atomic);
    g->numTriangles = 0; // as a stream may say, beside its strips
    SetMeshes(g, rpMESHHEADERTRISTRIP, {{0, 1, 2, 3}});
    EXPECT_EQ(Centre(Draw(atomic)), (Vec3{0, 0, 0}));
    ASSERT_NE(g->repEntry, nullptr);
    RpD3D9InstanceData* h = RpD3D9ResourceEntryGetInstanceData(g->repEntry);
    EXPECT_EQ(h->indexBuffer, nullptr);
    EXPECT_EQ(RpD3D9InstanceDataGetMeshes(h)[0].numPrimitives, 0u);
    g->numTriangles = 2;
}

} // namespace

namespace {

// Native data of strips, of two vertex streams and of a morphing geometry reads back to the same drawing.
TEST_F(WorldDraw, NativeDataOfStripsAndTwoStreamsDrawsTheSame) {
    AddLight({rpLIGHTAMBIENT, {0.3, 0.3, 0.3}, {}, {}, 0});
    AddLight({rpLIGHTDIRECTIONAL, {0.7, 0.6, 0.5}, {}, {0.0, -0.6, 0.8}, 0});
    RpAtomic* atomic = Square(rpGEOMETRYNORMALS | rpGEOMETRYLIGHT | rpGEOMETRYPRELIT, {255, 255, 255, 255},
                              {40, 80, 120, 255});
    RpGeometry* g = RpAtomicGetGeometry(atomic);
    struct Case {
        const char* what;
        RwUInt32 usage;
        bool strips;
    };
    for (const Case& c : {Case{"strip", 0, true}, Case{"two streams", 0x006, false}}) {
        SCOPED_TRACE(c.what);
        RpD3D9GeometrySetUsageFlags(g, c.usage);
        if (c.strips)
            SetMeshes(g, rpMESHHEADERTRISTRIP, {{1, 0, 2, 3}});
        else if (g->repEntry)
            RwResourcesFreeResourceEntry(g->repEntry);
        const std::vector<uint32_t> drawn = Draw(atomic);
        RpD3D9InstanceData* h = RpD3D9ResourceEntryGetInstanceData(g->repEntry);
        const RwUInt32 primType = h->primType;
        const bool twoStreams = h->vertexStream[1].vertexBuffer != nullptr;
        EXPECT_EQ(twoStreams, c.usage != 0);
        g->flags |= rpGEOMETRYNATIVE;
        const std::vector<RwUInt8> bytes = WriteNative(g);
        ASSERT_TRUE(ReadNative(bytes, g));
        h = RpD3D9ResourceEntryGetInstanceData(g->repEntry);
        EXPECT_EQ(h->primType, primType);
        EXPECT_EQ(h->vertexStream[1].vertexBuffer != nullptr, twoStreams);
        // One morph target: the vertices go to the shared static buffers.
        EXPECT_TRUE(h->vertexStream[0].managed);
        EXPECT_EQ(RpD3D9InstanceDataGetMeshes(h)[0].baseIndex,
                  twoStreams ? 0 : RwInt32(h->vertexStream[0].offset / h->vertexStream[0].stride));
        // Strips write back the same bytes; two streams come back in the static buffers, flagged so.
        if (!twoStreams) {
            EXPECT_EQ(WriteNative(g), bytes);
        }
        EXPECT_EQ(Draw(atomic), drawn);
        g->flags &= ~rpGEOMETRYNATIVE;
    }

    // A morphing geometry's vertices go to a dynamic buffer of their own.
    g->flags |= rpGEOMETRYNATIVE;
    const std::vector<RwUInt8> bytes = WriteNative(g);
    ASSERT_EQ(RpGeometryAddMorphTarget(g), 1);
    ASSERT_TRUE(ReadNative(bytes, g));
    RpD3D9InstanceData* h = RpD3D9ResourceEntryGetInstanceData(g->repEntry);
    EXPECT_FALSE(h->vertexStream[0].managed);
    EXPECT_EQ(h->vertexStream[0].offset, 0u);
    RwResourcesFreeResourceEntry(g->repEntry);
    g->flags &= ~rpGEOMETRYNATIVE;
    // Without the native flag the extension is empty.
    EXPECT_EQ(_rpD3D9NativeDataGeometryGetSize(g), 0);
    RpD3D9GeometrySetUsageFlags(g, 0);
}

} // namespace

namespace {

// A sector's vertex layout follows the world's flags alone; a world flagged for instancing only builds the
// instance data and draws nothing; a sector without vertices is passed over.
TEST_F(WorldDraw, SectorLayoutFollowsTheWorldsFlagsAndInstancingOnlyDrawsNothing) {
    auto* leaf = reinterpret_cast<RpWorldSector*>(world->rootSector);
    RpMaterial* material = RpMaterialCreate();
    RpMaterialListAppendMaterial(&world->matList, material);
    RpMaterialDestroy(material);
    const auto render = [&] {
        RwFrameSyncDirty();
        EXPECT_TRUE(RwCameraBeginUpdate(camera));
        RwRGBA black = {0, 0, 0, 255};
        RwCameraClear(camera, &black, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        RwRenderStateSet(rwRENDERSTATECULLMODE, reinterpret_cast<void*>(uintptr_t(rwCULLMODECULLNONE)));
        EXPECT_EQ(RpWorldSectorRender(leaf), leaf);
        RwCameraEndUpdate(camera);
        unsigned w, h;
        return Centre(ReadBackBuffer(w, h));
    };
    // Without vertices: nothing made, nothing drawn.
    RpWorldSetFlags(world, rpWORLDPRELIT);
    EXPECT_EQ(render(), (Vec3{0, 0, 0}));
    EXPECT_EQ(leaf->repEntry, nullptr);

    leaf->numVertices = 4;
    leaf->numTriangles = 2;
    leaf->vertices = static_cast<RwV3d*>(RwMalloc(sizeof(RwV3d) * 4, 0));
    leaf->normals = static_cast<RpVertexNormal*>(RwCalloc(4, sizeof(RpVertexNormal), 0));
    leaf->preLitLum = static_cast<RwRGBA*>(RwMalloc(sizeof(RwRGBA) * 4, 0));
    leaf->triangles = static_cast<RpTriangle*>(RwMalloc(sizeof(RpTriangle) * 2, 0));
    for (int set = 0; set < 2; ++set)
        leaf->texCoords[set] = static_cast<RwTexCoords*>(RwCalloc(4, sizeof(RwTexCoords), 0));
    const RwV3d corners[4] = {{-1, -1, 5}, {1, -1, 5}, {1, 1, 5}, {-1, 1, 5}};
    for (int i = 0; i < 4; ++i) {
        leaf->vertices[i] = corners[i];
        leaf->preLitLum[i] = {200, 100, 50, 255};
    }
    leaf->triangles[0] = {{0, 1, 2}, 0};
    leaf->triangles[1] = {{0, 2, 3}, 0};
    RpMeshHeaderDestroy(leaf->mesh);
    leaf->mesh = nullptr;
    ASSERT_EQ(RpWorldBuildSectorMeshes(world), world);

    struct Case {
        RwUInt32 flags;
        int texcoords; // bit n: TEXCOORD n declared
        bool normals, colours;
    };
    for (const Case& c :
         {Case{rpWORLDTEXTURED, 1, false, false}, Case{rpWORLDPRELIT | rpWORLDNORMALS, 0, true, true},
          Case{rpWORLDTEXTURED2 | rpWORLDPRELIT, 3, false, true}}) {
        SCOPED_TRACE(c.flags);
        RpWorldSetFlags(world, c.flags);
        if (leaf->repEntry)
            RwResourcesFreeResourceEntry(leaf->repEntry);
        render();
        ASSERT_NE(leaf->repEntry, nullptr);
        int texcoords = 0;
        bool normals = false, colours = false;
        for (const D3DVERTEXELEMENT9& e : DeclarationOf(RpD3D9ResourceEntryGetInstanceData(leaf->repEntry))) {
            if (e.Usage == D3DDECLUSAGE_TEXCOORD && e.Stream == 0)
                texcoords |= 1 << e.UsageIndex;
            normals = normals || e.Usage == D3DDECLUSAGE_NORMAL;
            colours = colours || e.Usage == D3DDECLUSAGE_COLOR;
        }
        EXPECT_EQ(texcoords, c.texcoords);
        EXPECT_EQ(normals, c.normals);
        EXPECT_EQ(colours, c.colours);
    }

    // Instancing only: the data is made, nothing is drawn.
    RpWorldSetFlags(world, rpWORLDPRELIT | rpWORLDNATIVEINSTANCE);
    RwResourcesFreeResourceEntry(leaf->repEntry);
    EXPECT_EQ(render(), (Vec3{0, 0, 0}));
    EXPECT_NE(leaf->repEntry, nullptr);
    RpWorldSetFlags(world, rpWORLDPRELIT);
    ExpectColour(render(), {200, 100, 50}, "prelit sector");
}

} // namespace
