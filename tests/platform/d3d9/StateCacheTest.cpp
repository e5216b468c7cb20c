// The device sends GL only the states that change what GL holds at a draw, and draws as it did without
// that filtering: GL's calls are counted on their way to the driver, and pixels are read back.
#include "DeviceFixture.h"

#include <SDL.h>
#include <epoxy/gl.h>

#include <cstring>

namespace {

// Calls counted on their way to the driver: libepoxy's entry points are pointers, swapped for counting
// hooks that call the driver's own function.
struct Counted {
    int enables = 0, frontFaces = 0, blendFuncs = 0, colorMasks = 0, samplerInts = 0, samplerFloats = 0;
    GLenum lastSamplerParameter = 0;
};
Counted counted;

decltype(epoxy_glEnable) realEnable, realDisable;
decltype(epoxy_glFrontFace) realFrontFace;
decltype(epoxy_glBlendFuncSeparate) realBlendFunc;
decltype(epoxy_glColorMask) realColorMask;
decltype(epoxy_glSamplerParameteri) realSamplerInt;
decltype(epoxy_glSamplerParameterf) realSamplerFloat;

void GLAPIENTRY Enable(GLenum cap) {
    ++counted.enables;
    realEnable(cap);
}
void GLAPIENTRY Disable(GLenum cap) {
    ++counted.enables;
    realDisable(cap);
}
void GLAPIENTRY FrontFace(GLenum mode) {
    ++counted.frontFaces;
    realFrontFace(mode);
}
void GLAPIENTRY BlendFunc(GLenum a, GLenum b, GLenum c, GLenum d) {
    ++counted.blendFuncs;
    realBlendFunc(a, b, c, d);
}
void GLAPIENTRY ColorMask(GLboolean r, GLboolean g, GLboolean b, GLboolean a) {
    ++counted.colorMasks;
    realColorMask(r, g, b, a);
}
void GLAPIENTRY SamplerInt(GLuint sampler, GLenum parameter, GLint value) {
    ++counted.samplerInts;
    counted.lastSamplerParameter = parameter;
    realSamplerInt(sampler, parameter, value);
}
void GLAPIENTRY SamplerFloat(GLuint sampler, GLenum parameter, GLfloat value) {
    ++counted.samplerFloats;
    realSamplerFloat(sampler, parameter, value);
}

template <class F> void Hook(F& entry, F& real, F hook, const char* name) {
    real = reinterpret_cast<F>(SDL_GL_GetProcAddress(name));
    ASSERT_NE(real, nullptr) << name;
    entry = hook;
}

class StateCacheTest : public DeviceTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(DeviceTest::SetUp());
        saved_ = {
            epoxy_glEnable,    epoxy_glDisable,           epoxy_glFrontFace,        epoxy_glBlendFuncSeparate,
            epoxy_glColorMask, epoxy_glSamplerParameteri, epoxy_glSamplerParameterf};
        ASSERT_NO_FATAL_FAILURE(Hook(epoxy_glEnable, realEnable, Enable, "glEnable"));
        ASSERT_NO_FATAL_FAILURE(Hook(epoxy_glDisable, realDisable, Disable, "glDisable"));
        ASSERT_NO_FATAL_FAILURE(Hook(epoxy_glFrontFace, realFrontFace, FrontFace, "glFrontFace"));
        ASSERT_NO_FATAL_FAILURE(
            Hook(epoxy_glBlendFuncSeparate, realBlendFunc, BlendFunc, "glBlendFuncSeparate"));
        ASSERT_NO_FATAL_FAILURE(Hook(epoxy_glColorMask, realColorMask, ColorMask, "glColorMask"));
        ASSERT_NO_FATAL_FAILURE(
            Hook(epoxy_glSamplerParameteri, realSamplerInt, SamplerInt, "glSamplerParameteri"));
        ASSERT_NO_FATAL_FAILURE(
            Hook(epoxy_glSamplerParameterf, realSamplerFloat, SamplerFloat, "glSamplerParameterf"));
    }
    void TearDown() override {
        epoxy_glEnable = saved_.enable;
        epoxy_glDisable = saved_.disable;
        epoxy_glFrontFace = saved_.frontFace;
        epoxy_glBlendFuncSeparate = saved_.blendFunc;
        epoxy_glColorMask = saved_.colorMask;
        epoxy_glSamplerParameteri = saved_.samplerInt;
        epoxy_glSamplerParameterf = saved_.samplerFloat;
        DeviceTest::TearDown();
    }

    // A texture of 2 x 2 texels: red, green / blue, white.
    IDirect3DTexture9* Checker() {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
                  D3D_OK);
        D3DLOCKED_RECT locked{};
        texture->LockRect(0, &locked, nullptr, 0);
        const uint32_t rows[2][2] = {{0xFFFF0000, 0xFF00FF00}, {0xFF0000FF, 0xFFFFFFFF}};
        for (int y = 0; y < 2; ++y)
            std::memcpy(static_cast<char*>(locked.pBits) + y * locked.Pitch, rows[y], 8);
        texture->UnlockRect(0);
        return texture;
    }
    // The texture over the whole target.
    void Textured(IDirect3DTexture9* texture) {
        struct Vertex {
            float x, y, z, rhw;
            D3DCOLOR color;
            float u, v;
        };
        const float w = float(Width) - 0.5f, h = float(Height) - 0.5f;
        Vertex v[4] = {{-0.5f, -0.5f, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                       {w, -0.5f, 0.5f, 1, 0xFFFFFFFF, 1, 0},
                       {-0.5f, h, 0.5f, 1, 0xFFFFFFFF, 0, 1},
                       {w, h, 0.5f, 1, 0xFFFFFFFF, 1, 1}};
        device->SetTexture(0, texture);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]), D3D_OK);
    }

