#include "core/data_folder.h"

#include "core/headless_ui.h"
#include "core/paths.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace tarvok {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::ScopedHome;
using test::TempDir;
using test::WriteFileBytes;
using TimePoint = std::chrono::system_clock::time_point;

struct WaveRef {
    std::string Wave;
    std::string Peak;
};

// A project file laid out as the program writes it: a 24-field header, one line per track
// (field 11 the envelope file), one per wave file (fields 4 and 5), one block per wave.
std::string ProjectText(const std::vector<std::string>& pEnvelopes,
    const std::vector<WaveRef>& pWaves, std::string_view pEol = "\r\n")
{
    const size_t tracks = pEnvelopes.empty() ? 1 : pEnvelopes.size();
    std::string text = "0," + std::to_string(tracks - 1) + ",44100," + std::to_string(pWaves.size())
        + "," + std::to_string(pWaves.size()) + ",3,0,0,0,0,200,200,10,0,0,8,0,0,3,0,1,64,0,40";
    text += pEol;
    for (size_t t = 0; t < tracks; ++t) {
        std::string envelope = t < pEnvelopes.size() ? pEnvelopes[t] : "";
        text += "1,0,1,200,200,0,0,0,0,0,\"Track " + std::to_string(t + 1) + "\",\"" + envelope
            + "\"";
        text += pEol;
    }
    for (const WaveRef& w : pWaves) {
        text += "0,0,0,0,\"" + w.Wave + "\",\"" + w.Peak + "\"";
        text += pEol;
    }
    for (size_t b = 0; b < pWaves.size(); ++b) {
        text += "0," + std::to_string(b) + ",0,1,4410,0,0,\"0.0\",\"0.0\",0,\"take\"";
        text += pEol;
    }
    return text;
}

void Touch(const TempDir& pDir, const std::vector<std::string>& pNames)
{
    for (const std::string& name : pNames)
        ASSERT_TRUE(WriteFileBytes(pDir.File(name), "x")) << name;
}

bool Exists(const std::string& pPath)
{
    std::error_code ec;
    return fs::exists(pPath, ec);
}

// A moment of local time; out-of-range days are normalised (day -16 of March is in February).
TimePoint LocalMoment(int pYear, int pMonth, int pDay, int pHour, int pMinute, int pSecond)
{
    std::tm t {};
    t.tm_year = pYear - 1900;
    t.tm_mon = pMonth - 1;
    t.tm_mday = pDay;
    t.tm_hour = pHour;
    t.tm_min = pMinute;
    t.tm_sec = pSecond;
    t.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&t));
}

void SetWriteTime(const std::string& pPath, TimePoint pTime)
{
    std::error_code ec;
    fs::last_write_time(pPath, std::chrono::file_clock::from_sys(pTime), ec);
    ASSERT_FALSE(ec) << pPath;
}

TEST(DataFolder, SavedProjectKeepsItsWorkingFilesAndTheRestGoes)
{
    TempDir dir;
    Touch(dir,
        { "~t000012.wav", "~t000012.wwf", "~t000013.wav", "~t000013.wwf", "~t000001.wfd",
            "~t000002.wfd" });
    ASSERT_TRUE(WriteFileBytes(dir.File("song.tvp"),
        ProjectText({ dir.File("~t000001.wfd") },
            { { dir.File("~t000012.wav"), dir.File("~t000012.wwf") } })));
    HeadlessUi ui;

    EXPECT_EQ(CleanDataFolder(dir.Path(), 0, ui), 3);

    for (const char* kept : { "~t000012.wav", "~t000012.wwf", "~t000001.wfd", "song.tvp" })
        EXPECT_TRUE(Exists(dir.File(kept))) << kept;
    for (const char* gone : { "~t000013.wav", "~t000013.wwf", "~t000002.wfd" })
        EXPECT_FALSE(Exists(dir.File(gone))) << gone;
    std::vector<std::string> status = ui.StatusTexts();
    ASSERT_FALSE(status.empty());
    EXPECT_EQ(status.front(), "Check song.tvp…");
    EXPECT_EQ(ui.LastStatus(), "");
    EXPECT_GE(ui.YieldCount(), 1);
}

