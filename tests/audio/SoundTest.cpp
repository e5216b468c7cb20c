#include "audio/CreateSound.h"
#include "audio/Device.h"
#include "audio/Sound.h"
#include "audio/Sound3d.h"
#include "audio/SoundGroup.h"
#include "base/FrameClock.h"
#include "base/SoundCache.h"
#include "tests/support/SoundTestSupport.h"

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Advances the game clock by hand, so the groups see exactly the time the test says.
void Advance(double seconds) {
    Base::FrameClock::GameTime += seconds;
}

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Audio::StartDirectSound(nullptr, nullptr));
        Base::SoundCache::Directory = dir.path;
        // 0.2 s of 16-bit mono at 22050 Hz: 8820 bytes.
        ::SoundTest::Shell("sox -n -r 22050 -c 1 -b 16 '" + (dir / "beep.wav") + "' synth 0.2 sine 440");
    }
    void TearDown() override {
        group.reset();
        Base::SoundCache::Clear();
        Audio::StopDirectSound();
    }

    // Steps the group every 10 ms of real and game time until done() holds (at most 5 s).
    template <class Done> bool RunUntil(Done done) {
        for (int i = 0; i < 500; ++i) {
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(10ms);
            Advance(0.01);
            group->Update();
        }
        return done();
    }

    ::SoundTest::TempDir dir;
    std::unique_ptr<Audio::SoundGroup> group = std::make_unique<Audio::SoundGroup>(0.0f);
};

TEST_F(SoundTest, MissingFileGivesNullAndIsNotRetried) {
    EXPECT_EQ(Audio::CreateSound("late.wav", group.get()), nullptr);
    ::SoundTest::Shell("cp '" + (dir / "beep.wav") + "' '" + (dir / "late.wav") + "'");
    EXPECT_EQ(Audio::CreateSound3d("late.wav", group.get()), nullptr);
    EXPECT_TRUE(group->sounds.empty());
}

TEST_F(SoundTest, PlaysToTheEndThenIdles) {
    Audio::Sound* sound = Audio::CreateSound("beep.wav", group.get());
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(sound->state, Audio::BasicSound::Idle);
    EXPECT_EQ(sound->size, 8820u);
    ASSERT_NE(sound->buffer, nullptr);
    sound->state = Audio::BasicSound::PlayRequested;
    group->Update();
    EXPECT_EQ(sound->state, Audio::BasicSound::Playing);
    DWORD status = 0;
    sound->buffer->GetStatus(&status);
    EXPECT_TRUE(status & DSBSTATUS_PLAYING);
    // The end is seen by the update that finds the buffer stopped: finished, and at once idle again.
    ASSERT_TRUE(RunUntil([&] { return sound->state == Audio::BasicSound::Idle; }));
    EXPECT_EQ(sound->position, 0u);
    EXPECT_EQ(group->sounds.size(), 1u);
}

// Shutdown clears the sound cache before the sounds go: a sound keeps its data and plays on.
TEST_F(SoundTest, SoundOutlivesTheCache) {
    Audio::Sound* sound = Audio::CreateSound("beep.wav", group.get());
    ASSERT_NE(sound, nullptr);
    Base::SoundCache::Clear();
    void* data = nullptr;
    DWORD bytes = 0;
    ASSERT_EQ(sound->buffer->Lock(0, 8820, &data, &bytes, nullptr, nullptr, 0), DS_OK);
    std::vector<uint8_t> pcm(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + bytes);
    sound->buffer->Unlock(data, bytes, nullptr, 0);
    const std::vector<uint8_t> file = ::SoundTest::ReadBytes(dir / "beep.wav");
    EXPECT_EQ(pcm, std::vector<uint8_t>(file.begin() + 44, file.end()));
    sound->state = Audio::BasicSound::PlayRequested;
    group->Update();
    EXPECT_EQ(sound->state, Audio::BasicSound::Playing);
    EXPECT_TRUE(RunUntil([&] { return sound->state == Audio::BasicSound::Idle; }));
}

