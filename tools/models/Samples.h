// The sample game's models: every *.dff the data tree holds, with the model descriptions and object
// descriptions that name them.
#pragma once

#include "tools/models/Model.h"

#include <string>
#include <vector>

namespace Tools {

struct SideFile {
    std::string path; // under the models directory, backslash-separated
    std::string text;
};

struct SampleModel {
    std::string path; // under the models directory, backslash-separated, e.g. "Airplanes\Su27.dff"
    Model model;
    std::vector<SideFile> sideFiles;
};

std::vector<SampleModel> SampleModels();
// Model descriptions that live under the data directory rather than beside their models (the cockpits'),
// with paths relative to it.
std::vector<SideFile> DataDescriptions();

} // namespace Tools
