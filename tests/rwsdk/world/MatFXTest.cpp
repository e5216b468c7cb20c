// Material effects: the kinds and their slots, the release of textures on a change of kind, the material
// stream (the bump coefficient's sign, sizes, missing textures, damaged records) and the atomic flag.
#include "WorldFixture.h"

#include "rwsdk/plugin/matfx/d3d9/effectpipesd3d9.h"
#include "rwsdk/plugin/matfx/rpmatfx.h"
#include "rwsdk/src/texture.h"

namespace {

class MatFX : public WorldTest {
protected:
    void RegisterPlugins() override {
        ASSERT_TRUE(RpWorldPluginAttach());
        ASSERT_TRUE(RpMatFXPluginAttach());
        ASSERT_TRUE(RpUserDataPluginAttach());
    }
    void SetUp() override {
        WorldTest::SetUp();
        dict = RwTexDictionaryCreate();
        RwTexDictionarySetCurrent(dict);
    }
    void TearDown() override {
        RwTexDictionarySetCurrent(nullptr);
        RwTexDictionaryDestroy(dict);
        WorldTest::TearDown();
    }
    // A texture without pixels, held by the dictionary (reference count 1).
    RwTexture* Named(const char* name) {
        RwTexture* t = RwTextureCreate(nullptr);
        RwTextureSetName(t, name);
        RwTexDictionaryAddTexture(dict, t);
        return t;
    }
    RwTextureDictionary* dict = nullptr;
};

Bytes WriteMaterial(const RpMaterial* m) {
    return WriteBytes([m](RwStream* s) { return RpMaterialStreamWrite(m, s) != nullptr; });
}

RpMaterial* ReadMaterial(const Bytes& bytes) {
    return ReadBytes<RpMaterial>(bytes, rwID_MATERIAL, RpMaterialStreamRead);
}

// The payload of the material's effects sub-chunk (empty when there is none).
Bytes EffectsPayload(const Bytes& material) {
    for (size_t at = 0; at + 12 <= material.size(); ++at) {
        RwUInt32 type, length;
        std::memcpy(&type, &material[at], 4);
        std::memcpy(&length, &material[at + 4], 4);
        if (type == rwID_MATERIALEFFECTSPLUGIN && at + 12 + length == material.size())
            return Bytes(material.begin() + long(at) + 12, material.end());
    }
    return {};
}

TEST_F(MatFX, EachKindSetsUpItsSlots) {
    const RwUInt32 want[7][2] = {{0, 0}, {1, 0}, {2, 0}, {1, 2}, {4, 0}, {5, 0}, {5, 4}};
    for (RwUInt32 kind = 0; kind < 7; ++kind) {
        RpMaterial* m = RpMaterialCreate();
        ASSERT_EQ(RpMatFXMaterialSetEffects(m, kind), m);
        const RpMatFXMaterialData* data = RpMatFXMaterialGetData(m);
        EXPECT_EQ(data->flags, kind);
        EXPECT_EQ(data->effect[0].effectType, want[kind][0]) << kind;
        EXPECT_EQ(data->effect[1].effectType, want[kind][1]) << kind;
        if (const RpMatFXEffect* dual = RpMatFXMaterialFindEffect(m, rpMATFXTYPEDUAL)) {
            EXPECT_EQ(dual->data.dual.srcBlendMode, 5u);
            EXPECT_EQ(dual->data.dual.dstBlendMode, 6u);
        }
        RpMaterialDestroy(m);
    }
    RpMaterial* m = RpMaterialCreate();
    EXPECT_EQ(RpMatFXMaterialSetEffects(m, 7), nullptr) << "no such kind";
    EXPECT_EQ(TakeError(), RwInt32(E_RW_BADPARAM));
    EXPECT_EQ(RpMatFXMaterialSetEnvMapTexture(m, nullptr), nullptr) << "no environment slot";
    RpMaterialDestroy(m);
}

TEST_F(MatFX, ChangingTheKindReleasesTexturesAndTheSameKindKeepsThem) {
    RwTexture* bump = Named("bump");
    RwTexture* bumped = Named("bumped");
    RwTexture* env = Named("env");
    RpMaterial* m = RpMaterialCreate();
    RpMatFXMaterialSetEffects(m, rpMATFXEFFECTBUMPMAP);
    RpMatFXEffect* slot = RpMatFXMaterialFindEffect(m, rpMATFXTYPEBUMPMAP);
    slot->data.bumpMap.bumpTexture = RwTextureAddRef(bump);
    slot->data.bumpMap.bumpedTexture = RwTextureAddRef(bumped);
    RpMatFXMaterialSetBumpMapCoefficient(m, 0.25f);
    RpMatFXMaterialSetEffects(m, rpMATFXEFFECTBUMPMAP);
    EXPECT_EQ(bump->refCount, 2) << "the same kind keeps the data";
    EXPECT_FLOAT_EQ(slot->data.bumpMap.coefficient, -0.25f);
    RpMatFXMaterialSetEffects(m, rpMATFXEFFECTBUMPENVMAP);
    EXPECT_EQ(bump->refCount, 1) << "kind 1 to 3 released the bump textures";
    EXPECT_EQ(bumped->refCount, 1);
    EXPECT_EQ(RpMatFXMaterialFindEffect(m, rpMATFXTYPEBUMPMAP)->data.bumpMap.bumpTexture, nullptr);
    RpMatFXMaterialSetEnvMapTexture(m, env);
    EXPECT_EQ(env->refCount, 2);
    RpMatFXMaterialSetEffects(m, rpMATFXEFFECTNULL);
    EXPECT_EQ(env->refCount, 1) << "kind 0 releases everything";
    EXPECT_EQ(RpMatFXMaterialGetData(m)->effect[1].effectType, 0u);
    // Destroying a material releases its textures; a clone holds its own references.
    RpMatFXMaterialSetEffects(m, rpMATFXEFFECTDUAL);
    RpMatFXMaterialSetDualTexture(m, env);
    RpMatFXMaterialSetDualBlendModes(m, 2, 2);
    RpMaterial* clone = RpMaterialClone(m);
    EXPECT_EQ(env->refCount, 3);
    const RpMatFXEffect* copied = RpMatFXMaterialFindEffect(clone, rpMATFXTYPEDUAL);
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->data.dual.srcBlendMode, 2u);
    RpMaterialDestroy(m);
    RpMaterialDestroy(clone);
    EXPECT_EQ(env->refCount, 1);
}

