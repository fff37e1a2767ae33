#include "platform/gdi/image.h"
#include "platform/shellns/shellapi.h"
#include "shell/IconTheme.h"
#include "shell/MimeDatabase.h"
#include "shell/Namespace.h"
#include "shell/ShellUtilities.h"
#include "shell/SystemImageLists.h"
#include "shellns_fixture.h"

#include <cairo.h>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace ax;

namespace {

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF,
                   kYellow = 0xFFFFFF00, kMagenta = 0xFFFF00FF, kCyan = 0xFF00FFFF;

void MakeDirs(const std::string& path) {
    ASSERT_EQ(system(("mkdir -p '" + path + "'").c_str()), 0);
}

// A square PNG of one colour.
void Png(const std::string& path, int size, uint32_t argb) {
    MakeDirs(path.substr(0, path.rfind('/')));
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0,
                          (argb & 0xFF) / 255.0, (argb >> 24) / 255.0);
    cairo_paint(cr);
    cairo_destroy(cr);
    ASSERT_EQ(cairo_surface_write_to_png(s, path.c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(s);
}

void Svg(const std::string& path, const char* fill) {
    MakeDirs(path.substr(0, path.rfind('/')));
    std::ofstream(path) << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\">"
                        << "<rect width=\"16\" height=\"16\" fill=\"" << fill << "\"/></svg>";
}

void Text(const std::string& path, const std::string& text) {
    MakeDirs(path.substr(0, path.rfind('/')));
    std::ofstream(path) << text;
}

// The colour at the middle of a list's picture.
uint32_t Middle(HIMAGELIST list, int index) {
    HICON icon = ImageList_GetIcon(list, index, 0);
    int w = 0, h = 0;
    std::vector<uint32_t> px;
    const bool ok = GetIconPixels(icon, &w, &h, &px);
    DestroyIcon(icon);
    return ok && w > 0 ? px[size_t(h / 2) * size_t(w) + size_t(w / 2)] : 0;
}

// A home of its own with an icon theme and a MIME database that the test
// controls entirely (XDG_DATA_DIRS points only there).
class SystemIcons : public ax::testing::TempHome {
protected:
    void SetUp() override {
        TempHome::SetUp();
        share = root + "/share";
        const char* saved = std::getenv("XDG_DATA_DIRS");
        savedDataDirs = saved ? saved : "";
        hadDataDirs = saved != nullptr;
        setenv("XDG_DATA_DIRS", share.c_str(), 1);
        const std::string theme = share + "/icons/TestTheme";
        Text(theme + "/index.theme",
             "[Icon Theme]\nName=Test\nInherits=hicolor\n"
             "Directories=16x16/places,16x16/mimetypes,32x32/places,32x32/mimetypes,"
             "48x48/devices,scalable/mimetypes,16x16@2/places\n"
             "[16x16/places]\nSize=16\nType=Fixed\n[16x16/mimetypes]\nSize=16\nType=Fixed\n"
             "[32x32/places]\nSize=32\nType=Fixed\n[32x32/mimetypes]\nSize=32\nType=Fixed\n"
             "[48x48/devices]\nSize=48\nType=Fixed\n"
             "[scalable/mimetypes]\nSize=16\nMinSize=8\nMaxSize=512\nType=Scalable\n"
             "[16x16@2/places]\nSize=16\nScale=2\nType=Fixed\n");
        Png(theme + "/16x16/places/folder.png", 16, kRed);
        Png(theme + "/32x32/places/folder.png", 32, kRed);
        Png(theme + "/16x16@2/places/user-trash.png", 32, kCyan); // for other screens only
        Png(theme + "/16x16/mimetypes/text-x-generic.png", 16, kGreen);
        Png(theme + "/32x32/mimetypes/text-x-generic.png", 32, kGreen);
        Png(theme + "/48x48/devices/drive-harddisk.png", 48, kYellow); // the only size
        Svg(theme + "/scalable/mimetypes/image-png.svg", "#0000ff");
        const std::string hicolor = share + "/icons/hicolor";
        Text(hicolor + "/index.theme",
             "[Icon Theme]\nName=Hicolor\nDirectories=16x16/devices,32x32/devices\n"
             "[16x16/devices]\nSize=16\nType=Threshold\n[32x32/devices]\nSize=32\nType=Threshold\n");
        Png(hicolor + "/16x16/devices/computer.png", 16, kMagenta);
        Png(hicolor + "/32x32/devices/computer.png", 32, kMagenta);
        Png(hicolor + "/16x16/devices/drive-harddisk.png", 16, kBlue); // the theme's own wins
        Text(home + "/.config/gtk-3.0/settings.ini", "[Settings]\ngtk-icon-theme-name=TestTheme\n");
        Text(share + "/mime/globs2",
             "# comment\n"
             "50:text/plain:*.txt\n"
             "50:text/x-csrc:*.c\n"
             "50:text/x-c++src:*.C:cs\n"
             "50:application/gzip:*.gz\n"
             "50:application/x-compressed-tar:*.tar.gz\n"
             "50:image/png:*.png\n"
             "50:text/x-makefile:Makefile\n"
             "10:text/x-readme:README*\n"
             "80:text/html:*.html\n"
             "40:text/x-weak:*.html\n"
             "50:application/x-odd:*.odd\n");
        Text(share + "/mime/generic-icons", "text/x-csrc:text-x-generic\ntext/plain:text-x-generic\n");
        Text(share + "/mime/icons", "text/x-makefile:text-x-script\n");
        SystemImageListsFinalize();
    }
    void TearDown() override {
        SystemImageListsFinalize();
        ShellUtilitiesFinalize();
        if (hadDataDirs)
            setenv("XDG_DATA_DIRS", savedDataDirs.c_str(), 1);
        else
            unsetenv("XDG_DATA_DIRS");
        TempHome::TearDown();
    }
    std::string share, savedDataDirs;
    bool hadDataDirs = false;
};

// ---------------------------------------------------------------- MIME types

TEST_F(SystemIcons, TypesFollowTheGlobsWeightLengthAndCase) {
    TMimeDatabase mime;
    EXPECT_EQ(mime.TypeOfName("notes.txt"), "text/plain");
    EXPECT_EQ(mime.TypeOfName("NOTES.TXT"), "text/plain") << "without case unless flagged";
    EXPECT_EQ(mime.TypeOfName("/some/folder/prog.c"), "text/x-csrc") << "the last element only";
    EXPECT_EQ(mime.TypeOfName("prog.C"), "text/x-c++src") << "a case-sensitive glob";
    EXPECT_EQ(mime.TypeOfName("backup.tar.gz"), "application/x-compressed-tar") << "longest pattern";
    EXPECT_EQ(mime.TypeOfName("backup.gz"), "application/gzip");
    EXPECT_EQ(mime.TypeOfName("page.html"), "text/html") << "highest weight";
    EXPECT_EQ(mime.TypeOfName("Makefile"), "text/x-makefile") << "a literal name";
    EXPECT_EQ(mime.TypeOfName("README.first"), "text/x-readme") << "a glob of another shape";
    EXPECT_EQ(mime.TypeOfName("plain"), "");
    EXPECT_EQ(mime.TypeOfName(""), "");
}

TEST_F(SystemIcons, AMoreImportantFolderCanTakeATypesGlobsAway) {
    Text(root + "/user/mime/globs2", "50:application/x-odd:__NOGLOBS__\n50:text/x-mine:*.mine\n");
    TMimeDatabase mime({root + "/user/mime", share + "/mime"});
    EXPECT_EQ(mime.TypeOfName("a.odd"), "");
    EXPECT_EQ(mime.TypeOfName("a.mine"), "text/x-mine");
    EXPECT_EQ(mime.TypeOfName("a.txt"), "text/plain");
    EXPECT_TRUE(TMimeDatabase({root + "/none"}).Empty());
}

TEST_F(SystemIcons, IconNamesOfATypeGoFromItsOwnToTheGenericOnes) {
    TMimeDatabase mime;
    EXPECT_EQ(mime.IconNames("text/x-csrc"),
              (std::vector<std::string>{"text-x-csrc", "text-x-generic"}));
    EXPECT_EQ(mime.IconNames("text/x-makefile"),
              (std::vector<std::string>{"text-x-script", "text-x-makefile", "text-x-generic"}));
    EXPECT_EQ(mime.IconNames("image/png"), (std::vector<std::string>{"image-png", "image-x-generic"}));
    EXPECT_TRUE(mime.IconNames("nonsense").empty());
}

// ---------------------------------------------------------------- the theme

TEST_F(SystemIcons, TheThemeFindsExactSizesThenTheClosestThenItsParents) {
    TIconTheme theme;
    const std::string t = share + "/icons/TestTheme/";
    EXPECT_EQ(theme.ThemeName(), "TestTheme") << "from the desktop's settings";
    EXPECT_EQ(theme.FindIcon({"folder"}, 16), t + "16x16/places/folder.png");
    EXPECT_EQ(theme.FindIcon({"folder"}, 32), t + "32x32/places/folder.png");
    EXPECT_EQ(theme.FindIcon({"folder"}, 24), t + "16x16/places/folder.png") << "closest";
    EXPECT_EQ(theme.FindIcon({"drive-harddisk"}, 16), t + "48x48/devices/drive-harddisk.png")
        << "the theme's own at another size before a parent's";
    EXPECT_EQ(theme.FindIcon({"computer"}, 16), share + "/icons/hicolor/16x16/devices/computer.png");
    EXPECT_EQ(theme.FindIcon({"image-png"}, 32), t + "scalable/mimetypes/image-png.svg");
    EXPECT_EQ(theme.FindIcon({"text-x-csrc", "text-x-generic"}, 16),
              t + "16x16/mimetypes/text-x-generic.png");
    EXPECT_EQ(theme.FindIcon({"user-trash"}, 16), "") << "scale 2 folders do not count";
    Png(root + "/pixmaps/lonely.png", 16, kRed);
    TIconTheme withPixmaps({share + "/icons", root + "/pixmaps"}, "TestTheme");
    EXPECT_EQ(withPixmaps.FindIcon({"lonely"}, 16), root + "/pixmaps/lonely.png")
        << "a bare base folder last";
}

TEST_F(SystemIcons, WithoutTheChosenThemeTheDefaultsApply) {
    Text(home + "/.config/gtk-3.0/settings.ini", "[Settings]\ngtk-icon-theme-name=Missing\n");
    EXPECT_EQ(TIconTheme().ThemeName(), "hicolor") << "no Adwaita here either";
}

// ---------------------------------------------------------------- the lists

// Asks the lists for each fixed place the tests look at.
void AskFixedPlaces(TSystemImageLists& lists) {
    EXPECT_EQ(lists.IconIndex(1, "", false, false), int(siiFolder));
    EXPECT_EQ(lists.IconIndex(2, std::string(kVirtualComputer), false, false), int(siiComputer));
    EXPECT_EQ(lists.IconIndex(3, "/", false, false), int(siiDrive));
    EXPECT_EQ(lists.IconIndex(0, "no type", false, false), int(siiUnknownFile));
    EXPECT_EQ(lists.IconIndex(2, std::string(kVirtualRecycleBin), false, false), int(siiRecycleBin));
}

TEST_F(SystemIcons, FixedPlacesHoldTheThemesPicturesOnceAskedOrTheCompiledInOnes) {
    TSystemImageLists& lists = SystemImageLists();
    // Made, nothing read yet: the compiled-in pictures.
    EXPECT_EQ(lists.SourceOf(siiFolder, false), "");
    EXPECT_EQ(Middle(lists.Handle(false), siiFolder) >> 24, 0xFFu);
    EXPECT_NE(Middle(lists.Handle(false), siiFolder), kRed);
    EXPECT_NE(Middle(lists.Handle(true), siiUnknownFile), kGreen);
    AskFixedPlaces(lists);
    for (bool large : {false, true}) {
        HIMAGELIST list = lists.Handle(large);
        int cx = 0, cy = 0;
        ImageList_GetIconSize(list, &cx, &cy);
        EXPECT_EQ(cx, large ? 32 : 16);
        EXPECT_EQ(ImageList_GetImageCount(list), siiFirstFileType);
        EXPECT_EQ(Middle(list, siiFolder), kRed);
        EXPECT_EQ(Middle(list, siiComputer), kMagenta) << "from hicolor";
        EXPECT_EQ(Middle(list, siiDrive), kYellow) << "scaled from 48";
        EXPECT_EQ(Middle(list, siiUnknownFile), kGreen) << "text-x-generic";
        EXPECT_EQ(Middle(list, 2), kGreen) << "a gap holds the unknown file";
        EXPECT_EQ(lists.SourceOf(siiRecycleBin, large), "") << "compiled in";
        const uint32_t trash = Middle(list, siiRecycleBin);
        EXPECT_EQ(trash >> 24, 0xFFu) << "the compiled-in trash is drawn";
        EXPECT_NE(trash, kCyan);
    }
}

TEST_F(SystemIcons, TheNamespaceAnswersIndicesIntoTheLists) {
    TSystemImageLists& lists = SystemImageLists();
    const std::string dir = root + "/items";
    mkdir(dir.c_str(), 0755);
    for (const char* name : {"a.txt", "b.TXT", "c.c", "d.png", "e.unknown", "f.html", "g.odd"})
        Text(dir + "/" + name, "x");
    auto index = [&](const std::string& path, uint32_t extra = 0) {
        UniquePIDL pidl(PathToPIDL(Utf8ToWide(path)));
        SHFILEINFO info;
        EXPECT_TRUE(SHGetFileInfo(pidl.get(), {}, 0, info,
                                  SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | extra))
            << path;
        return info.iIcon;
    };
    const int text = index(dir + "/a.txt");
    EXPECT_GE(text, int(siiFirstFileType));
    EXPECT_EQ(index(dir + "/b.TXT"), text);
    EXPECT_EQ(index(dir + "/c.c"), text) << "another type with the same icon shares it";
    const int png = index(dir + "/d.png");
    EXPECT_GT(png, text);
    EXPECT_EQ(Middle(lists.Handle(false), png), kBlue) << "the SVG";
    EXPECT_EQ(Middle(lists.Handle(true), png), kBlue);
    EXPECT_EQ(index(dir + "/e.unknown"), int(siiUnknownFile));
    EXPECT_EQ(index(dir + "/f.html"), text) << "the media's generic icon";
    EXPECT_EQ(index(dir + "/g.odd"), int(siiUnknownFile)) << "a type the theme has no icon for";
    EXPECT_EQ(index(dir), int(siiFolder));
    EXPECT_EQ(index(dir, SHGFI_OPENICON), int(siiFolderOpen));
    EXPECT_EQ(ImageList_GetImageCount(lists.Handle(false)), png + 1);
    EXPECT_EQ(ImageList_GetImageCount(lists.Handle(true)), png + 1);

    auto special = [&](int csidl) {
        PItemIDList p = nullptr;
        EXPECT_TRUE(SUCCEEDED(SHGetSpecialFolderLocation(csidl, &p)));
        UniquePIDL pidl(p);
        SHFILEINFO info;
        SHGetFileInfo(pidl.get(), {}, 0, info, SHGFI_PIDL | SHGFI_SYSICONINDEX);
        return info.iIcon;
    };
    EXPECT_EQ(special(CSIDL_DRIVES), int(siiComputer));
    EXPECT_EQ(special(CSIDL_BITBUCKET), int(siiRecycleBin));
    EXPECT_EQ(special(CSIDL_DESKTOP), int(siiDesktop));
    EXPECT_EQ(special(CSIDL_PERSONAL), int(siiDocuments));
    const std::string rootVolume = PathToPidlBytes("/");
    SHFILEINFO info;
    SHGetFileInfo(reinterpret_cast<PCItemIDList>(rootVolume.data()), {}, 0, info,
                  SHGFI_PIDL | SHGFI_SYSICONINDEX);
    EXPECT_EQ(info.iIcon, int(siiDrive));
    EXPECT_EQ(DefaultSystemImageIndex(0), int(siiFolder)) << "the tree's folder placeholder";
    EXPECT_EQ(DefaultSystemImageIndex(2), int(siiUnknownFile));
}

TEST_F(SystemIcons, ThreadsAskingAtOnceGetOnePlacePerIcon) {
    TSystemImageLists& lists = SystemImageLists();
    // Both icons at once from several threads: each lands in one place.
    std::vector<std::thread> threads;
    std::vector<int> seen(8 * 2);
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            seen[size_t(t) * 2] = lists.FileTypeIndex(t % 2 ? "image/png" : "text/plain");
            seen[size_t(t) * 2 + 1] = lists.FileTypeIndex(t % 2 ? "text/plain" : "image/png");
        });
    for (auto& th : threads)
        th.join();
    const int text = lists.FileTypeIndex("text/plain"), png = lists.FileTypeIndex("image/png");
    for (size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], ((i / 2) % 2 == 0) == (i % 2 == 0) ? text : png) << i;
    EXPECT_EQ(ImageList_GetImageCount(lists.Handle(false)), siiFirstFileType + 2);
    EXPECT_EQ(ImageList_GetImageCount(lists.Handle(true)), siiFirstFileType + 2);
}

