#include "base/SaveFile.h"

#include "platform/win32/Files.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace Base {

namespace {

// The file a save replaces: a symbolic link is followed to its target (which may not exist yet). Empty,
// with errno ELOOP, for a loop.
std::string SaveTarget(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        char buffer[PATH_MAX];
        const ssize_t n = readlink(current.c_str(), buffer, sizeof buffer);
        if (n < 0 || size_t(n) >= sizeof buffer)
            return current; // not a link, or nothing there yet: this is the file
        std::string next(buffer, size_t(n));
        // A relative link is relative to the folder that holds it.
        const std::string::size_type slash = current.rfind('/');
        if (next.front() != '/' && slash != std::string::npos)
            next = current.substr(0, slash + 1) + next;
        current = std::move(next);
    }
    errno = ELOOP;
    return {};
}

} // namespace

bool SaveFileWhole(std::string_view path, const void* bytes, size_t size, std::string& target, int& error) {
    const std::string named = Win32::NativePath(path);
    target = SaveTarget(named);
    if (target.empty()) {
        target = named;
        error = errno;
        return false;
    }
    const std::string temporary = target + ".new";
    FILE* out = std::fopen(temporary.c_str(), "wb");
    if (!out) {
        error = errno;
        return false;
    }
    // On the disk before the rename, or a crash could leave the new name on an empty file.
    bool ok = std::fwrite(bytes, 1, size, out) == size && std::fflush(out) == 0 && fsync(fileno(out)) == 0;
    error = errno;
    ok = std::fclose(out) == 0 && ok;
    if (ok) {
        ok = std::rename(temporary.c_str(), target.c_str()) == 0;
        error = errno;
    }
    if (!ok) {
        if (error == 0)
            error = EIO;
        std::remove(temporary.c_str());
        return false;
    }
    Win32::FlushPathCache();
    // The rename itself is made lasting through the folder.
    const std::string::size_type slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
    return true;
}

} // namespace Base
