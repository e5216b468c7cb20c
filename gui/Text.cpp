#include "gui/Text.h"

#include "base/FrameClock.h"
#include "base/Info.h"
#include "gui/Desktop.h"
#include "gui/draw/Font.h"
#include "gui/draw/ScreenDraw.h"
#include "input/Keyboard.h"
#include "rwsdk/src/texture.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace Gui {

namespace {

const Base::ClassRegistration<Text> textRegistration("class Gui::Text");
const Base::ClassRegistration<Edit> editRegistration("class Gui::Edit");

// Grow-only corner points of the text drawing.
std::vector<ScreenPoint> points;

bool Overlaps(float a0, float a1, float b0, float b1) {
    return (b0 <= a0 && a0 <= b1) || (a0 <= b0 && b0 <= a1);
}

} // namespace

bool Text::Load(const Base::String& widgetName, const Base::Info& node) {
    if (!Scroller::Load(widgetName, node) || !LoadStyle(node))
        return false;
    Base::String loaded;
    node.TryGetString("Text", loaded);
    SetText(loaded);
    return true;
}

void Text::SetOwner(Desktop* newOwner) {
    Scroller::SetOwner(newOwner);
    UpdateLayout();
}

void Text::SetAbsoluteRect(const Rect& newRect) {
    Scroller::SetAbsoluteRect(newRect);
    UpdateLayout();
}

void Text::SetFont(Font* newFont) {
    TextBase::SetFont(newFont);
    UpdateLayout();
}

void Text::SetTextScale(Base::Vector2 newScale) {
    TextBase::SetTextScale(newScale);
    UpdateLayout();
}

void Text::SetTextAlignment(int32_t horizontal, int32_t vertical) {
    TextBase::SetTextAlignment(horizontal, vertical);
    UpdateLayout();
}

void Text::SetTextWrap(bool on) {
    TextBase::SetTextWrap(on);
    UpdateLayout();
}

void Text::SetTextValues(const std::vector<uint32_t>& newValues) {
    TextBase::SetTextValues(newValues);
    UpdateLayout();
}

void Text::SetText(const Base::String& newText) {
    text = newText;
    UpdateLayout();
}

void Text::UpdateLayout() {
    layout.reset();
    if (!owner || !font)
        return;
    TextStyle style;
    style.font = font;
    style.scaleX = scale.x;
    style.scaleY = scale.y;
    style.extraSpacingX = spacing.x;
    style.extraSpacingY = spacing.y;
    style.horizontalAlignment = alignment[0];
    style.verticalAlignment = alignment[1];
    style.left = absRect.left;
    style.top = absRect.top;
    style.right = absRect.right;
    style.bottom = absRect.bottom;
    style.wrap = wrap;
    style.singleParagraph = singleLine;
    layout = std::make_unique<TextLayout>(text, style);
    const float w = std::max(0.0f, layout->bounds.right - absRect.right);
    const float h = std::max(0.0f, layout->bounds.bottom - absRect.bottom);
    SetScrollBounds({0, 0, w, h});
}

void Text::Draw() {
    if (layout && owner && HasFont(name)) {
        points.clear();
        const RwRGBA c = ArgbToColour(colour);
        for (const TextLayout::Line& line : layout->lines) {
            const TextLayout::Box& r = line.rect;
            if (!Overlaps(r.left - scrollPos.x, r.right - scrollPos.x, absRect.left, absRect.right) ||
                !Overlaps(r.top - scrollPos.y, r.bottom - scrollPos.y, absRect.top, absRect.bottom))
                continue;
            for (const TextLayout::Glyph& g : line.glyphs) {
                const Base::Vector2 a =
                    owner->VirtualToScreen({g.quad.left - scrollPos.x, g.quad.top - scrollPos.y});
                const Base::Vector2 b =
                    owner->VirtualToScreen({g.quad.right - scrollPos.x, g.quad.bottom - scrollPos.y});
                points.push_back({a.x, a.y, c, g.umin, g.vmin});
                points.push_back({b.x, b.y, c, g.umax, g.vmax});
            }
        }
        if (!points.empty())
            DrawQuads(points.data(), uint32_t(points.size()), font->texture,
                      font->texture ? uint32_t(RwTextureGetFilterMode(font->texture)) : 0);
    }
    DrawChildren();
}

