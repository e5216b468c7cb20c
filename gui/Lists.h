// Choices out of many: a vertical list of text rows with hover and selection, and the selectors that show
// one string or one image at a time, their vertical scroll position being the selected index.
#pragma once

#include "gui/Image.h"
#include "gui/Scroller.h"
#include "gui/TextBase.h"

#include <vector>

namespace Gui {

class StringList : public Scroller, public TextBase {
public:
    ~StringList() override = default;
    // The scroller's keys, the text style, "Strings", the two sounds and the two band colours.
    bool Load(const Base::String& widgetName, const Base::Info& node) override;
    void Draw() override;
    void Update() override;

    // Resizes the rows; indices past the new end move to the last row (or to -1 when none is left).
    void SetStrings(size_t count);
    // The height of one row: the font's line height, not below 0.
    float RowHeight() const;

    std::vector<Base::String> strings;
    uint32_t highlightColour = 0x40FFFFFF;
    uint32_t selectColour = 0x80FFFFFF;
    Base::String highlightSound;
    Base::String selectSound;
    int32_t highlighted = -1;
    int32_t selected = -1;
};

class StringSelector : public Scroller, public TextBase {
public:
    StringSelector() { step = {0.0f, 1.0f}; }
    ~StringSelector() override = default;
    // The text style, "Strings", then the scroller's keys against the final bounds.
    bool Load(const Base::String& widgetName, const Base::Info& node) override;
    void Draw() override;

    // Resizes the strings and sets the bounds to (0, 0, 0, count - 1).
    void SetStrings(size_t count);
    // The nearest whole row to the vertical position.
    int32_t GetSelectedIndex() const;

    std::vector<Base::String> strings;
};

class ImageSelector : public Scroller {
public:
    ImageSelector() { step = {0.0f, 1.0f}; }
    ~ImageSelector() override = default;
    // "Images" (every one must load), then the scroller's keys.
    bool Load(const Base::String& widgetName, const Base::Info& node) override;
    void Draw() override;

    std::vector<ImageBase> images;
};

} // namespace Gui
