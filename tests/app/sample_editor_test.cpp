#include "app/commands/sample_editor.h"

#include "app/commands/command_dispatch.h"
#include "core/command_ids.h"
#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/time_text.h"
#include "core/wave_info.h"
#include "engine/engine_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <unistd.h>

namespace tarvok {

using test::EngineFixture;
using test::Signal;

namespace {

/// The frames of a 16-bit stereo WAV file, interleaved.
std::vector<int16_t> ReadFrames(const std::string& pPath)
{
    const WaveInfo info = ReadWaveInfo(pPath);
    std::vector<int16_t> data(static_cast<size_t>(std::max(0, info.Frames)) * 2);
    if (!data.empty())
        ReadBytes(data.data(), static_cast<int64_t>(data.size()) * 2, 0, pPath, info.DataOffset, 0);
    return data;
}

/// A project of two tracks: track 0 holds two blocks of Signal(1) frames 0..59999 split at
/// 30000 (timeline 0..59999) and one of Signal(2) at 80000; track 1 one block of Signal(3).
/// The selection is 10000..40000 on track 0.
struct EditorFixture : EngineFixture {
    int32_t Wave1 = -1;
    std::unique_ptr<SampleEditor> Editor;

    EditorFixture()
    {
        Wave1 = AddWave(1, 60000);
        AddBlock(0, Wave1, 0, 1, 30000);
        AddBlock(0, Wave1, 30000, 30001, 30000);
        AddBlock(0, AddWave(2, 20000), 80000, 1, 20000);
        AddBlock(1, AddWave(3, 100000), 0, 1, 100000);
        P().CurrentTrack = 0;
        for (Track& t : P().Tracks)
            t.Selected = 0;
        P().Tracks[0].Selected = 1;
        P().MarkIn = 10000;
        P().MarkOut = 40000;
        Logic.SampleEditorOpener = [this] {
            Editor = std::make_unique<SampleEditor>(Logic, Transport.get(), 800, 256);
            return true;
        };
    }

    bool Open() { return RunCommand(Logic, kCmdSampleedit); }

    /// The blocks as text: track, span, file and source start of each.
    std::string ProjectText()
    {
        std::string text;
        for (const Block& b : P().Blocks)
            text += std::to_string(b.TrackNo) + ":" + std::to_string(b.StartAdr) + "-"
                + std::to_string(b.EndAdr) + "@" + P().WaveFiles[b.WaveNo].FileName + ","
                + std::to_string(b.SrcStart) + ";";
        return text + std::to_string(P().MarkIn) + "/" + std::to_string(P().MarkOut);
    }

    /// Blocks of a track, in timeline order: start, end.
    std::vector<std::pair<int32_t, int32_t>> TrackBlocks(int32_t pTrack)
    {
        std::vector<std::pair<int32_t, int32_t>> out;
        for (const Block& b : P().Blocks)
            if (b.TrackNo == pTrack)
                out.emplace_back(b.StartAdr, b.EndAdr);
        std::sort(out.begin(), out.end());
        return out;
    }

    /// Files of the data folder whose names begin with pPrefix.
    std::vector<std::string> DataFiles(const std::string& pPrefix)
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(Logic.Folder().Path())) {
            std::string name = e.path().filename().string();
            if (name.starts_with(pPrefix))
                names.push_back(name);
        }
        return names;
    }

    std::string OwnPrefix() { return "~s" + std::to_string(::getpid()) + "-"; }
};

} // namespace

TEST(SampleEditor, OpeningIsRefusedWithoutSelectionBlocksOrWhileBusy)
{
    EditorFixture f;
    f.P().MarkOut = f.P().MarkIn;
    EXPECT_FALSE(f.Open());
    EXPECT_EQ(f.Ui.LastStatus(), kSeNothingSelected);
    f.P().MarkOut = 40000;
    for (bool* flag : { &f.Logic.Busy, &f.Logic.DrawWindowOpen, &f.Logic.Playing }) {
        *flag = true;
        f.Ui.ClearEvents();
        EXPECT_FALSE(f.Open());
        EXPECT_TRUE(f.Logic.SampleEditFile.empty());
        EXPECT_FALSE(f.Editor);
        *flag = false;
    }
    f.P().Blocks.clear();
    EXPECT_FALSE(f.Open());
    EXPECT_FALSE(f.Editor);
    // Without a front end that can show the editor, the command says it is unavailable
    // and leaves no rendered file behind.
    EditorFixture g;
    g.Logic.SampleEditorOpener = nullptr;
    const size_t before = g.DataFiles("~t").size();
    EXPECT_FALSE(g.Open());
    EXPECT_EQ(g.Ui.LastStatus(), NotAvailableMessage(kCmdSampleedit));
    EXPECT_EQ(g.DataFiles("~t").size(), before);
}

