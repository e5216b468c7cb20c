// A game controller: an SDL joystick, or an SDL game controller when SDL knows its layout. Axes are absolute
// in 0..65535 with the centre at 32768; the hat is the point of view in hundredths of a degree.
#pragma once

#include "platform/dinput/Device.h"

#include <array>

namespace DInput {

class JoystickDevice : public Device {
public:
    explicit JoystickDevice(SDL_JoystickID id);
    bool Opened() const { return joystick_ != nullptr; }

    // The instance identifier that EnumDevices hands out and CreateDevice takes back.
    static GUID InstanceGuid(SDL_JoystickID id);
    static bool FromInstanceGuid(REFGUID guid, SDL_JoystickID& id);

protected:
    ~JoystickDevice() override;
    void OnEvent(const SDL_Event& event) override;
    void OnAcquired() override {}
    void ReadState(void* out) override;
    HRESULT PollDevice() override;
    bool Attached() const override;
    bool FindObject(DWORD offset, DIDEVICEOBJECTINSTANCEA& object) const override;

private:
    int ButtonCount() const;
    int HatCount() const;

    SDL_JoystickID id_;
    SDL_Joystick* joystick_ = nullptr;
    SDL_GameController* controller_ = nullptr;
    // Where each SDL axis goes, as an index of the state's first eight LONGs (lX .. lRz, two sliders); -1
    // none.
    std::array<int, 8> axisSlot_{};
    int axisCount_ = 0;
};

} // namespace DInput
