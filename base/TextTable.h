// The strings file: every text the player sees, and the data directories, by dotted key.
#pragma once

#include "base/Info.h"
#include "base/String.h"

#include <string>
#include <string_view>

namespace Base {

// Empty until start-up assigns it a deep copy of the strings file's tree; read-only afterwards.
extern Info TextTable;

// The (resolved) value at the key; empty when the key is missing.
String GetText(std::string_view key);

// The printf arguments a format takes, one letter each: 'i' an int (d i o u x X c, and a '*' width or
// precision), 'f' a double (f F e E g G a A), 's' a string, 'p' a pointer; '?' for a conversion that no
// caller passes safely (with a length modifier, %n, unknown or unfinished). "%%" takes none.
std::string FormatArguments(std::string_view format);

// The text at the key as a printf format for the arguments `kinds` (spelled as FormatArguments spells them).
// A text that asks for other arguments would read what was never passed: it is said once on stderr and the
// key, which holds no conversion, is returned instead.
String GetFormat(std::string_view key, std::string_view kinds);

} // namespace Base
