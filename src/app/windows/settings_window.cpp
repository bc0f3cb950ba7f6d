#include "app/windows/settings_window.h"

#include "app/shell/main_logic.h"
#include "base/i18n.h"
#include "base/numeric.h"
#include "base/text.h"
#include "core/file_io.h"
#include "core/paths.h"
#include "core/project.h"
#include "core/wave_info.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace tarvok {

namespace {

std::optional<double> Number(const std::string& pText) { return ParseNumber(Trim(pText)); }

/// The entries of the display option list, with the option each one sets.
int32_t* DisplayOption(AppOptions& pOptions, int pIndex)
{
    int32_t* const kOptions[SettingsWindowModel::kDisplayOptionCount]
        = { &pOptions.HideMark, &pOptions.WFMono, &pOptions.DrawWFP, &pOptions.WFMode,
              &pOptions.MaxPow, &pOptions.ScrollMode, &pOptions.ShowMasterVU,
              &pOptions.ShowMasterMeter, &pOptions.ShowRecMon, &pOptions.ShowMRU, &pOptions.RMSP3,
              &pOptions.ShiftToDrag, &pOptions.UndoAll };
    return kOptions[pIndex];
}

/// A trim of at most 40 dB either way.
float ClampTrim(double pDb) { return static_cast<float>(std::clamp(pDb, -40.0, 40.0)); }

std::string FormatTenth(double pValue)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(RoundHalfEven(pValue * 10)) / 10);
    return text;
}

} // namespace

SettingsWindowModel::SettingsWindowModel(MainLogic& pLogic, KeyAssignment& pAssignment,
    std::vector<std::string> pOutputDevices, std::vector<std::string> pInputDevices)
    : logic_(pLogic)
    , assignment_(pAssignment)
    , outputDevices_(std::move(pOutputDevices))
    , inputDevices_(std::move(pInputDevices))
{
    const Settings& s = pLogic.Store();
    const AppOptions& o = pLogic.Options();
    Freq = std::to_string(s.GetSetting("nFreq", int32_t { 44100 }));
    SampleStep = std::to_string(s.GetSetting("SampleStep", int32_t { 64 }));
    SoundPath = pLogic.Proj().DataFolder;
    LevelMargin = std::to_string(o.LevelMargin);
    DelPrjDate = s.GetSetting("DelPrjDate", "0");
    DelOnEnd = o.DelOnEnd != 0;
    AdjustClock = o.UseAdjustClock != 0;
    FadeTableType = std::clamp(s.GetSetting("FadeTableType", int32_t { 1 }), 0, 1);
    MixerApp = o.MixerApp;

    SizeRate = o.SizeRate;
    VULevelTrim = FormatNumber(o.VULevelTrim);
    WaveColor = o.WaveColor;
    WaveColorLocked = o.WaveColorLocked;
    AppOptions copy = o;
    for (int i = 0; i < kDisplayOptionCount; ++i)
        DisplayOptions[static_cast<size_t>(i)] = *DisplayOption(copy, i) != 0;

    for (int32_t slot = 0; slot < kMaxDeviceSlots; ++slot) {
        const int32_t out = o.DevOutID[static_cast<size_t>(slot)];
        const int32_t in = o.DevInID[static_cast<size_t>(slot)];
        OutputChoice[static_cast<size_t>(slot)]
            = out >= 0 && out < static_cast<int32_t>(outputDevices_.size()) ? out : 0;
        InputChoice[static_cast<size_t>(slot)]
            = in >= 0 && in < static_cast<int32_t>(inputDevices_.size()) ? in : 0;
    }
    PlayTrim = FormatNumber(o.PlayTrimDB);
    RecTrim = FormatNumber(o.RecTrimDB);

    for (int k = 0; k < kFunctionKeyCount; ++k)
        KeyRows[static_cast<size_t>(k)]
            = GetCommandText(assignment_.FKeyCommands[static_cast<size_t>(k)], kCommandDescription);
    KeyRows[kFunctionKeyCount] = GetCommandText(assignment_.SpaceCommand, kCommandDescription);
    for (int32_t b = 0; b < assignment_.ToolbarCount; ++b) {
        const int32_t id = b < static_cast<int32_t>(assignment_.ToolbarCommands.size())
            ? assignment_.ToolbarCommands[static_cast<size_t>(b)]
            : 0;
        ToolbarRows.emplace_back(GetCommandText(id, kCommandDescription));
    }
    ShowToolBar = o.ShowToolBar != 0;
}

