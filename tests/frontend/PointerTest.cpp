// The main page clicked with the pointer as the program reads it: SDL mouse events through the DirectInput
// stand-in and the mouse device into the front end's cursor and buttons (no scripted device in between).
// The pointer only moves the cursor by its motion, from the top left corner where the cursor starts.
#include "MenuFixture.h"

#include "input/DirectInput.h"

#include <SDL.h>

#include <memory>

namespace {

using namespace MenuTest;

class Pointer : public Menu {
protected:
    void SetUp() override {
        Menu::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(Input::CreateDirectInput(nullptr, hwnd));
        realMouse = std::make_unique<Input::Mouse>();
        frontend = std::make_unique<Fe::Frontend>(&keyboard, realMouse.get(), nullptr, nullptr);
        ASSERT_NE(frontend->desktop, nullptr);
        ASSERT_NE(frontend->desktop->cursor, nullptr);
        Settle();
        Press(0x39); // past the splash
        Settle();
        ASSERT_EQ(Shown(), Get("PageMain"));
    }
    void TearDown() override {
        frontend.reset();
        realMouse.reset();
        Input::ReleaseDirectInput();
        Menu::TearDown();
    }

    void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }
    void Move(int dx, int dy) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = SDL_GetWindowID(window);
        e.motion.xrel = dx;
        e.motion.yrel = dy;
        Push(e);
    }
    void Button(bool down) {
        SDL_Event e{};
        e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.windowID = SDL_GetWindowID(window);
        e.button.button = SDL_BUTTON_LEFT;
        e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        Push(e);
    }
    // The widget's middle in window pixels.
    Base::Vector2 Middle(const char* path) {
        Gui::Widget* widget = Get(path);
        const Gui::Desktop& d = *frontend->desktop;
        return d.VirtualToScreen({(widget->absRect.left + widget->absRect.right) / 2,
                                  (widget->absRect.top + widget->absRect.bottom) / 2});
    }

    std::unique_ptr<Input::Mouse> realMouse;
};

TEST_F(Pointer, MovesTheCursorByItsMotionAndClicksAButton) {
    Gui::Cursor* cursor = frontend->desktop->cursor;
    // Pushed past the corner, the cursor stops there; then it goes by the motion alone.
    Move(-4000, -4000);
    Frame();
    EXPECT_EQ(cursor->position.x, 0.0f);
    EXPECT_EQ(cursor->position.y, 0.0f);
    const Base::Vector2 target = Middle("PageMain.BtnCampaign");
    Move(int(target.x), int(target.y));
    Frame();
    EXPECT_EQ(cursor->position.x, float(int(target.x)));
    EXPECT_EQ(cursor->position.y, float(int(target.y)));
    EXPECT_EQ(Shown(), Get("PageMain"));

    // A press and its release in one poll (a quick tap) click as well as a held press.
    Button(true);
    Button(false);
    Frame();
    Frame();
    Settle();
    EXPECT_EQ(Shown(), Get("PageCampaign"));
}

} // namespace
