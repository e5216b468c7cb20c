// The strings file: every text the player sees, and the data directories, by dotted key.
#pragma once

#include "base/Info.h"
#include "base/String.h"

#include <string_view>

namespace Base {

// Empty until start-up assigns it a deep copy of the strings file's tree; read-only afterwards.
extern Info TextTable;

// The (resolved) value at the key; empty when the key is missing.
String GetText(std::string_view key);

} // namespace Base
