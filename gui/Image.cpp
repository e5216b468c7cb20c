#include "gui/Image.h"

#include "base/Info.h"
#include "gui/Desktop.h"
#include "gui/TextBase.h"
#include "gui/draw/ScreenDraw.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/texture.h"
#include "scene/LoadTexture.h"

namespace Gui {

namespace {

const Base::ClassRegistration<Image> imageRegistration("class Gui::Image");
const Base::ClassRegistration<ImageCursor> cursorRegistration("class Gui::ImageCursor");

} // namespace

ImageBase::ImageBase(const ImageBase& other)
    : texture(other.texture ? RwTextureAddRef(other.texture) : nullptr), texRect(other.texRect),
      color(other.color) {}

ImageBase& ImageBase::operator=(const ImageBase& other) {
    if (this != &other) {
        SetTexture(other.texture, other.texRect);
        color = other.color;
    }
    return *this;
}

ImageBase::~ImageBase() {
    if (texture)
        RwTextureDestroy(texture);
}

bool ImageBase::Load(const Base::Info& node) {
    Base::String name;
    if (node.TryGetString("Texture", name) && !name.empty()) {
        RwTexture* loaded = Rw::LoadTexture(name.c_str(), rwTEXTUREADDRESSCLAMP, rwFILTERLINEARMIPLINEAR);
        Rect loadedRect;
        if (loaded) {
            bool filter = true, wrapped = false;
            node.TryGetBool("Filter", filter);
            node.TryGetBool("Wrap", wrapped);
            RwTextureSetFilterMode(loaded, filter ? rwFILTERLINEARMIPLINEAR : rwFILTERNEAREST);
            RwTextureSetAddressing(loaded, wrapped ? rwTEXTUREADDRESSWRAP : rwTEXTUREADDRESSCLAMP);
            const RwRaster* raster = RwTextureGetRaster(loaded);
            loadedRect = {0, 0, float(RwRasterGetWidth(raster)), float(RwRasterGetHeight(raster))};
        }
        node.GetRect("TexRect", loadedRect);
        if (texture)
            RwTextureDestroy(texture);
        texture = loaded;
        texRect = loadedRect;
    }
    TryGetColour(node, "Color", color);
    return true;
}

void ImageBase::Draw(const Desktop* desktop, const Rect& r) const {
    if (color.alpha == 0)
        return;
    ScreenPoint corners[2];
    if (texture) {
        const RwRaster* raster = RwTextureGetRaster(texture);
        const float w = float(RwRasterGetWidth(raster)), h = float(RwRasterGetHeight(raster));
        if (w > 0 && h > 0) {
            corners[0].u = texRect.left / w;
            corners[0].v = texRect.top / h;
            corners[1].u = texRect.right / w;
            corners[1].v = texRect.bottom / h;
        }
    }
    Base::Vector2 topLeft{r.left, r.top}, bottomRight{r.right, r.bottom};
    if (desktop) {
        topLeft = desktop->VirtualToScreen(topLeft);
        bottomRight = desktop->VirtualToScreen(bottomRight);
    }
    // Pixel centres: a quad from whole pixels covers exactly those pixels.
    corners[0].x = topLeft.x - 0.5f;
    corners[0].y = topLeft.y - 0.5f;
    corners[1].x = bottomRight.x - 0.5f;
    corners[1].y = bottomRight.y - 0.5f;
    corners[0].colour = corners[1].colour = color;
    // The texture's own filter mode, so that its "Filter" key holds.
    DrawQuads(corners, 2, texture, texture ? uint32_t(RwTextureGetFilterMode(texture)) : 0);
}

void ImageBase::SetTexture(RwTexture* newTexture, const Rect& newTexRect) {
    if (newTexture)
        RwTextureAddRef(newTexture);
    if (texture)
        RwTextureDestroy(texture);
    texture = newTexture;
    texRect = newTexRect;
}

bool Image::Load(const Base::String& widgetName, const Base::Info& node) {
    if (!Widget::Load(widgetName, node))
        return false;
    return ImageBase::Load(node);
}

void Image::Draw() {
    ImageBase::Draw(owner, absRect);
    DrawChildren();
}

bool ImageCursor::Load(const Base::String& widgetName, const Base::Info& node) {
    SetTransparent(true);
    if (!Widget::Load(widgetName, node))
        return false;
    return ImageBase::Load(node);
}

void ImageCursor::Draw() {
    ImageBase::Draw(owner, absRect);
    DrawChildren();
}

void ImageCursor::SetPosition(Base::Vector2 point) {
    Cursor::SetPosition(point);
    if (!owner)
        return;
    const Base::Vector2 at = owner->ScreenToVirtual(position);
    SetRect({at.x, at.y, at.x + (rect.right - rect.left), at.y + (rect.bottom - rect.top)});
}

} // namespace Gui
