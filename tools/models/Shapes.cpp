#include "tools/models/Shapes.h"

#include <glm/gtc/matrix_inverse.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>
#include <tuple>

namespace Tools {
namespace {

constexpr float Pi = 3.14159265358979f;

bool IsApex(const Ring& ring) {
    for (const glm::vec3& p : ring) {
        if (glm::length(p - ring[0]) > 1e-5f)
            return false;
    }
    return true;
}

glm::vec3 Centroid(const Ring& ring) {
    glm::vec3 c(0);
    for (const glm::vec3& p : ring)
        c += p;
    return c / float(ring.size());
}

// Newell's normal of a closed polygon (not normalised).
glm::vec3 PolygonNormal(const Ring& ring) {
    glm::vec3 n(0);
    for (size_t i = 0; i < ring.size(); i++) {
        const glm::vec3& a = ring[i];
        const glm::vec3& b = ring[(i + 1) % ring.size()];
        n += glm::vec3((a.y - b.y) * (a.z + b.z), (a.z - b.z) * (a.x + b.x), (a.x - b.x) * (a.y + b.y));
    }
    return n;
}

// Two unit axes across a unit normal.
void Across(glm::vec3 n, glm::vec3& u, glm::vec3& v) {
    const glm::vec3 helper = std::abs(n.y) < 0.9f ? glm::vec3(0, 1, 0) : glm::vec3(1, 0, 0);
    u = glm::normalize(glm::cross(helper, n));
    v = glm::cross(n, u);
}

} // namespace

Ring EllipseRing(float z, float cx, float cy, float halfWidth, float halfHeight, int n, float exponent) {
    Ring ring;
    for (int i = 0; i < n; i++) {
        const float a = 2 * Pi * float(i) / float(n);
        const float c = std::cos(a), s = std::sin(a);
        const float e = 2.0f / exponent;
        const float x = std::copysign(std::pow(std::abs(c), e), c);
        const float y = std::copysign(std::pow(std::abs(s), e), s);
        ring.push_back({cx + halfWidth * x, cy + halfHeight * y, z});
    }
    return ring;
}

float AirfoilThickness(float t, float x) {
    x = std::clamp(x, 0.0f, 1.0f);
    return 5 * t *
           (0.2969f * std::sqrt(x) - 0.1260f * x - 0.3516f * x * x + 0.2843f * x * x * x -
            0.1036f * x * x * x * x);
}

Ring AirfoilRing(glm::vec3 le, float chord, float t, float x0, float x1, glm::vec3 chordDir,
                 glm::vec3 thickDir, int n) {
    // Chord stations bunched towards the leading edge; upper side front to back, lower side back to front.
    std::vector<float> xs;
    for (int k = 0; k <= n; k++) {
        const float f = (1 - std::cos(Pi * float(k) / float(n))) / 2;
        xs.push_back(x0 + (x1 - x0) * f);
    }
    const auto at = [&](float x, float side) {
        return le + chordDir * (x * chord) + thickDir * (side * AirfoilThickness(t, x) * chord);
    };
    Ring ring;
    const bool sharpBack = x1 >= 1.0f;
    const bool sharpFront = x0 <= 0.0f;
    for (int k = 0; k <= n; k++) {
        if ((k == 0 && sharpFront) || (k == n && sharpBack))
            ring.push_back(at(xs[size_t(k)], 0));
        else
            ring.push_back(at(xs[size_t(k)], 1));
    }
    for (int k = n; k >= 0; k--) {
        if ((k == 0 && sharpFront) || (k == n && sharpBack))
            continue;
        ring.push_back(at(xs[size_t(k)], -1));
    }
    return ring;
}

Ring CircleRing(glm::vec3 centre, glm::vec3 axis, float r, int n) {
    glm::vec3 u, v;
    Across(glm::normalize(axis), u, v);
    Ring ring;
    for (int i = 0; i < n; i++) {
        const float a = 2 * Pi * float(i) / float(n);
        ring.push_back(centre + r * (std::cos(a) * u + std::sin(a) * v));
    }
    return ring;
}

uint16_t MeshBuilder::Use(const ModelMaterial& material) {
    for (size_t i = 0; i < g.materials.size(); i++) {
        if (g.materials[i] == material)
            return uint16_t(i);
    }
    g.materials.push_back(material);
    return uint16_t(g.materials.size() - 1);
}

uint16_t MeshBuilder::Vertex(glm::vec3 p, glm::vec3 n, glm::vec2 uv) {
    if (g.positions.size() >= 65535)
        throw std::length_error("too many vertices for one geometry");
    g.positions.push_back(p);
    const float len = glm::length(n);
    g.normals.push_back(len > 0 ? n / len : glm::vec3(0, 1, 0));
    g.uvs.push_back(uv);
    return uint16_t(g.positions.size() - 1);
}

void MeshBuilder::Triangle(uint16_t a, uint16_t b, uint16_t c, uint16_t material) {
    g.triangles.push_back({{a, b, c}, material});
}

void MeshBuilder::Tube(const std::vector<Ring>& rings, const ModelMaterial& material, bool smooth) {
    const size_t count = rings.size(), n = rings.at(0).size();
    if (count < 2 || n < 3)
        throw std::invalid_argument("a tube needs two rings of three points");
    for (const Ring& r : rings) {
        if (r.size() != n)
            throw std::invalid_argument("tube rings differ in size");
    }
    const uint16_t m = Use(material);
    const float scale = 1.0f / material.metresPerRepeat;
    g.shells.push_back(uint32_t(g.triangles.size()));
    std::vector<bool> apex(count);
    for (size_t i = 0; i < count; i++)
        apex[i] = IsApex(rings[i]);

    // Texture coordinates: around each ring by arc length, along the tube by the distance of the centres.
    std::vector<float> along(count, 0);
    for (size_t i = 1; i < count; i++)
        along[i] = along[i - 1] + glm::length(Centroid(rings[i]) - Centroid(rings[i - 1]));
    std::vector<std::vector<float>> around(count, std::vector<float>(n + 1, 0));
    for (size_t i = 0; i < count; i++) {
        for (size_t j = 1; j <= n; j++)
            around[i][j] = around[i][j - 1] + glm::length(rings[i][j % n] - rings[i][j - 1]);
    }
    const auto uv = [&](size_t i, size_t j) { return glm::vec2(around[i][j], along[i]) * scale; };

    // Side faces as (ring, point) corners, split into triangles; an apex ring gives one triangle.
    struct Corner {
        size_t i, j;
    };
    std::vector<std::array<Corner, 3>> faces;
    for (size_t i = 0; i + 1 < count; i++) {
        for (size_t j = 0; j < n; j++) {
            const Corner a{i, j}, b{i, j + 1}, c{i + 1, j + 1}, d{i + 1, j};
            if (apex[i] && apex[i + 1])
                continue;
            if (apex[i]) {
                faces.push_back({a, c, d});
            } else if (apex[i + 1]) {
                faces.push_back({a, b, c});
            } else {
                faces.push_back({a, b, c});
                faces.push_back({a, c, d});
            }
        }
    }
    const auto pos = [&](Corner c) { return rings[c.i][c.j % n]; };
    // Side faces must face away from the tube's axis: turn them round when the rings run the other way.
    double facing = 0;
    for (const auto& f : faces) {
        const glm::vec3 fn = glm::cross(pos(f[1]) - pos(f[0]), pos(f[2]) - pos(f[0]));
        const glm::vec3 axis = (Centroid(rings[f[0].i]) + Centroid(rings[f[0].i + 1])) * 0.5f;
        facing += glm::dot(fn, (pos(f[0]) + pos(f[1]) + pos(f[2])) / 3.0f - axis);
    }
    if (facing < 0) {
        for (auto& f : faces)
            std::swap(f[1], f[2]);
    }
    if (smooth) {
        // Normals are summed over the faces that meet at a point, except across a sharp corner of the
        // rings (trailing edges, flat cuts), where each side keeps its own vertex. The seam is doubled for
        // the texture.
        std::vector<bool> sharp(n, false);
        for (size_t i = 0; i < count; i++) {
            if (apex[i])
                continue;
            for (size_t j = 0; j < n; j++) {
                const glm::vec3 in = rings[i][j] - rings[i][(j + n - 1) % n];
                const glm::vec3 out = rings[i][(j + 1) % n] - rings[i][j];
                if (glm::dot(glm::normalize(in), glm::normalize(out)) < 0.6f)
                    sharp[j] = true;
            }
            break;
        }
        // A corner's side: 0 for the face strip that starts at the point, 1 for the one that ends there.
        const auto key = [&](Corner c, size_t strip) {
            const size_t j = c.j % n;
            const size_t side = sharp[j] && c.j != strip ? 1 : 0;
            return (c.i * n + (apex[c.i] ? 0 : j)) * 2 + (apex[c.i] ? 0 : side);
        };
        std::vector<glm::vec3> sums(count * n * 2, glm::vec3(0));
        std::vector<size_t> strips;
        for (const auto& f : faces) {
            // The strip of a face is its lowest point index (faces never span the seam backwards).
            const size_t strip = std::min({f[0].j, f[1].j, f[2].j});
            strips.push_back(strip);
            const glm::vec3 fn = glm::cross(pos(f[1]) - pos(f[0]), pos(f[2]) - pos(f[0]));
            for (const Corner& c : f)
                sums[key(c, strip)] += fn;
        }
        std::map<std::pair<size_t, size_t>, uint16_t> made; // (ring * (n + 1) + point, side) -> vertex
        for (size_t k = 0; k < faces.size(); k++) {
            std::array<uint16_t, 3> v{};
            for (size_t q = 0; q < 3; q++) {
                const Corner c = faces[k][q];
                const size_t side = key(c, strips[k]) & 1;
                const auto found = made.find({c.i * (n + 1) + c.j, side});
                if (found != made.end()) {
                    v[q] = found->second;
                } else {
                    v[q] = Vertex(rings[c.i][c.j % n], sums[key(c, strips[k])], uv(c.i, c.j));
                    made[{c.i * (n + 1) + c.j, side}] = v[q];
                }
            }
            Triangle(v[0], v[1], v[2], m);
        }
    } else {
        for (const auto& f : faces) {
            const glm::vec3 fn = glm::cross(pos(f[1]) - pos(f[0]), pos(f[2]) - pos(f[0]));
            const uint16_t a = Vertex(pos(f[0]), fn, uv(f[0].i, f[0].j));
            const uint16_t b = Vertex(pos(f[1]), fn, uv(f[1].i, f[1].j));
            const uint16_t c = Vertex(pos(f[2]), fn, uv(f[2].i, f[2].j));
            Triangle(a, b, c, m);
        }
    }
    // Flat caps on open ends, fanned from the centre, facing away from the neighbouring ring.
    for (size_t end : {size_t(0), count - 1}) {
        if (apex[end])
            continue;
        const Ring& ring = rings[end];
        const glm::vec3 centre = Centroid(ring);
        glm::vec3 normal = glm::normalize(PolygonNormal(ring));
        const glm::vec3 inward = Centroid(rings[end == 0 ? 1 : count - 2]) - centre;
        if (glm::dot(normal, inward) > 0)
            normal = -normal;
        glm::vec3 u, v;
        Across(normal, u, v);
        const auto planar = [&](glm::vec3 p) { return glm::vec2(glm::dot(p, u), glm::dot(p, v)) * scale; };
        const uint16_t c = Vertex(centre, normal, planar(centre));
        std::vector<uint16_t> rim;
        for (const glm::vec3& p : ring)
            rim.push_back(Vertex(p, normal, planar(p)));
        for (size_t j = 0; j < n; j++) {
            // Wound so that the face normal matches the cap's normal.
            const glm::vec3 fn = glm::cross(ring[j] - centre, ring[(j + 1) % n] - centre);
            if (glm::dot(fn, normal) >= 0)
                Triangle(c, rim[j], rim[(j + 1) % n], m);
            else
                Triangle(c, rim[(j + 1) % n], rim[j], m);
        }
    }
}

void MeshBuilder::Box(glm::vec3 centre, glm::vec3 half, const ModelMaterial& material, glm::vec3 ax,
                      glm::vec3 ay, glm::vec3 az) {
    const auto ring = [&](float z) {
        const glm::vec3 c = centre + az * (z * half.z);
        return Ring{c - ax * half.x - ay * half.y, c + ax * half.x - ay * half.y,
                    c + ax * half.x + ay * half.y, c - ax * half.x + ay * half.y};
    };
    Tube({ring(-1), ring(1)}, material, false);
}

void MeshBuilder::Block(glm::vec3 min, glm::vec3 max, const ModelMaterial& material) {
    Box((min + max) * 0.5f, (max - min) * 0.5f, material);
}

void MeshBuilder::Cylinder(glm::vec3 a, glm::vec3 b, float ra, float rb, int sides,
                           const ModelMaterial& material, bool smooth) {
    const glm::vec3 axis = glm::normalize(b - a);
    Tube({CircleRing(a, axis, ra, sides), CircleRing(b, axis, rb, sides)}, material, smooth);
}

void MeshBuilder::Prism(const std::vector<glm::vec2>& outline, float z0, float z1,
                        const ModelMaterial& material) {
    Ring front, back;
    for (const glm::vec2& p : outline) {
        front.push_back({p.x, p.y, z0});
        back.push_back({p.x, p.y, z1});
    }
    Tube({front, back}, material, false);
}

void MeshBuilder::Sheet(const std::vector<glm::vec3>& outline, const ModelMaterial& material) {
    const uint16_t m = Use(material);
    const float scale = 1.0f / material.metresPerRepeat;
    g.shells.push_back(uint32_t(g.triangles.size()));
    std::vector<uint16_t> rim;
    for (const glm::vec3& p : outline)
        rim.push_back(Vertex(p, {0, 1, 0}, glm::vec2(p.x, p.z) * scale));
    const glm::vec3 n = PolygonNormal(Ring(outline.begin(), outline.end()));
    for (size_t j = 1; j + 1 < rim.size(); j++) {
        if (n.y >= 0)
            Triangle(rim[0], rim[j], rim[j + 1], m);
        else
            Triangle(rim[0], rim[j + 1], rim[j], m);
    }
    g.open = true;
}

void TransformGeometry(ModelGeometry& geometry, const glm::mat4& matrix) {
    const glm::mat3 normalMatrix = glm::inverseTranspose(glm::mat3(matrix));
    for (glm::vec3& p : geometry.positions)
        p = glm::vec3(matrix * glm::vec4(p, 1));
    for (glm::vec3& n : geometry.normals)
        n = glm::normalize(normalMatrix * n);
    if (glm::determinant(glm::mat3(matrix)) < 0) {
        for (ModelTriangle& t : geometry.triangles)
            std::swap(t.vertices[1], t.vertices[2]);
    }
}

void MirrorX(ModelGeometry& geometry) {
    TransformGeometry(geometry, glm::mat4(glm::vec4(-1, 0, 0, 0), glm::vec4(0, 1, 0, 0),
                                          glm::vec4(0, 0, 1, 0), glm::vec4(0, 0, 0, 1)));
}

void Merge(ModelGeometry& a, const ModelGeometry& b) {
    if (a.positions.size() + b.positions.size() > 65535)
        throw std::length_error("too many vertices for one geometry");
    MeshBuilder builder(a);
    std::vector<uint16_t> materials;
    for (const ModelMaterial& m : b.materials)
        materials.push_back(builder.Use(m));
    const uint16_t base = uint16_t(a.positions.size());
    for (uint32_t shell : b.shells)
        a.shells.push_back(uint32_t(a.triangles.size()) + shell);
    a.positions.insert(a.positions.end(), b.positions.begin(), b.positions.end());
    a.normals.insert(a.normals.end(), b.normals.begin(), b.normals.end());
    a.uvs.insert(a.uvs.end(), b.uvs.begin(), b.uvs.end());
    for (ModelTriangle t : b.triangles) {
        for (uint16_t& v : t.vertices)
            v = uint16_t(v + base);
        t.material = materials[t.material];
        a.triangles.push_back(t);
    }
    a.open = a.open || b.open;
}

ShapeReport CheckShape(const ModelGeometry& geometry) {
    ShapeReport report;
    if (geometry.positions.empty())
        return report;
    report.min = report.max = geometry.positions[0];
    for (const glm::vec3& p : geometry.positions) {
        report.min = glm::min(report.min, p);
        report.max = glm::max(report.max, p);
    }
    // Each shell on its own: weld by position (to a tenth of a millimetre) so that seams and caps join
    // their neighbours, then every edge must be met once in each direction.
    std::vector<uint32_t> starts = geometry.shells;
    if (starts.empty() || starts[0] != 0)
        starts.insert(starts.begin(), 0);
    starts.push_back(uint32_t(geometry.triangles.size()));
    bool outward = true;
    double volume = 0;
    report.closed = true;
    report.consistent = true;
    report.shellsPositive = true;
    for (size_t s = 0; s + 1 < starts.size(); s++) {
        std::map<std::tuple<long, long, long>, int> welded;
        std::map<std::pair<int, int>, int> edges; // directed edge -> uses
        const auto weld = [&](uint16_t v) {
            const glm::vec3& p = geometry.positions[v];
            const auto key =
                std::make_tuple(std::lround(p.x * 1e4f), std::lround(p.y * 1e4f), std::lround(p.z * 1e4f));
            return welded.emplace(key, int(welded.size())).first->second;
        };
        double shellVolume = 0;
        for (uint32_t k = starts[s]; k < starts[s + 1]; k++) {
            const ModelTriangle& t = geometry.triangles[k];
            const glm::vec3 a = geometry.positions[t.vertices[0]], b = geometry.positions[t.vertices[1]],
                            c = geometry.positions[t.vertices[2]];
            const glm::vec3 fn = glm::cross(b - a, c - a);
            if (glm::length(fn) < 1e-9f) {
                report.degenerate++;
                continue;
            }
            shellVolume += glm::dot(a, glm::cross(b, c)) / 6.0;
            for (uint16_t v : t.vertices) {
                if (glm::dot(geometry.normals[v], glm::normalize(fn)) < -1e-3f)
                    outward = false;
            }
            for (int q = 0; q < 3; q++)
                edges[{weld(t.vertices[size_t(q)]), weld(t.vertices[size_t((q + 1) % 3)])}]++;
        }
        bool shellClosed = true;
        for (const auto& [edge, uses] : edges) {
            const auto back = edges.find({edge.second, edge.first});
            const int opposite = back == edges.end() ? 0 : back->second;
            if (uses != 1)
                report.consistent = false;
            if (uses != 1 || opposite != 1)
                shellClosed = false;
        }
        report.closed = report.closed && shellClosed;
        if (shellClosed && shellVolume <= 0)
            report.shellsPositive = false;
        volume += shellVolume;
    }
    report.volume = float(volume);
    report.normalsOutward = outward;
    return report;
}

} // namespace Tools
