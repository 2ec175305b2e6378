// lumbra-cli get [options] PATH...
//
// The download workflow without a window: the videos in the given files and
// folders are listed, hashed and searched, the best subtitle per video and
// language is downloaded and placed beside the video. Options change the
// preferences for this run only; nothing is saved.

#include "cli/CliArguments.h"
#include "cli/CliProgress.h"
#include "cli/CliText.h"
#include "cli/Commands.h"
#include "cli/TimingJson.h"
#include "common/LangModule.h"
#include "download/GetSubsRun.h"
#include "prefs/myPrefs.h"
#include "service/ProviderChoice.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace {

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
    print(u"  --sync           measure each placed subtitle against the video's speech and fix its"_s);
    print(u"                   timing when sure (as the preference fixTimingAfterDownload does)"_s);
    print(u"  --json           one JSON object per line instead of text, with the provider and the"_s);
    print(u"                   downloads the service still allows today (quotaRemaining, REST only)"_s);
    print(u"Each video and language gives one line: 'placed SUBTITLE' (followed by where the"_s);
    print(u"subtitle it replaced went: the trash, or a backup name beside it), 'none VIDEO LANG',"_s);
    print(u"'skipped VIDEO LANG' or 'failed VIDEO LANG REASON'; a video that cannot be handled at"_s);
    print(u"all gives 'skipped VIDEO REASON'. Control characters and the bytes of names that are not"_s);
    print(u"valid UTF-8 are written as \\xHH; --json gives other names exactly. Exit status: 0 when"_s);
    print(u"nothing failed, 1 when the search or a download failed or a video could not be handled,"_s);
    print(u"2 for bad usage."_s);
}

// A few lines of progress on stderr.
class Progress final : public GetSubsRun::Progress {
public:
    void step(const QString &label, int total) override { m_bar.step(label, total); }
    void advance(int done, const QString &detail) override { m_bar.advance(done, detail); }
    void finish() { m_bar.finish(); }

private:
    CliProgress m_bar;
};

int usageError(const QString &message)
{
    return usageError(u"get"_s, message, printUsage);
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

} // namespace

int runGet(const QStringList &args)
{
    myPrefs::Values prefs = myPrefs::values();
    bool json = false;
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
        } else if (arguments.is("--user"_L1)) {
            if (!arguments.takeValue(prefs.OSUsername))
                return missing();
        } else if (arguments.is("--password"_L1)) {
            if (!arguments.takeValue(prefs.OSPassword))
                return missing();
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
    // For this run only: the values are never saved.
    myPrefs::setValues(prefs);

    Progress progress;
    GetSubsRun run(&progress);
    bool failed = false;
    for (const QString &path : std::as_const(paths)) {
        if (!run.addPath(path)) {
            printErr(u"lumbra-cli get: cannot read '%1'"_s.arg(printable(path)));
            failed = true;
        }
    }
    const QList<GetSubsOutcome> outcomes = run.run();
    progress.finish();

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
                {u"provider"_s, run.providerName()},
                {u"quotaRemaining"_s, o.quotaRemaining < 0 ? QJsonValue() : QJsonValue(o.quotaRemaining)}};
            if (timing)
                line.insert(u"timing"_s, timingJson(timing->measurement, timing->fixed, timing->note));
            printOut(QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact)));
        } else if (o.status == GetSubsOutcome::Status::Placed) {
            printOut(u"placed "_s + printable(o.subtitle) +
                     (o.replaced.isEmpty() ? QString() : u" ("_s + printable(o.replaced) + u')') +
                     (timing ? u" ("_s + timingWords(timing->measurement, timing->fixed, timing->note) + u')'
                             : QString()));
        } else if (o.unhandled) {
            printOut(u"skipped %1 %2"_s.arg(printable(o.video), printable(o.reason)));
        } else if (o.status == GetSubsOutcome::Status::Failed) {
            printOut(u"failed %1 %2 %3"_s.arg(printable(o.video), o.lang, printable(o.reason)));
        } else {
            printOut(u"%1 %2 %3"_s.arg(status, printable(o.video), o.lang));
        }
    }
    // What the service still allows today, after the last download that said so.
    for (auto o = outcomes.crbegin(); o != outcomes.crend(); ++o) {
        if (o->quotaRemaining >= 0) {
            printErr(u"lumbra-cli get: the service allows %1 more downloads today"_s.arg(o->quotaRemaining));
            break;
        }
    }
    return failed ? ExitFailed : ExitOk;
}
