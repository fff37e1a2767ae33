#pragma once
// A private DNS-SD daemon for the network folder's tests: the calling
// process (single-threaded: a forked child, or a test before it starts any
// thread) takes a network and a mount namespace of its own, with the
// loopback up and multicast on; a system bus of its own (dbus-daemon) and
// avahi-daemon on it, whose pid file lives on a private tmpfs. Hosts are
// announced with avahi-publish. Needs root.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace ax::test {

class PrivateAvahi {
public:
    ~PrivateAvahi() { Stop(); }

    // Why it cannot run here; empty when it can.
    static std::string Unavailable() {
        if (geteuid() != 0) return "a private network needs root";
        for (const char* program : {"/usr/sbin/avahi-daemon", "/usr/bin/avahi-publish", "/usr/bin/dbus-daemon",
                                    "/usr/sbin/ip"})
            if (access(program, X_OK) != 0) return std::string(program) + " is not installed";
        return {};
    }

    bool Start(std::string* error) {
        auto fail = [&](const std::string& why) {
            if (error) *error = why;
            return false;
        };
        if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) return fail("unshare");
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return fail("private mounts");
        if (Run({"/usr/sbin/ip", "link", "set", "lo", "up"}) != 0 ||
            Run({"/usr/sbin/ip", "link", "set", "lo", "multicast", "on"}) != 0)
            return fail("loopback");
        mkdir("/run/avahi-daemon", 0755);
        if (mount("tmpfs", "/run/avahi-daemon", "tmpfs", 0, "size=1m") != 0) return fail("pid file folder");
        char name[] = "/tmp/ax-avahi-XXXXXX";
        if (!mkdtemp(name)) return fail("folder");
        folder_ = name;
        std::ofstream(folder_ + "/bus.conf")
            << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><type>system</type><listen>unix:path="
            << folder_ << "/bus</listen><auth>EXTERNAL</auth><policy context=\"default\">"
            << "<allow user=\"*\"/><allow own=\"*\"/><allow send_destination=\"*\" eavesdrop=\"true\"/>"
               "<allow receive_sender=\"*\"/></policy></busconfig>\n";
        std::ofstream(folder_ + "/avahi.conf") << "[server]\nuse-ipv4=yes\nuse-ipv6=no\n[wide-area]\n"
                                                  "enable-wide-area=no\n[publish]\npublish-hinfo=no\n"
                                                  "publish-workstation=no\n";
        pids_.push_back(Spawn({"/usr/bin/dbus-daemon", "--config-file=" + folder_ + "/bus.conf", "--nofork"},
                              folder_ + "/bus.log"));
        if (!Until([&] { return access((folder_ + "/bus").c_str(), F_OK) == 0; })) return fail("dbus-daemon");
        setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + folder_ + "/bus").c_str(), 1);
        pids_.push_back(Spawn({"/usr/sbin/avahi-daemon", "-f", folder_ + "/avahi.conf", "--no-drop-root",
                               "--no-chroot", "--no-rlimits", "--no-proc-title"},
                              folder_ + "/avahi.log"));
        if (!Until([&] { return Log().find("Server startup complete") != std::string::npos; }))
            return fail("avahi-daemon: " + Log());
        return true;
    }
    // Announces a computer: its workstation service and its address.
    void Publish(const std::string& host, const std::string& address) {
        pids_.push_back(Spawn({"/usr/bin/avahi-publish", "-s", "-H", host + ".local", host, "_workstation._tcp", "9"},
                              folder_ + "/publish-" + host + ".log"));
        pids_.push_back(Spawn({"/usr/bin/avahi-publish", "-a", "-R", host + ".local", address},
                              folder_ + "/address-" + host + ".log"));
    }
    void Stop() {
        for (auto it = pids_.rbegin(); it != pids_.rend(); ++it) {
            kill(*it, SIGTERM);
            waitpid(*it, nullptr, 0);
        }
        pids_.clear();
        if (!folder_.empty()) {
            umount2("/run/avahi-daemon", MNT_DETACH);
            Run({"/bin/rm", "-rf", folder_});
            folder_.clear();
        }
    }

private:
    std::string Log() const {
        std::ifstream in(folder_ + "/avahi.log");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Polls a peer's start, bounded: only a broken peer comes near it.
    template <class Pred> static bool Until(Pred done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }
    static pid_t Spawn(const std::vector<std::string>& args, const std::string& log) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        pid_t pid = -1;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }
    static int Run(const std::vector<std::string>& args) {
        const pid_t pid = Spawn(args, "/dev/null");
        int status = 0;
        if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string folder_;
    std::vector<pid_t> pids_;
};

} // namespace ax::test
