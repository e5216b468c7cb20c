// A second program for the window tests: takes the named mutex and, when another program holds it, broadcasts
// the registered message to that program's windows.
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 3)
        return 1;
    UINT id = RegisterWindowMessageA(argv[2]);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, argv[1]);
    bool exists = GetLastError() == ERROR_ALREADY_EXISTS;
    CloseHandle(mutex);
    if (!exists)
        return 4;
    PostMessageA(HWND_BROADCAST, id, 7, 9);
    return 3;
}
