// The cost checks of icon files (IconBudget.h).
#include "IconBudget.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <vector>

namespace ax::icons {
namespace {

constexpr auto npos = std::string_view::npos;
// Elements inside elements, and references through references: icons have
// a dozen or so; the bound keeps the count's own walk shallow.
constexpr int kMaxNesting = 512;
// Filter settings whose cost per pixel grows with them.
constexpr int kMaxTurbulenceOctaves = 8;
constexpr int kMaxConvolveOrder = 8;

struct Element {
    std::vector<size_t> children;
    std::vector<std::string> refs; // ids of elements it draws again
};

struct Scan {
    std::vector<Element> elements{Element{}}; // [0] is the document
    std::map<std::string, size_t, std::less<>> ids;
    std::vector<std::string> styleRefs; // from style sheets: may apply to every element
    std::string problem;
};

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.' || c == ':' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view LocalName(std::string_view name) {
    const size_t colon = name.rfind(':');
    return colon == npos ? name : name.substr(colon + 1);
}

// Every "url(#id)" in text.
void UrlRefs(std::string_view text, std::vector<std::string>& out) {
    for (size_t at = text.find("url("); at != npos; at = text.find("url(", at + 4)) {
        size_t i = at + 4;
        while (i < text.size() && (IsSpace(text[i]) || text[i] == '\'' || text[i] == '"')) ++i;
        if (i >= text.size() || text[i] != '#') continue;
        const size_t end = std::min(text.find_first_of(")'\" \t\r\n", i), text.size());
        out.emplace_back(text.substr(i + 1, end - i - 1));
    }
}

std::string CheckEntities(std::string_view svg) {
    std::map<std::string, int64_t, std::less<>> lengths;
    for (size_t at = svg.find("<!ENTITY"); at != npos; at = svg.find("<!ENTITY", at + 8)) {
        size_t i = at + 8;
        while (i < svg.size() && IsSpace(svg[i])) ++i;
        if (i < svg.size() && svg[i] == '%') return "declares a parameter entity";
        const size_t name = i;
        while (i < svg.size() && IsNameChar(svg[i])) ++i;
        const std::string_view entity = svg.substr(name, i - name);
        while (i < svg.size() && IsSpace(svg[i])) ++i;
        if (i >= svg.size() || (svg[i] != '"' && svg[i] != '\'')) return "declares an external entity";
        const size_t end = svg.find(svg[i], i + 1);
        if (end == npos) return "has an unfinished entity";
        const std::string_view value = svg.substr(i + 1, end - i - 1);
        if (value.find('&') != npos || value.find('%') != npos) return "declares an entity made of entities";
        lengths[std::string(entity)] = int64_t(value.size());
    }
    if (lengths.empty()) return {};
    int64_t added = 0;
    for (size_t at = svg.find('&'); at != npos; at = svg.find('&', at + 1)) {
        const size_t end = svg.find(';', at);
        if (end == npos) break;
        const auto it = lengths.find(svg.substr(at + 1, end - at - 1));
        if (it != lengths.end() && (added += it->second) > kMaxEntityText) return "its entities add too much text";
    }
    return {};
}

// A start tag's attributes, from just after its name; i ends after the tag.
// False when the tag never ends.
bool ReadAttributes(std::string_view svg, size_t& i, bool& selfClosing,
                    std::vector<std::pair<std::string_view, std::string_view>>& attributes) {
    for (;;) {
        while (i < svg.size() && IsSpace(svg[i])) ++i;
        if (i >= svg.size()) return false;
        if (svg[i] == '>' || svg.substr(i, 2) == "/>") {
            selfClosing = svg[i] == '/';
            i += selfClosing ? 2 : 1;
            return true;
        }
        const size_t name = i;
        while (i < svg.size() && !IsSpace(svg[i]) && svg[i] != '=' && svg[i] != '>' && svg[i] != '/') ++i;
        const std::string_view attribute = svg.substr(name, i - name);
        while (i < svg.size() && IsSpace(svg[i])) ++i;
        if (i >= svg.size()) return false;
        if (svg[i] != '=') {
            if (attribute.empty()) ++i; // a stray character
            continue;
        }
        ++i;
        while (i < svg.size() && IsSpace(svg[i])) ++i;
        if (i >= svg.size() || (svg[i] != '"' && svg[i] != '\'')) continue;
        const size_t end = svg.find(svg[i], i + 1);
        if (end == npos) return false;
        attributes.emplace_back(attribute, svg.substr(i + 1, end - i - 1));
        i = end + 1;
    }
}

// What one element asks for; a problem when it asks for what is refused.
void TakeElement(Scan& scan, std::string_view name,
                 const std::vector<std::pair<std::string_view, std::string_view>>& attributes, size_t index) {
    const std::string_view local = LocalName(name);
    if (local == "image") scan.problem = "embeds a picture";
    if (local == "include") scan.problem = "includes another file";
    Element& element = scan.elements[index];
    for (const auto& [attribute, value] : attributes) {
        const std::string_view key = LocalName(attribute);
        if (attribute == "id") scan.ids.emplace(std::string(value), index);
        if (key == "href" && value.starts_with('#')) element.refs.emplace_back(value.substr(1));
        UrlRefs(value, element.refs);
        if (local == "feTurbulence" && key == "numOctaves" && std::atoi(std::string(value).c_str()) > kMaxTurbulenceOctaves)
            scan.problem = "asks for too many turbulence octaves";
        if (local == "feConvolveMatrix" && key == "order" && std::atoi(std::string(value).c_str()) > kMaxConvolveOrder)
            scan.problem = "asks for too large a convolution";
    }
}

// Skips markup that is no element (comments, CDATA, declarations,
// processing instructions) at i; false when there is none there.
bool SkipOther(std::string_view svg, size_t& i, bool inStyle, Scan& scan) {
    const std::string_view rest = svg.substr(i);
    size_t end = npos;
    if (rest.starts_with("<!--")) {
        end = svg.find("-->", i + 4);
        i = end == npos ? svg.size() : end + 3;
    } else if (rest.starts_with("<![CDATA[")) {
        end = svg.find("]]>", i + 9);
        if (inStyle) UrlRefs(svg.substr(i, end == npos ? npos : end - i), scan.styleRefs);
        i = end == npos ? svg.size() : end + 3;
    } else if (rest.starts_with("<?")) {
        end = svg.find("?>", i + 2);
        i = end == npos ? svg.size() : end + 2;
    } else if (rest.starts_with("<!")) {
        // A declaration, its internal subset in brackets.
        int depth = 0;
        for (i += 2; i < svg.size(); ++i) {
            if (svg[i] == '[') ++depth;
            if (svg[i] == ']') --depth;
            if (svg[i] == '>' && depth <= 0) break;
        }
        ++i;
    } else {
        return false;
    }
    return true;
}

void ScanMarkup(std::string_view svg, Scan& scan) {
    std::vector<size_t> open{0};
    std::vector<std::string_view> openNames{std::string_view()};
    std::vector<std::pair<std::string_view, std::string_view>> attributes;
    size_t i = 0;
    while (scan.problem.empty() && (i = svg.find('<', i)) != npos) {
        const bool inStyle = LocalName(openNames.back()) == "style";
        if (SkipOther(svg, i, inStyle, scan)) continue;
        const bool closing = svg.substr(i, 2) == "</";
        size_t name = i + (closing ? 2 : 1), at = name;
        while (at < svg.size() && IsNameChar(svg[at])) ++at;
        const std::string_view tag = svg.substr(name, at - name);
        if (closing) {
            const auto it = std::find(openNames.rbegin(), openNames.rend() - 1, tag);
            if (it != openNames.rend() - 1) {
                const size_t keep = size_t(openNames.rend() - it) - 1;
                open.resize(keep);
                openNames.resize(keep);
            }
            i = svg.find('>', at);
            if (i == npos) return;
            continue;
        }
        attributes.clear();
        bool selfClosing = false;
        if (tag.empty() || !ReadAttributes(svg, at, selfClosing, attributes)) return;
        i = at;
        const size_t index = scan.elements.size();
        scan.elements.emplace_back();
        scan.elements[open.back()].children.push_back(index);
        TakeElement(scan, tag, attributes, index);
        if (selfClosing) continue;
        open.push_back(index);
        openNames.push_back(tag);
        if (open.size() > kMaxNesting) scan.problem = "nests too deep";
        if (LocalName(tag) == "style") {
            const size_t text = svg.find('<', i);
            UrlRefs(svg.substr(i, text == npos ? npos : text - i), scan.styleRefs);
        }
    }
}

// The elements e draws, references expanded; kMaxSvgInstances + 1 stands
// for more, -1 for a reference to itself or a walk too deep.
class Counter {
public:
    explicit Counter(const Scan& scan)
        : scan_(scan), memo_(scan.elements.size(), kUnknown) {}

