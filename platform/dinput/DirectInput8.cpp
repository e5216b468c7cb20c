// The DirectInput object: device creation and enumeration, and the three data formats.
#include <dinput.h>

#include "platform/dinput/JoystickDevice.h"
#include "platform/win32/Text.h"
#include "platform/dinput/KeyboardDevice.h"
#include "platform/dinput/MouseDevice.h"
#include "platform/win32/Counted.h"

#include <SDL.h>

#include <atomic>
#include <cstring>
#include <new>

const DIDATAFORMAT c_dfDIKeyboard = {sizeof(DIDATAFORMAT), 0, 256};
const DIDATAFORMAT c_dfDIMouse = {sizeof(DIDATAFORMAT), 0, sizeof(DIMOUSESTATE)};
const DIDATAFORMAT c_dfDIJoystick = {sizeof(DIDATAFORMAT), 0, sizeof(DIJOYSTATE)};

static_assert(sizeof(DIDEVICEOBJECTDATA) == 20, "the game reads 20-byte event records");
static_assert(sizeof(DIMOUSESTATE) == 16 && sizeof(DIJOYSTATE) == 80, "state layouts");

namespace DInput {
namespace {

constexpr Uint32 kSubsystems = SDL_INIT_EVENTS | SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER;

class DirectInput : public Win32::Counted<IDirectInput8A> {
public:
    DirectInput() {
        // SDL drops joystick input while no window of ours has focus; the devices apply their own
        // foreground rule, and headless windows never get focus at all.
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        SDL_InitSubSystem(kSubsystems);
    }

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        if (iid == IID_IDirectInput8A) {
            AddRef();
            *object = static_cast<IDirectInput8A*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    HRESULT CreateDevice(REFGUID instance, LPDIRECTINPUTDEVICE8A* device, LPUNKNOWN outer) override {
        if (!device || outer)
            return DIERR_INVALIDPARAM;
        *device = nullptr;
        SDL_JoystickID id = -1;
        if (instance == GUID_SysKeyboard) {
            *device = new (std::nothrow) KeyboardDevice();
        } else if (instance == GUID_SysMouse) {
            *device = new (std::nothrow) MouseDevice();
        } else if (JoystickDevice::FromInstanceGuid(instance, id)) {
            auto* joystick = new (std::nothrow) JoystickDevice(id);
            if (joystick && !joystick->Opened()) {
                joystick->Release();
                return DIERR_DEVICENOTREG;
            }
            *device = joystick;
        } else {
            return DIERR_DEVICENOTREG;
        }
        return *device ? DI_OK : DIERR_OUTOFMEMORY;
    }

    HRESULT EnumDevices(DWORD deviceClass, LPDIENUMDEVICESCALLBACKA callback, LPVOID context,
                        DWORD /*flags: every device SDL lists is attached*/) override {
        if (!callback || deviceClass > DI8DEVCLASS_GAMECTRL)
            return DIERR_INVALIDPARAM;
        DIDEVICEINSTANCEA device{};
        device.dwSize = sizeof(device);
        auto offer = [&]() { return callback(&device, context) != DIENUM_STOP; };
        auto offerSystem = [&](REFGUID guid, DWORD type, const char* name) {
            device.guidInstance = device.guidProduct = guid;
            device.dwDevType = type;
            Win32::CopyName(device.tszInstanceName, MAX_PATH, name);
            Win32::CopyName(device.tszProductName, MAX_PATH, name);
            return offer();
        };
        if ((deviceClass == DI8DEVCLASS_ALL || deviceClass == DI8DEVCLASS_KEYBOARD) &&
            !offerSystem(GUID_SysKeyboard, DI8DEVTYPE_KEYBOARD, "Keyboard"))
            return DI_OK;
        if ((deviceClass == DI8DEVCLASS_ALL || deviceClass == DI8DEVCLASS_POINTER) &&
            !offerSystem(GUID_SysMouse, DI8DEVTYPE_MOUSE, "Mouse"))
            return DI_OK;
        if (deviceClass == DI8DEVCLASS_ALL || deviceClass == DI8DEVCLASS_GAMECTRL) {
            for (int i = 0; i < SDL_NumJoysticks(); ++i) {
                SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(i);
                if (id < 0)
                    continue;
                device.guidInstance = JoystickDevice::InstanceGuid(id);
                SDL_JoystickGUID product = SDL_JoystickGetDeviceGUID(i);
                static_assert(sizeof(product.data) == sizeof(GUID));
                std::memcpy(&device.guidProduct, product.data, sizeof(GUID));
                device.dwDevType = SDL_IsGameController(i) ? DI8DEVTYPE_GAMEPAD : DI8DEVTYPE_JOYSTICK;
                Win32::CopyName(device.tszInstanceName, MAX_PATH, SDL_JoystickNameForIndex(i));
                Win32::CopyName(device.tszProductName, MAX_PATH, SDL_JoystickNameForIndex(i));
                if (!offer())
                    return DI_OK;
            }
        }
        return DI_OK;
    }

private:
    ~DirectInput() override { SDL_QuitSubSystem(kSubsystems); }
};

} // namespace
} // namespace DInput

HRESULT WINAPI DirectInput8Create(HINSTANCE, DWORD version, REFIID iid, LPVOID* out, LPUNKNOWN outer) {
    if (!out)
        return DIERR_INVALIDPARAM;
    *out = nullptr;
    if (version != DIRECTINPUT_VERSION)
        return DIERR_OLDDIRECTINPUTVERSION;
    if (!(iid == IID_IDirectInput8A) || outer)
        return DIERR_NOINTERFACE;
    auto* input = new (std::nothrow) DInput::DirectInput();
    if (!input)
        return DIERR_OUTOFMEMORY;
    *out = static_cast<IDirectInput8A*>(input);
    return DI_OK;
}
