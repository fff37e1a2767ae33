#pragma once
// What the program writes on its standard streams. A terminal acts on the
// control bytes it is sent: an escape sequence in a file name could retitle
// it, move its cursor or rewrite what it shows. A stream bound to a terminal
// therefore shows outside text (file names, messages naming them) in the
// display form of rtl/displaytext.h, as the window shows names; to a pipe or
// a file the bytes go as they are (the selection feeds `xargs -0` and
// backups). The program's own text (the usage, line ends) is written as it
// is everywhere.
#include <ostream>
#include <string_view>

namespace ax {

// Binds stream to the descriptor it writes to: outside text is shown when
// fd is a terminal. The program binds its standard streams once at start;
// an unbound stream writes bytes as they are.
void BindConsoleStream(std::ostream& stream, int fd);
// As if bound to a terminal (true) or to a file (false).
void SetConsoleTerminal(std::ostream& stream, bool terminal);
bool ConsoleTerminal(std::ostream& stream);

// Outside text, written as the stream's binding wants it:
// `err << "ardentix: " << Shown(name) << '\n'`.
struct Shown {
    std::string_view Text;
};
std::ostream& operator<<(std::ostream& stream, Shown shown);

// The program's message line: "ardentix: MESSAGE" and a line end, the
// message shown.
void Tell(std::ostream& err, std::string_view message);

} // namespace ax
