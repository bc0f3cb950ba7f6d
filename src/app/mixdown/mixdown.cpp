#include "app/mixdown/mixdown.h"

#include "app/shell/main_logic.h"
#include "base/file_name.h"
#include "base/i18n.h"
#include "base/numeric.h"
#include "base/text.h"
#include "cd/cd_folder.h"
#include "core/data_folder.h"
#include "core/envelope.h"
#include "core/file_io.h"
#include "core/load_file_to_track.h"
#include "core/paths.h"
#include "core/project.h"
#include "core/project_file.h"
#include "core/settings.h"
#include "core/wave_info.h"
#include "edit/range_edit.h"
#include "render/conv_wave.h"
#include "render/mp3_encoder.h"
#include "render/output_format.h"
#include "render/render_tracks.h"
#include "render/target_file.h"

#include <algorithm>
#include <cstdio>
#include <sys/statvfs.h>
#include <unistd.h>

namespace tarvok {

namespace {

constexpr const char* kMsgBitRate = N_("ビットレートを選択してください");
constexpr const char* kMsgCdEncode = N_("エンコードしたファイルでCD作成はできません");
constexpr const char* kMsgCdFormat = N_("CD作成のwav形式が違います");
constexpr const char* kMsgFileName = N_("ファイル名を入力してください");
constexpr const char* kMsgNormNumber = N_("ノーマライズレベルは数字を入力してください");
constexpr const char* kMsgNormRange = N_("ノーマライズレベルは0以下の数字を入力してください");
constexpr const char* kMsgLoopNumber = N_("ループは数字を入力してください");
constexpr const char* kMsgLoopRange = N_("ループは1以上を入力してください");
constexpr const char* kMsgSilence = N_("前後空白は数字を入力してください");
constexpr const char* kMsgRate = N_("周波数は数字を入力してください");
constexpr const char* kMsgOverwriteProject
    = N_("構成ファイルに上書きすると作業が続行できません。上書きしますか？");
constexpr const char* kMsgOverwrite = N_("このファイルはすでに存在します。上書きしますか？");
constexpr const char* kMsgCannotOverwrite = N_("上書きできません");
constexpr const char* kMsgNoCdFolder = N_("CD作成フォルダが検出できません");
constexpr const char* kMsgNoSpace = N_("空き容量が足りません");
constexpr const char* kMsgCannotDelete = N_("転送先ファイルを削除できません");
constexpr const char* kMsgEncodeFailed = N_("エンコードに失敗しました");
constexpr const char* kMsgTooLarge = N_("作成データは4GBまでです");
constexpr const char* kMsgRenderFailed = N_("wavファイル作成に失敗しました");
constexpr const char* kLabel = N_("wavファイル作成");
constexpr const char* kMsgLoudnessRange = N_("ラウドネスは-70～0のLUFS値を入力してください");
constexpr const char* kMsgLoudnessAndNormalize = N_("ノーマライズとラウドネスは同時に選べません");
constexpr const char* kLoudnessLimited = N_("（トゥルーピーク制限）");

struct OutputFormat {
    int32_t Rate = 0;
    int32_t Bits = 16;
    int32_t Channels = 2;
};

std::optional<OutputFormat> FormatOf(const MixdownRequest& pRequest)
{
    std::optional<double> rate = ParseNumber(Trim(pRequest.Freq));
    std::optional<SampleFormat> format = FormatBitsChannels(pRequest.WaveMode);
    if (!rate || !format || pRequest.WaveMode < 0 || pRequest.WaveMode > 5)
        return std::nullopt;
    const int64_t hz = RoundHalfEven(*rate);
    if (hz < 1000 || hz > 768000)
        return std::nullopt;
    return OutputFormat { static_cast<int32_t>(hz), format->Bits, format->Channels };
}

bool IsNumber(const std::string& pText) { return ParseNumber(Trim(pText)).has_value(); }

double NumberOr(const std::string& pText, double pDefault)
{
    return ParseNumber(Trim(pText)).value_or(pDefault);
}

std::string Percent2(double pFraction)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02lld%%",
        static_cast<long long>(RoundHalfEven(std::clamp(pFraction, 0.0, 1.0) * 100.0)));
    return text;
}

std::string PercentText1(double pFraction)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", pFraction * 100.0);
    return text;
}

// The target path of a file mixdown: the text, or with encoding its folder and name with
// the encoded type's extension (".mp3", ".flac", ".opus").
std::string FileTargetPath(
    const MixdownRequest& pRequest, bool pEncode, std::optional<AudioCodec> pCodec = {})
{
    std::string path(Trim(pRequest.TargetFile));
    if (!pEncode && !pCodec)
        return path;
    const OutputKind kind = !pCodec   ? OutputKind::Mp3
        : *pCodec == AudioCodec::Flac ? OutputKind::Flac
                                      : OutputKind::Opus;
    return WithOutputExtension(path, kind);
}

// The message of a failed step: a full disk is named as such, anything else gets the
// step's own message.
std::string FailureMessage(const Error& pError, const char* pGeneric)
{
    return pError.Code == ErrorCode::DiskFull ? pError.Message : std::string(pGeneric);
}

