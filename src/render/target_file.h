#pragma once

#include <string>
#include <string_view>

namespace tarvok {

/// A new empty temporary file beside pTarget (CreateTempSibling of the file layer), created
/// for this caller alone. Results are written there and renamed over the target when
/// complete, so the target holds its old content or the whole new one, never a partial file.
std::string TempSiblingName(std::string_view pTarget);

/// Flushes pSource to disk and renames it over pTarget (same folder, so the replacement is
/// atomic) through the file layer's CommitTempSibling. False, with both files as they were,
/// when that fails.
bool CommitFile(const std::string& pSource, const std::string& pTarget);

/// Copies pSource to a temporary sibling of pTarget and commits it. False, with no
/// temporary file left and pTarget as it was, when that fails.
bool CopyIntoPlace(const std::string& pSource, const std::string& pTarget);

} // namespace tarvok
