#include "core/peaks.h"

#include "base/i18n.h"
#include "base/numeric.h"
#include "core/file_io.h"
#include "core/user_interface.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace tarvok {

namespace {

constexpr int32_t kMaxPeak = 32768;

/// Entry bytes of the dB scale for every peak 0..32768, so that no logarithm is taken per entry.
const std::array<uint8_t, kMaxPeak + 1>& DbTable()
{
    static const std::array<uint8_t, kMaxPeak + 1> table = [] {
        std::array<uint8_t, kMaxPeak + 1> t {};
        for (int32_t peak = 0; peak <= kMaxPeak; ++peak) {
            double db = FactorToDb(static_cast<double>(peak) / 32767.0);
            t[peak] = static_cast<uint8_t>(Clamp32(RoundHalfEven(255.0 + 5.0 * db), 0, 255));
        }
        return t;
    }();
    return table;
}

#if defined(__GNUC__)
/// Eight samples (four frames) in one vector register; GCC and Clang lower the element-wise
/// comparisons to packed 16-bit min/max instructions at any optimisation level.
using Lanes16 = int16_t __attribute__((vector_size(16)));
#endif

/// Largest absolute left and right sample of pFrames interleaved frames, merged into pLeft and
/// pRight. Kept to comparisons on whole registers: this loop is the whole cost of building peaks.
void StretchPeak(const int16_t* pSamples, int64_t pFrames, int32_t& pLeft, int32_t& pRight)
{
    const int64_t count = pFrames * 2;
    int64_t i = 0;
    int16_t hiL = 0, loL = 0, hiR = 0, loR = 0;
#if defined(__GNUC__)
    Lanes16 hi {};
    Lanes16 lo {};
    for (; i + 8 <= count; i += 8) {
        Lanes16 v;
        std::memcpy(&v, pSamples + i, sizeof v);
        hi = v > hi ? v : hi;
        lo = v < lo ? v : lo;
    }
    for (int k = 0; k < 8; k += 2) {
        hiL = std::max<int16_t>(hiL, hi[k]);
        loL = std::min<int16_t>(loL, lo[k]);
        hiR = std::max<int16_t>(hiR, hi[k + 1]);
        loR = std::min<int16_t>(loR, lo[k + 1]);
    }
#endif
    for (; i < count; i += 2) {
        const int16_t l = pSamples[i];
        const int16_t r = pSamples[i + 1];
        hiL = l > hiL ? l : hiL;
        loL = l < loL ? l : loL;
        hiR = r > hiR ? r : hiR;
        loR = r < loR ? r : loR;
    }
    pLeft = std::max({ pLeft, static_cast<int32_t>(hiL), -static_cast<int32_t>(loL) });
    pRight = std::max({ pRight, static_cast<int32_t>(hiR), -static_cast<int32_t>(loR) });
}

std::string ProgressText(std::string_view pCaption, int64_t pDone, int64_t pTotal)
{
    double percent
        = pTotal > 0 ? static_cast<double>(pDone) / static_cast<double>(pTotal) * 100.0 : 100.0;
    char number[32];
    std::snprintf(number, sizeof number, "%.1f", percent);
    std::string text(pCaption);
    text += Tr("波形抽出 ");
    text += number;
    text += "%";
    return text;
}

bool ValidWave(const Project& pProject, int32_t pWave)
{
    return pWave >= 0 && pWave < pProject.WaveFileCount()
        && pWave < static_cast<int32_t>(pProject.Peaks.size());
}

} // namespace

uint8_t PeakValue(int32_t pPeak, int32_t pWfMode)
{
    int32_t peak = std::clamp(pPeak, 0, kMaxPeak);
    if (pWfMode == kWfModeDb)
        return DbTable()[peak];
    return static_cast<uint8_t>(std::min(peak / 128, 255));
}

PeakCollector::PeakCollector(int32_t pStep, int32_t pWfMode, PeakArray& pOut, int32_t pMaxEntries)
    : step_(std::max(pStep, 1))
    , wfMode_(pWfMode)
    , out_(pOut)
    , maxEntries_(std::clamp(pMaxEntries, 0, static_cast<int32_t>(pOut.size() / 2)))
{
    if (wfMode_ == kWfModeDb)
        DbTable();
}

void PeakCollector::Emit()
{
    out_[2 * static_cast<size_t>(entries_)] = PeakValue(peakL_, wfMode_);
    out_[2 * static_cast<size_t>(entries_) + 1] = PeakValue(peakR_, wfMode_);
    ++entries_;
    inStretch_ = 0;
    peakL_ = 0;
    peakR_ = 0;
}

void PeakCollector::Add(const int16_t* pSamples, int64_t pFrames)
{
    // Finish the stretch that the last call began.
    if (inStretch_ > 0 && pFrames > 0 && entries_ < maxEntries_) {
        const int64_t take = std::min<int64_t>(step_ - inStretch_, pFrames);
        StretchPeak(pSamples, take, peakL_, peakR_);
        pSamples += take * 2;
        pFrames -= take;
        inStretch_ += static_cast<int32_t>(take);
        if (inStretch_ == step_)
            Emit();
    }
    // Whole stretches, the bulk of the work.
    const uint8_t* table = wfMode_ == kWfModeDb ? DbTable().data() : nullptr;
    while (pFrames >= step_ && entries_ < maxEntries_) {
        int32_t left = 0;
        int32_t right = 0;
        StretchPeak(pSamples, step_, left, right);
        uint8_t* entry = out_.data() + 2 * static_cast<size_t>(entries_);
        if (table != nullptr) {
            entry[0] = table[std::min(left, kMaxPeak)];
            entry[1] = table[std::min(right, kMaxPeak)];
        } else {
            entry[0] = static_cast<uint8_t>(std::min(left / 128, 255));
            entry[1] = static_cast<uint8_t>(std::min(right / 128, 255));
        }
        ++entries_;
        pSamples += static_cast<int64_t>(step_) * 2;
        pFrames -= step_;
    }
    // Begin a stretch that the next call finishes.
    if (pFrames > 0 && entries_ < maxEntries_) {
        StretchPeak(pSamples, pFrames, peakL_, peakR_);
        inStretch_ = static_cast<int32_t>(pFrames);
    }
}

