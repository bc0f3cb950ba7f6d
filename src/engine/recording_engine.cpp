#include "engine/recording_engine.h"

#include "base/numeric.h"
#include "core/data_folder.h"
#include "core/load_file_to_track.h"
#include "core/peaks.h"
#include "core/settings.h"
#include "core/time_text.h"
#include "core/user_interface.h"
#include "core/wave_info.h"
#include "edit/range_edit.h"
#include "engine/playback_engine.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>

namespace tarvok {

namespace {

constexpr int32_t kRecFrameBytes = 4;
constexpr int32_t kWaveHeaderBytes = 44;
constexpr int32_t kStatusShift = 4096;

int32_t Magnitude(int16_t pSample) { return std::abs(static_cast<int32_t>(pSample)); }

int32_t EncodeStatus(int32_t pStatus, int32_t pTarget)
{
    return pStatus > 0 ? pStatus * kStatusShift + pTarget : -1;
}

void PutLe32(uint8_t* pTo, uint32_t pValue)
{
    for (int i = 0; i < 4; ++i)
        pTo[i] = static_cast<uint8_t>(pValue >> (8 * i));
}

/// Places a take's whole file at pStartAdr on pTrack as a new block; the index of its wave
/// file, or nothing when the file cannot be placed.
std::optional<int32_t> PlaceTake(Project& pProject, int32_t pTrack, const std::string& pPath,
    int32_t pStartAdr, int32_t pSkipFrames = 0)
{
    Result<PlacedFile> placed = PlaceFileOnTrack(pProject, pTrack, pPath, pStartAdr, "");
    if (!placed)
        return std::nullopt;
    Block& block = pProject.Blocks[static_cast<size_t>(placed->Block)];
    // A take stays unnamed: its file's name is a working name that means nothing to the user.
    block.Name.clear();
    // Frames that belong before the start of the timeline are left out of the block.
    if (pSkipFrames > 0 && block.SrcStart + pSkipFrames <= block.SrcEnd) {
        block.SrcStart += pSkipFrames;
        pProject.NormalizeBlock(placed->Block);
    }
    return placed->Wave;
}

} // namespace

/// One thread that flushes the files named to it to the disk, each as soon as it can;
/// a file named again while it waits is flushed once.
class FileSyncer {
public:
    FileSyncer()
        : thread_([this] { Run(); })
    {
    }
    ~FileSyncer()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    void Request(int pFd)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (std::find(pending_.begin(), pending_.end(), pFd) == pending_.end())
                pending_.push_back(pFd);
        }
        wake_.notify_all();
    }
    /// Waits until every file named so far is flushed; the number of failed flushes since
    /// the last call.
    int32_t Drain()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        idle_.wait(lock, [this] { return pending_.empty() && !busy_; });
        const int32_t failures = failures_;
        failures_ = 0;
        return failures;
    }
    /// Failed flushes so far, without waiting.
    int32_t Failures()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return failures_;
    }
    /// The error number of the last failed flush (0 when none failed).
    int LastError()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return lastError_;
    }

private:
    void Run()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stop_ || !pending_.empty(); });
            if (pending_.empty())
                return;
            const int fd = pending_.front();
            pending_.erase(pending_.begin());
            busy_ = true;
            lock.unlock();
            const int result = fdatasync(fd);
            const int error = result != 0 ? errno : 0;
            lock.lock();
            busy_ = false;
            if (result != 0) {
                ++failures_;
                lastError_ = error;
            }
            idle_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::vector<int> pending_;
    bool busy_ = false;
    bool stop_ = false;
    int32_t failures_ = 0;
    int lastError_ = 0;
    std::thread thread_;
};

int32_t RecChSlot(int32_t pRecCh)
{
    if (pRecCh >= 0 && pRecCh <= 7)
        return pRecCh;
    if (pRecCh >= 100 && pRecCh <= 115)
        return (pRecCh - 100) / 2;
    return -1;
}

int32_t RecChType(int32_t pRecCh)
{
    if (pRecCh >= 0 && pRecCh <= 7)
        return kRecStereo;
    if (pRecCh >= 100 && pRecCh <= 115)
        return (pRecCh % 2 == 0) ? kRecLeft : kRecRight;
    return 0;
}

std::string RecChText(int32_t pRecCh)
{
    if (pRecCh >= 0 && pRecCh <= 7)
        return std::to_string(2 * pRecCh + 1) + "+" + std::to_string(2 * pRecCh + 2);
    if (pRecCh >= 100 && pRecCh <= 115)
        return std::to_string(pRecCh - 99);
    return "";
}

int32_t RecChOfMenuItem(int32_t pItem) { return pItem <= 7 ? pItem : pItem + 92; }

bool RecChMenuItemVisible(int32_t pItem, const std::array<int32_t, 8>& pInputEnabled)
{
    if (pItem < 0 || pItem > 23)
        return false;
    const int32_t slot = pItem <= 7 ? pItem : (pItem - 8) / 2;
    return pInputEnabled[slot] != 0;
}

bool RecChOverlaps(int32_t pA, int32_t pB)
{
    if (pA == pB)
        return true;
    const int32_t slotA = RecChSlot(pA);
    if (slotA < 0 || slotA != RecChSlot(pB))
        return false;
    // Same slot, different values: only the two single channels of one slot coexist.
    return RecChType(pA) == kRecStereo || RecChType(pB) == kRecStereo;
}

namespace {

bool SlotEnabled(int32_t pRecCh, const std::array<int32_t, 8>& pInputEnabled)
{
    const int32_t slot = RecChSlot(pRecCh);
    return slot >= 0 && pInputEnabled[slot] != 0;
}

void DisarmOverlapping(Project& pProject, int32_t pTrack)
{
    for (int32_t t = 0; t < pProject.TrackCount(); ++t)
        if (t != pTrack && pProject.Tracks[t].RecSelected
            && RecChOverlaps(pProject.Tracks[t].RecCh, pProject.Tracks[pTrack].RecCh))
            pProject.Tracks[t].RecSelected = 0;
}

} // namespace

