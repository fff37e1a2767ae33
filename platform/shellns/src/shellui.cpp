// The context-menu model, verbs, drag and drop, the clipboard and the
// display services with their headless stand-ins.
#include "items.h"
#include "transfermeter.h"
#include "platform/shellns/contextmenu.h"
#include "platform/shellns/dataobject.h"
#include "platform/shellns/inputstate.h"
#include "platform/shellns/menutracker.h"
#include "platform/shellns/messageboxservice.h"
#include "platform/shellns/propertysheetservice.h"
#include "platform/shellns/recordingmessageboxservice.h"
#include "platform/shellns/scriptedmenutracker.h"
#include "platform/shellns/shellapi.h"
#include "platform/shellns/shellclipboard.h"
#include "platform/shellns/shellops.h"
#include "platform/shellns/textclipboard.h"
#include "rtl/displaytext.h"
#include "rtl/sysutils.h"
#include "rtl/text.h"

#include <algorithm>
#include <atomic>
#include <sys/stat.h>

namespace ax {
namespace {

class HeadlessTracker final : public IMenuTracker {
public:
    uint32_t TrackPopupMenu(const ShellMenu&, uint32_t, ShellPoint, uintptr_t) override {
        return 0;
    }
};

class HeadlessInput final : public IInputState {
public:
    bool KeyDown(int) override { return false; }
    ShellPoint CursorPos() override { return {}; }
};

class HeadlessTextClipboard final : public ITextClipboard {
public:
    void SetText(const std::string& utf8) override {
        std::lock_guard lock(mutex);
        text = utf8;
    }
    std::mutex mutex;
    std::string text;
};

HeadlessTextClipboard& HeadlessText() {
    static HeadlessTextClipboard headless;
    return headless;
}

class HeadlessProperties final : public IPropertySheetService {
public:
    bool ShowProperties(const std::vector<std::string>&) override { return false; }
};

IMenuTracker* g_tracker = nullptr;
IMessageBoxService* g_messageBox = nullptr;
IInputState* g_input = nullptr;
IPropertySheetService* g_properties = nullptr;
ITextClipboard* g_textClipboard = nullptr;

std::mutex g_clipboardMutex;
std::vector<std::string> g_clipboard;
bool g_clipboardCut = false;
std::atomic<IFileClipboard*> g_fileClipboard = nullptr;

std::u16string WithoutAmpersands(const std::u16string& s) {
    std::u16string out;
    for (char16_t c : s)
        if (c != u'&') out.push_back(c);
    return out;
}

std::vector<std::string> PathsOf(const std::vector<std::string>& pidls) {
    std::vector<std::string> out;
    for (const auto& p : pidls)
        out.push_back(SHGetPathFromIDList(reinterpret_cast<PCItemIDList>(p.data())));
    return out;
}

// The paths a dragged data object offers; empty when it offers none.
std::vector<std::string> DraggedPaths(IDataObject* data) {
    std::vector<std::string> paths;
    if (!data) return paths;
    HRESULT hr;
    const std::vector<uint8_t> block = GetDataBytes(*data, CF_HDROP, &hr);
    if (FAILED(hr) || !ReadFileList(block, paths)) paths.clear();
    return paths;
}

void PutU32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}

uint32_t GetU32(std::span<const uint8_t> b, size_t at) {
    return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) |
           (uint32_t(b[at + 3]) << 24);
}

// The length of the PIDL at the start of block, closing zero included; 0
// when it does not end inside the block.
size_t PidlLength(std::span<const uint8_t> block) {
    size_t at = 0;
    for (;;) {
        if (at + 2 > block.size()) return 0;
        const size_t cb = block[at] | (block[at + 1] << 8);
        if (cb == 0) return at + 2;
        if (cb < 3) return 0;
        at += cb;
    }
}

struct Command {
    uint32_t offset;
    const char* verb;
    const char16_t* caption;
};
// Offsets stay fixed whatever the menu shows, so a verb is found by its
// offset alone.
constexpr Command kCommands[] = {
    {0, "open", u"&Open"},
    {1, "cut", u"Cu&t"},
    {2, "copy", u"&Copy"},
    {3, "paste", u"&Paste"},
    {4, "delete", u"&Delete"},
    {5, "rename", u"Rena&me"},
    {6, "properties", u"P&roperties"},
    {7, "link", u"Create &Link"},
    {8, "copyaspath", u"Copy &as Path"}, // an extended verb: with Shift held
};

