// The widgets that pages are made of, driven through the input records the desktop reads: buttons, the
// image cursor, the text style, scrollers, text and edit fields, lists and selectors. No device: fonts are
// built without their textures, and nothing here draws.
#include "base/FontCache.h"
#include "base/FrameClock.h"
#include "base/Info.h"
#include "base/InfoCache.h"
#include "gui/Button.h"
#include "gui/Desktop.h"
#include "gui/Image.h"
#include "gui/Lists.h"
#include "gui/Scroller.h"
#include "gui/Text.h"
#include "gui/draw/Font.h"
#include "input/Keyboard.h"
#include "input/Mouse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using Gui::Button;

// A desktop that hears the sounds its widgets ask for.
class Page : public Gui::Desktop {
public:
    void PlaySound(const Base::String& sound) override {
        if (!sound.empty())
            played.push_back(sound);
    }
    size_t Played(const std::string& sound) const {
        return size_t(std::count(played.begin(), played.end(), sound));
    }
    std::vector<std::string> played;
};

class Widgets : public ::testing::Test {
protected:
    void SetUp() override {
        Base::FontCache::Directory = std::string(CORVANE_SOURCE_DIR) + "/tests/gui/fixtures";
        // A missing file reads as an empty description: no font.
        Base::FontCache::Load = [](const Base::Info& d) {
            return d.GetChild("Chars") ? Gui::Font::Build(d, nullptr, 128, 96) : nullptr;
        };
        Base::FontCache::Delete = &Gui::Font::Delete;
        page.screenRect = {0, 0, 640, 480};
        page.mouse = &mouse;
        page.keyboard = &keyboard;
    }
    void TearDown() override {
        page.DeleteAllWidgets();
        Base::FontCache::Clear();
        Base::InfoCache::Clear();
        Base::FontCache::Load = nullptr;
        Base::FontCache::Delete = nullptr;
    }

    // Loads widgets (the body of a "Widgets" block) into the page, with a cursor.
    void Load(const std::string& widgets) {
        Base::Info info;
        const std::string text =
            "DesktopRect 0 0 640 480\nWidgets\n{\nCursor ImageCursor\n{\nRect 0 0 r16 r16\n}\n" + widgets +
            "}\n";
        ASSERT_EQ(info.LoadText(text), 0) << text;
        ASSERT_TRUE(page.Load(info));
        ASSERT_NE(page.cursor, nullptr);
    }
    template <class T> T* Get(const char* path) {
        T* found = page.Find<T>(path, true);
        EXPECT_NE(found, nullptr) << path;
        return found;
    }

    // One frame of the desktop with the left button held or not; pressed: it went down in this poll.
    void Frame(bool held, bool pressed = false, int32_t wheel = 0) {
        mouse.buttons[0] = held;
        mouse.clickedButton = pressed ? 0 : -1;
        mouse.dx = mouse.dy = 0;
        mouse.dz = wheel;
        ++Base::FrameClock::FrameCounter;
        page.Update();
    }
    // The cursor put somewhere, and a frame for the desktop to see what lies under it.
    void MoveTo(float x, float y, bool held = false) {
        page.cursor->SetPosition({x, y});
        Frame(held);
    }

    Page page;
    Input::Mouse mouse;
    Input::Keyboard keyboard;
};

// ---- buttons

const char* const OkButton =
    "Ok ImageButton\n{\nRect 100 100 r100 r40\nHoverSound Hover.wav\nClickSound Click.wav\n}\n";

TEST_F(Widgets, ButtonClickIsReportedInTheFrameOfTheReleaseOnly) {
    Load(OkButton);
    Button* ok = Get<Button>("Ok");
    MoveTo(150, 120);
    Frame(false);
    EXPECT_EQ(ok->state, Button::Highlighted);
    Frame(true, true); // pressed: captured, and pressed at once
    EXPECT_EQ(page.captured.Get(), ok);
    EXPECT_EQ(ok->state, Button::Pressed);
    EXPECT_FALSE(ok->IsClicked());
    for (int i = 0; i < 3; ++i) { // held across frames
        Frame(true);
        EXPECT_EQ(ok->state, Button::Pressed);
        EXPECT_FALSE(ok->IsClicked());
    }
    MoveTo(300, 300, true); // dragged out: highlighted while it holds the mouse
    EXPECT_EQ(ok->state, Button::Highlighted);
    MoveTo(150, 120, true); // and back in
    EXPECT_EQ(ok->state, Button::Pressed);
    Frame(false);
    EXPECT_TRUE(ok->IsClicked());
    EXPECT_EQ(ok->state, Button::Highlighted);
    EXPECT_EQ(page.captured.Get(), nullptr);
    EXPECT_EQ(page.Played("Click.wav"), 1u);
    Frame(false);
    EXPECT_FALSE(ok->IsClicked());
    // Entered once: one hover sound, however many frames it stayed highlighted.
    EXPECT_EQ(page.Played("Hover.wav"), 1u);
}

