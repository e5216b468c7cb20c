// Widgets drawn on a started engine: the sample page read back and checked against the button sheet's
// known faces, the string buttons' state colours, a text box clipped and scrolled, an edit field with its
// caret and the cursor; and the draw calls that images make (none at alpha 0).
#include "DrawFixture.h"

#include "base/FrameClock.h"
#include "base/Info.h"
#include "gui/Button.h"
#include "gui/Desktop.h"
#include "gui/Image.h"
#include "gui/Text.h"
#include "platform/d3d9/Control.h"
#include "rwsdk/src/baraster.h"
#include "tools/textures/Patterns.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

using GuiTest::Draw;
using GuiTest::Height;
using GuiTest::InkBox;
using GuiTest::Picture;
using GuiTest::Width;

class WidgetDraw : public Draw {
protected:
    void SetUp() override {
        Draw::SetUp();
        page = std::make_unique<Gui::Desktop>();
        page->screenRect = {0, 0, float(Width), float(Height)};
        Base::Info info;
        ASSERT_EQ(info.LoadFile(std::string(CORVANE_SOURCE_DIR) + "/tests/gui/fixtures/Widgets.gui"), 0);
        ASSERT_TRUE(page->Load(info));
    }
    void TearDown() override {
        page.reset(); // the textures go before the engine
        Draw::TearDown();
    }
    Picture DrawPage(const char* name) {
        Begin({0, 0, 0, 255});
        page->Draw();
        return End(name);
    }
    template <class T> T* Get(const char* path) {
        T* found = page->Find<T>(path, true);
        EXPECT_NE(found, nullptr) << path;
        return found;
    }
    static bool Near(uint32_t rgb, const uint8_t* expected, int tolerance = 10) {
        const int c[3] = {int(rgb >> 16 & 0xFF), int(rgb >> 8 & 0xFF), int(rgb & 0xFF)};
        for (int i = 0; i < 3; ++i)
            if (std::abs(c[i] - int(expected[i])) > tolerance)
                return false;
        return true;
    }
    // Pixels in a region whose colour is within tolerance of rgb.
    static int Count(const Picture& p, int x0, int y0, int x1, int y1, const uint8_t* rgb,
                     int tolerance = 40) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                n += Near(p.At(x, y), rgb, tolerance);
        return n;
    }

    std::unique_ptr<Gui::Desktop> page;
};

TEST_F(WidgetDraw, SamplePage) {
    auto* cursor = Get<Gui::ImageCursor>("Cursor");
    cursor->SetPosition({100, 150});
    auto* name = Get<Gui::Edit>("Name");
    page->lastPressed = name;
    Base::FrameClock::GameTime = 50.0;
    name->OnKey(Gui::Edit::KeyEnd, 0);
    const Picture p = DrawPage("widgets_page");
    Base::FrameClock::GameTime = 0.0;

    // Each image button shows its state's face (the sheet's texels, a flat colour inside a rim).
    for (int i = 0; i < 4; ++i) {
        const int cx = 8 + 32, cy = 8 + i * 24 + 8;
        EXPECT_TRUE(Near(p.At(cx, cy), Tools::GuiButtonFaces[i])) << i << ": " << std::hex << p.At(cx, cy);
    }
    // The whole sheet as one image: all four faces, top to bottom, without a TexRect.
    auto* sheet = Get<Gui::Image>("Sheet");
    EXPECT_EQ(sheet->texRect, (Gui::Rect{0, 0, 64, 128}));
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(Near(p.At(192 + 16, 8 + i * 16 + 8), Tools::GuiButtonFaces[i])) << i;
    // The page's background: a plain rectangle of its colour; the invisible image left it so.
    const uint8_t back[3] = {24, 32, 52};
    EXPECT_TRUE(Near(p.At(220, 130), back, 2));
    const uint8_t red[3] = {255, 0, 0};
    EXPECT_EQ(Count(p, 0, 0, Width, Height, red, 60), 0);

    // String buttons: white text in the normal state, amber when highlighted.
    const uint8_t white[3] = {255, 255, 255}, amber[3] = {255, 200, 64};
    EXPECT_GT(Count(p, 88, 8, 152, 24, white), 3);
    EXPECT_EQ(Count(p, 88, 8, 152, 24, amber), 0);
    EXPECT_GT(Count(p, 88, 32, 152, 48, amber), 3);
    EXPECT_EQ(Count(p, 88, 32, 152, 48, white, 20), 0);

    // The story is longer than its box: ink only inside the box (88, 60)-(168, 96).
    const InkBox story = Ink(p, 80, 52, 170, 104, 250);
    ASSERT_FALSE(story.Empty());
    EXPECT_GE(story.left, 88);
    EXPECT_GE(story.top, 60);
    EXPECT_LT(story.right, 168);
    EXPECT_LT(story.bottom, 96);
    auto* text = Get<Gui::Text>("Story");
    EXPECT_GT(text->bounds.bottom, 0.0f);

    // The edit field: its text, and the caret (2 pixels of text colour) at the end of it.
    const InkBox field = Ink(p, 88, 108, 168, 124, 400);
    ASSERT_FALSE(field.Empty());
    EXPECT_LE(field.left, 90);

    // The cursor's top-left corner is its hot spot, drawn at half size.
    EXPECT_EQ(cursor->absRect, (Gui::Rect{200, 300, 232, 332}));
    EXPECT_GT(Count(p, 100, 150, 108, 160, white, 30), 4);
}