TEST(SampleEditor, OpeningRendersTheSelectionOfTheCurrentTrackAlone)
{
    EditorFixture f;
    f.P().Blocks[1].LevelL = -6.0f; // block levels are part of the render
    ASSERT_TRUE(f.Open());
    ASSERT_TRUE(f.Editor);
    EXPECT_EQ(f.Logic.SampleEditFrames, 30000);
    EXPECT_EQ(f.Editor->Length(), 30000);
    EXPECT_EQ(f.Editor->CurrentFile(), f.Logic.SampleEditFile);
    EXPECT_EQ(f.Editor->EditNumber(), 0);
    EXPECT_EQ(f.Ui.LastStatus(), kSeTitle);
    EXPECT_FALSE(f.Logic.Busy);
    const std::vector<int16_t> data = ReadFrames(f.Logic.SampleEditFile);
    ASSERT_EQ(data.size(), 60000u);
    EXPECT_EQ(data[0], Signal(1, 10000, 0)); // track 1's material is not mixed in
    EXPECT_EQ(data[1], Signal(1, 10000, 1));
    EXPECT_EQ(data[2 * 19999 + 1], Signal(1, 29999, 1));
    // Past the split the second block plays at -6 dB on the left.
    EXPECT_NE(data[2 * 20000], Signal(1, 30000, 0));
    EXPECT_EQ(data[2 * 20000 + 1], Signal(1, 30000, 1));
    // Short files are buffered whole.
    EXPECT_EQ(f.Editor->BufferFirst(), 0);
    EXPECT_EQ(f.Editor->BufferFrames(), 30000);
    EXPECT_EQ(f.Editor->Sample(5, 1), Signal(1, 10005, 1));
}

TEST(SampleEditor, OkWithoutChangePlacesTheSelectionBackAsOneBlock)
{
    EditorFixture f;
    ASSERT_TRUE(f.Open());
    const int32_t counter = f.P().UndoCounter;
    const std::string rendered = f.Logic.SampleEditFile;
    f.Editor->Close(true);
    EXPECT_TRUE(f.Logic.SampleEditFile.empty());
    EXPECT_EQ(f.Logic.SampleEditFrames, 0);
    EXPECT_EQ(f.P().UndoCounter, counter + 1); // one undo step
    const auto blocks = f.TrackBlocks(0);
    const std::vector<std::pair<int32_t, int32_t>> expected
        = { { 0, 9999 }, { 10000, 39999 }, { 40000, 59999 }, { 80000, 99999 } };
    EXPECT_EQ(blocks, expected);
    // The middle block is the rendered file, unchanged, and track 1 is untouched.
    bool found = false;
    for (const Block& b : f.P().Blocks)
        if (b.StartAdr == 10000 && b.TrackNo == 0) {
            EXPECT_EQ(f.P().WaveFiles[b.WaveNo].FileName, rendered);
            found = true;
        }
    EXPECT_TRUE(found);
    EXPECT_EQ(f.TrackBlocks(1), (std::vector<std::pair<int32_t, int32_t>> { { 0, 99999 } }));
    EXPECT_TRUE(f.P().CheckInvariants().empty());
    EXPECT_TRUE(f.DataFiles(f.OwnPrefix()).empty());
}

TEST(SampleEditor, OkLeavesOtherSelectedTracksAlone)
{
    EditorFixture f;
    f.P().Tracks[1].Selected = 1; // selected, but not the track the editor showed
    ASSERT_TRUE(f.Open());
    f.Editor->Close(true);
    EXPECT_EQ(f.TrackBlocks(1), (std::vector<std::pair<int32_t, int32_t>> { { 0, 99999 } }));
    EXPECT_EQ(f.P().Tracks[1].Selected, 1);
}

