// The sample sky drawn offscreen on the Direct3D 9 driver from fixed cameras: the dome's gradient and the
// sun's glow and sprite read back from the frame, the stars only high up, and the fog left for the rest of
// the frame. The ground view is written for a look (SkyView.png).
#include "objects/Clouds.h"
#include "OffscreenCamera.h"
#include "objects/Sky.h"

#include "platform/win32/SdlWindow.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9raster.h"
#include "rwsdk/driver/d3d9/d3d9rendst.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/nulldevice.h"
#include "rwsdk/tool/png/rtpng.h"

#include <SDL.h>
#include <d3d9.h>
#include <gtest/gtest.h>

#include <cmath>
#include <bit>
#include <cstring>
#include <filesystem>

namespace {

class SkyRender : public OffscreenCamera {
protected:
    void SetUp() override {
        StartCamera("sky", {0.6f, 0.45f});
        if (HasFatalFailure())
            return;
        Base::Info info;
        ASSERT_EQ(info.LoadFile("Data/Sky1.info"), 0);
        sky = std::make_unique<Obj::Sky>();
        ASSERT_TRUE(sky->Load(info)) << sky->Error();
    }

    void TearDown() override {
        sky.reset();
        StopCamera();
    }

    std::vector<uint32_t> Draw(Obj::Clouds* clouds = nullptr) {
        RwCameraBeginUpdate(camera);
        RwRGBA clear = {255, 0, 255, 255};
        RwCameraClear(camera, &clear, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        EXPECT_TRUE(sky->Render(camera));
        if (clouds) {
            particlesDrawn = clouds->Render(camera);
            RwD3D9GetRenderState(D3DRS_ALPHATESTENABLE, &alphaTest);
        }
        RwD3D9GetRenderState(D3DRS_ZENABLE, &zEnable);
        RwD3D9GetRenderState(D3DRS_FOGENABLE, &fogEnable);
        RwD3D9GetRenderState(D3DRS_FOGCOLOR, &fogColour);
        RwD3D9GetRenderState(D3DRS_FOGDENSITY, &fogDensity);
        RwCameraEndUpdate(camera);
        return ReadBack();
    }

    std::unique_ptr<Obj::Sky> sky;
    uint32_t particlesDrawn = 0;
    RwUInt32 alphaTest = 0;
    RwUInt32 zEnable = 0, fogEnable = 0, fogColour = 0, fogDensity = 0;
};

int Blue(uint32_t p) {
    return int(p & 0xff);
}
int Red(uint32_t p) {
    return int((p >> 16) & 0xff);
}

TEST_F(SkyRender, DomeGradientSunAndFogFromTheGround) {
    // At 100 units, looking up at 20 degrees towards the sun's azimuth.
    const Base::Vector3 sun = sky->Elements()[0].GetDirection();
    Look({0, 100, 0}, {sun.x, 0.36f, sun.z});
    const std::vector<uint32_t> pixels = Draw();
    SavePng(pixels, "SkyView.png");

    // Every pixel is sky: the dome covers the whole view, nothing of the clear colour is left.
    for (uint32_t p : pixels)
        ASSERT_FALSE(Red(p) == 255 && ((p >> 8) & 0xff) == 0 && Blue(p) == 255);
    // Away from the sun the top of the view is deeper blue than the bottom, which nears the horizon.
    const uint32_t top = pixels[10 * Width + 5], bottom = pixels[(Height - 5) * Width + 5];
    EXPECT_LT(Red(top), Red(bottom));
    // The sun is drawn near the centre (its elevation is 35, the view looks up at 20 degrees): bright.
    int bright = 0;
    for (int y = 0; y < Height / 2; ++y)
        for (int x = Width / 3; x < 2 * Width / 3; ++x)
            bright += Red(pixels[size_t(y) * Width + size_t(x)]) > 250 &&
                      Blue(pixels[size_t(y) * Width + size_t(x)]) > 200;
    EXPECT_GT(bright, 20);
    // The dome's states are put back; the fog stays on for the rest of the frame.
    EXPECT_EQ(zEnable, RwUInt32(D3DZB_TRUE));
    EXPECT_EQ(fogEnable, RwUInt32(TRUE));
    EXPECT_EQ(fogColour, sky->FogColor({sun.x, 0.36f, sun.z}, 100));
    EXPECT_FLOAT_EQ(std::bit_cast<float>(fogDensity), 2.0f / 12000);
    EXPECT_FALSE(sky->LastDrewStars());
    EXPECT_EQ(sky->LastVisibleBands(), 9u); // ceil(asin(100 / 11880) + pi / 2) / (pi / 16))
    EXPECT_EQ(sky->LastElementsDrawn(), 1u);
}

TEST_F(SkyRender, SunOutOfTheViewIsNotDrawn) {
    // The sun (elevation 35, half side 0.06) behind, beside, below and 6 degrees above the top of the view
    // (half of it 24.2 degrees) is left out; ahead, or 1.5 degrees above the top, so that its lower half
    // shows, it is drawn.
    const Base::Vector3 sun = sky->Elements()[0].GetDirection();
    const float side = std::atan2(sun.x, sun.z);
    const struct {
        float turn, pitch; // radians from the sun's azimuth; the view's pitch
        uint32_t drawn;
    } views[] = {{3.14159f, 0.2f, 0}, {1.6f, 0.3f, 0}, {0, -1.2f, 0},
                 {0, 0.0833f, 0},     {0, 0.61f, 1},   {0, 0.1618f, 1}};
    for (const auto& view : views) {
        const RwV3d at{std::sin(side + view.turn), std::tan(view.pitch), std::cos(side + view.turn)};
        Look({0, 100, 0}, at);
        Draw();
        EXPECT_EQ(sky->LastElementsDrawn(), view.drawn) << view.turn << ", " << view.pitch;
    }
}

TEST_F(SkyRender, StarsAndAllBandsHighUp) {
    Look({0, 30000, 0}, {0, 1, 0.2f});
    const std::vector<uint32_t> pixels = Draw();
    EXPECT_TRUE(sky->LastDrewStars());
    EXPECT_EQ(sky->LastVisibleBands(), 16u);
    // Some stars stand out as lighter points on the dark zenith.
    int points = 0;
    for (uint32_t p : pixels)
        points += Red(p) > 150 && Blue(p) > 150;
    EXPECT_GT(points, 0);
}

TEST_F(SkyRender, CloudsUnderTheSky) {
    Base::Info info;
    ASSERT_EQ(info.LoadFile("Data/Clouds1.info"), 0);
    Obj::Clouds clouds;
    ASSERT_TRUE(clouds.Load(info, 4)) << clouds.Error();
    // Below the layer, looking up and ahead: particles drawn in one call, the states put back.
    Look({0, 1200, 0}, {0.3f, 0.25f, 1});
    std::vector<uint32_t> pixels = Draw(&clouds);
    SavePng(pixels, "SkyCloudsView.png");
    EXPECT_GT(particlesDrawn, 0u);
    EXPECT_NE(clouds.VertexBuffer(), nullptr);
    EXPECT_EQ(alphaTest, RwUInt32(FALSE));
    // Whitish cloud pixels stand out from the blue dome.
    int white = 0;
    for (uint32_t p : pixels)
        white += Red(p) > 190 && Blue(p) > 190 && std::abs(Red(p) - Blue(p)) < 40;
    EXPECT_GT(white, 100);
}

TEST_F(SkyRender, CloudsCulledToTheViewLookTheSame) {
    Base::Info info;
    ASSERT_EQ(info.LoadFile("Data/Clouds1.info"), 0);
    Obj::Clouds clouds;
    ASSERT_TRUE(clouds.Load(info, 4)) << clouds.Error();
    // Below, inside and above the layer, ahead, up, down and along it: the particles out of the view are
    // left out, and the frame is the same pixel for pixel as with every particle of the clouds in view.
    const struct {
        RwV3d position, at;
    } views[] = {{{0, 1200, 0}, {0.3f, 0.25f, 1}},
                 {{0, 1200, 0}, {0, 1, 0.1f}},
                 {{500, 2000, 800}, {1, 0.05f, 0.2f}},
                 {{-800, 2600, 300}, {0.2f, -1, 0.3f}},
                 {{300, 5000, 0}, {0.6f, -0.5f, 0.6f}}};
    uint32_t fewer = 0;
    for (const auto& view : views) {
        Look(view.position, view.at);
        clouds.SetParticleCullingEnabled(false);
        const std::vector<uint32_t> reference = Draw(&clouds);
        const uint32_t all = particlesDrawn;
        clouds.SetParticleCullingEnabled(true);
        const std::vector<uint32_t> culled = Draw(&clouds);
        EXPECT_LE(particlesDrawn, all);
        fewer += all - particlesDrawn;
        size_t differing = 0;
        for (size_t i = 0; i < culled.size(); ++i)
            differing += culled[i] != reference[i];
        EXPECT_EQ(differing, 0u) << "from " << view.position.x << ", " << view.position.y << ", "
                                 << view.position.z;
    }
    EXPECT_GT(fewer, 0u);
}

TEST_F(SkyRender, NoParticlesNoBuffer) {
    Base::Info info;
    ASSERT_EQ(info.LoadFile("Data/Clouds1.info"), 0);
    info.GetChildForWrite("Density")->SetValue("0");
    Obj::Clouds clouds;
    ASSERT_TRUE(clouds.Load(info, 4));
    Look({0, 1200, 0}, {0.3f, 0.25f, 1});
    Draw(&clouds);
    EXPECT_EQ(particlesDrawn, 0u);
    EXPECT_EQ(clouds.VertexBuffer(), nullptr);
}

} // namespace
