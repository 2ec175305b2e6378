#include "download/gui/DownloadList.h"

#include "controls/omiListbox.h"
#include "controls/Theme.h"
#include "media/movieFile.h"
#include "media/NaturalOrder.h"
#include "media/subtitleFile.h"
#include "service/DownloadQueue.h"
#include "service/JobRecords.h"
#include "service/openSubtitleItem.h"
#include "service/ResultChecks.h"

#include <QHash>
#include <QLocale>
#include <QMutexLocker>
#include <QPointer>
#include <QTimer>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

const QString DownloadList::KindMovie = u"movieFile"_s;
const QString DownloadList::KindGroup = u"FoundMatchedMovie"_s;
const QString DownloadList::KindResult = u"FoundSub"_s;
const QString DownloadList::KindQueued = u"QueuedSub"_s;

namespace {
using MoviePtr = std::shared_ptr<movieFile>;
using ResultPtr = std::shared_ptr<openSubtitleItem>;

// Match level of one result: 1 found by movie hash, 2 by another named
// method, 3 otherwise.
int matchLevel(const openSubtitleItem &result)
{
    if (result.MatchedBy.compare("moviehash"_L1, Qt::CaseInsensitive) == 0)
        return 1;
    return result.MatchedBy.isEmpty() ? 3 : 2;
}

QString padded(const QString &text)
{
    // Zeros in front up to ten characters; a longer text is kept whole.
    return text.rightJustified(10, u'0');
}
} // namespace

DownloadList::DownloadList(omiListbox *list, JobRecords &records, QObject *parent)
    : QObject(parent)
    , m_list(list)
    , m_records(records)
    , m_session(records.session())
{
    connect(m_list, &omiListbox::expandRow, this, &DownloadList::openGroup);
    connect(m_list, &omiListbox::cellDoubleClick, this, [this](int row, int) {
        if (isKind(row, KindGroup))
            setGroupOpen(row, !m_list->expanded(row));
    });
    connect(m_list, &omiListbox::change, this, [this] {
        const QList<int> selected = m_list->selectedRows();
        if (selected.size() == 1)
            m_clickedRow = selected.first();
    });
    m_list->setCellClick(
        [this](int row, int column, const QPoint &inCell) { return cellClick(row, column, inCell); });
}

QString DownloadList::mode() const
{
    return m_list->mode;
}

bool DownloadList::gotResults() const
{
    return m_list->gotResults;
}

QString DownloadList::kindAt(int row) const
{
    return m_list->cellTag(row, 0).toString();
}

void DownloadList::setSearchFailure(const QString &reason)
{
    if (reason == m_searchFailure)
        return;
    m_searchFailure = reason;
    Q_EMIT refreshNeeded();
}

QString DownloadList::videoRowText(const QString &name, const QString &failure)
{
    return failure.isEmpty() ? name : tr("%1 — search failed: %2").arg(name, failure);
}

QString DownloadList::rowText(int row) const
{
    if (isKind(row, KindMovie))
        return videoRowText(m_list->cell(row, 0), m_searchFailure);
    if (!isKind(row, KindQueued))
        return withFlagMeanings(m_list->cell(row, 0), resultAt(row));
    const MoviePtr entry = movieAt(row);
    const ResultPtr result = resultAt(row);
    if (!entry || !result)
        return {};
    const QMutexLocker guard(&m_session->stateLock());
    return DownloadQueue::rowText(*entry, *result);
}

// A result's marks ([HI], [MT], [forced]) said in words under its text.
QString DownloadList::withFlagMeanings(const QString &text, const ResultPtr &result) const
{
    if (!result)
        return text;
    const QMutexLocker guard(&m_session->stateLock());
    const QString meanings = result->flagMeanings();
    return meanings.isEmpty() ? text : text + u'\n' + meanings;
}

bool DownloadList::isKind(int row, const QString &kind) const
{
    return kindAt(row).compare(kind, Qt::CaseInsensitive) == 0;
}

std::shared_ptr<movieFile> DownloadList::movieAt(int row) const
{
    return m_list->rowTag(row).value<MoviePtr>();
}

std::shared_ptr<openSubtitleItem> DownloadList::resultAt(int row) const
{
    if (isKind(row, KindQueued))
        return m_list->cellTag(row, m_columnInfo).value<ResultPtr>();
    return m_list->rowTag(row).value<ResultPtr>();
}

int DownloadList::rowOf(const std::shared_ptr<movieFile> &record) const
{
    for (int row = 0; record && row < m_list->rowCount(); ++row) {
        if (movieAt(row) == record)
            return row;
    }
    return -1;
}

