// A sound placed in the world: the game derives its volume, pan and pitch from its position and velocity
// relative to the group's listener (distance attenuation, panning and Doppler shift of its own).
#pragma once

#include "audio/BasicSound.h"
#include "base/Maths.h"

namespace Audio {

struct Listener;

struct Sound3dParams {
    float volume = 1.0f;
    float frequencyFactor = 1.0f;
    float referenceDistance = 100.0f; // full gain up to here, half at twice
    float maximumDistance = -1.0f;    // not above the reference distance: 10 x the reference distance
    Base::Vector3 position;
    Base::Vector3 velocity;
};

class Sound3d : public BasicSound {
public:
    using BasicSound::BasicSound;
    void Update(float elapsed) override;

    // False when the sound is out of range (the outputs are then untouched).
    bool ComputeParameters(const Listener& listener, int32_t& volume, int32_t& pan, int32_t& frequency) const;

    Sound3dParams params;
};

} // namespace Audio
