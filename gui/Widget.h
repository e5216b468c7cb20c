// The widget tree: containers of named children, the widget base of every widget and page, their loading
// from *.gui nodes with children created by class name, the per-frame dispatch and the lookup by path.
#pragma once

#include "base/DynamicObject.h"
#include "base/Map.h"
#include "base/SmartPtr.h"
#include "gui/ClipStack.h"

#include <cstdint>
#include <string_view>

namespace Base {
class Info;
}

namespace Gui {

class Desktop;
class Widget;

// Named children, ordered by name. The children are not owned: their desktop deletes them.
class WidgetsContainer : public Base::Map<Widget*> {
public:
    WidgetsContainer() = default;
    WidgetsContainer(const WidgetsContainer&) = delete;
    WidgetsContainer& operator=(const WidgetsContainer&) = delete;
    virtual ~WidgetsContainer() = default;

    // Adds the child under its name; false on a duplicate name.
    virtual bool AddChild(Widget* child);
    // False when the child is not there under its name; clears the focus when it was the focus child.
    virtual bool RemoveChild(Widget* child);

    // The child at a dotted path below this container, of class T (see Widget.cpp for the rules).
    template <class T> T* Find(std::string_view path, bool recursive) const;
    Widget* FindWidget(std::string_view path, bool recursive) const { return Find<Widget>(path, recursive); }

    // While set, only this child gets Update; the others get Idle.
    Widget* focus = nullptr;

protected:
    Widget* FindUntyped(std::string_view name) const;
};

class Widget : public WidgetsContainer, public Base::DynamicObject, public Base::SmartPtrTarget {
public:
    Widget() = default;
    ~Widget() override;

    bool AddChild(Widget* child) override;
    bool RemoveChild(Widget* child) override;
    // Reads "Rect", "DrawOrder", "Visible", "Transparent" and creates the children of "Widgets".
    virtual bool Load(const Base::String& widgetName, const Base::Info& node);
    virtual bool Reserved(void* argument);
    virtual void Draw();
    virtual void Idle();
    virtual void Update();
    // Nothing when the rect is the current one; else the subtree follows.
    virtual void SetRect(const Rect& newRect);
    virtual void SetDrawOrder(int32_t order);
    virtual void SetVisible(bool on);
    virtual void SetTransparent(bool on);
    virtual void SetParent(Widget* newParent);
    virtual void SetOwner(Desktop* newOwner);
    virtual void SetAbsoluteRect(const Rect& newRect);

    // Draws the visible children by draw order, each clipped to its own rect.
    void DrawChildren();
    // Update for the children (only the focus child while one is set), Idle for the rest, or Idle for all
    // when suspended.
    void UpdateChildren(bool suspended);

    // As the container's lookup, except that each leading '.' climbs to the parent (or to the desktop).
    template <class T> T* Find(std::string_view path, bool recursive) const;
    Widget* FindWidget(std::string_view path, bool recursive) const { return Find<Widget>(path, recursive); }

    Desktop* owner = nullptr;
    Widget* parent = nullptr;
    Rect rect;    // relative to the parent's top-left corner
    Rect absRect; // desktop coordinates
    Base::String name;
    int32_t drawOrder = 0;
    bool visible = true;
    bool transparent = false;
};

// Creates the children listed in a "Widgets" node under parent, in key order. A class without "::" is one
// of the toolkit's ("Image" is "class Gui::Image"). False at the first unknown class or refused child; the
// children added before it stay.
bool CreateChildren(WidgetsContainer& parent, const Base::Info& widgets);

// The children's draw and update as a widget does them; the desktop runs its top level through these.
void DrawChildren(const WidgetsContainer& container);
void UpdateChildren(const WidgetsContainer& container, bool suspended);

// Removes every child of container and deletes it with its own subtree.
void DeleteChildren(WidgetsContainer& container);

// The desktop as the container of its top-level widgets (Desktop.h need not be included for it).
const WidgetsContainer* AsContainer(const Desktop* desktop);

// Moves a rect by (x, y).
inline Rect Offset(const Rect& r, float x, float y) {
    return {r.left + x, r.top + y, r.right + x, r.bottom + y};
}

// The printed names of the widget classes this library registers, for the check that none was dropped.
extern const char* const RegisteredClassNames[];
extern const size_t RegisteredClassCount;

// ---- lookup templates

template <class T> T* WidgetsContainer::Find(std::string_view path, bool recursive) const {
    if (path.empty())
        return nullptr;
    size_t dot = path.find('.');
    if (dot == std::string_view::npos) {
        for (const auto& [childName, child] : *this)
            if (childName == path)
                if (T* typed = dynamic_cast<T*>(child))
                    return typed;
        if (recursive)
            for (const auto& entry : *this)
                if (T* found = entry.second->template Find<T>(path, true))
                    return found;
        return nullptr;
    }
    Widget* first = FindUntyped(path.substr(0, dot));
    return first ? first->template Find<T>(path.substr(dot + 1), true) : nullptr;
}

template <class T> T* Widget::Find(std::string_view path, bool recursive) const {
    if (path.empty())
        return nullptr;
    if (path.front() == '.') {
        if (parent)
            return parent->Find<T>(path.substr(1), recursive);
        if (owner)
            return AsContainer(owner)->template Find<T>(path.substr(1), recursive);
        return nullptr;
    }
    return WidgetsContainer::Find<T>(path, recursive);
}

} // namespace Gui
