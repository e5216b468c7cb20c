// Drawing on a started engine: fonts through the font cache, device states put back by every call, the
// scissor from the clip stack, and pictures read back from the frame buffer (text blocks, a clipped panel,
// 3D lines, points and text). Set GUI_TEST_IMAGES to a directory to keep the pictures as PPM files.
#include "DrawFixture.h"
#include "tests/support/DeviceCalls.h"

#include "base/FontCache.h"
#include "base/Info.h"
#include "base/InfoCache.h"
#include "gui/ClipStack.h"
#include "gui/Desktop.h"
#include "gui/draw/Draw3d.h"
#include "gui/draw/Font.h"
#include "gui/draw/ScreenDraw.h"
#include "gui/draw/TextLayout.h"
#include "platform/d3d9/Control.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9rendst.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/src/texture.h"
#include "scene/Clump.h"
#include "scene/EngineHost.h"
#include "tests/support/TempDir.h"

#include <SDL.h>
#include <dlfcn.h>

#include <bit>
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using GuiTest::Draw;
using GuiTest::Height;
using GuiTest::InkBox;
using GuiTest::Picture;
using GuiTest::Width;

TEST_F(Draw, FontsLoadThroughTheCache) {
    Gui::Font* tahoma = Base::FontCache::Get("Tahoma8.font");
    ASSERT_NE(tahoma, nullptr);
    ASSERT_NE(tahoma->texture, nullptr);
    EXPECT_EQ(Base::FontCache::Get("Tahoma8.font"), tahoma);
    EXPECT_EQ(tahoma->glyphs['A'].present, 1);
    EXPECT_GT(tahoma->lineHeight, 8.0f);
    EXPECT_EQ(RwTextureGetFilterMode(tahoma->texture), rwFILTERLINEARMIPLINEAR);
    EXPECT_NE(Base::FontCache::Get("Verdana10i"), nullptr); // the chat's font has no extension
    EXPECT_NE(Base::FontCache::Get("Verdana24ib.font"), nullptr);
    Gui::Font* symbols = Base::FontCache::Get("RadarSymbols.font");
    ASSERT_NE(symbols, nullptr);
    for (int code : {128, 129, 130})
        EXPECT_EQ(symbols->glyphs[code].present, 1) << code;
    EXPECT_EQ(Base::FontCache::Get("NoSuch.font"), nullptr);

    // A description whose texture is not there gives no font.
    TestSupport::TempDir scratch("corvane-fonts");
    const fs::path dir = scratch.path;
    std::ofstream(dir / "Lost.font") << "Texture NoSuchTexture\nChars\n{\n65 0 0 r4 r4\n}\n";
    Base::Info lost = Base::Info::ConstructFromFile((dir / "Lost.font").string());
    ASSERT_NE(lost.GetChild("Chars"), nullptr);
    EXPECT_EQ(Gui::Font::Load(lost), nullptr);
    fs::remove_all(dir);
}

// Every cached and device render and texture-stage state, and the GL state they map to.
struct StateSnapshot {
    std::vector<uint32_t> values;
    // What value i of a snapshot is.
    static std::string Describe(size_t i) {
        const char* side[2] = {"cached", "device"};
        if (i < 420)
            return std::string(side[i % 2]) + " render state " + std::to_string(i / 2);
        i -= 420;
        if (i < 256)
            return std::string(side[i % 2]) + " stage " + std::to_string(i / 64) + " state " +
                   std::to_string(i / 2 % 32 + 1);
        return "GL value " + std::to_string(i - 256);
    }
};

