// What the three kinds of device share: reference count, cooperative level and window focus, acquisition,
// the event buffer, and the SDL event watch that feeds them. Events are observed, never taken from the
// queue, so whoever pumps SDL's events (the window layer's message loop) also feeds the devices.
#pragma once

#include <dinput.h>

#include <SDL.h>

#include <atomic>
#include <mutex>
#include <vector>

namespace DInput {

class Device : public IDirectInputDevice8A {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT SetProperty(REFGUID property, LPCDIPROPHEADER header) override;
    HRESULT GetProperty(REFGUID property, LPDIPROPHEADER header) override;
    HRESULT Acquire() override;
    HRESULT Unacquire() override;
    HRESULT GetDeviceState(DWORD size, LPVOID data) override;
    HRESULT GetDeviceData(DWORD recordSize, LPDIDEVICEOBJECTDATA records, LPDWORD count,
                          DWORD flags) override;
    HRESULT SetDataFormat(LPCDIDATAFORMAT format) override;
    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override;
    HRESULT GetObjectInfo(LPDIDEVICEOBJECTINSTANCEA object, DWORD objectId, DWORD how) override;
    HRESULT Poll() override;

protected:
    Device(const DIDATAFORMAT& format, DWORD axisMode, Uint32 sdlSubsystems);
    ~Device() override;

    // Starts watching SDL's events; the last step of a subclass constructor.
    void StartWatching();
    void StopWatching();

    // The kind's own part. Called with lock held unless said otherwise.
    virtual void OnEvent(const SDL_Event& event) = 0;
    virtual void OnAcquired() = 0; // takes the current state as the starting point
    virtual void OnUnacquired() {}
    // Without the lock: the kind reads SDL itself and locks what it needs.
    virtual void ReadState(void* out) = 0;
    // Without the lock, after Acquire and Unacquire; the mouse grabs or frees the pointer here.
    virtual void Engage(bool /*on*/) {}
    virtual HRESULT PollDevice() { return DI_NOEFFECT; }
    // Without the lock: false once the device was unplugged.
    virtual bool Attached() const { return true; }
    virtual bool FindObject(DWORD offset, DIDEVICEOBJECTINSTANCEA& object) const;

    // Appends one record to the buffer (lock held). A relative axis movement adds into the latest record of
    // the same axis when no button record came after it: the sum stays right and clicks are not crowded
    // out of the small buffer.
    void Record(DWORD offset, DWORD data, Uint32 timestamp, bool relativeAxis = false);

    bool Exclusive() const { return (cooperation_ & DISCL_EXCLUSIVE) != 0; }
    DWORD AxisMode() const { return axisMode_; }

    std::mutex lock_;

private:
    static int Watch(void* self, SDL_Event* event);
    void Observe(const SDL_Event& event);
    bool WindowHasFocus() const;
    HRESULT CheckReadable();

    std::atomic<ULONG> references_{1};
    const DIDATAFORMAT& format_;
    Uint32 sdlSubsystems_;
    bool watching_ = false;
    bool formatSet_ = false;
    bool acquired_ = false;
    bool lost_ = false; // unacquired by a focus loss, not yet reported
    DWORD cooperation_ = DISCL_NONEXCLUSIVE | DISCL_BACKGROUND;
    Uint32 windowId_ = 0;
    int focus_ = -1; // -1 no focus event seen for the window yet, else 0 or 1
    DWORD axisMode_;
    DWORD bufferSize_ = 0;
    bool overflow_ = false;
    DWORD sequence_ = 0;
    // The event buffer: a ring of bufferSize_ records, count_ of them from head_ on.
    DIDEVICEOBJECTDATA& At(size_t i) { return ring_[(head_ + i) % ring_.size()]; }
    std::vector<DIDEVICEOBJECTDATA> ring_;
    size_t head_ = 0, count_ = 0;
};

} // namespace DInput