TEST(DataFolder, ARecordingWithItsMarkerIsKeptByTheCleanUp)
{
    // A take of a recording that never finished (the process was killed) is named by no
    // project; its marker keeps it until it is placed or declined.
    TempDir dir;
    Touch(dir,
        { "~t000020.wav", std::string("~t000020.wav") + kRecordingMarkerSuffix, "~t000021.wav" });
    HeadlessUi ui;

    EXPECT_EQ(CleanDataFolder(dir.Path(), 0, ui), 1);

    EXPECT_TRUE(Exists(dir.File("~t000020.wav")));
    EXPECT_TRUE(Exists(dir.File(std::string("~t000020.wav") + kRecordingMarkerSuffix)));
    EXPECT_FALSE(Exists(dir.File("~t000021.wav")));
}

TEST(DataFolder, ReferenceFormsThatFindTheFileHereProtectIt)
{
    // Relative names are taken beside the project file; names of another system, and
    // absolute names that do not exist, are looked for beside the project file by the
    // reader, so the file here is in use.
    const char* const kRefs[] = {
        "~t000012.wav",
        "./~t000012.wav",
        "~T000012.WAV",
        "C:\\lumora\\tarvok2\\data\\~t000012.wav",
        "\\\\server\\share\\~t000012.wav",
        "/no/such/folder/~t000012.wav",
    };
    for (const char* ref : kRefs) {
        SCOPED_TRACE(ref);
        TempDir dir;
        Touch(dir, { "~t000012.wav", "~t000013.wav" });
        ASSERT_TRUE(WriteFileBytes(dir.File("p.tvp"), ProjectText({ "" }, { { ref, "" } })));
        HeadlessUi ui;
        EXPECT_EQ(CleanDataFolder(dir.Path(), 0, ui), 1);
        EXPECT_TRUE(Exists(dir.File("~t000012.wav")));
        EXPECT_FALSE(Exists(dir.File("~t000013.wav")));
    }
}

TEST(DataFolder, ReferenceToAnotherFolderDoesNotProtectTheSameNameHere)
{
    TempDir dir;
    TempDir other;
    Touch(dir, { "~t000012.wav", "~t000014.wav" });
    Touch(other, { "~t000012.wav" });
    fs::create_directory(dir.File("sub"));
    Touch(dir, { "sub/~t000014.wav" });
    ASSERT_TRUE(WriteFileBytes(dir.File("p.tvp"),
        ProjectText({ "" }, { { other.File("~t000012.wav"), "" }, { "sub/~t000014.wav", "" } })));
    HeadlessUi ui;

    EXPECT_EQ(CleanDataFolder(dir.Path(), 0, ui), 2);

    EXPECT_FALSE(Exists(dir.File("~t000012.wav")));
    EXPECT_FALSE(Exists(dir.File("~t000014.wav")));
    EXPECT_TRUE(Exists(other.File("~t000012.wav")));
    EXPECT_TRUE(Exists(dir.File("sub/~t000014.wav")));
}

TEST(DataFolder, OnlyGeneratedNamesAreCleanedAndUserFilesStay)
{
    TempDir dir;
    Touch(dir,
        { "~s000001.wav", "~s000002.wwf", "~T000005.WAV", "~t12345a.wav", "~t000001.bak",
            "~t0000012.wav", "~t00001.wav", "~t000001wav.", "take.wav", "00000001.wav", "last.tvp",
            "~t000003.tvp", "notes.txt" });
    fs::create_directory(dir.File("~t000007.wav"));
    // "last.tvp" is a project like any other for the clean-up's keep list.
    ASSERT_TRUE(WriteFileBytes(dir.File("last.tvp"), ProjectText({ "" }, {})));
    HeadlessUi ui;

    EXPECT_EQ(CleanDataFolder(dir.Path(), 0, ui), 3);

    for (const char* gone : { "~s000001.wav", "~s000002.wwf", "~T000005.WAV", "~t000003.tvp" })
        EXPECT_FALSE(Exists(dir.File(gone))) << gone;
    for (const char* kept : { "~t12345a.wav", "~t000001.bak", "~t0000012.wav", "~t00001.wav",
             "~t000001wav.", "take.wav", "00000001.wav", "last.tvp", "notes.txt", "~t000007.wav" })
        EXPECT_TRUE(Exists(dir.File(kept))) << kept;
}

