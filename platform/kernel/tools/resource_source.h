#pragma once
// What the build-time resource writers share: bytes as a C++ string
// literal, and writing a source file only when its text changes.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace ax::tools {

// Octal escapes: never run into the next character as hex escapes would.
inline std::string Literal(const std::string& bytes) {
    std::string out = "\"";
    for (size_t i = 0; i < bytes.size(); ++i) {
        char esc[8];
        std::snprintf(esc, sizeof esc, "\\%03o", static_cast<unsigned char>(bytes[i]));
        out += esc;
        if (i % 24 == 23 && i + 1 < bytes.size()) {
            out += "\"\n    \"";
        }
    }
    return out + "\"";
}

// Rewritten only when it changes, so that nothing relinks for nothing.
inline bool WriteIfChanged(const char* path, const std::string& text) {
    std::ifstream old(path, std::ios::binary);
    std::ostringstream current;
    current << old.rdbuf();
    if (old && current.str() == text) return true;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return bool(out);
}

} // namespace ax::tools
