#pragma once
// The GTK3 drag-and-drop program written for the tests (built with the
// window layer as AX_DND_PEER), started on a display with a private home,
// runtime folder and no session bus, its output in work/peer.log. Ended
// with its owner.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace ax::test {

class DndPeer {
public:
    DndPeer(const std::string& peer, const std::string& display, const std::string& work,
            std::vector<std::string> args) {
        std::filesystem::create_directories(work + "/home");
        std::filesystem::create_directories(work + "/run");
        chmod((work + "/run").c_str(), 0700);
        std::vector<std::string> env = {"DISPLAY=" + display, "HOME=" + work + "/home",
                                        "XDG_RUNTIME_DIR=" + work + "/run", "LANG=C.UTF-8",
                                        "DBUS_SESSION_BUS_ADDRESS=unix:path=" + work + "/no-bus"};
        args.insert(args.begin(), peer);
        const std::string log = work + "/peer.log";
        pid_ = fork();
        if (pid_ == 0) {
            std::vector<char*> argv, envp;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            for (std::string& e : env) envp.push_back(e.data());
            envp.push_back(nullptr);
            const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(out, 1);
            dup2(out, 2);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
    }
    ~DndPeer() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    DndPeer(const DndPeer&) = delete;
    DndPeer& operator=(const DndPeer&) = delete;

private:
    pid_t pid_ = -1;
};

} // namespace ax::test