// The platform's own delete asks first, naming the item or counting them.
bool ConfirmTrash(uintptr_t owner, const std::vector<std::string>& paths) {
    const std::u16string text =
        paths.size() == 1
            ? u"Are you sure you want to move \"" + Utf8ToWide(ExtractFileName(paths[0])) +
                  u"\" to the Trash?"
            : u"Are you sure you want to move these " + Utf8ToWide(std::to_string(paths.size())) +
                  u" items to the Trash?";
    return MessageBoxService().MessageBox(owner, text, u"Confirm Delete",
                                          MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// "Copy as Path": each path in double quotes, one a line.
std::string QuotedPaths(const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& p : paths)
        text += (text.empty() ? "\"" : "\n\"") + p + "\"";
    return text;
}

using shellns::ItemKind;
using shellns::Location;

// What a file operation could not do, told as the shell tells it: one box
// listing each path and why, cut after 30 so that it still fits on the screen.
void ReportProblems(uintptr_t owner, const std::vector<ShellProblem>& problems) {
    if (problems.empty()) return;
    constexpr size_t kListed = 30;
    std::string text;
    for (size_t i = 0; i < problems.size() && i < kListed; ++i)
        text += (text.empty() ? "" : "\n") + problems[i].path + ": " + problems[i].reason;
    if (problems.size() > kListed) text += "\nand " + std::to_string(problems.size() - kListed) + " more";
    MessageBoxService().MessageBox(owner, Utf8ToWide(text), u"Error", MB_OK | MB_ICONERROR);
}

// "Copying 3 items into /home/me/Documents".
std::string ProgressText(const char* verb, size_t count, const std::string& folder) {
    return std::string(verb) + " " + std::to_string(count) + (count == 1 ? " item" : " items") +
           " into " + EscapedName(folder);
}

bool IsFileFolder(const Location& loc) {
    switch (loc.kind) {
    case ItemKind::Documents:
    case ItemKind::Volume:
        return true;
    case ItemKind::Desktop:
        return !loc.path.empty();
    case ItemKind::Entry:
        return shellns::IsFolderItem(loc.path);
    default:
        return false;
    }
}

class ItemContextMenu final : public IContextMenu {
public:
    explicit ItemContextMenu(std::vector<std::string> items) : items_(std::move(items)) {
        for (const auto& b : items_) {
            Location loc;
            shellns::Resolve(b, loc);
            locations_.push_back(loc);
        }
    }

    HRESULT QueryContextMenu(ShellMenu& menu, uint32_t indexMenu, uint32_t idFirst, uint32_t idLast,
                             uint32_t flags) override {
        const bool allEntries =
            std::all_of(locations_.begin(), locations_.end(),
                        [](const Location& l) { return l.kind == ItemKind::Entry; });
        const bool allCopyable =
            std::all_of(locations_.begin(), locations_.end(), [](const Location& l) {
                return l.kind == ItemKind::Entry || l.kind == ItemKind::TrashEntry;
            });
        const bool single = locations_.size() == 1;
        const bool pasteTarget = single && IsFileFolder(locations_[0]);
        std::vector<std::string> clip;
        bool cut = false;
        const bool haveClip = GetShellClipboard(clip, cut);

        size_t at = std::min<size_t>(indexMenu, menu.items.size());
        uint32_t highest = 0;
        auto add = [&](uint32_t offset, bool isDefault, bool disabled) {
            if (idFirst + offset > idLast) return;
            ShellMenuItem item;
            item.id = idFirst + offset;
            item.caption = kCommands[offset].caption;
            item.isDefault = isDefault;
            item.disabled = disabled;
            menu.Insert(at++, std::move(item));
            highest = std::max(highest, offset + 1);
        };
        auto separator = [&] {
            ShellMenuItem s;
            s.separator = true;
            menu.Insert(at++, std::move(s));
        };
        add(0, true, false);
        if (flags & CMF_DEFAULTONLY) return HRESULT(highest);
        if (allCopyable || pasteTarget) separator();
        if (allEntries) add(1, false, false);
        if (allCopyable) add(2, false, false);
        if (allCopyable && (flags & CMF_EXTENDEDVERBS)) add(8, false, false);
        if (pasteTarget) add(3, false, !haveClip);
        if (allEntries) {
            separator();
            add(7, false, false);
            add(4, false, false);
            if (single && (flags & CMF_CANRENAME)) add(5, false, false);
        }
        separator();
        add(6, false, false);
        return HRESULT(highest);
    }

    HRESULT GetCommandString(uint32_t commandOffset, uint32_t, std::string* verb) override {
        if (!verb || commandOffset >= std::size(kCommands)) return E_INVALIDARG;
        *verb = kCommands[commandOffset].verb;
        return S_OK;
    }

    HRESULT InvokeCommand(const CMINVOKECOMMANDINFO& info) override {
        std::string verb = info.verb;
        if (verb.empty()) {
            if (info.commandOffset >= std::size(kCommands)) return E_INVALIDARG;
            verb = kCommands[info.commandOffset].verb;
        }
        const std::vector<std::string> paths = PathsOf(items_);
        if (verb == "open") {
            bool ok = true;
            for (const auto& b : items_) {
                SHELLEXECUTEINFO sei;
                sei.fMask = SEE_MASK_IDLIST;
                sei.lpIDList = reinterpret_cast<PCItemIDList>(b.data());
                sei.hwnd = info.window;
                ok = ShellExecuteEx(sei) && ok;
            }
            return ok ? S_OK : E_FAIL;
        }
        if (verb == "copy" || verb == "cut") {
            SetShellClipboard(items_, verb == "cut");
            return S_OK;
        }
        if (verb == "copyaspath") {
            if (std::any_of(paths.begin(), paths.end(), [](const std::string& p) { return p.empty(); }))
                return E_FAIL;
            TextClipboard().SetText(QuotedPaths(paths));
            return S_OK;
        }
        if (verb == "link") {
            if (!std::all_of(locations_.begin(), locations_.end(),
                             [](const Location& l) { return l.kind == ItemKind::Entry; }))
                return E_FAIL;
            std::vector<ShellProblem> problems;
            bool ok = true;
            for (const std::string& p : paths)
                ok = ShellLinkItem(p, nullptr, &problems) && ok;
            ReportProblems(info.window, problems);
            return ok ? S_OK : E_FAIL;
        }
        if (verb == "paste") {
            if (items_.size() != 1 || !IsFileFolder(locations_[0])) return E_FAIL;
            std::vector<std::string> clip;
            bool cut = false;
            if (!GetShellClipboard(clip, cut)) return E_FAIL;
            const std::vector<std::string> sources = PathsOf(clip);
            if (std::any_of(sources.begin(), sources.end(),
                            [](const std::string& s) { return s.empty(); }))
                return E_FAIL;
            std::vector<ShellProblem> problems;
            const std::string& into = locations_[0].path;
            bool ok = false;
            {
                shellns::TransferMeter meter(uintptr_t(info.window),
                                             ProgressText(cut ? "Moving" : "Copying", sources.size(), into),
                                             sources.size());
                ok = shellns::TransferItems(sources, into, cut, nullptr, &problems, !cut,
                                            [&meter] { meter.ItemDone(); });
            }
            ReportProblems(info.window, problems);
            if (ok && cut) ClearShellClipboard();
            return ok ? S_OK : E_FAIL;
        }
        if (verb == "delete") {
            if (!std::all_of(locations_.begin(), locations_.end(),
                             [](const Location& l) { return l.kind == ItemKind::Entry; }))
                return E_FAIL;
            if (!ConfirmTrash(info.window, paths)) return E_ABORT;
            std::vector<ShellProblem> problems;
            const bool ok = ShellTrashItems(paths, nullptr, &problems);
            ReportProblems(info.window, problems);
            return ok ? S_OK : E_FAIL;
        }
        if (verb == "properties")
            return PropertySheetService().ShowProperties(items_) ? S_OK : E_FAIL;
        // "rename" needs the view's in-place editor; the view handles it.
        return E_NOTIMPL;
    }

private:
    std::vector<std::string> items_;
    std::vector<Location> locations_;
};

class FolderDropTarget final : public IDropTarget {
public:
    explicit FolderDropTarget(std::string absolute) : absolute_(std::move(absolute)) {}
    HRESULT DragEnter(IDataObject* data, uint32_t keyState, ShellPoint, uint32_t* effect) override {
        sources_ = DraggedPaths(data);
        return Effect(keyState, effect);
    }
    HRESULT DragOver(uint32_t keyState, ShellPoint, uint32_t* effect) override {
        return Effect(keyState, effect);
    }
    HRESULT DragLeave() override {
        sources_.clear();
        return S_OK;
    }
    HRESULT Drop(IDataObject* data, uint32_t keyState, ShellPoint pt, uint32_t* effect) override {
        DragEnter(data, keyState, pt, effect);
        // The display answers its user during a long drop: a new drag may
        // come to this target before this one ends.
        const std::vector<std::string> sources = std::move(sources_);
        sources_.clear();
        if (!effect || *effect == DROPEFFECT_NONE) return S_OK;
        Location loc;
        shellns::Resolve(absolute_, loc);
        std::vector<ShellProblem> problems;
        const bool ok = Carry(sources, loc, *effect, problems);
        ReportProblems(0, problems);
        if (!ok) *effect = DROPEFFECT_NONE;
        return S_OK;
    }

private:
    HRESULT Effect(uint32_t keyState, uint32_t* effect) {
        if (!effect) return E_INVALIDARG;
        Location loc;
        const bool usable = shellns::Resolve(absolute_, loc) && !sources_.empty() &&
                            std::none_of(sources_.begin(), sources_.end(),
                                         [](const std::string& s) { return s.empty(); });
        uint32_t wanted = DROPEFFECT_NONE;
        if (usable) {
            if (loc.kind == ItemKind::RecycleBin)
                wanted = DROPEFFECT_MOVE;
            else if (IsFileFolder(loc))
                wanted = Chosen(keyState, loc.path, *effect);
        }
        *effect = (*effect & wanted) ? wanted : DROPEFFECT_NONE;
        return S_OK;
    }
    // Ctrl+Shift or Alt links; Ctrl copies and Shift moves; with none, files
    // move within their file system and are copied to another one. A source
    // that allows only some effects gets one of those.
    uint32_t Chosen(uint32_t keyState, const std::string& into, uint32_t allowed) const {
        const bool ctrl = keyState & MK_CONTROL, shift = keyState & MK_SHIFT;
        if (((ctrl && shift) || (keyState & MK_ALT)) && (allowed & DROPEFFECT_LINK))
            return DROPEFFECT_LINK;
        const bool move = !ctrl && (shift || OnFileSystemOf(into));
        uint32_t wanted = move ? DROPEFFECT_MOVE : DROPEFFECT_COPY;
        if (!(allowed & wanted)) wanted ^= DROPEFFECT_COPY | DROPEFFECT_MOVE;
        if (!(allowed & wanted) && (allowed & DROPEFFECT_LINK)) wanted = DROPEFFECT_LINK;
        return wanted;
    }
    static bool Carry(const std::vector<std::string>& sources, const Location& loc, uint32_t effect,
                      std::vector<ShellProblem>& problems) {
        if (loc.kind == ItemKind::RecycleBin) return ShellTrashItems(sources, nullptr, &problems);
        const char* verb = effect == DROPEFFECT_LINK ? "Linking" : effect == DROPEFFECT_MOVE ? "Moving" : "Copying";
        shellns::TransferMeter meter(0, ProgressText(verb, sources.size(), loc.path), sources.size());
        if (effect != DROPEFFECT_LINK)
            return shellns::TransferItems(sources, loc.path, effect == DROPEFFECT_MOVE, nullptr,
                                          &problems, false, [&meter] { meter.ItemDone(); });
        bool ok = true;
        for (const std::string& source : sources) {
            ok = ShellLinkItemInto(source, loc.path, nullptr, &problems) && ok;
            meter.ItemDone();
        }
        return ok;
    }
    bool OnFileSystemOf(const std::string& folder) const {
        struct stat target {};
        if (stat(folder.c_str(), &target) != 0) return false;
        return std::all_of(sources_.begin(), sources_.end(), [&](const std::string& s) {
            struct stat st {};
            return lstat(s.c_str(), &st) == 0 && st.st_dev == target.st_dev;
        });
    }
    std::string absolute_;
    std::vector<std::string> sources_;
};

} // namespace

