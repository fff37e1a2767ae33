#pragma once
// What the kernel reports about one thread of this process, read from
// /proc/self/task/<tid>/stat: its nice value and its scheduling class.
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace ax::test {

struct TaskStat {
    bool valid = false;
    int nice = 0;
    int policy = -1; // 0 normal, 5 idle
};

inline TaskStat ReadTaskStat(long tid) {
    TaskStat stat;
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return stat;
    // The name in parentheses may hold blanks; the fields after it do not.
    const size_t close = line.rfind(')');
    if (close == std::string::npos) return stat;
    std::istringstream fields(line.substr(close + 2));
    std::vector<std::string> f;
    for (std::string field; fields >> field;)
        f.push_back(field);
    // f[0] is field 3 (the state): nice is field 19, the policy field 41.
    if (f.size() < 39) return stat;
    stat.nice = std::stoi(f[19 - 3]);
    stat.policy = std::stoi(f[41 - 3]);
    stat.valid = true;
    return stat;
}

// The process's own nice value: thread priorities are steps from it, and a
// test run may itself be niced.
inline int ProcessNice() {
    return getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
}

// The kernel ids of this process's threads.
inline std::vector<long> TaskIds() {
    std::vector<long> ids;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ids.push_back(std::stol(e->d_name));
        closedir(d);
    }
    return ids;
}

} // namespace ax::test
