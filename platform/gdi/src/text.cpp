// Fonts, metrics and text drawing. Real faces are laid out by Pango; the
// test font draws boxes on a fixed grid so that layouts are exact numbers.
#include "rtl/text.h"

#include "paint.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fontconfig/fontconfig.h>
#include <functional>
#include <map>
#include <mutex>
#include <pango/pangocairo.h>
#include <tuple>

namespace ax {
using namespace gdi;

namespace {

std::atomic<int> testFontState{-1};

std::string toUtf8(std::u32string_view s, bool sanitize) {
    std::string out;
    if (!sanitize) {
        std::u16string w;
        for (char32_t c : s) {
            if (c >= 0x10000) {
                c -= 0x10000;
                w.push_back(char16_t(0xD800 + (c >> 10)));
                w.push_back(char16_t(0xDC00 + (c & 0x3FF)));
            } else {
                w.push_back(char16_t(c));
            }
        }
        return WideToUtf8(w);
    }
    for (char32_t c : s) {
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
        if (c < 0x80)
            out.push_back(char(c));
        else if (c < 0x800) {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(char(0xE0 | (c >> 12)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (c >> 18)));
            out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

// One Pango context per thread: Pango's font maps are not shared between
// threads.
struct PangoThread {
    PangoFontMap* map = nullptr;
    PangoContext* context = nullptr;
    PangoThread() {
        map = pango_cairo_font_map_new();
        context = pango_font_map_create_context(map);
        pango_cairo_context_set_resolution(context, 96.0);
        cairo_font_options_t* opts = cairo_font_options_create();
        cairo_font_options_set_antialias(opts, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_metrics(opts, CAIRO_HINT_METRICS_ON);
        cairo_font_options_set_hint_style(opts, CAIRO_HINT_STYLE_SLIGHT);
        pango_cairo_context_set_font_options(context, opts);
        cairo_font_options_destroy(opts);
    }
    ~PangoThread() {
        g_object_unref(context);
        g_object_unref(map);
    }
    PangoThread(const PangoThread&) = delete;
    PangoThread& operator=(const PangoThread&) = delete;
};

PangoContext* pangoContext() {
    thread_local PangoThread t;
    return t.context;
}

struct Metrics {
    int height = kTestFontHeight;
    int ascent = kTestFontAscent;
    int descent = kTestFontHeight - kTestFontAscent;
    int internalLeading = 0;
    int externalLeading = 0;
    int aveCharWidth = kTestFontAdvance;
    int maxCharWidth = kTestFontAdvance;
};

// A face at a size, with its metrics: asking Pango for metrics costs more
// than drawing a short text, so each thread keeps the faces it used.
struct PangoFace {
    PangoFontDescription* desc = nullptr;
    Metrics metrics;
    uint64_t id = 0; // names the face in the layout cache
};

class PangoFaces {
public:
    ~PangoFaces() { clear(); }
    const PangoFace* find(const LOGFONT& lf) const {
        auto it = faces_.find(keyOf(lf));
        return it == faces_.end() ? nullptr : &it->second;
    }
    const PangoFace& add(const LOGFONT& lf, PangoFace face) {
        if (faces_.size() >= 256) clear(); // a program that makes fonts of every size
        face.id = ++lastId_;
        return faces_.emplace(keyOf(lf), face).first->second;
    }

private:
    // What the description and the metrics depend on.
    using Key = std::tuple<std::string, LONG, LONG, BYTE>;
    static Key keyOf(const LOGFONT& lf) {
        return {std::string(lf.lfFaceName, strnlen(lf.lfFaceName, sizeof lf.lfFaceName)),
                lf.lfHeight, lf.lfWeight, lf.lfItalic};
    }
    void clear() {
        for (auto& [key, face] : faces_)
            pango_font_description_free(face.desc);
        faces_.clear();
    }
    std::map<Key, PangoFace> faces_;
    uint64_t lastId_ = 0;
};

// Laid-out texts: a repaint draws the same captions again and again.
struct LaidOut {
    PangoLayout* layout = nullptr;
    int width = 0, baseline = 0;
};

class Layouts {
public:
    ~Layouts() { clear(); }
    // decorations: 1 underline, 2 strike-out.
    const LaidOut& get(uint64_t face, unsigned decorations, std::u32string_view text,
                       const std::function<PangoLayout*()>& make) {
        Key key{face, decorations, std::u32string(text)};
        auto it = cache_.find(key);
        if (it != cache_.end()) return it->second;
        if (cache_.size() >= 512) clear();
        LaidOut l;
        l.layout = make();
        int h = 0;
        pango_layout_get_pixel_size(l.layout, &l.width, &h);
        l.baseline = pango_layout_get_baseline(l.layout) / PANGO_SCALE;
        return cache_.emplace(std::move(key), l).first->second;
    }

private:
    using Key = std::tuple<uint64_t, unsigned, std::u32string>;
    void clear() {
        for (auto& [key, l] : cache_)
            g_object_unref(l.layout);
        cache_.clear();
    }
    std::map<Key, LaidOut> cache_;
};

Layouts& layouts() {
    thread_local Layouts cache;
    return cache;
}

PangoFaces& pangoFaces() {
    thread_local PangoFaces faces;
    return faces;
}

// The font of a DC, ready to measure and draw.
class TextEngine {
public:
    explicit TextEngine(const Dc& dc) {
        const Font* f = getFont(dc.state.font);
        if (f) lf_ = f->lf;
        extra_ = dc.state.charExtra;
        test_ = IsTestFont();
        if (!test_) usePango();
    }
    TextEngine(const TextEngine&) = delete;
    TextEngine& operator=(const TextEngine&) = delete;

    const Metrics& metrics() const { return m_; }
    const LOGFONT& logFont() const { return lf_; }
    // Lays out in the right-to-left paragraph direction.
    void setRtlReading(bool on) { rtlReading_ = on; }

    int width(std::u32string_view s) const {
        if (s.empty()) return 0;
        int extra = extra_ * int(s.size());
        if (test_) return kTestFontAdvance * int(s.size()) + extra;
        return laidOut(s, false).width + extra;
    }

    // Draws with the top of the character cell at y; the source colour of
    // cr is the text colour.
    void draw(cairo_t* cr, int x, int y, std::u32string_view s) const {
        if (s.empty()) return;
        if (extra_ != 0) {
            for (char32_t c : s) {
                std::u32string one(1, c);
                draw1(cr, x, y, one);
                x += width(one);
            }
            return;
        }
        draw1(cr, x, y, s);
    }

private:
    void draw1(cairo_t* cr, int x, int y, std::u32string_view s) const {
        cairo_matrix_t m;
        cairo_get_matrix(cr, &m);
        if (m.xx < 0) {
            // Under a mirrored mapping the text's box is mirrored, its
            // glyphs are not: drawn unmirrored from the box's far end.
            const int w = width(s);
            cairo_save(cr);
            cairo_translate(cr, x + w, 0);
            cairo_scale(cr, -1, 1);
            draw2(cr, 0, y, s);
            cairo_restore(cr);
            return;
        }
        draw2(cr, x, y, s);
    }

    void draw2(cairo_t* cr, int x, int y, std::u32string_view s) const {
        if (test_) {
            int boxW = lf_.lfWeight >= FW_BOLD ? 6 : 5;
            for (size_t i = 0; i < s.size(); ++i) {
                if (s[i] == U' ') continue;
                cairo_rectangle(cr, x + int(i) * kTestFontAdvance + 1, y + 2, boxW,
                                kTestFontAscent - 2);
            }
            int w = kTestFontAdvance * int(s.size());
            if (lf_.lfUnderline) cairo_rectangle(cr, x, y + kTestFontAscent + 1, w, 1);
            if (lf_.lfStrikeOut) cairo_rectangle(cr, x, y + 6, w, 1);
            cairo_fill(cr);
            return;
        }
        const LaidOut& l = laidOut(s, true);
        cairo_move_to(cr, x, y + m_.ascent - l.baseline);
        pango_cairo_show_layout(cr, l.layout);
        cairo_new_path(cr);
    }

    const LaidOut& laidOut(std::u32string_view s, bool decorated) const {
        const unsigned decorations =
            decorated ? (lf_.lfUnderline ? 1u : 0u) | (lf_.lfStrikeOut ? 2u : 0u) : 0u;
        return layouts().get(faceId_, decorations | (rtlReading_ ? 4u : 0u), s,
                             [&] { return makeLayout(s, decorations != 0); });
    }

    PangoLayout* makeLayout(std::u32string_view s, bool decorated) const {
        PangoLayout* layout = pango_layout_new(pangoContext());
        pango_layout_set_font_description(layout, desc_);
        // Right-to-left reading: a right-to-left mark (no width) first makes
        // it the paragraph's direction, whatever the text starts with.
        std::string text = (rtlReading_ ? "\u200F" : "") + toUtf8(s, true);
        pango_layout_set_text(layout, text.data(), int(text.size()));
        if (decorated && (lf_.lfUnderline || lf_.lfStrikeOut)) {
            PangoAttrList* attrs = pango_attr_list_new();
            if (lf_.lfUnderline)
                pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
            if (lf_.lfStrikeOut) pango_attr_list_insert(attrs, pango_attr_strikethrough_new(TRUE));
            pango_layout_set_attributes(layout, attrs);
            pango_attr_list_unref(attrs);
        }
        return layout;
    }

    void usePango() {
        const PangoFace* face = pangoFaces().find(lf_);
        if (!face) {
            buildPango();
            face = &pangoFaces().add(lf_, PangoFace{desc_, m_});
        }
        desc_ = face->desc;
        m_ = face->metrics;
        faceId_ = face->id;
    }

    void buildPango() {
        desc_ = pango_font_description_new();
        std::string family = ResolveFontFamily(lf_.lfFaceName);
        pango_font_description_set_family(desc_, family.c_str());
        int weight = lf_.lfWeight <= 0 ? 400 : std::clamp(int(lf_.lfWeight), 100, 1000);
        pango_font_description_set_weight(desc_, PangoWeight(weight));
        pango_font_description_set_style(desc_,
                                         lf_.lfItalic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
        int h = lf_.lfHeight == 0 ? -11 : lf_.lfHeight;
        double em = std::abs(h);
        pango_font_description_set_absolute_size(desc_, em * PANGO_SCALE);
        readMetrics();
        if (h > 0 && m_.height > 0) {
            // A positive height is the cell height: scale the em to fit it.
            em = em * em / m_.height;
            pango_font_description_set_absolute_size(desc_, em * PANGO_SCALE);
            readMetrics();
        }
        m_.internalLeading = std::max(0, m_.height - int(std::lround(em)));
    }

    void readMetrics() {
        PangoFontMetrics* pm = pango_context_get_metrics(pangoContext(), desc_, nullptr);
        m_.ascent = PANGO_PIXELS_CEIL(pango_font_metrics_get_ascent(pm));
        m_.descent = PANGO_PIXELS_CEIL(pango_font_metrics_get_descent(pm));
        m_.height = m_.ascent + m_.descent;
        m_.aveCharWidth =
            std::max(1, PANGO_PIXELS(pango_font_metrics_get_approximate_char_width(pm)));
        m_.maxCharWidth = m_.aveCharWidth * 2;
        pango_font_metrics_unref(pm);
        m_.externalLeading = std::max(0, m_.height / 8);
    }

    LOGFONT lf_;
    int extra_ = 0;
    bool test_ = true;
    bool rtlReading_ = false;
    PangoFontDescription* desc_ = nullptr; // the thread's face cache owns it
    uint64_t faceId_ = 0;
    Metrics m_;
};

std::u32string codePoints(std::string_view text) {
    return Utf8ToCodePoints(text);
}

// Cairo on the DC with an optional extra logical clip rectangle.
cairo_t* beginText(Dc& dc, Target& t, const RECT* clip) {
    cairo_t* cr = beginCairo(dc, t);
    if (clip) {
        cairo_rectangle(cr, clip->left, clip->top, clip->right - clip->left,
                        clip->bottom - clip->top);
        cairo_clip(cr);
    }
    return cr;
}

void fillLogical(cairo_t* cr, const Target& t, RECT r, COLORREF c) {
    if (r.right <= r.left || r.bottom <= r.top) return;
    setSourceColor(cr, t, c);
    cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
    cairo_fill(cr);
}

} // namespace

void SetTestFont(bool on) {
    testFontState = on ? 1 : 0;
}

bool IsTestFont() {
    int s = testFontState.load();
    if (s < 0) {
        const char* env = std::getenv("AX_TEST_FONT");
        s = env && std::strcmp(env, "1") == 0 ? 1 : 0;
        testFontState = s;
    }
    return s == 1;
}

std::string ResolveFontFamily(std::string_view face) {
    static std::mutex lock;
    static std::map<std::string, std::string, std::less<>> cache;
    std::lock_guard g(lock);
    if (auto it = cache.find(face); it != cache.end()) return it->second;
    std::string lower = LowerCase(face);
    std::string generic(face);
    static const std::pair<const char*, const char*> aliases[] = {
        {"", "sans-serif"},
        {"ms sans serif", "sans-serif"},
        {"microsoft sans serif", "sans-serif"},
        {"ms shell dlg", "sans-serif"},
        {"ms shell dlg 2", "sans-serif"},
        {"arial", "sans-serif"},
        {"tahoma", "sans-serif"},
        {"verdana", "sans-serif"},
        {"system", "sans-serif"},
        {"courier new", "monospace"},
        {"courier", "monospace"},
        {"lucida console", "monospace"},
        {"fixedsys", "monospace"},
        {"terminal", "monospace"},
        {"times new roman", "serif"},
    };
    for (auto& [from, to] : aliases)
        if (lower == from) generic = to;
    std::string result = generic;
    if (FcInit()) {
        FcPattern* pat = FcNameParse(reinterpret_cast<const FcChar8*>(generic.c_str()));
        if (pat) {
            FcConfigSubstitute(nullptr, pat, FcMatchPattern);
            FcDefaultSubstitute(pat);
            FcResult res;
            FcPattern* match = FcFontMatch(nullptr, pat, &res);
            FcChar8* family = nullptr;
            if (match && FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch &&
                family)
                result = reinterpret_cast<const char*>(family);
            if (match) FcPatternDestroy(match);
            FcPatternDestroy(pat);
        }
    }
    cache.emplace(std::string(face), result);
    return result;
}

bool GetTextMetrics(HDC hdc, TEXTMETRIC* tm) {
    Dc* dc = getDc(hdc);
    if (!dc || !tm) return false;
    TextEngine e(*dc);
    const Metrics& m = e.metrics();
    *tm = TEXTMETRIC{};
    tm->tmHeight = m.height;
    tm->tmAscent = m.ascent;
    tm->tmDescent = m.descent;
    tm->tmInternalLeading = m.internalLeading;
    tm->tmExternalLeading = m.externalLeading;
    tm->tmAveCharWidth = m.aveCharWidth;
    tm->tmMaxCharWidth = m.maxCharWidth;
    tm->tmWeight = e.logFont().lfWeight;
    tm->tmItalic = e.logFont().lfItalic;
    tm->tmUnderlined = e.logFont().lfUnderline;
    tm->tmStruckOut = e.logFont().lfStrikeOut;
    tm->tmPitchAndFamily = e.logFont().lfPitchAndFamily;
    return true;
}

bool GetTextExtentPoint32(HDC hdc, std::string_view text, SIZE* size) {
    Dc* dc = getDc(hdc);
    if (!dc || !size) return false;
    TextEngine e(*dc);
    *size = SIZE{e.width(codePoints(text)), e.metrics().height};
    return true;
}

bool GetTextExtentPoint32W(HDC hdc, std::u16string_view text, SIZE* size) {
    return GetTextExtentPoint32(hdc, WideToUtf8(text), size);
}

namespace {

bool textOut(Dc& dc, int x, int y, UINT options, const RECT* rect, std::u32string_view s,
             const int* dx) {
    Target t;
    if (!makeTarget(dc, t)) return false;
    TextEngine e(dc);
    e.setRtlReading(options & ETO_RTLREADING);
    const Metrics& m = e.metrics();
    int w = 0;
    if (dx)
        for (size_t i = 0; i < s.size(); ++i)
            w += dx[i];
    else
        w = e.width(s);
    UINT align = dc.state.textAlign;
    if (align & TA_UPDATECP) {
        x = dc.state.position.x;
        y = dc.state.position.y;
    }
    if ((align & TA_CENTER) == TA_CENTER)
        x -= w / 2;
    else if (align & TA_RIGHT)
        x -= w;
    int top = y;
    if ((align & TA_BASELINE) == TA_BASELINE)
        top = y - m.ascent;
    else if (align & TA_BOTTOM)
        top = y - m.height;
    cairo_t* cr = beginText(dc, t, (options & ETO_CLIPPED) ? rect : nullptr);
    if ((options & ETO_OPAQUE) && rect) fillLogical(cr, t, *rect, dc.state.bkColor);
    if (dc.state.bkMode == OPAQUE)
        fillLogical(cr, t, RECT{x, top, x + w, top + m.height}, dc.state.bkColor);
    setSourceColor(cr, t, dc.state.textColor);
    if (dx) {
        int cx = x;
        for (size_t i = 0; i < s.size(); ++i) {
            e.draw(cr, cx, top, s.substr(i, 1));
            cx += dx[i];
        }
    } else {
        e.draw(cr, x, top, s);
    }
    endCairo(dc, cr);
    if (align & TA_UPDATECP) {
        if ((align & TA_CENTER) != TA_CENTER && (align & TA_RIGHT))
            dc.state.position.x = x;
        else if ((align & TA_CENTER) != TA_CENTER)
            dc.state.position.x = x + w;
    }
    return true;
}

} // namespace

bool TextOut(HDC hdc, int x, int y, std::string_view text) {
    Dc* dc = getDc(hdc);
    return dc && textOut(*dc, x, y, 0, nullptr, codePoints(text), nullptr);
}

bool ExtTextOut(HDC hdc, int x, int y, UINT options, const RECT* rect, std::string_view text,
                const int* dx) {
    Dc* dc = getDc(hdc);
    return dc && textOut(*dc, x, y, options, rect, codePoints(text), dx);
}

bool TextOutW(HDC hdc, int x, int y, std::u16string_view text) {
    return TextOut(hdc, x, y, WideToUtf8(text));
}

bool ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* rect, std::u16string_view text,
                 const int* dx) {
    return ExtTextOut(hdc, x, y, options, rect, WideToUtf8(text), dx);
}

namespace {

// Next tab stop after `pos` (relative to the origin of the stops).
int nextTab(int pos, int tabCount, const int* stops, int defaultTab, int spaceWidth) {
    if (tabCount <= 0 || !stops) {
        int d = std::max(1, defaultTab);
        return (pos / d + 1) * d;
    }
    if (tabCount == 1) {
        int d = std::max(1, stops[0]);
        return (pos / d + 1) * d;
    }
    for (int i = 0; i < tabCount; ++i)
        if (stops[i] > pos) return stops[i];
    return pos + spaceWidth;
}

LONG tabbed(Dc& dc, int x, int y, std::u32string_view s, int tabCount, const int* stops, int origin,
            bool drawIt) {
    TextEngine e(dc);
    const Metrics& m = e.metrics();
    int spaceW = e.width(U" ");
    int pos = x;
    Target t;
    cairo_t* cr = nullptr;
    if (drawIt) {
        if (!makeTarget(dc, t)) return 0;
        cr = beginCairo(dc, t);
    }
    size_t start = 0;
    while (start <= s.size()) {
        size_t tab = s.find(U'\t', start);
        std::u32string_view seg =
            s.substr(start, tab == std::u32string_view::npos ? s.npos : tab - start);
        int w = e.width(seg);
        if (cr) {
            if (dc.state.bkMode == OPAQUE)
                fillLogical(cr, t, RECT{pos, y, pos + w, y + m.height}, dc.state.bkColor);
            setSourceColor(cr, t, dc.state.textColor);
            e.draw(cr, pos, y, seg);
        }
        pos += w;
        if (tab == std::u32string_view::npos) break;
        int next = origin + nextTab(pos - origin, tabCount, stops, 8 * m.aveCharWidth, spaceW);
        if (cr && dc.state.bkMode == OPAQUE)
            fillLogical(cr, t, RECT{pos, y, next, y + m.height}, dc.state.bkColor);
        pos = next;
        start = tab + 1;
    }
    if (cr) endCairo(dc, cr);
    int width = pos - x;
    return LONG((std::uint32_t(m.height) << 16) | (std::uint32_t(width) & 0xFFFF));
}

} // namespace

LONG TabbedTextOut(HDC hdc, int x, int y, std::string_view text, int tabCount, const int* tabStops,
                   int tabOrigin) {
    Dc* dc = getDc(hdc);
    return dc ? tabbed(*dc, x, y, codePoints(text), tabCount, tabStops, tabOrigin, true) : 0;
}

DWORD GetTabbedTextExtent(HDC hdc, std::string_view text, int tabCount, const int* tabStops) {
    Dc* dc = getDc(hdc);
    return dc ? DWORD(tabbed(*dc, 0, 0, codePoints(text), tabCount, tabStops, 0, false)) : 0;
}

// ---- DrawText ----------------------------------------------------------------------------

namespace {

struct TextLine {
    std::u32string text;
    int prefix = -1; // index of the underlined character
};

class TextLayout {
public:
    TextLayout(const TextEngine& e, UINT format, int tabChars)
        : e_(e), format_(format), tab_(std::max(1, tabChars) * e.metrics().aveCharWidth) {}

    int width(std::u32string_view s) const {
        if (!(format_ & DT_EXPANDTABS) || s.find(U'\t') == s.npos) return e_.width(s);
        int x = 0;
        size_t start = 0;
        while (true) {
            size_t tab = s.find(U'\t', start);
            x += e_.width(s.substr(start, tab == s.npos ? s.npos : tab - start));
            if (tab == s.npos) break;
            x = (x / tab_ + 1) * tab_;
            start = tab + 1;
        }
        return x;
    }

    // Draws a line whose left edge is x and top y.
    void draw(cairo_t* cr, int x, int y, std::u32string_view s) const {
        if (!(format_ & DT_EXPANDTABS)) {
            e_.draw(cr, x, y, s);
            return;
        }
        int pos = 0;
        size_t start = 0;
        while (true) {
            size_t tab = s.find(U'\t', start);
            auto seg = s.substr(start, tab == s.npos ? s.npos : tab - start);
            e_.draw(cr, x + pos, y, seg);
            pos += e_.width(seg);
            if (tab == s.npos) break;
            pos = (pos / tab_ + 1) * tab_;
            start = tab + 1;
        }
    }

private:
    const TextEngine& e_;
    UINT format_;
    int tab_;
};

TextLine stripPrefix(const std::u32string& s, bool noPrefix) {
    TextLine line;
    if (noPrefix) {
        line.text = s;
        return line;
    }
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == U'&') {
            if (i + 1 < s.size() && s[i + 1] == U'&') {
                line.text.push_back(U'&');
                ++i;
            } else if (i + 1 < s.size()) {
                line.prefix = int(line.text.size());
            }
            continue;
        }
        line.text.push_back(s[i]);
    }
    return line;
}

std::vector<TextLine> wrap(const TextLine& in, const TextLayout& layout, int maxWidth) {
    std::vector<TextLine> out;
    const std::u32string& s = in.text;
    const size_t n = s.size();
    std::u32string_view view(s);
    size_t pos = 0;
    do {
        // The line ends before a space run; a first word too wide for the
        // rectangle stands alone on its line, unbroken.
        size_t best = std::u32string::npos;
        size_t i = pos;
        while (i < n && s[i] == U' ')
            ++i;
        while (true) {
            size_t sp = s.find(U' ', i);
            size_t end = sp == s.npos ? n : sp;
            if (layout.width(view.substr(pos, end - pos)) <= maxWidth) {
                best = end;
            } else {
                if (best == s.npos) best = end;
                break;
            }
            if (sp == s.npos) break;
            i = sp;
            while (i < n && s[i] == U' ')
                ++i;
            if (i >= n) break;
        }
        TextLine line;
        line.text = s.substr(pos, best - pos);
        if (in.prefix >= int(pos) && in.prefix < int(best)) line.prefix = in.prefix - int(pos);
        out.push_back(std::move(line));
        pos = best;
        while (pos < n && s[pos] == U' ')
            ++pos;
    } while (pos < n);
    return out;
}

// The longest prefix of `s` that fits with "..." behind it.
size_t fitPrefix(std::u32string_view s, const TextLayout& layout, int maxWidth,
                 std::u32string_view tail) {
    size_t lo = 0, hi = s.size();
    while (lo < hi) {
        size_t mid = (lo + hi + 1) / 2;
        std::u32string c(s.substr(0, mid));
        c += tail;
        if (layout.width(c) <= maxWidth)
            lo = mid;
        else
            hi = mid - 1;
    }
    return lo;
}

void ellipsize(TextLine& line, const TextLayout& layout, int maxWidth, UINT format) {
    if (layout.width(line.text) <= maxWidth) return;
    const std::u32string dots = U"...";
    if (format & DT_PATH_ELLIPSIS) {
        size_t sep = line.text.find_last_of(U"\\/");
        if (sep != std::u32string::npos) {
            std::u32string tail = dots + line.text.substr(sep);
            std::u32string head = line.text.substr(0, sep);
            if (layout.width(tail) <= maxWidth) {
                size_t k = fitPrefix(head, layout, maxWidth, tail);
                line.text = head.substr(0, k) + tail;
                if (line.prefix >= int(k)) line.prefix = -1;
                return;
            }
            // Not even the last part fits: cut it at its end instead.
            line.text = tail;
            line.prefix = -1;
            if (layout.width(line.text) <= maxWidth) return;
            size_t k = fitPrefix(line.text, layout, maxWidth, dots);
            line.text = line.text.substr(0, std::max<size_t>(k, 0)) + dots;
            return;
        }
    }
    size_t k = fitPrefix(line.text, layout, maxWidth, dots);
    if (format & DT_WORD_ELLIPSIS) {
        size_t space = line.text.rfind(U' ', k);
        if (space != std::u32string::npos && space > 0 && k < line.text.size()) k = space;
    }
    line.text = line.text.substr(0, k) + dots;
    if (line.prefix >= int(k)) line.prefix = -1;
}

int drawText(Dc& dc, std::u32string& text, RECT* rect, UINT format, DRAWTEXTPARAMS* params) {
    TextEngine e(dc);
    e.setRtlReading(format & DT_RTLREADING);
    const Metrics& m = e.metrics();
    int tabChars = 8;
    if (format & DT_TABSTOP) {
        // The high byte of the low word is then the tab length, not flags.
        tabChars = int((format >> 8) & 0xFF);
        format &= ~0xFF00u;
    }
    if (params && params->iTabLength > 0) tabChars = params->iTabLength;
    TextLayout layout(e, format, tabChars == 0 ? 8 : tabChars);
    int leftMargin = params ? params->iLeftMargin : 0;
    int rightMargin = params ? params->iRightMargin : 0;
    int left = rect->left + leftMargin;
    int right = rect->right - rightMargin;
    int avail = std::max(0, right - left);
    int lineHeight = m.height + ((format & DT_EXTERNALLEADING) ? m.externalLeading : 0);
    bool single = format & DT_SINGLELINE;
    bool noPrefix = format & DT_NOPREFIX;

    // Raw lines.
    std::vector<std::u32string> raw;
    if (single) {
        std::u32string one = text;
        for (auto& c : one)
            if (c == U'\r' || c == U'\n') c = U' ';
        raw.push_back(one);
    } else if (!text.empty()) {
        std::u32string cur;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == U'\r' || text[i] == U'\n') {
                raw.push_back(cur);
                cur.clear();
                if (text[i] == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n') ++i;
            } else {
                cur.push_back(text[i]);
            }
        }
        raw.push_back(cur);
    }
    if (text.empty()) raw.clear();

    std::vector<TextLine> lines;
    for (auto& r : raw) {
        TextLine line = stripPrefix(r, noPrefix);
        if ((format & DT_WORDBREAK) && !single && !line.text.empty()) {
            for (auto& l : wrap(line, layout, avail))
                lines.push_back(std::move(l));
        } else {
            lines.push_back(std::move(line));
        }
    }
    if (format & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS))
        for (auto& l : lines)
            ellipsize(l, layout, avail, format);
    if ((format & DT_MODIFYSTRING) &&
        (format & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS)) && lines.size() == 1)
        text = lines[0].text;