TEST(SampleEditor, CancelLeavesTheProjectAndTakesNoSnapshot)
{
    EditorFixture f;
    const std::string before = f.ProjectText();
    const int32_t counter = f.P().UndoCounter;
    ASSERT_TRUE(f.Open());
    const std::string rendered = f.Logic.SampleEditFile;
    f.Editor->Select(0, 99);
    ASSERT_TRUE(f.Editor->Delete());
    f.Editor->Close(false);
    EXPECT_EQ(f.ProjectText(), before);
    EXPECT_EQ(f.P().UndoCounter, counter);
    EXPECT_FALSE(FileExists(rendered));
    EXPECT_TRUE(f.Logic.SampleEditFile.empty());
    EXPECT_TRUE(f.DataFiles(f.OwnPrefix()).empty());
    EXPECT_FALSE(f.Logic.Busy);
}

TEST(SampleEditor, ALongerResultMovesLaterBlocksOnlyWhenAnsweredYes)
{
    for (const char* answer : { "yes", "no" }) {
        SCOPED_TRACE(answer);
        EditorFixture f;
        ASSERT_TRUE(f.Open());
        f.Editor->Select(100, 199);
        ASSERT_TRUE(f.Editor->Copy());
        f.Editor->Select(500, 500);
        ASSERT_TRUE(f.Editor->Paste()); // 100 frames longer
        EXPECT_EQ(f.Editor->Length(), 30100);
        f.Ui.QueueAnswer(answer);
        f.Editor->Close(true);
        bool asked = false;
        for (const auto& e : f.Ui.Events())
            asked = asked || e.Text == kSeLengthChanged;
        EXPECT_TRUE(asked);
        const bool yes = std::string(answer) == "yes";
        const int32_t shift = yes ? 100 : 0;
        const std::vector<std::pair<int32_t, int32_t>> expected = { { 0, 9999 }, { 10000, 40099 },
            { 40000 + shift, 59999 + shift }, { 80000 + shift, 99999 + shift } };
        EXPECT_EQ(f.TrackBlocks(0), expected);
        EXPECT_EQ(f.P().MarkOut, yes ? 40100 : 40000);
        EXPECT_EQ(f.TrackBlocks(1), (std::vector<std::pair<int32_t, int32_t>> { { 0, 99999 } }));
        EXPECT_TRUE(f.P().CheckInvariants().empty());
    }
}

TEST(SampleEditor, StrokeFillsAStraightLineTowardsThePointer)
{
    // Frame i between the ends gets (1 - t) a + t b, t = (i - lower) / (upper - lower + 1):
    // the upper end never quite reaches b. Moving right (1000 at 100, then 4000 at 103) the
    // pointer's frame 103 stays a quarter of the step short of 4000; moving left (4000 at
    // 103, then 1000 at 100) the pointer's frame 100 takes 1000 exactly.
    struct Case {
        int32_t FirstFrame, FirstValue, SecondFrame, SecondValue;
    };
    for (const Case c : { Case { 100, 1000, 103, 4000 }, Case { 103, 4000, 100, 1000 } }) {
        SCOPED_TRACE(c.FirstFrame);
        EditorFixture f;
        ASSERT_TRUE(f.Open());
        f.Editor->StrokeBegin(0);
        ASSERT_TRUE(f.Editor->StrokePoint(c.FirstFrame, c.FirstValue));
        ASSERT_TRUE(f.Editor->StrokePoint(c.SecondFrame, c.SecondValue));
        EXPECT_EQ(f.Editor->Message(),
            std::to_string(c.SecondFrame + 1) + "sample " + std::to_string(c.SecondValue));
        ASSERT_TRUE(f.Editor->StrokeEnd());
        EXPECT_EQ(f.Editor->EditNumber(), 1);
        const std::vector<int16_t> data = ReadFrames(f.Editor->CurrentFile());
        ASSERT_EQ(data.size(), 60000u);
        std::vector<int32_t> got;
        for (int32_t i = 100; i <= 103; ++i)
            got.push_back(data[static_cast<size_t>(i) * 2]);
        EXPECT_EQ(got, (std::vector<int32_t> { 1000, 1750, 2500, 3250 }));
        // The right channel and the frames outside the stroke are untouched.
        EXPECT_EQ(data[2 * 100 + 1], Signal(1, 10100, 1));
        EXPECT_EQ(data[2 * 99], Signal(1, 10099, 0));
        EXPECT_EQ(data[2 * 104], Signal(1, 10104, 0));
    }
}

