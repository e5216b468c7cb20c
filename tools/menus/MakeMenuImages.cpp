// make_menu_images <data dir>: the pictures behind the menu pages, painted procedurally (the same bytes on
// every run) into Data/Textures: a dusk over mountains and the sea with a flight of three jets climbing away
// from the sun, trailing vapour.
#include "tools/textures/TextureFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

struct Colour {
    double r, g, b;
};

Colour Mix(Colour a, Colour b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Smooth value noise on an integer lattice, from a fixed hash.
double Hash(int x, int y, int seed) {
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + uint32_t(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return double((h ^ (h >> 16)) & 0xFFFF) / 65535.0;
}

double Noise(double x, double y, int seed) {
    const int ix = int(std::floor(x)), iy = int(std::floor(y));
    const double fx = x - ix, fy = y - iy;
    const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    const double a = Hash(ix, iy, seed), b = Hash(ix + 1, iy, seed);
    const double c = Hash(ix, iy + 1, seed), d = Hash(ix + 1, iy + 1, seed);
    return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}

double Fractal(double x, double y, int seed, int octaves) {
    double sum = 0, amplitude = 0.5, total = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += Noise(x, y, seed + i) * amplitude;
        total += amplitude;
        x *= 2.03;
        y *= 2.03;
        amplitude *= 0.5;
    }
    return sum / total;
}

struct Canvas {
    int width, height;
    std::vector<Colour> pixels;
    Canvas(int w, int h) : width(w), height(h), pixels(size_t(w) * size_t(h)) {}
    Colour& At(int x, int y) { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    void Blend(int x, int y, Colour c, double alpha) {
        if (x < 0 || y < 0 || x >= width || y >= height || alpha <= 0)
            return;
        At(x, y) = Mix(At(x, y), c, alpha);
    }
};

struct Point {
    double x, y;
};

bool Inside(const std::vector<Point>& polygon, double x, double y) {
    bool in = false;
    for (size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        const Point& a = polygon[i];
        const Point& b = polygon[j];
        if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x)
            in = !in;
    }
    return in;
}

// Fills a polygon with 4 x 4 samples a pixel, so that its edges are smooth.
void FillPolygon(Canvas& canvas, const std::vector<Point>& polygon, Colour colour, double alpha) {
    double minX = 1e9, minY = 1e9, maxX = -1e9, maxY = -1e9;
    for (const Point& p : polygon) {
        minX = std::min(minX, p.x);
        minY = std::min(minY, p.y);
        maxX = std::max(maxX, p.x);
        maxY = std::max(maxY, p.y);
    }
    for (int y = std::max(0, int(minY)); y <= std::min(canvas.height - 1, int(maxY) + 1); ++y)
        for (int x = std::max(0, int(minX)); x <= std::min(canvas.width - 1, int(maxX) + 1); ++x) {
            int hits = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx)
                    hits += Inside(polygon, x + (sx + 0.5) / 4, y + (sy + 0.5) / 4);
            canvas.Blend(x, y, colour, alpha * hits / 16.0);
        }
}

// A fighter seen from above, nose along -y, one unit long.
const std::vector<Point> Fighter = {
    {0.00, -0.50}, {0.03, -0.38}, {0.05, -0.18},  {0.08, -0.08},  {0.34, 0.14},   {0.34, 0.20},
    {0.07, 0.17},  {0.07, 0.30},  {0.17, 0.42},   {0.17, 0.47},   {0.05, 0.45},   {0.03, 0.50},
    {-0.03, 0.50}, {-0.05, 0.45}, {-0.17, 0.47},  {-0.17, 0.42},  {-0.07, 0.30},  {-0.07, 0.17},
    {-0.34, 0.20}, {-0.34, 0.14}, {-0.08, -0.08}, {-0.05, -0.18}, {-0.03, -0.38},
};

std::vector<Point> Place(const std::vector<Point>& shape, Point at, double size, double heading) {
    std::vector<Point> out;
    const double c = std::cos(heading), s = std::sin(heading);
    for (const Point& p : shape)
        out.push_back({at.x + (p.x * c - p.y * s) * size, at.y + (p.x * s + p.y * c) * size});
    return out;
}

// A vapour trail from the jet's tail back along its track, widening and fading.
void Trail(Canvas& canvas, Point tail, double heading, double length, double width) {
    const double dx = -std::sin(heading), dy = std::cos(heading); // backwards along the track
    for (double t = 0; t < length; t += 0.5) {
        const double fade = 1.0 - t / length;
        const double w = width * (0.4 + 1.6 * t / length);
        const Point centre{tail.x + dx * t, tail.y + dy * t};
        for (double o = -w; o <= w; o += 0.5) {
            const double across = 1.0 - std::fabs(o) / w;
            const int x = int(centre.x - dy * o), y = int(centre.y + dx * o);
            canvas.Blend(x, y, {245, 240, 235}, 0.05 * fade * across);
        }
    }
}

