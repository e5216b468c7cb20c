// What the sounds sound like: OpenAL's wave-file output records the mix, and sox measures it.
#include "audio/CreateSound.h"
#include "audio/Device.h"
#include "audio/Sound.h"
#include "audio/Sound3d.h"
#include "audio/SoundGroup.h"
#include "base/FrameClock.h"
#include "base/SoundCache.h"
#include "tests/support/SoundTestSupport.h"

#include <functional>
#include <optional>

namespace {

using ::SoundTest::Shell;
using ::SoundTest::SoxStat;

constexpr double SegmentSeconds = 0.6;

class SoundRecordingTest : public ::testing::Test {
protected:
    void SetUp() override {
        recording.emplace(dir);
        Shell("sox -n -r 22050 -c 1 -b 16 '" + (dir / "tone.wav") + "' synth 1 sine 440 gain -6");
        ASSERT_TRUE(Audio::StartDirectSound(nullptr, nullptr));
        Base::SoundCache::Directory = dir.path;
        group = std::make_unique<Audio::SoundGroup>(0.0f);
    }

    // Loops the sound through the given number of segments, calling set(i) as each begins, then closes
    // the device so that the recording is complete.
    void Play(Audio::BasicSound* sound, int segments, const std::function<void(int)>& set) {
        sound->loop = 1;
        sound->state = Audio::BasicSound::PlayRequested;
        // Frames of 10 ms of game time and of sound alike.
        for (int segment = 0; segment < segments; ++segment) {
            set(segment);
            for (long frame = 0; frame < std::lround(SegmentSeconds / 0.01); ++frame) {
                Base::FrameClock::GameTime += 0.01;
                group->Update();
                recording->Advance(0.01);
            }
        }
        group.reset();
        Base::SoundCache::Clear();
        Audio::StopDirectSound();
        heard = recording->Write();
        // Where the sound begins in the recording.
        std::vector<int16_t> left = ::SoundTest::ChannelSamples(dir, heard, 1);
        std::vector<int16_t> right = ::SoundTest::ChannelSamples(dir, heard, 2);
        size_t first = 0;
        while (first < left.size() && std::abs(left[first]) < 300 && std::abs(right[first]) < 300) {
            ++first;
        }
        ASSERT_LT(first, left.size()) << "nothing was heard";
        onset = first / 44100.0;
    }

    // The middle of a segment, clear of the moments where the parameters change.
    double Measure(int channel, int segment, const std::string& key) {
        const double start = onset + segment * SegmentSeconds + 0.15;
        return SoxStat(heard, "remix " + std::to_string(channel) + " trim " + std::to_string(start) + " 0.35",
                       key);
    }

    ::SoundTest::TempDir dir;
    std::optional<::SoundTest::Recording> recording;
    std::string heard;
    std::unique_ptr<Audio::SoundGroup> group;
    double onset = 0;
};

TEST_F(SoundRecordingTest, TwiceTheReferenceDistanceIsHalfTheLevel) {
    Audio::Sound3d* sound = Audio::CreateSound3d("tone.wav", group.get());
    ASSERT_NE(sound, nullptr);
    Play(sound, 2, [&](int segment) { sound->params.position = {0, 0, segment == 0 ? 100.0f : 200.0f}; });
    const double near = Measure(1, 0, "RMS     amplitude");
    const double far = Measure(1, 1, "RMS     amplitude");
    EXPECT_NEAR(near, 0.5 / std::sqrt(2.0), 0.02);
    EXPECT_NEAR(far / near, 0.5, 0.02);
    EXPECT_NEAR(Measure(2, 1, "RMS     amplitude") / far, 1.0, 0.02) << "straight ahead: both sides alike";
}

// +X is the listener's left: a sound there is heard on the left, the right side 36 dB down.
TEST_F(SoundRecordingTest, PanSign) {
    Audio::Sound3d* sound = Audio::CreateSound3d("tone.wav", group.get());
    ASSERT_NE(sound, nullptr);
    Play(sound, 2, [&](int segment) { sound->params.position = {segment == 0 ? 50.0f : -50.0f, 0, 0}; });
    const double quiet = std::pow(10.0, -3600 / 2000.0);
    EXPECT_NEAR(Measure(2, 0, "RMS     amplitude") / Measure(1, 0, "RMS     amplitude"), quiet, 0.005);
    EXPECT_NEAR(Measure(1, 1, "RMS     amplitude") / Measure(2, 1, "RMS     amplitude"), quiet, 0.005);
}

TEST_F(SoundRecordingTest, FrequencyFactorTwoDoublesThePitch) {
    Audio::Sound* sound = Audio::CreateSound("tone.wav", group.get());
    ASSERT_NE(sound, nullptr);
    Play(sound, 2, [&](int segment) { sound->frequencyFactor = segment == 0 ? 1.0f : 2.0f; });
    const double normal = Measure(1, 0, "Rough   frequency");
    EXPECT_NEAR(normal, 440, 8);
    EXPECT_NEAR(Measure(1, 1, "Rough   frequency") / normal, 2.0, 0.04);
}

} // namespace
