// The shell's data object on the shared interfaces: its two formats, the
// ID list array block, and a drop through a folder's target.
#include "platform/shellns/dataobject.h"
#include "platform/shellns/shellapi.h"
#include "shellns_fixture.h"

#include <sys/stat.h>

using namespace ax;

class ShellData : public ax::testing::TempHome {};

TEST_F(ShellData, ItemsComeAsAnIdListArrayAndAFileList) {
    const std::string a = root + "/a", b = root + "/b";
    mkdir(a.c_str(), 0755);
    mkdir(b.c_str(), 0755);
    Write(a + "/f", "data");
    ShellFolderPtr desktop, folderA, folderRoot;
    SHGetDesktopFolder(&desktop);
    PItemIDList pa = nullptr, pRoot = nullptr;
    ASSERT_EQ(desktop->ParseDisplayName(a, &pa), S_OK);
    ASSERT_EQ(desktop->BindToObject(pa, &folderA), S_OK);
    PItemIDList f = ILCreateItem(PIDL_KIND_FILE, "f");
    PCItemIDList items[] = {f};
    std::shared_ptr<IDataObject> data;
    ASSERT_EQ(folderA->GetDataObject(items, 1, &data), S_OK);

    std::vector<FORMATETC> formats;
    ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, &formats), S_OK);
    ASSERT_EQ(formats.size(), 2u);
    EXPECT_EQ(formats[0].cfFormat, RegisterClipboardFormat("Shell IDList Array"));
    EXPECT_EQ(formats[1].cfFormat, CF_HDROP);
    std::vector<std::string> pidls, paths;
    ASSERT_TRUE(ReadIdListArray(GetDataBytes(*data, formats[0].cfFormat), pidls));
    ASSERT_EQ(pidls.size(), 1u);
    EXPECT_EQ(pidls[0], PathToPidlBytes(a + "/f"));
    ASSERT_TRUE(ReadFileList(GetDataBytes(*data, CF_HDROP), paths));
    EXPECT_EQ(paths, std::vector<std::string>{a + "/f"});

    // A folder's target copies what the file list names (with Ctrl; without,
    // files on the same file system move).
    PItemIDList pb = nullptr;
    ASSERT_EQ(desktop->ParseDisplayName(root, &pRoot), S_OK);
    ASSERT_EQ(desktop->BindToObject(pRoot, &folderRoot), S_OK);
    pb = ILCreateItem(PIDL_KIND_FILE, "b");
    std::shared_ptr<IDropTarget> target;
    ASSERT_EQ(folderRoot->GetDropTarget(pb, &target), S_OK);
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->DragEnter(data.get(), MK_LBUTTON, {}, &effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_MOVE);
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->DragOver(MK_LBUTTON | MK_CONTROL, {}, &effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_COPY);
    effect = DROPEFFECT_COPY; // a source that offers only a copy gets one
    EXPECT_EQ(target->DragOver(MK_LBUTTON, {}, &effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_COPY);
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->Drop(data.get(), MK_CONTROL, {}, &effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_COPY);
    struct stat st;
    EXPECT_EQ(stat((b + "/f").c_str(), &st), 0);

    // Items that are no files offer no file list, and a target refuses them.
    PItemIDList computer = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(CSIDL_DRIVES, &computer), S_OK);
    PCItemIDList virtualItems[] = {computer};
    std::shared_ptr<IDataObject> virtualData;
    ASSERT_EQ(desktop->GetDataObject(virtualItems, 1, &virtualData), S_OK);
    EXPECT_EQ(virtualData->QueryGetData(FormatOf(CF_HDROP)), DV_E_FORMATETC);
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->DragEnter(virtualData.get(), 0, {}, &effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    target->DragLeave();

    IMalloc* m = nullptr;
    SHGetMalloc(&m);
    for (PItemIDList p : {pa, pRoot, f, pb, computer})
        m->Free(p);
}

TEST(IdListArray, HandWrittenBlockJoinsParentAndItems) {
    // Two items under a parent of one item [0x31 "x"].
    const std::vector<uint8_t> block = {
        2,  0, 0,    0,         // count
        16, 0, 0,    0,         // parent
        22, 0, 0,    0,         // item 1
        28, 0, 0,    0,         // item 2
        4,  0, 0x31, 'x', 0, 0, // parent: one item, then the closing zero
        4,  0, 0x31, 'a', 0, 0, // item 1
        4,  0, 0x31, 'b', 0, 0, // item 2
    };
    std::vector<std::string> pidls;
    ASSERT_TRUE(ReadIdListArray(block, pidls));
    ASSERT_EQ(pidls.size(), 2u);
    EXPECT_EQ(pidls[0], std::string("\x04\x00\x31x\x04\x00\x31"
                                    "a\x00\x00",
                                    10));
    EXPECT_EQ(pidls[1], std::string("\x04\x00\x31x\x04\x00\x31"
                                    "b\x00\x00",
                                    10));
    // Written with the desktop as parent, the items come back whole.
    std::vector<std::string> again;
    ASSERT_TRUE(ReadIdListArray(MakeIdListArray(pidls), again));
    EXPECT_EQ(again, pidls);
}

TEST(IdListArray, RefusesBlocksThatLeaveTheirBounds) {
    const std::vector<uint8_t> good = MakeIdListArray({std::string("\x04\x00\x31x\x00\x00", 6)});
    std::vector<std::string> pidls;
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(ReadIdListArray(std::span(good.data(), n), pidls)) << n;
    std::vector<uint8_t> bad = good;
    bad[0] = 0xFF; // more items than offsets fit
    EXPECT_FALSE(ReadIdListArray(bad, pidls));
    bad = good;
    bad[bad.size() - 6] = 2; // an item count below the smallest item
    EXPECT_FALSE(ReadIdListArray(bad, pidls));
    EXPECT_TRUE(pidls.empty());
}
