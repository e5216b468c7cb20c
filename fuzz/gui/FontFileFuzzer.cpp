// Any text as a *.font description over a texture of a known size: a font or null, then measured and laid
// out over the same text; the layout covers every character once.
#include "base/Info.h"
#include "gui/draw/Font.h"
#include "gui/draw/ScreenDraw.h"
#include "gui/draw/TextLayout.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    Base::Info description;
    if (description.LoadText(text, "\\corvane-fuzz-no-such-directory") != 0)
        return 0;
    Gui::Font* font = Gui::Font::Build(description, nullptr, 256, 128);
    if (!font)
        std::abort(); // without the texture step a description always gives a font
    for (const Gui::Font::Glyph& g : font->glyphs)
        if (!g.present && (g.width != 1.0f || g.height != 1.0f))
            std::abort();
    const std::string sample(text.substr(0, 200));
    const float width = Gui::Font::GetTextWidth(font, sample, 0, sample.size(), 1.0f, 0.0f);
    if (!(width >= 0.0f) && !std::isnan(width))
        std::abort();
    (void)Gui::Font::FindCharAtWidth(font, sample, 0, sample.size(), 50.0f, 1.0f, 0.0f);
    Gui::TextStyle style;
    style.font = font;
    style.right = 120, style.bottom = 80;
    style.wrap = 1;
    style.horizontalAlignment = 0;
    Gui::TextLayout layout(sample, style);
    if (layout.lines.empty() || layout.lines.size() > sample.size() + 1)
        std::abort();
    Gui::QueueText({10, 10}, sample, {255, 255, 255, 255}, {1, 1}, 0, sample.size(), {0, 0}, 0, 0);
    const Gui::ScreenPoint* points = nullptr;
    if (Gui::BuildTextQuads(font, &points) > 2 * sample.size())
        std::abort();
    Gui::Font::Delete(font);
    return 0;
}
