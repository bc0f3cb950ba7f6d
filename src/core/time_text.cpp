#include "core/time_text.h"

#include "base/i18n.h"
#include "base/numeric.h"
#include "base/text.h"

#include <limits>
#include <vector>

namespace tarvok {

namespace {

std::string Pad(int64_t pValue, int pDigits) { return ZeroPad(pValue, pDigits); }

} // namespace

std::string TimeText(int32_t pMs, int pStyle, bool pSigned)
{
    std::string sign;
    int64_t ms = pMs;
    if (ms < 0) {
        if (pSigned) {
            sign = "-";
            ms = -ms;
        } else {
            ms = 0;
        }
    }
    const int64_t s = ms / 1000;
    const int64_t m = s / 60;
    const int64_t h = m / 60;
    const int64_t msPart = ms % 1000;
    const int64_t tenths = (ms / 100) % 10;
    const int64_t hundredths = (ms / 10) % 100;
    const int64_t sec = s % 60;
    const int64_t min = m % 60;
    std::string text;
    switch (pStyle) {
    default:
    case 0:
        text = Pad(m, 3) + "'" + Pad(sec, 2) + "." + Pad(msPart, 3);
        break;
    case 1:
        text = Pad(m, 2) + "'" + Pad(sec, 2) + "." + Pad(tenths, 1);
        break;
    case 2:
        text = Pad(h, 2) + ":" + Pad(min, 2) + ":" + Pad(sec, 2);
        break;
    case 3:
        text = Pad(h, 1) + ":" + Pad(min, 2) + ":" + Pad(sec, 2) + "." + Pad(tenths, 1);
        break;
    case 4:
        text = Pad(m, 2) + ":" + Pad(sec, 2);
        break;
    case 5:
        text = Pad(s, 3) + "." + Pad(msPart, 3);
        break;
    case 6:
        text = Pad(s, 3) + "." + Pad(hundredths, 2);
        break;
    case 7:
        text = Pad(m, 2) + ":" + Pad(sec, 2) + "." + Pad(msPart, 3);
        break;
    case 8:
        text = Pad(h, 2) + ":" + Pad(min, 2) + ":" + Pad(sec, 2) + "." + Pad(tenths, 1);
        break;
    case 9:
        text = Pad(m, 2) + ":" + Pad(sec, 2) + "." + Pad(tenths, 1);
        break;
    case 10:
        text = Pad(h, 2) + ":" + Pad(min, 2) + ":" + Pad(sec, 2) + "." + Pad(msPart, 3);
        break;
    case 11:
        text = TrArgs("%1時%2分%3秒", Pad(h, 2), Pad(min, 2), Pad(sec, 2));
        break;
    case 12:
        text = Pad(h, 2) + Pad(min, 2) + Pad(sec, 2);
        break;
    }
    return sign + text;
}

ParsedTime ParseTimeText(std::string_view pText, bool pFailValue)
{
    const ParsedTime failed { pFailValue ? -1 : 0, false };
    std::string_view text = Trim(pText);

    // A plain number is seconds.
    if (auto seconds = ParseNumber(text)) {
        int64_t ms = RoundHalfEven(*seconds * 1000.0);
        if (ms < std::numeric_limits<int32_t>::min() || ms > std::numeric_limits<int32_t>::max())
            return failed;
        return { static_cast<int32_t>(ms), true };
    }
    if (text.size() <= 1)
        return { 0, false };

    bool negative = false;
    if (text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    int colons = 0;
    int dots = 0;
    for (char c : text) {
        if (c == ':')
            ++colons;
        else if (c == '.')
            ++dots;
        else if (!(c >= '0' && c <= '9') && c != '\'' && c != '"')
            return failed;
    }
    bool readHours = colons > 0 && !(colons == 1 && dots == 1);

    // Split at every separator; an empty number means two separators in a row, or one at
    // either end.
    std::vector<std::string_view> numbers;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || !(text[i] >= '0' && text[i] <= '9')) {
            if (i == start)
                return failed;
            numbers.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }

    int64_t parts[4] = { 0, 0, 0, 0 }; // hours, minutes, seconds, fraction in ms
    size_t slot = readHours ? 0 : 1;
    bool gotMinuteOrLess = false;
    for (std::string_view number : numbers) {
        if (slot > 3)
            break;
        // Long digit runs are clamped instead of overflowing; such times fail the range check.
        std::string_view digits = number.size() > 12 ? number.substr(number.size() - 12) : number;
        int64_t value = ParseInteger(digits).value_or(0);
        if (number.size() > 12)
            value = std::numeric_limits<int32_t>::max();
        if (slot == 3) {
            if (number.size() == 1)
                value *= 100;
            else if (number.size() == 2)
                value *= 10;
        }
        parts[slot] = value;
        if (slot >= 1)
            gotMinuteOrLess = true;
        ++slot;
    }
    if (!gotMinuteOrLess)
        return failed;
    int64_t ms = parts[0] * 3600000 + parts[1] * 60000 + parts[2] * 1000 + parts[3];
    if (negative)
        ms = -ms;
    if (ms < std::numeric_limits<int32_t>::min() || ms > std::numeric_limits<int32_t>::max())
        return failed;
    return { static_cast<int32_t>(ms), true };
}

int32_t FramesToMs(int64_t pFrames, int32_t pRate)
{
    if (pRate <= 0)
        return 0;
    int64_t ms = RoundHalfEven(static_cast<double>(pFrames) / pRate * 1000.0);
    return Clamp32(ms, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
}

int64_t MsToFrames(int64_t pMs, int32_t pRate)
{
    return RoundHalfEven(static_cast<double>(pMs) * pRate / 1000.0);
}

} // namespace tarvok