Tools::Picture Paint() {
    const int width = 1024, height = 768;
    Canvas canvas(width, height);
    const double horizon = 520;
    const Point sun{700, 470};

    // Sky: night blue overhead, violet, then the orange band of the sunset; the sea below mirrors it darker.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            Colour c;
            if (y < horizon) {
                const double t = y / horizon;
                c = t < 0.55 ? Mix({10, 16, 40}, {52, 44, 96}, t / 0.55)
                             : Mix({52, 44, 96}, {236, 128, 62}, (t - 0.55) / 0.45);
                // Long thin clouds lit from below near the horizon.
                const double streak = Fractal(x / 220.0, y / 18.0, 11, 5);
                const double cloud = std::clamp((streak - 0.52) * 4.0, 0.0, 1.0) * t;
                c = Mix(c, Mix({90, 60, 110}, {255, 170, 110}, t), cloud * 0.7);
            } else {
                const double t = (y - horizon) / (height - horizon);
                c = Mix({120, 70, 60}, {8, 14, 30}, std::pow(t, 0.6));
                // Ripples catch the sun in a column below it.
                const double ripple = Fractal(x / 60.0, y / 3.0, 23, 3);
                const double column = std::exp(-std::pow((x - sun.x) / (60.0 + 260.0 * t), 2.0));
                c = Mix(c, {255, 190, 120}, column * std::clamp((ripple - 0.45) * 3.0, 0.0, 1.0) * (1 - t));
            }
            // The sun's glow.
            const double d = std::hypot(x - sun.x, (y - sun.y) * 1.3);
            c = Mix(c, {255, 214, 150}, std::exp(-d / 120.0) * 0.8);
            if (d < 26 && y < horizon)
                c = Mix(c, {255, 244, 214}, std::clamp((26 - d) / 3.0, 0.0, 1.0));
            canvas.At(x, y) = c;
        }

    // Two ranges of mountains against the light, the nearer one darker.
    struct Range {
        double base, height, scale;
        int seed;
        Colour colour;
    } ranges[] = {{horizon + 2, 120, 260.0, 31, {70, 48, 86}}, {horizon + 12, 90, 140.0, 37, {28, 22, 46}}};
    for (const Range& r : ranges)
        for (int x = 0; x < width; ++x) {
            // Higher to the left, falling away to the coast on the right.
            const double slope = 1.0 - 0.8 * x / width;
            const double top =
                r.base - r.height * slope * (0.35 + 0.65 * Fractal(x / r.scale, 0.5, r.seed, 6));
            for (int y = int(top); y <= int(r.base) && y < height; ++y)
                canvas.Blend(x, y, r.colour, std::clamp(y - top, 0.0, 1.0));
        }

    // A flight of three climbing away to the upper left, the leader ahead.
    const double heading = -0.95;
    const Point jets[3] = {{560, 190}, {632, 240}, {530, 270}};
    const double sizes[3] = {92, 78, 74};
    for (int i = 0; i < 3; ++i) {
        const Point tail{jets[i].x - std::sin(heading) * sizes[i] * 0.5,
                         jets[i].y + std::cos(heading) * sizes[i] * 0.5};
        for (double side : {-0.05, 0.05})
            Trail(
                canvas,
                {tail.x + std::cos(heading) * side * sizes[i], tail.y + std::sin(heading) * side * sizes[i]},
                heading, 230 - i * 25, 2.0 + i * 0.3);
    }
    for (int i = 0; i < 3; ++i) {
        FillPolygon(canvas, Place(Fighter, jets[i], sizes[i], heading), {18, 16, 28}, 1.0);
        // The sun catches one edge of each.
        FillPolygon(canvas, Place(Fighter, {jets[i].x + 1.2, jets[i].y + 1.0}, sizes[i] * 0.985, heading),
                    {14, 12, 22}, 1.0);
    }

    // A vignette draws the eye to the middle.
    Tools::Picture picture;
    picture.width = width;
    picture.height = height;
    picture.rgba.resize(size_t(width) * size_t(height) * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double dx = (x - width / 2.0) / (width / 2.0), dy = (y - height / 2.0) / (height / 2.0);
            const double dim = 1.0 - 0.45 * std::pow(std::min(1.0, (dx * dx + dy * dy) / 2.0), 1.2);
            const Colour c = canvas.At(x, y);
            uint8_t* p = picture.At(x, y);
            p[0] = uint8_t(std::clamp(c.r * dim, 0.0, 255.0));
            p[1] = uint8_t(std::clamp(c.g * dim, 0.0, 255.0));
            p[2] = uint8_t(std::clamp(c.b * dim, 0.0, 255.0));
            p[3] = 255;
        }
    return picture;
}

// A soft white bar, clear at both ends: the underline of a highlighted menu entry and the title's rule.
Tools::Picture Rule() {
    Tools::Picture picture;
    picture.width = 256;
    picture.height = 8;
    picture.rgba.resize(256 * 8 * 4);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 256; ++x) {
            uint8_t* p = picture.At(x, y);
            p[0] = p[1] = p[2] = 255;
            const double along = std::sin(3.14159265 * (x + 0.5) / 256.0);
            const double across = 1.0 - std::fabs(y - 3.5) / 4.0;
            p[3] = uint8_t(std::clamp(255.0 * along * across, 0.0, 255.0));
        }
    return picture;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_menu_images <data dir>\n");
        return 2;
    }
    const std::filesystem::path textures = std::filesystem::path(argv[1]) / "Data" / "Textures";
    std::filesystem::create_directories(textures);
    bool ok = Tools::WritePng((textures / "MenuBackground.png").string(), Paint());
    ok = Tools::WritePng((textures / "MenuRule.png").string(), Rule()) && ok;
    if (!ok)
        std::fprintf(stderr, "cannot write the menu images under %s\n", textures.c_str());
    return ok ? 0 : 1;
}
