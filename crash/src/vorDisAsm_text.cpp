// Text of decoded instructions for the function listing.
#include "vorDisAsm_internal.h"

namespace ax::disasm_detail {

void FormatInstruction(const TDecodeState& state, const TInstruction& record,
                       TInstructionText& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    (void)state;
    std::string out = "db ";
    const std::size_t length = record.InstrNext - record.InstrStart;
    for (std::size_t i = 0; i < length && i < state.Count; ++i) {
        if (i > 0) out += ", ";
        out += "0x";
        out += kHex[state.Bytes[i] >> 4];
        out += kHex[state.Bytes[i] & 15];
    }
    text.Text = std::move(out);
}

} // namespace ax::disasm_detail
