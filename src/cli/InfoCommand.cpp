#include "cli/CliArguments.h"
#include "cli/Commands.h"
#include "media/FileNames.h"
#include "media/FileTypes.h"
#include "media/movieFile.h"
#include "media/subtitleFile.h"
#include "media/TextEncoding.h"
#include "prefs/myPrefs.h"
#include "preview/subClass.h"
#include "preview/subsModule.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

// What is printed for one path, in the order the text form shows it. The
// JSON form puts the same keys into one object.
using Fields = QList<std::pair<QString, QJsonValue>>;

void printUsage(void (*print)(const QString &))
{
    print(u"Usage: lumbra-cli info [--json] [--fps=N] [--] PATH..."_s);
    print(u"Shows what Lumbra reads from each video or subtitle file: names, size, hashes,"_s);
    print(u"the episode data of a video's name and the subtitle files beside it, a subtitle's"_s);
    print(u"language and text encoding, and an SRT or SUB file's cues: their number, the end of"_s);
    print(u"the last, the first and last start times. SUB files count frames at --fps (25)."_s);
    print(u"For a video, the streams inside it too (kind, codec, language, title, default and"_s);
    print(u"forced flags), its frame rate and duration, as its container's header gives them."_s);
    print(u"--json prints one JSON object per path, one per line."_s);
}

bool isSubtitleType(const QString &path)
{
    return FileTypes::SubTypes.hasExtension(u'.' + extension(QFileInfo(path).fileName()));
}

bool isVideoType(const QString &path)
{
    return FileTypes::MovieTypes.hasExtension(u'.' + extension(QFileInfo(path).fileName()));
}

// The subtitle files that belong to a video: those beside it whose path
// starts with the video's path without its extension. Paths keep the form
// the video's path was given in.
QStringList subtitlesBeside(const QString &videoPath)
{
    const QFileInfo video(videoPath);
    const QString name = video.fileName();
    const QString folder = videoPath.left(videoPath.size() - name.size());
    const QString stem = folder + shortname(name);
    QStringList found;
    const QStringList entries = video.dir().entryList(QDir::Files, QDir::Name);
    for (const QString &entry : entries) {
        const QString p = folder + entry;
        if (entry != name && p.startsWith(stem, Qt::CaseInsensitive) && isSubtitleType(p))
            found.append(p);
    }
    return found;
}

// The fields of a subtitle file. `bytes` is the whole file.
Fields subtitleFields(const QString &path, const subtitleFile &sub, const QByteArray &bytes, double fps)
{
    Fields fields{
        {u"path"_s, path},
        {u"kind"_s, u"subtitle"_s},
        {u"subtitleFileName"_s, sub.subtitleFileName()},
        {u"ISO639"_s, sub.ISO639()},
        {u"subHash"_s, sub.subHash()},
        {u"bytesize"_s, double(sub.bytesize())},
        {u"encoding"_s, encodingName(GuessEncoding(bytes))},
    };
    // Cues of the types the preview reads; other types have none to count.
    const subClass cues(path, fps);
    if (cues.allReady()) {
        const auto start = [&cues](qsizetype i) {
            return i < 0 ? QString() : subsModule::secondsToTimestring(cues.subLines()[i].startSeconds);
        };
        fields.append({u"cues"_s, double(cues.count())});
        fields.append({u"duration"_s, cues.duration()});
        fields.append({u"firstCue"_s, start(cues.count() > 0 ? 0 : -1)});
        fields.append({u"lastCue"_s, start(cues.count() - 1)});
    }
    return fields;
}

QJsonArray streamsOf(const VideoStreams &found)
{
    QJsonArray streams;
    for (const EmbeddedStream &s : found.streams) {
        streams.append(QJsonObject{
            {u"kind"_s, EmbeddedStream::kindName(s.kind)},
            {u"codec"_s, s.codec},
            {u"language"_s, s.languageTag},
            {u"ISO639"_s, s.language},
            {u"title"_s, s.title},
            {u"default"_s, s.isDefault},
            {u"forced"_s, s.isForced},
            {u"hearingImpaired"_s, s.isHearingImpaired},
            {u"text"_s, s.isTextSubtitle},
        });
    }
    return streams;
}

// "subtitle subrip eng (en) "English" default forced", as the text form lists a stream.
QString streamLine(const QJsonObject &s)
{
    QString line = s.value(u"kind"_s).toString() + u' ' + s.value(u"codec"_s).toString() + u' ';
    const QString tag = s.value(u"language"_s).toString();
    line += tag.isEmpty() ? u"und"_s : tag;
    const QString code = s.value(u"ISO639"_s).toString();
    if (!code.isEmpty() && code != tag)
        line += u" ("_s + code + u')';
    const QString title = s.value(u"title"_s).toString();
    if (!title.isEmpty())
        line += u" \""_s + title + u'"';
    for (const char *flag : {"default", "forced", "hearingImpaired"}) {
        if (s.value(QLatin1StringView(flag)).toBool())
            line += u' ' + QLatin1StringView(flag);
    }
    if (s.value(u"kind"_s).toString() == "subtitle"_L1 && !s.value(u"text"_s).toBool())
        line += u" picture"_s;
    return line;
}

