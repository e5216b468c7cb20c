// Push buttons: the state machine that the pages and scrollers poll for clicks, drawn as a text
// (StringButton) or as one image per state (ImageButton).
#pragma once

#include "gui/Image.h"
#include "gui/TextBase.h"
#include "gui/Widget.h"

namespace Gui {

class Button : public Widget {
public:
    enum State : int32_t { Normal = 0, Highlighted = 1, Pressed = 2, Disabled = 3 };

    // The widget's keys, then "State", "HoverSound" and "ClickSound"; an unknown state fails.
    bool Load(const Base::String& widgetName, const Base::Info& node) override;
    void Idle() override;
    void Update() override;
    virtual bool Reserved2(void* argument);

    // Clicked in the frame of the last Update, and not disabled.
    bool IsClicked() const;

    int32_t state = Normal;
    uint32_t updateFrame = 0xFFFFFFFF;
    uint32_t clickFrame = 0xFFFFFFFF;
    Base::String hoverSound;
    Base::String clickSound;
};

class StringButton : public Button, public TextBase {
public:
    // The button's keys, the text style, "Text" (required) and a colour per state.
    bool Load(const Base::String& widgetName, const Base::Info& node) override;
    void Draw() override;

    RwRGBA colours[4] = {
        {255, 255, 255, 255}, {255, 255, 255, 255}, {255, 255, 255, 255}, {255, 255, 255, 255}};
    Base::String text;
};

class ImageButton : public Button {
public:
    // The button's keys and an image for each state that has a block.
    bool Load(const Base::String& widgetName, const Base::Info& node) override;
    void Draw() override;

    ImageBase images[4];
    bool hasImage[4] = {}; // a state without a block draws nothing
};

} // namespace Gui
