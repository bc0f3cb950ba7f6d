#include "app/windows/settings_window.h"

#include "engine/latency_calibration.h"
#include "engine/loopback_devices.h"
#include "support/logic_fixture.h"

#include <gtest/gtest.h>

namespace tarvok {

TEST(SettingsWindow, TheLatencyButtonMeasuresTheFirstSlotsPairAndStoresIt)
{
    test::LogicFixture f;
    KeyAssignment keys = DefaultKeyAssignment();
    test::LoopbackLine line;
    line.OutputLatency = 1000;
    line.Unreported = 220;
    test::LoopbackOut out(line);
    test::LoopbackIn in(line);
    test::LoopbackClock clock(line, out, in);
    SettingsWindowModel m(f.Logic, keys, { "loop out" }, { "loop in" });

    f.Logic.Playing = true;
    EXPECT_EQ(m.MeasureLatency(out, in, clock), "再生中・録音中は往復遅延を測定できません");
    EXPECT_FALSE(StoredLatencyOffsetUs(f.Store, "loop out", "loop in"));
    f.Logic.Playing = false;

    EXPECT_EQ(m.MeasureLatency(out, in, clock),
        std::string(kLatencyMeasuredText) + ": 220 サンプル (4.99 ms)、loop out → loop in");
    EXPECT_EQ(StoredLatencyOffsetUs(f.Store, "loop out", "loop in"), FramesToUs(220, 44100));

    // A pair that sends nothing back keeps what was stored and says why.
    line.Unreported = 20 * 44100;
    EXPECT_EQ(m.MeasureLatency(out, in, clock), kLatencyNoClickText);
    EXPECT_EQ(StoredLatencyOffsetUs(f.Store, "loop out", "loop in"), FramesToUs(220, 44100));
}

} // namespace tarvok
