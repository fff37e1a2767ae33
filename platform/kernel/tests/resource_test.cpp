#include "platform/module.h"
#include "platform/resource.h"

#include <gtest/gtest.h>

#include <cstring>

AX_RESOURCE(testResourceA, "VOR", "EXCEPT", "payload\0with zero");
AX_RESOURCE(testResourceB, "RCDATA", "TVOREXCEPT", "second");

namespace ax {
namespace {

TEST(Resource, FoundInTheLoadedProgram) {
    auto a = findResource(0, "VOR", "EXCEPT");
    ASSERT_TRUE(a);
    EXPECT_EQ(*a, std::string("payload\0with zero", 17));
    EXPECT_EQ(findResource(0, "rcdata", "tvorexcept").value_or(""), "second");
    EXPECT_FALSE(findResource(0, "VOR", "MISSING"));
    EXPECT_EQ(findResource(programModule()->handle, "RCDATA", "TVOREXCEPT").value_or(""), "second");
    EXPECT_FALSE(findResource(4096, "VOR", "EXCEPT"));
}

TEST(Resource, FoundInTheFileThroughSectionHeaders) {
    auto file = programModule()->fileName;
    EXPECT_EQ(findResourceInFile(file, "RCDATA", "TVOREXCEPT").value_or(""), "second");
    EXPECT_FALSE(findResourceInFile(file, "VOR", "NONE"));
    EXPECT_FALSE(findResourceInFile("/nonexistent", "VOR", "EXCEPT"));
}

std::string note(std::string desc, std::uint32_t descsz) {
    std::string n(12, '\0');
    std::uint32_t head[3] = {6, descsz, 1};
    std::memcpy(n.data(), head, 12);
    n += std::string("AXRES\0\0\0", 8);
    n += desc;
    while (n.size() % 4) n += '\0';
    return n;
}

TEST(Resource, DamagedNotesAreSkippedWithoutReadingPastThem) {
    std::string good = std::string("\x01T\x01N\x02\0\0\0ok", 10);
    EXPECT_EQ(findResourceInNotes(note(good, 10), "T", "N").value_or(""), "ok");
    // Data length beyond the descriptor.
    std::string longData = std::string("\x01T\x01N\xff\0\0\0ok", 10);
    EXPECT_FALSE(findResourceInNotes(note(longData, 10), "T", "N"));
    // Descriptor size beyond the block.
    EXPECT_FALSE(findResourceInNotes(note(good, 4000), "T", "N"));
    // Type length beyond the descriptor.
    EXPECT_FALSE(findResourceInNotes(note(std::string("\x40T", 2), 2), "T", "N"));
    EXPECT_FALSE(findResourceInNotes(std::string(11, '\0'), "T", "N"));
    // A bad note before a good one does not hide it.
    EXPECT_EQ(findResourceInNotes(note(longData, 10) + note(good, 10), "T", "N").value_or(""), "ok");
}

} // namespace
} // namespace ax
