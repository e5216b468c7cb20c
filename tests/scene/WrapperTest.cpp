// The engine object wrappers: lifetimes both ways, the attachment tree, double-precision positions, the
// clump's spheres, segment and sphere tests, level choice, the fading point and the frustum planes.
#include "SceneFixture.h"

#include "scene/CameraRelative.h"
#include "scene/Clump.h"

#include "base/SmartPtr.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/plcore/matrix.h"

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include <cmath>
#include <vector>

namespace {

using Wrappers = SceneEngine;

RwMatrix Placement(float degrees, RwV3d axis, RwV3d position) {
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    RwMatrixRotate(&m, &axis, degrees, rwCOMBINEREPLACE);
    RwMatrixTranslate(&m, &position, rwCOMBINEPOSTCONCAT);
    return m;
}

void ExpectSameMatrix(const RwMatrix& a, const RwMatrix& b) {
    const RwV3d* rowsA[4] = {&a.right, &a.up, &a.at, &a.pos};
    const RwV3d* rowsB[4] = {&b.right, &b.up, &b.at, &b.pos};
    for (int r = 0; r < 4; ++r) {
        EXPECT_NEAR(rowsA[r]->x, rowsB[r]->x, 1e-4f) << r;
        EXPECT_NEAR(rowsA[r]->y, rowsB[r]->y, 1e-4f) << r;
        EXPECT_NEAR(rowsA[r]->z, rowsB[r]->z, 1e-4f) << r;
    }
}

} // namespace

TEST_F(Wrappers, EngineObjectAndWrapperDieTogetherEitherWay) {
    // The engine destroys the clump: its wrapper goes with it.
    auto* wrapped = new Obj::Clump(MakeClump({{"A", {0, 0, 0}, {1, 0, 0}, {0, 1, 0}}}), true);
    Base::SmartPtr<Obj::Clump> watch = wrapped;
    EXPECT_EQ(Rw::Clump::LiveCount(), 1);
    EXPECT_EQ(Rw::Clump::FromEngine(wrapped->clump), wrapped);
    RpClumpDestroy(wrapped->clump);
    EXPECT_EQ(watch.Get(), nullptr);
    EXPECT_EQ(Rw::Clump::LiveCount(), 0);
    EXPECT_EQ(Rw::Frame::LiveFrameCount(), 0);

    // The wrapper dies first: the owned clump and its frames are destroyed once.
    delete new Obj::Clump(MakeClump({{"A", {0, 0, 0}, {1, 0, 0}, {0, 1, 0}}}), true);
    EXPECT_EQ(Rw::Clump::LiveCount(), 0);
    EXPECT_EQ(Rw::Frame::LiveFrameCount(), 0);

    // A wrapper that does not own leaves the clump alive.
    RpClump* kept = MakeClump({});
    delete new Obj::Clump(kept, false);
    EXPECT_EQ(Rw::Clump::LiveCount(), 1);
    EXPECT_EQ(Rw::Clump::FromEngine(kept), nullptr);
    RpClumpDestroy(kept);

    // Lights, cameras and the empty clump the same way.
    auto* light = new Obj::Light(rpLIGHTPOINT);
    Base::SmartPtr<Obj::Light> lightWatch = light;
    EXPECT_EQ(Rw::Light::LiveCount(), 1);
    RpLightDestroy(light->light);
    EXPECT_EQ(lightWatch.Get(), nullptr);
    delete new Obj::Light(rpLIGHTAMBIENT);
    delete new Obj::Camera;
    auto* camera = new Obj::Camera;
    Base::SmartPtr<Obj::Camera> cameraWatch = camera;
    RwCameraDestroy(camera->camera);
    EXPECT_EQ(cameraWatch.Get(), nullptr);
    delete new Obj::Clump;
    // Frames left by the camera and light destroyed by the engine are the wrappers' no longer.
    EXPECT_EQ(Rw::Camera::LiveCount(), 0);
}

