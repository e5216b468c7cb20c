// Text boxes: a string laid out in the widget's rect and scrolled when it is larger than the box, and the
// edit field that takes keyboard input with a caret.
#pragma once

#include "gui/Scroller.h"
#include "gui/TextBase.h"
#include "gui/draw/TextLayout.h"

#include <cmath>
#include <memory>

namespace Gui {

class Text : public Scroller, public TextBase {
public:
    ~Text() override = default;
    // The scroller's keys, the text style, then "Text".
    bool Load(const Base::String& widgetName, const Base::Info& node) override;
    void Draw() override;
    void SetOwner(Desktop* newOwner) override;
    void SetAbsoluteRect(const Rect& newRect) override;

    void SetFont(Font* newFont) override;
    void SetTextScale(Base::Vector2 newScale) override;
    void SetTextAlignment(int32_t horizontal, int32_t vertical) override;
    void SetTextWrap(bool on) override;
    void SetTextValues(const std::vector<uint32_t>& newValues) override;

    // Lays the text out again (only with an owner and a font) and sets the scroll range to the overflow.
    virtual void UpdateLayout();
    virtual void SetText(const Base::String& newText);

    // The laid-out copy when there is a layout.
    const Base::String& GetShownText() const { return layout ? layout->text : text; }

    Base::String text;
    std::unique_ptr<TextLayout> layout;
};

class Edit : public Text {
public:
    enum Key : uint8_t {
        KeyBackspace = 0x0E,
        KeyEnter = 0x1C,
        KeyHome = 0xC7,
        KeyUp = 0xC8,
        KeyLeft = 0xCB,
        KeyRight = 0xCD,
        KeyEnd = 0xCF,
        KeyDown = 0xD0,
        KeyDelete = 0xD3,
    };

    ~Edit() override = default;
    // The text's keys, then "CharsLimit".
    bool Load(const Base::String& widgetName, const Base::Info& node) override;
    void Draw() override;
    void Update() override;
    // Ignored when longer than the limit.
    void SetText(const Base::String& newText) override;

    // Stores the limit and cuts a longer text to it.
    void SetCharsLimit(uint32_t limit);
    // One key (scan code) with the modifier bits 1 Shift, 2 Control, 4 Alt.
    void OnKey(uint8_t key, uint8_t modifiers);
    void ScrollToCaret();
    // The captured widget, else the last pressed one, is the one that takes keys.
    bool IsCurrent() const;
    // The caret blinks: 0.3 s shown in every 0.5 s from its last move.
    bool CaretShown(double now) const { return std::fmod(now - double(caretResetTime), 0.5) <= 0.3; }

    float caretResetTime = 0;
    int32_t caretColumn = 0;
    int32_t caretLine = 0;
    uint32_t charsLimit = 0xFFFFFFFF;

    // The character a key types on a US keyboard, 0 for none.
    static char KeyCharacter(uint8_t key, bool shift);

private:
    void CaretFromIndex(uint32_t index);
    int32_t LineEnd(int32_t line) const;
};

} // namespace Gui
