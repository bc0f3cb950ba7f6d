#include "cd/rip_window.h"

#include "base/numeric.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/settings.h"
#include "engine/virtual_wave_device.h"
#include "platform/cdio/cdio_drive_service.h"
#include "platform/curl/curl_http_client.h"
#include "support/cd_image.h"
#include "support/local_http_server.h"
#include "support/temp_dir.h"
#include "support/tick_gate.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace tarvok {
namespace {

using test::ReadFileBytes;

/// The window's model on a three-track image and a virtual wave-out device.
struct Window {
    test::TempDir Dir;
    std::string Cue = test::WriteCdImage(Dir.Path(), "disc", { 20, 100, 10 });
    MemorySettingsBackend Backend;
    Settings Store { Backend };
    CdioDriveService Drives;
    HeadlessUi Ui;
    VirtualWaveOut WaveOut { 1 };
    std::unique_ptr<RipWindowModel> Model;

    Window()
    {
        Store.SaveSetting("CDImages", std::string_view(Cue));
        Store.SaveSetting("UseCDDB", int32_t { 0 });
        RipCheckOptions options;
        options.Compare = [](const std::string& pA, const std::string& pB) {
            return ReadFileBytes(pA) == ReadFileBytes(pB) && !ReadFileBytes(pA).empty();
        };
        Model = std::make_unique<RipWindowModel>(Drives, nullptr, Ui, WaveOut, Store, options);
        Model->Open();
    }

    /// The played samples of the device as bytes.
    std::string Played()
    {
        const std::vector<int16_t>& s = WaveOut.Log(0).Samples;
        return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2);
    }
};

TEST(RipWindow, OpeningListsTheImageAndItsTracks)
{
    Window w;
    ASSERT_FALSE(w.Model->Drives().empty());
    EXPECT_EQ(w.Model->Drives().back().Path, w.Cue);
    w.Model->SelectDrive(static_cast<int32_t>(w.Model->Drives().size()) - 1);
    ASSERT_EQ(w.Model->Rows().size(), 3U);
    EXPECT_EQ(w.Model->Rows()[1].No, "02");
    EXPECT_EQ(w.Model->Rows()[1].Time, "00'01.3");
    EXPECT_EQ(w.Model->Rows()[1].Title, "");
    EXPECT_TRUE(w.Model->CheckRip);
    EXPECT_FALSE(w.Ui.Busy());
}

TEST(RipWindow, NoDiscListsOneEmptyRow)
{
    Window w;
    const std::string bad = w.Dir.File("bad.cue");
    ASSERT_TRUE(test::WriteFileBytes(bad, "nothing"));
    w.Store.SaveSetting("CDImages", std::string_view(bad));
    w.Model->Open();
    w.Model->SelectDrive(static_cast<int32_t>(w.Model->Drives().size()) - 1);
    ASSERT_EQ(w.Model->Rows().size(), 1U);
    EXPECT_EQ(w.Model->Rows()[0].No, "01");
    EXPECT_EQ(w.Model->Rows()[0].Time, "");
}

TEST(RipWindow, StartRipsTheFirstSelectedRowWithCheckAndCloses)
{
    Window w;
    w.Model->SelectDrive(static_cast<int32_t>(w.Model->Drives().size()) - 1);
    w.Model->SetSelectedRows({ 2, 1 });
    w.Model->RipTarget = w.Dir.File("~rip.wav");
    ASSERT_TRUE(test::WriteFileBytes(w.Model->RipTarget, "")); // the reserved working name
    w.Model->CheckRip = true;
    ASSERT_TRUE(w.Model->Start());
    EXPECT_TRUE(w.Model->Closed());
    EXPECT_EQ(w.Model->RipTarget, w.Dir.File("~rip.wav"));
    EXPECT_TRUE(ReadFileBytes(w.Model->RipTarget).substr(44) == test::CdImageTrackBytes(1, 100));
    EXPECT_FALSE(std::filesystem::exists(w.Model->RipTarget + ".chk"));
    EXPECT_EQ(w.Store.GetSetting("CheckRip", int32_t { 0 }), 1);
    EXPECT_EQ(w.Store.GetSetting("UseCDDB", int32_t { 1 }), 0);
}