StateSnapshot Snapshot() {
    // A draw that changes nothing sends every queued state to the device and to GL.
    struct V {
        float x, y, z, rhw;
        uint32_t c;
    } degenerate[3] = {{0, 0, 0.5f, 1, 0}, {0, 0, 0.5f, 1, 0}, {0, 0, 0.5f, 1, 0}};
    RwD3D9SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    RwD3D9DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, degenerate, sizeof(V));
    StateSnapshot s;
    for (uint32_t state = 0; state < 210; ++state) {
        uint32_t cached = 0xDEADBEEF;
        DWORD device = 0xDEADBEEF;
        RwD3D9GetRenderState(state, &cached);
        RwD3D9Device->GetRenderState(D3DRENDERSTATETYPE(state), &device);
        s.values.push_back(cached);
        s.values.push_back(device);
    }
    for (uint32_t stage = 0; stage < 4; ++stage)
        for (uint32_t type = 1; type < 33; ++type) {
            uint32_t cached = 0xDEADBEEF;
            DWORD device = 0xDEADBEEF;
            RwD3D9GetTextureStageState(stage, type, &cached);
            RwD3D9Device->GetTextureStageState(stage, D3DTEXTURESTAGESTATETYPE(type), &device);
            s.values.push_back(cached);
            s.values.push_back(device);
        }
    for (GLenum cap : {GL_BLEND, GL_DEPTH_TEST, GL_SCISSOR_TEST, GL_CULL_FACE})
        s.values.push_back(glIsEnabled(cap));
    GLboolean depthMask = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
    s.values.push_back(depthMask);
    // Factors and face only count while blending and culling are on (the layer sends them only then).
    const bool blend = glIsEnabled(GL_BLEND), cull = glIsEnabled(GL_CULL_FACE);
    for (GLenum query : {GL_BLEND_SRC_RGB, GL_BLEND_DST_RGB, GL_CULL_FACE_MODE}) {
        GLint value = 0;
        glGetIntegerv(query, &value);
        s.values.push_back((query == GL_CULL_FACE_MODE ? cull : blend) ? uint32_t(value) : 0);
    }
    return s;
}

TEST_F(Draw, DeviceStatesAreTheSameAfterEveryCall) {
    Gui::Font* font = Base::FontCache::Get("Tahoma8.font");
    ASSERT_NE(font, nullptr);
    Begin();
    // States unlike the ones the calls set, so that a forgotten restore shows.
    RwD3D9SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    RwD3D9SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    RwD3D9SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    RwD3D9SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    RwD3D9SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    RwD3D9SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    RwD3D9SetRenderState(D3DRS_LIGHTING, TRUE);
    RwD3D9SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    RwD3D9SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_ALWAYS);
    RwD3D9SetRenderState(D3DRS_COLORVERTEX, TRUE);
    RwD3D9SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD);
    RwD3D9SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    const StateSnapshot before = Snapshot();

    Gui::ScreenPoint quad[2] = {{10, 10, {255, 0, 0, 255}, 0, 0}, {50, 50, {255, 0, 0, 255}, 1, 1}};
    Gui::Vertex3d tri[3] = {{0, 0, 5, {0, 255, 0, 255}, 0, 0},
                            {1, 0, 5, {0, 255, 0, 255}, 1, 0},
                            {0, 1, 5, {0, 255, 0, 255}, 0, 1}};
    const Gui::Rect clip{5, 5, 60, 60};
    const std::vector<std::pair<const char*, std::function<void()>>> calls = {
        {"plain quads", [&] { Gui::DrawQuads(quad, 2, nullptr, 1); }},
        {"textured quads", [&] { Gui::DrawQuads(quad, 2, font->texture, rwFILTERLINEAR); }},
        {"clipped quads",
         [&] {
             Gui::PushClipRect(&clip, true);
             Gui::DrawQuads(quad, 2, nullptr, 1);
             Gui::PopClipRect();
         }},
        {"2D lines", [&] { Gui::DrawLines2d(quad, 2, 1); }},
        {"screen text",
         [&] {
             Gui::QueueText({20, 20}, "States", {255, 255, 255, 255}, {1, 1}, 0, 6, {0, 0}, 0, 0);
             Gui::FlushTextQueue(font, rwFILTERLINEAR);
         }},
        {"3D lines", [&] { Gui::DrawLines(tri, 2, 1, nullptr); }},
        {"3D strip", [&] { Gui::DrawLineStrip(tri, 3, 1, nullptr); }},
        {"3D points", [&] { Gui::DrawPoints(tri, 3, 1, nullptr); }},
        {"3D triangles", [&] { Gui::DrawTriangles(tri, 3, 1, font->texture, nullptr, rwFILTERLINEAR); }},
        {"3D text",
         [&] {
             Gui::QueueText3d({0, 0, 5}, "States", {255, 255, 255, 255}, {0.01f, 0.01f}, 0, 6, {0, 0}, 0, 0);
             Gui::FlushTextQueue3d(font, nullptr, rwFILTERLINEAR);
         }},
    };
    for (const auto& [what, call] : calls) {
        call();
        const StateSnapshot after = Snapshot();
        ASSERT_EQ(after.values.size(), before.values.size());
        for (size_t i = 0; i < after.values.size(); ++i)
            EXPECT_EQ(after.values[i], before.values[i]) << what << ": " << StateSnapshot::Describe(i);
    }
    End("states");
}

