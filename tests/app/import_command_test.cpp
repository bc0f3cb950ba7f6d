#include "app/shell/import_command.h"
#include "base/file_name.h"

#include "app/shell/main_logic.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/load_file_to_track.h"
#include "core/wave_info.h"
#include "render/conv_wave.h"
#include "support/started_logic.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>

namespace tarvok {

namespace {

/// A started main window over an in-memory store, a temporary data folder and a folder of
/// source files outside it.
struct Fixture : test::StartedLogic<> {
    test::TempDir Sources;
    test::TempDir Scratch;

    const std::string& DataPath() { return Logic.Folder().Path(); }

    /// Names in the data folder ending in pSuffix, sorted.
    std::vector<std::string> DataFiles(std::string_view pSuffix = "")
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(DataPath())) {
            std::string name = entry.path().filename().string();
            // Undo snapshots belong to the edit protocol, not to what the import leaves.
            if (pSuffix.empty() && name.size() > 4 && name.compare(name.size() - 4, 4, ".tvp") == 0)
                continue;
            // Nor does the marker of the session that has entered the folder.
            if (pSuffix.empty() && name.starts_with("~u") && name.ends_with(".run"))
                continue;
            if (name.size() >= pSuffix.size()
                && name.compare(name.size() - pSuffix.size(), pSuffix.size(), pSuffix) == 0)
                names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    /// What the import's conversion makes of pSource at the project rate.
    std::string Converted(const std::string& pSource)
    {
        static int counter = 0;
        const std::string target = Scratch.File("expected" + std::to_string(++counter) + ".wav");
        C_ConvWave cw;
        EXPECT_TRUE(cw.ConvWave(pSource, target, Logic.Proj().SampleRate, 16, 2, 1, false));
        return test::ReadFileBytes(target);
    }
};

std::string Ramp16(int64_t pCount, int32_t pScale)
{
    std::vector<int16_t> samples;
    for (int64_t i = 0; i < pCount; ++i)
        samples.push_back(static_cast<int16_t>((i * pScale) % 65536 - 32768));
    return test::Samples16(samples);
}

/// pCount samples of the given width with varied values.
std::string VariedSamples(int32_t pBits, int64_t pCount)
{
    if (pBits == 8) {
        std::vector<uint8_t> s;
        for (int64_t i = 0; i < pCount; ++i)
            s.push_back(static_cast<uint8_t>((i * 37) % 256));
        return test::Samples8(s);
    }
    if (pBits == 16)
        return Ramp16(pCount, 977);
    std::vector<int32_t> s;
    for (int64_t i = 0; i < pCount; ++i)
        s.push_back(static_cast<int32_t>((i * 65537) % 16777216) - 8388608);
    return test::Samples24(s);
}

} // namespace

TEST(ImportCommand, EveryFormatModeGivesTheConvertersWorkingFiles)
{
    for (int32_t mode = 0; mode < kFormatModeCount; ++mode) {
        SCOPED_TRACE(std::string(FormatName(mode)));
        Fixture f;
        const SampleFormat format = *FormatBitsChannels(mode);
        const int64_t frames = 1001;
        test::WavSpec spec = test::PcmSpec(44100, format.Bits, format.Channels,
            VariedSamples(format.Bits, frames * format.Channels));
        if (format.Channels > 2) {
            spec.FormatTag = -2;
            spec.Extensible = true;
        }
        const std::string source = f.Sources.File("take " + std::to_string(mode) + ".wav");
        ASSERT_TRUE(test::WriteWav(source, spec));

        ASSERT_TRUE(f.Logic.ImportSoundFile(0, source, 300, false));
        const Project& p = f.Logic.Proj();
        EXPECT_EQ(p.CheckInvariants(), "");

        std::vector<std::string> expected;
        if (format.Channels <= 2) {
            expected.push_back(mode == 3 ? test::ReadFileBytes(source) : f.Converted(source));
        } else {
            DataFolder scratch(f.Scratch.Path());
            HeadlessUi ui;
            std::vector<std::string> channels;
            ASSERT_TRUE(SplitChannels(source, channels, scratch, ui));
            for (const std::string& channel : channels)
                expected.push_back(f.Converted(channel));
        }
        ASSERT_EQ(p.BlockCount(), static_cast<int32_t>(expected.size()));
        ASSERT_EQ(p.WaveFileCount(), static_cast<int32_t>(expected.size()));
        for (int32_t i = 0; i < p.BlockCount(); ++i) {
            SCOPED_TRACE(i);
            const Block& b = p.Blocks[i];
            EXPECT_EQ(b.TrackNo, i);
            EXPECT_EQ(b.StartAdr, 300);
            EXPECT_EQ(b.Name, "take " + std::to_string(mode));
            EXPECT_EQ(b.SrcStart, 1);
            const WaveFile& w = p.WaveFiles[b.WaveNo];
            EXPECT_EQ(b.SrcEnd, w.Length);
            EXPECT_TRUE(IsGeneratedName(std::filesystem::path(w.FileName).filename().string()));
            EXPECT_EQ(test::ReadFileBytes(w.FileName), expected[i]);
            EXPECT_TRUE(FileExists(w.PeakFile));
        }
        // Working files and their peak files, nothing else (split files are gone).
        EXPECT_EQ(f.DataFiles(".wav").size(), expected.size());
        EXPECT_EQ(f.DataFiles(".wwf").size(), expected.size());
        EXPECT_EQ(f.DataFiles().size(), 2 * expected.size());
        EXPECT_EQ(p.LastSoundFile, source);
        EXPECT_EQ(f.Logic.RecentFiles().front(), source);
        EXPECT_EQ(f.Ui.LastStatus(), "処理終了");
    }
}

TEST(ImportCommand, TheCopyIntoTheDataFolderShowsItsProgressOnlyWhenAWindowAsks)
{
    for (bool shown : { false, true }) {
        SCOPED_TRACE(shown);
        Fixture f;
        f.Logic.CopyProgressShown = shown;
        const std::string source = f.Sources.File("take.wav");
        ASSERT_TRUE(test::WriteWav(source, test::PcmSpec(44100, 16, 2, Ramp16(2 * 1000, 5))));
        ASSERT_TRUE(f.Logic.ImportSoundFile(0, source, 0, false));
        std::vector<std::string> copying;
        for (const std::string& text : f.Ui.StatusTexts())
            if (text.starts_with("ファイルコピー中…"))
                copying.push_back(text);
        const std::vector<std::string> expected = shown
            ? std::vector<std::string> { "ファイルコピー中… 0%", "ファイルコピー中… 100%" }
            : std::vector<std::string> {};
        EXPECT_EQ(copying, expected);
        EXPECT_EQ(f.Ui.LastStatus(), "処理終了");
    }
}

TEST(ImportCommand, SurroundChannelsFillTheTracksFromTheDropOnAndNoFurther)
{
    // Tracks count from 0: dropped on track 6 of 0..7, channels 1 and 2 land on 6 and 7;
    // dropped on 5, channels 1 to 3 land on 5 to 7. The other channels are converted but
    // not placed.
    const std::pair<int32_t, std::vector<int32_t>> kCases[] = {
        { 6, { 6, 7 } },
        { 5, { 5, 6, 7 } },
        { 0, { 0, 1, 2, 3, 4, 5 } },
    };
    for (const auto& [track, tracks] : kCases) {
        SCOPED_TRACE(track);
        Fixture f;
        ASSERT_EQ(f.Logic.Proj().LastTrackNo, 7);
        test::WavSpec spec = test::PcmSpec(44100, 16, 6, VariedSamples(16, 6 * 500));
        spec.FormatTag = -2;
        spec.Extensible = true;
        const std::string source = f.Sources.File("five one.wav");
        ASSERT_TRUE(test::WriteWav(source, spec));
        ASSERT_TRUE(f.Logic.ImportSoundFile(track, source, 0, true));
        const Project& p = f.Logic.Proj();
        std::vector<int32_t> got;
        for (const Block& b : p.Blocks)
            got.push_back(b.TrackNo);
        EXPECT_EQ(got, tracks);
        EXPECT_EQ(f.DataFiles(".wav").size(), 6U);
        EXPECT_TRUE(f.Logic.RecentFiles().empty());
        // Channel 1 is the left of the first placed block's file.
        EXPECT_EQ(p.WaveFiles[p.Blocks[0].WaveNo].Length, 500);
    }
}

TEST(ImportCommand, AMonoFileDroppedOnTheLastTrackIsPlacedThere)
{
    Fixture f;
    const std::string source = f.Sources.File("mono.wav");
    ASSERT_TRUE(test::WriteWav(source, test::PcmSpec(44100, 16, 1, Ramp16(100, 3))));
    ASSERT_TRUE(f.Logic.ImportSoundFile(7, source, 0, true));
    ASSERT_EQ(f.Logic.Proj().BlockCount(), 1);
    EXPECT_EQ(f.Logic.Proj().Blocks[0].TrackNo, 7);
}

TEST(ImportCommand, ExtensibleStereoStaysOneStereoTrack)
{
    Fixture f;
    test::WavSpec spec = test::PcmSpec(44100, 24, 2, VariedSamples(24, 2 * 300));
    spec.FormatTag = -2;
    spec.Extensible = true;
    const std::string source = f.Sources.File("ext24.wav");
    ASSERT_TRUE(test::WriteWav(source, spec));
    ASSERT_TRUE(f.Logic.ImportSoundFile(0, source, 0, true));
    ASSERT_EQ(f.Logic.Proj().BlockCount(), 1);
    EXPECT_EQ(test::ReadFileBytes(f.Logic.Proj().WaveFiles[0].FileName), f.Converted(source));
}

TEST(ImportCommand, AnsweringNoTakesTheFilesRateAndCopiesWithoutConversion)
{
    Fixture f;
    ASSERT_EQ(f.Logic.Proj().SampleRate, 44100);
    const std::string source = f.Sources.File("48k.wav");
    ASSERT_TRUE(test::WriteWav(source, test::PcmSpec(48000, 16, 2, Ramp16(2 * 4800, 11))));
    f.Ui.QueueAnswer("no");
    ASSERT_TRUE(f.Logic.ImportSoundFile(0, source, 0, true));
    const Project& p = f.Logic.Proj();
    EXPECT_EQ(f.Ui.BoxTexts(), (std::vector<std::string> { std::string(kConvertRateQuestion) }));
    EXPECT_EQ(p.SampleRate, 48000);
    ASSERT_EQ(p.WaveFileCount(), 1);
    const std::string& working = p.WaveFiles[0].FileName;
    EXPECT_EQ(std::filesystem::path(working).parent_path(),
        std::filesystem::path(f.DataPath()).parent_path());
    EXPECT_EQ(test::ReadFileBytes(working), test::ReadFileBytes(source));
    for (const std::string& text : f.Ui.StatusTexts())
        EXPECT_EQ(text.rfind(std::string(kConvertingText), 0), std::string::npos) << text;
}

TEST(ImportCommand, AnsweringYesConvertsToTheProjectRate)
{
    Fixture f;
    const std::string source = f.Sources.File("22k.wav");
    ASSERT_TRUE(test::WriteWav(source, test::PcmSpec(22050, 8, 1, VariedSamples(8, 3000))));
    f.Ui.QueueAnswer("yes");
    ASSERT_TRUE(f.Logic.ImportSoundFile(0, source, 0, true));
    const Project& p = f.Logic.Proj();
    EXPECT_EQ(p.SampleRate, 44100);
    EXPECT_EQ(test::ReadFileBytes(p.WaveFiles[0].FileName), f.Converted(source));
    EXPECT_EQ(ReadWaveInfo(p.WaveFiles[0].FileName).Frames, 6000);
    std::vector<std::string> statuses = f.Ui.StatusTexts();
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "コンバート 100.0%"), statuses.end());
    // The project was empty: zoomed to fit 6000 frames in 1000 pixels of 64 frames.
    EXPECT_EQ(p.Zoom, 1);
    EXPECT_EQ(p.ViewStart, 0);
}

