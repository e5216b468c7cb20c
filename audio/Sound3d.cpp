#include "audio/Sound3d.h"

#include "audio/Sound.h"
#include "audio/SoundGroup.h"

#include <algorithm>
#include <cmath>

namespace Audio {

namespace {

constexpr float SpeedOfSound = 330.0f;

Base::Vector3 Subtract(const Base::Vector3& a, const Base::Vector3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

// Doppler factor, with n pointing from the sound to the listener. A source closing at half the speed of
// sound or faster gets the ceiling 2, even past the speed of sound where the plain ratio turns negative; a
// listener running away faster than sound gets the floor 0.5.
float DopplerFactor(const Base::Vector3& n, const Base::Vector3& listenerVelocity,
                    const Base::Vector3& soundVelocity) {
    const float numerator = 1.0f - Base::DotProduct(n, listenerVelocity) / SpeedOfSound;
    const float denominator = 1.0f - Base::DotProduct(n, soundVelocity) / SpeedOfSound;
    if (denominator <= 0.5f) {
        return 2.0f;
    }
    if (numerator <= 0.0f) {
        return 0.5f;
    }
    return std::clamp(numerator / denominator, 0.5f, 2.0f);
}

} // namespace

bool Sound3d::ComputeParameters(const Listener& listener, int32_t& volume, int32_t& pan,
                                int32_t& frequency) const {
    const float reference = std::max(params.referenceDistance, 1e-9f);
    const float maximum =
        params.maximumDistance > reference + 1e-9f ? params.maximumDistance : 10.0f * reference;
    const Base::Vector3 toListener = Subtract(listener.position, params.position);
    const auto distance = static_cast<float>(Base::VectorLength(toListener));
    if (distance >= maximum) {
        return false;
    }
    const Base::Vector3 n = Base::Normalize3d(toListener);
    const Base::Vector3 side = Base::Normalize3d(Base::CrossProduct(listener.up, listener.forward));
    pan = static_cast<int32_t>(std::lround(Base::SignedPow(Base::DotProduct(n, side), 4) * 36 * 100));

    const float gain = std::clamp(group->volume * params.volume, 1e-9f, 1.0f);
    const float halvings = std::max(0.0f, distance / reference - 1.0f);
    volume = VolumeFromGain(std::pow(0.5f, halvings) * gain);

    const float doppler = DopplerFactor(n, listener.velocity, params.velocity);
    const double hertz = std::round(double(rate) * params.frequencyFactor * doppler);
    frequency = hertz <= 100 ? 100 : static_cast<int32_t>(std::min(hertz, 200000.0));
    return true;
}

void Sound3d::Update(float elapsed) {
    if ((state == PlayRequested || state == Playing) && buffer) {
        int32_t volume = 0, pan = 0, frequency = 0;
        if (!ComputeParameters(group->listener, volume, pan, frequency)) {
            BasicSound::Update(elapsed, true);
            return;
        }
        SetControls(buffer, volume, pan, frequency);
    }
    BasicSound::Update(elapsed, false);
}

} // namespace Audio
