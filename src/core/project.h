#pragma once

#include "core/fade_table.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

inline constexpr int32_t kMaxTracks = 64;
inline constexpr int32_t kMaxTrackIndex = kMaxTracks - 1;
/// Working files are 16-bit stereo: four bytes a frame.
inline constexpr int32_t kFrameBytes = 4;
inline constexpr int32_t kChannels = 2;
inline constexpr int32_t kBits = 16;
/// No block may end at or beyond this frame: (4 GiB - 1 - 10,240,000) bytes / 4, rounded.
inline constexpr int32_t kMaxLength = 1071181824;
/// Samples per envelope frame.
inline constexpr int32_t kEnvelopeFrameSamples = 2048;
inline constexpr int32_t kDefaultZoom = 32;

/// One track of the project; 56 bytes on disk, field order as stored in the project file.
struct Track {
    std::string Name;
    std::string EnvelopeFile;
    int32_t PlaySelected = 1;
    int32_t Selected = 0;
    int32_t RecSelected = 0;
    int32_t LevelLinked = 0;
    int32_t LevelL = 207;
    int32_t LevelR = 207;
    int32_t AutoLevelL = 207; ///< run-time: level written by automation while playing
    int32_t AutoLevelR = 207;
    int32_t RecCh = 0;
    int32_t PlayCh = 0;
    int32_t AutoMode = 0; ///< run-time automation state
    int32_t AutoWritten = 0; ///< run-time: automation wrote to this track in this pass
};

/// Block flag bits.
inline constexpr int32_t kBlockLocked = 1;
inline constexpr int32_t kBlockFadeLocked = 2;

/// A stretch of a wave file placed on a track. Timeline positions count from 0, positions in
/// the wave file (SrcStart, SrcEnd) from 1.
struct Block {
    int32_t TrackNo = 0;
    int32_t StartAdr = 0;
    int32_t EndAdr = 0;
    std::string Name;
    int32_t WaveNo = 0;
    int32_t SrcStart = 0;
    int32_t SrcEnd = 0;
    int32_t Length = 0;
    int32_t PeakStart = 0;
    int32_t PeakEnd = 0;
    int32_t PeakLen = 0;
    int32_t Flags = 0;
    int32_t GroupID = 0;
    float LevelL = 0.0f; ///< dB, 0 = unchanged
    float LevelR = 0.0f;

    bool operator==(const Block&) const = default;
};

/// A working WAV file that blocks read from.
struct WaveFile {
    std::string FileName; ///< full path; empty marks a file found missing while reading
    std::string PeakFile;
    int32_t DataOffset = 0;
    int32_t Length = 0; ///< frames
    int32_t PeakCount = 0; ///< Length / SampleStep + 1

    bool operator==(const WaveFile&) const = default;
};

/// A knot marker on a track envelope; the level is the envelope value at EnvFrame.
struct FadePoint {
    int32_t EnvFrame = 0;
    int32_t TrackNo = 0;
    int32_t Channels = 0; ///< bit 0 left, bit 1 right
    float DotX[2] = { 0, 0 }; ///< run-time: centres of the dots last drawn, per channel
    float DotY[2] = { 0, 0 };
};

/// Two peak bytes (left, right) per entry.
using PeakArray = std::vector<uint8_t>;

/// Two level indices (left, right) per envelope frame of 2048 samples.
using TrackEnvelope = std::vector<uint8_t>;

/// The clipboard: a second set of the project's tables. Block tracks count from the first
/// track copied; block WaveNo indexes the clipboard's own WaveFiles.
struct ClipProject {
    std::vector<Block> Blocks;
    std::vector<WaveFile> WaveFiles;
    std::vector<PeakArray> Peaks;
    std::vector<TrackEnvelope> Envelopes; ///< per clip track, frames covering the range
    std::vector<uint8_t> TrackPresent; ///< per clip track, 1 when its envelope was copied
    std::vector<FadePoint> FadePoints;
    int32_t FirstTrack = 0; ///< lowest track copied
    int32_t LastTrackNo = 0; ///< track span: highest - lowest track copied
    int32_t Length = 0; ///< frames; 0 means the clipboard is empty
    bool NoEnvelope = false; ///< filled from a project file without any envelope file

    void Clear();
    bool Empty() const { return Length <= 0; }
};

/// Re-establishes the block invariants against its wave file: track clamped to
/// 0..pLastTrackNo, source range inside the file (at least one frame), timeline position
/// inside 0..kMaxLength - 1, derived fields recomputed.
void NormalizeBlockFields(
    Block& pBlock, const WaveFile& pWave, int32_t pLastTrackNo, int32_t pSampleStep);

