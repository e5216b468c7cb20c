// The pages' shared parts and the general pages: lookups by name, message boxes, the key capture and the
// assignments panel, the option panels' defaults and video modes, and the splash page's end.
#include "MenuFixture.h"
#include "tests/rig/UiDriver.h"

#include "audio/SoundGroup.h"
#include "base/Config.h"
#include "gui/Button.h"
#include "gui/Lists.h"
#include "gui/Scroller.h"
#include "gui/Text.h"
#include "gui/Video.h"
#include "rwsdk/src/engine.h"

#include <fstream>
#include <thread>

namespace {

using namespace MenuTest;

// ---- lookups, on a tree of their own

TEST(PageLookup, OwnChildrenComeBeforeDeeperOnesAndDotsClimb) {
    Fe::RegisterClasses();
    Base::Info tree;
    ASSERT_EQ(
        tree.LoadText("DesktopRect 0 0 640 480\nWidgets\n{\n"
                      " Page class Fe::Page\n {\n  Rect 0 0 640 480\n  Widgets\n  {\n"
                      "   Row Widget\n   {\n    Rect 0 0 100 20\n    Widgets\n    {\n"
                      "     Aaa Widget\n     {\n      Rect 0 0 10 10\n      Widgets\n      {\n"
                      "       Btn ImageButton\n       {\n        Rect 0 0 5 5\n       }\n      }\n     }\n"
                      "     Btn ImageButton\n     {\n      Rect 0 0 10 10\n     }\n    }\n   }\n"
                      "   Sibling Widget\n   {\n    Rect 0 30 100 50\n   }\n"
                      "   A Widget\n   {\n    Rect 0 60 100 90\n    Widgets\n    {\n"
                      "     X Widget\n     {\n      Rect 0 0 50 20\n      Widgets\n      {\n"
                      "       C Widget\n       {\n        Rect 0 0 5 5\n       }\n      }\n     }\n"
                      "     B Widget\n     {\n      Rect 0 0 40 10\n      Widgets\n      {\n"
                      "       Y Widget\n       {\n        Rect 0 0 30 10\n        Widgets\n        {\n"
                      "         C Widget\n         {\n          Rect 0 0 5 5\n         }\n"
                      "        }\n       }\n      }\n     }\n    }\n   }\n"
                      "  }\n }\n}\n"),
        0);
    Gui::Desktop desktop;
    ASSERT_TRUE(desktop.Load(tree));
    auto* page = desktop.Find<Fe::Page>("Page", false);
    ASSERT_NE(page, nullptr);
    Gui::Widget* row = page->FindWidget("Row", true);
    ASSERT_NE(row, nullptr);
    // "Btn" in a row: the row's own, though "Aaa" (searched first by name) holds one too.
    Gui::Button* own = row->Find<Gui::Button>("Btn", true);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->parent, row);
    // A leading '.' climbs to the parent: a sibling; from a page, to the desktop.
    EXPECT_EQ(row->FindWidget(".Sibling", true), page->FindWidget("Sibling", false));
    EXPECT_EQ(page->Find<Fe::Page>(".Page", false), page);
    // A.B.C: each name before a dot is a direct child of the one before it, the last one anywhere below: the
    // C below B, not the one A's "X" holds.
    Gui::Widget* c = page->FindWidget("A.B.C", true);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->parent->name, "Y");
    EXPECT_EQ(page->FindWidget("B.C", true), nullptr); // B is no direct child of the page
    EXPECT_EQ(page->FindWidget("A.Y.C", true), nullptr);
    // A typed lookup of a widget of another class finds nothing.
    EXPECT_EQ(page->Find<Gui::Button>("Sibling", true), nullptr);
    EXPECT_EQ(page->Find<Fe::MessageBox>("Row", true), nullptr);
}

// ---- the key capture

