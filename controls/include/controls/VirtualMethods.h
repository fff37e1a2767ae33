#pragma once
// Entries of a class's table of virtual functions, as the x86-64 C++ ABI
// (the Itanium ABI, which GCC and Clang share) lays it out: an object's
// first word points at the table's first function entry; entries follow in
// declaration order, a virtual destructor taking two.
//
// A table is addressed through an object of the class. With multiple
// inheritance each base has a table of its own inside the class's table
// group; address it through a reference to that base (its entries expect
// that base's `this`). Tables reached through virtual bases are not
// supported.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>

namespace ax {

// Address of a table's first function entry.
using TVirtualTable = void* const*;

template <class T>
    requires std::is_polymorphic_v<T>
TVirtualTable VirtualTableOf(const T& object) {
    TVirtualTable table;
    std::memcpy(&table, static_cast<const void*>(std::addressof(object)), sizeof table);
    return table;
}

// The code a member function pointer calls on the object: for a virtual
// function, what the object's table holds for it.
template <class C, class M>
const void* VirtualMethodAddress(const std::type_identity_t<C>& object, M C::*method) {
    // The ABI's member function pointer: a code address, or for a virtual
    // function 1 + the entry's byte offset in the table, and a `this`
    // adjustment.
    struct Pointer {
        std::uintptr_t ptr;
        std::ptrdiff_t adjust;
    };
    static_assert(sizeof(method) == sizeof(Pointer));
    Pointer p;
    std::memcpy(&p, &method, sizeof p);
    if ((p.ptr & 1) == 0) return reinterpret_cast<const void*>(p.ptr);
    const auto* self = reinterpret_cast<const C*>(reinterpret_cast<const char*>(std::addressof(object)) + p.adjust);
    return VirtualTableOf(*self)[(p.ptr - 1) / sizeof(void*)];
}

// How many function entries the table has: the run of code addresses from
// its first entry (what follows a table is never code).
int VirtualMethodCount(TVirtualTable table);

// The 1-based index of the first entry holding routine, 0 when none does.
int FindVirtualMethodIndex(TVirtualTable table, const void* routine);

// Puts routine into entry index (1-based) and returns what it held. The
// page is writable only for the write; its protection is restored after.
// An index outside the table raises EAssertionFailed.
const void* SetVirtualMethodAddress(TVirtualTable table, int index, const void* routine);

} // namespace ax
