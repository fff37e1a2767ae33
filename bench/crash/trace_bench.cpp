// A full report of a process with 32 threads, waiting and then busy,
// against gdb on a core of the same process and gdb attaching to it
// ("gdb -batch -ex 'thread apply all bt'"), interleaved, and every frame gdb
// names in the process's own code checked in the report (function and line).
#include "crash/vorTraceExport.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string Run(const std::string& command) {
    FILE* p = ::popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, p)) out.append(buffer, n);
    ::pclose(p);
    return out;
}

const std::string kGdb = "gdb -nx -batch -ex 'set debuginfod enabled off' -ex 'thread apply all bt' ";

std::string RunGdb(pid_t pid) {
    return Run(kGdb + "-p " + std::to_string(pid) + " 2>/dev/null");
}

std::string RunGdbOnCore(const std::string& target, const std::string& core) {
    return Run(kGdb + target + " " + core + " 2>/dev/null");
}

struct Frame {
    std::string Function;
    int Line;
};

// gdb's frames in the target's own source, per thread (LWP).
std::map<long, std::vector<Frame>> GdbFrames(const std::string& text) {
    std::map<long, std::vector<Frame>> frames;
    const std::regex thread(R"(^Thread \d+ \(Thread 0x[0-9a-f]+ \(LWP (\d+)\))");
    const std::regex frame(R"(^#\d+\s+(?:0x[0-9a-f]+ in )?(.+?) \(.*\) at \S*trace_target\.cpp:(\d+))");
    std::istringstream in(text);
    std::string line;
    long lwp = 0;
    std::smatch m;
    while (std::getline(in, line)) {
        if (std::regex_search(line, m, thread)) lwp = std::stol(m[1]);
        else if (lwp != 0 && std::regex_search(line, m, frame))
        {
            // Without the parameter list, and "_" where gdb has a blank (as
            // the map writes names).
            std::string name = m[1];
            if (!name.empty() && name.back() == ')') {
                int depth = 0;
                for (std::size_t i = name.size(); i-- > 0;) {
                    if (name[i] == ')') ++depth;
                    if (name[i] == '(' && --depth == 0) {
                        name.resize(i);
                        break;
                    }
                }
            }
            std::replace(name.begin(), name.end(), ' ', '_');
            frames[lwp].push_back({name, std::stoi(m[2])});
        }
    }
    return frames;
}

// The report's section of one thread.
std::string Section(const std::string& report, long lwp) {
    char id[32];
    std::snprintf(id, sizeof id, "($%lx):", lwp);
    const auto at = report.find(id);
    if (at == std::string::npos) return {};
    const auto end = report.find("\r\n\r\n", at);
    return report.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

struct Result {
    double Ours = 0, First = 0, Attach = 0, Core = 0;
    std::size_t Threads = 0, Bytes = 0;
    int Compared = 0, Found = 0;
    std::vector<std::string> Missing;
};

// Every frame gdb names in the target's code, looked for in the report.
void Compare(const std::string& report, const std::string& gdbText, Result& r) {
    const auto frames = GdbFrames(gdbText);
    r.Threads = frames.size();
    for (const auto& [lwp, list] : frames) {
        const std::string section = Section(report, lwp);
        for (const Frame& f : list) {
            ++r.Compared;
            const std::string want = " " + std::to_string(f.Line) + " ";
            bool ok = false;
            std::istringstream lines(section);
            std::string l;
            while (std::getline(lines, l))
                if (l.find(want) != std::string::npos && l.find(f.Function) != std::string::npos) ok = true;
            if (ok)
                ++r.Found;
            else if (r.Missing.size() < 10)
                r.Missing.push_back("LWP " + std::to_string(lwp) + ": " + f.Function + " line " + std::to_string(f.Line));
        }
    }
}

bool Measure(const char* target, const char* mode, int rounds, Result& result) {
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return false;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::close(in[1]);
        ::close(out[0]);
        ::execl(target, target, mode, nullptr);
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    pollfd p{out[0], POLLIN, 0};
    char ready[16] = {};
    if (::poll(&p, 1, 30000) != 1 || ::read(out[0], ready, sizeof ready - 1) <= 0) {
        std::fprintf(stderr, "the target did not start\n");
        return false;
    }
    // The core is written once, untimed: gdb's part is reading it.
    const std::string corePrefix = "/tmp/trace_bench_core_" + std::string(mode);
    const std::string core = corePrefix + "." + std::to_string(pid);
    Run("gcore -o " + corePrefix + " " + std::to_string(pid) + " >/dev/null 2>&1");
    std::vector<double> ours, attach, cores;
    std::string report, coreText;
    for (int r = 0; r < rounds; ++r) {
        auto t0 = Clock::now();
        if (!ax::RequestProcessTrace(pid, 16 << 20, 60000, report)) {
            std::fprintf(stderr, "no trace from the target\n");
            return false;
        }
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        if (r == 0) result.First = ms;
        ours.push_back(ms);
        // The target is held while gdb reads the core: busy threads would
        // otherwise take their share of the processors from gdb.
        ::kill(pid, SIGSTOP);
        t0 = Clock::now();
        coreText = RunGdbOnCore(target, core);
        cores.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        ::kill(pid, SIGCONT);
        t0 = Clock::now();
        RunGdb(pid);
        attach.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    ::close(in[1]);
    ::waitpid(pid, nullptr, 0);
    ::unlink(core.c_str());
    result.Ours = Median(ours);
    result.Attach = Median(attach);
    result.Core = Median(cores);
    result.Bytes = report.size();
    Compare(report, coreText, result);
    if (std::getenv("TRACE_BENCH_SHOW")) std::printf("%s\n----\n%s\n", report.c_str(), coreText.c_str());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const char* target = argc > 1 ? argv[1] : "./trace_target";
    bool ok = true;
    std::printf("32 threads, medians of %d | report | gdb on a core | gdb attaching | core / report | attach / report\n",
                rounds);
    for (const char* mode : {"waiting", "busy"}) {
        Result r;
        if (!Measure(target, mode, rounds, r)) return 2;
        const double core = r.Core / r.Ours, attach = r.Attach / r.Ours;
        std::printf("%s: %.1f ms (first, maps read: %.1f ms) | %.1f ms | %.1f ms | %.1fx | %.1fx\n", mode, r.Ours,
                    r.First, r.Core, r.Attach, core, attach);
        std::printf("  threads traced: %zu (gdb), report %zu bytes; frames gdb names in the target's code: %d, "
                    "named alike in the report (function and line): %d\n",
                    r.Threads, r.Bytes, r.Compared, r.Found);
        for (const auto& m : r.Missing) std::printf("  missing: %s\n", m.c_str());
        ok = ok && core >= 5.0 && r.Compared > 0 && r.Found == r.Compared;
    }
    std::printf("goal: each at least 5x as fast as gdb on a core, every frame found\n%s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
