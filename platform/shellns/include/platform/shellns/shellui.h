#pragma once
// What the shell does to items: the context-menu model and its tracker,
// verbs, drag and drop objects, the in-process clipboard, and the services
// a display supplies (message boxes, key state, cursor position). Each
// service has a headless implementation so that everything runs in tests.
#include "platform/ole/msgbox.h"
#include "platform/ole/ole.h"
#include "platform/shellns/pidl.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace ax {

// Screen points, as drop targets and menus receive them.
using ShellPoint = POINTL;

// Context-menu query flags (CMF) and command-string forms (GCS).
enum : uint32_t {
    CMF_NORMAL = 0x0,
    CMF_DEFAULTONLY = 0x1,
    CMF_EXPLORE = 0x4,
    CMF_CANRENAME = 0x10,
    CMF_EXTENDEDVERBS = 0x100,
    GCS_VERBA = 0x0,
    GCS_VERBW = 0x4,
    TPM_RIGHTBUTTON = 0x2,
    TPM_RETURNCMD = 0x100,
};

// One menu of the context-menu model; sub-menus are owned by their item.
struct ShellMenu;
struct ShellMenuItem {
    uint32_t id = 0;
    std::u16string caption;
    bool separator = false;
    bool isDefault = false;
    bool checked = false;
    bool disabled = false;
    bool radio = false;
    int breakStyle = 0; // 0 none, 1 column break, 2 bar break
    std::shared_ptr<ShellMenu> subMenu;
    void* data = nullptr; // the application's reference, never read here
};
struct ShellMenu {
    std::vector<ShellMenuItem> items;
    bool rightToLeft = false;
    void Insert(size_t position, ShellMenuItem item);
    // The item with this id, searched through sub-menus; nullptr if none.
    const ShellMenuItem* FindId(uint32_t id) const;
    uint32_t HighestId() const;
};

struct CMINVOKECOMMANDINFO {
    // An integer verb (command offset) when verb is empty.
    uint32_t commandOffset = 0;
    std::string verb;
    uintptr_t window = 0;
    int showCommand = 1;
};

class IContextMenu {
public:
    virtual ~IContextMenu() = default;
    // Adds the items with ids idFirst + offset; answers the highest offset
    // used plus one in the low word of a success code.
    virtual HRESULT QueryContextMenu(ShellMenu& menu, uint32_t indexMenu, uint32_t idFirst,
                                     uint32_t idLast, uint32_t flags) = 0;
    virtual HRESULT GetCommandString(uint32_t commandOffset, uint32_t type, std::string* verb) = 0;
    virtual HRESULT InvokeCommand(const CMINVOKECOMMANDINFO& info) = 0;
};

// Drag and drop uses the shared interfaces of platform/ole/ole.h. The
// shell's data object offers the items as "Shell IDList Array" (below) and,
// when every item is a file, their paths as CF_HDROP.
inline constexpr std::string_view CFSTR_SHELLIDLIST = "Shell IDList Array";
std::shared_ptr<IDataObject> CreateShellDataObject(std::vector<std::string> absolutePidls);

// The "Shell IDList Array" block: count n (u32), n + 1 offsets (u32) from
// the block's start, the parent folder's absolute PIDL, then n PIDLs
// relative to it. Written with the desktop as parent, so the items are
// their absolute PIDLs; reading joins parent and item and refuses offsets
// or items that leave the block.
std::vector<uint8_t> MakeIdListArray(const std::vector<std::string>& absolutePidls);
bool ReadIdListArray(std::span<const uint8_t> block, std::vector<std::string>& absolutePidls);

// What the shell's own drag calls answer when no target is there.
inline constexpr HRESULT DRAGDROP_S_NOTHANDLED = 0x00040100;

// TrackPopupMenu: shows a menu and answers the picked id, 0 when none.
class IMenuTracker {
public:
    virtual ~IMenuTracker() = default;
    virtual uint32_t TrackPopupMenu(const ShellMenu& menu, uint32_t flags, ShellPoint position,
                                    uintptr_t owner) = 0;
};
void SetMenuTracker(IMenuTracker* tracker); // nullptr: headless, picks nothing
IMenuTracker& MenuTracker();

