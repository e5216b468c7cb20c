#include "base/DynamicObject.h"

#include <gtest/gtest.h>

#include <memory>

namespace Gui {
struct Text : Base::DynamicObject {
    int kind = 1;
};
struct Other : Base::DynamicObject {
    int kind = 2;
};
} // namespace Gui

namespace {
// Registered during static initialisation, before the registry has been used by anything else.
const Base::ClassRegistration<Gui::Text> textRegistration("class Gui::Text");
} // namespace

TEST(DynamicObject, RegisteredNamesCreateTheirClass) {
    EXPECT_TRUE(Base::ClassRegistration<Gui::Text>::Registered);
    auto entry = Base::DynamicObject::FindClass("class Gui::Text");
    ASSERT_NE(entry, Base::DynamicObject::GetRegistry().end());
    std::unique_ptr<Base::DynamicObject> object(entry->second());
    auto* text = dynamic_cast<Gui::Text*>(object.get());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->kind, 1);
}

TEST(DynamicObject, LookupIsExactAndCaseSensitive) {
    const auto end = Base::DynamicObject::GetRegistry().end();
    EXPECT_EQ(Base::DynamicObject::FindClass("class Gui::text"), end);
    EXPECT_EQ(Base::DynamicObject::FindClass("Gui::Text"), end);
    EXPECT_EQ(Base::DynamicObject::Create("class Gui::Nothing"), nullptr);
}

TEST(DynamicObject, TheFirstRegistrationStays) {
    EXPECT_FALSE(Base::DynamicObject::Register("class Gui::Text", &Base::CreateInstance<Gui::Other>));
    std::unique_ptr<Base::DynamicObject> object(Base::DynamicObject::Create("class Gui::Text"));
    EXPECT_NE(dynamic_cast<Gui::Text*>(object.get()), nullptr);
}
