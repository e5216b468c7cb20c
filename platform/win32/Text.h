// ASCII lower-casing for the names that Windows compares without case (window classes, registered
// messages, file names), and the copying of names into the structures' fixed character arrays.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace Win32 {

inline void LowerInPlace(std::string& s) {
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
}

inline std::string Lower(std::string_view s) {
    std::string out(s);
    LowerInPlace(out);
    return out;
}

// Copies a name into a field of size characters: cut to fit, always terminated; null copies as empty.
inline void CopyName(char* field, size_t size, const char* name) {
    const size_t kept = name ? std::min(std::strlen(name), size - 1) : 0;
    std::memcpy(field, name ? name : "", kept);
    field[kept] = '\0';
}

} // namespace Win32