PeakBuildResult BuildPeaks(Project& pProject, int32_t pWave, int32_t pTrack,
    std::string_view pCaption, int32_t pWfMode, const std::string& pPeakFile, UserInterface& pUi,
    bool& pCancel)
{
    PeakBuildResult result;
    if (!ValidWave(pProject, pWave))
        return result;
    WaveFile& wave = pProject.WaveFiles[pWave];
    PeakArray& peaks = pProject.Peaks[pWave];
    const int32_t step = pProject.SampleStep > 0 ? pProject.SampleStep : 64;
    const int32_t peakCount = std::max(wave.PeakCount, 0);
    peaks.assign(static_cast<size_t>(peakCount) * 2, 0);

    // Only whole stretches are stored, and the last entry never is.
    const int32_t entries
        = std::clamp(std::max(wave.Length, 0) / step, 0, std::max(peakCount - 1, 0));
    const int64_t framesToRead = static_cast<int64_t>(entries) * step;
    PeakCollector collector(step, pWfMode, peaks, entries);

    FileHandle file = OpenFile(wave.FileName, OpenMode::Read);
    if (file.IsOpen() && framesToRead > 0) {
        const int64_t chunkFrames = kPeakChunkBytes / kFrameBytes;
        std::vector<int16_t> buffer(static_cast<size_t>(std::min(chunkFrames, framesToRead)) * 2);
        int64_t done = 0;
        while (done < framesToRead) {
            pUi.Yield();
            if (pTrack >= 0)
                pUi.RequestRedraw(RedrawArea::Tracks);
            const int64_t frames = std::min(chunkFrames, framesToRead - done);
            const int64_t offset = static_cast<int64_t>(wave.DataOffset) + done * kFrameBytes;
            const int64_t got = ReadAt(file, buffer.data(), frames * kFrameBytes, offset);
            const int64_t gotFrames = got > 0 ? got / kFrameBytes : 0;
            done += frames;
            pUi.ShowMessage(ProgressText(pCaption, done, framesToRead));
            if constexpr (std::endian::native == std::endian::big) {
                for (int64_t i = 0; i < gotFrames * 2; ++i) {
                    auto v = static_cast<uint16_t>(buffer[i]);
                    buffer[i] = static_cast<int16_t>(static_cast<uint16_t>((v << 8) | (v >> 8)));
                }
            }
            collector.Add(buffer.data(), gotFrames);
            // A file shorter than its header claims: what is missing stays silent.
            if (gotFrames < frames)
                break;
            if (pCancel) {
                pCancel = false;
                result.Cancelled = true;
                break;
            }
        }
    }
    result.Entries = collector.Entries();
    if (!pPeakFile.empty()) {
        wave.PeakFile = pPeakFile;
        result.Saved = SavePeaks(pProject, pWave);
    }
    return result;
}

bool SavePeaks(const Project& pProject, int32_t pWave)
{
    if (!ValidWave(pProject, pWave))
        return false;
    const WaveFile& wave = pProject.WaveFiles[pWave];
    const PeakArray& peaks = pProject.Peaks[pWave];
    if (wave.PeakCount <= 0 || wave.PeakFile.empty()
        || peaks.size() < static_cast<size_t>(wave.PeakCount) * 2)
        return false;
    return WriteFileAtomic(wave.PeakFile, peaks.data(), static_cast<int64_t>(wave.PeakCount) * 2)
        .has_value();
}

bool SavePeakRange(
    const Project& pProject, int32_t pWave, std::string_view pPath, int32_t pFirst, int32_t pLast)
{
    if (!ValidWave(pProject, pWave))
        return false;
    const WaveFile& wave = pProject.WaveFiles[pWave];
    const PeakArray& peaks = pProject.Peaks[pWave];
    if (wave.PeakCount <= 0 || pFirst < 0 || pLast < pFirst || pLast >= wave.PeakCount
        || peaks.size() < static_cast<size_t>(wave.PeakCount) * 2)
        return false;
    return WriteFileAtomic(pPath, peaks.data() + static_cast<size_t>(pFirst) * 2,
        (static_cast<int64_t>(pLast) - pFirst + 1) * 2)
        .has_value();
}

bool IsPeakFileCurrent(std::string_view pPath, int32_t pPeakCount)
{
    return pPeakCount > 0 && FileSize64(pPath) == static_cast<int64_t>(pPeakCount) * 2;
}

bool LoadPeaks(Project& pProject, int32_t pWave, std::string_view pPath)
{
    if (!ValidWave(pProject, pWave))
        return false;
    const int32_t peakCount = pProject.WaveFiles[pWave].PeakCount;
    const int64_t size = static_cast<int64_t>(peakCount) * 2;
    FileHandle file = OpenFile(pPath, OpenMode::Read);
    if (peakCount <= 0 || FileSize64(file) != size)
        return false;
    PeakArray loaded(static_cast<size_t>(size));
    if (ReadAt(file, loaded.data(), size, 0) != size)
        return false;
    pProject.Peaks[pWave] = std::move(loaded);
    return true;
}

} // namespace tarvok