    int maxWidth = 0;
    for (auto& l : lines)
        maxWidth = std::max(maxWidth, layout.width(l.text));
    int total = int(lines.size()) * lineHeight;
    if (params) params->uiLengthDrawn = UINT(text.size());

    int top = rect->top;
    if (single && (format & DT_VCENTER))
        top = rect->top + (rect->bottom - rect->top - lineHeight) / 2;
    else if (single && (format & DT_BOTTOM))
        top = rect->bottom - lineHeight;
    int result = (single && (format & (DT_VCENTER | DT_BOTTOM))) ? top + total - rect->top : total;

    if (format & DT_CALCRECT) {
        rect->right = rect->left + leftMargin + maxWidth + rightMargin;
        rect->bottom = rect->top + total;
        return result;
    }
    if (lines.empty()) return result;
    Target t;
    if (!makeTarget(dc, t)) return 0;
    cairo_t* cr = beginText(dc, t, (format & DT_NOCLIP) ? nullptr : rect);
    int y = top;
    for (auto& l : lines) {
        int w = layout.width(l.text);
        int x = left;
        if (format & DT_CENTER)
            x = left + (avail - w) / 2;
        else if (format & DT_RIGHT)
            x = right - w;
        if (dc.state.bkMode == OPAQUE)
            fillLogical(cr, t, RECT{x, y, x + w, y + lineHeight}, dc.state.bkColor);
        setSourceColor(cr, t, dc.state.textColor);
        layout.draw(cr, x, y, l.text);
        if (l.prefix >= 0 && !(format & DT_HIDEPREFIX)) {
            int ux = x + layout.width(std::u32string_view(l.text).substr(0, size_t(l.prefix)));
            int uw = layout.width(std::u32string_view(l.text).substr(size_t(l.prefix), 1));
            fillLogical(cr, t, RECT{ux, y + m.ascent + 1, ux + uw, y + m.ascent + 2},
                        dc.state.textColor);
        }
        y += lineHeight;
    }
    endCairo(dc, cr);
    return result;
}

std::u32string fromWide(std::u16string_view w) {
    return Utf8ToCodePoints(WideToUtf8(w));
}

} // namespace

