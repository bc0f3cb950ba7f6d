#include "engine/output_slots.h"

#include "base/i18n.h"

#include "core/project.h"
#include "core/settings.h"

#include <algorithm>
#include <cstring>

namespace tarvok {

std::array<int32_t, 8> EnabledSlots(const std::array<int32_t, 8>& pDeviceIds)
{
    std::array<int32_t, 8> enabled {};
    for (size_t n = 0; n < enabled.size(); ++n) {
        enabled[n] = pDeviceIds[n] == -1 ? 0 : 1;
        for (size_t k = 0; k < n; ++k)
            if (pDeviceIds[k] == pDeviceIds[n])
                enabled[n] = 0;
    }
    return enabled;
}

namespace {

/// Why a wave device failed, in the interface's language.
const char* DeviceErrorReason(WaveResult pResult)
{
    switch (pResult) {
    case kWaveErrBadDevice:
        return Tr("デバイスが見つかりません");
    case kWaveErrBadFormat:
        return Tr("16ビット ステレオのこのサンプリングレートに対応していません");
    case kWaveErrNoMemory:
        return Tr("メモリが足りません");
    case kWaveErrBadHandle:
        return Tr("デバイスが開かれていません");
    case kWaveErrStillPlaying:
        return Tr("バッファがまだ使われています");
    case kWaveErrUnprepared:
        return Tr("バッファが準備されていません");
    default:
        return Tr("デバイスを開けません");
    }
}

} // namespace

std::string DeviceErrorMessage(bool pOutput, int32_t pSlot, int32_t pDeviceId,
    const std::vector<WaveDeviceInfo>& pDevices, WaveResult pResult,
    const std::string& pBackendText)
{
    std::string device = TrArgs("デバイス番号%1", pDeviceId);
    for (const WaveDeviceInfo& d : pDevices)
        if (d.Id == pDeviceId)
            device = TrArgs("「%1」", d.Name);
    const char* reason = DeviceErrorReason(pResult);
    std::string text = pOutput ? TrArgs("出力%1の%2を使えません: %3", pSlot + 1, device, reason)
                               : TrArgs("入力%1の%2を使えません: %3", pSlot + 1, device, reason);
    const std::string why = pBackendText.empty() ? CommonWaveErrorText(pResult) : pBackendText;
    if (!why.empty())
        text += " (" + why + ")";
    return text;
}

SlotBinding BindDeviceSlots(bool pOutput, std::array<WaveDeviceRef, 8>& pRefs,
    std::array<int32_t, 8>& pIds, const std::vector<WaveDeviceInfo>& pDevices)
{
    SlotBinding binding;
    if (pDevices.empty())
        return binding;
    for (int32_t n = 0; n < static_cast<int32_t>(pRefs.size()); ++n) {
        WaveDeviceRef& ref = pRefs[n];
        int32_t& id = pIds[n];
        if (ref.Empty()) {
            for (const WaveDeviceInfo& d : pDevices)
                if (id >= 0 && d.Id == id) {
                    ref = RefOf(d);
                    binding.Learned = true;
                }
            continue;
        }
        id = FindDevice(ref, id, pDevices);
        if (id < 0)
            binding.Missing.push_back(MissingDeviceMessage(pOutput, n, ref));
    }
    return binding;
}

std::string MissingDeviceMessage(bool pOutput, int32_t pSlot, const WaveDeviceRef& pRef)
{
    const std::string slot = pOutput ? TrArgs("出力%1", pSlot + 1) : TrArgs("入力%1", pSlot + 1);
    return TrArgs(
        "%1のデバイス「%2」が見つかりません。ほかのデバイスに切り替えず、%1は使わずにおきます",
        slot, DeviceDisplayName(pRef));
}

std::vector<std::string> BindEngineDevices(
    EngineOptions& pOptions, WaveOutService& pOut, WaveInService* pIn, Settings* pStore)
{
    const SlotBinding out
        = BindDeviceSlots(true, pOptions.DevOutRef, pOptions.DevOutID, pOut.Devices());
    SlotBinding in;
    if (pIn)
        in = BindDeviceSlots(false, pOptions.DevInRef, pOptions.DevInID, pIn->Devices());
    if (pStore && (out.Learned || in.Learned))
        for (int n = 1; n <= 8; ++n) {
            pStore->SaveSetting(
                SlotKey("DevOutName_", n), DeviceRefText(pOptions.DevOutRef[n - 1]));
            pStore->SaveSetting(SlotKey("DevInName_", n), DeviceRefText(pOptions.DevInRef[n - 1]));
        }
    std::vector<std::string> missing = out.Missing;
    missing.insert(missing.end(), in.Missing.begin(), in.Missing.end());
    return missing;
}

void OutputSlots::AllocateRings(
    const std::array<int32_t, kOutputSlots>& pUsed, int32_t pRing, int32_t pFrames)
{
    for (int32_t s = 0; s < kOutputSlots; ++s) {
        Slot& slot = slots_[s];
        slot.Headers.reset();
        slot.Arrays.clear();
        if (!pUsed[s])
            continue;
        slot.Headers = std::make_unique<WaveHeader[]>(pRing);
        slot.Arrays.assign(pRing, std::vector<int16_t>(static_cast<size_t>(pFrames) * 2, 0));
        for (int32_t i = 0; i < pRing; ++i) {
            slot.Headers[i].Data = reinterpret_cast<uint8_t*>(slot.Arrays[i].data());
            slot.Headers[i].Length = static_cast<uint32_t>(pFrames) * kFrameBytes;
        }
    }
    silence_.assign(static_cast<size_t>(pFrames) * 2, 0);
}

WaveResult OutputSlots::Open(int32_t pSlot, int32_t pDeviceId, int32_t pRate)
{
    Slot& slot = slots_[pSlot];
    WaveFormat format;
    format.SampleRate = pRate;
    WaveHandle handle = kNoWaveHandle;
    const WaveResult result = out_.Open(pDeviceId, format, handle);
    slot.Handle = result == kWaveOk ? handle : kNoWaveHandle;
    return result;
}

bool OutputSlots::AnyOpen() const
{
    return std::any_of(
        slots_.begin(), slots_.end(), [](const Slot& s) { return s.Handle != kNoWaveHandle; });
}

void OutputSlots::Prepare(int32_t pSlot, int32_t pIndex)
{
    Slot& slot = slots_[pSlot];
    if (slot.Handle != kNoWaveHandle && slot.Headers)
        out_.Prepare(slot.Handle, slot.Headers[pIndex]);
}

void OutputSlots::Write(int32_t pSlot, int32_t pIndex)
{
    Slot& slot = slots_[pSlot];
    if (slot.Handle != kNoWaveHandle && slot.Headers)
        out_.Write(slot.Handle, slot.Headers[pIndex]);
}

bool OutputSlots::IsDone(int32_t pSlot, int32_t pIndex) const
{
    const Slot& slot = slots_[pSlot];
    return slot.Headers && slot.Headers[pIndex].IsDone();
}

void OutputSlots::PauseAll(bool pResume)
{
    for (Slot& slot : slots_) {
        if (slot.Handle == kNoWaveHandle)
            continue;
        if (pResume)
            out_.Restart(slot.Handle);
        else
            out_.Pause(slot.Handle);
    }
}

bool OutputSlots::QueueSilence(const std::array<int32_t, kOutputSlots>& pUsed)
{
    bool queued = false;
    for (int32_t s = 0; s < kOutputSlots; ++s) {
        Slot& slot = slots_[s];
        if (!pUsed[s] || slot.Handle == kNoWaveHandle || !slot.Headers)
            continue;
        out_.Reset(slot.Handle);
        for (int32_t i = 0; i < static_cast<int32_t>(slot.Arrays.size()); ++i) {
            WaveHeader& h = slot.Headers[i];
            if (!h.Data)
                continue;
            const size_t bytes = std::min<size_t>(h.Length, silence_.size() * 2);
            std::memcpy(h.Data, silence_.data(), bytes);
            out_.Write(slot.Handle, h);
            queued = true;
        }
    }
    return queued;
}

void OutputSlots::Reset(int32_t pSlot)
{
    if (pSlot >= 0 && pSlot < kOutputSlots && slots_[pSlot].Handle != kNoWaveHandle)
        out_.Reset(slots_[pSlot].Handle);
}

void OutputSlots::Close(int32_t pSlot)
{
    Slot& slot = slots_[pSlot];
    if (slot.Handle == kNoWaveHandle)
        return;
    out_.Reset(slot.Handle);
    for (int32_t i = 0; slot.Headers && i < static_cast<int32_t>(slot.Arrays.size()); ++i)
        out_.Unprepare(slot.Handle, slot.Headers[i]);
    out_.Close(slot.Handle);
    slot.Handle = kNoWaveHandle;
}

uint32_t OutputSlots::Position(int32_t pSlot)
{
    if (pSlot < 0 || pSlot >= kOutputSlots || slots_[pSlot].Handle == kNoWaveHandle)
        return 0;
    uint32_t bytes = 0;
    if (out_.GetPosition(slots_[pSlot].Handle, bytes) != kWaveOk)
        return 0;
    return bytes;
}

int16_t* OutputSlots::Samples(int32_t pSlot, int32_t pIndex)
{
    if (pSlot < 0 || pSlot >= kOutputSlots || pIndex < 0
        || pIndex >= static_cast<int32_t>(slots_[pSlot].Arrays.size()))
        return nullptr;
    return slots_[pSlot].Arrays[pIndex].data();
}

WaveHeader* OutputSlots::Header(int32_t pSlot, int32_t pIndex)
{
    if (pSlot < 0 || pSlot >= kOutputSlots || !slots_[pSlot].Headers || pIndex < 0
        || pIndex >= static_cast<int32_t>(slots_[pSlot].Arrays.size()))
        return nullptr;
    return &slots_[pSlot].Headers[pIndex];
}

} // namespace tarvok
