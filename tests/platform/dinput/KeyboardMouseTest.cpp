#include "InputFixture.h"

#include <cstring>

namespace {

constexpr DWORD kKeyboardLevel = DISCL_NONEXCLUSIVE | DISCL_FOREGROUND; // 6, as the game asks
constexpr DWORD kMouseLevel = DISCL_EXCLUSIVE | DISCL_FOREGROUND;       // 5

struct CodeCase {
    SDL_Scancode sdl;
    int scanCode; // set-1 scan code, extended keys with bit 7
};

// Every code that the default assignments, the key-assignment capture, the cameras, the menus and the
// character table use, and the modifier keys.
const CodeCase kCodes[] = {
    {SDL_SCANCODE_ESCAPE, 0x01},      {SDL_SCANCODE_1, 0x02},           {SDL_SCANCODE_2, 0x03},
    {SDL_SCANCODE_3, 0x04},           {SDL_SCANCODE_4, 0x05},           {SDL_SCANCODE_5, 0x06},
    {SDL_SCANCODE_6, 0x07},           {SDL_SCANCODE_7, 0x08},           {SDL_SCANCODE_8, 0x09},
    {SDL_SCANCODE_9, 0x0A},           {SDL_SCANCODE_0, 0x0B},           {SDL_SCANCODE_MINUS, 0x0C},
    {SDL_SCANCODE_EQUALS, 0x0D},      {SDL_SCANCODE_BACKSPACE, 0x0E},   {SDL_SCANCODE_TAB, 0x0F},
    {SDL_SCANCODE_Q, 0x10},           {SDL_SCANCODE_W, 0x11},           {SDL_SCANCODE_E, 0x12},
    {SDL_SCANCODE_R, 0x13},           {SDL_SCANCODE_T, 0x14},           {SDL_SCANCODE_Y, 0x15},
    {SDL_SCANCODE_U, 0x16},           {SDL_SCANCODE_I, 0x17},           {SDL_SCANCODE_O, 0x18},
    {SDL_SCANCODE_P, 0x19},           {SDL_SCANCODE_LEFTBRACKET, 0x1A}, {SDL_SCANCODE_RIGHTBRACKET, 0x1B},
    {SDL_SCANCODE_RETURN, 0x1C},      {SDL_SCANCODE_LCTRL, 0x1D},       {SDL_SCANCODE_A, 0x1E},
    {SDL_SCANCODE_S, 0x1F},           {SDL_SCANCODE_D, 0x20},           {SDL_SCANCODE_F, 0x21},
    {SDL_SCANCODE_G, 0x22},           {SDL_SCANCODE_H, 0x23},           {SDL_SCANCODE_J, 0x24},
    {SDL_SCANCODE_K, 0x25},           {SDL_SCANCODE_L, 0x26},           {SDL_SCANCODE_SEMICOLON, 0x27},
    {SDL_SCANCODE_APOSTROPHE, 0x28},  {SDL_SCANCODE_GRAVE, 0x29},       {SDL_SCANCODE_LSHIFT, 0x2A},
    {SDL_SCANCODE_BACKSLASH, 0x2B},   {SDL_SCANCODE_Z, 0x2C},           {SDL_SCANCODE_X, 0x2D},
    {SDL_SCANCODE_C, 0x2E},           {SDL_SCANCODE_V, 0x2F},           {SDL_SCANCODE_B, 0x30},
    {SDL_SCANCODE_N, 0x31},           {SDL_SCANCODE_M, 0x32},           {SDL_SCANCODE_COMMA, 0x33},
    {SDL_SCANCODE_PERIOD, 0x34},      {SDL_SCANCODE_SLASH, 0x35},       {SDL_SCANCODE_RSHIFT, 0x36},
    {SDL_SCANCODE_KP_MULTIPLY, 0x37}, {SDL_SCANCODE_LALT, 0x38},        {SDL_SCANCODE_SPACE, 0x39},
    {SDL_SCANCODE_F1, 0x3B},          {SDL_SCANCODE_F2, 0x3C},          {SDL_SCANCODE_F3, 0x3D},
    {SDL_SCANCODE_F4, 0x3E},          {SDL_SCANCODE_F5, 0x3F},          {SDL_SCANCODE_F6, 0x40},
    {SDL_SCANCODE_F7, 0x41},          {SDL_SCANCODE_F8, 0x42},          {SDL_SCANCODE_F10, 0x44},
    {SDL_SCANCODE_KP_7, 0x47},        {SDL_SCANCODE_KP_8, 0x48},        {SDL_SCANCODE_KP_9, 0x49},
    {SDL_SCANCODE_KP_MINUS, 0x4A},    {SDL_SCANCODE_KP_4, 0x4B},        {SDL_SCANCODE_KP_5, 0x4C},
    {SDL_SCANCODE_KP_6, 0x4D},        {SDL_SCANCODE_KP_PLUS, 0x4E},     {SDL_SCANCODE_KP_1, 0x4F},
    {SDL_SCANCODE_KP_2, 0x50},        {SDL_SCANCODE_KP_3, 0x51},        {SDL_SCANCODE_KP_0, 0x52},
    {SDL_SCANCODE_KP_PERIOD, 0x53},   {SDL_SCANCODE_RCTRL, 0x9D},       {SDL_SCANCODE_KP_DIVIDE, 0xB5},
    {SDL_SCANCODE_RALT, 0xB8},        {SDL_SCANCODE_HOME, 0xC7},        {SDL_SCANCODE_UP, 0xC8},
    {SDL_SCANCODE_PAGEUP, 0xC9},      {SDL_SCANCODE_LEFT, 0xCB},        {SDL_SCANCODE_RIGHT, 0xCD},
    {SDL_SCANCODE_END, 0xCF},         {SDL_SCANCODE_DOWN, 0xD0},        {SDL_SCANCODE_PAGEDOWN, 0xD1},
    {SDL_SCANCODE_INSERT, 0xD2},      {SDL_SCANCODE_DELETE, 0xD3},
};

class Keyboard : public InputFixture {};
class Mouse : public InputFixture {};

TEST_F(Keyboard, EveryKeyTheGameUsesHasItsScanCode) {
    IDirectInputDevice8* kb = Open(GUID_SysKeyboard, c_dfDIKeyboard, kKeyboardLevel);
    ASSERT_NE(kb, nullptr);
    for (const CodeCase& c : kCodes) {
        SCOPED_TRACE(SDL_GetScancodeName(c.sdl));
        Key(c.sdl, true);
        BYTE keys[256];
        ASSERT_EQ(kb->GetDeviceState(sizeof(keys), keys), DI_OK);
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(keys[i], i == c.scanCode ? 0x80 : 0) << "byte " << i;
        Key(c.sdl, false);
        auto records = Drain(kb);
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0].dwOfs, DWORD(c.scanCode));
        EXPECT_EQ(records[0].dwData & 0x80, 0x80u);
        EXPECT_EQ(records[1].dwOfs, DWORD(c.scanCode));
        EXPECT_EQ(records[1].dwData & 0x80, 0u);
        EXPECT_LT(records[0].dwSequence, records[1].dwSequence);
    }
}

