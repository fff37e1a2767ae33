// The trash: where deleted items go on each volume, what the Recycle Bin
// shows of them, and that other trash clients see the same.
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellops.h"
#include "rtl/sysutils.h"
#include "shellns_fixture.h"

#include <algorithm>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>

extern char** environ;

using namespace ax;

namespace {

struct Shown {
    std::string name;     // as the user sees it
    std::string parsing;  // the trashed file's path
    std::string original; // where it came from
};

// What the Recycle Bin lists, sorted by original path.
std::vector<Shown> RecycleBin() {
    ShellFolderPtr desktop, bin;
    SHGetDesktopFolder(&desktop);
    PItemIDList binPidl = nullptr;
    SHGetSpecialFolderLocation(CSIDL_BITBUCKET, &binPidl);
    const UniquePIDL heldBin(binPidl);
    std::vector<Shown> out;
    if (desktop->BindToObject(binPidl, &bin) != S_OK) return out;
    std::unique_ptr<IEnumIDList> list;
    bin->EnumObjects(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, &list);
    for (PItemIDList item; list->Next(&item) == S_OK;) {
        const UniquePIDL held(item);
        Shown s;
        bin->GetDisplayNameOf(item, SHGDN_NORMAL, &s.name);
        bin->GetDisplayNameOf(item, SHGDN_FORPARSING, &s.parsing);
        std::string date;
        ReadTrashInfo(std::string(ILItemPayload(item)), s.original, date);
        out.push_back(s);
    }
    std::sort(out.begin(), out.end(),
              [](const Shown& a, const Shown& b) { return a.parsing < b.parsing; });
    return out;
}

// Runs a program with the test's environment; its standard output.
std::string Output(const std::vector<std::string>& args, int* status) {
    int pipefd[2];
    if (pipe(pipefd) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipefd[0]);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipefd[1]);
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = read(pipefd[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, size_t(n));
    close(pipefd[0]);
    *status = -1;
    if (spawned == 0) waitpid(pid, status, 0);
    return out;
}

bool Installed(const char* program) {
    for (const std::string& dir : SplitString(getenv("PATH") ? getenv("PATH") : "", ':'))
        if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    return false;
}

} // namespace

class Trash : public ax::testing::TempHome {
protected:
    void TearDown() override {
        if (!volume.empty()) umount2(volume.c_str(), MNT_DETACH);
        TempHome::TearDown();
    }
    // A second file system at root/vol, named in the mount table; empty
    // when none can be had here.
    std::string MountVolume() {
        const std::string dir = root + "/vol";
        mkdir(dir.c_str(), 0755);
        const std::string why = ax::testing::MountScratchFileSystem(dir);
        if (!why.empty()) {
            skipReason = why;
            return {};
        }
        volume = dir;
        Write(mounts, "/dev/sda1 / ext4 rw 0 0\naxscratch " + dir + " tmpfs rw 0 0\n");
        return dir;
    }
    std::string uid = std::to_string(getuid());
    std::string volume, skipReason;
};

// Names near the longest a folder holds still go to the trash: the trash
// name gets shorter (at a character's edge), the list shows the original.
TEST_F(Trash, LongNamesAreTrashedAndShownAsTheyWere) {
    const std::string dir = root + "/d";
    mkdir(dir.c_str(), 0755);
    std::string accented;
    while (accented.size() + 2 <= 254) accented += "\xC3\xA9"; // é, 2 bytes each
    accented += "x";                                            // 255 bytes
    std::vector<std::string> names{std::string(246, 'a'), std::string(250, 'b'),
                                   std::string(255, 'c'), accented};
    std::vector<std::string> originals;
    for (const std::string& name : names) {
        ASSERT_EQ(name.size() >= 246 && name.size() <= 255, true);
        for (int twice = 0; twice < 2; ++twice) {
            Write(dir + "/" + name, name.substr(0, 3));
            std::vector<ShellProblem> problems;
            ASSERT_TRUE(ShellTrashItems({dir + "/" + name}, nullptr, &problems))
                << name.size() << ": " << (problems.empty() ? "" : problems[0].reason);
            originals.push_back(dir + "/" + name);
        }
    }
    const auto shown = RecycleBin();
    ASSERT_EQ(shown.size(), originals.size());
    std::vector<std::string> listed;
    for (const Shown& s : shown) {
        listed.push_back(s.original);
        EXPECT_EQ(dir + "/" + s.name, s.original);
        const std::string trashName = ExtractFileName(s.parsing);
        EXPECT_LE(trashName.size() + 10, 255u);
        EXPECT_EQ(Utf8ToWide(trashName).find(char16_t(0xDCC3)), std::u16string::npos)
            << "a character was cut in two";
    }
    std::sort(listed.begin(), listed.end());
    std::sort(originals.begin(), originals.end());
    EXPECT_EQ(listed, originals);
}

