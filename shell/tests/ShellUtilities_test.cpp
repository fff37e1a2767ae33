#include "shellns_fixture.h"
#include "platform/shellns/contextmenu.h"
#include "platform/shellns/dataobject.h"
#include "platform/shellns/fixedinputstate.h"
#include "platform/shellns/inputstate.h"
#include "platform/shellns/menutracker.h"
#include "platform/shellns/messageboxservice.h"
#include "platform/shellns/recordingmessageboxservice.h"
#include "platform/shellns/scriptedmenutracker.h"
#include "platform/shellns/shellclipboard.h"
#include "rtl/sysutils.h"
#include "shell/ShellContainers.h"
#include "shell/Namespace.h"
#include "shell/ShellResources.h"
#include "shell/ShellLink.h"
#include "shell/ShellSortHelper.h"
#include "shell/ShellUtilities.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace ax;

namespace {

// Counts what a TNamespace asks its parent folder.
class CountingFolder final : public IShellFolder {
public:
    explicit CountingFolder(ShellFolderPtr inner) : inner_(std::move(inner)) {}
    int attributeQueries = 0;
    HRESULT ParseDisplayName(const std::string& n, PItemIDList* p) override {
        return inner_->ParseDisplayName(n, p);
    }
    HRESULT EnumObjects(uint32_t f, std::unique_ptr<IEnumIDList>* l) override {
        return inner_->EnumObjects(f, l);
    }
    HRESULT BindToObject(PCItemIDList p, ShellFolderPtr* f) override {
        return inner_->BindToObject(p, f);
    }
    HRESULT CompareIDs(int c, PCItemIDList a, PCItemIDList b) override {
        return inner_->CompareIDs(c, a, b);
    }
    HRESULT GetAttributesOf(const PCItemIDList* p, int n, uint32_t* a) override {
        ++attributeQueries;
        return inner_->GetAttributesOf(p, n, a);
    }
    HRESULT GetDisplayNameOf(PCItemIDList p, uint32_t f, std::string* n) override {
        return inner_->GetDisplayNameOf(p, f, n);
    }
    HRESULT SetNameOf(PCItemIDList p, const std::string& n, uint32_t f, PItemIDList* o) override {
        return inner_->SetNameOf(p, n, f, o);
    }
    HRESULT GetContextMenu(const PCItemIDList* p, int n,
                           std::shared_ptr<IContextMenu>* m) override {
        return inner_->GetContextMenu(p, n, m);
    }
    HRESULT GetDropTarget(PCItemIDList p, std::shared_ptr<IDropTarget>* t) override {
        return inner_->GetDropTarget(p, t);
    }
    HRESULT GetDataObject(const PCItemIDList* p, int n, std::shared_ptr<IDataObject>* d) override {
        return inner_->GetDataObject(p, n, d);
    }
    HRESULT GetFindData(PCItemIDList p, WIN32_FIND_DATA* d) override {
        return inner_->GetFindData(p, d);
    }
    const std::string& AbsoluteBytes() const override { return inner_->AbsoluteBytes(); }

private:
    ShellFolderPtr inner_;
};

class Shell : public ax::testing::TempHome {
protected:
    void SetUp() override {
        TempHome::SetUp();
        saved = FormatSettings();
        FormatSettings().ThousandSeparator = '.';
        FormatSettings().DecimalSeparator = ',';
        FormatSettings().ShortDateFormat = "yyyy-mm-dd";
        FormatSettings().LongTimeFormat = "hh:nn:ss";
        ShellUtilitiesFinalize();
        NamespacePIDLManager();
        SetMessageBoxService(&boxes);
        ClearShellClipboard();
        dir = root + "/work";
        mkdir(dir.c_str(), 0755);
    }
    void TearDown() override {
        ShellUtilitiesFinalize();
        SetMessageBoxService(nullptr);
        SetMenuTracker(nullptr);
        ClearShellClipboard();
        FormatSettings() = saved;
        TempHome::TearDown();
    }
    std::unique_ptr<TNamespace> Item(const std::string& path) {
        return TNamespace::CreateFromFileName(Utf8ToWide(path));
    }
    // A child of parent by name, the way the explorer tree builds them.
    std::unique_ptr<TNamespace> Child(TNamespace& parent, const std::string& name) {
        return std::make_unique<TNamespace>(UniquePIDL(ILCreateItem(PIDL_KIND_FILE, name)), &parent);
    }
    std::string dir;
    TFormatSettings saved;
    RecordingMessageBoxService boxes;
};

} // namespace

TEST_F(Shell, ConstructionOwnershipAndTheDesktop) {
    TNamespace desktop(nullptr, nullptr);
    EXPECT_TRUE(desktop.IsDesktop());
    EXPECT_EQ(desktop.NameForParsing(), Utf8ToWide(home + "/Desktop"));
    EXPECT_EQ(desktop.NameNormal(), u"Desktop");
    EXPECT_TRUE(desktop.Folder());
    EXPECT_TRUE(desktop.DropTarget());

    auto folder = Item(dir);
    Write(dir + "/a.txt", "x");
    auto child = Child(*folder, "a.txt");
    EXPECT_EQ(ILItemCount(child->AbsolutePIDL()),
              6); // Computer, "/", tmp, axshellitem..., work, a.txt
    EXPECT_EQ(child->Parent(), folder.get());
    EXPECT_EQ(child->NameForParsing(), Utf8ToWide(dir + "/a.txt"));
    auto clone = child->Clone();
    EXPECT_TRUE(EqualPIDL(clone->AbsolutePIDL(), child->AbsolutePIDL()));
    EXPECT_NE(clone->AbsolutePIDL(), child->AbsolutePIDL());
    EXPECT_EQ(clone->Parent(), nullptr);
    EXPECT_EQ(clone->NameInFolder(), u"a.txt"); // builds its own parent
    EXPECT_NE(clone->Parent(), nullptr);

    try {
        TNamespace::CreateFromFileName(Utf8ToWide(dir + "/missing"));
        FAIL() << "no exception";
    } catch (const EShellInvalidFileName& e) {
        EXPECT_STREQ(e.what(), "Trying to create a TNamespace on a non existant File object");
    }
}

