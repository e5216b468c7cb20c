#include "Sky.h"

#include "base/Random.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace Obj {

namespace {

constexpr float Pi = std::numbers::pi_v<float>;
constexpr float DegreesToRadians = Pi / 180.0f;
// Above twice HiAltLevel the glow's spread would turn negative and paint the whole sky.
constexpr float MinGlowSpread = 0.05f;

float Clamp01(float v) {
    return std::isnan(v) ? 0.0f : std::clamp(v, 0.0f, 1.0f);
}

uint32_t PackColor(const Base::Color& c) {
    auto byte = [](float v) { return uint32_t(Clamp01(v) * 255.0f); };
    return byte(c.a) << 24 | byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b);
}

uint8_t RoundByte(float v) {
    return uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
}

bool Finite(const Base::Color& c) {
    return std::isfinite(c.r) && std::isfinite(c.g) && std::isfinite(c.b) && std::isfinite(c.a);
}

} // namespace

Base::Vector3 Sky::Element::GetDirection() const {
    return Base::Normalize3d(Base::Vector3{-std::cos(elevation) * std::sin(azimuth), std::sin(elevation),
                                           std::cos(elevation) * std::cos(azimuth)});
}

void Sky::Element::Corners(Base::Vector3 out[4]) const {
    const float s = size;
    const Base::Vector3 local[4] = {{s, s, 1}, {s, -s, 1}, {-s, s, 1}, {-s, -s, 1}};
    const float ce = std::cos(elevation), se = std::sin(elevation);
    const float ca = std::cos(azimuth), sa = std::sin(azimuth);
    for (int i = 0; i < 4; ++i) {
        // About -X by the elevation, then about -Y by the azimuth.
        const Base::Vector3 p = local[i];
        const Base::Vector3 e{p.x, p.y * ce + p.z * se, -p.y * se + p.z * ce};
        out[i] = {e.x * ca - e.z * sa, e.y, e.x * sa + e.z * ca};
    }
}

bool Sky::Fail(const char* key, const char* why) {
    error_ = Base::Formatted("sky: \"%s\" %s", key, why);
    loaded_ = false;
    vertices_.clear();
    indices_.clear();
    stars_.clear();
    elements_.clear();
    flares_.clear();
    RebuildLights();
    return false;
}

bool Sky::ReadElement(const Base::Info& node, Element& element) {
    element.texture = node.GetStringDefault("Texture", "");
    if (!node.TryGetFloat("Size", element.size) || !std::isfinite(element.size))
        return Fail("Size", "is missing or not a number");
    Base::Color color;
    if (!node.TryGetColor("Color", color) || !Finite(color))
        return Fail("Color", "is missing or not a colour");
    element.color[0] = RoundByte(color.r);
    element.color[1] = RoundByte(color.g);
    element.color[2] = RoundByte(color.b);
    element.color[3] = RoundByte(color.a);
    Base::Vector2 position;
    if (!node.TryGetPoint("Position", position) || !std::isfinite(position.x) || !std::isfinite(position.y))
        return Fail("Position", "is missing or not two numbers");
    element.elevation = position.x * DegreesToRadians;
    element.azimuth = position.y * DegreesToRadians;
    if (!node.TryGetColor("GlowColor", element.glowColor) || !Finite(element.glowColor))
        return Fail("GlowColor", "is missing or not a colour");
    if (!node.TryGetFloat("GlowSize", element.glowSize) || !(element.glowSize > 0) ||
        !std::isfinite(element.glowSize))
        return Fail("GlowSize", "is missing or not above 0");
    int32_t flare = 0;
    element.lensFlare = node.TryGetInt("Lensflare", flare) && flare != 0;
    return true;
}

