// Pixels: immediate-mode 2D lines and triangles, and an immediate-mode 3D triangle, through the engine.
#include "DriverFixture.h"
#include "tests/support/DeviceCalls.h"

#include "rwsdk/driver/d3d9/d3d92drend.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9rwrendst.h"
#include "rwsdk/src/pipe/p2/im3d.h"
#include "rwsdk/src/plcore/error.h"

namespace {

constexpr RwUInt32 Red = 0xFFFF0000, Green = 0xFF00FF00, Black = 0xFF000000;

RwIm2DVertex V(float x, float y, RwUInt32 colour) {
    return {x, y, 0.0f, 1.0f, colour, 0.0f, 0.0f};
}

class DrawTest : public DriverTest {
protected:
    void Begin() {
        ASSERT_TRUE(RwCameraBeginUpdate(camera));
        RwRGBA black = {0, 0, 0, 255};
        ASSERT_TRUE(RwCameraClear(camera, &black, rwCAMERACLEARIMAGE | rwCAMERACLEARZ));
        RwRenderStateSet(rwRENDERSTATEZTESTENABLE, nullptr);
        RwRenderStateSet(rwRENDERSTATECULLMODE, reinterpret_cast<void*>(uintptr_t(rwCULLMODECULLNONE)));
    }
    std::vector<uint32_t> End() {
        RwCameraEndUpdate(camera);
        unsigned w = 0, h = 0;
        auto pixels = ReadBackBuffer(w, h);
        EXPECT_EQ(w, unsigned(Width));
        EXPECT_EQ(h, unsigned(Height));
        return pixels;
    }
    static uint32_t At(const std::vector<uint32_t>& p, int x, int y) {
        return p[size_t(y) * Width + size_t(x)] | Black;
    }
};

} // namespace

TEST_F(DrawTest, TrianglesFillExactlyTheirPixels) {
    Begin();
    RwIm2DVertex quad[4] = {V(4, 6, Red), V(12, 6, Red), V(4, 20, Red), V(12, 20, Red)};
    ASSERT_TRUE(RwIm2DRenderTriangle(quad, 4, 0, 1, 2));
    ASSERT_TRUE(RwIm2DRenderTriangle(quad, 4, 1, 3, 2));
    auto p = End();
    for (int y = 4; y < 23; ++y) {
        for (int x = 2; x < 15; ++x) {
            const bool inside = x >= 4 && x < 12 && y >= 6 && y < 20;
            EXPECT_EQ(At(p, x, y), inside ? Red : Black) << x << ", " << y;
        }
    }
}

TEST_F(DrawTest, LinesLandOnTheirPixels) {
    Begin();
    RwIm2DVertex line[2] = {V(10, 30, Green), V(30, 30, Green)};
    ASSERT_TRUE(RwIm2DRenderLine(line, 2, 0, 1));
    RwIm2DVertex column[2] = {V(40, 5, Red), V(40, 25, Red)};
    ASSERT_TRUE(RwIm2DRenderPrimitive(rwPRIMTYPELINELIST, column, 2));
    auto p = End();
    for (int x = 10; x < 30; ++x) {
        EXPECT_EQ(At(p, x, 30), Green) << x;
        EXPECT_EQ(At(p, x, 29), Black) << x;
        EXPECT_EQ(At(p, x, 31), Black) << x;
    }
    EXPECT_EQ(At(p, 9, 30), Black);
    // Direct3D 9 draws a line's last pixel (D3DRS_LASTPIXEL is TRUE unless set otherwise).
    EXPECT_EQ(At(p, 30, 30), Green) << "the last pixel of a line is drawn";
    EXPECT_EQ(At(p, 31, 30), Black);
    for (int y = 5; y <= 25; ++y)
        EXPECT_EQ(At(p, 40, y), Red) << y;
    EXPECT_EQ(At(p, 40, 26), Black);
    EXPECT_EQ(At(p, 41, 10), Black);
    EXPECT_EQ(At(p, 39, 10), Black);
}

