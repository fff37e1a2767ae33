#pragma once
// The application's help file: topics keyed by context number, each with a
// title, paragraphs of text and links to other topics or web pages. The
// format is a small UTF-8 text format described in docs/help-files.md.
// A help file is untrusted input: anything outside the format is refused
// with the file's name and line.
#include <cstddef>
#include <string>
#include <vector>

#include "rtl/exceptions.h"

namespace ax {

class EHelpFileError : public Exception {
public:
    using Exception::Exception;
};

struct THelpLink {
    int Topic = 0;     // the context number of a topic, 0 for a web page
    std::string Url;   // "http://..." or "https://...", empty for a topic
    std::string Label; // what the link reads; never empty
};

struct THelpTopic {
    int Context = 0;
    std::string Title;
    std::vector<std::string> Paragraphs;
    std::vector<THelpLink> Links;
};

class THelpFile {
public:
    // Larger files are refused before they are read.
    static constexpr std::size_t kMaxSize = 4 << 20;

    // Parses the text of a help file; name is what errors call it.
    static THelpFile Parse(const std::string& text, const std::string& name);
    static THelpFile Load(const std::string& fileName);

    // The topic of a context number, nullptr when the file has none.
    const THelpTopic* Topic(int context) const;
    // In the file's order.
    const std::vector<THelpTopic>& Topics() const { return topics_; }
    const std::string& Title() const { return title_; }

private:
    std::string title_; // of the contents page
    std::vector<THelpTopic> topics_;
};

} // namespace ax
