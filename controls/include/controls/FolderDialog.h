#pragma once
// The folder browse dialog component: Execute runs the platform's folder
// browser (SHBrowseForFolderA, stdctrls/browsefolder.h) rooted at a
// special folder, and Directory is the folder the user picked. Besides the
// browser's own options it centres the browser on the screen or on its
// parent, shows the selected path in the status line, and carries one
// extra control cloned from a button, check box or radio button of the
// form.
//
// The browser is the shell layer's, which that layer installs; the
// component talks to it only through the browser's record, callback and
// messages.
#include <initializer_list>
#include <memory>

#include "stdctrls/browsefolder.h"
#include "stdctrls/button.h"
#include "stdctrls/dialogs.h"

namespace ax {

// The first seven are the browser's own flags, in the order of their BIF_
// values; the rest are the component's.
enum TFolderDialogOption : unsigned {
    bfFileSysDirsOnly, bfDontGoBelowDomain, bfStatusText, bfFileSysAncestors, bfBrowseForComputer,
    bfBrowseForPrinter, bfBrowseIncludeFiles, bfShowPathInStatusArea, bfSyncCustomButton,
    bfAlignCustomButton, bfScreenCenter, bfParentCenter, bfResizeCustomButton
};
// A set of TFolderDialogOption: bit (1 << option).
using TFolderDialogOptions = unsigned;
constexpr TFolderDialogOptions FolderDialogOptions(std::initializer_list<TFolderDialogOption> options) {
    TFolderDialogOptions set = 0;
    for (TFolderDialogOption o : options) set |= 1u << o;
    return set;
}
// The browser's flags of a set (BIF_RETURNONLYFSDIRS ... BIF_BROWSEINCLUDEFILES).
UINT FolderDialogFlags(TFolderDialogOptions options);

// The root of the browser; each but the first names a special folder.
enum TShellFolder : uint8_t {
    sfoDesktopExpanded, sfoDesktop, sfoPrograms, sfoControlPanel, sfoPrinters, sfoPersonal, sfoFavorites,
    sfoStartup, sfoRecent, sfoSendto, sfoRecycleBin, sfoStartMenu, sfoDesktopDirectory, sfoMyComputer,
    sfoNetwork, sfoNetworkNeighborhood, sfoFonts, sfoTemplates, sfoCommonStartMenu, sfoCommonPrograms,
    sfoCommonStartup, sfoCommonDesktopDirectory, sfoAppData, sfoPrintHood
};
// The special-folder id (CSIDL) of a root; -1 for sfoDesktopExpanded.
int ShellFolderToCSIDL(TShellFolder folder);

// Fits a status text into width pixels of font, as the browser's status
// line shows it: one character's room ("W") is left at the end, and what
// does not fit gives way to "..." (in the middle of a path with
// pathEllipsis, else at the end). The text that fits comes back whole.
AnsiString FitStatusText(const AnsiString& text, HFONT font, int width, bool pathEllipsis);

class TFolderDialog : public TCommonDialog {
public:
    explicit TFolderDialog(TComponent* owner);
    // Closes a browser that is still open.
    ~TFolderDialog() override;
    AnsiString ClassName() const override { return "TFolderDialog"; }
    void DefinePublished(TFiler& filer) override;
    void Notification(TComponent* component, TOperation operation) override;
    // True when the user chose an item (Directory is its path, empty for an
    // item that is no folder on the disk); false when cancelled (Directory
    // empty).
    bool Execute() override;
    void SetCtl3D(bool) override {}

    // The browser window's position; while it is open, where it is.
    int Top() const;
    void SetTop(int value);
    int Left() const;
    void SetLeft(int value);
    const AnsiString& Title() const { return title_; }
    void SetTitle(const AnsiString& value) { title_ = value; }
    // While the browser is open, the path of its selection.
    AnsiString Directory() const;
    // A folder that exists becomes the selection (of the open browser at
    // once); any other value is only stored.
    void SetDirectory(const AnsiString& value);
    // The status text, shown at once while the browser is open.
    const AnsiString& Text() const { return text_; }
    void SetText(const AnsiString& value);
    TFolderDialogOptions Options() const { return options_; }
    void SetOptions(TFolderDialogOptions value);
    TShellFolder RootFolder() const { return rootFolder_; }
    void SetRootFolder(TShellFolder value);
    TButtonControl* CustomButton() const { return customButton_; }
    void SetCustomButton(TButtonControl* value);

    // The root's PIDL; null for sfoDesktopExpanded or a folder that does
    // not exist here.
    PCItemIDList RootPIDL() const { return root_.get(); }
    // What Execute last chose: the item, its display name and icon index.
    PCItemIDList Selection() const { return result_.get(); }
    const AnsiString& DisplayName() const { return displayName_; }
    int ImageIndex() const { return imageIndex_; }
    // The attributes (SFGAO) of the browser's selection; 0 after a cancel.
    uint32_t SelectionAttributes() const { return attributes_; }
    // The clone of CustomButton while the browser is open.
    TButtonControl* CustomButtonClone() const { return clone_.get(); }

    // The selection changed to a folder on the disk.
    TNotifyEvent OnChange;

private:
    static int BrowseCallback(HWND window, UINT message, LPARAM lParam, LPARAM data);
    void Initialized(HWND window);
    void SelectionChanged(PCItemIDList pidl);
    void SetStatusText(const AnsiString& text);
    void MakeClone();
    void CloneClicked();
    void Centre();
    void BrowserClosing();
    HWND OwnerWindow() const;

    AnsiString title_ = "Browse for Folder";
    AnsiString directory_;
    AnsiString text_;
    AnsiString selectionPath_; // of the open browser's selection
    TFolderDialogOptions options_;
    TShellFolder rootFolder_ = sfoDesktopExpanded;
    TButtonControl* customButton_ = nullptr;
    int top_ = 0, left_ = 0;
    UniquePIDL root_;
    UniquePIDL initial_;
    UniquePIDL result_;
    AnsiString displayName_;
    int imageIndex_ = 0;
    uint32_t attributes_ = 0;
    std::unique_ptr<TButtonControl> clone_;
};

} // namespace ax
