// The program as linked keeps every widget class that the toolkit registers: *.gui files find them by name
// only, so a class the static linker dropped would vanish from a page without a word.
#include "base/DynamicObject.h"
#include "gui/Widget.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

TEST(GuiClasses, EveryRegisteredNameIsLinkedIntoTheProgram) {
    ASSERT_GT(Gui::RegisteredClassCount, 0u);
    for (size_t i = 0; i < Gui::RegisteredClassCount; ++i) {
        const char* name = Gui::RegisteredClassNames[i];
        ASSERT_NE(Base::DynamicObject::FindClass(name), Base::DynamicObject::GetRegistry().end()) << name;
        std::unique_ptr<Base::DynamicObject> made(Base::DynamicObject::Create(name));
        EXPECT_NE(dynamic_cast<Gui::Widget*>(made.get()), nullptr) << name;
    }
    // And the list names every toolkit class there is.
    for (const auto& entry : Base::DynamicObject::GetRegistry()) {
        if (entry.first.rfind("class Gui::", 0) != 0)
            continue;
        bool listed = false;
        for (size_t i = 0; i < Gui::RegisteredClassCount; ++i)
            listed = listed || entry.first == Gui::RegisteredClassNames[i];
        EXPECT_TRUE(listed) << entry.first;
    }
}