TEST(SampleEditor, PencilMapsPixelsToFramesValuesAndChannels)
{
    EditorFixture f;
    ASSERT_TRUE(f.Open());
    SampleEditor& e = *f.Editor;
    e.SetZoom(1); // 32 pixels per frame
    e.SetViewStart(200);
    EXPECT_EQ(e.PixelsPerFrame(), 32);
    EXPECT_EQ(e.FrameAtX(64), 202);
    // Height 256: left zero line at 62, right at 190; 131072 / 256 = 512 per pixel.
    EXPECT_EQ(e.ValueAtY(0, 62), 0);
    EXPECT_EQ(e.ValueAtY(0, 52), 5120);
    EXPECT_EQ(e.ValueAtY(1, 200), -5120);
    EXPECT_EQ(e.ValueAtY(0, -1000), 32767); // limited
    EXPECT_EQ(e.ChannelAtY(127), 0);
    EXPECT_EQ(e.ChannelAtY(128), 1);
    e.PencilDown(64, 200); // lower half: right channel
    EXPECT_EQ(e.Message(), "203sample -5120");
    EXPECT_EQ(e.Sample(202, 1), -5120);
    EXPECT_EQ(e.Sample(202, 0), Signal(1, 10202, 0));
    e.PencilMove(32 * 40000, 0); // beyond the end of the file: not drawn
    EXPECT_EQ(e.Message(), "203sample -5120");
    ASSERT_TRUE(e.StrokeEnd());
    EXPECT_EQ(ReadFrames(e.CurrentFile())[2 * 202 + 1], -5120);
    EXPECT_FALSE(e.StrokeEnd()); // nothing left to write
}

TEST(SampleEditor, AStrokeOutsideTheBufferIsNotDrawn)
{
    EngineFixture f;
    const int32_t rate = f.P().SampleRate;
    f.AddBlock(0, f.AddWave(1, rate * 30), 0, 1, rate * 30);
    f.P().Tracks[0].Selected = 1;
    f.P().MarkIn = 0;
    f.P().MarkOut = rate * 30;
    ASSERT_TRUE(PrepareSampleEdit(f.Logic));
    SampleEditor e(f.Logic, nullptr, 800, 256);
    // The buffer holds ten seconds centred on the view: c = 800 frames at Z 32.
    EXPECT_EQ(e.BufferFrames(), rate * 10);
    EXPECT_EQ(e.BufferFirst(), 0);
    e.SetViewStart(rate * 15);
    const int64_t first = std::llround(400.0 + rate * 15 - rate * 5);
    EXPECT_EQ(e.BufferFirst(), first);
    EXPECT_EQ(e.Sample(rate * 15, 0), Signal(1, rate * 15, 0));
    e.SetViewStart(rate * 30); // the end: the buffer ends with the file
    EXPECT_EQ(e.BufferFirst(), rate * 20);
    e.StrokeBegin(0);
    EXPECT_FALSE(e.StrokePoint(100, 5000)); // not in the buffer
    EXPECT_FALSE(e.StrokePoint(rate * 30, 5000)); // not in the file
    EXPECT_FALSE(e.StrokeEnd());
    EXPECT_EQ(e.EditNumber(), 0);
    e.Close(false);
}

TEST(SampleEditor, ANewEditAfterUndosCutsTheRedoHistory)
{
    EditorFixture f;
    ASSERT_TRUE(f.Open());
    SampleEditor& e = *f.Editor;
    for (int32_t i = 0; i < 3; ++i) {
        e.Select(i * 10, i * 10 + 4);
        ASSERT_TRUE(e.Silence(3));
    }
    EXPECT_EQ(e.EditNumber(), 3);
    const std::string third = e.ChainFile(3);
    EXPECT_TRUE(FileExists(third));
    EXPECT_NE(third.find(f.OwnPrefix()), std::string::npos); // the process's own names
    ASSERT_TRUE(e.Undo());
    ASSERT_TRUE(e.Undo());
    EXPECT_EQ(e.EditNumber(), 1);
    EXPECT_EQ(e.CurrentFile(), e.ChainFile(1));
    e.Select(1000, 1009);
    ASSERT_TRUE(e.Delete());
    EXPECT_EQ(e.EditNumber(), 2);
    EXPECT_FALSE(FileExists(third));
    EXPECT_EQ(e.Length(), 29990);
    EXPECT_EQ(ReadWaveInfo(e.ChainFile(2)).Frames, 29990);
    EXPECT_FALSE(e.Redo());
    // Undo to the start reaches the rendered file, and redo climbs back.
    ASSERT_TRUE(e.Undo());
    ASSERT_TRUE(e.Undo());
    EXPECT_FALSE(e.Undo());
    EXPECT_EQ(e.CurrentFile(), f.Logic.SampleEditFile);
    ASSERT_TRUE(e.Redo());
    ASSERT_TRUE(e.Redo());
    EXPECT_EQ(e.Length(), 29990);
}