    int64_t Instances(size_t e, int depth) {
        if (memo_[e] == kBusy || depth > kMaxNesting * 2) return -1;
        if (memo_[e] != kUnknown) return memo_[e];
        memo_[e] = kBusy;
        int64_t total = 1;
        const Element& element = scan_.elements[e];
        for (size_t child : element.children)
            if (!Add(total, Instances(child, depth + 1))) return memo_[e] = -1;
        for (const std::string& ref : element.refs)
            if (!Add(total, Referenced(ref, depth))) return memo_[e] = -1;
        return memo_[e] = total;
    }

    int64_t Referenced(const std::string& id, int depth) {
        const auto target = scan_.ids.find(id);
        return target == scan_.ids.end() ? 0 : Instances(target->second, depth + 1);
    }

    static bool Add(int64_t& total, int64_t more) {
        if (more < 0) return false;
        total = std::min(total + more, kMaxSvgInstances + 1);
        return true;
    }

private:
    static constexpr int64_t kUnknown = -2, kBusy = -3;
    const Scan& scan_;
    std::vector<int64_t> memo_;
};

} // namespace

std::string SvgCostProblem(std::string_view svg) {
    if (svg.size() > kMaxIconFileBytes) return "is larger than an icon file may be";
    if (std::string problem = CheckEntities(svg); !problem.empty()) return problem;
    Scan scan;
    ScanMarkup(svg, scan);
    if (!scan.problem.empty()) return scan.problem;
    Counter counter(scan);
    int64_t total = counter.Instances(0, 0);
    // A style sheet's reference may apply to every element.
    for (const std::string& ref : scan.styleRefs) {
        const int64_t each = counter.Referenced(ref, 0);
        if (each < 0) return "refers to itself";
        Counter::Add(total, std::min(each * int64_t(scan.elements.size()), kMaxSvgInstances + 1));
    }
    if (total < 0) return "refers to itself or nests too deep";
    if (total > kMaxSvgInstances) return "would draw more elements than an icon may";
    return {};
}

std::string PngCostProblem(std::string_view png) {
    // The header chunk comes first: its width and height, big-endian.
    if (png.size() < 24 || png.substr(12, 4) != "IHDR") return {};
    auto word = [&](size_t at) {
        uint32_t v = 0;
        for (size_t k = 0; k < 4; ++k)
            v = (v << 8) | static_cast<unsigned char>(png[at + k]);
        return v;
    };
    if (word(16) > uint32_t(kMaxPngSide) || word(20) > uint32_t(kMaxPngSide)) return "is larger than an icon may be";
    return {};
}

} // namespace ax::icons
