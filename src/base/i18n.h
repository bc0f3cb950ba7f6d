#pragma once

#include "base/text_marks.h"

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace tarvok {

/// The language of the user-facing texts. Every text is written in Japanese in the code and
/// is its own catalogue key; the English texts come from a compiled catalogue (a GNU .mo
/// file) that the front end loads at start.
enum class Language { Japanese, English };

/// Japanese when the first of LANGUAGE, LC_ALL, LC_MESSAGES and LANG that is set names a
/// Japanese locale ("ja", "ja_JP.UTF-8", "ja:en"), English otherwise ("C" included).
Language LanguageFromEnvironment();

/// "ja" and "en" name a language; "auto", an empty text or anything else means "decide from
/// the environment".
Language LanguageOfChoice(std::string_view pChoice);

/// Chooses the language. For English, pCatalogue is the .mo file to read; when it cannot be
/// read the texts stay Japanese and false is returned. Call once at start, before threads.
bool SetLanguage(Language pLanguage, const std::string& pCatalogue = {});

/// The language chosen by SetLanguage (Japanese until it is called).
Language CurrentLanguage();

/// The text in the current language: the catalogue's translation of pJapanese, or pJapanese
/// itself when it is Japanese or the catalogue has no entry.
const char* Tr(const char* pJapanese);

/// Replaces %1 … %9 in pPattern by pArgs[0] … pArgs[8], without translating; "%%" is one "%"
/// and any other "%" is kept as it stands.
std::string FillArgs(std::string_view pPattern, std::span<const std::string> pArgs);

/// The text of one placeholder value: integers in decimal, texts as they are.
template <class T> std::string ArgText(const T& pValue)
{
    if constexpr (std::is_integral_v<T> && !std::is_same_v<T, char> && !std::is_same_v<T, bool>)
        return std::to_string(pValue);
    else
        return std::string(std::string_view(pValue));
}

/// Tr of a text that carries placeholders %1 … %9, each replaced by the matching argument
/// (the translation may put them in another order).
template <class... Args> std::string TrArgs(const char* pJapanese, const Args&... pArgs)
{
    const std::array<std::string, sizeof...(Args)> texts { ArgText(pArgs)... };
    return FillArgs(Tr(pJapanese), texts);
}

} // namespace tarvok