namespace shellns {
std::shared_ptr<IContextMenu> CreateItemContextMenu(std::vector<std::string> absolutePidls) {
    return std::make_shared<ItemContextMenu>(std::move(absolutePidls));
}
std::shared_ptr<IDropTarget> CreateFolderDropTarget(std::string absoluteBytes) {
    return std::make_shared<FolderDropTarget>(std::move(absoluteBytes));
}
} // namespace shellns

std::shared_ptr<IDataObject> CreateShellDataObject(std::vector<std::string> absolutePidls) {
    auto data = CreateDataObject();
    SetDataBytes(*data, RegisterClipboardFormat(CFSTR_SHELLIDLIST), MakeIdListArray(absolutePidls));
    const std::vector<std::string> paths = PathsOf(absolutePidls);
    if (!paths.empty() &&
        std::none_of(paths.begin(), paths.end(), [](const std::string& p) { return p.empty(); }))
        SetDataBytes(*data, CF_HDROP, MakeFileList(paths));
    return data;
}

std::vector<uint8_t> MakeIdListArray(const std::vector<std::string>& absolutePidls) {
    const size_t n = absolutePidls.size();
    std::vector<uint8_t> v(4 * (n + 2), 0);
    PutU32(v, 0, static_cast<uint32_t>(n));
    PutU32(v, 4, static_cast<uint32_t>(v.size()));
    v.push_back(0); // the desktop, parent of every absolute PIDL
    v.push_back(0);
    for (size_t i = 0; i < n; ++i) {
        PutU32(v, 4 * (i + 2), static_cast<uint32_t>(v.size()));
        const std::string& p = absolutePidls[i];
        const size_t len = PidlLength({reinterpret_cast<const uint8_t*>(p.data()), p.size()});
        // The stored bytes end at the closing zero; add one when it is missing.
        const size_t body = len ? len - 2 : p.size();
        v.insert(v.end(), p.begin(), p.begin() + static_cast<std::ptrdiff_t>(body));
        v.push_back(0);
        v.push_back(0);
    }
    return v;
}

