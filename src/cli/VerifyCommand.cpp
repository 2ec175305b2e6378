// lumbra-cli verify [--json] PATH...
//
// The upload workflow without a window: each subtitle in the given files and
// folders is paired with the video of the same name beside it, and the
// service is asked whether it already has subtitles for each paired video's
// hash in the subtitle's language.

#include "cli/CliArguments.h"
#include "cli/CliText.h"
#include "cli/Commands.h"
#include "upload/VerifyRun.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::Literals::StringLiterals;

namespace {

void printUsage(void (*print)(const QString &))
{
    print(u"Usage: lumbra-cli verify [--json] [--] PATH..."_s);
    print(u"Pairs each subtitle in the files and folders given with its video, then asks the"_s);
    print(u"service whether it already has subtitles for that video in the subtitle's language."_s);
    print(u"Lines: 'paired SUBTITLE VIDEO LANG' (LANG followed by '(assumed: the name gives none)'"_s);
    print(u"when the subtitle's name has no language code), 'unpaired SUBTITLE' or 'refused"_s);
    print(
        u"SUBTITLE REASON' for a file that is not a subtitle (not text, or no cue), then per paired video and"_s);
    print(u"language 'has VIDEO LANG', 'lacks VIDEO LANG' or 'failed VIDEO LANG REASON'."_s);
    print(u"A subtitle that cannot be taken in gives 'skipped SUBTITLE REASON'."_s);
    print(u"Exit status: 0 when nothing failed, 1 when the search failed or a subtitle could not"_s);
    print(u"be taken in or was refused, 2 for bad usage."_s);
}

void printJson(const QJsonObject &object)
{
    printOut(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
}

} // namespace

int runVerify(const QStringList &args)
{
    bool json = false;
    CliArguments arguments(args);
    while (arguments.nextOption()) {
        if (arguments.isFlag("--json"_L1)) {
            json = true;
        } else if (arguments.isFlag("--help"_L1) || arguments.isFlag("-h"_L1)) {
            printUsage(printOut);
            return ExitOk;
        } else {
            return usageError(u"verify"_s, u"unknown option '%1'"_s.arg(arguments.written()));
        }
    }
    const QStringList &paths = arguments.paths();
    if (paths.isEmpty())
        return usageError(u"verify"_s, u"no file or folder given"_s);

    VerifyRun run;
    bool failed = false;
    for (const QString &path : std::as_const(paths)) {
        if (!run.addPath(path)) {
            printErr(u"lumbra-cli verify: cannot read '%1'"_s.arg(printable(path)));
            failed = true;
        }
    }
    for (const VerifyPairing &p : run.pairings()) {
        failed = failed || !p.refused.isEmpty();
        if (json) {
            printJson({{u"kind"_s, u"pairing"_s},
                       {u"subtitle"_s, p.subtitle},
                       {u"video"_s, p.video.isEmpty() ? QJsonValue() : QJsonValue(p.video)},
                       {u"lang"_s, p.lang},
                       {u"languageFromName"_s, p.languageFromName},
                       {u"refused"_s, p.refused.isEmpty() ? QJsonValue() : QJsonValue(p.refused)}});
        } else if (!p.refused.isEmpty()) {
            printOut(u"refused %1 %2"_s.arg(printable(p.subtitle), printable(p.refused)));
        } else if (p.video.isEmpty()) {
            printOut(u"unpaired "_s + printable(p.subtitle));
        } else {
            printOut(u"paired %1 %2 %3%4"_s.arg(printable(p.subtitle), printable(p.video), p.lang,
                                                p.languageFromName ? QString()
                                                                   : u" (assumed: the name gives none)"_s));
        }
    }
    for (const auto &[shown, reason] : run.notTakenIn()) {
        failed = true;
        if (json)
            printJson({{u"kind"_s, u"skipped"_s}, {u"path"_s, shown}, {u"reason"_s, reason}});
        else
            printOut(u"skipped %1 %2"_s.arg(printable(shown), printable(reason)));
    }
    for (const VerifyOutcome &o : run.verify()) {
        const QString status = VerifyOutcome::statusName(o.status);
        failed = failed || o.status == VerifyOutcome::Status::Failed;
        if (json) {
            printJson({{u"kind"_s, u"verification"_s},
                       {u"status"_s, status},
                       {u"video"_s, o.video},
                       {u"lang"_s, o.lang},
                       {u"subtitle"_s, o.subtitle},
                       {u"reason"_s, o.reason}});
        } else if (o.status == VerifyOutcome::Status::Failed) {
            printOut(u"failed %1 %2 %3"_s.arg(printable(o.video), o.lang, printable(o.reason)));
        } else {
            printOut(u"%1 %2 %3"_s.arg(status, printable(o.video), o.lang));
        }
    }
    return failed ? ExitFailed : ExitOk;
}
