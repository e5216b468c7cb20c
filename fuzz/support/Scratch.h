// A directory of this fuzzer process under the system's temporary folder, for the inputs that must be files:
// made on first use, removed with all it holds when the process ends. Its path ends in '/'.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace FuzzSupport {

inline const std::string& ScratchDirectory() {
    struct Directory {
        std::string path;
        Directory() {
            std::string pattern = (std::filesystem::temp_directory_path() / "corvane-fuzz-XXXXXX").string();
            if (!mkdtemp(pattern.data())) {
                std::perror("cannot make a scratch directory");
                std::abort();
            }
            path = pattern + "/";
        }
        ~Directory() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    };
    static const Directory directory;
    return directory.path;
}

} // namespace FuzzSupport
