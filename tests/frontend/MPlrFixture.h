// The multiplayer pages on the test rig, run by the program's own main loop: the engine on a hidden window
// over the sample data, the fixed clock, scripted input and the UI driver on the menus, and the front end's
// session on loopback (its own enumeration port, broadcasts to 127.255.255.255). The frames keep pace with
// the wall clock, so that the game time in which a host is heard of is the time its answers take.
#pragma once

#include "tests/games/GameFixture.h"
#include "tests/network/NetTestSupport.h"
#include "tests/rig/UiDriver.h"

#include "app/Application.h"
#include "app/ModeMachine.h"
#include "frontend/MPlrPages.h"
#include "games/MPlrGame.h"
#include "gui/Button.h"
#include "gui/Lists.h"
#include "gui/Text.h"
#include "network/Session.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace MPlrTest {

class MPlrPages : public GameTest::GameRig {
protected:
    void SetUp() override {
        GameRig::SetUp();
        if (HasFatalFailure())
            return;
        NetTest::UseLoopbackOnly();
        session = std::make_unique<MPlr::Session>();
        frontend.reset();
        frontend = std::make_unique<Fe::Frontend>(keyboard.get(), mouse.get(), joystick.get(), session.get());
        frontend->config.SetDefaults();
        Attach();
    }

    void TearDown() override {
        delete App::MplrGame;
        App::MplrGame = nullptr;
        App::Frontend = nullptr;
        App::Keyboard = nullptr;
        App::Mouse = nullptr;
        App::Joystick = nullptr;
        App::Mode = App::FrontendMode;
        ui.reset();
        frontend.reset();
        session.reset();
        GameRig::TearDown();
    }

    // The program's globals and the UI driver on the current front end.
    void Attach() {
        App::Frontend = frontend.get();
        App::Keyboard = keyboard.get();
        App::Mouse = mouse.get();
        App::Joystick = joystick.get();
        App::MplrGame = nullptr;
        App::Mode = App::FrontendMode;
        ui = std::make_unique<Rig::UiDriver>(*frontend->desktop, input.get());
    }

    // One frame of the program: the script's events, then the main loop's frame; then, paced, a wait until
    // the wall clock has caught up with the game time.
    void Frame() {
        ui->BeginFrame(input->script, frame);
        input->BeginFrame(frame++);
        App::RunFrame();
        if (!paced)
            return;
        if (pacedFrom < 0) {
            pacedFrom = Base::FrameClock::GameTime;
            wallStart = std::chrono::steady_clock::now();
        }
        std::this_thread::sleep_until(wallStart +
                                      std::chrono::duration<double>(Base::FrameClock::GameTime - pacedFrom));
    }
    void Frames(int n) {
        for (int i = 0; i < n; ++i)
            Frame();
    }
    // Frames until the condition holds; false after `seconds` of game time.
    template <class F> bool FramesUntil(F done, double seconds = 15.0) {
        for (int i = 0; i < int(seconds / GameTest::Step); ++i) {
            if (done())
                return true;
            Frame();
        }
        return done();
    }
    template <class T = Gui::Widget> T* Get(const std::string& path) const {
        T* found = frontend->desktop->Find<T>(path, true);
        EXPECT_NE(found, nullptr) << path;
        return found;
    }
    Gui::Button* Button(const std::string& path) const { return Get<Gui::Button>(path); }
    Gui::StringList* List(const std::string& path) const { return Get<Gui::StringList>(path); }
    Gui::Edit* Edit(const std::string& path) const { return Get<Gui::Edit>(path); }
    bool Enabled(const std::string& path) const {
        const Gui::Button* b = Button(path);
        return b && b->state != Gui::Button::Disabled;
    }
    // The page is shown and no switch is pending.
    bool Showing(const char* page) const {
        return App::Mode == App::FrontendMode && !frontend->targetPage && Shown() == Page(page);
    }
    // Waits for the page, then runs its first update.
    void WaitForPage(const char* page) {
        ASSERT_TRUE(FramesUntil([&] { return Showing(page); })) << page;
        Frame();
    }
    // Clicks a button and plays the frame that sees it.
    void Click(const std::string& path) {
        ASSERT_NE(ui->Click(path), nullptr) << path;
        Frame();
    }
    // Empties an edit field as a player does: the caret to the end, then Backspace for every character.
    void Erase(const std::string& path) {
        Gui::Edit* edit = Edit(path);
        ASSERT_NE(edit, nullptr);
        const size_t n = edit->text.size();
        ASSERT_NE(ui->Type(path, "", frame), nullptr);
        Key("END");
        Frame();
        for (size_t i = 0; i < n; ++i) {
            Key("BACK");
            Frame();
        }
        ASSERT_EQ(edit->text, "") << path;
    }
    // Types a text at the end of an edit field and plays the frames until it has arrived.
    void Type(const std::string& path, const std::string& text) {
        Gui::Edit* edit = ui->Type(path, text, frame + 1);
        ASSERT_NE(edit, nullptr);
        Key("END");
        const std::string expected = edit->text + text;
        ASSERT_TRUE(FramesUntil([&] { return edit->text == expected; }, 2.0 * double(text.size()) + 1.0))
            << path << ": \"" << edit->text << "\"";
    }
    // A message box of the page is on screen and holds the page's focus.
    bool BoxShown(const std::string& path) const {
        auto* box = frontend->desktop->Find<Fe::MessageBox>(path, true);
        return box && box->visible && box->parent && box->parent->focus == box;
    }

    // On the join page: a search (Fill) until one host is listed, then that host picked.
    void PickTheOnlyHost() {
        Click("PageJoinGame.BtnFill");
        Gui::StringList* list = List("PageJoinGame.HostsList");
        ASSERT_NE(list, nullptr);
        ASSERT_TRUE(FramesUntil([&] { return list->strings.size() == 1; }));
        ASSERT_NE(ui->Pick("PageJoinGame.HostsList", 0), nullptr);
        Frame();
    }

    // From the main page to a page of the multiplayer menu.
    void ToMultiplayerPage(const char* button, const char* page) {
        frontend->SwitchPage("PageMain", 0.0f);
        WaitForPage("PageMain");
        Click("PageMain.BtnMultiplayer");
        WaitForPage("PageMultiplayer");
        Click(std::string("PageMultiplayer.") + button);
        WaitForPage(page);
    }

    // The local player's team text in a session, as its peers see it.
    static std::string TeamOf(MPlr::Session& s, DPNID id) {
        std::string name, text;
        s.GetPlayerNames(id, name, text);
        return text;
    }

    std::unique_ptr<MPlr::Session> session;
    std::unique_ptr<Rig::UiDriver> ui;
    bool paced = true;
    double pacedFrom = -1.0;
    std::chrono::steady_clock::time_point wallStart;
};

} // namespace MPlrTest
