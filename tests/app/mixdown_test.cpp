#include "app/mixdown/mixdown.h"
#include "app/windows/mixdown_window.h"

#include "app/shell/main_logic.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/wave_info.h"
#include "platform/lame/lame_encoder.h"
#include "render/audio_file_encoder.h"
#include "render/mix_kernel.h"
#include "render/mp3_encoder.h"
#include "support/started_logic.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <sys/stat.h>

namespace tarvok {

namespace {

struct Fixture : test::StartedLogic<> {

    // One block of pFrames frames of a ramp on track 0.
    void AddMaterial(int64_t pFrames)
    {
        Project& p = Logic.Proj();
        const std::string wave = Home.Dir().File("src.wav");
        ASSERT_TRUE(test::WriteWav(wave,
            test::PcmSpec(p.SampleRate, 16, 2,
                test::Stereo16(
                    pFrames, [](int64_t i) { return static_cast<int>(std::sin(i * 0.05) * 12000); },
                    [](int64_t i) { return static_cast<int>(i % 200) * 50; }))));
        const int32_t w = p.AddWaveFile(wave);
        ASSERT_GE(w, 0);
        ASSERT_TRUE(p.AddBlock());
        Block& b = p.Blocks.back();
        b.WaveNo = w;
        b.SrcStart = 1;
        b.SrcEnd = static_cast<int32_t>(pFrames);
        ASSERT_TRUE(p.NormalizeBlock(0));
        p.UpdateTitleLength(false);
    }

    MixdownRequest FileRequest(const std::string& pTarget)
    {
        MixdownRequest r = LoadMixdownRequest(Store, Logic.Proj());
        r.TargetFile = pTarget;
        return r;
    }
};

std::vector<int16_t> Frames(const std::string& pPath)
{
    WaveInfo info = ReadWaveInfo(pPath);
    std::string bytes = test::ReadFileBytes(pPath).substr(
        static_cast<size_t>(info.DataOffset), static_cast<size_t>(info.DataSize));
    std::vector<int16_t> out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

bool HaveFfmpeg() { return std::system("ffmpeg -version > /dev/null 2>&1") == 0; }

} // namespace

TEST(Mixdown, ValidationMessages)
{
    Fixture f;
    struct Case {
        std::function<void(MixdownRequest&)> Change;
        const char* Message;
    };
    const Case kCases[] = {
        { [](MixdownRequest&) {}, "" },
        { [](MixdownRequest& r) { r.TargetFile = " "; }, "ファイル名を入力してください" },
        { [](MixdownRequest& r) {
             r.TargetMode = kMixTargetCd;
             r.Freq = "48000";
         },
            "CD作成のwav形式が違います" },
        { [](MixdownRequest& r) { r.NormalizeLevel = "abc"; },
            "ノーマライズレベルは数字を入力してください" },
        { [](MixdownRequest& r) { r.NormalizeLevel = "0.5"; },
            "ノーマライズレベルは0以下の数字を入力してください" },
        { [](MixdownRequest& r) { r.Loop = "x"; }, "ループは数字を入力してください" },
        { [](MixdownRequest& r) { r.Loop = "0"; }, "ループは1以上を入力してください" },
        { [](MixdownRequest& r) { r.SuEnd = "?"; }, "前後空白は数字を入力してください" },
        // The last failed check is the one shown.
        { [](MixdownRequest& r) {
             r.TargetFile = "";
             r.Loop = "0";
         },
            "ループは1以上を入力してください" },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Message);
        MixdownRequest r = f.FileRequest("/tmp/x.wav");
        c.Change(r);
        EXPECT_EQ(ValidateMixdown(r, nullptr), c.Message);
    }
    LameEncoder lame;
    if (lame.EncAvailable()) {
        MixdownRequest r = f.FileRequest("/tmp/x.wav");
        r.TargetMode = kMixTargetCd;
        r.Encode = true;
        EXPECT_EQ(ValidateMixdown(r, &lame), "エンコードしたファイルでCD作成はできません");
        r.TargetMode = kMixTargetFile;
        r.BitRate = "abc";
        EXPECT_EQ(ValidateMixdown(r, &lame), "ビットレートを選択してください");
    }
}

TEST(Mixdown, WavTargetHoldsSilencesAndLoops)
{
    Fixture f;
    f.AddMaterial(1000);
    const std::string target = f.Home.Dir().File("out.wav");
    MixdownRequest r = f.FileRequest(target);
    r.Loop = "3";
    r.SuStart = "3"; // 132.3 frames at 44.1 kHz: 132
    r.SuEnd = "500";
    MixdownResult result = RunMixdown(f.Logic, r, nullptr);
    ASSERT_EQ(result.Outcome, MixdownOutcome::Finished);
    EXPECT_EQ(f.Ui.LastStatus(), "終了");
    std::vector<int16_t> out = Frames(target);
    ASSERT_EQ(out.size(), 2u * (132 + 3000 + 22050));
    std::vector<int16_t> src = Frames(f.Home.Dir().File("src.wav"));
    for (int i = 0; i < 264; ++i)
        ASSERT_EQ(out[i], 0);
    for (int rep = 0; rep < 3; ++rep)
        for (int i = 0; i < 2000; ++i)
            ASSERT_EQ(out[264 + rep * 2000 + i], src[i]);
    // Nothing else is left in the target's folder.
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(f.Home.Dir().Path()))
        files += e.path().filename().string().find(".part") != std::string::npos;
    EXPECT_EQ(files, 0);
}

