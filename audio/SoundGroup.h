// Sounds driven together: a common volume, a pause switch, a listener, and updates at a fixed rate on the
// game clock. The group owns its sounds.
#pragma once

#include "base/Maths.h"

#include <list>

namespace Audio {

class BasicSound;

struct Listener {
    Base::Vector3 position;
    Base::Vector3 forward;
    Base::Vector3 up;
    Base::Vector3 velocity;
};

class SoundGroup {
public:
    // updatesPerSecond 0: every call to Update runs.
    explicit SoundGroup(float updatesPerSecond);
    ~SoundGroup();
    SoundGroup(const SoundGroup&) = delete;
    SoundGroup& operator=(const SoundGroup&) = delete;

    // At the origin facing +Z with +Y up, at rest.
    void UpdateListener();
    // Updates every sound when the period has passed since the last update (or when forced).
    void Update(bool force = false);
    void SetVolume(float v);

    std::list<BasicSound*> sounds; // owned
    uint8_t paused = 0;
    float volume = 1.0f;
    float period;
    float lastUpdate;
    Listener listener;
};

} // namespace Audio