TEST(RipWindow, StartWithoutARowImportsNothing)
{
    Window w;
    w.Model->SelectDrive(static_cast<int32_t>(w.Model->Drives().size()) - 1);
    w.Model->RipTarget = w.Dir.File("~rip.wav");
    ASSERT_TRUE(test::WriteFileBytes(w.Model->RipTarget, ""));
    ASSERT_TRUE(w.Model->Start());
    EXPECT_EQ(w.Model->RipTarget, "");
    EXPECT_FALSE(std::filesystem::exists(w.Dir.File("~rip.wav")));

    Window c;
    c.Model->RipTarget = "x";
    c.Model->Close(true);
    EXPECT_EQ(c.Model->RipTarget, "");
}

TEST(RipWindow, PreviewPlaysTrackAfterTrackAndWraps)
{
    Window w;
    w.Model->SelectDrive(static_cast<int32_t>(w.Model->Drives().size()) - 1);
    w.Model->SetSelectedRows({ 0 });
    w.Model->Play();
    ASSERT_TRUE(w.Model->Playing());
    EXPECT_EQ(w.Model->PlayTrack(), 0);
    // Track 1 (20 sectors) fills two buffers; the others are not queued.
    EXPECT_EQ(w.WaveOut.QueuedOn(0), 2);
    std::vector<int32_t> order { w.Model->PlayTrack() };
    for (int i = 0; i < 200 && order.size() < 5; ++i) {
        w.WaveOut.AdvanceFrames(2205); // one 50 ms tick
        w.Model->Tick();
        if (w.Model->PlayTrack() != order.back())
            order.push_back(w.Model->PlayTrack());
    }
    EXPECT_EQ(order, (std::vector<int32_t> { 0, 1, 2, 0, 1 }));
    // What was played starts with track 1 whole, then silence to the end of its second
    // buffer, then track 2.
    const std::string played = w.Played();
    const std::string t1 = test::CdImageTrackBytes(0, 20);
    const std::string t2 = test::CdImageTrackBytes(1, 100);
    ASSERT_GT(played.size(), 2 * RipAudio::kBufferBytes + t2.size());
    EXPECT_TRUE(played.substr(0, t1.size()) == t1);
    EXPECT_TRUE(played.substr(t1.size(), 2 * RipAudio::kBufferBytes - t1.size())
        == std::string(2 * RipAudio::kBufferBytes - t1.size(), '\0'));
    EXPECT_TRUE(played.substr(2 * RipAudio::kBufferBytes, t2.size()) == t2);
    w.Model->Stop();
    EXPECT_FALSE(w.Model->DeviceOpen());
    EXPECT_EQ(w.WaveOut.OpenCount(), 0);
    EXPECT_EQ(w.Model->PicPlay(), "000'00.000");
}

