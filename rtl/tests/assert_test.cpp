// Assert: a check that holds costs no allocation and makes no message; one
// that fails raises EAssertionFailed with exactly the caller's text.
#include <gtest/gtest.h>

#include "rtl/exceptions.h"

#include <cstdlib>
#include <new>

namespace {
thread_local int allocations = 0;
} // namespace

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

using namespace ax;

TEST(Assert, ACheckThatHoldsAllocatesNothing) {
    const int before = allocations;
    for (int i = 0; i < 100; ++i)
        Assert(i >= 0, "a message longer than any short string kept inline");
    EXPECT_EQ(allocations, before) << "the message was built though the check held";
}

TEST(Assert, AComputedMessageIsMadeOnlyOnFailure) {
    int made = 0;
    auto message = [&] {
        ++made;
        return std::string("entry ") + std::to_string(7) + " out of step";
    };
    Assert(true, message);
    EXPECT_EQ(made, 0);
    try {
        Assert(false, message);
        ADD_FAILURE() << "a failed check did not raise";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Message(), "entry 7 out of step");
    }
    EXPECT_EQ(made, 1);
}

// The text a failed check raised, or "(nothing raised)".
template <class F>
std::string Raised(F check) {
    try {
        check();
    } catch (const EAssertionFailed& e) {
        return e.Message();
    }
    return "(nothing raised)";
}

TEST(Assert, AFailedCheckRaisesTheCallersTextExactly) {
    const char* constant = "Panel links corrupted";
    const std::string built = "System image list out of step";
    EXPECT_EQ(Raised([] { Assert(false, "Node pool released more blocks than it gave"); }),
              "Node pool released more blocks than it gave");
    EXPECT_EQ(Raised([&] { Assert(false, constant); }), "Panel links corrupted");
    EXPECT_EQ(Raised([&] { Assert(false, built); }), "System image list out of step");
    EXPECT_EQ(Raised([&] { Assert(true, built); }), "(nothing raised)");
}
