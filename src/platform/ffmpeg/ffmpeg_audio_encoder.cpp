#include "platform/ffmpeg/ffmpeg_audio_encoder.h"

#include "base/i18n.h"
#include "core/file_io.h"
#include "core/wave_info.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace tarvok {

namespace {

constexpr int kIoBufferBytes = 64 * 1024;
constexpr int kDefaultFrameSamples = 4096;
constexpr const char* kEncodeFailed = N_("エンコードに失敗しました");

const AVCodec* FindEncoder(AudioCodec pCodec)
{
    return pCodec == AudioCodec::Flac ? avcodec_find_encoder_by_name("flac")
                                      : avcodec_find_encoder_by_name("libopus");
}

/// The output file as the muxer sees it: writes and seeks on the file layer's handle.
struct OutputFile {
    FileHandle* Handle = nullptr;
    int64_t Position = 0;
    int64_t Size = 0;
    Status Failure; // the first failed write
};

int WritePacket(void* pOpaque, uint8_t* pBuffer, int pSize)
{
    auto* out = static_cast<OutputFile*>(pOpaque);
    if (!out->Failure)
        return AVERROR(EIO);
    out->Failure = WriteAt(*out->Handle, pBuffer, pSize, out->Position);
    if (!out->Failure)
        return AVERROR(out->Failure.error().Code == ErrorCode::DiskFull ? ENOSPC : EIO);
    out->Position += pSize;
    out->Size = std::max(out->Size, out->Position);
    return pSize;
}

int64_t SeekOutput(void* pOpaque, int64_t pOffset, int pWhence)
{
    auto* out = static_cast<OutputFile*>(pOpaque);
    switch (pWhence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return out->Size;
    case SEEK_SET:
        break;
    case SEEK_CUR:
        pOffset += out->Position;
        break;
    case SEEK_END:
        pOffset += out->Size;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (pOffset < 0)
        return AVERROR(EINVAL);
    out->Position = pOffset;
    return pOffset;
}

/// Everything one encode holds, released in the right order whatever happens.
struct EncodeState {
    AVFormatContext* Format = nullptr;
    AVCodecContext* Codec = nullptr;
    AVIOContext* Io = nullptr;
    AVFrame* Frame = nullptr;
    AVPacket* Packet = nullptr;
    ~EncodeState()
    {
        av_packet_free(&Packet);
        av_frame_free(&Frame);
        avcodec_free_context(&Codec);
        if (Format != nullptr)
            Format->pb = nullptr;
        avformat_free_context(Format);
        if (Io != nullptr) {
            av_freep(&Io->buffer);
            avio_context_free(&Io);
        }
    }
};

Error FailureOf(const OutputFile& pOut, int pCode)
{
    if (!pOut.Failure)
        return pOut.Failure.error();
    if (pCode == AVERROR(ENOSPC) || pCode == AVERROR(EDQUOT))
        return Fail(WriteFailureText(ENOSPC), ErrorCode::DiskFull);
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(pCode, text, sizeof text);
    return Fail(std::string(Tr(kEncodeFailed)) + " (" + text + ")");
}

/// Sends pFrame (null to drain) and writes every packet the encoder gives back.
int SendAndWrite(EncodeState& pState, AVStream* pStream, AVFrame* pFrame)
{
    int rc = avcodec_send_frame(pState.Codec, pFrame);
    if (rc < 0)
        return rc;
    for (;;) {
        rc = avcodec_receive_packet(pState.Codec, pState.Packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return 0;
        if (rc < 0)
            return rc;
        av_packet_rescale_ts(pState.Packet, pState.Codec->time_base, pStream->time_base);
        pState.Packet->stream_index = pStream->index;
        rc = av_interleaved_write_frame(pState.Format, pState.Packet);
        if (rc < 0)
            return rc;
    }
}

/// Converts pFrames frames of WAV samples to the encoder's packed 16- or 32-bit samples.
void ConvertSamples(
    const uint8_t* pIn, int32_t pFrames, const WaveInfo& pInfo, bool pWide, uint8_t* pOut)
{
    const int64_t count = static_cast<int64_t>(pFrames) * pInfo.Channels;
    auto* out16 = reinterpret_cast<int16_t*>(pOut);
    auto* out32 = reinterpret_cast<int32_t*>(pOut);
    for (int64_t i = 0; i < count; ++i) {
        int32_t value = 0; // left-aligned in 32 bits
        if (pInfo.Bits == 8) {
            value = (static_cast<int32_t>(pIn[i]) - 128) * (1 << 24);
        } else if (pInfo.Bits == 16) {
            int16_t s = 0;
            std::memcpy(&s, pIn + i * 2, 2);
            value = static_cast<int32_t>(s) * (1 << 16);
        } else {
            const uint8_t* b = pIn + i * 3;
            value = static_cast<int32_t>(static_cast<uint32_t>(b[0]) << 8
                | static_cast<uint32_t>(b[1]) << 16 | static_cast<uint32_t>(b[2]) << 24);
        }
        if (pWide)
            out32[i] = value;
        else
            out16[i] = static_cast<int16_t>(value / (1 << 16));
    }
}

} // namespace

FfmpegAudioEncoder::FfmpegAudioEncoder() { av_log_set_level(AV_LOG_QUIET); }

bool FfmpegAudioEncoder::Available(AudioCodec pCodec) const
{
    return FindEncoder(pCodec) != nullptr;
}

Status FfmpegAudioEncoder::Encode(AudioCodec pCodec, int32_t pKbps, std::string_view pSource,
    FileHandle& pOut, const Progress& pProgress)
{
    const WaveInfo info = ReadWaveInfo(pSource);
    if (info.Valid == 0 || info.FormatTag != kFormatTagPcm
        || (info.Bits != 8 && info.Bits != 16 && info.Bits != 24)
        || (info.Channels != 1 && info.Channels != 2))
        return Fail(Tr("エンコードする元のファイルがPCMのwavファイルではありません"));
    if (std::string problem
        = CodecFormatProblem(pCodec, info.SampleRate, info.Bits, info.Channels, pKbps);
        !problem.empty())
        return Fail(problem);
    const AVCodec* codec = FindEncoder(pCodec);
    if (codec == nullptr)
        return Fail(TrArgs("%1のエンコーダがありません", CodecName(pCodec)));
    FileHandle source = OpenFile(pSource, OpenMode::Read);
    if (!source.IsOpen())
        return Fail(Tr("エンコードする元のファイルを読めません"));

    EncodeState state;
    OutputFile output { &pOut, 0, 0, {} };
    const bool wide = pCodec == AudioCodec::Flac && info.Bits == 24;
    int rc = avformat_alloc_output_context2(
        &state.Format, nullptr, pCodec == AudioCodec::Flac ? "flac" : "ogg", nullptr);
    if (rc < 0 || state.Format == nullptr)
        return FailureOf(output, rc);
    state.Codec = avcodec_alloc_context3(codec);
    if (state.Codec == nullptr)
        return FailureOf(output, AVERROR(ENOMEM));
    state.Codec->sample_rate = info.SampleRate;
    av_channel_layout_default(&state.Codec->ch_layout, info.Channels);
    state.Codec->sample_fmt = wide ? AV_SAMPLE_FMT_S32 : AV_SAMPLE_FMT_S16;
    if (wide)
        state.Codec->bits_per_raw_sample = 24;
    state.Codec->time_base = AVRational { 1, info.SampleRate };
    if (pCodec == AudioCodec::Opus)
        state.Codec->bit_rate = static_cast<int64_t>(pKbps) * 1000;
    if ((state.Format->oformat->flags & AVFMT_GLOBALHEADER) != 0)
        state.Codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    rc = avcodec_open2(state.Codec, codec, nullptr);
    if (rc < 0)
        return FailureOf(output, rc);
    AVStream* stream = avformat_new_stream(state.Format, nullptr);
    if (stream == nullptr)
        return FailureOf(output, AVERROR(ENOMEM));
    stream->time_base = state.Codec->time_base;
    rc = avcodec_parameters_from_context(stream->codecpar, state.Codec);
    if (rc < 0)
        return FailureOf(output, rc);

    auto* ioBuffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    if (ioBuffer == nullptr)
        return FailureOf(output, AVERROR(ENOMEM));
    state.Io = avio_alloc_context(
        ioBuffer, kIoBufferBytes, 1, &output, nullptr, WritePacket, SeekOutput);
    if (state.Io == nullptr) {
        av_free(ioBuffer);
        return FailureOf(output, AVERROR(ENOMEM));
    }
    state.Format->pb = state.Io;
    state.Format->flags |= AVFMT_FLAG_CUSTOM_IO;
    rc = avformat_write_header(state.Format, nullptr);
    if (rc < 0)
        return FailureOf(output, rc);

    const int frameSamples
        = state.Codec->frame_size > 0 ? state.Codec->frame_size : kDefaultFrameSamples;
    state.Frame = av_frame_alloc();
    state.Packet = av_packet_alloc();
    if (state.Frame == nullptr || state.Packet == nullptr)
        return FailureOf(output, AVERROR(ENOMEM));
    std::vector<uint8_t> raw(static_cast<size_t>(frameSamples) * info.BlockAlign);
    int64_t pts = 0;
    for (int64_t done = 0; done < info.Frames;) {
        if (!pProgress(static_cast<double>(done) / info.Frames))
            return CancelledError();
        const auto n = static_cast<int32_t>(std::min<int64_t>(frameSamples, info.Frames - done));
        const int64_t bytes = static_cast<int64_t>(n) * info.BlockAlign;
        if (ReadAt(source, raw.data(), bytes, info.DataOffset + done * info.BlockAlign) != bytes)
            return Fail(Tr("エンコードする元のファイルを読めません"));
        av_frame_unref(state.Frame);
        state.Frame->nb_samples = n;
        state.Frame->format = state.Codec->sample_fmt;
        state.Frame->sample_rate = info.SampleRate;
        rc = av_channel_layout_copy(&state.Frame->ch_layout, &state.Codec->ch_layout);
        if (rc >= 0)
            rc = av_frame_get_buffer(state.Frame, 0);
        if (rc < 0)
            return FailureOf(output, rc);
        ConvertSamples(raw.data(), n, info, wide, state.Frame->data[0]);
        state.Frame->pts = pts;
        pts += n;
        rc = SendAndWrite(state, stream, state.Frame);
        if (rc < 0 || !output.Failure)
            return FailureOf(output, rc);
        done += n;
    }
    rc = SendAndWrite(state, stream, nullptr);
    if (rc >= 0)
        rc = av_write_trailer(state.Format);
    if (rc >= 0) {
        avio_flush(state.Io);
        rc = state.Io->error;
    }
    if (rc < 0 || !output.Failure)
        return FailureOf(output, rc);
    pProgress(1.0);
    return {};
}

} // namespace tarvok
