// Composes the bug report: the header lines (program, system, times, disk
// space), a snapshot of each reported thread (registers and a copy of its
// stack, taken without allocating while the thread stands still) with its
// stack trace, and the optional modules, hardware and disassembly sections.
#include "crash/vorBugReport.h"

#include "crash/vorMapFile.h"
#include "crash/vorRestart.h"
#include "crash/vorSettings.h"
#include "crash/vorStrings.h"
#include "crash/vorThreadList.h"
#include "crash/vorTools.h"
#include "platform/memory_map.h"
#include "platform/module.h"
#include "platform/named_mapping.h"
#include "platform/thread_hooks.h"
#include "platform/window/savefiledialog.h"
#include "platform/window/window.h"
#include "rtl/clock.h"
#include "rtl/streams.h"

#include <cxxabi.h>
#include <pwd.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace ax {
namespace {

constexpr char CRLF[] = "\r\n";

std::uint64_t g_startTicks = 0;

std::string Two(int v) {
    return vor::IntToStrEx(static_cast<std::int64_t>(v), 2, '0');
}

// Lower-case hexadecimal digits, zero-padded to width.
std::string HexDigits(std::uint64_t value, std::size_t width) {
    std::string out;
    do {
        out.insert(out.begin(), "0123456789abcdef"[value & 15]);
        value >>= 4;
    } while (value != 0);
    if (out.size() < width) out.insert(0, width - out.size(), '0');
    return out;
}

std::string Label(const char* name) {
    std::string l = name;
    l.resize(18, ' ');
    return l + ": ";
}

std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string ExecutablePath() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

std::string DirectoryOf(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string FileOf(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Local date and time of a TDateTime: "2026-12-06, 21:05:03, 17ms".
void SplitDateTime(TDateTime value, int& y, int& mo, int& d, int& h, int& mi, int& s, int& ms) {
    const double days = std::floor(value);
    std::int64_t total = static_cast<std::int64_t>(std::llround((value - days) * 86400000.0));
    std::int64_t dayNumber = static_cast<std::int64_t>(days) - 25569; // days since 1970-01-01
    if (total >= 86400000) {
        total -= 86400000;
        ++dayNumber;
    }
    ms = static_cast<int>(total % 1000);
    s = static_cast<int>(total / 1000 % 60);
    mi = static_cast<int>(total / 60000 % 60);
    h = static_cast<int>(total / 3600000);
    // Civil date from days since the epoch.
    std::int64_t z = dayNumber + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    mo = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (mo <= 2 ? 1 : 0));
}

std::string LanguageName(const std::string& locale) {
    static const std::map<std::string, std::string> names = {
        {"en", "English"}, {"de", "German"},  {"fr", "French"},   {"es", "Spanish"},
        {"it", "Italian"}, {"nl", "Dutch"},   {"pt", "Portuguese"}, {"sv", "Swedish"},
        {"pl", "Polish"},  {"ru", "Russian"}, {"ja", "Japanese"}, {"zh", "Chinese"}};
    std::string code = locale.substr(0, locale.find_first_of("_.@"));
    auto it = names.find(code);
    return it != names.end() ? it->second : std::string();
}

std::string FileTimeText(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return {};
    std::tm tm{};
    ::localtime_r(&st.st_mtime, &tm);
    return vor::IntToStrEx(static_cast<std::int64_t>(tm.tm_year + 1900), 4, '0') + "-" + Two(tm.tm_mon + 1) + "-" +
           Two(tm.tm_mday) + ", " + Two(tm.tm_hour) + ":" + Two(tm.tm_min);
}

std::string FreeSpace(const std::string& path) {
    struct statvfs v{};
    if (::statvfs(path.c_str(), &v) != 0) return {};
    return vor::SizeToStr(static_cast<std::int64_t>(v.f_bavail) * static_cast<std::int64_t>(v.f_frsize));
}

std::string MountPointOf(const std::string& path) {
    struct stat target{};
    if (::stat(path.c_str(), &target) != 0) return {};
    std::string at = path;
    for (;;) {
        std::string up = DirectoryOf(at);
        struct stat st{};
        if (up == at || ::stat(up.c_str(), &st) != 0 || st.st_dev != target.st_dev) return at;
        at = up;
    }
}

// The thread's kernel name, a second text for threads nobody named.
std::string KernelThreadName(pid_t id) {
    std::string name = ReadFileText("/proc/self/task/" + std::to_string(id) + "/comm");
    while (!name.empty() && (name.back() == '\n' || name.back() == ' ')) name.pop_back();
    return name;
}

int ThreadNice(pid_t id) {
    const std::string stat = ReadFileText("/proc/self/task/" + std::to_string(id) + "/stat");
    auto close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream in(stat.substr(close + 2));
    std::string field;
    // Fields from the state (3rd) on; nice is the 19th.
    for (int i = 3; i <= 19 && in >> field; ++i)
        if (i == 19) return std::atoi(field.c_str());
    return 0;
}

std::string ThreadTitle(pid_t id, const std::optional<TThreadRecord>& record) {
    if (record && !record->Name.empty() && record->Name != "-")
        return record->Name + " (" + DollarHex(static_cast<std::uint64_t>(id)) + ")";
    std::string title = "thread " + DollarHex(static_cast<std::uint64_t>(id));
    std::string second = record && !record->SecondText.empty() ? record->SecondText : KernelThreadName(id);
    if (!second.empty() && second != FileOf(ExecutablePath()).substr(0, 15)) title += " (" + second + ")";
    return title;
}

// A thread's registers and a copy of its stack.
struct TSnapshot {
    bool Valid = false;
    ThreadRegisters Registers;
    std::uintptr_t CopyBase = 0;
    std::uintptr_t Top = 0;
    std::vector<std::uint8_t> Bytes;
};

constexpr std::size_t kRedZone = 128;
constexpr std::size_t kMaxStackCopy = 16u << 20;

// Where the stack above the registers' stack pointer lies: from (with the
// red zone below it) and how many bytes; size 0 when it cannot be read.
// Allocates nothing, so that it may run while the thread stands still,
// whatever lock it holds.
std::size_t StackRange(TSnapshot& s, const RegionMap& map, std::uintptr_t& from) {
    std::uintptr_t sp = s.Registers.Sp;
    const MemoryRegion* region = map.find(sp);
    // A stack that overflowed stands in its guard page: take what lies above.
    if (region == nullptr || !region->readable) {
        region = nullptr;
        for (const auto& r : map.regions())
            if (r.start > sp && r.readable) {
                region = &r;
                sp = r.start;
                break;
            }
    }
    if (region == nullptr) return 0;
    from = sp - std::min<std::uintptr_t>(kRedZone, sp - region->start);
    s.Registers.Sp = sp;
    return std::min<std::size_t>(region->end - from, kMaxStackCopy);
}

// For a stack that stands still anyway: the faulting thread's, which waits
// for the report, or this thread's own.
void CopyStack(TSnapshot& s) {
    const RegionMap map = RegionMap::build();
    std::uintptr_t from = 0;
    const std::size_t size = StackRange(s, map, from);
    s.Bytes.resize(size);
    s.Valid = size != 0 && safeRead(from, s.Bytes.data(), size);
    if (!s.Valid) {
        s.Bytes.clear();
        return;
    }
    s.CopyBase = from;
    s.Top = from + size;
}

// A stack copied while its thread stood still, in pages of its own: mapping
// them takes no lock a stopped thread may hold, as the allocator's would.
struct TStackPages {
    void* Pages = MAP_FAILED;
    std::size_t Size = 0;
    TStackPages() = default;
    TStackPages(const TStackPages&) = delete;
    TStackPages& operator=(const TStackPages&) = delete;
    ~TStackPages() {
        if (Pages != MAP_FAILED) ::munmap(Pages, Size);
    }
};

void CopyStackToPages(TSnapshot& s, const RegionMap& map, TStackPages& pages) {
    std::uintptr_t from = 0;
    const std::size_t size = StackRange(s, map, from);
    if (size == 0) return;
    pages.Pages = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages.Pages == MAP_FAILED) return;
    pages.Size = size;
    if (!safeRead(from, pages.Pages, size)) return;
    s.CopyBase = from;
    s.Top = from + size;
    s.Valid = true;
}

// The stacks of the given threads, all stopped together; a thread that did
// not answer in time (or has ended) has none.
std::map<pid_t, TSnapshot> SnapshotsOf(const std::vector<pid_t>& ids, const RegionMap& map) {
    std::vector<TSnapshot> snapshots(ids.size());
    std::vector<TStackPages> pages(ids.size());
    StopThreads(ids, 2000, [&](const std::vector<StoppedThread>& stopped) {
        std::size_t at = 0; // stopped keeps the order of ids
        for (const StoppedThread& t : stopped) {
            while (ids[at] != t.Id) ++at;
            snapshots[at].Registers = t.Registers;
            CopyStackToPages(snapshots[at], map, pages[at]);
        }
    });
    std::map<pid_t, TSnapshot> out;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        TSnapshot& s = snapshots[i];
        if (s.Valid) {
            const auto* bytes = static_cast<const std::uint8_t*>(pages[i].Pages);
            s.Bytes.assign(bytes, bytes + (s.Top - s.CopyBase));
        }
        out[ids[i]] = std::move(s);
    }
    return out;
}

