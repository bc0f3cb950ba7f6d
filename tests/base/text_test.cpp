#include "base/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>

namespace tarvok {

TEST(Text, TrimRemovesBlanksAtBothEndsOnly)
{
    EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Trim(""), "");
    // A full-width space is text, not a blank.
    EXPECT_EQ(Trim("\xE3\x80\x80x"), "\xE3\x80\x80x");
}

TEST(Text, CaseFoldingTouchesAsciiLettersOnly)
{
    EXPECT_EQ(ToLowerAscii("ABC.Wav"), "abc.wav");
    EXPECT_EQ(ToLowerAscii("\xC3\x89T\xC3\x89"), "\xC3\x89t\xC3\x89"); // UTF-8 kept as is
    EXPECT_TRUE(EqualsNoCase("Track01.WAV", "track01.wav"));
    EXPECT_FALSE(EqualsNoCase("track01.wav", "track01.wa"));
    EXPECT_FALSE(EqualsNoCase("\xC3\x89", "\xC3\xA9")); // non-ASCII letters compare exactly
    EXPECT_TRUE(StartsWithNoCase("DEVOUTID_3", "DevOutID_"));
    EXPECT_FALSE(StartsWithNoCase("Dev", "DevOutID_"));
    EXPECT_TRUE(StartsWithNoCase("anything", ""));
}

TEST(Text, ParseIntegerTakesWholeNumbersOnly)
{
    const std::pair<const char*, std::optional<int64_t>> kCases[] = {
        { "42", 42 },
        { " -7 ", -7 },
        { "+5", 5 },
        { "9223372036854775807", std::numeric_limits<int64_t>::max() },
        { "9223372036854775808", std::nullopt },
        { "", std::nullopt },
        { "+", std::nullopt },
        { "+-5", std::nullopt },
        { "--5", std::nullopt },
        { "1.5", std::nullopt },
        { "12abc", std::nullopt },
        { "1 2", std::nullopt },
    };
    for (const auto& [text, expected] : kCases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ParseInteger(text), expected);
    }
}

TEST(Text, ParseInt32RoundsDecimalsHalfToEvenAndRefusesWhatDoesNotFit)
{
    const std::pair<const char*, std::optional<int32_t>> kCases[] = {
        { "192", 192 },
        { "2.5", 2 },
        { "3.5", 4 },
        { "-2.5", -2 },
        { "1e3", 1000 },
        { "2147483647", 2147483647 },
        { "2147483648", std::nullopt },
        { "-2147483649", std::nullopt },
        { "1e20", std::nullopt },
        { "abc", std::nullopt },
    };
    for (const auto& [text, expected] : kCases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ParseInt32(text), expected);
    }
}

TEST(Text, ParseNumberTakesWholeFiniteNumbers)
{
    const std::pair<const char*, std::optional<double>> kCases[] = {
        { "0", 0.0 },
        { " -23.5 ", -23.5 },
        { "+0.25", 0.25 },
        { "1e-3", 0.001 },
        { "44100", 44100.0 },
        { "", std::nullopt },
        { "+-1", std::nullopt },
        { "inf", std::nullopt },
        { "nan", std::nullopt },
        { "1e999", std::nullopt },
        { "1,5", std::nullopt },
        { "0x10", std::nullopt },
        { "12dB", std::nullopt },
    };
    for (const auto& [text, expected] : kCases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ParseNumber(text), expected);
    }
}

TEST(Text, FormatNumberGivesTheShortestTextThatReadsBack)
{
    EXPECT_EQ(FormatNumber(-23.0), "-23");
    EXPECT_EQ(FormatNumber(0.1), "0.1");
    EXPECT_EQ(FormatNumber(0.1f), "0.1");
    EXPECT_EQ(FormatNumber(-0.5f), "-0.5");
    for (double value : { 1.0 / 3.0, -110.0, 1e-7, 123456789.125 }) {
        SCOPED_TRACE(value);
        EXPECT_EQ(ParseNumber(FormatNumber(value)), value);
    }
}

TEST(Text, ZeroPadPadsTheDigitsNotTheSign)
{
    EXPECT_EQ(ZeroPad(12, 6), "000012");
    EXPECT_EQ(ZeroPad(12345, 3), "12345");
    EXPECT_EQ(ZeroPad(-5, 3), "-005");
    EXPECT_EQ(ZeroPad(0, 2), "00");
    EXPECT_EQ(ZeroPad(std::numeric_limits<int64_t>::min(), 1), "-9223372036854775808");
}

TEST(Text, IsValidUtf8RejectsMalformedSequences)
{
    const std::pair<std::string, bool> kCases[] = {
        { "", true },
        { "plain ascii", true },
        { "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", true }, // three-byte letters
        { "\xF0\x9F\x8E\xB5", true }, // four bytes
        { "\xC3", false }, // cut short at the end
        { "\xE6\x97", false },
        { "\xC3\x28", false }, // bad continuation
        { "\x80", false }, // stray continuation
        { "\xC0\x80", false }, // overlong
        { "\xE0\x80\x80", false },
        { "\xED\xA0\x80", false }, // surrogate
        { "\xF4\x90\x80\x80", false }, // beyond U+10FFFF
        { "\xFF", false },
    };
    for (const auto& [text, expected] : kCases) {
        SCOPED_TRACE(testing::PrintToString(text));
        EXPECT_EQ(IsValidUtf8(text), expected);
    }
}

TEST(Text, ControlCharactersBecomeBlanks)
{
    const std::pair<std::string, std::string> kCases[] = {
        { "plain ？ text", "plain ？ text" },
        { "\x1b[2Jclear", " [2Jclear" },
        { "tab\there\r\n", "tab here  " },
        { "del\x7f", "del " },
        { "csi\xc2\x9b"
          "31m",
            "csi 31m" },
        { "nbsp\xc2\xa0kept", "nbsp\xc2\xa0kept" },
        { "\xe3\x81\x82\xc2", "\xe3\x81\x82\xc2" },
    };
    for (const auto& [text, expected] : kCases) {
        SCOPED_TRACE(testing::PrintToString(text));
        EXPECT_EQ(BlankControlCharacters(text), expected);
    }
}

} // namespace tarvok