bool ReadIdListArray(std::span<const uint8_t> block, std::vector<std::string>& absolutePidls) {
    absolutePidls.clear();
    if (block.size() < 8) return false;
    const uint32_t n = GetU32(block, 0);
    if (n > (block.size() - 4) / 4 - 1) return false;
    auto pidlAt = [&](uint32_t offset, std::string& out) {
        if (offset >= block.size()) return false;
        const size_t len = PidlLength(block.subspan(offset));
        if (!len) return false;
        out.assign(reinterpret_cast<const char*>(block.data() + offset), len);
        return true;
    };
    std::string parent;
    if (!pidlAt(GetU32(block, 4), parent)) return false;
    parent.resize(parent.size() - 2);
    for (uint32_t i = 0; i < n; ++i) {
        std::string item;
        if (!pidlAt(GetU32(block, 8 + 4 * size_t(i)), item)) {
            absolutePidls.clear();
            return false;
        }
        absolutePidls.push_back(parent + item);
    }
    return true;
}

void ShellMenu::Insert(size_t position, ShellMenuItem item) {
    items.insert(items.begin() + std::min(position, items.size()), std::move(item));
}

const ShellMenuItem* ShellMenu::FindId(uint32_t id) const {
    for (const auto& item : items) {
        if (!item.separator && item.id == id && !item.subMenu) return &item;
        if (item.subMenu)
            if (const ShellMenuItem* found = item.subMenu->FindId(id)) return found;
    }
    return nullptr;
}

