#pragma once
// The reporter's settings block: fixed when the program is built and read
// by every part of the crash reporter. Texts have a fixed capacity and are
// cut to it, as the stored form of each text is a length byte and room for
// that many characters.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ax {

template <std::size_t Capacity> class ShortText {
public:
    ShortText() = default;
    ShortText(std::string_view text) { assign(text); }
    ShortText& operator=(std::string_view text) {
        assign(text);
        return *this;
    }
    const std::string& str() const { return text_; }
    operator const std::string&() const { return text_; }
    bool empty() const { return text_.empty(); }
    static constexpr std::size_t capacity() { return Capacity; }

private:
    void assign(std::string_view text) { text_.assign(text.substr(0, Capacity)); }
    std::string text_;
};

// Automatic actions of the exception box.
enum class VorAutoAction : std::uint8_t { None = 0, Continue = 4, Restart = 5, Close = 6 };

struct VorSettings {
    bool ReporterEnabled[2] = {true, true};
    bool AutoShowBox = true;
    bool PauseRunningThreads = true;
    bool AutoSaveReport = true;
    bool AutoMailReport = false;
    bool CopyReportToClipboard = false;
    bool AutoContinue = false;
    std::int32_t AutoRestartSeconds = 0;
    std::int32_t AutoCloseSeconds = 60;
    std::int32_t AutoActionCountdown = 60;
    ShortText<75> MailRecipient{"support@ardentix.example"};
    ShortText<50> MailSubject{"bug report"};
    bool AttachReportFile = false;
    bool AttachTempCopy = false;
    std::int32_t ScreenshotDepth = 0;
    bool MailDirect = false;
    bool MailViaSmtpServer = false;
    bool MailViaMapi = true;
    bool MailViaMailto = true;
    ShortText<50> SmtpServer;
    std::int32_t SmtpPort = 25;
    ShortText<50> SmtpAccount;
    ShortText<75> SmtpPassword;
    ShortText<200> MailSuccessText{"The mail was sent successfully."};
    ShortText<200> MailFailureText{"Sorry, sending the mail didn't work."};
    ShortText<255> BugReportFile{"bugreport.txt"};
    std::int32_t BugReportFileMaxSize = 0;
    ShortText<100> BoxTitle{"%appname%"};
    ShortText<255> BoxText{"An error occurred in the application."};
    ShortText<255> FrozenText{"The application seems to be frozen."};
    ShortText<30> MailButtonCaption{"mail bug report"};
    ShortText<30> SaveButtonCaption{"save bug report"};
    ShortText<30> PrintButtonCaption;
    ShortText<30> ShowButtonCaption{"show bug report"};
    ShortText<30> ContinueButtonCaption{"continue application"};
    ShortText<30> RestartButtonCaption{"restart application"};
    ShortText<30> CloseButtonCaption{"close application"};
    bool ShowReportAtOnce = false;
    bool ReportAllThreads = false;
    bool ListModules = false;
    bool ListHardware = false;
    bool HideItemsWithoutLine = false;
    bool ShowRelativeAddresses = true;
    bool ShowRelativeLines = false;
    bool PlainStackTrace = false;
    bool DisasmOption = false;
    std::int32_t DisasmCount = 5;
    bool ShowCommandLine = true;
    bool ButtonFeedback = true;
    bool ConsoleOutput = true;
    bool ResetFpuAfterReport = false;
    std::int32_t FreezeTimeout = 0;

    // Both enable flags must be on for faults to be intercepted.
    bool InterceptionEnabled() const { return ReporterEnabled[0] && ReporterEnabled[1]; }
    bool HasPrintButton() const { return !PrintButtonCaption.empty(); }
    bool HasShowButton() const { return !ShowReportAtOnce; }
    bool HasFreezeWatchdog() const { return FreezeTimeout > 0; }
};

// Lists a function's code into text; the function disassembler installs it.
using VorDisasmHook = std::function<bool(std::uintptr_t address, std::string& text,
                                         std::uintptr_t exceptAddress, bool option, int count)>;

// Values kept beside the settings while the program runs.
struct VorRuntimeValues {
    std::uint64_t MainThreadId = 0;
    std::string SenderAddress;
    std::vector<std::string> ExtraAttachments;
    std::vector<std::string> ExemptExceptionClasses;
    std::function<std::string()> VersionTextHook;
    std::function<std::string(int depth)> ScreenshotHook;
    VorDisasmHook DisasmHook;
    VorAutoAction AutoAction = VorAutoAction::None;
    bool WebModule = false;
    // A program without windows: the box becomes text on standard output
    // (with ConsoleOutput on).
    bool ConsoleProgram = false;
    // Routine offsets relative to the module base, made addresses at installation.
    std::vector<std::uintptr_t> PatchTargets;
};

// The process's settings and run-time values; built-in defaults until changed.
VorSettings& ReporterSettings();
VorRuntimeValues& ReporterRuntime();

} // namespace ax
