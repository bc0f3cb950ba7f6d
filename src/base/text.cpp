#include "base/text.h"

#include "base/numeric.h"

#include <charconv>
#include <cmath>

namespace tarvok {

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The number text without blanks and without one leading '+'. A second sign after the '+'
// ("+-5") leaves nothing, so that it is refused like any other text.
std::string_view NumberText(std::string_view pText)
{
    pText = Trim(pText);
    if (!pText.empty() && pText.front() == '+') {
        pText.remove_prefix(1);
        if (!pText.empty() && (pText.front() == '-' || pText.front() == '+'))
            return {};
    }
    return pText;
}
} // namespace

std::string_view Trim(std::string_view pText)
{
    while (!pText.empty() && IsBlank(pText.front()))
        pText.remove_prefix(1);
    while (!pText.empty() && IsBlank(pText.back()))
        pText.remove_suffix(1);
    return pText;
}

std::string ToLowerAscii(std::string_view pText)
{
    std::string out(pText);
    for (char& c : out)
        c = LowerAscii(c);
    return out;
}

bool EqualsNoCase(std::string_view pA, std::string_view pB)
{
    if (pA.size() != pB.size())
        return false;
    for (size_t i = 0; i < pA.size(); ++i)
        if (LowerAscii(pA[i]) != LowerAscii(pB[i]))
            return false;
    return true;
}

bool StartsWithNoCase(std::string_view pText, std::string_view pPrefix)
{
    return pText.size() >= pPrefix.size() && EqualsNoCase(pText.substr(0, pPrefix.size()), pPrefix);
}

std::optional<int64_t> ParseInteger(std::string_view pText)
{
    pText = NumberText(pText);
    if (pText.empty())
        return std::nullopt;
    int64_t value = 0;
    auto [ptr, ec] = std::from_chars(pText.data(), pText.data() + pText.size(), value);
    if (ec != std::errc() || ptr != pText.data() + pText.size())
        return std::nullopt;
    return value;
}

std::optional<int32_t> ParseInt32(std::string_view pText)
{
    if (auto whole = ParseInteger(pText)) {
        if (*whole < INT32_MIN || *whole > INT32_MAX)
            return std::nullopt;
        return static_cast<int32_t>(*whole);
    }
    if (auto number = ParseNumber(pText)) {
        int64_t rounded = RoundHalfEven(*number);
        if (rounded < INT32_MIN || rounded > INT32_MAX)
            return std::nullopt;
        return static_cast<int32_t>(rounded);
    }
    return std::nullopt;
}

std::optional<double> ParseNumber(std::string_view pText)
{
    pText = NumberText(pText);
    if (pText.empty())
        return std::nullopt;
    double value = 0;
    auto [ptr, ec] = std::from_chars(
        pText.data(), pText.data() + pText.size(), value, std::chars_format::general);
    if (ec != std::errc() || ptr != pText.data() + pText.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string FormatNumber(double pValue)
{
    char buf[64];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, pValue);
    return ec == std::errc() ? std::string(buf, ptr) : std::string("0");
}

std::string FormatNumber(float pValue)
{
    char buf[64];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, pValue);
    return ec == std::errc() ? std::string(buf, ptr) : std::string("0");
}

std::string ZeroPad(int64_t pValue, int pDigits)
{
    bool negative = pValue < 0;
    uint64_t magnitude
        = negative ? 0 - static_cast<uint64_t>(pValue) : static_cast<uint64_t>(pValue);
    std::string digits = std::to_string(magnitude);
    if (static_cast<int>(digits.size()) < pDigits)
        digits.insert(0, static_cast<size_t>(pDigits) - digits.size(), '0');
    return negative ? "-" + digits : digits;
}

bool IsValidUtf8(std::string_view pText)
{
    size_t i = 0;
    const size_t n = pText.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(pText[i]);
        size_t extra;
        uint32_t code;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= n)
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            unsigned char cc = static_cast<unsigned char>(pText[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (cc & 0x3F);
        }
        if ((extra == 1 && code < 0x80) || (extra == 2 && code < 0x800)
            || (extra == 3 && (code < 0x10000 || code > 0x10FFFF))
            || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

std::string BlankControlCharacters(std::string_view pText)
{
    std::string out;
    out.reserve(pText.size());
    for (size_t i = 0; i < pText.size(); ++i) {
        const auto c = static_cast<unsigned char>(pText[i]);
        if (c < 0x20 || c == 0x7F) {
            out += ' ';
        } else if (c == 0xC2 && i + 1 < pText.size()
            && static_cast<unsigned char>(pText[i + 1]) >= 0x80
            && static_cast<unsigned char>(pText[i + 1]) <= 0x9F) {
            out += ' ';
            ++i;
        } else {
            out += pText[i];
        }
    }
    return out;
}

} // namespace tarvok
