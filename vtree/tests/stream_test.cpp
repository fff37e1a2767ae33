// The tree stream (written byte for byte as documented), damaged streams,
// the clipboard with its two formats, and a drag inside the tree.
#include <cstring>
#include <random>
#include <unistd.h>

#include "fixture.h"
#include "vtree/DTDataObject.h"

namespace ax {
namespace {

using test::TreeTest;

class StreamTest : public TreeTest {
protected:
    void TearDown() override {
        if (OpenClipboard(nullptr)) {
            EmptyClipboard();
            CloseClipboard();
        }
        TreeTest::TearDown();
    }
    // Node labels travel as the node's data in the stream.
    static void StoreLabels(TBaseDataTree* tree) {
        tree->OnSaveNode = [](TBaseDataTree* t, PDataNode n, TStream& s) {
            const char* text = t->GetNodeData<test::Label>(n)->text;
            s.WriteBuffer(text, int64_t(std::strlen(text)));
        };
        tree->OnLoadNode = [](TBaseDataTree* t, PDataNode n, TStream& s) {
            auto* label = t->GetNodeData<test::Label>(n);
            const int64_t size = std::min<int64_t>(s.Size(), sizeof(label->text) - 1);
            s.ReadBuffer(label->text, size);
            label->text[size] = 0;
        };
    }
    static void Name(TBaseDataTree* tree, PDataNode n, const char* text) {
        std::snprintf(tree->GetNodeData<test::Label>(n)->text, sizeof(test::Label::text), "%s", text);
    }
    // Every node as "label:check state" in tree order, children in brackets.
    static std::string Shape(TBaseDataTree* tree, PDataNode parent = nullptr) {
        std::string s;
        for (PDataNode n = (parent ? parent : tree->RootNode())->FirstChild; n; n = n->NextSibling) {
            if (!s.empty()) s += " ";
            s += LabelOf(tree, n) + ":" + std::to_string(int(n->CheckState));
            if (n->FirstChild) s += "[" + Shape(tree, n) + "]";
        }
        return s;
    }
    static std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
        return std::vector<uint8_t>(values.begin(), values.end());
    }

