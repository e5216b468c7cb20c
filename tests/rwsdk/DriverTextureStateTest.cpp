// Texture binding, material from surface properties and the two-stream set, seen through the call log.
#include "DriverFixture.h"
#include "tests/support/DeviceCalls.h"

#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/driver/d3d9/d3d9rasterlock.h"
#include "rwsdk/driver/d3d9/d3d9rendst.h"
#include "rwsdk/src/texture.h"

namespace {

size_t CountPrefix(const std::vector<std::string>& log, const std::string& prefix) {
    return size_t(
        std::count_if(log.begin(), log.end(), [&](const std::string& s) { return s.rfind(prefix, 0) == 0; }));
}

} // namespace

TEST_F(DriverTest, TextureSetsItsStagesSamplerAndRasterOnce) {
    RwRaster* raster = RwRasterCreate(8, 8, 32, RwInt32(rwRASTERTYPETEXTURE) | rwRASTERFORMAT8888);
    ASSERT_NE(raster, nullptr);
    RwTexture* texture = RwTextureCreate(raster);
    ASSERT_NE(texture, nullptr);
    RwTextureSetFilterMode(texture, rwFILTERMIPNEAREST);      // 3
    RwTextureSetAddressingU(texture, rwTEXTUREADDRESSCLAMP);  // 3
    RwTextureSetAddressingV(texture, rwTEXTUREADDRESSMIRROR); // 2
    StartLog();
    EXPECT_TRUE(RwD3D9SetTexture(texture, 1));
    const std::vector<std::string> expected = {DeviceCalls::SamplerState(1, D3DSAMP_ADDRESSU, 3),
                                               DeviceCalls::SamplerState(1, D3DSAMP_ADDRESSV, 2),
                                               DeviceCalls::SamplerState(1, D3DSAMP_MINFILTER, 1),
                                               DeviceCalls::SamplerState(1, D3DSAMP_MAGFILTER, 1),
                                               DeviceCalls::SamplerState(1, D3DSAMP_MIPFILTER, 1),
                                               "SetTexture(1, texture)"};
    EXPECT_EQ(Log(), expected);
    EXPECT_EQ(RwD3D9GetRasterStage(1), raster);
    EXPECT_TRUE(RwD3D9SetTexture(texture, 1));
    EXPECT_TRUE(Log().empty()) << "nothing changed";
    EXPECT_TRUE(RwD3D9SetTexture(nullptr, 1));
    EXPECT_EQ(Log(), std::vector<std::string>{"SetTexture(1, null)"});
    EXPECT_TRUE(RwD3D9SetTexture(nullptr, 1));
    EXPECT_TRUE(Log().empty());
    EXPECT_FALSE(RwD3D9SetTexture(texture, 8));
    RwTextureDestroy(texture);
}

TEST_F(DriverTest, AlphaTextureOnStageZeroTurnsBlendingOnAndNullTurnsItOff) {
    RwRaster* raster = RwRasterCreate(8, 8, 32, RwInt32(rwRASTERTYPETEXTURE) | rwRASTERFORMAT8888);
    RwTexture* texture = RwTextureCreate(raster);
    ASSERT_NE(texture, nullptr);
    RwD3D9SetTexture(texture, 0);
    RwUInt32 blend = 0;
    RwD3D9GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
    EXPECT_EQ(blend, 1u);
    RwD3D9SetTexture(nullptr, 0);
    RwD3D9GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
    EXPECT_EQ(blend, 0u);
    RwTextureDestroy(texture);
}

TEST_F(DriverTest, TwoStreamsAreSentOnlyWhenTheyChange) {
    IDirect3DVertexBuffer9* buffer = nullptr;
    ASSERT_EQ(RwD3D9Device->CreateVertexBuffer(256, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &buffer, nullptr),
              D3D_OK);
    RwD3D9VertexStream streams[2] = {{buffer, 32, 16, 0, 1, 0}, {nullptr, 0, 0, 0, 0, 0}};
    RwD3D9SetStreamSource(1, buffer, 0, 12);
    StartLog();
    RwD3D9SetStreams(streams, TRUE);
    const std::vector<std::string> expected = {"SetStreamSource(0, buffer, 32, 16)",
                                               "SetStreamSource(1, null, 0, 0)"};
    EXPECT_EQ(Log(), expected);
    RwD3D9SetStreams(streams, TRUE);
    EXPECT_TRUE(Log().empty());
    RwD3D9SetStreams(streams, FALSE);
    EXPECT_EQ(Log(), std::vector<std::string>{"SetStreamSource(0, buffer, 0, 16)"}) << "offsets unused";
    RwD3D9SetStreamSource(0, nullptr, 0, 0);
    buffer->Release();
}

