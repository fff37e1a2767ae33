#pragma once
// A real file manager (pcmanfm) on a test's display, in list view, showing
// one folder, with a home and runtime folder of its own and no session
// bus; its output goes to work/pcmanfm.log. Its window's title is the
// folder's base name. Killed with its owner.
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace ax::test {

class FileManager {
public:
    FileManager(const std::string& display, const std::string& work, const std::string& shown,
                int width = 640, int height = 480) {
        namespace fs = std::filesystem;
        const std::string conf = work + "/home/.config/pcmanfm/default";
        fs::create_directories(conf);
        fs::create_directories(work + "/run");
        chmod((work + "/run").c_str(), 0700);
        // Presses in quick succession (a test's) are never a double click,
        // which would open the file.
        fs::create_directories(work + "/home/.config/gtk-3.0");
        std::ofstream(work + "/home/.config/gtk-3.0/settings.ini") << "[Settings]\ngtk-double-click-time=1\n";
        std::ofstream(conf + "/pcmanfm.conf") << "[ui]\nwin_width=" << width << "\nwin_height=" << height
                                              << "\nview_mode=list\n";
        env_ = {"DISPLAY=" + display, "HOME=" + work + "/home", "XDG_CONFIG_HOME=" + work + "/home/.config",
                "XDG_CACHE_HOME=" + work + "/home/.cache", "XDG_RUNTIME_DIR=" + work + "/run", "LANG=C.UTF-8",
                "DBUS_SESSION_BUS_ADDRESS=unix:path=" + work + "/no-bus",
                std::string("PATH=") + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin")};
        const std::string log = work + "/pcmanfm.log";
        pid_ = fork();
        if (pid_ == 0) {
            std::vector<char*> envp;
            for (std::string& e : env_) envp.push_back(e.data());
            envp.push_back(nullptr);
            const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(out, 1);
            dup2(out, 2);
            execle("/usr/bin/pcmanfm", "pcmanfm", shown.c_str(), static_cast<char*>(nullptr), envp.data());
            _exit(127);
        }
    }
    ~FileManager() {
        if (pid_ <= 0) return;
        // Not asked to quit: a dialog of its own may hold it.
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    FileManager(const FileManager&) = delete;
    FileManager& operator=(const FileManager&) = delete;

private:
    std::vector<std::string> env_;
    pid_t pid_ = -1;
};

} // namespace ax::test