std::string TraceOf(const TSnapshot& s, std::uintptr_t current, bool currentGiven, std::uintptr_t start,
                    const TCallerList* callers, std::uintptr_t* entry, TraceProgress* progress) {
    const VorSettings& settings = ReporterSettings();
    TBufferReader reader(s.CopyBase, s.Bytes);
    TStackTraceArgs args;
    args.HideItemsWithoutLine = settings.HideItemsWithoutLine;
    args.ShowRelativeAddresses = settings.ShowRelativeAddresses;
    args.ShowRelativeLines = settings.ShowRelativeLines;
    args.PlainMode = settings.PlainStackTrace;
    args.CurrentAddress = current;
    args.CurrentGiven = currentGiven;
    args.Stack = &reader;
    args.StackLow = s.Registers.Sp;
    args.StackHigh = s.Top;
    args.FramePointer = s.Registers.Fp;
    args.StartAddress = start;
    args.OutFunctionEntry = entry;
    args.Progress = progress;
    args.CallerList = callers;
    args.StopBeforeCurrent = callers != nullptr;
    args.CutAboveThrow = callers != nullptr;
    return StackTrace(args);
}

// The reporter's own threads never appear, unless one of them faulted.
bool IsReporterThread(pid_t id) {
    return id == ReporterWorkerThreadId() || id == FreezeWatchdogThreadId();
}

