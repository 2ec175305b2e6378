#pragma once

#include "service/ServiceError.h"

#include <QByteArray>
#include <QList>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <utility>

// The download step of a queue over the REST API (the contract of
// SubtitleProvider::downloadEach): a few downloads under way together, so
// that the plain GETs of the links, which the API's per-second limit does not
// count, overlap while the /download requests keep the pacer's turns.
//
// Entries begin in order on the calling thread and are delivered there, one
// at a time; the fetches run on helper threads of their own (each a QThread,
// for its own event loop).
class RestDownloads final {
public:
    using Fetch = std::function<ServiceResult<QByteArray>(int)>;
    using Begin = std::function<bool(int)>;
    using Delivered = std::function<void(int, const ServiceResult<QByteArray> &)>;

    RestDownloads(int count, Begin begin, Delivered delivered);

    // Returns when every entry that began has been delivered.
    void run(const Fetch &fetch, int inFlight);

private:
    void beginWhatFits(int inFlight);
    void workOn(const Fetch &fetch);
    void deliverArrived();

    const int m_count;
    const Begin m_begin;
    const Delivered m_delivered;
    int m_next = 0;     // the next entry to ask begin() about
    int m_underWay = 0; // begun and not yet delivered (calling thread only)

    // The standard library's, not Qt's: Debian's Qt is not built for
    // ThreadSanitizer, which then loses track of a QMutex that a
    // QWaitCondition releases and takes again.
    std::mutex m_lock; // guards the lists below; never held across a fetch or a delivery
    std::condition_variable m_changed;
    std::deque<int> m_waiting;
    std::deque<std::pair<int, ServiceResult<QByteArray>>> m_arrived;
    bool m_closing = false;
};
