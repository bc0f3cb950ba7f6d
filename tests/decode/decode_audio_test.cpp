#include "decode/decode_audio.h"

#include "core/error_log.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/wave_info.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>

namespace tarvok {
namespace {

using test::TempDir;
using test::WriteFileBytes;

/// A scripted media backend: each Read() asks Next for the step it gives.
class FakeBackend : public MediaBackend {
public:
    struct Opened {
        std::string Path;
        MediaContainer Container;
        std::string Bytes; ///< the file's contents when it was opened
    };

    MediaStreamFormat Format { 22050, 2 };
    std::set<MediaContainer> Refuse; ///< containers whose open fails
    /// The step for read number n (from 0); the default gives 3 reads of 100 frames.
    std::function<MediaChunk(int64_t, std::vector<int16_t>&)> Next;
    /// The position after read number n.
    std::function<double(int64_t)> PositionAt = [](int64_t n) { return std::min(1.0, n / 3.0); };
    std::vector<Opened> Opens;

    class Source : public MediaSource {
    public:
        explicit Source(FakeBackend& pOwner)
            : owner_(pOwner)
        {
        }
        MediaStreamFormat Format() const override { return owner_.Format; }
        MediaChunk Read() override { return owner_.Next(reads_++, samples_); }
        double Position() const override { return owner_.PositionAt(reads_); }

    private:
        FakeBackend& owner_;
        int64_t reads_ = 0;
        std::vector<int16_t> samples_;
    };

    FakeBackend()
    {
        Next = [this](int64_t pRead, std::vector<int16_t>& pBuffer) {
            return pRead < 3 ? Ramp(pBuffer, pRead, 100) : MediaChunk {};
        };
    }

    /// 100 frames whose samples count up from pRead x 1000.
    MediaChunk Ramp(std::vector<int16_t>& pBuffer, int64_t pRead, int64_t pFrames) const
    {
        pBuffer.resize(static_cast<size_t>(pFrames * Format.Channels));
        for (size_t i = 0; i < pBuffer.size(); ++i)
            pBuffer[i] = static_cast<int16_t>(pRead * 1000 + int64_t(i));
        return { MediaReadStatus::Data, pBuffer.data(), pFrames, {} };
    }

    Result<std::unique_ptr<MediaSource>> Open(
        const std::string& pPath, MediaContainer pContainer) override
    {
        Opens.push_back({ pPath, pContainer, test::ReadFileBytes(pPath) });
        if (Refuse.count(pContainer) != 0)
            return Fail("refused");
        return std::unique_ptr<MediaSource>(std::make_unique<Source>(*this));
    }
};

/// A temp folder with a data folder, a log folder and a headless UI.
struct Fixture {
    TempDir Dir;
    HeadlessUi Ui;
    ErrorLog Log { Dir.File("log") };
    FakeBackend Backend;
    DecodeEnvironment Env;
    bool Cancel = false;

