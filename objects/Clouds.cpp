#include "Clouds.h"

#include "base/Random.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace Obj {

namespace {

constexpr float JustBelowTenth = 0.099999994f;
// A particle's corners lie at its size from its centre; the margin covers their rounding.
constexpr float CullMargin = 1.001f;

bool Finite(const Base::Color& c) {
    return std::isfinite(c.r) && std::isfinite(c.g) && std::isfinite(c.b) && std::isfinite(c.a);
}

float Clamp01(float v) {
    return std::isnan(v) ? 0.0f : std::clamp(v, 0.0f, 1.0f);
}

float Distance(const Base::Vector3& a, const Base::Vector3& b) {
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

float HorizontalDistance(const Base::Vector3& a, const Base::Vector3& b) {
    const float dx = a.x - b.x, dz = a.z - b.z;
    return std::sqrt(dx * dx + dz * dz);
}

} // namespace

bool Clouds::Fail(const char* key, const char* why) {
    error_ = Base::Formatted("clouds: \"%s\" %s", key, why);
    loaded_ = false;
    sectors_.clear();
    active_.clear();
    frame_.clear();
    return false;
}

bool Clouds::Load(const Base::Info& node, std::optional<uint32_t> seed) {
    Fail("", "");
    error_.clear();
    float altitude = 0, density = 0, cloudsSpan = 0;
    int32_t sx = 0, sz = 0;
    Base::Vector2 origin;
    Base::Vector3 direction;
    auto positive = [](float v) { return std::isfinite(v) && v > 0; };
    if (!node.TryGetFloat("VisibilityRange", visibilityRange_) || !positive(visibilityRange_))
        return Fail("VisibilityRange", "is missing or not above 0");
    if (!node.TryGetFloat("Altitude", altitude) || !std::isfinite(altitude))
        return Fail("Altitude", "is missing or not a number");
    if (!node.TryGetFloat("Density", density) || !(density >= 0 && density <= 1))
        return Fail("Density", "is missing or outside 0 to 1");
    if (!node.TryGetInt2("SectorsSpan", sx, sz) || sx < 1 || sz < 1 || sx > MaxSectorsPerSide ||
        sz > MaxSectorsPerSide)
        return Fail("SectorsSpan", "is missing or not 1 to 4096 sectors a side");
    if (!node.TryGetFloat("SectorSize", sectorSize_) || !positive(sectorSize_))
        return Fail("SectorSize", "is missing or not above 0");
    if (!node.TryGetPoint("BottomRightPos", origin) || !std::isfinite(origin.x) || !std::isfinite(origin.y))
        return Fail("BottomRightPos", "is missing or not two numbers");
    if (!node.TryGetFloat("CloudsSpan", cloudsSpan) || !positive(cloudsSpan))
        return Fail("CloudsSpan", "is missing or not above 0");
    const double pointsX = double(sx) * sectorSize_ / cloudsSpan + 1;
    const double pointsZ = double(sz) * sectorSize_ / cloudsSpan + 1;
    if (!(pointsX * pointsZ <= double(MaxGridPoints)))
        return Fail("CloudsSpan", "gives too many candidate points");
    if (!node.TryGetFloat("CloudMaxSize", cloudMaxSize_) || !positive(cloudMaxSize_))
        return Fail("CloudMaxSize", "is missing or not above 0");
    if (!node.TryGetUInt("MaxParticlesPerCloud", maxParticles_) || maxParticles_ > MaxParticlesPerCloud)
        return Fail("MaxParticlesPerCloud", "is missing or above 4096");
    // Every grid point within the range may become an active cloud with its particles, all built at once.
    const double across = 2 * double(visibilityRange_) / cloudsSpan + 1;
    if (!(std::min(pointsX, across) * std::min(pointsZ, across) * maxParticles_ <=
          double(MaxParticlesInView)))
        return Fail("CloudsSpan", "puts too many cloud particles in view");
    if (!node.TryGetColor("LightAmbientColor", lightAmbient) || !Finite(lightAmbient))
        return Fail("LightAmbientColor", "is missing or not a colour");
    if (!node.TryGetColor("LightDiffuseColor", lightDiffuse) || !Finite(lightDiffuse))
        return Fail("LightDiffuseColor", "is missing or not a colour");
    if (!node.TryGetVector3("LightDirection", direction) || !std::isfinite(direction.x) ||
        !std::isfinite(direction.y) || !std::isfinite(direction.z))
        return Fail("LightDirection", "is missing or not three numbers");
    lightDirection = Base::Normalize3d(direction);
    sectorsX_ = sx;
    sectorsZ_ = sz;
    origin_ = origin;
    sectors_.assign(size_t(sx) * size_t(sz), {});

    if (seed)
        Base::Random::Seed(*seed);
    else
        Base::Random::SeedFromTimeStamp();
    const float endX = origin.x + float(sx) * sectorSize_, endZ = origin.y + float(sz) * sectorSize_;
    // The walk accumulates in f32: far from the origin a step can round to nothing (the walk would never
    // end) or to less than the span (more points than the bound above counted), so both are checked here.
    uint64_t candidates = 0;
    for (float x = origin.x; x <= endX; x += cloudsSpan) {
        if (!(x + cloudsSpan > x))
            return Fail("BottomRightPos", "is too far out for CloudsSpan to step across the grid");
        for (float z = origin.y; z <= endZ; z += cloudsSpan) {
            if (!(z + cloudsSpan > z))
                return Fail("BottomRightPos", "is too far out for CloudsSpan to step across the grid");
            if (++candidates > MaxGridPoints)
                return Fail("CloudsSpan", "gives too many candidate points");
            if (Base::Random::FloatInRange(0, 1) > density)
                continue;
            const float a = Base::Random::FloatInRange(-1, 1), b = Base::Random::FloatInRange(-1, 1);
            const float c = Base::Random::FloatInRange(0, 1), s = Base::Random::FloatInRange(0, 1);
            Cloud cloud;
            cloud.centre = {x + 0.2f * cloudsSpan * a, altitude + 1500 * c, z + 0.2f * cloudsSpan * b};
            cloud.size = cloudMaxSize_ * (0.5f + 0.5f * s);
            // Points on the far edges belong to the last sector.
            int32_t column, row;
            GetSectorOf(x, z, column, row);
            column = std::clamp(column, 0, sx - 1);
            row = std::clamp(row, 0, sz - 1);
            sectors_[size_t(row) * size_t(sx) + size_t(column)].push_back(cloud);
        }
    }
    loaded_ = true;
    return true;
}

void Clouds::GetSectorOf(float x, float z, int32_t& column, int32_t& row) const {
    auto index = [](float v) {
        const float f = std::floor(v);
        return f != f ? 0 : int32_t(std::clamp(f, -2.0e9f, 2.0e9f));
    };
    column = index((x - origin_.x) / sectorSize_);
    row = index((z - origin_.y) / sectorSize_);
}

size_t Clouds::CloudCount() const {
    size_t n = 0;
    for (const auto& sector : sectors_)
        n += sector.size();
    return n;
}

void Clouds::BuildParticles(ActiveCloud& active) const {
    const Cloud& cloud = *active.cloud;
    const float k = 1 / (0.1f * cloudMaxSize_);
    const float key = (float(sectorsX_) * sectorSize_ * k * cloud.centre.z + cloud.centre.x) * k;
    // A cloud is built when the camera comes near it: the program's stream is left as it was, so that
    // what is drawn does not change what the game's pilots and weapons draw next.
    const Base::Random::Saved saved;
    Base::Random::Seed(std::bit_cast<uint32_t>(key));
    const float S = cloud.size;
    active.particles.resize(size_t(std::lround(S / cloudMaxSize_ * float(maxParticles_))));
    for (Particle& p : active.particles) {
        const float r1 = Base::Random::FloatInRange(0, 1), r2 = Base::Random::FloatInRange(0, 1);
        const float r3 = Base::Random::FloatInRange(0, 1), r4 = Base::Random::FloatInRange(0, 1);
        const float r5 = Base::Random::FloatInRange(0, 1);
        const uint32_t q = Base::Random::NextUInt32();
        const float h = (0.6f * r1) * (0.6f * r1) * S;
        const Base::Vector3 d = Base::Normalize3d(Base::Vector3{2 * r3 - 1, 0, 2 * r2 - 1});
        const float w = (JustBelowTenth * r4 + 0.4f) * S;
        p.centre = {cloud.centre.x + w * d.x, cloud.centre.y + h, cloud.centre.z + w * d.z};
        p.size = (JustBelowTenth * r5 + 0.4f) * S;
        p.color[0] = p.color[1] = p.color[2] = p.color[3] = 255;
        p.quarter = q & 3;
        p.distance = 0;
    }
}

void Clouds::UpdateActive(const Base::Vector3& camera) {
    if (!loaded_)
        return;
    const float V = visibilityRange_;
    for (auto it = active_.begin(); it != active_.end();) {
        if (HorizontalDistance(camera, it->cloud->centre) - it->cloud->size > V + 100) {
            it->cloud->active = 0;
            it = active_.erase(it);
        } else {
            ++it;
        }
    }
    int32_t c0, r0, c1, r1;
    GetSectorOf(camera.x - V, camera.z - V, c0, r0);
    GetSectorOf(camera.x + V, camera.z + V, c1, r1);
    c0 = std::clamp(c0, 0, sectorsX_ - 1);
    c1 = std::clamp(c1, 0, sectorsX_ - 1);
    r0 = std::clamp(r0, 0, sectorsZ_ - 1);
    r1 = std::clamp(r1, 0, sectorsZ_ - 1);
    for (int32_t r = r0; r <= r1; ++r)
        for (int32_t c = c0; c <= c1; ++c)
            for (Cloud& cloud : sectors_[size_t(r) * size_t(sectorsX_) + size_t(c)]) {
                if (cloud.active || !(HorizontalDistance(camera, cloud.centre) - cloud.size < V))
                    continue;
                cloud.active = 1;
                active_.push_back({&cloud, {}});
                BuildParticles(active_.back());
            }
}

const std::vector<const Clouds::Particle*>& Clouds::PrepareFrame(const View& view, SphereTest visible,
                                                                 void* context) {
    frame_.clear();
    const float V = visibilityRange_;
    const Base::Vector3& P = view.position;
    for (ActiveCloud& active : active_) {
        const Cloud& cloud = *active.cloud;
        if (visible && !visible(cloud.centre, cloud.size, context))
            continue;
        const float f = Clamp01((V - Distance(P, cloud.centre)) / V * 1.5f);
        const size_t n = active.particles.size();
        const float nf = float(n) * f;
        const size_t m = std::min(n, size_t(std::ceil(nf)));
        const float e = nf == float(n) ? 1.0f : nf - std::floor(nf);
        for (size_t i = 0; i < m; ++i) {
            Particle& p = active.particles[i];
            p.distance = Distance(P, p.centre);
            const float a1 = Clamp01((V - p.distance) / V * 5);
            const Base::Vector3 v{p.centre.x - P.x, p.centre.y - P.y, p.centre.z - P.z};
            const float a2 = Clamp01((Base::DotProduct(v, view.at) - 20) * 0.001f);
            const float a = a2 * a1 * (i + 1 == m ? e : 1.0f);
            p.color[3] = uint8_t(std::lround(a * 255));
            // Where a cloud crosses the edge of the view, its particles outside it would cost vertex work
            // and set-up for no pixel.
            if (p.color[3] &&
                (!visible || !particleCulling_ || visible(p.centre, p.size * CullMargin, context))) {
                p.order = uint32_t(frame_.size());
                frame_.push_back(&p);
            }
        }
    }
    // Far to near, ties in the order gathered: as a stable sort would give, without its scratch allocation.
    std::sort(frame_.begin(), frame_.end(), [](const Particle* a, const Particle* b) {
        return a->distance > b->distance || (a->distance == b->distance && a->order < b->order);
    });
    return frame_;
}

void Clouds::FillVertices(const View& view, Vertex* out) const {
    const Base::Vector3& P = view.position;
    const Base::Vector3& A = view.at;
    for (const Particle* p : frame_) {
        const Base::Vector3 v{p->centre.x - P.x, p->centre.y - P.y, p->centre.z - P.z};
        const float d = std::max(float(Base::VectorLength(v)), 1e-6f);
        const float b = Clamp01((d - 20) * 0.0002f);
        const Base::Vector3 N{(1 - b) * A.x + b * v.x / d, (1 - b) * A.y + b * v.y / d,
                              (1 - b) * A.z + b * v.z / d};
        Base::Vector3 R = Base::CrossProduct(N, Base::Vector3{0, 1, 0});
        // Straight above or below, N x Y vanishes: the camera's right keeps the square upright on screen.
        if (Base::VectorLength(R) < 1e-4f)
            R = view.right;
        Base::Vector3 U = Base::CrossProduct(R, N);
        const float l =
            std::max(float(Base::VectorLength(Base::Vector3{R.x + U.x, R.y + U.y, R.z + U.z})), 1e-6f);
        R = {R.x / l, R.y / l, R.z / l};
        U = {U.x / l, U.y / l, U.z / l};
        const Base::Vector3 offsets[4] = {{R.x + U.x, R.y + U.y, R.z + U.z},
                                          {U.x - R.x, U.y - R.y, U.z - R.z},
                                          {-R.x - U.x, -R.y - U.y, -R.z - U.z},
                                          {R.x - U.x, R.y - U.y, R.z - U.z}};
        const float uLow = (p->quarter & 1) ? 0.0f : 0.5f, vLow = (p->quarter & 2) ? 0.0f : 0.5f;
        const float uv[4][2] = {
            {uLow, vLow}, {uLow + 0.5f, vLow}, {uLow + 0.5f, vLow + 0.5f}, {uLow, vLow + 0.5f}};
        const uint32_t color = uint32_t(p->color[3]) << 24 | uint32_t(p->color[0]) << 16 |
                               uint32_t(p->color[1]) << 8 | p->color[2];
        for (int corner : {0, 1, 2, 2, 3, 0}) {
            const Base::Vector3& o = offsets[corner];
            *out++ = {p->centre.x + p->size * o.x,
                      p->centre.y + p->size * o.y,
                      p->centre.z + p->size * o.z,
                      o.x - N.x,
                      o.y - N.y,
                      o.z - N.z,
                      color,
                      uv[corner][0],
                      uv[corner][1]};
        }
    }
}

bool Clouds::IsSegmentInCloud(const Segment& segment) const {
    for (const ActiveCloud& active : active_) {
        if (!(Base::DistancePointToSegment(segment.start, segment.end, active.cloud->centre) <
              active.cloud->size))
            continue;
        for (const Particle& p : active.particles)
            if (Base::DistancePointToSegment(segment.start, segment.end, p.centre) < 0.4f * p.size)
                return true;
    }
    return false;
}

} // namespace Obj
