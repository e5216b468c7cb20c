#include "tools/textures/Instruments.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace Tools {

namespace {

constexpr int Size = 512;
constexpr float Pi = 3.14159265f;

struct Rgba {
    float r, g, b, a;
};

// Blends colour over the texel with coverage c in [0, 1].
void Blend(Picture& p, int x, int y, Rgba colour, float c) {
    if (x < 0 || y < 0 || x >= p.width || y >= p.height || c <= 0)
        return;
    c = std::min(c, 1.0f) * colour.a;
    uint8_t* t = p.At(x, y);
    const float dst[4] = {float(t[0]), float(t[1]), float(t[2]), float(t[3])};
    const float src[3] = {colour.r, colour.g, colour.b};
    for (int i = 0; i < 3; ++i)
        t[i] = uint8_t(std::lround(dst[i] + (src[i] - dst[i]) * c));
    t[3] = uint8_t(std::lround(std::min(255.0f, dst[3] + (255 - dst[3]) * c)));
}

// Sets the texels of a rectangle.
void Fill(Picture& p, int x0, int y0, int x1, int y1, Rgba colour) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            uint8_t* t = p.At(x, y);
            t[0] = uint8_t(colour.r), t[1] = uint8_t(colour.g), t[2] = uint8_t(colour.b),
            t[3] = uint8_t(colour.a * 255);
        }
}

// A line of half width w from a to b, antialiased.
void Line(Picture& p, float ax, float ay, float bx, float by, float w, Rgba colour) {
    const int x0 = int(std::floor(std::min(ax, bx) - w - 1)), x1 = int(std::ceil(std::max(ax, bx) + w + 1));
    const int y0 = int(std::floor(std::min(ay, by) - w - 1)), y1 = int(std::ceil(std::max(ay, by) + w + 1));
    const float dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const float px = float(x) + 0.5f - ax, py = float(y) + 0.5f - ay;
            const float t = len2 > 0 ? std::clamp((px * dx + py * dy) / len2, 0.0f, 1.0f) : 0;
            const float d = std::hypot(px - t * dx, py - t * dy);
            Blend(p, x, y, colour, w + 0.5f - d);
        }
}

// Seven-segment figures: segments a (top), b, c (right, top to bottom), d (bottom), e, f (left, bottom to
// top), g (middle).
void Digit(Picture& p, char digit, float x, float y, float h, float w, Rgba colour) {
    static const char* const segments[10] = {"abcdef", "bc",     "abdeg", "abcdg",   "bcfg",
                                             "acdfg",  "acdefg", "abc",   "abcdefg", "abcdfg"};
    if (digit < '0' || digit > '9')
        return;
    const float cw = h * 0.5f, half = h / 2;
    const struct {
        char name;
        float ax, ay, bx, by;
    } lines[] = {{'a', 0, 0, cw, 0},   {'b', cw, 0, cw, half}, {'c', cw, half, cw, h},  {'d', 0, h, cw, h},
                 {'e', 0, half, 0, h}, {'f', 0, 0, 0, half},   {'g', 0, half, cw, half}};
    for (const auto& l : lines)
        if (std::strchr(segments[digit - '0'], l.name))
            Line(p, x + l.ax, y + l.ay, x + l.bx, y + l.by, w, colour);
}

// A number centred on (cx, cy).
void Number(Picture& p, const std::string& text, float cx, float cy, float h, float w, Rgba colour) {
    const float advance = h * 0.5f + h * 0.3f;
    float x = cx - (advance * float(text.size()) - h * 0.3f) / 2;
    for (char c : text) {
        Digit(p, c, x, cy - h / 2, h, w, colour);
        x += advance;
    }
}

// A round dial in the 128 px cell at (x0, y0): a dark face in a bezel, ticks every `minor` of `turn`
// units, long ticks and figures every `major`.
void Dial(Picture& p, int x0, int y0, int ticks, int majorEvery, const char* const* figures, Rgba ink,
          Rgba face) {
    const float cx = float(x0) + 64, cy = float(y0) + 64;
    for (int y = y0; y < y0 + 128; ++y)
        for (int x = x0; x < x0 + 128; ++x) {
            const float r = std::hypot(float(x) + 0.5f - cx, float(y) + 0.5f - cy);
            uint8_t* t = p.At(x, y);
            // Bezel ring, face inside, the cell's corners the panel's grey.
            const float bezel = std::clamp(63.5f - r, 0.0f, 1.0f);
            const float grey = r > 56 ? 70 - (r - 56) * 2 : 0;
            const float shade = r <= 56 ? 1.0f : 0.0f;
            t[0] = uint8_t(std::lround(shade * face.r + (1 - shade) * (bezel * grey + (1 - bezel) * 46)));
            t[1] = uint8_t(std::lround(shade * face.g + (1 - shade) * (bezel * grey + (1 - bezel) * 50)));
            t[2] = uint8_t(std::lround(shade * face.b + (1 - shade) * (bezel * grey + (1 - bezel) * 54)));
            t[3] = 255;
        }
    for (int i = 0; i < ticks; ++i) {
        const float a = 2 * Pi * float(i) / float(ticks);
        const bool major = i % majorEvery == 0;
        const float r0 = major ? 42.0f : 47.0f, r1 = 53.0f;
        // Clockwise from the top, as the needle turns.
        const float sx = std::sin(a), sy = -std::cos(a);
        Line(p, cx + sx * r0, cy + sy * r0, cx + sx * r1, cy + sy * r1, major ? 1.4f : 0.7f, ink);
        if (major && figures) {
            const float rf = 31;
            Number(p, figures[i / majorEvery], cx + sx * rf, cy + sy * rf, 10, 0.9f, ink);
        }
    }
}

} // namespace

