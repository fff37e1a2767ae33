#pragma once
// The host program's command line:
//
//   ardentix select JOBFILE PATH...     makes PATH... the job's selection
//   ardentix select [-0] JOBFILE -      the same with the paths read from
//                                       standard input, one a line (-0:
//                                       each ended by a NUL)
//   ardentix selection [-0] JOBFILE     prints the job's selection, a path a
//                                       line (-0: each ended by a NUL)
//   ardentix --help | -h                prints the usage
//
// Errors go to err as one line each, naming the file and what is wrong;
// the result is the exit status (0 done, 1 failed, 2 misuse). Names and
// messages are written through ConsoleText.h: shown on a terminal, exact
// bytes elsewhere.
#include <ostream>
#include <string>
#include <vector>

namespace ax {

// Every form of the program's command line, the window's too.
inline constexpr const char* kUsage =
    "usage: ardentix [JOBFILE]\n"
    "       ardentix demo SCREENSHOT.png\n"
    "       ardentix select JOBFILE PATH...\n"
    "       ardentix select [-0] JOBFILE -\n"
    "       ardentix selection [-0] JOBFILE\n"
    "       ardentix --help\n"
    "\n"
    "select JOBFILE - reads the paths from standard input, one a line: a line\n"
    "is the name as it is (a carriage return before the line end is part of\n"
    "it), and empty lines are skipped. With -0 each path is ended by a NUL\n"
    "(`find -print0`), for names that hold line breaks. A path that cannot be\n"
    "selected is named, and then nothing is saved; so is an input without\n"
    "paths. A file named \"-\" is given as ./-.\n";

// Whether the arguments are the command line's rather than the window's: a
// command, or an option (an unknown one is misuse, never a job's name).
bool IsCommandLine(const std::vector<std::string>& args);

// Whether the process ends as soon as the command returns. The program
// itself then leaves what a command loaded (a million records of a job) to
// the end of the process, which gives the heap back whole, instead of
// freeing it record by record; a caller that goes on gets everything freed.
enum class CommandEnd { Returns, ProcessEnds };

// in: the descriptor `select JOBFILE -` reads the paths from.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   int in = 0, CommandEnd end = CommandEnd::Returns);

} // namespace ax
