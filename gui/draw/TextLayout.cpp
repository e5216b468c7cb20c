#include "gui/draw/TextLayout.h"

#include "gui/draw/Font.h"

#include <cfloat>
#include <cmath>

namespace Gui {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Line extents [first, end) in the text.
struct Span {
    size_t first, end;
};

} // namespace

TextLayout::TextLayout(const Base::String& source, const TextStyle& textStyle)
    : text(source), style(textStyle) {
    bounds = {FLT_MAX, FLT_MAX, FLT_MIN, FLT_MIN};
    const Font* font = style.font;
    if (!font)
        return;
    const float h = Font::GetLineHeight(font, style.scaleY, style.extraSpacingY);
    const float boxWidth = style.right - style.left;

    std::vector<Span> spans;
    size_t pos = 0;
    bool endedInLine = false; // the loop stopped at a last line that holds the rest of the text
    while (pos < text.size()) {
        long breakPoint = -1;
        if (style.wrap) {
            int at = Font::FindCharAtWidth(font, text, pos, text.size() - pos, boxWidth, style.scaleX,
                                           style.extraSpacingX);
            if (at >= 0)
                breakPoint = std::max(long(at) - 1, long(pos) + 1);
        }
        long newline = -1;
        if (!style.singleParagraph) {
            size_t found = text.find('\n', pos);
            if (found != Base::String::npos)
                newline = long(found);
        }
        if (breakPoint < 0 && newline < 0) {
            spans.push_back({pos, text.size()});
            endedInLine = true;
            break;
        }
        if (newline >= 0 && (breakPoint < 0 || newline <= breakPoint)) {
            spans.push_back({pos, size_t(newline) + 1});
            pos = size_t(newline) + 1;
            continue;
        }
        long k = breakPoint;
        while (k > long(pos) && !IsBlank(text[size_t(k)]))
            --k;
        if (k > long(pos)) {
            spans.push_back({pos, size_t(k) + 1});
            pos = size_t(k) + 1;
        } else {
            // No blank: the word is cut before the break point.
            spans.push_back({pos, size_t(breakPoint)});
            pos = size_t(breakPoint);
        }
    }
    if (!endedInLine)
        spans.push_back({text.size(), text.size()});

    const float lineCount = float(spans.size());
    float y = style.verticalAlignment == -1  ? style.top
              : style.verticalAlignment == 0 ? (style.top + style.bottom) / 2 - lineCount * h / 2
                                             : style.bottom - lineCount * h;
    y = std::floor(y + 0.5f);
    const float cellHeight =
        std::max(0.0f, (font->lineHeight + font->spacingY + style.extraSpacingY) * style.scaleY);
    lines.reserve(spans.size());
    for (const Span& span : spans) {
        Line line;
        line.firstChar = uint32_t(span.first);
        const float w = Font::GetTextWidth(font, text, span.first, span.end - span.first, style.scaleX,
                                           style.extraSpacingX);
        float x = style.horizontalAlignment == -1  ? style.left
                  : style.horizontalAlignment == 0 ? (style.left + style.right) / 2 - w / 2
                                                   : style.right - w;
        x = std::floor(x + 0.5f);
        float pen = x;
        for (size_t i = span.first; i < span.end; ++i) {
            const uint8_t c = uint8_t(text[i]);
            const Font::Glyph& g = font->glyphs[c];
            Glyph out;
            out.character = c;
            if (g.present) {
                const float a = font->Advance(c, style.scaleX, style.extraSpacingX);
                out.quad = {pen, y, pen + (g.width + 1) * style.scaleX,
                            y + (font->lineHeight + 1) * style.scaleY};
                out.cell = {pen, y, pen + a, y + cellHeight};
                out.umin = g.umin, out.vmin = g.vmin, out.umax = g.umax, out.vmax = g.vmax;
                pen += a;
            } else if (c == '\t' || c == '\n') {
                out.quad = {pen, y, pen, y + font->lineHeight * style.scaleY};
                out.cell = {pen, y, pen, y + h};
            } else {
                continue;
            }
            line.glyphs.push_back(out);
        }
        line.rect = {x, y, pen, y + h};
        bounds.left = std::min(bounds.left, line.rect.left);
        bounds.top = std::min(bounds.top, line.rect.top);
        bounds.right = std::max(bounds.right, line.rect.right);
        bounds.bottom = std::max(bounds.bottom, line.rect.bottom);
        lines.push_back(std::move(line));
        y += h;
    }
}

bool TextLayout::FindLineOfChar(uint32_t index, uint32_t& line, uint32_t& column) const {
    for (size_t i = lines.size(); i-- > 0;) {
        if (lines[i].firstChar <= index) {
            line = uint32_t(i);
            column = index - lines[i].firstChar;
            return true;
        }
    }
    return false;
}

bool TextLayout::CharOfLineColumn(int32_t line, int32_t column, uint32_t& index) const {
    if (line < 0 || size_t(line) >= lines.size() || column < 0 ||
        size_t(column) >= lines[size_t(line)].glyphs.size())
        return false;
    index = lines[size_t(line)].firstChar + uint32_t(column);
    return true;
}

} // namespace Gui
