// Random command sequences on small random projects: every command keeps the project's
// invariants, and undo and redo always return to the exact states the snapshots were taken of.

#include "app/commands/block_commands.h"
#include "app/commands/command_dispatch.h"
#include "app/commands/command_table.h"
#include "app/shell/main_logic.h"
#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/peaks.h"
#include "core/project_file.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace tarvok {

namespace {

constexpr int kProjects = 12;
constexpr int kStepsPerProject = 250;

/// Commands that open modal windows of their own, which a headless run cannot drive.
bool IsModalWindowCommand(int32_t pId)
{
    return pId == kCmdMixdown || pId == kCmdRipcd || pId == kCmdSampleedit;
}

/// The project file text without the track selection, which undo never restores.
std::string ComparableText(const Project& pProject)
{
    Project copy = pProject;
    for (Track& t : copy.Tracks)
        t.Selected = 0;
    return ProjectFileText(copy);
}

class World {
public:
    explicit World(uint32_t pSeed)
        : rng_(pSeed)
    {
        logic_.SetDataFolderOverride(home_.Dir().File("data"));
        EXPECT_TRUE(logic_.Startup(""));
        BuildProject();
    }

    void Run(int pSteps)
    {
        for (int step = 0; step < pSteps && !::testing::Test::HasFatalFailure(); ++step) {
            if (Chance(30))
                ChangeState();
            else
                RunOneCommand(DrawCommand());
            Project& p = logic_.Proj();
            ASSERT_EQ(p.CheckInvariants(), "") << trace_;
            ASSERT_FALSE(logic_.Busy) << trace_;
        }
    }

private:
    int32_t Uniform(int32_t pLow, int32_t pHigh)
    {
        return std::uniform_int_distribution<int32_t>(pLow, pHigh)(rng_);
    }
    bool Chance(int pPercent) { return Uniform(0, 99) < pPercent; }

    std::string MakeWav(int pIndex, int32_t pFrames)
    {
        std::string path = sources_.File("src" + std::to_string(pIndex) + ".wav");
        int32_t period = Uniform(20, 400);
        test::WriteWav(path,
            test::PcmSpec(44100, 16, 2,
                test::Stereo16(
                    pFrames, [&](int64_t f) { return (f % period) * 50; },
                    [&](int64_t f) { return -(f % (period + 7)) * 40; })));
        return path;
    }

    void BuildProject()
    {
        Project& p = logic_.Proj();
        p.SetTrackCount(Uniform(2, 4));
        p.ViewTrackCount = p.LastTrackNo;
        logic_.LoadTrackSettings();
        int waveCount = Uniform(2, 3);
        for (int w = 0; w < waveCount; ++w) {
            int32_t frames = Uniform(3000, 20000);
            wavs_.push_back(MakeWav(w, frames));
            int32_t index = p.AddWaveFile(wavs_.back());
            ASSERT_EQ(index, w);
            bool cancel = false;
            BuildPeaks(p, index, -1, "", 0, logic_.Folder().NewTempName(kTempPeak), ui_, cancel);
        }
        int blockCount = Uniform(waveCount, 6);
        for (int b = 0; b < blockCount; ++b) {
            int32_t w = b < waveCount ? b : Uniform(0, waveCount - 1);
            int32_t length = p.WaveFiles[static_cast<size_t>(w)].Length;
            ASSERT_TRUE(p.AddBlock());
            Block& k = p.Blocks.back();
            k.WaveNo = w;
            k.TrackNo = Uniform(0, p.LastTrackNo);
            k.SrcStart = Uniform(1, length / 2);
            k.SrcEnd = Uniform(k.SrcStart, length);
            k.StartAdr = Uniform(0, 60000);
            k.Name = "b" + std::to_string(b);
            p.NormalizeBlock(p.BlockCount() - 1);
        }
        p.UpdateTitleLength(false);
        ASSERT_EQ(p.CheckInvariants(), "");
    }

    int32_t RandomFrame() { return Uniform(0, logic_.Proj().ProjectLength + 20000); }

    /// A change that is no edit: selection, marks, head, current track and block.
    void ChangeState()
    {
        Project& p = logic_.Proj();
        switch (Uniform(0, 6)) {
        case 0: {
            trace_ = "SELECT_TRACKS";
            bool any = false;
            for (Track& t : p.Tracks) {
                t.Selected = Chance(50) ? 1 : 0;
                any = any || t.Selected;
            }
            if (!any)
                p.Tracks[static_cast<size_t>(Uniform(0, p.LastTrackNo))].Selected = 1;
            break;
        }
        case 1:
            trace_ = "CURRENT_TRACK";
            p.CurrentTrack = Uniform(0, p.LastTrackNo);
            break;
        case 2:
            trace_ = "MARKIN";
            p.MarkIn = RandomFrame();
            break;
        case 3:
            trace_ = "MARKOUT";
            p.MarkOut = RandomFrame();
            break;
        case 4:
            trace_ = "HEAD";
            p.Head = RandomFrame();
            break;
        case 5:
            trace_ = "SELECT_BLOCK";
            p.SelectedBlock = Uniform(-1, p.BlockCount() - 1);
            break;
        default:
            if (p.BlockCount() > 0)
                RunOneCommand(-1); // a block drag, an edit like the commands
            break;
        }
    }

    int32_t DrawCommand()
    {
        if (Chance(25))
            return Chance(70) ? kCmdUndo : kCmdRedo;
        for (;;) {
            int32_t id = Uniform(1, kCommandCount - 1);
            if (!IsModalWindowCommand(id))
                return id;
        }
    }

