#include "platform/ffmpeg/ffmpeg_media_backend.h"

#include "core/error_log.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/wave_info.h"
#include "decode/decode_audio.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace tarvok {
namespace {

using test::TempDir;

bool HaveTool(const std::string& pName)
{
    return std::system(("command -v " + pName + " >/dev/null 2>&1").c_str()) == 0;
}

bool RunTool(const std::string& pCommand)
{
    return std::system((pCommand + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Quote(const std::string& pPath) { return "'" + pPath + "'"; }

/// A temp folder with a data folder, the FFmpeg backend and a headless UI.
struct Fixture {
    TempDir Dir;
    HeadlessUi Ui;
    ErrorLog Log { Dir.File("log") };
    FfmpegMediaBackend Backend;
    DecodeEnvironment Env;
    bool Cancel = false;

    Fixture()
    {
        std::filesystem::create_directory(Dir.File("data"));
        Env.DataFolder = Dir.File("data/");
        Env.Log = &Log;
    }
    std::string Target() const { return Dir.File("data/~t000001.wav"); }
    bool Decode(const std::string& pSource)
    {
        return DecodeSoundFile(pSource, Target(), Backend, Env, Ui, Cancel);
    }
    /// FFmpeg's own decoding of pSource as 16-bit interleaved samples with pChannels channels.
    std::string Reference(const std::string& pSource, int pChannels) const
    {
        std::string raw = Dir.File("reference.raw");
        if (!RunTool("ffmpeg -nostdin -v error -y -i " + Quote(pSource) + " -f s16le -ac "
                + std::to_string(pChannels) + " " + Quote(raw)))
            return {};
        std::string bytes = test::ReadFileBytes(raw);
        DeleteFileForce(raw);
        return bytes;
    }
    std::vector<std::string> DataFiles() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Dir.File("data")))
            names.push_back(entry.path().filename().string());
        return names;
    }
};

/// Three seconds of two different tones, left and right, at pRate.
bool MakeStereoWav(const std::string& pPath, int pRate)
{
    return RunTool("ffmpeg -nostdin -v error -y -f lavfi -i "
                   "'aevalsrc=0.5*sin(440*2*PI*t)|0.4*sin(660*2*PI*t):s="
        + std::to_string(pRate) + ":d=3' -c:a pcm_s16le " + Quote(pPath));
}

struct EncodeCase {
    const char* Name;
    const char* File;
    std::string Command; ///< {in} is the stereo WAV, {out} the file to make
    int Channels; ///< expected output channels
    int Rate;
    const char* Tool = "ffmpeg";
};

std::string Expand(std::string pCommand, const std::string& pIn, const std::string& pOut)
{
    for (auto [key, value] :
        { std::pair<std::string, std::string> { "{in}", Quote(pIn) }, { "{out}", Quote(pOut) } }) {
        for (size_t at; (at = pCommand.find(key)) != std::string::npos;)
            pCommand.replace(at, key.size(), value);
    }
    return pCommand;
}

TEST(FfmpegDecoder, DecodesEachFormatLikeFfmpeg)
{
    if (!HaveTool("ffmpeg"))
        GTEST_SKIP() << "ffmpeg is not installed";
    const std::string ff = "ffmpeg -nostdin -v error -y ";
    const EncodeCase cases[] = {
        { "mp3", "a.mp3", "lame --quiet -b 128 {in} {out}", 2, 44100, "lame" },
        { "mp3 with ID3v2", "tagged.mp3",
            "lame --quiet -b 128 --id3v2-only --tt Title --ta Artist --pad-id3v2-size 500 {in} "
            "{out}",
            2, 44100, "lame" },
        { "mono mp3", "mono.mp3", "lame --quiet -m m -b 64 {in} {out}", 1, 44100, "lame" },
        { "mp2", "a.mp2", ff + "-i {in} -c:a mp2 -b:a 192k {out}", 2, 44100 },
        { "lsf mp2 at 22050 Hz", "lsf.mp2", ff + "-i {in} -ar 22050 -c:a mp2 -b:a 64k {out}", 2,
            22050 },
        { "wma in asf", "a.wma", ff + "-i {in} -c:a wmav2 -b:a 128k {out}", 2, 44100 },
        { "aiff", "a.aiff", ff + "-i {in} -c:a pcm_s16be {out}", 2, 44100 },
        { "mp3 in RIFF (tag 85)", "riff.wav", ff + "-i {in} -c:a libmp3lame -b:a 128k -f wav {out}",
            2, 44100 },
        { "wma in RIFF (tag 353)", "wmariff.wav", ff + "-i {in} -c:a wmav2 -f wav {out}", 2,
            44100 },
        { "5.1 AC-3 down-mixed", "surround.ac3",
            ff
                + "-f lavfi -i "
                  "'aevalsrc=0.3*sin(220*2*PI*t)|0.3*sin(330*2*PI*t)|0.3*sin(440*2*PI*t)|0.2*sin("
                  "55*2*PI*t)|0.3*sin(550*2*PI*t)|0.3*sin(660*2*PI*t):c=5.1:s=48000:d=2' -c:a ac3 "
                  "{out}",
            2, 48000 },
        { "wmv video with audio", "clip.wmv",
            ff
                + "-f lavfi -i testsrc=size=64x48:rate=10:duration=3 -i {in} -c:v wmv2 -c:a wmav2 "
                  "-shortest {out}",
            2, 44100 },
        { "mp4 video with 5.1 AAC", "clip.mp4",
            ff
                + "-f lavfi -i testsrc=size=64x48:rate=10:duration=2 -f lavfi -i "
                  "'aevalsrc=0.3*sin(220*2*PI*t)|0.3*sin(330*2*PI*t)|0.3*sin(440*2*PI*t)|0.2*sin("
                  "55*2*PI*t)|0.3*sin(550*2*PI*t)|0.3*sin(660*2*PI*t):c=5.1:s=48000:d=2' -c:v "
                  "mpeg4 -c:a aac -shortest {out}",
            2, 48000 },
    };
    for (const EncodeCase& c : cases) {
        SCOPED_TRACE(c.Name);
        if (!HaveTool(c.Tool)) {
            std::cout << "skipped (no " << c.Tool << "): " << c.Name << "\n";
            continue;
        }
        Fixture f;
        std::string wav = f.Dir.File("in.wav");
        ASSERT_TRUE(MakeStereoWav(wav, 44100));
        std::string source = f.Dir.File(c.File);
        ASSERT_TRUE(RunTool(Expand(c.Command, wav, source)));
        ASSERT_TRUE(f.Decode(source))
            << test::ReadFileBytes(f.Log.LogFileName(std::chrono::system_clock::now(), true));

        WaveInfo info = ReadWaveInfo(f.Target());
        EXPECT_EQ(info.Valid, 1);
        EXPECT_EQ(info.FormatTag, 1);
        EXPECT_EQ(info.Bits, 16);
        EXPECT_EQ(info.Channels, c.Channels);
        EXPECT_EQ(info.SampleRate, c.Rate);
        std::string reference = f.Reference(source, c.Channels);
        ASSERT_FALSE(reference.empty());
        std::string decoded = test::ReadFileBytes(f.Target()).substr(size_t(info.DataOffset));
        // The same decoder and the same libswresample conversion: identical samples.
        EXPECT_EQ(decoded.size(), reference.size());
        EXPECT_TRUE(decoded == reference);
        EXPECT_EQ(f.DataFiles(), std::vector<std::string> { "~t000001.wav" });
        EXPECT_TRUE(f.Ui.BoxTexts().empty());
        EXPECT_EQ(f.Ui.LastStatus(), "デコード中… 100%");
    }
}

TEST(FfmpegDecoder, Mp1WhenAnEncoderExists)
{
    if (!HaveTool("ffmpeg")
        || !RunTool("ffmpeg -hide_banner -encoders 2>/dev/null | grep -q ' mp1 '"))
        GTEST_SKIP() << "no MPEG-1 Layer I encoder";
    Fixture f;
    std::string wav = f.Dir.File("in.wav");
    ASSERT_TRUE(MakeStereoWav(wav, 44100));
    std::string source = f.Dir.File("a.mp1");
    ASSERT_TRUE(RunTool(
        "ffmpeg -nostdin -v error -y -i " + Quote(wav) + " -c:a mp1 -f mp3 " + Quote(source)));
    ASSERT_TRUE(f.Decode(source));
    EXPECT_TRUE(IsPcmWave(f.Target(), false));
}

TEST(FfmpegDecoder, TruncatedMp3KeepsWhatCanBeDecoded)
{
    if (!HaveTool("ffmpeg") || !HaveTool("lame"))
        GTEST_SKIP() << "ffmpeg or lame is not installed";
    Fixture f;
    std::string wav = f.Dir.File("in.wav");
    ASSERT_TRUE(MakeStereoWav(wav, 44100));
    std::string full = f.Dir.File("full.mp3");
    ASSERT_TRUE(RunTool("lame --quiet -b 128 " + Quote(wav) + " " + Quote(full)));
    std::string bytes = test::ReadFileBytes(full);
    std::string cut = f.Dir.File("cut.mp3");
    ASSERT_TRUE(test::WriteFileBytes(cut, bytes.substr(0, bytes.size() / 2 + 77)));
    ASSERT_TRUE(f.Decode(cut));
    std::string decoded = test::ReadFileBytes(f.Target()).substr(44);
    EXPECT_TRUE(decoded == f.Reference(cut, 2));
    EXPECT_LT(ReadWaveInfo(f.Target()).Frames, 44100 * 2);
}

TEST(FfmpegDecoder, HostileFilesFailCleanly)
{
    if (!HaveTool("ffmpeg"))
        GTEST_SKIP() << "ffmpeg is not installed";
    TempDir made;
    std::string videoOnly = made.File("video.mp4");
    ASSERT_TRUE(RunTool(
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=64x48:rate=10:duration=1 -c:v mpeg4 "
        + Quote(videoOnly)));
    std::string mpegLike = std::string("\xFF\xFB\x90\x44", 4);
    for (int i = 0; i < 5000; ++i)
        mpegLike += char((i * 7919) % 251);
    struct Case {
        const char* Name;
        const char* File;
        std::string Bytes;
        const char* Box;
        const char* Logged; ///< nullptr when nothing reaches the log
    } cases[] = {
        { "only the first 47 bytes", "short.mp3", mpegLike.substr(0, 47),
            "mpegヘッダが見つかりません", nullptr },
        { "zero-length mp3", "empty.mp3", "", "mpegヘッダが見つかりません", nullptr },
        { "zero-length wma", "empty.wma", "", "デコード失敗", "empty file" },
        { "huge ID3 size", "huge.mp3",
            std::string("ID3\x03\x00\x00\x7F\x7F\x7F\x7F", 10) + mpegLike,
            "mpegヘッダが見つかりません", nullptr },
        { "looks like MPEG only at the start", "fake.mp2", mpegLike, "デコード失敗",
            "DecodeAudio" },
        { "random bytes named wma", "noise.wma", mpegLike.substr(4), "デコード失敗",
            "open failed" },
        { "container without audio", "video.mp4", test::ReadFileBytes(videoOnly), "デコード失敗",
            "no audio stream" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Fixture f;
        std::string source = f.Dir.File(c.File);
        ASSERT_TRUE(test::WriteFileBytes(source, c.Bytes));
        EXPECT_FALSE(f.Decode(source));
        EXPECT_EQ(f.Ui.BoxTexts(), std::vector<std::string> { c.Box });
        std::string log
            = test::ReadFileBytes(f.Log.LogFileName(std::chrono::system_clock::now(), true));
        if (c.Logged != nullptr) {
            EXPECT_NE(log.find(c.Logged), std::string::npos) << log;
            EXPECT_NE(log.find(source), std::string::npos) << log;
        }
        EXPECT_TRUE(f.DataFiles().empty());
    }
}

} // namespace
} // namespace tarvok
