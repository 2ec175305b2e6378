#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMutex>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <optional>

// What a reply of the REST API says about the rate limit, as sent (the
// values are checked when they are applied).
struct RateHeaders {
    QByteArray limit;     // RateLimit-Limit or X-RateLimit-Limit-Second
    QByteArray remaining; // X-RateLimit-Remaining-Second or RateLimit-Remaining
    QByteArray reset;     // RateLimit-Reset (seconds)
};

// The pace of one class of API requests (sign-ins, or everything else): as
// fast as the service allows, never faster than it announces.
//
// - Requests are spread evenly, `perSecond` of them in a second and a bit
//   (the bit covers the network's jitter, so that the service, counting
//   arrivals, never sees one too many in its second; a 429 widens it).
// - A limit the replies announce replaces ours.
// - A remaining count lower than our own requests explain (someone else on
//   this address spends the same budget) spreads what is left over the time
//   until the reset; none left holds every request until then.
// - A 429 holds every request for the Retry-After it gives (up to 30 s).
// Headers with nonsense values change nothing and are logged once per kind.
//
// The clock is a seam: reserve() says how long to wait instead of sleeping,
// so the rules can be checked with a clock the test moves.
class RestPacer final {
public:
    using Clock = std::chrono::steady_clock;
    using Now = std::function<Clock::time_point()>;
    using Duration = std::chrono::milliseconds;

    // The documented limits: 5 a second for the API, 1 for the sign-in.
    static constexpr int kApiPerSecond = 5;
    static constexpr int kLoginPerSecond = 1;
    // The most requests a second we follow an announced limit up to.
    static constexpr int kMostPerSecond = 20;
    // How much longer than a second our "second" is at first: requests
    // reach the service a little early or late, and it counts arrivals. Each
    // 429 doubles it (up to kWidestMargin); calm turns narrow it again.
    static constexpr Duration kJitterMargin{60};
    static constexpr Duration kWidestMargin{320};
    static constexpr int kCalmTurns = 100;
    // The longest hold a reset or a Retry-After may impose on the pace;
    // longer ones are taken for nonsense (a second's pause).
    static constexpr Duration kLongestHold{30000};

    explicit RestPacer(int perSecond, Now now = &Clock::now);

    // Sleeps up to `duration`, in slices that notice `cancel`; false when cancelled.
    static bool waitFor(Duration duration, const std::atomic<bool> *cancel);

    // The pacers every client of this process shares: the service counts
    // requests per address, not per client.
    static RestPacer &api();
    static RestPacer &login();

    // Takes the next turn: how long to wait before sending (zero: at once).
    Duration reserve();
    // What a reply's headers say; a 429 holds for its `retryAfter`.
    void noteReply(int status, const RateHeaders &headers, const QByteArray &retryAfter = {});

    int perSecond() const;

    // Retry-After as delta-seconds or an HTTP date (a date gone by: no
    // wait); nullopt when it is neither.
    static std::optional<std::chrono::seconds> retryAfterOf(const QByteArray &value, const QDateTime &now);

private:
    Duration interval() const;
    void holdUntil(Clock::time_point until);
    void applyLimit(const QByteArray &limit);
    void applyRemaining(const RateHeaders &headers, Clock::time_point now);
    Duration window() const;
    int ownTurnsWithinWindow(Clock::time_point now);
    void warnOnce(unsigned kind, const char *header, const QByteArray &value);

    const Now m_now;
    mutable QMutex m_lock; // never held while anyone waits
    int m_perSecond;
    Clock::time_point m_next;
    Clock::time_point m_heldUntil;
    std::deque<Clock::time_point> m_sent; // our own turns in the last second or so
    unsigned m_warned = 0;                // the header kinds whose nonsense was logged
    Duration m_margin = kJitterMargin;
    int m_calmTurns = 0; // turns since the margin last changed or a 429 came
};
