#include "gui/Lists.h"

#include "base/Info.h"
#include "gui/Cursor.h"
#include "gui/Desktop.h"
#include "gui/draw/Font.h"
#include "gui/draw/ScreenDraw.h"
#include "input/Mouse.h"
#include "rwsdk/src/texture.h"

#include <algorithm>
#include <cmath>

namespace Gui {

namespace {

const Base::ClassRegistration<StringList> listRegistration("class Gui::StringList");
const Base::ClassRegistration<StringSelector> stringRegistration("class Gui::StringSelector");
const Base::ClassRegistration<ImageSelector> imageRegistration("class Gui::ImageSelector");

Base::Vector2 Round(Base::Vector2 p) {
    return {std::floor(p.x + 0.5f), std::floor(p.y + 0.5f)};
}

// A size in virtual units as screen pixels.
Base::Vector2 ToScreenSize(const Desktop& desktop, Base::Vector2 size) {
    const Base::Vector2 origin = desktop.VirtualToScreen({0, 0});
    const Base::Vector2 p = desktop.VirtualToScreen(size);
    return {p.x - origin.x, p.y - origin.y};
}

uint32_t FilterOf(const Font* font) {
    return font->texture ? uint32_t(RwTextureGetFilterMode(font->texture)) : 0;
}

} // namespace

// ---- list

bool StringList::Load(const Base::String& widgetName, const Base::Info& node) {
    if (!Scroller::Load(widgetName, node) || !LoadStyle(node))
        return false;
    if (const Base::Info* rows = node.GetChild("Strings"))
        for (const auto& entry : rows->GetChildren())
            strings.push_back(entry.second->GetValue());
    node.TryGetString("HighlightSound", highlightSound);
    node.TryGetString("SelectSound", selectSound);
    RwRGBA c = ArgbToColour(highlightColour);
    TryGetColour(node, "HighlightColor", c);
    highlightColour = ColourToArgb(c);
    c = ArgbToColour(selectColour);
    TryGetColour(node, "SelectColor", c);
    selectColour = ColourToArgb(c);
    return true;
}

void StringList::SetStrings(size_t count) {
    strings.resize(count);
    if (count == 0) {
        highlighted = selected = -1;
        return;
    }
    const int32_t last = int32_t(count - 1);
    if (highlighted != -1)
        highlighted = std::min(highlighted, last);
    if (selected != -1)
        selected = std::min(selected, last);
}

float StringList::RowHeight() const {
    return std::max(0.0f, Font::GetLineHeight(font, scale.y, spacing.y));
}

void StringList::Update() {
    const float h = RowHeight();
    const float count = float(strings.size());
    step = {0.0f, h};
    SetScrollBounds({0, 0, 0, std::max(0.0f, count * h - (rect.bottom - rect.top))});

    const int32_t old = highlighted;
    highlighted = -1;
    if (owner && owner->mouse && owner->cursor && h != 0.0f) {
        Widget* current = owner->captured ? owner->captured.Get() : owner->hovered.Get();
        if (current == this) {
            const float y = owner->ScreenToVirtual(owner->cursor->position).y;
            const float row = std::floor((y - absRect.top + scrollPos.y) / h);
            if (row >= 0 && row < count) {
                highlighted = int32_t(row);
                if (highlighted != old)
                    owner->PlaySound(highlightSound);
            }
            if (owner->mouse->clickedButton == 0 && selected != highlighted) {
                owner->PlaySound(selectSound);
                selected = highlighted;
            }
        }
    }
    Scroller::Update();
}

void StringList::Draw() {
    const float h = RowHeight();
    if (!strings.empty() && owner && HasFont(name) && h > 0.0f) {
        const int32_t count = int32_t(strings.size());
        const int32_t first = int32_t(std::floor(scrollPos.y / h));
        const int32_t last =
            std::min(int32_t(std::floor((scrollPos.y + rect.bottom - rect.top) / h)), count - 1);
        const auto band = [&](int32_t index, uint32_t argb) {
            if (index < first || index > last)
                return;
            const float y = absRect.top - scrollPos.y + float(index) * h;
            const Base::Vector2 a = owner->VirtualToScreen({absRect.left, y});
            const Base::Vector2 b = owner->VirtualToScreen({absRect.right, y + h});
            const ScreenPoint quad[2] = {{a.x, a.y, ArgbToColour(argb), 0, 0},
                                         {b.x, b.y, ArgbToColour(argb), 0, 0}};
            DrawQuads(quad, 2, nullptr, 0);
        };
        band(highlighted, highlightColour);
        band(selected, selectColour);
        const Base::Vector2 textScale = ToScreenSize(*owner, scale);
        const Base::Vector2 textSpacing = ToScreenSize(*owner, spacing);
        for (int32_t i = std::max(first, 0); i <= last; ++i) {
            const Base::Vector2 at = Round(owner->VirtualToScreen(
                {(absRect.left + absRect.right) * 0.5f, absRect.top - scrollPos.y + float(i) * h}));
            const Base::String& row = strings[size_t(i)];
            QueueText(at, row, ArgbToColour(colour), textScale, 0, row.size(), textSpacing, alignment[0],
                      alignment[1]);
        }
        FlushTextQueue(font, FilterOf(font));
    }
    DrawChildren();
}

// ---- string selector

bool StringSelector::Load(const Base::String& widgetName, const Base::Info& node) {
    name = widgetName;
    if (!LoadStyle(node))
        return false;
    if (const Base::Info* rows = node.GetChild("Strings"))
        for (const auto& entry : rows->GetChildren()) {
            SetStrings(strings.size() + 1);
            strings.back() = entry.second->GetValue();
        }
    return Scroller::Load(widgetName, node);
}

void StringSelector::SetStrings(size_t count) {
    strings.resize(count);
    SetScrollBounds({0, 0, 0, std::max(float(count) - 1.0f, 0.0f)});
}

int32_t StringSelector::GetSelectedIndex() const {
    return int32_t(std::floor(scrollPos.y + 0.5f));
}

void StringSelector::Draw() {
    const int32_t i = GetSelectedIndex();
    if (owner && i >= 0 && size_t(i) < strings.size() && HasFont(name)) {
        const Base::Vector2 at = Round(owner->VirtualToScreen(
            {(absRect.left + absRect.right) * 0.5f, (absRect.top + absRect.bottom) * 0.5f}));
        const Base::String& shown = strings[size_t(i)];
        QueueText(at, shown, ArgbToColour(colour), ToScreenSize(*owner, scale), 0, shown.size(),
                  ToScreenSize(*owner, spacing), alignment[0], alignment[1]);
        FlushTextQueue(font, FilterOf(font));
    }
    DrawChildren();
}

// ---- image selector

bool ImageSelector::Load(const Base::String& widgetName, const Base::Info& node) {
    if (const Base::Info* list = node.GetChild("Images")) {
        images.assign(list->GetChildren().size(), ImageBase());
        SetScrollBounds({0, 0, 0, std::max(float(images.size()) - 1.0f, 0.0f)});
        size_t i = 0;
        for (const auto& entry : list->GetChildren())
            if (!images[i++].Load(*entry.second))
                return false;
    }
    return Scroller::Load(widgetName, node);
}

void ImageSelector::Draw() {
    const int32_t i = int32_t(std::floor(scrollPos.y + 0.5f));
    if (i >= 0 && size_t(i) < images.size())
        images[size_t(i)].Draw(owner, absRect);
    DrawChildren();
}

} // namespace Gui