TEST(Mixdown, CancelLeavesAnExistingTargetUntouchedAndNoPartialFile)
{
    Fixture f;
    f.AddMaterial(400000);
    const std::string target = f.Home.Dir().File("out.wav");
    ASSERT_TRUE(test::WriteFileBytes(target, "previous content"));
    MixdownRequest r = f.FileRequest(target);
    f.Ui.QueueAnswer("yes"); // overwrite
    int calls = 0;
    MixdownResult result = RunMixdown(f.Logic, r, nullptr, [&](double, std::string_view) {
        if (++calls == 2)
            f.Logic.CancelRequest = true;
        return true;
    });
    EXPECT_EQ(result.Outcome, MixdownOutcome::Finished);
    EXPECT_TRUE(result.Cancelled);
    EXPECT_EQ(result.Code, ErrorCode::Cancelled);
    EXPECT_EQ(test::ReadFileBytes(target), "previous content");
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(f.Home.Dir().Path()))
        names.push_back(e.path().filename().string());
    for (const std::string& name : names)
        EXPECT_EQ(name.find(".part"), std::string::npos) << name;
    // A stop from the listener itself cancels the same way.
    f.Ui.QueueAnswer("yes");
    calls = 0;
    MixdownResult stopped
        = RunMixdown(f.Logic, r, nullptr, [&](double, std::string_view) { return ++calls < 2; });
    EXPECT_TRUE(stopped.Cancelled);
    EXPECT_EQ(test::ReadFileBytes(target), "previous content");
    EXPECT_FALSE(f.Logic.Busy);

    // Declining the overwrite question changes nothing either.
    f.Ui.QueueAnswer("no");
    EXPECT_EQ(RunMixdown(f.Logic, r, nullptr).Outcome, MixdownOutcome::Declined);
    EXPECT_EQ(test::ReadFileBytes(target), "previous content");
}

TEST(Mixdown, TwoCdMixdownsNumberTheirFiles)
{
    Fixture f;
    f.AddMaterial(500);
    MixdownRequest r = f.FileRequest("");
    r.TargetMode = kMixTargetCd;
    ASSERT_EQ(RunMixdown(f.Logic, r, nullptr).Outcome, MixdownOutcome::Finished);
    ASSERT_EQ(RunMixdown(f.Logic, r, nullptr).Outcome, MixdownOutcome::Finished);
    const std::string folder = DefaultCdFolder();
    EXPECT_EQ(ReadWaveInfo(folder + "track001.wav").Frames, 500);
    EXPECT_EQ(ReadWaveInfo(folder + "track002.wav").Frames, 500);
    EXPECT_FALSE(FileExists(folder + "track003.wav"));

    // A folder named in the settings that does not exist is not created.
    f.Store.SaveSetting("CDFolder", f.Home.Dir().File("no-such-folder"));
    MixdownResult result = RunMixdown(f.Logic, r, nullptr);
    EXPECT_EQ(result.Outcome, MixdownOutcome::Failed);
    EXPECT_EQ(result.Message, "CD作成フォルダが検出できません");
    EXPECT_EQ(result.Code, ErrorCode::NotFound);
    // The window stays open for another choice of folder.
    EXPECT_FALSE(MixdownWindowModel::ClosesAfter(result));
    EXPECT_FALSE(FolderExists(f.Home.Dir().File("no-such-folder")));
}

