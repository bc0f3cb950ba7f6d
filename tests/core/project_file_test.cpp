#include "base/file_name.h"
#include "core/project_file.h"

#include "base/legacy_text.h"
#include "core/data_folder.h"
#include "core/envelope.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/peaks.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

namespace tarvok {

namespace {

std::string RampWav(int32_t pFrames)
{
    return test::MakeWav(test::PcmSpec(44100, 16, 2,
        test::Stereo16(
            pFrames, [](int64_t f) { return f % 1000; }, [](int64_t f) { return -(f % 700); })));
}

/// A data folder with a project of two wave files, three blocks, a named track with an
/// envelope file and two fade points.
struct Fixture {
    test::TempDir Dir;
    std::string Data = Dir.File("data/");
    DataFolder Folder { Data };
    HeadlessUi Ui;
    ProjectFileEnv Env { Folder, Ui };
    Project P;

    Fixture()
    {
        std::filesystem::create_directories(Data);
        P.SetFadeTableType(1);
        P.SetTrackCount(4);
        P.DataFolder = Data;
    }

    int32_t AddWave(const std::string& pName, int32_t pFrames)
    {
        std::string path = Data + pName;
        test::WriteFileBytes(path, RampWav(pFrames));
        int32_t w = P.AddWaveFile(path);
        bool cancel = false;
        BuildPeaks(P, w, -1, "", 0, Folder.NewTempName(kTempPeak), Ui, cancel);
        return w;
    }

    void AddBlock(int32_t pWave, int32_t pTrack, int32_t pStart, int32_t pSrcStart, int32_t pSrcEnd,
        std::string pName = "b")
    {
        P.AddBlock();
        Block& b = P.Blocks.back();
        b.WaveNo = pWave;
        b.TrackNo = pTrack;
        b.StartAdr = pStart;
        b.SrcStart = pSrcStart;
        b.SrcEnd = pSrcEnd;
        b.Name = std::move(pName);
        P.NormalizeBlock(P.BlockCount() - 1);
    }

    void Populate()
    {
        int32_t a = AddWave("~t000001.wav", 5000);
        int32_t b = AddWave("~t000002.wav", 3000);
        AddBlock(a, 0, 100, 1, 5000, "Intro, \"take\" 1");
        AddBlock(b, 1, 0, 1001, 3000, "二番");
        AddBlock(a, 2, 9000, 10, 20);
        P.Blocks[0].LevelL = -3.5f;
        P.Blocks[1].LevelR = 2.0f;
        P.Blocks[2].Flags = kBlockLocked | kBlockFadeLocked;
        P.Blocks[2].GroupID = 7;
        P.UpdateTitleLength(false);
        P.Envelopes[1][4] = 100;
        P.Envelopes[1][5] = 50;
        ASSERT_TRUE(SaveEnvelope(P, 1, Folder.NewTempName(kTempEnvelope)));
        P.Tracks[1].Name = "Bass";
        P.Tracks[2].PlaySelected = 0;
        P.Tracks[3].LevelL = 180;
        P.Tracks[3].RecCh = 5;
        P.AddFadePoint();
        P.FadePoints.back() = { 2, 1, 3 };
        P.AddFadePoint();
        P.FadePoints.back() = { 0, 0, 1 };
        P.MarkIn = 10;
        P.MarkOut = 500;
        P.Head = 42;
        P.Zoom = 8;
        P.CurrentTrack = 1;
        P.Tracks[1].Selected = 1;
        P.ZeroPos = 7;
        P.LevelZoomDB = 6;
        P.MasterLevelL = 200;
        ASSERT_EQ(P.CheckInvariants(), "");
    }

