#include "base/Info.h"
#include "platform/win32/Files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

namespace fs = std::filesystem;
using Base::Info;

namespace {

Info Parsed(const char* text) {
    Info tree;
    EXPECT_EQ(tree.LoadText(text), 0) << text;
    return tree;
}

std::string Value(const Info& tree, const char* key) {
    return tree.GetStringDefault(key, "<missing>");
}

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("corvane-info-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "Sub");
        Win32::FlushPathCache();
    }
    void TearDown() override { fs::remove_all(root); }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(root / name, std::ios::binary) << text;
    }
    // The game's form of a path in the temp tree.
    std::string Game(const std::string& name) { return root.string() + "\\" + name; }
    fs::path root;
};

} // namespace

TEST(InfoParser, BareValuesKeepInnerBlanksAndLoseTrailingOnes) {
    Info t = Parsed("Key  several words here  \t\nEmpty\n");
    EXPECT_EQ(Value(t, "Key"), "several words here");
    EXPECT_EQ(Value(t, "Empty"), "");
}

TEST(InfoParser, BlocksOpenOnlyOnTheirOwnLine) {
    Info t = Parsed("Node\n{\n  Child 1\n}\nOther {\n");
    EXPECT_EQ(Value(t, "Node.Child"), "1");
    EXPECT_EQ(Value(t, "Other"), "{");
    EXPECT_TRUE(t.GetChild("Other")->GetChildren().empty());
}

TEST(InfoParser, OnlyALeadingSemicolonMakesAComment) {
    Info t = Parsed("  ; comment\nKey a;b\n;Other 1\n");
    EXPECT_EQ(Value(t, "Key"), "a;b");
    EXPECT_EQ(t.GetChild("Other"), nullptr);
}

TEST(InfoParser, DottedKeysJoinExistingNodes) {
    Info t = Parsed("A.B 1\nA.C 2\n");
    EXPECT_EQ(Value(t, "A.B"), "1");
    EXPECT_EQ(Value(t, "A.C"), "2");
    Info u;
    EXPECT_EQ(u.LoadText("A.B 1\nA 2\n"), 2);
    EXPECT_TRUE(u.GetChildren().empty());
}

TEST(InfoParser, QuotedValues) {
    Info t = Parsed("K1 \"one two\" K2 \"three\"\n"
                    "Multi \"first\n"
                    "     second\n"
                    "\n"
                    "; skipped\n"
                    "third\" After 4\n");
    EXPECT_EQ(Value(t, "K1"), "one two");
    EXPECT_EQ(Value(t, "K2"), "three");
    EXPECT_EQ(Value(t, "Multi"), "first\nsecond\n\nthird");
    EXPECT_EQ(Value(t, "After"), "4");
}

TEST(InfoParser, GeneratedKeysCountUpInFileOrder) {
    Info t = Parsed("List\n{\n# alpha\n#\tbeta\n}\nMixed\n{\nname x\n# y\n# z\n}\n");
    EXPECT_EQ(Value(t, "List.$00000000"), "alpha");
    EXPECT_EQ(Value(t, "List.$00000001"), "beta");
    EXPECT_EQ(Value(t, "Mixed.name$00000000"), "y");
    EXPECT_EQ(Value(t, "Mixed.name$00000001"), "z");
}

TEST(InfoParser, ReferencesAndLoadTimeCopies) {
    Info t = Parsed("Speed 300\n"
                    "Block\n{\n"
                    "  Ref ##Speed\n"
                    "  Copy #Speed\n"
                    "  Spaced # # Speed\n"
                    "}\n");
    const Info* ref = t.GetChild("Block.Ref");
    ASSERT_NE(ref, nullptr);
    EXPECT_TRUE(ref->IsReference());
    EXPECT_EQ(ref->Value(), "Speed");
    EXPECT_EQ(ref->GetValue(), "300");
    EXPECT_FALSE(t.GetChild("Block.Copy")->IsReference());
    EXPECT_EQ(Value(t, "Block.Copy"), "300");
    EXPECT_EQ(Value(t, "Block.Spaced"), "300");
}

