// A playing instance of a cached sound: a duplicate of its buffer in a sound group, driven by a small state
// machine. While it is held (its group paused, or out of range) its buffer is stopped; out of range it keeps
// a virtual play position that runs on, paused the position stands still.
#pragma once

#include "audio/Buffer.h"

#include <cstdint>
#include <list>

namespace Audio {

class SoundGroup;

class BasicSound : public Buffer {
public:
    enum State : int32_t { Finished = 0, Idle = 1, PlayRequested = 2, Playing = 3 };
    static constexpr uint32_t NoPosition = 0xFFFFFFFF;

    // Plays a copy of buffer in group (which owns the sound from now on), idle.
    BasicSound(const Buffer& buffer, SoundGroup* group);
    // Leaves the group's list.
    ~BasicSound() override;

    // One step of the group's update, elapsed seconds since the last.
    virtual void Update(float elapsed) = 0;
    // Ends a sound that is not idle; one with the auto-delete flag is deleted at once.
    void Release();

    SoundGroup* group;
    uint8_t held = 0;
    uint8_t loop = 0;
    uint8_t autoDelete = 0;
    int32_t state = Idle;
    uint32_t position = 0;         // bytes
    uint32_t pending = NoPosition; // a position to jump to at the next update

protected:
    // The step that every sound ends its update with; hold keeps the buffer stopped.
    void Update(float elapsed, bool hold);

private:
    friend class SoundGroup;
    std::list<BasicSound*>::iterator link;
};

} // namespace Audio
