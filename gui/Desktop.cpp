#include "gui/Desktop.h"

#include "audio/CreateSound.h"
#include "audio/Sound.h"
#include "base/Info.h"
#include "gui/Cursor.h"
#include "gui/TextureRenderer.h"
#include "input/Mouse.h"
#include "rwsdk/src/baraster.h"
#include "scene/EngineHost.h"

namespace Gui {

Rect ScreenRect() {
    if (!Rw::ColourRaster)
        return {};
    return {0.0f, 0.0f, float(RwRasterGetWidth(Rw::ColourRaster)),
            float(RwRasterGetHeight(Rw::ColourRaster))};
}

const WidgetsContainer* AsContainer(const Desktop* desktop) {
    return desktop;
}

Desktop::~Desktop() {
    DeleteAllWidgets();
}

bool Desktop::AddChild(Widget* child) {
    if (!child)
        return false;
    Cursor* asCursor = dynamic_cast<Cursor*>(child);
    if (asCursor && cursor)
        return false; // one cursor per tree
    if (!WidgetsContainer::AddChild(child))
        return false;
    if (asCursor)
        cursor = asCursor;
    child->SetOwner(this);
    return true;
}

bool Desktop::RemoveChild(Widget* child) {
    if (!child)
        return true;
    if (child == cursor)
        cursor = nullptr;
    Forget(child);
    WidgetsContainer::RemoveChild(child);
    child->SetOwner(nullptr);
    return true;
}

bool Desktop::Load(const Base::Info& node) {
    if (!node.GetRect("DesktopRect", virtualRect))
        return false;
    if (const Base::Info* widgets = node.GetChild("Widgets"))
        return CreateChildren(*this, *widgets);
    return true;
}

bool Desktop::Reserved(void*) {
    return false;
}

void Desktop::Update() {
    // The films' scheduler step: once per frame, whichever desktop runs it (a second run changes nothing).
    TextureRenderer::TimerProc();
    UpdateChildren(*this, false);
    if (cursor && mouse)
        hovered = HitTest(ScreenToVirtual(cursor->position));
    // A tap whose press and release fall into one poll, as on a slow frame, may click a button that hands
    // the keys over in this very update; that press must not take them back to the widget under the cursor.
    if (mouse && mouse->clickedButton == 0 && !keysGiven) {
        Widget* candidate = captured ? captured.Get() : hovered.Get();
        if (candidate)
            lastPressed = candidate;
    }
    keysGiven = false;
}

void Desktop::Draw() {
    PushClipRect(&screenRect, true);
    DrawChildren(*this);
    PopClipRect();
}

void Desktop::DeleteAllWidgets() {
    DeleteChildren(*this);
    cursor = nullptr;
    captured = nullptr;
    lastPressed = nullptr;
    hovered = nullptr;
    keysGiven = false;
}

Base::Vector2 Desktop::VirtualToScreen(Base::Vector2 p) const {
    const Rect& v = virtualRect;
    const Rect& s = screenRect;
    return {(p.x - v.left) / (v.right - v.left) * (s.right - s.left) + s.left,
            (p.y - v.top) / (v.bottom - v.top) * (s.bottom - s.top) + s.top};
}

Base::Vector2 Desktop::ScreenToVirtual(Base::Vector2 p) const {
    const Rect& v = virtualRect;
    const Rect& s = screenRect;
    return {(p.x - s.left) / (s.right - s.left) * (v.right - v.left) + v.left,
            (p.y - s.top) / (s.bottom - s.top) * (v.bottom - v.top) + v.top};
}

void Desktop::PlaySound(const Base::String& soundName) {
    if (!sounds || soundName.empty())
        return;
    Audio::Sound* sound = Audio::CreateSound(soundName, sounds, true);
    if (sound && sound->state != Audio::BasicSound::Playing)
        sound->state = Audio::BasicSound::PlayRequested;
}

namespace {

Widget* HitTestChildren(const WidgetsContainer& container, Base::Vector2 p) {
    Widget* best = nullptr;
    for (const auto& entry : container) {
        Widget* child = entry.second;
        if (!child->visible || child->transparent)
            continue;
        const Rect& r = child->absRect;
        if (p.x < r.left || p.x > r.right || p.y < r.top || p.y > r.bottom)
            continue;
        if (!best || child->drawOrder > best->drawOrder)
            best = child;
    }
    if (!best)
        return nullptr;
    Widget* inner = HitTestChildren(*best, p);
    return inner ? inner : best;
}

bool IsWithin(const Widget* widget, const Widget* root) {
    for (; widget; widget = widget->parent)
        if (widget == root)
            return true;
    return false;
}

} // namespace

Widget* Desktop::HitTest(Base::Vector2 point) const {
    return HitTestChildren(*this, point);
}

void Desktop::GiveKeys(Widget* widget) {
    captured = nullptr;
    lastPressed = widget;
    keysGiven = true;
}

void Desktop::Forget(Widget* leaving) {
    if (IsWithin(captured, leaving))
        captured = nullptr;
    if (IsWithin(lastPressed, leaving))
        lastPressed = nullptr;
    if (IsWithin(hovered, leaving))
        hovered = nullptr;
}

} // namespace Gui