// A press and its release give one click whatever the frame rate: frames at 10 and 60 per second over taps
// of several lengths and phases, so that the release comes in the poll of the press, in the next poll or
// frames later; and both events in one poll.
TEST_F(Widgets, ATapClicksOnceAtAnyFrameRate) {
    Load(OkButton);
    Button* ok = Get<Button>("Ok");
    MoveTo(150, 120);
    for (double fps : {10.0, 60.0})
        for (double length : {0.01, 0.03, 0.08, 0.15, 0.4})
            for (double phase : {0.0, 0.3, 0.7}) {
                SCOPED_TRACE(::testing::Message() << fps << " fps, " << length << " s, phase " << phase);
                const double press = (10 + phase) / fps, release = press + length;
                page.played.clear();
                int clicks = 0;
                for (int frame = 0; frame < int(fps) + 20; ++frame) { // a second and more
                    // A poll reads the events since the last one and the button as it is now.
                    const double from = (frame - 1) / fps, now = frame / fps;
                    Frame(now >= press && now<release, press> from && press <= now);
                    clicks += ok->IsClicked();
                }
                EXPECT_EQ(clicks, 1);
                EXPECT_EQ(page.Played("Click.wav"), 1u);
                EXPECT_EQ(ok->state, Button::Highlighted);
                EXPECT_EQ(page.captured.Get(), nullptr);
            }
    // Press and release in one poll: clicked in that very frame.
    Frame(false, true);
    EXPECT_TRUE(ok->IsClicked());
    Frame(false);
    EXPECT_FALSE(ok->IsClicked());
    // Such a tap outside the button clicks nothing.
    MoveTo(400, 400);
    Frame(false, true);
    EXPECT_FALSE(ok->IsClicked());
    EXPECT_EQ(ok->state, Button::Normal);
}

TEST_F(Widgets, ButtonReleasedOutsideIsNoClick) {
    Load(OkButton);
    Button* ok = Get<Button>("Ok");
    MoveTo(150, 120);
    Frame(false);
    Frame(true, true);
    Frame(true);
    MoveTo(400, 400, true);
    Frame(false);
    EXPECT_FALSE(ok->IsClicked());
    EXPECT_EQ(page.captured.Get(), nullptr);
    Frame(false);
    EXPECT_EQ(ok->state, Button::Normal);
    EXPECT_EQ(page.Played("Click.wav"), 0u);
    // Pressed outside and moved onto it: not pressed, no click.
    Frame(true, true);
    MoveTo(150, 120, true);
    Frame(true);
    EXPECT_NE(ok->state, Button::Pressed);
    Frame(false);
    EXPECT_FALSE(ok->IsClicked());
}

TEST_F(Widgets, DisabledAndNeverUpdatedButtonsReportNoClick) {
    Load("Off ImageButton\n{\nRect 100 100 r100 r40\nState Disabled\nHoverSound Hover.wav\n}\n"
         "Fresh ImageButton\n{\nRect 300 100 r100 r40\nVisible 0\n}\n");
    Button* off = Get<Button>("Off");
    Button* fresh = Get<Button>("Fresh");
    EXPECT_FALSE(fresh->IsClicked()); // neither frame counter set yet
    MoveTo(150, 120);
    Frame(false);
    Frame(true, true);
    Frame(true);
    Frame(false);
    EXPECT_EQ(off->state, Button::Disabled);
    EXPECT_FALSE(off->IsClicked());
    EXPECT_TRUE(page.played.empty());
    off->clickFrame = off->updateFrame; // even a stale record says nothing while disabled
    EXPECT_FALSE(off->IsClicked());
}

TEST_F(Widgets, ButtonLoadTable) {
    struct Case {
        const char* keys;
        bool loads;
        int32_t state;
    };
    const Case cases[] = {
        {"", true, Button::Normal},
        {"State Pressed\n", true, Button::Pressed},
        {"State Disabled\n", true, Button::Disabled},
        {"State disabled\n", false, Button::Normal}, // the words are case-sensitive
        {"State Off\n", false, Button::Normal},
    };
    for (const Case& c : cases) {
        Base::Info node;
        ASSERT_EQ(node.LoadText(std::string("Rect 0 0 10 10\n") + c.keys), 0);
        Gui::ImageButton button;
        EXPECT_EQ(button.Load("B", node), c.loads) << c.keys;
        if (c.loads) {
            EXPECT_EQ(button.state, c.state) << c.keys;
        }
    }
    // A string button needs its text and a font.
    for (const auto& [keys, loads] : std::vector<std::pair<std::string, bool>>{
             {"Font Mono.font\nText OK\nPressed 10 20 30\nHighlighted 1 2\n", true},
             {"Font Mono.font\n", false},
             {"Text OK\n", false},
             {"Font NoSuch.font\nText OK\n", false}}) {
        Base::Info node;
        ASSERT_EQ(node.LoadText("Rect 0 0 10 10\n" + keys), 0);
        Gui::StringButton button;
        EXPECT_EQ(button.Load("B", node), loads) << keys;
        if (loads) {
            EXPECT_EQ(button.text, "OK");
            EXPECT_EQ(Gui::ColourToArgb(button.colours[Button::Pressed]), 0xFF0A141Eu);
            EXPECT_EQ(Gui::ColourToArgb(button.colours[Button::Highlighted]),
                      0xFFFFFFFFu); // two numbers: kept
        }
    }
}

