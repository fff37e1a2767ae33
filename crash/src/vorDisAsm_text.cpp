// Text of decoded instructions for the function listing: Intel notation,
// lower-case hexadecimal.
#include "vorDisAsm_internal.h"

#include <string>

namespace ax::disasm_detail {
namespace {

using namespace opflag;

// Opmask instructions of the VEX 0F map.
bool IsOpmaskOpcode(std::uint8_t op) {
    return (op >= 0x41 && op <= 0x4B && op != 0x43 && op != 0x48 && op != 0x49) ||
           (op >= 0x90 && op <= 0x93) || op == 0x98 || op == 0x99;
}

constexpr std::string_view kConditions = "o|no|b|nb|z|nz|be|a|s|ns|p|np|l|ge|le|g";

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

const TMapEntry* FindEntry(const TMapEntry* begin, const TMapEntry* end, std::uint8_t opcode) {
    for (const TMapEntry* entry = begin; entry != end; ++entry)
        if (entry->Opcode == opcode) return entry;
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

std::string Hex(std::uint64_t value) {
    if (value < 10) return std::string(1, static_cast<char>('0' + value));
    static constexpr char kDigits[] = "0123456789abcdef";
    char buffer[16];
    int count = 0;
    while (value != 0) {
        buffer[count++] = kDigits[value & 15];
        value >>= 4;
    }
    std::string out = "0x";
    while (count > 0)
        out += buffer[--count];
    return out;
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

    std::string Gpr(unsigned bits, unsigned number) const;
    unsigned RegNumber() const { return S.Reg | (S.RexR ? 8 : 0) | (S.EvexR2 ? 16 : 0); }
    unsigned RmNumber() const { return S.Rm | (S.RexB ? 8 : 0); }
    std::string Memory(unsigned bits);
    std::string Rm(unsigned bits) { return S.IsMem ? Memory(bits) : Gpr(bits, RmNumber()); }
    std::string RegG(unsigned bits) const { return Gpr(bits, RegNumber()); }
    std::string VecName(unsigned number, bool xmm) const;
    std::string VecReg(bool xmm) const { return VecName(RegNumber(), xmm); }
    std::string VecRm(bool xmm, unsigned memBits) {
        return S.IsMem ? Memory(memBits) : VecName(RmNumber(), xmm);
    }
    std::uint64_t ImmediateValue(unsigned bits, bool signExtend);
    std::string Immediate(unsigned bits, bool signExtend = true) {
        return Hex(ImmediateValue(bits, signExtend));
    }
    std::string Imm8() { return Immediate(8, false); }

    std::string Name();
    std::string OpmaskName() const;
    void OpmaskOperands();
    std::string Expand(std::string_view entry) const;
    std::string SizedName(std::string_view name, unsigned bits) const;
    std::string SpecialTwoByteName(std::string_view entry) const;
    void Operands(unsigned form);
    void VexOperands(unsigned form);
    // VEX instructions on general registers (BMI) keep their names.
    bool IsGeneralVex() const {
        return (S.Map == 2 && S.Opcode >= 0xF2 && S.Opcode <= 0xF7) ||
               (S.Map == 3 && S.Opcode == 0xF0);
    }
    unsigned VectorMemBits(bool xmm) const;
    void Add(const std::string& operand) {
        if (!Ops.empty()) Ops += ", ";
        Ops += operand;
    }

    const TDecodeState& S;
    const TInstruction& R;
    TInstructionText& T;
    std::string Ops;
    std::string Prefix;
};

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

std::string TFormatter::Gpr(unsigned bits, unsigned number) const {
    number &= 15;
    switch (bits) {
    case 8:
        return S.RexPresent ? kReg8Rex[number] : kReg8[number & 7];
    case 16:
        return kReg16[number];
    case 64:
        return kReg64[number];
    default:
        return kReg32[number];
    }
}

std::string TFormatter::VecName(unsigned number, bool xmm) const {
    if (!xmm) return "mm" + std::to_string(number & 7);
    static constexpr const char* kPrefix[] = {"xmm", "ymm", "zmm", "zmm"};
    return kPrefix[Vector() ? S.VectorLength & 3 : 0] + std::to_string(number);
}

std::string TFormatter::Memory(unsigned bits) {
    std::string out;
    if (const char* word = SizeWord(bits)) {
        out += word;
        out += " ptr ";
    }
    if (S.Segment >= 1 && S.Segment <= 6) {
        out += kSegments[S.Segment - 1];
        out += ':';
    }
    out += '[';
    const unsigned addressBits = AddressBits();
    auto addressReg = [&](int number) { return Gpr(addressBits, static_cast<unsigned>(number)); };
    if (S.RipRelative) {
        out += S.AddrSize ? "eip" : "rip";
        T.MemoryAddress = static_cast<std::uintptr_t>(
            Mask(R.InstrNext + static_cast<std::uint64_t>(S.Disp), S.AddrSize ? 32 : 64));
    } else if (S.Plain) {
        const std::uint64_t address = Mask(static_cast<std::uint64_t>(S.Disp), addressBits);
        out += Hex(address);
        // FS and GS have bases of their own: the displacement is no address.
        if (S.Segment < 5) T.MemoryAddress = static_cast<std::uintptr_t>(address);
        return out + ']';
    } else {
        bool first = true;
        if (S.BaseReg >= 0) {
            out += addressReg(S.BaseReg);
            first = false;
        }
        if (S.HasIndex && S.IndexReg >= 0) {
            if (!first) out += '+';
            out += addressReg(S.IndexReg);
            if (S.Scale > 1) out += '*' + std::to_string(S.Scale);
            first = false;
        }
        if (first) { // SIB without base or index
            out += Hex(Mask(static_cast<std::uint64_t>(S.Disp), addressBits));
            return out + ']';
        }
    }
    if (S.DispSize > 0 && S.Disp != 0) {
        const std::uint64_t magnitude = S.Disp < 0 ? ~static_cast<std::uint64_t>(S.Disp) + 1
                                                   : static_cast<std::uint64_t>(S.Disp);
        out += S.Disp < 0 ? '-' : '+';
        out += Hex(magnitude);
    }
    return out + ']';
}

std::uint64_t TFormatter::ImmediateValue(unsigned bits, bool signExtend) {
    const std::int64_t raw = S.Signed(S.ImmOffset, S.ImmSize);
    std::uint64_t value = static_cast<std::uint64_t>(raw);
    if (!signExtend) value = Mask(value, static_cast<unsigned>(S.ImmSize * 8));
    value = Mask(value, bits);
    T.Immediate = value;
    T.HasImmediate = true;
    return value;
}

// Resolves "%cc", the packed/scalar tags and the single/double tags.
std::string TFormatter::Expand(std::string_view entry) const {
    const std::uint8_t prefix = SsePrefix();
    std::string out;
    for (std::size_t i = 0; i < entry.size(); ++i) {
        const char c = entry[i];
        if (c == '%' && entry.substr(i, 3) == "%cc") {
            out += ListItem(kConditions, S.Opcode & 15);
            i += 2;
        } else if (c == '%' && i + 1 < entry.size()) {
            const char tag = entry[++i];
            if (tag == 's') out += prefix == 0x66 ? 'd' : 's';
            if (tag == 'p') out += prefix == 0xF3 || prefix == 0xF2 ? 's' : 'p';
        } else if (c == 'P' && i + 1 < entry.size() && entry[i + 1] == 'S') {
            out += prefix == 0x66 ? "pd" : prefix == 0xF3 ? "ss" : prefix == 0xF2 ? "sd" : "ps";
            ++i;
        } else if (c == 'P') {
            out += prefix == 0x66 ? "pd" : "ps";
        } else if (c == 'S') {
            out += prefix == 0xF2 ? "sd" : "ss";
        } else {
            out += c;
        }
    }
    return out;
}

// String instructions and the conversions name their operand size.
std::string TFormatter::SizedName(std::string_view name, unsigned bits) const {
    std::string out(name);
    const std::uint8_t op = S.Opcode;
    switch (op) {
    case 0x60:
    case 0x61:
        return bits == 16 ? out.substr(0, out.size() - 1) : out;
    case 0x98:
        return bits == 16 ? "cbw" : bits == 64 ? "cdqe" : out;
    case 0x99:
        return bits == 16 ? "cwd" : bits == 64 ? "cqo" : out;
    case 0x9C:
    case 0x9D:
        if (bits == 16) return out.substr(0, out.size() - 1);
        return S.Is64 ? out.substr(0, out.size() - 1) + 'q' : out;
    case 0xCF:
        return bits == 16 ? "iret" : bits == 64 ? "iretq" : out;
    case 0xE3:
        if (S.Is64) return S.AddrSize ? "jecxz" : "jrcxz";
        return S.AddrSize ? "jcxz" : out;
    case 0x6D:
    case 0x6F: // no 64-bit port transfers
        out.back() = bits == 16 || S.OpSize ? 'w' : 'd';
        return out;
    case 0xCA:
    case 0xCB:
        return S.RexW ? out + 'q' : out;
    case 0xA5:
    case 0xA7:
    case 0xAB:
    case 0xAD:
    case 0xAF:
        out.back() = bits == 16 ? 'w' : bits == 64 ? 'q' : 'd';
        return out;
    default:
        return out;
    }
}

// 0F opcodes whose mandatory prefix or form changes the whole name.
std::string TFormatter::SpecialTwoByteName(std::string_view entry) const {
    const std::uint8_t p = SsePrefix();
    const bool reg = !S.IsMem;
    switch (S.Opcode) {
    case 0x10:
    case 0x11:
        return p == 0xF3 ? "movss" : p == 0xF2 ? "movsd" : Expand(entry);
    case 0x12:
        if (p == 0xF3) return "movsldup";
        if (p == 0xF2) return "movddup";
        return p == 0 && reg ? "movhlps" : Expand(entry);
    case 0x16:
        if (p == 0xF3) return "movshdup";
        return reg && p != 0x66 ? "movlhps" : Expand(entry);
    case 0x2B: // the scalar forms are a vendor extension
        return p == 0xF3 ? "movntss" : p == 0xF2 ? "movntsd" : Expand(entry);
    case 0x52:
    case 0x53: // no double-precision forms
        return p == 0xF3 ? Expand(entry) : std::string(entry.substr(0, entry.size() - 2)) + "ps";
    case 0x79: // vmwrite, or the vendor extension's bit-field insert and extract
        if (reg && p == 0x66) return "extrq";
        return reg && p == 0xF2 ? "insertq" : std::string(entry);
    case 0x1E:
        if (S.Rep && R.ModRmByte == 0xFA) return "endbr64";
        if (S.Rep && R.ModRmByte == 0xFB) return "endbr32";
        return std::string(entry);
    case 0x5A:
        return p == 0x66   ? "cvtpd2ps"
               : p == 0xF3 ? "cvtss2sd"
               : p == 0xF2 ? "cvtsd2ss"
                           : "cvtps2pd";
    case 0x5B:
        return p == 0x66 ? "cvtps2dq" : p == 0xF3 ? "cvttps2dq" : "cvtdq2ps";
    case 0xE6:
        return p == 0xF3 ? "cvtdq2pd" : p == 0xF2 ? "cvtpd2dq" : "cvttpd2dq";
    case 0x6F:
    case 0x7F:
        return p == 0x66 ? "movdqa" : p == 0xF3 ? "movdqu" : "movq";
    case 0x6E:
        return S.RexW ? "movq" : "movd";
    case 0x7E:
        return p == 0xF3 || S.RexW ? "movq" : "movd";
    case 0x70:
        return p == 0x66 ? "pshufd" : p == 0xF3 ? "pshufhw" : p == 0xF2 ? "pshuflw" : "pshufw";
    case 0xD6:
        return p == 0xF3 ? "movq2dq" : p == 0xF2 ? "movdq2q" : "movq";
    case 0xE7:
        return p == 0x66 ? "movntdq" : "movntq";
    case 0xF7:
        return p == 0x66 ? "maskmovdqu" : "maskmovq";
    case 0xBC:
        return S.Rep ? "tzcnt" : "bsf";
    case 0xBD:
        return S.Rep ? "lzcnt" : "bsr";
    case 0x0F:
        return std::string(ThreeDNowName(S.Bytes[S.ImmOffset]));
    case 0x01:
        if (reg && S.Reg != 4 && S.Reg != 6) {
            for (const TNamedByte& item : kGroup7Names)
                if (item.Byte == R.ModRmByte) return item.Name;
            return {};
        }
        if (S.IsMem && S.Reg == 5) return "rstorssp";
        return std::string(ListItem(entry, S.Reg));
    case 0xAE:
        if (reg) {
            if (S.Rep && S.Reg <= 3) {
                static constexpr const char* kBase[] = {"rdfsbase", "rdgsbase", "wrfsbase",
                                                        "wrgsbase"};
                return kBase[S.Reg];
            }
            return S.Reg == 5 ? "lfence" : S.Reg == 6 ? "mfence" : "sfence";
        }
        if (p == 0x66 && S.Reg == 6) return "clwb";
        if (p == 0x66 && S.Reg == 7) return "clflushopt";
        if (S.RexW && S.Reg != 2 && S.Reg != 3 && S.Reg != 7)
            return std::string(ListItem(entry, S.Reg)) + "64";
        return std::string(ListItem(entry, S.Reg));
    case 0xC7:
        if (reg) return S.Reg == 6 ? "rdrand" : S.Rep ? "rdpid" : "rdseed";
        if (S.Reg == 1) return S.RexW ? "cmpxchg16b" : "cmpxchg8b";
        if (S.Reg == 6 && p == 0x66) return "vmclear";
        if (S.Reg == 6 && p == 0xF3) return "vmxon";
        if (S.RexW && S.Reg >= 3 && S.Reg <= 5) return std::string(ListItem(entry, S.Reg)) + "64";
        return std::string(ListItem(entry, S.Reg));
    default:
        return Expand(ListItem(entry, S.Reg));
    }
}

std::string TFormatter::Name() {
    if (S.Map == 0) {
        const std::uint8_t op = S.Opcode;
        const std::string_view entry = MnemonicEntry(OneByteMnemonic(op));
        if (op >= 0xD8 && op <= 0xDF) {
            std::string_view name = ListItem(entry, S.Reg + (S.IsMem ? 0 : 8));
            if (name.empty() && !S.IsMem && op == 0xD9 && R.ModRmByte >= 0xE0)
                name = kD9Names[R.ModRmByte - 0xE0];
            if (!S.IsMem && op == 0xDB && R.ModRmByte == 0xE2) name = "fnclex";
            if (!S.IsMem && op == 0xDB && R.ModRmByte == 0xE3) name = "fninit";
            return std::string(name);
        }
        if (op == 0x63 && S.Is64) return "movsxd";
        if (op == 0x90 && S.Rep && !S.RexB) return "pause";
        if (op == 0x90 && S.RexB) return "xchg";
        if (op == 0xC6 && R.ModRmByte == 0xF8) return "xabort";
        if (op == 0xC7 && R.ModRmByte == 0xF8) return "xbegin";
        if (op == 0x9A || op == 0xEA) return std::string(entry);
        return SizedName(Expand(ListItem(entry, S.Reg)), OperandBits());
    }
    if (S.Map == 1 && Vector() && IsOpmaskOpcode(S.Opcode)) return OpmaskName();
    if (S.Map == 1 && Vector() && S.Opcode == 0x77) return S.VectorLength ? "zeroall" : "zeroupper";
    if (S.Map == 1) return SpecialTwoByteName(MnemonicEntry(TwoByteMnemonic(S.Opcode)));
    const bool map38 = S.Map == 2;
    if (Legacy() && map38 && S.Opcode == 0xF0 && S.Repne) return "crc32";
    if (Legacy() && map38 && S.Opcode == 0xF1 && S.Repne) return "crc32";
    if (Legacy() && map38 && S.Opcode == 0xF6) return S.OpSize ? "adcx" : S.Rep ? "adox" : "wrss";
    const TMapEntry* entry = map38 ? FindEntry(std::begin(kMap38), std::end(kMap38), S.Opcode)
                                   : FindEntry(std::begin(kMap3A), std::end(kMap3A), S.Opcode);
    if (entry == nullptr && Vector())
        entry = map38 ? FindEntry(std::begin(kVex38), std::end(kVex38), S.Opcode)
                      : FindEntry(std::begin(kVex3A), std::end(kVex3A), S.Opcode);
    if (entry == nullptr) return {};
    std::string name = entry->Name;
    if (Vector() && map38) {
        const std::uint8_t p = SsePrefix();
        if (S.Opcode == 0xF3) name = S.Reg == 1 ? "blsr" : S.Reg == 2 ? "blsmsk" : "blsi";
        if (S.Opcode == 0xF5) name = p == 0xF2 ? "pdep" : p == 0xF3 ? "pext" : "bzhi";
        if (S.Opcode == 0xF6) name = "mulx";
        if (S.Opcode == 0xF7)
            name = p == 0x66 ? "shlx" : p == 0xF3 ? "sarx" : p == 0xF2 ? "shrx" : "bextr";
    }
    if (!map38 && S.Opcode == 0x16 && S.RexW) name = "pextrq";
    if (!map38 && S.Opcode == 0x22 && S.RexW) name = "pinsrq";
    return name;
}

std::string TFormatter::OpmaskName() const {
    const std::uint8_t op = S.Opcode;
    const std::uint8_t p = SsePrefix();
    if (op == 0x4B) return p == 0x66 ? "kunpckbw" : S.RexW ? "kunpckdq" : "kunpckwd";
    std::string name;
    switch (op) {
    case 0x41:
        name = "kand";
        break;
    case 0x42:
        name = "kandn";
        break;
    case 0x44:
        name = "knot";
        break;
    case 0x45:
        name = "kor";
        break;
    case 0x46:
        name = "kxnor";
        break;
    case 0x47:
        name = "kxor";
        break;
    case 0x4A:
        name = "kadd";
        break;
    case 0x98:
        name = "kortest";
        break;
    case 0x99:
        name = "ktest";
        break;
    default:
        name = "kmov";
        break;
    }
    if ((op == 0x92 || op == 0x93) && p == 0xF2) return name + (S.RexW ? 'q' : 'd');
    if (p == 0x66) return name + (S.RexW ? 'd' : 'b');
    return name + (S.RexW ? 'q' : 'w');
}

void TFormatter::OpmaskOperands() {
    const std::uint8_t op = S.Opcode;
    auto k = [](unsigned number) { return "k" + std::to_string(number & 7); };
    const unsigned bits = S.RexW && SsePrefix() == 0xF2 ? 64 : 32;
    switch (op) {
    case 0x90:
        Add(k(S.Reg));
        Add(S.IsMem ? Memory(SsePrefix() == 0x66 ? (S.RexW ? 32 : 8) : (S.RexW ? 64 : 16))
                    : k(S.Rm));
        break;
    case 0x91:
        Add(Memory(SsePrefix() == 0x66 ? (S.RexW ? 32 : 8) : (S.RexW ? 64 : 16)));
        Add(k(S.Reg));
        break;
    case 0x92:
        Add(k(S.Reg));
        Add(Gpr(bits, RmNumber()));
        break;
    case 0x93:
        Add(Gpr(bits, RegNumber()));
        Add(k(S.Rm));
        break;
    case 0x44:
    case 0x98:
    case 0x99:
        Add(k(S.Reg));
        Add(k(S.Rm));
        break;
    default:
        Add(k(S.Reg));
        Add(k(S.Vvvv));
        Add(k(S.Rm));
        break;
    }
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

void TFormatter::Operands(unsigned form) {
    const unsigned v = OperandBits();
    const std::uint8_t op = S.Opcode;
    const std::uint8_t p = SsePrefix();
    // MMX forms become XMM forms with 66 (or F3/F2 where the map says so).
    const bool xmm = p == 0x66 ||
                     (S.Map == 1 && (op == 0x6F || op == 0x7F || op == 0x70) && p != 0) ||
                     (S.Map == 1 && op == 0xD6 && p != 0xF2);
    switch (form) {
    case fEG:
        Add(Rm(v));
        Add(RegG(v));
        break;
    case fGE:
        if (S.Map == 1 && op == 0x79 && !S.IsMem && (p == 0x66 || p == 0xF2)) {
            Add(VecReg(true));
            Add(VecRm(true, 128));
            break;
        }
        Add(RegG(v));
        Add(Rm(v));
        break;
    case fAccImm:
        Add(Gpr(v, 0));
        Add(Immediate(v));
        break;
    case fE:
        if (S.Map == 0 && op == 0xFF && (S.Reg == 3 || S.Reg == 5))
            Add(Memory(S.RexW ? 80 : S.OpSize ? 32 : 48));
        else if (S.Map == 2 && Vector()) // blsr and its group: vvvv, r/m
            Add(Rm(S.RexW ? 64 : 32));
        else
            Add(Rm(v));
        break;
    case fEImm:
        if (R.ModRmByte == 0xF8 && S.Map == 0 && (op == 0xC6 || op == 0xC7)) {
            if (op == 0xC6) {
                Add(Imm8());
            } else {
                const std::uint64_t target =
                    R.InstrNext + static_cast<std::uint64_t>(S.Signed(S.ImmOffset, S.ImmSize));
                Add(Hex(Mask(target, S.Is64 ? 64 : 32)));
            }
            break;
        }
        Add(Rm(S.Map == 1 && op == 0xBA ? v : v));
        Add((S.Map == 0 && (op == 0xC0 || op == 0xC1)) ? Imm8() : Immediate(v));
        break;
    case fGEImm:
        if (S.Map == 3) { // pinsrb, pinsrd: xmm, r/m, imm
            Add(VecReg(true));
            Add(S.IsMem ? Memory(op == 0x20 ? 8
                                 : S.RexW   ? 64
                                            : 32)
                        : Gpr(S.RexW ? 64 : 32, RmNumber()));
            Add(Imm8());
            break;
        }
        Add(RegG(v));
        Add(Rm(v));
        Add(Immediate(v));
        break;
    case fOpReg: {
        unsigned bits = v;
        if (S.Map == 1) bits = S.RexW ? 64 : 32; // bswap
        Add(Gpr(bits, (op & 7) | (S.RexB ? 8 : 0)));
        break;
    }
    case fOpRegImm: {
        const unsigned bits = op < 0xB8 ? 8 : v;
        Add(Gpr(bits, (op & 7) | (S.RexB ? 8 : 0)));
        Add(Immediate(bits));
        break;
    }
    case fAccOpReg:
        Add(Gpr(v, 0));
        Add(Gpr(v, (op & 7) | (S.RexB ? 8 : 0)));
        break;
    case fImm:
        if (op == 0x68 || op == 0x6A)
            Add(Immediate(v));
        else
            Add(Immediate(64, false));
        break;
    case fRel: {
        const std::int64_t disp = S.Signed(S.ImmOffset, S.ImmSize);
        std::uint64_t target = R.InstrNext + static_cast<std::uint64_t>(disp);
        if (!S.Is64) target = Mask(target, S.ImmSize == 2 ? 16 : 32);
        Add(Hex(target));
        break;
    }
    case fE1:
        Add(Rm(v));
        Add("1");
        break;
    case fECl:
        Add(Rm(v));
        Add("cl");
        break;
    case fESreg:
        Add(S.IsMem ? Memory(16) : Gpr(v, RmNumber()));
        Add(kSegments[S.Reg % 6]);
        break;
    case fSregE:
        Add(kSegments[S.Reg % 6]);
        Add(S.IsMem ? Memory(16) : Gpr(v, RmNumber()));
        break;
    case fAccMoffs:
    case fMoffsAcc: {
        const std::uint64_t address =
            Mask(static_cast<std::uint64_t>(S.Signed(S.ImmOffset, S.ImmSize)),
                 static_cast<unsigned>(S.ImmSize * 8));
        if (S.Segment < 5) T.MemoryAddress = static_cast<std::uintptr_t>(address);
        std::string memory = std::string(SizeWord(v)) + " ptr ";
        if (S.Segment >= 1 && S.Segment <= 6) memory += std::string(kSegments[S.Segment - 1]) + ':';
        memory += '[' + Hex(address) + ']';
        if (form == fAccMoffs) {
            Add(Gpr(v, 0));
            Add(memory);
        } else {
            Add(memory);
            Add(Gpr(v, 0));
        }
        break;
    }
    case fFar: {
        const std::size_t offsetSize = S.ImmSize - 2;
        const std::uint64_t offset =
            Mask(static_cast<std::uint64_t>(S.Signed(S.ImmOffset, offsetSize)),
                 static_cast<unsigned>(offsetSize * 8));
        const std::uint64_t selector =
            Mask(static_cast<std::uint64_t>(S.Signed(S.ImmOffset + offsetSize, 2)), 16);
        Add(Hex(selector) + ':' + Hex(offset));
        break;
    }
    case fInOut: {
        const unsigned bits = (op & 1) == 0 ? 8 : S.OpSize ? 16 : 32;
        const std::string port = op >= 0xEC ? std::string("dx") : Imm8();
        if ((op & 2) == 0) {
            Add(Gpr(bits, 0));
            Add(port);
        } else {
            Add(port);
            Add(Gpr(bits, 0));
        }
        break;
    }
    case fEnter:
        Add(Hex(Mask(static_cast<std::uint64_t>(S.Signed(S.ImmOffset, 2)), 16)));
        Add(Hex(S.Bytes[S.ImmOffset + 2]));
        break;
    case fGEb:
        Add(RegG(v));
        Add(Rm(8));
        break;
    case fGEw:
        Add(RegG(v));
        Add(Rm(16));
        break;
    case fGEd:
        Add(RegG(v));
        Add(Rm(32));
        break;
    case fEGImm:
        if (S.Map == 3) { // pextrb, pextrw, pextrd, extractps
            const unsigned bits = op == 0x14 ? 8 : op == 0x15 ? 16 : S.RexW ? 64 : 32;
            Add(S.IsMem ? Memory(bits) : Gpr(S.RexW ? 64 : 32, RmNumber()));
            Add(VecReg(true));
            Add(Imm8());
            break;
        }
        Add(Rm(v));
        Add(RegG(v));
        Add(Imm8());
        break;
    case fEGCl:
        Add(Rm(v));
        Add(RegG(v));
        Add("cl");
        break;
    case fSegReg: {
        static constexpr std::uint8_t kOneByteSeg[] = {0, 1, 2, 3}; // es cs ss ds by bits 3-4
        const unsigned seg = S.Map == 1 ? (op < 0xA8 ? 4 : 5) : kOneByteSeg[(op >> 3) & 3];
        Add(kSegments[seg]);
        break;
    }
    case fGM:
        Add(RegG(S.Map == 2 ? (S.Is64 ? 64 : 32) : v));
        Add(Memory(S.Map == 2 && op != 0xF8 ? 128 : 0));
        break;
    case fM:
        if (!S.IsMem) {
            if (S.Map == 1 && op == 0x01 && (S.Reg == 4 || S.Reg == 6)) Add(Gpr(v, RmNumber()));
            if (S.Map == 1 && op == 0xAE && S.Rep && S.Reg <= 3)
                Add(Gpr(S.RexW ? 64 : 32, RmNumber()));
            if (S.Map == 1 && op == 0xC7) Add(Gpr(v, RmNumber()));
            break;
        }
        if (S.Map == 1 && op == 0x01 && (S.Reg == 4 || S.Reg == 6)) {
            Add(Memory(16));
        } else if (S.Map == 1 && op == 0xAE && (S.Reg == 2 || S.Reg == 3)) {
            Add(Memory(32));
        } else if (S.Map == 1 && op == 0xAE && S.Reg == 7) {
            Add(Memory(8));
        } else if (S.Map == 1 && op == 0xC7 && S.Reg == 1) {
            Add(Memory(S.RexW ? 128 : 64));
        } else if (S.Map == 1 && op == 0xC7 && S.Reg >= 6) {
            Add(Memory(64));
        } else if (S.Map == 1 && (op == 0x0D || op == 0x18)) {
            Add(Memory(8));
        } else {
            Add(Memory(0));
        }
        break;
    case fRC:
    case fRD:
        Add(Gpr(S.Is64 ? 64 : 32, RmNumber()));
        Add((form == fRC ? "cr" : "dr") + std::to_string(RegNumber()));
        break;
    case fCR:
    case fDR:
        Add((form == fCR ? "cr" : "dr") + std::to_string(RegNumber()));
        Add(Gpr(S.Is64 ? 64 : 32, RmNumber()));
        break;
    case fEw:
        Add(S.IsMem ? Memory(16) : Gpr(v, RmNumber()));
        break;
    case fEwGw:
        Add(Rm(16));
        Add(RegG(16));
        break;
    case fPQ:
        if (S.Map == 1 && op == 0x0F) { // 3DNow!
            Add(VecReg(false));
            Add(VecRm(false, 64));
            break;
        }
        Add(VecReg(xmm));
        Add(VecRm(xmm, VectorMemBits(xmm)));
        break;
    case fPQImm:
        Add(VecReg(xmm));
        Add(VecRm(xmm, VectorMemBits(xmm)));
        Add(Imm8());
        break;
    case fVW:
        if (S.Map == 1 && op == 0xF0) { // lddqu
            Add(VecReg(true));
            Add(Memory(128));
            break;
        }
        Add(VecReg(true));
        Add(VecRm(true, VectorMemBits(true)));
        break;
    case fWV:
        Add(VecRm(true, VectorMemBits(true)));
        Add(VecReg(true));
        break;
    case fVWImm:
        Add(VecReg(true));
        Add(VecRm(true, VectorMemBits(true)));
        Add(Imm8());
        break;
    case fNImm:
        Add(VecName(RmNumber(), xmm));
        Add(Imm8());
        break;
    case fPEd:
        Add(VecReg(xmm));
        Add(Rm(S.RexW ? 64 : 32));
        break;
    case fEdP:
        if (p == 0xF3) {
            Add(VecReg(true));
            Add(VecRm(true, 64));
            break;
        }
        Add(Rm(S.RexW ? 64 : 32));
        Add(VecReg(xmm));
        break;
    case fQP:
        if (op == 0xE7) {
            Add(Memory(xmm ? 128 : 64));
            Add(VecReg(xmm));
            break;
        }
        Add(VecRm(xmm, VectorMemBits(xmm)));
        Add(VecReg(xmm));
        break;
    case fVQ: // cvtpi2ps, cvtsi2ss and kin
        Add(VecReg(true));
        if (p == 0xF3 || p == 0xF2)
            Add(Rm(S.RexW ? 64 : 32));
        else
            Add(VecRm(false, 64));
        break;
    case fPW: // cvtps2pi, cvtss2si and kin
        if (p == 0xF3 || p == 0xF2) {
            Add(RegG(S.RexW ? 64 : 32));
            Add(VecRm(true, p == 0xF3 ? 32 : 64));
        } else {
            Add(VecReg(false));
            Add(VecRm(true, p == 0x66 ? 128 : 64));
        }
        break;
    case fGU:
        Add(RegG(S.Is64 && S.RexW ? 64 : 32));
        Add(VecName(RmNumber(), op == 0x50 || xmm));
        break;
    case fPEdImm:
        Add(VecReg(xmm));
        Add(S.IsMem ? Memory(16) : Gpr(32, RmNumber()));
        Add(Imm8());
        break;
    case fGNImm:
        Add(RegG(32));
        Add(VecName(RmNumber(), xmm));
        Add(Imm8());
        break;
    case fMG:
        Add(Memory(v));
        Add(RegG(v));
        break;
    case fPN:
        Add(VecReg(xmm));
        Add(VecName(RmNumber(), xmm));
        break;
    case fMem16:
        Add(Memory(16));
        break;
    case fMem32:
        Add(Memory(32));
        break;
    case fMem64:
        Add(Memory(64));
        break;
    case fMem80:
        Add(Memory(80));
        break;
    case fSt0Sti:
        Add("st(0)");
        Add("st(" + std::to_string(S.Rm) + ')');
        break;
    case fStiSt0:
        Add("st(" + std::to_string(S.Rm) + ')');
        Add("st(0)");
        break;
    case fSti:
        Add("st(" + std::to_string(S.Rm) + ')');
        break;
    case fFpuAx:
        Add("ax");
        break;
    default:
        break;
    }
}

void TFormatter::Run() {
    if (!R.Valid) {
        std::string out = "db ";
        const std::size_t length = R.InstrNext - R.InstrStart;
        for (std::size_t i = 0; i < length && i < S.Count; ++i) {
            if (i > 0) out += ", ";
            const std::uint8_t byte = S.Bytes[i];
            out += Hex(byte);
        }
        T.Text = std::move(out);
        T.MemoryAddress = 0;
        return;
    }
    std::string name = Name();
    unsigned form = FormOf(S.Flags);
    if (Legacy() && S.Map == 0) {
        const std::uint8_t op = S.Opcode;
        const bool stringOp =
            (op >= 0x6C && op <= 0x6F) || (op >= 0xA4 && op <= 0xA7) || (op >= 0xAA && op <= 0xAF);
        const bool branch = (op >= 0x70 && op <= 0x7F) || op == 0xC2 || op == 0xC3 || op == 0xE8 ||
                            op == 0xE9 || op == 0xEB || (op == 0xFF && S.Reg >= 2 && S.Reg <= 5);
        if (stringOp && S.Rep) Prefix += "rep ";
        if (stringOp && S.Repne) Prefix += "repne ";
        if (branch && S.Repne) Prefix += "bnd ";
        if (op == 0xFF && (S.Reg == 2 || S.Reg == 4) && S.Segment == 4) Prefix += "notrack ";
        if (op == 0x63 && S.Is64) form = fGEd;
        if (op == 0x90 && S.RexB) form = fAccOpReg;
    } else if (Legacy() && S.Map == 1 && S.Opcode == 0x1E && S.Rep &&
               (R.ModRmByte == 0xFA || R.ModRmByte == 0xFB)) {
        form = fNone;
    } else if (Legacy() && S.Map == 1 && S.Opcode >= 0x80 && S.Opcode <= 0x8F && S.Repne) {
        Prefix += "bnd ";
    }
    if (S.Lock) Prefix = "lock " + Prefix;
    // A segment override on an instruction without a memory operand stays unseen;
    // notrack is printed instead of DS on indirect branches.
    if (Legacy() && S.Map == 0 && S.Opcode == 0xFF && S.Segment == 4 &&
        (S.Reg == 2 || S.Reg == 4)) {
        TDecodeState copy = S;
        copy.Segment = 0;
        TFormatter inner(copy, R, T);
        inner.Operands(form);
        Ops = std::move(inner.Ops);
    } else if (Legacy()) {
        if (S.Map >= 2) {
            const bool map38 = S.Map == 2;
            const TMapEntry* entry =
                map38 ? FindEntry(std::begin(kMap38), std::end(kMap38), S.Opcode)
                      : FindEntry(std::begin(kMap3A), std::end(kMap3A), S.Opcode);
            form = entry != nullptr ? entry->Form : fVW;
            if (map38 && (S.Opcode == 0xF0 || S.Opcode == 0xF1) && S.Repne) {
                Add(RegG(S.RexW ? 64 : 32));
                Add(Rm(S.Opcode == 0xF0 ? 8 : OperandBits()));
                form = fNone;
            }
            if (map38 && S.Opcode == 0xF6) form = fGE;
        }
        Operands(form);
    } else if (S.Map == 1 && IsOpmaskOpcode(S.Opcode)) {
        OpmaskOperands();
    } else {
        VexOperands(form);
        if (!IsGeneralVex()) name = "v" + name;
    }
    // Valid encodings the name tables do not cover: named by encoding, map and opcode.
    if (name.empty() || name == "v") {
        static constexpr const char* kMaps[] = {"",     "0f",   "0f38", "0f3a",
                                                "map4", "map5", "map6", "map7"};
        static constexpr char kDigits[] = "0123456789abcdef";
        name = R.Encoding == TOpcodeEncoding::Evex  ? "evex."
               : R.Encoding == TOpcodeEncoding::Vex ? "vex."
                                                    : "";
        name += kMaps[S.Map & 7];
        if (S.Map != 0) name += '.';
        name += kDigits[S.Opcode >> 4];
        name += kDigits[S.Opcode & 15];
    }
    T.Text = Prefix + name;
    if (!Ops.empty()) T.Text += ' ' + Ops;
}

// VEX and EVEX: the legacy name with "v" and the operands reg, vvvv, r/m.
void TFormatter::VexOperands(unsigned form) {
    (void)form;
    const std::uint8_t op = S.Opcode;
    const bool map1 = S.Map == 1;
    const TMapEntry* entry = nullptr;
    if (S.Map == 2) {
        entry = FindEntry(std::begin(kMap38), std::end(kMap38), op);
        if (entry == nullptr) entry = FindEntry(std::begin(kVex38), std::end(kVex38), op);
    } else if (S.Map == 3) {
        entry = FindEntry(std::begin(kMap3A), std::end(kMap3A), op);
        if (entry == nullptr) entry = FindEntry(std::begin(kVex3A), std::end(kVex3A), op);
    }
    const unsigned vvvv = S.Vvvv;
    const bool imm = (S.Flags & ImmMask) != 0;
    if (map1 && op == 0x77) return;
    // General-purpose forms of the 0F 38 map (BMI).
    if (entry != nullptr && (entry->Form == fGE || entry->Form == fE || entry->Form == fGEImm) &&
        S.Map != 3) {
        const unsigned bits = S.RexW ? 64 : 32;
        if (entry->Form == fE) {
            Add(Gpr(bits, vvvv));
            Add(Rm(bits));
            return;
        }
        // bzhi, bextr and the shifts take vvvv last; andn, pdep, pext, mulx second.
        const bool vvvvLast = (op == 0xF5 && SsePrefix() == 0) || op == 0xF7;
        Add(RegG(bits));
        if (!vvvvLast) Add(Gpr(bits, vvvv));
        Add(Rm(bits));
        if (vvvvLast) Add(Gpr(bits, vvvv));
        return;
    }
    if (entry != nullptr && entry->Form == fGEImm && S.Map == 3 && op == 0xF0) { // rorx
        Add(RegG(S.RexW ? 64 : 32));
        Add(Rm(S.RexW ? 64 : 32));
        Add(Imm8());
        return;
    }
    const bool store = (map1 && (op == 0x11 || op == 0x13 || op == 0x17 || op == 0x29 ||
                                 op == 0x2B || op == 0x7F || op == 0xE7 || op == 0xD6)) ||
                       (entry != nullptr && entry->Form == fWV);
    // Opcodes whose vvvv is not an operand (moves, conversions, shuffles).
    const bool noVvvv =
        (map1 &&
         ((op >= 0x10 && op <= 0x11 && (SsePrefix() == 0 || SsePrefix() == 0x66 || S.IsMem)) ||
          op == 0x12 || op == 0x13 || op == 0x16 || op == 0x17 || (op >= 0x28 && op <= 0x29) ||
          (op >= 0x2B && op <= 0x2F) || op == 0x50 ||
          ((op == 0x51 || op == 0x52 || op == 0x53) && (SsePrefix() == 0 || SsePrefix() == 0x66)) ||
          (op == 0x5A && (SsePrefix() == 0 || SsePrefix() == 0x66)) || op == 0x5B || op == 0x6E ||
          op == 0x6F || op == 0x70 || op == 0x7E || op == 0x7F || op == 0xC5 || op == 0xD6 ||
          op == 0xD7 || op == 0xE6 || op == 0xE7 || op == 0xF0 || op == 0xF7)) ||
        (S.Map == 2 && (op == 0x17 || (op >= 0x1C && op <= 0x1E) || (op >= 0x18 && op <= 0x1A) ||
                        (op >= 0x20 && op <= 0x25) || op == 0x2A || (op >= 0x30 && op <= 0x35) ||
                        op == 0x41 || op == 0x58 || op == 0x59 || op == 0x5A || op == 0x78 ||
                        op == 0x79 || op == 0xDB || op == 0x13)) ||
        (S.Map == 3 && (op <= 0x01 || op == 0x04 || op == 0x05 || (op >= 0x08 && op <= 0x09) ||
                        (op >= 0x14 && op <= 0x17) || op == 0x19 || op == 0x1D || op == 0x39 ||
                        (op >= 0x60 && op <= 0x63) || op == 0xDF));
    if (map1 && (op >= 0x71 && op <= 0x73)) { // shifts by immediate: vvvv is the destination
        Add(VecName(vvvv, true));
        Add(VecName(RmNumber(), true));
        Add(Imm8());
        return;
    }
    if (map1 && (op == 0x50 || op == 0xD7)) {
        Add(RegG(32));
        Add(VecName(RmNumber(), true));
        return;
    }
    if (map1 && (op == 0x6E || op == 0x7E) && SsePrefix() == 0x66) {
        const unsigned bits = S.RexW ? 64 : 32;
        if (op == 0x6E) {
            Add(VecReg(true));
            Add(Rm(bits));
        } else {
            Add(Rm(bits));
            Add(VecReg(true));
        }
        return;
    }
    if (map1 && (op == 0x2A || op == 0x2C || op == 0x2D)) {
        const unsigned bits = S.RexW ? 64 : 32;
        if (op == 0x2A) {
            Add(VecReg(true));
            Add(VecName(vvvv, true));
            Add(Rm(bits));
        } else {
            Add(RegG(bits));
            Add(VecRm(true, SsePrefix() == 0xF3 ? 32 : 64));
        }
        return;
    }
    if (store) {
        Add(VecRm(true, VectorMemBits(true)));
        if (!noVvvv && S.Map != 3) Add(VecName(vvvv, true));
        Add(VecReg(true));
    } else {
        Add(VecReg(true));
        if (!noVvvv) Add(VecName(vvvv, true));
        Add(VecRm(true, VectorMemBits(true)));
    }
    if (imm) Add(Imm8());
}

} // namespace

void FormatInstruction(const TDecodeState& state, const TInstruction& record,
                       TInstructionText& text) {
    TFormatter(state, record, text).Run();
}

} // namespace ax::disasm_detail