TEST(SampleEditor, SilenceWritesZerosOnTheChosenChannelsOnly)
{
    struct Case {
        int32_t Channels;
        bool LeftZero, RightZero;
    };
    for (const Case c :
        { Case { 1, true, false }, Case { 2, false, true }, Case { 3, true, true } }) {
        SCOPED_TRACE(c.Channels);
        EditorFixture f;
        ASSERT_TRUE(f.Open());
        f.Editor->Select(50, 59);
        ASSERT_TRUE(f.Editor->Silence(c.Channels));
        EXPECT_EQ(f.Editor->SelFirst(), 50);
        EXPECT_EQ(f.Editor->SelLast(), 59);
        const std::vector<int16_t> data = ReadFrames(f.Editor->CurrentFile());
        ASSERT_EQ(data.size(), 60000u);
        for (int32_t i = 50; i <= 59; ++i) {
            EXPECT_EQ(data[2 * i], c.LeftZero ? 0 : Signal(1, 10000 + i, 0));
            EXPECT_EQ(data[2 * i + 1], c.RightZero ? 0 : Signal(1, 10000 + i, 1));
        }
        EXPECT_EQ(data[2 * 49], Signal(1, 10049, 0));
        EXPECT_EQ(data[2 * 60 + 1], Signal(1, 10060, 1));
    }
}

TEST(SampleEditor, CutThenPasteAtTheCursorRestoresTheFile)
{
    EditorFixture f;
    ASSERT_TRUE(f.Open());
    SampleEditor& e = *f.Editor;
    const std::vector<int16_t> original = ReadFrames(e.CurrentFile());
    e.Select(1000, 1999);
    ASSERT_TRUE(e.Cut());
    EXPECT_EQ(e.Length(), 29000);
    EXPECT_EQ(e.SelFirst(), 1000);
    EXPECT_EQ(e.SelLast(), 1000);
    EXPECT_EQ(ReadWaveInfo(e.ClipFile()).Frames, 1000);
    ASSERT_TRUE(e.Paste());
    EXPECT_EQ(e.SelFirst(), 1000);
    EXPECT_EQ(e.SelLast(), 1999);
    EXPECT_EQ(ReadFrames(e.CurrentFile()), original);
    // A wider selection is replaced by the clip.
    e.Select(0, 4999);
    ASSERT_TRUE(e.Paste());
    EXPECT_EQ(e.Length(), 26000);
    // Deleting everything leaves an empty file; paste still works into it.
    ASSERT_TRUE(e.SelectAll());
    ASSERT_TRUE(e.Delete());
    EXPECT_EQ(e.Length(), 0);
    EXPECT_FALSE(e.Delete());
    ASSERT_TRUE(e.Paste());
    EXPECT_EQ(e.Length(), 1000);
}

TEST(SampleEditor, PasteWithoutAClipDoesNothing)
{
    EditorFixture f;
    ASSERT_TRUE(f.Open());
    EXPECT_FALSE(f.Editor->Paste());
    EXPECT_EQ(f.Editor->EditNumber(), 0);
    // An empty clip file is no clip either.
    ASSERT_TRUE(WriteWaveHeader(f.P().SampleRate, 16, 2, f.Editor->ClipFile(), 0, false));
    EXPECT_FALSE(f.Editor->Paste());
    EXPECT_EQ(f.Editor->EditNumber(), 0);
}

