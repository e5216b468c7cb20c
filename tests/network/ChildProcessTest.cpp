// The child process the multi-process tests talk to: what environment it gets and how its answers are read.
#include "ChildProcess.h"

#include <cstdlib>

namespace {

using NetTest::Child;

TEST(ChildProcessTest, GivenVariablesTakeThePlaceOfInheritedOnes) {
    ASSERT_EQ(setenv("CORVANE_CHILD_TEST", "inherited", 1), 0);
    // printenv prints every entry of the name: one line only when the inherited entry was left out.
    Child replaced({"printenv", "CORVANE_CHILD_TEST"}, {"CORVANE_CHILD_TEST=given"});
    ASSERT_TRUE(replaced.started);
    EXPECT_EQ(replaced.ReadLine(), "given");
    EXPECT_EQ(replaced.ReadLine(), "closed");
    EXPECT_EQ(replaced.Wait(), 0);

    Child removed({"printenv", "CORVANE_CHILD_TEST"}, {"CORVANE_CHILD_TEST"});
    ASSERT_TRUE(removed.started);
    EXPECT_EQ(removed.ReadLine(), "closed");
    EXPECT_EQ(removed.Wait(), 1);

    Child kept({"printenv", "CORVANE_CHILD_TEST"}, {"CORVANE_CHILD_OTHER=x"});
    ASSERT_TRUE(kept.started);
    EXPECT_EQ(kept.ReadLine(), "inherited");
    unsetenv("CORVANE_CHILD_TEST");
}

TEST(ChildProcessTest, AReplyPrefixPassesOverTheOtherOutput) {
    Child child({"sh", "-c", "echo noise; echo '> one'; read x; echo more; echo \"> $x\""}, {}, false, "> ");
    ASSERT_TRUE(child.started);
    EXPECT_GT(child.Pid(), 0);
    EXPECT_EQ(child.ReadLine(), "one");
    EXPECT_EQ(child.Ask("two"), "two");
    EXPECT_EQ(child.ReadLine(), "closed");
    EXPECT_EQ(child.Wait(), 0);
}

TEST(ChildProcessTest, AProgramThatDoesNotStartHasNoExitStatus) {
    Child missing({"/nonexistent/corvane-child"}, {});
    EXPECT_FALSE(missing.started);
    EXPECT_EQ(missing.Wait(), -1);
}

} // namespace
