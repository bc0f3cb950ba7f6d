// tarvok2-cli mixdown: the mixdown window's OK without the window.

#include "cli/mixdown_command.h"

#include "app/mixdown/mixdown.h"
#include "base/text.h"
#include "cli/cli_context.h"
#include "core/file_io.h"
#include "core/project_file.h"
#include "core/wave_info.h"
#include "platform/lame/lame_encoder.h"
#include "platform/loader/lazy_adapters.h"
#include "render/output_format.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <unistd.h>

namespace tarvok {

namespace {

constexpr OptionSpec kMixdownOptions[] = {
    { "-o", "OUT",
        "write the mix to the file OUT: .wav, .mp3, .flac or .opus (the extension "
        "chooses the type)" },
    { "--to-track", "N", "mix onto track N (from 0) and save the project" },
    { "--cd", "", "mix into the CD folder (track001.wav, track002.wav, ...)" },
    { "--tracks", "all|selected|playing", "the tracks to mix" },
    { "--range", "all|selection|zero", "the part of the timeline to mix" },
    { "--format", "FORMAT",
        "Mono8bit, Stereo8bit, Mono16bit, Stereo16bit, Mono24bit or "
        "Stereo24bit" },
    { "--rate", "HZ", "the sampling rate of the mix" },
    { "--bitrate", "KBPS", "the bit rate of an MP3 or Opus file" },
    { "--normalize", "DB", "normalise the mix to DB" },
    { "--rms", "", "normalise by the RMS level instead of the peak" },
    { "--loudness", "LUFS", "bring the mix to LUFS (true peak kept at -1 dBTP)" },
    { "--measure", "", "print the mix's loudness and true peak" },
    { "--loop", "N", "play the range N times in the mix" },
    { "--pre-silence", "MS", "silence before the mix, in ms" },
    { "--post-silence", "MS", "silence after the mix, in ms" },
};

constexpr OptionRules kMixdownRules { .Style = OptionStyle::AnyDash };

/// Sets the target of the mix from -o, --to-track or --cd; an error text (a usage error)
/// when it cannot be written.
std::optional<std::string> SetTarget(
    const ParsedOptions& pArgs, const Project& pProject, MixdownRequest& request)
{
    if (std::optional<std::string> target = pArgs.Value("-o")) {
        request.TargetMode = kMixTargetFile;
        std::string out = *target;
        if (!IsAbsolutePath(out))
            out = std::filesystem::absolute(out).string();
        request.TargetFile = out;
        // The extension decides the file type; a name the program cannot write as what it
        // says is refused rather than filled with WAV data.
        const OutputFormatInfo* format = OutputFormatOfPath(out);
        if (format == nullptr)
            return "cannot write this file type: " + out
                + " (the output name must end in .wav, .mp3, .flac or .opus)";
        request.Encode = format->Kind == OutputKind::Mp3;
        request.Codec = format->Codec;
        if (request.Encode || request.Codec)
            request.WaveMode = 3;
        if (request.Codec == AudioCodec::Opus)
            request.Freq = "48000";
    } else if (std::optional<std::string> track = pArgs.Value("--to-track")) {
        std::optional<int64_t> t = ParseInteger(*track);
        if (!t || *t < 0 || *t > pProject.LastTrackNo)
            return "no such track (tracks are 0.." + std::to_string(pProject.LastTrackNo)
                + "): " + *track;
        request.TargetMode = kMixTargetTrack;
        request.TargetTrack = static_cast<int32_t>(*t);
    } else {
        request.TargetMode = kMixTargetCd;
        request.WaveMode = 3;
        request.Freq = "44100";
    }
    return std::nullopt;
}

/// Sets what is mixed and in which format from --tracks, --range and --format; an error
/// text (a usage error) when a value is not one of the choices.
std::optional<std::string> SetSource(const ParsedOptions& pArgs, MixdownRequest& request)
{
    if (std::optional<std::string> v = pArgs.Value("--tracks")) {
        static const std::map<std::string, int32_t> kTracks
            = { { "all", 0 }, { "selected", 1 }, { "playing", 2 } };
        auto found = kTracks.find(*v);
        if (found == kTracks.end())
            return std::string("--tracks takes all, selected or playing");
        request.SourceTracks = found->second;
    }
    if (std::optional<std::string> v = pArgs.Value("--range")) {
        static const std::map<std::string, int32_t> kRanges
            = { { "all", 0 }, { "selection", 1 }, { "zero", 2 } };
        auto found = kRanges.find(*v);
        if (found == kRanges.end())
            return std::string("--range takes all, selection or zero");
        request.SourceRange = found->second;
    }
    if (std::optional<std::string> v = pArgs.Value("--format")) {
        int32_t mode = -1;
        for (int32_t m = 0; m <= 5; ++m)
            if (EqualsNoCase(FormatName(m), *v))
                mode = m;
        if (mode < 0)
            return std::string("--format takes Mono8bit, Stereo8bit, Mono16bit, Stereo16bit, "
                               "Mono24bit or Stereo24bit");
        request.WaveMode = mode;
    }
    return std::nullopt;
}

/// The options taken as the window's text boxes take them: checked by the mixdown itself.
void SetLevelsAndTiming(const ParsedOptions& pArgs, MixdownRequest& request)
{
    if (std::optional<std::string> v = pArgs.Value("--rate"))
        request.Freq = *v;
    if (std::optional<std::string> v = pArgs.Value("--bitrate"))
        request.BitRate = *v;
    const std::optional<std::string> normalize = pArgs.Value("--normalize");
    request.Normalize = normalize.has_value();
    if (normalize)
        request.NormalizeLevel = *normalize;
    request.UseRMS = pArgs.Has("--rms");
    request.MeasureLoudness = pArgs.Has("--measure");
    const std::optional<std::string> loudness = pArgs.Value("--loudness");
    request.Loudness = loudness.has_value();
    if (loudness)
        request.LoudnessLevel = *loudness;
    if (std::optional<std::string> v = pArgs.Value("--loop"))
        request.Loop = *v;
    if (std::optional<std::string> v = pArgs.Value("--pre-silence"))
        request.SuStart = *v;
    if (std::optional<std::string> v = pArgs.Value("--post-silence"))
        request.SuEnd = *v;
}

/// Renders the mix, with its progress on a terminal on standard error, and reports the
/// outcome; the exit code.
int MixAndReport(CliContext& pCtx, MainLogic& logic, const MixdownRequest& request,
    LameEncoder& encoder, LazyAudioFileEncoder& fileEncoder, const std::string& path)
{
    pCtx.Ui.SetBoxSink(nullptr);
    pCtx.Ui.QueueAnswer("yes"); // overwrite a file the user named
    const bool tty = ::isatty(STDERR_FILENO) == 1;
    MixdownResult result = RunMixdown(
        logic, request, &encoder,
        [&](double pDone, std::string_view) {
            if (tty) {
                std::fprintf(stderr, "\r%5.1f%%", pDone * 100.0);
                std::fflush(stderr);
            }
            return true;
        },
        &fileEncoder);
    if (tty)
        std::fprintf(stderr, "\r       \r");
    if (result.Outcome != MixdownOutcome::Finished)
        return pCtx.Fail(result.Message.empty() ? std::string("mixdown failed") : result.Message);
    if (result.Cancelled)
        return pCtx.Fail("cancelled");
    if (request.TargetMode == kMixTargetTrack) {
        ProjectFileEnv env = logic.FileEnv();
        if (!WriteProject(logic.Proj(), path, false, env))
            return pCtx.Fail("cannot write the project " + path);
        pCtx.Out << path << "\n";
    } else {
        if (!FileExists(result.Target))
            return pCtx.Fail("the range is empty: nothing was made");
        pCtx.Out << result.Target << "\n";
    }
    // The mix as measured after any loudness gain (before conversion and encoding).
    if (result.Loudness)
        pCtx.Out << "loudness: " << LoudnessText(*result.Loudness) << "\n";
    else if (request.MeasureLoudness)
        pCtx.Out << "loudness: not measurable (silence)\n";
    if (result.LoudnessLimited)
        pCtx.Out << "the gain was lowered to keep the true peak at " << kLoudnessPeakCeiling
                 << " dBTP: the target was not reached\n";
    return 0;
}

} // namespace

const CliCommandSpec kMixdownSpec { "mixdown", "NAME (-o OUT | --to-track N | --cd) [OPTIONS]",
    "mix the project down to a WAV, MP3, FLAC or Ogg Opus file (chosen by the extension), onto "
    "a track, or into the CD folder (track001.wav, track002.wav, ...); with --loudness or "
    "--measure the mix's loudness and true peak are printed",
    "The options not given take the stored settings of the mixdown window.", kMixdownOptions,
    kMixdownRules };

int MixdownCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    ParsedOptions args;
    if (std::optional<int> done = ParseCommandArgs(pCtx, kMixdownSpec, pArgs, args))
        return *done;
    const int targets = (args.Value("-o") ? 1 : 0) + (args.Value("--to-track") ? 1 : 0)
        + (args.Has("--cd") ? 1 : 0);
    if (args.Positional.size() != 1 || targets != 1)
        return CommandUsageError(pCtx, kMixdownSpec);