TEST_F(Keyboard, KeysOfOneFrameAreBufferedInOrderAndSystemRepeatsAreNot) {
    IDirectInputDevice8* kb = Open(GUID_SysKeyboard, c_dfDIKeyboard, kKeyboardLevel);
    Key(SDL_SCANCODE_G, true);
    Key(SDL_SCANCODE_G, true, true); // the desktop's own repeat
    Key(SDL_SCANCODE_B, true);
    BYTE keys[256];
    ASSERT_EQ(kb->GetDeviceState(sizeof(keys), keys), DI_OK);
    EXPECT_EQ(keys[0x22], 0x80);
    EXPECT_EQ(keys[0x30], 0x80);
    auto records = Drain(kb);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].dwOfs, 0x22u);
    EXPECT_EQ(records[1].dwOfs, 0x30u);
}

TEST_F(Keyboard, AFullBufferKeepsTheOldestAndReportsTheOverflowOnce) {
    IDirectInputDevice8* kb = Open(GUID_SysKeyboard, c_dfDIKeyboard, kKeyboardLevel);
    const SDL_Scancode keys[] = {SDL_SCANCODE_A, SDL_SCANCODE_S, SDL_SCANCODE_D, SDL_SCANCODE_F,
                                 SDL_SCANCODE_G};
    for (SDL_Scancode k : keys) {
        Key(k, true);
        Key(k, false);
    }
    DIDEVICEOBJECTDATA r{};
    DWORD n = 1;
    EXPECT_EQ(kb->GetDeviceData(sizeof(r), &r, &n, 0), DI_BUFFEROVERFLOW);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(r.dwOfs, 0x1Eu);
    auto rest = Drain(kb);
    ASSERT_EQ(rest.size(), 7u);
    EXPECT_EQ(rest.back().dwOfs, 0x21u); // F went down and up; G was dropped
    BYTE state[256];
    ASSERT_EQ(kb->GetDeviceState(sizeof(state), state), DI_OK);
    EXPECT_EQ(state[0x22], 0); // the immediate state is right all the same
}

