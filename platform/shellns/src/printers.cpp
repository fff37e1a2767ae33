// The printers folder's items: the print system's destinations (libcups,
// which finds its scheduler through CUPS_SERVER and its client files).
#include "items.h"

#include <cups/cups.h>

namespace ax::shellns {
namespace {

std::string NameOf(const cups_dest_t& dest) {
    return dest.instance ? std::string(dest.name) + "/" + dest.instance : std::string(dest.name);
}

int StateOf(const cups_dest_t& dest) {
    const char* state = cupsGetOption("printer-state", dest.num_options, dest.options);
    return state ? std::atoi(state) : 0;
}

} // namespace

std::vector<PrinterInfo> ListPrinters() {
    // The scheduler is looked for afresh: libcups keeps the first one it
    // found, and the user's settings may name another since.
    cupsSetServer(nullptr);
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests(&dests);
    std::vector<PrinterInfo> out;
    for (int i = 0; i < count; ++i) out.push_back({NameOf(dests[i]), StateOf(dests[i])});
    cupsFreeDests(count, dests);
    return out;
}

bool FindPrinter(const std::string& name, PrinterInfo& printer) {
    for (const PrinterInfo& p : ListPrinters())
        if (p.name == name) {
            printer = p;
            return true;
        }
    return false;
}

std::string PrinterStateText(int state) {
    switch (state) {
    case 3:
        return "Idle";
    case 4:
        return "Printing";
    case 5:
        return "Stopped";
    default:
        return {};
    }
}

} // namespace ax::shellns
