// A scratch directory of its own for one test: made by mkdtemp under the system's temporary folder, so that
// tests running at once (other build trees, other checkouts) never share a path, and removed with all it
// holds when the object goes. A process that ends by exit() with the object still alive (a death test's
// child, which remakes the fixture) removes it too; a forked child never removes its parent's.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace TestSupport {

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "corvane") {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a temporary directory from " + pattern);
        path = pattern;
        Live().Add(this);
    }
    ~TempDir() {
        Live().Remove(this);
        Erase(path, maker);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::filesystem::path operator/(const std::string& name) const { return path / name; }

    std::filesystem::path path;

private:
    static void Erase(const std::filesystem::path& path, pid_t maker) {
        if (getpid() != maker)
            return;
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }

    // The directories alive in this process, removed at exit if their owners never go.
    class Registry {
    public:
        Registry() {
            std::atexit([] { Live().EraseAll(); });
        }
        void Add(const TempDir* dir) {
            std::lock_guard<std::mutex> guard(lock);
            dirs.push_back({dir->path, dir->maker});
        }
        void Remove(const TempDir* dir) {
            std::lock_guard<std::mutex> guard(lock);
            std::erase_if(dirs, [&](const Entry& e) { return e.path == dir->path; });
        }
        void EraseAll() {
            std::lock_guard<std::mutex> guard(lock);
            for (const Entry& e : dirs)
                Erase(e.path, e.maker);
            dirs.clear();
        }

    private:
        struct Entry {
            std::filesystem::path path;
            pid_t maker;
        };
        std::mutex lock;
        std::vector<Entry> dirs;
    };
    // Never destroyed: the exit handler may run after other statics are gone.
    static Registry& Live() {
        static Registry* registry = new Registry;
        return *registry;
    }

    pid_t maker = getpid();
};

} // namespace TestSupport
