// Text of decoded instructions for the function listing: Intel notation,
// lower-case hexadecimal. The text is written into a fixed buffer (no
// allocation until the finished line is handed over); operands are written
// by one routine per operand form, chosen from a table.
#include "vorDisAsm_internal.h"

#include <array>
#include <cstring>
#include <string>

namespace ax::disasm_detail {
namespace {

using namespace opflag;

// Opmask instructions of the VEX 0F map.
bool IsOpmaskOpcode(std::uint8_t op) {
    return (op >= 0x41 && op <= 0x4B && op != 0x43 && op != 0x48 && op != 0x49) ||
           (op >= 0x90 && op <= 0x93) || op == 0x98 || op == 0x99;
}

constexpr std::string_view kConditions[16] = {"o", "no", "b",  "nb", "z", "nz", "be", "a",
                                              "s", "ns", "p", "np", "l", "ge", "le", "g"};

constexpr const char* kReg8[] = {"al", "cl", "dl", "bl", "ah", "ch", "dh", "bh"};
constexpr const char* kReg8Rex[] = {"al",  "cl",  "dl",   "bl",   "spl",  "bpl",  "sil",  "dil",
                                    "r8b", "r9b", "r10b", "r11b", "r12b", "r13b", "r14b", "r15b"};
constexpr const char* kReg16[] = {"ax",  "cx",  "dx",   "bx",   "sp",   "bp",   "si",   "di",
                                  "r8w", "r9w", "r10w", "r11w", "r12w", "r13w", "r14w", "r15w"};
constexpr const char* kReg32[] = {"eax", "ecx", "edx",  "ebx",  "esp",  "ebp",  "esi",  "edi",
                                  "r8d", "r9d", "r10d", "r11d", "r12d", "r13d", "r14d", "r15d"};
constexpr const char* kReg64[] = {"rax", "rcx", "rdx", "rbx", "rsp", "rbp", "rsi", "rdi",
                                  "r8",  "r9",  "r10", "r11", "r12", "r13", "r14", "r15"};
constexpr const char* kSegments[] = {"es", "cs", "ss", "ds", "fs", "gs"};

// Register forms of D9 /4 to /7 (E0 to FF) that the opcode map names one by one.
constexpr const char* kD9Names[32] = {
    "fchs",  "fabs",    "",       "",        "ftst",    "fxam",   "",        "",
    "fld1",  "fldl2t",  "fldl2e", "fldpi",   "fldlg2",  "fldln2", "fldz",    "",
    "f2xm1", "fyl2x",   "fptan",  "fpatan",  "fxtract", "fprem1", "fdecstp", "fincstp",
    "fprem", "fyl2xp1", "fsqrt",  "fsincos", "frndint", "fscale", "fsin",    "fcos"};

// Register forms of 0F 01 by ModR/M byte.
struct TNamedByte {
    std::uint8_t Byte;
    const char* Name;
};
constexpr TNamedByte kGroup7Names[] = {
    {0xC1, "vmcall"},   {0xC2, "vmlaunch"}, {0xC3, "vmresume"}, {0xC4, "vmxoff"},
    {0xC8, "monitor"},  {0xC9, "mwait"},    {0xCA, "clac"},     {0xCB, "stac"},
    {0xCF, "encls"},    {0xD0, "xgetbv"},   {0xD1, "xsetbv"},   {0xD4, "vmfunc"},
    {0xD5, "xend"},     {0xD6, "xtest"},    {0xD7, "enclu"},    {0xD8, "vmrun"},
    {0xD9, "vmmcall"},  {0xDA, "vmload"},   {0xDB, "vmsave"},   {0xDC, "stgi"},
    {0xDD, "clgi"},     {0xDE, "skinit"},   {0xDF, "invlpga"},  {0xE8, "serialize"},
    {0xEE, "rdpkru"},   {0xEF, "wrpkru"},   {0xF8, "swapgs"},   {0xF9, "rdtscp"},
    {0xFA, "monitorx"}, {0xFB, "mwaitx"},   {0xFC, "clzero"}};

// The three-byte maps: name and operand form by opcode.
struct TMapEntry {
    std::uint8_t Opcode;
    const char* Name;
    TOperandForm Form;
};
constexpr TMapEntry kMap38[] = {
    {0x00, "pshufb", fPQ},     {0x01, "phaddw", fPQ},      {0x02, "phaddd", fPQ},
    {0x03, "phaddsw", fPQ},    {0x04, "pmaddubsw", fPQ},   {0x05, "phsubw", fPQ},
    {0x06, "phsubd", fPQ},     {0x07, "phsubsw", fPQ},     {0x08, "psignb", fPQ},
    {0x09, "psignw", fPQ},     {0x0A, "psignd", fPQ},      {0x0B, "pmulhrsw", fPQ},
    {0x10, "pblendvb", fVW},   {0x14, "blendvps", fVW},    {0x15, "blendvpd", fVW},
    {0x17, "ptest", fVW},      {0x1C, "pabsb", fPQ},       {0x1D, "pabsw", fPQ},
    {0x1E, "pabsd", fPQ},      {0x20, "pmovsxbw", fVW},    {0x21, "pmovsxbd", fVW},
    {0x22, "pmovsxbq", fVW},   {0x23, "pmovsxwd", fVW},    {0x24, "pmovsxwq", fVW},
    {0x25, "pmovsxdq", fVW},   {0x28, "pmuldq", fVW},      {0x29, "pcmpeqq", fVW},
    {0x2A, "movntdqa", fVW},   {0x2B, "packusdw", fVW},    {0x30, "pmovzxbw", fVW},
    {0x31, "pmovzxbd", fVW},   {0x32, "pmovzxbq", fVW},    {0x33, "pmovzxwd", fVW},
    {0x34, "pmovzxwq", fVW},   {0x35, "pmovzxdq", fVW},    {0x37, "pcmpgtq", fVW},
    {0x38, "pminsb", fVW},     {0x39, "pminsd", fVW},      {0x3A, "pminuw", fVW},
    {0x3B, "pminud", fVW},     {0x3C, "pmaxsb", fVW},      {0x3D, "pmaxsd", fVW},
    {0x3E, "pmaxuw", fVW},     {0x3F, "pmaxud", fVW},      {0x40, "pmulld", fVW},
    {0x41, "phminposuw", fVW}, {0x80, "invept", fGM},      {0x81, "invvpid", fGM},
    {0x82, "invpcid", fGM},    {0xC8, "sha1nexte", fVW},   {0xC9, "sha1msg1", fVW},
    {0xCA, "sha1msg2", fVW},   {0xCB, "sha256rnds2", fVW}, {0xCC, "sha256msg1", fVW},
    {0xCD, "sha256msg2", fVW}, {0xCF, "gf2p8mulb", fVW},   {0xDB, "aesimc", fVW},
    {0xDC, "aesenc", fVW},     {0xDD, "aesenclast", fVW},  {0xDE, "aesdec", fVW},
    {0xDF, "aesdeclast", fVW}, {0xF0, "movbe", fGE},       {0xF1, "movbe", fEG},
    {0xF5, "wruss", fEG},      {0xF6, "wrss", fEG},        {0xF8, "movdir64b", fGM},
    {0xF9, "movdiri", fEG}};
constexpr TMapEntry kMap3A[] = {
    {0x08, "roundps", fVWImm},        {0x09, "roundpd", fVWImm},
    {0x0A, "roundss", fVWImm},        {0x0B, "roundsd", fVWImm},
    {0x0C, "blendps", fVWImm},        {0x0D, "blendpd", fVWImm},
    {0x0E, "pblendw", fVWImm},        {0x0F, "palignr", fPQImm},
    {0x14, "pextrb", fEGImm},         {0x15, "pextrw", fEGImm},
    {0x16, "pextrd", fEGImm},         {0x17, "extractps", fEGImm},
    {0x20, "pinsrb", fGEImm},         {0x21, "insertps", fVWImm},
    {0x22, "pinsrd", fGEImm},         {0x40, "dpps", fVWImm},
    {0x41, "dppd", fVWImm},           {0x42, "mpsadbw", fVWImm},
    {0x44, "pclmulqdq", fVWImm},      {0x60, "pcmpestrm", fVWImm},
    {0x61, "pcmpestri", fVWImm},      {0x62, "pcmpistrm", fVWImm},
    {0x63, "pcmpistri", fVWImm},      {0xCC, "sha1rnds4", fVWImm},
    {0xCE, "gf2p8affineqb", fVWImm},  {0xCF, "gf2p8affineinvqb", fVWImm},
    {0xDF, "aeskeygenassist", fVWImm}};

// VEX forms of the 0F 38 and 0F 3A maps that have no legacy form.
constexpr TMapEntry kVex38[] = {
    {0x0C, "permilps", fVW},    {0x0D, "permilpd", fVW},      {0x0E, "testps", fVW},
    {0x0F, "testpd", fVW},      {0x13, "cvtph2ps", fVW},      {0x16, "permps", fVW},
    {0x18, "broadcastss", fVW}, {0x19, "broadcastsd", fVW},   {0x1A, "broadcastf128", fVW},
    {0x2C, "maskmovps", fVW},   {0x2D, "maskmovpd", fVW},     {0x2E, "maskmovps", fWV},
    {0x2F, "maskmovpd", fWV},   {0x36, "permd", fVW},         {0x45, "psrlvd", fVW},
    {0x46, "psravd", fVW},      {0x47, "psllvd", fVW},        {0x58, "pbroadcastd", fVW},
    {0x59, "pbroadcastq", fVW}, {0x5A, "broadcasti128", fVW}, {0x78, "pbroadcastb", fVW},
    {0x79, "pbroadcastw", fVW}, {0x8C, "pmaskmovd", fVW},     {0x8E, "pmaskmovd", fWV},
    {0xF2, "andn", fGE},        {0xF3, "blsr", fE},           {0xF5, "bzhi", fGE},
    {0xF6, "mulx", fGE},        {0xF7, "bextr", fGE}};
constexpr TMapEntry kVex3A[] = {
    {0x00, "permq", fVWImm},      {0x01, "permpd", fVWImm},   {0x02, "pblendd", fVWImm},
    {0x04, "permilps", fVWImm},   {0x05, "permilpd", fVWImm}, {0x06, "perm2f128", fVWImm},
    {0x18, "insertf128", fVWImm}, {0x19, "extractf128", fWV}, {0x1D, "cvtps2ph", fWV},
    {0x38, "inserti128", fVWImm}, {0x39, "extracti128", fWV}, {0x46, "perm2i128", fVWImm},
    {0x4A, "blendvps", fVWImm},   {0x4B, "blendvpd", fVWImm}, {0x4C, "pblendvb", fVWImm},
    {0xF0, "rorx", fGEImm}};

// An opcode-indexed view of one of the tables above (index + 1, 0 = none),
// built at compile time.
template <std::size_t N>
constexpr std::array<std::uint8_t, 256> IndexOf(const TMapEntry (&entries)[N]) {
    static_assert(N < 255);
    std::array<std::uint8_t, 256> index{};
    for (std::size_t i = 0; i < N; ++i)
        index[entries[i].Opcode] = static_cast<std::uint8_t>(i + 1);
    return index;
}
constexpr auto kMap38Index = IndexOf(kMap38);
constexpr auto kMap3AIndex = IndexOf(kMap3A);
constexpr auto kVex38Index = IndexOf(kVex38);
constexpr auto kVex3AIndex = IndexOf(kVex3A);

template <std::size_t N>
const TMapEntry* Lookup(const TMapEntry (&entries)[N], const std::array<std::uint8_t, 256>& index,
                        std::uint8_t opcode) {
    return index[opcode] != 0 ? &entries[index[opcode] - 1] : nullptr;
}
const TMapEntry* LegacyThreeByteEntry(bool map38, std::uint8_t opcode) {
    return map38 ? Lookup(kMap38, kMap38Index, opcode) : Lookup(kMap3A, kMap3AIndex, opcode);
}
// VEX first: at 0F 38 F5 and F6 the VEX forms (bzhi, pdep, pext, mulx) are
// not the legacy ones (wruss, wrss).
const TMapEntry* VexThreeByteEntry(bool map38, std::uint8_t opcode) {
    const TMapEntry* entry =
        map38 ? Lookup(kVex38, kVex38Index, opcode) : Lookup(kVex3A, kVex3AIndex, opcode);
    return entry != nullptr ? entry : LegacyThreeByteEntry(map38, opcode);
}

// AMD XOP: names and operand orders by map and opcode.
enum class TXopForm : std::uint8_t {
    RegVvvvRmIs4,   // multiply-accumulate: xmm1, xmm2, xmm3/m, xmm4 (imm8[7:4])
    RegVvvvSelect,  // vpcmov, vpperm: W swaps the r/m and the imm8[7:4] source
    RegRmImm,       // rotate by immediate
    RegVvvvRmImm,   // comparisons with a predicate
    RegRm,          // vfrcz, horizontal add and subtract
    RegShift,       // shifts and rotates: W swaps the r/m and the vvvv source
    GprVvvvRm,      // TBM: the result goes to vvvv
    GprRm,          // LWP control block
    GprRegRmImm32,  // bextr with a 32-bit immediate
    GprVvvvRmImm32, // lwpins, lwpval
};
struct TXopEntry {
    std::uint8_t Map;
    std::uint8_t Opcode;
    const char* Name; // "|" list by reg field for the groups
    TXopForm Form;
};
constexpr TXopEntry kXop[] = {
    {8, 0x85, "vpmacssww", TXopForm::RegVvvvRmIs4},   {8, 0x86, "vpmacsswd", TXopForm::RegVvvvRmIs4},
    {8, 0x87, "vpmacssdql", TXopForm::RegVvvvRmIs4},  {8, 0x8E, "vpmacssdd", TXopForm::RegVvvvRmIs4},
    {8, 0x8F, "vpmacssdqh", TXopForm::RegVvvvRmIs4},  {8, 0x95, "vpmacsww", TXopForm::RegVvvvRmIs4},
    {8, 0x96, "vpmacswd", TXopForm::RegVvvvRmIs4},    {8, 0x97, "vpmacsdql", TXopForm::RegVvvvRmIs4},
    {8, 0x9E, "vpmacsdd", TXopForm::RegVvvvRmIs4},    {8, 0x9F, "vpmacsdqh", TXopForm::RegVvvvRmIs4},
    {8, 0xA2, "vpcmov", TXopForm::RegVvvvSelect},     {8, 0xA3, "vpperm", TXopForm::RegVvvvSelect},
    {8, 0xA6, "vpmadcsswd", TXopForm::RegVvvvRmIs4},  {8, 0xB6, "vpmadcswd", TXopForm::RegVvvvRmIs4},
    {8, 0xC0, "vprotb", TXopForm::RegRmImm},          {8, 0xC1, "vprotw", TXopForm::RegRmImm},
    {8, 0xC2, "vprotd", TXopForm::RegRmImm},          {8, 0xC3, "vprotq", TXopForm::RegRmImm},
    {8, 0xCC, "vpcomb", TXopForm::RegVvvvRmImm},      {8, 0xCD, "vpcomw", TXopForm::RegVvvvRmImm},
    {8, 0xCE, "vpcomd", TXopForm::RegVvvvRmImm},      {8, 0xCF, "vpcomq", TXopForm::RegVvvvRmImm},
    {8, 0xEC, "vpcomub", TXopForm::RegVvvvRmImm},     {8, 0xED, "vpcomuw", TXopForm::RegVvvvRmImm},
    {8, 0xEE, "vpcomud", TXopForm::RegVvvvRmImm},     {8, 0xEF, "vpcomuq", TXopForm::RegVvvvRmImm},
    {9, 0x01, "|blcfill|blsfill|blcs|tzmsk|blcic|blsic|t1mskc", TXopForm::GprVvvvRm},
    {9, 0x02, "|blcmsk|||||blci|", TXopForm::GprVvvvRm},
    {9, 0x12, "llwpcb|slwpcb", TXopForm::GprRm},
    {9, 0x80, "vfrczps", TXopForm::RegRm},            {9, 0x81, "vfrczpd", TXopForm::RegRm},
    {9, 0x82, "vfrczss", TXopForm::RegRm},            {9, 0x83, "vfrczsd", TXopForm::RegRm},
    {9, 0x90, "vprotb", TXopForm::RegShift},          {9, 0x91, "vprotw", TXopForm::RegShift},
    {9, 0x92, "vprotd", TXopForm::RegShift},          {9, 0x93, "vprotq", TXopForm::RegShift},
    {9, 0x94, "vpshlb", TXopForm::RegShift},          {9, 0x95, "vpshlw", TXopForm::RegShift},
    {9, 0x96, "vpshld", TXopForm::RegShift},          {9, 0x97, "vpshlq", TXopForm::RegShift},
    {9, 0x98, "vpshab", TXopForm::RegShift},          {9, 0x99, "vpshaw", TXopForm::RegShift},
    {9, 0x9A, "vpshad", TXopForm::RegShift},          {9, 0x9B, "vpshaq", TXopForm::RegShift},
    {9, 0xC1, "vphaddbw", TXopForm::RegRm},           {9, 0xC2, "vphaddbd", TXopForm::RegRm},
    {9, 0xC3, "vphaddbq", TXopForm::RegRm},           {9, 0xC6, "vphaddwd", TXopForm::RegRm},
    {9, 0xC7, "vphaddwq", TXopForm::RegRm},           {9, 0xCB, "vphadddq", TXopForm::RegRm},
    {9, 0xD1, "vphaddubw", TXopForm::RegRm},          {9, 0xD2, "vphaddubd", TXopForm::RegRm},
    {9, 0xD3, "vphaddubq", TXopForm::RegRm},          {9, 0xD6, "vphadduwd", TXopForm::RegRm},
    {9, 0xD7, "vphadduwq", TXopForm::RegRm},          {9, 0xDB, "vphaddudq", TXopForm::RegRm},
    {9, 0xE1, "vphsubbw", TXopForm::RegRm},           {9, 0xE2, "vphsubwd", TXopForm::RegRm},
    {9, 0xE3, "vphsubdq", TXopForm::RegRm},
    {10, 0x10, "bextr", TXopForm::GprRegRmImm32},
    {10, 0x12, "lwpins|lwpval", TXopForm::GprVvvvRmImm32}};

const TXopEntry* FindXop(unsigned map, std::uint8_t opcode) {
    for (const TXopEntry& entry : kXop)
        if (entry.Map == map && entry.Opcode == opcode) return &entry;
    return nullptr;
}

// Item index of a "|" list; an entry without "|" is its own item.
std::string_view ListItem(std::string_view entry, unsigned index) {
    if (entry.find('|') == std::string_view::npos) return entry;
    for (unsigned i = 0; i < index; ++i) {
        const std::size_t bar = entry.find('|');
        if (bar == std::string_view::npos) return {};
        entry.remove_prefix(bar + 1);
    }
    return entry.substr(0, entry.find('|'));
}

std::uint64_t Mask(std::uint64_t value, unsigned bits) {
    return bits >= 64 ? value : value & ((std::uint64_t{1} << bits) - 1);
}

const char* SizeWord(unsigned bits) {
    switch (bits) {
    case 8:
        return "byte";
    case 16:
        return "word";
    case 32:
        return "dword";
    case 48:
        return "fword";
    case 64:
        return "qword";
    case 80:
        return "tbyte";
    case 128:
        return "oword";
    case 256:
        return "yword";
    case 512:
        return "zword";
    default:
        return nullptr;
    }
}

// A fixed buffer that text is appended to; longer text is cut (no
// instruction comes near its size).
template <std::size_t Capacity>
class TFixedText {
public:
    void Put(char c) {
        if (Length < Capacity) Data[Length++] = c;
    }
    void Put(std::string_view s) {
        const std::size_t n = std::min(s.size(), Capacity - Length);
        std::memcpy(Data + Length, s.data(), n);
        Length += n;
    }
    void PutDecimal(unsigned value) {
        char digits[12];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (count > 0)
            Put(digits[--count]);
    }
    // 0 to 9 as the digit alone, otherwise "0x" and lower-case hex digits.
    void PutHex(std::uint64_t value) {
        if (value < 10) return Put(static_cast<char>('0' + value));
        static constexpr char kDigits[] = "0123456789abcdef";
        char digits[16];
        int count = 0;
        while (value != 0) {
            digits[count++] = kDigits[value & 15];
            value >>= 4;
        }
        Put("0x");
        while (count > 0)
            Put(digits[--count]);
    }
    void PopBack() {
        if (Length > 0) --Length;
    }
    char Back() const { return Length > 0 ? Data[Length - 1] : '\0'; }
    void SetBack(char c) {
        if (Length > 0) Data[Length - 1] = c;
    }
    void Clear() { Length = 0; }
    bool Empty() const { return Length == 0; }
    std::string_view View() const { return {Data, Length}; }

private:
    char Data[Capacity];
    std::size_t Length = 0;
};

using TName = TFixedText<32>;

class TFormatter {
public:
    TFormatter(const TDecodeState& state, const TInstruction& record, TInstructionText& text)
        : S(state), R(record), T(text) {}
    void Run();

private:
    // The mandatory prefix that selects among the forms of an SSE opcode.
    std::uint8_t SsePrefix() const {
        if (S.Implied != 0) return S.Implied;
        if (S.Repne) return 0xF2;
        if (S.Rep) return 0xF3;
        if (S.OpSize) return 0x66;
        return 0;
    }
    bool Legacy() const { return R.Encoding == TOpcodeEncoding::Legacy; }
    bool Vector() const { return !Legacy(); }
    unsigned OperandBits() const;
    unsigned AddressBits() const {
        if (S.Is64) return S.AddrSize ? 32 : 64;
        return S.AddrSize ? 16 : 32;
    }
    bool StackDefault64() const;
    // MMX forms become XMM forms with 66 (or F3/F2 where the map says so).
    bool XmmForm() const {
        const std::uint8_t op = S.Opcode, p = SsePrefix();
        return p == 0x66 || (S.Map == 1 && (op == 0x6F || op == 0x7F || op == 0x70) && p != 0) ||
               (S.Map == 1 && op == 0xD6 && p != 0xF2);
    }

