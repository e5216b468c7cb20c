// The widget tree and the desktop: loading with its failures, creation by class name, lookup by path, rects,
// dispatch, hit testing, the clip stack and the desktop's mouse references.
#include "GuiTestClasses.h"

#include "base/Info.h"
#include "gui/ClipStack.h"
#include "gui/Desktop.h"
#include "gui/Image.h"
#include "input/Mouse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

using Gui::Desktop;
using Gui::Rect;
using Gui::Widget;
using GuiTest::Probe;

Base::Info Parse(const std::string& text) {
    Base::Info info;
    EXPECT_EQ(info.LoadText(text), 0) << text;
    return info;
}

std::string Fixture(const char* name) {
    return std::string(CORVANE_SOURCE_DIR) + "/tests/gui/fixtures/" + name;
}

std::unique_ptr<Desktop> LoadPage(const char* name, bool expected = true) {
    auto desktop = std::make_unique<Desktop>();
    desktop->screenRect = {0, 0, 1280, 960};
    Base::Info page;
    EXPECT_EQ(page.LoadFile(Fixture(name)), 0);
    EXPECT_EQ(desktop->Load(page), expected);
    return desktop;
}

struct LoadCase {
    const char* what;
    const char* text;
    bool loads;
    size_t topLevel; // widgets added to the desktop
};

TEST(WidgetTree, LoadFailureTable) {
    const LoadCase cases[] = {
        {"no DesktopRect", "Widgets\n{\nA Widget\n{\nRect 0 0 1 1\n}\n}\n", false, 0},
        {"unparsable DesktopRect", "DesktopRect a b c d\n", false, 0},
        {"empty page", "DesktopRect 0 0 640 480\n", true, 0},
        // A child whose own keys are bad is still added.
        {"child without Rect", "DesktopRect 0 0 640 480\nWidgets\n{\nA Widget\n{\nDrawOrder 1\n}\n}\n", true,
         1},
        {"negative width", "DesktopRect 0 0 640 480\nWidgets\n{\nA Widget\n{\nRect 10 0 5 5\n}\n}\n", true,
         1},
        {"zero size", "DesktopRect 0 0 640 480\nWidgets\n{\nA Widget\n{\nRect 10 10 r0 r0\n}\n}\n", true, 1},
        {"unknown class after a good one",
         "DesktopRect 0 0 640 480\nWidgets\n{\nA Widget\n{\nRect 0 0 1 1\n}\nB NoSuchWidget\n{\nRect 0 0 1 "
         "1\n}\n"
         "C Widget\n{\nRect 0 0 1 1\n}\n}\n",
         false, 1},
        {"base class Button", "DesktopRect 0 0 640 480\nWidgets\n{\nA Button\n{\nRect 0 0 1 1\n}\n}\n", false,
         0},
        {"base class Cursor", "DesktopRect 0 0 640 480\nWidgets\n{\nA Cursor\n{\nRect 0 0 1 1\n}\n}\n", false,
         0},
        {"desktop by name", "DesktopRect 0 0 640 480\nWidgets\n{\nA Desktop\n{\nRect 0 0 1 1\n}\n}\n", false,
         0},
        {"bad DrawOrder ignored",
         "DesktopRect 0 0 640 480\nWidgets\n{\nA Widget\n{\nRect 0 0 1 1\nDrawOrder x\nVisible 2\n}\n}\n",
         true, 1},
    };
    for (const LoadCase& c : cases) {
        Desktop desktop;
        EXPECT_EQ(desktop.Load(Parse(c.text)), c.loads) << c.what;
        EXPECT_EQ(desktop.size(), c.topLevel) << c.what;
    }
}

TEST(WidgetTree, WidgetLoadReadsItsOwnKeys) {
    struct Case {
        const char* text;
        bool loads;
        Rect rect;
        int32_t drawOrder;
        bool visible, transparent;
    };
    const Case cases[] = {
        {"Rect 10 20 r100 r30\nDrawOrder 5\nVisible 0\nTransparent 1\n",
         true,
         {10, 20, 110, 50},
         5,
         false,
         true},
        {"Rect 10 20 r0 r0\n", true, {10, 20, 10, 20}, 0, true, false},
        {"Rect 10 20 9 30\n", false, {}, 0, true, false},
        {"Rect 10 20 30 19\n", false, {}, 0, true, false},
        {"DrawOrder 3\n", false, {}, 0, true, false},
        {"Rect 0 0 1 1\nDrawOrder three\nVisible yes\nTransparent 7\n", true, {0, 0, 1, 1}, 0, true, false},
    };
    for (const Case& c : cases) {
        Widget w;
        EXPECT_EQ(w.Load("Name", Parse(c.text)), c.loads) << c.text;
        EXPECT_EQ(w.name, "Name");
        EXPECT_EQ(w.rect, c.rect) << c.text;
        EXPECT_EQ(w.absRect, c.rect) << c.text;
        EXPECT_EQ(w.drawOrder, c.drawOrder) << c.text;
        EXPECT_EQ(w.visible, c.visible) << c.text;
        EXPECT_EQ(w.transparent, c.transparent) << c.text;
    }
}

