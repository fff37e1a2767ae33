// The instruction decoder: prefixes, the VEX, XOP and EVEX forms, opcode,
// ModR/M and immediates read from the caller's memory reader; then the
// instruction's branch targets and what it does to the tracked registers.
#include "crash/vorDisAsm.h"

#include "vorDisAsm_internal.h"

#include <cstring>
#include <initializer_list>

namespace ax {

bool TBufferReader::Read(std::uintptr_t address, void* buffer, std::size_t size) const {
    if (address < Base) return false;
    const std::uintptr_t offset = address - Base;
    if (offset > Bytes.size() || size > Bytes.size() - offset) return false;
    if (size != 0) std::memcpy(buffer, Bytes.data() + offset, size);
    return true;
}

namespace {

using namespace opflag;
using namespace disasm_detail;

enum : unsigned { kAx = 0, kCx = 1, kDx = 2, kBx = 3, kSp = 4, kBp = 5, kSi = 6, kDi = 7 };

// Reads up to 15 bytes; near the end of readable memory it falls back to
// single bytes so that a short instruction just before the end still decodes.
std::size_t FetchBytes(const TMemoryReader& memory, std::uintptr_t address,
                       std::uint8_t (&buffer)[MaxInstructionLength]) {
    if (memory.Read(address, buffer, MaxInstructionLength)) return MaxInstructionLength;
    std::size_t count = 0;
    while (count < MaxInstructionLength && memory.Read(address + count, buffer + count, 1))
        ++count;
    return count;
}

bool IsImm8InVexMap1(std::uint8_t opcode) {
    return (opcode >= 0x70 && opcode <= 0x73) || opcode == 0xC2 ||
           (opcode >= 0xC4 && opcode <= 0xC6);
}

constexpr TOpcodeSet OpcodeSet(std::initializer_list<std::uint8_t> opcodes) {
    TOpcodeSet set{};
    for (const std::uint8_t op : opcodes) set[op >> 6] |= std::uint64_t(1) << (op & 63);
    return set;
}

// XOP map 10 holds two opcodes: bextr and the lightweight profiling pair.
const TOpcodeSet& XopMap10Set() {
    static constexpr TOpcodeSet set = OpcodeSet({0x10, 0x12});
    return set;
}

// The opcodes a VEX or XOP map holds, and the flags each of them has.
struct TMapRule {
    unsigned Map;
    const TOpcodeSet& (*Opcodes)();
    std::uint16_t Flags;
};

// Some of map 1 take an 8-bit immediate besides (IsImm8InVexMap1).
constexpr TMapRule kVexMaps[] = {
    {1, VexMap1Set, ModRm | WriteRegRm},
    {2, VexMap38Set, ModRm | WriteRegRm},
    {3, VexMap3ASet, ModRm | WriteRegRm | Imm8},
};

constexpr TMapRule kXopMaps[] = {
    {8, XopMap8Set, ModRm | WriteRegRm | Imm8},
    {9, XopMap9Set, ModRm | WriteRegRm},
    {10, XopMap10Set, ModRm | WriteRegRm | ImmOpSize},
};

// An opcode's flags in a map; Invalid for an opcode or map not in the table.
template <std::size_t N>
std::uint16_t MapFlags(const TMapRule (&maps)[N], unsigned map, std::uint8_t opcode) {
    for (const TMapRule& m : maps)
        if (m.Map == map) return Contains(m.Opcodes(), opcode) ? m.Flags : Invalid;
    return Invalid;
}

class TDecoder : public TDecodeState {
public:
    TDecoder(const std::uint8_t* bytes, std::size_t count, TInstruction& record, TCpuMode mode,
             TRegisterTrack* registers, const TMemoryReader& memory)
        : Rec(record), Registers(registers), Memory(memory) {
        Bytes = bytes;
        Count = count;
        Is64 = mode == TCpuMode::Bits64;
    }

    void Run();

private:
    enum class TStop { None, Truncated, Invalid };

    bool Fetch(std::uint8_t& value) {
        if (Pos >= Count) return false;
        value = Bytes[Pos++];
        return true;
    }
    bool Skip(std::size_t size) {
        if (Count - Pos < size) return false;
        Pos += size;
        return true;
    }

    TStop ReadPrefixes();
    TStop ReadOpcode();
    TStop ReadVex(std::uint8_t lead);
    TStop ReadXop();
    TStop ReadEvex();
    TStop ReadModRm();
    std::size_t ImmediateSize() const;
    bool FormIsDefined() const;
    void SetRelativeTarget();
    void WorkOutTargets();
    void TrackRegisters(const TRegisterTrack& before);
    void ForgetWrittenOperands();
    void ForgetImplicitRegisters();
    void StoreKnownValues(const TRegisterTrack& before);
    void Finish(TStop stop);

