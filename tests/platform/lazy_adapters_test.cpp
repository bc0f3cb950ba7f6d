#include "platform/loader/lazy_adapters.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace tarvok {
namespace {

using test::TempDir;

TEST(LazyAdapters, AMissingModuleDisablesItsFeatureWithTheLibraryNamed)
{
    const TempDir empty;
    ModuleLoader loader([&] { return ModuleSearch { { empty.Path() }, false }; });
    std::vector<std::string> notices;
    loader.SetNoticeSink([&](const std::string& pText) { notices.push_back(pText); });
    auto lastNotice = [&] { return notices.empty() ? std::string() : notices.back(); };

    LazyMediaBackend media(loader);
    LazyAudioFileEncoder files(loader);
    LazyWaveOut out(loader);
    LazyWaveIn in(loader);
    LazyCdDriveService drives(loader);
    LazyHttpClient http(loader);
    LazyLoudnessMeter meter(loader);
    LazyTimePitchEngine pitch(loader);

    // Each row makes the failing call and gives the message it produced: the failure value
    // when that carries one, else what went to the notice sink (which hears of every one).
    struct Case {
        const char* Message;
        const char* Module;
        std::function<std::string()> Call;
    };
    const std::vector<Case> kCases = {
        { "Decoding of compressed audio is not available: FFmpeg (libavformat, libavcodec)",
            "tarvok2-ffmpeg.so",
            [&] {
                auto r = media.Open(empty.File("a.mp3"), MediaContainer::Auto);
                return r ? std::string() : r.error().Message;
            } },
        { "FLAC and Opus output is not available: FFmpeg (libavformat, libavcodec)",
            "tarvok2-ffmpeg.so",
            [&] { return files.Available(AudioCodec::Flac) ? std::string() : lastNotice(); } },
        { "Sound output is not available: PortAudio (libportaudio)", "tarvok2-portaudio.so",
            [&] {
                WaveHandle handle = kNoWaveHandle;
                const WaveResult result = out.Open(0, WaveFormat {}, handle);
                return result == kWaveErrFailed ? out.ErrorText(result) : std::string();
            } },
        { "Sound output is not available: PortAudio (libportaudio)", "tarvok2-portaudio.so",
            [&] { return out.Devices().empty() ? lastNotice() : std::string(); } },
        { "Sound input is not available: PortAudio (libportaudio)", "tarvok2-portaudio.so",
            [&] { return in.Available() ? std::string() : lastNotice(); } },
        { "CD access is not available: libcdio", "tarvok2-cdio.so",
            [&] { return drives.PhysicalDrives().empty() ? lastNotice() : std::string(); } },
        { "HTTP is not available: libcurl", "tarvok2-curl.so",
            [&] {
                auto r = http.Get("http://127.0.0.1:9/", HttpLimits {});
                return r ? std::string() : r.error().Message;
            } },
        { "Loudness measurement is not available: libebur128", "tarvok2-ebur128.so",
            [&] { return meter.Start(44100, 2) ? std::string() : lastNotice(); } },
        { "The high-quality time stretch and pitch shift is not available: Rubber Band "
          "(librubberband)",
            "tarvok2-rubberband.so",
            [&] { return pitch.Open(TimePitchRequest {}) ? std::string() : lastNotice(); } },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Message);
        EXPECT_EQ(c.Call(),
            std::string(c.Message) + " could not be loaded (" + c.Module + " is not in "
                + empty.Path() + ")");
    }

    // Each unavailable feature is noticed once, however often it is asked for.
    const size_t noticed = notices.size();
    EXPECT_EQ(meter.Start(48000, 1), nullptr);
    EXPECT_TRUE(drives.PhysicalDrives().empty());
    EXPECT_EQ(drives.Open(empty.File("disc.cue")), nullptr);
    EXPECT_EQ(notices.size(), noticed);
    EXPECT_EQ(noticed, 8U);
}

TEST(LazyAdapters, EveryModuleOfTheBuildLoadsAndServes)
{
    for (AdapterLib lib : { AdapterLib::Ffmpeg, AdapterLib::PortAudio, AdapterLib::Cdio,
             AdapterLib::Curl, AdapterLib::Ebur128, AdapterLib::RubberBand }) {
        SCOPED_TRACE(std::string(ModuleFileOf(lib)));
        Result<const AdapterModule*> module = ProcessModules().Load(lib);
        EXPECT_TRUE(module) << (module ? "" : module.error().Message);
    }
    // The proxies reach the libraries: a measurement and a stream start, and a file that is
    // not there fails with the decoder's own reason, not the loader's.
    const TempDir dir;
    LazyLoudnessMeter meter;
    EXPECT_NE(meter.Start(44100, 2), nullptr);
    LazyTimePitchEngine pitch;
    EXPECT_NE(pitch.Open(TimePitchRequest {}), nullptr);
    LazyMediaBackend media;
    auto opened = media.Open(dir.File("missing.ogg"), MediaContainer::Auto);
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error().Message.find("is not available"), std::string::npos)
        << opened.error().Message;
    LazyAudioFileEncoder files;
    EXPECT_TRUE(files.Available(AudioCodec::Flac));
}

} // namespace
} // namespace tarvok
