// tarvok2-cli calibrate: the round trip of an output and an input, measured and stored.

#include "cli/calibrate_command.h"

#include "engine/engine_clock.h"
#include "engine/latency_calibration.h"
#include "platform/loader/lazy_adapters.h"

#include <cstdio>
#include <optional>

namespace tarvok {

namespace {

constexpr OptionSpec kCalibrateOptions[] = {
    { "--output", "ID|NAME",
        "the output device: an ID or a name of tarvok2-cli devices, alone or after its host "
        "API (\"ALSA: pulse\"; 0, the default, when not given)" },
    { "--input", "ID|NAME", "the input device, likewise" },
};

/// The device a text names among pDevices (the default, ID 0, for no text).
std::optional<WaveDeviceInfo> NamedDevice(
    const std::string& pText, const std::vector<WaveDeviceInfo>& pDevices)
{
    const std::optional<int32_t> id = DeviceIdFromText(pText.empty() ? "0" : pText, pDevices);
    for (const WaveDeviceInfo& d : pDevices)
        if (id && d.Id == *id)
            return d;
    return std::nullopt;
}

std::string MsText(double pMs)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", pMs);
    return text;
}

} // namespace

const CliCommandSpec kCalibrateSpec { "calibrate", "[--output ID|NAME] [--input ID|NAME]",
    "measure the round trip of an output and an input with a click and store it, so that "
    "takes recorded while playing line up with what was played",
    "", kCalibrateOptions };

int RunCalibrate(CliContext& pCtx, const std::vector<std::string>& pArgs, WaveOutService& pOut,
    WaveInService& pIn, EngineClock* pClock)
{
    ParsedOptions args;
    if (std::optional<int> done = ParseCommandArgs(pCtx, kCalibrateSpec, pArgs, args))
        return *done;
    if (!args.Positional.empty())
        return CommandUsageError(pCtx, kCalibrateSpec);
    const std::string outputText = args.Value("--output").value_or("");
    const std::string inputText = args.Value("--input").value_or("");
    const std::optional<WaveDeviceInfo> output = NamedDevice(outputText, pOut.Devices());
    if (!output)
        return pCtx.Fail("no output device with this ID or name: " + outputText, 2);
    const std::optional<WaveDeviceInfo> input = NamedDevice(inputText, pIn.Devices());
    if (!input)
        return pCtx.Fail("no input device with this ID or name: " + inputText, 2);
    RoundTripRequest request;
    request.OutputId = output->Id;
    request.InputId = input->Id;
    SystemEngineClock systemClock;
    Result<RoundTripResult> measured
        = MeasureRoundTrip(pOut, pIn, request, pClock ? *pClock : systemClock, pCtx.Ui);
    if (!measured)
        return pCtx.Fail(measured.error().Message);
    const RoundTripResult& r = *measured;
    const int64_t us = FramesToUs(r.OffsetFrames, r.SampleRate);
    if (!StoreLatencyOffsetUs(pCtx.Store, output->Name, input->Name, us))
        return pCtx.Fail("cannot store the offset in the settings");
    pCtx.Out << "output: " << output->Name << "\ninput: " << input->Name
             << "\nreported latency: output " << MsText(r.ReportedOutputMs) << " ms, input "
             << MsText(r.ReportedInputMs) << " ms\n"
             << "measured offset: " << r.OffsetFrames << " samples (" << MsText(r.OffsetMs())
             << " ms) at " << r.SampleRate << " Hz\n"
             << "stored: later takes on this pair are moved " << r.OffsetFrames
             << " samples earlier\n";
    return 0;
}

int CalibrateCommand(CliContext& pCtx, const std::vector<std::string>& pArgs)
{
    LazyWaveOut out;
    LazyWaveIn in;
    return RunCalibrate(pCtx, pArgs, out, in);
}

} // namespace tarvok
