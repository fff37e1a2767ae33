// Blowfish with its initial boxes computed from the digits of pi (no table
// in the source), the in-place string encryption and padded decryption, and
// Base64.
#include "crash/vorCrypt.h"

#include <array>
#include <cstring>
#include <vector>

namespace ax {

namespace {

constexpr std::size_t piWordCount = 18 + 4 * 256;

// Fixed-point numbers: word 0 the integer part, then 32-bit fraction words.
using Fixed = std::vector<std::uint32_t>;

void divide(Fixed& x, std::uint32_t d) {
    std::uint64_t rest = 0;
    for (auto& w : x) {
        std::uint64_t cur = (rest << 32) | w;
        w = static_cast<std::uint32_t>(cur / d);
        rest = cur % d;
    }
}

void addTo(Fixed& acc, const Fixed& x, bool subtract) {
    std::uint64_t carry = 0;
    for (std::size_t i = x.size(); i-- > 0;) {
        if (!subtract) {
            std::uint64_t s = std::uint64_t{acc[i]} + x[i] + carry;
            acc[i] = static_cast<std::uint32_t>(s);
            carry = s >> 32;
        } else {
            std::uint64_t sub = std::uint64_t{x[i]} + carry;
            carry = acc[i] < sub ? 1 : 0;
            acc[i] = static_cast<std::uint32_t>(acc[i] - sub);
        }
    }
}

void multiply(Fixed& x, std::uint32_t m) {
    std::uint64_t carry = 0;
    for (std::size_t i = x.size(); i-- > 0;) {
        std::uint64_t p = std::uint64_t{x[i]} * m + carry;
        x[i] = static_cast<std::uint32_t>(p);
        carry = p >> 32;
    }
}

bool isZero(const Fixed& x) {
    for (auto w : x)
        if (w != 0) return false;
    return true;
}

// arctan(1/x) by its alternating series.
Fixed arctanInverse(std::uint32_t x, std::size_t words) {
    Fixed sum(words, 0), power(words, 0), term(words);
    power[0] = 1;
    divide(power, x);
    const std::uint32_t xx = x * x;
    for (std::uint32_t k = 0; !isZero(power); ++k) {
        term = power;
        divide(term, 2 * k + 1);
        addTo(sum, term, k % 2 == 1);
        divide(power, xx);
    }
    return sum;
}

std::vector<std::uint32_t> computePiWords() {
    // Machin: pi = 16 arctan(1/5) - 4 arctan(1/239); guard words absorb rounding.
    const std::size_t words = 1 + piWordCount + 4;
    Fixed pi = arctanInverse(5, words);
    multiply(pi, 16);
    Fixed b = arctanInverse(239, words);
    multiply(b, 4);
    addTo(pi, b, true);
    return std::vector<std::uint32_t>(pi.begin() + 1, pi.begin() + 1 + piWordCount);
}

struct Blowfish {
    std::uint32_t P[18];
    std::uint32_t S[4][256];

    explicit Blowfish(std::string_view key) {
        const std::uint32_t* pi = BlowfishPiWords();
        std::memcpy(P, pi, sizeof P);
        std::memcpy(S, pi + 18, sizeof S);
        if (!key.empty()) {
            std::size_t at = 0;
            for (auto& p : P) {
                std::uint32_t k = 0;
                for (int i = 0; i < 4; ++i) {
                    k = (k << 8) | static_cast<unsigned char>(key[at]);
                    at = (at + 1) % key.size();
                }
                p ^= k;
            }
        }
        std::uint32_t l = 0, r = 0;
        for (int i = 0; i < 18; i += 2) {
            encipher(l, r);
            P[i] = l;
            P[i + 1] = r;
        }
        for (auto& box : S)
            for (int i = 0; i < 256; i += 2) {
                encipher(l, r);
                box[i] = l;
                box[i + 1] = r;
            }
    }

    std::uint32_t F(std::uint32_t x) const {
        return ((S[0][x >> 24] + S[1][(x >> 16) & 0xFF]) ^ S[2][(x >> 8) & 0xFF]) + S[3][x & 0xFF];
    }

