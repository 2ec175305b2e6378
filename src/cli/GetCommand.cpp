// lumbra-cli get [options] PATH...
//
// The download workflow without a window: the videos in the given files and
// folders are listed, hashed and searched, the best subtitle per video and
// language is downloaded and placed beside the video. Options hold for this
// run only: the run takes its settings from them and the preferences, and the
// preferences are neither changed nor saved.

#include "cli/CliArguments.h"
#include "cli/CliProgress.h"
#include "cli/CliText.h"
#include "cli/Commands.h"
#include "cli/TimingJson.h"
#include "common/LangModule.h"
#include "download/DownloadJob.h"
#include "download/GetSubsRun.h"
#include "download/QuotaWaitList.h"
#include "prefs/myPrefs.h"
#include "service/FailureWords.h"
#include "service/ProviderChoice.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace {

// Counts said in words: "1 more download", never "1 more downloads".
QString moreDownloads(qsizetype count)
{
    return count == 1 ? u"1 more download"_s : u"%1 more downloads"_s.arg(count);
}

QString downloadsWaiting(qsizetype count)
{
    return count == 1 ? u"1 download waits"_s : u"%1 downloads wait"_s.arg(count);
}

void printUsage(void (*print)(const QString &))
{
    print(u"Usage: lumbra-cli get [options] [--] PATH..."_s);
    print(u"Finds, downloads and places subtitles for the videos in the files and folders given."_s);
    print(u"Options (for this run only; the preferences are not changed):"_s);
    print(u"  --lang CODES     wanted languages, two-letter codes separated by commas (up to three)"_s);
    print(u"  --provider NAME  the service interface: rest (the REST API) or xmlrpc"_s);
    print(u"  --server URL     the address of that interface (REST: the API root, .../api/v1)"_s);
    print(u"  --api-key KEY    the REST API's application key"_s);
    print(u"  --user NAME      account name"_s);
    print(u"  --password TEXT  account password"_s);
    print(u"  --no-lang-ext    name subtitles like the video, without the language code (with one"_s);
    print(u"                   language only: with two or more the code is always added)"_s);
    print(u"  --refresh        search and replace even where a subtitle already lies beside the video"_s);
    print(u"  --hi WISH        hearing-impaired subtitles: any (as the service ranks them), avoid"_s);
    print(u"                   (only when no other one exists) or only"_s);
    print(u"  --utf8           convert placed subtitles to UTF-8; where the encoding cannot be told"_s);
    print(u"                   for sure the subtitle is placed as served and the line says so"_s);
    print(u"  --sync           measure each placed subtitle against the video's speech and fix its"_s);
    print(u"                   timing when sure (as the preference fixTimingAfterDownload does)"_s);
    print(u"  --json           one JSON object per line instead of text, with the provider and the"_s);
    print(u"                   downloads the service still allows today (quotaRemaining, REST only)"_s);
    print(u"Each video and language gives one line: 'placed SUBTITLE' (followed by where the"_s);
    print(u"subtitle it replaced went: the trash, or a backup name beside it, and with --utf8 what"_s);
    print(u"became of its encoding in brackets), 'none VIDEO LANG',"_s);
    print(u"'skipped VIDEO LANG' (followed by a reason when a subtitle stream inside the video"_s);
    print(u"serves the language) or 'failed VIDEO LANG REASON' (when the search failed, the reason"_s);
    print(u"is 'search failed' and why is said once on stderr); a video that cannot be handled at"_s);
    print(u"all gives 'skipped VIDEO REASON'. Control characters and the bytes of names that are not"_s);
    print(u"valid UTF-8 are written as \\xHH; --json gives other names exactly. Exit status: 0 when"_s);
    print(u"nothing failed, 1 when the search or a download failed or a video could not be handled,"_s);
    print(u"2 for bad usage."_s);
    print(u"Downloads beyond what the service allows today give 'waiting VIDEO LANG REASON'; they"_s);
    print(u"are remembered, and the count of those left and of those waiting goes to standard error."_s);
}

// A few lines of progress on stderr.
class Progress final : public GetSubsRun::Progress {
public:
    void step(const QString &label, int total) override { m_bar.step(label, total); }
    void advance(int done, const QString &detail) override { m_bar.advance(done, detail); }
    // The count comes first, before the bar moves on to the downloads.
    void quota(int remaining, int wanted) override
    {
        m_bar.finish();
        QString line = u"lumbra-cli get: the service allows %1 today"_s.arg(moreDownloads(remaining));
        if (wanted > remaining)
            line +=
                u"; %1 were found, the first %2 in list order are downloaded"_s.arg(wanted).arg(remaining);
        printErr(line);
    }
    void finish() { m_bar.finish(); }

private:
    CliProgress m_bar;
};

