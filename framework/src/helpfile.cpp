#include "framework/helpfile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <string_view>

#include "rtl/streams.h"
#include "rtl/sysutils.h"
#include "rtl/text.h"

namespace ax {

namespace {

constexpr std::string_view kSignature = "AXHELP 1";

// Length of the UTF-8 sequence a lead byte opens, 0 for a byte that opens
// none.
int SequenceLength(unsigned char c) {
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) return 2;
    if (c >= 0xE0 && c <= 0xEF) return 3;
    if (c >= 0xF0 && c <= 0xF4) return 4;
    return 0;
}

// Well-made UTF-8 with no control character but the tab.
bool IsCleanText(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int length = SequenceLength(c);
        if (length == 0 || i + size_t(length) > s.size()) return false;
        if (length == 1) {
            if ((c < 0x20 && c != '\t') || c == 0x7F) return false;
            ++i;
            continue;
        }
        char32_t cp = c & (0xFF >> (length + 1));
        for (int k = 1; k < length; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + size_t(k)]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not text.
        static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kLeast[length] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return false;
        if (cp >= 0x80 && cp < 0xA0) return false; // the C1 controls
        i += size_t(length);
    }
    return true;
}

// Runs of blanks become one space; none at the ends.
std::string Collapse(std::string_view s) {
    std::string out;
    for (char c : s) {
        const char d = c == '\t' ? ' ' : c;
        if (d == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += d;
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

// A context number: 1 to 2147483647 in decimal digits only.
bool ParseContext(std::string_view s, int& context) {
    if (s.empty() || s.size() > 10 || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const long long v = std::stoll(std::string(s));
    if (v < 1 || v > 0x7FFFFFFF) return false;
    context = int(v);
    return true;
}

bool IsWebAddress(std::string_view s) {
    const size_t rest = s.starts_with("https://") ? 8 : s.starts_with("http://") ? 7 : 0;
    return rest && s.size() > rest && s.find_first_of(" \t\"'<>\\`") == std::string_view::npos;
}

// The first word of s and what follows it (blanks between dropped).
std::pair<std::string_view, std::string_view> SplitWord(std::string_view s) {
    const size_t end = s.find_first_of(" \t");
    if (end == std::string_view::npos) return {s, {}};
    const size_t rest = s.find_first_not_of(" \t", end);
    return {s.substr(0, end), rest == std::string_view::npos ? std::string_view{} : s.substr(rest)};
}

class Parser {
public:
    explicit Parser(const std::string& name) : name_(name) {}

    void Run(std::string_view text) {
        size_t at = 0;
        while (at < text.size()) {
            size_t end = text.find('\n', at);
            if (end == std::string_view::npos) end = text.size();
            std::string_view line = text.substr(at, end - at);
            if (line.ends_with('\r')) line.remove_suffix(1);
            ++line_;
            if (!IsCleanText(line)) Fail("not UTF-8 text, or a control character");
            if (line_ == 1) Signature(line);
            else Line(line);
            at = end + 1;
        }
        if (line_ == 0) Fail("empty; a help file starts with \"AXHELP 1\"");
        if (!topics_.empty()) EndParagraph();
        for (const auto& [line, context] : topicLinks_)
            if (!lineOfTopic_.count(context)) {
                line_ = line;
                Fail(Format("a link to topic %d, which the file does not have", context));
            }
    }

    std::string title_;
    std::vector<THelpTopic> topics_;

private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw EHelpFileError(Format("%s, line %d: %s", name_, line_, what));
    }

    void Signature(std::string_view line) {
        if (!line.starts_with(kSignature) || (line.size() > kSignature.size() && line[kSignature.size()] != ' '))
            Fail("not a help file; it starts with \"AXHELP 1\"");
        title_ = Collapse(line.substr(kSignature.size()));
    }

    void Line(std::string_view line) {
        if (line.starts_with('#')) return;
        if (line.starts_with('[')) return Topic(line);
        if (line.starts_with("=>")) return Link(line.substr(2));
        if (line.starts_with('\\')) line.remove_prefix(1);
        if (Collapse(line).empty()) {
            if (!topics_.empty()) EndParagraph();
            return;
        }
        Current();
        paragraph_ += ' ';
        paragraph_ += line;
    }

    void Topic(std::string_view line) {
        const size_t close = line.find(']');
        int context = 0;
        if (close == std::string_view::npos || !ParseContext(line.substr(1, close - 1), context))
            Fail("a topic starts with \"[\", its context number (1 to 2147483647) and \"]\"");
        if (const auto seen = lineOfTopic_.find(context); seen != lineOfTopic_.end())
            Fail(Format("topic %d again; the first is on line %d", context, seen->second));
        THelpTopic topic;
        topic.Context = context;
        topic.Title = Collapse(line.substr(close + 1));
        if (topic.Title.empty()) Fail(Format("topic %d has no title", context));
        if (!topics_.empty()) EndParagraph();
        lineOfTopic_[context] = line_;
        topics_.push_back(std::move(topic));
    }

    void Link(std::string_view line) {
        THelpTopic& topic = Current();
        EndParagraph();
        const auto [target, label] = SplitWord(line.substr(std::min(line.find_first_not_of(" \t"), line.size())));
        THelpLink link;
        link.Label = Collapse(label);
        if (ParseContext(target, link.Topic)) {
            topicLinks_.push_back({line_, link.Topic});
        } else if (IsWebAddress(target)) {
            link.Url = std::string(target);
            if (link.Label.empty()) link.Label = link.Url;
        } else {
            Fail("a link leads to a topic's context number or to an http:// or https:// address");
        }
        topic.Links.push_back(std::move(link));
    }

    void EndParagraph() {
        const std::string text = Collapse(paragraph_);
        if (!text.empty()) topics_.back().Paragraphs.push_back(text);
        paragraph_.clear();
    }

    THelpTopic& Current() {
        if (topics_.empty()) Fail("text before the first topic");
        return topics_.back();
    }

    std::string name_;
    int line_ = 0;
    std::map<int, int> lineOfTopic_;              // context -> line
    std::vector<std::pair<int, int>> topicLinks_; // (line, context)
    std::string paragraph_;
};

} // namespace

THelpFile THelpFile::Parse(const std::string& text, const std::string& name) {
    if (text.size() > kMaxSize)
        throw EHelpFileError(Format("%s: larger than a help file may be (%d bytes)", name, int(kMaxSize)));
    Parser parser(name);
    parser.Run(text);
    THelpFile file;
    file.title_ = std::move(parser.title_);
    file.topics_ = std::move(parser.topics_);
    // A link without a label reads as its topic's title.
    for (THelpTopic& topic : file.topics_)
        for (THelpLink& link : topic.Links)
            if (link.Label.empty()) link.Label = file.Topic(link.Topic)->Title;
    return file;
}

THelpFile THelpFile::Load(const std::string& fileName) {
    // Only a plain file: opening a pipe or a device would wait for a writer.
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0)
        throw EHelpFileError(Format("Cannot read the help file %s (%s)", fileName, std::strerror(errno)));
    if (!S_ISREG(st.st_mode)) throw EHelpFileError(Format("Cannot read the help file %s (not a file)", fileName));
    std::string text;
    bool tooLarge = false;
    try {
        TFileStream in(fileName, fmOpenRead | fmShareDenyWrite);
        tooLarge = in.Size() > int64_t(kMaxSize);
        if (!tooLarge) {
            text.resize(size_t(in.Size()));
            in.ReadBuffer(text.data(), text.size());
        }
    } catch (const std::exception& e) {
        throw EHelpFileError(Format("Cannot read the help file %s (%s)", fileName, e.what()));
    }
    if (tooLarge)
        throw EHelpFileError(Format("%s: larger than a help file may be (%d bytes)", fileName, int(kMaxSize)));
    return Parse(text, fileName);
}

const THelpTopic* THelpFile::Topic(int context) const {
    const auto it = std::find_if(topics_.begin(), topics_.end(),
                                 [&](const THelpTopic& t) { return t.Context == context; });
    return it == topics_.end() ? nullptr : &*it;
}

} // namespace ax
