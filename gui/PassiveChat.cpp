#include "gui/PassiveChat.h"

#include "base/FontCache.h"
#include "base/FrameClock.h"
#include "base/Info.h"
#include "gui/Desktop.h"
#include "gui/TextBase.h"
#include "gui/draw/Font.h"
#include "gui/draw/ScreenDraw.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/texture.h"
#include "scene/EngineHost.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace Gui {

namespace {

const Base::ClassRegistration<PassiveChat> chatRegistration("class Gui::PassiveChat");

float Width(const Font* font, std::string_view text) {
    return Font::GetTextWidth(font, text, 0, text.size(), 1.0f, 0.0f);
}

} // namespace

bool PassiveChat::Load(const Base::String& widgetName, const Base::Info& node) {
    if (!Widget::Load(widgetName, node))
        return false;
    Base::String fontName = "Verdana10i";
    node.TryGetString("Font", fontName);
    font = Base::FontCache::Get(fontName);
    if (!font)
        return false;
    node.TryGetInt("MaxLines", maxLines);
    node.TryGetFloat("EntryTTL", entryTTL);
    node.TryGetFloat("TransitionTime", transitionTime);
    node.TryGetFloat("Scale", scale);
    node.TryGetFloat("YOffset", yOffset);
    node.TryGetFloat("YBottom", yBottom);
    node.TryGetFloat("XMargin", xMargin);
    TryGetColour(node, "FriendlyColor", friendlyColor);
    TryGetColour(node, "EnemyColor", enemyColor);
    TryGetColour(node, "BackgroundColor", backgroundColor);
    return true;
}

void PassiveChat::AddLine(const Base::String& text, const Base::String& givenPrefix, bool friendly) {
    // A prefix as wide as a line would leave no room for text (and its sender is a remote player).
    Base::String prefix = givenPrefix;
    while (!prefix.empty() && Width(font, prefix) > MaxPrefixWidth)
        prefix.pop_back();
    const float w0 = Width(font, prefix);
    const float time = float(Base::FrameClock::GameTime);
    const RwRGBA colour = friendly ? friendlyColor : enemyColor;

    std::vector<Base::String> pieces;
    size_t start = 0, lastBlank = Base::String::npos;
    for (size_t i = 0; i < text.size() && pieces.size() < MaxLinesPerMessage; ++i) {
        if (text[i] == ' ')
            lastBlank = i;
        if (w0 + Width(font, std::string_view(text).substr(start, i + 1 - start)) < LineWidth)
            continue;
        if (lastBlank != Base::String::npos && lastBlank > start) {
            pieces.push_back(text.substr(start, lastBlank - start));
            start = lastBlank + 1;
        } else if (i > start) {
            pieces.push_back(text.substr(start, i - start) + "-");
            start = i;
        } else {
            // A single character wider than the room still makes a line of its own.
            pieces.push_back(text.substr(start, 1));
            start = i + 1;
        }
        lastBlank = Base::String::npos;
        for (size_t j = start; j <= i && j < text.size(); ++j)
            if (text[j] == ' ')
                lastBlank = j;
    }
    if (pieces.size() < MaxLinesPerMessage && (start < text.size() || pieces.empty()))
        pieces.push_back(text.substr(std::min(start, text.size())));

    for (size_t n = 0; n < pieces.size(); ++n) {
        auto line = std::make_unique<ChatLine>();
        if (n == 0)
            line->prefix = prefix;
        else
            line->indent = w0;
        line->text = pieces[n];
        line->time = time;
        line->color = colour;
        lines.push_front(std::move(line));
    }
}

void PassiveChat::Update() {
    UpdateChildren(false);
    const float now = float(Base::FrameClock::GameTime);
    while (!lines.empty() && now - lines.back()->time > entryTTL)
        lines.pop_back();
}

void PassiveChat::Draw() {
    float screenWidth = 1024.0f;
    if (Rw::ColourRaster)
        screenWidth = float(RwRasterGetWidth(Rw::ColourRaster));
    else if (owner)
        screenWidth = owner->screenRect.right - owner->screenRect.left;
    const float s = screenWidth * scale / 1024.0f;
    const float step = std::floor(s * yOffset);
    const float fontHeight = Font::GetLineHeight(font, 1.0f, 0.0f) * s;
    const float now = float(Base::FrameClock::GameTime);
    std::vector<ScreenPoint> backgrounds;
    const size_t shown = std::min(lines.size(), size_t(std::max(maxLines, 0)));
    for (size_t i = 0; i < shown; ++i) {
        ChatLine& line = *lines[i];
        const float age = now - line.time, rest = entryTTL - age;
        // Opaque unless fading: the alpha stored by the last frame's fade is not a starting point.
        float alpha = 255.0f;
        if (transitionTime > 0 && age < transitionTime)
            alpha = age / transitionTime * 255.0f;
        if (transitionTime > 0 && rest < transitionTime)
            alpha = std::clamp(rest / transitionTime * 255.0f, 0.0f, 255.0f);
        line.color.alpha = RwUInt8(std::clamp(alpha, 0.0f, 255.0f));
        const Base::String whole = line.prefix + line.text;
        const float y = s * yBottom - float(i) * step;
        QueueText({(line.indent + xMargin) * s, y}, whole, line.color, {s, s}, 0, whole.size(), {0, 0}, -1,
                  -1);
        ScreenPoint corners[2];
        corners[0].x = (xMargin - 1 + line.indent) * s;
        corners[0].y = (yBottom - 1) * s - float(i) * step;
        corners[1].x = (line.indent + xMargin + 1) * s + Width(font, whole) * s;
        corners[1].y = corners[0].y + fontHeight + 2 * s;
        RwRGBA bg = backgroundColor;
        bg.alpha = RwUInt8(int(line.color.alpha) * int(backgroundColor.alpha) / 256);
        corners[0].colour = corners[1].colour = bg;
        backgrounds.push_back(corners[0]);
        backgrounds.push_back(corners[1]);
    }
    if (!backgrounds.empty())
        DrawQuads(backgrounds.data(), uint32_t(backgrounds.size()), nullptr, 6);
    if (shown)
        FlushTextQueue(font, font && font->texture ? uint32_t(RwTextureGetFilterMode(font->texture)) : 0);
    DrawChildren();
}

} // namespace Gui
