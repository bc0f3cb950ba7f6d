// tarvok2-cli mixdown: the mixdown window's OK without the window.

#include "cli/mixdown_command.h"

#include "app/mixdown.h"
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
#include <unistd.h>

namespace tarvok {

namespace {

constexpr const char* kUsage
    = "usage: mixdown NAME (-o OUT.wav|OUT.mp3|OUT.flac|OUT.opus | --to-track N | --cd) [--tracks "
      "all|selected|playing]"
      " [--range all|selection|zero] [--format Mono8bit|...|Stereo24bit] [--rate HZ]"
      " [--bitrate KBPS] [--normalize DB] [--rms] [--loudness LUFS] [--measure] [--loop N]"
      " [--pre-silence MS]"
      " [--post-silence MS]";

} // namespace

int MixdownCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    static const std::vector<std::string> kValues
        = { "-o", "--tracks", "--range", "--format", "--rate", "--bitrate", "--normalize", "--loop",
              "--pre-silence", "--post-silence", "--to-track", "--loudness" };
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    bool rms = false;
    bool cd = false;
    bool measure = false;
    for (size_t i = 0; i < pArgs.size(); ++i) {
        const std::string& a = pArgs[i];
        if (a == "--rms") {
            rms = true;
        } else if (a == "--measure") {
            measure = true;
        } else if (a == "--cd") {
            cd = true;
        } else if (std::find(kValues.begin(), kValues.end(), a) != kValues.end()) {
            if (i + 1 >= pArgs.size())
                return pCtx.Fail(a + " needs a value", 2);
            values[a] = pArgs[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            return pCtx.Fail("unknown option: " + a, 2);
        } else {
            positional.push_back(a);
        }
    }
    const int targets
        = (values.count("-o") ? 1 : 0) + (values.count("--to-track") ? 1 : 0) + (cd ? 1 : 0);
    if (positional.size() != 1 || targets != 1)
        return pCtx.Fail(kUsage, 2);

    HeadlessSession session(pCtx);
    if (!session.Started)
        return pCtx.Fail("cannot create the data folder");
    MainLogic& logic = session.Logic;
    // Status messages would mix progress into standard output: progress goes to a
    // terminal on standard error only, the outcome is printed at the end.
    pCtx.Ui.SetMessageSink(nullptr);
    const std::string path = pCtx.ProjectPath(positional[0], logic.Proj().DataFolder);
    if (!FileExists(path))
        return pCtx.Fail(NotAFileText("project", path));
    if (!logic.OpenProject(path, true))
        return pCtx.Fail("cannot read the project " + path + ": " + logic.OpenFailure);
    Project& project = logic.Proj();
    project.UpdateTitleLength(false);

    MixdownRequest request = LoadMixdownRequest(logic.Store(), project);
    request.Encode = false;
    if (auto it = values.find("-o"); it != values.end()) {
        request.TargetMode = kMixTargetFile;
        std::string out = it->second;
        if (!IsAbsolutePath(out))
            out = std::filesystem::absolute(out).string();
        request.TargetFile = out;
        // The extension decides the file type; a name the program cannot write as what it
        // says is refused rather than filled with WAV data.
        const OutputFormatInfo* format = OutputFormatOfPath(out);
        if (format == nullptr)
            return pCtx.Fail("cannot write this file type: " + out
                    + " (the output name must end in .wav, .mp3, .flac or .opus)",
                2);
        request.Encode = format->Kind == OutputKind::Mp3;
        request.Codec = format->Codec;
        if (request.Encode || request.Codec)
            request.WaveMode = 3;
        if (request.Codec == AudioCodec::Opus)
            request.Freq = "48000";
    } else if (auto it = values.find("--to-track"); it != values.end()) {
        std::optional<int64_t> t = ParseInteger(it->second);
        if (!t || *t < 0 || *t > project.LastTrackNo)
            return pCtx.Fail("no such track (tracks are 0.." + std::to_string(project.LastTrackNo)
                    + "): " + it->second,
                2);
        request.TargetMode = kMixTargetTrack;
        request.TargetTrack = static_cast<int32_t>(*t);
    } else {
        request.TargetMode = kMixTargetCd;
        request.WaveMode = 3;
        request.Freq = "44100";
    }
    if (auto it = values.find("--tracks"); it != values.end()) {
        static const std::map<std::string, int32_t> kTracks
            = { { "all", 0 }, { "selected", 1 }, { "playing", 2 } };
        auto found = kTracks.find(it->second);
        if (found == kTracks.end())
            return pCtx.Fail("--tracks takes all, selected or playing", 2);
        request.SourceTracks = found->second;
    }
    if (auto it = values.find("--range"); it != values.end()) {
        static const std::map<std::string, int32_t> kRanges
            = { { "all", 0 }, { "selection", 1 }, { "zero", 2 } };
        auto found = kRanges.find(it->second);
        if (found == kRanges.end())
            return pCtx.Fail("--range takes all, selection or zero", 2);
        request.SourceRange = found->second;
    }
    if (auto it = values.find("--format"); it != values.end()) {
        int32_t mode = -1;
        for (int32_t m = 0; m <= 5; ++m)
            if (EqualsNoCase(FormatName(m), it->second))
                mode = m;
        if (mode < 0)
            return pCtx.Fail("--format takes Mono8bit, Stereo8bit, Mono16bit, Stereo16bit, "
                             "Mono24bit or Stereo24bit",
                2);
        request.WaveMode = mode;
    }
    if (auto it = values.find("--rate"); it != values.end())
        request.Freq = it->second;
    if (auto it = values.find("--bitrate"); it != values.end())
        request.BitRate = it->second;
    if (auto it = values.find("--normalize"); it != values.end()) {
        request.Normalize = true;
        request.NormalizeLevel = it->second;
    } else {
        request.Normalize = false;
    }
    request.UseRMS = rms;
    request.MeasureLoudness = measure;
    if (auto it = values.find("--loudness"); it != values.end()) {
        request.Loudness = true;
        request.LoudnessLevel = it->second;
    } else {
        request.Loudness = false;
    }
    if (auto it = values.find("--loop"); it != values.end())
        request.Loop = it->second;
    if (auto it = values.find("--pre-silence"); it != values.end())
        request.SuStart = it->second;
    if (auto it = values.find("--post-silence"); it != values.end())
        request.SuEnd = it->second;

    LameEncoder encoder;
    if (request.Encode && !EncodeAvailable(request, &encoder))
        return pCtx.Fail("MP3 output is not available for this rate and format");
    LazyAudioFileEncoder fileEncoder;
    // Settings that cannot be written are refused before anything is rendered, with the
    // reason and the usage exit status.
    if (std::string problem = ValidateMixdown(request, &encoder, &fileEncoder, logic.Loudness());
        !problem.empty())
        return pCtx.Fail(problem, 2);

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

} // namespace tarvok
