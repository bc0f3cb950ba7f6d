#include "app/mixdown.h"

#include "app/main_logic.h"
#include "core/paths.h"
#include "core/settings.h"
#include "base/numeric.h"
#include "base/text.h"
#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/load_file_to_track.h"
#include "core/project.h"
#include "core/project_file.h"
#include "core/wave_info.h"
#include "core/envelope.h"
#include "edit/range_edit.h"
#include "render/conv_wave.h"
#include "render/mp3_encoder.h"
#include "render/render_tracks.h"
#include "render/target_file.h"

#include <algorithm>
#include <cstdio>
#include <sys/statvfs.h>
#include <unistd.h>

namespace tarvok {

namespace {

constexpr const char* kMsgBitRate = "ビットレートを選択してください";
constexpr const char* kMsgCdEncode = "エンコードしたファイルでCD作成はできません";
constexpr const char* kMsgCdFormat = "CD作成のwav形式が違います";
constexpr const char* kMsgFileName = "ファイル名を入力してください";
constexpr const char* kMsgNormNumber = "ノーマライズレベルは数字を入力してください";
constexpr const char* kMsgNormRange = "ノーマライズレベルは0以下の数字を入力してください";
constexpr const char* kMsgLoopNumber = "ループは数字を入力してください";
constexpr const char* kMsgLoopRange = "ループは1以上を入力してください";
constexpr const char* kMsgSilence = "前後空白は数字を入力してください";
constexpr const char* kMsgRate = "周波数は数字を入力してください";
constexpr const char* kMsgOverwriteProject
    = "構成ファイルに上書きすると作業が続行できません。上書きしますか？";
constexpr const char* kMsgOverwrite = "このファイルはすでに存在します。上書きしますか？";
constexpr const char* kMsgCannotOverwrite = "上書きできません";
constexpr const char* kMsgNoCdFolder = "CD作成フォルダが検出できません";
constexpr const char* kMsgNoSpace = "空き容量が足りません";
constexpr const char* kMsgCannotDelete = "転送先ファイルを削除できません";
constexpr const char* kMsgEncodeFailed = "エンコードに失敗しました";
constexpr const char* kMsgTooLarge = "作成データは4GBまでです";
constexpr const char* kMsgRenderFailed = "wavファイル作成に失敗しました";
constexpr const char* kLabel = "wavファイル作成";

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
// the extension ".mp3".
std::string FileTargetPath(const MixdownRequest& pRequest, bool pEncode)
{
    std::string path(Trim(pRequest.TargetFile));
    if (!pEncode)
        return path;
    const std::string folder = FolderOf(path);
    std::string name = path.substr(folder.size());
    if (size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0)
        name.erase(dot);
    return folder + name + ".mp3";
}

int64_t FreeBytes(const std::string& pFolder)
{
    struct statvfs info { };
    if (::statvfs(pFolder.empty() ? "." : pFolder.c_str(), &info) != 0)
        return -1;
    return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

// Adds pFrames frames of silence at the end of a 16-bit stereo render file's data.
bool AppendSilenceFrames(const std::string& pFile, int64_t pFrames)
{
    if (pFrames <= 0)
        return true;
    const WaveInfo info = ReadWaveInfo(pFile);
    if (info.Valid == 0)
        return false;
    return SetWaveDataSize(pFile, info.DataSize + pFrames * kFrameBytes);
}

// The conversion of the rendered file to the output format, the one place that knows the
// converter.
bool ConvertRender(MainLogic& pLogic, const std::string& pSource, const std::string& pTarget,
    const OutputFormat& pFormat, bool& pCancelled, const std::function<void(double)>& pProgress)
{
    C_ConvWave conv(&pLogic.Ui());
    conv.SetProg([&](double pRate, bool& pCancel) {
        pLogic.ShowMessage(PercentText1(pRate));
        if (pProgress)
            pProgress(pRate);
        if (pLogic.CancelRequest) {
            pLogic.CancelRequest = false;
            pCancelled = true;
            pCancel = true;
        }
    });
    return conv.ConvWave(pSource, pTarget, pFormat.Rate, pFormat.Bits, pFormat.Channels, 1, false);
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

std::string ValidateMixdown(const MixdownRequest& pRequest, Mp3Encoder* pEncoder)
{
    std::string message;
    const bool toTrack = pRequest.TargetMode == kMixTargetTrack;
    std::optional<OutputFormat> format = FormatOf(pRequest);
    if (!toTrack && !format)
        message = kMsgRate;
    const bool encode = !toTrack && pRequest.Encode && EncodeAvailable(pRequest, pEncoder);
    if (encode && !IsNumber(pRequest.BitRate))
        message = kMsgBitRate;
    if (pRequest.TargetMode == kMixTargetCd) {
        if (encode)
            message = kMsgCdEncode;
        if (format && (format->Rate != 44100 || format->Bits != 16 || format->Channels != 2))
            message = kMsgCdFormat;
    }
    if (pRequest.TargetMode == kMixTargetFile && Trim(pRequest.TargetFile).empty())
        message = kMsgFileName;
    if (!IsNumber(pRequest.NormalizeLevel))
        message = kMsgNormNumber;
    else if (NumberOr(pRequest.NormalizeLevel, 0) > 0)
        message = kMsgNormRange;
    if (!IsNumber(pRequest.Loop))
        message = kMsgLoopNumber;
    else if (NumberOr(pRequest.Loop, 1) < 1)
        message = kMsgLoopRange;
    // Negative silences cannot be made, and are refused like text.
    if (!IsNumber(pRequest.SuStart) || !IsNumber(pRequest.SuEnd)
        || NumberOr(pRequest.SuStart, 0) < 0 || NumberOr(pRequest.SuEnd, 0) < 0)
        message = kMsgSilence;
    return message;
}

MixdownResult RunMixdown(MainLogic& pLogic, const MixdownRequest& pRequest, Mp3Encoder* pEncoder,
    const std::function<void(double)>& pProgress)
{
    UserInterface& ui = pLogic.Ui();
    Project& project = pLogic.Proj();
    MixdownResult result;
    auto fail = [&](MixdownOutcome pOutcome, const std::string& pMessage) {
        result.Outcome = pOutcome;
        result.Message = pMessage;
        if (!pMessage.empty())
            ui.ShowError(pMessage);
        return result;
    };
    if (!pLogic.CanEdit())
        return fail(MixdownOutcome::Failed, "");

    // Steps 1 to 7: the settings.
    if (std::string message = ValidateMixdown(pRequest, pEncoder); !message.empty())
        return fail(MixdownOutcome::Invalid, message);
    const bool toTrack = pRequest.TargetMode == kMixTargetTrack;
    const bool toCd = pRequest.TargetMode == kMixTargetCd;
    OutputFormat format { project.SampleRate, kBits, kChannels };
    if (!toTrack)
        format = *FormatOf(pRequest);
    const bool encode = !toTrack && !toCd && pRequest.Encode && EncodeAvailable(pRequest, pEncoder);
    const int32_t bitRate
        = encode ? static_cast<int32_t>(RoundHalfEven(NumberOr(pRequest.BitRate, 0))) : 0;
    const int64_t loops = RoundHalfEven(NumberOr(pRequest.Loop, 1));
    const int64_t suStart = RoundHalfEven(NumberOr(pRequest.SuStart, 0));
    const int64_t suEnd = RoundHalfEven(NumberOr(pRequest.SuEnd, 0));
    const int32_t track = std::clamp(pRequest.TargetTrack, 0, project.LastTrackNo);

    // Step 8.
    float normLevel = kNoNormalize;
    if (pRequest.Normalize)
        normLevel = static_cast<float>(
            NumberOr(pRequest.NormalizeLevel, 0) - 3.0 * pLogic.Options().RMSP3);

    // Steps 9 and 10: the target.
    std::string target;
    bool targetExisted = false;
    bool overwritesWorkingFile = false;
    if (pRequest.TargetMode == kMixTargetFile) {
        target = FileTargetPath(pRequest, encode);
        if (FileExists(target)) {
            overwritesWorkingFile = project.FindWaveFile(target) >= 0;
            if (!ui.AskYesNo(overwritesWorkingFile ? kMsgOverwriteProject : kMsgOverwrite)) {
                result.Outcome = MixdownOutcome::Declined;
                return result;
            }
            targetExisted = true;
            if (::access(target.c_str(), W_OK) != 0)
                return fail(MixdownOutcome::Invalid, kMsgCannotOverwrite);
        }
        const std::string folder = FolderOf(target);
        if (::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) != 0)
            return fail(MixdownOutcome::Invalid, kMsgCannotOverwrite);
    } else if (toCd) {
        std::string folder = pLogic.Store().GetSetting("CDFolder", std::string_view());
        if (!folder.empty()) {
            if (!FolderExists(folder))
                return fail(MixdownOutcome::Failed, kMsgNoCdFolder);
        } else {
            folder = DefaultCdFolder();
            if (!CreateFolders(folder))
                return fail(MixdownOutcome::Failed, kMsgNoCdFolder);
        }
        target = NextCdTrackName(folder);
        if (target.empty())
            return fail(MixdownOutcome::Failed, kMsgNoCdFolder);
    }
    result.Target = target;

    // Step 11.
    ui.SetBusy(true);
    pLogic.Busy = true;
    pLogic.CancelRequest = false;
    auto end = [&](MixdownOutcome pOutcome, const std::string& pMessage) {
        pLogic.Busy = false;
        ui.SetBusy(false);
        result.Outcome = pOutcome;
        result.Message = pMessage;
        if (!pMessage.empty())
            ui.ShowError(pMessage);
        else
            ui.ShowMessage("終了");
        return result;
    };

    // Step 12.
    const bool needConv = !toTrack
        && (format.Channels != kChannels || format.Bits != kBits
            || format.Rate != project.SampleRate);

    // Step 13: the range.
    int64_t from = 0;
    int64_t to = project.ProjectLength;
    if (pRequest.SourceRange == 1) {
        from = project.MarkIn;
        to = project.MarkOut;
    } else if (pRequest.SourceRange == 2) {
        from = project.ZeroPos;
    }
    to = std::min<int64_t>(to, project.ProjectLength);
    from = std::max<int64_t>(from, 0);
    if (to - from <= 0)
        return end(MixdownOutcome::Finished, "");
    const int64_t leadFrames = suStart * project.SampleRate / 1000;
    const int64_t trailFrames = suEnd * project.SampleRate / 1000;
    // The whole render file, silences included, must stay a valid WAV file.
    if (!RenderSizeAllowed(from, to, loops)
        || (to - from) * loops + leadFrames + trailFrames > kRenderMaxBytes / kFrameBytes) {
        pLogic.Busy = false;
        ui.SetBusy(false);
        ui.ShowMessage(kMsgTooLarge);
        result.Outcome = MixdownOutcome::Failed;
        result.Message = kMsgTooLarge;
        return result;
    }

    // Step 14: space at the target.
    bool renderInDataFolder = toTrack || encode || needConv;
    bool lowSpace = false;
    if (!toTrack) {
        const int64_t frameBytes = static_cast<int64_t>(format.Bits) / 8 * format.Channels;
        double estimate = static_cast<double>(suStart + suEnd) / 1000.0 * format.Rate * frameBytes
            + static_cast<double>(to - from)
                * (static_cast<double>(format.Rate) / project.SampleRate)
                * static_cast<double>(frameBytes) * static_cast<double>(loops)
            + 5000000.0;
        if (encode)
            estimate /= 4.0;
        const int64_t free = FreeBytes(FolderOf(target));
        if (free >= 0 && static_cast<double>(free) < estimate && targetExisted) {
            if (static_cast<double>(free + FileSize64(target)) < estimate)
                return end(MixdownOutcome::Failed, kMsgNoSpace);
            lowSpace = true;
            renderInDataFolder = true;
        }
    }

    // Steps 15 and 16: the render file with its leading silence.
    const std::string renderFile
        = renderInDataFolder ? pLogic.Folder().NewTempName(kTempWave) : TempSiblingName(target);
    if (renderFile.empty())
        return end(MixdownOutcome::Failed, kMsgRenderFailed);
    DeleteFileForce(renderFile);
    if (!WriteWaveHeader(project.SampleRate, kBits, kChannels, renderFile, 0, false)
        || !AppendSilenceFrames(renderFile, leadFrames)) {
        DeleteFileForce(renderFile);
        return end(MixdownOutcome::Failed, kMsgRenderFailed);
    }

    // Step 17: the render.
    RenderRequest render;
    render.File = renderFile;
    render.From = static_cast<int32_t>(from);
    render.To = static_cast<int32_t>(to);
    render.Loops = static_cast<int32_t>(loops);
    render.Mode = kRenderMix;
    render.Tracks = pRequest.SourceTracks == 1 ? kRenderSelectedTracks
        : pRequest.SourceTracks == 2           ? kRenderPlayingTracks
                                               : kRenderAllTracks;
    render.Label = kLabel;
    render.FileReady = true;
    render.NormLevel = normLevel;
    render.UseRMS = pRequest.UseRMS;
    bool cancelled = false;
    const bool rendered
        = RenderTracks(project, render, ui, pLogic.CancelRequest, [&](double pDone) {
              if (pProgress)
                  pProgress(pDone);
              // RenderTracks looks at the request right after this call and clears it.
              if (pLogic.CancelRequest)
                  cancelled = true;
          });
    if (!rendered) {
        DeleteFileForce(renderFile);
        result.Cancelled = cancelled;
        return end(cancelled ? MixdownOutcome::Finished : MixdownOutcome::Failed,
            cancelled ? "" : kMsgRenderFailed);
    }

    // Step 18: the trailing silence.
    if (!AppendSilenceFrames(renderFile, trailFrames)) {
        DeleteFileForce(renderFile);
        return end(MixdownOutcome::Failed, kMsgRenderFailed);
    }

    // Step 19: onto a track, as one undoable edit.
    if (toTrack) {
        pLogic.Busy = false;
        ui.SetBusy(false);
        const WaveInfo info = ReadWaveInfo(renderFile);
        if (info.Valid == 0 || !pLogic.StartProc(1, 0)) {
            DeleteFileForce(renderFile);
            return end(MixdownOutcome::Failed, kMsgRenderFailed);
        }
        for (int32_t t = 0; t < project.TrackCount(); ++t)
            project.Tracks[static_cast<size_t>(t)].Selected = t == track ? 1 : 0;
        const int64_t markOut = std::min<int64_t>(from + info.Frames, kMaxLength - 1);
        project.MarkIn = static_cast<int32_t>(from);
        project.MarkOut = static_cast<int32_t>(markOut);
        // Only the target track is selected now, so the range erase acts on it alone.
        EraseSelected(project, false);
        ResizeEnvelopes(project, project.MarkOut, false);
        ClearTrackFade(pLogic, track, project.MarkIn, project.MarkOut);
        const bool placed = PlaceOnTrack(pLogic, track, renderFile, project.MarkIn);
        pLogic.EndProc();
        if (!placed) {
            DeleteFileForce(renderFile);
            return end(MixdownOutcome::Failed, kMsgRenderFailed);
        }
        return end(MixdownOutcome::Finished, "");
    }

    // Step 20: conversion, encoding and the move into place.
    std::string current = renderFile;
    bool currentInDataFolder = renderInDataFolder;
    if (needConv) {
        const bool convInDataFolder = encode || lowSpace;
        const std::string converted
            = convInDataFolder ? pLogic.Folder().NewTempName(kTempWave) : TempSiblingName(target);
        bool convCancelled = false;
        const bool ok = !converted.empty()
            && ConvertRender(pLogic, current, converted, format, convCancelled, pProgress);
        DeleteFileForce(current);
        if (!ok) {
            if (!converted.empty())
                DeleteFileForce(converted);
            result.Cancelled = convCancelled;
            return end(convCancelled ? MixdownOutcome::Finished : MixdownOutcome::Failed,
                convCancelled ? "" : kMsgRenderFailed);
        }
        current = converted;
        currentInDataFolder = convInDataFolder;
    }
    std::string failure;
    bool encodeCancelled = false;
    if (encode) {
        ui.ShowMessage("Encode");
        const bool ok = EncFromWavfile(
            pEncoder, current, target, bitRate,
            [&](double pRate, bool& pCancel) {
                ui.ShowMessage(Percent2(pRate));
                if (pProgress)
                    pProgress(pRate);
                if (pLogic.CancelRequest) {
                    pLogic.CancelRequest = false;
                    encodeCancelled = true;
                    pCancel = true;
                }
            },
            &ui);
        if (!ok && !encodeCancelled)
            failure = kMsgEncodeFailed;
    } else if (currentInDataFolder) {
        // A rename is enough when the data folder shares the target's file system.
        bool ok = CommitFile(current, target) || CopyIntoPlace(current, target);
        if (!ok && lowSpace && targetExisted) {
            // Only without the old target is there room for the new one.
            if (!DeleteFileForce(target))
                failure = kMsgCannotDelete;
            else
                ok = CopyIntoPlace(current, target);
        }
        if (!ok && failure.empty())
            failure = targetExisted ? kMsgCannotDelete : kMsgCannotOverwrite;
    } else if (!CommitFile(current, target)) {
        failure = targetExisted ? kMsgCannotDelete : kMsgCannotOverwrite;
    }
    DeleteFileForce(current);
    result.Cancelled = encodeCancelled;
    if (!failure.empty())
        return end(MixdownOutcome::Failed, failure);
    MixdownResult done = end(MixdownOutcome::Finished, "");
    if (overwritesWorkingFile && !encodeCancelled)
        pLogic.CloseProject();
    return done;
}

} // namespace tarvok