    std::string SavedProject()
    {
        return logic_.Proj().DataFolder + "s" + std::to_string(Uniform(0, 2)) + ".tvp";
    }

    void QueueAnswers(int32_t pId)
    {
        const std::string data = logic_.Proj().DataFolder;
        switch (pId) {
        case kCmdOpensound:
            ui_.QueueAnswer(
                wavs_[static_cast<size_t>(Uniform(0, static_cast<int32_t>(wavs_.size()) - 1))]);
            ui_.QueueAnswer(Chance(50) ? "yes" : "no");
            return;
        case kCmdSaveprj:
        case kCmdOwprj:
            ui_.QueueAnswer(SavedProject());
            return;
        case kCmdOpenprj:
        case kCmdPrj2clip: {
            std::string path = SavedProject();
            ui_.QueueAnswer(FileExists(path) ? path : "cancel");
            ui_.QueueAnswer("yes");
            return;
        }
        case kCmdClip2prj:
            ui_.QueueAnswer(data + "clip.tvp");
            return;
        case kCmdExport:
            // A folder of the test's own: a pooled answer such as "ok" would be taken as a
            // folder relative to the working directory and filled with track files.
            ui_.QueueAnswer(outputs_.File("export" + std::to_string(Uniform(0, 1))));
            return;
        case kCmdSaveall:
            ui_.QueueAnswer(outputs_.File("all" + std::to_string(Uniform(0, 1))));
            ui_.QueueAnswer("yes");
            ui_.QueueAnswer("no");
            return;
        default:
            break;
        }
        static const char* const kPool[] = { "yes", "no", "ok", "cancel", "retry", "1", "0", "-1",
            "2.5", "0:00:01.000", "100", "abc", "" };
        int count = Uniform(0, 3);
        for (int i = 0; i < count; ++i)
            ui_.QueueAnswer(kPool[Uniform(0, static_cast<int32_t>(std::size(kPool)) - 1)]);
    }

    /// Runs command pId (-1: a block drag) and checks the undo history against the model.
    void RunOneCommand(int32_t pId)
    {
        Project& p = logic_.Proj();
        trace_ = pId < 0 ? std::string("MOVE_BLOCK")
                         : std::string(GetCommandText(pId, kCommandIdColumn));
        const std::string before = ComparableText(p);
        const int32_t counter = p.UndoCounter;
        const int32_t lastType = p.LastUndoType;
        const bool canEdit = logic_.CanEdit();
        ui_.ClearEvents();
        bool ok = false;
        if (pId < 0) {
            ok = MoveBlockByDrag(
                logic_, Uniform(0, p.BlockCount() - 1), Uniform(-30000, 30000), Uniform(-1, 1));
        } else {
            QueueAnswers(pId);
            ok = RunCommand(
                logic_, pId, pId == kCmdJogPlus || pId == kCmdJogMinus ? Uniform(0, 7) : 0);
        }
        while (ui_.PendingAnswers() > 0)
            ui_.InputBox("", "");
        if (logic_.Playing || logic_.Recording)
            RunCommand(logic_, kCmdStop);

        if (pId == kCmdUndo) {
            ASSERT_EQ(ok, canEdit && slots_.count(counter - 1) == 1) << "undo at " << counter;
            if (!ok)
                return;
            if (lastType != 1)
                Record(counter, before);
            ASSERT_EQ(p.UndoCounter, counter - 1);
            EXPECT_EQ(ComparableText(p), slots_[counter - 1]) << "undo to " << counter - 1;
            for (int32_t t = 0; t < p.TrackCount(); ++t)
                EXPECT_EQ(p.Tracks[static_cast<size_t>(t)].Selected, t == p.CurrentTrack ? 1 : 0);
            return;
        }
        if (pId == kCmdRedo) {
            ASSERT_EQ(ok, canEdit && slots_.count(counter + 1) == 1) << "redo at " << counter;
            if (!ok)
                return;
            ASSERT_EQ(p.UndoCounter, counter + 1);
            EXPECT_EQ(ComparableText(p), slots_[counter + 1]) << "redo to " << counter + 1;
            return;
        }
        bool historyDropped = (ok && (pId == kCmdCloseprj || pId == kCmdCleanup));
        if (pId == kCmdOpenprj)
            for (const HeadlessUi::Event& e : ui_.Events())
                historyDropped = historyDropped
                    || (e.Kind == HeadlessUi::EventKind::OpenFile && !e.Answer.empty());
        if (historyDropped) {
            slots_.clear();
            return;
        }
        if (p.UndoCounter == counter + 1) {
            Record(counter, before);
            return;
        }
        ASSERT_EQ(p.UndoCounter, counter) << trace_ << " moved the undo counter unexpectedly";
    }

    /// A snapshot taken at pSlot; newer ones but the next are gone, as on disk.
    void Record(int32_t pSlot, const std::string& pText)
    {
        slots_[pSlot] = pText;
        slots_.erase(slots_.upper_bound(pSlot + 1), slots_.end());
    }

    test::ScopedHome home_;
    test::TempDir sources_;
    test::TempDir outputs_;
    MemorySettingsBackend backend_;
    Settings store_ { backend_ };
    HeadlessUi ui_;
    MainLogic logic_ { store_, ui_ };
    std::mt19937 rng_;
    std::vector<std::string> wavs_;
    std::map<int32_t, std::string> slots_;
    std::string trace_;
};

} // namespace

TEST(CommandProperty, RandomCommandsKeepInvariantsAndUndoRestoresExactly)
{
    for (int seed = 1; seed <= kProjects; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        World world(static_cast<uint32_t>(seed));
        world.Run(kStepsPerProject);
        if (HasFatalFailure())
            return;
    }
}

} // namespace tarvok
