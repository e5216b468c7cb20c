// make_select_images <data dir>: the pictures of the airplane and weapon selection pages, painted
// procedurally (the same bytes on every run) into Data/Textures: a plan view of each selectable airplane, and
// a side view of each weapon a rack can carry (named "WeaponSelector" + the weapon, as the weapon page reads
// the weapon's name from the texture's), with "WeaponSelectorEmpty" for a bare pylon.
#include "tools/textures/TextureFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Point {
    double x, y;
};
struct Rgba {
    double r, g, b, a;
};

struct Canvas {
    int width, height;
    std::vector<Rgba> pixels;
    Canvas(int w, int h, Rgba fill) : width(w), height(h), pixels(size_t(w) * size_t(h), fill) {}
    void Blend(int x, int y, Rgba c, double coverage) {
        if (x < 0 || y < 0 || x >= width || y >= height || coverage <= 0)
            return;
        Rgba& p = pixels[size_t(y) * size_t(width) + size_t(x)];
        const double a = c.a * coverage;
        p = {p.r + (c.r - p.r) * a, p.g + (c.g - p.g) * a, p.b + (c.b - p.b) * a, p.a + (1 - p.a) * a};
    }
    Tools::Picture ToPicture() const {
        Tools::Picture picture;
        picture.width = width;
        picture.height = height;
        picture.rgba.resize(size_t(width) * size_t(height) * 4);
        for (size_t i = 0; i < pixels.size(); ++i) {
            const Rgba& p = pixels[i];
            const double v[4] = {p.r, p.g, p.b, p.a};
            for (int k = 0; k < 4; ++k)
                picture.rgba[i * 4 + size_t(k)] = uint8_t(std::lround(std::clamp(v[k], 0.0, 1.0) * 255.0));
        }
        return picture;
    }
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

// 4 x 4 samples a pixel, so that the edges are smooth. Coordinates are in pixels.
void Fill(Canvas& canvas, const std::vector<Point>& polygon, Rgba colour) {
    double left = 1e9, right = -1e9, top = 1e9, bottom = -1e9;
    for (const Point& p : polygon) {
        left = std::min(left, p.x);
        right = std::max(right, p.x);
        top = std::min(top, p.y);
        bottom = std::max(bottom, p.y);
    }
    for (int y = std::max(0, int(top) - 1); y <= std::min(canvas.height - 1, int(bottom) + 1); ++y)
        for (int x = std::max(0, int(left) - 1); x <= std::min(canvas.width - 1, int(right) + 1); ++x) {
            int hits = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx)
                    hits += Inside(polygon, x + (sx + 0.5) / 4, y + (sy + 0.5) / 4);
            canvas.Blend(x, y, colour, hits / 16.0);
        }
}

std::vector<Point> Ellipse(double cx, double cy, double rx, double ry, int steps = 48) {
    std::vector<Point> points;
    for (int i = 0; i < steps; ++i) {
        const double t = 2 * M_PI * i / steps;
        points.push_back({cx + rx * std::cos(t), cy + ry * std::sin(t)});
    }
    return points;
}

