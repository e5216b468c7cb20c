#include "scene/EngineHost.h"

namespace Rw {

HWND MainWindow = nullptr;
bool EngineStarted = false;
bool ImageFormatsRegistered = false;

int FindVideoMode(HWND, int, int, int, int) {
    return 0;
}

bool StartEngine(uint32_t, int, HWND window, int, uint32_t) {
    MainWindow = window;
    EngineStarted = true;
    return true;
}

void StopEngine() {
    if (!EngineStarted)
        return;
    EngineStarted = false;
}

void ResizeDisplay(int, int) {
    if (!EngineStarted)
        return;
}

void RegisterImageFormats() {
    ImageFormatsRegistered = true;
}

} // namespace Rw