bool Sky::Load(const Base::Info& node) {
    ReleaseDevice();
    loaded_ = false;
    error_.clear();
    visibilityRange_ = node.GetFloatDefault("VisibilityRange", 0);
    if (!(visibilityRange_ > 0) || !std::isfinite(visibilityRange_))
        return Fail("VisibilityRange", "is not above 0");
    if (!node.TryGetUInt("DomeLongTessel", longTessel_) || longTessel_ < MinLongTessel)
        return Fail("DomeLongTessel", "is missing or below 3");
    // Each is checked alone before their product, so that the key at fault is the one named.
    if (uint64_t(longTessel_) + 2 > MaxVertices)
        return Fail("DomeLongTessel", "gives more vertices than 16-bit indices reach");
    if (!node.TryGetUInt("DomeLatTessel", latTessel_) || latTessel_ < MinLatTessel)
        return Fail("DomeLatTessel", "is missing or below 2");
    if (uint64_t(latTessel_ - 1) * longTessel_ + 2 > MaxVertices)
        return Fail("DomeLatTessel", "gives more vertices than 16-bit indices reach");
    if (!node.TryGetColor("TopHiAltColor", topHiAltColor_) || !Finite(topHiAltColor_))
        return Fail("TopHiAltColor", "is missing or not a colour");
    if (!node.TryGetColor("TopLoAltColor", topLoAltColor_) || !Finite(topLoAltColor_))
        return Fail("TopLoAltColor", "is missing or not a colour");
    if (!node.TryGetColor("HorizonColor", horizonColor_) || !Finite(horizonColor_))
        return Fail("HorizonColor", "is missing or not a colour");
    if (!node.TryGetFloat("HiAltLevel", hiAltLevel_) || !(hiAltLevel_ > 0) || !std::isfinite(hiAltLevel_))
        return Fail("HiAltLevel", "is missing or not above 0");
    if (!node.TryGetUInt("StarsCount", starsCount_) || starsCount_ > MaxStars)
        return Fail("StarsCount", "is missing or above 65536");
    Base::Vector2 fade;
    if (!node.TryGetPoint("StarsFade", fade) || !std::isfinite(fade.x) || !(fade.y > 0) ||
        !std::isfinite(fade.y))
        return Fail("StarsFade", "is missing or its length is not above 0");
    starsFade_[0] = fade.x;
    starsFade_[1] = fade.y;
    elements_.clear();
    if (const Base::Info* list = node.GetChild("Elements")) {
        for (const auto& [name, child] : list->GetChildren()) {
            Element element;
            if (!child || !ReadElement(*child, element))
                return false;
            elements_.push_back(std::move(element));
        }
    }
    lastAltitudeRatio_ = -FLT_MAX;
    Base::Vector3 direction;
    if (!node.TryGetColor("LightAmbientColor", ambientColor_) || !Finite(ambientColor_))
        return Fail("LightAmbientColor", "is missing or not a colour");
    if (!node.TryGetColor("LightDiffuseColor", diffuseColor_) || !Finite(diffuseColor_))
        return Fail("LightDiffuseColor", "is missing or not a colour");
    if (!node.TryGetVector3("LightDirection", direction) || !std::isfinite(direction.x) ||
        !std::isfinite(direction.y) || !std::isfinite(direction.z) || Base::VectorLength(direction) == 0)
        return Fail("LightDirection", "is missing or not a direction");
    radius_ = 0.99f * visibilityRange_;
    sunLight_ = OrientLight(direction);
    BuildGeometry();
    BuildStars();
    flares_.clear();
    for (const Element& element : elements_)
        if (element.lensFlare)
            flares_.emplace_back(element.GetDirection());
    loaded_ = true;
    RebuildLights();
    return true;
}

Sky::LightFrame Sky::OrientLight(const Base::Vector3& direction) {
    LightFrame frame;
    frame.at = Base::Normalize3d(direction);
    frame.right = Base::Normalize3d(Base::CrossProduct(Base::Vector3{0, 1, 0}, frame.at));
    frame.up = Base::Normalize3d(Base::CrossProduct(frame.at, frame.right));
    return frame;
}

void Sky::BuildGeometry() {
    const uint32_t count = (latTessel_ - 1) * longTessel_ + 2;
    vertices_.assign(count, Vertex{});
    vertices_[0] = {0, 1, 0, 0};
    uint32_t v = 1;
    for (uint32_t k = 1; k < latTessel_; ++k) {
        // (0, 1, 0) about Z by k pi / lat, then about Y by j 2 pi / long.
        const float polar = float(k) * Pi / float(latTessel_);
        const float x0 = -std::sin(polar), y = std::cos(polar);
        for (uint32_t j = 0; j < longTessel_; ++j, ++v) {
            const float turn = float(j) * 2 * Pi / float(longTessel_);
            vertices_[v] = {x0 * std::cos(turn), y, -x0 * std::sin(turn), 0};
        }
    }
    vertices_[count - 1] = {0, -1, 0, 0};
    indices_.clear();
    indices_.reserve(size_t(longTessel_ + 1) * latTessel_ * 2);
    for (uint32_t b = 0; b < latTessel_; ++b) {
        auto upper = [&](uint32_t j) { return b == 0 ? 0u : 1 + (b - 1) * longTessel_ + j; };
        auto lower = [&](uint32_t j) { return b == latTessel_ - 1 ? count - 1 : 1 + b * longTessel_ + j; };
        for (uint32_t j = 0; j <= longTessel_; ++j) {
            indices_.push_back(uint16_t(upper(j % longTessel_)));
            indices_.push_back(uint16_t(lower(j % longTessel_)));
        }
    }
}