TEST_F(Shell, CachedAttributesAskTheFolderOnce) {
    auto folder = Item(dir);
    Write(dir + "/f", "x");
    auto counting = std::make_shared<CountingFolder>(folder->ShellFolder());
    folder->SetShellFolder(counting);
    auto child = Child(*folder, "f");
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(child->CanCopy());
        EXPECT_TRUE(child->CanDelete());
        EXPECT_TRUE(child->CanLink());
        EXPECT_TRUE(child->CanMove());
        EXPECT_TRUE(child->CanRename());
        EXPECT_FALSE(child->FileSysAncestor());
        EXPECT_TRUE(child->FileSystem());
        EXPECT_FALSE(child->Folder());
        EXPECT_FALSE(child->Ghosted());
        EXPECT_FALSE(child->Link());
    }
    EXPECT_EQ(counting->attributeQueries, 10);
    child->HasPropSheet();
    child->HasPropSheet();
    EXPECT_EQ(counting->attributeQueries, 12); // not cached
    child->InvalidateCache();
    child->CanCopy();
    EXPECT_EQ(counting->attributeQueries, 13);
}

TEST_F(Shell, SizeDateTypeAndAttributeTexts) {
    Write(dir + "/small.txt", std::string(100, 'x'));
    const std::string big = dir + "/big.dat";
    const int fd = open(big.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_EQ(ftruncate(fd, 1234567890123LL), 0);
    close(fd);
    const timespec times[2] = {{1577934245, 0}, {1577934245, 0}};
    utimensat(AT_FDCWD, big.c_str(), times, 0);
    Write(dir + "/noext", "");
    mkdir((dir + "/sub").c_str(), 0755);
    auto folder = Item(dir);
    auto small = Child(*folder, "small.txt");
    auto large = Child(*folder, "big.dat");
    auto noext = Child(*folder, "noext");
    auto sub = Child(*folder, "sub");

    EXPECT_EQ(small->SizeOfFile(), u"100");
    EXPECT_EQ(small->SizeOfFileKB(), u"1 KB"); // 0 KB shows as 1 KB
    EXPECT_EQ(noext->SizeOfFileKB(), u"1 KB");
    EXPECT_EQ(large->SizeOfFileInt64(), 1234567890123LL);
    EXPECT_EQ(large->SizeOfFile(), u"1.234.567.890.123");
    EXPECT_EQ(large->SizeOfFileKB(), u"1.205.632.705 KB");
    EXPECT_EQ(sub->SizeOfFile(), u"");
    EXPECT_EQ(sub->SizeOfFileKB(), u"");
    EXPECT_EQ(sub->SizeOfFileDiskUsage(), u"");
    // The disk usage is whole blocks of the file system, asked of the
    // kernel here directly: 100 bytes take one, one more than a block two.
    struct statvfs fs;
    ASSERT_EQ(statvfs(dir.c_str(), &fs), 0);
    const uint64_t block = fs.f_frsize ? fs.f_frsize : fs.f_bsize;
    ASSERT_GT(block, 100u);
    auto grouped = [](uint64_t n) {
        std::string digits = std::to_string(n);
        for (int at = int(digits.size()) - 3; at > 0; at -= 3)
            digits.insert(size_t(at), 1, '.');
        return Utf8ToWide(digits);
    };
    EXPECT_EQ(small->SizeOfFileDiskUsage(), grouped(block));
    Write(dir + "/block1.bin", std::string(block + 1, 'x'));
    EXPECT_EQ(Child(*folder, "block1.bin")->SizeOfFileDiskUsage(), grouped(2 * block));

    EXPECT_EQ(large->LastWriteTime(), u"2020-01-02 03:04:05");
    EXPECT_EQ(FileTimeToDateTimeStr(FILETIME{}), u"");
    EXPECT_EQ(small->FileType(), u"TXT File");
    EXPECT_EQ(noext->FileType(), u"File");
    EXPECT_EQ(sub->FileType(), u"File Folder");
    EXPECT_EQ(small->AttributesString(), u"A");
    chmod((dir + "/noext").c_str(), 0444);
    noext->InvalidateNamespace(false);
    EXPECT_EQ(noext->AttributesString(), u"AR");
    EXPECT_EQ(sub->AttributesString(), u"");
    EXPECT_EQ(small->ShortFileName(), u"SMALL.TXT");
    EXPECT_EQ(small->Extension(), u".txt");

    // The details columns: the folder's own, as the shell gives them.
    ASSERT_EQ(folder->DetailsSupportedColumns(), 10);
    const char16_t* titles[] = {u"Name",    u"Size",     u"Type",        u"Modified", u"Attributes",
                                u"Created", u"Accessed", u"Permissions", u"Owner",    u"Group"};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(folder->DetailsColumnTitle(i), titles[i]);
    EXPECT_EQ(folder->DetailsColumnTitle(10), u""); // beyond the folder's columns
    EXPECT_EQ(small->DetailsOf(0), u"small.txt");
    EXPECT_EQ(small->DetailsOf(1), u"1 KB");
    EXPECT_EQ(small->DetailsOf(2), u"TXT File");
    EXPECT_EQ(large->DetailsOf(3), u"2020-01-02 03:04:05");
    EXPECT_EQ(small->DetailsOf(4), u"A");
    EXPECT_EQ(sub->DetailsOf(1), u"");
    EXPECT_EQ(sub->DetailsOf(2), u"File Folder");
    EXPECT_EQ(large->DetailsOf(5), large->CreationTime());
    chmod((dir + "/small.txt").c_str(), 0640);
    EXPECT_EQ(small->DetailsOf(7), u"-rw-r-----");
    EXPECT_EQ(sub->DetailsOf(7).substr(0, 1), u"d");
    EXPECT_EQ(small->DetailsOf(10), u"");
    EXPECT_EQ(folder->DetailsGetDefaultColumnState(0), csString | csOnByDefault);
    EXPECT_EQ(folder->DetailsGetDefaultColumnState(1), csInteger | csOnByDefault);
    EXPECT_EQ(folder->DetailsGetDefaultColumnState(3), csDate | csOnByDefault);
    EXPECT_EQ(folder->DetailsGetDefaultColumnState(6), csDate);
    EXPECT_EQ(folder->DetailsGetDefaultColumnState(8), csString | csSlow);
    EXPECT_EQ(folder->DetailsGetDefaultColumnState(10), csOnByDefault); // no such column
    auto computer = CreateSpecialNamespace(CSIDL_DRIVES);
    EXPECT_EQ(computer->DetailsOf(2), u"System Folder");
    EXPECT_EQ(computer->DetailsSupportedColumns(), 5);
    EXPECT_EQ(computer->DetailsColumnTitle(3), u"Free Space");
    EXPECT_EQ(small->DetailsDefaultColumnTitle(-1), u"Name");
    EXPECT_EQ(small->DetailsDefaultColumnTitle(10), u"");

    // The info tip says what a file manager's does.
    EXPECT_EQ(large->InfoTip(),
              u"Type: DAT File\nSize: 1.205.632.705 KB\nDate Modified: 2020-01-02 03:04:05");
    const timespec subTime[2] = {{1577934245, 0}, {1577934245, 0}};
    utimensat(AT_FDCWD, (dir + "/sub").c_str(), subTime, 0);
    EXPECT_EQ(sub->InfoTip(), u"Type: File Folder\nDate Modified: 2020-01-02 03:04:05");
    EXPECT_EQ(computer->InfoTip(), u"Type: System Folder");
}

namespace {

// A folder whose details interfaces answer the first `columns` indices, or
// every index when columns is negative.
class ColumnsFolder final : public IShellFolder2 {
public:
    ColumnsFolder(ShellFolderPtr inner, int columns) : inner_(std::move(inner)), columns_(columns) {}
    HRESULT ParseDisplayName(const std::string& n, PItemIDList* p) override {
        return inner_->ParseDisplayName(n, p);
    }
    HRESULT EnumObjects(uint32_t f, std::unique_ptr<IEnumIDList>* l) override {
        return inner_->EnumObjects(f, l);
    }
    HRESULT BindToObject(PCItemIDList p, ShellFolderPtr* f) override {
        return inner_->BindToObject(p, f);
    }
    HRESULT CompareIDs(int c, PCItemIDList a, PCItemIDList b) override {
        return inner_->CompareIDs(c, a, b);
    }
    HRESULT GetAttributesOf(const PCItemIDList* p, int n, uint32_t* a) override {
        return inner_->GetAttributesOf(p, n, a);
    }
    HRESULT GetDisplayNameOf(PCItemIDList p, uint32_t f, std::string* n) override {
        return inner_->GetDisplayNameOf(p, f, n);
    }
    HRESULT SetNameOf(PCItemIDList p, const std::string& n, uint32_t f, PItemIDList* o) override {
        return inner_->SetNameOf(p, n, f, o);
    }
    HRESULT GetContextMenu(const PCItemIDList* p, int n,
                           std::shared_ptr<IContextMenu>* m) override {
        return inner_->GetContextMenu(p, n, m);
    }
    HRESULT GetDropTarget(PCItemIDList p, std::shared_ptr<IDropTarget>* t) override {
        return inner_->GetDropTarget(p, t);
    }
    HRESULT GetDataObject(const PCItemIDList* p, int n, std::shared_ptr<IDataObject>* d) override {
        return inner_->GetDataObject(p, n, d);
    }
    HRESULT GetFindData(PCItemIDList p, WIN32_FIND_DATA* d) override {
        return inner_->GetFindData(p, d);
    }
    const std::string& AbsoluteBytes() const override { return inner_->AbsoluteBytes(); }
    HRESULT GetDefaultColumn(uint32_t, uint32_t*, uint32_t*) override { return E_NOTIMPL; }
    HRESULT GetDefaultColumnState(unsigned column, uint32_t* flags) override {
        if (!Has(column)) return E_INVALIDARG;
        *flags = SHCOLSTATE_TYPE_INT;
        return S_OK;
    }
    HRESULT GetDetailsOf(PCItemIDList, unsigned column, SHELLDETAILS* details) override {
        if (!Has(column)) return E_INVALIDARG;
        details->str = "Column " + std::to_string(column);
        return S_OK;
    }

private:
    bool Has(unsigned column) const { return columns_ < 0 || int(column) < columns_; }
    ShellFolderPtr inner_;
    int columns_;
};

} // namespace

TEST_F(Shell, ColumnCountsTrustOnlyAFolderThatStops) {
    auto seven = Item(dir);
    seven->SetShellFolder(std::make_shared<ColumnsFolder>(seven->ShellFolder(), 7));
    EXPECT_EQ(seven->DetailsSupportedColumns(), 7);
    EXPECT_EQ(seven->DetailsColumnTitle(6), u"Column 6");
    EXPECT_EQ(seven->DetailsColumnTitle(7), u"Path"); // beyond them: the default table
    EXPECT_EQ(seven->DetailsGetDefaultColumnState(2), csInteger);

    auto many = Item(dir);
    many->SetShellFolder(std::make_shared<ColumnsFolder>(many->ShellFolder(), 199));
    EXPECT_EQ(many->DetailsSupportedColumns(), 199);

    // A folder answering for every index is not believed: the defaults.
    auto every = Item(dir);
    every->SetShellFolder(std::make_shared<ColumnsFolder>(every->ShellFolder(), -1));
    EXPECT_EQ(every->DetailsSupportedColumns(), 5);
    EXPECT_EQ(every->DetailsColumnTitle(1), u"Size");
    EXPECT_EQ(every->DetailsColumnTitle(7), u"Path");
}

TEST_F(Shell, TimesComeFromTheExactPathEvenWithWildcardNames) {
    Write(dir + "/a*b?", "x");
    Write(dir + "/aXbY", "x");
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    const timespec other[2] = {{1577934245, 0}, {1577934245, 0}};
    utimensat(AT_FDCWD, (dir + "/a*b?").c_str(), old, 0);
    utimensat(AT_FDCWD, (dir + "/aXbY").c_str(), other, 0);
    auto folder = Item(dir);
    auto wild = Child(*folder, "a*b?");
    EXPECT_EQ(wild->LastWriteTime(), u"2001-09-09 01:46:40");
}

TEST_F(Shell, EnumerationFlagsAndCallbacks) {
    Write(dir + "/f1", "");
    Write(dir + "/.hidden", "");
    mkdir((dir + "/d1").c_str(), 0755);
    auto folder = Item(dir);
    auto names = [&](bool folders, bool files, bool hidden) {
        std::vector<std::u16string> out;
        folder->EnumerateFolder(
            folders, files, hidden,
            [&](TNamespace* parent, PItemIDList child, void*, bool&) {
                TNamespace ns(UniquePIDL(child), parent);
                out.push_back(ns.NameInFolder());
                return true;
            },
            nullptr);
        std::sort(out.begin(), out.end());
        return out;
    };
    EXPECT_EQ(names(true, false, false), std::vector<std::u16string>{u"d1"});
    EXPECT_EQ(names(false, true, false), std::vector<std::u16string>{u"f1"});
    EXPECT_EQ(names(false, true, true), (std::vector<std::u16string>{u".hidden", u"f1"}));
    EXPECT_TRUE(names(false, false, true).empty());
    const int count = folder->EnumerateFolder(
        true, true, true,
        [](TNamespace*, PItemIDList child, void*, bool& stop) {
            NamespacePIDLManager().FreePIDL(child);
            stop = true;
            return true;
        },
        nullptr);
    EXPECT_EQ(count, 1);
    EXPECT_TRUE(folder->HasChildren(SHCONTF_FOLDERS));
    auto d1 = Child(*folder, "d1");
    EXPECT_FALSE(d1->SubItems());
    auto bin = CreateSpecialNamespace(CSIDL_BITBUCKET);
    EXPECT_TRUE(bin->HasChildren(SHCONTF_FOLDERS)); // the recycle bin always says yes
    EXPECT_TRUE(bin->IsRecycleBin());
}

TEST_F(Shell, NonUtf8NameRoundTrips) {
    const std::string name = "r\xE9sum\xE9\x80.doc";
    Write(dir + "/" + name, "cv");
    auto folder = Item(dir);
    std::unique_ptr<TNamespace> found;
    folder->EnumerateFolder(
        false, true, false,
        [&](TNamespace* parent, PItemIDList child, void*, bool&) {
            found = std::make_unique<TNamespace>(UniquePIDL(child), parent);
            return true;
        },
        nullptr);
    ASSERT_TRUE(found);
    EXPECT_EQ(WideToUtf8(found->NameInFolder()), name);
    const WideString parsing = found->NameForParsing();
    EXPECT_EQ(WideToUtf8(parsing), dir + "/" + name);
    PItemIDList back = PathToPIDL(parsing);
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(EqualPIDL(back, found->AbsolutePIDL()));
    EXPECT_EQ(WideToUtf8(PIDLToPath(back)), dir + "/" + name);
    NamespacePIDLManager().FreePIDL(back);
    EXPECT_EQ(found->FileType(), u"DOC File");
}

TEST_F(Shell, SortHelperOrders) {
    Write(dir + "/b.txt", std::string(10, 'x'));
    Write(dir + "/A.zip", std::string(500, 'x'));
    Write(dir + "/a.zip", std::string(5, 'x'));
    mkdir((dir + "/zdir").c_str(), 0755);
    auto folder = Item(dir);
    auto b = Child(*folder, "b.txt"), A = Child(*folder, "A.zip"), a = Child(*folder, "a.zip"),
         z = Child(*folder, "zdir");
    TShellSortHelper sort;
    EXPECT_LT(sort.CompareIDs(0, A.get(), a.get()), 0); // byte-wise tie-break
    EXPECT_GT(sort.CompareIDs(0, b.get(), a.get()), 0);
    EXPECT_EQ(sort.CompareIDs(0, a.get(), a.get()), 0);
    EXPECT_LT(sort.SortFileSize(z.get(), A.get()), 0); // folders first whatever the size
    EXPECT_GT(sort.SortFileSize(A.get(), b.get()), 0);
    EXPECT_LT(sort.SortFileSize(a.get(), b.get()), 0);
    EXPECT_LT(sort.SortString(u"x", u"y", b.get(), a.get()), 0);
    EXPECT_LT(sort.SortString(u"B", u"a", b.get(), a.get()), 0); // ordinal, case-sensitive
    EXPECT_GT(sort.SortString(u"x", u"x", b.get(), a.get()), 0); // then the items
    EXPECT_LT(sort.SortType(b.get(), a.get()), 0);               // "TXT File" < "ZIP File"
    sort.FileSort = true;
    EXPECT_LT(sort.SortType(b.get(), a.get()), 0); // ".txt" < ".zip"
    EXPECT_LT(sort.SortType(A.get(), a.get()), 0); // same extension: the items
    EXPECT_LT(sort.SortType(z.get(), b.get()), 0);
    EXPECT_EQ(sort.DiscriminateFolders(a.get(), b.get()), 0);
    FILETIME t1, t2;
    t1.dwLowDateTime = 1;
    t2.dwLowDateTime = 2;
    EXPECT_LT(sort.SortFileTime(t1, t2, a.get(), b.get()), 0);
    EXPECT_LT(sort.SortFileTime(t1, t1, a.get(), b.get()), 0);
}

TEST_F(Shell, SpecialFoldersAndBothRoutesToDocuments) {
    EXPECT_TRUE(DesktopFolder()->IsDesktop());
    ASSERT_NE(PrinterFolder(), nullptr);
    EXPECT_EQ(WideToUtf8(PrinterFolder()->NameNormal()), "Printers");
    EXPECT_EQ(HistoryFolder(), nullptr);
    EXPECT_EQ(ControlPanelFolder(), nullptr);
    ASSERT_NE(NetworkNeighborHoodFolder(), nullptr);
    EXPECT_EQ(WideToUtf8(NetworkNeighborHoodFolder()->NameNormal()), "Network");
    EXPECT_EQ(FavoritesFolder(), nullptr);
    EXPECT_EQ(TemplatesFolder(), nullptr);
    ASSERT_NE(DrivesFolder(), nullptr);
    ASSERT_NE(RecycleBinFolder(), nullptr);
    ASSERT_NE(MyDocumentsFolder(), nullptr);
    ASSERT_NE(PhysicalDesktopFolder(), nullptr);
    // Items made on their own PIDLs, compared with the special objects.
    PItemIDList drives = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(CSIDL_DRIVES, &drives), S_OK);
    TNamespace computer(UniquePIDL(drives), nullptr);
    EXPECT_TRUE(computer.IsMyComputer());
    EXPECT_FALSE(computer.IsRecycleBin());
    PItemIDList binPidl = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(CSIDL_BITBUCKET, &binPidl), S_OK);
    TNamespace binItem(UniquePIDL(binPidl), nullptr);
    EXPECT_TRUE(binItem.IsRecycleBin());
    EXPECT_FALSE(binItem.IsMyComputer());
    EXPECT_FALSE(Item(dir)->IsMyComputer());
    EXPECT_FALSE(DesktopFolder()->IsMyComputer());
    EXPECT_FALSE(DesktopFolder()->IsNetworkNeighborhood());
    EXPECT_FALSE(DesktopFolder()->IsNetworkNeighborhoodChild());
    EXPECT_FALSE(DesktopFolder()->IsControlPanel());

    auto physical = Item(home + "/Documents");
    EXPECT_EQ(MyDocumentsFolder()->NameForParsing(), physical->NameForParsing());
    EXPECT_FALSE(EqualPIDL(MyDocumentsFolder()->AbsolutePIDL(), physical->AbsolutePIDL()));
    Write(home + "/Documents/x.txt", "");
    auto viaDesktop = Child(*MyDocumentsFolder(), "x.txt");
    auto viaComputer = Child(*physical, "x.txt");
    EXPECT_EQ(viaDesktop->NameForParsing(), viaComputer->NameForParsing());

    PItemIDList virt = GetMyDocumentsVirtualPIDL();
    ASSERT_NE(virt, nullptr);
    EXPECT_TRUE(EqualPIDL(virt, MyDocumentsFolder()->AbsolutePIDL()));
    NamespacePIDLManager().FreePIDL(virt);
    EXPECT_EQ(DefaultSystemImageIndex(3), 29);
    EXPECT_EQ(DefaultSystemImageIndex(9), -1);

    // Templates appear once the folder exists.
    mkdir((home + "/Templates").c_str(), 0755);
    ShellUtilitiesFinalize();
    ASSERT_NE(TemplatesFolder(), nullptr);
    EXPECT_EQ(TemplatesFolder()->NameForParsing(), Utf8ToWide(home + "/Templates"));
}