TEST_F(Trash, ASecondVolumeKeepsItsOwnTrash) {
    const std::string vol = MountVolume();
    if (vol.empty()) GTEST_SKIP() << "no second file system here: " << skipReason;
    mkdir((vol + "/docs").c_str(), 0755);
    Write(vol + "/docs/a.txt", "on the volume");
    Write(root + "/home.txt", "at home");
    std::vector<ShellProblem> problems;
    ASSERT_TRUE(ShellTrashItems({vol + "/docs/a.txt", root + "/home.txt"}, nullptr, &problems))
        << (problems.empty() ? "" : problems[0].reason);
    const std::string trash = vol + "/.Trash-" + uid;
    EXPECT_EQ(Read(trash + "/files/a.txt"), "on the volume");
    // Relative to the volume's top, as the freedesktop Trash layout wants it.
    EXPECT_NE(Read(trash + "/info/a.txt.trashinfo").find("\nPath=docs/a.txt\n"), std::string::npos);
    struct stat st;
    ASSERT_EQ(stat(trash.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    const auto shown = RecycleBin();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].parsing, home + "/.local/share/Trash/files/home.txt");
    EXPECT_EQ(shown[0].original, root + "/home.txt");
    EXPECT_EQ(shown[1].name, "a.txt");
    EXPECT_EQ(shown[1].parsing, trash + "/files/a.txt");
    EXPECT_EQ(shown[1].original, vol + "/docs/a.txt");

    // What other trash clients do and see.
    if (!Installed("trash-list")) {
        std::cout << "trash-cli is not installed: its view is not compared\n";
        return;
    }
    int status = 0;
    const std::string listing = Output({"trash-list"}, &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(listing.find(" " + vol + "/docs/a.txt\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find(" " + root + "/home.txt\n"), std::string::npos) << listing;
    Write(vol + "/docs/b.txt", "b");
    Output({"trash-put", vol + "/docs/b.txt"}, &status);
    ASSERT_EQ(status, 0);
    const auto after = RecycleBin();
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[2].original, vol + "/docs/b.txt");
}

// An administrator's shared ".Trash" is used only when it is a sticky folder
// and no link.
TEST_F(Trash, TheSharedTrashOfAVolumeIsUsedOnlyWhenItIsSafe) {
    const std::string vol = MountVolume();
    if (vol.empty()) GTEST_SKIP() << "no second file system here: " << skipReason;
    mkdir((vol + "/.Trash").c_str(), 0777); // not sticky: must not be used
    chmod((vol + "/.Trash").c_str(), 0777);
    Write(vol + "/one", "1");
    ASSERT_TRUE(ShellTrashItems({vol + "/one"}));
    EXPECT_EQ(Read(vol + "/.Trash-" + uid + "/files/one"), "1");
    chmod((vol + "/.Trash").c_str(), 01777);
    Write(vol + "/two", "2");
    ASSERT_TRUE(ShellTrashItems({vol + "/two"}));
    EXPECT_EQ(Read(vol + "/.Trash/" + uid + "/files/two"), "2");
    const auto shown = RecycleBin();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].original, vol + "/one");
    EXPECT_EQ(shown[1].original, vol + "/two");
}

TEST_F(Trash, AVolumeWithoutAUsableTrashRefusesTheDelete) {
    const std::string vol = MountVolume();
    if (vol.empty()) GTEST_SKIP() << "no second file system here: " << skipReason;
    Write(vol + "/.Trash-" + uid, "a file where the trash would go");
    Write(vol + "/keep", "precious");
    std::vector<ShellProblem> problems;
    std::vector<std::string> failed;
    EXPECT_FALSE(ShellTrashItems({vol + "/keep"}, &failed, &problems));
    EXPECT_EQ(failed, std::vector<std::string>{vol + "/keep"});
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].reason, "no trash can be made on its volume; nothing was deleted");
    EXPECT_EQ(Read(vol + "/keep"), "precious");
}
