// The driver's caches and engine render states, seen through the device's call log.
#include "DriverFixture.h"
#include "tests/support/DeviceCalls.h"

#include "rwsdk/driver/d3d9/d3d92drend.h"
#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/driver/d3d9/d3d9rendst.h"
#include "rwsdk/driver/d3d9/d3d9rwrendst.h"

#include <cstring>

namespace {

RwUInt32 Requested(RwUInt32 state) {
    RwUInt32 value = 0;
    RwD3D9GetRenderState(state, &value);
    return value;
}

RwUInt32 Sampler(RwUInt32 type) {
    RwUInt32 value = 0;
    RwD3D9GetSamplerState(0, type, &value);
    return value;
}

void* Value(RwUInt32 v) {
    return reinterpret_cast<void*>(uintptr_t(v));
}

} // namespace

TEST_F(DriverTest, RenderStateSetTwiceReachesTheDeviceOnceAtTheNextDraw) {
    StartLog();
    RwD3D9SetRenderState(D3DRS_TEXTUREFACTOR, 0x12345678);
    RwD3D9SetRenderState(D3DRS_TEXTUREFACTOR, 0x12345678);
    EXPECT_TRUE(Log().empty()) << "queued until a draw";
    RwD3D9RenderStateFlushCache();
    auto log = Log();
    EXPECT_EQ(Count(log, DeviceCalls::RenderState(D3DRS_TEXTUREFACTOR, 0x12345678)), 1u);
    RwD3D9SetRenderState(D3DRS_TEXTUREFACTOR, 0x12345678);
    RwD3D9RenderStateFlushCache();
    EXPECT_TRUE(Log().empty());
}

TEST_F(DriverTest, ChangedAndChangedBackBeforeADrawSendsNothing) {
    StartLog();
    ASSERT_EQ(Requested(D3DRS_ZENABLE), 1u);
    RwD3D9SetRenderState(D3DRS_ZENABLE, 0);
    RwD3D9SetRenderState(D3DRS_ZENABLE, 1);
    RwD3D9RenderStateFlushCache();
    EXPECT_TRUE(Log().empty());
}

TEST_F(DriverTest, QueuedStatesAreSentInOrderBeforeTheDraw) {
    RwIm2DVertex v[3] = {
        {0, 0, 0, 1, 0xFFFFFFFF, 0, 0}, {8, 0, 0, 1, 0xFFFFFFFF, 0, 0}, {0, 8, 0, 1, 0xFFFFFFFF, 0, 0}};
    ASSERT_TRUE(RwCameraBeginUpdate(camera));
    StartLog();
    RwD3D9SetRenderState(D3DRS_FOGCOLOR, 5);
    RwD3D9SetRenderState(D3DRS_TEXTUREFACTOR, 7);
    RwD3D9SetRenderState(D3DRS_FOGCOLOR, 6);
    RwD3D9SetRenderState(D3DRS_BLENDFACTOR, 9);
    ASSERT_TRUE(RwIm2DRenderTriangle(v, 3, 0, 1, 2));
    auto log = Log();
    const long fog = Find(log, DeviceCalls::RenderState(D3DRS_FOGCOLOR, 6));
    const long factor = Find(log, DeviceCalls::RenderState(D3DRS_TEXTUREFACTOR, 7));
    const long blend = Find(log, DeviceCalls::RenderState(D3DRS_BLENDFACTOR, 9));
    const long draw = Find(log, DeviceCalls::DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1));
    ASSERT_GE(fog, 0);
    EXPECT_LT(fog, factor);
    EXPECT_LT(factor, blend);
    EXPECT_LT(blend, draw);
    EXPECT_EQ(Find(log, DeviceCalls::RenderState(D3DRS_FOGCOLOR, 5)), -1) << "only the last value is sent";
    RwCameraEndUpdate(camera);
}

