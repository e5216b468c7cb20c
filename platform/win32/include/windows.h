// The part of the Win32 interface that the game calls, on POSIX and the C++ standard library.
// Only what some caller uses is here; the rest of the window layer joins as its callers land.
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef unsigned int UINT;
typedef int INT;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef char CHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef void* HANDLE;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef int32_t HRESULT; // 32 bits, so that the 0x8xxxxxxx failure codes are negative
typedef DWORD* LPDWORD;

// A window handle: the record is the window layer's own (platform/win32/WindowHandle.h).
typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef union _LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    };
    LONGLONG QuadPart;
} LARGE_INTEGER;

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu
#define ERROR_SUCCESS 0u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_ALREADY_EXISTS 183u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

// Time: a monotonic counter in nanoseconds, readable from any thread and during static initialisation.
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
DWORD GetTickCount();
void Sleep(DWORD milliseconds);

DWORD GetLastError();
void SetLastError(DWORD error);
DWORD GetCurrentProcessId();
DWORD GetCurrentThreadId();

// The user's login name and the machine's host name (up to its first dot). size holds the buffer's bytes;
// on success the user name's size counts its zero and the computer name's does not. A buffer too small fails
// with ERROR_INSUFFICIENT_BUFFER and the size needed.
BOOL GetUserNameA(LPSTR buffer, LPDWORD size);
BOOL GetComputerNameA(LPSTR buffer, LPDWORD size);

// Kernel objects: mutexes, waited on and closed through their handles. The program's threads and locks are
// the standard library's.
struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

// Named mutexes are shared inside the process; a second create of one name sets ERROR_ALREADY_EXISTS.
// A named create fails (null, ERROR_ACCESS_DENIED) when the name cannot be shared with this user's other
// processes.
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name);
BOOL ReleaseMutex(HANDLE mutex);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL CloseHandle(HANDLE handle);

// COM start-up has nothing to do here.
#define COINIT_MULTITHREADED 0x0
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
HRESULT CoInitializeEx(LPVOID reserved, DWORD flags);
void CoUninitialize();

// COM identifiers and the reference-counted base of every COM-style interface of the platform layers.
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_POINTER ((HRESULT)0x80004003L)

typedef struct _GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef const GUID& REFGUID;
typedef const GUID& REFIID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}
inline bool operator==(REFGUID a, REFGUID b) {
    return IsEqualGUID(a, b);
}

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};
typedef IUnknown* LPUNKNOWN;

// Class objects by CLSID. A platform layer registers a creation function for each class it offers (from a
// static initialiser in the file that defines the CLSID, so that naming the CLSID links the class in).
#define CLSCTX_INPROC_SERVER 0x1
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154L)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110L)
typedef HRESULT (*PFNCOCREATE)(REFIID iid, void** object);
BOOL CoRegisterClassCreator(REFGUID clsid, PFNCOCREATE create);
HRESULT CoCreateInstance(REFGUID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object);

// Fresh random identifiers (version 4 layout).
typedef GUID UUID;
typedef LONG RPC_STATUS;
#define RPC_S_OK 0
RPC_STATUS UuidCreate(UUID* uuid);
HRESULT CoCreateGuid(GUID* guid);

// Text: 16-bit wide characters, UTF-16. The multibyte code page of this platform is UTF-8 (CP_ACP too).
typedef char16_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
#define CP_ACP 0u
#define CP_UTF8 65001u
// Both count the terminating NUL when the input length is -1; with an output size of 0 they return the size
// needed. Text that does not fit is cut at a whole character and 0 is returned (ERROR_INSUFFICIENT_BUFFER);
// malformed input becomes U+FFFD (or '?' in multibyte output).
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR out, int outLength);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR text, int length, LPSTR out, int outLength,
                        LPCSTR defaultChar, BOOL* usedDefault);

#define MAX_PATH 260

// ---- Windows, messages and the desktop, on SDL2 (platform/win32/Window.cpp and its neighbours) ----
// Window sizes are client sizes: the desktop's window manager draws the frame outside them, so a window
// created as 610 x 460 has a 610 x 460 drawing area and AdjustWindowRectEx leaves a rectangle as it is.

typedef uint16_t ATOM;
typedef short SHORT;
typedef struct HINSTANCE__* HMODULE;
typedef struct HICON__* HICON;
typedef HICON HCURSOR;
typedef struct HBRUSH__* HBRUSH;
typedef struct HMENU__* HMENU;
typedef void* HGDIOBJ;
typedef LRESULT(CALLBACK* WNDPROC)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *LPPOINT;
typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *LPRECT;
typedef struct tagPALETTEENTRY {
    BYTE peRed, peGreen, peBlue, peFlags;
} PALETTEENTRY;

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *LPMSG;

typedef struct tagWNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
} WNDCLASSA;

typedef struct tagLOGBRUSH {
    UINT lbStyle;
    DWORD lbColor;
    uintptr_t lbHatch;
} LOGBRUSH;
#define BS_NULL 1

#define LOWORD(l) ((WORD)(((uintptr_t)(l)) & 0xFFFF))
#define HIWORD(l) ((WORD)((((uintptr_t)(l)) >> 16) & 0xFFFF))
#define MAKELPARAM(low, high) ((LPARAM)(DWORD)(((WORD)(low)) | (((DWORD)(WORD)(high)) << 16)))

// Messages.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSKEYUP 0x0105
#define WM_USER 0x0400
// RegisterWindowMessageA hands out ids from here on.
#define WM_REGISTERED_FIRST 0xC000

#define SIZE_RESTORED 0
#define SIZE_MINIMIZED 1
#define SIZE_MAXIMIZED 2

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

