// The "wts client name" line of a report, from the session's environment.
#include "crash/vorBugReport.h"

#include "crash/vorSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace ax {
namespace {

class TerminalClient : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"SSH_CLIENT", "SSH_CONNECTION", "DISPLAY"}) {
            const char* v = std::getenv(name);
            saved[name] = v ? std::optional<std::string>(v) : std::nullopt;
            unsetenv(name);
        }
    }
    void TearDown() override {
        for (const auto& [name, value] : saved)
            if (value) setenv(name.c_str(), value->c_str(), 1);
            else unsetenv(name.c_str());
    }
    std::map<std::string, std::optional<std::string>> saved;
};

TEST_F(TerminalClient, SshNamesTheClientsAddress) {
    setenv("SSH_CONNECTION", "198.51.100.7 50022 203.0.113.1 22", 1);
    EXPECT_EQ(TerminalClientName(), "198.51.100.7");
    setenv("SSH_CLIENT", "2001:db8::5 40404 22", 1);
    EXPECT_EQ(TerminalClientName(), "2001:db8::5") << "SSH_CLIENT comes first";
    setenv("DISPLAY", "far.example.test:0", 1);
    EXPECT_EQ(TerminalClientName(), "2001:db8::5") << "an SSH session names its client, not the display";
}

TEST_F(TerminalClient, ARemoteDisplayNamesItsHost) {
    setenv("DISPLAY", "far.example.test:10.0", 1);
    EXPECT_EQ(TerminalClientName(), "far.example.test");
    setenv("DISPLAY", "tcp/192.0.2.4:0", 1);
    EXPECT_EQ(TerminalClientName(), "192.0.2.4");
}

TEST_F(TerminalClient, ALocalSessionHasNone) {
    EXPECT_EQ(TerminalClientName(), "");
    for (const char* local : {":0", ":1.0", "unix:0", "localhost:10.0", "127.0.0.1:0", "/tmp/launch/org.x:0"}) {
        setenv("DISPLAY", local, 1);
        EXPECT_EQ(TerminalClientName(), "") << local;
    }
    setenv("SSH_CLIENT", "   ", 1);
    setenv("DISPLAY", ":0", 1);
    EXPECT_EQ(TerminalClientName(), "");
}

TEST_F(TerminalClient, TheLineFollowsTheComputerName) {
    setenv("SSH_CLIENT", "198.51.100.7 50022 22", 1);
    TBugReportInput in;
    in.Frozen = true;
    std::string report = GetBugReport(in);
    const auto computer = report.find("\r\ncomputer name     : ");
    ASSERT_NE(computer, std::string::npos) << report;
    const auto next = report.find("\r\n", computer + 2);
    EXPECT_EQ(report.substr(next, 36), "\r\nwts client name   : 198.51.100.7\r\n") << report.substr(0, 400);
    unsetenv("SSH_CLIENT");
    EXPECT_EQ(GetReportHeader(in).find("wts client name"), std::string::npos) << "a local session has no line";
}

} // namespace
} // namespace ax
