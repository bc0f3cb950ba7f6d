#include "core/write_out_all.h"

#include "base/file_name.h"
#include "base/text.h"
#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/peaks.h"
#include "core/project_file.h"
#include "core/wave_info.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
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
    Result<FileHandle> target
        = StartWaveFile(pSampleRate, 16, 2, pTarget, frames * kFrameBytes, true);
    if (!target) {
        DeleteFileForce(pTarget);
        return Fail(failed + ": " + target.error().Message, target.error().Code);
    }
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
        if (ReadAt(source, buffer.data(), n * kFrameBytes, offset) != n * kFrameBytes) {
            result = Fail(failed, ErrorCode::FileError);
            break;
        }
        // A full disk is named as such: the cause travels up to the message.
        if (Status written = WriteAt(*target, buffer.data(), n * kFrameBytes, -1); !written) {
            result = Fail(failed + ": " + written.error().Message, written.error().Code);
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
            return copied;
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
        const std::string failed
            = "copying the envelope of track " + std::to_string(t + 1) + " failed";
        std::string envName = NewNumberedName(kTempEnvelope, pFolder);
        std::optional<std::string> bytes = ReadAllBytes(pProject.Tracks[t].EnvelopeFile);
        if (envName.empty() || !bytes)
            return Fail(failed);
        if (Status written = WriteFileAtomic(
                pFolder + envName, bytes->data(), static_cast<int64_t>(bytes->size()));
            !written)
            return Fail(failed + ": " + written.error().Message, written.error().Code);
        track.EnvelopeFile = envName;
    }
    std::string text = ProjectFileText(copy);
    std::string path = pFolder + pName + ".tvp";
    if (Status written = WriteFileAtomic(path, text.data(), static_cast<int64_t>(text.size()));
        !written)
        return Fail(
            "writing " + path + " failed: " + written.error().Message, written.error().Code);
    return {};
}

namespace {

constexpr std::string_view kWorkFolderEnd = ".saveall";

/// True when pText is one or more ASCII digits.
bool AllDigits(std::string_view pText)
{
    return !pText.empty() && pText.find_first_not_of("0123456789") == std::string_view::npos;
}

} // namespace

std::string SaveAllWorkFolderName(std::string_view pBare, int64_t pPid, int32_t pNumber)
{
    return FolderOf(pBare) + "." + FileNameOf(pBare) + "." + std::to_string(pPid) + "-"
        + ZeroPad(pNumber, 2) + std::string(kWorkFolderEnd);
}

bool IsSaveAllWorkFolderName(std::string_view pName, std::string_view pTargetName, int64_t* pPid)
{
    // "." + target + "." + PID + "-" + number + ".saveall"
    const size_t head = pTargetName.size() + 2;
    if (pTargetName.empty() || pName.size() <= head + kWorkFolderEnd.size() || pName[0] != '.'
        || pName.substr(1, pTargetName.size()) != pTargetName || pName[head - 1] != '.'
        || !pName.ends_with(kWorkFolderEnd))
        return false;
    const std::string_view middle = pName.substr(head, pName.size() - head - kWorkFolderEnd.size());
    const size_t dash = middle.find('-');
    if (dash == std::string_view::npos || !AllDigits(middle.substr(0, dash))
        || !AllDigits(middle.substr(dash + 1)) || dash > 18)
        return false;
    if (pPid != nullptr)
        *pPid = std::stoll(std::string(middle.substr(0, dash)));
    return true;
}

bool IsSaveAllFileName(std::string_view pName, std::string_view pProject)
{
    const std::string lower = ToLowerAscii(pName);
    if (lower.size() == 12 && lower.find_first_not_of("0123456789") == 8
        && (lower.ends_with(".wav") || lower.ends_with(".wwf") || lower.ends_with(".wfd")))
        return true;
    return EqualsNoCase(pName, std::string(pProject) + ".tvp") || IsReplaceTempName(pName);
}

std::string KeepFolderVisible(const std::string& pFolder, std::string_view pBare)
{
    std::error_code ec;
    for (int32_t n = 1; n <= 99; ++n) {
        std::string kept = std::string(pBare) + ZeroPad(n, 2);
        if (std::filesystem::exists(kept, ec))
            continue;
        if (RenameFileNoReplace(pFolder, kept))
            return kept;
    }
    return pFolder;
}

int RemoveStaleSaveAllFolders(std::string_view pBare, std::string_view pProject)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const std::string name = FileNameOf(pBare);
    std::vector<std::string> stale;
    for (const auto& entry : fs::directory_iterator(FolderOf(pBare), ec)) {
        int64_t pid = 0;
        if (IsSaveAllWorkFolderName(entry.path().filename().string(), name, &pid)
            && !ProcessRuns(pid) && entry.is_directory(ec) && !entry.is_symlink(ec))
            stale.push_back(entry.path().string());
    }
    int removed = 0;
    for (const std::string& folder : stale) {
        for (const auto& entry : fs::directory_iterator(folder, ec))
            if (entry.is_regular_file(ec) && !entry.is_symlink(ec)
                && IsSaveAllFileName(entry.path().filename().string(), pProject))
                DeleteFileForce(entry.path().string());
        // Only an empty folder goes; what is left in it is the user's.
        if (fs::remove(folder, ec))
            ++removed;
        else
            KeepFolderVisible(folder, pBare);
    }
    return removed;
}

} // namespace tarvok
