#include "core/project_file.h"

#include "base/file_name.h"
#include "base/i18n.h"
#include "base/legacy_text.h"
#include "base/numeric.h"
#include "base/text.h"
#include "core/data_folder.h"
#include "core/envelope.h"
#include "core/file_io.h"
#include "core/paths.h"
#include "core/peaks.h"
#include "core/user_interface.h"
#include "core/wave_info.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <map>

namespace tarvok {

namespace {

constexpr const char* kMissingFile = N_("ファイルが存在しません");
// The kinds of line a project file has, as the reader's messages name a line of each (%1 is
// the line's number). Whole templates rather than the kind's name alone, so that the English
// of a kind inside a message stays apart from the same word shown on its own elsewhere.
constexpr const char* kHeader = N_("%1行目（ヘッダ）");
constexpr const char* kTrack = N_("%1行目（トラック）");
constexpr const char* kWave = N_("%1行目（wavファイル）");
constexpr const char* kBlock = N_("%1行目（ブロック）");
constexpr const char* kFadePoint = N_("%1行目（フェードポイント）");
constexpr const char* kRateDiffers = N_("サンプリング周波数が違います");
// Bit 0 of the header's format flags set means envelope files hold level indices.
constexpr int32_t kFormatFlags = 3;

/// The numbered fields of a project file's first line (field 0 is always "0"; 9 and 17 are
/// reserved). Files of older versions end after field 20, 21 or 22.
enum HeaderField : size_t {
    kHdrLastTrackNo = 1,
    kHdrSampleRate = 2,
    kHdrWaveCount = 3,
    kHdrBlockCount = 4,
    kHdrEnvelopeLength = 5,
    kHdrMarkIn = 6,
    kHdrMarkOut = 7,
    kHdrCurrentTrack = 8,
    kHdrMasterLevelL = 10,
    kHdrMasterLevelR = 11,
    kHdrZoom = 12,
    kHdrHead = 13,
    kHdrViewStart = 14,
    kHdrViewTrackCount = 15,
    kHdrViewScroll = 16,
    kHdrFormatFlags = 18,
    kHdrZeroPos = 19,
    kHdrFadeTableType = 20,
    kHdrSampleStep = 21,
    kHdrFadeCount = 22,
    kHdrLevelZoomDB = 23,
    kHdrFieldCount = 24,
};

using Fields = std::vector<std::string>;

/// A project file checked field by field, before anything is applied.
struct ParsedProject {
    Fields Header;
    int32_t LastTrackNo = 0;
    int32_t SampleRate = 0;
    int32_t EnvelopeLength = 0;
    int32_t Values[kHdrFieldCount] = {}; // numeric header fields; absent ones 0
    size_t HeaderFieldCount = 0;