// ---- cursor and colours

TEST_F(Widgets, ImageCursorStaysOnTheScreenKeepingItsSize) {
    Load("");
    auto* cursor = dynamic_cast<Gui::ImageCursor*>(page.cursor);
    ASSERT_NE(cursor, nullptr);
    EXPECT_TRUE(cursor->transparent);
    const std::pair<Base::Vector2, Base::Vector2> moves[] = {{{-50, 20}, {0, 20}},
                                                             {{700, 500}, {640, 480}},
                                                             {{320, -1}, {320, 0}},
                                                             {{639.5f, 479}, {639.5f, 479}}};
    for (const auto& [to, expected] : moves) {
        cursor->SetPosition(to);
        EXPECT_EQ(cursor->position.x, expected.x);
        EXPECT_EQ(cursor->position.y, expected.y);
        EXPECT_EQ(cursor->rect, (Gui::Rect{expected.x, expected.y, expected.x + 16, expected.y + 16}));
    }
    // Moved by the mouse against an edge: it stays on the edge.
    mouse.dx = 100;
    mouse.dy = 100;
    cursor->Update();
    EXPECT_EQ(cursor->position.x, 640.0f);
    EXPECT_EQ(cursor->position.y, 480.0f);
    // A smaller screen: owned again, clamped into it.
    page.screenRect = {0, 0, 320, 240};
    cursor->SetOwner(&page);
    EXPECT_EQ(cursor->position.x, 320.0f);
    EXPECT_EQ(cursor->position.y, 240.0f);
}

TEST(GuiColours, ParseTable) {
    struct Case {
        const char* text;
        bool parses;
        uint32_t argb;
    };
    const Case cases[] = {{"255 128 0", true, 0xFFFF8000},
                          {"1 2 3 4", true, 0x04010203},
                          {"1 2", false, 0},
                          {"1 2 3 4 5", false, 0},
                          {"256 0 0", false, 0},
                          {"-1 0 0", false, 0},
                          {"a b c", false, 0},
                          {"", false, 0}};
    for (const Case& c : cases) {
        RwRGBA colour{};
        EXPECT_EQ(Gui::ParseColour(c.text, colour), c.parses) << c.text;
        if (c.parses) {
            EXPECT_EQ(Gui::ColourToArgb(colour), c.argb) << c.text;
        }
    }
}

// ---- text style

TEST_F(Widgets, TextStyleLoadTable) {
    struct Case {
        const char* keys;
        bool loads;
    };
    const Case cases[] = {
        {"Font Mono.font\n", true},
        {"Font Mono.font\nTextAlignment 0 1\n", true},
        {"Font Mono.font\nTextAlignment -1 -1\n", true},
        {"Font Mono.font\nTextAlignment 2 0\n", false},
        {"Font Mono.font\nTextAlignment 0 -2\n", false},
        {"Font Mono.font\nTextAlignment x\n", true}, // unparsable: the default stays
        {"TextAlignment 0 0\n", false},
        {"Font Missing.font\n", false},
    };
    for (const Case& c : cases) {
        Base::Info node;
        ASSERT_EQ(node.LoadText(c.keys), 0);
        Gui::TextBase style;
        EXPECT_EQ(style.LoadStyle(node), c.loads) << c.keys;
    }
    Base::Info node;
    ASSERT_EQ(node.LoadText("Font Mono.font\nTextColor 1 2 3\nTextScale 2 3\nTextSpacing 1 1\nTextWrap 0\n"
                            "TextSingleLine 1\nTextAlignment 1 0\n"),
              0);
    Gui::TextBase style;
    ASSERT_TRUE(style.LoadStyle(node));
    EXPECT_EQ(style.colour, 0xFF010203u);
    EXPECT_EQ(style.scale.x, 2.0f);
    EXPECT_EQ(style.scale.y, 3.0f);
    EXPECT_EQ(style.spacing.x, 1.0f);
    EXPECT_EQ(style.wrap, 0);
    EXPECT_EQ(style.singleLine, 1);
    EXPECT_EQ(style.alignment[0], 1);
    EXPECT_EQ(style.alignment[1], 0);
    // A text widget with a bad alignment fails its load.
    Base::Info text;
    ASSERT_EQ(text.LoadText("Rect 0 0 10 10\nFont Mono.font\nTextAlignment 2 -1\n"), 0);
    Gui::Text widget;
    EXPECT_FALSE(widget.Load("T", text));
}

