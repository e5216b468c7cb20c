// A film drawn over the widget's rect, from the video texture renderer.
#pragma once

#include "gui/TextureRenderer.h"
#include "gui/Widget.h"
#include "rwsdk/src/plcore/color.h"

namespace Gui {

class Video : public Widget {
public:
    ~Video() override;
    // "Audio", "Movie", "Play" (0 paused, 1 once, 2 or more looping), "Color".
    bool Load(const Base::String& widgetName, const Base::Info& node) override;
    void Draw() override;

    // Closes the current film and opens the named one (none for an empty name); stream stays null when it
    // cannot be opened.
    void Open(const Base::String& fileName, bool audio);

    TextureRenderer::Stream* stream = nullptr;
    RwRGBA color = {255, 255, 255, 255};
};

} // namespace Gui