TEST_F(Shell, VerbGatingAndSiblingChecks) {
    mkdir((dir + "/x").c_str(), 0755);
    mkdir((dir + "/y").c_str(), 0755);
    Write(dir + "/x/f", "1");
    Write(dir + "/y/g", "2");
    auto x = Item(dir + "/x"), y = Item(dir + "/y");
    auto f = Child(*x, "f"), g = Child(*y, "g");
    EXPECT_FALSE(f->Copy({f.get(), g.get()}));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, u"Error");
    EXPECT_EQ(boxes.Boxes()[0].text,
              u"PIDLs to operate on are not siblings of the Namespace doing the operation.");
    TNamespace desktop(nullptr, nullptr);
    EXPECT_TRUE(desktop.VerifyPIDLRelationship({&desktop}));
    EXPECT_FALSE(desktop.VerifyPIDLRelationship({&desktop, &desktop}));
    EXPECT_EQ(boxes.Boxes().size(), 1u); // the desktop shows no box

    // A recycle-bin entry cannot be deleted: nothing runs.
    ASSERT_TRUE(ShellTrashItems({dir + "/y/g"}));
    auto bin = CreateSpecialNamespace(CSIDL_BITBUCKET);
    auto trashed = std::make_unique<TNamespace>(UniquePIDL(ILCreateItem(PIDL_KIND_TRASH, "g")), bin.get());
    EXPECT_FALSE(trashed->CanDelete());
    EXPECT_FALSE(trashed->Delete({trashed.get()}));

    // Copy into the clipboard, paste into y.
    EXPECT_TRUE(f->Copy({f.get()}));
    EXPECT_TRUE(y->Paste({y.get()}));
    EXPECT_EQ(Read(dir + "/y/f"), "1");
    Write(dir + "/y/f", "mine");
    EXPECT_TRUE(y->Paste({y.get()})); // the name is taken now: a copy of its own
    EXPECT_EQ(Read(dir + "/y/f"), "mine") << "nothing overwritten";
    EXPECT_EQ(Read(dir + "/y/f (2)"), "1");
    EXPECT_FALSE(y->Paste({}));
    // Delete moves into the trash.
    auto yf = Child(*y, "f");
    EXPECT_TRUE(yf->Delete({yf.get()}));
    EXPECT_FALSE(FileExists(dir + "/y/f"));
    EXPECT_EQ(Read(home + "/.local/share/Trash/files/f"), "mine");
    EXPECT_FALSE(f->ShowPropertySheet({f.get()})); // headless: no sheet
}

