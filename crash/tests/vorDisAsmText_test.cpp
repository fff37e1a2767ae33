// Hand-written texts of the instruction listing in both modes: mnemonic
// families, condition codes, the packed/scalar suffixes under 66/F3/F2, x87,
// 3DNow!, groups, immediates, branch targets, memory operands.
#include "../src/vorDisAsm_internal.h"
#include "crash/vorDisAsm.h"

#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <vector>

namespace ax {
namespace {

constexpr std::uintptr_t kBase32 = 0x00401000;
constexpr std::uintptr_t kBase64 = 0x00007F0000001000;

struct TResult {
    TInstruction Rec;
    TInstructionText Text;
};

TResult Decode(TCpuMode mode, std::initializer_list<std::uint8_t> code) {
    const std::vector<std::uint8_t> bytes(code);
    const std::uintptr_t base = mode == TCpuMode::Bits64 ? kBase64 : kBase32;
    const TBufferReader memory(base, bytes);
    TResult result;
    DecodeInstruction(base, result.Rec, memory, mode, nullptr, result.Text);
    return result;
}

std::string T32(std::initializer_list<std::uint8_t> code) {
    return Decode(TCpuMode::Bits32, code).Text.Text;
}
std::string T64(std::initializer_list<std::uint8_t> code) {
    return Decode(TCpuMode::Bits64, code).Text.Text;
}

TEST(DecoderTextList, PackedListLayout) {
    using namespace disasm_detail;
    EXPECT_EQ(MnemonicEntry(1), "aaa");
    EXPECT_EQ(MnemonicEntry(2), "aad");
    EXPECT_EQ(MnemonicEntry(3), "aam");
    EXPECT_EQ(MnemonicEntry(4), "aas");
    EXPECT_EQ(MnemonicEntry(5), "adc");
    EXPECT_EQ(MnemonicEntry(6), "add");
    EXPECT_EQ(MnemonicEntry(7), "addPS");
    EXPECT_EQ(MnemonicEntry(0), "");
    EXPECT_EQ(MnemonicEntry(MnemonicCount() + 1), "");
    EXPECT_LE(MnemonicCount(), 255u); // numbers are bytes
    EXPECT_EQ(MnemonicEntry(OneByteMnemonic(0x00)), "add");
    EXPECT_EQ(MnemonicEntry(OneByteMnemonic(0x80)), "add|or|adc|sbb|and|sub|xor|cmp");
    EXPECT_EQ(MnemonicEntry(OneByteMnemonic(0x70)), "j%cc");
    EXPECT_EQ(MnemonicEntry(TwoByteMnemonic(0x58)), "addPS");
    EXPECT_EQ(MnemonicEntry(TwoByteMnemonic(0x2E)), "ucomis%s");
    EXPECT_EQ(OneByteMnemonic(0xD6), 0); // undefined
    EXPECT_EQ(ThreeDNowName(0x0C), "pi2fw");
    EXPECT_EQ(ThreeDNowName(0x0D), "pi2fd");
    EXPECT_EQ(ThreeDNowName(0x1C), "pf2iw");
    EXPECT_EQ(ThreeDNowName(0x1D), "pf2id");
    EXPECT_EQ(ThreeDNowName(0x0E), "");
    // Operand forms live in the flag words' free bits.
    EXPECT_EQ(FormOf(OneByteOpcodeFlags()[0x01]), fEG);
    EXPECT_EQ(FormOf(OneByteOpcodeFlags()[0x03]), fGE);
    EXPECT_EQ(FormOf(TwoByteOpcodeFlags()[0x84]), fRel);
    for (unsigned form = 0; form < fFormCount; ++form)
        EXPECT_EQ(FormOf(FormBits(form)), form);
}

TEST(DecoderText32, ArithmeticAndMoves) {
    EXPECT_EQ(T32({0x01, 0xD8}), "add eax, ebx");
    EXPECT_EQ(T32({0x02, 0xC4}), "add al, ah");
    EXPECT_EQ(T32({0x03, 0x44, 0x24, 0x08}), "add eax, dword ptr [esp+8]");
    EXPECT_EQ(T32({0x2C, 0x7F}), "sub al, 0x7f");
    EXPECT_EQ(T32({0x35, 0x78, 0x56, 0x34, 0x12}), "xor eax, 0x12345678");
    EXPECT_EQ(T32({0x8B, 0x45, 0xF8}), "mov eax, dword ptr [ebp-8]");
    EXPECT_EQ(T32({0x89, 0x04, 0x8D, 0x00, 0x10, 0x40, 0x00}),
              "mov dword ptr [ecx*4+0x401000], eax");
    EXPECT_EQ(T32({0x66, 0x89, 0x08}), "mov word ptr [eax], cx");
    EXPECT_EQ(T32({0x8D, 0x04, 0x40}), "lea eax, [eax+eax*2]");
    EXPECT_EQ(T32({0x86, 0xE0}), "xchg al, ah");
    EXPECT_EQ(T32({0x93}), "xchg eax, ebx");
    EXPECT_EQ(T32({0xB1, 0x05}), "mov cl, 5");
    EXPECT_EQ(T32({0xBF, 0x00, 0x20, 0x40, 0x00}), "mov edi, 0x402000");
    EXPECT_EQ(T32({0x0F, 0xB6, 0x45, 0x08}), "movzx eax, byte ptr [ebp+8]");
    EXPECT_EQ(T32({0x0F, 0xBF, 0xC8}), "movsx ecx, ax");
    EXPECT_EQ(T32({0x69, 0xC0, 0x10, 0x01, 0x00, 0x00}), "imul eax, eax, 0x110");
    EXPECT_EQ(T32({0x6B, 0xC9, 0xFE}), "imul ecx, ecx, 0xfffffffe");
    EXPECT_EQ(T32({0x8C, 0xD8}), "mov eax, ds");
    EXPECT_EQ(T32({0x8E, 0x5D, 0x00}), "mov ds, word ptr [ebp]");
    EXPECT_EQ(T32({0x06}), "push es");
    EXPECT_EQ(T32({0x0F, 0xA1}), "pop fs");
    EXPECT_EQ(T32({0x0F, 0xC8}), "bswap eax");
    EXPECT_EQ(T32({0x63, 0xC8}), "arpl ax, cx");
}

TEST(DecoderText32, GroupsShiftsAndImmediates) {
    EXPECT_EQ(T32({0x83, 0xEC, 0x10}), "sub esp, 0x10");
    EXPECT_EQ(T32({0x83, 0xC4, 0xFC}), "add esp, 0xfffffffc");
    EXPECT_EQ(T32({0x81, 0x7D, 0x08, 0x00, 0x01, 0x00, 0x00}), "cmp dword ptr [ebp+8], 0x100");
    EXPECT_EQ(T32({0x80, 0x08, 0x80}), "or byte ptr [eax], 0x80");
    EXPECT_EQ(T32({0x66, 0x83, 0xC0, 0xFF}), "add ax, 0xffff");
    EXPECT_EQ(T32({0xC1, 0xE0, 0x04}), "shl eax, 4");
    EXPECT_EQ(T32({0xD1, 0xF8}), "sar eax, 1");
    EXPECT_EQ(T32({0xD3, 0xE2}), "shl edx, cl");
    EXPECT_EQ(T32({0xD0, 0x00}), "rol byte ptr [eax], 1");
    EXPECT_EQ(T32({0xF7, 0xF1}), "div ecx");
    EXPECT_EQ(T32({0xF7, 0xD8}), "neg eax");
    EXPECT_EQ(T32({0xF6, 0xC4, 0x01}), "test ah, 1");
    EXPECT_EQ(T32({0xF7, 0x00, 0x00, 0x00, 0x01, 0x00}), "test dword ptr [eax], 0x10000");
    EXPECT_EQ(T32({0xFE, 0xC0}), "inc al");
    EXPECT_EQ(T32({0xFF, 0x30}), "push dword ptr [eax]");
    EXPECT_EQ(T32({0x0F, 0xBA, 0xE0, 0x1F}), "bt eax, 0x1f");
    EXPECT_EQ(T32({0x0F, 0xA4, 0xC2, 0x04}), "shld edx, eax, 4");
    EXPECT_EQ(T32({0x0F, 0xAD, 0xC2}), "shrd edx, eax, cl");
    EXPECT_EQ(T32({0x0F, 0x00, 0xC8}), "str eax");
    EXPECT_EQ(T32({0x0F, 0x01, 0x10}), "lgdt [eax]");
    EXPECT_EQ(T32({0x0F, 0x01, 0xD0}), "xgetbv");
    EXPECT_EQ(T32({0x0F, 0xAE, 0xF8}), "sfence");
    EXPECT_EQ(T32({0x0F, 0xAE, 0x18}), "stmxcsr dword ptr [eax]");
    EXPECT_EQ(T32({0x0F, 0xC7, 0x08}), "cmpxchg8b qword ptr [eax]");
    EXPECT_EQ(T32({0x0F, 0xC7, 0xF0}), "rdrand eax");
    EXPECT_EQ(T32({0x0F, 0x18, 0x08}), "prefetcht0 byte ptr [eax]");
    EXPECT_EQ(T32({0x6A, 0xFF}), "push 0xffffffff");
    EXPECT_EQ(T32({0x68, 0x00, 0x30, 0x40, 0x00}), "push 0x403000");
    EXPECT_EQ(T32({0xC2, 0x08, 0x00}), "ret 8");
    EXPECT_EQ(T32({0xC8, 0x10, 0x00, 0x01}), "enter 0x10, 1");
    EXPECT_EQ(T32({0xCD, 0x80}), "int 0x80");
    EXPECT_EQ(T32({0xD4, 0x0A}), "aam 0xa");
    EXPECT_EQ(T32({0xE4, 0x60}), "in al, 0x60");
    EXPECT_EQ(T32({0x66, 0xE7, 0x40}), "out 0x40, ax");
    EXPECT_EQ(T32({0xEE}), "out dx, al");
    EXPECT_EQ(T32({0xED}), "in eax, dx");
}

TEST(DecoderText32, ImmediateAndAddressFieldsForTheListing) {
    const TResult push = Decode(TCpuMode::Bits32, {0x68, 0x00, 0x30, 0x40, 0x00});
    EXPECT_TRUE(push.Text.HasImmediate);
    EXPECT_EQ(push.Text.Immediate, 0x403000u);
    EXPECT_EQ(push.Text.MemoryAddress, 0u);
    const TResult store = Decode(TCpuMode::Bits32, {0xC6, 0x05, 0x34, 0x12, 0x40, 0x00, 0xFF});
    EXPECT_EQ(store.Text.Text, "mov byte ptr [0x401234], 0xff");
    EXPECT_EQ(store.Text.MemoryAddress, 0x401234u);
    EXPECT_EQ(store.Text.Immediate, 0xFFu);
    const TResult moffs = Decode(TCpuMode::Bits32, {0xA1, 0x00, 0x10, 0x40, 0x00});
    EXPECT_EQ(moffs.Text.Text, "mov eax, dword ptr [0x401000]");
    EXPECT_EQ(moffs.Text.MemoryAddress, 0x401000u);
    EXPECT_FALSE(moffs.Text.HasImmediate);
    // FS-relative: the thread block's offset, not an address of its own.
    const TResult teb = Decode(TCpuMode::Bits32, {0x64, 0x8B, 0x0D, 0x30, 0x00, 0x00, 0x00});
    EXPECT_EQ(teb.Text.Text, "mov ecx, dword ptr fs:[0x30]");
    EXPECT_EQ(teb.Text.MemoryAddress, 0u);
    const TResult based = Decode(TCpuMode::Bits32, {0x8B, 0x40, 0x10});
    EXPECT_EQ(based.Text.MemoryAddress, 0u);
    EXPECT_FALSE(based.Text.HasImmediate);
}

TEST(DecoderText32, MemoryOperandForms) {
    EXPECT_EQ(T32({0x8B, 0x04, 0x24}), "mov eax, dword ptr [esp]");
    EXPECT_EQ(T32({0x8B, 0x44, 0x9E, 0x80}), "mov eax, dword ptr [esi+ebx*4-0x80]");
    EXPECT_EQ(T32({0x8B, 0x84, 0x01, 0x00, 0x01, 0x00, 0x00}),
              "mov eax, dword ptr [ecx+eax+0x100]");
    EXPECT_EQ(T32({0x8B, 0x04, 0xC5, 0x00, 0x00, 0x00, 0x00}), "mov eax, dword ptr [eax*8]");
    EXPECT_EQ(T32({0x8B, 0x45, 0x00}), "mov eax, dword ptr [ebp]");
    EXPECT_EQ(T32({0x26, 0x8B, 0x06}), "mov eax, dword ptr es:[esi]");
    EXPECT_EQ(T32({0x2E, 0xFF, 0x24, 0x85, 0x00, 0x20, 0x40, 0x00}),
              "jmp dword ptr cs:[eax*4+0x402000]");
    // 16-bit addressing
    EXPECT_EQ(T32({0x67, 0x8B, 0x00}), "mov eax, dword ptr [bx+si]");
    EXPECT_EQ(T32({0x67, 0x8B, 0x47, 0x02}), "mov eax, dword ptr [bx+2]");
    EXPECT_EQ(T32({0x67, 0x8B, 0x42, 0xFE}), "mov eax, dword ptr [bp+si-2]");
    EXPECT_EQ(T32({0x67, 0x8B, 0x06, 0x34, 0x12}), "mov eax, dword ptr [0x1234]");
    EXPECT_EQ(T32({0x67, 0xA1, 0x34, 0x12}), "mov eax, dword ptr [0x1234]");
    EXPECT_EQ(T32({0x66, 0xA3, 0x00, 0x10, 0x40, 0x00}), "mov word ptr [0x401000], ax");
}

TEST(DecoderText32, BranchesShowAbsoluteTargets) {
    EXPECT_EQ(T32({0xE8, 0xFB, 0xFF, 0xFF, 0xFF}), "call 0x401000");
    // A call to the next instruction is no call for the record, but the text still shows it.
    const TResult next = Decode(TCpuMode::Bits32, {0xE8, 0x00, 0x00, 0x00, 0x00});
    EXPECT_FALSE(next.Rec.IsCall);
    EXPECT_EQ(next.Text.Text, "call 0x401005");
    EXPECT_EQ(T32({0xEB, 0xFE}), "jmp 0x401000");
    EXPECT_EQ(T32({0xE9, 0x00, 0x01, 0x00, 0x00}), "jmp 0x401105");
    EXPECT_EQ(T32({0xE3, 0x02}), "jecxz 0x401004");
    EXPECT_EQ(T32({0x67, 0xE3, 0x02}), "jcxz 0x401005");
    EXPECT_EQ(T32({0xE2, 0xFE}), "loop 0x401000");
    EXPECT_EQ(T32({0x9A, 0x00, 0x10, 0x40, 0x00, 0x08, 0x00}), "call 8:0x401000");
    EXPECT_EQ(T32({0xFF, 0x5D, 0x00}), "call fword ptr [ebp]");
    EXPECT_EQ(T32({0xFF, 0xD0}), "call eax");
    EXPECT_EQ(T32({0xFF, 0x24, 0x85, 0x00, 0x20, 0x40, 0x00}), "jmp dword ptr [eax*4+0x402000]");
    EXPECT_EQ(T32({0xC3}), "ret");
}

TEST(DecoderText32, ConditionCodes) {
    // "o|no|b|nb|z|nz|be|a|s|ns|p|np|l|ge|le|g" by the opcode's low 4 bits.
    static const char* const kNames[16] = {"o", "no", "b", "nb", "z", "nz", "be", "a",
                                           "s", "ns", "p", "np", "l", "ge", "le", "g"};
    for (std::uint8_t cc = 0; cc < 16; ++cc) {
        const std::uint8_t jcc = static_cast<std::uint8_t>(0x70 + cc);
        EXPECT_EQ(T32({jcc, 0x00}), std::string("j") + kNames[cc] + " 0x401002");
        const std::uint8_t set = static_cast<std::uint8_t>(0x90 + cc);
        EXPECT_EQ(T32({0x0F, set, 0xC0}), std::string("set") + kNames[cc] + " al");
        const std::uint8_t cmov = static_cast<std::uint8_t>(0x40 + cc);
        EXPECT_EQ(T32({0x0F, cmov, 0xC1}), std::string("cmov") + kNames[cc] + " eax, ecx");
    }
    EXPECT_EQ(T32({0x0F, 0x85, 0x10, 0x00, 0x00, 0x00}), "jnz 0x401016");
}

TEST(DecoderText32, PrefixesAndStringInstructions) {
    EXPECT_EQ(T32({0xF3, 0xA5}), "rep movsd");
    EXPECT_EQ(T32({0xF3, 0xA4}), "rep movsb");
    EXPECT_EQ(T32({0x66, 0xAB}), "stosw");
    EXPECT_EQ(T32({0xF2, 0xAE}), "repne scasb");
    EXPECT_EQ(T32({0xF3, 0xA6}), "rep cmpsb");
    EXPECT_EQ(T32({0xAD}), "lodsd");
    EXPECT_EQ(T32({0x6C}), "insb");
    EXPECT_EQ(T32({0xF0, 0x0F, 0xB1, 0x0A}), "lock cmpxchg dword ptr [edx], ecx");
    EXPECT_EQ(T32({0xF0, 0xFF, 0x00}), "lock inc dword ptr [eax]");
    EXPECT_EQ(T32({0x60}), "pushad");
    EXPECT_EQ(T32({0x66, 0x61}), "popa");
    EXPECT_EQ(T32({0x9C}), "pushfd");
    EXPECT_EQ(T32({0x98}), "cwde");
    EXPECT_EQ(T32({0x66, 0x98}), "cbw");
    EXPECT_EQ(T32({0x99}), "cdq");
    EXPECT_EQ(T32({0x66, 0x99}), "cwd");
    EXPECT_EQ(T32({0xCF}), "iretd");
    EXPECT_EQ(T32({0xF3, 0x90}), "pause");
    EXPECT_EQ(T32({0x90}), "nop");
    EXPECT_EQ(T32({0xD7}), "xlatb");
}

TEST(DecoderText32, X87MemoryAndRegisterForms) {
    EXPECT_EQ(T32({0xD9, 0x45, 0x08}), "fld dword ptr [ebp+8]");
    EXPECT_EQ(T32({0xDD, 0x5C, 0x24, 0x04}), "fstp qword ptr [esp+4]");
    EXPECT_EQ(T32({0xDB, 0x6D, 0x00}), "fld tbyte ptr [ebp]");
    EXPECT_EQ(T32({0xDF, 0x28}), "fild qword ptr [eax]");
    EXPECT_EQ(T32({0xDE, 0x00}), "fiadd word ptr [eax]");
    EXPECT_EQ(T32({0xDA, 0x08}), "fimul dword ptr [eax]");
    EXPECT_EQ(T32({0xD9, 0x7D, 0xFE}), "fnstcw word ptr [ebp-2]");
    EXPECT_EQ(T32({0xD9, 0x20}), "fldenv [eax]");
    EXPECT_EQ(T32({0xDD, 0x30}), "fnsave [eax]");
    EXPECT_EQ(T32({0xD8, 0xC9}), "fmul st(0), st(1)");
    EXPECT_EQ(T32({0xD8, 0xD1}), "fcom st(1)");
    EXPECT_EQ(T32({0xDC, 0xE9}), "fsub st(1), st(0)");
    EXPECT_EQ(T32({0xDC, 0xE1}), "fsubr st(1), st(0)");
    EXPECT_EQ(T32({0xDE, 0xC1}), "faddp st(1), st(0)");
    EXPECT_EQ(T32({0xDE, 0xD9}), "fcompp");
    EXPECT_EQ(T32({0xD9, 0xC9}), "fxch st(1)");
    EXPECT_EQ(T32({0xD9, 0xC0}), "fld st(0)");
    EXPECT_EQ(T32({0xDD, 0xD8}), "fstp st(0)");
    EXPECT_EQ(T32({0xDA, 0xC2}), "fcmovb st(0), st(2)");
    EXPECT_EQ(T32({0xDB, 0xE9}), "fucomi st(0), st(1)");
    EXPECT_EQ(T32({0xDF, 0xF1}), "fcomip st(0), st(1)");
    EXPECT_EQ(T32({0xDA, 0xE9}), "fucompp");
    EXPECT_EQ(T32({0xDF, 0xE0}), "fnstsw ax");
    EXPECT_EQ(T32({0xDB, 0xE3}), "fninit");
    EXPECT_EQ(T32({0xD9, 0xE8}), "fld1");
    EXPECT_EQ(T32({0xD9, 0xEE}), "fldz");
    EXPECT_EQ(T32({0xD9, 0xE0}), "fchs");
    EXPECT_EQ(T32({0xD9, 0xFA}), "fsqrt");
    EXPECT_EQ(T32({0xD9, 0xFF}), "fcos");
    EXPECT_EQ(T32({0xD9, 0xD0}), "fnop");
    EXPECT_EQ(T32({0x9B}), "wait");
}

TEST(DecoderText32, SuffixTagsUnderMandatoryPrefixes) {
    EXPECT_EQ(T32({0x0F, 0x58, 0xC1}), "addps xmm0, xmm1");
    EXPECT_EQ(T32({0x66, 0x0F, 0x58, 0xC1}), "addpd xmm0, xmm1");
    EXPECT_EQ(T32({0xF3, 0x0F, 0x58, 0x45, 0x00}), "addss xmm0, dword ptr [ebp]");
    EXPECT_EQ(T32({0xF2, 0x0F, 0x59, 0x00}), "mulsd xmm0, qword ptr [eax]");
    EXPECT_EQ(T32({0x0F, 0x5E, 0x00}), "divps xmm0, oword ptr [eax]");
    EXPECT_EQ(T32({0x0F, 0x54, 0xC1}), "andps xmm0, xmm1");
    EXPECT_EQ(T32({0x66, 0x0F, 0x57, 0xC0}), "xorpd xmm0, xmm0");
    EXPECT_EQ(T32({0x0F, 0x28, 0xC1}), "movaps xmm0, xmm1");
    EXPECT_EQ(T32({0x66, 0x0F, 0x29, 0x01}), "movapd oword ptr [ecx], xmm0");
    EXPECT_EQ(T32({0x0F, 0x10, 0x00}), "movups xmm0, oword ptr [eax]");
    EXPECT_EQ(T32({0xF2, 0x0F, 0x10, 0xC1}), "movsd xmm0, xmm1");
    EXPECT_EQ(T32({0xF3, 0x0F, 0x11, 0x01}), "movss dword ptr [ecx], xmm0");
    EXPECT_EQ(T32({0x0F, 0x2E, 0xC1}), "ucomiss xmm0, xmm1");
    EXPECT_EQ(T32({0x66, 0x0F, 0x2F, 0x00}), "comisd xmm0, qword ptr [eax]");
    EXPECT_EQ(T32({0x0F, 0x2A, 0xC1}), "cvtpi2ps xmm0, mm1");
    EXPECT_EQ(T32({0x66, 0x0F, 0x2A, 0xC1}), "cvtpi2pd xmm0, mm1");
    EXPECT_EQ(T32({0xF3, 0x0F, 0x2A, 0xC0}), "cvtsi2ss xmm0, eax");
    EXPECT_EQ(T32({0xF2, 0x0F, 0x2A, 0x00}), "cvtsi2sd xmm0, dword ptr [eax]");
    EXPECT_EQ(T32({0xF3, 0x0F, 0x2D, 0xC0}), "cvtss2si eax, xmm0");
    EXPECT_EQ(T32({0xF2, 0x0F, 0x2C, 0xC0}), "cvttsd2si eax, xmm0");
    EXPECT_EQ(T32({0x0F, 0x2D, 0xC1}), "cvtps2pi mm0, xmm1");
    EXPECT_EQ(T32({0x0F, 0x5A, 0xC1}), "cvtps2pd xmm0, xmm1");
    EXPECT_EQ(T32({0xF3, 0x0F, 0x5A, 0xC1}), "cvtss2sd xmm0, xmm1");
    EXPECT_EQ(T32({0x66, 0x0F, 0x5B, 0xC1}), "cvtps2dq xmm0, xmm1");
    EXPECT_EQ(T32({0xF3, 0x0F, 0xE6, 0xC1}), "cvtdq2pd xmm0, xmm1");
    EXPECT_EQ(T32({0x0F, 0xC2, 0xC1, 0x01}), "cmpps xmm0, xmm1, 1");
    EXPECT_EQ(T32({0xF2, 0x0F, 0xC2, 0xC1, 0x02}), "cmpsd xmm0, xmm1, 2");
    EXPECT_EQ(T32({0x66, 0x0F, 0xC6, 0xC1, 0x1B}), "shufpd xmm0, xmm1, 0x1b");
    EXPECT_EQ(T32({0x0F, 0x50, 0xC1}), "movmskps eax, xmm1");
    EXPECT_EQ(T32({0x0F, 0x12, 0xC1}), "movhlps xmm0, xmm1");
    EXPECT_EQ(T32({0x0F, 0x12, 0x00}), "movlps xmm0, qword ptr [eax]");
    EXPECT_EQ(T32({0xF2, 0x0F, 0x12, 0xC1}), "movddup xmm0, xmm1");
    EXPECT_EQ(T32({0x0F, 0x16, 0xC1}), "movlhps xmm0, xmm1");
    EXPECT_EQ(T32({0x66, 0x0F, 0x17, 0x00}), "movhpd qword ptr [eax], xmm0");
    EXPECT_EQ(T32({0xF2, 0x0F, 0x7C, 0xC1}), "haddps xmm0, xmm1");
    EXPECT_EQ(T32({0x66, 0x0F, 0xD0, 0xC1}), "addsubpd xmm0, xmm1");
}

TEST(DecoderText32, MmxAndSseIntegerForms) {
    EXPECT_EQ(T32({0x0F, 0xEF, 0xC0}), "pxor mm0, mm0");
    EXPECT_EQ(T32({0x66, 0x0F, 0xEF, 0xC0}), "pxor xmm0, xmm0");
    EXPECT_EQ(T32({0x0F, 0xFE, 0x00}), "paddd mm0, qword ptr [eax]");
    EXPECT_EQ(T32({0x66, 0x0F, 0xFE, 0x00}), "paddd xmm0, oword ptr [eax]");
    EXPECT_EQ(T32({0x0F, 0x6F, 0xC1}), "movq mm0, mm1");
    EXPECT_EQ(T32({0x66, 0x0F, 0x6F, 0x06}), "movdqa xmm0, oword ptr [esi]");
    EXPECT_EQ(T32({0xF3, 0x0F, 0x6F, 0x06}), "movdqu xmm0, oword ptr [esi]");
    EXPECT_EQ(T32({0xF3, 0x0F, 0x7F, 0x07}), "movdqu oword ptr [edi], xmm0");
    EXPECT_EQ(T32({0x0F, 0x6E, 0xC0}), "movd mm0, eax");
    EXPECT_EQ(T32({0x66, 0x0F, 0x7E, 0xC0}), "movd eax, xmm0");
    EXPECT_EQ(T32({0xF3, 0x0F, 0x7E, 0xC1}), "movq xmm0, xmm1");
    EXPECT_EQ(T32({0x66, 0x0F, 0xD6, 0x00}), "movq qword ptr [eax], xmm0");
    EXPECT_EQ(T32({0x66, 0x0F, 0x70, 0xC1, 0x1B}), "pshufd xmm0, xmm1, 0x1b");
    EXPECT_EQ(T32({0x0F, 0x70, 0xC1, 0x1B}), "pshufw mm0, mm1, 0x1b");
    EXPECT_EQ(T32({0x0F, 0x71, 0xD0, 0x02}), "psrlw mm0, 2");
    EXPECT_EQ(T32({0x66, 0x0F, 0x73, 0xD8, 0x04}), "psrldq xmm0, 4");
    EXPECT_EQ(T32({0x66, 0x0F, 0x73, 0xF8, 0x04}), "pslldq xmm0, 4");
    EXPECT_EQ(T32({0x66, 0x0F, 0xD7, 0xC1}), "pmovmskb eax, xmm1");
    EXPECT_EQ(T32({0x0F, 0xC5, 0xC1, 0x03}), "pextrw eax, mm1, 3");
    EXPECT_EQ(T32({0x0F, 0xC4, 0xC1, 0x03}), "pinsrw mm0, ecx, 3");
    EXPECT_EQ(T32({0x0F, 0xE7, 0x00}), "movntq qword ptr [eax], mm0");
    EXPECT_EQ(T32({0x66, 0x0F, 0xE7, 0x00}), "movntdq oword ptr [eax], xmm0");
    EXPECT_EQ(T32({0x0F, 0x77}), "emms");
    // three-byte maps
    EXPECT_EQ(T32({0x0F, 0x38, 0x00, 0xC1}), "pshufb mm0, mm1");
    EXPECT_EQ(T32({0x66, 0x0F, 0x38, 0x00, 0xC1}), "pshufb xmm0, xmm1");
    EXPECT_EQ(T32({0x66, 0x0F, 0x3A, 0x0F, 0xC1, 0x08}), "palignr xmm0, xmm1, 8");
    EXPECT_EQ(T32({0x66, 0x0F, 0x3A, 0x63, 0xC1, 0x0C}), "pcmpistri xmm0, xmm1, 0xc");
    EXPECT_EQ(T32({0x66, 0x0F, 0x3A, 0x16, 0xC0, 0x01}), "pextrd eax, xmm0, 1");
    EXPECT_EQ(T32({0xF2, 0x0F, 0x38, 0xF1, 0xC1}), "crc32 eax, ecx");
}

TEST(DecoderText32, ThreeDNowByItsSuffix) {
    EXPECT_EQ(T32({0x0F, 0x0F, 0xC1, 0x9E}), "pfadd mm0, mm1");
    EXPECT_EQ(T32({0x0F, 0x0F, 0x00, 0xB4}), "pfmul mm0, qword ptr [eax]");
    EXPECT_EQ(T32({0x0F, 0x0F, 0xC1, 0x0D}), "pi2fd mm0, mm1");
    EXPECT_EQ(T32({0x0F, 0x0F, 0xC1, 0x1C}), "pf2iw mm0, mm1");
    EXPECT_EQ(T32({0x0F, 0x0F, 0xCA, 0xBF}), "pavgusb mm1, mm2");
    EXPECT_EQ(T32({0x0F, 0x0E}), "femms");
    // An undefined suffix is no instruction.
    EXPECT_EQ(T32({0x0F, 0x0F, 0xC1, 0x0E}), "db 0xf, 0xf, 0xc1, 0xe");
}

TEST(DecoderText32, SystemForms) {
    EXPECT_EQ(T32({0x0F, 0x20, 0xC0}), "mov eax, cr0");
    EXPECT_EQ(T32({0x0F, 0x22, 0xD8}), "mov cr3, eax");
    EXPECT_EQ(T32({0x0F, 0x23, 0xF8}), "mov dr7, eax");
    EXPECT_EQ(T32({0x0F, 0x21, 0xC1}), "mov ecx, dr0");
    EXPECT_EQ(T32({0x0F, 0xA2}), "cpuid");
    EXPECT_EQ(T32({0x0F, 0x31}), "rdtsc");
    EXPECT_EQ(T32({0x0F, 0x0B}), "ud2");
    EXPECT_EQ(T32({0xF4}), "hlt");
    EXPECT_EQ(T32({0xCC}), "int3");
}

TEST(DecoderText32, BytesThatDoNotDecode) {
    EXPECT_EQ(T32({0xD6}), "db 0xd6");
    EXPECT_EQ(T32({0x8D, 0xC0}), "db 0x8d, 0xc0");
    EXPECT_EQ(T32({0x0F}), "db 0xf");
    // A slot that cannot be read makes the indirect call invalid.
    EXPECT_EQ(T32({0xFF, 0x15, 0x00, 0x20, 0x40, 0x00}), "db 0xff, 0x15, 0, 0x20, 0x40, 0");
    const TResult invalid = Decode(TCpuMode::Bits32, {0xD6});
    EXPECT_FALSE(invalid.Text.HasImmediate);
    EXPECT_EQ(invalid.Text.MemoryAddress, 0u);
}

TEST(DecoderText64, RegistersAndOperandSizes) {
    EXPECT_EQ(T64({0x55}), "push rbp");
    EXPECT_EQ(T64({0x41, 0x57}), "push r15");
    EXPECT_EQ(T64({0x66, 0x50}), "push ax");
    EXPECT_EQ(T64({0x48, 0x89, 0xE5}), "mov rbp, rsp");
    EXPECT_EQ(T64({0x45, 0x31, 0xD2}), "xor r10d, r10d");
    EXPECT_EQ(T64({0x66, 0x41, 0x89, 0xC9}), "mov r9w, cx");
    EXPECT_EQ(T64({0x40, 0x88, 0xF7}), "mov dil, sil");
    EXPECT_EQ(T64({0x44, 0x88, 0xC0}), "mov al, r8b");
    EXPECT_EQ(T64({0x88, 0xE0}), "mov al, ah");
    EXPECT_EQ(T64({0x40, 0x88, 0xE0}), "mov al, spl");
    EXPECT_EQ(T64({0x48, 0xB8, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}),
              "mov rax, 0x1122334455667788");
    EXPECT_EQ(T64({0x49, 0xC7, 0xC0, 0xFF, 0xFF, 0xFF, 0xFF}), "mov r8, 0xffffffffffffffff");
    EXPECT_EQ(T64({0x48, 0x83, 0xEC, 0x08}), "sub rsp, 8");
    EXPECT_EQ(T64({0x48, 0x63, 0xC7}), "movsxd rax, edi");
    EXPECT_EQ(T64({0x48, 0x98}), "cdqe");
    EXPECT_EQ(T64({0x48, 0x99}), "cqo");
    EXPECT_EQ(T64({0x9C}), "pushfq");
    EXPECT_EQ(T64({0x48, 0xCF}), "iretq");
    EXPECT_EQ(T64({0x48, 0xA5}), "movsq");
    EXPECT_EQ(T64({0xF3, 0x48, 0xAB}), "rep stosq");
    EXPECT_EQ(T64({0x41, 0x0F, 0xC9}), "bswap r9d");
    EXPECT_EQ(T64({0x49, 0x0F, 0xC9}), "bswap r9");
    EXPECT_EQ(T64({0x41, 0x90}), "xchg eax, r8d");
    EXPECT_EQ(T64({0xF3, 0x90}), "pause");
    EXPECT_EQ(T64({0x4C, 0x0F, 0xAF, 0xC1}), "imul r8, rcx");
    EXPECT_EQ(T64({0xF3, 0x48, 0x0F, 0xB8, 0xC0}), "popcnt rax, rax");
    EXPECT_EQ(T64({0xF3, 0x0F, 0xBC, 0xC0}), "tzcnt eax, eax");
    EXPECT_EQ(T64({0x66, 0x48, 0x0F, 0x6E, 0xC0}), "movq xmm0, rax");
    EXPECT_EQ(T64({0x44, 0x0F, 0x28, 0xC1}), "movaps xmm8, xmm1");
    EXPECT_EQ(T64({0xF2, 0x48, 0x0F, 0x2C, 0xC0}), "cvttsd2si rax, xmm0");
    EXPECT_EQ(T64({0x41, 0x0F, 0x20, 0xC0}), "mov r8, cr0");
}

TEST(DecoderText64, MemoryOperandsAndRipRelative) {
    const TResult load = Decode(TCpuMode::Bits64, {0x48, 0x8B, 0x05, 0x10, 0x00, 0x00, 0x00});
    EXPECT_EQ(load.Text.Text, "mov rax, qword ptr [rip+0x10]");
    EXPECT_EQ(load.Text.MemoryAddress, kBase64 + 7 + 0x10);
    const TResult lea = Decode(TCpuMode::Bits64, {0x4C, 0x8D, 0x3D, 0xF9, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(lea.Text.Text, "lea r15, [rip-7]");
    EXPECT_EQ(lea.Text.MemoryAddress, kBase64);
    EXPECT_EQ(T64({0x67, 0x8B, 0x05, 0x10, 0x00, 0x00, 0x00}), "mov eax, dword ptr [eip+0x10]");
    EXPECT_EQ(T64({0x42, 0x8B, 0x04, 0x8B}), "mov eax, dword ptr [rbx+r9*4]");
    EXPECT_EQ(T64({0x41, 0x8B, 0x44, 0x24, 0x08}), "mov eax, dword ptr [r12+8]");
    EXPECT_EQ(T64({0x41, 0x8B, 0x45, 0x00}), "mov eax, dword ptr [r13]");
    EXPECT_EQ(T64({0x67, 0x8B, 0x00}), "mov eax, dword ptr [eax]");
    const TResult fixed = Decode(TCpuMode::Bits64, {0x8B, 0x04, 0x25, 0x00, 0x10, 0x00, 0x00});
    EXPECT_EQ(fixed.Text.Text, "mov eax, dword ptr [0x1000]");
    EXPECT_EQ(fixed.Text.MemoryAddress, 0x1000u);
    EXPECT_EQ(T64({0x64, 0x48, 0x8B, 0x04, 0x25, 0x28, 0x00, 0x00, 0x00}),
              "mov rax, qword ptr fs:[0x28]");
    EXPECT_EQ(T64({0x48, 0xA1, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}),
              "mov rax, qword ptr [0x1122334455667788]");
    EXPECT_EQ(T64({0x0F, 0x1F, 0x44, 0x00, 0x00}), "nop dword ptr [rax+rax]");
    EXPECT_EQ(T64({0x66, 0x2E, 0x0F, 0x1F, 0x84, 0x00, 0x00, 0x00, 0x00, 0x00}),
              "nop word ptr cs:[rax+rax]");
    EXPECT_EQ(T64({0x48, 0x0F, 0xC7, 0x0E}), "cmpxchg16b oword ptr [rsi]");
    EXPECT_EQ(T64({0x48, 0x0F, 0xAE, 0x00}), "fxsave64 [rax]");
}

TEST(DecoderText64, BranchesAndTheirPrefixes) {
    EXPECT_EQ(T64({0xE8, 0x00, 0x00, 0x00, 0x00}), "call 0x7f0000001005");
    EXPECT_EQ(T64({0xE9, 0xFB, 0xFF, 0xFF, 0xFF}), "jmp 0x7f0000001000");
    EXPECT_EQ(T64({0xE3, 0x00}), "jrcxz 0x7f0000001002");
    EXPECT_EQ(T64({0x67, 0xE3, 0x00}), "jecxz 0x7f0000001003");
    EXPECT_EQ(T64({0xFF, 0xD0}), "call rax");
    EXPECT_EQ(T64({0x41, 0xFF, 0xE3}), "jmp r11");
    EXPECT_EQ(T64({0x3E, 0xFF, 0xE0}), "notrack jmp rax");
    EXPECT_EQ(T64({0xF2, 0xC3}), "bnd ret");
    EXPECT_EQ(T64({0xF2, 0xFF, 0xE0}), "bnd jmp rax");
    EXPECT_EQ(T64({0xFF, 0x74, 0x24, 0x08}), "push qword ptr [rsp+8]");
    EXPECT_EQ(T64({0x0F, 0x05}), "syscall");
    EXPECT_EQ(T64({0x0F, 0x01, 0xF8}), "swapgs");
    EXPECT_EQ(T64({0xF3, 0x0F, 0x1E, 0xFA}), "endbr64");
    EXPECT_EQ(T64({0xF3, 0x0F, 0x1E, 0xFB}), "endbr32");
    // Opcodes x86-64 removed do not decode.
    EXPECT_EQ(T64({0x06}), "db 6");
    EXPECT_EQ(T64({0xD4, 0x0A}), "db 0xd4");
}

TEST(DecoderText64, VexAndEvexForms) {
    EXPECT_EQ(T64({0xC5, 0xF9, 0xEF, 0xC0}), "vpxor xmm0, xmm0, xmm0");
    EXPECT_EQ(T64({0xC5, 0xFD, 0x74, 0x0F}), "vpcmpeqb ymm1, ymm0, yword ptr [rdi]");
    EXPECT_EQ(T64({0xC5, 0xFE, 0x6F, 0x06}), "vmovdqu ymm0, yword ptr [rsi]");
    EXPECT_EQ(T64({0xC5, 0xFD, 0xD7, 0xC1}), "vpmovmskb eax, ymm1");
    EXPECT_EQ(T64({0xC4, 0xE2, 0x7D, 0x00, 0xC1}), "vpshufb ymm0, ymm0, ymm1");
    EXPECT_EQ(T64({0xC4, 0xE3, 0x79, 0x63, 0xC1, 0x0C}), "vpcmpistri xmm0, xmm1, 0xc");
    EXPECT_EQ(T64({0xC5, 0xF8, 0x77}), "vzeroupper");
    EXPECT_EQ(T64({0xC5, 0xFC, 0x77}), "vzeroall");
    EXPECT_EQ(T64({0xC5, 0xFB, 0x58, 0xC1}), "vaddsd xmm0, xmm0, xmm1");
    EXPECT_EQ(T64({0xC4, 0xE2, 0x78, 0xF2, 0xC1}), "andn eax, eax, ecx");
    EXPECT_EQ(T64({0xC4, 0xE2, 0x70, 0xF7, 0xC2}), "bextr eax, edx, ecx");
    EXPECT_EQ(T64({0xC4, 0xE2, 0x78, 0xF3, 0xC9}), "blsr eax, ecx");
    EXPECT_EQ(T64({0x62, 0xF1, 0x7D, 0x48, 0x74, 0x07}), "vpcmpeqb zmm0, zmm0, zword ptr [rdi]");
    EXPECT_EQ(T64({0xC5, 0xF8, 0x93, 0xC0}), "kmovw eax, k0");
    EXPECT_EQ(T64({0xC4, 0xE1, 0xFB, 0x93, 0xC1}), "kmovq rax, k1");
    EXPECT_EQ(T64({0xC4, 0xE1, 0xF9, 0x98, 0xC1}), "kortestd k0, k1");
    // A valid encoding without a name in the tables is named by map and opcode.
    EXPECT_EQ(T64({0x62, 0xF5, 0x7C, 0x08, 0x24, 0xC1}), "evex.map5.24 xmm0, xmm0, xmm1");
}

TEST(DecoderText64, BitOffsetsAreUnsignedBytes) {
    // 0F BA /4-/7 take an 8-bit bit offset: 0xff is 255, not -1 sign-extended.
    EXPECT_EQ(T64({0x0F, 0xBA, 0xE0, 0xFF}), "bt eax, 0xff");
    EXPECT_EQ(T32({0x0F, 0xBA, 0x28, 0x80}), "bts dword ptr [eax], 0x80");
    EXPECT_EQ(T64({0x48, 0x0F, 0xBA, 0xF1, 0x3F}), "btr rcx, 0x3f");
    // The arithmetic group sign-extends its byte (unchanged).
    EXPECT_EQ(T32({0x83, 0xC0, 0xFF}), "add eax, 0xffffffff");
}

TEST(DecoderText64, BmiFormsOnGeneralRegisters) {
    // F5 and F6 of the VEX 0F 38 map are not the legacy wruss and wrss.
    EXPECT_EQ(T64({0xC4, 0xE2, 0x6B, 0xF5, 0xC1}), "pdep eax, edx, ecx");
    EXPECT_EQ(T64({0xC4, 0xE2, 0x6A, 0xF5, 0xC1}), "pext eax, edx, ecx");
    EXPECT_EQ(T64({0xC4, 0xE2, 0x68, 0xF5, 0xC1}), "bzhi eax, ecx, edx");
    EXPECT_EQ(T64({0xC4, 0xE2, 0xEB, 0xF6, 0x07}), "mulx rax, rdx, qword ptr [rdi]");
}

TEST(DecoderText64, VexOperandsFollowTheirVvvvUse) {
    EXPECT_EQ(T64({0xC5, 0xF0, 0x12, 0x07}), "vmovlps xmm0, xmm1, qword ptr [rdi]");
    EXPECT_EQ(T64({0xC5, 0xF0, 0x12, 0xC2}), "vmovhlps xmm0, xmm1, xmm2");
    EXPECT_EQ(T64({0xC5, 0xFB, 0x12, 0xC1}), "vmovddup xmm0, xmm1");
    EXPECT_EQ(T64({0xC4, 0xE2, 0x79, 0x0E, 0xC1}), "vtestps xmm0, xmm1");
    EXPECT_EQ(T64({0xC5, 0xF8, 0xAE, 0x17}), "vldmxcsr dword ptr [rdi]");
}

TEST(DecoderText32, VexAndXop) {
    EXPECT_EQ(T32({0xC5, 0xF9, 0x6F, 0xC1}), "vmovdqa xmm0, xmm1");
    EXPECT_EQ(T32({0xC5, 0xF4, 0x58, 0x44, 0x24, 0x20}), "vaddps ymm0, ymm1, yword ptr [esp+0x20]");
    EXPECT_EQ(T32({0xC4, 0xE2, 0x78, 0xF2, 0xC1}), "andn eax, eax, ecx");
    EXPECT_EQ(T32({0xC5, 0x45, 0x08}), "lds eax, [ebp+8]");
    // XOP: operands in the order the vendor's manual gives them.
    EXPECT_EQ(T32({0x8F, 0xE8, 0x78, 0xC0, 0xC1, 0x05}), "vprotb xmm0, xmm1, 5");
    EXPECT_EQ(T32({0x8F, 0xE8, 0x70, 0xCC, 0xC2, 0x03}), "vpcomb xmm0, xmm1, xmm2, 3");
    EXPECT_EQ(T32({0x8F, 0xE8, 0x70, 0xA2, 0xC2, 0x30}), "vpcmov xmm0, xmm1, xmm2, xmm3");
    EXPECT_EQ(T32({0x8F, 0xE8, 0xF0, 0xA2, 0xC2, 0x30}), "vpcmov xmm0, xmm1, xmm3, xmm2");
    EXPECT_EQ(T32({0x8F, 0xE9, 0x70, 0x90, 0xC2}), "vprotb xmm0, xmm2, xmm1");
    EXPECT_EQ(T32({0x8F, 0xE9, 0xF0, 0x90, 0xC2}), "vprotb xmm0, xmm1, xmm2");
    EXPECT_EQ(T32({0x8F, 0xE9, 0x7C, 0x81, 0x06}), "vfrczpd ymm0, yword ptr [esi]");
    EXPECT_EQ(T32({0x8F, 0xE9, 0x70, 0x01, 0xCA}), "blcfill ecx, edx");
    EXPECT_EQ(T32({0x8F, 0xEA, 0x78, 0x10, 0xC1, 0x04, 0x08, 0, 0}), "bextr eax, ecx, 0x804");
    EXPECT_EQ(T64({0x8F, 0xE8, 0x78, 0xC0, 0xC1, 0x05}), "vprotb xmm0, xmm1, 5");
    EXPECT_EQ(T64({0x8F, 0x69, 0x78, 0xC1, 0xC1}), "vphaddbw xmm8, xmm1");
}

TEST(DecoderTextRobustness, EveryTwoByteSequenceHasAText) {
    // Every byte pair (and a fixed tail) gives a non-empty text without
    // reading beyond the instruction.
    for (unsigned a = 0; a < 256; ++a) {
        for (unsigned b = 0; b < 256; b += 3) {
            for (const TCpuMode mode : {TCpuMode::Bits32, TCpuMode::Bits64}) {
                std::uint8_t bytes[15] = {static_cast<std::uint8_t>(a),
                                          static_cast<std::uint8_t>(b),
                                          0x24,
                                          0x80,
                                          0x11,
                                          0x22,
                                          0x33,
                                          0x44,
                                          0x55,
                                          0x66,
                                          0x77,
                                          0x88,
                                          0x99,
                                          0xAA,
                                          0xBB};
                const TBufferReader memory(0x1000, bytes);
                TInstruction rec;
                TInstructionText text;
                DecodeInstruction(0x1000, rec, memory, mode, nullptr, text);
                ASSERT_FALSE(text.Text.empty()) << a << " " << b;
                if (rec.Valid) {
                    EXPECT_NE(text.Text.rfind("db ", 0), 0u) << std::hex << a << " " << b;
                } else {
                    EXPECT_EQ(text.Text.rfind("db ", 0), 0u) << std::hex << a << " " << b;
                }
            }
        }
    }
}

TEST(DecoderTextTracking, TextEntryKeepsRegisterTracking) {
    const std::vector<std::uint8_t> code = {0xB8, 0x00, 0x30, 0x40, 0x00, 0xFF, 0x10};
    const TBufferReader memory(kBase32, code);
    TRegisterTrack regs{};
    TInstruction rec;
    TInstructionText text;
    std::uintptr_t at = DecodeInstruction(kBase32, rec, memory, TCpuMode::Bits32, &regs, text);
    EXPECT_EQ(text.Text, "mov eax, 0x403000");
    EXPECT_EQ(regs[0], 0x403000u);
    // call [eax] with a known eax reads the slot at 0x403000, which is not there.
    DecodeInstruction(at, rec, memory, TCpuMode::Bits32, &regs, text);
    EXPECT_FALSE(rec.Valid);
    EXPECT_EQ(text.Text, "db 0xff, 0x10");
    // Without tracking the same bytes are a plain indirect call.
    DecodeInstruction(at, rec, memory, TCpuMode::Bits32, nullptr, text);
    EXPECT_TRUE(rec.Valid);
    EXPECT_EQ(text.Text, "call dword ptr [eax]");
}

} // namespace
} // namespace ax
