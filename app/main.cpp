// The process entry: the program itself starts in WinMain.
#include <windows.h>

#include <csignal>

int main() {
    // A write past the player's file-size limit fails like a full disk, and the save says so, instead of
    // the kernel's signal ending the game with its settings unsaved.
    std::signal(SIGXFSZ, SIG_IGN);
    return WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<char*>(""), SW_SHOW);
}
