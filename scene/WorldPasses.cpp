#include "scene/WorldPasses.h"

#include "scene/RenderProbe.h"

#include <algorithm>
#include <array>
#include <deque>
#include <typeinfo>
#include <cmath>
#include <vector>

namespace Grp {

namespace {

// Working arrays kept from frame to frame, so that a warm pass allocates nothing; a pass started from within
// another of its kind works on its own arrays.
template <class Buffers> class Scratch {
public:
    Buffers& Take() {
        if (busy)
            return Spare();
        busy = true;
        return buffers;
    }
    void Give(Buffers& taken) {
        if (&taken == &buffers)
            busy = false;
        else
            spares.pop_back();
    }

private:
    Buffers& Spare() { return spares.emplace_back(); }
    Buffers buffers;
    bool busy = false;
    std::deque<Buffers> spares;
};

template <class Buffers> struct Borrowed {
    explicit Borrowed(Scratch<Buffers>& s) : scratch(s), buffers(s.Take()) {}
    ~Borrowed() { scratch.Give(buffers); }
    Scratch<Buffers>& scratch;
    Buffers& buffers;
};

struct SimulateBuffers {
    struct Entry {
        float step, time;
        Base::SmartPtr<Obj::Simulateable> member;
    };
    std::vector<Entry> entries;
    std::vector<uint32_t> heap;
};

struct RunBuffers {
    struct Entry {
        uint8_t order;
        uint32_t index;
    };
    std::vector<Base::SmartPtr<Obj::Runnable>> members;
    std::vector<Entry> entries;
};

struct RenderBuffers {
    struct Entry {
        uint8_t pass;
        uint32_t index;
    };
    std::vector<Base::SmartPtr<Obj::Renderable>> members;
    std::vector<Entry> entries, sorted;
};

Scratch<SimulateBuffers>& SimulateScratch() {
    static Scratch<SimulateBuffers> scratch;
    return scratch;
}
Scratch<RunBuffers>& RunScratch() {
    static Scratch<RunBuffers> scratch;
    return scratch;
}
Scratch<RenderBuffers>& RenderScratch() {
    static Scratch<RenderBuffers> scratch;
    return scratch;
}

// The next step's time: a member without a positive interval steps straight to t1.
float NextTime(float time, float step, float t1) {
    return step > 0 ? std::min(time + step, t1) : t1;
}

float PlaneDistance(const Rw::Plane& plane, const RwV3d& p) {
    return plane.x * p.x + plane.y * p.y + plane.z * p.z - plane.d;
}

} // namespace

void SimulateGroup(Simple<Obj::Simulateable>& group, float t0, float t1) {
    Borrowed<SimulateBuffers> borrowed(SimulateScratch());
    auto& entries = borrowed.buffers.entries;
    auto& heap = borrowed.buffers.heap;
    entries.clear();
    heap.clear();
    group.ForEach([&](Obj::Simulateable* member) {
        if (!(member->lastTime < t1))
            return;
        float first;
        if (member->lastTime < 0)
            first = t0;
        else if (member->stepInterval > 0)
            first = std::max(member->lastTime + member->stepInterval, t0);
        else
            first = t1;
        entries.push_back({member->stepInterval, std::min(first, t1), member});
    });
    auto later = [&](uint32_t a, uint32_t b) { return entries[a].time > entries[b].time; };
    for (uint32_t n = 0; n < entries.size(); ++n) {
        heap.push_back(n);
        std::push_heap(heap.begin(), heap.end(), later);
    }
    while (!heap.empty()) {
        std::pop_heap(heap.begin(), heap.end(), later);
        auto& entry = entries[heap.back()];
        heap.pop_back();
        Obj::Simulateable* member = entry.member;
        if (!member)
            continue;
        const float t = entry.time;
        const float dt = member->lastTime >= 0 ? t - member->lastTime : 0.0f;
        member->Simulate(t, dt);
        member = entry.member;
        if (!member)
            continue;
        member->lastTime = t;
        if (t < t1) {
            entry.time = NextTime(t, entry.step, t1);
            heap.push_back(uint32_t(&entry - entries.data()));
            std::push_heap(heap.begin(), heap.end(), later);
        }
    }
    entries.clear();
}

void RunGroup(Simple<Obj::Runnable>& group) {
    Borrowed<RunBuffers> borrowed(RunScratch());
    auto& members = borrowed.buffers.members;
    auto& entries = borrowed.buffers.entries;
    members.clear();
    entries.clear();
    group.ForEach([&](Obj::Runnable* member) {
        entries.push_back({member->runOrder, uint32_t(members.size())});
        members.emplace_back(member);
    });
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.order < b.order; });
    for (const auto& entry : entries)
        if (Obj::Runnable* member = members[entry.index])
            member->Run();
    members.clear();
}

