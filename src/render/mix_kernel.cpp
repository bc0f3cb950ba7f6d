#include "render/mix_kernel.h"

#include "base/i18n.h"
#include "base/numeric.h"
#include "core/envelope_gain.h"
#include "core/error_log.h"
#include "core/file_io.h"
#include "core/project.h"

#include <algorithm>
#include <mutex>
#include <set>

namespace tarvok {

static_assert(kMaxTracks == 64, "TrackWindow indexes tracks in an array of 64");

double FaderGain(const Project& pProject, int32_t pLevel)
{
    return static_cast<double>(pProject.Fades[static_cast<size_t>(std::clamp(pLevel, 0, 255))]);
}

std::array<double, 2> TrackGains(const Project& pProject, int32_t pTrack, double pTrim)
{
    const Track& track = pProject.Tracks[static_cast<size_t>(pTrack)];
    return { FaderGain(pProject, track.LevelL) * FaderGain(pProject, pProject.MasterLevelL) * pTrim,
        FaderGain(pProject, track.LevelR) * FaderGain(pProject, pProject.MasterLevelR) * pTrim };
}

std::optional<BlockOverlap> OverlapOf(const Block& pBlock, int64_t pStart, int64_t pFrames)
{
    const int64_t last = pStart + pFrames - 1;
    if (pBlock.EndAdr < pStart || pBlock.StartAdr > last || pBlock.EndAdr < pBlock.StartAdr)
        return std::nullopt;
    BlockOverlap overlap;
    overlap.WindowOffset = pBlock.StartAdr > pStart ? pBlock.StartAdr - pStart : 0;
    overlap.BlockOffset = pBlock.StartAdr < pStart ? pStart - pBlock.StartAdr : 0;
    overlap.Count = std::min<int64_t>(last, pBlock.EndAdr) - pStart + 1 - overlap.WindowOffset;
    if (overlap.Count <= 0)
        return std::nullopt;
    return overlap;
}

namespace {

std::mutex gDamagedMutex;
std::set<std::string> gDamagedNoted;
std::string gDamagedLogFolder;

} // namespace

bool NoteDamagedFile(const std::string& pPath)
{
    std::string logFolder;
    {
        std::lock_guard<std::mutex> lock(gDamagedMutex);
        if (!gDamagedNoted.insert(pPath).second)
            return false;
        logFolder = gDamagedLogFolder;
    }
    if (!logFolder.empty())
        ErrorLog(logFolder).WriteLog(DamagedFileText(pPath), true, true);
    return true;
}

void SetDamagedFileLog(const std::string& pLogFolder)
{
    std::lock_guard<std::mutex> lock(gDamagedMutex);
    gDamagedLogFolder = pLogFolder;
}

void ClearDamagedFileLog(const std::string& pLogFolder)
{
    std::lock_guard<std::mutex> lock(gDamagedMutex);
    if (gDamagedLogFolder == pLogFolder)
        gDamagedLogFolder.clear();
}

std::string DamagedFileText(std::string_view pPath)
{
    return TrArgs("作業ファイルが短くなっています（足りない部分は無音になります）: %1", pPath);
}

bool ReadBlockFrames(const Project& pProject, const Block& pBlock, int64_t pFrom, int64_t pCount,
    int16_t* pTo, bool* pShort)
{
    if (pBlock.WaveNo < 0 || pBlock.WaveNo >= pProject.WaveFileCount() || pCount <= 0)
        return false;
    const WaveFile& wave = pProject.WaveFiles[static_cast<size_t>(pBlock.WaveNo)];
    const int64_t offset = static_cast<int64_t>(wave.DataOffset)
        + (static_cast<int64_t>(pBlock.SrcStart) - 1 + pFrom) * kFrameBytes;
    bool read = ReadBytes(pTo, pCount * kFrameBytes, 0, wave.FileName, offset, 0);
    if (!read) {
        // A file that is there but ends before the frames asked for has lost its tail on the
        // disk: what it still holds was read (the read leaves the rest silent). Any other
        // failure reads as silence throughout.
        const int64_t size = FileSize64(wave.FileName);
        if (offset >= 0 && size >= 0 && size < offset + pCount * kFrameBytes) {
            read = true;
            if (pShort != nullptr)
                *pShort = true;
        } else {
            std::fill_n(pTo, static_cast<size_t>(pCount) * 2, int16_t { 0 });
        }
    }
    if (pBlock.LevelL != 0.0f || pBlock.LevelR != 0.0f) {
        const double factor[2] = { DbToFactor(pBlock.LevelL), DbToFactor(pBlock.LevelR) };
        for (int64_t i = 0; i < pCount * 2; ++i)
            pTo[i] = Saturate16(pTo[i] * factor[i & 1]);
    }
    return read;
}

void TrackWindow::Clear()
{
    for (int32_t track : tracks_)
        indexOf_[static_cast<size_t>(track)] = -1;
    tracks_.clear();
}

int16_t* TrackWindow::BufferFor(int32_t pTrack)
{
    int32_t& index = indexOf_[static_cast<size_t>(pTrack)];
    if (index < 0) {
        index = static_cast<int32_t>(tracks_.size());
        tracks_.push_back(pTrack);
        if (buffers_.size() < tracks_.size())
            buffers_.emplace_back();
        buffers_[static_cast<size_t>(index)].assign(static_cast<size_t>(frames_) * 2, 0);
    }
    return buffers_[static_cast<size_t>(index)].data();
}

bool TrackWindow::Read(
    const Project& pProject, int64_t pStart, int32_t pFrames, const Filter& pFilter)
{
    Clear();
    start_ = pStart;
    frames_ = pFrames;
    const int32_t trackCount = std::min<int32_t>(pProject.TrackCount(), kMaxTracks);
    for (const Block& block : pProject.Blocks) {
        if (pFilter.BeforeBlock && !pFilter.BeforeBlock())
            return false;
        if (block.TrackNo < 0 || block.TrackNo >= trackCount)
            continue;
        if (pFilter.Qualifies && !pFilter.Qualifies(block.TrackNo))
            continue;
        const std::optional<BlockOverlap> overlap = OverlapOf(block, pStart, pFrames);
        if (!overlap)
            continue;
        if (block.WaveNo < 0 || block.WaveNo >= pProject.WaveFileCount())
            continue;
        int16_t* target = BufferFor(block.TrackNo) + overlap->WindowOffset * 2;
        bool shortFile = false;
        if (!ReadBlockFrames(
                pProject, block, overlap->BlockOffset, overlap->Count, target, &shortFile)
            && pFilter.StopOnReadError)
            return false;
        if (shortFile) {
            const std::string& name
                = pProject.WaveFiles[static_cast<size_t>(block.WaveNo)].FileName;
            if (NoteDamagedFile(name))
                damaged_.push_back(name);
        }
    }
    return true;
}

void MixAccumulator::Reset(int32_t pFrames)
{
    frames_ = static_cast<size_t>(std::max(0, pFrames));
    acc_.assign(frames_ * 2, 0.0);
    envL_.resize(frames_);
    envR_.resize(frames_);
}

void MixAccumulator::AddTrack(const Project& pProject, int32_t pTrack, int64_t pStart,
    const int16_t* pFrames, std::array<double, 2> pGains)
{
    const size_t frames = frames_;
    double* acc = acc_.data();
    const double gainL = pGains[0];
    const double gainR = pGains[1];
    // The one sum of a track into the mix, with the envelope's gain of frame j from pEnvL and
    // pEnvR (per sample, or one gain for the whole window).
    const auto add = [&](auto pEnvL, auto pEnvR) {
        for (size_t j = 0; j < frames; ++j) {
            acc[2 * j] = NearestEven(acc[2 * j] + pFrames[2 * j] * gainL * pEnvL(j));
            acc[2 * j + 1] = NearestEven(acc[2 * j + 1] + pFrames[2 * j + 1] * gainR * pEnvR(j));
        }
    };
    const auto count = static_cast<int64_t>(frames);
    const std::optional<float> flatL
        = EnvelopeFlatGain(pProject, pTrack, kLeftChannel, pStart, count);
    const std::optional<float> flatR
        = flatL ? EnvelopeFlatGain(pProject, pTrack, kRightChannel, pStart, count) : std::nullopt;
    if (flatL && flatR) {
        // The usual case: the envelope holds one gain over the whole window, so no per-sample
        // gains are needed.
        if (gainL == 1.0 && gainR == 1.0 && *flatL == 1.0f && *flatR == 1.0f) {
            // Integer plus integer: the rounding after the addition changes nothing.
            for (size_t i = 0; i < frames * 2; ++i)
                acc[i] += pFrames[i];
            return;
        }
        const float envL = *flatL;
        const float envR = *flatR;
        add([envL](size_t) { return envL; }, [envR](size_t) { return envR; });
        return;
    }
    EnvelopeGainRun(pProject, pTrack, kLeftChannel, pStart, std::span<float>(envL_.data(), frames));
    EnvelopeGainRun(
        pProject, pTrack, kRightChannel, pStart, std::span<float>(envR_.data(), frames));
    const float* envL = envL_.data();
    const float* envR = envR_.data();
    add([envL](size_t pJ) { return envL[pJ]; }, [envR](size_t pJ) { return envR[pJ]; });
}

void MixAccumulator::WriteSamples(int16_t* pOut) const
{
    for (size_t i = 0; i < frames_ * 2; ++i)
        pOut[i] = Saturate16(acc_[i]);
}

} // namespace tarvok
