#include "platform/win32/UserRuntime.h"

#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace Win32 {
namespace {

constexpr uint32_t kMagic = 0x4D425643; // "CVBM"
constexpr size_t kMaxName = 255;

struct Datagram {
    uint32_t magic;
    uint32_t message;
    uint64_t wParam;
    int64_t lParam;
    uint32_t nameLength;
    char name[kMaxName + 1];
};

bool MakePrivateDirectory(const std::string& path) {
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st;
    // Not a symbolic link, ours, and closed to others: nobody else can plant sockets or lock files in it.
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid())
        return false;
    if ((st.st_mode & 077) != 0 && chmod(path.c_str(), 0700) != 0)
        return false;
    return true;
}

// Names of kernel objects may hold anything; file names get the safe characters and a hash of the whole.
std::string FileNameFor(const std::string& name) {
    uint64_t hash = 1469598103934665603ull;
    std::string safe;
    for (unsigned char c : name) {
        hash = (hash ^ c) * 1099511628211ull;
        if (safe.size() < 64)
            safe += (std::isalnum(c) || c == '-' || c == '.') ? char(c) : '_';
    }
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "-%016llx", (unsigned long long)hash);
    return "mutex-" + safe + suffix + ".lock";
}

// Creating and dropping names happens under one lock per user, so that the test-then-hold below is atomic.
class GuardLock {
public:
    explicit GuardLock(const std::string& dir) {
        fd = open((dir + "/names.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0)
            while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~GuardLock() {
        if (fd >= 0)
            close(fd);
    }
    bool ok() const { return fd >= 0; }

private:
    int fd = -1;
};

bool SocketAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() + 1 > sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

std::string OwnSocketName() {
    return "window-" + std::to_string(getpid()) + ".sock";
}

struct Listener {
    std::mutex lock;
    int fd = -1;
    bool exitHook = false;
    std::string path;
};
Listener& TheListener() {
    static Listener listener;
    return listener;
}

void RemoveOwnSocket() {
    Listener& l = TheListener();
    if (!l.path.empty())
        unlink(l.path.c_str());
}

} // namespace

std::string RuntimeDirectory() {
    std::string base;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        base = std::string(runtime) + "/corvane";
    else
        base = "/tmp/corvane-" + std::to_string(getuid());
    return MakePrivateDirectory(base) ? base : std::string();
}

std::unique_ptr<SharedName> SharedName::Open(const std::string& name, bool& heldElsewhere) {
    heldElsewhere = false;
    std::string dir = RuntimeDirectory();
    if (dir.empty())
        return nullptr;
    GuardLock guard(dir);
    if (!guard.ok())
        return nullptr;
    std::unique_ptr<SharedName> shared(new SharedName);
    shared->path = dir + "/" + FileNameFor(name);
    shared->fd = open(shared->path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (shared->fd < 0)
        return nullptr;
    // Holders keep a shared lock; an exclusive one can only be had when nobody holds the name.
    if (flock(shared->fd, LOCK_EX | LOCK_NB) != 0)
        heldElsewhere = true;
    if (flock(shared->fd, LOCK_SH) != 0)
        return nullptr;
    return shared;
}

SharedName::~SharedName() {
    if (fd < 0)
        return;
    std::string dir = path.substr(0, path.rfind('/'));
    GuardLock guard(dir);
    close(fd);
    // The last holder removes the file.
    int probe = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (probe >= 0) {
        if (flock(probe, LOCK_EX | LOCK_NB) == 0)
            unlink(path.c_str());
        close(probe);
    }
}

bool ListenForBroadcasts() {
    Listener& l = TheListener();
    std::lock_guard<std::mutex> guard(l.lock);
    std::string dir = RuntimeDirectory();
    if (dir.empty())
        return false;
    std::string path = dir + "/" + OwnSocketName();
    if (l.fd >= 0 && l.path == path)
        return true;
    // The runtime directory changed (tests give each case its own): move the socket there.
    if (l.fd >= 0) {
        close(l.fd);
        unlink(l.path.c_str());
        l.fd = -1;
    }
    sockaddr_un address;
    if (!SocketAddress(path, address))
        return false;
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    unlink(path.c_str()); // left by an ended process that had our id
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return false;
    }
    l.fd = fd;
    l.path = path;
    if (!l.exitHook) {
        std::atexit(RemoveOwnSocket);
        l.exitHook = true;
    }
    return true;
}

std::vector<BroadcastMessage> ReceiveBroadcasts() {
    std::vector<BroadcastMessage> received;
    Listener& l = TheListener();
    std::lock_guard<std::mutex> guard(l.lock);
    if (l.fd < 0)
        return received;
    for (;;) {
        Datagram d;
        ssize_t n = recv(l.fd, &d, sizeof d, MSG_DONTWAIT);
        if (n < 0)
            break;
        // Anything that is not a whole record of ours is dropped.
        if (size_t(n) < offsetof(Datagram, name) || d.magic != kMagic || d.nameLength > kMaxName ||
            size_t(n) < offsetof(Datagram, name) + d.nameLength)
            continue;
        BroadcastMessage m;
        m.message = d.message;
        m.wParam = d.wParam;
        m.lParam = d.lParam;
        m.name.assign(d.name, d.nameLength);
        received.push_back(std::move(m));
    }
    return received;
}

void SendBroadcast(const BroadcastMessage& message) {
    std::string dir = RuntimeDirectory();
    if (dir.empty() || message.name.size() > kMaxName)
        return;
    Datagram d;
    std::memset(&d, 0, sizeof d);
    d.magic = kMagic;
    d.message = message.message;
    d.wParam = message.wParam;
    d.lParam = message.lParam;
    d.nameLength = uint32_t(message.name.size());
    std::memcpy(d.name, message.name.data(), message.name.size());
    size_t length = offsetof(Datagram, name) + message.name.size();

    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    DIR* listing = opendir(dir.c_str());
    if (!listing) {
        close(fd);
        return;
    }
    std::string own = OwnSocketName();
    while (dirent* entry = readdir(listing)) {
        std::string file = entry->d_name;
        if (file.rfind("window-", 0) != 0 || file.size() < 12 || file.substr(file.size() - 5) != ".sock" ||
            file == own)
            continue;
        std::string path = dir + "/" + file;
        sockaddr_un address;
        if (!SocketAddress(path, address))
            continue;
        if (sendto(fd, &d, length, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 &&
            errno == ECONNREFUSED)
            unlink(path.c_str()); // its process has ended
    }
    closedir(listing);
    close(fd);
}

} // namespace Win32
