// A string laid out in a box with a font: broken into lines (at newlines, and at blanks when it wraps),
// aligned, with a drawing quad and a character cell for every character that has a glyph.
#pragma once

#include "base/String.h"

#include <cstdint>
#include <vector>

namespace Gui {

class Font;

struct TextStyle {
    const Font* font = nullptr; // not owned
    float scaleX = 1.0f, scaleY = 1.0f;
    float extraSpacingX = 0.0f, extraSpacingY = 0.0f;
    int32_t horizontalAlignment = -1;               // -1 left, 0 centred, other right
    int32_t verticalAlignment = -1;                 // -1 top, 0 centred, other bottom
    float left = 0, top = 0, right = 0, bottom = 0; // screen pixels
    uint8_t wrap = 0;
    uint8_t singleParagraph = 0; // newlines do not break lines
};

class TextLayout {
public:
    struct Box {
        float left = 0, top = 0, right = 0, bottom = 0;
    };
    struct Glyph {
        uint8_t character = 0;
        Box quad;
        Box cell;
        float umin = 0, vmin = 0, umax = 0, vmax = 0;
    };
    struct Line {
        uint32_t firstChar = 0;
        std::vector<Glyph> glyphs;
        Box rect;
    };

    // Builds the whole layout; a layout is rebuilt, never edited. A null font lays out nothing.
    TextLayout(const Base::String& text, const TextStyle& style);

    // The last line that starts at or before index, and the column in it; false when there are no lines.
    bool FindLineOfChar(uint32_t index, uint32_t& line, uint32_t& column) const;
    // The character at a line and column that has a glyph record; false outside.
    bool CharOfLineColumn(int32_t line, int32_t column, uint32_t& index) const;

    Base::String text;
    TextStyle style;
    Box bounds;
    std::vector<Line> lines;
};

} // namespace Gui
