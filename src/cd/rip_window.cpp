#include "cd/rip_window.h"

#include "base/numeric.h"
#include "base/text.h"
#include "core/file_io.h"
#include "core/settings.h"
#include "core/user_interface.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tarvok {

namespace {

constexpr int32_t kFrames = RipAudio::kBufferFrames;
constexpr int32_t kBytes = RipAudio::kBufferBytes;

int16_t SampleAt(const uint8_t* pData, size_t pIndex)
{
    return static_cast<int16_t>(
        static_cast<uint16_t>(pData[pIndex * 2] | (pData[pIndex * 2 + 1] << 8)));
}

} // namespace

RipWindowModel::RipWindowModel(CdDriveService& pDrives, HttpClient* pHttp, UserInterface& pUi,
    WaveOutService& pWaveOut, Settings& pSettings, RipCheckOptions pOptions)
    : ui_(pUi)
    , waveOut_(pWaveOut)
    , settings_(pSettings)
    , driveService_(pDrives)
    , http_(pHttp)
    , options_(std::move(pOptions))
    , ra_(pDrives, &pUi)
{
    for (PlayBuffer& b : buffers_)
        b.Data.assign(static_cast<size_t>(kBytes), 0);
    ra_.SetProgressHandler([this](double pRate, std::string_view) {
        progBar_ = static_cast<int32_t>(RoundHalfEven(pRate * 1000));
        return !cancel_;
    });
}

RipWindowModel::~RipWindowModel() { CloseDevice(); }

void RipWindowModel::Open()
{
    int32_t level = settings_.GetSetting("RipLevel", int32_t { 0 });
    SetLevelDb(level);
    CheckRip = settings_.GetSetting("CheckRip", int32_t { 1 }) != 0;
    UseCddb = settings_.GetSetting("UseCDDB", int32_t { 1 }) != 0;
    ParanoiaRip = settings_.GetSetting("ParanoiaRip", int32_t { 0 }) != 0;
    drives_ = ListCdDrives(driveService_, settings_.GetSetting("CDImages", ""));
    selectedDrive_ = drives_.empty() ? -1 : 0;
}

void RipWindowModel::SelectDrive(int32_t pIndex)
{
    if (pIndex < 0 || pIndex >= static_cast<int32_t>(drives_.size()))
        return;
    selectedDrive_ = pIndex;
    LoadDisc();
}

void RipWindowModel::LoadDisc()
{
    if (playing_ || busy_ || drives_.empty())
        return;
    if (selectedDrive_ < 0)
        selectedDrive_ = 0;
    busy_ = true;
    ui_.SetBusy(true);
    ui_.Yield();
    discTitle_.clear();
    cddbId_.clear();
    musicBrainzId_.clear();
    rows_.clear();
    selected_.clear();
    ra_.DriveToRip(drives_[static_cast<size_t>(selectedDrive_)].Path);
    CddbOptions cddb;
    cddb.Server = settings_.GetSetting("CDDBServer", "gnudb.gnudb.org");
    cddb.MusicBrainzServer = settings_.GetSetting("MusicBrainzServer", "https://musicbrainz.org");
    // The look-ups keep the window responsive; closing it stops the wait.
    cddb.Limits.Tick = [this] {
        ui_.Yield();
        return !closed_;
    };
    DiscListing listing;
    if (!LoadTrackToList(ra_, UseCddb ? http_ : nullptr, ui_, cddb, listing)) {
        listing.Titles.assign(1, std::string());
        listing.Lengths.assign(1, std::string());
    }
    discTitle_ = listing.Title;
    cddbId_ = listing.CddbId;
    musicBrainzId_ = listing.MusicBrainzId;
    for (size_t i = 0; i < listing.Lengths.size(); ++i)
        rows_.push_back({ ZeroPad(static_cast<int64_t>(i) + 1, 2), listing.Lengths[i],
            i < listing.Titles.size() ? listing.Titles[i] : std::string(), {}, {} });
    busy_ = false;
    ui_.SetBusy(false);
}

void RipWindowModel::SetSelectedRows(const std::vector<int32_t>& pRows)
{
    selected_.clear();
    for (int32_t r : pRows)
        if (r >= 0 && r < static_cast<int32_t>(rows_.size()))
            selected_.push_back(r);
    std::sort(selected_.begin(), selected_.end());
    selected_.erase(std::unique(selected_.begin(), selected_.end()), selected_.end());
}

int32_t RipWindowModel::FirstSelectedRow() const
{
    return selected_.empty() ? -1 : selected_.front();
}

