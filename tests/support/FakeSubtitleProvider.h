#pragma once

#include "common/LangModule.h"
#include "service/SubtitleProvider.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// A service in the test's hands, for core tests that drive a job without a
// window or a process: every search by hash finds one subtitle per query
// (found by that hash, in the query's language), every download gives
// `content`. It can refuse the sign-in, fail the searches, or hold a search
// until it is cancelled. Set it up before the job runs; the job calls it from
// its worker.
class FakeSubtitleProvider final : public SubtitleProvider {
public:
    ServiceError signInFailure;
    ServiceError searchFailure;
    bool holdSearch = false; // a search waits until cancel() (at most 10 s)
    QByteArray content = "1\n00:00:01,000 --> 00:00:02,000\nHello\n";
    // Called (on the job's worker) as each search or download begins: what
    // the user might do meanwhile.
    std::function<void()> whileSearching;
    std::function<void()> whileDownloading;

    std::atomic<int> signIns{0};
    std::atomic<int> searches{0};
    std::atomic<int> downloads{0};

    ServiceError signIn(const ProviderAccount &) override
    {
        ++signIns;
        return cancelled() ? ServiceError::cancelledError() : signInFailure;
    }

    ServiceResult<QList<openSubtitleItemPtr>> search(const QList<SubtitleQuery> &queries, int) override
    {
        ++searches;
        if (whileSearching)
            whileSearching();
        if (holdSearch) {
            std::unique_lock lock(m_lock);
            m_searching = true;
            m_change.notify_all();
            m_change.wait_for(lock, std::chrono::seconds(10), [this] { return m_cancelled.load(); });
        }
        if (cancelled())
            return ServiceResult<QList<openSubtitleItemPtr>>::failure(ServiceError::cancelledError());
        if (!searchFailure.ok())
            return ServiceResult<QList<openSubtitleItemPtr>>::failure(searchFailure);
        QList<openSubtitleItemPtr> found;
        for (const SubtitleQuery &query : queries) {
            if (query.kind == SubtitleQuery::Kind::Hash)
                found.append(resultFor(query, int(found.size()) + 1));
        }
        return ServiceResult<QList<openSubtitleItemPtr>>::success(found);
    }

    ServiceResult<QByteArray> download(const openSubtitleItem &, const StopCheck &) override
    {
        ++downloads;
        if (whileDownloading)
            whileDownloading();
        if (cancelled())
            return ServiceResult<QByteArray>::failure(ServiceError::cancelledError());
        return ServiceResult<QByteArray>::success(content);
    }

    void cancel() override
    {
        const std::lock_guard lock(m_lock);
        m_cancelled = true;
        m_change.notify_all();
    }
    bool cancelled() const override { return m_cancelled; }

    // Waits (at most 10 s) until a held search has begun.
    bool waitForHeldSearch()
    {
        std::unique_lock lock(m_lock);
        return m_change.wait_for(lock, std::chrono::seconds(10), [this] { return m_searching; });
    }

private:
    static openSubtitleItemPtr resultFor(const SubtitleQuery &query, int id)
    {
        auto item = std::make_shared<openSubtitleItem>();
        item->MatchedBy = QStringLiteral("moviehash");
        item->MovieHash = query.movieHash;
        item->MovieBytesize = query.movieByteSize;
        item->QueryParameters = query.parameters();
        item->ISO639 = LangModule::getLangTwo(query.language);
        item->SubLanguageID = query.language;
        item->IDSubtitleFile = id;
        item->SubHash = query.movieHash + query.language;
        item->SubFileName = QStringLiteral("found-%1.srt").arg(id);
        item->SubFormat = QStringLiteral("srt");
        return item;
    }

    std::mutex m_lock;
    std::condition_variable m_change;
    bool m_searching = false;
    std::atomic<bool> m_cancelled{false};
};