VisibleIterator::VisibleIterator(const Rw::CameraView& view, const Spatial<Obj::Renderable>& group) {
    view.GetNearPlane(&planes[0]);
    view.GetFarPlane(&planes[1]);
    view.GetMinusRightPlane(&planes[2]);
    view.GetPlusRightPlane(&planes[3]);
    view.GetTopPlane(&planes[4]);
    view.GetBottomPlane(&planes[5]);

    const RwV3d& at = view.at;
    const RwV3d& up = view.up;
    const RwV3d right = {up.y * at.z - up.z * at.y, up.z * at.x - up.x * at.z, up.x * at.y - up.y * at.x};
    RwBBox box = {{-HUGE_VALF, -HUGE_VALF, -HUGE_VALF}, {HUGE_VALF, HUGE_VALF, HUGE_VALF}};
    for (const float d : {view.nearClip, view.farClip})
        for (const float sx : {-1.0f, 1.0f})
            for (const float sy : {-1.0f, 1.0f}) {
                const float rx = sx * view.windowX * d, uy = sy * view.windowY * d;
                const RwV3d c = {view.position.x + at.x * d + right.x * rx + up.x * uy,
                                 view.position.y + at.y * d + right.y * rx + up.y * uy,
                                 view.position.z + at.z * d + right.z * rx + up.z * uy};
                box.sup = {std::max(box.sup.x, c.x), std::max(box.sup.y, c.y), std::max(box.sup.z, c.z)};
                box.inf = {std::min(box.inf.x, c.x), std::min(box.inf.y, c.y), std::min(box.inf.z, c.z)};
            }
    sectors.Begin(group, box);
    wholeInside = false;
    link = &sectors.current->head;
    Settle();
}

bool VisibleIterator::EnterSector() {
    const auto* sector = sectors.current;
    const RwV3d c = {(sector->max.x + sector->min.x) / 2, (sector->max.y + sector->min.y) / 2,
                     (sector->max.z + sector->min.z) / 2};
    const RwV3d e = {(sector->max.x - sector->min.x) / 2, (sector->max.y - sector->min.y) / 2,
                     (sector->max.z - sector->min.z) / 2};
    wholeInside = true;
    for (const Rw::Plane& plane : planes) {
        const float r = std::fabs(plane.x) * e.x + std::fabs(plane.y) * e.y + std::fabs(plane.z) * e.z;
        const float s = PlaneDistance(plane, c);
        if (s + r < 0)
            return false;
        if (s - r < 0)
            wholeInside = false;
    }
    return true;
}

bool VisibleIterator::Passes(Obj::Renderable* member) const {
    if (wholeInside)
        return true;
    const RwSphere* sphere = member->GetBoundingSphere();
    if (!sphere)
        return true;
    for (const Rw::Plane& plane : planes)
        if (PlaneDistance(plane, sphere->center) + sphere->radius < 0)
            return false;
    return true;
}

// From the current link on to the next member that passes, or to the end.
void VisibleIterator::Settle() {
    for (;;) {
        link = link->next;
        if (link != &sectors.current->head) {
            if (Passes(**this))
                return;
            continue;
        }
        do {
            if (!sectors.Next()) {
                link = nullptr;
                return;
            }
        } while (!EnterSector());
        link = &sectors.current->head;
    }
}

VisibleIterator& VisibleIterator::operator++() {
    if (link)
        Settle();
    return *this;
}

VisibleRangeResult VisibleRange(const Rw::CameraView& view, const Spatial<Obj::Renderable>& group) {
    return {VisibleIterator(view, group), VisibleIterator()};
}

void RenderVisible(VisibleIterator begin, VisibleIterator end, Cameras::Basic* camera) {
    Borrowed<RenderBuffers> borrowed(RenderScratch());
    auto& members = borrowed.buffers.members;
    auto& entries = borrowed.buffers.entries;
    auto& sorted = borrowed.buffers.sorted;
    members.clear();
    entries.clear();
    for (VisibleIterator it = begin; !(it == end); ++it) {
        Obj::Renderable* member = *it;
        const uint32_t index = uint32_t(members.size());
        members.emplace_back(member);
        for (const uint8_t pass : member->renderOrders)
            entries.push_back({pass, index});
    }
    // A counting sort by pass: stable, and no allocation once the arrays have grown.
    std::array<uint32_t, 257> start{};
    for (const auto& entry : entries)
        ++start[entry.pass + 1u];
    for (size_t p = 1; p < start.size(); ++p)
        start[p] += start[p - 1];
    sorted.resize(entries.size());
    for (const auto& entry : entries)
        sorted[start[entry.pass]++] = entry;
    for (const auto& entry : sorted)
        if (Obj::Renderable* member = members[entry.index]) {
            ProbeSection section(renderProbe ? typeid(*member).name() : nullptr);
            member->Render(entry.pass, camera);
        }
    members.clear();
}

} // namespace Grp
