// The *.info syntax: the parser and the writer of Base::Info trees.
#include "base/Info.h"

#include "base/InfoPool.h"
#include "base/TextTable.h"
#include "platform/win32/Files.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace Base {
namespace {

constexpr int MaxIncludeDepth = 256;

// A table rather than six comparisons: every byte of a file goes through here.
constexpr auto BlankTable = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : {' ', '\t', '\r', '\n', '\v', '\f'})
        table[c] = true;
    return table;
}();

bool IsBlank(char c) {
    return BlankTable[static_cast<unsigned char>(c)];
}

// A node on the parser's stack, with its depth below the root of the load.
struct Level {
    Info* node;
    int depth;
};

struct Cursor {
    std::string_view line;
    size_t pos = 0;

    bool AtEnd() const { return pos >= line.size(); }
    void SkipBlanks() {
        while (pos < line.size() && IsBlank(line[pos]))
            ++pos;
    }
    std::string_view Token() {
        SkipBlanks();
        size_t start = pos;
        while (pos < line.size() && !IsBlank(line[pos]))
            ++pos;
        return line.substr(start, pos - start);
    }
    std::string_view Rest() {
        std::string_view rest = line.substr(std::min(pos, line.size()));
        pos = line.size();
        return rest;
    }
};

int Segments(std::string_view key) {
    return 1 + int(std::count(key.begin(), key.end(), '.'));
}

// The name after s: "x$00000007" -> "x$00000008"; any other s -> s + "$00000000". Counted up in place
// rather than printed: generated keys come once per list line. Past 99999999 the number grows a digit.
String NextName(const String& s) {
    size_t n = s.size();
    if (n >= 9 && s[n - 9] == '$' &&
        std::all_of(s.end() - 8, s.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        String next = s;
        size_t digit = n;
        while (digit > n - 8 && next[digit - 1] == '9')
            next[--digit] = '0';
        if (digit > n - 8)
            ++next[digit - 1];
        else
            next.insert(n - 8, 1, '1');
        return next;
    }
    return s + "$00000000";
}

// Reads a file as a text-mode read would give it (CR LF or a lone CR is one LF), copying the bytes again
// only when they hold a CR.
bool ReadText(std::string_view path, String& text) {
    if (!Win32::ReadFile(path, text))
        return false;
    if (text.find('\r') != String::npos)
        text = Win32::NormaliseLineEnds(text);
    return true;
}

class Parser {
public:
    // Where a statement stands: before its key, before its value, or inside a quoted value.
    enum State { ExpectKey, ExpectValue, InQuotes };

    Parser(std::vector<Level>& stack, String directory) : stack(stack), directory(std::move(directory)) {}

    // 0, or the number of the line where the parse failed. The text has LF line ends.
    int Run(std::string_view text) {
        const size_t startSize = stack.size();
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string_view::npos)
                end = text.size();
            ++lineNumber;
            if (!Line(text.substr(start, end - start), startSize))
                return lineNumber;
            start = end + 1;
        }
        return state == ExpectKey && stack.size() == startSize ? 0 : std::max(lineNumber, 1);
    }

private:
    Info* Top() const { return stack.back().node; }

    bool Add() {
        if (stack.back().depth + Segments(key) > Info::MaxDepth)
            return false;
        state = ExpectKey;
        // The value is built afresh for every statement, so the node may take its buffer.
        return Top()->AddValue(key, std::move(value), reference) != nullptr;
    }

    bool Line(std::string_view text, size_t startSize) {
        Cursor in{text};
        in.SkipBlanks();
        if (!in.AtEnd() && text[in.pos] == ';')
            return true;
        for (;;) {
            if (state == InQuotes) {
                size_t quote = text.find('"', in.pos);
                if (quote == std::string_view::npos) {
                    value += in.Rest();
                    value += '\n';
                    return true;
                }
                value += text.substr(in.pos, quote - in.pos);
                in.pos = quote + 1;
                reference = false;
                if (!Add())
                    return false;
                continue;
            }
            in.SkipBlanks();
            if (state == ExpectValue) {
                if (in.AtEnd()) {
                    value.clear();
                    reference = false;
                    return Add();
                }
                char c = text[in.pos++];
                if (c == '"') {
                    value.clear();
                    state = InQuotes;
                } else if (c == '#') {
                    in.SkipBlanks();
                    if (in.AtEnd())
                        return false;
                    if (text[in.pos] == '#') {
                        ++in.pos;
                        std::string_view name = in.Token();
                        if (name.empty())
                            return false;
                        value.assign(name);
                        reference = true;
                    } else {
                        value = Lookup(in.Token());
                        if (value.empty())
                            return false;
                        reference = false;
                    }
                    if (!Add())
                        return false;
                } else {
                    --in.pos;
                    std::string_view rest = in.Rest();
                    while (!rest.empty() && IsBlank(rest.back()))
                        rest.remove_suffix(1);
                    value.assign(rest);
                    reference = false;
                    return Add();
                }
                continue;
            }
            // ExpectKey: a key, a brace or an include.
            if (in.AtEnd())
                return true;
            char c = text[in.pos++];
            if (c == '#') {
                if (in.AtEnd() || IsBlank(text[in.pos])) {
                    const auto& children = Top()->GetChildren();
                    key = children.empty() ? String("$00000000") : NextName(children.rbegin()->first);
                    state = ExpectValue;
                } else {
                    key.clear();
                    return Include(in.Rest());
                }
            } else if (c == '{') {
                if (key.empty())
                    return false;
                Info* child = Top()->GetChildForWrite(key);
                int depth = stack.back().depth + Segments(key);
                if (!child || depth > Info::MaxDepth)
                    return false;
                stack.push_back({child, depth});
            } else if (c == '}') {
                // Never below the node this parse started in (an included file cannot close its includer's
                // blocks).
                if (stack.size() <= startSize)
                    return false;
                stack.pop_back();
            } else {
                --in.pos;
                key.assign(in.Token());
                if (key.empty())
                    return false;
                state = ExpectValue;
            }
        }
    }

    // A '#' value: the nearest stack node's child at the dotted name, else the strings file's text.
    String Lookup(std::string_view name) const {
        for (auto level = stack.rbegin(); level != stack.rend(); ++level)
            if (const Info* found = level->node->GetChild(name))
                return found->GetValue();
        return GetText(name);
    }

    bool Include(std::string_view name) {
        if (Info::IncludeDepth > MaxIncludeDepth)
            return false;
        String path = MakePath(directory, name);
        String text;
        if (!ReadText(path, text))
            return false;
        ++Info::IncludeDepth;
        int result = Parser(stack, GetDirectory(path)).Run(text);
        --Info::IncludeDepth;
        return result == 0;
    }

    std::vector<Level>& stack;
    String directory;
    int lineNumber = 0;
    State state = ExpectKey;
    String key;
    String value;
    bool reference = false;
};

