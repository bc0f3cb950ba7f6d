#include "engine/output_slots.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace tarvok {

TEST(OutputSlots, DeviceErrorsNameTheSlotAndTheDeviceWithTheBackendTextAfter)
{
    const std::vector<WaveDeviceInfo> devices = { { 0, "default" }, { 1, "system" } };
    struct Case {
        bool Output;
        int32_t Slot;
        int32_t DeviceId;
        WaveResult Result;
        const char* Backend;
        const char* Text;
    };
    const Case cases[] = {
        { true, 0, 1, kWaveErrFailed, "Device unavailable",
            "出力1の「system」を使えません: デバイスを開けません (Device unavailable)" },
        { false, 2, 0, kWaveErrBadFormat, "Invalid sample rate",
            "入力3の「default」を使えません: 16ビット ステレオのこのサンプリングレートに対応して"
            "いません (Invalid sample rate)" },
        // A device that is not listed is named by its number; without a backend text the
        // common text of the code stands in the parentheses.
        { true, 7, 5, kWaveErrBadDevice, "",
            "出力8のデバイス番号5を使えません: デバイスが見つかりません (The specified device ID "
            "is out of range.)" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(
            DeviceErrorMessage(c.Output, c.Slot, c.DeviceId, devices, c.Result, c.Backend), c.Text);
    }
}

namespace tarvok {

namespace {

std::vector<WaveDeviceInfo> Listed(
    std::initializer_list<std::pair<const char*, const char*>> pDevices)
{
    std::vector<WaveDeviceInfo> list;
    for (auto [api, name] : pDevices)
        list.emplace_back(static_cast<int32_t>(list.size()), name, api);
    return list;
}

} // namespace

TEST(OutputSlots, ADeviceKeptByNameStaysChosenWhenTheListIsRenumbered)
{
    // The list the device was chosen from, then the same devices after a sound server and a
    // USB interface came up and were listed before them.
    const std::vector<WaveDeviceInfo> before = Listed(
        { { "ALSA", "default" }, { "ALSA", "pulse" }, { "ALSA", "USB Audio: - (hw:1,0)" } });
    const std::vector<WaveDeviceInfo> after = Listed({ { "ALSA", "default" },
        { "ALSA", "Scarlett 2i2: USB Audio (hw:2,0)" }, { "JACK Audio Connection Kit", "system" },
        { "ALSA", "pulse" }, { "ALSA", "USB Audio: - (hw:1,0)" } });
    struct Case {
        int32_t ChosenId;
        int32_t IdAfter;
    };
    const Case cases[] = { { 0, 0 }, { 1, 3 }, { 2, 4 } };
    for (const Case& c : cases) {
        SCOPED_TRACE(before[static_cast<size_t>(c.ChosenId)].Name);
        std::array<WaveDeviceRef, 8> refs {};
        std::array<int32_t, 8> ids {};
        ids.fill(-1);
        refs[3] = RefOf(before[static_cast<size_t>(c.ChosenId)]);
        ids[3] = c.ChosenId;
        const SlotBinding binding = BindDeviceSlots(true, refs, ids, after);
        EXPECT_TRUE(binding.Missing.empty());
        EXPECT_EQ(ids[3], c.IdAfter);
        EXPECT_EQ(refs[3], RefOf(before[static_cast<size_t>(c.ChosenId)]));
        // Bound again on the old list, it goes back to where it was.
        BindDeviceSlots(true, refs, ids, before);
        EXPECT_EQ(ids[3], c.ChosenId);
    }
}

TEST(OutputSlots, AMissingDeviceIsNamedAndItsSlotStaysUnused)
{
    const std::vector<WaveDeviceInfo> list = Listed({ { "ALSA", "default" }, { "ALSA", "pulse" } });
    std::array<WaveDeviceRef, 8> refs {};
    std::array<int32_t, 8> ids {};
    refs[0] = { "ALSA", "pulse" };
    refs[1] = { "JACK Audio Connection Kit", "system" };
    ids[1] = 1; // where it was listed once: now another device's place
    const SlotBinding binding = BindDeviceSlots(false, refs, ids, list);
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(ids[1], -1);
    EXPECT_EQ(refs[1], (WaveDeviceRef { "JACK Audio Connection Kit", "system" }));
    ASSERT_EQ(binding.Missing.size(), 1u);
    EXPECT_EQ(binding.Missing[0],
        "入力2のデバイス「JACK Audio Connection Kit: system」が見つかりません。ほかのデバイスに切り"
        "替えず、入力2は使わずにおきます");
    EXPECT_EQ(EnabledSlots(ids)[1], 0);
    // With no list at all (no sound system) nothing is told missing and nothing moves.
    ids[1] = 1;
    EXPECT_TRUE(BindDeviceSlots(false, refs, ids, {}).Missing.empty());
    EXPECT_EQ(ids[1], 1);
}

TEST(OutputSlots, ASlotKeptByNumberKeepsItAndLearnsTheName)
{
    const std::vector<WaveDeviceInfo> list
        = Listed({ { "ALSA", "default" }, { "ALSA", "pulse" }, { "OSS", "/dev/dsp" } });
    std::array<WaveDeviceRef, 8> refs {};
    std::array<int32_t, 8> ids = { 1, -1, 7, 2, 0, 0, 0, 0 };
    const SlotBinding binding = BindDeviceSlots(true, refs, ids, list);
    EXPECT_TRUE(binding.Learned);
    EXPECT_TRUE(binding.Missing.empty());
    EXPECT_EQ(ids, (std::array<int32_t, 8> { 1, -1, 7, 2, 0, 0, 0, 0 }));
    EXPECT_EQ(refs[0], (WaveDeviceRef { "ALSA", "pulse" }));
    EXPECT_TRUE(refs[1].Empty()); // unused stays unused
    EXPECT_TRUE(refs[2].Empty()); // not listed: the number stays, and fails to open as before
    EXPECT_EQ(refs[3], (WaveDeviceRef { "OSS", "/dev/dsp" }));
    EXPECT_FALSE(BindDeviceSlots(true, refs, ids, list).Learned);
}

TEST(OutputSlots, TheNumberOnlyTellsApartDevicesOfTheSameName)
{
    const std::vector<WaveDeviceInfo> list
        = Listed({ { "ALSA", "default" }, { "ALSA", "USB Audio" },
            { "JACK Audio Connection Kit", "USB Audio" }, { "ALSA", "USB Audio" } });
    const WaveDeviceRef usb { "ALSA", "USB Audio" };
    struct Case {
        int32_t Hint;
        int32_t Found;
    };
    for (const Case c : { Case { 3, 3 }, Case { 1, 1 }, Case { 2, 1 }, Case { -1, 1 } }) {
        SCOPED_TRACE(c.Hint);
        EXPECT_EQ(FindDevice(usb, c.Hint, list), c.Found);
    }
    EXPECT_EQ(FindDevice({ "OSS", "USB Audio" }, 1, list), -1);
}

TEST(OutputSlots, DeviceReferencesKeepTheirStoredForm)
{
    const WaveDeviceRef kRefs[] = { { "ALSA", "pulse" }, { "JACK Audio Connection Kit", "a|b" },
        { "", "Virtual output 1" } };
    for (const WaveDeviceRef& ref : kRefs) {
        SCOPED_TRACE(DeviceRefText(ref));
        EXPECT_EQ(ParseDeviceRef(DeviceRefText(ref)), ref);
    }
    EXPECT_EQ(DeviceRefText({}), "");
    EXPECT_TRUE(ParseDeviceRef("").Empty());
    EXPECT_EQ(DeviceDisplayName({ "ALSA", "pipewire" }), "ALSA: pipewire");
}

} // namespace tarvok

TEST(OutputSlots, AUsersTextNamesADeviceByNumberNameOrHostApiAndName)
{
    const std::vector<WaveDeviceInfo> devices { { 0, "default", "ALSA" }, { 1, "pulse", "ALSA" },
        { 2, "system", "JACK Audio Connection Kit" }, { 3, "pulse", "OSS" },
        { 4, "HDA Intel: ALC (hw:0,0)", "ALSA" } };
    struct Case {
        const char* Text;
        std::optional<int32_t> Id;
    };
    const Case kCases[] = {
        { "2", 2 },
        { "007", std::nullopt }, // not listed
        { "3", 3 },
        { "pulse", 1 }, // the first of that name
        { "OSS: pulse", 3 },
        { "OSS|pulse", 3 },
        { "JACK Audio Connection Kit: system", 2 },
        { "HDA Intel: ALC (hw:0,0)", 4 }, // a name holding ": "
        { "ALSA: HDA Intel: ALC (hw:0,0)", 4 },
        { "JACK Audio Connection Kit: pulse", std::nullopt },
        { "", std::nullopt },
        { "-1", std::nullopt },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(DeviceIdFromText(c.Text, devices), c.Id);
    }
}

} // namespace tarvok
