#include "platform/iconv/shift_jis_decoder.h"

#include <cerrno>
#include <iconv.h>

namespace tarvok {

std::optional<std::string> DecodeShiftJis(std::string_view pBytes)
{
    iconv_t cd = ::iconv_open("UTF-8", "CP932");
    // iconv reports failure as the handle (iconv_t)-1.
    if (cd == reinterpret_cast<iconv_t>(-1)) // NOLINT(performance-no-int-to-ptr)
        return std::nullopt;
    std::string out;
    out.resize(pBytes.size() * 3 + 16);
    char* in = const_cast<char*>(pBytes.data());
    size_t inLeft = pBytes.size();
    char* dst = out.data();
    size_t outLeft = out.size();
    size_t result = ::iconv(cd, &in, &inLeft, &dst, &outLeft);
    ::iconv_close(cd);
    if (result == static_cast<size_t>(-1) || inLeft != 0)
        return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace tarvok
