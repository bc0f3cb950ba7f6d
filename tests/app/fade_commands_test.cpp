#include "app/commands/fade_commands.h"

#include "app/commands/command_dispatch.h"
#include "app/shell/main_logic.h"
#include "core/command_ids.h"
#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/project_file.h"
#include "core/wave_info.h"
#include "edit/fade_edit.h"
#include "render/render_tracks.h"
#include "support/started_logic.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tarvok {

namespace {

struct Fixture : test::StartedLogic<> {
    /// Places a block of pFrames frames of a loud ramp (left) and its negative (right).
    void Add(int32_t pFrames, int32_t pTrack, int32_t pStart)
    {
        const std::string samples = test::Stereo16(
            pFrames, [](int64_t f) { return 8000 + (f * 7) % 20000; },
            [](int64_t f) { return -9000 - (f * 5) % 20000; });
        const int32_t i = test::AddBlockWithFile(Logic, samples, pTrack, pStart);
        ASSERT_GE(i, 0);
        P().UpdateTitleLength(false);
    }

    std::string Text() { return ProjectFileText(P()); }

    int32_t E(int32_t pTrack, int32_t pChannel, int32_t pFrame)
    {
        return EnvelopeLevel(P(), pTrack, pChannel, pFrame);
    }

    /// The 16-bit stereo samples of a WAV file.
    static std::vector<int16_t> Samples(const std::string& pPath)
    {
        WaveInfo info = ReadWaveInfo(pPath);
        std::string bytes = test::ReadFileBytes(pPath);
        std::vector<int16_t> out;
        if (info.Valid == 0)
            return out;
        for (size_t i = static_cast<size_t>(info.DataOffset); i + 1 < bytes.size(); i += 2)
            out.push_back(static_cast<int16_t>(
                static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8)));
        return out;
    }

    /// A mixdown of the selected tracks over [pFrom, pTo).
    std::vector<int16_t> Mix(int32_t pFrom, int32_t pTo, const std::string& pName)
    {
        RenderRequest r;
        r.File = Home.Dir().File(pName);
        r.From = pFrom;
        r.To = pTo;
        r.Mode = kRenderMix;
        r.Tracks = kRenderSelectedTracks;
        EXPECT_TRUE(RenderTracks(P(), r, Ui));
        return Samples(r.File);
    }

    int WaveFilesInFolder()
    {
        int n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(P().DataFolder))
            n += entry.path().extension() == ".wav" ? 1 : 0;
        return n;
    }
};

} // namespace

TEST(FadeCommands, FadeInThroughTheCommandTableIsOneUndoableEdit)
{
    Fixture f;
    f.Add(100000, 0, 0);
    f.P().Tracks[0].Selected = 1;
    f.P().Tracks[1].Selected = 1;
    f.P().MarkIn = 2048 * 4;
    f.P().MarkOut = 2048 * 12;
    const std::string before = f.Text();
    const int32_t counter = f.P().UndoCounter;
    ASSERT_TRUE(RunCommand(f.Logic, kCmdFadeIn));
    EXPECT_EQ(f.Ui.LastStatus(), "処理終了");
    EXPECT_EQ(f.P().UndoCounter, counter + 1);
    for (int32_t t : { 0, 1 }) {
        EXPECT_EQ(f.E(t, 0, 4), 0);
        EXPECT_EQ(f.E(t, 1, 13), f.P().UnityLevel);
    }
    EXPECT_EQ(f.E(2, 0, 4), f.P().UnityLevel);
    ASSERT_TRUE(RunCommand(f.Logic, kCmdUndo));
    f.P().Tracks[1].Selected = 1; // an undo step selects only the current track
    EXPECT_EQ(f.Text(), before);
    EXPECT_EQ(f.E(0, 0, 4), f.P().UnityLevel);
}

TEST(FadeCommands, RefusedWithoutAWordAndWithoutASnapshot)
{
    const int32_t ids[] = { kCmdFadeIn, kCmdFadeOut, kCmdFadeLink, kCmdFadeClear, kCmdFadeMute,
        kCmdFadeFphead, kCmdFadeFpmark, kCmdFadeFpclear, kCmdFadeMerge };
    for (int state = 0; state < 4; ++state) {
        Fixture f;
        f.Add(50000, 0, 0);
        f.P().MarkIn = 1000;
        f.P().MarkOut = 30000;
        f.P().Head = 5000;
        AddFadePointAt(f.P(), 0, 3, kFadeBoth);
        bool& flag = state == 0 ? f.Logic.Busy
            : state == 1        ? f.Logic.Playing
            : state == 2        ? f.Logic.Recording
                                : f.Logic.DrawWindowOpen;
        flag = true;
        for (int32_t id : ids) {
            SCOPED_TRACE(std::to_string(state) + " " + std::to_string(id));
            const std::string before = f.Text();
            const int32_t counter = f.P().UndoCounter;
            f.Ui.ClearEvents();
            EXPECT_FALSE(RunCommand(f.Logic, id));
            EXPECT_TRUE(f.Ui.Events().empty());
            EXPECT_EQ(f.Text(), before);
            EXPECT_EQ(f.P().UndoCounter, counter);
        }
    }
}