std::string SettingsWindowModel::ProjectFreqInfo() const
{
    return " Prj=" + std::to_string(logic_.Proj().SampleRate);
}

std::string SettingsWindowModel::ProjectStepInfo() const
{
    return " Prj=" + std::to_string(logic_.Proj().SampleStep);
}

std::vector<std::string> SettingsWindowModel::FreqItems()
{
    std::vector<std::string> items;
    items.reserve(kRateList.size());
    for (int32_t rate : kRateList)
        items.push_back(std::to_string(rate));
    return items;
}

const std::vector<std::string>& SettingsWindowModel::FadeTableItems()
{
    static const std::vector<std::string> kItems { N_("センターゼロ"), N_("一般フェーダー") };
    return kItems;
}

const std::vector<std::string>& SettingsWindowModel::DisplayOptionCaptions()
{
    static const std::vector<std::string> kItems { N_("マーカーを細く"), N_("波形をモノラル描画"),
        N_("波形をピークで描画(高負荷)"), N_("波形をdB値で抽出"), N_("録音中に波形を描画(高負荷)"),
        N_("画面をスクロール(高負荷)"), N_("マスターメーター表示"), N_("針メーター表示"),
        N_("録音モニターを表示(高負荷)"), N_("最近使ったファイルを表示"), N_("RMS+3db表示"),
        N_("Shiftでドラッグ"), N_("全て元に戻す") };
    return kItems;
}

int32_t SettingsWindowModel::OutputSlotCount() const
{
    return std::min<int32_t>(static_cast<int32_t>(outputDevices_.size()), kMaxDeviceSlots);
}

int32_t SettingsWindowModel::InputSlotCount() const
{
    return std::min<int32_t>(static_cast<int32_t>(inputDevices_.size()), kMaxDeviceSlots);
}

std::string SettingsWindowModel::SlotLabel(int32_t pSlot)
{
    return std::to_string(pSlot * 2 + 1) + "+" + std::to_string(pSlot * 2 + 2);
}

std::string SettingsWindowModel::DeviceItem(int32_t pId, const std::string& pName)
{
    return std::to_string(pId + 1) + " " + pName;
}

std::string SettingsWindowModel::KeyRowName(int32_t pRow)
{
    if (pRow >= 0 && pRow < kFunctionKeyCount)
        return "F" + std::to_string(pRow + 1);
    return "space";
}

std::string SettingsWindowModel::ToolbarRowName(int32_t pRow)
{
    return TrArgs("ボタン%1", pRow + 1);
}

std::vector<std::string> SettingsWindowModel::CommandChoices()
{
    std::vector<std::string> items;
    for (int32_t id : AssignableCommands())
        items.emplace_back(GetCommandText(id, kCommandDescription));
    return items;
}

int32_t SettingsWindowModel::AddToolbarRow(int32_t pSelected)
{
    const auto count = static_cast<int32_t>(ToolbarRows.size());
    const int32_t at = pSelected >= 0 && pSelected < count ? pSelected : count;
    ToolbarRows.insert(ToolbarRows.begin() + at, std::string());
    return at;
}

void SettingsWindowModel::DeleteToolbarRows(const std::set<int32_t>& pRows)
{
    for (auto it = pRows.rbegin(); it != pRows.rend(); ++it) {
        if (*it >= 0 && *it < static_cast<int32_t>(ToolbarRows.size()))
            ToolbarRows.erase(ToolbarRows.begin() + *it);
    }
}

int32_t SettingsWindowModel::MoveToolbarRowDown(int32_t pRow)
{
    if (pRow < 0 || pRow + 1 >= static_cast<int32_t>(ToolbarRows.size()))
        return pRow;
    std::swap(ToolbarRows[static_cast<size_t>(pRow)], ToolbarRows[static_cast<size_t>(pRow) + 1]);
    return pRow + 1;
}

int32_t SettingsWindowModel::MoveToolbarRowUp(int32_t pRow)
{
    if (pRow <= 0 || pRow >= static_cast<int32_t>(ToolbarRows.size()))
        return pRow;
    std::swap(ToolbarRows[static_cast<size_t>(pRow)], ToolbarRows[static_cast<size_t>(pRow) - 1]);
    return pRow - 1;
}

void SettingsWindowModel::SetHideMark(bool pOn)
{
    DisplayOptions[0] = pOn;
    logic_.Options().HideMark = pOn ? 1 : 0;
    logic_.Store().SaveSetting("HideMark", pOn ? 1 : 0);
}

