#include "audio/Device.h"

namespace Audio {

IDirectSound8* DirectSound = nullptr;
IDirectSoundBuffer* PrimaryBuffer = nullptr;

bool StartDirectSound(LPCGUID device, HWND window) {
    StopDirectSound();
    if (FAILED(DirectSoundCreate8(device, &DirectSound, nullptr))) {
        DirectSound = nullptr;
        return false;
    }
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof(DSBUFFERDESC);
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    if (FAILED(DirectSound->SetCooperativeLevel(window, DSSCL_PRIORITY)) ||
        FAILED(DirectSound->CreateSoundBuffer(&desc, &PrimaryBuffer, nullptr)) ||
        FAILED(PrimaryBuffer->Play(0, 0, DSBPLAY_LOOPING))) {
        StopDirectSound();
        return false;
    }
    return true;
}

void StopDirectSound() {
    if (PrimaryBuffer) {
        PrimaryBuffer->Release();
        PrimaryBuffer = nullptr;
    }
    if (DirectSound) {
        DirectSound->Release();
        DirectSound = nullptr;
    }
}

} // namespace Audio