uint32_t ShellMenu::HighestId() const {
    uint32_t highest = 0;
    for (const auto& item : items) {
        highest = std::max(highest, item.id);
        if (item.subMenu) highest = std::max(highest, item.subMenu->HighestId());
    }
    return highest;
}

void SetMenuTracker(IMenuTracker* tracker) {
    g_tracker = tracker;
}
IMenuTracker& MenuTracker() {
    static HeadlessTracker headless;
    return g_tracker ? *g_tracker : headless;
}

void ScriptedMenuTracker::PickCaption(std::u16string caption) {
    steps_.push_back({WithoutAmpersands(caption), 0});
}
void ScriptedMenuTracker::PickId(uint32_t id) {
    steps_.push_back({{}, id});
}
void ScriptedMenuTracker::PickNothing() {
    steps_.push_back({});
}

uint32_t ScriptedMenuTracker::TrackPopupMenu(const ShellMenu& menu, uint32_t, ShellPoint position,
                                             uintptr_t) {
    shown_.push_back(menu);
    positions_.push_back(position);
    if (steps_.empty()) return 0;
    const Step step = steps_.front();
    steps_.pop_front();
    if (step.id) return step.id;
    if (step.caption.empty()) return 0;
    std::function<uint32_t(const ShellMenu&)> find = [&](const ShellMenu& m) -> uint32_t {
        for (const auto& item : m.items) {
            if (item.subMenu) {
                if (uint32_t id = find(*item.subMenu)) return id;
            } else if (!item.separator && !item.disabled &&
                       WithoutAmpersands(item.caption) == step.caption) {
                return item.id;
            }
        }
        return 0;
    };
    return find(menu);
}

