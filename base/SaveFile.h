// Files that the game writes whole (the settings, the pilots): never left half written. The bytes go to a
// file beside the target, reach the disk, and are renamed over it, so a failed or interrupted save leaves
// the old file as it was.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Base {

// Writes size bytes as the whole file at the game path. A symbolic link there is followed to the file it
// names (which may not exist yet), so the link stays a link. False on failure, with the file that could not
// be written in target and the reason (an errno value) in error; nothing is changed then.
bool SaveFileWhole(std::string_view path, const void* bytes, size_t size, std::string& target, int& error);

} // namespace Base
