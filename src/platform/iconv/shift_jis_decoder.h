#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvok {

/// Converts Shift-JIS (code page 932) bytes to UTF-8 with the C library's iconv; nothing
/// when a byte sequence is not valid Shift-JIS or the conversion is unavailable.
std::optional<std::string> DecodeShiftJis(std::string_view pBytes);

} // namespace tarvok