TEST_F(MatFX, TheStreamKeepsEveryKindAndTheBumpCoefficientsSign) {
    Named("base");
    RwTexture* bump = Named("bump");
    RwTexture* bumped = Named("bumped");
    RwTexture* env = Named("env");
    RwTexture* second = Named("second");
    RpMaterial* m = RpMaterialCreate();
    RpMatFXMaterialSetEffects(m, rpMATFXEFFECTBUMPENVMAP);
    RpMatFXEffect* slot = RpMatFXMaterialFindEffect(m, rpMATFXTYPEBUMPMAP);
    slot->data.bumpMap.bumpTexture = RwTextureAddRef(bump);
    slot->data.bumpMap.bumpedTexture = RwTextureAddRef(bumped);
    RpMatFXMaterialSetBumpMapCoefficient(m, 0.5f);
    EXPECT_FLOAT_EQ(slot->data.bumpMap.coefficient, -0.5f) << "held negated";
    RpMatFXMaterialSetEnvMapTexture(m, env);
    RpMatFXMaterialSetEnvMapCoefficient(m, 0.75f);
    RpMatFXMaterialSetEnvMapFrameBufferAlpha(m, TRUE);
    const Bytes bytes = WriteMaterial(m);
    ASSERT_EQ(bytes.size(), RpMaterialStreamGetSize(m) + 12);
    const Bytes payload = EffectsPayload(bytes);
    ASSERT_GE(payload.size(), 12u);
    RwUInt32 kind, type;
    RwReal coefficient;
    std::memcpy(&kind, &payload[0], 4);
    std::memcpy(&type, &payload[4], 4);
    std::memcpy(&coefficient, &payload[8], 4);
    EXPECT_EQ(kind, 3u);
    EXPECT_EQ(type, 1u);
    EXPECT_FLOAT_EQ(coefficient, 0.5f) << "written as given";
    RpMaterial* read = ReadMaterial(bytes);
    ASSERT_NE(read, nullptr);
    const RpMatFXMaterialData* data = RpMatFXMaterialGetData(read);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->flags, 3u);
    const RpMatFXBumpMapData& b = data->effect[0].data.bumpMap;
    EXPECT_FLOAT_EQ(b.coefficient, -0.5f);
    EXPECT_EQ(b.bumpedTexture, bumped);
    EXPECT_EQ(b.bumpTexture, bump);
    EXPECT_EQ(b.invBumpWidth, 0.0f) << "a texture without a raster gives no shift";
    const RpMatFXEnvMapData& e = data->effect[1].data.envMap;
    EXPECT_EQ(e.texture, env);
    EXPECT_FLOAT_EQ(e.coefficient, 0.75f);
    EXPECT_EQ(e.useFrameBufferAlpha, 1u);
    EXPECT_EQ(WriteMaterial(read), bytes) << "written back the same";
    RpMaterialDestroy(read);

    // Dual pass with its blend pair; UV transforms stream no body.
    RpMatFXMaterialSetEffects(m, rpMATFXEFFECTDUALUVTRANSFORM);
    RpMatFXMaterialSetDualTexture(m, second);
    RpMatFXMaterialSetDualBlendModes(m, 9, 1);
    read = ReadMaterial(WriteMaterial(m));
    ASSERT_NE(read, nullptr);
    const RpMatFXEffect* dual = RpMatFXMaterialFindEffect(read, rpMATFXTYPEDUAL);
    ASSERT_NE(dual, nullptr);
    EXPECT_EQ(dual->data.dual.texture, second);
    EXPECT_EQ(dual->data.dual.srcBlendMode, 9u);
    EXPECT_EQ(dual->data.dual.dstBlendMode, 1u);
    EXPECT_EQ(RpMatFXMaterialGetEffects(read), 6u);
    RpMaterialDestroy(read);

    // Kind 0 writes no sub-chunk.
    RpMatFXMaterialSetEffects(m, rpMATFXEFFECTNULL);
    EXPECT_TRUE(EffectsPayload(WriteMaterial(m)).empty());
    RpMaterialDestroy(m);
    for (RwTexture* t : {bump, bumped, env, second})
        EXPECT_EQ(t->refCount, 1) << t->name;
}

