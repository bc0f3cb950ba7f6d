#include "cd/rip_audio.h"

#include "base/numeric.h"
#include "base/text.h"
#include "cd/cd_image.h"
#include "core/file_io.h"
#include "core/user_interface.h"
#include "core/wave_info.h"

#include <algorithm>
#include <cstring>

namespace tarvok {

namespace {

/// Reads between two progress events.
constexpr int32_t kReadsPerProgress = 10;

} // namespace

void ScaleCdSamples(uint8_t* pBytes, size_t pCount, double pFactor)
{
    for (size_t i = 0; i < pCount; ++i) {
        uint8_t* p = pBytes + i * 2;
        const auto value = static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
        const auto scaled = static_cast<uint16_t>(Saturate16(value * pFactor));
        p[0] = static_cast<uint8_t>(scaled & 0xFF);
        p[1] = static_cast<uint8_t>(scaled >> 8);
    }
}

namespace {

/// The audio session of an enhanced CD ends kCdSessionGap sectors before its first data
/// track: the last audio track is shortened to that end when it reaches further.
void EndAudioSession(std::vector<CdTrack>& pTracks)
{
    size_t firstData = pTracks.size();
    while (firstData > 0 && pTracks[firstData - 1].IsData)
        --firstData;
    if (firstData == 0 || firstData == pTracks.size())
        return;
    CdTrack& last = pTracks[firstData - 1];
    const int32_t end = pTracks[firstData].StartLba - kCdSessionGap;
    if (end <= last.StartLba || end > last.EndLba)
        return;
    last.Sectors = end - last.StartLba;
    last.EndLba = end - 1;
    last.LengthMs
        = static_cast<int32_t>(RoundHalfEven(last.Sectors * 1000.0 / kCdSectorsPerSecond));
    last.Frames = last.Sectors * kCdSectorFrames;
}

} // namespace

RipAudio::RipAudio(CdDriveService& pService, UserInterface* pUi)
    : service_(pService)
    , ui_(pUi)
{
}

void RipAudio::DriveToRip(std::string_view pDrive)
{
    drive_.clear();
    if (pDrive.empty())
        return;
    for (const CdDriveEntry& d : service_.PhysicalDrives())
        if (d.Path == pDrive) {
            drive_ = d.Path;
            return;
        }
    if (IsCdImagePath(pDrive) && FileExists(pDrive))
        drive_ = std::string(pDrive);
}

void RipAudio::UpdateToc()
{
    toc_ = DiscToc {};
    tracks_.clear();
    model_.clear();
    if (drive_.empty())
        return;
    std::unique_ptr<CdDevice> device = service_.Open(drive_);
    if (!device)
        return;
    model_ = device->ModelName();
    DiscToc toc = device->ReadToc();
    // The walk stops at the first entry numbered above the last track (the lead-out);
    // a table without one, or with tracks out of order, counts as unreadable.
    std::vector<CdTrack> tracks;
    size_t leadOut = 0;
    bool found = false;
    for (size_t i = 0; i < toc.Entries.size(); ++i) {
        if (toc.Entries[i].TrackNo > toc.LastTrack) {
            leadOut = i;
            found = true;
            break;
        }
    }
    if (!found || toc.LastTrack <= 0 || toc.LastTrack > 99 || toc.FirstTrack < 1
        || static_cast<int32_t>(leadOut) != toc.LastTrack - toc.FirstTrack + 1)
        return;
    for (size_t i = 0; i < leadOut; ++i) {
        const TocEntry& e = toc.Entries[i];
        const TocEntry& next = toc.Entries[i + 1];
        CdTrack t;
        t.StartLba = MsfToLba(e.M, e.S, e.F);
        const int32_t nextStart = MsfToLba(next.M, next.S, next.F);
        if (nextStart < t.StartLba)
            return;
        t.Sectors = nextStart - t.StartLba;
        t.EndLba = nextStart - 1;
        t.LengthMs = static_cast<int32_t>(RoundHalfEven(t.Sectors * 1000.0 / kCdSectorsPerSecond));
        t.Frames = t.Sectors * kCdSectorFrames;
        t.IsData = (e.Control & 4) != 0;
        tracks.push_back(t);
    }
    EndAudioSession(tracks);
    toc_ = std::move(toc);
    tracks_ = std::move(tracks);
}

int32_t RipAudio::GetTrackSample(int32_t pTrack) const
{
    if (pTrack < 0 || pTrack >= static_cast<int32_t>(tracks_.size()))
        return 0;
    return tracks_[static_cast<size_t>(pTrack)].Frames;
}

RipOutcome RipAudio::RipTrack(int32_t pTrack, std::string_view pFilename, double pVol)
{
    if (drive_.empty() || pTrack < 0 || pTrack >= static_cast<int32_t>(tracks_.size()))
        return RipOutcome::NoTrack;
    const CdTrack track = tracks_[static_cast<size_t>(pTrack)];
    if (track.IsData)
        return RipOutcome::DataTrack;
    if (track.Sectors <= 0)
        return RipOutcome::EmptyTrack;

    ReplaceFile out;
    if (!out.Begin(pFilename))
        return RipOutcome::WriteFailed;
    std::optional<FileHandle> header
        = WriteWaveHeader(kCdSampleRate, 16, 2, out.TempPath(), 0, true);
    if (!header)
        return RipOutcome::WriteFailed;
    out.Handle() = std::move(*header);

    RipOutcome outcome = RipOutcome::Done;
    std::unique_ptr<CdDevice> device = service_.Open(drive_);
    errorCorrectionUsed_ = false;
    if (!device)
        outcome = RipOutcome::ReadFailed;
    else if (errorCorrection_)
        errorCorrectionUsed_ = device->UseErrorCorrection();
    std::vector<uint8_t> buffer(static_cast<size_t>(kBufferBytes));
    int32_t left = track.Sectors;
    int32_t position = track.StartLba;
    int32_t reads = 0;
    while (device && left > 0) {
        const int32_t n = std::min(kCdReadSectors, left);
        const int64_t bytes = static_cast<int64_t>(n) * kCdSectorBytes;
        if (!ReadShifted(*device, position, n, buffer.data())) {
            outcome = RipOutcome::ReadFailed;
            break;
        }
        if (pVol != 1.0)
            ScaleCdSamples(buffer.data(), static_cast<size_t>(bytes / 2), pVol);
        if (!WriteAt(out.Handle(), buffer.data(), bytes, -1)) {
            outcome = RipOutcome::WriteFailed;
            break;
        }
        left -= n;
        position += n;
        if (left == 0)
            break;
        if (++reads % kReadsPerProgress == 0) {
            if (ui_)
                ui_->Yield();
            if (!prog_(1.0 - static_cast<double>(left) / track.Sectors))
                canceled_ = true;
            if (canceled_) {
                outcome = RipOutcome::Canceled;
                break;
            }
        }
    }
    device.reset();
    // The file ends at the last good chunk; its header is made to match before it goes
    // into place, so even a short file is a valid one.
    if (outcome == RipOutcome::WriteFailed) {
        const int64_t size = FileSize64(out.Handle());
        const int64_t whole = size < 44 ? 0 : (size - 44) / 4 * 4;
        if (!SetWaveDataSize(out.TempPath(), whole, &out.Handle()) || !out.Commit())
            return RipOutcome::WriteFailed;
        return outcome;
    }
    if (!FixWaveSizes(out.TempPath(), 0, false, &out.Handle()) || !out.Commit())
        return RipOutcome::WriteFailed;
    return outcome;
}

int32_t RipAudio::RipCDtoBuff(int32_t pTrack, int32_t pFrom, uint8_t* pBuffer)
{
    if (drive_.empty() || pTrack < 0 || pTrack >= static_cast<int32_t>(tracks_.size()) || pFrom < 0)
        return -1;
    const CdTrack& track = tracks_[static_cast<size_t>(pTrack)];
    const int32_t start
        = static_cast<int32_t>(RoundHalfEven(pFrom / double { kCdSectorFrames })) + track.StartLba;
    // Up to and including the track's last sector.
    const int32_t count = std::min(kCdReadSectors, track.EndLba + 1 - start);
    if (count <= 0)
        return -1;
    std::unique_ptr<CdDevice> device = service_.Open(drive_);
    if (!device)
        return -1;
    std::vector<uint8_t> buffer(static_cast<size_t>(kBufferBytes), 0);
    if (!device->ReadAudioSectors(start, count, buffer.data()))
        return -1;
    if (buffRipLevel_ != 1.0)
        ScaleCdSamples(
            buffer.data(), static_cast<size_t>(count) * kCdSectorBytes / 2, buffRipLevel_);
    std::memcpy(pBuffer, buffer.data(), buffer.size());
    return 1;
}

std::optional<AccurateRipSums> RipAudio::TrackChecksums(int32_t pTrack)
{
    if (drive_.empty() || pTrack < 0 || pTrack >= static_cast<int32_t>(tracks_.size()))
        return std::nullopt;
    const CdTrack track = tracks_[static_cast<size_t>(pTrack)];
    if (track.IsData)
        return std::nullopt;
    std::unique_ptr<CdDevice> device = service_.Open(drive_);
    if (!device)
        return std::nullopt;
    if (errorCorrection_)
        device->UseErrorCorrection();
    AccurateRipAccumulator sums(
        track.Frames, IsFirstAudioTrack(toc_, pTrack), IsLastAudioTrack(toc_, pTrack));
    std::vector<uint8_t> buffer(static_cast<size_t>(kBufferBytes));
    int32_t left = track.Sectors;
    int32_t position = track.StartLba;
    int32_t reads = 0;
    while (left > 0) {
        const int32_t n = std::min(kCdReadSectors, left);
        if (!ReadShifted(*device, position, n, buffer.data()))
            return std::nullopt;
        sums.Add(buffer.data(), static_cast<size_t>(n) * kCdSectorFrames);
        left -= n;
        position += n;
        if (left > 0 && ++reads % kReadsPerProgress == 0) {
            if (ui_)
                ui_->Yield();
            if (!prog_(1.0 - static_cast<double>(left) / track.Sectors))
                canceled_ = true;
            if (canceled_)
                return std::nullopt;
        }
    }
    return sums.Sums();
}

bool RipAudio::ReadShifted(CdDevice& pDevice, int32_t pLba, int32_t pCount, uint8_t* pBuffer)
{
    if (readOffset_ == 0)
        return pDevice.ReadAudioSectors(pLba, pCount, pBuffer);
    // The sectors holding the moved samples, one more when they start inside a sector;
    // those outside the disc's audio (before LBA 0, from the lead-out on) are silent.
    const int64_t first = static_cast<int64_t>(pLba) * kCdSectorFrames + readOffset_;
    int64_t sector = first / kCdSectorFrames;
    if (first < 0 && first % kCdSectorFrames != 0)
        --sector;
    const auto skip = static_cast<size_t>(first - sector * kCdSectorFrames);
    const int32_t count = pCount + (skip > 0 ? 1 : 0);
    const int32_t leadOut = toc_.Entries.empty()
        ? 0
        : MsfToLba(toc_.Entries.back().M, toc_.Entries.back().S, toc_.Entries.back().F);
    std::vector<uint8_t> raw(static_cast<size_t>(count) * kCdSectorBytes, 0);
    const int64_t from = std::max<int64_t>(sector, 0);
    const int64_t to = std::min<int64_t>(sector + count, leadOut);
    if (to > from
        && !pDevice.ReadAudioSectors(static_cast<int32_t>(from), static_cast<int32_t>(to - from),
            raw.data() + static_cast<size_t>(from - sector) * kCdSectorBytes))
        return false;
    std::memcpy(pBuffer, raw.data() + skip * 4, static_cast<size_t>(pCount) * kCdSectorBytes);
    return true;
}

std::vector<std::string> RipAudio::CdTextTitles()
{
    if (drive_.empty())
        return {};
    std::unique_ptr<CdDevice> device = service_.Open(drive_);
    if (!device)
        return {};
    // CD-TEXT comes from the disc (or an image anyone can make): shown as plain text only.
    std::vector<std::string> titles = device->CdTextTitles();
    for (std::string& title : titles)
        title = std::string(Trim(BlankControlCharacters(title)));
    return titles;
}

void RipAudio::SetTitles(const std::vector<std::string>& pTitles)
{
    for (size_t i = 0; i < tracks_.size(); ++i)
        tracks_[i].Title = i < pTitles.size() ? pTitles[i] : std::string();
}

} // namespace tarvok