bool ToggleRecArm(
    Project& pProject, int32_t pTrack, const std::array<int32_t, 8>& pInputEnabled, bool pRecording)
{
    if (pRecording || pTrack < 0 || pTrack >= pProject.TrackCount())
        return false;
    Track& track = pProject.Tracks[pTrack];
    if (track.RecSelected) {
        track.RecSelected = 0;
        return true;
    }
    if (!SlotEnabled(track.RecCh, pInputEnabled))
        return false;
    track.RecSelected = 1;
    DisarmOverlapping(pProject, pTrack);
    return true;
}

bool ChooseRecInput(Project& pProject, int32_t pTrack, int32_t pItem,
    const std::array<int32_t, 8>& pInputEnabled, bool pRecording)
{
    if (pRecording || pTrack < 0 || pTrack >= pProject.TrackCount() || pItem < 0 || pItem > 23)
        return false;
    Track& track = pProject.Tracks[pTrack];
    track.RecCh = RecChOfMenuItem(pItem);
    if (track.RecSelected) {
        if (!SlotEnabled(track.RecCh, pInputEnabled))
            track.RecSelected = 0;
        else
            DisarmOverlapping(pProject, pTrack);
    }
    return true;
}

RecordingEngine::RecordingEngine(WaveInService& pIn, PlaybackEngine& pPlayback, Project& pProject,
    UserInterface& pUi, EngineOptions& pOptions, DataFolder& pFolder)
    : in_(pIn)
    , playback_(pPlayback)
    , project_(pProject)
    , ui_(pUi)
    , options_(pOptions)
    , folder_(pFolder)
{
    ResetRecords();
}

RecordingEngine::~RecordingEngine()
{
    if (syncer_)
        syncer_->Drain();
    // Never leave a device filling buffers that are about to go.
    for (int32_t s = 0; s < kInputSlots; ++s)
        if (Slots[s].Handle != kNoWaveHandle) {
            in_.Reset(Slots[s].Handle);
            in_.Close(Slots[s].Handle);
            Slots[s].Handle = kNoWaveHandle;
        }
}

double RecordingEngine::SlotGain(int32_t pSlot, int32_t pChannel) const
{
    return DbToFactor(pChannel == 0 ? options_.LevelLdb[pSlot] : options_.LevelRdb[pSlot]);
}

void RecordingEngine::ResetRecords()
{
    RecStartPos = 0;
    FirstTarget = -1;
    FirstStart = 0;
    RecOnly = false;
    RecStarted = false;
    RecTargetCount = 0;
    WriteFailed = false;
    takeAsked_ = false;
    writeError_.clear();
    // Files are closed only once nothing flushes them any more.
    if (syncer_)
        syncer_->Drain();
    for (RecTarget& t : Targets) {
        t.File.Close();
        t = RecTarget {};
        t.Peaks.assign(2, 0);
    }
    for (InputSlotState& s : Slots) {
        s.Armed = 0;
        s.Opened = 0;
        s.TargetL = -1;
        s.TargetR = -1;
        s.Gaps.clear();
    }
}

bool RecordingEngine::PrepareRecording()
{
    Project& p = project_;
    ui_.ShowMessage(Tr(kRecInitText));
    StartAmplitude
        = static_cast<int32_t>(RoundHalfEven(DbToFactor(options_.MuonStartLevelDB) * 32767));
    StopAmplitude
        = static_cast<int32_t>(RoundHalfEven(DbToFactor(options_.MuonStopLevelDB) * 32767));
    StopLength
        = static_cast<int32_t>(RoundHalfEven(options_.MuonStopLengthMS / 1000.0 * p.SampleRate));
    ResetRecords();
    LostFrames = 0;
    lostRuns_.clear();
    RecStartPos = p.Head;
    for (int32_t j = 0; j < p.TrackCount() && RecTargetCount < kRecTargets; ++j) {
        const Track& track = p.Tracks[j];
        if (!track.RecSelected)
            continue;
        const int32_t k = RecChSlot(track.RecCh);
        const int32_t type = RecChType(track.RecCh);
        if (k < 0 || !playback_.InputEnabled()[k])
            continue;
        // Tracks armed on overlapping inputs (a project armed elsewhere): the first wins.
        if ((type != kRecRight && Slots[k].TargetL >= 0)
            || (type != kRecLeft && Slots[k].TargetR >= 0))
            continue;
        const int32_t i = RecTargetCount++;
        InputSlotState& slot = Slots[k];
        slot.Armed = 1;
        if (type != kRecRight)
            slot.TargetL = i;
        if (type != kRecLeft)
            slot.TargetR = i;
        RecTarget& t = Targets[i];
        t.ChannelType = type;
        t.TrackNo = j;
        t.InputSlot = k;
        t.StartAdr = RecStartPos;
    }
    if (RecTargetCount == 0) {
        ui_.ShowMessage(Tr(kRecSelectTrackText));
        return false;
    }
    for (int32_t k = 0; k < kInputSlots; ++k)
        if (Slots[k].Armed)
            SetupRecordBuffers(k);
    for (int32_t i = 0; i < RecTargetCount; ++i) {
        RecTarget& t = Targets[i];
        t.FileName = folder_.NewTempName(1);
        Result<FileHandle> file = t.FileName.empty()
            ? Result<FileHandle>(Fail(Tr("作業ファイルの名前がありません")))
            : StartWaveFile(p.SampleRate, 16, 2, t.FileName, 0, true);
        if (!file) {
            ui_.MessageBox(
                TrArgs("%1: %2（%3）", Tr(kRecCreateFailedText), t.FileName, file.error().Message),
                MsgButtons::Ok, MsgIcon::Error);
            for (int32_t j = 0; j <= i; ++j) {
                Targets[j].File.Close();
                if (!Targets[j].FileName.empty())
                    DeleteFileForce(Targets[j].FileName);
                DeleteFileForce(Targets[j].FileName + kRecMarkerSuffix);
            }
            ResetRecords();
            return false;
        }
        t.File = std::move(*file);
        WriteMarker(t);
    }
    return true;
}

