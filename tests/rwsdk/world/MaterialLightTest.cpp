// Materials, material lists and lights: creation, their chunks and the cases the chunks must survive.
#include "WorldFixture.h"

#include "rwsdk/src/babintex.h"
#include "rwsdk/src/texture.h"

#include <cmath>

namespace {

Bytes MaterialChunk(const ByteWriter& fields, const Bytes& texture = {}) {
    return Wrap(rwID_MATERIAL,
                ByteWriter().Append(StructChunk(fields)).Append(texture).Append(EmptyExtension()).bytes);
}

ByteWriter MaterialFields(RwUInt32 rgba, RwInt32 textured = 0) {
    ByteWriter f;
    f.I32(0).U32(rgba).I32(0).I32(textured).F32(0.1f).F32(0.2f).F32(0.3f);
    return f;
}

RpMaterialList* ReadList(const Bytes& bytes, RpMaterialList* list) {
    Bytes copy = bytes;
    RwMemory memory = {copy.data(), RwUInt32(copy.size())};
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
    RpMaterialList* result = RwStreamFindChunk(stream, rwID_MATLIST, nullptr, nullptr)
                                 ? RpMaterialListStreamRead(stream, list)
                                 : nullptr;
    RwStreamClose(stream, nullptr);
    return result;
}

TEST_F(WorldTest, MaterialListEntriesShareEarlierMaterials) {
    ByteWriter entries;
    entries.I32(3).I32(-1).I32(-1).I32(0);
    const Bytes list = Wrap(rwID_MATLIST, ByteWriter()
                                              .Append(StructChunk(entries))
                                              .Append(MaterialChunk(MaterialFields(0xFF0000FF)))
                                              .Append(MaterialChunk(MaterialFields(0xFF00FF00)))
                                              .bytes);
    RpMaterialList materials;
    RpMaterialListInitialize(&materials);
    ASSERT_NE(ReadList(list, &materials), nullptr) << std::hex << TakeError();
    ASSERT_EQ(materials.numMaterials, 3);
    EXPECT_EQ(materials.space, 3);
    EXPECT_EQ(materials.materials[2], materials.materials[0]);
    EXPECT_NE(materials.materials[1], materials.materials[0]);
    EXPECT_EQ(materials.materials[0]->refCount, 2);
    EXPECT_EQ(materials.materials[1]->color.green, 255);
    EXPECT_EQ(RpMaterialListFindMaterialIndex(&materials, materials.materials[0]), 2);

    // Written back, the list shares the same way.
    const Bytes written =
        WriteBytes([&](RwStream* s) { return RpMaterialListStreamWrite(&materials, s) != nullptr; });
    EXPECT_EQ(written, list);
    RpMaterialListDeinitialize(&materials);
}

TEST_F(WorldTest, MaterialListEntriesThatNameNoEarlierMaterialAreRefused) {
    for (RwInt32 entry : {0, 1, 5}) {
        SCOPED_TRACE(entry);
        ByteWriter entries;
        entries.I32(2).I32(-1).I32(entry);
        RpMaterialList materials;
        RpMaterialListInitialize(&materials);
        const Bytes list =
            Wrap(rwID_MATLIST,
                 ByteWriter().Append(StructChunk(entries)).Append(MaterialChunk(MaterialFields(0))).bytes);
        const bool valid = entry == 0;
        EXPECT_EQ(ReadList(list, &materials) != nullptr, valid);
        EXPECT_EQ(materials.numMaterials, valid ? 2 : 0);
        RpMaterialListDeinitialize(&materials);
        TakeError();
    }
}

TEST_F(WorldTest, MaterialRecordIs28BytesAndShorterOnesLeaveZeros) {
    RpMaterial* material = RpMaterialCreate();
    EXPECT_EQ(material->refCount, 1);
    EXPECT_EQ(material->color.alpha, 255);
    EXPECT_EQ(material->surfaceProps.ambient, 1.0f);
    const Bytes written =
        WriteBytes([&](RwStream* s) { return RpMaterialStreamWrite(material, s) != nullptr; });
    ASSERT_GE(written.size(), 24u);
    EXPECT_EQ(written[12 + 4], 28); // the struct chunk's length
    RpMaterialDestroy(material);

    ByteWriter sixteen;
    sixteen.I32(0).U32(0x80402010).I32(0).I32(0);
    RpMaterial* shortOne = ReadBytes<RpMaterial>(MaterialChunk(sixteen), rwID_MATERIAL, RpMaterialStreamRead);
    ASSERT_NE(shortOne, nullptr);
    EXPECT_EQ(shortOne->color.red, 0x10);
    EXPECT_EQ(shortOne->color.alpha, 0x80);
    EXPECT_EQ(shortOne->surfaceProps.ambient, 0.0f);
    EXPECT_EQ(shortOne->surfaceProps.specular, 0.0f);
    EXPECT_EQ(shortOne->surfaceProps.diffuse, 0.0f);
    RpMaterialDestroy(shortOne);

    ByteWriter longer = MaterialFields(0xFFFFFFFF);
    longer.U32(0xDEADBEEF); // not ours: stepped over
    RpMaterial* longOne = ReadBytes<RpMaterial>(MaterialChunk(longer), rwID_MATERIAL, RpMaterialStreamRead);
    ASSERT_NE(longOne, nullptr);
    EXPECT_EQ(longOne->surfaceProps.diffuse, 0.3f);
    RpMaterialDestroy(longOne);
}

TEST_F(WorldTest, TexturedMaterialWhoseTextureCannotBeReadIsKeptUntextured) {
    RwTexture* texture = RwTextureCreate(nullptr);
    RwTextureSetName(texture, "nowhere");
    const Bytes textureChunk =
        WriteBytes([&](RwStream* s) { return RwTextureStreamWrite(texture, s) != nullptr; });
    RwTextureDestroy(texture);
    RpMaterial* material = ReadBytes<RpMaterial>(MaterialChunk(MaterialFields(0xFFFFFFFF, 1), textureChunk),
                                                 rwID_MATERIAL, RpMaterialStreamRead);
    ASSERT_NE(material, nullptr) << std::hex << TakeError();
    EXPECT_EQ(material->texture, nullptr);
    RpMaterialDestroy(material);
    TakeError();
    // Without the texture chunk that the struct announces, the material is refused.
    EXPECT_EQ(ReadBytes<RpMaterial>(MaterialChunk(MaterialFields(0xFFFFFFFF, 1)), rwID_MATERIAL,
                                    RpMaterialStreamRead),
              nullptr);
}

TEST_F(WorldTest, MaterialListGrowsTwentyAtATime) {
    RpMaterialList list;
    RpMaterialListInitialize(&list);
    RpMaterial* material = RpMaterialCreate();
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(RpMaterialListAppendMaterial(&list, material), i);
    EXPECT_EQ(list.space, 20);
    EXPECT_EQ(RpMaterialListAppendMaterial(&list, material), 20);
    EXPECT_EQ(list.space, 40);
    EXPECT_EQ(material->refCount, 22);
    RpMaterialListDeinitialize(&list);
    EXPECT_EQ(material->refCount, 1);
    EXPECT_EQ(list.numMaterials, 0);
    RpMaterialDestroy(material);
}

TEST_F(WorldTest, CloneSharesTheTexture) {
    RpMaterial* material = RpMaterialCreate();
    RwTexture* texture = RwTextureCreate(nullptr);
    RpMaterialSetTexture(material, texture);
    RwTextureDestroy(texture);
    const RwRGBA colour = {1, 2, 3, 4};
    RpMaterialSetColor(material, &colour);
    RpMaterial* clone = RpMaterialClone(material);
    EXPECT_EQ(clone->texture, texture);
    EXPECT_EQ(texture->refCount, 2);
    EXPECT_EQ(clone->color.blue, 3);
    EXPECT_EQ(clone->refCount, 1);
    RpMaterialDestroy(material);
    RpMaterialDestroy(clone);
}

TEST_F(WorldTest, NewLightAndItsSetters) {
    RpLight* light = RpLightCreate(rpLIGHTSPOTSOFT);
    EXPECT_EQ(light->object.object.type, rwLIGHT);
    EXPECT_EQ(RpLightGetType(light), rpLIGHTSPOTSOFT);
    EXPECT_EQ(RpLightGetFlags(light), rpLIGHTLIGHTATOMICS | rpLIGHTLIGHTWORLD);
    EXPECT_EQ(light->color.red, 1.0f);
    EXPECT_EQ(light->radius, 0.0f);
    EXPECT_EQ(light->lightFrame, RwUInt16(*_rpLightUpdateCounter() - 1));
    struct Case {
        RwRGBAReal colour;
        RwUInt8 grey;
    };
    for (const Case& c :
         {Case{{0.5f, 0.5f, 0.5f, 1}, 1}, Case{{0.5f, 0.5f, 0.4f, 1}, 0}, Case{{0, 0, 0, 0}, 1}}) {
        RpLightSetColor(light, &c.colour);
        EXPECT_EQ(light->object.object.privateFlags, c.grey);
    }
    RpLightDestroy(light);
}

TEST(LightCone, AngleIsTheArcCosineOfMinusTheConeValue) {
    struct Case {
        RwReal cone;
        RwReal angle;
    };
    const RwReal pi = 3.1415927f;
    for (const Case& c :
         {Case{-1, 0}, Case{-2, 0}, Case{0, pi / 2}, Case{1, pi}, Case{5, pi}, Case{-0.5f, pi / 3}}) {
        RpLight light{};
        light.minusCosAngle = c.cone;
        EXPECT_NEAR(RpLightGetConeAngle(&light), c.angle, 2e-7f) << c.cone;
    }
    // The rational approximation against the standard arc cosine over the whole range.
    for (int i = -1000; i <= 1000; ++i) {
        const RwReal x = RwReal(i) / 1000.0f;
        EXPECT_NEAR(_rpLightArcCos(x), std::acos(double(x)), 4e-7) << x;
    }
}

TEST_F(WorldTest, LightChunkRoundTripsAndShortStructsLeaveZeros) {
    RpLight* light = RpLightCreate(rpLIGHTSPOT);
    const RwRGBAReal colour = {0.25f, 0.5f, 0.75f, 1};
    RpLightSetColor(light, &colour);
    RpLightSetRadius(light, 40);
    RpLightSetConeAngle(light, 0.5f);
    RpLightSetFlags(light, rpLIGHTLIGHTATOMICS);
    const Bytes bytes = WriteBytes([&](RwStream* s) { return RpLightStreamWrite(light, s) != nullptr; });
    RpLight* copy = ReadBytes<RpLight>(bytes, rwID_LIGHT, RpLightStreamRead);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(RpLightGetType(copy), rpLIGHTSPOT);
    EXPECT_EQ(RpLightGetFlags(copy), rpLIGHTLIGHTATOMICS);
    EXPECT_EQ(copy->radius, 40.0f);
    EXPECT_EQ(copy->color.blue, 0.75f);
    EXPECT_EQ(copy->color.alpha, 1.0f);
    EXPECT_NEAR(RpLightGetConeAngle(copy), 0.5f, 1e-6f);
    RpLightDestroy(copy);
    RpLightDestroy(light);

    ByteWriter twenty;
    twenty.F32(3).F32(1).F32(1).F32(1).F32(0);
    RpLight* shortOne = ReadBytes<RpLight>(
        Wrap(rwID_LIGHT, ByteWriter().Append(StructChunk(twenty)).Append(EmptyExtension()).bytes), rwID_LIGHT,
        RpLightStreamRead);
    ASSERT_NE(shortOne, nullptr);
    EXPECT_EQ(RpLightGetFlags(shortOne), 0);
    EXPECT_EQ(RpLightGetType(shortOne), 0);
    EXPECT_EQ(shortOne->radius, 3.0f);
    EXPECT_EQ(shortOne->object.object.privateFlags, 1);
    RpLightDestroy(shortOne);

    ByteWriter longer = twenty;
    longer.U16(1).U16(rpLIGHTPOINT).U32(77);
    RpLight* longOne = ReadBytes<RpLight>(
        Wrap(rwID_LIGHT, ByteWriter().Append(StructChunk(longer)).Append(EmptyExtension()).bytes), rwID_LIGHT,
        RpLightStreamRead);
    ASSERT_NE(longOne, nullptr);
    EXPECT_EQ(RpLightGetType(longOne), rpLIGHTPOINT);
    RpLightDestroy(longOne);
}

} // namespace
