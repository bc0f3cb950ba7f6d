#include "app/windows/mixdown_window.h"

#include "core/file_io.h"
#include "core/project.h"
#include "core/wave_info.h"
#include "render/loudness.h"
#include "render/mp3_encoder.h"
#include "support/logic_fixture.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <optional>

namespace tarvok {

namespace {

/// An encoder that takes 44.1 kHz only, at 192 kbps or less, and encodes nothing.
class RateLimitedEncoder : public Mp3Encoder {
public:
    bool EncAvailable() const override { return true; }
    bool Accepts(int32_t pRate, int32_t, int32_t pKbps) override
    {
        return pRate == 44100 && pKbps <= 192;
    }
    std::unique_ptr<Mp3Stream> Open(int32_t, int32_t, int32_t) override { return nullptr; }
};

} // namespace

TEST(MixdownWindow, TargetAndFormatEnableTheirControls)
{
    test::LogicFixture f;
    RateLimitedEncoder encoder;
    MixdownWindowModel m(f.Logic, &encoder);
    struct Case {
        int32_t Target;
        int32_t WaveMode;
        std::string Freq;
        bool Encode;
        bool Normalize;
        MixdownWindowModel::Enabling
            Expected; // track, format, rate, encode, bitrate, path, norm, rms
    };
    const Case kCases[] = {
        { kMixTargetFile, 3, "44100", false, false,
            { false, true, true, true, false, true, false, false } },
        { kMixTargetFile, 3, "44100", true, true,
            { false, true, true, true, true, true, true, true } },
        // MP3 only for 16-bit formats and for rates the encoder takes.
        { kMixTargetFile, 5, "44100", true, false,
            { false, true, true, false, false, true, false, false } },
        { kMixTargetFile, 2, "48000", true, false,
            { false, true, true, false, false, true, false, false } },
        { kMixTargetTrack, 3, "44100", true, false,
            { true, false, false, false, false, false, false, false } },
        { kMixTargetCd, 3, "44100", true, true,
            { false, true, true, false, false, false, true, true } },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "target " << c.Target << " mode " << c.WaveMode << " "
                                        << c.Freq << " encode " << c.Encode);
        m.SetTargetMode(c.Target);
        m.SetWaveMode(c.WaveMode);
        m.SetFreq(c.Freq);
        m.SetEncode(c.Encode);
        m.SetNormalize(c.Normalize);
        const MixdownWindowModel::Enabling e = m.Enabled();
        EXPECT_EQ(e.TrackList, c.Expected.TrackList);
        EXPECT_EQ(e.Format, c.Expected.Format);
        EXPECT_EQ(e.Rate, c.Expected.Rate);
        EXPECT_EQ(e.Encode, c.Expected.Encode);
        EXPECT_EQ(e.BitRate, c.Expected.BitRate);
        EXPECT_EQ(e.Path, c.Expected.Path);
        EXPECT_EQ(e.NormalizeLevel, c.Expected.NormalizeLevel);
        EXPECT_EQ(e.Rms, c.Expected.Rms);
    }
}

TEST(MixdownWindow, BitRateListFollowsRateAndKeepsTheChoice)
{
    test::LogicFixture f;
    RateLimitedEncoder encoder;
    MixdownWindowModel m(f.Logic, &encoder);
    m.SetWaveMode(3);
    m.SetFreq("44100");
    EXPECT_EQ(m.BitRates(),
        (std::vector<int32_t> { 192, 160, 128, 112, 96, 80, 64, 56, 48, 40, 32, 24 }));
    m.SetBitRate("128");
    m.SetWaveMode(2);
    EXPECT_EQ(m.Request().BitRate, "128");
    m.SetFreq("48000");
    EXPECT_TRUE(m.BitRates().empty());
    m.SetWaveMode(4);
    EXPECT_TRUE(m.BitRates().empty());
    // Without an encoder there is never a list.
    MixdownWindowModel none(f.Logic, nullptr);
    EXPECT_TRUE(none.BitRates().empty());
    EXPECT_FALSE(none.Enabled().Encode);
}

