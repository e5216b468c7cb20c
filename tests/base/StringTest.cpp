#include "base/String.h"

#include <gtest/gtest.h>

TEST(String, FormatsShortAndLongTextWhole) {
    EXPECT_EQ(Base::Formatted("KeyNames.%i", 57), "KeyNames.57");
    for (size_t n : {1023u, 1024u, 1025u, 5000u}) {
        std::string filler(n - 2, 'x');
        std::string out = "old";
        Base::Format(out, "<%s>", filler.c_str());
        EXPECT_EQ(out.size(), n);
        EXPECT_EQ(out, "<" + filler + ">");
    }
}

TEST(String, FindAndSubstr) {
    EXPECT_EQ(Base::Find("abcabc", "c"), 2);
    EXPECT_EQ(Base::Find("abcabc", "c", 3), 5);
    EXPECT_EQ(Base::Find("abcabc", "C"), -1);
    EXPECT_EQ(Base::Substr("abcdef", 2), "cdef");
    EXPECT_EQ(Base::Substr("abcdef", 2, 3), "cde");
    EXPECT_EQ(Base::Substr("abcdef", 9, 3), "");
}

TEST(String, PathHelpers) {
    struct Case {
        const char *directory, *name, *extension, *path;
    } cases[] = {
        {"Data\\", "x", "", "Data\\x"},
        {"Data", "x", "", "Data\\x"},
        {"", "x", "dff", "x.dff"},
        {"\\", "x", "", "\\\\x"},
    };
    Base::String reused = "a longer path left over from before";
    for (const auto& c : cases) {
        EXPECT_EQ(Base::MakePath(c.directory, c.name, c.extension), c.path);
        Base::AssignPath(reused, c.directory, c.name, c.extension);
        EXPECT_EQ(reused, c.path);
    }
    EXPECT_EQ(Base::GetExtension("a.b\\c"), "b\\c");
    EXPECT_EQ(Base::GetExtension("abc"), "");
    EXPECT_EQ(Base::GetFileTitle("dir\\name"), "name");
    EXPECT_EQ(Base::GetFileTitle("dir\\name.dff"), "name");
    EXPECT_EQ(Base::GetFileTitle("a.b\\c"), "");
    EXPECT_EQ(Base::GetDirectory("a\\b\\c.info"), "a\\b");
    EXPECT_EQ(Base::GetDirectory("c.info"), "");
    EXPECT_EQ(Base::StripTrailingBackslash("\\"), "\\");
    EXPECT_EQ(Base::StripTrailingBackslash("a\\"), "a");
}
