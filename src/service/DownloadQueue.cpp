#include "service/DownloadQueue.h"

#include "common/BackgroundTasks.h"
#include "common/JobSession.h"
#include "common/LangModule.h"
#include "media/movieFile.h"
#include "service/openSubtitleItem.h"
#include "service/SubtitleProvider.h"

#include <QFileInfo>
#include <QMultiHash>
#include <QMutexLocker>

#include <algorithm>
#include <map>

using namespace Qt::Literals::StringLiterals;

std::shared_ptr<movieFile> DownloadQueue::languageGroup(const movieFile &video, const QString &language)
{
    auto group = movieFile::create(video, false);
    group->iso639 = language;
    movieFile::ResultList results;
    int level = 3;
    for (const auto &result : video.subtitleResults()) {
        if (!result || result->ISO639.compare(language, Qt::CaseInsensitive) != 0)
            continue;
        results.append(result);
        if (result->MatchedBy.compare("moviehash"_L1, Qt::CaseInsensitive) == 0)
            level = 1;
        else if (!result->MatchedBy.isEmpty())
            level = qMin(level, 2);
    }
    group->setSubtitleResults(results);
    group->matchedby = level;
    return group;
}

bool DownloadQueue::queueGroup(const std::shared_ptr<movieFile> &group)
{
    if (!group)
        return false;
    movieFile::ResultList checked;
    for (const auto &result : group->subtitleResults()) {
        if (result && result->isChecked)
            checked.append(result);
    }
    group->setSubtitleResults(checked);
    if (checked.size() != 1)
        return false;
    const QString key = entryKey(*group);
    if (m_queuedKeys.contains(key))
        return false;
    m_queuedKeys.insert(key);
    m_queuedSubs.append(group);
    // Results are shared between videos (copies of one video; videos one
    // search reply matched) and name the video merged last. An entry's
    // subtitle goes beside its own video, never beside a copy that had a
    // subtitle in this language already; a result another entry downloads
    // already is queued as a copy of its own, so neither placement replaces
    // the other's and each keeps its own download state.
    auto result = checked.first();
    if (m_queuedResults.contains(result.get())) {
        result = std::make_shared<openSubtitleItem>(*result);
        group->setSubtitleResults({result});
    }
    m_queuedResults.insert(result.get());
    result->setMovieFolderItemPath(group->path(), group->listedFolder);
    return true;
}

QString DownloadQueue::entryKey(const movieFile &entry)
{
    const auto first = chosen(entry);
    const QString language = first ? first->ISO639.toCaseFolded() : QString();
    // Videos whose hash is unknown are told apart by their files.
    const QString hash = entry.movieHash();
    return hash.isEmpty() ? u"path "_s + entry.path() + u'\n' + language
                          : u"hash "_s + hash + u'\n' + language;
}

std::shared_ptr<openSubtitleItem> DownloadQueue::chosen(const movieFile &entry)
{
    const auto results = entry.subtitleResults();
    return results.isEmpty() ? nullptr : results.first();
}

QString DownloadQueue::rowText(const movieFile &entry, const openSubtitleItem &result)
{
    const QString language = LangModule::getLangFull(result.ISO639);
    QString text = u"%1 (%2): %3"_s.arg(entry.movieFileName(), language.isEmpty() ? result.ISO639 : language,
                                        result.SubFileName);
    if (result.status.compare("Error"_L1, Qt::CaseInsensitive) == 0)
        text += u" \u2014 failed: "_s +
                (result.downloadError.isEmpty() ? u"unknown error"_s : result.downloadError);
    else if (result.status == "Waiting"_L1)
        text += u" \u2014 "_s + result.downloadError;
    else if (!result.replacedNote.isEmpty())
        text += u" \u2014 "_s + result.replacedNote;
    if (!result.timingNote.isEmpty())
        text += u" \u2014 timing: "_s + result.timingNote;
    return text;
}