TEST(ImportCommand, AFileInTheDataFolderIsPlacedDirectly)
{
    Fixture f;
    const std::string inside = f.DataPath() + "mine.wav";
    ASSERT_TRUE(test::WriteWav(inside, test::PcmSpec(44100, 16, 2, Ramp16(2 * 200, 5))));
    ASSERT_TRUE(f.Logic.ImportSoundFile(2, inside, 10, true));
    const Project& p = f.Logic.Proj();
    ASSERT_EQ(p.WaveFileCount(), 1);
    EXPECT_EQ(p.WaveFiles[0].FileName, inside);
    EXPECT_EQ(p.Blocks[0].TrackNo, 2);
    EXPECT_EQ(f.DataFiles(".wav"), (std::vector<std::string> { "mine.wav" }));
}

TEST(ImportCommand, BlockNamesAreCleaned)
{
    const std::pair<std::string_view, std::string_view> kCases[] = {
        { "a,b", "a.b" },
        { "say \"hi\"", "say ＂hi＂" },
        { "x，y", "x.y" },
        { "plain", "plain" },
    };
    for (auto [name, cleaned] : kCases) {
        SCOPED_TRACE(std::string(name));
        EXPECT_EQ(CleanBlockName(name), cleaned);
    }
    Fixture f;
    const std::string source = f.Sources.File("mix, \"take\"，2.final.wav");
    ASSERT_TRUE(test::WriteWav(source, test::PcmSpec(44100, 16, 2, Ramp16(40, 3))));
    ASSERT_TRUE(f.Logic.ImportSoundFile(0, source, 0, true));
    EXPECT_EQ(f.Logic.Proj().Blocks[0].Name, "mix. ＂take＂.2.final");
}

