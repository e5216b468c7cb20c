// The process entry: the program itself starts in WinMain.
#include <windows.h>

int main() {
    return WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<char*>(""), SW_SHOW);
}
