// Reading a large linker map: 40,000 publics in 2,000 units with four line
// records each (line numbers up to six digits), read and sorted as a module's
// reader is built; then the lookups a stack trace makes. Medians of 5 runs.
#include "crash/vorMapFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kUnits = 2000;
constexpr int kPublicsPerUnit = 20;
constexpr int kLinesPerPublic = 4;
constexpr std::uint32_t kPublicSize = 0x40;

std::string hex8(std::uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "%08X", v);
    return b;
}

std::string largeMap() {
    const std::uint32_t codeSize = kUnits * kPublicsPerUnit * kPublicSize;
    std::string m = "\n Start         Length     Name                   Class\n";
    m += " 0001:00000000 " + hex8(codeSize) + "H .text                   CODE\n";
    m += " 0002:00000000 00010000H .data                   DATA\n\n\nDetailed map of segments\n\n";
    for (int u = 0; u < kUnits; ++u) {
        std::string line = " 0001:" + hex8(u * kPublicsPerUnit * kPublicSize) + " " +
                           hex8(kPublicsPerUnit * kPublicSize) +
                           " C=CODE     S=.text    G=(none)   M=unit" + std::to_string(u) + ".cpp";
        line.resize(std::max<std::size_t>(line.size(), 80), ' ');
        m += line + " ACBP=A9\n";
    }
    m += "\n\n  Address         Publics by Value\n\n";
    for (int p = 0; p < kUnits * kPublicsPerUnit; ++p)
        m += " 0001:" + hex8(p * kPublicSize) + "       ns::Class" + std::to_string(p / 7) +
             "::method" + std::to_string(p) + "\n";
    for (int u = 0; u < kUnits; ++u) {
        const std::string unit = "unit" + std::to_string(u) + ".cpp";
        m += "\n\nLine numbers for " + unit + "(" + unit + ") segment .text\n\n";
        int group = 0;
        for (int p = 0; p < kPublicsPerUnit; ++p)
            for (int l = 0; l < kLinesPerPublic; ++l) {
                const std::uint32_t address =
                    (u * kPublicsPerUnit + p) * kPublicSize + l * (kPublicSize / kLinesPerPublic);
                char text[48];
                std::snprintf(text, sizeof text, " %6d 0001:%s", 95000 + u * 100 + p * 4 + l,
                              hex8(address).c_str());
                m += text;
                if (++group % 4 == 0) m += "\n";
            }
        m += "\n";
    }
    m += "\n\nProgram entry point at 0001:00000000\n";
    return m;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main() {
    using Clock = std::chrono::steady_clock;
    const std::string text = largeMap();
    const ax::TModuleRanges ranges{0, 0x400000, 0x400000 + kUnits * kPublicsPerUnit * kPublicSize, 0x2000000,
                                   0x2010000};
    std::vector<double> readMs, lookupNs;
    std::mt19937 random(1);
    std::uniform_int_distribution<std::uintptr_t> pick(ranges.CodeStart, ranges.CodeEnd - 1);
    std::vector<std::uintptr_t> addresses(200000);
    for (auto& a : addresses) a = pick(random);
    std::size_t publics = 0, lines = 0;
    long sink = 0;
    for (int run = 0; run < 5; ++run) {
        ax::TMapFile map(ranges, "");
        const auto start = Clock::now();
        if (!map.ReadMapText(text)) return 1;
        map.SortLines();
        readMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        publics = map.Publics.size();
        lines = map.Lines.size();

        const auto lookups = Clock::now();
        for (auto a : addresses) {
            std::uintptr_t next = 0;
            sink += map.LineOf(a, next) + static_cast<long>(map.FindPublic(a).Address & 1) +
                    static_cast<long>(map.FindSegment(true, a).Length & 1);
        }
        lookupNs.push_back(std::chrono::duration<double, std::nano>(Clock::now() - lookups).count() /
                           static_cast<double>(addresses.size()));
    }
    std::printf("map text: %zu publics, %d units, %zu line records, %.1f MB\n", publics, kUnits, lines,
                static_cast<double>(text.size()) / 1e6);
    std::printf("  read and sort:  %8.1f ms  (median of 5)\n", median(readMs));
    std::printf("  lookups:        %8.0f ns per address (line, public and segment; median of 5)\n",
                median(lookupNs));
    return sink == 42 ? 2 : 0;
}