void RecordingEngine::WriteMarker(const RecTarget& pTarget)
{
    // The marker holds what is needed to place the file should this process end before
    // StopRecording: the track, the timeline position and the rate; and the process that
    // writes the take, so that no other process takes a live take for an orphan.
    const std::string text = std::to_string(pTarget.TrackNo) + " "
        + std::to_string(pTarget.StartAdr) + " " + std::to_string(project_.SampleRate) + " "
        + std::to_string(static_cast<int64_t>(::getpid())) + "\r\n";
    static_cast<void>(WriteFileAtomic(
        pTarget.FileName + kRecMarkerSuffix, text.data(), static_cast<int64_t>(text.size())));
}

void RecordingEngine::SetupRecordBuffers(int32_t pSlot)
{
    RecBufferSamples = project_.SampleRate;
    InputSlotState& s = Slots[pSlot];
    s.Headers = std::make_unique<WaveHeader[]>(kRecBuffers);
    for (int32_t b = 0; b < kRecBuffers; ++b) {
        s.Arrays[b].assign(static_cast<size_t>(RecBufferSamples) * 2, 0);
        s.Headers[b].Data = reinterpret_cast<uint8_t*>(s.Arrays[b].data());
        s.Headers[b].Length = static_cast<uint32_t>(RecBufferSamples) * kRecFrameBytes;
    }
    scratch_.assign(static_cast<size_t>(RecBufferSamples) * 2, 0);
    levelled_.assign(static_cast<size_t>(RecBufferSamples) * 2, 0);
    silence_.assign(static_cast<size_t>(RecBufferSamples) * 2, 0);
}

bool RecordingEngine::OpenInput(int32_t pSlot, bool pStartLater)
{
    InputSlotState& s = Slots[pSlot];
    if (!s.Headers)
        SetupRecordBuffers(pSlot);
    WaveFormat format;
    format.SampleRate = project_.SampleRate;
    WaveHandle handle = kNoWaveHandle;
    WaveResult result = in_.Open(options_.DevInID[pSlot], format, handle);
    auto fail = [&](WaveResult pResult) {
        const std::string why = in_.ErrorText(pResult).substr(0, 200);
        ui_.MessageBox(
            DeviceErrorMessage(false, pSlot, options_.DevInID[pSlot], in_.Devices(), pResult, why),
            MsgButtons::Ok, MsgIcon::Error);
        return false;
    };
    if (result != kWaveOk)
        return fail(result);
    for (int32_t b = 0; b < kRecBuffers; ++b) {
        s.Headers[b].Flags.store(0);
        if ((result = in_.Prepare(handle, s.Headers[b])) != kWaveOk
            || (result = in_.AddBuffer(handle, s.Headers[b])) != kWaveOk) {
            in_.Reset(handle);
            for (int32_t u = 0; u <= b; ++u)
                in_.Unprepare(handle, s.Headers[u]);
            in_.Close(handle);
            return fail(result);
        }
    }
    s.Handle = handle;
    s.BufferBusy.fill(0);
    s.NextIndex = 0;
    s.Processed = 0;
    s.LastBytes = 0;
    s.Captured = 0;
    s.Lost = 0;
    s.Gaps.clear();
    s.Alignment.Reset();
    s.OffsetFrames = 0;
    s.Opened = 1;
    if (pStartLater) {
        s.PendingStart = 1;
        s.Active = 1;
        return true;
    }
    if ((result = in_.Start(handle)) != kWaveOk) {
        CloseInput(pSlot);
        return fail(result);
    }
    s.Active = 1;
    return true;
}

void RecordingEngine::StartPendingInputs()
{
    // Started one after the other with nothing in between, so the slots' clocks begin
    // as close together as the service allows.
    for (InputSlotState& s : Slots)
        if (s.PendingStart && s.Handle != kNoWaveHandle) {
            in_.Start(s.Handle);
            s.PendingStart = 0;
        }
}

bool RecordingEngine::Arm()
{
    if (Recording)
        return true;
    return PrepareRecording() && OpenArmedInputs();
}

bool RecordingEngine::OpenArmedInputs()
{
    bool any = false;
    for (int32_t k = 0; k < kInputSlots; ++k)
        if (Slots[k].Armed && OpenInput(k, true))
            any = true;
    if (!any) {
        for (int32_t i = 0; i < RecTargetCount; ++i) {
            Targets[i].File.Close();
            DeleteFileForce(Targets[i].FileName);
            DeleteFileForce(Targets[i].FileName + kRecMarkerSuffix);
        }
        ResetRecords();
        return false;
    }
    StartPendingInputs();
    Recording = true;
    project_.RecordingEnd = -1;
    return true;
}

void RecordingEngine::StartAtFirstFrame()
{
    takeAsked_ = true;
    for (int32_t i = 0; i < RecTargetCount; ++i)
        if (Slots[Targets[i].InputSlot].Active)
            Targets[i].StartOffset = 0;
}

void RecordingEngine::StartAtCurrentPosition()
{
    takeAsked_ = true;
    for (int32_t k = 0; k < kInputSlots; ++k) {
        InputSlotState& s = Slots[k];
        if (!s.Active)
            continue;
        UpdateOverruns(k);
        const int64_t offset = s.Captured;
        if (s.TargetL >= 0 && Targets[s.TargetL].StartOffset < 0)
            Targets[s.TargetL].StartOffset = offset;
        if (s.TargetR >= 0 && Targets[s.TargetR].StartOffset < 0)
            Targets[s.TargetR].StartOffset = offset;
    }
}

uint32_t RecordingEngine::InputPosition(int32_t pSlot)
{
    const InputSlotState& s = Slots[pSlot];
    uint32_t bytes = 0;
    if (s.Handle == kNoWaveHandle || in_.GetPosition(s.Handle, bytes) != kWaveOk)
        return 0;
    return bytes;
}