TEST_F(SystemIcons, SysImagesShareTheSystemListsAndOutliveNothing) {
    TSysImages* small = SmallSysImages();
    TSysImages* large = LargeSysImages();
    EXPECT_EQ(small, SmallSysImages()) << "one per process";
    EXPECT_EQ(small->Handle(), SystemImageLists().Handle(false));
    EXPECT_EQ(large->Handle(), SystemImageLists().Handle(true));
    EXPECT_EQ(ExtraLargeSysImages()->Handle(), SystemImageLists().Handle(true));
    EXPECT_EQ(small->Width(), 16);
    EXPECT_EQ(large->Width(), 32);
    EXPECT_EQ(small->DrawingStyle(), dsTransparent);
    EXPECT_TRUE(small->ShareImages());
    const GdiObjectCounts before = GetGdiObjectCounts();
    SystemImageListsFinalize();
    EXPECT_LT(GetGdiObjectCounts().imageLists, before.imageLists) << "the lists are gone";
    SHFILEINFO info;
    SHGetFileInfo(nullptr, "x.txt", FILE_ATTRIBUTE_NORMAL, info,
                  SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX);
    EXPECT_EQ(info.iIcon, 0) << "the headless icons again";
}

TEST_F(SystemIcons, DamagedIconFilesFallBackToTheCompiledInPictures) {
    const std::string t = share + "/icons/TestTheme/";
    Text(t + "16x16/places/user-trash.png", "not a png at all");
    Text(t + "32x32/places/user-trash.png", std::string("\x89PNG\r\n\x1a\n", 8) + "truncated");
    Text(t + "16x16/places/folder.png", ""); // empty
    Text(t + "scalable/mimetypes/image-png.svg", "<svg"); // broken
    TSystemImageLists& lists = SystemImageLists();
    AskFixedPlaces(lists);
    EXPECT_EQ(lists.SourceOf(siiRecycleBin, false), "");
    EXPECT_EQ(lists.SourceOf(siiRecycleBin, true), "");
    EXPECT_EQ(Middle(lists.Handle(false), siiRecycleBin) >> 24, 0xFFu);
    EXPECT_EQ(lists.SourceOf(siiFolder, false), t + "32x32/places/folder.png")
        << "the other size serves";
    EXPECT_EQ(Middle(lists.Handle(false), siiFolder), kRed);
    EXPECT_EQ(lists.FileTypeIndex("image/png"), int(siiUnknownFile)) << "a broken SVG";
}

