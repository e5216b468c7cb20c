// Obj::Clump::Render on a device: the projection put back after a command that fails, levels that draw
// nothing, and the host's dummy atomic.
#include "SceneFixture.h"
#include "tests/support/GlDriver.h"
#include "tests/support/HiddenWindow.h"

#include "scene/Attachable.h"
#include "scene/AtomicData.h"
#include "scene/Clump.h"
#include "scene/CameraRelative.h"
#include "scene/EngineHost.h"

#include "platform/win32/SdlWindow.h"
#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/world/rpworld.h"

#include <SDL.h>
#include <d3d9.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <stdexcept>

namespace {

class ClumpDraw : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TestSupport::OpenHiddenWindow("draw", 160, 120, window, hwnd));
        ASSERT_TRUE(Rw::StartEngine(4096, 0, hwnd, 0, 0));
        camera = new Obj::Camera;
        RwCameraSetRaster(camera->camera, Rw::ColourRaster);
        RwCameraSetZRaster(camera->camera, Rw::DepthRaster);
        ASSERT_NE(RwCameraBeginUpdate(camera->camera), nullptr);
    }
    void TearDown() override {
        RwCameraEndUpdate(camera->camera);
        delete camera;
        Obj::Clump::DrawPoint = nullptr;
        Rw::StopEngine();
        TestSupport::PinGlDriver();
        Win32::DetachSdlWindow(hwnd);
        SDL_DestroyWindow(window);
    }
    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    Obj::Camera* camera = nullptr;
};

float Projection33() {
    D3DMATRIX m{};
    RwD3D9GetTransform(D3DTS_PROJECTION, &m);
    return m._33;
}

} // namespace

TEST_F(ClumpDraw, DepthBiasIsUndoneAfterTheDrawAndAfterAFailingCommand) {
    Obj::Clump model;
    const RwV3d ahead = {0, 0, 50};
    RwMatrix place;
    RwMatrixSetIdentity(&place);
    place.pos = ahead;
    RwMatrixUpdate(&place);
    model.Transform(&place, rwCOMBINEREPLACE);
    const float before = Projection33();
    Obj::DffLod lod{1e9f, {}};
    lod.commands.push_back({Obj::DffCommand::DepthBias, std::bit_cast<uint32_t>(10.0f), 0, 0, nullptr});
    lod.commands.push_back({Obj::DffCommand::DepthBias, std::bit_cast<uint32_t>(10.0f), 0, 0, nullptr});
    lod.commands.push_back({Obj::DffCommand::RenderPoint, std::bit_cast<uint32_t>(0.0f),
                            std::bit_cast<uint32_t>(1e9f), 0, nullptr});
    model.renderOrders.push_back({128, {lod}});

    static float during;
    Obj::Clump::DrawPoint = [](const RwV3d&, uint8_t) { during = Projection33(); };
    model.Render(128);
    EXPECT_FLOAT_EQ(during, before * 1.01f * 1.01f) << "depth biases compound";
    EXPECT_FLOAT_EQ(Projection33(), before);

    Obj::Clump::DrawPoint = [](const RwV3d&, uint8_t) { throw std::runtime_error("draw failed"); };
    EXPECT_THROW(model.Render(128), std::runtime_error);
    EXPECT_FLOAT_EQ(Projection33(), before) << "the kept projection is put back as the draw unwinds";

    // A key the model lacks, or a model without render orders, draws nothing.
    static int points;
    points = 0;
    Obj::Clump::DrawPoint = [](const RwV3d&, uint8_t) { ++points; };
    model.Render(127);
    Obj::Clump empty;
    empty.Render(128);
    EXPECT_EQ(points, 0);
    model.Render(128);
    EXPECT_EQ(points, 1);
}

TEST_F(ClumpDraw, TheDummyAtomicIsOneBlackTriangleAtTheOrigin) {
    ASSERT_NE(Rw::DummyAtomic, nullptr);
    const RpGeometry* geometry = RpAtomicGetGeometry(Rw::DummyAtomic);
    ASSERT_NE(geometry, nullptr);
    EXPECT_EQ(geometry->numVertices, 3);
    EXPECT_EQ(geometry->numTriangles, 1);
    EXPECT_EQ(geometry->flags & 0xFF, 0x22u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(geometry->morphTarget[0].verts[i].x, 0.0f);
        EXPECT_EQ(geometry->triangles[0].vertIndex[i], i);
    }
    const RpMaterial* material = geometry->matList.materials[geometry->triangles[0].matIndex];
    EXPECT_EQ(material->color.alpha, 255);
    EXPECT_EQ(material->color.red, 0);
    EXPECT_NE(RpAtomicGetFrame(Rw::DummyAtomic), nullptr);
}

TEST_F(ClumpDraw, NearModelsFarOutAreDrawnCameraRelativeAtTheirLevel) {
    // Camera and model 350,000 units out, 50 apart: the level-1 geometry is drawn with the model moved next
    // to a camera at the origin, and both are back in place afterwards.
    RwCameraEndUpdate(camera->camera);
    RwMatrix place;
    RwMatrixSetIdentity(&place);
    place.pos = {350000, 0, 350000};
    RwMatrixUpdate(&place);
    camera->Transform(&place, rwCOMBINEREPLACE);
    RwCameraSetFarClipPlane(camera->camera, 1000);
    ASSERT_NE(RwCameraBeginUpdate(camera->camera), nullptr);

    Obj::Clump model(SceneEngine::MakeClump({{"Hull", {-1, -1, 0}, {1, -1, 0}, {0, 1, 0}}}), true);
    place.pos = {350000, 0, 350050};
    RwMatrixUpdate(&place);
    model.Transform(&place, rwCOMBINEREPLACE);
    model.UpdateLocalBoundingSphere();
    model.cameraRelDistance = 1e6f;
    RpAtomic* atomic = nullptr;
    RpClumpForAllAtomics(
        model.clump, [](RpAtomic* a, void* d) { return *static_cast<RpAtomic**>(d) = a; }, &atomic);
    Rw::AtomicLodData* data = Rw::AtomicLodData::Get(atomic);
    ASSERT_NE(data, nullptr);
    static RwV3d drawnAt;
    static uint32_t drawnLevel;
    data->savedRenderCallback = [](RpAtomic* a) {
        drawnAt = RwFrameGetWorldMatrix(RpAtomicGetFrame(a))->pos;
        drawnLevel = Rw::AtomicLodData::Get(a)->index;
        return a;
    };
    RpAtomicSetRenderCallBack(atomic, Rw::AtomicLodData::RenderCallback);
    Rw::AtomicLodData::SetGeometry(atomic, 0, RpAtomicGetGeometry(atomic));
    Rw::AtomicLodData::SetGeometry(atomic, 1, RpAtomicGetGeometry(atomic));
    Obj::DffLod nearLevel{1, {}}, farLevel{1e9f, {}};
    farLevel.commands.push_back({Obj::DffCommand::RenderAtomics, 0, 0, 0, atomic});
    model.renderOrders.push_back({128, {nearLevel, farLevel}});

    drawnLevel = 99;
    model.Render(128);
    EXPECT_EQ(drawnLevel, 1u);
    EXPECT_NEAR(drawnAt.x, 0, 1e-3f);
    EXPECT_NEAR(drawnAt.z, 50, 1e-3f);
    EXPECT_EQ(RwFrameGetWorldMatrix(model.frame)->pos.z, 350050.0f);
    EXPECT_EQ(RwFrameGetWorldMatrix(camera->frame)->pos.x, 350000.0f);
    EXPECT_EQ(Rw::GetSavedCameraPosition()[2], 350000.0f);
}
