#include "base/SmartPtr.h"

#include <gtest/gtest.h>

#include <memory>

namespace {
struct Role : virtual Base::SmartPtrTarget {
    virtual ~Role() = default;
    int id = 0;
};
struct Other {
    virtual ~Other() = default;
    int pad[3] = {};
};
// A target reached through a virtual base and a second base: the pointers differ from the object's address.
struct Plane : Other, Role {};
} // namespace

TEST(SmartPtr, DyingTargetNullsEveryPointer) {
    auto plane = std::make_unique<Plane>();
    Base::SmartPtr<Plane> a(plane.get());
    Base::SmartPtr<Role> b(plane.get());
    Base::SmartPtr<Plane> c = a;
    EXPECT_EQ(b.Get(), static_cast<Role*>(plane.get()));
    EXPECT_TRUE(a.IsLinked() && b.IsLinked() && c.IsLinked());
    plane.reset();
    for (bool linked : {a.IsLinked(), b.IsLinked(), c.IsLinked()})
        EXPECT_FALSE(linked);
    EXPECT_EQ(a.Get(), nullptr);
    EXPECT_EQ(b.Get(), nullptr);
    EXPECT_EQ(c.Get(), nullptr);
}

TEST(SmartPtr, PointerDestroyedFirstLeavesTheList) {
    Plane plane;
    {
        Base::SmartPtr<Plane> gone(&plane);
        EXPECT_TRUE(plane.HasTrackers());
    }
    EXPECT_FALSE(plane.HasTrackers());
    Base::SmartPtr<Plane> kept(&plane);
    Base::SmartPtr<Plane> moved;
    moved = kept;
    kept.Assign(nullptr);
    EXPECT_FALSE(kept.IsLinked());
    EXPECT_EQ(moved.Get(), &plane);
}

TEST(SmartPtr, ReassignmentMovesBetweenTargets) {
    auto first = std::make_unique<Plane>();
    Plane second;
    Base::SmartPtr<Plane> p(first.get());
    p = &second;
    first.reset();
    EXPECT_EQ(p.Get(), &second);
    Plane copy = second; // a copied target starts with nobody pointing at it
    EXPECT_FALSE(copy.HasTrackers());
    EXPECT_TRUE(second.HasTrackers());
}

TEST(SmartPtr, TargetWithNoPointersDiesQuietly) {
    auto plane = std::make_unique<Plane>();
    EXPECT_FALSE(plane->HasTrackers());
    plane.reset();
}