// The threads of order whose stacks are taken while they stand still: not
// the faulting one (its context came with the fault), not this one, not the
// reporter's own and not those listed as hidden ("-").
std::vector<pid_t> ThreadsToStop(const std::vector<pid_t>& order, const TBugReportInput& in) {
    std::set<pid_t> hidden;
    for (const auto& record : ThreadRecords(50))
        if (record.Name == "-") hidden.insert(record.ThreadId);
    std::vector<pid_t> ids;
    for (pid_t id : order)
        if (!(!in.Frozen && id == in.ThreadId) && id != CurrentThreadId() && !IsReporterThread(id) &&
            hidden.count(id) == 0)
            ids.push_back(id);
    return ids;
}

std::string GetThreadStack(pid_t id, bool faulting, const TBugReportInput& in, std::uintptr_t* entry,
                           TraceProgress* progress, TSnapshot* stopped) {
    const auto record = FindThreadRecord(id, 50);
    if (record && record->Name == "-" && !faulting) return {};
    std::string section = std::string(CRLF) + CRLF + ThreadTitle(id, record) + ":";
    if (const int nice = ThreadNice(id); nice != 0) section += " <priority:" + vor::IntToStrEx(static_cast<std::int32_t>(-nice)) + ">";
    section += CRLF;
    TSnapshot snapshot;
    std::uintptr_t current = 0;
    if (faulting && in.Registers != nullptr) {
        snapshot.Registers = *in.Registers;
        CopyStack(snapshot);
        current = in.Address != 0 ? in.Address : in.Registers->Ip;
    } else if (faulting || id == CurrentThreadId()) {
        // The thread waits for the report (or is this one): its stack stands still.
        snapshot.Registers.Sp = in.StackPointer != 0 && faulting ? in.StackPointer
                                                                  : reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
        snapshot.Registers.Fp = faulting ? in.FramePointer : 0;
        CopyStack(snapshot);
        current = faulting ? in.Address : reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
    } else if (stopped != nullptr) {
        snapshot = std::move(*stopped);
        current = snapshot.Registers.Ip;
    }
    if (!snapshot.Valid) {
        section += ">> stack not accessible";
        if (faulting) section += std::string(", exception location: ") + CRLF + FormatAddress(in.Address);
        return section;
    }
    const TCallerList* callers = faulting && in.ThrowRecord != nullptr && !in.ThrowRecord->empty() ? in.ThrowRecord : nullptr;
    std::string trace = TraceOf(snapshot, current, current != 0, record ? record->StartAddress : 0, callers,
                                faulting ? entry : nullptr, progress);
    if (record && record->StartAddress != 0) {
        const auto creator = FindThreadRecord(record->CreatorId, 50);
        const std::string by = std::string(CRLF) + ">> created by " + ThreadTitle(record->CreatorId, creator) + " at:";
        const auto cr = trace.rfind('\r');
        trace.insert(cr == std::string::npos ? trace.size() : cr, by);
    }
    return section + trace;
}

} // namespace

