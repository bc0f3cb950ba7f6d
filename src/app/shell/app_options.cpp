#include "app/shell/app_options.h"

#include "core/settings.h"

#include <algorithm>

namespace tarvok {

void ReadAppOptions(const Settings& pSettings, AppOptions& pOptions)
{
    const Settings& s = pSettings;
    AppOptions& o = pOptions;
    o.LogError = s.GetSetting("LogError", o.LogError);
    o.ErrorCatch = s.GetSetting("ErrorCatch", o.ErrorCatch);
    o.WaveColor = s.GetSetting("WaveColor", o.WaveColor);
    o.WaveColorLocked = s.GetSetting("WaveColorLocked", o.WaveColorLocked);
    o.SizeRate = s.GetSetting("SizeRate", std::string_view(o.SizeRate));
    o.Language = s.GetSetting("Language", std::string_view(o.Language));
    o.PlayTrimDB = std::clamp(s.GetSetting("PlayTrimDB", o.PlayTrimDB), -40.0f, 40.0f);
    o.RecTrimDB = std::clamp(s.GetSetting("RecTrimDB", o.RecTrimDB), -40.0f, 40.0f);
    o.DrawWFP = s.GetSetting("DrawWFP", o.DrawWFP);
    o.WFMode = s.GetSetting("WFMode", o.WFMode);
    o.WFMono = s.GetSetting("WFMono", o.WFMono);
    o.LevelMargin = std::min(s.GetSetting("LevelMargin", o.LevelMargin), int32_t { 0 });
    o.ShowRMS = s.GetSetting("ShowRMS", o.ShowRMS);
    o.ShowMasterVU = s.GetSetting("ShowMasterVU", o.ShowMasterVU);
    o.ShowMasterMeter = s.GetSetting("ShowMasterMeter", o.ShowMasterMeter);
    o.RMSP3 = s.GetSetting("RMSP3", o.RMSP3);
    o.VULevelTrim = std::min(s.GetSetting("VULevelTrim", o.VULevelTrim), 0.0f);
    o.ShiftToDrag = s.GetSetting("ShiftToDrag", o.ShiftToDrag);
    o.UndoAll = s.GetSetting("UndoAll", o.UndoAll);
    o.UseMuonStart = s.GetSetting("UseMuonStart", o.UseMuonStart);
    o.UseMuonStop = s.GetSetting("UseMuonStop", o.UseMuonStop);
    o.MuonStartLevelDB = s.GetSetting("MuonStartLevelDB", o.MuonStartLevelDB);
    o.MuonStopLevelDB = s.GetSetting("MuonStopLevelDB", o.MuonStopLevelDB);
    o.MuonStopLengthMS = s.GetSetting("MuonStopLengthMS", o.MuonStopLengthMS);
    for (int n = 1; n <= 8; ++n) {
        o.DevInID[n - 1] = s.GetSetting(SlotKey("DevInID_", n), int32_t { 0 });
        o.DevOutID[n - 1] = s.GetSetting(SlotKey("DevOutID_", n), int32_t { 0 });
        o.DevInRef[n - 1] = ParseDeviceRef(s.GetSetting(SlotKey("DevInName_", n), ""));
        o.DevOutRef[n - 1] = ParseDeviceRef(s.GetSetting(SlotKey("DevOutName_", n), ""));
        o.LevelLdb[n - 1] = s.GetSetting(SlotKey("LevelLdb_", n), 0.0f);
        o.LevelRdb[n - 1] = s.GetSetting(SlotKey("LevelRdb_", n), 0.0f);
    }
    o.ShowToolBar = s.GetSetting("ShowToolBar", o.ShowToolBar);
    o.MaxPow = s.GetSetting("MaxPow", o.MaxPow);
    o.UseAdjustClock = s.GetSetting("UseAdjustClock", o.UseAdjustClock);
    o.ScrollMode = s.GetSetting("ScrollMode", o.ScrollMode);
    o.ZoomMode = s.GetSetting("ZoomMode", o.ZoomMode);
    o.ShowRecMon = s.GetSetting("ShowRecMon", o.ShowRecMon);
    o.ShowMRU = s.GetSetting("ShowMRU", o.ShowMRU);
    o.DelOnEnd = s.GetSetting("DelOnEnd", o.DelOnEnd);
    o.HideMark = s.GetSetting("HideMark", o.HideMark);
    o.MixerApp = s.GetSetting("MixerApp", std::string_view(o.MixerApp));
    o.LangMode = s.GetSetting("LangMode", o.LangMode);
}

void SaveAppOptions(Settings& pSettings, const AppOptions& pOptions)
{
    Settings& s = pSettings;
    const AppOptions& o = pOptions;
    for (int n = 1; n <= 8; ++n) {
        s.SaveSetting(SlotKey("DevInID_", n), o.DevInID[n - 1]);
        s.SaveSetting(SlotKey("DevOutID_", n), o.DevOutID[n - 1]);
        s.SaveSetting(SlotKey("DevInName_", n), DeviceRefText(o.DevInRef[n - 1]));
        s.SaveSetting(SlotKey("DevOutName_", n), DeviceRefText(o.DevOutRef[n - 1]));
        s.SaveSetting(SlotKey("LevelLdb_", n), o.LevelLdb[n - 1]);
        s.SaveSetting(SlotKey("LevelRdb_", n), o.LevelRdb[n - 1]);
    }
    s.SaveSetting("PlayTrimDB", o.PlayTrimDB);
    s.SaveSetting("RecTrimDB", o.RecTrimDB);
    s.SaveSetting("MaxPow", o.MaxPow);
    s.SaveSetting("DrawWFP", o.DrawWFP);
    s.SaveSetting("WFMode", o.WFMode);
    s.SaveSetting("UseAdjustClock", o.UseAdjustClock);
    s.SaveSetting("ZoomMode", o.ZoomMode);
    s.SaveSetting("LevelMargin", o.LevelMargin);
    s.SaveSetting("VULevelTrim", o.VULevelTrim);
    s.SaveSetting("WFMono", o.WFMono);
    s.SaveSetting("ShowRecMon", o.ShowRecMon);
    s.SaveSetting("ScrollMode", o.ScrollMode);
    s.SaveSetting("ShowRMS", o.ShowRMS);
    s.SaveSetting("ShowMasterVU", o.ShowMasterVU);
    s.SaveSetting("ShowMasterMeter", o.ShowMasterMeter);
    s.SaveSetting("ShowMRU", o.ShowMRU);
    s.SaveSetting("RMSP3", o.RMSP3);
    s.SaveSetting("ShiftToDrag", o.ShiftToDrag);
    s.SaveSetting("UndoAll", o.UndoAll);
    s.SaveSetting("UseMuonStart", o.UseMuonStart);
    s.SaveSetting("UseMuonStop", o.UseMuonStop);
    s.SaveSetting("MuonStartLevelDB", o.MuonStartLevelDB);
    s.SaveSetting("MuonStopLevelDB", o.MuonStopLevelDB);
    s.SaveSetting("MuonStopLengthMS", o.MuonStopLengthMS);
}

} // namespace tarvok
