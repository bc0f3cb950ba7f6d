#pragma once

#include "core/project.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvok::test {

/// One block of a test layout: track, first and last timeline frame, first source frame.
struct BlockSpec {
    int32_t Track = 0;
    int32_t Start = 0;
    int32_t End = 0;
    int32_t SrcStart = 1;
    int32_t Group = 0;
    int32_t Flags = 0;
    int32_t Wave = -1; ///< shared wave file number; -1 gives the block a file of its own
};

/// A project of pTracks tracks (track 0 selected) holding the blocks in record order.
/// Each wave file is a table entry of pWaveFrames frames; no file exists on disk.
inline Project MakeLayout(
    const std::vector<BlockSpec>& pBlocks, int32_t pTracks = 4, int32_t pWaveFrames = 100000)
{
    Project p;
    p.SetFadeTableType(1);
    p.SetTrackCount(pTracks);
    p.Tracks[0].Selected = 1;
    for (size_t i = 0; i < pBlocks.size(); ++i) {
        const BlockSpec& s = pBlocks[i];
        std::string name
            = "/data/w" + std::to_string(s.Wave >= 0 ? s.Wave : 100 + static_cast<int>(i)) + ".wav";
        int32_t wave = p.AddWaveFileEntry(name, 44, pWaveFrames);
        p.AddBlock();
        Block& b = p.Blocks.back();
        b.TrackNo = s.Track;
        b.StartAdr = s.Start;
        b.SrcStart = s.SrcStart;
        b.SrcEnd = s.SrcStart + (s.End - s.Start);
        b.WaveNo = wave;
        b.GroupID = s.Group;
        b.Flags = s.Flags;
        b.Name = "b" + std::to_string(i);
        p.NormalizeBlock(p.BlockCount() - 1);
    }
    p.UpdateTitleLength(false);
    return p;
}

/// The blocks in record order as "track:start-end@srcStart", separated by blanks; a group
/// shows as "g<id>" and flags as "f<flags>" after the entry.
inline std::string LayoutTable(const Project& pProject)
{
    std::string text;
    for (const Block& b : pProject.Blocks) {
        if (!text.empty())
            text += ' ';
        text += std::to_string(b.TrackNo) + ":" + std::to_string(b.StartAdr) + "-"
            + std::to_string(b.EndAdr) + "@" + std::to_string(b.SrcStart);
        if (b.GroupID != 0)
            text += "g" + std::to_string(b.GroupID);
        if (b.Flags != 0)
            text += "f" + std::to_string(b.Flags);
    }
    return text;
}

} // namespace tarvok::test
