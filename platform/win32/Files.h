// File names as the game writes them ('\' separators, any letter case) on a case-sensitive file system.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace Win32 {

// The POSIX path for a game path: '\' becomes '/', "X:" drive prefixes are dropped (a leading '\' after them
// means the file-system root), and each existing component is matched without regard to letter case.
// Components that do not exist yet are kept as written, so a path to a new file can be made.
std::string NativePath(std::string_view path);
// The same into native, reusing its buffer.
void NativePath(std::string_view path, std::string& native);

// fopen on the native path of a game path. Opened for reading, what is not a regular file (a fifo would
// wait for a writer for ever, a device never ends) is refused, with a message when it is not a directory.
FILE* OpenFile(std::string_view path, const char* mode);

// size bytes at offset of a file into buffer, without a stdio stream or any allocation of its own once the
// thread's path buffer has grown; false when the file cannot be opened or the range cannot be read whole,
// and for what is not a regular file (as OpenFile).
bool ReadFileRange(std::string_view path, uint64_t offset, void* buffer, size_t size);

bool FileExists(std::string_view path);
// FileExists, and a message on stderr when something that is not a regular file stands at the path: for
// readers that open the path by other means (streams of the standard library), which would block on a fifo.
bool CheckRegularFile(std::string_view path);
bool DirectoryExists(std::string_view path);

// Largest file a whole-file read takes: far beyond any text or settings file the game reads.
constexpr size_t MaxWholeFileBytes = size_t(64) << 20;

// The whole file as bytes; false when it cannot be read. What is not a regular file (a device, a fifo, a
// directory) or is larger than the limit is refused with a message on stderr.
bool ReadFile(std::string_view path, std::string& bytes, size_t limit = MaxWholeFileBytes);

// The whole file as text: CR LF and lone CR line ends become LF, as a text-mode read does.
bool ReadTextFile(std::string_view path, std::string& text);

// Text with CR LF and lone CR turned into LF.
std::string NormaliseLineEnds(std::string_view text);

// Forgets what the case-insensitive lookup has cached; call after files were made or removed behind its back.
void FlushPathCache();

} // namespace Win32