int DrawText(HDC hdc, std::string_view text, RECT* rect, UINT format) {
    Dc* dc = getDc(hdc);
    if (!dc || !rect) return 0;
    std::u32string s = codePoints(text);
    return drawText(*dc, s, rect, format & ~UINT(DT_MODIFYSTRING), nullptr);
}

int DrawTextEx(HDC hdc, std::string* text, RECT* rect, UINT format, DRAWTEXTPARAMS* params) {
    Dc* dc = getDc(hdc);
    if (!dc || !rect || !text) return 0;
    std::u32string s = codePoints(*text);
    int r = drawText(*dc, s, rect, format, params);
    if (format & DT_MODIFYSTRING) *text = toUtf8(s, false);
    return r;
}

int DrawTextW(HDC hdc, std::u16string_view text, RECT* rect, UINT format) {
    Dc* dc = getDc(hdc);
    if (!dc || !rect) return 0;
    std::u32string s = fromWide(text);
    return drawText(*dc, s, rect, format & ~UINT(DT_MODIFYSTRING), nullptr);
}

int DrawTextExW(HDC hdc, std::u16string* text, RECT* rect, UINT format, DRAWTEXTPARAMS* params) {
    Dc* dc = getDc(hdc);
    if (!dc || !rect || !text) return 0;
    std::u32string s = fromWide(*text);
    int r = drawText(*dc, s, rect, format, params);
    if (format & DT_MODIFYSTRING) *text = Utf8ToWide(toUtf8(s, false));
    return r;
}

} // namespace ax