TEST(SampleEditor, OkAfterEditsPlacesTheResultUnderAWorkingName)
{
    EditorFixture f;
    // Another process's editor files in the same folder survive this one's close.
    const std::string foreign = f.Logic.Folder().Path() + "~s999999-0-000001.wav";
    ASSERT_TRUE(WriteWaveHeader(f.P().SampleRate, 16, 2, foreign, 0, false));
    ASSERT_TRUE(f.Open());
    const std::string rendered = f.Logic.SampleEditFile;
    f.Editor->Select(0, 9);
    ASSERT_TRUE(f.Editor->Silence(3));
    ASSERT_TRUE(f.Editor->Copy());
    f.Editor->Close(true);
    EXPECT_FALSE(FileExists(rendered));
    EXPECT_TRUE(f.DataFiles(f.OwnPrefix()).empty());
    EXPECT_TRUE(FileExists(foreign));
    const Block* placed = nullptr;
    for (const Block& b : f.P().Blocks)
        if (b.TrackNo == 0 && b.StartAdr == 10000)
            placed = &b;
    ASSERT_NE(placed, nullptr);
    const std::string file = f.P().WaveFiles[placed->WaveNo].FileName;
    EXPECT_TRUE(IsGeneratedName(std::filesystem::path(file).filename().string()));
    const std::vector<int16_t> data = ReadFrames(file);
    ASSERT_EQ(data.size(), 60000u);
    EXPECT_EQ(data[0], 0);
    EXPECT_EQ(data[20], Signal(1, 10010, 0));
}

TEST(SampleEditor, SelectionZoomFitsTenFramesIn800PixelsAtZoomOne)
{
    EditorFixture f;
    ASSERT_TRUE(f.Open());
    SampleEditor& e = *f.Editor;
    e.Select(5000, 5009);
    e.InfoClick(4);
    EXPECT_EQ(e.Zoom(), 1);
    // The selection is centred: 800 pixels at 32 per frame show 25 frames.
    EXPECT_EQ(e.ViewStart(), 5004 - 12);
    e.Select(5000, 5099); // 100 frames need 3200 pixels at Z 1, 800 at Z 4
    e.InfoClick(4);
    EXPECT_EQ(e.Zoom(), 4);
    e.Select(0, 29999);
    e.InfoClick(4);
    EXPECT_EQ(e.Zoom(), 2048);
    e.ZoomButton(0);
    EXPECT_EQ(e.Zoom(), 2048);
    e.ZoomButton(1);
    EXPECT_EQ(e.Zoom(), 1024);
    EXPECT_EQ(e.SmallStep(), 1024);
    e.InfoClick(1);
    EXPECT_EQ(e.ViewStart(), 0);
}

TEST(SampleEditor, ZoomMappings)
{
    struct Case {
        int32_t Zoom, FramesPerColumn, PixelsPerFrame;
    };
    for (const Case c : { Case { 1, 1, 32 }, Case { 2, 1, 16 }, Case { 16, 1, 2 },
             Case { 32, 1, 1 }, Case { 64, 2, 1 }, Case { 2048, 64, 1 } }) {
        SCOPED_TRACE(c.Zoom);
        EXPECT_EQ(SeFramesPerColumn(c.Zoom), c.FramesPerColumn);
        EXPECT_EQ(SePixelsPerFrame(c.Zoom), c.PixelsPerFrame);
    }
}

TEST(SampleEditor, SelectionDragsEdgesAndShowsTheRangeInSamples)
{
    EditorFixture f;
    ASSERT_TRUE(f.Open());
    SampleEditor& e = *f.Editor;
    e.SelectDown(100);
    e.SelectMove(300);
    EXPECT_EQ(e.SelFirst(), 100);
    EXPECT_EQ(e.SelLast(), 300);
    EXPECT_EQ(e.Message(), "101sample to 301sample");
    e.SelectMove(50); // a new selection spans from its anchor
    EXPECT_EQ(e.SelFirst(), 50);
    EXPECT_EQ(e.SelLast(), 100);
    e.SelectUp();
    EXPECT_FALSE(e.Selecting());
    EXPECT_TRUE(e.NearEdge(52));
    EXPECT_FALSE(e.NearEdge(75));
    e.SelectDown(101); // grabs the end
    e.SelectMove(200);
    EXPECT_EQ(e.SelFirst(), 50);
    EXPECT_EQ(e.SelLast(), 200);
    e.SelectUp();
    e.SelectDown(49); // grabs the start, which then passes the end
    e.SelectMove(250);
    EXPECT_EQ(e.SelFirst(), 250);
    EXPECT_EQ(e.SelLast(), 250);
    e.SelectUp();
    e.SelectDown(40000); // beyond the end of the file: limited to its last frame
    EXPECT_EQ(e.SelFirst(), 29999);
    EXPECT_EQ(e.SelLast(), 29999);
}

