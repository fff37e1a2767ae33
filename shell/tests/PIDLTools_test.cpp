#include "rtl/exceptions.h"
#include "shell/PIDLTools.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace ax {
namespace {

using Bytes = std::vector<uint8_t>;

IMalloc& Malloc() {
    IMalloc* m = nullptr;
    SHGetMalloc(&m);
    return *m;
}

// Every test proves that the PIDLs it made are all freed again.
class PIDLToolsTest : public ::testing::Test {
protected:
    void SetUp() override { live_ = Malloc().LiveBlocks(); }
    void TearDown() override { EXPECT_EQ(Malloc().LiveBlocks(), live_); }

    // A PIDL in task-allocator memory holding exactly these bytes.
    PItemIDList Make(const Bytes& bytes) {
        void* block = Malloc().Alloc(bytes.size());
        std::memcpy(block, bytes.data(), bytes.size());
        return static_cast<PItemIDList>(block);
    }
    static Bytes Of(PCItemIDList pidl, size_t size) {
        const auto* p = reinterpret_cast<const uint8_t*>(pidl);
        return Bytes(p, p + size);
    }

    TPIDLManager m;
    int64_t live_ = 0;
};

// Two items "a" and "bc" as file entries, and the desktop.
const Bytes kA = {4, 0, 0x31, 'a', 0, 0};
const Bytes kABC = {4, 0, 0x31, 'a', 5, 0, 0x31, 'b', 'c', 0, 0};
const Bytes kBC = {5, 0, 0x31, 'b', 'c', 0, 0};
const Bytes kDesktop = {0, 0};

TEST_F(PIDLToolsTest, SizesAndCounts) {
    PItemIDList desk = Make(kDesktop), two = Make(kABC);
    EXPECT_EQ(m.PIDLSize(nullptr), 0);
    EXPECT_EQ(m.PIDLSize(desk), 2);
    EXPECT_EQ(m.PIDLSize(two), 11);
    EXPECT_EQ(m.IDCount(nullptr), 0);
    EXPECT_EQ(m.IDCount(desk), 0);
    EXPECT_EQ(m.IDCount(two), 2);
    EXPECT_TRUE(m.IsDesktopFolder(desk));
    EXPECT_FALSE(m.IsDesktopFolder(two));
    EXPECT_FALSE(m.IsDesktopFolder(nullptr));
    EXPECT_EQ(reinterpret_cast<uint8_t*>(TPIDLManager::NextID(two)),
              reinterpret_cast<uint8_t*>(two) + 4);
    m.FreePIDL(desk);
    m.FreePIDL(two);
    m.FreePIDL(nullptr);
}

TEST_F(PIDLToolsTest, CopyAndAppend) {
    PItemIDList a = Make(kA), bc = Make(kBC), desk = Make(kDesktop);
    EXPECT_EQ(m.CopyPIDL(nullptr), nullptr);

    PItemIDList copy = m.CopyPIDL(a);
    EXPECT_NE(copy, a);
    EXPECT_EQ(Of(copy, 6), kA);

    PItemIDList joined = m.AppendPIDL(a, bc);
    EXPECT_EQ(Of(joined, 11), kABC);

    // The desktop on either side, or nil, leaves a copy of the other.
    PItemIDList left = m.AppendPIDL(desk, bc);
    PItemIDList right = m.AppendPIDL(bc, desk);
    PItemIDList nilLeft = m.AppendPIDL(nullptr, bc);
    PItemIDList nilRight = m.AppendPIDL(bc, nullptr);
    for (PItemIDList p : {left, right, nilLeft, nilRight}) {
        ASSERT_EQ(m.PIDLSize(p), 7);
        EXPECT_EQ(Of(p, 7), kBC);
        EXPECT_NE(p, bc);
    }
    PItemIDList nothing = m.AppendPIDL(nullptr, nullptr);
    EXPECT_EQ(Of(nothing, 2), kDesktop);
    // Inputs untouched.
    EXPECT_EQ(Of(a, 6), kA);
    EXPECT_EQ(Of(bc, 7), kBC);

    for (PItemIDList p : {a, bc, desk, copy, joined, left, right, nilLeft, nilRight, nothing})
        m.FreePIDL(p);
}

TEST_F(PIDLToolsTest, AllocationFailureGivesNil) {
    PItemIDList a = Make(kA);
    Malloc().FailNextAllocations(1);
    EXPECT_EQ(m.CopyPIDL(a), nullptr);
    Malloc().FailNextAllocations(1);
    EXPECT_EQ(m.AppendPIDL(a, a), nullptr);
    m.FreePIDL(a);
}

TEST_F(PIDLToolsTest, FreeAndNilClearsTheVariable) {
    PItemIDList a = Make(kA);
    m.FreeAndNilPIDL(a);
    EXPECT_EQ(a, nullptr);
    m.FreeAndNilPIDL(a); // nil is ignored
}

TEST_F(PIDLToolsTest, LastIDAndStripping) {
    PItemIDList one = Make(kA), two = Make(kABC), desk = Make(kDesktop);
    EXPECT_EQ(m.GetPointerToLastID(static_cast<PItemIDList>(nullptr)), nullptr);
    EXPECT_EQ(m.GetPointerToLastID(one), one);
    EXPECT_EQ(m.GetPointerToLastID(desk), desk);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(m.GetPointerToLastID(two)),
              reinterpret_cast<uint8_t*>(two) + 4);