TEST(FadeCommands, FadePointsAtTheHeadAndTheMarks)
{
    Fixture f;
    f.Add(50000, 2, 0);
    f.P().CurrentTrack = 2;
    f.Logic.FadeChannels = kFadeRight;
    f.P().Head = 2048 * 7 + 1500;
    ASSERT_TRUE(RunCommand(f.Logic, kCmdFadeFphead));
    ASSERT_EQ(f.P().FadePointCount(), 1);
    EXPECT_EQ(f.P().FadePoints[0].EnvFrame, 8);
    EXPECT_EQ(f.P().FadePoints[0].TrackNo, 2);
    EXPECT_EQ(f.P().FadePoints[0].Channels, kFadeRight);

    // Without a selection: the status text, no snapshot.
    f.P().MarkIn = f.P().MarkOut = 4000;
    const int32_t counter = f.P().UndoCounter;
    EXPECT_FALSE(RunCommand(f.Logic, kCmdFadeFpmark));
    EXPECT_EQ(f.Ui.LastStatus(), kFadeNothingSelected);
    EXPECT_FALSE(RunCommand(f.Logic, kCmdFadeFpclear));
    EXPECT_EQ(f.Ui.LastStatus(), kFadeNothingSelected);
    EXPECT_EQ(f.P().UndoCounter, counter);

    f.Logic.FadeChannels = kFadeBoth;
    f.P().MarkIn = 2048 * 2;
    f.P().MarkOut = 2048 * 5;
    ASSERT_TRUE(RunCommand(f.Logic, kCmdFadeFpmark));
    ASSERT_EQ(f.P().FadePointCount(), 3);
    EXPECT_EQ(f.P().FadePoints[1].EnvFrame, 2);
    EXPECT_EQ(f.P().FadePoints[2].EnvFrame, 5);
    EXPECT_EQ(f.P().FadePoints[2].Channels, kFadeBoth);

    // Beyond the envelope nothing is added.
    f.P().Head = f.P().EnvelopeLength * 2048;
    EXPECT_FALSE(RunCommand(f.Logic, kCmdFadeFphead));
    EXPECT_EQ(f.P().FadePointCount(), 3);

    // FPCLEAR on the selected track 2 over frames 2..6 leaves the point at 8.
    for (Track& t : f.P().Tracks)
        t.Selected = 0;
    f.P().Tracks[2].Selected = 1;
    SetEnvelopeLevel(f.P(), 2, 0, 3, 9);
    ASSERT_TRUE(RunCommand(f.Logic, kCmdFadeFpclear));
    ASSERT_EQ(f.P().FadePointCount(), 1);
    EXPECT_EQ(f.P().FadePoints[0].EnvFrame, 8);
    EXPECT_EQ(f.E(2, 0, 3), 9) << "the envelope stays";
}

TEST(FadeCommands, DragAndDeleteOfAPointAreUndoable)
{
    Fixture f;
    f.Add(50000, 0, 0);
    AddFadePointAt(f.P(), 0, 10, kFadeLeft);
    const std::string before = f.Text();
    ASSERT_TRUE(DragFadePointCommand(f.Logic, 0, 50, false));
    EXPECT_EQ(f.E(0, 0, 10), 50);
    EXPECT_EQ(f.E(0, 0, 2), 176); // 207 - 2 x 15.7
    ASSERT_TRUE(DeleteFadePointCommand(f.Logic, 0));
    EXPECT_EQ(f.P().FadePointCount(), 0);
    ASSERT_TRUE(f.Logic.UndoCommand(false));
    ASSERT_TRUE(f.Logic.UndoCommand(false));
    EXPECT_EQ(f.Text(), before);
    f.Logic.DrawWindowOpen = true;
    EXPECT_FALSE(DragFadePointCommand(f.Logic, 0, 50, false));
    EXPECT_FALSE(DeleteFadePointCommand(f.Logic, 0));
    f.Logic.DrawWindowOpen = false;
    EXPECT_FALSE(DeleteFadePointCommand(f.Logic, 1));
}

