#include "core/load_file_to_track.h"

#include "core/data_folder.h"
#include "core/peaks.h"
#include "core/project.h"

namespace tarvok {

std::string CleanBlockName(std::string_view pName)
{
    static constexpr std::string_view kFullWidthQuote = "＂";
    static constexpr std::string_view kFullWidthComma = "，";
    std::string out;
    out.reserve(pName.size());
    for (size_t i = 0; i < pName.size();) {
        if (pName[i] == '"') {
            out += kFullWidthQuote;
            ++i;
        } else if (pName[i] == ',') {
            out += '.';
            ++i;
        } else if (pName.substr(i, kFullWidthComma.size()) == kFullWidthComma) {
            out += '.';
            i += kFullWidthComma.size();
        } else {
            out += pName[i];
            ++i;
        }
    }
    return out;
}

std::string BaseNameOf(std::string_view pPath)
{
    size_t slash = pPath.find_last_of('/');
    std::string_view name = slash == std::string_view::npos ? pPath : pPath.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    if (dot != std::string_view::npos)
        name = name.substr(0, dot);
    return std::string(name);
}

bool LoadFileToTrack(Project& pProject, int32_t pTrack, const std::string& pFilename,
    int32_t pBlockAddr, std::string_view pBlockName, DataFolder& pFolder, int32_t pWfMode,
    UserInterface& pUi, bool& pCancel)
{
    int32_t wave = pProject.FindWaveFile(pFilename);
    const bool isNew = wave < 0;
    if (isNew) {
        wave = pProject.AddWaveFile(pFilename);
        if (wave < 0)
            return false;
    }
    // A file without frames would give a block reaching past its file.
    if (pProject.WaveFiles[wave].Length <= 0 || !pProject.AddBlock()) {
        if (isNew)
            pProject.RemoveWaveFile(wave);
        return false;
    }
    Block& block = pProject.Blocks.back();
    block.TrackNo = pTrack;
    block.StartAdr = pBlockAddr;
    block.WaveNo = wave;
    block.SrcStart = 1;
    block.SrcEnd = pProject.WaveFiles[wave].Length;
    block.Name
        = pBlockName.empty() ? CleanBlockName(BaseNameOf(pFilename)) : std::string(pBlockName);
    pProject.NormalizeBlock(pProject.BlockCount() - 1);
    pProject.UpdateTitleLength(false);
    if (isNew)
        BuildPeaks(
            pProject, wave, pTrack, "", pWfMode, pFolder.NewTempName(kTempPeak), pUi, pCancel);
    return true;
}

} // namespace tarvok
