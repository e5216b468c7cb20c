// A child process with a line-based conversation over pipes: the multi-process tests run their peers as
// children and talk to each on its standard input and output.
#pragma once

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

extern char** environ;

namespace NetTest {

// The given environment entries ("NAME=value") take the place of inherited ones of the same name; a bare
// "NAME" leaves the variable out. With a reply prefix, ReadLine and Ask pass over lines without it (the
// child's other output) and answer without it.
// Unless the environment names a TMPDIR, the child's temporary files go in a scratch folder of the test's
// own, removed once the child has ended: a killed child leaves nothing behind either.
class Child {
public:
    Child(std::vector<std::string> args, std::vector<std::string> env, bool withErrors = false,
          std::string replyPrefix = "")
        : prefix(std::move(replyPrefix)) {
        bool ownTemp = true;
        for (const std::string& e : env)
            ownTemp = ownTemp && e.substr(0, e.find('=')) != "TMPDIR";
        if (ownTemp) {
            scratch = std::make_unique<TestSupport::TempDir>("corvane-child");
            env.push_back("TMPDIR=" + scratch->path.string());
        }
        // Close-on-exec: a child started later must not hold this one's standard input open.
        int in[2], out[2];
        EXPECT_EQ(pipe2(in, O_CLOEXEC), 0);
        EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        if (withErrors)
            posix_spawn_file_actions_adddup2(&actions, out[1], 2);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<char*> argv, envp;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const auto given = [&env](std::string_view entry) {
            const std::string_view name = entry.substr(0, entry.find('='));
            for (const std::string& e : env)
                if (std::string_view(e).substr(0, e.find('=')) == name)
                    return true;
            return false;
        };
        for (char** e = environ; *e; ++e)
            if (!given(*e))
                envp.push_back(*e);
        for (auto& e : env)
            if (e.find('=') != std::string::npos)
                envp.push_back(e.data());
        envp.push_back(nullptr);
        started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0;
        if (!started)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        to = in[1];
        from = out[0];
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    // A child still running is asked to end: its input closes, then a terminate signal, and only one that
    // ignores both is killed.
    ~Child() {
        close(to);
        if (pid > 0 && !Ended(std::chrono::seconds(10))) {
            kill(pid, SIGTERM);
            if (!Ended(std::chrono::seconds(5))) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
        }
        close(from);
    }
    void Send(const std::string& command) {
        std::string line = command + "\n";
        EXPECT_EQ(write(to, line.data(), line.size()), ssize_t(line.size())) << command;
    }
    // A timeout below 0 waits answerWithinMs.
    std::string Ask(const std::string& command, int timeoutMs = -1) {
        Send(command);
        return ReadLine(timeoutMs);
    }
    std::string ReadLine(int timeoutMs = -1) {
        if (timeoutMs < 0)
            timeoutMs = answerWithinMs;
        for (;;) {
            size_t eol = buffer.find('\n');
            if (eol != std::string::npos) {
                std::string line = buffer.substr(0, eol);
                buffer.erase(0, eol + 1);
                if (line.rfind(prefix, 0) != 0)
                    continue;
                return line.substr(prefix.size());
            }
            pollfd p{from, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0)
                return "no answer";
            char chunk[4096];
            ssize_t n = read(from, chunk, sizeof chunk);
            if (n <= 0)
                return "closed";
            buffer.append(chunk, size_t(n));
        }
    }
    // As the system's kill does: no goodbye, the links just go silent.
    void Kill() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            pid = -1;
        }
    }
    // The exit status; -1 for a child that never started (waiting on no pid would reap any other child)
    // or did not exit by itself.
    int Wait() {
        if (pid <= 0)
            return -1;
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    pid_t Pid() const { return pid; }

    bool started = false;
    int answerWithinMs = 30000;

private:
    // Whether the child ends within the time; its output is read and dropped meanwhile, so that a full pipe
    // never holds it up.
    bool Ended(std::chrono::steady_clock::duration within) {
        const auto deadline = std::chrono::steady_clock::now() + within;
        bool open = true;
        for (;;) {
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                pid = -1;
                return true;
            }
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            pollfd p{from, POLLIN, 0};
            if (open && poll(&p, 1, 20) > 0) {
                char chunk[4096];
                open = read(from, chunk, sizeof chunk) > 0;
            } else if (!open) {
                usleep(20000);
            }
        }
    }

    std::unique_ptr<TestSupport::TempDir> scratch;
    pid_t pid = -1;
    int to = -1, from = -1;
    std::string prefix;
    std::string buffer;
};

} // namespace NetTest