TEST_F(SoundTest, AutoDeleteSoundGoesAfterItsEnd) {
    Audio::Sound* sound = Audio::CreateSound("beep.wav", group.get(), true);
    ASSERT_NE(sound, nullptr);
    sound->state = Audio::BasicSound::PlayRequested;
    EXPECT_TRUE(RunUntil([&] { return group->sounds.empty(); }));

    // Release ends a playing sound at once; an idle one stays.
    Audio::Sound* kept = Audio::CreateSound("beep.wav", group.get(), true);
    kept->Release();
    EXPECT_EQ(group->sounds.size(), 1u);
    kept->state = Audio::BasicSound::Playing;
    kept->Release();
    EXPECT_TRUE(group->sounds.empty());
}

// A pause stops time for the group's sounds: the position stands still however long the pause, a short
// voice does not end meanwhile, and after the pause the buffer plays on from where it stopped.
TEST_F(SoundTest, PausedGroupKeepsThePosition) {
    for (bool loop : {true, false}) {
        SCOPED_TRACE(loop ? "looping" : "once");
        Audio::Sound* sound = Audio::CreateSound("beep.wav", group.get());
        sound->loop = loop;
        sound->state = Audio::BasicSound::PlayRequested;
        group->Update();
        group->paused = 1;
        Advance(0.05);
        group->Update();
        DWORD status = 0;
        sound->buffer->GetStatus(&status);
        EXPECT_FALSE(status & DSBSTATUS_PLAYING);
        EXPECT_EQ(sound->held, 1);
        DWORD stoppedAt = 0;
        sound->buffer->GetCurrentPosition(&stoppedAt, nullptr);
        const uint32_t before = sound->position;
        // Three times the sound's length of pause.
        for (int i = 0; i < 6; ++i) {
            Advance(0.1);
            group->Update();
            ASSERT_EQ(sound->position, before);
            ASSERT_EQ(sound->state, Audio::BasicSound::Playing);
        }
        group->paused = 0;
        Advance(0.01);
        group->Update();
        sound->buffer->GetStatus(&status);
        EXPECT_TRUE(status & DSBSTATUS_PLAYING);
        EXPECT_EQ(sound->held, 0);
        // What plays is the buffer from where it stopped (give or take the few bytes played since).
        EXPECT_LT((sound->position + 8820 - stoppedAt) % 8820, 441u) << "stopped at " << stoppedAt;
        delete sound;
    }
}

// Out of range (not paused) time goes on: the virtual position advances in whole blocks and wraps.
TEST_F(SoundTest, OutOfRangeKeepsTimeWithoutPlaying) {
    Audio::Sound3d* sound = Audio::CreateSound3d("beep.wav", group.get());
    sound->loop = 1;
    sound->params.position = {2000, 0, 0};
    sound->state = Audio::BasicSound::PlayRequested;
    sound->pending = 4000;
    group->Update();
    EXPECT_EQ(sound->held, 1);
    EXPECT_EQ(sound->position, 4000u);
    Advance(0.1); // 2205 frames, 4410 bytes
    group->Update();
    EXPECT_EQ(sound->position, 8410u);
    Advance(0.1);
    group->Update();
    EXPECT_EQ(sound->position, (8410u + 4410) % 8820);
    Advance(0.05); // 2205 bytes, down to a whole block
    group->Update();
    EXPECT_EQ(sound->position, (8410u + 4410 + 2204) % 8820);
    EXPECT_EQ(sound->state, Audio::BasicSound::Playing);
}

// A non-looping sound held longer than its length ends idle at the start without having played.
TEST_F(SoundTest, OutOfRangeLongerThanItsLengthEndsIdle) {
    Audio::Sound3d* sound = Audio::CreateSound3d("beep.wav", group.get());
    sound->params.position = {2000, 0, 0};
    sound->state = Audio::BasicSound::PlayRequested;
    sound->pending = 4001; // rounded down to a whole block
    group->Update();
    EXPECT_EQ(sound->state, Audio::BasicSound::Playing);
    EXPECT_EQ(sound->position, 4000u);
    EXPECT_EQ(sound->held, 1);
    Advance(0.3);
    group->Update();
    EXPECT_EQ(sound->state, Audio::BasicSound::Idle);
    EXPECT_EQ(sound->position, 0u);
    DWORD status = 0;
    sound->buffer->GetStatus(&status);
    EXPECT_FALSE(status & DSBSTATUS_PLAYING);
}