TEST(SampleEditor, InformationStripShowsTimesInMilliseconds)
{
    EditorFixture f;
    ASSERT_TRUE(f.Open());
    SampleEditor& e = *f.Editor;
    e.Select(441, 22049);
    e.SetViewStart(4410);
    const std::array<std::string, 5> texts = e.InfoTexts();
    // Total and view start divide by whole frames per millisecond (44); the selection
    // values are rounded.
    EXPECT_EQ(texts[0], TimeText(30000 / 44, 0, false));
    EXPECT_EQ(texts[1], TimeText(4410 / 44, 0, false));
    EXPECT_EQ(texts[2], TimeText(10, 0, false));
    EXPECT_EQ(texts[3], TimeText(500, 0, false));
    EXPECT_EQ(texts[4], TimeText(490, 0, false));
    EXPECT_STREQ(SampleEditor::InfoLabels()[4], "選択");
}

TEST(SampleEditor, WaveformColumnsAndPoints)
{
    EditorFixture f;
    ASSERT_TRUE(f.Open());
    SampleEditor& e = *f.Editor;
    e.SetZoom(2048); // 64 frames per column, read every 4th
    e.SetViewStart(0);
    std::vector<SampleEditor::Column> columns = e.Columns();
    ASSERT_EQ(columns.size(), 800u);
    int32_t m = 0;
    for (int32_t i = 0; i < 64; i += 4)
        m = std::max(m, std::abs(static_cast<int32_t>(Signal(1, 10000 + i, 0))));
    EXPECT_TRUE(columns[0].Valid);
    EXPECT_EQ(columns[0].Value[0], m);
    // 30000 frames end in column 468.
    EXPECT_TRUE(columns[468].Valid);
    EXPECT_FALSE(columns[469].Valid);
    e.SetZoom(2);
    e.SetViewStart(0);
    EXPECT_TRUE(e.Columns()[0].Value == (std::array<int32_t, 2> { 0, 0 }));
    const std::vector<SampleEditor::Point> points = e.Points();
    ASSERT_FALSE(points.empty());
    EXPECT_EQ(points[0].Frame, 0);
    EXPECT_EQ(points[1].X, 16);
    EXPECT_EQ(points[1].Value[1], Signal(1, 10001, 1));
    EXPECT_TRUE(e.ShowsHandles());
}

TEST(SampleEditor, PlaysTheSelectionThroughTheFilePreviewWithAMovingCursor)
{
    EditorFixture f;
    ASSERT_TRUE(f.Open());
    SampleEditor& e = *f.Editor;
    e.Select(0, 9);
    ASSERT_TRUE(e.Silence(3));
    e.Select(1000, 1000);
    EXPECT_FALSE(e.Play()); // an empty range plays nothing
    EXPECT_EQ(f.Engine->Mode(), PlayMode::Stopped);
    e.Select(1000, 20999);
    ASSERT_TRUE(e.Play());
    EXPECT_EQ(f.Engine->Mode(), PlayMode::FilePreview);
    EXPECT_EQ(f.Engine->PreviewFile(), e.CurrentFile());
    EXPECT_EQ(f.Engine->PlayEnd(), 21000);
    EXPECT_EQ(e.HeadFrame(), 1000);
    EXPECT_FALSE(e.Undo()); // refused while playing
    EXPECT_EQ(e.EditNumber(), 1);
    f.Device.AdvanceFrames(4410);
    e.Tick();
    EXPECT_EQ(e.HeadFrame(), 1000 + 4410);
    e.Pause();
    EXPECT_TRUE(e.IsPaused());
    EXPECT_FALSE(e.Play()); // refused while paused
    e.Pause();
    for (int i = 0; i < 100 && e.IsPlaying(); ++i) {
        f.Device.AdvanceFrames(2205);
        e.Tick();
    }
    EXPECT_FALSE(e.IsPlaying());
    EXPECT_EQ(e.HeadFrame(), -1);
    EXPECT_EQ(e.Message(), "STOP");
    // The whole file.
    ASSERT_TRUE(e.ChoosePlayMode(1));
    EXPECT_EQ(f.Engine->PlayStart(), 0);
    EXPECT_EQ(f.Engine->PlayEnd(), 30000);
    e.Close(true); // closing stops and stores the play mode
    EXPECT_EQ(f.Engine->Mode(), PlayMode::Stopped);
    EXPECT_TRUE(f.Engine->PreviewFile().empty());
    EXPECT_EQ(f.Store.GetSetting("PlayModeSE", int32_t { 0 }), 1);
}

} // namespace tarvok
