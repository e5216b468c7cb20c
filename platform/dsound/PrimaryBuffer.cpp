#include "platform/dsound/PrimaryBuffer.h"

#include <cmath>

namespace DSound {

HRESULT PrimaryBuffer::QueryInterface(REFIID, void** object) {
    if (object) {
        *object = nullptr;
    }
    return E_NOINTERFACE;
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
