#include "audio/Device.h"
#include "audio/MusicPlayer.h"
#include "audio/Sound.h"
#include "audio/SoundGroup.h"
#include "base/FrameClock.h"
#include "base/Info.h"
#include "tests/support/SoundTestSupport.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <optional>
#include <set>
#include <thread>

namespace {

using namespace std::chrono_literals;
using ::SoundTest::Shell;

class MusicPlayerTest : public ::testing::Test {
protected:
    void TearDown() override {
        player.reset();
        group.reset();
        Audio::StopDirectSound();
    }

    // A playlist file in the *.info syntax, read the way the front end reads it.
    std::vector<Base::String> Playlist(const std::vector<std::string>& names) {
        std::string path = dir / "Test.playlist";
        std::ofstream file(path);
        for (size_t i = 0; i < names.size(); ++i) {
            file << "Track" << i + 1 << "\t" << names[i] << "\n";
        }
        file.close();
        Base::Info info;
        EXPECT_EQ(info.LoadFile(path), 0);
        std::vector<Base::String> tracks;
        info.CollectValues(tracks);
        return tracks;
    }

    // Frames of 10 ms: the group, then the music, as the games' ticks do. While recording, each frame is
    // 10 ms of sound; otherwise the device plays on in time.
    void Frame() {
        Base::FrameClock::GameTime += 0.01;
        group->Update();
        player->Update();
        if (recording)
            recording->Advance(0.01);
        else
            std::this_thread::sleep_for(10ms);
    }