// ---------------------------------------------------------------- what a file may cost

// Files of the user's theme are not trusted: a small file can ask librsvg
// for hours of work, which cannot be stopped once it began. Each of these
// is refused before it is drawn, read once, and the type shows the unknown
// file's picture; a plain one with a few references is drawn.
TEST_F(SystemIcons, IconFilesThatWouldCostTooMuchAreNeverDrawn) {
    const std::string svg = share + "/icons/TestTheme/scalable/mimetypes/image-png.svg";
    const std::string head = "<svg xmlns=\"http://www.w3.org/2000/svg\" "
                             "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"16\" height=\"16\">";
    // Ten levels of ten references each: 10^10 rectangles from 100 elements.
    std::string laughs = head + "<defs><rect id=\"l0\" width=\"16\" height=\"16\" fill=\"#0000ff\"/>";
    for (int level = 1; level <= 10; ++level) {
        laughs += "<g id=\"l" + std::to_string(level) + "\">";
        for (int k = 0; k < 10; ++k)
            laughs += "<use xlink:href=\"#l" + std::to_string(level - 1) + "\"/>";
        laughs += "</g>";
    }
    laughs += "</defs><use href=\"#l10\"/></svg>";
    const std::string entities = "<?xml version=\"1.0\"?><!DOCTYPE svg [<!ENTITY a \"aaaaaaaaaa\">"
               "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]>" +
               head + "<text>&b;&b;&b;</text></svg>";
    const std::string wide = "<!DOCTYPE svg [<!ENTITY w \"" + std::string(1000, 'w') + "\">]>" + head + "<text>" +
                             [] {
                                 std::string refs;
                                 for (int k = 0; k < 100; ++k) refs += "&w;";
                                 return refs;
                             }() +
                             "</text></svg>";
    const std::vector<std::pair<const char*, std::string>> hostile = {
        {"references nested ten deep", laughs},
        {"entities made of entities", entities},
        {"entities adding 100 KB", wide},
        {"an external entity", "<!DOCTYPE svg [<!ENTITY x SYSTEM \"/etc/passwd\">]>" + head + "<text>&x;</text></svg>"},
        {"a reference to itself", head + "<g id=\"a\"><rect width=\"4\" height=\"4\"/><use href=\"#a\"/></g></svg>"},
        {"a pattern used by a style sheet on every element",
         head + "<style>* { fill: url(#p) }</style><pattern id=\"p\">" + [] {
             std::string many;
             for (int k = 0; k < 300; ++k) many += "<circle r=\"1\"/>";
             return many;
         }() + "</pattern>" + [] {
             std::string many;
             for (int k = 0; k < 300; ++k) many += "<rect width=\"1\" height=\"1\"/>";
             return many;
         }() + "</svg>"},
        {"an embedded picture", head + "<image href=\"data:image/png;base64,AAAA\" width=\"16\" height=\"16\"/></svg>"},
        {"an inclusion", head + "<xi:include xmlns:xi=\"http://www.w3.org/2001/XInclude\" href=\"/etc/passwd\"/></svg>"},
        {"turbulence of a million octaves",
         head + "<filter id=\"f\"><feTurbulence numOctaves=\"1000000\"/></filter>"
                "<rect width=\"16\" height=\"16\" filter=\"url(#f)\"/></svg>"},
        {"more than 1 MiB", head + "<rect width=\"16\" height=\"16\" fill=\"#0000ff\"/><!--" +
                                std::string(1 << 20, ' ') + "--></svg>"},
    };
    std::vector<std::string> reads;
    SetIconFileReadObserver([&](const std::string& path) { reads.push_back(path); });
    for (const auto& [what, text] : hostile) {
        Text(svg, text);
        SystemImageListsFinalize();
        reads.clear();
        EXPECT_EQ(SystemImageLists().FileTypeIndex("image/png"), int(siiUnknownFile)) << what;
        EXPECT_EQ(reads, std::vector<std::string>{svg}) << what << ": read once, for both sizes";
    }
    // A PNG declaring more pixels than an icon has is not decoded.
    unlink(svg.c_str());
    const std::string png = share + "/icons/TestTheme/scalable/mimetypes/image-png.png";
    Png(png, 1100, kBlue);
    SystemImageListsFinalize();
    EXPECT_EQ(SystemImageLists().FileTypeIndex("image/png"), int(siiUnknownFile)) << "1100 pixels wide";
    unlink(png.c_str());

    // Within the budget: gradients, references and a few nested uses.
    Text(svg, head + "<defs><linearGradient id=\"g\"><stop offset=\"0\" stop-color=\"#0000ff\"/></linearGradient>"
                     "<linearGradient id=\"h\" xlink:href=\"#g\"/><rect id=\"r\" width=\"16\" height=\"16\" "
                     "style=\"fill:url(#h)\"/><g id=\"two\"><use href=\"#r\"/><use href=\"#r\"/></g></defs>"
                     "<use href=\"#two\"/><use href=\"#two\"/></svg>");
    SystemImageListsFinalize();
    reads.clear();
    const int index = SystemImageLists().FileTypeIndex("image/png");
    SetIconFileReadObserver(nullptr);
    EXPECT_GE(index, int(siiFirstFileType));
    EXPECT_EQ(Middle(SystemImageLists().Handle(false), index), kBlue);
    EXPECT_EQ(Middle(SystemImageLists().Handle(true), index), kBlue);
    EXPECT_EQ(reads, std::vector<std::string>{svg});
}

