// Textured rectangles: the image record that every image-drawing widget carries, the plain image widget,
// and the cursor drawn as an image.
#pragma once

#include "gui/Cursor.h"
#include "gui/Widget.h"
#include "rwsdk/src/plcore/color.h"

#include <algorithm>

struct RwTexture;

namespace Gui {

// max(min(value, upper), lower).
inline float Clamp(float value, float upper, float lower) {
    return std::max(std::min(value, upper), lower);
}

class ImageBase {
public:
    ImageBase() = default;
    // A copy holds its own reference to the texture.
    ImageBase(const ImageBase& other);
    ImageBase& operator=(const ImageBase& other);
    virtual ~ImageBase();

    // "Texture", "Filter", "Wrap", "TexRect", "Color". Always true: a texture that cannot be read leaves
    // the image untextured.
    bool Load(const Base::Info& node);
    // One quad over rect (virtual coordinates), clipped by the clip stack; nothing when the alpha is 0.
    void Draw(const Desktop* desktop, const Rect& rect) const;
    // Takes a reference to the new texture and drops the old one.
    void SetTexture(RwTexture* newTexture, const Rect& newTexRect);

    RwTexture* texture = nullptr;
    Rect texRect; // texels
    RwRGBA color = {255, 255, 255, 255};
};

class Image : public Widget, public ImageBase {
public:
    bool Load(const Base::String& widgetName, const Base::Info& node) override;
    void Draw() override;
};

// The image's top-left corner is the hot spot.
class ImageCursor : public Cursor, public ImageBase {
public:
    bool Load(const Base::String& widgetName, const Base::Info& node) override;
    void Draw() override;
    // The clamped position, then the rect moved there keeping its size.
    void SetPosition(Base::Vector2 point) override;
};

} // namespace Gui
