// The scenario runner played as a process of its own, as a run on another day would be: its exit status and
// the trace and digest lines it prints. Users define CORVANE_BINARY_DIR.
#pragma once

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace Rig {

struct RunnerOutcome {
    int status = -1;
    std::vector<std::string> trace, digests;

    // The frame of the first trace line holding the text, or -1.
    int FrameOf(const std::string& text) const {
        for (const std::string& line : trace)
            if (line.find(text) != std::string::npos)
                return std::stoi(line.substr(6));
        return -1;
    }
};

inline RunnerOutcome RunRunnerProcess(const std::string& arguments) {
    const std::string command = std::string(CORVANE_BINARY_DIR) + "/tests/rig/scenario_runner " + arguments;
    RunnerOutcome run;
    FILE* out = popen(command.c_str(), "r");
    if (!out)
        return run;
    std::string text;
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof(buffer), out))
        text.append(buffer, n);
    run.status = pclose(out);
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("trace ", 0) == 0)
            run.trace.push_back(line);
        else if (line.rfind("digest ", 0) == 0)
            run.digests.push_back(line);
    }
    return run;
}

} // namespace Rig
