#include "base/AsyncLoader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace {

using Base::AsyncLoader;
using namespace std::chrono_literals;

// Polls until the request leaves the queue; gives up after 10 s so that a hang shows as a failure.
int32_t WaitFinished(AsyncLoader::Handle* handle) {
    for (int i = 0; i < 10000 && AsyncLoader::GetState(handle) == AsyncLoader::Queued; ++i) {
        std::this_thread::sleep_for(1ms);
    }
    return AsyncLoader::GetState(handle);
}

template <class Done> bool WaitUntil(Done done) {
    for (int i = 0; i < 10000; ++i) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// A read hook that records the names it is given and can hold a read up until it is let go.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool closed = false;
    int entered = 0;
    std::vector<std::string> names;
};
Gate* gate = nullptr;

bool GatedRead(const Base::String& name, uint32_t, uint32_t size, void* buffer) {
    std::unique_lock lock(gate->mutex);
    gate->names.push_back(name);
    ++gate->entered;
    gate->changed.notify_all();
    gate->changed.wait(lock, [] { return !gate->closed; });
    std::memset(buffer, 0x5A, size);
    return true;
}

class AsyncLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("corvane-loader-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        std::ofstream out(dir / "bytes.bin", std::ios::binary);
        for (int i = 0; i < 1000; ++i) {
            out.put(char(i % 251));
        }
        gate = &gateStorage;
    }
    void TearDown() override {
        Open();
        AsyncLoader::Stop();
        AsyncLoader::ReadRange = AsyncLoader::ReadFileRange;
        EXPECT_EQ(AsyncLoader::RequestCount(), 0u);
        std::filesystem::remove_all(dir);
        gate = nullptr;
    }
    // Game paths use '\' and any letter case.
    Base::String GamePath(const std::string& name) const { return dir.string() + "\\" + name; }
    void Close() {
        std::lock_guard lock(gate->mutex);
        gate->closed = true;
    }
    void Open() {
        std::lock_guard lock(gate->mutex);
        gate->closed = false;
        gate->changed.notify_all();
    }
    void WaitEntered(int count) {
        std::unique_lock lock(gate->mutex);
        ASSERT_TRUE(gate->changed.wait_for(lock, 10s, [&] { return gate->entered >= count; }));
    }

    std::filesystem::path dir;
    Gate gateStorage;
};

TEST_F(AsyncLoaderTest, ReadsByteRanges) {
    struct Case {
        const char* name;
        uint32_t offset, size;
        int32_t state;
    };
    const Case cases[] = {
        {"bytes.bin", 10, 20, AsyncLoader::Read},   {"BYTES.BIN", 990, 10, AsyncLoader::Read},
        {"bytes.bin", 0, 0, AsyncLoader::Read},     {"bytes.bin", 995, 10, AsyncLoader::Failed},
        {"missing.bin", 0, 0, AsyncLoader::Failed},
    };
    AsyncLoader::Start();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(c.offset));
        std::vector<uint8_t> buffer(c.size + 1, 0xEE);
        AsyncLoader::Handle* handle =
            AsyncLoader::Enqueue(GamePath(c.name), c.offset, c.size, 0, buffer.data());
        ASSERT_EQ(WaitFinished(handle), c.state);
        if (c.state == AsyncLoader::Read) {
            for (uint32_t i = 0; i < c.size; ++i) {
                ASSERT_EQ(buffer[i], (c.offset + i) % 251) << i;
            }
        }
        EXPECT_EQ(buffer[c.size], 0xEE); // nothing past the range
        EXPECT_EQ(AsyncLoader::RequestCount(), 1u);
        AsyncLoader::Free(handle);
    }
}

// A read that fails leaves its owner with a fallback for good: the loader says so once a file, with the
// range it was asked for. Reads that succeed say nothing.
TEST_F(AsyncLoaderTest, AFailedReadIsSaidOnceAFile) {
    AsyncLoader::Start();
    std::vector<uint8_t> buffer(64);
    ::testing::internal::CaptureStderr();
    for (const auto& [name, offset] : {std::pair{"missing.bin", 0u}, std::pair{"missing.bin", 8u},
                                       std::pair{"bytes.bin", 990u}, std::pair{"bytes.bin", 0u}}) {
        AsyncLoader::Handle* handle = AsyncLoader::Enqueue(GamePath(name), offset, 16, 0, buffer.data());
        EXPECT_NE(WaitFinished(handle), AsyncLoader::Queued);
        AsyncLoader::Free(handle);
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "The file loader cannot read '" + GamePath("missing.bin") + "' (16 bytes at 0).\n" +
                  "The file loader cannot read '" + GamePath("bytes.bin") + "' (16 bytes at 990).\n");
}

TEST_F(AsyncLoaderTest, HigherPrioritiesAreReadFirst) {
    AsyncLoader::ReadRange = GatedRead;
    char buffer[4];
    std::vector<AsyncLoader::Handle*> handles;
    for (int priority : {1, 5, 3}) {
        handles.push_back(AsyncLoader::Enqueue(std::to_string(priority), 0, 4, priority, buffer));
    }
    AsyncLoader::Start();
    for (AsyncLoader::Handle* handle : handles) {
        EXPECT_EQ(WaitFinished(handle), AsyncLoader::Read);
        AsyncLoader::Free(handle);
    }
    EXPECT_EQ(gate->names, (std::vector<std::string>{"5", "3", "1"}));
}