Fields videoFields(const QString &path, movieFile &movie)
{
    const auto meta = movie.metadata();
    const VideoMetadata none;
    const VideoMetadata &m = meta ? *meta : none;
    QJsonArray subs;
    for (const auto &sub : movie.subtitles())
        subs.append(QJsonObject{{u"path"_s, sub->path()}, {u"ISO639"_s, sub->ISO639()}});
    const auto streams = movie.probeStreams();
    return {
        {u"path"_s, path},
        {u"kind"_s, u"video"_s},
        {u"movieFileName"_s, movie.movieFileName()},
        {u"movieFileNameShort"_s, movie.movieFileNameShort()},
        {u"bytesize"_s, double(movie.bytesize())},
        {u"movieHash"_s, movie.movieHash()},
        {u"isTVShow"_s, m.isTVShow},
        {u"showname"_s, m.showname},
        {u"showtype"_s, m.showtype},
        {u"metadata"_s, m.metadata},
        {u"season"_s, m.season},
        {u"episode"_s, m.episode},
        {u"episode2"_s, m.episode2},
        {u"showDate"_s, m.showDate},
        {u"part"_s, m.part},
        {u"parts"_s, m.parts},
        {u"subtitles"_s, subs},
        {u"frameRate"_s, streams->frameRate},
        {u"duration"_s, streams->duration},
        {u"streamsUnread"_s, streams->failure},
        {u"streams"_s, streamsOf(*streams)},
    };
}

QString textOf(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return value.toBool() ? u"true"_s : u"false"_s;
    case QJsonValue::Double: {
        const double d = value.toDouble();
        return d == std::trunc(d) ? QString::number(qint64(d)) : QString::number(d, 'g', 12);
    }
    case QJsonValue::String:
        return value.toString();
    default:
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    }
}

void print(const Fields &fields, bool json)
{
    if (json) {
        QJsonObject object;
        for (const auto &[key, value] : fields)
            object.insert(key, value);
        printOut(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
        return;
    }
    for (const auto &[key, value] : fields) {
        if (value.isArray() && key == "streams"_L1) {
            for (const QJsonValue &entry : value.toArray())
                printOut(u"stream: "_s + streamLine(entry.toObject()));
        } else if (value.isArray()) {
            // One line per subtitle: its path and language code.
            for (const QJsonValue &entry : value.toArray()) {
                const QJsonObject o = entry.toObject();
                printOut(u"subtitle: "_s + o.value(u"path"_s).toString() + u"  "_s +
                         o.value(u"ISO639"_s).toString());
            }
        } else {
            printOut(key + u": "_s + textOf(value));
        }
    }
    printOut(QString());
}

// Prints one path; false (after a message) when it cannot be shown.
bool showPath(const QString &path, bool json, double fps)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        printErr(u"lumbra-cli info: %1: no such file"_s.arg(path));
        return false;
    }
    if (info.isDir()) {
        printErr(u"lumbra-cli info: %1: is a folder"_s.arg(path));
        return false;
    }
    const bool video = isVideoType(path);
    if (!video && !isSubtitleType(path)) {
        printErr(u"lumbra-cli info: %1: neither a video nor a subtitle file"_s.arg(path));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        printErr(u"lumbra-cli info: %1: cannot read: %2"_s.arg(path, file.errorString()));
        return false;
    }

    if (video) {
        const auto movie = movieFile::create(path, subtitlesBeside(path), myPrefs::languageList());
        movie->computeMovieHash();
        print(videoFields(path, *movie), json);
    } else {
        subtitleFile sub(path);
        sub.computeSubHash();
        print(subtitleFields(path, sub, file.readAll(), fps), json);
    }
    return true;
}

} // namespace

int runInfo(const QStringList &args)
{
    bool json = false;
    double fps = 25;
    CliArguments arguments(args);
    while (arguments.nextOption()) {
        QString value;
        if (arguments.isFlag("--json"_L1)) {
            json = true;
        } else if (arguments.is("--fps"_L1)) {
            bool ok = false;
            if (arguments.takeValue(value))
                fps = value.toDouble(&ok);
            if (!ok || !(fps > 0) || !std::isfinite(fps))
                return usageError(u"info"_s, u"--fps needs a positive number, not '%1'"_s.arg(value));
        } else if (arguments.isFlag("--help"_L1) || arguments.isFlag("-h"_L1)) {
            printUsage(printOut);
            return ExitOk;
        } else {
            return usageError(u"info"_s, u"unknown option '%1'"_s.arg(arguments.written()));
        }
    }
    const QStringList &paths = arguments.paths();
    if (paths.isEmpty())
        return usageError(u"info"_s, u"no file given"_s);

    bool allShown = true;
    for (const QString &path : std::as_const(paths))
        allShown = showPath(path, json, fps) && allShown;
    return allShown ? ExitOk : ExitFailed;
}