TEST(FadeCommands, MenuFadeOnKeepsOneChannelOn)
{
    Fixture f;
    EXPECT_EQ(f.Logic.FadeChannels, kFadeBoth);
    MenuFadeOn(f.Logic, 0);
    EXPECT_EQ(f.Logic.FadeChannels, kFadeRight);
    MenuFadeOn(f.Logic, 1);
    EXPECT_EQ(f.Logic.FadeChannels, kFadeLeft);
    MenuFadeOn(f.Logic, 1);
    EXPECT_EQ(f.Logic.FadeChannels, kFadeBoth);
}

TEST(FadeMerge, MergedFadeSoundsLikeTheFadedTrack)
{
    Fixture f;
    f.Add(60000, 0, 1000);
    f.Add(30000, 1, 0);
    f.P().Tracks[0].Selected = 1;
    f.P().Tracks[1].Selected = 1;
    f.P().MarkIn = 3000;
    f.P().MarkOut = 40000;
    ASSERT_TRUE(RunCommand(f.Logic, kCmdFadeIn));
    AddFadePointAt(f.P(), 0, 5, kFadeBoth);
    AddFadePointAt(f.P(), 0, 40, kFadeBoth); // outside the frames of the range
    const std::vector<int16_t> faded = f.Mix(3000, 40000, "faded.wav");
    ASSERT_EQ(faded.size(), 37000u * 2);

    ASSERT_TRUE(RunCommand(f.Logic, kCmdFadeMerge));
    EXPECT_EQ(f.P().CheckInvariants(), "");
    // The range's envelope is back at unity and its fade points are gone.
    for (int32_t k = 3000 / 2048; k <= 40000 / 2048 + 1; ++k)
        ASSERT_EQ(f.E(0, 0, k), f.P().UnityLevel) << k;
    ASSERT_EQ(f.P().FadePointCount(), 1);
    EXPECT_EQ(f.P().FadePoints[0].EnvFrame, 40);
    // Each track has one block starting at MarkIn that reaches MarkOut (track 1's block
    // ended at 29999, the merged one holds its silence after that).
    for (int32_t t : { 0, 1 }) {
        bool found = false;
        for (const Block& b : f.P().Blocks)
            if (b.TrackNo == t && b.StartAdr == 3000) {
                EXPECT_EQ(b.EndAdr, 39999);
                found = true;
            }
        EXPECT_TRUE(found) << t;
    }
    EXPECT_EQ(f.Mix(3000, 40000, "merged.wav"), faded);
}

TEST(FadeMerge, CancelledRenderChangesNothing)
{
    Fixture f;
    f.Add(300000, 0, 0);
    f.Add(300000, 1, 0);
    f.P().Tracks[0].Selected = 1;
    f.P().Tracks[1].Selected = 1;
    f.P().MarkIn = 1000;
    f.P().MarkOut = 290000;
    ASSERT_TRUE(RunCommand(f.Logic, kCmdFadeOut));
    const std::string before = f.Text();
    const int wavesBefore = f.WaveFilesInFolder();
    // STOP while the second track renders.
    f.Ui.SetMessageSink([&f](std::string_view pText) {
        if (pText.starts_with("トラック2"))
            RunCommand(f.Logic, kCmdStop);
    });
    EXPECT_FALSE(RunCommand(f.Logic, kCmdFadeMerge));
    f.Ui.SetMessageSink({});
    EXPECT_EQ(f.Text(), before);
    EXPECT_EQ(f.WaveFilesInFolder(), wavesBefore) << "the rendered files are gone";
    EXPECT_FALSE(f.Logic.Busy);
    EXPECT_FALSE(f.Logic.CancelRequest);
}

TEST(FadeMerge, SelectionIsHeldInsideTheProject)
{
    Fixture f;
    f.Add(10000, 0, 0);
    f.P().MarkIn = 20000; // beyond the end
    f.P().MarkOut = 30000;
    ASSERT_TRUE(RunCommand(f.Logic, kCmdFadeMerge));
    EXPECT_EQ(f.P().MarkIn, 9999);
    EXPECT_EQ(f.P().MarkOut, 10000);
    EXPECT_EQ(f.P().CheckInvariants(), "");
    f.P().MarkIn = f.P().MarkOut = 500;
    EXPECT_FALSE(RunCommand(f.Logic, kCmdFadeMerge));
    EXPECT_EQ(f.Ui.LastStatus(), kFadeNothingSelected);
}

} // namespace tarvok