TEST(ImportCommand, ImportingTheSameFileTwiceGivesTwoWorkingFiles)
{
    Fixture f;
    const std::string source = f.Sources.File("twice.wav");
    ASSERT_TRUE(test::WriteWav(source, test::PcmSpec(44100, 16, 2, Ramp16(2 * 100, 9))));
    ASSERT_TRUE(f.Logic.ImportSoundFile(0, source, 0, true));
    ASSERT_TRUE(f.Logic.ImportSoundFile(1, source, 0, true));
    const Project& p = f.Logic.Proj();
    EXPECT_EQ(p.BlockCount(), 2);
    ASSERT_EQ(p.WaveFileCount(), 2);
    EXPECT_NE(p.WaveFiles[0].FileName, p.WaveFiles[1].FileName);
    EXPECT_EQ(f.DataFiles(".wav").size(), 2U);
}

TEST(ImportCommand, CompressedFilesWithoutADecoderImportNothing)
{
    Fixture f;
    const std::string mp3 = f.Sources.File("song.mp3");
    ASSERT_TRUE(
        test::WriteFileBytes(mp3, std::string("\xFF\xFB\x90\x00", 4) + std::string(400, '\0')));
    // An MP3 in a RIFF wrapper goes to the decoder too, whatever its name.
    test::WavSpec riff = test::PcmSpec(44100, 16, 2, std::string(64, '\0'));
    riff.FormatTag = 85;
    const std::string wrapped = f.Sources.File("wrapped.wav");
    ASSERT_TRUE(test::WriteWav(wrapped, riff));
    for (const std::string& source : { mp3, wrapped }) {
        SCOPED_TRACE(source);
        f.Ui.ClearEvents();
        EXPECT_FALSE(f.Logic.ImportSoundFile(0, source, 0, true));
        const std::vector<std::string> statuses = f.Ui.StatusTexts();
        ASSERT_FALSE(statuses.empty());
        EXPECT_EQ(statuses.front(), kDecodingText);
        EXPECT_EQ(f.Logic.Proj().BlockCount(), 0);
        EXPECT_TRUE(f.Logic.Proj().Saved); // no edit was started
        EXPECT_TRUE(f.Logic.Proj().LastSoundFile.empty());
        EXPECT_TRUE(f.DataFiles().empty());
        EXPECT_FALSE(f.Logic.Busy);
    }
}

