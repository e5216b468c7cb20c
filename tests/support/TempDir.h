// A scratch directory of its own for one test: made by mkdtemp under the system's temporary folder, so that
// tests running at once (other build trees, other checkouts) never share a path, and removed with all it
// holds when the object goes.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace TestSupport {

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "corvane") {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a temporary directory from " + pattern);
        path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::filesystem::path operator/(const std::string& name) const { return path / name; }

    std::filesystem::path path;
};

} // namespace TestSupport