int64_t FreeBytes(const std::string& pFolder)
{
    struct statvfs info { };
    if (::statvfs(pFolder.empty() ? "." : pFolder.c_str(), &info) != 0)
        return -1;
    return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

// Adds pFrames frames of silence at the end of a 16-bit stereo render file's data.
Status AppendSilenceFrames(const std::string& pFile, int64_t pFrames)
{
    if (pFrames <= 0)
        return {};
    const WaveInfo info = ReadWaveInfo(pFile);
    if (info.Valid == 0)
        return Fail(Tr(kMsgRenderFailed));
    return SetWaveDataSize(pFile, info.DataSize + pFrames * kFrameBytes);
}

// The conversion of the rendered file to the output format, the one place that knows the
// converter.
Status ConvertRender(MainLogic& pLogic, const std::string& pSource, const std::string& pTarget,
    const OutputFormat& pFormat, const Progress& pProgress)
{
    C_ConvWave conv(&pLogic.Ui());
    conv.SetProg(pProgress);
    if (conv.ConvWave(pSource, pTarget, pFormat.Rate, pFormat.Bits, pFormat.Channels, 1, false))
        return {};
    if (conv.Canceled)
        return CancelledError();
    return Fail(conv.FailureText, conv.FailureCode);
}

// Resets the track's envelope to the unity level over the range and removes the fade
// points of the track inside it.
void ClearTrackFade(MainLogic& pLogic, int32_t pTrack, int32_t pFrom, int32_t pTo)
{
    Project& project = pLogic.Proj();
    if (pTrack >= static_cast<int32_t>(project.Envelopes.size()) || project.EnvelopeLength <= 0)
        return;
    TrackEnvelope& envelope = project.Envelopes[static_cast<size_t>(pTrack)];
    const int64_t first = pFrom / kEnvelopeFrameSamples;
    const int64_t last = std::min<int64_t>(
        (static_cast<int64_t>(pTo) + kEnvelopeFrameSamples - 1) / kEnvelopeFrameSamples,
        std::min<int64_t>(project.EnvelopeLength, static_cast<int64_t>(envelope.size() / 2)) - 1);
    for (int64_t k = first; k <= last; ++k) {
        envelope[static_cast<size_t>(2 * k)] = static_cast<uint8_t>(project.UnityLevel);
        envelope[static_cast<size_t>(2 * k + 1)] = static_cast<uint8_t>(project.UnityLevel);
    }
    for (int32_t i = project.FadePointCount() - 1; i >= 0; --i) {
        const FadePoint& point = project.FadePoints[static_cast<size_t>(i)];
        if (point.TrackNo == pTrack && point.EnvFrame >= first && point.EnvFrame <= last)
            project.DeleteFadePoint(i);
    }
    const std::string name = pLogic.Folder().NewTempName(kTempEnvelope);
    if (!name.empty())
        SaveEnvelope(project, pTrack, name);
}

bool PlaceOnTrack(MainLogic& pLogic, int32_t pTrack, const std::string& pFile, int32_t pAt)
{
    bool cancel = false;
    return LoadFileToTrack(pLogic.Proj(), pTrack, pFile, pAt, "", pLogic.Folder(),
        pLogic.Options().WFMode, pLogic.Ui(), cancel);
}

} // namespace

std::string NextCdTrackName(const std::string& pFolder)
{
    const std::string folder = WithTrailingSlash(pFolder);
    for (int n = 1; n <= 999; ++n) {
        std::string path = folder + "track" + ZeroPad(n, 3) + ".wav";
        if (::access(path.c_str(), F_OK) != 0)
            return path;
    }
    return {};
}

MixdownRequest LoadMixdownRequest(const Settings& pSettings, const Project& pProject)
{
    MixdownRequest r;
    r.SourceTracks = std::clamp(pSettings.GetSetting("MixSrc-1", int32_t { 0 }), 0, 2);
    r.SourceRange = std::clamp(pSettings.GetSetting("MixSrc-2", int32_t { 0 }), 0, 2);
    r.TargetMode = pSettings.GetSetting("MixTargetMode", int32_t { 0 });
    if (r.TargetMode < 0 || r.TargetMode >= 3)
        r.TargetMode = kMixTargetFile;
    r.TargetTrack = std::clamp<int32_t>(
        pSettings.GetSetting("MixTargetTr", int16_t { 0 }), 0, pProject.LastTrackNo);
    r.Freq = std::to_string(pSettings.GetSetting("MixDownFreq", int32_t { 44100 }));
    r.WaveMode = std::clamp(pSettings.GetSetting("MixDownWaveMode", int32_t { 3 }), 0, 5);
    r.Encode = pSettings.GetSetting("Encode", int32_t { 0 }) == 1;
    r.BitRate = std::to_string(pSettings.GetSetting("BitRate", int16_t { 192 }));
    r.Normalize = pSettings.GetSetting("CheckNormalize", int32_t { 0 }) == 1;
    r.UseRMS = pSettings.GetSetting("CheckRMS", int32_t { 0 }) == 1;
    r.NormalizeLevel = FormatNumber(pSettings.GetSetting("NormalizeLevel", 0.0f));
    r.Loudness = pSettings.GetSetting("CheckLoudness", int32_t { 0 }) == 1;
    r.LoudnessLevel = FormatNumber(pSettings.GetSetting("LoudnessLevel", -23.0f));
    r.MeasureLoudness = pSettings.GetSetting("MixMeasureLoudness", int32_t { 1 }) == 1;
    r.Loop = std::to_string(pSettings.GetSetting("MixLoop", int32_t { 1 }));
    r.SuStart = std::to_string(pSettings.GetSetting("SuStart", int32_t { 0 }));
    r.SuEnd = std::to_string(pSettings.GetSetting("SuEnd", int32_t { 0 }));
    r.Path = pSettings.GetSetting("MixDownPath", std::string_view());
    if (r.Path.empty())
        r.Path = pProject.DataFolder;
    return r;
}

