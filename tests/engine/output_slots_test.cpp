#include "engine/output_slots.h"

#include <gtest/gtest.h>

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

} // namespace tarvok
