// The main window's drawing: a full repaint of 64 lanes holding 1,000 blocks, a head tick and
// a zoom step on them, and opening a 10,000-block project up to a drawn window. Runs on Qt's
// offscreen platform.
//
//   gui_bench [benchmark options]
//
// Targets: full repaint and zoom step under 16 ms; open to a drawn window under 300 ms.
#include "app/shell/main_logic.h"
#include "core/command_ids.h"
#include "core/data_folder.h"
#include "core/envelope.h"
#include "core/headless_ui.h"
#include "core/peaks.h"
#include "core/project_file.h"
#include "gui/frm_main.h"
#include "gui/gui_session.h"
#include "gui/track_area.h"
#include "tone_file.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

using namespace tarvok;

/// A temporary home with a window over it; the project is filled by the benchmark.
struct BenchWindow {
    std::string Home;
    std::unique_ptr<GuiSession> Session;
    std::unique_ptr<FrmMain> Window;

    BenchWindow()
    {
        char pattern[] = "/tmp/tarvok-guibench-XXXXXX";
        Home = std::string(::mkdtemp(pattern)) + "/";
        ::setenv("HOME", Home.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (Home + "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (Home + "data").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (Home + "state").c_str(), 1);
        Session = std::make_unique<GuiSession>(false);
        Session->Ui.AnswerHook = [](const QString&) -> std::optional<QString> { return QString(); };
        Session->Startup(Home + "work/");
        Window = std::make_unique<FrmMain>(Session->Context, Session->Ui);
        Window->Start("", false, false);
        Window->resize(1600, 1000);
        for (int i = 0; i < 4; ++i)
            QApplication::processEvents();
    }
    ~BenchWindow()
    {
        Window.reset();
        Session.reset();
        std::error_code ec;
        std::filesystem::remove_all(Home, ec);
    }

    /// 64 tracks, pBlocks blocks over 20 ten-second tone files with their peaks.
    void Fill(int32_t pBlocks)
    {
        Project& p = Session->Logic.Proj();
        DataFolder& data = Session->Logic.Folder();
        HeadlessUi ui;
        p.SetTrackCount(64);
        constexpr int32_t kWaves = 20;
        for (int32_t w = 0; w < kWaves; ++w) {
            const std::string path = data.NewTempName(kTempWave);
            bench::MakeToneFile(path, 44100, 10);
            const int32_t index = p.AddWaveFile(path);
            bool cancel = false;
            BuildPeaks(p, index, -1, "", 0, data.NewTempName(kTempPeak), ui, cancel);
        }
        for (int32_t b = 0; b < pBlocks; ++b) {
            p.AddBlock();
            Block& block = p.Blocks.back();
            block.WaveNo = b % kWaves;
            block.TrackNo = b % 64;
            block.StartAdr = (b / 64) * 50000;
            block.SrcStart = 1 + (b * 37) % 1000;
            block.SrcEnd = block.SrcStart + 40000;
            block.Name = "block " + std::to_string(b);
            p.NormalizeBlock(p.BlockCount() - 1);
        }
        p.UpdateTitleLength(false);
        p.ViewTrackCount = 63;
        Window->DrawAll();
        Window->View().ZoomToFit(p.ProjectLength);
        Window->DrawAll();
    }
};

void BM_RepaintAll64Lanes1000Blocks(benchmark::State& state)
{
    BenchWindow w;
    w.Fill(1000);
    w.Session->Logic.Options().DrawWFP = static_cast<int32_t>(state.range(0));
    TrackArea& area = w.Window->Tracks();
    QImage image(area.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&image);
        area.PaintAll(painter);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["lanes"] = w.Session->Logic.Proj().TrackCount();
    state.counters["width_px"] = area.width();
    state.counters["height_px"] = area.height();
}
BENCHMARK(BM_RepaintAll64Lanes1000Blocks)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One head tick while playing against one repaint of the whole surface: the window keeps the
// track picture and draws only the head's old and new columns.
void BM_HeadTick64Lanes1000Blocks(benchmark::State& state)
{
    BenchWindow w;
    w.Fill(1000);
    TrackArea& area = w.Window->Tracks();
    Project& p = w.Session->Logic.Proj();
    const bool whole = state.range(0) == 1;
    area.repaint();
    int32_t step = 0;
    for (auto _ : state) {
        p.Head = (++step % 500) * 2000;
        area.HeadMoved(whole);
        QCoreApplication::processEvents();
    }
    state.SetLabel(whole ? "whole surface" : "head columns");
}
BENCHMARK(BM_HeadTick64Lanes1000Blocks)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One zoom step as the zoom buttons and keys run it: the command, then the repaint it asks
// for. The steps go four in and four out, around the whole-project view.
void BM_ZoomStep64Lanes1000Blocks(benchmark::State& state)
{
    BenchWindow w;
    w.Fill(1000);
    w.Window->Tracks().repaint();
    int32_t step = 0;
    for (auto _ : state) {
        const bool in = (step++ / 4) % 2 == 0;
        w.Window->Run(in ? kCmdZoomPlus : kCmdZoomMinus);
        QCoreApplication::processEvents();
    }
    state.counters["zoom"] = w.Session->Logic.Proj().Zoom;
}
BENCHMARK(BM_ZoomStep64Lanes1000Blocks)->Unit(benchmark::kMillisecond);

void BM_OpenBigProjectToDrawnWindow(benchmark::State& state)
{
    BenchWindow w;
    w.Fill(10000);
    MainLogic& logic = w.Session->Logic;
    for (int32_t t = 0; t < 64; ++t)
        SaveEnvelope(logic.Proj(), t, logic.Folder().NewTempName(kTempEnvelope));
    const std::string path = logic.Proj().DataFolder + "big.tvp";
    ProjectFileEnv env = logic.FileEnv();
    WriteProject(logic.Proj(), path, false, env);
    for (auto _ : state) {
        logic.Proj().Saved = true;
        const bool opened = logic.OpenProject(path, true);
        w.Window->DrawAll();
        const QPixmap shown = w.Window->grab();
        benchmark::DoNotOptimize(shown.cacheKey());
        if (!opened || logic.Proj().BlockCount() != 10000)
            state.SkipWithError("the project did not open");
    }
}
BENCHMARK(BM_OpenBigProjectToDrawnWindow)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
