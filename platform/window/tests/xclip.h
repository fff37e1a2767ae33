#pragma once
// Another program on the test's display using the clipboard: xclip reading
// one target of it, or holding it with data of its own.
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace ax::test {

// xclip's output for one target of the clipboard ("" when it read nothing).
inline std::string XclipOutput(const std::string& target) {
    const std::string cmd = "xclip -selection clipboard -t " + target + " -o 2>/dev/null";
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[65536];
        for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
            out.append(buf, n);
        pclose(p);
    }
    return out;
}

// xclip takes the clipboard with data in one target and serves it for the
// object's life.
class XclipOffer {
public:
    XclipOffer(const std::string& target, const std::string& data) {
        int in[2];
        if (pipe(in) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            close(in[0]);
            close(in[1]);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execlp("xclip", "xclip", "-quiet", "-selection", "clipboard", "-t", target.c_str(), "-i",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        for (size_t done = 0; done < data.size();) {
            const ssize_t n = write(in[1], data.data() + done, data.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        close(in[1]);
    }
    ~XclipOffer() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    XclipOffer(const XclipOffer&) = delete;
    XclipOffer& operator=(const XclipOffer&) = delete;

private:
    pid_t pid_ = -1;
};

} // namespace ax::test
