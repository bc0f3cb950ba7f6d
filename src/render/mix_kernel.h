#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvok {

class Project;
struct Block;

/// A fader level (clamped to 0..255) through the project's fade table.
double FaderGain(const Project& pProject, int32_t pLevel);

/// Left and right gain of a track: its fader level x the master level x pTrim.
std::array<double, 2> TrackGains(const Project& pProject, int32_t pTrack, double pTrim);

/// Where a block meets the timeline window [pStart, pStart + pFrames).
struct BlockOverlap {
    int64_t WindowOffset = 0; ///< frames into the window
    int64_t BlockOffset = 0; ///< frames into the block
    int64_t Count = 0;
};

/// The part of pBlock inside the window; nothing when they do not meet.
std::optional<BlockOverlap> OverlapOf(const Block& pBlock, int64_t pStart, int64_t pFrames);

/// Reads pCount frames of a block's source, from pFrom frames into the block, as interleaved
/// 16-bit stereo into pTo and applies the block's levels. What cannot be read is left
/// silent. A working file that has become shorter than its blocks (damaged on disk) is not a
/// failure: the frames it no longer holds are silence and pShort (when given) is set. False
/// when the block names no wave file of the project or the file cannot be read.
bool ReadBlockFrames(const Project& pProject, const Block& pBlock, int64_t pFrom, int64_t pCount,
    int16_t* pTo, bool* pShort = nullptr);

/// True the first time this process notes pPath as a damaged (shortened) working file, so
/// that mixdown and playback report each such file once. That first time the file is also
/// written to the error log of SetDamagedFileLog, when one is set.
bool NoteDamagedFile(const std::string& pPath);
/// The error-log folder that damaged working files are written to (the application sets
/// its own at start-up); empty for none.
void SetDamagedFileLog(const std::string& pLogFolder);
/// Stops writing damaged files to pLogFolder when that is the folder set (an application
/// ending whose log that was).
void ClearDamagedFileLog(const std::string& pLogFolder);
/// The user's message about a damaged working file.
std::string DamagedFileText(std::string_view pPath);

/// One window of the timeline read track by track: a buffer of interleaved frames for every
/// track with a block there, in the order the tracks' first blocks appear in the block table.
/// That is the mix order, which matters because the mix rounds after every track. Buffers
/// are kept from window to window, so that reading a window allocates nothing.
class TrackWindow {
public:
    struct Filter {
        /// True when the blocks of a track (a valid track index) are to be read.
        std::function<bool(int32_t)> Qualifies;
        /// Called before each block; returning false abandons the window.
        std::function<bool()> BeforeBlock;
        /// True: a failed read abandons the window; false: it plays as silence.
        bool StopOnReadError = true;
    };

    /// Reads the window [pStart, pStart + pFrames): later blocks over earlier ones, silence
    /// where no block lies. False when the window was abandoned (see Filter).
    bool Read(const Project& pProject, int64_t pStart, int32_t pFrames, const Filter& pFilter);
    /// The buffer of pTrack in the current window, added silent when the track has none.
    int16_t* BufferFor(int32_t pTrack);
    /// Forgets the window's tracks (their buffers are kept for reuse).
    void Clear();

    /// Damaged (shortened) working files met since the last call that were not reported
    /// before in this process (NoteDamagedFile); their missing frames read as silence.
    std::vector<std::string> TakeDamaged() { return std::exchange(damaged_, {}); }

    size_t TrackCount() const { return tracks_.size(); }
    int32_t TrackAt(size_t pIndex) const { return tracks_[pIndex]; }
    /// The frames of the track at pIndex, from pOffset frames into the window.
    const int16_t* Frames(size_t pIndex, int64_t pOffset = 0) const
    {
        return buffers_[pIndex].data() + pOffset * 2;
    }
    int64_t Start() const { return start_; }
    int32_t Length() const { return frames_; }

private:
    std::array<int32_t, 64> indexOf_ = MakeEmptyIndex();
    std::vector<int32_t> tracks_;
    std::vector<std::vector<int16_t>> buffers_;
    std::vector<std::string> damaged_;
    int64_t start_ = 0;
    int32_t frames_ = 0;

    static std::array<int32_t, 64> MakeEmptyIndex()
    {
        std::array<int32_t, 64> index {};
        index.fill(-1);
        return index;
    }
};

/// Sums tracks into one interleaved stereo mix. After every track each sum is rounded half to
/// even, so the result depends on the order of the tracks and never on where a window is cut:
/// the renderer and the playback engine give the same samples.
class MixAccumulator {
public:
    /// Starts a mix of pFrames silent frames.
    void Reset(int32_t pFrames);
    /// Adds the track's interleaved frames (as many as the mix has) through pGains and the
    /// track's envelope from timeline frame pStart.
    void AddTrack(const Project& pProject, int32_t pTrack, int64_t pStart, const int16_t* pFrames,
        std::array<double, 2> pGains);
    /// The sums so far, interleaved.
    std::span<const double> Sums() const { return { acc_.data(), frames_ * size_t { 2 } }; }
    /// The mix as 16-bit samples, saturated to +-32767.
    void WriteSamples(int16_t* pOut) const;

private:
    std::vector<double> acc_;
    std::vector<float> envL_;
    std::vector<float> envR_;
    size_t frames_ = 0;
};

} // namespace tarvok