void RipWindowModel::SetLevelDb(int32_t pDb)
{
    levelDb_ = std::clamp(pDb, kMinLevelDb, kMaxLevelDb);
    ra_.SetBuffRipLevel(DbToFactor(levelDb_));
}

bool RipWindowModel::Start()
{
    if (playing_ || busy_)
        return false;
    cancel_ = false;
    busy_ = true;
    ui_.SetBusy(true);
    const int32_t row = FirstSelectedRow();
    const std::string reserved = RipTarget;
    bool good = false;
    if (row >= 0 && !RipTarget.empty()) {
        RipCheckOptions options = options_;
        options.Check = CheckRip;
        options.ErrorCorrection = ParanoiaRip;
        options.LevelDb = levelDb_;
        options.Status = [this](std::string_view pText) {
            picPlay_ = std::string(pText);
            if (options_.Status)
                options_.Status(pText);
        };
        RipCheckResult result = RipWithCheck(ra_, ui_, row, RipTarget, options);
        progBar_ = 0;
        good = result.Good;
        // The ripped track's checksums go to its row (at the disc's own level only: other
        // rips of the disc are compared at that level).
        if (good && levelDb_ == 0 && row < static_cast<int32_t>(ra_.Tracks().size())) {
            const std::optional<AccurateRipSums> sums = AccurateRipOfFile(
                result.Path, IsFirstAudioTrack(ra_.Toc(), row), IsLastAudioTrack(ra_.Toc(), row));
            if (sums)
                rows_[static_cast<size_t>(row)].AccurateRip = AccurateRipText(*sums);
        }
        // A cancel during the rip has emptied the target already.
        if (good && !RipTarget.empty())
            RipTarget = result.Path;
    }
    busy_ = false;
    ui_.SetBusy(false);
    ra_.SetCanceled(false);
    cancel_ = false;
    // Nothing good was ripped: nothing is imported, and the name reserved for the rip
    // (an empty working file) goes.
    if (!good || RipTarget.empty()) {
        if (!reserved.empty() && FileExists(reserved) && FileSize64(reserved) == 0)
            DeleteFileForce(reserved);
        RipTarget.clear();
    }
    Close(false);
    return true;
}

std::string RipWindowModel::DiscIdText() const
{
    if (cddbId_.empty())
        return {};
    return "CDDB " + cddbId_ + "  MusicBrainz " + musicBrainzId_;
}

bool RipWindowModel::VerifyAccurateRip()
{
    if (playing_ || busy_ || ra_.Tracks().empty())
        return false;
    cancel_ = false;
    busy_ = true;
    verifying_ = true;
    ui_.SetBusy(true);
    ra_.SetErrorCorrection(ParanoiaRip);
    const size_t n = ra_.Tracks().size();
    std::vector<std::optional<AccurateRipSums>> sums(n);
    for (size_t i = 0; i < n && !cancel_; ++i) {
        if (ra_.Tracks()[i].IsData)
            continue;
        picPlay_ = "Tr" + std::to_string(i + 1) + " AccurateRip";
        if (options_.Status)
            options_.Status(picPlay_);
        sums[i] = ra_.TrackChecksums(static_cast<int32_t>(i));
        if (i < rows_.size()) {
            rows_[i].AccurateRip = sums[i] ? AccurateRipText(*sums[i]) : std::string();
            rows_[i].Verdict.clear();
        }
    }
    const bool canceled = cancel_ || ra_.Canceled();
    if (!closed_)
        ra_.SetCanceled(false);
    cancel_ = false;
    progBar_ = 0;
    if (!canceled && http_) {
        AccurateRipOptions options;
        options.Server
            = settings_.GetSetting("AccurateRipServer", "http://www.accuraterip.com/accuraterip");
        // The window stays responsive while the database answers; Cancel stops the wait
        // and leaves the verdicts empty rather than calling the server unreachable.
        options.Limits.Tick = [this] {
            ui_.Yield();
            return !cancel_ && !closed_;
        };
        const std::vector<AccurateRipResult> verdicts
            = CheckAccurateRip(*http_, options, ra_.Toc(), sums);
        if (!cancel_ && !closed_)
            for (size_t i = 0; i < n && i < rows_.size() && i < verdicts.size(); ++i)
                rows_[i].Verdict
                    = AccurateRipVerdictText(verdicts[i], options_.AlternativeLanguage);
        cancel_ = false;
    }
    picPlay_.clear();
    if (options_.Status)
        options_.Status(picPlay_);
    verifying_ = false;
    busy_ = false;
    ui_.SetBusy(false);
    return true;
}