TEST(WidgetTree, ClassNamesWithoutColonsAreTheToolkits) {
    // "Image" stands for "class Gui::Image".
    Desktop desktop;
    ASSERT_TRUE(
        desktop.Load(Parse("DesktopRect 0 0 640 480\nWidgets\n{\nPic Image\n{\nRect 0 0 1 1\n}\n"
                           "Full class Gui::Widget\n{\nRect 0 0 1 1\n}\nProbe class GuiTest::Probe\n{\n"
                           "Rect 0 0 1 1\n}\n}\n")));
    ASSERT_EQ(desktop.size(), 3u);
    EXPECT_NE(desktop.Find<Gui::Image>("Pic", false), nullptr);
    EXPECT_NE(desktop.Find<Probe>("Probe", false), nullptr);
    // A value with "::" is the whole key: "GuiTest::Probe" without its "class " prefix is unknown.
    Desktop other;
    EXPECT_FALSE(
        other.Load(Parse("DesktopRect 0 0 1 1\nWidgets\n{\nP GuiTest::Probe\n{\nRect 0 0 1 1\n}\n}\n")));
}

TEST(WidgetTree, RefusedChildIsDeletedWithItsSubtree) {
    const int before = Probe::Alive;
    {
        Desktop desktop;
        ASSERT_TRUE(desktop.Load(Parse("DesktopRect 0 0 640 480\nWidgets\n{\nA class GuiTest::Probe\n{\n"
                                       "Rect 0 0 1 1\n}\n}\n")));
        EXPECT_EQ(Probe::Alive, before + 1);
        // A second load into the same tree brings a child of the same name: refused and freed at once,
        // together with the child it made itself.
        EXPECT_FALSE(
            desktop.Load(Parse("DesktopRect 0 0 640 480\nWidgets\n{\nA class GuiTest::Probe\n{\n"
                               "Rect 0 0 1 1\nWidgets\n{\nB class GuiTest::Probe\n{\nRect 0 0 1 1\n}\n}\n"
                               "}\n}\n")));
        EXPECT_EQ(Probe::Alive, before + 1);
        EXPECT_EQ(desktop.size(), 1u);
    }
    EXPECT_EQ(Probe::Alive, before); // the desktop deletes its widgets
}

TEST(WidgetTree, SecondCursorIsRefused) {
    auto desktop = LoadPage("Cursors.gui", false);
    EXPECT_EQ(desktop->size(), 1u);
    ASSERT_NE(desktop->cursor, nullptr);
    EXPECT_EQ(desktop->cursor->name, "ArrowA");
    EXPECT_TRUE(desktop->cursor->transparent);
    EXPECT_EQ(desktop->cursor->bounds, desktop->screenRect);
    Widget* first = desktop->cursor;
    EXPECT_TRUE(desktop->RemoveChild(first));
    EXPECT_EQ(desktop->cursor, nullptr);
    delete first;
}

