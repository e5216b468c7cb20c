// The generated sample data as the game reads it: every sound decodes, and the playlists name music that
// decodes too.
#include "audio/Decoder.h"
#include "base/Info.h"
#include "platform/win32/Files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace {

const std::filesystem::path DataRoot = std::filesystem::path(CORVANE_BINARY_DIR) / "data";

std::unique_ptr<Audio::Decoder> Decode(const std::string& path, std::ifstream& file) {
    file.open(Win32::NativePath(path), std::ios::binary);
    return std::unique_ptr<Audio::Decoder>(Audio::OpenDecoder(file));
}

TEST(SampleSounds, EverySoundDecodes) {
    const std::filesystem::path sounds = DataRoot / "Data" / "Sounds";
    ASSERT_TRUE(std::filesystem::is_directory(sounds)) << "build the sample_data target first";
    int count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(sounds)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        std::ifstream file;
        auto decoder = Decode(entry.path().string(), file);
        ASSERT_TRUE(decoder) << entry.path();
        EXPECT_EQ(decoder->sampleRate, 22050u) << entry.path();
        EXPECT_EQ(decoder->channels, 1u) << "3D sounds are mono: " << entry.path();
        EXPECT_GT(decoder->dataSize, 0u);
        ++count;
    }
    EXPECT_GE(count, 30);
    // Names that the game asks for, in the letter case it writes them.
    for (const char* name : {"Airplanes\\F16_Engine.wav", "Airplanes\\Su27_EngineAb.wav", "Gun.wav",
                             "Wheels.wav", "ExplosionNear.wav", "CockpitWarning2.wav", "SolidRicochet6.wav",
                             "Gui\\Announce.wav", "Gui\\Hover.wav", "Gui\\Click.wav"}) {
        EXPECT_TRUE(Win32::FileExists((DataRoot / "Data" / "Sounds").string() + "\\" + name)) << name;
    }
}

TEST(SampleSounds, PlaylistsNameMusicThatDecodes) {
    for (const char* playlist : {"Frontend.playlist", "Game.playlist"}) {
        Base::Info info;
        ASSERT_EQ(info.LoadFile((DataRoot / "Data" / "Music" / playlist).string()), 0) << playlist;
        std::vector<Base::String> tracks;
        info.CollectValues(tracks);
        ASSERT_EQ(tracks.size(), 2u) << playlist;
        for (const Base::String& track : tracks) {
            // Track names are relative to the data root, where the game runs.
            std::ifstream file;
            auto decoder = Decode(DataRoot.string() + "\\" + track, file);
            ASSERT_TRUE(decoder) << track;
            EXPECT_EQ(decoder->channels, 2u);
            EXPECT_EQ(decoder->sampleRate, 44100u);
            EXPECT_GT(decoder->dataSize, 44100u * 4 * 20) << "at least 20 seconds";
        }
    }
}

} // namespace