// A text widget whose style failed still joins its page (so that the page loads); it draws nothing and
// takes no keys instead of reaching for a font it does not have.
TEST_F(Widgets, TextWidgetsWithoutAFontDrawNothing) {
    Load("Label StringButton\n{\nRect 0 0 r50 r20\nFont NoSuch.font\nText Hi\n}\n"
         "Box Text\n{\nRect 0 30 r50 r20\nFont NoSuch.font\nText Hi\n}\n"
         "Field Edit\n{\nRect 0 60 r50 r20\nFont NoSuch.font\n}\n"
         "Rows StringList\n{\nRect 0 90 r50 r20\nFont NoSuch.font\nStrings\n{\n# a\n}\n}\n"
         "Pick StringSelector\n{\nRect 0 120 r50 r20\nFont NoSuch.font\nStrings\n{\n# a\n}\n}\n");
    ASSERT_EQ(page.size(), 6u);
    for (const char* name : {"Label", "Box", "Field", "Rows", "Pick"}) {
        Gui::Widget* w = page.FindWidget(name, false);
        ASSERT_NE(w, nullptr) << name;
        EXPECT_EQ(dynamic_cast<Gui::TextBase*>(w)->font, nullptr) << name;
        w->Draw(); // without a device: any drawing would fail here
    }
    auto* field = Get<Gui::Edit>("Field");
    EXPECT_EQ(field->layout, nullptr);
    page.lastPressed = field;
    keyboard.pressedKey = 0x1E;
    field->Update();
    keyboard.pressedKey = 0;
    EXPECT_EQ(field->GetShownText(), "");
    MoveTo(10, 95);
    Frame(true, true);
    EXPECT_EQ(Get<Gui::StringList>("Rows")->selected, -1);
}

// ---- scrollers

TEST(Scroller, SnapsToTheGridAndKeepsInBounds) {
    Gui::Scroller s;
    s.SetScrollBounds({0, 0, 100, 100});
    s.granularity = {10, 0};
    const std::pair<Base::Vector2, Base::Vector2> cases[] = {{{14.9f, 3.3f}, {10, 3.3f}},
                                                             {{15, 3.3f}, {20, 3.3f}},
                                                             {{-4, -1}, {0, 0}},
                                                             {{104.9f, 200}, {100, 100}}};
    for (const auto& [to, expected] : cases) {
        s.SetScrollPos(to);
        EXPECT_FLOAT_EQ(s.scrollPos.x, expected.x) << to.x;
        EXPECT_FLOAT_EQ(s.scrollPos.y, expected.y) << to.y;
    }
    // Reversed bounds: the right and bottom win.
    s.granularity = {};
    s.SetScrollBounds({10, 20, 5, 8});
    for (Base::Vector2 to : {Base::Vector2{0, 0}, Base::Vector2{7, 10}, Base::Vector2{50, 50}}) {
        s.SetScrollPos(to);
        EXPECT_EQ(s.scrollPos.x, 5.0f);
        EXPECT_EQ(s.scrollPos.y, 8.0f);
    }
    s.locked = true;
    s.SetScrollBounds({0, 0, 100, 100});
    s.SetScrollPos({50, 50});
    EXPECT_EQ(s.scrollPos.x, 5.0f); // locked: nothing moves it
}

const char* const ScrollPage =
    "Bar ButtonScroller\n{\nRect 0 460 r640 r20\nButton Thumb\nScrollBounds 0 0 1 0\nWidgets\n{\n"
    "Thumb ImageButton\n{\nRect 0 0 r40 r20\n}\n}\n}\n"
    "Left ImageButton\n{\nRect 0 0 r10 r10\n}\nRight ImageButton\n{\nRect 20 0 r10 r10\n}\n"
    "Up ImageButton\n{\nRect 40 0 r10 r10\n}\nDown ImageButton\n{\nRect 60 0 r10 r10\n}\n"
    "Box ButtonScroller\n{\nRect 100 100 r200 r200\nScrollBounds 0 0 0 50\nScrollPos 0 20\nHScroller .Bar\n"
    "LeftScrollButton .Left\nRightScrollButton .Right\nUpScrollButton .Up\nDownScrollButton .Down\n}\n";

