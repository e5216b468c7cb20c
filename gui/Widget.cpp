#include "gui/Widget.h"

#include "base/Info.h"
#include "base/Parse.h"
#include "gui/Desktop.h"

#include <algorithm>
#include <vector>

namespace Gui {

namespace {

const Base::ClassRegistration<Widget> registration("class Gui::Widget");

// The draw lists of every DrawChildren in progress, one after the other: nested calls append behind their
// caller's list, so a warm frame draws without allocating.
std::vector<Widget*> drawList;

// The same for the update walks, with tracked pointers: a child's Update or Idle may remove or delete its
// siblings or itself (a menu page switching), which would leave a walk of the map on a freed node.
std::vector<Base::SmartPtr<Widget>> walkList;

// Calls visit for each child present when the walk began and still a child of container when its turn comes.
template <class Visit> void WalkChildren(const WidgetsContainer& container, Visit visit) {
    const size_t first = walkList.size();
    for (const auto& entry : container)
        walkList.emplace_back(entry.second);
    const size_t last = walkList.size();
    for (size_t i = first; i < last; ++i) {
        Widget* child = walkList[i]; // null once deleted
        if (!child)
            continue;
        auto found = container.find(child->name);
        if (found != container.end() && found->second == child)
            visit(child);
    }
    walkList.resize(first);
}

} // namespace

// ---- container

bool WidgetsContainer::AddChild(Widget* child) {
    return child && emplace(child->name, child).second;
}

bool WidgetsContainer::RemoveChild(Widget* child) {
    if (!child)
        return false;
    auto found = find(child->name);
    if (found == end() || found->second != child)
        return false;
    erase(found);
    if (focus == child)
        focus = nullptr;
    return true;
}

Widget* WidgetsContainer::FindUntyped(std::string_view childName) const {
    auto found = find(childName);
    return found == end() ? nullptr : found->second;
}

// ---- widget

Widget::~Widget() {
    // A widget deleted while still in a tree leaves it, so that nothing holds it afterwards.
    if (parent)
        parent->WidgetsContainer::RemoveChild(this);
    else if (owner)
        const_cast<WidgetsContainer*>(AsContainer(owner))->WidgetsContainer::RemoveChild(this);
    for (auto& entry : *this)
        if (entry.second->parent == this)
            entry.second->parent = nullptr;
}

bool Widget::AddChild(Widget* child) {
    if (!WidgetsContainer::AddChild(child))
        return false;
    if (child->owner != owner)
        child->SetOwner(owner);
    child->SetParent(this);
    return true;
}

bool Widget::RemoveChild(Widget* child) {
    if (!WidgetsContainer::RemoveChild(child))
        return false;
    if (owner) {
        owner->Forget(child);
        child->SetOwner(nullptr);
    }
    child->SetParent(nullptr);
    return true;
}

bool Widget::Load(const Base::String& widgetName, const Base::Info& node) {
    name = widgetName;
    Rect loaded;
    if (!node.GetRect("Rect", loaded) || loaded.right - loaded.left < 0 || loaded.bottom - loaded.top < 0)
        return false;
    rect = loaded;
    absRect = loaded;
    node.TryGetInt("DrawOrder", drawOrder);
    node.TryGetBool("Visible", visible);
    node.TryGetBool("Transparent", transparent);
    if (const Base::Info* widgets = node.GetChild("Widgets"))
        return CreateChildren(*this, *widgets);
    return true;
}

bool Widget::Reserved(void*) {
    return false;
}

void Widget::Draw() {
    DrawChildren();
}

void Widget::Idle() {
    WalkChildren(*this, [](Widget* child) { child->Idle(); });
}

void Widget::Update() {
    UpdateChildren(false);
}

void Widget::SetRect(const Rect& newRect) {
    if (newRect == rect)
        return;
    rect = newRect;
    SetAbsoluteRect(parent ? Offset(rect, parent->absRect.left, parent->absRect.top) : rect);
}

void Widget::SetDrawOrder(int32_t order) {
    drawOrder = order;
}

void Widget::SetVisible(bool on) {
    visible = on;
}

void Widget::SetTransparent(bool on) {
    transparent = on;
}

void Widget::SetParent(Widget* newParent) {
    parent = newParent;
    SetAbsoluteRect(parent ? Offset(rect, parent->absRect.left, parent->absRect.top) : rect);
}

void Widget::SetOwner(Desktop* newOwner) {
    for (auto& entry : *this)
        entry.second->SetOwner(newOwner);
    owner = newOwner;
}

void Widget::SetAbsoluteRect(const Rect& newRect) {
    for (auto& entry : *this)
        entry.second->SetAbsoluteRect(Offset(entry.second->rect, newRect.left, newRect.top));
    absRect = newRect;
}

void Widget::DrawChildren() {
    Gui::DrawChildren(*this);
}

void Widget::UpdateChildren(bool suspended) {
    Gui::UpdateChildren(*this, suspended);
}

void DrawChildren(const WidgetsContainer& container) {
    const size_t first = drawList.size();
    // Gathered in reverse name order and sorted stably, so that among equal draw orders the first name is
    // drawn last, on top: the one the hit test picks is the one the player sees.
    for (auto entry = container.rbegin(); entry != container.rend(); ++entry)
        if (entry->second->visible)
            drawList.push_back(entry->second);
    std::stable_sort(drawList.begin() + long(first), drawList.end(),
                     [](const Widget* a, const Widget* b) { return a->drawOrder < b->drawOrder; });
    // Indices, not iterators: a child's own DrawChildren appends to the same list.
    const size_t last = drawList.size();
    for (size_t i = first; i < last; ++i) {
        Widget* child = drawList[i];
        Rect screen = child->absRect;
        if (child->owner) {
            Base::Vector2 topLeft = child->owner->VirtualToScreen({screen.left, screen.top});
            Base::Vector2 bottomRight = child->owner->VirtualToScreen({screen.right, screen.bottom});
            screen = {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
        }
        PushClipRect(&screen, true);
        child->Draw();
        PopClipRect();
    }
    drawList.resize(first);
}

void UpdateChildren(const WidgetsContainer& container, bool suspended) {
    WalkChildren(container, [&container, suspended](Widget* child) {
        if (!suspended && child->visible && (!container.focus || container.focus == child))
            child->Update();
        else
            child->Idle();
    });
}

// ---- creation by class name

namespace {

void DeleteTree(Widget* widget) {
    DeleteChildren(*widget);
    delete widget;
}

} // namespace

bool CreateChildren(WidgetsContainer& parent, const Base::Info& widgets) {
    for (const auto& [childName, node] : widgets.GetChildren()) {
        Base::String className = node->GetValue();
        if (className.find("::") == Base::String::npos)
            className = "class Gui::" + className;
        Base::DynamicObject* created = Base::DynamicObject::Create(className);
        if (!created)
            return false;
        Widget* child = dynamic_cast<Widget*>(created);
        if (!child) {
            delete created;
            return false;
        }
        child->Load(childName, *node); // a child whose own keys are bad is still added
        if (!parent.AddChild(child)) {
            // Refused (a duplicate name, a second cursor): nobody else would ever free it.
            DeleteTree(child);
            return false;
        }
    }
    return true;
}

void DeleteChildren(WidgetsContainer& container) {
    while (!container.empty()) {
        Widget* child = container.begin()->second;
        if (!container.RemoveChild(child))
            container.erase(container.begin()); // a subclass that refuses removal still loses it here
        DeleteTree(child);
    }
    container.focus = nullptr;
}

} // namespace Gui
