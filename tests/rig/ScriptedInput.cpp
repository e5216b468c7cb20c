#include "tests/rig/ScriptedInput.h"

#include "input/DirectInput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <map>

namespace Rig {
namespace {

// The joystick's instance: the layer's joystick identifier with an instance number of our own.
GUID JoystickInstance() {
    GUID g = GUID_Joystick;
    g.Data1 = 0x5C41F7;
    return g;
}

class ScriptedDevice : public IDirectInputDevice8 {
public:
    ScriptedDevice(ScriptedInput::Channel& channel, ScriptedInput::Kind kind)
        : channel(channel), kind(kind) {}

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (iid != IID_IDirectInputDevice8A)
            return E_NOINTERFACE;
        AddRef();
        *object = this;
        return S_OK;
    }
    ULONG AddRef() override { return ++references; }
    ULONG Release() override {
        ULONG left = --references;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT SetProperty(REFGUID, LPCDIPROPHEADER header) override {
        return header ? DI_OK : DIERR_INVALIDPARAM;
    }
    HRESULT GetProperty(REFGUID, LPDIPROPHEADER) override { return DIERR_UNSUPPORTED; }
    HRESULT Acquire() override {
        if (channel.lost)
            return DIERR_OTHERAPPHASPRIO;
        if (channel.acquired)
            return DI_NOEFFECT;
        channel.acquired = true;
        return DI_OK;
    }
    HRESULT Unacquire() override {
        if (!channel.acquired)
            return DI_NOEFFECT;
        channel.acquired = false;
        return DI_OK;
    }
    HRESULT GetDeviceState(DWORD size, LPVOID data) override {
        if (!data || size != channel.state.size())
            return DIERR_INVALIDPARAM;
        if (!Readable())
            return channel.lost ? DIERR_INPUTLOST : DIERR_NOTACQUIRED;
        std::memcpy(data, channel.state.data(), size);
        if (kind == ScriptedInput::Mouse) { // relative axes: the motion since the last read
            auto* mouse = reinterpret_cast<DIMOUSESTATE*>(channel.state.data());
            mouse->lX = mouse->lY = mouse->lZ = 0;
        }
        return DI_OK;
    }
    HRESULT GetDeviceData(DWORD recordSize, LPDIDEVICEOBJECTDATA records, LPDWORD count,
                          DWORD flags) override {
        if (!count || recordSize != sizeof(DIDEVICEOBJECTDATA))
            return DIERR_INVALIDPARAM;
        if (!Readable()) {
            *count = 0;
            return channel.lost ? DIERR_INPUTLOST : DIERR_NOTACQUIRED;
        }
        DWORD n = 0;
        while (n < *count && n < channel.buffer.size()) {
            if (records)
                records[n] = channel.buffer[n];
            ++n;
        }
        if (!(flags & DIGDD_PEEK))
            channel.buffer.erase(channel.buffer.begin(), channel.buffer.begin() + std::ptrdiff_t(n));
        *count = n;
        return DI_OK;
    }
    HRESULT SetDataFormat(LPCDIDATAFORMAT format) override { return format ? DI_OK : DIERR_INVALIDPARAM; }
    HRESULT SetCooperativeLevel(HWND, DWORD) override { return DI_OK; }
    HRESULT GetObjectInfo(LPDIDEVICEOBJECTINSTANCEA object, DWORD, DWORD) override {
        // The joystick has its throttle slider; nothing else is asked.
        return object ? DI_OK : DIERR_INVALIDPARAM;
    }
    HRESULT Poll() override { return Readable() ? DI_NOEFFECT : DIERR_NOTACQUIRED; }

private:
    // A loss takes the acquisition away at the next read.
    bool Readable() {
        if (channel.lost)
            channel.acquired = false;
        return channel.acquired;
    }

    ScriptedInput::Channel& channel;
    ScriptedInput::Kind kind;
    ULONG references = 1;
};

const std::map<std::string, uint8_t>& KeyNames() {
    static const std::map<std::string, uint8_t> names = [] {
        std::map<std::string, uint8_t> m = {
            {"ESCAPE", DIK_ESCAPE},
            {"MINUS", DIK_MINUS},
            {"EQUALS", DIK_EQUALS},
            {"BACK", DIK_BACK},
            {"TAB", DIK_TAB},
            {"LBRACKET", DIK_LBRACKET},
            {"RBRACKET", DIK_RBRACKET},
            {"RETURN", DIK_RETURN},
            {"LCONTROL", DIK_LCONTROL},
            {"SEMICOLON", DIK_SEMICOLON},
            {"APOSTROPHE", DIK_APOSTROPHE},
            {"GRAVE", DIK_GRAVE},
            {"LSHIFT", DIK_LSHIFT},
            {"BACKSLASH", DIK_BACKSLASH},
            {"COMMA", DIK_COMMA},
            {"PERIOD", DIK_PERIOD},
            {"SLASH", DIK_SLASH},
            {"RSHIFT", DIK_RSHIFT},
            {"MULTIPLY", DIK_MULTIPLY},
            {"LMENU", DIK_LMENU},
            {"SPACE", DIK_SPACE},
            {"CAPITAL", DIK_CAPITAL},
            {"NUMLOCK", DIK_NUMLOCK},
            {"SCROLL", DIK_SCROLL},
            {"SUBTRACT", DIK_SUBTRACT},
            {"ADD", DIK_ADD},
            {"DECIMAL", DIK_DECIMAL},
            {"NUMPADENTER", DIK_NUMPADENTER},
            {"RCONTROL", DIK_RCONTROL},
            {"DIVIDE", DIK_DIVIDE},
            {"SYSRQ", DIK_SYSRQ},
            {"RMENU", DIK_RMENU},
            {"PAUSE", DIK_PAUSE},
            {"HOME", DIK_HOME},
            {"UP", DIK_UP},
            {"PRIOR", DIK_PRIOR},
            {"LEFT", DIK_LEFT},
            {"RIGHT", DIK_RIGHT},
            {"END", DIK_END},
            {"DOWN", DIK_DOWN},
            {"NEXT", DIK_NEXT},
            {"INSERT", DIK_INSERT},
            {"DELETE", DIK_DELETE},
            {"LWIN", DIK_LWIN},
            {"RWIN", DIK_RWIN},
            {"APPS", DIK_APPS},
            {"F11", DIK_F11},
            {"F12", DIK_F12},
        };
        const char* rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
        const uint8_t firsts[] = {DIK_Q, DIK_A, DIK_Z};
        for (int r = 0; r < 3; ++r)
            for (int i = 0; rows[r][i]; ++i)
                m[std::string(1, rows[r][i])] = uint8_t(firsts[r] + i);
        for (int d = 1; d <= 9; ++d)
            m[std::to_string(d)] = uint8_t(DIK_1 + d - 1);
        m["0"] = DIK_0;
        for (int f = 1; f <= 10; ++f)
            m["F" + std::to_string(f)] = uint8_t(DIK_F1 + f - 1);
        const uint8_t pad[] = {DIK_NUMPAD0, DIK_NUMPAD1, DIK_NUMPAD2, DIK_NUMPAD3, DIK_NUMPAD4,
                               DIK_NUMPAD5, DIK_NUMPAD6, DIK_NUMPAD7, DIK_NUMPAD8, DIK_NUMPAD9};
        for (int d = 0; d <= 9; ++d)
            m["NUMPAD" + std::to_string(d)] = pad[d];
        return m;
    }();
    return names;
}

// The characters of the US layout, unshifted and shifted, by scan code (as the keyboard types them).
uint8_t CharacterKey(char c, bool& shift) {
    struct Row {
        uint8_t first;
        const char* plain;
        const char* shifted;
    };
    static const Row rows[] = {{0x02, "1234567890-=", "!@#$%^&*()_+"},
                               {0x10, "qwertyuiop[]", "QWERTYUIOP{}"},
                               {0x1E, "asdfghjkl;'`", "ASDFGHJKL:\"~"},
                               {0x2B, "\\zxcvbnm,./", "|ZXCVBNM<>?"},
                               {0x39, " ", " "}};
    for (const Row& row : rows)
        for (int i = 0; row.plain[i]; ++i) {
            if (row.plain[i] == c) {
                shift = false;
                return uint8_t(row.first + i);
            }
            if (row.shifted[i] == c) {
                shift = true;
                return uint8_t(row.first + i);
            }
        }
    return 0;
}

bool ParseNumber(const std::string& text, double& out) {
    if (text.empty())
        return false;
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(out);
}

std::string Where(const ScriptEvent& e) {
    return (e.line ? "script line " + std::to_string(e.line) + ": " : "script event: ") + e.ToString();
}

} // namespace

ScriptedInput::ScriptedInput(bool joystickAttached) : joystickAttached(joystickAttached) {
    channels[Keyboard].state.assign(256, 0);
    channels[Mouse].state.assign(sizeof(DIMOUSESTATE), 0);
    DIJOYSTATE centred{};
    centred.lX = centred.lY = centred.lRz = 32768;
    centred.rglSlider[0] = 65535; // throttle closed
    for (DWORD& pov : centred.rgdwPOV)
        pov = 0xFFFFFFFF;
    channels[Joystick].state.assign(sizeof(DIJOYSTATE), 0);
    std::memcpy(channels[Joystick].state.data(), &centred, sizeof(centred));
    previous = Input::DirectInput;
    Input::DirectInput = this;
}

ScriptedInput::~ScriptedInput() {
    if (Input::DirectInput == this)
        Input::DirectInput = previous;
}

HRESULT ScriptedInput::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    *object = iid == IID_IDirectInput8A ? this : nullptr;
    return *object ? S_OK : E_NOINTERFACE;
}

