#include "core/write_out_all.h"

#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/peaks.h"
#include "core/project_file.h"
#include "core/wave_info.h"

#include <algorithm>
#include <vector>

namespace tarvok {

Status CopyWaveFrames(const WaveFile& pWave, int32_t pSampleRate, int32_t pFirst, int32_t pLast,
    const std::string& pTarget, const Progress& pProgress)
{
    const std::string failed = "copying " + pWave.FileName + " failed";
    if (pFirst < 1 || pLast < pFirst || pLast > pWave.Length)
        return Fail(failed);
    const int64_t frames = static_cast<int64_t>(pLast) - pFirst + 1;
    FileHandle source = OpenFile(pWave.FileName, OpenMode::Read);
    if (!source.IsOpen())
        return Fail(failed, ErrorCode::FileError);
    std::optional<FileHandle> target
        = WriteWaveHeader(pSampleRate, 16, 2, pTarget, frames * kFrameBytes, true);
    if (!target)
        return Fail(failed, ErrorCode::FileError);
    constexpr int64_t kChunkFrames = 2097152 / kFrameBytes;
    std::vector<char> buffer(static_cast<size_t>(kChunkFrames * kFrameBytes));
    int64_t done = 0;
    Status result;
    while (done < frames) {
        if (!pProgress(static_cast<double>(done) / static_cast<double>(frames))) {
            result = CancelledError();
            break;
        }
        int64_t n = std::min(kChunkFrames, frames - done);
        int64_t offset = pWave.DataOffset + (static_cast<int64_t>(pFirst) - 1 + done) * kFrameBytes;
        if (ReadAt(source, buffer.data(), n * kFrameBytes, offset) != n * kFrameBytes
            || !WriteAt(*target, buffer.data(), n * kFrameBytes, -1)) {
            result = Fail(failed, ErrorCode::FileError);
            break;
        }
        done += n;
    }
    if (!target->Close() && result)
        result = Fail(failed, ErrorCode::FileError);
    if (!result)
        DeleteFileForce(pTarget);
    return result;
}

Status WriteOutAll(const Project& pProject, const std::string& pFolder, const std::string& pName,
    UserInterface& pUi, const Progress& pProgress)
{
    (void)pUi;
    if (pProject.BlockCount() < 1 || pProject.WaveFileCount() < 1)
        return Fail("no data");
    Project copy = pProject;
    const int32_t waves = pProject.WaveFileCount();
    std::vector<int32_t> first(static_cast<size_t>(waves), INT32_MAX);
    std::vector<int32_t> last(static_cast<size_t>(waves), 0);
    for (const Block& b : pProject.Blocks) {
        first[b.WaveNo] = std::min(first[b.WaveNo], b.SrcStart);
        last[b.WaveNo] = std::max(last[b.WaveNo], b.SrcEnd);
    }
    for (Block& b : copy.Blocks) {
        b.SrcStart = b.SrcStart - first[b.WaveNo] + 1;
        b.SrcEnd = b.SrcEnd - first[b.WaveNo] + 1;
    }
    for (int32_t w = 0; w < waves; ++w) {
        const WaveFile& wave = pProject.WaveFiles[w];
        std::string wavName = NewNumberedName(kTempWave, pFolder);
        std::string peakName = NewNumberedName(kTempPeak, pFolder);
        if (wavName.empty() || peakName.empty())
            return Fail("no free file name in the folder");
        const Progress stage
            = pProgress.Stage(static_cast<double>(w) / waves, static_cast<double>(w + 1) / waves);
        if (Status copied = CopyWaveFrames(
                wave, pProject.SampleRate, first[w], last[w], pFolder + wavName, stage);
            !copied)
            return Fail("copying " + wave.FileName + " failed", copied.error().Code);
        int32_t step = pProject.SampleStep > 0 ? pProject.SampleStep : 64;
        if (!SavePeakRange(pProject, w, pFolder + peakName, first[w] / step,
                std::min(last[w] / step, wave.PeakCount - 1)))
            return Fail("writing the peaks of " + wave.FileName + " failed");
        copy.WaveFiles[w].FileName = wavName;
        copy.WaveFiles[w].PeakFile = peakName;
    }
    for (int32_t t = 0; t <= copy.LastTrackNo; ++t) {
        Track& track = copy.Tracks[t];
        if (track.EnvelopeFile.empty() || !FileExists(track.EnvelopeFile)) {
            track.EnvelopeFile.clear();
            continue;
        }
        std::string envName = NewNumberedName(kTempEnvelope, pFolder);
        std::optional<std::string> bytes = ReadAllBytes(pProject.Tracks[t].EnvelopeFile);
        if (envName.empty() || !bytes
            || !WriteFileAtomic(
                pFolder + envName, bytes->data(), static_cast<int64_t>(bytes->size())))
            return Fail("copying the envelope of track " + std::to_string(t + 1) + " failed");
        track.EnvelopeFile = envName;
    }
    std::string text = ProjectFileText(copy);
    std::string path = pFolder + pName + ".tvp";
    if (!WriteFileAtomic(path, text.data(), static_cast<int64_t>(text.size())))
        return Fail("writing " + path + " failed");
    return {};
}

} // namespace tarvok
