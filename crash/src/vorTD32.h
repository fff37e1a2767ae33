#pragma once
// TD32 symbol information: the ".tds" file beside a module.
#include <string>

namespace ax {

// The whole ".tds" file beside the module, or empty when there is none, it
// cannot be read, it is too large, or its date (in whole local days) is
// before the module file's.
std::string ReadTdsBeside(const std::string& moduleFileName);

} // namespace ax
