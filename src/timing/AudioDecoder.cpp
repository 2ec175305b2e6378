#include "timing/AudioDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <cmath>
#include <memory>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

struct CodecContextFree {
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct PacketFree {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct FrameFree {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct ResamplerFree {
    void operator()(SwrContext *s) const { swr_free(&s); }
};

QString avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

bool isDefaultTrack(const AVStream *stream)
{
    return (stream->disposition & AV_DISPOSITION_DEFAULT) != 0;
}

QString trackLanguage(const AVStream *stream)
{
    const AVDictionaryEntry *entry = av_dict_get(stream->metadata, "language", nullptr, 0);
    return entry ? QString::fromUtf8(entry->value) : QString();
}

// The audio track in `language` when one is named so, else the container's
// default audio track, else the one FFmpeg thinks best.
int chooseAudioTrack(AVFormatContext *format, const QString &language)
{
    int inLanguage = -1;
    int byDefault = -1;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream *stream = format->streams[i];
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        if (inLanguage < 0 && !language.isEmpty() &&
            trackLanguage(stream).compare(language, Qt::CaseInsensitive) == 0)
            inLanguage = int(i);
        if (byDefault < 0 && isDefaultTrack(stream))
            byDefault = int(i);
    }
    if (inLanguage >= 0)
        return inLanguage;
    if (byDefault >= 0)
        return byDefault;
    return av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
}

double frameRateOf(AVFormatContext *format)
{
    const int video = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0)
        return 0;
    const AVRational rate = format->streams[video]->avg_frame_rate;
    return rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0;
}

} // namespace

AudioDecoder::~AudioDecoder()
{
    avformat_close_input(&m_format);
}

int AudioDecoder::interruptCallback(void *opaque)
{
    const auto *self = static_cast<const AudioDecoder *>(opaque);
    return self->m_cancelled && self->m_cancelled() ? 1 : 0;
}

QString AudioDecoder::open(const QString &video, const QString &language, const CancelCheck &cancelled)
{
    avformat_close_input(&m_format);
    // A damaged stretch is measured around, not reported line by line on stderr.
    av_log_set_level(AV_LOG_FATAL);
    m_cancelled = cancelled;
    m_format = avformat_alloc_context();
    if (!m_format)
        return u"out of memory"_s;
    m_format->interrupt_callback = {&AudioDecoder::interruptCallback, this};
    const QByteArray path = video.toUtf8();
    if (const int rc = avformat_open_input(&m_format, path.constData(), nullptr, nullptr); rc < 0)
        return u"cannot read the video: %1"_s.arg(avError(rc));
    if (const int rc = avformat_find_stream_info(m_format, nullptr); rc < 0)
        return u"cannot read the video's tracks: %1"_s.arg(avError(rc));
    m_videoFrameRate = frameRateOf(m_format);
    m_stream = chooseAudioTrack(m_format, language);
    if (m_stream < 0)
        return u"the video has no audio track"_s;
    return {};
}

