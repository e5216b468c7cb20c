// The sample airbase's runway and hangars drawn on the Direct3D 9 driver through the game's engine host, in
// daylight, near and from afar: they show their textures' asphalt and metal, not black shapes.
#include "objects/Model.h"
#include "HostViewFixture.h"

#include "base/Info.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

class AirbaseRender : public HostView {
protected:
    AirbaseRender() : HostView("airbase", 1, 20000, 0.4f) {}
    // Pixels that are not the sky, and how many of them are nearly black.
    static void Count(const std::vector<uint32_t>& pixels, int& drawn, int& black) {
        drawn = black = 0;
        for (uint32_t c : pixels) {
            if ((c & 0xFFFFFF) == 0x96B9E1)
                continue;
            ++drawn;
            const int r = int(c >> 16 & 255), g = int(c >> 8 & 255), b = int(c & 255);
            black += r + g + b < 60;
        }
    }
};

TEST_F(AirbaseRender, RunwayAndHangarsShowTheirTexturesNearAndFar) {
    // The textures where the game finds them: runway.bmp in one folder, metal.tif in the other.
    Rw::RegisterImageFormats();
    RwImageSetPath("Data/Textures/;Data/Textures2/");
    Base::Info info;
    ASSERT_EQ(info.LoadFile("Data/Models/Base.model"), 0);
    auto model = std::make_unique<Obj::Model>();
    ASSERT_TRUE(model->Load(&info));
    world->AddObject(model.get());
    struct View {
        const char* name;
        RwV3d position, target;
    };
    // Over the runway's east end looking along it; the hangars from the apron; the whole base from 3 km
    // away, where the textures' small mipmap levels are sampled.
    const View views[] = {{"AirbaseRunway.png", {1300, 40, 0}, {0, 0, 0}},
                          {"AirbaseHangars.png", {-240, 12, 200}, {-240, 8, 292}},
                          {"AirbaseFar.png", {3000, 400, 1500}, {0, 0, 100}}};
    for (const View& v : views) {
        Look(v.position, v.target);
        const std::vector<uint32_t> pixels = DrawOverSky();
        Save(pixels, v.name);
        int drawn = 0, black = 0;
        Count(pixels, drawn, black);
        EXPECT_GT(drawn, Width * Height / 200) << v.name;
        EXPECT_LT(black, drawn / 10) << v.name;
    }
    world->RemoveObject(model.get());
}

} // namespace