// A material chunk with no texture and the given effects payload in its extension.
Bytes MaterialWithEffects(const Bytes& effects) {
    ByteWriter s;
    s.U32(0).U32(0xFFFFFFFF).U32(0).U32(0); // flags, colour, unused, not textured
    s.F32(1).F32(1).F32(1);
    ByteWriter m;
    m.Append(StructChunk(s)).Append(Wrap(rwID_EXTENSION, Wrap(rwID_MATERIALEFFECTSPLUGIN, effects)));
    return Wrap(rwID_MATERIAL, m.bytes);
}

Bytes TextureChunk(const char* name) {
    auto str = [](const char* text) {
        Bytes b(text, text + std::strlen(text) + 1);
        while (b.size() % 4)
            b.push_back(0);
        return Wrap(0x2, b);
    };
    ByteWriter t;
    t.Append(StructChunk(ByteWriter().U32(0x1102)))
        .Append(str(name))
        .Append(str(""))
        .Append(EmptyExtension());
    return Wrap(rwID_TEXTURE, t.bytes);
}

TEST_F(MatFX, AMissingTextureLeavesTheSlotEmptyAndDamagedRecordsFailTheRead) {
    RwTexture* env = Named("env");
    // An environment record naming a texture nobody has: the read succeeds without it.
    ByteWriter missing;
    missing.U32(2).U32(2).F32(0.5f).U32(0).U32(1).Append(TextureChunk("nowhere")).U32(0);
    RpMaterial* m = ReadMaterial(MaterialWithEffects(missing.bytes));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(RpMatFXMaterialFindEffect(m, rpMATFXTYPEENVMAP)->data.envMap.texture, nullptr);
    EXPECT_FLOAT_EQ(RpMatFXMaterialFindEffect(m, rpMATFXTYPEENVMAP)->data.envMap.coefficient, 0.5f);
    RpMaterialDestroy(m);
    TakeError();

    // Two environment records on a kind with one environment slot: the second replaces the first's
    // texture, and no reference is lost or left behind.
    ByteWriter twice;
    twice.U32(2).U32(2).F32(0.5f).U32(0).U32(1).Append(TextureChunk("env"));
    twice.U32(2).F32(0.25f).U32(0).U32(1).Append(TextureChunk("env"));
    m = ReadMaterial(MaterialWithEffects(twice.bytes));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(env->refCount, 2);
    EXPECT_FLOAT_EQ(RpMatFXMaterialFindEffect(m, rpMATFXTYPEENVMAP)->data.envMap.coefficient, 0.25f);
    RpMaterialDestroy(m);
    EXPECT_EQ(env->refCount, 1);

    // A kind no writer makes, a short record and a texture chunk longer than the record all fail the read.
    ByteWriter badKind;
    badKind.U32(9).U32(0).U32(0);
    ByteWriter shortRecord;
    shortRecord.U32(4).U32(4).U32(2);
    ByteWriter longTexture;
    Bytes chunk = TextureChunk("env");
    chunk[4] += 8; // claims more than the record holds
    longTexture.U32(4).U32(4).U32(2).U32(2).U32(1).Append(chunk).U32(0);
    for (const Bytes* bytes : {&badKind.bytes, &shortRecord.bytes, &longTexture.bytes}) {
        EXPECT_EQ(ReadMaterial(MaterialWithEffects(*bytes)), nullptr);
        EXPECT_NE(TakeError(), RwInt32(E_RW_NOERROR));
    }
    EXPECT_EQ(env->refCount, 1);
}