TEST(Mixdown, TrackTargetIsOneUndoableEdit)
{
    Fixture f;
    f.AddMaterial(3000);
    MixdownRequest r = f.FileRequest("");
    r.TargetMode = kMixTargetTrack;
    r.TargetTrack = 2;
    const int32_t undoBefore = f.Logic.Proj().UndoCounter;
    ASSERT_EQ(RunMixdown(f.Logic, r, nullptr).Outcome, MixdownOutcome::Finished);
    const Project& p = f.Logic.Proj();
    ASSERT_EQ(p.BlockCount(), 2);
    EXPECT_EQ(p.Blocks[1].TrackNo, 2);
    EXPECT_EQ(p.Blocks[1].StartAdr, 0);
    EXPECT_EQ(p.Blocks[1].Length, 3000);
    EXPECT_EQ(p.UndoCounter, undoBefore + 1);
    EXPECT_EQ(p.Tracks[2].Selected, 1);
    EXPECT_EQ(p.Tracks[0].Selected, 0);
    // The placed file holds the mix of track 0.
    EXPECT_EQ(
        Frames(p.WaveFiles[p.Blocks[1].WaveNo].FileName), Frames(f.Home.Dir().File("src.wav")));
}

TEST(Mixdown, TrackTargetReplacesTheRangeOnItsTrackOnly)
{
    Fixture f;
    f.AddMaterial(3000);
    // A silent-in-the-mix block on the target track reaching past the range: its part after
    // the range stays where it was.
    Project& p = f.Logic.Proj();
    const int32_t w = p.Blocks[0].WaveNo;
    ASSERT_TRUE(p.AddBlock());
    p.Blocks[1].WaveNo = w;
    p.Blocks[1].TrackNo = 2;
    p.Blocks[1].StartAdr = 1000;
    p.Blocks[1].SrcStart = 1;
    p.Blocks[1].SrcEnd = 3000;
    ASSERT_TRUE(p.NormalizeBlock(1));
    p.Tracks[2].PlaySelected = 0;
    p.UpdateTitleLength(false);
    MixdownRequest r = f.FileRequest("");
    r.TargetMode = kMixTargetTrack;
    r.TargetTrack = 2;
    r.SourceTracks = 2; // the playing tracks
    r.SourceRange = 1; // the selection
    p.MarkIn = 0;
    p.MarkOut = 2000;
    ASSERT_EQ(RunMixdown(f.Logic, r, nullptr).Outcome, MixdownOutcome::Finished);
    ASSERT_EQ(p.CheckInvariants(), "");
    std::vector<std::string> track2;
    for (const Block& b : p.Blocks)
        if (b.TrackNo == 2)
            track2.push_back(std::to_string(b.StartAdr) + ".." + std::to_string(b.EndAdr) + "@"
                + std::to_string(b.SrcStart));
    std::sort(track2.begin(), track2.end());
    EXPECT_EQ(track2, (std::vector<std::string> { "0..1999@1", "2000..3999@1001" }));
    EXPECT_EQ(p.Blocks[0].TrackNo, 0);
    EXPECT_EQ(p.Blocks[0].EndAdr, 2999); // other tracks are untouched
}

TEST(Mixdown, SaveValuesAndLoadThemBack)
{
    Fixture f;
    MixdownRequest r = f.FileRequest(f.Home.Dir().File("sub/out.wav"));
    r.SourceTracks = 2;
    r.SourceRange = 1;
    r.Freq = "22050";
    r.WaveMode = 2;
    r.Loop = "0";
    r.SuStart = "abc";
    r.SuEnd = "250";
    r.Normalize = true;
    r.NormalizeLevel = "-3.5";
    SaveMixdownValues(f.Store, r);
    EXPECT_EQ(r.Loop, "1");
    MixdownRequest back = LoadMixdownRequest(f.Store, f.Logic.Proj());
    EXPECT_EQ(back.SourceTracks, 2);
    EXPECT_EQ(back.SourceRange, 1);
    EXPECT_EQ(back.Freq, "22050");
    EXPECT_EQ(back.WaveMode, 2);
    EXPECT_EQ(back.Loop, "1");
    EXPECT_EQ(back.SuStart, "0");
    EXPECT_EQ(back.SuEnd, "250");
    EXPECT_TRUE(back.Normalize);
    EXPECT_EQ(back.NormalizeLevel, "-3.5");
    EXPECT_EQ(back.Path, f.Home.Dir().File("sub/"));
    f.Store.SaveSetting("MixTargetMode", 3);
    EXPECT_EQ(LoadMixdownRequest(f.Store, f.Logic.Proj()).TargetMode, kMixTargetFile);
}

