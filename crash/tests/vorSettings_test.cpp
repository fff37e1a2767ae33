#include "crash/vorSettings.h"

#include <gtest/gtest.h>

namespace ax {
namespace {

TEST(VorSettings, BuiltInDefaults) {
    VorSettings s;
    EXPECT_TRUE(s.ReporterEnabled[0] && s.ReporterEnabled[1] && s.InterceptionEnabled());
    EXPECT_TRUE(s.AutoShowBox && s.PauseRunningThreads && s.AutoSaveReport);
    EXPECT_FALSE(s.AutoMailReport || s.CopyReportToClipboard || s.AutoContinue);
    EXPECT_EQ(s.AutoRestartSeconds, 0);
    EXPECT_EQ(s.AutoCloseSeconds, 60);
    EXPECT_EQ(s.AutoActionCountdown, 60);
    EXPECT_EQ(s.MailSubject.str(), "bug report");
    EXPECT_FALSE(s.MailRecipient.empty());
    EXPECT_FALSE(s.AttachReportFile || s.AttachTempCopy || s.MailDirect || s.MailViaSmtpServer);
    EXPECT_TRUE(s.MailViaMapi && s.MailViaMailto);
    EXPECT_EQ(s.ScreenshotDepth, 0);
    EXPECT_TRUE(s.SmtpServer.empty() && s.SmtpAccount.empty() && s.SmtpPassword.empty());
    EXPECT_EQ(s.SmtpPort, 25);
    EXPECT_EQ(s.MailSuccessText.str(), "The mail was sent successfully.");
    EXPECT_EQ(s.MailFailureText.str(), "Sorry, sending the mail didn't work.");
    EXPECT_EQ(s.BugReportFile.str(), "bugreport.txt");
    EXPECT_EQ(s.BugReportFileMaxSize, 0);
    EXPECT_EQ(s.BoxTitle.str(), "%appname%");
    EXPECT_EQ(s.BoxText.str(), "An error occurred in the application.");
    EXPECT_EQ(s.FrozenText.str(), "The application seems to be frozen.");
    EXPECT_EQ(s.MailButtonCaption.str(), "mail bug report");
    EXPECT_EQ(s.SaveButtonCaption.str(), "save bug report");
    EXPECT_TRUE(s.PrintButtonCaption.empty());
    EXPECT_EQ(s.ShowButtonCaption.str(), "show bug report");
    EXPECT_EQ(s.ContinueButtonCaption.str(), "continue application");
    EXPECT_EQ(s.RestartButtonCaption.str(), "restart application");
    EXPECT_EQ(s.CloseButtonCaption.str(), "close application");
    EXPECT_FALSE(s.ShowReportAtOnce || s.ReportAllThreads || s.ListModules || s.ListHardware);
    EXPECT_FALSE(s.HideItemsWithoutLine || s.ShowRelativeLines || s.PlainStackTrace);
    EXPECT_TRUE(s.ShowRelativeAddresses);
    EXPECT_FALSE(s.DisasmOption);
    EXPECT_EQ(s.DisasmCount, 5);
    EXPECT_TRUE(s.ShowCommandLine && s.ButtonFeedback && s.ConsoleOutput);
    EXPECT_FALSE(s.ResetFpuAfterReport);
    EXPECT_EQ(s.FreezeTimeout, 0);
    EXPECT_FALSE(s.HasFreezeWatchdog());
}

TEST(VorSettings, TextsAreCutToTheirCapacity) {
    VorSettings s;
    s.MailButtonCaption = std::string(40, 'x');
    EXPECT_EQ(s.MailButtonCaption.str(), std::string(30, 'x'));
    s.BugReportFile = std::string(300, 'y');
    EXPECT_EQ(s.BugReportFile.str().size(), 255u);
    s.SmtpPassword = "short";
    EXPECT_EQ(s.SmtpPassword.str(), "short");
}

TEST(VorSettings, ButtonsAndWatchdogFollowTheirSettings) {
    VorSettings s;
    EXPECT_FALSE(s.HasPrintButton());
    EXPECT_TRUE(s.HasShowButton());
    s.PrintButtonCaption = "print bug report";
    s.ShowReportAtOnce = true;
    s.FreezeTimeout = 5000;
    EXPECT_TRUE(s.HasPrintButton());
    EXPECT_FALSE(s.HasShowButton());
    EXPECT_TRUE(s.HasFreezeWatchdog());
    s.ReporterEnabled[1] = false;
    EXPECT_FALSE(s.InterceptionEnabled());
}

TEST(VorSettings, ProcessBlockStartsWithTheDefaults) {
    EXPECT_EQ(ReporterSettings().BugReportFile.str(), "bugreport.txt");
    EXPECT_EQ(ReporterRuntime().AutoAction, VorAutoAction::None);
    EXPECT_TRUE(ReporterRuntime().ExemptExceptionClasses.empty());
}

} // namespace
} // namespace ax
