#pragma once

#include "core/project.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok::test {

/// Blocks as text, one line each in record order:
/// "t<TrackNo> <StartAdr>..<EndAdr> w<WaveNo> <SrcStart>..<SrcEnd>".
std::string BlockTable(const std::vector<Block>& pBlocks);
std::string BlockTable(const Project& pProject);

/// Appends the blocks of a table in the BlockTable form (lines separated by "\n" or ";") and
/// normalises them. False on a line it cannot read or when a line's EndAdr disagrees with its
/// start and source range.
bool AddBlocks(Project& pProject, std::string_view pTable);

/// Fade points as text, one line each in record order: "t<TrackNo> f<EnvFrame> c<Channels>".
std::string FadePointTable(const std::vector<FadePoint>& pPoints);

/// Writes a silent 16-bit stereo WAV of pFrames frames at pPath, adds it to the project and
/// fills its peak array with pPeak; returns the wave index, or -1.
int32_t AddSilentWave(
    Project& pProject, const std::string& pPath, int32_t pFrames, uint8_t pPeak = 100);

/// A project with pTracks tracks, fade table type 1, 44.1 kHz, SampleStep 64, track 0
/// selected and current, no blocks.
void InitTestProject(Project& pProject, int32_t pTracks);

} // namespace tarvok::test
