// The generated sample textures load through the engine's texture read, DDS files first.
#include "DriverFixture.h"
#include "rwsdk/driver/d3d9/d3d9ddstex.h"
#include "rwsdk/src/texread.h"
#include "rwsdk/tool/bmp/rtbmp.h"
#include "rwsdk/tool/png/rtpng.h"
#include "rwsdk/tool/tiff/rttiff.h"

#include <string>

namespace {

RwTextureCallBackRead defaultRead = nullptr;

RwTexture* DdsFirst(const RwChar* name, const RwChar* mask) {
    if (RwTexture* texture = RwD3D9DDSTextureRead(name, nullptr))
        return texture;
    return defaultRead(name, mask);
}

class SampleTexturesTest : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        std::string data = std::string(CORVANE_BINARY_DIR) + "/data/Data/";
        std::replace(data.begin(), data.end(), '/', '\\');
        RwImageSetPath((data + "Textures\\;" + data + "Textures2\\").c_str());
        RwImageRegisterImageFormat("bmp", RtBMPImageRead, RtBMPImageWrite);
        RwImageRegisterImageFormat("tif", RtTIFFImageRead, nullptr);
        RwImageRegisterImageFormat("png", RtPNGImageRead, RtPNGImageWrite);
        savedMip = RwTextureGetMipmapping();
        savedAuto = RwTextureGetAutoMipmapping();
        RwTextureSetMipmapping(TRUE);
        RwTextureSetAutoMipmapping(TRUE);
        defaultRead = RwTextureGetReadCallBack();
        RwTextureSetReadCallBack(DdsFirst);
    }
    void TearDown() override {
        RwTextureSetReadCallBack(defaultRead);
        RwTextureSetMipmapping(savedMip);
        RwTextureSetAutoMipmapping(savedAuto);
        DriverTest::TearDown();
    }
    RwBool savedMip = FALSE, savedAuto = FALSE;
};

TEST_F(SampleTexturesTest, EveryTextureLoads) {
    struct Case {
        const char* name;
        RwInt32 size;
        D3DFORMAT format; // D3DFMT_UNKNOWN: read from an image file, format chosen by the engine
        RwInt32 levels;
    } cases[] = {
        {"sky", 256, D3DFORMAT(MAKEFOURCC('D', 'X', 'T', '1')), 9},
        {"ground", 256, D3DFORMAT(MAKEFOURCC('D', 'X', 'T', '1')), 9}, // also present as ground.bmp
        {"puff", 64, D3DFMT_A8R8G8B8, 7},
        {"camo", 128, D3DFMT_UNKNOWN, 0},
        {"runway", 128, D3DFMT_UNKNOWN, 0},
        {"metal", 128, D3DFMT_UNKNOWN, 0},
        {"Autogen", 256, D3DFMT_UNKNOWN, 0},
        {"AutogenShadow", 64, D3DFMT_UNKNOWN, 0},
    };
    for (const Case& c : cases) {
        RwTexture* texture = RwTextureRead(c.name, nullptr);
        ASSERT_NE(texture, nullptr) << c.name;
        RwRaster* raster = RwTextureGetRaster(texture);
        EXPECT_EQ(RwRasterGetWidth(raster), c.size) << c.name;
        EXPECT_EQ(RwRasterGetHeight(raster), c.size) << c.name;
        EXPECT_TRUE(RwRasterGetFormat(raster) & rwRASTERFORMATMIPMAP) << c.name;
        if (c.format != D3DFMT_UNKNOWN) {
            EXPECT_EQ(RwD3D9RasterExtension(raster)->d3dFormat, c.format) << c.name;
            EXPECT_EQ(RwRasterGetNumLevels(raster), c.levels) << c.name;
        }
        RwTextureDestroy(texture);
    }
}

} // namespace