void RipWindowModel::Cancel()
{
    cancel_ = true;
    if (verifying_)
        return;
    RipTarget.clear();
    Close(false);
}

void RipWindowModel::Close(bool pCloseBox)
{
    if (pCloseBox) {
        cancel_ = true;
        RipTarget.clear();
    }
    settings_.SaveSetting("CheckRip", int32_t { CheckRip ? 1 : 0 });
    settings_.SaveSetting("UseCDDB", int32_t { UseCddb ? 1 : 0 });
    settings_.SaveSetting("ParanoiaRip", int32_t { ParanoiaRip ? 1 : 0 });
    Stop(true);
    ra_.SetCanceled(true);
    closed_ = true;
}

void RipWindowModel::SetWaveSize(int32_t pWidth, int32_t pHeight)
{
    (void)pHeight;
    waveWidth_ = std::max(1, pWidth);
}

std::string RipWindowModel::PreviewTimeText(int64_t pMs)
{
    if (pMs < 0)
        pMs = 0;
    char text[40];
    std::snprintf(text, sizeof text, "%03lld'%02lld.%03lld", static_cast<long long>(pMs / 60000),
        static_cast<long long>((pMs / 1000) % 60), static_cast<long long>(pMs % 1000));
    return text;
}

void RipWindowModel::Fill(int32_t pIndex, int64_t pFrom)
{
    PlayBuffer& b = buffers_[static_cast<size_t>(pIndex)];
    b.Filling = true;
    const bool read = pFrom <= INT32_MAX
        && ra_.RipCDtoBuff(playTrack_, static_cast<int32_t>(pFrom), b.Data.data()) > 0;
    if (handle_ != kNoWaveHandle) {
        b.Header.Length = static_cast<uint32_t>(kBytes);
        // A buffer that could not be read is not queued and counts as played, so the
        // timer moves on (and ends the track when nothing else plays).
        if (!read || waveOut_.Write(handle_, b.Header) != kWaveOk)
            b.Header.Flags.fetch_or(kHeaderDone);
    }
    b.Filling = false;
}

void RipWindowModel::Play()
{
    if (busy_ || paused_)
        return;
    if (playing_)
        Stop(false);
    const int32_t row = FirstSelectedRow();
    if (row < 0)
        return;
    ui_.SetBusy(true);
    ra_.SetBuffRipLevel(DbToFactor(levelDb_));
    playTrack_ = row;
    trackLength_ = ra_.GetTrackSample(row);
    playing_ = true;
    startPos_ = currentPos_;
    WaveFormat format;
    format.SampleRate = kCdSampleRate;
    const WaveResult opened = waveOut_.Open(0, format, handle_);
    if (opened != kWaveOk) {
        handle_ = kNoWaveHandle;
        std::string text = waveOut_.ErrorText(opened);
        if (text.empty())
            text = CommonWaveErrorText(opened);
        ui_.MessageBox(text, MsgButtons::Ok, MsgIcon::Error);
    }
    nextRead_ = currentPos_;
    for (int32_t i = 0; i < kBuffers; ++i) {
        PlayBuffer& b = buffers_[static_cast<size_t>(i)];
        b.Header.Data = b.Data.data();
        b.Header.Length = static_cast<uint32_t>(kBytes);
        b.Header.Flags.store(0);
        if (handle_ != kNoWaveHandle)
            waveOut_.Prepare(handle_, b.Header);
        Fill(i, nextRead_);
        nextRead_ += kFrames;
    }
    deviceOpen_ = true;
    ui_.SetBusy(false);
}

void RipWindowModel::PauseToggle()
{
    if (busy_ || !playing_)
        return;
    if (paused_) {
        if (handle_ != kNoWaveHandle)
            waveOut_.Restart(handle_);
        paused_ = false;
    } else {
        if (handle_ != kNoWaveHandle)
            waveOut_.Pause(handle_);
        paused_ = true;
    }
}

void RipWindowModel::CloseDevice()
{
    if (handle_ != kNoWaveHandle) {
        waveOut_.Reset(handle_);
        for (PlayBuffer& b : buffers_)
            waveOut_.Unprepare(handle_, b.Header);
        waveOut_.Close(handle_);
        handle_ = kNoWaveHandle;
    }
    deviceOpen_ = false;
}

void RipWindowModel::Stop(bool pResetDisplay)
{
    playing_ = false;
    CloseDevice();
    if (pResetDisplay)
        ResetDisplay();
}

