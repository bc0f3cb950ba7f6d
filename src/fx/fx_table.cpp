#include "fx/fx_table.h"

#include "base/numeric.h"
#include "fx/channel_effects.h"
#include "fx/dynamics_effects.h"
#include "fx/filter_effects.h"
#include "fx/modulation_effects.h"
#include "fx/pitch_time_effects.h"

#include <cmath>
#include <cstdio>

namespace tarvok {

namespace {

using D = FaderDisplay;

FxFader F(std::string pLabel, int32_t pMin, int32_t pMax, int32_t pDefault,
    FaderDisplay pDisplay = D::Integer)
{
    return FxFader { std::move(pLabel), pMin, pMax, pDefault, pDisplay };
}

std::vector<FxFader> GraphicEqFaders()
{
    std::vector<FxFader> faders;
    for (double hz : GraphicEqFrequencies())
        faders.push_back(F(BandLabel(hz), -15, 15, 0));
    faders.push_back(F("レベル", -15, 15, 0));
    return faders;
}

std::vector<FxFader> ParametricEqFaders()
{
    std::vector<FxFader> faders;
    for (int band = 0; band < 3; ++band) {
        faders.push_back(F("周波数", 260, 860, 560, D::Frequency));
        faders.push_back(F("Q", 50, 200, 200, D::Q));
        faders.push_back(F("ゲイン", -15, 15, 0));
    }
    faders.push_back(F("レベル", -15, 15, 0));
    return faders;
}

/// One row of the table being written: the command's number, names, kernel and faders, with
/// what sets the rest.
class Row {
public:
    Row(int32_t pId, std::string_view pCommand, std::string_view pLabel, FxFactory pMake,
        std::vector<FxFader> pFaders)
    {
        info_.Id = pId;
        info_.Command = pCommand;
        info_.Label = pLabel;
        info_.Make = pMake;
        info_.Faders = std::move(pFaders);
    }
    Row& NoDialog()
    {
        info_.HasDialog = false;
        return *this;
    }
    Row& Checks(std::vector<std::string_view> pChecks)
    {
        info_.Checks = std::move(pChecks);
        return *this;
    }
    Row& Box(FxBox pBox)
    {
        info_.Box = pBox;
        return *this;
    }
    Row& Parms(FxParms pParms)
    {
        info_.Extras.Parms = pParms;
        return *this;
    }
    Row& QualityChoice()
    {
        info_.Extras.QualityChoice = true;
        return *this;
    }
    Row& LinkedFaders()
    {
        info_.Extras.LinkedFaders = true;
        return *this;
    }
    Row& ExclusiveChecks()
    {
        info_.Extras.ExclusiveChecks = true;
        return *this;
    }
    Row& BandReset()
    {
        info_.Extras.BandReset = true;
        return *this;
    }
    Row& Tail()
    {
        info_.Tail = true;
        return *this;
    }
    /// Time stretch and speed change: the length box and the ratio it gives.
    Row& LengthRatio()
    {
        info_.Box = FxBox::Length;
        info_.Extras.Parms = FxParms::LengthRatio;
        info_.ChangesLength = true;
        return *this;
    }
    operator FxInfo() const { return info_; }

private:
    FxInfo info_;
};

std::vector<FxInfo> BuildEffects()
{
    const std::vector<FxFader> modulation = { F("レート", 1, 100, 20), F("デプス", 10, 100, 50),
        F("ステレオ", 0, 100, 0), F("レベル", 0, 100, 100) };
    const std::vector<FxFader> timeFaders
        = { F("速さ", 50, 200, 100), F("微調整1", -100, 100, 0), F("微調整2", -100, 100, 0) };
    const std::vector<FxFader> filterFaders = { F("帯域", 260, 860, 560, D::Frequency),
        F("レベル", 0, 400, 100), F("原音", 0, 100, 0) };
    // In command order: FindEffect indexes by the number.
    std::vector<FxInfo> t = {
        Row(kCmdFxDelay, "FX_DELAY", "ディレイ", MakeDelayKernel,
            { F("遅延", 1, 500, 100), F("レベル", 0, 100, 50), F("原音", 0, 100, 100) })
            .Tail(),
        Row(kCmdFxStdelay, "FX_STDELAY", "ステレオディレイ", MakeStereoDelayKernel,
            { F("L遅延", 1, 500, 100), F("R遅延", 1, 500, 80), F("レベル", 0, 100, 50),
                F("原音", 0, 100, 100) })
            .Tail(),
        Row(kCmdFxEcho, "FX_ECHO", "エコー", MakeEchoKernel,
            { F("遅延", 1, 2000, 100), F("レベル", 1, 100, 50) })
            .Tail(),
        Row(kCmdFxReverb, "FX_REVERB", "リバーブ", MakeReverbKernel,
            { F("遅延", 1, 100, 50), F("Hiカット", 0, 100, 50), F("Lowカット", 0, 100, 50),
                F("凄さ", 12, 64, 32), F("ステレオ", 0, 100, 50), F("レベル", 0, 100, 30),
                F("原音", 0, 100, 50) })
            .Tail(),
        Row(kCmdFxFlanger, "FX_FLANGER", "フランジャー", MakeFlangerKernel, modulation),
        Row(kCmdFxPhaser, "FX_PHASER", "フェイザー", MakePhaserKernel,
            { F("レート", 1, 100, 50), F("デプス", 1, 100, 50), F("ステレオ", 0, 100, 0),
                F("レベル", 0, 100, 100) }),
        Row(kCmdFxChorus, "FX_CHORUS", "コーラス", MakeChorusKernel,
            { F("レート", 1, 100, 50), F("デプス", 10, 100, 50), F("ステレオ", 0, 100, 0),
                F("レベル", 0, 100, 100) }),
        Row(kCmdFxAutopan, "FX_AUTOPAN", "オートパン", MakeAutopanKernel,
            { F("レート", 1, 100, 10), F("デプス", 10, 100, 100) }),
        Row(kCmdFxTremolo, "FX_TREMOLO", "トレモロ", MakeTremoloKernel,
            { F("レート", 1, 40, 20), F("デプス", 10, 100, 30) }),
        Row(kCmdFxVibrato, "FX_VIBRATO", "ビブラート", MakeVibratoKernel,
            { F("レート", 1, 100, 50), F("デプス", 10, 100, 50) }),
        Row(kCmdFxOctave, "FX_OCTAVE", "オクターブ", MakeOctaveKernel,
            { F("原音", 0, 200, 100), F("-1oct", 0, 200, 100), F("-2oct", 0, 200, 0) }),
        Row(kCmdFxPitchShift, "FX_PITCH_SHIFT", "ピッチシフト", MakePitchShiftKernel,
            { F("ピッチ", -24, 24, 0), F("微調整", -100, 100, 0), F("レベル", 0, 200, 100),
                F("原音", 0, 200, 0) })
            .QualityChoice(),
        Row(kCmdFxTimeStretch, "FX_TIME_STRETCH", "タイムストレッチ", MakeTimeStretchKernel,
            timeFaders)
            .LengthRatio()
            .QualityChoice(),
        Row(kCmdFxSpeedChg, "FX_SPEED_CHG", "スピードチェンジ", MakeSpeedChangeKernel, timeFaders)
            .LengthRatio(),
        Row(kCmdFxDistortion, "FX_DISTORTION", "ディストーション", MakeDistortionKernel,
            { F("ゲイン", 1, 100, 50), F("レベル", 1, 100, 50) }),
        Row(kCmdFxOverdrive, "FX_OVERDRIVE", "オーバードライブ", MakeOverdriveKernel,
            { F("ゲイン", 1, 100, 50), F("トーン", 1, 100, 50), F("レベル", 0, 100, 50) }),
        Row(kCmdFxLimiter, "FX_LIMITER", "リミッター", MakeLimiterKernel,
            { F("閾値", 1, 100, 50), F("リリースT", 1, 500, 200), F("レシオ", 0, 100, 0),
                F("レベル", -15, 15, 0) }),
        Row(kCmdFxCompressor, "FX_COMPRESSOR", "コンプレッサー", MakeCompressorKernel,
            { F("閾値", 1, 100, 50), F("リリースT", 1, 500, 200), F("アタック", 0, 300, 100),
                F("サスティン", 0, 300, 100), F("レベル", -15, 15, 0) }),
        Row(kCmdFctFxMaximize, "FCT_FX_MAXIMIZE", "マキシマイズ", MakeMaximizeKernel,
            { F("圧", 0, 20, 4), F("アタックT", 1, 400, 10), F("リリースT", 1, 400, 50),
                F("最大値", -30, 0, 0) }),
        Row(kCmdFxGate, "FX_GATE", "ゲート", MakeGateKernel,
            { F("閾値", 1, 100, 10), F("トリガー", 1, 3000, 1000), F("タイム", 1, 2000, 200) }),
        Row(kCmdFxEnhancer, "FX_ENHANCER", "エンハンサー", MakeEnhancerKernel,
            { F("レベル", 0, 100, 50), F("原音", 0, 200, 100) }),
        Row(kCmdFxBandPass, "FX_BAND_PASS", "バンドパスフィルター", MakeBandPassKernel,
            { F("帯域", 1, 100, 50), F("レベル", 0, 200, 100), F("原音", 0, 200, 100) }),
        Row(kCmdFxHcFilter, "FX_HC_FILTER", "ローパスフィルター", MakeLowPassKernel, filterFaders),
        Row(kCmdFxLcFilter, "FX_LC_FILTER", "ハイパスフィルター", MakeHighPassKernel, filterFaders),
        Row(kCmdFxGeq, "FX_GEQ", "グラフィックEQ", MakeEqualiserKernel, GraphicEqFaders())
            .Parms(FxParms::GraphicEq)
            .BandReset(),
        Row(kCmdFxPeq, "FX_PEQ", "パラメトリックEQ", MakeEqualiserKernel, ParametricEqFaders())
            .Parms(FxParms::ParametricEq),
        Row(kCmdFxRvs, "FX_RVS", "逆回転", nullptr, {}).NoDialog(),
        Row(kCmdFxSign, "FX_SIGN", "サイン波", MakeSineKernel, { F("レベル", -60, 0, 0) })
            .Box(FxBox::Frequency)
            .Parms(FxParms::SineWave),
        Row(kCmdFxNorm, "FX_NORM", "ノーマライズ", MakeGainKernel, { F("ピーク", -60, 0, 0) })
            .Checks({ "RMS", "LUFS" })
            .Parms(FxParms::Normalize)
            .ExclusiveChecks(),
        Row(kCmdFxAmplify, "FX_AMPLIFY", "アンプリファイ", MakeGainKernel,
            { F("L", -50, 20, 0), F("R", -50, 20, 0) })
            .Checks({ "Link" })
            .LinkedFaders(),
        Row(kCmdFxPhaseOut, "FX_PHASE_OUT", "位相反転", MakePhaseInvertKernel, {})
            .Checks({ "Lch", "Rch" })
            .Parms(FxParms::ChannelMask),
        Row(kCmdFxMixLr, "FX_MIX_LR", "LRミックス", MakeMixLrKernel, { F("レベル", 0, 100, 100) }),
        Row(kCmdFxExchangeLr, "FX_EXCHANGE_LR", "LR置換", MakeExchangeLrKernel, {}).NoDialog(),
        Row(kCmdFxLtor, "FX_LTOR", "LをRに", MakeLeftToRightKernel, {}).NoDialog(),
        Row(kCmdFxRtol, "FX_RTOL", "RをLに", MakeRightToLeftKernel, {}).NoDialog(),
        Row(kCmdFxStEnhance, "FX_ST_ENHANCE", "ステレオエンハンス", MakeStereoEnhanceKernel,
            { F("レベル", 0, 300, 150) }),
        Row(kCmdFxKaraoke, "FX_KARAOKE", "センター除去", MakeCentreRemovalKernel, {}).NoDialog(),
        Row(kCmdFxVocal, "FX_VOCAL", "センター抽出", MakeCentreExtractionKernel, {}).NoDialog(),
    };
    return t;
}

} // namespace

const std::vector<double>& GraphicEqFrequencies()
{
    static const std::vector<double> bands
        = { 25, 40, 63, 100, 160, 250, 400, 630, 1000, 1600, 2500, 4000, 6300, 10000, 16000 };
    return bands;
}

const std::vector<FxInfo>& AllEffects()
{
    static const std::vector<FxInfo> table = BuildEffects();
    return table;
}

const FxInfo* FindEffect(int32_t pId)
{
    const std::vector<FxInfo>& table = AllEffects();
    if (pId < kFirstEffect || pId - kFirstEffect >= static_cast<int32_t>(table.size()))
        return nullptr;
    const FxInfo& info = table[static_cast<size_t>(pId - kFirstEffect)];
    return info.Id == pId ? &info : nullptr;
}

int32_t FaderFrequency(int32_t pValue)
{
    auto f = static_cast<int32_t>(RoundHalfEven(std::pow(10.0, pValue / 200.0)));
    if (f > 1000)
        return f / 100 * 100;
    if (f > 100)
        return f / 10 * 10;
    return f;
}

double FaderNumber(FaderDisplay pDisplay, int32_t pValue)
{
    switch (pDisplay) {
    case FaderDisplay::Frequency:
        return FaderFrequency(pValue);
    case FaderDisplay::Q: {
        // The panel shows tenths, rounded half away from zero as the "0.0" pattern does.
        const int32_t tenths = pValue >= 0 ? (pValue + 5) / 10 : -((-pValue + 5) / 10);
        return tenths / 10.0;
    }
    case FaderDisplay::Integer:
        break;
    }
    return pValue;
}

std::string FaderText(FaderDisplay pDisplay, int32_t pValue)
{
    switch (pDisplay) {
    case FaderDisplay::Frequency:
        return std::to_string(FaderFrequency(pValue));
    case FaderDisplay::Q: {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f", FaderNumber(pDisplay, pValue));
        return text;
    }
    case FaderDisplay::Integer:
        break;
    }
    return std::to_string(pValue);
}

std::string BandLabel(double pHz)
{
    if (pHz < 1000)
        return std::to_string(static_cast<int64_t>(RoundHalfEven(pHz)));
    const double khz = pHz / 1000.0;
    if (khz == std::floor(khz))
        return std::to_string(static_cast<int64_t>(khz)) + "k";
    char text[32];
    std::snprintf(text, sizeof text, "%.1fk", khz);
    return text;
}

namespace {

std::string TwoDigits(int32_t pNumber)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d", pNumber);
    return text;
}

} // namespace

std::string FaderSettingName(const FxInfo& pInfo, int32_t pFader)
{
    return "FXParm_" + std::string(pInfo.Command) + "-" + TwoDigits(pFader + 1);
}

std::string CheckSettingName(const FxInfo& pInfo, int32_t pCheck)
{
    return "FXParm_" + std::string(pInfo.Command) + "_Check-" + TwoDigits(pCheck + 1);
}

std::string FrequencySettingName(const FxInfo& pInfo)
{
    return "FXParm_" + std::string(pInfo.Command) + "-02";
}

bool HasTail(int32_t pId)
{
    const FxInfo* info = FindEffect(pId);
    return info && info->Tail;
}

bool ChangesLength(int32_t pId)
{
    const FxInfo* info = FindEffect(pId);
    return info && info->ChangesLength;
}

} // namespace tarvok