TEST_F(Draw, EachCallIsOneDrawOfItsPrimitives) {
    const Gui::Font* font = Base::FontCache::Get("Tahoma8.font");
    ASSERT_NE(font, nullptr);
    Gui::Vertex3d v[8];
    Gui::ScreenPoint p[6];
    struct Case {
        const char* what;
        std::function<void()> call;
        std::string draw; // the one logged draw, or empty for none
    };
    const Case cases[] = {
        {"lines, odd count", [&] { Gui::DrawLines(v, 5, 1, nullptr); },
         DeviceCalls::DrawPrimitiveUP(D3DPT_LINELIST, 2, 16)},
        {"strip of one", [&] { Gui::DrawLineStrip(v, 1, 1, nullptr); }, ""},
        {"strip of four", [&] { Gui::DrawLineStrip(v, 4, 2, nullptr); },
         DeviceCalls::DrawPrimitiveUP(D3DPT_LINESTRIP, 3, 16)},
        {"points", [&] { Gui::DrawPoints(v, 3, 1, nullptr); },
         DeviceCalls::DrawPrimitiveUP(D3DPT_POINTLIST, 3, 16)},
        {"no points", [&] { Gui::DrawPoints(v, 0, 1, nullptr); }, ""},
        {"triangles", [&] { Gui::DrawTriangles(v, 7, 1, nullptr, nullptr, 1); },
         DeviceCalls::DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, 24)},
        {"quads, odd count", [&] { Gui::DrawQuads(p, 5, nullptr, 1); },
         DeviceCalls::DrawPrimitiveUP(D3DPT_TRIANGLELIST, 4, 28)},
        {"no quads", [&] { Gui::DrawQuads(p, 1, nullptr, 1); }, ""},
        {"2D lines", [&] { Gui::DrawLines2d(p, 6, 1); }, DeviceCalls::DrawPrimitiveUP(D3DPT_LINELIST, 3, 20)},
        {"screen text",
         [&] {
             Gui::QueueText({0, 0}, "ab\nc", {255, 255, 255, 255}, {1, 1}, 0, 4, {0, 0}, -1, -1);
             Gui::FlushTextQueue(font, 1);
         },
         DeviceCalls::DrawPrimitiveUP(D3DPT_TRIANGLELIST, 6, 28)},
        {"empty screen queue", [&] { Gui::FlushTextQueue(font, 1); }, ""},
        {"3D text",
         [&] {
             Gui::QueueText3d({0, 0, 5}, "abc", {255, 255, 255, 255}, {1, 1}, 0, 3, {0, 0}, -1, -1);
             Gui::FlushTextQueue3d(font, nullptr, 1);
         },
         DeviceCalls::DrawPrimitiveUP(D3DPT_TRIANGLELIST, 6, 24)},
    };
    Begin();
    D3D9::SetCallLogging(RwD3D9Device, true);
    for (const Case& c : cases) {
        D3D9::TakeCallLog(RwD3D9Device);
        c.call();
        std::vector<std::string> draws;
        for (const std::string& line : D3D9::TakeCallLog(RwD3D9Device))
            if (line.rfind("Draw", 0) == 0)
                draws.push_back(line);
        EXPECT_EQ(draws, c.draw.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.draw})
            << c.what;
    }
    D3D9::SetCallLogging(RwD3D9Device, false);
    End("primitive_counts");
}

