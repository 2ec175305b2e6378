#include "service/SubtitleDownload.h"

#include "common/LangModule.h"
#include "media/functions.h"
#include "prefs/myPrefs.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QStandardPaths>
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
    if (myPrefs::languageInSubtitleNames()) {
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

namespace {

// "~Movie.en.srt", then "~Movie.en (2).srt" and on: the first name beside
// `target` that nothing holds yet, so an earlier backup is never overwritten.
QString freeBackupName(const QFileInfo &target)
{
    const QString folder = target.absolutePath() + u'/';
    const QString name = target.fileName();
    QString backup = folder + u'~' + name;
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    for (int n = 2; QFileInfo::exists(backup) || QFileInfo(backup).isSymLink(); ++n)
        backup = folder + u'~' + stem + u" (%1)"_s.arg(n) + extension;
    return backup;
}

// A hidden name beside `target` that nothing holds yet, for the new subtitle
// while it is being written.
QString freeStagingName(const QFileInfo &target)
{
    const QString base = target.absolutePath() + u"/.lumbra-new-"_s + target.fileName();
    QString staging = base;
    for (int n = 2; QFileInfo::exists(staging) || QFileInfo(staging).isSymLink(); ++n)
        staging = base + u'-' + QString::number(n);
    return staging;
}

// Whether the desktop's trash in the user's data folder can take files. Qt
// falls back to this trash for files it cannot trash on their own volume,
// and when this one cannot be made it files them under the working folder
// instead: so without it we never call it.
bool homeTrashAvailable()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return !data.isEmpty() && QDir().mkpath(data + u"/Trash"_s);
}

// Moves `path` to the trash; returns where it went, or empty when it could
// not go there (and then it is still at `path`).
QString moveToTrash(const QString &path)
{
    if (!homeTrashAvailable())
        return {};
    QString inTrash;
    if (!QFile::moveToTrash(path, &inTrash))
        return {};
    if (QFileInfo(inTrash).isAbsolute())
        return inTrash;
    QFile::rename(inTrash, path); // not a trash after all: put it back
    return {};
}

} // namespace

PlacementResult placeKeepingPrevious(const QString &source, const QString &target)
{
    const QFileInfo targetInfo(target);
    if (!QFileInfo(targetInfo.absolutePath()).isWritable())
        return {Placement::FolderNotWritable, {}, false};
    if (QFileInfo(source).canonicalFilePath() == targetInfo.canonicalFilePath())
        return {Placement::Placed, {}, false}; // a preview copy reused in place

    // The new subtitle is complete beside the target before the old one is
    // touched, and the final step is a rename within the folder.
    const QString staging = freeStagingName(targetInfo);
    if (!QFile::copy(source, staging) || QFileInfo(staging).size() != QFileInfo(source).size()) {
        QFile::remove(staging);
        return {Placement::CopyFailed, {}, false};
    }

    PlacementResult result{Placement::Placed, {}, false};
    if (targetInfo.exists() || targetInfo.isSymLink()) {
        if (const QString inTrash = moveToTrash(target); !inTrash.isEmpty()) {
            result.keptAt = inTrash;
            result.inTrash = true;
        } else {
            const QString backup = freeBackupName(targetInfo);
            if (!QFile::rename(target, backup)) {
                QFile::remove(staging);
                return {Placement::CopyFailed, {}, false};
            }
            result.keptAt = backup;
        }
    }
    if (!QFile::rename(staging, target)) {
        QFile::remove(staging);
        if (!result.keptAt.isEmpty())
            QFile::rename(result.keptAt, target);
        return {Placement::CopyFailed, {}, false};
    }
    return result;
}

QString replacementNote(const PlacementResult &placement)
{
    if (placement.keptAt.isEmpty())
        return {};
    if (placement.inTrash)
        return u"the previous subtitle is in the trash"_s;
    return u"the previous subtitle is kept as %1"_s.arg(placement.keptAt);
}

} // namespace SubtitleDownload
