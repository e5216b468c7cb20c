// The system mouse: relative movement of x, y and the wheel, and four buttons. Exclusive use grabs the
// pointer (SDL's relative mouse mode) while the device is acquired.
#pragma once

#include "platform/dinput/Device.h"

namespace DInput {

class MouseDevice : public Device {
public:
    MouseDevice();

    // One wheel notch, in the units of the wheel axis.
    static constexpr LONG kWheelNotch = 120;

protected:
    void OnEvent(const SDL_Event& event) override;
    void OnAcquired() override;
    void ReadState(void* out) override;
    void Engage(bool on) override;
    bool FindObject(DWORD offset, DIDEVICEOBJECTINSTANCEA& object) const override;

private:
    LONG x_ = 0, y_ = 0, z_ = 0;
    BYTE buttons_[4] = {};
    bool grabbed_ = false;
};

} // namespace DInput
