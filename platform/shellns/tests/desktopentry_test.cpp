// Desktop launchers read from hand-written files, good and hostile, and the
// shell links made of them.
#include "platform/shellns/desktopentry.h"
#include "platform/shellns/shellops.h"
#include "rtl/sysutils.h"
#include "shellns_fixture.h"

#include <gtest/gtest.h>

using namespace ax;

namespace {

using Args = std::vector<std::string>;

// A launcher as one line: the command's words between bars, then the
// other fields.
std::string Shape(const DesktopLauncher& l) {
    std::string s;
    for (const std::string& word : l.command) s += word + "|";
    return s + " url=" + l.url + " comment=" + l.comment + " icon=" + l.icon + " path=" + l.path;
}

TEST(DesktopLauncher, WellFormedLaunchersGiveTheirCommandAndFields) {
    const std::pair<std::string, std::string> cases[] = {
        {"[Desktop Entry]\nType=Application\nExec=gimp %U\nComment=Edit\nIcon=gimp\n",
         "gimp| url= comment=Edit icon=gimp path="},
        {"[Desktop Entry]\nType=Application\nExec=p %f %F %u %U %i %c %k a%fb %d%D%n%N%v%m\n",
         "p|ab| url= comment= icon= path="},
        {"[Desktop Entry]\nType=Application\nExec=printf 100%%\n", "printf|100%| url= comment= icon= path="},
        // Quotes group; inside them a backslash (written twice in the file,
        // for the value's own escape) takes the next character as it is.
        {"[Desktop Entry]\nType=Application\nExec=\"/opt/my app/run\" \"say \\\\\"hi\\\\\"\" \"\\\\$HOME\"\n",
         "/opt/my app/run|say \"hi\"|$HOME| url= comment= icon= path="},
        // Four backslashes in the file are one in the argument.
        {"[Desktop Entry]\nType=Application\nExec=x \"a\\\\\\\\b\"\n", "x|a\\b| url= comment= icon= path="},
        {"[Desktop Entry]\nType=Application\nExec=x\\sy\nComment=one\\ntwo\\ttab\n",
         "x|y| url= comment=one\ntwo\ttab icon= path="},
        // Blanks around "=", CRLF line ends, comments and empty lines.
        {"# made by hand\r\n\r\n[Desktop Entry]\r\nType = Application\r\nExec =  run  -v \r\nPath=/srv\r\n",
         "run|-v| url= comment= icon= path=/srv"},
        // A localised key is not the plain one.
        {"[Desktop Entry]\nType=Application\nExec=e\nComment[de]=Bearbeiten\nComment=Edit\n",
         "e| url= comment=Edit icon= path="},
        // Other groups are skipped.
        {"[Desktop Entry]\nType=Application\nExec=a\n[Desktop Action new]\nExec=b --new\nName=New\n",
         "a| url= comment= icon= path="},
        {"[Desktop Entry]\nType=Link\nURL=https://example.org/x\nIcon=web\n",
         " url=https://example.org/x comment= icon=web path="},
    };
    for (const auto& [text, shape] : cases) {
        DesktopLauncher l;
        ASSERT_TRUE(ReadDesktopLauncher(text, l)) << text;
        EXPECT_EQ(Shape(l), shape) << text;
    }
}

TEST(DesktopLauncher, HostileOrBrokenFilesAreRefused) {
    const std::string huge(kMaxLauncherSize, 'a');
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"no group", "Type=Application\nExec=x\n"},
        {"other group only", "[Desktop Action a]\nType=Application\nExec=x\n"},
        {"key before the group", "Exec=y\n[Desktop Entry]\nType=Application\nExec=x\n"},
        {"main group twice", "[Desktop Entry]\nType=Application\nExec=x\n[Desktop Entry]\nExec=y\n"},
        {"key twice", "[Desktop Entry]\nType=Application\nExec=x\nExec=rm -rf ~\n"},
        {"no type", "[Desktop Entry]\nExec=x\n"},
        {"a directory entry", "[Desktop Entry]\nType=Directory\nName=x\n"},
        {"no exec", "[Desktop Entry]\nType=Application\n"},
        {"exec only codes", "[Desktop Entry]\nType=Application\nExec=%U\n"},
        {"unterminated quote", "[Desktop Entry]\nType=Application\nExec=\"x y\n"},
        {"quote open at the end", "[Desktop Entry]\nType=Application\nExec=x \"\n"},
        {"bad escape in quotes", "[Desktop Entry]\nType=Application\nExec=\"x\\q\"\n"},
        {"backslash ends quotes", "[Desktop Entry]\nType=Application\nExec=\"x\\\n"},
        {"unknown field code", "[Desktop Entry]\nType=Application\nExec=x %z\n"},
        {"lone % at the end", "[Desktop Entry]\nType=Application\nExec=x 5%\n"},
        {"link without address", "[Desktop Entry]\nType=Link\n"},
        {"line of no form", "[Desktop Entry]\nType=Application\nExec=x\njust words\n"},
        {"bad key", "[Desktop Entry]\nType=Application\nExe c=x\n"},
        {"bad locale", "[Desktop Entry]\nType=Application\nExec=x\nName[=y\n"},
        {"header not closed", "[Desktop Entry\nType=Application\nExec=x\n"},
        {"brackets in a group name", "[Desk[top]\n[Desktop Entry]\nType=Application\nExec=x\n"},
        {"NUL byte", std::string("[Desktop Entry]\nType=Application\nExec=x\0y\n", 40)},
        {"control byte", "[Desktop Entry]\nType=Application\nExec=x\x01y\n"},
        {"binary", std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10)},
        {"too large", "[Desktop Entry]\nType=Application\nExec=x\nComment=" + huge + "\n"},
    };
    for (const auto& [what, text] : cases) {
        DesktopLauncher l;
        l.comment = "untouched";
        EXPECT_FALSE(ReadDesktopLauncher(text, l)) << what;
        EXPECT_EQ(l.comment, "untouched") << what << ": a refused file changed the result";
    }
}

