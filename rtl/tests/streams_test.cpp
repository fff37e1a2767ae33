#include "other_user.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "rtl/exceptions.h"
#include "rtl/streams.h"
#include "rtl/sysutils.h"

using namespace ax;

namespace {

class TempDir {
public:
    TempDir() {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/axrtl.XXXXXX";
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        ::chmod(path_.c_str(), 0700);
        std::filesystem::remove_all(path_);
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }
    int EntryCount() const {
        int n = 0;
        for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(path_)) ++n;
        return n;
    }

private:
    std::string path_;
};

std::string ReadAll(const std::string& name) {
    TMemoryStream m;
    m.LoadFromFile(name);
    return std::string(m.Bytes().begin(), m.Bytes().end());
}

void WriteText(const std::string& name, const std::string& text) {
    SaveFileAtomically(name, [&](TStream& s) { s.WriteBuffer(text.data(), static_cast<int64_t>(text.size())); });
}

using ax::test::AsNobody;
using ax::test::kNobody;

// The save's temporary files in a folder (they begin with a dot).
std::vector<std::string> Temporaries(const std::string& folder) {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().filename().string()[0] == '.') names.push_back(e.path().string());
    return names;
}

} // namespace

TEST(Streams, ShortReadRaisesReadError) {
    TMemoryStream m(std::vector<uint8_t>{1, 2, 3});
    uint8_t buf[4];
    try {
        m.ReadBuffer(buf, 4);
        FAIL();
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), "Stream read error");
    }
    m.SetPosition(1);
    EXPECT_EQ(m.Read(buf, 4), 2);
    EXPECT_EQ(m.Read(buf, 4), 0);
    m.SetPosition(10);
    EXPECT_EQ(m.Read(buf, 1), 0); // past the end reads nothing
    EXPECT_THROW(m.ReadValue<uint32_t>(), EReadError);
}

TEST(Streams, MemoryStreamWritesAndSeeks) {
    TMemoryStream m;
    m.WriteValue<uint16_t>(0x0201);
    m.WriteValue<uint32_t>(0x06050403);
    EXPECT_EQ(m.Bytes(), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    m.Seek(-2, soEnd);
    m.WriteValue<uint8_t>(0xAA);
    EXPECT_EQ(m.Bytes()[4], 0xAA);
    m.SetPosition(8);
    m.WriteValue<uint8_t>(9); // writing past the end fills the gap with zeros
    EXPECT_EQ(m.Bytes(), (std::vector<uint8_t>{1, 2, 3, 4, 0xAA, 6, 0, 0, 9}));
    EXPECT_THROW(m.Seek(-1, soBeginning), EStreamError);
    m.SetSize(2);
    EXPECT_EQ(m.Position(), 2);
}

TEST(Streams, FileStreamOpenErrorsNameTheFile) {
    TempDir dir;
    try {
        TFileStream f(dir / "missing", fmOpenRead);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), "Cannot open file \"" + (dir / "missing") + "\". No such file or directory");
    }
    EXPECT_THROW(TFileStream(dir / "no/such/dir", fmCreate), EFCreateError);
}

TEST(Streams, ShareModesAreEnforced) {
    TempDir dir;
    const std::string name = dir / "shared.bin";
    WriteText(name, "keep me");
    {
        TFileStream exclusive(name, fmOpenReadWrite | fmShareExclusive);
        EXPECT_THROW(TFileStream(name, fmOpenRead | fmShareDenyWrite), EFOpenError);
        // A create that the lock refuses must not have truncated the file.
        EXPECT_THROW(TFileStream(name, fmCreate), EFCreateError);
    }
    EXPECT_EQ(ReadAll(name), "keep me");
    {
        TFileStream reader1(name, fmOpenRead | fmShareDenyWrite);
        TFileStream reader2(name, fmOpenRead | fmShareDenyWrite);
        EXPECT_THROW(TFileStream(name, fmOpenWrite | fmShareDenyWrite), EFOpenError);
        TFileStream anyone(name, fmOpenRead | fmShareDenyNone);
    }
    TFileStream writer(name, fmOpenWrite | fmShareDenyWrite); // free again
}

TEST(Streams, AtomicSaveReplacesWholeFile) {
    TempDir dir;
    const std::string name = dir / "job.bin";
    WriteText(name, "first version, long");
    ::chmod(name.c_str(), 0640);
    WriteText(name, "second");
    EXPECT_EQ(ReadAll(name), "second");
    struct stat st{};
    ASSERT_EQ(::stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u); // permissions of the replaced file are kept
    EXPECT_EQ(dir.EntryCount(), 1);       // no temporary file left behind
}