    // ---- names
    void Name(TName& name) const;
    void OneByteName(TName& name) const;
    void OpmaskName(TName& name) const;
    void ThreeByteName(TName& name) const;
    void XopName(TName& name) const;
    void Expand(std::string_view entry, TName& name) const;
    void SizeName(TName& name, unsigned bits) const;
    void SpecialTwoByteName(std::string_view entry, TName& name) const;

    // ---- operand pieces: each starts an operand of its own
    void Next() {
        Out.Put(OperandCount == 0 ? " " : ", ");
        ++OperandCount;
    }
    void Word(std::string_view text) {
        Next();
        Out.Put(text);
    }
    void Gpr(unsigned bits, unsigned number);
    unsigned RegNumber() const { return S.Reg | (S.RexR ? 8 : 0) | (S.EvexR2 ? 16 : 0); }
    unsigned RmNumber() const { return S.Rm | (S.RexB ? 8 : 0); }
    void Memory(unsigned bits);
    void Rm(unsigned bits) {
        if (S.IsMem)
            Memory(bits);
        else
            Gpr(bits, RmNumber());
    }
    // The r/m operand with sizes of its own for the memory and register forms.
    void MemoryOrGpr(unsigned memoryBits, unsigned registerBits) {
        if (S.IsMem)
            Memory(memoryBits);
        else
            Gpr(registerBits, RmNumber());
    }
    // A segment register's partner: a word in memory, a full register otherwise.
    void Rm16OrGpr() { MemoryOrGpr(16, OperandBits()); }
    void RegG(unsigned bits) { Gpr(bits, RegNumber()); }
    void Vec(unsigned number, bool xmm);
    void VecReg(bool xmm) { Vec(RegNumber(), xmm); }
    void VecRm(bool xmm, unsigned memBits) {
        if (S.IsMem)
            Memory(memBits);
        else
            Vec(RmNumber(), xmm);
    }
    void Mask(unsigned number) {
        Next();
        Out.Put('k');
        Out.PutDecimal(number & 7);
    }
    void St(unsigned number) {
        Next();
        Out.Put("st(");
        Out.PutDecimal(number);
        Out.Put(')');
    }
    void ControlOrDebug(const char* kind) {
        Next();
        Out.Put(kind);
        Out.PutDecimal(RegNumber());
    }
    std::uint64_t ImmediateValue(unsigned bits, bool signExtend);
    void Immediate(unsigned bits, bool signExtend = true) {
        const std::uint64_t value = ImmediateValue(bits, signExtend);
        Next();
        Out.PutHex(value);
    }
    void Imm8() { Immediate(8, false); }
    void Address(std::uint64_t value) {
        Next();
        Out.PutHex(value);
    }