    struct TrackLine {
        int32_t Values[8] = {};
        std::string Name;
        std::string Envelope;
    };
    struct WaveLine {
        std::string FileName;
        std::string PeakFile;
    };
    std::vector<TrackLine> Tracks;
    std::vector<WaveLine> Waves;
    std::vector<Block> Blocks;
    std::vector<FadePoint> Fades;
};

// "N行目（kind）の M番目の項目" for a message that names where the reader stopped; pLine
// counts from 1, pIndex from 0.
std::string WhereIn(size_t pLine, const char* pWhat, size_t pIndex)
{
    return TrArgs("%1の%2番目の項目", TrArgs(pWhat, pLine), pIndex + 1);
}

std::string LineOf(size_t pLine, const char* pWhat) { return TrArgs(pWhat, pLine); }

Result<int32_t> FieldInt(const Fields& pFields, size_t pIndex, const char* pWhat, size_t pLine)
{
    std::optional<int32_t> v = ParseInt32(pFields[pIndex]);
    if (!v)
        return Fail(TrArgs("%1が数値ではありません: \"%2\"", WhereIn(pLine, pWhat, pIndex),
            pFields[pIndex].substr(0, 40)));
    return *v;
}

/// How many wave, block and fade-point lines follow the track lines.
struct LineCounts {
    int64_t Waves = 0;
    int64_t Blocks = 0;
    int64_t Fades = 0;
};

/// Checks the first line and that the file holds as many lines as it announces.
Result<LineCounts> ParseHeader(const std::vector<std::string>& pLines, ParsedProject& pParsed)
{
    pParsed.Header = SplitProjectFields(pLines[0]);
    pParsed.HeaderFieldCount = pParsed.Header.size();
    if (pParsed.Header.size() < 21)
        return Fail(TrArgs("%1の項目が21個より少なくなっています（%2個）", LineOf(1, kHeader),
            pParsed.Header.size()));
    for (size_t i = 1; i < std::min<size_t>(pParsed.Header.size(), kHdrFieldCount); ++i) {
        if (i == 9 || i == 17)
            continue; // reserved
        Result<int32_t> v = FieldInt(pParsed.Header, i, kHeader, 1);
        if (!v)
            return v.error();
        pParsed.Values[i] = *v;
    }
    pParsed.LastTrackNo = pParsed.Values[kHdrLastTrackNo];
    pParsed.SampleRate = pParsed.Values[kHdrSampleRate];
    pParsed.EnvelopeLength = pParsed.Values[kHdrEnvelopeLength];
    if (pParsed.LastTrackNo < 0 || pParsed.LastTrackNo > kMaxTrackIndex)
        return Fail(TrArgs("%1（最後のトラック番号）が範囲外です: %2",
            WhereIn(1, kHeader, kHdrLastTrackNo), pParsed.LastTrackNo));
    if (pParsed.SampleRate < 1000 || pParsed.SampleRate > 768000)
        return Fail(TrArgs("%1（サンプリング周波数）が範囲外です: %2",
            WhereIn(1, kHeader, kHdrSampleRate), pParsed.SampleRate));
    if (pParsed.EnvelopeLength < 0 || pParsed.EnvelopeLength > kMaxEnvelopeFrames)
        return Fail(TrArgs("%1（エンベロープの長さ）が範囲外です: %2",
            WhereIn(1, kHeader, kHdrEnvelopeLength), pParsed.EnvelopeLength));
    const int64_t waveCount = pParsed.Values[kHdrWaveCount];
    const int64_t blockCount = pParsed.Values[kHdrBlockCount];
    const int64_t fadeCount
        = pParsed.Header.size() > kHdrFadeCount ? pParsed.Values[kHdrFadeCount] : 0;
    if (waveCount < 0 || blockCount < 0 || fadeCount < 0)
        return Fail(TrArgs("%1（個数）が負の数です",
            WhereIn(1, kHeader,
                waveCount < 0        ? kHdrWaveCount
                    : blockCount < 0 ? kHdrBlockCount
                                     : kHdrFadeCount)));
    // Counts larger than the file could hold are caught before anything is reserved.
    const int64_t needed = 1 + pParsed.LastTrackNo + 1 + waveCount + blockCount + fadeCount;
    if (needed > static_cast<int64_t>(pLines.size()))
        return Fail(
            TrArgs("ファイルが途中で終わっています（ヘッダが示す%1行に対して%2行しかありません）",
                needed, pLines.size()));
    return LineCounts { waveCount, blockCount, fadeCount };
}

/// One track line; pLineNo is its index in the file, from 0.
Result<ParsedProject::TrackLine> ParseTrackLine(const std::string& pLine, size_t pLineNo)
{
    Fields f = SplitProjectFields(pLine);
    if (f.size() < 12)
        return Fail(TrArgs("%1の項目が12個より少なくなっています", LineOf(pLineNo + 1, kTrack)));
    ParsedProject::TrackLine track;
    for (size_t i = 0; i < 8; ++i) {
        Result<int32_t> v = FieldInt(f, i, kTrack, pLineNo + 1);
        if (!v)
            return v.error();
        track.Values[i] = *v;
    }
    track.Name = f[10];
    track.Envelope = f[11];
    return track;
}

/// One block line; pLineNo is its index in the file, from 0. The block must name one of pWaveCount
/// wave files.
Result<Block> ParseBlockLine(const std::string& pLine, size_t pLineNo, int64_t pWaveCount)
{
    Fields f = SplitProjectFields(pLine);
    if (f.size() < 11)
        return Fail(TrArgs("%1の項目が11個より少なくなっています", LineOf(pLineNo + 1, kBlock)));
    int32_t v[7];
    for (size_t i = 0; i < 7; ++i) {
        Result<int32_t> r = FieldInt(f, i, kBlock, pLineNo + 1);
        if (!r)
            return r.error();
        v[i] = *r;
    }
    Block block;
    block.StartAdr = v[0];
    block.WaveNo = v[1];
    block.TrackNo = v[2];
    block.SrcStart = v[3];
    block.SrcEnd = v[4];
    block.Flags = v[5];
    block.GroupID = v[6];
    for (size_t i = 7; i <= 8; ++i) {
        std::optional<double> level
            = Trim(f[i]).empty() ? std::optional<double>(0.0) : ParseNumber(f[i]);
        if (!level || std::fabs(*level) > 1000.0)
            return Fail(TrArgs("%1（レベル）が正しくありません: \"%2\"",
                WhereIn(pLineNo + 1, kBlock, i), f[i].substr(0, 40)));
        (i == 7 ? block.LevelL : block.LevelR) = static_cast<float>(*level);
    }
    block.Name = f[10];
    // A block is never moved to make it fit: one that does not lie inside the longest project
    // (judged by the frames its line names, never fewer than one) refuses the file. No
    // shorter source range makes it longer, so a block that passes here stays where it is.
    const int64_t frames
        = std::max<int64_t>(1, static_cast<int64_t>(block.SrcEnd) - block.SrcStart + 1);
    if (block.StartAdr < 0 || block.StartAdr + frames > kMaxLength)
        return Fail(
            TrArgs("%1（開始位置）のブロックが最長のプロジェクト（%2フレーム）に収まりません: "
                   "%3から%4フレーム",
                WhereIn(pLineNo + 1, kBlock, 0), kMaxLength, block.StartAdr, frames));
    if (block.WaveNo < 0 || block.WaveNo >= pWaveCount)
        return Fail(TrArgs("%1が存在しないwavファイルの番号です: %2",
            WhereIn(pLineNo + 1, kBlock, 1), block.WaveNo));
    return block;
}

/// One fade-point line; pLineNo is its index in the file, from 0.
Result<FadePoint> ParseFadeLine(const std::string& pLine, size_t pLineNo)
{
    Fields f = SplitProjectFields(pLine);
    if (f.size() < 3)
        return Fail(TrArgs("%1の項目が3個より少なくなっています", LineOf(pLineNo + 1, kFadePoint)));
    FadePoint point;
    int32_t v[3];
    for (size_t i = 0; i < 3; ++i) {
        Result<int32_t> r = FieldInt(f, i, kFadePoint, pLineNo + 1);
        if (!r)
            return r.error();
        v[i] = *r;
    }
    point.EnvFrame = v[0];
    point.TrackNo = v[1];
    point.Channels = v[2];
    return point;
}

Result<ParsedProject> ParseProject(const std::vector<std::string>& pLines)
{
    ParsedProject parsed;
    if (pLines.empty())
        return Fail(Tr("ファイルが空です"));
    Result<LineCounts> counts = ParseHeader(pLines, parsed);
    if (!counts)
        return counts.error();
    const int64_t waveCount = counts->Waves;
    const int64_t blockCount = counts->Blocks;
    const int64_t fadeCount = counts->Fades;

    size_t line = 1;
    for (int32_t t = 0; t <= parsed.LastTrackNo; ++t, ++line) {
        Result<ParsedProject::TrackLine> track = ParseTrackLine(pLines[line], line);
        if (!track)
            return track.error();
        parsed.Tracks.push_back(std::move(*track));
    }
    for (int64_t w = 0; w < waveCount; ++w, ++line) {
        Fields f = SplitProjectFields(pLines[line]);
        if (f.size() < 6)
            return Fail(TrArgs("%1の項目が6個より少なくなっています", LineOf(line + 1, kWave)));
        parsed.Waves.push_back({ f[4], f[5] });
    }
    for (int64_t b = 0; b < blockCount; ++b, ++line) {
        Result<Block> block = ParseBlockLine(pLines[line], line, waveCount);
        if (!block)
            return block.error();
        parsed.Blocks.push_back(std::move(*block));
    }
    for (int64_t k = 0; k < fadeCount; ++k, ++line) {
        Result<FadePoint> point = ParseFadeLine(pLines[line], line);
        if (!point)
            return point.error();
        parsed.Fades.push_back(*point);
    }
    return parsed;
}

void ReportMissing(ProjectFileEnv& pEnv, std::string_view pPath)
{
    ++pEnv.Lost;
    // A folder or a pipe of that name is named as such, not as a missing file.
    std::string why = NotARegularFileText(pPath);
    pEnv.Ui.ShowError(
        (why.empty() ? std::string(Tr(kMissingFile)) : why) + "\n" + std::string(pPath));
}

/// Wave files as read, before blocks are attached: entries that could not be used have an
/// empty FileName. Duplicate lines of one file share the first entry.
struct LoadedWaves {
    std::vector<WaveFile> Files;
    std::vector<PeakArray> Peaks;
    std::vector<int32_t> Map; // line index -> entry index
};

/// Reads the wave lines: WAV summaries, then peaks from current peak files, from the
/// previous state of the same file, or rebuilt.
/// The wave table being replaced, whose peaks an undo step can keep.
struct PreviousWaves {
    const std::vector<WaveFile>& Files;
    const std::vector<PeakArray>& Peaks;
    int32_t SampleStep;
    std::map<std::string, size_t> Index; // lower-case path -> entry