TEST_F(Widgets, ZeroRangeDisablesButtonsAndLocksTheBar) {
    Load(ScrollPage);
    auto* box = Get<Gui::ButtonScroller>("Box");
    auto* bar = Get<Gui::ButtonScroller>("Bar");
    Button* left = Get<Button>("Left");
    Button* right = Get<Button>("Right");
    Button* up = Get<Button>("Up");
    Button* down = Get<Button>("Down");
    bar->SetScrollPos({0.7f, 0});
    Frame(false);
    Frame(false);
    EXPECT_EQ(left->state, Button::Disabled);
    EXPECT_EQ(right->state, Button::Disabled);
    EXPECT_EQ(up->state, Button::Normal);
    EXPECT_EQ(down->state, Button::Normal);
    EXPECT_TRUE(bar->locked);
    EXPECT_EQ(bar->scrollPos.x, 0.0f); // at its own left/top corner
    EXPECT_EQ(Get<Button>("Bar.Thumb")->state, Button::Disabled);
    bar->SetScrollPos({0.5f, 0});
    EXPECT_EQ(bar->scrollPos.x, 0.0f);

    // Widened: the bar is free, the right button back; the left one stays off at the left bound.
    box->SetScrollBounds({0, 0, 100, 50});
    EXPECT_FALSE(bar->locked);
    EXPECT_EQ(left->state, Button::Disabled);
    EXPECT_EQ(right->state, Button::Normal);
    Frame(false);
    EXPECT_EQ(Get<Button>("Bar.Thumb")->state, Button::Normal);
    box->SetScrollPos({100, 0});
    EXPECT_EQ(left->state, Button::Normal);
    EXPECT_EQ(right->state, Button::Disabled);
    EXPECT_EQ(up->state, Button::Disabled);
    // The bar follows the box, and the box the bar.
    Frame(false);
    EXPECT_FLOAT_EQ(bar->scrollPos.x, 1.0f);
    bar->SetScrollPos({0.25f, 0});
    Frame(false);
    EXPECT_FLOAT_EQ(box->scrollPos.x, 25.0f);
    // A click on an arrow button (in the last frame: the box is updated before it) moves one step.
    right->clickFrame = right->updateFrame;
    box->step = {5, 5};
    Frame(false);
    EXPECT_FLOAT_EQ(box->scrollPos.x, 30.0f);
}

TEST_F(Widgets, WheelScrollsTheVerticalAxisFirst) {
    Load("Wheel ButtonScroller\n{\nRect 0 0 r100 r100\n}\n");
    auto* wheel = Get<Gui::ButtonScroller>("Wheel");
    struct Case {
        Gui::Rect bounds;
        bool hovered;
        int32_t delta;
        Base::Vector2 expected;
    };
    const Case cases[] = {
        {{0, 0, 100, 0}, true, 1, {49, 0}},     {{0, 0, 100, 0}, true, -3, {51, 0}},
        {{0, 0, 100, 100}, true, 1, {50, 49}},  {{0, 0, 100, 100}, true, -1, {50, 51}},
        {{0, 0, 100, 100}, false, 1, {50, 50}}, {{0, 0, 0, 0}, true, 1, {0, 0}},
    };
    for (const Case& c : cases) {
        wheel->SetScrollBounds(c.bounds);
        wheel->SetScrollPos({50, 50});
        wheel->previousPos = wheel->scrollPos;
        page.hovered = c.hovered ? wheel : nullptr;
        mouse.dz = c.delta;
        wheel->Update();
        EXPECT_EQ(wheel->scrollPos.x, c.expected.x) << c.delta;
        EXPECT_EQ(wheel->scrollPos.y, c.expected.y) << c.delta;
    }
}

TEST_F(Widgets, ThumbDragMapsItsTravelOntoTheBounds) {
    Load("VBar ButtonScroller\n{\nRect 600 0 r20 r200\nButton Thumb\nScrollBounds 0 10 0 50\nWidgets\n{\n"
         "Thumb ImageButton\n{\nRect 0 0 r20 r20\n}\n}\n}\n"
         "Narrow ButtonScroller\n{\nRect 0 300 r100 r40\nButton Thumb\nWidgets\n{\nThumb ImageButton\n{\n"
         "Rect 0 0 r20 r40\n}\n}\n}\n"
         "Full ButtonScroller\n{\nRect 300 300 r20 r100\nButton Thumb\nWidgets\n{\nThumb ImageButton\n{\n"
         "Rect 0 0 r20 r100\n}\n}\n}\n");
    auto* bar = Get<Gui::ButtonScroller>("VBar");
    EXPECT_EQ(bar->scrollPos.y, 10.0f);
    MoveTo(610, 10);
    Frame(false);
    Frame(true, true);
    const std::pair<float, float> drags[] = {{190, 50}, {100, 30}, {400, 50}, {0, 10}};
    for (const auto& [y, expected] : drags) {
        MoveTo(610, y, true);
        EXPECT_FLOAT_EQ(bar->scrollPos.y, expected) << y;
    }
    Frame(false);

    // As tall as its bar and narrower: travel on x only.
    auto* narrow = Get<Gui::ButtonScroller>("Narrow");
    EXPECT_EQ(narrow->bounds, (Gui::Rect{0, 0, 1, 0}));
    MoveTo(10, 320);
    Frame(false);
    Frame(true, true);
    MoveTo(50, 400, true);
    EXPECT_FLOAT_EQ(narrow->scrollPos.x, 0.5f);
    EXPECT_EQ(narrow->scrollPos.y, 0.0f);
    Frame(false);

    // A thumb that fills its bar has no travel: dragging it leaves the position alone (no division by 0).
    auto* full = Get<Gui::ButtonScroller>("Full");
    EXPECT_EQ(full->bounds, (Gui::Rect{0, 0, 0, 0}));
    MoveTo(310, 350);
    Frame(false);
    Frame(true, true);
    MoveTo(315, 390, true);
    EXPECT_EQ(full->scrollPos.x, 0.0f);
    EXPECT_EQ(full->scrollPos.y, 0.0f);
}

