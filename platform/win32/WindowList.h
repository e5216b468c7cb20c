// The layer's list of live window handles (created and attached). Private to the Win32 layer.
#pragma once

#include <windows.h>

#include <vector>

namespace Win32 {

void AddWindow(HWND window);
void RemoveWindow(HWND window);
bool IsListedWindow(HWND window);
std::vector<HWND> ListedWindows();

} // namespace Win32