TEST_F(SoundTest, TwoDimensionalControls) {
    Audio::Sound* sound = Audio::CreateSound("beep.wav", group.get());
    sound->loop = 1;
    sound->pan = -2.0f;
    sound->volume = 0.5f;
    sound->frequencyFactor = 2.0f;
    group->SetVolume(0.5f);
    sound->state = Audio::BasicSound::PlayRequested;
    group->Update();
    LONG pan = 0, volume = 0;
    DWORD frequency = 0;
    sound->buffer->GetPan(&pan);
    sound->buffer->GetVolume(&volume);
    sound->buffer->GetFrequency(&frequency);
    EXPECT_EQ(pan, -10000);
    EXPECT_EQ(volume, -1204);
    EXPECT_EQ(frequency, 44100u);
    // Changes of 10 units or less are not passed on.
    sound->frequencyFactor = 2.0f + 10.0f / 22050;
    group->Update();
    sound->buffer->GetFrequency(&frequency);
    EXPECT_EQ(frequency, 44100u);
}

TEST(SoundVolume, HundredthsOfDecibel) {
    EXPECT_EQ(Audio::VolumeFromGain(1.0f), 0);
    EXPECT_EQ(Audio::VolumeFromGain(0.5f), -602);
    EXPECT_EQ(Audio::VolumeFromGain(0.0f), -10000);
    EXPECT_EQ(Audio::VolumeFromGain(2.0f), 0);
}

// Without a device a 3D sound still computes its parameters from a buffer's format.
class Sound3dTest : public ::testing::Test {
protected:
    Sound3dTest() {
        source.Create(4000, 22050, 1, 16);
        sound = new Audio::Sound3d(source, &group);
    }
    bool Compute() { return sound->ComputeParameters(group.listener, volume, pan, frequency); }

    Audio::SoundGroup group{0.0f};
    Audio::Buffer source;
    Audio::Sound3d* sound;
    int32_t volume = 1, pan = 1, frequency = 1;
};

TEST_F(Sound3dTest, DistanceAttenuation) {
    struct Case {
        float distance;
        float groupVolume;
        bool inRange;
        int32_t volume;
    } cases[] = {
        {0, 1, true, 0},       {50, 1, true, 0},      {100, 1, true, 0},   {200, 1, true, -602},
        {300, 1, true, -1204}, {500, 1, true, -2408}, {1000, 1, false, 0}, {100, 0, true, -10000},
    };
    for (const Case& c : cases) {
        sound->params.position = {0, 0, c.distance};
        group.SetVolume(c.groupVolume);
        volume = 1;
        EXPECT_EQ(Compute(), c.inRange) << c.distance;
        if (c.inRange) {
            EXPECT_EQ(volume, c.volume) << c.distance;
        } else {
            EXPECT_EQ(volume, 1) << "outputs untouched";
        }
    }
    sound->params.maximumDistance = 150;
    sound->params.position = {0, 0, 160};
    EXPECT_FALSE(Compute());
    sound->params.maximumDistance = 100; // not above the reference distance: 10 x it
    EXPECT_TRUE(Compute());
}

// The listener faces +Z with +Y up, so +X is on its left: the pan is negative there.
TEST_F(Sound3dTest, PanFollowsTheSide) {
    struct Case {
        Base::Vector3 position;
        int32_t pan;
    } cases[] = {{{50, 0, 0}, -3600}, {{-50, 0, 0}, 3600}, {{0, 0, 50}, 0}, {{50, 0, 50}, -900}};
    for (const Case& c : cases) {
        sound->params.position = c.position;
        ASSERT_TRUE(Compute());
        EXPECT_EQ(pan, c.pan) << c.position.x << " " << c.position.z;
    }
}

