#include "base/legacy_text.h"

#include "base/text.h"

namespace tarvok {

namespace {
LegacyTextDecoder gDecoder = nullptr;
} // namespace

void SetLegacyTextDecoder(LegacyTextDecoder pDecoder) { gDecoder = pDecoder; }

std::string DecodeLegacyText(std::string_view pBytes)
{
    if (IsValidUtf8(pBytes) || gDecoder == nullptr)
        return std::string(pBytes);
    if (std::optional<std::string> text = gDecoder(pBytes))
        return *text;
    return std::string(pBytes);
}

} // namespace tarvok