TEST_F(DriverTest, SamplerStatesGoAtOnceAndOnlyWhenChanged) {
    StartLog();
    RwD3D9SetSamplerState(1, D3DSAMP_MAXANISOTROPY, 4);
    EXPECT_EQ(Log(), std::vector<std::string>{DeviceCalls::SamplerState(1, D3DSAMP_MAXANISOTROPY, 4)});
    RwD3D9SetSamplerState(1, D3DSAMP_MAXANISOTROPY, 4);
    EXPECT_TRUE(Log().empty());
}

TEST_F(DriverTest, AmbientStartsKnownAsZeroSoWhiteIsSent) {
    // The open sets ambient to white; its device-side start value was 0, so it went out.
    EXPECT_EQ(RwD3D9GetSentRenderState(D3DRS_AMBIENT), 0xFFFFFFFFu);
    EXPECT_EQ(RwD3D9GetSentRenderState(D3DRS_TEXTUREFACTOR), rwD3D9UnknownValue);
}

TEST_F(DriverTest, SameWorldMatrixTwiceMakesOneCall) {
    StartLog();
    RwMatrix m{};
    m.right = {1, 0, 0};
    m.up = {0, 1, 0};
    m.at = {0, 0, 1};
    m.pos = {1, 2, 3};
    RwD3D9SetTransformWorld(&m);
    RwD3D9SetTransformWorld(&m);
    RwD3D9SetTransformWorld(nullptr);
    RwD3D9SetTransformWorld(nullptr);
    EXPECT_EQ(Count(Log(), DeviceCalls::Transform(D3DTS_WORLD)), 2u);
}

// Both ways of setting the world matrix share one cache: the device ends with the last matrix set.
TEST_F(DriverTest, WorldSlotAndWorldMatrixShareOneCache) {
    const D3DMATRIX x = {{{2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 5, 6, 7, 1}}};
    RwMatrix a{};
    a.right = {1, 0, 0};
    a.up = {0, 1, 0};
    a.at = {0, 0, 1};
    a.pos = {1, 2, 3};
    StartLog();
    ASSERT_TRUE(RwD3D9SetTransform(D3DTS_WORLD, &x));
    ASSERT_TRUE(RwD3D9SetTransformWorld(&a));
    ASSERT_TRUE(RwD3D9SetTransform(D3DTS_WORLD, &x));
    EXPECT_EQ(Count(Log(), DeviceCalls::Transform(D3DTS_WORLD)), 3u);
    D3DMATRIX onDevice{}, cached{};
    ASSERT_EQ(RwD3D9Device->GetTransform(D3DTS_WORLD, &onDevice), D3D_OK);
    RwD3D9GetTransform(D3DTS_WORLD, &cached);
    EXPECT_EQ(std::memcmp(&onDevice, &x, sizeof x), 0);
    EXPECT_EQ(std::memcmp(&cached, &x, sizeof x), 0);
    // And the other way round: the world matrix again after the slot changed is sent.
    ASSERT_TRUE(RwD3D9SetTransformWorld(&a));
    ASSERT_TRUE(RwD3D9SetTransformWorld(&a));
    EXPECT_EQ(Count(Log(), DeviceCalls::Transform(D3DTS_WORLD)), 1u);
    ASSERT_EQ(RwD3D9Device->GetTransform(D3DTS_WORLD, &onDevice), D3D_OK);
    EXPECT_EQ(onDevice.m[3][0], 1.0f);
    EXPECT_EQ(onDevice.m[3][2], 3.0f);
}

TEST_F(DriverTest, EnablingALightBeyondTheCacheMakesNoCall) {
    StartLog();
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Direction = {0, 0, 1};
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(RwD3D9SetLight(i, &light));
    ASSERT_TRUE(RwD3D9SetLight(1, &light));
    EXPECT_TRUE(RwD3D9EnableLight(5, TRUE));
    auto log = Log();
    EXPECT_EQ(Count(log, "SetLight(1)"), 1u);
    EXPECT_EQ(Find(log, "LightEnable(5, 1)"), -1);
}

