// The program's string: std::string, with the few helpers that the game's code calls on it.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

namespace Base {

using String = std::string;

// printf into a string. Any length is printed whole.
void Format(String& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void FormatV(String& out, const char* format, va_list arguments) __attribute__((format(printf, 2, 0)));
String Formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Index of the first occurrence of what at or after start; -1 when there is none.
int Find(std::string_view text, std::string_view what, int start = 0);

// count -1 (or past the end) takes the rest; a position past the end gives an empty string.
String Substr(std::string_view text, int position, int count = -1);

// Path helpers: '\' is the only separator they know.
String StripTrailingBackslash(std::string_view path);
String GetDirectory(std::string_view path);
String GetFileTitle(std::string_view path);
String GetExtension(std::string_view path);
String MakePath(std::string_view directory, std::string_view name, std::string_view extension = {});
// MakePath into path, reusing its buffer.
void AssignPath(String& path, std::string_view directory, std::string_view name,
                std::string_view extension = {});

// Text from a file as a message may show it: at most maxLength characters (then "..."), control characters
// as '?', so that a damaged or hostile file cannot flood or garble what the player reads.
String Clip(std::string_view text, size_t maxLength = 120);

} // namespace Base
