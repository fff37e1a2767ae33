// Optional libraries by name: stand-ins, the real loader, load counts.
#include "platform/library.h"

#include <gtest/gtest.h>

namespace ax {
namespace {

int Answer() { return 42; }

// Made before anything touches the libraries, so torn down after them at
// exit, as a display driver is: its stand-in goes then without harm (the
// test program exits cleanly, also under the sanitizers).
struct UnregistersAtExit {
    ~UnregistersAtExit() { UnregisterLibraryStandIn("Late.dll"); }
} unregistersAtExit;

TEST(Library, AStandInMayBeLetGoWhileTheProgramEnds) {
    RegisterLibraryStandIn("Late.dll", {{"Answer", reinterpret_cast<void*>(&Answer)}});
    EXPECT_NE(LoadLibrary("late.dll"), 0u);
}

TEST(Library, AMissingLibraryIsReportedMissing) {
    const unsigned old = SetErrorMode(SEM_NOOPENFILEERRORBOX);
    EXPECT_EQ(LoadLibrary("ExKbMon.dll"), 0u);
    EXPECT_EQ(SetErrorMode(old), SEM_NOOPENFILEERRORBOX);
    EXPECT_EQ(GetProcAddress(0, "RegisterKeyboardHook"), nullptr);
    EXPECT_FALSE(FreeLibrary(0));
}

TEST(Library, AStandInAnswersByNameWithoutCase) {
    RegisterLibraryStandIn("Sample.DLL", {{"Answer", reinterpret_cast<void*>(&Answer)}});
    const HMODULE a = LoadLibrary("sample.dll");
    ASSERT_NE(a, 0u);
    EXPECT_EQ(LoadLibrary("SAMPLE.dll"), a);
    EXPECT_EQ(LibraryLoadCount("sample.dll"), 2);
    auto* fn = reinterpret_cast<int (*)()>(GetProcAddress(a, "Answer"));
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(fn(), 42);
    EXPECT_EQ(GetProcAddress(a, "answer"), nullptr); // export names keep their case
    EXPECT_TRUE(FreeLibrary(a));
    EXPECT_TRUE(FreeLibrary(a));
    EXPECT_EQ(LibraryLoadCount("sample.dll"), 0);
    EXPECT_FALSE(FreeLibrary(a));
    UnregisterLibraryStandIn("sample.dll");
    EXPECT_EQ(LoadLibrary("sample.dll"), 0u);
}

TEST(Library, TheRealLoaderIsTriedForOtherNames) {
    const HMODULE m = LoadLibrary("libm.so.6");
    ASSERT_NE(m, 0u);
    auto* cosine = reinterpret_cast<double (*)(double)>(GetProcAddress(m, "cos"));
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
    EXPECT_TRUE(FreeLibrary(m));
}

} // namespace
} // namespace ax
