// make_videos <data dir>: the sample films under Data/Movies.
#include "tools/video/VideoWriter.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

namespace {

// The intro: a slow sunrise gradient with a bright disc climbing over it, and a low chord-like tone.
void PaintIntro(int n, int width, int height, uint8_t* rgb, int stride) {
    const double t = n / 25.0;
    const double sunX = width * 0.5, sunY = height * (0.9 - 0.1 * t), radius = height * 0.12;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = rgb + size_t(y) * size_t(stride) + size_t(x) * 3;
            const double sky = double(y) / height;
            double r = 20 + 180 * sky * std::min(1.0, t / 3), g = 30 + 90 * sky, b = 90 + 60 * (1 - sky);
            const double d = std::hypot(x - sunX, y - sunY);
            if (d < radius) {
                r = 255;
                g = 220;
                b = 120;
            }
            p[0] = uint8_t(std::min(255.0, r));
            p[1] = uint8_t(std::min(255.0, g));
            p[2] = uint8_t(std::min(255.0, b));
        }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_videos <data dir>\n");
        return 2;
    }
    const std::filesystem::path movies = std::filesystem::path(argv[1]) / "Data" / "Movies";
    std::filesystem::create_directories(movies);
    Tools::FilmSettings pattern; // 320 x 240, 25 fps, 3 s, 440 Hz
    if (!Tools::WriteVideo((movies / "TestPattern.avi").string(), pattern))
        return 1;
    Tools::FilmSettings intro;
    intro.frames = 125;
    intro.toneHz = 220.0;
    intro.paint = [&](int n, uint8_t* rgb, int stride) {
        PaintIntro(n, intro.width, intro.height, rgb, stride);
    };
    if (!Tools::WriteVideo((movies / "Intro.avi").string(), intro))
        return 1;
    return 0;
}
