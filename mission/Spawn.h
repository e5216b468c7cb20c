// Group formations of the spawn actions: where the object of index i of a group stands around the group's
// point, repeatable for a given heading and index.
#pragma once

#include "base/Maths.h"

#include <cstdint>

namespace Base {
class Info;
}

namespace Mission {

struct Formation {
    enum Type : int32_t { None = 0, LineAhead = 1, LineAbreast = 2, Wedge = 3, Random = 4 };
    int32_t type = None; // None: a group of one
    float span = 0;
};

// "Type" (one of the four words, any letter case) and "ObjectsSpan".
bool ParseFormation(const Base::Info& node, Formation& out);

// The point of object index around the reference point for the unit direction. The draws come from a
// generator of its own, seeded from the direction's angle in whole degrees plus the index, so placements
// repeat and the program's generator is left alone.
Base::Vector2 PlaceInFormation(const Formation& formation, Base::Vector2& out, uint32_t index,
                               Base::Vector2 reference, Base::Vector2 direction);

// The seed of that placement: the signed angle from the direction to (1, 0) in whole degrees, plus the
// index; 0 becomes 1335.
uint32_t FormationSeed(Base::Vector2 direction, uint32_t index);

// The group direction of a heading in degrees: (-sin h, cos h).
Base::Vector2 GroupDirection(float headingDegrees);

} // namespace Mission
