// The front end's root on the sample menus: the fade into the first page, the page switches between menus,
// actions handed back in the frame a page sets them, and the settings written once, at exit.
#include "MenuFixture.h"

#include "audio/SoundGroup.h"
#include "base/Config.h"
#include "gui/Button.h"
#include "gui/Lists.h"
#include "gui/Scroller.h"

#include <fstream>

namespace {

using namespace MenuTest;

TEST_F(Menu, StartFadesIntoTheFirstPageOverFourTenths) {
    Start();
    Fe::Page* splash = Get<Fe::Page>("PageSplash");
    ASSERT_EQ(frontend->targetPage, splash);
    EXPECT_FLOAT_EQ(frontend->transitionDuration, 0.4f);
    EXPECT_EQ(Shown(), nullptr); // every page starts hidden
    const double start = now + 0.01;
    Frame(0.01); // the fade starts with the first frame
    EXPECT_DOUBLE_EQ(frontend->transitionStart, Base::FrameClock::GameTime);
    EXPECT_NEAR(frontend->brightness, 1.0f, 1e-4);
    Frame(start + 0.1 - now);
    EXPECT_NEAR(frontend->brightness, 0.5f, 1e-3);
    Frame(start + 0.199 - now);
    EXPECT_EQ(Shown(), nullptr);
    // Black at 0.2 s, and the page switched then.
    Frame(start + 0.200001 - now);
    EXPECT_NEAR(frontend->brightness, 0.0f, 1e-3);
    EXPECT_EQ(Shown(), splash);
    Frame(start + 0.3 - now);
    EXPECT_NEAR(frontend->brightness, 0.5f, 1e-3);
    EXPECT_NE(frontend->targetPage, nullptr);
    Frame(start + 0.400001 - now);
    EXPECT_EQ(frontend->targetPage, nullptr);
    EXPECT_EQ(frontend->transitionStart, 0.0);
    EXPECT_EQ(Shown(), splash);
    Frame();
    EXPECT_FLOAT_EQ(frontend->brightness, 1.0f);
}

TEST_F(Menu, NoPageIsUpdatedDuringAFade) {
    Start();
    // A key during the fade-in would end the splash; the splash is not updated, so nothing happens.
    for (int i = 0; i < 20; ++i) {
        keyboard.next = 0x39;
        Frame(0.01);
        ASSERT_TRUE(frontend->targetPage == Get<Fe::Page>("PageSplash") || !frontend->targetPage);
    }
    Settle();
    EXPECT_EQ(Shown(), Get("PageSplash"));
    // Once shown, the same key ends it.
    Press(0x39);
    EXPECT_EQ(frontend->targetPage, Get<Fe::Page>("PageMain"));
}

TEST_F(Menu, MenuButtonsSwitchInATwoTenthsFade) {
    ToMainPage();
    Click("BtnOptions");
    Fe::Page* options = Get<Fe::Page>("PageOptions");
    ASSERT_EQ(frontend->targetPage, options);
    EXPECT_FLOAT_EQ(frontend->transitionDuration, 0.2f);
    const double start = now + 0.01;
    Frame(0.01);
    Frame(start + 0.099 - now);
    EXPECT_EQ(Shown(), Get("PageMain"));
    Frame(start + 0.100001 - now);
    EXPECT_EQ(Shown(), options);
    EXPECT_NEAR(frontend->brightness, 0.0f, 1e-3);
    Frame(start + 0.200001 - now);
    EXPECT_EQ(frontend->targetPage, nullptr);
    // The display panel opens with the page.
    Frame();
    EXPECT_TRUE(Get("OptionsDisplay")->visible);
    Click("PageOptions.BtnBack");
    EXPECT_EQ(frontend->targetPage, Get<Fe::Page>("PageMain"));
}

TEST_F(Menu, QuitIsReturnedInTheFrameThatAnswersYes) {
    ToMainPage();
    auto* box = Get<Fe::MessageBox>("PageMain.MessageBoxAreYouSure");
    EXPECT_FALSE(box->visible);
    EXPECT_EQ(Click("BtnQuit"), 0u);
    EXPECT_TRUE(box->visible);
    // "No" closes the box and the menu reacts again.
    EXPECT_EQ(Click("PageMain.MessageBoxAreYouSure.No"), 0u);
    EXPECT_FALSE(box->visible);
    Click("BtnQuit");
    ASSERT_TRUE(box->visible);
    EXPECT_EQ(Click("PageMain.MessageBoxAreYouSure.Yes"), uint32_t(App::FrontendQuit));
    EXPECT_EQ(frontend->action, uint32_t(App::FrontendQuit));
    // The menu falls silent with an action, and its volumes come back with the next front-end frame.
    EXPECT_EQ(frontend->menuSounds->volume, 0.0f);
    EXPECT_EQ(frontend->musicSounds->volume, 0.0f);
    EXPECT_EQ(Frame(), 0u);
    EXPECT_FLOAT_EQ(frontend->menuSounds->volume, frontend->config.sfxVolume);
    EXPECT_FLOAT_EQ(frontend->musicSounds->volume, frontend->config.musicVolume);
}

TEST_F(Menu, WhileTheQuitBoxIsOpenThePageButtonsDoNothing) {
    ToMainPage();
    Click("BtnQuit");
    ASSERT_TRUE(Get("PageMain.MessageBoxAreYouSure")->visible);
    Click("BtnOptions");
    EXPECT_EQ(frontend->targetPage, nullptr);
}

TEST_F(Menu, TheSinglePlayerButtonsOpenTheirPages) {
    ToMainPage();
    for (const char* link : {"Campaign", "SingleMission", "Training"}) {
        EXPECT_EQ(Click((std::string("PageMain.Btn") + link).c_str()), 0u) << link;
        Settle();
        EXPECT_EQ(Shown(), Get((std::string("Page") + link).c_str()));
        Click((std::string("Page") + link + ".BtnBack").c_str());
        Settle();
        ASSERT_EQ(Shown(), Get("PageMain"));
    }
}

// A player's visit to the options: a change on each panel, back, quit. The file is written once, at exit.
TEST_F(Menu, SettingsChangedInTheOptionsAreSavedOnlyAtExit) {
    ToMainPage();
    Click("BtnOptions");
    Settle();
    Frame(); // the display panel opens
    Frame(); // and runs
    const Base::Config before = frontend->config;
    // On a window of another size than the settings', the display panel first says a restart is needed.
    if (Get("MessageBoxRestartNeeded")->visible)
        Click("PageOptions.OptionsDisplay.MessageBoxRestartNeeded.Ok");

    Click("PageOptions.OptionsDisplay.VisibilityMore"); // +5 %
    Click("BtnAudio");
    Frame();
    ASSERT_TRUE(Get("OptionsAudio")->visible);
    EXPECT_FALSE(Get("OptionsDisplay")->visible);
    Click("PageOptions.OptionsAudio.SfxLess");
    Click("BtnControls");
    Frame();
    Click("PageOptions.OptionsControls.ControlsNext");
    Click("BtnAssignments");
    Frame();
    Click("Gears", "Btn");
    Frame();
    ASSERT_TRUE(Get("MessageBoxSwitchAssignment")->visible);
    Press(0x25); // K, which no command has
    Frame();

    Base::Config changed = frontend->config;
    EXPECT_NEAR(changed.visibility, before.visibility + 0.05f, 1e-4);
    EXPECT_NEAR(changed.sfxVolume, before.sfxVolume - 0.05f, 1e-4);
    EXPECT_EQ(changed.controlsType, before.controlsType + 1);
    EXPECT_EQ(changed.keyAssignments[0].key, 0x25);

    Click("PageOptions.BtnBack");
    Settle();
    EXPECT_EQ(Shown(), Get("PageMain"));
    Click("BtnQuit");
    EXPECT_EQ(Click("PageMain.MessageBoxAreYouSure.Yes"), uint32_t(App::FrontendQuit));
    EXPECT_FALSE(fs::exists("Config.dat"));
    changed = frontend->config;
    frontend.reset();
    ASSERT_TRUE(fs::exists("Config.dat"));
    Base::Config saved;
    ASSERT_TRUE(saved.Load("Config.dat"));
    EXPECT_TRUE(saved == changed);
    EXPECT_FALSE(saved == before);
}

TEST_F(Menu, CreditsScrollUpAndStopWithTheirBottomOnTheLastLine) {
    ToMainPage();
    Click("BtnCredits");
    Settle();
    Gui::Widget* text = Get("Scrollable");
    const float height = text->rect.bottom - text->rect.top;
    ASSERT_GT(height, 768.0f);
    Frame();
    const float top = text->rect.top;
    Frame(1.0);
    EXPECT_NEAR(text->rect.top, top - 50.0f, 0.01f);
    for (int i = 0; i < 60; ++i)
        Frame(1.0);
    EXPECT_FLOAT_EQ(text->rect.bottom, 768.0f);
    Frame(1.0);
    EXPECT_FLOAT_EQ(text->rect.bottom, 768.0f);
    // Shown again, it starts from the top.
    Click("PageCredits.BtnBack");
    Settle();
    Click("BtnCredits");
    Settle();
    EXPECT_LT(text->rect.top, 0.5f);
    EXPECT_GT(text->rect.top, -50.0f);
}

} // namespace

