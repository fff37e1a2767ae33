#pragma once
// The properties window of shell items. For one item: its name, type (the
// text of the explorer's Type column), location, the target of a symbolic
// link, size and size on disk, what a folder contains, the times it was
// created (where the file system keeps it), modified and accessed, owner,
// group and permissions. For several: how many, where, and their total
// size. A folder's contents are counted in timer slices of a bounded number
// of entries, so the window answers and shows the figures as they grow
// ("Counting..." until done); closing the window stops the count. The
// window is modeless and frees itself when closed (Close, Escape).
#include "framework/forms.h"
#include "shell/FolderSizeCounter.h"
#include "stdctrls/button.h"
#include "stdctrls/extctrls.h"
#include "stdctrls/label.h"

#include <memory>
#include <string>
#include <vector>

namespace ax {

class TPropertiesForm : public TForm {
public:
    explicit TPropertiesForm(TComponent* owner);
    ~TPropertiesForm() override;
    AnsiString ClassName() const override { return "TPropertiesForm"; }

    // Shows these items (absolute PIDLs, siblings or one item) and starts
    // counting what their folders hold; a first slice is counted at once.
    void SetItems(const std::vector<std::string>& absolutePidls);
    // The text shown for the line with this caption ("Size:"); empty when
    // the window has no such line.
    AnsiString ValueOf(const AnsiString& caption) const;
    // The captions of the lines shown, top to bottom.
    std::vector<AnsiString> Captions() const;
    bool Counting() const { return counting_; }
    // Entries read per slice (a few thousand keeps the window answering).
    void SetSliceSize(size_t entries) { sliceSize_ = entries; }

    static constexpr UINT_PTR kCountTimer = 1;
    static constexpr UINT kSliceInterval = 10; // ms between slices

    TLabel* StatusLabel = nullptr;
    TBevel* Bevel = nullptr;
    TButton* ButtonClose = nullptr;

protected:
    void Dispatch(TMessage& message) override;
    void DoClose(TCloseAction& action) override;

private:
    struct Line {
        TLabel* caption;
        TLabel* value;
    };
    void ClearLines();
    TLabel* AddLine(const AnsiString& caption, const AnsiString& value);
    void ShowItem(const std::string& absolutePidl);
    void ShowFileDetails(const std::string& path);
    void ShowSeveral(const std::vector<std::string>& absolutePidls);
    void AddCountLines(bool contains);
    void Layout();
    void CountSlice();
    void ShowCounts();
    void StopCounting();

    std::vector<Line> lines_;
    TLabel* sizeValue_ = nullptr;
    TLabel* diskValue_ = nullptr;
    TLabel* containsValue_ = nullptr;
    std::unique_ptr<TFolderSizeCounter> counter_ = std::make_unique<TFolderSizeCounter>();
    size_t sliceSize_ = 4000;
    bool counting_ = false;
};

// "0 bytes", "1 byte", "999 bytes", "12.0 KB (12,345 bytes)": three
// significant digits, cut rather than rounded, in units of 1024.
AnsiString FormatByteSize(int64_t bytes);
// "rwxr-xr-x (0755)", with the set-id and sticky bits as ls shows them.
AnsiString FormatPermissions(unsigned mode);

} // namespace ax