int DownloadList::rowOf(const std::shared_ptr<openSubtitleItem> &result) const
{
    for (int row = 0; result && row < m_list->rowCount(); ++row) {
        if (m_list->rowTag(row).value<ResultPtr>() == result)
            return row;
    }
    return -1;
}

DownloadList::RowRecord DownloadList::recordAt(int row) const
{
    RowRecord record;
    if (row < 0 || row >= m_list->rowCount())
        return record;
    record.row = row;
    record.kind = kindAt(row);
    record.result = resultAt(row);
    record.movie = movieAt(row);
    if (!record.movie && record.result) {
        const QMutexLocker guard(&m_session->stateLock());
        record.movie = record.result->movieFile.lock();
    }
    return record;
}

QList<DownloadList::RowRecord> DownloadList::selectedRecords() const
{
    QList<RowRecord> records;
    const QList<int> selected = m_list->selectedRows();
    for (int row : selected)
        records.append(recordAt(row));
    return records;
}

void DownloadList::setColumns(int count, const QString &widths, int main, int info, int check)
{
    m_list->setColumnWidths(widths);
    m_list->setColumnCount(count);
    m_columnMain = main;
    m_columnInfo = info;
    m_columnCheck = check;
}

void DownloadList::addRowWithKind(int at, const QStringList &cells, const QVariant &tag, const QString &kind)
{
    m_list->insertRow(at, cells, tag);
    m_list->setCellTag(at, 0, kind);
}

// --- "files" -----------------------------------------------------------------

void DownloadList::showFiles()
{
    m_list->deleteAllRows();
    setColumns(2, u"*,32"_s, 0, 0, 1);
    m_list->mode = u"files"_s;
    m_list->gotResults = false;
}

bool DownloadList::showNewRecords(const QList<std::shared_ptr<movieFile>> &fresh)
{
    if (fresh.isEmpty())
        return false;
    for (const MoviePtr &record : std::as_const(fresh)) {
        // Sorted by the check column's text, the full path, as people order
        // names; a new row goes after the rows with the same path, as a
        // stable sort would put it.
        const QString path = record->path();
        int at = m_list->rowCount();
        int low = 0;
        while (low < at) {
            const int mid = (low + at) / 2;
            if (naturalLess(path, m_list->cell(mid, m_columnCheck)))
                at = mid;
            else
                low = mid + 1;
        }
        addRowWithKind(at, {record->movieFileName(), path}, QVariant::fromValue(record), KindMovie);
    }
    Q_EMIT refreshNeeded();
    return true;
}

bool DownloadList::hasCheckedVideos() const
{
    const QMutexLocker guard(&m_session->stateLock());
    for (int row = 0; row < m_list->rowCount(); ++row) {
        const MoviePtr record = movieAt(row);
        if (record && record->isChecked)
            return true;
    }
    return false;
}

void DownloadList::removeUncheckedRows()
{
    QList<int> unchecked;
    {
        const QMutexLocker guard(&m_session->stateLock());
        for (int row = 0; row < m_list->rowCount(); ++row) {
            const MoviePtr record = movieAt(row);
            if (record && !record->isChecked)
                unchecked.append(row);
        }
    }
    for (qsizetype i = unchecked.size() - 1; i >= 0; --i) {
        const int row = unchecked[i];
        const QString path = movieAt(row)->path();
        {
            const QMutexLocker guard(&m_session->stateLock());
            auto &records = m_records.movieFiles;
            for (qsizetype j = records.size() - 1; j >= 0; --j) {
                if (records[j]->path() == path)
                    records.removeAt(j);
            }
        }
        m_list->removeRow(row);
    }
}

// --- "subs" ------------------------------------------------------------------

QString DownloadList::resultOrderKey(const openSubtitleItem &result)
{
    const int rank = 4 - matchLevel(result);
    return QStringList{padded(result.ISO639),
                       result.myBest ? u"1"_s : u"0"_s,
                       QString::number(rank),
                       padded(QString::number(result.myRating)),
                       padded(QString::number(result.SubRating, 'g', QLocale::FloatingPointShortest)),
                       padded(QString::number(result.SubDownloadsCnt))}
        .join(u'-');
}

