// The front end's root: the menu pages' widget tree and the camera that draws it, the menu music, the
// player's settings for the whole run, and the page switching with its fade. Pages talk to it through
// targetPage, transitionDuration and action.
#pragma once

#include "base/AppActions.h"
#include "base/Config.h"
#include "base/DynamicObject.h"
#include "base/String.h"
#include "mission/GameRequest.h"

#include <cstdint>

namespace Audio {
class MusicPlayer;
class SoundGroup;
} // namespace Audio
namespace Gui {
class Desktop;
}
namespace Input {
class Keyboard;
class Mouse;
class Joystick;
} // namespace Input
namespace MPlr {
class Session;
}
namespace Rw {
class Camera;
class Frame;
} // namespace Rw

namespace Fe {

class Page;

class Frontend {
public:
    // Reads the settings from "Config.dat" (defaults when it is missing), shows the loading screen for a
    // frame, loads the menu tree and starts the fade into the first page. The engine must be running.
    Frontend(Input::Keyboard* keyboard, Input::Mouse* mouse, Input::Joystick* joystick,
             MPlr::Session* session);
    // Saves the settings to "Config.dat".
    virtual ~Frontend();
    Frontend(const Frontend&) = delete;
    Frontend& operator=(const Frontend&) = delete;

    // One front-end frame: input, sound, the transition or the pages' update, drawing. Returns the action a
    // page set in this frame.
    App::FrontendAction Update();
    // After the display's size changed: the view window follows the raster's shape.
    void OnResize();
    // The page of that name (searched through the whole tree) is shown after half the duration, at once for
    // 0; a name that finds no page leaves no transition.
    void SwitchPage(const Base::String& name, float duration);

    Rw::Camera* camera = nullptr;     // owned
    Rw::Frame* cameraFrame = nullptr; // owned
    Gui::Desktop* desktop = nullptr;  // owned; every page is a direct child
    MPlr::Session* session;           // not owned
    Audio::MusicPlayer* music;        // owned; null while there is no menu music
    Input::Joystick* joystick;        // not owned, may be null
    Base::Config config;              // the program's settings; the option panels edit it in place
    // What the next or current game plays, and what it reports back; copied, changed and assigned whole.
    GameRequest gameRequest;
    MultiplayerRequest multiplayerRequest;
    uint32_t action = 0; // App::FrontendAction of the current update
    float transitionDuration = 0.0f;
    double transitionStart = 0.0; // game time; 0: not begun
    Page* targetPage = nullptr;   // the page being switched to; null: no transition

    Input::Keyboard* keyboard = nullptr;      // not owned
    Input::Mouse* mouse = nullptr;            // not owned
    Audio::SoundGroup* menuSounds = nullptr;  // owned: the desktop's buttons
    Audio::SoundGroup* musicSounds = nullptr; // owned: the music's
    // The fade's brightness in the last frame: 1 clear, 0 black. Drawn as a black quad over the pages, so
    // that the display itself is never darkened.
    float brightness = 1.0f;

private:
    // Clears the screen, draws the pages and the fade, and shows the frame; nothing while the device is lost.
    void Draw();
};

// Registers the front end's page, panel and message box classes by their printed names; the root calls
// it before it loads a tree, and so must anything else that loads front-end pages. Repeated calls are no-ops.
void RegisterClasses();
struct ClassEntry {
    const char* name;
    Base::CreateFunction create;
};
extern const ClassEntry Classes[];
extern const size_t ClassCount;

} // namespace Fe
