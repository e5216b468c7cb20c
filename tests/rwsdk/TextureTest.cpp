// Textures and texture dictionaries: reference counts, names, lookups and walks.
#include "DriverFixture.h"
#include "rwsdk/src/texture.h"

#include <string>
#include <vector>

namespace {

using TextureTest = DriverTest;

RwInt32 PendingError() {
    RwError error{};
    RwErrorGet(&error);
    return error.errorCode;
}

RwTexture* NamedTexture(RwTextureDictionary* dict, const char* name) {
    RwTexture* texture = RwTextureCreate(nullptr);
    RwTextureSetName(texture, name);
    RwTextureDictionaryAddTexture(dict, texture);
    return texture;
}

TEST_F(TextureTest, NewTexturesHaveTheirDefaults) {
    RwRaster* raster = RwRasterCreate(8, 8, 0, rwRASTERTYPETEXTURE);
    RwTexture* texture = RwTextureCreate(raster);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->refCount, 1);
    EXPECT_EQ(RwTextureGetRaster(texture), raster);
    EXPECT_STREQ(RwTextureGetName(texture), "");
    EXPECT_STREQ(RwTextureGetMaskName(texture), "");
    EXPECT_EQ(RwTextureGetFilterMode(texture), rwFILTERNEAREST);
    EXPECT_EQ(RwTextureGetAddressingU(texture), rwTEXTUREADDRESSWRAP);
    EXPECT_EQ(RwTextureGetAddressingV(texture), rwTEXTUREADDRESSWRAP);
    EXPECT_EQ(RwTextureGetDictionary(texture), nullptr);
    RwTextureSetFilterMode(texture, rwFILTERLINEARMIPLINEAR);
    RwTextureSetAddressingV(texture, rwTEXTUREADDRESSCLAMP);
    EXPECT_EQ(texture->filterAddressing, 0x3106u);
    RwTextureDestroy(texture);
}

TEST_F(TextureTest, ReferencesKeepATextureAndItsRasterAlive) {
    RwRaster* raster = RwRasterCreate(8, 8, 0, rwRASTERTYPETEXTURE);
    RwTexture* texture = RwTextureCreate(raster);
    RwTextureAddRef(texture);
    EXPECT_EQ(texture->refCount, 2);
    RwTextureDestroy(texture);
    EXPECT_EQ(texture->refCount, 1);
    EXPECT_EQ(RwTextureGetRaster(texture), raster);
    EXPECT_NE(RwD3D9RasterExtension(raster)->texture, nullptr) << "the raster lives on";
    RwTextureDestroy(texture); // frees the raster too: the leak check of the sanitizer build sees it
}

TEST_F(TextureTest, NamesAreCutAt31CharactersWithAnError) {
    RwTexture* texture = RwTextureCreate(nullptr);
    const std::string forty(40, 'x');
    PendingError();
    RwTextureSetName(texture, forty.c_str());
    EXPECT_EQ(std::string(RwTextureGetName(texture)), std::string(31, 'x'));
    EXPECT_EQ(PendingError(), RwInt32(E_RW_STRING_TRUNCATION));
    RwTextureSetMaskName(texture, std::string(32, 'm').c_str());
    EXPECT_EQ(std::string(RwTextureGetMaskName(texture)), std::string(31, 'm'));
    EXPECT_EQ(PendingError(), RwInt32(E_RW_STRING_TRUNCATION));
    RwTextureSetName(texture, std::string(31, 'y').c_str());
    EXPECT_EQ(std::string(RwTextureGetName(texture)), std::string(31, 'y'));
    EXPECT_EQ(PendingError(), RwInt32(E_RW_NOERROR));
    RwTextureDestroy(texture);
}