    TInstruction& Rec;
    TRegisterTrack* Registers;
    const TMemoryReader& Memory;
};

TDecoder::TStop TDecoder::ReadPrefixes() {
    for (;;) {
        if (Pos >= MaxInstructionLength) return TStop::Invalid;
        if (Pos >= Count) return TStop::Truncated;
        const std::uint8_t b = Bytes[Pos];
        switch (b) {
        case 0xF0:
            Lock = true;
            break;
        case 0xF2:
            Repne = true;
            break;
        case 0xF3:
            Rep = true;
            break;
        case 0x66:
            OpSize = true;
            break;
        case 0x67:
            AddrSize = true;
            break;
        case 0x26:
        case 0x2E:
        case 0x36:
        case 0x3E:
            Segment = static_cast<std::uint8_t>(1 + ((b >> 3) & 3));
            break;
        case 0x64:
            Segment = 5;
            break;
        case 0x65:
            Segment = 6;
            break;
        default:
            if (Is64 && (b & 0xF0) == 0x40) {
                RexPresent = true;
                RexW = b & 8;
                RexR = b & 4;
                RexX = b & 2;
                RexB = b & 1;
                ++Pos;
                continue;
            }
            return TStop::None;
        }
        ++Pos;
        // REX counts only right before the opcode.
        RexPresent = RexW = RexR = RexX = RexB = false;
    }
}

TDecoder::TStop TDecoder::ReadVex(std::uint8_t lead) {
    Rec.Encoding = TOpcodeEncoding::Vex;
    if (OpSize || Rep || Repne || Lock || RexPresent) ForceInvalid = true;
    std::uint8_t b1 = 0;
    if (!Fetch(b1)) return TStop::Truncated;
    // Register extensions exist in 64-bit mode only; in 32-bit mode the
    // inverted R and X bits are what set VEX apart from les and lds.
    RexR = Is64 && !(b1 & 0x80);
    static constexpr std::uint8_t kImplied[4] = {0, 0x66, 0xF3, 0xF2};
    if (lead == 0xC5) {
        Map = 1;
        Vvvv = (~b1 >> 3) & (Is64 ? 15 : 7);
        Implied = kImplied[b1 & 3];
        VectorLength = (b1 >> 2) & 1;
    } else {
        RexX = Is64 && !(b1 & 0x40);
        RexB = Is64 && !(b1 & 0x20);
        Map = b1 & 0x1F;
        std::uint8_t b2 = 0;
        if (!Fetch(b2)) return TStop::Truncated;
        RexW = Is64 && (b2 & 0x80);
        Vvvv = (~b2 >> 3) & (Is64 ? 15 : 7);
        Implied = kImplied[b2 & 3];
        VectorLength = (b2 >> 2) & 1;
    }
    if (!Fetch(Opcode)) return TStop::Truncated;
    if (Map == 1 && Opcode == 0x77) {
        Flags = 0; // vzeroupper, vzeroall
    } else {
        Flags = MapFlags(kVexMaps, Map, Opcode);
        if (Map == 1 && Flags != Invalid && IsImm8InVexMap1(Opcode)) Flags |= Imm8;
    }
    return TStop::None;
}

// AMD XOP: 8F, then R X B and the map (8 to 10), W vvvv L pp, the opcode and
// always a ModR/M byte; map 8 takes an 8-bit and map 10 a 32-bit immediate.
TDecoder::TStop TDecoder::ReadXop() {
    Rec.Encoding = TOpcodeEncoding::Xop;
    if (OpSize || Rep || Repne || Lock || RexPresent) ForceInvalid = true;
    std::uint8_t b1 = 0, b2 = 0;
    if (!Fetch(b1) || !Fetch(b2)) return TStop::Truncated;
    RexR = Is64 && !(b1 & 0x80);
    RexX = Is64 && !(b1 & 0x40);
    RexB = Is64 && !(b1 & 0x20);
    Map = b1 & 0x1F;
    RexW = Is64 && (b2 & 0x80);
    XopW = b2 & 0x80;
    Vvvv = (~b2 >> 3) & (Is64 ? 15 : 7);
    VectorLength = (b2 >> 2) & 1;
    if ((b2 & 3) != 0) ForceInvalid = true; // XOP has no implied prefixes
    if (!Fetch(Opcode)) return TStop::Truncated;
    Flags = MapFlags(kXopMaps, Map, Opcode);
    return TStop::None;
}

TDecoder::TStop TDecoder::ReadEvex() {
    Rec.Encoding = TOpcodeEncoding::Evex;
    if (OpSize || Rep || Repne || Lock || RexPresent) ForceInvalid = true;
    std::uint8_t p0 = 0, p1 = 0, p2 = 0;
    if (!Fetch(p0) || !Fetch(p1) || !Fetch(p2)) return TStop::Truncated;
    RexR = !(p0 & 0x80);
    RexX = !(p0 & 0x40);
    RexB = !(p0 & 0x20);
    if ((p0 & 0x08) != 0 || (p1 & 0x04) == 0) ForceInvalid = true;
    Map = p0 & 7;
    RexW = p1 & 0x80;
    Vvvv = (~p1 >> 3) & 15;
    EvexR2 = !(p0 & 0x10);
    static constexpr std::uint8_t kImplied[4] = {0, 0x66, 0xF3, 0xF2};
    Implied = kImplied[p1 & 3];
    VectorLength = (p2 >> 5) & 3;
    if (!Fetch(Opcode)) return TStop::Truncated;
    switch (Map) {
    case 1:
        Flags = Contains(VexMap1Set(), Opcode) && Opcode != 0x77
                    ? static_cast<std::uint16_t>(ModRm | WriteRegRm |
                                                 (IsImm8InVexMap1(Opcode) ? Imm8 : 0))
                    : Invalid;
        break;
    case 2:
    case 5:
    case 6:
        Flags = ModRm | WriteRegRm;
        break;
    case 3:
        Flags = ModRm | WriteRegRm | Imm8;
        break;
    default:
        Flags = Invalid;
        break;
    }
    return TStop::None;
}

TDecoder::TStop TDecoder::ReadOpcode() {
    std::uint8_t op = 0;
    if (!Fetch(op)) return TStop::Truncated;
    // C4 and C5 are VEX unless, in 32-bit mode, the next byte is the ModR/M
    // of les or lds with a memory operand; 8F is XOP when the next byte
    // names map 8 or above (pop has no such reg field).
    const int peek = Pos < Count ? Bytes[Pos] : -1;
    if ((op == 0xC4 || op == 0xC5) && (Is64 || (peek >= 0 && (peek & 0xC0) == 0xC0))) return ReadVex(op);
    if (op == 0x8F && peek >= 0 && (peek & 0x1F) >= 8) return ReadXop();
    if (Is64 && op == 0x62) return ReadEvex();
    if (op != 0x0F) {
        Map = 0;
        Opcode = op;
        Flags = OneByteTable()[op];
        if (Is64) {
            if (Contains(Invalid64Set(), op))
                Flags = Invalid;
            else if (op == 0x63)
                Flags = ModRm | WriteReg; // movsxd
        }
        return TStop::None;
    }
    std::uint8_t second = 0;
    if (!Fetch(second)) return TStop::Truncated;
    if (second == 0x38 || second == 0x3A) {
        Map = second == 0x38 ? 2 : 3;
        if (!Fetch(Opcode)) return TStop::Truncated;
        const bool known = Contains(Map == 2 ? Map38Set() : Map3ASet(), Opcode);
        Flags = !known     ? Invalid
                : Map == 2 ? static_cast<std::uint16_t>(ModRm | WriteRegRm)
                           : static_cast<std::uint16_t>(ModRm | WriteRegRm | Imm8);
        return TStop::None;
    }
    Map = 1;
    Opcode = second;
    Flags = TwoByteTable()[second];
    return TStop::None;
}

TDecoder::TStop TDecoder::ReadModRm() {
    std::uint8_t modrm = 0;
    if (!Fetch(modrm)) return TStop::Truncated;
    HasModRm = true;
    Rec.ModRmByte = modrm;
    Mod = modrm >> 6;
    Reg = (modrm >> 3) & 7;
    Rm = modrm & 7;
    // mov to and from control and debug registers ignores mod.
    const bool registerOnly = Map == 1 && Opcode >= 0x20 && Opcode <= 0x23;
    if (Mod == 3 || registerOnly) return TStop::None;
    IsMem = true;
    if (!Is64 && AddrSize) {
        if (Mod == 0 && Rm == 6) {
            DispSize = 2;
            Plain = true;
        } else {
            DispSize = Mod == 1 ? 1 : Mod == 2 ? 2 : 0;
            HasIndex = Rm < 4;
            IndexReg = HasIndex ? static_cast<int>(Rm & 1 ? kDi : kSi) : -1;
            static constexpr int kBase16[8] = {kBx, kBx, kBp, kBp, kSi, kDi, kBp, kBx};
            BaseReg = kBase16[Rm];
        }
    } else {
        bool noBase = false;
        if (Rm == 4) {
            std::uint8_t sib = 0;
            if (!Fetch(sib)) return TStop::Truncated;
            const unsigned base = sib & 7;
            const unsigned index = ((sib >> 3) & 7) | (RexX ? 8 : 0);
            HasIndex = index != 4;
            IndexReg = HasIndex ? static_cast<int>(index) : -1;
            Scale = 1u << (sib >> 6);
            if (Mod == 0 && base == 5) {
                noBase = true;
                DispSize = 4;
            } else {
                BaseReg = static_cast<int>(base | (RexB ? 8 : 0));
            }
        } else if (Mod == 0 && Rm == 5) {
            noBase = true;
            DispSize = 4;
            RipRelative = Is64;
        } else {
            BaseReg = static_cast<int>(Rm | (RexB ? 8 : 0));
        }
        if (Mod == 1) DispSize = 1;
        if (Mod == 2) DispSize = 4;
        Plain = noBase && !HasIndex && !RipRelative;
    }
    DispOffset = Pos;
    if (!Skip(DispSize)) return TStop::Truncated;
    Disp = Signed(DispOffset, DispSize);
    return TStop::None;
}

std::size_t TDecoder::ImmediateSize() const {
    switch (Flags & ImmMask) {
    case Imm8:
        return 1;
    case Imm16:
        return 2;
    case ImmOpSize:
        if (Flags & Relative) return Is64 || !OpSize ? 4 : 2;
        if (Map == 0 && Opcode >= 0xB8 && Opcode <= 0xBF && RexW) return 8;
        return OpSize && !RexW ? 2 : 4;
    default:
        break;
    }
    if (Map != 0 || Rec.Encoding != TOpcodeEncoding::Legacy) return 0;
    switch (Opcode) {
    case 0x9A:
    case 0xEA:
        return (OpSize ? 2 : 4) + 2;
    case 0xA0:
    case 0xA1:
    case 0xA2:
    case 0xA3:
        if (Is64) return AddrSize ? 4 : 8;
        return AddrSize ? 2 : 4;
    case 0xC8:
        return 3;
    default:
        return 0;
    }
}

// Forms the opcode maps leave undefined although the flag word is valid.
bool TDecoder::FormIsDefined() const {
    if (ForceInvalid) return false;
    const std::uint16_t form = Flags & ModRmMask;
    if (form == ModRmMem && !IsMem) return false;
    if (form == ModRmReg && IsMem) return false;
    if (Rec.Encoding == TOpcodeEncoding::Xop) {
        // The TBM and LWP groups by reg field (LWP's control block moves by register only).
        if (Map == 9 && Opcode == 0x01) return Reg != 0;
        if (Map == 9 && Opcode == 0x02) return Reg == 1 || Reg == 6;
        if (Map == 9 && Opcode == 0x12) return Reg <= 1 && !IsMem;
        if (Map == 10 && Opcode == 0x12) return Reg <= 1;
        return true;
    }
    if (Rec.Encoding == TOpcodeEncoding::Vex) {
        // Of group 15 only vldmxcsr and vstmxcsr have VEX forms.
        if (Map == 1 && Opcode == 0xAE && !(IsMem && (Reg == 2 || Reg == 3))) return false;
        return Vvvv == 0 || !VexVvvvUnused(Map, Opcode, Implied, IsMem);
    }
    if (Rec.Encoding != TOpcodeEncoding::Legacy) return true;
    const std::uint8_t modrm = Rec.ModRmByte;
    if (Map == 0) {
        switch (Opcode) {
        case 0x8C:
            return Reg <= 5;
        case 0x8E:
            return Reg <= 5 && Reg != 1;
        case 0x8F:
            return Reg == 0;
        case 0xC0:
        case 0xC1:
        case 0xD0:
        case 0xD1:
        case 0xD2:
        case 0xD3:
            return Reg != 6;
        case 0xC6:
        case 0xC7:
            return Reg == 0 || modrm == 0xF8; // mov, xabort / xbegin
        case 0xFE:
            return Reg <= 1;
        case 0xFF:
            return Reg != 7 && (IsMem || (Reg != 3 && Reg != 5));
        default:
            break;
        }
        if (Opcode >= 0xD8 && Opcode <= 0xDF && !IsMem)
            return (FpuRegForms(Opcode, static_cast<std::uint8_t>(Reg)) >> Rm) & 1;
        return true;
    }
    if (Map != 1) return true;
    switch (Opcode) {
    case 0x00:
        return Reg <= 5;
    case 0x01:
        if (IsMem) return Reg != 5 || Rep;
        if (Reg == 4 || Reg == 6) return true; // smsw, lmsw
        return Contains(Group7RegSet(), modrm) && (modrm != 0xF8 || Is64);
    case 0x0F:
        return Contains(ThreeDNowSet(), Bytes[ImmOffset]);
    case 0x20:
    case 0x22: {
        const unsigned cr = Reg | (RexR ? 8 : 0);
        return cr == 0 || cr == 2 || cr == 3 || cr == 4 || cr == 8;
    }
    case 0x71:
    case 0x72:
        return Reg == 2 || Reg == 4 || Reg == 6;
    case 0x73:
        return Reg == 2 || Reg == 6 || (OpSize && (Reg == 3 || Reg == 7));
    case 0xAE:
        return IsMem || Reg >= 5 || (Is64 && Rep && Reg <= 3);
    case 0xB8:
        return Rep;
    case 0xBA:
        return Reg >= 4;
    case 0xC7:
        return IsMem ? Reg == 1 || Reg >= 3 : Reg >= 6;
    case 0x6C:
    case 0x6D:
    case 0x7C:
    case 0x7D:
    case 0xD0:
    case 0xD6:
    case 0xE6:
    case 0xF0:
        return OpSize || Rep || Repne; // no form without a mandatory prefix
    default:
        return true;
    }
}

// The immediate is a displacement from the next instruction.
void TDecoder::SetRelativeTarget() {
    const std::int64_t disp = Signed(ImmOffset, ImmSize);
    std::uintptr_t target = Rec.InstrNext + static_cast<std::uintptr_t>(disp);
    if (!Is64) target &= 0xFFFFFFFFu;
    if (!Is64 && ImmSize == 2) target &= 0xFFFFu; // 16-bit operand size wraps IP
    Rec.IsRelative = true;
    Rec.DisplacementAddr = Rec.InstrStart + ImmOffset;
    Rec.TargetAddr = target;
    Rec.TargetWidth = static_cast<std::uint8_t>(ImmSize);
    Rec.CanWiden = !(Map == 0 && Opcode >= 0xE0 && Opcode <= 0xE3);
    if (Map == 0 && Opcode == 0xE8)
        Rec.IsCall = true;
    else
        Rec.IsJump = true;
}

void TDecoder::WorkOutTargets() {
    const std::uintptr_t next = Rec.InstrNext;
    const bool legacy = Rec.Encoding == TOpcodeEncoding::Legacy;
    if (Flags & Relative) return SetRelativeTarget();
    if (!legacy || Map != 0) return;
    // xbegin: the transaction's fallback path is a relative branch target.
    if (Opcode == 0xC7 && Rec.ModRmByte == 0xF8) return SetRelativeTarget();
    if (Opcode == 0x9A || Opcode == 0xEA) {
        Rec.IsCall = Opcode == 0x9A;
        Rec.IsJump = !Rec.IsCall;
        return;
    }
    if (Opcode != 0xFF || Reg < 2 || Reg > 5) return;
    Rec.IsCall = Reg <= 3;
    Rec.IsJump = !Rec.IsCall;
    if (!IsMem) {
        // The register holds the target itself: nothing to read.
        const unsigned index = Rm | (RexB ? 8 : 0);
        if (Registers != nullptr && (*Registers)[index] != 0) Rec.TargetAddr = (*Registers)[index];
        return;
    }
    // FS and GS have bases of their own: such a slot has no known address.
    if (Segment >= 5) return;
    std::uintptr_t slot = 0;
    if (Plain) {
        slot = Is64 && !AddrSize ? static_cast<std::uintptr_t>(Disp)
                                 : static_cast<std::uintptr_t>(Disp) &
                                       (AddrSize && !Is64 ? 0xFFFFu : 0xFFFFFFFFu);
    } else if (RipRelative) {
        slot = next + static_cast<std::uintptr_t>(Disp);
        if (AddrSize) slot &= 0xFFFFFFFFu;
    } else if (Registers != nullptr && BaseReg >= 0 && !HasIndex && DispSize == 0) {
        slot = (*Registers)[static_cast<unsigned>(BaseReg)];
    }
    if (slot == 0) return;
    std::size_t width = 4;
    if (Is64)
        width = (Reg == 3 || Reg == 5) && !RexW ? 4 : 8;
    else if (OpSize)
        width = 2;
    std::uint64_t value = 0;
    if (!Memory.Read(slot, &value, width)) {
        Rec.Valid = false;
        return;
    }
    Rec.TargetSlot = slot;
    Rec.TargetAddr = static_cast<std::uintptr_t>(value);
    Rec.TargetWidth = static_cast<std::uint8_t>(width);
}

// Registers an instruction writes without naming them in its operands.
enum class TWhen : std::uint8_t { Always, RegFourUp, RexB, ModRmD0EEF9, MemoryReg1 };
struct TImplicitWrite {
    std::uint8_t Map;
    std::uint8_t Opcode;
    TWhen When;
    std::uint16_t Registers; // bit n: register n
};
constexpr std::uint16_t R(unsigned n) { return static_cast<std::uint16_t>(1u << n); }
constexpr std::uint16_t kSiDi = R(kSi) | R(kDi);
constexpr TImplicitWrite kImplicitWrites[] = {
    {0, 0x61, TWhen::Always, 0x00FF},            // popad
    {0, 0x6C, TWhen::Always, R(kDi)},            // ins
    {0, 0x6D, TWhen::Always, R(kDi)},
    {0, 0x6E, TWhen::Always, R(kSi)},            // outs
    {0, 0x6F, TWhen::Always, R(kSi)},
    {0, 0x90, TWhen::RexB, R(kAx) | R(8)},       // xchg r8, rax
    {0, 0x99, TWhen::Always, R(kDx)},            // cdq
    {0, 0xA4, TWhen::Always, kSiDi},             // movs, cmps
    {0, 0xA5, TWhen::Always, kSiDi},
    {0, 0xA6, TWhen::Always, kSiDi},
    {0, 0xA7, TWhen::Always, kSiDi},
    {0, 0xAA, TWhen::Always, R(kDi)},            // stos
    {0, 0xAB, TWhen::Always, R(kDi)},
    {0, 0xAC, TWhen::Always, R(kSi)},            // lods
    {0, 0xAD, TWhen::Always, R(kSi)},
    {0, 0xAE, TWhen::Always, R(kDi)},            // scas
    {0, 0xAF, TWhen::Always, R(kDi)},
    {0, 0xC8, TWhen::Always, R(kBp)},            // enter, leave
    {0, 0xC9, TWhen::Always, R(kBp)},
    {0, 0xCD, TWhen::Always, R(kAx)},            // int
    {0, 0xE0, TWhen::Always, R(kCx)},            // loops
    {0, 0xE1, TWhen::Always, R(kCx)},
    {0, 0xE2, TWhen::Always, R(kCx)},
    {0, 0xF7, TWhen::RegFourUp, R(kDx)},         // mul, imul, div, idiv
    {1, 0x01, TWhen::ModRmD0EEF9, R(kAx) | R(kCx) | R(kDx)}, // xgetbv, rdpkru, rdtscp
    {1, 0x05, TWhen::Always, R(kAx) | R(kCx) | R(11)},        // syscall
    {1, 0x31, TWhen::Always, R(kAx) | R(kDx)},                // rdtsc, rdmsr, rdpmc
    {1, 0x32, TWhen::Always, R(kAx) | R(kDx)},
    {1, 0x33, TWhen::Always, R(kAx) | R(kDx)},
    {1, 0x34, TWhen::Always, 0xFFFF},                         // sysenter, sysexit
    {1, 0x35, TWhen::Always, 0xFFFF},
    {1, 0x37, TWhen::Always, R(kAx)},                         // getsec
    {1, 0xA2, TWhen::Always, R(kAx) | R(kCx) | R(kDx) | R(kBx)}, // cpuid
    {1, 0xC7, TWhen::MemoryReg1, R(kAx) | R(kDx)},            // cmpxchg8b
};

// Which operands the flag word's bits 13 to 15 name as written.
enum : std::uint8_t { kWritesReg = 1, kWritesRm = 2, kWritesOpReg = 4, kWritesEax = 8 };
constexpr std::uint8_t kWrittenOperands[8] = {
    0, kWritesReg, kWritesRm, kWritesOpReg, kWritesEax, kWritesReg | kWritesRm, kWritesEax | kWritesRm,
    kWritesEax | kWritesOpReg};

void TDecoder::ForgetWrittenOperands() {
    const bool legacy = Rec.Encoding == TOpcodeEncoding::Legacy;
    std::uint8_t writes = kWrittenOperands[(Flags & WriteMask) >> 13];
    // Group members that only read: cmp, call, jmp, push, bt.
    if (legacy && ((Map == 0 && Opcode >= 0x80 && Opcode <= 0x83 && Reg == 7) ||
                   (Map == 0 && Opcode == 0xFF && Reg >= 2) || (Map == 1 && Opcode == 0xBA && Reg == 4)))
        writes = 0;
    // Without REX, byte registers 4 to 7 are AH, CH, DH, BH.
    auto forget = [&](unsigned index) {
        if ((Flags & ByteRegs) && !RexPresent && index >= 4 && index < 8) index -= 4;
        (*Registers)[index & 15] = 0;
    };
    if (writes & kWritesReg) forget(Reg | (RexR ? 8 : 0));
    if ((writes & kWritesRm) && !IsMem) forget(Rm | (RexB ? 8 : 0));
    if (writes & kWritesOpReg) forget((Opcode & 7) | (RexB ? 8 : 0));
    if (writes & kWritesEax) (*Registers)[kAx] = 0;
    if (!legacy) (*Registers)[Vvvv & 15] = 0;
}

void TDecoder::ForgetImplicitRegisters() {
    if (Rec.Encoding != TOpcodeEncoding::Legacy) return;
    TRegisterTrack& regs = *Registers;
    if (Map == 0 && (Rep || Repne)) regs[kCx] = 0;
    for (const TImplicitWrite& w : kImplicitWrites) {
        if (w.Map != Map || w.Opcode != Opcode) continue;
        const std::uint8_t modrm = Rec.ModRmByte;
        bool holds = true;
        switch (w.When) {
        case TWhen::Always:
            break;
        case TWhen::RegFourUp:
            holds = Reg >= 4;
            break;
        case TWhen::RexB:
            holds = RexB;
            break;
        case TWhen::ModRmD0EEF9:
            holds = !IsMem && (modrm == 0xD0 || modrm == 0xEE || modrm == 0xF9);
            break;
        case TWhen::MemoryReg1:
            holds = IsMem && Reg == 1;
            break;
        }
        if (holds)
            for (unsigned i = 0; i < 16; ++i)
                if (w.Registers & (1u << i)) regs[i] = 0;
    }
}

// Moves of constants and known values: mov reg, imm; mov r/m, imm in register
// form; mov between registers; lea of a RIP-relative address.
void TDecoder::StoreKnownValues(const TRegisterTrack& before) {
    if (Rec.Encoding != TOpcodeEncoding::Legacy || Map != 0) return;
    TRegisterTrack& regs = *Registers;
    const bool fullSize = !OpSize || RexW;
    if (!fullSize) return;
    const unsigned regIndex = Reg | (RexR ? 8 : 0);
    const unsigned rmIndex = Rm | (RexB ? 8 : 0);
    // A 32-bit result is zero-extended in 64-bit mode.
    auto narrow = [&](std::uintptr_t value) { return RexW ? value : value & 0xFFFFFFFFu; };
    switch (Opcode) {
    case 0x89:
    case 0x8B:
        if (!IsMem) {
            const unsigned from = Opcode == 0x8B ? rmIndex : regIndex;
            const unsigned to = Opcode == 0x8B ? regIndex : rmIndex;
            regs[to] = Is64 ? narrow(before[from]) : before[from];
        }
        return;
    case 0x8D:
        if (RipRelative && !AddrSize) regs[regIndex] = narrow(Rec.InstrNext + static_cast<std::uintptr_t>(Disp));
        return;
    case 0xC7:
        if (!IsMem && Reg == 0) regs[rmIndex] = narrow(static_cast<std::uintptr_t>(Signed(ImmOffset, 4)));
        return;
    default:
        break;
    }
    if (Opcode >= 0xB8 && Opcode <= 0xBF) {
        const std::int64_t imm = Signed(ImmOffset, ImmSize);
        regs[(Opcode & 7) | (RexB ? 8 : 0)] =
            ImmSize == 8 ? static_cast<std::uintptr_t>(imm) : static_cast<std::uintptr_t>(imm) & 0xFFFFFFFFu;
    }
}

void TDecoder::TrackRegisters(const TRegisterTrack& before) {
    TRegisterTrack& regs = *Registers;
    ForgetWrittenOperands();
    ForgetImplicitRegisters();
    StoreKnownValues(before);
    // The stack pointer moves with every push, pop and call: never tracked.
    regs[kSp] = 0;
    // A called routine may change the registers its caller does not own.
    if (Rec.IsCall) {
        for (unsigned i : {kAx, kCx, kDx}) regs[i] = 0;
        if (Is64)
            for (unsigned i : {unsigned{kSi}, unsigned{kDi}, 8u, 9u, 10u, 11u}) regs[i] = 0;
    }
    if (!Is64)
        for (unsigned i = 8; i < 16; ++i) regs[i] = 0;
}

void TDecoder::Finish(TStop stop) {
    // Bytes that do not decode still advance a walker by at least one byte.
    const std::size_t length = stop == TStop::Truncated || Pos == 0 ? 1 : Pos;
    Rec.Valid = false;
    Rec.InstrNext = Rec.InstrStart + (length > MaxInstructionLength ? 1 : length);
}

void TDecoder::Run() {
    TStop stop = ReadPrefixes();
    if (stop == TStop::None) stop = ReadOpcode();
    if (stop != TStop::None) return Finish(stop);
    switch (Map) {
    case 0:
        Rec.OpcodeWord = Opcode;
        break;
    case 1:
        Rec.OpcodeWord = static_cast<std::uint16_t>(0x0F00 | Opcode);
        break;
    case 2:
        Rec.OpcodeWord = static_cast<std::uint16_t>(0x3800 | Opcode);
        break;
    case 3:
        Rec.OpcodeWord = static_cast<std::uint16_t>(0x3A00 | Opcode);
        break;
    default:
        Rec.OpcodeWord = static_cast<std::uint16_t>((Map << 8) | Opcode);
        break;
    }
    if (Flags == Invalid) return Finish(TStop::Invalid);
    if (Flags & ModRmMask) {
        stop = ReadModRm();
        if (stop != TStop::None) return Finish(stop);
        if ((Flags & ModRmMask) == Group && Map == 0 && Rec.Encoding == TOpcodeEncoding::Legacy) {
            for (const TGroupRow& row : GroupTable()) {
                if (row.Opcode == Opcode) {
                    Flags = IsMem ? row.Memory[Reg] : row.Register[Reg];
                    break;
                }
            }
            if (Flags == Invalid) return Finish(TStop::Invalid);
        }
    }
    ImmOffset = Pos;
    ImmSize = ImmediateSize();
    if (!Skip(ImmSize)) return Finish(TStop::Truncated);
    if (Pos > MaxInstructionLength) return Finish(TStop::Invalid);
    Rec.InstrNext = Rec.InstrStart + Pos;
    if (!FormIsDefined()) return Finish(TStop::Invalid);
    Rec.Valid = true;
    WorkOutTargets();
    if (!Rec.Valid) return;
    if ((Rec.IsCall || Rec.IsJump) && Rec.TargetAddr == Rec.InstrNext) {
        Rec.IsCall = Rec.IsJump = Rec.IsRelative = Rec.CanWiden = false;
        Rec.TargetAddr = Rec.DisplacementAddr = Rec.TargetSlot = 0;
        Rec.TargetWidth = 0;
    }
    if (Registers != nullptr) {
        const TRegisterTrack before = *Registers;
        TrackRegisters(before);
    }
}

} // namespace

std::uintptr_t DecodeInstruction(std::uintptr_t address, TInstruction& record,
                                 const TMemoryReader& memory, TCpuMode mode,
                                 TRegisterTrack* registers) {
    record = TInstruction{};
    if (address == 0) return 0;
    record.InstrStart = address;
    std::uint8_t bytes[MaxInstructionLength] = {};
    const std::size_t count = FetchBytes(memory, address, bytes);
    TDecoder(bytes, count, record, mode, registers, memory).Run();
    return record.InstrNext;
}

std::uintptr_t DecodeInstruction(std::uintptr_t address, TInstruction& record,
                                 const TMemoryReader& memory, TCpuMode mode,
                                 TRegisterTrack* registers, TInstructionText& text) {
    record = TInstruction{};
    // Keeps the text's storage: a caller that lists many instructions
    // through one record allocates once.
    text.Text.clear();
    text.MemoryAddress = 0;
    text.Immediate = 0;
    text.HasImmediate = false;
    if (address == 0) return 0;
    record.InstrStart = address;
    std::uint8_t bytes[MaxInstructionLength] = {};
    const std::size_t count = FetchBytes(memory, address, bytes);
    TDecoder decoder(bytes, count, record, mode, registers, memory);
    decoder.Run();
    disasm_detail::FormatInstruction(decoder, record, text);
    return record.InstrNext;
}

namespace disasm_detail {

std::uintptr_t DecodeInstruction(std::uintptr_t address, TInstruction& record, const TMemoryReader& memory,
                                 TCpuMode mode, TRegisterTrack* registers, TOperandView& operands) {
    record = TInstruction{};
    operands = TOperandView{};
    if (address == 0) return 0;
    record.InstrStart = address;
    std::uint8_t bytes[MaxInstructionLength] = {};
    const std::size_t count = FetchBytes(memory, address, bytes);
    TDecoder decoder(bytes, count, record, mode, registers, memory);
    decoder.Run();
    if (!record.Valid) return record.InstrNext;
    const TDecodeState& s = decoder;
    operands.Map = s.Map;
    operands.Opcode = s.Opcode;
    operands.Reg = s.Reg | (s.RexR ? 8 : 0);
    operands.RmReg = s.HasModRm && !s.IsMem ? static_cast<int>(s.Rm | (s.RexB ? 8 : 0)) : -1;
    operands.IsMem = s.IsMem;
    operands.RipRelative = s.RipRelative;
    operands.BaseReg = s.BaseReg;
    operands.IndexReg = s.HasIndex ? s.IndexReg : -1;
    operands.Scale = s.Scale;
    operands.Disp = s.Disp;
    operands.HasImmediate = s.ImmSize > 0;
    operands.Immediate = s.ImmSize > 0 ? s.Signed(s.ImmOffset, s.ImmSize) : 0;
    operands.OperandBits = s.RexW ? 64 : s.OpSize ? 16 : 32;
    return record.InstrNext;
}

} // namespace disasm_detail

} // namespace ax