// The set-id and sticky bits of a replaced file are not carried over: a
// data file never needs them, and one found in a shared folder may be
// another user's bait.
TEST(Streams, AtomicSaveDropsTheSetIdBitsOfTheReplacedFile) {
    TempDir dir;
    const std::string name = dir / "job.bin";
    WriteText(name, "first");
    ASSERT_EQ(::chmod(name.c_str(), 06757), 0);
    WriteText(name, "second");
    struct stat st{};
    ASSERT_EQ(::stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0757u);
}

// A job saved through a link (a job kept elsewhere) updates the file the
// link names; the link stays a link.
TEST(Streams, AtomicSaveThroughALinkWritesItsTarget) {
    TempDir dir;
    ASSERT_EQ(::mkdir((dir / "real").c_str(), 0755), 0);
    WriteText(dir / "real/job.JOB", "old");
    ASSERT_EQ(::symlink("real/job.JOB", (dir / "job.JOB").c_str()), 0);
    WriteText(dir / "job.JOB", "new");
    struct stat st{};
    ASSERT_EQ(::lstat((dir / "job.JOB").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadAll(dir / "real/job.JOB"), "new");

    // A link to a file not there yet: the file appears where it points.
    ASSERT_EQ(::symlink((dir / "real/fresh.JOB").c_str(), (dir / "fresh.JOB").c_str()), 0);
    WriteText(dir / "fresh.JOB", "fresh");
    ASSERT_EQ(::lstat((dir / "fresh.JOB").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadAll(dir / "real/fresh.JOB"), "fresh");
    EXPECT_EQ(dir.EntryCount(), 3); // real and the two links, no temporary file

    // A loop of links is refused and leaves nothing behind.
    ASSERT_EQ(::symlink("b", (dir / "a").c_str()), 0);
    ASSERT_EQ(::symlink("a", (dir / "b").c_str()), 0);
    EXPECT_THROW(WriteText(dir / "a", "x"), EFCreateError);
    EXPECT_EQ(dir.EntryCount(), 5);
}

TEST(Streams, AtomicSaveOfANewFileTakesTheUmaskAndLeavesIt) {
    TempDir dir;
    const mode_t previous = ::umask(027);
    WriteText(dir / "new.ini", "x");
    const mode_t during = ::umask(previous);
    EXPECT_EQ(during, 027u);
    struct stat st{};
    ASSERT_EQ(::stat((dir / "new.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// In a sticky folder anyone may write (/tmp), a link another user made
// under the file's name is not followed: its target stays as it was. The
// caller's own links and the folder owner's are followed.
TEST(Streams, AtomicSaveFollowsNoLinkAnotherUserPlantedInASharedFolder) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    const std::string shared = dir / "shared";
    ASSERT_EQ(::mkdir(shared.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    const std::string victim = dir / "victim";
    WriteText(victim, "the victim's bytes");
    const std::string planted = shared + "/job.JOB";
    ASSERT_EQ(AsNobody([&] { return ::symlink(victim.c_str(), planted.c_str()) == 0 ? 0 : 1; }), 0);

    try {
        WriteText(planted, "new");
        FAIL() << "followed";
    } catch (const ESaveError& e) {
        EXPECT_EQ(e.Reason(), "it is a link another user made in a shared folder; not followed");
    }
    // Further along a chain of links, the planted one is named.
    ASSERT_EQ(::symlink(planted.c_str(), (shared + "/mine.JOB").c_str()), 0);
    try {
        WriteText(shared + "/mine.JOB", "new");
        FAIL() << "followed";
    } catch (const ESaveError& e) {
        EXPECT_EQ(e.Reason(), planted + " is a link another user made in a shared folder; not followed");
    }
    EXPECT_EQ(ReadAll(victim), "the victim's bytes");
    struct stat st{};
    ASSERT_EQ(::lstat(planted.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_TRUE(Temporaries(shared).empty());

    // The caller's own link there is followed.
    ASSERT_EQ(::symlink((dir / "real.JOB").c_str(), (shared + "/own.JOB").c_str()), 0);
    WriteText(shared + "/own.JOB", "own");
    EXPECT_EQ(ReadAll(dir / "real.JOB"), "own");
    // So is a link of the folder's owner.
    ASSERT_EQ(::chown(shared.c_str(), kNobody, kNobody), 0);
    WriteText(planted, "the owner's link");
    EXPECT_EQ(ReadAll(victim), "the owner's link");
}

// Until its content is complete the temporary file is the caller's alone:
// another user cannot open it and keep the descriptor. Then it takes the
// replaced file's permissions, or the umask's.
TEST(Streams, AtomicSaveKeepsTheTemporaryFileTheCallersAlone) {
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    const mode_t previous = ::umask(022);
    const std::string replaced = dir / "private.JOB";
    WriteText(replaced, "old");
    ASSERT_EQ(::chmod(replaced.c_str(), 0640), 0);
    for (const std::string& name : {replaced, dir / "new.JOB"}) {
        SaveFileAtomically(name, [&](TStream& s) {
            s.WriteBuffer("half", 4);
            const std::vector<std::string> temporaries = Temporaries(dir.path());
            ASSERT_EQ(temporaries.size(), 1u);
            struct stat st{};
            ASSERT_EQ(::stat(temporaries[0].c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0600u) << name;
            if (::geteuid() == 0) {
                const int opened = AsNobody([&] {
                    return ::open(temporaries[0].c_str(), O_RDONLY) < 0 && errno == EACCES ? 0 : 1;
                });
                EXPECT_EQ(opened, 0) << "another user opened the temporary file of " << name;
            }
        });
    }
    ::umask(previous);
    struct stat st{};
    ASSERT_EQ(::stat(replaced.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ASSERT_EQ(::stat((dir / "new.JOB").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(ReadAll(replaced), "half");

    // A fixed mode narrows a replaced file too.
    SaveFileAtomically(replaced, [](TStream& s) { s.WriteBuffer("x", 1); }, 0600);
    ASSERT_EQ(::stat(replaced.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST(Streams, FailedSaveLeavesPreviousFileIntact) {
    TempDir dir;
    const std::string name = dir / "settings.ini";
    WriteText(name, "precious");
    // The writer fails half way.
    EXPECT_THROW(SaveFileAtomically(name,
                                    [](TStream& s) {
                                        s.WriteBuffer("partial", 7);
                                        throw EWriteError("disk full");
                                    }),
                 EWriteError);
    EXPECT_EQ(ReadAll(name), "precious");
    EXPECT_EQ(dir.EntryCount(), 1);

    // The folder refuses new files (skipped as root, who may write anyway).
    if (::geteuid() != 0) {
        ::chmod(dir.path().c_str(), 0500);
        EXPECT_THROW(WriteText(name, "new"), EFCreateError);
        ::chmod(dir.path().c_str(), 0700);
        EXPECT_EQ(ReadAll(name), "precious");
    }
}

// A file the user protected stays as it was, whoever saves: without any
// write permission it binds root too.
TEST(Streams, AtomicSaveRefusesAWriteProtectedFile) {
    TempDir dir;
    const std::string name = dir / "nightly.JOB";
    WriteText(name, "protected bytes");
    ASSERT_EQ(::chmod(name.c_str(), 0444), 0);
    try {
        WriteText(name, "new");
        FAIL() << "replaced";
    } catch (const ESaveError& e) {
        EXPECT_EQ(e.Reason(), "the file is write-protected");
        EXPECT_EQ(e.Message(), "Cannot save file \"" + name + "\": the file is write-protected");
    }
    EXPECT_EQ(ReadAll(name), "protected bytes");
    EXPECT_EQ(dir.EntryCount(), 1); // no temporary file left behind
    struct stat st{};
    ASSERT_EQ(::stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);

    // Reached through a link, the protected file is the one refusing.
    ASSERT_EQ(::symlink("nightly.JOB", (dir / "link.JOB").c_str()), 0);
    EXPECT_THROW(WriteText(dir / "link.JOB", "new"), ESaveError);
    EXPECT_EQ(ReadAll(name), "protected bytes");

    // Writable again, it is replaced as any other file.
    ASSERT_EQ(::chmod(name.c_str(), 0644), 0);
    WriteText(name, "new");
    EXPECT_EQ(ReadAll(name), "new");
}

// A folder that takes no new file is named once, with the system's reason;
// the saved file's name is the caller's to give.
TEST(Streams, AtomicSaveNamesTheFolderThatRefusesIt) {
    TempDir dir;
    const std::string name = dir / "no such folder/x.ini";
    try {
        WriteText(name, "x");
        FAIL() << "saved";
    } catch (const ESaveError& e) {
        EXPECT_EQ(e.Reason(), "the folder " + (dir / "no such folder") +
                                  " cannot be written (No such file or directory)");
    }
}

// The file stream buffers: whatever mix of small and large reads, writes
// and seeks, the file and the positions are those of plain file calls,
// kept here in a string.
TEST(Streams, BufferedFileStreamKeepsBytesAndPositions) {
    TempDir dir;
    const std::string name = dir / "buffered.bin";
    std::string model;
    int64_t at = 0;
    auto write = [&](TFileStream& s, const std::string& bytes) {
        s.WriteBuffer(bytes.data(), int64_t(bytes.size()));
        if (model.size() < size_t(at) + bytes.size()) model.resize(size_t(at) + bytes.size());
        model.replace(size_t(at), bytes.size(), bytes);
        at += int64_t(bytes.size());
        ASSERT_EQ(s.Position(), at);
    };
    auto read = [&](TFileStream& s, int64_t n) {
        std::string got(size_t(n), '\0');
        const int64_t moved = s.Read(got.data(), n);
        const int64_t expected = std::min<int64_t>(n, int64_t(model.size()) - at);
        ASSERT_EQ(moved, std::max<int64_t>(expected, 0));
        got.resize(size_t(moved));
        EXPECT_EQ(got, model.substr(size_t(at), size_t(moved)));
        at += moved;
        ASSERT_EQ(s.Position(), at);
    };
    {
        TFileStream s(name, fmCreate);
        for (int i = 0; i < 5000; ++i)
            write(s, std::to_string(i) + ",");
        EXPECT_EQ(s.Size(), int64_t(model.size()));
        write(s, std::string(200000, 'L')); // larger than the buffer
        s.Seek(10, soBeginning);
        at = 10;
        read(s, 7);
        write(s, "middle");
        read(s, 70000);
        s.Seek(-5, soCurrent);
        at -= 5;
        read(s, 3);
        s.Seek(-100, soEnd);
        at = int64_t(model.size()) - 100;
        read(s, 1000); // runs into the end
        s.SetSize(50);
        model.resize(50);
        EXPECT_EQ(s.Position(), 50);
        at = 50;
        write(s, "tail");
        EXPECT_EQ(s.Size(), 54);
    } // the last write reaches the file when the stream goes
    EXPECT_EQ(ReadAll(name), model);
    TFileStream reader(name, fmOpenRead);
    EXPECT_EQ(reader.Size(), 54);
    at = 0;
    read(reader, 20);
    reader.Seek(3, soBeginning); // inside what was read ahead
    at = 3;
    read(reader, 60);
    EXPECT_EQ(reader.Remaining(), 0);
}

TEST(Streams, CopyFromMovesExactlyTheBytesAsked) {
    TMemoryStream source(std::vector<uint8_t>{1, 2, 3, 4, 5});
    TMemoryStream target;
    source.SetPosition(1);
    target.CopyFrom(source, 3);
    EXPECT_EQ(target.Bytes(), (std::vector<uint8_t>{2, 3, 4}));
    TMemoryStream all;
    all.CopyFrom(source, 0);
    EXPECT_EQ(all.Size(), 5);
    source.SetPosition(4);
    EXPECT_THROW(target.CopyFrom(source, 3), EReadError);
}

// A save in pieces: the old file stays until the commit, a save dropped
// half way leaves nothing behind, and a commit that cannot rename keeps
// neither the temporary file nor a changed target.
TEST(Streams, AtomicSaveInPiecesReplacesTheFileOnlyAtTheCommit) {
    TempDir dir;
    const std::string name = dir / "job.JOB";
    WriteText(name, "old");
    {
        TAtomicSave save(name);
        save.Stream().WriteBuffer("ne", 2);
        EXPECT_EQ(ReadAll(name), "old");
        EXPECT_EQ(Temporaries(dir.path()).size(), 1u);
        save.Stream().WriteBuffer("w", 1);
        save.Commit();
        EXPECT_TRUE(Temporaries(dir.path()).empty());
    }
    EXPECT_EQ(ReadAll(name), "new");
    {
        TAtomicSave dropped(name);
        dropped.Stream().WriteBuffer("half", 4);
    }
    EXPECT_EQ(ReadAll(name), "new");
    EXPECT_EQ(dir.EntryCount(), 1);

    // The target became a folder holding a file meanwhile: the rename fails.
    const std::string folder = dir / "folder.JOB";
    {
        TAtomicSave save(folder);
        save.Stream().WriteBuffer("x", 1);
        ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
        WriteText(folder + "/inside", "y");
        EXPECT_THROW(save.Commit(), ESaveError);
    }
    EXPECT_TRUE(Temporaries(dir.path()).empty());
    EXPECT_EQ(ReadAll(folder + "/inside"), "y");
}
