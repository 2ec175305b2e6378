#pragma once

#include "common/FolderIdentity.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

// The pieces of a subtitle download: safe names from service data, the
// fetch, the sense check of the content and the placement beside the video
// that never loses the subtitle already there.
namespace SubtitleDownload {

// Unpacked subtitles larger than this are refused; real ones are far smaller.
constexpr qsizetype kMaxSubtitleBytes = 20 * 1024 * 1024;

// Service values end up in file names. These keep them plain names: no
// folders, no "..", no control characters, bounded length.
QString safeLeafName(const QString &name);
// A file extension of letters and digits only; "tmp" reads as "txt"; an
// unusable value falls back to "srt".
QString safeFormat(const QString &format);
// A language code of letters only, or empty.
QString safeLanguage(const QString &code);

// The name a subtitle gets beside its video: the video's base name, the
// two-letter language when the preferences ask for it (always with two or
// more languages), and the format.
QString finalName(const QString &videoBase, const QString &iso639, const QString &format);
// The same, with or without the language code as a run's settings say.
QString finalName(const QString &videoBase, const QString &iso639, const QString &format,
                  bool languageInName);

// The application's private temporary folder, made on first use and removed
// when the program ends.
QString applicationTempDir();

// How long a download may take without progress (40 s; tests shorten it).
int transferTimeoutMs();
void setTransferTimeoutMs(int ms);
// How long a whole download may take (HttpRules::DownloadLimit; tests
// shorten it).
int timeLimitMs();
void setTimeLimitMs(int ms);

struct FetchResult {
    bool ok = false;
    QByteArray body;
    QString error;
};
// GETs the address on the calling thread (its own network manager and event
// loop), following at most 5 redirects; bodies over `maxBytes` fail. When
// `cancelled` turns true the transfer is dropped within a tenth of a second.
FetchResult fetch(const QUrl &url, qsizetype maxBytes, const std::function<bool()> &cancelled = {});

// How many downloads of a queue are under way together: enough to keep the
// link busy while one subtitle is being placed, few enough not to burden the
// service.
constexpr int kDownloadsInFlight = 4;

// One HTTP request for runTransfers(): a GET, or a POST of `body` as text/xml
// when there is one. Replies over `maxBytes` fail.
struct Request {
    QUrl url;
    QByteArray body;
    qsizetype maxBytes = kMaxSubtitleBytes;
};
struct Transfer {
    Request request;
    // Called with the outcome on the calling thread of runTransfers().
    std::function<void(const FetchResult &)> finished;
};

// Runs the transfers `next` hands out, up to `inFlight` at once over one
// network manager (so connections are kept alive and reused), on the calling
// thread. `next` is asked whenever there is room, and again after each
// `finished` (which may have found more work); it answers std::nullopt when
// it has nothing for now. The next request is already out while a
// `finished` runs, and only one runs at a time. Returns when nothing is under
// way and `next` has nothing more. After `cancelled` turns true, the
// transfers under way are dropped (finished with an error) and `next` is
// not asked again. Every request carries Lumbra's User-Agent and follows at
// most 5 redirects.
void runTransfers(int inFlight, const std::function<std::optional<Transfer>()> &next,
                  const std::function<bool()> &cancelled = {});

// GETs each address as fetch() does, `inFlight` at once, starting them in
// order. `begin(i)`, asked just before address i is requested, may leave it
// out by answering false. `finished(i, result)` is called for each address
// requested, in the order they end (see runTransfers()).
void fetchAll(const QList<QUrl> &urls, qsizetype maxBytes, int inFlight,
              const std::function<bool(int)> &begin,
              const std::function<void(int, const FetchResult &)> &finished,
              const std::function<bool()> &cancelled = {});

// An error page where a subtitle was expected: XML anywhere, or an HTML
// document type at the start.
bool looksLikeMarkup(const QByteArray &content);

// Why `content` is not a subtitle to store as `format` ("srt", …), in words
// for the user: empty, not text, or without any cue of the formats whose
// cues are known here (SRT, VTT, ASS/SSA, SUB); empty when it is one.
QString contentRefusal(const QByteArray &content, const QString &format);

// The subtitle a downloaded body holds, ready to be placed as `format`:
// unpacked when it is gzip (known by its magic bytes, whatever the server
// declared; never beyond kMaxSubtitleBytes). Empty, with the reason in `why`,
// for a body that is empty, a web page, not text, or without a single cue
// of its format: such content never takes a subtitle's place.
std::optional<QByteArray> readyContent(const QByteArray &body, const QString &format, QString *why);

enum class Placement { Placed, FolderNotWritable, CopyFailed, FolderChanged };
struct PlacementResult {
    Placement outcome = Placement::Placed;
    QString why; // for CopyFailed: what the system said
    // Where the file that stood at the target went (empty when there was
    // none): a path in the desktop's trash, or a backup beside the target.
    QString keptAt;
    bool inTrash = false;
};
// Puts a copy of the file `source` at `target` without losing what stood there: the new file
// is written beside the target first; then an existing target goes to the
// desktop's trash or, where there is none, to a backup name ("~" + its name,
// numbered when taken) that never overwrites an earlier backup; then the new
// file takes the target's name. When a step fails the previous file is back
// at the target and nothing else is left.
// With a known `folder` (the video's folder as it was listed), the target's
// folder must still be that one, before the write and again after it. A target
// that already holds the same bytes is left as it is (nothing is kept aside).
PlacementResult placeKeepingPrevious(const QString &source, const QString &target,
                                     const FolderIdentity &folder = {});
// The same for a subtitle in memory: written once, to the file beside the
// target that then takes its name, and flushed to the disk once.
PlacementResult placeKeepingPrevious(const QByteArray &content, const QString &target,
                                     const FolderIdentity &folder = {});

// For the results: where the replaced subtitle went; empty when nothing was
// replaced.
QString replacementNote(const PlacementResult &placement);

} // namespace SubtitleDownload
