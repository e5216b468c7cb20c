#include "input/Device.h"
#include "input/DirectInput.h"

namespace Input {

Device::~Device() {
    if (state != NoDevice && device)
        device->Unacquire();
    if (device)
        device->Release();
    device = nullptr;
    state = NoDevice;
}

void PollDevices(std::initializer_list<Device*> devices) {
    for (Device* device : devices)
        if (device)
            device->PollAndAcquire();
}

int32_t Device::PollAndAcquire() {
    if (Poll() == NotAcquired && state != NoDevice && device && SUCCEEDED(device->Acquire()))
        state = Acquired;
    return state;
}

bool Device::SetDword(IDirectInputDevice8* d, REFGUID property, DWORD value) {
    DIPROPDWORD p{};
    p.diph.dwSize = sizeof(p);
    p.diph.dwHeaderSize = sizeof(p.diph);
    p.diph.dwObj = 0;
    p.diph.dwHow = DIPH_DEVICE;
    p.dwData = value;
    return SUCCEEDED(d->SetProperty(property, &p.diph));
}

bool Device::Open(REFGUID guid, DWORD cooperation, const DIDATAFORMAT& format) {
    if (!DirectInput || FAILED(DirectInput->CreateDevice(guid, &device, nullptr))) {
        device = nullptr;
        return false;
    }
    return SUCCEEDED(device->SetCooperativeLevel(Window, cooperation)) &&
           SUCCEEDED(device->SetDataFormat(&format)) && SetDword(device, DIPROP_BUFFERSIZE, 8);
}

void Device::Lose() {
    state = NotAcquired;
    Clear();
}

bool Device::ReadState(DWORD size, void* raw) {
    if (state != Acquired) {
        Clear();
        return false;
    }
    device->Poll();
    if (FAILED(device->GetDeviceState(size, raw))) {
        Lose();
        return false;
    }
    return true;
}

bool Device::NextEvent(DIDEVICEOBJECTDATA& record) {
    record = {};
    DWORD count = 1;
    if (FAILED(device->GetDeviceData(sizeof(record), &record, &count, 0))) {
        Lose();
        return false;
    }
    return count != 0;
}

} // namespace Input