    HeadlessSession session(pCtx);
    if (!session.Started)
        return pCtx.Fail("cannot create the data folder");
    MainLogic& logic = session.Logic;
    // Status messages would mix progress into standard output: progress goes to a
    // terminal on standard error only, the outcome is printed at the end.
    pCtx.Ui.SetMessageSink(nullptr);
    // Only a mix onto a track saves the project: that one holds its lock from the start, so
    // that a refused run renders nothing; the other targets only read it.
    std::string path;
    if (!OpenNamedProject(
            pCtx, session, args.Positional[0], path, args.Value("--to-track").has_value()))
        return 1;
    Project& project = logic.Proj();
    project.UpdateTitleLength(false);

    MixdownRequest request = LoadMixdownRequest(logic.Store(), project);
    request.Encode = false;
    if (std::optional<std::string> error = SetTarget(args, project, request))
        return pCtx.Fail(*error, 2);
    if (std::optional<std::string> error = SetSource(args, request))
        return pCtx.Fail(*error, 2);
    SetLevelsAndTiming(args, request);

    LameEncoder encoder;
    if (request.Encode && !EncodeAvailable(request, &encoder))
        return pCtx.Fail("MP3 output is not available for this rate and format");
    LazyAudioFileEncoder fileEncoder;
    // Settings that cannot be written are refused before anything is rendered, with the
    // reason and the usage exit status.
    if (std::string problem = ValidateMixdown(request, &encoder, &fileEncoder, logic.Loudness());
        !problem.empty())
        return pCtx.Fail(problem, 2);
    return MixAndReport(pCtx, logic, request, encoder, fileEncoder, path);
}

} // namespace tarvok