TEST(ImportCommand, AnInvalidFileIsReportedInTheMessageArea)
{
    Fixture f;
    const std::string source = f.Sources.File("notes.wav");
    ASSERT_TRUE(test::WriteFileBytes(source, "this is not a sound file"));
    EXPECT_FALSE(f.Logic.ImportSoundFile(0, source, 0, true));
    EXPECT_EQ(f.Ui.LastStatus(), kWrongFormatText);
    EXPECT_TRUE(f.Ui.BoxTexts().empty());
    EXPECT_EQ(f.Logic.Proj().BlockCount(), 0);
    EXPECT_TRUE(f.Logic.Proj().Saved);
    EXPECT_TRUE(f.DataFiles().empty());
}

TEST(ImportCommand, RefusedWhilePlayingOrRecording)
{
    Fixture f;
    const std::string source = f.Sources.File("a.wav");
    ASSERT_TRUE(test::WriteWav(source, test::PcmSpec(44100, 16, 2, Ramp16(8, 1))));
    f.Logic.Playing = true;
    EXPECT_FALSE(f.Logic.ImportSoundFile(0, source, 0, false));
    f.Logic.Playing = false;
    f.Logic.Recording = true;
    EXPECT_FALSE(f.Logic.ImportSoundFile(0, source, 0, false));
    EXPECT_EQ(f.Logic.Proj().BlockCount(), 0);
    EXPECT_TRUE(f.DataFiles().empty());
    // The path still went to the recently-used list.
    EXPECT_EQ(f.Logic.RecentFiles().front(), source);
}

