// A sample patrol ship sailing on a calm sea with its wake, drawn on the Direct3D 9 driver through the game's
// engine host: the foam shows behind the ship and not ahead of it, the device states and the projection are
// back after the draw, and the frame is written for a look (ShipWakeView.png).
#include "objects/Ship.h"
#include "objects/WaterTrail.h"
#include "HostViewFixture.h"

#include "base/Info.h"
#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/pipe/p2/im3d.h"
#include "rwsdk/src/renderstate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

constexpr RwRGBA Sea = {38, 78, 112, 255};

class ShipWakeRender : public HostView {
protected:
    ShipWakeRender() : HostView("wake", 1, 5000, 0.45f) {}
    // The sea: one opaque quad at sea level under everything, so that the wake has depth to sit on.
    static void DrawSea(float x, float z) {
        RwIm3DVertex v[4] = {};
        const float r = 4000;
        const RwV3d corners[4] = {{x - r, 0, z - r}, {x + r, 0, z - r}, {x - r, 0, z + r}, {x + r, 0, z + r}};
        for (int i = 0; i < 4; ++i) {
            v[i].objVertex = corners[i];
            v[i].color = 0xFF000000u | uint32_t(Sea.red) << 16 | uint32_t(Sea.green) << 8 | Sea.blue;
        }
        RwRenderStateSet(rwRENDERSTATETEXTURERASTER, nullptr);
        RwRenderStateSet(rwRENDERSTATECULLMODE, reinterpret_cast<void*>(uintptr_t(rwCULLMODECULLNONE)));
        RwImVertexIndex indices[6] = {0, 1, 2, 2, 1, 3};
        if (RwIm3DTransform(v, 4, nullptr, rwIM3D_ALLOPAQUE)) {
            RwIm3DRenderIndexedPrimitive(rwPRIMTYPETRILIST, indices, 6);
            RwIm3DEnd();
        }
        RwRenderStateSet(rwRENDERSTATECULLMODE, reinterpret_cast<void*>(uintptr_t(rwCULLMODECULLBACK)));
    }
    std::vector<uint32_t> Draw(float seaX, float seaZ) {
        RwCameraBeginUpdate(camera->camera);
        RwRGBA clear = Sea;
        RwCameraClear(camera->camera, &clear, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        Rw::ResetRenderStates();
        DrawSea(seaX, seaZ);
        D3DMATRIX before{};
        RwD3D9GetTransform(D3DTS_PROJECTION, &before);
        RenderWorld();
        D3DMATRIX after{};
        RwD3D9GetTransform(D3DTS_PROJECTION, &after);
        EXPECT_EQ(after._33, before._33) << "the wake's depth bias is undone";
        RwUInt32 zwrite = 0;
        RwRenderStateGet(rwRENDERSTATEZWRITEENABLE, &zwrite);
        EXPECT_EQ(zwrite, 1u);
        RwCameraEndUpdate(camera->camera);
        return RenderSupport::ReadBack();
    }
    // Mean brightness (r + g + b) of the 5 x 5 pixels around the world point's place on the screen.
    int Brightness(const std::vector<uint32_t>& pixels, RwV3d point) const {
        RwV3d screen;
        camera->ProjectPoint(&point, &screen);
        const int cx = int(screen.x), cy = int(screen.y);
        EXPECT_TRUE(cx >= 2 && cx < Width - 2 && cy >= 2 && cy < Height - 2) << cx << " " << cy;
        int sum = 0;
        for (int y = cy - 2; y <= cy + 2; ++y)
            for (int x = cx - 2; x <= cx + 2; ++x) {
                const uint32_t c = pixels[size_t(std::clamp(y, 0, Height - 1)) * Width +
                                          size_t(std::clamp(x, 0, Width - 1))];
                sum += int((c >> 16) & 0xFF) + int((c >> 8) & 0xFF) + int(c & 0xFF);
            }
        return sum / 25;
    }
};

TEST_F(ShipWakeRender, TheWakeFoamsBehindTheShip) {
    Base::Info info;
    ASSERT_EQ(info.LoadFile("Data/Models/PatrolShip.info"), 0);
    auto* ship = new Obj::Ship;
    ASSERT_TRUE(ship->Setup(&info, {0, 0}, {0, 1}, 10, 10, 0.02f, 0.02f));
    world->AddObject(ship);
    ship->MoveTo({0, 100000});
    // Half a minute of sailing, then a slow turn to port for another.
    for (int f = 0; f < 300; ++f) {
        world->time->time += 0.1f;
        world->time->step = 0.1f;
        Grp::RunGroup(*world->runnables);
    }
    ship->MoveTo({-100000, 100000});
    for (int f = 0; f < 300; ++f) {
        world->time->time += 0.1f;
        world->time->step = 0.1f;
        Grp::RunGroup(*world->runnables);
    }
    Obj::WaterTrail* wake = ship->wake;
    ASSERT_NE(wake, nullptr);
    ASSERT_GE(wake->points.size(), 5u);
    ASSERT_NE(wake->texture, nullptr) << "the WaterTrail texture of the sample data";
    double p[3];
    ship->GetWorldPositionDouble(p);
    const float sx = float(p[0]), sz = float(p[2]);
    // From behind and to the right of the ship, over its wake.
    const RwV3d at = RwFrameGetWorldMatrix(ship->frame)->at;
    const Base::Vector2 f = Base::Normalize2d(at.x, at.z), r = {f.y, -f.x};
    Look({sx - 170 * f.x + 70 * r.x, 90, sz - 170 * f.y + 70 * r.y}, {sx - 30 * f.x, 0, sz - 30 * f.y});
    const std::vector<uint32_t> pixels = Draw(sx, sz);
    Save(pixels, "ShipWakeView.png");

    // A point of the strip two intervals behind the head, and one ahead of the ship.
    const auto& older = wake->points[wake->points.size() - 3];
    const int sea = Sea.red + Sea.green + Sea.blue;
    EXPECT_GT(Brightness(pixels, {older.x, 0.5f, older.z}), sea + 60) << "foam on the wake";
    EXPECT_EQ(Brightness(pixels, {sx + 120 * f.x, 0, sz + 120 * f.y}), sea) << "open sea ahead of the ship";
    const RwSphere* sphere = wake->GetBoundingSphere();
    ASSERT_NE(sphere, nullptr);
    EXPECT_GT(sphere->radius, 50);
    world->RemoveObject(ship);
    delete ship;
}

} // namespace