namespace {

using namespace MenuTest;

// What the player sees of a page: the frame just shown, kept as a PPM under MENU_TEST_IMAGES when that is
// set. Returns the frame's mean brightness (0 to 765).
double Look(const char* name) {
    unsigned width = 0, height = 0;
    const std::vector<uint32_t> pixels = TestSupport::ReadRenderTarget(width, height);
    double sum = 0;
    for (uint32_t c : pixels)
        sum += double((c >> 16) & 0xFF) + double((c >> 8) & 0xFF) + double(c & 0xFF);
    if (const char* dir = std::getenv("MENU_TEST_IMAGES")) {
        std::ofstream file(std::string(dir) + "/" + name + ".ppm", std::ios::binary);
        file << "P6\n" << width << ' ' << height << "\n255\n";
        for (uint32_t c : pixels) {
            const char rgb[3] = {char((c >> 16) & 0xFF), char((c >> 8) & 0xFF), char(c & 0xFF)};
            file.write(rgb, 3);
        }
    }
    return pixels.empty() ? 0.0 : sum / double(pixels.size());
}

// Every page and panel is drawn, and the fade darkens the whole frame.
TEST_F(Menu, EveryPageAndPanelIsDrawnAndTheFadeDarkensTheFrame) {
    ToMainPage();
    const double main = Look("main");
    EXPECT_GT(main, 60.0);
    Click("BtnQuit");
    EXPECT_LT(Look("quit"), main); // the box dims the page
    Click("PageMain.MessageBoxAreYouSure.No");
    Click("BtnOptions");
    // Halfway through the fade the frame is black.
    const double start = now + 0.01;
    Frame(0.01);
    Frame(start + 0.1 - now);
    EXPECT_LT(Look("fade"), 3.0);
    Settle();
    Frame();
    Frame();
    if (Get("MessageBoxRestartNeeded")->visible) {
        EXPECT_GT(Look("restart"), 10.0);
        Click("PageOptions.OptionsDisplay.MessageBoxRestartNeeded.Ok");
    }
    EXPECT_GT(Look("display"), 20.0);
    for (const char* tab : {"BtnAudio", "BtnControls", "BtnAssignments"}) {
        Click(tab);
        Frame();
        EXPECT_GT(Look(tab), 20.0) << tab;
    }
    Click("Gears", "Btn");
    Frame();
    EXPECT_GT(Look("capture"), 10.0);
    Press(0x25);
    Click("PageOptions.BtnBack");
    Settle();
    Click("BtnCredits");
    Settle();
    for (int i = 0; i < 10; ++i)
        Frame(1.0);
    EXPECT_GT(Look("credits"), 20.0);
}

} // namespace
