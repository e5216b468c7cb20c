#include "base/TextTable.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

namespace Base {

Info TextTable;

String GetText(std::string_view key) {
    return TextTable.GetStringDefault(key, String());
}

std::string FormatArguments(std::string_view format) {
    std::string kinds;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%')
            continue;
        if (++i < format.size() && format[i] == '%')
            continue;
        // Flags, width and precision; a '*' takes an int argument of its own.
        while (i < format.size() && std::strchr("-+ #0", format[i]))
            ++i;
        for (bool precision = false;; precision = true) {
            if (i < format.size() && format[i] == '*') {
                kinds += 'i';
                ++i;
            }
            while (i < format.size() && format[i] >= '0' && format[i] <= '9')
                ++i;
            if (precision || i >= format.size() || format[i] != '.')
                break;
            ++i;
        }
        const char c = i < format.size() ? format[i] : '\0';
        if (c && std::strchr("diouxXc", c))
            kinds += 'i';
        else if (c && std::strchr("fFeEgGaA", c))
            kinds += 'f';
        else if (c == 's')
            kinds += 's';
        else if (c == 'p')
            kinds += 'p';
        else
            kinds += '?'; // a length modifier, %n, an unknown conversion or the end of the text
    }
    return kinds;
}

String GetFormat(std::string_view key, std::string_view kinds) {
    String text = GetText(key);
    if (FormatArguments(text) == kinds)
        return text;
    static std::mutex lock;
    static std::set<std::string, std::less<>> told;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (told.emplace(key).second)
            std::fprintf(
                stderr,
                "Strings file: \"%.*s\" is \"%s\", which is not a format for the arguments \"%.*s\"\n",
                int(key.size()), key.data(), text.c_str(), int(kinds.size()), kinds.data());
    }
    return String(key);
}

} // namespace Base
