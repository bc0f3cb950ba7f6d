// Feeds arbitrary bytes to the envelope-file reader at a length taken from the input. The
// envelope always comes out at the asked length (clamped), and a file written from it reads
// back the same.
#include "core/envelope.h"
#include "core/file_io.h"
#include "fuzz_input.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t pSize)
{
    if (pSize < 3)
        return 0;
    // Lengths around the file's own size are the interesting ones.
    const int32_t frames = static_cast<int32_t>((pData[0] | (pData[1] << 8)) % 70000) - 5;
    const uint8_t unity = pData[2];
    const std::string path = tarvok::fuzz::WriteInput("input.wfd", pData + 3, pSize - 3);
    std::vector<uint8_t> envelope;
    tarvok::ReadEnvelopeFile(path, frames, unity, envelope);
    const int32_t expected = std::max(frames, 0);
    tarvok::fuzz::Check(envelope.size() == static_cast<size_t>(expected) * 2
        || envelope.size() == static_cast<size_t>(expected));
    if (expected > 0 && envelope.size() == static_cast<size_t>(expected) * 2) {
        const std::string copy = tarvok::fuzz::Folder() + "copy.wfd";
        if (tarvok::WriteEnvelopeFile(copy, envelope, expected)) {
            std::vector<uint8_t> again;
            tarvok::fuzz::Check(tarvok::ReadEnvelopeFile(copy, expected, unity, again));
            tarvok::fuzz::Check(again == envelope);
        }
    }
    return 0;
}
