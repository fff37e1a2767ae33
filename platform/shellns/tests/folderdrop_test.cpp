// Drops onto a folder: copies that fail part way leave nothing under the
// final name, long drops show their progress and report exactly what
// failed, and link drops make their links in the folder.
#include "platform/shellns/dataobject.h"
#include "platform/shellns/messageboxservice.h"
#include "platform/shellns/recordingmessageboxservice.h"
#include "platform/shellns/shellapi.h"
#include "platform/shellns/transferprogress.h"
#include "rtl/clock.h"
#include "rtl/scopeguard.h"
#include "rtl/sysutils.h"
#include "rtl/text.h"
#include "shellns_fixture.h"

#include <algorithm>
#include <climits>
#include <sys/mount.h>

using namespace ax;

namespace {

class RecordingProgress final : public ITransferProgress {
public:
    void Open(uintptr_t, const std::string& text, size_t count) override {
        calls.push_back("open " + std::to_string(count));
        this->text = text;
    }
    void Advance(size_t done) override { advances.push_back(done); }
    void Close() override { calls.push_back("close"); }
    std::vector<std::string> calls;
    std::vector<size_t> advances;
    std::string text;
};

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (!d) return names;
    while (dirent* e = readdir(d))
        if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

std::string LinkTarget(const std::string& path) {
    char link[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), link, sizeof link);
    return n < 0 ? "(no link)" : std::string(link, size_t(n));
}

std::string Numbered(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "f%05d", i);
    return name;
}

} // namespace

class FolderDrop : public ax::testing::TempHome {
protected:
    void SetUp() override {
        TempHome::SetUp();
        source = root + "/src";
        target = root + "/dst";
        mkdir(source.c_str(), 0755);
        mkdir(target.c_str(), 0755);
        SetMessageBoxService(&boxes);
        SetTransferProgress(&progress);
    }
    void TearDown() override {
        SetTransferProgress(nullptr);
        SetMessageBoxService(nullptr);
        if (mounted) umount2(target.c_str(), MNT_DETACH);
        TempHome::TearDown();
    }
    // The drop target of folder, as the explorer asks the folder above it.
    std::shared_ptr<IDropTarget> TargetOf(const std::string& folder) {
        ShellFolderPtr desktop, parent;
        SHGetDesktopFolder(&desktop);
        PItemIDList parentPidl = nullptr;
        EXPECT_EQ(desktop->ParseDisplayName(ExtractFileDir(folder), &parentPidl), S_OK);
        EXPECT_EQ(desktop->BindToObject(parentPidl, &parent), S_OK);
        PItemIDList item = ILCreateItem(PIDL_KIND_FILE, ExtractFileName(folder));
        std::shared_ptr<IDropTarget> dropTarget;
        EXPECT_EQ(parent->GetDropTarget(item, &dropTarget), S_OK);
        IMalloc* m = nullptr;
        SHGetMalloc(&m);
        m->Free(parentPidl);
        m->Free(item);
        return dropTarget;
    }
    static std::shared_ptr<IDataObject> FilesOf(const std::vector<std::string>& paths) {
        auto data = CreateDataObject();
        SetDataBytes(*data, CF_HDROP, MakeFileList(paths));
        return data;
    }
    // Drops paths onto the target folder with the keys held; the effect
    // the target chose.
    uint32_t DropOnto(const std::string& folder, const std::vector<std::string>& paths, uint32_t keys,
                      uint32_t allowed = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK) {
        auto dropTarget = TargetOf(folder);
        auto data = FilesOf(paths);
        uint32_t effect = allowed;
        EXPECT_EQ(dropTarget->DragEnter(data.get(), keys, {}, &effect), S_OK);
        effect = allowed;
        EXPECT_EQ(dropTarget->Drop(data.get(), keys, {}, &effect), S_OK);
        return effect;
    }
    std::vector<std::string> MakeFiles(int count) {
        std::vector<std::string> paths;
        for (int i = 0; i < count; ++i) {
            paths.push_back(source + "/" + Numbered(i));
            Write(paths.back(), "x");
        }
        return paths;
    }
    // The target becomes a tmpfs of its own with room for little.
    bool MountSmallTarget() {
        const std::string why = ax::testing::MountScratchFileSystem(target);
        if (!why.empty()) {
            skipReason = why;
            return false;
        }
        mounted = true;
        return mount(nullptr, target.c_str(), nullptr, MS_REMOUNT, "size=256k") == 0;
    }
    std::string ReportText() {
        const auto shown = boxes.Boxes();
        return shown.size() == 1 ? WideToUtf8(shown[0].text) : "(" + std::to_string(shown.size()) + " boxes)";
    }
    std::string source, target, skipReason;
    bool mounted = false;
    RecordingMessageBoxService boxes;
    RecordingProgress progress;
};

// A file too big for the target fails while it is written: nothing stays in
// the target, neither under the file's name nor under a temporary one, and
// a move leaves the original as it was.
TEST_F(FolderDrop, ACopyThatRunsOutOfRoomLeavesNothingBehind) {
    if (!MountSmallTarget()) GTEST_SKIP() << "no small file system here: " << skipReason;
    const std::string big = source + "/big";
    const std::string content(1 << 20, 'b');
    Write(big, content);
    mkdir((source + "/folder").c_str(), 0755);
    Write(source + "/folder/a", "small");
    Write(source + "/folder/b", content);

    std::vector<std::string> failed;
    std::vector<ShellProblem> problems;
    EXPECT_FALSE(ShellCopyItems({big}, target, &failed, &problems));
    EXPECT_EQ(failed, std::vector<std::string>{big});
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].reason, "No space left on device");
    EXPECT_TRUE(Entries(target).empty());

    // A folder whose second file does not fit: no half folder either.
    EXPECT_FALSE(ShellCopyItems({source + "/folder"}, target));
    EXPECT_TRUE(Entries(target).empty());

    // Across file systems a move is a copy first.
    EXPECT_FALSE(ShellMoveItems({big}, target));
    EXPECT_TRUE(Entries(target).empty());
    EXPECT_EQ(Read(big), content);

    // The same through a drop: the report names the file.
    EXPECT_EQ(DropOnto(target, {big}, MK_CONTROL), DROPEFFECT_NONE);
    EXPECT_TRUE(Entries(target).empty());
    EXPECT_EQ(ReportText(), big + ": No space left on device");
}