int usageError(const QString &message)
{
    return usageError(u"get"_s, message);
}

// Reads --lang's value into two-letter codes; returns an error message, or
// empty when all is well.
QString parseLanguages(const QString &value, QStringList &out)
{
    out.clear();
    for (const QString &part : value.split(u',', Qt::SkipEmptyParts)) {
        const QString code = part.trimmed().toLower();
        if (!LangModule::langArray().contains(code))
            return u"unknown language code '%1'"_s.arg(part.trimmed());
        if (!out.contains(code))
            out.append(code);
    }
    if (out.isEmpty())
        return u"--lang needs at least one language code"_s;
    if (out.size() > 3)
        return u"--lang takes up to three languages"_s;
    return QString();
}

// What the command line gave in place of the preferences.
struct GivenHere {
    bool key = false;
    bool account = false;
};

// Why the search failed, in words; empty when it did not. A key or account
// given on the command line is not the preferences', so its refusal does not
// send the user there.
QString searchFailureWords(const ServiceError &failure, GivenHere given)
{
    if (failure.ok())
        return {};
    const FailureWords::Kind kind = FailureWords::classify(failure.code);
    if (given.key && kind == FailureWords::Kind::KeyRejected)
        return u"The service did not accept the API key given with --api-key."_s;
    if (given.account && kind == FailureWords::Kind::LoginRejected)
        return u"The service did not accept the account given with --user and --password."_s;
    return FailureWords::describe(failure);
}

} // namespace