    void run(std::uint32_t& l, std::uint32_t& r, bool forward) const {
        int i = forward ? 0 : 17;
        const int step = forward ? 1 : -1;
        for (int round = 0; round < 16; ++round) {
            l ^= P[i];
            r ^= F(l);
            std::swap(l, r);
            i += step;
        }
        std::swap(l, r);
        r ^= P[i];
        l ^= P[i + step];
    }
    void encipher(std::uint32_t& l, std::uint32_t& r) const { run(l, r, true); }
};

std::uint32_t loadBig(const unsigned char* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}
void storeBig(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}
std::uint32_t loadLittle(const unsigned char* p) { return ByteSwap(loadBig(p)); }
void storeLittle(unsigned char* p, std::uint32_t v) { storeBig(p, ByteSwap(v)); }

} // namespace

const std::uint32_t* BlowfishPiWords() {
    static const std::vector<std::uint32_t> words = computePiWords();
    return words.data();
}

void Crypt(void* buffer, std::size_t length, bool encrypt, bool raw, std::uint64_t counterStart,
           std::string_view key) {
    // Without a key there is no cipher; the unkeyed schedule is no secret.
    if (length < 8 || key.empty()) return;
    const Blowfish bf(key);
    auto* p = static_cast<unsigned char*>(buffer);
    unsigned char counter[8];
    for (int i = 0; i < 8; ++i) counter[i] = static_cast<unsigned char>(counterStart >> (8 * i));
    for (std::size_t block = 0; block + 8 <= length; block += 8, p += 8) {
        if (counterStart != 0) {
            for (int i = 7; i >= 0 && ++counter[i] == 0; --i) {
            }
            std::uint32_t l = loadBig(counter), r = loadBig(counter + 4);
            bf.encipher(l, r);
            unsigned char pad[8];
            storeBig(pad, l);
            storeBig(pad + 4, r);
            for (int i = 0; i < 8; ++i) p[i] ^= pad[i];
            continue;
        }
        std::uint32_t l = raw ? loadLittle(p) : loadBig(p);
        std::uint32_t r = raw ? loadLittle(p + 4) : loadBig(p + 4);
        bf.run(l, r, encrypt);
        if (raw) {
            storeLittle(p, l);
            storeLittle(p + 4, r);
        } else {
            storeBig(p, l);
            storeBig(p + 4, r);
        }
    }
}

void EncryptInPlace(std::string& s, std::string_view key) {
    Crypt(s.data(), s.size(), true, true, 0, key);
}

void DecryptInPlace(std::string& s, std::string_view key) {
    Crypt(s.data(), s.size(), false, true, 0, key);
}

void DecryptAndUnpad(std::string& s, std::string_view key, std::uint64_t counterStart) {
    if (key.empty()) return;
    Crypt(s.data(), s.size(), counterStart != 0, false, counterStart, key);
    if (s.empty()) return;
    const auto n = static_cast<unsigned char>(s.back());
    if (n < 1 || n > 8 || n > s.size()) return;
    for (std::size_t i = s.size() - n; i < s.size(); ++i)
        if (static_cast<unsigned char>(s[i]) != n) return;
    s.resize(s.size() - n);
}

std::string Base64Encode(const void* buffer, std::size_t length) {
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const auto* p = static_cast<const unsigned char*>(buffer);
    std::string out;
    out.reserve((length + 2) / 3 * 4);
    for (std::size_t i = 0; i < length; i += 3) {
        std::uint32_t v = std::uint32_t{p[i]} << 16;
        if (i + 1 < length) v |= std::uint32_t{p[i + 1]} << 8;
        if (i + 2 < length) v |= p[i + 2];
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += i + 1 < length ? alphabet[(v >> 6) & 63] : '=';
        out += i + 2 < length ? alphabet[v & 63] : '=';
    }
    return out;
}

std::string Base64Encode(std::string_view s) { return Base64Encode(s.data(), s.size()); }

} // namespace ax