void SaveMixdownValues(Settings& pSettings, MixdownRequest& pRequest)
{
    if (IsNumber(pRequest.Loop) && NumberOr(pRequest.Loop, 1) < 1)
        pRequest.Loop = "1";
    pSettings.SaveSetting("MixSrc-1", pRequest.SourceTracks);
    pSettings.SaveSetting("MixSrc-2", pRequest.SourceRange);
    pSettings.SaveSetting("MixTargetMode", pRequest.TargetMode);
    pSettings.SaveSetting("MixTargetTr", pRequest.TargetTrack);
    if (IsNumber(pRequest.Freq))
        pSettings.SaveSetting(
            "MixDownFreq", static_cast<int32_t>(RoundHalfEven(NumberOr(pRequest.Freq, 0))));
    pSettings.SaveSetting("MixDownWaveMode", pRequest.WaveMode);
    pSettings.SaveSetting("Encode", pRequest.Encode ? 1 : 0);
    if (IsNumber(pRequest.BitRate))
        pSettings.SaveSetting(
            "BitRate", static_cast<int32_t>(RoundHalfEven(NumberOr(pRequest.BitRate, 0))));
    pSettings.SaveSetting("CheckNormalize", pRequest.Normalize ? 1 : 0);
    pSettings.SaveSetting("CheckRMS", pRequest.UseRMS ? 1 : 0);
    if (IsNumber(pRequest.NormalizeLevel))
        pSettings.SaveSetting(
            "NormalizeLevel", static_cast<float>(NumberOr(pRequest.NormalizeLevel, 0)));
    pSettings.SaveSetting("CheckLoudness", pRequest.Loudness ? 1 : 0);
    pSettings.SaveSetting("MixMeasureLoudness", pRequest.MeasureLoudness ? 1 : 0);
    if (IsNumber(pRequest.LoudnessLevel))
        pSettings.SaveSetting(
            "LoudnessLevel", static_cast<float>(NumberOr(pRequest.LoudnessLevel, -23)));
    if (IsNumber(pRequest.Loop))
        pSettings.SaveSetting(
            "MixLoop", static_cast<int32_t>(RoundHalfEven(NumberOr(pRequest.Loop, 1))));
    if (IsNumber(pRequest.SuStart))
        pSettings.SaveSetting(
            "SuStart", static_cast<int32_t>(RoundHalfEven(NumberOr(pRequest.SuStart, 0))));
    if (IsNumber(pRequest.SuEnd))
        pSettings.SaveSetting(
            "SuEnd", static_cast<int32_t>(RoundHalfEven(NumberOr(pRequest.SuEnd, 0))));
    if (!Trim(pRequest.TargetFile).empty()) {
        pRequest.Path = FolderOf(Trim(pRequest.TargetFile));
        pSettings.SaveSetting("MixDownPath", pRequest.Path);
    }
}

bool EncodeAvailable(const MixdownRequest& pRequest, Mp3Encoder* pEncoder)
{
    if (pRequest.WaveMode != 2 && pRequest.WaveMode != 3)
        return false;
    std::optional<OutputFormat> format = FormatOf(pRequest);
    return format && !LoadBitRateList(pEncoder, format->Rate, pRequest.WaveMode).empty();
}

// The finished status carries its details in one template, which also keeps its English
// apart from the bare 終了 (End) label of the sample editor.
namespace {
std::string FinishedText(std::string_view pDetails) { return TrArgs("終了%1", pDetails); }
} // namespace

std::string MixdownDoneText(const MixdownResult& pResult)
{
    std::string details;
    if (pResult.Loudness)
        details += " " + LoudnessText(*pResult.Loudness);
    if (pResult.LoudnessLimited)
        details += Tr(kLoudnessLimited);
    return FinishedText(details);
}

