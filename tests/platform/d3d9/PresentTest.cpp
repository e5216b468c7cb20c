// A frame that starts with a whole clear is drawn in the window itself and shown without a copy; any other
// frame, or a window of another size, goes through the back buffer's texture and a blit. Both must give the
// same pixels, right side up.
#include "DeviceFixture.h"

#include <epoxy/gl.h>

#include <cstdint>
#include <vector>

namespace {

class PresentTest : public DeviceTest {
protected:
    struct Vertex {
        float x, y, z;
        D3DCOLOR color;
    };

    // Shapes that show a flip, an edge rule, culling, the depth test, a viewport, a scissor and clear
    // rectangles: nothing in it is symmetric.
    void DrawScene() {
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF102030,
                                1.0f, 0),
                  D3D_OK);
        Unlit();
        ScreenRect(2, 3, 20, 9, 0xFFFF0000);
        ScreenRect(5.5f, 12.25f, 17.75f, 30.5f, 0xFF00FF00);
        // Transformed triangles under identity matrices: the clockwise one is drawn, the other culled.
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
        device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        const Vertex triangles[6] = {{-0.2f, 0.9f, 0.5f, 0xFF0000FF},  {0.9f, 0.9f, 0.5f, 0xFF0000FF},
                                     {0.9f, 0.1f, 0.5f, 0xFF0000FF},   {-0.9f, -0.2f, 0.5f, 0xFFFFFF00},
                                     {-0.9f, -0.9f, 0.5f, 0xFFFFFF00}, {-0.1f, -0.9f, 0.5f, 0xFFFFFF00}};
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangles, sizeof(Vertex)), D3D_OK);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangles + 3, sizeof(Vertex)), D3D_OK);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        // The depth test: the far rectangle shows only where the near one is not.
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        ScreenRect(30, 34, 50, 44, 0xFF00FFFF, 0.25f);
        ScreenRect(40, 38, 60, 50, 0xFFFF00FF, 0.75f);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        // A viewport off the corner: a quad over all of clip space fills just it.
        D3DVIEWPORT9 viewport{36, 4, 20, 11, 0.0f, 1.0f};
        device->SetViewport(&viewport);
        const Vertex quad[4] = {{-1, 1, 0.5f, 0xFF808080},
                                {1, 1, 0.5f, 0xFF808080},
                                {-1, -1, 0.5f, 0xFF404040},
                                {1, -1, 0.5f, 0xFF404040}};
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
        D3DVIEWPORT9 whole{0, 0, Width, Height, 0.0f, 1.0f};
        device->SetViewport(&whole);
        // A scissor rectangle, and cleared rectangles.
        RECT scissor{44, 52, 58, 61};
        device->SetScissorRect(&scissor);
        device->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
        ScreenRect(0, 0, float(Width), float(Height), 0xFFFFFFFF);
        device->SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
        D3DRECT rects[2] = {{0, 50, 10, 64}, {12, 40, 15, 62}};
        ASSERT_EQ(device->Clear(2, rects, D3DCLEAR_TARGET, 0xFFC08040, 1.0f, 0), D3D_OK);
    }

    // The window's pixels as A8R8G8B8 with the top row first.
    static std::vector<uint32_t> WindowPixels(GLenum buffer) {
        std::vector<unsigned char> rgba(size_t(Width) * Height * 4);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        glReadBuffer(buffer);
        glReadPixels(0, 0, Width, Height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        glReadBuffer(GL_BACK);
        std::vector<uint32_t> out;
        for (unsigned y = 0; y < Height; ++y)
            for (unsigned x = 0; x < Width; ++x) {
                const unsigned char* p = &rgba[((Height - 1 - y) * Width + x) * 4];
                out.push_back(uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
            }
        return out;
    }
};

TEST_F(PresentTest, TheWindowAndTheBlitGiveTheSamePicture) {
    // In a window of the back buffer's size the frame is drawn in the window.
    ASSERT_NO_FATAL_FAILURE(DrawScene());
    EXPECT_TRUE(D3D9::BackBufferInWindow(device));
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    std::vector<uint32_t> shown = WindowPixels(GL_FRONT);
    EXPECT_TRUE(D3D9::BackBufferInWindow(device)) << "Present only swapped";
    // The next frame, read back before its Present.
    ASSERT_NO_FATAL_FAILURE(DrawScene());
    EXPECT_TRUE(D3D9::BackBufferInWindow(device));
    Pixels direct = ReadTarget();
    EXPECT_FALSE(D3D9::BackBufferInWindow(device)) << "reading it takes it back to its texture";
    // Right side up: the red bar is near the top, the green one below it.
    EXPECT_EQ(direct.At(2, 3), 0xFFFF0000u);
    EXPECT_EQ(direct.At(19, 8), 0xFFFF0000u);
    EXPECT_EQ(direct.At(20, 8), 0xFF102030u);
    EXPECT_EQ(direct.At(10, 20), 0xFF00FF00u);
    EXPECT_EQ(direct.At(2, 55), 0xFFC08040u);
    EXPECT_EQ(direct.argb, shown) << "the window shows the back buffer as read back";

    // A wider window: the same frame goes through the texture and a scaling blit.
    SDL_SetWindowSize(window, int(Width) + 16, int(Height));
    ASSERT_NO_FATAL_FAILURE(DrawScene());
    EXPECT_FALSE(D3D9::BackBufferInWindow(device));
    Pixels blit = ReadTarget();
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(blit.argb, direct.argb);
    for (unsigned y = 0; y < Height; ++y)
        for (unsigned x = 0; x < Width; ++x)
            ASSERT_EQ(blit.At(x, y), direct.At(x, y)) << x << "," << y;
}

TEST_F(PresentTest, OnlyAWholeClearOfEverythingTheWindowHoldsStartsAWindowFrame) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    EXPECT_FALSE(D3D9::BackBufferInWindow(device)) << "the stencil kept";
    D3DVIEWPORT9 part{0, 0, Width, Height - 1, 0.0f, 1.0f};
    device->SetViewport(&part);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF000000, 1.0f, 0);
    EXPECT_FALSE(D3D9::BackBufferInWindow(device)) << "a row kept";
    D3DVIEWPORT9 whole{0, 0, Width, Height, 0.0f, 1.0f};
    device->SetViewport(&whole);
    D3DRECT all{0, 0, LONG(Width), LONG(Height)};
    device->Clear(1, &all, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF000000, 1.0f, 0);
    EXPECT_FALSE(D3D9::BackBufferInWindow(device)) << "rectangles";
    D3DGAMMARAMP ramp{};
    for (int i = 0; i < 256; ++i)
        ramp.red[i] = ramp.green[i] = ramp.blue[i] = WORD(i * 200);
    device->SetGammaRamp(0, 0, &ramp);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF000000, 1.0f, 0);
    EXPECT_FALSE(D3D9::BackBufferInWindow(device)) << "a gamma ramp needs its pass";
    for (int i = 0; i < 256; ++i)
        ramp.red[i] = ramp.green[i] = ramp.blue[i] = WORD(i * 257);
    device->SetGammaRamp(0, 0, &ramp);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF000000, 1.0f, 0);
    EXPECT_TRUE(D3D9::BackBufferInWindow(device));
}