int RecordingMessageBoxService::MessageBox(uintptr_t, const std::u16string& text,
                                           const std::u16string& caption, uint32_t flags) {
    std::lock_guard lock(mutex_);
    boxes_.push_back({text, caption, flags});
    if (!answers_.empty()) {
        const int answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    // The buttons of each set, in order; the default is the first unless
    // MB_DEFBUTTONn names another.
    static const std::vector<int> kSets[] = {{IDOK},           {IDOK, IDCANCEL},
                                             {IDABORT, IDRETRY, IDIGNORE},
                                             {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO},
                                             {IDRETRY, IDCANCEL}};
    const std::vector<int>& set = kSets[std::min<uint32_t>(flags & 0xF, 5)];
    const size_t chosen = (flags >> 8) & 0xF;
    return set[chosen < set.size() ? chosen : 0];
}
void RecordingMessageBoxService::Answer(int id) {
    std::lock_guard lock(mutex_);
    answers_.push_back(id);
}
std::vector<RecordingMessageBoxService::Box> RecordingMessageBoxService::Boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
}
void RecordingMessageBoxService::Clear() {
    std::lock_guard lock(mutex_);
    boxes_.clear();
}

void SetMessageBoxService(IMessageBoxService* service) {
    g_messageBox = service;
}
IMessageBoxService& MessageBoxService() {
    static RecordingMessageBoxService headless;
    return g_messageBox ? *g_messageBox : headless;
}

void SetInputState(IInputState* state) {
    g_input = state;
}
IInputState& InputState() {
    static HeadlessInput headless;
    return g_input ? *g_input : headless;
}
int16_t ShellGetKeyState(int virtualKey) {
    return InputState().KeyDown(virtualKey) ? int16_t(0x8000) : 0;
}
ShellPoint ShellGetCursorPos() {
    return InputState().CursorPos();
}

void SetPropertySheetService(IPropertySheetService* service) {
    g_properties = service;
}
IPropertySheetService& PropertySheetService() {
    static HeadlessProperties headless;
    return g_properties ? *g_properties : headless;
}

void SetTextClipboard(ITextClipboard* clipboard) {
    g_textClipboard = clipboard;
}
ITextClipboard& TextClipboard() {
    return g_textClipboard ? *g_textClipboard : HeadlessText();
}
std::string HeadlessClipboardText() {
    std::lock_guard lock(HeadlessText().mutex);
    return HeadlessText().text;
}

void SetFileClipboard(IFileClipboard* clipboard) {
    g_fileClipboard = clipboard;
}

void SetShellClipboard(std::vector<std::string> absolutePidls, bool cut) {
    const std::vector<std::string> paths = PathsOf(absolutePidls);
    {
        std::lock_guard lock(g_clipboardMutex);
        g_clipboard = std::move(absolutePidls);
        g_clipboardCut = cut;
    }
    // Items that are no files (in the trash, say) stay in the process.
    IFileClipboard* files = g_fileClipboard;
    if (files && !paths.empty() &&
        std::none_of(paths.begin(), paths.end(), [](const std::string& p) { return p.empty(); }))
        files->Offer(paths, cut);
}
bool GetShellClipboard(std::vector<std::string>& absolutePidls, bool& cut) {
    if (IFileClipboard* files = g_fileClipboard)
        if (std::optional<IFileClipboard::Files> foreign = files->Foreign()) {
            absolutePidls.clear();
            for (const std::string& path : foreign->paths)
                if (!path.empty() && path.front() == '/')
                    absolutePidls.push_back(PathToPidlBytes(path));
            cut = foreign->cut;
            return !absolutePidls.empty();
        }
    std::lock_guard lock(g_clipboardMutex);
    absolutePidls = g_clipboard;
    cut = g_clipboardCut;
    return !g_clipboard.empty();
}
void ClearShellClipboard() {
    {
        std::lock_guard lock(g_clipboardMutex);
        g_clipboard.clear();
        g_clipboardCut = false;
    }
    // Files another program cut are gone once pasted: empty its clipboard too.
    if (IFileClipboard* files = g_fileClipboard) files->Offer({}, false);
}

} // namespace ax
