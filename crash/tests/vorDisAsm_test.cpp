// Hand-written cases of the instruction decoder: lengths, validity, branch
// targets and register tracking in both modes.
#include "crash/vorDisAsm.h"

#include <cstring>
#include <gtest/gtest.h>
#include <initializer_list>
#include <map>
#include <vector>

namespace ax {
namespace {

constexpr std::uintptr_t kBase32 = 0x00401000;
constexpr std::uintptr_t kBase64 = 0x00007F1234560000;

// Code at a base address, plus optional data slots elsewhere.
class TTestMemory final : public TMemoryReader {
public:
    TTestMemory(std::uintptr_t base, std::initializer_list<std::uint8_t> code)
        : Base(base), Code(code) {}
    void AddSlot(std::uintptr_t address, std::uint64_t value, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i)
            Data[address + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    bool Read(std::uintptr_t address, void* buffer, std::size_t size) const override {
        if (address < Base || address - Base >= MaxInstructionLength) ++SlotReads;
        auto* out = static_cast<std::uint8_t*>(buffer);
        for (std::size_t i = 0; i < size; ++i) {
            const std::uintptr_t at = address + i;
            if (at >= Base && at - Base < Code.size()) {
                out[i] = Code[at - Base];
            } else if (auto it = Data.find(at); it != Data.end()) {
                out[i] = it->second;
            } else {
                return false;
            }
        }
        return true;
    }
    mutable int SlotReads = 0; // reads that are not instruction fetches

private:
    std::uintptr_t Base;
    std::vector<std::uint8_t> Code;
    std::map<std::uintptr_t, std::uint8_t> Data;
};

TInstruction Decode32(std::initializer_list<std::uint8_t> code, TRegisterTrack* regs = nullptr) {
    TTestMemory memory(kBase32, code);
    TInstruction rec;
    DecodeInstruction(kBase32, rec, memory, TCpuMode::Bits32, regs);
    return rec;
}

TInstruction Decode64(std::initializer_list<std::uint8_t> code, TRegisterTrack* regs = nullptr) {
    TTestMemory memory(kBase64, code);
    TInstruction rec;
    DecodeInstruction(kBase64, rec, memory, TCpuMode::Bits64, regs);
    return rec;
}

std::size_t Length(const TInstruction& rec) {
    return rec.InstrNext - rec.InstrStart;
}

// ---------------------------------------------------------------------------
// The record and the tables

TEST(DecoderTables, SpotEntriesFollowTheOpcodeMaps) {
    const auto& one = OneByteOpcodeFlags();
    const auto& two = TwoByteOpcodeFlags();
    EXPECT_EQ(one[0x00], 0x4013); // add Eb,Gb: ModR/M, byte, writes r/m, form E,G
    EXPECT_EQ(one[0x05], 0x8C06); // add eAX,Iz, form acc,imm
    EXPECT_EQ(one[0x3D], 0x0C06); // cmp eAX,Iz writes nothing
    EXPECT_EQ(one[0x8D], 0x219E); // lea: memory only, writes reg, form G,M
    EXPECT_EQ(one[0xB8], 0x6C80); // mov eAX,Iv, form opreg,imm
    EXPECT_EQ(one[0xD6], 0xFFFF); // undefined
    EXPECT_EQ(one[0xDB], 0x0008); // x87 escape: group
    EXPECT_EQ(one[0xE3], 0x1486); // jecxz rel8, form rel
    EXPECT_EQ(one[0xE8], 0x1C86); // call rel32
    EXPECT_EQ(one[0xF7], 0x0008); // group 3
    EXPECT_EQ(one[0xFF], 0x4050); // group 5, form E
    EXPECT_EQ(two[0x04], 0xFFFF);
    EXPECT_EQ(two[0x0F], 0x0650); // 3DNow!: ModR/M and suffix byte, form P,Q
    EXPECT_EQ(two[0x84], 0x1C86); // jz rel32
    EXPECT_EQ(two[0xA2], 0x0000); // cpuid
    EXPECT_EQ(two[0xC8], 0x6046); // bswap eax, form opreg
    EXPECT_EQ(two[0xFF], 0x0014); // ud0, form G,E
    const auto& groups = disasm_detail::GroupTable();
    EXPECT_EQ(groups[0].Opcode, 0xF6);
    EXPECT_EQ(groups[9].Opcode, 0xDF);
    EXPECT_EQ(groups[1].Memory[0], 0x0C52); // test Ev,Iz, form E,imm
    EXPECT_EQ(groups[1].Register[1], 0xFFFF);
}

TEST(DecoderRecord, NilAddressGivesAnEmptyRecord) {
    TTestMemory memory(kBase32, {0x90});
    TInstruction rec;
    rec.Valid = true;
    rec.TargetAddr = 5;
    EXPECT_EQ(DecodeInstruction(0, rec, memory), 0u);
    EXPECT_FALSE(rec.Valid);
    EXPECT_EQ(rec.InstrStart, 0u);
    EXPECT_EQ(rec.InstrNext, 0u);
    EXPECT_EQ(rec.TargetAddr, 0u);
}

TEST(DecoderRecord, OpcodeWordAndModRm) {
    auto rec = Decode32({0x0F, 0xAF, 0xC1}); // imul eax, ecx
    EXPECT_TRUE(rec.Valid);
    EXPECT_EQ(rec.OpcodeWord, 0x0FAF);
    EXPECT_EQ(rec.ModRmByte, 0xC1);
    rec = Decode32({0xC3});
    EXPECT_EQ(rec.OpcodeWord, 0x00C3);
    EXPECT_EQ(rec.ModRmByte, 0);
    EXPECT_EQ(Length(rec), 1u);
}

// ---------------------------------------------------------------------------
// 32-bit mode

TEST(Decoder32, CallToNextInstructionIsNoCall) {
    const auto rec = Decode32({0xE8, 0x00, 0x00, 0x00, 0x00});
    EXPECT_TRUE(rec.Valid);
    EXPECT_EQ(Length(rec), 5u);
    EXPECT_FALSE(rec.IsCall);
    EXPECT_FALSE(rec.IsJump);
    EXPECT_FALSE(rec.CanWiden);
    EXPECT_EQ(rec.TargetAddr, 0u);
    EXPECT_EQ(rec.DisplacementAddr, 0u);
}

TEST(Decoder32, RelativeCallAndJumps) {
    auto rec = Decode32({0xE8, 0xFB, 0x0F, 0x00, 0x00});
    EXPECT_TRUE(rec.IsCall);
    EXPECT_TRUE(rec.IsRelative);
    EXPECT_TRUE(rec.CanWiden);
    EXPECT_EQ(rec.TargetAddr, kBase32 + 5 + 0xFFB);
    EXPECT_EQ(rec.DisplacementAddr, kBase32 + 1);
    EXPECT_EQ(rec.TargetWidth, 4);

    rec = Decode32({0xEB, 0xFE}); // jmp $
    EXPECT_TRUE(rec.IsJump);
    EXPECT_EQ(rec.TargetAddr, kBase32);
    EXPECT_EQ(rec.TargetWidth, 1);

    rec = Decode32({0x74, 0x80}); // jz -128
    EXPECT_TRUE(rec.IsJump);
    EXPECT_EQ(rec.TargetAddr, kBase32 + 2 - 128);

    rec = Decode32({0x0F, 0x85, 0x00, 0x01, 0x00, 0x00});
    EXPECT_EQ(Length(rec), 6u);
    EXPECT_TRUE(rec.IsJump);
    EXPECT_EQ(rec.TargetAddr, kBase32 + 6 + 0x100);
    EXPECT_EQ(rec.DisplacementAddr, kBase32 + 2);
}

TEST(Decoder32, LoopsAndJecxzCannotWiden) {
    for (std::uint8_t op : {0xE0, 0xE1, 0xE2, 0xE3}) {
        const auto rec = Decode32({op, 0x10});
        EXPECT_TRUE(rec.Valid) << int(op);
        EXPECT_TRUE(rec.IsJump) << int(op);
        EXPECT_FALSE(rec.CanWiden) << int(op);
        EXPECT_EQ(rec.TargetAddr, kBase32 + 2 + 0x10);
    }
}

TEST(Decoder32, RelativeTargetsWrapAt4GiB) {
    TTestMemory memory(0xFFFFFFF0u, {0xE9, 0x20, 0x00, 0x00, 0x00});
    TInstruction rec;
    DecodeInstruction(0xFFFFFFF0u, rec, memory);
    EXPECT_EQ(rec.TargetAddr, 0x15u);
}

TEST(Decoder32, PrefixesChangeImmediateAndAddressSizes) {
    EXPECT_EQ(Length(Decode32({0x66, 0xC7, 0xC0, 0x34, 0x12})), 5u); // mov ax, imm16
    EXPECT_EQ(Length(Decode32({0xC7, 0xC0, 0x78, 0x56, 0x34, 0x12})), 6u);
    EXPECT_EQ(Length(Decode32({0x67, 0xA1, 0x34, 0x12})), 4u); // mov eax, [imm16]
    EXPECT_EQ(Length(Decode32({0xA1, 0x78, 0x56, 0x34, 0x12})), 5u);
    EXPECT_EQ(Length(Decode32({0x66, 0x9A, 1, 2, 3, 4})), 6u); // call far ptr16:16
    EXPECT_EQ(Length(Decode32({0x9A, 1, 2, 3, 4, 5, 6})), 7u);
    EXPECT_EQ(Length(Decode32({0xC8, 0x10, 0x00, 0x01})), 4u); // enter
    // 16-bit addressing: [bp+si+disp8], [disp16], [bx+disp16].
    EXPECT_EQ(Length(Decode32({0x67, 0x8B, 0x42, 0x10})), 4u);
    EXPECT_EQ(Length(Decode32({0x67, 0x8B, 0x06, 0x34, 0x12})), 5u);
    EXPECT_EQ(Length(Decode32({0x67, 0x8B, 0x87, 0x34, 0x12})), 5u);
    // 32-bit addressing: SIB without base, SIB with disp8.
    EXPECT_EQ(Length(Decode32({0x8B, 0x04, 0x85, 1, 2, 3, 4})), 7u);
    EXPECT_EQ(Length(Decode32({0x8B, 0x44, 0x24, 0x08})), 4u);
    EXPECT_EQ(Length(Decode32({0x81, 0x84, 0x24, 1, 2, 3, 4, 5, 6, 7, 8})), 11u);
    // Segment, lock and rep prefixes only add their byte.
    EXPECT_EQ(Length(Decode32({0x64, 0xA1, 0, 0, 0, 0})), 6u);
    EXPECT_EQ(Length(Decode32({0xF0, 0x0F, 0xB1, 0x0A})), 4u);
    EXPECT_EQ(Length(Decode32({0xF3, 0xA5})), 2u);
}

TEST(Decoder32, SixteenBitRelativeBranchWrapsTheInstructionPointer) {
    const auto rec = Decode32({0x66, 0xE9, 0x00, 0x10});
    EXPECT_EQ(Length(rec), 4u);
    EXPECT_EQ(rec.TargetWidth, 2);
    EXPECT_EQ(rec.TargetAddr, (kBase32 + 4 + 0x1000) & 0xFFFF);
}

TEST(Decoder32, UndefinedFormsAreInvalid) {
    EXPECT_FALSE(Decode32({0x8D, 0xC0}).Valid);                 // lea eax, eax
    EXPECT_TRUE(Decode32({0x8D, 0x00}).Valid);                  // lea eax, [eax]
    EXPECT_FALSE(Decode32({0xC4, 0xC0}).Valid);                 // les with a register
    EXPECT_FALSE(Decode32({0xC5, 0xC0}).Valid);                 // lds with a register
    EXPECT_FALSE(Decode32({0x62, 0xC0}).Valid);                 // bound with a register
    EXPECT_FALSE(Decode32({0xFF, 0xD8}).Valid);                 // call far eax
    EXPECT_FALSE(Decode32({0xFF, 0xE8}).Valid);                 // jmp far eax
    EXPECT_FALSE(Decode32({0xFF, 0x38}).Valid);                 // FF /7
    EXPECT_FALSE(Decode32({0xFE, 0x10}).Valid);                 // FE /2
    EXPECT_TRUE(Decode32({0xFE, 0x08}).Valid);                  // dec byte [eax]
    EXPECT_FALSE(Decode32({0x8E, 0xF0}).Valid);                 // mov segment 6
    EXPECT_FALSE(Decode32({0x8E, 0xC8}).Valid);                 // mov cs, ax
    EXPECT_TRUE(Decode32({0x8E, 0xD8}).Valid);                  // mov ds, ax
    EXPECT_FALSE(Decode32({0x8C, 0xF8}).Valid);                 // segment 7
    EXPECT_FALSE(Decode32({0x0F, 0xBA, 0xE0 & 0xC7, 1}).Valid); // 0F BA /0
    EXPECT_TRUE(Decode32({0x0F, 0xBA, 0xE0, 1}).Valid);         // bt eax, 1
    EXPECT_FALSE(Decode32({0x0F, 0x00, 0x30}).Valid);           // 0F 00 /6
    EXPECT_FALSE(Decode32({0x8F, 0x08}).Valid);                 // 8F /1
    EXPECT_FALSE(Decode32({0xC6, 0x08, 0}).Valid);              // C6 /1
    EXPECT_FALSE(Decode32({0xF6, 0x08, 0}).Valid);              // F6 /1 is blank in the map
    EXPECT_FALSE(Decode32({0xD6}).Valid);
    EXPECT_FALSE(Decode32({0x0F, 0x04}).Valid);
    EXPECT_FALSE(Decode32({0x0F, 0x20, 0xC8}).Valid);    // cr1
    EXPECT_TRUE(Decode32({0x0F, 0x20, 0xE0}).Valid);     // mov eax, cr4
    EXPECT_EQ(Length(Decode32({0x0F, 0x20, 0x05})), 3u); // mod is ignored
    EXPECT_FALSE(Decode32({0x0F, 0x71, 0xC8, 1}).Valid); // group 12 /1
    EXPECT_FALSE(Decode32({0x0F, 0x71, 0x10, 1}).Valid); // memory form
    EXPECT_TRUE(Decode32({0x0F, 0x71, 0xD0, 1}).Valid);  // psrlw mm0, 1
    EXPECT_FALSE(Decode32({0x0F, 0xB8, 0xC1}).Valid);    // popcnt needs F3
    EXPECT_TRUE(Decode32({0xF3, 0x0F, 0xB8, 0xC1}).Valid);
    EXPECT_TRUE(Decode32({0x0F, 0x0B}).Valid); // ud2 is an instruction
}

TEST(Decoder32, X87RegisterForms) {
    EXPECT_TRUE(Decode32({0xD9, 0xD0}).Valid); // fnop
    EXPECT_FALSE(Decode32({0xD9, 0xD1}).Valid);
    EXPECT_TRUE(Decode32({0xD9, 0xE5}).Valid); // fxam
    EXPECT_FALSE(Decode32({0xD9, 0xE2}).Valid);
    EXPECT_FALSE(Decode32({0xD9, 0xEF}).Valid);
    EXPECT_TRUE(Decode32({0xDA, 0xE9}).Valid); // fucompp
    EXPECT_FALSE(Decode32({0xDA, 0xE8}).Valid);
    EXPECT_TRUE(Decode32({0xDB, 0xE3}).Valid); // fninit
    EXPECT_FALSE(Decode32({0xDB, 0xF8}).Valid);
    EXPECT_TRUE(Decode32({0xDE, 0xD9}).Valid); // fcompp
    EXPECT_TRUE(Decode32({0xDF, 0xE0}).Valid); // fnstsw ax
    EXPECT_FALSE(Decode32({0xDF, 0xE1}).Valid);
    EXPECT_FALSE(Decode32({0xD9, 0x08}).Valid);                // D9 /1 memory
    EXPECT_FALSE(Decode32({0xDD, 0x28}).Valid);                // DD /5 memory
    EXPECT_EQ(Length(Decode32({0xDD, 0x05, 1, 2, 3, 4})), 6u); // fld qword [disp32]
}

TEST(Decoder32, ThreeDNowSuffixes) {
    EXPECT_TRUE(Decode32({0x0F, 0x0F, 0xC1, 0x0D}).Valid); // pi2fd
    EXPECT_TRUE(Decode32({0x0F, 0x0F, 0xC1, 0x1C}).Valid); // pf2iw
    EXPECT_FALSE(Decode32({0x0F, 0x0F, 0xC1, 0x0E}).Valid);
    EXPECT_EQ(Length(Decode32({0x0F, 0x0F, 0x40, 0x10, 0x0C})), 5u);
}

TEST(Decoder32, IndirectCallThroughAbsoluteSlot) {
    TTestMemory memory(kBase32, {0xFF, 0x15, 0x00, 0x20, 0x40, 0x00});
    TInstruction rec;
    DecodeInstruction(kBase32, rec, memory);
    EXPECT_FALSE(rec.Valid) << "unreadable slot";
    EXPECT_FALSE(rec.IsCall && rec.TargetAddr != 0);

    memory.AddSlot(0x00402000, 0x7C801234, 4);
    DecodeInstruction(kBase32, rec, memory);
    EXPECT_TRUE(rec.Valid);
    EXPECT_TRUE(rec.IsCall);
    EXPECT_FALSE(rec.IsRelative);
    EXPECT_EQ(Length(rec), 6u);
    EXPECT_EQ(rec.TargetSlot, 0x00402000u);
    EXPECT_EQ(rec.TargetAddr, 0x7C801234u);
    EXPECT_EQ(rec.TargetWidth, 4);
}

TEST(Decoder32, IndirectJumpsAndFarBranches) {
    TTestMemory memory(kBase32, {0xFF, 0x25, 0x10, 0x20, 0x40, 0x00});
    memory.AddSlot(0x00402010, 0x00405000, 4);
    TInstruction rec;
    DecodeInstruction(kBase32, rec, memory);
    EXPECT_TRUE(rec.IsJump);
    EXPECT_EQ(rec.TargetAddr, 0x00405000u);

    // A slot addressed through an index has no fixed address.
    rec = Decode32({0xFF, 0x24, 0x85, 0x10, 0x20, 0x40, 0x00});
    EXPECT_TRUE(rec.Valid);
    EXPECT_TRUE(rec.IsJump);
    EXPECT_EQ(rec.TargetSlot, 0u);
    EXPECT_EQ(rec.TargetAddr, 0u);

    rec = Decode32({0x9A, 1, 2, 3, 4, 5, 6});
    EXPECT_TRUE(rec.IsCall);
    EXPECT_EQ(rec.TargetAddr, 0u);
    rec = Decode32({0xEA, 1, 2, 3, 4, 5, 6});
    EXPECT_TRUE(rec.IsJump);
    rec = Decode32({0xFF, 0x18}); // call far [eax]
    EXPECT_TRUE(rec.Valid);
    EXPECT_TRUE(rec.IsCall);
}

TEST(Decoder32, SlotsBehindFsOrGsAreNotRead) {
    TTestMemory memory(kBase32, {0x64, 0xFF, 0x15, 0x10, 0x00, 0x00, 0x00});
    memory.AddSlot(0x10, 0x12345678, 4); // flat address 0x10: not what fs:[0x10] means
    TInstruction rec;
    DecodeInstruction(kBase32, rec, memory);
    EXPECT_TRUE(rec.Valid);
    EXPECT_TRUE(rec.IsCall);
    EXPECT_EQ(Length(rec), 7u);
    EXPECT_EQ(rec.TargetSlot, 0u);
    EXPECT_EQ(rec.TargetAddr, 0u);
    EXPECT_EQ(memory.SlotReads, 0);
}

TEST(Decoder32, SixteenBitAddressingWithAKnownBaseRegister) {
    TRegisterTrack regs{};
    regs[3] = 0x2000;                                // bx
    TTestMemory memory(kBase32, {0x67, 0xFF, 0x17}); // call [bx]
    memory.AddSlot(0x2000, 0x00401234, 4);
    TInstruction rec;
    DecodeInstruction(kBase32, rec, memory, TCpuMode::Bits32, &regs);
    EXPECT_EQ(Length(rec), 3u);
    EXPECT_EQ(rec.TargetSlot, 0x2000u);
    EXPECT_EQ(rec.TargetAddr, 0x401234u);
    // [bx+si] has an index: no slot.
    regs[3] = 0x2000;
    TTestMemory indexed(kBase32, {0x67, 0xFF, 0x10});
    DecodeInstruction(kBase32, rec, indexed, TCpuMode::Bits32, &regs);
    EXPECT_TRUE(rec.IsCall);
    EXPECT_EQ(rec.TargetSlot, 0u);
}

TEST(Decoder32, TruncatedAndOverlongInstructions) {
    TTestMemory memory(kBase32, {0xB8, 0x01, 0x02});
    TInstruction rec;
    EXPECT_EQ(DecodeInstruction(kBase32, rec, memory), kBase32 + 1);
    EXPECT_FALSE(rec.Valid);

    // Fourteen prefixes and a nop are 15 bytes; one more is too long.
    std::vector<std::uint8_t> bytes(14, 0x66);
    bytes.push_back(0x90);
    TBufferReader ok(kBase32, bytes);
    DecodeInstruction(kBase32, rec, ok);
    EXPECT_TRUE(rec.Valid);
    EXPECT_EQ(Length(rec), 15u);
    bytes.insert(bytes.begin(), 0x66);
    TBufferReader tooLong(kBase32, bytes);
    DecodeInstruction(kBase32, rec, tooLong);
    EXPECT_FALSE(rec.Valid);
}

TEST(Decoder32, ShortInstructionAtTheEndOfReadableMemory) {
    TTestMemory memory(kBase32, {0x90, 0xC3});
    TInstruction rec;
    EXPECT_EQ(DecodeInstruction(kBase32 + 1, rec, memory), kBase32 + 2);
    EXPECT_TRUE(rec.Valid);
}

TEST(DecoderRobustness, RandomBytesNeverReadBeyondTheInstruction) {
    // Buffers of every length up to 15, filled from a fixed sequence, decoded
    // in both modes with tracking: lengths stay within the bytes given.
    std::uint32_t state = 12345;
    auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return static_cast<std::uint8_t>(state >> 24);
    };
    for (int round = 0; round < 20000; ++round) {
        const std::size_t size = 1 + round % MaxInstructionLength;
        std::vector<std::uint8_t> bytes(size);
        for (auto& b : bytes)
            b = next();
        const TBufferReader reader(kBase64, bytes);
        for (TCpuMode mode : {TCpuMode::Bits32, TCpuMode::Bits64}) {
            TRegisterTrack regs{};
            const unsigned tracked = mode == TCpuMode::Bits32 ? 8 : 16;
            for (unsigned i = 0; i < tracked; ++i)
                regs[i] = kBase64;
            TInstruction rec;
            const std::uintptr_t after = DecodeInstruction(kBase64, rec, reader, mode, &regs);
            const std::size_t length = after - kBase64;
            ASSERT_GE(length, 1u);
            ASSERT_LE(length, MaxInstructionLength);
            if (rec.Valid) {
                ASSERT_LE(length, size) << round;
            }
            for (unsigned i = tracked; i < 16; ++i) {
                ASSERT_EQ(regs[i], 0u) << "32-bit mode has eight registers";
            }
        }
    }
}

TEST(BufferReader, ReadsOnlyInsideTheBuffer) {
    const std::uint8_t bytes[4] = {1, 2, 3, 4};
    TBufferReader reader(100, bytes);
    std::uint8_t out[4] = {};
    EXPECT_TRUE(reader.Read(100, out, 4));
    EXPECT_EQ(out[3], 4);
    EXPECT_TRUE(reader.Read(103, out, 1));
    EXPECT_TRUE(reader.Read(104, out, 0));
    EXPECT_FALSE(reader.Read(103, out, 2));
    EXPECT_FALSE(reader.Read(99, out, 1));
    EXPECT_FALSE(reader.Read(std::uintptr_t(-1), out, 2));
}

// ---------------------------------------------------------------------------
// Register tracking, 32-bit

TEST(DecoderTracking32, KnownRegisterGivesTheSlotOfCallReg) {
    TRegisterTrack regs{};
    Decode32({0xB8, 0x00, 0x30, 0x40, 0x00}, &regs); // mov eax, 0x403000
    EXPECT_EQ(regs[0], 0x403000u);

    TTestMemory memory(kBase32, {0xFF, 0x10}); // call [eax]
    memory.AddSlot(0x403000, 0x00409999, 4);
    TInstruction rec;
    DecodeInstruction(kBase32, rec, memory, TCpuMode::Bits32, &regs);
    EXPECT_TRUE(rec.IsCall);
    EXPECT_EQ(rec.TargetSlot, 0x403000u);
    EXPECT_EQ(rec.TargetAddr, 0x409999u);
    // The call may change eax, ecx and edx.
    EXPECT_EQ(regs[0], 0u);
}

TEST(DecoderTracking32, RegisterFormBranchTakesTheValueWithoutReading) {
    TRegisterTrack regs{};
    regs[3] = 0x00405000;
    TTestMemory memory(kBase32, {0xFF, 0xE3}); // jmp ebx
    TInstruction rec;
    DecodeInstruction(kBase32, rec, memory, TCpuMode::Bits32, &regs);
    EXPECT_TRUE(rec.Valid);
    EXPECT_TRUE(rec.IsJump);
    EXPECT_EQ(rec.TargetAddr, 0x405000u);
    EXPECT_EQ(rec.TargetSlot, 0u);
    EXPECT_EQ(memory.SlotReads, 0) << "only the instruction bytes are read";
}

TEST(DecoderTracking32, MovesCopyAndStoreConstants) {
    TRegisterTrack regs{};
    Decode32({0xBE, 0x44, 0x33, 0x22, 0x11}, &regs); // mov esi, 0x11223344
    Decode32({0x8B, 0xDE}, &regs);                   // mov ebx, esi
    EXPECT_EQ(regs[3], 0x11223344u);
    Decode32({0x89, 0xF7}, &regs); // mov edi, esi
    EXPECT_EQ(regs[7], 0x11223344u);
    Decode32({0xC7, 0xC1, 0x78, 0x56, 0x34, 0x12}, &regs); // mov ecx, 0x12345678
    EXPECT_EQ(regs[1], 0x12345678u);
    Decode32({0x66, 0xB9, 0x01, 0x00}, &regs); // mov cx, 1: value no longer known
    EXPECT_EQ(regs[1], 0u);
    Decode32({0x8B, 0x1E}, &regs); // mov ebx, [esi]
    EXPECT_EQ(regs[3], 0u);
    Decode32({0x88, 0xE6}, &regs); // mov dh, ah: dh is part of edx
    regs[2] = 7;
    Decode32({0x88, 0xE6}, &regs);
    EXPECT_EQ(regs[2], 0u);
    EXPECT_EQ(regs[6], 0x11223344u);
}

TEST(DecoderTracking32, InstructionsForgetWhatTheyChange) {
    TRegisterTrack regs{};
    auto fill = [&] {
        for (unsigned i = 0; i < 8; ++i)
            regs[i] = 0x1000 + i;
    };
    fill();
    Decode32({0x61}, &regs); // popad
    for (unsigned i = 0; i < 8; ++i)
        EXPECT_EQ(regs[i], 0u);

    fill();
    Decode32({0xF3, 0xA5}, &regs); // rep movsd
    EXPECT_EQ(regs[1], 0u);
    EXPECT_EQ(regs[6], 0u);
    EXPECT_EQ(regs[7], 0u);
    EXPECT_EQ(regs[0], 0x1000u);
    EXPECT_EQ(regs[3], 0x1003u);

    fill();
    Decode32({0x99}, &regs); // cdq
    EXPECT_EQ(regs[2], 0u);
    EXPECT_EQ(regs[0], 0x1000u);

    fill();
    Decode32({0xF7, 0xE3}, &regs); // mul ebx
    EXPECT_EQ(regs[0], 0u);
    EXPECT_EQ(regs[2], 0u);
    EXPECT_EQ(regs[3], 0x1003u);

    fill();
    Decode32({0xC9}, &regs); // leave
    EXPECT_EQ(regs[5], 0u);

    fill();
    Decode32({0xE2, 0xFE}, &regs); // loop
    EXPECT_EQ(regs[1], 0u);

    fill();
    Decode32({0x5B}, &regs); // pop ebx
    EXPECT_EQ(regs[3], 0u);

    fill();
    Decode32({0x0F, 0xA2}, &regs); // cpuid
    EXPECT_EQ(regs[0] | regs[1] | regs[2] | regs[3], 0u);
    EXPECT_EQ(regs[6], 0x1006u);

    fill();
    Decode32({0x87, 0xD9}, &regs); // xchg ecx, ebx
    EXPECT_EQ(regs[1], 0u);
    EXPECT_EQ(regs[3], 0u);

    fill();
    Decode32({0x39, 0xD9}, &regs); // cmp ecx, ebx
    EXPECT_EQ(regs[1], 0x1001u);
}

// ---------------------------------------------------------------------------
// 64-bit mode

TEST(Decoder64, RexAndSixtyFourBitImmediates) {
    auto rec = Decode64({0x48, 0xB8, 1, 2, 3, 4, 5, 6, 7, 8}); // mov rax, imm64
    EXPECT_TRUE(rec.Valid);
    EXPECT_EQ(Length(rec), 10u);
    EXPECT_EQ(Length(Decode64({0x48, 0xC7, 0xC0, 1, 2, 3, 4})), 7u); // imm32 sign-extended
    EXPECT_EQ(Length(Decode64({0x48, 0x05, 1, 2, 3, 4})), 6u);
    EXPECT_EQ(Length(Decode64({0x66, 0x48, 0x05, 1, 2, 3, 4})), 7u); // REX.W wins over 66
    EXPECT_EQ(Length(Decode64({0x66, 0x05, 1, 2})), 4u);
    EXPECT_EQ(Length(Decode64({0x48, 0xA1, 1, 2, 3, 4, 5, 6, 7, 8})), 10u); // moffs64
    EXPECT_EQ(Length(Decode64({0x67, 0xA1, 1, 2, 3, 4})), 6u);
    EXPECT_EQ(Length(Decode64({0x41, 0x50})), 2u);                   // push r8
    EXPECT_EQ(Length(Decode64({0x48, 0x63, 0xC7})), 3u);             // movsxd rax, edi
    EXPECT_EQ(Length(Decode64({0x4C, 0x8B, 0x64, 0x24, 0x08})), 5u); // mov r12, [rsp+8]
    EXPECT_EQ(Length(Decode64({0x42, 0x8B, 0x04, 0xA5, 0, 0, 0, 0})), 8u);
    // A REX before a legacy prefix is dropped; still one instruction.
    EXPECT_EQ(Length(Decode64({0x48, 0x66, 0x90})), 3u);
}

TEST(Decoder64, OpcodesRemovedInLongMode) {
    for (std::uint8_t op : {0x06, 0x07, 0x0E, 0x16, 0x17, 0x1E, 0x1F, 0x27, 0x2F, 0x37, 0x3F, 0x60,
                            0x61, 0xCE, 0xD4, 0xD5, 0xD6}) {
        EXPECT_FALSE(Decode64({op, 0x0A, 0, 0, 0, 0, 0, 0}).Valid) << int(op);
        EXPECT_FALSE(Decode64({op}).Valid) << int(op);
    }
    EXPECT_FALSE(Decode64({0x82, 0xC0, 0x01}).Valid);
    EXPECT_FALSE(Decode64({0x9A, 1, 2, 3, 4, 5, 6}).Valid);
    EXPECT_FALSE(Decode64({0xEA, 1, 2, 3, 4, 5, 6}).Valid);
    EXPECT_TRUE(Decode32({0x82, 0xC0, 0x01}).Valid);
    EXPECT_TRUE(Decode64({0x0F, 0x05}).Valid);       // syscall
    EXPECT_TRUE(Decode64({0x0F, 0x01, 0xF8}).Valid); // swapgs
    EXPECT_FALSE(Decode32({0x0F, 0x01, 0xF8}).Valid);
}

TEST(Decoder64, EndbrAndMultiByteNops) {
    EXPECT_EQ(Length(Decode64({0xF3, 0x0F, 0x1E, 0xFA})), 4u);
    EXPECT_TRUE(Decode64({0xF3, 0x0F, 0x1E, 0xFA}).Valid);
    EXPECT_EQ(Length(Decode64({0x0F, 0x1F, 0x00})), 3u);
    EXPECT_EQ(Length(Decode64({0x0F, 0x1F, 0x40, 0x00})), 4u);
    EXPECT_EQ(Length(Decode64({0x0F, 0x1F, 0x44, 0x00, 0x00})), 5u);
    EXPECT_EQ(Length(Decode64({0x66, 0x0F, 0x1F, 0x44, 0x00, 0x00})), 6u);
    EXPECT_EQ(Length(Decode64({0x0F, 0x1F, 0x80, 0, 0, 0, 0})), 7u);
    EXPECT_EQ(Length(Decode64({0x0F, 0x1F, 0x84, 0, 0, 0, 0, 0})), 8u);
    EXPECT_EQ(Length(Decode64({0x66, 0x2E, 0x0F, 0x1F, 0x84, 0, 0, 0, 0, 0})), 10u);
    EXPECT_EQ(Length(Decode64({0x66, 0x66, 0x2E, 0x0F, 0x1F, 0x84, 0, 0, 0, 0, 0})), 11u);
}

TEST(Decoder64, RelativeBranchesUseFullAddresses) {
    auto rec = Decode64({0xE8, 0xF6, 0xFF, 0xFF, 0xFF});
    EXPECT_TRUE(rec.IsCall);
    EXPECT_EQ(rec.TargetAddr, kBase64 + 5 - 10);
    EXPECT_EQ(rec.TargetWidth, 4);
    // 66 does not shorten a near branch in long mode.
    rec = Decode64({0x66, 0xE9, 0x10, 0x00, 0x00, 0x00});
    EXPECT_EQ(Length(rec), 6u);
    EXPECT_EQ(rec.TargetAddr, kBase64 + 6 + 0x10);
    rec = Decode64({0x0F, 0x8E, 0x00, 0x00, 0x01, 0x00});
    EXPECT_EQ(rec.TargetAddr, kBase64 + 6 + 0x10000);
    rec = Decode64({0xE3, 0x02}); // jrcxz
    EXPECT_TRUE(rec.IsJump);
    EXPECT_FALSE(rec.CanWiden);
}

TEST(Decoder64, RipRelativeIndirectCallYieldsSlotAndTarget) {
    // call [rip+0x1000]: the slot lies 0x1000 after the 6-byte instruction.
    TTestMemory memory(kBase64, {0xFF, 0x15, 0x00, 0x10, 0x00, 0x00});
    TInstruction rec;
    DecodeInstruction(kBase64, rec, memory, TCpuMode::Bits64);
    EXPECT_FALSE(rec.Valid) << "unreadable slot";

    memory.AddSlot(kBase64 + 6 + 0x1000, 0x00007F00AABBCCDDull, 8);
    DecodeInstruction(kBase64, rec, memory, TCpuMode::Bits64);
    EXPECT_TRUE(rec.Valid);
    EXPECT_TRUE(rec.IsCall);
    EXPECT_EQ(rec.TargetSlot, kBase64 + 6 + 0x1000);
    EXPECT_EQ(rec.TargetAddr, 0x00007F00AABBCCDDull);
    EXPECT_EQ(rec.TargetWidth, 8);

    // jmp [rip+0x100] with a bnd prefix, as in PLT stubs.
    TTestMemory plt(kBase64, {0xF2, 0xFF, 0x25, 0x00, 0x01, 0x00, 0x00});
    plt.AddSlot(kBase64 + 7 + 0x100, 0x1122334455667788ull, 8);
    DecodeInstruction(kBase64, rec, plt, TCpuMode::Bits64);
    EXPECT_TRUE(rec.IsJump);
    EXPECT_EQ(rec.TargetSlot, kBase64 + 7 + 0x100);
    EXPECT_EQ(rec.TargetAddr, 0x1122334455667788ull);
}

TEST(Decoder64, RegisterTrackingCoversSixteenRegisters) {
    TRegisterTrack regs{};
    Decode64({0x49, 0xBB, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}, &regs); // mov r11
    EXPECT_EQ(regs[11], 0x1122334455667788ull);
    TTestMemory memory(kBase64, {0x41, 0xFF, 0xD3}); // call r11
    TInstruction rec;
    DecodeInstruction(kBase64, rec, memory, TCpuMode::Bits64, &regs);
    EXPECT_TRUE(rec.IsCall);
    EXPECT_EQ(rec.TargetAddr, 0x1122334455667788ull);
    EXPECT_EQ(regs[11], 0u) << "r11 is not preserved across a call";

    Decode64({0x41, 0xBC, 0x78, 0x56, 0x34, 0x12}, &regs); // mov r12d, imm32
    EXPECT_EQ(regs[12], 0x12345678u);
    Decode64({0x4C, 0x89, 0xE3}, &regs); // mov rbx, r12
    EXPECT_EQ(regs[3], 0x12345678u);
    Decode64({0x48, 0xC7, 0xC6, 0xFF, 0xFF, 0xFF, 0xFF}, &regs); // mov rsi, -1
    EXPECT_EQ(regs[6], ~std::uintptr_t{0});
    Decode64({0xC7, 0xC6, 0xFF, 0xFF, 0xFF, 0xFF}, &regs); // mov esi, -1 zero-extends
    EXPECT_EQ(regs[6], 0xFFFFFFFFu);
    Decode64({0x41, 0x5C}, &regs); // pop r12
    EXPECT_EQ(regs[12], 0u);
    EXPECT_EQ(regs[3], 0x12345678u);
    Decode64({0x40, 0x88, 0xE6}, &regs); // mov sil, spl: with REX this is rsi
    EXPECT_EQ(regs[6], 0u);
}

TEST(Decoder64, CallsForgetOnlyTheRegistersACalleeMayChange) {
    TRegisterTrack regs{};
    for (unsigned i = 0; i < 16; ++i)
        regs[i] = 0x100 + i;
    Decode64({0xE8, 0x10, 0x00, 0x00, 0x00}, &regs);
    for (unsigned i : {0u, 1u, 2u, 4u, 6u, 7u, 8u, 9u, 10u, 11u})
        EXPECT_EQ(regs[i], 0u) << i;
    for (unsigned i : {3u, 5u, 12u, 13u, 14u, 15u})
        EXPECT_EQ(regs[i], 0x100 + i) << i;

    regs[0] = 1;
    regs[8] = 2;
    regs[3] = 3;
    Decode64({0x49, 0x90}, &regs); // xchg r8, rax
    EXPECT_EQ(regs[0], 0u);
    EXPECT_EQ(regs[8], 0u);
    EXPECT_EQ(regs[3], 3u);
    Decode64({0x90}, &regs); // nop
    EXPECT_EQ(regs[3], 3u);
    Decode64({0x0F, 0x05}, &regs); // syscall
    EXPECT_EQ(regs[3], 3u);
}

TEST(Decoder64, LeaRipRelativeMakesARegisterKnown) {
    TRegisterTrack regs{};
    Decode64({0x48, 0x8D, 0x05, 0x00, 0x02, 0x00, 0x00}, &regs); // lea rax, [rip+0x200]
    EXPECT_EQ(regs[0], kBase64 + 7 + 0x200);
    TTestMemory memory(kBase64, {0xFF, 0xE0}); // jmp rax
    TInstruction rec;
    DecodeInstruction(kBase64, rec, memory, TCpuMode::Bits64, &regs);
    EXPECT_TRUE(rec.IsJump);
    EXPECT_EQ(rec.TargetAddr, kBase64 + 7 + 0x200);

    // [reg] with a known value reads the slot through the reader.
    TTestMemory slot(kBase64, {0xFF, 0x10}); // call [rax]
    slot.AddSlot(kBase64 + 7 + 0x200, 0x4000, 8);
    DecodeInstruction(kBase64, rec, slot, TCpuMode::Bits64, &regs);
    EXPECT_EQ(rec.TargetSlot, kBase64 + 7 + 0x200);
    EXPECT_EQ(rec.TargetAddr, 0x4000u);
}

TEST(Decoder64, ThreeByteMaps) {
    EXPECT_EQ(Length(Decode64({0x66, 0x0F, 0x38, 0x00, 0xC1})), 5u);                   // pshufb
    EXPECT_EQ(Length(Decode64({0x66, 0x0F, 0x3A, 0x0F, 0xC1, 0x08})), 6u);             // palignr
    EXPECT_EQ(Length(Decode64({0xF2, 0x48, 0x0F, 0x38, 0xF1, 0x44, 0x24, 0x08})), 8u); // crc32
    EXPECT_EQ(Length(Decode64({0x66, 0x0F, 0x3A, 0x16, 0x04, 0x25, 0, 0, 0, 0, 1})), 11u);
    EXPECT_FALSE(Decode64({0x0F, 0x38, 0x50, 0xC1}).Valid);
    EXPECT_FALSE(Decode64({0x0F, 0x3A, 0x00, 0xC1, 0x00}).Valid);
    const auto rec = Decode64({0x66, 0x0F, 0x38, 0x00, 0xC1});
    EXPECT_EQ(rec.OpcodeWord, 0x3800);
}

TEST(Decoder64, VexLengthsAndValidity) {
    auto rec = Decode64({0xC5, 0xF8, 0x77}); // vzeroupper
    EXPECT_TRUE(rec.Valid);
    EXPECT_EQ(Length(rec), 3u);
    EXPECT_EQ(rec.Encoding, TOpcodeEncoding::Vex);
    EXPECT_EQ(Length(Decode64({0xC5, 0xF9, 0x6F, 0xC1})), 4u); // vmovdqa xmm0, xmm1
    EXPECT_EQ(Length(Decode64({0xC5, 0xFD, 0x6F, 0x44, 0x24, 0x20})), 6u);
    EXPECT_EQ(Length(Decode64({0xC4, 0xE2, 0x7D, 0x18, 0x05, 1, 2, 3, 4})), 9u); // vbroadcastss
    EXPECT_EQ(Length(Decode64({0xC4, 0xE3, 0x79, 0x0F, 0xC1, 0x08})), 6u);       // vpalignr
    EXPECT_EQ(Length(Decode64({0xC5, 0xF9, 0x70, 0xC1, 0x1B})), 5u);             // vpshufd
    EXPECT_TRUE(Decode64({0xC4, 0xE2, 0x78, 0xF2, 0xC1}).Valid);                 // andn
    EXPECT_FALSE(Decode64({0x66, 0xC5, 0xF9, 0x6F, 0xC1}).Valid);                // 66 before VEX
    EXPECT_FALSE(Decode64({0x48, 0xC5, 0xF9, 0x6F, 0xC1}).Valid);                // REX before VEX
    EXPECT_FALSE(Decode64({0xC4, 0xE4, 0x79, 0x0F, 0xC1}).Valid);                // map 4
    EXPECT_FALSE(Decode64({0xC5, 0xF8, 0x04, 0xC1}).Valid);                      // no VEX form

    TRegisterTrack regs{};
    regs[0] = 1;
    regs[1] = 2;
    regs[3] = 3;
    Decode64({0xC4, 0xE2, 0x70, 0xF2, 0xC3}, &regs); // andn eax, ecx, ebx
    EXPECT_EQ(regs[0], 0u);
    EXPECT_EQ(regs[1], 0u) << "vvvv is cleared conservatively";
}

TEST(Decoder64, EvexLengthsAndValidity) {
    auto rec = Decode64({0x62, 0xF1, 0x7C, 0x48, 0x10, 0xC1}); // vmovups zmm0, zmm1
    EXPECT_TRUE(rec.Valid);
    EXPECT_EQ(Length(rec), 6u);
    EXPECT_EQ(rec.Encoding, TOpcodeEncoding::Evex);
    EXPECT_EQ(Length(Decode64({0x62, 0xF1, 0xFD, 0x48, 0x7F, 0x44, 0x24, 0x01})), 8u);
    EXPECT_EQ(Length(Decode64({0x62, 0xF3, 0x7D, 0x48, 0x1E, 0xC1, 0x00})), 7u); // map 3 imm8
    EXPECT_EQ(Length(Decode64({0x62, 0xF1, 0x7D, 0x48, 0x72, 0xE0, 0x04})), 7u);
    EXPECT_FALSE(Decode64({0x62, 0xF9, 0x7C, 0x48, 0x10, 0xC1}).Valid); // reserved bit
    EXPECT_FALSE(Decode64({0x62, 0xF1, 0x78, 0x48, 0x10, 0xC1}).Valid); // fixed bit clear
    EXPECT_FALSE(Decode64({0x62, 0xF4, 0x7C, 0x48, 0x10, 0xC1}).Valid); // map 4
    EXPECT_FALSE(Decode64({0xF3, 0x62, 0xF1, 0x7C, 0x48, 0x10, 0xC1}).Valid);
}

TEST(Decoder32, VexWhereC4AndC5CannotBeLesOrLds) {
    auto rec = Decode32({0xC5, 0xF8, 0x77}); // vzeroupper
    EXPECT_TRUE(rec.Valid);
    EXPECT_EQ(Length(rec), 3u);
    EXPECT_EQ(rec.Encoding, TOpcodeEncoding::Vex);
    EXPECT_EQ(Length(Decode32({0xC5, 0xF9, 0x6F, 0xC1})), 4u);                  // vmovdqa xmm0, xmm1
    EXPECT_EQ(Length(Decode32({0xC5, 0xFD, 0x6F, 0x44, 0x24, 0x20})), 6u);      // vmovdqa ymm0, [esp+0x20]
    EXPECT_EQ(Length(Decode32({0xC4, 0xE2, 0x79, 0x18, 0x05, 1, 2, 3, 4})), 9u); // vbroadcastss xmm0, [abs]
    EXPECT_EQ(Length(Decode32({0xC4, 0xE3, 0x79, 0x0F, 0xC1, 0x08})), 6u);      // vpalignr
    EXPECT_EQ(Length(Decode32({0xC4, 0xE2, 0x78, 0xF2, 0xC1})), 5u);            // andn
    // The inverted R (and X) bits must be set: otherwise the byte is the
    // ModR/M of les or lds with a memory operand.
    rec = Decode32({0xC5, 0x45, 0x08}); // lds eax, [ebp+8]
    EXPECT_TRUE(rec.Valid);
    EXPECT_EQ(Length(rec), 3u);
    EXPECT_EQ(rec.Encoding, TOpcodeEncoding::Legacy);
    EXPECT_EQ(Length(Decode32({0xC4, 0x00})), 2u); // les eax, [eax]
    EXPECT_EQ(Decode32({0xC4, 0x00}).OpcodeWord, 0xC4);
    // vvvv must be 1111b where the instruction has no such operand.
    EXPECT_FALSE(Decode32({0xC5, 0xF1, 0x6F, 0xC1}).Valid);
    EXPECT_TRUE(Decode32({0xC5, 0xF0, 0x58, 0xC1}).Valid); // vaddps xmm0, xmm1, xmm1
    // Group 15 has only vldmxcsr and vstmxcsr.
    EXPECT_TRUE(Decode32({0xC5, 0xF8, 0xAE, 0x10}).Valid);
    EXPECT_FALSE(Decode32({0xC5, 0xF8, 0xAE, 0x00}).Valid);
    EXPECT_FALSE(Decode32({0xC5, 0xF8, 0xAE, 0xD0}).Valid);
    // Undefined opcodes of the VEX 0F 38 and 0F 3A maps.
    EXPECT_FALSE(Decode32({0xC4, 0xE2, 0x79, 0x11, 0xC1}).Valid);
    EXPECT_FALSE(Decode32({0xC4, 0xE3, 0x79, 0x11, 0xC1, 0x00}).Valid);
}

TEST(DecoderXop, LengthsInBothModes) {
    // 8F, R X B and map, W vvvv L pp, opcode, ModR/M ...
    for (TCpuMode mode : {TCpuMode::Bits32, TCpuMode::Bits64}) {
        auto decode = [&](std::initializer_list<std::uint8_t> code) {
            return mode == TCpuMode::Bits32 ? Decode32(code) : Decode64(code);
        };
        auto rec = decode({0x8F, 0xE8, 0x78, 0xC0, 0xC1, 0x05}); // vprotb xmm0, xmm1, 5 (map 8, imm8)
        EXPECT_TRUE(rec.Valid);
        EXPECT_EQ(Length(rec), 6u);
        EXPECT_EQ(rec.Encoding, TOpcodeEncoding::Xop);
        EXPECT_EQ(rec.OpcodeWord, 0x08C0);
        EXPECT_EQ(Length(decode({0x8F, 0xE8, 0x78, 0xCC, 0x40, 0x10, 0x05})), 7u); // vpcomb, [eax+0x10], 5
        EXPECT_EQ(Length(decode({0x8F, 0xE9, 0x78, 0x90, 0xC1})), 5u);             // vprotb, map 9
        EXPECT_EQ(Length(decode({0x8F, 0xE9, 0x78, 0x81, 0x04, 0x24})), 6u);       // vfrczpd xmm0, [esp]
        EXPECT_EQ(Length(decode({0x8F, 0xEA, 0x78, 0x10, 0xC1, 1, 2, 3, 4})), 9u); // bextr, map 10, imm32
        // ModR/M with SIB and a 32-bit displacement, then the 32-bit immediate: 14 bytes.
        EXPECT_EQ(Length(decode({0x8F, 0xEA, 0x78, 0x10, 0x84, 0x24, 1, 2, 3, 4, 5, 6, 7, 8})), 14u);
        EXPECT_EQ(Length(decode({0x8F, 0xE9, 0x70, 0x01, 0xC9})), 5u); // blcfill eax, ecx (TBM)
        EXPECT_FALSE(decode({0x8F, 0xE9, 0x70, 0x01, 0xC1}).Valid);    // TBM group /0
        EXPECT_FALSE(decode({0x8F, 0xE8, 0x79, 0xC0, 0xC1, 0x05}).Valid); // pp must be 0
        EXPECT_FALSE(decode({0x8F, 0xE8, 0x78, 0x00, 0xC1, 0x05}).Valid); // undefined in map 8
        EXPECT_FALSE(decode({0x66, 0x8F, 0xE9, 0x78, 0x90, 0xC1}).Valid); // 66 before XOP
        // Map select below 8: pop.
        rec = decode({0x8F, 0xC0});
        EXPECT_TRUE(rec.Valid);
        EXPECT_EQ(Length(rec), 2u);
        EXPECT_EQ(rec.Encoding, TOpcodeEncoding::Legacy);
        EXPECT_EQ(Length(decode({0x8F, 0x40, 0x08})), 3u); // pop [eax+8]
    }
}

TEST(Decoder64, XbeginIsARelativeBranchToItsFallback) {
    auto rec = Decode64({0xC7, 0xF8, 0x10, 0x00, 0x00, 0x00});
    ASSERT_TRUE(rec.Valid);
    EXPECT_EQ(Length(rec), 6u);
    EXPECT_TRUE(rec.IsJump);
    EXPECT_FALSE(rec.IsCall);
    EXPECT_TRUE(rec.IsRelative);
    EXPECT_EQ(rec.TargetAddr, kBase64 + 6 + 0x10);
    EXPECT_EQ(rec.DisplacementAddr, kBase64 + 2);
    EXPECT_EQ(rec.TargetWidth, 4u);
    rec = Decode32({0x66, 0xC7, 0xF8, 0xF0, 0xFF}); // 16-bit operand size: rel16, IP wraps
    ASSERT_TRUE(rec.Valid);
    EXPECT_EQ(Length(rec), 5u);
    EXPECT_EQ(rec.TargetAddr, (kBase32 + 5 - 0x10) & 0xFFFF);
    EXPECT_EQ(rec.TargetWidth, 2u);
    // xabort has no target.
    rec = Decode64({0xC6, 0xF8, 0x01});
    EXPECT_TRUE(rec.Valid);
    EXPECT_FALSE(rec.IsJump);
}

} // namespace
} // namespace ax
