#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tarvok {

/// The SHA-1 digest of pData (20 bytes), for identifiers that are defined over it (the
/// MusicBrainz disc id); not for anything that needs a secure hash.
std::array<uint8_t, 20> Sha1(std::string_view pData);

} // namespace tarvok
