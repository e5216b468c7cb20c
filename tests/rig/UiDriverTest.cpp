// The UI driver on a page read from a *.gui description, with the scripted keyboard and mouse behind the
// desktop: what it clicks counts for one frame, what it types arrives through the keyboard, and a name it
// cannot find fails the test with that name.
#include "tests/rig/ScriptedInput.h"
#include "tests/rig/UiDriver.h"

#include "base/FontCache.h"
#include "base/FrameClock.h"
#include "base/Info.h"
#include "base/InfoCache.h"
#include "gui/Button.h"
#include "gui/Lists.h"
#include "gui/Text.h"
#include "gui/draw/Font.h"
#include "input/Keyboard.h"
#include "input/Mouse.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <string>

namespace {

const char* const PageText = R"(DesktopRect 0 0 640 480
Widgets
{
  Cursor ImageCursor
  {
    Rect 0 0 r16 r16
  }
  Page Image
  {
    Rect 0 0 r640 r480
    Widgets
    {
      Row Widget
      {
        Rect 10 10 r300 r40
        Widgets
        {
          Btn ImageButton
          {
            Rect 0 0 r80 r30
          }
        }
      }
      Other Widget
      {
        Rect 10 60 r300 r100
        Widgets
        {
          Deep Widget
          {
            Rect 0 0 r300 r100
            Widgets
            {
              Btn ImageButton
              {
                Rect 0 0 r80 r30
              }
            }
          }
        }
      }
      Box Widget
      {
        Rect 200 200 r100 r100
        Visible 0
      }
      Name Edit
      {
        Rect 10 200 r150 r20
        Font Mono.font
      }
      Airplanes StringList
      {
        Rect 10 240 r150 r60
        Font Mono.font
        Strings
        {
          # F16
          # Mig29
          # Su27
        }
      }
      Season StringSelector
      {
        Rect 10 320 r150 r20
        Font Mono.font
        Strings
        {
          # Summer
          # Winter
        }
      }
    }
  }
}
)";

class UiDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        Base::FontCache::Directory = std::string(CORVANE_SOURCE_DIR) + "/tests/gui/fixtures";
        Base::FontCache::Load = [](const Base::Info& d) {
            return d.GetChild("Chars") ? Gui::Font::Build(d, nullptr, 128, 96) : nullptr;
        };
        Base::FontCache::Delete = &Gui::Font::Delete;
        Base::FrameClock::SetFixedStep(1.0 / 60.0);
        desktop.screenRect = {0, 0, 640, 480};
        desktop.keyboard = &keyboard;
        desktop.mouse = &mouse;
        Base::Info info;
        ASSERT_EQ(info.LoadText(PageText), 0);
        ASSERT_TRUE(desktop.Load(info));
    }
    void TearDown() override {
        desktop.DeleteAllWidgets();
        Base::FontCache::Clear();
        Base::InfoCache::Clear();
        Base::FontCache::Load = nullptr;
        Base::FontCache::Delete = nullptr;
        Base::FrameClock::SetFixedStep(0);
    }
    // A frame of the front end as the runner plays it: the script's ui and device events, the tick, the
    // devices' polls and the desktop's update.
    void Frame() {
        ui.BeginFrame(input.script, frame);
        input.BeginFrame(frame);
        ++frame;
        Base::FrameClock::Tick();
        keyboard.PollAndAcquire();
        mouse.PollAndAcquire();
        desktop.Update();
    }
    Gui::Button* Button(const char* path) { return desktop.Find<Gui::Button>(path, true); }

    Rig::ScriptedInput input{false};
    Input::Keyboard keyboard;
    Input::Mouse mouse;
    Gui::Desktop desktop;
    Rig::UiDriver ui{desktop, &input};
    uint32_t frame = 0;
};

} // namespace

TEST_F(UiDriverTest, ClickedButtonCountsInTheNextFrameOnly) {
    Frame();
    Gui::Button* row = Button("Page.Row.Btn");
    // Own children before deeper ones, in name order: "Btn" alone is the first found depth-first.
    Gui::Button* deep = Button("Page.Other.Deep.Btn");
    ASSERT_NE(row, nullptr);
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(ui.Click("Btn"), deep);
    Frame();
    EXPECT_TRUE(deep->IsClicked());
    EXPECT_FALSE(row->IsClicked());
    Frame();
    EXPECT_FALSE(deep->IsClicked());
    EXPECT_EQ(ui.Click("Page.Row.Btn"), row);
    Frame();
    EXPECT_TRUE(row->IsClicked());
    EXPECT_FALSE(deep->IsClicked());
    // A disabled button is never pressed.
    row->state = Gui::Button::Disabled;
    EXPECT_EQ(ui.Click("Page.Row.Btn"), row);
    Frame();
    EXPECT_FALSE(row->IsClicked());
}

TEST_F(UiDriverTest, MissingOrUnreachableNamesFailTheTestNamingThem) {
    EXPECT_NONFATAL_FAILURE(EXPECT_EQ(ui.Click("Page.Row.BtnOk"), nullptr),
                            "no button named \"Page.Row.BtnOk\"");
    EXPECT_NONFATAL_FAILURE(ui.Click("Row"), "no button named \"Row\"");
    EXPECT_NONFATAL_FAILURE(ui.Type("Nobody", "x"), "no edit field named \"Nobody\"");
    EXPECT_NONFATAL_FAILURE(ui.Pick("Nothing", 0), "no list or selector named \"Nothing\"");
    EXPECT_NONFATAL_FAILURE(ui.Pick("Airplanes", 3), "\"Airplanes\" has no item 3");
    EXPECT_NONFATAL_FAILURE(ui.Pick("Season", "Spring"), "\"Season\" has no item \"Spring\"");
    // A box holding the page's focus keeps the player from the page's other buttons.
    Gui::Widget* page = desktop.FindWidget("Page", false);
    page->focus = desktop.FindWidget("Page.Box", false);
    EXPECT_NONFATAL_FAILURE(ui.Click("Page.Row.Btn"),
                            "\"Page.Row.Btn\" cannot be clicked: \"Box\" holds the focus");
    page->focus = nullptr;
    desktop.FindWidget("Row", true)->SetVisible(false);
    EXPECT_NONFATAL_FAILURE(ui.Click("Page.Row.Btn"),
                            "\"Page.Row.Btn\" cannot be clicked: \"Row\" is hidden");
}

TEST_F(UiDriverTest, ScriptTypesClicksAndPicks) {
    ASSERT_TRUE(input.script.Parse("1 ui type Name \"Ace_7\"\n"
                                   "2 ui pick Airplanes Su27\n"
                                   "2 ui pick Season 1\n"
                                   "20 ui click Page.Row.Btn\n"));
    Gui::Button* row = Button("Page.Row.Btn");
    ASSERT_NE(row, nullptr);
    for (int i = 0; i < 20; ++i) {
        Frame();
        EXPECT_FALSE(row->IsClicked()) << i;
    }
    Frame(); // 20
    EXPECT_TRUE(row->IsClicked());
    EXPECT_EQ(desktop.Find<Gui::Edit>("Name", true)->GetShownText(), "Ace_7");
    EXPECT_EQ(desktop.Find<Gui::StringList>("Airplanes", true)->selected, 2);
    EXPECT_EQ(desktop.Find<Gui::StringSelector>("Season", true)->GetSelectedIndex(), 1);
}