TEST_F(WidgetDraw, TextBoxScrollsAndCaretBlinks) {
    auto* text = Get<Gui::Text>("Story");
    const Picture top = DrawPage("widgets_story_top");
    text->SetScrollPos({0, text->bounds.bottom});
    page->Update(); // the scroll bar follows
    const Picture bottom = DrawPage("widgets_story_bottom");
    // The thumb went from the top of its bar (screen 172..178, 60..96) to the bottom.
    const uint8_t thumb[3] = {150, 170, 200};
    EXPECT_TRUE(Near(top.At(175, 64), thumb));
    EXPECT_FALSE(Near(top.At(175, 92), thumb));
    EXPECT_TRUE(Near(bottom.At(175, 92), thumb));
    EXPECT_FALSE(Near(bottom.At(175, 64), thumb));
    int differing = 0;
    for (int y = 60; y < 96; ++y)
        for (int x = 88; x < 168; ++x)
            differing += top.At(x, y) != bottom.At(x, y);
    EXPECT_GT(differing, 50);
    const InkBox ink = Ink(bottom, 80, 52, 170, 104, 250);
    ASSERT_FALSE(ink.Empty());
    EXPECT_GE(ink.top, 60);
    EXPECT_LT(ink.bottom, 96);

    // The caret shows for 0.3 s of every 0.5 s after a move, only while the edit is the current widget.
    auto* name = Get<Gui::Edit>("Name");
    page->lastPressed = name;
    Base::FrameClock::GameTime = 10.0;
    name->OnKey(Gui::Edit::KeyHome, 0);
    name->OnKey(Gui::Edit::KeyRight, 0);
    const auto caretPixels = [&](double now) {
        Base::FrameClock::GameTime = now;
        const Picture p = DrawPage("widgets_caret");
        int n = 0;
        for (int y = 108; y < 124; ++y)
            for (int x = 88; x < 168; ++x)
                n += p.Brightness(x, y) > 700;
        return n;
    };
    const int shown = caretPixels(10.1), hidden = caretPixels(10.45);
    page->lastPressed = nullptr;
    const int away = caretPixels(10.1);
    Base::FrameClock::GameTime = 0.0;
    EXPECT_GT(shown, hidden);
    EXPECT_EQ(hidden, away);
}

TEST_F(WidgetDraw, ImagesDrawOneQuadOrNone) {
    auto* ghost = Get<Gui::Image>("Ghost");
    auto* sheet = Get<Gui::Image>("Sheet");
    Begin();
    D3D9::SetCallLogging(RwD3D9Device, true);
    const auto draws = [&](Gui::Widget* w) {
        D3D9::TakeCallLog(RwD3D9Device);
        w->Draw();
        int n = 0;
        for (const std::string& line : D3D9::TakeCallLog(RwD3D9Device))
            n += line.rfind("Draw", 0) == 0;
        return n;
    };
    EXPECT_EQ(draws(ghost), 0);
    EXPECT_EQ(draws(sheet), 1);
    ghost->color.alpha = 1;
    EXPECT_EQ(draws(ghost), 1); // untextured, but drawn
    D3D9::SetCallLogging(RwD3D9Device, false);
    End("widgets_images");
}

} // namespace