TEST_F(Keyboard, BufferSizeIsAPropertyAndBoundsTheBuffer) {
    IDirectInputDevice8* kb = Open(GUID_SysKeyboard, c_dfDIKeyboard, kKeyboardLevel, false);
    DIPROPDWORD p{};
    p.diph.dwSize = sizeof(p);
    p.diph.dwHeaderSize = sizeof(p.diph);
    p.diph.dwHow = DIPH_DEVICE;
    ASSERT_EQ(kb->GetProperty(DIPROP_BUFFERSIZE, &p.diph), DI_OK);
    EXPECT_EQ(p.dwData, 8u);
    p.dwData = 0xFFFFFFFFu; // far too many: capped, not an allocation failure
    ASSERT_EQ(kb->SetProperty(DIPROP_BUFFERSIZE, &p.diph), DI_OK);
    ASSERT_EQ(kb->GetProperty(DIPROP_BUFFERSIZE, &p.diph), DI_OK);
    EXPECT_EQ(p.dwData, 65536u);
    p.dwData = 2;
    ASSERT_EQ(kb->SetProperty(DIPROP_BUFFERSIZE, &p.diph), DI_OK);
    ASSERT_EQ(kb->Acquire(), DI_OK);
    EXPECT_EQ(kb->SetProperty(DIPROP_BUFFERSIZE, &p.diph), DIERR_ACQUIRED);
    for (int round = 0; round < 3; ++round) { // the ring wraps
        Key(SDL_SCANCODE_K, true);
        Key(SDL_SCANCODE_K, false);
        Key(SDL_SCANCODE_L, true);
        auto r = Drain(kb);
        ASSERT_EQ(r.size(), 2u);
        EXPECT_EQ(r[0].dwOfs, 0x25u);
        EXPECT_EQ(r[1].dwData, 0u);
        Key(SDL_SCANCODE_L, false);
        Drain(kb);
    }
    DIDEVICEOBJECTDATA peek[2] = {};
    DWORD n = 2;
    Key(SDL_SCANCODE_M, true);
    ASSERT_EQ(kb->GetDeviceData(sizeof(peek[0]), peek, &n, DIGDD_PEEK), DI_OK);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(Drain(kb).size(), 1u); // a peek leaves the record
}

TEST_F(Keyboard, FocusLossLosesTheDeviceUntilTheFocusComesBack) {
    IDirectInputDevice8* kb = Open(GUID_SysKeyboard, c_dfDIKeyboard, kKeyboardLevel);
    Key(SDL_SCANCODE_SPACE, true);
    Focus(false);
    BYTE keys[256];
    EXPECT_EQ(kb->GetDeviceState(sizeof(keys), keys), DIERR_INPUTLOST);
    EXPECT_EQ(kb->GetDeviceState(sizeof(keys), keys), DIERR_NOTACQUIRED);
    DWORD n = 1;
    DIDEVICEOBJECTDATA r{};
    EXPECT_EQ(kb->GetDeviceData(sizeof(r), &r, &n, 0), DIERR_NOTACQUIRED);
    EXPECT_EQ(kb->Acquire(), DIERR_OTHERAPPHASPRIO);
    Key(SDL_SCANCODE_SPACE, false); // happens elsewhere
    Focus(true);
    ASSERT_EQ(kb->Acquire(), DI_OK);
    EXPECT_EQ(kb->Acquire(), DI_NOEFFECT);
    ASSERT_EQ(kb->GetDeviceState(sizeof(keys), keys), DI_OK);
    EXPECT_EQ(keys[0x39], 0);
    EXPECT_TRUE(Drain(kb).empty());
}