std::string ValidateMixdown(const MixdownRequest& pRequest, Mp3Encoder* pEncoder,
    AudioFileEncoder* pFileEncoder, LoudnessMeter* pMeter)
{
    std::string message;
    const bool toTrack = pRequest.TargetMode == kMixTargetTrack;
    std::optional<OutputFormat> format = FormatOf(pRequest);
    if (!toTrack && !format)
        message = Tr(kMsgRate);
    const std::optional<AudioCodec> codec = toTrack ? std::nullopt : pRequest.Codec;
    const bool encode
        = !toTrack && !codec && pRequest.Encode && EncodeAvailable(pRequest, pEncoder);
    if (encode && !IsNumber(pRequest.BitRate)) {
        message = Tr(kMsgBitRate);
    } else if (encode) {
        // Only a bit rate of the list may go to the encoder: another one would fail only
        // after the whole render.
        const std::vector<int32_t> offered
            = LoadBitRateList(pEncoder, format->Rate, pRequest.WaveMode);
        const auto kbps = static_cast<int32_t>(RoundHalfEven(NumberOr(pRequest.BitRate, 0)));
        if (std::find(offered.begin(), offered.end(), kbps) == offered.end()) {
            std::string list;
            for (int32_t rate : offered)
                list += (list.empty() ? "" : ", ") + std::to_string(rate);
            message
                = TrArgs("ビットレートを選択してください（%1Hzでは %2 kbps）", format->Rate, list);
        }
    }
    if (codec && pRequest.TargetMode == kMixTargetFile) {
        if (pFileEncoder == nullptr || !pFileEncoder->Available(*codec))
            message = TrArgs("%1のエンコーダがありません", CodecName(*codec));
        else if (format)
            if (std::string problem
                = CodecFormatProblem(*codec, format->Rate, format->Bits, format->Channels,
                    static_cast<int32_t>(RoundHalfEven(NumberOr(pRequest.BitRate, 0))));
                !problem.empty())
                message = problem;
    }
    if (pRequest.TargetMode == kMixTargetCd) {
        if (encode || codec)
            message = Tr(kMsgCdEncode);
        if (format && (format->Rate != 44100 || format->Bits != 16 || format->Channels != 2))
            message = Tr(kMsgCdFormat);
    }
    if (pRequest.TargetMode == kMixTargetFile && Trim(pRequest.TargetFile).empty())
        message = Tr(kMsgFileName);
    if (!IsNumber(pRequest.NormalizeLevel))
        message = Tr(kMsgNormNumber);
    else if (NumberOr(pRequest.NormalizeLevel, 0) > 0)
        message = Tr(kMsgNormRange);
    if (pRequest.Loudness) {
        const std::optional<double> lufs = ParseNumber(Trim(pRequest.LoudnessLevel));
        if (!lufs || *lufs < kMinLoudnessTarget || *lufs > kMaxLoudnessTarget)
            message = Tr(kMsgLoudnessRange);
        else if (pRequest.Normalize)
            message = Tr(kMsgLoudnessAndNormalize);
        else if (pMeter == nullptr)
            message = kMsgNoLoudnessMeter;
    }
    if (!IsNumber(pRequest.Loop))
        message = Tr(kMsgLoopNumber);
    else if (NumberOr(pRequest.Loop, 1) < 1)
        message = Tr(kMsgLoopRange);
    // Negative silences cannot be made, and are refused like text.
    if (!IsNumber(pRequest.SuStart) || !IsNumber(pRequest.SuEnd)
        || NumberOr(pRequest.SuStart, 0) < 0 || NumberOr(pRequest.SuEnd, 0) < 0)
        message = Tr(kMsgSilence);
    return message;
}

namespace {

/// One run of the mixdown window's OK. The steps share what the settings decided (format,
/// target, range, where the render file lives), so they are members of one object instead of
/// functions with a dozen parameters each. A step returns a Stop when the run ends early.
class MixdownRun {
public:
    MixdownRun(MainLogic& pLogic, const MixdownRequest& pRequest, Mp3Encoder* pEncoder,
        const Progress& pProgress, AudioFileEncoder* pFileEncoder)
        : logic_(pLogic)
        , ui_(pLogic.Ui())
        , project_(pLogic.Proj())
        , request_(pRequest)
        , encoder_(pEncoder)
        , fileEncoder_(pFileEncoder)
        , progress_(pProgress)
    {
    }

    MixdownResult Run();

private:
    struct Stop {
        MixdownOutcome Outcome = MixdownOutcome::Failed;
        std::string Message;
        bool Cancelled = false;
        ErrorCode Code = ErrorCode::Other;
    };
    static Stop CancelledStop() { return Stop { MixdownOutcome::Finished, "", true }; }
    using Step = std::optional<Stop>;

    void ReadSettings();
    Step ChooseFileTarget();
    Step ChooseCdTarget();
    void UpdateCdFolderFiles();
    bool ChooseRange();
    bool RenderFits() const;
    Step CheckSpace();
    Step RenderMix();
    Step MeasureLoudness();
    Step PlaceOnTargetTrack();
    Step ConvertFormat();
    Step EncodeOrMoveIntoPlace();
    /// The Progress of one step: pShow shows the fraction, the run's listener gets it, and
    /// the step stops when that listener says so or the user asked to cancel (the request is
    /// then cleared).
    Progress StepProgress(Progress pShow = {}) const
    {
        return Progress([this, show = std::move(pShow)](double pRate, std::string_view pText) {
            static_cast<void>(show(pRate, pText));
            const bool goOn = progress_(pRate);
            if (logic_.CancelRequest) {
                logic_.CancelRequest = false;
                return false;
            }
            return goOn;
        });
    }
    /// Ends the run before the window went busy: only a message, if any.
    MixdownResult Refuse(const Stop& pStop);
    /// Ends a busy run: idle again, then the message or "終了".
    MixdownResult Finish(const Stop& pStop);