TEST_F(Widgets, ALinkedBarWithoutRangeLeavesThePositionANumber) {
    Load("Flat ButtonScroller\n{\nRect 0 0 r20 r100\nScrollBounds 0 0 0 0\n}\n"
         "Box ButtonScroller\n{\nRect 100 100 r200 r200\nScrollBounds 0 0 0 50\nScrollPos 0 20\n"
         "VScroller .Flat\n}\n");
    auto* box = Get<Gui::ButtonScroller>("Box");
    auto* flat = Get<Gui::ButtonScroller>("Flat");
    for (int i = 0; i < 3; ++i) {
        Frame(false);
        EXPECT_FALSE(std::isnan(box->scrollPos.y));
        EXPECT_FALSE(std::isnan(flat->scrollPos.y));
    }
    EXPECT_EQ(box->scrollPos.y, 0.0f); // an empty bar reads as its start
}

// A page may link a scroller to itself or two scrollers to each other: the links settle, nothing recurses.
TEST_F(Widgets, ScrollersLinkedInALoopSettle) {
    Load("Self Text\n{\nRect 1 1 r1 r7\nVScroller .Self\n}\n"
         "A ButtonScroller\n{\nRect 0 0 r20 r100\nScrollBounds 0 0 0 0\nVScroller .B\n}\n"
         "B ButtonScroller\n{\nRect 40 0 r20 r100\nScrollBounds 0 0 0 0\nHScroller .A\n}\n");
    Frame(false);
    Frame(false);
    EXPECT_TRUE(Get<Gui::Scroller>("A")->locked);
    EXPECT_TRUE(Get<Gui::Scroller>("B")->locked);
    EXPECT_EQ(Get<Gui::Scroller>("Self")->scrollPos.y, 0.0f);
}

// ---- text and edit

class Edits : public Widgets {
protected:
    void Key(Gui::Edit* edit, uint8_t key, uint8_t modifiers = 0) {
        keyboard.pressedKey = key;
        keyboard.modifiers = modifiers;
        page.lastPressed = edit;
        edit->Update();
        keyboard.pressedKey = 0;
        keyboard.modifiers = 0;
    }
    void Type(Gui::Edit* edit, const std::string& text) {
        for (char c : text) {
            uint8_t shifted = 0;
            const uint8_t code = Input::Keyboard::CharToScanCode(c, &shifted);
            ASSERT_NE(code, 0) << c;
            Key(edit, code, shifted ? Input::Keyboard::Shift : 0);
        }
    }
    Gui::Edit* MakeEdit(const std::string& keys) {
        Load("Field Edit\n{\nRect 10 10 r200 r60\nFont Mono.font\n" + keys + "}\n");
        return Get<Gui::Edit>("Field");
    }
    static std::pair<int32_t, int32_t> Caret(const Gui::Edit* e) { return {e->caretLine, e->caretColumn}; }
};

TEST_F(Edits, TypingWithShiftAndTheKeypad) {
    Gui::Edit* e = MakeEdit("");
    Type(e, "Hello, World! (x_y) ~");
    EXPECT_EQ(e->GetShownText(), "Hello, World! (x_y) ~");
    EXPECT_EQ(Caret(e), std::make_pair(0, 21));
    Key(e, 0x37); // keypad star
    Key(e, 0x37, Input::Keyboard::Shift);
    Key(e, 0x4F, Input::Keyboard::Shift); // keypad 1 types with Shift too
    Key(e, 0xB5);
    Key(e, 0x1E, Input::Keyboard::Control); // Control+A types nothing
    Key(e, 0x1E, Input::Keyboard::Alt);
    EXPECT_EQ(e->GetShownText(), "Hello, World! (x_y) ~*1/");
    // The keyboard's auto-repeat types as well.
    keyboard.repeatKey = 0x39;
    page.lastPressed = e;
    e->Update();
    keyboard.repeatKey = 0;
    EXPECT_EQ(e->GetShownText(), "Hello, World! (x_y) ~*1/ ");
    Key(e, Gui::Edit::KeyBackspace);
    // Not the current widget: keys go elsewhere.
    keyboard.pressedKey = 0x1E;
    page.lastPressed = nullptr;
    e->Update();
    keyboard.pressedKey = 0;
    EXPECT_EQ(e->GetShownText(), "Hello, World! (x_y) ~*1/");
}

