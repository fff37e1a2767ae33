// Writes the source of one resource made from a file: ax_resfile OUT.cpp
// TYPE NAME FILE. Linking the output puts the file's bytes into the module
// as the resource TYPE/NAME ("WAVE"/"CHIME" for a wave file).
#include "resource_source.h"

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: ax_resfile OUT.cpp TYPE NAME FILE\n";
        return 2;
    }
    const std::string type = argv[2], name = argv[3];
    if (type.empty() || type.size() > 255 || name.empty() || name.size() > 255) {
        std::cerr << "ax_resfile: a type and a name are 1 to 255 bytes\n";
        return 2;
    }
    std::ifstream in(argv[4], std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (!in) {
        std::cerr << "ax_resfile: cannot read " << argv[4] << "\n";
        return 1;
    }
    std::ostringstream src;
    src << "// Written by ax_resfile at build time from " << argv[4] << ".\n#include \"platform/resource.h\"\n\n"
        << "AX_RESOURCE(axResource, " << ax::tools::Literal(type) << ", " << ax::tools::Literal(name) << ",\n    "
        << ax::tools::Literal(bytes.str()) << ");\n";
    return ax::tools::WriteIfChanged(argv[1], src.str()) ? 0 : 1;
}