    // A: checked tri-state box, expanded, with one child B.
    const std::vector<uint8_t> kTwoNodes = Bytes({
        'D', 'T', 'S', 'F', 1, 0, 0, 0,                  // signature, version 1
        1, 0, 0, 0, 50, 0, 0, 0,                         // node A, 50 bytes follow
        1, 0, 0, 0, 18, 0, 0xE1, 0, 2, 1, 0, 0,          // 1 child, height 18, states, checked, tri-state
        2, 0, 0, 0, 1, 0, 0, 0, 'A',                     // data "A"
        1, 0, 0, 0, 21, 0, 0, 0,                         // node B, 21 bytes follow
        0, 0, 0, 0, 18, 0, 0x81, 0, 2, 1, 0, 0,          // no child, initialised and visible
        2, 0, 0, 0, 1, 0, 0, 0, 'B',                     // data "B"
    });
};

TEST_F(StreamTest, SavingWritesTheDocumentedBytes) {
    auto* tree = BareTree();
    StoreLabels(tree);
    tree->OnInitNode = [](TBaseDataTree* t, PDataNode, PDataNode n, TDataNodeInitStates&) {
        t->SetCheckType(n, ctTriStateCheckBox);
    };
    PDataNode a = tree->AddChild(nullptr);
    PDataNode b = tree->AddChild(a);
    tree->InitNode(a);
    tree->InitNode(b);
    Name(tree, a, "A");
    Name(tree, b, "B");
    tree->SetExpanded(a, true);
    tree->SetSelected(b, true); // not stored
    tree->SetCheckState(a, csCheckedNormal);
    TMemoryStream s;
    tree->SaveToStream(s);
    EXPECT_EQ(s.Bytes(), kTwoNodes);
    // One node alone: its subtree.
    TMemoryStream one;
    tree->SaveToStream(one, b);
    EXPECT_EQ(one.Bytes().size(), 8u + 8 + 21);
}

TEST_F(StreamTest, LoadingMakesTheNodesWithTheirStates) {
    auto* tree = BareTree();
    StoreLabels(tree);
    int inits = 0;
    tree->OnInitNode = [&](TBaseDataTree*, PDataNode, PDataNode, TDataNodeInitStates&) { ++inits; };
    tree->SetRootNodeCount(5);
    TMemoryStream s(kTwoNodes);
    tree->LoadFromStream(s);
    EXPECT_EQ(Shape(tree), "A:2[B:2]");
    EXPECT_EQ(tree->RootNodeCount(), 1u);
    PDataNode a = tree->GetFirst();
    EXPECT_TRUE(tree->Expanded(a));
    EXPECT_EQ(a->CheckType, ctTriStateCheckBox);
    EXPECT_EQ(tree->RangeY(), 36);
    EXPECT_EQ(inits, 0) << "loaded nodes were initialised when they were saved";
    EXPECT_EQ(a->Index, 0u);
}

TEST_F(StreamTest, ADamagedStreamChangesNothing) {
    auto* tree = BareTree();
    StoreLabels(tree);
    TMemoryStream good(kTwoNodes);
    tree->LoadFromStream(good);
    auto expectRefused = [&](const std::vector<uint8_t>& bytes, const std::string& what) {
        TMemoryStream s(bytes);
        try {
            tree->LoadFromStream(s);
            ADD_FAILURE() << what << " was accepted";
        } catch (const EDataTreeError& e) {
            EXPECT_EQ(e.Code(), dteDamagedStream) << what;
        }
        EXPECT_EQ(Shape(tree), "A:2[B:2]") << what;
    };
    // Every cut inside a node.
    for (size_t cut = 0; cut < kTwoNodes.size(); ++cut) {
        if (cut == 8) continue; // a stream of no node is a stream
        expectRefused(std::vector<uint8_t>(kTwoNodes.begin(), kTwoNodes.begin() + std::ptrdiff_t(cut)),
                      "cut at " + std::to_string(cut));
    }
    auto patched = [&](size_t at, uint8_t value) {
        auto b = kTwoNodes;
        b[at] = value;
        return b;
    };
    expectRefused(patched(0, 'X'), "another signature");
    expectRefused(patched(4, 2), "version 2");
    expectRefused(patched(16, 2), "two children counted, one held");
    expectRefused(patched(24, 9), "check state 9");
    expectRefused(patched(25, 5), "check type 5");
    expectRefused(patched(20, 0), "height 0");
    expectRefused(patched(12, 0xFF), "a node longer than the stream");
    expectRefused(patched(32, 0xFF), "data longer than its node");
    expectRefused(patched(37, 7), "a child that is no node chunk");
    auto extra = kTwoNodes;
    extra.push_back(0);
    expectRefused(extra, "a stray byte after the last node");
    // A failing data reader leaves the tree as it was too.
    tree->OnLoadNode = [](TBaseDataTree*, PDataNode, TStream&) { throw EReadError("bad label"); };
    TMemoryStream again(kTwoNodes);
    EXPECT_THROW(tree->LoadFromStream(again), EReadError);
    EXPECT_EQ(Shape(tree), "A:2[B:2]");
    EXPECT_EQ(tree->TotalCount(), 2u);
}

TEST_F(StreamTest, RandomDamageIsRefusedOrReadWithoutHarm) {
    auto* tree = BareTree();
    std::mt19937 rng(4242);
    std::vector<uint8_t> big;
    {
        // A larger stream to damage: a hundred nodes on four levels.
        auto* source = BareTree();
        StoreLabels(source);
        source->SetRootNodeCount(4);
        for (PDataNode n = source->GetFirst(); n; n = source->GetNext(n)) {
            Name(source, n, "n");
            if (source->GetNodeLevel(n) < 2) source->SetChildCount(n, 4);
        }
        TMemoryStream s;
        source->SaveToStream(s);
        big = s.Bytes();
    }
    StoreLabels(tree);
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        auto bytes = big;
        const int changes = 1 + int(rng() % 4);
        for (int i = 0; i < changes; ++i) bytes[rng() % bytes.size()] = uint8_t(rng());
        if (rng() % 3 == 0) bytes.resize(rng() % bytes.size());
        TMemoryStream s(bytes);
        try {
            tree->LoadFromStream(s);
            ++accepted;
            for (PDataNode n = tree->GetFirst(); n; n = tree->GetNext(n)) ASSERT_LE(int(n->CheckState), 4);
        } catch (const EDataTreeError&) {
        }
    }
    EXPECT_GT(accepted, 0) << "some damage leaves a readable stream (a label byte, a height)";
}

