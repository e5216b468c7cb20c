#include "tools/mapicons/MapIcons.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace Tools {

namespace {

// A shape on the square (-1, -1) to (1, 1), v growing downwards.
using Shape = std::function<bool(float u, float v)>;

bool Circle(float u, float v, float cu, float cv, float r) {
    return (u - cu) * (u - cu) + (v - cv) * (v - cv) < r * r;
}

bool Box(float u, float v, float left, float top, float right, float bottom) {
    return u > left && u < right && v > top && v < bottom;
}

Shape ShapeOf(const std::string& name) {
    if (name == "IconFighter")
        return [](float u, float v) {
            const float a = std::fabs(u);
            const bool body = a < 0.13f && v > -0.9f && v < 0.8f;
            const bool wings = v > -0.15f && v < 0.4f && a < (v + 0.15f) * 1.6f;
            const bool tail = v > 0.5f && v < 0.85f && a < (v - 0.5f) * 1.4f + 0.13f;
            return body || wings || tail;
        };
    if (name == "IconAirbase")
        return [](float u, float v) {
            const float r = std::sqrt(u * u + v * v);
            // The runway crosses the ring at 30 degrees.
            const float ru = u * 0.866f + v * 0.5f, rv = -u * 0.5f + v * 0.866f;
            return (r > 0.62f && r < 0.82f) || (std::fabs(ru) < 0.17f && std::fabs(rv) < 0.92f);
        };
    if (name == "IconBuilding")
        return [](float u, float v) {
            return Box(u, v, -0.62f, -0.2f, 0.62f, 0.78f) ||
                   (v > -0.8f && v <= -0.2f && std::fabs(u) < (v + 0.8f) * 1.25f);
        };
    if (name == "IconCar")
        return [](float u, float v) {
            return Box(u, v, -0.8f, -0.2f, 0.8f, 0.35f) || Box(u, v, -0.38f, -0.6f, 0.38f, -0.2f) ||
                   Circle(u, v, -0.45f, 0.42f, 0.24f) || Circle(u, v, 0.45f, 0.42f, 0.24f);
        };
    if (name == "IconShip")
        return [](float u, float v) {
            const bool hull = v > -0.15f && v < 0.4f && std::fabs(u) < 0.92f - std::max(v, 0.0f) * 0.9f;
            return hull || Box(u, v, -0.3f, -0.6f, 0.25f, -0.15f) || Box(u, v, -0.08f, -0.85f, 0.02f, -0.6f);
        };
    if (name == "IconCarrier")
        return [](float u, float v) {
            const bool deck = v > -0.1f && v < 0.3f && std::fabs(u) < 0.95f - std::max(v - 0.1f, 0.0f) * 0.8f;
            return deck || Box(u, v, 0.3f, -0.6f, 0.58f, -0.1f);
        };
    if (name == "IconWaypoint")
        return [](float u, float v) {
            const float r = std::sqrt(u * u + v * v);
            return (r > 0.48f && r < 0.78f) || r < 0.2f;
        };
    return [](float u, float v) {
        const float d = std::fabs(u) + std::fabs(v);
        return (d < 0.85f && d > 0.5f) || d < 0.18f;
    };
}

// Share of a pixel's 4 x 4 sub-samples that the shape covers, the shape grown by grow units each way.
float Coverage(const Shape& shape, int x, int y, float grow) {
    int inside = 0;
    for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx) {
            const float u = (float(x) + (float(sx) + 0.5f) / 4) / MapIconSide * 2 - 1;
            const float v = (float(y) + (float(sy) + 0.5f) / 4) / MapIconSide * 2 - 1;
            bool hit = shape(u, v);
            for (int k = 0; k < 8 && !hit && grow > 0; ++k) {
                const float angle = float(k) * 0.785398f;
                hit = shape(u + grow * std::cos(angle), v + grow * std::sin(angle));
            }
            inside += hit;
        }
    return float(inside) / 16.0f;
}

} // namespace

const std::vector<std::string>& MapIconNames() {
    static const std::vector<std::string> names = {"IconFighter",  "IconAirbase",  "IconBuilding",
                                                   "IconCar",      "IconShip",     "IconCarrier",
                                                   "IconWaypoint", "IconUndefined"};
    return names;
}

Picture MapIcon(const std::string& name) {
    const Shape shape = ShapeOf(name);
    Picture p;
    p.width = p.height = MapIconSide;
    p.rgba.assign(size_t(MapIconSide) * MapIconSide * 4, 0);
    for (int y = 0; y < MapIconSide; ++y)
        for (int x = 0; x < MapIconSide; ++x) {
            // White inside a dark rim, so that a tinted icon stands out on any ground.
            const float inside = Coverage(shape, x, y, 0);
            const float rim = Coverage(shape, x, y, 0.11f) * 0.85f;
            const float alpha = std::max(inside, rim);
            uint8_t* out = p.At(x, y);
            const uint8_t grey = alpha > 0 ? uint8_t(std::lround(255.0f * inside / alpha)) : 0;
            out[0] = out[1] = out[2] = grey;
            out[3] = uint8_t(std::lround(alpha * 255.0f));
        }
    return p;
}

Picture MapWater() {
    constexpr int side = 64;
    Picture p;
    p.width = p.height = side;
    p.rgba.resize(size_t(side) * side * 4);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            // Two crossing wave trains whose periods divide the side, so the texture tiles.
            const float t = 6.2831853f / side;
            const float wave =
                std::sin(float(x) * t * 2 + std::sin(float(y) * t * 3) * 1.5f) * std::cos(float(y) * t * 4);
            const float lift = std::max(wave - 0.55f, 0.0f) * 90.0f;
            uint8_t* out = p.At(x, y);
            for (int c = 0; c < 3; ++c)
                out[c] = uint8_t(std::min(255.0f, float(MapWaterBase[c]) + lift));
            out[3] = 255;
        }
    return p;
}

} // namespace Tools