void RecordingEngine::UpdateOverruns(int32_t pSlot)
{
    InputSlotState& s = Slots[pSlot];
    if (s.Handle == kNoWaveHandle)
        return;
    const uint32_t bytes = InputPosition(pSlot);
    s.Captured += static_cast<uint32_t>(bytes - s.LastBytes) / kRecFrameBytes;
    s.LastBytes = bytes;
    // Frames the clock ran past that are neither processed nor waiting in a buffer were
    // captured with no buffer to put them in: the processing fell behind.
    int64_t held = s.Processed;
    for (int32_t b = 0; b < kRecBuffers; ++b)
        if (!s.BufferBusy[b])
            held += s.Headers[b].BytesRecorded.load() / kRecFrameBytes;
    const int64_t lost = s.Captured - held;
    if (lost > s.Lost) {
        // The device drops frames only while every queued buffer is full, and a buffer is
        // queued again only right after this look: the run lies behind everything held.
        const int64_t frames = lost - s.Lost;
        s.Gaps.push_back({ held, frames });
        lostRuns_.emplace_back(held + s.Lost, frames);
        LostFrames += frames;
        s.Lost = lost;
        ++Overruns;
        ui_.ShowMessage(Tr(kRecOverrunText));
    }
}

namespace {

/// Adds the status bits of a later write to those of an earlier one (EncodeStatus values).
int32_t MergeStatus(int32_t pA, int32_t pB)
{
    if (pA < 0)
        return pB;
    if (pB < 0)
        return pA;
    return ((pA / kStatusShift) | (pB / kStatusShift)) * kStatusShift + pA % kStatusShift;
}

std::pair<int32_t, int32_t> MergeStatuses(
    std::pair<int32_t, int32_t> pA, std::pair<int32_t, int32_t> pB)
{
    return { MergeStatus(pA.first, pB.first), MergeStatus(pA.second, pB.second) };
}

} // namespace

std::pair<int32_t, int32_t> RecordingEngine::ProcessInput(int32_t pSlot, bool pFinal)
{
    InputSlotState& s = Slots[pSlot];
    if (!s.Headers)
        return { -1, -1 };
    int32_t found = -1;
    for (int32_t k = 0; k < kRecBuffers; ++k) {
        const int32_t b = (s.NextIndex + k) % kRecBuffers;
        WaveHeader& h = s.Headers[b];
        const uint32_t bytes = h.BytesRecorded.load();
        if (s.BufferBusy[b])
            continue;
        if (h.IsDone() || (pFinal && bytes > 0 && bytes < h.Length)) {
            found = b;
            break;
        }
    }
    if (found < 0)
        return { -1, -1 };
    // Input lost before this buffer goes in first, as silence, so that nothing after it
    // moves earlier on the timeline.
    std::pair<int32_t, int32_t> status = WriteGaps(pSlot, false);
    s.NextIndex = (found + 1) % kRecBuffers;
    s.BufferBusy[found] = 1;
    WaveHeader& h = s.Headers[found];
    const int32_t n
        = pFinal ? static_cast<int32_t>(h.BytesRecorded.load() / kRecFrameBytes) : RecBufferSamples;
    status = MergeStatuses(status, Deliver(pSlot, s.Arrays[found].data(), n));
    s.Processed += n;
    if (!pFinal && s.Handle != kNoWaveHandle) {
        in_.AddBuffer(s.Handle, h);
        s.BufferBusy[found] = 0;
    }
    // On the final pass the buffer stays marked, so that each one is taken once.
    return status;
}

std::pair<int32_t, int32_t> RecordingEngine::WriteGaps(int32_t pSlot, bool pAll)
{
    InputSlotState& s = Slots[pSlot];
    std::pair<int32_t, int32_t> status { -1, -1 };
    size_t done = 0;
    fillingGap_ = true;
    for (; done < s.Gaps.size() && (pAll || s.Gaps[done].After <= s.Processed); ++done)
        for (int64_t left = s.Gaps[done].Frames; left > 0;) {
            const int32_t n = static_cast<int32_t>(std::min<int64_t>(left, RecBufferSamples));
            status = MergeStatuses(status, Deliver(pSlot, silence_.data(), n));
            left -= n;
        }
    fillingGap_ = false;
    s.Gaps.erase(s.Gaps.begin(), s.Gaps.begin() + static_cast<std::ptrdiff_t>(done));
    return status;
}

std::pair<int32_t, int32_t> RecordingEngine::Deliver(
    int32_t pSlot, const int16_t* pFrames, int32_t pCount)
{
    InputSlotState& s = Slots[pSlot];
    const int32_t n = pCount;
    // The buffer itself keeps the input as it came (the monitor reads it); the levels go
    // into a copy.
    const double trim = DbToFactor(options_.RecTrimDB);
    const double cL = trim * SlotGain(pSlot, 0);
    const double cR = trim * SlotGain(pSlot, 1);
    const int16_t* data = pFrames;
    if (cL != 1.0 || cR != 1.0) {
        for (int32_t f = 0; f < n; ++f) {
            levelled_[2 * f] = cL != 1.0 ? Saturate16(pFrames[2 * f] * cL) : pFrames[2 * f];
            levelled_[2 * f + 1]
                = cR != 1.0 ? Saturate16(pFrames[2 * f + 1] * cR) : pFrames[2 * f + 1];
        }
        data = levelled_.data();
    }
    int32_t statusL = 0, statusR = 0;
    if (s.TargetL >= 0 && s.TargetL == s.TargetR) {
        RecTarget& t = Targets[s.TargetL];
        if (t.StopOffset == -1)
            statusL = WriteTarget(s.TargetL, kRecStereo, data, n);
        t.Seen += n;
    } else {
        for (int32_t c = 0; c < 2; ++c) {
            const int32_t target = c == 0 ? s.TargetL : s.TargetR;
            if (target < 0)
                continue;
            RecTarget& t = Targets[target];
            if (t.StopOffset == -1) {
                for (int32_t f = 0; f < n; ++f)
                    scratch_[2 * f] = scratch_[2 * f + 1] = data[2 * f + c];
                (c == 0 ? statusL : statusR)
                    = WriteTarget(target, c == 0 ? kRecLeft : kRecRight, scratch_.data(), n);
            }
            t.Seen += n;
        }
    }
    return { EncodeStatus(statusL, s.TargetL), EncodeStatus(statusR, s.TargetR) };
}

