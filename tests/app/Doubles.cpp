#include "Doubles.h"

#include "frontend/Frontend.h"
#include "games/MPlrGame.h"
#include "games/SPlrGame.h"
#include "mission/GameRequest.h"

#include "aircraft/Airplane.h"
#include "scene/Attachable.h"

#include <string>

// GoogleTest's library, built for an older standard, takes std::string's members from the C++ runtime, while
// every C++20 object carries copies of them: the linker would satisfy GoogleTest from the first library
// object holding a copy and pull that object in, the real games beside these doubles. This object holds
// them all, so no library object is pulled in for them.
template class std::basic_string<char>;

namespace Doubles {

State state;

void Reset() {
    state = State();
}

namespace {
int Next(std::deque<int>& actions) {
    if (actions.empty())
        return 0;
    int action = actions.front();
    actions.pop_front();
    return action;
}
} // namespace

} // namespace Doubles

using Doubles::state;

namespace Fe {

Frontend::Frontend(Input::Keyboard*, Input::Mouse*, Input::Joystick* joystick, MPlr::Session* session)
    : session(session), music(nullptr), joystick(joystick) {
    ++state.frontends;
    if (state.onFrontendCreated)
        state.onFrontendCreated();
}
Frontend::~Frontend() {
    --state.frontends;
    ++state.frontendsDeleted;
    if (state.onFrontendDeleted)
        state.onFrontendDeleted();
}
App::FrontendAction Frontend::Update() {
    state.calls += 'F';
    if (state.onFrontendUpdate)
        state.onFrontendUpdate();
    return App::FrontendAction(Doubles::Next(state.frontendActions));
}
void Frontend::OnResize() {
    ++state.resizes;
}
void Frontend::SwitchPage(const Base::String& name, float duration) {
    state.page = name;
    state.pageTime = duration;
}

} // namespace Fe

namespace SPlr {

Game::Game(Fe::Frontend*, Input::Keyboard*, Input::Mouse*, Input::Joystick*) {
    ++state.splrGames;
    ++state.splrCreated;
}
Game::~Game() {
    --state.splrGames;
}
App::GameAction Game::Update(bool background) {
    state.calls += background ? 's' : 'S';
    return background ? App::GameGoOn : App::GameAction(Doubles::Next(state.splrActions));
}
// What the game answers a mission; no mission runs here.
Fe::GameRequest& Game::GetRequest() {
    return ownRequest;
}
const Base::Config* Game::GetSettings() {
    return nullptr;
}
Gui::Announcer* Game::GetAnnouncer() {
    return nullptr;
}
void Game::SetCameraTarget(Obj::Frame*) {}
void Game::SetCurrentCamera(int) {}
void Game::SetPlayer(Obj::Object*, Obj::Airplane*) {}

} // namespace SPlr

namespace MPlr {

Game::Game(Fe::Frontend*, Input::Keyboard*, Input::Mouse*, Input::Joystick*) {
    ++state.mplrGames;
    ++state.mplrCreated;
}
Game::~Game() {
    --state.mplrGames;
}
App::GameAction Game::Update(bool background) {
    state.calls += background ? 'm' : 'M';
    return background ? App::GameGoOn : App::GameAction(Doubles::Next(state.mplrActions));
}
void Game::Announce(const Base::String&) {}
void Game::AddChatLine(DPNID, const Base::String&) {}
void Game::AddSystemChatLine(const Base::String&) {}
uint32_t Game::GameType() const {
    return 1;
}
std::unique_ptr<Comm::RemoteObj> Game::MakeRemote(NetworkObjects*, uint8_t, const GUID&, DPNID, float) {
    return nullptr;
}
World::~World() {
    Clear();
}
void World::AddObject(Obj::Object* object) {
    Grp::World::AddObject(object);
}

} // namespace MPlr
