#pragma once

#include "engine/engine_options.h"
#include "engine/wave_device.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarvok {

class Settings;

inline constexpr int32_t kOutputSlots = 8;
inline constexpr int32_t kInputSlots = 8;

/// Which of eight device slots are enabled: a slot is, unless its device ID is -1 or a lower
/// slot names the same device (one device never plays two slots' mixes).
std::array<int32_t, 8> EnabledSlots(const std::array<int32_t, 8>& pDeviceIds);

/// The message shown when a wave device fails to open: the slot ("出力1".."出力8",
/// "入力1".."入力8", pSlot counting from 0), the device's name as pDevices lists it (its number
/// when it is not listed) and why, in Japanese, with the backend's own text pBackendText
/// after them in parentheses for diagnosis.
std::string DeviceErrorMessage(bool pOutput, int32_t pSlot, int32_t pDeviceId,
    const std::vector<WaveDeviceInfo>& pDevices, WaveResult pResult,
    const std::string& pBackendText);

/// What BindDeviceSlots found: a message per remembered device that is not listed, and
/// whether a slot kept by its number alone learned its device's reference (to be saved).
struct SlotBinding {
    std::vector<std::string> Missing;
    bool Learned = false;
};

/// Finds each slot's remembered device (pRefs) in pDevices, the list of one direction, and
/// sets the slot's ID (pIds) to its place there. A slot kept by its number alone keeps that
/// number and, when the number is listed, learns that device's reference, so that it is kept
/// by name from now on. A remembered device that is not listed leaves its slot unused (-1)
/// for now and keeps the reference: no other device ever takes its place. An empty list
/// (no sound system) binds nothing, since then no device can be told missing.
SlotBinding BindDeviceSlots(bool pOutput, std::array<WaveDeviceRef, 8>& pRefs,
    std::array<int32_t, 8>& pIds, const std::vector<WaveDeviceInfo>& pDevices);

/// The message for a remembered device that is not listed: the slot ("出力1".."入力8",
/// pSlot counting from 0) and the device by host API and name.
std::string MissingDeviceMessage(bool pOutput, int32_t pSlot, const WaveDeviceRef& pRef);

/// BindDeviceSlots for the output slots of pOptions on pOut and, with pIn, the input slots
/// on pIn; the references learned are saved into pStore when it is given ("DevOutName_n",
/// "DevInName_n"). Returns the messages for the remembered devices that are not listed.
/// Lists the devices: call it when a run or the settings need them, not at start-up.
std::vector<std::string> BindEngineDevices(
    EngineOptions& pOptions, WaveOutService& pOut, WaveInService* pIn, Settings* pStore);

/// The wave-out side of playback: up to eight device slots, each with its handle and its
/// ring of buffers (a header and the interleaved samples it points at). Opening, queueing,
/// pausing, the silent flush and closing all go through here. User-interface thread only.
class OutputSlots {
public:
    explicit OutputSlots(WaveOutService& pOut)
        : out_(pOut)
    {
    }
    ~OutputSlots() = default;
    OutputSlots(const OutputSlots&) = delete;
    OutputSlots& operator=(const OutputSlots&) = delete;

    /// Gives every slot pUsed marks a ring of pRing buffers of pFrames silent frames, and
    /// the other slots none.
    void AllocateRings(
        const std::array<int32_t, kOutputSlots>& pUsed, int32_t pRing, int32_t pFrames);
    /// Opens a slot on device pDeviceId in 16-bit stereo at pRate.
    WaveResult Open(int32_t pSlot, int32_t pDeviceId, int32_t pRate);
    bool IsOpen(int32_t pSlot) const { return slots_[pSlot].Handle != kNoWaveHandle; }
    bool AnyOpen() const;
    bool HasRing(int32_t pSlot) const { return static_cast<bool>(slots_[pSlot].Headers); }
    int32_t RingSize(int32_t pSlot) const
    {
        return static_cast<int32_t>(slots_[pSlot].Arrays.size());
    }

    /// Prepares or queues ring buffer pIndex of an open slot.
    void Prepare(int32_t pSlot, int32_t pIndex);
    void Write(int32_t pSlot, int32_t pIndex);
    /// True when the device has played ring buffer pIndex of the slot (or reset it).
    bool IsDone(int32_t pSlot, int32_t pIndex) const;
    /// Pauses (false) or restarts (true) every open slot; results are ignored.
    void PauseAll(bool pResume);
    /// Resets every used open slot and queues its whole ring filled with silence; true when
    /// anything was queued (the caller lets it play before closing).
    bool QueueSilence(const std::array<int32_t, kOutputSlots>& pUsed);
    /// Stops a slot at once; its queued buffers are marked done.
    void Reset(int32_t pSlot);
    /// Resets, unprepares and closes a slot (nothing when it is not open).
    void Close(int32_t pSlot);
    /// Bytes played on a slot since it was opened (0 when it is not open).
    uint32_t Position(int32_t pSlot);
    /// The samples and the header of a ring buffer; null when there is none.
    int16_t* Samples(int32_t pSlot, int32_t pIndex);
    WaveHeader* Header(int32_t pSlot, int32_t pIndex);

    WaveOutService& Service() { return out_; }

private:
    struct Slot {
        WaveHandle Handle = kNoWaveHandle;
        std::unique_ptr<WaveHeader[]> Headers;
        std::vector<std::vector<int16_t>> Arrays;
    };

    WaveOutService& out_;
    std::array<Slot, kOutputSlots> slots_ {};
    std::vector<int16_t> silence_;
};

} // namespace tarvok