QString AudioDecoder::decode(int sampleRate, const SampleSink &sink, const CancelCheck &cancelled)
{
    if (!m_format || m_stream < 0)
        return u"no audio track is open"_s;
    m_cancelled = cancelled;
    // Only the chosen track's packets are wanted; the demuxer may skip the rest.
    for (unsigned i = 0; i < m_format->nb_streams; ++i)
        m_format->streams[i]->discard = int(i) == m_stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

    const AVCodecParameters *parameters = m_format->streams[m_stream]->codecpar;
    const AVCodec *codec = avcodec_find_decoder(parameters->codec_id);
    if (!codec)
        return u"FFmpeg cannot decode the audio track (%1)"_s.arg(
            QString::fromUtf8(avcodec_get_name(parameters->codec_id)));
    std::unique_ptr<AVCodecContext, CodecContextFree> context(avcodec_alloc_context3(codec));
    if (!context || avcodec_parameters_to_context(context.get(), parameters) < 0)
        return u"cannot set up the audio decoder"_s;
    if (const int rc = avcodec_open2(context.get(), codec, nullptr); rc < 0)
        return u"cannot open the audio decoder: %1"_s.arg(avError(rc));

    std::unique_ptr<SwrContext, ResamplerFree> resampler;
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    if (!packet || !frame)
        return u"out of memory"_s;
    std::vector<int16_t> block;

    // Subtitles count from the start of the film; an audio track that starts
    // later (or earlier) is lined up by silence (or by dropping samples).
    const AVStream *stream = m_format->streams[m_stream];
    const double filmStart =
        m_format->start_time != AV_NOPTS_VALUE ? double(m_format->start_time) / AV_TIME_BASE : 0;
    qint64 leadIn = 0; // samples of silence still owed (negative: to drop)
    bool placed = false;
    const auto placeFirst = [&](const AVFrame *decoded) {
        placed = true;
        const int64_t pts = decoded->best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE)
            return;
        const double start = double(pts) * av_q2d(stream->time_base) - filmStart;
        // Beyond a minute this is a broken timestamp, not a delay.
        if (std::abs(start) < 60.0)
            leadIn = std::llround(start * sampleRate);
    };
    const auto deliver = [&](const int16_t *samples, int count) {
        if (leadIn > 0) {
            const std::vector<int16_t> silence(size_t(leadIn), 0);
            sink(silence.data(), int(leadIn));
            leadIn = 0;
        }
        if (leadIn < 0) {
            const int dropped = int(std::min<qint64>(-leadIn, count));
            samples += dropped;
            count -= dropped;
            leadIn += dropped;
        }
        if (count > 0)
            sink(samples, count);
    };

    const auto convert = [&](AVFrame *decoded) -> QString {
        if (decoded && !placed)
            placeFirst(decoded);
        if (!resampler) {
            SwrContext *made = nullptr;
            AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
            if (swr_alloc_set_opts2(&made, &mono, AV_SAMPLE_FMT_S16, sampleRate, &decoded->ch_layout,
                                    AVSampleFormat(decoded->format), decoded->sample_rate, 0, nullptr) < 0 ||
                swr_init(made) < 0) {
                swr_free(&made);
                return u"cannot convert the audio track's samples"_s;
            }
            resampler.reset(made);
        }
        const int room = int(swr_get_out_samples(resampler.get(), decoded ? decoded->nb_samples : 0));
        if (room <= 0)
            return {};
        block.resize(size_t(room));
        uint8_t *out[] = {reinterpret_cast<uint8_t *>(block.data())};
        const int made = swr_convert(resampler.get(), out, room,
                                     decoded ? const_cast<const uint8_t **>(decoded->extended_data) : nullptr,
                                     decoded ? decoded->nb_samples : 0);
        if (made > 0)
            deliver(block.data(), made);
        return {};
    };
    const auto drainDecoder = [&]() -> QString {
        while (avcodec_receive_frame(context.get(), frame.get()) == 0) {
            const QString error = convert(frame.get());
            av_frame_unref(frame.get());
            if (!error.isEmpty())
                return error;
        }
        return {};
    };

    int badPackets = 0;
    for (;;) {
        if (cancelled && cancelled())
            return u"cancelled"_s;
        const int rc = av_read_frame(m_format, packet.get());
        if (rc == AVERROR_EOF)
            break;
        if (rc < 0) {
            if (cancelled && cancelled())
                return u"cancelled"_s;
            // A truncated file ends in a read error: what came before still counts.
            break;
        }
        if (packet->stream_index == m_stream) {
            // A damaged packet is skipped; the speech around it is still worth measuring.
            if (avcodec_send_packet(context.get(), packet.get()) < 0)
                ++badPackets;
            if (const QString error = drainDecoder(); !error.isEmpty()) {
                av_packet_unref(packet.get());
                return error;
            }
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(context.get(), nullptr);
    if (const QString error = drainDecoder(); !error.isEmpty())
        return error;
    if (resampler)
        convert(nullptr);
    else
        return badPackets > 0 ? u"FFmpeg cannot decode the audio track"_s : u"the audio track is empty"_s;
    return {};
}
