// Time, threads and synchronisation of the Win32 layer.
#include <windows.h>

#include "platform/win32/UserRuntime.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <cstring>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

struct KernelObject {
    virtual ~KernelObject() = default;
    virtual DWORD Wait(DWORD milliseconds) = 0;
};

// A Win32 mutex is owned by a thread and may be taken again by its owner. A named one also exists for this
// user's other processes while any of them holds it (its ownership stays inside the process).
struct MutexObject : KernelObject {
    std::recursive_timed_mutex mutex;
    std::string name;
    std::unique_ptr<Win32::SharedName> shared;

    DWORD Wait(DWORD milliseconds) override {
        if (milliseconds == INFINITE) {
            mutex.lock();
            return WAIT_OBJECT_0;
        }
        return mutex.try_lock_for(std::chrono::milliseconds(milliseconds)) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }
};

struct NamedMutexes {
    std::mutex lock;
    std::map<std::string, std::weak_ptr<MutexObject>> byName;
};
NamedMutexes& Named() {
    static NamedMutexes named;
    return named;
}

// Handles hold a shared_ptr so that two handles to one named mutex keep it alive together.
struct Handle {
    std::shared_ptr<KernelObject> object;
};

KernelObject* ObjectOf(HANDLE handle) {
    if (!handle || handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return static_cast<Handle*>(handle)->object.get();
}

} // namespace

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    count->QuadPart = LONGLONG(now.tv_sec) * 1000000000LL + now.tv_nsec;
    return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    frequency->QuadPart = 1000000000LL;
    return TRUE;
}

DWORD GetTickCount() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return DWORD(uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u);
}

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD GetLastError() {
    return lastError;
}
void SetLastError(DWORD error) {
    lastError = error;
}
DWORD GetCurrentProcessId() {
    return DWORD(getpid());
}
DWORD GetCurrentThreadId() {
    return DWORD(gettid());
}

namespace {

// Copies a name with its zero; the size that comes back counts the zero when `countZero`.
BOOL CopyName(const std::string& name, LPSTR buffer, LPDWORD size, bool countZero) {
    if (!size || (!buffer && *size)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (*size < name.size() + 1) {
        *size = DWORD(name.size() + 1);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *size = DWORD(name.size() + (countZero ? 1 : 0));
    return TRUE;
}

} // namespace

BOOL GetUserNameA(LPSTR buffer, LPDWORD size) {
    std::string name;
    std::vector<char> record(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, record.data(), record.size(), &found) == 0 && found && found->pw_name)
        name = found->pw_name;
    else if (const char* user = std::getenv("USER"))
        name = user;
    if (name.empty()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return CopyName(name, buffer, size, true);
}

BOOL GetComputerNameA(LPSTR buffer, LPDWORD size) {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0 || !host[0]) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::string name = host;
    return CopyName(name.substr(0, name.find('.')), buffer, size, false);
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
    std::shared_ptr<MutexObject> object;
    DWORD error = ERROR_SUCCESS;
    if (name && *name) {
        NamedMutexes& named = Named();
        std::lock_guard<std::mutex> guard(named.lock);
        object = named.byName[name].lock();
        if (object) {
            error = ERROR_ALREADY_EXISTS;
        } else {
            object = std::make_shared<MutexObject>();
            object->name = name;
            bool heldElsewhere = false;
            object->shared = Win32::SharedName::Open(name, heldElsewhere);
            // A name other processes cannot see (no private runtime folder) fails: a caller that relies on
            // it to run alone must not run beside another copy.
            if (!object->shared) {
                SetLastError(ERROR_ACCESS_DENIED);
                return nullptr;
            }
            if (heldElsewhere)
                error = ERROR_ALREADY_EXISTS;
            named.byName[name] = object;
        }
    } else {
        object = std::make_shared<MutexObject>();
    }
    // An existing mutex is opened, not taken, as Win32 does.
    if (initialOwner && error == ERROR_SUCCESS)
        object->mutex.lock();
    SetLastError(error);
    return new Handle{object};
}

BOOL ReleaseMutex(HANDLE mutex) {
    auto* object = dynamic_cast<MutexObject*>(ObjectOf(mutex));
    if (!object)
        return FALSE;
    object->mutex.unlock();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    KernelObject* object = ObjectOf(handle);
    return object ? object->Wait(milliseconds) : WAIT_FAILED;
}

BOOL CloseHandle(HANDLE handle) {
    if (!handle || handle == INVALID_HANDLE_VALUE)
        return FALSE;
    delete static_cast<Handle*>(handle);
    return TRUE;
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    // Only the program's own module is known; its handle is a token that is never dereferenced.
    static char self;
    return moduleName ? nullptr : reinterpret_cast<HMODULE>(&self);
}

void ExitProcess(UINT exitCode) {
    std::exit(int(exitCode));
}

HRESULT CoInitializeEx(LPVOID, DWORD) {
    return S_OK;
}
void CoUninitialize() {}
