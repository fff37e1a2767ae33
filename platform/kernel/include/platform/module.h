#pragma once
// Modules are the ELF objects loaded in this process. A module's handle is
// its load base; its code range is its first executable loadable segment and
// its data range its first writable one. Exported names are the defined
// dynamic symbols (they stand in for an export directory).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ax {

struct ModuleInfo {
    std::uintptr_t handle = 0; // load base
    std::uintptr_t bias = 0;   // added to the file's virtual addresses
    std::uintptr_t codeStart = 0, codeEnd = 0; // [start, end)
    std::uintptr_t dataStart = 0, dataEnd = 0; // [start, end)
    std::uintptr_t imageEnd = 0;               // end of the highest loadable segment
    std::string fileName;                      // absolute path of the file
};

struct ModuleExport {
    std::string name;
    std::uintptr_t address = 0;
    std::uint32_t ordinal = 0; // 1-based position among the exports
};

// Every module of this process, the program first.
std::vector<ModuleInfo> loadedModules();
// The module whose loadable segments contain the address.
std::optional<ModuleInfo> moduleOfAddress(std::uintptr_t address);
// The module loaded at the handle; handle 0 stands for the program itself.
std::optional<ModuleInfo> moduleOfHandle(std::uintptr_t handle);
std::optional<ModuleInfo> programModule();

// Defined function and object symbols of the module's dynamic symbol table,
// read from its file, in table order.
std::vector<ModuleExport> moduleExports(const ModuleInfo& module);
std::uintptr_t exportByName(const ModuleInfo& module, const std::string& name);
std::uintptr_t exportByOrdinal(const ModuleInfo& module, std::uint32_t ordinal);
// The name of the export at exactly this address, "#" and the ordinal for a
// nameless one, empty when none.
std::string exportName(const ModuleInfo& module, std::uintptr_t address);

} // namespace ax
