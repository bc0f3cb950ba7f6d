#include "cli/wave_info_command.h"

#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
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

TEST(WaveInfoCommand, AgreesWithTheImportOnWhatIsReadAsWav)
{
    struct Case {
        const char* Name;
        std::function<void(test::WavSpec&)> Edit;
        std::string Reason;
    };
    const Case cases[] = {
        { "tag 0", [](test::WavSpec& s) { s.FormatTag = 0; },
            "format (tag 0x0000) is not integer PCM" },
        { "tag 2", [](test::WavSpec& s) { s.FormatTag = 2; },
            "format (tag 0x0002) is not integer PCM" },
        { "tag 0x11", [](test::WavSpec& s) { s.FormatTag = 0x11; }, "(tag 0x0011)" },
        { "tag 0x55", [](test::WavSpec& s) { s.FormatTag = 0x55; }, "(tag 0x0055)" },
        { "tag 0x1234", [](test::WavSpec& s) { s.FormatTag = 0x1234; }, "(tag 0x1234)" },
        { "zero sub-format",
            [](test::WavSpec& s) {
                s.FormatTag = -2;
                s.Extensible = true;
                s.SubFormatGuid = std::string(16, '\0');
            },
            "extensible sub-format is not integer PCM" },
        { "fmt of 0 bytes", [](test::WavSpec& s) { s.FmtBytes = 0; },
            "\"fmt \" chunk is too short (0 bytes, at least 16 needed)" },
        { "fmt of 2 bytes", [](test::WavSpec& s) { s.FmtBytes = 2; }, "too short (2 bytes" },
        { "fmt of 14 bytes", [](test::WavSpec& s) { s.FmtBytes = 14; }, "too short (14 bytes" },
        { "big-endian", [](test::WavSpec& s) { s.BigEndian = true; }, "big-endian (RIFX)" },
    };
    TempDir dir;
    const std::string path = dir.File("odd.wav");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        test::WavSpec spec = PcmSpec(44100, 16, 2, std::string(400, '\x63'));
        c.Edit(spec);
        ASSERT_TRUE(test::WriteWav(path, spec));
        std::ostringstream out, err;
        EXPECT_EQ(RunWaveInfoCommand(path, false, out, err), 1);
        EXPECT_NE(out.str().find("Valid: 0\n"), std::string::npos) << out.str();
        EXPECT_EQ(out.str().find("FormatName: Stereo16bit"), std::string::npos) << out.str();
        EXPECT_NE(err.str().find(c.Reason), std::string::npos) << err.str();
        // Nothing past a short chunk is taken for a format.
        EXPECT_EQ(err.str().find("channels of"), std::string::npos) << err.str();
    }
}

TEST(WaveInfoCommand, SummarisesAnRf64FileFromItsDs64Chunk)
{
    TempDir dir;
    const std::string path = dir.File("big.wav");
    test::WavSpec spec = PcmSpec(48000, 16, 2, std::string(4 * 4800, '\0'));
    spec.Rf64 = true;
    ASSERT_TRUE(test::WriteWav(path, spec));
    std::ostringstream out, err;
    EXPECT_EQ(RunWaveInfoCommand(path, false, out, err), 1);
    for (const char* line : { "Valid: 0\n", "Frames: 4800\n", "SampleRate: 48000\n", "Bits: 16\n",
             "Channels: 2\n", "DataSize: 19200\n", "LengthMs: 100\n", "FormatTag: 1\n" })
        EXPECT_NE(out.str().find(line), std::string::npos) << line << out.str();
    EXPECT_EQ(err.str(),
        "wave-info: not read as a WAV file: " + path
            + ": it is an RF64 file: the import hands it to the decoder instead of reading it "
              "as a WAV file\n");
}

} // namespace
} // namespace tarvok
