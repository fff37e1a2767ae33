#pragma once
// Runs a piece of a test in a child process: for what must not touch the
// test process itself (dropped rights, a crash, a lock left held by a
// process that ended).
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace ax::test {

// Runs body in a forked child, which ends with body's answer as its exit
// status, and gives back how the child ended: that status, 128 + the
// signal that killed it, or -1 when it could not be run.
inline int RunInChild(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace ax::test
