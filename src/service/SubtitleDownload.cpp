#include "service/SubtitleDownload.h"

#include "common/Gzip.h"
#include "common/LangModule.h"
#include "media/TempFolder.h"
#include "media/TextEncoding.h"
#include "prefs/myPrefs.h"
#include "service/HttpExchange.h"
#include "service/HttpRules.h"
#include "service/XmlRpcTransport.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <atomic>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcDownload, "lumbra.download")

namespace SubtitleDownload {

namespace {
constexpr qsizetype kMaxNameLength = 180;
std::atomic<int> g_timeoutMs{int(HttpRules::SilenceLimit.count())};
std::atomic<int> g_timeLimitMs{int(HttpRules::DownloadLimit.count())};

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
    static const QRegularExpression plain(u"^[A-Za-z0-9]{1,8}\\z"_s);
    const QString f = format.trimmed();
    if (f.compare(u"tmp"_s, Qt::CaseInsensitive) == 0)
        return u"txt"_s;
    return plain.match(f).hasMatch() ? f : u"srt"_s;
}

QString safeLanguage(const QString &code)
{
    static const QRegularExpression letters(u"^[A-Za-z]{1,3}\\z"_s);
    return letters.match(code).hasMatch() ? code : QString();
}

QString finalName(const QString &videoBase, const QString &iso639, const QString &format)
{
    return finalName(videoBase, iso639, format, myPrefs::languageInSubtitleNames());
}

QString finalName(const QString &videoBase, const QString &iso639, const QString &format, bool languageInName)
{
    QString name = videoBase;
    if (languageInName) {
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

int timeLimitMs()
{
    return g_timeLimitMs;
}

void setTimeLimitMs(int ms)
{
    g_timeLimitMs = ms;
}

namespace {

HttpRequest httpRequestOf(const Request &wanted, const std::function<bool()> &cancelled)
{
    HttpRequest request;
    request.url = wanted.url;
    request.userAgent = XmlRpcTransport::DefaultUserAgent().toUtf8();
    if (!wanted.body.isEmpty()) {
        request.verb = "POST";
        request.body = wanted.body;
        request.contentType = "text/xml";
    }
    // Packed bodies arrive as sent and are unpacked by us, within the size
    // limit: Qt's own unpacking knows nothing of our limits.
    request.headers = {{"Accept-Encoding", "gzip"}};
    request.maxBytes = wanted.maxBytes;
    request.silenceLimit = std::chrono::milliseconds(transferTimeoutMs());
    request.timeLimit = std::chrono::milliseconds(timeLimitMs());
    request.redirectScope = HttpRules::RedirectScope::NoLessSafe;
    request.dropped = cancelled;
    return request;
}

// Why a transfer brought no subtitle, or empty when it brought one.
QString failureOf(const HttpReply &reply)
{
    switch (reply.failure) {
    case HttpReply::Failure::Cancelled:
        return u"cancelled"_s;
    case HttpReply::Failure::TooLarge:
        return u"download larger than %1 bytes"_s.arg(reply.maxBytes);
    case HttpReply::Failure::Timeout:
        return u"the server sent nothing for %1 s"_s.arg(double(reply.silenceLimit.count()) / 1000.0);
    case HttpReply::Failure::TooSlow:
        return u"the download did not finish within %1 s"_s.arg(double(reply.timeLimit.count()) / 1000.0);
    case HttpReply::Failure::Redirect:
        return reply.refusedRedirect.isEmpty()
                   ? u"too many redirects"_s
                   : u"a redirect to %1, which Lumbra does not follow"_s.arg(
                         reply.refusedRedirect.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery));
    case HttpReply::Failure::Network:
        return reply.errorText;
    case HttpReply::Failure::None:
        break;
    }
    if (reply.status >= 400) // in the words Qt gives an HTTP error
        return u"Error transferring %1 - server replied: %2"_s.arg(reply.url.toString(),
                                                                   QString::fromUtf8(reply.reasonPhrase));
    if (reply.status != 200)
        return u"HTTP status %1"_s.arg(reply.status);
    return {};
}

FetchResult outcomeOf(const HttpReply &reply, bool dropped)
{
    FetchResult result;
    result.error = dropped ? u"cancelled"_s : failureOf(reply);
    result.ok = result.error.isEmpty();
    if (result.ok)
        result.body = reply.body;
    else
        qCInfo(lcDownload) << "download of" << reply.url.toDisplayString() << "failed:" << result.error;
    return result;
}

} // namespace

void runTransfers(int inFlight, const std::function<std::optional<Transfer>()> &next,
                  const std::function<bool()> &cancelled)
{
    // One manager for the whole run: it keeps the connections to a host
    // alive and hands them to the next transfer.
    QNetworkAccessManager manager;
    QObject exchanges; // goes before the manager, with every exchange left
    QEventLoop loop;
    int running = 0;
    bool dropped = cancelled && cancelled();
    bool exhausted = false; // `next` had nothing at its last asking

    std::function<void()> startMore = [&] {
        exhausted = false;
        while (!dropped && running < qMax(1, inFlight)) {
            std::optional<Transfer> transfer = next();
            if (!transfer) {
                exhausted = true;
                return;
            }
            if (!HttpRules::isWebAddress(transfer->request.url)) {
                // Settled at once, without a request; `finished` may queue more.
                const FetchResult refused{false, {}, u"the link is not a web address"_s};
                if (transfer->finished)
                    transfer->finished(refused);
                continue;
            }
            auto *exchange =
                new HttpExchange(&manager, httpRequestOf(transfer->request, cancelled), &exchanges);
            ++running;
            QObject::connect(
                exchange, &HttpExchange::finished, &loop,
                [&, exchange, done = std::move(transfer->finished)](const HttpReply &reply) {
                    --running;
                    exchange->deleteLater();
                    dropped = dropped || reply.failure == HttpReply::Failure::Cancelled;
                    const FetchResult result = outcomeOf(reply, dropped);
                    startMore(); // the next request goes out before this one's content is handled
                    if (done)
                        done(result);
                    if (!dropped)
                        startMore(); // what `finished` may have added
                    if (running == 0 && (dropped || exhausted))
                        loop.quit();
                });
            exchange->start();
        }
    };
    startMore();
    if (running > 0)
        loop.exec();
}

void fetchAll(const QList<QUrl> &urls, qsizetype maxBytes, int inFlight,
              const std::function<bool(int)> &begin,
              const std::function<void(int, const FetchResult &)> &finished,
              const std::function<bool()> &cancelled)
{
    int next = 0;
    runTransfers(
        inFlight,
        [&]() -> std::optional<Transfer> {
            while (next < urls.size()) {
                const int index = next++;
                if (begin && !begin(index))
                    continue;
                return Transfer{{urls[index], {}, maxBytes}, [&finished, index](const FetchResult &result) {
                                    if (finished)
                                        finished(index, result);
                                }};
            }
            return std::nullopt;
        },
        cancelled);
}

FetchResult fetch(const QUrl &url, qsizetype maxBytes, const std::function<bool()> &cancelled)
{
    FetchResult result;
    result.error = u"cancelled"_s;
    fetchAll(
        {url}, maxBytes, 1, {}, [&](int, const FetchResult &fetched) { result = fetched; }, cancelled);
    return result;
}

bool looksLikeMarkup(const QByteArray &content)
{
    // Looked for in place: this runs on every subtitle, twice.
    const auto startsWithAt = [&](qsizetype at, const char *what, qsizetype length) {
        return content.size() - at >= length && qstrnicmp(content.constData() + at, what, length) == 0;
    };
    if (startsWithAt(0, "<!doctype", 9))
        return true;
    if (content.size() < 10)
        return false;
    for (qsizetype at = content.indexOf('<'); at >= 0; at = content.indexOf('<', at + 1)) {
        if (startsWithAt(at, "<?xml", 5))
            return true;
    }
    return false;
}

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("SubtitleCheck", text);
}

// Text has no control characters besides tabs, line and page breaks; a
// binary file decoded as Latin-1 is full of them.
bool readsAsText(const QByteArray &bytes)
{
    const QString text = decodeText(bytes);
    return std::none_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.category() == QChar::Other_Control && c != u'\t' && c != u'\n' && c != u'\r' && c != u'\f';
    });
}