namespace {

/// Presses stop as soon as a conversion reports progress.
class StoppingUi : public HeadlessUi {
public:
    MainLogic* Logic = nullptr;
    void ShowMessage(std::string_view pText) override
    {
        HeadlessUi::ShowMessage(pText);
        if (Logic != nullptr && pText.starts_with(kConvertingText))
            Logic->CancelRequest = true;
    }
};

} // namespace

TEST(ImportCommand, ACancelledConversionLeavesNoFiles)
{
    test::ScopedHome home;
    test::TempDir sources;
    MemorySettingsBackend backend;
    Settings store { backend };
    StoppingUi ui;
    MainLogic logic { store, ui };
    ui.Logic = &logic;
    logic.SetDataFolderOverride(home.Dir().File("data-folder"));
    ASSERT_TRUE(logic.Startup(""));
    test::WavSpec spec = test::PcmSpec(8000, 16, 6, VariedSamples(16, 6 * 8000 * 12));
    spec.FormatTag = -2;
    spec.Extensible = true;
    const std::string source = sources.File("long.wav");
    ASSERT_TRUE(test::WriteWav(source, spec));
    // No takes the file's rate; the mono channel files still need converting to stereo,
    // and the first of three 5-second chunks is 41.7% of the file.
    ui.QueueAnswer("no");
    EXPECT_FALSE(logic.ImportSoundFile(0, source, 0, true));
    EXPECT_EQ(logic.Proj().BlockCount(), 0);
    EXPECT_EQ(logic.Proj().SampleRate, 44100); // nothing placed: the rate is restored
    EXPECT_TRUE(logic.Proj().LastSoundFile.empty());
    std::vector<std::string> statuses = ui.StatusTexts();
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "コンバート 41.7%"), statuses.end());
    EXPECT_FALSE(logic.CancelRequest);
    EXPECT_FALSE(logic.Busy);
    // Only the undo snapshot taken when the edit began remains (and the session's marker).
    for (const auto& entry : std::filesystem::directory_iterator(logic.Folder().Path())) {
        if (entry.path().extension() != ".run") {
            EXPECT_EQ(entry.path().extension(), ".tvp") << entry.path();
        }
    }
}

TEST(ImportCommand, SoxMadeFileImportsAsTheConverterMakesIt)
{
    if (!test::HaveSox())
        GTEST_SKIP() << "sox is not installed";
    Fixture f;
    const std::string source = f.Sources.File("sox.wav");
    const std::string command = "sox -n -r 32000 -c 2 -b 24 '" + source
        + "' synth 0.7 sine 440 sine 660 vol 0.5 >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    f.Ui.QueueAnswer("yes");
    ASSERT_TRUE(f.Logic.ImportSoundFile(0, source, 0, true));
    const Project& p = f.Logic.Proj();
    ASSERT_EQ(p.WaveFileCount(), 1);
    EXPECT_EQ(test::ReadFileBytes(p.WaveFiles[0].FileName), f.Converted(source));
    // 0.7 s at 32 kHz is 22400 frames: 30870 at 44.1 kHz.
    EXPECT_EQ(p.WaveFiles[0].Length, 30870);
}

TEST(ImportCommand, Helpers)
{
    const std::pair<std::string_view, int32_t> kDecode[] = {
        { "mp3", 0 },
        { "aif", 0 },
        { "mpeg", 0 },
        { "wav", 85 },
        { "wav", 353 },
        { "wav", 80 },
    };
    for (auto [ext, tag] : kDecode) {
        SCOPED_TRACE(std::string(ext) + " " + std::to_string(tag));
        EXPECT_TRUE(NeedsDecoding(ext, tag));
    }
    EXPECT_FALSE(NeedsDecoding("wav", 1));
    EXPECT_FALSE(NeedsDecoding("flac", 0));
    EXPECT_EQ(ExtensionOf("/a.b/Song.MP3"), "mp3");
    EXPECT_EQ(ExtensionOf("/a.b/noext"), "");

    const std::tuple<int64_t, int32_t, int32_t, int32_t> kZoom[] = {
        { 64000, 64, 1000, 1 },
        { 64001, 64, 1000, 2 },
        { 0, 64, 1000, 1 },
        { 64LL * 1000 * 16384 + 1, 64, 1000, 16384 },
        { 1000000, 64, 0, 16384 },
    };
    for (auto [end, step, width, zoom] : kZoom) {
        SCOPED_TRACE(end);
        EXPECT_EQ(FitZoom(end, step, width), zoom);
    }
}

} // namespace tarvok

