// Fonts for the tests that need no texture: a description built in memory over a 128 x 64 texture size.
#pragma once

#include "base/Info.h"
#include "gui/draw/Font.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace GuiTest {

struct FontDeleter {
    void operator()(Gui::Font* font) const { Gui::Font::Delete(font); }
};
using FontPtr = std::unique_ptr<Gui::Font, FontDeleter>;

inline FontPtr BuildFont(const std::string& text) {
    Base::Info info;
    EXPECT_EQ(info.LoadText(text), 0) << text;
    return FontPtr(Gui::Font::Build(info, nullptr, 128, 64));
}

// Letters a, b, c 8 x 12 pixels, the space 4 x 12, newline none; no spacing unless given.
inline FontPtr SimpleFont(const std::string& spacing = "0 0") {
    return BuildFont("Texture T\nSpacing " + spacing +
                     "\nChars\n{\n32 0 0 r4 r12\n97 8 0 r8 r12\n98 16 0 r8 r12\n99 24 0 r8 r12\n}\n");
}

} // namespace GuiTest