void Sky::BuildStars() {
    stars_.resize(starsCount_);
    for (Vertex& star : stars_) {
        const float x = Base::Random::FloatInRange(-0.9f, 0.9f);
        const float y = Base::Random::FloatInRange(0.0f, 1.0f);
        const float z = Base::Random::FloatInRange(-0.9f, 0.9f);
        const float b = Base::Random::FloatInRange(0.2f, 1.0f);
        const Base::Vector3 p = Base::Normalize3d(Base::Vector3{x, y, z});
        star = {p.x, p.y, p.z, uint32_t(std::lround(b * b * 255.0f)) << 24 | 0xffffffu};
    }
}

float Sky::AltitudeRatio(float cameraHeight) const {
    return radius_ > 0 ? Clamp01(cameraHeight / radius_) : 0.0f;
}

uint32_t Sky::VisibleBands(float altitudeRatio, uint32_t latTessel) {
    const float h = Clamp01(altitudeRatio);
    const float bands = std::ceil((std::asin(h) + Pi / 2) / (Pi / float(latTessel)));
    return std::min(uint32_t(bands), latTessel);
}

Base::Color Sky::LerpColor(const Base::Color& a, const Base::Color& b, float t) {
    return {a.r * (1 - t) + b.r * t, a.g * (1 - t) + b.g * t, a.b * (1 - t) + b.b * t,
            a.a * (1 - t) + b.a * t};
}

uint32_t Sky::GetSkyColor(const Base::Vector3& d, float cameraHeight) const {
    if (!loaded_)
        return 0;
    const float y = std::max(cameraHeight, 0.0f), r = radius_, H = hiAltLevel_;
    const float hr = std::min(y / r, 1.0f);
    const float k = y / H + 0.5f;
    const float e = std::min(std::max(y - H, 0.0f) / r, 1.0f);
    const float t = Clamp01(k * (d.y + hr - 0.05f) / (0.95f + hr - e));
    Base::Color col = t <= 0.5f ? LerpColor(horizonColor_, topLoAltColor_, 2 * t)
                                : LerpColor(topLoAltColor_, topHiAltColor_, 2 * t - 1);
    const float spread = std::max(1 - 0.5f * y / H, MinGlowSpread);
    const float w = std::max(1 - 0.25f * y / H, 0.0f);
    for (const Element& element : elements_) {
        const float a = std::acos(std::clamp(Base::DotProduct(d, element.GetDirection()), -1.0f, 1.0f)) / Pi;
        const float g = Clamp01(a / (spread * element.glowSize));
        const float p = (1 - g) * (1 - g);
        col = LerpColor(col,
                        {element.glowColor.r * w, element.glowColor.g * w, element.glowColor.b * w,
                         element.glowColor.a * w},
                        p);
    }
    return PackColor(col);
}

bool Sky::UpdateColors(float cameraHeight) {
    const float h = AltitudeRatio(cameraHeight);
    if (!loaded_ || !(std::fabs(h - lastAltitudeRatio_) > ColorStep))
        return false;
    for (Vertex& v : vertices_)
        v.color = GetSkyColor({v.x, v.y, v.z}, cameraHeight);
    lastAltitudeRatio_ = h;
    return true;
}

uint32_t Sky::StarAlpha(float cameraHeight) const {
    if (!loaded_ || stars_.empty())
        return 0;
    const float f = Clamp01((cameraHeight - starsFade_[0]) / starsFade_[1]);
    const uint32_t a = uint32_t(std::lround(f * 255.0f));
    return a < MinStarAlpha ? 0 : a;
}

uint32_t Sky::FogColor(const Base::Vector3& at, float cameraHeight) const {
    if (!loaded_)
        return 0;
    const Base::Vector3 n = Base::Normalize3d(Base::Vector3{at.x + 0.1f, 0, at.z + 0.1f});
    const float h = Clamp01(cameraHeight / visibilityRange_);
    const float s = std::sqrt(1 - h * h);
    return GetSkyColor({n.x * s, -h, n.z * s}, cameraHeight);
}

} // namespace Obj
