// The private CUPS scheduler of the print tests (see private_cups.h).
#include "private_cups.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace ax::test {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string CommandOutput(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

std::string FindSystemProgram(const std::string& name) {
    for (const char* dir : {"/usr/sbin", "/usr/bin", "/sbin", "/bin"})
        if (::access((std::string(dir) + "/" + name).c_str(), X_OK) == 0)
            return std::string(dir) + "/" + name;
    return {};
}

std::vector<std::string> PdfLines(const std::string& pdfFile) {
    std::istringstream text(CommandOutput("pdftotext -layout '" + pdfFile + "' - 2>/dev/null"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) {
        std::string squeezed;
        for (char c : line)
            if (c != ' ' || (!squeezed.empty() && squeezed.back() != ' ')) squeezed += c;
        while (!squeezed.empty() && squeezed.back() == ' ')
            squeezed.pop_back();
        if (!squeezed.empty() && squeezed[0] == '\f') squeezed.erase(0, 1); // a page break
        lines.push_back(squeezed);
    }
    return lines;
}

std::uint16_t FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    ::close(fd);
    return ntohs(a.sin_port);
}

std::string LoopbackServer(std::uint16_t port) {
    return "127.0.0.1:" + std::to_string(port);
}

std::string PrivateCupsUnavailable() {
    if (::geteuid() != 0) return "needs root: the private cupsd runs as root";
    if (FindSystemProgram("cupsd").empty() || FindSystemProgram("lpadmin").empty())
        return "cupsd or lpadmin is not installed (packages cups, cups-client)";
    if (FindSystemProgram("pdftotext").empty())
        return "pdftotext is not installed (package poppler-utils)";
    return {};
}

void PrivateCups::WriteConfig(std::uint16_t port) const {
    for (const char* sub : {"/etc", "/spool/tmp", "/cache", "/state", "/log", "/out"})
        fs::create_directories(folder_ + sub);
    std::ofstream(folder_ + "/etc/cups-files.conf")
        << "ServerRoot " << folder_ << "/etc\nRequestRoot " << folder_ << "/spool\nTempDir "
        << folder_ << "/spool/tmp\nCacheDir " << folder_ << "/cache\nStateDir " << folder_
        << "/state\nAccessLog " << folder_ << "/log/access_log\nErrorLog " << folder_
        << "/log/error_log\nPageLog " << folder_
        << "/log/page_log\nFileDevice Yes\nUser lp\nGroup lp\nSystemGroup root\n";
    std::ofstream(folder_ + "/etc/cupsd.conf")
        << "LogLevel warn\nListen " << LoopbackServer(port)
        << "\nBrowsing No\nWebInterface No\nDefaultAuthType None\n"
           "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
           "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n"
           "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
    // A driver that makes the scheduler hand the device PDF.
    std::ofstream(folder_ + "/pdf.ppd")
        << "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n*LanguageVersion: "
           "English\n"
           "*LanguageEncoding: ISOLatin1\n*PCFileName: \"PDFFILE.PPD\"\n*Manufacturer: \"Test\"\n"
           "*Product: \"(PDF file)\"\n*ModelName: \"PDF file\"\n*ShortNickName: \"PDF file\"\n"
           "*NickName: \"PDF file\"\n*PSVersion: \"(3010.000) 0\"\n*LanguageLevel: "
           "\"3\"\n*ColorDevice: True\n"
           "*DefaultColorSpace: RGB\n*FileSystem: False\n*Throughput: "
           "\"1\"\n*LandscapeOrientation: Plus90\n"
           "*TTRasterizer: Type42\n*cupsFilter2: \"application/vnd.cups-pdf application/pdf 0 -\"\n"
           "*OpenUI *PageSize/Page Size: PickOne\n*DefaultPageSize: A4\n"
           "*PageSize A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n*CloseUI: *PageSize\n"
           "*OpenUI *PageRegion: PickOne\n*DefaultPageRegion: A4\n"
           "*PageRegion A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n*CloseUI: *PageRegion\n"
           "*DefaultImageableArea: A4\n*ImageableArea A4/A4: \"18 36 577 "
           "806\"\n*DefaultPaperDimension: A4\n"
           "*PaperDimension A4/A4: \"595 842\"\n";
}

bool PrivateCups::Start(std::string* error) {
    char pattern[] = "/tmp/axcupsXXXXXX";
    folder_ = ::mkdtemp(pattern);
    const std::uint16_t port = FreePort();
    server_ = LoopbackServer(port);
    WriteConfig(port);
    // The scheduler runs as root and starts its filters as lp.
    if (std::system(("chown -R root:lp " + folder_ + " && chmod -R g+rwX " + folder_).c_str()) != 0)
        return *error = "cannot hand the folder to lp", false;
    // Its client side (lpadmin, and libcups here) reads this folder only.
    ::setenv("CUPS_SERVERROOT", (folder_ + "/etc").c_str(), 1);
    ::setenv("CUPS_SERVER", server_.c_str(), 1);
    ::unsetenv("LPDEST");
    ::unsetenv("PRINTER");
    const std::string cupsd = FindSystemProgram("cupsd"), conf = folder_ + "/etc/cupsd.conf",
                      files = folder_ + "/etc/cups-files.conf";
    const char* argv[] = {cupsd.c_str(), "-f", "-c", conf.c_str(), "-s", files.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (folder_ + "/log/stdout").c_str(),
                                     O_WRONLY | O_CREAT, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int spawned =
        posix_spawn(&pid_, cupsd.c_str(), &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return pid_ = -1, *error = "cupsd did not start", false;
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (CommandOutput("lpstat -h " + server_ + " -r 2>/dev/null").find("is running") ==
           std::string::npos) {
        if (Clock::now() > until) return *error = "cupsd does not answer", false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::string admin = "lpadmin -h " + server_;
    if (std::system((admin + " -p pdffile -E -v file://" + Output() + " -P " + folder_ +
                     "/pdf.ppd 2>/dev/null")
                        .c_str()) != 0 ||
        std::system((admin + " -d pdffile").c_str()) != 0)
        return *error = "lpadmin could not add the printer", false;
    return true;
}

void PrivateCups::Stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    if (!folder_.empty()) fs::remove_all(folder_);
    ::unsetenv("CUPS_SERVER");
    ::unsetenv("CUPS_SERVERROOT");
}

bool PrivateCups::WaitIdle() const {
    const auto until = Clock::now() + std::chrono::seconds(8);
    while (Clock::now() < until) {
        std::error_code ec;
        // The device may still be writing the file when the queue is empty:
        // a whole PDF ends with its end-of-file mark.
        if (CommandOutput("lpstat -h " + server_ + " -o pdffile 2>/dev/null").empty() &&
            fs::file_size(Output(), ec) > 0 &&
            CommandOutput("tail -c 32 '" + Output() + "'").find("%%EOF") != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

} // namespace ax::test
