// What the command line says when something cannot be done: the cause, and an exit status
// that is not 0.

#include "cli/cli_app.h"

#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include <sys/stat.h>

namespace tarvok {
namespace {

struct CliRun {
    int Code;
    std::string Out;
    std::string Err;
};

/// A data folder with a project "song" holding one second of a tone.
struct Fixture {
    test::ScopedHome Home;
    std::string Data = Home.Dir().File("data");

    CliRun Run(std::vector<std::string> pArgs)
    {
        pArgs.insert(pArgs.begin(), { "--data-folder", Data });
        std::ostringstream out, err;
        int code = RunCli(pArgs, out, err);
        return { code, out.str(), err.str() };
    }

    Fixture()
    {
        EXPECT_EQ(Run({ "new", "song" }).Code, 0);
        const std::string tone = Home.Dir().File("tone.wav");
        EXPECT_TRUE(test::WriteWav(tone,
            test::PcmSpec(44100, 16, 2,
                test::Stereo16(
                    44100, [](int64_t i) { return static_cast<int>(i % 400) * 20; },
                    [](int64_t i) { return static_cast<int>(i % 300) * 30; }))));
        CliRun import = Run({ "import", "song", tone });
        EXPECT_EQ(import.Code, 0) << import.Err;
    }
};

bool Says(const CliRun& pRun, const std::string& pText)
{
    return pRun.Err.find(pText) != std::string::npos;
}

TEST(CliMessages, AFolderOrAPipeIsNotCalledAMissingFile)
{
    Fixture f;
    const std::string folder = f.Home.Dir().File("folder.wav");
    std::filesystem::create_directories(folder);
    const std::string pipe = f.Home.Dir().File("pipe.wav");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const struct {
        std::vector<std::string> Args;
        const char* Says;
    } kCases[] = {
        { { "import", "song", folder }, "a folder, not a sound file: " },
        { { "import", "song", pipe }, "not a regular file (a pipe, device or socket): " },
        { { "import", "song", f.Home.Dir().File("none.wav") }, "no such file: " },
        { { "info", folder }, "a folder, not a sound file: " },
        { { "info", pipe }, "not a regular file (a pipe, device or socket): " },
        { { "mixdown", "song", "-o", folder }, "フォルダです。ファイルを指定してください" },
        { { "mixdown", "song", "-o", pipe },
            "通常のファイルではありません（パイプまたはデバイス）" },
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Args[0] + " " + c.Args.back());
        CliRun run = f.Run(c.Args);
        EXPECT_NE(run.Code, 0);
        EXPECT_TRUE(Says(run, c.Says)) << run.Err;
    }
    EXPECT_TRUE(std::filesystem::is_fifo(pipe));
}

TEST(CliMessages, AnInvalidWavGivesItsReasonAndAFailingStatus)
{
    Fixture f;
    const std::string wav = f.Home.Dir().File("six.wav");
    test::WavSpec spec = test::PcmSpec(8000, 8, 6, std::string(12, '\0'));
    ASSERT_TRUE(test::WriteWav(wav, spec));
    CliRun info = f.Run({ "info", wav });
    EXPECT_EQ(info.Code, 1);
    EXPECT_TRUE(Says(info, "not a usable WAV file")) << info.Err;
    EXPECT_TRUE(Says(info, "6 channels of 8 bits")) << info.Err;
    // An import of bytes that are no sound says why nothing was imported.
    const std::string junk = f.Home.Dir().File("junk.wav");
    ASSERT_TRUE(test::WriteFileBytes(junk, std::string(3000, 'x')));
    CliRun import = f.Run({ "import", "song", junk });
    EXPECT_EQ(import.Code, 1);
    const std::string prefix = "nothing was imported from " + junk + ": ";
    ASSERT_TRUE(Says(import, prefix)) << import.Err;
    const size_t at = import.Err.find(prefix) + prefix.size();
    EXPECT_GT(import.Err.find('\n', at), at) << "no reason given: " << import.Err;
}

TEST(CliMessages, ADamagedProjectNamesTheLineAndField)
{
    Fixture f;
    ASSERT_TRUE(test::WriteFileBytes(f.Data + "/broken.tvp",
        "0,1,44100,1,1,0,0,0,0,0,207,207,32,0,0,1,0,0,3,0,1,64,0,0\r\n"
        "1,1,0,207,207,1,0,0,0,0,\"\",\"\"\r\n1,zz,0,207,207,1,0,0,0,0,\"\",\"\"\r\n"
        "0,0,0,0,\"a.wav\",\"\"\r\n0,0,0,1,100,0,0,\"0.0\",\"0.0\",0,\"x\"\r\n"));
    for (const char* command : { "info", "mixdown" }) {
        SCOPED_TRACE(command);
        std::vector<std::string> args { command, "broken" };
        if (std::string(command) == "mixdown")
            args.insert(args.end(), { "-o", f.Home.Dir().File("m.wav") });
        CliRun run = f.Run(args);
        EXPECT_EQ(run.Code, 1);
        EXPECT_TRUE(Says(run, "3行目（トラック）の2番目の項目が数値ではありません: \"zz\""))
            << run.Err;
    }
}

TEST(CliMessages, MixdownWritesFlacAndOpusAndRefusesOtherTypes)
{
    Fixture f;
    const std::string other = f.Home.Dir().File("out.xyz");
    CliRun refused = f.Run({ "mixdown", "song", "-o", other });
    EXPECT_EQ(refused.Code, 2);
    EXPECT_TRUE(Says(refused, "cannot write this file type")) << refused.Err;
    EXPECT_FALSE(std::filesystem::exists(other));

    const struct {
        const char* Name;
        const char* Magic;
    } kTypes[] = { { "out.flac", "fLaC" }, { "out.opus", "OggS" }, { "out.wav", "RIFF" } };
    for (const auto& t : kTypes) {
        SCOPED_TRACE(t.Name);
        const std::string target = f.Home.Dir().File(t.Name);
        CliRun run = f.Run({ "mixdown", "song", "-o", target });
        ASSERT_EQ(run.Code, 0) << run.Err;
        EXPECT_EQ(test::ReadFileBytes(target).substr(0, 4), t.Magic);
    }
    // Settings the encoder cannot write are refused before the render, with the reason.
    const std::string low = f.Home.Dir().File("low.opus");
    CliRun rate = f.Run({ "mixdown", "song", "-o", low, "--rate", "44100" });
    EXPECT_EQ(rate.Code, 2);
    EXPECT_TRUE(Says(rate, "Opusの周波数は")) << rate.Err;
    EXPECT_FALSE(std::filesystem::exists(low));
    const std::string mp3 = f.Home.Dir().File("low.mp3");
    CliRun bitRate = f.Run({ "mixdown", "song", "-o", mp3, "--rate", "8000", "--bitrate", "320" });
    EXPECT_NE(bitRate.Code, 0);
    EXPECT_FALSE(std::filesystem::exists(mp3));
}

TEST(CliMessages, AFailedImportGivesItsCauseAndLeavesNoCopy)
{
    Fixture f;
    auto wavFiles = [&f]() {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(f.Data))
            if (entry.path().extension() == ".wav")
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    struct Case {
        const char* Name;
        test::WavSpec Spec;
        std::string Cause;
    };
    test::WavSpec partial = test::PcmSpec(44100, 16, 2, "\x01\x02\x03");
    test::WavSpec slow = test::PcmSpec(4000, 16, 2, std::string(400, '\x10'));
    test::WavSpec tagged = test::PcmSpec(44100, 16, 2, std::string(400, '\x10'));
    tagged.FormatTag = 0x1234;
    test::WavSpec rifx = test::PcmSpec(44100, 16, 2, std::string(400, '\x10'));
    rifx.BigEndian = true;
    const Case cases[] = {
        { "no whole frame", partial, "音声データがありません" },
        { "rate outside the range", slow, "サンプリング周波数 4000 Hz" },
        { "format tag", tagged, "0x1234" },
        { "big-endian", rifx, "RIFX" },
    };
    const std::vector<std::string> before = wavFiles();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string source = f.Home.Dir().File("odd.wav");
        ASSERT_TRUE(test::WriteWav(source, c.Spec));
        CliRun import = f.Run({ "import", "song", source });
        EXPECT_EQ(import.Code, 1);
        const std::string prefix = "nothing was imported from " + source + ": ";
        ASSERT_TRUE(Says(import, prefix)) << import.Err;
        const std::string said = import.Err.substr(import.Err.find(prefix) + prefix.size());
        EXPECT_NE(said.find(c.Cause), std::string::npos) << import.Err;
        EXPECT_EQ(said.find("処理終了"), std::string::npos) << import.Err;
        EXPECT_EQ(wavFiles(), before);
    }
}

} // namespace
} // namespace tarvok