// Text asks for its filter: the sampler has it for the draw, whatever filter the font's texture had before
// (binding a texture sends its filter, so the filter is set on the texture before it is bound).
TEST_F(Draw, TextIsDrawnWithTheFilterItAsksFor) {
    Gui::Font* font = Base::FontCache::Get("Tahoma8.font");
    ASSERT_NE(font, nullptr);
    const std::pair<const char*, std::function<void()>> calls[] = {
        {"screen text",
         [&] {
             Gui::QueueText({20, 20}, "ab", {255, 255, 255, 255}, {1, 1}, 0, 2, {0, 0}, 0, 0);
             Gui::FlushTextQueue(font, rwFILTERNEAREST);
         }},
        {"3D text", [&] {
             Gui::QueueText3d({0, 0, 5}, "ab", {255, 255, 255, 255}, {0.01f, 0.01f}, 0, 2, {0, 0}, 0, 0);
             Gui::FlushTextQueue3d(font, nullptr, rwFILTERNEAREST);
         }}};
    Begin();
    D3D9::SetCallLogging(RwD3D9Device, true);
    for (const auto& [what, call] : calls) {
        // The texture last drawn with a mipmapped filter, and still bound with it.
        RwTextureSetFilterMode(font->texture, rwFILTERLINEARMIPLINEAR);
        RwD3D9SetTexture(font->texture, 0);
        D3D9::TakeCallLog(RwD3D9Device);
        call();
        const std::vector<std::string> log = D3D9::TakeCallLog(RwD3D9Device);
        const auto draw = std::find_if(log.begin(), log.end(),
                                       [](const std::string& line) { return line.rfind("Draw", 0) == 0; });
        ASSERT_NE(draw, log.end()) << what;
        for (const std::string& sent : {DeviceCalls::SamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT),
                                        DeviceCalls::SamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT),
                                        DeviceCalls::SamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE)})
            EXPECT_NE(std::find(log.begin(), draw, sent), draw) << what << ": " << sent;
        RwD3D9SetTexture(nullptr, 0);
    }
    D3D9::SetCallLogging(RwD3D9Device, false);
    End("text_filter");
}

TEST_F(Draw, ScissorFollowsTheClipStack) {
    Begin({0, 0, 0, 255});
    const Gui::ScreenPoint red[2] = {{0, 0, {255, 0, 0, 255}, 0, 0}, {float(Width), float(Height), {}, 0, 0}};
    // A clip rect of zero width and height still scissors to one pixel.
    const Gui::Rect point{10.4f, 20.6f, 10.4f, 20.6f};
    Gui::PushClipRect(&point, true);
    D3D9::SetCallLogging(RwD3D9Device, true);
    D3D9::TakeCallLog(RwD3D9Device);
    Gui::DrawQuads(red, 2, nullptr, 1);
    const auto log = D3D9::TakeCallLog(RwD3D9Device);
    D3D9::SetCallLogging(RwD3D9Device, false);
    Gui::PopClipRect();
    EXPECT_NE(std::find(log.begin(), log.end(), "SetScissorRect(10, 21, 11, 22)"), log.end());
    Picture one = End("scissor_point");
    int reds = 0;
    for (int y = 0; y < one.height; ++y)
        for (int x = 0; x < one.width; ++x)
            reds += one.At(x, y) == 0xFF0000;
    EXPECT_EQ(reds, 1);
    EXPECT_EQ(one.At(10, 21), 0xFF0000u);

    // An empty stack draws without scissoring.
    Begin({0, 0, 0, 255});
    ASSERT_EQ(Gui::GetClipRect(), nullptr);
    Gui::DrawQuads(red, 2, nullptr, 1);
    Picture all = End("scissor_none");
    EXPECT_EQ(all.At(0, 0), 0xFF0000u);
    EXPECT_EQ(all.At(Width - 1, Height - 1), 0xFF0000u);
}

