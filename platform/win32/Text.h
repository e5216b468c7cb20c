// ASCII lower-casing for the names that Windows compares without case (window classes, registered
// messages, file names).
#pragma once

#include <cctype>
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

} // namespace Win32
