// SDL's positional key codes (USB usage ids) to the keyboard scan codes of DirectInput.
#pragma once

#include <windows.h>

namespace DInput {

// The scan code of an SDL scancode, or 0 for a key that has none.
BYTE ScanCodeFromSdl(int sdlScancode);

} // namespace DInput