TEST(DataFolder, UndoSnapshotsGoAndProtectNothing)
{
    TempDir dir;
    Touch(dir, { "~t000020.wav", "~t000021.wav" });
    ASSERT_TRUE(
        WriteFileBytes(dir.File("~t000001.tvp"), ProjectText({ "" }, { { "~t000020.wav", "" } })));
    ASSERT_TRUE(
        WriteFileBytes(dir.File("last.tvp"), ProjectText({ "" }, { { "~t000021.wav", "" } })));
    HeadlessUi ui;

    EXPECT_EQ(CleanDataFolder(dir.Path(), 0, ui), 1);

    EXPECT_FALSE(Exists(dir.File("~t000001.tvp")));
    EXPECT_FALSE(Exists(dir.File("~t000020.wav")));
    EXPECT_TRUE(Exists(dir.File("~t000021.wav")));
    EXPECT_TRUE(Exists(dir.File("last.tvp")));
}

TEST(DataFolder, ProjectFilesExpireAfterDelPrjDateWholeDays)
{
    const TimePoint now = LocalMoment(2024, 3, 15, 12, 0, 0);
    struct Case {
        int32_t Days;
        TimePoint Written;
        bool Deleted;
        const char* What;
    };
    const Case kCases[] = {
        { 30, LocalMoment(2024, 3, 15 - 31, 23, 59, 0), true, "31 days, limit 30" },
        { 30, LocalMoment(2024, 3, 15 - 30, 0, 0, 1), false, "30 days, limit 30" },
        { 0, LocalMoment(2023, 1, 1, 12, 0, 0), false, "never with 0" },
        { -5, LocalMoment(2023, 1, 1, 12, 0, 0), false, "never below 0" },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.What);
        TempDir dir;
        Touch(dir, { "~t000012.wav" });
        const std::string project = dir.File("old.tvp");
        ASSERT_TRUE(WriteFileBytes(project, ProjectText({ "" }, { { "~t000012.wav", "" } })));
        SetWriteTime(project, c.Written);
        HeadlessUi ui;

        EXPECT_EQ(CleanDataFolder(dir.Path(), c.Days, ui, now), c.Deleted ? 1 : 0);
        EXPECT_EQ(Exists(project), !c.Deleted);
        // The working files of an expired project are no longer needed.
        EXPECT_EQ(Exists(dir.File("~t000012.wav")), !c.Deleted);
    }
}

TEST(DataFolder, LastTvpNeverExpires)
{
    const TimePoint now = LocalMoment(2024, 3, 15, 12, 0, 0);
    TempDir dir;
    Touch(dir, { "~t000012.wav" });
    ASSERT_TRUE(
        WriteFileBytes(dir.File("last.tvp"), ProjectText({ "" }, { { "~t000012.wav", "" } })));
    SetWriteTime(dir.File("last.tvp"), LocalMoment(2020, 1, 1, 0, 0, 0));
    HeadlessUi ui;

    EXPECT_EQ(CleanDataFolder(dir.Path(), 1, ui, now), 0);
    EXPECT_TRUE(Exists(dir.File("last.tvp")));
    EXPECT_TRUE(Exists(dir.File("~t000012.wav")));
}

