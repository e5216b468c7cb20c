// The one DirectInput interface of the program, with the window and instance that the devices use.
#pragma once

#include <dinput.h>

namespace Input {

extern IDirectInput8* DirectInput; // null when creation failed: then no device is made
extern HWND Window;
extern HINSTANCE Instance;

// Keeps both handles and creates the interface; true on success.
bool CreateDirectInput(HINSTANCE instance, HWND window);
// Releases the interface when there is one (shutdown, after the devices are deleted).
void ReleaseDirectInput();

} // namespace Input
