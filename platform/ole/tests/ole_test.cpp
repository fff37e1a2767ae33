// Data objects, format names and the file-list block.
#include "platform/ole/ole.h"

#include <gtest/gtest.h>

namespace ax {
namespace {

TEST(ClipboardFormats, SameNameSameIdFromC000Up) {
    const UINT a = RegisterClipboardFormat("Ole Test Format A");
    EXPECT_GE(a, 0xC000u);
    EXPECT_EQ(RegisterClipboardFormat("ole test format a"), a);
    const UINT b = RegisterClipboardFormat("Ole Test Format B");
    EXPECT_NE(b, a);
    EXPECT_EQ(GetClipboardFormatName(a), "Ole Test Format A");
    EXPECT_EQ(GetClipboardFormatName(CF_TEXT), "");
    EXPECT_EQ(RegisterClipboardFormat(""), 0u);
}

TEST(DataObject, FormatsRoundTripInTheOrderSet) {
    auto d = CreateDataObject();
    const UINT custom = RegisterClipboardFormat("Data Tree Data");
    EXPECT_EQ(d->QueryGetData(FormatOf(CF_TEXT)), DV_E_FORMATETC);
    EXPECT_EQ(SetDataBytes(*d, custom, {1, 2}), S_OK);
    EXPECT_EQ(SetDataBytes(*d, CF_TEXT, {'a', 0}), S_OK);
    EXPECT_EQ(SetDataBytes(*d, custom, {3}), S_OK); // replaced in place
    std::vector<FORMATETC> f;
    ASSERT_EQ(d->EnumFormatEtc(DATADIR_GET, &f), S_OK);
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].cfFormat, custom);
    EXPECT_EQ(f[1].cfFormat, CF_TEXT);
    EXPECT_EQ(f[0].tymed, TYMED_HGLOBAL);
    EXPECT_EQ(f[0].lindex, -1);
    EXPECT_EQ(d->EnumFormatEtc(DATADIR_SET, &f), E_NOTIMPL);
    EXPECT_EQ(d->QueryGetData(FormatOf(custom)), S_OK);
    EXPECT_EQ(GetDataBytes(*d, custom), std::vector<uint8_t>{3});
    HRESULT hr = S_OK;
    EXPECT_TRUE(GetDataBytes(*d, CF_HDROP, &hr).empty());
    EXPECT_EQ(hr, DV_E_FORMATETC);
    FORMATETC other = FormatOf(CF_TEXT);
    other.tymed = 4; // a stream: not held here
    STGMEDIUM m;
    EXPECT_EQ(d->GetData(other, &m), DV_E_TYMED);
    // Without release the caller keeps its block; with it the object takes it.
    m.tymed = TYMED_HGLOBAL;
    m.hGlobal = {7, 7};
    EXPECT_EQ(d->SetData(FormatOf(CF_DIB), &m, false), S_OK);
    EXPECT_EQ(m.hGlobal.size(), 2u);
    EXPECT_EQ(d->SetData(FormatOf(CF_DIB), &m, true), S_OK);
    EXPECT_EQ(m.tymed, TYMED_NULL);
    EXPECT_TRUE(m.hGlobal.empty());
    EXPECT_EQ(d->SetData(FormatOf(0), &m, false), E_INVALIDARG);
    FORMATETC canon;
    EXPECT_EQ(d->GetCanonicalFormatEtc(FormatOf(CF_TEXT), &canon), DATA_S_SAMEFORMATETC);
    EXPECT_EQ(d->DAdvise(FormatOf(CF_TEXT), 0, nullptr, nullptr), OLE_E_ADVISENOTSUPPORTED);
}

TEST(FileList, WrittenAsDropFilesWithRawNames) {
    const std::vector<std::string> paths = {"/a/b", "/x\xff"};
    const std::vector<uint8_t> block = MakeFileList(paths);
    const std::vector<uint8_t> want = {20, 0, 0, 0, 0, 0,   0,   0,   0,   0, 0,   0,   0,    0, 0,
                                       0,  0, 0, 0, 0, '/', 'a', '/', 'b', 0, '/', 'x', 0xff, 0, 0};
    EXPECT_EQ(block, want);
    std::vector<std::string> back;
    ASSERT_TRUE(ReadFileList(block, back));
    EXPECT_EQ(back, paths);
    std::vector<std::string> none;
    ASSERT_TRUE(ReadFileList(MakeFileList(none), back));
    EXPECT_TRUE(back.empty());
}

TEST(FileList, WideListsAreRead) {
    std::vector<uint8_t> block = {24, 0, 0, 0, 0, 0, 0, 0, 0,   0, 0,    0, 0, 0, 0, 0,
                                  1,  0, 0, 0, 0, 0, 0, 0, '/', 0, 0xE9, 0, 0, 0, 0, 0};
    std::vector<std::string> back;
    ASSERT_TRUE(ReadFileList(block, back));
    EXPECT_EQ(back, std::vector<std::string>{"/\xC3\xA9"});
}

TEST(FileList, RefusesBlocksThatEndTooSoon) {
    std::vector<std::string> back;
    const std::vector<uint8_t> good = MakeFileList(std::vector<std::string>{"/a"});
    for (size_t n = 0; n < good.size(); ++n) {
        EXPECT_FALSE(ReadFileList(std::span(good.data(), n), back)) << n;
        EXPECT_TRUE(back.empty() || n >= 23);
    }
    std::vector<uint8_t> bad = good;
    bad[0] = 200; // the list would start past the end
    EXPECT_FALSE(ReadFileList(bad, back));
    bad[0] = 4; // inside the header
    EXPECT_FALSE(ReadFileList(bad, back));
    std::vector<uint8_t> odd = good;
    odd[16] = 1; // wide, but an odd byte count and no closing pair
    EXPECT_FALSE(ReadFileList(odd, back));
}

} // namespace
} // namespace ax
