// Folder searches and file removal over POSIX directories. A search reads its folder whole when it starts
// and hands the entries out in name order, so that two runs over the same files see the same order.
#include "platform/win32/Files.h"

#include <windows.h>
#include <fileapi.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fnmatch.h>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct Search {
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 0;
};

// Live searches: a handle that is not one of them is refused, not followed.
std::mutex searchesLock;
std::set<Search*> searches;

FILETIME FileTime(const timespec& t) {
    // 100 ns steps since 1601, as the structure counts them.
    constexpr uint64_t EpochDifference = 116444736000000000ull;
    const uint64_t ticks = EpochDifference + uint64_t(t.tv_sec) * 10000000ull + uint64_t(t.tv_nsec) / 100u;
    return {DWORD(ticks), DWORD(ticks >> 32)};
}

bool Describe(const std::string& folder, const char* name, WIN32_FIND_DATAA& out) {
    const size_t length = std::strlen(name);
    if (length >= MAX_PATH)
        return false;
    const std::string path = folder + "/" + name;
    struct stat link {
    }, target{};
    if (lstat(path.c_str(), &link) != 0)
        return false;
    const bool isLink = S_ISLNK(link.st_mode);
    // A link to nothing is shown as the link itself.
    if (!isLink || stat(path.c_str(), &target) != 0)
        target = link;
    out = {};
    if (S_ISDIR(target.st_mode)) {
        out.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    } else {
        out.dwFileAttributes =
            access(path.c_str(), W_OK) == 0 ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
        out.nFileSizeLow = DWORD(uint64_t(target.st_size));
        out.nFileSizeHigh = DWORD(uint64_t(target.st_size) >> 32);
    }
    if (isLink)
        out.dwFileAttributes = (out.dwFileAttributes & ~FILE_ATTRIBUTE_NORMAL) | FILE_ATTRIBUTE_REPARSE_POINT;
    out.ftCreationTime = FileTime(target.st_ctim);
    out.ftLastAccessTime = FileTime(target.st_atim);
    out.ftLastWriteTime = FileTime(target.st_mtim);
    std::memcpy(out.cFileName, name, length + 1);
    return true;
}

} // namespace

HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData) {
    if (!fileName || !findData) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::string path(fileName);
    std::replace(path.begin(), path.end(), '/', '\\');
    const size_t cut = path.rfind('\\');
    std::string pattern = cut == std::string::npos ? path : path.substr(cut + 1);
    const std::string folder =
        cut == std::string::npos ? std::string(".") : Win32::NativePath(path.substr(0, cut));
    if (pattern == "*.*")
        pattern = "*";

    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto search = std::make_unique<Search>();
    while (const dirent* entry = readdir(dir)) {
        if (fnmatch(pattern.c_str(), entry->d_name, FNM_CASEFOLD | FNM_NOESCAPE) != 0)
            continue;
        WIN32_FIND_DATAA found;
        if (Describe(folder, entry->d_name, found))
            search->entries.push_back(found);
    }
    closedir(dir);
    std::sort(search->entries.begin(), search->entries.end(),
              [](const WIN32_FIND_DATAA& a, const WIN32_FIND_DATAA& b) {
                  return std::strcmp(a.cFileName, b.cFileName) < 0;
              });
    if (search->entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *findData = search->entries[0];
    search->next = 1;
    std::lock_guard<std::mutex> hold(searchesLock);
    return *searches.insert(search.release()).first;
}

BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA findData) {
    std::lock_guard<std::mutex> hold(searchesLock);
    const auto it = searches.find(static_cast<Search*>(find));
    if (it == searches.end() || !findData) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Search& search = **it;
    if (search.next >= search.entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *findData = search.entries[search.next++];
    return TRUE;
}

BOOL FindClose(HANDLE find) {
    std::lock_guard<std::mutex> hold(searchesLock);
    const auto it = searches.find(static_cast<Search*>(find));
    if (it == searches.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete *it;
    searches.erase(it);
    return TRUE;
}

BOOL DeleteFileA(LPCSTR fileName) {
    if (!fileName) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    const std::string native = Win32::NativePath(fileName);
    struct stat st {};
    if (lstat(native.c_str(), &st) != 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (S_ISDIR(st.st_mode) || unlink(native.c_str()) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    Win32::FlushPathCache();
    return TRUE;
}
