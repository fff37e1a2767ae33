// The main window's panes and bar: builds the tool panel, the explorer tree
// and list, the mask grid and the status bar, shows progress while a job
// loads, and keeps the selection window. GUI thread only.
#include "app/MainForm.h"

#include "MainFormParts.h"
#include "app/DisplayServices.h"
#include "app/JobFile.h"
#include "controls/ExStatusBar.h"
#include "platform/ole/msgbox.h"
#include "platform/window/display.h"
#include "explorer/CheckboxesSynchronizer.h"
#include "explorer/ExplorerViews.h"
#include "explorer/SliceWindow.h"
#include "platform/shellns/shellops.h"
#include "rtl/displaytext.h"
#include "rtl/exceptions.h"
#include "rtl/scopeguard.h"
#include "rtl/sysutils.h"
#include "rtl/text.h"
#include "shell/CheckedFileNameWalk.h"
#include "shell/ShellNotifier.h"
#include "explorer/ExpPersistent.h"

#include <algorithm>
#include <iterator>

namespace ax {
namespace {

template <class T> T* Place(TWinControl* parent, TAlign align, int x, int y, int w, int h) {
    T* c = TComponent::Create<T>(parent);
    c->SetParent(parent);
    c->SetBounds(x, y, w, h);
    if (align != alNone) c->SetAlign(align);
    return c;
}

constexpr const char* kJobFilter = "Job files (*.JOB)|*.JOB|All files (*.*)|*.*";

// The bar's panels, left to right.
constexpr int kPathPanelWidth = 380, kGaugePanelWidth = 160;
// The least the window leaves the item count and the panes between the
// tool panel and the mask grid.
constexpr int kMinCountWidth = 80, kMinPaneHeight = 100;

// A folder's columns, Name, Size, Type and Modified, narrower than the
// shell's defaults: all four show whole in the list at the window's
// default size, a vertical scroll bar shown.
constexpr int kFolderColumnWidths[] = {150, 70, 100, 130};

void FitFolderColumns(TCustomExplorerTree* list, TDTHeader& header) {
    TNamespace* root = list->RootNamespace();
    if (!root || !root->FileSystem()) return;
    TDataTreeColumns& columns = header.Columns();
    for (int i = 0; i < columns.Count() && i < int(std::size(kFolderColumnWidths)); ++i)
        columns.Items(i)->SetWidth(kFolderColumnWidths[i]);
}

std::string PathOf(TCustomExplorerTree* tree, PDataNode node) {
    TNamespace* ns = tree->NodeNamespace(node);
    return ns ? EscapedName(WideToUtf8(ns->NameForParsing())) : std::string();
}

// Why the folder cannot be listed, or "".
std::string ReadProblem(TNamespace* folder) {
    if (!folder || !folder->FileSystem()) return {};
    return FolderProblem(WideToUtf8(folder->NameForParsing()));
}

} // namespace

// ---- The selection window ------------------------------------------------------------------

TSelectionForm::TSelectionForm(TComponent* owner) : TForm(owner) {
    SetCaption("Backup selection");
    SetBounds(120, 120, 0, 0);
    SetClientSize(520, 320);
    Memo = Place<TMemo>(this, alNone, 8, 8, 504, 270);
    Memo->SetReadOnly(true);
    Memo->SetScrollBars(ssBoth);
    Memo->OnKeyDown = [this](TObject*, WORD& key, TShiftState shift) {
        if (key == 'A' && (shift & ssCtrl) && !(shift & (ssShift | ssAlt))) {
            Memo->SelectAll();
            key = 0;
        }
    };
    CloseButton = Place<TButton>(this, alNone, 437, 286, 75, 25);
    CloseButton->SetCaption("Close");
    CloseButton->OnClick = [this](TObject*) { Close(); };
}

// ---- The main window -----------------------------------------------------------------------

TMainform::TMainform(TComponent* owner) : TForm(owner) {
    SetCaption(kAppTitle);
    // Fits an 800 x 600 screen with its frame.
    SetBounds(16, 16, 0, 0);
    SetClientSize(760, 520);
    // Bottom-aligned controls stack upwards in the order made.
    BuildStatusBar();
    BuildMaskGrid();
    BuildToolPanel();
    BuildPanes();
    OpenDialog = TComponent::Create<TOpenDialog>(this);
    OpenDialog->SetFilter(kJobFilter);
    OpenDialog->SetDefaultExt("JOB");
    OpenDialog->SetOptions(OpenOptions({ofHideReadOnly, ofFileMustExist, ofPathMustExist, ofEnableSizing}));
    SaveDialog = TComponent::Create<TSaveDialog>(this);
    SaveDialog->SetFilter(kJobFilter);
    SaveDialog->SetDefaultExt("JOB");
    SaveDialog->SetOptions(OpenOptions({ofHideReadOnly, ofOverwritePrompt, ofPathMustExist, ofEnableSizing}));
    if (ActiveDisplay() == DisplayKind::X11) displayServices_ = std::make_unique<TDisplayServices>();
    // Folders the kernel will not watch are followed on a timer: the bar
    // says why, once.
    ChangeNotifier().SetOnCannotFollow([this](const AnsiString& text) {
        if (!HasState(csDestroying)) EndProgress(text);
    });
}

TMainform::~TMainform() {
    ChangeNotifier().SetOnCannotFollow(nullptr);
    // The panes' handlers reach the form: they go first. Marked first, so
    // that what a pane announces while it is taken apart is not asked of it.
    Destroying();
    DestroyComponents();
}

void TMainform::BuildToolPanel() {
    ToolPanel = Place<TPanel>(this, alTop, 0, 0, 760, 36);
    ToolPanel->SetBevelOuter(bvNone);
    OpenJobButton = Place<TButton>(ToolPanel, alNone, 8, 6, 100, 24);
    OpenJobButton->SetCaption("&Open job...");
    OpenJobButton->OnClick = [this](TObject* s) { OpenJobClick(s); };
    SaveJobButton = Place<TButton>(ToolPanel, alNone, 114, 6, 100, 24);
    SaveJobButton->SetCaption("&Save job...");
    SaveJobButton->OnClick = [this](TObject* s) { SaveJobClick(s); };
    SelectionButton = Place<TButton>(ToolPanel, alNone, 220, 6, 100, 24);
    SelectionButton->SetCaption("S&election");
    SelectionButton->OnClick = [this](TObject* s) { SelectionClick(s); };
}

void TMainform::BuildPanes() {
    ExpTree = Place<TExplorerTreeview>(this, alLeft, 0, 36, 280, 300);
    ExpList = Place<TExplorerListview>(this, alClient, 280, 36, 480, 300);
    // The form's own handlers first: the synchroniser passes every event
    // on to the handler it finds.
    ExpTree->OnChange = [this](TBaseDataTree*, PDataNode node) { TreeChange(node); };
    ExpTree->OnExpanding = [this](TBaseDataTree*, PDataNode node, bool&) { TreeExpanding(node); };
    ExpTree->OnExpanded = [this](TBaseDataTree*, PDataNode node) { TreeExpanded(node); };
    ExpList->OnRootChange = [this](TCustomExplorerTree*) { ListRootChange(); };
    // Only the user's own checks come as events: the synchroniser's
    // mirroring and a load's refresh set the boxes directly.
    ExpTree->OnChecked = [this](TBaseDataTree*, PDataNode) { SetModified(true); };
    ExpList->OnChecked = [this](TBaseDataTree*, PDataNode) { SetModified(true); };
    ExpTree->OnSelectionLost = [this](TObject*, const std::vector<WideString>& paths) { SelectionLost(paths); };
    ExpList->OnSelectionLost = [this](TObject*, const std::vector<WideString>& paths) { SelectionLost(paths); };
    // Rows come and go without a new folder too: changes made outside,
    // refreshes.
    ExpList->OnUpdating = [this](TBaseDataTree*, TDTUpdateState state) {
        if (state == usEnd) ShowListed();
    };
    ExpList->OnAddCustomShellColumn = [](TCustomExplorerTree* list, int, TDTHeader& header) {
        FitFolderColumns(list, header);
    };
    ExpTree->SetExplorerListview(ExpList);
    ExpList->SetExplorerTreeview(ExpTree);
    // The list never goes above the folder the tree is rooted at.
    TExplorerTreeOptions& listOptions = ExpList->TreeOptions();
    listOptions.SetExpMiscOptions(listOptions.ExpMiscOptions() | toListviewLimitBrowseToRoot);
    // Files are dragged from the list and within the tree onto folders.
    for (TExplorerTreeOptions* o : {&ExpTree->TreeOptions(), &listOptions})
        o->SetExpShellOptions(o->ExpShellOptions() | toDragDrop);
    Synchronizer = TComponent::Create<TCheckboxesSynchronizer>(ExpList);
    Synchronizer->SetExplorerTreeview(ExpTree);
    Synchronizer->SetExplorerListview(ExpList);
    // A check spreading over a big folder goes in slices: the gauge follows.
    Synchronizer->OnSpreadProgress = [this](TCheckboxesSynchronizer*, int done, int total) {
        SpreadProgress(done, total);
    };
    // So does a big folder listed in slices.
    ExpList->OnListingProgress = [this](TExplorerListview*, int listed) { ListingProgress(listed); };
    // And a folder of many items opened in the tree.
    ExpTree->OnExpansionProgress = [this](TExplorerTreeview*, int done, int total) {
        ExpansionProgress(done, total);
    };
}

void TMainform::BuildMaskGrid() {
    GridPanel = Place<TPanel>(this, alBottom, 0, 350, 760, 150);
    GridPanel->SetBevelOuter(bvNone);
    // The title on a strip of its own; the grid takes the rest, the
    // window's whole width.
    TPanel* titleStrip = Place<TPanel>(GridPanel, alTop, 0, 0, 760, 22);
    titleStrip->SetBevelOuter(bvNone);
    GridLabel = Place<TLabel>(titleStrip, alNone, 8, 4, 0, 0);
    GridLabel->SetCaption("Inclusion Grid");
    MaskGrid = ax::BuildMaskGrid(GridPanel, alClient, 0, 22, 760, 128);
}

void TMainform::BuildStatusBar() {
    StatusBar = Place<TExStatusBar>(this, alBottom, 0, 500, 760, 20);
    PathPanel = StatusBar->Panels().Add();
    PathPanel->SetPanelType(sptEllipsisPath);
    PathPanel->SetWidth(kPathPanelWidth);
    GaugePanel = StatusBar->Panels().Add();
    GaugePanel->SetPanelType(sptGauge);
    GaugePanel->SetWidth(kGaugePanelWidth);
    GaugePanel->GaugeAttrs().SetStyle(gsPercent);
    CountPanel = StatusBar->Panels().Add();
    CountPanel->SetPanelType(sptNormal);
}

// ---- Progress --------------------------------------------------------------------------------

void TMainform::ShowProgress(int percent, const AnsiString& text) {
    GaugePanel->SetEnabled(true);
    GaugePanel->GaugeAttrs().SetPosition(percent);
    PathPanel->SetText(text);
    // Drawn now: the work that follows keeps the loop busy.
    if (StatusBar->HandleAllocated()) {
        PathPanel->Redraw();
        GaugePanel->Redraw();
    }
}

void TMainform::EndProgress(const AnsiString& text) {
    // At rest the gauge shows nothing: no bar, no percentage.
    GaugePanel->SetEnabled(false);
    GaugePanel->GaugeAttrs().SetPosition(0);
    PathPanel->SetText(text);
    if (StatusBar->HandleAllocated()) {
        PathPanel->Redraw();
        GaugePanel->Redraw();
    }
}

void TMainform::SpreadProgress(int done, int total) {
    if (HasState(csDestroying)) return;
    if (!Synchronizer->SpreadPending()) return ShowFolder();
    const std::string path = EscapedName(WideToUtf8(PIDLToPath(Synchronizer->SpreadFolder())));
    // While the folder is read its size is not known yet: the gauge waits.
    ShowProgress(total > 0 ? int(int64_t(done) * 100 / total) : 0, "Checking " + path);
}

void TMainform::ListingProgress(int listed) {
    if (HasState(csDestroying)) return;
    if (!ExpList->ListingPending()) {
        ShowFolder();
        return ShowListed();
    }
    const std::string path = EscapedName(WideToUtf8(PIDLToPath(ExpList->ListingFolder())));
    // The folder's size is known only at its end: the gauge moves toward full.
    const int64_t ahead = int64_t(4) * ExpList->SliceSize();
    ShowProgress(int(int64_t(listed) * 100 / (listed + ahead)), "Listing " + path);
}

void TMainform::ExpansionProgress(int done, int total) {
    if (HasState(csDestroying)) return;
    if (!ExpTree->ExpansionPending()) return ShowFolder();
    const std::string path = EscapedName(WideToUtf8(PIDLToPath(ExpTree->ExpansionFolder())));
    // Reading fills the first half, moving toward it as the size is not
    // known yet; making the nodes the second.
    const int64_t ahead = int64_t(4) * ExpTree->ExpandSliceSize();
    const int64_t percent = total > 0 ? 50 + int64_t(done) * 50 / total : int64_t(done) * 50 / (done + ahead);
    ShowProgress(int(percent), "Listing " + path);
}

void TMainform::ShowListed() {
    // A listing pending shows its progress; reading the list would complete it.
    if (HasState(csDestroying) || ExpList->ListingPending()) return;
    // A folder that cannot be read is not an empty one: the path panel
    // tells why (ShowFolder), and no count is shown.
    TNamespace* shown = ExpList->RootFolderNamespace();
    CountPanel->SetText(ReadProblem(shown).empty() ? std::to_string(ExpList->RootNodeCount()) + " items"
                                                   : std::string());
}

void TMainform::ShowFolder() {
    if (HasState(csDestroying) || ExpList->ListingPending()) return;
    TNamespace* shown = ExpList->RootFolderNamespace();
    const std::string path = shown ? EscapedName(WideToUtf8(shown->NameForParsing())) : std::string();
    const std::string problem = ReadProblem(shown);
    EndProgress(problem.empty() ? path : "Cannot read " + path + ": " + problem);
}

// ---- The panes -------------------------------------------------------------------------------

bool TMainform::SetRootPath(const std::string& folder) {
    if (!DirectoryExists(folder)) return false;
    ShowProgress(0, "Listing " + EscapedName(folder));
    ExpTree->SetRootFolderCustomPath(Utf8ToWide(folder));
    ExpList->SetRootFolderCustomPath(Utf8ToWide(folder));
    ExpTree->SetActive(true);
    ExpList->SetActive(true);
    if (PDataNode root = ExpTree->GetFirst()) {
        ExpTree->SetExpanded(root, true);
        ExpTree->SetFocusedNode(root);
        ExpTree->SetSelected(root, true);
    }
    ShowFolder();
    ShowListed();
    return true;
}

bool TMainform::BrowseTo(const std::string& path) {
    // The list shows the folder; the tree follows what the list announces.
    return ExpList->BrowseToPath(Utf8ToWide(path), false, false, false, false);
}

void TMainform::TreeChange(PDataNode node) {
    if (HasState(csDestroying)) return;
    // The list is about to list the folder chosen.
    TNamespace* chosen = ExpTree->NodeNamespace(node);
    // A listing pending is replaced, not completed: the shown folder is not read.
    TNamespace* shown = ExpList->ListingPending() ? nullptr : ExpList->RootFolderNamespace();
    if (chosen && chosen->Folder() && (!shown || !ILIsEqual(shown->AbsolutePIDL(), chosen->AbsolutePIDL())))
        ShowProgress(0, "Listing " + PathOf(ExpTree, node));
}

void TMainform::ListRootChange() {
    if (HasState(csDestroying)) return;
    ShowFolder();
    ShowListed();
}

void TMainform::TreeExpanding(PDataNode node) {
    if (HasState(csDestroying)) return;
    if (node->ChildCount == 0) ShowProgress(0, "Listing " + PathOf(ExpTree, node));
}

void TMainform::TreeExpanded(PDataNode) {
    if (HasState(csDestroying)) return;
    // Expanding is not choosing: the bar names the list's folder again.
    ShowFolder();
}

// ---- Jobs ------------------------------------------------------------------------------------

bool TMainform::LoadJob(const std::string& fileName) {
    // A save under way ends as the job it was asked for.
    FinishSaveJob();
    // Told as the command line tells it: the file, then why.
    if (const std::string problem = JobOpenProblem(fileName); !problem.empty()) {
        ErrorBox(problem);
        return false;
    }
    // A load under way ends before another begins: the window is never
    // left between two jobs.
    while (loadStep_ != 0)
        LoadStep();
    ShowProgress(0, "Loading " + fileName);
    try {
        // Opened and its first slice read now (a small job whole), so what
        // is wrong there is told on the spot; the rest is read, then checked
        // against the disk (a folder of many items takes a listing), in
        // steps of their own.
        ExpTree->Storage().BeginLoadFromFile(Utf8ToWide(fileName), kJobVersion, false,
                                             size_t(loadReadSliceSize_));
    } catch (const Exception& e) {
        EndProgress("");
        ErrorBox(JobLoadError(fileName, e));
        return false;
    }
    readingJob_ = fileName;
    if (!ExpTree->Storage().LoadReading()) JobRead();
    // The rest in steps served as messages of their own: the window stays
    // alive and the gauge shows how far it got. The storage takes the job,
    // then the panes are made again, their nodes taking their check boxes
    // from it.
    loadStep_ = 1;
    if (HandleAllocated()) PostMessage(Handle(), WM_LOADSTEP, 0, 0);
    else
        while (loadStep_ != 0) LoadStep();
    return true;
}

void TMainform::JobRead() {
    jobFileName_ = std::move(readingJob_);
    readingJob_.clear();
    modified_ = false;
    UpdateCaption();
    ShowProgress(20, "Loading " + jobFileName_);
}

void TMainform::DropLoad(const Exception& error) {
    // The storage has let the job go and is as it was.
    const std::string fileName = std::move(readingJob_);
    readingJob_.clear();
    loadStep_ = 0;
    EndProgress("");
    ErrorBox(JobLoadError(fileName, error));
}

bool TMainform::ReadJobSlice() {
    TRootNodeStorage& storage = ExpTree->Storage();
    if (storage.LoadReading()) {
        try {
            storage.BeginLoadStep(size_t(loadReadSliceSize_));
        } catch (const Exception& e) {
            DropLoad(e);
            return false;
        }
        if (storage.LoadReading())
            ShowProgress(int(20 * storage.BeginLoadProgress()), "Loading " + readingJob_);
        else
            JobRead();
        if (HandleAllocated()) PostMessage(Handle(), WM_LOADSTEP, 0, 0);
        return false;
    }
    // Read whole meanwhile by a step of another kind.
    if (!readingJob_.empty()) JobRead();
    return true;
}

void TMainform::FinishPendingLoad() {
    TRootNodeStorage& storage = ExpTree->Storage();
    if (storage.LoadReading()) {
        try {
            storage.BeginLoadStep(SIZE_MAX);
        } catch (const Exception& e) {
            DropLoad(e);
            return;
        }
    }
    if (!readingJob_.empty()) JobRead();
    storage.FinishLoad();
}

void TMainform::ReloadTree() {
    // A check still spreading ends in the tree it began in.
    Synchronizer->CompletePending();
    ExpTree->RebuildRootNamespace();
    if (PDataNode root = ExpTree->GetFirst()) {
        ExpTree->SetExpanded(root, true);
        ExpTree->SetFocusedNode(root);
        ExpTree->SetSelected(root, true);
    }
}

void TMainform::ReloadList() {
    // Shown again, the list takes its boxes from the tree.
    if (TNamespace* shown = ExpList->RootFolderNamespace()) {
        const UniquePIDL folder(NamespacePIDLManager().CopyPIDL(shown->AbsolutePIDL()));
        ExpList->SetRootFolderCustomPIDL(folder.get());
    }
    ShowListed();
}

void TMainform::LoadStep() {
    struct Step {
        void (TMainform::*run)();
        int progress; // shown once the step is done; the last one ends the gauge
    };
    static constexpr Step kSteps[] = {
        {&TMainform::FinishPendingLoad, 40},
        {&TMainform::ReloadTree, 70},
        {&TMainform::ReloadList, 100},
    };
    constexpr int kLast = int(std::size(kSteps));
    const int at = loadStep_;
    if (at < 1 || at > kLast) return;
    // The job's records are read, then checked against the disk, a slice a
    // message.
    if (at == 1 && !ReadJobSlice()) return;
    if (at == 1 && !ExpTree->Storage().FinishLoadStep(size_t(loadSliceSize_))) {
        const int settled = 20 + int(20 * ExpTree->Storage().FinishLoadProgress());
        ShowProgress(std::max(settled, GaugePanel->GaugeAttrs().Position()), "Loading " + jobFileName_);
        if (HandleAllocated()) PostMessage(Handle(), WM_LOADSTEP, 0, 0);
        return;
    }
    const Step& step = kSteps[at - 1];
    (this->*step.run)();
    if (at == kLast) {
        EndProgress(jobFileName_);
        loadStep_ = 0;
        return;
    }
    ShowProgress(step.progress, "Loading " + jobFileName_);
    loadStep_ = at + 1;
    if (HandleAllocated()) PostMessage(Handle(), WM_LOADSTEP, 0, 0);
}

bool TMainform::SaveJob(const std::string& fileName) {
    FinishSaveJob();
    try {
        FinishPendingLoad();
        ExpTree->Storage().SaveToFile(Utf8ToWide(fileName), kJobVersion, false);
    } catch (const Exception& e) {
        ErrorBox(JobSaveError(fileName, e));
        return false;
    }
    jobFileName_ = fileName;
    modified_ = false;
    UpdateCaption();
    PathPanel->SetText("Saved " + fileName);
    return true;
}

bool TMainform::BeginSaveJob(const std::string& fileName) {
    FinishSaveJob();
    try {
        FinishPendingLoad();
        ExpTree->Storage().BeginSaveToFile(Utf8ToWide(fileName), kJobVersion, false);
    } catch (const Exception& e) {
        ErrorBox(JobSaveError(fileName, e));
        return false;
    }
    savingFileName_ = fileName;
    changedWhileSaving_ = false;
    ShowProgress(0, "Saving " + fileName);
    if (!saveSlices_) saveSlices_ = std::make_unique<TSliceWindow>([this] {
        if (!HasState(csDestroying) && !SaveStep(size_t(saveSliceSize_))) saveSlices_->Schedule();
    });
    saveSlices_->Schedule();
    return true;
}

bool TMainform::FinishSaveJob() {
    if (!Saving()) return true;
    saveSlices_->Cancel();
    std::optional<bool> saved;
    while (!(saved = SaveStep(SIZE_MAX))) {
    }
    return *saved;
}

std::optional<bool> TMainform::SaveStep(size_t records) {
    if (!Saving()) return true;
    const std::string fileName = savingFileName_;
    std::string failure;
    {
        // Whatever ends the save ends the window's part in it, before it
        // is told: a box runs messages.
        ScopeGuard over([this] { savingFileName_.clear(); });
        try {
            if (!ExpTree->Storage().SaveStep(records)) {
                over.Dismiss();
                ShowProgress(int(ExpTree->Storage().SaveProgress() * 100), "Saving " + fileName);
                return std::nullopt;
            }
        } catch (const Exception& e) {
            failure = JobSaveError(fileName, e);
        }
    }
    if (!failure.empty()) {
        // Only the temporary file was written: the job as it was stays.
        const bool kept = FileExists(fileName);
        EndProgress("Not saved: " + fileName + (kept ? " is left as it was" : ""));
        ErrorBox(failure + (kept ? "\n\nThe file is left as it was." : "\n\nNo file was made."));
        return false;
    }
    jobFileName_ = fileName;
    modified_ = changedWhileSaving_;
    UpdateCaption();
    EndProgress("Saved " + fileName);
    return true;
}

void TMainform::SetModified(bool modified) {
    if (modified && Saving()) changedWhileSaving_ = true;
    if (modified == modified_) return;
    modified_ = modified;
    UpdateCaption();
}

void TMainform::UpdateCaption() {
    AnsiString caption = kAppTitle;
    if (!jobFileName_.empty()) caption += " - " + ExtractFileName(jobFileName_);
    if (modified_) caption += " *";
    SetCaption(caption);
}

bool TMainform::QuerySaveChanges() {
    // A save under way may leave nothing to ask.
    FinishSaveJob();
    if (!modified_) return true;
    // A close request while the question is up is answered by it.
    if (asking_) return false;
    asking_ = true;
    const ScopeGuard asked([this] { asking_ = false; });
    AnsiString text = "Save changes to the backup selection?";
    if (!jobFileName_.empty()) text += "\n\n" + jobFileName_;
    switch (AskYesNoCancel(text, kAppTitle)) {
    case IDYES: return jobFileName_.empty() ? SaveThroughDialog() : SaveJob(jobFileName_);
    case IDNO: return true;
    default: return false; // Cancel, or no box could be shown: nothing is lost
    }
}

bool TMainform::CloseQuery() {
    return TForm::CloseQuery() && QuerySaveChanges();
}

TStringList& TMainform::Selection() {
    // A load still pending is the selection already.
    FinishPendingLoad();
    return ExpTree->Storage().CheckedFileNames();
}

struct TMainform::SelectionShow {
    // While the records are read; then the paths are given to the window.
    std::unique_ptr<TCheckedFileNameWalk> walk;
    std::vector<std::string> paths;
    size_t next = 0;
    bool sliced = false;
};

void TMainform::ShowSelection() {
    if (!SelectionForm) SelectionForm = TComponent::Create<TSelectionForm>(this);
    // A load still pending is the selection already.
    FinishPendingLoad();
    auto show = std::make_unique<SelectionShow>();
    show->walk = std::make_unique<TCheckedFileNameWalk>(ExpTree->Storage());
    showing_ = std::move(show);
    ShowSelectionSlice();
}

void TMainform::ShowSelectionSlice() {
    if (!showing_ || HasState(csDestroying)) return;
    SelectionShow& s = *showing_;
    if (s.walk) {
        if (!s.walk->Step(size_t(selectionReadSliceSize_))) {
            ScheduleSelectionSlice(int(s.walk->Progress() * 100), "Reading the selection");
            return;
        }
        s.paths = s.walk->TakePaths();
        s.walk.reset();
        SelectionForm->Memo->SetText(s.paths.empty() ? std::string("(nothing is selected)") : std::string());
        // The window made while the text is empty: made later, it would
        // take the whole text at once.
        SelectionForm->Memo->HandleNeeded();
    }
    // Linux line ends, which is what a copy of the text carries; a line
    // break inside a name shows as an escape, so a line is one path.
    std::string piece;
    for (size_t count = size_t(selectionSliceSize_); s.next < s.paths.size() && count > 0; ++s.next, --count) {
        if (s.next) piece += '\n';
        piece += EscapedName(s.paths[s.next]);
    }
    SelectionForm->Memo->AppendText(piece);
    if (s.next < s.paths.size()) {
        ScheduleSelectionSlice(int(int64_t(s.next) * 100 / int64_t(s.paths.size())), "Showing the selection");
        return;
    }
    const bool sliced = s.sliced;
    showing_.reset();
    SelectionForm->Show();
    if (sliced) ShowFolder();
}

void TMainform::ScheduleSelectionSlice(int percent, const AnsiString& text) {
    showing_->sliced = true;
    if (!showSlices_) showSlices_ = std::make_unique<TSliceWindow>([this] { ShowSelectionSlice(); });
    showSlices_->Schedule();
    ShowProgress(percent, text);
}

void TMainform::OpenJobClick(TObject*) {
    if (!QuerySaveChanges()) return;
    if (OpenDialog->Execute()) LoadJob(OpenDialog->FileName());
}

void TMainform::SaveJobClick(TObject*) {
    if (!jobFileName_.empty()) SaveDialog->SetFileName(jobFileName_);
    if (SaveDialog->Execute()) BeginSaveJob(SaveDialog->FileName());
}

bool TMainform::SaveThroughDialog() {
    if (!jobFileName_.empty()) SaveDialog->SetFileName(jobFileName_);
    return SaveDialog->Execute() && SaveJob(SaveDialog->FileName());
}

void TMainform::SelectionClick(TObject*) {
    ShowSelection();
}

void TMainform::ErrorBox(const AnsiString& text) {
    if (ErrorDisplay) return ErrorDisplay(text);
    ShowErrorBox(text, kAppTitle);
}

// ---- Messages --------------------------------------------------------------------------------

SIZE TMainform::MinimumSize() {
    const int clientWidth = kPathPanelWidth + kGaugePanelWidth + kMinCountWidth;
    const int clientHeight = ToolPanel->Height() + kMinPaneHeight + GridPanel->Height() + StatusBar->Height();
    // The frame as the window has it now.
    return {clientWidth + Width() - ClientWidth(), clientHeight + Height() - ClientHeight()};
}

void TMainform::Dispatch(TMessage& message) {
    switch (message.Msg) {
    case WM_GETMINMAXINFO:
        TForm::Dispatch(message);
        if (auto* info = reinterpret_cast<MINMAXINFO*>(message.LParam)) {
            const SIZE least = MinimumSize();
            info->ptMinTrackSize.x = std::max(info->ptMinTrackSize.x, least.cx);
            info->ptMinTrackSize.y = std::max(info->ptMinTrackSize.y, least.cy);
        }
        return;
    case WM_LOADSTEP:
        LoadStep();
        return;
    case WM_INJECTFAULT:
        WMInjectFault(message);
        return;
    case WM_SELECTIONLOST:
        TellLostSelection();
        return;
    default:
        TForm::Dispatch(message);
    }
}

void TMainform::SelectionLost(const std::vector<WideString>& paths) {
    if (HasState(csDestroying)) return;
    const bool first = lostSelection_.empty();
    // Both panes may tell the same items; each is told once.
    for (const WideString& path : paths)
        if (std::find(lostSelection_.begin(), lostSelection_.end(), path) == lostSelection_.end())
            lostSelection_.push_back(path);
    SetModified(true);
    // Not now: the pane is in the middle of its refresh, which a box's
    // message loop must not enter again.
    if (first && HandleAllocated()) PostMessage(Handle(), WM_SELECTIONLOST, 0, 0);
}

void TMainform::TellLostSelection() {
    constexpr size_t kListed = 20;
    const std::vector<WideString> paths = std::exchange(lostSelection_, {});
    if (paths.empty()) return;
    AnsiString text = "Changes on disk came faster than they could be followed. These checked items "
                      "are no longer where they were and left the selection:\n";
    for (size_t i = 0; i < paths.size() && i < kListed; ++i) text += "\n" + WideToUtf8(paths[i]);
    if (paths.size() > kListed) text += Format("\n... and %d more", int(paths.size() - kListed));
    ErrorBox(text);
}

// Out of line and not inlined: the crash tests look for these names.
__attribute__((noinline)) void TMainform::WMInjectFault(TMessage& message) {
    int* volatile nowhere = nullptr;
    message.Result = *nowhere;
}

} // namespace ax
