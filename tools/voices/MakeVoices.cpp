// make_voices <missions folder> <data folder>: speaks the sample missions' radio messages. Every
// "VoiceMessage" action that names a "Wav" gets that sound file under the data folder's sounds, spoken by
// espeak-ng from the action's "Text" (the same text always gives the same bytes). A message whose sound
// cannot be made fails the tool, and so the build: a mission would otherwise play its radio in silence.
#include "base/Info.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Message {
    std::string text;
    std::string mission; // where it was first found, for messages
};

// Every voice message of the tree, by its sound's path ('\' as the game writes it).
bool Collect(const Base::Info& node, const std::string& mission, std::map<std::string, Message>& out) {
    for (const auto& [name, child] : node.GetChildren()) {
        if (child->Value() == "VoiceMessage") {
            Base::String wav, text;
            if (child->TryGetString("Wav", wav) && !wav.empty() && child->TryGetString("Text", text)) {
                const auto [at, added] = out.try_emplace(wav, Message{text, mission});
                if (!added && at->second.text != text) {
                    std::fprintf(stderr,
                                 "make_voices: %s speaks \"%s\" into %s, which %s gives other words\n",
                                 mission.c_str(), text.c_str(), wav.c_str(), at->second.mission.c_str());
                    return false;
                }
            }
        }
        if (!Collect(*child, mission, out))
            return false;
    }
    return true;
}

// espeak-ng run without a shell: the text is one argument, whatever it holds.
bool Speak(const std::string& text, const fs::path& file) {
    std::vector<std::string> args{"espeak-ng", "-v", "en-gb", "-s", "165", "-w", file.string(), "--", text};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "espeak-ng", nullptr, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "make_voices: espeak-ng cannot be started (is it installed?)\n");
        return false;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "make_voices: espeak-ng failed on \"%s\"\n", text.c_str());
        return false;
    }
    std::error_code error;
    return fs::file_size(file, error) > 44 && !error;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_voices <missions folder> <data folder>\n");
        return 2;
    }
    const fs::path missions = argv[1], sounds = fs::path(argv[2]) / "Data" / "Sounds";
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(missions))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::map<std::string, Message> messages;
    for (const fs::path& file : files) {
        Base::Info tree;
        if (tree.LoadFile(file.string()) != 0) {
            std::fprintf(stderr, "make_voices: %s cannot be read\n", file.c_str());
            return 1;
        }
        if (!Collect(tree, file.string(), messages))
            return 1;
    }
    for (const auto& [wav, message] : messages) {
        std::string relative = wav;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        const fs::path out = sounds / relative;
        fs::create_directories(out.parent_path());
        if (!Speak(message.text, out)) {
            std::fprintf(stderr, "make_voices: %s has no sound for %s\n", message.mission.c_str(),
                         wav.c_str());
            return 1;
        }
    }
    std::printf("make_voices: %zu voice messages\n", messages.size());
    return 0;
}