void DownloadList::listSearchResults(const QList<DownloadJob::LanguageGroup> &groups)
{
    m_list->deleteAllRows();
    m_list->rows.clear();
    setColumns(3, u"*,32,32"_s, 0, 1, 2);
    m_list->mode = u"subs"_s;

    // A video's language groups stay together, in the wanted languages'
    // order: the video is placed by its best match (hash matches first, then
    // other matches, then videos without one) and by name, as people order
    // names; videos of the same name keep the order they were listed in.
    struct Entry {
        int videoLevel;
        QString name;
        int videoOrder;
        MoviePtr group;
        bool open;
    };
    QList<Entry> entries;
    {
        const QMutexLocker guard(&m_session->stateLock());
        QHash<const movieFile *, int> videoLevel;
        QHash<const movieFile *, int> videoOrder;
        for (const DownloadJob::LanguageGroup &entry : groups) {
            if (!entry.group)
                continue;
            const movieFile *video = entry.video ? entry.video.get() : entry.group.get();
            videoOrder.insert(video, videoOrder.value(video, int(videoOrder.size())));
            const auto level = videoLevel.constFind(video);
            videoLevel.insert(video, level == videoLevel.cend() ? entry.group->matchedby
                                                                : std::min(*level, entry.group->matchedby));
        }
        for (const DownloadJob::LanguageGroup &entry : groups) {
            if (!entry.group)
                continue;
            const movieFile *video = entry.video ? entry.video.get() : entry.group.get();
            const auto results = entry.group->subtitleResults();
            const bool hasBest =
                std::any_of(results.cbegin(), results.cend(), [](const ResultPtr &r) { return r->myBest; });
            entries.append({videoLevel.value(video), entry.group->movieFileName(), videoOrder.value(video),
                            entry.group, !hasBest});
        }
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        if (a.videoLevel != b.videoLevel)
            return a.videoLevel < b.videoLevel;
        if (a.name != b.name)
            return naturalLess(a.name, b.name);
        return a.videoOrder < b.videoOrder;
    });
    m_moviefilesMatched.clear();
    for (const Entry &entry : std::as_const(entries)) {
        m_moviefilesMatched.append(entry.group);
        const int row = m_list->addFolder({entry.group->movieFileName(), u" "_s, u" "_s},
                                          QVariant::fromValue(entry.group));
        m_list->setCellTag(row, 0, KindGroup);
        if (entry.open)
            setGroupOpen(row, true);
    }
    m_list->gotResults = true;
    m_list->setFocus();
    Q_EMIT refreshNeeded();
}

void DownloadList::setGroupOpen(int row, bool open)
{
    if (!isKind(row, KindGroup))
        return;
    const MoviePtr group = movieAt(row);
    if (open && (!group || group->subtitleResults().isEmpty()))
        return;
    m_list->setExpanded(row, open);
    Q_EMIT refreshNeeded();
}

void DownloadList::openGroup(int row)
{
    if (m_list->mode.compare("subs"_L1, Qt::CaseInsensitive) != 0 || !isKind(row, KindGroup))
        return;
    const MoviePtr group = movieAt(row);
    if (!group)
        return;
    // The first subtitle beside the video: hashing it reads the file, so
    // before the lock.
    const auto locals = group->subtitles();
    const QString localHash = locals.isEmpty() || !locals.first() ? QString() : locals.first()->subHash();

    QList<std::pair<ResultPtr, QString>> shown;
    {
        const QMutexLocker guard(&m_session->stateLock());
        auto results = group->subtitleResults();
        QList<std::pair<QString, ResultPtr>> keyed;
        for (const ResultPtr &result : std::as_const(results))
            keyed.append({resultOrderKey(*result), result});
        std::stable_sort(keyed.begin(), keyed.end(),
                         [](const auto &a, const auto &b) { return a.first > b.first; });
        results.clear();
        for (const auto &[key, result] : std::as_const(keyed))
            results.append(result);
        group->setSubtitleResults(results);

        const qlonglong filter = group->filterBy.trimmed().toLongLong();
        for (const ResultPtr &result : std::as_const(results)) {
            if (filter > 0 && result->IDMovieImdb != filter)
                continue;
            if (!localHash.isEmpty() && localHash.compare(result->SubHash, Qt::CaseInsensitive) == 0)
                result->localHave = true;
            shown.append({result, result->Cellstring()});
        }
    }
    // Rows added while the list raises expandRow go beneath the group.
    for (const auto &[result, text] : std::as_const(shown)) {
        const int at = m_list->addRow({text, u" "_s, u" "_s}, QVariant::fromValue(result));
        m_list->setCellTag(at, 0, KindResult);
    }
    if (group->subtitleResults().isEmpty()) {
        // A group without results cannot stay open; close it once the list
        // has finished opening it.
        QTimer::singleShot(0, this, [this, group] {
            const int at = rowOf(group);
            if (at >= 0 && m_list->expanded(at))
                m_list->setExpanded(at, false);
        });
    }
}

// --- "gets" ------------------------------------------------------------------

