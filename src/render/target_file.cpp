#include "render/target_file.h"

#include "core/file_io.h"

#include <vector>

namespace tarvok {

std::string TempSiblingName(std::string_view pTarget) { return CreateTempSibling(pTarget); }

bool CommitFile(const std::string& pSource, const std::string& pTarget)
{
    return CommitTempSibling(pSource, pTarget).has_value();
}

bool CopyIntoPlace(const std::string& pSource, const std::string& pTarget)
{
    FileHandle in = OpenFile(pSource, OpenMode::Read);
    if (!in.IsOpen())
        return false;
    ReplaceFile out;
    if (!out.Begin(pTarget))
        return false;
    std::vector<char> buffer(1 << 20);
    for (int64_t offset = 0;;) {
        const int64_t n = ReadAt(in, buffer.data(), static_cast<int64_t>(buffer.size()), offset);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (!WriteAt(out.Handle(), buffer.data(), n, offset))
            return false;
        offset += n;
    }
    return out.Commit().has_value();
}

} // namespace tarvok
