// Cockpit::Navpoints: the named ground points of one cockpit that the mission adds and removes and the player
// steps through. A removed point leaves its slot empty, so the others keep their indices.
#pragma once

#include "base/String.h"

#include <memory>
#include <vector>

namespace Cockpit {

class Cockpit;

struct Navpoint {
    Base::String name;
    float x = 0, z = 0; // world metres; navpoints have no height
};

class Navpoints {
public:
    explicit Navpoints(Cockpit* owner = nullptr) : owner(owner) {}

    // Stores the point at index (growing the list with empty slots, replacing what was there) and makes it
    // current. A negative index adds nothing.
    void Add(int index, const Base::String& name, float x, float z);
    // Empties the slot; the current index stays. Out of range: nothing.
    void Remove(int index);
    // The next slot becomes current, empty or not, wrapping to 0; -1 with no slots.
    void SelectNext();
    // Null for an empty slot or an index out of range.
    Navpoint* Get(int index) const;

    Cockpit* owner;
    std::vector<std::unique_ptr<Navpoint>> points;
    int current = -1;
};

} // namespace Cockpit