namespace tarvok {

TEST(ImportCommand, AHeaderClaimingMoreDataThanTheFileHoldsPlacesOnlyTheFramesPresent)
{
    // 442 frames are present; the header claims a streamed length (0xFFFFFFFF) or twice
    // what is there (a truncated copy), in the project's format and in one to convert,
    // from outside the data folder and from inside it.
    struct Case {
        const char* Name;
        int32_t Bits;
        int32_t Channels;
        uint32_t SizeField;
        bool Inside;
    };
    const Case kCases[] = {
        { "streamed", 16, 2, 0xFFFFFFFFU, false },
        { "truncated", 16, 2, 442U * 4 * 2, false },
        { "streamed-inside", 16, 2, 0xFFFFFFFFU, true },
        { "streamed-mono8", 8, 1, 0xFFFFFFFFU, false },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Name);
        Fixture f;
        test::WavSpec spec
            = test::PcmSpec(44100, c.Bits, c.Channels, VariedSamples(c.Bits, 442 * c.Channels));
        spec.DataSizeField = c.SizeField;
        const std::string source = c.Inside ? f.DataPath() + c.Name + ".wav"
                                            : f.Sources.File(std::string(c.Name) + ".wav");
        ASSERT_TRUE(test::WriteWav(source, spec));
        ASSERT_TRUE(f.Logic.ImportSoundFile(1, source, 100, true));
        const Project& p = f.Logic.Proj();
        ASSERT_EQ(p.BlockCount(), 1);
        EXPECT_EQ(p.Blocks[0].StartAdr, 100);
        EXPECT_EQ(p.Blocks[0].SrcStart, 1);
        EXPECT_EQ(p.Blocks[0].SrcEnd, 442);
        EXPECT_EQ(p.Blocks[0].EndAdr, 541);
        EXPECT_EQ(p.WaveFiles[0].Length, 442);
        EXPECT_EQ(p.ProjectLength, 542);
        EXPECT_EQ(p.CheckInvariants(), "");
        // The working file is a copy whose header tells the truth, so a later open of the
        // project sees the same length; the user's file is untouched.
        EXPECT_NE(p.WaveFiles[0].FileName, source);
        EXPECT_EQ(ReadWaveInfo(p.WaveFiles[0].FileName).Frames, 442);
        EXPECT_EQ(test::ReadFileBytes(source), test::MakeWav(spec));
    }
}

} // namespace tarvok

namespace tarvok {

namespace {

/// A decoder that knows one made-up format: files starting with "SND1", decoded into a
/// 16-bit stereo WAV file of 100 frames at 44.1 kHz.
class Snd1Decoder : public SoundDecoder {
public:
    int Decodes = 0;
    bool Decode(
        const std::string& pSource, const std::string& pTarget, UserInterface&, bool&) override
    {
        ++Decodes;
        if (!Recognises(pSource))
            return false;
        return test::WriteWav(pTarget, test::PcmSpec(44100, 16, 2, Ramp16(200, 7)));
    }
    bool Recognises(const std::string& pSource) override
    {
        return test::ReadFileBytes(pSource).starts_with("SND1");
    }
};

} // namespace

TEST(ImportCommand, RatesBelowTheListOrAbsurdAreRefusedWithAMessage)
{
    struct Case {
        int32_t Rate;
        bool Imported;
    };
    const Case kCases[] = { { 1, false }, { 7999, false }, { 768001, false }, { 2000000000, false },
        { 8000, true }, { 768000, true } };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Rate);
        Fixture f;
        const std::string source = f.Sources.File("rate.wav");
        ASSERT_TRUE(test::WriteWav(source, test::PcmSpec(c.Rate, 16, 2, Ramp16(2 * 10, 3))));
        f.Ui.QueueAnswer("yes"); // convert to the project's rate
        EXPECT_EQ(f.Logic.ImportSoundFile(0, source, 0, true), c.Imported);
        EXPECT_EQ(f.Logic.Proj().BlockCount(), c.Imported ? 1 : 0);
        if (!c.Imported) {
            EXPECT_EQ(f.Ui.LastStatus(), RateRefusedText(c.Rate));
            EXPECT_TRUE(f.DataFiles().empty());
            EXPECT_TRUE(f.Logic.Proj().Saved);
        }
    }
}

