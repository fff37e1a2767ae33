#pragma once
// The main window: the explorer tree (folders) and list (the chosen
// folder's contents) side by side, their check boxes one selection kept in
// the tree's node storage; the mask grid; the status bar with its gauge;
// loading and saving the selection as a ".JOB" file, and showing it.
// GUI thread only.
//
// The layers it joins are kept to separate sources (MainForm.cpp: the panes
// and the bar; MaskGrid.cpp: the grid; ErrorBox.cpp: the boxes), since some
// of their headers do not meet in one source: this header names their
// types only.
#include "framework/forms.h"
#include "stdctrls/button.h"
#include "stdctrls/edit.h"
#include "stdctrls/extctrls.h"
#include "stdctrls/label.h"
#include "stdctrls/opendialog.h"
#include "stdctrls/savedialog.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ax {

class TExplorerTreeview;
class TExplorerListview;
class TCheckboxesSynchronizer;
class TSortGrid;
class TExStatusBar;
class TExStatusPanel;
class TStringList;
class TDisplayServices;
class TSliceWindow;
struct TDataNode;
using PDataNode = TDataNode*;

// The job file's version and form: version 3, no version words.
inline constexpr int32_t kJobVersion = 3;
inline constexpr const char* kAppTitle = "ArdentixXP";

// The backup selection, shown on request in a window of its own.
class TSelectionForm : public TForm {
public:
    explicit TSelectionForm(TComponent* owner);
    AnsiString ClassName() const override { return "TSelectionForm"; }
    TMemo* Memo = nullptr;
    TButton* CloseButton = nullptr;
};

class TMainform : public TForm {
public:
    explicit TMainform(TComponent* owner);
    ~TMainform() override;
    AnsiString ClassName() const override { return "TMainform"; }

    // Roots both panes at a folder (the user's home by default); false
    // when the path names no folder.
    bool SetRootPath(const std::string& folder);
    // Loads a job: the file is opened and its first LoadReadSliceSize
    // records read on the spot (a missing file, or a damaged one found
    // there, is told in a box and changes nothing; false then). The rest is
    // read, then checked against the disk, the storage takes it and both
    // panes are refreshed, in steps served as messages, the gauge showing
    // them; a damage found by a later step is told the same way and leaves
    // the window as it was, job name and all. The job name is the new one
    // once the file is read whole. The selection and a save are the job's
    // from the return on: they finish a step still pending first. A load
    // still under way is finished first.
    bool LoadJob(const std::string& fileName);
    // Whether the panes are still being refreshed after a load.
    bool Loading() const { return loadStep_ != 0; }
    // Saves the selection at once (a save in slices pending is completed
    // and told first); a failure is told in a box. True when saved.
    bool SaveJob(const std::string& fileName);
    // The Save command's save: the job is written SaveSliceSize records a
    // message, the gauge moving, to a file that replaces the job only once
    // whole; its end is told in the bar, a failure in a box too, the old
    // file untouched. The file holds the checks as they were asked for:
    // whatever changes them meanwhile completes the save first. False when
    // it cannot even begin (told in a box).
    bool BeginSaveJob(const std::string& fileName);
    bool Saving() const { return !savingFileName_.empty(); }
    // The save in slices done now and its end told; true when it saved
    // (or none was pending).
    bool FinishSaveJob();
    int SaveSliceSize() const { return saveSliceSize_; }
    void SetSaveSliceSize(int size) { saveSliceSize_ = size < 1 ? 1 : size; }
    // Whether checks changed since the last load or save (the caption
    // then ends in " *").
    bool Modified() const { return modified_; }
    // With checks changed, asks whether to save them first: Yes saves (to
    // the job, or through the save dialog without one), No goes on
    // without saving. True when the caller may go on; false on Cancel and
    // when the save failed or was cancelled.
    bool QuerySaveChanges();
    // Every road to closing the window asks QuerySaveChanges.
    bool CloseQuery() override;
    // The backup selection (the tree storage's CheckedFileNames).
    TStringList& Selection();
    // Shows the selection window with the selection. The records are read
    // SelectionReadSliceSize at a time and the text given to the window
    // SelectionSliceSize paths at a time, each slice a message of its own
    // with the gauge moving; the window shows it whole after the last. The
    // selection shown is the one the reading ended with (a change meanwhile
    // makes it read again); one made while the text is given shows at the
    // next request. Asked again meanwhile, it starts anew.
    void ShowSelection();
    bool ShowingSelection() const { return showing_ != nullptr; }
    int SelectionSliceSize() const { return selectionSliceSize_; }
    void SetSelectionSliceSize(int size) { selectionSliceSize_ = size < 1 ? 1 : size; }
    // How many of a loaded job's records a message checks against the disk.
    int LoadSliceSize() const { return loadSliceSize_; }
    void SetLoadSliceSize(int size) { loadSliceSize_ = size < 1 ? 1 : size; }
    // How many of a job's records a message reads.
    int LoadReadSliceSize() const { return loadReadSliceSize_; }
    void SetLoadReadSliceSize(int size) { loadReadSliceSize_ = size < 1 ? 1 : size; }
    int SelectionReadSliceSize() const { return selectionReadSliceSize_; }
    void SetSelectionReadSliceSize(int size) { selectionReadSliceSize_ = size < 1 ? 1 : size; }
    // Chooses the item of path in the tree (expanding the way to it), and
    // the list follows; false when the tree has no such item.
    bool BrowseTo(const std::string& path);

