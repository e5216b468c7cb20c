// make_videos <data dir>: the sample films under Data/Movies.
#include "tools/video/VideoWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace {

// The intro: a dusk sky over the sea with the sun sinking into it low on the right, and a fighter crossing
// from right to left as it climbs, trailing vapour; the splash page writes the title over the middle.
bool InFighter(double x, double y) {
    // Seen from above, nose along -x, one unit long.
    static const double outline[][2] = {{-0.50, 0.00}, {-0.38, 0.03},  {-0.08, 0.08}, {0.14, 0.34},
                                        {0.20, 0.34},  {0.17, 0.07},   {0.30, 0.07},  {0.42, 0.17},
                                        {0.47, 0.17},  {0.50, 0.03},   {0.50, -0.03}, {0.47, -0.17},
                                        {0.42, -0.17}, {0.30, -0.07},  {0.17, -0.07}, {0.20, -0.34},
                                        {0.14, -0.34}, {-0.08, -0.08}, {-0.38, -0.03}};
    const int n = int(sizeof outline / sizeof outline[0]);
    bool in = false;
    for (int i = 0, j = n - 1; i < n; j = i++)
        if ((outline[i][1] > y) != (outline[j][1] > y) &&
            x < (outline[j][0] - outline[i][0]) * (y - outline[i][1]) / (outline[j][1] - outline[i][1]) +
                    outline[i][0])
            in = !in;
    return in;
}

void PaintIntro(int n, int width, int height, uint8_t* rgb, int stride) {
    const double t = n / 25.0;
    const double horizon = height * 0.68;
    const double sunX = width * 0.76, sunY = height * (0.60 + 0.02 * t), radius = height * 0.05;
    // The jet: from beyond the right edge to beyond the left over the five seconds, climbing a little.
    const double jetX = width * (1.15 - 0.27 * t), jetY = height * (0.30 - 0.03 * t), size = width * 0.09;
    const double climb = 0.12;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = rgb + size_t(y) * size_t(stride) + size_t(x) * 3;
            double r, g, b;
            if (y < horizon) {
                const double k = y / horizon;
                r = 14 + 216 * k * k;
                g = 18 + 100 * k * k;
                b = 48 + 40 * k;
            } else {
                const double k = (y - horizon) / (height - horizon);
                r = 90 - 80 * k;
                g = 52 - 40 * k;
                b = 56 - 20 * k;
                // The sun's path on the water.
                const double column = std::exp(-std::pow((x - sunX) / (8.0 + 40.0 * k), 2.0));
                const double ripple = 0.5 + 0.5 * std::sin(y * 1.7 + x * 0.05 + t * 3.0);
                r += 140 * column * ripple * (1 - k);
                g += 100 * column * ripple * (1 - k);
                b += 50 * column * ripple * (1 - k);
            }
            const double d = std::hypot(x - sunX, y - sunY);
            const double glow = std::exp(-d / (height * 0.25)) * 0.7;
            r += (255 - r) * glow;
            g += (200 - g) * glow;
            b += (140 - b) * glow;
            if (d < radius && y < horizon) {
                r = 255;
                g = 236;
                b = 190;
            }
            // The vapour trail behind the jet.
            const double along = x - jetX, across = (y - jetY) - along * climb;
            if (along > size * 0.5 && along < size * 6 && std::fabs(across) < 1.0 + along * 0.01) {
                const double fade = 0.35 * (1 - (along - size * 0.5) / (size * 5.5));
                r += (245 - r) * fade;
                g += (240 - g) * fade;
                b += (235 - b) * fade;
            }
            const double c = std::cos(climb), s = std::sin(climb);
            const double lx = ((x - jetX) * c - (y - jetY) * s) / size,
                         ly = ((x - jetX) * s + (y - jetY) * c) / size;
            if (InFighter(lx, ly)) {
                r = 16;
                g = 14;
                b = 26;
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
