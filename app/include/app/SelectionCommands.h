#pragma once
// The host program's command line:
//
//   ardentix select JOBFILE PATH...     makes PATH... the job's selection
//   ardentix selection [-0] JOBFILE     prints the job's selection, a path a
//                                       line (-0: each ended by a NUL)
//
// Errors go to err as one line each, naming the file and what is wrong;
// the result is the exit status (0 done, 1 failed, 2 misuse).
#include <ostream>
#include <string>
#include <vector>

namespace ax {

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace ax