HRESULT ScriptedInput::CreateDevice(REFGUID instance, LPDIRECTINPUTDEVICE8A* device, LPUNKNOWN) {
    if (!device)
        return DIERR_INVALIDPARAM;
    *device = nullptr;
    Kind kind;
    if (instance == GUID_SysKeyboard)
        kind = Keyboard;
    else if (instance == GUID_SysMouse)
        kind = Mouse;
    else if (joystickAttached && instance == JoystickInstance())
        kind = Joystick;
    else
        return DIERR_DEVICENOTREG;
    *device = new ScriptedDevice(channels[kind], kind);
    return DI_OK;
}

HRESULT ScriptedInput::EnumDevices(DWORD deviceClass, LPDIENUMDEVICESCALLBACKA callback, LPVOID context,
                                   DWORD) {
    if (!callback)
        return DIERR_INVALIDPARAM;
    if (joystickAttached && (deviceClass == DI8DEVCLASS_GAMECTRL || deviceClass == DI8DEVCLASS_ALL)) {
        DIDEVICEINSTANCEA joystick{};
        joystick.dwSize = sizeof(joystick);
        joystick.guidInstance = JoystickInstance();
        joystick.guidProduct = GUID_Joystick;
        joystick.dwDevType = DI8DEVTYPE_JOYSTICK;
        std::strcpy(joystick.tszInstanceName, "Scripted joystick");
        std::strcpy(joystick.tszProductName, "Scripted joystick");
        callback(&joystick, context);
    }
    return DI_OK;
}

