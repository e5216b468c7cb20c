#include "base/AnimationCache.h"
#include "base/CacheLoaders.h"
#include "base/ClumpCache.h"
#include "base/FontCache.h"
#include "base/Info.h"
#include "base/InfoCache.h"
#include "base/SoundCache.h"
#include "platform/win32/Files.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <functional>
#include <fstream>
#include <unistd.h>
#include <vector>

// Test doubles of the higher layers' types: the caches only pass pointers to them around.
struct RpClump {
    std::string path;
    bool master = true;
};
struct RtAnimAnimation {
    std::string path;
};
namespace Gui {
class Font {
public:
    std::string texture;
};
} // namespace Gui
namespace Audio {
class Buffer {
public:
    std::string path;
};
} // namespace Audio

namespace {

// What the doubles were asked to do, and how many of their objects are alive.
struct Calls {
    std::vector<std::string> reads;
    int alive = 0;
};
Calls calls;

template <class T> T* ReadIfExists(const Base::String& path) {
    calls.reads.push_back(path);
    if (!Win32::FileExists(path)) {
        return nullptr;
    }
    ++calls.alive;
    return new T{path};
}
template <class T> void Free(T* object) {
    --calls.alive;
    delete object;
}
RpClump* CloneClump(RpClump* master) {
    ++calls.alive;
    return new RpClump{master->path, false};
}
Gui::Font* LoadFont(const Base::Info& description) {
    ++calls.alive;
    auto* font = new Gui::Font;
    font->texture = description.GetStringDefault("Texture", "");
    return font;
}

class ResourceCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("corvane-caches-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir / "Data");
        Write("Data/tank.dff", "model");
        Write("Data/walk.anm", "animation");
        Write("Data/beep.wav", "sound");
        Write("Data/Small.font", "Texture small\n");
        Write("Data/broken.info", "{\n");
        calls = {};
        // Directories as the strings file gives them: '\' separated, with or without a final '\'.
        Base::String data = dir.string() + "\\Data";
        Base::ClumpCache::Directory = data + "\\";
        Base::AnimationCache::Directory = data;
        Base::SoundCache::Directory = data;
        Base::FontCache::Directory = data;
        Base::ClumpCache::Read = ReadIfExists<RpClump>;
        Base::ClumpCache::Clone = CloneClump;
        Base::ClumpCache::Destroy = Free<RpClump>;
        Base::AnimationCache::Read = ReadIfExists<RtAnimAnimation>;
        Base::AnimationCache::Destroy = Free<RtAnimAnimation>;
        Base::SoundCache::Load = ReadIfExists<Audio::Buffer>;
        Base::SoundCache::DeleteBuffer = Free<Audio::Buffer>;
        Base::FontCache::Load = LoadFont;
        Base::FontCache::Delete = Free<Gui::Font>;
    }
    void TearDown() override {
        // The shutdown order.
        Base::FontCache::Clear();
        Base::InfoCache::Clear();
        Base::ClumpCache::Clear();
        Base::AnimationCache::Clear();
        Base::SoundCache::Clear();
        EXPECT_EQ(calls.alive, 0);
        std::filesystem::remove_all(dir);
        Win32::FlushPathCache();
    }
    void Write(const std::string& name, const std::string& text) { std::ofstream(dir / name) << text; }
    Base::String GamePath(const std::string& name) const { return dir.string() + "\\Data\\" + name; }

    std::filesystem::path dir;
};

// Each cache: the second Get shares the first read, a name in another letter case still finds the file,
// and a missing file is tried once.
TEST_F(ResourceCacheTest, EachCacheReadsOnceAndShares) {
    struct Case {
        const char* cache;
        std::function<void*(const char*)> get;
        const char* name;
        const char* otherCase;
    };
    const Case cases[] = {
        {"animations", [](const char* n) -> void* { return Base::AnimationCache::Get(n); }, "walk.anm",
         "WALK.anm"},
        {"sounds", [](const char* n) -> void* { return Base::SoundCache::Get(n); }, "beep.wav", "Beep.WAV"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cache);
        calls.reads.clear();
        void* first = c.get(c.name);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(c.get(c.name), first);
        EXPECT_NE(c.get(c.otherCase), nullptr);
        EXPECT_EQ(c.get("missing.bin"), nullptr);
        EXPECT_EQ(c.get("missing.bin"), nullptr);
        EXPECT_EQ(calls.reads, (std::vector<std::string>{GamePath(c.name), GamePath(c.otherCase),
                                                         GamePath("missing.bin")}));
    }
}