    /// A fresh project read from pPath.
    Project Read(const std::string& pPath, bool pUndo = false)
    {
        Project q;
        q.SetFadeTableType(1);
        q.SetTrackCount(8);
        q.DataFolder = Data;
        Status s = ReadProject(q, pPath, pUndo, false, Env);
        EXPECT_TRUE(s) << (s ? "" : s.error().Message);
        return q;
    }
};

} // namespace

TEST(ProjectFile, FieldsSplitAtCommasOutsideQuotes)
{
    EXPECT_EQ(SplitProjectFields("1,\"a,b\",\"\",x\"y\"z,"),
        (std::vector<std::string> { "1", "a,b", "", "xyz", "" }));
    EXPECT_EQ(SplitProjectFields(QuoteProjectField("say \"hi\", then\r\ngo")),
        (std::vector<std::string> { "say \"hi\", then  go" }));
}

TEST(ProjectFile, BlockLevelsHaveOneDecimal)
{
    const std::pair<float, const char*> kCases[] = {
        { 0.0f, "0.0" },
        { -3.5f, "-3.5" },
        { 2.0f, "2.0" },
        { -0.04f, "0.0" },
        { 1.25f, "1.3" },
        { -1.25f, "-1.3" },
        { 12.0f, "12.0" },
        { -110.0f, "-110.0" },
    };
    for (auto [value, text] : kCases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(FormatBlockLevel(value), text);
    }
}

TEST(ProjectFile, RoundTripKeepsEveryField)
{
    Fixture f;
    f.Populate();
    std::string path = f.Data + "song.tvp";
    ASSERT_TRUE(WriteProject(f.P, path, false, f.Env));
    std::string text = test::ReadFileBytes(path);
    EXPECT_NE(text.find("\r\n"), std::string::npos);

    Project q = f.Read(path);
    EXPECT_EQ(q.CheckInvariants(), "");
    EXPECT_EQ(q.Blocks, f.P.Blocks);
    EXPECT_EQ(q.WaveFiles, f.P.WaveFiles);
    EXPECT_EQ(q.Peaks, f.P.Peaks);
    EXPECT_EQ(q.Envelopes, f.P.Envelopes);
    EXPECT_EQ(q.EnvelopeLength, f.P.EnvelopeLength);
    ASSERT_EQ(q.TrackCount(), 4);
    for (int t = 0; t < 4; ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ(q.Tracks[t].Name, f.P.Tracks[t].Name);
        EXPECT_EQ(q.Tracks[t].EnvelopeFile, f.P.Tracks[t].EnvelopeFile);
        EXPECT_EQ(q.Tracks[t].PlaySelected, f.P.Tracks[t].PlaySelected);
        EXPECT_EQ(q.Tracks[t].LevelL, f.P.Tracks[t].LevelL);
        EXPECT_EQ(q.Tracks[t].RecCh, f.P.Tracks[t].RecCh);
    }
    ASSERT_EQ(q.FadePointCount(), 2);
    EXPECT_EQ(q.FadePoints[0].EnvFrame, 2);
    EXPECT_EQ(q.FadePoints[0].Channels, 3);
    EXPECT_EQ(q.MarkIn, 10);
    EXPECT_EQ(q.MarkOut, 500);
    EXPECT_EQ(q.Head, 42);
    EXPECT_EQ(q.Zoom, 8);
    EXPECT_EQ(q.CurrentTrack, 1);
    EXPECT_EQ(q.ZeroPos, 7);
    EXPECT_EQ(q.LevelZoomDB, 6);
    EXPECT_EQ(q.MasterLevelL, 200);
    // Writing what was read gives the same file.
    EXPECT_EQ(ProjectFileText(q), text);
}

TEST(ProjectFile, OldHeaderOf21FieldsReadsWithStep64AndNoFadePoints)
{
    Fixture f;
    f.Populate();
    std::string path = f.Data + "old.tvp";
    f.P.FadePoints.clear();
    std::string text = ProjectFileText(f.P);
    std::vector<std::string> header = SplitProjectFields(text.substr(0, text.find("\r\n")));
    header.resize(21);
    std::string newHeader;
    for (size_t i = 0; i < header.size(); ++i)
        newHeader += (i ? "," : "") + header[i];
    test::WriteFileBytes(path, newHeader + text.substr(text.find("\r\n")));
    Project q = f.Read(path);
    EXPECT_EQ(q.SampleStep, 64);
    EXPECT_EQ(q.FadePointCount(), 0);
    EXPECT_EQ(q.BlockCount(), 3);
}

TEST(ProjectFile, RelativeAndForeignAbsoluteNamesAreFoundBesideTheProject)
{
    Fixture f;
    std::string folder = f.Dir.File("elsewhere/");
    std::filesystem::create_directories(folder);
    test::WriteFileBytes(folder + "~t000123.wav", RampWav(800));
    test::WriteFileBytes(folder + "~t000124.wav", RampWav(900));
    std::string text = "0,0,44100,2,2,0,0,0,0,0,207,207,32,0,0,0,0,0,3,0,1,64,0,0\r\n"
                       "1,1,0,207,207,1,0,0,0,0,\"\",\"\"\r\n"
                       "0,0,0,0,\"~t000123.wav\",\"\"\r\n"
                       "0,0,0,0,\"C:\\work\\data\\~t000124.wav\",\"\"\r\n"
                       "0,0,0,1,800,0,0,\"0.0\",\"0.0\",0,\"a\"\r\n"
                       "1000,1,0,1,900,0,0,\"0.0\",\"0.0\",0,\"b\"\r\n";
    test::WriteFileBytes(folder + "p.tvp", text);
    Project q = f.Read(folder + "p.tvp");
    ASSERT_EQ(q.WaveFileCount(), 2);
    EXPECT_EQ(q.WaveFiles[0].FileName, folder + "~t000123.wav");
    EXPECT_EQ(q.WaveFiles[1].FileName, folder + "~t000124.wav");
    EXPECT_EQ(q.WaveFiles[1].Length, 900);
    // No peak files: both were rebuilt into the data folder.
    EXPECT_EQ(FolderOf(q.WaveFiles[0].PeakFile), f.Data);
    EXPECT_TRUE(FileExists(q.WaveFiles[0].PeakFile));
    EXPECT_EQ(q.CheckInvariants(), "");
}

TEST(ProjectFile, MissingWorkingFilesAreReportedAndDroppedWithTheirBlocks)
{
    Fixture f;
    f.Populate();
    std::string path = f.Data + "song.tvp";
    ASSERT_TRUE(WriteProject(f.P, path, false, f.Env));
    std::string missingWave = f.P.WaveFiles[0].FileName;
    std::string missingEnvelope = f.P.Tracks[1].EnvelopeFile;
    std::filesystem::remove(missingWave);
    std::filesystem::remove(missingEnvelope);
    Project q = f.Read(path);
    EXPECT_EQ(f.Ui.BoxTexts(),
        (std::vector<std::string> { "ファイルが存在しません\n" + missingEnvelope,
            "ファイルが存在しません\n" + missingWave }));
    ASSERT_EQ(q.BlockCount(), 1);
    EXPECT_EQ(q.Blocks[0].Name, "二番");
    EXPECT_EQ(q.Blocks[0].WaveNo, 0);
    EXPECT_EQ(q.WaveFileCount(), 1);
    EXPECT_EQ(q.Envelopes[1], TrackEnvelope(static_cast<size_t>(q.EnvelopeLength) * 2, 207));
    EXPECT_EQ(q.CheckInvariants(), "");
}

// A working file replaced by a folder or a pipe of its name is dropped like a missing one,
// and the message says what is there instead of "no such file".
TEST(ProjectFile, AFolderOrPipeInPlaceOfAWorkingFileIsNamedAsSuch)
{
    for (const bool pipe : { false, true }) {
        SCOPED_TRACE(pipe ? "pipe" : "folder");
        Fixture f;
        f.Populate();
        std::string path = f.Data + "song.tvp";
        ASSERT_TRUE(WriteProject(f.P, path, false, f.Env));
        const std::string wave = f.P.WaveFiles[0].FileName;
        std::filesystem::remove(wave);
        if (pipe) {
            ASSERT_EQ(::mkfifo(wave.c_str(), 0600), 0);
        } else {
            std::filesystem::create_directory(wave);
        }
        Project q = f.Read(path);
        const std::string expected = NotARegularFileText(wave);
        EXPECT_NE(expected, "ファイルが存在しません");
        EXPECT_EQ(f.Ui.BoxTexts(), std::vector<std::string> { expected + "\n" + wave });
        EXPECT_EQ(q.BlockCount(), 1);
        EXPECT_EQ(q.CheckInvariants(), "");
    }
}

TEST(ProjectFile, StalePeakFilesAreRebuiltAndTheNewNamesSaved)
{
    Fixture f;
    f.Populate();
    std::string path = f.Data + "song.tvp";
    ASSERT_TRUE(WriteProject(f.P, path, false, f.Env));
    std::string oldPeak = f.P.WaveFiles[1].PeakFile;
    test::WriteFileBytes(oldPeak, "short");
    Project q = f.Read(path);
    EXPECT_NE(q.WaveFiles[1].PeakFile, oldPeak);
    EXPECT_EQ(q.Peaks[1], f.P.Peaks[1]);
    EXPECT_NE(ProjectFileText(q).find(FileNameOf(q.WaveFiles[1].PeakFile)), std::string::npos);
}

TEST(ProjectFile, UndoSnapshotsRestoreViewFieldsOnlyWithUndoAllAndNeverTheSelection)
{
    Fixture f;
    f.Populate();
    f.P.Tracks[2].Selected = 1;
    std::string path = f.Data + "~t000000.tvp";
    ASSERT_TRUE(WriteProject(f.P, path, false, f.Env));
    for (bool undoAll : { true, false }) {
        SCOPED_TRACE(undoAll);
        f.Env.UndoAll = undoAll;
        Project q;
        q.SetFadeTableType(1);
        q.SetTrackCount(4);
        q.MarkIn = 1;
        q.MarkOut = 2;
        q.Head = 3;
        ASSERT_TRUE(ReadProject(q, path, true, false, f.Env));
        EXPECT_EQ(q.MarkIn, undoAll ? 10 : 1);
        EXPECT_EQ(q.MarkOut, undoAll ? 500 : 2);
        EXPECT_EQ(q.Head, undoAll ? 42 : 3);
        EXPECT_EQ(q.Tracks[2].Selected, 0);
        EXPECT_EQ(q.Tracks[q.CurrentTrack].Selected, 1);
        EXPECT_EQ(q.BlockCount(), 3);
    }
}

TEST(ProjectFile, LegacyEnvelopesAreConvertedAndSavedUnderANewName)
{
    Fixture f;
    f.Populate();
    std::string text = ProjectFileText(f.P);
    std::vector<std::string> header = SplitProjectFields(text.substr(0, text.find("\r\n")));
    header[18] = "0";
    std::string newHeader;
    for (size_t i = 0; i < header.size(); ++i)
        newHeader += (i ? "," : "") + header[i];
    std::string path = f.Data + "legacy.tvp";
    test::WriteFileBytes(path, newHeader + text.substr(text.find("\r\n")));
    Project q = f.Read(path);
    EXPECT_NE(q.Tracks[1].EnvelopeFile, f.P.Tracks[1].EnvelopeFile);
    // Byte 128 meant gain 1.0 in the old encoding, 100 a gain of 100/128.
    EXPECT_EQ(q.Envelopes[1][0], ConvertLegacyLevel(q.Fades, 207));
    EXPECT_EQ(q.Envelopes[1][4], ConvertLegacyLevel(q.Fades, 100));
    std::string saved = test::ReadFileBytes(q.Tracks[1].EnvelopeFile);
    ASSERT_EQ(saved.size(), static_cast<size_t>(q.EnvelopeLength) * 2);
    EXPECT_EQ(static_cast<uint8_t>(saved[4]), q.Envelopes[1][4]);
}

TEST(ProjectFile, ClipboardRoundTripAndRateCheck)
{
    Fixture f;
    f.Populate();
    ClipProject& c = f.P.Clip;
    c.Blocks = { f.P.Blocks[1] };
    c.Blocks[0].TrackNo = 0;
    c.WaveFiles = { f.P.WaveFiles[1] };
    c.Blocks[0].WaveNo = 0;
    c.Peaks = { f.P.Peaks[1] };
    c.LastTrackNo = 1;
    c.FirstTrack = 1;
    c.Length = 2000;
    c.Envelopes = { TrackEnvelope(6, 150), TrackEnvelope() };
    c.TrackPresent = { 1, 0 };
    std::string path = f.Data + "clip.tvp";
    ASSERT_TRUE(WriteProject(f.P, path, true, f.Env));

    Project q = f.P;
    q.Clip.Clear();
    ASSERT_TRUE(ReadProject(q, path, false, true, f.Env));
    EXPECT_EQ(q.Clip.Blocks.size(), 1u);
    EXPECT_EQ(q.Clip.LastTrackNo, 1);
    EXPECT_EQ(q.Clip.TrackPresent, (std::vector<uint8_t> { 1, 0 }));
    EXPECT_FALSE(q.Clip.NoEnvelope);
    EXPECT_EQ(q.Clip.Envelopes[0][0], 150);
    EXPECT_EQ(q.Blocks, f.P.Blocks); // the project itself is untouched

    q.SampleRate = 48000;
    f.Ui.ClearEvents();
    const Status mismatch = ReadProject(q, path, false, true, f.Env);
    ASSERT_FALSE(mismatch);
    EXPECT_EQ(mismatch.error().Code, ErrorCode::RateMismatch);
    EXPECT_EQ(f.Ui.BoxTexts(), std::vector<std::string> { "サンプリング周波数が違います" });
}

TEST(ProjectFile, DamagedFilesFailCleanlyAndLeaveTheProjectAsItWas)
{
    Fixture f;
    f.Populate();
    const std::string header = "0,1,44100,1,1,0,0,0,0,0,207,207,32,0,0,1,0,0,3,0,1,64,0,0";
    const std::string track = "1,1,0,207,207,1,0,0,0,0,\"\",\"\"";
    const std::string wave = "0,0,0,0,\"~t000001.wav\",\"\"";
    const std::string block = "0,0,0,1,100,0,0,\"0.0\",\"0.0\",0,\"x\"";
    auto file = [](std::initializer_list<std::string> lines) {
        std::string out;
        for (const std::string& l : lines)
            out += l + "\r\n";
        return out;
    };
    // Each case: the damage, the file, and what the message must say (where the reader
    // stopped: the line and the field).
    const struct {
        const char* Name;
        std::string Text;
        const char* Says;
    } kCases[] = {
        { "empty", "", "ファイルが空です" },
        { "short header", file({ "0,1,44100,1,1", track, track, wave, block }),
            "1行目（ヘッダ）の項目が21個より少なくなっています（5個）" },
        { "missing track line", file({ header, track }), "ファイルが途中で終わっています" },
        { "short track line", file({ header, track, "1,1,0", wave, block }),
            "3行目（トラック）の項目が12個より少なくなっています" },
        { "missing block line", file({ header, track, track, wave }),
            "ファイルが途中で終わっています" },
        { "non-numeric field",
            file({ header, track, "1,x,0,207,207,1,0,0,0,0,\"\",\"\"", wave, block }),
            "3行目（トラック）の2番目の項目が数値ではありません: \"x\"" },
        { "block names a missing wave",
            file({ header, track, track, wave, "0,5,0,1,100,0,0,\"0.0\",\"0.0\",0,\"x\"" }),
            "5行目（ブロック）の2番目の項目が存在しないwavファイルの番号です: 5" },
        { "huge counts",
            file({ "0,1,44100,99999999,99999999,0,0,0,0,0,207,207,32,0,0,1,0,0,3,0,1,64,0,0", track,
                track }),
            "ファイルが途中で終わっています" },
        { "track count out of range",
            file({ "0,10000,44100,0,0,0,0,0,0,0,207,207,32,0,0,1,0,0,3,0,1,64,0,0" }),
            "1行目（ヘッダ）の2番目の項目（最後のトラック番号）が範囲外です: 10000" },
        { "envelope length absurd",
            file({ "0,1,44100,0,0,2000000000,0,0,0,0,207,207,32,0,0,1,0,0,3,0,1,64,0,0", track,
                track }),
            "1行目（ヘッダ）の6番目の項目（エンベロープの長さ）が範囲外です" },
        { "bad rate",
            file({ "0,1,0,0,0,0,0,0,0,0,207,207,32,0,0,1,0,0,3,0,1,64,0,0", track, track }),
            "1行目（ヘッダ）の3番目の項目（サンプリング周波数）が範囲外です: 0" },
        { "bad level",
            file({ header, track, track, wave, "0,0,0,1,100,0,0,\"loud\",\"0.0\",0,\"x\"" }),
            "5行目（ブロック）の8番目の項目（レベル）が正しくありません: \"loud\"" },
    };
    Project before = f.P;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Name);
        std::string path = f.Data + "bad.tvp";
        test::WriteFileBytes(path, c.Text);
        Status read = ReadProject(f.P, path, false, false, f.Env);
        ASSERT_FALSE(read);
        EXPECT_NE(read.error().Message.find(c.Says), std::string::npos) << read.error().Message;
        EXPECT_EQ(f.P.Blocks, before.Blocks);
        EXPECT_EQ(f.P.WaveFiles, before.WaveFiles);
        EXPECT_EQ(f.P.LastTrackNo, before.LastTrackNo);
        EXPECT_EQ(f.P.CheckInvariants(), "");
    }
    // A folder or a pipe is not called a missing file.
    Status folder = ReadProject(f.P, f.Data, false, false, f.Env);
    ASSERT_FALSE(folder);
    EXPECT_EQ(folder.error().Message, "フォルダです。ファイルを指定してください");
    ASSERT_EQ(::mkfifo((f.Data + "pipe.tvp").c_str(), 0600), 0);
    Status pipe = ReadProject(f.P, f.Data + "pipe.tvp", false, false, f.Env);
    ASSERT_FALSE(pipe);
    EXPECT_EQ(pipe.error().Message, "通常のファイルではありません（パイプまたはデバイス）");
    Status missing = ReadProject(f.P, f.Data + "nothing.tvp", false, false, f.Env);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().Message, "ファイルが存在しません");
}

