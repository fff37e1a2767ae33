#pragma once
// The independent decoder the differential tests compare with (capstone).
#include <capstone/capstone.h>
#include <cstddef>
#include <cstdint>

namespace ax::test {

class TOracle {
public:
    TOracle(cs_mode mode, bool detail) {
        if (cs_open(CS_ARCH_X86, mode, &Handle) != CS_ERR_OK) Handle = 0;
        if (Handle != 0 && detail) cs_option(Handle, CS_OPT_DETAIL, CS_OPT_ON);
        if (Handle != 0) Insn = cs_malloc(Handle);
    }
    ~TOracle() {
        if (Insn != nullptr) cs_free(Insn, 1);
        if (Handle != 0) cs_close(&Handle);
    }
    TOracle(const TOracle&) = delete;
    TOracle& operator=(const TOracle&) = delete;

    bool Ok() const { return Handle != 0 && Insn != nullptr; }
    // Decodes one instruction; nullptr when the oracle finds none.
    const cs_insn* Decode(const std::uint8_t* bytes, std::size_t size, std::uint64_t address) {
        const std::uint8_t* code = bytes;
        std::uint64_t at = address;
        return cs_disasm_iter(Handle, &code, &size, &at, Insn) ? Insn : nullptr;
    }

private:
    csh Handle = 0;
    cs_insn* Insn = nullptr;
};

} // namespace ax::test
