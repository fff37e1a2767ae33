#pragma once
// An image list that, besides the images it was given when it was made,
// takes icons from the system image list on demand: the closed folder, the
// open folder, and the icon of any file name. Each system icon is copied
// in once and found again by its system index.
#include <utility>
#include <vector>

#include "framework/graphics.h"

namespace ax {

class TImageListEx : public TImageList {
public:
    explicit TImageListEx(TComponent* owner);
    AnsiString ClassName() const override { return "TImageListEx"; }
    // Takes the number of the images given at design time.
    void Loaded() override;

    // The index here of the closed folder's icon, the open folder's, and the
    // icon of a file name (which is never looked up on the disk); -1 when
    // the system gives no icon.
    int FolderIndex();
    int OpenFolderIndex();
    int FileIndex(const AnsiString& fileName);
    // The index here of a system image list index, copying the icon in the
    // first time; -1 for a negative one.
    int MapSystemIndex(int systemIndex);
    int DesignImageCount() const { return designCount_; }

private:
    // The private list bound to the system image list of this list's size;
    // null while there is none.
    TImageList* SystemList();

    int designCount_ = 0;
    TImageList* systemList_ = nullptr; // owned by this list
    bool systemListBound_ = false;
    // System index and the index here of every icon copied, in order.
    std::vector<std::pair<int, int>> copied_;
};

// The system image index of a file name's icon, -1 when there is none.
int SystemImageIndex(const AnsiString& fileName);

} // namespace ax