TEST(ProjectFile, OutOfRangeValuesAreNormalised)
{
    Fixture f;
    test::WriteFileBytes(f.Data + "~t000001.wav", RampWav(100));
    std::string text = "0,1,44100,1,2,0,0,0,99,0,999,-5,0,0,0,50,5000,0,3,0,1,64,1,0\r\n"
                       "1,1,0,300,-2,1,0,0,0,0,\"\",\"\"\r\n"
                       "1,1,0,207,207,1,0,0,0,0,\"\",\"\"\r\n"
                       "0,0,0,0,\"~t000001.wav\",\"\"\r\n"
                       "0,0,10000,0,999,0,0,\"0.0\",\"0.0\",0,\"x\"\r\n"
                       "1071181818,0,1,5,10,0,0,\"0.0\",\"0.0\",0,\"y\"\r\n"
                       "0,40,1\r\n";
    test::WriteFileBytes(f.Data + "odd.tvp", text);
    Project q = f.Read(f.Data + "odd.tvp");
    EXPECT_EQ(q.CheckInvariants(), "");
    EXPECT_EQ(q.CurrentTrack, 1);
    EXPECT_EQ(q.MasterLevelL, 255);
    EXPECT_EQ(q.MasterLevelR, 0);
    EXPECT_EQ(q.Tracks[0].LevelL, 255);
    EXPECT_EQ(q.Blocks[0].TrackNo, 1);
    EXPECT_EQ(q.Blocks[0].StartAdr, 0);
    EXPECT_EQ(q.Blocks[0].SrcStart, 1);
    EXPECT_EQ(q.Blocks[0].SrcEnd, 100);
    EXPECT_EQ(q.Blocks[1].EndAdr, kMaxLength - 1);
    EXPECT_EQ(q.FadePointCount(), 0); // on a track that does not exist
    EXPECT_GE(q.Zoom, 1);
}

