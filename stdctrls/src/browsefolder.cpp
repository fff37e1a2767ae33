// SHBrowseForFolderA: hands the record to the installed browser.
#include "stdctrls/browsefolder.h"

#include <atomic>

#include "framework/forms.h"

namespace ax {

namespace {
std::atomic<TFolderBrowserFunction> installed{nullptr};
} // namespace

PItemIDList SHBrowseForFolderA(BROWSEINFOA* info) {
    const TFolderBrowserFunction browser = installed.load();
    if (!info || !browser || !Application()) return nullptr;
    return browser(info);
}

void SetFolderBrowser(TFolderBrowserFunction browser) { installed = browser; }

TFolderBrowserFunction FolderBrowser() { return installed.load(); }

} // namespace ax