TEST_F(Draw, AlignedTextBlocks) {
    const Gui::Font* font = Base::FontCache::Get("Tahoma8.font");
    ASSERT_NE(font, nullptr);
    Begin();
    struct Block {
        int32_t h, v;
        float left, right;
    };
    const Block blocks[] = {{-1, -1, 8, 84}, {0, 0, 90, 166}, {1, 1, 172, 248}};
    std::vector<Gui::TextLayout> layouts;
    for (const Block& b : blocks) {
        Gui::TextStyle style;
        style.font = font;
        style.horizontalAlignment = b.h;
        style.verticalAlignment = b.v;
        style.left = b.left, style.top = 16, style.right = b.right, style.bottom = 176;
        style.wrap = 1;
        const Gui::ScreenPoint box[2] = {{b.left, 16, {40, 56, 88, 255}, 0, 0}, {b.right, 176, {}, 0, 0}};
        Gui::DrawQuads(box, 2, nullptr, 1);
        layouts.emplace_back("Pilots wanted\nfly fast and low over the sea", style);
        std::vector<Gui::ScreenPoint> quads;
        for (const auto& line : layouts.back().lines)
            for (const auto& g : line.glyphs) {
                quads.push_back({g.quad.left, g.quad.top, {250, 250, 250, 255}, g.umin, g.vmin});
                quads.push_back({g.quad.right, g.quad.bottom, {}, g.umax, g.vmax});
            }
        Gui::DrawQuads(quads.data(), uint32_t(quads.size()), font->texture, rwFILTERLINEAR);
    }
    Picture p = End("text_blocks");
    for (size_t i = 0; i < 3; ++i) {
        const Block& b = blocks[i];
        const Gui::TextLayout& layout = layouts[i];
        ASSERT_GE(layout.lines.size(), 3u) << i; // the second sentence wraps in a 76-pixel box
        const InkBox ink = Ink(p, int(b.left), 16, int(b.right), 176, 400);
        ASSERT_FALSE(ink.Empty()) << i;
        // The ink lies within the laid-out lines, close to their edges.
        EXPECT_GE(ink.left, int(layout.bounds.left) - 1) << i;
        EXPECT_LE(ink.right, int(layout.bounds.right) + 1) << i;
        EXPECT_GE(ink.top, int(layout.bounds.top)) << i;
        EXPECT_LE(ink.bottom, int(layout.bounds.bottom)) << i;
        if (b.h == -1) {
            EXPECT_LE(ink.left, int(b.left) + 2);
        }
        if (b.h == 1) {
            EXPECT_GE(ink.right, int(b.right) - 4);
        }
        if (b.h == 0) {
            EXPECT_NEAR((ink.left + ink.right) / 2.0, (b.left + b.right) / 2.0, 4.0);
        }
        if (b.v == -1) {
            EXPECT_LE(ink.top, 16 + 5);
        }
        if (b.v == 1) {
            EXPECT_GE(ink.bottom, 176 - 6);
        }
        if (b.v == 0) {
            EXPECT_NEAR((ink.top + ink.bottom) / 2.0, 96.0, 5.0);
        }
    }
}

// A panel that fills a rect 40 pixels larger than its own on every side: only its clip rect shows it.
struct Panel : Gui::Widget {
    RwRGBA colour = {0, 0, 255, 255};
    void Draw() override {
        const Base::Vector2 a = owner->VirtualToScreen({absRect.left, absRect.top});
        const Base::Vector2 b = owner->VirtualToScreen({absRect.right, absRect.bottom});
        const Gui::ScreenPoint quad[2] = {{a.x - 40, a.y - 40, colour, 0, 0}, {b.x + 40, b.y + 40, {}, 0, 0}};
        Gui::DrawQuads(quad, 2, nullptr, 1);
        DrawChildren();
    }
};

