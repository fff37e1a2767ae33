#pragma once
// The example a newcomer sees first: a small ".JOB" compiled into the
// program, selecting items of a folder the program makes for it.
#include <cstdint>
#include <string>
#include <vector>

namespace ax {

// The example's folder, the running user's own:
// "$TMPDIR/ardentix-example-UID" ("/tmp/..." without a plain TMPDIR), so
// that every user of the machine has one.
std::string ExampleFolder();

// The job file's bytes: folder's "Documents" and "Pictures/holiday.png"
// checked, the folders on the way stored mixed, as the window stores them.
std::vector<uint8_t> ExampleJobBytes(const std::string& folder);

// Makes the example's folder with its files where missing (what is there
// is kept) and writes the job into it as "example.JOB". Answers the job's
// path, or "" with error saying why (the folder is someone else's, or not
// a folder: a link planted there is refused).
std::string MakeExample(std::string& error);

} // namespace ax