namespace {

struct SurfaceCase {
    const char* name;
    RwRGBA color;
    RwUInt32 flags;
    D3DCOLORVALUE diffuse, ambient, emissive;
    RwUInt32 ambientState, colorVertex, ambientSource, emissiveSource;
};

} // namespace

TEST_F(DriverTest, SurfacePropertiesBecomeTheMaterial) {
    const RwSurfaceProperties props = {0.5f, 0.0f, 0.8f};
    rwD3D9AmbientLightColor = {0.2f, 0.4f, 1.0f, 1.0f};
    const float f = 0.5f / 255.0f, s = 0.8f / 255.0f;
    const SurfaceCase cases[] = {
        {"plain",
         {10, 20, 30, 40},
         0x00,
         {0.8f, 0.8f, 0.8f, 1},
         {0.1f, 0.2f, 0.5f, 1},
         {0, 0, 0, 0},
         0xFFFFFFFF,
         0,
         0,
         0},
        {"plain prelit",
         {10, 20, 30, 40},
         0x08,
         {0.8f, 0.8f, 0.8f, 1},
         {0.1f, 0.2f, 0.5f, 1},
         {0, 0, 0, 0},
         0xFFFFFFFF,
         1,
         0,
         1},
        {"modulate white",
         {255, 255, 255, 255},
         0x40,
         {0.8f, 0.8f, 0.8f, 1},
         {0.1f, 0.2f, 0.5f, 1},
         {0, 0, 0, 0},
         0xFFFFFFFF,
         0,
         0,
         0},
        {"modulate",
         {10, 20, 30, 51},
         0x40,
         {10 * s, 20 * s, 30 * s, 0.2f},
         {10 * 0.2f * f, 20 * 0.4f * f, 30 * 1.0f * f, 1},
         {0, 0, 0, 0},
         0xFFFFFFFF,
         0,
         0,
         0},
        {"modulate prelit",
         {10, 20, 30, 51},
         0x48,
         {10 * s, 20 * s, 30 * s, 0.2f},
         {0, 0, 0, 0},
         {10 * 0.2f * f, 20 * 0.4f * f, 30 * 1.0f * f, 1},
         0x330A141E,
         1,
         1,
         0},
    };
    for (const SurfaceCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(RwD3D9SetSurfaceProperties(&props, &c.color, c.flags | 0x01));
        D3DMATERIAL9 m{};
        ASSERT_EQ(RwD3D9Device->GetMaterial(&m), D3D_OK);
        const D3DCOLORVALUE* got[] = {&m.Diffuse, &m.Ambient, &m.Emissive};
        const D3DCOLORVALUE* want[] = {&c.diffuse, &c.ambient, &c.emissive};
        for (int i = 0; i < 3; ++i) {
            EXPECT_FLOAT_EQ(got[i]->r, want[i]->r) << i;
            EXPECT_FLOAT_EQ(got[i]->g, want[i]->g) << i;
            EXPECT_FLOAT_EQ(got[i]->b, want[i]->b) << i;
            EXPECT_FLOAT_EQ(got[i]->a, want[i]->a) << i;
        }
        RwUInt32 v[4] = {};
        RwD3D9GetRenderState(D3DRS_AMBIENT, &v[0]);
        RwD3D9GetRenderState(D3DRS_COLORVERTEX, &v[1]);
        RwD3D9GetRenderState(D3DRS_AMBIENTMATERIALSOURCE, &v[2]);
        RwD3D9GetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, &v[3]);
        EXPECT_EQ(v[0], c.ambientState);
        EXPECT_EQ(v[1], c.colorVertex);
        EXPECT_EQ(v[2], c.ambientSource);
        EXPECT_EQ(v[3], c.emissiveSource);
    }
    rwD3D9AmbientLightColor = {0, 0, 0, 1};
}

