#pragma once

#include "service/ServiceError.h"

#include <memory>

class JobRecords;
class SubtitleProvider;
struct RunSettings;

// The search run over a job's videos through any provider, in the order and
// with the rules the service was always asked by: sign in; search by hash;
// choose the best result per video and language; ask which films the videos
// still without results are (when the service can tell) and search by their
// IMDB ids; then by tag and by name. Each search asks only about the listed,
// checked videos without a hash match and without a subtitle beside them in
// that language (unless subtitles are refreshed); languages, refreshing, the
// account and the wishes of the best choice come from the run's settings.
// Results are attached with the records' merge and remember the provider,
// which later downloads them.
//
// Blocks: call it from a worker thread, after hashing. Returns what ended the
// run: a failed sign-in, IMDB or tag step, or the name search's failure. A
// failed hash search does not end it (the searches after it may still find
// subtitles); it skips the IMDB step, and is handed back in `stepFailure`
// (when given), so that a video the later steps found nothing for is told
// apart from one the service has nothing for. A service that cannot be
// reached or does not answer (endsTheRun) ends it at once.
namespace ProviderSearch {

// The service as a whole could not be reached, did not answer or asks us to
// slow down (HTTP 429): every further request would fail the same way (or
// wait as long), so a run stops at the first. A busy answer (HTTP 503) may
// pass; it is not one.
bool endsTheRun(const ServiceError &error);

ServiceError run(JobRecords &records, const std::shared_ptr<SubtitleProvider> &provider,
                 const RunSettings &settings, ServiceError *stepFailure = nullptr);

// Only the sign-in and the search by hash: whether the service holds
// subtitles for exactly these videos, as checking before an upload asks.
ServiceError runByHash(JobRecords &records, const std::shared_ptr<SubtitleProvider> &provider,
                       const RunSettings &settings);

} // namespace ProviderSearch
