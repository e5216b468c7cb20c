#include "frontend/Frontend.h"

#include "audio/MusicPlayer.h"
#include "base/FrameClock.h"

#include <windows.h>

namespace Fe {

Frontend::Frontend(Input::Keyboard*, Input::Mouse*, Input::Joystick* joystick, MPlr::Session* session)
    : session(session), music(nullptr), joystick(joystick) {
    config.SetDefaults();
    config.Load(Base::ConfigFileName);
}

Frontend::~Frontend() {
    config.Save(Base::ConfigFileName);
    delete music;
}

App::FrontendAction Frontend::Update() {
    action = App::FrontendNothing;
    if (music)
        music->Update();
    Base::FrameClock::Tick();
    // Stands in for the time that drawing a frame takes, so that the idle loop does not spin a core.
    Sleep(10);
    return App::FrontendAction(action);
}

void Frontend::OnResize() {}

void Frontend::SwitchPage(const Base::String& name, float duration) {
    targetPageName = name;
    transitionDuration = duration;
}

} // namespace Fe
