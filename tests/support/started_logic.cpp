#include "support/started_logic.h"

#include "core/data_folder.h"
#include "core/peaks.h"
#include "core/project.h"
#include "support/wav_fixture.h"

namespace tarvok::test {

int32_t AddBlockWithFile(
    MainLogic& pLogic, const std::string& pSamples, int32_t pTrack, int32_t pStart)
{
    Project& p = pLogic.Proj();
    const std::string path = pLogic.Folder().NewTempName(kTempWave);
    if (path.empty() || !WriteWav(path, PcmSpec(p.SampleRate, 16, 2, pSamples)))
        return -1;
    const int32_t w = p.AddWaveFile(path);
    if (w < 0)
        return -1;
    bool cancel = false;
    BuildPeaks(p, w, -1, "", 0, pLogic.Folder().NewTempName(kTempPeak), pLogic.Ui(), cancel);
    if (!p.AddBlock())
        return -1;
    Block& b = p.Blocks.back();
    b.WaveNo = w;
    b.TrackNo = pTrack;
    b.StartAdr = pStart;
    b.SrcStart = 1;
    b.SrcEnd = static_cast<int32_t>(pSamples.size() / kFrameBytes);
    p.NormalizeBlock(p.BlockCount() - 1);
    return p.BlockCount() - 1;
}

} // namespace tarvok::test