TEST_F(Edits, CaretMovesAcrossLines) {
    Gui::Edit* e = MakeEdit("Text \"ab\ncd\nef\"\n");
    ASSERT_EQ(e->GetShownText(), "ab\ncd\nef");
    ASSERT_EQ(e->layout->lines.size(), 3u);
    const uint8_t none = 0, ctrl = Input::Keyboard::Control;
    struct Step {
        uint8_t key, modifiers;
        std::pair<int32_t, int32_t> caret;
    };
    const Step steps[] = {
        {Gui::Edit::KeyBackspace, none, {0, 0}}, // at the start: nothing
        {Gui::Edit::KeyEnd, none, {0, 2}},       // on the line's newline
        {Gui::Edit::KeyRight, none, {1, 0}},     // past a line's end: the next line
        {Gui::Edit::KeyLeft, none, {0, 2}},
        {Gui::Edit::KeyEnd, ctrl, {2, 2}}, // the last line's end is past its last glyph
        {Gui::Edit::KeyRight, none, {2, 2}},
        {Gui::Edit::KeyDown, none, {2, 2}},
        {Gui::Edit::KeyUp, none, {1, 2}},
        {Gui::Edit::KeyHome, none, {1, 0}},
        {Gui::Edit::KeyHome, ctrl, {0, 0}},
        {Gui::Edit::KeyUp, none, {0, 0}},
    };
    for (const Step& s : steps) {
        Key(e, s.key, s.modifiers);
        EXPECT_EQ(Caret(e), s.caret) << int(s.key) << " " << int(s.modifiers);
    }
    EXPECT_EQ(e->GetShownText(), "ab\ncd\nef");
    Key(e, Gui::Edit::KeyDelete);
    EXPECT_EQ(e->GetShownText(), "b\ncd\nef");
    Key(e, Gui::Edit::KeyDown);
    Key(e, Gui::Edit::KeyBackspace); // joins the lines
    EXPECT_EQ(e->GetShownText(), "bcd\nef");
    EXPECT_EQ(Caret(e), std::make_pair(0, 1));
    Key(e, Gui::Edit::KeyEnter);
    EXPECT_EQ(e->GetShownText(), "b\ncd\nef");
    EXPECT_EQ(Caret(e), std::make_pair(1, 0));
}

TEST_F(Edits, EnterInASingleLineFieldInsertsNothing) {
    Gui::Edit* e = MakeEdit("TextSingleLine 1\nText ab\n");
    Key(e, Gui::Edit::KeyEnd);
    Key(e, Gui::Edit::KeyEnter);
    EXPECT_EQ(e->GetShownText(), "ab");
}

TEST_F(Edits, LengthLimit) {
    Gui::Edit* e = MakeEdit("CharsLimit 5\nText abcdefgh\n");
    EXPECT_EQ(e->GetShownText(), "abcde");
    e->SetText("abcdef");
    EXPECT_EQ(e->GetShownText(), "abcde");
    Type(e, "x");
    EXPECT_EQ(e->GetShownText(), "abcde");
    Key(e, Gui::Edit::KeyRight);
    Key(e, Gui::Edit::KeyDelete);
    EXPECT_EQ(e->GetShownText(), "acde");
    Type(e, "X");
    EXPECT_EQ(e->GetShownText(), "aXcde");
    Key(e, Gui::Edit::KeyBackspace);
    EXPECT_EQ(e->GetShownText(), "acde");
    EXPECT_EQ(Caret(e), std::make_pair(0, 1));
}

TEST_F(Edits, CaretBlinksFromItsLastMove) {
    Gui::Edit* e = MakeEdit("Text abc\n");
    Base::FrameClock::GameTime = 100.0;
    Key(e, Gui::Edit::KeyRight);
    EXPECT_FLOAT_EQ(e->caretResetTime, 100.01f);
    const std::pair<double, bool> times[] = {{100.0, true}, {100.2, true},   {100.4, false},
                                             {100.6, true}, {100.85, false}, {101.05, true}};
    for (const auto& [now, shown] : times)
        EXPECT_EQ(e->CaretShown(now), shown) << now;
    Base::FrameClock::GameTime = 0.0;
}

TEST_F(Edits, ScrollsToTheCaret) {
    Gui::Edit* e = MakeEdit("");
    page.DeleteAllWidgets();
    Load("Field Edit\n{\nRect 10 10 r80 r24\nFont Mono.font\nTextSingleLine 1\nTextWrap 0\n"
         "Text abcdefghijklmnopqrstuvwxyz0123\n}\n");
    e = Get<Gui::Edit>("Field");
    // 30 glyphs of 8 from x 10: 160 beyond the box's right edge at 90.
    EXPECT_EQ(e->bounds, (Gui::Rect{0, 0, 160, 0}));
    Key(e, Gui::Edit::KeyEnd);
    EXPECT_EQ(e->scrollPos.x, 160.0f);
    for (int i = 0; i < 20; ++i)
        Key(e, Gui::Edit::KeyLeft);
    // Each time the caret left the box, the view jumped to show it with a margin of 3 glyph heights (36):
    // last at column 14, whose glyph starts at 10 + 14 x 8.
    EXPECT_EQ(e->scrollPos.x, 122.0f - 10.0f - 36.0f);
    EXPECT_EQ(Caret(e), std::make_pair(0, 10));
    Key(e, Gui::Edit::KeyHome);
    EXPECT_EQ(e->scrollPos.x, 0.0f);
}

