// Message boxes: always on stderr, so that a failure is seen without a display; as a dialog where there is
// one.
#include <windows.h>

#include "platform/win32/SdlWindow.h"
#include "platform/win32/WindowLayer.h"

#include <SDL.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// The game's process id while a dialog runs, else 0: a fork then is the dialog's process.
std::atomic<pid_t> dialogOwner{0};

// In a child forked while a dialog runs: it gets SIGKILL when the game ends, however the game ends.
void TieChildToGame() {
    const pid_t owner = dialogOwner.load();
    if (owner == 0)
        return;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The game may have ended before the tie was made.
    if (getppid() != owner)
        _exit(1);
}

// The game waits for the dialog's process in a loop that a caught signal only interrupts: the signal's
// default action ends the game instead, and with it the dialog.
void EndGame(int signal) {
    std::signal(signal, SIG_DFL);
    raise(signal);
}

bool HasDisplay() {
    const char* driver =
        SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetCurrentVideoDriver() : std::getenv("SDL_VIDEODRIVER");
    if (driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0))
        return false;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

struct Box {
    Uint32 flags;
    std::string title, message;
    SDL_Window* owner;
};

int ShowBox(void* data) {
    const Box& box = *static_cast<const Box*>(data);
    return SDL_ShowSimpleMessageBox(box.flags, box.title.c_str(), box.message.c_str(), box.owner);
}

} // namespace

namespace Win32 {

int RunDialog(int (*show)(void* data), void* data) {
    static const bool tied = pthread_atfork(nullptr, nullptr, TieChildToGame) == 0;
    (void)tied;
    struct sigaction end = {}, term = {}, hangUp = {};
    end.sa_handler = EndGame;
    sigemptyset(&end.sa_mask);
    sigaction(SIGTERM, &end, &term);
    sigaction(SIGHUP, nullptr, &hangUp);
    const bool hangUpIgnored = !(hangUp.sa_flags & SA_SIGINFO) && hangUp.sa_handler == SIG_IGN;
    if (!hangUpIgnored)
        sigaction(SIGHUP, &end, nullptr);
    dialogOwner = getpid();
    const int result = show(data);
    dialogOwner = 0;
    sigaction(SIGTERM, &term, nullptr);
    sigaction(SIGHUP, &hangUp, nullptr);
    return result;
}

} // namespace Win32

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "Error", text ? text : "");
    std::fflush(stderr);
    if (!HasDisplay())
        return IDOK;
    Uint32 flags = SDL_MESSAGEBOX_INFORMATION;
    UINT icon = type & 0xF0;
    if (icon == MB_ICONERROR)
        flags = SDL_MESSAGEBOX_ERROR;
    else if (icon == MB_ICONEXCLAMATION || icon == MB_ICONQUESTION)
        flags = SDL_MESSAGEBOX_WARNING;
    Box box{flags, Win32::ToUtf8(caption ? caption : "Error"), Win32::ToUtf8(text ? text : ""),
            Win32::SdlWindow(owner)};
    Win32::RunDialog(ShowBox, &box);
    return IDOK;
}