TEST_F(Keyboard, BackgroundDevicesKeepReadingWithoutFocus) {
    IDirectInputDevice8* kb = Open(GUID_SysKeyboard, c_dfDIKeyboard, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND);
    Focus(false);
    Key(SDL_SCANCODE_E, true);
    BYTE keys[256];
    ASSERT_EQ(kb->GetDeviceState(sizeof(keys), keys), DI_OK);
    EXPECT_EQ(keys[0x12], 0x80);
}

TEST_F(Keyboard, MisuseIsRefused) {
    IDirectInputDevice8* kb = nullptr;
    ASSERT_EQ(input->CreateDevice(GUID_SysKeyboard, &kb, nullptr), DI_OK);
    devices.push_back(kb);
    EXPECT_EQ(kb->Acquire(), DIERR_INVALIDPARAM); // no data format yet
    EXPECT_EQ(kb->SetDataFormat(&c_dfDIMouse), DIERR_INVALIDPARAM);
    EXPECT_EQ(kb->SetCooperativeLevel(window, DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_FOREGROUND),
              DIERR_INVALIDPARAM);
    EXPECT_EQ(kb->SetCooperativeLevel(nullptr, kKeyboardLevel), DIERR_INVALIDPARAM);
    ASSERT_EQ(kb->SetDataFormat(&c_dfDIKeyboard), DI_OK);
    BYTE keys[256];
    EXPECT_EQ(kb->GetDeviceState(sizeof(keys), keys), DIERR_NOTACQUIRED);
    ASSERT_EQ(kb->SetCooperativeLevel(window, kKeyboardLevel), DI_OK);
    ASSERT_EQ(kb->Acquire(), DI_OK);
    EXPECT_EQ(kb->GetDeviceState(100, keys), DIERR_INVALIDPARAM);
    DIDEVICEOBJECTDATA r{};
    DWORD n = 1;
    EXPECT_EQ(kb->GetDeviceData(sizeof(r), &r, &n, 0), DIERR_INVALIDPARAM); // no buffer asked for
    IDirectInputDevice8* none = nullptr;
    EXPECT_EQ(input->CreateDevice(IID_IDirectInput8A, &none, nullptr), DIERR_DEVICENOTREG);
    IDirectInput8* old = nullptr;
    EXPECT_EQ(
        DirectInput8Create(nullptr, 0x0700, IID_IDirectInput8A, reinterpret_cast<void**>(&old), nullptr),
        DIERR_OLDDIRECTINPUTVERSION);
    EXPECT_EQ(old, nullptr);
}

class MouseEvents {
public:
    explicit MouseEvents(Uint32 window) : window_(window) {}
    SDL_Event Motion(int dx, int dy) const {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = window_;
        e.motion.xrel = dx;
        e.motion.yrel = dy;
        return e;
    }
    SDL_Event Button(Uint8 button, bool down) const {
        SDL_Event e{};
        e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.windowID = window_;
        e.button.button = button;
        e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        return e;
    }
    SDL_Event Wheel(int notches) const {
        SDL_Event e{};
        e.type = SDL_MOUSEWHEEL;
        e.wheel.windowID = window_;
        e.wheel.y = notches;
        e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
        return e;
    }

private:
    Uint32 window_;
};

