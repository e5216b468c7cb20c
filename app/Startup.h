// Bringing the program up once its window exists, and taking it down once.
#pragma once

#include <windows.h>

namespace App {

// Fatal failures show a message and end the process here.
void Init(HINSTANCE instance, HWND window);
// Nothing unless Init has completed and no shutdown has run since.
void Shutdown();

// Told the name of each step of Init and Shutdown as it begins; null (the default) tells nobody. Lets the
// order of both sequences be watched from outside.
extern void (*StepListener)(const char* step);

} // namespace App
