#include "base/Info.h"

#include <gtest/gtest.h>

using Base::Info;

TEST(Info, DottedPathsCreateIntermediateNodes) {
    Info root;
    ASSERT_TRUE(root.AddValue("A.B", "1"));
    ASSERT_TRUE(root.AddValue("A.C", "2"));
    EXPECT_EQ(root.GetChild("A")->Value(), "");
    EXPECT_EQ(root.GetChild("A")->GetChildren().size(), 2u);
    EXPECT_EQ(root.GetChild("A.C")->Parent(), root.GetChild("A"));
    EXPECT_FALSE(root.AddValue("A", "again"));
    EXPECT_FALSE(root.AddValue("A.B", "again"));
    EXPECT_FALSE(root.AddValue("", "empty"));
    ASSERT_NE(root.FindChild("A.B"), nullptr);
    EXPECT_EQ(root.FindChild("A.B")->first, "B");
    EXPECT_EQ(root.FindDirectChild("A.B"), nullptr);
    EXPECT_NE(root.FindDirectChild("A"), nullptr);
}

TEST(Info, MissingStepMeansNotFoundAndDefaults) {
    Info root;
    root.AddValue("A", "5");
    bool found = true;
    EXPECT_EQ(root.GetFloatDefault("A.B", 7.5f, &found), 7.5f);
    EXPECT_FALSE(found);
    EXPECT_EQ(root.GetFloatDefault("A", 7.5f, &found), 5.0f);
    EXPECT_TRUE(found);
    EXPECT_EQ(root.GetStringDefault("Z", "dflt", &found), "dflt");
    EXPECT_FALSE(found);
    EXPECT_EQ(root.GetStringDefault("A", "dflt"), "5");
}

TEST(Info, TypedGettersConvertOrKeepTheOutput) {
    Info root;
    root.AddValue("Int", "42abc");
    root.AddValue("Letters", "abc");
    root.AddValue("UInt", "7x");
    root.AddValue("Color3", "1 0.5 0");
    root.AddValue("Color4", "1 0.5 0 0.25");
    root.AddValue("Pair", "3 4");
    root.AddValue("Rect", "10 20 r30 r40");
    root.AddValue("Bool", "1");
    int32_t i = -1;
    EXPECT_TRUE(root.TryGetInt("Int", i));
    EXPECT_EQ(i, 42);
    EXPECT_FALSE(root.TryGetInt("Letters", i));
    EXPECT_FALSE(root.TryGetInt("Missing", i));
    EXPECT_EQ(i, 42);
    uint32_t u = 0;
    EXPECT_TRUE(root.TryGetUInt("UInt", u));
    EXPECT_EQ(u, 7u);
    Base::Color c;
    EXPECT_TRUE(root.TryGetColor("Color3", c));
    EXPECT_EQ(c, (Base::Color{1, 0.5f, 0, 1}));
    root.GetColorDefault("Color4", Base::Color{}, c);
    EXPECT_EQ(c.a, 0.25f);
    int32_t x = 0, y = 0;
    EXPECT_TRUE(root.TryGetInt2("Pair", x, y));
    EXPECT_EQ(x * 10 + y, 34);
    Base::Rect r;
    EXPECT_TRUE(root.GetRect("Rect", r));
    EXPECT_EQ(r, (Base::Rect{10, 20, 40, 60}));
    EXPECT_TRUE(root.GetChild("Rect")->TryGetValueAsRect(r));
    EXPECT_TRUE(root.GetBoolDefault("Bool", false));
    EXPECT_TRUE(root.GetBoolDefault("Letters", true));
    EXPECT_EQ(root.GetVector3Default("Missing", Base::Vector3{1, 2, 3}), (Base::Vector3{1, 2, 3}));
    EXPECT_EQ(root.GetPointDefault("Pair", {}), (Base::Vector2{3, 4}));
}

TEST(Info, ReferencesResolveOutwardThroughEnclosingNodes) {
    Info root;
    root.AddValue("Colour", "red");
    root.AddValue("Block.Value", "Colour", true);
    root.AddValue("Chain1", "Chain2", true);
    root.AddValue("Chain2", "Colour", true);
    root.AddValue("Block.Inner.Value", "Chain1", true);
    root.AddValue("Nowhere", "Missing", true);
    EXPECT_EQ(root.GetStringDefault("Block.Value", ""), "red");
    EXPECT_EQ(root.GetStringDefault("Block.Inner.Value", ""), "red");
    EXPECT_EQ(root.GetStringDefault("Nowhere", "x"), "");
    float f = 3;
    EXPECT_FALSE(root.TryGetFloat("Block.Value", f));
}

TEST(Info, ReferenceLoopsResolveToNothing) {
    Info root;
    root.AddValue("A", "B", true);
    root.AddValue("B", "A", true);
    root.AddValue("Self", "Self", true);
    EXPECT_EQ(root.GetStringDefault("A", "x"), "");
    EXPECT_EQ(root.GetStringDefault("Self", "x"), "");
}

