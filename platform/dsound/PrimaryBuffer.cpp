#include "platform/dsound/PrimaryBuffer.h"

#include <cmath>

namespace DSound {

HRESULT PrimaryBuffer::QueryInterface(REFIID iid, void** object) {
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    if (iid != IID_IDirectSound3DListener) {
        return E_NOINTERFACE;
    }
    *object = static_cast<IDirectSound3DListener*>(this);
    AddRef();
    return S_OK;
}

ULONG PrimaryBuffer::AddRef() {
    return ++references;
}

ULONG PrimaryBuffer::Release() {
    ULONG left = --references;
    if (left == 0) {
        delete this;
    }
    return left;
}

// The mix has no cursor or data that the game may touch.
HRESULT PrimaryBuffer::GetCurrentPosition(LPDWORD, LPDWORD) {
    return DSERR_UNSUPPORTED;
}
HRESULT PrimaryBuffer::Lock(DWORD, DWORD, LPVOID*, LPDWORD, LPVOID*, LPDWORD, DWORD) {
    return DSERR_UNSUPPORTED;
}
HRESULT PrimaryBuffer::Unlock(LPVOID, DWORD, LPVOID, DWORD) {
    return DSERR_UNSUPPORTED;
}
HRESULT PrimaryBuffer::SetCurrentPosition(DWORD) {
    return DSERR_INVALIDCALL;
}
HRESULT PrimaryBuffer::SetFrequency(DWORD) {
    return DSERR_CONTROLUNAVAIL;
}
HRESULT PrimaryBuffer::GetFrequency(LPDWORD) {
    return DSERR_CONTROLUNAVAIL;
}
HRESULT PrimaryBuffer::SetPan(LONG) {
    return DSERR_CONTROLUNAVAIL;
}
HRESULT PrimaryBuffer::GetPan(LPLONG) {
    return DSERR_CONTROLUNAVAIL;
}
HRESULT PrimaryBuffer::Restore() {
    return DS_OK;
}

HRESULT PrimaryBuffer::GetVolume(LPLONG result) {
    if (!result) {
        return DSERR_INVALIDPARAM;
    }
    *result = volume;
    return DS_OK;
}

HRESULT PrimaryBuffer::SetVolume(LONG newVolume) {
    if (newVolume < DSBVOLUME_MIN || newVolume > DSBVOLUME_MAX) {
        return DSERR_INVALIDPARAM;
    }
    volume = newVolume;
    std::lock_guard<std::mutex> lock(device->mutex);
    device->SetMasterGain(std::pow(10.0f, newVolume / 2000.0f));
    return DS_OK;
}

HRESULT PrimaryBuffer::GetStatus(LPDWORD status) {
    if (!status) {
        return DSERR_INVALIDPARAM;
    }
    *status = playing ? DSBSTATUS_PLAYING | DSBSTATUS_LOOPING : 0;
    return DS_OK;
}

HRESULT PrimaryBuffer::Play(DWORD, DWORD, DWORD flags) {
    // The output mixes whether or not the primary buffer plays; only looping play is allowed.
    if (!(flags & DSBPLAY_LOOPING)) {
        return DSERR_INVALIDPARAM;
    }
    playing = true;
    return DS_OK;
}

HRESULT PrimaryBuffer::Stop() {
    playing = false;
    return DS_OK;
}

} // namespace DSound

namespace DSound {

// Left-handed coordinates to OpenAL's right-handed ones: z turns round.
HRESULT PrimaryBuffer::SetPosition(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD) {
    std::lock_guard<std::mutex> lock(device->mutex);
    alListener3f(AL_POSITION, x, y, -z);
    return DS_OK;
}

HRESULT PrimaryBuffer::SetVelocity(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD) {
    std::lock_guard<std::mutex> lock(device->mutex);
    alListener3f(AL_VELOCITY, x, y, -z);
    return DS_OK;
}

HRESULT PrimaryBuffer::SetOrientation(D3DVALUE frontX, D3DVALUE frontY, D3DVALUE frontZ, D3DVALUE topX,
                                      D3DVALUE topY, D3DVALUE topZ, DWORD) {
    const ALfloat orientation[6] = {frontX, frontY, -frontZ, topX, topY, -topZ};
    std::lock_guard<std::mutex> lock(device->mutex);
    alListenerfv(AL_ORIENTATION, orientation);
    return DS_OK;
}

HRESULT PrimaryBuffer::SetDistanceFactor(D3DVALUE metresPerUnit, DWORD) {
    if (!(metresPerUnit > 0)) {
        return DSERR_INVALIDPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    alSpeedOfSound(343.3f / metresPerUnit);
    return DS_OK;
}

HRESULT PrimaryBuffer::SetDopplerFactor(D3DVALUE factor, DWORD) {
    if (factor < 0) {
        return DSERR_INVALIDPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    alDopplerFactor(factor);
    return DS_OK;
}

HRESULT PrimaryBuffer::SetRolloffFactor(D3DVALUE factor, DWORD) {
    if (factor < 0) {
        return DSERR_INVALIDPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    device->SetRolloffFactor(factor);
    return DS_OK;
}

HRESULT PrimaryBuffer::CommitDeferredSettings() {
    return DS_OK;
}

} // namespace DSound
