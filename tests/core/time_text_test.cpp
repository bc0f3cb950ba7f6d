#include "core/time_text.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tarvok {

TEST(TimeText, EveryStyleFormats65250Ms)
{
    const std::pair<int, const char*> kCases[] = {
        { 0, "001'05.250" },
        { 1, "01'05.2" },
        { 2, "00:01:05" },
        { 3, "0:01:05.2" },
        { 4, "01:05" },
        { 5, "065.250" },
        { 6, "065.25" },
        { 7, "01:05.250" },
        { 8, "00:01:05.2" },
        { 9, "01:05.2" },
        { 10, "00:01:05.250" },
        { 11, "00時01分05秒" },
        { 12, "000105" },
    };
    for (auto [style, text] : kCases) {
        SCOPED_TRACE(style);
        EXPECT_EQ(TimeText(65250, style, false), text);
    }
}

TEST(TimeText, SignAndNegativeTimes)
{
    EXPECT_EQ(TimeText(-500, 0, true), "-000'00.500");
    EXPECT_EQ(TimeText(-500, 0, false), "000'00.000");
    EXPECT_EQ(TimeText(500, 0, true), "000'00.500");
    // Hours beyond two digits and minutes beyond the style's width are not cut.
    EXPECT_EQ(TimeText(100 * 3600000 + 1, 10, false), "100:00:00.001");
    EXPECT_EQ(TimeText(1000 * 60000, 0, false), "1000'00.000");
    EXPECT_EQ(TimeText(INT32_MIN, 0, true), "-35791'23.648");
}

TEST(ParseTimeText, AcceptedForms)
{
    const std::tuple<const char*, int32_t> kCases[] = {
        { "1'05.250", 65250 },
        { "01:05.250", 65250 },
        { "00:01:05.25", 65250 },
        { "5", 5000 },
        { "1.25", 1250 },
        { "-2.5", -2500 },
        { "01:05", 3900000 },
        { "1:02:03", 3723000 },
        { "-1'00", -60000 },
        { "0'00.5", 500 },
        { "1\"30", 90000 },
        { "1:2:3:4:5", 3723400 },
        { " 7 ", 7000 },
    };
    for (auto [text, ms] : kCases) {
        SCOPED_TRACE(text);
        ParsedTime t = ParseTimeText(text, true);
        EXPECT_TRUE(t.Ok);
        EXPECT_EQ(t.Ms, ms);
    }
}

TEST(ParseTimeText, FailuresGiveTheFailValue)
{
    const char* kCases[] = { "1''5", "'5", "5'", "1:a", "1 05", "--5", "1:05:", "::", "12x" };
    for (const char* text : kCases) {
        SCOPED_TRACE(text);
        ParsedTime withFlag = ParseTimeText(text, true);
        EXPECT_FALSE(withFlag.Ok);
        EXPECT_EQ(withFlag.Ms, -1);
        ParsedTime withoutFlag = ParseTimeText(text, false);
        EXPECT_FALSE(withoutFlag.Ok);
        EXPECT_EQ(withoutFlag.Ms, 0);
    }
}

TEST(ParseTimeText, SingleNonNumberCharacterReturnsZeroWithoutOk)
{
    for (const char* text : { "x", ":", "", "-" }) {
        SCOPED_TRACE(text);
        ParsedTime t = ParseTimeText(text, true);
        EXPECT_FALSE(t.Ok);
        EXPECT_EQ(t.Ms, 0);
    }
}

TEST(ParseTimeText, OutOfRangeFailsInsteadOfWrapping)
{
    EXPECT_FALSE(ParseTimeText("999999999:00:00", true).Ok);
    EXPECT_FALSE(ParseTimeText("99999999999", true).Ok);
    EXPECT_FALSE(ParseTimeText("99999999999999999999'00", true).Ok);
}

TEST(TimeText, RoundTripsThroughTheParserForMillisecondStyles)
{
    for (int32_t ms : { 0, 1, 999, 65250, 3599999, 3600000, 86399999 }) {
        for (int style : { 0, 5, 7, 10 }) {
            SCOPED_TRACE(std::to_string(ms) + " style " + std::to_string(style));
            ParsedTime back = ParseTimeText(TimeText(ms, style, false), true);
            EXPECT_TRUE(back.Ok);
            EXPECT_EQ(back.Ms, ms);
        }
    }
}

TEST(TimeText, FramesAndMillisecondsRoundToNearest)
{
    EXPECT_EQ(FramesToMs(44100, 44100), 1000);
    EXPECT_EQ(FramesToMs(22, 44100), 0);
    EXPECT_EQ(FramesToMs(23, 44100), 1);
    EXPECT_EQ(MsToFrames(1000, 48000), 48000);
    EXPECT_EQ(FramesToMs(10, 0), 0);
}

} // namespace tarvok
