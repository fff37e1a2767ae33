// Reading help files: the topics, their text and links, and the refusal of
// anything outside the format, with the line that broke it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "framework/helpfile.h"

namespace ax {
namespace {

const std::string kGood = "AXHELP 1  Backup   Help\r\n"
                          "# a comment\n"
                          "[100] The  selection\n"
                          "The tree and the list\n"
                          "\tshare one selection.\n"
                          "\n"
                          "\\[Brackets] and \\=> stay text.\n"
                          "=> 200\n"
                          "=> 200 More on masks\n"
                          "=> https://example.org/a?b=1 The web site\n"
                          "[200] Masks\n"
                          "Größe & <Art>.\n"
                          "=> http://example.org/\n";

TEST(HelpFile, TopicsTextAndLinks) {
    const THelpFile file = THelpFile::Parse(kGood, "good.axh");
    EXPECT_EQ(file.Title(), "Backup Help");
    ASSERT_EQ(file.Topics().size(), 2u);
    const THelpTopic* first = file.Topic(100);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Title, "The selection");
    EXPECT_EQ(first->Paragraphs,
              (std::vector<std::string>{"The tree and the list share one selection.", "[Brackets] and \\=> stay text."}));
    ASSERT_EQ(first->Links.size(), 3u);
    EXPECT_EQ(first->Links[0].Topic, 200);
    EXPECT_EQ(first->Links[0].Label, "Masks"); // the topic's title
    EXPECT_EQ(first->Links[1].Label, "More on masks");
    EXPECT_EQ(first->Links[2].Topic, 0);
    EXPECT_EQ(first->Links[2].Url, "https://example.org/a?b=1");
    EXPECT_EQ(first->Links[2].Label, "The web site");
    const THelpTopic* second = file.Topic(200);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->Paragraphs, (std::vector<std::string>{"Größe & <Art>."}));
    EXPECT_EQ(second->Links[0].Label, "http://example.org/");
    EXPECT_EQ(file.Topic(300), nullptr);
}

// What Parse says of a file: "" when it is taken.
std::string Refusal(const std::string& text) {
    try {
        THelpFile::Parse(text, "h.axh");
    } catch (const EHelpFileError& e) {
        return e.what();
    }
    return "";
}

TEST(HelpFile, WhatIsRefusedAndWhere) {
    EXPECT_EQ(Refusal(""), "h.axh, line 0: empty; a help file starts with \"AXHELP 1\"");
    EXPECT_EQ(Refusal("AXHELP 2\n"), "h.axh, line 1: not a help file; it starts with \"AXHELP 1\"");
    EXPECT_EQ(Refusal("AXHELP 12\n"), "h.axh, line 1: not a help file; it starts with \"AXHELP 1\"");
    EXPECT_EQ(Refusal("AXHELP 1\nloose text\n"), "h.axh, line 2: text before the first topic");
    EXPECT_EQ(Refusal("AXHELP 1\n=> 5\n"), "h.axh, line 2: text before the first topic");
    const std::string badTopic =
        "a topic starts with \"[\", its context number (1 to 2147483647) and \"]\"";
    EXPECT_EQ(Refusal("AXHELP 1\n[0] Zero\n"), "h.axh, line 2: " + badTopic);
    EXPECT_EQ(Refusal("AXHELP 1\n[2147483648] Big\n"), "h.axh, line 2: " + badTopic);
    EXPECT_EQ(Refusal("AXHELP 1\n[-1] Minus\n"), "h.axh, line 2: " + badTopic);
    EXPECT_EQ(Refusal("AXHELP 1\n[12 Open\n"), "h.axh, line 2: " + badTopic);
    EXPECT_EQ(Refusal("AXHELP 1\n[7]   \n"), "h.axh, line 2: topic 7 has no title");
    EXPECT_EQ(Refusal("AXHELP 1\n[7] A\n\n[7] B\n"), "h.axh, line 4: topic 7 again; the first is on line 2");
    EXPECT_EQ(Refusal("AXHELP 1\n[7] A\n=> 8 Gone\ntext\n"),
              "h.axh, line 3: a link to topic 8, which the file does not have");
    const std::string badLink = "a link leads to a topic's context number or to an http:// or https:// address";
    EXPECT_EQ(Refusal("AXHELP 1\n[7] A\n=> javascript:alert(1) X\n"), "h.axh, line 3: " + badLink);
    EXPECT_EQ(Refusal("AXHELP 1\n[7] A\n=> file:///etc/passwd X\n"), "h.axh, line 3: " + badLink);
    EXPECT_EQ(Refusal("AXHELP 1\n[7] A\n=> https://x.org/\"onmouseover X\n"), "h.axh, line 3: " + badLink);
    EXPECT_EQ(Refusal("AXHELP 1\n[7] A\n=>\n"), "h.axh, line 3: " + badLink);
    // The top bound is taken.
    EXPECT_EQ(Refusal("AXHELP 1\n[2147483647] Top\n"), "");
}

TEST(HelpFile, OnlyCleanUtf8Text) {
    const std::string refused = "h.axh, line 3: not UTF-8 text, or a control character";
    for (const std::string& bad : {std::string("\xC0\xAF"), std::string("\xED\xA0\x80"), std::string("\xF4\x90\x80\x80"),
                                  std::string("\xE2\x82"), std::string("\x80"), std::string("a\x1B[31m"),
                                  std::string("a\0b", 3), std::string("\xC2\x9B"), std::string("\x7F")})
        EXPECT_EQ(Refusal("AXHELP 1\n[1] T\n" + bad + "\n"), refused) << testing::PrintToString(bad);
    // A carriage return inside a line is a control character too.
    EXPECT_EQ(Refusal("AXHELP 1\n[1] T\na\rb\n"), refused);
    EXPECT_EQ(Refusal("AXHELP 1\n[1] T\n\xF0\x9F\x98\x80 \xE2\x82\xAC\n"), "");
}

class HelpFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/ax-helpfile-XXXXXX";
        folder = ::mkdtemp(pattern);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::string folder;
};

TEST_F(HelpFileOnDisk, ReadsAFileAndRefusesWhatIsNotOne) {
    const std::string good = folder + "/good.axh";
    std::ofstream(good) << kGood;
    EXPECT_EQ(THelpFile::Load(good).Topics().size(), 2u);

    EXPECT_THROW(THelpFile::Load(folder + "/missing.axh"), EHelpFileError);
    EXPECT_THROW(THelpFile::Load(folder), EHelpFileError); // a folder
    const std::string fifo = folder + "/pipe.axh";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(THelpFile::Load(fifo), EHelpFileError) << "a pipe must not be opened";

    const std::string big = folder + "/big.axh";
    {
        std::ofstream out(big);
        out << "AXHELP 1\n[1] T\n" << std::string(THelpFile::kMaxSize, 'x') << "\n";
    }
    try {
        THelpFile::Load(big);
        ADD_FAILURE() << "a file past the bound was read";
    } catch (const EHelpFileError& e) {
        EXPECT_EQ(std::string(e.what()), big + ": larger than a help file may be (4194304 bytes)");
    }
}

} // namespace
} // namespace ax
