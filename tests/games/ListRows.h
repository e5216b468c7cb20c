// Where a string list's rows land: each row is placed by its middle, so a column must centre its rows to
// keep them inside it.
#pragma once

#include "gui/Lists.h"
#include "gui/draw/Font.h"

#include <gtest/gtest.h>

namespace GameTest {

inline void ExpectRowsCentredInside(const Gui::StringList* list, const char* name) {
    ASSERT_NE(list, nullptr) << name;
    const float middle = (list->absRect.left + list->absRect.right) * 0.5f;
    for (const Base::String& row : list->strings) {
        const float width =
            Gui::Font::GetTextWidth(list->font, row, 0, row.size(), list->scale.x, list->spacing.x);
        ASSERT_GT(width, 0) << name << " " << row;
        const float left = middle - width * float(list->alignment[0] + 1) * 0.5f;
        EXPECT_NEAR(left + width * 0.5f, middle, 0.5f) << name << " " << row;
        EXPECT_GE(left, list->absRect.left) << name << " " << row;
        EXPECT_LE(left + width, list->absRect.right) << name << " " << row;
    }
}

} // namespace GameTest
