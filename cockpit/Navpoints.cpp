#include "cockpit/Navpoints.h"

namespace Cockpit {

void Navpoints::Add(int index, const Base::String& name, float x, float z) {
    if (index < 0)
        return;
    if (points.size() <= size_t(index))
        points.resize(size_t(index) + 1);
    points[size_t(index)] = std::make_unique<Navpoint>(Navpoint{name, x, z});
    current = index;
}

void Navpoints::Remove(int index) {
    if (index >= 0 && size_t(index) < points.size())
        points[size_t(index)].reset();
}

void Navpoints::SelectNext() {
    current = points.empty() ? -1 : int((current + 1) % int(points.size()));
}

Navpoint* Navpoints::Get(int index) const {
    return index >= 0 && size_t(index) < points.size() ? points[size_t(index)].get() : nullptr;
}

} // namespace Cockpit
