// The multiplayer overlay's chat log: short-lived lines at the bottom left, newest at the bottom, each with
// its sender's prefix, coloured by side and fading in and out.
#pragma once

#include "gui/Widget.h"
#include "rwsdk/src/plcore/color.h"

#include <deque>
#include <memory>

namespace Gui {

class Font;

struct ChatLine {
    Base::String prefix; // on the first line of a message only
    Base::String text;
    float time = 0;
    RwRGBA color = {255, 255, 255, 255};
    float indent = 0; // font units
};

class PassiveChat : public Widget {
public:
    // Lines wider than this (font units at scale 1) are broken.
    static constexpr float LineWidth = 900.0f;
    // A prefix is cut to this width, so that every line has room for text.
    static constexpr float MaxPrefixWidth = 600.0f;
    // The most lines one message may take; the rest of a longer one is dropped.
    static constexpr size_t MaxLinesPerMessage = 10;

    bool Load(const Base::String& widgetName, const Base::Info& node) override;
    void Draw() override;
    void Update() override;

    void AddLine(const Base::String& text, const Base::String& prefix, bool friendly);

    int32_t maxLines = 6;
    float entryTTL = 15.0f;
    float transitionTime = 0.5f;
    std::deque<std::unique_ptr<ChatLine>> lines; // newest at the front
    Font* font = nullptr;
    float scale = 0.931f, yOffset = 25.0f, yBottom = 150.0f, xMargin = 10.0f;
    RwRGBA friendlyColor = {128, 255, 128, 255};
    RwRGBA enemyColor = {255, 128, 128, 255};
    RwRGBA backgroundColor = {0, 0, 0, 192};
};

} // namespace Gui
