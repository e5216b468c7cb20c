#include "platform/win32/Files.h"
#include "platform/win32/Text.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace Win32 {
namespace {

// Directory listings by native directory path: lower-case name -> name on disk.
// A miss reads the directory again once, so files made since the last read are found.
class PathCache {
public:
    // Into result, whose buffer is reused: the streaming loader resolves a path for every read.
    void Resolve(std::string_view gamePath, std::string& result) {
        thread_local std::string path, dir;
        path.assign(gamePath);
        std::replace(path.begin(), path.end(), '\\', '/');
        if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':')
            path.erase(0, 2);

        result.clear();
        size_t pos = 0;
        if (!path.empty() && path[0] == '/') {
            result.push_back('/');
            pos = 1;
        }
        std::lock_guard<std::mutex> guard(lock);
        bool parentExists = true;
        while (pos <= path.size()) {
            size_t end = path.find('/', pos);
            if (end == std::string::npos)
                end = path.size();
            std::string_view part(path.data() + pos, end - pos);
            pos = end + 1;
            if (part.empty() || part == ".")
                continue;
            if (!result.empty() && result.back() != '/')
                result += '/';
            if (part == ".." || !parentExists) {
                result += part;
                continue;
            }
            if (result.empty())
                dir.assign(1, '.');
            else
                dir.assign(result);
            if (dir.size() > 1 && dir.back() == '/')
                dir.pop_back();
            const std::string* found = Find(dir, part);
            if (!found) {
                result += part;
                parentExists = false;
            } else {
                result += *found;
            }
        }
        if (result.empty())
            result.push_back('.');
    }

    void Flush() {
        std::lock_guard<std::mutex> guard(lock);
        listings.clear();
    }

private:
    using Listing = std::unordered_map<std::string, std::string>;

    // The name on disk, valid while the lock is held; null when there is none.
    const std::string* Find(const std::string& dir, std::string_view name) {
        thread_local std::string key;
        key.assign(name);
        LowerInPlace(key);
        auto it = listings.find(dir);
        if (it != listings.end()) {
            auto hit = it->second.find(key);
            if (hit != it->second.end())
                return &hit->second;
        }
        Listing& listing = listings[dir];
        Read(dir, listing);
        auto hit = listing.find(key);
        return hit == listing.end() ? nullptr : &hit->second;
    }

    static void Read(const std::string& dir, Listing& listing) {
        listing.clear();
        DIR* d = opendir(dir.c_str());
        if (!d)
            return;
        while (dirent* entry = readdir(d)) {
            std::string name = entry->d_name;
            // An exact-case match wins over another name that differs only in case.
            auto [it, inserted] = listing.emplace(Lower(name), name);
            if (!inserted && name == Lower(name))
                it->second = name;
        }
        closedir(d);
    }

    std::mutex lock;
    std::unordered_map<std::string, Listing> listings;
};

PathCache& Cache() {
    static PathCache cache;
    return cache;
}

} // namespace

std::string NativePath(std::string_view path) {
    std::string native;
    Cache().Resolve(path, native);
    return native;
}

void NativePath(std::string_view path, std::string& native) {
    Cache().Resolve(path, native);
}

namespace {

// Told once a file and reason: callers may ask again (the settings are read at start-up and again by the
// front end, a texture each time it is loaded), and the file is still what it was.
void SayRefused(std::string_view path, const std::string& native, const char* refusal) {
    static std::mutex lock;
    static std::set<std::string> told;
    {
        std::lock_guard<std::mutex> hold(lock);
        if (!told.insert(native + '\n' + refusal).second)
            return;
    }
    std::fprintf(stderr, "Cannot read '%.*s': it %s.\n", int(std::min<size_t>(path.size(), 200)), path.data(),
                 refusal);
}

void SayNotRegular(std::string_view path, const std::string& native) {
    SayRefused(path, native, "is not a regular file");
}

// A descriptor for reading a regular file, or -1. Opened without blocking, so that a fifo is seen for what
// it is rather than waited on; reads then block as usual.
int OpenRegularForReading(std::string_view path, const std::string& native) {
    const int fd = open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fcntl(fd, F_SETFL, O_RDONLY) != 0) {
        if (!S_ISDIR(st.st_mode))
            SayNotRegular(path, native);
        close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

} // namespace

FILE* OpenFile(std::string_view path, const char* mode) {
    thread_local std::string native;
    NativePath(path, native);
    // fopen has no text mode here; 't' would be refused by nothing but is meaningless.
    std::string m;
    for (const char* c = mode; *c; ++c)
        if (*c != 't')
            m += *c;
    if (m.find_first_of("wa+") == std::string::npos) {
        const int fd = OpenRegularForReading(path, native);
        FILE* f = fd < 0 ? nullptr : fdopen(fd, m.c_str());
        if (fd >= 0 && !f)
            close(fd);
        return f;
    }
    FILE* f = std::fopen(native.c_str(), m.c_str());
    if (f && m.find_first_of("wa+") != std::string::npos)
        FlushPathCache();
    return f;
}

bool ReadFileRange(std::string_view path, uint64_t offset, void* buffer, size_t size) {
    thread_local std::string native;
    NativePath(path, native);
    const int fd = OpenRegularForReading(path, native);
    if (fd < 0)
        return false;
    auto* out = static_cast<char*>(buffer);
    bool ok = true;
    while (size > 0) {
        const ssize_t n = pread(fd, out, size, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        out += n;
        offset += uint64_t(n);
        size -= size_t(n);
    }
    close(fd);
    return ok;
}

bool FileExists(std::string_view path) {
    struct stat st;
    return stat(NativePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool CheckRegularFile(std::string_view path) {
    const std::string native = NativePath(path);
    struct stat st;
    if (stat(native.c_str(), &st) != 0)
        return false;
    if (!S_ISREG(st.st_mode)) {
        if (!S_ISDIR(st.st_mode))
            SayNotRegular(path, native);
        return false;
    }
    return true;
}

bool DirectoryExists(std::string_view path) {
    struct stat st;
    return stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadFile(std::string_view path, std::string& bytes, size_t limit) {
    const std::string native = NativePath(path);
    // Opened without blocking, so that a fifo in the way is seen for what it is rather than waited on.
    const int fd = open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    const char* refusal = nullptr;
    if (fstat(fd, &st) != 0)
        refusal = "cannot be examined";
    else if (!S_ISREG(st.st_mode))
        refusal = "is not a regular file";
    else if (size_t(st.st_size) > limit)
        refusal = "is too large";
    if (refusal) {
        SayRefused(path, native, refusal);
        close(fd);
        return false;
    }
    bytes.clear();
    bytes.reserve(size_t(st.st_size));
    char buffer[65536];
    bool ok = true;
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        // A file that grows while it is read stops at the limit too.
        if (bytes.size() + size_t(n) > limit) {
            SayRefused(path, native, "is too large");
            ok = false;
            break;
        }
        bytes.append(buffer, size_t(n));
    }
    close(fd);
    return ok;
}

std::string NormaliseLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += c;
        }
    }
    return out;
}

bool ReadTextFile(std::string_view path, std::string& text) {
    std::string bytes;
    if (!ReadFile(path, bytes))
        return false;
    text = NormaliseLineEnds(bytes);
    return true;
}

void FlushPathCache() {
    Cache().Flush();
}

} // namespace Win32
