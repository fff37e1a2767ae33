// The printers folder over a private print scheduler: its printers are the
// ones the print system's own tools list, each with its state.
#include "private_cups.h"
#include "platform/shellns/pidl.h"
#include "platform/shellns/shellapi.h"
#include "shellns_fixture.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace ax;

namespace {

struct Owned {
    PItemIDList p = nullptr;
    ~Owned() {
        IMalloc* m = nullptr;
        SHGetMalloc(&m);
        m->Free(p);
    }
};

class PrintersFolder : public ax::testing::TempHome {
protected:
    void SetUp() override {
        TempHome::SetUp();
        const std::string why = test::PrivateCupsUnavailable();
        if (!why.empty()) GTEST_SKIP() << why;
        std::string error;
        ASSERT_TRUE(cups.Start(&error)) << error;
        started = true;
    }
    void TearDown() override {
        if (started) cups.Stop();
        TempHome::TearDown();
    }
    // Each printer's name and status, as the folder lists them.
    std::vector<std::pair<std::string, std::string>> Listed() {
        Owned root;
        EXPECT_EQ(SHGetSpecialFolderLocation(CSIDL_PRINTERS, &root.p), S_OK);
        ShellFolderPtr desktop, folder;
        SHGetDesktopFolder(&desktop);
        EXPECT_EQ(desktop->BindToObject(root.p, &folder), S_OK);
        std::vector<std::pair<std::string, std::string>> out;
        if (!folder) return out;
        std::unique_ptr<IEnumIDList> list;
        EXPECT_EQ(folder->EnumObjects(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &list), S_OK);
        auto details = std::dynamic_pointer_cast<IShellFolder2>(folder);
        for (;;) {
            Owned child;
            if (list->Next(&child.p) != S_OK) break;
            std::string name;
            folder->GetDisplayNameOf(child.p, SHGDN_INFOLDER, &name);
            SHELLDETAILS status{};
            if (details) details->GetDetailsOf(child.p, 1, &status);
            out.emplace_back(name, status.str);
        }
        return out;
    }
    test::PrivateCups cups;
    bool started = false;
};

TEST_F(PrintersFolder, ListsThePrintersTheSchedulerHasWithTheirState) {
    test::CommandOutput("lpadmin -p second -E -v file:///dev/null 2>/dev/null");
    test::CommandOutput("cupsdisable second");
    EXPECT_EQ(Listed(), (std::vector<std::pair<std::string, std::string>>{{"pdffile", "Idle"},
                                                                         {"second", "Stopped"}}));
    // The print system's own tool sees the same destinations.
    std::istringstream lines(test::CommandOutput("lpstat -e"));
    std::vector<std::string> names;
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) names.push_back(line);
    EXPECT_EQ(names, (std::vector<std::string>{"pdffile", "second"}));
}

TEST_F(PrintersFolder, TheFolderAndItsPrintersAreNoFilesAndAGonePrinterIsGone) {
    Owned root;
    ASSERT_EQ(SHGetSpecialFolderLocation(CSIDL_PRINTERS, &root.p), S_OK);
    ShellFolderPtr desktop;
    SHGetDesktopFolder(&desktop);
    std::string name;
    desktop->GetDisplayNameOf(root.p, SHGDN_NORMAL, &name);
    EXPECT_EQ(name, "Printers");
    EXPECT_EQ(SHGetPathFromIDList(root.p), "") << "not on disk";
    ShellFolderPtr folder;
    ASSERT_EQ(desktop->BindToObject(root.p, &folder), S_OK);
    std::unique_ptr<IEnumIDList> list;
    ASSERT_EQ(folder->EnumObjects(SHCONTF_NONFOLDERS, &list), S_OK);
    Owned printer;
    ASSERT_EQ(list->Next(&printer.p), S_OK);
    PCItemIDList items[] = {printer.p};
    uint32_t a = SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_VALIDATE;
    EXPECT_EQ(folder->GetAttributesOf(items, 1, &a), S_OK);
    EXPECT_EQ(a & (SFGAO_FOLDER | SFGAO_FILESYSTEM), 0u) << "a printer is no folder and no file";
    std::unique_ptr<IEnumIDList> folders;
    ASSERT_EQ(folder->EnumObjects(SHCONTF_FOLDERS, &folders), S_OK);
    Owned none;
    EXPECT_NE(folders->Next(&none.p), S_OK) << "printers are no folders to go into";
    test::CommandOutput("lpadmin -x pdffile");
    a = SFGAO_VALIDATE;
    EXPECT_NE(folder->GetAttributesOf(items, 1, &a), S_OK) << "the printer was removed";
}

} // namespace
