// The primary buffer: the mix itself. Play and Stop are accepted; its volume is the output's gain. It also
// answers for the listener of the buffers placed in space.
#pragma once

#include "platform/dsound/Device.h"

#include <dsound.h>

#include <atomic>
#include <memory>

namespace DSound {

class PrimaryBuffer final : public IDirectSoundBuffer, public IDirectSound3DListener {
public:
    explicit PrimaryBuffer(std::shared_ptr<Device> device) : device(std::move(device)) {}

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetCurrentPosition(LPDWORD playCursor, LPDWORD writeCursor) override;
    HRESULT GetVolume(LPLONG volume) override;
    HRESULT GetPan(LPLONG pan) override;
    HRESULT GetFrequency(LPDWORD frequency) override;
    HRESULT GetStatus(LPDWORD status) override;
    HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* audio1, LPDWORD bytes1, LPVOID* audio2, LPDWORD bytes2,
                 DWORD flags) override;
    HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) override;
    HRESULT SetCurrentPosition(DWORD position) override;
    HRESULT SetVolume(LONG volume) override;
    HRESULT SetPan(LONG pan) override;
    HRESULT SetFrequency(DWORD frequency) override;
    HRESULT Stop() override;
    HRESULT Unlock(LPVOID audio1, DWORD bytes1, LPVOID audio2, DWORD bytes2) override;
    HRESULT Restore() override;

    HRESULT SetPosition(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD apply) override;
    HRESULT SetVelocity(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD apply) override;
    HRESULT SetOrientation(D3DVALUE frontX, D3DVALUE frontY, D3DVALUE frontZ, D3DVALUE topX, D3DVALUE topY,
                           D3DVALUE topZ, DWORD apply) override;
    HRESULT SetDistanceFactor(D3DVALUE metresPerUnit, DWORD apply) override;
    HRESULT SetDopplerFactor(D3DVALUE factor, DWORD apply) override;
    HRESULT SetRolloffFactor(D3DVALUE factor, DWORD apply) override;
    HRESULT CommitDeferredSettings() override;

private:
    ~PrimaryBuffer() override = default;

    std::shared_ptr<Device> device;
    std::atomic<ULONG> references{1};
    LONG volume = 0;
    bool playing = false;
};

} // namespace DSound
