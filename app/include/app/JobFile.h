#pragma once
// What the program tells about a job file it cannot load or save: one line
// naming the file and the reason, the same in the window and on the
// command line.
#include "rtl/exceptions.h"

#include <string>

namespace ax {

// Why fileName cannot be read as a job ("x.JOB: no such job file", "x.JOB:
// cannot be read (Permission denied)", ...), or "" when it can be opened.
std::string JobOpenProblem(const std::string& fileName);

// The line for a save of fileName that raised error: the file named once,
// then the reason ("x.JOB: cannot save the job: the file is write-protected").
std::string JobSaveError(const std::string& fileName, const Exception& error);

// The line for a load of fileName that raised error: a file that cannot be
// opened as the opening tells it, one that is no job as "x.JOB: not a valid
// job file (reason)".
std::string JobLoadError(const std::string& fileName, const Exception& error);

} // namespace ax