int32_t RecordingEngine::WriteTarget(
    int32_t pTarget, int32_t pType, const int16_t* pFrames, int32_t pCount)
{
    (void)pType;
    RecTarget& t = Targets[pTarget];
    const int32_t n = pCount;
    int32_t status = 0;
    int32_t d = 0;
    if (options_.UseMuonStart && t.StartOffset == -1) {
        int32_t found = -1;
        for (int32_t f = 0; f < n; ++f)
            if (Magnitude(pFrames[2 * f]) > StartAmplitude
                || Magnitude(pFrames[2 * f + 1]) > StartAmplitude) {
                found = f;
                break;
            }
        if (found < 0)
            return 0;
        t.StartOffset = t.Seen + found;
        d = found;
        status = kRecBegan;
    } else if (t.PrevStart == -1) {
        if (t.StartOffset == -1 || t.StartOffset >= t.Seen + n)
            return 0; // not begun, or it begins in a later buffer
        d = static_cast<int32_t>(std::max<int64_t>(0, t.StartOffset - t.Seen));
        status = kRecBegan;
    }
    t.PrevStart = t.StartOffset;
    int32_t end = n; // frames d .. end - 1 are kept
    // The silence written for lost input is not the input's: it never stops a take.
    if (options_.UseMuonStop && t.StopOffset == -1 && !fillingGap_) {
        for (int32_t i = d; i < n; ++i) {
            if (Magnitude(pFrames[2 * i]) < StopAmplitude
                && Magnitude(pFrames[2 * i + 1]) < StopAmplitude)
                ++t.SilentRun;
            else
                t.SilentRun = 0;
            if (t.SilentRun >= StopLength) {
                t.StopOffset = t.Seen + i;
                // The quiet run began at frame i - SilentRun + 1; everything from there on
                // is dropped, also what earlier buffers of the run already wrote (the file
                // is cut to Total when the recording stops).
                const int64_t quietStart = static_cast<int64_t>(i) - t.SilentRun + 1;
                end = static_cast<int32_t>(std::max<int64_t>(d, quietStart));
                const int64_t kept = quietStart - d;
                status |= kRecVoiceStop;
                if (kept < 0) {
                    t.Total = static_cast<int32_t>(std::max<int64_t>(0, t.Total + kept));
                    end = d;
                }
                break;
            }
        }
    }
    // After a failed write nothing more is appended to any target: a later buffer would land
    // where the lost one belonged and shift the rest of the take. What was written stays.
    if (end > d && !WriteFailed) {
        if (Status appended = Append(t, pTarget, pFrames + 2 * static_cast<size_t>(d), end - d);
            !appended) {
            WriteFailed = true;
            writeError_ = appended.error().Message;
            return status;
        }
        t.Total += end - d;
        CollectPeaks(t, pFrames + 2 * static_cast<size_t>(d), end - d);
        status |= kRecWritten;
    }
    return status;
}

Status RecordingEngine::Append(
    RecTarget& pTarget, int32_t pIndex, const int16_t* pFrames, int32_t pCount)
{
    if (FailAppend && FailAppend(pIndex))
        return WriteError(EIO);
    if (!pTarget.File.IsOpen())
        return WriteError(EBADF);
    const int64_t offset = kWaveHeaderBytes + static_cast<int64_t>(pTarget.Total) * kRecFrameBytes;
    const int64_t bytes = static_cast<int64_t>(pCount) * kRecFrameBytes;
    if (Status written = WriteAt(pTarget.File, pFrames, bytes, offset); !written)
        return written;
    // Bring the header's sizes up to date after every buffer, so the file is a valid WAV
    // file holding everything appended so far whenever the process ends.
    const int64_t dataSize = offset + bytes - kWaveHeaderBytes;
    uint8_t riff[4], data[4];
    PutLe32(riff, static_cast<uint32_t>(dataSize + kWaveHeaderBytes - 8));
    PutLe32(data, static_cast<uint32_t>(dataSize));
    if (Status written = WriteAt(pTarget.File, riff, 4, 4); !written)
        return written;
    if (Status written = WriteAt(pTarget.File, data, 4, 40); !written)
        return written;
    if (!syncer_)
        syncer_ = std::make_unique<FileSyncer>();
    syncer_->Request(pTarget.File.Fd());
    return {};
}

void RecordingEngine::CollectPeaks(RecTarget& pTarget, const int16_t* pFrames, int32_t pCount)
{
    const int32_t step = std::max(1, project_.SampleStep);
    const int32_t entries = pTarget.Total / step + 1;
    if (static_cast<int32_t>(pTarget.Peaks.size()) < entries * 2)
        pTarget.Peaks.resize(static_cast<size_t>(entries) * 2, 0);
    for (int32_t f = 0; f < pCount; ++f) {
        pTarget.StretchL = std::max(pTarget.StretchL, Magnitude(pFrames[2 * f]));
        pTarget.StretchR = std::max(pTarget.StretchR, Magnitude(pFrames[2 * f + 1]));
        if (++pTarget.StretchFrames == step) {
            if (pTarget.PeakEntries < entries) {
                pTarget.Peaks[2 * static_cast<size_t>(pTarget.PeakEntries)]
                    = PeakValue(pTarget.StretchL, options_.WFMode);
                pTarget.Peaks[2 * static_cast<size_t>(pTarget.PeakEntries) + 1]
                    = PeakValue(pTarget.StretchR, options_.WFMode);
                ++pTarget.PeakEntries;
            }
            pTarget.StretchFrames = 0;
            pTarget.StretchL = pTarget.StretchR = 0;
        }
    }
}

