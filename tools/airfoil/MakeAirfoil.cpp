// Writes "Data\Airfoil.dat" under the data directory given as the argument: 360 lift, 360 drag and 360 moment
// coefficients, each table from 0 to 179 degrees and then -180 to -1.
#include "tools/airfoil/AirfoilTable.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_airfoil <data directory>\n");
        return 2;
    }
    const std::filesystem::path directory = std::filesystem::path(argv[1]) / "Data";
    std::filesystem::create_directories(directory);
    const std::filesystem::path path = directory / "Airfoil.dat";
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        std::perror(path.c_str());
        return 1;
    }
    double (*tables[3])(double) = {Airfoil::Lift, Airfoil::Drag, Airfoil::Moment};
    for (auto table : tables) {
        for (int i = 0; i < 360; ++i)
            std::fprintf(file, "%.6f%c", table(Airfoil::IndexDegrees(i)), i % 10 == 9 ? '\n' : ' ');
        std::fputc('\n', file);
    }
    const bool ok = std::fclose(file) == 0;
    if (!ok)
        std::perror(path.c_str());
    return ok ? 0 : 1;
}
