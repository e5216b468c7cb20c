// Bitmap fonts: one texture with the pictures of up to 256 characters and a *.font description of where
// each lies, with the measuring that text layout and the text queues use. Fonts live in the font cache.
#pragma once

#include "base/String.h"

#include <cstdint>
#include <string_view>

struct RwTexture;

namespace Base {
class Info;
}

namespace Gui {

class Font {
public:
    struct Glyph {
        uint8_t present = 0;
        float umin = 0, vmin = 0, umax = 0, vmax = 0;
        float width = 1.0f, height = 1.0f; // pixels
    };

    // A font from a *.font description ("Texture", "Chars", "Spacing"); null when the texture is missing.
    static Font* Load(const Base::Info& description);
    // The font of a description over a texture already loaded (which the font then owns), of that size.
    static Font* Build(const Base::Info& description, RwTexture* texture, float textureWidth,
                       float textureHeight);
    // The font cache's hooks: installed at start-up, the fonts freed when the cache is cleared.
    static void InstallCache();
    static void Delete(Font* font);

    // Every measure treats a null font as one without glyphs or size: widths 0, no character found.
    // Sum of max(0, (glyph width + spacing x + extra) x scale) over first .. first + count - 1 (cut to the
    // string).
    static float GetTextWidth(const Font* font, std::string_view text, size_t first, size_t count,
                              float scale, float extra);
    // The first index whose running width reaches width; -1 when the range ends first.
    static int FindCharAtWidth(const Font* font, std::string_view text, size_t first, size_t count,
                               float width, float scale, float extra);
    static float GetLineHeight(const Font* font, float scale, float extra);

    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    float Advance(uint8_t c, float scale, float extra) const {
        float a = (glyphs[c].width + spacingX + extra) * scale;
        return a > 0.0f ? a : 0.0f;
    }

    RwTexture* texture = nullptr; // owned
    float spacingX = 0, spacingY = 0;
    float lineHeight = 0; // the tallest present glyph
    Glyph glyphs[256];

private:
    Font() = default;
};

} // namespace Gui
