#include <windows.h>

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include "tests/support/TempDir.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

TEST(Kernel, PerformanceCounterIsMonotonicNanoseconds) {
    LARGE_INTEGER f, a, b;
    ASSERT_TRUE(QueryPerformanceFrequency(&f));
    EXPECT_EQ(f.QuadPart, 1000000000LL);
    QueryPerformanceCounter(&a);
    Sleep(2);
    QueryPerformanceCounter(&b);
    EXPECT_GE(b.QuadPart - a.QuadPart, 2000000LL);
}

// The runtime folder (where named objects live) in a scratch folder of the test's own while it lives, so
// that the test leaves nothing in the user's.
class RuntimeFolder {
public:
    explicit RuntimeFolder(const std::filesystem::path& dir) {
        if (const char* saved = std::getenv("XDG_RUNTIME_DIR"))
            restore = saved;
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    }
    ~RuntimeFolder() {
        if (restore)
            setenv("XDG_RUNTIME_DIR", restore->c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
    }
    RuntimeFolder(const RuntimeFolder&) = delete;
    RuntimeFolder& operator=(const RuntimeFolder&) = delete;

private:
    std::optional<std::string> restore;
};

TEST(Kernel, ANamedMutexIsOpenedNotTakenBySecondCreate) {
    const TestSupport::TempDir scratch("corvane-kernel");
    const RuntimeFolder runtime(scratch.path);
    // Named mutexes are seen by this user's other processes: a name of this process only.
    const std::string name = "Kernel Test Mutex " + std::to_string(GetCurrentProcessId());
    HANDLE a = CreateMutexA(nullptr, TRUE, name.c_str());
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    HANDLE b = CreateMutexA(nullptr, TRUE, name.c_str());
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);

    // Held by this thread: another thread times out, and gets it once released.
    DWORD other = WAIT_FAILED;
    std::thread([&] { other = WaitForSingleObject(b, 10); }).join();
    EXPECT_EQ(other, WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(a));
    std::thread([&] {
        other = WaitForSingleObject(b, 1000);
        ReleaseMutex(b);
    }).join();
    EXPECT_EQ(other, WAIT_OBJECT_0);
    CloseHandle(a);
    CloseHandle(b);
    // Both handles closed: the name is free again.
    HANDLE c = CreateMutexA(nullptr, FALSE, name.c_str());
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    CloseHandle(c);
}

// When the runtime folder is not the user's own (here a symbolic link), a named mutex fails rather than
// being a name of this process only: the caller does not go on believing it runs alone.
TEST(Kernel, ANamedMutexFailsWithoutAPrivateRuntimeFolder) {
    const TestSupport::TempDir scratch("corvane-kernel");
    const std::filesystem::path& dir = scratch.path;
    std::filesystem::create_directory(dir / "elsewhere");
    std::filesystem::create_directory_symlink(dir / "elsewhere", dir / "corvane");
    const RuntimeFolder runtime(dir);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(CreateMutexA(nullptr, TRUE, "Kernel Test Unshared"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    HANDLE unnamed = CreateMutexA(nullptr, TRUE, nullptr);
    EXPECT_NE(unnamed, nullptr);
    CloseHandle(unnamed);
}

TEST(Kernel, WaitingOnNoHandleFails) {
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
}

TEST(Kernel, FailureCodesAreFailures) {
    static_assert(sizeof(HRESULT) == 4);
    EXPECT_TRUE(FAILED(E_FAIL));
    EXPECT_TRUE(FAILED(E_INVALIDARG));
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_TRUE(SUCCEEDED(S_OK));
}

// The user's and the machine's names, against the system's own account and host name; a buffer too small
// fails and says the size it needs.
TEST(Kernel, UserAndComputerNamesWithTheirSizes) {
    // An account missing from the user database (a container's bare uid) is named by USER, as the call does.
    const passwd* account = getpwuid(geteuid());
    const char* env = std::getenv("USER");
    if ((!account || !account->pw_name) && !env)
        GTEST_SKIP() << "no account entry and no USER";
    const std::string user = account && account->pw_name ? account->pw_name : env;
    char buffer[1024];
    DWORD size = sizeof buffer;
    ASSERT_TRUE(GetUserNameA(buffer, &size));
    EXPECT_EQ(buffer, user);
    EXPECT_EQ(size, user.size() + 1);
    size = DWORD(user.size());
    EXPECT_FALSE(GetUserNameA(buffer, &size));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, user.size() + 1);

    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    const std::string computer = std::string(host).substr(0, std::string(host).find('.'));
    size = sizeof buffer;
    ASSERT_TRUE(GetComputerNameA(buffer, &size));
    EXPECT_EQ(buffer, computer);
    EXPECT_EQ(size, computer.size());
    size = 1;
    EXPECT_FALSE(GetComputerNameA(buffer, &size));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, computer.size() + 1);
}
