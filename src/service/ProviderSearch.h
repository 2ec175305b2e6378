#pragma once

#include "prefs/myPrefs.h"
#include "service/ServiceError.h"

#include <memory>

class OSClient;
class SubtitleProvider;
struct ProviderAccount;

// A search run over a client's videos through any provider, in the order and
// with the rules the service was always asked by: sign in; search by hash;
// choose the best result per video and language; ask which films the videos
// still without results are (when the service can tell) and search by their
// IMDB ids; then by tag and by name. Each search asks only about the listed,
// checked videos without a hash match and without a subtitle beside them in
// that language (unless subtitles are refreshed). Results are attached with
// the client's merge and remember the provider, which later downloads them.
//
// Blocks: call it from a worker thread, after hashing. Returns what ended the
// run: a failed sign-in, IMDB or tag step, or the name search's failure. A
// failed hash search does not end it (the searches after it may still find
// subtitles); it skips the IMDB step, and is handed back in `stepFailure`
// (when given), so that a video the later steps found nothing for is told
// apart from one the service has nothing for.
namespace ProviderSearch {

ServiceError run(OSClient &client, const std::shared_ptr<SubtitleProvider> &provider,
                 const ProviderAccount &account, const myPrefs::Values &prefs,
                 ServiceError *stepFailure = nullptr);

} // namespace ProviderSearch
