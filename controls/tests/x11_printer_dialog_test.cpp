// The folder dialog browsing for a printer of a private print scheduler.
#include "private_cups.h"
#include "x11_browse_dialog.h"

namespace ax {
namespace {

class X11PrinterDialogTest : public test::X11BrowseDialogTest {
protected:
    void SetUp() override {
        const std::string why = test::PrivateCupsUnavailable();
        if (!why.empty()) GTEST_SKIP() << why;
        std::string error;
        ASSERT_TRUE(cups.Start(&error)) << error;
        test::CommandOutput("lpadmin -p office -E -v file:///dev/null 2>/dev/null");
        StartWithHome("axpd-");
    }
    void TearDown() override {
        if (EndWithHome()) cups.Stop();
    }
    void Configure(TFolderDialog& d) override {
        d.SetRootFolder(sfoPrinters);
        d.SetOptions(d.Options() | FolderDialogOptions({bfBrowseForPrinter}));
        d.SetTitle("Which printer shall print the report?");
    }

    test::PrivateCups cups;
};

TEST_F(X11PrinterDialogTest, APrinterIsPickedFromTheSchedulersAndTakenWithOK) {
    PickAndTake("office", "pdffile", "x11_printer_dialog");
}

} // namespace
} // namespace ax
