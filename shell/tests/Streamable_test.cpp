#include "temp_dir.h"
#include "rtl/exceptions.h"
#include "shell/PIDLTools.h"
#include "shell/Streamable.h"
#include "shell/WideStrings.h"

#include <filesystem>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ax {
namespace {

using Bytes = std::vector<uint8_t>;

using test::TempDir;

Bytes ReadAll(const WideString& name) {
    std::ifstream in(WideToUtf8(name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

int64_t LiveBlocks() {
    IMalloc* m = nullptr;
    SHGetMalloc(&m);
    return m->LiveBlocks();
}

// A descendant in the way the node storage is one: the base first, then its
// own data, the layout depending on StreamVersion.
class TItem : public TStreamableClass {
public:
    int32_t Value = 0;
    bool FailAfterWriting = false;

    void LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) override {
        TStreamableClass::LoadFromStream(stream, version, readVerFromStream);
        Value = StreamVersion() >= 2 ? stream.ReadValue<int32_t>() : stream.ReadValue<uint8_t>();
    }
    void SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) override {
        TStreamableClass::SaveToStream(stream, version, writeVerToStream);
        if (StreamVersion() >= 2)
            stream.WriteValue<int32_t>(Value);
        else
            stream.WriteValue<uint8_t>(static_cast<uint8_t>(Value));
        if (FailAfterWriting) throw EWriteError("disk full");
    }
};

// A list that owns its items and streams a count, then each item.
class TItemList : public TStreamableList {
public:
    ~TItemList() override { Clear(); }
    TItem* Item(int i) const { return static_cast<TItem*>(Get(i)); }
    void AddItem(int32_t value) {
        auto item = std::make_unique<TItem>();
        item->Value = value;
        Add(item.release());
    }
    void Clear() override {
        ++clears;
        for (int i = 0; i < Count(); ++i)
            std::unique_ptr<TItem> owned(Item(i));
        TStreamableList::Clear();
    }
    void LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) override {
        TStreamableList::LoadFromStream(stream, version, readVerFromStream);
        const int32_t n = stream.ReadValue<int32_t>();
        for (int32_t i = 0; i < n; ++i) {
            auto item = std::make_unique<TItem>();
            item->LoadFromStream(stream, StreamVersion(), false);
            Add(item.release());
        }
    }
    void SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) override {
        TStreamableList::SaveToStream(stream, version, writeVerToStream);
        stream.WriteValue<int32_t>(Count());
        for (int i = 0; i < Count(); ++i)
            Item(i)->SaveToStream(stream, StreamVersion(), false);
    }
    int clears = 0;
};

TEST(Streamable, FreshObjectsHaveNoVersion) {
    EXPECT_EQ(TStreamableClass().StreamVersion(), -1);
    EXPECT_EQ(TStreamableList().StreamVersion(), -1);
}