// A file that does not load leaves a hole in the scene or a silence: each is said once, with its path, as
// the failure is kept. What loads says nothing.
TEST_F(ResourceCacheTest, AFailedLoadIsSaidOnceWithItsPath) {
    ::testing::internal::CaptureStderr();
    for (int twice = 0; twice < 2; ++twice) {
        EXPECT_EQ(Base::ClumpCache::Get("none.dff"), nullptr);
        EXPECT_EQ(Base::AnimationCache::Get("none.anm"), nullptr);
        EXPECT_EQ(Base::SoundCache::Get("none.wav"), nullptr);
        EXPECT_NE(Base::SoundCache::Get("beep.wav"), nullptr);
        EXPECT_NE(Base::AnimationCache::Get("walk.anm"), nullptr);
    }
    const std::string said = ::testing::internal::GetCapturedStderr();
    for (const auto& [kind, name] : {std::pair{"model", "none.dff"}, std::pair{"animation", "none.anm"},
                                     std::pair{"sound", "none.wav"}}) {
        const std::string line = std::string("Cannot load the ") + kind + " '" + GamePath(name) + "'.\n";
        EXPECT_NE(said.find(line), std::string::npos) << said;
        EXPECT_EQ(said.find(line, said.find(line) + 1), std::string::npos) << "once: " << kind;
    }
    EXPECT_EQ(said.find("beep"), std::string::npos) << said;
    EXPECT_EQ(said.find("walk"), std::string::npos) << said;
    // After a clear the file is tried, and said, again.
    Base::ClumpCache::Clear();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Base::ClumpCache::Get("none.dff"), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Cannot load the model '" + GamePath("none.dff") + "'.\n");
}

TEST_F(ResourceCacheTest, ClumpsAreClonesOfOneMaster) {
    RpClump* a = Base::ClumpCache::Get("tank.dff");
    RpClump* b = Base::ClumpCache::Get("tank.dff");
    ASSERT_TRUE(a && b);
    EXPECT_NE(a, b);
    EXPECT_FALSE(a->master);
    EXPECT_EQ(a->path, GamePath("tank.dff")); // no doubled '\' after the directory
    Free(a);                                  // the caller's clone; the master stays
    RpClump* c = Base::ClumpCache::Get("tank.dff");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->path, GamePath("tank.dff"));
    Free(b);
    Free(c);
    EXPECT_EQ(Base::ClumpCache::Get("none.dff"), nullptr);
    EXPECT_EQ(Base::ClumpCache::Get("none.dff"), nullptr);
    EXPECT_EQ(calls.reads, (std::vector<std::string>{GamePath("tank.dff"), GamePath("none.dff")}));
    EXPECT_EQ(calls.alive, 1); // the master
}

TEST_F(ResourceCacheTest, InfoCacheSharesTreesAndGivesAnEmptyNodeForFailures) {
    const Base::Info& font = Base::InfoCache::Get(GamePath("Small.font"));
    EXPECT_EQ(&Base::InfoCache::Get(GamePath("Small.font")), &font);
    EXPECT_EQ(font.GetStringDefault("Texture", ""), "small");
    EXPECT_EQ(Base::InfoCache::Get(GamePath("SMALL.FONT")).GetStringDefault("Texture", ""), "small");

    const Base::Info& missing = Base::InfoCache::Get(GamePath("missing.info"));
    const Base::Info& broken = Base::InfoCache::Get(GamePath("broken.info"));
    EXPECT_EQ(&missing, &broken);
    EXPECT_TRUE(missing.GetChildren().empty());
    // Remembered as missing, until removed.
    Write("Data/missing.info", "Key value\n");
    Win32::FlushPathCache();
    EXPECT_TRUE(Base::InfoCache::Get(GamePath("missing.info")).GetChildren().empty());
    EXPECT_TRUE(Base::InfoCache::Remove(GamePath("missing.info")));
    EXPECT_FALSE(Base::InfoCache::Remove(GamePath("missing.info")));
    EXPECT_EQ(Base::InfoCache::Get(GamePath("missing.info")).GetStringDefault("Key", ""), "value");
}