private:
    struct Saved {
        decltype(epoxy_glEnable) enable, disable;
        decltype(epoxy_glFrontFace) frontFace;
        decltype(epoxy_glBlendFuncSeparate) blendFunc;
        decltype(epoxy_glColorMask) colorMask;
        decltype(epoxy_glSamplerParameteri) samplerInt;
        decltype(epoxy_glSamplerParameterf) samplerFloat;
    } saved_{};
};

} // namespace

TEST_F(StateCacheTest, StatesSetAndSetBackBetweenDrawsReachGlOnce) {
    IDirect3DTexture9* texture = Checker();
    Unlit();
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    Textured(texture);
    counted = {};
    // Each draw: the filters set to point and back, blending and culling turned on and off, as a renderer
    // that puts back what it found does; and the cull mode's winding changed for real.
    for (int draw = 0; draw < 4; ++draw) {
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, draw % 2 ? D3DCULL_CCW : D3DCULL_CW);
        Textured(texture);
    }
    EXPECT_EQ(counted.samplerInts, 0);
    EXPECT_EQ(counted.samplerFloats, 0);
    EXPECT_EQ(counted.blendFuncs, 0);
    // The cull mode stays enabled: only the winding goes to GL, once a change.
    EXPECT_EQ(counted.enables, 0);
    EXPECT_EQ(counted.frontFaces, 4);

    // A filter that does change reaches GL as the one parameter it is.
    counted = {};
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    Textured(texture);
    Textured(texture);
    EXPECT_EQ(counted.samplerInts, 1);
    EXPECT_EQ(counted.lastSamplerParameter, GLenum(GL_TEXTURE_MAG_FILTER));
    EXPECT_EQ(counted.samplerFloats, 0);
    device->SetTexture(0, nullptr);
    texture->Release();
}

TEST_F(StateCacheTest, DrawsAfterClearsAndFilterChangesDrawAsSet) {
    IDirect3DTexture9* texture = Checker();
    Unlit();
    struct Case {
        const char* name;
        DWORD colorWrites;
        bool scissorLeftHalf;
        DWORD magFilter;
        // Expected at a quarter and at three quarters of the top row's height.
        uint32_t left, right;
    } cases[] = {
        // Clear writes every channel; the draw after it still writes red only.
        {"red writes", D3DCOLORWRITEENABLE_RED, false, D3DTEXF_POINT, 0xFFFF0000, 0xFF000000},
        // Clear sets its own scissor; the draw after it still keeps to the left half.
        {"scissor", 0xF, true, D3DTEXF_POINT, 0xFFFF0000, 0xFF000000},
        {"point", 0xF, false, D3DTEXF_POINT, 0xFFFF0000, 0xFF00FF00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        device->SetRenderState(D3DRS_COLORWRITEENABLE, c.colorWrites);
        device->SetRenderState(D3DRS_SCISSORTESTENABLE, c.scissorLeftHalf);
        const RECT left{0, 0, LONG(Width / 2), LONG(Height)};
        device->SetScissorRect(&left);
        Textured(texture); // the states reach GL
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, c.magFilter);
        device->SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0), D3D_OK);
        device->SetRenderState(D3DRS_SCISSORTESTENABLE, c.scissorLeftHalf);
        Textured(texture);
        Pixels p = ReadTarget();
        EXPECT_EQ(p.At(Width / 4, Height / 4), c.left);
        EXPECT_EQ(p.At(3 * Width / 4, Height / 4), c.right);
    }
    // Linear filtering after point filtering: the texels blend between their centres.
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
    device->SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    Textured(texture);
    Pixels p = ReadTarget();
    const uint32_t middle = p.At(Width / 2, Height / 4);
    EXPECT_GT(Red(middle), 64);
    EXPECT_LT(Red(middle), 192);
    EXPECT_GT(Green(middle), 64);
    EXPECT_LT(Green(middle), 192);
    device->SetTexture(0, nullptr);
    texture->Release();
}