// Drawing into a texture with the automatic depth surface, or copying out of the back buffer, brings both
// out of the window with what was drawn: the depth keeps testing, the colours stay.
TEST_F(PresentTest, LeavingTheWindowMidFrameKeepsColourAndDepth) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF000000, 1.0f, 0);
    ASSERT_TRUE(D3D9::BackBufferInWindow(device));
    Unlit();
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    ScreenRect(0, 0, 32, 16, 0xFF00FF00, 0.25f);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(Width, Height, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                    &texture, nullptr),
              D3D_OK);
    IDirect3DSurface9* target = nullptr;
    texture->GetSurfaceLevel(0, &target);
    IDirect3DSurface9* back = nullptr;
    device->GetRenderTarget(0, &back);
    device->SetRenderTarget(0, target);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    ScreenRect(0, 0, 8, 8, 0xFFFF0000);
    EXPECT_FALSE(D3D9::BackBufferInWindow(device));
    device->SetRenderTarget(0, back);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    // Behind the first rectangle where they overlap, in front of the cleared depth elsewhere.
    ScreenRect(16, 8, 48, 24, 0xFF0000FF, 0.5f);
    Pixels p = ReadTarget();
    EXPECT_EQ(p.At(20, 10), 0xFF00FF00u);
    EXPECT_EQ(p.At(20, 20), 0xFF0000FFu);
    EXPECT_EQ(p.At(40, 10), 0xFF0000FFu);
    EXPECT_EQ(p.At(40, 30), 0xFF000000u);
    EXPECT_EQ(ReadTarget(target).At(4, 4), 0xFFFF0000u);
    // Back in the texture for the rest of the frame: Present copies it to the window.
    ScreenRect(0, 40, 8, 48, 0xFFFFFF00, 0.0f);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    std::vector<uint32_t> shown = WindowPixels(GL_FRONT);
    EXPECT_EQ(shown[44 * Width + 4], 0xFFFFFF00u);
    EXPECT_EQ(shown[10 * Width + 20], 0xFF00FF00u);
    back->Release();
    target->Release();
    texture->Release();
}

} // namespace