    // One item stripped leaves the desktop.
    EXPECT_EQ(m.StripLastID(one), one);
    EXPECT_TRUE(m.IsDesktopFolder(one));
    EXPECT_EQ(m.PIDLSize(one), 2);

    // The desktop stays as it is.
    EXPECT_EQ(m.StripLastID(desk), desk);
    EXPECT_EQ(Of(desk, 2), kDesktop);
    EXPECT_EQ(m.StripLastID(nullptr), nullptr);

    uint16_t cb = 99;
    PItemIDList last = nullptr;
    EXPECT_EQ(m.StripLastIDEx(two, cb, last), two);
    EXPECT_EQ(cb, 5);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(last), reinterpret_cast<uint8_t*>(two) + 4);
    EXPECT_EQ(m.IDCount(two), 1);
    EXPECT_EQ(m.PIDLSize(two), 6);
    last->mkid.cb = cb; // put back
    EXPECT_EQ(Of(two, 11), kABC);

    m.StripLastIDEx(desk, cb, last);
    EXPECT_EQ(cb, 0);
    EXPECT_EQ(last, desk);
    m.StripLastIDEx(nullptr, cb, last);
    EXPECT_EQ(cb, 0);
    EXPECT_EQ(last, nullptr);

    for (PItemIDList p : {one, two, desk})
        m.FreePIDL(p);
}

TEST_F(PIDLToolsTest, SubPIDL) {
    PItemIDList a = Make(kA), abc = Make(kABC), bc = Make(kBC), desk = Make(kDesktop);
    EXPECT_TRUE(m.IsSubPIDL(abc, abc));
    EXPECT_TRUE(m.IsSubPIDL(abc, a));
    EXPECT_FALSE(m.IsSubPIDL(a, abc)); // a parent is no sub-PIDL of its child
    EXPECT_FALSE(m.IsSubPIDL(abc, bc));
    EXPECT_TRUE(m.IsSubPIDL(abc, desk));
    EXPECT_FALSE(m.IsSubPIDL(nullptr, a));
    EXPECT_FALSE(m.IsSubPIDL(a, nullptr));
    EXPECT_EQ(Of(abc, 11), kABC); // not changed by the test
    // Same count, different payload length: not a sub-PIDL.
    PItemIDList ab = Make({4, 0, 0x31, 'a', 4, 0, 0x31, 'b', 0, 0});
    EXPECT_FALSE(m.IsSubPIDL(ab, abc));
    for (PItemIDList p : {a, abc, bc, desk, ab})
        m.FreePIDL(p);
}

TEST_F(PIDLToolsTest, EqualAndParent) {
    PItemIDList a = Make(kA), a2 = Make(kA), abc = Make(kABC), desk = Make(kDesktop);
    EXPECT_TRUE(EqualPIDL(a, a2));
    EXPECT_FALSE(EqualPIDL(a, abc));
    EXPECT_FALSE(EqualPIDL(a, nullptr));
    EXPECT_FALSE(EqualPIDL(nullptr, nullptr));
    EXPECT_TRUE(IsParentPIDL(a, abc, true));
    EXPECT_TRUE(IsParentPIDL(desk, abc, false));
    EXPECT_FALSE(IsParentPIDL(desk, abc, true));
    EXPECT_FALSE(IsParentPIDL(a, a2, false));
    EXPECT_FALSE(IsParentPIDL(nullptr, abc, false));
    EXPECT_FALSE(IsParentPIDL(a, nullptr, false));
    for (PItemIDList p : {a, a2, abc, desk})
        m.FreePIDL(p);
}

TEST_F(PIDLToolsTest, AllocatorUnavailable) {
    SetTaskAllocatorUnavailable(true);
    EXPECT_EQ(TPIDLManager::Create(), nullptr);
    EXPECT_THROW(TPIDLManager(), EOutOfMemory);
    SetTaskAllocatorUnavailable(false);
    EXPECT_NE(TPIDLManager::Create(), nullptr);
}