TEST(ProjectFile, LegacyShiftJisNamesAreConverted)
{
    Fixture f;
    test::WriteFileBytes(f.Data + "~t000001.wav", RampWav(100));
    // "音" in Shift-JIS is 0x89 0xB9.
    std::string text = "0,0,44100,1,1,0,0,0,0,0,207,207,32,0,0,0,0,0,3,0,1,64,0,0\r\n"
                       "1,1,0,207,207,1,0,0,0,0,\"\x89\xB9\",\"\"\r\n"
                       "0,0,0,0,\"~t000001.wav\",\"\"\r\n"
                       "0,0,0,1,100,0,0,\"0.0\",\"0.0\",0,\"\x89\xB9\"\r\n";
    test::WriteFileBytes(f.Data + "sjis.tvp", text);
    LegacyTextDecoder decoder = [](std::string_view pBytes) -> std::optional<std::string> {
        std::string out(pBytes);
        for (size_t at; (at = out.find("\x89\xB9")) != std::string::npos;)
            out.replace(at, 2, "音");
        return out;
    };
    SetLegacyTextDecoder(decoder);
    Project q = f.Read(f.Data + "sjis.tvp");
    SetLegacyTextDecoder(nullptr);
    EXPECT_EQ(q.Tracks[0].Name, "音");
    EXPECT_EQ(q.Blocks[0].Name, "音");
}

} // namespace tarvok

