#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>

// One stream of a video's container, as its header describes it.
struct EmbeddedStream {
    enum class Kind { Video, Audio, Subtitle, Other };
    Kind kind = Kind::Other;
    QString codec; // FFmpeg's short codec name: "subrip", "ass", "hdmv_pgs_subtitle"...
    // The language tag as the container has it ("eng", "pt-BR"), cleaned of
    // anything but letters, digits and "-"; empty for none, "und" or a tag
    // too long to be one.
    QString languageTag;
    // Lumbra's two-letter code for the tag; empty when it names no language
    // Lumbra offers.
    QString language;
    QString title;
    bool isDefault = false;
    bool isForced = false;
    bool isHearingImpaired = false;
    // A subtitle stream made of text (SubRip, ASS/SSA, mov_text, WebVTT), as
    // opposed to pictures (PGS, VobSub, DVB).
    bool isTextSubtitle = false;

    static QString kindName(Kind kind);
};

// What a video's container header says: its streams, frame rate and length.
struct VideoStreams {
    QList<EmbeddedStream> streams;
    double frameRate = 0; // of the first video stream; 0 when unknown
    double duration = 0;  // seconds; 0 when unknown
    // Why the header could not be read; empty when it was. A video whose
    // header is unreadable is treated as carrying nothing.
    QString failure;

    // Whether a text subtitle stream in `language` (two- or three-letter
    // code) is inside. Picture subtitles and unknown languages never count.
    bool carriesTextSubtitleIn(const QString &language) const;
};

// Reads the streams of a video with FFmpeg's container readers, from the
// header only: nothing is decoded, reading stops at a small size limit and a
// time limit, and only the usual video containers are opened (never
// playlists or formats that open other files). Thread-safe; blocks, so keep
// it off the UI thread.
namespace StreamProbe {

inline constexpr std::chrono::milliseconds kDefaultTimeLimit{3000};

VideoStreams probe(const QString &path, std::chrono::milliseconds timeLimit = kDefaultTimeLimit);
// The same over bytes in memory (the container as a file would hold it).
VideoStreams probeBytes(const QByteArray &bytes, std::chrono::milliseconds timeLimit = kDefaultTimeLimit);

// Lumbra's two-letter code for a container's language tag (ISO 639-2/B or
// /T like "fre"/"fra", ISO 639-1, or BCP 47 like "pt-BR"); empty when the
// tag is unknown, "und" or not a tag at all.
QString languageOfTag(const QString &tag);

// Whether FFmpeg's codec of that short name is a subtitle made of text.
bool isTextSubtitleCodec(const QString &codecName);

} // namespace StreamProbe