// A tracker that tests script: each Track takes the next step, records the
// menu it was shown and picks by caption (ampersands ignored), by id, or
// nothing.
class ScriptedMenuTracker final : public IMenuTracker {
public:
    void PickCaption(std::u16string caption);
    void PickId(uint32_t id);
    void PickNothing();
    uint32_t TrackPopupMenu(const ShellMenu& menu, uint32_t flags, ShellPoint position,
                            uintptr_t owner) override;
    const std::vector<ShellMenu>& Shown() const { return shown_; }
    const std::vector<ShellPoint>& Positions() const { return positions_; }

private:
    struct Step {
        std::u16string caption;
        uint32_t id = 0;
    };
    std::deque<Step> steps_;
    std::vector<ShellMenu> shown_;
    std::vector<ShellPoint> positions_;
};

// Message boxes (flags and answers: platform/ole/msgbox.h).
class IMessageBoxService {
public:
    virtual ~IMessageBoxService() = default;
    virtual int MessageBox(uintptr_t owner, const std::u16string& text,
                           const std::u16string& caption, uint32_t flags) = 0;
};
void SetMessageBoxService(IMessageBoxService* service); // nullptr: headless
IMessageBoxService& MessageBoxService();

// The headless service: records every box and answers as a person
// pressing Enter would (the default button: IDOK, IDYES...), unless a test
// queued the answers to give first.
class RecordingMessageBoxService final : public IMessageBoxService {
public:
    struct Box {
        std::u16string text;
        std::u16string caption;
        uint32_t flags = 0;
    };
    int MessageBox(uintptr_t owner, const std::u16string& text, const std::u16string& caption,
                   uint32_t flags) override;
    void Answer(int id);
    std::vector<Box> Boxes() const;
    void Clear();

private:
    mutable std::mutex mutex_;
    std::vector<Box> boxes_;
    std::deque<int> answers_;
};

// Key state and cursor position, as the display sees them. The window
// layer's own GetKeyState and GetCursorPos serve windows; this service lets
// the shell ask without depending on a display.
class IInputState {
public:
    // Virtual-key codes of the keys the shell asks about.
    static constexpr int kShift = 0x10;
    static constexpr int kControl = 0x11;
    virtual ~IInputState() = default;
    virtual bool KeyDown(int virtualKey) = 0;
    virtual ShellPoint CursorPos() = 0;
};
void SetInputState(IInputState* state); // nullptr: headless (no key, 0,0)
IInputState& InputState();
// High bit set while the key is down.
int16_t ShellGetKeyState(int virtualKey);
ShellPoint ShellGetCursorPos();

// A settable input state for tests.
class FixedInputState final : public IInputState {
public:
    bool shift = false;
    bool control = false;
    ShellPoint cursor;
    bool KeyDown(int virtualKey) override {
        return (virtualKey == kShift && shift) || (virtualKey == kControl && control);
    }
    ShellPoint CursorPos() override { return cursor; }
};

// The property sheet of items, shown by the display; headless it does
// nothing and answers false.
class IPropertySheetService {
public:
    virtual ~IPropertySheetService() = default;
    virtual bool ShowProperties(const std::vector<std::string>& absolutePidls) = 0;
};
void SetPropertySheetService(IPropertySheetService* service);
IPropertySheetService& PropertySheetService();

// The display's text clipboard, where "Copy as Path" puts the items'
// paths; headless, the text stays in the process.
class ITextClipboard {
public:
    virtual ~ITextClipboard() = default;
    virtual void SetText(const std::string& utf8) = 0;
};
void SetTextClipboard(ITextClipboard* clipboard); // nullptr: headless
ITextClipboard& TextClipboard();
// What the headless text clipboard holds.
std::string HeadlessClipboardText();

// The in-process clipboard of cut and copied items (absolute PIDL bytes).
void SetShellClipboard(std::vector<std::string> absolutePidls, bool cut);
bool GetShellClipboard(std::vector<std::string>& absolutePidls, bool& cut);
void ClearShellClipboard();

} // namespace ax