TEST(WidgetTree, FindPathTable) {
    auto desktop = LoadPage("Page.gui");
    Widget* menu = desktop->FindWidget("Menu", false);
    ASSERT_NE(menu, nullptr);
    Widget* list = menu->FindWidget("List", false);
    Widget* item = desktop->FindWidget("Menu.Item", false);
    Widget* menuTitle = menu->FindWidget("Title", false);
    Widget* panel = desktop->FindWidget("Panel", false);
    Widget* panelTitle = panel->FindWidget("Title", false);
    ASSERT_TRUE(list && item && menuTitle && panel && panelTitle);

    struct Case {
        const char* what;
        const Widget* from; // null: the desktop
        const char* path;
        bool recursive;
        const Widget* expected;
    };
    const Case cases[] = {
        {"empty path", nullptr, "", true, nullptr},
        {"a direct child", nullptr, "Panel", false, panel},
        {"not a direct child", nullptr, "Item", false, nullptr},
        {"recursive, name order", nullptr, "Title", true, nullptr}, // no Title at the top: Menu's is first
        {"recursive finds below", nullptr, "Item", true, item},
        {"dotted: the rest searched below", nullptr, "Menu.Item", false, item},
        {"dotted: the first part is not searched", nullptr, "List.Item", true, nullptr},
        {"dotted: unknown rest", nullptr, "Menu.Nothing", false, nullptr},
        {"two dots climb two parents", item, "..Title", false, menuTitle},
        {"one dot: the parent's children", item, ".Item", false, item},
        {"one dot at the top: the desktop's children", menu, ".Panel", false, panel},
        {"too many dots", menu, "..Panel", false, nullptr},
        {"own child", menu, "Title", false, menuTitle},
    };
    for (const Case& c : cases) {
        const Widget* found =
            c.from ? c.from->FindWidget(c.path, c.recursive) : desktop->FindWidget(c.path, c.recursive);
        if (std::string(c.what) == "recursive, name order")
            EXPECT_EQ(found, menuTitle) << c.what;
        else
            EXPECT_EQ(found, c.expected) << c.what;
    }
}

TEST(WidgetTree, TypedFindSkipsTheWrongClassUnlessADescendantFits) {
    auto desktop = LoadPage("Page.gui");
    Widget* menu = desktop->FindWidget("Menu", false);
    // Menu's "Title" is a plain widget; Panel's is a probe.
    EXPECT_EQ(menu->Find<Probe>("Title", false), nullptr);
    Probe* probe = desktop->Find<Probe>("Title", true);
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(probe->parent, desktop->FindWidget("Panel", false));
    EXPECT_EQ(desktop->Find<Gui::Cursor>("Title", true), nullptr);
    EXPECT_NE(desktop->Find<Probe>("Menu.Item", false), nullptr);
    EXPECT_EQ(desktop->Find<Gui::Cursor>("Menu.Item", false), nullptr);
}

TEST(WidgetTree, SetRectMovesTheSubtreeAndSkipsAnEqualRect) {
    auto desktop = LoadPage("Page.gui");
    Widget* menu = desktop->FindWidget("Menu", false);
    Probe* item = desktop->Find<Probe>("Menu.Item", false);
    ASSERT_TRUE(menu && item);
    EXPECT_EQ(item->absRect, (Rect{110, 140, 290, 160}));
    const int calls = item->absoluteRectCalls;
    menu->SetRect({0, 0, 200, 200});
    EXPECT_EQ(item->absRect, (Rect{10, 40, 190, 60}));
    EXPECT_EQ(item->rect, (Rect{0, 0, 180, 20}));
    EXPECT_EQ(item->absoluteRectCalls, calls + 1);
    menu->SetRect({0, 0, 200, 200});
    EXPECT_EQ(item->absoluteRectCalls, calls + 1);
    item->SetRect({0, 0, 180, 20});
    EXPECT_EQ(item->absoluteRectCalls, calls + 1);
    item->SetRect({5, 5, 10, 10});
    EXPECT_EQ(item->absRect, (Rect{15, 45, 20, 50}));
}

TEST(WidgetTree, RemovedChildLosesOwnerAndParent) {
    auto desktop = LoadPage("Page.gui");
    Widget* list = desktop->FindWidget("Menu.List", false);
    Probe* item = desktop->Find<Probe>("Menu.Item", false);
    ASSERT_TRUE(list && item);
    EXPECT_EQ(item->owner, desktop.get());
    EXPECT_TRUE(list->RemoveChild(item));
    EXPECT_EQ(item->owner, nullptr);
    EXPECT_EQ(item->parent, nullptr);
    EXPECT_EQ(item->absRect, item->rect);
    EXPECT_FALSE(list->RemoveChild(item));
    EXPECT_TRUE(list->AddChild(item));
    EXPECT_EQ(item->owner, desktop.get());
    EXPECT_EQ(item->absRect, (Rect{110, 140, 290, 160}));
}

TEST(WidgetTree, FocusChildAloneGetsUpdate) {
    Widget root;
    Probe a, b, c;
    a.name = "a", b.name = "b", c.name = "c";
    c.visible = false;
    ASSERT_TRUE(root.AddChild(&a) && root.AddChild(&b) && root.AddChild(&c));
    root.Update();
    EXPECT_EQ(a.updates, 1);
    EXPECT_EQ(b.updates, 1);
    EXPECT_EQ(c.idles, 1); // invisible: Idle
    root.focus = &b;
    root.Update();
    EXPECT_EQ(a.updates, 1);
    EXPECT_EQ(a.idles, 1);
    EXPECT_EQ(b.updates, 2);
    EXPECT_EQ(c.idles, 2);
    root.UpdateChildren(true);
    EXPECT_EQ(b.idles, 1);
    root.RemoveChild(&b);
    EXPECT_EQ(root.focus, nullptr);
    root.RemoveChild(&a);
    root.RemoveChild(&c);
}

