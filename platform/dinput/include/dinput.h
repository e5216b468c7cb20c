// The part of DirectInput 8 that the game calls: keyboard, mouse and joystick devices over SDL2.
// Key codes are the set-1 keyboard scan codes (extended keys with bit 7 set), as stored in the settings file.
#pragma once

#include <windows.h>

#define DIRECTINPUT_VERSION 0x0800

// Results. Successes: DI_OK, DI_NOEFFECT (nothing to do), DI_BUFFEROVERFLOW (events were dropped).
#define DI_OK S_OK
#define DI_NOEFFECT S_FALSE
#define DI_BUFFEROVERFLOW S_FALSE
#define DIERR_INVALIDPARAM E_INVALIDARG
#define DIERR_UNSUPPORTED E_NOTIMPL
#define DIERR_OUTOFMEMORY E_OUTOFMEMORY
#define DIERR_NOINTERFACE E_NOINTERFACE
#define DIERR_GENERIC E_FAIL
#define DIERR_INPUTLOST ((HRESULT)0x8007001EL)
#define DIERR_NOTACQUIRED ((HRESULT)0x8007000CL)
#define DIERR_ACQUIRED ((HRESULT)0x800700AAL)
#define DIERR_OTHERAPPHASPRIO ((HRESULT)0x80070005L)
#define DIERR_DEVICENOTREG ((HRESULT)0x80040154L)
#define DIERR_OBJECTNOTFOUND ((HRESULT)0x80070002L)
#define DIERR_NOTINITIALIZED ((HRESULT)0x80070015L)
#define DIERR_OLDDIRECTINPUTVERSION ((HRESULT)0x8007047EL)

// Identifiers (our own values; only their identity matters).
inline const GUID IID_IDirectInput8A = {
    0x436f7201, 0x6469, 0x3801, {0x8a, 0x1e, 0x43, 0x6f, 0x72, 0x76, 0x00, 0x01}};
inline const GUID IID_IDirectInputDevice8A = {
    0x436f7202, 0x6469, 0x3801, {0x8a, 0x1e, 0x43, 0x6f, 0x72, 0x76, 0x00, 0x02}};
inline const GUID GUID_SysKeyboard = {
    0x436f7210, 0x6469, 0x3801, {0x8a, 0x1e, 0x43, 0x6f, 0x72, 0x76, 0x00, 0x10}};
inline const GUID GUID_SysMouse = {
    0x436f7211, 0x6469, 0x3801, {0x8a, 0x1e, 0x43, 0x6f, 0x72, 0x76, 0x00, 0x11}};
// A game controller's instance identifier carries its SDL joystick instance id in Data1.
inline const GUID GUID_Joystick = {
    0x00000000, 0x6469, 0x3801, {0x8a, 0x1e, 0x43, 0x6f, 0x72, 0x76, 0x00, 0x12}};
inline const GUID DIPROP_BUFFERSIZE = {
    0x436f7220, 0x6469, 0x3801, {0x8a, 0x1e, 0x43, 0x6f, 0x72, 0x76, 0x00, 0x20}};
inline const GUID DIPROP_AXISMODE = {
    0x436f7221, 0x6469, 0x3801, {0x8a, 0x1e, 0x43, 0x6f, 0x72, 0x76, 0x00, 0x21}};

// Device classes and enumeration.
#define DI8DEVCLASS_ALL 0
#define DI8DEVCLASS_DEVICE 1
#define DI8DEVCLASS_POINTER 2
#define DI8DEVCLASS_KEYBOARD 3
#define DI8DEVCLASS_GAMECTRL 4
#define DIEDFL_ALLDEVICES 0x0
#define DIEDFL_ATTACHEDONLY 0x1
#define DIENUM_STOP 0
#define DIENUM_CONTINUE 1

#define DI8DEVTYPE_MOUSE 0x12
#define DI8DEVTYPE_KEYBOARD 0x13
#define DI8DEVTYPE_JOYSTICK 0x14
#define DI8DEVTYPE_GAMEPAD 0x15

// Cooperative levels: the game asks for 6 (keyboard) and 5 (mouse, joystick).
#define DISCL_EXCLUSIVE 0x1
#define DISCL_NONEXCLUSIVE 0x2
#define DISCL_FOREGROUND 0x4
#define DISCL_BACKGROUND 0x8

// Properties.
#define DIPH_DEVICE 0
#define DIPH_BYOFFSET 1
#define DIPROPAXISMODE_ABS 0
#define DIPROPAXISMODE_REL 1

typedef struct DIPROPHEADER {
    DWORD dwSize;
    DWORD dwHeaderSize;
    DWORD dwObj;
    DWORD dwHow;
} DIPROPHEADER, *LPDIPROPHEADER;
typedef const DIPROPHEADER* LPCDIPROPHEADER;

typedef struct DIPROPDWORD {
    DIPROPHEADER diph;
    DWORD dwData;
} DIPROPDWORD, *LPDIPROPDWORD;