// ---- stream form ----

TEST_F(PIDLToolsTest, StreamBytesExact) {
    PItemIDList abc = Make(kABC), desk = Make(kDesktop);
    TMemoryStream s;
    m.SaveToStream(s, nullptr);
    m.SaveToStream(s, desk);
    m.SaveToStream(s, abc);
    const Bytes expected = {0,  0, 0, 0,       // nil
                            2,  0, 0, 0, 0, 0, // desktop
                            11, 0, 0, 0, 4, 0, 0x31, 'a', 5, 0, 0x31, 'b', 'c', 0, 0};
    EXPECT_EQ(s.Bytes(), expected);

    s.SetPosition(0);
    EXPECT_EQ(m.LoadFromStream(s), nullptr);
    EXPECT_EQ(s.Position(), 4); // a nil PIDL takes exactly its size field
    PItemIDList d = m.LoadFromStream(s);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(m.IsDesktopFolder(d));
    PItemIDList back = m.LoadFromStream(s);
    EXPECT_TRUE(EqualPIDL(back, abc));
    EXPECT_EQ(s.Position(), s.Size());
    for (PItemIDList p : {abc, desk, d, back})
        m.FreePIDL(p);
}

TEST_F(PIDLToolsTest, RawNameBytesSurviveTheStream) {
    // A Latin-1 name that is no UTF-8, below a folder: kept byte for byte.
    PItemIDList folder = ILCreateItem(PIDL_KIND_FILE, "home");
    PItemIDList name = ILCreateItem(PIDL_KIND_FILE, "caf\xE9");
    PItemIDList full = m.AppendPIDL(folder, name);
    TMemoryStream s;
    m.SaveToStream(s, full);
    const Bytes expected = {16,  0, 0, 0,    7,   0,   0x31, 'h',  'o', 'm',
                            'e', 7, 0, 0x31, 'c', 'a', 'f',  0xE9, 0,   0};
    EXPECT_EQ(s.Bytes(), expected);
    s.SetPosition(0);
    PItemIDList back = m.LoadFromStream(s);
    EXPECT_EQ(Of(back, 16), Of(full, 16));
    EXPECT_EQ(ILItemPayload(m.GetPointerToLastID(back)), "caf\xE9");
    for (PItemIDList p : {folder, name, full, back})
        m.FreePIDL(p);
}

// Each of these must raise EReadError and leave no block behind.
TEST_F(PIDLToolsTest, HostileSinglePIDLStreams) {
    const std::vector<Bytes> hostile = {
        {},                                        // no size at all
        {1, 0},                                    // size cut short
        {0xFF, 0xFF, 0xFF, 0xFF},                  // size -1
        {0, 0, 0, 0x80},                           // most negative size
        {1, 0, 0, 0, 0},                           // size 1 cannot hold a terminator
        {6, 0, 0, 0, 4, 0, 0x31, 'a'},             // bytes cut short
        {0xFF, 0xFF, 0xFF, 0x7F, 0, 0},            // size far beyond the stream
        {4, 0, 0, 0, 2, 0, 0, 0},                  // item count below 3
        {6, 0, 0, 0, 9, 0, 0x31, 'a', 0, 0},       // item runs past the block
        {6, 0, 0, 0, 4, 0, 0x31, 'a', 1, 0},       // no terminator at the end
        {8, 0, 0, 0, 0, 0, 4, 0, 0x31, 'a', 0, 0}, // terminator before the end
    };
    for (const Bytes& bytes : hostile) {
        TMemoryStream s(bytes);
        EXPECT_THROW(m.LoadFromStream(s), EReadError) << "case of " << bytes.size() << " bytes";
    }
}

TEST_F(PIDLToolsTest, AllocationFailureWhileReading) {
    TMemoryStream s(Bytes{2, 0, 0, 0, 0, 0});
    Malloc().FailNextAllocations(1);
    EXPECT_THROW(m.LoadFromStream(s), EOutOfMemory);
}

// ---- the list ----

TEST_F(PIDLToolsTest, ListFreesWhatItOwns) {
    {
        TPIDLList list;
        list.Add(Make(kA));
        list.Add(Make(kABC));
        list.Add(nullptr);
        EXPECT_EQ(Malloc().LiveBlocks(), live_ + 2);
    }
    EXPECT_EQ(Malloc().LiveBlocks(), live_);

    TPIDLList list;
    list.Add(Make(kA));
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(Malloc().LiveBlocks(), live_);
}

