// The DirectSound object: makes buffers on the process's OpenAL output.
#include "platform/dsound/Device.h"
#include "platform/dsound/PrimaryBuffer.h"
#include "platform/dsound/SoundBuffer.h"
#include "platform/win32/Counted.h"

#include <dsound.h>

#include <atomic>

namespace DSound {

namespace {

class DirectSound8 final : public Win32::Counted<IDirectSound8> {
public:
    explicit DirectSound8(std::shared_ptr<Device> device) : device(std::move(device)) {}

    HRESULT QueryInterface(REFIID, void** object) override {
        if (object) {
            *object = nullptr;
        }
        return E_NOINTERFACE;
    }

    HRESULT CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* buffer, LPUNKNOWN outer) override {
        if (!desc || !buffer || outer || desc->dwSize != sizeof(DSBUFFERDESC)) {
            return DSERR_INVALIDPARAM;
        }
        *buffer = nullptr;
        if (!cooperative) {
            return DSERR_INVALIDCALL;
        }
        if (desc->dwFlags & DSBCAPS_PRIMARYBUFFER) {
            if (desc->dwBufferBytes != 0 || desc->lpwfxFormat) {
                return DSERR_INVALIDPARAM;
            }
            *buffer = new PrimaryBuffer(device);
            return DS_OK;
        }
        HRESULT result = DS_OK;
        *buffer = SoundBuffer::Create(device, *desc, &result);
        return result;
    }

    HRESULT DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original, LPDIRECTSOUNDBUFFER* duplicate) override {
        if (!duplicate) {
            return DSERR_INVALIDPARAM;
        }
        *duplicate = nullptr;
        auto* secondary = dynamic_cast<SoundBuffer*>(original);
        if (!secondary) {
            return DSERR_INVALIDCALL;
        }
        *duplicate = secondary->Duplicate();
        return DS_OK;
    }

    HRESULT SetCooperativeLevel(HWND, DWORD level) override {
        if (level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) {
            return DSERR_INVALIDPARAM;
        }
        cooperative = true;
        return DS_OK;
    }

private:
    ~DirectSound8() override = default;

    std::shared_ptr<Device> device;
    bool cooperative = false;
};

} // namespace

} // namespace DSound

HRESULT WINAPI DirectSoundCreate8(LPCGUID deviceId, LPDIRECTSOUND8* directSound, LPUNKNOWN outer) {
    if (!directSound || outer) {
        return DSERR_INVALIDPARAM;
    }
    *directSound = nullptr;
    // Only the default output exists; no device ids are handed out.
    if (deviceId) {
        return DSERR_NODRIVER;
    }
    std::shared_ptr<DSound::Device> device = DSound::Device::Open();
    if (!device) {
        return DSERR_NODRIVER;
    }
    *directSound = new DSound::DirectSound8(std::move(device));
    return DS_OK;
}
