#include "fx/fx_table.h"

#include "base/i18n.h"
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
    faders.push_back(F(N_("レベル"), -15, 15, 0));
    return faders;
}

std::vector<FxFader> ParametricEqFaders()
{
    std::vector<FxFader> faders;
    for (int band = 0; band < 3; ++band) {
        faders.push_back(F(N_("周波数"), 260, 860, 560, D::Frequency));
        faders.push_back(F("Q", 50, 200, 200, D::Q));
        faders.push_back(F(N_("ゲイン"), -15, 15, 0));
    }
    faders.push_back(F(N_("レベル"), -15, 15, 0));
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
    const std::vector<FxFader> modulation = { F(N_("レート"), 1, 100, 20),
        F(N_("デプス"), 10, 100, 50), F(N_("ステレオ"), 0, 100, 0), F(N_("レベル"), 0, 100, 100) };
    const std::vector<FxFader> timeFaders = { F(N_("速さ"), 50, 200, 100),
        F(N_("微調整1"), -100, 100, 0), F(N_("微調整2"), -100, 100, 0) };
    const std::vector<FxFader> filterFaders = { F(N_("帯域"), 260, 860, 560, D::Frequency),
        F(N_("レベル"), 0, 400, 100), F(N_("原音"), 0, 100, 0) };
    // In command order: FindEffect indexes by the number.
    std::vector<FxInfo> t = {
        Row(kCmdFxDelay, "FX_DELAY", N_("ディレイ"), MakeDelayKernel,
            { F(N_("遅延"), 1, 500, 100), F(N_("レベル"), 0, 100, 50), F(N_("原音"), 0, 100, 100) })
            .Tail(),
        Row(kCmdFxStdelay, "FX_STDELAY", N_("ステレオディレイ"), MakeStereoDelayKernel,
            { F(N_("L遅延"), 1, 500, 100), F(N_("R遅延"), 1, 500, 80), F(N_("レベル"), 0, 100, 50),
                F(N_("原音"), 0, 100, 100) })
            .Tail(),
        Row(kCmdFxEcho, "FX_ECHO", N_("エコー"), MakeEchoKernel,
            { F(N_("遅延"), 1, 2000, 100), F(N_("レベル"), 1, 100, 50) })
            .Tail(),
        Row(kCmdFxReverb, "FX_REVERB", N_("リバーブ"), MakeReverbKernel,
            { F(N_("遅延"), 1, 100, 50), F(N_("Hiカット"), 0, 100, 50),
                F(N_("Lowカット"), 0, 100, 50), F(N_("凄さ"), 12, 64, 32),
                F(N_("ステレオ"), 0, 100, 50), F(N_("レベル"), 0, 100, 30),
                F(N_("原音"), 0, 100, 50) })
            .Tail(),
        Row(kCmdFxFlanger, "FX_FLANGER", N_("フランジャー"), MakeFlangerKernel, modulation),
        Row(kCmdFxPhaser, "FX_PHASER", N_("フェイザー"), MakePhaserKernel,
            { F(N_("レート"), 1, 100, 50), F(N_("デプス"), 1, 100, 50),
                F(N_("ステレオ"), 0, 100, 0), F(N_("レベル"), 0, 100, 100) }),
        Row(kCmdFxChorus, "FX_CHORUS", N_("コーラス"), MakeChorusKernel,
            { F(N_("レート"), 1, 100, 50), F(N_("デプス"), 10, 100, 50),
                F(N_("ステレオ"), 0, 100, 0), F(N_("レベル"), 0, 100, 100) }),
        Row(kCmdFxAutopan, "FX_AUTOPAN", N_("オートパン"), MakeAutopanKernel,
            { F(N_("レート"), 1, 100, 10), F(N_("デプス"), 10, 100, 100) }),
        Row(kCmdFxTremolo, "FX_TREMOLO", N_("トレモロ"), MakeTremoloKernel,
            { F(N_("レート"), 1, 40, 20), F(N_("デプス"), 10, 100, 30) }),
        Row(kCmdFxVibrato, "FX_VIBRATO", N_("ビブラート"), MakeVibratoKernel,
            { F(N_("レート"), 1, 100, 50), F(N_("デプス"), 10, 100, 50) }),
        Row(kCmdFxOctave, "FX_OCTAVE", N_("オクターブ"), MakeOctaveKernel,
            { F(N_("原音"), 0, 200, 100), F("-1oct", 0, 200, 100), F("-2oct", 0, 200, 0) }),
        Row(kCmdFxPitchShift, "FX_PITCH_SHIFT", N_("ピッチシフト"), MakePitchShiftKernel,
            { F(N_("ピッチ"), -24, 24, 0), F(N_("微調整"), -100, 100, 0),
                F(N_("レベル"), 0, 200, 100), F(N_("原音"), 0, 200, 0) })
            .QualityChoice(),
        Row(kCmdFxTimeStretch, "FX_TIME_STRETCH", N_("タイムストレッチ"), MakeTimeStretchKernel,
            timeFaders)
            .LengthRatio()
            .QualityChoice(),
        Row(kCmdFxSpeedChg, "FX_SPEED_CHG", N_("スピードチェンジ"), MakeSpeedChangeKernel,
            timeFaders)
            .LengthRatio(),
        Row(kCmdFxDistortion, "FX_DISTORTION", N_("ディストーション"), MakeDistortionKernel,
            { F(N_("ゲイン"), 1, 100, 50), F(N_("レベル"), 1, 100, 50) }),
        Row(kCmdFxOverdrive, "FX_OVERDRIVE", N_("オーバードライブ"), MakeOverdriveKernel,
            { F(N_("ゲイン"), 1, 100, 50), F(N_("トーン"), 1, 100, 50),
                F(N_("レベル"), 0, 100, 50) }),
        Row(kCmdFxLimiter, "FX_LIMITER", N_("リミッター"), MakeLimiterKernel,
            { F(N_("閾値"), 1, 100, 50), F(N_("リリースT"), 1, 500, 200),
                F(N_("レシオ"), 0, 100, 0), F(N_("レベル"), -15, 15, 0) }),
        Row(kCmdFxCompressor, "FX_COMPRESSOR", N_("コンプレッサー"), MakeCompressorKernel,
            { F(N_("閾値"), 1, 100, 50), F(N_("リリースT"), 1, 500, 200),
                F(N_("アタック"), 0, 300, 100), F(N_("サスティン"), 0, 300, 100),
                F(N_("レベル"), -15, 15, 0) }),
        Row(kCmdFctFxMaximize, "FCT_FX_MAXIMIZE", N_("マキシマイズ"), MakeMaximizeKernel,
            { F(N_("圧"), 0, 20, 4), F(N_("アタックT"), 1, 400, 10), F(N_("リリースT"), 1, 400, 50),
                F(N_("最大値"), -30, 0, 0) }),
        Row(kCmdFxGate, "FX_GATE", N_("ゲート"), MakeGateKernel,
            { F(N_("閾値"), 1, 100, 10), F(N_("トリガー"), 1, 3000, 1000),
                F(N_("タイム"), 1, 2000, 200) }),
        Row(kCmdFxEnhancer, "FX_ENHANCER", N_("エンハンサー"), MakeEnhancerKernel,
            { F(N_("レベル"), 0, 100, 50), F(N_("原音"), 0, 200, 100) }),
        Row(kCmdFxBandPass, "FX_BAND_PASS", N_("バンドパスフィルター"), MakeBandPassKernel,
            { F(N_("帯域"), 1, 100, 50), F(N_("レベル"), 0, 200, 100),
                F(N_("原音"), 0, 200, 100) }),
        Row(kCmdFxHcFilter, "FX_HC_FILTER", N_("ローパスフィルター"), MakeLowPassKernel,
            filterFaders),
        Row(kCmdFxLcFilter, "FX_LC_FILTER", N_("ハイパスフィルター"), MakeHighPassKernel,
            filterFaders),
        Row(kCmdFxGeq, "FX_GEQ", N_("グラフィックEQ"), MakeEqualiserKernel, GraphicEqFaders())
            .Parms(FxParms::GraphicEq)
            .BandReset(),
        Row(kCmdFxPeq, "FX_PEQ", N_("パラメトリックEQ"), MakeEqualiserKernel, ParametricEqFaders())
            .Parms(FxParms::ParametricEq),
        Row(kCmdFxRvs, "FX_RVS", N_("逆回転"), nullptr, {}).NoDialog(),
        Row(kCmdFxSign, "FX_SIGN", N_("サイン波"), MakeSineKernel, { F(N_("レベル"), -60, 0, 0) })
            .Box(FxBox::Frequency)
            .Parms(FxParms::SineWave),
        Row(kCmdFxNorm, "FX_NORM", N_("ノーマライズ"), MakeGainKernel,
            { F(N_("ピーク"), -60, 0, 0) })
            .Checks({ "RMS", "LUFS" })
            .Parms(FxParms::Normalize)
            .ExclusiveChecks(),
        Row(kCmdFxAmplify, "FX_AMPLIFY", N_("アンプリファイ"), MakeGainKernel,
            { F("L", -50, 20, 0), F("R", -50, 20, 0) })
            .Checks({ "Link" })
            .LinkedFaders(),
        Row(kCmdFxPhaseOut, "FX_PHASE_OUT", N_("位相反転"), MakePhaseInvertKernel, {})
            .Checks({ "Lch", "Rch" })
            .Parms(FxParms::ChannelMask),
        Row(kCmdFxMixLr, "FX_MIX_LR", N_("LRミックス"), MakeMixLrKernel,
            { F(N_("レベル"), 0, 100, 100) }),
        Row(kCmdFxExchangeLr, "FX_EXCHANGE_LR", N_("LR置換"), MakeExchangeLrKernel, {}).NoDialog(),
        Row(kCmdFxLtor, "FX_LTOR", N_("LをRに"), MakeLeftToRightKernel, {}).NoDialog(),
        Row(kCmdFxRtol, "FX_RTOL", N_("RをLに"), MakeRightToLeftKernel, {}).NoDialog(),
        Row(kCmdFxStEnhance, "FX_ST_ENHANCE", N_("ステレオエンハンス"), MakeStereoEnhanceKernel,
            { F(N_("レベル"), 0, 300, 150) }),
        Row(kCmdFxKaraoke, "FX_KARAOKE", N_("センター除去"), MakeCentreRemovalKernel, {})
            .NoDialog(),
        Row(kCmdFxVocal, "FX_VOCAL", N_("センター抽出"), MakeCentreExtractionKernel, {}).NoDialog(),
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