TEST(RipWindow, PositionSeekPauseAndLevel)
{
    Window w;
    w.Model->SelectDrive(static_cast<int32_t>(w.Model->Drives().size()) - 1);
    w.Model->SetSelectedRows({ 1 });
    w.Model->Play();
    w.WaveOut.AdvanceFrames(4410);
    w.Model->Tick();
    EXPECT_EQ(w.Model->Position(), 4410);
    EXPECT_EQ(w.Model->ProgBar(), 75); // 4410 / 58800
    EXPECT_EQ(w.Model->PicPlay(), "000'00.100");
    EXPECT_TRUE(w.Model->WaveColumns().empty());
    // Once the first buffer has played it is refilled and the next one is drawn.
    w.WaveOut.AdvanceFrames(5000);
    EXPECT_EQ(w.Model->Tick(), 0);
    EXPECT_FALSE(w.Model->WaveColumns().empty());
    EXPECT_GT(w.Model->MeterValue()[0], -600);

    w.Model->PauseToggle();
    EXPECT_TRUE(w.WaveOut.IsPaused(0));
    w.Model->Play(); // ignored while paused
    EXPECT_TRUE(w.Model->Paused());
    w.Model->PauseToggle();
    EXPECT_FALSE(w.WaveOut.IsPaused(0));

    // Seeking to the middle restarts the track there; the bar does not follow the device
    // while it is held.
    w.WaveOut.ClearLogs();
    w.Model->SeekPress();
    w.Model->SeekMove(500);
    EXPECT_EQ(w.Model->Position(), 29400);
    w.Model->SeekRelease(500);
    EXPECT_TRUE(w.Model->Playing());
    w.WaveOut.AdvanceFrames(588);
    const std::string t2 = test::CdImageTrackBytes(1, 100);
    EXPECT_TRUE(w.Played() == t2.substr(29400 * 4, 588 * 4));
    w.Model->Tick();
    EXPECT_EQ(w.Model->Position(), 29400 + 588);

    // The level slider: clamped, applied to the next buffers read.
    w.Model->SetLevelDb(40);
    EXPECT_EQ(w.Model->LevelDb(), 20);
    EXPECT_EQ(w.Model->LevelText(), "20db");
    w.Model->SetLevelDb(-100);
    EXPECT_EQ(w.Model->LevelText(), "-30db");
    EXPECT_DOUBLE_EQ(w.Model->Audio().BuffRipLevel(), DbToFactor(-30));

    // Ripping is refused while the preview plays.
    w.Model->RipTarget = w.Dir.File("r.wav");
    EXPECT_FALSE(w.Model->Start());
    w.Model->ListClicked();
    EXPECT_FALSE(w.Model->Playing());
}

TEST(RipWindow, DeviceThatCannotOpenIsReportedAndThePreviewRunsSilently)
{
    Window w;
    w.WaveOut.FailOpen(0, kWaveErrBadDevice);
    w.Model->SelectDrive(static_cast<int32_t>(w.Model->Drives().size()) - 1);
    w.Model->SetSelectedRows({ 0 });
    w.Model->Play();
    EXPECT_EQ(w.Ui.BoxTexts().size(), 1U);
    for (int i = 0; i < 5; ++i)
        w.Model->Tick();
    EXPECT_EQ(w.Ui.BoxTexts().size(), 1U);
    EXPECT_TRUE(w.Model->Playing());
    w.Model->Stop();
    EXPECT_FALSE(w.Model->Playing());
}

TEST(RipWindow, PreviewTimeText)
{
    EXPECT_EQ(RipWindowModel::PreviewTimeText(187250), "003'07.250");
    EXPECT_EQ(RipWindowModel::PreviewTimeText(0), "000'00.000");
}

} // namespace
} // namespace tarvok