// Each arriving file moves the clock on by 1 ms: the box opens once 500 ms
// have passed and moves every 100 ms after that, the last count included.
TEST_F(FolderDrop, TenThousandFilesArriveWhileTheProgressMoves) {
    const std::vector<std::string> paths = MakeFiles(10000);
    ManualClock clock;
    SetClock(&clock);
    const int listener = SubscribeShellChanges([&clock](uint32_t, PCItemIDList, PCItemIDList) { clock.Advance(1); });
    const ScopeGuard restore([listener] {
        UnsubscribeShellChanges(listener);
        SetClock(nullptr);
    });

    EXPECT_EQ(DropOnto(target, paths, MK_CONTROL), DROPEFFECT_COPY);

    EXPECT_EQ(progress.calls, (std::vector<std::string>{"open 10000", "close"}));
    EXPECT_EQ(progress.text, "Copying 10000 items into " + target);
    ASSERT_EQ(progress.advances.size(), 96u);
    for (size_t i = 0; i < progress.advances.size(); ++i)
        ASSERT_EQ(progress.advances[i], 500 + 100 * i) << i;
    const std::vector<std::string> arrived = Entries(target);
    ASSERT_EQ(arrived.size(), 10000u);
    EXPECT_EQ(arrived.front(), "f00000");
    EXPECT_EQ(arrived.back(), "f09999");
    EXPECT_EQ(Read(target + "/f04711"), "x");
    EXPECT_TRUE(boxes.Boxes().empty());
}

// Failed items count as done for the progress; the one report afterwards
// names exactly them, with why, in the order they were dropped.
TEST_F(FolderDrop, TheReportNamesExactlyTheFilesThatFailed) {
    const std::vector<std::string> paths = MakeFiles(10000);
    unlink(paths[17].c_str());
    unlink(paths[5000].c_str());
    Write(target + "/f00123", "there before");
    Write(target + "/f09999", "there before");
    ManualClock clock;
    SetClock(&clock);
    const ScopeGuard restore([] { SetClock(nullptr); });
    progress.calls.clear();

    EXPECT_EQ(DropOnto(target, paths, MK_CONTROL), DROPEFFECT_NONE);

    EXPECT_EQ(ReportText(), source + "/f00017: No such file or directory\n" + source +
                                "/f00123: an item called f00123 is already there\n" + source +
                                "/f05000: No such file or directory\n" + source +
                                "/f09999: an item called f09999 is already there");
    EXPECT_EQ(Entries(target).size(), 9998u);
    EXPECT_EQ(Read(target + "/f00123"), "there before");
    // The clock stood still: too short to show anything.
    EXPECT_TRUE(progress.calls.empty());
}

TEST_F(FolderDrop, AReportOfManyFailuresListsTheFirstThirty) {
    std::vector<std::string> paths;
    for (int i = 0; i < 32; ++i)
        paths.push_back(source + "/" + Numbered(i));
    EXPECT_EQ(DropOnto(target, paths, MK_CONTROL), DROPEFFECT_NONE);
    const std::string text = ReportText();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 30);
    EXPECT_NE(text.find(source + "/f00029: No such file or directory\nand 2 more"), std::string::npos) << text;
    EXPECT_EQ(text.find("f00030"), std::string::npos);
}

// Ctrl+Shift or Alt, or a source that offers only links, makes links in the
// folder, never over what is there; without the keys files are carried.
TEST_F(FolderDrop, LinkDropsMakeLinksInTheFolder) {
    const std::string a = source + "/a.txt";
    Write(a, "data");
    mkdir((source + "/sub").c_str(), 0755);
    Write(target + "/Link to a.txt", "not a link");

    auto dropTarget = TargetOf(target);
    auto data = FilesOf({a, source + "/sub"});
    const uint32_t all = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    uint32_t effect = all;
    ASSERT_EQ(dropTarget->DragEnter(data.get(), MK_CONTROL | MK_SHIFT, {}, &effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_LINK);
    effect = all;
    ASSERT_EQ(dropTarget->DragOver(MK_ALT, {}, &effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_LINK);
    effect = DROPEFFECT_LINK;
    ASSERT_EQ(dropTarget->DragOver(0, {}, &effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_LINK);
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE; // no links offered: Ctrl still copies
    ASSERT_EQ(dropTarget->DragOver(MK_CONTROL | MK_SHIFT, {}, &effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_COPY);
    dropTarget->DragLeave();

    EXPECT_EQ(DropOnto(target, {a, source + "/sub"}, MK_CONTROL | MK_SHIFT), DROPEFFECT_LINK);
    EXPECT_EQ(Entries(target), (std::vector<std::string>{"Link to a.txt", "Link to a.txt (2)", "Link to sub"}));
    EXPECT_EQ(Read(target + "/Link to a.txt"), "not a link");
    EXPECT_EQ(LinkTarget(target + "/Link to a.txt (2)"), a);
    EXPECT_EQ(LinkTarget(target + "/Link to sub"), source + "/sub");
    // The linked items stay where they are.
    EXPECT_EQ(Read(a), "data");
    EXPECT_TRUE(boxes.Boxes().empty());
}
