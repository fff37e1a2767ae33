#pragma once
// Tests that need a second, unprivileged user on the machine act as
// "nobody" from a child process that drops root's ids.
#include "fork_child.h"

#include <grp.h>
#include <unistd.h>

#include <functional>

namespace ax::test {

inline constexpr uid_t kNobody = 65534;

// Runs what in a child process as "nobody" (the caller is root) and gives
// back the child's exit status: 126 when the ids could not be dropped,
// 128 + the signal when it was killed, -1 when it could not be run.
inline int AsNobody(const std::function<int()>& what) {
    return RunInChild([&] {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
            ::setresuid(kNobody, kNobody, kNobody) != 0)
            return 126;
        return what();
    });
}

} // namespace ax::test
