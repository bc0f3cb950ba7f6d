#include "base/file_name.h"
#include "core/load_file_to_track.h"

#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/project.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

namespace tarvok {

namespace {

struct Fixture {
    test::TempDir Dir;
    DataFolder Folder { Dir.Path() };
    Project Proj;
    HeadlessUi Ui;
    bool Cancel = false;

    Fixture()
    {
        Proj.SetFadeTableType(1);
        Proj.SetTrackCount(8);
    }

    bool Load(int32_t pTrack, const std::string& pFile, int32_t pAddr, std::string_view pName)
    {
        return LoadFileToTrack(Proj, pTrack, pFile, pAddr, pName, Folder, 0, Ui, Cancel);
    }
};

} // namespace

TEST(LoadFileToTrack, PlacesTheWholeFileAsANewBlockWithPeaks)
{
    Fixture f;
    const std::string file = f.Dir.File("~t000001.wav");
    ASSERT_TRUE(test::WriteWav(file,
        test::PcmSpec(44100, 16, 2,
            test::Stereo16(
                1000, [](int64_t i) { return i * 30; }, [](int64_t) { return -5; }))));
    ASSERT_TRUE(f.Load(3, file, 500, ""));
    ASSERT_EQ(f.Proj.BlockCount(), 1);
    const Block& b = f.Proj.Blocks[0];
    EXPECT_EQ(b.TrackNo, 3);
    EXPECT_EQ(b.StartAdr, 500);
    EXPECT_EQ(b.EndAdr, 1499);
    EXPECT_EQ(b.SrcStart, 1);
    EXPECT_EQ(b.SrcEnd, 1000);
    EXPECT_EQ(b.Name, "~t000001"); // the base name when no name is given
    EXPECT_EQ(f.Proj.ProjectLength, 1500);
    const WaveFile& w = f.Proj.WaveFiles[0];
    EXPECT_TRUE(IsGeneratedName(w.PeakFile.substr(w.PeakFile.find_last_of('/') + 1)));
    EXPECT_TRUE(FileExists(w.PeakFile));
    EXPECT_NE(f.Proj.Peaks[0][2 * 14], 0); // a stretch late in the file has a peak
    EXPECT_EQ(f.Proj.CheckInvariants(), "");

    // The same file again: a second block on the known wave file, no new peak file.
    ASSERT_TRUE(f.Load(4, file, 0, "again"));
    EXPECT_EQ(f.Proj.BlockCount(), 2);
    EXPECT_EQ(f.Proj.WaveFileCount(), 1);
    EXPECT_EQ(f.Proj.Blocks[1].WaveNo, 0);
    EXPECT_EQ(f.Proj.Blocks[1].Name, "again");
    EXPECT_EQ(f.Folder.NameCounter(kTempPeak), 1);
}

TEST(LoadFileToTrack, UnusableFilesLeaveTheProjectUnchanged)
{
    Fixture f;
    const std::string empty = f.Dir.File("empty.wav");
    ASSERT_TRUE(test::WriteWav(empty, test::PcmSpec(44100, 16, 2)));
    const std::string junk = f.Dir.File("junk.wav");
    ASSERT_TRUE(test::WriteFileBytes(junk, "junk"));
    for (const std::string& file : { empty, junk, f.Dir.File("missing.wav") }) {
        SCOPED_TRACE(file);
        EXPECT_FALSE(f.Load(0, file, 0, "x"));
        EXPECT_EQ(f.Proj.BlockCount(), 0);
        EXPECT_EQ(f.Proj.WaveFileCount(), 0);
        EXPECT_TRUE(f.Proj.Peaks.empty());
    }
}

TEST(LoadFileToTrack, BaseNameOf)
{
    EXPECT_EQ(BaseNameOf("/a/b.c/song.take.wav"), "song.take");
    EXPECT_EQ(BaseNameOf("/a/b.c/noext"), "noext");
    EXPECT_EQ(BaseNameOf("plain.mp3"), "plain");
}

} // namespace tarvok
