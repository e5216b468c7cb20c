#include "gui/ClipStack.h"

#include <algorithm>

namespace Gui {

ClipStack TheClipStack;

void ClipStack::Push(const Rect* rect, bool intersect) {
    if (!rect) {
        Pop();
        return;
    }
    Rect pushed = *rect;
    if (intersect && depth > 0) {
        const Rect& top = *blocks[depth - 1];
        pushed = {std::max(rect->left, top.left), std::max(rect->top, top.top),
                  std::min(rect->right, top.right), std::min(rect->bottom, top.bottom)};
        if (pushed.right < pushed.left || pushed.bottom < pushed.top)
            pushed = Rect{};
    }
    if (depth == blocks.size())
        blocks.push_back(std::make_unique<Rect>());
    *blocks[depth++] = pushed;
}

void ClipStack::Pop() {
    if (depth > 0)
        --depth;
}

void PushClipRect(const Rect* rect, bool intersect) {
    TheClipStack.Push(rect, intersect);
}

void PopClipRect() {
    TheClipStack.Pop();
}

const Rect* GetClipRect() {
    return TheClipStack.Top();
}

} // namespace Gui
