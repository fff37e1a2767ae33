#include "platform/elf_file.h"
#include "platform/module.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace ax {
namespace {

int localFunction(int x) { return x * 3 + 1; }
int writableGlobal = 7;

TEST(Module, OwnProgramRangesHoldItsCodeAndData) {
    auto program = programModule();
    ASSERT_TRUE(program);
    auto code = reinterpret_cast<std::uintptr_t>(&localFunction);
    auto data = reinterpret_cast<std::uintptr_t>(&writableGlobal);
    EXPECT_GE(code, program->codeStart);
    EXPECT_LT(code, program->codeEnd);
    EXPECT_GE(data, program->dataStart);
    EXPECT_LT(data, program->dataEnd);
    EXPECT_EQ(program->handle % 4096, 0u);
    // The handle of a position-independent program is where its ELF header lies.
    EXPECT_EQ(0, std::memcmp(reinterpret_cast<const void*>(program->handle), "\177ELF", 4));
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe);
    ASSERT_GT(n, 0);
    EXPECT_EQ(program->fileName, std::string(exe, static_cast<std::size_t>(n)));

    auto found = moduleOfAddress(code);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->handle, program->handle);
    EXPECT_EQ(moduleOfHandle(0)->handle, program->handle);
}

TEST(Module, SharedLibraryExportsComeFromDynamicSymbols) {
    // getpid, unlike the string functions, is not replaced by the sanitizer runtime.
    auto libc = moduleOfAddress(reinterpret_cast<std::uintptr_t>(&::getpid));
    ASSERT_TRUE(libc);
    EXPECT_NE(libc->fileName.find("libc"), std::string::npos);
    auto address = exportByName(*libc, "getpid");
    EXPECT_EQ(address, reinterpret_cast<std::uintptr_t>(&::getpid));
    // Aliases share an address; the name found leads back to it.
    EXPECT_EQ(exportByName(*libc, exportName(*libc, address)), address);
    EXPECT_EQ(exportByName(*libc, "no_such_export_here"), 0u);
    auto exports = moduleExports(*libc);
    ASSERT_FALSE(exports.empty());
    EXPECT_EQ(exportByOrdinal(*libc, exports[5].ordinal), exports[5].address);
    EXPECT_EQ(exportByOrdinal(*libc, 0), 0u);
}

TEST(Module, AddressOutsideEveryModuleHasNone) {
    EXPECT_FALSE(moduleOfAddress(0));
    EXPECT_FALSE(moduleOfAddress(16));
    EXPECT_FALSE(moduleOfHandle(4096));
}

TEST(ElfFile, DamagedHeadersGiveAnInvalidView) {
    auto program = programModule();
    auto good = ElfFile::load(program->fileName);
    ASSERT_TRUE(good.valid());
    EXPECT_NE(good.section(".text"), nullptr);
    EXPECT_FALSE(good.symbols(2 /* SHT_SYMTAB */).empty());

    std::string bytes(reinterpret_cast<const char*>(program->handle), 64);
    EXPECT_FALSE(ElfFile(bytes.substr(0, 40)).valid());
    // Section headers claimed far beyond the data.
    std::string far = bytes;
    far[0x28] = '\x7f'; // e_shoff low byte
    far[0x2f] = '\x7f'; // e_shoff high byte
    far[0x3c] = 5;      // e_shnum
    EXPECT_FALSE(ElfFile(far).valid());
    EXPECT_FALSE(ElfFile(std::string(64, 'x')).valid());
    EXPECT_FALSE(ElfFile::load("/nonexistent/file").valid());
}

} // namespace
} // namespace ax
