// Writes the source of a program's version block: ax_verblock OUT.cpp
// KEY=VALUE... The values become the text values of the block
// ("FileVersion=1.2.0.7", "ProductName=..."); "FileVersion" and
// "ProductVersion" (which defaults to the file version) also fill the fixed
// information. "FixedFileVersion=..." sets the fixed file version alone,
// with no text value (a block whose text lacks it). The output defines the resources "VERSION"/"VS_VERSION_INFO"
// and "VERSION"/"FIXED" (the two version words alone).
#include "platform/version.h"
#include "resource_source.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

bool ParseVersion(const std::string& text, std::uint32_t& ms, std::uint32_t& ls) {
    unsigned part[4] = {0, 0, 0, 0};
    std::istringstream in(text);
    for (int i = 0; i < 4; ++i) {
        if (!(in >> part[i]) || part[i] > 0xFFFF) return false;
        if (i < 3 && in.peek() == '.') in.get();
        else if (i < 3) break;
    }
    ms = (part[0] << 16) | part[1];
    ls = (part[2] << 16) | part[3];
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: ax_verblock OUT.cpp KEY=VALUE...\n";
        return 2;
    }
    ax::VersionBlockContents contents;
    std::string fileVersion, productVersion, fixedOnly;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const size_t eq = arg.find('=');
        if (eq == std::string::npos || eq == 0) {
            std::cerr << "ax_verblock: not KEY=VALUE: " << arg << "\n";
            return 2;
        }
        const std::string key = arg.substr(0, eq), value = arg.substr(eq + 1);
        if (key == "FixedFileVersion") {
            fixedOnly = value;
            continue;
        }
        if (key == "FileVersion") fileVersion = value;
        if (key == "ProductVersion") productVersion = value;
        contents.strings.emplace_back(key, value);
    }
    if (fileVersion.empty()) fileVersion = fixedOnly;
    if (productVersion.empty()) productVersion = fileVersion;
    if (!fileVersion.empty() &&
        (!ParseVersion(fileVersion, contents.fixed.dwFileVersionMS, contents.fixed.dwFileVersionLS) ||
         !ParseVersion(productVersion, contents.fixed.dwProductVersionMS, contents.fixed.dwProductVersionLS))) {
        std::cerr << "ax_verblock: a version is four numbers up to 65535: " << fileVersion << "\n";
        return 2;
    }
    const std::string block = ax::BuildVersionBlock(contents);
    if (block.size() > 0xFFFF) {
        std::cerr << "ax_verblock: the block exceeds 65535 bytes\n";
        return 2;
    }
    std::string fixed(8, '\0');
    for (int i = 0; i < 4; ++i) {
        fixed[size_t(i)] = char((contents.fixed.dwFileVersionMS >> (8 * i)) & 0xFF);
        fixed[size_t(4 + i)] = char((contents.fixed.dwFileVersionLS >> (8 * i)) & 0xFF);
    }
    std::ostringstream src;
    src << "// Written by ax_verblock at build time.\n#include \"platform/resource.h\"\n\n"
        << "AX_RESOURCE(axVersionBlock, \"VERSION\", \"VS_VERSION_INFO\",\n    " << ax::tools::Literal(block) << ");\n"
        << "AX_RESOURCE(axVersionFixed, \"VERSION\", \"FIXED\", " << ax::tools::Literal(fixed) << ");\n";
    return ax::tools::WriteIfChanged(argv[1], src.str()) ? 0 : 1;
}