TEST_F(Shell, RenameNeverLosesAFile) {
    Write(dir + "/one", "1");
    Write(dir + "/two", "2");
    auto folder = Item(dir);
    auto one = Child(*folder, "one");
    for (const char16_t* bad : {u"", u".", u"..", u"a/b", u"two"})
        EXPECT_FALSE(one->SetNameOf(bad));
    EXPECT_FALSE(one->SetNameOf(WideString(u"n\0l", 3)));
    EXPECT_EQ(Read(dir + "/one"), "1");
    EXPECT_EQ(Read(dir + "/two"), "2");
    EXPECT_TRUE(one->SetNameOf(u"One"));
    EXPECT_EQ(one->NameInFolder(), u"One");
    EXPECT_EQ(WideToUtf8(one->NameForParsing()), dir + "/One");
    EXPECT_EQ(Read(dir + "/One"), "1");
}

TEST_F(Shell, ContextMenuWithCallbacksAndUserMenu) {
    Write(dir + "/f", "1");
    auto folder = Item(dir);
    auto f = Child(*folder, "f");
    ScriptedMenuTracker tracker;
    SetMenuTracker(&tracker);
    FixedInputState input;
    input.shift = true;
    input.cursor = {7, 8};
    SetInputState(&input);

    std::vector<std::u16string> verbs;
    std::vector<bool> results;
    auto cmd = [&](TNamespace*, const WideString& verb, int, bool& handled) {
        verbs.push_back(verb);
        handled = verb == u"open"; // the view opens items itself
    };
    auto after = [&](TNamespace*, const WideString&, int, bool ok) { results.push_back(ok); };
    int clicked = 0;
    TUserMenu user;
    user.Caption = u"Backup";
    user.Items.push_back({u"Include", false, true, false, true, 0, [&] { ++clicked; }});
    user.Items.push_back({u"-", false, false, false, true, 0, nullptr});

    tracker.PickCaption(u"Copy");
    EXPECT_TRUE(f->ShowContextMenu(0, cmd, nullptr, after, &user, nullptr));
    ASSERT_EQ(verbs, std::vector<std::u16string>{u"copy"});
    EXPECT_EQ(results, std::vector<bool>{true});
    EXPECT_EQ(tracker.Positions().back().x, 7);
    const ShellMenu& shown = tracker.Shown().back();
    ASSERT_TRUE(shown.items.back().subMenu);
    EXPECT_EQ(shown.items.back().caption, u"Backup");
    EXPECT_TRUE(shown.items.back().subMenu->items[0].checked);
    EXPECT_TRUE(shown.items.back().subMenu->items[1].separator);
    EXPECT_TRUE(shown.FindId(6) != nullptr); // rename offered with a command callback

    tracker.PickCaption(u"Include");
    EXPECT_TRUE(f->ShowContextMenu(0, cmd, nullptr, after, &user, nullptr));
    EXPECT_EQ(clicked, 1);
    EXPECT_EQ(verbs.size(), 1u);

    tracker.PickId(0x7000); // a command that names no verb
    EXPECT_TRUE(f->ShowContextMenu(0, cmd, nullptr, after, nullptr, nullptr));
    EXPECT_EQ(verbs.back(), u"Unknown Command");

    bool asked = false;
    EXPECT_FALSE(f->ShowContextMenu(
        0, cmd,
        [&](TNamespace*, ShellMenu&, bool& allow) {
            asked = true;
            allow = false;
        },
        after, nullptr, nullptr));
    EXPECT_TRUE(asked);
    EXPECT_EQ(tracker.Shown().size(), 3u);
    EXPECT_FALSE(f->ShowContextMenuMulti(0, cmd, nullptr, after, nullptr, nullptr, {}, false));

    // A handler that invalidates the item before the shell runs the command.
    auto invalidating = [&](TNamespace* ns, const WideString& verb, int, bool& handled) {
        verbs.push_back(verb);
        ns->InvalidateNamespace(true);
        handled = false;
    };
    tracker.PickCaption(u"Copy");
    EXPECT_TRUE(f->ShowContextMenu(0, invalidating, nullptr, after, nullptr, nullptr));
    EXPECT_EQ(verbs.back(), u"copy");
    EXPECT_EQ(results.back(), true);
    SetInputState(nullptr);
}