// ---- edit

bool Edit::Load(const Base::String& widgetName, const Base::Info& node) {
    if (!Text::Load(widgetName, node))
        return false;
    int32_t limit = -1;
    node.TryGetInt("CharsLimit", limit);
    SetCharsLimit(uint32_t(limit));
    return true;
}

void Edit::SetText(const Base::String& newText) {
    if (newText.size() > charsLimit)
        return;
    Text::SetText(newText);
}

void Edit::SetCharsLimit(uint32_t limit) {
    charsLimit = limit;
    if (GetShownText().size() > limit)
        SetText(GetShownText().substr(0, limit));
}

bool Edit::IsCurrent() const {
    if (!owner)
        return false;
    const Widget* current = owner->captured ? owner->captured.Get() : owner->lastPressed.Get();
    return current == this;
}

void Edit::Update() {
    Text::Update();
    if (!IsCurrent() || !owner->keyboard)
        return;
    const Input::Keyboard& keyboard = *owner->keyboard;
    const uint8_t key = keyboard.pressedKey ? keyboard.pressedKey : keyboard.repeatKey;
    if (key)
        OnKey(key, keyboard.modifiers & 7);
}

void Edit::Draw() {
    Text::Draw();
    if (!layout || !owner || !font || !IsCurrent() || layout->lines.empty())
        return;
    if (!CaretShown(Base::FrameClock::GameTime))
        return;
    const size_t line = size_t(std::clamp(caretLine, 0, int32_t(layout->lines.size()) - 1));
    const TextLayout::Line& l = layout->lines[line];
    Base::Vector2 at{l.rect.left, l.rect.top};
    if (!l.glyphs.empty()) {
        if (caretColumn >= 0 && size_t(caretColumn) < l.glyphs.size())
            at = {l.glyphs[size_t(caretColumn)].quad.left, l.glyphs[size_t(caretColumn)].quad.top};
        else
            at = {l.glyphs.back().quad.right - 2.0f, l.glyphs.back().quad.top};
    }
    const Base::Vector2 top = owner->VirtualToScreen({at.x - scrollPos.x, at.y - scrollPos.y});
    const Base::Vector2 bottom =
        owner->VirtualToScreen({at.x - scrollPos.x, at.y - scrollPos.y + font->lineHeight * scale.y});
    ScreenPoint caret[2];
    caret[0] = {top.x, top.y, ArgbToColour(colour), 0, 0};
    caret[1] = {top.x + 2.0f, bottom.y, ArgbToColour(colour), 0, 0};
    DrawQuads(caret, 2, nullptr, 0);
}

char Edit::KeyCharacter(uint8_t key, bool shift) {
    struct Row {
        uint8_t first;
        const char* plain;
        const char* shifted;
    };
    static const Row rows[] = {
        {0x02, "1234567890-=", "!@#$%^&*()_+"},
        {0x10, "qwertyuiop[]", "QWERTYUIOP{}"},
        {0x1E, "asdfghjkl;'`", "ASDFGHJKL:\"~"},
        {0x2B, "\\zxcvbnm,./", "|ZXCVBNM<>?"},
        {0x39, " ", " "},
        {0x47, "789-456+1230.", "789-456+1230."},
        {0xB5, "/", "/"},
        {0x37, "*", ""}, // the keypad's star types nothing with Shift
    };
    for (const Row& row : rows) {
        const char* chars = shift ? row.shifted : row.plain;
        const size_t length = std::char_traits<char>::length(row.plain);
        if (key >= row.first && key < row.first + length)
            return size_t(key - row.first) < std::char_traits<char>::length(chars) ? chars[key - row.first]
                                                                                   : 0;
    }
    return 0;
}

void Edit::CaretFromIndex(uint32_t index) {
    uint32_t line = 0, column = 0;
    if (layout && layout->FindLineOfChar(index, line, column)) {
        caretLine = int32_t(line);
        caretColumn = int32_t(column);
    }
}

// The last column the caret may take in a line: past the last glyph on the last line, on the line's final
// glyph (its newline or blank) on the others.
int32_t Edit::LineEnd(int32_t line) const {
    const int32_t lines = int32_t(layout->lines.size());
    int32_t n = int32_t(layout->lines[size_t(line)].glyphs.size());
    if (line < lines - 1)
        n = std::max(0, n - 1);
    return n;
}

