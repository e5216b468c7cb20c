// The clip rectangles of the drawing in progress, in screen pixels: the top one clips every screen quad and
// the model preview. One stack for the program; its rect blocks are kept for reuse until exit.
#pragma once

#include "base/Maths.h"

#include <memory>
#include <vector>

namespace Gui {

using Rect = Base::Rect;

class ClipStack {
public:
    // A null rect pops. With intersect and a non-empty stack the rect is cut to the top one (all zero when
    // they do not overlap).
    void Push(const Rect* rect, bool intersect);
    void Pop();
    // Null when the stack is empty.
    const Rect* Top() const { return depth > 0 ? blocks[depth - 1].get() : nullptr; }
    size_t Depth() const { return depth; }

private:
    std::vector<std::unique_ptr<Rect>> blocks;
    size_t depth = 0;
};

extern ClipStack TheClipStack;

void PushClipRect(const Rect* rect, bool intersect);
void PopClipRect();
const Rect* GetClipRect();

} // namespace Gui
