// Lists the loaded ELF objects through the dynamic loader (load base, code
// and data ranges, file name) and reads their exported symbols from the
// file on disk.
#include "platform/module.h"

#include "platform/elf_file.h"

#include <elf.h>
#include <link.h>
#include <unistd.h>

#include <climits>

namespace ax {

namespace {

std::string programFileName() {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

int collect(dl_phdr_info* info, size_t, void* context) {
    auto& modules = *static_cast<std::vector<ModuleInfo>*>(context);
    ModuleInfo m;
    m.bias = info->dlpi_addr;
    std::uintptr_t lowest = UINTPTR_MAX;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const auto& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD) continue;
        std::uintptr_t start = m.bias + ph.p_vaddr;
        std::uintptr_t end = start + ph.p_memsz;
        if (start < lowest) lowest = start;
        if (end > m.imageEnd) m.imageEnd = end;
        if ((ph.p_flags & PF_X) && m.codeEnd == 0) {
            m.codeStart = start;
            m.codeEnd = end;
        }
        if ((ph.p_flags & PF_W) && m.dataEnd == 0) {
            m.dataStart = start;
            m.dataEnd = end;
        }
    }
    if (lowest == UINTPTR_MAX) return 0;
    m.handle = lowest & ~std::uintptr_t{0xFFF};
    m.fileName = modules.empty() && (info->dlpi_name == nullptr || info->dlpi_name[0] == 0)
                     ? programFileName()
                     : std::string(info->dlpi_name ? info->dlpi_name : "");
    modules.push_back(std::move(m));
    return 0;
}

} // namespace

std::vector<ModuleInfo> loadedModules() {
    std::vector<ModuleInfo> modules;
    dl_iterate_phdr(collect, &modules);
    return modules;
}

std::optional<ModuleInfo> moduleOfAddress(std::uintptr_t address) {
    for (auto& m : loadedModules())
        if (address >= m.handle && address < m.imageEnd) return m;
    return std::nullopt;
}

std::optional<ModuleInfo> moduleOfHandle(std::uintptr_t handle) {
    auto modules = loadedModules();
    if (modules.empty()) return std::nullopt;
    if (handle == 0) return modules.front();
    for (auto& m : modules)
        if (m.handle == handle) return m;
    return std::nullopt;
}

std::optional<ModuleInfo> programModule() { return moduleOfHandle(0); }

std::vector<ModuleExport> moduleExports(const ModuleInfo& module) {
    std::vector<ModuleExport> out;
    auto file = ElfFile::load(module.fileName);
    if (!file.valid()) return out;
    for (auto& sym : file.symbols(SHT_DYNSYM)) {
        if (sym.type != STT_FUNC && sym.type != STT_OBJECT && sym.type != STT_GNU_IFUNC) continue;
        if (sym.bind != STB_GLOBAL && sym.bind != STB_WEAK) continue;
        out.push_back({std::move(sym.name), module.bias + static_cast<std::uintptr_t>(sym.value),
                       static_cast<std::uint32_t>(out.size() + 1)});
    }
    return out;
}

std::uintptr_t exportByName(const ModuleInfo& module, const std::string& name) {
    for (const auto& e : moduleExports(module))
        if (e.name == name) return e.address;
    return 0;
}

std::uintptr_t exportByOrdinal(const ModuleInfo& module, std::uint32_t ordinal) {
    auto exports = moduleExports(module);
    if (ordinal == 0 || ordinal > exports.size()) return 0;
    return exports[ordinal - 1].address;
}

std::string exportName(const ModuleInfo& module, std::uintptr_t address) {
    for (const auto& e : moduleExports(module))
        if (e.address == address) return e.name.empty() ? "#" + std::to_string(e.ordinal) : e.name;
    return {};
}

} // namespace ax