std::vector<Point> Rect(double x0, double y0, double x1, double y1) {
    return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

// Mirrors a half outline (x >= 0 side, from nose to tail) about the centre line x = cx.
std::vector<Point> Symmetric(const std::vector<Point>& half, double cx, double scale, double top) {
    std::vector<Point> whole;
    for (const Point& p : half)
        whole.push_back({cx + p.x * scale, top + p.y * scale});
    for (auto p = half.rbegin(); p != half.rend(); ++p)
        whole.push_back({cx - p->x * scale, top + p->y * scale});
    return whole;
}

// ---- airplanes in plan view, nose up, on a dark plate

const Rgba Plate{0.05, 0.07, 0.14, 0.85};

Tools::Picture Airplane(bool attacker, Rgba paint) {
    Canvas canvas(256, 256, Plate);
    // Half outlines in units of a 16 x 16 grid, nose at the top.
    const std::vector<Point> fighter = {{0, 0.6},    {0.35, 2.2}, {0.7, 4.2},  {0.9, 6.2},  {6.6, 9.4},
                                        {6.6, 10.2}, {1.5, 10.4}, {1.4, 12.1}, {3.6, 13.9}, {3.6, 14.6},
                                        {1.2, 14.3}, {0.8, 15.2}, {0.2, 15.2}};
    const std::vector<Point> attackerHalf = {{0, 0.7},    {0.45, 2.0}, {0.8, 4.6},  {0.9, 6.4},  {7.2, 7.1},
                                             {7.2, 8.1},  {1.1, 8.9},  {0.9, 12.4}, {3.2, 13.5}, {3.2, 14.3},
                                             {0.7, 14.1}, {0.5, 15.2}, {0.1, 15.2}};
    const auto outline = Symmetric(attacker ? attackerHalf : fighter, 128, 15.0, 8);
    // A soft shadow, then the airplane, then its canopy.
    std::vector<Point> shadow;
    for (const Point& p : outline)
        shadow.push_back({p.x + 5, p.y + 6});
    Fill(canvas, shadow, {0, 0, 0, 0.45});
    Fill(canvas, outline, paint);
    Fill(canvas, Ellipse(128, 8 + 3.2 * 15, 0.42 * 15, 1.3 * 15), {0.15, 0.22, 0.32, 1});
    return canvas.ToPicture();
}

// ---- weapons in side view, nose right, on a dark plate

const Rgba Steel{0.78, 0.8, 0.82, 1}, DarkSteel{0.42, 0.44, 0.47, 1}, Olive{0.45, 0.5, 0.33, 1};

Tools::Picture WeaponPlate() {
    Canvas canvas(128, 64, Plate);
    // The pylon every item hangs from.
    Fill(canvas, Rect(44, 6, 84, 14), DarkSteel);
    return canvas.ToPicture();
}

Tools::Picture Missile(double length, double radius, Rgba body) {
    Canvas canvas(128, 64, Plate);
    Fill(canvas, Rect(44, 6, 84, 14), DarkSteel);
    const double y = 32, x0 = 64 - length / 2, x1 = 64 + length / 2;
    Fill(canvas, {{x0 + 8, y - 12}, {x0 + 18, y}, {x0, y}}, DarkSteel); // tail fins
    Fill(canvas, {{x0 + 8, y + 12}, {x0 + 18, y}, {x0, y}}, DarkSteel);
    Fill(canvas, Rect(x0, y - radius, x1 - 10, y + radius), body);
    Fill(canvas, {{x1 - 10, y - radius}, {x1, y}, {x1 - 10, y + radius}}, {0.95, 0.92, 0.8, 1}); // seeker
    Fill(canvas, {{x1 - 26, y - radius}, {x1 - 20, y - radius - 6}, {x1 - 16, y - radius}}, DarkSteel);
    Fill(canvas, Rect(64 - 2, 14, 64 + 2, y - radius), DarkSteel); // the lug
    return canvas.ToPicture();
}

Tools::Picture Bomb() {
    Canvas canvas(128, 64, Plate);
    Fill(canvas, Rect(44, 6, 84, 14), DarkSteel);
    Fill(canvas, Rect(62, 14, 66, 22), DarkSteel);
    Fill(canvas, {{24, 20}, {40, 28}, {40, 44}, {24, 52}}, DarkSteel);
    Fill(canvas, Ellipse(70, 36, 32, 13), Olive);
    Fill(canvas, Rect(82, 23, 86, 49), {0.85, 0.75, 0.2, 1});
    return canvas.ToPicture();
}

Tools::Picture RocketPod() {
    Canvas canvas(128, 64, Plate);
    Fill(canvas, Rect(44, 6, 84, 14), DarkSteel);
    Fill(canvas, Rect(30, 18, 98, 50), Olive);
    Fill(canvas, Ellipse(98, 34, 6, 16), DarkSteel);
    for (int i = 0; i < 3; ++i)
        Fill(canvas, Ellipse(99, 24 + i * 10, 2.5, 3.5), {0.08, 0.08, 0.08, 1});
    Fill(canvas, {{30, 18}, {22, 24}, {22, 44}, {30, 50}}, DarkSteel);
    return canvas.ToPicture();
}

Tools::Picture FuelTank() {
    Canvas canvas(128, 64, Plate);
    Fill(canvas, Rect(44, 6, 84, 14), DarkSteel);
    Fill(canvas, Rect(62, 14, 66, 24), DarkSteel);
    Fill(canvas, {{18, 30}, {28, 18}, {30, 30}}, DarkSteel);
    Fill(canvas, Ellipse(66, 36, 46, 12), Steel);
    Fill(canvas, Rect(40, 34, 92, 38), {0.6, 0.62, 0.65, 1});
    return canvas.ToPicture();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_select_images <data dir>\n");
        return 2;
    }
    const std::filesystem::path textures = std::filesystem::path(argv[1]) / "Data" / "Textures";
    std::filesystem::create_directories(textures);
    struct Named {
        const char* name;
        Tools::Picture picture;
    };
    const Named pictures[] = {
        {"SelectMig29", Airplane(false, {0.72, 0.75, 0.66, 1})},
        {"SelectSu25", Airplane(true, {0.6, 0.66, 0.48, 1})},
        {"SelectSu27", Airplane(false, {0.7, 0.76, 0.86, 1})},
        {"SelectYak141", Airplane(false, {0.82, 0.78, 0.66, 1})},
        {"WeaponSelectorEmpty", WeaponPlate()},
        {"WeaponSelectorShortAAM", Missile(70, 4, Steel)},
        {"WeaponSelectorMediumAAM", Missile(92, 5.5, {0.9, 0.9, 0.88, 1})},
        {"WeaponSelectorBomb", Bomb()},
        {"WeaponSelectorRocketPod", RocketPod()},
        {"WeaponSelectorFuelTank", FuelTank()},
    };
    bool ok = true;
    for (const Named& named : pictures)
        ok = Tools::WritePng((textures / (std::string(named.name) + ".png")).string(), named.picture) && ok;
    if (!ok)
        std::fprintf(stderr, "cannot write the selection images under %s\n", textures.c_str());
    return ok ? 0 : 1;
}