/// The one editing state: tracks, blocks, wave files with their peaks, envelopes, fade
/// points, marks and head. The table operations keep the invariants that every editing
/// Part relies on (see NormalizeBlock and RemoveWaveFile).
class Project {
public:
    int32_t LastTrackNo = 7;
    std::vector<Track> Tracks;
    std::vector<Block> Blocks;
    int32_t SelectedBlock = -1;
    std::vector<WaveFile> WaveFiles;
    std::vector<PeakArray> Peaks;
    std::vector<TrackEnvelope> Envelopes;
    int32_t EnvelopeLength = 0;
    std::vector<FadePoint> FadePoints;
    int32_t MarkIn = 0;
    int32_t MarkOut = 0;
    int32_t Head = 0;
    int32_t ViewStart = 0;
    int32_t ZeroPos = 0;
    int32_t CurrentTrack = 0;
    int32_t SampleRate = 44100;
    int32_t SampleStep = 64;
    int32_t Zoom = kDefaultZoom;
    int32_t MasterLevelL = 207;
    int32_t MasterLevelR = 207;
    int32_t FadeTableType = 1;
    int32_t LevelZoomDB = 0;
    int32_t ViewTrackCount = 7;
    int32_t ViewScroll = 0;

    // Run-time state.
    int32_t ProjectLength = 0;
    int32_t UnityLevel = 207;
    FadeTable Fades {};
    std::string ProjectFile;
    std::string LastSoundFile;
    bool Saved = true;
    int32_t UndoCounter = 0;
    int32_t LastUndoType = 0;
    std::string DataFolder;
    /// One past the current end of a running recording, or -1 when none runs.
    int32_t RecordingEnd = -1;

    ClipProject Clip;

    int32_t BlockCount() const { return static_cast<int32_t>(Blocks.size()); }
    int32_t WaveFileCount() const { return static_cast<int32_t>(WaveFiles.size()); }
    int32_t FadePointCount() const { return static_cast<int32_t>(FadePoints.size()); }
    int32_t TrackCount() const { return LastTrackNo + 1; }

    /// Sets the fade table type and rebuilds the table and the unity level; false (and
    /// nothing changed) for a type other than 0 and 1.
    bool SetFadeTableType(int32_t pType);

    /// Sets the number of tracks (clamped to 1..64): resizes Tracks and Envelopes, new
    /// tracks get default records and an all-unity envelope; CurrentTrack stays valid.
    void SetTrackCount(int32_t pCount);

    /// Appends one zeroed block; false when the table cannot grow.
    bool AddBlock();
    /// Removes a block; its wave file goes too when no other block uses it. False for an
    /// index outside the table.
    bool DeleteBlock(int32_t pIndex);
    /// Re-establishes the block invariants against the block's wave file.
    void NormalizeBlock(Block& pBlock, const WaveFile& pWave) const;
    /// NormalizeBlock with the block's own wave file; false when its WaveNo is invalid.
    bool NormalizeBlock(int32_t pIndex);
    /// True when the block's track is selected and the block overlaps MarkIn..MarkOut.
    bool IsBlockInRange(int32_t pIndex) const;

    /// Index of the wave file with this path (compared without regard to case), or -1.
    int32_t FindWaveFile(std::string_view pPath) const;
    /// Appends a wave file entry of pFrames frames with a zeroed peak array; returns its
    /// index (an existing entry of the same path is reused), or -1 when it cannot be added.
    int32_t AddWaveFileEntry(std::string_view pPath, int32_t pDataOffset, int32_t pFrames);
    /// Reads the file's WAV summary and, when it is a usable WAV file, adds an entry with a
    /// zeroed peak array (AddWaveFileEntry); returns the index, or -1.
    int32_t AddWaveFile(std::string_view pPath);
    bool IsWaveFileUsed(int32_t pIndex) const;
    /// Removes the entry and its peak array; blocks of later entries are renumbered.
    bool RemoveWaveFile(int32_t pIndex);

    /// Appends one zeroed fade point; false when the table cannot grow.
    bool AddFadePoint();
    bool DeleteFadePoint(int32_t pIndex);

    /// Recomputes ProjectLength; returns true when it changed. With pOnlyLonger a shorter
    /// length is ignored. Grows the envelopes, or shrinks them after a loss of more than
    /// 60 seconds, to the length plus 10 seconds.
    bool UpdateTitleLength(bool pOnlyLonger);

    /// Largest EndAdr + 1 over all blocks (and a running recording), 0 when empty.
    int32_t ComputeLength() const;

    /// Empties everything the project owns (tables, peaks, envelopes, names, clipboard).
    void ResetProject();

    /// Describes the first broken invariant, or returns an empty text when all hold.
    std::string CheckInvariants() const;
};

} // namespace tarvok