TEST_F(StreamTest, ANodeSetGoesThroughTheClipboard) {
    auto* tree = ShownTree();
    UseLabels(tree);
    StoreLabels(tree);
    tree->TreeOptions().SetSelectionOptions(toMultiSelect);
    tree->SetRootNodeCount(4);
    PDataNode n0 = tree->GetFirst(), n1 = tree->GetNextSibling(n0), n2 = tree->GetNextSibling(n1),
              n3 = tree->GetNextSibling(n2);
    tree->SetChildCount(n1, 2);
    tree->GetFirstChild(n1);
    tree->GetLastChild(n1);
    tree->SetCheckType(n1->LastChild, ctCheckBox);
    tree->SetCheckState(n1->LastChild, csCheckedNormal);
    tree->SetSelected(n3, true);
    tree->SetSelected(n1, true);
    tree->SetSelected(n1->FirstChild, true); // inside a selected subtree: goes with it
    ASSERT_TRUE(tree->CopyToClipboard());
    std::shared_ptr<IDataObject> data;
    ASSERT_EQ(OleGetClipboard(&data), S_OK);
    std::vector<FORMATETC> formats;
    data->EnumFormatEtc(DATADIR_GET, &formats);
    ASSERT_EQ(formats.size(), 2u);
    EXPECT_EQ(formats[0].cfFormat, CF_DATATREE());
    EXPECT_EQ(formats[1].cfFormat, CF_DATATREEREFERENCE());
    EXPECT_EQ(GetClipboardFormatName(CF_DATATREE()), "Data Tree Data");
    EXPECT_EQ(GetClipboardFormatName(CF_DATATREEREFERENCE()), "Data Tree Reference");
    const std::vector<uint8_t> ref = GetDataBytes(*data, CF_DATATREEREFERENCE());
    ASSERT_EQ(ref.size(), 16u);
    const uint32_t pid = uint32_t(ref[0] | ref[1] << 8 | ref[2] << 16 | uint32_t(ref[3]) << 24);
    EXPECT_EQ(pid, uint32_t(getpid()));
    uint64_t id = 0;
    for (int i = 15; i >= 8; --i) id = id << 8 | ref[size_t(i)];
    EXPECT_EQ(TBaseDataTree::FindTree(id), tree);
    // Pasted as the focused node's last children.
    tree->SetFocusedNode(n0);
    ASSERT_TRUE(tree->PasteFromClipboard());
    EXPECT_EQ(Shape(tree, n0), "1:0[1.0:0 1.1:2] 3:0");
    EXPECT_EQ(Shape(tree), "0:0[1:0[1.0:0 1.1:2] 3:0] 1:0[1.0:0 1.1:2] 2:0 3:0") << "copying keeps the originals";
    // A second paste pastes again.
    tree->SetFocusedNode(n2);
    ASSERT_TRUE(tree->PasteFromClipboard());
    EXPECT_EQ(n2->ChildCount, 2u);
}

TEST_F(StreamTest, CutAndPasteMovesTheNodes) {
    auto* tree = ShownTree();
    UseLabels(tree);
    StoreLabels(tree);
    tree->SetRootNodeCount(3);
    PDataNode n0 = tree->GetFirst(), n1 = tree->GetNextSibling(n0), n2 = tree->GetNextSibling(n1);
    tree->SetSelected(n2, true);
    ASSERT_TRUE(tree->CutToClipboard());
    EXPECT_TRUE(n2->States & vsCutOrCopy);
    EXPECT_TRUE(tree->TreeStates() & tsCutPending);
    // Not into the cut node itself.
    tree->SetFocusedNode(n2);
    EXPECT_FALSE(tree->PasteFromClipboard());
    tree->SetFocusedNode(n1);
    ASSERT_TRUE(tree->PasteFromClipboard());
    EXPECT_EQ(Shape(tree), "0:0 1:0[2:0]");
    EXPECT_FALSE(tree->TreeStates() & tsCutPending);
    EXPECT_FALSE(tree->PasteFromClipboard()) << "the clipboard is emptied by the move";
    // Read-only trees neither cut nor paste.
    tree->TreeOptions().SetMiscOptions(tree->TreeOptions().MiscOptions() | toReadOnly);
    tree->SetSelected(n0, true);
    EXPECT_FALSE(tree->CutToClipboard());
    EXPECT_TRUE(tree->CopyToClipboard());
    EXPECT_FALSE(tree->PasteFromClipboard());
}

TEST_F(StreamTest, TheClipboardKeepsItsDataWhenTheTreeGoes) {
    auto* tree = BareTree();
    StoreLabels(tree);
    PDataNode n = tree->AddChild(nullptr);
    Name(tree, n, "kept");
    tree->SetSelected(n, true);
    ASSERT_TRUE(tree->CopyToClipboard());
    tree->Free();
    std::shared_ptr<IDataObject> data;
    ASSERT_EQ(OleGetClipboard(&data), S_OK);
    HRESULT hr = E_FAIL;
    const std::vector<uint8_t> bytes = GetDataBytes(*data, CF_DATATREE(), &hr);
    ASSERT_EQ(hr, S_OK);
    auto* other = BareTree();
    StoreLabels(other);
    TMemoryStream s(bytes);
    other->LoadFromStream(s);
    EXPECT_EQ(Shape(other), "kept:0");
}