int runGet(const QStringList &args)
{
    myPrefs::Values prefs = myPrefs::values();
    bool json = false;
    GivenHere given;
    QString server;
    CliArguments arguments(args);
    while (arguments.nextOption()) {
        QString value;
        // An option that needs a value and has none.
        const auto missing = [&] { return usageError(arguments.written() + u" needs a value"_s); };
        if (arguments.isFlag("--help"_L1) || arguments.isFlag("-h"_L1)) {
            printUsage(printOut);
            return ExitOk;
        } else if (arguments.isFlag("--json"_L1)) {
            json = true;
        } else if (arguments.isFlag("--sync"_L1)) {
            prefs.fixTimingAfterDownload = true;
        } else if (arguments.isFlag("--no-lang-ext"_L1)) {
            prefs.addLanguageExt = false;
        } else if (arguments.isFlag("--refresh"_L1)) {
            // On its own: a video with a subtitle beside it for every wanted
            // language is listed too, or there would be nothing to refresh.
            prefs.refreshSubs = true;
            prefs.ListAllFiles = true;
        } else if (arguments.isFlag("--utf8"_L1)) {
            prefs.ConvertToUTF8 = true;
        } else if (arguments.is("--hi"_L1)) {
            if (!arguments.takeValue(value))
                return missing();
            prefs.HearingImpaired = myPrefs::hearingImpairedNamed(value);
            if (prefs.HearingImpaired.isEmpty())
                return usageError(u"--hi takes any, avoid or only, not '%1'"_s.arg(value));
        } else if (arguments.is("--lang"_L1)) {
            if (!arguments.takeValue(value))
                return missing();
            if (const QString error = parseLanguages(value, prefs.languageList); !error.isEmpty())
                return usageError(error);
        } else if (arguments.is("--server"_L1)) {
            if (!arguments.takeValue(value))
                return missing();
            const QUrl url(value, QUrl::StrictMode);
            const QString scheme = url.scheme().toLower();
            if (!url.isValid() || url.host().isEmpty() || (scheme != "http"_L1 && scheme != "https"_L1))
                return usageError(u"--server needs an http or https address, got '%1'"_s.arg(value));
            server = value;
        } else if (arguments.is("--provider"_L1)) {
            if (!arguments.takeValue(value))
                return missing();
            prefs.ServiceProvider = myPrefs::providerNamed(value);
            if (prefs.ServiceProvider.isEmpty())
                return usageError(u"--provider takes rest or xmlrpc, not '%1'"_s.arg(value));
        } else if (arguments.is("--api-key"_L1)) {
            if (!arguments.takeValue(prefs.RestApiKey))
                return missing();
            given.key = !prefs.RestApiKey.trimmed().isEmpty();
        } else if (arguments.is("--user"_L1)) {
            if (!arguments.takeValue(prefs.OSUsername))
                return missing();
            given.account = true;
        } else if (arguments.is("--password"_L1)) {
            if (!arguments.takeValue(prefs.OSPassword))
                return missing();
            given.account = true;
        } else {
            return usageError(u"unknown option '%1'"_s.arg(arguments.written()));
        }
    }
    const QStringList &paths = arguments.paths();
    if (paths.isEmpty())
        return usageError(u"no file or folder given"_s);

    // --server names the address of the interface chosen, whatever the order of the options.
    if (!server.isEmpty()) {
        if (ProviderChoice::isRest(prefs))
            prefs.RestServer = server;
        else
            prefs.OSAPIServer = server;
    }
    Progress progress;
    GetSubsRun run(RunSettings::of(prefs), &progress);
    bool failed = false;
    for (const QString &path : std::as_const(paths)) {
        if (!run.addPath(path)) {
            printErr(u"lumbra-cli get: cannot read '%1'"_s.arg(printable(path)));
            failed = true;
        }
    }
    QList<GetSubsOutcome> outcomes = run.run();
    progress.finish();
    // The search is one for every video: why it failed is said once, and
    // each row it failed points there.
    const QString searchFailure = searchFailureWords(run.job().searchFailure(), given);
    if (!searchFailure.isEmpty()) {
        printErr(u"lumbra-cli get: "_s + searchFailure);
        for (GetSubsOutcome &o : outcomes) {
            if (o.searchFailed)
                o.reason = json ? searchFailure : u"search failed"_s;
        }
    }

    for (const GetSubsOutcome &o : outcomes) {
        const QString status = GetSubsOutcome::statusName(o.status);
        failed = failed || o.status == GetSubsOutcome::Status::Failed || o.unhandled;
        const std::optional<TimingCheck::PlacedFix> timing =
            prefs.fixTimingAfterDownload && o.status == GetSubsOutcome::Status::Placed
                ? std::optional(TimingCheck::fixPlaced(o.video, o.subtitle))
                : std::nullopt;
        if (json) {
            QJsonObject line{
                {u"status"_s, status},
                {u"video"_s, o.video},
                {u"lang"_s, o.lang},
                {u"subtitle"_s, o.subtitle},
                {u"reason"_s, o.reason},
                {u"matchedBy"_s, o.matchedBy},
                {u"subFileName"_s, o.subFileName},
                {u"replaced"_s, o.replaced},
                {u"previousKeptAt"_s, o.previousKeptAt},
                {u"encoding"_s, o.encodingNote},
                {u"insideVideo"_s, o.insideVideo},
                {u"provider"_s, run.providerName()},
                {u"quotaRemaining"_s, o.quotaRemaining < 0 ? QJsonValue() : QJsonValue(o.quotaRemaining)}};
            if (timing)
                line.insert(u"timing"_s, timingJson(timing->measurement, timing->fixed, timing->note));
            printOut(QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact)));
        } else if (o.status == GetSubsOutcome::Status::Placed) {
            printOut(u"placed "_s + printable(o.subtitle) +
                     (o.replaced.isEmpty() ? QString() : u" ("_s + printable(o.replaced) + u')') +
                     (o.encodingNote.isEmpty() ? QString() : u" ["_s + o.encodingNote + u']') +
                     (timing ? u" ("_s + timingWords(timing->measurement, timing->fixed, timing->note) + u')'
                             : QString()));
        } else if (o.unhandled) {
            printOut(u"skipped %1 %2"_s.arg(printable(o.video), printable(o.reason)));
        } else if (o.insideVideo) {
            printOut(u"skipped %1 %2 %3"_s.arg(printable(o.video), o.lang, o.reason));
        } else if (o.status == GetSubsOutcome::Status::Failed ||
                   o.status == GetSubsOutcome::Status::Waiting) {
            printOut(u"%1 %2 %3 %4"_s.arg(status, printable(o.video), o.lang, printable(o.reason)));
        } else {
            printOut(u"%1 %2 %3"_s.arg(status, printable(o.video), o.lang));
        }
    }
    // What the service still allows today: the lowest count a download was
    // told (downloads run side by side and end in any order).
    int remaining = -1;
    for (const GetSubsOutcome &o : outcomes) {
        if (o.quotaRemaining >= 0 && (remaining < 0 || o.quotaRemaining < remaining))
            remaining = o.quotaRemaining;
    }
    if (remaining >= 0)
        printErr(u"lumbra-cli get: the service allows %1 today"_s.arg(moreDownloads(remaining)));
    const auto waiting = std::count_if(outcomes.cbegin(), outcomes.cend(), [](const GetSubsOutcome &o) {
        return o.status == GetSubsOutcome::Status::Waiting;
    });
    if (waiting > 0)
        printErr(
            u"lumbra-cli get: %1 for tomorrow's quota (%2)"_s.arg(downloadsWaiting(waiting))
                .arg(QuotaWaitList::renewsAt(QuotaWaitList::nextRenewal(QDateTime::currentDateTimeUtc()))));
    return failed ? ExitFailed : ExitOk;
}