TEST_F(TextureTest, LookupFoldsOnlyAsciiLetters) {
    RwTextureDictionary* dict = RwTextureDictionaryCreate();
    RwTexture* sky = NamedTexture(dict, "SKY_01");
    RwTexture* accented = NamedTexture(dict, "Caf\xc3\xa9");
    EXPECT_EQ(RwTextureDictionaryFindNamedTexture(dict, "sky_01"), sky);
    EXPECT_EQ(RwTextureDictionaryFindNamedTexture(dict, "Sky_01"), sky);
    EXPECT_EQ(RwTextureDictionaryFindNamedTexture(dict, "sky_0"), nullptr);
    EXPECT_EQ(RwTextureDictionaryFindNamedTexture(dict, "CAF\xc3\xa9"), accented);
    EXPECT_EQ(RwTextureDictionaryFindNamedTexture(dict, "CAF\xc3\x89"), nullptr) << "only a-z fold";
    // The newest texture of a name is found first.
    RwTexture* newer = NamedTexture(dict, "sky_01");
    EXPECT_EQ(RwTextureDictionaryFindNamedTexture(dict, "SKY_01"), newer);
    RwTextureDictionaryDestroy(dict);
}

TEST_F(TextureTest, DictionariesMoveTexturesAndDropTheirReference) {
    RwTextureDictionary* first = RwTextureDictionaryCreate();
    RwTextureDictionary* second = RwTextureDictionaryCreate();
    RwTexture* kept = NamedTexture(first, "kept");
    RwTexture* dropped = NamedTexture(first, "dropped");
    RwTextureAddRef(kept);
    RwTextureDictionaryAddTexture(second, dropped);
    EXPECT_EQ(RwTextureGetDictionary(dropped), second);
    EXPECT_EQ(RwTextureDictionaryFindNamedTexture(first, "dropped"), nullptr);
    RwTextureDictionaryDestroy(first);
    EXPECT_EQ(kept->refCount, 1) << "the dictionary held one reference";
    EXPECT_EQ(RwTextureGetDictionary(kept), nullptr);
    RwTextureDestroy(kept);
    RwTextureDictionaryDestroy(second);
}

TEST_F(TextureTest, WalksRunNewestFirstAndMayDestroy) {
    RwTextureDictionary* dict = RwTextureDictionaryCreate();
    for (const char* name : {"a", "b", "c"})
        NamedTexture(dict, name);
    std::vector<std::string> seen;
    RwTextureDictionaryForAllTextures(
        dict,
        [](RwTexture* texture, void* data) -> RwTexture* {
            static_cast<std::vector<std::string>*>(data)->push_back(texture->name);
            RwTextureDestroy(texture);
            return texture;
        },
        &seen);
    EXPECT_EQ(seen, (std::vector<std::string>{"c", "b", "a"}));
    EXPECT_TRUE(rwLinkListEmpty(&dict->texturesInDict));
    for (const char* name : {"a", "b", "c"})
        NamedTexture(dict, name);
    seen.clear();
    RwTextureDictionaryForAllTextures(
        dict,
        [](RwTexture* texture, void* data) -> RwTexture* {
            static_cast<std::vector<std::string>*>(data)->push_back(texture->name);
            return std::string(texture->name) == "b" ? nullptr : texture;
        },
        &seen);
    EXPECT_EQ(seen, (std::vector<std::string>{"c", "b"}));
    RwTextureDictionaryDestroy(dict);
}

TEST_F(TextureTest, DestroyingTheCurrentDictionaryLeavesNone) {
    RwTextureDictionary* opened = RwTextureDictionaryGetCurrent();
    ASSERT_NE(opened, nullptr) << "open makes a first dictionary current";
    EXPECT_EQ(opened->object.type, rwTEXDICTIONARY);
    RwTextureDictionary* dict = RwTextureDictionaryCreate();
    RwTextureDictionarySetCurrent(dict);
    int count = 0;
    RwTextureDictionaryForAllDictionaries(
        [](RwTextureDictionary* d, void* data) -> RwTextureDictionary* {
            ++*static_cast<int*>(data);
            return d;
        },
        &count);
    EXPECT_EQ(count, 2);
    RwTextureDictionaryDestroy(dict);
    EXPECT_EQ(RwTextureDictionaryGetCurrent(), nullptr);
    RwTextureDictionaryDestroy(opened);
    count = 0;
    RwTextureDictionaryForAllDictionaries(
        [](RwTextureDictionary* d, void* data) -> RwTextureDictionary* {
            ++*static_cast<int*>(data);
            return d;
        },
        &count);
    EXPECT_EQ(count, 0) << "close copes with the first dictionary gone";
}

} // namespace