TEST_F(Shell, IconsAndInvalidation) {
    mkdir((dir + "/d").c_str(), 0755);
    auto folder = Item(dir);
    auto d = Child(*folder, "d");
    const int closed = d->GetIconIndex(false, 0);
    EXPECT_GE(closed, 0);
    d->SetIconIndexByThread(77, true);
    EXPECT_TRUE(d->ThreadedIconLoaded());
    EXPECT_EQ(d->GetIconIndex(false, 0), 77);
    d->InvalidateNamespace(false);
    EXPECT_EQ(d->GetIconIndex(false, 0), 77);
    d->InvalidateNamespace(true);
    EXPECT_FALSE(d->ThreadedIconLoaded());
    EXPECT_EQ(d->GetIconIndex(false, 0, false), -1);
    EXPECT_EQ(d->GetIconIndex(false, 0), closed);
    // The cache alone forgets the icon indices too.
    EXPECT_EQ(d->GetIconIndex(true, 0), closed + 1);
    d->InvalidateCache();
    EXPECT_EQ(d->GetIconIndex(false, 0, false), -1);
    EXPECT_EQ(d->GetIconIndex(true, 0, false), -1);
}

// The type of a trashed item comes from the name the user sees, not from
// the name the trash gave it.
TEST_F(Shell, TrashedItemsShowTheTypeOfTheirName) {
    for (int i = 0; i < 2; ++i) {
        Write(dir + "/a.txt", "x");
        ASSERT_TRUE(ShellTrashItems({dir + "/a.txt"}));
    }
    auto bin = CreateSpecialNamespace(CSIDL_BITBUCKET);
    std::vector<std::u16string> types, names;
    bin->EnumerateFolder(
        false, true, true,
        [&](TNamespace* parent, PItemIDList child, void*, bool&) {
            TNamespace item(UniquePIDL(child), parent);
            types.push_back(item.FileType());
            names.push_back(item.NameNormal());
            return true;
        },
        nullptr);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"a.txt", u"a.txt"}));
    EXPECT_EQ(types, (std::vector<std::u16string>{u"TXT File", u"TXT File"}));
}

