#include "cli/json_text.h"

#include "base/text.h"

#include <cstdio>

namespace tarvok {

std::string JsonString(std::string_view pText)
{
    const bool utf8 = IsValidUtf8(pText);
    std::string out = "\"";
    for (char ch : pText) {
        auto c = static_cast<unsigned char>(ch);
        char escape[8];
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F || (!utf8 && c >= 0x80)) {
                std::snprintf(escape, sizeof escape, "\\u%04x", c);
                out += escape;
            } else {
                out += ch;
            }
        }
    }
    out += '"';
    return out;
}

} // namespace tarvok
