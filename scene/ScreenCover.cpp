#include "scene/ScreenCover.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Grp {

namespace {

double Cross(const ScreenCover::Point& a, const ScreenCover::Point& b, const ScreenCover::Point& c) {
    return (double(b.x) - a.x) * (double(c.y) - a.y) - (double(b.y) - a.y) * (double(c.x) - a.x);
}

// Below this doubled area (square pixels) a triangle's winding is left to chance: it is left out.
constexpr double MinDoubledArea = 1.0e-3;

} // namespace

void ScreenCover::Begin(int left, int top, int width, int height) {
    left_ = left;
    top_ = top;
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    triangles_.clear();
    runs_.clear();
    spans_.clear();
    rowStart_.assign(size_t(height_) + 1, 0);
    camera = nullptr;
}

void ScreenCover::AddMesh(const Point* points, size_t pointCount, const uint16_t* indices, size_t indexCount,
                          Cull cull) {
    indices_.assign(indices, indices + indexCount);
    AddTriangles(points, pointCount, indices_.data(), indices_.size(), cull);
}

ScreenCover::Point ScreenCover::ToScreen(const ClipPoint& p) const {
    return {float((p.x / p.w + 1) * 0.5 * width_ + left_), float((1 - p.y / p.w) * 0.5 * height_ + top_)};
}

void ScreenCover::AddMesh(const ClipPoint* points, size_t pointCount, const uint32_t* indices,
                          size_t indexCount, Cull cull, double nearW) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    screen_.resize(pointCount);
    for (size_t i = 0; i < pointCount; ++i)
        screen_[i] = points[i].w >= nearW ? ToScreen(points[i]) : Point{nan, nan};
    indices_.clear();
    cuts_.clear();
    // The point where the edge from a to b meets the near plane, made once per edge from its lower-numbered
    // end, so that the triangles on both sides share it.
    const auto cut = [&](uint32_t a, uint32_t b) {
        const uint32_t lo = std::min(a, b), hi = std::max(a, b);
        const uint64_t key = uint64_t(lo) << 32 | hi;
        for (const auto& [k, id] : cuts_)
            if (k == key)
                return id;
        const ClipPoint& p = points[lo];
        const ClipPoint& q = points[hi];
        const double t = (nearW - p.w) / (q.w - p.w);
        const ClipPoint at{p.x + t * (q.x - p.x), p.y + t * (q.y - p.y), nearW};
        const uint32_t id = uint32_t(screen_.size());
        screen_.push_back(ToScreen(at));
        cuts_.emplace_back(key, id);
        return id;
    };
    for (size_t t = 0; t + 2 < indexCount; t += 3) {
        const uint32_t v[3] = {indices[t], indices[t + 1], indices[t + 2]};
        if (v[0] >= pointCount || v[1] >= pointCount || v[2] >= pointCount)
            continue;
        bool in[3];
        int inside = 0;
        for (int k = 0; k < 3; ++k)
            inside += in[k] = points[v[k]].w >= nearW && std::isfinite(points[v[k]].x) &&
                              std::isfinite(points[v[k]].y) && std::isfinite(points[v[k]].w);
        if (inside == 3) {
            indices_.insert(indices_.end(), v, v + 3);
            continue;
        }
        if (inside == 0)
            continue;
        // The part in front of the near plane, in the triangle's winding: three or four points.
        uint32_t polygon[4];
        int n = 0;
        for (int k = 0; k < 3; ++k) {
            const int k1 = (k + 1) % 3;
            if (in[k])
                polygon[n++] = v[k];
            if (in[k] != in[k1])
                polygon[n++] = cut(v[k], v[k1]);
        }
        for (int k = 1; k + 1 < n; ++k) {
            indices_.push_back(polygon[0]);
            indices_.push_back(polygon[k]);
            indices_.push_back(polygon[k + 1]);
        }
    }
    AddTriangles(screen_.data(), screen_.size(), indices_.data(), indices_.size(), cull);
}

