// A child process with a line-based conversation over pipes: the multi-process tests run their peers as
// children and talk to each on its standard input and output.
#pragma once

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace NetTest {

class Child {
public:
    Child(std::vector<std::string> args, std::vector<std::string> env, bool withErrors = false) {
        int in[2], out[2];
        EXPECT_EQ(pipe(in), 0);
        EXPECT_EQ(pipe(out), 0);
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
        for (char** e = environ; *e; ++e)
            envp.push_back(*e);
        for (auto& e : env)
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
    ~Child() {
        close(to);
        close(from);
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    std::string Ask(const std::string& command, int timeoutMs = 30000) {
        std::string line = command + "\n";
        EXPECT_EQ(write(to, line.data(), line.size()), ssize_t(line.size()));
        return ReadLine(timeoutMs);
    }
    std::string ReadLine(int timeoutMs = 30000) {
        for (;;) {
            size_t eol = buffer.find('\n');
            if (eol != std::string::npos) {
                std::string line = buffer.substr(0, eol);
                buffer.erase(0, eol + 1);
                return line;
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
    int Wait() {
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    bool started = false;

private:
    pid_t pid = -1;
    int to = -1, from = -1;
    std::string buffer;
};

} // namespace NetTest