// A page switch: in its Update a child deletes one sibling, unlinks another and deletes itself. The walk
// goes on over the siblings still there and touches none of the others (the sanitizer build sees any read of
// a freed child or map node).
class Switcher : public Probe {
public:
    void Update() override {
        ++updates;
        for (Widget* gone : deleted)
            delete gone;
        if (unlinked)
            parent ? parent->RemoveChild(unlinked) : owner->RemoveChild(unlinked);
        delete this;
    }
    std::vector<Widget*> deleted;
    Widget* unlinked = nullptr;
};

TEST(WidgetTree, ChildRemovingSiblingsAndItselfDuringUpdate) {
    for (bool onDesktop : {false, true}) {
        SCOPED_TRACE(onDesktop ? "desktop" : "widget");
        const int aliveBefore = Probe::Alive;
        Desktop desktop;
        Widget root;
        Gui::WidgetsContainer& container = onDesktop ? static_cast<Gui::WidgetsContainer&>(desktop) : root;
        auto* a = new Probe;
        auto* switcher = new Switcher;
        auto* c = new Probe;
        auto* d = new Probe;
        auto* e = new Probe;
        Probe kept; // unlinked, not deleted
        a->name = "a", switcher->name = "b", c->name = "c", kept.name = "d", d->name = "e", e->name = "f";
        for (Widget* child :
             {static_cast<Widget*>(a), static_cast<Widget*>(switcher), static_cast<Widget*>(c),
              static_cast<Widget*>(&kept), static_cast<Widget*>(d), static_cast<Widget*>(e)})
            ASSERT_TRUE(container.AddChild(child));
        switcher->deleted = {a, c, d};
        switcher->unlinked = &kept;
        if (onDesktop)
            desktop.Update();
        else
            root.Update();
        // a ran before the switch; f, after it, still runs; the others are gone and were never called.
        ASSERT_EQ(container.size(), 1u);
        EXPECT_EQ(container.begin()->second, e);
        EXPECT_EQ(e->updates, 1);
        EXPECT_EQ(kept.updates + kept.idles, 0);
        EXPECT_EQ(kept.parent, nullptr);
        EXPECT_EQ(Probe::Alive, aliveBefore + 2); // e and kept
        // The next frame walks what is left, suspended too.
        if (onDesktop)
            desktop.Update();
        else
            root.UpdateChildren(true);
        EXPECT_EQ(e->updates + e->idles, 2);
        Gui::DeleteChildren(container);
    }
}

TEST(WidgetTree, ChildRemovingSiblingsDuringIdle) {
    // Idle walks the same way: a child's Idle deleting a later sibling is not followed onto freed memory.
    class Killer : public Probe {
    public:
        void Idle() override {
            ++idles;
            delete victim;
            victim = nullptr;
        }
        Widget* victim = nullptr;
    };
    Widget root;
    Killer killer;
    auto* victim = new Probe;
    Probe last;
    killer.name = "a", victim->name = "b", last.name = "c";
    ASSERT_TRUE(root.AddChild(&killer) && root.AddChild(victim) && root.AddChild(&last));
    killer.victim = victim;
    root.Idle();
    EXPECT_EQ(killer.idles, 1);
    EXPECT_EQ(last.idles, 1);
    EXPECT_EQ(root.size(), 2u);
    root.RemoveChild(&killer);
    root.RemoveChild(&last);
}

