#include "cli/CliArguments.h"
#include "cli/Commands.h"
#include "cli/TimingJson.h"
#include "timing/TimingCheck.h"

#include <QJsonDocument>

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

void printUsage(void (*print)(const QString &))
{
    print(u"Usage: lumbra-cli sync [--json] [--fix] [--] VIDEO SUBTITLE"_s);
    print(u"Measures how the subtitle's cues line up with the speech in the video's audio: the offset in"_s);
    print(
        u"milliseconds, the ratio (for a frame-rate mismatch), the confidence and whether a fix is advised."_s);
    print(
        u"--fix rewrites the subtitle with that correction when Lumbra is sure of it; the file it replaces"_s);
    print(u"goes to the trash. --json prints one JSON object. Exit status 1: not measured or not sure."_s);
}

struct SyncOutcome {
    TimingMeasurement measurement;
    bool fixed = false;
    QString note; // what was done or why not
};

qint64 offsetMs(const TimingMeasurement &m)
{
    return std::llround(m.transform.offsetSeconds * 1000.0);
}

void printJson(const QString &video, const QString &subtitle, const SyncOutcome &outcome)
{
    QJsonObject object = timingJson(outcome.measurement, outcome.fixed, outcome.note);
    object.insert(u"video"_s, video);
    object.insert(u"subtitle"_s, subtitle);
    printOut(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
}

void printText(const SyncOutcome &outcome)
{
    const TimingMeasurement &m = outcome.measurement;
    if (m.measured()) {
        printOut(u"offset: %1 ms"_s.arg(offsetMs(m)));
        printOut(u"ratio: %1"_s.arg(m.transform.ratio, 0, 'f', 6));
        printOut(u"confidence: %1"_s.arg(m.confidence, 0, 'f', 2));
        printOut(u"fix advised: %1"_s.arg(m.fixAdvised() ? u"yes (%1)"_s.arg(m.transform.description())
                                                         : u"no"_s));
    }
    if (outcome.fixed)
        printOut(u"fixed: "_s + outcome.note);
    else if (!outcome.note.isEmpty())
        printErr(u"lumbra-cli sync: "_s + outcome.note);
}

} // namespace

int runSync(const QStringList &args)
{
    CliArguments arguments(args);
    bool json = false, fix = false;
    while (arguments.nextOption()) {
        if (arguments.isFlag("--help"_L1) || arguments.isFlag("-h"_L1)) {
            printUsage(printOut);
            return ExitOk;
        }
        if (arguments.isFlag("--json"_L1))
            json = true;
        else if (arguments.isFlag("--fix"_L1))
            fix = true;
        else
            return usageError(u"sync"_s, u"unknown option '%1'"_s.arg(arguments.written()));
    }
    const QStringList &paths = arguments.paths();
    if (paths.size() != 2)
        return usageError(u"sync"_s, u"give one video and one subtitle"_s);
    const QString &video = paths[0], &subtitle = paths[1];

    SyncOutcome outcome;
    outcome.measurement = TimingCheck::measure(video, subtitle);
    const TimingMeasurement &m = outcome.measurement;
    bool ok = m.sure();
    if (!ok) {
        outcome.note = m.reasonToLeave();
    } else if (fix && m.fixAdvised()) {
        const TimingCheck::FixResult result = TimingCheck::applyFix(subtitle, m);
        outcome.fixed = result.error.isEmpty();
        ok = outcome.fixed;
        const QString kept = SubtitleDownload::replacementNote(result.placement);
        outcome.note = outcome.fixed
                           ? m.transform.description() + (kept.isEmpty() ? QString() : u"; "_s + kept)
                           : result.error;
    } else if (fix) {
        outcome.note = m.reasonToLeave();
    }
    if (json)
        printJson(video, subtitle, outcome);
    else
        printText(outcome);
    return ok ? ExitOk : ExitFailed;
}
