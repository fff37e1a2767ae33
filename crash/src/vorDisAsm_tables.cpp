// Opcode flag tables of the instruction decoder, written from the processor
// vendors' opcode maps (one-byte map, two-byte 0F map, the x87 escape
// groups and group 3, and the validity sets of the three-byte maps).
#include "crash/vorDisAsm.h"

#include "vorDisAsm_internal.h"

#include <string_view>

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
constexpr std::array<std::uint16_t, 256> kOneByteBase = {
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

constexpr std::array<std::uint16_t, 256> kTwoByteBase = {
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
constexpr std::uint16_t T = FormBits(fEImm), E = FormBits(fE), F16 = FormBits(fMem16),
                        F32 = FormBits(fMem32), F64 = FormBits(fMem64), F80 = FormBits(fMem80),
                        FM = FormBits(fM), S0I = FormBits(fSt0Sti), SI0 = FormBits(fStiSt0),
                        SI = FormBits(fSti), FAX = FormBits(fFpuAx);
constexpr std::array<TGroupRow, 10> kGroups = {{
    {0xF6, {M | B | I8 | T, X, M | B | WM | E, M | B | WM | E, M | B | WA | E, M | B | WA | E,
            M | B | WA | E, M | B | WA | E},
           {M | B | I8 | T, X, M | B | WM | E, M | B | WM | E, M | B | WA | E, M | B | WA | E,
            M | B | WA | E, M | B | WA | E}},
    {0xF7, {M | IV | T, X, M | WM | E, M | WM | E, M | WA | E, M | WA | E, M | WA | E, M | WA | E},
           {M | IV | T, X, M | WM | E, M | WM | E, M | WA | E, M | WA | E, M | WA | E, M | WA | E}},
    {0xD8, {M | F32, M | F32, M | F32, M | F32, M | F32, M | F32, M | F32, M | F32},
           {M | S0I, M | S0I, M | SI, M | SI, M | S0I, M | S0I, M | S0I, M | S0I}},
    {0xD9, {M | F32, X, M | F32, M | F32, M | FM, M | F16, M | FM, M | F16},
           {M | SI, M | SI, M, X, M, M, M, M}},
    {0xDA, {M | F32, M | F32, M | F32, M | F32, M | F32, M | F32, M | F32, M | F32},
           {M | S0I, M | S0I, M | S0I, M | S0I, X, M, X, X}},
    {0xDB, {M | F32, M | F32, M | F32, M | F32, X, M | F80, X, M | F80},
           {M | S0I, M | S0I, M | S0I, M | S0I, M, M | S0I, M | S0I, X}},
    {0xDC, {M | F64, M | F64, M | F64, M | F64, M | F64, M | F64, M | F64, M | F64},
           {M | SI0, M | SI0, X, X, M | SI0, M | SI0, M | SI0, M | SI0}},
    {0xDD, {M | F64, M | F64, M | F64, M | F64, M | FM, X, M | FM, M | F16},
           {M | SI, X, M | SI, M | SI, M | SI, M | SI, X, X}},
    {0xDE, {M | F16, M | F16, M | F16, M | F16, M | F16, M | F16, M | F16, M | F16},
           {M | SI0, M | SI0, X, M, M | SI0, M | SI0, M | SI0, M | SI0}},
    {0xDF, {M | F16, M | F16, M | F16, M | F16, M | F80, M | F64, M | F80, M | F64},
           {X, X, X, X, M | WA | FAX, M | S0I, M | S0I, X}},
}};

// Operand forms of the one-byte map (combined into the flag words below).
constexpr std::uint8_t kOneByteForms[256] = {
    // 00
    fEG, fEG, fGE, fGE, fAccImm, fAccImm, fSegReg, fSegReg,
    fEG, fEG, fGE, fGE, fAccImm, fAccImm, fSegReg, fNone,
    // 10
    fEG, fEG, fGE, fGE, fAccImm, fAccImm, fSegReg, fSegReg,
    fEG, fEG, fGE, fGE, fAccImm, fAccImm, fSegReg, fSegReg,
    // 20
    fEG, fEG, fGE, fGE, fAccImm, fAccImm, fNone, fNone,
    fEG, fEG, fGE, fGE, fAccImm, fAccImm, fNone, fNone,
    // 30
    fEG, fEG, fGE, fGE, fAccImm, fAccImm, fNone, fNone,
    fEG, fEG, fGE, fGE, fAccImm, fAccImm, fNone, fNone,
    // 40 inc, dec, push, pop
    fOpReg, fOpReg, fOpReg, fOpReg, fOpReg, fOpReg, fOpReg, fOpReg,
    fOpReg, fOpReg, fOpReg, fOpReg, fOpReg, fOpReg, fOpReg, fOpReg,
    fOpReg, fOpReg, fOpReg, fOpReg, fOpReg, fOpReg, fOpReg, fOpReg,
    fOpReg, fOpReg, fOpReg, fOpReg, fOpReg, fOpReg, fOpReg, fOpReg,
    // 60
    fNone, fNone, fGM, fEwGw, fNone, fNone, fNone, fNone,
    fImm, fGEImm, fImm, fGEImm, fString, fString, fString, fString,
    // 70
    fRel, fRel, fRel, fRel, fRel, fRel, fRel, fRel,
    fRel, fRel, fRel, fRel, fRel, fRel, fRel, fRel,
    // 80
    fEImm, fEImm, fEImm, fEImm, fEG, fEG, fEG, fEG,
    fEG, fEG, fGE, fGE, fESreg, fGM, fSregE, fE,
    // 90
    fNone, fAccOpReg, fAccOpReg, fAccOpReg, fAccOpReg, fAccOpReg, fAccOpReg, fAccOpReg,
    fNone, fNone, fFar, fNone, fNone, fNone, fNone, fNone,
    // A0
    fAccMoffs, fAccMoffs, fMoffsAcc, fMoffsAcc, fString, fString, fString, fString,
    fAccImm, fAccImm, fString, fString, fString, fString, fString, fString,
    // B0
    fOpRegImm, fOpRegImm, fOpRegImm, fOpRegImm, fOpRegImm, fOpRegImm, fOpRegImm, fOpRegImm,
    fOpRegImm, fOpRegImm, fOpRegImm, fOpRegImm, fOpRegImm, fOpRegImm, fOpRegImm, fOpRegImm,
    // C0
    fEImm, fEImm, fImm, fNone, fGM, fGM, fEImm, fEImm,
    fEnter, fNone, fImm, fNone, fNone, fImm, fNone, fNone,
    // D0
    fE1, fE1, fECl, fECl, fImm, fImm, fNone, fNone,
    fNone, fNone, fNone, fNone, fNone, fNone, fNone, fNone,
    // E0
    fRel, fRel, fRel, fRel, fInOut, fInOut, fInOut, fInOut,
    fRel, fRel, fFar, fRel, fInOut, fInOut, fInOut, fInOut,
    // F0
    fNone, fNone, fNone, fNone, fNone, fNone, fNone, fNone,
    fNone, fNone, fNone, fNone, fNone, fNone, fE, fE,
};

// Operand forms of the 0F map.
constexpr std::uint8_t kTwoByteForms[256] = {
    // 00
    fEw, fM, fGEw, fGEw, fNone, fNone, fNone, fNone,
    fNone, fNone, fNone, fNone, fNone, fM, fNone, fPQ,
    // 10
    fVW, fWV, fVW, fWV, fVW, fVW, fVW, fWV,
    fM, fE, fE, fE, fE, fE, fE, fE,
    // 20
    fRC, fRD, fCR, fDR, fNone, fNone, fNone, fNone,
    fVW, fWV, fVQ, fWV, fPW, fPW, fVW, fVW,
    // 30
    fNone, fNone, fNone, fNone, fNone, fNone, fNone, fNone,
    fNone, fNone, fNone, fNone, fNone, fNone, fNone, fNone,
    // 40 cmovcc
    fGE, fGE, fGE, fGE, fGE, fGE, fGE, fGE,
    fGE, fGE, fGE, fGE, fGE, fGE, fGE, fGE,
    // 50
    fGU, fVW, fVW, fVW, fVW, fVW, fVW, fVW,
    fVW, fVW, fVW, fVW, fVW, fVW, fVW, fVW,
    // 60
    fPQ, fPQ, fPQ, fPQ, fPQ, fPQ, fPQ, fPQ,
    fPQ, fPQ, fPQ, fPQ, fPQ, fPQ, fPEd, fPQ,
    // 70
    fPQImm, fNImm, fNImm, fNImm, fPQ, fPQ, fPQ, fNone,
    fEG, fGE, fNone, fNone, fVW, fVW, fEdP, fQP,
    // 80 jcc
    fRel, fRel, fRel, fRel, fRel, fRel, fRel, fRel,
    fRel, fRel, fRel, fRel, fRel, fRel, fRel, fRel,
    // 90 setcc
    fE, fE, fE, fE, fE, fE, fE, fE,
    fE, fE, fE, fE, fE, fE, fE, fE,
    // A0
    fSegReg, fSegReg, fNone, fEG, fEGImm, fEGCl, fNone, fNone,
    fSegReg, fSegReg, fNone, fEG, fEGImm, fEGCl, fM, fGE,
    // B0
    fEG, fEG, fGM, fEG, fGM, fGM, fGEb, fGEw,
    fGE, fGE, fEImm, fEG, fGE, fGE, fGEb, fGEw,
    // C0
    fEG, fEG, fVWImm, fMG, fPEdImm, fGNImm, fVWImm, fM,
    fOpReg, fOpReg, fOpReg, fOpReg, fOpReg, fOpReg, fOpReg, fOpReg,
    // D0
    fVW, fPQ, fPQ, fPQ, fPQ, fPQ, fWV, fGU,
    fPQ, fPQ, fPQ, fPQ, fPQ, fPQ, fPQ, fPQ,
    // E0
    fPQ, fPQ, fPQ, fPQ, fPQ, fPQ, fVW, fQP,
    fPQ, fPQ, fPQ, fPQ, fPQ, fPQ, fPQ, fPQ,
    // F0
    fVW, fPQ, fPQ, fPQ, fPQ, fPQ, fPQ, fPN,
    fPQ, fPQ, fPQ, fPQ, fPQ, fPQ, fPQ, fGE,
};

constexpr std::array<std::uint16_t, 256> WithForms(const std::array<std::uint16_t, 256>& base,
                                                   const std::uint8_t (&forms)[256]) {
    std::array<std::uint16_t, 256> table{};
    for (std::size_t i = 0; i < 256; ++i)
        table[i] = base[i] == X ? X : static_cast<std::uint16_t>(base[i] | FormBits(forms[i]));
    return table;
}
constexpr std::array<std::uint16_t, 256> kOneByte = WithForms(kOneByteBase, kOneByteForms);
constexpr std::array<std::uint16_t, 256> kTwoByte = WithForms(kTwoByteBase, kTwoByteForms);

// clang-format on

// The mnemonic entries, separated by zero bytes; the tables below hold 1-based
// numbers into it. Single names in alphabetical order, then the reg-field lists.
constexpr char kMnemonicList[] =
    "aaa\0aad\0aam\0aas\0adc\0add\0addPS\0addsubP\0and\0andP\0andnP\0arpl\0bound\0bsf\0bsr\0"
    "bswap\0bt\0btc\0btr\0bts\0call\0cdq\0clc\0cld\0cli\0clts\0cmc\0cmov%cc\0cmp\0cmpPS\0cmpsb\0"
    "cmpsd\0cmpxchg\0comis%s\0cpuid\0cvt%pi2PS\0cvtPS2%pi\0cvtdq2ps\0cvtps2pd\0cvttPS2%pi\0"
    "cvttpd2dq\0cwde\0daa\0das\0dec\0divPS\0emms\0enter\0femms\0getsec\0haddP\0hlt\0hsubP\0"
    "imul\0in\0inc\0insb\0insd\0int\0int1\0int3\0into\0invd\0iretd\0j%cc\0jecxz\0jmp\0lahf\0"
    "lar\0lddqu\0lds\0lea\0leave\0les\0lfs\0lgs\0lodsb\0lodsd\0loop\0loope\0loopne\0lsl\0lss\0"
    "maskmovq\0maxPS\0minPS\0mov\0movaP\0movd\0movhP\0movlP\0movmskP\0movntP\0movnti\0movntq\0"
    "movq\0movsb\0movsd\0movsx\0movuPS\0movzx\0mulPS\0nop\0or\0orP\0out\0outsb\0outsd\0"
    "packssdw\0packsswb\0packuswb\0paddb\0paddd\0paddq\0paddsb\0paddsw\0paddusb\0paddusw\0"
    "paddw\0pand\0pandn\0pavgb\0pavgw\0pcmpeqb\0pcmpeqd\0pcmpeqw\0pcmpgtb\0pcmpgtd\0pcmpgtw\0"
    "pextrw\0pinsrw\0pmaddwd\0pmaxsw\0pmaxub\0pminsw\0pminub\0pmovmskb\0pmulhuw\0pmulhw\0"
    "pmullw\0pmuludq\0pop\0popad\0popcnt\0popfd\0por\0psadbw\0pshufw\0pslld\0psllq\0psllw\0"
    "psrad\0psraw\0psrld\0psrlq\0psrlw\0psubb\0psubd\0psubq\0psubsb\0psubsw\0psubusb\0psubusw\0"
    "psubw\0punpckhbw\0punpckhdq\0punpckhqdq\0punpckhwd\0punpcklbw\0punpckldq\0punpcklqdq\0"
    "punpcklwd\0push\0pushad\0pushfd\0pxor\0rcpPS\0rdmsr\0rdpmc\0rdtsc\0ret\0retf\0rsm\0"
    "rsqrtPS\0sahf\0sbb\0scasb\0scasd\0set%cc\0shld\0shrd\0shufP\0sqrtPS\0stc\0std\0sti\0stosb\0"
    "stosd\0sub\0subPS\0syscall\0sysenter\0sysexit\0sysret\0test\0ucomis%s\0ud0\0ud1\0ud2\0"
    "unpckhP\0unpcklP\0vmread\0vmwrite\0wait\0wbinvd\0wrmsr\0xadd\0xchg\0xlatb\0xor\0xorP\0"
    "add|or|adc|sbb|and|sub|xor|cmp\0rol|ror|rcl|rcr|shl|shr||sar\0"
    "fadd|fmul|fcom|fcomp|fsub|fsubr|fdiv|fdivr|fadd|fmul|fcom|fcomp|fsub|fsubr|fdiv|fdivr\0"
    "fld||fst|fstp|fldenv|fldcw|fnstenv|fnstcw|fld|fxch|fnop|||||\0"
    "fiadd|fimul|ficom|ficomp|fisub|fisubr|fidiv|fidivr|fcmovb|fcmove|fcmovbe|fcmovu||fucompp||\0"
    "fild|fisttp|fist|fistp||fld||fstp|fcmovnb|fcmovne|fcmovnbe|fcmovnu||fucomi|fcomi|\0"
    "fadd|fmul|fcom|fcomp|fsub|fsubr|fdiv|fdivr|fadd|fmul|||fsubr|fsub|fdivr|fdiv\0"
    "fld|fisttp|fst|fstp|frstor||fnsave|fnstsw|ffree||fst|fstp|fucom|fucomp||\0"
    "fiadd|fimul|ficom|ficomp|fisub|fisubr|fidiv|fidivr|faddp|fmulp||fcompp|fsubrp|fsubp|fdivrp|fdivp\0"
    "fild|fisttp|fist|fistp|fbld|fild|fbstp|fistp|||||fnstsw|fucomip|fcomip|\0"
    "test||not|neg|mul|imul|div|idiv\0inc|dec\0inc|dec|call|call|jmp|jmp|push|\0"
    "sldt|str|lldt|ltr|verr|verw||\0sgdt|sidt|lgdt|lidt|smsw||lmsw|invlpg\0"
    "prefetch|prefetchw|prefetchwt1|prefetch|prefetch|prefetch|prefetch|prefetch\0"
    "prefetchnta|prefetcht0|prefetcht1|prefetcht2|nop|nop|nop|nop\0||psrlw||psraw||psllw|\0"
    "||psrld||psrad||pslld|\0||psrlq|psrldq|||psllq|pslldq\0"
    "fxsave|fxrstor|ldmxcsr|stmxcsr|xsave|xrstor|xsaveopt|clflush\0||||bt|bts|btr|btc\0"
    "|cmpxchg8b||xrstors|xsavec|xsaves|vmptrld|vmptrst\0";

constexpr std::size_t kMnemonicListSize = sizeof(kMnemonicList);

// Number of the entry name (1-based); a name missing from the list does not compile.
consteval std::uint8_t N(std::string_view name) {
    unsigned number = 1;
    std::size_t start = 0;
    for (std::size_t i = 0; i + 1 < kMnemonicListSize; ++i) {
        if (kMnemonicList[i] != 0) continue;
        if (std::string_view(kMnemonicList + start, i - start) == name)
            return static_cast<std::uint8_t>(number);
        ++number;
        start = i + 1;
    }
    throw "mnemonic missing from the list";
}

// clang-format off
constexpr std::array<std::uint8_t, 256> kOneByteNames = {
    // 00
    N("add"), N("add"), N("add"), N("add"), N("add"), N("add"), N("push"), N("pop"), N("or"),
    N("or"), N("or"), N("or"), N("or"), N("or"), N("push"), 0,
    // 10
    N("adc"), N("adc"), N("adc"), N("adc"), N("adc"), N("adc"), N("push"), N("pop"), N("sbb"),
    N("sbb"), N("sbb"), N("sbb"), N("sbb"), N("sbb"), N("push"), N("pop"),
    // 20
    N("and"), N("and"), N("and"), N("and"), N("and"), N("and"), 0, N("daa"), N("sub"), N("sub"),
    N("sub"), N("sub"), N("sub"), N("sub"), 0, N("das"),
    // 30
    N("xor"), N("xor"), N("xor"), N("xor"), N("xor"), N("xor"), 0, N("aaa"), N("cmp"), N("cmp"),
    N("cmp"), N("cmp"), N("cmp"), N("cmp"), 0, N("aas"),
    // 40
    N("inc"), N("inc"), N("inc"), N("inc"), N("inc"), N("inc"), N("inc"), N("inc"), N("dec"),
    N("dec"), N("dec"), N("dec"), N("dec"), N("dec"), N("dec"), N("dec"),
    // 50
    N("push"), N("push"), N("push"), N("push"), N("push"), N("push"), N("push"), N("push"),
    N("pop"), N("pop"), N("pop"), N("pop"), N("pop"), N("pop"), N("pop"), N("pop"),
    // 60
    N("pushad"), N("popad"), N("bound"), N("arpl"), 0, 0, 0, 0, N("push"), N("imul"), N("push"),
    N("imul"), N("insb"), N("insd"), N("outsb"), N("outsd"),
    // 70
    N("j%cc"), N("j%cc"), N("j%cc"), N("j%cc"), N("j%cc"), N("j%cc"), N("j%cc"), N("j%cc"),
    N("j%cc"), N("j%cc"), N("j%cc"), N("j%cc"), N("j%cc"), N("j%cc"), N("j%cc"), N("j%cc"),
    // 80
    N("add|or|adc|sbb|and|sub|xor|cmp"), N("add|or|adc|sbb|and|sub|xor|cmp"),
    N("add|or|adc|sbb|and|sub|xor|cmp"), N("add|or|adc|sbb|and|sub|xor|cmp"), N("test"), N("test"),
    N("xchg"), N("xchg"), N("mov"), N("mov"), N("mov"), N("mov"), N("mov"), N("lea"), N("mov"),
    N("pop"),
    // 90
    N("nop"), N("xchg"), N("xchg"), N("xchg"), N("xchg"), N("xchg"), N("xchg"), N("xchg"),
    N("cwde"), N("cdq"), N("call"), N("wait"), N("pushfd"), N("popfd"), N("sahf"), N("lahf"),
    // A0
    N("mov"), N("mov"), N("mov"), N("mov"), N("movsb"), N("movsd"), N("cmpsb"), N("cmpsd"),
    N("test"), N("test"), N("stosb"), N("stosd"), N("lodsb"), N("lodsd"), N("scasb"), N("scasd"),
    // B0
    N("mov"), N("mov"), N("mov"), N("mov"), N("mov"), N("mov"), N("mov"), N("mov"), N("mov"),
    N("mov"), N("mov"), N("mov"), N("mov"), N("mov"), N("mov"), N("mov"),
    // C0
    N("rol|ror|rcl|rcr|shl|shr||sar"), N("rol|ror|rcl|rcr|shl|shr||sar"), N("ret"), N("ret"),
    N("les"), N("lds"), N("mov"), N("mov"), N("enter"), N("leave"), N("retf"), N("retf"),
    N("int3"), N("int"), N("into"), N("iretd"),
    // D0
    N("rol|ror|rcl|rcr|shl|shr||sar"), N("rol|ror|rcl|rcr|shl|shr||sar"),
    N("rol|ror|rcl|rcr|shl|shr||sar"), N("rol|ror|rcl|rcr|shl|shr||sar"), N("aam"), N("aad"), 0,
    N("xlatb"),
    N("fadd|fmul|fcom|fcomp|fsub|fsubr|fdiv|fdivr|fadd|fmul|fcom|fcomp|fsub|fsubr|fdiv|fdivr"),
    N("fld||fst|fstp|fldenv|fldcw|fnstenv|fnstcw|fld|fxch|fnop|||||"),
    N("fiadd|fimul|ficom|ficomp|fisub|fisubr|fidiv|fidivr|fcmovb|fcmove|fcmovbe|fcmovu||fucompp||"),
    N("fild|fisttp|fist|fistp||fld||fstp|fcmovnb|fcmovne|fcmovnbe|fcmovnu||fucomi|fcomi|"),
    N("fadd|fmul|fcom|fcomp|fsub|fsubr|fdiv|fdivr|fadd|fmul|||fsubr|fsub|fdivr|fdiv"),
    N("fld|fisttp|fst|fstp|frstor||fnsave|fnstsw|ffree||fst|fstp|fucom|fucomp||"),
    N("fiadd|fimul|ficom|ficomp|fisub|fisubr|fidiv|fidivr|faddp|fmulp||fcompp|fsubrp|fsubp|fdivrp|fdivp"),
    N("fild|fisttp|fist|fistp|fbld|fild|fbstp|fistp|||||fnstsw|fucomip|fcomip|"),
    // E0
    N("loopne"), N("loope"), N("loop"), N("jecxz"), N("in"), N("in"), N("out"), N("out"),
    N("call"), N("jmp"), N("jmp"), N("jmp"), N("in"), N("in"), N("out"), N("out"),
    // F0
    0, N("int1"), 0, 0, N("hlt"), N("cmc"), N("test||not|neg|mul|imul|div|idiv"),
    N("test||not|neg|mul|imul|div|idiv"), N("clc"), N("stc"), N("cli"), N("sti"), N("cld"),
    N("std"), N("inc|dec"), N("inc|dec|call|call|jmp|jmp|push|"),
};
constexpr std::array<std::uint8_t, 256> kTwoByteNames = {
    // 00
    N("sldt|str|lldt|ltr|verr|verw||"), N("sgdt|sidt|lgdt|lidt|smsw||lmsw|invlpg"), N("lar"),
    N("lsl"), 0, N("syscall"), N("clts"), N("sysret"), N("invd"), N("wbinvd"), 0, N("ud2"), 0,
    N("prefetch|prefetchw|prefetchwt1|prefetch|prefetch|prefetch|prefetch|prefetch"), N("femms"),
    0,
    // 10
    N("movuPS"), N("movuPS"), N("movlP"), N("movlP"), N("unpcklP"), N("unpckhP"), N("movhP"),
    N("movhP"), N("prefetchnta|prefetcht0|prefetcht1|prefetcht2|nop|nop|nop|nop"), N("nop"),
    N("nop"), N("nop"), N("nop"), N("nop"), N("nop"), N("nop"),
    // 20
    N("mov"), N("mov"), N("mov"), N("mov"), 0, 0, 0, 0, N("movaP"), N("movaP"), N("cvt%pi2PS"),
    N("movntP"), N("cvttPS2%pi"), N("cvtPS2%pi"), N("ucomis%s"), N("comis%s"),
    // 30
    N("wrmsr"), N("rdtsc"), N("rdmsr"), N("rdpmc"), N("sysenter"), N("sysexit"), 0, N("getsec"), 0,
    0, 0, 0, 0, 0, 0, 0,
    // 40
    N("cmov%cc"), N("cmov%cc"), N("cmov%cc"), N("cmov%cc"), N("cmov%cc"), N("cmov%cc"),
    N("cmov%cc"), N("cmov%cc"), N("cmov%cc"), N("cmov%cc"), N("cmov%cc"), N("cmov%cc"),
    N("cmov%cc"), N("cmov%cc"), N("cmov%cc"), N("cmov%cc"),
    // 50
    N("movmskP"), N("sqrtPS"), N("rsqrtPS"), N("rcpPS"), N("andP"), N("andnP"), N("orP"),
    N("xorP"), N("addPS"), N("mulPS"), N("cvtps2pd"), N("cvtdq2ps"), N("subPS"), N("minPS"),
    N("divPS"), N("maxPS"),
    // 60
    N("punpcklbw"), N("punpcklwd"), N("punpckldq"), N("packsswb"), N("pcmpgtb"), N("pcmpgtw"),
    N("pcmpgtd"), N("packuswb"), N("punpckhbw"), N("punpckhwd"), N("punpckhdq"), N("packssdw"),
    N("punpcklqdq"), N("punpckhqdq"), N("movd"), N("movq"),
    // 70
    N("pshufw"), N("||psrlw||psraw||psllw|"), N("||psrld||psrad||pslld|"),
    N("||psrlq|psrldq|||psllq|pslldq"), N("pcmpeqb"), N("pcmpeqw"), N("pcmpeqd"), N("emms"),
    N("vmread"), N("vmwrite"), 0, 0, N("haddP"), N("hsubP"), N("movd"), N("movq"),
    // 80
    N("j%cc"), N("j%cc"), N("j%cc"), N("j%cc"), N("j%cc"), N("j%cc"), N("j%cc"), N("j%cc"),
    N("j%cc"), N("j%cc"), N("j%cc"), N("j%cc"), N("j%cc"), N("j%cc"), N("j%cc"), N("j%cc"),
    // 90
    N("set%cc"), N("set%cc"), N("set%cc"), N("set%cc"), N("set%cc"), N("set%cc"), N("set%cc"),
    N("set%cc"), N("set%cc"), N("set%cc"), N("set%cc"), N("set%cc"), N("set%cc"), N("set%cc"),
    N("set%cc"), N("set%cc"),
    // A0
    N("push"), N("pop"), N("cpuid"), N("bt"), N("shld"), N("shld"), 0, 0, N("push"), N("pop"),
    N("rsm"), N("bts"), N("shrd"), N("shrd"),
    N("fxsave|fxrstor|ldmxcsr|stmxcsr|xsave|xrstor|xsaveopt|clflush"), N("imul"),
    // B0
    N("cmpxchg"), N("cmpxchg"), N("lss"), N("btr"), N("lfs"), N("lgs"), N("movzx"), N("movzx"),
    N("popcnt"), N("ud1"), N("||||bt|bts|btr|btc"), N("btc"), N("bsf"), N("bsr"), N("movsx"),
    N("movsx"),
    // C0
    N("xadd"), N("xadd"), N("cmpPS"), N("movnti"), N("pinsrw"), N("pextrw"), N("shufP"),
    N("|cmpxchg8b||xrstors|xsavec|xsaves|vmptrld|vmptrst"), N("bswap"), N("bswap"), N("bswap"),
    N("bswap"), N("bswap"), N("bswap"), N("bswap"), N("bswap"),
    // D0
    N("addsubP"), N("psrlw"), N("psrld"), N("psrlq"), N("paddq"), N("pmullw"), N("movq"),
    N("pmovmskb"), N("psubusb"), N("psubusw"), N("pminub"), N("pand"), N("paddusb"), N("paddusw"),
    N("pmaxub"), N("pandn"),
    // E0
    N("pavgb"), N("psraw"), N("psrad"), N("pavgw"), N("pmulhuw"), N("pmulhw"), N("cvttpd2dq"),
    N("movntq"), N("psubsb"), N("psubsw"), N("pminsw"), N("por"), N("paddsb"), N("paddsw"),
    N("pmaxsw"), N("pxor"),
    // F0
    N("lddqu"), N("psllw"), N("pslld"), N("psllq"), N("pmuludq"), N("pmaddwd"), N("psadbw"),
    N("maskmovq"), N("psubb"), N("psubw"), N("psubd"), N("psubq"), N("paddb"), N("paddw"),
    N("paddd"), N("ud0"),
};
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

// Opcodes of the 0F 38 map that have a VEX form (AVX, AVX2, FMA, F16C, AES,
// VNNI, BMI and the opmask-free gathers).
constexpr TOpcodeSet kVexMap38 = RangeSet({{0x00, 0x0F},
                                           {0x13, 0x13},
                                           {0x16, 0x1A},
                                           {0x1C, 0x1E},
                                           {0x20, 0x25},
                                           {0x28, 0x2F},
                                           {0x30, 0x41},
                                           {0x45, 0x47},
                                           {0x50, 0x53},
                                           {0x58, 0x5A},
                                           {0x78, 0x79},
                                           {0x8C, 0x8C},
                                           {0x8E, 0x8E},
                                           {0x90, 0x93},
                                           {0x96, 0x9F},
                                           {0xA6, 0xAF},
                                           {0xB4, 0xBF},
                                           {0xCF, 0xCF},
                                           {0xDB, 0xDF},
                                           {0xF2, 0xF3},
                                           {0xF5, 0xF7}});

// Opcodes of the 0F 3A map that have a VEX form (with AMD's FMA4 at 48-4B,
// 5C-5F, 68-6F and 78-7F).
constexpr TOpcodeSet kVexMap3A = RangeSet({{0x00, 0x02},
                                           {0x04, 0x06},
                                           {0x08, 0x0F},
                                           {0x14, 0x19},
                                           {0x1D, 0x1D},
                                           {0x20, 0x22},
                                           {0x30, 0x33},
                                           {0x38, 0x39},
                                           {0x40, 0x42},
                                           {0x44, 0x44},
                                           {0x46, 0x46},
                                           {0x48, 0x4C},
                                           {0x5C, 0x5F},
                                           {0x60, 0x63},
                                           {0x68, 0x6F},
                                           {0x78, 0x7F},
                                           {0xCE, 0xCF},
                                           {0xDF, 0xDF},
                                           {0xF0, 0xF0}});

// AMD XOP map 8 (all with an 8-bit immediate): multiply-accumulate, vpcmov,
// vpperm, rotates by immediate and the comparisons.
constexpr TOpcodeSet kXopMap8 =
    MakeSet({0x85, 0x86, 0x87, 0x8E, 0x8F, 0x95, 0x96, 0x97, 0x9E, 0x9F, 0xA2, 0xA3, 0xA6, 0xB6,
             0xC0, 0xC1, 0xC2, 0xC3, 0xCC, 0xCD, 0xCE, 0xCF, 0xEC, 0xED, 0xEE, 0xEF});

// AMD XOP map 9: the TBM and LWP groups, vfrcz, shifts and rotates, and the
// horizontal additions and subtractions.
constexpr TOpcodeSet kXopMap9 = RangeSet({{0x01, 0x02},
                                          {0x12, 0x12},
                                          {0x80, 0x83},
                                          {0x90, 0x9B},
                                          {0xC1, 0xC3},
                                          {0xC6, 0xC7},
                                          {0xCB, 0xCB},
                                          {0xD1, 0xD3},
                                          {0xD6, 0xD7},
                                          {0xDB, 0xDB},
                                          {0xE1, 0xE3}});
} // namespace

namespace {
// 3DNow! instructions by their suffix byte (the bit set above says which exist).
constexpr std::pair<std::uint8_t, std::string_view> k3DNowNames[] = {
    {0x0C, "pi2fw"},    {0x0D, "pi2fd"},    {0x1C, "pf2iw"},    {0x1D, "pf2id"},
    {0x8A, "pfnacc"},   {0x8E, "pfpnacc"},  {0x90, "pfcmpge"},  {0x94, "pfmin"},
    {0x96, "pfrcp"},    {0x97, "pfrsqrt"},  {0x9A, "pfsub"},    {0x9E, "pfadd"},
    {0xA0, "pfcmpgt"},  {0xA4, "pfmax"},    {0xA6, "pfrcpit1"}, {0xA7, "pfrsqit1"},
    {0xAA, "pfsubr"},   {0xAE, "pfacc"},    {0xB0, "pfcmpeq"},  {0xB4, "pfmul"},
    {0xB6, "pfrcpit2"}, {0xB7, "pmulhrw"},  {0xBB, "pswapd"},   {0xBF, "pavgusb"},
};
} // namespace

namespace {
// Where each entry of the packed list starts, worked out at compile time so
// that the text listing finds a name by number at once.
struct TMnemonicIndex {
    std::array<std::uint16_t, 257> Start{}; // Start[n - 1] of entry n; Start[Count] ends the list
    unsigned Count = 0;
};
constexpr TMnemonicIndex BuildMnemonicIndex() {
    TMnemonicIndex index;
    std::size_t start = 0;
    for (std::size_t i = 0; i + 1 < kMnemonicListSize; ++i) {
        if (kMnemonicList[i] != 0) continue;
        index.Start[index.Count++] = static_cast<std::uint16_t>(start);
        start = i + 1;
    }
    index.Start[index.Count] = static_cast<std::uint16_t>(start);
    return index;
}
constexpr TMnemonicIndex kMnemonicIndex = BuildMnemonicIndex();
static_assert(kMnemonicIndex.Count <= 255, "mnemonic numbers are bytes");
} // namespace

std::string_view MnemonicEntry(unsigned number) {
    if (number == 0 || number > kMnemonicIndex.Count) return {};
    const std::size_t start = kMnemonicIndex.Start[number - 1];
    return std::string_view(kMnemonicList + start, kMnemonicIndex.Start[number] - 1 - start);
}

unsigned MnemonicCount() {
    return kMnemonicIndex.Count;
}

std::uint8_t OneByteMnemonic(std::uint8_t opcode) {
    return kOneByteNames[opcode];
}
std::uint8_t TwoByteMnemonic(std::uint8_t opcode) {
    return kTwoByteNames[opcode];
}
std::string_view ThreeDNowName(std::uint8_t suffix) {
    for (const auto& [byte, name] : k3DNowNames)
        if (byte == suffix) return name;
    return {};
}

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
const TOpcodeSet& VexMap38Set() {
    return kVexMap38;
}
const TOpcodeSet& VexMap3ASet() {
    return kVexMap3A;
}

// VEX instructions with no operand in vvvv, which must then be 1111b.
bool VexVvvvUnused(unsigned map, std::uint8_t op, std::uint8_t prefix, bool memory) {
    const bool packed = prefix == 0 || prefix == 0x66;
    switch (map) {
    case 1:
        switch (op) {
        case 0x10:
        case 0x11:
            return packed || memory; // vmovss and vmovsd merge registers through vvvv
        case 0x12:
        case 0x16:
            return !packed; // vmovsldup, vmovddup, vmovshdup
        case 0x51:
        case 0x52:
        case 0x53:
        case 0x5A:
            return packed; // the scalar forms merge through vvvv
        case 0x13:
        case 0x17:
        case 0x28:
        case 0x29:
        case 0x2B:
        case 0x2C:
        case 0x2D:
        case 0x2E:
        case 0x2F:
        case 0x44:
        case 0x50:
        case 0x5B:
        case 0x6E:
        case 0x6F:
        case 0x70:
        case 0x77:
        case 0x7E:
        case 0x7F:
        case 0x90:
        case 0x91:
        case 0x92:
        case 0x93:
        case 0x98:
        case 0x99:
        case 0xAE:
        case 0xC5:
        case 0xD6:
        case 0xD7:
        case 0xE6:
        case 0xE7:
        case 0xF0:
        case 0xF7:
            return true;
        default:
            return false;
        }
    case 2:
        return op == 0x0E || op == 0x0F || op == 0x13 || op == 0x17 || (op >= 0x18 && op <= 0x1A) ||
               (op >= 0x1C && op <= 0x1E) || (op >= 0x20 && op <= 0x25) || op == 0x2A ||
               (op >= 0x30 && op <= 0x35) || op == 0x41 || (op >= 0x58 && op <= 0x5A) || op == 0x78 ||
               op == 0x79 || op == 0xDB;
    case 3:
        return op <= 0x01 || op == 0x04 || op == 0x05 || op == 0x08 || op == 0x09 ||
               (op >= 0x14 && op <= 0x17) || op == 0x19 || op == 0x1D || op == 0x39 ||
               (op >= 0x60 && op <= 0x63) || op == 0xDF || op == 0xF0;
    default:
        return false;
    }
}

const TOpcodeSet& XopMap8Set() {
    return kXopMap8;
}
const TOpcodeSet& XopMap9Set() {
    return kXopMap9;
}

} // namespace disasm_detail

const std::array<std::uint16_t, 256>& OneByteOpcodeFlags() {
    return disasm_detail::OneByteTable();
}
const std::array<std::uint16_t, 256>& TwoByteOpcodeFlags() {
    return disasm_detail::TwoByteTable();
}

} // namespace ax