void RecordingEngine::StopAsButton()
{
    if (OnStopButton)
        OnStopButton();
    else
        StopRecording();
}

void RecordingEngine::HandleStatuses(std::pair<int32_t, int32_t> pStatus)
{
    const int32_t values[2] = { pStatus.first, pStatus.second };
    int32_t status[2], target[2];
    for (int c = 0; c < 2; ++c) {
        status[c] = values[c] < 0 ? 0 : values[c] / kStatusShift;
        target[c] = values[c] < 0 ? -1 : values[c] % kStatusShift;
    }
    if (target[0] < 0 && target[1] < 0)
        return;
    if (!RecStarted) {
        int32_t first = target[0];
        if (first < 0
            || (target[1] >= 0 && Targets[target[1]].StartOffset >= 0
                && Targets[target[1]].StartOffset < Targets[first].StartOffset))
            first = target[1];
        FirstTarget = first;
        FirstStart = Targets[first].StartOffset;
        RecStarted = true;
        playback_.RecordingBegan();
        ui_.ShowMessage(Tr(kRecRecordingText));
    }
    for (int c = 0; c < 2; ++c)
        if (target[c] >= 0 && (status[c] & kRecBegan)) {
            RecTarget& t = Targets[target[c]];
            t.StartAdr = static_cast<int32_t>(
                std::clamp<int64_t>(t.StartOffset - FirstStart + RecStartPos, 0, kMaxLength - 1));
        }
    if (((status[0] | status[1]) & kRecVoiceStop) && options_.UseMuonStop) {
        // Targets whose input never opened record nothing and never stop: only those in
        // use count.
        bool all = true;
        for (int32_t i = 0; i < RecTargetCount; ++i)
            if (Targets[i].StopOffset < 0 && Slots[Targets[i].InputSlot].Opened)
                all = false;
        if (all) {
            StopAsButton();
            return;
        }
    }
    int32_t end = -1;
    for (int32_t i = 0; i < RecTargetCount; ++i)
        if (Targets[i].StartOffset >= 0)
            end = std::max(end, Targets[i].StartAdr + Targets[i].Total);
    project_.RecordingEnd = end;
    if (OnWritten)
        OnWritten();
}

void RecordingEngine::TimerProg()
{
    if (!Recording)
        return;
    if (syncer_ && syncer_->Failures() > 0 && !WriteFailed) {
        WriteFailed = true;
        writeError_ = WriteFailureText(syncer_->LastError());
    }
    for (int32_t k = 0; k < kInputSlots && Recording && !WriteFailed; ++k) {
        if (!Slots[k].Active)
            continue;
        ReadAlignment(k);
        UpdateOverruns(k);
        HandleStatuses(ProcessInput(k, false));
        if (WriteFailed)
            break;
    }
    if (Recording && WriteFailed) {
        const std::string cause = writeError_.empty() ? WriteFailureText(EIO) : writeError_;
        StopAsButton();
        ui_.MessageBox(TrArgs("%1（%2）。%3", Tr(kRecWriteFailedText), cause,
                           Tr(PlacedTakes > 0 ? kRecKeptText : kRecNotKeptText)),
            MsgButtons::Ok, MsgIcon::Error);
    }
}

void RecordingEngine::TimerVU()
{
    if (!Recording || !RecStarted || FirstTarget < 0)
        return;
    const int32_t slot = Targets[FirstTarget].InputSlot;
    UpdateOverruns(slot);
    const int64_t head = Slots[slot].Captured + RecStartPos - FirstStart;
    project_.Head = static_cast<int32_t>(std::clamp<int64_t>(head, 0, kMaxLength));
    if (!playback_.IsDeviceOpen() || !options_.UseAdjustClock)
        return;
    const InputSlotState& s = Slots[slot];
    const std::optional<double> anchor = s.Alignment.Anchor();
    if (!anchor || s.Handle == kNoWaveHandle) {
        playback_.UpdateClockDrift(InputPosition(slot), static_cast<int32_t>(FirstStart));
        return;
    }
    // Once the input is lined up with what is heard, the correction keeps that relation
    // (only the clocks' drift moves playback), on the input's clock run on to now.
    const double inputLatency = in_.LatencySeconds(s.Handle) * project_.SampleRate;
    const double clock = in_.ClockFrames(s.Handle);
    const int64_t start = RoundHalfEven(playback_.PlayStart() - *anchor - inputLatency);
    playback_.UpdateClockDrift(static_cast<uint32_t>(static_cast<int64_t>(clock) * kRecFrameBytes),
        static_cast<int32_t>(start));
}

int32_t RecordingEngine::HeardSlot() const
{
    if (!playback_.IsDeviceOpen() || playback_.Mode() != PlayMode::All || playback_.IsPaused())
        return -1;
    for (int32_t k = 0; k < kOutputSlots; ++k)
        if (playback_.OutputUsed()[k])
            return k;
    return -1;
}

void RecordingEngine::ReadAlignment(int32_t pSlot)
{
    InputSlotState& s = Slots[pSlot];
    // Only while writing against playback, before any clock correction moved it.
    if (!takeAsked_ || RecOnly || s.Handle == kNoWaveHandle || s.Alignment.Full()
        || playback_.AppliedDrift() != 0)
        return;
    const int32_t out = HeardSlot();
    if (out < 0)
        return;
    const auto heardFrames = playback_.OutputPosition(out) / kRecFrameBytes; // whole frames
    const double heard = static_cast<double>(heardFrames);
    // Nothing heard yet: the output's position does not say when its first frame plays.
    if (heard <= 0)
        return;
    if (s.Alignment.Count() == 0)
        s.OffsetFrames = StoredOffsetFrames(pSlot, out);
    s.Alignment.AddReading(playback_.PlayStart() + heard, in_.ClockFrames(s.Handle),
        in_.LatencySeconds(s.Handle) * project_.SampleRate);
}

