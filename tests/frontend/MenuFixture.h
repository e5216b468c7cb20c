// The front end on the sample data: the engine on a small hidden window, the strings, fonts and textures of
// build/data, a clock the test sets, and a keyboard and mouse that play what the test scripts. The test runs
// in a scratch folder that sees the data through a link, so that Config.dat is its own.
#pragma once

#include "frontend/Frontend.h"
#include "frontend/OptionPanels.h"
#include "frontend/Page.h"
#include "frontend/Pages.h"
#include "tests/support/GlDriver.h"
#include "tests/support/HiddenWindow.h"
#include "tests/support/ReadBack.h"
#include "tests/support/TempDir.h"

#include "base/FontCache.h"
#include "base/FrameClock.h"
#include "base/InfoCache.h"
#include "base/TextTable.h"
#include "gui/Cursor.h"
#include "gui/Desktop.h"
#include "gui/draw/Font.h"
#include "input/Keyboard.h"
#include "input/Mouse.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/texture.h"
#include "scene/EngineHost.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>

namespace MenuTest {

namespace fs = std::filesystem;

// The window is half the *.gui's 1024 x 768.
constexpr int Width = 512, Height = 384;

// Each poll shows what the test put in for the next frame, then forgets the one-frame events.
class ScriptedKeyboard : public Input::Keyboard {
public:
    int32_t Poll() override {
        pressedKey = next;
        repeatKey = 0;
        next = 0;
        return state;
    }
    uint8_t next = 0;
};

class ScriptedMouse : public Input::Mouse {
public:
    int32_t Poll() override {
        clickedButton = nextClick;
        nextClick = -1;
        dx = moveX;
        dy = moveY;
        moveX = moveY = 0;
        return state;
    }
    int32_t nextClick = -1;
    int32_t moveX = 0, moveY = 0;
};

// Sets the frame clock's reading: the counter's frequency is made so high that real time all but stands
// still (a millisecond of it is a picosecond).
inline void SetClock(double seconds) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    Base::FrameClock::Frequency = 1'000'000'000'000'000LL;
    Base::FrameClock::StartCount = now.QuadPart - int64_t(seconds * 1e15);
}

