#pragma once
// The application's help once its OnHelp hook has left a command to it:
// the help file is read when first needed (and again when it changed), a
// pop-up topic shows at the pointer, and every other topic, and the
// contents, open as pages in the desktop's browser or viewer (xdg-open on
// PATH). The pages are written to a private folder that goes with the
// viewer. GUI thread only.
#include <sys/types.h>

#include <ctime>
#include <memory>
#include <string>

#include "framework/helpfile.h"
#include "platform/window/types.h"

namespace ax {

class THelpViewer {
public:
    THelpViewer() = default;
    ~THelpViewer();
    THelpViewer(const THelpViewer&) = delete;
    THelpViewer& operator=(const THelpViewer&) = delete;

    // Runs a help command on the file; true when help was given. A file
    // that cannot be read or is not a help file, and a viewer that cannot
    // be started, raise with the reason.
    bool Command(const std::string& fileName, WORD command, intptr_t data);

    // The page of a topic and the contents page as written for the viewer.
    static std::string TopicPage(const THelpTopic& topic);
    static std::string ContentsPage(const THelpFile& file, const std::string& fileName);

private:
    const THelpFile& File(const std::string& fileName);
    std::string PageFolder();
    void WritePages(const std::string& fileName);
    void Open(const std::string& page);

    std::unique_ptr<THelpFile> file_;
    std::string fileName_;
    timespec modified_{};
    std::string folder_; // the pages; made on first use
};

} // namespace ax
