#include "gui/draw/Font.h"

#include "base/FontCache.h"
#include "base/Info.h"
#include "base/Parse.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/texture.h"
#include "scene/LoadTexture.h"

#include <algorithm>

namespace Gui {

Font* Font::Load(const Base::Info& description) {
    Base::String textureName;
    if (!description.TryGetString("Texture", textureName))
        return nullptr;
    RwTexture* texture = Rw::LoadTexture(textureName.c_str(), rwTEXTUREADDRESSWRAP, rwFILTERLINEARMIPLINEAR);
    if (!texture)
        return nullptr;
    const RwRaster* raster = RwTextureGetRaster(texture);
    return Build(description, texture, float(raster->width), float(raster->height));
}

Font* Font::Build(const Base::Info& description, RwTexture* texture, float textureWidth,
                  float textureHeight) {
    textureWidth = std::max(1.0f, textureWidth);
    textureHeight = std::max(1.0f, textureHeight);
    Font* font = new Font;
    font->texture = texture;
    if (const Base::Info* chars = description.GetChild("Chars")) {
        for (const auto& [key, node] : chars->GetChildren()) {
            int32_t code = 0;
            Base::Rect r;
            if (!Base::ParseInt(key, code) || code < 0 || code > 255 || !Base::ParseRect(node->GetValue(), r))
                continue;
            Glyph& g = font->glyphs[code];
            g.present = 1;
            g.width = r.right - r.left;
            g.height = r.bottom - r.top;
            g.umin = (r.left - 0.5f) / textureWidth;
            g.vmin = (r.top - 0.5f) / textureHeight;
            g.umax = (r.right + 0.5f) / textureWidth;
            g.vmax = (r.bottom + 0.5f) / textureHeight;
        }
    }
    Base::Vector2 spacing;
    if (description.TryGetPoint("Spacing", spacing)) {
        font->spacingX = spacing.x;
        font->spacingY = spacing.y;
    }
    for (const Glyph& g : font->glyphs)
        if (g.present)
            font->lineHeight = std::max(font->lineHeight, g.height);
    return font;
}

void Font::InstallCache() {
    Base::FontCache::Load = &Font::Load;
    Base::FontCache::Delete = &Font::Delete;
}

void Font::Delete(Font* font) {
    delete font;
}

Font::~Font() {
    if (texture)
        RwTextureDestroy(texture);
}

float Font::GetTextWidth(const Font* font, std::string_view text, size_t first, size_t count, float scale,
                         float extra) {
    if (!font || first >= text.size())
        return 0.0f;
    const size_t end = first + std::min(count, text.size() - first);
    float width = 0.0f;
    for (size_t i = first; i < end; ++i)
        width += font->Advance(uint8_t(text[i]), scale, extra);
    return width;
}

int Font::FindCharAtWidth(const Font* font, std::string_view text, size_t first, size_t count, float width,
                          float scale, float extra) {
    if (!font || first >= text.size())
        return -1;
    const size_t end = first + std::min(count, text.size() - first);
    float sum = 0.0f;
    for (size_t i = first; i < end; ++i) {
        sum += font->Advance(uint8_t(text[i]), scale, extra);
        if (sum >= width)
            return int(i);
    }
    return -1;
}

float Font::GetLineHeight(const Font* font, float scale, float extra) {
    if (!font)
        return 0.0f;
    return std::max(0.0f, (font->lineHeight + font->spacingY + extra) * scale);
}

} // namespace Gui