TEST_F(DrawTest, PrimitiveCountsAndIndexedDrawing) {
    Begin();
    StartLog();
    RwIm2DVertex seven[7];
    for (int i = 0; i < 7; ++i)
        seven[i] = V(float(2 + 4 * i), float(2 + (i % 2) * 4), Green);
    ASSERT_TRUE(RwIm2DRenderPrimitive(rwPRIMTYPEPOLYLINE, seven, 7));
    ASSERT_TRUE(RwIm2DRenderPrimitive(rwPRIMTYPELINELIST, seven, 7));
    RwIm2DVertex quad[4] = {V(20, 20, Red), V(30, 20, Red), V(20, 30, Red), V(30, 30, Red)};
    RwImVertexIndex indices[6] = {0, 1, 2, 1, 3, 2};
    ASSERT_TRUE(RwIm2DRenderIndexedPrimitive(rwPRIMTYPETRILIST, quad, 4, indices, 6));
    RwIm2DVertex six[6] = {quad[0], quad[1], quad[2], quad[1], quad[3], quad[2]};
    RwImVertexIndex straight[6] = {0, 1, 2, 3, 4, 5};
    ASSERT_TRUE(RwIm2DRenderIndexedPrimitive(rwPRIMTYPETRILIST, six, 6, straight, 6));
    RwImVertexIndex beyond[3] = {0, 1, 9};
    EXPECT_FALSE(RwIm2DRenderIndexedPrimitive(rwPRIMTYPETRILIST, quad, 4, beyond, 3))
        << "index past the vertices";
    auto log = Log();
    std::vector<std::string> draws;
    for (const auto& call : log)
        if (call.rfind("Draw", 0) == 0)
            draws.push_back(call.substr(0, call.find(',') + 1));
    EXPECT_EQ(draws,
              (std::vector<std::string>{DeviceCalls::DrawOf("DrawPrimitive", D3DPT_LINESTRIP),
                                        DeviceCalls::DrawOf("DrawPrimitive", D3DPT_LINELIST),
                                        DeviceCalls::DrawOf("DrawIndexedPrimitive", D3DPT_TRIANGLELIST),
                                        DeviceCalls::DrawOf("DrawPrimitive", D3DPT_TRIANGLELIST)}));
    EXPECT_GE(Find(log, DeviceCalls::DrawPrimitive(D3DPT_LINESTRIP, 0, 6)), 0)
        << "seven vertices as a polyline draw six lines";
    EXPECT_GE(Find(log, DeviceCalls::DrawPrimitive(D3DPT_LINELIST, 7, 3)), 0)
        << "seven as a line list draw three";
    auto p = End();
    EXPECT_EQ(At(p, 25, 25), Red);
}