// Whether the text holds one cue of its format, where the format's cues are
// known; other formats pass.
bool hasCue(const QString &text, const QString &format)
{
    static const QRegularExpression microDvd(u"^\\{\\d+\\}\\{\\d*\\}"_s, QRegularExpression::MultilineOption);
    static const QRegularExpression subViewer(u"\\d+:\\d\\d:\\d\\d\\.\\d+,\\d+:\\d\\d:\\d\\d\\.\\d+"_s);
    const QString f = format.toLower();
    if (f == "srt"_L1 || f == "vtt"_L1)
        return text.contains("-->"_L1);
    if (f == "ass"_L1 || f == "ssa"_L1)
        return text.contains("Dialogue:"_L1, Qt::CaseInsensitive);
    if (f == "sub"_L1)
        return microDvd.match(text).hasMatch() || subViewer.match(text).hasMatch();
    return true;
}

} // namespace

QString contentRefusal(const QByteArray &content, const QString &format)
{
    if (content.isEmpty())
        return tr("it is empty");
    if (!readsAsText(content.left(64 * 1024)))
        return tr("it is not text");
    if (!hasCue(decodeText(content), format))
        return tr("it holds no subtitle cue");
    return {};
}

std::optional<QByteArray> readyContent(const QByteArray &body, const QString &format, QString *why)
{
    QByteArray content = body;
    // Servers send packed files whatever they declare; one more layer of
    // packing (a packed file sent packed) is unpacked too.
    for (int layer = 0; layer < 2 && Gzip::hasMagic(content); ++layer) {
        QString reason;
        std::optional<QByteArray> unpacked = Gzip::gunzip(content, kMaxSubtitleBytes, &reason);
        if (!unpacked) {
            *why = u"the subtitle could not be unpacked: "_s + reason;
            return std::nullopt;
        }
        content = std::move(*unpacked);
    }
    if (content.size() > kMaxSubtitleBytes) {
        *why = u"the subtitle is larger than %1 bytes"_s.arg(kMaxSubtitleBytes);
        return std::nullopt;
    }
    if (looksLikeMarkup(content)) {
        *why = u"the service sent a web page instead of a subtitle"_s;
        return std::nullopt;
    }
    if (const QString refusal = contentRefusal(content, format); !refusal.isEmpty()) {
        *why = u"the service sent a file that is not a subtitle: "_s + refusal;
        return std::nullopt;
    }
    return content;
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

// Writes a new file (never an existing one) and flushes it to the disk once;
// on any failure nothing is left.
bool writeDurably(const QString &path, const QByteArray &content, QString *why)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        *why = file.errorString();
        return false;
    }
    const bool written =
        file.write(content) == content.size() && file.flush() && ::fdatasync(file.handle()) == 0;
    const int err = errno;
    file.close();
    if (!written || file.error() != QFileDevice::NoError) {
        *why = file.error() != QFileDevice::NoError ? file.errorString()
                                                    : QString::fromLocal8Bit(std::strerror(err));
        QFile::remove(path);
        return false;
    }
    return true;
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

