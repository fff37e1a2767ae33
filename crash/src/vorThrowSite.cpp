// The throw site of every C++ exception, recorded as it is thrown. Kept
// apart from the reporter's other code: the runtime's own declaration of
// the throw routine must not be in sight here.
#include <dlfcn.h>

#include <cstdint>

namespace std {
class type_info;
}

namespace ax::detail {
void RecordThrowSite(std::uintptr_t framePointer);
}

// Every throw of the program comes here first (the program's definition is
// found before the C++ runtime's).
extern "C" void __cxa_throw(void* object, std::type_info* type, void (*destructor)(void*)) {
    using Throw = void (*)(void*, std::type_info*, void (*)(void*));
    static const Throw real = reinterpret_cast<Throw>(::dlsym(RTLD_NEXT, "__cxa_throw"));
    ax::detail::RecordThrowSite(reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)));
    real(object, type, destructor);
    __builtin_unreachable();
}
