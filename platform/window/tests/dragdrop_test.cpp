// Drag and drop scripted through the input-injection calls, and the
// clipboard's data-object side.
#include "test_support.h"

#include <functional>
#include <string>

namespace ax::test {
namespace {

std::string Pt(POINTL p) {
    return "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
}

// Records every call as text and answers the usual effect for the keys
// (move when no modifier), or none when refusing.
class RecordingTarget final : public IDropTarget {
public:
    RecordingTarget(std::string name, std::vector<std::string>& log)
        : name_(std::move(name)), log_(log) {}
    bool refuse = false;
    IDataObject* entered = nullptr;

    HRESULT DragEnter(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override {
        entered = data;
        return Answer("enter", keys, pt, effect);
    }
    HRESULT DragOver(DWORD keys, POINTL pt, DWORD* effect) override {
        return Answer("over", keys, pt, effect);
    }
    HRESULT DragLeave() override {
        log_.push_back("leave " + name_);
        return S_OK;
    }
    HRESULT Drop(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override {
        EXPECT_EQ(data, entered);
        return Answer("drop", keys, pt, effect);
    }

private:
    HRESULT Answer(const char* what, DWORD keys, POINTL pt, DWORD* effect) {
        const DWORD allowed = *effect;
        *effect = refuse ? DROPEFFECT_NONE : DropEffectFromKeyState(keys, allowed, DROPEFFECT_MOVE);
        log_.push_back(std::string(what) + " " + name_ + " k" + std::to_string(keys) + " " +
                       Pt(pt) + " " + std::to_string(allowed) + ">" + std::to_string(*effect));
        return S_OK;
    }
    std::string name_;
    std::vector<std::string>& log_;
};

// Plays the user: each time the loop asks whether to go on, the next
// scripted input arrives, and the answer follows the usual rules.
class ScriptedSource final : public IDropSource {
public:
    explicit ScriptedSource(std::vector<std::function<void()>> script)
        : script_(std::move(script)) {}
    std::vector<DWORD> feedback;
    std::vector<DWORD> keys;

    HRESULT QueryContinueDrag(bool escape, DWORD keyState) override {
        keys.push_back(keyState);
        if (next_ < script_.size()) script_[next_++]();
        if (escape) return DRAGDROP_S_CANCEL;
        if (!(keyState & MK_LBUTTON)) return DRAGDROP_S_DROP;
        return S_OK;
    }
    HRESULT GiveFeedback(DWORD effect) override {
        feedback.push_back(effect);
        return DRAGDROP_S_USEDEFAULTCURSORS;
    }

private:
    std::vector<std::function<void()>> script_;
    size_t next_ = 0;
};

class DragDropTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        a = CreateWindowEx(0, "Rec", "A", WS_POPUP | WS_VISIBLE, 0, 0, 200, 150, nullptr);
        b = CreateWindowEx(0, "Rec", "B", WS_POPUP | WS_VISIBLE, 300, 0, 200, 150, nullptr);
        c = CreateWindowEx(0, "Rec", "C", WS_POPUP | WS_VISIBLE, 600, 0, 200, 150, nullptr);
        // b1 has its own target; b2 has none, so B's target serves it.
        b1 = CreateWindowEx(0, "Rec", "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 50, b);
        b2 = CreateWindowEx(0, "Rec", "", WS_CHILD | WS_VISIBLE, 0, 100, 100, 50, b);
        targetB = std::make_shared<RecordingTarget>("B", log);
        targetB1 = std::make_shared<RecordingTarget>("B1", log);
        ASSERT_EQ(RegisterDragDrop(b, targetB), S_OK);
        ASSERT_EQ(RegisterDragDrop(b1, targetB1), S_OK);
        data = CreateDataObject();
        // The user presses the left button in A.
        InjectMouseMove(50, 50);
        InjectMouseButton(MouseButton::Left, true);
        Pump();
        Log().Take();
    }
    void TearDown() override {
        for (UINT vk : {VK_SHIFT, VK_CONTROL, VK_MENU})
            InjectKey(vk, false);
        InjectMouseButton(MouseButton::Left, false);
        Pump();
        WindowTest::TearDown();
    }
    HWND a{}, b{}, c{}, b1{}, b2{};
    std::vector<std::string> log;
    std::shared_ptr<RecordingTarget> targetB, targetB1;
    std::shared_ptr<IDataObject> data;
};

std::function<void()> Move(int x, int y) {
    return [=] { InjectMouseMove(x, y); };
}
std::function<void()> Key(UINT vk, bool down) {
    return [=] { InjectKey(vk, down); };
}
std::function<void()> Release() {
    return [] { InjectMouseButton(MouseButton::Left, false); };
}

TEST_F(DragDropTest, ModifiersChooseTheEffectAndTheDropGetsTheLastOne) {
    ScriptedSource source({Move(350, 120), Key(VK_CONTROL, true), Key(VK_SHIFT, true),
                           Key(VK_CONTROL, false), Move(360, 130), Release()});
    DWORD effect = 99;
    EXPECT_EQ(DoDragDrop(data.get(), &source, DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK,
                         &effect),
              DRAGDROP_S_DROP);
    EXPECT_EQ(effect, DROPEFFECT_MOVE);
    const std::vector<std::string> want = {
        "enter B k1 (350,120) 7>2", // over b2, which has no target of its own
        "over B k9 (350,120) 7>1",  // Ctrl copies
        "over B k13 (350,120) 7>4", // Ctrl+Shift links
        "over B k5 (350,120) 7>2",  // Shift moves
        "over B k5 (360,130) 7>2",  "drop B k4 (360,130) 7>2",
    };
    EXPECT_EQ(log, want);
    // Nothing under the cursor at the start (A has no target), then the answers.
    EXPECT_EQ(source.feedback, (std::vector<DWORD>{0, 2, 1, 4, 2, 2}));
    EXPECT_EQ(source.keys.front(), MK_LBUTTON);
    EXPECT_EQ(targetB->entered, data.get());
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(DragDropTest, TargetsAreLeftWhenTheCursorMovesOnAndNoTargetMeansNoEffect) {
    ScriptedSource source({Move(320, 20), Move(350, 120), Move(650, 50), Release()});
    DWORD effect = 99;
    EXPECT_EQ(DoDragDrop(data.get(), &source, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect),
              DRAGDROP_S_DROP);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    const std::vector<std::string> want = {
        "enter B1 k1 (320,20) 3>2",
        "leave B1",
        "enter B k1 (350,120) 3>2",
        "leave B",
    };
    EXPECT_EQ(log, want);
    EXPECT_EQ(source.feedback, (std::vector<DWORD>{0, 2, 2, 0}));
}

TEST_F(DragDropTest, EscapeCancelsAndLeavesTheTarget) {
    ScriptedSource source({Move(350, 120), [] { InjectKeyStroke(VK_ESCAPE); }, Move(360, 130)});
    DWORD effect = 99;
    EXPECT_EQ(DoDragDrop(data.get(), &source, DROPEFFECT_COPY, &effect), DRAGDROP_S_CANCEL);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    const std::vector<std::string> want = {"enter B k1 (350,120) 1>1", "leave B"};
    EXPECT_EQ(log, want);
    // The Escape key never reached a window.
    Pump();
    EXPECT_TRUE(Log().Only({WM_KEYDOWN}).empty());
}

TEST_F(DragDropTest, ATargetAnsweringNoneIsLeftInsteadOfDroppedOn) {
    targetB->refuse = true;
    ScriptedSource source({Move(350, 120), Release()});
    DWORD effect = 99;
    EXPECT_EQ(DoDragDrop(data.get(), &source, DROPEFFECT_MOVE, &effect), DRAGDROP_S_DROP);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    const std::vector<std::string> want = {"enter B k1 (350,120) 2>0", "leave B"};
    EXPECT_EQ(log, want);
}

TEST_F(DragDropTest, InputQueuedBeforeTheLoopIsFollowedOneEventAtATime) {
    InjectMouseMove(350, 120);
    InjectMouseButton(MouseButton::Left, false);
    ScriptedSource source({});
    DWORD effect = 0;
    EXPECT_EQ(DoDragDrop(data.get(), &source, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect),
              DRAGDROP_S_DROP);
    EXPECT_EQ(effect, DROPEFFECT_MOVE);
    // The loop starts where the cursor already is, then reads the move and
    // the release one after the other.
    const std::vector<std::string> want = {"enter B k1 (350,120) 3>2", "over B k1 (350,120) 3>2",
                                           "drop B k0 (350,120) 3>2"};
    EXPECT_EQ(log, want);
}

TEST_F(DragDropTest, ResentingTimerAsksTheTargetAgainWhileTheMouseRests) {
    ScriptedSource source({Move(350, 120), [this] { clock.Advance(50); }, Release()});
    DWORD effect = 0;
    EXPECT_EQ(DoDragDrop(data.get(), &source, DROPEFFECT_MOVE, &effect), DRAGDROP_S_DROP);
    const std::vector<std::string> want = {"enter B k1 (350,120) 2>2", "over B k1 (350,120) 2>2",
                                           "drop B k0 (350,120) 2>2"};
    EXPECT_EQ(log, want);
}

TEST_F(DragDropTest, RegistrationRules) {
    auto t = std::make_shared<RecordingTarget>("X", log);
    EXPECT_EQ(RegisterDragDrop(b, t), DRAGDROP_E_ALREADYREGISTERED);
    EXPECT_EQ(RegisterDragDrop(nullptr, t), DRAGDROP_E_INVALIDHWND);
    EXPECT_EQ(RegisterDragDrop(c, nullptr), E_INVALIDARG);
    EXPECT_EQ(RevokeDragDrop(c), DRAGDROP_E_NOTREGISTERED);
    EXPECT_EQ(RegisterDragDrop(c, t), S_OK);
    EXPECT_EQ(RevokeDragDrop(c), S_OK);
    EXPECT_EQ(RevokeDragDrop(c), DRAGDROP_E_NOTREGISTERED);
    // The window's end lets go of its target.
    std::weak_ptr<RecordingTarget> weak = targetB1;
    targetB1.reset();
    EXPECT_FALSE(weak.expired());
    DestroyWindow(b1);
    EXPECT_TRUE(weak.expired());
    DWORD effect;
    EXPECT_EQ(DoDragDrop(nullptr, nullptr, 0, &effect), E_INVALIDARG);
}

TEST(DropEffect, FromKeyState) {
    const DWORD all = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    EXPECT_EQ(DropEffectFromKeyState(0, all, DROPEFFECT_MOVE), DROPEFFECT_MOVE);
    EXPECT_EQ(DropEffectFromKeyState(0, DROPEFFECT_COPY | DROPEFFECT_LINK, DROPEFFECT_MOVE),
              DROPEFFECT_COPY);
    EXPECT_EQ(DropEffectFromKeyState(0, DROPEFFECT_LINK, DROPEFFECT_MOVE), DROPEFFECT_LINK);
    EXPECT_EQ(DropEffectFromKeyState(MK_CONTROL, all, DROPEFFECT_MOVE), DROPEFFECT_COPY);
    EXPECT_EQ(DropEffectFromKeyState(MK_SHIFT, all, DROPEFFECT_COPY), DROPEFFECT_MOVE);
    EXPECT_EQ(DropEffectFromKeyState(MK_SHIFT | MK_CONTROL, all, DROPEFFECT_COPY), DROPEFFECT_LINK);
    EXPECT_EQ(DropEffectFromKeyState(MK_ALT, all, DROPEFFECT_COPY), DROPEFFECT_LINK);
    EXPECT_EQ(DropEffectFromKeyState(MK_SHIFT, DROPEFFECT_COPY, DROPEFFECT_COPY), DROPEFFECT_NONE);
    EXPECT_EQ(DropEffectFromKeyState(0, 0, DROPEFFECT_COPY), DROPEFFECT_NONE);
}

// The clipboard's data-object side.
class OleClipboardTest : public WindowTest {};

TEST_F(OleClipboardTest, AnObjectOffersItsFormatsThroughTheClipboard) {
    const UINT custom = RegisterClipboardFormat("Data Tree Reference");
    auto object = CreateDataObject();
    SetDataBytes(*object, custom, {1, 2, 3});
    SetDataBytes(*object, CF_UNICODETEXT, {'h', 0, 'i', 0, 0, 0});
    ASSERT_EQ(OleSetClipboard(object), S_OK);
    EXPECT_EQ(OleIsCurrentClipboard(object.get()), S_OK);
    EXPECT_TRUE(IsClipboardFormatAvailable(custom));
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT)); // made from the wide text
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_HDROP));
    ASSERT_TRUE(OpenClipboard(nullptr));
    EXPECT_EQ(GetClipboardData(custom), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(GetClipboardData(CF_TEXT), (std::vector<uint8_t>{'h', 'i', 0}));
    CloseClipboard();
    // Rendered when asked: a later change of the object shows.
    SetDataBytes(*object, custom, {9});
    EXPECT_EQ(GetClipboardText(), "hi");
    std::shared_ptr<IDataObject> got;
    ASSERT_EQ(OleGetClipboard(&got), S_OK);
    EXPECT_EQ(got, object);
    EXPECT_EQ(GetDataBytes(*got, custom), (std::vector<uint8_t>{9}));
}

TEST_F(OleClipboardTest, EmptyingTheClipboardLetsGoOfTheObject) {
    auto object = CreateDataObject();
    SetDataBytes(*object, CF_TEXT, {'x', 0});
    std::weak_ptr<IDataObject> weak = object;
    ASSERT_EQ(OleSetClipboard(std::move(object)), S_OK);
    EXPECT_FALSE(weak.expired());
    ASSERT_TRUE(SetClipboardText("plain"));
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(OleIsCurrentClipboard(nullptr), S_FALSE);
    // Plain data comes back as a data object holding a copy of it.
    std::shared_ptr<IDataObject> got;
    ASSERT_EQ(OleGetClipboard(&got), S_OK);
    std::vector<FORMATETC> formats;
    ASSERT_EQ(got->EnumFormatEtc(DATADIR_GET, &formats), S_OK);
    ASSERT_EQ(formats.size(), 2u);
    EXPECT_EQ(formats[0].cfFormat, CF_TEXT);
    EXPECT_EQ(formats[1].cfFormat, CF_UNICODETEXT);
    EXPECT_EQ(GetDataBytes(*got, CF_TEXT), (std::vector<uint8_t>{'p', 'l', 'a', 'i', 'n', 0}));
    EXPECT_EQ(GetDataBytes(*got, CF_UNICODETEXT),
              (std::vector<uint8_t>{'p', 0, 'l', 0, 'a', 0, 'i', 0, 'n', 0, 0, 0}));
    // Setting nothing when no object is there changes nothing.
    EXPECT_EQ(OleSetClipboard(nullptr), S_OK);
    EXPECT_EQ(GetClipboardText(), "plain");
}

TEST_F(OleClipboardTest, ClipboardOpenByAnotherThreadRefusesTheObject) {
    WaitableEvent opened, release;
    std::thread other([&] {
        OpenClipboard(nullptr);
        opened.SetEvent();
        WaitableEvent* events[] = {&release};
        MsgWaitForMultipleObjects(events, 0xFFFFFFFF, QS_ALLINPUT);
        CloseClipboard();
    });
    WaitableEvent* started[] = {&opened};
    MsgWaitForMultipleObjects(started, 0xFFFFFFFF, 0);
    EXPECT_EQ(OleSetClipboard(CreateDataObject()), CLIPBRD_E_CANT_OPEN);
    release.SetEvent();
    other.join();
    EXPECT_EQ(OleSetClipboard(CreateDataObject()), S_OK);
    EXPECT_EQ(OleSetClipboard(nullptr), S_OK);
}

} // namespace
} // namespace ax::test
