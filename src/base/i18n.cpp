#include "base/i18n.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <unordered_map>

namespace tarvok {

namespace {

Language gLanguage = Language::Japanese;

// Japanese text → English text, read once at start and only read afterwards.
std::unordered_map<std::string, std::string>& Catalogue()
{
    static std::unordered_map<std::string, std::string> catalogue;
    return catalogue;
}

uint32_t Word(const std::string& pData, size_t pAt, bool pSwapped)
{
    uint32_t value = 0;
    std::memcpy(&value, pData.data() + pAt, sizeof value);
    if (pSwapped)
        value = __builtin_bswap32(value);
    return value;
}

// The pIndex-th string of the table at pTable (length and offset pairs), or nothing when the
// file is too short for it.
bool StringAt(const std::string& pData, uint32_t pTable, uint32_t pIndex, bool pSwapped,
    std::string_view& pOut)
{
    const size_t entry = size_t { pTable } + size_t { pIndex } * 8;
    if (entry + 8 > pData.size())
        return false;
    const uint32_t length = Word(pData, entry, pSwapped);
    const uint32_t offset = Word(pData, entry + 4, pSwapped);
    if (size_t { offset } + length > pData.size())
        return false;
    pOut = std::string_view(pData).substr(offset, length);
    return true;
}

// Reads a GNU message catalogue: a magic number, the entry count and the offsets of the
// original and translated string tables. Entries with an empty translation and the header
// (empty key) are left out; a file that is not a catalogue yields nothing.
bool ReadCatalogue(const std::string& pPath, std::unordered_map<std::string, std::string>& pOut)
{
    std::ifstream in(pPath, std::ios::binary);
    if (!in)
        return false;
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() < 20)
        return false;
    constexpr uint32_t kMagic = 0x950412de;
    const uint32_t magic = Word(data, 0, false);
    if (magic != kMagic && __builtin_bswap32(magic) != kMagic)
        return false;
    const bool swapped = magic != kMagic;
    const uint32_t count = Word(data, 8, swapped);
    const uint32_t originals = Word(data, 12, swapped);
    const uint32_t translations = Word(data, 16, swapped);
    for (uint32_t i = 0; i < count; ++i) {
        std::string_view key;
        std::string_view text;
        if (!StringAt(data, originals, i, swapped, key)
            || !StringAt(data, translations, i, swapped, text))
            return false;
        if (!key.empty() && !text.empty())
            pOut.emplace(std::string(key), std::string(text));
    }
    return true;
}

} // namespace

Language LanguageFromEnvironment()
{
    for (const char* name : { "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG" }) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0')
            continue;
        return std::strncmp(value, "ja", 2) == 0 ? Language::Japanese : Language::English;
    }
    return Language::English;
}

Language LanguageOfChoice(std::string_view pChoice)
{
    if (pChoice == "ja")
        return Language::Japanese;
    if (pChoice == "en")
        return Language::English;
    return LanguageFromEnvironment();
}

bool SetLanguage(Language pLanguage, const std::string& pCatalogue)
{
    Catalogue().clear();
    gLanguage = Language::Japanese;
    if (pLanguage == Language::Japanese)
        return true;
    std::unordered_map<std::string, std::string> read;
    if (pCatalogue.empty() || !ReadCatalogue(pCatalogue, read))
        return false;
    Catalogue() = std::move(read);
    gLanguage = Language::English;
    return true;
}

Language CurrentLanguage() { return gLanguage; }

const char* Tr(const char* pJapanese)
{
    if (gLanguage == Language::Japanese)
        return pJapanese;
    const auto& catalogue = Catalogue();
    const auto found = catalogue.find(pJapanese);
    return found == catalogue.end() ? pJapanese : found->second.c_str();
}

std::string FillArgs(std::string_view pPattern, std::span<const std::string> pArgs)
{
    std::string out;
    out.reserve(pPattern.size());
    for (size_t i = 0; i < pPattern.size(); ++i) {
        const char c = pPattern[i];
        if (c == '%' && i + 1 < pPattern.size()) {
            const char next = pPattern[i + 1];
            if (next == '%') {
                out.push_back('%');
                ++i;
                continue;
            }
            if (next >= '1' && next <= '9' && static_cast<size_t>(next - '1') < pArgs.size()) {
                out += pArgs[static_cast<size_t>(next - '1')];
                ++i;
                continue;
            }
        }
        out.push_back(c);
    }
    return out;
}

} // namespace tarvok
