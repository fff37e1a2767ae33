#pragma once
// Blowfish over strings, in place and in whole 8-byte blocks (trailing
// bytes stay as they are), and a Base64 encoder.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ax {

// raw: the block halves are taken as stored (little-endian); otherwise most
// significant byte first. A counter start other than 0 selects counter
// mode: before each block the counter (the start value's little-endian
// bytes, incremented as a big-endian number) is enciphered and XORed in.
void Crypt(void* buffer, std::size_t length, bool encrypt, bool raw, std::uint64_t counterStart,
           std::string_view key);

void EncryptInPlace(std::string& s, std::string_view key);
void DecryptInPlace(std::string& s, std::string_view key);
// Deciphers (counter mode when counterStart is not 0) and removes a fill of
// n bytes of value n (1..8).
void DecryptAndUnpad(std::string& s, std::string_view key, std::uint64_t counterStart);

std::string Base64Encode(const void* buffer, std::size_t length);
std::string Base64Encode(std::string_view s);

constexpr std::uint32_t ByteSwap(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

// The standard initial Blowfish state: the fraction of pi in hexadecimal,
// 18 words of P-array then 4 x 256 words of S-boxes. Computed on first use.
const std::uint32_t* BlowfishPiWords();

} // namespace ax
