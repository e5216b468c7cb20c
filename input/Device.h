// The base of the three input devices: a DirectInput device and whether it is there and acquired.
#pragma once

#include <dinput.h>

#include <cstdint>
#include <initializer_list>

namespace Input {

class Device {
public:
    enum State : int32_t {
        NoDevice = 0,    // never created: the device does not exist
        NotAcquired = 1, // created but not acquired yet, or lost
        Acquired = 2,
    };

    Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    // Unacquires a created device and releases it.
    virtual ~Device();

    // Reads this frame's snapshot and returns the state after the poll. Not acquired: the snapshot is
    // cleared and the state returned unchanged.
    virtual int32_t Poll() = 0;

    // The per-frame use: Poll, and re-acquire a created device that is not acquired (it is read from the
    // next frame on). Returns the state.
    int32_t PollAndAcquire();

    int32_t state = NoDevice;
    IDirectInputDevice8* device = nullptr;

protected:
    // The constructors' common steps: create the device on the window with a buffer of 8 events.
    bool Open(REFGUID guid, DWORD cooperation, const DIDATAFORMAT& format);
    static bool SetDword(IDirectInputDevice8* device, REFGUID property, DWORD value);

    // Empties the frame snapshot.
    virtual void Clear() = 0;
    // A poll's first step: reads the device's state into raw. False, with the snapshot cleared, when the
    // device is not acquired or the read failed (the device is then lost: NotAcquired).
    bool ReadState(DWORD size, void* raw);
    // Takes the next buffered event. False when none is left, or when the read failed (the device is then
    // lost and the snapshot cleared).
    bool NextEvent(DIDEVICEOBJECTDATA& record);

private:
    void Lose();
};

// Polls and re-acquires each device that is there, in the order given; null entries are skipped.
void PollDevices(std::initializer_list<Device*> devices);

} // namespace Input
