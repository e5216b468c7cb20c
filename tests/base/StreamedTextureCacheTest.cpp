#include "base/StreamedTextureCache.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <thread>
#include <unistd.h>

// A test double of the engine's texture: what the cache handed over.
struct RwTexture {
    uint32_t side;
    std::vector<uint8_t> data;
};

namespace {

using Base::AsyncLoader;
using Cache = Base::StreamedTextureCache;
using namespace std::chrono_literals;

int alive = 0;
bool failCreate = false;

RwTexture* CreateTexture(uint32_t side, const uint8_t* data, uint32_t size) {
    if (failCreate) {
        return nullptr;
    }
    ++alive;
    return new RwTexture{side, std::vector<uint8_t>(data, data + size)};
}
void DestroyTexture(RwTexture* texture) {
    --alive;
    delete texture;
}

// Holds every read up until it is let go.
std::mutex gateMutex;
std::condition_variable gateChanged;
bool gateClosed = false;
int gateEntered = 0;
bool GatedRead(const Base::String& name, uint32_t offset, uint32_t size, void* buffer) {
    {
        std::unique_lock lock(gateMutex);
        ++gateEntered;
        gateChanged.notify_all();
        gateChanged.wait(lock, [] { return !gateClosed; });
    }
    return AsyncLoader::ReadFileRange(name, offset, size, buffer);
}

// Total bytes of the 512 x 512 DXT1 file with its ten levels: header, then 8-byte blocks per level.
constexpr uint32_t FileBytes = 128 + 131072 + 32768 + 8192 + 2048 + 512 + 128 + 32 + 8 + 8 + 8;

class StreamedTextureCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("corvane-streamed-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        // Every byte tells its position, so a wrong offset shows in the data.
        std::ofstream out(dir / "ground.dds", std::ios::binary);
        for (uint32_t i = 0; i < FileBytes; ++i) {
            out.put(char(i % 251));
        }
        out.close();
        alive = 0;
        failCreate = false;
        Cache::CreateTexture = CreateTexture;
        Cache::DestroyTexture = DestroyTexture;
        AsyncLoader::Start();
    }
    void TearDown() override {
        Open();
        EXPECT_TRUE(Cache::Entries.empty());
        EXPECT_EQ(alive, 0);
        AsyncLoader::Stop();
        AsyncLoader::ReadRange = AsyncLoader::ReadFileRange;
        EXPECT_EQ(AsyncLoader::RequestCount(), 0u);
        std::filesystem::remove_all(dir);
    }
    Base::String Ground() const { return dir.string() + "\\GROUND.dds"; }
    // Runs the per-frame update until the entry's read has ended one way or the other.
    static bool UpdateUntilDone(const Cache::Entry* entry) {
        for (int i = 0; i < 10000; ++i) {
            Cache::Update();
            if (entry->texture || (entry->read && entry->read->state == AsyncLoader::Failed)) {
                return true;
            }
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }
    static void Close() {
        std::lock_guard lock(gateMutex);
        gateClosed = true;
        gateEntered = 0;
    }
    static void Open() {
        std::lock_guard lock(gateMutex);
        gateClosed = false;
        gateChanged.notify_all();
    }
    static void WaitEntered() {
        std::unique_lock lock(gateMutex);
        ASSERT_TRUE(gateChanged.wait_for(lock, 10s, [] { return gateEntered > 0; }));
    }

    std::filesystem::path dir;
};

TEST_F(StreamedTextureCacheTest, ReadsTheMipChainFromTheRequestedLevel) {
    struct Case {
        uint32_t level, offset, size;
    };
    // Offsets and sizes worked out by hand from the DXT1 level sizes.
    const Case cases[] = {
        {0, 128, 174776}, {1, 131200, 43704}, {2, 163968, 10936}, {8, 174888, 16}, {9, 174896, 8}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        Cache::Entry* entry = Cache::Request(Ground(), c.level, 0);
        ASSERT_TRUE(UpdateUntilDone(entry));
        ASSERT_NE(entry->texture, nullptr);
        EXPECT_EQ(entry->texture->side, 512u >> c.level);
        ASSERT_EQ(entry->texture->data.size(), c.size);
        EXPECT_EQ(entry->texture->data.front(), c.offset % 251);
        EXPECT_EQ(entry->texture->data.back(), (c.offset + c.size - 1) % 251);
        EXPECT_EQ(entry->read, nullptr);
        Cache::Release(entry);
    }
    EXPECT_EQ(Cache::LevelCount(512), 10u);
}

// Released entries and read buffers are reused: each new entry still reads its own file at its own level,
// whether the reused buffer was larger or smaller and the reused key's name shorter or longer.
TEST_F(StreamedTextureCacheTest, ReusedEntriesReadTheirOwnFileAndLevel) {
    std::filesystem::copy_file(dir / "ground.dds", dir / "ground-with-a-longer-name.dds");
    const Base::String longer = dir.string() + "\\Ground-With-A-Longer-Name.dds";
    struct Case {
        bool longName;
        uint32_t level, offset, size;
    } cases[] = {
        {false, 9, 174896, 8}, {true, 0, 128, 174776}, {false, 2, 163968, 10936}, {true, 1, 131200, 43704}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        Cache::Entry* entry = Cache::Request(c.longName ? longer : Ground(), c.level, 0);
        EXPECT_EQ(entry->name, c.longName ? longer : Ground());
        ASSERT_TRUE(UpdateUntilDone(entry));
        ASSERT_NE(entry->texture, nullptr);
        ASSERT_EQ(entry->texture->data.size(), c.size);
        EXPECT_EQ(entry->texture->data.front(), c.offset % 251);
        EXPECT_EQ(entry->texture->data.back(), (c.offset + c.size - 1) % 251);
        Cache::Release(entry);
        EXPECT_TRUE(Cache::Entries.empty());
    }
}

TEST_F(StreamedTextureCacheTest, ShowsTheNearestLoadedLevelUntilItsOwnArrives) {
    Cache::Entry* level0 = Cache::Request(Ground(), 0, 0);
    ASSERT_TRUE(UpdateUntilDone(level0));
    Cache::Entry* level2 = Cache::Request(Ground(), 2, 0);
    EXPECT_EQ(level2->fallback, level0);
    EXPECT_EQ(level0->references, 2u);
    EXPECT_EQ(Cache::GetTexture(level2), level0->texture);
    ASSERT_TRUE(UpdateUntilDone(level2));
    EXPECT_EQ(Cache::GetTexture(level2), level2->texture);
    EXPECT_EQ(level2->fallback, nullptr);
    EXPECT_EQ(level0->references, 1u);

    // Equally near: the first in key order wins.
    Cache::Entry* level1 = Cache::Request(Ground(), 1, 0);
    EXPECT_EQ(level1->fallback, level0);
    EXPECT_EQ(Cache::Request(Ground(), 1, 0), level1);
    EXPECT_EQ(level1->references, 2u);
    Cache::Release(level1);
    Cache::Release(level1);
    Cache::Release(level2);
    EXPECT_EQ(level0->references, 1u);
    Cache::Release(level0);
}

TEST_F(StreamedTextureCacheTest, FailuresKeepShowingTheFallback) {
    Cache::Entry* level0 = Cache::Request(Ground(), 0, 0);
    ASSERT_TRUE(UpdateUntilDone(level0));
    // A missing file, a level the file does not have, and a texture that cannot be made.
    Cache::Entry* missing = Cache::Request(dir.string() + "\\none.dds", 3, 0);
    Cache::Entry* tooSmall = Cache::Request(Ground(), 10, 0);
    EXPECT_EQ(tooSmall->read->request, nullptr);
    failCreate = true;
    Cache::Entry* uncreated = Cache::Request(Ground(), 4, 0);
    for (Cache::Entry* entry : {missing, tooSmall, uncreated}) {
        ASSERT_TRUE(UpdateUntilDone(entry));
        EXPECT_EQ(entry->texture, nullptr);
        EXPECT_EQ(entry->read->request, nullptr);
    }
    EXPECT_EQ(Cache::GetTexture(missing), nullptr);
    EXPECT_EQ(Cache::GetTexture(tooSmall), level0->texture);
    EXPECT_EQ(Cache::GetTexture(uncreated), level0->texture);
    EXPECT_EQ(AsyncLoader::RequestCount(), 0u);
    for (Cache::Entry* entry : {missing, tooSmall, uncreated, level0}) {
        Cache::Release(entry);
    }
}

TEST_F(StreamedTextureCacheTest, ReleaseDuringTheReadWaitsForItToEnd) {
    AsyncLoader::ReadRange = GatedRead;
    Close();
    Cache::Entry* entry = Cache::Request(Ground(), 5, 0);
    WaitEntered();
    auto release = std::async(std::launch::async, [&] { Cache::Release(entry); });
    EXPECT_EQ(release.wait_for(100ms), std::future_status::timeout);
    Open();
    release.get();
    EXPECT_EQ(AsyncLoader::RequestCount(), 0u);
}

// The read has ended, but no update has seen it yet: the release hands the finished request back.
TEST_F(StreamedTextureCacheTest, ReleaseAfterAnUnseenFinishedReadFreesTheRequest) {
    // Held at the gate so that the read cannot end before the request is in the cache's hands.
    AsyncLoader::ReadRange = GatedRead;
    Close();
    Cache::Entry* entry = Cache::Request(Ground(), 6, 0);
    WaitEntered();
    const AsyncLoader::Handle* request = entry->read->request;
    ASSERT_NE(request, nullptr);
    Open();
    for (int i = 0; request && i < 10000 && AsyncLoader::GetState(request) == AsyncLoader::Queued; ++i) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(entry->read->state, AsyncLoader::Queued);
    Cache::Release(entry);
    EXPECT_EQ(AsyncLoader::RequestCount(), 0u);
}

TEST_F(StreamedTextureCacheTest, RequestsQueuedAtTheLoaderStopAreCancelledByRelease) {
    AsyncLoader::Stop();
    Cache::Entry* entry = Cache::Request(Ground(), 0, 0);
    Cache::Entry* other = Cache::Request(Ground(), 1, 0);
    EXPECT_EQ(AsyncLoader::RequestCount(), 2u);
    Cache::Release(entry);
    Cache::Release(other);
    EXPECT_EQ(AsyncLoader::RequestCount(), 0u);
}

} // namespace
