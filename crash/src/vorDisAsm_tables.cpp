// Opcode flag tables of the instruction decoder, written from the processor
// vendors' opcode maps (one-byte map, two-byte 0F map, the x87 escape
// groups and group 3, and the validity sets of the three-byte maps).
#include "crash/vorDisAsm.h"

namespace ax {
namespace disasm_detail {

using namespace opflag;

namespace {
constexpr std::uint16_t X = Invalid;
constexpr std::uint16_t M = ModRm;
constexpr std::uint16_t MM = ModRmMem;
constexpr std::uint16_t MR = ModRmReg;
constexpr std::uint16_t G = Group;
constexpr std::uint16_t B = ByteRegs;
constexpr std::uint16_t I8 = Imm8;
constexpr std::uint16_t I16 = Imm16;
constexpr std::uint16_t IV = ImmOpSize;
constexpr std::uint16_t J = Relative;
constexpr std::uint16_t WR = WriteReg;
constexpr std::uint16_t WM = WriteRm;
constexpr std::uint16_t WO = WriteOpReg;
constexpr std::uint16_t WA = WriteEax;
constexpr std::uint16_t WRM = WriteRegRm;
constexpr std::uint16_t WAM = WriteEaxRm;
constexpr std::uint16_t WAO = WriteEaxOpReg;

// Arithmetic block 00-05 (add, or, adc, sbb, and, sub, xor).
#define AX_ARITH M | B | WM, M | WM, M | B | WR, M | WR, I8 | B | WA, IV | WA

// clang-format off
constexpr std::array<std::uint16_t, 256> kOneByte = {
    // 00
    AX_ARITH, 0, 0, AX_ARITH, 0, 0,
    // 10
    AX_ARITH, 0, 0, AX_ARITH, 0, 0,
    // 20 (26 and 2E are prefixes)
    AX_ARITH, 0, WA, AX_ARITH, 0, WA,
    // 30 (38-3D cmp writes nothing)
    AX_ARITH, 0, WA, M | B, M, M | B, M, I8 | B, IV, 0, WA,
    // 40 inc, 48 dec
    WO, WO, WO, WO, WO, WO, WO, WO, WO, WO, WO, WO, WO, WO, WO, WO,
    // 50 push, 58 pop
    0, 0, 0, 0, 0, 0, 0, 0, WO, WO, WO, WO, WO, WO, WO, WO,
    // 60 pushad popad bound arpl, prefixes, push imul push imul ins outs
    0, 0, MM, M | WM, 0, 0, 0, 0, IV, M | IV | WR, I8, M | I8 | WR, 0, 0, 0, 0,
    // 70 jcc rel8
    J | I8, J | I8, J | I8, J | I8, J | I8, J | I8, J | I8, J | I8,
    J | I8, J | I8, J | I8, J | I8, J | I8, J | I8, J | I8, J | I8,
    // 80 group 1, test, xchg, mov, mov sreg, lea, mov sreg, pop
    M | B | I8 | WM, M | IV | WM, M | B | I8 | WM, M | I8 | WM, M | B, M, M | B | WRM, M | WRM,
    M | B | WM, M | WM, M | B | WR, M | WR, M | WM, MM | WR, M, M | WM,
    // 90 nop, xchg, cwde, cdq, call far, wait, pushfd, popfd, sahf, lahf
    0, WAO, WAO, WAO, WAO, WAO, WAO, WAO, WA, 0, 0, 0, 0, 0, 0, WA,
    // A0 moffs moves, movs, cmps, test, stos, lods, scas
    B | WA, WA, B, 0, 0, 0, 0, 0, I8 | B, IV, 0, 0, B | WA, WA, 0, 0,
    // B0 mov r8, imm8; B8 mov r, imm
    I8 | B | WO, I8 | B | WO, I8 | B | WO, I8 | B | WO, I8 | B | WO, I8 | B | WO, I8 | B | WO,
    I8 | B | WO, IV | WO, IV | WO, IV | WO, IV | WO, IV | WO, IV | WO, IV | WO, IV | WO,
    // C0 group 2, ret, les, lds, group 11, enter, leave, retf, int3, int, into, iret
    M | B | I8 | WM, M | I8 | WM, I16, 0, MM | WR, MM | WR, M | B | I8 | WM, M | IV | WM,
    0, 0, I16, 0, 0, I8, 0, 0,
    // D0 group 2, aam, aad, (undefined), xlat, x87 escapes
    M | B | WM, M | WM, M | B | WM, M | WM, I8 | WA, I8 | WA, X, B | WA, G, G, G, G, G, G, G, G,
    // E0 loops, jecxz, in, out, call, jmp, jmp far, jmp short, in, out
    J | I8, J | I8, J | I8, J | I8, I8 | B | WA, I8 | WA, I8 | B, I8,
    J | IV, J | IV, 0, J | I8, B | WA, WA, B, 0,
    // F0 lock, int1, prefixes, hlt, cmc, group 3, flag ops, group 4, group 5
    0, 0, 0, 0, 0, 0, G, G, 0, 0, 0, 0, 0, 0, M | B | WM, M | WM,
};

constexpr std::array<std::uint16_t, 256> kTwoByte = {
    // 00 group 6, group 7, lar, lsl, -, syscall, clts, sysret, invd, wbinvd, -, ud2, -,
    // prefetch, femms, 3DNow!
    M | WM, M, M | WR, M | WR, X, 0, 0, 0, 0, 0, X, 0, X, MM, 0, M | I8,
    // 10 movups..movhps, hint nops (18-1F)
    M, M, M, MM, M, M, M, MM, M, M, M, M, M, M, M, M,
    // 20 mov cr/dr, -, movaps, cvtpi2ps, movntps, cvttps2pi, cvtps2pi, ucomiss, comiss
    MR | WM, MR | WM, MR, MR, X, X, X, X, M, M, M, MM, M | WR, M | WR, M, M,
    // 30 wrmsr rdtsc rdmsr rdpmc sysenter sysexit - getsec (38, 3A lead to three-byte maps)
    0, 0, 0, 0, 0, 0, X, 0, X, X, X, X, X, X, X, X,
    // 40 cmovcc
    M | WR, M | WR, M | WR, M | WR, M | WR, M | WR, M | WR, M | WR,
    M | WR, M | WR, M | WR, M | WR, M | WR, M | WR, M | WR, M | WR,
    // 50 movmskps, sse arithmetic
    MR | WR, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
    // 60 mmx/sse integer
    M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
    // 70 pshufw, groups 12-14, pcmpeq, emms, vmread, vmwrite, -, -, hadd, hsub, movd, movq
    M | I8, MR | I8, MR | I8, MR | I8, M, M, M, 0, M | WM, M, X, X, M, M, M | WM, M,
    // 80 jcc rel32
    J | IV, J | IV, J | IV, J | IV, J | IV, J | IV, J | IV, J | IV,
    J | IV, J | IV, J | IV, J | IV, J | IV, J | IV, J | IV, J | IV,
    // 90 setcc
    M | B | WM, M | B | WM, M | B | WM, M | B | WM, M | B | WM, M | B | WM, M | B | WM, M | B | WM,
    M | B | WM, M | B | WM, M | B | WM, M | B | WM, M | B | WM, M | B | WM, M | B | WM, M | B | WM,
    // A0 push fs, pop fs, cpuid, bt, shld, -, -, push gs, pop gs, rsm, bts, shrd, group 15, imul
    0, 0, 0, M, M | I8 | WM, M | WM, X, X, 0, 0, 0, M | WM, M | I8 | WM, M | WM, M, M | WR,
    // B0 cmpxchg, lss, btr, lfs, lgs, movzx, popcnt, ud1, group 8, btc, bsf, bsr, movsx
    M | B | WAM, M | WAM, MM | WR, M | WM, MM | WR, MM | WR, M | WR, M | WR,
    M | WR, M, M | I8 | WM, M | WM, M | WR, M | WR, M | WR, M | WR,
    // C0 xadd, cmpps, movnti, pinsrw, pextrw, shufps, group 9, bswap
    M | B | WRM, M | WRM, M | I8, MM, M | I8, MR | I8 | WR, M | I8, M | WM,
    WO, WO, WO, WO, WO, WO, WO, WO,
    // D0
    M, M, M, M, M, M, M, MR | WR, M, M, M, M, M, M, M, M,
    // E0 (E7 movntq)
    M, M, M, M, M, M, M, MM, M, M, M, M, M, M, M, M,
    // F0 lddqu, ..., maskmovq, ..., ud0
    MM, M, M, M, M, M, M, MR, M, M, M, M, M, M, M, M,
};

// Group 3 and the x87 escapes: opcode, 8 memory forms, 8 register forms.
constexpr std::array<TGroupRow, 10> kGroups = {{
    {0xF6, {M | B | I8, X, M | B | WM, M | B | WM, M | B | WA, M | B | WA, M | B | WA, M | B | WA},
           {M | B | I8, X, M | B | WM, M | B | WM, M | B | WA, M | B | WA, M | B | WA, M | B | WA}},
    {0xF7, {M | IV, X, M | WM, M | WM, M | WA, M | WA, M | WA, M | WA},
           {M | IV, X, M | WM, M | WM, M | WA, M | WA, M | WA, M | WA}},
    {0xD8, {M, M, M, M, M, M, M, M}, {M, M, M, M, M, M, M, M}},
    {0xD9, {M, X, M, M, M, M, M, M}, {M, M, M, X, M, M, M, M}},
    {0xDA, {M, M, M, M, M, M, M, M}, {M, M, M, M, X, M, X, X}},
    {0xDB, {M, M, M, M, X, M, X, M}, {M, M, M, M, M, M, M, X}},
    {0xDC, {M, M, M, M, M, M, M, M}, {M, M, X, X, M, M, M, M}},
    {0xDD, {M, M, M, M, M, X, M, M}, {M, X, M, M, M, M, X, X}},
    {0xDE, {M, M, M, M, M, M, M, M}, {M, M, X, M, M, M, M, M}},
    {0xDF, {M, M, M, M, M, M, M, M}, {X, X, X, X, M | WA, M, M, X}},
}};
// clang-format on

#undef AX_ARITH

// Register forms of the x87 escapes: a bit per r/m value that is defined.
constexpr std::uint8_t kFpuRegForms[8][8] = {
    /* D8 */ {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
    /* D9 */ {0xFF, 0xFF, 0x01, 0x00, 0x33, 0x7F, 0xFF, 0xFF},
    /* DA */ {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x02, 0x00, 0x00},
    /* DB */ {0xFF, 0xFF, 0xFF, 0xFF, 0x0C, 0xFF, 0xFF, 0x00},
    /* DC */ {0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF},
    /* DD */ {0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00},
    /* DE */ {0xFF, 0xFF, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 0xFF},
    /* DF */ {0x00, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0x00},
};

constexpr TOpcodeSet MakeSet(std::initializer_list<int> items) {
    TOpcodeSet set{};
    for (int item : items)
        set[static_cast<std::size_t>(item) / 64] |= std::uint64_t{1} << (item % 64);
    return set;
}

constexpr TOpcodeSet RangeSet(std::initializer_list<std::pair<int, int>> ranges) {
    TOpcodeSet set{};
    for (auto [from, to] : ranges)
        for (int item = from; item <= to; ++item)
            set[static_cast<std::size_t>(item) / 64] |= std::uint64_t{1} << (item % 64);
    return set;
}

// 3DNow! suffix bytes that name an instruction.
constexpr TOpcodeSet k3DNow =
    MakeSet({0x0C, 0x0D, 0x1C, 0x1D, 0x8A, 0x8E, 0x90, 0x94, 0x96, 0x97, 0x9A, 0x9E,
             0xA0, 0xA4, 0xA6, 0xA7, 0xAA, 0xAE, 0xB0, 0xB4, 0xB6, 0xB7, 0xBB, 0xBF});

// One-byte opcodes that x86-64 removed (62, C4 and C5 became EVEX and VEX).
constexpr TOpcodeSet kInvalid64 =
    MakeSet({0x06, 0x07, 0x0E, 0x16, 0x17, 0x1E, 0x1F, 0x27, 0x2F, 0x37,
             0x3F, 0x60, 0x61, 0x82, 0x9A, 0xCE, 0xD4, 0xD5, 0xD6, 0xEA});

// Defined opcodes of the 0F 38 map (legacy encoding, any mandatory prefix).
constexpr TOpcodeSet kMap38 = RangeSet({{0x00, 0x0B},
                                        {0x10, 0x10},
                                        {0x14, 0x15},
                                        {0x17, 0x17},
                                        {0x1C, 0x1E},
                                        {0x20, 0x25},
                                        {0x28, 0x2B},
                                        {0x30, 0x35},
                                        {0x37, 0x41},
                                        {0x80, 0x82},
                                        {0xC8, 0xCD},
                                        {0xCF, 0xCF},
                                        {0xDB, 0xDF},
                                        {0xF0, 0xF1},
                                        {0xF5, 0xF6},
                                        {0xF8, 0xF9}});

// Defined opcodes of the 0F 3A map (legacy encoding).
constexpr TOpcodeSet kMap3A = RangeSet({{0x08, 0x0F},
                                        {0x14, 0x17},
                                        {0x20, 0x22},
                                        {0x40, 0x42},
                                        {0x44, 0x44},
                                        {0x60, 0x63},
                                        {0xCC, 0xCC},
                                        {0xCE, 0xCF},
                                        {0xDF, 0xDF}});

// Opcodes of the 0F map that have a VEX form.
constexpr TOpcodeSet kVexMap1 = RangeSet({{0x10, 0x17},
                                          {0x28, 0x2F},
                                          {0x41, 0x42},
                                          {0x44, 0x47},
                                          {0x4A, 0x4B},
                                          {0x50, 0x7F},
                                          {0x90, 0x93},
                                          {0x98, 0x99},
                                          {0xAE, 0xAE},
                                          {0xC2, 0xC2},
                                          {0xC4, 0xC6},
                                          {0xD0, 0xFE}});

// Register forms of group 7 (0F 01) by ModR/M byte.
constexpr TOpcodeSet kGroup7Reg = MakeSet(
    {0xC1, 0xC2, 0xC3, 0xC4, 0xC8, 0xC9, 0xCA, 0xCB, 0xCF, 0xD0, 0xD1, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8,
     0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF, 0xE8, 0xEE, 0xEF, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC});
} // namespace

const std::array<std::uint16_t, 256>& OneByteTable() {
    return kOneByte;
}
const std::array<std::uint16_t, 256>& TwoByteTable() {
    return kTwoByte;
}
const std::array<TGroupRow, 10>& GroupTable() {
    return kGroups;
}
std::uint8_t FpuRegForms(std::uint8_t opcode, std::uint8_t reg) {
    return kFpuRegForms[opcode - 0xD8][reg & 7];
}
const TOpcodeSet& ThreeDNowSet() {
    return k3DNow;
}
const TOpcodeSet& Invalid64Set() {
    return kInvalid64;
}
const TOpcodeSet& Map38Set() {
    return kMap38;
}
const TOpcodeSet& Map3ASet() {
    return kMap3A;
}
const TOpcodeSet& VexMap1Set() {
    return kVexMap1;
}
const TOpcodeSet& Group7RegSet() {
    return kGroup7Reg;
}

} // namespace disasm_detail

const std::array<std::uint16_t, 256>& OneByteOpcodeFlags() {
    return disasm_detail::OneByteTable();
}
const std::array<std::uint16_t, 256>& TwoByteOpcodeFlags() {
    return disasm_detail::TwoByteTable();
}

} // namespace ax