bool DownloadList::hasCheckedResults() const
{
    QList<MoviePtr> groups;
    for (int row = 0; row < m_list->rowCount(); ++row) {
        if (isKind(row, KindGroup))
            groups.append(movieAt(row));
    }
    const QMutexLocker guard(&m_session->stateLock());
    return std::any_of(groups.cbegin(), groups.cend(), [](const MoviePtr &group) {
        if (!group)
            return false;
        const auto results = group->subtitleResults();
        return std::any_of(results.cbegin(), results.cend(),
                           [](const ResultPtr &result) { return result && result->isChecked; });
    });
}

int DownloadList::tickedDownloads() const
{
    QList<MoviePtr> groups;
    for (int row = 0; row < m_list->rowCount(); ++row) {
        if (isKind(row, KindGroup))
            groups.append(movieAt(row));
    }
    QSet<QString> wanted;
    const QMutexLocker guard(&m_session->stateLock());
    for (const MoviePtr &group : std::as_const(groups)) {
        if (!group)
            continue;
        const auto results = group->subtitleResults();
        const auto ticked = std::count_if(results.cbegin(), results.cend(), [](const ResultPtr &result) {
            return result && result->isChecked;
        });
        if (ticked != 1)
            continue;
        const QString video = group->movieHash().isEmpty() ? group->path() : group->movieHash();
        wanted.insert(video + u'\n' + group->iso639.toCaseFolded());
    }
    return int(wanted.size());
}

void DownloadList::buildQueue(DownloadQueue &queue)
{
    for (int row = m_list->rowCount() - 1; row >= 0; --row) {
        if (m_list->isFolder(row) && m_list->expanded(row))
            m_list->setExpanded(row, false);
    }
    for (int row = m_list->rowCount() - 1; row >= 0; --row) {
        if (!isKind(row, KindGroup))
            continue;
        const MoviePtr group = movieAt(row);
        bool unchecked = false;
        {
            const QMutexLocker guard(&m_session->stateLock());
            unchecked = !group || !group->isChecked;
            if (!unchecked)
                queue.queueGroup(group);
        }
        if (unchecked) {
            m_list->removeRow(row);
            Q_EMIT refreshNeeded();
        }
    }
    showQueue(queue.queuedSubs());
}

void DownloadList::showQueue(const QList<std::shared_ptr<movieFile>> &entries)
{
    m_list->deleteAllRows();
    m_list->rows.clear();
    m_list->mode = u"gets"_s;
    for (const MoviePtr &entry : entries) {
        ResultPtr chosen;
        QString text;
        {
            const QMutexLocker guard(&m_session->stateLock());
            chosen = DownloadQueue::chosen(*entry);
            text = chosen ? DownloadQueue::rowText(*entry, *chosen) : QString();
        }
        const int at = m_list->addRow({text, u" "_s, u" "_s}, QVariant::fromValue(entry));
        m_list->setCellTag(at, 0, KindQueued);
        m_list->setCellTag(at, m_columnInfo, QVariant::fromValue(chosen));
        Q_EMIT refreshNeeded();
    }
}

// --- Checks ------------------------------------------------------------------

QRect DownloadList::checkRect() const
{
    const QImage picture = Theme::getPic(u"selectactivo"_s, u"Theme"_s);
    const QSize size = picture.isNull() ? QSize(22, 22) : picture.size();
    const int width = m_list->columnWidth(m_columnCheck);
    const int height = m_list->defaultRowHeight();
    return {QPoint((width - size.width()) / 2, (height - size.height()) / 2), size};
}

bool DownloadList::cellClick(int row, int column, const QPoint &inCell)
{
    m_clickedRow = row;
    if (column != m_columnCheck || !checkRect().contains(inCell, true))
        return false;
    const QString view = mode();
    if (view.compare("files"_L1, Qt::CaseInsensitive) == 0) {
        const MoviePtr record = movieAt(row);
        if (!record)
            return false;
        {
            const QMutexLocker guard(&m_session->stateLock());
            record->isChecked = !record->isChecked;
        }
        Q_EMIT refreshNeeded();
        return true;
    }
    if (view.compare("subs"_L1, Qt::CaseInsensitive) == 0 && isKind(row, KindResult)) {
        toggleResult(row);
        Q_EMIT subtitleChecksChanged();
        Q_EMIT refreshNeeded();
        return true;
    }
    return false;
}

bool DownloadList::toggleResult(int row)
{
    if (!isKind(row, KindResult))
        return false;
    const ResultPtr result = resultAt(row);
    if (!result)
        return false;
    const QMutexLocker guard(&m_session->stateLock());
    if (const MoviePtr video = result->movieFile.lock())
        ResultChecks::toggle(*video, *result);
    else
        result->isChecked = !result->isChecked;
    return true;
}
