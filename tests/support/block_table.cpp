#include "support/block_table.h"

#include "support/wav_fixture.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace tarvok::test {

std::string BlockTable(const std::vector<Block>& pBlocks)
{
    std::string text;
    for (const Block& b : pBlocks) {
        if (!text.empty())
            text += "\n";
        text += "t" + std::to_string(b.TrackNo) + " " + std::to_string(b.StartAdr) + ".."
            + std::to_string(b.EndAdr) + " w" + std::to_string(b.WaveNo) + " "
            + std::to_string(b.SrcStart) + ".." + std::to_string(b.SrcEnd);
    }
    return text;
}

std::string BlockTable(const Project& pProject) { return BlockTable(pProject.Blocks); }

bool AddBlocks(Project& pProject, std::string_view pTable)
{
    std::string table(pTable);
    for (char& c : table)
        if (c == ';')
            c = '\n';
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        int track = 0, start = 0, end = 0, wave = 0, srcStart = 0, srcEnd = 0;
        if (std::sscanf(line.c_str(), " t%d %d..%d w%d %d..%d", &track, &start, &end, &wave,
                &srcStart, &srcEnd)
            != 6)
            return false;
        if (wave < 0 || wave >= pProject.WaveFileCount() || !pProject.AddBlock())
            return false;
        Block& b = pProject.Blocks.back();
        b.TrackNo = track;
        b.StartAdr = start;
        b.WaveNo = wave;
        b.SrcStart = srcStart;
        b.SrcEnd = srcEnd;
        pProject.NormalizeBlock(pProject.BlockCount() - 1);
        if (b.EndAdr != end || b.SrcStart != srcStart || b.SrcEnd != srcEnd || b.TrackNo != track)
            return false;
    }
    return true;
}

std::string FadePointTable(const std::vector<FadePoint>& pPoints)
{
    std::string text;
    for (const FadePoint& f : pPoints) {
        if (!text.empty())
            text += "\n";
        text += "t" + std::to_string(f.TrackNo) + " f" + std::to_string(f.EnvFrame) + " c"
            + std::to_string(f.Channels);
    }
    return text;
}

int32_t AddSilentWave(Project& pProject, const std::string& pPath, int32_t pFrames, uint8_t pPeak)
{
    if (!WriteWav(pPath,
            PcmSpec(
                pProject.SampleRate, 16, 2, std::string(static_cast<size_t>(pFrames) * 4, '\0'))))
        return -1;
    int32_t w = pProject.AddWaveFile(pPath);
    if (w >= 0)
        std::fill(pProject.Peaks[w].begin(), pProject.Peaks[w].end(), pPeak);
    return w;
}

void InitTestProject(Project& pProject, int32_t pTracks)
{
    pProject.SetFadeTableType(1);
    pProject.SampleRate = 44100;
    pProject.SampleStep = 64;
    pProject.Tracks.clear();
    pProject.Envelopes.clear();
    pProject.EnvelopeLength = 0;
    pProject.SetTrackCount(pTracks);
    for (int32_t t = 0; t < pProject.TrackCount(); ++t)
        pProject.Tracks[t].Selected = t == 0 ? 1 : 0;
    pProject.CurrentTrack = 0;
}

} // namespace tarvok::test
