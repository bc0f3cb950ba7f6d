#include "cd/cd_drive.h"

#include "base/file_name.h"
#include "base/i18n.h"
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

namespace {

/// The data-file names of a CUE or cdrdao TOC sheet: the quoted (or first) word after
/// FILE, DATAFILE or AUDIOFILE at the start of a line.
std::vector<std::string> SheetDataFiles(std::string_view pSheet)
{
    std::vector<std::string> names;
    for (const std::string& raw : SplitLines(pSheet)) {
        const std::string_view line = Trim(raw);
        size_t skip = 0;
        for (std::string_view key : { "FILE", "DATAFILE", "AUDIOFILE" })
            if (line.size() > key.size() && StartsWithNoCase(line, key)
                && (line[key.size()] == ' ' || line[key.size()] == '\t'))
                skip = key.size();
        if (skip == 0)
            continue;
        const std::string_view rest = Trim(line.substr(skip));
        if (rest.empty())
            continue;
        if (rest.front() == '"') {
            const size_t close = rest.find('"', 1);
            if (close != std::string_view::npos && close > 1)
                names.emplace_back(rest.substr(1, close - 1));
        } else {
            names.emplace_back(rest.substr(0, rest.find_first_of(" \t")));
        }
    }
    return names;
}

std::string NotRegularText(std::string_view pPath)
{
    return TrArgs("ディスクイメージのファイルが通常のファイルではありません: %1", pPath);
}

} // namespace

std::string CdImageProblem(std::string_view pPath)
{
    if (KindOfPath(pPath) != PathKind::RegularFile)
        return NotRegularText(pPath);
    const std::string extension = ExtensionOf(pPath);
    const bool cue = extension == "cue";
    if (!cue && extension != "toc")
        return {};
    std::optional<std::string> sheet = ReadAllBytes(pPath);
    if (!sheet)
        return NotRegularText(pPath);
    const std::string folder = FolderOf(pPath);
    std::vector<std::string> files;
    if (cue)
        files.push_back(std::string(pPath.substr(0, pPath.size() - 4)) + ".bin");
    for (const std::string& name : SheetDataFiles(*sheet))
        files.push_back(name.front() == '/' ? name : folder + name);
    for (const std::string& file : files) {
        const PathKind kind = KindOfPath(file);
        if (kind != PathKind::Missing && kind != PathKind::RegularFile)
            return NotRegularText(file);
    }
    return {};
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
