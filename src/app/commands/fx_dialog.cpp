#include "app/commands/fx_dialog.h"

#include "app/commands/apply_effect.h"
#include "app/shell/main_logic.h"
#include "base/i18n.h"
#include "base/numeric.h"
#include "base/text.h"
#include "core/file_io.h"
#include "core/settings.h"
#include "core/time_text.h"
#include "core/user_interface.h"
#include "fx/c_fx.h"

#include <algorithm>
#include <cmath>

namespace tarvok {

namespace {

constexpr double kMinRatio = 0.4;
constexpr double kMaxRatio = 2.2;

/// The saved quality choice: "FXParm_FX_PITCH_SHIFT_Quality" (0 the effect's own algorithm,
/// 1 the high-quality engine).
std::string QualitySettingName(const FxInfo& pInfo)
{
    return "FXParm_" + std::string(pInfo.Command) + "_Quality";
}

} // namespace

FxDialogModel::FxDialogModel(
    int32_t pId, Settings& pStore, int64_t pSelectionFrames, int32_t pSampleRate, int32_t pRmsP3)
    : info_(FindEffect(pId))
    , store_(pStore)
    , selectionFrames_(std::max<int64_t>(pSelectionFrames, 0))
    , rate_(pSampleRate > 0 ? pSampleRate : 44100)
    , rmsP3_(pRmsP3)
{
    if (!info_)
        info_ = FindEffect(kFirstEffect);
    for (int32_t i = 0; i < static_cast<int32_t>(info_->Faders.size()); ++i) {
        const FxFader& f = info_->Faders[static_cast<size_t>(i)];
        const int32_t saved = store_.GetSetting(FaderSettingName(*info_, i), f.Default);
        values_.push_back(std::clamp(saved, f.Min, f.Max));
    }
    for (int32_t i = 0; i < static_cast<int32_t>(info_->Checks.size()); ++i)
        checks_.push_back(store_.GetSetting(CheckSettingName(*info_, i), int32_t { 0 }) != 0);
    if (info_->Box == FxBox::Frequency)
        box_ = store_.GetSetting(FrequencySettingName(*info_), "1000");
    if (HasQualityChoice())
        highQuality_ = store_.GetSetting(QualitySettingName(*info_), int32_t { 0 }) != 0;
    if (info_->Box == FxBox::Length)
        ShowLengthFromFaders();
    previewSec_ = std::clamp<int32_t>(store_.GetSetting("FXPreviewSec", int32_t { 10 }), 5, 20);
}

int32_t FxDialogModel::Value(int32_t pFader) const
{
    if (pFader < 0 || pFader >= FaderCount())
        return 0;
    return values_[static_cast<size_t>(pFader)];
}

std::string FxDialogModel::ValueText(int32_t pFader) const
{
    if (pFader < 0 || pFader >= FaderCount())
        return {};
    return FaderText(info_->Faders[static_cast<size_t>(pFader)].Display, Value(pFader));
}

void FxDialogModel::SetValue(int32_t pFader, int32_t pValue)
{
    if (pFader < 0 || pFader >= FaderCount())
        return;
    const FxFader& f = info_->Faders[static_cast<size_t>(pFader)];
    values_[static_cast<size_t>(pFader)] = std::clamp(pValue, f.Min, f.Max);
    if (info_->Extras.LinkedFaders && Check(0))
        values_[static_cast<size_t>(1 - pFader)] = values_[static_cast<size_t>(pFader)];
    if (info_->Box == FxBox::Length)
        ShowLengthFromFaders();
    ++revision_;
}

void FxDialogModel::ResetBand(int32_t pFader)
{
    if (info_->Extras.BandReset && pFader >= 0 && pFader < FaderCount() - 1)
        SetValue(pFader, 0);
}

bool FxDialogModel::Check(int32_t pCheck) const
{
    return pCheck >= 0 && pCheck < CheckCount() && checks_[static_cast<size_t>(pCheck)];
}

void FxDialogModel::SetCheck(int32_t pCheck, bool pOn)
{
    if (pCheck < 0 || pCheck >= CheckCount())
        return;
    checks_[static_cast<size_t>(pCheck)] = pOn;
    // Choices that exclude each other, as normalise's RMS and loudness (LUFS) measuring.
    if (info_->Extras.ExclusiveChecks && pOn)
        checks_[static_cast<size_t>(1 - pCheck)] = false;
    ++revision_;
}

bool FxDialogModel::HasQualityChoice() const { return info_->Extras.QualityChoice; }

void FxDialogModel::SetHighQuality(bool pOn)
{
    if (!HasQualityChoice())
        return;
    highQuality_ = pOn;
    ++revision_;
}

void FxDialogModel::SetBoxText(std::string pText)
{
    box_ = std::move(pText);
    boxTyped_ = true;
    ++revision_;
}

int64_t FxDialogModel::SelectionMs() const { return FramesToMs(selectionFrames_, rate_); }

double FxDialogModel::Percent() const { return Value(0) + Value(1) / 100.0 + Value(2) / 10000.0; }

void FxDialogModel::ShowLengthFromFaders()
{
    const double ms = 100.0 / Percent() * static_cast<double>(SelectionMs());
    box_ = TimeText(
        static_cast<int32_t>(std::clamp<int64_t>(RoundHalfEven(ms), 0, INT32_MAX)), 0, false);
    boxTyped_ = false;
}

void FxDialogModel::SetFadersFromPercent(double pPercent)
{
    // Whole percent on the first fader, the rest in hundredths and ten-thousandths, which
    // may be negative so that 48.99 % and 201.01 % can be set.
    const auto whole = static_cast<int32_t>(std::clamp<int64_t>(RoundHalfEven(pPercent), 50, 200));
    const double rest = pPercent - whole;
    const auto fine1 = static_cast<int32_t>(std::clamp(std::trunc(rest * 100.0), -100.0, 100.0));
    const auto fine2 = static_cast<int32_t>(
        std::clamp<int64_t>(RoundHalfEven((rest * 100.0 - fine1) * 100.0), -100, 100));
    values_[0] = whole;
    values_[1] = fine1;
    values_[2] = fine2;
}

int64_t FxDialogModel::BoxLengthMs() const
{
    std::string_view text = Trim(box_);
    if (text.empty())
        return -1;
    if (text.back() == '%') {
        std::optional<double> percent = ParseNumber(Trim(text.substr(0, text.size() - 1)));
        if (!percent || *percent <= 0)
            return -1;
        return RoundHalfEven(static_cast<double>(SelectionMs()) * 100.0 / *percent);
    }
    int sign = 0;
    if (text.front() == '+' || text.front() == '-') {
        sign = text.front() == '+' ? 1 : -1;
        text.remove_prefix(1);
    }
    ParsedTime t = ParseTimeText(text, true);
    if (!t.Ok || t.Ms < 0)
        return -1;
    const int64_t ms = sign == 0 ? t.Ms : SelectionMs() + sign * static_cast<int64_t>(t.Ms);
    return ms > 0 ? ms : -1;
}

bool FxDialogModel::BoxEnter()
{
    if (info_->Box != FxBox::Length || !boxTyped_)
        return true;
    const int64_t ms = BoxLengthMs();
    if (ms <= 0)
        return false;
    // A typed percentage sets the faders as typed; a time through the ratio it gives.
    std::string_view text = Trim(box_);
    std::optional<double> typed;
    if (!text.empty() && text.back() == '%')
        typed = ParseNumber(Trim(text.substr(0, text.size() - 1)));
    const double percent
        = typed ? *typed : 100.0 * static_cast<double>(SelectionMs()) / static_cast<double>(ms);
    if (percent >= 48.99 && percent <= 201.01)
        SetFadersFromPercent(percent);
    box_ = TimeText(static_cast<int32_t>(std::min<int64_t>(ms, INT32_MAX)), 0, false);
    boxTyped_ = false;
    ++revision_;
    return false;
}

bool FxDialogModel::Commit(C_FX& pFx, UserInterface& pUi)
{
    switch (info_->Extras.Parms) {
    case FxParms::LengthRatio: {
        const int64_t ms = BoxLengthMs();
        const double ratio
            = ms > 0 ? static_cast<double>(SelectionMs()) / static_cast<double>(ms) : 0.0;
        if (ratio < kMinRatio || ratio > kMaxRatio) {
            pUi.ShowError(Tr(kFxOutOfRange));
            return false;
        }
        pFx.SetFXParm(0, ratio);
        pFx.SetFXParm(1, 0);
        pFx.SetFXParm(2, 0);
        break;
    }
    case FxParms::GraphicEq:
        if (pFx.EQBands() != 15)
            pFx.SetEQasGEQ();
        for (int32_t b = 0; b < 15; ++b)
            pFx.SetEQParm(b, Value(b), -9999, -9999);
        pFx.SetFXParm(0, Value(15));
        break;
    case FxParms::ParametricEq:
        pFx.SetEQBands(3);
        for (int32_t b = 0; b < 3; ++b)
            pFx.SetEQParm(b, Value(b * 3 + 2), FaderNumber(FaderDisplay::Frequency, Value(b * 3)),
                FaderNumber(FaderDisplay::Q, Value(b * 3 + 1)));
        pFx.SetFXParm(0, Value(9));
        break;
    case FxParms::SineWave: {
        std::optional<double> hz = ParseNumber(Trim(box_));
        if (!hz || *hz < 20 || *hz > 20000) {
            pUi.ShowError(Tr(kFxFrequencyRange));
            return false;
        }
        pFx.SetFXParm(0, Value(0));
        pFx.SetFXParm(1, *hz);
        break;
    }
    case FxParms::Normalize: {
        // A loudness target is in LUFS as shown; RMSP3 shifts only RMS readings.
        const bool loudness = Check(1);
        pFx.SetFXParm(0, Check(0) && !loudness ? Value(0) - 3.0 * rmsP3_ : Value(0));
        pFx.SetFXParm(1, loudness ? kNormalizeLoudness : Check(0) ? kNormalizeRms : kNormalizePeak);
        break;
    }
    case FxParms::ChannelMask:
        pFx.SetFXParm(0, (Check(0) ? 1 : 0) + (Check(1) ? 2 : 0));
        break;
    case FxParms::Faders:
        // The effect receives the number its value panel shows: the frequency in Hz for a
        // frequency fader (low pass and high pass), else the fader's integer.
        for (int32_t i = 0; i < FaderCount(); ++i)
            pFx.SetFXParm(i, FaderNumber(info_->Faders[static_cast<size_t>(i)].Display, Value(i)));
        break;
    }
    pFx.SetHighQuality(HasQualityChoice() && highQuality_ && pFx.TimePitch() != nullptr);
    pFx.FXCanceled = 0;
    return true;
}

bool FxDialogModel::SaveValues(C_FX& pFx, UserInterface& pUi)
{
    if (!Commit(pFx, pUi))
        return false;
    for (int32_t i = 0; i < FaderCount(); ++i)
        store_.SaveSetting(FaderSettingName(*info_, i), Value(i));
    for (int32_t i = 0; i < CheckCount(); ++i)
        store_.SaveSetting(CheckSettingName(*info_, i), Check(i) ? int32_t { 1 } : int32_t { 0 });
    if (info_->Box == FxBox::Frequency)
        store_.SaveSetting(FrequencySettingName(*info_), std::string_view(Trim(box_)));
    if (HasQualityChoice())
        store_.SaveSetting(
            QualitySettingName(*info_), highQuality_ ? int32_t { 1 } : int32_t { 0 });
    return true;
}

void FxDialogModel::SetPreviewSec(int32_t pSeconds)
{
    previewSec_ = std::clamp(pSeconds, 5, 20);
    message_ = TrArgs("試聴秒数 %1秒", previewSec_);
    ++revision_;
}

void FxDialogModel::SavePreviewSec() { store_.SaveSetting("FXPreviewSec", previewSec_); }

void FxDialogModel::SetPreviewFrom(int64_t pFrames)
{
    // The slider moves in steps of a tenth of a second.
    const int64_t step = std::max<int64_t>(rate_ / 10, 1);
    previewFrom_ = std::max<int64_t>(pFrames, 0) / step * step;
    message_ = Tr("試聴位置 ")
        + TimeText(
            static_cast<int32_t>(std::min<int64_t>(FramesToMs(previewFrom_, rate_), INT32_MAX)), 0,
            false);
    ++revision_;
}

std::array<int32_t, 2> PreviewMeterLevels(const int16_t* pSamples, int32_t pFrames, bool pRms)
{
    std::array<int32_t, 2> levels { 0, 0 };
    if (!pSamples || pFrames <= 0)
        return levels;
    for (size_t c = 0; c < 2; ++c) {
        double sum = 0.0;
        int32_t peak = 0;
        for (int32_t i = 0; i < pFrames; ++i) {
            const int32_t s = pSamples[static_cast<size_t>(i) * 2 + c];
            peak = std::max(peak, std::abs(s));
            sum += static_cast<double>(s) * s;
        }
        levels[c] = pRms ? static_cast<int32_t>(
                        std::min<int64_t>(RoundHalfEven(std::sqrt(sum / pFrames)), 32767))
                         : std::min(peak, 32767);
    }
    return levels;
}

FxPreview::FxPreview(MainLogic& pLogic)
    : logic_(pLogic)
{
}

FxPreview::~FxPreview() { Discard(); }

void FxPreview::Discard()
{
    if (!file_.empty())
        DeleteFileForce(file_);
    file_.clear();
}

int64_t FxPreview::PartFrames() const
{
    const Project& p = logic_.Proj();
    if (p.SelectedBlock < 0 || p.SelectedBlock >= p.BlockCount())
        return 1;
    const Block& b = p.Blocks[static_cast<size_t>(p.SelectedBlock)];
    const int64_t start = std::max(b.StartAdr, p.MarkIn);
    const int64_t end = std::min<int64_t>(static_cast<int64_t>(b.EndAdr) + 1, p.MarkOut);
    return std::max<int64_t>(end - start, 1);
}

bool FxPreview::Stale(const FxDialogModel& pModel) const
{
    return file_.empty() || revision_ != pModel.Revision();
}

bool FxPreview::Render(FxDialogModel& pModel, C_FX& pFx)
{
    UserInterface& ui = logic_.Ui();
    if (!pFx.TimePitch())
        pFx.SetTimePitchEngine(logic_.TimePitch());
    if (!pModel.Commit(pFx, ui))
        return false;
    Discard();
    pModel.SetMessage(Tr("ファイル作成中…"));
    const Project& p = logic_.Proj();
    bool ok = false;
    if (p.SelectedBlock >= 0 && p.SelectedBlock < p.BlockCount()) {
        const Block& b = p.Blocks[static_cast<size_t>(p.SelectedBlock)];
        const int64_t partStart = std::max(b.StartAdr, p.MarkIn);
        const int64_t from = static_cast<int64_t>(b.SrcStart) - 1 + (partStart - b.StartAdr)
            + std::min(pModel.PreviewFrom(), PartFrames() - 1);
        const int64_t to = std::min<int64_t>(
            from + static_cast<int64_t>(pModel.PreviewSec()) * p.SampleRate, b.SrcEnd);
        const std::string name = logic_.Folder().NewTempName(1);
        if (!name.empty() && b.WaveNo >= 0 && b.WaveNo < p.WaveFileCount()) {
            const std::string& source = p.WaveFiles[static_cast<size_t>(b.WaveNo)].FileName;
            // Normalise is heard with the gain the command will give this block's part: its
            // level is measured over the whole part, as the command measures it.
            ok = true;
            if (pModel.Info().Id == kCmdFxNorm) {
                const int64_t partFrom
                    = static_cast<int64_t>(b.SrcStart) - 1 + (partStart - b.StartAdr);
                std::string note;
                const std::optional<double> gain
                    = NormalizeGain(logic_, source, partFrom, partFrom + PartFrames(),
                        pFx.FXParm(0), static_cast<int32_t>(RoundHalfEven(pFx.FXParm(1))), note);
                ok = gain.has_value();
                if (gain) {
                    pFx.SetFXParm(0, *gain);
                    pFx.SetFXParm(1, *gain);
                }
            }
            if (ok)
                ok = pFx.Proc(pModel.Info().Id, source, name, from, to, true, Tr("試聴"))
                         .has_value();
            if (ok)
                file_ = name;
            else
                DeleteFileForce(name);
        }
    }
    revision_ = pModel.Revision();
    pModel.SetMessage(ok ? Tr("作成完了") : Tr("作成失敗"));
    ui.ShowMessage(Tr("完了"));

    return ok;
}

} // namespace tarvok
