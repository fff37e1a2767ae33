// The folder dialog browsing for a computer announced by DNS-SD on a
// private network. The test process takes the private network for its
// whole run: this file holds one test.
#include "platform/shellns/shellapi.h"
#include "private_avahi.h"
#include "x11_browse_dialog.h"

#include <vector>

namespace ax {
namespace {

class X11ComputerDialogTest : public test::X11BrowseDialogTest {
protected:
    void SetUp() override {
        const std::string why = test::PrivateAvahi::Unavailable();
        if (!why.empty()) GTEST_SKIP() << why;
        std::string error;
        if (!avahi.Start(&error)) GTEST_SKIP() << "the private DNS-SD daemon did not start here: " << error;
        avahi.Publish("peerhost", "192.168.77.5");
        avahi.Publish("backupbox", "192.168.77.6");
        ASSERT_TRUE(Announced({"backupbox", "peerhost"})) << "the computers were not announced";
        StartWithHome("axcd-");
    }
    void TearDown() override {
        if (EndWithHome()) avahi.Stop();
    }
    // Browsing for a computer roots the dialog at the network.
    void Configure(TFolderDialog& d) override {
        d.SetOptions(d.Options() | FolderDialogOptions({bfBrowseForComputer}));
        d.SetTitle("Which computer keeps the backups?");
    }
    // Whether the network folder lists exactly these names (bounded: each
    // listing asks the daemon afresh).
    static bool Announced(const std::vector<std::string>& names) {
        for (int i = 0; i < 15; ++i) {
            PItemIDList root = nullptr;
            ShellFolderPtr desktop, folder;
            SHGetDesktopFolder(&desktop);
            if (SHGetSpecialFolderLocation(CSIDL_NETWORK, &root) != S_OK) return false;
            const UniquePIDL owned(root);
            if (desktop->BindToObject(root, &folder) != S_OK) return false;
            std::unique_ptr<IEnumIDList> list;
            folder->EnumObjects(SHCONTF_NONFOLDERS, &list);
            std::vector<std::string> seen;
            for (PItemIDList child = nullptr; list && list->Next(&child) == S_OK;) {
                const UniquePIDL item(child);
                std::string name;
                folder->GetDisplayNameOf(child, SHGDN_INFOLDER, &name);
                seen.push_back(name);
            }
            if (seen == names) return true;
        }
        return false;
    }

    test::PrivateAvahi avahi;
};

TEST_F(X11ComputerDialogTest, AComputerIsPickedFromTheAnnouncedOnesAndTakenWithOK) {
    PickAndTake("peerhost", "backupbox", "x11_computer_dialog");
}

} // namespace
} // namespace ax