    MainLogic& logic_;
    UserInterface& ui_;
    Project& project_;
    const MixdownRequest& request_;
    Mp3Encoder* encoder_;
    AudioFileEncoder* fileEncoder_;
    const Progress& progress_;
    MixdownResult result_;

    // What the settings decided.
    bool toTrack_ = false;
    bool toCd_ = false;
    bool encode_ = false; // MP3
    std::optional<AudioCodec> codec_; // FLAC or Opus
    bool compressed_ = false; // MP3, FLAC or Opus: made from a work file in the data folder
    bool needConv_ = false;
    OutputFormat format_;
    int32_t bitRate_ = 0;
    int64_t loops_ = 1;
    int64_t suStartMs_ = 0;
    int64_t suEndMs_ = 0;
    int32_t track_ = 0;
    float normLevel_ = kNoNormalize;

    // The target and the range.
    std::string target_;
    bool targetExisted_ = false;
    bool overwritesWorkingFile_ = false;
    int64_t from_ = 0;
    int64_t to_ = 0;
    int64_t leadFrames_ = 0;
    int64_t trailFrames_ = 0;

    // The file being made: rendered, then converted, then encoded or moved.
    bool renderInDataFolder_ = false;
    bool lowSpace_ = false;
    std::string current_;
    bool currentInDataFolder_ = false;
};

MixdownResult MixdownRun::Refuse(const Stop& pStop)
{
    result_.Outcome = pStop.Outcome;
    result_.Message = pStop.Message;
    result_.Code = pStop.Code;
    if (!pStop.Message.empty())
        ui_.ShowError(pStop.Message);
    return result_;
}

MixdownResult MixdownRun::Finish(const Stop& pStop)
{
    logic_.Busy = false;
    ui_.SetBusy(false);
    result_.Outcome = pStop.Outcome;
    result_.Message = pStop.Message;
    result_.Code = pStop.Code;
    if (pStop.Cancelled) {
        result_.Cancelled = true;
        result_.Code = ErrorCode::Cancelled;
    }
    if (!pStop.Message.empty())
        ui_.ShowError(pStop.Message);
    else
        ui_.ShowMessage(pStop.Cancelled ? FinishedText({}) : MixdownDoneText(result_));
    return result_;
}

// Turns the validated text boxes into numbers. A track target always renders in the
// project's own format, so only the other targets read the rate and wave-mode boxes.
void MixdownRun::ReadSettings()
{
    toTrack_ = request_.TargetMode == kMixTargetTrack;
    toCd_ = request_.TargetMode == kMixTargetCd;
    format_ = OutputFormat { project_.SampleRate, kBits, kChannels };
    if (!toTrack_)
        format_ = *FormatOf(request_);
    codec_ = !toTrack_ && !toCd_ ? request_.Codec : std::nullopt;
    encode_
        = !toTrack_ && !toCd_ && !codec_ && request_.Encode && EncodeAvailable(request_, encoder_);
    compressed_ = encode_ || codec_.has_value();
    bitRate_ = compressed_ ? static_cast<int32_t>(RoundHalfEven(NumberOr(request_.BitRate, 0))) : 0;
    loops_ = RoundHalfEven(NumberOr(request_.Loop, 1));
    suStartMs_ = RoundHalfEven(NumberOr(request_.SuStart, 0));
    suEndMs_ = RoundHalfEven(NumberOr(request_.SuEnd, 0));
    track_ = std::clamp(request_.TargetTrack, 0, project_.LastTrackNo);
    // With RMSP3 set the level readings carry 3 dB more, so the normalize level moves with
    // them.
    if (request_.Normalize)
        normLevel_ = static_cast<float>(
            NumberOr(request_.NormalizeLevel, 0) - 3.0 * logic_.Options().RMSP3);
    needConv_ = !toTrack_
        && (format_.Channels != kChannels || format_.Bits != kBits
            || format_.Rate != project_.SampleRate);
}

// A file target asks before it replaces anything, more sternly when the file is one the
// project plays from, and refuses early when neither the file nor its folder can be written.
MixdownRun::Step MixdownRun::ChooseFileTarget()
{
    target_ = FileTargetPath(request_, encode_, codec_);
    // A folder, pipe or device of that name is never replaced by the mix.
    if (const PathKind kind = KindOfPath(target_);
        kind == PathKind::Folder || kind == PathKind::Special)
        return Stop { MixdownOutcome::Invalid, NotARegularFileText(target_) };
    if (FileExists(target_)) {
        overwritesWorkingFile_ = project_.FindWaveFile(target_) >= 0;
        if (!ui_.AskYesNo(overwritesWorkingFile_ ? Tr(kMsgOverwriteProject) : Tr(kMsgOverwrite)))
            return Stop { MixdownOutcome::Declined, "" };
        targetExisted_ = true;
        if (::access(target_.c_str(), W_OK) != 0)
            return Stop { MixdownOutcome::Invalid, Tr(kMsgCannotOverwrite) };
    }
    const std::string folder = FolderOf(target_);
    if (::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) != 0)
        return Stop { MixdownOutcome::Invalid, Tr(kMsgCannotOverwrite) };
    return std::nullopt;
}

