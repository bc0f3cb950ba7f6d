#include "platform/ffmpeg/ffmpeg_media_backend.h"

#include "app/shell/import_command.h"
#include "core/wave_info.h"
#include "decode/decode_audio.h"
#include "support/started_logic.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace tarvok {
namespace {

bool RunTool(const std::string& pCommand)
{
    return std::system((pCommand + " >/dev/null 2>&1").c_str()) == 0;
}

bool HaveFfmpegEncoder(const std::string& pEncoder)
{
    return RunTool("command -v ffmpeg")
        && RunTool("ffmpeg -hide_banner -encoders 2>/dev/null | grep -q ' " + pEncoder + " '");
}

/// A started main window whose import decodes through the FFmpeg libraries.
struct Fixture : test::StartedLogic<> {
    test::TempDir Sources;
    FfmpegMediaBackend Backend;
    MediaSoundDecoder Decoder { Backend, [this] { return Logic.Folder().Path(); },
        [] { return nullptr; } };

    Fixture() { Logic.SetDecoder(&Decoder); }
};

} // namespace

TEST(FfmpegImport, EveryFormatTheLibrariesReadIsImportedThroughTheOneDecoderPath)
{
    // Two seconds of sound in each format; the import keeps the project's 44.1 kHz.
    const std::string stereo = "-f lavfi -i "
                               "'aevalsrc=0.5*sin(440*2*PI*t)|0.4*sin(660*2*PI*t):s=44100:d=2' ";
    const std::string surround
        = "-f lavfi -i "
          "'aevalsrc=0.3*sin(220*2*PI*t)|0.3*sin(330*2*PI*t)|0.3*sin(440*2*PI*t)|0.2*sin("
          "55*2*PI*t)|0.3*sin(550*2*PI*t)|0.3*sin(660*2*PI*t):c=5.1:s=48000:d=2' ";
    struct Case {
        const char* File;
        const char* Encoder;
        std::string Arguments;
    };
    const Case kCases[] = {
        { "a.flac", "flac", stereo + "-c:a flac" },
        { "a.ogg", "libvorbis", stereo + "-c:a libvorbis" },
        { "a.opus", "libopus", stereo + "-c:a libopus -b:a 96k" },
        { "a.m4a", "aac", stereo + "-c:a aac" },
        { "a.ac3", "ac3", stereo + "-c:a ac3" },
        { "surround.flac", "flac", surround + "-c:a flac" },
        { "surround.m4a", "aac", surround + "-c:a aac" },
        // Not RIFF/WAVE files, so not read as WAV files, but the libraries read them.
        { "rf64.wav", "pcm_s16le", stereo + "-c:a pcm_s16le -rf64 always -f wav" },
        { "a.caf", "pcm_s16le", stereo + "-c:a pcm_s16le -f caf" },
    };
    int tried = 0;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.File);
        if (!HaveFfmpegEncoder(c.Encoder)) {
            std::cout << "skipped (no " << c.Encoder << " encoder): " << c.File << "\n";
            continue;
        }
        ++tried;
        Fixture f;
        const std::string source = f.Sources.File(c.File);
        ASSERT_TRUE(RunTool("ffmpeg -nostdin -v error -y " + c.Arguments + " '" + source + "'"));
        f.Ui.QueueAnswer("yes"); // a 48 kHz source is converted to the project's rate
        ASSERT_TRUE(f.Logic.ImportSoundFile(0, source, 0, true));
        const Project& p = f.Logic.Proj();
        EXPECT_EQ(p.SampleRate, 44100);
        ASSERT_EQ(p.BlockCount(), 1); // multichannel sources are down-mixed to one stereo block
        // Two seconds, give or take an encoder's priming and padding.
        EXPECT_NEAR(p.Blocks[0].SrcEnd, 88200, 4410);
        const WaveInfo info = ReadWaveInfo(p.WaveFiles[0].FileName);
        EXPECT_EQ(info.FormatMode, 3);
        EXPECT_EQ(info.SampleRate, 44100);
        EXPECT_EQ(p.CheckInvariants(), "");
    }
    if (tried == 0)
        GTEST_SKIP() << "ffmpeg with these encoders is not installed";
}

TEST(FfmpegImport, AFileTheLibrariesDoNotReadIsTheWrongFormat)
{
    Fixture f;
    const std::string junk = f.Sources.File("notes.ogg");
    ASSERT_TRUE(test::WriteFileBytes(junk, std::string(4000, 'x')));
    EXPECT_FALSE(f.Logic.ImportSoundFile(0, junk, 0, true));
    EXPECT_EQ(f.Ui.LastStatus(), kWrongFormatText);
    EXPECT_TRUE(f.Ui.BoxTexts().empty());
    EXPECT_EQ(f.Logic.Proj().BlockCount(), 0);
}

} // namespace tarvok