TEST_F(Wrappers, AttachingAndDetachingKeepTheWorldPlacement) {
    auto* parent = new Obj::Frame;
    const RwMatrix parentPlace = Placement(30, {0, 1, 0}, {100, 5, -40});
    parent->Transform(&parentPlace, rwCOMBINEREPLACE);
    auto* child = new Obj::Frame;
    const RwMatrix childPlace = Placement(-45, {1, 0, 0}, {3, 4, 5});
    child->Transform(&childPlace, rwCOMBINEREPLACE);
    const RwMatrix before = *RwFrameGetWorldMatrix(child->frame);

    child->AttachTo(parent, parent->frame, true);
    EXPECT_EQ(child->GetParent(), parent);
    EXPECT_EQ(parent->FindChild<Obj::Frame>(), child);
    ExpectSameMatrix(*RwFrameGetWorldMatrix(child->frame), before);

    const RwMatrix moved = Placement(90, {0, 0, 1}, {0, 0, 0});
    parent->Transform(&moved, rwCOMBINEPOSTCONCAT);
    const RwMatrix attachedWorld = *RwFrameGetWorldMatrix(child->frame);
    child->Detach(true);
    EXPECT_EQ(child->GetParent(), nullptr);
    ExpectSameMatrix(*RwFrameGetWorldMatrix(child->frame), attachedWorld);

    // Deleting a parent deletes the subtree below it.
    child->AttachTo(parent, parent->frame, false);
    auto* grandchild = new Obj::Frame;
    grandchild->AttachTo(child, child->frame, false);
    Base::SmartPtr<Obj::Frame> watchChild = child, watchGrandchild = grandchild;
    delete parent;
    EXPECT_EQ(watchChild.Get(), nullptr);
    EXPECT_EQ(watchGrandchild.Get(), nullptr);
}

TEST_F(Wrappers, DoublePositionsFarFromTheOriginFollowDoubleMaths) {
    // A vehicle at 350,000 units moved by 0.01 each step, its position kept in double precision below a
    // rotated parent: the world position follows double arithmetic where a float sum drifts.
    Rw::Frame parent;
    const RwMatrix turn = Placement(90, {0, 1, 0}, {0, 0, 0});
    parent.Transform(&turn, rwCOMBINEREPLACE);
    parent.localPosition[0] = 350000.0;
    Rw::Frame child(RwFrameCreate(), true);
    RwFrameAddChild(parent.frame, child.frame);
    double expected = 0;
    float single = 350000.0f;
    for (int step = 0; step < 10000; ++step) {
        child.localPosition[2] += 0.01;
        expected += 0.01;
        single += 0.01f;
    }
    double world[3];
    child.GetWorldPositionDouble(world);
    const RwMatrix* m = RwFrameGetWorldMatrix(parent.frame);
    EXPECT_NEAR(world[0], 350000.0 + expected * m->at.x, 1e-6);
    EXPECT_NEAR(world[2], expected * m->at.z, 1e-6);
    EXPECT_GT(std::fabs(double(single) - 350100.0), 0.5) << "a float sum would drift";
}

TEST_F(Wrappers, CameraRelativeDrawingShiftsByTheDoubleDifference) {
    Obj::Camera camera;
    camera.localPosition[0] = 350000.25;
    camera.localPosition[2] = -123456.5;
    Obj::Frame object;
    object.localPosition[0] = 350010.75;
    object.localPosition[2] = -123450.0;
    Rw::BeginCameraRelative(&camera, &object);
    EXPECT_EQ(camera.frame->modelling.pos.x, 0.0f);
    EXPECT_EQ(object.frame->modelling.pos.x, 10.5f);
    EXPECT_EQ(object.frame->modelling.pos.z, 6.5f);
    EXPECT_EQ(Rw::GetSavedCameraPosition()[0], float(350000.25));
    Rw::EndCameraRelativeCamera(&camera);
    Rw::EndCameraRelativeObject();
    EXPECT_EQ(camera.frame->modelling.pos.x, float(350000.25));
    EXPECT_EQ(object.frame->modelling.pos.x, float(350010.75));
}