void RipWindowModel::ResetDisplay()
{
    paused_ = false;
    currentPos_ = 0;
    startPos_ = 0;
    nextRead_ = 0;
    progBar_ = 0;
    picPlay_ = PreviewTimeText(0);
    columns_.clear();
    meterValue_ = { -600, -600 };
    meterPeak_ = { -600, -600 };
}

int32_t RipWindowModel::Refill()
{
    if (!playing_ || nextRead_ > int64_t { kCdSampleRate } + trackLength_)
        return -2;
    int32_t refilled = -1;
    bool finished = false;
    bool stillPlaying = false;
    for (int32_t i = 0; i < kBuffers; ++i) {
        ui_.Yield();
        PlayBuffer& b = buffers_[static_cast<size_t>(i)];
        if (b.Filling)
            break;
        if (b.Header.IsDone()) {
            if (nextRead_ < trackLength_) {
                Fill(i, nextRead_);
                nextRead_ += kFrames;
                refilled = i;
            } else {
                finished = true;
            }
        } else {
            stillPlaying = true;
        }
    }
    if (refilled >= 0)
        return refilled;
    if (finished)
        return stillPlaying ? -3 : -4;
    return -1;
}

int32_t RipWindowModel::Tick()
{
    if (!deviceOpen_)
        return -2;
    const int32_t result = Refill();
    if (result == -4 || result == -2) {
        const int32_t played = playTrack_;
        Stop(true);
        if (!rows_.empty()) {
            const int32_t next = (played + 1) % static_cast<int32_t>(rows_.size());
            selected_.assign(1, next);
        }
        Play();
        return result;
    }
    if (result >= 0 && playing_)
        DrawBuffer((result + 1) % kBuffers);
    if (!paused_ && handle_ != kNoWaveHandle) {
        uint32_t bytes = 0;
        if (waveOut_.GetPosition(handle_, bytes) == kWaveOk)
            currentPos_ = bytes / 4 + startPos_;
        if (!holding_ && trackLength_ > 0)
            progBar_ = static_cast<int32_t>(
                RoundHalfEven(static_cast<double>(currentPos_) / trackLength_ * 1000));
    }
    picPlay_
        = PreviewTimeText(RoundHalfEven(static_cast<double>(currentPos_) / kCdSampleRate * 1000));
    return result;
}

void RipWindowModel::DrawBuffer(int32_t pIndex)
{
    const uint8_t* data = buffers_[static_cast<size_t>(pIndex)].Data.data();
    const int32_t perColumn = std::max(1, kFrames / waveWidth_);
    columns_.clear();
    std::array<int32_t, 2> largest { 0, 0 };
    std::array<double, 2> sums { 0, 0 };
    std::array<int32_t, 2> peak { 0, 0 };
    for (int32_t k = 0; k < kFrames; ++k) {
        for (size_t c = 0; c < 2; ++c) {
            const int32_t v = SampleAt(data, static_cast<size_t>(k) * 2 + c);
            largest[c] = std::max(largest[c], std::abs(v));
            sums[c] += static_cast<double>(v) * v;
        }
        if (k % perColumn == 0) {
            columns_.push_back(largest);
            peak[0] = std::max(peak[0], largest[0]);
            peak[1] = std::max(peak[1], largest[1]);
            largest = { 0, 0 };
        }
    }
    if (!playing_)
        return;
    for (size_t c = 0; c < 2; ++c) {
        const double rms = std::sqrt(sums[c] / kFrames);
        meterValue_[c] = static_cast<int32_t>(RoundHalfEven(10 * FactorToDb(rms / 32767)));
        meterPeak_[c] = static_cast<int32_t>(RoundHalfEven(10 * FactorToDb(peak[c] / 32767.0)));
    }
}

void RipWindowModel::SeekPress()
{
    wasPlaying_ = playing_;
    holding_ = true;
}

void RipWindowModel::SeekMove(int32_t pValue)
{
    currentPos_ = RoundHalfEven(pValue / 1000.0 * trackLength_);
    picPlay_
        = PreviewTimeText(RoundHalfEven(static_cast<double>(currentPos_) / kCdSampleRate * 1000));
}

void RipWindowModel::SeekRelease(int32_t pValue)
{
    SeekMove(pValue);
    holding_ = false;
    progBar_ = pValue;
    if (wasPlaying_)
        Play();
}

void RipWindowModel::ListClicked()
{
    if (playing_)
        Stop(true);
}

} // namespace tarvok