void SettingsWindowModel::Apply()
{
    Settings& s = logic_.Store();
    AppOptions& o = logic_.Options();

    // General.
    if (std::optional<double> rate = Number(Freq); rate && *rate > 0 && *rate <= 768000)
        s.SaveSetting("nFreq", static_cast<int32_t>(RoundHalfEven(*rate)));
    if (std::optional<double> step = Number(SampleStep))
        s.SaveSetting(
            "SampleStep", Clamp32(RoundHalfEven(std::clamp(*step, -1e9, 1e9)), 10, 48000));
    // The folder the program works in now stays for this run: the undo snapshots and
    // working files of the open project live there. The new folder is used from the next
    // start.
    if (std::string path(Trim(SoundPath));
        !path.empty() && FolderExists(path) && WithTrailingSlash(path) != logic_.Proj().DataFolder)
        s.SaveSetting("DataPath", WithTrailingSlash(path));
    if (std::optional<double> margin = Number(LevelMargin)) {
        o.LevelMargin = -static_cast<int32_t>(
            std::min<int64_t>(std::llround(std::min(std::fabs(*margin), 1e6)), 1000000));
        s.SaveSetting("LevelMargin", o.LevelMargin);
    }
    if (std::optional<int64_t> days = ParseInteger(Trim(DelPrjDate)); days && *days >= 0)
        s.SaveSetting("DelPrjDate", std::to_string(*days));
    DelPrjDate = s.GetSetting("DelPrjDate", "0");
    o.DelOnEnd = DelOnEnd ? 1 : 0;
    s.SaveSetting("DelOnEnd", o.DelOnEnd);
    o.UseAdjustClock = AdjustClock ? 1 : 0;
    s.SaveSetting("UseAdjustClock", o.UseAdjustClock);
    s.SaveSetting("FadeTableType", std::clamp(FadeTableType, 0, 1));
    o.MixerApp = std::string(Trim(MixerApp));
    s.SaveSetting("MixerApp", o.MixerApp);

    // Details.
    if (std::optional<double> size = Number(SizeRate); size && *size > 0 && *size < 100) {
        o.SizeRate = FormatTenth(*size);
        s.SaveSetting("SizeRate", o.SizeRate);
    }
    if (std::optional<double> trim = Number(VULevelTrim); trim && std::fabs(*trim) < 1000) {
        o.VULevelTrim = -static_cast<float>(std::fabs(*trim));
        s.SaveSetting("VULevelTrim", o.VULevelTrim);
    }
    o.WaveColor = WaveColor & 0xFFFFFF;
    o.WaveColorLocked = WaveColorLocked & 0xFFFFFF;
    s.SaveSetting("WaveColor", o.WaveColor);
    s.SaveSetting("WaveColorLocked", o.WaveColorLocked);
    for (int i = 0; i < kDisplayOptionCount; ++i)
        *DisplayOption(o, i) = DisplayOptions[static_cast<size_t>(i)] ? 1 : 0;
    s.SaveSetting("HideMark", o.HideMark);

    // Devices.
    for (int32_t slot = 0; slot < OutputSlotCount(); ++slot) {
        o.DevOutID[static_cast<size_t>(slot)] = OutputChoice[static_cast<size_t>(slot)];
        s.SaveSetting(
            "DevOutID_" + std::to_string(slot + 1), o.DevOutID[static_cast<size_t>(slot)]);
    }
    for (int32_t slot = 0; slot < InputSlotCount(); ++slot) {
        o.DevInID[static_cast<size_t>(slot)] = InputChoice[static_cast<size_t>(slot)];
        s.SaveSetting("DevInID_" + std::to_string(slot + 1), o.DevInID[static_cast<size_t>(slot)]);
    }
    if (std::optional<double> trim = Number(PlayTrim)) {
        o.PlayTrimDB = ClampTrim(*trim);
        s.SaveSetting("PlayTrimDB", o.PlayTrimDB);
    }
    if (std::optional<double> trim = Number(RecTrim)) {
        o.RecTrimDB = ClampTrim(*trim);
        s.SaveSetting("RecTrimDB", o.RecTrimDB);
    }

    // Keyboard and toolbar.
    if (KeyTabsPrepared) {
        ApplyAssignmentRows(
            assignment_, s, std::vector<std::string>(KeyRows.begin(), KeyRows.end()), ToolbarRows);
        o.ShowToolBar = ShowToolBar ? 1 : 0;
        s.SaveSetting("ShowToolBar", o.ShowToolBar);
    }
}

} // namespace tarvok