// Data formats: the layer knows its three formats by identity.
typedef struct DIDATAFORMAT {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwDataSize;
} DIDATAFORMAT, *LPDIDATAFORMAT;
typedef const DIDATAFORMAT* LPCDIDATAFORMAT;

extern const DIDATAFORMAT c_dfDIKeyboard;
extern const DIDATAFORMAT c_dfDIMouse;
extern const DIDATAFORMAT c_dfDIJoystick;

// Immediate states.
typedef struct DIMOUSESTATE {
    LONG lX;
    LONG lY;
    LONG lZ;
    BYTE rgbButtons[4];
} DIMOUSESTATE, *LPDIMOUSESTATE;

typedef struct DIJOYSTATE {
    LONG lX;
    LONG lY;
    LONG lZ;
    LONG lRx;
    LONG lRy;
    LONG lRz;
    LONG rglSlider[2];
    DWORD rgdwPOV[4];
    BYTE rgbButtons[32];
} DIJOYSTATE, *LPDIJOYSTATE;

#define DIMOFS_X 0
#define DIMOFS_Y 4
#define DIMOFS_Z 8
#define DIMOFS_BUTTON0 12
#define DIMOFS_BUTTON1 13
#define DIMOFS_BUTTON2 14
#define DIMOFS_BUTTON3 15

#define DIJOFS_X 0
#define DIJOFS_Y 4
#define DIJOFS_Z 8
#define DIJOFS_RX 12
#define DIJOFS_RY 16
#define DIJOFS_RZ 20
#define DIJOFS_SLIDER(n) (24 + (n)*4)
#define DIJOFS_POV(n) (32 + (n)*4)
#define DIJOFS_BUTTON(n) (48 + (n))

// One buffered event; 20 bytes. dwData bit 7 is set for a key or button going down; for a relative axis it is
// the signed movement.
typedef struct DIDEVICEOBJECTDATA {
    DWORD dwOfs;
    DWORD dwData;
    DWORD dwTimeStamp;
    DWORD dwSequence;
    DWORD uAppData;
} DIDEVICEOBJECTDATA, *LPDIDEVICEOBJECTDATA;
typedef const DIDEVICEOBJECTDATA* LPCDIDEVICEOBJECTDATA;

#define DIGDD_PEEK 0x1

typedef struct DIDEVICEINSTANCEA {
    DWORD dwSize;
    GUID guidInstance;
    GUID guidProduct;
    DWORD dwDevType;
    CHAR tszInstanceName[MAX_PATH];
    CHAR tszProductName[MAX_PATH];
} DIDEVICEINSTANCEA, *LPDIDEVICEINSTANCEA;
typedef const DIDEVICEINSTANCEA* LPCDIDEVICEINSTANCEA;
typedef DIDEVICEINSTANCEA DIDEVICEINSTANCE;
typedef LPCDIDEVICEINSTANCEA LPCDIDEVICEINSTANCE;

#define DIDFT_AXIS 0x3
#define DIDFT_BUTTON 0xC
#define DIDFT_POV 0x10

typedef struct DIDEVICEOBJECTINSTANCEA {
    DWORD dwSize;
    GUID guidType;
    DWORD dwOfs;
    DWORD dwType;
    DWORD dwFlags;
    CHAR tszName[MAX_PATH];
} DIDEVICEOBJECTINSTANCEA, *LPDIDEVICEOBJECTINSTANCEA;
typedef DIDEVICEOBJECTINSTANCEA DIDEVICEOBJECTINSTANCE;
typedef LPDIDEVICEOBJECTINSTANCEA LPDIDEVICEOBJECTINSTANCE;

typedef BOOL(CALLBACK* LPDIENUMDEVICESCALLBACKA)(LPCDIDEVICEINSTANCEA device, LPVOID context);
typedef LPDIENUMDEVICESCALLBACKA LPDIENUMDEVICESCALLBACK;

struct IDirectInputDevice8A : IUnknown {
    virtual HRESULT SetProperty(REFGUID property, LPCDIPROPHEADER header) = 0;
    virtual HRESULT GetProperty(REFGUID property, LPDIPROPHEADER header) = 0;
    virtual HRESULT Acquire() = 0;
    virtual HRESULT Unacquire() = 0;
    virtual HRESULT GetDeviceState(DWORD size, LPVOID data) = 0;
    // count: in, the records that fit; out, the records written (at most one record per call is enough for
    // the game, but any count works).
    virtual HRESULT GetDeviceData(DWORD recordSize, LPDIDEVICEOBJECTDATA records, LPDWORD count,
                                  DWORD flags) = 0;
    virtual HRESULT SetDataFormat(LPCDIDATAFORMAT format) = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
    virtual HRESULT GetObjectInfo(LPDIDEVICEOBJECTINSTANCEA object, DWORD objectId, DWORD how) = 0;
    virtual HRESULT Poll() = 0;
};
typedef IDirectInputDevice8A IDirectInputDevice8;
typedef IDirectInputDevice8A* LPDIRECTINPUTDEVICE8A;
typedef LPDIRECTINPUTDEVICE8A LPDIRECTINPUTDEVICE8;