TEST(Mixdown, Mp3TargetDecodesToTheMix)
{
    LameEncoder lame;
    if (!lame.EncAvailable())
        GTEST_SKIP() << "LAME is not installed";
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed";
    Fixture f;
    const int64_t frames = 44100;
    f.AddMaterial(frames);
    const std::string target = f.Home.Dir().File("out.mp3");
    MixdownRequest r = f.FileRequest(f.Home.Dir().File("out.wav"));
    r.Encode = true;
    r.BitRate = "192";
    MixdownResult result = RunMixdown(f.Logic, r, &lame);
    ASSERT_EQ(result.Outcome, MixdownOutcome::Finished) << result.Message;
    ASSERT_TRUE(FileExists(target));
    const std::string decoded = f.Home.Dir().File("dec.wav");
    const std::string cmd
        = "ffmpeg -v error -y -i '" + target + "' -f wav -acodec pcm_s16le '" + decoded + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::vector<int16_t> got = Frames(decoded);
    std::vector<int16_t> want = Frames(f.Home.Dir().File("src.wav"));
    // Raw frames without a LAME header: the decoder delay (529) and the encoder delay
    // (576) lead, and the last granule is padded up to whole 1152-frame frames.
    const int64_t gotFrames = static_cast<int64_t>(got.size() / 2);
    EXPECT_GE(gotFrames, frames);
    EXPECT_LE(gotFrames, frames + 576 + 529 + 2 * 1152);
    // Find the delay by correlating the left channel, then compare.
    int64_t bestShift = 0;
    double best = -1;
    for (int64_t shift = 0; shift < 3000; ++shift) {
        double dot = 0;
        for (int64_t i = 0; i < 20000; i += 2)
            for (int c = 0; c < 2; ++c)
                dot += static_cast<double>(want[2 * i + c]) * got[2 * (i + shift) + c];
        if (dot > best) {
            best = dot;
            bestShift = shift;
        }
    }
    double err = 0, energy = 0;
    for (int64_t i = 0; i < frames - 2000; ++i)
        for (int c = 0; c < 2; ++c) {
            const double d = static_cast<double>(got[2 * (i + bestShift) + c]) - want[2 * i + c];
            err += d * d;
            energy += static_cast<double>(want[2 * i + c]) * want[2 * i + c];
        }
    EXPECT_LT(err / energy, 0.01) << "shift " << bestShift;
    // The delay lies within the documented encoder delay plus one frame of decoder lag.
    EXPECT_GE(bestShift, 529);
    EXPECT_LE(bestShift, 576 + 529 + 1152);
}

namespace {

/// An encoder that writes a marker and the source's size, or fails as told.
class FakeFileEncoder : public AudioFileEncoder {
public:
    bool Present = true;
    bool FailAfterWriting = false;
    int Calls = 0;
    bool Available(AudioCodec) const override { return Present; }
    Status Encode(AudioCodec pCodec, int32_t, std::string_view pSource, FileHandle& pOut,
        const Progress&) override
    {
        ++Calls;
        const std::string text
            = std::string(CodecName(pCodec)) + ":" + std::to_string(ReadWaveInfo(pSource).Frames);
        if (Status written = WriteAt(pOut, text.data(), static_cast<int64_t>(text.size()), 0);
            !written)
            return written;
        if (FailAfterWriting)
            return Fail("the encoder gave up");
        return {};
    }
};

} // namespace

