#include <gtest/gtest.h>

#include "rtl/exceptions.h"
#include "rtl/lists.h"

using namespace ax;

namespace {
std::string MessageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "no exception";
}

TStringList Sorted(TDuplicates d, bool caseSensitive = false) {
    TStringList list;
    list.SetSorted(true);
    list.SetDuplicates(d);
    list.SetCaseSensitive(caseSensitive);
    return list;
}
} // namespace

TEST(StringList, SortedListFindsAndKeepsOrder) {
    TStringList list = Sorted(dupIgnore);
    for (const char* s : {"delta", "Alpha", "charlie", "bravo"}) list.Add(s);
    EXPECT_EQ(list.CommaText(), "Alpha,bravo,charlie,delta");
    int index = -1;
    EXPECT_TRUE(list.Find("CHARLIE", index));
    EXPECT_EQ(index, 2);
    EXPECT_FALSE(list.Find("bz", index));
    EXPECT_EQ(index, 2); // insertion point
    EXPECT_EQ(list.IndexOf("ALPHA"), 0);
    EXPECT_EQ(list.IndexOf("zulu"), -1);
}

TEST(StringList, DuplicatesPolicy) {
    TStringList ignore = Sorted(dupIgnore);
    EXPECT_EQ(ignore.Add("b"), 0);
    ignore.Add("a");
    EXPECT_EQ(ignore.Add("B"), 1); // existing index, nothing added
    EXPECT_EQ(ignore.Count(), 2);

    TStringList error = Sorted(dupError);
    error.Add("x");
    EXPECT_EQ(MessageOf([&] { error.Add("X"); }), "String list does not allow duplicates");
    EXPECT_EQ(error.Count(), 1);

    TStringList accept = Sorted(dupAccept);
    for (const char* s : {"m", "a", "m", "z", "m"}) accept.Add(s);
    EXPECT_EQ(accept.Count(), 5);
    int index = -1;
    EXPECT_TRUE(accept.Find("m", index));
    EXPECT_EQ(index, 1); // the first of the equal items
}

TEST(StringList, CaseSensitivitySwitch) {
    TStringList list = Sorted(dupError, true);
    list.Add("abc");
    list.Add("ABC"); // distinct when case-sensitive
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list[0], "ABC");
    EXPECT_EQ(list.IndexOf("Abc"), -1);
    list.SetCaseSensitive(false);
    EXPECT_NE(list.IndexOf("Abc"), -1);
}

TEST(StringList, MisuseRaisesClassicTexts) {
    TStringList list = Sorted(dupIgnore);
    list.Add("a");
    EXPECT_EQ(MessageOf([&] { list.Insert(0, "b"); }), "Operation not allowed on sorted string list");
    EXPECT_EQ(MessageOf([&] { (void)list[5]; }), "List index out of bounds (5)");
    EXPECT_EQ(MessageOf([&] { list.Delete(-1); }), "List index out of bounds (-1)");
    EXPECT_THROW(list.Objects(1), EStringListError);
    TList pointers;
    EXPECT_EQ(MessageOf([&] { pointers.Delete(0); }), "List index out of bounds (0)");
}

TEST(StringList, TextSplitsEveryLineEnd) {
    TStringList list;
    list.SetText("one\r\ntwo\nthree\rfour");
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list[3], "four");
    EXPECT_EQ(list.Text(), "one\ntwo\nthree\nfour\n");
    list.SetText("");
    EXPECT_EQ(list.Count(), 0);
    list.SetText("\n\n");
    EXPECT_EQ(list.Count(), 2);
}

TEST(StringList, CommaTextQuotesAndRoundTrips) {
    TStringList list;
    for (const char* s : {"plain", "with space", "com,ma", "qu\"ote", "", "tab\there"}) list.Add(s);
    const std::string text = list.CommaText();
    EXPECT_EQ(text, "plain,\"with space\",\"com,ma\",\"qu\"\"ote\",,\"tab\there\"");
    TStringList back;
    back.SetCommaText(text);
    ASSERT_EQ(back.Count(), list.Count());
    for (int i = 0; i < list.Count(); ++i) EXPECT_EQ(back[i], list[i]);

    back.SetCommaText(" a b , c,");
    EXPECT_EQ(back.Count(), 4); // blanks separate unquoted items; a trailing comma adds one
    EXPECT_EQ(back[1], "b");
    EXPECT_EQ(back[3], "");

    TStringList lone;
    lone.Add("");
    EXPECT_EQ(lone.CommaText(), "\"\"");
    back.SetCommaText(lone.CommaText());
    EXPECT_EQ(back.Count(), 1);
}

