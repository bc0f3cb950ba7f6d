#include "platform/ffmpeg/ffmpeg_media_backend.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cerrno>
#include <vector>

namespace tarvok {

namespace {

// Packets read in one Read() before it returns Pending, so that one call stays short even
// when many packets of other streams or packets without output come in a row.
constexpr int kMaxPacketsPerRead = 16;

std::string AvErrorText(int pCode)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(pCode, text, sizeof text) < 0)
        return "error " + std::to_string(pCode);
    return text;
}

const char* DemuxerName(MediaContainer pContainer)
{
    switch (pContainer) {
    case MediaContainer::MpegAudio:
        return "mp3"; // FFmpeg's MPEG audio reader handles Layers I, II and III
    case MediaContainer::MpegSystem:
        return "mpeg";
    case MediaContainer::Riff:
        return "wav";
    case MediaContainer::Aiff:
        return "aiff";
    case MediaContainer::Asf:
        return "asf";
    case MediaContainer::Auto:
        break;
    }
    return nullptr;
}

struct FormatCloser {
    void operator()(AVFormatContext* pContext) const { avformat_close_input(&pContext); }
};
struct CodecFreer {
    void operator()(AVCodecContext* pContext) const { avcodec_free_context(&pContext); }
};
struct SwrFreer {
    void operator()(SwrContext* pContext) const { swr_free(&pContext); }
};
struct PacketFreer {
    void operator()(AVPacket* pPacket) const { av_packet_free(&pPacket); }
};
struct FrameFreer {
    void operator()(AVFrame* pFrame) const { av_frame_free(&pFrame); }
};

class FfmpegSource : public MediaSource {
public:
    FfmpegSource(std::unique_ptr<AVFormatContext, FormatCloser> pFormat,
        std::unique_ptr<AVCodecContext, CodecFreer> pCodec, int pStream)
        : format_(std::move(pFormat))
        , codec_(std::move(pCodec))
        , stream_(pStream)
        , packet_(av_packet_alloc())
        , frame_(av_frame_alloc())
    {
        output_.SampleRate = codec_->sample_rate;
        output_.Channels = codec_->ch_layout.nb_channels >= 2 ? 2 : 1;
        av_channel_layout_default(&outLayout_, output_.Channels);
        fileBytes_ = format_->pb != nullptr ? avio_size(format_->pb) : -1;
    }
    ~FfmpegSource() override
    {
        av_channel_layout_uninit(&outLayout_);
        av_channel_layout_uninit(&inLayout_);
    }

    bool Allocated() const { return packet_ && frame_; }

    MediaStreamFormat Format() const override { return output_; }

    double Position() const override
    {
        if (finished_)
            return 1.0;
        if (fileBytes_ <= 0 || format_->pb == nullptr)
            return 0.0;
        return std::clamp(double(avio_tell(format_->pb)) / double(fileBytes_), 0.0, 1.0);
    }

    MediaChunk Read() override
    {
        samples_.clear();
        if (finished_)
            return {};
        for (int packets = 0; packets < kMaxPacketsPerRead;) {
            int code = avcodec_receive_frame(codec_.get(), frame_.get());
            if (code == 0) {
                std::string error;
                bool ok = Convert(error);
                av_frame_unref(frame_.get());
                if (!ok)
                    return Failure(error);
                if (!samples_.empty())
                    return Data();
                continue;
            }
            if (code == AVERROR_EOF) {
                std::string error;
                if (!Drain(error))
                    return Failure(error);
                finished_ = true;
                return samples_.empty() ? MediaChunk {} : Data();
            }
            if (code != AVERROR(EAGAIN)) {
                // A damaged frame is skipped, as players do; running out of memory is not.
                if (code == AVERROR(ENOMEM))
                    return Failure(AvErrorText(code));
                ++packets;
                continue;
            }
            if (inputDone_)
                return Failure("the decoder wants input after the end of the stream");
            code = av_read_frame(format_.get(), packet_.get());
            if (code < 0) {
                // The end of the input (or a read error, which ends it as well): flush the
                // decoder so that it gives out the frames it still holds.
                inputDone_ = true;
                code = avcodec_send_packet(codec_.get(), nullptr);
                if (code < 0 && code != AVERROR_EOF)
                    return Failure(AvErrorText(code));
                continue;
            }
            ++packets;
            if (packet_->stream_index != stream_) {
                av_packet_unref(packet_.get());
                continue;
            }
            code = avcodec_send_packet(codec_.get(), packet_.get());
            av_packet_unref(packet_.get());
            if (code == AVERROR(ENOMEM))
                return Failure(AvErrorText(code));
            // Other send errors mean invalid data in this packet; it is dropped.
        }
        return { MediaReadStatus::Pending, nullptr, 0, {} };
    }

private:
    MediaChunk Data() const
    {
        return { MediaReadStatus::Data, samples_.data(),
            static_cast<int64_t>(samples_.size()) / output_.Channels, {} };
    }
    MediaChunk Failure(std::string pWhy)
    {
        finished_ = true;
        return { MediaReadStatus::Error, nullptr, 0, std::move(pWhy) };
    }

