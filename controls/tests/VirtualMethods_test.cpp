// Finding and replacing entries of a class's virtual function table.
#include <gtest/gtest.h>

#include "controls/VirtualMethods.h"
#include "platform/memory_map.h"
#include "rtl/exceptions.h"

namespace ax {
// The classes have external linkage: in an unnamed namespace the compiler
// sees their whole hierarchy and calls the methods without the table.
namespace vmt_test {

class Shape {
public:
    virtual int Sides() const { return 0; }
    virtual int Corners() const { return 0; }
    virtual const char* Name() const { return "shape"; }
    virtual ~Shape() = default; // two entries, after the three above
};

class Square : public Shape {
public:
    int Sides() const override { return 4; }
    int Corners() const override { return 5; } // differs, so the code is not shared with Sides
};

class Tagged {
public:
    virtual int Tag() const { return 7; }
    virtual ~Tagged() = default;
};

// Two bases, so two tables: Tagged's is the second of the group.
class TaggedSquare : public Square, public Tagged {};

} // namespace vmt_test

namespace {
using namespace vmt_test;

// Hides an object's class from the compiler, so that calls go through the
// table instead of straight to the method.
template <class T> const T& Opaque(const T& object) {
    const T* p = &object;
    asm volatile("" : "+r"(p));
    return *p;
}

// Stand-ins called in place of the methods: `this` comes first.
int NoSides(const Square*) { return -1; }
int OtherTag(const Tagged*) { return 99; }

bool EntryWritable(const void* entry) {
    const RegionMap map = RegionMap::build(); // kept: the region found lives in it
    const MemoryRegion* region = map.find(reinterpret_cast<std::uintptr_t>(entry));
    return region && region->writable;
}

TEST(VirtualMethods, EntriesAreFoundInDeclarationOrder) {
    const Square square;
    const TVirtualTable table = VirtualTableOf(square);
    EXPECT_EQ(VirtualMethodCount(table), 5);
    EXPECT_EQ(FindVirtualMethodIndex(table, VirtualMethodAddress(square, &Shape::Sides)), 1);
    EXPECT_EQ(FindVirtualMethodIndex(table, VirtualMethodAddress(square, &Shape::Corners)), 2);
    EXPECT_EQ(FindVirtualMethodIndex(table, VirtualMethodAddress(square, &Shape::Name)), 3);
    // A routine no entry holds.
    EXPECT_EQ(FindVirtualMethodIndex(table, reinterpret_cast<const void*>(&NoSides)), 0);
    // The base's own table holds the base's code.
    const Shape shape;
    EXPECT_NE(VirtualMethodAddress(shape, &Shape::Sides), VirtualMethodAddress(square, &Shape::Sides));
}

TEST(VirtualMethods, ReplacingAnEntryChangesEveryObjectOfTheClassOnly) {
    const Square square;
    const Shape shape;
    const Shape& asShape = Opaque<Shape>(square);
    const TVirtualTable table = VirtualTableOf(square);
    const void* original = VirtualMethodAddress(square, &Shape::Sides);
    const void* previous = SetVirtualMethodAddress(table, 1, reinterpret_cast<const void*>(&NoSides));
    EXPECT_EQ(previous, original);
    EXPECT_EQ(asShape.Sides(), -1);
    const Square other;
    EXPECT_EQ(Opaque(other).Sides(), -1);
    EXPECT_EQ(asShape.Corners(), 5);        // the neighbouring entry is untouched
    EXPECT_EQ(Opaque(shape).Sides(), 0); // another class's table too
    EXPECT_FALSE(EntryWritable(table)) << "the protection comes back";
    EXPECT_EQ(SetVirtualMethodAddress(table, 1, previous), reinterpret_cast<const void*>(&NoSides));
    EXPECT_EQ(asShape.Sides(), 4);
}

TEST(VirtualMethods, AnIndexOutsideTheTableRaises) {
    const Square square;
    const TVirtualTable table = VirtualTableOf(square);
    EXPECT_THROW(SetVirtualMethodAddress(table, 0, nullptr), EAssertionFailed);
    EXPECT_THROW(SetVirtualMethodAddress(table, 6, nullptr), EAssertionFailed);
    EXPECT_EQ(square.Name(), std::string("shape"));
}

TEST(VirtualMethods, TheSecondBaseIsReachedThroughItsOwnTable) {
    TaggedSquare both;
    const Tagged& asTagged = Opaque<Tagged>(both);
    const TVirtualTable second = VirtualTableOf(asTagged);
    EXPECT_NE(second, VirtualTableOf(static_cast<const Square&>(both)));
    EXPECT_EQ(VirtualMethodCount(second), 3); // Tag and the two destructors
    EXPECT_EQ(FindVirtualMethodIndex(second, VirtualMethodAddress(asTagged, &Tagged::Tag)), 1);
    const void* previous = SetVirtualMethodAddress(second, 1, reinterpret_cast<const void*>(&OtherTag));
    EXPECT_EQ(asTagged.Tag(), 99);
    const Tagged plain;
    EXPECT_EQ(Opaque(plain).Tag(), 7);
    EXPECT_EQ(Opaque(both).Sides(), 4);
    SetVirtualMethodAddress(second, 1, previous);
    EXPECT_EQ(asTagged.Tag(), 7);
}

} // namespace
} // namespace ax
