#include "media/StreamProbe.h"

#include "common/LangModule.h"

#include <QFile>
#include <QHash>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

// Enough for the header of every usual container; a header that needs more
// is not one a player would trust either.
constexpr int kProbeBytes = 1024 * 1024;
// More streams than any real video has: past it the header is taken as hostile.
constexpr int kMaxStreams = 128;
// The longest BCP 47 tag worth reading ("zh-Hant-TW" is 10).
constexpr qsizetype kMaxTagLength = 35;
constexpr qsizetype kMaxTitleLength = 200;
// Longer than any video; a header that says more is wrong.
constexpr double kLongestVideo = 7 * 24 * 3600.0;
constexpr double kHighestFrameRate = 1000.0;

// The demuxers of video containers. Playlists and formats that open other
// files (hls, concat, image sequences) are never used on a listed file.
constexpr char kContainers[] =
    "matroska,webm,mov,mp4,m4a,3gp,3g2,mj2,avi,asf,mpegts,mpeg,mpegvideo,flv,ogg,rm,nut,dv,mxf,wtv,m4v,h264,"
    "hevc,vob";

void quietenLibraries()
{
    // A damaged header is ours to report, once, as a reason; not FFmpeg's
    // to print on the terminal line by line.
    static const bool done = [] {
        av_log_set_level(AV_LOG_FATAL);
        return true;
    }();
    (void)done;
}

QString errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

struct Deadline {
    std::chrono::steady_clock::time_point end;
};

int pastDeadline(void *opaque)
{
    return std::chrono::steady_clock::now() > static_cast<const Deadline *>(opaque)->end ? 1 : 0;
}

// The bytes of probeBytes(), read through FFmpeg's I/O callbacks.
struct MemoryReader {
    const QByteArray *bytes = nullptr;
    qint64 at = 0;
};

int readMemory(void *opaque, uint8_t *buffer, int size)
{
    auto *reader = static_cast<MemoryReader *>(opaque);
    const qint64 left = reader->bytes->size() - reader->at;
    if (left <= 0)
        return AVERROR_EOF;
    const int count = int(std::min<qint64>(left, size));
    std::copy_n(reader->bytes->constData() + reader->at, count, buffer);
    reader->at += count;
    return count;
}

int64_t seekMemory(void *opaque, int64_t offset, int whence)
{
    auto *reader = static_cast<MemoryReader *>(opaque);
    const qint64 size = reader->bytes->size();
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE)
        return size;
    qint64 base = 0;
    if (whence == SEEK_CUR)
        base = reader->at;
    else if (whence == SEEK_END)
        base = size;
    else if (whence != SEEK_SET)
        return AVERROR(EINVAL);
    if (offset > size || offset < -size - base) // keeps the sum below from overflowing
        return AVERROR(EINVAL);
    const qint64 target = base + offset;
    if (target < 0 || target > size)
        return AVERROR(EINVAL);
    reader->at = target;
    return target;
}

QString tagOf(const AVDictionary *metadata, const char *key)
{
    const AVDictionaryEntry *entry = av_dict_get(metadata, key, nullptr, 0);
    return entry && entry->value ? QString::fromUtf8(entry->value) : QString();
}

// Printable text of at most `limit` characters.
QString cleanText(const QString &text, qsizetype limit)
{
    QString clean;
    for (const QChar c : text.left(limit)) {
        if (c.isPrint())
            clean.append(c);
    }
    return clean.trimmed();
}

bool looksLikeTag(const QString &tag)
{
    return !tag.isEmpty() && tag.size() <= kMaxTagLength &&
           std::all_of(tag.cbegin(), tag.cend(), [](QChar c) {
               return (c.isLetterOrNumber() && c.unicode() < 128) || c == u'-' || c == u'_';
           });
}

EmbeddedStream::Kind kindOf(AVMediaType type)
{
    switch (type) {
    case AVMEDIA_TYPE_VIDEO:
        return EmbeddedStream::Kind::Video;
    case AVMEDIA_TYPE_AUDIO:
        return EmbeddedStream::Kind::Audio;
    case AVMEDIA_TYPE_SUBTITLE:
        return EmbeddedStream::Kind::Subtitle;
    default:
        return EmbeddedStream::Kind::Other;
    }
}