TEST(Streamable, VersionWordWrittenAndReadWhenAsked) {
    TStreamableClass saved, loaded;
    TMemoryStream s;
    saved.SaveToStream(s, 7, true);
    EXPECT_EQ(s.Bytes(), (Bytes{7, 0, 0, 0}));
    EXPECT_EQ(saved.StreamVersion(), 7);
    s.SetPosition(0);
    loaded.LoadFromStream(s, 99, true);
    EXPECT_EQ(loaded.StreamVersion(), 7);
    EXPECT_EQ(s.Position(), 4);

    TMemoryStream negative;
    saved.SaveToStream(negative, -2, true);
    EXPECT_EQ(negative.Bytes(), (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
}

TEST(Streamable, NoVersionWordWhenTheFlagIsUnset) {
    TStreamableClass saved, loaded;
    TMemoryStream s;
    saved.SaveToStream(s, 7, false);
    EXPECT_TRUE(s.Bytes().empty());
    EXPECT_EQ(saved.StreamVersion(), 7);
    loaded.LoadFromStream(s, 7, false);
    EXPECT_EQ(loaded.StreamVersion(), 7);
    EXPECT_EQ(s.Position(), 0); // nothing read

    TStreamableList list;
    list.SaveToStream(s, 3, false);
    EXPECT_TRUE(s.Bytes().empty());
    EXPECT_EQ(list.StreamVersion(), 3);
}

TEST(Streamable, DescendantLayoutFollowsTheVersion) {
    TItem item;
    item.Value = 0x01020304;
    TMemoryStream v3, v1;
    item.SaveToStream(v3, 3, false);
    EXPECT_EQ(v3.Bytes(), (Bytes{4, 3, 2, 1}));
    item.Value = 5;
    item.SaveToStream(v1, 1, true);
    EXPECT_EQ(v1.Bytes(), (Bytes{1, 0, 0, 0, 5}));

    TItem back;
    v3.SetPosition(0);
    back.LoadFromStream(v3, 3, false);
    EXPECT_EQ(back.Value, 0x01020304);
    v1.SetPosition(0);
    back.LoadFromStream(v1, 3, true); // the stream's version decides, not the caller's
    EXPECT_EQ(back.StreamVersion(), 1);
    EXPECT_EQ(back.Value, 5);
}

TEST(Streamable, ShortVersionWordRaisesReadError) {
    TStreamableClass c;
    TMemoryStream s(Bytes{7, 0});
    EXPECT_THROW(c.LoadFromStream(s, 0, true), EReadError);
    TStreamableList l;
    TMemoryStream t(Bytes{});
    EXPECT_THROW(l.LoadFromStream(t, 0, true), EReadError);
}

TEST(Streamable, ListLoadClearsFirst) {
    TItemList list;
    list.AddItem(1);
    list.AddItem(2);
    TMemoryStream s;
    list.SaveToStream(s, 4, true);
    EXPECT_EQ(s.Bytes(), (Bytes{4, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0}));

    TItemList other;
    other.AddItem(9);
    s.SetPosition(0);
    other.LoadFromStream(s, 0, true);
    EXPECT_EQ(other.clears, 1);
    EXPECT_EQ(other.StreamVersion(), 4);
    ASSERT_EQ(other.Count(), 2);
    EXPECT_EQ(other.Item(0)->Value, 1);
    EXPECT_EQ(other.Item(1)->Value, 2);
}

TEST(Streamable, ClassFileRoundTrip) {
    TempDir dir;
    const WideString name = dir.Wide(u"j\u00f6b.JOB");
    TItem item;
    item.Value = 77;
    item.SaveToFile(name, 3, true);
    EXPECT_EQ(ReadAll(name), (Bytes{3, 0, 0, 0, 77, 0, 0, 0}));
    item.SaveToFile(name, 3, false); // replaces, no version word
    EXPECT_EQ(ReadAll(name), (Bytes{77, 0, 0, 0}));

    TItem back;
    back.LoadFromFile(name, 3, false);
    EXPECT_EQ(back.Value, 77);
    EXPECT_EQ(back.StreamVersion(), 3);
    EXPECT_EQ(dir.Entries(), 1); // no temporary file left behind
}

TEST(Streamable, ListFilesAlwaysUseVersionZero) {
    TempDir dir;
    const WideString name = dir.Wide(u"list.dat");
    TItemList list;
    list.AddItem(300);
    list.SaveToFile(name, 5, true);
    // No version word, and version 0 gives items their one-byte form.
    EXPECT_EQ(ReadAll(name), (Bytes{1, 0, 0, 0, 300 & 0xFF}));
    EXPECT_EQ(list.StreamVersion(), 0);

    TItemList back;
    back.LoadFromFile(name, 9, true);
    EXPECT_EQ(back.StreamVersion(), 0);
    ASSERT_EQ(back.Count(), 1);
    EXPECT_EQ(back.Item(0)->Value, 300 & 0xFF);
}

TEST(Streamable, FailedSaveLeavesThePreviousFile) {
    TempDir dir;
    const WideString name = dir.Wide(u"keep.JOB");
    TItem item;
    item.Value = 1;
    item.SaveToFile(name, 3, true);
    const Bytes before = ReadAll(name);

    item.Value = 2;
    item.FailAfterWriting = true;
    EXPECT_THROW(item.SaveToFile(name, 3, true), EWriteError);
    EXPECT_EQ(ReadAll(name), before);
    EXPECT_EQ(dir.Entries(), 1);

    // A folder we may not write to: the save fails before touching anything.
    item.FailAfterWriting = false;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0500), 0);
    if (::access(dir.Path().c_str(), W_OK) != 0) { // not when running as root
        EXPECT_THROW(item.SaveToFile(name, 3, true), EFCreateError);
        EXPECT_EQ(ReadAll(name), before);
    }
    ::chmod(dir.Path().c_str(), 0700);
}