TEST_F(MatFX, TheBumpedTexturesNameInterleavesBothNames) {
    RwChar name[32];
    _rpMatFXBumpedTextureName(name, "abc", "12345");
    EXPECT_STREQ(name, "a1b2c345");
    _rpMatFXBumpedTextureName(name, "aaaaaaaaaaaaaaaaaaaa", "bbbbbbbbbbbbbbbbbbbb");
    EXPECT_EQ(std::strlen(name), 30u) << "at most 30 characters";
}

TEST_F(MatFX, AnEnabledAtomicKeepsItsFlagThroughTheStreamAndClones) {
    RwTexture* env = Named("env");
    RpClump* clump = RpClumpCreate();
    RwFrame* frame = RwFrameCreate();
    RpClumpSetFrame(clump, frame);
    RpAtomic* atomic = RpAtomicCreate();
    RpAtomicSetFrame(atomic, frame);
    RpGeometry* g = RpGeometryCreate(3, 1, rpGEOMETRYPOSITIONS);
    RpMaterial* material = RpMaterialCreate();
    RpMatFXMaterialSetEffects(material, rpMATFXEFFECTENVMAP);
    RpMatFXMaterialSetEnvMapTexture(material, env);
    RpMatFXMaterialSetEnvMapCoefficient(material, 1.0f);
    RpTriangle* tri = RpGeometryGetTriangles(g);
    RpGeometryTriangleSetVertexIndices(g, tri, 0, 1, 2);
    RpGeometryTriangleSetMaterial(g, tri, material);
    RpMaterialDestroy(material);
    RpGeometryUnlock(g);
    RpAtomicSetGeometry(atomic, g, 0);
    RpGeometryDestroy(g);
    RpClumpAddAtomic(clump, atomic);
    EXPECT_FALSE(RpMatFXAtomicQueryEffects(atomic));
    RpMatFXAtomicEnableEffects(atomic);
    EXPECT_TRUE(RpMatFXAtomicQueryEffects(atomic));
    EXPECT_EQ(atomic->pipeline, RpMatFXGetAtomicPipeline());

    RpClump* read = ReadClump(WriteClump(clump));
    ASSERT_NE(read, nullptr);
    RpAtomic* readAtomic = nullptr;
    RpClumpForAllAtomics(
        read, [](RpAtomic* a, void* out) { return *static_cast<RpAtomic**>(out) = a; }, &readAtomic);
    ASSERT_NE(readAtomic, nullptr);
    EXPECT_TRUE(RpMatFXAtomicQueryEffects(readAtomic));
    EXPECT_EQ(readAtomic->pipeline, RpMatFXGetAtomicPipeline());
    RpMaterial* readMaterial = RpGeometryGetMaterial(RpAtomicGetGeometry(readAtomic), 0);
    EXPECT_EQ(RpMatFXMaterialGetEffects(readMaterial), 2u);
    EXPECT_EQ(RpMatFXMaterialFindEffect(readMaterial, rpMATFXTYPEENVMAP)->data.envMap.texture, env);
    RpClump* clone = RpClumpClone(read);
    RpAtomic* cloneAtomic = nullptr;
    RpClumpForAllAtomics(
        clone, [](RpAtomic* a, void* out) { return *static_cast<RpAtomic**>(out) = a; }, &cloneAtomic);
    EXPECT_TRUE(RpMatFXAtomicQueryEffects(cloneAtomic));
    RpClumpDestroy(clone);
    RpClumpDestroy(read);
    RpClumpDestroy(clump);
    EXPECT_EQ(env->refCount, 1);
}

} // namespace

namespace {

TEST_F(MatFX, AnEnabledSectorTakesTheSectorPipelineOnce) {
    RwBBox box = {{10, 10, 10}, {-10, -10, -10}};
    RpWorld* world = RpWorldCreate(&box);
    RpWorldSector* sector = nullptr;
    RpWorldForAllWorldSectors(
        world, [](RpWorldSector* s, void* out) { return *static_cast<RpWorldSector**>(out) = s; }, &sector);
    ASSERT_NE(sector, nullptr);
    EXPECT_FALSE(RpMatFXWorldSectorQueryEffects(sector));
    EXPECT_EQ(RpMatFXWorldSectorEnableEffects(sector), sector);
    EXPECT_TRUE(RpMatFXWorldSectorQueryEffects(sector));
    EXPECT_EQ(sector->pipeline, RpMatFXGetWorldSectorPipeline());
    EXPECT_NE(RpMatFXGetWorldSectorPipeline(), RpMatFXGetAtomicPipeline());
    RpMatFXWorldSectorEnableEffects(sector);
    EXPECT_TRUE(RpMatFXWorldSectorQueryEffects(sector)) << "a second call does nothing";
    RpWorldDestroy(world);
}

} // namespace
