#include <gtest/gtest.h>

#include "framework/classes.h"

namespace ax {
namespace {

// Records what it is told about other components.
class Probe : public TComponent {
public:
    explicit Probe(TComponent* owner, std::vector<std::string>* log = nullptr)
        : TComponent(owner), log_(log) {}
    ~Probe() override {
        if (log_) log_->push_back("free " + Name());
    }
    AnsiString ClassName() const override { return "Probe"; }
    void Notification(TComponent* c, TOperation op) override {
        TComponent::Notification(c, op);
        if (log_) log_->push_back(Name() + (op == opInsert ? " +" : " -") + c->Name());
        if (op == opRemove && c == partner) partner = nullptr;
    }
    void Loaded() override {
        TComponent::Loaded();
        ++loadedCount;
    }
    TComponent* partner = nullptr;
    int loadedCount = 0;

private:
    std::vector<std::string>* log_;
};

TEST(Component, OwnerFreesOwnedLastFirstAndSiblingsAreTold) {
    std::vector<std::string> log;
    {
        Probe root(nullptr, &log);
        root.SetName("Root");
        auto* a = TComponent::Create<Probe>(&root, &log);
        a->SetName("A");
        auto* b = TComponent::Create<Probe>(&root, &log);
        b->SetName("B");
        EXPECT_EQ(root.ComponentCount(), 2);
        EXPECT_EQ(b->ComponentIndex(), 1);
        EXPECT_EQ(root.FindComponent("a"), a);
        log.clear();
        a->Free();
        EXPECT_EQ(root.ComponentCount(), 1);
        // The owner passes the removal on to the remaining components, then
        // the component is freed.
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[0], "B -A");
        EXPECT_EQ(log.back(), "free A");
        log.clear();
    }
    // The owner's own destructor body runs first, then its components go.
    EXPECT_EQ(log, (std::vector<std::string>{"free Root", "free B"}));
}

TEST(Component, AnOwnerGoingTellsSiblingsOnlyOfComponentsWithPartners) {
    std::vector<std::string> log;
    Probe outside(nullptr, &log);
    outside.SetName("Outside");
    {
        Probe root(nullptr);
        auto* a = TComponent::Create<Probe>(&root, &log);
        a->SetName("A");
        auto* b = TComponent::Create<Probe>(&root, &log);
        b->SetName("B");
        auto* c = TComponent::Create<Probe>(&root, &log);
        c->SetName("C");
        b->FreeNotification(&outside);
        log.clear();
    }
    // C goes first, told to nobody but the owner; the sibling still there
    // hears of B before it goes, B's partner as it goes; A goes last.
    EXPECT_EQ(log, (std::vector<std::string>{"free C", "A -B", "free B", "Outside -B", "free A"}));
}

TEST(Component, FreeNotificationUnhooksBothWays) {
    std::vector<std::string> log;
    Probe root(nullptr);
    auto* menu = TComponent::Create<Probe>(&root);
    menu->SetName("Menu");
    auto other = std::make_unique<Probe>(nullptr, &log);
    other->SetName("User");
    other->partner = menu;
    menu->FreeNotification(other.get());
    menu->Free();
    EXPECT_EQ(other->partner, nullptr);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0], "User -Menu");

    // A partner that goes first is forgotten: freeing the other later must
    // not touch it.
    auto* second = TComponent::Create<Probe>(&root);
    second->SetName("Second");
    {
        Probe shortLived(nullptr);
        second->FreeNotification(&shortLived);
    }
    second->Free();
    EXPECT_EQ(root.ComponentCount(), 0);
}

TEST(Component, NamesAreCheckedAndUnique) {
    Probe root(nullptr);
    auto* a = TComponent::Create<Probe>(&root);
    a->SetName("Edit1");
    auto* b = TComponent::Create<Probe>(&root);
    EXPECT_THROW(b->SetName("edit1"), EComponentError);
    EXPECT_THROW(b->SetName("1abc"), EComponentError);
    EXPECT_THROW(b->SetName("a b"), EComponentError);
    b->SetName("Edit2");
    a->SetName("EDIT1"); // renaming itself with other case is fine
    EXPECT_EQ(a->Name(), "EDIT1");
    try {
        b->SetName("Edit1");
        FAIL();
    } catch (const EComponentError& e) {
        EXPECT_STREQ(e.what(), "A component named Edit1 already exists");
    }
}

TEST(Component, RemoveAndInsertMoveOwnership) {
    Probe first(nullptr), second(nullptr);
    auto* c = TComponent::Create<Probe>(&first);
    c->SetName("C");
    auto taken = first.RemoveComponent(c);
    ASSERT_TRUE(taken);
    EXPECT_EQ(c->Owner(), nullptr);
    second.InsertComponent(std::move(taken));
    EXPECT_EQ(c->Owner(), &second);
    EXPECT_EQ(first.ComponentCount(), 0);
    EXPECT_EQ(second.ComponentCount(), 1);
    // A name taken in the new owner refuses the insertion.
    auto* d = TComponent::Create<Probe>(&first);
    d->SetName("C");
    EXPECT_THROW(second.InsertComponent(first.RemoveComponent(d)), EComponentError);
}

TEST(Component, DesigningPropagatesToOwned) {
    Probe root(nullptr);
    auto* a = TComponent::Create<Probe>(&root);
    root.SetDesigning(true);
    EXPECT_TRUE(a->HasState(csDesigning));
    root.SetDesigning(false);
    EXPECT_FALSE(a->HasState(csDesigning));
}

class Item : public TCollectionItem {
public:
    using TCollectionItem::TCollectionItem;
    int value = 0;
    void Touch() { Changed(false); }
};

TEST(Collection, UpdateBracketsHoldBackOneChange) {
    TCollection list([](TCollection* c) { return std::make_unique<Item>(c); });
    int changes = 0;
    TCollectionItem* lastItem = reinterpret_cast<TCollectionItem*>(1);
    list.OnChange = [&](TCollection&, TCollectionItem* item) {
        ++changes;
        lastItem = item;
    };
    list.Add();
    EXPECT_EQ(changes, 1);
    list.BeginUpdate();
    list.Add();
    list.Add();
    static_cast<Item*>(list.Items(0))->Touch();
    EXPECT_EQ(changes, 1);
    list.EndUpdate();
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(lastItem, nullptr);
    static_cast<Item*>(list.Items(1))->Touch();
    EXPECT_EQ(lastItem, list.Items(1));
    EXPECT_EQ(list.Items(2)->ID(), 2);
    list.Items(2)->SetIndex(0);
    EXPECT_EQ(list.Items(0)->ID(), 2);
    EXPECT_EQ(list.FindItemID(1)->Index(), 2);
    list.Delete(0);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_THROW(list.Items(5), EListError);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

} // namespace
} // namespace ax
