#include "app/windows/settings_window.h"

#include "app/shell/main_logic.h"
#include "base/i18n.h"
#include "base/numeric.h"
#include "base/text.h"
#include "core/file_io.h"
#include "core/paths.h"
#include "core/project.h"
#include "core/wave_info.h"
#include "engine/latency_calibration.h"

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

/// The entry a device slot shows: its remembered device where the list (of pListed
/// devices) has that name, else an extra entry naming the missing device; a slot kept by
/// its number alone shows that number, the first device when it is not listed.
int32_t SlotChoice(const WaveDeviceRef& pRef, int32_t pId, int32_t pListed,
    std::vector<std::string>& pNames, std::vector<WaveDeviceRef>& pMissing)
{
    if (pRef.Empty())
        return pId >= 0 && pId < pListed ? pId : 0;
    if (pId >= 0 && pId < pListed && pNames[static_cast<size_t>(pId)] == pRef.Name)
        return pId;
    for (int32_t i = 0; i < pListed; ++i)
        if (pNames[static_cast<size_t>(i)] == pRef.Name)
            return i;
    for (size_t k = 0; k < pMissing.size(); ++k)
        if (pMissing[k] == pRef)
            return pListed + static_cast<int32_t>(k);
    pMissing.push_back(pRef);
    pNames.push_back(TrArgs("%1（見つかりません）", DeviceDisplayName(pRef)));
    return static_cast<int32_t>(pNames.size()) - 1;
}

/// OK on a device slot: a listed device by its ID, remembered again by name at the next
/// binding unless it is the one already remembered; a missing one stays remembered, unused.
void ApplySlotChoice(int32_t pChoice, int32_t pListed, const std::vector<std::string>& pNames,
    const std::vector<WaveDeviceRef>& pMissing, WaveDeviceRef& pRef, int32_t& pId)
{
    if (pChoice >= pListed) {
        pRef = pMissing[static_cast<size_t>(pChoice - pListed)];
        pId = -1;
        return;
    }
    pId = pChoice;
    if (pNames[static_cast<size_t>(pChoice)] != pRef.Name)
        pRef = {};
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
    Language = o.Language == "ja" ? 1 : o.Language == "en" ? 2 : 0;
    VULevelTrim = FormatNumber(o.VULevelTrim);
    WaveColor = o.WaveColor;
    WaveColorLocked = o.WaveColorLocked;
    AppOptions copy = o;
    for (int i = 0; i < kDisplayOptionCount; ++i)
        DisplayOptions[static_cast<size_t>(i)] = *DisplayOption(copy, i) != 0;

    outputListed_ = static_cast<int32_t>(outputDevices_.size());
    inputListed_ = static_cast<int32_t>(inputDevices_.size());
    for (size_t slot = 0; slot < kMaxDeviceSlots; ++slot) {
        OutputChoice[slot] = SlotChoice(
            o.DevOutRef[slot], o.DevOutID[slot], outputListed_, outputDevices_, outputMissing_);
        InputChoice[slot] = SlotChoice(
            o.DevInRef[slot], o.DevInID[slot], inputListed_, inputDevices_, inputMissing_);
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

const std::vector<std::string>& SettingsWindowModel::LanguageItems()
{
    static const std::vector<std::string> kItems { N_("自動（ロケールに従う）"),
        DATA_TEXT("日本語"), "English" };
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
    o.Language = Language == 1 ? "ja" : Language == 2 ? "en" : "auto";
    s.SaveSetting("Language", o.Language);
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
        const size_t n = static_cast<size_t>(slot);
        ApplySlotChoice(OutputChoice[n], outputListed_, outputDevices_, outputMissing_,
            o.DevOutRef[n], o.DevOutID[n]);
        s.SaveSetting("DevOutID_" + std::to_string(slot + 1), o.DevOutID[n]);
        s.SaveSetting("DevOutName_" + std::to_string(slot + 1), DeviceRefText(o.DevOutRef[n]));
    }
    for (int32_t slot = 0; slot < InputSlotCount(); ++slot) {
        const size_t n = static_cast<size_t>(slot);
        ApplySlotChoice(InputChoice[n], inputListed_, inputDevices_, inputMissing_, o.DevInRef[n],
            o.DevInID[n]);
        s.SaveSetting("DevInID_" + std::to_string(slot + 1), o.DevInID[n]);
        s.SaveSetting("DevInName_" + std::to_string(slot + 1), DeviceRefText(o.DevInRef[n]));
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

std::string SettingsWindowModel::MeasureLatency(
    WaveOutService& pOut, WaveInService& pIn, EngineClock& pClock)
{
    if (logic_.Recording || logic_.Playing)
        return Tr("再生中・録音中は往復遅延を測定できません");
    const int32_t out = OutputChoice[0];
    const int32_t in = InputChoice[0];
    if (out < 0 || out >= static_cast<int32_t>(outputDevices_.size()) || in < 0
        || in >= static_cast<int32_t>(inputDevices_.size()))
        return Tr("測定するデバイスがありません");
    RoundTripRequest request;
    request.OutputId = out;
    request.InputId = in;
    const Result<RoundTripResult> measured
        = MeasureRoundTrip(pOut, pIn, request, pClock, logic_.Ui());
    if (!measured)
        return measured.error().Message;
    const std::string& outName = outputDevices_[static_cast<size_t>(out)];
    const std::string& inName = inputDevices_[static_cast<size_t>(in)];
    if (!StoreLatencyOffsetUs(logic_.Store(), outName, inName,
            FramesToUs(measured->OffsetFrames, measured->SampleRate)))
        return Tr("往復遅延の補正値を保存できません");
    char ms[32];
    std::snprintf(ms, sizeof ms, "%.2f", measured->OffsetMs());
    return TrArgs("%1: %2 サンプル (%3 ms)、%4 → %5", Tr(kLatencyMeasuredText),
        measured->OffsetFrames, ms, outName, inName);
}

} // namespace tarvok