void MarkProgramStart() {
    g_startTicks = CurrentClock().Ticks();
}

std::string AppName() {
    std::string name = FileOf(ExecutablePath());
    auto dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string ExpandPlaceholders(std::string text, const std::string& exceptMessage) {
    vor::ReplaceText(text, "%appname%", AppName());
    vor::ReplaceText(text, "%exceptMsg%", exceptMessage);
    vor::ReplaceText(text, "%LF%", CRLF);
    return text;
}

std::string DurationText(std::uint64_t seconds) {
    const std::uint64_t days = seconds / 86400, hours = seconds / 3600 % 24, minutes = seconds / 60 % 60,
                        secs = seconds % 60;
    struct Part {
        std::uint64_t Value;
        const char* Unit;
    };
    Part parts[2];
    if (days != 0)
        parts[0] = {days, "day"}, parts[1] = {hours, "hour"};
    else if (hours != 0)
        parts[0] = {hours, "hour"}, parts[1] = {minutes, "minute"};
    else
        parts[0] = {minutes, "minute"}, parts[1] = {secs, "second"};
    std::string out;
    for (const Part& p : parts) {
        if (p.Value == 0) continue;
        out += std::to_string(p.Value) + " " + p.Unit + (p.Value == 1 ? " " : "s ");
    }
    return out;
}

void ExceptionClassAndMessage(const TExceptionObject* object, std::string& className, std::string& message) {
    className = object != nullptr ? object->ClassName : std::string();
    message = object != nullptr ? object->Message : std::string();
    if (object != nullptr && message.empty() && !className.empty()) message = className;
    if (className.empty()) className = "Unknown";
    if (message.empty()) message = "Unknown";
}

std::string TrimmedMessage(const std::string& message) {
    std::size_t last = message.find_last_not_of(".!");
    std::size_t keep = last == std::string::npos ? 0 : last + 1;
    if (keep < message.size()) ++keep; // one trailing "." or "!" stays
    return message.substr(0, keep) + ".";
}

namespace {

// The report header's lines, a group each; each ends its lines with CRLF.

void AddDateTime(std::string& h) {
    int y, mo, d, hh, mi, s, ms;
    SplitDateTime(CurrentClock().Now(), y, mo, d, hh, mi, s, ms);
    h += Label("date/time") + vor::IntToStrEx(static_cast<std::int64_t>(y), 4, '0') + "-" + Two(mo) + "-" + Two(d) +
         ", " + Two(hh) + ":" + Two(mi) + ":" + Two(s) + ", " + std::to_string(ms) + "ms" + CRLF;
}

// Computer, user, system and its language and up time.
void AddSystem(std::string& h) {
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    h += Label("computer name") + host + CRLF;
    if (const std::string client = TerminalClientName(); !client.empty()) h += Label("wts client name") + client + CRLF;
    if (const passwd* pw = ::getpwuid(::geteuid())) h += Label("user name") + pw->pw_name + CRLF;
    const TOsVersion& os = GetOsVersion();
    h += Label("operating system") + os.Description + " build " + std::to_string(os.Build) + CRLF;
    const char* lang = std::getenv("LC_ALL");
    if (lang == nullptr || *lang == 0) lang = std::getenv("LANG");
    if (std::string language = LanguageName(lang ? lang : ""); !language.empty())
        h += Label("system language") + language + CRLF;
    std::istringstream up(ReadFileText("/proc/uptime"));
    double seconds = 0;
    if (up >> seconds) h += Label("system up time") + DurationText(static_cast<std::uint64_t>(seconds)) + CRLF;
}

void AddProgramUpTime(std::string& h) {
    const std::uint64_t ms = CurrentClock().Ticks() - g_startTicks;
    std::string up = DurationText(ms / 1000);
    h += Label("program up time") + (up.empty() ? std::to_string(ms) + " milliseconds" : up) + CRLF;
}

void AddProcessors(std::string& h) {
    std::istringstream cpu(ReadFileText("/proc/cpuinfo"));
    std::string line, name;
    int count = 0;
    while (std::getline(cpu, line))
        if (line.rfind("model name", 0) == 0) {
            ++count;
            if (name.empty()) name = vor::TrimCopy(line.substr(line.find(':') + 1));
        }
    if (!name.empty())
        h += count <= 1 ? Label("processor") + name + CRLF
                        : Label("processors") + std::to_string(count) + "x " + name + CRLF;
}

void AddPhysicalMemory(std::string& h) {
    std::istringstream mem(ReadFileText("/proc/meminfo"));
    std::string key;
    std::uint64_t value = 0, total = 0, available = 0;
    std::string unit;
    while (mem >> key >> value >> unit) {
        if (key == "MemTotal:") total = value * 1024;
        if (key == "MemAvailable:") available = value * 1024;
    }
    if (total != 0)
        h += Label("physical memory") + std::to_string((available + 0x80000) >> 20) + "/" +
             std::to_string((total + 0x80000) >> 20) + " MB (free/total)" + CRLF;
}

// The root's free space, and that of the program's own disk.
void AddFreeDiskSpace(std::string& h) {
    std::string space = FreeSpace("/");
    const std::string exe = ExecutablePath();
    const std::string exeMount = MountPointOf(DirectoryOf(exe));
    std::string line = space.empty() ? std::string() : "(/) " + space;
    if (!exeMount.empty() && exeMount != "/") {
        std::string other = FreeSpace(exeMount);
        if (!other.empty()) line += (line.empty() ? "" : " ") + std::string("(") + exeMount + ") " + other;
    }
    if (!line.empty()) h += Label("free disk space") + line + CRLF;
}

void AddDisplayMode(std::string& h) {
    const int w = GetSystemMetrics(SM_CXSCREEN), hgt = GetSystemMetrics(SM_CYSCREEN);
    if (w > 0 && hgt > 0) h += Label("display mode") + std::to_string(w) + "x" + std::to_string(hgt) + ", 32 bit" + CRLF;
}

// The process's writable anonymous memory, heap and stacks.
void AddAllocatedMemory(std::string& h) {
    std::uint64_t allocated = 0;
    const RegionMap map = RegionMap::build();
    for (const auto& r : map.regions())
        if (r.writable && (r.path.empty() || r.path == "[heap]" || r.path == "[stack]")) allocated += r.end - r.start;
    h += Label("allocated memory") + vor::SizeToStr(static_cast<std::int64_t>(allocated)) + CRLF;
}

// Only when the program was given arguments.
void AddCommandLine(std::string& h) {
    std::string raw = ReadFileText("/proc/self/cmdline");
    std::vector<std::string> args;
    std::size_t at = 0;
    while (at < raw.size()) {
        auto end = raw.find('\0', at);
        if (end == std::string::npos) end = raw.size();
        args.push_back(raw.substr(at, end - at));
        at = end + 1;
    }
    if (args.size() > 1) {
        std::string line;
        for (const auto& a : args) line += (line.empty() ? "" : " ") + a;
        h += Label("command line") + line + CRLF;
    }
}

// The executable's name, date and version, and the reporter's version.
void AddExecutable(std::string& h) {
    const std::string exe = ExecutablePath();
    h += Label("executable") + FileOf(exe) + CRLF;
    if (std::string t = FileTimeText(exe); !t.empty()) h += Label("exec. date/time") + t + CRLF;
    std::string version;
    if (ReporterRuntime().VersionTextHook) version = ReporterRuntime().VersionTextHook();
    if (version.empty())
        if (std::uint64_t v = GetProgramVersion(); v != 0)
            version = FileVersionText(static_cast<std::uint32_t>(v >> 32), static_cast<std::uint32_t>(v));
    if (!version.empty()) h += Label("version") + version + CRLF;
    h += Label("vorExcept version") + "2.7i" + CRLF;
}

// The last lines, without a line end.
void AddException(std::string& h, const TBugReportInput& in, const VorSettings& settings) {
    if (in.Frozen) {
        h += Label("exception message") + settings.FrozenText.str();
    } else {
        std::string cls, msg;
        ExceptionClassAndMessage(in.Object, cls, msg);
        h += Label("exception class") + cls;
        if (msg != cls) h += std::string(CRLF) + Label("exception message") + TrimmedMessage(msg);
    }
}

} // namespace

std::string GetReportHeader(const TBugReportInput& in) {
    const VorSettings& settings = ReporterSettings();
    std::string h;
    // A failing step keeps the lines before it and says what failed.
    try {
        AddDateTime(h);
        AddSystem(h);
        AddProgramUpTime(h);
        AddProcessors(h);
        AddPhysicalMemory(h);
        AddFreeDiskSpace(h);
        AddDisplayMode(h);
        h += Label("process id") + DollarHex(static_cast<std::uint64_t>(::getpid())) + CRLF;
        AddAllocatedMemory(h);
        if (settings.ShowCommandLine) AddCommandLine(h);
        AddExecutable(h);
        AddException(h, in, settings);
    } catch (const std::exception& e) {
        h += e.what();
    }
    return h;
}

std::string GetThreadReport(const TBugReportInput& in, std::uintptr_t* functionEntry) {
    const VorSettings& settings = ReporterSettings();
    const pid_t main = MainThreadId();
    std::vector<pid_t> order;
    if (!in.Frozen && in.ThreadId != 0) order.push_back(in.ThreadId);
    if (in.Frozen || in.ThreadId != main) order.push_back(main);
    if (settings.ReportAllThreads)
        for (pid_t id : ProcessThreadIds())
            if (std::find(order.begin(), order.end(), id) == order.end()) order.push_back(id);
    std::unique_ptr<TraceProgress> progress;
    if (in.ShowProgress) {
        progress = CreateTraceProgress();
        for (std::size_t i = 0; i < order.size(); ++i) AddPhase(progress.get(), 100);
    }
    auto stacks = SnapshotsOf(ThreadsToStop(order, in), RegionMap::build());
    std::string out;
    for (pid_t id : order) {
        const bool faulting = !in.Frozen && id == in.ThreadId;
        if (!faulting && IsReporterThread(id)) {
            NextPhase(progress.get());
            continue;
        }
        const auto stack = stacks.find(id);
        out += GetThreadStack(id, faulting, in, functionEntry, progress.get(),
                              stack != stacks.end() ? &stack->second : nullptr);
        NextPhase(progress.get());
    }
    return out;
}

std::string GetModuleReport() {
    auto modules = loadedModules();
    std::sort(modules.begin(), modules.end(), [](const ModuleInfo& a, const ModuleInfo& b) { return a.handle < b.handle; });
    std::size_t nameWidth = 0, versionWidth = 0;
    std::vector<std::string> versions;
    for (const auto& m : modules) {
        nameWidth = std::max(nameWidth, FileOf(m.fileName).size());
        std::string v;
        if (std::uint64_t fv = GetFileVersion(m.fileName); fv != 0)
            v = FileVersionText(static_cast<std::uint32_t>(fv >> 32), static_cast<std::uint32_t>(fv));
        versionWidth = std::max(versionWidth, v.size());
        versions.push_back(v);
    }
    std::string out = "modules:";
    for (std::size_t i = 0; i < modules.size(); ++i) {
        std::string name = FileOf(modules[i].fileName);
        name.resize(nameWidth + 1, ' ');
        std::string version = versions[i];
        version.resize(versionWidth + 1, ' ');
        std::string base = HexDigits(modules[i].handle, 8);
        out += std::string(CRLF) + base + " " + name + version + DirectoryOf(modules[i].fileName);
    }
    return out;
}

std::string GetHardwareList() {
    std::string out = "hardware:";
    DIR* classes = ::opendir("/sys/class");
    if (classes == nullptr) return out;
    std::set<std::string> names;
    while (dirent* e = ::readdir(classes))
        if (e->d_name[0] != '.') names.insert(e->d_name);
    ::closedir(classes);
    for (const auto& cls : names) {
        std::set<std::string> devices;
        if (DIR* dir = ::opendir(("/sys/class/" + cls).c_str())) {
            while (dirent* e = ::readdir(dir))
                if (e->d_name[0] != '.') devices.insert(e->d_name);
            ::closedir(dir);
        }
        if (devices.empty()) continue;
        out += std::string(CRLF) + "+ " + cls;
        for (const auto& dev : devices) out += std::string(CRLF) + "  - " + dev;
    }
    return out;
}

std::string GetBugReport(const TBugReportInput& in) {
    const VorSettings& settings = ReporterSettings();
    std::string report;
    try {
        std::uintptr_t entry = 0;
        std::string threads = GetThreadReport(in, &entry);
        report = GetReportHeader(in) + threads;
        if (settings.ListModules) report += std::string(CRLF) + CRLF + GetModuleReport();
        if (settings.ListHardware) report += std::string(CRLF) + CRLF + GetHardwareList();
        const auto& hook = ReporterRuntime().DisasmHook;
        if (hook && !in.Frozen && in.Address != 0) {
            if (entry == 0) {
                TAddressInfo info;
                if (GetAddressInfo(in.Address, info)) entry = info.SymbolStart;
            }
            std::string text;
            if (entry != 0 && hook(entry, text, in.Address, settings.DisasmOption, settings.DisasmCount) && !text.empty()) {
                vor::ReplaceStr(text, "\r\n", "\n");
                vor::ReplaceStr(text, "\n", CRLF);
                report += std::string(CRLF) + CRLF + "disassembling:" + CRLF + text;
            }
        }
    } catch (...) {
        report += std::string(CRLF) + "An exception occurred during composing the bug report.";
    }
    return report;
}

std::string BugReportFileName() {
    std::string name = ReporterSettings().BugReportFile.str();
    vor::ReplaceText(name, "%appname%", AppName());
    if (!name.empty() && name[0] == '/') return name;
    return DirectoryOf(ExecutablePath()) + "/" + name;
}

bool BugReportFileIsAbsolute() {
    const std::string& name = ReporterSettings().BugReportFile.str();
    return !name.empty() && name[0] == '/';
}

std::string FallbackReportFileName() {
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/') {
        base = state;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || *home != '/') {
            const passwd* user = ::getpwuid(::geteuid());
            home = user != nullptr ? user->pw_dir : nullptr;
        }
        if (home == nullptr || *home != '/') return {};
        base = std::string(home) + "/.local/state";
    }
    return base + "/" + AppName() + "/" + FileOf(BugReportFileName());
}

