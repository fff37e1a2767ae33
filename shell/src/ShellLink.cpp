// Shell links: what a symbolic link or a desktop launcher points at.
#include "shell/ShellLink.h"

#include "platform/shellns/shellops.h"
#include "rtl/sysutils.h"
#include "shell/Namespace.h"

namespace ax {

bool TShellLink::ReadLink(const WideString& linkFile) {
    FileName = linkFile;
    ShellLinkData data;
    if (!ReadShellLink(WideToUtf8(linkFile), data)) return false;
    TargetIDList.reset();
    TargetPath = Utf8ToWide(data.targetPath);
    WorkingDirectory = Utf8ToWide(data.workingDirectory);
    Arguments = Utf8ToWide(data.arguments);
    Description = Utf8ToWide(data.description);
    IconLocation = Utf8ToWide(data.iconLocation);
    IconIndex = 0;
    // A program not found on PATH or an address other than a file's names
    // no item.
    if (!data.targetPath.empty() && data.targetPath[0] == '/')
        TargetIDList.reset(PathToPIDL(TargetPath));
    HotKey = 0;
    ShowCmd = 1;
    return true;
}

} // namespace ax
