// The instruction decoder against Zydis (with its Intel formatter) and
// capstone on the same bytes: the executable sections of Debian's own
// libraries, decoded linearly in 64-bit mode. Each round runs every peer
// once, in turn; the table gives medians of the rounds and the ratio of
// each peer's throughput to ours.
//
// Usage: disasm_bench [ROUNDS [ELF FILE...]]
#include "crash/vorDisAsm.h"

#include <Zydis/Zydis.h>
#include <capstone/capstone.h>
#include <elf.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct TCode {
    std::uint64_t Address = 0;
    std::vector<std::uint8_t> Bytes;
};

// The executable sections of a 64-bit ELF file.
std::vector<TCode> ReadCode(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    const std::string elf = all.str();
    std::vector<TCode> out;
    Elf64_Ehdr eh;
    if (elf.size() < sizeof eh) return out;
    std::memcpy(&eh, elf.data(), sizeof eh);
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64) return out;
    for (unsigned i = 0; i < eh.e_shnum; ++i) {
        Elf64_Shdr sh;
        const std::size_t at = eh.e_shoff + std::size_t{eh.e_shentsize} * i;
        if (at + sizeof sh > elf.size()) break;
        std::memcpy(&sh, elf.data() + at, sizeof sh);
        if (sh.sh_type != SHT_PROGBITS || !(sh.sh_flags & SHF_EXECINSTR) || sh.sh_offset + sh.sh_size > elf.size())
            continue;
        TCode code;
        code.Address = sh.sh_addr;
        code.Bytes.assign(elf.begin() + static_cast<std::ptrdiff_t>(sh.sh_offset),
                          elf.begin() + static_cast<std::ptrdiff_t>(sh.sh_offset + sh.sh_size));
        out.push_back(std::move(code));
    }
    return out;
}

struct TPass {
    std::size_t Instructions = 0;
    std::size_t Characters = 0; // of text written, so that no peer's work is optimised away
};

TPass OursText(const std::vector<TCode>& code) {
    TPass pass;
    ax::TInstruction record;
    ax::TInstructionText text;
    for (const TCode& c : code) {
        const ax::TBufferReader memory(c.Address, c.Bytes);
        std::uintptr_t at = c.Address;
        const std::uintptr_t end = c.Address + c.Bytes.size();
        while (at < end) {
            ax::DecodeInstruction(at, record, memory, ax::TCpuMode::Bits64, nullptr, text);
            pass.Characters += text.Text.size();
            ++pass.Instructions;
            at = record.InstrNext;
        }
    }
    return pass;
}

TPass OursRecord(const std::vector<TCode>& code) {
    TPass pass;
    ax::TInstruction record;
    for (const TCode& c : code) {
        const ax::TBufferReader memory(c.Address, c.Bytes);
        std::uintptr_t at = c.Address;
        const std::uintptr_t end = c.Address + c.Bytes.size();
        while (at < end) {
            ax::DecodeInstruction(at, record, memory, ax::TCpuMode::Bits64);
            pass.Characters += record.Valid;
            ++pass.Instructions;
            at = record.InstrNext;
        }
    }
    return pass;
}

TPass ZydisText(const std::vector<TCode>& code) {
    TPass pass;
    ZydisDecoder decoder;
    ZydisDecoderInit(&decoder, ZYDIS_MACHINE_MODE_LONG_64, ZYDIS_STACK_WIDTH_64);
    ZydisFormatter formatter;
    ZydisFormatterInit(&formatter, ZYDIS_FORMATTER_STYLE_INTEL);
    ZydisDecodedInstruction instruction;
    ZydisDecodedOperand operands[ZYDIS_MAX_OPERAND_COUNT];
    char buffer[256];
    for (const TCode& c : code) {
        std::size_t at = 0;
        while (at < c.Bytes.size()) {
            ++pass.Instructions;
            if (!ZYAN_SUCCESS(ZydisDecoderDecodeFull(&decoder, c.Bytes.data() + at, c.Bytes.size() - at,
                                                     &instruction, operands))) {
                ++at;
                continue;
            }
            ZydisFormatterFormatInstruction(&formatter, &instruction, operands, instruction.operand_count_visible,
                                            buffer, sizeof buffer, c.Address + at, nullptr);
            pass.Characters += std::strlen(buffer);
            at += instruction.length;
        }
    }
    return pass;
}