EmbeddedStream streamOf(const AVStream &stream)
{
    EmbeddedStream s;
    const AVCodecParameters &codec = *stream.codecpar;
    s.kind = kindOf(codec.codec_type);
    s.codec = QString::fromLatin1(avcodec_get_name(codec.codec_id));
    const QString tag = tagOf(stream.metadata, "language").trimmed();
    if (looksLikeTag(tag) && tag.compare("und"_L1, Qt::CaseInsensitive) != 0)
        s.languageTag = tag;
    s.language = StreamProbe::languageOfTag(s.languageTag);
    s.title = cleanText(tagOf(stream.metadata, "title"), kMaxTitleLength);
    s.isDefault = stream.disposition & AV_DISPOSITION_DEFAULT;
    s.isForced = stream.disposition & AV_DISPOSITION_FORCED;
    s.isHearingImpaired = stream.disposition & AV_DISPOSITION_HEARING_IMPAIRED;
    s.isTextSubtitle = s.kind == EmbeddedStream::Kind::Subtitle && StreamProbe::isTextSubtitleCodec(s.codec);
    return s;
}

double frameRateOf(const AVStream &stream)
{
    for (const AVRational rate : {stream.avg_frame_rate, stream.r_frame_rate}) {
        if (rate.num > 0 && rate.den > 0) {
            const double fps = av_q2d(rate);
            if (fps > 0 && fps <= kHighestFrameRate)
                return fps;
        }
    }
    return 0;
}

double durationOf(const AVFormatContext &context)
{
    if (context.duration == AV_NOPTS_VALUE || context.duration <= 0)
        return 0;
    const double seconds = double(context.duration) / AV_TIME_BASE;
    return std::isfinite(seconds) && seconds <= kLongestVideo ? seconds : 0;
}

// Reads what an opened container says.
VideoStreams readHeader(const AVFormatContext &context)
{
    VideoStreams found;
    if (context.nb_streams > unsigned(kMaxStreams)) {
        found.failure = u"the header lists %1 streams"_s.arg(context.nb_streams);
        return found;
    }
    bool playable = false;
    for (unsigned i = 0; i < context.nb_streams; ++i) {
        const AVStream &stream = *context.streams[i];
        const EmbeddedStream s = streamOf(stream);
        const bool picture = stream.disposition & AV_DISPOSITION_ATTACHED_PIC; // cover art
        if (s.kind == EmbeddedStream::Kind::Video && !picture && found.frameRate == 0)
            found.frameRate = frameRateOf(stream);
        playable = playable || (s.kind == EmbeddedStream::Kind::Video && !picture) ||
                   s.kind == EmbeddedStream::Kind::Audio;
        found.streams.append(s);
    }
    if (!playable) {
        found.streams.clear();
        found.failure = u"no video or audio stream in it"_s;
        return found;
    }
    found.duration = durationOf(context);
    return found;
}

// Opens `url` (or, with `io`, the bytes behind it) under the limits, reads
// the header and closes again. `io` stays the caller's.
VideoStreams openAndRead(const QByteArray &url, AVIOContext *io, std::chrono::milliseconds timeLimit,
                         const AVInputFormat *format = nullptr)
{
    quietenLibraries();
    Deadline deadline{std::chrono::steady_clock::now() + timeLimit};
    AVFormatContext *context = avformat_alloc_context();
    if (!context)
        return {{}, 0, 0, u"out of memory"_s};
    context->interrupt_callback = {pastDeadline, &deadline};
    context->pb = io;
    AVDictionary *options = nullptr;
    av_dict_set_int(&options, "probesize", kProbeBytes, 0);
    av_dict_set_int(&options, "max_streams", kMaxStreams + 1, 0);
    av_dict_set(&options, "format_whitelist", kContainers, 0);
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    // Frees the context itself when it fails.
    const int opened = avformat_open_input(&context, url.constData(), format, &options);
    av_dict_free(&options);
    if (opened < 0) {
        const bool late = opened == AVERROR_EXIT || pastDeadline(&deadline);
        return {
            {}, 0, 0, late ? u"reading the header took too long"_s : u"not a video: "_s + errorText(opened)};
    }
    VideoStreams found = readHeader(*context);
    avformat_close_input(&context);
    return found;
}

const AVInputFormat *formatNamedBy(const QString &path)
{
    const QString extension = path.mid(path.lastIndexOf(u'.') + 1).toLower();
    static const QHash<QString, const char *> demuxers{
        {u"mkv"_s, "matroska"}, {u"webm"_s, "matroska"}, {u"mp4"_s, "mov"},   {u"m4v"_s, "mov"},
        {u"mov"_s, "mov"},      {u"avi"_s, "avi"},       {u"ts"_s, "mpegts"}, {u"m2ts"_s, "mpegts"},
    };
    const char *name = demuxers.value(extension);
    return name ? av_find_input_format(name) : nullptr;
}

