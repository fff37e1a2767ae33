#include "framework/helpviewer.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "framework/forms.h"
#include "framework/helppopup.h"
#include "rtl/streams.h"
#include "rtl/sysutils.h"
#include "rtl/text.h"

extern char** environ;

namespace ax {

namespace {

constexpr const char* kViewer = "xdg-open";
constexpr const char* kContents = "index.html";

std::string Html(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string PageName(int context) { return "topic-" + std::to_string(context) + ".html"; }

std::string Page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + Html(title) +
           "</title></head>\n<body>\n<h1>" + Html(title) + "</h1>\n" + body + "</body></html>\n";
}

// Where pages go: the user's runtime folder, else the temporary one.
std::string PrivateBase() {
    for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"})
        if (const char* dir = std::getenv(name); dir && *dir == '/' && DirectoryExists(dir)) return dir;
    return "/tmp";
}

bool Modified(const std::string& fileName, timespec& when) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0) return true; // the load says why
    const bool changed = st.st_mtim.tv_sec != when.tv_sec || st.st_mtim.tv_nsec != when.tv_nsec;
    when = st.st_mtim;
    return changed;
}

} // namespace

THelpViewer::~THelpViewer() {
    // The viewer has long read its page; nothing of ours stays behind.
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
}

bool THelpViewer::Command(const std::string& fileName, WORD command, intptr_t data) {
    const bool isContext = data >= 1 && data <= 0x7FFFFFFF;
    switch (command) {
    case HELP_CONTEXTPOPUP: {
        const THelpTopic* topic = isContext ? File(fileName).Topic(int(data)) : nullptr;
        if (!topic) return false;
        POINT at{};
        GetCursorPos(at);
        THelpPopup::Show(*topic, at);
        return true;
    }
    case HELP_CONTEXT: {
        const THelpTopic* topic = isContext ? File(fileName).Topic(int(data)) : nullptr;
        if (!topic) return false;
        WritePages(fileName);
        Open(IncludeTrailingPathDelimiter(folder_) + PageName(topic->Context));
        return true;
    }
    case HELP_CONTENTS:
        File(fileName);
        WritePages(fileName);
        Open(IncludeTrailingPathDelimiter(folder_) + kContents);
        return true;
    case HELP_QUIT:
        return true; // the pages are the browser's; nothing of ours is open
    default:
        return false;
    }
}

const THelpFile& THelpViewer::File(const std::string& fileName) {
    timespec when = modified_;
    const bool changed = Modified(fileName, when);
    if (!file_ || fileName != fileName_ || changed) {
        file_.reset();
        file_ = std::make_unique<THelpFile>(THelpFile::Load(fileName));
        fileName_ = fileName;
        modified_ = when;
        // Pages of another file, or of the file as it was, are stale.
        if (!folder_.empty()) {
            std::error_code ignored;
            for (const auto& entry : std::filesystem::directory_iterator(folder_, ignored))
                std::filesystem::remove(entry.path(), ignored);
        }
    }
    return *file_;
}

std::string THelpViewer::PageFolder() {
    if (folder_.empty()) {
        std::string pattern = IncludeTrailingPathDelimiter(PrivateBase()) + "ardentix-help-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw Exception(Format("Cannot make a folder for the help pages (%s)", std::strerror(errno)));
        folder_ = pattern;
    }
    return folder_;
}

void THelpViewer::WritePages(const std::string& fileName) {
    const std::string folder = IncludeTrailingPathDelimiter(PageFolder());
    if (FileExists(folder + kContents)) return; // written since the file was read
    const auto save = [](const std::string& path, const std::string& text) {
        SaveFileAtomically(path, [&](TStream& s) { s.WriteBuffer(text.data(), int64_t(text.size())); }, 0600);
    };
    for (const THelpTopic& topic : file_->Topics()) save(folder + PageName(topic.Context), TopicPage(topic));
    // The contents last: its presence says the set is complete.
    save(folder + kContents, ContentsPage(*file_, fileName));
}

void THelpViewer::Open(const std::string& page) {
    std::vector<std::string> args = {kViewer, page};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (const int rc = ::posix_spawnp(&pid, kViewer, nullptr, nullptr, argv.data(), environ); rc != 0)
        throw Exception(Format("Cannot show the help page: %s could not be started (%s)", kViewer, std::strerror(rc)));
    // Nobody else waits for it: it is reaped when it ends.
    std::thread([pid] {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

std::string THelpViewer::TopicPage(const THelpTopic& topic) {
    std::string body;
    for (const std::string& p : topic.Paragraphs) body += "<p>" + Html(p) + "</p>\n";
    if (!topic.Links.empty()) {
        body += "<ul>\n";
        for (const THelpLink& link : topic.Links) {
            const std::string href = link.Topic ? PageName(link.Topic) : link.Url;
            body += "<li><a href=\"" + Html(href) + "\">" + Html(link.Label) + "</a></li>\n";
        }
        body += "</ul>\n";
    }
    body += "<p><a href=\"" + std::string(kContents) + "\">Contents</a></p>\n";
    return Page(topic.Title, body);
}

std::string THelpViewer::ContentsPage(const THelpFile& file, const std::string& fileName) {
    std::string body = "<ul>\n";
    for (const THelpTopic& topic : file.Topics())
        body += "<li><a href=\"" + PageName(topic.Context) + "\">" + Html(topic.Title) + "</a></li>\n";
    body += "</ul>\n";
    return Page(file.Title().empty() ? ExtractFileName(fileName) : file.Title(), body);
}

} // namespace ax