TEST_F(AsyncLoaderTest, CancelBeforeTheWorkerReachesItIsNeverRead) {
    AsyncLoader::ReadRange = GatedRead;
    Close();
    char a[4], b[4];
    AsyncLoader::Start();
    AsyncLoader::Handle* first = AsyncLoader::Enqueue("first", 0, 4, 0, a);
    WaitEntered(1); // the worker is held inside the first read
    AsyncLoader::Handle* second = AsyncLoader::Enqueue("second", 0, 4, 0, b);
    EXPECT_EQ(AsyncLoader::Cancel(second), AsyncLoader::Cancelled);
    Open();
    EXPECT_EQ(WaitFinished(first), AsyncLoader::Read);
    // The worker frees the cancelled handle when it takes it.
    EXPECT_TRUE(WaitUntil([] { return AsyncLoader::RequestCount() == 1; }));
    AsyncLoader::Free(first);
    EXPECT_EQ(gate->names, std::vector<std::string>{"first"});
}

TEST_F(AsyncLoaderTest, CancelWhileStoppedFreesTheHandle) {
    char buffer[4];
    AsyncLoader::Handle* handle = AsyncLoader::Enqueue(GamePath("bytes.bin"), 0, 4, 0, buffer);
    EXPECT_EQ(AsyncLoader::RequestCount(), 1u);
    EXPECT_EQ(AsyncLoader::Cancel(handle), AsyncLoader::Cancelled);
    EXPECT_EQ(AsyncLoader::RequestCount(), 0u);
    // Taken out of the queue too: a later start reads nothing.
    AsyncLoader::ReadRange = GatedRead;
    AsyncLoader::Start();
    AsyncLoader::Stop();
    EXPECT_TRUE(gate->names.empty());
}

TEST_F(AsyncLoaderTest, CancelDuringTheReadWaitsForItAndReportsTheRead) {
    AsyncLoader::ReadRange = GatedRead;
    Close();
    char buffer[4] = {};
    AsyncLoader::Start();
    AsyncLoader::Handle* handle = AsyncLoader::Enqueue("held", 0, 4, 0, buffer);
    WaitEntered(1);
    auto cancel = std::async(std::launch::async, [&] { return AsyncLoader::Cancel(handle); });
    EXPECT_EQ(cancel.wait_for(100ms), std::future_status::timeout);
    Open();
    // The read finished before the cancel could stop it: the caller still owns the handle.
    EXPECT_EQ(cancel.get(), AsyncLoader::Read);
    EXPECT_EQ(buffer[3], 0x5A);
    AsyncLoader::Free(handle);
}

TEST_F(AsyncLoaderTest, CancelOfAFinishedRequestReturnsItsState) {
    AsyncLoader::Start();
    char buffer[4];
    AsyncLoader::Handle* read = AsyncLoader::Enqueue(GamePath("bytes.bin"), 0, 4, 0, buffer);
    AsyncLoader::Handle* failed = AsyncLoader::Enqueue(GamePath("none.bin"), 0, 4, 0, buffer);
    WaitFinished(read);
    WaitFinished(failed);
    EXPECT_EQ(AsyncLoader::Cancel(read), AsyncLoader::Read);
    EXPECT_EQ(AsyncLoader::Cancel(failed), AsyncLoader::Failed);
    EXPECT_EQ(AsyncLoader::RequestCount(), 2u);
    AsyncLoader::Free(read);
    AsyncLoader::Free(failed);
}

TEST_F(AsyncLoaderTest, StopJoinsAndLeavesQueuedRequestsToTheirOwners) {
    AsyncLoader::ReadRange = GatedRead;
    Close();
    char a[4], b[4], c[4];
    AsyncLoader::Start();
    AsyncLoader::Handle* held = AsyncLoader::Enqueue("held", 0, 4, 9, a);
    WaitEntered(1);
    AsyncLoader::Handle* queued = AsyncLoader::Enqueue("queued", 0, 4, 0, b);
    AsyncLoader::Handle* cancelled = AsyncLoader::Enqueue("cancelled", 0, 4, 0, c);
    EXPECT_EQ(AsyncLoader::Cancel(cancelled), AsyncLoader::Cancelled);
    auto stop = std::async(std::launch::async, [] { AsyncLoader::Stop(); });
    // The read is let go only once the stop has been asked for, however late its thread runs.
    EXPECT_TRUE(WaitUntil([] { return AsyncLoader::Stopping(); }));
    EXPECT_EQ(stop.wait_for(100ms), std::future_status::timeout); // joins the worker inside its read
    Open();
    stop.get();
    EXPECT_FALSE(AsyncLoader::Running());
    EXPECT_FALSE(AsyncLoader::Stopping());
    EXPECT_EQ(AsyncLoader::GetState(held), AsyncLoader::Read);
    EXPECT_EQ(AsyncLoader::GetState(queued), AsyncLoader::Queued);
    EXPECT_EQ(AsyncLoader::RequestCount(), 2u); // the cancelled one was freed
    EXPECT_EQ(gate->names, std::vector<std::string>{"held"});
    AsyncLoader::Free(held);
    EXPECT_EQ(AsyncLoader::Cancel(queued), AsyncLoader::Cancelled);
}

// An idle worker sleeps: the process uses next to no processor time while nothing is queued.
TEST_F(AsyncLoaderTest, IdleWorkerDoesNotSpin) {
    AsyncLoader::Start();
    for (int round = 0; round < 2; ++round) {
        double before = ProcessCpuSeconds();
        std::this_thread::sleep_for(300ms);
        EXPECT_LT(ProcessCpuSeconds() - before, 0.1) << "round " << round;
        char buffer[4];
        AsyncLoader::Handle* handle = AsyncLoader::Enqueue(GamePath("bytes.bin"), 0, 4, 0, buffer);
        EXPECT_EQ(WaitFinished(handle), AsyncLoader::Read);
        AsyncLoader::Free(handle);
    }
}

} // namespace