TEST_F(Wrappers, SegmentTestFindsTheNearerTriangle) {
    // Two triangles at z = 5 and z = 8 facing the origin, and a pair sharing an edge at z = 20.
    Obj::Clump model(MakeClump({{"Far", {-1, -1, 8}, {-1, 3, 8}, {3, -1, 8}},
                                {"Near", {-1, -1, 5}, {-1, 3, 5}, {3, -1, 5}},
                                {"Left", {0, -1, 20}, {-2, 0, 20}, {0, 1, 20}},
                                {"Right", {0, -1, 20}, {0, 1, 20}, {2, 0, 20}}}),
                     true);
    struct Case {
        RwLine segment;
        bool hit;
        float z;
    };
    const Case cases[] = {
        {{{0, 0, 0}, {0, 0, 10}}, true, 5},      // nearer of two
        {{{0, 0, 10}, {0, 0, 0}}, false, 0},     // back faces are not hit
        {{{0, 0, 0}, {0, 0, 5}}, true, 5},       // t = 1 counts
        {{{0, 0, 15}, {0, 0, 25}}, true, 20},    // on the shared edge
        {{{10, 10, 0}, {10, 10, 30}}, false, 0}, // beside everything
        {{{0, 0, 0}, {0, 0, 4.9f}}, false, 0},   // short of the first
    };
    for (const Case& c : cases) {
        RwV3d point = {-7, -7, -7}, normal = {-7, -7, -7};
        EXPECT_EQ(model.IntersectSegment(&c.segment, &point, &normal), c.hit) << c.segment.end.z;
        if (c.hit) {
            EXPECT_NEAR(point.z, c.z, 1e-4f);
            EXPECT_NEAR(normal.z, -1.0f, 1e-5f);
        } else {
            EXPECT_EQ(point.x, -7.0f) << "a miss leaves the outputs alone";
            EXPECT_EQ(normal.z, -7.0f);
        }
    }
    // Without the collision flag an atomic is not tested.
    RpClumpForAllAtomics(
        model.clump, [](RpAtomic* a, void*) { return RpAtomicSetFlags(a, rpATOMICRENDER); }, nullptr);
    const RwLine through = {{0, 0, 0}, {0, 0, 10}};
    EXPECT_FALSE(model.IntersectSegment(&through, nullptr, nullptr));
}

TEST_F(Wrappers, SphereTestCountsAndPlacesTouchedTriangles) {
    Obj::Clump model(
        MakeClump({{"A", {-1, -1, 5}, {3, -1, 5}, {-1, 3, 5}}, {"B", {-1, -1, 8}, {3, -1, 8}, {-1, 3, 8}}}),
        true);
    const RwMatrix moved = Placement(0, {0, 1, 0}, {100, 0, 0});
    model.Transform(&moved, rwCOMBINEREPLACE);
    std::vector<Obj::WorldTriangle> touched;
    const RwSphere sphere = {{100, 0, 6}, 2.5f};
    EXPECT_EQ(model.IntersectSphere(&sphere, &touched), 2);
    ASSERT_EQ(touched.size(), 2u);
    EXPECT_NEAR(touched[0].v[1].x, 103, 1e-4f);
    const RwSphere away = {{0, 0, 6}, 2.5f};
    const RwSphere between = {{100, 0, 6}, 1.5f};
    EXPECT_EQ(model.IntersectSphere(&between, nullptr), 1);
    EXPECT_EQ(model.IntersectSphere(&away, nullptr), 0);
}

TEST_F(Wrappers, SpheresFollowTheClumpFrame) {
    Obj::Clump model(MakeClump({{"A", {-1, 0, 0}, {1, 0, 0}, {0, 0, 0}}}), true);
    // The box around the atomics' spheres, and the sphere around that box.
    ASSERT_TRUE(model.UpdateLocalBoundingSphere());
    EXPECT_NEAR(model.localSphere.radius, std::sqrt(3.0f), 3e-3f); // the engine pads a sphere a little
    const RwMatrix moved = Placement(0, {0, 1, 0}, {0, 50, 0});
    model.Transform(&moved, rwCOMBINEREPLACE);
    EXPECT_FALSE(model.worldSphereValid);
    EXPECT_NEAR(model.GetWorldBoundingSphere()->center.y, 50, 1e-4f);
    EXPECT_TRUE(model.worldSphereValid);
    RpClumpForAllAtomics(
        model.clump, [](RpAtomic* a, void*) { return RpAtomicSetFlags(a, 0); }, nullptr);
    RwSphere unchanged = model.localSphere;
    EXPECT_FALSE(model.UpdateLocalBoundingSphere());
    EXPECT_EQ(model.localSphere.radius, unchanged.radius);
}

TEST(ClumpLevels, SelectionAtTheThresholds) {
    Obj::DffRenderOrder order;
    order.lods = {{100, {}}, {1000, {}}};
    EXPECT_EQ(Obj::Clump::SelectLevel(order, 0), 0);
    EXPECT_EQ(Obj::Clump::SelectLevel(order, 100), 0);
    EXPECT_EQ(Obj::Clump::SelectLevel(order, 100.5f), 1);
    EXPECT_EQ(Obj::Clump::SelectLevel(order, 1000), 1);
    EXPECT_EQ(Obj::Clump::SelectLevel(order, 1000.5f), -1);
    EXPECT_EQ(Obj::Clump::SelectLevel(Obj::DffRenderOrder{}, 0), -1);
}

