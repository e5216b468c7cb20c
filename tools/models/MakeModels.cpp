// Writes the sample game's models and their descriptions into the data tree: make_models <data directory>.
#include "tools/models/Animations.h"
#include "tools/models/ModelWriter.h"
#include "tools/models/Samples.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

// A models-directory path ("Airplanes\Su27.dff") under the models root.
std::filesystem::path Under(const std::filesystem::path& root, std::string path) {
    for (char& c : path) {
        if (c == '\\')
            c = '/';
    }
    return root / path;
}

bool WriteFile(const std::filesystem::path& path, const void* data, size_t size) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary);
    file.write(static_cast<const char*>(data), std::streamsize(size));
    return bool(file.flush());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_models <data directory>\n");
        return 2;
    }
    const std::filesystem::path root = std::filesystem::path(argv[1]) / "Data" / "Models";
    const std::filesystem::path animations = std::filesystem::path(argv[1]) / "Data" / "Anims";
    if (!Tools::StartModelEngine()) {
        std::fprintf(stderr, "make_models: the engine does not start\n");
        return 1;
    }
    bool ok = true;
    for (const Tools::SampleModel& sample : Tools::SampleModels()) {
        const std::vector<uint8_t> bytes = Tools::ClumpBytes(sample.model);
        if (bytes.empty() || !WriteFile(Under(root, sample.path), bytes.data(), bytes.size())) {
            std::fprintf(stderr, "make_models: cannot write %s\n", sample.path.c_str());
            ok = false;
        }
        // Animated models' part animations, named by the model's title.
        const std::string title = std::filesystem::path(Under(root, sample.path)).stem().string();
        for (const Tools::AnimationFile& a : sample.model.animated
                                                 ? Tools::AircraftAnimations(sample.model, title)
                                                 : std::vector<Tools::AnimationFile>()) {
            if (!WriteFile(animations / a.name, a.bytes.data(), a.bytes.size())) {
                std::fprintf(stderr, "make_models: cannot write %s\n", a.name.c_str());
                ok = false;
            }
        }
        for (const Tools::SideFile& side : sample.sideFiles) {
            if (!WriteFile(Under(root, side.path), side.text.data(), side.text.size())) {
                std::fprintf(stderr, "make_models: cannot write %s\n", side.path.c_str());
                ok = false;
            }
        }
    }
    const std::filesystem::path data = std::filesystem::path(argv[1]) / "Data";
    for (const Tools::SideFile& side : Tools::DataDescriptions()) {
        if (!WriteFile(Under(data, side.path), side.text.data(), side.text.size())) {
            std::fprintf(stderr, "make_models: cannot write %s\n", side.path.c_str());
            ok = false;
        }
    }
    Tools::StopModelEngine();
    return ok ? 0 : 1;
}
