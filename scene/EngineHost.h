// Starts and stops the rendering engine on the game window and follows the window's size.
// For now the engine host keeps only its state: the engine itself is not started here yet.
#pragma once

#include <windows.h>

#include <cstdint>

namespace Rw {

extern HWND MainWindow;
extern bool EngineStarted;
extern bool ImageFormatsRegistered;

// The engine video mode with that size and depth, or -1; 0 (the windowed mode) while there is no engine to
// ask.
int FindVideoMode(HWND window, int subsystem, int width, int height, int depth);
bool StartEngine(uint32_t resourceArenaKB, int subsystem, HWND window, int videoMode, uint32_t refreshRate);
// Nothing when the engine is not running.
void StopEngine();
// Nothing before the engine has started.
void ResizeDisplay(int width, int height);
void RegisterImageFormats();

} // namespace Rw