namespace tarvok {

TEST(ProjectFile, NamesReadThroughARelativeProjectPathMeanTheSameFilesWhenSavedAndReadElsewhere)
{
    Fixture f;
    // A SAVEALL-style folder: the project names its files relative to itself.
    const std::string out = f.Dir.File("out/");
    std::filesystem::create_directories(out);
    test::WriteFileBytes(out + "00000001.wav", RampWav(700));
    std::string text = "0,0,44100,1,1,0,0,0,0,0,207,207,32,0,0,0,0,0,3,0,1,64,0,0\r\n"
                       "1,1,0,207,207,1,0,0,0,0,\"\",\"\"\r\n"
                       "0,0,0,0,\"00000001.wav\",\"\"\r\n"
                       "0,0,0,1,700,0,0,\"0.0\",\"0.0\",0,\"a\"\r\n";
    test::WriteFileBytes(out + "x.tvp", text);

    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(f.Dir.Path());
    Project q = f.Read("out/x.tvp");
    const bool saved = WriteProject(q, "out/x.tvp", false, f.Env).has_value();
    std::filesystem::current_path(before);

    ASSERT_EQ(q.WaveFileCount(), 1);
    EXPECT_EQ(q.WaveFiles[0].FileName, out + "00000001.wav");
    ASSERT_TRUE(saved);
    // Read again by its full path, from another current folder: every block is there.
    Project again = f.Read(out + "x.tvp");
    ASSERT_EQ(again.WaveFileCount(), 1);
    EXPECT_EQ(again.WaveFiles[0].FileName, out + "00000001.wav");
    EXPECT_EQ(again.BlockCount(), 1);
}

} // namespace tarvok