String DirectoryOf(std::string_view path) {
    String game(path);
    std::replace(game.begin(), game.end(), '/', '\\');
    return GetDirectory(game);
}

int Parse(Info& root, std::string_view text, std::string_view directory) {
    InfoPool::Scope pool;
    std::vector<Level> stack{{&root, 0}};
    int result = Parser(stack, String(directory)).Run(text);
    if (result != 0)
        root.ClearChildren(true);
    return result;
}

// ---- writer

bool WritableName(std::string_view name) {
    if (name.empty() || name.front() == '#' || name.front() == '{' || name.front() == '}' ||
        name.front() == ';')
        return false;
    return std::none_of(name.begin(), name.end(), [](char c) { return IsBlank(c) || c == '.'; });
}

bool NeedsQuotes(std::string_view text) {
    if (text.find_first_of("\n{}#;") != std::string_view::npos)
        return true;
    return !text.empty() && (IsBlank(text.front()) || IsBlank(text.back()));
}

bool WriteLine(const Info& node, int level, String& out) {
    const String& text = node.Value();
    if (!Info::Writable(text, node.IsReference()))
        return false;
    if (node.IsReference()) {
        out += "##";
        out += text;
    } else if (NeedsQuotes(text)) {
        out += '"';
        out += text;
        out += '"';
    } else {
        out += text;
    }
    out += '\n';
    if (node.GetChildren().empty())
        return true;
    out.append(size_t(level), '\t');
    out += "{\n";
    for (const auto& [name, child] : node.GetChildren()) {
        if (!WritableName(name))
            return false;
        out.append(size_t(level) + 1, '\t');
        out += name;
        out += '\t';
        if (!WriteLine(*child, level + 1, out))
            return false;
    }
    out.append(size_t(level), '\t');
    out += "}\n";
    return true;
}

} // namespace

int Info::LoadFile(std::string_view path) {
    String text;
    if (!ReadText(path, text))
        return -1;
    return Parse(*this, text, DirectoryOf(path));
}

int Info::LoadText(std::string_view text, std::string_view directory) {
    // Line ends as a text-mode read leaves them: CR LF (or a lone CR) is one LF. Text without CR is
    // parsed where it lies, without a copy.
    if (text.find('\r') == std::string_view::npos)
        return Parse(*this, text, directory);
    return Parse(*this, Win32::NormaliseLineEnds(text), directory);
}

bool Info::Writable(std::string_view text, bool isReference) {
    if (text.find('\r') != std::string_view::npos)
        return false;
    if (isReference)
        return !text.empty() && std::none_of(text.begin(), text.end(), IsBlank);
    if (!NeedsQuotes(text))
        return text.empty() || text.front() != '"';
    if (text.find('"') != std::string_view::npos)
        return false;
    // A continuation line loses its leading blanks, and one starting with ';' is a comment.
    for (size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n', lf + 1)) {
        if (lf + 1 < text.size() && text[lf + 1] != '\n' && (IsBlank(text[lf + 1]) || text[lf + 1] == ';'))
            return false;
    }
    return true;
}

bool Info::SaveText(String& out) const {
    String text;
    for (const auto& [name, child] : children) {
        if (!WritableName(name))
            return false;
        text += name;
        text += '\t';
        if (!WriteLine(*child, 0, text))
            return false;
    }
    out = std::move(text);
    return true;
}

bool Info::SaveFile(std::string_view path) const {
    String text;
    if (!SaveText(text))
        return false;
    FILE* file = Win32::OpenFile(path, "wb");
    if (!file)
        return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

} // namespace Base