TEST_F(DrawTest, SubRasterCameraShiftsTheVertices) {
    RwRaster* sub = RwRasterCreate(0, 0, 0, rwRASTERTYPECAMERA | rwRASTERDONTALLOCATE);
    RwRect rect = {20, 10, 30, 30};
    ASSERT_NE(RwRasterSubRaster(sub, colour, &rect), nullptr);
    ASSERT_TRUE(RwCameraBeginUpdate(camera));
    RwRGBA black = {0, 0, 0, 255};
    RwCameraClear(camera, &black, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
    RwCameraEndUpdate(camera);
    RwCameraSetRaster(camera, sub);
    ASSERT_TRUE(RwCameraBeginUpdate(camera));
    RwRenderStateSet(rwRENDERSTATECULLMODE, reinterpret_cast<void*>(uintptr_t(rwCULLMODECULLNONE)));
    RwIm2DVertex quad[4] = {V(0, 0, Red), V(4, 0, Red), V(0, 4, Red), V(4, 4, Red)};
    ASSERT_TRUE(RwIm2DRenderPrimitive(rwPRIMTYPETRISTRIP, quad, 4));
    RwCameraEndUpdate(camera);
    RwCameraSetRaster(camera, colour);
    unsigned w = 0, h = 0;
    auto p = ReadBackBuffer(w, h);
    EXPECT_EQ(p[size_t(12) * w + 22] | Black, Red);
    EXPECT_EQ(p[size_t(2) * w + 2] | Black, Black);
    RwRasterDestroy(sub);
}

TEST_F(DrawTest, Im3DTriangleFromTheCameraFrame) {
    // The camera at the origin looks down +z; a triangle 5 units ahead covers the screen's centre.
    Begin();
    RwIm3DVertex v[3] = {};
    v[0].objVertex = {-1, -1, 5};
    v[1].objVertex = {1, -1, 5};
    v[2].objVertex = {0, 1, 5};
    for (auto& vertex : v)
        vertex.color = Green;
    ASSERT_NE(RwIm3DTransform(v, 3, nullptr, rwIM3D_ALLOPAQUE), nullptr);
    ASSERT_TRUE(RwIm3DRenderPrimitive(rwPRIMTYPETRILIST));
    ASSERT_TRUE(RwIm3DEnd());
    auto p = End();
    EXPECT_EQ(At(p, Width / 2, Height / 2), Green);
    EXPECT_EQ(At(p, 1, 1), Black);
    EXPECT_EQ(At(p, Width - 2, Height - 2), Black);
}

TEST_F(DrawTest, Im3DCameraRightIsTheScreenLeftAndUpIsUp) {
    // The view mirrors x: the camera frame's right vector points to the left of the screen.
    Begin();
    RwIm3DVertex v[3] = {};
    v[0].objVertex = {0.2f, 0.2f, 5};
    v[1].objVertex = {4.0f, 0.2f, 5};
    v[2].objVertex = {0.2f, 4.0f, 5};
    for (auto& vertex : v)
        vertex.color = Green;
    ASSERT_NE(RwIm3DTransform(v, 3, nullptr, rwIM3D_ALLOPAQUE), nullptr);
    ASSERT_TRUE(RwIm3DRenderPrimitive(rwPRIMTYPETRILIST));
    RwIm3DEnd();
    auto p = End();
    EXPECT_EQ(At(p, Width / 2 - 6, Height / 2 - 6), Green) << "upper left";
    EXPECT_EQ(At(p, Width / 2 + 6, Height / 2 - 6), Black);
    EXPECT_EQ(At(p, Width / 2 - 6, Height / 2 + 6), Black);
}

TEST_F(DrawTest, Im3DTakesExactly65536Vertices) {
    Begin();
    std::vector<RwIm3DVertex> v(65537);
    for (size_t i = 0; i < v.size(); ++i) {
        // Degenerate triangles everywhere except the last, which covers the centre.
        v[i].objVertex = {0, 0, 5};
        v[i].color = Red;
    }
    v[65532].objVertex = {-1, -1, 5};
    v[65533].objVertex = {1, -1, 5};
    v[65534].objVertex = {0, 1, 5};
    EXPECT_EQ(RwIm3DTransform(v.data(), 65537, nullptr, 0), nullptr);
    RwError error{};
    RwErrorGet(&error);
    EXPECT_EQ(error.errorCode, 50);
    ASSERT_NE(RwIm3DTransform(v.data(), 65536, nullptr, rwIM3D_ALLOPAQUE), nullptr);
    StartLog();
    ASSERT_TRUE(RwIm3DRenderPrimitive(rwPRIMTYPETRILIST));
    auto log = Log();
    EXPECT_GE(Find(log, DeviceCalls::DrawPrimitive(D3DPT_TRIANGLELIST, 0, 21845)), 0);
    ASSERT_TRUE(RwIm3DEnd());
    EXPECT_FALSE(RwIm3DEnd());
    EXPECT_FALSE(RwIm3DRenderPrimitive(rwPRIMTYPETRILIST));
    auto p = End();
    EXPECT_EQ(At(p, Width / 2, Height / 2), Red);
}

TEST_F(DrawTest, Im3DIndexedBatchesUseTheIndexBufferOrAreExpanded) {
    Begin();
    RwIm3DVertex v[6] = {};
    v[0].objVertex = {-1, -1, 5};
    v[1].objVertex = {1, -1, 5};
    v[2].objVertex = {-1, 1, 5};
    v[3].objVertex = {1, 1, 5};
    for (auto& vertex : v)
        vertex.color = Green;
    RwImVertexIndex indices[7] = {0, 1, 2, 1, 3, 2, 0};
    ASSERT_NE(RwIm3DTransform(v, 4, nullptr, rwIM3D_NOCLIP), nullptr);
    StartLog();
    // More indices than vertices: through the index buffer; seven indices draw two triangles.
    ASSERT_TRUE(RwIm3DRenderIndexedPrimitive(rwPRIMTYPETRILIST, indices, 7));
    ASSERT_TRUE(RwIm3DRenderIndexedPrimitive(rwPRIMTYPETRILIST, indices, 6));
    auto log = Log();
    EXPECT_GE(Find(log, "SetIndices(buffer)"), 0);
    EXPECT_GE(Find(log, DeviceCalls::RenderState(D3DRS_CLIPPING, FALSE)), 0) << "no clipping";
    std::vector<std::string> draws;
    for (const auto& call : log)
        if (call.rfind("Draw", 0) == 0)
            draws.push_back(call);
    ASSERT_EQ(draws.size(), 2u) << "two renders of one batch draw twice";
    EXPECT_EQ(draws[0].rfind(DeviceCalls::DrawOf("DrawIndexedPrimitive", D3DPT_TRIANGLELIST), 0), 0u);
    EXPECT_EQ(draws[0].substr(draws[0].rfind(' ')), " 2)");
    RwImVertexIndex beyond[3] = {0, 1, 4};
    EXPECT_FALSE(RwIm3DRenderIndexedPrimitive(rwPRIMTYPETRILIST, beyond, 3)) << "index past the batch";
    ASSERT_TRUE(RwIm3DEnd());

    // No more indices than vertices and at most eight: expanded into the vertex buffer.
    ASSERT_NE(RwIm3DTransform(v, 6, nullptr, 0), nullptr);
    ASSERT_TRUE(RwIm3DRenderIndexedPrimitive(rwPRIMTYPETRILIST, indices, 6));
    log = Log();
    EXPECT_EQ(Find(log, "SetIndices(buffer)"), -1);
    EXPECT_GE(Find(log, DeviceCalls::RenderState(D3DRS_CLIPPING, TRUE)), 0) << "clipping again";
    ASSERT_TRUE(RwIm3DEnd());
    auto p = End();
    EXPECT_EQ(At(p, Width / 2, Height / 2), Green);
}

TEST_F(DrawTest, WithoutHardwareVertexProcessingTwoDDrawsWrapInTheirOwnBuffer) {
    // Devices without hardware transform and lighting give 2D drawing a buffer of its own.
    RwIm2DClose();
    rwD3D9State.caps.DevCaps &= ~DWORD(D3DDEVCAPS_HWTRANSFORMANDLIGHT);
    ASSERT_TRUE(RwIm2DOpen());
    Begin();
    std::vector<RwIm2DVertex> many(9360, V(1, 1, Red));
    StartLog();
    ASSERT_TRUE(RwIm2DRenderPrimitive(rwPRIMTYPETRILIST, many.data(), 9360));
    RwIm2DVertex tri[3] = {V(0, 0, Green), V(8, 0, Green), V(0, 8, Green)};
    ASSERT_TRUE(RwIm2DRenderPrimitive(rwPRIMTYPETRILIST, tri, 3));
    auto log = Log();
    EXPECT_GE(Find(log, DeviceCalls::DrawPrimitive(D3DPT_TRIANGLELIST, 0, 3120)), 0);
    EXPECT_GE(Find(log, DeviceCalls::DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1)), 0)
        << "9363 vertices do not fit: back to the start";
    End();
    RwIm2DClose();
    rwD3D9State.caps.DevCaps |= D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    ASSERT_TRUE(RwIm2DOpen());
}
