#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

/// Removes leading and trailing blanks (space, tab, CR, LF).
std::string_view Trim(std::string_view pText);

/// Lower-cases ASCII letters only; other bytes (UTF-8 included) are kept.
std::string ToLowerAscii(std::string_view pText);

/// Case-insensitive comparison of ASCII letters; other bytes compare exactly.
bool EqualsNoCase(std::string_view pA, std::string_view pB);

bool StartsWithNoCase(std::string_view pText, std::string_view pPrefix);

/// A whole decimal integer (optional sign, surrounding blanks allowed), or nothing when the
/// text is not one or does not fit.
std::optional<int64_t> ParseInteger(std::string_view pText);

/// A 32-bit integer from a whole number, or from a decimal one rounded half to even;
/// nothing when the text is not a number or the value does not fit.
std::optional<int32_t> ParseInt32(std::string_view pText);

/// A whole decimal number with optional fraction and exponent, or nothing.
std::optional<double> ParseNumber(std::string_view pText);

/// The shortest decimal text that reads back as the same value: -23 for -23.0, 0.1 for 0.1f.
std::string FormatNumber(double pValue);
std::string FormatNumber(float pValue);

/// The number with at least pDigits digits, zero-padded ("000012").
std::string ZeroPad(int64_t pValue, int pDigits);

/// True when every byte sequence is well-formed UTF-8.
bool IsValidUtf8(std::string_view pText);

/// pText with every control character made a blank: C0 (below 0x20), DEL and the C1 range
/// U+0080..U+009F in its UTF-8 form. Text from a disc or a server shown by any front end
/// goes through it, so that no title can drive a terminal (escape sequences, CSI).
std::string BlankControlCharacters(std::string_view pText);

} // namespace tarvok