TEST_F(DriverTest, SameSurfaceInputsSendNothingButAnotherMaterialInBetweenDoes) {
    const RwSurfaceProperties props = {1.0f, 0.0f, 1.0f};
    const RwRGBA color = {1, 2, 3, 4};
    RwD3D9SetSurfaceProperties(&props, &color, 0);
    StartLog();
    RwD3D9SetSurfaceProperties(&props, &color, 0x04); // bits other than 0x48 do not count
    EXPECT_EQ(Count(Log(), "SetMaterial"), 0u);
    D3DMATERIAL9 other{};
    other.Diffuse = {0.3f, 0.3f, 0.3f, 1};
    RwD3D9SetMaterial(&other);
    RwD3D9SetSurfaceProperties(&props, &color, 0);
    EXPECT_EQ(Count(Log(), "SetMaterial"), 2u);
    rwD3D9AmbientLightColor = {0.5f, 0, 0, 1};
    RwD3D9SetSurfaceProperties(&props, &color, 0);
    EXPECT_EQ(Count(Log(), "SetMaterial"), 1u) << "the ambient light changed";
    rwD3D9AmbientLightColor = {0, 0, 0, 1};
}

TEST_F(DriverTest, CubeRasterIsCreatedByTheStandardCreateAndLockedPerFace) {
    const RwInt32 flags = RwInt32(rwRASTERTYPETEXTURE) | rwRASTERFORMAT8888;
    RwRaster* raster = RwRasterCreate(8, 8, 0, flags | rwRASTERDONTALLOCATE);
    ASSERT_NE(raster, nullptr);
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
    ext->cube = 1;
    StartLog();
    ASSERT_TRUE(RWSRCGLOBAL(stdFunc)[rwSTANDARDRASTERCREATE](nullptr, raster, flags));
    EXPECT_EQ(CountPrefix(Log(), "CreateCubeTexture(8, 1, "), 1u);
    ASSERT_TRUE(RwD3D9RasterIsCubeTexture(raster));
    for (RwUInt8 face = 0; face < 6; ++face) {
        ext->cube = RwUInt8(1 | face << 4);
        RwUInt8* pixels = RwRasterLock(raster, 0, rwRASTERLOCKWRITE);
        ASSERT_NE(pixels, nullptr) << int(face);
        for (RwInt32 y = 0; y < 8; ++y)
            std::fill_n(pixels + y * raster->stride, 32, RwUInt8(0x10 + face));
        RwRasterUnlock(raster);
    }
    auto* cube = static_cast<IDirect3DCubeTexture9*>(ext->texture);
    for (int face = 0; face < 6; ++face) {
        IDirect3DSurface9* surface = nullptr;
        ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACES(face), 0, &surface), D3D_OK);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        const auto* bytes = static_cast<const RwUInt8*>(locked.pBits);
        EXPECT_EQ(bytes[0], 0x10 + face);
        EXPECT_EQ(bytes[7 * locked.Pitch + 31], 0x10 + face);
        surface->UnlockRect();
        surface->Release();
    }
    // Conversion to the device format keeps it a cube texture.
    ext->cube = 1;
    RwD3D9RasterConvertToDeviceFormat(raster);
    EXPECT_TRUE(RwD3D9RasterIsCubeTexture(raster));
    EXPECT_EQ(CountPrefix(Log(), "CreateCubeTexture(8, 0, "), 1u);
    EXPECT_EQ(CountPrefix(Log(), "CreateTexture("), 0u);
    RwRasterDestroy(raster);
}

TEST_F(DriverTest, CubeCameraTextureIsARenderTargetPerFace) {
    const RwInt32 flags = RwInt32(rwRASTERTYPECAMERATEXTURE) | rwRASTERFORMAT888;
    RwRaster* raster = RwRasterCreate(16, 16, 0, flags | rwRASTERDONTALLOCATE);
    ASSERT_NE(raster, nullptr);
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
    ext->cube = 1;
    StartLog();
    ASSERT_TRUE(RWSRCGLOBAL(stdFunc)[rwSTANDARDRASTERCREATE](nullptr, raster, flags));
    EXPECT_EQ(CountPrefix(Log(), "CreateCubeTexture(16, 1, "), 1u);
    for (RwUInt8 face = 0; face < 6; ++face) {
        ext->cube = RwUInt8(1 | face << 4);
        EXPECT_TRUE(RwD3D9SetRenderTargetRaster(0, raster)) << int(face);
    }
    EXPECT_TRUE(RwD3D9SetRenderTarget(0, rwD3D9State.defaultRenderTarget));
    RwRasterDestroy(raster);
}

// Each stage's coordinate index is known from the opening (its own set, as Direct3D starts), so a state
// block that saves and restores it puts back a real index, never the cache's unknown marker.
TEST_F(DriverTest, StagesStartWithTheirOwnCoordinateIndexKnown) {
    for (RwUInt32 stage = 0; stage < 8; ++stage) {
        RwUInt32 index = rwD3D9UnknownValue;
        RwD3D9GetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, &index);
        EXPECT_EQ(index, stage);
    }
}