class Menu : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path data = fs::path(CORVANE_BINARY_DIR) / "data";
        ASSERT_TRUE(fs::exists(data / "Data" / "Scripts" / "Gui" / "Frontend.gui"))
            << "build the sample_data target";
        previous = fs::current_path();
        fs::create_directory_symlink(data / "Data", scratch / "Data");
        fs::current_path(scratch.path);
        ASSERT_NO_FATAL_FAILURE(TestSupport::OpenHiddenWindow("menu", Width, Height, window, hwnd));
        ASSERT_TRUE(Rw::StartEngine(4096, 0, hwnd, 0, 0));
        Rw::RegisterImageFormats();
        Base::Info strings;
        ASSERT_EQ(strings.LoadFile("Data\\Strings.info"), 0);
        Base::TextTable = strings;
        RwImageSetPath(Base::GetText("TexturesDir").c_str());
        Base::FontCache::Directory = Base::GetText("FontsDir");
        Gui::Font::InstallCache();
        savedStart = Base::FrameClock::StartCount;
        savedFrequency = Base::FrameClock::Frequency;
        Base::FrameClock::GameTime = 0;
        now = 10.0;
        SetClock(now);
    }

    void TearDown() override {
        frontend.reset();
        Base::FontCache::Clear();
        Base::InfoCache::Clear();
        RwTextureSetReadCallback(Rw::DefaultTextureRead);
        Rw::ImageFormatsRegistered = false;
        Rw::StopEngine();
        TestSupport::PinGlDriver();
        if (hwnd)
            Win32::DetachSdlWindow(hwnd);
        if (window)
            SDL_DestroyWindow(window);
        Base::FrameClock::StartCount = savedStart;
        Base::FrameClock::Frequency = savedFrequency;
        Base::FrameClock::GameTime = 0;
        Base::TextTable = Base::Info();
        if (!previous.empty())
            fs::current_path(previous);
    }

    void Start() {
        frontend = std::make_unique<Fe::Frontend>(&keyboard, &mouse, nullptr, nullptr);
        ASSERT_NE(frontend->desktop, nullptr);
        ASSERT_NE(frontend->desktop->cursor, nullptr);
    }

    // One front-end frame, the clock first moved on by step seconds.
    uint32_t Frame(double step = 1.0 / 60.0) {
        now += step;
        SetClock(now);
        return uint32_t(frontend->Update());
    }

    // Frames until no transition is left (at most 10 s of them).
    void Settle() {
        for (int i = 0; i < 600 && frontend->targetPage; ++i)
            Frame();
        ASSERT_EQ(frontend->targetPage, nullptr);
    }

    template <class T = Gui::Widget> T* Get(const char* path) {
        T* found = frontend->desktop->Find<T>(path, true);
        EXPECT_NE(found, nullptr) << path;
        return found;
    }

    // The widget of that name below the one found by the path.
    template <class T = Gui::Widget> T* Below(const char* path, const char* name) {
        Gui::Widget* parent = Get(path);
        T* found = parent ? parent->Find<T>(name, true) : nullptr;
        EXPECT_NE(found, nullptr) << path << " > " << name;
        return found;
    }

    Fe::Page* Shown() const {
        Fe::Page* shown = nullptr;
        for (auto& [name, child] : *frontend->desktop)
            if (auto* page = dynamic_cast<Fe::Page*>(child); page && page->visible) {
                EXPECT_EQ(shown, nullptr) << "two pages shown";
                shown = page;
            }
        return shown;
    }

    // Moves the cursor onto the middle of the widget in a frame.
    bool PointAt(Gui::Widget* widget) {
        EXPECT_NE(widget, nullptr);
        if (!widget)
            return false;
        const Gui::Desktop& d = *frontend->desktop;
        const Base::Vector2 target = d.VirtualToScreen({(widget->absRect.left + widget->absRect.right) / 2,
                                                        (widget->absRect.top + widget->absRect.bottom) / 2});
        Gui::Cursor* cursor = d.cursor;
        mouse.moveX = int32_t(target.x - cursor->position.x);
        mouse.moveY = int32_t(target.y - cursor->position.y);
        Frame();
        return true;
    }

    // Puts the cursor on the middle of the widget, presses the left button, holds it a frame and lets it go;
    // returns the action of the release frame.
    uint32_t Click(Gui::Widget* widget) {
        if (!PointAt(widget))
            return 0;
        mouse.nextClick = 0;
        mouse.buttons[0] = 1;
        Frame();
        Frame();
        mouse.buttons[0] = 0;
        return Frame();
    }
    uint32_t Click(const char* path) { return Click(Get(path)); }
    uint32_t Click(const char* path, const char* name) { return Click(Below(path, name)); }

    // A key going down in the next frame, with the modifier keys held through it.
    uint32_t Press(uint8_t key, uint8_t modifierKey = 0) {
        if (modifierKey)
            keyboard.keys[modifierKey] = 1;
        keyboard.next = key;
        const uint32_t action = Frame();
        if (modifierKey)
            keyboard.keys[modifierKey] = 0;
        return action;
    }

    // From the splash to the main page.
    void ToMainPage() {
        Start();
        Settle();
        Press(0x39);
        Settle();
        ASSERT_EQ(Shown(), Get("PageMain"));
    }

    TestSupport::TempDir scratch{"menu"};
    fs::path previous;
    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    ScriptedKeyboard keyboard;
    ScriptedMouse mouse;
    std::unique_ptr<Fe::Frontend> frontend;
    double now = 0;
    int64_t savedStart = 0, savedFrequency = 0;
};

} // namespace MenuTest
