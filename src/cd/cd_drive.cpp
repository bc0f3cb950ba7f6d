#include "cd/cd_drive.h"

#include "base/text.h"
#include "core/file_io.h"

namespace tarvok {

TocEntry LbaToMsf(int32_t pLba, int32_t pTrackNo)
{
    TocEntry e;
    e.TrackNo = pTrackNo;
    const int32_t a = pLba + 150;
    e.M = a / 4500;
    e.S = (a / 75) % 60;
    e.F = a % 75;
    return e;
}

bool IsCdImagePath(std::string_view pPath)
{
    const std::string lower = ToLowerAscii(pPath);
    for (std::string_view ext : { ".cue", ".toc", ".nrg" })
        if (lower.size() > ext.size()
            && lower.compare(lower.size() - ext.size(), ext.size(), ext) == 0)
            return true;
    return false;
}

std::vector<CdDriveEntry> ListCdDrives(CdDriveService& pService, std::string_view pImages)
{
    std::vector<CdDriveEntry> result = pService.PhysicalDrives();
    size_t pos = 0;
    while (pos <= pImages.size()) {
        size_t end = pImages.find(';', pos);
        if (end == std::string_view::npos)
            end = pImages.size();
        std::string_view item = pImages.substr(pos, end - pos);
        item = Trim(item);
        if (!item.empty() && FileExists(item)) {
            std::string path(item);
            std::string name = path.substr(path.find_last_of('/') + 1);
            result.push_back({ path, name, true });
        }
        pos = end + 1;
    }
    return result;
}

} // namespace tarvok
