#include "gui/Cursor.h"

#include "gui/Desktop.h"
#include "input/Mouse.h"

#include <algorithm>

namespace Gui {

bool Cursor::Load(const Base::String& widgetName, const Base::Info& node) {
    SetTransparent(true);
    return Widget::Load(widgetName, node);
}

void Cursor::Update() {
    UpdateChildren(false);
    if (owner && owner->mouse)
        SetPosition({position.x + float(owner->mouse->dx), position.y + float(owner->mouse->dy)});
}

void Cursor::SetOwner(Desktop* newOwner) {
    if (newOwner) {
        bounds = newOwner->screenRect;
        SetPosition(position);
    }
    Widget::SetOwner(newOwner);
}

void Cursor::SetPosition(Base::Vector2 point) {
    position.x = std::min(std::max(point.x, bounds.left), bounds.right);
    position.y = std::min(std::max(point.y, bounds.top), bounds.bottom);
}

} // namespace Gui
