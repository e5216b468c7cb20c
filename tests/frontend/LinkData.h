// A test's own data tree: the built sample data linked entry by entry into a scratch folder, but for the
// folders on the way to the user missions, which are made, and the user missions' folder itself, which is
// left out, so that what the mission generator writes stays in the scratch folder.
#pragma once

#include <filesystem>
#include <string>

namespace FrontendTest {

inline void LinkDataButUserMissions(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::filesystem::create_directory(to);
    for (const auto& entry : std::filesystem::directory_iterator(from)) {
        const std::string name = entry.path().filename().string();
        if (name == "User")
            continue;
        if (name == "Scripts" || name == "Missions")
            LinkDataButUserMissions(entry.path(), to / name);
        else
            std::filesystem::create_symlink(entry.path(), to / name);
    }
}

} // namespace FrontendTest