// Every way an item leaves an owning list frees it, except Extract, which
// hands it to the caller.
TEST_F(PIDLToolsTest, ListFreesWhatLeavesIt) {
    TPIDLList list;
    list.Add(Make(kA));
    list.Insert(0, Make(kABC));
    list.Add(UniquePIDL(Make(kBC)));
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(Of(list[0], 11), kABC);
    EXPECT_EQ(Malloc().LiveBlocks(), live_ + 3);
    list.Delete(0);
    EXPECT_EQ(Malloc().LiveBlocks(), live_ + 2);
    list.Put(0, Make(kDesktop));
    EXPECT_EQ(Malloc().LiveBlocks(), live_ + 2);
    EXPECT_TRUE(m.IsDesktopFolder(list[0]));
    UniquePIDL taken = list.Extract(1);
    EXPECT_EQ(Of(taken.get(), 7), kBC);
    EXPECT_EQ(list.Count(), 1);
    taken.reset();
    EXPECT_EQ(Malloc().LiveBlocks(), live_ + 1);
    EXPECT_EQ(list.IndexOf(list[0]), 0);
    EXPECT_THROW(list.Delete(5), EListError);
    EXPECT_THROW(list.Put(-1, nullptr), EListError);
    EXPECT_THROW(list.Insert(3, nullptr), EListError);
    EXPECT_EQ(Malloc().LiveBlocks(), live_ + 1);
}

TEST_F(PIDLToolsTest, SharedListFreesNothing) {
    PItemIDList a = Make(kA);
    {
        TSharedPIDLList list;
        list.Add(a);
        list.Add(a);
        list.Clear();
        list.Add(a);
        list.Insert(0, a);
        list.Put(1, a);
        list.Delete(0);
    }
    EXPECT_EQ(Of(a, 6), kA);
    m.FreePIDL(a);
}

TEST_F(PIDLToolsTest, CopyAddKeepsTheCallersPIDL) {
    PItemIDList a = Make(kA);
    {
        TPIDLList list;
        EXPECT_EQ(list.CopyAdd(a), 0);
        EXPECT_NE(list[0], a);
        EXPECT_TRUE(EqualPIDL(list[0], a));
    }
    m.FreePIDL(a);
}

TEST_F(PIDLToolsTest, ListStreamRoundTripAppends) {
    TMemoryStream s;
    {
        TPIDLList list;
        list.Add(Make(kA));
        list.Add(nullptr);
        list.Add(Make(kDesktop));
        EXPECT_TRUE(list.SaveToStream(s));
    }
    const Bytes expected = {3, 0, 0, 0,                        // count
                            6, 0, 0, 0, 4, 0, 0x31, 'a', 0, 0, // "a"
                            0, 0, 0, 0,                        // nil
                            2, 0, 0, 0, 0, 0};                 // desktop
    EXPECT_EQ(s.Bytes(), expected);

    TPIDLList list;
    list.Add(Make(kBC));
    s.SetPosition(0);
    EXPECT_TRUE(list.LoadFromStream(s));
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(Of(list[0], 7), kBC);
    EXPECT_EQ(Of(list[1], 6), kA);
    EXPECT_EQ(list[2], nullptr);
    EXPECT_TRUE(m.IsDesktopFolder(list[3]));
}

TEST_F(PIDLToolsTest, HostileListStreamsLeaveTheListAsItWas) {
    const std::vector<Bytes> hostile = {
        {2, 0},                                              // count cut short
        {0xFF, 0xFF, 0xFF, 0xFF},                            // negative count
        {0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0},                // count far beyond the stream
        {2, 0, 0, 0, 6, 0, 0, 0, 4, 0, 0x31, 'a', 0, 0},     // second PIDL missing
        {2, 0, 0, 0, 6, 0, 0,    0,   4, 0, 0x31, 'a', 0, 0, // second PIDL broken
         6, 0, 0, 0, 7, 0, 0x31, 'a', 0, 0},
    };
    for (const Bytes& bytes : hostile) {
        TPIDLList list;
        list.Add(Make(kBC));
        TMemoryStream s(bytes);
        EXPECT_THROW(list.LoadFromStream(s), EReadError) << "case of " << bytes.size() << " bytes";
        ASSERT_EQ(list.Count(), 1);
        EXPECT_EQ(Of(list[0], 7), kBC);
    }
}

TEST_F(PIDLToolsTest, EmptyListStream) {
    TPIDLList list;
    TMemoryStream s;
    list.SaveToStream(s);
    EXPECT_EQ(s.Bytes(), (Bytes{0, 0, 0, 0}));
    s.SetPosition(0);
    list.LoadFromStream(s);
    EXPECT_EQ(list.Count(), 0);
}

} // namespace
} // namespace ax
