#include "engine/virtual_wave_device.h"

#include "core/wave_info.h"

#include <algorithm>
#include <cstring>

namespace tarvok {

namespace {

bool FormatOk(const WaveFormat& pFormat)
{
    return pFormat.Channels == 2 && pFormat.Bits == 16 && pFormat.SampleRate > 0;
}

} // namespace

VirtualWaveOut::VirtualWaveOut(int32_t pDeviceCount)
    : deviceCount_(std::max(1, pDeviceCount))
{
}

std::vector<WaveDeviceInfo> VirtualWaveOut::Devices()
{
    std::vector<WaveDeviceInfo> out;
    out.reserve(static_cast<size_t>(deviceCount_));
    for (int32_t i = 0; i < deviceCount_; ++i)
        out.push_back({ i, "Virtual output " + std::to_string(i) });
    return out;
}

VirtualWaveOut::Stream* VirtualWaveOut::Find(WaveHandle pHandle)
{
    auto it = streams_.find(pHandle);
    return it == streams_.end() ? nullptr : &it->second;
}

const VirtualWaveOut::Stream* VirtualWaveOut::FindDevice(int32_t pDeviceId) const
{
    for (const auto& [handle, stream] : streams_)
        if (stream.DeviceId == pDeviceId)
            return &stream;
    return nullptr;
}

int32_t VirtualWaveOut::OpenCount() const { return static_cast<int32_t>(streams_.size()); }

int32_t VirtualWaveOut::QueuedOn(int32_t pDeviceId) const
{
    const Stream* s = FindDevice(pDeviceId);
    return s ? static_cast<int32_t>(s->Queue.size()) : 0;
}

bool VirtualWaveOut::IsPaused(int32_t pDeviceId) const
{
    const Stream* s = FindDevice(pDeviceId);
    return s && s->Paused;
}

WaveResult VirtualWaveOut::Open(int32_t pDeviceId, const WaveFormat& pFormat, WaveHandle& pHandle)
{
    pHandle = kNoWaveHandle;
    if (pDeviceId < 0 || pDeviceId >= deviceCount_)
        return kWaveErrBadDevice;
    if (auto it = failOpen_.find(pDeviceId); it != failOpen_.end() && it->second != kWaveOk)
        return it->second;
    if (!FormatOk(pFormat))
        return kWaveErrBadFormat;
    pHandle = nextHandle_++;
    Stream& s = streams_[pHandle];
    s.DeviceId = pDeviceId;
    s.Format = pFormat;
    ++logs_[pDeviceId].Opens;
    return kWaveOk;
}

WaveResult VirtualWaveOut::Prepare(WaveHandle pHandle, WaveHeader& pHeader)
{
    if (!Find(pHandle))
        return kWaveErrBadHandle;
    pHeader.MarkPrepared();
    return kWaveOk;
}

WaveResult VirtualWaveOut::Write(WaveHandle pHandle, WaveHeader& pHeader)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    if (const WaveResult check = pHeader.CheckQueueable(); check != kWaveOk)
        return check;
    pHeader.MarkQueued();
    s->Queue.push_back(&pHeader);
    s->Written = true;
    return kWaveOk;
}

WaveResult VirtualWaveOut::Unprepare(WaveHandle pHandle, WaveHeader& pHeader)
{
    if (!Find(pHandle))
        return kWaveErrBadHandle;
    return pHeader.Unprepare();
}

WaveResult VirtualWaveOut::GetPosition(WaveHandle pHandle, uint32_t& pBytes)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    pBytes = static_cast<uint32_t>(s->Position);
    return kWaveOk;
}

WaveResult VirtualWaveOut::Pause(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    s->Paused = true;
    return kWaveOk;
}

WaveResult VirtualWaveOut::Restart(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    s->Paused = false;
    return kWaveOk;
}

WaveResult VirtualWaveOut::Reset(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    for (WaveHeader* h : s->Queue)
        h->MarkDone();
    s->Queue.clear();
    s->Consumed = 0;
    s->Position = 0;
    s->Paused = false;
    s->Written = false;
    return kWaveOk;
}

WaveResult VirtualWaveOut::Close(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    if (!s->Queue.empty())
        return kWaveErrStillPlaying;
    streams_.erase(pHandle);
    return kWaveOk;
}

std::string VirtualWaveOut::ErrorText(WaveResult pResult) { return CommonWaveErrorText(pResult); }

void VirtualWaveOut::AdvanceFrames(int64_t pFrames)
{
    for (auto& [handle, s] : streams_) {
        if (s.Paused)
            continue;
        DeviceLog& log = logs_[s.DeviceId];
        const uint32_t frameBytes = static_cast<uint32_t>(s.Format.FrameBytes());
        int64_t left = pFrames;
        while (left > 0 && !s.Queue.empty()) {
            WaveHeader* h = s.Queue.front();
            const uint32_t remainingFrames
                = (h->Length - std::min(s.Consumed, h->Length)) / frameBytes;
            const int64_t take = std::min<int64_t>(left, remainingFrames);
            const int16_t* from = reinterpret_cast<const int16_t*>(h->Data + s.Consumed);
            log.Samples.insert(log.Samples.end(), from, from + take * 2);
            s.Consumed += static_cast<uint32_t>(take) * frameBytes;
            s.Position += static_cast<uint64_t>(take) * frameBytes;
            left -= take;
            if (s.Consumed + frameBytes > h->Length) {
                h->MarkDone();
                s.Queue.pop_front();
                s.Consumed = 0;
                ++log.BuffersPlayed;
            }
        }
        if (left > 0 && s.Written)
            log.UnderrunFrames += left;
    }
}

