// The image list with system icons: folder and file icons copied in once
// from the system image lists of its size, after the design-time images,
// and -1 when the shell has no lists.
#include <cairo.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <vector>

#include "controls/ImageListEx.h"
#include "platform/gdi/image.h"
#include "shell/ShellUtilities.h"
#include "shell/SystemImageLists.h"
#include "shellns_fixture.h"

namespace ax {
namespace {

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kGrey = 0xFF808080;

void MakeDirs(const std::string& path) { ASSERT_EQ(system(("mkdir -p '" + path + "'").c_str()), 0); }

void Png(const std::string& path, int size, uint32_t argb) {
    MakeDirs(path.substr(0, path.rfind('/')));
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
                          (argb >> 24) / 255.0);
    cairo_paint(cr);
    cairo_destroy(cr);
    ASSERT_EQ(cairo_surface_write_to_png(s, path.c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(s);
}

void Text(const std::string& path, const std::string& text) {
    MakeDirs(path.substr(0, path.rfind('/')));
    std::ofstream(path) << text;
}

// The size and middle colour of a list's picture.
struct Picture {
    int width = 0;
    uint32_t middle = 0;
};
Picture PictureOf(TImageList& list, int index) {
    HICON icon = ImageList_GetIcon(list.Handle(), index, 0);
    int w = 0, h = 0;
    std::vector<uint32_t> px;
    const bool ok = GetIconPixels(icon, &w, &h, &px);
    DestroyIcon(icon);
    if (!ok || w <= 0) return {};
    return {w, px[size_t(h / 2) * size_t(w) + size_t(w / 2)]};
}

// A home whose icon theme and MIME database the test controls: red
// folders, blue open folders and green text files in both sizes.
class ImageListExTest : public testing::TempHome {
protected:
    void SetUp() override {
        TempHome::SetUp();
        const std::string share = root + "/share";
        const char* saved = std::getenv("XDG_DATA_DIRS");
        hadDataDirs = saved != nullptr;
        savedDataDirs = saved ? saved : "";
        setenv("XDG_DATA_DIRS", share.c_str(), 1);
        const std::string theme = share + "/icons/TestTheme";
        Text(theme + "/index.theme",
             "[Icon Theme]\nName=Test\nDirectories=16x16/places,16x16/mimetypes,32x32/places,32x32/mimetypes\n"
             "[16x16/places]\nSize=16\nType=Fixed\n[16x16/mimetypes]\nSize=16\nType=Fixed\n"
             "[32x32/places]\nSize=32\nType=Fixed\n[32x32/mimetypes]\nSize=32\nType=Fixed\n");
        for (int size : {16, 32}) {
            const std::string dir = theme + "/" + std::to_string(size) + "x" + std::to_string(size);
            Png(dir + "/places/folder.png", size, kRed);
            Png(dir + "/places/folder-open.png", size, kBlue);
            Png(dir + "/mimetypes/text-plain.png", size, kGreen);
        }
        Text(home + "/.config/gtk-3.0/settings.ini", "[Settings]\ngtk-icon-theme-name=TestTheme\n");
        Text(share + "/mime/globs2", "50:text/plain:*.txt\n50:text/x-csrc:*.c\n");
        SystemImageListsFinalize();
    }
    void TearDown() override {
        lists.clear();
        SystemImageListsFinalize();
        ShellUtilitiesFinalize();
        if (hadDataDirs) setenv("XDG_DATA_DIRS", savedDataDirs.c_str(), 1);
        else unsetenv("XDG_DATA_DIRS");
        TempHome::TearDown();
    }
    // An image list of size with count grey design-time images, loaded.
    TImageListEx& List(int size, int count) {
        lists.push_back(std::make_unique<TImageListEx>(nullptr));
        TImageListEx& list = *lists.back();
        list.SetSize(size, size);
        TBitmap bitmap;
        bitmap.SetSize(size, size);
        bitmap.Canvas().Brush().SetColor(TColor(0x808080));
        bitmap.Canvas().FillRect(RECT{0, 0, size, size});
        for (int i = 0; i < count; ++i) EXPECT_EQ(list.Add(&bitmap, nullptr), i);
        list.Loaded();
        return list;
    }
    std::vector<std::unique_ptr<TImageListEx>> lists;
    std::string savedDataDirs;
    bool hadDataDirs = false;
};

TEST_F(ImageListExTest, SystemIconsFollowTheDesignTimeImagesAndAreCopiedOnce) {
    SystemImageLists(); // installed as the namespace's icon provider
    TImageListEx& list = List(16, 2);
    EXPECT_EQ(list.DesignImageCount(), 2);
    EXPECT_EQ(list.FolderIndex(), 2) << "the first system icon after two design-time images";
    EXPECT_EQ(list.FolderIndex(), 2);
    EXPECT_EQ(list.Count(), 3) << "asked twice, added once";
    EXPECT_EQ(list.OpenFolderIndex(), 3);
    EXPECT_EQ(list.OpenFolderIndex(), 3);
    EXPECT_EQ(list.FileIndex("report.txt"), 4);
    EXPECT_EQ(list.FileIndex("other.TXT"), 4) << "the same type's icon";
    EXPECT_EQ(list.FileIndex("/nowhere/at/all/notes.txt"), 4) << "never looked up on the disk";
    EXPECT_EQ(list.FileIndex("mystery.unknown"), 5) << "the unknown file's icon";
    EXPECT_EQ(list.Count(), 6);
    EXPECT_EQ(list.FolderIndex(), 2);

    EXPECT_EQ(PictureOf(list, 1).middle, kGrey) << "design-time images stay";
    EXPECT_EQ(PictureOf(list, 2).middle, kRed);
    EXPECT_EQ(PictureOf(list, 3).middle, kBlue);
    EXPECT_EQ(PictureOf(list, 4).middle, kGreen);
    EXPECT_EQ(PictureOf(list, 4).width, 16);

    // The system lists themselves keep their pictures: they are shared, not moved.
    EXPECT_EQ(ImageList_GetImageCount(SystemImageLists().Handle(false)),
              ImageList_GetImageCount(SystemImageLists().Handle(true)));
    EXPECT_GT(ImageList_GetImageCount(SystemImageLists().Handle(false)), int(siiFirstFileType));
}

TEST_F(ImageListExTest, ALargeListTakesTheLargeIcons) {
    SystemImageLists();
    TImageListEx& large = List(32, 0);
    TImageListEx& small = List(16, 1);
    EXPECT_EQ(large.FileIndex("a.txt"), 0);
    EXPECT_EQ(large.FolderIndex(), 1);
    EXPECT_EQ(large.OpenFolderIndex(), 2);
    EXPECT_EQ(PictureOf(large, 0).middle, kGreen);
    EXPECT_EQ(PictureOf(large, 1).width, 32);
    EXPECT_EQ(PictureOf(large, 1).middle, kRed);
    EXPECT_EQ(PictureOf(large, 2).middle, kBlue);
    // Each list keeps its own copies, in its own order.
    EXPECT_EQ(small.OpenFolderIndex(), 1);
    EXPECT_EQ(small.FolderIndex(), 2);
    EXPECT_EQ(PictureOf(small, 2).width, 16);
    EXPECT_EQ(PictureOf(small, 2).middle, kRed);
}

TEST_F(ImageListExTest, WithoutSystemListsThereIsNoIconUntilTheyExist) {
    // The namespace's headless icons have indices but no pictures.
    TImageListEx& list = List(16, 1);
    EXPECT_EQ(list.FolderIndex(), -1);
    EXPECT_EQ(list.OpenFolderIndex(), -1);
    EXPECT_EQ(list.FileIndex("a.txt"), -1);
    EXPECT_EQ(list.MapSystemIndex(-1), -1);
    EXPECT_EQ(list.Count(), 1);

    // Once the system lists exist, the same list takes their icons.
    SystemImageLists();
    EXPECT_EQ(list.FolderIndex(), 1);
    EXPECT_EQ(PictureOf(list, 1).middle, kRed);
    // An index the system lists do not have adds nothing.
    EXPECT_EQ(list.MapSystemIndex(100000), -1);
    EXPECT_EQ(list.Count(), 2);
}

} // namespace
} // namespace ax