TEST(ImportCommand, TheContentNotTheNameDecidesHowAFileIsRead)
{
    Fixture f;
    Snd1Decoder decoder;
    f.Logic.SetDecoder(&decoder);
    const std::string wav = test::MakeWav(test::PcmSpec(44100, 16, 2, Ramp16(2 * 50, 13)));
    // WAV files under the names of compressed formats are read as WAV files, undecoded.
    for (const char* name : { "song.mp3", "clip.wma", "voice.aiff", "take.flac" }) {
        SCOPED_TRACE(name);
        const std::string source = f.Sources.File(name);
        ASSERT_TRUE(test::WriteFileBytes(source, wav));
        ASSERT_TRUE(f.Logic.ImportSoundFile(0, source, 0, true));
        const Project& p = f.Logic.Proj();
        EXPECT_EQ(p.Blocks.back().SrcEnd, 50);
        EXPECT_EQ(test::ReadFileBytes(p.WaveFiles.back().FileName), wav);
    }
    EXPECT_EQ(decoder.Decodes, 0);

    // A file the decoder recognises is decoded whatever its name.
    for (const char* name : { "odd.flac", "odd.wav", "odd" }) {
        SCOPED_TRACE(name);
        const std::string source = f.Sources.File(name);
        ASSERT_TRUE(test::WriteFileBytes(source, "SND1 and more"));
        const int32_t blocks = f.Logic.Proj().BlockCount();
        ASSERT_TRUE(f.Logic.ImportSoundFile(0, source, 0, true));
        EXPECT_EQ(f.Logic.Proj().BlockCount(), blocks + 1);
        EXPECT_EQ(f.Logic.Proj().Blocks.back().SrcEnd, 100);
    }
    EXPECT_EQ(decoder.Decodes, 3);

    // What nothing recognises is the wrong format, without a decode.
    const std::string junk = f.Sources.File("junk.ogg");
    ASSERT_TRUE(test::WriteFileBytes(junk, "not sound at all"));
    f.Ui.ClearEvents();
    EXPECT_FALSE(f.Logic.ImportSoundFile(0, junk, 0, true));
    EXPECT_EQ(f.Ui.LastStatus(), kWrongFormatText);
    EXPECT_EQ(decoder.Decodes, 3);
}

TEST(ImportCommand, RifxRf64AndAviFilesAreNotReadAsWavFiles)
{
    // Each holds a "fmt " and a "data" chunk a WAV reader would accept; none is RIFF/WAVE.
    struct Case {
        const char* Riff;
        const char* Wave;
    };
    for (const Case& c :
        { Case { "RIFX", "WAVE" }, Case { "RF64", "WAVE" }, Case { "RIFF", "AVI " } }) {
        SCOPED_TRACE(std::string(c.Riff) + c.Wave);
        Fixture f;
        test::WavSpec spec = test::PcmSpec(44100, 16, 2, Ramp16(2 * 50, 13));
        spec.RiffId = c.Riff;
        spec.WaveId = c.Wave;
        const std::string source = f.Sources.File("odd.wav");
        ASSERT_TRUE(test::WriteWav(source, spec));
        EXPECT_FALSE(IsRiffWaveFile(source));
        EXPECT_FALSE(f.Logic.ImportSoundFile(0, source, 0, true));
        EXPECT_EQ(f.Ui.LastStatus(), kWrongFormatText);
        EXPECT_EQ(f.Logic.Proj().BlockCount(), 0);
        EXPECT_TRUE(f.DataFiles().empty());
    }
}

} // namespace tarvok

