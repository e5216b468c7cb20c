// Any bytes as a datagram on this program's single-instance socket: the only message that may reach its
// windows is the registered one this program knows; anything else is dropped.
#include "platform/win32/UserRuntime.h"
#include "fuzz/support/Scratch.h"

#include <windows.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

UINT known = 0;
std::string socketPath;
HWND window = nullptr; // kept for the whole run

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

bool Start() {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    const std::string& runtime = FuzzSupport::ScratchDirectory();
    setenv("XDG_RUNTIME_DIR", runtime.substr(0, runtime.size() - 1).c_str(), 1);
    known = RegisterWindowMessageA("Corvane Single Instance Message");
    if (!known || !Win32::ListenForBroadcasts())
        return false;
    socketPath = Win32::RuntimeDirectory() + "/window-" + std::to_string(getpid()) + ".sock";
    WNDCLASSA c{};
    c.lpfnWndProc = Procedure;
    c.lpszClassName = "Fuzz";
    if (!RegisterClassA(&c))
        return false;
    window = CreateWindowExA(0, "Fuzz", "Fuzz", 0, 0, 0, 64, 64, nullptr, nullptr, nullptr, nullptr);
    return window != nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = Start();
    if (!started || size > 4096)
        return 0;
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    sendto(fd, data, size, 0, reinterpret_cast<sockaddr*>(&address), sizeof address);
    close(fd);
    // The number the datagram carries (after its magic word) must not arrive unless it is the known one.
    uint32_t carried = 0;
    if (size >= 8)
        std::memcpy(&carried, data + 4, 4);
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        if (m.message != known && m.message == carried)
            std::abort();
    return 0;
}