TEST(Mixdown, FlacAndOpusTargetsGoThroughTheEncoderAndReplaceOnlyWhenComplete)
{
    Fixture f;
    f.AddMaterial(4800);
    FakeFileEncoder encoder;
    const struct {
        AudioCodec Codec;
        const char* Name;
        const char* Freq;
        const char* Written;
    } kCases[] = {
        { AudioCodec::Flac, "out.flac", "44100", "FLAC:4800" },
        // Opus runs at 48 kHz: the mix is converted first (4800 frames at 44.1 kHz).
        { AudioCodec::Opus, "out.opus", "48000", "Opus:5224" },
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Name);
        const std::string target = f.Home.Dir().File(c.Name);
        // The path box may still say ".wav": the codec decides the extension.
        MixdownRequest r = f.FileRequest(f.Home.Dir().File("out.wav"));
        r.Codec = c.Codec;
        r.Freq = c.Freq;
        r.BitRate = "128";
        MixdownResult result = RunMixdown(f.Logic, r, nullptr, {}, &encoder);
        ASSERT_EQ(result.Outcome, MixdownOutcome::Finished) << result.Message;
        EXPECT_EQ(result.Target, target);
        EXPECT_EQ(test::ReadFileBytes(target), c.Written);
        // A failing encoder leaves the old file and says why.
        encoder.FailAfterWriting = true;
        f.Ui.QueueAnswer("yes");
        result = RunMixdown(f.Logic, r, nullptr, {}, &encoder);
        encoder.FailAfterWriting = false;
        EXPECT_EQ(result.Outcome, MixdownOutcome::Failed);
        EXPECT_EQ(result.Message, "the encoder gave up");
        EXPECT_EQ(test::ReadFileBytes(target), c.Written);
        for (const auto& e : std::filesystem::directory_iterator(f.Home.Dir().Path()))
            EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos);
    }
    // Formats the codecs cannot carry, and a missing encoder, are refused before rendering.
    const int before = encoder.Calls;
    const struct {
        AudioCodec Codec;
        int32_t WaveMode;
        const char* Freq;
        const char* BitRate;
        const char* Message;
    } kRefused[] = {
        { AudioCodec::Flac, 1, "44100", "128", "FLACは16bitか24bitの形式で作成してください" },
        { AudioCodec::Opus, 3, "44100", "128",
            "Opusの周波数は48000, 24000, 16000, 12000, 8000のいずれかです" },
        { AudioCodec::Opus, 5, "48000", "128", "Opusは16bitの形式で作成してください" },
        { AudioCodec::Opus, 3, "48000", "600", "Opusのビットレートは6から510kbpsです" },
    };
    for (const auto& c : kRefused) {
        SCOPED_TRACE(c.Message);
        MixdownRequest r = f.FileRequest(f.Home.Dir().File("refused.wav"));
        r.Codec = c.Codec;
        r.WaveMode = c.WaveMode;
        r.Freq = c.Freq;
        r.BitRate = c.BitRate;
        EXPECT_EQ(ValidateMixdown(r, nullptr, &encoder), c.Message);
        MixdownResult result = RunMixdown(f.Logic, r, nullptr, {}, &encoder);
        EXPECT_EQ(result.Outcome, MixdownOutcome::Invalid);
        EXPECT_EQ(result.Message, c.Message);
    }
    MixdownRequest r = f.FileRequest(f.Home.Dir().File("none.flac"));
    r.Codec = AudioCodec::Flac;
    EXPECT_EQ(ValidateMixdown(r, nullptr, nullptr), "FLACのエンコーダがありません");
    encoder.Present = false;
    EXPECT_EQ(ValidateMixdown(r, nullptr, &encoder), "FLACのエンコーダがありません");
    EXPECT_EQ(encoder.Calls, before);
    EXPECT_FALSE(FileExists(f.Home.Dir().File("refused.flac")));
    EXPECT_FALSE(FileExists(f.Home.Dir().File("refused.opus")));
}