void Edit::OnKey(uint8_t key, uint8_t modifiers) {
    if (!layout || layout->lines.empty())
        return;
    const Base::String shown = GetShownText();
    uint32_t index = 0;
    const bool onChar = layout->CharOfLineColumn(caretLine, caretColumn, index);
    if (!onChar)
        index = uint32_t(shown.size());

    if (shown.size() < charsLimit) {
        const char c = KeyCharacter(key, modifiers & Input::Keyboard::Shift);
        char typed = 0;
        if (c && (modifiers == 0 || modifiers == Input::Keyboard::Shift))
            typed = c;
        else if (!singleLine && key == KeyEnter && modifiers == 0)
            typed = '\n';
        if (typed) {
            Base::String changed = shown;
            changed.insert(changed.begin() + index, typed);
            SetText(changed);
            CaretFromIndex(index);
            OnKey(KeyRight, 0);
            return;
        }
    }
    if (key == KeyDelete && modifiers == 0) {
        if (onChar) {
            Base::String changed = shown;
            changed.erase(index, 1);
            SetText(changed);
            CaretFromIndex(index);
            ScrollToCaret();
        }
        return;
    }
    if (key == KeyBackspace && modifiers == 0) {
        if (caretColumn != 0 || caretLine != 0) {
            OnKey(KeyLeft, 0);
            OnKey(KeyDelete, 0);
        }
        return;
    }

    const int32_t lines = int32_t(layout->lines.size());
    const int32_t lastLine = lines - 1;
    int32_t column = caretColumn, line = caretLine;
    const bool control = modifiers == Input::Keyboard::Control;
    if (modifiers == 0 && key == KeyLeft) {
        if (column >= 1)
            --column;
        else if (line > 0)
            --line, column = 0x7FFFFFFF;
    } else if (modifiers == 0 && key == KeyRight) {
        if (column < LineEnd(std::clamp(line, 0, lastLine)))
            ++column;
        else if (line < lastLine)
            ++line, column = 0;
    } else if (modifiers == 0 && key == KeyUp) {
        if (line >= 1)
            --line;
        else
            column = 0;
    } else if (modifiers == 0 && key == KeyDown) {
        if (line < lastLine)
            ++line;
        else
            column = 0x7FFFFFFF;
    } else if (key == KeyHome && (modifiers == 0 || control)) {
        column = 0;
        if (control)
            line = 0;
    } else if (key == KeyEnd && (modifiers == 0 || control)) {
        column = 0x7FFFFFFF;
        if (control)
            line = lastLine;
    } else {
        return;
    }
    line = std::clamp(line, 0, lastLine);
    column = std::clamp(column, 0, LineEnd(line));
    if (line != caretLine || column != caretColumn) {
        caretLine = line;
        caretColumn = column;
        ScrollToCaret();
        caretResetTime = float(Base::FrameClock::GameTime) + 0.01f;
    }
}

void Edit::ScrollToCaret() {
    if (!layout || layout->lines.empty() || !font)
        return;
    const TextLayout::Line& l =
        layout->lines[size_t(std::clamp(caretLine, 0, int32_t(layout->lines.size()) - 1))];
    TextLayout::Box caret = l.rect;
    if (!l.glyphs.empty())
        caret = caretColumn >= 0 && size_t(caretColumn) < l.glyphs.size() ? l.glyphs[size_t(caretColumn)].quad
                                                                          : l.glyphs.back().quad;
    const Rect& view = absRect;
    const float margin =
        std::min(0.5f * (absRect.right - absRect.left), 3.0f * (font->lineHeight + spacing.x) * scale.x);
    if (caret.left - scrollPos.x < view.left)
        SetScrollPos({caret.left - view.left - margin, scrollPos.y});
    else if (caret.right - scrollPos.x > view.right)
        SetScrollPos({caret.right - view.right + margin, scrollPos.y});
    if (caret.top - scrollPos.y < view.top)
        SetScrollPos({scrollPos.x, caret.top - view.top});
    else if (caret.bottom - scrollPos.y > view.bottom)
        SetScrollPos({scrollPos.x, caret.bottom - view.bottom});
}

} // namespace Gui
