#pragma once
// The example a newcomer sees first: a small ".JOB" compiled into the
// program, selecting items of a folder the program makes for it.
#include <cstdint>
#include <string>
#include <vector>

namespace ax {

// The example's folder. Its PIDLs are in the job's bytes, so it is fixed.
inline constexpr const char* kExampleFolder = "/tmp/ardentix-example";

// The job file's bytes: the folder's "Documents" and
// "Pictures/holiday.png" checked.
const std::vector<uint8_t>& ExampleJobBytes();

// Makes the example's folder with its files where missing (what is there
// is kept) and writes the job into it as "example.JOB". Answers the job's
// path, or "" with error saying why (the folder is someone else's, or not
// a folder).
std::string MakeExample(std::string& error);

} // namespace ax