VirtualWaveIn::VirtualWaveIn(int32_t pDeviceCount)
    : deviceCount_(std::max(1, pDeviceCount))
{
}

void VirtualWaveIn::SetSource(int32_t pDeviceId, std::vector<int16_t> pSamples)
{
    sources_[pDeviceId] = std::move(pSamples);
}

bool VirtualWaveIn::LoadSourceWav(int32_t pDeviceId, std::string_view pPath)
{
    const WaveInfo info = ReadWaveInfo(pPath);
    if (!info.Valid || info.Bits != 16 || info.Channels != 2)
        return false;
    std::vector<int16_t> samples(static_cast<size_t>(info.Frames) * 2);
    if (!ReadBytes(
            samples.data(), static_cast<int64_t>(samples.size()) * 2, 0, pPath, info.DataOffset, 0))
        return false;
    SetSource(pDeviceId, std::move(samples));
    return true;
}

std::vector<WaveDeviceInfo> VirtualWaveIn::Devices()
{
    std::vector<WaveDeviceInfo> out;
    out.reserve(static_cast<size_t>(deviceCount_));
    for (int32_t i = 0; i < deviceCount_; ++i)
        out.push_back({ i, "Virtual input " + std::to_string(i) });
    return out;
}

VirtualWaveIn::Stream* VirtualWaveIn::Find(WaveHandle pHandle)
{
    auto it = streams_.find(pHandle);
    return it == streams_.end() ? nullptr : &it->second;
}

WaveResult VirtualWaveIn::Open(int32_t pDeviceId, const WaveFormat& pFormat, WaveHandle& pHandle)
{
    pHandle = kNoWaveHandle;
    if (pDeviceId < 0 || pDeviceId >= deviceCount_)
        return kWaveErrBadDevice;
    if (!FormatOk(pFormat))
        return kWaveErrBadFormat;
    pHandle = nextHandle_++;
    Stream& s = streams_[pHandle];
    s.DeviceId = pDeviceId;
    s.Format = pFormat;
    return kWaveOk;
}

WaveResult VirtualWaveIn::Prepare(WaveHandle pHandle, WaveHeader& pHeader)
{
    if (!Find(pHandle))
        return kWaveErrBadHandle;
    pHeader.MarkPrepared();
    return kWaveOk;
}

WaveResult VirtualWaveIn::AddBuffer(WaveHandle pHandle, WaveHeader& pHeader)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    if (const WaveResult check = pHeader.CheckQueueable(); check != kWaveOk)
        return check;
    pHeader.BytesRecorded.store(0);
    pHeader.MarkQueued();
    s->Queue.push_back(&pHeader);
    return kWaveOk;
}

WaveResult VirtualWaveIn::Unprepare(WaveHandle pHandle, WaveHeader& pHeader)
{
    if (!Find(pHandle))
        return kWaveErrBadHandle;
    return pHeader.Unprepare();
}

WaveResult VirtualWaveIn::Start(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    s->Started = true;
    return kWaveOk;
}

WaveResult VirtualWaveIn::Stop(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    s->Started = false;
    return kWaveOk;
}

WaveResult VirtualWaveIn::GetPosition(WaveHandle pHandle, uint32_t& pBytes)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    pBytes = static_cast<uint32_t>(s->Position);
    return kWaveOk;
}

WaveResult VirtualWaveIn::Reset(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    for (WaveHeader* h : s->Queue)
        h->MarkDone();
    s->Queue.clear();
    s->Position = 0;
    s->Started = false;
    return kWaveOk;
}

WaveResult VirtualWaveIn::Close(WaveHandle pHandle)
{
    Stream* s = Find(pHandle);
    if (!s)
        return kWaveErrBadHandle;
    if (!s->Queue.empty())
        return kWaveErrStillPlaying;
    streams_.erase(pHandle);
    return kWaveOk;
}

std::string VirtualWaveIn::ErrorText(WaveResult pResult) { return CommonWaveErrorText(pResult); }

void VirtualWaveIn::AdvanceFrames(int64_t pFrames)
{
    for (auto& [handle, s] : streams_) {
        if (!s.Started)
            continue;
        const std::vector<int16_t>& source = sources_[s.DeviceId];
        const uint32_t frameBytes = static_cast<uint32_t>(s.Format.FrameBytes());
        int64_t left = pFrames;
        while (left > 0 && !s.Queue.empty()) {
            WaveHeader* h = s.Queue.front();
            const uint32_t have = h->BytesRecorded.load();
            const int64_t room = (h->Length - std::min(have, h->Length)) / frameBytes;
            const int64_t take = std::min(left, room);
            int16_t* to = reinterpret_cast<int16_t*>(h->Data + have);
            for (int64_t i = 0; i < take * 2; ++i) {
                to[i] = s.Cursor < source.size() ? source[s.Cursor] : 0;
                ++s.Cursor;
            }
            h->BytesRecorded.store(have + static_cast<uint32_t>(take) * frameBytes);
            left -= take;
            if (h->BytesRecorded.load() + frameBytes > h->Length) {
                h->MarkDone();
                s.Queue.pop_front();
            }
        }
        // The device clock runs whether or not buffers are waiting; frames without a
        // buffer are lost, as on a real device.
        s.Cursor += static_cast<size_t>(left) * 2;
        s.Position += static_cast<uint64_t>(pFrames) * frameBytes;
    }
}

} // namespace tarvok