TEST(DesktopLauncher, HugeLinesAndOddBytesWithinTheLimitStaySane) {
    // One long line, under the size limit: read whole.
    const std::string arg(100000, 'q');
    DesktopLauncher l;
    ASSERT_TRUE(ReadDesktopLauncher("[Desktop Entry]\nType=Application\nExec=x " + arg + "\n", l));
    EXPECT_EQ(l.command, (Args{"x", arg}));
    // Bytes that are no UTF-8 travel as they are (file names may hold them).
    ASSERT_TRUE(ReadDesktopLauncher("[Desktop Entry]\nType=Application\nExec=/opt/\xff\xfe\n", l));
    EXPECT_EQ(l.command, (Args{"/opt/\xff\xfe"}));
    // A backslash at the very end of a value, and an unknown value escape,
    // stay as written.
    ASSERT_TRUE(ReadDesktopLauncher("[Desktop Entry]\nType=Application\nExec=x\nComment=a\\q b\\\n", l));
    EXPECT_EQ(l.comment, "a\\q b\\");
    // No newline at the end of the file.
    ASSERT_TRUE(ReadDesktopLauncher("[Desktop Entry]\nType=Application\nExec=last", l));
    EXPECT_EQ(l.command, (Args{"last"}));
}

TEST(DesktopLauncher, LauncherNamesEndInDotDesktop) {
    EXPECT_TRUE(IsLauncherName("gimp.desktop"));
    EXPECT_FALSE(IsLauncherName(".desktop"));
    EXPECT_FALSE(IsLauncherName("gimp.Desktop"));
    EXPECT_FALSE(IsLauncherName("gimp.desktop~"));
}

TEST(JoinParameters, SplittingTheJoinedTextGivesTheArgumentsBack) {
    const Args cases[] = {
        {"plain", "two words", ""},
        {"a\"quote", "ends in \\", "back\\slash", "\\\"", "tab\there"},
        {"trailing\\", "x\\ y\\\\"},
        {},
    };
    for (const Args& args : cases) EXPECT_EQ(SplitParameters(JoinParameters(args)), args) << JoinParameters(args);
}

class LauncherLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = ::testing::TempDir() + "axlauncher" + std::to_string(getpid());
        ASSERT_TRUE(ForceDirectories(dir + "/bin"));
        ASSERT_TRUE(ForceDirectories(dir + "/my docs"));
        Write(dir + "/bin/tool", "#!/bin/sh\n");
        chmod((dir + "/bin/tool").c_str(), 0755);
        savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", ("relative:" + dir + "/bin:/nonexistent").c_str(), 1);
    }
    void TearDown() override {
        setenv("PATH", savedPath.c_str(), 1);
        ax::testing::RemoveTreeAt(AT_FDCWD, dir.c_str());
    }
    static void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
    std::string dir, savedPath;
};

TEST_F(LauncherLinkTest, ALauncherIsReadAsAShellLink) {
    Write(dir + "/tool.desktop", "[Desktop Entry]\nType=Application\nExec=tool --open \"a b\" %F\n"
                                 "Comment=Opens things\nIcon=tool-icon\nPath=/tmp\n");
    ShellLinkData d;
    ASSERT_TRUE(ReadShellLink(dir + "/tool.desktop", d));
    EXPECT_EQ(d.targetPath, dir + "/bin/tool") << "found on PATH";
    EXPECT_EQ(SplitParameters(d.arguments), (Args{"--open", "a b"}));
    EXPECT_EQ(d.description, "Opens things");
    EXPECT_EQ(d.iconLocation, "tool-icon");
    EXPECT_EQ(d.workingDirectory, "/tmp");

    // Not on PATH: the bare name stays.
    Write(dir + "/gone.desktop", "[Desktop Entry]\nType=Application\nExec=no-such-tool\n");
    ASSERT_TRUE(ReadShellLink(dir + "/gone.desktop", d));
    EXPECT_EQ(d.targetPath, "no-such-tool");
    EXPECT_EQ(d.arguments, "");

    // A link to a folder by its file address, escapes decoded.
    Write(dir + "/docs.desktop", "[Desktop Entry]\nType=Link\nURL=file://" + dir + "/my%20docs\n");
    ASSERT_TRUE(ReadShellLink(dir + "/docs.desktop", d));
    EXPECT_EQ(d.targetPath, dir + "/my docs");
    // An address that is no local file's stays an address.
    Write(dir + "/web.desktop", "[Desktop Entry]\nType=Link\nURL=file://host/x%zz\n");
    ASSERT_TRUE(ReadShellLink(dir + "/web.desktop", d));
    EXPECT_EQ(d.targetPath, "file://host/x%zz");
}

TEST_F(LauncherLinkTest, WhatIsNoLauncherFileIsNoLink) {
    const std::string text = "[Desktop Entry]\nType=Application\nExec=tool\n";
    Write(dir + "/tool.txt", text);
    ShellLinkData d;
    EXPECT_FALSE(ReadShellLink(dir + "/tool.txt", d)) << "the name decides, not the text";
    ASSERT_TRUE(ForceDirectories(dir + "/folder.desktop"));
    EXPECT_FALSE(ReadShellLink(dir + "/folder.desktop", d));
    Write(dir + "/broken.desktop", "[Desktop Entry]\nExec=tool\n");
    EXPECT_FALSE(ReadShellLink(dir + "/broken.desktop", d));
    ASSERT_EQ(mkfifo((dir + "/pipe.desktop").c_str(), 0600), 0);
    EXPECT_FALSE(ReadShellLink(dir + "/pipe.desktop", d)) << "a pipe is never read";
    // Grown beyond any launcher.
    Write(dir + "/big.desktop", text + "Comment=" + std::string(kMaxLauncherSize, 'x') + "\n");
    EXPECT_FALSE(ReadShellLink(dir + "/big.desktop", d));
    // A symbolic link named like a launcher is read as the link it is.
    ASSERT_EQ(symlink("bin/tool", (dir + "/sym.desktop").c_str()), 0);
    ASSERT_TRUE(ReadShellLink(dir + "/sym.desktop", d));
    EXPECT_EQ(d.targetPath, dir + "/bin/tool");
}

} // namespace
