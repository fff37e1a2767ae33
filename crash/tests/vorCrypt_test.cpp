#include "crash/vorCrypt.h"

#include <gtest/gtest.h>

namespace ax {
namespace {

std::string hex(std::string_view h) {
    std::string out;
    for (std::size_t i = 0; i + 1 < h.size(); i += 2)
        out += static_cast<char>(std::stoi(std::string(h.substr(i, 2)), nullptr, 16));
    return out;
}

TEST(Blowfish, InitialStateIsTheFractionOfPi) {
    const std::uint32_t* w = BlowfishPiWords();
    EXPECT_EQ(w[0], 0x243F6A88u);
    EXPECT_EQ(w[1], 0x85A308D3u);
    EXPECT_EQ(w[17], 0x8979FB1Bu);
    EXPECT_EQ(w[18], 0xD1310BA6u); // first word of the first S-box
    EXPECT_EQ(w[18 + 1023], 0x3AC372E6u); // last word of the fourth S-box
}

// Published ECB vectors (key, plaintext, ciphertext), checked against an
// independent implementation; most significant byte first (not raw).
struct Vector {
    const char* key;
    const char* plain;
    const char* cipher;
};
const Vector vectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
};

TEST(Blowfish, PublishedVectors) {
    for (const auto& v : vectors) {
        std::string block = hex(v.plain);
        Crypt(block.data(), block.size(), true, false, 0, hex(v.key));
        EXPECT_EQ(block, hex(v.cipher)) << v.key;
        Crypt(block.data(), block.size(), false, false, 0, hex(v.key));
        EXPECT_EQ(block, hex(v.plain)) << v.key;
    }
}

TEST(Blowfish, RawModeTakesHalvesAsStored) {
    // The same vector with each 4-byte half reversed in memory.
    std::string block = hex("1111111111111111");
    std::string key = hex("0123456789ABCDEF");
    EncryptInPlace(block, key);
    EXPECT_EQ(block, hex("80C3F96196B08122"));
    DecryptInPlace(block, key);
    EXPECT_EQ(block, hex("1111111111111111"));
}

TEST(Blowfish, WholeBlocksOnly) {
    std::string seven = "1234567";
    EncryptInPlace(seven, "key");
    EXPECT_EQ(seven, "1234567");
    std::string eleven = "12345678abc";
    EncryptInPlace(eleven, "key");
    EXPECT_NE(eleven.substr(0, 8), "12345678");
    EXPECT_EQ(eleven.substr(8), "abc");
    DecryptInPlace(eleven, "key");
    EXPECT_EQ(eleven, "12345678abc");
}

TEST(Blowfish, AnEmptyKeyLeavesTheBufferUnchanged) {
    const std::string plain = std::string("sixteen bytes!!") + '\x01';
    std::string s = plain;
    EncryptInPlace(s, "");
    EXPECT_EQ(s, plain);
    DecryptInPlace(s, "");
    EXPECT_EQ(s, plain);
    Crypt(s.data(), s.size(), true, false, 5, "");
    EXPECT_EQ(s, plain);
    DecryptAndUnpad(s, "", 0); // not unpadded either: nothing was deciphered
    EXPECT_EQ(s, plain);
}

TEST(Blowfish, CounterModeIncrementsBigEndianAndCarries) {
    std::string key = hex("0123456789ABCDEF");
    // Start bytes 11 11 11 11 11 11 11 10: the first counter is 11..11.
    std::string data(16, '\0');
    DecryptAndUnpad(data, key, 0x1011111111111111ull);
    EXPECT_EQ(data.substr(0, 8), hex("61F9C3802281B096"));
    EXPECT_EQ(data.substr(8), hex("68825D2B2F486315")); // counter 11..12
    // Start bytes 00 .. 00 ff: the increment carries into the seventh byte.
    std::string carry(8, '\0');
    DecryptAndUnpad(carry, key, 0xFF00000000000000ull);
    EXPECT_EQ(carry, hex("810500B086F93D4A"));
}

TEST(Blowfish, UnpadRemovesOnlyAValidFill) {
    std::string key = "settings key";
    auto roundTrip = [&](std::string plain) {
        Crypt(plain.data(), plain.size(), true, false, 0, key);
        DecryptAndUnpad(plain, key, 0);
        return plain;
    };
    EXPECT_EQ(roundTrip(std::string("secret\x02\x02", 8)), "secret");
    EXPECT_EQ(roundTrip(std::string("1234567\x01", 8)), "1234567");
    EXPECT_EQ(roundTrip(std::string(8, '\x08')), "");
    EXPECT_EQ(roundTrip(std::string("secret\x01\x02", 8)), std::string("secret\x01\x02", 8));
    EXPECT_EQ(roundTrip(std::string("secret\x00\x00", 8)), std::string("secret\x00\x00", 8));
    EXPECT_EQ(roundTrip(std::string("secret\x09\x09", 8)), std::string("secret\x09\x09", 8));
}

TEST(Base64, Rfc4648Vectors) {
    EXPECT_EQ(Base64Encode(""), "");
    EXPECT_EQ(Base64Encode("f"), "Zg==");
    EXPECT_EQ(Base64Encode("fo"), "Zm8=");
    EXPECT_EQ(Base64Encode("foo"), "Zm9v");
    EXPECT_EQ(Base64Encode("foob"), "Zm9vYg==");
    EXPECT_EQ(Base64Encode("fooba"), "Zm9vYmE=");
    EXPECT_EQ(Base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(Base64Encode(std::string("\xfb\xff\xfe", 3)), "+//+");
    EXPECT_EQ(Base64Encode(std::string(100, 'x')).size(), 136u);
}

TEST(ByteSwap, MostSignificantFirst) { EXPECT_EQ(ByteSwap(0x11223344u), 0x44332211u); }

} // namespace
} // namespace ax