TEST(DataFolder, UnreadableProjectStopsBeforeAnyWorkingFileIsDeleted)
{
    const std::string good = ProjectText({ "" }, { { "~t000012.wav", "" } });
    std::string shortHeader = "0,0,44100,0,0,3,0,0,0,0,200,200,10,0,0,8,0,0,3,0\r\n"; // 20 fields
    shortHeader += "1,0,1,200,200,0,0,0,0,0,\"T\",\"\"\r\n";
    struct Case {
        const char* What;
        std::string Text;
    };
    const Case kCases[] = {
        { "empty file", "" },
        { "header of 20 fields", shortHeader },
        { "track line of 11 fields",
            "0,0,44100,0,0,3,0,0,0,0,200,200,10,0,0,8,0,0,3,0,1\r\n"
            "1,0,1,200,200,0,0,0,0,0,\"T\"\r\n" },
        { "wave line of 5 fields",
            "0,0,44100,1,0,3,0,0,0,0,200,200,10,0,0,8,0,0,3,0,1\r\n"
            "1,0,1,200,200,0,0,0,0,0,\"T\",\"\"\r\n0,0,0,\"~t000012.wav\",\"\"\r\n" },
        { "wave lines missing",
            "0,0,44100,2,0,3,0,0,0,0,200,200,10,0,0,8,0,0,3,0,1\r\n"
            "1,0,1,200,200,0,0,0,0,0,\"T\",\"\"\r\n0,0,0,0,\"~t000012.wav\",\"\"\r\n" },
        { "track lines missing", "0,5,44100,0,0,3,0,0,0,0,200,200,10,0,0,8,0,0,3,0,1\r\n" },
        { "track count not a number", "0,x,44100,0,0,3,0,0,0,0,200,200,10,0,0,8,0,0,3,0,1\r\n" },
        { "negative wave count",
            "0,0,44100,-1,0,3,0,0,0,0,200,200,10,0,0,8,0,0,3,0,1\r\n"
            "1,0,1,200,200,0,0,0,0,0,\"T\",\"\"\r\n" },
        { "huge track count",
            "0,9223372036854775807,44100,0,0,3,0,0,0,0,200,200,10,0,0,8,0,0,3,0,1\r\n" },
        { "binary bytes", std::string("\0\xff\xfe,\n\0", 6) },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.What);
        TempDir dir;
        Touch(dir, { "~t000012.wav", "~t000013.wav", "~s000001.wav" });
        ASSERT_TRUE(WriteFileBytes(dir.File("a.tvp"), good));
        ASSERT_TRUE(WriteFileBytes(dir.File("bad.tvp"), c.Text));
        HeadlessUi ui;

        EXPECT_EQ(CleanDataFolder(dir.Path(), 0, ui), -1);

        for (const char* kept :
            { "~t000012.wav", "~t000013.wav", "~s000001.wav", "a.tvp", "bad.tvp" })
            EXPECT_TRUE(Exists(dir.File(kept))) << kept;
    }
}

TEST(DataFolder, ProjectReadingToleratesOlderLayoutsAndEncodings)
{
    // A 21-field header, LF line ends, and a legacy Shift-JIS file whose folder name holds
    // a double-byte character with "\" as its second byte.
    struct Case {
        const char* What;
        std::string Text;
    };
    const Case kCases[] = {
        { "21 fields, LF",
            "0,0,44100,1,1,3,0,0,0,0,200,200,10,0,0,8,0,0,1,0,1\n"
            "1,0,1,200,200,0,0,0,0,0,\"T\",\"~t000001.wfd\"\n"
            "0,0,0,0,\"~t000012.wav\",\"~t000012.wwf\"\n" },
        { "Shift-JIS",
            "0,0,44100,1,0,3,0,0,0,0,200,200,10,0,0,8,0,0,3,0,1,64,0,40\r\n"
            "1,0,1,200,200,0,0,0,0,0,\"\x83\x67\x83\x89\x83\x62\x83\x4e\",\"~t000001.wfd\"\r\n"
            "0,0,0,0,\"D:\\\x95\x5c\\~t000012.wav\",\"D:\\\x95\x5c\\~t000012.wwf\"\r\n" },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.What);
        TempDir dir;
        Touch(dir, { "~t000001.wfd", "~t000012.wav", "~t000012.wwf", "~t000013.wav" });
        ASSERT_TRUE(WriteFileBytes(dir.File("p.tvp"), c.Text));
        HeadlessUi ui;
        EXPECT_EQ(CleanDataFolder(dir.Path(), 0, ui), 1);
        for (const char* kept : { "~t000001.wfd", "~t000012.wav", "~t000012.wwf" })
            EXPECT_TRUE(Exists(dir.File(kept))) << kept;
        EXPECT_FALSE(Exists(dir.File("~t000013.wav")));
    }
}

TEST(DataFolder, MissingFolderFailsTheCleanUp)
{
    TempDir dir;
    HeadlessUi ui;
    EXPECT_EQ(CleanDataFolder(dir.File("missing/"), 0, ui), -1);
}

TEST(DataFolder, NewTempNameWrapsAfter999999AndSkipsExistingNames)
{
    TempDir dir;
    Touch(dir, { "~t999999.wav", "~t000001.wav" });
    DataFolder data(dir.Path());
    data.SetNameCounter(kTempWave, 999997);

    EXPECT_EQ(data.NewTempName(kTempWave), dir.File("~t999998.wav"));
    EXPECT_EQ(data.NewTempName(kTempWave), dir.File("~t000002.wav"));
    EXPECT_EQ(data.NameCounter(kTempWave), 2);
}