TEST(KeyCapture, AcceptsTheKeysACommandCanHave) {
    struct Row {
        uint8_t code;
        bool accepted;
    } rows[] = {
        {0x39, true},  {0x1A, true},  {0x1B, true},  {0x02, true},  {0x0E, true},  {0x0F, true},
        {0x10, true},  {0x18, true},  {0x1F, true},  {0x28, true},  {0x2F, true},  {0x35, true},
        {0x19, false}, {0x1E, false}, {0x2C, false}, {0x2D, false}, {0x2E, false}, {0x1C, false},
        {0x01, false}, {0x29, false}, {0x2B, false}, {0x3B, false}, {0xC8, false}, {0x4B, false},
        {0x2A, false}, {0x36, false}, {0x00, false}, {0x1D, false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(Fe::MessageBoxSwitchAssignment::Accepted(r.code), r.accepted) << int(r.code);
}

TEST(KeyCapture, FormatFromTheStringsFileTakesOneTextOnly) {
    EXPECT_EQ(Fe::FormatWithText("Press the key for %s.", "Fire"), "Press the key for Fire.");
    EXPECT_EQ(Fe::FormatWithText("100%% %s", "Fire"), "100% Fire");
    // Anything printf would read past its one argument shows the argument alone.
    EXPECT_EQ(Fe::FormatWithText("%s %s", "Fire"), "Fire");
    EXPECT_EQ(Fe::FormatWithText("%d for %s", "Fire"), "Fire");
    EXPECT_EQ(Fe::FormatWithText("no argument", "Fire"), "Fire");
    EXPECT_EQ(Fe::FormatWithText("trailing %", "Fire"), "Fire");
}

class Assignments : public Menu {
protected:
    void OpenPanel() {
        ToMainPage();
        Click("BtnOptions");
        Settle();
        Frame();
        Click("BtnAssignments");
        Frame();
        panel = Get<Fe::OptionsAssignments>("OptionsAssignments");
        box = Get<Fe::MessageBoxSwitchAssignment>("MessageBoxSwitchAssignment");
        ASSERT_TRUE(panel && panel->visible);
    }
    void OpenCapture(const std::string& row) {
        Click(row.c_str(), "Btn");
        ASSERT_TRUE(box->visible) << row;
    }
    Gui::Text* Label(const std::string& row, const char* which) {
        return Below<Gui::Text>(row.c_str(), which);
    }
    const Base::KeyAssignment& Key(int index) const { return frontend->config.keyAssignments[index]; }

    Fe::OptionsAssignments* panel = nullptr;
    Fe::MessageBoxSwitchAssignment* box = nullptr;
};

TEST_F(Assignments, ShiftQIsCapturedAndPAndEscapeAreRefused) {
    OpenPanel();
    // Flares: the semicolon and the fifth joystick button.
    ASSERT_EQ(Key(8).key, 0x27);
    OpenCapture("Flare");
    EXPECT_EQ(box->keyCode, 0x27);
    EXPECT_EQ(box->joyButton, 4);
    const Gui::Text* message =
        Get<Gui::Text>("PageOptions.OptionsAssignments.MessageBoxSwitchAssignment.Message");
    EXPECT_EQ(message->text, "Press the key for Release flares.");
    for (uint8_t refused : {uint8_t(0x19), uint8_t(0x01)}) {
        Press(refused);
        EXPECT_TRUE(box->visible);
        EXPECT_EQ(Key(8).key, 0x27);
    }
    Press(0x10, 0x2A); // Shift+Q
    EXPECT_FALSE(box->visible);
    EXPECT_EQ(box->keyCode, 0x10);
    EXPECT_EQ(box->modifiers, 1);
    EXPECT_EQ(Key(8).key, 0x10);
    EXPECT_EQ(Key(8).modifiers, 1);
    EXPECT_EQ(Key(8).button, 4); // the capture keeps the command's button
    Frame();
    EXPECT_EQ(Label("Flare", "Key")->text, "Shift+Q");
    EXPECT_EQ(Label("Flare", "Joy")->text, "Button 5");
    EXPECT_EQ(Label("Eject", "Key")->text, "Ctrl+E");
}

TEST_F(Assignments, AKeyBoundElsewhereIsTakenFromTheOtherCommand) {
    OpenPanel();
    ASSERT_TRUE(panel->allAssigned);
    // B is the wheel brakes' key.
    ASSERT_EQ(Key(1).key, 0x30);
    OpenCapture("Gears");
    Press(0x30);
    Frame();
    EXPECT_EQ(Key(0).key, 0x30);
    EXPECT_EQ(Key(1).key, 0);
    EXPECT_EQ(Label("WheelBrakes", "Key")->text, "Unassigned");
    EXPECT_EQ(Label("WheelBrakes", "Key")->colour, 0xFF802020u);
    EXPECT_FALSE(panel->allAssigned); // the brakes have no joystick button either
    // Shift+B is another key: the brakes keep it once bound.
    OpenCapture("WheelBrakes");
    Press(0x30, 0x36);
    Frame();
    EXPECT_EQ(Key(1).key, 0x30);
    EXPECT_EQ(Key(1).modifiers, 1);
    EXPECT_EQ(Key(0).key, 0x30);
    EXPECT_TRUE(panel->allAssigned);
    // Leaving with a command unbound asks first.
    OpenCapture("Gears");
    Press(0x31); // N, the navpoint key
    Frame();
    ASSERT_FALSE(panel->allAssigned);
    Click("PageOptions.BtnBack");
    EXPECT_TRUE(Get("MessageBoxNotAllAssigned")->visible);
    EXPECT_EQ(frontend->targetPage, nullptr);
    Click("PageOptions.MessageBoxNotAllAssigned.Yes");
    EXPECT_EQ(frontend->targetPage, Get<Fe::Page>("PageMain"));
}

TEST_F(Assignments, NoTakesTheJoystickButtonOffTheCommand) {
    OpenPanel();
    ASSERT_EQ(Key(5).button, 0); // fire: space and the first joystick button
    EXPECT_EQ(Label("Shoot", "Joy")->text, "Button 1");
    OpenCapture("Shoot");
    Click("PageOptions.OptionsAssignments.MessageBoxSwitchAssignment.No");
    Frame();
    EXPECT_EQ(Key(5).button, 0xFF);
    EXPECT_EQ(Key(5).key, 0x39);
    EXPECT_EQ(Label("Shoot", "Joy")->text, "Unassigned");
}

TEST_F(Assignments, DefaultsButtonIsOfferedOnlyWhenItWouldChangeSomething) {
    OpenPanel();
    auto* defaults = Get<Gui::Button>("PageOptions.OptionsAssignments.BtnSetDefaults");
    EXPECT_EQ(defaults->state, Gui::Button::Disabled);
    OpenCapture("Chaff");
    Press(0x25);
    Frame();
    EXPECT_NE(defaults->state, Gui::Button::Disabled);
    Click(defaults);
    Frame();
    Base::Config expected;
    for (int i = 0; i < 22; ++i)
        EXPECT_EQ(Key(i), expected.keyAssignments[i]) << i;
    EXPECT_EQ(defaults->state, Gui::Button::Disabled);
}

// ---- option panels

class Options : public Menu {
protected:
    void Open(const char* tab) {
        ToMainPage();
        Click("BtnOptions");
        Settle();
        Frame();
        Click(tab);
        Frame();
    }
};

TEST_F(Options, AudioDefaultsComeBackAndTheVolumesFollowAtOnce) {
    Open("BtnAudio");
    auto* defaults = Get<Gui::Button>("PageOptions.OptionsAudio.BtnSetDefaults");
    EXPECT_EQ(defaults->state, Gui::Button::Disabled);
    EXPECT_EQ(Get<Gui::Text>("PageOptions.MusicGauge")->text, "50%");
    Click("PageOptions.OptionsAudio.MusicLess");
    Frame();
    EXPECT_NEAR(frontend->config.musicVolume, 0.45f, 1e-4);
    EXPECT_NEAR(frontend->musicSounds->volume, 0.45f, 1e-4);
    EXPECT_EQ(Get<Gui::Text>("PageOptions.MusicGauge")->text, "45%");
    EXPECT_NE(defaults->state, Gui::Button::Disabled);
    Click(defaults);
    Frame();
    EXPECT_FLOAT_EQ(frontend->config.musicVolume, 0.5f);
}

TEST_F(Options, ControlsDefaultsKeepTheControlTypeAndNoJoystickHidesItsWidgets) {
    Open("BtnControls");
    EXPECT_EQ(frontend->config.controlsType, 0u);
    EXPECT_FALSE(Get("PageOptions.JoyDeadZone")->visible);
    EXPECT_FALSE(Get("PageOptions.JoySensGauge")->visible);
    Click("PageOptions.ControlsNext");
    Frame();
    EXPECT_EQ(frontend->config.controlsType, 1u);
    EXPECT_TRUE(Get("PageOptions.JoyDeadZone")->visible);
    Click("PageOptions.JoyDeadZoneMore");
    Frame();
    EXPECT_NEAR(frontend->config.joyDeadZone, 0.15f, 1e-4);
    Click("PageOptions.OptionsControls.BtnSetDefaults");
    Frame();
    EXPECT_FLOAT_EQ(frontend->config.joyDeadZone, 0.1f);
    EXPECT_EQ(frontend->config.controlsType, 1u);
}

// The panel shows the stored setting on its selectors before they update: the driver's pick must survive
// that as the player's click on the arrows does.
TEST_F(Options, ADriverPickOnASelectorSticksAsAClickDoes) {
    Open("BtnControls");
    ASSERT_FALSE(frontend->config.invertPitch);
    Rig::UiDriver ui(*frontend->desktop);
    ASSERT_NE(ui.Pick("PageOptions.PitchType", 1), nullptr);
    Frame();
    EXPECT_TRUE(frontend->config.invertPitch);
    Frame();
    EXPECT_TRUE(frontend->config.invertPitch);
    EXPECT_EQ(Get<Gui::StringSelector>("PageOptions.PitchType")->GetSelectedIndex(), 1);
    ASSERT_NE(ui.Pick("PageOptions.PitchType", std::string("Normal")), nullptr);
    Frame();
    EXPECT_FALSE(frontend->config.invertPitch);
    // The player's way, for comparison: the arrow.
    Click("PageOptions.PitchNext");
    Frame();
    EXPECT_TRUE(frontend->config.invertPitch);
}

RwVideoMode Mode(int width, int height, int depth = 32, uint32_t flags = 1) {
    RwVideoMode m{};
    m.width = width;
    m.height = height;
    m.depth = depth;
    m.flags = flags;
    return m;
}

TEST(VideoModes, OnlyFullScreenThirtyTwoBitFourByThreeModesAreListed) {
    const std::vector<RwVideoMode> modes = {
        Mode(640, 480, 32, 0), // a window
        Mode(640, 480),        Mode(800, 600, 16), Mode(1280, 1024),
        Mode(1920, 1080),      Mode(1024, 768),    Mode(1024, 768), // duplicates stay
        Mode(320, 240),        Mode(256, 192),     Mode(1600, 1200),
    };
    const std::vector<Base::String> expected = {"640 x 480", "1024 x 768", "1024 x 768", "320 x 240",
                                                "1600 x 1200"};
    EXPECT_EQ(Fe::OptionsDisplay::ResolutionEntries(modes), expected);
}

TEST_F(Options, DisplayPanelListsModesAndRatesAndTellsOfARestartOnce) {
    Open("BtnDisplay");
    auto* panel = Get<Fe::OptionsDisplay>("OptionsDisplay");
    auto* list = Get<Gui::StringSelector>("ResolutionList");
    auto* rates = Get<Gui::StringSelector>("RefreshList");
    const std::vector<Base::String> expectedRates = {"Default", "60 Hz", "72 Hz", "75 Hz", "85 Hz", "100 Hz"};
    EXPECT_EQ(rates->strings, expectedRates);
    // Opened on a window of 512 x 384, the panel may already have told of a restart; from here on it tells
    // once.
    auto* notice = Get<Fe::MessageBox>("MessageBoxRestartNeeded");
    notice->Close();
    panel->restartNoticeShown = false;
    panel->FillLists({Mode(640, 480), Mode(800, 600), Mode(1024, 768)});
    frontend->config.displayWidth = 800;
    frontend->config.displayHeight = 600;
    frontend->config.refreshRate = 75;
    Frame();
    EXPECT_EQ(list->GetSelectedIndex(), 1);
    EXPECT_EQ(rates->GetSelectedIndex(), 3);
    // The window is 512 x 384: a new size needs a restart, said once.
    EXPECT_TRUE(notice->visible);
    Click("PageOptions.OptionsDisplay.MessageBoxRestartNeeded.Ok");
    EXPECT_FALSE(notice->visible);
    Click("PageOptions.ResolutionNext");
    Frame();
    EXPECT_EQ(frontend->config.displayWidth, 1024u);
    EXPECT_FALSE(notice->visible);
    // A 5:4 size in the settings matches no entry: the first one is taken.
    frontend->config.displayWidth = 1280;
    frontend->config.displayHeight = 1024;
    Frame();
    EXPECT_EQ(frontend->config.displayWidth, 640u);
    // The defaults keep the refresh rate.
    Click("PageOptions.OptionsDisplay.BtnSetDefaults");
    Frame();
    EXPECT_EQ(frontend->config.displayWidth, 1024u);
    EXPECT_EQ(frontend->config.refreshRate, 75u);
    EXPECT_FLOAT_EQ(frontend->config.visibility, 0.75f);
}

TEST_F(Options, WithoutAnyModeTheDisplaySizeIsKept) {
    Open("BtnDisplay");
    auto* panel = Get<Fe::OptionsDisplay>("OptionsDisplay");
    Get<Fe::MessageBox>("MessageBoxRestartNeeded")->Close();
    panel->restartNoticeShown = false;
    panel->FillLists({Mode(640, 480, 16), Mode(800, 600, 32, 0)});
    EXPECT_TRUE(Get<Gui::StringSelector>("ResolutionList")->strings.empty());
    frontend->config.displayWidth = 1152;
    frontend->config.displayHeight = 864;
    Frame();
    Frame();
    EXPECT_EQ(frontend->config.displayWidth, 1152u);
    EXPECT_EQ(frontend->config.displayHeight, 864u);
    EXPECT_FALSE(Get("MessageBoxRestartNeeded")->visible);
    // A machine with only wide modes offers those.
    panel->FillLists({Mode(1280, 720), Mode(1920, 1080)});
    const std::vector<Base::String> wide = {"1280 x 720", "1920 x 1080"};
    EXPECT_EQ(Get<Gui::StringSelector>("ResolutionList")->strings, wide);
}

// ---- the splash page, on menus of the test's own

class Splash : public Menu {
protected:
    // A menu whose first page is a splash with the given keys (and a film child when asked).
    void StartWith(const std::string& keys, bool film = false) {
        std::ofstream("Splash.gui") << "DesktopRect 0 0 1024 768\nWidgets\n{\n"
                                       " Cursor ImageCursor\n {\n  Rect 0 0 r8 r8\n }\n"
                                       " PageSplash class Fe::PgSplash\n {\n  Rect 0 0 1024 768\n"
                                    << keys
                                    << (film ? "  Widgets\n  {\n   Film Video\n   {\n    Rect 0 0 r64 r48\n"
                                               "    Movie Data\\Movies\\TestPattern.avi\n   }\n  }\n"
                                             : "")
                                    << " }\n"
                                       " PageMain class Fe::PgMain\n {\n  Rect 0 0 1024 768\n }\n}\n";
        Base::TextTable.GetChildForWrite("FrontendGuiFileName")->SetValue("Splash.gui");
        Base::TextTable.GetChildForWrite("FirstPage")->SetValue("PageSplash");
        Start();
        Settle();
        ASSERT_EQ(Shown(), Get("PageSplash"));
    }
};

TEST_F(Splash, APauseOfTwoSecondsEndsTwoSecondsAfterItWasShown) {
    StartWith("  NextPage PageMain\n  Pause 2\n  FadeDuration 0.5\n");
    EXPECT_FALSE(frontend->desktop->cursor->visible);
    Fe::PgSplash* splash = Get<Fe::PgSplash>("PageSplash");
    const double shown = splash->startTime;
    Frame(shown + 1.99 - now);
    EXPECT_EQ(frontend->targetPage, nullptr);
    Frame(shown + 2.01 - now);
    EXPECT_EQ(frontend->targetPage, Get<Fe::Page>("PageMain"));
    EXPECT_FLOAT_EQ(frontend->transitionDuration, 0.5f);
    Settle();
    EXPECT_TRUE(frontend->desktop->cursor->visible); // the main page brings it back
}

TEST_F(Splash, AnyKeyOrALeftClickEndsItAtOnce) {
    StartWith("  NextPage PageMain\n  Pause 100\n");
    Press(0x1E);
    EXPECT_EQ(frontend->targetPage, Get<Fe::Page>("PageMain"));
    EXPECT_FLOAT_EQ(frontend->transitionDuration, 0.75f); // the default fade
}

TEST_F(Splash, ALeftClickEndsIt) {
    StartWith("  NextPage PageMain\n  Pause 100\n  FadeDuration x\n");
    mouse.nextClick = 1; // not the left button
    Frame();
    EXPECT_EQ(frontend->targetPage, nullptr);
    mouse.nextClick = 0;
    Frame();
    EXPECT_EQ(frontend->targetPage, Get<Fe::Page>("PageMain"));
    EXPECT_FLOAT_EQ(frontend->transitionDuration, 0.75f); // not a number: the default
}

TEST_F(Splash, NextPageExitQuits) {
    StartWith("  NextPage Exit\n  Pause 0\n");
    EXPECT_EQ(Frame(), uint32_t(App::FrontendQuit));
}

TEST_F(Splash, ItEndsOneSecondAfterItsFilmStops) {
    StartWith("  NextPage PageMain\n  EndOnVideo Film\n  Pause 1\n", true);
    const Gui::Video* film = Get<Gui::Video>("Film");
    ASSERT_NE(film->stream, nullptr);
    ASSERT_EQ(*TextureRenderer::GetState(film->stream), TextureRenderer::Playing);
    // The film plays on its own clock: frames are drawn until it has stopped.
    for (int i = 0; i < 1000 && *TextureRenderer::GetState(film->stream) == TextureRenderer::Playing; ++i) {
        Frame(0.01);
        ASSERT_EQ(frontend->targetPage, nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(*TextureRenderer::GetState(film->stream), TextureRenderer::Playing);
    const double stopped = now;
    Frame(stopped + 0.95 - now);
    EXPECT_EQ(frontend->targetPage, nullptr);
    Frame(stopped + 1.05 - now);
    EXPECT_EQ(frontend->targetPage, Get<Fe::Page>("PageMain"));
}

TEST(SplashLoad, NeedsANextPageAndAPauseOrAFilm) {
    struct Row {
        const char* keys;
        bool loads;
    } rows[] = {
        {"NextPage PageMain\nPause 2\n", true},
        {"NextPage PageMain\nEndOnVideo Film\n", true},
        {"NextPage PageMain\n", false},
        {"Pause 2\n", false},
        {"NextPage PageMain\nPause 2\nFadeDuration 0.3\n", true},
    };
    for (const Row& r : rows) {
        Base::Info node;
        ASSERT_EQ(node.LoadText(std::string("Rect 0 0 10 10\n") + r.keys), 0);
        Fe::PgSplash splash;
        EXPECT_EQ(splash.Load("PageSplash", node), r.loads) << r.keys;
    }
}

} // namespace