TEST_F(DriverTest, SameDeclarationElementsShareOneDeclaration) {
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                          D3DDECL_END()};
    void* a = nullptr;
    void* b = nullptr;
    ASSERT_TRUE(RwD3D9CreateVertexDeclaration(elements, &a));
    ASSERT_TRUE(RwD3D9CreateVertexDeclaration(elements, &b));
    EXPECT_EQ(a, b);
    RwD3D9DeleteVertexDeclaration(b);
    RwD3D9DeleteVertexDeclaration(a);
}

TEST_F(DriverTest, DrawFromUserMemoryForgetsTheIndexBuffer) {
    void* indices = nullptr;
    ASSERT_TRUE(RwD3D9CreateIndexBuffer(6, &indices));
    RwD3D9SetIndices(indices);
    const float vertices[3][4] = {};
    RwD3D9SetFVF(D3DFVF_XYZRHW);
    StartLog();
    RwD3D9DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, vertices, 16);
    RwD3D9SetIndices(indices);
    EXPECT_EQ(Count(Log(), "SetIndices(buffer)"), 1u);
    RwD3D9SetIndices(nullptr);
    static_cast<IDirect3DIndexBuffer9*>(indices)->Release();
}

// Engine render states: what each setting leaves in the cache.
struct EngineCase {
    const char* name;
    std::vector<std::pair<RwRenderState, RwUInt32>> sets;
    std::vector<std::pair<RwUInt32, RwUInt32>> renderStates; // Direct3D state -> requested value
};

TEST_F(DriverTest, EngineRenderStateTable) {
    const EngineCase cases[] = {
        {"z test off, write on", {{rwRENDERSTATEZTESTENABLE, 0}}, {{D3DRS_ZENABLE, 1}, {D3DRS_ZFUNC, 8}}},
        {"both off",
         {{rwRENDERSTATEZTESTENABLE, 0}, {rwRENDERSTATEZWRITEENABLE, 0}},
         {{D3DRS_ZENABLE, 0}, {D3DRS_ZWRITEENABLE, 0}}},
        {"write back on", {{rwRENDERSTATEZWRITEENABLE, 1}}, {{D3DRS_ZENABLE, 1}, {D3DRS_ZWRITEENABLE, 1}}},
        {"test back on", {{rwRENDERSTATEZTESTENABLE, 1}}, {{D3DRS_ZFUNC, 4}}},
        {"shade flat", {{rwRENDERSTATESHADEMODE, 1}}, {{D3DRS_SHADEMODE, 1}}},
        {"blends",
         {{rwRENDERSTATESRCBLEND, 2}, {rwRENDERSTATEDESTBLEND, 1}},
         {{D3DRS_SRCBLEND, 2}, {D3DRS_DESTBLEND, 1}}},
        {"vertex alpha",
         {{rwRENDERSTATEVERTEXALPHAENABLE, 1}},
         {{D3DRS_ALPHABLENDENABLE, 1}, {D3DRS_ALPHATESTENABLE, 1}}},
        {"alpha test always turns the test off",
         {{rwRENDERSTATEALPHATESTFUNCTION, 8}},
         {{D3DRS_ALPHATESTENABLE, 0}, {D3DRS_ALPHAFUNC, 8}, {D3DRS_ALPHABLENDENABLE, 1}}},
        {"vertex alpha off",
         {{rwRENDERSTATEVERTEXALPHAENABLE, 0}},
         {{D3DRS_ALPHABLENDENABLE, 0}, {D3DRS_ALPHATESTENABLE, 0}}},
        {"fog",
         {{rwRENDERSTATEFOGENABLE, 1}, {rwRENDERSTATEFOGCOLOR, 0xFF102030}, {rwRENDERSTATEFOGTYPE, 2}},
         {{D3DRS_FOGENABLE, 1},
          {D3DRS_FOGCOLOR, 0xFF102030},
          {D3DRS_FOGTABLEMODE, 1},
          {D3DRS_FOGVERTEXMODE, 0}}},
        {"cull front", {{rwRENDERSTATECULLMODE, 3}}, {{D3DRS_CULLMODE, 3}}},
        {"stencil",
         {{rwRENDERSTATESTENCILENABLE, 1},
          {rwRENDERSTATESTENCILFAIL, 2},
          {rwRENDERSTATESTENCILZFAIL, 3},
          {rwRENDERSTATESTENCILPASS, 7},
          {rwRENDERSTATESTENCILFUNCTION, 3},
          {rwRENDERSTATESTENCILFUNCTIONREF, 9},
          {rwRENDERSTATESTENCILFUNCTIONMASK, 0xF0},
          {rwRENDERSTATESTENCILFUNCTIONWRITEMASK, 0x0F}},
         {{D3DRS_STENCILENABLE, 1},
          {D3DRS_STENCILFAIL, 2},
          {D3DRS_STENCILZFAIL, 3},
          {D3DRS_STENCILPASS, 7},
          {D3DRS_STENCILFUNC, 3},
          {D3DRS_STENCILREF, 9},
          {D3DRS_STENCILMASK, 0xF0},
          {D3DRS_STENCILWRITEMASK, 0x0F}}},
        {"alpha reference", {{rwRENDERSTATEALPHATESTFUNCTIONREF, 128}}, {{D3DRS_ALPHAREF, 128}}},
    };
    for (const EngineCase& c : cases) {
        for (const auto& [state, value] : c.sets)
            EXPECT_TRUE(RwRenderStateSet(state, Value(value))) << c.name;
        for (const auto& [state, value] : c.renderStates)
            EXPECT_EQ(Requested(state), value) << c.name << ": state " << state;
        for (const auto& [state, value] : c.sets) {
            RwUInt32 got = 0;
            EXPECT_TRUE(RwRenderStateGet(state, &got)) << c.name;
            EXPECT_EQ(got, value) << c.name;
        }
    }
}