// A CD target is the next free "trackNNN.wav" of the CD folder: the one set by the user,
// which must exist, or the default one, made when missing.
MixdownRun::Step MixdownRun::ChooseCdTarget()
{
    std::string folder = logic_.Store().GetSetting("CDFolder", std::string_view());
    if (!folder.empty()) {
        if (!FolderExists(folder))
            return Stop { MixdownOutcome::Failed, Tr(kMsgNoCdFolder), false, ErrorCode::NotFound };
    } else {
        folder = DefaultCdFolder();
        if (!CreateFolders(folder))
            return Stop { MixdownOutcome::Failed, Tr(kMsgNoCdFolder), false, ErrorCode::NotFound };
    }
    target_ = NextCdTrackName(folder);
    if (target_.empty())
        return Stop { MixdownOutcome::Failed, Tr(kMsgNoCdFolder), false, ErrorCode::NotFound };
    return std::nullopt;
}

// The CD folder's sheet and checksum file take in the new track, titled by the project's
// name. The track is in place whatever happens here: a failure is only told.
void MixdownRun::UpdateCdFolderFiles()
{
    const std::string title
        = project_.ProjectFile.empty() ? std::string() : BaseNameOf(project_.ProjectFile);
    if (Result<void> ok = WriteCdFolderFiles(FolderOf(target_), FileNameOf(target_), title); !ok)
        ui_.ShowMessage(ok.error().Message);
}

// The source range in frames, clipped to the project; false when nothing is left of it.
bool MixdownRun::ChooseRange()
{
    from_ = 0;
    to_ = project_.ProjectLength;
    if (request_.SourceRange == 1) {
        from_ = project_.MarkIn;
        to_ = project_.MarkOut;
    } else if (request_.SourceRange == 2) {
        from_ = project_.ZeroPos;
    }
    to_ = std::min<int64_t>(to_, project_.ProjectLength);
    from_ = std::max<int64_t>(from_, 0);
    leadFrames_ = suStartMs_ * project_.SampleRate / 1000;
    trailFrames_ = suEndMs_ * project_.SampleRate / 1000;
    return to_ - from_ > 0;
}

// The whole render file, silences included, must stay a valid WAV file.
bool MixdownRun::RenderFits() const
{
    return RenderSizeAllowed(from_, to_, loops_)
        && (to_ - from_) * loops_ + leadFrames_ + trailFrames_ <= kRenderMaxBytes / kFrameBytes;
}

// Estimates the output (with 5 MB to spare, a quarter of it when encoding) against the free
// space at the target. When only the old target's room makes it fit, the work files go to
// the data folder and the old target is deleted last, just before the copy.
MixdownRun::Step MixdownRun::CheckSpace()
{
    renderInDataFolder_ = toTrack_ || compressed_ || needConv_;
    if (toTrack_)
        return std::nullopt;
    const int64_t frameBytes = static_cast<int64_t>(format_.Bits) / 8 * format_.Channels;
    double estimate
        = static_cast<double>(suStartMs_ + suEndMs_) / 1000.0 * format_.Rate * frameBytes
        + static_cast<double>(to_ - from_)
            * (static_cast<double>(format_.Rate) / project_.SampleRate)
            * static_cast<double>(frameBytes) * static_cast<double>(loops_)
        + 5000000.0;
    if (compressed_)
        estimate /= 4.0;
    const int64_t free = FreeBytes(FolderOf(target_));
    if (free >= 0 && static_cast<double>(free) < estimate && targetExisted_) {
        if (static_cast<double>(free + FileSize64(target_)) < estimate)
            return Stop { MixdownOutcome::Failed, Tr(kMsgNoSpace), false, ErrorCode::DiskFull };
        lowSpace_ = true;
        renderInDataFolder_ = true;
    }
    return std::nullopt;
}

// Mixes the chosen tracks and range into a 16-bit stereo file in the project's rate, with
// the leading and trailing silences. The file sits next to the target when nothing more is
// done to it, so that the final step is a rename on one file system.
MixdownRun::Step MixdownRun::RenderMix()
{
    const auto renderFailed = [](const Error& pError) {
        return Stop { MixdownOutcome::Failed, FailureMessage(pError, Tr(kMsgRenderFailed)), false,
            pError.Code == ErrorCode::DiskFull ? ErrorCode::DiskFull : ErrorCode::Other };
    };
    const std::string renderFile
        = renderInDataFolder_ ? logic_.Folder().NewTempName(kTempWave) : TempSiblingName(target_);
    if (renderFile.empty())
        return renderFailed(Error {});
    DeleteFileForce(renderFile);
    Status started;
    if (Result<FileHandle> header
        = StartWaveFile(project_.SampleRate, kBits, kChannels, renderFile, 0, false);
        !header)
        started = header.error();
    else
        started = AppendSilenceFrames(renderFile, leadFrames_);
    if (!started) {
        DeleteFileForce(renderFile);
        return renderFailed(started.error());
    }

    RenderRequest render;
    render.File = renderFile;
    render.From = static_cast<int32_t>(from_);
    render.To = static_cast<int32_t>(to_);
    render.Loops = static_cast<int32_t>(loops_);
    render.Mode = kRenderMix;
    render.Tracks = request_.SourceTracks == 1 ? kRenderSelectedTracks
        : request_.SourceTracks == 2           ? kRenderPlayingTracks
                                               : kRenderAllTracks;
    render.Label = Tr(kLabel);
    render.FileReady = true;
    render.NormLevel = normLevel_;
    render.UseRMS = request_.UseRMS;
    const Status rendered = RenderTracks(project_, render, ui_, StepProgress());
    if (!rendered) {
        DeleteFileForce(renderFile);
        if (IsCancelled(rendered))
            return CancelledStop();
        return renderFailed(rendered.error());
    }
    if (Status appended = AppendSilenceFrames(renderFile, trailFrames_); !appended) {
        DeleteFileForce(renderFile);
        return renderFailed(appended.error());
    }
    current_ = renderFile;
    currentInDataFolder_ = renderInDataFolder_;
    return std::nullopt;
}