TEST_F(ResourceCacheTest, FontsAreBuiltFromTheCachedDescription) {
    Gui::Font* font = Base::FontCache::Get("Small.font");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->texture, "small");
    EXPECT_EQ(Base::FontCache::Get("Small.font"), font);
    EXPECT_EQ(Base::InfoCache::Entries.count(GamePath("Small.font")), 1u);
    // A missing file still gives a font, built from the empty description.
    Gui::Font* empty = Base::FontCache::Get("none.font");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->texture, "");
    EXPECT_EQ(calls.alive, 2);
}

TEST_F(ResourceCacheTest, ClearFreesEverythingAndLeavesTheCacheUsable) {
    EXPECT_NE(Base::AnimationCache::Get("walk.anm"), nullptr);
    Free(Base::ClumpCache::Get("tank.dff"));
    EXPECT_NE(Base::SoundCache::Get("beep.wav"), nullptr);
    EXPECT_NE(Base::FontCache::Get("Small.font"), nullptr);
    EXPECT_EQ(calls.alive, 4);
    Base::AnimationCache::Clear();
    Base::ClumpCache::Clear();
    Base::SoundCache::Clear();
    Base::FontCache::Clear();
    Base::InfoCache::Clear();
    EXPECT_EQ(calls.alive, 0);
    EXPECT_TRUE(Base::InfoCache::Entries.empty());
    calls.reads.clear();
    EXPECT_NE(Base::AnimationCache::Get("walk.anm"), nullptr);
    EXPECT_EQ(calls.reads.size(), 1u); // read again after the clear
}

TEST_F(ResourceCacheTest, WithoutAnInstalledReaderNothingIsRememberedAndEachCacheSaysSoOnce) {
    Base::ClumpCache::Read = nullptr;
    Base::AnimationCache::Read = nullptr;
    Base::SoundCache::Load = nullptr;
    Base::FontCache::Load = nullptr;
    EXPECT_EQ(Base::CachesWithoutLoader(), (std::vector<std::string>{"font", "model", "animation", "sound"}));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Base::ClumpCache::Get("tank.dff"), nullptr);
    EXPECT_EQ(Base::AnimationCache::Get("walk.anm"), nullptr);
    EXPECT_EQ(Base::SoundCache::Get("beep.wav"), nullptr);
    EXPECT_EQ(Base::FontCache::Get("Small.font"), nullptr);
    EXPECT_EQ(Base::ClumpCache::Get("jeep.dff"), nullptr);
    const std::string said = ::testing::internal::GetCapturedStderr();
    for (const char* cache : {"model", "animation", "sound", "font"}) {
        const std::string line = std::string("The ") + cache + " cache has no loader installed";
        EXPECT_NE(said.find(line), std::string::npos) << said;
        EXPECT_EQ(said.find(line, said.find(line) + 1), std::string::npos) << "once: " << cache;
    }
    EXPECT_FALSE(Base::ReportMissingLoader("model")) << "already said";
    EXPECT_TRUE(Base::ClumpCache::Entries.empty() && Base::AnimationCache::Entries.empty() &&
                Base::SoundCache::Entries.empty() && Base::FontCache::Entries.empty());
    Base::AnimationCache::Read = ReadIfExists<RtAnimAnimation>;
    EXPECT_NE(Base::AnimationCache::Get("walk.anm"), nullptr);
}

// A registered hook is listed, by name, while it is not installed, and said once.
bool testHookInstalled = false;
const Base::HookRegistration testHook("Test::Hook", [] { return testHookInstalled; });

TEST(Hooks, AHookNotInstalledIsListedAndSaidOnce) {
    auto listed = [] {
        const std::vector<std::string> missing = Base::HooksNotInstalled();
        EXPECT_TRUE(std::is_sorted(missing.begin(), missing.end()));
        return std::count(missing.begin(), missing.end(), "Test::Hook");
    };
    testHookInstalled = false;
    EXPECT_EQ(listed(), 1);
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(Base::ReportMissingHook("Test::Hook"));
    EXPECT_FALSE(Base::ReportMissingHook("Test::Hook"));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "The hook Test::Hook is not installed: what calls it does nothing.\n");
    testHookInstalled = true;
    EXPECT_EQ(listed(), 0);
}

} // namespace
