// The tree as a component: form descriptions, the factories a descendant
// overrides, Assign, and the option sets' bits.
#include "fixture.h"
#include "framework/streaming.h"

namespace ax {
namespace {

using test::TreeTest;

TEST_F(TreeTest, TheDescriptionKeepsTheSettings) {
    RegisterDataTreeClasses();
    auto* tree = BareTree();
    tree->SetName("Tree1");
    tree->SetIndent(20);
    tree->SetDefaultNodeHeight(22);
    tree->SetHintMode(hmHint);
    tree->SetDragOperations(DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK);
    tree->SetDefaultText(u"Item");
    tree->ClipboardFormats().Add("Data Tree Data");
    tree->ClipboardFormats().Add("Data Tree Reference");
    TCustomDataTreeOptions& o = tree->TreeOptions();
    o.SetMiscOptions(o.MiscOptions() | toCheckSupport | toEditable);
    o.SetAutoOptions((o.AutoOptions() & ~toAutoTristateTracking) | toAutoHideButtons);
    o.SetSelectionOptions(toMultiSelect | toSiblingSelectConstraint);
    TDTHeader& h = tree->Header();
    h.Columns().Add()->SetText(u"Name");
    TDataTreeColumn* size = h.Columns().Add();
    size->SetText(u"Size");
    size->SetWidth(96);
    size->SetAlignment(taRightJustify);
    size->SetOptions(size->Options() & ~coVisible);
    h.SetOptions(h.Options() | hoVisible);
    h.SetSortColumn(1);
    h.SetSortDirection(sdDescending);
    h.SetHeight(17);
    tree->SetRootNodeCount(5);
    TMemoryStream out;
    WriteComponentResource(out, *tree);
    out.SetPosition(0);
    auto owned = std::make_unique<TDataStringTree>(nullptr);
    TDataStringTree* copy = owned.get();
    ReadComponentResource(out, *copy);
    EXPECT_EQ(copy->Name(), "Tree1");
    EXPECT_EQ(copy->NodeDataSize(), int(sizeof(test::Label)));
    EXPECT_EQ(copy->RootNodeCount(), 5u);
    EXPECT_EQ(copy->Indent(), 20);
    EXPECT_EQ(copy->DefaultNodeHeight(), 22);
    EXPECT_EQ(copy->HintMode(), hmHint);
    EXPECT_EQ(copy->DragOperations(), 7u);
    EXPECT_EQ(copy->DefaultText(), u"Item");
    EXPECT_EQ(copy->ClipboardFormats().Count(), 2);
    EXPECT_EQ(copy->TreeOptions().MiscOptions(), o.MiscOptions());
    EXPECT_EQ(copy->TreeOptions().AutoOptions(), o.AutoOptions());
    EXPECT_EQ(copy->TreeOptions().SelectionOptions(), o.SelectionOptions());
    EXPECT_EQ(copy->TreeOptions().PaintOptions(), o.PaintOptions());
    const TDTHeader& c = copy->Header();
    ASSERT_EQ(c.Columns().Count(), 2);
    EXPECT_EQ(c.Columns()[1]->Text(), u"Size");
    EXPECT_EQ(c.Columns()[1]->Width(), 96);
    EXPECT_EQ(c.Columns()[1]->Alignment(), taRightJustify);
    EXPECT_FALSE(c.Columns()[1]->Options() & coVisible);
    EXPECT_EQ(c.Options(), h.Options());
    EXPECT_EQ(c.SortColumn(), 1);
    EXPECT_EQ(c.SortDirection(), sdDescending);
}

// A descendant's header that builds its columns itself.
class OwnHeader : public TDTHeader {
public:
    using TDTHeader::TDTHeader;
    bool CanWriteColumns() const override { return false; }
};

class OwnColumn : public TDataTreeColumn {
public:
    using TDataTreeColumn::TDataTreeColumn;
};

class OwnOptions : public TCustomDataTreeOptions {
public:
    using TCustomDataTreeOptions::TCustomDataTreeOptions;
    int autoChanges = 0;
    void SetAutoOptions(TAutoOptions value) override {
        TCustomDataTreeOptions::SetAutoOptions(value);
        ++autoChanges;
    }
};

class OwnTree : public TDataStringTree {
public:
    explicit OwnTree(TComponent* owner) : TDataStringTree(owner) {
        // The descendant's classes are made on first use, here in its constructor.
        Header().SetHeight(21);
        TreeOptions().SetAutoOptions(TreeOptions().AutoOptions() & ~toAutoTristateTracking);
    }

protected:
    std::unique_ptr<TDTHeader> CreateHeader() override { return std::make_unique<OwnHeader>(this); }
    std::unique_ptr<TDataTreeColumn> CreateColumn(TCollection* c) override {
        return std::make_unique<OwnColumn>(c);
    }
    std::unique_ptr<TCustomDataTreeOptions> CreateOptions() override { return std::make_unique<OwnOptions>(this); }
};

TEST_F(TreeTest, ADescendantBringsItsOwnHeaderColumnsAndOptions) {
    auto* tree = TComponent::Create<OwnTree>(app.get());
    EXPECT_NE(dynamic_cast<OwnHeader*>(&tree->Header()), nullptr);
    EXPECT_EQ(tree->Header().Height(), 21);
    auto* options = dynamic_cast<OwnOptions*>(&tree->TreeOptions());
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(options->autoChanges, 1);
    EXPECT_NE(dynamic_cast<OwnColumn*>(tree->Header().Columns().Add()), nullptr);
    // Assigning options goes through the descendant's setters.
    TCustomDataTreeOptions other(nullptr);
    other.SetAutoOptions(toAutoSort);
    tree->SetTreeOptions(other);
    EXPECT_EQ(options->autoChanges, 2);
    EXPECT_EQ(tree->TreeOptions().AutoOptions(), TAutoOptions(toAutoSort));
    // Columns the header builds itself stay out of the description.
    tree->SetName("Own1");
    TMemoryStream out;
    WriteComponentResource(out, *tree);
    const std::string bytes(out.Bytes().begin(), out.Bytes().end());
    EXPECT_EQ(bytes.find("Header.Columns"), std::string::npos);
    EXPECT_NE(bytes.find("Header.Height"), std::string::npos);
}

TEST_F(TreeTest, AssignCopiesTheSettingsNotTheNodes) {
    auto* a = BareTree();
    a->SetIndent(31);
    a->TreeOptions().SetPaintOptions(toShowButtons);
    a->Header().Columns().Add()->SetText(u"One");
    a->SetRootNodeCount(3);
    auto* b = BareTree();
    b->Assign(a);
    EXPECT_EQ(b->Indent(), 31);
    EXPECT_EQ(b->TreeOptions().PaintOptions(), TPaintOptions(toShowButtons));
    ASSERT_EQ(b->Header().Columns().Count(), 1);
    EXPECT_EQ(b->Header().Columns()[0]->Text(), u"One");
    EXPECT_EQ(b->RootNodeCount(), 0u);
}

TEST_F(TreeTest, OptionBitsAreWhereOthersLookForThem) {
    EXPECT_EQ(unsigned(hoVisible), 0x400u);
    EXPECT_EQ(unsigned(coVisible), 0x80u);
    EXPECT_EQ(unsigned(vsHasChildren), 1u << 6);
    EXPECT_EQ(unsigned(vsVisible), 1u << 7);
    EXPECT_EQ(unsigned(vsAllChildrenHidden), 1u << 10);
    EXPECT_EQ(unsigned(hiOnItemButton), 0x10u);
    EXPECT_EQ(unsigned(hiOnItemLabel), 0x80u);
    EXPECT_EQ(unsigned(hiOnNormalIcon), 0x400u);
    EXPECT_EQ(unsigned(hiOnStateIcon), 0x800u);
    EXPECT_EQ(int(usBegin), 0);
    EXPECT_EQ(int(usEnd), 4);
    EXPECT_EQ(int(taRightJustify), 1);
    EXPECT_EQ(int(sdDescending), 1);
    // Bits that name nothing are not kept.
    auto* tree = BareTree();
    tree->TreeOptions().SetAutoOptions(0xFFFFFFFF);
    EXPECT_EQ(tree->TreeOptions().AutoOptions(), TAutoOptions(0xDF));
}

TEST_F(TreeTest, HiddenChildrenTakeTheButtonAway) {
    auto* tree = ShownTree();
    tree->SetRootNodeCount(2);
    PDataNode first = tree->GetFirst();
    PDataNode child = tree->AddChild(first);
    app->ProcessMessages();
    THitInfo hit;
    tree->GetHitTestInfoAt(10, 9, true, hit);
    EXPECT_EQ(hit.HitPositions, hiOnItem | hiOnItemButton);
    tree->SetVisible(child, false);
    tree->GetHitTestInfoAt(10, 9, true, hit);
    EXPECT_EQ(hit.HitPositions, hiOnItem | hiOnItemButton) << "without toAutoHideButtons the button stays";
    tree->TreeOptions().SetAutoOptions(tree->TreeOptions().AutoOptions() | toAutoHideButtons);
    tree->GetHitTestInfoAt(10, 9, true, hit);
    EXPECT_EQ(hit.HitPositions, hiOnItem | hiOnItemIndent);
    tree->SetVisible(child, true);
    first->States |= vsAllChildrenHidden; // written directly, as an owner may
    tree->GetHitTestInfoAt(10, 9, true, hit);
    EXPECT_EQ(hit.HitPositions, hiOnItem | hiOnItemIndent);
}

} // namespace
} // namespace ax
