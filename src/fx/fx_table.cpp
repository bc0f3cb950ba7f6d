#include "fx/fx_table.h"

#include "base/numeric.h"

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

FxInfo E(int32_t pId, std::string_view pCommand, std::string_view pLabel, bool pDialog,
    std::vector<FxFader> pFaders, std::vector<std::string_view> pChecks = {},
    FxBox pBox = FxBox::None)
{
    return FxInfo { pId, pCommand, pLabel, pDialog, std::move(pFaders), std::move(pChecks), pBox };
}

std::vector<FxInfo> BuildEffects()
{
    const std::vector<FxFader> modulation = { F("レート", 1, 100, 20), F("デプス", 10, 100, 50),
        F("ステレオ", 0, 100, 0), F("レベル", 0, 100, 100) };
    const std::vector<FxFader> timeFaders
        = { F("速さ", 50, 200, 100), F("微調整1", -100, 100, 0), F("微調整2", -100, 100, 0) };
    const std::vector<FxFader> filterFaders = { F("帯域", 260, 860, 560, D::Frequency),
        F("レベル", 0, 400, 100), F("原音", 0, 100, 0) };
    std::vector<FxInfo> t = {
        E(106, "FX_DELAY", "ディレイ", true,
            { F("遅延", 1, 500, 100), F("レベル", 0, 100, 50), F("原音", 0, 100, 100) }),
        E(107, "FX_STDELAY", "ステレオディレイ", true,
            { F("L遅延", 1, 500, 100), F("R遅延", 1, 500, 80), F("レベル", 0, 100, 50),
                F("原音", 0, 100, 100) }),
        E(108, "FX_ECHO", "エコー", true, { F("遅延", 1, 2000, 100), F("レベル", 1, 100, 50) }),
        E(109, "FX_REVERB", "リバーブ", true,
            { F("遅延", 1, 100, 50), F("Hiカット", 0, 100, 50), F("Lowカット", 0, 100, 50),
                F("凄さ", 12, 64, 32), F("ステレオ", 0, 100, 50), F("レベル", 0, 100, 30),
                F("原音", 0, 100, 50) }),
        E(110, "FX_FLANGER", "フランジャー", true, modulation),
        E(111, "FX_PHASER", "フェイザー", true,
            { F("レート", 1, 100, 50), F("デプス", 1, 100, 50), F("ステレオ", 0, 100, 0),
                F("レベル", 0, 100, 100) }),
        E(112, "FX_CHORUS", "コーラス", true,
            { F("レート", 1, 100, 50), F("デプス", 10, 100, 50), F("ステレオ", 0, 100, 0),
                F("レベル", 0, 100, 100) }),
        E(113, "FX_AUTOPAN", "オートパン", true,
            { F("レート", 1, 100, 10), F("デプス", 10, 100, 100) }),
        E(114, "FX_TREMOLO", "トレモロ", true,
            { F("レート", 1, 40, 20), F("デプス", 10, 100, 30) }),
        E(115, "FX_VIBRATO", "ビブラート", true,
            { F("レート", 1, 100, 50), F("デプス", 10, 100, 50) }),
        E(116, "FX_OCTAVE", "オクターブ", true,
            { F("原音", 0, 200, 100), F("-1oct", 0, 200, 100), F("-2oct", 0, 200, 0) }),
        E(117, "FX_PITCH_SHIFT", "ピッチシフト", true,
            { F("ピッチ", -24, 24, 0), F("微調整", -100, 100, 0), F("レベル", 0, 200, 100),
                F("原音", 0, 200, 0) }),
        E(118, "FX_TIME_STRETCH", "タイムストレッチ", true, timeFaders, {}, FxBox::Length),
        E(119, "FX_SPEED_CHG", "スピードチェンジ", true, timeFaders, {}, FxBox::Length),
        E(120, "FX_DISTORTION", "ディストーション", true,
            { F("ゲイン", 1, 100, 50), F("レベル", 1, 100, 50) }),
        E(121, "FX_OVERDRIVE", "オーバードライブ", true,
            { F("ゲイン", 1, 100, 50), F("トーン", 1, 100, 50), F("レベル", 0, 100, 50) }),
        E(122, "FX_LIMITER", "リミッター", true,
            { F("閾値", 1, 100, 50), F("リリースT", 1, 500, 200), F("レシオ", 0, 100, 0),
                F("レベル", -15, 15, 0) }),
        E(123, "FX_COMPRESSOR", "コンプレッサー", true,
            { F("閾値", 1, 100, 50), F("リリースT", 1, 500, 200), F("アタック", 0, 300, 100),
                F("サスティン", 0, 300, 100), F("レベル", -15, 15, 0) }),
        E(124, "FCT_FX_MAXIMIZE", "マキシマイズ", true,
            { F("圧", 0, 20, 4), F("アタックT", 1, 400, 10), F("リリースT", 1, 400, 50),
                F("最大値", -30, 0, 0) }),
        E(125, "FX_GATE", "ゲート", true,
            { F("閾値", 1, 100, 10), F("トリガー", 1, 3000, 1000), F("タイム", 1, 2000, 200) }),
        E(126, "FX_ENHANCER", "エンハンサー", true,
            { F("レベル", 0, 100, 50), F("原音", 0, 200, 100) }),
        E(127, "FX_BAND_PASS", "バンドパスフィルター", true,
            { F("帯域", 1, 100, 50), F("レベル", 0, 200, 100), F("原音", 0, 200, 100) }),
        E(128, "FX_HC_FILTER", "ローパスフィルター", true, filterFaders),
        E(129, "FX_LC_FILTER", "ハイパスフィルター", true, filterFaders),
        E(130, "FX_GEQ", "グラフィックEQ", true, GraphicEqFaders()),
        E(131, "FX_PEQ", "パラメトリックEQ", true, ParametricEqFaders()),
        E(132, "FX_RVS", "逆回転", false, {}),
        E(133, "FX_SIGN", "サイン波", true, { F("レベル", -60, 0, 0) }, {}, FxBox::Frequency),
        E(134, "FX_NORM", "ノーマライズ", true, { F("ピーク", -60, 0, 0) }, { "RMS", "LUFS" }),
        E(135, "FX_AMPLIFY", "アンプリファイ", true, { F("L", -50, 20, 0), F("R", -50, 20, 0) },
            { "Link" }),
        E(136, "FX_PHASE_OUT", "位相反転", true, {}, { "Lch", "Rch" }),
        E(137, "FX_MIX_LR", "LRミックス", true, { F("レベル", 0, 100, 100) }),
        E(138, "FX_EXCHANGE_LR", "LR置換", false, {}),
        E(139, "FX_LTOR", "LをRに", false, {}),
        E(140, "FX_RTOL", "RをLに", false, {}),
        E(141, "FX_ST_ENHANCE", "ステレオエンハンス", true, { F("レベル", 0, 300, 150) }),
        E(142, "FX_KARAOKE", "センター除去", false, {}),
        E(143, "FX_VOCAL", "センター抽出", false, {}),
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
    if (pId < kFirstEffect || pId > kLastEffect)
        return nullptr;
    return &AllEffects()[static_cast<size_t>(pId - kFirstEffect)];
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

bool HasTail(int32_t pId) { return pId >= 106 && pId <= 109; }

bool ChangesLength(int32_t pId) { return pId == 118 || pId == 119; }

} // namespace tarvok