TEST_F(StreamTest, TheDataObjectKeepsFormatsSetFromOutside) {
    auto* tree = BareTree();
    tree->SetSelected(tree->AddChild(nullptr), true);
    TDTDataObject object(tree, false);
    const UINT extra = RegisterClipboardFormat("Extra Format");
    EXPECT_EQ(SetDataBytes(object, extra, {1, 2, 3}), S_OK);
    std::vector<FORMATETC> formats;
    object.EnumFormatEtc(DATADIR_GET, &formats);
    ASSERT_EQ(formats.size(), 3u);
    EXPECT_EQ(formats[2].cfFormat, extra);
    EXPECT_EQ(GetDataBytes(object, extra), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(object.QueryGetData(FormatOf(CF_DATATREE())), S_OK);
    EXPECT_EQ(object.Owner(), tree);
    tree->Free();
    EXPECT_EQ(object.Owner(), nullptr);
    EXPECT_NE(object.QueryGetData(FormatOf(CF_DATATREE())), S_OK) << "a drag object renders only while its tree lives";
    // A tree that names only its own data format offers only that.
    auto* narrow = BareTree();
    narrow->ClipboardFormats().Add("Data Tree Data");
    narrow->ClipboardFormats().Add("data tree data");
    EXPECT_EQ(narrow->ClipboardFormats().Count(), 1);
    TDTDataObject one(narrow, true);
    one.EnumFormatEtc(DATADIR_GET, &formats);
    ASSERT_EQ(formats.size(), 1u);
    EXPECT_EQ(formats[0].cfFormat, CF_DATATREE());
}

TEST_F(StreamTest, ADragInsideTheTreeReachesTheDropEvents) {
    auto* tree = ShownTree();
    UseLabels(tree);
    tree->SetRootNodeCount(5);
    app->ProcessMessages();
    std::vector<std::string> log;
    tree->OnDragAllowed = [&](TBaseDataTree* t, PDataNode n, TColumnIndex, bool& allowed) {
        log.push_back("allowed? " + LabelOf(t, n));
        allowed = true;
    };
    tree->OnDragOver = [&](TBaseDataTree* t, TBaseDataTree* source, TShiftState, TDragState state, POINT, TDropMode,
                           DWORD& effect, bool& accept) {
        if (state == dsDragEnter) log.push_back(std::string("enter from ") + (source == t ? "self" : "elsewhere"));
        accept = true;
        EXPECT_EQ(effect, DWORD(DROPEFFECT_MOVE)) << "inside one tree a drag moves";
    };
    tree->OnDragDrop = [&](TBaseDataTree* t, TBaseDataTree* source, IDataObject* data,
                           const std::vector<FORMATETC>& formats, TShiftState, POINT, DWORD& effect, TDropMode mode) {
        log.push_back("drop " + LabelOf(t, t->DropTargetNode()) + (mode == dmOnNode ? " on" : " beside") +
                      (source == t ? " self" : "") + " formats " + std::to_string(formats.size()));
        TMemoryStream s(GetDataBytes(*data, CF_DATATREE()));
        EXPECT_GT(s.Size(), 8);
        effect = DROPEFFECT_MOVE;
    };
    ClickAt(tree, 30, 18 + 9); // select "1"
    clock.Advance(1000);
    const POINT from = tree->ClientToScreen(POINT{30, 18 + 9});
    const POINT to = tree->ClientToScreen(POINT{30, 3 * 18 + 9});
    InjectMouseMove(from.x, from.y);
    InjectMouseButton(MouseButton::Left, true);
    InjectMouseMove(to.x, to.y - 5);
    InjectKeyStroke(VK_F24); // keeps the moves apart in the input queue
    InjectMouseMove(to.x, to.y);
    InjectKeyStroke(VK_F24);
    InjectMouseButton(MouseButton::Left, false);
    app->ProcessMessages();
    EXPECT_EQ(log, (std::vector<std::string>{"allowed? 1", "enter from self", "drop 3 on self formats 2"}));
    EXPECT_EQ(tree->DropTargetNode(), nullptr);
    EXPECT_FALSE(tree->TreeStates() & tsOLEDragging);
}

} // namespace
} // namespace ax