namespace tarvok {
namespace {

void Put32(std::string& pOut, uint32_t pValue)
{
    for (int b = 0; b < 4; ++b)
        pOut.push_back(static_cast<char>((pValue >> (8 * b)) & 0xFF));
}

TEST(RipWindowAccurateRip, EveryTrackGetsItsChecksumsAndTheDatabaseVerdict)
{
    test::TempDir dir;
    const std::string cue = test::WriteCdImage(dir.Path(), "disc", { 20, 100, 10 });
    MemorySettingsBackend backend;
    Settings store { backend };
    store.SaveSetting("CDImages", std::string_view(cue));
    store.SaveSetting("UseCDDB", int32_t { 0 });
    CdioDriveService drives;
    HeadlessUi ui;
    VirtualWaveOut waveOut { 1 };
    CurlHttpClient http;

    // The checksums as the file of each track gives them.
    RipAudio ra(drives);
    ra.DriveToRip(cue);
    ra.UpdateToc();
    std::vector<AccurateRipSums> sums;
    for (int32_t t = 0; t < 3; ++t) {
        const std::string out = dir.File("t" + std::to_string(t) + ".wav");
        ASSERT_EQ(ra.RipTrack(t, out, 1.0), RipOutcome::Done);
        sums.push_back(*AccurateRipOfFile(out, t == 0, t == 2));
    }
    // The database knows tracks 1 (v2, confidence 7) and 3 (v1, 2); track 2 differs.
    const AccurateRipDiscIds ids = *AccurateRipIdsOf(ra.Toc());
    std::string dbar(1, '\x03');
    Put32(dbar, ids.Id1);
    Put32(dbar, ids.Id2);
    Put32(dbar, ids.CddbId);
    const std::pair<char, uint32_t> tracks[]
        = { { '\x07', sums[0].V2 }, { '\x09', sums[1].V1 + 1 }, { '\x02', sums[2].V1 } };
    for (const auto& [confidence, crc] : tracks) {
        dbar.push_back(confidence);
        Put32(dbar, crc);
        Put32(dbar, 0);
    }
    test::LocalHttpServer server(
        [&](const std::string&) { return test::LocalHttpServer::Ok(dbar); });
    store.SaveSetting("AccurateRipServer", "http://" + server.Address());

    RipWindowModel model(drives, &http, ui, waveOut, store, {});
    model.Open();
    model.SelectDrive(static_cast<int32_t>(model.Drives().size()) - 1);
    EXPECT_EQ(model.DiscIdText(), "CDDB 07000103  MusicBrainz x9F2d6sSQkNHcLaud7Ukq4_LKsA-");
    ASSERT_TRUE(model.VerifyAccurateRip());
    ASSERT_EQ(model.Rows().size(), 3U);
    for (size_t t = 0; t < 3; ++t)
        EXPECT_EQ(model.Rows()[t].AccurateRip, AccurateRipText(sums[t]));
    EXPECT_EQ(model.Rows()[0].Verdict, "一致 (信頼度 7)");
    EXPECT_EQ(model.Rows()[1].Verdict, "不一致");
    EXPECT_EQ(model.Rows()[2].Verdict, "一致 (信頼度 2)");
    EXPECT_FALSE(model.Busy());
    EXPECT_FALSE(ui.Busy());
    ASSERT_EQ(server.Targets().size(), 1U);

    // Unreachable: the checksums stay, the verdict says so.
    store.SaveSetting("AccurateRipServer", "http://127.0.0.1:1");
    ASSERT_TRUE(model.VerifyAccurateRip());
    EXPECT_EQ(model.Rows()[1].AccurateRip, AccurateRipText(sums[1]));
    EXPECT_EQ(model.Rows()[1].Verdict, "接続できません");

    // The error-correcting choice is the setting's and is stored at closing.
    EXPECT_FALSE(model.ParanoiaRip);
    model.ParanoiaRip = true;
    model.Close(false);
    EXPECT_EQ(store.GetSetting("ParanoiaRip", int32_t { 0 }), 1);
    RipWindowModel again(drives, &http, ui, waveOut, store, {});
    again.Open();
    EXPECT_TRUE(again.ParanoiaRip);
}

TEST(RipWindowAccurateRip, StartPutsTheRippedTracksChecksumsInItsRow)
{
    Window w;
    w.Model->SelectDrive(static_cast<int32_t>(w.Model->Drives().size()) - 1);
    w.Model->SetSelectedRows({ 1 });
    w.Model->ParanoiaRip = true;
    w.Model->RipTarget = w.Dir.File("~rip.wav");
    ASSERT_TRUE(w.Model->Start());
    const std::optional<AccurateRipSums> sums = AccurateRipOfFile(w.Model->RipTarget, false, false);
    ASSERT_TRUE(sums);
    EXPECT_EQ(w.Model->Rows()[1].AccurateRip, AccurateRipText(*sums));
    EXPECT_TRUE(ReadFileBytes(w.Model->RipTarget).substr(44) == test::CdImageTrackBytes(1, 100));
    // Without an HTTP client the check reads the sums and asks nobody.
    Window n;
    n.Model->SelectDrive(static_cast<int32_t>(n.Model->Drives().size()) - 1);
    ASSERT_TRUE(n.Model->VerifyAccurateRip());
    EXPECT_EQ(n.Model->Rows()[1].AccurateRip, AccurateRipText(*sums));
    EXPECT_EQ(n.Model->Rows()[1].Verdict, "");
}

/// A headless interface whose Yield also runs a hook: the test sees the window's turns.
class HookedUi : public HeadlessUi {
public:
    std::function<void()> OnYield;
    void Yield() override
    {
        HeadlessUi::Yield();
        if (OnYield)
            OnYield();
    }
};

TEST(RipWindowNetwork, DiscLookupGivesTheWindowItsTurnsWhileTheServerWaits)
{
    test::TempDir dir;
    const std::string cue = test::WriteCdImage(dir.Path(), "disc", { 20, 100, 10 });
    MemorySettingsBackend backend;
    Settings store { backend };
    store.SaveSetting("CDImages", std::string_view(cue));
    store.SaveSetting("UseCDDB", int32_t { 1 });
    store.SaveSetting("MusicBrainzServer", "");
    CdioDriveService drives;
    HookedUi ui;
    VirtualWaveOut waveOut { 1 };
    CurlHttpClient http;
    test::TickGate gate;
    ui.OnYield = [&gate] { gate.Tick(); };
    // Each answer is held until the window has had three more turns.
    test::LocalHttpServer server([&gate](const std::string& pTarget) {
        gate.WaitForMore(3);
        if (pTarget.find("query") != std::string::npos)
            return test::LocalHttpServer::Ok("200 misc 07000103 Band / Tape\r\n");
        return test::LocalHttpServer::Ok("DTITLE=Band / Tape\r\nTTITLE1=B side\r\n");
    });
    const test::OpenAtExit release { gate };
    store.SaveSetting("CDDBServer", server.Address());

    RipWindowModel model(drives, &http, ui, waveOut, store, {});
    model.Open();
    model.SelectDrive(static_cast<int32_t>(model.Drives().size()) - 1);
    EXPECT_EQ(server.Targets().size(), 2U);
    ASSERT_EQ(model.Rows().size(), 3U);
    EXPECT_EQ(model.Rows()[1].Title, "B side");
    EXPECT_GE(gate.Ticks(), 6);
    EXPECT_FALSE(model.Busy());
}

TEST(RipWindowNetwork, CancelStopsTheWaitForTheDatabaseAndLeavesNoVerdict)
{
    test::TempDir dir;
    const std::string cue = test::WriteCdImage(dir.Path(), "disc", { 20, 100, 10 });
    MemorySettingsBackend backend;
    Settings store { backend };
    store.SaveSetting("CDImages", std::string_view(cue));
    store.SaveSetting("UseCDDB", int32_t { 0 });
    CdioDriveService drives;
    HookedUi ui;
    VirtualWaveOut waveOut { 1 };
    CurlHttpClient http;
    // The database accepts the request and never answers.
    test::LocalHttpServer server([](const std::string&) {
        return test::LocalHttpServer::Response { "", true };
    });
    store.SaveSetting("AccurateRipServer", "http://" + server.Address());

    RipWindowModel model(drives, &http, ui, waveOut, store, {});
    model.Open();
    model.SelectDrive(static_cast<int32_t>(model.Drives().size()) - 1);
    // The user presses Cancel during a turn the window gets once the request is out.
    ui.OnYield = [&] {
        if (!server.Targets().empty() && model.Verifying())
            model.Cancel();
    };
    ASSERT_TRUE(model.VerifyAccurateRip());
    ui.OnYield = nullptr;
    EXPECT_EQ(server.Targets().size(), 1U);
    ASSERT_EQ(model.Rows().size(), 3U);
    for (const RipWindowModel::Row& row : model.Rows()) {
        EXPECT_FALSE(row.AccurateRip.empty());
        EXPECT_EQ(row.Verdict, "");
    }
    EXPECT_FALSE(model.Closed());
    EXPECT_FALSE(model.Busy());
    EXPECT_FALSE(ui.Busy());
}

} // namespace
} // namespace tarvok
