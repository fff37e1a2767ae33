#pragma once
// The platform's folder browser: SHBrowseForFolderA with the BROWSEINFOA
// record, its flags, and the messages between the browser and the caller's
// callback, with their Windows values.
//
// The browser itself is a dialog of the shell layer (a tree of the shell
// namespace), which stands above this one: it installs itself with
// SetFolderBrowser. Until one is installed SHBrowseForFolderA answers
// nothing, as a cancelled browser does.
#include "platform/shellns/pidl.h"
#include "platform/window/constants.h"
#include "platform/window/types.h"

namespace ax {

// The size of a display-name buffer, terminator included.
inline constexpr int MAX_PATH = 260;

// Flags (ulFlags).
inline constexpr UINT BIF_RETURNONLYFSDIRS = 0x0001, BIF_DONTGOBELOWDOMAIN = 0x0002, BIF_STATUSTEXT = 0x0004,
                      BIF_RETURNFSANCESTORS = 0x0008, BIF_BROWSEFORCOMPUTER = 0x1000,
                      BIF_BROWSEFORPRINTER = 0x2000, BIF_BROWSEINCLUDEFILES = 0x4000;

// What the browser tells the callback: the browser is up (lParam 0), the
// selection changed (lParam: the absolute PIDL of the new selection, the
// browser's, valid during the call).
inline constexpr UINT BFFM_INITIALIZED = 1, BFFM_SELCHANGED = 2;
// What the callback may send the browser window: the status text (lParam:
// a zero-terminated text), OK enabled or not (lParam: nonzero enables), the
// selection (wParam TRUE: lParam is a zero-terminated path; FALSE: an
// absolute PIDL).
inline constexpr UINT BFFM_SETSTATUSTEXTA = WM_USER + 100, BFFM_ENABLEOK = WM_USER + 101,
                      BFFM_SETSELECTIONA = WM_USER + 102;

// window: the browser's; data: the record's lParam. Answers 0.
using BFFCALLBACK = int (*)(HWND window, UINT message, LPARAM lParam, LPARAM data);

struct BROWSEINFOA {
    // The browser's owner; none or an unknown one gives the application's
    // main form.
    HWND hwndOwner = nullptr;
    // The top of what is shown (absolute); none: the desktop.
    PCItemIDList pidlRoot = nullptr;
    // Out: the chosen item's display name, at most MAX_PATH bytes with the
    // terminator (none: not written).
    char* pszDisplayName = nullptr;
    // Text above the tree; none for no text.
    const char* lpszTitle = nullptr;
    UINT ulFlags = 0;
    BFFCALLBACK lpfn = nullptr;
    LPARAM lParam = 0;
    // Out: the chosen item's system icon index.
    int iImage = 0;
};

// Runs the browser modally on the calling (GUI) thread. The chosen item's
// absolute PIDL, from the task allocator and the caller's to free; nullptr
// when the user cancelled, or without a record, an application or an
// installed browser.
PItemIDList SHBrowseForFolderA(BROWSEINFOA* info);

using TFolderBrowserFunction = PItemIDList (*)(BROWSEINFOA* info);
// Installs the browser (nullptr removes it).
void SetFolderBrowser(TFolderBrowserFunction browser);
TFolderBrowserFunction FolderBrowser();

} // namespace ax
