#include "base/TextTable.h"

#include <gtest/gtest.h>

TEST(TextTable, GetTextReadsTheTableByKey) {
    EXPECT_EQ(Base::GetText("AppTitle"), "");
    Base::Info strings;
    ASSERT_EQ(strings.LoadText("AppTitle Corvane\n"
                               "Units\n{\n Kmh km/h\n Speed ##Kmh\n}\n"
                               "Fe { not a block\n"),
              0);
    Base::TextTable = strings;
    EXPECT_EQ(Base::GetText("AppTitle"), "Corvane");
    EXPECT_EQ(Base::GetText("Units.Kmh"), "km/h");
    EXPECT_EQ(Base::GetText("Units.Speed"), "km/h");
    EXPECT_EQ(Base::GetText("Units"), "");
    EXPECT_EQ(Base::GetText("Units.Missing"), "");
    EXPECT_EQ(Base::GetText("Fe"), "{ not a block");
}

TEST(TextTable, HashValuesFallBackToTheStrings) {
    Base::TextTable.ClearChildren();
    Base::TextTable.AddValue("Fe.Title", "Main menu");
    Base::Info page;
    ASSERT_EQ(page.LoadText("Caption #Fe.Title\nLocal 5\nCopy #Local\n"), 0);
    EXPECT_EQ(page.GetStringDefault("Caption", ""), "Main menu");
    EXPECT_EQ(page.GetStringDefault("Copy", ""), "5");
    EXPECT_EQ(page.LoadText("Caption #Fe.Missing\n"), 1);
}