TEST(InfoParser, FailuresGiveTheLineAndAnEmptyTree) {
    struct Case {
        const char* text;
        int line;
    } cases[] = {
        {"}\n", 1},
        {"A 1\n{\n", 2},          // the last key opens, but the block never closes
        {"A 1\n{\nB 2\n", 3},     // end of file inside a block
        {"A \"open\nstill\n", 2}, // end of file inside quotes
        {"{\n", 1},               // no key yet
        {"A 1\nB.C 2\nB.X\n{\n", 4},
        {"A 1\nNope\n{\n}\n{\n", 5},
        {"A #\n", 1},
        {"A ##\n", 1},
        {"A #Missing\n", 1},
        {"A 1\nA 2\n", 2},
    };
    for (const auto& c : cases) {
        Info t;
        t.AddValue("Before", "x");
        EXPECT_EQ(t.LoadText(c.text), c.line) << c.text;
        EXPECT_TRUE(t.GetChildren().empty()) << c.text;
    }
}

TEST(InfoParser, GeneratedKeysCarryAndGrowPastEightDigits) {
    // Each block holds one named child; the generated key follows it as printf("%s$%08i", n + 1) would.
    const char* last[] = {"k$00000000", "k$00000009", "k$00000099", "k$01999999", "$99999998",
                          "k$99999999", "k$0000009",  "k$0000000x", "x"};
    for (const char* name : last) {
        Info t = Parsed((std::string("B\n{\n") + name + " v\n# g\n}\n").c_str());
        const auto& children = t.GetChild("B")->GetChildren();
        ASSERT_EQ(children.size(), 2u) << name;
        std::string expected = std::string(name) + "$00000000";
        size_t n = std::strlen(name);
        if (n >= 9 && name[n - 9] == '$' && std::strspn(name + n - 8, "0123456789") == 8) {
            char text[64];
            std::snprintf(text, sizeof text, "%.*s$%08i", int(n - 9), name, std::atoi(name + n - 8) + 1);
            expected = text;
        }
        EXPECT_EQ(Value(t, ("B." + expected).c_str()), "g") << name;
    }
}

TEST(InfoParser, KeysInAnyOrderAndRepeatsAnywhere) {
    Info t = Parsed("M 1\nZ 2\nA 3\nN 4\nB.Y 5\nB.C 6\nB.Z 7\n");
    std::string order;
    for (const auto& [name, child] : t.GetChildren())
        order += name + "=" + child->Value() + " ";
    EXPECT_EQ(order, "A=3 B= M=1 N=4 Z=2 ");
    EXPECT_EQ(Value(t, "B.C"), "6");
    // A repeat of the last, the first and a middle key.
    for (const char* text : {"A 1\nB 2\nB 3\n", "B 1\nC 2\nB 3\n", "A 1\nC 2\nB 3\nB 4\n"}) {
        Info u;
        EXPECT_NE(u.LoadText(text), 0) << text;
    }
}

TEST(InfoParser, CarriageReturnsAreLineEnds) {
    Info t = Parsed("A 1\r\nB\r\n{\r\nC \"x\r\ny\"\r\n}\r\n");
    EXPECT_EQ(Value(t, "A"), "1");
    EXPECT_EQ(Value(t, "B.C"), "x\ny");
}

TEST(InfoParser, DepthIsBounded) {
    std::string deep;
    for (int i = 0; i < Info::MaxDepth + 1; ++i)
        deep += "a.";
    deep += "a 1\n";
    Info t;
    EXPECT_EQ(t.LoadText(deep), 1);
    std::string nested;
    for (int i = 0; i < Info::MaxDepth + 5; ++i)
        nested += "a\n{\n";
    EXPECT_GT(t.LoadText(nested), 0);
    EXPECT_TRUE(t.GetChildren().empty());
}

