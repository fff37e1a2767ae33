#pragma once
// Reading one string from the desktop's shared settings (XSETTINGS), the
// property another program (the settings manager) publishes: every length
// in it is checked against what is there.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ax {

// The string setting of that name; none when the blob is damaged, lacks the
// setting, or holds it as another type.
std::optional<std::string> XSettingsString(std::span<const std::uint8_t> blob, std::string_view name);

} // namespace ax
