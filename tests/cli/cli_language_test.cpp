// The language of what the command line says when something cannot be done: --lang chooses
// it for one run, and the program follows the locale when no --lang is given.

#include "../platform/sound_servers.h"
#include "cli_project.h"
#include "support/japanese_text.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tarvok {
namespace {

using test::HasJapanese;

// Removes an environment variable for the life of the object, then puts it back.
class ScopedUnsetEnv {
public:
    explicit ScopedUnsetEnv(const char* pName)
        : name_(pName)
    {
        if (const char* old = std::getenv(pName))
            old_ = old;
        ::unsetenv(pName);
    }
    ~ScopedUnsetEnv()
    {
        if (old_)
            ::setenv(name_.c_str(), old_->c_str(), 1);
    }
    ScopedUnsetEnv(const ScopedUnsetEnv&) = delete;
    ScopedUnsetEnv& operator=(const ScopedUnsetEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// "p.tvp" with one block of a second of sound, and beside it projects that go wrong in
// different ways: one whose working file is gone, one whose working file is no sound, one
// with a damaged line (the program's own run reads that one).
struct Fixture : test::CliProject {
    Fixture()
        : test::CliProject(
            test::Stereo16(
                44100, [](int64_t f) { return f % 100; }, [](int64_t f) { return f % 70; }),
            1, 0)
    {
        const std::string text = test::ReadFileBytes(ProjectPath);
        const std::string wave = WaveFile();
        EXPECT_FALSE(wave.empty());
        auto withWave = [&](const std::string& pWave) {
            std::string copy = text;
            copy.replace(copy.find(wave), wave.size(), pWave);
            return copy;
        };
        EXPECT_TRUE(test::WriteFileBytes(Data + "gone.tvp", withWave(Data + "none.wav")));
        EXPECT_TRUE(test::WriteFileBytes(Data + "junk.wav", std::string(3000, 'x')));
        EXPECT_TRUE(test::WriteFileBytes(Data + "noise.tvp", withWave(Data + "junk.wav")));
        EXPECT_TRUE(test::WriteFileBytes(Data + "broken.tvp",
            "0,1,44100,1,1,0,0,0,0,0,207,207,32,0,0,1,0,0,3,0,1,64,0,0\r\n"
            "1,1,0,207,207,1,0,0,0,0,\"\",\"\"\r\n1,zz,0,207,207,1,0,0,0,0,\"\",\"\"\r\n"
            "0,0,0,0,\"a.wav\",\"\"\r\n0,0,0,1,100,0,0,\"0.0\",\"0.0\",0,\"x\"\r\n"));
        EXPECT_TRUE(test::WriteFileBytes(Home.Dir().File("script.txt"), "MARKIN abc\n"));
        EXPECT_TRUE(test::WriteFileBytes(Home.Dir().File("curve.txt"), "0 300\n"));
    }

    /// The working file of the block, as p.tvp names it.
    std::string WaveFile() const
    {
        for (const auto& entry : std::filesystem::directory_iterator(Data))
            if (entry.path().extension() == ".wav")
                return entry.path().string();
        return {};
    }
};

TEST(CliLanguage, FailuresSpeakTheChosenLanguage)
{
    Fixture f;
    const std::string out = f.Home.Dir().File("out.wav");
    struct Case {
        const char* What;
        std::vector<std::string> Args;
        std::string English;
        std::string Japanese;
    };
    const std::vector<Case> cases = {
        { "a missing project", { "info", "missing" }, "no such project: ", "no such project: " },
        { "a project whose working file is gone", { "mixdown", "gone", "-o", out },
            "The file does not exist\n" + f.Data + "none.wav",
            "ファイルが存在しません\n" + f.Data + "none.wav" },
        { "a broken WAV file", { "mixdown", "noise", "-o", out },
            "Unsupported file format\n" + f.Data + "junk.wav",
            "ファイル形式が違います\n" + f.Data + "junk.wav" },
        { "a bad run script line", { "run", "p", f.Home.Dir().File("script.txt") },
            "line 1: MARKIN: not a time: abc", "line 1: MARKIN: not a time: abc" },
        { "an unknown effect", { "fx", "p", "999" }, "no such effect: 999", "no such effect: 999" },
        { "an effect parameter out of range", { "fx", "p", "106", "0" },
            "P0 (Delay) takes 1..500: 0", "P0 (遅延) takes 1..500: 0" },
        { "a bad fade curve",
            { "automate", "p", "--track", "1", "--from", "0", "--curve",
                f.Home.Dir().File("curve.txt") },
            "not a level", "not a level" },
        { "a format the encoder refuses",
            { "mixdown", "p", "-o", f.Home.Dir().File("low.opus"), "--rate", "44100" },
            "The Opus sample rate must be one of 48000, 24000, 16000, 12000 or 8000",
            "Opusの周波数は48000, 24000, 16000, 12000, 8000のいずれかです" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        std::vector<std::string> english { "--lang", "en" };
        english.insert(english.end(), c.Args.begin(), c.Args.end());
        const test::CliRun inEnglish = f.Run(english);
        EXPECT_NE(inEnglish.Code, 0);
        EXPECT_FALSE(HasJapanese(inEnglish.Err)) << inEnglish.Err;
        EXPECT_NE(inEnglish.Err.find(c.English), std::string::npos) << inEnglish.Err;

        std::vector<std::string> japanese { "--lang", "ja" };
        japanese.insert(japanese.end(), c.Args.begin(), c.Args.end());
        const test::CliRun inJapanese = f.Run(japanese);
        EXPECT_NE(inJapanese.Code, 0);
        EXPECT_NE(inJapanese.Err.find(c.Japanese), std::string::npos) << inJapanese.Err;
    }
}

TEST(CliLanguage, TheProgramFollowsTheLocaleWithoutLang)
{
    Fixture f;
    ScopedUnsetEnv language("LANGUAGE");
    ScopedUnsetEnv all("LC_ALL");
    ScopedUnsetEnv messages("LC_MESSAGES");
    const struct {
        const char* Locale;
        const char* Says;
    } kCases[] = {
        { "C.UTF-8", "Line 3 (track), field 2 is not a number: \"zz\"" },
        { "ja_JP.UTF-8", "3行目（トラック）の2番目の項目が数値ではありません: \"zz\"" },
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Locale);
        test::ScopedEnv lang("LANG", c.Locale);
        const std::string log = f.Home.Dir().File("cli.log");
        const int status
            = test::RunProgram({ TARVOK2_CLI_EXE, "--data-folder", f.Data, "info", "broken" }, log);
        const std::string said = test::ReadFileBytes(log);
        EXPECT_EQ(status, 1) << said;
        EXPECT_NE(said.find(c.Says), std::string::npos) << said;
    }
}

} // namespace
} // namespace tarvok