Picture InstrumentAtlas(bool lit) {
    Picture p;
    p.width = p.height = Size;
    p.rgba.assign(size_t(Size) * Size * 4, 0);
    const Rgba ink = lit ? Rgba{255, 236, 170, 1} : Rgba{235, 235, 230, 1};
    const Rgba face = lit ? Rgba{24, 22, 18, 1} : Rgba{18, 19, 21, 1};

    // Airspeed: one turn is 1000 knots, figures every 100.
    static const char* const knots[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
    Dial(p, 0, 0, 50, 5, knots, ink, face);
    // Altimeter: one turn of the long hand is 10000 feet, figures every 1000.
    Dial(p, 128, 0, 50, 5, knots, ink, face);

    // The attitude indicator's bezel: opaque ring and corners, clear in the middle for the ball, with the
    // fixed airplane symbol and the bank marks over it. Its face is turned a quarter in the model, so the
    // picture is drawn turned the other way: a point (x right, y down from the centre) as it shows lies at
    // (-y, x) in the atlas.
    for (int y = 0; y < 128; ++y)
        for (int x = 256; x < 384; ++x) {
            const float r = std::hypot(float(x) + 0.5f - 320, float(y) + 0.5f - 64);
            uint8_t* t = p.At(x, y);
            const float open = std::clamp(54.5f - r, 0.0f, 1.0f);
            const float grey = r < 62 ? 62 - (r - 54) * 1.5f : 46;
            t[0] = uint8_t(std::lround(grey)), t[1] = uint8_t(std::lround(grey + 4)),
            t[2] = uint8_t(std::lround(grey + 8));
            t[3] = uint8_t(std::lround((1 - open) * 255));
        }
    auto turnedLine = [&](float ax, float ay, float bx, float by, float w, Rgba colour) {
        Line(p, 320 - ay, 64 + ax, 320 - by, 64 + bx, w, colour);
    };
    const Rgba symbol{255, 200, 40, 1};
    turnedLine(-30, 0, -10, 0, 1.8f, symbol);
    turnedLine(10, 0, 30, 0, 1.8f, symbol);
    turnedLine(-10, 0, 0, 8, 1.8f, symbol);
    turnedLine(0, 8, 10, 0, 1.8f, symbol);
    for (int k = 0; k < 7; ++k) {
        const float a = Pi * (-60.0f + 20.0f * float(k)) / 180.0f;
        turnedLine(std::sin(a) * 55, -std::cos(a) * 55, std::sin(a) * 61, -std::cos(a) * 61, 1.2f, ink);
    }

    // The ball: sky over ground, the horizon through its middle (v 128), a pitch ladder every 10 degrees: the
    // window (64 px) moves by its half height times the sine of the pitch.
    for (int y = 0; y < 256; ++y)
        for (int x = 384; x < 512; ++x) {
            uint8_t* t = p.At(x, y);
            const bool sky = y < 128;
            const float depth = std::fabs(float(y) - 128) / 128;
            t[0] = uint8_t(sky ? 40 + 40 * (1 - depth) : 110 - 40 * depth);
            t[1] = uint8_t(sky ? 110 + 60 * (1 - depth) : 70 - 25 * depth);
            t[2] = uint8_t(sky ? 200 + 40 * (1 - depth) : 35 - 10 * depth);
            t[3] = 255;
        }
    Line(p, 384, 128, 512, 128, 1.2f, {255, 255, 255, 1});
    for (int k = -8; k <= 8; ++k) {
        if (k == 0)
            continue;
        const float y = 128 - std::sin(float(k) * 10 * Pi / 180) * 32;
        const float half = k % 2 == 0 ? 12 : 6;
        if (y > 2 && y < 254)
            Line(p, 448 - half, y, 448 + half, y, 0.7f, {255, 255, 255, 1});
    }

    // Monitor screens: dark green glass in a grey frame.
    for (int cell = 0; cell < 2; ++cell) {
        const int x0 = cell * 128, y0 = 128;
        Fill(p, x0, y0, x0 + 128, y0 + 128, {46, 50, 54, 1});
        for (int y = y0 + 6; y < y0 + 122; ++y)
            for (int x = x0 + 6; x < x0 + 122; ++x) {
                const float fx = (float(x - x0) - 64) / 58, fy = (float(y - y0) - 64) / 58;
                const float glow = 1 - 0.35f * (fx * fx + fy * fy);
                uint8_t* t = p.At(x, y);
                t[0] = uint8_t(6 * glow), t[1] = uint8_t((lit ? 34 : 24) * glow), t[2] = uint8_t(10 * glow),
                t[3] = 255;
            }
    }

    // Needles, tip at the top: a long pointer and a short broad hand.
    const Rgba needle = lit ? Rgba{255, 240, 190, 1} : Rgba{245, 245, 240, 1};
    for (int y = 128; y < 224; ++y) {
        const float f = float(y - 128) / 96; // 0 at the tip
        const float longHalf = std::min(f * 40, 6.0f), shortHalf = std::min(f * 20, 7.0f);
        for (int x = 256; x < 288; ++x) {
            const bool second = x >= 272;
            const float half = second ? shortHalf : longHalf;
            const float d = std::fabs(float(x - (second ? 272 : 256)) + 0.5f - 8);
            Blend(p, x, y, needle, half + 0.5f - d);
        }
    }
    return p;
}

} // namespace Tools