int64_t RecordingEngine::StoredOffsetFrames(int32_t pSlot, int32_t pOutSlot)
{
    if (!LatencyStore)
        return 0;
    const std::vector<WaveDeviceInfo> outputs = playback_.Out().Devices();
    const std::vector<WaveDeviceInfo> inputs = in_.Devices();
    const int32_t outId = options_.DevOutID[pOutSlot];
    const int32_t inId = options_.DevInID[pSlot];
    if (outId < 0 || outId >= static_cast<int32_t>(outputs.size()) || inId < 0
        || inId >= static_cast<int32_t>(inputs.size()))
        return 0;
    const std::optional<int64_t> us
        = StoredLatencyOffsetUs(*LatencyStore, outputs[outId].Name, inputs[inId].Name);
    return us ? UsToFrames(*us, project_.SampleRate) : 0;
}

void RecordingEngine::AlignTakes()
{
    for (int32_t i = 0; i < RecTargetCount; ++i) {
        RecTarget& t = Targets[i];
        const InputSlotState& s = Slots[t.InputSlot];
        const std::optional<double> anchor = s.Alignment.Anchor();
        if (t.StartOffset < 0 || !anchor)
            continue;
        t.StartAdr = PlaceTakeStart(*anchor, t.StartOffset, s.OffsetFrames, kMaxLength - 1);
        // A take begun at the start of the timeline may belong partly before it: that part
        // is left out of the block rather than moving the rest later.
        const int64_t start
            = RoundHalfEven(*anchor + static_cast<double>(t.StartOffset)) - s.OffsetFrames;
        t.SkipFrames = start < 0
            ? static_cast<int32_t>(std::min<int64_t>(-start, std::max(0, t.Total - 1)))
            : 0;
    }
}

void RecordingEngine::CloseInput(int32_t pSlot)
{
    InputSlotState& s = Slots[pSlot];
    if (s.Handle == kNoWaveHandle) {
        s.Active = 0;
        return;
    }
    // A last look at the clock finds input lost since the last tick.
    UpdateOverruns(pSlot);
    in_.Reset(s.Handle);
    in_.Stop(s.Handle);
    // Every buffer the reset handed back, full or partly filled, in the order filled, then
    // input lost after the last of them.
    for (int32_t k = 0; k <= kRecBuffers; ++k) {
        const std::pair<int32_t, int32_t> statuses
            = k < kRecBuffers ? ProcessInput(pSlot, true) : WriteGaps(pSlot, true);
        if (Recording && !WriteFailed)
            HandleStatuses(statuses);
    }
    for (int32_t b = 0; b < kRecBuffers; ++b)
        in_.Unprepare(s.Handle, s.Headers[b]);
    in_.Reset(s.Handle);
    in_.Stop(s.Handle);
    in_.Close(s.Handle);
    s.Handle = kNoWaveHandle;
    s.Active = 0;
    s.PendingStart = 0;
    s.NextIndex = 0;
    s.BufferBusy.fill(0);
}

void RecordingEngine::StopRecording()
{
    if (!Recording)
        return;
    // Closing processes the last buffers; a voice-activated stop found there must not
    // start a second stop.
    auto onStop = std::move(OnStopButton);
    OnStopButton = [] {};
    for (int32_t k = 0; k < kInputSlots; ++k)
        if (Slots[k].Active || Slots[k].Handle != kNoWaveHandle)
            CloseInput(k);
    OnStopButton = std::move(onStop);
    AlignTakes();
    Recording = false;
    RecStarted = false;
    playback_.EndRecording();
    project_.RecordingEnd = -1;
    Project& p = project_;
    bool kept = false;
    PlacedTakes = 0;
    if (syncer_)
        syncer_->Drain();
    for (int32_t i = 0; i < RecTargetCount; ++i) {
        RecTarget& t = Targets[i];
        t.File.Close();
        if (t.Total == 0) {
            if (!t.FileName.empty()) {
                DeleteFileForce(t.FileName);
                DeleteFileForce(t.FileName + kRecMarkerSuffix);
            }
            t.FileName.clear();
        } else {
            kept = true;
        }
    }
    if (kept) {
        if (BeginEditStep)
            BeginEditStep();
        for (int32_t i = 0; i < RecTargetCount; ++i) {
            const RecTarget& t = Targets[i];
            if (t.FileName.empty())
                continue;
            for (Track& track : p.Tracks)
                track.Selected = 0;
            p.Tracks[t.TrackNo].Selected = 1;
            p.CurrentTrack = t.TrackNo;
            p.MarkIn = t.StartAdr;
            p.MarkOut = static_cast<int32_t>(std::min<int64_t>(
                static_cast<int64_t>(t.StartAdr) + t.Total - t.SkipFrames, kMaxLength - 1));
            EraseSelected(p, false);
        }
        for (int32_t i = 0; i < RecTargetCount; ++i) {
            RecTarget& t = Targets[i];
            if (t.FileName.empty())
                continue;
            // Should the header stay unwritable (a full disk), the block still ends at Total.
            static_cast<void>(
                SetWaveDataSize(t.FileName, static_cast<int64_t>(t.Total) * kRecFrameBytes));
            const std::optional<int32_t> placed
                = PlaceTake(p, t.TrackNo, t.FileName, t.StartAdr, t.SkipFrames);
            if (!placed) {
                ui_.MessageBox(TrArgs("録音ファイルを配置できません: %1", t.FileName),
                    MsgButtons::Ok, MsgIcon::Error);
                continue;
            }
            ++PlacedTakes;
            const int32_t wave = *placed;
            const std::string peakFile = folder_.NewTempName(2);
            if (options_.MaxPow == 1) {
                PeakArray& peaks = p.Peaks[wave];
                const size_t need = static_cast<size_t>(p.WaveFiles[wave].PeakCount) * 2;
                peaks.assign(need, 0);
                std::copy_n(t.Peaks.begin(), std::min(need, t.Peaks.size()), peaks.begin());
                p.WaveFiles[wave].PeakFile = peakFile;
                SavePeaks(p, wave);
            } else {
                bool cancel = false;
                BuildPeaks(
                    p, wave, t.TrackNo, Tr(kRecFileLabel), options_.WFMode, peakFile, ui_, cancel);
            }
            DeleteFileForce(t.FileName + kRecMarkerSuffix);
        }
        p.Head = p.MarkOut;
        p.UpdateTitleLength(false);
        if (EndEditStep)
            EndEditStep();
    }
    ReportTake(kept);
    ResetRecords();
    ui_.RequestRedraw(RedrawArea::Tracks);
}