TEST_F(Mouse, MovementIsRelativeAndButtonsAreLeftRightMiddleFourth) {
    IDirectInputDevice8* mouse = Open(GUID_SysMouse, c_dfDIMouse, kMouseLevel);
    ASSERT_NE(mouse, nullptr);
    MouseEvents m(SDL_GetWindowID(sdl));
    Push(m.Motion(3, -2));
    Push(m.Motion(4, 5));
    Push(m.Wheel(-1));
    Push(m.Button(SDL_BUTTON_RIGHT, true));
    Push(m.Button(SDL_BUTTON_X1, true));
    DIMOUSESTATE s{};
    ASSERT_EQ(mouse->GetDeviceState(sizeof(s), &s), DI_OK);
    EXPECT_EQ(s.lX, 7);
    EXPECT_EQ(s.lY, 3);
    EXPECT_EQ(s.lZ, -120);
    const BYTE held[4] = {0, 0x80, 0, 0x80};
    EXPECT_EQ(std::memcmp(s.rgbButtons, held, 4), 0);
    ASSERT_EQ(mouse->GetDeviceState(sizeof(s), &s), DI_OK);
    EXPECT_EQ(s.lX, 0); // movement since the last read
    EXPECT_EQ(s.lY, 0);
    EXPECT_EQ(s.rgbButtons[1], 0x80);
}

TEST_F(Mouse, BufferedMovementIsSummedUpToTheNextClick) {
    IDirectInputDevice8* mouse = Open(GUID_SysMouse, c_dfDIMouse, kMouseLevel);
    MouseEvents m(SDL_GetWindowID(sdl));
    for (int i = 0; i < 20; ++i) // far more motion than the buffer holds
        Push(m.Motion(1, 2));
    Push(m.Button(SDL_BUTTON_LEFT, true));
    Push(m.Motion(-5, 0));
    Push(m.Button(SDL_BUTTON_LEFT, false));
    auto r = Drain(mouse);
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0].dwOfs, DWORD(DIMOFS_X));
    EXPECT_EQ(LONG(r[0].dwData), 20);
    EXPECT_EQ(r[1].dwOfs, DWORD(DIMOFS_Y));
    EXPECT_EQ(LONG(r[1].dwData), 40);
    EXPECT_EQ(r[2].dwOfs, DWORD(DIMOFS_BUTTON0));
    EXPECT_EQ(r[2].dwData & 0x80, 0x80u);
    EXPECT_EQ(r[3].dwOfs, DWORD(DIMOFS_X));
    EXPECT_EQ(LONG(r[3].dwData), -5);
    EXPECT_EQ(r[4].dwOfs, DWORD(DIMOFS_BUTTON0));
    EXPECT_EQ(r[4].dwData & 0x80, 0u);
}

TEST_F(Mouse, ALostMouseIsReacquired) {
    IDirectInputDevice8* mouse = Open(GUID_SysMouse, c_dfDIMouse, kMouseLevel);
    MouseEvents m(SDL_GetWindowID(sdl));
    Focus(false);
    Push(m.Motion(9, 9));
    DIMOUSESTATE s{};
    EXPECT_EQ(mouse->GetDeviceState(sizeof(s), &s), DIERR_INPUTLOST);
    Focus(true);
    ASSERT_EQ(mouse->Acquire(), DI_OK);
    Push(m.Motion(1, 0));
    ASSERT_EQ(mouse->GetDeviceState(sizeof(s), &s), DI_OK);
    EXPECT_EQ(s.lX, 1); // nothing of what moved while lost
    DIDEVICEOBJECTINSTANCEA info{};
    info.dwSize = sizeof(info);
    EXPECT_EQ(mouse->GetObjectInfo(&info, DIMOFS_Z, DIPH_BYOFFSET), DI_OK);
    EXPECT_EQ(mouse->GetObjectInfo(&info, 40, DIPH_BYOFFSET), DIERR_OBJECTNOTFOUND);
}

TEST_F(Mouse, EnumerationOffersKeyboardAndMouse) {
    std::vector<GUID> seen;
    auto collect = [](LPCDIDEVICEINSTANCEA d, LPVOID ctx) -> BOOL {
        static_cast<std::vector<GUID>*>(ctx)->push_back(d->guidInstance);
        return DIENUM_CONTINUE;
    };
    ASSERT_EQ(input->EnumDevices(DI8DEVCLASS_KEYBOARD, collect, &seen, DIEDFL_ATTACHEDONLY), DI_OK);
    ASSERT_EQ(input->EnumDevices(DI8DEVCLASS_POINTER, collect, &seen, DIEDFL_ATTACHEDONLY), DI_OK);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(seen[0] == GUID_SysKeyboard);
    EXPECT_TRUE(seen[1] == GUID_SysMouse);
}

} // namespace