TEST(ClumpLevels, RenderPointFadesBetweenStartAndEnd) {
    struct Case {
        float distance, start, end;
        int alpha;
    };
    const Case cases[] = {
        {0, 5000, 10000, 255},   {5000, 5000, 10000, 255}, {7500, 5000, 10000, 128},
        {9999, 5000, 10000, 0},  {10000, 5000, 10000, 0},  {20000, 5000, 10000, 0},
        {4999, 6000, 6000, 255}, {6000, 6000, 6000, 0}, // equal distances: a step at the end
        {100, 9000, 1000, 255},  {1000, 9000, 1000, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Obj::Clump::PointAlpha(c.distance, c.start, c.end), c.alpha)
            << c.distance << " " << c.start << " " << c.end;
}

TEST(FrustumPlanes, PlanesOfACameraLookingAlongZ) {
    Rw::CameraView view{};
    view.position = {10, 20, 30};
    view.at = {0, 0, 1};
    view.up = {0, 1, 0};
    view.windowX = view.windowY = 1;
    view.nearClip = 1;
    view.farClip = 500;
    const float h = std::sqrt(0.5f);
    struct Case {
        const char* name;
        Rw::Plane* (Rw::CameraView::*get)(Rw::Plane*) const;
        RwV3d normal;
        RwV3d through;
    };
    const Case cases[] = {
        {"minus right", &Rw::CameraView::GetMinusRightPlane, {h, 0, h}, {10, 20, 30}},
        {"plus right", &Rw::CameraView::GetPlusRightPlane, {-h, 0, h}, {10, 20, 30}},
        {"bottom", &Rw::CameraView::GetBottomPlane, {0, h, h}, {10, 20, 30}},
        {"top", &Rw::CameraView::GetTopPlane, {0, -h, h}, {10, 20, 30}},
        {"near", &Rw::CameraView::GetNearPlane, {0, 0, 1}, {10, 20, 31}},
        {"far", &Rw::CameraView::GetFarPlane, {0, 0, -1}, {10, 20, 530}},
    };
    for (const Case& c : cases) {
        Rw::Plane plane{};
        EXPECT_EQ((view.*c.get)(&plane), &plane);
        EXPECT_NEAR(plane.x, c.normal.x, 1e-6f) << c.name;
        EXPECT_NEAR(plane.y, c.normal.y, 1e-6f) << c.name;
        EXPECT_NEAR(plane.z, c.normal.z, 1e-6f) << c.name;
        EXPECT_NEAR(plane.d, plane.x * c.through.x + plane.y * c.through.y + plane.z * c.through.z, 1e-3f)
            << c.name;
        // A point straight ahead between the clip planes is inside every plane.
        const RwV3d ahead = {10, 20, 100};
        EXPECT_GT(plane.x * ahead.x + plane.y * ahead.y + plane.z * ahead.z - plane.d, 0) << c.name;
    }
    // A point exactly on the far plane lies on it.
    Rw::Plane far{};
    view.GetFarPlane(&far);
    EXPECT_NEAR(far.z * 530 - far.d, 0, 1e-3f);
}

TEST_F(Wrappers, FieldOfViewAndViewParameters) {
    Obj::Camera camera;
    RwRaster raster{};
    raster.width = 400;
    raster.height = 300;
    RwCameraSetRaster(camera.camera, &raster);
    camera.SetFieldOfView(float(M_PI / 2));
    EXPECT_NEAR(camera.camera->viewWindow.x, 1.0f, 1e-6f);
    EXPECT_NEAR(camera.camera->viewWindow.y, 0.75f, 1e-6f);
    camera.SetAspectRatio(1.5f);
    EXPECT_NEAR(camera.camera->viewWindow.y, 0.5f, 1e-6f);
    RwCameraSetRaster(camera.camera, nullptr);

    const RwMatrix place = Placement(90, {0, 1, 0}, {5, 6, 7});
    camera.Transform(&place, rwCOMBINEREPLACE);
    RwCameraSetNearClipPlane(camera.camera, 2);
    RwCameraSetFarClipPlane(camera.camera, 900);
    const Rw::CameraView* view = camera.GetViewParameters();
    EXPECT_EQ(view->position.x, 5.0f);
    EXPECT_NEAR(view->at.x, 1.0f, 1e-6f) << "a quarter turn about y looks along +x";
    EXPECT_NEAR(view->up.y, 1.0f, 1e-6f);
    EXPECT_EQ(view->windowX, camera.camera->viewWindow.x);
    EXPECT_EQ(view->nearClip, 2.0f);
    EXPECT_EQ(view->farClip, 900.0f);
}
