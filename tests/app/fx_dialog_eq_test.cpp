#include "app/commands/apply_effect.h"

#include "app/commands/fx_dialog.h"
#include "fx/c_fx.h"
#include "fx/fx_table.h"
#include "support/started_logic.h"

#include <gtest/gtest.h>

namespace tarvok::test {
namespace {

TEST(FxDialogEqualisers, BandsReachTheProcessorAndComeBackFromSavedValues)
{
    struct Case {
        int32_t id;
        std::vector<int32_t> faders; ///< every fader's value, in order
        std::vector<EqBand> bands; ///< what the processor receives
        double level;
    };
    const std::vector<double>& hz = GraphicEqFrequencies();
    std::vector<EqBand> graphic;
    std::vector<int32_t> graphicFaders;
    for (size_t b = 0; b < 15; ++b) {
        const int32_t gain = static_cast<int32_t>(b) * 2 - 14;
        graphicFaders.push_back(gain);
        graphic.push_back(EqBand { static_cast<float>(gain), static_cast<float>(hz[b]), 2.0f });
    }
    graphicFaders.push_back(-4);
    const std::vector<Case> cases = {
        { 130, graphicFaders, graphic, -4 },
        // 周波数 260 shows 20 Hz, 560 shows 630, 860 shows 19900; Q 50 shows 0.5, 125 shows 1.3.
        { 131, { 260, 50, -15, 560, 125, 6, 860, 200, 15, 7 },
            { { -15, 20, 0.5f }, { 6, 630, 1.3f }, { 15, 19900, 2.0f } }, 7 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        StartedLogic<> f;
        C_FX saved(44100);
        {
            FxDialogModel m(c.id, f.Store, 1000, 44100, 0);
            ASSERT_EQ(m.FaderCount(), static_cast<int32_t>(c.faders.size()));
            for (size_t i = 0; i < c.faders.size(); ++i)
                m.SetValue(static_cast<int32_t>(i), c.faders[i]);
            ASSERT_TRUE(m.SaveValues(saved, f.Ui));
        }
        // A new dialog starts from the saved faders; its OK hands the same bands over.
        FxDialogModel again(c.id, f.Store, 1000, 44100, 0);
        for (size_t i = 0; i < c.faders.size(); ++i)
            EXPECT_EQ(again.Value(static_cast<int32_t>(i)), c.faders[i]) << i;
        C_FX fx(44100);
        ASSERT_TRUE(again.Commit(fx, f.Ui));
        for (const C_FX* p : { &saved, &fx }) {
            ASSERT_EQ(p->Bands().size(), c.bands.size());
            for (size_t b = 0; b < c.bands.size(); ++b) {
                SCOPED_TRACE(b);
                EXPECT_FLOAT_EQ(p->Bands()[b].GainDb, c.bands[b].GainDb);
                EXPECT_FLOAT_EQ(p->Bands()[b].Freq, c.bands[b].Freq);
                EXPECT_FLOAT_EQ(p->Bands()[b].Q, c.bands[b].Q);
            }
            EXPECT_EQ(p->FXParm(0), c.level);
        }
    }
}

TEST(FxDialogEqualisers, FilterFadersPassTheNumbersTheirPanelsShow)
{
    struct Case {
        int32_t id;
        std::vector<int32_t> faders;
        std::vector<double> parms;
    };
    const Case cases[] = {
        { 128, { 560, 250, 30 }, { 630, 250, 30 } },
        { 129, { 260, 0, 100 }, { 20, 0, 100 } },
        { 129, { 860, 400, 0 }, { 19900, 400, 0 } },
        { 127, { 50, 200, 0 }, { 50, 200, 0 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.faders[0]);
        StartedLogic<> f;
        FxDialogModel m(c.id, f.Store, 1000, 44100, 0);
        for (size_t i = 0; i < c.faders.size(); ++i)
            m.SetValue(static_cast<int32_t>(i), c.faders[i]);
        EXPECT_EQ(
            m.ValueText(0), c.id == 127 ? "50" : std::to_string(static_cast<int>(c.parms[0])));
        C_FX fx(44100);
        ASSERT_TRUE(m.Commit(fx, f.Ui));
        for (size_t i = 0; i < c.parms.size(); ++i)
            EXPECT_EQ(fx.FXParm(static_cast<int32_t>(i)), c.parms[i]) << i;
    }
}

TEST(FxDialogEqualisers, TheFiltersAndEqualisersAreOffered)
{
    for (int32_t id = 127; id <= 131; ++id)
        EXPECT_TRUE(IsEffectAvailable(id)) << id;
}

} // namespace
} // namespace tarvok::test
