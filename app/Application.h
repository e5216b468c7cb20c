// The program's outermost frame: the globals that it owns, its window procedure and the entry (WinMain).
#pragma once

#include <windows.h>

#include <cstdint>

namespace Fe {
class Frontend;
}
namespace SPlr {
class Game;
}
namespace MPlr {
class Game;
class Session;
} // namespace MPlr
namespace Input {
class Keyboard;
class Mouse;
class Joystick;
} // namespace Input

namespace App {

// Every message box of the frame: exclamation icon, OK only, topmost; no owner and the caption "Message".
inline constexpr UINT MessageBoxFlags = 0x40030;

// Values of App::Mode.
enum : int32_t { FrontendMode = 0, SplrGameMode = 1, MplrGameMode = 2 };

extern UINT SingleInstanceMessage; // 0 when the registration failed
extern bool Started;               // between the end of Init and Shutdown
extern int32_t Mode;
extern Fe::Frontend* Frontend;
extern SPlr::Game* SplrGame; // null when there is none
extern MPlr::Game* MplrGame;
extern Input::Keyboard* Keyboard;
extern Input::Mouse* Mouse;
extern Input::Joystick* Joystick;
extern MPlr::Session* NetSession;
extern HANDLE InstanceMutex; // never closed: it is what a second copy finds while this one runs

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void OnResize(int width, int height);

} // namespace App