TEST(DataFolder, NewTempNameCountsEachKindApart)
{
    TempDir dir;
    Touch(dir, { "~t000001.wwf" });
    fs::create_directory(dir.File("~t000002.wwf"));
    // The folder is given without its trailing "/".
    DataFolder data(dir.Path().substr(0, dir.Path().size() - 1));
    EXPECT_EQ(data.Path(), dir.Path());

    EXPECT_EQ(data.NewTempName(kTempWave), dir.File("~t000001.wav"));
    EXPECT_EQ(data.NewTempName(kTempPeak), dir.File("~t000003.wwf"));
    EXPECT_EQ(data.NewTempName(kTempEnvelope), dir.File("~t000001.wfd"));
    EXPECT_EQ(data.NewTempName(kTempWave), dir.File("~t000002.wav"));
    EXPECT_EQ(data.NewTempName(0), "");
    EXPECT_EQ(data.NewTempName(4), "");
    // Snapshot names carry the process ID and the DataFolder's instance number.
    const std::string snapshot = data.UndoSnapshotName(7);
    const std::string prefix = dir.File("~u" + std::to_string(::getpid()) + "-");
    EXPECT_EQ(snapshot.substr(0, prefix.size()), prefix);
    EXPECT_TRUE(snapshot.ends_with("-000007.tvp")) << snapshot;
    int64_t pid = 0;
    EXPECT_TRUE(IsUndoSnapshotName(snapshot.substr(dir.Path().size()), &pid));
    EXPECT_EQ(pid, ::getpid());
}

TEST(DataFolder, NewNumberedNameTakesTheFirstFreeNumber)
{
    TempDir dir;
    Touch(dir, { "00000001.wav", "00000002.wav", "00000004.wav" });
    EXPECT_EQ(NewNumberedName(kTempWave, dir.Path()), "00000003.wav");
    EXPECT_EQ(NewNumberedName(kTempPeak, dir.Path()), "00000001.wwf");
    EXPECT_EQ(NewNumberedName(kTempEnvelope, dir.Path().substr(0, dir.Path().size() - 1)),
        "00000001.wfd");
    EXPECT_EQ(NewNumberedName(0, dir.Path()), "");
}

TEST(DataFolder, DeleteTempFilesRemovesOneKindOfGeneratedFile)
{
    TempDir dir;
    Touch(dir,
        { "~t000001.tvp", "~T000002.TVP", "~t000001.wav", "song.tvp", "last.tvp", "~s000001.tvp",
            "~t00001.tvp", "~t000001 mine.tvp" });

    EXPECT_EQ(DeleteTempFiles(dir.Path(), kTempSnapshot), 2);
    for (const char* gone : { "~t000001.tvp", "~T000002.TVP" })
        EXPECT_FALSE(Exists(dir.File(gone))) << gone;
    for (const char* kept : { "~t000001.wav", "song.tvp", "last.tvp", "~s000001.tvp", "~t00001.tvp",
             "~t000001 mine.tvp" })
        EXPECT_TRUE(Exists(dir.File(kept))) << kept;

    EXPECT_EQ(DeleteTempFiles(dir.Path(), kTempWave), 1);
    EXPECT_FALSE(Exists(dir.File("~t000001.wav")));
    EXPECT_EQ(DeleteTempFiles(dir.Path(), 9), 0);
}

TEST(DataFolder, ResolveDataFolderFallsBackToTheCreatedDefault)
{
    ScopedHome home;
    TempDir dir;
    const std::string bare = dir.Path().substr(0, dir.Path().size() - 1);
    EXPECT_EQ(ResolveDataFolder(dir.Path()), dir.Path());
    EXPECT_EQ(ResolveDataFolder(bare), dir.Path());

    const std::string fallback = DefaultDataFolder();
    EXPECT_EQ(fallback, home.DataHome() + "/lumora/tarvok2/data/");
    for (const std::string& setting :
        { std::string(), dir.File("missing"), std::string("relative/data") }) {
        SCOPED_TRACE(setting);
        EXPECT_EQ(ResolveDataFolder(setting), fallback);
        EXPECT_TRUE(FolderExists(fallback));
    }
}

} // namespace
} // namespace tarvok

