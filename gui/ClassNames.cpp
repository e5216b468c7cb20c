#include "gui/Widget.h"

namespace Gui {

// One line per registered widget class, added with the class. Nothing else names their source files, so a
// program linked without the whole library would lose them silently; the tests look each name up.
const char* const RegisteredClassNames[] = {
    "class Gui::Widget",         "class Gui::Image",         "class Gui::ImageCursor",
    "class Gui::StringButton",   "class Gui::ImageButton",   "class Gui::ButtonScroller",
    "class Gui::Text",           "class Gui::Edit",          "class Gui::StringList",
    "class Gui::StringSelector", "class Gui::ImageSelector", "class Gui::Video",
    "class Gui::PassiveChat",    "class Gui::Announcer",     "class Gui::Model",
    "class Gui::WorldMap",
};
const size_t RegisteredClassCount = sizeof RegisteredClassNames / sizeof RegisteredClassNames[0];

} // namespace Gui
