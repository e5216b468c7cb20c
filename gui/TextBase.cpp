#include "gui/TextBase.h"

#include "base/FontCache.h"
#include "base/Info.h"
#include "base/Parse.h"

#include <cstdio>
#include <sstream>

namespace Gui {

bool ParseColour(std::string_view text, RwRGBA& out) {
    std::istringstream in{std::string(text)};
    int32_t value[4] = {0, 0, 0, 255};
    int count = 0;
    for (std::string word; in >> word; ++count)
        if (count == 4 || !Base::ParseInt(word, value[count]) || value[count] < 0 || value[count] > 255)
            return false;
    if (count < 3)
        return false;
    out = {uint8_t(value[0]), uint8_t(value[1]), uint8_t(value[2]), uint8_t(value[3])};
    return true;
}

void TryGetColour(const Base::Info& node, std::string_view key, RwRGBA& colour) {
    Base::String text;
    RwRGBA parsed;
    if (node.TryGetString(key, text) && ParseColour(text, parsed))
        colour = parsed;
}

uint32_t ColourToArgb(RwRGBA c) {
    return uint32_t(c.alpha) << 24 | uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | uint32_t(c.blue);
}

RwRGBA ArgbToColour(uint32_t argb) {
    return {uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb), uint8_t(argb >> 24)};
}

void TextBase::SetFont(Font* newFont) {
    font = newFont;
}

void TextBase::SetTextScale(Base::Vector2 newScale) {
    scale = newScale;
}

void TextBase::SetTextSpacing(Base::Vector2 newSpacing) {
    spacing = newSpacing;
}

void TextBase::SetTextAlignment(int32_t horizontal, int32_t vertical) {
    alignment[0] = horizontal;
    alignment[1] = vertical;
}

void TextBase::SetTextColor(uint32_t argb) {
    colour = argb;
}

void TextBase::SetTextWrap(bool on) {
    wrap = on;
}

void TextBase::SetTextSingleLine(bool on) {
    singleLine = on;
}

void TextBase::SetTextValues(const std::vector<uint32_t>& newValues) {
    values = newValues;
}

bool TextBase::LoadStyle(const Base::Info& node) {
    Base::String fontName;
    if (!node.TryGetString("Font", fontName))
        return false;
    font = Base::FontCache::Get(fontName);
    if (!font)
        return false;
    if (node.GetChild("TextAlignment")) {
        int32_t h = -1, v = -1;
        if (node.TryGetInt2("TextAlignment", h, v)) {
            if (h < -1 || h > 1 || v < -1 || v > 1)
                return false;
            alignment[0] = h;
            alignment[1] = v;
        }
    }
    RwRGBA textColour = ArgbToColour(colour);
    TryGetColour(node, "TextColor", textColour);
    colour = ColourToArgb(textColour);
    node.TryGetPoint("TextScale", scale);
    node.TryGetPoint("TextSpacing", spacing);
    bool flag = wrap;
    if (node.TryGetBool("TextWrap", flag))
        wrap = flag;
    flag = singleLine;
    if (node.TryGetBool("TextSingleLine", flag))
        singleLine = flag;
    return true;
}

bool TextBase::HasFont(const Base::String& widgetName) const {
    if (font)
        return true;
    if (!reportedNoFont) {
        std::fprintf(stderr, "Gui: widget \"%s\" has no font; its text is not drawn\n",
                     Base::Clip(widgetName).c_str());
        reportedNoFont = true;
    }
    return false;
}

} // namespace Gui
