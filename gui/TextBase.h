// The text style that every widget printing text carries beside its widget base: font, colour, scale,
// spacing, alignment and wrapping, read from the widget's *.gui node.
#pragma once

#include "base/Maths.h"
#include "base/String.h"
#include "rwsdk/src/plcore/color.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace Base {
class Info;
}

namespace Gui {

class Font;

// Three or four integers 0..255 (red, green, blue, alpha 255 when missing); false on anything else.
bool ParseColour(std::string_view text, RwRGBA& out);
// The colour under key, kept as it is when missing or bad.
void TryGetColour(const Base::Info& node, std::string_view key, RwRGBA& colour);
// The device's ARGB and back.
uint32_t ColourToArgb(RwRGBA c);
RwRGBA ArgbToColour(uint32_t argb);

class TextBase {
public:
    TextBase() = default;
    virtual ~TextBase() = default;
    // Each only stores; a widget that lays its text out relays it where it must.
    virtual void SetFont(Font* newFont);
    virtual void SetTextScale(Base::Vector2 newScale);
    virtual void SetTextSpacing(Base::Vector2 newSpacing);
    virtual void SetTextAlignment(int32_t horizontal, int32_t vertical);
    virtual void SetTextColor(uint32_t argb);
    virtual void SetTextWrap(bool on);
    virtual void SetTextSingleLine(bool on);
    virtual void SetTextValues(const std::vector<uint32_t>& newValues);

    // "Font" (required, through the font cache), "TextAlignment" (each -1, 0 or 1), "TextColor",
    // "TextScale", "TextSpacing", "TextWrap", "TextSingleLine". False on a missing or unknown font or an
    // alignment out of range.
    bool LoadStyle(const Base::Info& node);

    // False without a font, saying so once per widget: a widget whose style failed to load stays in its
    // page and must draw nothing rather than fall over.
    bool HasFont(const Base::String& widgetName) const;

    Font* font = nullptr; // the font cache's
    uint32_t colour = 0xFFFFFFFF;
    Base::Vector2 scale{1.0f, 1.0f};
    Base::Vector2 spacing{0.0f, 0.0f};
    int32_t alignment[2] = {-1, -1};
    uint8_t wrap = 1;
    uint8_t singleLine = 0;
    std::vector<uint32_t> values;

private:
    mutable bool reportedNoFont = false;
};

} // namespace Gui
