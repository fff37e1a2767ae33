// The option check list in stored form: the form-description bytes of
// "InternalVersion" and "Strings" (written by this version and by older
// ones), damaged descriptions, and the ini states.
#include <gtest/gtest.h>

#include "controls/ExCheckListBox.h"
#include "controls_fixture.h"
#include "framework/streaming.h"
#include "temp_folder.h"

namespace ax {
using namespace std::string_literals;
namespace {

using Bytes = std::string;

// A property as the stream holds it: the name with its length byte, then
// the value's bytes.
Bytes Prop(const std::string& name, const Bytes& value) { return Bytes(1, char(name.size())) + name + value; }
Bytes Str(const std::string& s) { return "\x06" + Bytes(1, char(s.size())) + s; }
Bytes Int8(int v) { return "\x02" + Bytes(1, char(v)); }
const Bytes kTrue = "\x09", kFalse = "\x08", kList = "\x01";
const Bytes kEnd(1, '\0');

class StoredCheckListTest : public test::ControlsTest {
protected:
    TExCheckListBox* MakeList(TCheckKind kind = ckCheckBoxes) {
        form = MakeForm();
        auto* list = TComponent::Create<TExCheckListBox>(form);
        list->SetName("List1");
        list->SetParent(form);
        list->SetCheckKind(kind);
        list->OnStateChange = [this](TObject*, int index) { events.push_back(index); };
        return list;
    }
    static Bytes Written(TExCheckListBox& list) {
        TMemoryStream stream;
        TWriter writer(stream);
        writer.WriteProperties(list);
        return Bytes(reinterpret_cast<const char*>(stream.Memory()), size_t(stream.Size()));
    }
    // Reads properties into the list as a form description would: no state
    // events until the description is loaded.
    static void ReadInto(TExCheckListBox& list, const Bytes& properties) {
        TMemoryStream stream;
        stream.WriteBuffer(properties.data(), int64_t(properties.size()));
        stream.SetPosition(0);
        TReader reader(stream);
        list.TComponent::SetState(csReading | csLoading);
        try {
            while (stream.Position() < stream.Size()) reader.ReadProperty(list);
        } catch (...) {
            list.ClearState(csReading | csLoading);
            throw;
        }
        list.ClearState(csReading);
        list.Loaded();
    }
    std::vector<std::string> Texts(TExCheckListBox& list) {
        std::vector<std::string> out;
        for (int i = 0; i < list.Count(); ++i) out.push_back(list.Items()[i]);
        return out;
    }
    std::vector<int> States(TExCheckListBox& list) {
        std::vector<int> out;
        for (int i = 0; i < list.Count(); ++i) out.push_back(list.State(i));
        return out;
    }
    std::vector<bool> Enabled(TExCheckListBox& list) {
        std::vector<bool> out;
        for (int i = 0; i < list.Count(); ++i) out.push_back(list.ItemEnabled(i));
        return out;
    }
    TForm* form = nullptr;
    std::vector<int> events;
};

TEST_F(StoredCheckListTest, WrittenBytes) {
    TExCheckListBox* list = MakeList();
    list->Items().Add("Automatic");
    list->Items().Add("Manual");
    list->SetChecked(0, true);
    list->SetItemEnabled(1, false);
    const Bytes expected = Prop("InternalVersion", "\x03\xCA\x00"s) +
                           Prop("Strings", kList + Str("Automatic") + Int8(1) + kTrue + Str("Manual") + Int8(0) +
                                               kFalse + kEnd);
    const Bytes written = Written(*list);
    const size_t at = written.find("\x0FInternalVersion");
    ASSERT_NE(at, Bytes::npos);
    EXPECT_EQ(written.substr(at), expected);
    // An empty list stores its version only.
    list->Items().Clear();
    EXPECT_EQ(Written(*list).substr(Written(*list).find("\x0FInternalVersion")),
              Prop("InternalVersion", "\x03\xCA\x00"s));
}

TEST_F(StoredCheckListTest, WhatThisVersionWritesReadsBackIdentically) {
    TExCheckListBox* list = MakeList();
    const std::string longText(70000, 'L'); // beyond a short string's 255
    for (const std::string& t : {std::string("one"), std::string(""), longText, std::string("four & more")})
        list->Items().Add(t);
    list->SetState(0, cbGrayed);
    list->SetChecked(2, true);
    list->SetItemEnabled(3, false);
    const Bytes written = Written(*list);
    EXPECT_NE(written.find("\x0C\x70\x11\x01\x00"s), Bytes::npos); // the long text's 32-bit length

    TExCheckListBox* copy = TComponent::Create<TExCheckListBox>(form);
    copy->Items().Add("old");
    ReadInto(*copy, written);
    EXPECT_EQ(copy->InternalVersion(), 202);
    EXPECT_EQ(Texts(*copy), Texts(*list));
    EXPECT_EQ(States(*copy), (std::vector<int>{2, 0, 1, 0}));
    EXPECT_EQ(Enabled(*copy), (std::vector<bool>{true, true, true, false}));
}

TEST_F(StoredCheckListTest, OlderLayouts) {
    // No version: a checked flag and an enabled flag per item.
    TExCheckListBox* list = MakeList();
    ReadInto(*list, Prop("Strings", kList + Str("a") + kTrue + kFalse + Str("b") + kFalse + kTrue + kEnd));
    EXPECT_EQ(list->InternalVersion(), 0);
    EXPECT_EQ(States(*list), (std::vector<int>{1, 0}));
    EXPECT_EQ(Enabled(*list), (std::vector<bool>{false, true}));
    // Versions 1 to 201: the flags, then a state that wins.
    TExCheckListBox* v1 = TComponent::Create<TExCheckListBox>(form);
    ReadInto(*v1, Prop("InternalVersion", Int8(1)) +
                      Prop("Strings", kList + Str("a") + kTrue + kTrue + Int8(2) + Str("b") + kFalse + kTrue +
                                          Int8(0) + kEnd));
    EXPECT_EQ(v1->InternalVersion(), 1);
    EXPECT_EQ(States(*v1), (std::vector<int>{2, 0}));
}

TEST_F(StoredCheckListTest, LoadingARadioListTellsOnceWhenDone) {
    TExCheckListBox* list = MakeList(ckRadioButtons);
    ReadInto(*list, Prop("InternalVersion", "\x03\xCA\x00"s) +
                        Prop("Strings", kList + Str("a") + Int8(0) + kTrue + Str("b") + Int8(0) + kTrue + kEnd));
    // None was checked: the first is, and the re-assertion at the end of
    // loading is the only event.
    EXPECT_EQ(States(*list), (std::vector<int>{1, 0}));
    EXPECT_EQ(events, (std::vector<int>{0}));
}

TEST_F(StoredCheckListTest, ThroughAWholeFormDescription) {
    TExCheckListBox* list = MakeList(ckRadioButtons);
    for (const char* t : {"Maximum", "Normal", "None"}) list->Items().Add(t);
    list->SetCheckedIndex(1);
    TMemoryStream stream;
    WriteComponentResource(stream, *form);
    TForm* other = app->CreateForm<TForm>();
    other->SetName(form->Name());
    auto* target = TComponent::Create<TExCheckListBox>(other);
    target->SetName("List1");
    target->SetParent(other);
    std::vector<int> seen;
    target->OnStateChange = [&](TObject*, int index) { seen.push_back(index); };
    stream.SetPosition(0);
    ReadComponentResource(stream, *other);
    EXPECT_EQ(target->CheckKind(), ckRadioButtons);
    EXPECT_EQ(Texts(*target), (std::vector<std::string>{"Maximum", "Normal", "None"}));
    EXPECT_EQ(target->CheckedIndex(), 1);
    EXPECT_EQ(seen, (std::vector<int>{1}));
}

TEST_F(StoredCheckListTest, DamagedDescriptionsAreRefusedAndChangeNothing) {
    TExCheckListBox* list = MakeList();
    list->Items().Add("kept");
    list->SetChecked(0, true);
    const Bytes version = Prop("InternalVersion", "\x03\xCA\x00"s);
    const Bytes bad[] = {
        // A state outside 0..2.
        version + Prop("Strings", kList + Str("a") + Int8(3) + kTrue + kEnd),
        version + Prop("Strings", kList + Str("a") + Int8(-1) + kTrue + kEnd),
        // A string where the state belongs.
        version + Prop("Strings", kList + Str("a") + Str("1") + kTrue + kEnd),
        // Cut short.
        version + Prop("Strings", kList + Str("a") + Int8(1)),
        version + Prop("Strings", kList + "\x06\x09" + "Auto"),
    };
    for (const Bytes& b : bad) {
        EXPECT_THROW(ReadInto(*list, b), EReadError) << testing::PrintToString(b);
        EXPECT_EQ(Texts(*list), (std::vector<std::string>{"kept"}));
        EXPECT_EQ(States(*list), (std::vector<int>{1}));
    }
    // Every truncation of a good description fails cleanly.
    list->Items().Add("second");
    const Bytes good = Written(*list).substr(Written(*list).find("\x0FInternalVersion"));
    for (size_t n = 1; n < good.size(); ++n) {
        TExCheckListBox* target = TComponent::Create<TExCheckListBox>(form);
        try {
            ReadInto(*target, good.substr(0, n));
        } catch (const EReadError&) {
        } catch (const EStreamError&) {
        }
        form->FreeComponent(target);
    }
}

// ---- Ini states -----------------------------------------------------------------------------

TEST_F(StoredCheckListTest, IniSaveAndRestore) {
    test::TempFolder folder;
    const std::string path = folder.File("states.ini");
    TExCheckListBox* list = MakeList();
    for (const char* t : {"a", "b", "c"}) list->Items().Add(t);
    list->SetState(0, cbGrayed);
    list->SetChecked(2, true);
    {
        TIniFileStorage ini(path);
        ini.WriteString("S", "Stale", "x"); // the section is written afresh
        list->SaveStates(&ini, "S");
    }
    TIniFileStorage ini(path);
    EXPECT_FALSE(ini.ValueExists("S", "Stale"));
    EXPECT_EQ(ini.ReadInteger("S", "Count", -1), 3);
    EXPECT_EQ(ini.ReadInteger("S", "Item0", -1), 2);
    EXPECT_EQ(ini.ReadInteger("S", "Item1", -1), 0);
    EXPECT_EQ(ini.ReadInteger("S", "Item2", -1), 1);

    TExCheckListBox* other = TComponent::Create<TExCheckListBox>(form);
    for (const char* t : {"a", "b", "c", "d"}) other->Items().Add(t);
    other->SetChecked(3, true);
    other->RestoreStates(&ini, "S");
    EXPECT_EQ(States(*other), (std::vector<int>{2, 0, 1, 1})); // the fourth is beyond Count

    // A radio list stops at the first item that reads back checked.
    ini.WriteInteger("S", "Item0", 1);
    ini.WriteInteger("S", "Item2", 1);
    TExCheckListBox* radio = MakeList(ckRadioButtons);
    for (const char* t : {"a", "b", "c"}) radio->Items().Add(t);
    radio->SetCheckedIndex(1);
    radio->RestoreStates(&ini, "S");
    EXPECT_EQ(radio->CheckedIndex(), 0);

    // Counts larger than the list, or negative, are kept in range.
    ini.WriteInteger("S", "Count", 1000000);
    other->RestoreStates(&ini, "S");
    ini.WriteInteger("S", "Count", -3);
    other->RestoreStates(&ini, "S");
}

TEST_F(StoredCheckListTest, IniStatesOutsideTheRangeAreRefused) {
    test::TempFolder folder;
    TIniFileStorage ini(folder.File("bad.ini"));
    ini.WriteInteger("S", "Count", 2);
    ini.WriteInteger("S", "Item0", 1);
    ini.WriteInteger("S", "Item1", 7);
    TExCheckListBox* list = MakeList();
    list->Items().Add("a");
    list->Items().Add("b");
    EXPECT_THROW(list->RestoreStates(&ini, "S"), EReadError);
    EXPECT_EQ(States(*list), (std::vector<int>{0, 0})); // nothing applied
    ini.WriteString("S", "Item1", "junk"); // not a number: the default, 0
    list->RestoreStates(&ini, "S");
    EXPECT_EQ(States(*list), (std::vector<int>{1, 0}));
}

TEST_F(StoredCheckListTest, AFormPlacementCarriesTheStates) {
    test::TempFolder folder;
    TExCheckListBox* list = MakeList();
    for (const char* t : {"a", "b"}) list->Items().Add(t);
    auto* placement = TComponent::Create<TFormPlacement>(form);
    placement->SetIniFileName(folder.File("form.ini"));
    placement->SetIniSection("Main");
    list->SetIniStorage(placement);
    list->SetChecked(1, true);
    placement->SaveFormPlacement();
    list->SetChecked(1, false);
    placement->RestoreFormPlacement();
    EXPECT_TRUE(list->Checked(1));
    TIniFileStorage ini(folder.File("form.ini"));
    EXPECT_EQ(ini.ReadInteger("Main\\TFormList1", "Item1", -1), 1);
    form->FreeComponent(placement);
    EXPECT_EQ(list->IniStorage(), nullptr);
}

} // namespace
} // namespace ax
