// The network folder over a private DNS-SD daemon in a network of its own:
// the computers it lists are the ones announced there.
#include "fork_child.h"
#include "platform/shellns/pidl.h"
#include "platform/shellns/shellapi.h"
#include "private_avahi.h"
#include "shellns_fixture.h"

#include <gtest/gtest.h>

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

// The names the network folder lists, and whether each is no folder.
std::vector<std::string> Listed(bool& allPlainItems) {
    allPlainItems = true;
    Owned root;
    ShellFolderPtr desktop, folder;
    SHGetDesktopFolder(&desktop);
    if (SHGetSpecialFolderLocation(CSIDL_NETWORK, &root.p) != S_OK || desktop->BindToObject(root.p, &folder) != S_OK)
        return {};
    std::unique_ptr<IEnumIDList> list;
    folder->EnumObjects(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &list);
    std::vector<std::string> out;
    for (;;) {
        Owned child;
        if (!list || list->Next(&child.p) != S_OK) break;
        std::string name;
        folder->GetDisplayNameOf(child.p, SHGDN_INFOLDER, &name);
        out.push_back(name);
        PCItemIDList items[] = {child.p};
        uint32_t a = SFGAO_FOLDER | SFGAO_FILESYSTEM;
        folder->GetAttributesOf(items, 1, &a);
        if (a & (SFGAO_FOLDER | SFGAO_FILESYSTEM)) allPlainItems = false;
    }
    return out;
}

class NetworkFolder : public ax::testing::TempHome {};

TEST_F(NetworkFolder, ListsTheComputersAnnouncedOnThePrivateNetwork) {
    const std::string why = test::PrivateAvahi::Unavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    const int status = test::RunInChild([] {
        test::PrivateAvahi avahi;
        std::string error;
        if (!avahi.Start(&error)) {
            fprintf(stderr, "private avahi: %s\n", error.c_str());
            return 125;
        }
        bool plain = false;
        if (!Listed(plain).empty()) return 1; // nobody announced yet
        avahi.Publish("peerhost", "192.168.77.5");
        avahi.Publish("backupbox", "192.168.77.6");
        // Each listing asks the daemon afresh; the announcements take a
        // moment to be probed and known.
        std::vector<std::string> names;
        for (int i = 0; i < 15 && names.size() < 2; ++i) names = Listed(plain);
        if (names != std::vector<std::string>{"backupbox", "peerhost"}) return 2;
        if (!plain) return 3;
        return 0;
    });
    if (status == 125) GTEST_SKIP() << "the private DNS-SD daemon did not start here";
    EXPECT_EQ(status, 0) << "1 a computer before any was announced, 2 not the announced computers, "
                            "3 a computer listed as a folder";
}

TEST_F(NetworkFolder, WithoutADaemonTheFolderIsThereAndEmpty) {
    const int status = test::RunInChild([] {
        setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
        Owned root;
        if (SHGetSpecialFolderLocation(CSIDL_NETWORK, &root.p) != S_OK) return 1;
        if (SHGetPathFromIDList(root.p) != "") return 2;
        ShellFolderPtr desktop;
        SHGetDesktopFolder(&desktop);
        std::string name;
        desktop->GetDisplayNameOf(root.p, SHGDN_NORMAL, &name);
        if (name != "Network") return 3;
        bool plain = false;
        return Listed(plain).empty() ? 0 : 4;
    });
    EXPECT_EQ(status, 0) << "1 no folder, 2 on disk, 3 named otherwise, 4 computers without a daemon";
}

} // namespace
