// A sample truck broken into a wreck and drawn on the Direct3D 9 driver through the game's engine host: the
// pieces spread from where the truck stood, both faces of the cut shells show, culling is back on after the
// draw, and the frame is written for a look (WreckView.png).
#include "objects/Model.h"
#include "objects/Wreck.h"
#include "HostViewFixture.h"

#include "base/Info.h"
#include "base/Random.h"
#include "base/SmartPtr.h"
#include "rwsdk/src/renderstate.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

class WreckRender : public HostView {
protected:
    // Daylight: a grey ambient and a sun from above and behind the camera.
    WreckRender() : HostView("wreck", 0.5f, 2000, 0.4f) {}
    std::vector<uint32_t> Draw() {
        RwCameraBeginUpdate(camera->camera);
        RwRGBA sky = {150, 185, 225, 255};
        RwCameraClear(camera->camera, &sky, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        Rw::ResetRenderStates();
        RenderWorld();
        RwUInt32 cull = 0;
        RwRenderStateGet(rwRENDERSTATECULLMODE, &cull);
        EXPECT_EQ(cull, uint32_t(rwCULLMODECULLBACK));
        RwCameraEndUpdate(camera->camera);
        return RenderSupport::ReadBack();
    }
    static int Covered(const std::vector<uint32_t>& pixels, int x0, int x1) {
        int count = 0;
        for (int y = 0; y < Height; ++y)
            for (int x = x0; x < x1; ++x)
                count += (pixels[size_t(y) * Width + size_t(x)] & 0xFFFFFF) != 0x96B9E1;
        return count;
    }
};

TEST_F(WreckRender, ATruckBreaksAndItsPiecesShow) {
    Base::Info info;
    ASSERT_EQ(info.LoadFile("Data/Models/Truck.info"), 0);
    auto model = std::make_unique<Obj::Model>();
    ASSERT_TRUE(model->Load(&info));
    world->AddObject(model.get());
    Look({0, 6, -16}, {0, 1, 0});
    const std::vector<uint32_t> whole = Draw();
    const int truck = Covered(whole, 0, Width);
    EXPECT_GT(truck, Width * Height / 50);

    // Broken as a destroyed car breaks it (depth 1, pieces up to 1.0, 200 s), a little harder so that the
    // pieces spread in a few frames, then the truck taken away.
    Base::Random::Seed(26);
    auto* wreck = new Obj::Wreck;
    wreck->CreateFromModel(model.get(), {0, 0, 0}, 1, 1.0f, 10, 1.0f);
    ASSERT_GE(wreck->Fragments().size(), 2u);
    world->RemoveObject(model.get());
    model.reset();
    Base::SmartPtr<Obj::Wreck> watched(wreck);
    world->AddObject(wreck);
    for (int f = 0; f < 10; ++f) {
        world->time->time += 1 / 30.0f;
        world->time->step = 1 / 30.0f;
        Grp::RunGroup(*world->runnables);
    }
    ASSERT_TRUE(watched);
    const std::vector<uint32_t> pieces = Draw();

    Save(pieces, "WreckView.png");
    Save(whole, "WreckWhole.png");

    // The pieces show, spread wider than the truck stood.
    const int covered = Covered(pieces, 0, Width);
    EXPECT_GT(covered, truck / 4);
    auto spread = [](const std::vector<uint32_t>& p) {
        int left = Width, right = -1;
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                if ((p[size_t(y) * Width + size_t(x)] & 0xFFFFFF) != 0x96B9E1) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        return right - left;
    };
    EXPECT_GT(spread(pieces), spread(whole));
}

} // namespace