// ISO 639-2/T codes and the /B ones the service's language list uses.
const QHash<QString, QString> &bibliographicCodes()
{
    static const QHash<QString, QString> codes{
        {u"ces"_s, u"cze"_s}, {u"deu"_s, u"ger"_s}, {u"gre"_s, u"ell"_s}, {u"eus"_s, u"baq"_s},
        {u"fas"_s, u"per"_s}, {u"fra"_s, u"fre"_s}, {u"isl"_s, u"ice"_s}, {u"kat"_s, u"geo"_s},
        {u"mkd"_s, u"mac"_s}, {u"msa"_s, u"may"_s}, {u"nld"_s, u"dut"_s}, {u"ron"_s, u"rum"_s},
        {u"slk"_s, u"slo"_s}, {u"sqi"_s, u"alb"_s}, {u"srp"_s, u"scc"_s}, {u"zho"_s, u"chi"_s},
        {u"nob"_s, u"nor"_s}, {u"nno"_s, u"nor"_s},
    };
    return codes;
}

} // namespace

QString EmbeddedStream::kindName(Kind kind)
{
    switch (kind) {
    case Kind::Video:
        return u"video"_s;
    case Kind::Audio:
        return u"audio"_s;
    case Kind::Subtitle:
        return u"subtitle"_s;
    case Kind::Other:
        break;
    }
    return u"other"_s;
}

bool VideoStreams::carriesTextSubtitleIn(const QString &language) const
{
    const QString two = language.size() == 3 ? LangModule::getLangTwo(language) : language;
    if (two.isEmpty())
        return false;
    return std::any_of(streams.cbegin(), streams.cend(), [&](const EmbeddedStream &s) {
        return s.isTextSubtitle && s.language.compare(two, Qt::CaseInsensitive) == 0;
    });
}

namespace StreamProbe {

VideoStreams probe(const QString &path, std::chrono::milliseconds timeLimit)
{
    // "file:" keeps a name with a colon from being read as another protocol.
    const QByteArray url = "file:" + QFile::encodeName(path);
    // The container the extension names is tried first: guessing it from the
    // content asks every demuxer and is most of the cost of a small file.
    if (const AVInputFormat *named = formatNamedBy(path)) {
        VideoStreams found = openAndRead(url, nullptr, timeLimit, named);
        if (found.failure.isEmpty())
            return found;
    }
    return openAndRead(url, nullptr, timeLimit);
}

VideoStreams probeBytes(const QByteArray &bytes, std::chrono::milliseconds timeLimit)
{
    constexpr int kBufferSize = 64 * 1024;
    MemoryReader reader{&bytes, 0};
    auto *buffer = static_cast<unsigned char *>(av_malloc(kBufferSize));
    AVIOContext *io =
        buffer ? avio_alloc_context(buffer, kBufferSize, 0, &reader, readMemory, nullptr, seekMemory)
               : nullptr;
    if (!io) {
        av_free(buffer);
        return {{}, 0, 0, u"out of memory"_s};
    }
    VideoStreams found = openAndRead(QByteArray(), io, timeLimit);
    av_freep(&io->buffer); // FFmpeg may have replaced the buffer given
    avio_context_free(&io);
    return found;
}

QString languageOfTag(const QString &tag)
{
    if (!looksLikeTag(tag))
        return QString();
    const QStringList parts = tag.toLower().replace(u'_', u'-').split(u'-');
    const QString primary = parts.value(0);
    const QString region = parts.value(1);
    if (((primary == "pt"_L1 || primary == "por"_L1) && region == "br"_L1) || primary == "pob"_L1)
        return u"pb"_s;
    if (primary.size() == 2)
        return LangModule::langArray().contains(primary) ? primary : QString();
    if (primary.size() != 3)
        return QString();
    const QString three = bibliographicCodes().value(primary, primary);
    const QString two = LangModule::getLangTwo(three);
    return LangModule::langArray().contains(two) ? two : QString();
}

bool isTextSubtitleCodec(const QString &codecName)
{
    const AVCodecDescriptor *descriptor = avcodec_descriptor_get_by_name(codecName.toLatin1().constData());
    return descriptor && descriptor->type == AVMEDIA_TYPE_SUBTITLE &&
           (descriptor->props & AV_CODEC_PROP_TEXT_SUB);
}

} // namespace StreamProbe
