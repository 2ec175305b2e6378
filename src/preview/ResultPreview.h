#pragma once

#include <QString>

#include <functional>
#include <memory>

class JobSession;
class QObject;
class openSubtitleItem;

// Gets a search result's subtitle ready to be previewed: the file placed
// beside the video when the result was downloaded, else its copy in the
// temporary folder, fetched once and reused by later previews. The fetch
// blocks for the whole transfer, so it runs on a thread of its own and the
// answer comes back on the main thread.
//
// A preview download leaves the result's download state (status, placed
// file) as it found it: only the preview copy (localtempfile) is new, so a
// preview of a queued result never passes for its real download.
namespace ResultPreview {

// The copy to preview, when one exists and is readable; empty otherwise.
// Read under the lock of `session` (the owning window's) when given.
QString readyCopy(const openSubtitleItem &result, const JobSession *session = nullptr);

// The player window's title for a result: "SubFileName (downloads date)".
QString title(const openSubtitleItem &result);

// Calls `done` with the path of the copy to preview (empty when none could
// be had): at once when a copy is ready, else when the fetch has ended, on
// `context`'s thread. When `context` is gone by then, nothing is called;
// nor when `session` (the job the result belongs to) has gone, since its
// records may no longer be touched. An empty `session` means the result
// belongs to no job and is used without a lock. A second request for a
// result whose fetch is still running is dropped.
void prepare(const std::shared_ptr<openSubtitleItem> &result, const std::weak_ptr<JobSession> &session,
             QObject *context, std::function<void(const QString &path)> done);

// Whether a fetch is running for the result.
bool isFetching(const openSubtitleItem *result);

} // namespace ResultPreview
