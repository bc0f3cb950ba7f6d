#include "cli/wave_info_command.h"

#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace tarvok {
namespace {

using test::PcmSpec;
using test::TempDir;

TEST(WaveInfoCommand, PrintsEveryFieldAsText)
{
    TempDir dir;
    std::string path = dir.File("a.wav");
    ASSERT_TRUE(test::WriteWav(path, PcmSpec(48000, 16, 2, std::string(4 * 4800, '\0'))));
    std::ostringstream out, err;
    EXPECT_EQ(RunWaveInfoCommand(path, false, out, err), 0);
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(out.str(),
        "Path: " + path
            + "\nValid: 1\nFrames: 4800\nSampleRate: 48000\nBits: 16\nChannels: 2\n"
              "BlockAlign: 4\nDataOffset: 44\nDataSize: 19200\nFileSize: 19244\nFormatMode: 3\n"
              "LengthMs: 100\nFormatTag: 1\nFormatName: Stereo16bit\n");
}

TEST(WaveInfoCommand, PrintsOneJsonObjectWithEscapedStrings)
{
    TempDir dir;
    std::string path = dir.File("q\"b\\s\tx.wav");
    test::WavSpec spec = PcmSpec(8000, 8, 6, std::string(12, '\0'));
    spec.FormatTag = -2;
    spec.Extensible = true;
    ASSERT_TRUE(test::WriteWav(path, spec));
    std::ostringstream out, err;
    // A file the program cannot use fails, and says why in the object and on stderr.
    EXPECT_EQ(RunWaveInfoCommand(path, true, out, err), 1);
    std::string escaped = dir.Path() + "q\\\"b\\\\s\\tx.wav";
    const std::string reason
        = "its format (6 channels of 8 bits) is none of the PCM formats the program reads";
    EXPECT_EQ(out.str(),
        "{\"Path\":\"" + escaped
            + "\",\"Valid\":0,\"Frames\":0,\"SampleRate\":8000,\"Bits\":8,"
              "\"Channels\":6,\"BlockAlign\":6,\"DataOffset\":0,\"DataSize\":0,\"FileSize\":0,"
              "\"FormatMode\":0,\"LengthMs\":0,\"FormatTag\":-2,\"FormatName\":\"\",\"Reason\":\""
            + reason + "\"}\n");
    EXPECT_EQ(err.str(), "wave-info: not a usable WAV file: " + path + ": " + reason + "\n");
}

TEST(WaveInfoCommand, NonUtf8PathStaysValidJson)
{
    TempDir dir;
    std::string path = dir.File("\x82\xA0.wav");
    ASSERT_TRUE(test::WriteWav(path, PcmSpec(44100, 16, 1, std::string(2, '\0'))));
    std::ostringstream out, err;
    EXPECT_EQ(RunWaveInfoCommand(path, true, out, err), 0);
    EXPECT_NE(out.str().find("\\u0082\\u00a0.wav"), std::string::npos) << out.str();
}

TEST(WaveInfoCommand, MissingAndForeignFilesFailWithOneLine)
{
    TempDir dir;
    ASSERT_TRUE(test::WriteFileBytes(dir.File("song.mp3"), "ID3 and some more bytes here"));
    ASSERT_TRUE(test::WriteFileBytes(dir.File("tiny"), "RIFF"));
    std::filesystem::create_directory(dir.File("folder.wav"));
    struct Case {
        std::string Path;
        std::string Message;
    };
    const Case cases[] = {
        { dir.File("missing.wav"), "wave-info: no such file: " + dir.File("missing.wav") + "\n" },
        // A folder is named as what it is, not as a missing file.
        { dir.File("folder.wav"),
            "wave-info: a folder, not a sound file: " + dir.File("folder.wav") + "\n" },
        { dir.File("song.mp3"), "wave-info: not a RIFF/WAVE file: " + dir.File("song.mp3") + "\n" },
        { dir.File("tiny"), "wave-info: not a RIFF/WAVE file: " + dir.File("tiny") + "\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Path);
        for (bool json : { false, true }) {
            std::ostringstream out, err;
            EXPECT_EQ(RunWaveInfoCommand(c.Path, json, out, err), 1);
            EXPECT_EQ(out.str(), "");
            EXPECT_EQ(err.str(), c.Message);
        }
    }
}

TEST(WaveInfoCommand, UnreadableFileFails)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not apply to root";
    TempDir dir;
    std::string path = dir.File("locked.wav");
    ASSERT_TRUE(test::WriteWav(path, PcmSpec(44100, 16, 2)));
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    std::ostringstream out, err;
    EXPECT_EQ(RunWaveInfoCommand(path, false, out, err), 1);
    EXPECT_EQ(err.str(), "wave-info: cannot read: " + path + "\n");
}

} // namespace
} // namespace tarvok
