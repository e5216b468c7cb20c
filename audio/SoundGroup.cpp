#include "audio/SoundGroup.h"

#include "audio/BasicSound.h"
#include "base/FrameClock.h"

#include <algorithm>
#include <limits>

namespace Audio {

namespace {
// Before the first update: that update always runs and takes no time.
constexpr float NeverUpdated = std::numeric_limits<float>::lowest();
} // namespace

SoundGroup::SoundGroup(float updatesPerSecond)
    : period(updatesPerSecond == 0 ? 0.0f : 1.0f / std::max(updatesPerSecond, 0.1f)),
      lastUpdate(NeverUpdated) {
    UpdateListener();
}

SoundGroup::~SoundGroup() {
    while (!sounds.empty()) {
        delete sounds.front();
    }
}

void SoundGroup::UpdateListener() {
    listener.position = {0, 0, 0};
    listener.forward = {0, 0, 1};
    listener.up = {0, 1, 0};
    listener.velocity = {0, 0, 0};
}

void SoundGroup::Update(bool force) {
    const auto now = static_cast<float>(Base::FrameClock::GameTime);
    if (!force && lastUpdate + period > now) {
        return;
    }
    // The first update would otherwise see the whole range of a float go by.
    const float elapsed = lastUpdate == NeverUpdated ? 0.0f : now - lastUpdate;
    for (auto it = sounds.begin(); it != sounds.end();) {
        BasicSound* sound = *it++; // the sound may delete itself
        sound->Update(elapsed);
    }
    lastUpdate = now;
}

void SoundGroup::SetVolume(float v) {
    volume = v <= 0 ? 0.0f : (v >= 1 ? 1.0f : v);
}

} // namespace Audio
