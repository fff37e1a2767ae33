#include "crash/vorExceptBox.h"

#include "crash/vorBugReport.h"
#include "crash/vorSettings.h"

#include <unistd.h>

namespace ax {

namespace {

void WriteOutTo(int fd, const std::string& text) {
    const char* at = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, at, left);
        if (n <= 0) return;
        at += n;
        left -= static_cast<std::size_t>(n);
    }
}

} // namespace

void ShowExceptionDialog(bool, bool frozen, const std::string& report, const std::string& exceptMessage) {
    const VorSettings& settings = ReporterSettings();
    if (ReporterRuntime().ConsoleProgram && settings.ConsoleOutput) {
        std::string text = ExpandPlaceholders(frozen ? settings.FrozenText.str() : settings.BoxText.str(), exceptMessage);
        text += "\r\n";
        if (settings.ShowReportAtOnce || !settings.ShowButtonCaption.empty()) text += "\r\n" + report + "\r\n";
        WriteOutTo(1, text);
        return;
    }
}

void ShowReporterMessage(std::uintptr_t, const std::string& text, const std::string& caption) {
    WriteOutTo(2, caption + ": " + text + "\n");
}

} // namespace ax
