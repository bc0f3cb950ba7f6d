#include "engine/level_meters.h"

#include "engine/engine_fixture.h"
#include "engine/recording_engine.h"
#include "engine/recording_monitor.h"

#include <gtest/gtest.h>

namespace tarvok {

using test::EngineFixture;

TEST(TrackMeters, PeakByteAtTheHeadRisesFallsAndFollowsThePlayMode)
{
    EngineFixture f;
    Project& p = f.P();
    const int32_t w = f.AddWave(1, 64 * 100);
    f.AddBlock(1, w, 1000, 1, 64 * 100);
    PeakArray& peaks = p.Peaks[w];
    std::fill(peaks.begin(), peaks.end(), 0);
    // Entry 11 lies at the head: (SrcStart + Head - StartAdr) / 64 = (1 + 703) / 64 = 11.
    peaks[22] = 128;
    peaks[23] = 255;
    p.Head = 1703;
    p.Tracks[1].PlaySelected = 1;
    p.Tracks[1].Selected = 0;
    std::vector<TrackMeterPair> meters;
    UpdateTrackMeters(p, PlayMode::All, meters, false);
    ASSERT_EQ(meters.size(), static_cast<size_t>(p.TrackCount()));
    EXPECT_EQ(meters[1][0], -6); // level(128 / 256) = -6.02
    EXPECT_EQ(meters[1][1], 0); // level(255 / 256) = -0.03
    EXPECT_EQ(meters[0][0], -kMeterFloorDb);
    // Away from the block the values fall 1 dB per tick, never below the floor.
    p.Head = 100000;
    UpdateTrackMeters(p, PlayMode::All, meters, false);
    EXPECT_EQ(meters[1][0], -7);
    for (int i = 0; i < 60; ++i)
        UpdateTrackMeters(p, PlayMode::All, meters, false);
    EXPECT_EQ(meters[1][0], -kMeterFloorDb);
    // PlayMode 2 hears the selected tracks only; track 1 is not selected.
    p.Head = 1703;
    UpdateTrackMeters(p, PlayMode::FromClick, meters, false);
    EXPECT_EQ(meters[1][0], -kMeterFloorDb);
    // Scrub modes hear the current track.
    p.CurrentTrack = 1;
    UpdateTrackMeters(p, PlayMode::Shuttle, meters, false);
    EXPECT_EQ(meters[1][0], -6);
    // A reset leaves the values as they are.
    UpdateTrackMeters(p, PlayMode::Shuttle, meters, true);
    EXPECT_EQ(meters[1][0], -6);
    EXPECT_EQ(TrackMeterBarTop(-25, 108), 50);
}

TEST(MasterMeters, ReadoutOfKnownLevelsAndOfNothing)
{
    EngineFixture f;
    PlaybackEngine& e = *f.Engine;
    MasterMeterSettings settings;
    // Nothing measured: both channels read -∞.
    MasterReading none = UpdateMasterMeters(e, settings, false);
    EXPECT_EQ(none.Frames, 0);
    EXPECT_EQ(MasterReadoutText(none.RmsDb[0], none.RmsDb[1]), "-∞ -∞");

    EngineProbe::Mode(e) = PlayMode::All;
    EngineProbe::OutputUsed(e) = { 1, 0, 0, 0, 0, 0, 0, 0 };
    e.SetupBuffers();
    ASSERT_GT(e.BufferSamples(), 0);
    // A square wave of 10362 (-10.0 dB RMS) left and 3277 (-20 dB) right around the head.
    const int32_t head = 50000;
    f.P().Head = head;
    for (int32_t i = 0; i < e.RingSize(); ++i) {
        EngineProbe::BufferStart(e)[i] = EngineProbe::BufferEnd(e)[i] = -1;
    }
    EngineProbe::BufferStart(e)[0] = head - e.BufferSamples() / 2;
    EngineProbe::BufferEnd(e)[0] = e.BufferStart(0) + e.BufferSamples();
    int16_t* s = e.Samples(0, 0);
    for (int32_t j = 0; j < e.BufferSamples(); ++j) {
        s[2 * j] = static_cast<int16_t>(j % 2 ? 10362 : -10362);
        s[2 * j + 1] = 3277;
    }
    settings.PlayTrimDB = -6.0f;
    const MasterReading r = UpdateMasterMeters(e, settings, false);
    EXPECT_GT(r.Frames, 0);
    EXPECT_NEAR(r.RmsDb[0], -4.0, 0.01);
    EXPECT_NEAR(r.PeakDb[1], -14.0, 0.01);
    EXPECT_EQ(MasterReadoutText(r.RmsDb[0], r.RmsDb[1]), "-04 -14");
    EXPECT_EQ(MasterReadoutText(-12.7, -7.2), "-13 -07");
    EXPECT_EQ(MasterReadoutText(-98.4, -99.0), "-98 -∞");
    settings.RMSP3 = 1;
    EXPECT_NEAR(UpdateMasterMeters(e, settings, false).RmsDb[0], -1.0, 0.01);
    EXPECT_EQ(UpdateMasterMeters(e, settings, true).Frames, 0);
    // The needle reads 1.0 for an RMS 23 dB below full scale with no trim.
    EXPECT_NEAR(
        NeedleValue(static_cast<float>(DbToFactor(-23.0)), MasterMeterSettings {}), 1.0, 1e-6);
}

TEST(BarMeter, JumpsUpAndFallsBackAtItsRate)
{
    BarMeter m;
    m.Draw(-500, -500);
    EXPECT_EQ(m.Bar(), -500);
    EXPECT_EQ(m.PixelFromTop(m.Bar(), 100), 100); // bottom
    m.Draw(-900, -900); // clamped
    EXPECT_EQ(m.Bar(), -500);
    m.Draw(0, 0);
    EXPECT_EQ(m.Bar(), 0);
    EXPECT_EQ(m.PixelFromTop(m.Bar(), 100), 0); // top
    m.Draw(-500, -500);
    EXPECT_NEAR(m.Bar(), -500.0 / 30, 1e-9); // about 1.7 dB per tick
    EXPECT_NEAR(m.Peak(), -500.0 / 30, 1e-9);
    // Without an independent peak it falls ten times faster and follows the bar value.
    BarMeter n;
    n.PeakIndp = false;
    n.Draw(-100, 0);
    EXPECT_EQ(n.Peak(), -100);
    n.Draw(-500, -500);
    EXPECT_NEAR(n.Peak(), -100 - 5000.0 / 30, 1e-9);
}

TEST(MultiBarMeter, PositionsDecayAndScales)
{
    MultiBarMeter m;
    m.Width = 20 + 45 + 600;
    m.NumValue = 1;
    m.SetParms();
    m.SetStrType(true);
    EXPECT_EQ(m.Label(1), "2");
    EXPECT_EQ(m.X(-60), 20);
    EXPECT_EQ(m.X(0), 620);
    EXPECT_EQ(m.X(-20), 20 + 400);
    EXPECT_EQ(m.X(-100), 20 + 400); // |v - Min|: the caller clamps first
    m.DrawVU(0, -20, -10, "-20.0");
    EXPECT_EQ(m.BarPosition(0), 420);
    EXPECT_EQ(m.PeakPosition(0), 520);
    m.DrawVU(0, -200, -200, "x"); // clamped at Min: falls by W / DecRate = 6
    EXPECT_EQ(m.BarPosition(0), 414);
    EXPECT_EQ(m.PeakPosition(0), 514);
    EXPECT_EQ(m.Text(0), "x");
    EXPECT_EQ(m.BarTop(1), 5 + 7 + 4);
    const auto linear = m.Scale(0, 9000);
    ASSERT_EQ(linear.size(), 5u);
    EXPECT_EQ(linear[1].Text, "-20db");
    EXPECT_EQ(linear[1].X, 20 + 60);
    EXPECT_EQ(linear.back().Text, "0db");
    const auto dense = m.Scale(1, 5000);
    ASSERT_EQ(dense.size(), 16u);
    EXPECT_EQ(dense[1].Text, "-56");
    EXPECT_EQ(dense[14].Text, "-4");
    const auto sparse = m.Scale(1, 4999);
    ASSERT_EQ(sparse.size(), 7u);
    EXPECT_EQ(sparse[5].Text, "-10");
    EXPECT_EQ(sparse[5].X, 20 + 500);
    EXPECT_EQ(FormatDb00_0(-5.24), "-05.2");
    EXPECT_EQ(FormatDb00_0(12.0), "12.0");
}

TEST(RecordingMonitor, ChannelsLevelsVoiceSettingsAndClosingAfterStop)
{
    EngineFixture f;
    VirtualWaveIn in { 1 };
    RecordingEngine rec(in, *f.Engine, f.P(), f.Logic.Ui(), f.Logic.Options(), f.Logic.Folder());
    f.Transport->AttachRecorder(rec);
    RecordingMonitor mon(rec, f.Engine->InputEnabled(), 1, 0);
    mon.Open();
    EXPECT_TRUE(mon.IsOpen());
    ASSERT_EQ(mon.ChannelCount(), 2); // only slot 0 is enabled by default
    EXPECT_EQ(mon.ChannelLabel(0), "1");
    EXPECT_EQ(mon.ChannelLabel(1), "2");
    // Voice settings.
    EXPECT_FALSE(mon.EnterLevel(true, "abc"));
    EXPECT_EQ(mon.LevelText(true), "-40.0");
    EXPECT_TRUE(mon.EnterLevel(true, "20"));
    EXPECT_EQ(f.Logic.Options().MuonStopLevelDB, -20.0f);
    EXPECT_EQ(rec.StopAmplitude, 3277);
    EXPECT_TRUE(mon.EnterLevel(false, "-35"));
    EXPECT_EQ(mon.LevelText(false), "-35.0");
    mon.ChooseStopSeconds(4); // "5"
    EXPECT_EQ(f.Logic.Options().MuonStopLengthMS, 5000);
    EXPECT_EQ(rec.StopLength, 5 * f.P().SampleRate);
    EXPECT_EQ(mon.StopSecondsItem(), 4);
    // Sliders write the slot's level.
    mon.SetSlider(1, -65);
    EXPECT_EQ(f.Logic.Options().LevelRdb[0], -6.5f);
    EXPECT_EQ(mon.SliderText(1), "-06.5");
    mon.ResetSlider(1);
    EXPECT_EQ(f.Logic.Options().LevelRdb[0], 0.0f);

    // Levels of a known input: left a square wave at -20 dB, right silent.
    std::vector<int16_t> src;
    for (int i = 0; i < 200000; ++i) {
        src.push_back(static_cast<int16_t>(i % 2 ? 3277 : -3277));
        src.push_back(0);
    }
    in.SetSource(0, src);
    for (Track& t : f.P().Tracks)
        t.RecSelected = 0;
    f.P().Tracks[0].RecSelected = 1;
    f.P().Tracks[0].RecCh = 0;
    ASSERT_TRUE(f.Transport->RunCommand(kCmdRec));
    mon.Meter().Width = 665;
    EXPECT_TRUE(mon.Tick()); // notices the recording started
    EXPECT_TRUE(mon.ShowsRecordingButtons());
    in.AdvanceFrames(30000);
    EXPECT_TRUE(mon.Tick());
    EXPECT_EQ(mon.Meter().Text(0), "-20.0");
    EXPECT_EQ(mon.Meter().BarPosition(0), mon.Meter().X(FactorToDb(3277 / 32767.0)));
    EXPECT_EQ(mon.Meter().Text(1), "-110.0");
    // STOP in the main window closes the monitor at its next tick.
    f.Transport->RunCommand(kCmdStop);
    EXPECT_TRUE(rec.MonitorClose);
    EXPECT_FALSE(mon.Tick());
    EXPECT_FALSE(mon.IsOpen());
    f.Logic.Recorder = nullptr;
    f.Engine->DetachRecorderTicks();
}

TEST(RecordingMonitor, ShowsTheInputWithTheSlotLevelAppliedOnce)
{
    EngineFixture f;
    VirtualWaveIn in { 1 };
    RecordingEngine rec(in, *f.Engine, f.P(), f.Logic.Ui(), f.Logic.Options(), f.Logic.Folder());
    f.Transport->AttachRecorder(rec);
    f.Logic.Options().LevelLdb[0] = 6.0f;
    RecordingMonitor mon(rec, f.Engine->InputEnabled(), 1, 0);
    mon.Open();
    mon.Meter().Width = 665;
    std::vector<int16_t> src;
    for (int i = 0; i < 400000; ++i) {
        src.push_back(static_cast<int16_t>(i % 2 ? 1000 : -1000));
        src.push_back(0);
    }
    in.SetSource(0, src);
    for (Track& t : f.P().Tracks)
        t.RecSelected = 0;
    f.P().Tracks[0].RecSelected = 1;
    f.P().Tracks[0].RecCh = 0;
    ASSERT_TRUE(f.Transport->RunCommand(kCmdRecNow));
    EXPECT_TRUE(mon.Tick());
    const std::string want = FormatDb00_0(FactorToDb(1000 * DbToFactor(6.0) / 32767.0));
    // Four seconds in steps that never end on a buffer's edge; the monitor reads after the
    // engine has taken each finished buffer.
    for (int i = 0; i < 88; ++i) {
        in.AdvanceFrames(2000);
        f.Engine->TimerProg();
        f.Engine->TimerVU();
        EXPECT_TRUE(mon.Tick());
        if (i >= 2) {
            ASSERT_EQ(mon.Meter().Text(0), want) << "step " << i;
        }
    }
    f.Transport->RunCommand(kCmdStop);
    mon.Tick();
    f.Logic.Recorder = nullptr;
    f.Engine->DetachRecorderTicks();
}

} // namespace tarvok