    PreviousWaves(
        const std::vector<WaveFile>& pFiles, const std::vector<PeakArray>& pPeaks, int32_t pStep)
        : Files(pFiles)
        , Peaks(pPeaks)
        , SampleStep(pStep)
    {
        for (size_t i = 0; i < Files.size() && i < Peaks.size(); ++i)
            Index.emplace(ToLowerAscii(Files[i].FileName), i);
    }
};

LoadedWaves LoadWaves(const ParsedProject& pParsed, const std::string& pBase, int32_t pSampleStep,
    const PreviousWaves& pPrevious, ProjectFileEnv& pEnv)
{
    LoadedWaves out;
    std::map<std::string, int32_t> seen; // lower-case path -> entry
    // Scratch project so that BuildPeaks and LoadPeaks, which work on a project's wave
    // table, can be used for the clipboard too.
    Project scratch;
    scratch.SampleStep = pSampleStep;
    for (size_t i = 0; i < pParsed.Waves.size(); ++i) {
        const ParsedProject::WaveLine& line = pParsed.Waves[i];
        std::string path
            = line.FileName.empty() ? std::string() : ResolveProjectName(line.FileName, pBase);
        std::string key = ToLowerAscii(path);
        if (!path.empty()) {
            if (auto it = seen.find(key); it != seen.end()) {
                out.Map.push_back(it->second);
                continue;
            }
        }
        WaveFile wave;
        PeakArray peaks;
        WaveInfo info = path.empty() ? WaveInfo {} : ReadWaveInfo(path);
        if (!path.empty() && !FileExists(path)) {
            ReportMissing(pEnv, path);
        } else if (info.Valid == 1 && info.Frames > 0) {
            wave.FileName = path;
            wave.Length = info.Frames;
            wave.DataOffset = info.DataOffset;
            wave.PeakCount = info.Frames / pSampleStep + 1;
            std::string peakPath
                = line.PeakFile.empty() ? std::string() : ResolveProjectName(line.PeakFile, pBase);
            // The same file with the same peak file in the state being replaced (an undo
            // step) keeps its peaks without reading them again.
            auto prevIt = pPrevious.Index.find(key);
            size_t prev = prevIt == pPrevious.Index.end() ? 0 : prevIt->second;
            if (prevIt != pPrevious.Index.end() && pPrevious.Files[prev].Length == wave.Length
                && pPrevious.SampleStep == pSampleStep
                && EqualsNoCase(pPrevious.Files[prev].PeakFile, peakPath) && !peakPath.empty()
                && pPrevious.Peaks[prev].size() == static_cast<size_t>(wave.PeakCount) * 2) {
                wave.PeakFile = peakPath;
                peaks = pPrevious.Peaks[prev];
            } else {
                scratch.WaveFiles.assign(1, wave);
                scratch.Peaks.assign(1, PeakArray(static_cast<size_t>(wave.PeakCount) * 2, 0));
                if (!peakPath.empty() && LoadPeaks(scratch, 0, peakPath)) {
                    scratch.WaveFiles[0].PeakFile = peakPath;
                } else {
                    bool localCancel = false;
                    bool& cancel = pEnv.Cancel ? *pEnv.Cancel : localCancel;
                    BuildPeaks(scratch, 0, -1, TrArgs("ファイル%1", i + 1), pEnv.WfMode,
                        pEnv.Folder.NewTempName(kTempPeak), pEnv.Ui, cancel);
                }
                wave = scratch.WaveFiles[0];
                peaks = std::move(scratch.Peaks[0]);
            }
        } else if (!path.empty()) {
            ++pEnv.Lost;
            pEnv.Ui.ShowError(Tr("ファイル形式が違います") + std::string("\n") + path);
        }
        if (!wave.FileName.empty())
            seen[key] = static_cast<int32_t>(out.Files.size());
        out.Map.push_back(static_cast<int32_t>(out.Files.size()));
        out.Files.push_back(std::move(wave));
        out.Peaks.push_back(std::move(peaks));
    }
    return out;
}

/// Attaches blocks to the loaded waves, drops those of unusable entries, removes the
/// unusable entries and renumbers. Returns the blocks normalised against their waves.
std::vector<Block> AttachBlocks(
    const ParsedProject& pParsed, LoadedWaves& pWaves, int32_t pLastTrackNo, int32_t pSampleStep)
{
    std::vector<int32_t> renumber(pWaves.Files.size(), -1);
    std::vector<WaveFile> files;
    std::vector<PeakArray> peaks;
    for (size_t w = 0; w < pWaves.Files.size(); ++w) {
        if (pWaves.Files[w].FileName.empty())
            continue;
        renumber[w] = static_cast<int32_t>(files.size());
        files.push_back(std::move(pWaves.Files[w]));
        peaks.push_back(std::move(pWaves.Peaks[w]));
    }
    std::vector<Block> blocks;
    std::vector<bool> used(files.size(), false);
    for (Block block : pParsed.Blocks) {
        int32_t entry = renumber[pWaves.Map[block.WaveNo]];
        if (entry < 0)
            continue;
        block.WaveNo = entry;
        NormalizeBlockFields(block, files[entry], pLastTrackNo, pSampleStep);
        used[entry] = true;
        blocks.push_back(std::move(block));
    }
    // Every wave file is used by some block: entries no block names are dropped.
    std::vector<int32_t> compact(files.size(), -1);
    std::vector<WaveFile> keptFiles;
    std::vector<PeakArray> keptPeaks;
    for (size_t w = 0; w < files.size(); ++w) {
        if (!used[w])
            continue;
        compact[w] = static_cast<int32_t>(keptFiles.size());
        keptFiles.push_back(std::move(files[w]));
        keptPeaks.push_back(std::move(peaks[w]));
    }
    for (Block& block : blocks)
        block.WaveNo = compact[block.WaveNo];
    pWaves.Files = std::move(keptFiles);
    pWaves.Peaks = std::move(keptPeaks);
    return blocks;
}

/// Envelopes of the state being replaced: lower-case file name -> (file name, levels).
using PreviousEnvelopes = std::map<std::string, std::pair<std::string, TrackEnvelope>>;

void LoadTrackEnvelope(TrackEnvelope& pEnvelope, std::string& pFileName, const std::string& pName,
    int32_t pFrames, const Project& pProject, const std::string& pBase, bool pLegacy,
    const PreviousEnvelopes& pPrevious, ProjectFileEnv& pEnv, bool& pPresent)
{
    const auto unity = static_cast<uint8_t>(pProject.UnityLevel);
    pPresent = false;
    if (pFrames < 1) {
        pEnvelope.clear();
        return;
    }
    std::string path = pName.empty() ? std::string() : ResolveProjectName(pName, pBase);
    if (!path.empty() && FileExists(path)) {
        pPresent = true;
        auto prev = pPrevious.find(ToLowerAscii(path));
        if (!pLegacy && prev != pPrevious.end()
            && prev->second.second.size() == static_cast<size_t>(pFrames) * 2) {
            pEnvelope = prev->second.second; // unchanged since the state being replaced
        } else {
            ReadEnvelopeFile(path, pFrames, unity, pEnvelope);
        }
        pFileName = path;
        if (pLegacy) {
            for (uint8_t& level : pEnvelope)
                level = ConvertLegacyLevel(pProject.Fades, level);
            std::string fresh = pEnv.Folder.NewTempName(kTempEnvelope);
            if (!fresh.empty() && WriteEnvelopeFile(fresh, pEnvelope, pFrames))
                pFileName = fresh;
        }
        return;
    }
    if (!path.empty())
        ReportMissing(pEnv, path);
    pEnvelope.assign(static_cast<size_t>(pFrames) * 2, unity);
}

/// Reads a clipboard file into pProject.Clip; its rate must be the project's.
void ReadClip(Project& pProject, const ParsedProject& pParsed, const std::string& pBase,
    bool pLegacyLevels, ProjectFileEnv& pEnv)
{
    ClipProject clip;
    clip.LastTrackNo = pParsed.LastTrackNo;
    clip.Envelopes.resize(static_cast<size_t>(clip.LastTrackNo) + 1);
    clip.TrackPresent.assign(static_cast<size_t>(clip.LastTrackNo) + 1, 0);
    clip.NoEnvelope = true;
    clip.Length = 0;
    for (int32_t t = 0; t <= pParsed.LastTrackNo; ++t) {
        const auto& line = pParsed.Tracks[t];
        if (line.Envelope.empty())
            continue;
        std::string fileName;
        bool present = false;
        LoadTrackEnvelope(clip.Envelopes[t], fileName, line.Envelope, pParsed.EnvelopeLength,
            pProject, pBase, pLegacyLevels, {}, pEnv, present);
        if (present) {
            clip.TrackPresent[t] = 1;
            clip.NoEnvelope = false;
            clip.Length = pParsed.EnvelopeLength * kEnvelopeFrameSamples;
        } else {
            clip.Envelopes[t].clear();
        }
    }
    PreviousWaves previous(pProject.Clip.WaveFiles, pProject.Clip.Peaks, pProject.SampleStep);
    LoadedWaves waves = LoadWaves(pParsed, pBase, pProject.SampleStep, previous, pEnv);
    clip.Blocks = AttachBlocks(pParsed, waves, clip.LastTrackNo, pProject.SampleStep);
    clip.WaveFiles = std::move(waves.Files);
    clip.Peaks = std::move(waves.Peaks);
    for (const Block& b : clip.Blocks)
        clip.Length = std::max(clip.Length, b.EndAdr);
    for (const FadePoint& f : pParsed.Fades)
        if (f.TrackNo >= 0 && f.TrackNo <= clip.LastTrackNo)
            clip.FadePoints.push_back(f);
    pProject.Clip = std::move(clip);
}

/// The header's values; the marks, the current track and the view only when pViewToo.
void ApplyHeader(
    Project& pProject, const ParsedProject& pParsed, bool pViewToo, int32_t pSampleStep)
{
    const int32_t* v = pParsed.Values;
    pProject.SampleRate = pParsed.SampleRate;
    if (pViewToo) {
        pProject.MarkIn = std::max(v[kHdrMarkIn], 0);
        pProject.MarkOut = std::max(v[kHdrMarkOut], 0);
        pProject.CurrentTrack = v[kHdrCurrentTrack];
        pProject.Zoom = std::max(v[kHdrZoom], 1);
        pProject.Head = std::max(v[kHdrHead], 0);
        pProject.ViewStart = std::max(v[kHdrViewStart], 0);
        if (pParsed.HeaderFieldCount > kHdrLevelZoomDB)
            pProject.LevelZoomDB = Clamp32(v[kHdrLevelZoomDB], -30, 30);
    }
    pProject.CurrentTrack = Clamp32(pProject.CurrentTrack, 0, pParsed.LastTrackNo);
    if (v[kHdrFadeTableType] != pProject.FadeTableType)
        pProject.SetFadeTableType(v[kHdrFadeTableType]);
    pProject.MasterLevelL = Clamp32(v[kHdrMasterLevelL], 0, 255);
    pProject.MasterLevelR = Clamp32(v[kHdrMasterLevelR], 0, 255);
    pProject.ViewTrackCount = Clamp32(v[kHdrViewTrackCount], 0, pParsed.LastTrackNo);
    pProject.ViewScroll = Clamp32(v[kHdrViewScroll], 0, 1000);
    pProject.ZeroPos = v[kHdrZeroPos];
    pProject.SampleStep = pSampleStep;
    pProject.EnvelopeLength = pParsed.EnvelopeLength;
    pProject.LastTrackNo = pParsed.LastTrackNo;
}

/// The track lines and their envelopes; an undo step (pUndo) keeps the track selection.
void ReadTracks(Project& pProject, const ParsedProject& pParsed, bool pUndo,
    const std::string& pBase, bool pLegacyLevels, const PreviousEnvelopes& pPrevious,
    ProjectFileEnv& pEnv)
{
    pProject.Tracks.assign(static_cast<size_t>(pProject.LastTrackNo) + 1, Track {});
    pProject.Envelopes.assign(static_cast<size_t>(pProject.LastTrackNo) + 1, TrackEnvelope {});
    for (int32_t t = 0; t <= pProject.LastTrackNo; ++t) {
        const auto& line = pParsed.Tracks[t];
        Track& track = pProject.Tracks[t];
        track.PlaySelected = line.Values[0];
        if (!pUndo)
            track.Selected = line.Values[1];
        track.LevelLinked = line.Values[2];
        track.LevelL = Clamp32(line.Values[3], 0, 255);
        track.LevelR = Clamp32(line.Values[4], 0, 255);
        track.AutoLevelL = track.AutoLevelR = pProject.UnityLevel;
        track.RecSelected = line.Values[5];
        track.RecCh = line.Values[6];
        track.PlayCh = line.Values[7];
        track.Name = line.Name;
        bool present = false;
        LoadTrackEnvelope(pProject.Envelopes[t], track.EnvelopeFile, line.Envelope,
            pProject.EnvelopeLength, pProject, pBase, pLegacyLevels, pPrevious, pEnv, present);
        if (pProject.EnvelopeLength < 1)
            pProject.Envelopes[t].clear();
    }
}

} // namespace

std::vector<std::string> SplitProjectFields(std::string_view pLine)
{
    std::vector<std::string> fields;
    std::string current;
    bool inQuotes = false;
    for (size_t i = 0; i < pLine.size(); ++i) {
        char c = pLine[i];
        if (c == '"') {
            if (inQuotes && i + 1 < pLine.size() && pLine[i + 1] == '"') {
                current.push_back('"');
                ++i;
            } else {
                inQuotes = !inQuotes;
            }
        } else if (c == ',' && !inQuotes) {
            fields.push_back(std::move(current));
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    fields.push_back(std::move(current));
    return fields;
}

std::string QuoteProjectField(std::string_view pText)
{
    std::string out = "\"";
    for (char c : pText) {
        if (c == '"')
            out += "\"\"";
        else if (c == '\r' || c == '\n')
            out.push_back(' ');
        else
            out.push_back(c);
    }
    out.push_back('"');
    return out;
}

std::string FormatBlockLevel(float pDb)
{
    double tenths = std::round(static_cast<double>(pDb) * 10.0); // halves away from zero
    if (tenths == 0.0 || !std::isfinite(tenths))
        return "0.0";
    auto value = static_cast<int64_t>(tenths);
    std::string sign = value < 0 ? "-" : "";
    int64_t magnitude = value < 0 ? -value : value;
    return sign + std::to_string(magnitude / 10) + "." + std::to_string(magnitude % 10);
}

std::string AbsolutePathOf(std::string_view pPath)
{
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(std::string(pPath), ec);
    return ec ? std::string(pPath) : full.lexically_normal().string();
}

std::string ResolveProjectName(std::string_view pName, std::string_view pBase)
{
    if (!IsAbsolutePath(pName) && !(pName.size() >= 1 && pName[0] == '\\'))
        return std::string(pBase) + std::string(pName);
    std::string name(pName);
    if (FileExists(name))
        return name;
    std::string beside = std::string(pBase) + std::string(ForeignFileNameOf(name));
    return FileExists(beside) ? beside : name;
}

std::string ProjectFileText(
    const Project& pProject, bool pClip, const std::vector<std::string>& pClipEnvelopeFiles)
{
    const Project& p = pProject;
    const ClipProject& c = p.Clip;
    std::string text;
    auto line = [&text](const std::vector<std::string>& fields) {
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i)
                text.push_back(',');
            text += fields[i];
        }
        text += "\r\n";
    };
    auto n = [](int64_t v) { return std::to_string(v); };

    const std::vector<Block>& blocks = pClip ? c.Blocks : p.Blocks;
    const std::vector<WaveFile>& waves = pClip ? c.WaveFiles : p.WaveFiles;
    const std::vector<FadePoint>& fades = pClip ? c.FadePoints : p.FadePoints;
    if (pClip) {
        line({ "0", n(c.LastTrackNo), n(p.SampleRate), n(waves.size()), n(blocks.size()),
            n(c.Length / kEnvelopeFrameSamples + 2), "0", "0", "0", "0", n(p.MasterLevelL),
            n(p.MasterLevelR), n(p.Zoom), "0", "0", n(c.LastTrackNo), "0", "0", n(kFormatFlags),
            "0", n(p.FadeTableType), n(p.SampleStep), n(fades.size()), n(p.LevelZoomDB) });
        for (int32_t t = 0; t <= c.LastTrackNo; ++t) {
            int32_t source = c.FirstTrack + t;
            Track track;
            track.LevelL = track.LevelR = p.UnityLevel;
            if (source >= 0 && source <= p.LastTrackNo)
                track = p.Tracks[source];
            std::string envelope
                = static_cast<size_t>(t) < pClipEnvelopeFiles.size() ? pClipEnvelopeFiles[t] : "";
            line({ n(track.PlaySelected), "1", n(track.LevelLinked), n(track.LevelL),
                n(track.LevelR), n(track.RecSelected), n(track.RecCh), n(track.PlayCh), "0", "0",
                QuoteProjectField(track.Name), QuoteProjectField(envelope) });
        }
    } else {
        line({ "0", n(p.LastTrackNo), n(p.SampleRate), n(waves.size()), n(blocks.size()),
            n(p.EnvelopeLength), n(p.MarkIn), n(p.MarkOut), n(p.CurrentTrack), "0",
            n(p.MasterLevelL), n(p.MasterLevelR), n(p.Zoom), n(p.Head), n(p.ViewStart),
            n(p.ViewTrackCount), n(p.ViewScroll), "0", n(kFormatFlags), n(p.ZeroPos),
            n(p.FadeTableType), n(p.SampleStep), n(fades.size()), n(p.LevelZoomDB) });
        for (const Track& track : p.Tracks)
            line({ n(track.PlaySelected), n(track.Selected), n(track.LevelLinked), n(track.LevelL),
                n(track.LevelR), n(track.RecSelected), n(track.RecCh), n(track.PlayCh), "0", "0",
                QuoteProjectField(track.Name), QuoteProjectField(track.EnvelopeFile) });
    }
    for (const WaveFile& wave : waves)
        line({ "0", "0", "0", "0", QuoteProjectField(wave.FileName),
            QuoteProjectField(wave.PeakFile) });
    for (const Block& b : blocks)
        line({ n(b.StartAdr), n(b.WaveNo), n(b.TrackNo), n(b.SrcStart), n(b.SrcEnd), n(b.Flags),
            n(b.GroupID), QuoteProjectField(FormatBlockLevel(b.LevelL)),
            QuoteProjectField(FormatBlockLevel(b.LevelR)), "0", QuoteProjectField(b.Name) });
    for (const FadePoint& f : fades)
        line({ n(f.EnvFrame), n(f.TrackNo), n(f.Channels) });
    return text;
}

Status WriteProject(
    const Project& pProject, std::string_view pPath, bool pClip, ProjectFileEnv& pEnv)
{
    std::vector<std::string> envelopeFiles;
    if (pClip) {
        const ClipProject& c = pProject.Clip;
        int32_t frames = c.Length / kEnvelopeFrameSamples + 2;
        for (int32_t t = 0; t <= c.LastTrackNo; ++t) {
            std::string name;
            bool present = static_cast<size_t>(t) < c.TrackPresent.size() && c.TrackPresent[t]
                && static_cast<size_t>(t) < c.Envelopes.size() && !c.Envelopes[t].empty();
            if (present) {
                // The clip's envelope is padded with unity up to the frame count the header gives.
                TrackEnvelope env = c.Envelopes[t];
                env.resize(
                    static_cast<size_t>(frames) * 2, static_cast<uint8_t>(pProject.UnityLevel));
                errno = 0;
                name = pEnv.Folder.NewTempName(kTempEnvelope);
                if (name.empty())
                    return WriteError(errno);
                if (Status written = WriteEnvelopeFile(name, env, frames); !written)
                    return written;
            }
            envelopeFiles.push_back(name);
        }
    }
    std::string text = ProjectFileText(pProject, pClip, envelopeFiles);
    if (Status written = WriteFileAtomic(pPath, text.data(), static_cast<int64_t>(text.size()));
        !written)
        return written;
    // A project saved outside the data folder names working files there: the folder's
    // clean-up must read it too, or it would delete them. A project that could not be noted
    // is not safely saved, and the save says so.
    if (!NoteOutsideProject(pEnv.Folder.Path(), pPath))
        return WriteError(EIO);
    return {};
}

Status ReadProject(
    Project& pProject, std::string_view pPath, bool pUndo, bool pClip, ProjectFileEnv& pEnv)
{
    pEnv.Lost = 0;
    if (!FileExists(pPath))
        return Fail(NotARegularFileText(pPath));
    std::optional<std::string> bytes = ReadAllBytes(pPath);
    if (!bytes)
        return Fail(Tr("ファイルを読めません"));
    std::string text = DecodeLegacyText(*bytes);
    Result<ParsedProject> parsedResult = ParseProject(SplitLines(text));
    if (!parsedResult)
        return parsedResult.error();
    const ParsedProject& parsed = *parsedResult;
    // Relative names are taken from the project's folder as a full path, so that the names
    // kept in the project (and saved again) mean the same files whatever the current folder
    // and however the project was named.
    const std::string base = FolderOf(AbsolutePathOf(pPath));
    const bool legacyLevels = (parsed.Values[kHdrFormatFlags] & 1) == 0;
    int32_t sampleStep
        = parsed.HeaderFieldCount > kHdrSampleStep && parsed.Values[kHdrSampleStep] > 0
        ? parsed.Values[kHdrSampleStep]
        : 64;
    sampleStep = std::min(sampleStep, 1000000);

    // Envelopes of the state being replaced, by file name, so an undo step re-reads only
    // the envelopes whose files changed.
    PreviousEnvelopes previousEnvelopes;
    for (size_t t = 0; t < pProject.Tracks.size() && t < pProject.Envelopes.size(); ++t)
        if (!pProject.Tracks[t].EnvelopeFile.empty())
            previousEnvelopes[ToLowerAscii(pProject.Tracks[t].EnvelopeFile)]
                = { pProject.Tracks[t].EnvelopeFile, pProject.Envelopes[t] };

    if (pClip) {
        if (parsed.SampleRate != pProject.SampleRate) {
            pEnv.Ui.ShowError(Tr(kRateDiffers));
            return Fail(Tr(kRateDiffers), ErrorCode::RateMismatch);
        }
        ReadClip(pProject, parsed, base, legacyLevels, pEnv);
        return {};
    }

    Project& p = pProject;
    const std::vector<WaveFile> oldWaves = std::move(p.WaveFiles);
    const std::vector<PeakArray> oldPeaks = std::move(p.Peaks);
    const PreviousWaves previous(oldWaves, oldPeaks, p.SampleStep);
    p.WaveFiles.clear();
    p.Peaks.clear();
    p.Blocks.clear();
    ApplyHeader(p, parsed, !pUndo || pEnv.UndoAll, sampleStep);
    ReadTracks(p, parsed, pUndo, base, legacyLevels, previousEnvelopes, pEnv);
    // An undo step selects the current track; a file keeps its selection as written, so that
    // a save without an edit writes the same bytes.
    if (pUndo)
        p.Tracks[p.CurrentTrack].Selected = 1;

    LoadedWaves waves = LoadWaves(parsed, base, p.SampleStep, previous, pEnv);
    p.Blocks = AttachBlocks(parsed, waves, p.LastTrackNo, p.SampleStep);
    p.WaveFiles = std::move(waves.Files);
    p.Peaks = std::move(waves.Peaks);
    p.SelectedBlock = -1;
    // The file's envelope length is part of the state it holds: taking the length of the
    // blocks as the present length keeps the next length update from resizing envelopes.
    p.ProjectLength = p.ComputeLength();
    p.FadePoints.clear();
    for (const FadePoint& f : parsed.Fades)
        if (f.TrackNo >= 0 && f.TrackNo <= p.LastTrackNo)
            p.FadePoints.push_back(f);
    return {};
}

} // namespace tarvok