TEST_F(Shell, StartUpRegistersTheClipboardFormats) {
    ShellUtilitiesInitialize();
    const TShellClipboardFormats& f = ShellClipboardFormats();
    const std::pair<uint16_t, const char*> formats[] = {
        {f.ShellIDList, "Shell IDList Array"},
        {f.LogicalPerformedDropEffect, "Logical Performed DropEffect"},
        {f.PreferredDropEffect, "Preferred DropEffect"},
        {f.FileContents, "FileContents"},
        {f.FileGroupDescriptor, "FileGroupDescriptor"},
        {f.FileGroupDescriptorW, "FileGroupDescriptorW"}};
    for (const auto& [id, name] : formats) {
        EXPECT_GE(id, 0xC000u) << name;
        EXPECT_EQ(GetClipboardFormatName(id), name);
    }
}

TEST_F(Shell, LinksAreNotRunIntoFolders) {
    mkdir((dir + "/target").c_str(), 0755);
    symlink("target", (dir + "/l").c_str());
    auto folder = Item(dir);
    auto link = Child(*folder, "l");
    EXPECT_TRUE(link->Link());
    EXPECT_FALSE(link->ShellExecuteNamespace(u"", u"", true, false));
    TShellLink sl;
    ASSERT_TRUE(sl.ReadLink(Utf8ToWide(dir + "/l")));
    EXPECT_EQ(WideToUtf8(sl.TargetPath), dir + "/target");
    EXPECT_NE(sl.TargetIDList, nullptr);
    auto target = Child(*folder, "target");
    EXPECT_FALSE(target->ShellExecuteNamespace(u"", u"", false, false)); // a folder, not asked to
}

