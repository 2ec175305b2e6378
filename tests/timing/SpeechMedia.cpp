#include "SpeechMedia.h"

#include "media/MovieHash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

SpeechMedia SpeechMedia::make(const QString &folder, const QStringList &arguments)
{
    QProcess maker;
    maker.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    maker.start(u"python3"_s, QStringList{QStringLiteral(LUMBRA_SOURCE_DIR "/tests/timing/speech_case.py"),
                                          u"--out"_s, folder} +
                                  arguments);
    if (!maker.waitForFinished(120'000) || maker.exitStatus() != QProcess::NormalExit ||
        maker.exitCode() != 0)
        qFatal("speech_case.py failed; are espeak-ng and ffmpeg installed?");
    QFile truthFile(folder + u"/truth.json"_s);
    if (!truthFile.open(QIODevice::ReadOnly))
        qFatal("speech_case.py left no truth.json");
    const QJsonObject truth = QJsonDocument::fromJson(truthFile.readAll()).object();
    SpeechMedia media;
    media.video = truth.value(u"video"_s).toString();
    for (const QJsonValue &cue : truth.value(u"cues"_s).toArray()) {
        const QJsonObject o = cue.toObject();
        media.cues.append({o.value(u"start"_s).toDouble(), o.value(u"end"_s).toDouble(),
                           o.value(u"kind"_s).toString() == "speech"_L1});
    }
    return media;
}

QList<double> srtCueStarts(const QString &path)
{
    QFile file(path);
    QList<double> starts;
    if (!file.open(QIODevice::ReadOnly))
        return starts;
    static const QRegularExpression start(u"^(\\d+):(\\d+):(\\d+),(\\d+) -->"_s,
                                          QRegularExpression::MultilineOption);
    for (auto it = start.globalMatch(QString::fromUtf8(file.readAll())); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        starts.append(m.captured(1).toDouble() * 3600 + m.captured(2).toDouble() * 60 +
                      m.captured(3).toDouble() + m.captured(4).toDouble() / 1000);
    }
    return starts;
}

QByteArray catalogueOfOneFilm(const QString &video, const QString &subtitle)
{
    QFile content(subtitle);
    if (!content.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(subtitle));
    const QJsonObject served{{u"lang"_s, u"eng"_s},
                             {u"file"_s, u"Film.en.srt"_s},
                             {u"content"_s, QString::fromUtf8(content.readAll())},
                             {u"rating"_s, u"7.0"_s}};
    const QJsonObject movie{{u"name"_s, u"Film"_s},
                            {u"hash"_s, XMLRPC::computeMovieHash(video).hash},
                            {u"bytesize"_s, QFileInfo(video).size()},
                            {u"subtitles"_s, QJsonArray{served}}};
    return QJsonDocument(QJsonObject{{u"movies"_s, QJsonArray{movie}}}).toJson();
}

QString SpeechMedia::copyAsFilm(const QString &folder) const
{
    const QString copy = folder + u"/Film.mkv"_s;
    if (!QDir().mkpath(folder) || !QFile::copy(video, copy))
        qFatal("cannot copy the test video into %s", qPrintable(folder));
    return copy;
}
