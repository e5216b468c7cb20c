// Obj::Dff: a model loaded from its model description (a *.model file, or the model part of an object's
// *.info): the model file, which atomics are drawn and collide, and the render orders with their levels of
// detail and command programs.
#pragma once

#include "scene/Clump.h"

#include <cstdint>

namespace Base {
class Info;
}

namespace Obj {

class Dff : public Clump {
public:
    using RenderOrder = DffRenderOrder;
    using Lod = DffLod;
    using Command = DffCommand;

    // No clump until Load.
    Dff() : Clump(nullptr, false) {}

    // False, with no message, for a description that cannot be used; the clump taken so far stays (the
    // caller deletes an object whose load failed).
    virtual bool Load(const Base::Info* node);

    // A whole unsigned integer (0x hex, leading-0 octal, a sign allowed), else a whole decimal float as its
    // bits; false when the key is missing or the value is neither.
    static bool ReadStateValue(const Base::Info* node, const char* key, uint32_t* out);
};

} // namespace Obj
