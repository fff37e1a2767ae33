// Printing a bug report through CUPS. The report goes out as PDF drawn here
// rather than as plain text: every CUPS queue takes PDF, while text needs a
// text filter the system may lack, and the layout (font, wrapping, pages)
// stays ours.
#include "crash/vorPrint.h"

#include "crash/vorBugReport.h"
#include "rtl/scopeguard.h"
#include "rtl/text.h"

#include <cairo-pdf.h>
#include <csignal>
#include <ctime>
#include <cups/cups.h>
#include <memory>
#include <pango/pangocairo.h>
#include <string_view>

namespace ax {

namespace {

// A4 in points, half-inch margins, 9 pt type: about 95 columns.
constexpr double kPageWidth = 595.28, kPageHeight = 841.89, kMargin = 36.0, kFontSize = 9.0;

// Pango takes valid UTF-8 only: stray bytes of the report become U+FFFD.
std::string ValidText(std::string_view line) {
    std::u32string points = Utf8ToCodePoints(line);
    for (char32_t& c : points)
        if ((c >= 0xD800 && c <= 0xDFFF) || (c < 0x20 && c != '\t')) c = 0xFFFD;
    std::u16string wide;
    for (char32_t c : points) {
        if (c >= 0x10000) {
            wide.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            wide.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            wide.push_back(static_cast<char16_t>(c));
        }
    }
    return WideToUtf8(wide);
}

cairo_status_t AppendPdf(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

// Lays the report out line by line at its line breaks, wrapping what is
// wider than the page and starting a new page when one is full.
void DrawReport(cairo_t* cr, std::string_view report) {
    // A font map of its own, freed after: the library's default one lives
    // as long as the thread.
    PangoFontMap* map = pango_cairo_font_map_new();
    ScopeGuard freeMap([&] { g_object_unref(map); });
    PangoContext* context = pango_font_map_create_context(map);
    ScopeGuard freeContext([&] { g_object_unref(context); });
    pango_cairo_update_context(cr, context);
    PangoLayout* layout = pango_layout_new(context);
    ScopeGuard freeLayout([&] { g_object_unref(layout); });
    PangoFontDescription* font = pango_font_description_from_string("Courier New, monospace");
    ScopeGuard freeFont([&] { pango_font_description_free(font); });
    pango_font_description_set_absolute_size(font, kFontSize * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_width(layout, static_cast<int>((kPageWidth - 2 * kMargin) * PANGO_SCALE));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    double y = kMargin;
    while (true) {
        const std::size_t end = report.find('\n');
        std::string_view line = report.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::string text = ValidText(line);
        pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
        for (int i = 0, n = pango_layout_get_line_count(layout); i < n; ++i) {
            PangoLayoutLine* row = pango_layout_get_line_readonly(layout, i);
            PangoRectangle logical{};
            pango_layout_line_get_extents(row, nullptr, &logical);
            const double height = static_cast<double>(logical.height) / PANGO_SCALE;
            if (y + height > kPageHeight - kMargin && y > kMargin) {
                cairo_show_page(cr);
                y = kMargin;
            }
            cairo_move_to(cr, kMargin, y - static_cast<double>(logical.y) / PANGO_SCALE);
            pango_cairo_show_layout_line(cr, row);
            y += height;
        }
        if (end == std::string_view::npos) break;
        report.remove_prefix(end + 1);
    }
}

// SIGPIPE is held on this thread while it talks to the server: a server
// that hangs up must fail the print, not end the program.
class HoldSigPipe {
public:
    HoldSigPipe() {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, &old_);
    }
    ~HoldSigPipe() {
        sigset_t pipe, pending;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        const timespec now{0, 0};
        while (sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) &&
               sigtimedwait(&pipe, nullptr, &now) > 0) {
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    HoldSigPipe(const HoldSigPipe&) = delete;
    HoldSigPipe& operator=(const HoldSigPipe&) = delete;

private:
    sigset_t old_{};
};

bool Fail(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return false;
}

// Submits pdf as one job to the server's default destination.
bool SubmitJob(http_t* http, const std::string& pdf, std::string* error) {
    cups_dest_t* dest = cupsGetNamedDest(http, nullptr, nullptr);
    if (!dest) {
        const ipp_status_t status = cupsLastError();
        if (status == IPP_STATUS_OK || status == IPP_STATUS_ERROR_NOT_FOUND)
            return Fail(error, "There is no default printer.");
        return Fail(error, std::string("The print server did not name a printer: ") +
                               cupsLastErrorString());
    }
    ScopeGuard freeDest([&] { cupsFreeDests(1, dest); });
    const std::string printer = dest->name;
    const std::string title = ExpandPlaceholders("%appname% bug report", "");
    const int job = cupsCreateJob(http, printer.c_str(), title.c_str(), 0, nullptr);
    if (job <= 0)
        return Fail(error, "The printer " + printer + " took no job: " + cupsLastErrorString());
    ScopeGuard cancel([&] { cupsCancelJob2(http, printer.c_str(), job, 0); });
    if (cupsStartDocument(http, printer.c_str(), job, title.c_str(), CUPS_FORMAT_PDF, 1) !=
            HTTP_STATUS_CONTINUE ||
        cupsWriteRequestData(http, pdf.data(), pdf.size()) != HTTP_STATUS_CONTINUE)
        return Fail(error, "The report could not be sent to the printer " + printer + ".");
    if (cupsFinishDocument(http, printer.c_str()) > IPP_STATUS_OK_EVENTS_COMPLETE)
        return Fail(error,
                    "The printer " + printer + " refused the report: " + cupsLastErrorString());
    cancel.Dismiss();
    return true;
}

} // namespace

TPrintServer& PrintServer() {
    static TPrintServer server;
    return server;
}

std::string BugReportPdf(const std::string& report) {
    std::string pdf;
    cairo_surface_t* surface =
        cairo_pdf_surface_create_for_stream(AppendPdf, &pdf, kPageWidth, kPageHeight);
    {
        cairo_t* cr = cairo_create(surface);
        ScopeGuard freeCairo([&] { cairo_destroy(cr); });
        cairo_set_source_rgb(cr, 0, 0, 0);
        DrawReport(cr, report);
    }
    cairo_surface_finish(surface); // writes the rest of the document
    const bool ok = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return ok ? pdf : std::string();
}

bool PrintBugReport(const std::string& report, std::string* error) {
    const std::string pdf = BugReportPdf(report);
    if (pdf.empty()) return Fail(error, "The report could not be laid out for printing.");
    const HoldSigPipe holdSigPipe;
    const TPrintServer& limits = PrintServer();
    const std::string server = cupsServer();
    http_t* http = httpConnect2(server.c_str(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                                limits.ConnectTimeoutMs, nullptr);
    if (!http) {
        const std::string where =
            server.starts_with("/") ? server : server + ":" + std::to_string(ippPort());
        return Fail(error, "No print server answers at " + where + ".");
    }
    ScopeGuard closeHttp([&] { httpClose(http); });
    // Giving up at the first silence: a stuck server must not hold the box.
    httpSetTimeout(
        http, limits.ReplyTimeoutMs / 1000.0, [](http_t*, void*) { return 0; }, nullptr);
    return SubmitJob(http, pdf, error);
}

} // namespace ax
