#pragma once

#include <string_view>

namespace tarvok::test {

/// True when the UTF-8 text holds Japanese: punctuation, kana, a CJK ideograph or a
/// full-width form (U+3000–U+30FF, U+3400–U+9FFF, U+FF00–U+FFEF). The checks of the English
/// interface fail on any of them.
inline bool HasJapanese(std::string_view pText)
{
    for (size_t i = 0; i + 2 < pText.size(); ++i) {
        const auto b0 = static_cast<unsigned char>(pText[i]);
        if ((b0 & 0xF0) != 0xE0)
            continue;
        const auto b1 = static_cast<unsigned char>(pText[i + 1]);
        const auto b2 = static_cast<unsigned char>(pText[i + 2]);
        const unsigned code = ((b0 & 0x0Fu) << 12) | ((b1 & 0x3Fu) << 6) | (b2 & 0x3Fu);
        if ((code >= 0x3000 && code <= 0x30FF) || (code >= 0x3400 && code <= 0x9FFF)
            || (code >= 0xFF00 && code <= 0xFFEF))
            return true;
    }
    return false;
}

} // namespace tarvok::test