// Measures the loudness of the render file when asked; with a loudness target, copies it with the
// gain that reaches the target (measuring the copy on the way) and goes on with the copy. A mix
// with no measurable loudness stops a run with a target (nothing is written) and only goes
// without a reading otherwise.
MixdownRun::Step MixdownRun::MeasureLoudness()
{
    LoudnessMeter* meter = logic_.Loudness();
    if (meter == nullptr || (!request_.Loudness && !request_.MeasureLoudness))
        return std::nullopt;
    const auto progress = [&](const char* pLabel) {
        return StepProgress([this, pLabel](double pDone, std::string_view) {
            ui_.ShowMessage(std::string(pLabel) + PercentText1(pDone));
            ui_.Yield();
            return true;
        });
    };
    const auto stopped = [&](const Error& pError) -> Step {
        DeleteFileForce(current_);
        if (pError.Code == ErrorCode::Cancelled)
            return CancelledStop();
        return Stop { MixdownOutcome::Failed, pError.Message, false, pError.Code };
    };
    Result<LoudnessReading> measured
        = MeasureWaveLoudness(*meter, current_, 0, -1, progress(Tr("ラウドネス測定中 ")));
    if (!request_.Loudness) {
        if (measured)
            result_.Loudness = *measured;
        else if (IsCancelled(measured))
            return stopped(measured.error());
        return std::nullopt;
    }
    if (!measured)
        return stopped(measured.error());
    bool limited = false;
    const double gain
        = LoudnessGain(*measured, NumberOr(request_.LoudnessLevel, kMinLoudnessTarget), limited);
    const std::string adjusted
        = currentInDataFolder_ ? logic_.Folder().NewTempName(kTempWave) : TempSiblingName(target_);
    if (adjusted.empty())
        return stopped(Error { FailureMessage(Error {}, Tr(kMsgRenderFailed)) });
    Result<LoudnessReading> after
        = CopyWithGainMeasured(*meter, current_, adjusted, gain, progress(Tr("ラウドネス調整中 ")));

    DeleteFileForce(current_);
    current_ = adjusted;
    if (!after)
        return stopped(after.error());
    result_.Loudness = *after;
    result_.LoudnessLimited = limited;
    return std::nullopt;
}

// Puts the render file on the target track in place of the range, as one undoable edit:
// the track's blocks and fades over the range go, the new block comes in at the range start.
MixdownRun::Step MixdownRun::PlaceOnTargetTrack()
{
    // StartProc refuses while busy, and runs the edit's own busy state.
    logic_.Busy = false;
    ui_.SetBusy(false);
    const Stop renderFailed { MixdownOutcome::Failed, Tr(kMsgRenderFailed) };
    const WaveInfo info = ReadWaveInfo(current_);
    if (info.Valid == 0 || !logic_.StartProc(1, 0)) {
        DeleteFileForce(current_);
        return renderFailed;
    }
    for (int32_t t = 0; t < project_.TrackCount(); ++t)
        project_.Tracks[static_cast<size_t>(t)].Selected = t == track_ ? 1 : 0;
    const int64_t markOut = std::min<int64_t>(from_ + info.Frames, kMaxLength - 1);
    project_.MarkIn = static_cast<int32_t>(from_);
    project_.MarkOut = static_cast<int32_t>(markOut);
    // Only the target track is selected now, so the range erase acts on it alone.
    EraseSelected(project_, false);
    ResizeEnvelopes(project_, project_.MarkOut, false);
    ClearTrackFade(logic_, track_, project_.MarkIn, project_.MarkOut);
    const bool placed = PlaceOnTrack(logic_, track_, current_, project_.MarkIn);
    logic_.EndProc();
    if (!placed) {
        DeleteFileForce(current_);
        return renderFailed;
    }
    return std::nullopt;
}

// Converts the render file to the chosen rate, bits and channels. The result goes to the
// data folder when it is to be encoded or when the target's disk is short of room.
MixdownRun::Step MixdownRun::ConvertFormat()
{
    const bool convInDataFolder = compressed_ || lowSpace_;
    const std::string converted
        = convInDataFolder ? logic_.Folder().NewTempName(kTempWave) : TempSiblingName(target_);
    const Status done = converted.empty() ? Status(Error {})
                                          : ConvertRender(logic_, current_, converted, format_,
                                              StepProgress([this](double pRate, std::string_view) {
                                                  logic_.ShowMessage(PercentText1(pRate));
                                                  return true;
                                              }));
    DeleteFileForce(current_);
    if (!done) {
        if (!converted.empty())
            DeleteFileForce(converted);
        if (IsCancelled(done))
            return CancelledStop();
        return Stop { MixdownOutcome::Failed, FailureMessage(done.error(), Tr(kMsgRenderFailed)) };
    }
    current_ = converted;
    currentInDataFolder_ = convInDataFolder;
    return std::nullopt;
}

