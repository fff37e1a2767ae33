// Writing names and messages to the standard streams: escaped for a
// terminal, exact bytes for a pipe or a file.
#include "app/ConsoleText.h"

#include "rtl/displaytext.h"

#include <unistd.h>

namespace ax {
namespace {

// The stream's own word that says it writes to a terminal.
int TerminalWord() {
    static const int index = std::ios_base::xalloc();
    return index;
}

} // namespace

void BindConsoleStream(std::ostream& stream, int fd) { SetConsoleTerminal(stream, ::isatty(fd) == 1); }

void SetConsoleTerminal(std::ostream& stream, bool terminal) { stream.iword(TerminalWord()) = terminal; }

bool ConsoleTerminal(std::ostream& stream) { return stream.iword(TerminalWord()) != 0; }

std::ostream& operator<<(std::ostream& stream, Shown shown) {
    if (!ConsoleTerminal(stream)) return stream.write(shown.Text.data(), std::streamsize(shown.Text.size()));
    const AnsiString text = EscapedName(shown.Text);
    return stream.write(text.data(), std::streamsize(text.size()));
}

void Tell(std::ostream& err, std::string_view message) { err << "ardentix: " << Shown{message} << '\n'; }

} // namespace ax