    /// Sets up the converter for the frame in frame_ when its format differs from the last.
    bool Configure(std::string& pError)
    {
        const AVFrame& frame = *frame_;
        AVChannelLayout layout {};
        if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame.ch_layout.nb_channels == 0) {
            int channels = frame.ch_layout.nb_channels > 0 ? frame.ch_layout.nb_channels
                                                           : codec_->ch_layout.nb_channels;
            av_channel_layout_default(&layout, channels);
        } else if (av_channel_layout_copy(&layout, &frame.ch_layout) < 0) {
            pError = "cannot copy the channel layout";
            return false;
        }
        if (swr_ && frame.sample_rate == inRate_ && frame.format == inFormat_
            && av_channel_layout_compare(&layout, &inLayout_) == 0) {
            av_channel_layout_uninit(&layout);
            return true;
        }
        if (swr_ && !Drain(pError)) {
            av_channel_layout_uninit(&layout);
            return false;
        }
        SwrContext* context = nullptr;
        int code = swr_alloc_set_opts2(&context, &outLayout_, AV_SAMPLE_FMT_S16, output_.SampleRate,
            &layout, static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
        swr_.reset(context);
        if (code >= 0)
            code = swr_init(swr_.get());
        av_channel_layout_uninit(&inLayout_);
        inLayout_ = layout;
        inRate_ = frame.sample_rate;
        inFormat_ = frame.format;
        if (code < 0) {
            swr_.reset();
            pError = "converter: " + AvErrorText(code);
            return false;
        }
        return true;
    }

    /// Converts the frame in frame_ and appends the result to samples_.
    bool Convert(std::string& pError)
    {
        if (frame_->nb_samples <= 0)
            return true;
        if (frame_->sample_rate <= 0) {
            pError = "frame without a sample rate";
            return false;
        }
        if (!Configure(pError))
            return false;
        return Append(
            const_cast<const uint8_t**>(frame_->extended_data), frame_->nb_samples, pError);
    }

    /// Appends what the converter still holds (resampling delay) to samples_.
    bool Drain(std::string& pError)
    {
        if (!swr_)
            return true;
        bool ok = Append(nullptr, 0, pError);
        swr_.reset();
        return ok;
    }

    bool Append(const uint8_t** pInput, int pCount, std::string& pError)
    {
        int room = swr_get_out_samples(swr_.get(), pCount);
        if (room < 0) {
            pError = "converter: " + AvErrorText(room);
            return false;
        }
        if (room == 0)
            return true;
        size_t used = samples_.size();
        samples_.resize(used + size_t(room) * size_t(output_.Channels));
        uint8_t* target = reinterpret_cast<uint8_t*>(samples_.data() + used);
        int done = swr_convert(swr_.get(), &target, room, pInput, pCount);
        if (done < 0) {
            samples_.resize(used);
            pError = "converter: " + AvErrorText(done);
            return false;
        }
        samples_.resize(used + size_t(done) * size_t(output_.Channels));
        return true;
    }

    std::unique_ptr<AVFormatContext, FormatCloser> format_;
    std::unique_ptr<AVCodecContext, CodecFreer> codec_;
    int stream_;
    std::unique_ptr<AVPacket, PacketFreer> packet_;
    std::unique_ptr<AVFrame, FrameFreer> frame_;
    std::unique_ptr<SwrContext, SwrFreer> swr_;
    AVChannelLayout outLayout_ {};
    AVChannelLayout inLayout_ {};
    int inRate_ = 0;
    int inFormat_ = -1;
    MediaStreamFormat output_;
    std::vector<int16_t> samples_;
    int64_t fileBytes_ = -1;
    bool inputDone_ = false;
    bool finished_ = false;
};

} // namespace

FfmpegMediaBackend::FfmpegMediaBackend() { av_log_set_level(AV_LOG_QUIET); }

Result<std::unique_ptr<MediaSource>> FfmpegMediaBackend::Open(
    const std::string& pPath, MediaContainer pContainer)
{
    const AVInputFormat* input = nullptr;
    if (const char* name = DemuxerName(pContainer)) {
        input = av_find_input_format(name);
        if (input == nullptr)
            return Fail(std::string("no reader for ") + name);
    }
    AVFormatContext* rawFormat = nullptr;
    int code = avformat_open_input(&rawFormat, pPath.c_str(), input, nullptr);
    if (code < 0)
        return Fail(AvErrorText(code));
    std::unique_ptr<AVFormatContext, FormatCloser> format(rawFormat);
    code = avformat_find_stream_info(format.get(), nullptr);
    if (code < 0)
        return Fail("stream info: " + AvErrorText(code));

    const AVCodec* decoder = nullptr;
    int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (stream == AVERROR_STREAM_NOT_FOUND)
        return Fail("no audio stream");
    if (stream < 0 || decoder == nullptr)
        return Fail("no decoder for the audio stream");
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (static_cast<int>(i) != stream)
            format->streams[i]->discard = AVDISCARD_ALL;
    }

    std::unique_ptr<AVCodecContext, CodecFreer> codec(avcodec_alloc_context3(decoder));
    if (!codec)
        return Fail("out of memory");
    code = avcodec_parameters_to_context(codec.get(), format->streams[stream]->codecpar);
    if (code < 0)
        return Fail("decoder parameters: " + AvErrorText(code));
    codec->pkt_timebase = format->streams[stream]->time_base;
    code = avcodec_open2(codec.get(), decoder, nullptr);
    if (code < 0)
        return Fail("decoder: " + AvErrorText(code));
    if (codec->sample_rate <= 0 || codec->ch_layout.nb_channels <= 0)
        return Fail("the audio stream has no sample rate or channels");

    auto source = std::make_unique<FfmpegSource>(std::move(format), std::move(codec), stream);
    if (!source->Allocated())
        return Fail("out of memory");
    return std::unique_ptr<MediaSource>(std::move(source));
}

} // namespace tarvok
