#include "gui/Video.h"

#include "base/Info.h"
#include "gui/Desktop.h"
#include "gui/TextBase.h"
#include "gui/draw/ScreenDraw.h"
#include "rwsdk/rwd3d9.h"

namespace Gui {

namespace {

const Base::ClassRegistration<Video> videoRegistration("class Gui::Video");

} // namespace

Video::~Video() {
    Open({}, false);
}

void Video::Open(const Base::String& fileName, bool audio) {
    if (stream) {
        TextureRenderer::Close(stream);
        delete stream;
        stream = nullptr;
    }
    if (fileName.empty())
        return;
    stream = new TextureRenderer::Stream;
    TextureRenderer::Open(stream, RwD3D9Device, fileName.c_str(), audio);
    if (*TextureRenderer::GetState(stream) == TextureRenderer::Stopped) {
        TextureRenderer::Close(stream);
        delete stream;
        stream = nullptr;
    }
}

bool Video::Load(const Base::String& widgetName, const Base::Info& node) {
    if (!Widget::Load(widgetName, node))
        return false;
    int32_t audio = 0;
    node.TryGetInt("Audio", audio);
    Base::String movie;
    if (node.TryGetString("Movie", movie))
        Open(movie, audio != 0);
    int32_t play = 0;
    node.TryGetInt("Play", play);
    if (play > 0 && stream)
        TextureRenderer::Play(stream, play > 1);
    TryGetColour(node, "Color", color);
    return true;
}

void Video::Draw() {
    TextureRenderer* renderer = stream ? stream->renderer : nullptr;
    if (renderer && renderer->state != TextureRenderer::Stopped) {
        TextureRenderer::Update(stream);
        if (renderer->engineTexture && renderer->textureWidth && renderer->textureHeight) {
            ScreenPoint corners[2];
            corners[1].u = float(renderer->videoWidth) / float(renderer->textureWidth);
            corners[1].v = float(renderer->videoHeight) / float(renderer->textureHeight);
            Base::Vector2 topLeft{absRect.left, absRect.top}, bottomRight{absRect.right, absRect.bottom};
            if (owner) {
                topLeft = owner->VirtualToScreen(topLeft);
                bottomRight = owner->VirtualToScreen(bottomRight);
            }
            corners[0].x = topLeft.x;
            corners[0].y = topLeft.y;
            corners[1].x = bottomRight.x;
            corners[1].y = bottomRight.y;
            corners[0].colour = corners[1].colour = color;
            DrawQuads(corners, 2, renderer->engineTexture, 6);
        }
    }
    DrawChildren();
}

} // namespace Gui