// Whether `target` already holds exactly `content`: then placing it would
// only put an identical copy in the trash, so nothing is done.
bool holdsSameBytes(const QString &target, const QByteArray &content)
{
    QFile file(target);
    if (file.size() != content.size() || !file.open(QIODevice::ReadOnly))
        return false;
    return file.readAll() == content;
}

bool folderChanged(const QFileInfo &target, const FolderIdentity &expected)
{
    return expected.changedAt(target.absolutePath());
}

PlacementResult copyFailed(const QString &why)
{
    return {Placement::CopyFailed, why, {}, false};
}

} // namespace

PlacementResult placeKeepingPrevious(const QString &source, const QString &target,
                                     const FolderIdentity &folder)
{
    const QFileInfo targetInfo(target);
    if (!QFileInfo(targetInfo.absolutePath()).isWritable())
        return {Placement::FolderNotWritable, {}, {}, false};
    if (QFileInfo(source).canonicalFilePath() == targetInfo.canonicalFilePath())
        return {Placement::Placed, {}, {}, false}; // a preview copy reused in place
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly))
        return copyFailed(file.errorString());
    if (file.size() > kMaxSubtitleBytes)
        return copyFailed(u"the file is larger than %1 bytes"_s.arg(kMaxSubtitleBytes));
    const QByteArray content = file.readAll();
    if (content.size() != file.size())
        return copyFailed(file.errorString());
    return placeKeepingPrevious(content, target, folder);
}

PlacementResult placeKeepingPrevious(const QByteArray &content, const QString &target,
                                     const FolderIdentity &folder)
{
    const QFileInfo targetInfo(target);
    if (folderChanged(targetInfo, folder))
        return {Placement::FolderChanged, {}, {}, false};
    if (!QFileInfo(targetInfo.absolutePath()).isWritable())
        return {Placement::FolderNotWritable, {}, {}, false};
    if (targetInfo.isFile() && holdsSameBytes(target, content))
        return {Placement::Placed, {}, {}, false};

    // The new subtitle is complete beside the target before the old one is
    // touched, and the final step is a rename within the folder.
    const QString staging = freeStagingName(targetInfo);
    QString why;
    if (!writeDurably(staging, content, &why))
        return copyFailed(why);
    // Looked at again once the file is written: the folder must not have
    // been swapped while it was (the old subtitle would go from elsewhere).
    if (folderChanged(targetInfo, folder)) {
        QFile::remove(staging);
        return {Placement::FolderChanged, {}, {}, false};
    }

    PlacementResult result{Placement::Placed, {}, {}, false};
    if (targetInfo.exists() || targetInfo.isSymLink()) {
        if (const QString inTrash = moveToTrash(target); !inTrash.isEmpty()) {
            result.keptAt = inTrash;
            result.inTrash = true;
        } else {
            const QString backup = freeBackupName(targetInfo);
            if (::rename(QFile::encodeName(target).constData(), QFile::encodeName(backup).constData()) != 0) {
                why = QString::fromLocal8Bit(std::strerror(errno));
                QFile::remove(staging);
                return copyFailed(why);
            }
            result.keptAt = backup;
        }
    }
    if (::rename(QFile::encodeName(staging).constData(), QFile::encodeName(target).constData()) != 0) {
        why = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(staging);
        if (!result.keptAt.isEmpty())
            QFile::rename(result.keptAt, target);
        return copyFailed(why);
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