void ScreenCover::AddTriangles(const Point* points, size_t pointCount, const uint32_t* indices,
                               size_t indexCount, Cull cull) {
    const float loX = float(left_) - Guard * float(width_), hiX = float(left_) + (Guard + 1) * float(width_);
    const float loY = float(top_) - Guard * float(height_), hiY = float(top_) + (Guard + 1) * float(height_);
    const auto usable = [&](const Point& p) { return p.x >= loX && p.x <= hiX && p.y >= loY && p.y <= hiY; };
    edges_.clear();
    for (size_t t = 0; t + 2 < indexCount; t += 3) {
        Triangle triangle{};
        bool ok = true;
        for (int k = 0; k < 3; ++k) {
            triangle.id[k] = indices[t + size_t(k)];
            if (triangle.id[k] >= pointCount || !usable(points[triangle.id[k]])) {
                ok = false;
                break;
            }
            triangle.p[k] = points[triangle.id[k]];
        }
        if (!ok)
            continue;
        // y down: a positive cross product turns clockwise on the screen.
        const double area = Cross(triangle.p[0], triangle.p[1], triangle.p[2]);
        if (std::fabs(area) < MinDoubledArea)
            continue;
        if ((cull == Cull::Clockwise && area > 0) || (cull == Cull::CounterClockwise && area < 0))
            continue;
        const int8_t side = area > 0 ? 1 : -1;
        const uint32_t number = uint32_t(triangles_.size());
        for (int k = 0; k < 3; ++k) {
            const uint32_t a = triangle.id[k], b = triangle.id[(k + 1) % 3];
            // The third point's side of the edge taken from its lower-numbered end.
            edges_.push_back({a < b ? uint64_t(a) << 32 | b : uint64_t(b) << 32 | a, number, uint8_t(k),
                              int8_t(a < b ? side : -side)});
        }
        triangles_.push_back(triangle);
    }
    std::sort(edges_.begin(), edges_.end(), [](const Edge& a, const Edge& b) { return a.key < b.key; });
    for (size_t i = 0; i < edges_.size();) {
        size_t j = i;
        bool plus = false, minus = false;
        for (; j < edges_.size() && edges_[j].key == edges_[i].key; ++j)
            (edges_[j].side > 0 ? plus : minus) = true;
        if (plus && minus)
            for (size_t k = i; k < j; ++k)
                triangles_[edges_[k].triangle].inner |= uint8_t(1u << edges_[k].slot);
        i = j;
    }
}

void ScreenCover::End() {
    const int lastRow = top_ + height_ - 1, lastColumn = left_ + width_ - 1;
    // An edge as the rows meet it: from its lower-numbered end, so that the triangles on both sides of a
    // shared edge find the same crossing to the last bit.
    struct Bound {
        double ax, ay, slope, shrink;
        bool flat, right; // flat: along a row; right: the inside lies to the right (below, when flat)
    };
    for (const Triangle& t : triangles_) {
        const float yMin = std::min({t.p[0].y, t.p[1].y, t.p[2].y});
        const float yMax = std::max({t.p[0].y, t.p[1].y, t.p[2].y});
        const int rowFrom = std::max(int(std::ceil(yMin)), top_),
                  rowTo = std::min(int(std::floor(yMax)), lastRow);
        if (rowFrom > rowTo)
            continue;
        Bound bounds[3];
        for (int k = 0; k < 3; ++k) {
            const int k1 = (k + 1) % 3, k2 = (k + 2) % 3;
            const bool forward = t.id[k] < t.id[k1];
            const Point& a = forward ? t.p[k] : t.p[k1];
            const Point& b = forward ? t.p[k1] : t.p[k];
            const Point& w = t.p[k2];
            const double margin = (t.inner >> k) & 1 ? 0.0 : double(Margin);
            const double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
            Bound& e = bounds[k];
            e.ax = a.x;
            e.ay = a.y;
            e.flat = dy == 0;
            if (e.flat) {
                e.slope = 0;
                e.shrink = margin;
                e.right = w.y > a.y;
                continue;
            }
            e.slope = dx / dy;
            e.shrink = margin * std::sqrt(dx * dx + dy * dy) / std::fabs(dy);
            // Moving right raises the cross product exactly when the edge runs up the screen.
            e.right = (Cross(a, b, w) > 0) == (dy < 0);
        }
        for (int row = rowFrom; row <= rowTo; ++row) {
            const double y = row;
            double l = -std::numeric_limits<double>::infinity(), r = std::numeric_limits<double>::infinity();
            bool empty = false;
            for (const Bound& e : bounds) {
                const double offset = y - e.ay;
                if (e.flat) {
                    // Inside on the third point's side, a shared edge's own row included.
                    if ((e.right ? offset : -offset) < e.shrink)
                        empty = true;
                    continue;
                }
                const double x = e.ax + offset * e.slope;
                if (e.right)
                    l = std::max(l, x + e.shrink);
                else
                    r = std::min(r, x - e.shrink);
            }
            if (empty || !(l <= r))
                continue;
            const double first = std::max(std::ceil(l), double(left_)),
                         last = std::min(std::floor(r), double(lastColumn));
            if (first <= last)
                runs_.push_back({row, int32_t(first), int32_t(last)});
        }
    }
    // Runs by row (counted into place), then along each row.
    rowRuns_.assign(size_t(height_) + 1, 0);
    for (const Run& run : runs_)
        ++rowRuns_[size_t(run.row - top_) + 1];
    for (size_t row = 1; row < rowRuns_.size(); ++row)
        rowRuns_[row] += rowRuns_[row - 1];
    sorted_.resize(runs_.size());
    {
        std::vector<uint32_t>& at = rowFill_;
        at.assign(rowRuns_.begin(), rowRuns_.end() - 1);
        for (const Run& run : runs_)
            sorted_[at[size_t(run.row - top_)]++] = {run.first, run.last};
    }
    // Runs that meet or overlap, or leave no pixel centre between them, join.
    for (int row = 0; row < height_; ++row) {
        rowStart_[size_t(row)] = uint32_t(spans_.size());
        Span* begin = sorted_.data() + rowRuns_[size_t(row)];
        Span* end = sorted_.data() + rowRuns_[size_t(row) + 1];
        if (begin == end)
            continue;
        std::sort(begin, end, [](const Span& a, const Span& b) { return a.first < b.first; });
        Span span = *begin;
        for (const Span* run = begin + 1; run < end; ++run) {
            if (run->first <= span.last + 1) {
                span.last = std::max(span.last, run->last);
                continue;
            }
            spans_.push_back(span);
            span = *run;
        }
        spans_.push_back(span);
    }
    rowStart_[size_t(height_)] = uint32_t(spans_.size());
}