QList<std::shared_ptr<movieFile>> DownloadQueue::holdBack(int keep, const QString &why)
{
    if (keep < 0 || keep >= m_queuedSubs.size())
        return {};
    const QList<std::shared_ptr<movieFile>> held = m_queuedSubs.mid(keep);
    m_queuedSubs.resize(keep);
    for (const auto &entry : held) {
        m_queuedKeys.remove(entryKey(*entry));
        if (const auto result = chosen(*entry)) {
            m_queuedResults.remove(result.get());
            result->status = u"Waiting"_s;
            result->downloadError = why;
        }
    }
    return held;
}

void DownloadQueue::removeDownloaded()
{
    m_queuedSubs.removeIf([](const std::shared_ptr<movieFile> &entry) {
        const auto first = chosen(*entry);
        return first && first->Downloaded;
    });
    m_queuedKeys.clear();
    m_queuedResults.clear();
    for (const auto &entry : std::as_const(m_queuedSubs)) {
        m_queuedKeys.insert(entryKey(*entry));
        m_queuedResults.insert(chosen(*entry).get());
    }
}

QString DownloadQueue::collisionWith(const openSubtitleItem &result, JobSession &session) const
{
    QString target, video;
    {
        const QMutexLocker guard(&session.stateLock());
        target = result.finalTargetIn(&session);
        video = result.movieFolderItemPath();
    }
    const auto earlier = m_placedTargets.constFind(target);
    if (earlier == m_placedTargets.cend() || *earlier == video)
        return {};
    return u"%1 was placed for %2 in this run and is not replaced by the subtitle of another video"_s.arg(
        QFileInfo(target).fileName(), QFileInfo(*earlier).fileName());
}

