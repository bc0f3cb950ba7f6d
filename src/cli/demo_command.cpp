// tarvok2-cli demo: starts the system headless, builds a small demo project from
// synthesised tracks in the data folder, saves it and reports what the system holds.

#include "app/mixdown/mixdown.h"
#include "base/numeric.h"
#include "base/text.h"
#include "cli/cli_context.h"
#include "core/envelope.h"
#include "core/file_io.h"
#include "core/load_file_to_track.h"
#include "core/project_file.h"
#include "core/time_text.h"
#include "core/wave_info.h"

#include <cmath>
#include <functional>
#include <optional>
#include <vector>

namespace tarvok {

namespace {

/// Writes a 16-bit stereo working file of pSeconds seconds from a sample function (-1..1).
bool Synthesise(const std::string& pPath, int32_t pRate, double pSeconds,
    const std::function<std::pair<double, double>(double)>& pSample)
{
    const int64_t frames = static_cast<int64_t>(pSeconds * pRate);
    std::optional<FileHandle> file
        = WriteWaveHeader(pRate, 16, 2, pPath, frames * kFrameBytes, true);
    if (!file)
        return false;
    std::vector<int16_t> samples(static_cast<size_t>(frames) * 2);
    for (int64_t f = 0; f < frames; ++f) {
        auto [left, right] = pSample(static_cast<double>(f) / pRate);
        samples[2 * f] = Saturate16(left * 32767.0);
        samples[2 * f + 1] = Saturate16(right * 32767.0);
    }
    const bool ok
        = WriteAt(*file, samples.data(), static_cast<int64_t>(samples.size()) * 2, -1).has_value();
    return file->Close() && ok;
}

/// Three voices of a short progression, each for a track of its own.
struct Voice {
    const char* Name;
    std::function<std::pair<double, double>(double)> Sample;
};

std::vector<Voice> DemoVoices()
{
    const double kPi = 3.14159265358979323846;
    return {
        { "bass",
            [=](double t) {
                double f = t < 2.0 ? 55.0 : 73.42;
                double v = 0.45 * std::sin(2 * kPi * f * t) * std::exp(-1.5 * std::fmod(t, 1.0));
                return std::make_pair(v, v);
            } },
        { "pad",
            [=](double t) {
                double root = t < 2.0 ? 220.0 : 293.66;
                double v = 0.12
                    * (std::sin(2 * kPi * root * t) + std::sin(2 * kPi * root * 1.25 * t)
                        + std::sin(2 * kPi * root * 1.5 * t));
                double pan = 0.5 + 0.4 * std::sin(2 * kPi * 0.25 * t);
                return std::make_pair(v * (1 - pan), v * pan);
            } },
        { "tick",
            [=](double t) {
                double phase = std::fmod(t, 0.5);
                double v = phase < 0.03 ? 0.3 * std::sin(2 * kPi * 1760.0 * t) * (1 - phase / 0.03)
                                        : 0.0;
                return std::make_pair(v * 0.7, v);
            } },
    };
}

void PrintStartup(CliContext& pCtx, const Project& p)
{
    std::ostream& out = pCtx.Out;
    out << "tarvok2 started headless\n";
    out << "settings file: " << pCtx.Backend.FileOf(kMainSection) << "\n";
    out << "data folder:   " << p.DataFolder << "\n";
    out << "sample rate:   " << p.SampleRate << " Hz\n";
    out << "fade table:    type " << p.FadeTableType << ", unity level " << p.UnityLevel << "\n";
    out << "tracks:        " << p.TrackCount() << "\n";
}

/// Synthesises the voices into working files and places each on a track; false when a
/// working file cannot be written.
bool PlaceVoices(CliContext& pCtx, MainLogic& pLogic)
{
    Project& p = pLogic.Proj();
    bool cancel = false;
    int32_t track = 0;
    for (const Voice& voice : DemoVoices()) {
        if (track > p.LastTrackNo)
            break;
        std::string path = pLogic.Folder().NewTempName(kTempWave);
        if (path.empty() || !Synthesise(path, p.SampleRate, 4.0, voice.Sample)
            || !LoadFileToTrack(p, track, path, 0, voice.Name, pLogic.Folder(),
                pLogic.Options().WFMode, pCtx.Ui, cancel))
            return false;
        p.Tracks[track].Name = voice.Name;
        ++track;
    }
    return true;
}

/// A fade-in on the pad's envelope, a selection over the second and third beats, and a zoom
/// that shows the whole demo in a window of common size.
void ShapeDemo(MainLogic& pLogic)
{
    Project& p = pLogic.Proj();
    if (p.TrackCount() > 1 && p.EnvelopeLength > 0) {
        for (int32_t k = 0; k < 40 && k < p.EnvelopeLength; ++k)
            p.Envelopes[1][2 * k] = p.Envelopes[1][2 * k + 1]
                = static_cast<uint8_t>(p.UnityLevel * k / 40);
        SaveEnvelope(p, 1, pLogic.Folder().NewTempName(kTempEnvelope));
    }
    p.MarkIn = p.SampleRate;
    p.MarkOut = p.SampleRate * 5 / 2;
    p.Zoom = 4;
}

/// The mixdown of the whole project as the mixdown window would make it; an error text when
/// it failed.
std::optional<std::string> MixDemo(CliContext& pCtx, MainLogic& pLogic, std::string& pTarget)
{
    Project& p = pLogic.Proj();
    MixdownRequest request = LoadMixdownRequest(pCtx.Store, p);
    request.SourceTracks = 0;
    request.SourceRange = 0;
    request.TargetMode = kMixTargetFile;
    request.Freq = std::to_string(p.SampleRate);
    request.WaveMode = 3;
    request.Encode = false;
    request.Normalize = true;
    request.UseRMS = false;
    request.NormalizeLevel = "-1";
    request.Loop = "1";
    request.SuStart = request.SuEnd = "0";
    request.TargetFile = p.DataFolder + "demo.wav";
    pTarget = request.TargetFile;
    pCtx.Ui.QueueAnswer("yes"); // replace the mixdown of an earlier demo
    MixdownResult mixed = RunMixdown(pLogic, request, nullptr);
    pCtx.Ui.ClearAnswers();
    if (mixed.Outcome != MixdownOutcome::Finished || mixed.Cancelled)
        return "the demo mixdown failed"
            + (mixed.Message.empty() ? std::string() : ": " + mixed.Message);
    return std::nullopt;
}

void PrintContents(std::ostream& out, const Project& p)
{
    for (int32_t t = 0; t < p.TrackCount(); ++t)
        if (!p.Tracks[t].Name.empty())
            out << "  track " << t << ": " << p.Tracks[t].Name << "\n";
    out << "blocks:        " << p.BlockCount() << "\n";
    out << "wave files:    " << p.WaveFileCount() << "\n";
    out << "length:        " << TimeText(FramesToMs(p.ProjectLength, p.SampleRate), 0, false)
        << "\n";
}

} // namespace

const CliCommandSpec kDemoSpec { "demo", "",
    "start the system headless, build and save a demo project of synthesised tracks (demo.tvp "
    "in the data folder) with its mixdown (demo.wav), end cleanly",
    "", {} };

int DemoCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    ParsedOptions args;
    if (std::optional<int> done = ParseCommandArgs(pCtx, kDemoSpec, pArgs, args))
        return *done;
    if (!args.Positional.empty())
        return pCtx.Fail("demo takes no arguments", 2);
    HeadlessSession session(pCtx);
    if (!session.Started)
        return pCtx.Fail("cannot create the data folder");
    MainLogic& logic = session.Logic;
    Project& p = logic.Proj();
    PrintStartup(pCtx, p);
    if (!logic.StartProc(0, 0))
        return pCtx.Fail("the system is busy");
    const bool placed = PlaceVoices(pCtx, logic);
    logic.EndProc();
    if (!placed)
        return pCtx.Fail("cannot write the demo working files");
    ShapeDemo(logic);
    const std::string projectPath = p.DataFolder + "demo.tvp";
    if (!LockForWriting(pCtx, session, projectPath))
        return 1;
    ProjectFileEnv env = logic.FileEnv();
    if (!WriteProject(p, projectPath, false, env))
        return pCtx.Fail("cannot write " + projectPath);
    pCtx.Out << "demo project:  " << projectPath << "\n";
    std::string mixTarget;
    if (std::optional<std::string> error = MixDemo(pCtx, logic, mixTarget))
        return pCtx.Fail(*error);
    pCtx.Out << "mixdown:       " << mixTarget << "\n";
    PrintContents(pCtx.Out, p);
    // Exit as the program does: the demo project keeps its working files through the clean-up.
    p.Saved = true;
    logic.Shutdown();
    pCtx.Out << "ended cleanly\n";
    return 0;
}

} // namespace tarvok