    ::SoundTest::TempDir dir;
    std::optional<::SoundTest::Recording> recording;
    std::unique_ptr<Audio::SoundGroup> group = std::make_unique<Audio::SoundGroup>(0.0f);
    std::unique_ptr<Audio::MusicPlayer> player;
};

// Two tracks, each a tone of its own, play one after the other to their very last sample, with no gap
// to speak of between them.
TEST_F(MusicPlayerTest, TwoTracksPlayGapFreeToTheEnd) {
    recording.emplace(dir);
    ASSERT_TRUE(Audio::StartDirectSound(nullptr, nullptr));
    Shell("sox -n -r 44100 -c 2 -b 16 '" + (dir / "a.wav") + "' synth 1.5 sine 440 gain -6");
    Shell("sox -n -r 22050 -c 1 -b 16 '" + (dir / "b.wav") + "' synth 1.0 sine 660 gain -6");
    Shell("oggenc -Q -q 4 -o '" + (dir / "a.ogg") + "' '" + (dir / "a.wav") + "'");
    player = std::make_unique<Audio::MusicPlayer>(group.get(), Playlist({dir / "a.ogg", dir / "b.wav"}));
    ASSERT_EQ(player->tracks.size(), 2u);
    player->playsRemaining = 2;
    player->Update();
    ASSERT_NE(player->sound, nullptr);
    EXPECT_EQ(player->sound->size, 3u * 44100 * 4) << "a three-second ring";
    for (int i = 0; i < 600 && player->playsRemaining != 0; ++i) {
        Frame();
    }
    EXPECT_EQ(player->playsRemaining, 0);
    EXPECT_EQ(player->sound, nullptr);
    EXPECT_EQ(player->currentTrack, 1u);
    player.reset();
    group.reset();
    Audio::StopDirectSound();

    const std::string heard = recording->Write();
    std::vector<int16_t> left = ::SoundTest::ChannelSamples(dir, heard, 1);
    auto loud = [&](size_t from, size_t count) {
        double sum = 0;
        for (size_t i = from; i < from + count; ++i) {
            sum += double(left[i]) * left[i];
        }
        return std::sqrt(sum / count) > 1000;
    };
    const size_t window = 441; // 10 ms
    std::vector<bool> sounding;
    for (size_t at = 0; at + window <= left.size(); at += window) {
        sounding.push_back(loud(at, window));
    }
    auto first = std::find(sounding.begin(), sounding.end(), true);
    auto last = std::find(sounding.rbegin(), sounding.rend(), true).base();
    ASSERT_NE(first, sounding.end());
    // All 2.5 s of music are heard, and the switch between the tracks takes no more than a few frames.
    // A window that touches a track's first or last sample counts whole: up to four more than the music.
    const double soundingSeconds = std::count(first, last, true) * 0.01;
    EXPECT_GE(soundingSeconds, 2.48);
    EXPECT_LE(soundingSeconds, 2.55);
    size_t longestGap = 0, gap = 0;
    for (auto it = first; it != last; ++it) {
        gap = *it ? 0 : gap + 1;
        longestGap = std::max(longestGap, gap);
    }
    EXPECT_LE(longestGap, 6u) << "windows of 10 ms";
    // The tones in their order: 440 Hz, then the second track's 660 Hz to its end.
    const double start = (first - sounding.begin()) * 0.01;
    EXPECT_NEAR(::SoundTest::SoxStat(heard, "remix 1 trim " + std::to_string(start + 0.2) + " 1",
                                     "Rough   frequency"),
                440, 10);
    EXPECT_NEAR(::SoundTest::SoxStat(heard, "remix 1 trim " + std::to_string(start + 1.6) + " 0.8",
                                     "Rough   frequency"),
                660, 10);
}

TEST_F(MusicPlayerTest, MissingTracksHalt) {
    ASSERT_TRUE(Audio::StartDirectSound(nullptr, nullptr));
    player =
        std::make_unique<Audio::MusicPlayer>(group.get(), Playlist({dir / "none1.ogg", dir / "none2.ogg"}));
    player->playsRemaining = -1;
    ::testing::internal::CaptureStderr();
    player->Update();
    EXPECT_EQ(player->playsRemaining, -1) << "the first update only fails to start";
    player->Update();
    EXPECT_EQ(player->playsRemaining, 0);
    EXPECT_EQ(player->sound, nullptr);
    EXPECT_TRUE(group->sounds.empty());
    // Each track is named once, though the first was tried twice.
    const std::string said = ::testing::internal::GetCapturedStderr();
    for (const char* name : {"none1.ogg", "none2.ogg"}) {
        const std::string line = "Cannot play the music track '" + (dir / name) + "'.\n";
        EXPECT_NE(said.find(line), std::string::npos) << said;
        EXPECT_EQ(said.find(line, said.find(line) + 1), std::string::npos) << said;
    }
}

TEST_F(MusicPlayerTest, OnePlayStopsAfterTheFirstTrack) {
    ASSERT_TRUE(Audio::StartDirectSound(nullptr, nullptr));
    Shell("sox -n -r 8000 -c 1 -b 8 '" + (dir / "short.wav") + "' synth 0.2 sine 300");
    player =
        std::make_unique<Audio::MusicPlayer>(group.get(), Playlist({dir / "short.wav", dir / "short.wav"}));
    player->playsRemaining = 1;
    player->SetVolume(3.0f);
    EXPECT_EQ(player->volume, 1.0f);
    player->SetVolume(0.5f);
    Frame();
    Frame();
    ASSERT_NE(player->sound, nullptr);
    EXPECT_EQ(player->sound->volume, 0.5f);
    EXPECT_EQ(player->sound->size, 3u * 8000);
    for (int i = 0; i < 300 && player->playsRemaining != 0; ++i) {
        Frame();
    }
    EXPECT_EQ(player->playsRemaining, 0);
    EXPECT_EQ(player->currentTrack, 0u);
    EXPECT_TRUE(group->sounds.empty());
}

// A track whose last page claims about 2^40 frames streams through a ring of the usual three seconds and
// ends where its data ends: the claim sizes nothing and keeps nothing playing.
TEST_F(MusicPlayerTest, AnOggLengthClaimSizesNothingAndEndsWithTheData) {
    ASSERT_TRUE(Audio::StartDirectSound(nullptr, nullptr));
    Shell("sox -n -r 8000 -c 1 -b 16 '" + (dir / "tone.wav") + "' synth 0.2 sine 300");
    Shell("oggenc -Q -o '" + (dir / "long.ogg") + "' '" + (dir / "tone.wav") + "'");
    std::vector<uint8_t> bytes = ::SoundTest::ReadBytes(dir / "long.ogg");
    ASSERT_TRUE(::SoundTest::ForgeOggLength(bytes));
    ::SoundTest::WriteBytes(dir / "long.ogg", bytes);
    player = std::make_unique<Audio::MusicPlayer>(group.get(), Playlist({dir / "long.ogg"}));
    player->playsRemaining = 1;
    Frame();
    ASSERT_NE(player->sound, nullptr);
    EXPECT_EQ(player->sound->size, 3u * 8000 * 2);
    for (int i = 0; i < 300 && player->playsRemaining != 0; ++i) {
        Frame();
    }
    EXPECT_EQ(player->playsRemaining, 0);
    EXPECT_TRUE(group->sounds.empty());
}

// Endless play goes round the playlist: here one track, over and over.
TEST_F(MusicPlayerTest, EndlessPlayStartsTheTrackAgain) {
    ASSERT_TRUE(Audio::StartDirectSound(nullptr, nullptr));
    Shell("sox -n -r 8000 -c 1 -b 16 '" + (dir / "loop.wav") + "' synth 0.15 sine 300");
    player = std::make_unique<Audio::MusicPlayer>(group.get(), Playlist({dir / "loop.wav"}));
    player->playsRemaining = -1;
    int ends = 0;
    for (int i = 0; i < 300 && ends < 2; ++i) {
        Frame();
        if (player->stream && player->stream->state == Audio::MusicPlayer::Ended) {
            ++ends;
        }
    }
    EXPECT_EQ(ends, 2);
    Frame();
    ASSERT_NE(player->stream, nullptr);
    EXPECT_EQ(player->stream->state, Audio::MusicPlayer::Streaming) << "and starts again";
    EXPECT_EQ(player->playsRemaining, -1);
    EXPECT_EQ(group->sounds.size(), 1u);
}

// Without a sound device the tracks are opened and the states kept, but nothing plays.
TEST_F(MusicPlayerTest, SilentWithoutADevice) {
    Shell("sox -n -r 8000 -c 1 -b 16 '" + (dir / "t.wav") + "' synth 0.1 sine 300");
    player = std::make_unique<Audio::MusicPlayer>(group.get(), Playlist({dir / "t.wav"}));
    player->playsRemaining = -1;
    for (int i = 0; i < 5; ++i) {
        group->Update();
        player->Update();
    }
    ASSERT_NE(player->sound, nullptr);
    EXPECT_EQ(player->sound->buffer, nullptr);
    EXPECT_EQ(player->sound->size, 48000u);
    player->Halt();
    EXPECT_EQ(player->playsRemaining, 0);
    EXPECT_TRUE(group->sounds.empty());
}

TEST(MusicShuffle, EachRoundIsAPermutation) {
    Audio::SoundGroup group(0.0f);
    Audio::MusicPlayer player(&group, {"a", "b", "c"});
    player.shuffle = 1;
    std::set<std::vector<uint32_t>> seen;
    for (int round = 0; round < 20; ++round) {
        std::vector<uint32_t> order;
        for (int i = 0; i < 3; ++i) {
            order.push_back(player.NextTrack());
        }
        seen.insert(order);
        std::sort(order.begin(), order.end());
        EXPECT_EQ(order, (std::vector<uint32_t>{0, 1, 2})) << "round " << round;
    }
    EXPECT_GT(seen.size(), 1u) << "the order is drawn anew";

    player.shuffle = 0;
    player.currentTrack = 2;
    EXPECT_EQ(player.NextTrack(), 0u);
}

} // namespace
