#include "base/String.h"

#include <cstdio>

namespace Base {

void FormatV(String& out, const char* format, va_list arguments) {
    // The length is counted on a copy of the list: a va_list cannot be walked twice.
    va_list counting;
    va_copy(counting, arguments);
    char small[1024];
    int length = std::vsnprintf(small, sizeof small, format, counting);
    va_end(counting);
    if (length < 0) {
        out.clear();
        return;
    }
    if (static_cast<size_t>(length) < sizeof small) {
        out.assign(small, static_cast<size_t>(length));
        return;
    }
    out.resize(static_cast<size_t>(length));
    std::vsnprintf(out.data(), out.size() + 1, format, arguments);
}

void Format(String& out, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    FormatV(out, format, arguments);
    va_end(arguments);
}

String Formatted(const char* format, ...) {
    String out;
    va_list arguments;
    va_start(arguments, format);
    FormatV(out, format, arguments);
    va_end(arguments);
    return out;
}

int Find(std::string_view text, std::string_view what, int start) {
    if (start < 0)
        start = 0;
    size_t at = text.find(what, static_cast<size_t>(start));
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

String Substr(std::string_view text, int position, int count) {
    if (position < 0 || static_cast<size_t>(position) >= text.size())
        return {};
    return String(text.substr(static_cast<size_t>(position),
                              count < 0 ? std::string_view::npos : static_cast<size_t>(count)));
}

String StripTrailingBackslash(std::string_view path) {
    if (path.size() > 1 && path.back() == '\\')
        path.remove_suffix(1);
    return String(path);
}

String GetDirectory(std::string_view path) {
    size_t slash = path.rfind('\\');
    return slash == std::string_view::npos ? String() : String(path.substr(0, slash));
}

String GetFileTitle(std::string_view path) {
    size_t slash = path.rfind('\\');
    size_t start = slash == std::string_view::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string_view::npos)
        return String(path.substr(start));
    if (slash != std::string_view::npos && dot < slash)
        return {};
    return String(path.substr(start, dot - start));
}

String GetExtension(std::string_view path) {
    size_t dot = path.rfind('.');
    return dot == std::string_view::npos ? String() : String(path.substr(dot + 1));
}

String MakePath(std::string_view directory, std::string_view name, std::string_view extension) {
    String path;
    AssignPath(path, directory, name, extension);
    return path;
}

void AssignPath(String& path, std::string_view directory, std::string_view name, std::string_view extension) {
    path.clear();
    if (!directory.empty()) {
        if (directory.size() > 1 && directory.back() == '\\')
            directory.remove_suffix(1);
        path += directory;
        path += '\\';
    }
    path += name;
    if (!extension.empty()) {
        path += '.';
        path += extension;
    }
}

String Clip(std::string_view text, size_t maxLength) {
    String out(text.substr(0, maxLength));
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    if (text.size() > maxLength)
        out += "...";
    return out;
}

} // namespace Base