TEST(Info, AssignmentCopiesDeeplyAndResolvesThroughTheCopy) {
    auto source = std::make_unique<Info>();
    source->AddValue("Colour", "red");
    source->AddValue("Block.Value", "Colour", true);
    Info copy;
    copy.AddValue("Old", "gone");
    copy = *source;
    EXPECT_EQ(copy.GetChild("Old"), nullptr);
    source->GetChildForWrite("Colour")->SetValue("blue");
    EXPECT_EQ(copy.GetStringDefault("Block.Value", ""), "red");
    source.reset();
    EXPECT_EQ(copy.GetStringDefault("Block.Value", ""), "red");
    EXPECT_EQ(copy.GetChild("Block")->Parent(), &copy);

    // Assigning a node from inside the same tree.
    copy = *copy.GetChild("Block");
    EXPECT_EQ(copy.GetChild("Value")->Value(), "Colour");
}

TEST(Info, ShallowCopiesShareChildrenWhichLoseTheirParent) {
    Info source;
    source.AddValue("A.B", "1");
    Info shallow(source, false);
    const Info* a = source.GetChild("A");
    EXPECT_EQ(shallow.GetChild("A"), a);
    EXPECT_TRUE(a->IsShared());
    EXPECT_EQ(a->Parent(), nullptr);
    Info deep(source, true);
    EXPECT_NE(deep.GetChild("A"), a);
    EXPECT_EQ(deep.GetChild("A")->Parent(), &deep);
    EXPECT_EQ(deep.GetChild("A.B")->Value(), "1");
}

TEST(Info, AddChildrenCopyOrShare) {
    Info source;
    source.AddValue("X", "1");
    source.AddValue("Y", "2");
    Info target;
    target.AddValue("Y", "kept");
    target.AddChildren(source.GetChildren(), true);
    EXPECT_EQ(target.GetStringDefault("X", ""), "1");
    EXPECT_EQ(target.GetStringDefault("Y", ""), "kept");
    EXPECT_NE(target.GetChild("X"), source.GetChild("X"));
    Info sharing;
    sharing.AddChildren(source.GetChildren(), false);
    EXPECT_EQ(sharing.GetChild("X"), source.GetChild("X"));
}

TEST(Info, ANodeCannotBeInsertedBelowItself) {
    auto node = std::make_shared<Info>();
    node->AddValue("A", "1");
    Info* a = node->GetChildForWrite("A");
    EXPECT_FALSE(a->AddChild("Loop", node));
    EXPECT_FALSE(node->AddChild("Self", node));
}

TEST(Info, ChildrenOutlivingTheirParentForgetIt) {
    std::shared_ptr<Info> kept;
    {
        Info root;
        root.AddValue("A", "1");
        kept = std::const_pointer_cast<Info>(root.FindChild("A")->second);
        EXPECT_EQ(kept->Parent(), &root);
    }
    EXPECT_EQ(kept->Parent(), nullptr);
    EXPECT_EQ(kept->Value(), "1");
}

TEST(Info, SetFloatMakesThePathAndCollectValuesKeepsKeyOrder) {
    Info root;
    root.SetFloat("Terrain.VisibilityRange", 30000.0f);
    root.SetFloat("Terrain.Density", 0.3f);
    EXPECT_EQ(root.GetFloatDefault("Terrain.VisibilityRange", 0), 30000.0f);
    EXPECT_EQ(root.GetFloatDefault("Terrain.Density", 0), 0.3f);
    root.SetFloat("Terrain.Density", 1.0f);
    EXPECT_EQ(root.GetStringDefault("Terrain.Density", ""), "1");
    Info list;
    list.AddValue("b", "second");
    list.AddValue("a", "first");
    list.AddValue("c", "a", true);
    std::vector<Base::String> values{"old"};
    list.CollectValues(values);
    EXPECT_EQ(values, (std::vector<Base::String>{"old", "first", "second", "first"}));
}

TEST(Info, ClearChildrenEmptiesTheNode) {
    Info root;
    root.AddValue("A.B", "1");
    root.ClearChildren(true);
    EXPECT_TRUE(root.GetChildren().empty());
    EXPECT_TRUE(root.AddValue("A", "2"));
}

TEST(Info, ClearChildrenWithoutDeleteHandsTheChildrenOver) {
    Info root;
    root.AddValue("A.B", "1");
    root.AddValue("C", "2");
    const Info* a = root.GetChild("A");
    Info::ChildMap taken = root.ClearChildren(false);
    EXPECT_TRUE(root.GetChildren().empty());
    ASSERT_EQ(taken.size(), 2u);
    // The detached nodes are the same nodes, alive and parentless, with their own children intact.
    EXPECT_EQ(taken.at("A").get(), a);
    EXPECT_EQ(a->Parent(), nullptr);
    EXPECT_EQ(a->GetStringDefault("B", ""), "1");
    EXPECT_EQ(taken.at("C")->Value(), "2");
    EXPECT_TRUE(root.ClearChildren(true).empty());
}