TEST(Desktop, HitTestTable) {
    Desktop desktop;
    ASSERT_TRUE(desktop.Load(Parse(
        "DesktopRect 0 0 100 100\nWidgets\n{\n"
        "A Widget\n{\nRect 10 10 20 20\n}\n" // overlapped by B, same draw order: A (name order)
        "B Widget\n{\nRect 15 15 25 25\n}\n"
        "C Widget\n{\nRect 40 40 60 60\nDrawOrder 1\n}\n" // over D by draw order
        "D Widget\n{\nRect 40 40 60 60\nDrawOrder 3\nWidgets\n{\nInner Widget\n{\nRect 0 0 5 5\n}\n}\n}\n"
        "E Widget\n{\nRect 70 70 90 90\n}\n"
        "F Widget\n{\nRect 70 70 90 90\nTransparent 1\nDrawOrder 9\n}\n"
        "G Widget\n{\nRect 0 80 10 90\nVisible 0\n}\n"
        "}\n")));
    struct Case {
        float x, y;
        const char* expected; // path, or null
    };
    const Case cases[] = {
        {10, 10, "A"},         {20, 20, "A"}, {21, 21, "B"},       {25, 25, "B"},
        {25.01f, 25, nullptr}, {50, 50, "D"}, {40, 40, "D.Inner"}, {45, 45, "D.Inner"},
        {45.5f, 45, "D"},      {80, 80, "E"}, {5, 85, nullptr},    {95, 5, nullptr},
    };
    for (const Case& c : cases) {
        Widget* hit = desktop.HitTest({c.x, c.y});
        Widget* expected = c.expected ? desktop.FindWidget(c.expected, false) : nullptr;
        EXPECT_EQ(hit, expected) << c.x << ", " << c.y;
    }
}

// A widget that notes when it is drawn.
class Painter : public Widget {
public:
    void Draw() override {
        Drawn.push_back(this);
        Widget::Draw();
    }
    static inline std::vector<const Widget*> Drawn;
};
const Base::ClassRegistration<Painter> painterRegistration("class GuiTest::Painter");

// Overlapping widgets, some of equal draw order: the one drawn last (on top) at a point is the one the hit
// test picks there, and equal draw orders keep their order from frame to frame.
TEST(Desktop, TheWidgetDrawnOnTopIsTheOneHit) {
    std::string widgets;
    const char* names[] = {"Panel", "Ok", "Cancel", "Help", "Back", "Title", "Zoom", "Art", "Menu", "List"};
    for (int n = 0; n < 10; ++n)
        widgets += std::string(names[n]) + " class GuiTest::Painter\n{\nRect " + std::to_string(n) + " " +
                   std::to_string(n) + " 50 50\nDrawOrder " + std::to_string(n % 3 == 0 ? 1 : 0) + "\n}\n";
    Desktop desktop;
    ASSERT_TRUE(desktop.Load(Parse("DesktopRect 0 0 100 100\nWidgets\n{\n" + widgets + "}\n")));
    std::vector<const Widget*> first;
    for (int frame = 0; frame < 3; ++frame) {
        Painter::Drawn.clear();
        desktop.Draw();
        ASSERT_EQ(Painter::Drawn.size(), 10u);
        if (frame == 0)
            first = Painter::Drawn;
        EXPECT_EQ(Painter::Drawn, first);
    }
    for (float at : {0.5f, 2.5f, 4.5f, 9.5f, 20.0f}) {
        const Widget* top = nullptr;
        for (const Widget* w : Painter::Drawn)
            if (at >= w->absRect.left && at >= w->absRect.top)
                top = w;
        EXPECT_EQ(desktop.HitTest({at, at}), top) << at;
    }
    // Draw order first: all of order 0 below all of order 1; among equals the first name on top.
    EXPECT_EQ(Painter::Drawn.back(), desktop.FindWidget("Help", false));
    EXPECT_EQ(Painter::Drawn[5], desktop.FindWidget("Art", false));
    desktop.DeleteAllWidgets();
}

TEST(Desktop, MappingBetweenVirtualAndScreen) {
    Desktop desktop;
    desktop.virtualRect = {0, 0, 640, 480};
    desktop.screenRect = {0, 0, 1280, 720};
    EXPECT_EQ(desktop.VirtualToScreen({320, 240}), (Base::Vector2{640, 360}));
    EXPECT_EQ(desktop.ScreenToVirtual({1280, 720}), (Base::Vector2{640, 480}));
}

TEST(Desktop, MouseReferencesFollowTheTree) {
    auto desktop = LoadPage("Page.gui");
    Input::Mouse mouse;
    desktop->mouse = &mouse;
    Widget* item = desktop->Find<Probe>("Menu.Item", false);
    Widget* list = desktop->FindWidget("Menu.List", false);
    Widget* menu = desktop->FindWidget("Menu", false);
    // Without a cursor nothing is hovered; a press on nothing keeps the last pressed widget.
    desktop->hovered = item;
    mouse.clickedButton = 0;
    desktop->Update();
    EXPECT_EQ(desktop->lastPressed.Get(), item);
    desktop->hovered = nullptr;
    desktop->Update();
    EXPECT_EQ(desktop->lastPressed.Get(), item);
    desktop->captured = list;
    desktop->hovered = item;
    // Removing a branch forgets every reference into it, at once.
    EXPECT_TRUE(menu->RemoveChild(list));
    EXPECT_EQ(desktop->captured.Get(), nullptr);
    EXPECT_EQ(desktop->lastPressed.Get(), nullptr);
    EXPECT_EQ(desktop->hovered.Get(), nullptr);
    // A widget deleted by its user is no longer referenced either.
    desktop->hovered = list;
    Gui::DeleteChildren(*list);
    delete list;
    EXPECT_EQ(desktop->hovered.Get(), nullptr);
}

