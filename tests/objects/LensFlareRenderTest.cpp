// The lens flare drawn offscreen: its four textures from the sample data and the seven additive sprites
// along the line from the element's image through the screen centre (LensFlare.png for a look).
#include "objects/LensFlare.h"
#include "OffscreenCamera.h"

#include "rwsdk/driver/d3d9/d3d9rwrendst.h"
#include "rwsdk/src/renderstate.h"
#include "scene/EngineHost.h"

namespace {

class FlareRender : public OffscreenCamera {
protected:
    void SetUp() override {
        StartCamera("flare", {0.5f, 0.375f});
        Rw::RegisterImageFormats(); // as the game reads textures
    }
    void TearDown() override { StopCamera(); }

    std::vector<uint32_t> Draw(Obj::LensFlare& flare, float time, float frameTime = 1.0f,
                               const Obj::LensFlare::Occlusion& occluded = nullptr) {
        RwCameraBeginUpdate(camera);
        RwRGBA black = {0, 0, 0, 255};
        RwCameraClear(camera, &black, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        drawn = flare.Render(camera, time, frameTime, occluded);
        RwCameraEndUpdate(camera);
        return ReadBack();
    }
    bool drawn = false;
};

int Brightness(uint32_t p) {
    return int((p >> 16) & 0xFF) + int((p >> 8) & 0xFF) + int(p & 0xFF);
}

int Lit(const std::vector<uint32_t>& pixels) {
    int lit = 0;
    for (uint32_t p : pixels)
        lit += Brightness(p) > 0;
    return lit;
}

TEST_F(FlareRender, SevenSpritesAlongTheLineThroughTheCentre) {
    Look({0, 0, 0}, {0, 0, 1});
    // Up and to one side of the view's centre, well inside the view.
    Obj::LensFlare flare({0.2f, 0.15f, 1});
    std::vector<uint32_t> pixels = Draw(flare, 0);
    ASSERT_TRUE(drawn);
    EXPECT_EQ(flare.SpritesDrawn(), 7u);
    for (int k = 1; k <= 4; ++k)
        EXPECT_NE(flare.Texture(k), nullptr) << "Lensflare" << k;
    SavePng(pixels, "LensFlare.png");

    // The element's image: x = 0.2 / 0.5 of the half-width off centre, y = 0.15 / 0.375 of the half-height
    // (the frame's right points to the screen's left, as the engine's view has it).
    const int ex = Width / 2 - int(0.4f * Width / 2), ey = Height / 2 - int(0.4f * Height / 2);
    const int mx = Width - ex, my = Height - ey; // mirrored through the centre: sprite 5's side
    int nearElement = 0, nearCentre = 0, farSide = 0, corner = 0;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const int b = Brightness(pixels[size_t(y) * Width + size_t(x)]);
            if (std::abs(x - ex) < 6 && std::abs(y - ey) < 6)
                nearElement = std::max(nearElement, b);
            if (std::abs(x - Width / 2) < 20 && std::abs(y - Height / 2) < 20)
                nearCentre = std::max(nearCentre, b);
            if (std::abs(x - mx) < 25 && std::abs(y - my) < 25)
                farSide = std::max(farSide, b);
            if (x > Width - 30 && y < 30)
                corner = std::max(corner, b);
        }
    EXPECT_GT(nearElement, 300); // the glare sprite, brightest
    EXPECT_GT(nearCentre, 30);
    EXPECT_GT(farSide, 30);
    EXPECT_LT(corner, 10); // away from the line: black
}

TEST_F(FlareRender, BehindTheCameraDrawsNothing) {
    Look({0, 0, 0}, {0, 0, -1});
    Obj::LensFlare flare({0.2f, 0.15f, 1});
    const std::vector<uint32_t> pixels = Draw(flare, 0);
    EXPECT_FALSE(drawn);
    EXPECT_EQ(flare.SpritesDrawn(), 0u);
    EXPECT_EQ(Lit(pixels), 0);
}

// A flare whose fade is below one step draws no sprite at all: on its first short frame, and once it has
// faded out behind a blocker or off the screen (where its far sprites could still reach the view).
TEST_F(FlareRender, FadedOutDrawsNothing) {
    Look({0, 0, 0}, {0, 0, 1});
    {
        Obj::LensFlare flare({0.2f, 0.15f, 1});
        const std::vector<uint32_t> pixels = Draw(flare, 0, 0.001f);
        EXPECT_FALSE(drawn);
        EXPECT_LT(flare.Alpha(), 1);
        EXPECT_EQ(flare.SpritesDrawn(), 0u);
        EXPECT_EQ(Lit(pixels), 0);
    }
    const struct {
        const char* what;
        Base::Vector3 element;
        bool blocked;
    } cases[] = {
        {"blocked", {0.2f, 0.15f, 1}, true},
        {"off the screen", {0.8f, 0.15f, 1}, false},
    };
    for (const auto& c : cases) {
        // Seen in full first, from the view's centre.
        Obj::LensFlare flare(c.element);
        Look({0, 0, 0}, {c.element.x, c.element.y, c.element.z});
        Draw(flare, 0);
        ASSERT_TRUE(drawn) << c.what;
        ASSERT_EQ(flare.SpritesDrawn(), 7u) << c.what;
        Look({0, 0, 0}, {0, 0, 1});
        const auto blocker = [&c](const Base::Vector3&, const Base::Vector3&, const Base::Vector3&) {
            return c.blocked;
        };
        std::vector<uint32_t> pixels;
        int frames = 0, litWhileFading = 0;
        for (float time = 1; frames < 40; time += 0.25f, ++frames) {
            pixels = Draw(flare, time, 0.1f, blocker);
            if (!drawn)
                break;
            litWhileFading = std::max(litWhileFading, Lit(pixels));
        }
        EXPECT_LT(frames, 40) << c.what;
        EXPECT_GT(litWhileFading, 0) << c.what; // it fades, it does not vanish at once
        EXPECT_LT(flare.Alpha(), 1) << c.what;
        EXPECT_EQ(flare.SpritesDrawn(), 0u) << c.what;
        EXPECT_EQ(Lit(pixels), 0) << c.what;
    }
}

} // namespace
