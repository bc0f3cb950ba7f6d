#pragma once

#include <string>
#include <string_view>

namespace tarvok {

/// A JSON string literal with its quotes; bytes that are not valid UTF-8 are taken as
/// Latin-1 so that the output is always valid JSON.
std::string JsonString(std::string_view pText);

} // namespace tarvok