// Keys handed to a field while the mouse holds a button (the chat opened by Enter with a button held) go to
// the field at once, and the held button lets go without a click.
TEST_F(Edits, KeysHandedOverReachTheFieldWhateverTheMouseHolds) {
    Load(std::string(OkButton) + "Field Edit\n{\nRect 10 10 r80 r24\nFont Mono.font\n}\n");
    Button* ok = Get<Button>("Ok");
    Gui::Edit* field = Get<Gui::Edit>("Field");
    MoveTo(150, 120);
    Frame(true, true);
    ASSERT_EQ(page.captured.Get(), ok);
    page.GiveKeys(field);
    EXPECT_EQ(page.captured.Get(), nullptr);
    keyboard.pressedKey = 0x1E; // A
    Frame(true);
    keyboard.pressedKey = 0;
    EXPECT_EQ(page.lastPressed.Get(), field);
    EXPECT_EQ(field->GetShownText(), "a");
    Frame(false);
    EXPECT_FALSE(ok->IsClicked());
    // The next press takes the keys as usual.
    Frame(false, true);
    EXPECT_EQ(page.lastPressed.Get(), ok);
}

// ---- lists and selectors

TEST_F(Widgets, ListSoundsOncePerChangeAndShrinking) {
    Load("Rows StringList\n{\nRect 100 100 r200 r60\nFont Mono.font\nHighlightSound Hi.wav\n"
         "SelectSound Sel.wav\nStrings\n{\n# one\n# two\n# three\n# four\n# five\n# six\n}\n}\n");
    auto* list = Get<Gui::StringList>("Rows");
    ASSERT_EQ(list->strings.size(), 6u);
    EXPECT_EQ(list->strings[2], "three");
    EXPECT_EQ(list->highlightColour, 0x40FFFFFFu);
    MoveTo(150, 105);
    for (int i = 0; i < 4; ++i)
        Frame(false);
    EXPECT_EQ(list->bounds, (Gui::Rect{0, 0, 0, 12})); // six rows of 12 in a box of 60
    EXPECT_EQ(list->highlighted, 0);
    EXPECT_EQ(page.Played("Hi.wav"), 1u);
    MoveTo(150, 125);
    Frame(false);
    EXPECT_EQ(list->highlighted, 2);
    EXPECT_EQ(page.Played("Hi.wav"), 2u);
    Frame(true, true);
    Frame(true, true);
    EXPECT_EQ(list->selected, 2);
    EXPECT_EQ(page.Played("Sel.wav"), 1u);
    MoveTo(400, 400);
    Frame(false);
    EXPECT_EQ(list->highlighted, -1);

    list->selected = 5;
    list->SetStrings(3);
    EXPECT_EQ(list->selected, 2);
    Frame(false);
    EXPECT_EQ(list->bounds, (Gui::Rect{0, 0, 0, 0})); // the rows fit
    list->SetStrings(0);
    EXPECT_EQ(list->selected, -1);
    EXPECT_EQ(list->highlighted, -1);
}

TEST_F(Widgets, SelectorRoundsAtItsHalfWayPoints) {
    Load("Pick StringSelector\n{\nRect 0 0 r100 r20\nFont Mono.font\nScrollPos 0 2\n"
         "Strings\n{\n# a\n# b\n# c\n}\n}\n");
    auto* pick = Get<Gui::StringSelector>("Pick");
    EXPECT_EQ(pick->bounds, (Gui::Rect{0, 0, 0, 2}));
    EXPECT_EQ(pick->scrollPos.y, 2.0f); // applied against the final bounds
    EXPECT_EQ(pick->step.y, 1.0f);
    const std::pair<float, int32_t> cases[] = {{0, 0}, {0.49f, 0}, {0.5f, 1}, {1.4f, 1}, {1.5f, 2}, {9, 2}};
    for (const auto& [y, index] : cases) {
        pick->SetScrollPos({0, y});
        EXPECT_EQ(pick->GetSelectedIndex(), index) << y;
    }
    pick->SetStrings(0);
    EXPECT_EQ(pick->bounds, (Gui::Rect{0, 0, 0, 0}));

    // The image selector: its bounds from the images, then its scroller keys against them.
    Base::Info node;
    ASSERT_EQ(node.LoadText("Rect 0 0 10 10\nScrollPos 0 5\nImages\n{\nA\n{\nColor 255 0 0\n}\n"
                            "B\n{\nColor 0 255 0 128\n}\n}\n"),
              0);
    Gui::ImageSelector images;
    ASSERT_TRUE(images.Load("Images", node));
    ASSERT_EQ(images.images.size(), 2u);
    EXPECT_EQ(images.images[1].color.alpha, 128);
    EXPECT_EQ(images.bounds, (Gui::Rect{0, 0, 0, 1}));
    EXPECT_EQ(images.scrollPos.y, 1.0f);
    EXPECT_EQ(images.step.y, 1.0f);
}

} // namespace
