#include "core/load_file_to_track.h"

#include "base/file_name.h"
#include "base/i18n.h"
#include "core/data_folder.h"
#include "core/peaks.h"
#include "core/project.h"
#include "core/user_interface.h"
#include "core/wave_info.h"

namespace tarvok {

std::string CleanBlockName(std::string_view pName)
{
    static constexpr std::string_view kFullWidthQuote = DATA_TEXT("＂");
    static constexpr std::string_view kFullWidthComma = DATA_TEXT("，");
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

Result<PlacedFile> PlaceFileOnTrack(Project& pProject, int32_t pTrack, const std::string& pPath,
    int32_t pStartAdr, std::string_view pName)
{
    if (pTrack < 0 || pTrack > pProject.LastTrackNo)
        return Fail(Tr("トラック選択エラー"));
    WaveInfo info = ReadWaveInfo(pPath);
    if (info.Valid == 0 || FramesPresent(info) < 1)
        return Fail(Tr("ファイル形式が違います"));
    PlacedFile placed;
    placed.Wave = pProject.FindWaveFile(pPath);
    if (placed.Wave < 0) {
        // A header may claim more data than the file holds (a streamed WAV whose sizes were
        // never patched, a truncated copy): only the frames that are there are placed.
        placed.Wave = pProject.AddWaveFileEntry(pPath, info.DataOffset, FramesPresent(info));
        if (placed.Wave < 0)
            return Fail(Tr("ファイル形式が違います"));
        placed.NewWave = true;
    }
    if (!pProject.AddBlock()) {
        if (placed.NewWave)
            pProject.RemoveWaveFile(placed.Wave);
        return Fail(Tr("編集エラー"));
    }
    placed.Block = pProject.BlockCount() - 1;
    Block& b = pProject.Blocks.back();
    b.TrackNo = pTrack;
    b.StartAdr = pStartAdr;
    b.WaveNo = placed.Wave;
    b.SrcStart = 1;
    b.SrcEnd = pProject.WaveFiles[placed.Wave].Length;
    b.Name = pName.empty() ? CleanBlockName(BaseNameOf(pPath)) : std::string(pName);
    pProject.NormalizeBlock(placed.Block);
    pProject.UpdateTitleLength(false);
    return placed;
}

bool LoadFileToTrack(Project& pProject, int32_t pTrack, const std::string& pFilename,
    int32_t pBlockAddr, std::string_view pBlockName, DataFolder& pFolder, int32_t pWfMode,
    UserInterface& pUi, bool& pCancel)
{
    Result<PlacedFile> placed
        = PlaceFileOnTrack(pProject, pTrack, pFilename, pBlockAddr, pBlockName);
    if (!placed) {
        pUi.ShowMessage(placed.error().Message);
        return false;
    }
    if (placed->NewWave)
        BuildPeaks(pProject, placed->Wave, pTrack, "", pWfMode, pFolder.NewTempName(kTempPeak), pUi,
            pCancel);
    return true;
}

} // namespace tarvok