TEST_F(TempDir, LoadFileReadsIncludesBesideTheFile) {
    Write("Main.info", "Top 1\nBlock\n{\n#Sub\\Part.info\n}\n");
    Write("Sub/part.INFO", "Inner 2\nDeeper\n{\n#Leaf.info\n}\n");
    Write("Sub/Leaf.info", "Leaf 3\n");
    Info t;
    ASSERT_EQ(t.LoadFile(Game("main.info")), 0);
    EXPECT_EQ(Value(t, "Block.Inner"), "2");
    EXPECT_EQ(Value(t, "Block.Deeper.Leaf"), "3");
    EXPECT_EQ(Info::IncludeDepth, 0);
    Info same = Info::ConstructFromFile(root.string() + "/Main.info");
    EXPECT_EQ(Value(same, "Block.Deeper.Leaf"), "3");
}

TEST_F(TempDir, LoadFileTakesCarriageReturnsAsLineEnds) {
    Write("Main.info", "A 1\r\nB\r{\r\n#Part.info\r\n}\r\n");
    Write("Part.info", "C \"x\r\ny\"\rD 2");
    Info t;
    ASSERT_EQ(t.LoadFile(Game("Main.info")), 0);
    EXPECT_EQ(Value(t, "A"), "1");
    EXPECT_EQ(Value(t, "B.C"), "x\ny");
    EXPECT_EQ(Value(t, "B.D"), "2");
}

TEST_F(TempDir, IncludeFailuresFailTheIncludeLine) {
    Write("Missing.info", "A 1\n#Nothing.info\n");
    Write("Closer.info", "A\n{\n#Close.info\nB 2\n}\n");
    Write("Close.info", "}\nX 1\n"); // may not close the includer's block
    Write("Self.info", "#Self.info\n");
    for (const char* name : {"Missing.info", "Closer.info", "Self.info"}) {
        Info t;
        int expected = std::string(name) == "Self.info" ? 1 : std::string(name) == "Closer.info" ? 3 : 2;
        EXPECT_EQ(t.LoadFile(Game(name)), expected) << name;
        EXPECT_TRUE(t.GetChildren().empty());
        EXPECT_EQ(Info::IncludeDepth, 0);
    }
    Info t;
    t.AddValue("Kept", "1");
    EXPECT_EQ(t.LoadFile(Game("NoSuchFile.info")), -1);
    EXPECT_EQ(Value(t, "Kept"), "1");
}

TEST(InfoWriter, LayoutOfNestedNodes) {
    Info t;
    t.AddValue("B", "v");
    t.AddValue("B.C", "x;y");
    t.AddValue("B.D.E", "deep");
    t.AddValue("A", "Target", true);
    std::string text;
    ASSERT_TRUE(t.SaveText(text));
    EXPECT_EQ(text, "A\t##Target\n"
                    "B\tv\n{\n"
                    "\tC\t\"x;y\"\n"
                    "\tD\t\n\t{\n\t\tE\tdeep\n\t}\n"
                    "}\n");
}

TEST(InfoWriter, WhatIsWrittenReadsBackTheSame) {
    const char* values[] = {"plain",   "a;b", "{",        "#hash",  "two\nlines", " lead",
                            "trail\t", "",    "in\"side", "x\n\ny", "line\n"};
    Info t;
    int n = 0;
    for (const char* v : values)
        ASSERT_TRUE(t.AddValue("K" + std::to_string(n++), v));
    t.AddValue("Ref", "Some{Name", true);
    t.AddValue("Ref.Child", "c");
    std::string text;
    ASSERT_TRUE(t.SaveText(text));
    Info back;
    ASSERT_EQ(back.LoadText(text), 0) << text;
    n = 0;
    for (const char* v : values)
        EXPECT_EQ(back.GetChild("K" + std::to_string(n++))->Value(), v);
    EXPECT_TRUE(back.GetChild("Ref")->IsReference());
    EXPECT_EQ(back.GetChild("Ref")->Value(), "Some{Name");
    EXPECT_EQ(Value(back, "Ref.Child"), "c");
}

