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

// The arguments a strings-file format asks for, so that a text that would read arguments never passed is
// refused before it reaches printf.
TEST(TextTable, FormatArgumentsSpellWhatPrintfWouldRead) {
    const struct {
        const char* format;
        const char* kinds;
    } cases[] = {
        {"Gun: %d", "i"},
        {"%s joined, %s left", "ss"},
        {"x%0.1f (%-6.2e)", "ff"},
        {"100%% %c%x%X%o%u%i", "iiiiii"},
        {"%*d %.*s", "iiis"},
        {"%p", "p"},
        {"no conversion", ""},
        {"%ld", "?"},    // a length modifier: the callers pass ints and doubles only
        {"%n", "?"},     // writes through an argument
        {"%q %s", "?s"}, // unknown
        {"cut %", "?"},  // unfinished at the end
        {"cut %-5", "?"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Base::FormatArguments(c.format), c.kinds) << c.format;
}

TEST(TextTable, GetFormatRefusesATextForOtherArguments) {
    Base::TextTable.ClearChildren();
    Base::TextTable.AddValue("Hud.Gun", "GUN %d");
    Base::TextTable.AddValue("MPlr.JoinGame", "%s joined as %s");
    EXPECT_EQ(Base::GetFormat("Hud.Gun", "i"), "GUN %d");
    testing::internal::CaptureStderr();
    EXPECT_EQ(Base::GetFormat("MPlr.JoinGame", "s"), "MPlr.JoinGame");
    EXPECT_EQ(Base::GetFormat("MPlr.JoinGame", "s"), "MPlr.JoinGame");
    EXPECT_EQ(Base::GetFormat("Missing", "i"), "Missing"); // an empty text takes no argument
    const std::string said = testing::internal::GetCapturedStderr();
    const std::string told = "\"MPlr.JoinGame\" is \"%s joined as %s\"";
    const size_t first = said.find(told);
    EXPECT_NE(first, std::string::npos) << said;
    EXPECT_EQ(said.find(told, first + 1), std::string::npos) << "said twice: " << said;
    Base::TextTable.ClearChildren();
}