TEST_F(DriverTest, EngineSamplerStatesAndTheirGetters) {
    EXPECT_TRUE(RwRenderStateSet(rwRENDERSTATETEXTUREADDRESSU, Value(3)));
    EXPECT_EQ(Sampler(D3DSAMP_ADDRESSU), 3u);
    RwUInt32 got = 99;
    EXPECT_FALSE(RwRenderStateGet(rwRENDERSTATETEXTUREADDRESS, &got)) << "u 3 and v 1 differ";
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(RwRenderStateSet(rwRENDERSTATETEXTUREADDRESS, Value(4)));
    EXPECT_TRUE(RwRenderStateGet(rwRENDERSTATETEXTUREADDRESS, &got));
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(Sampler(D3DSAMP_ADDRESSV), 4u);

    RwD3D9SetSamplerState(0, D3DSAMP_MAXANISOTROPY, 8);
    rwD3D9Stages[0].maxAnisotropy = 8; // as an anisotropic texture leaves it
    EXPECT_TRUE(RwRenderStateSet(rwRENDERSTATETEXTUREFILTER, Value(rwFILTERLINEARMIPLINEAR)));
    EXPECT_EQ(Sampler(D3DSAMP_MAXANISOTROPY), 1u);
    EXPECT_EQ(Sampler(D3DSAMP_MINFILTER), 2u);
    EXPECT_EQ(Sampler(D3DSAMP_MIPFILTER), 2u);
    EXPECT_TRUE(RwRenderStateSet(rwRENDERSTATEBORDERCOLOR, Value(0xFF00FF00)));
    EXPECT_EQ(Sampler(D3DSAMP_BORDERCOLOR), 0xFF00FF00u);

    const float density = 0.25f;
    EXPECT_TRUE(RwRenderStateSet(rwRENDERSTATEFOGDENSITY, const_cast<float*>(&density)));
    float back = 0;
    EXPECT_TRUE(RwRenderStateGet(rwRENDERSTATEFOGDENSITY, &back));
    EXPECT_EQ(back, 0.25f);
    EXPECT_FALSE(RwRenderStateSet(RwRenderState(18), Value(1)));
    EXPECT_FALSE(RwRenderStateSet(rwRENDERSTATETEXTUREPERSPECTIVE, Value(0)));
    EXPECT_TRUE(RwRenderStateSet(rwRENDERSTATETEXTUREPERSPECTIVE, Value(1)));
}
