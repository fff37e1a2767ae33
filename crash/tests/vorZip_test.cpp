#include "crash/vorTypes.h"
#include "crash/vorZip.h"
#include "support/deflate.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace ax {
namespace {

using testsupport::zipContainer;

TEST(Crc32, CheckValueAndRunningUpdates) {
    EXPECT_EQ(~UpdateCrc32(0xFFFFFFFFu, "123456789", 9), 0xCBF43926u);
    std::uint32_t c = UpdateCrc32(0xFFFFFFFFu, "1234", 4);
    EXPECT_EQ(~UpdateCrc32(c, "56789", 5), 0xCBF43926u);
    EXPECT_EQ(~UpdateCrc32(0xFFFFFFFFu, "", 0), 0u);
}

TEST(Uncompress, HandWrittenStoredBlock) {
    // length 5, unused, CRC-32 of "hello", stored final block LEN 5 NLEN ~5
    const std::string c("\x05\0\0\0\0\0\0\0\x86\xa6\x10\x36\x01\x05\x00\xfa\xffhello", 22);
    EXPECT_EQ(Uncompress(c), "hello");
    std::string badLen = c;
    badLen[15] = '\xfe'; // NLEN no longer the complement of LEN
    EXPECT_EQ(Uncompress(badLen), "");
}

TEST(Uncompress, RoundTripsRealDeflateData) {
    std::string data;
    for (int i = 0; i < 300000; ++i) data += static_cast<char>("units and publics"[i % 17] + i / 5000);
    EXPECT_EQ(Uncompress(zipContainer(data)), data);
    EXPECT_EQ(Uncompress(zipContainer("x")), "x");
}

TEST(Uncompress, BadContainersGiveNothing) {
    EXPECT_EQ(Uncompress(std::string(12, '\0')), "");
    EXPECT_EQ(Uncompress(""), "");
    std::string c = zipContainer("some debug information");
    std::string wrongCrc = c;
    wrongCrc[8] ^= 1;
    EXPECT_EQ(Uncompress(wrongCrc), "");
    EXPECT_EQ(Uncompress(c.substr(0, c.size() - 3)), ""); // stream cut short
    std::string shorter = c;
    shorter[0] = 5; // states fewer bytes than the stream yields
    EXPECT_EQ(Uncompress(shorter), "");
}

TEST(Uncompress, RefusesAStatedLengthTheStreamCannotProduce) {
    std::string c = zipContainer("tiny");
    c[0] = c[1] = c[2] = c[3] = '\xff'; // 4 GiB from a handful of bytes
    EXPECT_EQ(Uncompress(c), "");
    std::string zeros(1 << 20, '\0');
    std::string big = zipContainer(zeros); // highly compressible, still within the bound
    EXPECT_EQ(Uncompress(big).size(), zeros.size());
}

TEST(DecodeDeflate, FileToFileAndShortWrites) {
    std::string data(3 << 20, 'q');
    for (std::size_t i = 0; i < data.size(); i += 7) data[i] = static_cast<char>(i);
    std::string stream = testsupport::rawDeflate(data, 1);
    FILE* in = std::tmpfile();
    FILE* out = std::tmpfile();
    ASSERT_TRUE(in && out);
    ASSERT_EQ(std::fwrite(stream.data(), 1, stream.size(), in), stream.size());
    std::fflush(in);
    lseek(fileno(in), 0, SEEK_SET);
    std::uint32_t crc = 0;
    EXPECT_EQ(DecodeDeflate(&crc, ZipEndpoint::File(fileno(in)), ZipEndpoint::File(fileno(out))),
              static_cast<std::int64_t>(data.size()));
    EXPECT_EQ(crc, ~UpdateCrc32(0xFFFFFFFFu, data.data(), data.size()));
    std::string back(data.size(), '\0');
    lseek(fileno(out), 0, SEEK_SET);
    ASSERT_EQ(read(fileno(out), back.data(), back.size()), static_cast<ssize_t>(back.size()));
    EXPECT_EQ(back, data);

    int full = open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    try {
        DecodeDeflate(nullptr, ZipEndpoint::Memory(stream.data(), stream.size()),
                      ZipEndpoint::File(full));
        ADD_FAILURE() << "no exception";
    } catch (const VorException& e) {
        EXPECT_EQ(e.Message, "Stream write error.");
    }
    close(full);
    std::fclose(in);
    std::fclose(out);

    std::string garbage(100, '\xff');
    char target[16];
    EXPECT_EQ(DecodeDeflate(nullptr, ZipEndpoint::Memory(garbage.data(), garbage.size()),
                            ZipEndpoint::Memory(target, sizeof target)),
              zipDataError);
}

} // namespace
} // namespace ax