// One file serves several places and types at both sizes: it is read and
// drawn once a session, a bad one too; a new version of it is read again.
TEST_F(SystemIcons, EachFileIsReadOnceForEveryPlaceTypeAndSize) {
    const std::string t = share + "/icons/TestTheme/";
    unlink((t + "16x16/places/folder.png").c_str());
    unlink((t + "32x32/places/folder.png").c_str());
    unlink((t + "16x16/mimetypes/text-x-generic.png").c_str());
    unlink((t + "32x32/mimetypes/text-x-generic.png").c_str());
    const std::string folder = t + "scalable/mimetypes/folder.svg";
    Svg(folder, "#ff0000");
    const std::string generic = t + "scalable/mimetypes/text-x-generic.svg";
    Text(generic, "<svg xmlns=\"http://www.w3.org/2000/svg\"><g id=\"a\"><use href=\"#a\"/></g></svg>");
    std::mutex mutex;
    std::map<std::string, int> reads;
    SetIconFileReadObserver([&](const std::string& path) {
        std::lock_guard lock(mutex);
        ++reads[path];
    });
    TSystemImageLists& lists = SystemImageLists();
    EXPECT_TRUE(reads.empty()) << "making the lists reads nothing";
    // Several threads at once, as the icon thread and a dialog might.
    std::vector<std::thread> threads;
    for (int k = 0; k < 4; ++k)
        threads.emplace_back([&] {
            for (bool large : {false, true}) {
                lists.IconIndex(1, "", false, large);
                lists.IconIndex(1, "", true, large); // no folder-open: the folder
                lists.IconIndex(2, std::string(kVirtualDocuments), false, large);
                lists.IconIndex(2, "/somewhere", false, large); // a system folder
                lists.IconIndex(0, "a.txt", false, large);
                lists.IconIndex(0, "a.c", false, large);
                lists.IconIndex(0, "no type", false, large);
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(reads[folder], 1);
    EXPECT_EQ(reads[generic], 1) << "a bad file is remembered as bad";
    for (bool large : {false, true})
        for (int place : {siiFolder, siiFolderOpen, siiDocuments, siiSystemFolder})
            EXPECT_EQ(Middle(lists.Handle(large), place), kRed) << place;
    EXPECT_EQ(lists.IconIndex(0, "a.txt", false, false), int(siiUnknownFile));
    EXPECT_EQ(lists.SourceOf(siiUnknownFile, false), "") << "compiled in";

    // Changed on the disk: another version, read again for a type asked anew.
    Svg(generic, "#00ff00");
    struct stat st{};
    stat(generic.c_str(), &st);
    const timespec later[2] = {st.st_atim, {st.st_mtim.tv_sec + 10, st.st_mtim.tv_nsec}};
    utimensat(AT_FDCWD, generic.c_str(), later, 0);
    const int text = lists.FileTypeIndex("text/x-readme");
    SetIconFileReadObserver(nullptr);
    EXPECT_EQ(reads[generic], 2);
    EXPECT_GE(text, int(siiFirstFileType));
    EXPECT_EQ(Middle(lists.Handle(true), text), kGreen);
}

} // namespace