std::string TrimReportFile(const std::string& content, std::int32_t maxSize) {
    if (maxSize <= 0 || content.size() <= static_cast<std::size_t>(maxSize)) return content;
    const std::size_t limit = static_cast<std::size_t>(maxSize) - (static_cast<std::size_t>(maxSize) >> 2);
    for (std::size_t at = content.find("date/time"); at != std::string::npos; at = content.find("date/time", at + 1)) {
        if (at != 0 && content[at - 1] != '\n') continue; // only where a report starts
        if (content.size() - at < limit) return content.substr(at);
    }
    return content;
}

namespace {

bool MakeFolders(const std::string& file) {
    std::string dir = DirectoryOf(file);
    std::string at;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find('/', pos + 1);
        at = dir.substr(0, pos);
        if (!at.empty() && ::mkdir(at.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

// The fallback's folder holds reports of the user's alone: it must be the
// user's own folder (no link, no one else's), which only the user can enter.
bool PrivateFolder(const std::string& file) {
    const std::string dir = DirectoryOf(file);
    struct stat st{};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    return (st.st_mode & 077) == 0 || ::chmod(dir.c_str(), 0700) == 0;
}

// A report holds the user's name, the command line and the program's
// addresses: it is the user's alone.
bool WriteReport(const std::string& file, const std::string& report) {
    const std::int32_t max = ReporterSettings().BugReportFileMaxSize;
    std::string content = report + "\r\n\r\n";
    if (max > 0) content = TrimReportFile(ReadFileText(file) + content, max);
    try {
        SaveFileAtomically(
            file, [&](TStream& s) { s.WriteBuffer(content.data(), static_cast<std::int64_t>(content.size())); },
            0600);
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

namespace {

// The name the user picks in the save dialog; empty when cancelled or
// when no dialog is installed.
std::string AskReportFileName(std::uintptr_t owner) {
    ISaveFileDialogService* dialog = SaveFileDialogService();
    if (dialog == nullptr) return {};
    SaveFileRequest request;
    request.owner = owner;
    request.title = ReporterSettings().SaveButtonCaption.str();
    request.filter = "*.txt";
    request.initialDir = DirectoryOf(ExecutablePath());
    request.fileName = FileOf(BugReportFileName());
    request.flags = 0x8004; // OFN_NOREADONLYRETURN | OFN_HIDEREADONLY
    return dialog->SaveFileName(request);
}

} // namespace

bool SaveBugReport(const std::string& report, bool silent, std::string* savedAs, std::uintptr_t owner) {
    // A name without its own folder is asked for when someone can answer;
    // a cancelled dialog saves nothing.
    if (!silent && !BugReportFileIsAbsolute() && SaveFileDialogService() != nullptr) {
        const std::string chosen = AskReportFileName(owner);
        if (chosen.empty() || chosen[0] != '/' || !MakeFolders(chosen) || !WriteReport(chosen, report)) return false;
        if (savedAs != nullptr) *savedAs = chosen;
        return true;
    }
    std::string file = BugReportFileName();
    if (!MakeFolders(file) || !WriteReport(file, report)) {
        file = FallbackReportFileName();
        if (file.empty() || !MakeFolders(file) || !PrivateFolder(file) || !WriteReport(file, report))
            return false;
    }
    if (savedAs != nullptr) *savedAs = file;
    return true;
}

} // namespace ax