TEST(MixdownWindow, PathExtensionFollowsTheMp3Box)
{
    test::LogicFixture f;
    RateLimitedEncoder encoder;
    MixdownWindowModel m(f.Logic, &encoder);
    m.SetTargetFile("/music/take.one.wav");
    m.SetEncode(true);
    EXPECT_EQ(m.PathExtension(), "mp3");
    EXPECT_EQ(m.Request().TargetFile, "/music/take.one.mp3");
    m.SetEncode(false);
    EXPECT_EQ(m.Request().TargetFile, "/music/take.one.wav");
    m.SetTargetFile("");
    m.SetEncode(true);
    EXPECT_EQ(m.Request().TargetFile, "");
}

TEST(MixdownWindow, ShowsTheProjectAndLastSoundFile)
{
    test::LogicFixture f;
    const std::string wave = f.Home.Dir().File("last.wav");
    ASSERT_TRUE(test::WriteWav(wave, test::PcmSpec(22050, 16, 1, std::string(100, '\0'))));
    f.Logic.Proj().LastSoundFile = wave;
    MixdownWindowModel m(f.Logic, nullptr);
    EXPECT_EQ(m.ProjectInfo(), "Prj=44100");
    EXPECT_EQ(m.SoundFileInfo(), "Freq=22050 Mode=Mono16bit");
    EXPECT_EQ(m.Request().TargetFile, wave);
    EXPECT_EQ(m.TargetTrackItems().front(), "Track 1");
    EXPECT_EQ(m.TargetTrackItems().size(), static_cast<size_t>(f.Logic.Proj().LastTrackNo + 1));

    // A last sound file that is not a WAV file shows nothing and fills no path.
    f.Logic.Proj().LastSoundFile = f.Home.Dir().File("missing.wav");
    MixdownWindowModel other(f.Logic, nullptr);
    EXPECT_EQ(other.SoundFileInfo(), "");
    EXPECT_EQ(other.Request().TargetFile, "");
}

TEST(MixdownWindow, SavedValuesComeBackInTheNextWindow)
{
    test::LogicFixture f;
    {
        MixdownWindowModel m(f.Logic, nullptr);
        m.SetSourceTracks(2);
        m.SetSourceRange(1);
        m.SetTargetMode(kMixTargetCd);
        m.SetWaveMode(1);
        m.SetFreq("22050");
        m.SetLoop("0");
        m.SetSuStart("250");
        m.SetSuEnd("abc"); // not a number: not stored
        m.SetTargetFile("/somewhere/out.wav");
        m.SaveValues();
        EXPECT_EQ(m.Request().Loop, "1");
    }
    MixdownWindowModel m(f.Logic, nullptr);
    EXPECT_EQ(m.Request().SourceTracks, 2);
    EXPECT_EQ(m.Request().SourceRange, 1);
    EXPECT_EQ(m.Request().TargetMode, kMixTargetCd);
    EXPECT_EQ(m.Request().WaveMode, 1);
    EXPECT_EQ(m.Request().Freq, "22050");
    EXPECT_EQ(m.Request().Loop, "1");
    EXPECT_EQ(m.Request().SuStart, "250");
    EXPECT_EQ(m.Request().SuEnd, "0");
    EXPECT_EQ(m.Request().Path, "/somewhere/");
}

TEST(MixdownWindow, OkWritesTheFileAndSaysWhetherTheWindowCloses)
{
    test::LogicFixture f;
    ASSERT_GE(f.AddBlock("a.wav", 0, 0, 3000), 0);
    MixdownWindowModel m(f.Logic, nullptr);
    m.SetTargetFile("");
    MixdownResult invalid = m.Run();
    EXPECT_EQ(invalid.Outcome, MixdownOutcome::Invalid);
    EXPECT_FALSE(MixdownWindowModel::ClosesAfter(invalid));

    const std::string target = f.Home.Dir().File("mix.wav");
    m.SetTargetFile(target);
    m.SetWaveMode(2); // mono: converted after the render
    double lastProgress = -1;
    MixdownResult done = m.Run([&](double pDone, std::string_view) {
        lastProgress = pDone;
        return true;
    });
    EXPECT_EQ(done.Outcome, MixdownOutcome::Finished);
    EXPECT_TRUE(MixdownWindowModel::ClosesAfter(done));
    EXPECT_GE(lastProgress, 0.0);
    const WaveInfo info = ReadWaveInfo(target);
    EXPECT_EQ(info.Valid, 1);
    EXPECT_EQ(info.Channels, 1);
    EXPECT_EQ(info.Frames, 3000);

    MixdownResult declined;
    declined.Outcome = MixdownOutcome::Declined;
    EXPECT_FALSE(MixdownWindowModel::ClosesAfter(declined));
}

