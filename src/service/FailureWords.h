#pragma once

#include "service/ServiceError.h"

#include <QString>

// What a person is told when a search fails, and whether trying again on
// its own can help. Pure functions over the code and reason of a failed
// request (ServiceError), so the window, the command-line tool and the
// tests word a failure alike.
namespace FailureWords {

using Kind = ServiceError::Kind;

inline Kind classify(int code)
{
    return ServiceError::kindOf(code);
}

// One sentence for the window: what went wrong and, where it helps, what to do.
QString describe(Kind kind, const QString &reason = {});
inline QString describe(int code, const QString &reason)
{
    return describe(classify(code), reason);
}
// Empty when nothing failed.
inline QString describe(const ServiceError &failure)
{
    return describe(failure.code, failure.reason);
}

// Whether an automatic retry can help: never for a rejected login or key
// (they must be fixed in the preferences) or a cancelled run.
bool worthRetrying(Kind kind);

} // namespace FailureWords

// When automatic retries after a failed search happen: 5 seconds after the
// first failure, doubling after each further failure, never more than 5 minutes.
namespace RetrySchedule {

constexpr int FirstDelaySeconds = 5;
constexpr int LongestDelaySeconds = 300;

// The wait before retry number `attempt` (0 for the first retry).
int delaySeconds(int attempt);

} // namespace RetrySchedule
