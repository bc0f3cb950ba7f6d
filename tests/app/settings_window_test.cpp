#include "app/windows/settings_window.h"

#include "app/shell/app_options.h"
#include "core/command_ids.h"
#include "engine/output_slots.h"
#include "engine/virtual_wave_device.h"
#include "support/logic_fixture.h"

#include <gtest/gtest.h>

namespace tarvok {

namespace {

struct SettingsFixture : test::LogicFixture {
    KeyAssignment Keys = DefaultKeyAssignment();
    SettingsWindowModel Model(std::vector<std::string> pOut = { "default", "card" },
        std::vector<std::string> pIn = { "default" })
    {
        return SettingsWindowModel(Logic, Keys, std::move(pOut), std::move(pIn));
    }
};

} // namespace

TEST(SettingsWindow, NumbersAreClampedAndTextLeavesSettingsAlone)
{
    struct Case {
        const char* Entry;
        int32_t Stored;
    };
    const Case kSteps[] = { { "5", 10 }, { "100000", 48000 }, { "256", 256 }, { "x", 256 } };
    SettingsFixture f;
    for (const Case& c : kSteps) {
        SCOPED_TRACE(c.Entry);
        SettingsWindowModel m = f.Model();
        m.SampleStep = c.Entry;
        m.Apply();
        EXPECT_EQ(f.Store.GetSetting("SampleStep", int32_t { 0 }), c.Stored);
    }
    const std::pair<const char*, float> kTrims[]
        = { { "-55", -40.0f }, { "12.5", 12.5f }, { "41", 40.0f }, { "abc", 40.0f } };
    for (auto [entry, stored] : kTrims) {
        SCOPED_TRACE(entry);
        SettingsWindowModel m = f.Model();
        m.PlayTrim = entry;
        m.Apply();
        EXPECT_EQ(f.Store.GetSetting("PlayTrimDB", 0.0f), stored);
        EXPECT_EQ(f.Logic.Options().PlayTrimDB, stored);
    }
}

TEST(SettingsWindow, GeneralAndDetailEntries)
{
    SettingsFixture f;
    SettingsWindowModel m = f.Model();
    EXPECT_EQ(m.ProjectFreqInfo(), " Prj=44100");
    EXPECT_EQ(m.ProjectStepInfo(), " Prj=64");
    m.Freq = "48000";
    m.LevelMargin = "6";
    m.VULevelTrim = "18";
    m.SizeRate = "1.25";
    m.DelPrjDate = "seven";
    m.FadeTableType = 0;
    m.MixerApp = " pavucontrol ";
    m.WaveColor = 0x123456;
    m.DisplayOptions[1] = true; // mono waveforms: in memory only
    m.Apply();
    EXPECT_EQ(f.Store.GetSetting("nFreq", int32_t { 0 }), 48000);
    EXPECT_EQ(f.Logic.Options().LevelMargin, -6);
    EXPECT_EQ(f.Logic.Options().VULevelTrim, -18.0f);
    EXPECT_EQ(f.Store.GetSetting("SizeRate", ""), "1.2");
    EXPECT_EQ(m.DelPrjDate, "0");
    EXPECT_EQ(f.Store.GetSetting("FadeTableType", int32_t { 1 }), 0);
    EXPECT_EQ(f.Store.GetSetting("MixerApp", ""), "pavucontrol");
    EXPECT_EQ(f.Store.GetSetting("WaveColor", int32_t { 0 }), 0x123456);
    EXPECT_EQ(f.Logic.Options().WFMono, 1);
    EXPECT_FALSE(f.Store.GetRaw("WFMono").has_value());
}

TEST(SettingsWindow, ThinMarkersAreSavedAtOnce)
{
    SettingsFixture f;
    SettingsWindowModel m = f.Model();
    m.SetHideMark(true);
    EXPECT_EQ(f.Store.GetSetting("HideMark", int32_t { 0 }), 1);
    EXPECT_EQ(f.Logic.Options().HideMark, 1);
}

TEST(SettingsWindow, DeviceSlotsFollowTheDeviceList)
{
    SettingsFixture f;
    f.Logic.Options().DevOutID[1] = 5; // out of range: shows the first device
    SettingsWindowModel m = f.Model();
    EXPECT_EQ(m.OutputSlotCount(), 2);
    EXPECT_EQ(m.InputSlotCount(), 1);
    EXPECT_EQ(SettingsWindowModel::SlotLabel(1), "3+4");
    EXPECT_EQ(SettingsWindowModel::DeviceItem(0, "default"), "1 default");
    EXPECT_EQ(m.OutputChoice[1], 0);
    m.OutputChoice[1] = 1;
    m.Apply();
    EXPECT_EQ(f.Store.GetSetting("DevOutID_2", int32_t { -1 }), 1);
    EXPECT_EQ(f.Logic.Options().DevOutID[1], 1);
    EXPECT_FALSE(f.Store.GetRaw("DevOutID_3").has_value());
}

TEST(SettingsWindow, DeviceSlotsShowTheRememberedDeviceWhereverItIsListed)
{
    SettingsFixture f;
    AppOptions& o = f.Logic.Options();
    o.DevOutRef[0] = { "ALSA", "card" };
    o.DevOutID[0] = 0; // the number it had: the list has moved it
    o.DevOutRef[1] = { "JACK Audio Connection Kit", "system" };
    o.DevOutID[1] = -1; // missing at the last run
    SettingsWindowModel m = f.Model({ "default", "pulse", "card" });
    EXPECT_EQ(m.OutputChoice[0], 2);
    // The missing device is shown after the listed ones, and OK keeps it, unused.
    ASSERT_EQ(m.OutputDevices().size(), 4u);
    EXPECT_EQ(m.OutputDevices()[3], "JACK Audio Connection Kit: system（見つかりません）");
    EXPECT_EQ(m.OutputChoice[1], 3);
    m.OutputChoice[2] = 1; // a slot kept by number chooses another device
    m.Apply();
    EXPECT_EQ(f.Store.GetSetting("DevOutID_1", int32_t { -9 }), 2);
    EXPECT_EQ(f.Store.GetSetting("DevOutName_1", ""), "ALSA|card");
    EXPECT_EQ(f.Store.GetSetting("DevOutID_2", int32_t { -9 }), -1);
    EXPECT_EQ(f.Store.GetSetting("DevOutName_2", ""), "JACK Audio Connection Kit|system");
    EXPECT_EQ(o.DevOutRef[1], (WaveDeviceRef { "JACK Audio Connection Kit", "system" }));
    // The new choice is kept by number until the next binding learns its host API.
    EXPECT_EQ(f.Store.GetSetting("DevOutID_3", int32_t { -9 }), 1);
    EXPECT_EQ(f.Store.GetSetting("DevOutName_3", "x"), "");
}

TEST(SettingsWindow, ChoosingAnotherDeviceForgetsTheRememberedOne)
{
    SettingsFixture f;
    AppOptions& o = f.Logic.Options();
    o.DevOutRef[1] = { "ALSA", "card" };
    o.DevOutID[1] = 1;
    SettingsWindowModel m = f.Model();
    EXPECT_EQ(m.OutputChoice[1], 1);
    m.OutputChoice[1] = 0;
    m.Apply();
    EXPECT_EQ(o.DevOutID[1], 0);
    EXPECT_TRUE(o.DevOutRef[1].Empty());
    EXPECT_EQ(f.Store.GetSetting("DevOutName_2", "x"), "");
}

TEST(SettingsWindow, SlotsKeptByNumberAreReadAsBeforeAndWrittenByName)
{
    SettingsFixture f;
    f.Store.SaveSetting("DevOutID_1", int32_t { 2 });
    f.Store.SaveSetting("DevInID_2", int32_t { 1 });
    AppOptions& o = f.Logic.Options();
    ReadAppOptions(f.Store, o);
    EXPECT_EQ(o.DevOutID[0], 2);
    EXPECT_EQ(o.DevInID[1], 1);
    EXPECT_TRUE(o.DevOutRef[0].Empty());
    VirtualWaveOut out(3);
    VirtualWaveIn in(2);
    EXPECT_TRUE(BindEngineDevices(o, out, &in, &f.Store).empty());
    EXPECT_EQ(o.DevOutID[0], 2);
    EXPECT_EQ(f.Store.GetSetting("DevOutName_1", ""), "|Virtual output 2");
    EXPECT_EQ(f.Store.GetSetting("DevInName_2", ""), "|Virtual input 1");
    AppOptions again;
    ReadAppOptions(f.Store, again);
    EXPECT_EQ(again.DevOutRef[0], (WaveDeviceRef { "", "Virtual output 2" }));
    EXPECT_EQ(again.DevInRef[1], (WaveDeviceRef { "", "Virtual input 1" }));
}

TEST(SettingsWindow, ToolbarRowsAreEditedAndStored)
{
    SettingsFixture f;
    SettingsWindowModel m = f.Model();
    ASSERT_EQ(m.ToolbarRows.size(), 16u);
    EXPECT_EQ(m.AddToolbarRow(-1), 16);
    EXPECT_EQ(m.AddToolbarRow(0), 0);
    EXPECT_EQ(m.ToolbarRows[0], "");
    m.ToolbarRows[0] = std::string(GetCommandText(kCmdMixdown, kCommandDescription));
    EXPECT_EQ(m.MoveToolbarRowDown(0), 1);
    EXPECT_EQ(m.MoveToolbarRowUp(1), 0);
    EXPECT_EQ(m.MoveToolbarRowUp(0), 0);
    m.DeleteToolbarRows({ 1, 2, 17 });
    EXPECT_EQ(m.ToolbarRows.size(), 15u);
    EXPECT_EQ(SettingsWindowModel::ToolbarRowName(0), "ボタン1");
    m.KeyRows[4] = std::string(GetCommandText(kCmdMixdown, kCommandDescription)); // F5
    m.ShowToolBar = true;

    // Without the key tabs shown the rows are not applied.
    m.Apply();
    EXPECT_FALSE(f.Store.GetRaw("NumTBFCT").has_value());
    m.KeyTabsPrepared = true;
    m.Apply();
    EXPECT_EQ(f.Store.GetSetting("NumTBFCT", int32_t { 0 }), 15);
    EXPECT_EQ(f.Store.GetSetting("tbfct-01", ""), "MIXDOWN");
    EXPECT_EQ(f.Store.GetSetting("fkeyfct-05", ""), "MIXDOWN");
    EXPECT_EQ(f.Keys.FKeyCommands[4], kCmdMixdown);
    EXPECT_EQ(f.Keys.ToolbarCount, 15);
    EXPECT_EQ(f.Store.GetSetting("ShowToolBar", int32_t { 0 }), 1);
    EXPECT_EQ(LoadKeyAssignment(f.Store), f.Keys);
}

TEST(SettingsWindow, ChoicesLeaveOutTheScrubCommands)
{
    const std::vector<std::string> choices = SettingsWindowModel::CommandChoices();
    EXPECT_EQ(choices.size(), 139u);
    EXPECT_EQ(choices.front(), "N/A");
}

} // namespace tarvok