    // ---- operands, one routine per form (kOperandWriters)
    using TWriter = void (TFormatter::*)();
    static const std::array<TWriter, fFormCount> kOperandWriters;
    void Operands(unsigned form) { (this->*kOperandWriters[form])(); }
    // general-purpose registers and memory
    void OpNone() {}
    void OpEG();
    void OpGE();
    void OpAccImm();
    void OpE();
    void OpEImm();
    void OpGEImm();
    void OpOpReg();
    void OpOpRegImm();
    void OpAccOpReg();
    void OpGEb() {
        RegG(OperandBits());
        Rm(8);
    }
    void OpGEw() {
        RegG(OperandBits());
        Rm(16);
    }
    void OpGEd() {
        RegG(OperandBits());
        Rm(32);
    }
    void OpEGImm();
    void OpEGCl() {
        Rm(OperandBits());
        RegG(OperandBits());
        Word("cl");
    }
    void OpE1() {
        Rm(OperandBits());
        Word("1");
    }
    void OpECl() {
        Rm(OperandBits());
        Word("cl");
    }
    void OpEw() { Rm16OrGpr(); }
    void OpEwGw() {
        Rm(16);
        RegG(16);
    }
    void OpGM();
    void OpM();
    void OpMG() {
        Memory(OperandBits());
        RegG(OperandBits());
    }
    // immediates, branches, ports and far pointers
    void OpImm();
    void OpRel();
    void OpMoffs();
    void OpFar();
    void OpInOut();
    void OpEnter();
    // segment, control and debug registers
    void OpESreg();
    void OpSregE();
    void OpSegReg();
    void OpRC() {
        Gpr(S.Is64 ? 64 : 32, RmNumber());
        ControlOrDebug("cr");
    }
    void OpRD() {
        Gpr(S.Is64 ? 64 : 32, RmNumber());
        ControlOrDebug("dr");
    }
    void OpCR() {
        ControlOrDebug("cr");
        Gpr(S.Is64 ? 64 : 32, RmNumber());
    }
    void OpDR() {
        ControlOrDebug("dr");
        Gpr(S.Is64 ? 64 : 32, RmNumber());
    }
    // MMX and SSE
    void OpPQ();
    void OpPQImm() {
        VecReg(XmmForm());
        VecRm(XmmForm(), VectorMemBits(XmmForm()));
        Imm8();
    }
    void OpVW();
    void OpWV() {
        VecRm(true, VectorMemBits(true));
        VecReg(true);
    }
    void OpVWImm() {
        VecReg(true);
        VecRm(true, VectorMemBits(true));
        Imm8();
    }
    void OpNImm() {
        Vec(RmNumber(), XmmForm());
        Imm8();
    }
    void OpPEd() {
        VecReg(XmmForm());
        Rm(S.RexW ? 64 : 32);
    }
    void OpEdP();
    void OpQP();
    void OpVQ();
    void OpPW();
    void OpGU() {
        RegG(S.Is64 && S.RexW ? 64 : 32);
        Vec(RmNumber(), S.Opcode == 0x50 || XmmForm());
    }
    void OpPEdImm();
    void OpGNImm() {
        RegG(32);
        Vec(RmNumber(), XmmForm());
        Imm8();
    }
    void OpPN() {
        VecReg(XmmForm());
        Vec(RmNumber(), XmmForm());
    }
    // x87
    void OpMem16() { Memory(16); }
    void OpMem32() { Memory(32); }
    void OpMem64() { Memory(64); }
    void OpMem80() { Memory(80); }
    void OpSt0Sti() {
        St(0);
        St(S.Rm);
    }
    void OpStiSt0() {
        St(S.Rm);
        St(0);
    }
    void OpSti() { St(S.Rm); }
    void OpFpuAx() { Word("ax"); }

