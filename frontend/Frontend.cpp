#include "frontend/Frontend.h"

#include "base/FrameClock.h"

#include <windows.h>

namespace Fe {

Frontend::Frontend(Input::Keyboard*, Input::Mouse*, Input::Joystick*, MPlr::Session*) {
    Settings.SetDefaults();
    Settings.Load(Base::ConfigFileName);
}

Frontend::~Frontend() {
    Settings.Save(Base::ConfigFileName);
}

App::FrontendAction Frontend::Update() {
    Base::FrameClock::Tick();
    // Stands in for the time that drawing a frame takes, so that the idle loop does not spin a core.
    Sleep(10);
    return App::FrontendNothing;
}

void Frontend::OnResize(int, int) {}

void Frontend::ShowPage(const char* name, float transitionTime) {
    PendingPage = name ? name : "";
    TransitionTime = transitionTime;
}

} // namespace Fe