TEST_F(Sound3dTest, DopplerTable) {
    // The sound sits ahead of the listener on +Z; positive speeds along -Z close the distance.
    sound->params.position = {0, 0, 500};
    struct Case {
        const char* what;
        float soundSpeed;    // towards the listener
        float listenerSpeed; // away from the sound
        uint32_t frequency;
    } cases[] = {
        {"at rest", 0, 0, 22050},
        {"closing at 110", 110, 0, 33075},
        {"closing at 165", 165, 0, 44100},
        {"closing at the speed of sound", 330, 0, 44100},
        {"closing faster than sound", 660, 0, 44100},
        {"closing far faster than sound", 3000, 0, 44100},
        {"receding at 330", -330, 0, 11025},
        {"receding fast", -5000, 0, 11025},
        {"listener running away at 110", 0, 110, 14700},
        {"listener outrunning the sound", 0, 400, 11025},
        {"listener closing at 165", 0, -165, 33075},
    };
    for (const Case& c : cases) {
        sound->params.velocity = {0, 0, -c.soundSpeed};
        group.listener.velocity = {0, 0, -c.listenerSpeed};
        ASSERT_TRUE(Compute()) << c.what;
        EXPECT_EQ(frequency, int32_t(c.frequency)) << c.what;
    }
    sound->params.velocity = {0, 0, 0};
    group.listener.velocity = {0, 0, 0};
    sound->params.frequencyFactor = 0.001f;
    ASSERT_TRUE(Compute());
    EXPECT_EQ(frequency, 100);
    sound->params.frequencyFactor = 100.0f;
    ASSERT_TRUE(Compute());
    EXPECT_EQ(frequency, 200000);
}

// Counts its updates and the time each one saw.
class CountingSound : public Audio::BasicSound {
public:
    using BasicSound::BasicSound;
    void Update(float elapsed) override {
        ++updates;
        lastElapsed = elapsed;
        if (deleteSelf) {
            delete this;
        }
    }
    int updates = 0;
    float lastElapsed = -1;
    bool deleteSelf = false;
};

TEST(SoundGroupTest, UpdatesAtItsRate) {
    Audio::Buffer none;
    Base::FrameClock::GameTime = 1000.0;
    Audio::SoundGroup everyCall(0.0f), slow(0.05f);
    auto* a = new CountingSound(none, &everyCall);
    auto* b = new CountingSound(none, &slow);
    EXPECT_FLOAT_EQ(slow.period, 10.0f);
    for (int i = 0; i < 3; ++i) {
        everyCall.Update();
        slow.Update();
    }
    EXPECT_EQ(a->updates, 3);
    EXPECT_EQ(b->updates, 1) << "the first update always runs";
    EXPECT_EQ(b->lastElapsed, 0.0f) << "and sees no time go by";
    Base::FrameClock::GameTime = 1009.5;
    slow.Update();
    EXPECT_EQ(b->updates, 1);
    slow.Update(true);
    EXPECT_EQ(b->updates, 2);
    EXPECT_FLOAT_EQ(b->lastElapsed, 9.5f);
    Base::FrameClock::GameTime = 1019.5;
    slow.Update();
    EXPECT_EQ(b->updates, 3);
}

TEST(SoundGroupTest, SoundsMayDeleteThemselvesAndGoWithTheGroup) {
    Audio::Buffer none;
    auto group = std::make_unique<Audio::SoundGroup>(0.0f);
    auto* first = new CountingSound(none, group.get());
    first->deleteSelf = true;
    auto* second = new CountingSound(none, group.get());
    group->Update();
    EXPECT_EQ(second->updates, 1);
    EXPECT_EQ(group->sounds.size(), 1u);
    new CountingSound(none, group.get());
    group.reset(); // deletes the two that are left (the sanitizer build checks that)

    Audio::SoundGroup clamped(10.0f);
    clamped.SetVolume(-1);
    EXPECT_EQ(clamped.volume, 0.0f);
    clamped.SetVolume(2);
    EXPECT_EQ(clamped.volume, 1.0f);
    clamped.SetVolume(0.25f);
    EXPECT_EQ(clamped.volume, 0.25f);
    EXPECT_EQ(clamped.listener.forward, (Base::Vector3{0, 0, 1}));
    EXPECT_EQ(clamped.listener.up, (Base::Vector3{0, 1, 0}));
}

} // namespace
