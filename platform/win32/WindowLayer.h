// What the window, message and keyboard parts of the Win32 layer share. Private to the layer.
#pragma once

#include <windows.h>

#include <string>

union SDL_Event;

namespace Win32 {

// Starts SDL's video subsystem (once, on the main thread); false when there is no video driver.
bool StartVideo();

// Sends WM_SIZE when the window's state or client size differs from what it was last told.
void ReportClientSize(HWND window);

// The window with the keyboard focus, as the desktop's focus events tell it; null when another program has
// it.
HWND FocusWindow();
void SetFocusWindow(HWND window);

// Drops the queued messages of a window that is going away.
void PurgeMessages(HWND window);

// The key state that pumped events gave, by SDL scancode; cleared when the focus goes.
void SetKeyDown(int scancode, bool down);
void ClearKeys();
// The virtual-key code of a key event's key, or 0.
int VirtualKeyOf(int scancode, int keycode);

// Runs show (which blocks until a modal dialog is answered) so that the dialog cannot outlive the game: a
// process forked while it runs (the toolkit shows its dialogs in a child) dies with the game, and SIGTERM,
// or SIGHUP unless it is ignored, ends the game (and so the dialog) as their default action does, where
// otherwise the game would wait behind the dialog for ever. Returns show's result.
int RunDialog(int (*show)(void* data), void* data);

// ANSI text as SDL wants it: valid UTF-8 stays as it is, anything else is read as Latin-1.
std::string ToUtf8(const char* text);

} // namespace Win32
