#include "platform/d3d9/Control.h"

#include "platform/d3d9/Device.h"

namespace D3D9 {

void SetCallLogging(IDirect3DDevice9* device, bool on) {
    static_cast<Device*>(device)->SetLogging(on);
}

std::vector<std::string> TakeCallLog(IDirect3DDevice9* device) {
    return static_cast<Device*>(device)->TakeLog();
}

void LoseDevice(IDirect3DDevice9* device) {
    static_cast<Device*>(device)->Lose();
}

bool BackBufferInWindow(IDirect3DDevice9* device) {
    return static_cast<Device*>(device)->BackBufferInWindow();
}

bool PresentsFromItsOwnThread(IDirect3DDevice9* device) {
    return static_cast<Device*>(device)->PresentsFromItsOwnThread();
}

void WaitForPresentedFrames(IDirect3DDevice9* device) {
    static_cast<Device*>(device)->WaitForPresentedFrames();
}

size_t ProgramCount(IDirect3DDevice9* device) {
    return static_cast<Device*>(device)->ProgramCount();
}

size_t IndexRangeFaults(IDirect3DDevice9* device) {
    return static_cast<Device*>(device)->RangeFaults();
}

} // namespace D3D9
