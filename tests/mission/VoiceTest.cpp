// The sample missions' voice messages: every "Wav" a mission names is there and decodes to the length sox
// reads from the same file, and the VoiceMessage action queues it on the announcer for its length.
#include "tests/mission/MissionFixture.h"
#include "tests/support/SoundTestSupport.h"

#include "gui/Announcer.h"

#include "audio/CreateSound.h"
#include "audio/Device.h"
#include "audio/Sound.h"
#include "audio/SoundGroup.h"
#include "base/SoundCache.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace MissionTest;

namespace {

struct Voice {
    std::string mission, wav, text;
};

void Collect(const Base::Info& node, const std::string& mission, std::vector<Voice>& out) {
    for (const auto& [name, child] : node.GetChildren()) {
        if (child->Value() == "VoiceMessage")
            out.push_back({mission, child->GetStringDefault("Wav", ""), child->GetStringDefault("Text", "")});
        Collect(*child, mission, out);
    }
}

} // namespace

class MissionVoices : public MissionWorld {
protected:
    void SetUp() override {
        MissionWorld::SetUp();
        ASSERT_TRUE(Audio::StartDirectSound(nullptr, nullptr));
        Base::SoundCache::Directory = (data / "Sounds").string();
        world->soundGroup = group.get();
    }
    void TearDown() override {
        world->soundGroup = nullptr;
        group.reset();
        Base::SoundCache::Clear();
        Audio::StopDirectSound();
        MissionWorld::TearDown();
    }
    static std::string FileOf(const std::string& wav) {
        std::string path = wav;
        std::replace(path.begin(), path.end(), '\\', '/');
        return path;
    }

    std::unique_ptr<Audio::SoundGroup> group = std::make_unique<Audio::SoundGroup>(0.0f);
};

TEST_F(MissionVoices, EveryMessageOfTheSampleMissionsIsSpoken) {
    std::vector<Voice> voices;
    // The sample folders only: players' generated missions are not the data tools' to speak.
    for (const char* folder : {"Single", "Training", "Campaign"})
        for (const auto& entry : std::filesystem::directory_iterator(data / "Scripts" / "Missions" / folder))
            if (entry.path().extension() == ".msn") {
                Base::Info tree;
                ASSERT_EQ(tree.LoadFile(entry.path().string()), 0) << entry.path();
                Collect(tree, entry.path().filename().string(), voices);
            }
    ASSERT_GE(voices.size(), 9u);
    for (const Voice& v : voices) {
        SCOPED_TRACE(v.mission + ": " + v.text);
        ASSERT_FALSE(v.wav.empty());
        Audio::Sound* sound = Audio::CreateSound(v.wav, group.get());
        ASSERT_NE(sound, nullptr);
        EXPECT_EQ(sound->channels, 1u);
        EXPECT_EQ(sound->bits, 16u);
        const std::string file = (data / "Sounds" / FileOf(v.wav)).string();
        const uint32_t frames = uint32_t(std::stoul(::SoundTest::Shell("soxi -s '" + file + "'")));
        EXPECT_EQ(sound->rate, uint32_t(std::stoul(::SoundTest::Shell("soxi -r '" + file + "'"))));
        EXPECT_EQ(sound->size, frames * 2);
        // Spoken words, not a click: a second or more for each sentence.
        EXPECT_GT(frames, sound->rate);
        // Not silence: sox finds a voice's level in it.
        const float peak = std::stof(
            ::SoundTest::Shell("sox '" + file + "' -n stat 2>&1 | awk '/Maximum amplitude/ {print $3}'"));
        EXPECT_GT(peak, 0.1f);
        delete sound;
    }
}

TEST_F(MissionVoices, TheActionQueuesTheMessageWithItsSound) {
    Gui::Announcer announcer;
    host.announcer = &announcer;
    Load("");
    auto action =
        Action("VoiceMessage\n{\nSender SenderSystem\nText \"Bandits north, twelve kilometres, closing.\"\n"
               "Wav Voices\\TwoBandits1.wav\n}");
    ASSERT_TRUE(action);
    action->Execute();
    ASSERT_EQ(announcer.queue.size(), 1u);
    const Gui::Announcement& queued = *announcer.queue[0];
    ASSERT_NE(queued.sound, nullptr);
    const uint32_t frames = uint32_t(std::stoul(
        ::SoundTest::Shell("soxi -s '" + (data / "Sounds" / "Voices" / "TwoBandits1.wav").string() + "'")));
    // As long as the words, and a second more.
    EXPECT_FLOAT_EQ(queued.duration, float(frames) / float(queued.sound->rate) + 1.0f);
    host.announcer = nullptr;
}
