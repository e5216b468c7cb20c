#include "tests/rig/Script.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

namespace Rig {
namespace {

// Splits a line into words; "..." is one word without its quotes.
bool SplitWords(const std::string& line, std::vector<std::string>& words) {
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
            continue;
        }
        if (line[i] == '#')
            break;
        if (line[i] == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string::npos)
                return false;
            words.push_back(line.substr(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        size_t end = line.find_first_of(" \t#", i);
        if (end == std::string::npos)
            end = line.size();
        words.push_back(line.substr(i, end - i));
        i = end;
    }
    return true;
}

} // namespace

std::string ScriptEvent::ToString() const {
    std::string s = std::to_string(frame) + " " + device + " " + event;
    for (const std::string& a : arguments)
        s += a.find_first_of(" \t") == std::string::npos && !a.empty() ? " " + a : " \"" + a + "\"";
    return s;
}

bool Script::Parse(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> words;
        if (!SplitWords(line, words)) {
            error = "line " + std::to_string(number) + ": unclosed quote";
            return false;
        }
        if (words.empty())
            continue;
        ScriptEvent e;
        e.line = number;
        const std::string& f = words[0];
        auto [end, ec] = std::from_chars(f.data(), f.data() + f.size(), e.frame);
        if (ec != std::errc() || end != f.data() + f.size()) {
            error = "line " + std::to_string(number) + ": \"" + f + "\" is not a frame number";
            return false;
        }
        if (words.size() < 3) {
            error = "line " + std::to_string(number) + ": a frame, a device and an event are needed";
            return false;
        }
        e.device = words[1];
        if (e.device != "keyboard" && e.device != "mouse" && e.device != "joystick" && e.device != "ui") {
            error = "line " + std::to_string(number) + ": unknown device \"" + e.device + "\"";
            return false;
        }
        e.event = words[2];
        e.arguments.assign(words.begin() + 3, words.end());
        Add(std::move(e));
    }
    return true;
}

bool Script::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (!Parse(text.str())) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

void Script::Add(ScriptEvent event) {
    // After every event of the same frame: script order is kept.
    auto at = std::upper_bound(events.begin(), events.end(), event.frame,
                               [](uint32_t frame, const ScriptEvent& e) { return frame < e.frame; });
    events.insert(at, std::move(event));
}

std::vector<const ScriptEvent*> Script::At(uint32_t frame, const std::string& device) const {
    std::vector<const ScriptEvent*> found;
    auto first = std::lower_bound(events.begin(), events.end(), frame,
                                  [](const ScriptEvent& e, uint32_t f) { return e.frame < f; });
    for (auto i = first; i != events.end() && i->frame == frame; ++i)
        if (i->device == device)
            found.push_back(&*i);
    return found;
}

uint32_t Script::LastFrame() const {
    return events.empty() ? 0 : events.back().frame;
}

} // namespace Rig
