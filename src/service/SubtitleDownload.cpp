#include "service/SubtitleDownload.h"

#include "media/functions.h"
#include "prefs/LangModule.h"
#include "prefs/myPrefs.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTimer>

#include <atomic>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcDownload, "lumbra.download")

namespace SubtitleDownload {

namespace {
constexpr qsizetype kMaxNameLength = 180;
std::atomic<int> g_timeoutMs{40000};

// Removes the private temporary folder when the program ends.
struct TempDirOwner {
    QString path = getTempDir();
    ~TempDirOwner()
    {
        if (!path.isEmpty())
            QDir(path).removeRecursively();
    }
};
} // namespace

QString safeLeafName(const QString &name)
{
    QString leaf = name.section(u'/', -1).section(u'\\', -1);
    leaf.removeIf([](QChar c) { return c.category() == QChar::Other_Control || c.isNull(); });
    leaf = leaf.trimmed();
    if (leaf.size() > kMaxNameLength)
        leaf.truncate(kMaxNameLength);
    if (leaf.isEmpty() || leaf == "."_L1 || leaf == ".."_L1)
        return u"subtitle"_s;
    return leaf;
}

QString safeFormat(const QString &format)
{
    static const QRegularExpression plain(u"^[A-Za-z0-9]{1,8}$"_s);
    const QString f = format.trimmed();
    if (f.compare(u"tmp"_s, Qt::CaseInsensitive) == 0)
        return u"txt"_s;
    return plain.match(f).hasMatch() ? f : u"srt"_s;
}

QString safeLanguage(const QString &code)
{
    static const QRegularExpression letters(u"^[A-Za-z]{1,3}$"_s);
    return letters.match(code).hasMatch() ? code : QString();
}

QString finalName(const QString &videoBase, const QString &iso639, const QString &format)
{
    QString name = videoBase;
    if (myPrefs::addLanguageExt()) {
        const QString two = LangModule::getLangTwo(iso639);
        if (!two.isEmpty())
            name += u'.' + two;
    }
    return name + u'.' + format;
}

QString applicationTempDir()
{
    static const TempDirOwner owner;
    return owner.path;
}

int transferTimeoutMs()
{
    return g_timeoutMs;
}

void setTransferTimeoutMs(int ms)
{
    g_timeoutMs = ms;
}

FetchResult fetch(const QUrl &url, qsizetype maxBytes, const std::function<bool()> &cancelled)
{
    FetchResult result;
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setTransferTimeout(transferTimeoutMs());
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    QNetworkReply *reply = manager.get(request);

    QEventLoop loop;
    bool tooBig = false;
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        result.body += reply->readAll();
        if (result.body.size() > maxBytes) {
            tooBig = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    bool dropped = false;
    QTimer watch;
    if (cancelled) {
        watch.setInterval(100);
        QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
            if (cancelled()) {
                dropped = true;
                reply->abort();
            }
        });
        watch.start();
    }
    if (cancelled && cancelled() && !reply->isFinished()) {
        dropped = true;
        reply->abort();
    }
    if (!reply->isFinished())
        loop.exec();
    watch.stop();

    if (!tooBig)
        result.body += reply->readAll();
    const int httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (dropped)
        result.error = u"cancelled"_s;
    else if (tooBig)
        result.error = u"download larger than %1 bytes"_s.arg(maxBytes);
    else if (reply->error() != QNetworkReply::NoError)
        result.error = reply->errorString();
    else if (httpStatus != 200)
        result.error = u"HTTP status %1"_s.arg(httpStatus);
    else
        result.ok = true;
    reply->deleteLater();
    if (!result.ok)
        qCInfo(lcDownload) << "download of" << url.toDisplayString() << "failed:" << result.error;
    return result;
}

bool looksLikeMarkup(const QByteArray &content)
{
    return (content.size() >= 10 && content.toLower().contains("<?xml")) ||
           content.left(9).toLower() == "<!doctype";
}

Placement placeWithBackup(const QString &source, const QString &target)
{
    const QFileInfo targetInfo(target);
    if (!QFileInfo(targetInfo.absolutePath()).isWritable())
        return Placement::FolderNotWritable;
    if (QFileInfo(source).canonicalFilePath() == targetInfo.canonicalFilePath())
        return Placement::Placed; // a preview copy reused in place

    // A stale backup from an interrupted run is someone's subtitle too: pick a
    // free backup name rather than overwrite it.
    QString backup = targetInfo.absolutePath() + u"/~"_s + targetInfo.fileName();
    while (QFileInfo::exists(backup))
        backup = targetInfo.absolutePath() + u"/~"_s + QFileInfo(backup).fileName();

    const bool hadTarget = targetInfo.exists();
    if (hadTarget && !QFile::rename(target, backup)) {
        if (!QFile::copy(target, backup) || !QFile::remove(target))
            return Placement::CopyFailed;
    }

    const bool copied = QFile::copy(source, target) && QFileInfo(target).size() == QFileInfo(source).size();
    if (copied) {
        if (hadTarget)
            QFile::remove(backup);
        return Placement::Placed;
    }
    QFile::remove(target);
    if (hadTarget)
        QFile::rename(backup, target);
    return Placement::CopyFailed;
}

} // namespace SubtitleDownload