#define HWND_BROADCAST ((HWND)(uintptr_t)0xFFFF)

// Window styles; WS_THICKFRAME makes the window resizable, a window without WS_CAPTION has no decoration.
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_MINIMIZE 0x20000000L
#define WS_VISIBLE 0x10000000L
#define WS_MAXIMIZE 0x01000000L
#define WS_CAPTION 0x00C00000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_MAXIMIZEBOX 0x00010000L
#define WS_OVERLAPPEDWINDOW 0x00CF0000L
#define CW_USEDEFAULT ((int)0x80000000)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_MAXIMIZE 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_RESTORE 9

#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOACTIVATE 0x0010
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080

#define ERROR_INVALID_WINDOW_HANDLE 1400u
#define ERROR_CLASS_ALREADY_EXISTS 1410u
#define ERROR_CANNOT_FIND_WND_CLASS 1407u
#define ERROR_INVALID_PARAMETER 87u

// Window classes and windows. The SDL video subsystem is started by the first window.
ATOM RegisterClassA(const WNDCLASSA* windowClass);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
BOOL ShowWindow(HWND window, int command);
BOOL SetWindowTextA(HWND window, LPCSTR text);
BOOL SetForegroundWindow(HWND window);
HWND GetForegroundWindow();
HWND GetFocus();
BOOL IsIconic(HWND window);
BOOL GetClientRect(HWND window, LPRECT rect);
BOOL GetWindowRect(HWND window, LPRECT rect);
BOOL AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD exStyle);
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
LONG GetWindowLongA(HWND window, int index);
LONG SetWindowLongA(HWND window, int index, LONG value);
HMENU GetMenu(HWND window);
int ShowCursor(BOOL show);

// Messages. SDL events become window messages when PeekMessageA pumps them (SDL keeps its own input state
// as well); posted messages come before the quit message, and both before input.
BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// HWND_BROADCAST reaches every top-level window, those of the other running programs of this user too.
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The same name gives the same id (names ignore case); a broadcast carries it to the other programs by its
// name. 0 for a null or empty name.
UINT RegisterWindowMessageA(LPCSTR name);

// Keys: virtual-key codes. The state is the one seen through the pumped events and SDL's keyboard state.
#define VK_LBUTTON 0x01
#define VK_RBUTTON 0x02
#define VK_MBUTTON 0x04
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_PAUSE 0x13
#define VK_CAPITAL 0x14
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
#define VK_NUMPAD0 0x60
#define VK_MULTIPLY 0x6A
#define VK_ADD 0x6B
#define VK_SUBTRACT 0x6D
#define VK_DECIMAL 0x6E
#define VK_DIVIDE 0x6F
#define VK_F1 0x70
#define VK_F4 0x73
#define VK_F10 0x79
#define VK_F12 0x7B
#define VK_LSHIFT 0xA0
#define VK_RSHIFT 0xA1
#define VK_LCONTROL 0xA2
#define VK_RCONTROL 0xA3
#define VK_LMENU 0xA4
#define VK_RMENU 0xA5
// High bit set: the key is down now.
SHORT GetAsyncKeyState(int virtualKey);

// Message boxes: the text always goes to stderr; a box is shown only where there is a display.
#define MB_OK 0x00000000L
#define MB_ICONHAND 0x00000010L
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONINFORMATION 0x00000040L
#define MB_SETFOREGROUND 0x00010000L
#define MB_TOPMOST 0x00040000L
#define IDOK 1
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// A hollow background brush is all the game asks of GDI; brushes are tokens here.
HBRUSH CreateBrushIndirect(const LOGBRUSH* brush);
BOOL DeleteObject(HGDIOBJ object);

// The system and the display.
typedef struct _OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
} OSVERSIONINFOA, *LPOSVERSIONINFOA;
#define VER_PLATFORM_WIN32_NT 2
BOOL GetVersionExA(LPOSVERSIONINFOA info);

typedef struct _devicemodeA {
    CHAR dmDeviceName[32];
    WORD dmSpecVersion;
    WORD dmDriverVersion;
    WORD dmSize;
    WORD dmDriverExtra;
    DWORD dmFields;
    DWORD dmBitsPerPel;
    DWORD dmPelsWidth;
    DWORD dmPelsHeight;
    DWORD dmDisplayFlags;
    DWORD dmDisplayFrequency;
} DEVMODEA, *LPDEVMODEA;
#define DM_BITSPERPEL 0x00040000L
#define DM_PELSWIDTH 0x00080000L
#define DM_PELSHEIGHT 0x00100000L
#define DM_DISPLAYFREQUENCY 0x00400000L
#define ENUM_CURRENT_SETTINGS ((DWORD)-1)
#define ENUM_REGISTRY_SETTINGS ((DWORD)-2)
#define CDS_FULLSCREEN 0x00000004
#define DISP_CHANGE_SUCCESSFUL 0
#define DISP_CHANGE_FAILED (-1)
#define DISP_CHANGE_BADMODE (-2)
// Modes of the first display; ENUM_CURRENT_SETTINGS is the desktop's.
BOOL EnumDisplaySettingsA(LPCSTR deviceName, DWORD modeNum, DEVMODEA* mode);
// The desktop keeps its mode: a null mode (restore) and the desktop's own mode succeed, others are refused.
// Full-screen modes are the window's business (the d3d9 layer).
LONG ChangeDisplaySettingsA(DEVMODEA* mode, DWORD flags);

// The module of the program; only its identity matters.
HMODULE GetModuleHandleA(LPCSTR moduleName);
// Ends the process at once, after the C runtime's exit handlers.
[[noreturn]] void ExitProcess(UINT exitCode);

// The program's entry function; the C entry point of the executable calls it.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);