struct IDirectInput8A : IUnknown {
    virtual HRESULT CreateDevice(REFGUID instance, LPDIRECTINPUTDEVICE8A* device, LPUNKNOWN outer) = 0;
    virtual HRESULT EnumDevices(DWORD deviceClass, LPDIENUMDEVICESCALLBACKA callback, LPVOID context,
                                DWORD flags) = 0;
};
typedef IDirectInput8A IDirectInput8;
typedef IDirectInput8A* LPDIRECTINPUT8A;
typedef LPDIRECTINPUT8A LPDIRECTINPUT8;

// Starts the joystick and game-controller services; keyboard and mouse events come from the window layer's
// video start. Only version 0x0800 and IID_IDirectInput8A are served.
HRESULT WINAPI DirectInput8Create(HINSTANCE instance, DWORD version, REFIID iid, LPVOID* out,
                                  LPUNKNOWN outer);

// Keyboard scan codes (set 1; keys with the 0xE0 prefix have bit 7 set).
#define DIK_ESCAPE 0x01
#define DIK_1 0x02
#define DIK_2 0x03
#define DIK_3 0x04
#define DIK_4 0x05
#define DIK_5 0x06
#define DIK_6 0x07
#define DIK_7 0x08
#define DIK_8 0x09
#define DIK_9 0x0A
#define DIK_0 0x0B
#define DIK_MINUS 0x0C
#define DIK_EQUALS 0x0D
#define DIK_BACK 0x0E
#define DIK_TAB 0x0F
#define DIK_Q 0x10
#define DIK_W 0x11
#define DIK_E 0x12
#define DIK_R 0x13
#define DIK_T 0x14
#define DIK_Y 0x15
#define DIK_U 0x16
#define DIK_I 0x17
#define DIK_O 0x18
#define DIK_P 0x19
#define DIK_LBRACKET 0x1A
#define DIK_RBRACKET 0x1B
#define DIK_RETURN 0x1C
#define DIK_LCONTROL 0x1D
#define DIK_A 0x1E
#define DIK_S 0x1F
#define DIK_D 0x20
#define DIK_F 0x21
#define DIK_G 0x22
#define DIK_H 0x23
#define DIK_J 0x24
#define DIK_K 0x25
#define DIK_L 0x26
#define DIK_SEMICOLON 0x27
#define DIK_APOSTROPHE 0x28
#define DIK_GRAVE 0x29
#define DIK_LSHIFT 0x2A
#define DIK_BACKSLASH 0x2B
#define DIK_Z 0x2C
#define DIK_X 0x2D
#define DIK_C 0x2E
#define DIK_V 0x2F
#define DIK_B 0x30
#define DIK_N 0x31
#define DIK_M 0x32
#define DIK_COMMA 0x33
#define DIK_PERIOD 0x34
#define DIK_SLASH 0x35
#define DIK_RSHIFT 0x36
#define DIK_MULTIPLY 0x37
#define DIK_LMENU 0x38
#define DIK_SPACE 0x39
#define DIK_CAPITAL 0x3A
#define DIK_F1 0x3B
#define DIK_F2 0x3C
#define DIK_F3 0x3D
#define DIK_F4 0x3E
#define DIK_F5 0x3F
#define DIK_F6 0x40
#define DIK_F7 0x41
#define DIK_F8 0x42
#define DIK_F9 0x43
#define DIK_F10 0x44
#define DIK_NUMLOCK 0x45
#define DIK_SCROLL 0x46
#define DIK_NUMPAD7 0x47
#define DIK_NUMPAD8 0x48
#define DIK_NUMPAD9 0x49
#define DIK_SUBTRACT 0x4A
#define DIK_NUMPAD4 0x4B
#define DIK_NUMPAD5 0x4C
#define DIK_NUMPAD6 0x4D
#define DIK_ADD 0x4E
#define DIK_NUMPAD1 0x4F
#define DIK_NUMPAD2 0x50
#define DIK_NUMPAD3 0x51
#define DIK_NUMPAD0 0x52
#define DIK_DECIMAL 0x53
#define DIK_OEM_102 0x56
#define DIK_F11 0x57
#define DIK_F12 0x58
#define DIK_NUMPADENTER 0x9C
#define DIK_RCONTROL 0x9D
#define DIK_DIVIDE 0xB5
#define DIK_SYSRQ 0xB7
#define DIK_RMENU 0xB8
#define DIK_PAUSE 0xC5
#define DIK_HOME 0xC7
#define DIK_UP 0xC8
#define DIK_PRIOR 0xC9
#define DIK_LEFT 0xCB
#define DIK_RIGHT 0xCD
#define DIK_END 0xCF
#define DIK_DOWN 0xD0
#define DIK_NEXT 0xD1
#define DIK_INSERT 0xD2
#define DIK_DELETE 0xD3
#define DIK_LWIN 0xDB
#define DIK_RWIN 0xDC
#define DIK_APPS 0xDD