    unsigned VectorMemBits(bool xmm) const;
    void OpmaskOperands();
    void VexOperands();
    bool VexGeneralOperands(const TMapEntry* entry);
    void XopOperands(const TXopEntry& entry);
    // VEX instructions on general registers (BMI) keep their names.
    bool IsGeneralVex() const {
        return (S.Map == 2 && S.Opcode >= 0xF2 && S.Opcode <= 0xF7) ||
               (S.Map == 3 && S.Opcode == 0xF0);
    }
    unsigned ChooseForm();
    void Prefixes();

    const TDecodeState& S;
    const TInstruction& R;
    TInstructionText& T;
    TFixedText<160> Out;
    unsigned OperandCount = 0;
    bool HideSegment = false; // notrack stands in for DS on indirect branches
};

// clang-format off
const std::array<TFormatter::TWriter, fFormCount> TFormatter::kOperandWriters = {
    &TFormatter::OpNone,    // fNone
    &TFormatter::OpEG,      // fEG
    &TFormatter::OpGE,      // fGE
    &TFormatter::OpAccImm,  // fAccImm
    &TFormatter::OpE,       // fE
    &TFormatter::OpEImm,    // fEImm
    &TFormatter::OpGEImm,   // fGEImm
    &TFormatter::OpOpReg,   // fOpReg
    &TFormatter::OpOpRegImm, // fOpRegImm
    &TFormatter::OpAccOpReg, // fAccOpReg
    &TFormatter::OpImm,     // fImm
    &TFormatter::OpRel,     // fRel
    &TFormatter::OpE1,      // fE1
    &TFormatter::OpECl,     // fECl
    &TFormatter::OpESreg,   // fESreg
    &TFormatter::OpSregE,   // fSregE
    &TFormatter::OpMoffs,   // fAccMoffs
    &TFormatter::OpMoffs,   // fMoffsAcc
    &TFormatter::OpFar,     // fFar
    &TFormatter::OpNone,    // fString
    &TFormatter::OpInOut,   // fInOut
    &TFormatter::OpEnter,   // fEnter
    &TFormatter::OpGEb,     // fGEb
    &TFormatter::OpGEw,     // fGEw
    &TFormatter::OpEGImm,   // fEGImm
    &TFormatter::OpEGCl,    // fEGCl
    &TFormatter::OpSegReg,  // fSegReg
    &TFormatter::OpGM,      // fGM
    &TFormatter::OpM,       // fM
    &TFormatter::OpRC,      // fRC
    &TFormatter::OpCR,      // fCR
    &TFormatter::OpRD,      // fRD
    &TFormatter::OpDR,      // fDR
    &TFormatter::OpEw,      // fEw
    &TFormatter::OpEwGw,    // fEwGw
    &TFormatter::OpGEd,     // fGEd
    &TFormatter::OpPQ,      // fPQ
    &TFormatter::OpVW,      // fVW
    &TFormatter::OpWV,      // fWV
    &TFormatter::OpVWImm,   // fVWImm
    &TFormatter::OpPQImm,   // fPQImm
    &TFormatter::OpNImm,    // fNImm
    &TFormatter::OpPEd,     // fPEd
    &TFormatter::OpEdP,     // fEdP
    &TFormatter::OpQP,      // fQP
    &TFormatter::OpVQ,      // fVQ
    &TFormatter::OpPW,      // fPW
    &TFormatter::OpGU,      // fGU
    &TFormatter::OpPEdImm,  // fPEdImm
    &TFormatter::OpGNImm,   // fGNImm
    &TFormatter::OpMG,      // fMG
    &TFormatter::OpPN,      // fPN
    &TFormatter::OpMem16,   // fMem16
    &TFormatter::OpMem32,   // fMem32
    &TFormatter::OpMem64,   // fMem64
    &TFormatter::OpMem80,   // fMem80
    &TFormatter::OpSt0Sti,  // fSt0Sti
    &TFormatter::OpStiSt0,  // fStiSt0
    &TFormatter::OpSti,     // fSti
    &TFormatter::OpFpuAx,   // fFpuAx
};
// clang-format on

unsigned TFormatter::OperandBits() const {
    if (S.Flags & ByteRegs) return 8;
    if (Legacy() && S.Map == 1 && (S.Opcode == 0x78 || S.Opcode == 0x79)) return S.Is64 ? 64 : 32;
    if (S.RexW) return 64;
    if (S.OpSize) return 16;
    if (S.Is64 && StackDefault64()) return 64;
    return 32;
}

// Operations on the stack and near branches default to 64 bits in 64-bit mode.
bool TFormatter::StackDefault64() const {
    if (!Legacy()) return false;
    if (S.Map == 0) {
        const std::uint8_t op = S.Opcode;
        if ((op >= 0x50 && op <= 0x5F) || op == 0x68 || op == 0x6A || op == 0x8F || op == 0x9C ||
            op == 0x9D || op == 0xC9)
            return true;
        if (op == 0xFF) return S.Reg == 2 || S.Reg == 4 || S.Reg == 6;
        return false;
    }
    // vmread and vmwrite work on 64 bits in 64-bit mode whatever the prefixes.
    return S.Map == 1 && (S.Opcode == 0xA0 || S.Opcode == 0xA1 || S.Opcode == 0xA8 ||
                          S.Opcode == 0xA9 || S.Opcode == 0x78 || S.Opcode == 0x79);
}

void TFormatter::Gpr(unsigned bits, unsigned number) {
    number &= 15;
    Next();
    switch (bits) {
    case 8:
        return Out.Put(S.RexPresent ? kReg8Rex[number] : kReg8[number & 7]);
    case 16:
        return Out.Put(kReg16[number]);
    case 64:
        return Out.Put(kReg64[number]);
    default:
        return Out.Put(kReg32[number]);
    }
}

void TFormatter::Vec(unsigned number, bool xmm) {
    Next();
    if (!xmm) {
        Out.Put("mm");
        Out.PutDecimal(number & 7);
        return;
    }
    static constexpr const char* kPrefix[] = {"xmm", "ymm", "zmm", "zmm"};
    Out.Put(kPrefix[Vector() ? S.VectorLength & 3 : 0]);
    Out.PutDecimal(number);
}

void TFormatter::Memory(unsigned bits) {
    Next();
    if (const char* word = SizeWord(bits)) {
        Out.Put(word);
        Out.Put(" ptr ");
    }
    const unsigned segment = HideSegment ? 0 : S.Segment;
    if (segment >= 1 && segment <= 6) {
        Out.Put(kSegments[segment - 1]);
        Out.Put(':');
    }
    Out.Put('[');
    const unsigned addressBits = AddressBits();
    auto addressReg = [&](int number) {
        const unsigned n = static_cast<unsigned>(number) & 15;
        Out.Put(addressBits == 64 ? kReg64[n] : addressBits == 32 ? kReg32[n] : kReg16[n]);
    };
    if (S.RipRelative) {
        Out.Put(S.AddrSize ? "eip" : "rip");
        T.MemoryAddress = static_cast<std::uintptr_t>(
            ax::disasm_detail::Mask(R.InstrNext + static_cast<std::uint64_t>(S.Disp), S.AddrSize ? 32 : 64));
    } else if (S.Plain) {
        const std::uint64_t address = ax::disasm_detail::Mask(static_cast<std::uint64_t>(S.Disp), addressBits);
        Out.PutHex(address);
        // FS and GS have bases of their own: the displacement is no address.
        if (S.Segment < 5) T.MemoryAddress = static_cast<std::uintptr_t>(address);
        return Out.Put(']');
    } else {
        bool first = true;
        if (S.BaseReg >= 0) {
            addressReg(S.BaseReg);
            first = false;
        }
        if (S.HasIndex && S.IndexReg >= 0) {
            if (!first) Out.Put('+');
            addressReg(S.IndexReg);
            if (S.Scale > 1) {
                Out.Put('*');
                Out.PutDecimal(S.Scale);
            }
            first = false;
        }
        if (first) { // SIB without base or index
            Out.PutHex(ax::disasm_detail::Mask(static_cast<std::uint64_t>(S.Disp), addressBits));
            return Out.Put(']');
        }
    }
    if (S.DispSize > 0 && S.Disp != 0) {
        const std::uint64_t magnitude = S.Disp < 0 ? ~static_cast<std::uint64_t>(S.Disp) + 1
                                                   : static_cast<std::uint64_t>(S.Disp);
        Out.Put(S.Disp < 0 ? '-' : '+');
        Out.PutHex(magnitude);
    }
    Out.Put(']');
}

std::uint64_t TFormatter::ImmediateValue(unsigned bits, bool signExtend) {
    const std::int64_t raw = S.Signed(S.ImmOffset, S.ImmSize);
    std::uint64_t value = static_cast<std::uint64_t>(raw);
    if (!signExtend) value = ax::disasm_detail::Mask(value, static_cast<unsigned>(S.ImmSize * 8));
    value = ax::disasm_detail::Mask(value, bits);
    T.Immediate = value;
    T.HasImmediate = true;
    return value;
}

// ---- names ------------------------------------------------------------------

// Resolves "%cc", the packed/scalar tags and the single/double tags.
void TFormatter::Expand(std::string_view entry, TName& name) const {
    const std::uint8_t prefix = SsePrefix();
    for (std::size_t i = 0; i < entry.size(); ++i) {
        const char c = entry[i];
        if (c == '%' && entry.substr(i, 3) == "%cc") {
            name.Put(kConditions[S.Opcode & 15]);
            i += 2;
        } else if (c == '%' && i + 1 < entry.size()) {
            const char tag = entry[++i];
            if (tag == 's') name.Put(prefix == 0x66 ? 'd' : 's');
            if (tag == 'p') name.Put(prefix == 0xF3 || prefix == 0xF2 ? 's' : 'p');
        } else if (c == 'P' && i + 1 < entry.size() && entry[i + 1] == 'S') {
            name.Put(prefix == 0x66 ? "pd" : prefix == 0xF3 ? "ss" : prefix == 0xF2 ? "sd" : "ps");
            ++i;
        } else if (c == 'P') {
            name.Put(prefix == 0x66 ? "pd" : "ps");
        } else if (c == 'S') {
            name.Put(prefix == 0xF2 ? "sd" : "ss");
        } else {
            name.Put(c);
        }
    }
}

// String instructions and the conversions name their operand size.
void TFormatter::SizeName(TName& name, unsigned bits) const {
    switch (S.Opcode) {
    case 0x60:
    case 0x61:
        if (bits == 16) name.PopBack();
        return;
    case 0x98:
        if (bits != 32) name.Clear(), name.Put(bits == 16 ? "cbw" : "cdqe");
        return;
    case 0x99:
        if (bits != 32) name.Clear(), name.Put(bits == 16 ? "cwd" : "cqo");
        return;
    case 0x9C:
    case 0x9D:
        if (bits == 16) return name.PopBack();
        if (S.Is64) name.SetBack('q');
        return;
    case 0xCF:
        if (bits != 32) name.Clear(), name.Put(bits == 16 ? "iret" : "iretq");
        return;
    case 0xE3:
        name.Clear();
        if (S.Is64) return name.Put(S.AddrSize ? "jecxz" : "jrcxz");
        return name.Put(S.AddrSize ? "jcxz" : "jecxz");
    case 0x6D:
    case 0x6F: // no 64-bit port transfers
        return name.SetBack(bits == 16 || S.OpSize ? 'w' : 'd');
    case 0xCA:
    case 0xCB:
        if (S.RexW) name.Put('q');
        return;
    case 0xA5:
    case 0xA7:
    case 0xAB:
    case 0xAD:
    case 0xAF:
        return name.SetBack(bits == 16 ? 'w' : bits == 64 ? 'q' : 'd');
    default:
        return;
    }
}

// 0F opcodes whose mandatory prefix or form changes the whole name.
void TFormatter::SpecialTwoByteName(std::string_view entry, TName& name) const {
    const std::uint8_t p = SsePrefix();
    const bool reg = !S.IsMem;
    auto plain = [&](std::string_view text) { name.Put(text); };
    switch (S.Opcode) {
    case 0x10:
    case 0x11:
        return p == 0xF3 ? plain("movss") : p == 0xF2 ? plain("movsd") : Expand(entry, name);
    case 0x12:
        if (p == 0xF3) return plain("movsldup");
        if (p == 0xF2) return plain("movddup");
        return p == 0 && reg ? plain("movhlps") : Expand(entry, name);
    case 0x16:
        if (p == 0xF3) return plain("movshdup");
        return reg && p != 0x66 ? plain("movlhps") : Expand(entry, name);
    case 0x2B: // the scalar forms are a vendor extension
        return p == 0xF3 ? plain("movntss") : p == 0xF2 ? plain("movntsd") : Expand(entry, name);
    case 0x52:
    case 0x53: // no double-precision forms
        if (p == 0xF3) return Expand(entry, name);
        name.Put(entry.substr(0, entry.size() - 2));
        return plain("ps");
    case 0x79: // vmwrite, or the vendor extension's bit-field insert and extract
        if (reg && p == 0x66) return plain("extrq");
        return plain(reg && p == 0xF2 ? "insertq" : entry);
    case 0x1E:
        if (S.Rep && R.ModRmByte == 0xFA) return plain("endbr64");
        if (S.Rep && R.ModRmByte == 0xFB) return plain("endbr32");
        return plain(entry);
    case 0x5A:
        return plain(p == 0x66   ? "cvtpd2ps"
                     : p == 0xF3 ? "cvtss2sd"
                     : p == 0xF2 ? "cvtsd2ss"
                                 : "cvtps2pd");
    case 0x5B:
        return plain(p == 0x66 ? "cvtps2dq" : p == 0xF3 ? "cvttps2dq" : "cvtdq2ps");
    case 0xE6:
        return plain(p == 0xF3 ? "cvtdq2pd" : p == 0xF2 ? "cvtpd2dq" : "cvttpd2dq");
    case 0x6F:
    case 0x7F:
        return plain(p == 0x66 ? "movdqa" : p == 0xF3 ? "movdqu" : "movq");
    case 0x6E:
        return plain(S.RexW ? "movq" : "movd");
    case 0x7E:
        return plain(p == 0xF3 || S.RexW ? "movq" : "movd");
    case 0x70:
        return plain(p == 0x66 ? "pshufd" : p == 0xF3 ? "pshufhw" : p == 0xF2 ? "pshuflw" : "pshufw");
    case 0xD6:
        return plain(p == 0xF3 ? "movq2dq" : p == 0xF2 ? "movdq2q" : "movq");
    case 0xE7:
        return plain(p == 0x66 ? "movntdq" : "movntq");
    case 0xF7:
        return plain(p == 0x66 ? "maskmovdqu" : "maskmovq");
    case 0xBC:
        return plain(S.Rep ? "tzcnt" : "bsf");
    case 0xBD:
        return plain(S.Rep ? "lzcnt" : "bsr");
    case 0x0F:
        return plain(ThreeDNowName(S.Bytes[S.ImmOffset]));
    case 0x01:
        if (reg && S.Reg != 4 && S.Reg != 6) {
            for (const TNamedByte& item : kGroup7Names)
                if (item.Byte == R.ModRmByte) return plain(item.Name);
            return;
        }
        if (S.IsMem && S.Reg == 5) return plain("rstorssp");
        return plain(ListItem(entry, S.Reg));
    case 0xAE:
        if (reg) {
            if (S.Rep && S.Reg <= 3) {
                static constexpr const char* kBase[] = {"rdfsbase", "rdgsbase", "wrfsbase",
                                                        "wrgsbase"};
                return plain(kBase[S.Reg]);
            }
            return plain(S.Reg == 5 ? "lfence" : S.Reg == 6 ? "mfence" : "sfence");
        }
        if (p == 0x66 && S.Reg == 6) return plain("clwb");
        if (p == 0x66 && S.Reg == 7) return plain("clflushopt");
        plain(ListItem(entry, S.Reg));
        if (S.RexW && S.Reg != 2 && S.Reg != 3 && S.Reg != 7) plain("64");
        return;
    case 0xC7:
        if (reg) return plain(S.Reg == 6 ? "rdrand" : S.Rep ? "rdpid" : "rdseed");
        if (S.Reg == 1) return plain(S.RexW ? "cmpxchg16b" : "cmpxchg8b");
        if (S.Reg == 6 && p == 0x66) return plain("vmclear");
        if (S.Reg == 6 && p == 0xF3) return plain("vmxon");
        plain(ListItem(entry, S.Reg));
        if (S.RexW && S.Reg >= 3 && S.Reg <= 5) plain("64");
        return;
    default:
        return Expand(ListItem(entry, S.Reg), name);
    }
}

void TFormatter::OneByteName(TName& name) const {
    const std::uint8_t op = S.Opcode;
    const std::string_view entry = MnemonicEntry(OneByteMnemonic(op));
    if (op >= 0xD8 && op <= 0xDF) {
        std::string_view item = ListItem(entry, S.Reg + (S.IsMem ? 0 : 8));
        if (item.empty() && !S.IsMem && op == 0xD9 && R.ModRmByte >= 0xE0)
            item = kD9Names[R.ModRmByte - 0xE0];
        if (!S.IsMem && op == 0xDB && R.ModRmByte == 0xE2) item = "fnclex";
        if (!S.IsMem && op == 0xDB && R.ModRmByte == 0xE3) item = "fninit";
        return name.Put(item);
    }
    if (op == 0x63 && S.Is64) return name.Put("movsxd");
    if (op == 0x90 && S.Rep && !S.RexB) return name.Put("pause");
    if (op == 0x90 && S.RexB) return name.Put("xchg");
    if (op == 0xC6 && R.ModRmByte == 0xF8) return name.Put("xabort");
    if (op == 0xC7 && R.ModRmByte == 0xF8) return name.Put("xbegin");
    if (op == 0x9A || op == 0xEA) return name.Put(entry);
    Expand(ListItem(entry, S.Reg), name);
    SizeName(name, OperandBits());
}

void TFormatter::ThreeByteName(TName& name) const {
    const bool map38 = S.Map == 2;
    if (Legacy() && map38 && (S.Opcode == 0xF0 || S.Opcode == 0xF1) && S.Repne) return name.Put("crc32");
    if (Legacy() && map38 && S.Opcode == 0xF6) return name.Put(S.OpSize ? "adcx" : S.Rep ? "adox" : "wrss");
    const TMapEntry* entry = Vector() ? VexThreeByteEntry(map38, S.Opcode) : LegacyThreeByteEntry(map38, S.Opcode);
    if (entry == nullptr) return;
    if (Vector() && map38) {
        const std::uint8_t p = SsePrefix();
        if (S.Opcode == 0xF3) return name.Put(S.Reg == 1 ? "blsr" : S.Reg == 2 ? "blsmsk" : "blsi");
        if (S.Opcode == 0xF5) return name.Put(p == 0xF2 ? "pdep" : p == 0xF3 ? "pext" : "bzhi");
        if (S.Opcode == 0xF7)
            return name.Put(p == 0x66 ? "shlx" : p == 0xF3 ? "sarx" : p == 0xF2 ? "shrx" : "bextr");
    }
    if (!map38 && S.Opcode == 0x16 && S.RexW) return name.Put("pextrq");
    if (!map38 && S.Opcode == 0x22 && S.RexW) return name.Put("pinsrq");
    name.Put(entry->Name);
}

void TFormatter::Name(TName& name) const {
    if (R.Encoding == TOpcodeEncoding::Xop) return XopName(name);
    if (S.Map == 0) return OneByteName(name);
    if (S.Map == 1 && Vector() && IsOpmaskOpcode(S.Opcode)) return OpmaskName(name);
    if (S.Map == 1 && Vector() && S.Opcode == 0x77)
        return name.Put(S.VectorLength ? "zeroall" : "zeroupper");
    if (S.Map == 1) return SpecialTwoByteName(MnemonicEntry(TwoByteMnemonic(S.Opcode)), name);
    if (S.Map == 2 || S.Map == 3) return ThreeByteName(name);
}

void TFormatter::OpmaskName(TName& name) const {
    const std::uint8_t op = S.Opcode;
    const std::uint8_t p = SsePrefix();
    if (op == 0x4B) return name.Put(p == 0x66 ? "kunpckbw" : S.RexW ? "kunpckdq" : "kunpckwd");
    switch (op) {
    case 0x41:
        name.Put("kand");
        break;
    case 0x42:
        name.Put("kandn");
        break;
    case 0x44:
        name.Put("knot");
        break;
    case 0x45:
        name.Put("kor");
        break;
    case 0x46:
        name.Put("kxnor");
        break;
    case 0x47:
        name.Put("kxor");
        break;
    case 0x4A:
        name.Put("kadd");
        break;
    case 0x98:
        name.Put("kortest");
        break;
    case 0x99:
        name.Put("ktest");
        break;
    default:
        name.Put("kmov");
        break;
    }
    if ((op == 0x92 || op == 0x93) && p == 0xF2) return name.Put(S.RexW ? 'q' : 'd');
    if (p == 0x66) return name.Put(S.RexW ? 'd' : 'b');
    name.Put(S.RexW ? 'q' : 'w');
}

void TFormatter::XopName(TName& name) const {
    if (const TXopEntry* entry = FindXop(S.Map, S.Opcode)) name.Put(ListItem(entry->Name, S.Reg));
}

// ---- operands ------------------------------------------------------------------

void TFormatter::OpEG() {
    Rm(OperandBits());
    RegG(OperandBits());
}

void TFormatter::OpGE() {
    const std::uint8_t p = SsePrefix();
    if (S.Map == 1 && S.Opcode == 0x79 && !S.IsMem && (p == 0x66 || p == 0xF2)) {
        VecReg(true);
        VecRm(true, 128);
        return;
    }
    RegG(OperandBits());
    Rm(OperandBits());
}

void TFormatter::OpAccImm() {
    Gpr(OperandBits(), 0);
    Immediate(OperandBits());
}

void TFormatter::OpE() {
    if (S.Map == 0 && S.Opcode == 0xFF && (S.Reg == 3 || S.Reg == 5))
        Memory(S.RexW ? 80 : S.OpSize ? 32 : 48);
    else if (S.Map == 2 && Vector()) // blsr and its group: vvvv, r/m
        Rm(S.RexW ? 64 : 32);
    else
        Rm(OperandBits());
}

void TFormatter::OpEImm() {
    const std::uint8_t op = S.Opcode;
    if (R.ModRmByte == 0xF8 && S.Map == 0 && (op == 0xC6 || op == 0xC7)) {
        if (op == 0xC6) return Imm8(); // xabort
        // xbegin: the fallback address
        const std::uint64_t target = R.InstrNext + static_cast<std::uint64_t>(S.Signed(S.ImmOffset, S.ImmSize));
        return Address(ax::disasm_detail::Mask(target, S.Is64 ? 64 : 32));
    }
    Rm(OperandBits());
    // Shift counts and bit offsets are unsigned bytes; the other byte
    // immediates are sign-extended to the operand size.
    const bool unsignedByte = (S.Map == 0 && (op == 0xC0 || op == 0xC1)) || (S.Map == 1 && op == 0xBA);
    if (unsignedByte)
        Imm8();
    else
        Immediate(OperandBits());
}

void TFormatter::OpGEImm() {
    if (S.Map == 3) { // pinsrb, pinsrd: xmm, r/m, imm
        VecReg(true);
        MemoryOrGpr(S.Opcode == 0x20 ? 8 : S.RexW ? 64 : 32, S.RexW ? 64 : 32);
        return Imm8();
    }
    RegG(OperandBits());
    Rm(OperandBits());
    Immediate(OperandBits());
}

void TFormatter::OpOpReg() {
    const unsigned bits = S.Map == 1 ? (S.RexW ? 64 : 32) : OperandBits(); // bswap
    Gpr(bits, (S.Opcode & 7) | (S.RexB ? 8 : 0));
}

void TFormatter::OpOpRegImm() {
    const unsigned bits = S.Opcode < 0xB8 ? 8 : OperandBits();
    Gpr(bits, (S.Opcode & 7) | (S.RexB ? 8 : 0));
    Immediate(bits);
}

void TFormatter::OpAccOpReg() {
    Gpr(OperandBits(), 0);
    Gpr(OperandBits(), (S.Opcode & 7) | (S.RexB ? 8 : 0));
}

void TFormatter::OpEGImm() {
    if (S.Map == 3) { // pextrb, pextrw, pextrd, extractps
        const std::uint8_t op = S.Opcode;
        const unsigned bits = op == 0x14 ? 8 : op == 0x15 ? 16 : S.RexW ? 64 : 32;
        MemoryOrGpr(bits, S.RexW ? 64 : 32);
        VecReg(true);
        return Imm8();
    }
    Rm(OperandBits());
    RegG(OperandBits());
    Imm8();
}

void TFormatter::OpGM() {
    RegG(S.Map == 2 ? (S.Is64 ? 64 : 32) : OperandBits());
    Memory(S.Map == 2 && S.Opcode != 0xF8 ? 128 : 0);
}

// Memory-only forms of the 0F map, and the register forms that share their opcodes.
void TFormatter::OpM() {
    const std::uint8_t op = S.Opcode;
    const bool map1 = S.Map == 1;
    if (!S.IsMem) {
        if (map1 && op == 0x01 && (S.Reg == 4 || S.Reg == 6)) Gpr(OperandBits(), RmNumber());
        if (map1 && op == 0xAE && S.Rep && S.Reg <= 3) Gpr(S.RexW ? 64 : 32, RmNumber());
        if (map1 && op == 0xC7) Gpr(OperandBits(), RmNumber());
        return;
    }
    if (map1 && op == 0x01 && (S.Reg == 4 || S.Reg == 6)) return Memory(16);
    if (map1 && op == 0xAE && (S.Reg == 2 || S.Reg == 3)) return Memory(32);
    if (map1 && op == 0xAE && S.Reg == 7) return Memory(8);
    if (map1 && op == 0xC7 && S.Reg == 1) return Memory(S.RexW ? 128 : 64);
    if (map1 && op == 0xC7 && S.Reg >= 6) return Memory(64);
    if (map1 && (op == 0x0D || op == 0x18)) return Memory(8);
    Memory(0);
}

void TFormatter::OpImm() {
    if (S.Opcode == 0x68 || S.Opcode == 0x6A)
        Immediate(OperandBits());
    else
        Immediate(64, false);
}

void TFormatter::OpRel() {
    const std::int64_t disp = S.Signed(S.ImmOffset, S.ImmSize);
    std::uint64_t target = R.InstrNext + static_cast<std::uint64_t>(disp);
    if (!S.Is64) target = ax::disasm_detail::Mask(target, S.ImmSize == 2 ? 16 : 32);
    Address(target);
}

// mov between the accumulator and a fixed address (moffs).
void TFormatter::OpMoffs() {
    const unsigned v = OperandBits();
    const std::uint64_t address = ax::disasm_detail::Mask(static_cast<std::uint64_t>(S.Signed(S.ImmOffset, S.ImmSize)),
                                                          static_cast<unsigned>(S.ImmSize * 8));
    if (S.Segment < 5) T.MemoryAddress = static_cast<std::uintptr_t>(address);
    const bool toAccumulator = FormOf(S.Flags) == fAccMoffs;
    if (toAccumulator) Gpr(v, 0);
    Next();
    Out.Put(SizeWord(v));
    Out.Put(" ptr ");
    if (S.Segment >= 1 && S.Segment <= 6) {
        Out.Put(kSegments[S.Segment - 1]);
        Out.Put(':');
    }
    Out.Put('[');
    Out.PutHex(address);
    Out.Put(']');
    if (!toAccumulator) Gpr(v, 0);
}

void TFormatter::OpFar() {
    const std::size_t offsetSize = S.ImmSize - 2;
    const std::uint64_t offset = ax::disasm_detail::Mask(static_cast<std::uint64_t>(S.Signed(S.ImmOffset, offsetSize)),
                                                         static_cast<unsigned>(offsetSize * 8));
    const std::uint64_t selector =
        ax::disasm_detail::Mask(static_cast<std::uint64_t>(S.Signed(S.ImmOffset + offsetSize, 2)), 16);
    Next();
    Out.PutHex(selector);
    Out.Put(':');
    Out.PutHex(offset);
}

void TFormatter::OpInOut() {
    const std::uint8_t op = S.Opcode;
    const unsigned bits = (op & 1) == 0 ? 8 : S.OpSize ? 16 : 32;
    auto port = [&] {
        if (op >= 0xEC)
            Word("dx");
        else
            Imm8();
    };
    if ((op & 2) == 0) {
        Gpr(bits, 0);
        port();
    } else {
        port();
        Gpr(bits, 0);
    }
}

void TFormatter::OpEnter() {
    Address(ax::disasm_detail::Mask(static_cast<std::uint64_t>(S.Signed(S.ImmOffset, 2)), 16));
    Address(S.Bytes[S.ImmOffset + 2]);
}

void TFormatter::OpESreg() {
    Rm16OrGpr();
    Word(kSegments[S.Reg % 6]);
}

void TFormatter::OpSregE() {
    Word(kSegments[S.Reg % 6]);
    Rm16OrGpr();
}

void TFormatter::OpSegReg() {
    static constexpr std::uint8_t kOneByteSeg[] = {0, 1, 2, 3}; // es cs ss ds by bits 3-4
    const std::uint8_t op = S.Opcode;
    Word(kSegments[S.Map == 1 ? (op < 0xA8 ? 4 : 5) : kOneByteSeg[(op >> 3) & 3]]);
}

void TFormatter::OpPQ() {
    if (S.Map == 1 && S.Opcode == 0x0F) { // 3DNow!
        VecReg(false);
        return VecRm(false, 64);
    }
    const bool xmm = XmmForm();
    VecReg(xmm);
    VecRm(xmm, VectorMemBits(xmm));
}

void TFormatter::OpVW() {
    VecReg(true);
    if (S.Map == 1 && S.Opcode == 0xF0) return Memory(128); // lddqu
    VecRm(true, VectorMemBits(true));
}

void TFormatter::OpEdP() {
    if (SsePrefix() == 0xF3) {
        VecReg(true);
        return VecRm(true, 64);
    }
    Rm(S.RexW ? 64 : 32);
    VecReg(XmmForm());
}

void TFormatter::OpQP() {
    const bool xmm = XmmForm();
    if (S.Opcode == 0xE7)
        Memory(xmm ? 128 : 64);
    else
        VecRm(xmm, VectorMemBits(xmm));
    VecReg(xmm);
}

// cvtpi2ps, cvtsi2ss and kin
void TFormatter::OpVQ() {
    const std::uint8_t p = SsePrefix();
    VecReg(true);
    if (p == 0xF3 || p == 0xF2)
        Rm(S.RexW ? 64 : 32);
    else
        VecRm(false, 64);
}

// cvtps2pi, cvtss2si and kin
void TFormatter::OpPW() {
    const std::uint8_t p = SsePrefix();
    if (p == 0xF3 || p == 0xF2) {
        RegG(S.RexW ? 64 : 32);
        return VecRm(true, p == 0xF3 ? 32 : 64);
    }
    VecReg(false);
    VecRm(true, p == 0x66 ? 128 : 64);
}

void TFormatter::OpPEdImm() {
    VecReg(XmmForm());
    MemoryOrGpr(16, 32);
    Imm8();
}

// Memory size of a vector operand by opcode and mandatory prefix.
unsigned TFormatter::VectorMemBits(bool xmm) const {
    if (!xmm) return 64;
    const std::uint8_t p = SsePrefix();
    const unsigned full = Vector() ? 128u << (S.VectorLength & 3) : 128u;
    if (S.Map != 1) return full;
    switch (S.Opcode) {
    case 0x12:
    case 0x13:
    case 0x16:
    case 0x17:
        return p == 0xF3 ? full : 64;
    case 0x2E:
    case 0x2F:
        return p == 0x66 ? 64 : 32;
    case 0x5A:
        return p == 0x66 ? full : p == 0xF3 ? 32 : 64;
    case 0xE6:
        return p == 0xF3 ? 64 : full;
    case 0x7E:
    case 0xD6:
        return 64;
    case 0x10:
    case 0x11:
    case 0x51:
    case 0x52:
    case 0x53:
    case 0x58:
    case 0x59:
    case 0x5C:
    case 0x5D:
    case 0x5E:
    case 0x5F:
    case 0xC2:
        return p == 0xF3 ? 32 : p == 0xF2 ? 64 : full;
    default:
        return full;
    }
}

void TFormatter::OpmaskOperands() {
    const std::uint8_t op = S.Opcode;
    const std::uint8_t p = SsePrefix();
    const unsigned bits = S.RexW && p == 0xF2 ? 64 : 32;
    const unsigned memoryBits = p == 0x66 ? (S.RexW ? 32 : 8) : (S.RexW ? 64 : 16);
    switch (op) {
    case 0x90:
        Mask(S.Reg);
        if (S.IsMem) return Memory(memoryBits);
        return Mask(S.Rm);
    case 0x91:
        Memory(memoryBits);
        return Mask(S.Reg);
    case 0x92:
        Mask(S.Reg);
        return Gpr(bits, RmNumber());
    case 0x93:
        Gpr(bits, RegNumber());
        return Mask(S.Rm);
    case 0x44:
    case 0x98:
    case 0x99:
        Mask(S.Reg);
        return Mask(S.Rm);
    default:
        Mask(S.Reg);
        Mask(S.Vvvv);
        return Mask(S.Rm);
    }
}

// General-purpose forms of the VEX 0F 38 and 0F 3A maps (BMI); false for the others.
bool TFormatter::VexGeneralOperands(const TMapEntry* entry) {
    if (entry == nullptr) return false;
    const std::uint8_t op = S.Opcode;
    const unsigned bits = S.RexW ? 64 : 32;
    if (S.Map == 3) {
        if (op != 0xF0) return false;
        RegG(bits); // rorx
        Rm(bits);
        Imm8();
        return true;
    }
    if (entry->Form == fE) { // blsr, blsmsk, blsi: vvvv, r/m
        Gpr(bits, S.Vvvv);
        Rm(bits);
        return true;
    }
    if (entry->Form != fGE && entry->Form != fGEImm) return false;
    // bzhi, bextr and the shifts take vvvv last; andn, pdep, pext, mulx second.
    const bool vvvvLast = (op == 0xF5 && SsePrefix() == 0) || op == 0xF7;
    RegG(bits);
    if (!vvvvLast) Gpr(bits, S.Vvvv);
    Rm(bits);
    if (vvvvLast) Gpr(bits, S.Vvvv);
    return true;
}

// VEX and EVEX: the legacy name with "v" and the operands reg, vvvv, r/m.
void TFormatter::VexOperands() {
    const std::uint8_t op = S.Opcode;
    const bool map1 = S.Map == 1;
    const TMapEntry* entry = S.Map == 2 || S.Map == 3 ? VexThreeByteEntry(S.Map == 2, op) : nullptr;
    const unsigned vvvv = S.Vvvv;
    if (map1 && op == 0x77) return;
    if (map1 && op == 0xAE) return Memory(32); // vldmxcsr, vstmxcsr: the reg field is the opcode
    if (VexGeneralOperands(entry)) return;
    const bool store = (map1 && (op == 0x11 || op == 0x13 || op == 0x17 || op == 0x29 || op == 0x2B ||
                                 op == 0x7F || op == 0xE7 || op == 0xD6)) ||
                       (entry != nullptr && entry->Form == fWV);
    const bool noVvvv = VexVvvvUnused(S.Map, op, SsePrefix(), S.IsMem);
    if (map1 && (op >= 0x71 && op <= 0x73)) { // shifts by immediate: vvvv is the destination
        Vec(vvvv, true);
        Vec(RmNumber(), true);
        return Imm8();
    }
    if (map1 && (op == 0x50 || op == 0xD7)) {
        RegG(32);
        return Vec(RmNumber(), true);
    }
    const unsigned gprBits = S.RexW ? 64 : 32;
    if (map1 && (op == 0x6E || op == 0x7E) && SsePrefix() == 0x66) {
        if (op == 0x6E) {
            VecReg(true);
            return Rm(gprBits);
        }
        Rm(gprBits);
        return VecReg(true);
    }
    if (map1 && op == 0x2A) {
        VecReg(true);
        Vec(vvvv, true);
        return Rm(gprBits);
    }
    if (map1 && (op == 0x2C || op == 0x2D)) {
        RegG(gprBits);
        return VecRm(true, SsePrefix() == 0xF3 ? 32 : 64);
    }
    if (store) {
        VecRm(true, VectorMemBits(true));
        if (!noVvvv && S.Map != 3) Vec(vvvv, true);
        VecReg(true);
    } else {
        VecReg(true);
        if (!noVvvv) Vec(vvvv, true);
        VecRm(true, VectorMemBits(true));
    }
    if ((S.Flags & ImmMask) != 0) Imm8();
}

void TFormatter::XopOperands(const TXopEntry& entry) {
    const unsigned vvvv = S.Vvvv;
    const unsigned memBits = 128u << (S.VectorLength & 1);
    const unsigned gprBits = S.RexW ? 64 : 32;
    auto is4 = [&] {
        const std::uint8_t imm = S.Bytes[S.ImmOffset];
        Vec((imm >> 4) & (S.Is64 ? 15 : 7), true);
    };
    switch (entry.Form) {
    case TXopForm::RegVvvvRmIs4:
        VecReg(true);
        Vec(vvvv, true);
        VecRm(true, memBits);
        return is4();
    case TXopForm::RegVvvvSelect:
        VecReg(true);
        Vec(vvvv, true);
        if (S.XopW) {
            is4();
            VecRm(true, memBits);
            return;
        }
        VecRm(true, memBits);
        is4();
        return;
    case TXopForm::RegRmImm:
        VecReg(true);
        VecRm(true, memBits);
        Imm8();
        return;
    case TXopForm::RegVvvvRmImm:
        VecReg(true);
        Vec(vvvv, true);
        VecRm(true, memBits);
        Imm8();
        return;
    case TXopForm::RegRm:
        VecReg(true);
        VecRm(true, memBits);
        return;
    case TXopForm::RegShift:
        VecReg(true);
        if (S.XopW) {
            Vec(vvvv, true);
            VecRm(true, memBits);
            return;
        }
        VecRm(true, memBits);
        Vec(vvvv, true);
        return;
    case TXopForm::GprVvvvRm:
        Gpr(gprBits, vvvv);
        Rm(gprBits);
        return;
    case TXopForm::GprRm:
        return Rm(gprBits);
    case TXopForm::GprRegRmImm32:
        RegG(gprBits);
        Rm(gprBits);
        Immediate(32, false);
        return;
    case TXopForm::GprVvvvRmImm32:
        Gpr(gprBits, vvvv);
        Rm(32);
        Immediate(32, false);
        return;
    }
}

// ---- the whole line -------------------------------------------------------------

// The operand form, where the flag word's form is not the whole story.
unsigned TFormatter::ChooseForm() {
    unsigned form = FormOf(S.Flags);
    if (!Legacy()) return form;
    const std::uint8_t op = S.Opcode;
    if (S.Map == 0) {
        if (op == 0x63 && S.Is64) return fGEd;
        if (op == 0x90 && S.RexB) return fAccOpReg;
        return form;
    }
    if (S.Map == 1 && op == 0x1E && S.Rep && (R.ModRmByte == 0xFA || R.ModRmByte == 0xFB)) return fNone;
    if (S.Map >= 2) {
        const bool map38 = S.Map == 2;
        const TMapEntry* entry = LegacyThreeByteEntry(map38, op);
        form = entry != nullptr ? entry->Form : fVW;
        if (map38 && (op == 0xF0 || op == 0xF1) && S.Repne) { // crc32
            RegG(S.RexW ? 64 : 32);
            Rm(op == 0xF0 ? 8 : OperandBits());
            return fNone;
        }
        if (map38 && op == 0xF6) return fGE;
    }
    return form;
}

// Prefix words: lock, rep and repne on string instructions, bnd, notrack.
void TFormatter::Prefixes() {
    if (S.Lock) Out.Put("lock ");
    if (!Legacy()) return;
    const std::uint8_t op = S.Opcode;
    if (S.Map == 0) {
        const bool stringOp =
            (op >= 0x6C && op <= 0x6F) || (op >= 0xA4 && op <= 0xA7) || (op >= 0xAA && op <= 0xAF);
        const bool branch = (op >= 0x70 && op <= 0x7F) || op == 0xC2 || op == 0xC3 || op == 0xE8 ||
                            op == 0xE9 || op == 0xEB || (op == 0xFF && S.Reg >= 2 && S.Reg <= 5);
        if (stringOp && S.Rep) Out.Put("rep ");
        if (stringOp && S.Repne) Out.Put("repne ");
        if (branch && S.Repne) Out.Put("bnd ");
        if (op == 0xFF && (S.Reg == 2 || S.Reg == 4) && S.Segment == 4) {
            Out.Put("notrack ");
            HideSegment = true;
        }
    } else if (S.Map == 1 && op >= 0x80 && op <= 0x8F && S.Repne) {
        Out.Put("bnd ");
    }
}

void TFormatter::Run() {
    if (!R.Valid) {
        Out.Put("db ");
        const std::size_t length = R.InstrNext - R.InstrStart;
        for (std::size_t i = 0; i < length && i < S.Count; ++i) {
            if (i > 0) Out.Put(", ");
            Out.PutHex(S.Bytes[i]);
        }
        T.Text.assign(Out.View());
        T.MemoryAddress = 0;
        return;
    }
    TName name;
    Name(name);
    const bool vector = Vector() && R.Encoding != TOpcodeEncoding::Xop;
    const bool opmask = vector && S.Map == 1 && IsOpmaskOpcode(S.Opcode);
    Prefixes();
    if (name.Empty()) {
        // Valid encodings the name tables do not cover: named by encoding, map and opcode.
        static constexpr const char* kMaps[] = {"",     "0f",   "0f38", "0f3a", "map4", "map5",
                                                "map6", "map7", "map8", "map9", "mapa"};
        static constexpr char kDigits[] = "0123456789abcdef";
        Out.Put(R.Encoding == TOpcodeEncoding::Evex  ? "evex."
                : R.Encoding == TOpcodeEncoding::Vex ? "vex."
                : R.Encoding == TOpcodeEncoding::Xop ? "xop."
                                                     : "");
        Out.Put(S.Map < 11 ? kMaps[S.Map] : "");
        if (S.Map != 0) Out.Put('.');
        Out.Put(kDigits[S.Opcode >> 4]);
        Out.Put(kDigits[S.Opcode & 15]);
    } else {
        if (vector && !opmask && !IsGeneralVex()) Out.Put('v');
        Out.Put(name.View());
    }
    if (R.Encoding == TOpcodeEncoding::Xop) {
        if (const TXopEntry* entry = FindXop(S.Map, S.Opcode)) XopOperands(*entry);
    } else if (opmask) {
        OpmaskOperands();
    } else if (vector) {
        VexOperands();
    } else {
        Operands(ChooseForm());
    }
    T.Text.assign(Out.View());
}

} // namespace

void FormatInstruction(const TDecodeState& state, const TInstruction& record,
                       TInstructionText& text) {
    TFormatter(state, record, text).Run();
}

} // namespace ax::disasm_detail