// Desktop launchers are the shell's links too: a regular file by its name,
// read for its target, comment and icon; one leading to a folder is not run.
TEST_F(Shell, LaunchersAreLinksReadForTheirTargetAndNotRunIntoFolders) {
    mkdir((dir + "/docs").c_str(), 0755);
    mkdir((dir + "/folder.desktop").c_str(), 0755);
    Write(dir + "/docs.desktop",
          "[Desktop Entry]\nType=Link\nURL=file://" + dir + "/docs\nComment=My documents\nIcon=folder\n");
    Write(dir + "/echo.desktop",
          "[Desktop Entry]\nType=Application\nExec=/bin/echo \"two words\" %f\nPath=" + dir + "\n");
    Write(dir + "/plain.txt", "x");
    auto folder = Item(dir);
    auto docs = Child(*folder, "docs.desktop");
    EXPECT_TRUE(docs->Link());
    EXPECT_FALSE(Child(*folder, "folder.desktop")->Link()) << "a folder is never a launcher";
    EXPECT_FALSE(Child(*folder, "plain.txt")->Link());
    EXPECT_FALSE(docs->ShellExecuteNamespace(u"", u"", true, false)) << "a link to a folder is not run";
    TShellLink sl;
    ASSERT_TRUE(sl.ReadLink(docs->NameForParsing()));
    EXPECT_EQ(WideToUtf8(sl.TargetPath), dir + "/docs");
    EXPECT_NE(sl.TargetIDList, nullptr);
    EXPECT_EQ(WideToUtf8(sl.Description), "My documents");
    EXPECT_EQ(WideToUtf8(sl.IconLocation), "folder");
    ASSERT_TRUE(sl.ReadLink(Utf8ToWide(dir + "/echo.desktop")));
    EXPECT_EQ(WideToUtf8(sl.TargetPath), "/bin/echo");
    EXPECT_EQ(WideToUtf8(sl.Arguments), "\"two words\"");
    EXPECT_EQ(WideToUtf8(sl.WorkingDirectory), dir);
    EXPECT_TRUE(sl.Description.empty()) << "the comment of the link read before stayed";
}

// A program named bare and found nowhere is no folder of the process's
// working directory that happens to bear its name.
TEST_F(Shell, ALaunchersBareProgramNameIsNoFolderOfTheWorkingDirectory) {
    mkdir((dir + "/tool").c_str(), 0755);
    Write(dir + "/tool.desktop", "[Desktop Entry]\nType=Application\nExec=tool\n");
    auto folder = Item(dir);
    auto launcher = Child(*folder, "tool.desktop");
    const std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    const std::string savedDir = GetCurrentDir();
    setenv("PATH", "/nonexistent", 1);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    SetShellOpener({"/bin/true"});
    const bool ran = launcher->ShellExecuteNamespace(u"", u"", true, false);
    SetShellOpener({});
    ASSERT_EQ(chdir(savedDir.c_str()), 0);
    setenv("PATH", savedPath.c_str(), 1);
    EXPECT_TRUE(ran) << "taken for the folder ./tool";
}

