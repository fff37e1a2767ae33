#include "crash/vorTraceExport.h"

#include "platform/named_mapping.h"

#include <gtest/gtest.h>

#include <cstring>

namespace ax {
namespace {

TEST(TraceExport, TextIsCutToTheRealMappingSizeWhateverTheCallerSays) {
    NamedMapping::Open("vorTraceProcessMap").RemoveName();
    NamedMapping map = NamedMapping::Create("vorTraceProcessMap", 16);
    ASSERT_TRUE(map.Valid());
    std::memset(map.Data(), 'x', 16);
    DeliverProcessTrace("0123456789abcdefghijklmnopqrstuvwxyz", 1 << 20);
    const char* text = static_cast<const char*>(map.Data());
    EXPECT_EQ(std::string(text, 16), std::string("0123456789abcde") + '\0');
    // As asked, when the caller asks for less.
    DeliverProcessTrace("0123456789abcdefghijklmnopqrstuvwxyz", 4);
    EXPECT_STREQ(text, "012");
    DeliverProcessTrace("0123456789", 1);
    EXPECT_STREQ(text, "");
}

TEST(TraceExport, WithoutAMappingNothingHappens) {
    NamedMapping::Open("vorTraceProcessMap").RemoveName();
    EXPECT_EQ(vorTraceProcess(4096), 0);
}

TEST(TraceExport, TheExportWritesAFrozenReportOfThisProcess) {
    NamedMapping::Open("vorTraceProcessMap").RemoveName();
    NamedMapping map = NamedMapping::Create("vorTraceProcessMap", 1 << 20);
    ASSERT_TRUE(map.Valid());
    EXPECT_EQ(vorTraceProcess(1 << 20), 0);
    const std::string text = static_cast<const char*>(map.Data());
    EXPECT_NE(text.find("exception message : The application seems to be frozen."), std::string::npos) << text;
    EXPECT_NE(text.find("TheExportWritesAFrozenReportOfThisProcess"), std::string::npos) << text;
}

} // namespace
} // namespace ax
