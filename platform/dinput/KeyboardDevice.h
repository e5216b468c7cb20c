// The system keyboard: 256 key bytes by scan code, and key records whose offset is the scan code.
#pragma once

#include "platform/dinput/Device.h"

namespace DInput {

class KeyboardDevice : public Device {
public:
    KeyboardDevice();

protected:
    void OnEvent(const SDL_Event& event) override;
    void OnAcquired() override;
    void ReadState(void* out) override;

private:
    BYTE keys_[256] = {};
};

} // namespace DInput
