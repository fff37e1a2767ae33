// The shell model's start-up and shut-down, and the views' date texts and
// placeholder icons.
#include "shell/ShellUtilities.h"

#include "rtl/sysutils.h"
#include "shell/Namespace.h"

namespace ax {

WideString FileTimeToDateTimeStr(const FILETIME& time) {
    double value = 0;
    if (!FileTimeToLocalDateTime(time, value)) return {};
    return Utf8ToWide(DateTimeToStr(value));
}

int DefaultSystemImageIndex(int kind) {
    // The placeholders are fixed places every icon provider keeps (the
    // namespace's headless indices and the system lists alike). Asking the
    // provider instead would read their pictures on the GUI thread, which
    // shows placeholders precisely so as not to wait for a picture.
    switch (kind) {
    case 0:
        return 3;
    case 1:
        return 4;
    case 2:
        return 0;
    case 3:
        return 29;
    case 4: {
        if (!DesktopFolder()) return DefaultSystemImageIndex(0);
        PItemIDList pidl = nullptr;
        ShellFolderPtr desktop = DesktopFolder()->ShellFolder();
        if (!desktop ||
            FAILED(desktop->ParseDisplayName("::{documents}", &pidl)))
            return DefaultSystemImageIndex(0);
        TNamespace docs(UniquePIDL(pidl), DesktopFolder());
        return docs.GetIconIndex(false, 0);
    }
    default:
        return -1;
    }
}

namespace {
TShellClipboardFormats g_clipboardFormats;
} // namespace

const TShellClipboardFormats& ShellClipboardFormats() {
    return g_clipboardFormats;
}

void ShellUtilitiesInitialize() {
    auto reg = [](std::string_view name) { return uint16_t(RegisterClipboardFormat(name)); };
    g_clipboardFormats.ShellIDList = reg("Shell IDList Array");
    g_clipboardFormats.LogicalPerformedDropEffect = reg("Logical Performed DropEffect");
    g_clipboardFormats.PreferredDropEffect = reg("Preferred DropEffect");
    g_clipboardFormats.FileContents = reg("FileContents");
    g_clipboardFormats.FileGroupDescriptor = reg("FileGroupDescriptor");
    g_clipboardFormats.FileGroupDescriptorW = reg("FileGroupDescriptorW");
    CreateSpecialFolders();
}

void ShellUtilitiesFinalize() {
    FreeSpecialFolders();
}

} // namespace ax