TEST(Desktop, HoveredFollowsTheCursorAndSkipsTransparentWidgets) {
    Desktop desktop;
    desktop.screenRect = {0, 0, 200, 200};
    Input::Mouse mouse;
    desktop.mouse = &mouse;
    ASSERT_TRUE(desktop.Load(Parse("DesktopRect 0 0 100 100\nWidgets\n{\nArrow class GuiTest::Pointer\n{\n"
                                   "Rect 0 0 r4 r4\nDrawOrder 100\n}\nButton Widget\n{\nRect 10 10 20 20\n}\n"
                                   "Glass Widget\n{\nRect 0 0 100 100\nTransparent 1\nDrawOrder 5\n}\n}\n")));
    ASSERT_NE(desktop.cursor, nullptr);
    mouse.dx = 30, mouse.dy = 30; // screen pixels: (15, 15) virtual
    desktop.Update();
    EXPECT_EQ(desktop.hovered.Get(), desktop.FindWidget("Button", false));
    mouse.dx = 1000, mouse.dy = -1000;
    desktop.Update();
    EXPECT_EQ(desktop.cursor->position, (Base::Vector2{200, 0}));
    EXPECT_EQ(desktop.hovered.Get(), nullptr);
}

TEST(ClipStack, Table) {
    Gui::ClipStack stack;
    EXPECT_EQ(stack.Top(), nullptr);
    const Rect a{10, 10, 50, 50}, b{30, 0, 100, 40}, far{60, 60, 70, 70};
    stack.Push(&a, true); // empty stack: unchanged even with intersect
    EXPECT_EQ(*stack.Top(), a);
    stack.Push(&b, true);
    EXPECT_EQ(*stack.Top(), (Rect{30, 10, 50, 40}));
    stack.Push(&far, true);
    EXPECT_EQ(*stack.Top(), Rect{});
    stack.Push(nullptr, true); // a null rect pops
    EXPECT_EQ(*stack.Top(), (Rect{30, 10, 50, 40}));
    stack.Push(&far, false);
    EXPECT_EQ(*stack.Top(), far);
    stack.Pop();
    stack.Pop();
    stack.Pop();
    EXPECT_EQ(stack.Top(), nullptr);
    stack.Pop(); // below empty: nothing
    EXPECT_EQ(stack.Depth(), 0u);
    stack.Push(&b, true);
    EXPECT_EQ(*stack.Top(), b);
}

TEST(ClipStack, DrawPushesEachChildsScreenRect) {
    // A probe that records the clip rect it is drawn under.
    struct Recorder : Widget {
        void Draw() override {
            seen = *Gui::GetClipRect();
            DrawChildren();
        }
        Rect seen;
    };
    Desktop desktop;
    desktop.virtualRect = {0, 0, 100, 100};
    desktop.screenRect = {0, 0, 200, 100};
    Recorder outer, inner;
    outer.name = "outer", inner.name = "inner";
    outer.SetRect({10, 10, 60, 60});
    inner.SetRect({40, 0, 80, 20}); // reaches beyond its parent
    ASSERT_TRUE(desktop.AddChild(&outer));
    ASSERT_TRUE(outer.AddChild(&inner));
    desktop.Draw();
    auto near = [](const Rect& a, const Rect& b) {
        return std::abs(a.left - b.left) < 1e-3f && std::abs(a.top - b.top) < 1e-3f &&
               std::abs(a.right - b.right) < 1e-3f && std::abs(a.bottom - b.bottom) < 1e-3f;
    };
    EXPECT_TRUE(near(outer.seen, {20, 10, 120, 60}));
    EXPECT_TRUE(near(inner.seen, {100, 10, 120, 30}));
    EXPECT_EQ(Gui::GetClipRect(), nullptr);
    outer.RemoveChild(&inner);
    desktop.RemoveChild(&outer);
}

} // namespace
