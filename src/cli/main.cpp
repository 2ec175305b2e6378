#include "cli/Commands.h"
#include "common/AllocatorSetup.h"
#include "keyring/KeyringSecretStore.h"
#include "media/DebugLog.h"
#include "prefs/myPrefs.h"
#include "prefs/XPrefs.h"

#include <QCoreApplication>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;

int runHash(const QStringList &args);
int runPrefs(const QStringList &args);
int runInfo(const QStringList &args);
int runGet(const QStringList &args);
int runVerify(const QStringList &args);
int runSync(const QStringList &args);

namespace {

const QList<CliCommand> &commands()
{
    static const QList<CliCommand> list = {
        {u"hash"_s, u"hash [--] FILE..."_s, u"Print each file's movie hash, size in bytes and path."_s,
         runHash},
        {u"prefs"_s, u"prefs [--json] [--set KEY=VALUE ...]"_s,
         u"Show the preferences in effect and the file they live in; --set changes and saves them."_s,
         runPrefs},
        {u"info"_s, u"info [--json] [--fps=N] [--] PATH..."_s,
         u"Show what Lumbra reads from video and subtitle files: names, sizes, hashes, episode data, "
         u"subtitles beside a video, a subtitle's language, encoding and cues."_s,
         runInfo},
        {u"get"_s,
         u"get [--lang CODES] [--provider rest|xmlrpc] [--server URL] [--api-key KEY] [--user NAME]\n"
         u"        [--password TEXT] [--no-lang-ext] [--refresh] [--hi WISH] [--utf8] [--sync] [--json] PATH..."_s,
         u"Find, download and place subtitles for the videos in the files and folders given."_s, runGet},
        {u"verify"_s, u"verify [--json] PATH..."_s,
         u"Pair subtitles with their videos and ask the service whether it has subtitles for them."_s,
         runVerify},
        {u"sync"_s, u"sync [--json] [--fix] [--] VIDEO SUBTITLE"_s,
         u"Measure the subtitle's timing against the speech in the video; --fix corrects it when sure."_s,
         runSync},
    };
    return list;
}

void printHelp()
{
    printOut(u"Usage: lumbra-cli COMMAND [ARGS...]"_s);
    printOut(u"Lumbra finds, fetches and places subtitles for your videos."_s);
    printOut(QString());
    printOut(u"Commands:"_s);
    for (const CliCommand &c : commands())
        printOut(u"  %1\n      %2"_s.arg(c.synopsis, c.summary));
    printOut(u"  --help\n      Show this help."_s);
    printOut(QString());
    printOut(u"Each command explains itself with --help (lumbra-cli get --help)."_s);
    printOut(u"--verbose with any command also shows debug lines on stderr (as QT_LOGGING_RULES can)."_s);
}

} // namespace

void printOut(const QString &line)
{
    const QByteArray bytes = line.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

void printErr(const QString &line)
{
    const QByteArray bytes = line.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

int main(int argc, char *argv[])
{
    AllocatorSetup::apply();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"lumbra-cli"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(LUMBRA_VERSION));

    QStringList args = QCoreApplication::arguments().mid(1);
    // --verbose anywhere before "--" shows the debug lines on stderr; set
    // before the preferences load, which may log already.
    const qsizetype endOfOptions = args.indexOf(u"--"_s);
    const qsizetype verbose = args.indexOf(u"--verbose"_s);
    const bool isVerbose = verbose >= 0 && (endOfOptions < 0 || verbose < endOfOptions);
    if (isVerbose)
        args.removeAt(verbose);
    DebugLog::quietUnlessVerbose(isVerbose);

    installSecretStore(std::make_unique<KeyringSecretStore>());
    myPrefs::loadAllPrefs();
    if (const QString problem = XPrefs::TakeLoadProblem(); !problem.isEmpty())
        printErr(u"lumbra-cli: "_s + problem);

    if (args.isEmpty() || args.first() == "--help"_L1 || args.first() == "-h"_L1) {
        printHelp();
        return args.isEmpty() ? ExitUsage : ExitOk;
    }
    const QString name = args.takeFirst();
    for (const CliCommand &c : commands()) {
        if (c.name == name)
            return c.run(args);
    }
    printErr(u"lumbra-cli: unknown command '%1' (see lumbra-cli --help)"_s.arg(name));
    return ExitUsage;
}