TEST_F(Draw, ClippedPanel) {
    Gui::Desktop desktop;
    desktop.virtualRect = {0, 0, 128, 96};
    desktop.screenRect = {0, 0, float(Width), float(Height)};
    auto* outer = new Panel;
    auto* inner = new Panel;
    outer->name = "Outer", inner->name = "Inner";
    inner->colour = {255, 0, 0, 255};
    outer->SetRect({10, 10, 60, 50});
    inner->SetRect({30, 20, 90, 60}); // reaches beyond its parent
    ASSERT_TRUE(desktop.AddChild(outer));
    ASSERT_TRUE(outer->AddChild(inner));
    Begin({0, 0, 0, 255});
    desktop.Draw();
    Picture p = End("clipped_panel");
    EXPECT_EQ(Gui::GetClipRect(), nullptr);
    // Outer covers screen (20, 20)-(120, 100); inner (80, 60)-(200, 140) cut to (80, 60)-(120, 100).
    struct Probe {
        int x, y;
        uint32_t colour;
    };
    const Probe probes[] = {{50, 50, 0x0000FF},  {21, 21, 0x0000FF},  {100, 80, 0xFF0000},
                            {81, 61, 0xFF0000},  {119, 99, 0xFF0000}, {150, 120, 0x000000},
                            {121, 80, 0x000000}, {10, 10, 0x000000},  {100, 101, 0x000000}};
    for (const Probe& probe : probes)
        EXPECT_EQ(p.At(probe.x, probe.y), probe.colour) << probe.x << ", " << probe.y;
}

// Once installed, a model that fades to a point draws it through this layer: black, faded by distance.
TEST_F(Draw, ModelsFadeToAPointDrawnHere) {
    Gui::InstallClumpPoints();
    Obj::Clump model;
    RwMatrix place;
    RwMatrixSetIdentity(&place);
    place.pos = {0, 0, 5};
    model.Transform(&place, rwCOMBINEREPLACE);
    Obj::DffLod lod{1e9f, {}};
    lod.commands.push_back({Obj::DffCommand::RenderPoint, std::bit_cast<uint32_t>(0.0f),
                            std::bit_cast<uint32_t>(1e6f), 0, nullptr});
    model.renderOrders.push_back({128, {lod}});
    Begin({255, 255, 255, 255});
    model.Render(128);
    Picture p = End("model_point");
    Obj::Clump::DrawPoint = nullptr;
    int dark = 0, darkest = 255 * 3;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x)
            if (p.Brightness(x, y) < 255 * 3) {
                ++dark;
                darkest = std::min(darkest, p.Brightness(x, y));
                EXPECT_NEAR(x, Width / 2, 1.5);
                EXPECT_NEAR(y, Height / 2, 1.5);
            }
    EXPECT_GE(dark, 1);
    EXPECT_LE(dark, 4); // one point
    EXPECT_LT(darkest, 10);
}