    Fixture()
    {
        std::filesystem::create_directory(Dir.File("data"));
        Env.DataFolder = Dir.File("data/");
        Env.Log = &Log;
    }
    std::string Target() const { return Dir.File("data/~t000001.wav"); }
    bool Decode(const std::string& pSource)
    {
        return DecodeSoundFile(pSource, Target(), Backend, Env, Ui, Cancel);
    }
    std::string ErrorLogText() const
    {
        return test::ReadFileBytes(Log.LogFileName(std::chrono::system_clock::now(), true));
    }
    /// The names in the data folder.
    std::vector<std::string> DataFiles() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Dir.File("data")))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

const std::string kMp3Frame = std::string("\xFF\xFB\x90\x44", 4) + std::string(413, '\0');

TEST(DecodeSoundFile, WritesACompletePcmWave)
{
    Fixture f;
    std::string source = f.Dir.File("a.wma");
    ASSERT_TRUE(WriteFileBytes(source, "not really wma, the fake backend decodes anything"));
    ASSERT_TRUE(f.Decode(source));

    WaveInfo info = ReadWaveInfo(f.Target());
    EXPECT_EQ(info.Valid, 1);
    EXPECT_EQ(info.FormatTag, 1);
    EXPECT_EQ(info.Bits, 16);
    EXPECT_EQ(info.Channels, 2);
    EXPECT_EQ(info.SampleRate, 22050);
    EXPECT_EQ(info.Frames, 300);
    std::string bytes = test::ReadFileBytes(f.Target());
    ASSERT_EQ(bytes.size(), 44u + 1200u);
    EXPECT_EQ(bytes.substr(44, 4), test::Samples16({ 0, 1 }));
    EXPECT_EQ(bytes.substr(44 + 400, 4), test::Samples16({ 1000, 1001 }));
    EXPECT_EQ(f.DataFiles(), std::vector<std::string> { "~t000001.wav" });

    std::vector<std::string> status = f.Ui.StatusTexts();
    ASSERT_FALSE(status.empty());
    EXPECT_EQ(status.front(), "デコード中…");
    EXPECT_NE(std::find(status.begin(), status.end(), "デコード中… 33%"), status.end());
    EXPECT_EQ(status.back(), "デコード中… 100%");
    EXPECT_TRUE(f.Ui.BoxTexts().empty());
    ASSERT_EQ(f.Backend.Opens.size(), 1u);
    EXPECT_EQ(f.Backend.Opens[0].Container, MediaContainer::Asf);
}

TEST(DecodeSoundFile, MonoStaysMonoAndAnOldTargetIsReplaced)
{
    Fixture f;
    f.Backend.Format = { 48000, 1 };
    std::string source = f.Dir.File("a.aif");
    ASSERT_TRUE(WriteFileBytes(source, "FORM"));
    ASSERT_TRUE(WriteFileBytes(f.Target(), "stale"));
    ASSERT_TRUE(f.Decode(source));
    WaveInfo info = ReadWaveInfo(f.Target());
    EXPECT_EQ(info.Channels, 1);
    EXPECT_EQ(info.SampleRate, 48000);
    EXPECT_EQ(info.Frames, 300);
}

TEST(DecodeRoute, ChoosesTheContainerByFormatTagThenExtension)
{
    using C = MediaContainer;
    TempDir dir;
    struct Case {
        const char* Name;
        int32_t RiffTag; // 0: not a RIFF file
        std::vector<C> Route;
    } cases[] = {
        { "a.mp3", 0, { C::MpegAudio, C::Auto } },
        { "a.MP2", 0, { C::MpegAudio, C::Auto } },
        { "a.mp1", 0, { C::MpegAudio, C::Auto } },
        { "a.mpa", 0, { C::MpegAudio, C::Auto } },
        { "a.mpg", 0, { C::MpegSystem, C::MpegAudio, C::Auto } },
        { "a.mpeg", 0, { C::MpegSystem, C::MpegAudio, C::Auto } },
        { "a.wma", 0, { C::Asf, C::Auto } },
        { "a.wmv", 0, { C::Asf, C::Auto } },
        { "a.asf", 0, { C::Asf, C::Auto } },
        { "a.aiff", 0, { C::Aiff, C::Auto } },
        { "a.aif", 0, { C::Aiff, C::Auto } },
        { "a.ogg", 0, { C::Auto } },
        { "mp3-in-riff.wav", 85, { C::Riff, C::Auto } },
        { "mp2-in-riff.wav", 80, { C::Riff, C::Auto } },
        { "wma-in-riff.wav", 353, { C::Riff, C::Auto } },
        { "wma1-in-riff.wav", 352, { C::Riff, C::Auto } },
        { "riff-named.mp3", 85, { C::Riff, C::Auto } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::string path = dir.File(c.Name);
        if (c.RiffTag != 0) {
            test::WavSpec spec = test::PcmSpec(44100, 0, 2, std::string(64, '\0'));
            spec.FormatTag = c.RiffTag;
            ASSERT_TRUE(test::WriteWav(path, spec));
        } else {
            ASSERT_TRUE(WriteFileBytes(path, std::string(100, 'x')));
        }
        EXPECT_EQ(DecodeRoute(path), c.Route);
    }
}

TEST(DecodeSoundFile, FailedOpensAreLoggedAndTheNextAttemptFollows)
{
    Fixture f;
    std::string source = f.Dir.File("clip.wmv");
    ASSERT_TRUE(WriteFileBytes(source, "asf"));
    f.Backend.Refuse = { MediaContainer::Asf };
    ASSERT_TRUE(f.Decode(source));
    ASSERT_EQ(f.Backend.Opens.size(), 2u);
    EXPECT_EQ(f.Backend.Opens[1].Container, MediaContainer::Auto);
    EXPECT_NE(f.ErrorLogText().find("asf#" + source + " open failed: refused"), std::string::npos);

    Fixture g;
    std::string other = g.Dir.File("clip.xyz");
    ASSERT_TRUE(WriteFileBytes(other, "???"));
    g.Backend.Refuse = { MediaContainer::Auto };
    EXPECT_FALSE(g.Decode(other));
    EXPECT_EQ(g.Ui.BoxTexts(), std::vector<std::string> { "デコード失敗" });
    EXPECT_NE(g.ErrorLogText().find("Unknown Filetype #" + other), std::string::npos);
    EXPECT_NE(g.ErrorLogText().find("DecodeAudio " + other), std::string::npos);
    EXPECT_TRUE(g.DataFiles().empty());
}

TEST(DecodeSoundFile, EndlessOrStuckDecodingIsStopped)
{
    struct Case {
        const char* Name;
        std::function<MediaChunk(FakeBackend&, int64_t, std::vector<int16_t>&)> Next;
        std::function<double(int64_t)> Position;
        const char* Logged;
    } cases[] = {
        { "a stream that never ends",
            [](FakeBackend& b, int64_t n, std::vector<int16_t>& buf) {
                return b.Ramp(buf, n, 100);
            },
            [](int64_t) { return 1.0; }, "output exceeds" },
        { "a decoder that works without output or progress",
            [](FakeBackend&, int64_t, std::vector<int16_t>&) {
                return MediaChunk { MediaReadStatus::Pending, nullptr, 0, {} };
            },
            [](int64_t) { return 0.5; }, "no progress" },
        { "a decoder error",
            [](FakeBackend& b, int64_t n, std::vector<int16_t>& buf) {
                return n < 2 ? b.Ramp(buf, n, 100)
                             : MediaChunk { MediaReadStatus::Error, nullptr, 0, "broken" };
            },
            [](int64_t) { return 0.1; }, "decode failed: broken" },
        { "nothing decoded",
            [](FakeBackend&, int64_t, std::vector<int16_t>&) { return MediaChunk {}; },
            [](int64_t) { return 1.0; }, "no audio decoded" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Fixture f;
        f.Env.Limits.MaxDataBytes = 40000;
        f.Env.Limits.MaxIdleReads = 50;
        f.Backend.Next
            = [&](int64_t n, std::vector<int16_t>& buf) { return c.Next(f.Backend, n, buf); };
        f.Backend.PositionAt = c.Position;
        std::string source = f.Dir.File("a.wma");
        ASSERT_TRUE(WriteFileBytes(source, "wma"));
        EXPECT_FALSE(f.Decode(source));
        EXPECT_EQ(f.Ui.BoxTexts(), std::vector<std::string> { "デコード失敗" });
        EXPECT_NE(f.ErrorLogText().find(c.Logged), std::string::npos) << f.ErrorLogText();
        EXPECT_TRUE(f.DataFiles().empty());
    }
}

TEST(DecodeSoundFile, ReadsWithoutOutputAreFineWhileTheInputMoves)
{
    Fixture f;
    f.Env.Limits.MaxIdleReads = 5;
    f.Backend.Next = [&](int64_t n, std::vector<int16_t>& buf) {
        if (n < 100)
            return MediaChunk { MediaReadStatus::Pending, nullptr, 0, {} };
        return n < 102 ? f.Backend.Ramp(buf, n, 10) : MediaChunk {};
    };
    f.Backend.PositionAt = [](int64_t n) { return std::min(1.0, n / 102.0); };
    std::string source = f.Dir.File("a.asf");
    ASSERT_TRUE(WriteFileBytes(source, "asf"));
    ASSERT_TRUE(f.Decode(source));
    EXPECT_EQ(ReadWaveInfo(f.Target()).Frames, 20);
}

TEST(DecodeSoundFile, CancelStopsWithoutAFileOrMessage)
{
    Fixture f;
    f.Backend.Next = [&](int64_t n, std::vector<int16_t>& buf) {
        if (n == 2)
            f.Cancel = true;
        return f.Backend.Ramp(buf, n, 100);
    };
    std::string source = f.Dir.File("a.wma");
    ASSERT_TRUE(WriteFileBytes(source, "wma"));
    EXPECT_FALSE(f.Decode(source));
    EXPECT_TRUE(f.Ui.BoxTexts().empty());
    EXPECT_TRUE(f.DataFiles().empty());
}

TEST(DecodeSoundFile, EmptySourceIsNotDecoded)
{
    Fixture f;
    std::string source = f.Dir.File("a.wma");
    ASSERT_TRUE(WriteFileBytes(source, ""));
    EXPECT_FALSE(f.Decode(source));
    EXPECT_TRUE(f.Backend.Opens.empty());
    EXPECT_EQ(f.Ui.BoxTexts(), std::vector<std::string> { "デコード失敗" });
    EXPECT_NE(f.ErrorLogText().find(source + ": empty file"), std::string::npos);
    EXPECT_TRUE(f.DataFiles().empty());
}

TEST(DecodeSoundFile, Mp3WithoutHeaderIsRefused)
{
    for (std::string bytes : { std::string(), std::string(5000, 'x'), std::string(5000, '\xFF') }) {
        SCOPED_TRACE(bytes.size());
        Fixture f;
        std::string source = f.Dir.File("a.mp3");
        ASSERT_TRUE(WriteFileBytes(source, bytes));
        EXPECT_FALSE(f.Decode(source));
        EXPECT_TRUE(f.Backend.Opens.empty());
        EXPECT_EQ(f.Ui.BoxTexts(), std::vector<std::string> { "mpegヘッダが見つかりません" });
        EXPECT_TRUE(f.DataFiles().empty());
    }
}

TEST(DecodeSoundFile, LeadingDataIsCutThroughTheStripFile)
{
    Fixture f;
    std::string id3 = std::string("ID3\x03\x00\x00\x00\x00\x00\x20", 10) + std::string(32, 'i');
    std::string frames = kMp3Frame + kMp3Frame;
    std::string source = f.Dir.File("tagged.mp3");
    ASSERT_TRUE(WriteFileBytes(source, id3 + frames + "TAG" + std::string(125, 't')));
    ASSERT_TRUE(f.Decode(source));
    ASSERT_EQ(f.Backend.Opens.size(), 1u);
    EXPECT_EQ(f.Backend.Opens[0].Path, f.Dir.File("data/~strip.mp3"));
    EXPECT_EQ(f.Backend.Opens[0].Bytes, frames);
    EXPECT_EQ(f.DataFiles(), std::vector<std::string> { "~t000001.wav" });

    // A file that starts with a frame is decoded where it is.
    Fixture g;
    std::string plain = g.Dir.File("plain.mp3");
    ASSERT_TRUE(WriteFileBytes(plain, frames));
    ASSERT_TRUE(g.Decode(plain));
    ASSERT_EQ(g.Backend.Opens.size(), 1u);
    EXPECT_EQ(g.Backend.Opens[0].Path, plain);
}

TEST(DecodeSoundFile, StripFailureIsReported)
{
    Fixture f;
    f.Env.DataFolder = f.Dir.File("missing-folder/");
    std::string source = f.Dir.File("tagged.mp3");
    ASSERT_TRUE(WriteFileBytes(source, std::string("TAG") + std::string(125, 't') + kMp3Frame));
    EXPECT_FALSE(f.Decode(source));
    EXPECT_EQ(f.Ui.BoxTexts(), std::vector<std::string> { "フレーム抽出失敗" });
    EXPECT_TRUE(f.Backend.Opens.empty());
    EXPECT_FALSE(FileExists(f.Target()));
}

TEST(MediaSoundDecoder, AsksForTheDataFolderAtEachDecode)
{
    Fixture f;
    std::string folder = f.Dir.File("data");
    MediaSoundDecoder decoder(
        f.Backend, [&] { return folder; }, [&] { return &f.Log; });
    SoundDecoder& asImport = decoder;
    std::string source = f.Dir.File("x.mp3");
    ASSERT_TRUE(WriteFileBytes(source, std::string(20, 'j') + kMp3Frame));
    bool cancel = false;
    ASSERT_TRUE(asImport.Decode(source, f.Target(), f.Ui, cancel));
    EXPECT_EQ(f.Backend.Opens.at(0).Path, f.Dir.File("data/~strip.mp3"));
    EXPECT_TRUE(IsPcmWave(f.Target(), false));
}

} // namespace
} // namespace tarvok