namespace tarvok {

TEST(DataFolder, SampleEditorFilesAreEachDataFoldersOwn)
{
    TempDir dir;
    DataFolder mine(dir.Path());
    DataFolder other(dir.Path());
    const std::string pid = std::to_string(::getpid());
    EXPECT_EQ(fs::path(mine.SampleEditName(3)).filename().string().substr(0, 3 + pid.size()),
        "~s" + pid + "-");
    EXPECT_NE(mine.SampleEditName(3), other.SampleEditName(3));
    EXPECT_NE(mine.SampleEditClipName(), other.SampleEditClipName());
    for (int32_t n = 1; n <= 4; ++n) {
        ASSERT_TRUE(WriteFileBytes(mine.SampleEditName(n), "x"));
        ASSERT_TRUE(WriteFileBytes(other.SampleEditName(n), "x"));
    }
    ASSERT_TRUE(WriteFileBytes(mine.SampleEditClipName(), "x"));
    // Only the chain above 2 goes; the clip stays.
    EXPECT_EQ(mine.DeleteSampleEditFiles(2), 2);
    EXPECT_TRUE(Exists(mine.SampleEditName(2)));
    EXPECT_FALSE(Exists(mine.SampleEditName(3)));
    EXPECT_TRUE(Exists(mine.SampleEditClipName()));
    EXPECT_EQ(mine.DeleteSampleEditFiles(), 3);
    for (int32_t n = 1; n <= 4; ++n)
        EXPECT_TRUE(Exists(other.SampleEditName(n))) << n;

    const struct {
        const char* Name;
        bool Matches;
    } names[] = { { "~s12-0-000001.wav", true }, { "~s12-0-clip.wav", true },
        { "~s000001.wav", false }, { "~s12-0-00001.wav", false }, { "~s12-0-000001.tvp", false },
        { "~sx-0-000001.wav", false }, { "~s12-000001.wav", false } };
    for (const auto& n : names) {
        SCOPED_TRACE(n.Name);
        int64_t owner = 0;
        EXPECT_EQ(IsSampleEditName(n.Name, &owner), n.Matches);
        if (n.Matches) {
            EXPECT_EQ(owner, 12);
        }
    }
}

TEST(DataFolder, CleanUpRemovesSampleEditorFilesOfEndedOwnersOnly)
{
    TempDir dir;
    DataFolder live(dir.Path());
    ASSERT_TRUE(WriteFileBytes(live.SampleEditName(1), "x"));
    // A process that no longer runs, and an instance of this process that is gone.
    Touch(dir, { "~s999999999-0-000001.wav", "~s999999999-0-clip.wav" });
    std::string gone;
    {
        DataFolder ended(dir.Path());
        gone = ended.SampleEditName(1);
    }
    ASSERT_TRUE(WriteFileBytes(gone, "x"));
    HeadlessUi ui;
    EXPECT_EQ(CleanDataFolder(dir.Path(), 0, ui), 3);
    EXPECT_TRUE(Exists(live.SampleEditName(1)));
    EXPECT_FALSE(Exists(gone));
    EXPECT_FALSE(Exists(dir.File("~s999999999-0-clip.wav")));
}

TEST(DataFolder, ProjectsSavedOutsideTheFolderKeepTheWorkingFilesTheyName)
{
    test::TempDir dir;
    test::TempDir outside;
    Touch(dir, { "~t000001.wav", "~t000002.wav", "~t000003.wav", "~t000004.wav" });
    // Saved elsewhere: an absolute name protects; a relative one means a file beside the
    // project, not in the data folder; the list holds the project once however it is spelled.
    const std::string project = outside.File("song.tvp");
    ASSERT_TRUE(WriteFileBytes(project,
        ProjectText({ "" }, { { dir.File("~t000001.wav"), "" }, { "~t000003.wav", "" } })));
    ASSERT_TRUE(NoteOutsideProject(dir.Path(), project));
    fs::create_directory(outside.File("sub"));
    ASSERT_TRUE(NoteOutsideProject(dir.Path(), outside.File("sub/../song.tvp")));
    fs::create_symlink(project, outside.File("link.tvp"));
    ASSERT_TRUE(NoteOutsideProject(dir.Path(), outside.File("link.tvp")));
    // A project inside the folder is not listed: the clean-up reads it anyway.
    ASSERT_TRUE(NoteOutsideProject(dir.Path(), dir.File("inside.tvp")));
    EXPECT_EQ(OutsideProjects(dir.Path()), std::vector<std::string> { project });

    HeadlessUi ui;
    EXPECT_EQ(CleanDataFolder(dir.Path(), 0, ui), 3);
    EXPECT_TRUE(Exists(dir.File("~t000001.wav")));
    for (const char* gone : { "~t000002.wav", "~t000003.wav", "~t000004.wav" })
        EXPECT_FALSE(Exists(dir.File(gone))) << gone;

    // A listed project that cannot be read protects everything.
    Touch(dir, { "~t000005.wav" });
    ASSERT_TRUE(WriteFileBytes(project, "not a project"));
    EXPECT_EQ(CleanDataFolder(dir.Path(), 0, ui), -1);
    EXPECT_TRUE(Exists(dir.File("~t000005.wav")));

    // A listed project that is gone may have been moved: it keeps what it named when it was
    // noted, stays listed and is reported; the rest goes.
    fs::remove(project);
    ui.ClearEvents();
    EXPECT_EQ(CleanDataFolder(dir.Path(), 0, ui), 1);
    EXPECT_TRUE(Exists(dir.File("~t000001.wav")));
    EXPECT_FALSE(Exists(dir.File("~t000005.wav")));
    EXPECT_EQ(OutsideProjects(dir.Path()), std::vector<std::string> { project });
    ASSERT_EQ(ui.BoxTexts().size(), 1u);
    EXPECT_EQ(ui.BoxTexts()[0], std::string(kOutsideMissingText) + "\n" + project);
}

// A project saved outside the data folder and then moved with `mv` keeps its working files
// through clean-ups until it is saved at its new place (which keeps them itself), or until
// its last save is older than the days after which projects expire.
TEST(DataFolder, AMovedOutsideProjectKeepsItsWorkingFiles)
{
    test::TempDir dir;
    test::TempDir outside;
    Touch(dir, { "~t000001.wav", "~t000001.wwf", "~t000002.wav", "~t000003.wav" });
    const std::string text = ProjectText({ "" },
        { { dir.File("~t000001.wav"), dir.File("~t000001.wwf") },
            { dir.File("~t000002.wav"), "" } });
    const std::string first = outside.File("a/song.tvp");
    fs::create_directories(outside.File("a"));
    ASSERT_TRUE(WriteFileBytes(first, text));
    ASSERT_TRUE(NoteOutsideProject(dir.Path(), first));
    const std::string moved = outside.File("b/renamed.tvp");
    fs::create_directories(outside.File("b"));
    fs::rename(first, moved);

    HeadlessUi ui;
    EXPECT_EQ(CleanDataFolder(dir.Path(), 0, ui), 1); // only the unnamed ~t000003.wav
    for (const char* kept : { "~t000001.wav", "~t000001.wwf", "~t000002.wav" })
        EXPECT_TRUE(Exists(dir.File(kept))) << kept;
    EXPECT_EQ(ui.BoxTexts(),
        std::vector<std::string> { std::string(kOutsideMissingText) + "\n" + first });
    // A second clean-up keeps them again: the kept names do not wear out.
    EXPECT_EQ(CleanDataFolder(dir.Path(), 0, ui), 0);
    EXPECT_TRUE(Exists(dir.File("~t000002.wav")));

    // Saved at its new place, the project keeps its files itself; the old entry goes quietly.
    ASSERT_TRUE(NoteOutsideProject(dir.Path(), moved));
    ui.ClearEvents();
    EXPECT_EQ(CleanDataFolder(dir.Path(), 0, ui), 0);
    EXPECT_TRUE(ui.BoxTexts().empty());
    EXPECT_EQ(OutsideProjects(dir.Path()), std::vector<std::string> { moved });
    for (const char* kept : { "~t000001.wav", "~t000001.wwf", "~t000002.wav" })
        EXPECT_TRUE(Exists(dir.File(kept))) << kept;

    // Deleted for good: with projects expiring after 10 days, its files stay until its last
    // save is older than that.
    fs::remove(moved);
    const auto now = std::chrono::system_clock::now();
    EXPECT_EQ(CleanDataFolder(dir.Path(), 10, ui, now), 0);
    EXPECT_TRUE(Exists(dir.File("~t000002.wav")));
    EXPECT_EQ(CleanDataFolder(dir.Path(), 10, ui, now + std::chrono::hours(24 * 12)), 3);
    EXPECT_FALSE(Exists(dir.File("~t000002.wav")));
    EXPECT_TRUE(OutsideProjects(dir.Path()).empty());
}

} // namespace tarvok