TEST_F(Draw, LinesPointsAndTextIn3d) {
    const Gui::Font* font = Base::FontCache::Get("Verdana24ib.font");
    ASSERT_NE(font, nullptr);
    Begin({0, 0, 0, 255});
    // At depth 5 one unit is 5 / 0.5 = 10 % of the half width (51.2 pixels) and 0.5 units 25.6 pixels up.
    const RwRGBA white = {255, 255, 255, 255}, green = {0, 255, 0, 255};
    Gui::Vertex3d points[3] = {{-1, 0, 5, white, 0, 0}, {1, 0, 5, white, 0, 0}, {0, 0.5f, 5, white, 0, 0}};
    Gui::DrawPoints(points, 3, 1, nullptr);
    Gui::Vertex3d line[2] = {{-1, -0.5f, 5, green, 0, 0}, {1, -0.5f, 5, green, 0, 0}};
    Gui::DrawLines(line, 2, 1, nullptr);
    Picture p = End("lines_points_3d");

    const InkBox upper = Ink(p, 0, 0, Width, 96 - 10, 200);
    ASSERT_FALSE(upper.Empty());
    EXPECT_NEAR(upper.left, 128, 1.5);
    EXPECT_NEAR(upper.top, 96 - 25.6, 1.5);
    const InkBox middle = Ink(p, 0, 96 - 5, Width, 96 + 5, 200);
    ASSERT_FALSE(middle.Empty());
    EXPECT_NEAR(middle.left, 128 - 51.2, 1.5);
    EXPECT_NEAR(middle.right, 128 + 51.2, 1.5);
    int midPoints = 0;
    for (int x = 0; x < Width; ++x)
        for (int y = 91; y < 101; ++y)
            midPoints += p.Brightness(x, y) > 200;
    EXPECT_LE(midPoints, 4); // two points, not a line
    const InkBox lower = Ink(p, 0, 96 + 10, Width, Height, 200);
    ASSERT_FALSE(lower.Empty());
    EXPECT_NEAR(lower.top, 96 + 25.6, 1.5);
    EXPECT_EQ(lower.top, lower.bottom); // one row
    EXPECT_NEAR(lower.left, 128 - 51.2, 1.5);
    EXPECT_NEAR(lower.right, 128 + 51.2, 1.5);

    // Text centred on a point: its ink surrounds the point's projection, and texels of alpha 0 between
    // the glyphs leave the background as it was.
    Begin({0, 0, 0, 255});
    Gui::QueueText3d({0, 0, 5}, "MIG", white, {0.02f, 0.02f}, 0, 3, {0, 0}, 0, 0);
    Gui::FlushTextQueue3d(font, nullptr, rwFILTERLINEAR);
    Gui::FlushTextQueue3d(font, nullptr, rwFILTERLINEAR); // an empty queue draws nothing
    Picture text = End("text_3d");
    const InkBox ink = Ink(text, 0, 0, Width, Height, 300);
    ASSERT_FALSE(ink.Empty());
    EXPECT_NEAR((ink.left + ink.right) / 2.0, 128, 6);
    EXPECT_NEAR((ink.top + ink.bottom) / 2.0, 96, 6);
    int untouched = 0;
    for (int y = ink.top; y <= ink.bottom; ++y)
        for (int x = ink.left; x <= ink.right; ++x)
            untouched += text.At(x, y) == 0;
    EXPECT_GT(untouched, 0);
}

TEST_F(Draw, TransparentTexelsWriteNoDepth) {
    const Gui::Font* font = Base::FontCache::Get("Tahoma8.font");
    ASSERT_NE(font, nullptr);
    Begin({0, 0, 0, 255});
    RwD3D9SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    RwD3D9SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    // Near: a quad textured from the atlas's empty corner (alpha 0), in front of a red one.
    const RwRGBA white = {255, 255, 255, 255}, red = {255, 0, 0, 255};
    const float u = 0.5f / 256;
    Gui::Vertex3d glass[6] = {{-1, -1, 4, white, u, u}, {1, -1, 4, white, u, u}, {1, 1, 4, white, u, u},
                              {1, 1, 4, white, u, u},   {-1, 1, 4, white, u, u}, {-1, -1, 4, white, u, u}};
    Gui::DrawTriangles(glass, 6, 1, font->texture, nullptr, rwFILTERNEAREST);
    Gui::Vertex3d wall[6] = {{-1, -1, 6, red, 0, 0}, {1, -1, 6, red, 0, 0}, {1, 1, 6, red, 0, 0},
                             {1, 1, 6, red, 0, 0},   {-1, 1, 6, red, 0, 0}, {-1, -1, 6, red, 0, 0}};
    Gui::DrawTriangles(wall, 6, 1, nullptr, nullptr, rwFILTERNEAREST);
    Picture p = End("alpha_test");
    EXPECT_EQ(p.At(128, 96), 0xFF0000u);
}

} // namespace
