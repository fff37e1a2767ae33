#pragma once
// Printing a bug report: the report laid out as PDF pages in a fixed-pitch
// font (long lines wrapped, nothing cut) and handed to the default printer
// of the CUPS server the user's client setup names (CUPS_SERVER,
// client.conf, or the local scheduler).
#include <string>

namespace ax {

// How long the print road may wait; tests shorten it.
struct TPrintServer {
    int ConnectTimeoutMs = 5000; // reaching the server
    int ReplyTimeoutMs = 5000;   // each answer of the server
};
TPrintServer& PrintServer();

// Returns whether the server took the job; otherwise *error (when given)
// says why in words for the user. Never raises.
bool PrintBugReport(const std::string& report, std::string* error = nullptr);

// The report's pages as a PDF document (A4).
std::string BugReportPdf(const std::string& report);

} // namespace ax