uint8_t ScriptedInput::KeyCode(const std::string& name) {
    if (name.size() > 2 && name[0] == '0' && (name[1] == 'x' || name[1] == 'X')) {
        char* end = nullptr;
        unsigned long code = std::strtoul(name.c_str() + 2, &end, 16);
        return *end == 0 && code > 0 && code < 256 ? uint8_t(code) : 0;
    }
    std::string upper = name.rfind("DIK_", 0) == 0 ? name.substr(4) : name;
    for (char& c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    auto found = KeyNames().find(upper);
    return found == KeyNames().end() ? 0 : found->second;
}

void ScriptedInput::BeginFrame(uint32_t frame) {
    currentFrame = frame;
    for (const char* device : {"keyboard", "mouse", "joystick"}) {
        // Copies: playing an event may add later ones to the script.
        std::vector<ScriptEvent> events;
        for (const ScriptEvent* e : script.At(frame, device))
            events.push_back(*e);
        for (const ScriptEvent& e : events)
            Play(e);
    }
}

void ScriptedInput::Record(Kind kind, DWORD offset, DWORD data) {
    Channel& c = channels[kind];
    if (!c.acquired || c.lost)
        return; // events of a device that is not acquired are never seen
    DIDEVICEOBJECTDATA record{};
    record.dwOfs = offset;
    record.dwData = data;
    record.dwTimeStamp = currentFrame;
    record.dwSequence = ++c.sequence;
    c.buffer.push_back(record);
}

bool ScriptedInput::PlayButton(Kind kind, const ScriptEvent& e, int index, bool down) {
    Channel& c = channels[kind];
    const BYTE value = down ? 0x80 : 0;
    DWORD offset = 0;
    BYTE* slot = nullptr;
    if (kind == Keyboard) {
        offset = DWORD(index);
        slot = &c.state[size_t(index)];
    } else if (kind == Mouse) {
        offset = DWORD(DIMOFS_BUTTON0 + index);
        slot = &c.state[offsetof(DIMOUSESTATE, rgbButtons) + size_t(index)];
    } else {
        offset = DWORD(DIJOFS_BUTTON(index));
        slot = &c.state[offsetof(DIJOYSTATE, rgbButtons) + size_t(index)];
    }
    if (*slot == value)
        return true; // no change, no event
    *slot = value;
    Record(kind, offset, value);
    if (e.event == "press" && down) {
        ScriptEvent up = e;
        up.frame = e.frame + 1;
        up.event = "up";
        script.Add(up);
    }
    return true;
}

void ScriptedInput::Play(const ScriptEvent& e) {
    const Kind kind = e.device == "keyboard" ? Keyboard : e.device == "mouse" ? Mouse : Joystick;
    Channel& c = channels[kind];
    const auto fail = [&](const std::string& why) { ADD_FAILURE() << Where(e) << ": " << why; };
    const size_t n = e.arguments.size();

    if (e.event == "lost" && n == 0) {
        c.lost = true;
        c.buffer.clear();
        return;
    }
    if (e.event == "found" && n == 0) {
        c.lost = false;
        return;
    }
    const bool down = e.event == "down" || e.event == "press";
    const bool button = down || e.event == "up";

    if (kind == Keyboard) {
        if (button && n == 1) {
            const uint8_t code = KeyCode(e.arguments[0]);
            if (!code)
                return fail("unknown key \"" + e.arguments[0] + "\"");
            PlayButton(kind, e, code, down);
            return;
        }
        if (e.event == "type" && n == 1) {
            // A character is down for a frame and up the next; Shift goes down a frame before a character
            // that needs it (the keyboard reports one press a poll) and up with it.
            uint32_t frame = e.frame;
            for (char ch : e.arguments[0]) {
                bool shift = false;
                const uint8_t code = CharacterKey(ch, shift);
                if (!code)
                    return fail(std::string("no key types '") + ch + "'");
                auto add = [&](uint32_t f, const char* what, const char* key) {
                    ScriptEvent k = e;
                    k.frame = f;
                    k.event = what;
                    k.arguments = {key};
                    if (f == e.frame)
                        Play(k);
                    else
                        script.Add(k);
                };
                char hex[8];
                std::snprintf(hex, sizeof(hex), "0x%02X", code);
                if (shift)
                    add(frame++, "down", "LSHIFT");
                add(frame, "down", hex);
                add(frame + 1, "up", hex);
                if (shift)
                    add(frame + 1, "up", "LSHIFT");
                frame += 2;
            }
            return;
        }
        return fail("not a keyboard event");
    }

    if (kind == Mouse) {
        if (button && n == 1) {
            static const char* const names[] = {"left", "right", "middle", "fourth"};
            int index = -1;
            for (int i = 0; i < 4; ++i)
                if (e.arguments[0] == names[i] || e.arguments[0] == std::to_string(i))
                    index = i;
            if (index < 0)
                return fail("unknown mouse button \"" + e.arguments[0] + "\"");
            PlayButton(kind, e, index, down);
            return;
        }
        double x = 0, y = 0;
        auto* state = reinterpret_cast<DIMOUSESTATE*>(c.state.data());
        if (e.event == "move" && n == 2 && ParseNumber(e.arguments[0], x) && ParseNumber(e.arguments[1], y)) {
            if (!c.acquired || c.lost)
                return;
            state->lX += LONG(x);
            state->lY += LONG(y);
            if (LONG(x))
                Record(kind, DIMOFS_X, DWORD(int32_t(x)));
            if (LONG(y))
                Record(kind, DIMOFS_Y, DWORD(int32_t(y)));
            return;
        }
        if (e.event == "wheel" && n == 1 && ParseNumber(e.arguments[0], x)) {
            if (!c.acquired || c.lost)
                return;
            state->lZ += LONG(x);
            Record(kind, DIMOFS_Z, DWORD(int32_t(x)));
            return;
        }
        return fail("not a mouse event");
    }

    auto* state = reinterpret_cast<DIJOYSTATE*>(c.state.data());
    double v = 0;
    if (button && n == 1 && ParseNumber(e.arguments[0], v) && v >= 0 && v < 32 && v == std::floor(v)) {
        PlayButton(kind, e, int(v), down);
        return;
    }
    if (e.event == "axis" && n == 2 && ParseNumber(e.arguments[1], v) && v >= -1 && v <= 1) {
        const LONG raw = std::min(LONG(65535), LONG(std::lround((v + 1.0) * 32768.0)));
        if (e.arguments[0] == "x")
            state->lX = raw;
        else if (e.arguments[0] == "y")
            state->lY = raw;
        else if (e.arguments[0] == "rudder")
            state->lRz = raw;
        else
            return fail("unknown axis \"" + e.arguments[0] + "\"");
        return;
    }
    if (e.event == "throttle" && n == 1 && ParseNumber(e.arguments[0], v) && v >= 0 && v <= 1) {
        state->rglSlider[0] = LONG(std::lround((1.0 - v) * 65535.0));
        return;
    }
    if (e.event == "pov" && n == 1) {
        if (e.arguments[0] == "centre" || e.arguments[0] == "center")
            state->rgdwPOV[0] = 0xFFFFFFFF;
        else if (ParseNumber(e.arguments[0], v) && v >= 0 && v < 360)
            state->rgdwPOV[0] = DWORD(std::lround(v * 100.0));
        else
            return fail("not a point of view");
        return;
    }
    fail("not a joystick event");
}

} // namespace Rig