TEST(Streamable, LoadFromFileFailures) {
    TempDir dir;
    TItem item;
    EXPECT_THROW(item.LoadFromFile(dir.Wide(u"missing"), 3, false), EFOpenError);
    TItemList list;
    EXPECT_THROW(list.LoadFromFile(dir.Wide(u"missing"), 3, false), EFOpenError);

    // Held open exclusively elsewhere: refused rather than read half-written.
    const WideString name = dir.Wide(u"busy");
    item.SaveToFile(name, 3, false);
    TWideFileStream holder(name, fmOpenReadWrite | fmShareExclusive);
    EXPECT_THROW(item.LoadFromFile(name, 3, false), EFOpenError);

    // A file shorter than its record raises the read error.
    const WideString shortName = dir.Wide(u"short");
    {
        TWideFileStream s(shortName, fmWideCreate);
        s.WriteValue<uint16_t>(1);
    }
    EXPECT_THROW(item.LoadFromFile(shortName, 3, false), EReadError);
}

// The PIDL and PIDL-list forms descendants share with the PIDL tools.
class TPIDLHolder : public TStreamableClass {
public:
    ~TPIDLHolder() override { manager.FreePIDL(pidl); }
    void LoadFromStream(TStream& stream, int32_t version, bool readVerFromStream) override {
        TStreamableClass::LoadFromStream(stream, version, readVerFromStream);
        manager.FreeAndNilPIDL(pidl);
        pidl = manager.LoadFromStream(stream);
        list.LoadFromStream(stream);
    }
    void SaveToStream(TStream& stream, int32_t version, bool writeVerToStream) override {
        TStreamableClass::SaveToStream(stream, version, writeVerToStream);
        manager.SaveToStream(stream, pidl);
        list.SaveToStream(stream);
    }
    TPIDLManager manager;
    PItemIDList pidl = nullptr;
    TPIDLList list;
};

TEST(Streamable, SharedPIDLForms) {
    const int64_t live = LiveBlocks();
    {
        TPIDLHolder holder;
        holder.pidl = ILCreateItem(PIDL_KIND_FILE, "a");
        holder.list.Add(ILCreateItem(PIDL_KIND_FILE, "bc"));
        TMemoryStream s;
        holder.SaveToStream(s, 3, true);
        const Bytes expected = {3, 0, 0, 0,                              // version
                                6, 0, 0, 0, 4, 0, 0x31, 'a', 0,   0,     // PIDL
                                1, 0, 0, 0,                              // list count
                                7, 0, 0, 0, 5, 0, 0x31, 'b', 'c', 0, 0}; // its PIDL
        EXPECT_EQ(s.Bytes(), expected);

        TPIDLHolder back;
        s.SetPosition(0);
        back.LoadFromStream(s, 0, true);
        EXPECT_TRUE(EqualPIDL(back.pidl, holder.pidl));
        ASSERT_EQ(back.list.Count(), 1);
        EXPECT_TRUE(EqualPIDL(back.list[0], holder.list[0]));

        // A nil PIDL and an empty list, without a version word.
        TPIDLHolder empty;
        TMemoryStream e;
        empty.SaveToStream(e, 3, false);
        EXPECT_EQ(e.Bytes(), (Bytes{0, 0, 0, 0, 0, 0, 0, 0}));
    }
    EXPECT_EQ(LiveBlocks(), live);
}

} // namespace
} // namespace ax