TEST(StringList, OwnedObjectsAreFreedOnceAndSelfAssignKeepsContent) {
    struct Counted : TObject {
        explicit Counted(int& n) : count(n) {}
        ~Counted() override { ++count; }
        int& count;
    };
    int freed = 0;
    {
        TStringList list;
        list.SetOwnsObjects(true);
        list.AddObject("a", std::make_unique<Counted>(freed).release());
        list.AddObject("b", std::make_unique<Counted>(freed).release());
        list.AddObject("c", std::make_unique<Counted>(freed).release());
        list.Delete(0);
        EXPECT_EQ(freed, 1);
        TStringList& alias = list;
        list = alias;
        EXPECT_EQ(list.Count(), 2);
        EXPECT_EQ(freed, 1);
    }
    EXPECT_EQ(freed, 3);
}

TEST(StringList, ChangeEventsRespectUpdateBrackets) {
    TStringList list;
    int changes = 0;
    list.OnChange = [&](TStringList&) { ++changes; };
    list.Add("a");
    EXPECT_EQ(changes, 1);
    list.BeginUpdate();
    list.Add("b");
    list.Add("c");
    EXPECT_EQ(changes, 1);
    list.EndUpdate();
    EXPECT_EQ(changes, 2);
}

// The bracket raises OnChanging when it opens and OnChange when it closes,
// as the wide list of the shell does: both are the one core.
TEST(StringList, UpdateBracketRaisesOneChangingAndOneChange) {
    TStringList list;
    std::string events;
    list.OnChanging = [&](TStringList&) { events += '<'; };
    list.OnChange = [&](TStringList&) { events += '>'; };
    list.Add("a");
    EXPECT_EQ(events, "<>");
    list.BeginUpdate();
    list.BeginUpdate();
    list.Add("b");
    list.Delete(0);
    list.EndUpdate();
    EXPECT_EQ(events, "<><");
    list.EndUpdate();
    EXPECT_EQ(events, "<><>");
    list.SetText("x\ny\rz\r\n");
    EXPECT_EQ(events, "<><><>");
    EXPECT_EQ(list.Text(), "x\ny\nz\n");
}

TEST(StringList, SortingFollowsTheClassLibrary) {
    TStringList list;
    for (const char* s : {"delta", "Bravo", "alpha", "charlie"}) list.Add(s);
    list.CustomSort([](const TStringList& l, int a, int b) {
        return int(l[a].size()) - int(l[b].size());
    });
    EXPECT_EQ(list[0].size(), 5u);
    EXPECT_EQ(list[3], "charlie");
    list.SetSorted(true);
    EXPECT_EQ(list.CommaText(), "alpha,Bravo,charlie,delta");
    // A sorted list is in order already: a custom order is not imposed.
    list.CustomSort([](const TStringList&, int a, int b) { return b - a; });
    EXPECT_EQ(list.CommaText(), "alpha,Bravo,charlie,delta");
    EXPECT_THROW(list.Move(0, 1), EStringListError);
    EXPECT_EQ(list.Capacity() >= 4, true);
    EXPECT_THROW(list.SetCapacity(2), EStringListError);
}

TEST(StringList, NameValuePairs) {
    TStringList list;
    list.Add("Key=Value");
    list.Add("Other=x=y");
    EXPECT_EQ(list.Values("key"), "Value");
    EXPECT_EQ(list.Values("Other"), "x=y");
    list.SetValue("Key", "");
    EXPECT_EQ(list.Count(), 1);

    // In a sorted list a pair keeps its place when its value changes.
    TStringList sorted;
    sorted.SetSorted(true);
    sorted.Add("b=2");
    sorted.Add("a=1");
    sorted.SetValue("a", "zzz");
    EXPECT_EQ(sorted.CommaText(), "a=zzz,b=2");
}

TEST(PointerList, MoveExchangeSort) {
    int a = 3, b = 1, c = 2;
    TList list;
    list.Add(&a);
    list.Add(&b);
    list.Add(&c);
    list.Sort([](void* x, void* y) { return *static_cast<int*>(x) - *static_cast<int*>(y); });
    EXPECT_EQ(list[0], &b);
    list.Move(0, 2);
    EXPECT_EQ(list[2], &b);
    EXPECT_EQ(list.Remove(&c), 0);
    EXPECT_EQ(list.Count(), 2);
}