namespace {

/// Writes "CODEC" into the target instead of encoding, so a test sees which path ran.
class NamingFileEncoder : public AudioFileEncoder {
public:
    bool Available(AudioCodec) const override { return true; }
    Status Encode(
        AudioCodec pCodec, int32_t, std::string_view, FileHandle& pOut, const Progress&) override
    {
        const std::string text(CodecName(pCodec));
        if (!WriteAt(pOut, text.data(), static_cast<int64_t>(text.size()), 0))
            return Fail("write failed");
        return {};
    }
};

} // namespace

TEST(MixdownWindow, ATargetNamedFlacOrOpusIsWrittenInThatFormatAsOnTheCommandLine)
{
    test::LogicFixture f;
    ASSERT_GE(f.AddBlock("a.wav", 0, 0, 3000), 0);
    NamingFileEncoder encoder;
    const struct {
        const char* Name;
        const char* Freq;
        const char* Written;
        const char* Extension;
    } kCases[]
        = { { "mix.flac", "44100", "FLAC", "flac" }, { "mix.OPUS", "48000", "Opus", "opus" } };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Name);
        MixdownWindowModel m(f.Logic, nullptr, &encoder);
        const std::string target = f.Home.Dir().File(c.Name);
        m.SetTargetFile(target);
        m.SetFreq(c.Freq);
        MixdownResult done = m.Run();
        ASSERT_EQ(done.Outcome, MixdownOutcome::Finished) << done.Message;
        // The codec's own extension names the file written.
        EXPECT_EQ(done.Target, f.Home.Dir().File(std::string("mix.") + c.Extension));
        EXPECT_EQ(test::ReadFileBytes(done.Target), c.Written);
    }
    // Without an encoder such a target is refused, never written as a WAV under that name.
    MixdownWindowModel none(f.Logic, nullptr);
    const std::string target = f.Home.Dir().File("plain.flac");
    none.SetTargetFile(target);
    EXPECT_EQ(none.Run().Outcome, MixdownOutcome::Invalid);
    EXPECT_FALSE(FileExists(target));
}

TEST(MixdownWindow, ATruePeakAboveZeroDbtpIsWarnedOf)
{
    struct Case {
        MixdownOutcome Outcome;
        bool Cancelled;
        std::optional<double> TruePeak;
        bool Warned;
    };
    const Case cases[] = {
        { MixdownOutcome::Finished, false, 0.4, true },
        { MixdownOutcome::Finished, false, 0.0, false },
        { MixdownOutcome::Finished, false, -1.0, false },
        { MixdownOutcome::Finished, false, std::nullopt, false },
        { MixdownOutcome::Finished, true, 0.4, false },
        { MixdownOutcome::Failed, false, 0.4, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(
            testing::Message() << c.TruePeak.value_or(-999) << " cancelled " << c.Cancelled);
        MixdownResult r;
        r.Outcome = c.Outcome;
        r.Cancelled = c.Cancelled;
        if (c.TruePeak)
            r.Loudness = LoudnessReading { -14.0, *c.TruePeak };
        const std::string warning = MixdownWindowModel::ClipWarning(r);
        EXPECT_EQ(!warning.empty(), c.Warned);
        if (c.Warned) {
            EXPECT_NE(warning.find("0 dBTP"), std::string::npos);
            EXPECT_NE(warning.find(LoudnessText(*r.Loudness)), std::string::npos);
        }
    }
}

} // namespace tarvok