// After a change the item takes the PIDL its folder now gives for it, and
// forgets what it knew; when the folder no longer has it, nothing changes.
TEST_F(Shell, ReplacePIDLFromParentTakesTheFoldersPIDL) {
    Write(dir + "/f", "data");
    Write(dir + "/.h", "hidden");
    auto folder = Item(dir);
    auto f = Child(*folder, "f");
    f->SetIconIndexByThread(42, true);
    EXPECT_TRUE(f->FileSystem());
    auto counting = std::make_shared<CountingFolder>(folder->ShellFolder());
    folder->SetShellFolder(counting);
    const PItemIDList before = f->AbsolutePIDL();
    const std::string bytes = ax::testing::PidlString(before);

    f->ReplacePIDLFromParent(false, true, false);
    EXPECT_NE(f->AbsolutePIDL(), before) << "the PIDL was not replaced";
    EXPECT_EQ(ax::testing::PidlString(f->AbsolutePIDL()), bytes);
    EXPECT_EQ(f->RelativePIDL(), NamespacePIDLManager().GetPointerToLastID(f->AbsolutePIDL()));
    EXPECT_FALSE(f->ThreadedIconLoaded());
    EXPECT_EQ(f->GetIconIndex(false, 0, false), -1);
    const int asked = counting->attributeQueries;
    EXPECT_TRUE(f->FileSystem());
    EXPECT_EQ(counting->attributeQueries, asked + 1) << "the cached attributes were kept";

    // Folders only: the file is not among them, nothing changes.
    const PItemIDList kept = f->AbsolutePIDL();
    f->SetIconIndexByThread(43, true);
    f->ReplacePIDLFromParent(true, false, true);
    EXPECT_EQ(f->AbsolutePIDL(), kept);
    EXPECT_EQ(f->GetIconIndex(false, 0, false), 43);
    // A hidden item is found only when hidden items are asked for.
    auto h = Child(*folder, ".h");
    const PItemIDList hidden = h->AbsolutePIDL();
    h->ReplacePIDLFromParent(false, true, false);
    EXPECT_EQ(h->AbsolutePIDL(), hidden);
    h->ReplacePIDLFromParent(false, true, true);
    EXPECT_NE(h->AbsolutePIDL(), hidden);
    // Gone from the folder: nothing changes.
    unlink((dir + "/f").c_str());
    f->ReplacePIDLFromParent(false, true, true);
    EXPECT_EQ(f->AbsolutePIDL(), kept);
}

TEST_F(Shell, DragDropOntoAFolder) {
    mkdir((dir + "/in").c_str(), 0755);
    Write(dir + "/f", "data");
    auto folder = Item(dir);
    auto f = Child(*folder, "f");
    auto in = Child(*folder, "in");
    auto data = f->DataObjectMulti({f.get()});
    ASSERT_TRUE(data);
    uint32_t effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(in->DragEnter(data.get(), MK_CONTROL, {}, effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_COPY);
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(in->DragOver(0, {}, effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_MOVE) << "within one file system a plain drag moves";
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(in->Drop(data.get(), MK_SHIFT, {}, effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_MOVE);
    EXPECT_EQ(Read(dir + "/in/f"), "data");
    EXPECT_FALSE(FileExists(dir + "/f"));
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(f->DragEnter(data.get(), 0, {}, effect), DRAGDROP_S_NOTHANDLED);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    // A source that allows only moving is moved, no Shift needed.
    Write(dir + "/g", "moved");
    auto g = Child(*folder, "g");
    auto moving = g->DataObjectMulti({g.get()});
    effect = DROPEFFECT_MOVE;
    EXPECT_EQ(in->DragEnter(moving.get(), 0, {}, effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_MOVE);
    effect = DROPEFFECT_MOVE;
    EXPECT_EQ(in->Drop(moving.get(), 0, {}, effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_MOVE);
    EXPECT_EQ(Read(dir + "/in/g"), "moved");
    EXPECT_FALSE(FileExists(dir + "/g"));
}

namespace {
// Operating-system version tests. Nothing in the product asks about other
// versions (this system always runs as the NT line), so only this test
// keeps them, with the version block's own numbers.
constexpr uint32_t VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr uint32_t VER_PLATFORM_WIN32_NT = 2;

struct TOSVersion {
    uint32_t platform = VER_PLATFORM_WIN32_NT;
    uint32_t major = 5;
    uint32_t minor = 1;
    uint32_t build = 2600;
};

bool IsWinNT(const TOSVersion& v = {}) {
    return v.platform == VER_PLATFORM_WIN32_NT;
}
bool IsWin95(const TOSVersion& v) {
    return v.platform == VER_PLATFORM_WIN32_WINDOWS && v.major == 4 && v.minor == 0 && (v.build & 0xFFFF) < 1081;
}
bool IsWinXP(const TOSVersion& v) {
    return v.platform == VER_PLATFORM_WIN32_NT && v.major == 5 && v.minor > 0;
}
} // namespace

TEST_F(Shell, SupportUnits) {
    EXPECT_TRUE(IsWinNT());
    EXPECT_FALSE(IsWin95(TOSVersion{VER_PLATFORM_WIN32_WINDOWS, 4, 10, 1998}));
    EXPECT_TRUE(IsWin95(TOSVersion{VER_PLATFORM_WIN32_WINDOWS, 4, 0, 950}));
    EXPECT_FALSE(IsWin95(TOSVersion{VER_PLATFORM_WIN32_WINDOWS, 4, 0, 1081}));
    EXPECT_FALSE(IsWinXP(TOSVersion{VER_PLATFORM_WIN32_NT, 5, 0, 2195}));
    EXPECT_TRUE(IsWinXP(TOSVersion{VER_PLATFORM_WIN32_NT, 5, 1, 2600}));
    EXPECT_EQ(std::u16string(SShellEventNames[0]), u"Assocciation Changed");
    EXPECT_EQ(std::u16string(SShellEventNames[19]), u"Update Item");

    Write(dir + "/a", "");
    std::vector<TListNotification> seen;
    {
        TNameSpaceList list;
        list.OnNotify = [&](TNamespace*, TListNotification n) { seen.push_back(n); };
        list.Add(Item(dir + "/a"));
        list.Add(Item(dir));
        std::unique_ptr<TNamespace> kept(list.Extract(1));
        EXPECT_EQ(list.Count(), 1);
    }
    EXPECT_EQ(seen, (std::vector<TListNotification>{
                        TListNotification::lnAdded, TListNotification::lnAdded,
                        TListNotification::lnExtracted, TListNotification::lnDeleted}));
}
