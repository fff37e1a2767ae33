// Files another program offers on the clipboard in pieces (the INCR
// protocol): thousands of paths arrive exactly, pieces cut anywhere in a
// line or an escape; a transfer that breaks off (the program stops, quits or
// sends a malformed piece) pastes nothing, fails within the reader's
// patience and leaves the next transfer unharmed.
#include "incr_owner.h"
#include "test_support.h"
#include "xvfb.h"

#include <cstdlib>
#include <optional>

namespace ax {
namespace {

using test::FindXvfb;
using test::IncrOwner;
using test::Xvfb;

using Paths = std::vector<std::string>;

// The clipboard's files now; nullopt when it gave none.
std::optional<Paths> PastedFiles() {
    if (!OpenClipboard(nullptr)) return std::nullopt;
    std::optional<Paths> paths;
    if (auto list = GetClipboardData(CF_HDROP)) {
        paths.emplace();
        if (!ReadFileList(*list, *paths)) paths.reset();
    }
    CloseClipboard();
    return paths;
}

// Names with spaces, a two-byte character and a percent sign, so that
// pieces of an odd size split escapes and line ends.
struct Listing {
    explicit Listing(int count) {
        for (int i = 0; i < count; ++i) {
            const std::string n = std::to_string(i);
            paths.push_back("/srv/backup/caf\xC3\xA9 " + n + "/50% of " + n + ".dat");
            uris += "file:///srv/backup/caf%C3%A9%20" + n + "/50%25%20of%20" + n + ".dat\r\n";
        }
    }
    Paths paths;
    std::string uris;
};

class ClipboardIncrX11 : public ::testing::Test {
protected:
    void SetUp() override {
        if (FindXvfb().empty()) GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_TRUE(server.Start(FindXvfb())) << server.Error();
        setenv("DISPLAY", server.Name().c_str(), 1);
        ASSERT_TRUE(SelectDisplay(DisplayKind::X11));
    }
    void TearDown() override { SelectDisplay(DisplayKind::Headless); }
    bool Holds(const IncrOwner& owner) {
        return server.WaitFor([&] { return owner.Owns(); });
    }
    Xvfb server;
};

TEST_F(ClipboardIncrX11, ThousandsOfPathsSentInPiecesArePastedExactly) {
    const Listing many(3000);
    ASSERT_GT(many.uris.size(), 150000u);
    IncrOwner other(server.Name(), "text/uri-list", many.uris, 4093);
    ASSERT_TRUE(Holds(other));
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_HDROP));
    const std::optional<Paths> pasted = PastedFiles();
    ASSERT_TRUE(pasted);
    ASSERT_EQ(pasted->size(), 3000u);
    EXPECT_EQ(pasted->front(), "/srv/backup/caf\xC3\xA9 0/50% of 0.dat");
    EXPECT_EQ(pasted->back(), "/srv/backup/caf\xC3\xA9 2999/50% of 2999.dat");
    EXPECT_TRUE(*pasted == many.paths);
    // All of it came in pieces, the empty one last.
    EXPECT_EQ(other.Pieces(), static_cast<int>((many.uris.size() + 4092) / 4093) + 1);
    EXPECT_TRUE(other.Ended());
}

TEST_F(ClipboardIncrX11, ATransferThatBreaksOffPastesNothingAndTheNextArrivesWhole) {
    const Listing many(2000);
    for (IncrOwner::Ending ending : {IncrOwner::Ending::Silent, IncrOwner::Ending::Gone,
                                     IncrOwner::Ending::WrongFormat}) {
        SCOPED_TRACE(static_cast<int>(ending));
        {
            IncrOwner broken(server.Name(), "text/uri-list", many.uris, 8000, ending, 3);
            ASSERT_TRUE(Holds(broken));
            const std::optional<Paths> part = PastedFiles();
            EXPECT_FALSE(part) << "part of a list was pasted: " << part->size() << " of 2000 paths";
            EXPECT_TRUE(broken.Ended());
            EXPECT_GE(broken.Transfers(), 1);
        }
        IncrOwner whole(server.Name(), "text/uri-list", many.uris, 8000);
        ASSERT_TRUE(Holds(whole));
        const std::optional<Paths> pasted = PastedFiles();
        ASSERT_TRUE(pasted) << "the transfer after a broken one failed";
        EXPECT_TRUE(*pasted == many.paths);
    }
}

TEST_F(ClipboardIncrX11, AShortListSentInPiecesIsPastedToo) {
    IncrOwner other(server.Name(), "text/uri-list", "file:///w/one\r\nfile:///w/two%20b\r\n", 5);
    ASSERT_TRUE(Holds(other));
    EXPECT_EQ(PastedFiles(), (Paths{"/w/one", "/w/two b"}));
}

} // namespace
} // namespace ax
