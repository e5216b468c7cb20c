// A modal dialog shown in a process of its own (as the toolkit shows them) never outlives the game, and a
// terminate or hang-up signal ends the game behind it instead of waiting for a click.
#include "platform/win32/WindowLayer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int reportFd = -1;

// Shows a "dialog" the way the toolkit does: a forked child that waits for ever, and a parent that waits for
// it, resuming after each signal it catches.
int WaitingDialog(void*) {
    const pid_t child = fork();
    if (child == 0) {
        const pid_t me = getpid();
        if (write(reportFd, &me, sizeof me) != sizeof me)
            _exit(2);
        for (;;)
            pause();
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return 0;
}

void Caught(int) {}

TEST(Dialog, EndsWithTheGameOnTerminateHangUpOrKill) {
    // Orphans come back here, so that the dialog's end can be seen.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    for (const int signal : {SIGTERM, SIGHUP, SIGKILL}) {
        SCOPED_TRACE(strsignal(signal));
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const pid_t game = fork();
        ASSERT_GE(game, 0);
        if (game == 0) {
            // The game catches SIGTERM and SIGHUP to close its window, as it does while it runs.
            std::signal(SIGTERM, Caught);
            std::signal(SIGHUP, Caught);
            close(fds[0]);
            reportFd = fds[1];
            Win32::RunDialog(WaitingDialog, nullptr);
            _exit(0);
        }
        close(fds[1]);
        pollfd ready{fds[0], POLLIN, 0};
        ASSERT_EQ(poll(&ready, 1, 20000), 1);
        pid_t dialog = 0;
        ASSERT_EQ(read(fds[0], &dialog, sizeof dialog), ssize_t(sizeof dialog));
        close(fds[0]);
        ASSERT_EQ(kill(game, signal), 0);
        int status = 0;
        ASSERT_EQ(waitpid(game, &status, 0), game);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        ASSERT_EQ(waitpid(dialog, &status, 0), dialog) << "the dialog's process is gone";
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    }
}

// Once answered, the game's own handling of the signals is back.
TEST(Dialog, TheGamesSignalHandlingIsRestoredAfterwards) {
    std::signal(SIGTERM, Caught);
    std::signal(SIGHUP, SIG_IGN);
    Win32::RunDialog([](void*) { return 7; }, nullptr);
    struct sigaction term = {}, hangUp = {};
    sigaction(SIGTERM, nullptr, &term);
    sigaction(SIGHUP, nullptr, &hangUp);
    EXPECT_EQ(term.sa_handler, Caught);
    EXPECT_EQ(hangUp.sa_handler, SIG_IGN);
    EXPECT_EQ(Win32::RunDialog([](void*) { return 7; }, nullptr), 7);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGHUP, SIG_DFL);
}

} // namespace