std::string RecordingEngine::LostReport() const
{
    const int32_t rate = std::max(1, project_.SampleRate);
    // Where each run began on the timeline: the input clock counts from the open, the
    // take's first frame (FirstStart) is at RecStartPos.
    std::string where;
    constexpr size_t kShownRuns = 3;
    for (size_t i = 0; i < lostRuns_.size() && i < kShownRuns; ++i) {
        const int64_t at
            = std::max<int64_t>(RecStartPos, RecStartPos + lostRuns_[i].first - FirstStart);
        where += (i == 0 ? "" : Tr("、")) + TimeText(FramesToMs(at, rate), 0, false);
    }
    if (lostRuns_.size() > kShownRuns)
        where += TrArgs(" ほか%1か所", lostRuns_.size() - kShownRuns);
    return TrArgs("%1: %2 フレーム (%3)、位置 %4", Tr(kRecLostText), LostFrames,
        TimeText(FramesToMs(LostFrames, rate), 0, false), where);
}

void RecordingEngine::ReportTake(bool pKept)
{
    if (LostFrames > 0)
        ui_.MessageBox(LostReport(), MsgButtons::Ok, MsgIcon::Warning);
    // A failed write has its own message; a standby that was never asked to write took
    // nothing on purpose.
    if (pKept || WriteFailed || (!takeAsked_ && !options_.UseMuonStart))
        return;
    int64_t delivered = 0;
    for (const InputSlotState& s : Slots)
        if (s.Opened)
            delivered += s.Processed;
    bool begun = false;
    for (int32_t i = 0; i < RecTargetCount; ++i)
        begun = begun || Targets[i].StartOffset >= 0;
    std::string text = Tr(kRecNothingText);
    if (delivered == 0)
        text += TrArgs("（%1）", Tr(kRecNoInputText));
    else if (options_.UseMuonStart && !begun)
        text += TrArgs("（%1）", Tr(kRecNoVoiceText));
    ui_.MessageBox(text + Tr("。"), MsgButtons::Ok, MsgIcon::Information);
}

std::vector<OrphanedRecording> FindOrphanedRecordings(std::string_view pFolder)
{
    std::vector<OrphanedRecording> found;
    std::string folder(pFolder);
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return found;
    const std::string suffix = kRecMarkerSuffix;
    std::vector<std::string> markers;
    while (dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() > suffix.size()
            && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            markers.push_back(folder + name);
    }
    closedir(dir);
    std::sort(markers.begin(), markers.end());
    // Asked once, and only when a marker of an older build (without a process) needs it.
    std::optional<bool> otherProcess;
    for (const std::string& marker : markers) {
        OrphanedRecording o;
        o.Marker = marker;
        o.WaveFile = marker.substr(0, marker.size() - suffix.size());
        const std::optional<std::string> text = ReadAllBytes(marker);
        long long pid = 0;
        const int fields = text ? std::sscanf(text->c_str(), "%d %d %d %lld", &o.TrackNo,
                               &o.StartAdr, &o.SampleRate, &pid)
                                : 0;
        // The take of a process that runs is being recorded: never touched. A marker
        // without a process (an older build wrote it) may belong to a take recorded now
        // by such a build: it counts as orphaned only while no other process that runs
        // has entered the folder.
        if (fields == 4 && pid > 0 && ProcessRuns(pid))
            continue;
        if (fields != 4) {
            if (!otherProcess)
                otherProcess = OtherProcessInFolder(folder);
            if (*otherProcess)
                continue;
        }
        const WaveInfo info = ReadWaveInfo(o.WaveFile);
        if (!text || info.Valid != 1 || info.Channels != 2 || info.Bits != 16) {
            DeleteFileForce(marker);
            continue;
        }
        if (fields < 3)
            o.TrackNo = o.StartAdr = o.SampleRate = 0;
        // A buffer cut short by the crash may stand after the last size update; the
        // header's data size is what was complete.
        o.Frames = info.Frames;
        if (o.Frames > 0)
            found.push_back(o);
        else
            DiscardOrphanedRecording(o, true);
    }
    return found;
}

bool PlaceOrphanedRecording(Project& pProject, DataFolder& pFolder, UserInterface& pUi,
    const OrphanedRecording& pOrphan, int32_t pWfMode)
{
    const WaveInfo info = ReadWaveInfo(pOrphan.WaveFile);
    if (info.Valid != 1)
        return false;
    // Drop a partial frame written after the last size update.
    static_cast<void>(
        SetWaveDataSize(pOrphan.WaveFile, static_cast<int64_t>(info.Frames) * kRecFrameBytes));
    const int32_t track = std::clamp(pOrphan.TrackNo, 0, pProject.LastTrackNo);
    const std::optional<int32_t> wave = PlaceTake(
        pProject, track, pOrphan.WaveFile, std::clamp(pOrphan.StartAdr, 0, kMaxLength - 1));
    if (!wave)
        return false;
    bool cancel = false;
    BuildPeaks(
        pProject, *wave, track, Tr(kRecFileLabel), pWfMode, pFolder.NewTempName(2), pUi, cancel);
    pProject.UpdateTitleLength(false);
    DeleteFileForce(pOrphan.Marker);
    return true;
}

void DiscardOrphanedRecording(const OrphanedRecording& pOrphan, bool pDeleteWave)
{
    DeleteFileForce(pOrphan.Marker);
    if (pDeleteWave)
        DeleteFileForce(pOrphan.WaveFile);
}

} // namespace tarvok
