#include "download/QuotaWaitList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;

namespace {
Q_LOGGING_CATEGORY(lcWaiting, "lumbra.download.quota")

// Far more than a day's quota of any account: a larger file is not ours.
constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024;

bool sameEntry(const WaitingDownload &a, const QString &video, const QString &lang)
{
    return a.video == video && a.lang == lang;
}
} // namespace

QuotaWaitList::QuotaWaitList(QString path)
    : m_path(std::move(path))
{
}

QString QuotaWaitList::defaultPath()
{
    // One list for the window and lumbra-cli, whose application names (and
    // so their own data folders) differ.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           u"/lumbra/quota-waiting.json"_s;
}

QList<WaitingDownload> QuotaWaitList::all() const
{
    QFile file(m_path);
    if (!QFileInfo(m_path).isFile() || !file.open(QIODevice::ReadOnly))
        return {};
    QJsonParseError error{};
    const QJsonDocument document = file.size() > kMaxFileBytes
                                       ? QJsonDocument()
                                       : QJsonDocument::fromJson(file.read(kMaxFileBytes), &error);
    if (!document.isArray()) {
        qCWarning(lcWaiting).noquote()
            << "ignoring the damaged list of downloads waiting for the quota" << m_path;
        return {};
    }
    QList<WaitingDownload> entries;
    for (const QJsonValue &value : document.array()) {
        const QJsonObject o = value.toObject();
        WaitingDownload entry{o.value("video"_L1).toString(), o.value("lang"_L1).toString(),
                              o.value("file_id"_L1).toInt(),
                              QDateTime::fromString(o.value("renews"_L1).toString(), Qt::ISODate)};
        if (!entry.video.isEmpty() && !entry.lang.isEmpty() && entry.fileId > 0 && entry.renews.isValid())
            entries.append(entry);
    }
    return entries;
}

QList<WaitingDownload> QuotaWaitList::due(const QDateTime &nowUtc) const
{
    QList<WaitingDownload> entries = all();
    entries.removeIf([&](const WaitingDownload &entry) { return entry.renews > nowUtc; });
    return entries;
}

QList<WaitingDownload> QuotaWaitList::offerable(const QDateTime &nowUtc) const
{
    QList<WaitingDownload> entries = all();
    const qsizetype gone =
        entries.removeIf([](const WaitingDownload &entry) { return !QFileInfo(entry.video).isFile(); });
    if (gone > 0) {
        qCInfo(lcWaiting) << gone << "downloads waiting for the quota are dropped: their videos are gone";
        write(entries);
    }
    entries.removeIf([&](const WaitingDownload &entry) { return entry.renews > nowUtc; });
    return entries;
}

void QuotaWaitList::add(const QList<WaitingDownload> &added) const
{
    if (added.isEmpty())
        return;
    QList<WaitingDownload> entries = all();
    for (const WaitingDownload &entry : added) {
        entries.removeIf([&](const WaitingDownload &old) { return sameEntry(old, entry.video, entry.lang); });
        entries.append(entry);
    }
    write(entries);
}

void QuotaWaitList::remove(const QString &video, const QString &lang) const
{
    QList<WaitingDownload> entries = all();
    if (entries.removeIf([&](const WaitingDownload &old) { return sameEntry(old, video, lang); }) > 0)
        write(entries);
}

void QuotaWaitList::write(const QList<WaitingDownload> &entries) const
{
    QJsonArray array;
    for (const WaitingDownload &entry : entries)
        array.append(QJsonObject{{u"video"_s, entry.video},
                                 {u"lang"_s, entry.lang},
                                 {u"file_id"_s, entry.fileId},
                                 {u"renews"_s, entry.renews.toUTC().toString(Qt::ISODate)}});
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(array).toJson()) < 0 || !file.commit())
        qCWarning(lcWaiting).noquote() << "cannot save the downloads waiting for the quota in" << m_path;
}

QDateTime QuotaWaitList::nextRenewal(const QDateTime &nowUtc)
{
    return QDateTime(nowUtc.toUTC().date().addDays(1), QTime(0, 0), Qt::UTC);
}

QString QuotaWaitList::renewsAt(const QDateTime &renewsUtc)
{
    return u"renews at %1"_s.arg(renewsUtc.toLocalTime().toString(u"HH:mm"_s));
}

QString QuotaWaitList::waitingText(const QDateTime &renewsUtc)
{
    return u"waiting for tomorrow's quota (%1)"_s.arg(renewsAt(renewsUtc));
}
