#pragma once
// A private CUPS scheduler for the print tests: started on a free loopback
// port with its configuration, spool and logs in a folder of its own, a
// printer on a file device as its default, the client side (libcups, the
// lp tools) pointed at it through CUPS_SERVER and CUPS_SERVERROOT. It runs
// as root; Start says why it could not start.
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace ax::test {

// A scheduler of our own: its configuration, spool and logs in a private
// folder, listening on a free loopback port, with the printer "pdffile"
// as its default, which writes each job as PDF into Output().
class PrivateCups {
public:
    bool Start(std::string* error);
    void Stop();
    const std::string& Server() const { return server_; }
    std::string Output() const { return folder_ + "/out/pdffile.pdf"; }
    // Whether every job has left the queue and the file is whole (bounded).
    bool WaitIdle() const;

private:
    void WriteConfig(std::uint16_t port) const;
    std::string folder_, server_;
    pid_t pid_ = -1;
};

// Why a private scheduler cannot run here (not root, a program missing);
// empty when it can.
std::string PrivateCupsUnavailable();

// The text of a PDF (pdftotext), each run of blanks made one space, lines
// trimmed.
std::vector<std::string> PdfLines(const std::string& pdfFile);

std::string LoopbackServer(std::uint16_t port);
std::uint16_t FreePort();
std::string FindSystemProgram(const std::string& name);
// What a shell command prints on standard output.
std::string CommandOutput(const std::string& command);

} // namespace ax::test
