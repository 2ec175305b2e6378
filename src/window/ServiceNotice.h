#pragma once

#include "service/ServiceError.h"

#include <QElapsedTimer>
#include <QString>

class WorkflowFrame;

// What the download and upload windows say on their notice line when a
// search failed, and the way to the fix where the preferences hold it.
namespace ServiceNotice {

// Why the search failed, in words. A REST API key that is missing is told
// apart from one the service refused: a new install has none yet.
QString words(const ServiceError &failure);

// "still waiting for the service… 25 s" once `since` (started when the
// search began asking) is past WaitShownAfterSeconds; empty before. Counted
// in the windows' countdown seconds, so a test's faster clock shows the same.
inline constexpr int WaitShownAfterSeconds = 10;
QString waiting(const QElapsedTimer &since);

// Whether the fix is the REST API key in the preferences.
bool wantsApiKey(const ServiceError &failure);

// Shows `failure` (nothing when it is none) on the frame's notice line, with
// a button that opens the preferences at the key field when the key is the
// fix.
void show(WorkflowFrame &frame, const ServiceError &failure);

} // namespace ServiceNotice