    // The dialogs' buttons.
    void OpenJobClick(TObject* sender);
    void SaveJobClick(TObject* sender);
    void SelectionClick(TObject* sender);

    // The gauge and the text of the status bar.
    void ShowProgress(int percent, const AnsiString& text);
    void EndProgress(const AnsiString& text);

    // Owned by the form.
    TPanel* ToolPanel = nullptr;
    TButton* OpenJobButton = nullptr;
    TButton* SaveJobButton = nullptr;
    TButton* SelectionButton = nullptr;
    TExplorerTreeview* ExpTree = nullptr;
    TExplorerListview* ExpList = nullptr;
    // Owned by the list: the two panes' check boxes as one selection.
    TCheckboxesSynchronizer* Synchronizer = nullptr;
    TPanel* GridPanel = nullptr;
    TLabel* GridLabel = nullptr;
    TSortGrid* MaskGrid = nullptr;
    TExStatusBar* StatusBar = nullptr;
    TExStatusPanel* PathPanel = nullptr;
    TExStatusPanel* GaugePanel = nullptr;
    TExStatusPanel* CountPanel = nullptr;
    TOpenDialog* OpenDialog = nullptr;
    TSaveDialog* SaveDialog = nullptr;
    TSelectionForm* SelectionForm = nullptr;
    // Where errors are told: a message box unless set (a program without
    // a person at the display writes them out instead).
    std::function<void(const AnsiString& text)> ErrorDisplay;
    // The job last loaded or saved ("" when none).
    const std::string& JobFileName() const { return jobFileName_; }

    void Dispatch(TMessage& message) override;
    // The smallest window at which the panes, the mask grid and the status
    // bar's panels all still show (the size limit the window answers).
    SIZE MinimumSize();

    // A posted request to make a fault inside the window (the crash tests'
    // switch, AX_ARDENTIX_FAULT=window).
    static constexpr UINT WM_INJECTFAULT = WM_APP + 0x40;
    // Posted: the next step of refreshing the panes after a load.
    static constexpr UINT WM_LOADSTEP = WM_APP + 0x43;
    // Posted: checked items the panes lost track of are to be told.
    static constexpr UINT WM_SELECTIONLOST = WM_APP + 0x44;

private:
    void BuildToolPanel();
    void BuildPanes();
    void BuildMaskGrid();
    void BuildStatusBar();
    void TreeChange(PDataNode node);
    void TreeExpanding(PDataNode node);
    void TreeExpanded(PDataNode node);
    // The count of the list's items; the folder it shows (or why that
    // cannot be read) with the gauge at rest.
    void ShowListed();
    void ShowFolder();
    // The gauge while a check spreads over a folder in slices.
    void SpreadProgress(int done, int total);
    // And while the list reads a big folder in slices.
    void ListingProgress(int listed);
    // And while the tree opens a folder of many items in slices.
    void ExpansionProgress(int done, int total);
    void ListRootChange();
    void ErrorBox(const AnsiString& text);
    // The job's name and the modified mark in the caption.
    void UpdateCaption();
    void SetModified(bool modified);
    // Through the save dialog, which starts at the job's name; true when
    // saved.
    bool SaveThroughDialog();
    // The next step of a load (loadStep_: 1 for the first, 0 for none).
    void LoadStep();
    // The job a load read, checked and taken by the storage now if a step
    // of the load has not done it yet.
    void FinishPendingLoad();
    // Reads a slice of the job being read (true: none is read any more).
    bool ReadJobSlice();
    // The job read whole: the window names it.
    void JobRead();
    // The job being read proved damaged: told, and the load given up.
    void DropLoad(const Exception& error);
    // The steps after it: the tree made again, its root open and chosen,
    // then the list shown again.
    void ReloadTree();
    void ReloadList();
    void WMInjectFault(TMessage& message);
    // Adds up to count more paths to the text of the selection being
    // shown; shows it after the last.
    void ShowSelectionSlice();
    void ScheduleSelectionSlice(int percent, const AnsiString& text);
    // A pane's checked items that went while changes were lost: kept, and
    // told in one box once the pane's refresh is over.
    void SelectionLost(const std::vector<WideString>& paths);
    void TellLostSelection();
    // Writes up to records more of the save in slices; after the last, its
    // end told: nothing while it goes on, then whether it saved.
    std::optional<bool> SaveStep(size_t records);

    std::string jobFileName_;
    std::vector<WideString> lostSelection_;
    int loadStep_ = 0;
    bool modified_ = false;
    // The save question is on screen: a second close request waits for it.
    bool asking_ = false;
    // On a display: the shell's menus and boxes shown there.
    std::unique_ptr<TDisplayServices> displayServices_;
    // The selection being shown, and what serves its slices.
    struct SelectionShow;
    std::unique_ptr<SelectionShow> showing_;
    std::unique_ptr<TSliceWindow> showSlices_;
    int selectionSliceSize_ = 20000;
    int selectionReadSliceSize_ = 20000;
    int loadSliceSize_ = 20000;
    // The job being read, until it is read whole.
    std::string readingJob_;
    int loadReadSliceSize_ = 50000;
    // The save in slices under way ("" when none), and whether the checks
    // changed after it was asked for.
    std::string savingFileName_;
    bool changedWhileSaving_ = false;
    std::unique_ptr<TSliceWindow> saveSlices_;
    int saveSliceSize_ = 50000;
};

} // namespace ax
