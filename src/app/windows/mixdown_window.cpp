#include "app/windows/mixdown_window.h"

#include "app/shell/main_logic.h"
#include "base/file_name.h"
#include "base/i18n.h"
#include "base/numeric.h"
#include "base/text.h"
#include "core/project.h"
#include "core/project_file.h"
#include "core/wave_info.h"
#include "render/loudness.h"
#include "render/mp3_encoder.h"
#include "render/output_format.h"

#include <algorithm>

namespace tarvok {

MixdownWindowModel::MixdownWindowModel(
    MainLogic& pLogic, Mp3Encoder* pEncoder, AudioFileEncoder* pFileEncoder)
    : logic_(pLogic)
    , encoder_(pEncoder)
    , fileEncoder_(pFileEncoder)
    , request_(LoadMixdownRequest(pLogic.Store(), pLogic.Proj()))
{
    const std::string& last = pLogic.Proj().LastSoundFile;
    if (!last.empty()) {
        const WaveInfo info = ReadWaveInfo(last);
        if (info.Valid != 0) {
            soundFileInfo_ = "Freq=" + std::to_string(info.SampleRate)
                + " Mode=" + std::string(FormatName(info.FormatMode));
            request_.TargetFile = last;
        }
    }
    ReloadBitRates();
    if (request_.Encode && !bitRates_.empty())
        request_.TargetFile = WithOutputExtension(request_.TargetFile, OutputKind::Mp3);
}

const std::vector<std::string>& MixdownWindowModel::SourceTrackItems()
{
    static const std::vector<std::string> kItems { N_("全トラック"), N_("選択トラック"),
        N_("再生トラック") };
    return kItems;
}

const std::vector<std::string>& MixdownWindowModel::SourceRangeItems()
{
    static const std::vector<std::string> kItems { N_("全範囲"), N_("選択範囲"),
        N_("ゼロ位置から") };
    return kItems;
}

const std::vector<std::string>& MixdownWindowModel::TargetCaptions()
{
    static const std::vector<std::string> kItems { N_("ファイル"), N_("トラック"), N_("CD作成") };
    return kItems;
}

std::vector<std::string> MixdownWindowModel::RateItems()
{
    std::vector<std::string> items;
    items.reserve(kRateList.size());
    for (int32_t rate : kRateList)
        items.push_back(std::to_string(rate));
    return items;
}

std::vector<std::string> MixdownWindowModel::FormatItems()
{
    std::vector<std::string> items;
    for (int32_t mode = 0; mode <= 5; ++mode)
        items.emplace_back(FormatName(mode));
    return items;
}

std::vector<std::string> MixdownWindowModel::TargetTrackItems() const
{
    std::vector<std::string> items;
    for (int32_t t = 0; t <= logic_.Proj().LastTrackNo; ++t)
        items.push_back("Track " + std::to_string(t + 1));
    return items;
}

MixdownWindowModel::Enabling MixdownWindowModel::Enabled() const
{
    Enabling e;
    const int32_t mode = request_.TargetMode;
    e.TrackList = mode == kMixTargetTrack;
    e.Format = mode == kMixTargetFile || mode == kMixTargetCd;
    e.Rate = e.Format;
    e.Path = mode == kMixTargetFile;
    e.Encode = mode == kMixTargetFile && (request_.WaveMode == 2 || request_.WaveMode == 3)
        && !bitRates_.empty();
    e.BitRate = e.Encode && request_.Encode;
    e.NormalizeLevel = request_.Normalize;
    e.Rms = request_.Normalize;
    e.Loudness = logic_.Loudness() != nullptr;
    e.LoudnessLevel = e.Loudness && request_.Loudness;
    e.MeasureLoudness = e.Loudness && !request_.Loudness;
    return e;
}

std::string MixdownWindowModel::ProjectInfo() const
{
    return "Prj=" + std::to_string(logic_.Proj().SampleRate);
}

std::string MixdownWindowModel::SoundFileInfo() const { return soundFileInfo_; }

OutputKind MixdownWindowModel::PathKind() const
{
    return request_.Encode && Enabled().Encode ? OutputKind::Mp3 : OutputKind::Wav;
}

std::string MixdownWindowModel::PathExtension() const
{
    return std::string(OutputFormatOf(PathKind()).Extension);
}

void MixdownWindowModel::SetSourceTracks(int32_t pIndex)
{
    request_.SourceTracks = std::clamp(pIndex, 0, 2);
}

void MixdownWindowModel::SetSourceRange(int32_t pIndex)
{
    request_.SourceRange = std::clamp(pIndex, 0, 2);
}

void MixdownWindowModel::SetTargetMode(int32_t pMode)
{
    request_.TargetMode = std::clamp(pMode, kMixTargetFile, kMixTargetCd);
}

void MixdownWindowModel::SetTargetTrack(int32_t pIndex)
{
    request_.TargetTrack = std::clamp(pIndex, 0, logic_.Proj().LastTrackNo);
}

void MixdownWindowModel::SetFreq(const std::string& pText)
{
    request_.Freq = pText;
    ReloadBitRates();
}

void MixdownWindowModel::SetWaveMode(int32_t pMode)
{
    request_.WaveMode = std::clamp(pMode, 0, 5);
    ReloadBitRates();
}

void MixdownWindowModel::SetEncode(bool pOn)
{
    request_.Encode = pOn;
    request_.TargetFile = WithOutputExtension(request_.TargetFile, PathKind());
}

void MixdownWindowModel::SetBitRate(const std::string& pText) { request_.BitRate = pText; }
void MixdownWindowModel::SetNormalize(bool pOn)
{
    request_.Normalize = pOn;
    if (pOn)
        request_.Loudness = false;
}
void MixdownWindowModel::SetLoudness(bool pOn)
{
    request_.Loudness = pOn;
    if (pOn)
        request_.Normalize = false;
}
void MixdownWindowModel::SetLoudnessLevel(const std::string& pText)
{
    request_.LoudnessLevel = pText;
}
void MixdownWindowModel::SetMeasureLoudness(bool pOn) { request_.MeasureLoudness = pOn; }
void MixdownWindowModel::SetUseRms(bool pOn) { request_.UseRMS = pOn; }
void MixdownWindowModel::SetNormalizeLevel(const std::string& pText)
{
    request_.NormalizeLevel = pText;
}
void MixdownWindowModel::SetLoop(const std::string& pText) { request_.Loop = pText; }
void MixdownWindowModel::SetSuStart(const std::string& pText) { request_.SuStart = pText; }
void MixdownWindowModel::SetSuEnd(const std::string& pText) { request_.SuEnd = pText; }
void MixdownWindowModel::SetTargetFile(const std::string& pPath) { request_.TargetFile = pPath; }

void MixdownWindowModel::SaveValues() { SaveMixdownValues(logic_.Store(), request_); }

MixdownResult MixdownWindowModel::Run(const Progress& pProgress)
{
    // The target's extension chooses FLAC or Opus, as on the command line; a target with
    // another extension is a WAV or MP3 file as the window's boxes say.
    MixdownRequest request = request_;
    if (request.TargetMode == kMixTargetFile)
        request.Codec = CodecOfPath(Trim(request.TargetFile));
    MixdownResult result = RunMixdown(logic_, request, encoder_, pProgress, fileEncoder_);
    if (const std::string warning = ClipWarning(result); !warning.empty())
        logic_.Ui().MessageBox(warning, MsgButtons::Ok, MsgIcon::Warning);
    return result;
}

std::string MixdownWindowModel::ClipWarning(const MixdownResult& pResult)
{
    if (pResult.Outcome != MixdownOutcome::Finished || pResult.Cancelled || !pResult.Loudness
        || !(pResult.Loudness->TruePeak > 0.0))
        return {};
    return TrArgs("ミックスのトゥルーピークが0 "
                  "dBTPを超えています。再生や変換で音が割れることがあります。\n%1",
        LoudnessText(*pResult.Loudness));
}

bool MixdownWindowModel::ClosesAfter(const MixdownResult& pResult)
{
    if (pResult.Outcome == MixdownOutcome::Invalid || pResult.Outcome == MixdownOutcome::Declined)
        return false;
    if (pResult.Outcome == MixdownOutcome::Failed
        && (pResult.Message.empty() || pResult.Code == ErrorCode::NotFound))
        return false;
    return true;
}

void MixdownWindowModel::ReloadBitRates()
{
    std::optional<double> rate = ParseNumber(Trim(request_.Freq));
    const int32_t previous = ParseInt32(Trim(request_.BitRate))
                                 .value_or(logic_.Store().GetSetting("BitRate", int16_t { 192 }));
    bitRates_.clear();
    if (rate && *rate >= 1000 && *rate <= 768000)
        bitRates_ = LoadBitRateList(
            encoder_, static_cast<int32_t>(RoundHalfEven(*rate)), request_.WaveMode);
    const int32_t chosen = ChooseBitRate(bitRates_, previous);
    if (chosen > 0)
        request_.BitRate = std::to_string(chosen);
}

} // namespace tarvok