TPass ZydisRecord(const std::vector<TCode>& code) {
    TPass pass;
    ZydisDecoder decoder;
    ZydisDecoderInit(&decoder, ZYDIS_MACHINE_MODE_LONG_64, ZYDIS_STACK_WIDTH_64);
    ZydisDecodedInstruction instruction;
    for (const TCode& c : code) {
        std::size_t at = 0;
        while (at < c.Bytes.size()) {
            ++pass.Instructions;
            if (!ZYAN_SUCCESS(ZydisDecoderDecodeInstruction(&decoder, nullptr, c.Bytes.data() + at,
                                                            c.Bytes.size() - at, &instruction))) {
                ++at;
                continue;
            }
            pass.Characters += instruction.length;
            at += instruction.length;
        }
    }
    return pass;
}

TPass CapstoneText(const std::vector<TCode>& code) {
    TPass pass;
    csh handle;
    if (cs_open(CS_ARCH_X86, CS_MODE_64, &handle) != CS_ERR_OK) return pass;
    cs_insn* insn = cs_malloc(handle);
    for (const TCode& c : code) {
        const std::uint8_t* bytes = c.Bytes.data();
        std::size_t size = c.Bytes.size();
        std::uint64_t address = c.Address;
        while (size > 0) {
            ++pass.Instructions;
            if (!cs_disasm_iter(handle, &bytes, &size, &address, insn)) {
                ++bytes, --size, ++address;
                continue;
            }
            pass.Characters += std::strlen(insn->mnemonic) + std::strlen(insn->op_str);
        }
    }
    cs_free(insn, 1);
    cs_close(&handle);
    return pass;
}

struct TPeer {
    const char* Name;
    std::function<TPass(const std::vector<TCode>&)> Run;
    std::vector<double> Rates; // instructions per second, one per round
    std::size_t Instructions = 0;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<std::string> files;
    for (int i = 2; i < argc; ++i) files.push_back(argv[i]);
    if (files.empty())
        files = {"/lib/x86_64-linux-gnu/libc.so.6", "/usr/lib/x86_64-linux-gnu/libstdc++.so.6",
                 "/lib/x86_64-linux-gnu/libm.so.6"};
    std::vector<TCode> code;
    std::size_t bytes = 0;
    for (const auto& f : files)
        for (auto& c : ReadCode(f)) {
            bytes += c.Bytes.size();
            code.push_back(std::move(c));
        }
    if (code.empty()) {
        std::fprintf(stderr, "no code read\n");
        return 1;
    }
    std::vector<TPeer> text = {{"ours (record and text)", OursText, {}},
                               {"Zydis (decoder and Intel formatter)", ZydisText, {}},
                               {"capstone (text)", CapstoneText, {}}};
    std::vector<TPeer> records = {{"ours (record only)", OursRecord, {}},
                                  {"Zydis (decoder, no operands)", ZydisRecord, {}}};
    std::size_t sink = 0;
    for (int round = 0; round < rounds; ++round)
        for (auto* group : {&text, &records})
            for (TPeer& peer : *group) {
                const auto start = std::chrono::steady_clock::now();
                const TPass pass = peer.Run(code);
                const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                peer.Rates.push_back(static_cast<double>(pass.Instructions) / seconds);
                peer.Instructions = pass.Instructions;
                sink += pass.Characters;
            }
    std::printf("%zu files, %.1f MB of code, %d interleaved rounds, medians\n", files.size(),
                static_cast<double>(bytes) / 1e6, rounds);
    for (auto* group : {&text, &records}) {
        const double ours = Median((*group)[0].Rates);
        for (const TPeer& peer : *group) {
            const double rate = Median(peer.Rates);
            std::printf("  %-38s %6.2f M instructions/s  (%zu instructions)  ours / peer = %.2f\n", peer.Name,
                        rate / 1e6, peer.Instructions, ours / rate);
        }
    }
    return sink == 1 ? 2 : 0;
}
