#include "render/output_format.h"

#include <gtest/gtest.h>

#include <set>

namespace tarvok {
namespace {

TEST(OutputFormat, EveryKindHasOneRow)
{
    std::set<OutputKind> kinds;
    for (const OutputFormatInfo& format : OutputFormats()) {
        SCOPED_TRACE(std::string(format.Name));
        EXPECT_TRUE(kinds.insert(format.Kind).second);
        EXPECT_EQ(&OutputFormatOf(format.Kind), &format);
        EXPECT_FALSE(format.Extension.empty());
        EXPECT_LE(format.MinRate, format.MaxRate);
        EXPECT_LE(format.MinKbps, format.MaxKbps);
    }
    EXPECT_EQ(kinds.size(), 5U);
    EXPECT_EQ(OutputFormatOf(OutputKind::Flac).Codec, AudioCodec::Flac);
    EXPECT_EQ(OutputFormatOf(OutputKind::Opus).Codec, AudioCodec::Opus);
    EXPECT_FALSE(OutputFormatOf(OutputKind::Mp3).Codec.has_value());
}

TEST(OutputFormat, ThePathsExtensionChoosesTheFormat)
{
    const struct {
        const char* Path;
        std::optional<OutputKind> Kind;
    } kCases[] = {
        { "/a/mix.wav", OutputKind::Wav },
        { "/a/MIX.WAV", OutputKind::Wav },
        { "/a/mix.mp3", OutputKind::Mp3 },
        { "mix.Flac", OutputKind::Flac },
        { "mix.opus", OutputKind::Opus },
        { "mix.ogg", std::nullopt },
        { "mixwav", std::nullopt },
        { "", std::nullopt },
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Path);
        const OutputFormatInfo* format = OutputFormatOfPath(c.Path);
        ASSERT_EQ(format != nullptr, c.Kind.has_value());
        if (format != nullptr) {
            EXPECT_EQ(format->Kind, *c.Kind);
        }
    }
    EXPECT_EQ(CodecOfPath("x.opus"), AudioCodec::Opus);
    EXPECT_FALSE(CodecOfPath("x.wav").has_value());
}

TEST(OutputFormat, TheExtensionIsReplacedOrAppendedInOnePlace)
{
    const struct {
        const char* Path;
        OutputKind Kind;
        const char* Replaced;
        const char* Ensured;
    } kCases[] = {
        { "/a/song.wav", OutputKind::Mp3, "/a/song.mp3", "/a/song.wav.mp3" },
        { "/a.b/song", OutputKind::Flac, "/a.b/song.flac", "/a.b/song.flac" },
        { "/a/.hidden", OutputKind::Opus, "/a/.hidden.opus", "/a/.hidden.opus" },
        { "/a/song.mp3", OutputKind::Mp3, "/a/song.mp3", "/a/song.mp3" },
        { "  ", OutputKind::Wav, "  ", "  .wav" },
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Path);
        EXPECT_EQ(WithOutputExtension(c.Path, c.Kind), c.Replaced);
        EXPECT_EQ(EnsureOutputExtension(c.Path, c.Kind), c.Ensured);
    }
}

} // namespace
} // namespace tarvok