TEST(InfoWriter, RefusesWhatWouldNotReadBack) {
    struct Case {
        const char* value;
        bool reference;
    } cases[] = {
        {"\"starts with a quote", false},
        {"quote \" and ; together", false},
        {"next line\n  indented", false},
        {"next line\n;comment", false},
        {"carriage\rreturn", false},
        {"has blank", true},
        {"", true},
    };
    for (const auto& c : cases) {
        Info t;
        t.AddValue("Key", c.value, c.reference);
        std::string text = "unchanged";
        EXPECT_FALSE(t.SaveText(text)) << c.value;
        EXPECT_EQ(text, "unchanged");
    }
    for (const char* name : {"two words", "#x", "{", ";c"}) {
        Info t;
        ASSERT_TRUE(t.AddValue(name, "1"));
        std::string text;
        EXPECT_FALSE(t.SaveText(text)) << name;
    }
}

TEST_F(TempDir, SaveFileWritesOrLeavesTheOldFile) {
    Info t;
    t.AddValue("Name", "Mission one");
    ASSERT_TRUE(t.SaveFile(Game("Saved.info")));
    Info back;
    ASSERT_EQ(back.LoadFile(Game("saved.info")), 0);
    EXPECT_EQ(Value(back, "Name"), "Mission one");
    t.GetChildForWrite("Name")->SetValue("\"Quoted\" name");
    EXPECT_FALSE(t.SaveFile(Game("Saved.info")));
    Info again;
    ASSERT_EQ(again.LoadFile(Game("Saved.info")), 0);
    EXPECT_EQ(Value(again, "Name"), "Mission one");
    // A load adds to what the tree holds: the same keys again are repeated keys.
    EXPECT_EQ(again.LoadFile(Game("Saved.info")), 1);
    EXPECT_FALSE(back.SaveFile(Game("No\\Such\\Dir\\x.info")));
}

TEST(InfoParser, NodesOfALoadedTreeLiveOnWhileHeldAndStayEditable) {
    std::shared_ptr<Info> kept;
    Info moved;
    {
        auto tree = std::make_unique<Info>();
        ASSERT_EQ(
            tree->LoadText("A\n{\n  B 1\n  C \"a value longer than a short string\"\n}\nD 2\n{\n  H 5\n}\n"),
            0);
        kept = std::const_pointer_cast<Info>(tree->FindChild("A")->second);
        moved = std::move(*tree->GetChildForWrite("D"));
        // Editing a loaded node after the load: new children, long values.
        Info* a = tree->GetChildForWrite("A");
        for (int i = 0; i < 40; ++i)
            ASSERT_TRUE(a->AddValue("Added" + std::to_string(100 + i), std::string(40, char('a' + i % 26))));
        tree->GetChildForWrite("D")->AddValue("E", "3");
    }
    EXPECT_EQ(kept->Parent(), nullptr);
    EXPECT_EQ(Value(*kept, "B"), "1");
    EXPECT_EQ(Value(*kept, "C"), "a value longer than a short string");
    EXPECT_EQ(Value(*kept, "Added139"), std::string(40, char('a' + 39 % 26)));
    EXPECT_EQ(kept->GetChildren().size(), 42u);
    EXPECT_EQ(moved.Value(), "2");
    kept.reset();
    EXPECT_TRUE(moved.AddValue("F", "4"));
    EXPECT_EQ(Value(moved, "F"), "4");
    EXPECT_EQ(Value(moved, "H"), "5");
    EXPECT_EQ(moved.GetChild("H")->Parent(), &moved);
}
