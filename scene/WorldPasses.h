// The three passes a game runs over its world each frame: the simulation of every simulateable over the
// frame's span of world time, one run of every runnable in run order, and the drawing of the renderables
// in view, pass by pass. Members that die during a pass are skipped; members that join during it take part
// from the next frame. Once warm, the passes allocate nothing.
#pragma once

#include "scene/ObjectModel.h"
#include "scene/Wrappers.h"

namespace Grp {

// Steps every member whose last time is below t1 up to t1, in steps of at most its interval (a member whose
// interval is not positive steps once, to t1), all members' steps in ascending time.
void SimulateGroup(Simple<Obj::Simulateable>& group, float t0, float t1);
// Runs every member once, lower run orders first.
void RunGroup(Simple<Obj::Runnable>& group);

// The renderables in the view: the catch-all sector's members, then those of the grid cells under the
// view's box whose widened box is not wholly outside a frustum plane; members of a sector only partly
// inside are left out when their sphere lies wholly outside a plane (touching stays visible).
class VisibleIterator {
public:
    VisibleIterator() = default;
    VisibleIterator(const Rw::CameraView& view, const Spatial<Obj::Renderable>& group);

    Obj::Renderable* operator*() const { return Spatial<Obj::Renderable>::Get(link); }
    VisibleIterator& operator++();
    bool operator==(const VisibleIterator& other) const { return link == other.link; }

private:
    bool EnterSector();
    bool Passes(Obj::Renderable* member) const;
    void Settle();

    SpatialBoxIterator<Obj::Renderable> sectors;
    Node* link = nullptr;
    Rw::Plane planes[6] = {};
    bool wholeInside = false;
};

struct VisibleRangeResult {
    VisibleIterator first, last;
    VisibleIterator begin() const { return first; }
    VisibleIterator end() const { return last; }
};
VisibleRangeResult VisibleRange(const Rw::CameraView& view, const Spatial<Obj::Renderable>& group);

// Draws the range pass by pass: one entry per byte of each member's render orders, ordered by pass with the
// visiting order kept among equal passes.
void RenderVisible(VisibleIterator begin, VisibleIterator end, Cameras::Basic* camera);

} // namespace Grp