bool ScreenCover::Covers(float left, float top, float right, float bottom) const {
    if (!(left <= right) || !(top <= bottom))
        return false;
    // Pixel centres in the rectangle, within the viewport.
    const double x0 = std::max(std::ceil(double(left)), double(left_));
    const double x1 = std::min(std::floor(double(right)), double(left_ + width_ - 1));
    const double y0 = std::max(std::ceil(double(top)), double(top_));
    const double y1 = std::min(std::floor(double(bottom)), double(top_ + height_ - 1));
    if (x0 > x1 || y0 > y1)
        return true;
    const int first = int(x0), last = int(x1);
    for (int row = int(y0) - top_; row <= int(y1) - top_; ++row) {
        const Span* begin = spans_.data() + rowStart_[size_t(row)];
        const Span* end = spans_.data() + rowStart_[size_t(row) + 1];
        // The last span starting at or before the first pixel.
        const Span* s = std::upper_bound(begin, end, first, [](int x, const Span& s) { return x < s.first; });
        if (s == begin || (s - 1)->last < last)
            return false;
    }
    return true;
}

bool ScreenCover::CoversBox(const float (&m)[4][4], const float (&lo)[3], const float (&hi)[3]) const {
    if (width_ <= 0 || height_ <= 0)
        return false;
    float left = std::numeric_limits<float>::infinity(), top = left;
    float right = -left, bottom = -left;
    for (int corner = 0; corner < 8; ++corner) {
        const double p[3] = {corner & 1 ? hi[0] : lo[0], corner & 2 ? hi[1] : lo[1],
                             corner & 4 ? hi[2] : lo[2]};
        double clip[4];
        for (int c = 0; c < 4; ++c)
            clip[c] = p[0] * m[0][c] + p[1] * m[1][c] + p[2] * m[2][c] + m[3][c];
        // Behind or at the eye the box's outline does not bound its pixels.
        if (!(clip[3] > 1.0e-3))
            return false;
        const double x = (clip[0] / clip[3] + 1) * 0.5 * width_ + left_;
        const double y = (1 - clip[1] / clip[3]) * 0.5 * height_ + top_;
        left = std::min(left, float(std::floor(x)) - 1);
        right = std::max(right, float(std::ceil(x)) + 1);
        top = std::min(top, float(std::floor(y)) - 1);
        bottom = std::max(bottom, float(std::ceil(y)) + 1);
    }
    return Covers(left, top, right, bottom);
}

bool ScreenCover::Fits(const void* user, const float (&position)[3], const float (&direction)[3]) const {
    if (!user || user != camera)
        return false;
    for (int i = 0; i < 3; ++i)
        if (!(std::fabs(position[i] - eye[i]) <= 0.01f) || !(std::fabs(direction[i] - look[i]) <= 1.0e-4f))
            return false;
    return true;
}

bool ScreenCover::Covered(int x, int y) const {
    return Covers(float(x), float(y), float(x), float(y)) && x >= left_ && x < left_ + width_ && y >= top_ &&
           y < top_ + height_;
}

size_t ScreenCover::CoveredPixels() const {
    size_t n = 0;
    for (const Span& s : spans_)
        n += size_t(s.last - s.first + 1);
    return n;
}

} // namespace Grp