TEST(Mixdown, AnMp3BitRateTheEncoderDoesNotOfferIsRefusedBeforeTheRender)
{
    LameEncoder lame;
    if (!lame.EncAvailable())
        GTEST_SKIP() << "LAME is not installed";
    Fixture f;
    f.AddMaterial(44100);
    // 8 kHz is an MPEG-2.5 rate: 320 kbps is not one of its bit rates.
    MixdownRequest r = f.FileRequest(f.Home.Dir().File("low.wav"));
    r.Encode = true;
    r.WaveMode = 3;
    r.Freq = "8000";
    r.BitRate = "320";
    const std::vector<int32_t> offered = LoadBitRateList(&lame, 8000, 3);
    ASSERT_FALSE(offered.empty());
    ASSERT_EQ(std::find(offered.begin(), offered.end(), 320), offered.end());
    const std::string message = ValidateMixdown(r, &lame);
    EXPECT_EQ(message.rfind("ビットレートを選択してください（8000Hzでは ", 0), 0u) << message;
    MixdownResult result = RunMixdown(f.Logic, r, &lame);
    EXPECT_EQ(result.Outcome, MixdownOutcome::Invalid);
    EXPECT_FALSE(FileExists(f.Home.Dir().File("low.mp3")));
    // An offered rate passes.
    r.BitRate = std::to_string(offered.front());
    EXPECT_EQ(ValidateMixdown(r, &lame), "");
}

TEST(Mixdown, AFullDiskIsReportedAsSuch)
{
    Fixture f;
    f.AddMaterial(20000);
    const std::string target = f.Home.Dir().File("full.wav");
    ASSERT_TRUE(test::WriteFileBytes(target, "previous content"));
    for (int64_t n : { 1, 2, 3 }) {
        SCOPED_TRACE(n);
        MixdownRequest r = f.FileRequest(target);
        f.Ui.QueueAnswer("yes");
        ArmFault(FaultPoint::Write, n, FaultKind::NoSpace);
        MixdownResult result = RunMixdown(f.Logic, r, nullptr);
        const bool fired = FaultFired();
        ClearFaults();
        ASSERT_TRUE(fired);
        EXPECT_EQ(result.Outcome, MixdownOutcome::Failed);
        EXPECT_EQ(result.Message, "ディスクの空き容量が足りません");
        EXPECT_EQ(test::ReadFileBytes(target), "previous content");
    }
}

// A working file shortened on the disk after it was placed does not stop the mixdown: the
// missing frames are silence, and the file is reported once (message box and error log)
// however many mixdowns read it.
TEST(Mixdown, AWorkingFileShortenedOnDiskMixesAsSilenceAndIsReportedOnce)
{
    Fixture f;
    f.AddMaterial(3000);
    const std::string source = f.Home.Dir().File("src.wav");
    const std::vector<int16_t> whole = Frames(source);
    std::filesystem::resize_file(source, ReadWaveInfo(source).DataOffset + 1000 * 4);
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        const std::string target = f.Home.Dir().File("out" + std::to_string(run) + ".wav");
        MixdownResult result = RunMixdown(f.Logic, f.FileRequest(target), nullptr);
        ASSERT_EQ(result.Outcome, MixdownOutcome::Finished) << result.Message;
        const std::vector<int16_t> out = Frames(target);
        ASSERT_EQ(out.size(), whole.size());
        for (size_t i = 0; i < out.size(); ++i)
            ASSERT_EQ(out[i], i < 2000 ? whole[i] : 0) << i;
    }
    const std::vector<std::string> boxes = f.Ui.BoxTexts();
    EXPECT_EQ(std::count(boxes.begin(), boxes.end(), DamagedFileText(source)), 1);
    int logged = 0;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(f.Logic.Log().Folder(), ec)) {
        const std::string text = test::ReadFileBytes(e.path().string());
        for (size_t at = text.find(source); at != std::string::npos; at = text.find(source, at + 1))
            ++logged;
    }
    EXPECT_EQ(logged, 1);
}

// A target name that is a folder or a pipe is refused with what it is, and stays as it was.
TEST(Mixdown, AFolderOrPipeAsTheTargetIsRefusedAndKept)
{
    Fixture f;
    f.AddMaterial(1000);
    const std::string folder = f.Home.Dir().File("folder.wav");
    std::filesystem::create_directory(folder);
    const std::string pipe = f.Home.Dir().File("pipe.wav");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const std::string& target : { folder, pipe }) {
        SCOPED_TRACE(target);
        f.Ui.QueueAnswer("yes");
        MixdownResult result = RunMixdown(f.Logic, f.FileRequest(target), nullptr);
        f.Ui.ClearAnswers();
        EXPECT_EQ(result.Outcome, MixdownOutcome::Invalid);
        EXPECT_EQ(result.Message, NotARegularFileText(target));
        EXPECT_NE(KindOfPath(target), PathKind::RegularFile);
    }
    EXPECT_TRUE(std::filesystem::is_fifo(pipe));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

} // namespace tarvok
