#include "service/rest/RestPacer.h"

#include "service/HttpRules.h"

#include <QLocale>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QThread>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace {
Q_LOGGING_CATEGORY(lcPace, "lumbra.rest.pace")

// A header's whole number within [low, high]; nullopt for text, fractions,
// signs where none belong and values out of range.
std::optional<qint64> wholeNumber(const QByteArray &value, qint64 low, qint64 high)
{
    const QByteArray trimmed = value.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > 12)
        return std::nullopt;
    bool ok = false;
    const qint64 number = trimmed.toLongLong(&ok);
    if (!ok || number < low || number > high)
        return std::nullopt;
    return number;
}

enum WarnKind : unsigned { BadLimit = 1, BadRemaining = 2, BadReset = 4, BadRetryAfter = 8 };

} // namespace

RestPacer::RestPacer(int perSecond, Now now)
    : m_now(std::move(now))
    , m_perSecond(std::clamp(perSecond, 1, kMostPerSecond))
{
}

RestPacer &RestPacer::api()
{
    static RestPacer pacer(kApiPerSecond);
    return pacer;
}

RestPacer &RestPacer::login()
{
    static RestPacer pacer(kLoginPerSecond);
    return pacer;
}

int RestPacer::perSecond() const
{
    const QMutexLocker guard(&m_lock);
    return m_perSecond;
}

// Our "second": the span our own turns are counted over.
RestPacer::Duration RestPacer::window() const
{
    return 1000ms + m_margin;
}

RestPacer::Duration RestPacer::interval() const
{
    return window() / m_perSecond;
}

RestPacer::Duration RestPacer::reserve()
{
    const auto now = m_now();
    const QMutexLocker guard(&m_lock);
    const auto start = std::max({now, m_next, m_heldUntil});
    m_next = start + interval();
    m_sent.push_back(start);
    while (!m_sent.empty() && m_sent.front() < now - 2 * window())
        m_sent.pop_front();
    if (++m_calmTurns >= kCalmTurns && m_margin > kJitterMargin) {
        m_margin = std::max(kJitterMargin, m_margin * 3 / 4);
        m_calmTurns = 0;
    }
    return std::chrono::ceil<Duration>(start - now);
}

void RestPacer::noteReply(int status, const RateHeaders &headers, const QByteArray &retryAfter)
{
    const auto now = m_now();
    const QMutexLocker guard(&m_lock);
    applyLimit(headers.limit);
    if (status != 429) {
        applyRemaining(headers, now);
        return;
    }
    // A 429 without a usable Retry-After still asks for a pause: a second,
    // the span of the service's count. A pause longer than we ever hold
    // (hours, days) is no pace: the request that got it fails, and the
    // others go on after that second.
    Duration pause = 1s;
    const auto asked = retryAfterOf(retryAfter, QDateTime::currentDateTimeUtc());
    if (asked && *asked <= kLongestHold)
        pause = *asked;
    else if (!retryAfter.trimmed().isEmpty())
        warnOnce(BadRetryAfter, "Retry-After", retryAfter);
    holdUntil(now + pause);
    // Our requests reached it closer together than we sent them: leave more room.
    m_margin = std::min(kWidestMargin, m_margin * 2);
    m_calmTurns = 0;
    qCInfo(lcPace) << "the service asked to slow down; holding requests for" << pause.count()
                   << "ms, then spacing them" << interval().count() << "ms apart";
}

void RestPacer::applyLimit(const QByteArray &limit)
{
    if (limit.trimmed().isEmpty())
        return;
    const auto announced = wholeNumber(limit, 1, kMostPerSecond);
    if (!announced) {
        warnOnce(BadLimit, "RateLimit-Limit", limit);
        return;
    }
    if (int(*announced) != m_perSecond)
        qCInfo(lcPace) << "the service announces" << *announced << "requests a second; was" << m_perSecond;
    m_perSecond = int(*announced);
}

void RestPacer::applyRemaining(const RateHeaders &headers, Clock::time_point now)
{
    if (headers.remaining.trimmed().isEmpty())
        return;
    const auto remaining = wholeNumber(headers.remaining, 0, 1000000);
    if (!remaining) {
        warnOnce(BadRemaining, "X-RateLimit-Remaining-Second", headers.remaining);
        return;
    }
    // Our own pace already explains a count that falls as we send; only a
    // count lower than that (another program on this address) slows us.
    if (*remaining >= m_perSecond - ownTurnsWithinWindow(now))
        return;
    Duration reset = 1s;
    if (const auto said = wholeNumber(headers.reset, 0, kLongestHold.count() / 1000))
        reset = std::chrono::seconds(*said);
    else if (!headers.reset.trimmed().isEmpty())
        warnOnce(BadReset, "RateLimit-Reset", headers.reset);
    if (*remaining == 0) {
        holdUntil(now + reset);
        return;
    }
    // What is left, spread evenly over the time until the count starts again.
    const Clock::time_point spread = now + reset / int(std::min<qint64>(*remaining + 1, kMostPerSecond * 60));
    m_next = std::max(m_next, spread);
}

int RestPacer::ownTurnsWithinWindow(Clock::time_point now)
{
    return int(std::count_if(m_sent.cbegin(), m_sent.cend(),
                             [&](Clock::time_point turn) { return turn <= now && turn > now - window(); }));
}

void RestPacer::holdUntil(Clock::time_point until)
{
    m_heldUntil = std::max(m_heldUntil, until);
}

void RestPacer::warnOnce(unsigned kind, const char *header, const QByteArray &value)
{
    if (m_warned & kind)
        return;
    m_warned |= kind;
    qCWarning(lcPace).noquote() << "ignoring the service's" << header << "header, which makes no sense:"
                                << QString::fromLatin1(value.left(40)).simplified();
}

std::optional<std::chrono::seconds> RestPacer::retryAfterOf(const QByteArray &value, const QDateTime &now)
{
    // Beyond ten years a number is noise, not a wait.
    constexpr std::chrono::seconds kNoise{10LL * 366 * 24 * 3600};
    const auto wait = HttpRules::retryAfter(value, now);
    if (wait && *wait > kNoise)
        return std::nullopt;
    return wait;
}

bool RestPacer::waitFor(Duration duration, const std::atomic<bool> *cancel)
{
    // Slices short enough that a cancel is noticed at once.
    constexpr Duration slice{50};
    const auto cancelled = [cancel] { return cancel && cancel->load(); };
    const auto end = Clock::now() + duration;
    while (Clock::now() < end) {
        if (cancelled())
            return false;
        const auto left = std::chrono::duration_cast<Duration>(end - Clock::now());
        QThread::msleep(std::clamp<qint64>(left.count(), 0, slice.count()));
    }
    return !cancelled();
}
