#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvok {

/// Converts legacy Shift-JIS (code page 932) text to UTF-8; nothing when it cannot.
using LegacyTextDecoder = std::optional<std::string> (*)(std::string_view pBytes);

/// Installs the converter used for old text files; the programs' main functions install
/// the platform's. Without one, legacy text is kept as it is.
void SetLegacyTextDecoder(LegacyTextDecoder pDecoder);

/// Text read from a file as UTF-8: valid UTF-8 as it is, anything else through the legacy
/// converter (when one is installed and succeeds), otherwise unchanged.
std::string DecodeLegacyText(std::string_view pBytes);

} // namespace tarvok
