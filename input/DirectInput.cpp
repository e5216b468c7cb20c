#include "input/DirectInput.h"

namespace Input {

IDirectInput8* DirectInput = nullptr;
HWND Window = nullptr;
HINSTANCE Instance = nullptr;

bool CreateDirectInput(HINSTANCE instance, HWND window) {
    Instance = instance;
    Window = window;
    ReleaseDirectInput(); // a second start-up must not leak the first interface
    void* created = nullptr;
    if (FAILED(DirectInput8Create(instance, DIRECTINPUT_VERSION, IID_IDirectInput8A, &created, nullptr)))
        return false;
    DirectInput = static_cast<IDirectInput8*>(created);
    return true;
}

void ReleaseDirectInput() {
    if (DirectInput)
        DirectInput->Release();
    DirectInput = nullptr;
}

} // namespace Input
