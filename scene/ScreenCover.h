// Grp::ScreenCover: the pixels that an opaque shape drawn over the whole frame (the cockpit) paints, row by
// row, whatever was drawn under it. What lies wholly under them need not be drawn at all. Built from the
// shape's triangles on the screen; conservative: a pixel is in only when the rasteriser surely paints it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace Grp {

class ScreenCover {
public:
    // The winding on the screen that is not drawn.
    enum class Cull : uint8_t { None, Clockwise, CounterClockwise };
    // Direct3D's screen coordinates: y down, pixel centres on integers.
    struct Point {
        float x = 0, y = 0;
    };
    // Direct3D's clip space, z left out: the viewport maps x / w and y / w, w is the distance from the eye.
    struct ClipPoint {
        double x = 0, y = 0, w = 0;
    };

    // Starts over for the viewport's pixels [left, left + width) x [top, top + height); empty until End.
    void Begin(int left, int top, int width, int height);
    // A mesh's triangles, three indices into points each. A point that is not finite (one the near plane
    // clips) leaves its triangles out. An edge shared by triangles of the mesh on both of its sides leaves
    // no gap between them; every other edge is drawn in by Margin.
    void AddMesh(const Point* points, size_t pointCount, const uint16_t* indices, size_t indexCount,
                 Cull cull);
    // The same from clip space, the triangles cut at the near plane (w = nearW) as a rasteriser cuts them:
    // the cut's edges are outer ones, the rest stay shared.
    void AddMesh(const ClipPoint* points, size_t pointCount, const uint32_t* indices, size_t indexCount,
                 Cull cull, double nearW);
    void End();

    // Every pixel of the viewport whose centre lies in the rectangle is covered (true when there is none).
    bool Covers(float left, float top, float right, float bottom) const;
    // A box, mapped to clip space by the row-vector matrix m, projects within covered pixels; false when a
    // corner is not in front of the eye.
    bool CoversBox(const float (&m)[4][4], const float (&lo)[3], const float (&hi)[3]) const;
    bool Covered(int x, int y) const;
    size_t CoveredPixels() const;
    bool Empty() const { return spans_.empty(); }

    // The outer edges' margin in pixels: more than the rasteriser's snapping of vertices and the difference
    // between its arithmetic and ours.
    static constexpr float Margin = 0.75f;
    // Points further out than this many viewports leave their triangles out: a rasteriser clips those.
    static constexpr float Guard = 16.0f;

    // What the record was made for, for the user to check: the engine's camera, and where it stood and looked
    // (a record left over from another view does not fit it).
    const void* camera = nullptr;
    float eye[3] = {}, look[3] = {};
    // The camera stands within a centimetre of eye and looks along look within a ten-thousandth.
    bool Fits(const void* user, const float (&position)[3], const float (&direction)[3]) const;

private:
    struct Triangle {
        Point p[3];
        uint32_t id[3]; // the mesh's vertex numbers: shared edges are found, and computed alike, by them
        uint8_t inner;  // bit k: edge k (p[k] to p[k + 1]) has triangles on both sides
    };
    struct Edge {
        uint64_t key;
        uint32_t triangle;
        uint8_t slot;
        int8_t side;
    };
    struct Run {
        int32_t row, first, last;
    };
    struct Span {
        int32_t first, last;
    };

    void AddTriangles(const Point* points, size_t pointCount, const uint32_t* indices, size_t indexCount,
                      Cull cull);
    Point ToScreen(const ClipPoint& p) const;

    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    std::vector<Triangle> triangles_;
    std::vector<Edge> edges_;
    std::vector<Run> runs_;
    std::vector<uint32_t> rowStart_; // height_ + 1 entries into spans_
    std::vector<Span> spans_;
    // The runs sorted by row, and where each row's begin.
    std::vector<Span> sorted_;
    std::vector<uint32_t> rowRuns_, rowFill_;
    // A clip-space mesh's points on the screen (cut points after the mesh's own), its triangles, and the cut
    // points made so far by edge.
    std::vector<Point> screen_;
    std::vector<uint32_t> indices_;
    std::vector<std::pair<uint64_t, uint32_t>> cuts_;
};

// The record for the view being drawn, or null. Its maker sets it before the world draws and clears it
// when the frame's shape has been drawn.
inline ScreenCover* screenCover = nullptr;

} // namespace Grp
