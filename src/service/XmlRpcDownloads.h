#pragma once

#include "service/openSubtitleItem.h"
#include "service/ServiceError.h"
#include "service/SubtitleDownload.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

// The download step of a queue over the XML-RPC interface (the contract of
// SubtitleProvider::downloadEach): the service's DownloadSubtitles call
// brings up to 20 files at a time, a few calls under way together. A file a
// reply does not bring whole (left out, damaged, too large, a failed call or
// a refusal) comes by its own SubDownloadLink instead, which reports its own
// errors; so does a subtitle without a file id, or every one when there is
// no login token.
class XmlRpcDownloads final {
public:
    // What the service sends at most per call.
    static constexpr int kFilesPerCall = 20;

    using Delivered = std::function<void(int, const ServiceResult<QByteArray> &)>;
    struct Setup {
        QUrl endpoint;
        QString token;
        qsizetype maxReplyBytes = 0;
        // The provider was cancelled: what ends then is "cancelled".
        std::function<bool()> providerCancelled;
        // Drops the transfers under way and starts no more.
        std::function<bool()> stopped;
    };

    XmlRpcDownloads(Setup setup, const QList<openSubtitleItem> &subtitles,
                    const std::function<bool(int)> &begin, const Delivered &delivered);

    // Returns when every entry that began has been delivered.
    void run();

    // A gzip subtitle file as fetched: unpacked within the size cap and
    // checked, or why it is not a subtitle.
    static ServiceResult<QByteArray> unpacked(const SubtitleDownload::FetchResult &fetched);

    // The packed files a DownloadSubtitles reply carries, by file id. Only
    // a "200 OK" reply of the documented shape counts (else `why` says what
    // it was and nothing is returned); entries whose data is not base64 are
    // left out, and of an id given twice the first readable one counts.
    // `quotaReached` (when given) tells a "407" status: the day's downloads
    // are used up.
    static QHash<QString, QByteArray> filesIn(const QByteArray &reply, QString *why,
                                              bool *quotaReached = nullptr);

private:
    std::optional<SubtitleDownload::Transfer> next();
    SubtitleDownload::Transfer call(const QList<int> &entries);
    SubtitleDownload::Transfer byLink(int index);
    void callEnded(const QList<int> &entries, const SubtitleDownload::FetchResult &fetched);
    void deliver(int index, const ServiceResult<QByteArray> &content);
    ServiceError stoppedError() const;
    void settleWithQuotaReason();
    QString fileIdOf(int index) const;

    Setup m_setup;
    const QList<openSubtitleItem> &m_subtitles;
    const std::function<bool(int)> &m_begin;
    const Delivered &m_delivered;
    int m_next = 0;          // the next entry to ask begin() about
    QList<int> m_byLink;     // begun, to fetch by their links
    QSet<int> m_undelivered; // begun and not delivered yet
    QString m_quotaReason;   // set once the service said the quota is used up: nothing more is asked
};