bool DownloadQueue::downloadAll(const std::weak_ptr<JobSession> &session,
                                const std::function<void(int, bool)> &done, const std::function<bool()> &stop,
                                const std::function<bool()> &abort, const std::function<void(int)> &arrived)
{
    bool allPlaced = true;
    bool stopped = false;
    auto settle = [&](int index, bool placed) {
        allPlaced = allPlaced && placed;
        if (done)
            done(index, placed);
    };
    // The files are written and flushed on a few threads of their own, so
    // that the disk commits flushes that come together as one; each outcome
    // is settled here as its placement ends.
    BackgroundTasks placements(kPlacementThreads);
    // Entries begun and not settled yet, by the name they will take.
    // Transfers may end out of order: an entry whose name an earlier one
    // still under way (or being placed) will take waits for it, so that the
    // first in the queue keeps the name, as one after the other would have it.
    QMultiHash<QString, int> underWay;
    std::map<int, std::pair<QString, ServiceResult<QByteArray>>> waiting; // by index
    auto targetOf = [&](int index, JobSession &job) {
        const QMutexLocker guard(&job.stateLock());
        return chosen(*m_queuedSubs[index])->finalTargetIn(&job);
    };
    auto earliestFor = [&](const QString &target) {
        const QList<int> indexes = underWay.values(target);
        return indexes.isEmpty() ? -1 : *std::min_element(indexes.cbegin(), indexes.cend());
    };
    // Before an entry's transfer: stop, refuse a collision, or place the copy
    // an earlier preview left; true when the entry needs its content.
    // The job is held only for the length of each step: one that has gone
    // ends the run there.
    auto begin = [&](int index) {
        const std::shared_ptr<JobSession> job = session.lock();
        if (!job || stopped || (stop && stop())) {
            stopped = true;
            return false;
        }
        const auto result = chosen(*m_queuedSubs[index]);
        if (!result) {
            settle(index, false);
            return false;
        }
        // Two videos of one name in one folder (Movie.avi, Movie.mkv) want
        // the same subtitle name: the first keeps it.
        if (const QString collision = collisionWith(*result, *job); !collision.isEmpty()) {
            result->markFailed(collision, job.get());
            settle(index, false);
            return false;
        }
        bool placed = false;
        if (result->startDownload(job.get(), placed)) {
            underWay.insert(targetOf(index, *job), index);
            return true;
        }
        notePlaced(*result, placed, *job);
        settle(index, placed);
        return false;
    };
    std::function<void(int, const ServiceResult<QByteArray> &)> delivered;
    // An entry is settled; the next one for its name goes on once it is
    // the earliest.
    auto release = [&](int index, const QString &target) {
        underWay.remove(target, index);
        const auto next = waiting.find(earliestFor(target));
        if (next != waiting.end()) {
            const auto [later, held] = *next;
            waiting.erase(next);
            delivered(later, held.second);
        }
    };
    delivered = [&](int index, const ServiceResult<QByteArray> &content) {
        // Contents that come faster than the disk takes them are not all held.
        placements.waitUntilFewerThan(kPlacementThreads + kPlacementsWaiting);
        const std::shared_ptr<JobSession> job = session.lock();
        if (!job) {
            stopped = true;
            return;
        }
        const QString target = targetOf(index, *job);
        if (earliestFor(target) != index) {
            waiting.emplace(index, std::make_pair(target, content));
            return;
        }
        const auto result = chosen(*m_queuedSubs[index]);
        if (const QString collision = collisionWith(*result, *job); !collision.isEmpty()) {
            result->markFailed(collision, job.get());
            settle(index, false);
            release(index, target);
            return;
        }
        placements.run(
            [session, result, place = result->placement(content)] {
                const std::shared_ptr<JobSession> owner = session.lock();
                return owner && place(owner.get());
            },
            [&, index, target, result](bool placed) {
                const std::shared_ptr<JobSession> owner = session.lock();
                if (!owner) {
                    stopped = true;
                    return;
                }
                notePlaced(*result, placed, *owner);
                settle(index, placed);
                release(index, target);
            });
    };
    auto arrivedThenDelivered = [&](int index, const ServiceResult<QByteArray> &content) {
        if (arrived)
            arrived(index);
        delivered(index, content);
    };

    // Consecutive entries found by the same provider go to it as one batch.
    for (int first = 0; first < int(m_queuedSubs.size()) && !stopped;) {
        std::shared_ptr<SubtitleProvider> provider;
        int end = first + 1;
        QList<openSubtitleItem> batch;
        {
            const std::shared_ptr<JobSession> job = session.lock();
            if (!job) {
                stopped = true;
                break;
            }
            provider = providerOf(first, *job);
            while (end < int(m_queuedSubs.size()) && providerOf(end, *job) == provider)
                ++end;
            const QMutexLocker guard(&job->stateLock());
            for (int i = first; i < end; ++i) {
                const auto result = chosen(*m_queuedSubs[i]);
                batch.append(result ? *result : openSubtitleItem());
            }
        }
        if (provider) {
            provider->downloadEach(
                batch, [&](int i) { return begin(first + i); },
                [&](int i, const ServiceResult<QByteArray> &content) {
                    arrivedThenDelivered(first + i, content);
                },
                abort);
        } else {
            // Records made without a provider fetch their own link.
            for (int i = first; i < end; ++i) {
                if (!begin(i))
                    continue;
                const std::shared_ptr<JobSession> job = session.lock();
                if (!job) {
                    stopped = true;
                    break;
                }
                arrivedThenDelivered(i, chosen(*m_queuedSubs[i])->fetchContent(job.get(), abort));
            }
        }
        first = end;
    }
    // Entries still waiting for one that never ended go on, in queue order,
    // each once the one before it has been placed.
    for (placements.waitForAll(); !waiting.empty(); placements.waitForAll()) {
        const auto [index, held] = *waiting.begin();
        waiting.erase(waiting.begin());
        underWay.remove(held.first);
        underWay.insert(held.first, index);
        delivered(index, held.second);
    }
    return allPlaced && !stopped;
}

std::shared_ptr<SubtitleProvider> DownloadQueue::providerOf(int index, JobSession &session) const
{
    const auto result = chosen(*m_queuedSubs[index]);
    const QMutexLocker guard(&session.stateLock());
    return result ? result->provider : nullptr;
}

void DownloadQueue::notePlaced(const openSubtitleItem &result, bool placed, JobSession &session)
{
    if (!placed)
        return;
    const QMutexLocker guard(&session.stateLock());
    m_placedTargets.insert(result.localSubfile, result.movieFolderItemPath());
}