namespace tarvok {

namespace {

/// A decoder that recognises every file and decodes it into 100 frames of 16-bit stereo.
class AnyDecoder : public SoundDecoder {
public:
    int Decodes = 0;
    bool Decode(const std::string&, const std::string& pTarget, UserInterface&, bool&) override
    {
        ++Decodes;
        return test::WriteWav(pTarget, test::PcmSpec(44100, 16, 2, Ramp16(200, 7)));
    }
    bool Recognises(const std::string&) override { return true; }
};

} // namespace

TEST(ImportCommand, AWavFileTheReaderRefusesSaysWhyAndLeavesNothing)
{
    struct Case {
        const char* Name;
        std::function<void(test::WavSpec&)> Edit;
        std::string Cause;
    };
    const Case kCases[] = {
        { "big-endian", [](test::WavSpec& s) { s.BigEndian = true; }, "RIFX" },
        { "tag 0", [](test::WavSpec& s) { s.FormatTag = 0; }, "0x0000" },
        { "tag 0x1234", [](test::WavSpec& s) { s.FormatTag = 0x1234; }, "0x1234" },
        { "fmt of 0 bytes", [](test::WavSpec& s) { s.FmtBytes = 0; }, "fmtチャンクが短すぎます" },
        { "fmt of 14 bytes", [](test::WavSpec& s) { s.FmtBytes = 14; }, "fmtチャンクが短すぎます" },
        { "zero sub-format",
            [](test::WavSpec& s) {
                s.FormatTag = -2;
                s.Extensible = true;
                s.SubFormatGuid = std::string(16, '\0');
            },
            "サブフォーマット" },
        { "no whole frame", [](test::WavSpec& s) { s.Samples = "\x01\x02\x03"; },
            "音声データがありません" },
        { "no data chunk", [](test::WavSpec& s) { s.OmitData = true; }, "dataチャンク" },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Name);
        Fixture f;
        test::WavSpec spec = test::PcmSpec(44100, 16, 2, Ramp16(2 * 50, 13));
        c.Edit(spec);
        const std::string source = f.Sources.File("odd.wav");
        ASSERT_TRUE(test::WriteWav(source, spec));
        EXPECT_FALSE(f.Logic.ImportSoundFile(0, source, 0, true));
        const std::vector<std::string> boxes = f.Ui.BoxTexts();
        ASSERT_EQ(boxes.size(), 1U);
        EXPECT_TRUE(boxes[0].starts_with(std::string(kImportFailedText) + "\n" + source + "\n"))
            << boxes[0];
        EXPECT_NE(boxes[0].find(c.Cause), std::string::npos) << boxes[0];
        EXPECT_EQ(f.Ui.LastStatus(), kWrongFormatText);
        EXPECT_EQ(f.Logic.Proj().BlockCount(), 0);
        EXPECT_TRUE(f.Logic.Proj().Saved);
        EXPECT_TRUE(f.DataFiles().empty());
    }
}

TEST(ImportCommand, ABigEndianFileIsRefusedEvenWhenADecoderRecognisesIt)
{
    Fixture f;
    AnyDecoder decoder;
    f.Logic.SetDecoder(&decoder);
    test::WavSpec spec = test::PcmSpec(44100, 16, 2, Ramp16(2 * 50, 13));
    spec.BigEndian = true;
    const std::string source = f.Sources.File("rifx.wav");
    ASSERT_TRUE(test::WriteWav(source, spec));
    EXPECT_FALSE(f.Logic.ImportSoundFile(0, source, 0, true));
    EXPECT_EQ(decoder.Decodes, 0);
    ASSERT_EQ(f.Ui.BoxTexts().size(), 1U);
    EXPECT_NE(f.Ui.BoxTexts()[0].find("RIFX"), std::string::npos);
    EXPECT_TRUE(f.DataFiles().empty());

    // The formats the WAV reader does not take go to the decoder: RF64, another format
    // tag, a compressed or float sub-format.
    std::vector<test::WavSpec> decoded(4, test::PcmSpec(44100, 16, 2, Ramp16(2 * 50, 13)));
    decoded[0].Rf64 = true;
    decoded[1].FormatTag = 2;
    decoded[2].FormatTag = -2;
    decoded[2].Extensible = true;
    decoded[2].SubFormatTag = 0x55;
    decoded[3].FormatTag = -2;
    decoded[3].Extensible = true;
    decoded[3].SubFormatTag = 3;
    for (size_t i = 0; i < decoded.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(test::WriteWav(source, decoded[i]));
        ASSERT_TRUE(f.Logic.ImportSoundFile(0, source, 0, true));
        EXPECT_EQ(decoder.Decodes, static_cast<int>(i + 1));
        EXPECT_EQ(f.Logic.Proj().Blocks.back().SrcEnd, 100);
    }
}

} // namespace tarvok