// The last step writes the target: the encoder writes it from the work file, or the work
// file is renamed (or, across file systems, copied) over it. The work file goes either way.
MixdownRun::Step MixdownRun::EncodeOrMoveIntoPlace()
{
    std::string failure;
    bool encodeCancelled = false;
    ErrorCode code = ErrorCode::Other;
    if (codec_) {
        ui_.ShowMessage("Encode");
        Status done = EncodeFileInPlace(*fileEncoder_, *codec_, bitRate_, current_, target_,
            StepProgress([this](double pRate, std::string_view) {
                ui_.ShowMessage(Percent2(pRate));
                ui_.Yield();
                return true;
            }));
        encodeCancelled = IsCancelled(done);
        if (!done && !encodeCancelled) {
            failure = done.error().Message;
            code = done.error().Code;
        }
    } else if (encode_) {
        ui_.ShowMessage("Encode");
        Status done = EncFromWavfile(encoder_, current_, target_, bitRate_,
            StepProgress([this](double pRate, std::string_view) {
                ui_.ShowMessage(Percent2(pRate));
                return true;
            }),
            &ui_);
        encodeCancelled = IsCancelled(done);
        if (!done && !encodeCancelled) {
            failure = FailureMessage(done.error(), Tr(kMsgEncodeFailed));
            code = done.error().Code;
        }
    } else if (currentInDataFolder_) {
        // A rename is enough when the data folder shares the target's file system.
        bool ok = CommitFile(current_, target_) || CopyIntoPlace(current_, target_);
        if (!ok && lowSpace_ && targetExisted_) {
            // Only without the old target is there room for the new one.
            if (!DeleteFileForce(target_))
                failure = Tr(kMsgCannotDelete);
            else
                ok = CopyIntoPlace(current_, target_);
        }
        if (!ok && failure.empty())
            failure = targetExisted_ ? Tr(kMsgCannotDelete) : Tr(kMsgCannotOverwrite);
    } else if (!CommitFile(current_, target_)) {
        failure = targetExisted_ ? Tr(kMsgCannotDelete) : Tr(kMsgCannotOverwrite);
    }
    DeleteFileForce(current_);
    if (!failure.empty())
        return Stop { MixdownOutcome::Failed, failure, encodeCancelled,
            code == ErrorCode::DiskFull ? code : ErrorCode::Other };
    return Stop { MixdownOutcome::Finished, "", encodeCancelled };
}

MixdownResult MixdownRun::Run()
{
    if (!logic_.CanEdit())
        return Refuse(Stop { MixdownOutcome::Failed, "" });
    if (std::string message = ValidateMixdown(request_, encoder_, fileEncoder_, logic_.Loudness());
        !message.empty())
        return Refuse(Stop { MixdownOutcome::Invalid, message });
    ReadSettings();
    Step stop;
    if (request_.TargetMode == kMixTargetFile)
        stop = ChooseFileTarget();
    else if (toCd_)
        stop = ChooseCdTarget();
    if (stop)
        return Refuse(*stop);
    result_.Target = target_;

    ui_.SetBusy(true);
    logic_.Busy = true;
    logic_.CancelRequest = false;
    if (!ChooseRange())
        return Finish(Stop { MixdownOutcome::Finished, "" });
    if (!RenderFits()) {
        // Shown as a plain message, not as an error, and without "終了".
        logic_.Busy = false;
        ui_.SetBusy(false);
        ui_.ShowMessage(Tr(kMsgTooLarge));
        result_.Outcome = MixdownOutcome::Failed;
        result_.Message = Tr(kMsgTooLarge);
        return result_;
    }
    stop = CheckSpace();
    if (!stop)
        stop = RenderMix();
    if (!stop)
        stop = MeasureLoudness();
    if (!stop && toTrack_)
        stop = PlaceOnTargetTrack();
    if (stop || toTrack_)
        return Finish(stop.value_or(Stop { MixdownOutcome::Finished, "" }));
    if (needConv_)
        stop = ConvertFormat();
    if (!stop)
        stop = EncodeOrMoveIntoPlace();
    if (toCd_ && stop->Outcome == MixdownOutcome::Finished && !stop->Cancelled)
        UpdateCdFolderFiles();
    MixdownResult done = Finish(*stop);
    // The project's own file was replaced: the project cannot go on playing from it.
    if (done.Outcome == MixdownOutcome::Finished && overwritesWorkingFile_ && !done.Cancelled)
        logic_.CloseProject();
    return done;
}

} // namespace

MixdownResult RunMixdown(MainLogic& pLogic, const MixdownRequest& pRequest, Mp3Encoder* pEncoder,
    const Progress& pProgress, AudioFileEncoder* pFileEncoder)
{
    return MixdownRun(pLogic, pRequest, pEncoder, pProgress, pFileEncoder).Run();
}

} // namespace tarvok
